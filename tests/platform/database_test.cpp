#include "platform/database.h"
#include "platform/passwords.h"
#include "support/test_services.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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
                            {"Memo", adLongVarWChar, 0, QVariant()},
                            {"Real", adDouble, 0, QVariant()}},
                           "ID"});
    }
    int count() { return conn->scalar("SELECT count(*) FROM TThing").toInt(); }
    QTemporaryDir dir;
    QString path = dir.path() + "/t.MDB";
    ConnectionPtr conn;
};

TEST_F(DatabaseTest, FileIsUnreadableWithoutItsKey) {
    conn->close();
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_FALSE(f.readAll().contains("TThing"));
    // The errors a user can meet read in Japanese, with the engine's words after them.
    try {
        Connection::open(path, "WRONG");
        ADD_FAILURE() << "opened with a wrong key";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number, 26);
        EXPECT_TRUE(e.description.startsWith("データベースファイルを開けません。パスワードが違うか、"));
    }
    EXPECT_NO_THROW(Connection::open(path, kProgramPassword));
    try {
        Connection::open(dir.path() + "/missing.MDB", kProgramPassword);
        ADD_FAILURE() << "opened a missing file";
    } catch (const RuntimeError& e) {
        EXPECT_TRUE(e.description.startsWith("データベースファイルを開けません。ファイルまたはフォルダ"));
    }
}

TEST_F(DatabaseTest, ColumnsReportTheirClassicTypeNumbers) {
    QList<int> types;
    for (const ColumnInfo& c : conn->columns("TThing"))
        types << c.type;
    EXPECT_EQ(types, (QList<int>{3, 202, 2, 17, 7, 11, 203, 5}));
    EXPECT_EQ(conn->columns("TThing")[1].size, 50);
    EXPECT_EQ(Recordset(conn, "SELECT * FROM TThing").fieldType("When"), adDate);
    EXPECT_TRUE(conn->tableExists("tthing"));
    conn->dropTable("TThing");
    EXPECT_FALSE(conn->tableExists("TThing"));
}

TEST_F(DatabaseTest, WriteRecordsetAddsChangesAndDeletesRows) {
    const QDateTime when(QDate(2024, 8, 14), QTime(0, 0));
    {
        Recordset rs(conn, "SELECT * FROM TThing WHERE ID=?", {1}, OpenMode::Write);
        ASSERT_TRUE(rs.eof());
        rs.addNew();
        for (auto [col, v] : {std::pair<const char*, QVariant>{"ID", 1},
                              {"Name", QString("歯周")},
                              {"Small", -32768},
                              {"Tiny", 255},
                              {"When", when},
                              {"Flag", true}})
            rs.setValue(col, v);
        rs.update();
        EXPECT_TRUE(rs.value("Memo").isNull()); // unassigned columns read back after the insert
    }
    {
        // A date parameter finds the stored date-time; column names match in any case.
        Recordset rs(conn, "SELECT * FROM TThing WHERE \"When\"=?", {QDate(2024, 8, 14)});
        ASSERT_FALSE(rs.eof());
        EXPECT_EQ(rs.value("name").toString(), QString("歯周"));
        EXPECT_EQ(rs.value("Small").toInt(), -32768);
        EXPECT_EQ(rs.value("Tiny").toInt(), 255);
        EXPECT_EQ(rs.value("When").toDateTime(), when);
        EXPECT_EQ(rs.value("Flag").toBool(), true);
        EXPECT_THROW(rs.value("Nope"), RuntimeError);
        EXPECT_THROW(rs.addNew(), RuntimeError); // a read recordset refuses changes
    }
    EXPECT_THROW(Recordset(conn, "SELECT ID FROM TThing", {}, OpenMode::Write), RuntimeError);
    {
        Recordset rs(conn, "SELECT * FROM TThing", {}, OpenMode::Write);
        rs.setValue("Name", QString("x"));
        rs.update();
        rs.addNew();
        rs.setValue("ID", 2);
        rs.update();
    }
    EXPECT_EQ(conn->scalar("SELECT Name FROM TThing WHERE ID=1").toString(), "x");
    EXPECT_EQ(count(), 2);
    conn->beginTransaction();
    conn->execute("INSERT INTO TThing (ID) VALUES (5)");
    conn->rollback();
    EXPECT_EQ(count(), 2);
    {
        // Deleting every row in the classic loop: delete, then move on.
        Recordset rs(conn, "SELECT * FROM TThing", {}, OpenMode::Write);
        while (!rs.eof()) {
            rs.deleteRow();
            rs.moveNext();
        }
    }
    EXPECT_EQ(count(), 0);
}

} // namespace
