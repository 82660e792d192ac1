// A start killed at any instant never locks the member out and never loses an
// examination: after each kill a normal start reaches the entry screen with every
// examination as a complete start leaves it.
//
// The test program re-runs itself as a child (StartupKillChild.*) that starts the
// program on the prepared folder and is killed a random time after it reports READY,
// spread over the time a whole start takes. The parent then starts normally, in its
// own process, and compares the member databases with the state after a complete start.
// Two cases: the first start of a new member number (next to an existing member), and a
// start of the existing member.
#include "data/ADODBMain.h"
#include "data/member_db_fixture.h"
#include "exam/ExamObjects.h"
#include "exam/PFrmInput.h"
#include "platform/passwords.h"
#include "platform/single_instance.h"
#include "shell/AppState.h"
#include "shell/startup/PFrmSplash.h"
#include "shell/startup/startup.h"
#include "support/kill_child.h"
#include "support/test_services.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>

using namespace kvr;

namespace {

const QString kExisting = "111111";
const QString kNew = "222222";
const char* const kFolderVar = "KVR_STARTUP_KILL_FOLDER";
const char* const kMemberVar = "KVR_STARTUP_KILL_MEMBER";

// Every examination row and the clinic code of a member database, as text.
QString snapshot(const QString& path) {
    return test::rowsText(db::Connection::open(path, kProgramPassword),
                          {"SELECT * FROM TExamData ORDER BY ID", "SELECT ClinicCode FROM TClinicCode"});
}

// A normal start in the program folder of t with the member number typed in (a new
// folder is confirmed); true when it reached the entry screen.
bool start(test::TestServices& t, const QString& no) {
    resetAppState();
    closeAllConnections();
    ResetExamObjects();
    for (int i = 0; i < 4; ++i)
        t.boxes->answer(MsgResult::Yes);
    SingleInstance lock("kvr-kill-test-" + QString::number(QCoreApplication::applicationPid()));
    StartupOptions o;
    o.instance = &lock;
    o.runSplash = [no](PFrmSplash& s) {
        s.TxtKVRCode->setText(no);
        s.CmdOK->click();
    };
    if (!Main(o)) return false;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<PFrmInput*>(w) && w->isVisible()) return true;
    return false;
}

// Closes every window and connection a start left.
void finish() {
    QList<QPointer<QWidget>> tops;
    for (QWidget* w : QApplication::topLevelWidgets())
        tops << w;
    for (const QPointer<QWidget>& w : tops)
        delete w.data(); // null when an earlier one took it along
    closeAllConnections();
}

TEST(StartupKillChild, Start) {
    const QString folder = qEnvironmentVariable(kFolderVar);
    if (folder.isEmpty()) GTEST_SKIP() << "runs only as the child of StartupKill";
    test::TestServices t = test::installTestServices();
    t.paths->app = folder;
    std::printf("READY\n");
    std::fflush(stdout);
    QElapsedTimer timer;
    timer.start();
    const bool ok = start(t, qEnvironmentVariable(kMemberVar));
    std::printf("STARTED %d us %lld\n", int(ok), timer.nsecsElapsed() / 1000);
    std::fflush(stdout);
    finish();
}

class StartupKill : public ::testing::Test {
protected:
    void SetUp() override {
        t = test::installTestServices();
        for (const char* f : {"/KVR-DB_ORG.MDB", "/TMaster.txt"})
            QFile::copy(test::builtAppFolder() + f, t.paths->app + f);
        ASSERT_TRUE(start(t, kExisting)); // the existing member, after one complete start
        finish();
        existingAfterStart = snapshot(dbOf(kExisting));
    }
    void TearDown() override { finish(); }
    QString dbOf(const QString& no) const { return t.paths->app + "/" + no + "/KVR-DB-" + no + ".MDB"; }

    // Starts no in a child, killed delayUs after it is ready (never when negative).
    test::ChildRun startInChild(const QString& no, int delayUs) {
        closeAllConnections();
        QProcessEnvironment env;
        env.insert(kFolderVar, t.paths->app);
        env.insert(kMemberVar, no);
        return test::RunChild("StartupKillChild.*", env, delayUs);
    }

    // 100 kills over the length of a whole start; after each a normal start must reach
    // the entry screen with no's database as a complete start leaves it.
    void killStarts(const QString& no, quint32 seed, const std::function<void()>& beforeEach) {
        beforeEach();
        const test::ChildRun full = startInChild(no, -1);
        const auto m = QRegularExpression("STARTED 1 us (\\d+)").match(full.output);
        ASSERT_TRUE(m.hasMatch()) << full.output.toStdString();
        const int span = m.captured(1).toInt();
        const QString afterStart = snapshot(dbOf(no));
        QRandomGenerator rng(seed);
        int finished = 0;
        for (int i = 0; i < 100; ++i) {
            beforeEach();
            const int delay = int(rng.bounded(quint32(span)));
            finished += startInChild(no, delay).output.contains("STARTED 1");
            ASSERT_TRUE(start(t, no)) << "start after a kill " << delay << " us in";
            finish();
            ASSERT_EQ(snapshot(dbOf(no)), afterStart) << "kill " << delay << " us in";
        }
        std::printf("start %d us; 100 kills, %d of them after the start had finished\n", span, finished);
    }

    test::TestServices t;
    QString existingAfterStart;
};

TEST_F(StartupKill, KilledFirstStartsLeaveNoBrokenMemberFolder) {
    killStarts(kNew, 20240814, [&] { QDir(t.paths->app + "/" + kNew).removeRecursively(); });
    EXPECT_TRUE(snapshot(dbOf(kNew)).endsWith("\n" + kNew)) << "clinic code of the new member";
    EXPECT_FALSE(QFileInfo::exists(t.paths->app + "/." + kNew + ".new"));
    EXPECT_EQ(snapshot(dbOf(kExisting)), existingAfterStart); // the other member was never touched
}

TEST_F(StartupKill, KilledStartsOfAMemberKeepEveryExamination) {
    killStarts(kExisting, 20240815, [] {});
    EXPECT_EQ(snapshot(dbOf(kExisting)), existingAfterStart);
}

} // namespace
