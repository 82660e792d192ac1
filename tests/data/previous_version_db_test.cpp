// Reading the previous version's database files: the kind told by the first bytes, a
// real Jet 4 Access file read with libmdb (dates, numbers, memo and text, Japanese text
// stored plain and compressed), the refusals, and the foreign connection slot holding
// either kind. The SQLCipher kind's values are checked by the import tests, which
// compare what arrives with the previous file's rows.
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

QDateTime at(int y, int m, int d) {
    return QDateTime(QDate(y, m, d), QTime(0, 0));
}

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
    const struct {
        int id;
        QDateTime dateTime, date, time;
        QString longText, shortText;
    } rows[] = {
        {1, at(2021, 12, 2), at(2021, 12, 2), at(2021, 12, 2), "Hello", "Hello"},
        {2, at(9999, 1, 1), at(9999, 1, 1), at(9999, 1, 1), "Year 9999", "Year 1999"},
        {3, at(1898, 1, 1), at(1899, 1, 1), at(1900, 1, 1), "Pre-1900 years", "Pre-1900 years"},
        {4, at(632, 1, 1), at(633, 1, 1), at(634, 1, 1), "Pre-1000 years", "Pre-1000 years"},
        {5, at(2021, 12, 2), at(2021, 12, 2), at(2021, 12, 2), "Escaped new line \\r\\n in field",
         "Escaped new line \\r\\n in field"},
        {6, at(2021, 12, 2), at(2021, 12, 2), at(2021, 12, 2), "New line\r\nin field", "No new line"},
    };
    ASSERT_EQ(t.rows.size(), std::size(rows));
    for (size_t i = 0; i < std::size(rows); ++i) {
        const int r = int(i);
        EXPECT_EQ(t.value(r, "IDCol"), QVariant(rows[i].id)) << "row " << i;
        EXPECT_EQ(t.value(r, "DateTimeCol").toDateTime(), rows[i].dateTime) << "row " << i;
        EXPECT_EQ(t.value(r, "DateCol").toDateTime(), rows[i].date) << "row " << i;
        EXPECT_EQ(t.value(r, "TimeCol").toDateTime(), rows[i].time) << "row " << i;
        EXPECT_EQ(t.value(r, "LongTextCol").toString(), rows[i].longText) << "row " << i;
        EXPECT_EQ(t.value(r, "ShortTextCol").toString(), rows[i].shortText) << "row " << i;
    }
    EXPECT_FALSE(t.value(0, "NoSuchColumn").isValid());
}

TEST_F(PreviousVersionDbTest, AccessFileJapaneseTextPlainAndCompressed) {
    const QString file = dateTestCopy(true);
    REQUIRE_DATE_TEST(file);
    const PreviousTable t = openPreviousVersionDb(file)->readTable("DateTest");
    ASSERT_EQ(t.rows.size(), 6u);
    EXPECT_EQ(t.value(2, "ShortTextCol").toString(), "山田　花子ヤマダ"); // plain UCS-2
    EXPECT_EQ(t.value(2, "LongTextCol").toString(), "山田　花子ヤマダ");  // memo stored in the row
    EXPECT_EQ(t.value(1, "ShortTextCol").toString(), "No. 歯周");         // compressed, then two-byte
    EXPECT_EQ(t.value(1, "LongTextCol").toString(), "Year 9999");         // its neighbour untouched
    EXPECT_EQ(t.value(2, "DateCol").toDateTime(), at(1899, 1, 1));
}

TEST_F(PreviousVersionDbTest, ForeignSlotHoldsEitherKind) {
    const QString access = dateTestCopy();
    REQUIRE_DATE_TEST(access);
    test::PreviousVersionFile(path("prev.db")).close();
    for (const QString& file : {access, path("prev.db")}) {
        setForeignSource(file);
        ASSERT_TRUE(OpenForeignDbHold());
        ASSERT_NE(foreignDb(), nullptr);
        const bool isAccess = file == access;
        EXPECT_EQ(foreignDb()->kind(),
                  isAccess ? PreviousVersionDb::Kind::Access : PreviousVersionDb::Kind::SqlCipher);
        EXPECT_EQ(foreignConn() == nullptr, isAccess);
        EXPECT_TRUE(CloseForeignDbForce());
        EXPECT_EQ(foreignDb(), nullptr);
        EXPECT_EQ(foreignConn(), nullptr);
    }
}

} // namespace
