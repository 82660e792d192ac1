// The version-update tab's data: contact details in row 0 of TImage and in "Info.txt",
// the updater's replacement by its ".new" file, and the start of the updater.
#include "tools/VersionUp.h"
#include "tools_fixture.h"

using namespace kvr;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

class VersionUpTest : public test::ToolsTest {};

TEST_F(VersionUpTest, ContactIsStoredInRowZeroWhateverTheTableLooksLikeAndWrittenToInfoTxt) {
    // The table as shipped, a table without row 0, no table, an older table without the
    // rotation columns.
    const QList<QStringList> setups = {
        {},
        {"DELETE FROM TImage WHERE ID=0"},
        {"DROP TABLE TImage"},
        {"DROP TABLE TImage", "CREATE TABLE TImage (ID INTEGER PRIMARY KEY, PatientID INTEGER, ExamDate TEXT, "
                              "SNo INTEGER, ImgPath1 TEXT, ImgPath2 TEXT, ImgPath3 TEXT, \"UpDate\" TEXT)"},
    };
    for (const QStringList& setup : setups) {
        SCOPED_TRACE(setup.join("; ").toStdString());
        closeAllConnections();
        for (const QString& sql : setup)
            direct()->execute(sql);
        ContactInfo back;
        EXPECT_FALSE(LoadContactInfo(back));
        ASSERT_TRUE(SaveContactInfo({"みなみ歯科医院", "山田 花子", "hanako@example.jp"}));
        ASSERT_TRUE(LoadContactInfo(back));
        EXPECT_EQ(QStringList({back.clinic, back.person, back.mail}),
                  QStringList({"みなみ歯科医院", "山田 花子", "hanako@example.jp"}));
        closeAllConnections();
        EXPECT_EQ(scalar("SELECT COUNT(*) FROM TImage WHERE ID=0").toInt(), 1);
        EXPECT_EQ(scalar("SELECT ExamDate FROM TImage WHERE ID=0").toDateTime(), QDateTime(QDate(2024, 8, 14), QTime(0, 0)));
        EXPECT_EQ(scalar("SELECT \"UpDate\" FROM TImage WHERE ID=0").toDateTime(), t.clock->current);
        direct()->execute("DELETE FROM TImage WHERE ID=0");
    }
    // Each label fills the same width (full-width characters count two columns); empty boxes are written too.
    EXPECT_EQ(QString::fromUtf8(readAll(InfoFilePath())),
              "会員番号      ：123456\n病院名        ：みなみ歯科医院\n担当者名      ：山田 花子\n"
              "担当者のE-mail：hanako@example.jp\n");
    ASSERT_TRUE(SaveContactInfo({}));
    EXPECT_EQ(QString::fromUtf8(readAll(InfoFilePath())),
              "会員番号      ：123456\n病院名        ：\n担当者名      ：\n担当者のE-mail：\n");
}

TEST_F(VersionUpTest, UpdaterIsReplacedOnceByItsNewFile) {
    const struct {
        bool old, replacement;
    } cases[] = {{true, true}, {false, true}, {true, false}, {false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "old " << c.old << " new " << c.replacement);
        QFile::remove(UpdaterPath());
        if (c.old) test::writeFile(UpdaterPath(), "old");
        if (c.replacement) test::writeFile(UpdaterReplacementPath(), "new");
        EXPECT_EQ(ReplaceUpdater(), c.replacement);
        EXPECT_FALSE(QFile::exists(UpdaterReplacementPath()));
        EXPECT_EQ(readAll(UpdaterPath()), c.replacement ? "new" : c.old ? "old" : "<missing>");
        EXPECT_FALSE(ReplaceUpdater()) << "a second selection changes nothing";
    }
}

TEST_F(VersionUpTest, VersionUpRefusesEmptyBoxesAndAMissingUpdater) {
    test::writeFile(UpdaterPath(), "x");
    for (const ContactInfo& info : {ContactInfo{"", "b", "c"}, ContactInfo{"a", "　", "c"}, ContactInfo{"a", "b", "  "}}) {
        t.boxes->clear();
        StartVersionUp(info);
        test::expectBox(t, "入力項目に空欄があります。入力してください。", "未入力", MsgIcon::Exclamation);
    }
    QFile::remove(UpdaterPath());
    t.boxes->clear();
    StartVersionUp({"a", "b", "c"}); // no updater: a message, and the program goes on
    test::expectBox(t, "バージョンアップ用のプログラムが見つかりません。\r\n\r\n" + UpdaterPath() +
                           "\r\n\r\nプログラムフォルダに配置してから、もう一度お試しください。",
                    "エラー", MsgIcon::Exclamation);
    EXPECT_TRUE(t.shell->started.isEmpty());

    test::writeFile(UpdaterPath(), "x");
    EXPECT_THROW(StartVersionUp({"a", "b", "c"}), ProgramEnded);
    EXPECT_EQ(t.shell->started, QStringList{UpdaterPath()});
}

} // namespace
