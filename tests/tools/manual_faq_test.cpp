// The manual and FAQ buttons: which file or page they open, and what a user sees when
// it is missing or cannot be opened.
#include "tools/ManualFaq.h"
#include "tools_fixture.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace kvr;

using test::writeFile;

namespace {

class ManualFaqTest : public ::testing::Test {
protected:
    void SetUp() override { t = test::installTestServices(); }

    test::TestServices t;
};

TEST_F(ManualFaqTest, FaqServerSettingOrTheShippedPage) {
    const struct {
        QByteArray ini; // empty: no settings file
        QString target; // relative to the program folder when not a URL
    } cases[] = {
        {"", "FAQ.html"},
        {"[FAQ]\nServer=\n", "FAQ.html"},
        {"[FAQ]\nServer=https://faq.example.jp\n", "https://faq.example.jp/KVR/FAQ.html"},
        {"[FAQ]\nServer=https://faq.example.jp/base/ \n", "https://faq.example.jp/base/KVR/FAQ.html"},
        {"[Other]\nServer=https://x\n", "FAQ.html"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ini.toStdString());
        QFile::remove(appFolder() + "/KVRServer.ini");
        if (!c.ini.isEmpty()) writeFile(appFolder() + "/KVRServer.ini", c.ini);
        EXPECT_EQ(FaqTarget(), c.target.contains("://") ? c.target : appFolder() + "/" + c.target);
    }
}

TEST_F(ManualFaqTest, MissingOrUnopenableFilesAreReported) {
    OpenManual(); // not there
    OpenFaq();
    EXPECT_TRUE(t.shell->opened.isEmpty());
    ASSERT_EQ(t.boxes->shown.size(), 2);
    EXPECT_TRUE(t.boxes->shown[0].text.contains(ManualPath()));
    EXPECT_TRUE(t.boxes->shown[1].text.contains("FAQ.html"));

    writeFile(ManualPath(), "%PDF");
    writeFile(appFolder() + "/FAQ.html", "<html/>");
    t.boxes->clear();
    OpenManual();
    OpenFaq();
    EXPECT_EQ(t.shell->opened, QStringList({ManualPath(), appFolder() + "/FAQ.html"}));
    EXPECT_TRUE(t.boxes->shown.isEmpty());

    t.shell->openResult = false; // no program for PDF files
    OpenManual();
    ASSERT_EQ(t.boxes->shown.size(), 1);
    EXPECT_TRUE(t.boxes->shown[0].text.startsWith("操作マニュアルを開けません。"));
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
