// The shell's utilities: file and folder operations with their labelled boxes, input
// checks, the message catalogue, the access log, the status window and number texts.
#include "shell/FileUtil.h"
#include "shell/NumberFormat.h"
#include "shell/PFrmMessageS.h"
#include "shell/VazaMessage.h"
#include "support/test_services.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kvr;

namespace {

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override { t = test::installTestServices(); }
    QString path(const QString& name) const { return t.paths->app + "/" + name; }
    QString write(const QString& name, const QByteArray& content) {
        QFile f(path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
        return path(name);
    }
    static QByteArray read(const QString& p) {
        QFile f(p);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    const MsgBoxRequest& last() const { return t.boxes->shown.last(); }
    test::TestServices t;
};

// ------------------------------------------------------------------ files and folders

TEST_F(ShellTest, CopyFileReplacesTheTargetAndKeepsItOnFailure) {
    const QString a = write("a.MDB", "new"), b = write("b.MDB", "old content");
    EXPECT_TRUE(CopyFile(a, b));
    EXPECT_EQ(read(b), "new");
    EXPECT_FALSE(CopyFile(a, a)); // not onto itself
    EXPECT_TRUE(t.boxes->shown.isEmpty());
    EXPECT_FALSE(CopyFile(path("missing.MDB"), b));
    EXPECT_EQ(read(b), "new");
    ASSERT_EQ(t.boxes->shown.size(), 1);
    EXPECT_TRUE(last().text.startsWith("ファイルコピー(CopyFile)でエラーが発生しました。\r\n\r\n<"));
}

TEST_F(ShellTest, RenameFileOnlyOntoAFreeName) {
    const QString a = write("a.txt", "a"), b = write("b.txt", "b");
    EXPECT_FALSE(RenameFile(a, b));
    EXPECT_EQ(read(a) + read(b), "ab");
    EXPECT_TRUE(RenameFile(a, path("c.txt")));
    EXPECT_FALSE(QFile::exists(a));
    EXPECT_EQ(read(path("c.txt")), "a");
    EXPECT_FALSE(RenameFile(path("nothing.txt"), path("d.txt")));
}

TEST_F(ShellTest, CheckDirMatchesMasksInAnyCase) {
    write("KVR-DB.MDB", "x");
    write("readme.txt", "x");
    const std::pair<QString, QString> cases[] = {
        {path("*.mdb"), "kvr-db.mdb"},      {path("*.MDB"), "kvr-db.mdb"},
        {path("KVR-D?.MDB"), "kvr-db.mdb"}, {path("*.pdf"), ""},
        {path("readme.txt"), "readme.txt"}, {path("other.txt"), ""},
        {path("nofolder/*.mdb"), ""},       {"", ""}};
    for (const auto& [mask, found] : cases)
        EXPECT_EQ(CheckDir(mask), found) << mask.toStdString();
}

TEST_F(ShellTest, FoldersSizesAndNames) {
    EXPECT_TRUE(MakeFolder(t.paths->app)); // existing: quiet
    EXPECT_TRUE(MakeFolder(path("new")));
    EXPECT_TRUE(CheckFolder(path("new")));
    EXPECT_TRUE(t.boxes->shown.isEmpty());
    EXPECT_FALSE(MakeFolder(path("a/b"))); // one level only
    EXPECT_TRUE(last().text.contains("\r\n\r\nフォルダ名：" + path("a/b") + "\r\n\r\n<"));
    QDir().mkpath(path("src/inner"));
    write("src/inner/f.txt", "12345");
    EXPECT_EQ(GetFileSize(path("src/inner/f.txt")), 5);
    EXPECT_EQ(GetFileSize(path("none")), -1);
    EXPECT_TRUE(CopyFolder(path("src"), path("dst/deep"), 1));
    EXPECT_EQ(read(path("dst/deep/inner/f.txt")), "12345");
    EXPECT_TRUE(DeleteFolder(path("dst/")));
    EXPECT_FALSE(CheckFolder(path("dst")));
    EXPECT_EQ(FileNameOf(" /x/y/KVR.INI "), "KVR.INI");
    EXPECT_EQ(FileNameOf("KVR.INI"), "");
}

TEST_F(ShellTest, NumericInputAgeAndShellAndWait) {
    for (const char* ok : {"   ", " １２ ", "-1.5e3"})
        EXPECT_EQ(CheckNumericInput(ok), 0) << ok;
    EXPECT_TRUE(t.boxes->shown.isEmpty());
    EXPECT_EQ(CheckNumericInput("1,000"), -2);
    EXPECT_EQ(CheckNumericInput("12a"), -1);
    ASSERT_EQ(t.boxes->shown.size(), 2);
    EXPECT_EQ(t.boxes->shown[0].text, "カンマは使用できません。数値を再入力してください。");
    EXPECT_EQ(last().text, "入力が間違っています。数値を再入力してください。");
    EXPECT_EQ(last().title, "再入力");
    EXPECT_EQ(last().icon, MsgIcon::Critical);
    EXPECT_EQ(QList<int>({CountCommas(QVariant()), CountCommas(QString("a,b,,c"))}), QList<int>({0, 3}));
    EXPECT_EQ(RemoveControlChars(QString(" a\tb\r\n ")), "ab");

    t.clock->current = QDateTime(QDate(2024, 8, 14), QTime(9, 0));
    // The birthday itself counts.
    EXPECT_EQ(QList<int>({CalcAge(QDate(1980, 8, 14)), CalcAge(QDate(1980, 8, 15)), CalcAge(QDate(1980, 1, 1))}),
              QList<int>({44, 43, 44}));
    EXPECT_TRUE(ShellAndWait("/nonexistent/program")); // true reports a start failure only
    EXPECT_FALSE(ShellAndWait("true"));
}

// ------------------------------------------------------------------ messages and the log

TEST_F(ShellTest, CatalogueTextsTitlesAndSuffixes) {
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
    EXPECT_EQ(catalogMessage(2001).icon, MsgIcon::Critical);
    EXPECT_EQ(catalogMessage(500).text, " [No.500]"); // no entry: the number alone
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

TEST_F(ShellTest, AccessLogLinesAndRotation) {
    const QString log = path("Log_Access.txt"), rotated = path("Log_Access_202408141630.txt");
    WriteAccessLog("123456");
    EXPECT_EQ(read(log), "2024/08/14 16:30  123456\r\n");
    write("Log_Access.txt", QByteArray(100000, 'x')); // exactly 100000 bytes: not rotated
    WriteAccessLog("1");
    EXPECT_EQ(read(log).size(), 100000 + 21);
    EXPECT_FALSE(QFile::exists(rotated));
    WriteAccessLog("2"); // above: rotated before the new line
    EXPECT_EQ(read(rotated).size(), 100000 + 21);
    EXPECT_EQ(read(log), "2024/08/14 16:30  2\r\n");
    write("Log_Access.txt",
          QByteArray(100001, 'y')); // a second rotation in the same minute replaces the first
    WriteAccessLog("3");
    EXPECT_EQ(read(rotated), QByteArray(100001, 'y'));
    EXPECT_EQ(read(log), "2024/08/14 16:30  3\r\n");
}

TEST_F(ShellTest, StatusWindowDisplayTimes) {
    PFrmMessageS::MessageText = "ＰＤＦファイルへ出力中です。";
    // Display time: below 1 is one minute, -1 until the caller closes it, else milliseconds.
    for (auto [time, interval, active] : {std::tuple{0, 60000, true}, {-1, 0, false}, {30, 30, true}}) {
        PFrmMessageS::DisplayTime = time;
        PFrmMessageS w;
        w.show();
        EXPECT_EQ(w.LblMessage->text(), "ＰＤＦファイルへ出力中です。");
        EXPECT_EQ(w.Timer1->isActive(), active) << time;
        EXPECT_EQ(active ? w.Timer1->interval() : 0, interval) << time;
        EXPECT_TRUE(time <= 0 || test::waitUntil([&] { return !w.isVisible(); })) << time; // closes itself
    }
    EXPECT_EQ(PFrmMessageS::DisplayTime, 0); // reset for the next caller
}

// ------------------------------------------------------------------ number texts

// Number texts round half away from zero on the decimal value; printf's "%.1f" rounds
// the binary value half to even and gives "12.2" for 12.25.
TEST(NumberFormatTest, RoundsHalfAwayFromZeroOnTheDecimalValue) {
    struct Case {
        double value;
        int decimals;
        bool leadingZero;
        const char* text;
    };
    const Case cases[] = {
        {12.25, 1, true, "12.3"},  {0.05, 1, true, "0.1"}, // the double is 0.05000000000000000277
        {0.15, 1, true, "0.2"},                            // the double is 0.14999999999999999445
        {2.0 / 3.0 * 100, 1, true, "66.7"}, {0.04, 1, true, "0.0"},
        {9.95, 1, true, "10.0"}, // the carry runs into a new digit
        {1234.55, 1, true, "1234.6"}, {123456789012.0, 1, true, "123456789012.0"}, {2.675, 2, true, "2.68"},
        {2.5, 0, true, "3"},          {0.4, 0, true, "0"},  {-12.25, 1, true, "-12.3"},
        {-0.04, 1, true, "0.0"}, // a rounded zero has no sign
        {0.5, 1, false, ".5"},        {10.5, 1, false, "10.5"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(formatFixed(c.value, c.decimals, c.leadingZero), QString(c.text)) << c.value;
}

} // namespace
