// Reading the previous version's database files: a real Jet 4 Access file read with
// libmdb (dates, numbers, memo and text, Japanese text stored plain and compressed) and
// a damaged one refused. The SQLCipher kind's values are checked by the import tests,
// which compare what arrives with the previous file's rows.
#include "data/ADODBMain.h"
#include "data/PreviousVersionDb.h"
#include "support/previous_version_files.h"
#include "support/test_services.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kvr;

namespace {

class PreviousVersionDbTest : public ::testing::Test {
protected:
    void SetUp() override { test::installTestServices(), closeAllConnections(); }
    void TearDown() override { closeAllConnections(); }
    // The DateTest Access file, copied (and optionally given Japanese text); empty without it.
    QString dateTestCopy(bool japanese = false) {
        const QString p = dir.filePath(japanese ? "ja.mdb" : "DateTestDatabase.mdb");
        if (!QFile::exists(test::sharedTestData("DateTestDatabase.mdb"))) return QString();
        EXPECT_TRUE(test::copyDateTestFile(p, japanese));
        return p;
    }
    QTemporaryDir dir;
};

// The import tests refuse files of the other kinds through the import; a file with the
// Access header and nothing behind it must be refused the same way, not crash the reader.
TEST_F(PreviousVersionDbTest, AccessHeaderWithoutPagesIsRefused) {
    QFile f(dir.filePath("broken.mdb"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("\0\1\0\0Standard Jet DB\0", 20) + QByteArray(100, '\0'));
    f.close();
    EXPECT_EQ(detectPreviousFileKind(f.fileName()), PreviousFileKind::Access);
    try {
        openPreviousVersionDb(f.fileName());
        ADD_FAILURE() << "opened";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number, kPreviousNotADatabase);
    }
}

// The expected rows are what `mdb-export -D '%Y-%m-%d' -T '%Y-%m-%d %H:%M:%S'` prints for
// the file. For rows 2-4 mdb-export cannot render the dates (it prints "1900-01-00"); the
// dates there are those of the stored day counts 2958101, -728, -363, 2, -463126,
// -462760 and -462395 (days from 1899-12-30).
TEST_F(PreviousVersionDbTest, AccessFileTablesColumnsAndRows) {
    const QString file = dateTestCopy();
    if (file.isEmpty()) GTEST_SKIP() << "DateTestDatabase.mdb not found in " KVR_SHARED_TESTDATA;
    auto source = openPreviousVersionDb(file);
    ASSERT_EQ(source->kind(), PreviousVersionDb::Kind::Access);
    EXPECT_EQ(source->connection(), nullptr);
    EXPECT_EQ(source->tables(), QStringList{"DateTest"});

    const PreviousTable t = source->readTable("datetest"); // names match without regard to case
    EXPECT_EQ(t.columns,
              (QStringList{"IDCol", "DateTimeCol", "DateCol", "TimeCol", "LongTextCol", "ShortTextCol"}));
    EXPECT_EQ(t.types, (QList<int>{db::adInteger, db::adDate, db::adDate, db::adDate, db::adLongVarWChar,
                                   db::adVarWChar}));
    // ID, the date-time, date and time columns, the long and the short text.
    const QString rows[] = {
        "1|2021-12-02|2021-12-02|2021-12-02|Hello|Hello",
        "2|9999-01-01|9999-01-01|9999-01-01|Year 9999|Year 1999",
        "3|1898-01-01|1899-01-01|1900-01-01|Pre-1900 years|Pre-1900 years",
        "4|0632-01-01|0633-01-01|0634-01-01|Pre-1000 years|Pre-1000 years",
        "5|2021-12-02|2021-12-02|2021-12-02|Escaped new line \\r\\n in field|Escaped new line \\r\\n in field",
        "6|2021-12-02|2021-12-02|2021-12-02|New line\r\nin field|No new line",
    };
    auto row = [](const PreviousTable& t, int r) {
        QStringList f{t.value(r, "IDCol").toString()};
        for (const char* c : {"DateTimeCol", "DateCol", "TimeCol"})
            f << (t.value(r, c).toDateTime().time() == QTime(0, 0) ? t.value(r, c).toDate().toString(Qt::ISODate) : "time?");
        return (f << t.value(r, "LongTextCol").toString() << t.value(r, "ShortTextCol").toString()).join('|');
    };
    ASSERT_EQ(t.rows.size(), std::size(rows));
    for (int r = 0; r < int(std::size(rows)); ++r)
        EXPECT_EQ(row(t, r), rows[r]);
    EXPECT_TRUE(t.value(0, "IDCol").typeId() == QMetaType::Int);
    // Japanese text stored plain (also a memo in the row) and compressed, then two-byte.
    const PreviousTable ja = openPreviousVersionDb(dateTestCopy(true))->readTable("DateTest");
    EXPECT_EQ(row(ja, 2), "3|1898-01-01|1899-01-01|1900-01-01|山田　花子ヤマダ|山田　花子ヤマダ");
    EXPECT_EQ(row(ja, 1), "2|9999-01-01|9999-01-01|9999-01-01|Year 9999|No. 歯周");
    EXPECT_FALSE(t.value(0, "NoSuchColumn").isValid());
}

} // namespace
