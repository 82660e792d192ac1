// A restore, a compaction or an archive creation killed at any moment leaves the member
// database opening with the key, passing the integrity check and holding either its old
// or its new content; an archive under its final name is always complete.
//
// The child does one of the three jobs on a member folder of about 4 MB and is killed
// right after chosen file operations (renames, removals, writes) and after random
// delays spread over one and a half times the job's length.
#include "data/Compaction.h"
#include "data/MemberDbSwap.h"
#include "data/member_db_fixture.h"
#include "support/kill_child.h"
#include "tools/BackupRestore.h"
#include "tools/EncryptedZip.h"
#include "tools/Submission.h"

using namespace kvr;

namespace {

const char* const kModeVar = "KVR_REPLACE_CRASH_MODE";
const QString kArchive = "/save/N_123456_20240814_1630_KVR-DB.zip";

TEST(ReplaceCrashChild, Run) {
    const QString dir = test::KillWork();
    if (dir.isEmpty()) GTEST_SKIP() << "runs only as the child of ReplaceCrash";
    test::TestServices t = test::installTestServices();
    closeAllConnections();
    app().MemberNo = "123456";
    app().MemberFolder = dir + "/123456";
    app().MemberDbFile = "/KVR-DB-123456.MDB";
    setMemberSource(app().memberDbPath());
    ASSERT_TRUE(OpenMemberDbHold());
    const QString mode = qEnvironmentVariable(kModeVar);
    QElapsedTimer timer;
    test::ReportReady(timer);
    bool ok = false;
    if (mode == "restore") {
        t.boxes->answer(MsgResult::Yes);
        ok = RestoreMemberDb(dir + "/backup.MDB").restored;
    } else if (mode == "compact") {
        CloseMemberDbForce();
        ok = CompactMemberDb();
    } else if (mode == "archive") {
        ok = WriteSubmissionArchive(app().memberDbPath(), dir + kArchive);
    }
    test::ReportDone(ok, timer);
}

QString contentOf(const QString& path) {
    try {
        db::ConnectionPtr c = db::Connection::open(path, kProgramPassword);
        if (c->scalar("PRAGMA integrity_check").toString() != "ok") return "<damaged>";
        return test::rowsText(c, {"SELECT group_concat(ID) FROM TPatient", "SELECT COUNT(*) FROM TScratch",
                                  "SELECT group_concat(ID) FROM TExamData"});
    } catch (const RuntimeError& e) {
        return "<does not open: " + e.description + ">";
    }
}

class ReplaceCrash : public test::KillTest {
protected:
    void SetUp() override {
        KillTest::SetUp();
        const QString member = pristine + "/123456/KVR-DB-123456.MDB";
        ASSERT_TRUE(test::MakeMemberAndBackup(pristine, 1000));
        oldContent = contentOf(member);
        backupContent = contentOf(pristine + "/backup.MDB");
        ASSERT_NE(oldContent, backupContent);
    }
    QProcessEnvironment mode(const QString& m) {
        QProcessEnvironment env;
        env.insert(kModeVar, m);
        return env;
    }
    // Runs the job to its end, then kills it right after each of its renames and removals
    // and at the start, middle and end of each run of file writes, then 12 times at
    // random: the content of the member database after each kill.
    QStringList killedRuns(const QString& m, quint32 seed) {
        const test::DoneReport full = fullRun("ReplaceCrashChild.*", mode(m));
        EXPECT_EQ(full.result, 1);
        EXPECT_EQ(contentOf(member()), m == "restore" ? backupContent : oldContent);
        if (m == "compact") {
            EXPECT_LT(QFileInfo(member()).size(), QFileInfo(pristine + "/123456/KVR-DB-123456.MDB").size());
        }
        EXPECT_TRUE(full.fileOps.contains('r')) << full.fileOps.toStdString();
        QStringList contents;
        auto check = [&](int delay, QProcessEnvironment env) {
            const test::ChildRun r = run("ReplaceCrashChild.*", delay, env);
            if (delay < 0) {
                EXPECT_TRUE(r.crashed) << "not killed at its file operation";
            }
            contents << contentOf(member());
            if (m == "archive") archives << (QFileInfo::exists(work + kArchive) ? sevenZipTest() : "none");
        };
        const QList<int> opKills = test::FileOpKills(full.fileOps);
        for (int op : opKills) {
            QProcessEnvironment env = mode(m);
            env.insert(test::kKillAtFileOpVar, QString::number(op));
            check(-1, env);
        }
        for (int delay : test::RandomDelays(seed, 12, full.us * 3 / 2, 2000))
            check(delay, mode(m));
        std::printf("%s %d us, file operations %s, %lld kills\n", qPrintable(m), full.us,
                    qPrintable(full.fileOps.size() > 60 ? full.fileOps.left(60) + "..." : full.fileOps),
                    qsizetype(contents.size()));
        return contents;
    }
    QString sevenZipTest() {
        QProcess p;
        p.start("7z", {"t", QString("-p") + kSubmissionArchivePassword, work + kArchive});
        return p.waitForFinished(60000) && p.exitCode() == 0 ? "complete" : "damaged";
    }
    QString member() const { return work + "/123456/KVR-DB-123456.MDB"; }

    QString oldContent, backupContent;
    QStringList archives;
};

TEST_F(ReplaceCrash, KilledRestoreLeavesTheOldOrTheRestoredDatabase) {
    const QStringList contents = killedRuns("restore", 16);
    for (const QString& c : contents)
        ASSERT_TRUE(c == oldContent || c == backupContent) << c.toStdString();
    std::printf("random kills: %lld old, %lld restored\n", contents.count(oldContent), contents.count(backupContent));
    EXPECT_GT(contents.count(oldContent), 0);
}

TEST_F(ReplaceCrash, KilledCompactionLeavesAWorkingDatabaseWithTheSameRows) {
    const QStringList contents = killedRuns("compact", 24);
    EXPECT_EQ(contents, QStringList(contents.size(), oldContent));
}

TEST_F(ReplaceCrash, KilledArchiveCreationNeverLeavesAHalfArchiveUnderItsName) {
    const QStringList contents = killedRuns("archive", 36);
    EXPECT_EQ(contents, QStringList(contents.size(), oldContent));
    EXPECT_FALSE(archives.contains("damaged"));
    std::printf("random kills: %lld without archive, %lld complete\n", archives.count("none"),
                archives.count("complete"));
    EXPECT_GT(archives.count("none"), 0);
}

} // namespace
