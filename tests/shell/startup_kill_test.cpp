// A start killed at any instant never locks the member out and never loses an
// examination: after each kill a normal start reaches the entry screen with every
// examination as a complete start leaves it.
//
// The start runs in a forked copy of the test process (cheap: no new program, Qt and the
// test doubles are already set up), which the parent kills with SIGKILL after a random
// delay spread over the time a whole start takes. The parent then starts normally, in
// its own process, and compares the member databases with the state after a complete
// start. Two cases: the first start of a new member number (next to an existing member),
// and a start of the existing member.
#include "data/ADODBMain.h"
#include "exam/ExamObjects.h"
#include "exam/PFrmInput.h"
#include "platform/database.h"
#include "platform/passwords.h"
#include "platform/single_instance.h"
#include "shell/AppState.h"
#include "shell/startup/PFrmSplash.h"
#include "shell/startup/startup.h"
#include "support/test_services.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace kvr;

namespace {

const QString kExisting = "111111";
const QString kNew = "222222";

// Every examination row and the clinic code of a member database, as text.
QString snapshot(const QString& path) {
    db::ConnectionPtr c = db::Connection::open(path, kProgramPassword);
    QStringList lines;
    for (const char* sql : {"SELECT * FROM TExamData ORDER BY ID", "SELECT ClinicCode FROM TClinicCode"}) {
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

class StartupKill : public ::testing::Test {
protected:
    void SetUp() override {
        t = test::installTestServices();
        QFile::copy(test::builtAppFolder() + "/KVR-DB_ORG.MDB", t.paths->app + "/KVR-DB_ORG.MDB");
        QFile::copy(test::builtAppFolder() + "/TMaster.txt", t.paths->app + "/TMaster.txt");
        // The existing member, after one complete start.
        t.boxes->answer(MsgResult::Yes);
        ASSERT_TRUE(start(kExisting));
        finish();
        existingAfterStart = snapshot(dbOf(kExisting));
    }
    void TearDown() override { finish(); }

    static QString lockName() {
        return "kvr-kill-test-" + QString::number(QCoreApplication::applicationPid());
    }
    QString dbOf(const QString& no) const { return t.paths->app + "/" + no + "/KVR-DB-" + no + ".MDB"; }

    // A normal start with the member number typed in (a new folder is confirmed).
    bool start(const QString& no) {
        resetAppState();
        closeAllConnections();
        ResetExamObjects();
        for (int i = 0; i < 4; ++i)
            t.boxes->answer(MsgResult::Yes);
        SingleInstance lock(lockName());
        StartupOptions o;
        o.instance = &lock;
        o.runSplash = [no](PFrmSplash& s) {
            s.TxtKVRCode->setText(no);
            s.CmdOK->click();
        };
        return Main(o);
    }
    bool entryScreenShown() const {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<PFrmInput*>(w) && w->isVisible()) return true;
        return false;
    }
    void finish() {
        QList<QPointer<QWidget>> tops;
        for (QWidget* w : QApplication::topLevelWidgets())
            tops << w;
        for (const QPointer<QWidget>& w : tops)
            delete w.data(); // null when an earlier one took it along
        closeAllConnections();
        t.boxes->shown.clear();
    }

    // Starts no in a forked copy and kills it delayUs after the fork (never, when
    // negative); returns true when the start ran to its end.
    bool startInChild(const QString& no, qint64 delayUs) {
        closeAllConnections();
        const pid_t pid = ::fork();
        if (pid == 0) {
            bool ok = false;
            try {
                ok = start(no);
            } catch (...) {
            }
            ::_exit(ok ? 0 : 3);
        }
        if (delayUs >= 0) {
            ::usleep(useconds_t(delayUs));
            ::kill(pid, SIGKILL);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    // The time a whole start takes in a child, in microseconds.
    qint64 wholeStartUs(const QString& no) {
        QElapsedTimer timer;
        timer.start();
        EXPECT_TRUE(startInChild(no, -1));
        return timer.nsecsElapsed() / 1000;
    }

    test::TestServices t;
    QString existingAfterStart;
};

TEST_F(StartupKill, KilledFirstStartsLeaveNoBrokenMemberFolder) {
    const qint64 span = wholeStartUs(kNew);
    const QString newAfterStart = snapshot(dbOf(kNew));
    ASSERT_TRUE(newAfterStart.endsWith("\n" + kNew)) << "clinic code of the new member";
    QRandomGenerator rng(20240814);
    int finished = 0;
    for (int i = 0; i < 100; ++i) {
        QDir(t.paths->app + "/" + kNew).removeRecursively();
        const qint64 delay = qint64(rng.bounded(quint32(span)));
        finished += startInChild(kNew, delay) ? 1 : 0;
        ASSERT_TRUE(start(kNew)) << "start after a kill " << delay << " us in";
        ASSERT_TRUE(entryScreenShown()) << "kill " << delay << " us in";
        finish();
        ASSERT_EQ(snapshot(dbOf(kNew)), newAfterStart) << "kill " << delay << " us in";
        EXPECT_FALSE(QFileInfo::exists(t.paths->app + "/." + kNew + ".new"));
    }
    EXPECT_EQ(snapshot(dbOf(kExisting)), existingAfterStart); // the other member was never touched
    std::printf("first start %lld us; 100 kills, %d of them after the start had finished\n", span, finished);
}

TEST_F(StartupKill, KilledStartsOfAMemberKeepEveryExamination) {
    const qint64 span = wholeStartUs(kExisting);
    ASSERT_EQ(snapshot(dbOf(kExisting)), existingAfterStart);
    QRandomGenerator rng(20240815);
    int finished = 0;
    for (int i = 0; i < 100; ++i) {
        const qint64 delay = qint64(rng.bounded(quint32(span)));
        finished += startInChild(kExisting, delay) ? 1 : 0;
        ASSERT_TRUE(start(kExisting)) << "start after a kill " << delay << " us in";
        ASSERT_TRUE(entryScreenShown()) << "kill " << delay << " us in";
        finish();
        ASSERT_EQ(snapshot(dbOf(kExisting)), existingAfterStart) << "kill " << delay << " us in";
    }
    std::printf("start of a member %lld us; 100 kills, %d of them after the start had finished\n", span,
                finished);
}

} // namespace
