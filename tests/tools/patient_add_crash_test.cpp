// A start killed while it rebuilds an older additional-information table leaves either
// the old table with all its rows or the rebuilt one, never rows only in the work table.
//
// The test program re-runs itself as a child (--gtest_filter=RebuildCrashChild.*) that
// runs the table check on a copy of a member database whose TPatientAdd has an older
// layout. The child is killed with SIGKILL at the start of its k-th SQL statement (every
// k, through an SQLite statement trace) or after a random delay; the parent then compares
// the additional-information tables with their state before and after a full rebuild.
#include "data/ADODBMain.h"
#include "platform/database.h"
#include "platform/passwords.h"
#include "support/kill_child.h"
#include "support/test_services.h"
#include "tools/CPatientAdd.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace kvr;

namespace {

const char* const kDbVar = "KVR_REBUILD_CRASH_DB";
const char* const kKillVar = "KVR_REBUILD_CRASH_KILL_AT";

TEST(RebuildCrashChild, RunCheck) {
    const QString path = qEnvironmentVariable(kDbVar);
    if (path.isEmpty()) GTEST_SKIP() << "runs only as the child of RebuildCrash";
    test::TestServices t = test::installTestServices();
    closeAllConnections();
    setMemberSource(path);
    ASSERT_TRUE(OpenMemberDbHold()); // as start-up does
    test::gKillAt = qEnvironmentVariableIntValue(kKillVar);
    test::TraceStatements(memberConn()->handle());
    std::printf("READY\n");
    std::fflush(stdout);
    QElapsedTimer timer;
    timer.start();
    const int status = ThePatientAdd().CheckTable();
    std::printf("CHECKED %d statements %d us %lld\n", status, test::gStatements, timer.nsecsElapsed() / 1000);
    std::fflush(stdout);
    closeAllConnections();
}

// The additional-information tables: their names, columns and rows, as text.
QString snapshot(const QString& path) {
    db::ConnectionPtr c = db::Connection::open(path, kProgramPassword);
    QStringList lines;
    for (const QString& table : c->tables()) {
        if (!table.contains("PatientAdd")) continue;
        QStringList columns;
        for (const db::ColumnInfo& col : c->columns(table))
            columns << col.name;
        lines << table + ": " + columns.join(',');
        db::Recordset rs(c, "SELECT * FROM \"" + table + "\" ORDER BY ID");
        for (; !rs.eof(); rs.moveNext()) {
            QStringList fields;
            for (int i = 0; i < rs.fieldCount(); ++i)
                fields << rs.value(i).toString();
            lines << fields.join('|');
        }
    }
    return lines.join('\n');
}

using test::ChildRun;

class RebuildCrash : public ::testing::Test {
protected:
    void SetUp() override {
        test::installTestServices();
        ASSERT_TRUE(dir.isValid());
        pristine = dir.filePath("pristine.MDB");
        work = dir.filePath("work.MDB");
        ASSERT_TRUE(QFile::copy(test::builtAppFolder() + "/KVR-DB_ORG.MDB", pristine));
        QFile::setPermissions(pristine, QFile::ReadOwner | QFile::WriteOwner);
        // An older layout with thirty filled rows.
        db::ConnectionPtr c = db::Connection::open(pristine, kProgramPassword);
        c->execute("DROP TABLE TPatientAdd");
        c->execute("CREATE TABLE TPatientAdd (ID INTEGER NOT NULL PRIMARY KEY, BirthDay VARCHAR(10), "
                   "Sex SMALLINT, ChiefComplaint SMALLINT, DiseaseName VARCHAR(50), Malocclusion SMALLINT, "
                   "LowerPositionalRelation SMALLINT, KvrDiagnosisLW SMALLINT, KvrDiagnosisCA SMALLINT, "
                   "NewDiagnosisStage SMALLINT, NewDiagnosisGrade SMALLINT, UpDateTime DATETIME)");
        for (int id = 1; id <= 30; ++id)
            c->execute(
                "INSERT INTO TPatientAdd VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, '2021-05-06 00:00:00')",
                {id, QString("19%1/04/01").arg(40 + id), id % 2, id % 11,
                 QString(21, '0').replace(id % 21, 1, "1"), id % 6, id % 4, id % 3, 1, id % 5, 2});
        c->close();
    }

    ChildRun run(int killAt, int delayUs = -1) {
        QFile::remove(work);
        QFile::remove(work + "-journal");
        EXPECT_TRUE(QFile::copy(pristine, work));
        QFile::setPermissions(work, QFile::ReadOwner | QFile::WriteOwner);
        QProcessEnvironment env;
        env.insert(kDbVar, work);
        env.insert(kKillVar, QString::number(killAt));
        return test::RunChild("RebuildCrashChild.*", env, delayUs);
    }

    QTemporaryDir dir;
    QString pristine, work;
};

TEST_F(RebuildCrash, KilledRebuildLeavesEitherTheOldOrTheNewTable) {
    const QString before = snapshot(pristine);
    const ChildRun full = run(0);
    ASSERT_FALSE(full.crashed) << full.output.toStdString();
    const QRegularExpressionMatch m =
        QRegularExpression("CHECKED 0 statements (\\d+) us (\\d+)").match(full.output);
    ASSERT_TRUE(m.hasMatch()) << full.output.toStdString();
    const int statements = m.captured(1).toInt();
    const int checkUs = m.captured(2).toInt();
    const QString after = snapshot(work);
    ASSERT_NE(before, after);
    ASSERT_TRUE(after.contains("KvrDiagnosis"));
    ASSERT_FALSE(after.contains("WorkTPatientAdd"));

    int old = 0, rebuilt = 0;
    for (int k = 1; k <= statements; ++k) {
        const ChildRun c = run(k);
        ASSERT_TRUE(c.crashed) << "statement " << k << ": " << c.output.toStdString();
        const QString state = snapshot(work);
        ASSERT_TRUE(state == before || state == after) << "mixed state after a kill at statement " << k;
        (state == before ? old : rebuilt) += 1;
    }
    EXPECT_EQ(old, statements); // the commit is the last statement: until it ends, nothing has changed

    QRandomGenerator rng(20240814);
    int randomOld = 0, randomNew = 0;
    for (int i = 0; i < 20; ++i) {
        const int delay = int(rng.bounded(qMax(1000, checkUs * 2)));
        run(0, delay);
        const QString state = snapshot(work);
        ASSERT_TRUE(state == before || state == after) << "mixed state after a kill " << delay << " us in";
        (state == before ? randomOld : randomNew) += 1;
    }
    std::printf(
        "rebuild %d us, %d statements; statement kills: %d old, %d new; random kills: %d old, %d new\n",
        checkUs, statements, old, rebuilt, randomOld, randomNew);
}

} // namespace
