// The manual and FAQ buttons: which file or page they open, and what a user sees when
// it is missing or cannot be opened.
#include "tools/ManualFaq.h"
#include "tools_fixture.h"

using namespace kvr;

namespace {

class ManualFaqTest : public ::testing::Test {
protected:
    void SetUp() override { t = test::installTestServices(); }

    test::TestServices t;
};

TEST_F(ManualFaqTest, FaqServerSettingOrTheShippedPage) {
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

TEST_F(ManualFaqTest, MissingOrUnopenableFilesAreReported) {
    const QString faq = appFolder() + "/FAQ.html";
    OpenManual(); // not there
    OpenFaq();
    EXPECT_TRUE(t.shell->opened.isEmpty());
    EXPECT_EQ(test::boxTexts(t), QStringList({"エラー: 操作マニュアルのファイルが見つかりません。\r\n\r\n" + ManualPath(),
                                              "エラー: よくある質問のページが見つかりません。\r\n\r\n" + faq}));
    test::writeFile(ManualPath(), "%PDF");
    test::writeFile(faq, "<html/>");
    t.boxes->clear();
    OpenManual();
    OpenFaq();
    EXPECT_EQ(t.shell->opened, QStringList({ManualPath(), faq}));
    EXPECT_TRUE(t.boxes->shown.isEmpty());

    t.shell->openResult = false; // no program for PDF files
    OpenManual();
    test::expectBox(t, "操作マニュアルを開けません。\r\n\r\n" + ManualPath() +
                           "\r\n\r\nPDFやWebページを表示するプログラムが設定されているか確認してください。",
                    "エラー", MsgIcon::Exclamation);
}

TEST(ManualBuild, ProgramFolderHoldsTheManualWithEmbeddedJapaneseFont) {
    QFile pdf(test::builtAppFolder() + "/KVR-Chart-DB Ver1 操作マニュアル.pdf");
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    const QByteArray data = pdf.readAll();
    EXPECT_TRUE(data.startsWith("%PDF"));
    EXPECT_TRUE(data.contains("/FontFile2")) << "the font is embedded";
    EXPECT_TRUE(data.contains("IPAGothic"));
    EXPECT_TRUE(QFileInfo(test::builtAppFolder() + "/FAQ.html").isFile());
}

} // namespace
