// The data behind the manual and version-update tabs: the file or page the manual and FAQ
// buttons open and what a user sees when it is missing; the contact details in row 0 of
// TImage and in "Info.txt", the updater's replacement by its ".new" file and its start.
#include "tools/ManualFaq.h"
#include "tools/VersionUp.h"
#include "tools_fixture.h"

using namespace kvr;

namespace {

class VersionUpTest : public test::ToolsTest {};

TEST_F(VersionUpTest, FaqServerSettingOrTheShippedPage) {
    const std::pair<QByteArray, QString> cases[] = {
        // the settings file (empty: none), the page (in the program folder when not a URL)
        {"", "FAQ.html"},
        {"[FAQ]\nServer=\n", "FAQ.html"},
        {"[FAQ]\nServer=https://faq.example.jp\n", "https://faq.example.jp/KVR/FAQ.html"},
        {"[FAQ]\nServer=https://faq.example.jp/base/ \n", "https://faq.example.jp/base/KVR/FAQ.html"},
        {"[Other]\nServer=https://x\n", "FAQ.html"},
    };
    for (const auto& [ini, target] : cases) {
        QFile::remove(appFolder() + "/KVRServer.ini");
        if (!ini.isEmpty()) test::writeFile(appFolder() + "/KVRServer.ini", ini);
        EXPECT_EQ(FaqTarget(), target.contains("://") ? target : appFolder() + "/" + target) << ini.toStdString();
    }
}

TEST_F(VersionUpTest, MissingOrUnopenableFilesAreReported) {
    const QString faq = appFolder() + "/FAQ.html";
    OpenManual(); // not there
    OpenFaq();
    EXPECT_TRUE(shell->opened.isEmpty());
    EXPECT_EQ(boxTexts(), QStringList({"エラー: 操作マニュアルのファイルが見つかりません。\r\n\r\n" + ManualPath(),
                                       "エラー: よくある質問のページが見つかりません。\r\n\r\n" + faq}));
    test::writeFile(ManualPath(), "%PDF");
    test::writeFile(faq, "<html/>");
    t.boxes->clear();
    OpenManual();
    OpenFaq();
    EXPECT_EQ(shell->opened, QStringList({ManualPath(), faq}));
    EXPECT_TRUE(t.boxes->shown.isEmpty());

    shell->openResult = false; // no program for PDF files
    OpenManual();
    test::expectBox(t, "操作マニュアルを開けません。\r\n\r\n" + ManualPath() +
                           "\r\n\r\nPDFやWebページを表示するプログラムが設定されているか確認してください。",
                    "エラー", MsgIcon::Exclamation);
}

TEST(ManualBuild, ProgramFolderHoldsTheManualWithEmbeddedJapaneseFont) {
    const QByteArray pdf = test::readFile(test::builtAppFolder() + "/KVR-Chart-DB Ver1 操作マニュアル.pdf");
    EXPECT_TRUE(pdf.startsWith("%PDF"));
    EXPECT_TRUE(pdf.contains("/FontFile2")) << "the font is embedded";
    EXPECT_TRUE(pdf.contains("IPAGothic"));
    EXPECT_TRUE(QFileInfo(test::builtAppFolder() + "/FAQ.html").isFile());
}

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
        EXPECT_EQ(test::rowsText(direct(), {"SELECT ExamDate, \"UpDate\" FROM TImage WHERE ID=0"}),
                  "2024-08-14T00:00:00.000|2024-08-14T16:30:00.000"); // the day, and the time of the test clock
        direct()->execute("DELETE FROM TImage WHERE ID=0");
    }
    // Each label fills the same width (full-width characters count two columns); empty boxes are written too.
    EXPECT_EQ(test::readFile(InfoFilePath()), "会員番号      ：123456\n病院名        ：みなみ歯科医院\n"
                                              "担当者名      ：山田 花子\n担当者のE-mail：hanako@example.jp\n");
    ASSERT_TRUE(SaveContactInfo({}));
    EXPECT_EQ(test::readFile(InfoFilePath()), "会員番号      ：123456\n病院名        ：\n担当者名      ：\n担当者のE-mail：\n");
}

TEST_F(VersionUpTest, UpdaterIsReplacedOnceByItsNewFile) {
    for (const auto& [old, replacement] : {std::pair{true, true}, {false, true}, {true, false}, {false, false}}) {
        SCOPED_TRACE(testing::Message() << "old " << old << " new " << replacement);
        QFile::remove(UpdaterPath());
        if (old) test::writeFile(UpdaterPath(), "old");
        if (replacement) test::writeFile(UpdaterReplacementPath(), "new");
        EXPECT_EQ(ReplaceUpdater(), replacement);
        EXPECT_FALSE(QFile::exists(UpdaterReplacementPath()));
        EXPECT_EQ(test::readFile(UpdaterPath()), replacement ? "new" : old ? "old" : "<missing>");
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
    EXPECT_TRUE(shell->started.isEmpty());

    test::writeFile(UpdaterPath(), "x");
    EXPECT_THROW(StartVersionUp({"a", "b", "c"}), ProgramEnded);
    EXPECT_EQ(shell->started, QStringList{UpdaterPath()});
}

} // namespace
