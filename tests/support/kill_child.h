// Kill tests: a test program runs itself again as a child (one test filter) that works
// on a copy of the data and is killed with SIGKILL, either by itself at its n-th SQL
// statement or by the parent a given time after the child reports "READY".
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include <csignal>
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

// ------------------------------------------------------------------ the parent

// Runs this test program with the test filter and the extra environment. With
// delayUs >= 0 the child is killed that long after it printed "READY". The child's
// standard output (and with withErrors its error output) is returned.
inline ChildRun RunChild(const QString& filter, const QProcessEnvironment& extra, int delayUs,
                         bool withErrors = false) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
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

} // namespace kvr::test
