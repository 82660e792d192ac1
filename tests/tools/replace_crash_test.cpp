// A restore, a compaction or an archive creation killed at any moment leaves the member
// database opening with the key, passing the integrity check and holding either its old
// or its new content; an archive under its final name is always complete.
//
// The test program re-runs itself as a child (--gtest_filter=ReplaceCrashChild.*) that
// does one of the three jobs on a member folder of about 4 MB. The child is killed with
// SIGKILL after a random delay spread over one and a half times the job's duration.
#include "data/ADODBMain.h"
#include "data/Compaction.h"
#include "data/MemberDbSwap.h"
#include "platform/database.h"
#include "platform/passwords.h"
#include "shell/AppState.h"
#include "support/kill_child.h"
#include "support/test_services.h"
#include "tools/BackupRestore.h"
#include "tools/EncryptedZip.h"
#include "tools/Submission.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace kvr;

namespace {

const char* const kDirVar = "KVR_REPLACE_CRASH_DIR";
const char* const kModeVar = "KVR_REPLACE_CRASH_MODE";


void useMemberFolder(const QString& dir) {
    app().MemberNo = "123456";
    app().MemberFolder = dir + "/123456";
    app().MemberDbFile = "/KVR-DB-123456.MDB";
    app().SaveFolder = dir + "/save";
    setMemberSource(app().memberDbPath());
}

TEST(ReplaceCrashChild, Run) {
    const QString dir = qEnvironmentVariable(kDirVar);
    if (dir.isEmpty()) GTEST_SKIP() << "runs only as the child of ReplaceCrash";
    test::TestServices t = test::installTestServices();
    closeAllConnections();
    useMemberFolder(dir);
    const QString mode = qEnvironmentVariable(kModeVar);
    ASSERT_TRUE(OpenMemberDbHold());
    std::printf("READY\n");
    std::fflush(stdout);
    QElapsedTimer timer;
    timer.start();
    bool ok = false;
    if (mode == "restore") {
        t.boxes->answer(MsgResult::Yes);
        ok = RestoreMemberDb(dir + "/backup.MDB").restored;
    } else if (mode == "compact") {
        CloseMemberDbForce();
        ok = CompactMemberDb();
    } else if (mode == "archive") {
        ok = WriteSubmissionArchive(app().memberDbPath(), app().SaveFolder + "/N_123456_20240814_1630_KVR-DB.zip");
    }
    std::printf("DONE %d us %lld\n", int(ok), timer.nsecsElapsed() / 1000);
    std::fflush(stdout);
}

QString contentOf(const QString& path) {
    db::ConnectionPtr c = db::Connection::open(path, kProgramPassword);
    if (c->scalar("PRAGMA integrity_check").toString() != "ok") return "<damaged>";
    QStringList parts;
    for (const char* sql : {"SELECT group_concat(ID) FROM TPatient", "SELECT COUNT(*) FROM TScratch",
                            "SELECT group_concat(ID) FROM TExamData"})
        parts << c->scalar(sql).toString();
    return parts.join('|');
}

class ReplaceCrash : public ::testing::Test {
protected:
    void SetUp() override {
        test::installTestServices();
        ASSERT_TRUE(dir.isValid());
        pristine = dir.filePath("pristine");
        QDir().mkpath(pristine + "/123456");
        QDir().mkpath(pristine + "/save");
        const QString member = pristine + "/123456/KVR-DB-123456.MDB";
        ASSERT_TRUE(QFile::copy(test::builtAppFolder() + "/KVR-DB_ORG.MDB", member));
        QFile::setPermissions(member, QFile::ReadOwner | QFile::WriteOwner);
        {
            auto c = db::Connection::open(member, kProgramPassword);
            c->execute("CREATE TABLE TScratch (ID INTEGER, Body TEXT)");
            c->beginTransaction();
            for (int i = 0; i < 1000; ++i)
                c->execute("INSERT INTO TScratch VALUES (?, ?)", {i, QString(3000, QChar('a' + i % 26))});
            c->commit();
            c->execute("DELETE FROM TScratch WHERE ID % 3 = 0"); // free pages for the compaction
        }
        QFile::copy(member, pristine + "/backup.MDB");
        db::Connection::open(pristine + "/backup.MDB", kProgramPassword)
            ->execute("INSERT INTO TPatient (ID, Name) VALUES (7, 'backup')");
        oldContent = contentOf(member);
        backupContent = contentOf(pristine + "/backup.MDB");
        ASSERT_NE(oldContent, backupContent);
    }

    test::ChildRun run(const QString& mode, int delayUs) {
        QDir(work()).removeRecursively();
        QProcess::execute("cp", {"-a", pristine, work()});
        QProcessEnvironment env;
        env.insert(kDirVar, work());
        env.insert(kModeVar, mode);
        return test::RunChild("ReplaceCrashChild.*", env, delayUs);
    }
    QString work() const { return dir.filePath("work"); }
    QString member() const { return work() + "/123456/KVR-DB-123456.MDB"; }

    // A full run: its duration in microseconds.
    int fullRun(const QString& mode) {
        const test::ChildRun full = run(mode, -1);
        EXPECT_FALSE(full.crashed) << full.output.toStdString();
        const QRegularExpressionMatch m = QRegularExpression("DONE 1 us (\\d+)").match(full.output);
        EXPECT_TRUE(m.hasMatch()) << full.output.toStdString();
        return m.captured(1).toInt();
    }

    QTemporaryDir dir;
    QString pristine, oldContent, backupContent;
};

TEST_F(ReplaceCrash, KilledRestoreLeavesTheOldOrTheRestoredDatabase) {
    const int us = fullRun("restore");
    ASSERT_EQ(contentOf(member()), backupContent);
    QRandomGenerator rng(16);
    int old = 0, restored = 0;
    for (int i = 0; i < 25; ++i) {
        const int delay = int(rng.bounded(qMax(2000, us * 3 / 2)));
        run("restore", delay);
        const QString c = contentOf(member());
        ASSERT_TRUE(c == oldContent || c == backupContent) << "after a kill " << delay << " us in: " << c.toStdString();
        (c == oldContent ? old : restored) += 1;
    }
    std::printf("restore %d us; random kills: %d old, %d restored\n", us, old, restored);
    EXPECT_GT(old, 0);
}

TEST_F(ReplaceCrash, KilledCompactionLeavesAWorkingDatabaseWithTheSameRows) {
    const qint64 sizeBefore = QFileInfo(pristine + "/123456/KVR-DB-123456.MDB").size();
    const int us = fullRun("compact");
    ASSERT_EQ(contentOf(member()), oldContent);
    ASSERT_LT(QFileInfo(member()).size(), sizeBefore);
    int kills = 0, compacted = 0;
    auto check = [&](const QString& what) {
        const QString c = contentOf(member());
        ASSERT_EQ(c, oldContent) << what.toStdString();
        ++kills;
        if (QFileInfo(member()).size() < sizeBefore) ++compacted;
    };
    QRandomGenerator rng(24);
    for (int i = 0; i < 25; ++i) {
        const int delay = int(rng.bounded(qMax(2000, us * 3 / 2)));
        run("compact", delay);
        check("a kill " + QString::number(delay) + " us in");
    }
    std::printf("compaction %d us; %d kills, %d after the replacement\n", us, kills, compacted);
}

TEST_F(ReplaceCrash, KilledArchiveCreationNeverLeavesAHalfArchiveUnderItsName) {
    const int us = fullRun("archive");
    const QString zip = work() + "/save/N_123456_20240814_1630_KVR-DB.zip";
    ASSERT_TRUE(QFileInfo::exists(zip));
    QRandomGenerator rng(36);
    int none = 0, complete = 0;
    for (int i = 0; i < 25; ++i) {
        const int delay = int(rng.bounded(qMax(2000, us * 3 / 2)));
        run("archive", delay);
        ASSERT_EQ(contentOf(member()), oldContent);
        if (!QFileInfo::exists(zip)) {
            ++none;
            continue;
        }
        ++complete;
        QProcess p;
        p.start("7z", {"t", QString("-p") + kSubmissionArchivePassword, zip});
        ASSERT_TRUE(p.waitForFinished(60000));
        ASSERT_EQ(p.exitCode(), 0) << "a half archive after a kill " << delay << " us in";
    }
    std::printf("archive %d us; random kills: %d without archive, %d complete\n", us, none, complete);
    EXPECT_GT(none, 0);
}

} // namespace
