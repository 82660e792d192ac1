// The shell's utilities: file and folder operations with their labelled boxes, the numeric
// input check, the message catalogue, the access log, the status window and number texts.
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
    MsgBoxRequest last() const { return t.boxes->shown.value(t.boxes->shown.size() - 1); } // none: empty
    test::TestServices t;
};

TEST_F(ShellTest, CopyAndRenameReplaceOnlyWhatTheyMayAndKeepTheTargetOnFailure) {
    const QString a = write("a.MDB", "new"), b = write("b.MDB", "old content");
    EXPECT_TRUE(CopyFile(a, b));
    EXPECT_EQ(read(b), "new");
    EXPECT_FALSE(CopyFile(a, a)); // not onto itself
    EXPECT_TRUE(t.boxes->shown.isEmpty());
    EXPECT_FALSE(CopyFile(path("missing.MDB"), b));
    EXPECT_EQ(read(b), "new");
    EXPECT_TRUE(last().text.startsWith("ファイルコピー(CopyFile)でエラーが発生しました。\r\n\r\n<"));

    const QString c = write("c.txt", "c");
    EXPECT_FALSE(RenameFile(c, b)); // only onto a free name
    EXPECT_EQ(read(c) + read(b), "cnew");
    EXPECT_TRUE(RenameFile(c, path("d.txt")));
    EXPECT_EQ(read(path("d.txt")), "c");
    EXPECT_FALSE(QFile::exists(c) || RenameFile(path("nothing.txt"), path("e.txt")));
}

TEST_F(ShellTest, FoldersAreMadeOneLevelDeepCopiedAndDeleted) {
    EXPECT_TRUE(MakeFolder(t.paths->app)); // existing: quiet
    EXPECT_TRUE(MakeFolder(path("new")) && CheckFolder(path("new")));
    EXPECT_TRUE(t.boxes->shown.isEmpty());
    EXPECT_FALSE(MakeFolder(path("a/b"))); // one level only
    EXPECT_TRUE(last().text.contains("\r\n\r\nフォルダ名：" + path("a/b") + "\r\n\r\n<"));
    QDir().mkpath(path("src/inner"));
    write("src/inner/f.txt", "12345");
    EXPECT_TRUE(CopyFolder(path("src"), path("dst/deep"), 1));
    EXPECT_EQ(read(path("dst/deep/inner/f.txt")), "12345");
    EXPECT_TRUE(DeleteFolder(path("dst/")));
    EXPECT_FALSE(CheckFolder(path("dst")));
}

TEST_F(ShellTest, NumericInputRefusesCommasAndLetters) {
    for (auto [input, result] : {std::pair{"   ", 0}, {" １２ ", 0}, {"-1.5e3", 0}, {"1,000", -2}, {"12a", -1}})
        EXPECT_EQ(CheckNumericInput(input), result) << input;
    ASSERT_EQ(t.boxes->shown.size(), 2);
    EXPECT_EQ(t.boxes->shown[0].text, "カンマは使用できません。数値を再入力してください。");
    EXPECT_EQ(last().title + last().text, "再入力入力が間違っています。数値を再入力してください。");
}

// A number without an entry shows its number alone (or, in the catalogue's range, the
// undefined-error text); a confirmation returns the button pressed, the backup warning
// defaulting to Cancel.
TEST_F(ShellTest, CatalogueFallbacksAndAnswers) {
    EXPECT_EQ(ShowMessage(5000), 1);
    EXPECT_EQ(last().title + last().text, "不明のエラー定義されていないエラーが発生しました. [No.5000]");
    EXPECT_EQ(catalogMessage(500).text, " [No.500]");
    t.boxes->answer(MsgResult::Cancel);
    EXPECT_EQ(ShowMessage(1), 2);
    EXPECT_EQ(last().buttons, MsgButtons::OkCancel);
    EXPECT_EQ(ShowMessage(23), 2);
}

TEST_F(ShellTest, AccessLogLinesAndRotation) {
    const QString log = path("Log_Access.txt"), rotated = path("Log_Access_202408141630.txt");
    WriteAccessLog("123456");
    EXPECT_EQ(read(log), "2024/08/14 16:30  123456\r\n");
    write("Log_Access.txt", QByteArray(100000, 'x')); // exactly 100000 bytes: not rotated
    WriteAccessLog("1");
    EXPECT_FALSE(QFile::exists(rotated));
    WriteAccessLog("2"); // above: rotated before the new line
    EXPECT_EQ(read(rotated).size(), 100000 + 21);
    EXPECT_EQ(read(log), "2024/08/14 16:30  2\r\n");
    write("Log_Access.txt", QByteArray(100001, 'y')); // a second rotation in the same minute replaces the first
    WriteAccessLog("3");
    EXPECT_EQ(read(rotated), QByteArray(100001, 'y'));
}

TEST_F(ShellTest, StatusWindowDisplayTimes) {
    // Display time: below 1 is one minute, -1 until the caller closes it, else milliseconds.
    for (auto [time, interval, active] : {std::tuple{0, 60000, true}, {-1, 0, false}, {30, 30, true}}) {
        PFrmMessageS::DisplayTime = time;
        PFrmMessageS w;
        w.show();
        EXPECT_EQ(w.Timer1->isActive(), active) << time;
        EXPECT_EQ(active ? w.Timer1->interval() : 0, interval) << time;
        EXPECT_TRUE(time <= 0 || test::waitUntil([&] { return !w.isVisible(); })) << time; // closes itself
    }
    EXPECT_EQ(PFrmMessageS::DisplayTime, 0); // reset for the next caller
}

// Number texts round half away from zero on the decimal value; printf's "%.1f" rounds
// the binary value half to even and gives "12.2" for 12.25.
TEST(NumberFormatTest, RoundsHalfAwayFromZeroOnTheDecimalValue) {
    const std::tuple<double, int, bool, const char*> cases[] = {
        {12.25, 1, true, "12.3"}, {0.05, 1, true, "0.1"}, {0.15, 1, true, "0.2"}, // binary 0.0500…028, 0.1499…94
        {2.0 / 3.0 * 100, 1, true, "66.7"}, {0.04, 1, true, "0.0"}, {9.95, 1, true, "10.0"},
        {1234.55, 1, true, "1234.6"}, {123456789012.0, 1, true, "123456789012.0"}, {2.675, 2, true, "2.68"},
        {2.5, 0, true, "3"}, {0.4, 0, true, "0"}, {-12.25, 1, true, "-12.3"},
        {-0.04, 1, true, "0.0"}, // a rounded zero has no sign
        {0.5, 1, false, ".5"}, {10.5, 1, false, "10.5"},
    };
    for (auto [value, decimals, leadingZero, text] : cases)
        EXPECT_EQ(formatFixed(value, decimals, leadingZero), QString(text)) << value;
}

} // namespace
