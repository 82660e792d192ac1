// Reading the previous version's database files: the kind told by the first bytes, a
// real Jet 4 Access file read with libmdb (dates, numbers, memo and text, Japanese text
// stored plain and compressed) and the refusals. The SQLCipher kind's values are
// checked by the import tests, which compare what arrives with the previous file's rows.
#include "data/ADODBMain.h"
#include "data/PreviousVersionDb.h"
#include "support/previous_version_files.h"
#include "support/test_services.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kvr;

namespace {

class PreviousVersionDbTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::installTestServices();
        closeAllConnections();
        ASSERT_TRUE(dir.isValid());
    }
    void TearDown() override { closeAllConnections(); }
    QString path(const QString& name) const { return dir.filePath(name); }
    // The DateTest Access file, copied (and optionally given Japanese text).
    QString dateTestCopy(bool japanese = false) {
        const QString p = path(japanese ? "ja.mdb" : "DateTestDatabase.mdb");
        if (!QFile::exists(test::sharedTestData("DateTestDatabase.mdb"))) return QString();
        EXPECT_TRUE(test::copyDateTestFile(p, japanese));
        return p;
    }
    QTemporaryDir dir;
};

#define REQUIRE_DATE_TEST(p)                                                                                  \
    if ((p).isEmpty()) GTEST_SKIP() << "DateTestDatabase.mdb not found in " KVR_SHARED_TESTDATA

// Each file's kind by its first bytes, and whether it opens as a previous-version database.
TEST_F(PreviousVersionDbTest, KindByFirstBytesAndRefusals) {
    const QString access = dateTestCopy();
    REQUIRE_DATE_TEST(access);
    test::PreviousVersionFile(path("keyed.db")).close();
    test::PreviousVersionFile(path("member-key.db"), kProgramPassword).close();
    db::Connection::create(path("plain.db"), "")->execute("CREATE TABLE TPatient (ID INTEGER)");
    auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    write("notes.mdb", QByteArray(4096, 'x'));
    write("broken.mdb", QByteArray("\0\1\0\0Standard Jet DB\0", 20) + QByteArray(100, '\0'));

    const struct {
        QString file;
        PreviousFileKind kind;
        bool opens;
    } cases[] = {
        {access, PreviousFileKind::Access, true},
        {path("keyed.db"), PreviousFileKind::Encrypted, true},
        {path("member-key.db"), PreviousFileKind::Encrypted, false}, // another password
        {path("plain.db"), PreviousFileKind::Sqlite, false},
        {path("notes.mdb"), PreviousFileKind::Encrypted, false},
        {path("broken.mdb"), PreviousFileKind::Access, false}, // a Jet header and nothing else
        {path("none.mdb"), PreviousFileKind::Missing, false},
        {dir.path(), PreviousFileKind::Missing, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(detectPreviousFileKind(c.file), c.kind) << c.file.toStdString();
        try {
            auto source = openPreviousVersionDb(c.file);
            EXPECT_TRUE(c.opens) << c.file.toStdString() << " was opened";
            // A table the file does not have.
            EXPECT_THROW(
                try { source->readTable("TClinic"); } catch (const RuntimeError& e) {
                    EXPECT_EQ(e.number, kPreviousTableMissing);
                    throw;
                },
                RuntimeError);
        } catch (const RuntimeError& e) {
            EXPECT_FALSE(c.opens) << c.file.toStdString();
            EXPECT_EQ(e.number, kPreviousNotADatabase) << c.file.toStdString();
        }
    }
}

// The expected rows are what `mdb-export -D '%Y-%m-%d' -T '%Y-%m-%d %H:%M:%S'` prints for
// the file. For rows 2-4 mdb-export cannot render the dates (it prints "1900-01-00"); the
// dates there are those of the stored day counts 2958101, -728, -363, 2, -463126,
// -462760 and -462395 (days from 1899-12-30).
TEST_F(PreviousVersionDbTest, AccessFileTablesColumnsAndRows) {
    const QString file = dateTestCopy();
    REQUIRE_DATE_TEST(file);
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
