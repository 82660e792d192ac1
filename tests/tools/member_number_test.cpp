// Member number change: the refusals, the folders it leaves, the clinic-code row and the
// end of the program. A change cut short by a kill or a power cut is a row of the crash test.
#include "data/CClinicCode.h"
#include "tools/MemberNumberChange.h"
#include "tools_fixture.h"

#include <QDirIterator>

using namespace kvr;

namespace {

const QString kOld = "123456";
const QString kNew = "654321";

QString dbOf(const QString& no) {
    return appFolder() + "/" + no + "/KVR-DB-" + no + ".MDB";
}

// The patients and examinations of a member database.
QString memberData(const QString& path) {
    return test::rowsText(db::Connection::open(path, kProgramPassword),
                          {"SELECT * FROM TPatient ORDER BY ID", "SELECT * FROM TExamData ORDER BY ID"});
}

// Relative path and contents of every file below the member folder no, the journal aside (a
// journal left by a killed write is part of the database: it is rolled back on opening).
QMap<QString, QByteArray> filesOf(const QString& no) {
    const QString folder = appFolder() + "/" + no;
    QMap<QString, QByteArray> files;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();)
        if (const QString f = it.next(); !f.endsWith("-journal"))
            files[QDir(folder).relativeFilePath(f)] = test::readFile(f);
    return files;
}

QStringList folders() {
    return QDir(appFolder()).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// The running program works on member kOld (with a settings file and a report beside its
// database), whose database the entry screen holds while the tools screen is open.
class MemberNumberChangeTest : public test::ToolsTest {
protected:
    void SetUp() override {
        ToolsTest::SetUp();
        QDir().mkpath(app().MemberFolder + "/report");
        test::writeFile(app().MemberFolder + "/KVR-DB.ini", "[Setting]\nStartTab=3\n");
        test::writeFile(app().MemberFolder + "/report/sheet.pdf", QByteArray(1 << 16, 'r'));
        before = memberData(dbOf(kOld));
        beforeFiles = filesOf(kOld);
        OpenMemberDbHold();
    }

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
        EXPECT_EQ(folders(), QStringList({kOld, "222222"}));
        EXPECT_EQ(app().MemberNo, kOld);
    }
    EXPECT_EQ(filesOf(kOld), beforeFiles);
}

TEST_F(MemberNumberChangeTest, AFailedChangeLeavesNoNewFolderAndARetryMovesTheDatabaseAndSetsTheOldFolderAside) {
    // Something in the way of the set-aside copy's work folder (a disk full, say).
    const QString blocker = appFolder() + "/." + kOld + "_20240814_163000.copying";
    test::writeFile(blocker, "in the way");
    EXPECT_EQ(ChangeMemberNumber(kNew), MemberNoChange::Failed);
    ASSERT_EQ(t.boxes->shown.size(), 1);
    EXPECT_TRUE(t.boxes->shown[0].text.startsWith("フォルダ間ファイルコピー(CopyFolder)でエラーが発生しました。"));
    EXPECT_EQ(folders(), QStringList({kOld})) << "neither the new folder nor a work folder is left";
    EXPECT_EQ(app().MemberNo, kOld);
    EXPECT_EQ(filesOf(kOld), beforeFiles);

    QFile::remove(blocker);
    t.boxes->clear();
    OpenMemberDbHold();
    LoadClinicCode();
    ASSERT_EQ(ChangeMemberNumber(" ６５４３２１　"), MemberNoChange::Done);
    EXPECT_TRUE(t.boxes->shown.isEmpty());
    const QString setAside = kOld + "_20240814_163000"; // the test clock's time
    EXPECT_EQ(folders(), QStringList({setAside, kNew})) << "no work folders left";
    EXPECT_EQ(filesOf(setAside), beforeFiles);
    EXPECT_EQ(filesOf(kNew).keys(), QStringList({"KVR-DB-" + kNew + ".MDB"}));
    EXPECT_EQ(memberData(dbOf(kNew)), before);
    // The running program now works on the new number.
    EXPECT_EQ(app().memberDbPath(), dbOf(kNew));
    EXPECT_EQ(TheClinicCode().ClinicCode, kNew);
    closeAllConnections();
    EXPECT_EQ(db::Connection::open(dbOf(kNew), kProgramPassword)->scalar("SELECT ClinicCode FROM TClinicCode"), kNew);

    EXPECT_THROW(FinishMemberNumberChange(), ProgramEnded);
    test::expectBox(t, "会員番号の変更が完了しました。\r\n\r\nプログラムを終了しますので、プログラムを再起動してください。",
                    "完了", MsgIcon::Information);
}

} // namespace
