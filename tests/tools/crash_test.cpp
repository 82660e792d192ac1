// Crashes in the middle of every operation that changes the member's data, one row of
// the table below each: the save of an examination, a backup, a restore, the compaction,
// a submission archive, an import, the rebuild of an older additional-information table,
// the conversion of an old-format database, a first start, a start of a member, a member
// number change and a PDF sheet.
//
// A child of this program does the row's operation on a fresh copy of the row's folder
// under the file-operation recorder (support/kill_child.h). A full run gives the journal
// of its file operations; then, for every crash point of that journal, the child is
// killed right after that operation (the disk as the process left it) and, for the rows
// with power cuts, once more leaving only what was flushed. The row's state() reads the
// folder as text in parts, in the order the operation completes them (it may first do
// what the next start does). After any crash the state is the old one, the new one, or
// the new parts up to one and the old ones after it: never a part half done, never
// nothing, never a database that does not open with the key or fails its check.
//
// The fault runs (rows with faults) make each write or flush fail in turn, with ENOSPC
// and EIO alternately: a failure is reported with a message box and leaves the old state
// (or completed parts), a success leaves the new one, and doing it again gives the new one.
#include "data/Compaction.h"
#include "data/MemberDbSwap.h"
#include "exam/ExamObjects.h"
#include "exam/ExamSession.h"
#include "exam/PFrmInput.h"
#include "platform/single_instance.h"
#include "shell/startup/PFrmSplash.h"
#include "shell/startup/startup.h"
#include "support/kill_child.h"
#include "support/previous_version_files.h"
#include "tools/BackupRestore.h"
#include "tools/CPatientAdd.h"
#include "tools/EncryptedZip.h"
#include "chart/ChartViewModel.h"
#include "chart/Sheets.h"
#include "tools/ImportKVRChart.h"
#include "tools/MemberNumberChange.h"
#include "tools/Submission.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QLineEdit>
#include <QPushButton>
#include <QPointer>

#include <cerrno>
#include <stdexcept>

using namespace kvr;

namespace {

const char* const kRowVar = "KVR_CRASH_ROW";
const char* const kRetryVar = "KVR_CRASH_RETRY";
const QString kMember = "/123456/KVR-DB-123456.MDB";
const QString kSave = "/save";
const QString kArchive = "/save/N_123456_20240814_1630_KVR-DB.zip";

// ------------------------------------------------------------------ what the rows read

// A database's rows for the queries, or why there are none.
QString rowsOf(const QString& path, const QStringList& queries) {
    if (!QFileInfo::exists(path)) return "<absent>";
    try {
        db::ConnectionPtr c = db::Connection::open(path, kProgramPassword);
        if (c->scalar("PRAGMA integrity_check").toString() != "ok") return "<damaged>";
        return test::rowsText(c, queries);
    } catch (const RuntimeError& e) {
        return "<does not open: " + e.description + ">";
    }
}
QString patientsOf(const QString& path) {
    return rowsOf(path, {"SELECT * FROM TPatient ORDER BY ID"});
}
// Everything else a save, a compaction or a restore may change.
QString restOf(const QString& path) {
    return rowsOf(path, {"SELECT COUNT(*) FROM TScratch", "SELECT * FROM TExamData ORDER BY ID",
                         "SELECT * FROM TNextAutoNumber"});
}
QString wholeOf(const QString& path) {
    return patientsOf(path) + "\n" + restOf(path);
}

// The member database of dir as the program's member, with its connections closed.
void useMember(const QString& dir) {
    closeAllConnections();
    resetAppState();
    ResetDataObjects();
    app().MemberNo = "123456";
    app().MemberFolder = dir + "/123456";
    app().MemberDbFile = "/KVR-DB-123456.MDB";
    setMemberSource(app().memberDbPath());
}

// A normal start in the program folder of t with the member number typed in (a new
// folder is confirmed); true when it reached the entry screen. Every window is closed after.
bool start(test::TestServices& t, const QString& no) {
    closeAllConnections();
    resetAppState();
    ResetExamObjects();
    for (int i = 0; i < 4; ++i)
        t.boxes->answer(MsgResult::Yes);
    SingleInstance lock("kvr-crash-test-" + QString::number(QCoreApplication::applicationPid()));
    StartupOptions o;
    o.instance = &lock;
    o.runSplash = [no](PFrmSplash& s) {
        s.TxtKVRCode->setText(no);
        s.CmdOK->click();
    };
    bool entry = false;
    if (Main(o))
        for (QWidget* w : QApplication::topLevelWidgets())
            entry |= qobject_cast<PFrmInput*>(w) && w->isVisible();
    QList<QPointer<QWidget>> tops;
    for (QWidget* w : QApplication::topLevelWidgets())
        tops << w;
    for (const QPointer<QWidget>& w : tops)
        delete w.data(); // null when an earlier one took it along
    closeAllConnections();
    return entry;
}
QString startedDbOf(const QString& dir, const QString& no) {
    return rowsOf(dir + "/" + no + "/KVR-DB-" + no + ".MDB",
                  {"SELECT * FROM TExamData ORDER BY ID", "SELECT ClinicCode FROM TClinicCode"});
}

// ------------------------------------------------------------------ the rows

struct Row {
    const char* name;
    std::function<void(const QString& dir, test::TestServices& t)> setup; // the folder before
    // The child's preparation in dir (not recorded); returns the operation.
    std::function<std::function<bool()>(const QString& dir, test::TestServices& t)> start;
    std::function<QStringList(const QString& dir, test::TestServices& t)> state;
    bool cuts = true, faults = false;
    int maxPoints = 0;  // 0: every crash point; else that many spread over them
    bool timed = false; // the new state holds the time of the operation (a retry differs)
    // The last flush fails too (see the fault test); false where a retry after it does the
    // operation twice with the same data, which the states cannot tell from a mix.
    bool lastFlushFault = true;
    // The state starts the program: it is read by a process of its own, as a real start
    // after a crash is (one start per process).
    bool stateStarts = false;
};

void memberWithBackup(const QString& dir, test::TestServices&) {
    ASSERT_TRUE(test::MakeMemberAndBackup(dir, 300));
}

// A member database holding patients 1, 2, 4 and 5, and beside it a previous-version file
// with patients 1-3 and 99, four examinations each, to import replacing the same numbers.
void memberAndPreviousFile(const QString& dir, test::TestServices&) {
    ASSERT_TRUE(QDir().mkpath(dir + "/123456"));
    ASSERT_TRUE(test::CopyTemplateTo(dir + kMember));
    db::ConnectionPtr c = db::Connection::open(dir + kMember, kProgramPassword);
    c->execute("UPDATE TClinicCode SET ClinicName='0' WHERE ID=0");
    for (int id : {1, 2, 4, 5}) {
        c->execute("INSERT INTO TPatient (ID, Name) VALUES (?, '会員')", {id});
        c->execute("INSERT INTO TExamData (ID, PatientID, ExamDate) VALUES (?, ?, '2023-01-01 00:00:00')",
                   {900000 + id, id});
    }
    test::PreviousVersionFile prev(dir + "/123456/VAZUZ2.MDB");
    for (int id : {1, 2, 3, 99}) {
        prev.addPatient(id);
        prev.addExams(id, 4);
    }
}

// The additional-information table in an older layout with thirty filled rows.
void olderPatientAddTable(const QString& dir, test::TestServices&) {
    ASSERT_TRUE(QDir().mkpath(dir + "/123456"));
    ASSERT_TRUE(test::CopyTemplateTo(dir + kMember));
    db::ConnectionPtr c = db::Connection::open(dir + kMember, kProgramPassword);
    c->execute("DROP TABLE TPatientAdd");
    c->execute("CREATE TABLE TPatientAdd (ID INTEGER NOT NULL PRIMARY KEY, BirthDay VARCHAR(10), "
               "Sex SMALLINT, ChiefComplaint SMALLINT, DiseaseName VARCHAR(50), Malocclusion SMALLINT, "
               "LowerPositionalRelation SMALLINT, KvrDiagnosisLW SMALLINT, KvrDiagnosisCA SMALLINT, "
               "NewDiagnosisStage SMALLINT, NewDiagnosisGrade SMALLINT, UpDateTime DATETIME)");
    for (int id = 1; id <= 30; ++id)
        c->execute("INSERT INTO TPatientAdd VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, '2021-05-06 00:00:00')",
                   {id, QString("19%1/04/01").arg(40 + id), id % 2, id % 11, QString(21, '0').replace(id % 21, 1, "1"),
                    id % 6, id % 4, id % 3, 1, id % 5, 2});
}

// An old-format member database with the previous base database beside it, and the template.
void oldFormatMember(const QString& dir, test::TestServices&) {
    ASSERT_TRUE(QDir().mkpath(dir + "/123456"));
    test::WriteOldFormatDb(dir + kMember, true);
    test::writeText(dir + "/123456/KVR-DB.MDB", "previous base database");
    ASSERT_TRUE(test::CopyTemplateTo(dir + "/KVR-DB_ORG.MDB"));
}

// A program folder with the template, the master list and member 111111 after one start.
void programFolder(const QString& dir, test::TestServices& t) {
    ASSERT_TRUE(QDir().mkpath(dir));
    for (const char* f : {"/KVR-DB_ORG.MDB", "/TMaster.txt"})
        ASSERT_TRUE(QFile::copy(test::builtAppFolder() + f, dir + f));
    t.paths->app = dir;
    ASSERT_TRUE(start(t, "111111"));
}

// Patient 99's stage-2 examination moved onto the date of his stage-3 one, replacing it.
std::function<bool()> saveOfAnExamination(const QString& dir, test::TestServices& t) {
    useMember(dir);
    ResetExamObjects();
    EXPECT_TRUE(OpenMemberDbHold());
    LoadStageLabels();
    EXPECT_TRUE(LoadSubExamRows() && LoadCharge(1));
    SaveRequest r{99, "2024", "1", "29", 2, false, QDate(2023, 8, 21), {}, 1, "K-99", {}};
    EXPECT_TRUE(LoadExamination(99, r.loadedDate, &r.status));
    for (int i = 0; i < kCells; i += 7)
        ExamSlots()[0].setBData(i, std::uint8_t(i % 11));
    t.boxes->answer(MsgResult::Yes); // change the date
    t.boxes->answer(MsgResult::Yes); // overwrite the rows there
    return [r] { return SaveExamination(r).saved; };
}

// The member database opened as the entry screen holds it, then op.
std::function<std::function<bool()>(const QString&, test::TestServices&)>
onHeldMember(std::function<bool(const QString& dir, test::TestServices& t)> op) {
    return [op](const QString& dir, test::TestServices& t) -> std::function<bool()> {
        useMember(dir);
        EXPECT_TRUE(OpenMemberDbHold());
        return [op, dir, &t] { return op(dir, t); };
    };
}

QStringList memberParts(const QString& dir, test::TestServices&) {
    return {wholeOf(dir + kMember)};
}

// A folder's files as text: a database by its rows (its bytes differ with every write),
// any other file by its hash; a journal is played back by reading its database.
QString folderText(const QString& folder) {
    QStringList files;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();)
        if (const QString f = it.next(); !f.endsWith("-journal")) files << f;
    files.sort();
    QString text;
    for (const QString& f : files) {
        text += QDir(folder).relativeFilePath(f) + ": ";
        if (f.endsWith(".MDB")) {
            text += rowsOf(f, {"SELECT * FROM TPatient ORDER BY ID", "SELECT * FROM TExamData ORDER BY ID",
                               "SELECT ClinicCode FROM TClinicCode"});
        } else {
            QFile in(f);
            text += in.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(in.readAll(), QCryptographicHash::Sha1).toHex()
                                                  : QByteArray("<unreadable>");
        }
        text += "\n";
    }
    return text;
}

// Member 123456 with a settings file and a large report beside its database, in a
// program folder with the template and the master list.
void memberToRenumber(const QString& dir, test::TestServices& t) {
    programFolder(dir, t);
    ASSERT_TRUE(test::MakeMemberAndBackup(dir, 30));
    test::writeText(dir + "/123456/KVR-DB.ini", "[Setting]\nStartTab=3\n");
    QDir().mkpath(dir + "/123456/report");
    test::writeText(dir + "/123456/report/sheet.pdf", QString(1 << 20, QChar('r')));
}

// In the order the change completes them: the new member folder, the set-aside copy of
// the old one, the old one gone. A member folder is read as the next start with its
// number finds it; the start also clears what an interrupted change left.
QStringList renumberedParts(const QString& dir, test::TestServices& t) {
    t.paths->app = dir;
    auto member = [&](const QString& no) {
        if (!QFileInfo(dir + "/" + no).isDir()) return QString("<absent>");
        return QString::number(start(t, no)) + "\n" + folderText(dir + "/" + no);
    };
    const QString renumbered = member("654321"), old = member("123456");
    QString aside;
    for (const QString& f : QDir(dir).entryList({"123456_*"}, QDir::Dirs, QDir::Name))
        aside += f + "\n" + folderText(dir + "/" + f);
    const QStringList hidden = QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                                   .filter(QRegularExpression("^\\."));
    return {renumbered, aside.isEmpty() ? "<none>" : aside, old + "\nleft: " + hidden.join(',')};
}

// The chart sheet of sample patient 99 as a PDF in the save folder.
std::function<bool()> pdfOfPatient99(const QString& dir, test::TestServices& t) {
    useMember(dir);
    t.paths->delivered = test::builtAppFolder(); // the tooth pictures
    app().SaveFolder = dir + kSave;
    static ChartPatientData data;
    static SheetSource source;
    EXPECT_TRUE(LoadChartPatient(99, data));
    source = {&data.stages, 99, data.caseNumber};
    return [&t] {
        t.boxes->clear();
        PrintChartSheet(nullptr, source, ApplicantKind::Specialist, true);
        return t.boxes->shown.size() == 1 && t.boxes->shown[0].title == "完了";
    };
}

// Each sheet under its final name, complete or not.
QStringList pdfParts(const QString& dir, test::TestServices&) {
    QString text;
    for (const QString& f : QDir(dir + kSave).entryList({"*.pdf"}, QDir::Files, QDir::Name)) {
        QFile in(dir + kSave + "/" + f);
        const QByteArray pdf = in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
        text += f + (pdf.startsWith("%PDF-") && pdf.trimmed().endsWith("%%EOF") ? " complete\n" : " damaged\n");
    }
    return {text.isEmpty() ? "<none>" : text};
}

const std::vector<Row>& rows() {
    static const std::vector<Row> table = {
        // The patient row is written first, in its own transaction.
        {"save", memberWithBackup, saveOfAnExamination,
         [](const QString& dir, test::TestServices&) {
             return QStringList{patientsOf(dir + kMember), restOf(dir + kMember)};
         },
         true, true, 0, true, false},
        // Under its dated name, as the backup tab names it: a retry gets a name of its own.
        {"backup", memberWithBackup,
         onHeldMember([](const QString& dir, test::TestServices&) {
             return BackupMemberDb(dir + kSave + "/" + DatedBackupName(now()));
         }),
         [](const QString& dir, test::TestServices&) {
             const QStringList backups = QDir(dir + kSave).entryList({"*.MDB"}, QDir::Files, QDir::Name);
             return QStringList{wholeOf(dir + kMember),
                                backups.isEmpty() ? "<absent>" : wholeOf(dir + kSave + "/" + backups.last())};
         },
         true, true},
        // The safety copy of the member database comes first; a failed try's copy keeps its name.
        {"restore", memberWithBackup,
         onHeldMember([](const QString& dir, test::TestServices& t) {
             t.boxes->answer(MsgResult::Yes);
             return RestoreMemberDb(dir + "/backup.MDB").restored;
         }),
         [](const QString& dir, test::TestServices&) {
             QStringList copies;
             for (QDirIterator it(dir + "/123456", {"*.MDB"}, QDir::Files); it.hasNext();)
                 if (const QString f = it.next(); !f.endsWith(kMember)) copies << wholeOf(f);
             copies.removeDuplicates();
             return QStringList{copies.join("\n&\n"), wholeOf(dir + kMember)};
         },
         true, true, 0, false, false},
        {"compact", memberWithBackup, onHeldMember([](const QString&, test::TestServices&) {
             CloseMemberDbForce();
             return CompactMemberDb();
         }),
         memberParts, true, true},
        {"archive", memberWithBackup,
         onHeldMember([](const QString& dir, test::TestServices&) {
             return WriteSubmissionArchive(app().memberDbPath(), dir + kArchive);
         }),
         [](const QString& dir, test::TestServices&) {
             QString archive = "absent";
             if (QFileInfo::exists(dir + kArchive)) {
                 QProcess p;
                 p.start("7z", {"t", QString("-p") + kSubmissionArchivePassword, dir + kArchive});
                 archive = p.waitForFinished(60000) && p.exitCode() == 0 ? "complete" : "damaged";
             }
             return QStringList{wholeOf(dir + kMember), archive};
         },
         true},
        // The import's rows, then its marker.
        {"import", memberAndPreviousFile,
         onHeldMember([](const QString& dir, test::TestServices& t) {
             t.boxes->answer(MsgResult::Yes);
             return ImportKVRChart(dir + "/123456/VAZUZ2.MDB", ReplaceSameNumbers) == ImportOutcome::Completed;
         }),
         [](const QString& dir, test::TestServices&) {
             const QString db = dir + kMember;
             return QStringList{rowsOf(db, {"SELECT * FROM TExamData ORDER BY ID", "SELECT * FROM TPatient ORDER BY ID",
                                            "SELECT * FROM TNextAutoNumber"}),
                                rowsOf(db, {"SELECT ClinicName FROM TClinicCode WHERE ID=0"})};
         }},
        {"rebuild", olderPatientAddTable,
         onHeldMember([](const QString&, test::TestServices&) { return ThePatientAdd().CheckTable() == 0; }),
         [](const QString& dir, test::TestServices&) {
             db::ConnectionPtr c = db::Connection::open(dir + kMember, kProgramPassword);
             QStringList lines;
             for (const QString& table : c->tables()) {
                 if (!table.contains("PatientAdd")) continue;
                 QStringList columns;
                 for (const db::ColumnInfo& col : c->columns(table))
                     columns << col.name;
                 lines << table + ": " + columns.join(',') << test::rowsText(c, {"SELECT * FROM " + table + " ORDER BY ID"});
             }
             return QStringList{lines.join('\n')};
         }},
        // The next start converts an old file left by a crash.
        {"conversion", oldFormatMember,
         [](const QString& dir, test::TestServices& t) -> std::function<bool()> {
             t.paths->app = dir;
             useMember(dir);
             return [] { return ThePatient().CheckTable() == 0; };
         },
         [](const QString& dir, test::TestServices& t) {
             t.paths->app = dir;
             useMember(dir);
             const int converted = ThePatient().CheckTable();
             closeAllConnections();
             return QStringList{QString::number(converted) + "\n" +
                                rowsOf(dir + kMember, {"SELECT * FROM TPatient ORDER BY ID",
                                                       "SELECT * FROM TExamData ORDER BY ID"})};
         }},
        // After a crash a normal start reaches the entry screen with every examination as a
        // complete start leaves it, and the other member untouched.
        {"first_start", programFolder,
         [](const QString& dir, test::TestServices& t) -> std::function<bool()> {
             t.paths->app = dir;
             return [&t] { return start(t, "222222"); };
         },
         [](const QString& dir, test::TestServices& t) {
             t.paths->app = dir;
             const bool started = start(t, "222222");
             return QStringList{QString::number(started) + startedDbOf(dir, "222222") + startedDbOf(dir, "111111") +
                                QString::number(QFileInfo::exists(dir + "/.222222.new"))};
         },
         true, false, 50, false, true, true},
        {"member_start", programFolder,
         [](const QString& dir, test::TestServices& t) -> std::function<bool()> {
             t.paths->app = dir;
             return [&t] { return start(t, "111111"); };
         },
         [](const QString& dir, test::TestServices& t) {
             t.paths->app = dir;
             return QStringList{QString::number(start(t, "111111")) + startedDbOf(dir, "111111")};
         },
         true, false, 100, false, true, true},
        {"member_number", memberToRenumber,
         [](const QString& dir, test::TestServices& t) -> std::function<bool()> {
             t.paths->app = dir;
             useMember(dir);
             EXPECT_TRUE(OpenMemberDbHold());
             return [] { return ChangeMemberNumber("654321") == MemberNoChange::Done; };
         },
         renumberedParts, true, true, 40, true, true, true},
        {"pdf", memberWithBackup, pdfOfPatient99, pdfParts, true, true, 0, true},
    };
    return table;
}

const Row& rowNamed(const QString& name) {
    for (const Row& r : rows())
        if (name == r.name) return r;
    throw std::runtime_error("no such row");
}

QString hashOf(const QStringList& parts) {
    return QCryptographicHash::hash(parts.join("\n--\n").toUtf8(), QCryptographicHash::Sha1).toHex();
}

// ------------------------------------------------------------------ the child

// One run of the row's operation; after an injected fault that made it fail, the state it
// left and, with kRetryVar, the same operation again a few minutes later with the disk well. A fault that
// ends the program (a database that fails to write) leaves the reading and the retry to
// new processes, as the real program ends there: the parent reads the state, and a child
// with kRetryVar "again" retries on the same folder.
TEST(CrashChild, Run) {
    const QString dir = test::KillWork();
    if (dir.isEmpty()) GTEST_SKIP() << "runs only as the child of Crash";
    test::TestServices t = test::installTestServices();
    const Row& row = rowNamed(qEnvironmentVariable(kRowVar));
    auto retry = [&] {
        t.clock->current = t.clock->current.addSecs(300);
        const std::function<bool()> again = row.start(dir, t);
        bool done = false;
        try {
            done = again();
        } catch (const ProgramEnded&) {
        }
        const QStringList after = done ? row.state(dir, t) : QStringList{"<failed>"};
        return after.filter(QRegularExpression("^<(d|fail)")).isEmpty() ? hashOf(after) : QString("failed");
    };
    if (qEnvironmentVariable(kRetryVar) == "state") {
        const QStringList state = row.state(dir, t);
        std::printf("STATE %s %s\n", qPrintable(hashOf(state)),
                    qPrintable(state.join(" | ").left(300).replace('\n', ' ')));
        std::fflush(stdout);
        return;
    }
    if (qEnvironmentVariable(kRetryVar) == "again") {
        std::printf("RETRIED %s.\n", qPrintable(retry()));
        std::fflush(stdout);
        return;
    }
    const std::function<bool()> op = row.start(dir, t);
    test::PowerCutStart(dir);
    bool ok = false, ended = false;
    try {
        ok = op();
    } catch (const ProgramEnded&) {
        ended = true;
    }
    if (qEnvironmentVariable(test::kCrashAtVar) == "end") test::PowerCutNow();
    const std::string ops = test::PowerCutStop();
    QString left = ended ? "ended" : "-", retried = "-";
    if (!ended && test::PowerCutFaulted() && qEnvironmentVariableIntValue(kRetryVar)) {
        left = hashOf(row.state(dir, t));
        if (!ok) retried = retry();
    }
    std::printf("DONE %d faulted %d boxes %lld left %s retried %s ops %s.\n", int(ok), int(test::PowerCutFaulted()),
                t.boxes->shown.size(), qPrintable(left), qPrintable(retried), ops.c_str());
    std::fflush(stdout);
    if (!ended) closeAllConnections();
}

// ------------------------------------------------------------------ the parent

struct Report {
    int ok = -1, faulted = 0, boxes = 0;
    QString left, retried;
    std::string ops;
};

class Crash : public test::KillTest, public ::testing::WithParamInterface<Row> {
protected:
    void SetUp() override {
        KillTest::SetUp();
        GetParam().setup(pristine, t);
        if (HasFatalFailure()) return;
        fresh();
        oldState = GetParam().state(work, t);
        const Report full = child({});
        ASSERT_EQ(full.ok, 1) << full.ops;
        ASSERT_FALSE(full.ops.empty());
        ops = full.ops;
        newState = GetParam().state(work, t);
    }
    void TearDown() override { closeAllConnections(); }

    Report child(QProcessEnvironment env, test::ChildRun* out = nullptr) {
        env.insert(kRowVar, GetParam().name);
        const test::ChildRun r = run("CrashChild.*", env);
        if (out) *out = r;
        const QRegularExpressionMatch m =
            QRegularExpression("DONE (\\d) faulted (\\d) boxes (\\d+) left (\\S*) retried (\\S+) ops ([wtfcru]*)\\.")
                .match(r.output);
        if (!m.hasMatch()) return {};
        return {m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(), m.captured(4), m.captured(5),
                m.captured(6).toStdString()};
    }

    // How many parts of the new state a state has, its old parts following (-1: none such).
    int donePartsOf(const QString& hash) const {
        for (int k = int(newState.size()); k >= 0; --k)
            if (hash == hashOf(newState.mid(0, k) + oldState.mid(k))) return k;
        return -1;
    }

    // The hash of the row's state of work, and its start as text.
    std::pair<QString, QString> stateOfWork() {
        if (!GetParam().stateStarts) {
            const QStringList state = GetParam().state(work, t);
            return {hashOf(state), state.join(" | ").left(300)};
        }
        QProcessEnvironment env;
        env.insert(kRowVar, GetParam().name);
        env.insert(kRetryVar, "state");
        const QRegularExpressionMatch m =
            QRegularExpression("STATE (\\S+) ([^\n]*)").match(run("CrashChild.*", env, false).output);
        return {m.hasMatch() ? m.captured(1) : "<no state>", m.captured(2)};
    }

    QStringList oldState, newState;
    std::string ops;
};

TEST_P(Crash, AKillOrAPowerCutAtAnyPointLeavesTheOldOrTheNewData) {
    const Row& row = GetParam();
    // The long run crashes at every operation of the journal.
    const bool longRun = qEnvironmentVariableIntValue(test::kPowerCutLongVar);
    QList<int> points = test::PowerCutPoints(ops, 11, longRun ? int(ops.size()) : 8);
    if (!longRun && row.maxPoints && points.size() > row.maxPoints) {
        std::sort(points.begin(), points.end());
        QList<int> spread;
        for (int i = 0; i < row.maxPoints; ++i)
            spread << points[i * points.size() / row.maxPoints];
        points = spread;
    }
    // The state after a kill (or a power cut) at the point ("end": after the operation).
    auto crash = [&](const QString& at, bool cut) {
        const QString disk = dir.filePath("cut");
        QDir(disk).removeRecursively();
        QProcessEnvironment env;
        env.insert(test::kCrashAtVar, at);
        if (cut) env.insert(test::kPowerCutDiskVar, disk);
        test::ChildRun r;
        const Report done = child(env, &r);
        // A PDF's length, and so its number of writes, varies with the time it is made: a
        // run shorter than the crash point ends normally, and its end state is checked.
        const bool shorter = !r.crashed && done.ok == 1 && at != "end" && int(done.ops.size()) < at.toInt();
        EXPECT_TRUE(shorter || (r.crashed && r.output.contains("CRASH at"))) << at.toStdString()
                                                                            << r.output.toStdString();
        if (cut && !shorter) QDir(work).removeRecursively(), QDir().rename(disk, work);
        return stateOfWork();
    };
    std::map<QString, int> outcomes; // kill or cut, parts done: count
    for (int p : points)
        for (bool cut : {false, true}) {
            if (cut && !row.cuts) continue;
            const auto [hash, text] = crash(QString::number(p), cut);
            const int done = donePartsOf(hash);
            ASSERT_TRUE(done >= 0 && !HasFailure()) << (cut ? "cut" : "kill") << " at " << p << " of " << ops << ": "
                                                    << text.toStdString();
            ++outcomes[QString(cut ? "cut" : "kill") + " " + QString::number(done)];
        }
    // A power cut right after the operation reported success keeps all of it.
    if (row.cuts) {
        const auto [hash, text] = crash("end", true);
        EXPECT_EQ(donePartsOf(hash), newState.size()) << "cut after the operation reported success: " << text.toStdString();
    }
    QString summary;
    for (const auto& [what, n] : outcomes)
        summary += QString(" %1 parts done: %2;").arg(what).arg(n);
    std::printf("%s: %lld operations, %lld points;%s\n", row.name, qsizetype(ops.size()), points.size(),
                qPrintable(summary));
}

class Faults : public Crash {};

TEST_P(Faults, AFailedWriteOrFlushIsReportedAndARetryWorks) {
    int failed = 0, count = 0;
    for (int p : test::PowerCutPoints(ops, 1, 0)) {
        const char kind = ops[size_t(p - 1)];
        if (kind != 'w' && kind != 'f') continue;
        // The last flush (of the folder after the final rename, or of the save's journal):
        // the new data are whole in place, but may not outlive a power cut, so the failure
        // is reported all the same. Rows without lastFlushFault: a save retried after it
        // stores the examination under new record numbers, a restore makes a second safety copy.
        const bool lastFlush = p == int(ops.size()) && kind == 'f';
        if (lastFlush && !GetParam().lastFlushFault) continue;
        const int err = ++count % 2 ? ENOSPC : EIO;
        QProcessEnvironment env;
        env.insert(test::kFaultAtVar, QString::number(p));
        env.insert(test::kFaultErrnoVar, QString::number(err));
        env.insert(kRetryVar, "1");
        test::ChildRun r;
        Report f = child(env, &r);
        if (f.left == "ended") { // the program ended after its message: a new start and a retry
            f.left = stateOfWork().first;
            closeAllConnections();
            QProcessEnvironment again;
            again.insert(kRowVar, GetParam().name);
            again.insert(kRetryVar, "again");
            const QRegularExpressionMatch m =
                QRegularExpression("RETRIED (\\S+)\\.").match(run("CrashChild.*", again, false).output);
            f.retried = m.hasMatch() ? m.captured(1) : "failed";
        }
        const std::string where = std::string(GetParam().name) + " errno " + std::to_string(err) + " at " +
                                  std::to_string(p) + " of " + ops;
        ASSERT_EQ(f.faulted, 1) << where << r.output.toStdString();
        const int done = donePartsOf(f.left);
        if (f.ok == 0) {
            ++failed;
            EXPECT_GT(f.boxes, 0) << where << ": failed without a message";
            EXPECT_TRUE(done >= 0 && (done < newState.size() || oldState == newState || lastFlush))
                << where << ": a failure left " << done << " parts done";
        } else {
            EXPECT_EQ(done, newState.size()) << where << ": reported done, but " << done << " parts are";
        }
        if (f.ok == 1) {
            // Nothing to retry: the fault did not keep the operation from completing.
        } else if (GetParam().timed) {
            EXPECT_NE(f.retried, "failed") << where << ": the retry failed";
        } else {
            EXPECT_EQ(f.retried, hashOf(newState)) << where << ": the retry did not give the new data";
        }
    }
    std::printf("%s: %d faults, %d reported as failures\n", GetParam().name, count, failed);
}

std::string nameOf(const ::testing::TestParamInfo<Row>& info) {
    return info.param.name;
}
std::vector<Row> faultRows() {
    std::vector<Row> r;
    for (const Row& row : rows())
        if (row.faults) r.push_back(row);
    return r;
}

INSTANTIATE_TEST_SUITE_P(Kill, Crash, ::testing::ValuesIn(rows()), nameOf);
INSTANTIATE_TEST_SUITE_P(Fault, Faults, ::testing::ValuesIn(faultRows()), nameOf);

} // namespace
