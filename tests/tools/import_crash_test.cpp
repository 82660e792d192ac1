// An import killed at any moment leaves the member database either as it was (and the
// import marker unset) or with the whole import in it.
//
// The test program re-runs itself as a child (--gtest_filter=ImportCrashChild.*) that
// imports a previous-version file with patients 1-3 (four examinations each) into a
// member database with patients 1, 2, 4 and 5, keeping 4 and 5. The child is killed
// with SIGKILL at the start of its k-th SQL statement on any connection (every k,
// through a statement trace installed on each connection as it opens) or after a random
// delay. The parent then compares the member database with its state before and after
// a full import.
#include "data/ADODBMain.h"
#include "data/DataObjects.h"
#include "platform/database.h"
#include "platform/passwords.h"
#include "shell/AppState.h"
#include "support/previous_version_files.h"
#include "support/kill_child.h"
#include "support/test_services.h"
#include "tools/ImportKVRChart.h"

#include <QCoreApplication>
#include <QDir>
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

const char* const kFolderVar = "KVR_IMPORT_CRASH_FOLDER";
const char* const kKillVar = "KVR_IMPORT_CRASH_KILL_AT";

// ------------------------------------------------------------------ the child

// The compaction's own connection runs the engine's export, which does not bear a
// statement trace; kills at random moments cover the compaction.
bool gCompacting = false;

int traceEveryConnection(sqlite3* db, const char**, const void*) {
    if (!gCompacting) test::TraceStatements(db);
    return SQLITE_OK;
}

TEST(ImportCrashChild, RunImport) {
    const QString folder = qEnvironmentVariable(kFolderVar);
    if (folder.isEmpty()) GTEST_SKIP() << "runs only as the child of ImportCrash";
    test::TestServices t = test::installTestServices();
    closeAllConnections();
    resetAppState();
    ResetDataObjects();
    app().MemberNo = "123456";
    app().MemberFolder = folder;
    app().MemberDbFile = "/work.MDB";
    setMemberSource(app().memberDbPath());
    ASSERT_TRUE(OpenMemberDbHold()); // as the entry screen holds it
    t.boxes->answer(MsgResult::Yes);
    const std::function<bool()> compact = ImportCompaction();
    ImportCompaction() = [compact] {
        gCompacting = true;
        const bool ok = compact();
        gCompacting = false;
        return ok;
    };

    test::gKillAt = qEnvironmentVariableIntValue(kKillVar);
    sqlite3_auto_extension(reinterpret_cast<void (*)()>(traceEveryConnection));
    test::TraceStatements(memberConn()->handle());
    std::printf("READY\n");
    std::fflush(stdout);
    QElapsedTimer timer;
    timer.start();
    const ImportOutcome out = ImportKVRChart(folder + "/VAZUZ2.MDB", ReplaceSameNumbers);
    const qint64 us = timer.nsecsElapsed() / 1000;
    std::printf("IMPORTED %d statements %d us %lld\n", int(out == ImportOutcome::Completed), test::gStatements, us);
    std::fflush(stdout);
    sqlite3_reset_auto_extension();
    closeAllConnections();
}

// ------------------------------------------------------------------ the parent

// The rows the import changes, and the import marker on its own.
struct State {
    QString rows;
    QString marker;
    bool operator==(const State&) const = default;
};

State stateOf(const QString& path) {
    db::ConnectionPtr c = db::Connection::open(path, kProgramPassword);
    QStringList lines;
    for (const char* sql : {"SELECT * FROM TExamData ORDER BY ID", "SELECT * FROM TPatient ORDER BY ID",
                            "SELECT * FROM TNextAutoNumber"}) {
        db::Recordset rs(c, sql);
        for (; !rs.eof(); rs.moveNext()) {
            QStringList fields;
            for (int i = 0; i < rs.fieldCount(); ++i)
                fields << rs.value(i).toString();
            lines << fields.join('|');
        }
    }
    return {lines.join('\n'), c->scalar("SELECT ClinicName FROM TClinicCode WHERE ID=0").toString()};
}

using test::ChildRun;

class ImportCrash : public ::testing::Test {
protected:
    void SetUp() override {
        test::installTestServices();
        ASSERT_TRUE(dir.isValid());
        pristine = dir.filePath("pristine.MDB");
        work = dir.filePath("work.MDB");
        ASSERT_TRUE(QFile::copy(test::builtAppFolder() + "/KVR-DB_ORG.MDB", pristine));
        QFile::setPermissions(pristine, QFile::ReadOwner | QFile::WriteOwner);
        {
            db::ConnectionPtr c = db::Connection::open(pristine, kProgramPassword);
            c->execute("UPDATE TClinicCode SET ClinicName='0' WHERE ID=0");
            for (int id : {1, 2, 4, 5}) {
                c->execute("INSERT INTO TPatient (ID, Name) VALUES (?, '会員')", {id});
                c->execute("INSERT INTO TExamData (ID, PatientID, ExamDate) VALUES (?, ?, '2023-01-01 00:00:00')",
                           {900000 + id, id});
            }
        }
        test::PreviousVersionFile prev(dir.filePath("VAZUZ2.MDB"));
        for (int id : {1, 2, 3, 99}) {
            prev.addPatient(id);
            prev.addExams(id, 4);
        }
    }

    // Runs the child on a fresh copy; with delayUs >= 0 it is killed that long after it
    // reports READY.
    ChildRun run(int killAt, int delayUs = -1) {
        QFile::remove(work);
        QFile::remove(work + "-journal");
        EXPECT_TRUE(QFile::copy(pristine, work));
        QFile::setPermissions(work, QFile::ReadOwner | QFile::WriteOwner);
        QProcessEnvironment env;
        env.insert(kFolderVar, dir.path());
        env.insert(kKillVar, QString::number(killAt));
        return test::RunChild("ImportCrashChild.*", env, delayUs, true);
    }

    // Every state a kill may leave: the old rows with the marker unset, or the new rows
    // (with the marker unset, counted up, or "1").
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

    QTemporaryDir dir;
    QString pristine, work;
};

TEST_F(ImportCrash, KilledImportLeavesEitherOldOrNewRows) {
    const State before = stateOf(pristine);

    const ChildRun full = run(0);
    ASSERT_FALSE(full.crashed) << full.output.toStdString();
    const QRegularExpressionMatch m =
        QRegularExpression("IMPORTED 1 statements (\\d+) us (\\d+)").match(full.output);
    ASSERT_TRUE(m.hasMatch()) << full.output.toStdString();
    const int statements = m.captured(1).toInt();
    const int importUs = m.captured(2).toInt();
    const State after = stateOf(work);
    ASSERT_NE(before.rows, after.rows);
    ASSERT_EQ(after.marker, "1");
    ASSERT_GT(statements, 30);

    int old = 0, fresh = 0;
    for (int k = 1; k <= statements; ++k) {
        const ChildRun c = run(k);
        ASSERT_TRUE(c.crashed) << "statement " << k << ": " << c.output.toStdString();
        expectOldOrNew(before, after, "at statement " + QString::number(k), &old, &fresh);
    }
    EXPECT_GT(old, 0);
    EXPECT_GT(fresh, 0); // the kills after the commit

    QRandomGenerator rng(20240814);
    int randomOld = 0, randomNew = 0;
    for (int i = 0; i < 12; ++i) {
        const int delay = int(rng.bounded(qMax(1000, importUs * 2)));
        run(0, delay);
        expectOldOrNew(before, after, QString::number(delay) + " us in", &randomOld, &randomNew);
    }
    std::printf("import %d us, %d statements; statement kills: %d old, %d new; random kills: %d old, %d new\n",
                importUs, statements, old, fresh, randomOld, randomNew);
}

} // namespace
