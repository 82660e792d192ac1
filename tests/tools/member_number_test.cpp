// Member number change: the refusals, the folders it leaves, the clinic-code row and the
// end of the program; and a change killed at any moment, after which the member's data
// are complete under the old number or the new one and the program starts with each
// number that is there, showing the entry screen on the member's whole data.
#include "data/CClinicCode.h"
#include "exam/PFrmInput.h"
#include "platform/single_instance.h"
#include "shell/startup/PFrmSplash.h"
#include "shell/startup/startup.h"
#include "support/kill_child.h"
#include "tools/MemberNumberChange.h"
#include "tools_fixture.h"

#include <QApplication>
#include <QDirIterator>
#include <QLineEdit>
#include <QPushButton>

using namespace kvr;

namespace {

const QString kOld = "123456";
const QString kNew = "654321";

QString dbOf(const QString& app, const QString& no) {
    return app + "/" + no + "/KVR-DB-" + no + ".MDB";
}

// The patients and examinations of a member database ("" when it does not open).
QString memberData(const QString& path) {
    try {
        if (!QFileInfo(path).isFile()) return QString();
        return test::rowsText(db::Connection::open(path, kProgramPassword),
                              {"SELECT * FROM TPatient ORDER BY ID", "SELECT * FROM TExamData ORDER BY ID"});
    } catch (const RuntimeError&) {
        return QString();
    }
}

QString clinicCodeOf(const QString& path) {
    return db::Connection::open(path, kProgramPassword)->scalar("SELECT ClinicCode FROM TClinicCode").toString();
}

// Relative path and contents of every file below folder, the journal aside (a journal
// left by a killed write is part of the database: it is rolled back on opening).
QMap<QString, QByteArray> filesOf(const QString& folder) {
    QMap<QString, QByteArray> files;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        const QString f = it.next();
        QFile in(f);
        if (!f.endsWith("-journal") && in.open(QIODevice::ReadOnly))
            files[QDir(folder).relativeFilePath(f)] = in.readAll();
    }
    return files;
}

QStringList folders(const QString& app) {
    return QDir(app).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// Member kOld in program folder app: case patients 1-30, each with the examinations of
// sample patient 98, a settings file and a large report.
void makeProgramFolder(const QString& app) {
    QDir().mkpath(app + "/" + kOld + "/report");
    const QString db = dbOf(app, kOld);
    ASSERT_TRUE(test::CopyTemplateTo(db));
    db::ConnectionPtr c = db::Connection::open(db, kProgramPassword);
    c->execute("CREATE TEMP TABLE P AS SELECT * FROM TPatient WHERE ID=98");
    c->execute("CREATE TEMP TABLE E AS SELECT * FROM TExamData WHERE PatientID=98");
    for (int id = 1; id <= 30; ++id) {
        c->execute("UPDATE P SET ID=?", {id});
        c->execute("UPDATE E SET PatientID=?, ID=ID+1000", {id});
        c->execute("INSERT INTO TPatient SELECT * FROM P");
        c->execute("INSERT INTO TExamData SELECT * FROM E");
    }
    c->execute("UPDATE TClinicCode SET ClinicCode=?", {kOld});
    test::writeFile(app + "/" + kOld + "/KVR-DB.ini", "[Setting]\nStartTab=3\n");
    test::writeFile(app + "/" + kOld + "/report/sheet.pdf", QByteArray(3 << 20, 'r')); // widens the copying window
}

// The running program works on member kOld in its program folder, whose database the
// entry screen holds while the tools screen is open.
void startAsOldMember() {
    closeAllConnections();
    app().MemberNo = kOld;
    app().MemberFolder = appFolder() + "/" + kOld;
    app().MemberDbFile = "/KVR-DB-" + kOld + ".MDB";
    setMemberSource(app().memberDbPath());
    OpenMemberDbHold();
    LoadClinicCode();
}

class MemberNumberChangeTest : public ::testing::Test {
protected:
    void SetUp() override {
        t = test::installTestServices();
        makeProgramFolder(appFolder());
        before = memberData(dbOf(appFolder(), kOld));
        beforeFiles = filesOf(appFolder() + "/" + kOld);
        startAsOldMember();
    }
    void TearDown() override { closeAllConnections(); }

    test::TestServices t;
    QString before;
    QMap<QString, QByteArray> beforeFiles;
};

TEST_F(MemberNumberChangeTest, RefusedNumbersTouchNothing) {
    QDir().mkpath(appFolder() + "/222222");
    const QString empty = "会員番号が未入力です。入力してください。", wrong = "会員番号を正しく入力してください。";
    const struct {
        QString input;
        MemberNoChange result;
        QString title, text;
    } cases[] = {
        {"　 ", MemberNoChange::Empty, "未入力", empty},
        {"12345", MemberNoChange::Invalid, "エラー", wrong},
        {"1234567", MemberNoChange::Invalid, "エラー", wrong},
        {"１２３４５Ａ", MemberNoChange::Invalid, "エラー", wrong},
        {"+12345", MemberNoChange::Invalid, "エラー", wrong},
        {"222222", MemberNoChange::TargetExists, "エラー", "変更後の会員番号フォルダが存在するため変更できません。"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input.toStdString());
        t.boxes->clear();
        EXPECT_EQ(ChangeMemberNumber(c.input), c.result);
        test::expectBox(t, c.text, c.title, MsgIcon::Exclamation);
        EXPECT_EQ(folders(appFolder()), QStringList({kOld, "222222"}));
        EXPECT_EQ(app().MemberNo, kOld);
    }
    EXPECT_EQ(filesOf(appFolder() + "/" + kOld), beforeFiles);
}

TEST_F(MemberNumberChangeTest, AFailedChangeLeavesNoNewFolderAndARetryMovesTheDatabaseAndSetsTheOldFolderAside) {
    // Something in the way of the set-aside copy's work folder (a disk full, say).
    const QString blocker = appFolder() + "/." + kOld + "_20240814_163000.copying";
    test::writeFile(blocker, "in the way");
    EXPECT_EQ(ChangeMemberNumber(kNew), MemberNoChange::Failed);
    ASSERT_EQ(t.boxes->shown.size(), 1);
    EXPECT_TRUE(t.boxes->shown[0].text.startsWith("フォルダ間ファイルコピー(CopyFolder)でエラーが発生しました。"));
    EXPECT_EQ(folders(appFolder()), QStringList({kOld})) << "neither the new folder nor a work folder is left";
    EXPECT_EQ(app().MemberNo, kOld);
    EXPECT_EQ(filesOf(appFolder() + "/" + kOld), beforeFiles);

    QFile::remove(blocker);
    t.boxes->clear();
    startAsOldMember();
    ASSERT_EQ(ChangeMemberNumber(" ６５４３２１　"), MemberNoChange::Done);
    EXPECT_TRUE(t.boxes->shown.isEmpty());
    const QString setAside = kOld + "_20240814_163000"; // the test clock's time
    EXPECT_EQ(folders(appFolder()), QStringList({setAside, kNew})) << "no work folders left";
    EXPECT_EQ(filesOf(appFolder() + "/" + setAside), beforeFiles);
    EXPECT_EQ(filesOf(appFolder() + "/" + kNew).keys(), QStringList({"KVR-DB-" + kNew + ".MDB"}));
    EXPECT_EQ(memberData(dbOf(appFolder(), kNew)), before);
    // The running program now works on the new number.
    EXPECT_EQ(app().memberDbPath(), dbOf(appFolder(), kNew));
    EXPECT_EQ(TheClinicCode().ClinicCode, kNew);
    closeAllConnections();
    EXPECT_EQ(clinicCodeOf(dbOf(appFolder(), kNew)), kNew);

    EXPECT_THROW(FinishMemberNumberChange(), ProgramEnded);
    test::expectBox(t, "会員番号の変更が完了しました。\r\n\r\nプログラムを終了しますので、プログラムを再起動してください。",
                    "完了", MsgIcon::Information);
}

// ------------------------------------------------------------------ killed changes

const char* const kStepVar = "KVR_KNO_CHANGE_KILL_STEP";

// The child: changes kOld to kNew in its program folder and kills itself before the
// given step (0: at no step; the parent kills it after a delay).
TEST(MemberNumberChangeChild, Run) {
    if (test::KillWork().isEmpty()) GTEST_SKIP() << "runs only as the child of MemberNumberKill";
    test::TestServices t = test::installTestServices();
    t.paths->app = test::KillWork();
    startAsOldMember();
    const int killStep = qEnvironmentVariableIntValue(kStepVar);
    QElapsedTimer timer;
    test::ReportReady(timer);
    const MemberNoChange done = ChangeMemberNumber(kNew, [&](int step) {
        if (step == killStep) ::kill(::getpid(), SIGKILL);
    });
    test::ReportDone(done == MemberNoChange::Done, timer);
}

class MemberNumberKill : public test::KillTest {
protected:
    void SetUp() override {
        KillTest::SetUp();
        t.paths->delivered = test::builtAppFolder(); // the template and the tooth pictures
        makeProgramFolder(pristine);
        before = memberData(dbOf(pristine, kOld));
        beforeFiles = filesOf(pristine + "/" + kOld);
    }
    void TearDown() override { closeAllConnections(); }

    test::ChildRun runKilled(int step, int delayUs) {
        QProcessEnvironment env;
        env.insert(kStepVar, QString::number(step));
        return run("MemberNumberChangeChild.*", delayUs, env);
    }

    // The program's start-up with the member number typed into the start screen: it must
    // open the existing folder without a question and show the entry screen on the
    // member's whole data.
    void expectStartsWith(const QString& no) {
        SCOPED_TRACE("start with " + no.toStdString());
        closeAllConnections();
        resetAppState();
        t.boxes->clear();
        StartupOptions o;
        o.instance = &lock;
        o.runSplash = [no](PFrmSplash& s) {
            s.TxtKVRCode->setText(no);
            s.CmdOK->click();
        };
        ASSERT_TRUE(Main(o));
        EXPECT_TRUE(t.boxes->shown.isEmpty()) << t.boxes->shown.value(0).text.toStdString();
        int screens = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<PFrmInput*>(w) && w->isVisible()) ++screens, w->close();
        EXPECT_EQ(screens, 1);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(app().memberDbPath(), dbOf(work, no));
        closeAllConnections();
        EXPECT_EQ(memberData(dbOf(work, no)), before);
    }

    // After a kill: each member folder there is complete; the old one goes only after
    // its set-aside copy is complete; the program starts with every number there.
    // Returns which numbers are there.
    QString expectHarmless(const QString& what) {
        SCOPED_TRACE(what.toStdString());
        const bool hasOld = QFileInfo(work + "/" + kOld).isDir(), hasNew = QFileInfo(work + "/" + kNew).isDir();
        EXPECT_TRUE(hasOld || hasNew);
        if (hasOld) {
            EXPECT_EQ(filesOf(work + "/" + kOld), beforeFiles);
            EXPECT_EQ(clinicCodeOf(dbOf(work, kOld)), kOld);
        } else {
            const QStringList aside = QDir(work).entryList({kOld + "_*"}, QDir::Dirs);
            EXPECT_EQ(aside.size(), 1);
            EXPECT_EQ(filesOf(work + "/" + aside.value(0)), beforeFiles);
        }
        if (hasNew) {
            EXPECT_EQ(memberData(dbOf(work, kNew)), before);
            EXPECT_EQ(filesOf(work + "/" + kNew).size(), 1);
            EXPECT_EQ(clinicCodeOf(dbOf(work, kNew)), kNew);
        }
        t.paths->app = work;
        if (hasOld) expectStartsWith(kOld);
        if (hasNew) expectStartsWith(kNew);
        return hasOld && hasNew ? "both" : hasOld ? "old" : "new";
    }

    QString before;
    QMap<QString, QByteArray> beforeFiles;
    SingleInstance lock{"kvr-test-" + QString::number(QCoreApplication::applicationPid())};
};

TEST_F(MemberNumberKill, KilledBeforeEveryStepOrAtRandomLeavesTheDataCompleteAndStartable) {
    QMap<QString, int> outcomes;
    for (int step = 1; step <= 6; ++step) {
        EXPECT_TRUE(runKilled(step, -1).crashed);
        ++outcomes[expectHarmless("killed before step " + QString::number(step))];
    }
    // Random moments over the whole change, whose length is measured first.
    const int span = fullRun("MemberNumberChangeChild.*").us;
    int killed = 0;
    for (int delay : test::RandomDelays(17, 16, span / 2)) {
        killed += runKilled(0, delay).crashed;
        ++outcomes[expectHarmless("killed after " + QString::number(delay) + " us")];
    }
    std::printf("change %d us; %d of 16 random runs killed; folders after all 22 runs: %d old, %d both, %d new\n",
                span, killed, outcomes["old"], outcomes["both"], outcomes["new"]);
    EXPECT_GT(killed, 8);
    EXPECT_GT(outcomes["both"], 0);
}

} // namespace
