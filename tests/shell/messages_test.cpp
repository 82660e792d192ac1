#include "shell/PFrmMessageS.h"
#include "shell/VazaMessage.h"
#include "support/test_services.h"

#include <QFile>
#include <QLabel>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kvr;

namespace {

class MessagesTest : public ::testing::Test {
protected:
    void SetUp() override { t = test::installTestServices(); }
    const MsgBoxRequest& last() const { return t.boxes->shown.last(); }
    test::TestServices t;
};

TEST_F(MessagesTest, CatalogueTextsTitlesAndSuffixes) {
    const char* const shown[][3] = {
        {"1201", "すでに登録済みの患者番号です.\r患者番号を変更してください.\r [Message No.1201]",
         "操作エラー"},
        {"9000", "不明なエラーが発生しました. [No.9000]", "その他のエラー"},
        {"5000", "定義されていないエラーが発生しました. [No.5000]", "不明のエラー"},
    };
    for (auto [code, text, title] : shown) {
        EXPECT_EQ(ShowMessage(QString(code).toInt()), 1);
        EXPECT_EQ(last().text, text);
        EXPECT_EQ(last().title, title);
        EXPECT_EQ(last().buttons, MsgButtons::Ok);
    }
    EXPECT_EQ(t.boxes->shown[0].icon, MsgIcon::Information);
    EXPECT_EQ(catalogMessage(1299).text, "操作が正しくありません.\r [Message No.1299]");
    EXPECT_EQ(catalogMessage(2202).text, "ＥＯＦエラーです. [No.2202]");
    EXPECT_EQ(catalogMessage(2999).text, "データベースのアクセスに失敗しました. [No.2999]");
    EXPECT_EQ(catalogMessage(2001).icon, MsgIcon::Critical);
    EXPECT_EQ(catalogMessage(3001).title, "データ圧縮エラー");
    EXPECT_EQ(catalogMessage(4001).title, "入出力エラー");
    EXPECT_EQ(catalogMessage(500).text, " [No.500]");
    // Confirmations return the button pressed; the backup warning defaults to Cancel.
    t.boxes->answer(MsgResult::Cancel);
    EXPECT_EQ(ShowMessage(1), 2);
    EXPECT_EQ(last().text, "終了します.\rよろしいですか.");
    EXPECT_EQ(last().buttons, MsgButtons::OkCancel);
    EXPECT_EQ(last().icon, MsgIcon::Question);
    EXPECT_EQ(ShowMessage(23), 2);
    EXPECT_EQ(last().text, "バックアップを実行しないと、データが消える恐れがあります。\r\r"
                           "バックアップを実行せずに、終了してもよろしいですか。");
    EXPECT_EQ(last().icon, MsgIcon::Critical);
}

TEST_F(MessagesTest, AccessLogLinesAndRotation) {
    const QString log = t.paths->app + "/Log_Access.txt";
    const QString rotated = t.paths->app + "/Log_Access_202408141630.txt";
    auto read = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    auto fill = [&](int size, char c) {
        QFile f(log);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray(size, c));
    };
    WriteAccessLog("123456");
    EXPECT_EQ(read(log), "2024/08/14 16:30  123456\r\n");
    fill(100000, 'x'); // exactly 100000 bytes: not rotated
    WriteAccessLog("1");
    EXPECT_EQ(read(log).size(), 100000 + 21);
    EXPECT_FALSE(QFile::exists(rotated));
    WriteAccessLog("2"); // above: rotated before the new line
    EXPECT_EQ(read(rotated).size(), 100000 + 21);
    EXPECT_EQ(read(log), "2024/08/14 16:30  2\r\n");
    fill(100001, 'y'); // a second rotation in the same minute replaces the first rotated file
    WriteAccessLog("3");
    EXPECT_EQ(read(rotated), QByteArray(100001, 'y'));
    EXPECT_EQ(read(log), "2024/08/14 16:30  3\r\n");
}

TEST_F(MessagesTest, StatusWindowDisplayTimes) {
    PFrmMessageS::MessageText = "ＰＤＦファイルへ出力中です。";
    PFrmMessageS::DisplayTime = 0; // below 1: one minute
    {
        PFrmMessageS w;
        w.show();
        EXPECT_EQ(w.LblMessage->text(), "ＰＤＦファイルへ出力中です。");
        EXPECT_EQ(w.Timer1->interval(), 60000);
        EXPECT_TRUE(w.Timer1->isActive());
    }
    PFrmMessageS::DisplayTime = -1; // until the caller closes it
    {
        PFrmMessageS w;
        w.show();
        EXPECT_FALSE(w.Timer1->isActive());
    }
    PFrmMessageS::DisplayTime = 30;
    PFrmMessageS w;
    w.show();
    EXPECT_EQ(w.Timer1->interval(), 30);
    EXPECT_TRUE(test::waitUntil([&] { return !w.isVisible(); }));
    EXPECT_EQ(PFrmMessageS::DisplayTime, 0); // reset for the next caller
}

} // namespace
