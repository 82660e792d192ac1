// The reviewer's program on a submission archive of 30 case patients with four stages
// each (patient 99's examinations copied), every case complete: opening, extraction,
// the checks, 60 sheets as PDF, the CSV table and the overview.
#include "platform/database.h"
#include "platform/passwords.h"
#include "review/Review.h"
#include "support/test_services.h"
#include "tools/CPatientAdd.h"
#include "tools/EncryptedZip.h"
#include "tools/Submission.h"
#include "tools/case_records.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace kvr;

namespace {

constexpr int kPatients = 30;

struct Fixture {
    test::TestServices t = test::installTestServices();
    QTemporaryDir dir;
    QString archive;
    Fixture() {
        const QString db = dir.filePath("S_123456_20241015_1000_KVR-DB.MDB");
        QFile::copy(test::builtAppFolder() + "/KVR-DB_ORG.MDB", db);
        QFile::setPermissions(db, QFile::ReadOwner | QFile::WriteOwner);
        {
            auto c = db::Connection::open(db, kProgramPassword);
            if (!c->tableExists("TPatientAdd")) c->createTable(CPatientAdd::tableDef("TPatientAdd"));
            c->beginTransaction();
            c->execute("UPDATE TClinicCode SET ClinicCode='123456', ClinicCodeSub='S' WHERE ID=0");
            for (int p = 1; p <= kPatients; ++p) {
                c->execute("INSERT INTO TPatient (ID, Name, Address1) VALUES (?, ?, ?)",
                           {p, QString("患者%1").arg(p), QString("K-%1").arg(p, 2, 10, QChar('0'))});
                c->execute("INSERT INTO TExamData (ID, PatientID, ExamDate, Row, Examination, SubExam, PocketFree, "
                           "StartTime, EndTime, ChargeID, IsPrinted, \"UpDate\", CommentID, Comment, Data1, Data2, "
                           "Data3, Data4, Bui) SELECT ID + ?, ?, ExamDate, Row, Examination, SubExam, PocketFree, "
                           "StartTime, EndTime, ChargeID, IsPrinted, \"UpDate\", CommentID, Comment, Data1, Data2, "
                           "Data3, Data4, Bui FROM TExamData WHERE PatientID=99",
                           {p * 100000, p});
                const CPatientAdd r = test::MinimalCompleteRecord(p);
                db::Recordset rs(c, "SELECT * FROM TPatientAdd WHERE ID=?", {p}, db::OpenMode::Write);
                rs.addNew();
                r.RecSetPut(rs);
                rs.update();
            }
            c->commit();
        }
        archive = dir.filePath("S_123456_20241015_1000_KVR-DB.zip");
        WriteEncryptedZip(archive, db, QFileInfo(db).fileName(), kSubmissionArchivePassword);
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_ReviewArchive30x4(benchmark::State& state) {
    Fixture& f = fixture();
    int sheets = 0;
    for (auto _ : state) {
        QTemporaryDir out;
        review::Options o;
        o.inputs = {f.archive};
        o.out = out.path();
        o.password = kSubmissionArchivePassword;
        const int status = review::Run(o, [](const QString&) {});
        if (status != review::kAllComplete) state.SkipWithError("the archive did not review as complete");
        const QString folder = review::OutFolderOf(f.archive, out.path());
        sheets = int(QDir(folder).entryList({"S_123456_K-*.pdf"}, QDir::Files).size());
    }
    state.counters["sheets"] = sheets;
}
BENCHMARK(BM_ReviewArchive30x4)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
