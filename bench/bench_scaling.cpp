// Cost of the member database's everyday work as the database grows. Each benchmark runs
// on generated member databases of 30 patients × 4 examinations (720 rows besides the
// sample patients), 30 × 200 (36,000 rows) and 30 × 556 (100,080 rows); the argument is
// the number of examinations per patient. The databases are built once per run in a
// temporary folder from the built template.
#include "chart/ChartStats.h"
#include "data/ADODBMain.h"
#include "data/SchemaMaintenance.h"
#include "exam/CExamData.h"
#include "exam/ExamObjects.h"
#include "exam/ExamSession.h"
#include "exam/PFrmInput.h"
#include "exam/PFrmPlayWave.h"
#include "platform/database.h"
#include "platform/passwords.h"
#include "shell/AppState.h"
#include "shell/startup/startup.h"
#include "support/test_services.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <map>

using namespace kvr;

namespace {

constexpr int kPatients = 30;
const QDate kFirstDate(2001, 1, 1);

QDate examDate(int exam) {
    return kFirstDate.addDays(exam * 7);
}

// Stage of the exam-th examination of a patient with n examinations: the first three
// carry stages 1 to 3, the last one stage 4, the others none.
int examStage(int exam, int n) {
    if (exam < 3) return exam + 1;
    return exam == n - 1 ? 4 : 0;
}

QTemporaryDir& store() {
    static QTemporaryDir dir;
    return dir;
}

// A keyed member database with examsPerPatient examinations (six rows each, copied from
// the sample patient's first examination) for each of the 30 case patients.
QString generatedDatabase(int examsPerPatient) {
    static std::map<int, QString> built;
    auto it = built.find(examsPerPatient);
    if (it != built.end()) return it->second;
    const QString path = store().filePath(QString("member-%1.MDB").arg(examsPerPatient));
    QFile::copy(test::builtAppFolder() + "/KVR-DB_ORG.MDB", path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    {
        db::ConnectionPtr c = db::Connection::open(path, kProgramPassword);
        c->beginTransaction();
        const QDateTime sampleDate =
            c->scalar("SELECT min(ExamDate) FROM TExamData WHERE PatientID=99").toDateTime();
        int id = 50000000;
        for (int p = 1; p <= kPatients; ++p) {
            c->execute("INSERT INTO TPatient (ID, Name) VALUES (?, ?)", {p, QString("患者%1").arg(p)});
            for (int e = 0; e < examsPerPatient; ++e) {
                const int stage = examStage(e, examsPerPatient);
                c->execute(
                    "INSERT INTO TExamData (ID, PatientID, ExamDate, \"Row\", Examination, SubExam, "
                    "PocketFree, StartTime, EndTime, ChargeID, IsPrinted, \"UpDate\", CommentID, Comment, "
                    "Data1, Data2, Data3, Data4, Bui) "
                    "SELECT ? + \"Row\", ?, ?, \"Row\", Examination, SubExam, PocketFree, ?, ?, ChargeID, "
                    "IsPrinted, ?, ?, ?, Data1, Data2, Data3, Data4, Bui FROM TExamData "
                    "WHERE PatientID=99 AND ExamDate=?",
                    {id, p, examDate(e), QDateTime(examDate(e), QTime(9, 0)),
                     QDateTime(examDate(e), QTime(9, 30)), QDateTime(examDate(e), QTime(9, 31, 7)), stage,
                     StageLabelOf(stage), sampleDate});
                id += 16;
            }
        }
        c->execute("UPDATE TNextAutoNumber SET ExamData=? WHERE ID=0", {id});
        c->commit();
    }
    built[examsPerPatient] = path;
    return path;
}

// The program folder of a member whose database is a copy of the generated one.
struct Member {
    test::TestServices t = test::installTestServices();
    explicit Member(int examsPerPatient) {
        resetAppState();
        closeAllConnections();
        ResetExamObjects();
        QFile::copy(test::builtAppFolder() + "/KVR-DB_ORG.MDB", t.paths->app + "/KVR-DB_ORG.MDB");
        QFile::copy(test::builtAppFolder() + "/TMaster.txt", t.paths->app + "/TMaster.txt");
        app().MemberNo = "123456";
        app().MemberFolder = t.paths->app + "/123456";
        app().MemberDbFile = "/KVR-DB-123456.MDB";
        QDir().mkpath(app().MemberFolder);
        QFile::copy(generatedDatabase(examsPerPatient), app().memberDbPath());
        QFile::setPermissions(app().memberDbPath(), QFile::ReadOwner | QFile::WriteOwner);
        setMemberSource(app().memberDbPath());
        setTemplateSource(t.paths->app + "/KVR-DB_ORG.MDB");
    }
    // Holds the connection as the entry screen does.
    void hold() {
        OpenMemberDbHold();
        LoadStageLabels();
        LoadSubExamRows();
        LoadCharge(1);
    }
    ~Member() { closeAllConnections(); }
};

void rowsCounter(benchmark::State& state) {
    state.counters["rows"] = double(state.range(0) * kPatients * 6);
}

// Start-up's database work on an existing member: the version test and the maintenance
// steps. The first start of this database (index creation, upgrades) happens before timing.
void BM_StartupDatabaseWork(benchmark::State& state) {
    Member m(int(state.range(0)));
    CheckDbVersion();
    StartupMaintenance();
    closeAllConnections();
    for (auto _ : state) {
        CheckDbVersion();
        StartupMaintenance();
        state.PauseTiming();
        closeAllConnections();
        state.ResumeTiming();
    }
    rowsCounter(state);
}

// From OK on the start screen to the entry screen shown: the steps after the start screen.
void BM_OkToEntryScreen(benchmark::State& state) {
    Member m(int(state.range(0)));
    CheckDbVersion();
    StartupMaintenance();
    closeAllConnections();
    for (auto _ : state) {
        InitAppPaths();
        CheckDbVersion();
        WriteVersionFile();
        StartupMaintenance();
        LoadPlayWave();
        auto* w = new PFrmInput();
        w->show();
        QApplication::processEvents();
        state.PauseTiming();
        delete w;
        closeAllConnections();
        state.ResumeTiming();
    }
    rowsCounter(state);
}

// Selecting the patient with the most examinations: his row, his examination list and
// the first examination loaded into the twelve slots.
void BM_SelectPatient(benchmark::State& state) {
    Member m(int(state.range(0)));
    m.hold();
    int entries = 0;
    for (auto _ : state) {
        LoadPatient(7);
        const QList<ExamEntry> list = ListExaminations(7);
        ToothStatus status{};
        LoadExamination(7, list.first().date, &status);
        entries = int(list.size());
    }
    state.counters["examinations"] = entries;
    rowsCounter(state);
}

// Saving one examination in place (save action 2: stage cleared elsewhere, six rows
// replaced with new keys).
void BM_SaveExamination(benchmark::State& state) {
    Member m(int(state.range(0)));
    m.hold();
    SaveRequest r;
    r.patientId = 7;
    r.year = "2001";
    r.month = "1";
    r.day = "15";
    r.stage = 3;
    r.isNew = false;
    r.loadedDate = examDate(2);
    r.chargeId = 1;
    LoadExamination(7, r.loadedDate, &r.status);
    for (int i = 0; i < kCells; ++i)
        ExamSlots()[0].setBData(i, std::uint8_t(1 + i % 9));
    for (auto _ : state) {
        const SaveOutcome out = SaveExamination(r);
        if (!out.saved || out.action != kSaveLoaded) state.SkipWithError("save failed");
    }
    rowsCounter(state);
}

// The chart screen's four stage slots of one patient.
void BM_ChartStages(benchmark::State& state) {
    Member m(int(state.range(0)));
    m.hold();
    for (auto _ : state) {
        std::array<ChartStageData, 4> stages;
        for (int s = 0; s < 4; ++s)
            LoadChartStage(memberConn(), 7, s + 1, stages[s]);
        if (!stages[3].HasData) state.SkipWithError("stage 4 missing");
        benchmark::DoNotOptimize(stages);
    }
    rowsCounter(state);
}

// Every examination row read into an examination record.
void BM_ReadAllExaminationRows(benchmark::State& state) {
    Member m(int(state.range(0)));
    m.hold();
    int rows = 0;
    for (auto _ : state) {
        rows = 0;
        db::Recordset rs(memberConn(), "SELECT * FROM TExamData");
        CExamData rec;
        for (; !rs.eof(); rs.moveNext()) {
            rec.RecSetGet(rs);
            ++rows;
        }
    }
    state.counters["rows"] = rows;
}

void sizes(benchmark::internal::Benchmark* b) {
    b->Arg(4)->Arg(200)->Arg(556)->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_StartupDatabaseWork)->Apply(sizes)->Iterations(5);
BENCHMARK(BM_OkToEntryScreen)->Apply(sizes)->Iterations(3);
BENCHMARK(BM_SelectPatient)->Apply(sizes);
BENCHMARK(BM_SaveExamination)->Apply(sizes);
BENCHMARK(BM_ChartStages)->Apply(sizes);
BENCHMARK(BM_ReadAllExaminationRows)->Apply(sizes)->Iterations(3);

} // namespace
