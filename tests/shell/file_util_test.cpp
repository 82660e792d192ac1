#include "shell/FileUtil.h"
#include "support/test_services.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace kvr;

namespace {

class FileUtilTest : public ::testing::Test {
protected:
    void SetUp() override { t = test::installTestServices(); }
    QString path(const QString& name) const { return t.paths->app + "/" + name; }
    QString write(const QString& name, const QByteArray& content) {
        QFile f(path(name));
        f.open(QIODevice::WriteOnly);
        f.write(content);
        return path(name);
    }
    static QByteArray read(const QString& p) {
        QFile f(p);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    test::TestServices t;
};

TEST_F(FileUtilTest, CopyFileReplacesTheTargetAndKeepsItOnFailure) {
    const QString a = write("a.MDB", "new"), b = write("b.MDB", "old content");
    EXPECT_TRUE(CopyFile(a, b));
    EXPECT_EQ(read(b), "new");
    EXPECT_FALSE(QFile::exists(b + ".kvrtmp"));
    EXPECT_FALSE(CopyFile(a, a)); // not onto itself
    EXPECT_TRUE(t.boxes->shown.isEmpty());
    EXPECT_FALSE(CopyFile(path("missing.MDB"), b));
    EXPECT_EQ(read(b), "new");
    ASSERT_EQ(t.boxes->shown.size(), 1);
    EXPECT_TRUE(
        t.boxes->shown[0].text.startsWith("ファイルコピー(CopyFile)でエラーが発生しました。\r\n\r\n<"));
}

TEST_F(FileUtilTest, RenameFileOnlyOntoAFreeName) {
    const QString a = write("a.txt", "a"), b = write("b.txt", "b");
    EXPECT_FALSE(RenameFile(a, b));
    EXPECT_EQ(read(a) + read(b), "ab");
    EXPECT_TRUE(RenameFile(a, path("c.txt")));
    EXPECT_FALSE(QFile::exists(a));
    EXPECT_EQ(read(path("c.txt")), "a");
    EXPECT_FALSE(RenameFile(path("nothing.txt"), path("d.txt")));
}

TEST_F(FileUtilTest, CheckDirMatchesMasksInAnyCase) {
    write("KVR-DB.MDB", "x");
    write("readme.txt", "x");
    const std::pair<QString, QString> cases[] = {
        {path("*.mdb"), "kvr-db.mdb"},      {path("*.MDB"), "kvr-db.mdb"},
        {path("KVR-D?.MDB"), "kvr-db.mdb"}, {path("*.pdf"), ""},
        {path("readme.txt"), "readme.txt"}, {path("other.txt"), ""},
        {path("nofolder/*.mdb"), ""},       {"", ""}};
    for (const auto& [mask, found] : cases)
        EXPECT_EQ(CheckDir(mask), found) << mask;
}

TEST_F(FileUtilTest, FoldersSizesAndNames) {
    EXPECT_TRUE(MakeFolder(t.paths->app)); // existing: quiet
    EXPECT_TRUE(MakeFolder(path("new")));
    EXPECT_TRUE(CheckFolder(path("new")));
    EXPECT_TRUE(t.boxes->shown.isEmpty());
    EXPECT_FALSE(MakeFolder(path("a/b"))); // one level only
    ASSERT_EQ(t.boxes->shown.size(), 1);
    EXPECT_TRUE(t.boxes->shown[0].text.startsWith(
        "フォルダ作成(MakeFolder)でエラーが発生しました。\r\n\r\nフォルダ名：" + path("a/b") + "\r\n\r\n<"));

    QDir().mkpath(path("src/inner"));
    write("src/inner/f.txt", "12345");
    EXPECT_EQ(GetFileSize(path("src/inner/f.txt")), 5);
    EXPECT_EQ(GetFileSize(""), -1);
    EXPECT_EQ(GetFileSize(path("none")), -1);
    EXPECT_TRUE(CopyFolder(path("src"), path("dst/deep"), 1));
    EXPECT_EQ(read(path("dst/deep/inner/f.txt")), "12345");
    EXPECT_TRUE(DeleteFolder(path("dst/")));
    EXPECT_FALSE(CheckFolder(path("dst")));
    EXPECT_EQ(FileNameOf(" /x/y/KVR.INI "), "KVR.INI");
    EXPECT_EQ(FileNameOf("KVR.INI"), "");
}

TEST_F(FileUtilTest, NumericInputChecks) {
    for (const char* ok : {"   ", " １２ ", "-1.5e3", ""})
        EXPECT_EQ(CheckNumericInput(ok), 0) << ok;
    EXPECT_TRUE(t.boxes->shown.isEmpty());
    EXPECT_EQ(CheckNumericInput("1,000"), -2);
    ASSERT_EQ(t.boxes->shown.size(), 1);
    EXPECT_EQ(t.boxes->shown[0].text, "カンマは使用できません。数値を再入力してください。");
    EXPECT_EQ(t.boxes->shown[0].title, "再入力");
    EXPECT_EQ(t.boxes->shown[0].icon, MsgIcon::Critical);
    EXPECT_EQ(CheckNumericInput("12a"), -1);
    EXPECT_EQ(t.boxes->shown[1].text, "入力が間違っています。数値を再入力してください。");
    EXPECT_EQ(CountCommas(QVariant()), 0);
    EXPECT_EQ(CountCommas(QString("a,b,,c")), 3);
    EXPECT_EQ(RemoveControlChars(QString(" a\tb\r\n ")), "ab");
    EXPECT_EQ(RemoveControlChars(QVariant()), "");
    EXPECT_EQ(toHalfWidth("１２３４５６　ＡＢ"), "123456 AB");
}

TEST_F(FileUtilTest, AgeShellAndWait) {
    t.clock->current = QDateTime(QDate(2024, 8, 14), QTime(9, 0));
    EXPECT_EQ(CalcAge(QDate(1980, 8, 14)), 44); // the birthday itself counts
    EXPECT_EQ(CalcAge(QDate(1980, 8, 15)), 43);
    EXPECT_EQ(CalcAge(QDate(1980, 1, 1)), 44);
    EXPECT_TRUE(ShellAndWait("/nonexistent/program")); // true reports a start failure only
    EXPECT_FALSE(ShellAndWait("true"));
}

} // namespace
