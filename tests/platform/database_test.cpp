#include "platform/database.h"
#include "platform/passwords.h"
#include "platform/single_instance.h"
#include "support/test_services.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include <cstring>

using namespace kvr;
using namespace kvr::db;

namespace {

class DatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        conn = Connection::create(path, kProgramPassword);
        conn->createTable({"TThing",
                           {{"ID", adInteger, 0, 0},
                            {"Name", adVarWChar, 50, QString("")},
                            {"Small", adSmallInt, 0, 0},
                            {"Tiny", adUnsignedTinyInt, 0, 0},
                            {"When", adDate, 0, QVariant()},
                            {"Flag", adBoolean, 0, false},
                            {"Memo", adLongVarWChar, 0, QVariant()}},
                           "ID"});
    }
    QTemporaryDir dir;
    QString path = dir.path() + "/t.MDB";
    ConnectionPtr conn;
};

// The message of the error opening path with key raises.
QString openError(const QString& path, const char* key) {
    try {
        Connection::open(path, key);
    } catch (const RuntimeError& e) {
        return QString::number(e.number) + " " + e.description;
    }
    return "opened";
}

TEST_F(DatabaseTest, FileIsUnreadableWithoutItsKey) {
    conn->close();
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_FALSE(f.readAll().contains("TThing"));
    // The errors a user can meet read in Japanese, with the engine's words after them.
    EXPECT_TRUE(openError(path, "WRONG").startsWith("26 データベースファイルを開けません。パスワードが違うか、"));
    EXPECT_EQ(openError(path, kProgramPassword), "opened");
    EXPECT_TRUE(openError(dir.path() + "/missing.MDB", kProgramPassword)
                    .contains("データベースファイルを開けません。ファイルまたはフォルダ"));
}

// Every column type the program stores comes back as written: a short integer's sign, a
// byte's top bit, a yes/no value, a date-time, a column that was not assigned.
TEST_F(DatabaseTest, EveryColumnTypeIsStoredAndReadBackUnchanged) {
    const QDateTime when(QDate(2024, 8, 14), QTime(0, 0));
    {
        Recordset rs(conn, "SELECT * FROM TThing WHERE ID=?", {1}, OpenMode::Write);
        ASSERT_TRUE(rs.eof());
        rs.addNew();
        for (auto [col, v] : {std::pair<const char*, QVariant>{"ID", 1}, {"Name", QString("歯周")}, {"Small", -32768},
                              {"Tiny", 255}, {"When", when}, {"Flag", true}})
            rs.setValue(col, v);
        rs.update();
        EXPECT_TRUE(rs.value("Memo").isNull()); // unassigned columns read back after the insert
    }
    // A date parameter finds the stored date-time; column names match in any case.
    Recordset rs(conn, "SELECT * FROM TThing WHERE \"When\"=?", {QDate(2024, 8, 14)});
    ASSERT_FALSE(rs.eof());
    EXPECT_EQ(QVariantList({rs.value("name").toString(), rs.value("Small").toInt(), rs.value("Tiny").toInt(),
                            rs.value("When").toDateTime(), rs.value("Flag").toBool()}),
              QVariantList({QString("歯周"), -32768, 255, when, true}));
}

} // namespace

// ------------------------------------------------------------------ cursors, statements, dates, pages

TEST(DatabaseDates, StoredFormsReadAsLocalTimes) {
    const std::pair<const char*, QDateTime> cases[] = {
        {"2024-08-14 16:30:05", QDateTime(QDate(2024, 8, 14), QTime(16, 30, 5))},
        {"2024-02-29", QDateTime(QDate(2024, 2, 29), QTime(0, 0))},
        {"2024-08-14T16:30:05", QDateTime(QDate(2024, 8, 14), QTime(16, 30, 5))},
        {"1753-01-01 00:00:00", QDateTime(QDate(1753, 1, 1), QTime(0, 0))},
        {"2023-02-29 10:00:00", QDateTime()}, // no such day
        {"2024-13-01 10:00:00", QDateTime()},
        {"2024-08-14 25:00:00", QDateTime(QDate(2024, 8, 14), QTime(0, 0))}, // the day alone
        {"", QDateTime()},
    };
    for (auto [text, expected] : cases) {
        EXPECT_EQ(dateFromDb(QString::fromLatin1(text)), expected) << text;
        EXPECT_EQ(dateFromDb(text, int(strlen(text))), expected) << text;
        EXPECT_TRUE(!expected.isValid() || dateFromDb(text, int(strlen(text))).timeSpec() == Qt::LocalTime);
    }
}

TEST(DatabasePages, NewFilesHaveLargePagesAndOldSmallPageFilesStillOpen) {
    QTemporaryDir dir;
    const QString fresh = dir.filePath("new.MDB");
    Connection::create(fresh, kProgramPassword)->execute("CREATE TABLE T (A INTEGER)");
    EXPECT_EQ(Connection::open(fresh, kProgramPassword)->scalar("PRAGMA page_size").toInt(),
              kNewDatabasePageSize);

    // Files of older versions have 1 KiB pages; sizes that are and are not a multiple of 4 KiB.
    for (int rows : {3, 40}) {
        const QString old = dir.filePath(QString("old%1.MDB").arg(rows));
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(old).constData(), &raw), SQLITE_OK);
        sqlite3_key(raw, kProgramPassword, int(strlen(kProgramPassword)));
        sqlite3_exec(raw, "PRAGMA cipher_page_size=1024; CREATE TABLE T (A TEXT)", nullptr, nullptr, nullptr);
        for (int i = 0; i < rows; ++i)
            sqlite3_exec(raw, "INSERT INTO T VALUES (hex(randomblob(300)))", nullptr, nullptr, nullptr);
        sqlite3_close(raw);
        ConnectionPtr c = Connection::open(old, kProgramPassword);
        EXPECT_EQ(c->scalar("SELECT count(*) FROM T").toInt(), rows) << QFileInfo(old).size();
        EXPECT_EQ(c->scalar("PRAGMA page_size").toInt(), 1024);
        EXPECT_THROW(Connection::open(old, "wrong"), RuntimeError);
    }
}

// ------------------------------------------------------------------ previous-instance lock

TEST(SingleInstanceTest, OnlyALiveHolderOfTheSameFolderRefusesAStart) {
    QTemporaryDir dir;
    qputenv("XDG_RUNTIME_DIR", dir.path().toUtf8());
    const QString name = SingleInstance::lockNameFor("/opt/kvr-a");
    EXPECT_EQ(name, SingleInstance::lockNameFor("/opt/kvr-a/"));
    // Files left by killed copies: empty, a dead process number, garbage.
    for (const QByteArray& content : {QByteArray(), QByteArray("999999\n"), QByteArray("\x01\x02 junk")}) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
        f.close();
        SingleInstance first(name), second(name), otherFolder(SingleInstance::lockNameFor("/opt/kvr-b"));
        EXPECT_TRUE(first.acquire() && !second.acquire() && otherFolder.acquire()) << content.toStdString();
    }
    EXPECT_TRUE(SingleInstance(name).acquire()); // the holders above have ended
}
