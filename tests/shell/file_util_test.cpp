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
    QString write(const QString& name, const QByteArray& content) {
        const QString p = t.paths->app + "/" + name;
        QFile f(p);
        f.open(QIODevice::WriteOnly);
        f.write(content);
        return p;
    }
    test::TestServices t;
};

TEST_F(FileUtilTest, CopyFileReplacesTargetAndRefusesCopyOntoItself) {
    const QString a = write("a.MDB", "new"), b = write("b.MDB", "old content");
    EXPECT_TRUE(CopyFile(a, b));
    QFile f(b);
    f.open(QIODevice::ReadOnly);
    EXPECT_EQ(f.readAll(), "new");
    EXPECT_FALSE(QFile::exists(b + ".kvrtmp"));
    EXPECT_FALSE(CopyFile(a, a));
    EXPECT_TRUE(t.boxes->shown.isEmpty());
}

TEST_F(FileUtilTest, CopyFileOfMissingSourceShowsLabelledBoxAndKeepsTarget) {
    const QString b = write("b.MDB", "keep");
    EXPECT_FALSE(CopyFile(t.paths->app + "/missing.MDB", b));
    ASSERT_EQ(t.boxes->shown.size(), 1);
    EXPECT_TRUE(
        t.boxes->shown[0].text.startsWith("ファイルコピー(CopyFile)でエラーが発生しました。\r\n\r\n<"));
    QFile f(b);
    f.open(QIODevice::ReadOnly);
    EXPECT_EQ(f.readAll(), "keep");
}

TEST_F(FileUtilTest, RenameFileOnlyOntoAFreeName) {
    const QString a = write("a.txt", "a"), b = write("b.txt", "b");
    EXPECT_FALSE(RenameFile(a, b));
    EXPECT_TRUE(QFile::exists(a));
    EXPECT_TRUE(RenameFile(a, t.paths->app + "/c.txt"));
    EXPECT_FALSE(QFile::exists(a));
    EXPECT_TRUE(QFile::exists(t.paths->app + "/c.txt"));
    EXPECT_FALSE(RenameFile(t.paths->app + "/nothing.txt", t.paths->app + "/d.txt"));
}

TEST_F(FileUtilTest, CheckDirMatchesMasksInAnyCase) {
    write("KVR-DB.MDB", "x");
    write("readme.txt", "x");
    EXPECT_EQ(CheckDir(t.paths->app + "/*.mdb"), "kvr-db.mdb");
    EXPECT_EQ(CheckDir(t.paths->app + "/*.MDB"), "kvr-db.mdb");
    EXPECT_EQ(CheckDir(t.paths->app + "/KVR-D?.MDB"), "kvr-db.mdb");
    EXPECT_EQ(CheckDir(t.paths->app + "/*.pdf"), "");
    EXPECT_EQ(CheckDir(t.paths->app + "/readme.txt"), "readme.txt");
    EXPECT_EQ(CheckDir(t.paths->app + "/other.txt"), "");
    EXPECT_EQ(CheckDir(t.paths->app + "/nofolder/*.mdb"), "");
    EXPECT_EQ(CheckDir(""), "");
}

TEST_F(FileUtilTest, MakeFolderIsQuietForExistingFoldersAndLabelsFailures) {
    EXPECT_TRUE(MakeFolder(t.paths->app));
    EXPECT_TRUE(MakeFolder(t.paths->app + "/new"));
    EXPECT_TRUE(CheckFolder(t.paths->app + "/new"));
    EXPECT_TRUE(t.boxes->shown.isEmpty());
    EXPECT_FALSE(MakeFolder(t.paths->app + "/a/b")); // one level only
    ASSERT_EQ(t.boxes->shown.size(), 1);
    EXPECT_TRUE(t.boxes->shown[0].text.startsWith("フォルダ作成(MakeFolder)でエラーが発生しました。\r\n\r\n"
                                                  "フォルダ名：" +
                                                  t.paths->app + "/a/b\r\n\r\n<"));
}

TEST_F(FileUtilTest, SizesNamesAndFolderCopies) {
    write("a.bin", "12345");
    EXPECT_EQ(GetFileSize(t.paths->app + "/a.bin"), 5);
    EXPECT_EQ(GetFileSize(""), -1);
    EXPECT_EQ(GetFileSize(t.paths->app + "/none"), -1);
    EXPECT_EQ(FileNameOf(" /x/y/KVR.INI "), "KVR.INI");
    EXPECT_EQ(FileNameOf("KVR.INI"), "");
    QDir().mkpath(t.paths->app + "/src/inner");
    write("src/inner/f.txt", "f");
    EXPECT_TRUE(CopyFolder(t.paths->app + "/src", t.paths->app + "/dst/deep", 1));
    EXPECT_TRUE(QFile::exists(t.paths->app + "/dst/deep/inner/f.txt"));
    EXPECT_TRUE(DeleteFolder(t.paths->app + "/dst/"));
    EXPECT_FALSE(CheckFolder(t.paths->app + "/dst"));
}

TEST_F(FileUtilTest, NumericInputChecks) {
    EXPECT_EQ(CheckNumericInput("   "), 0);
    EXPECT_EQ(CheckNumericInput(" １２ "), 0);
    EXPECT_EQ(CheckNumericInput("-1.5e3"), 0);
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

TEST_F(FileUtilTest, AgeCountsTheBirthdayOnTheDayItself) {
    t.clock->current = QDateTime(QDate(2024, 8, 14), QTime(9, 0));
    EXPECT_EQ(CalcAge(QDate(1980, 8, 14)), 44);
    EXPECT_EQ(CalcAge(QDate(1980, 8, 15)), 43);
    EXPECT_EQ(CalcAge(QDate(1980, 1, 1)), 44);
}

TEST_F(FileUtilTest, ShellAndWaitReportsStartFailureOnly) {
    EXPECT_TRUE(ShellAndWait("/nonexistent/program"));
    EXPECT_FALSE(ShellAndWait("true"));
}

} // namespace
