#include "data/ADODBMain.h"
#include "platform/database.h"
#include "platform/passwords.h"
#include "platform/single_instance.h"
#include "shell/AppState.h"
#include "shell/startup/MemberFolder.h"
#include "shell/startup/PFrmSplash.h"
#include "shell/startup/startup.h"
#include "support/test_services.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace kvr;

namespace {

void writeText(const QString& path, const QByteArray& text) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write(text);
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        t = test::installTestServices();
        resetAppState();
        closeAllConnections();
        QFile::copy(test::builtAppFolder() + "/KVR-DB_ORG.MDB", t.paths->app + "/KVR-DB_ORG.MDB");
    }
    void TearDown() override {
        closeAllConnections();
        for (QWidget* w : QApplication::topLevelWidgets())
            w->close();
    }
    // Runs start-up with the given member number typed into the start screen.
    bool start(const QString& typed, SingleInstance* lock = nullptr) {
        StartupOptions o;
        o.instance = lock ? lock : &ownLock;
        o.runSplash = [typed](PFrmSplash& s) {
            s.TxtKVRCode->setText(typed);
            s.CmdOK->click();
        };
        return Main(o);
    }
    // The base database a new member folder receives.
    void provideBaseDb() { QFile::copy(t.paths->app + "/KVR-DB_ORG.MDB", t.paths->app + "/KVR-DB.MDB"); }
    const MsgBoxRequest& last() const { return t.boxes->shown.last(); }
    db::ConnectionPtr memberDb() { return db::Connection::open(app().memberDbPath(), kProgramPassword); }
    test::TestServices t;
    SingleInstance ownLock{"kvr-test-" + QString::number(QCoreApplication::applicationPid())};
};

TEST_F(StartupTest, FirstStartCreatesTheMemberFolderAndLaterStartsOpenIt) {
    t.boxes->answer(MsgResult::Yes); // create the member folder
    ASSERT_TRUE(start("１２３４５６"));
    ASSERT_EQ(t.boxes->shown.size(), 1);
    EXPECT_EQ(last().title + "|" + last().text, "確認|新規の会員番号に対して会員番号フォルダを作成します。\r\n\r\nよろしいですか？");
    EXPECT_EQ(last().buttons, MsgButtons::YesNo);
    const QString member = t.paths->app + "/123456/KVR-DB-123456.MDB";
    EXPECT_TRUE(QFile::exists(member));
    // The base database went aside under its dated name; the next new member gets a fresh one.
    EXPECT_FALSE(QFile::exists(t.paths->app + "/KVR-DB.MDB"));
    EXPECT_TRUE(QFile::exists(t.paths->app + "/KVR-DB-20240814_163000.MDB"));
    const QString version = QString("%1.%2.%3").arg(KVR_VERSION_MAJOR).arg(KVR_VERSION_MINOR).arg(KVR_VERSION_PATCH);
    EXPECT_EQ(readFile(t.paths->app + "/VersionKVRDB.txt"), ("Version=" + version + "\r\n").toUtf8());
    EXPECT_TRUE(QFileInfo(t.paths->desktop + "/KVR-DB-SAVE").isDir());
    // The new database is keyed and carries the member number as its clinic code.
    EXPECT_EQ(memberDb()->scalar("SELECT ClinicCode||'|'||ClinicName FROM TClinicCode WHERE ID=0").toString(),
              "123456|");
    EXPECT_THROW(db::Connection::open(member, "x"), RuntimeError);
    const QWidgetList tops = QApplication::topLevelWidgets();
    EXPECT_TRUE(std::any_of(tops.begin(), tops.end(), [](QWidget* w) {
        return w->isVisible() && w->windowTitle() == mainWindowTitle();
    }));

    // A padded number opens the existing folder without the question.
    closeAllConnections();
    t.boxes->clear();
    ASSERT_TRUE(start(" 123456 "));
    EXPECT_TRUE(t.boxes->shown.isEmpty());
    EXPECT_EQ(readFile(t.paths->app + "/Log_Access.txt"),
              "2024/08/14 16:30  123456\r\n2024/08/14 16:30  123456\r\n");

    // Database versions from 0.1.0 pass.
    closeAllConnections();
    auto setVersion = [&](int major, int minor, int revision) {
        memberDb()->execute("UPDATE TVersion SET Major=?, Minor=?, Revision=? WHERE ID=1",
                            {major, minor, revision});
    };
    setVersion(0, 1, 0);
    EXPECT_TRUE(CheckDbVersion());
    setVersion(0, 0, 999);
    EXPECT_FALSE(CheckDbVersion());
    t.boxes->clear();
    EXPECT_THROW(start("123456"), ProgramEnded);
    EXPECT_EQ(last().title + "|" + last().text, "バージョンエラー|データベースのバージョンが一致しません。");
    setVersion(1, 0, 0); // a passing version, then no version row at all: counts as 0
    memberDb()->execute("DELETE FROM TVersion");
    EXPECT_FALSE(CheckDbVersion());
}

TEST_F(StartupTest, InstalledProgramReadsItsFilesAndWritesOnlyIntoTheDataFolder) {
    // The delivered files lie in a folder of their own; the data folder starts empty.
    t.paths->delivered = t.paths->root.path() + "/delivered";
    QDir().mkpath(t.paths->delivered);
    ASSERT_TRUE(QFile::rename(t.paths->app + "/KVR-DB_ORG.MDB", t.paths->delivered + "/KVR-DB_ORG.MDB"));
    t.boxes->answer(MsgResult::Yes);
    ASSERT_TRUE(start("123456"));
    EXPECT_TRUE(QFile::exists(t.paths->app + "/123456/KVR-DB-123456.MDB"));
    EXPECT_TRUE(QFile::exists(t.paths->app + "/KVR-DB-20240814_163000.MDB"));
    EXPECT_TRUE(QFile::exists(t.paths->app + "/VersionKVRDB.txt"));
    EXPECT_EQ(QDir(t.paths->delivered).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot),
              QStringList{"KVR-DB_ORG.MDB"});
}

TEST_F(StartupTest, SecondCopyIsRefusedAndCancelEndsTheProgram) {
    const QString name = "kvr-test-second-" + QString::number(QCoreApplication::applicationPid());
    SingleInstance first(name), second(name);
    ASSERT_TRUE(first.acquire());
    EXPECT_THROW(start("123456", &second), ProgramEnded);
    ASSERT_EQ(t.boxes->shown.size(), 1);
    EXPECT_EQ(last().title + "|" + last().text, "２重起動|すでに起動されています。プログラムを終了します。");
    EXPECT_EQ(last().icon, MsgIcon::Critical);

    StartupOptions o;
    o.instance = &ownLock;
    o.runSplash = [](PFrmSplash& s) { s.CmdCansel->click(); };
    EXPECT_THROW(Main(o), ProgramEnded);
    EXPECT_TRUE(app().StartCancelled);
}

// Bad numbers are refused before anything is written; No to the folder question keeps the
// screen and the number; a file in the folder's place (the folder cannot be made, as root
// too) ends the program.
TEST_F(StartupTest, StartScreenRefusalsAndAFolderThatCannotBeMade) {
    provideBaseDb();
    PFrmSplash s;
    s.show();
    for (const char* no : {"12345", "1234567", "12a456", "+12345", "1.2345", "　 "}) {
        s.TxtKVRCode->setText(no);
        s.CmdOK_Click();
        ASSERT_FALSE(t.boxes->shown.isEmpty());
        EXPECT_EQ(last().title + "|" + last().text, no[0] == '\xe3' ? "未入力|未入力です。入力してください。"
                                                                     : "エラー|会員番号を正しく入力してください。")
            << no;
        EXPECT_EQ(last().icon, MsgIcon::Exclamation);
    }
    EXPECT_FALSE(QFile::exists(t.paths->app + "/Log_Access.txt"));

    s.TxtKVRCode->setText("654321");
    t.boxes->answer(MsgResult::No);
    s.CmdOK_Click();
    EXPECT_TRUE(s.isVisible());
    EXPECT_EQ(s.TxtKVRCode->text(), "654321");
    EXPECT_FALSE(QFileInfo(t.paths->app + "/654321").exists());
    EXPECT_EQ(readFile(t.paths->app + "/Log_Access.txt"), "2024/08/14 16:30  654321\r\n"); // the attempt stays

    QFile blocker(t.paths->app + "/111111");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    s.TxtKVRCode->setText("111111");
    t.boxes->answer(MsgResult::Yes);
    EXPECT_THROW(s.CmdOK_Click(), ProgramEnded);
    const QList<MsgBoxRequest>& shown = t.boxes->shown;
    ASSERT_GE(shown.size(), 2);
    EXPECT_TRUE(shown[shown.size() - 2].text.startsWith("フォルダ作成(MakeFolder)でエラーが発生しました。"));
    EXPECT_EQ(last().title + "|" + last().text, "フォルダ作成エラー|会員番号フォルダを作成できません。\r\n\r\n会員番号フォルダ：" +
                                                    t.paths->app + "/111111\r\n\r\nプログラムを終了します。");
}

TEST_F(StartupTest, PanelMarkerFileFollowsTheCheckBox) {
    {
        PFrmSplash s;
        EXPECT_FALSE(s.ChkDoc->isChecked());
        EXPECT_TRUE(s.panelShown());
        EXPECT_EQ(s.width(), s.wideWidth());
        s.ChkDoc->click();
        EXPECT_EQ(readFile(t.paths->app + "/DocInfo.txt"), "Close\r\n");
        EXPECT_EQ(s.width(), s.narrowWidth());
    }
    PFrmSplash s;
    EXPECT_TRUE(s.ChkDoc->isChecked());
    EXPECT_FALSE(s.panelShown());
    s.ChkDoc->click();
    EXPECT_FALSE(QFile::exists(t.paths->app + "/DocInfo.txt"));
    EXPECT_TRUE(s.panelShown());
}

TEST_F(StartupTest, EnterMovesToTheNextControl) {
    PFrmSplash s;
    s.show();
    QApplication::setActiveWindow(&s);
    s.TxtKVRCode->setFocus();
    s.TxtKVRCode->setText("123456");
    QTest::keyClick(s.TxtKVRCode, Qt::Key_Return);
    EXPECT_TRUE(s.CmdOK->hasFocus());
    EXPECT_TRUE(t.boxes->shown.isEmpty()); // Enter did not press OK
}

// What an interrupted first start of an older version leaves in a member folder, and
// what the next start makes of it.
TEST_F(StartupTest, AMemberFolderLeftWithoutItsDatabaseIsFinished) {
    provideBaseDb();
    const QString folder = t.paths->app + "/654321", db = "/KVR-DB-654321.MDB";
    const QString base = t.paths->app + "/KVR-DB.MDB";
    QByteArray baseBytes = readFile(base);
    enum Left { Nothing, CompleteCopy, HalfCopy, OtherFiles };
    const std::tuple<const char*, Left, MemberFolderResult> cases[] = {
        {"empty folder", Nothing, MemberFolderResult::Ready},
        {"complete temporary copy", CompleteCopy, MemberFolderResult::Ready},
        {"half a temporary copy", HalfCopy, MemberFolderResult::Ready},
        {"other files", OtherFiles, MemberFolderResult::NotOurs},
    };
    for (auto [name, left, expected] : cases) {
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        QFile tmp(folder + db + ".kvrtmp");
        if (left == CompleteCopy || left == HalfCopy) {
            ASSERT_TRUE(tmp.open(QIODevice::WriteOnly));
            tmp.write(left == CompleteCopy ? baseBytes : baseBytes.left(baseBytes.size() / 2));
            tmp.close();
        }
        if (left == OtherFiles) QFile::copy(base, folder + "/KVR.INI");
        EXPECT_EQ(RepairMemberFolder(folder, db, base), expected) << name;
        EXPECT_FALSE(QFile::exists(folder + db + ".kvrtmp") && left != OtherFiles) << name;
        // Ready: the complete database; not ours: no database made.
        EXPECT_EQ(readFile(folder + db), left == OtherFiles ? QByteArray() : baseBytes) << name;
    }
    // A start of that number finishes the folder without a question, and the database
    // gets its clinic code.
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    ASSERT_TRUE(start("654321"));
    EXPECT_TRUE(t.boxes->shown.isEmpty());
    EXPECT_EQ(memberDb()->scalar("SELECT ClinicCode FROM TClinicCode WHERE ID=0").toString(), "654321");
}

TEST_F(StartupTest, ANewMemberFolderAppearsOnlyWithItsCompleteDatabase) {
    const QString folder = t.paths->app + "/765432";
    // Without a template (and so without a base database) the copy fails: no folder is
    // left behind.
    const QString templ = t.paths->app + "/KVR-DB_ORG.MDB";
    ASSERT_TRUE(QFile::rename(templ, templ + ".away"));
    t.boxes->answer(MsgResult::Yes);
    EXPECT_THROW(start("765432"), ProgramEnded);
    EXPECT_EQ(last().title, "ファイルコピーエラー");
    EXPECT_EQ(last().text, "会員番号ＤＢをコピーできません。\r\n\r\n会員番号ＤＢ：/"
                           "KVR-DB-765432.MDB\r\n\r\nプログラムを終了します。");
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_FALSE(QFileInfo::exists(StagingFolderOf(folder)));
    // A staging folder left by a killed start is replaced.
    QDir().mkpath(StagingFolderOf(folder));
    ASSERT_TRUE(QFile::rename(templ + ".away", templ));
    QFile::copy(templ, StagingFolderOf(folder) + "/junk");
    closeAllConnections();
    t.boxes->answer(MsgResult::Yes);
    ASSERT_TRUE(start("765432"));
    EXPECT_FALSE(QFileInfo::exists(StagingFolderOf(folder)));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).filter(".MDB", Qt::CaseSensitive).first(),
              "KVR-DB-765432.MDB");
    EXPECT_TRUE(QDir(folder).entryList({"*.kvrtmp"}, QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(StartupTest, AStartRemovesWhatInterruptedFileOperationsLeft) {
    provideBaseDb();
    t.boxes->answer(MsgResult::Yes);
    ASSERT_TRUE(start("123456"));
    closeAllConnections();
    const QString app = t.paths->app, member = app + "/123456", pdf = t.paths->desktop + "/KVR-DB-SAVE";
    const QStringList leftFiles = {app + "/KVR-DB.MDB.kvrtmp", member + "/KVR-DB-123456_20240801_0900.MDB.kvrtmp",
                                   pdf + "/.P01_chart.pdf.part"};
    const QStringList leftFolders = {app + "/.654321_20240814_163000.creating",
                                     app + "/.123456_20240814_163000.copying",
                                     app + "/.123456_20240814_163000.removing", app + "/.777777.new"};
    // What the user keeps there stays.
    const QStringList kept = {member + "/KVR.INI", member + "/notes.kvrtmp.txt", pdf + "/P01_chart.pdf",
                              app + "/VQKVRDBVerUp.new", member + "/KVR-DB-123456.MDB"};
    for (const QString& f : leftFiles + kept)
        if (!QFileInfo::exists(f)) writeText(f, "x");
    for (const QString& d : leftFolders) {
        QDir().mkpath(d);
        writeText(d + "/KVR-DB-123456.MDB", "part");
    }
    t.boxes->clear();
    ASSERT_TRUE(start("123456"));
    EXPECT_TRUE(t.boxes->shown.isEmpty());
    for (const QString& p : leftFiles + leftFolders)
        EXPECT_FALSE(QFileInfo::exists(p)) << p.toStdString();
    for (const QString& p : kept)
        EXPECT_TRUE(QFileInfo::exists(p)) << p.toStdString();
}

} // namespace
