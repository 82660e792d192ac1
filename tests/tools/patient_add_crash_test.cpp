// A start killed while it rebuilds an older additional-information table leaves either
// the old table with all its rows or the rebuilt one, never rows only in the work table.
// The child runs the table check; it is killed at the start of its k-th SQL statement
// (every k) or after a random delay.
#include "data/member_db_fixture.h"
#include "support/kill_child.h"
#include "tools/CPatientAdd.h"

using namespace kvr;

namespace {

TEST(RebuildCrashChild, RunCheck) {
    if (test::KillWork().isEmpty()) GTEST_SKIP() << "runs only as the child of RebuildCrash";
    test::TestServices t = test::installTestServices();
    closeAllConnections();
    setMemberSource(test::KillWork());
    ASSERT_TRUE(OpenMemberDbHold()); // as start-up does
    test::gKillAt = qEnvironmentVariableIntValue("KVR_REBUILD_KILL_AT");
    test::TraceStatements(memberConn()->handle());
    QElapsedTimer timer;
    test::ReportReady(timer);
    test::ReportDone(ThePatientAdd().CheckTable(), timer);
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
        lines << table + ": " + columns.join(',') << test::rowsText(c, {"SELECT * FROM " + table + " ORDER BY ID"});
    }
    return lines.join('\n');
}

class RebuildCrash : public test::KillTest {
protected:
    void SetUp() override {
        KillTest::SetUp();
        ASSERT_TRUE(test::CopyTemplateTo(pristine));
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
    }
    // The state after a kill at statement killAt (0: none) or delayUs after the start.
    QString stateAfter(int killAt, int delayUs = -1) {
        QProcessEnvironment env;
        env.insert("KVR_REBUILD_KILL_AT", QString::number(killAt));
        const test::ChildRun c = run("RebuildCrashChild.*", delayUs, env);
        EXPECT_TRUE(c.crashed || delayUs >= 0) << "statement " << killAt << ": " << c.output.toStdString();
        return snapshot(work);
    }
};

TEST_F(RebuildCrash, KilledRebuildLeavesEitherTheOldOrTheNewTable) {
    const QString before = snapshot(pristine);
    const test::DoneReport full = fullRun("RebuildCrashChild.*");
    ASSERT_EQ(full.result, 0);
    const QString after = snapshot(work);
    ASSERT_TRUE(after.contains("KvrDiagnosis") && !after.contains("WorkTPatientAdd"));

    int old = 0, rebuilt = 0;
    for (int k = 1; k <= full.statements; ++k) {
        const QString state = stateAfter(k);
        ASSERT_TRUE(state == before || state == after) << "mixed state after a kill at statement " << k;
        (state == before ? old : rebuilt) += 1;
    }
    EXPECT_EQ(old, full.statements); // the commit is the last statement: until it ends, nothing has changed
    int randomOld = 0, randomNew = 0;
    for (int delay : test::RandomDelays(20240814, 20, full.us * 2)) {
        const QString state = stateAfter(0, delay);
        ASSERT_TRUE(state == before || state == after) << "mixed state after a kill " << delay << " us in";
        (state == before ? randomOld : randomNew) += 1;
    }
    std::printf("rebuild %d us, %d statements; statement kills: %d old, %d new; random kills: %d old, %d new\n",
                full.us, full.statements, old, rebuilt, randomOld, randomNew);
}

} // namespace
