// Crash tests: a test program runs itself again as a child (one test filter) that works
// on a fresh copy of prepared data and is killed with SIGKILL: by the parent a given time
// after the child reports "READY", by itself at a chosen step, or, in programs that link
// power_cut.cpp, right after a chosen file operation, optionally leaving the disk as a
// power cut at that point would.
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
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <unistd.h>

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

struct ChildRun {
    bool crashed = false;
    QString output;
};

// Runs this test program with the test filter and the extra environment. With
// delayUs >= 0 the child is killed that long after it printed "READY". The child's
// standard output (and with withErrors its error output) is returned.
inline ChildRun RunChild(const QString& filter, const QProcessEnvironment& extra, int delayUs,
                         bool withErrors = false) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QTemporaryDir childTemp; // a killed child cannot remove its temporary folders
    env.insert("TMPDIR", childTemp.path());
    for (const QString& key : extra.keys())
        env.insert(key, extra.value(key));
    p.setProcessEnvironment(env);
    p.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=" + filter});
    EXPECT_TRUE(p.waitForStarted());
    QByteArray out;
    if (delayUs >= 0) {
        while (!out.contains("READY\n") && p.state() == QProcess::Running) {
            p.waitForReadyRead(100);
            out += p.readAllStandardOutput();
        }
        ::usleep(useconds_t(delayUs));
        ::kill(pid_t(p.processId()), SIGKILL);
    }
    EXPECT_TRUE(p.waitForFinished(60000));
    out += p.readAllStandardOutput();
    if (withErrors) out += p.readAllStandardError();
    return {p.exitStatus() == QProcess::CrashExit, QString::fromUtf8(out)};
}

// The child's side: the copy to work on, or empty in a normal test run.
inline QString KillWork() {
    return qEnvironmentVariable(kWorkVar);
}

// The child's reports of a timed kill: ready (the parent's clock starts), and done with
// the result and the job's length.
inline void ReportReady(QElapsedTimer& timer) {
    std::printf("READY\n");
    std::fflush(stdout);
    timer.start();
}
inline void ReportDone(int result, const QElapsedTimer& timer) {
    std::printf("DONE %d us %lld.\n", result, timer.nsecsElapsed() / 1000);
    std::fflush(stdout);
}
struct DoneReport {
    int result = -1, us = 0;
};
inline DoneReport ParseDone(const ChildRun& run) {
    const QRegularExpressionMatch m = QRegularExpression("DONE (-?\\d+) us (\\d+)\\.").match(run.output);
    return m.hasMatch() ? DoneReport{m.captured(1).toInt(), m.captured(2).toInt()} : DoneReport{};
}

// count kill delays spread over [0, max(floorUs, spanUs)), the same for every run of the test.
inline QList<int> RandomDelays(quint32 seed, int count, int spanUs, int floorUs = 1000) {
    QRandomGenerator rng(seed);
    QList<int> delays;
    for (int i = 0; i < count; ++i)
        delays << int(rng.bounded(qMax(floorUs, spanUs)));
    return delays;
}

// The parent of a crash test: every run of the child works on a fresh copy (work) of the
// prepared folder (pristine) and gets the copy's path in kWorkVar.
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
    ChildRun run(const QString& filter, int delayUs, QProcessEnvironment env = {}) {
        fresh();
        env.insert(kWorkVar, work);
        return RunChild(filter, env, delayUs, true);
    }
    // A run to the end: its report, checked for a result of 0 or 1.
    DoneReport fullRun(const QString& filter, QProcessEnvironment env = {}) {
        const ChildRun r = run(filter, -1, env);
        const DoneReport d = ParseDone(r);
        EXPECT_FALSE(r.crashed) << r.output.toStdString();
        EXPECT_TRUE(d.result == 0 || d.result == 1) << r.output.toStdString();
        return d;
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
