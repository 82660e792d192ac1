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
    QByteArray read(const QString& path) {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }
    test::TestServices t;
};

TEST_F(MessagesTest, CatalogueTextsTitlesAndSuffixes) {
    EXPECT_EQ(ShowMessage(1201), 1);
    const MsgBoxRequest& m = t.boxes->shown.last();
    EXPECT_EQ(m.text, "すでに登録済みの患者番号です.\r患者番号を変更してください.\r [Message No.1201]");
    EXPECT_EQ(m.title, "操作エラー");
    EXPECT_EQ(m.icon, MsgIcon::Information);

    ShowMessage(9000);
    EXPECT_EQ(t.boxes->shown.last().text, "不明なエラーが発生しました. [No.9000]");
    EXPECT_EQ(t.boxes->shown.last().title, "その他のエラー");

    ShowMessage(5000);
    EXPECT_EQ(t.boxes->shown.last().text, "定義されていないエラーが発生しました. [No.5000]");
    EXPECT_EQ(t.boxes->shown.last().title, "不明のエラー");

    EXPECT_EQ(catalogMessage(1299).text, "操作が正しくありません.\r [Message No.1299]");
    EXPECT_EQ(catalogMessage(2202).text, "ＥＯＦエラーです. [No.2202]");
    EXPECT_EQ(catalogMessage(2999).text, "データベースのアクセスに失敗しました. [No.2999]");
    EXPECT_EQ(catalogMessage(2001).icon, MsgIcon::Critical);
    EXPECT_EQ(catalogMessage(3001).title, "データ圧縮エラー");
    EXPECT_EQ(catalogMessage(4001).title, "入出力エラー");
    EXPECT_EQ(catalogMessage(500).text, " [No.500]");
}

TEST_F(MessagesTest, ConfirmationsReturnTheButtonPressed) {
    t.boxes->answer(MsgResult::Cancel);
    EXPECT_EQ(ShowMessage(1), 2);
    EXPECT_EQ(t.boxes->shown.last().text, "終了します.\rよろしいですか.");
    EXPECT_EQ(t.boxes->shown.last().buttons, MsgButtons::OkCancel);
    EXPECT_EQ(t.boxes->shown.last().icon, MsgIcon::Question);
    // The backup warning defaults to Cancel.
    EXPECT_EQ(ShowMessage(23), 2);
    EXPECT_EQ(t.boxes->shown.last().text, "バックアップを実行しないと、データが消える恐れがあります。\r\r"
                                          "バックアップを実行せずに、終了してもよろしいですか。");
    EXPECT_EQ(t.boxes->shown.last().icon, MsgIcon::Critical);
}

TEST_F(MessagesTest, AccessLogLinesAndRotation) {
    const QString log = t.paths->app + "/Log_Access.txt";
    WriteAccessLog("123456");
    EXPECT_EQ(read(log), "2024/08/14 16:30  123456\r\n");

    // Exactly 100000 bytes: not rotated.
    {
        QFile f(log);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(QByteArray(100000, 'x'));
    }
    WriteAccessLog("1");
    EXPECT_EQ(read(log).size(), 100000 + 21);
    // Now above 100000: rotated before the new line; the new log holds only that line.
    WriteAccessLog("2");
    const QString rotated = t.paths->app + "/Log_Access_202408141630.txt";
    EXPECT_EQ(read(rotated).size(), 100000 + 21);
    EXPECT_EQ(read(log), "2024/08/14 16:30  2\r\n");
    // A second rotation in the same minute replaces the first rotated file.
    {
        QFile f(log);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(QByteArray(100001, 'y'));
    }
    WriteAccessLog("3");
    EXPECT_EQ(read(rotated), QByteArray(100001, 'y'));
    EXPECT_EQ(read(log), "2024/08/14 16:30  3\r\n");
}

TEST_F(MessagesTest, StatusWindowDisplayTimes) {
    PFrmMessageS::MessageText = "ＰＤＦファイルへ出力中です。";
    PFrmMessageS::DisplayTime = 0;
    {
        PFrmMessageS w;
        w.show();
        EXPECT_EQ(w.LblMessage->text(), "ＰＤＦファイルへ出力中です。");
        EXPECT_TRUE(w.Timer1->isActive());
        EXPECT_EQ(w.Timer1->interval(), 60000);
        w.close();
        EXPECT_EQ(PFrmMessageS::DisplayTime, 0);
    }
    PFrmMessageS::DisplayTime = -1;
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
    EXPECT_EQ(PFrmMessageS::DisplayTime, 0);
}

} // namespace
