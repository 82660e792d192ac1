// A save killed at any moment leaves either the old examination rows or the new ones.
// The patient row is written first, in its own transaction: a kill may leave the new
// patient row with the old examination, never the new examination with the old patient
// row, and never part of either.
//
// The test program re-runs itself as a child (--gtest_filter=SaveCrashChild.*) that
// saves one examination on a copy of the member database: patient 99's stage-2
// examination is moved onto the date of his stage-3 examination, replacing it (stage
// clearing, two deletions, six new rows with six next-number draws). The child is killed
// with SIGKILL either at the start of its k-th SQL statement (every k, through an SQLite
// statement trace) or after a random delay; then the parent opens the database and
// compares TExamData, TPatient and the next-number row with the state before and after a full save.
#include "data/ADODBMain.h"
#include "exam/ExamObjects.h"
#include "exam/ExamSession.h"
#include "platform/database.h"
#include "platform/passwords.h"
#include "support/kill_child.h"
#include "support/test_services.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>

using namespace kvr;

namespace {

const char* const kDbVar = "KVR_SAVE_CRASH_DB";
const char* const kKillVar = "KVR_SAVE_CRASH_KILL_AT";

// ------------------------------------------------------------------ the child

TEST(SaveCrashChild, RunSave) {
    const QString path = qEnvironmentVariable(kDbVar);
    if (path.isEmpty()) GTEST_SKIP() << "runs only as the child of SaveCrash";
    test::TestServices t = test::installTestServices();
    closeAllConnections();
    setMemberSource(path);
    ResetExamObjects();
    ASSERT_TRUE(OpenMemberDbHold());
    LoadStageLabels();
    ASSERT_TRUE(LoadSubExamRows());
    ASSERT_TRUE(LoadCharge(1));

    // Stage 2 of 2023/08/21 moved to 2024/01/29, staff 1, in-clinic number "K-99".
    SaveRequest r{99, "2024", "1", "29", 2, false, QDate(2023, 8, 21), {}, 1, "K-99", {}};
    ASSERT_TRUE(LoadExamination(99, r.loadedDate, &r.status));
    for (int i = 0; i < kCells; i += 7)
        ExamSlots()[0].setBData(i, std::uint8_t(i % 11));
    t.boxes->answer(MsgResult::Yes); // change the date
    t.boxes->answer(MsgResult::Yes); // overwrite the rows there

    test::gKillAt = qEnvironmentVariableIntValue(kKillVar);
    test::TraceStatements(memberConn()->handle());
    std::printf("READY\n");
    std::fflush(stdout);
    QElapsedTimer timer;
    timer.start();
    const SaveOutcome out = SaveExamination(r);
    const qint64 saveUs = timer.nsecsElapsed() / 1000;
    // What the screen does next: the list is read again.
    ListExaminations(99);
    std::printf("SAVED %d action %d statements %d us %lld\n", int(out.saved), out.action, test::gStatements,
                saveUs);
    std::fflush(stdout);
    closeAllConnections();
}

// ------------------------------------------------------------------ the parent

// The examination part (every TExamData row and the next-number row) and the patient
// part (the patient rows) of a database, as text.
struct Snapshot {
    QString exam, patient;
    bool operator==(const Snapshot&) const = default;
};

QString rowsText(const db::ConnectionPtr& c, const QStringList& queries) {
    QStringList lines;
    for (const QString& sql : queries) {
        db::Recordset rs(c, sql);
        for (; !rs.eof(); rs.moveNext()) {
            QStringList fields;
            for (int i = 0; i < rs.fieldCount(); ++i)
                fields << rs.value(i).toString();
            lines << fields.join('|');
        }
    }
    return lines.join('\n');
}

Snapshot snapshot(const QString& path) {
    db::ConnectionPtr c = db::Connection::open(path, kProgramPassword);
    return {rowsText(c, {"SELECT * FROM TExamData ORDER BY ID", "SELECT * FROM TNextAutoNumber"}),
            rowsText(c, {"SELECT * FROM TPatient ORDER BY ID"})};
}

// Which of the allowed states a database is in: 0 untouched, 1 the patient row written,
// 2 the whole save; -1 anything else.
int stateOf(const Snapshot& s, const Snapshot& before, const Snapshot& after) {
    if (s == before) return 0;
    if (s.patient == after.patient && s.exam == before.exam) return 1;
    if (s == after) return 2;
    return -1;
}

using test::ChildRun;

class SaveCrash : public ::testing::Test {
protected:
    void SetUp() override {
        test::installTestServices();
        ASSERT_TRUE(dir.isValid());
        pristine = dir.filePath("pristine.MDB");
        work = dir.filePath("work.MDB");
        ASSERT_TRUE(test::CopyTemplateTo(pristine));
    }

    // Runs the child on a fresh copy; with delayUs >= 0 it is killed that long after it
    // reports READY.
    ChildRun run(int killAt, int delayUs = -1) {
        QFile::remove(work);
        QFile::remove(work + "-journal");
        EXPECT_TRUE(QFile::copy(pristine, work));
        QFile::setPermissions(work, QFile::ReadOwner | QFile::WriteOwner);
        QProcessEnvironment env;
        env.insert(kDbVar, work);
        env.insert(kKillVar, QString::number(killAt));
        return test::RunChild("SaveCrashChild.*", env, delayUs);
    }

    QTemporaryDir dir;
    QString pristine, work;
};

TEST_F(SaveCrash, KilledSaveLeavesEitherOldOrNewRows) {
    const Snapshot before = snapshot(pristine);
    const ChildRun full = run(0); // a full save: the state after it and its statements
    ASSERT_FALSE(full.crashed) << full.output.toStdString();
    const QRegularExpressionMatch m =
        QRegularExpression("SAVED 1 action 4 statements (\\d+) us (\\d+)").match(full.output);
    ASSERT_TRUE(m.hasMatch()) << full.output.toStdString();
    const int statements = m.captured(1).toInt(), saveUs = m.captured(2).toInt();
    const Snapshot after = snapshot(work);
    ASSERT_NE(before.exam, after.exam);
    ASSERT_NE(before.patient, after.patient);
    ASSERT_GT(statements, 20);

    // A kill at the start of every statement of the save, then at random moments over the
    // time a save takes (some land inside the commit).
    int counts[3] = {};
    QRandomGenerator rng(20240814);
    for (int k = 1; k <= statements + 10; ++k) {
        const int delay = k <= statements ? -1 : int(rng.bounded(qMax(1000, saveUs * 2)));
        const ChildRun c = run(k <= statements ? k : 0, delay);
        ASSERT_TRUE(c.crashed || delay >= 0) << "statement " << k << ": " << c.output.toStdString();
        const int state = stateOf(snapshot(work), before, after);
        ASSERT_GE(state, 0) << "mixed state after kill " << k << " (delay " << delay << " us)";
        ++counts[state];
    }
    EXPECT_GT(counts[0], 0);
    EXPECT_GT(counts[1], 0); // between the patient row and the examination
    EXPECT_GT(counts[2], 0); // the kills after the commit
    std::printf("save %d us, %d statements; kills: %d old, %d patient only, %d new\n", saveUs, statements,
                counts[0], counts[1], counts[2]);
}

} // namespace
