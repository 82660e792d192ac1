// An import killed at any moment leaves the member database either as it was (and the
// import marker unset) or with the whole import in it.
//
// The child imports a previous-version file with patients 1-3 (four examinations each)
// into a member database with patients 1, 2, 4 and 5, keeping 4 and 5. It is killed at
// the start of its k-th SQL statement on any connection (every k, through a statement
// trace installed on each connection as it opens) or after a random delay.
#include "data/member_db_fixture.h"
#include "support/kill_child.h"
#include "support/previous_version_files.h"
#include "tools/ImportKVRChart.h"

using namespace kvr;

namespace {

// The compaction's own connection runs the engine's export, which does not bear a
// statement trace; kills at random moments cover the compaction.
bool gCompacting = false;

int traceEveryConnection(sqlite3* db, const char**, const void*) {
    if (!gCompacting) test::TraceStatements(db);
    return SQLITE_OK;
}

TEST(ImportCrashChild, RunImport) {
    const QString work = test::KillWork();
    if (work.isEmpty()) GTEST_SKIP() << "runs only as the child of ImportCrash";
    test::TestServices t = test::installTestServices();
    closeAllConnections();
    app().MemberNo = "123456";
    app().MemberFolder = QFileInfo(work).path();
    app().MemberDbFile = "/" + QFileInfo(work).fileName();
    setMemberSource(work);
    ASSERT_TRUE(OpenMemberDbHold()); // as the entry screen holds it
    t.boxes->answer(MsgResult::Yes);
    const std::function<bool()> compact = ImportCompaction();
    ImportCompaction() = [compact] {
        gCompacting = true;
        const bool ok = compact();
        gCompacting = false;
        return ok;
    };
    test::gKillAt = qEnvironmentVariableIntValue("KVR_IMPORT_KILL_AT");
    sqlite3_auto_extension(reinterpret_cast<void (*)()>(traceEveryConnection));
    test::TraceStatements(memberConn()->handle());
    QElapsedTimer timer;
    test::ReportReady(timer);
    const ImportOutcome out = ImportKVRChart(app().MemberFolder + "/VAZUZ2.MDB", ReplaceSameNumbers);
    test::ReportDone(out == ImportOutcome::Completed, timer);
    sqlite3_reset_auto_extension();
    closeAllConnections();
}

// The rows the import changes, and the import marker on its own.
struct State {
    QString rows, marker;
};

State stateOf(const QString& path) {
    db::ConnectionPtr c = db::Connection::open(path, kProgramPassword);
    return {test::rowsText(c, {"SELECT * FROM TExamData ORDER BY ID", "SELECT * FROM TPatient ORDER BY ID",
                               "SELECT * FROM TNextAutoNumber"}),
            c->scalar("SELECT ClinicName FROM TClinicCode WHERE ID=0").toString()};
}

class ImportCrash : public test::KillTest {
protected:
    void SetUp() override {
        KillTest::SetUp();
        ASSERT_TRUE(test::CopyTemplateTo(pristine));
        db::ConnectionPtr c = db::Connection::open(pristine, kProgramPassword);
        c->execute("UPDATE TClinicCode SET ClinicName='0' WHERE ID=0");
        for (int id : {1, 2, 4, 5}) {
            c->execute("INSERT INTO TPatient (ID, Name) VALUES (?, '会員')", {id});
            c->execute("INSERT INTO TExamData (ID, PatientID, ExamDate) VALUES (?, ?, '2023-01-01 00:00:00')",
                       {900000 + id, id});
        }
        test::PreviousVersionFile prev(dir.filePath("VAZUZ2.MDB"));
        for (int id : {1, 2, 3, 99}) {
            prev.addPatient(id);
            prev.addExams(id, 4);
        }
    }
    test::ChildRun runKilled(int killAt, int delayUs = -1) {
        QProcessEnvironment env;
        env.insert("KVR_IMPORT_KILL_AT", QString::number(killAt));
        return run("ImportCrashChild.*", delayUs, env);
    }
    // The old rows with the marker unset, or the new rows (marker unset, counted up or "1").
    void expectOldOrNew(const State& before, const State& after, const QString& when, int* old, int* fresh) {
        const State s = stateOf(work);
        if (s.rows == before.rows) {
            EXPECT_EQ(s.marker, before.marker) << "marker set without the import, " << when.toStdString();
            ++*old;
        } else {
            ASSERT_EQ(s.rows, after.rows) << "mixed state after a kill " << when.toStdString();
            ++*fresh;
        }
    }
};

TEST_F(ImportCrash, KilledImportLeavesEitherOldOrNewRows) {
    const State before = stateOf(pristine);
    const test::DoneReport full = fullRun("ImportCrashChild.*");
    ASSERT_EQ(full.result, 1);
    const State after = stateOf(work);
    ASSERT_NE(before.rows, after.rows);
    ASSERT_EQ(after.marker, "1");
    ASSERT_GT(full.statements, 30);

    int old = 0, fresh = 0;
    for (int k = 1; k <= full.statements; ++k) {
        const test::ChildRun c = runKilled(k);
        ASSERT_TRUE(c.crashed) << "statement " << k << ": " << c.output.toStdString();
        expectOldOrNew(before, after, "at statement " + QString::number(k), &old, &fresh);
    }
    EXPECT_GT(old, 0);
    EXPECT_GT(fresh, 0); // the kills after the commit
    int randomOld = 0, randomNew = 0;
    for (int delay : test::RandomDelays(20240814, 12, full.us * 2)) {
        runKilled(0, delay);
        expectOldOrNew(before, after, QString::number(delay) + " us in", &randomOld, &randomNew);
    }
    std::printf("import %d us, %d statements; statement kills: %d old, %d new; random kills: %d old, %d new\n",
                full.us, full.statements, old, fresh, randomOld, randomNew);
}

} // namespace
