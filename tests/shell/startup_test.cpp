// The start: the start screen, the member folder (made, finished after an interrupted
// start, or refused), the database version, and what interrupted file operations left.
// An installed program that reads its files from the installed tree and writes only into
// the user's data folder: e2e_package_install.
#include "data/ADODBMain.h"
#include "data/member_db_fixture.h"
#include "platform/single_instance.h"
#include "shell/startup/MemberFolder.h"
#include "shell/startup/PFrmSplash.h"
#include "shell/startup/startup.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace kvr;

namespace {

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
        QFile::copy(test::builtAppFolder() + "/KVR-DB_ORG.MDB", templ());
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
        closeAllConnections();
        return Main(o);
    }
    // The base database a new member folder receives.
    void provideBaseDb() { QFile::copy(templ(), t.paths->app + "/KVR-DB.MDB"); }
    // The last box shown as "title|text" ("|" when none was shown).
    QString last() const {
        const MsgBoxRequest b = t.boxes->shown.value(t.boxes->shown.size() - 1);
        return b.title + "|" + b.text;
    }
    db::ConnectionPtr memberDb() { return db::Connection::open(app().memberDbPath(), kProgramPassword); }
    test::TestServices t;
    QString templ() const { return t.paths->app + "/KVR-DB_ORG.MDB"; }
    SingleInstance ownLock{"kvr-test-" + QString::number(QCoreApplication::applicationPid())};
};

TEST_F(StartupTest, FirstStartCreatesTheMemberFolderAndLaterStartsOpenIt) {
    t.boxes->answer(MsgResult::Yes); // create the member folder
    ASSERT_TRUE(start("１２３４５６"));
    ASSERT_EQ(t.boxes->shown.size(), 1);
    EXPECT_EQ(last(), "確認|新規の会員番号に対して会員番号フォルダを作成します。\r\n\r\nよろしいですか？");
    // The base database went aside under its dated name; the next new member gets a fresh one.
    EXPECT_FALSE(QFile::exists(t.paths->app + "/KVR-DB.MDB"));
    EXPECT_TRUE(QFile::exists(t.paths->app + "/KVR-DB-20240814_163000.MDB"));
    const QString version = QString("%1.%2.%3").arg(KVR_VERSION_MAJOR).arg(KVR_VERSION_MINOR).arg(KVR_VERSION_PATCH);
    EXPECT_EQ(readFile(t.paths->app + "/VersionKVRDB.txt"), ("Version=" + version + "\r\n").toUtf8());
    EXPECT_TRUE(QFileInfo(t.paths->desktop + "/KVR-DB-SAVE").isDir());
    // The new database is keyed and carries the member number as its clinic code.
    EXPECT_EQ(memberDb()->scalar("SELECT ClinicCode||'|'||ClinicName FROM TClinicCode WHERE ID=0").toString(),
              "123456|");
    EXPECT_THROW(db::Connection::open(t.paths->app + "/123456/KVR-DB-123456.MDB", "x"), RuntimeError);
    // The entry screen that follows: e2e_entry_flow.

    // A padded number opens the existing folder without the question.
    t.boxes->clear();
    ASSERT_TRUE(start(" 123456 "));
    EXPECT_TRUE(t.boxes->shown.isEmpty());
    EXPECT_EQ(readFile(t.paths->app + "/Log_Access.txt"), "2024/08/14 16:30  123456\r\n2024/08/14 16:30  123456\r\n");

    // Database versions from 0.1.0 open; older ones, or none, end the start.
    closeAllConnections();
    for (auto [major, minor, revision, passes] : {std::tuple{0, 1, 0, true}, {0, 0, 999, false}}) {
        memberDb()->execute("UPDATE TVersion SET Major=?, Minor=?, Revision=? WHERE ID=1", {major, minor, revision});
        EXPECT_EQ(CheckDbVersion(), passes) << major << minor << revision;
    }
    EXPECT_THROW(start("123456"), ProgramEnded);
    EXPECT_EQ(last(), "バージョンエラー|データベースのバージョンが一致しません。");
    memberDb()->execute("DELETE FROM TVersion");
    EXPECT_FALSE(CheckDbVersion());
}

TEST_F(StartupTest, SecondCopyIsRefusedAndCancelEndsTheProgram) {
    const QString name = "kvr-test-second-" + QString::number(QCoreApplication::applicationPid());
    SingleInstance first(name), second(name);
    ASSERT_TRUE(first.acquire());
    EXPECT_THROW(start("123456", &second), ProgramEnded);
    EXPECT_EQ(last(), "２重起動|すでに起動されています。プログラムを終了します。");
    StartupOptions o;
    o.instance = &ownLock;
    o.runSplash = [](PFrmSplash& s) { s.CmdCansel->click(); };
    EXPECT_THROW(Main(o), ProgramEnded);
    EXPECT_TRUE(app().StartCancelled);
}

// Bad numbers are refused before anything is written; No to the folder question keeps the
// screen and the number; a file in the folder's place ends the program. Enter moves on
// without pressing OK; the panel's marker file follows its check box.
TEST_F(StartupTest, StartScreenRefusalsKeysAndPanel) {
    provideBaseDb();
    PFrmSplash s;
    s.show();
    for (const char* no : {"12345", "1234567", "12a456", "+12345", "1.2345", "　 "}) {
        s.TxtKVRCode->setText(no);
        s.CmdOK_Click();
        EXPECT_EQ(last(), no[0] == '\xe3' ? "未入力|未入力です。入力してください。" : "エラー|会員番号を正しく入力してください。")
            << no;
    }
    EXPECT_FALSE(QFile::exists(t.paths->app + "/Log_Access.txt"));
    s.TxtKVRCode->setText("654321");
    t.boxes->answer(MsgResult::No);
    s.CmdOK_Click();
    EXPECT_TRUE(s.isVisible() && s.TxtKVRCode->text() == "654321");
    EXPECT_FALSE(QFileInfo(t.paths->app + "/654321").exists());
    EXPECT_EQ(readFile(t.paths->app + "/Log_Access.txt"), "2024/08/14 16:30  654321\r\n"); // the attempt stays

    test::writeText(t.paths->app + "/111111", "");
    s.TxtKVRCode->setText("111111");
    t.boxes->answer(MsgResult::Yes);
    EXPECT_THROW(s.CmdOK_Click(), ProgramEnded);
    EXPECT_EQ(last(), "フォルダ作成エラー|会員番号フォルダを作成できません。\r\n\r\n会員番号フォルダ：" + t.paths->app +
                          "/111111\r\n\r\nプログラムを終了します。");

    t.boxes->clear();
    QApplication::setActiveWindow(&s);
    s.TxtKVRCode->setFocus();
    QTest::keyClick(s.TxtKVRCode, Qt::Key_Return);
    EXPECT_TRUE(s.CmdOK->hasFocus());
    EXPECT_TRUE(t.boxes->shown.isEmpty());

    EXPECT_TRUE(s.panelShown());
    s.ChkDoc->click();
    EXPECT_EQ(readFile(t.paths->app + "/DocInfo.txt"), "Close\r\n");
    PFrmSplash again;
    EXPECT_TRUE(again.ChkDoc->isChecked() && !again.panelShown());
    again.ChkDoc->click();
    EXPECT_FALSE(QFile::exists(t.paths->app + "/DocInfo.txt"));
}

// What an interrupted first start of an older version leaves in a member folder, and
// what the next start makes of it.
TEST_F(StartupTest, AMemberFolderLeftWithoutItsDatabaseIsFinished) {
    provideBaseDb();
    const QString folder = t.paths->app + "/654321", db = folder + "/KVR-DB-654321.MDB";
    const QByteArray base = readFile(t.paths->app + "/KVR-DB.MDB");
    // What is in the folder: a temporary copy, other files; the result; the database after.
    const std::tuple<const char*, QByteArray, const char*, MemberFolderResult, QByteArray> cases[] = {
        {"empty folder", {}, nullptr, MemberFolderResult::Ready, base},
        {"complete temporary copy", base, nullptr, MemberFolderResult::Ready, base},
        {"half a temporary copy", base.left(base.size() / 2), nullptr, MemberFolderResult::Ready, base},
        {"other files", {}, "/KVR.INI", MemberFolderResult::NotOurs, {}},
    };
    for (auto [name, tmp, other, expected, after] : cases) {
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        QFile f(db + ".kvrtmp");
        if (!tmp.isEmpty()) {
            ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(tmp) == tmp.size());
        }
        f.close();
        if (other) QFile::copy(t.paths->app + "/KVR-DB.MDB", folder + other);
        EXPECT_EQ(RepairMemberFolder(folder, "/KVR-DB-654321.MDB", t.paths->app + "/KVR-DB.MDB"), expected) << name;
        EXPECT_FALSE(QFile::exists(db + ".kvrtmp") && !other) << name;
        EXPECT_EQ(readFile(db), after) << name;
    }
    // A start of that number finishes the folder without a question, with its clinic code.
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    ASSERT_TRUE(start("654321"));
    EXPECT_TRUE(t.boxes->shown.isEmpty());
    EXPECT_EQ(memberDb()->scalar("SELECT ClinicCode FROM TClinicCode WHERE ID=0").toString(), "654321");
}

TEST_F(StartupTest, ANewMemberFolderAppearsOnlyWithItsCompleteDatabase) {
    const QString folder = t.paths->app + "/765432";
    // Without a template (and so without a base database) the copy fails: nothing is left.
    ASSERT_TRUE(QFile::remove(templ()));
    t.boxes->answer(MsgResult::Yes);
    EXPECT_THROW(start("765432"), ProgramEnded);
    EXPECT_EQ(last(), "ファイルコピーエラー|会員番号ＤＢをコピーできません。\r\n\r\n会員番号ＤＢ：/"
                      "KVR-DB-765432.MDB\r\n\r\nプログラムを終了します。");
    EXPECT_FALSE(QFileInfo::exists(folder) || QFileInfo::exists(StagingFolderOf(folder)));
    // A start killed at any point, and the start after it: Kill/Crash (first_start).
}

TEST_F(StartupTest, AStartRemovesWhatInterruptedFileOperationsLeft) {
    provideBaseDb();
    t.boxes->answer(MsgResult::Yes);
    ASSERT_TRUE(start("123456"));
    const QString app = t.paths->app, member = app + "/123456", pdf = t.paths->desktop + "/KVR-DB-SAVE";
    const QStringList left = {app + "/KVR-DB.MDB.kvrtmp", member + "/KVR-DB-123456_20240801_0900.MDB.kvrtmp",
                              pdf + "/.P01_chart.pdf.part"};
    const QStringList leftFolders = {app + "/.654321_20240814_163000.creating", app + "/.123456_20240814_163000.copying",
                                     app + "/.123456_20240814_163000.removing", app + "/.777777.new"};
    // What the user keeps there stays.
    const QStringList kept = {member + "/KVR.INI", member + "/notes.kvrtmp.txt", pdf + "/P01_chart.pdf",
                              app + "/VQKVRDBVerUp.new", member + "/KVR-DB-123456.MDB"};
    for (const QString& f : left + kept)
        if (!QFileInfo::exists(f)) test::writeText(f, "x");
    for (const QString& d : leftFolders) {
        QDir().mkpath(d);
        test::writeText(d + "/KVR-DB-123456.MDB", "part");
    }
    t.boxes->clear();
    ASSERT_TRUE(start("123456"));
    EXPECT_TRUE(t.boxes->shown.isEmpty());
    for (const QString& p : left + leftFolders)
        EXPECT_FALSE(QFileInfo::exists(p)) << p.toStdString();
    for (const QString& p : kept)
        EXPECT_TRUE(QFileInfo::exists(p)) << p.toStdString();
}

} // namespace
