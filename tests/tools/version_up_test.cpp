// The version-update tab's data: contact details in row 0 of TImage and in "Info.txt",
// the updater's replacement by its ".new" file, and the start of the updater.
#include "tools/VersionUp.h"
#include "tools_fixture.h"

using namespace kvr;

using test::writeFile;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

class VersionUpTest : public test::MemberDbTest {
protected:
    db::ConnectionPtr db() { return direct(); }
};

TEST_F(VersionUpTest, ContactRowIsAddedWhenMissingAndReadBack) {
    // The table as shipped, a table without row 0, no table, an older table without the
    // rotation columns.
    const QList<QStringList> setups = {
        {},
        {"DELETE FROM TImage WHERE ID=0"},
        {"DROP TABLE TImage"},
        {"DROP TABLE TImage", "CREATE TABLE TImage (ID INTEGER PRIMARY KEY, PatientID INTEGER, ExamDate TEXT, "
                              "SNo INTEGER, ImgPath1 TEXT, ImgPath2 TEXT, ImgPath3 TEXT, \"UpDate\" TEXT)"},
    };
    for (const QStringList& setup : setups) {
        SCOPED_TRACE(setup.join("; ").toStdString());
        closeAllConnections();
        {
            db::ConnectionPtr c = db();
            if (!c->tableExists("TImage") && !setup.isEmpty()) continue;
            for (const QString& sql : setup)
                c->execute(sql);
        }
        ContactInfo none;
        EXPECT_FALSE(LoadContactInfo(none));
        ASSERT_TRUE(SaveContactInfo({"みなみ歯科医院", "山田 花子", "hanako@example.jp"}));
        ContactInfo back;
        ASSERT_TRUE(LoadContactInfo(back));
        EXPECT_EQ(back.clinic, "みなみ歯科医院");
        EXPECT_EQ(back.person, "山田 花子");
        EXPECT_EQ(back.mail, "hanako@example.jp");
        closeAllConnections();
        db::ConnectionPtr c = db();
        EXPECT_EQ(c->scalar("SELECT COUNT(*) FROM TImage WHERE ID=0").toInt(), 1);
        EXPECT_EQ(c->scalar("SELECT ExamDate FROM TImage WHERE ID=0").toDateTime(),
                  QDateTime(QDate(2024, 8, 14), QTime(0, 0)));
        EXPECT_EQ(c->scalar("SELECT \"UpDate\" FROM TImage WHERE ID=0").toDateTime(), t.clock->current);
        c->execute("DELETE FROM TImage WHERE ID=0");
    }
}

TEST_F(VersionUpTest, InfoFileHasFourAlignedLinesAlsoWithEmptyBoxes) {
    ASSERT_TRUE(SaveContactInfo({}));
    EXPECT_EQ(QString::fromUtf8(readAll(InfoFilePath())),
              "会員番号      ：123456\n病院名        ：\n担当者名      ：\n担当者のE-mail：\n");
    // Each label fills the same width: full-width characters count two columns.
    for (const QString& line : QString::fromUtf8(readAll(InfoFilePath())).split('\n', Qt::SkipEmptyParts)) {
        int columns = 0;
        for (QChar ch : line.left(line.indexOf(QChar(0xFF1A))))
            columns += ch.unicode() < 0x100 ? 1 : 2;
        EXPECT_EQ(columns, 14) << line.toStdString();
    }
    ASSERT_TRUE(SaveContactInfo({"A医院", "B", "c@d"}));
    EXPECT_EQ(QString::fromUtf8(readAll(InfoFilePath())),
              "会員番号      ：123456\n病院名        ：A医院\n担当者名      ：B\n担当者のE-mail：c@d\n");
}

TEST_F(VersionUpTest, UpdaterIsReplacedOnceByItsNewFile) {
    const struct {
        bool old, replacement, replaced;
    } cases[] = {{true, true, true}, {false, true, true}, {true, false, false}, {false, false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "old " << c.old << " new " << c.replacement);
        QFile::remove(UpdaterPath());
        if (c.old) writeFile(UpdaterPath(), "old");
        if (c.replacement) writeFile(UpdaterReplacementPath(), "new");
        EXPECT_EQ(ReplaceUpdater(), c.replaced);
        EXPECT_FALSE(QFile::exists(UpdaterReplacementPath()));
        EXPECT_EQ(readAll(UpdaterPath()), c.replacement ? "new" : c.old ? "old" : "<missing>");
        EXPECT_FALSE(ReplaceUpdater()) << "a second selection changes nothing";
    }
}

TEST_F(VersionUpTest, VersionUpRefusesEmptyBoxesAndAMissingUpdater) {
    const ContactInfo blanks[] = {{"", "b", "c"}, {"a", "　", "c"}, {"a", "b", "  "}, {}};
    writeFile(UpdaterPath(), "x");
    for (const ContactInfo& info : blanks) {
        t.boxes->clear();
        StartVersionUp(info);
        test::expectBox(t, "入力項目に空欄があります。入力してください。", "未入力", MsgIcon::Exclamation);
    }
    EXPECT_TRUE(t.shell->started.isEmpty());

    QFile::remove(UpdaterPath());
    t.boxes->clear();
    StartVersionUp({"a", "b", "c"}); // no updater: a message, and the program goes on
    ASSERT_EQ(t.boxes->shown.size(), 1);
    EXPECT_TRUE(t.boxes->shown[0].text.contains(UpdaterPath()));
    EXPECT_TRUE(t.shell->started.isEmpty());

    writeFile(UpdaterPath(), "x");
    EXPECT_THROW(StartVersionUp({"a", "b", "c"}), ProgramEnded);
    EXPECT_EQ(t.shell->started, QStringList{UpdaterPath()});
}

} // namespace
