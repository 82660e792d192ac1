// Crash tests: a test program runs itself again as a child (one test filter) that works
// on a fresh copy of prepared data and kills itself with SIGKILL right after a chosen
// file operation, optionally leaving the disk as a power cut at that point would.
//
// The recorder (power_cut.cpp): after PowerCutStart(root) every operation on a file or
// folder under root is one letter of a journal: w a write, t a truncation, f a flush,
// c a creation, r a rename or link, u a removal. At operation kCrashAtVar (1-based, right
// after it was done) the child kills itself; with kPowerCutDiskVar set it first writes
// there, as a folder tree, what a power cut would leave of root: each file's content as
// of its last flush and each folder's entries as of its last flush. At operation
// kFaultAtVar, when it is a write or a flush, the call fails with kFaultErrnoVar without
// doing anything. Files are followed by inode, so a rename moves the flushed content
// with the name, and a rename or removal whose folder was not flushed comes back.
#pragma once

#include "data/member_db_fixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace kvr::test {

inline const char* const kWorkVar = "KVR_KILL_TEST_WORK";
inline const char* const kCrashAtVar = "KVR_CRASH_AT";
inline const char* const kPowerCutDiskVar = "KVR_POWER_CUT_DISK";
inline const char* const kFaultAtVar = "KVR_FAULT_AT";
inline const char* const kFaultErrnoVar = "KVR_FAULT_ERRNO";
inline const char* const kPowerCutLongVar = "KVR_POWER_CUT_LONG";

// Starts recording under root (an absolute path), with the state of root as flushed.
void PowerCutStart(const QString& root);
// Stops recording and faults; the journal of operations so far.
std::string PowerCutStop();
// True once an injected fault was returned.
bool PowerCutFaulted();
// The crash (and with kPowerCutDiskVar the power cut) at once.
void PowerCutNow();
// The crash points of a journal (1-based): every operation other than a write, the
// first, middle and last write of each run of writes, then randomCount more at random
// (fixed seed), without repeats.
QList<int> PowerCutPoints(const std::string& ops, unsigned seed, int randomCount);

// How a child ended, and its standard and error output.
struct ChildRun {
    bool crashed = false;
    QString output;
};

// The child's side: the copy to work on, or empty in a normal test run.
inline QString KillWork() {
    return qEnvironmentVariable(kWorkVar);
}

// The parent of a crash test: every run of the child (this program with a test filter and
// extra environment) works on a fresh copy (work) of the prepared folder (pristine) and
// gets the copy's path in kWorkVar.
class KillTest : public ::testing::Test {
protected:
    void SetUp() override {
        t = installTestServices();
        ASSERT_TRUE(dir.isValid());
        pristine = dir.filePath("pristine");
        work = dir.filePath("work");
    }
    void fresh() {
        QDir(work).removeRecursively();
        QFile::remove(work);
        EXPECT_EQ(QProcess::execute("cp", {"-a", pristine, work}), 0);
    }
    // onFresh false: the child works on work as the previous child left it.
    ChildRun run(const QString& filter, const QProcessEnvironment& extra = {}, bool onFresh = true) {
        if (onFresh) fresh();
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        QTemporaryDir childTemp; // a killed child cannot remove its temporary folders
        env.insert("TMPDIR", childTemp.path());
        env.insert(kWorkVar, work);
        for (const QString& key : extra.keys())
            env.insert(key, extra.value(key));
        p.setProcessEnvironment(env);
        p.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=" + filter});
        EXPECT_TRUE(p.waitForStarted());
        EXPECT_TRUE(p.waitForFinished(60000));
        return {p.exitStatus() == QProcess::CrashExit,
                QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError())};
    }
    TestServices t;
    QTemporaryDir dir;
    QString pristine, work;
};

// Member 123456 in folder, whose database holds scratchRows rows of 3 KB with every third
// one deleted (free pages for the compaction), a "save" folder, and "backup.MDB", a copy
// of that database with one more patient (7, "backup").
inline bool MakeMemberAndBackup(const QString& folder, int scratchRows) {
    QDir().mkpath(folder + "/123456");
    QDir().mkpath(folder + "/save");
    const QString member = folder + "/123456/KVR-DB-123456.MDB";
    if (!CopyTemplateTo(member)) return false;
    {
        auto c = db::Connection::open(member, kProgramPassword);
        c->execute("CREATE TABLE TScratch (ID INTEGER, Body TEXT)");
        c->beginTransaction();
        for (int i = 0; i < scratchRows; ++i)
            c->execute("INSERT INTO TScratch VALUES (?, ?)", {i, QString(3000, QChar('a' + i % 26))});
        c->commit();
        c->execute("DELETE FROM TScratch WHERE ID % 3 = 0");
    }
    if (!QFile::copy(member, folder + "/backup.MDB")) return false;
    db::Connection::open(folder + "/backup.MDB", kProgramPassword)
        ->execute("INSERT INTO TPatient (ID, Name) VALUES (7, 'backup')");
    return true;
}

} // namespace kvr::test
