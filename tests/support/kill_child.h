// Kill tests: a test program runs itself again as a child (one test filter) that works
// on a copy of the data and is killed with SIGKILL, either by itself at its n-th SQL
// statement or by the parent a given time after the child reports "READY".
#pragma once

#include "platform/database.h"
#include "platform/passwords.h"
#include "support/test_services.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include <csignal>
#include <string>
#include <cstdio>
#include <unistd.h>

namespace kvr::test {

struct ChildRun {
    bool crashed = false;
    QString output;
};

// ------------------------------------------------------------------ the child

// Statements run so far on the traced connections, and the one that kills (0: none).
inline int gStatements = 0;
inline int gKillAt = 0;

inline int KillingTrace(unsigned, void*, void*, void*) {
    ++gStatements;
    if (gStatements == gKillAt) ::kill(::getpid(), SIGKILL);
    return 0;
}

// Counts the statements of a connection and kills the process at statement gKillAt.
inline void TraceStatements(sqlite3* db) {
    sqlite3_trace_v2(db, SQLITE_TRACE_STMT, KillingTrace, nullptr);
}

// File operations of the job, one letter each (w: a write to a regular file, r: a
// rename, u: a removal), counted by the test programs that link file_ops_kill.cpp; the
// gKillAtFileOp-th kills the process right after it was done (0: none).
inline bool gCountFileOps = false;
inline int gKillAtFileOp = 0;
inline std::string gFileOps;
inline const char* const kKillAtFileOpVar = "KVR_KILL_AT_FILE_OP";

inline void FileOpDone(char kind) {
    if (!gCountFileOps) return;
    gFileOps += kind;
    if (int(gFileOps.size()) == gKillAtFileOp) ::kill(::getpid(), SIGKILL);
}

// The child's reports: ready to start the job (the parent's clock starts, file
// operations are counted from here), and the end of the job with its result, its
// statements, its length and its file operations.
inline void ReportReady(QElapsedTimer& timer) {
    std::printf("READY\n");
    std::fflush(stdout);
    gKillAtFileOp = qEnvironmentVariableIntValue(kKillAtFileOpVar);
    gCountFileOps = true;
    timer.start();
}
inline void ReportDone(int result, const QElapsedTimer& timer) {
    gCountFileOps = false;
    std::printf("DONE %d statements %d us %lld fileops %s.\n", result, gStatements, timer.nsecsElapsed() / 1000,
                gFileOps.c_str());
    std::fflush(stdout);
}

// ------------------------------------------------------------------ the parent

// Runs this test program with the test filter and the extra environment. With
// delayUs >= 0 the child is killed that long after it printed "READY". The child's
// standard output (and with withErrors its error output) is returned.
inline ChildRun RunChild(const QString& filter, const QProcessEnvironment& extra, int delayUs,
                         bool withErrors = false) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // A killed child cannot remove its temporary folders: they go with this one.
    QTemporaryDir childTemp;
    env.insert("TMPDIR", childTemp.path());
    for (const QString& key : extra.keys())
        env.insert(key, extra.value(key));
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::SeparateChannels);
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

// The child's "DONE" report; result -1 when there is none.
struct DoneReport {
    int result = -1, statements = 0, us = 0;
    QString fileOps;
};
inline DoneReport ParseDone(const ChildRun& run) {
    const QRegularExpressionMatch m =
        QRegularExpression("DONE (-?\\d+) statements (\\d+) us (\\d+) fileops ([wru]*)\\.").match(run.output);
    if (!m.hasMatch()) return {};
    return {m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(), m.captured(4)};
}

// The file operations worth a kill (1-based): every rename and removal, and the first,
// middle and last write of each run of writes.
inline QList<int> FileOpKills(const QString& ops) {
    QList<int> kills;
    for (int i = 0; i < ops.size(); ++i) {
        if (ops[i] != 'w') {
            kills << i + 1;
            continue;
        }
        int end = i;
        while (end + 1 < ops.size() && ops[end + 1] == 'w') ++end;
        for (int k : {i, (i + end) / 2, end})
            if (!kills.contains(k + 1)) kills << k + 1;
        i = end;
    }
    return kills;
}

// count kill delays spread over [0, max(floorUs, spanUs)), the same for every run of the test.
inline QList<int> RandomDelays(quint32 seed, int count, int spanUs, int floorUs = 1000) {
    QRandomGenerator rng(seed);
    QList<int> delays;
    for (int i = 0; i < count; ++i)
        delays << int(rng.bounded(qMax(floorUs, spanUs)));
    return delays;
}

// The parent of a kill test: every run of the child works on a fresh copy (work) of the
// prepared data (pristine, a file or a folder) and gets the copy's path in kWorkVar.
inline const char* const kWorkVar = "KVR_KILL_TEST_WORK";

class KillTest : public ::testing::Test {
protected:
    void SetUp() override {
        t = installTestServices();
        ASSERT_TRUE(dir.isValid());
        pristine = dir.filePath("pristine");
        work = dir.filePath("work");
    }
    ChildRun run(const QString& filter, int delayUs, QProcessEnvironment env = {}) {
        QDir(work).removeRecursively();
        QFile::remove(work);
        QFile::remove(work + "-journal");
        EXPECT_EQ(QProcess::execute("cp", {"-a", pristine, work}), 0);
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

// The data of the replacing jobs' crash tests in folder: member 123456 whose database
// holds scratchRows rows of 3 KB with every third one deleted (free pages for the
// compaction), a "save" folder, and "backup.MDB", a copy of that database with one more
// patient (7, "backup").
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

// The child's side of the same: the copy to work on, or empty in a normal test run.
inline QString KillWork() {
    return qEnvironmentVariable(kWorkVar);
}

} // namespace kvr::test
