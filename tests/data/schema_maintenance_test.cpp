// Start-up maintenance: master-list refresh, old-format conversion, item-3 upgrade,
// image table check, sample-patient refresh and the silent retry of the table routines.
#include "data/CImage.h"
#include "data/SchemaMaintenance.h"
#include "exam/CExamData.h"
#include "member_db_fixture.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <random>

using namespace kvr;

namespace {

using test::writeText;

class MaintenanceTest : public test::MemberDbTest {
protected:
    QString text(const QString& sql) { return scalar(sql).toString(); }
    int number(const QString& sql) { return scalar(sql).toInt(); }
    QString baseFile() const { return app().MemberFolder + "/KVR-DB.MDB"; }
    QString datedCopy() const { return app().MemberFolder + "/KVR-DB_20240814_1630.mdb"; }
};

// ------------------------------------------------------------------ master list

// Each entry as "IDLG IDSG SeqNo name comment", then the header date; "unreadable" when
// the bytes are in no known encoding.
QString entries(const MasterFile& m) {
    if (!m.readable) return "unreadable";
    QStringList out;
    for (const MasterLine& l : m.lines)
        out << QString("%1 %2 %3 %4 %5").arg(l.IDLG).arg(l.IDSG).arg(l.SeqNo).arg(l.SGName, l.SGComment);
    return out.join(';') + " @" + (m.date == NoDate() ? "none" : m.date.toString(Qt::ISODate));
}

TEST(MasterFileTest, EveryEntryAndTheHeaderDateAreReadInEachFormTheListIsSavedIn) {
    EXPECT_EQ(SplitMasterLine(R"( 5 , 10 ,10, "10 脂肪肝（A、B）, x" ,病名)"),
              (QStringList{"5", "10", "10", "10 脂肪肝（A、B）, x", "病名"}));
    EXPECT_EQ(SplitMasterLine("1,2,3,4,5,6,7,8,9,10,11,12,13").size(), 11);
    const QByteArray utf8 = "0,0,0,2024/04/01,マスタ日付\n1,1,1,男性,性別\n";
    const QString usual = "0 0 0 2024/04/01 マスタ日付;1 1 1 男性 性別 @2024-04-01";
    const std::pair<QByteArray, QString> cases[] = {
        {utf8, usual},
        {"\xef\xbb\xbf" + utf8, usual},
        {"0,0,0,2024/04/01,\x83\x7d\x83\x58\x83\x5e\x93\xfa\x95\x74\n1,1,1,\x92\x6a\x90\xab,\x90\xab\x95\xca\n", usual},
        {"0,0,0,2024/04/01,\x81\x20\xff\xfe\x80\n", "unreadable"},
        // Comments, blank lines, a short line, quoted commas and extra fields.
        {"' comment\r\n\r\n   \n0,0,0,2024/08/01,日付\n1,0,1,男性\n1,1,2,女性,性別\n  ' indented\n2,1,1,\"a,b\",c,extra\n",
         "0 0 0 2024/08/01 日付;1 1 2 女性 性別;2 1 1 a,b c @2024-08-01"},
        {"1,1,2,女性,性別\n0,0,0,,\n", "1 1 2 女性 性別;0 0 0   @none"}, // no header date
    };
    QTemporaryDir dir;
    for (const auto& [bytes, expected] : cases) {
        QFile f(dir.filePath("TMaster.txt"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();
        EXPECT_EQ(entries(ReadMasterFile(f.fileName())), expected) << bytes.toStdString();
    }
    // A mark still in the text (as the clipboard or another reader hands it over).
    EXPECT_EQ(entries(ParseMasterText(QChar(0xFEFF) + QString("1,1,2,女性,性別\n"))), "1 1 2 女性 性別 @none");
}

TEST_F(MaintenanceTest, MasterListIsRebuiltOnlyWhenItsDateDiffers) {
    EXPECT_EQ(TheMaster().CheckTable(), 0); // without the file nothing happens
    EXPECT_EQ(number("SELECT count(*) FROM TMaster"), 0);
    // One start each: the list's header line, whether the table is rebuilt, its rows after.
    const std::tuple<QByteArray, bool, int> starts[] = {
        {"0,0,0,2024/08/01,日付", true, 4}, {"0,0,0,2024/08/01,日付", false, 4}, // same date: untouched
        {"0,0,0,2024/08/02,日付", true, 4},                                      // one day later
        {"0,0,0,2024/08/01,日付", true, 4},                                      // an earlier date as well
        {"0,0,0,2024/5/1,日付", true, 4}, {"0,0,0,2024/5/1,日付", false, 4},     // a date without zeros
        {"' no header line", true, 3}, // without a header row: at every start
        {"' no header line", true, 3},
        {"0,0,0,2030/01/01,\xff\xfe\x81\x20", false, 3}, // unknown encoding: left as it is
    };
    for (const auto& [header, rebuilt, rows] : starts) {
        direct()->execute("UPDATE TMaster SET SGName='tampered' WHERE IDLG>0");
        QFile f(appFolder() + "/TMaster.txt");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(header + "\n1,0,1,男性,性別\n1,1,2,女性,性別\n3,0,1,なし,喫煙歴\n");
        f.close();
        ASSERT_EQ(TheMaster().CheckTable(), 0);
        EXPECT_EQ(number("SELECT count(*) FROM TMaster WHERE SGName='tampered'") == 0, rebuilt) << header.data();
        EXPECT_EQ(number("SELECT count(*) FROM TMaster"), rows) << header.data();
    }
    EXPECT_TRUE(t.boxes->shown.isEmpty());
    EXPECT_EQ(slot(Slot::Member).open, 0);
}

TEST_F(MaintenanceTest, FailingStatementRetriesSilentlyThenShowsTheLabelledBox) {
    // Creating a table that exists fails every time; Retry fails again at once.
    t.boxes->answer(MsgResult::Retry);
    t.boxes->answer(MsgResult::Cancel);
    EXPECT_NE(TheMaster().CreateTable("TMaster"), 0);
    EXPECT_EQ(t.waits->waits, 10);
    EXPECT_EQ(t.waits->totalWaited, 10000);
    ASSERT_EQ(t.boxes->shown.size(), 2);
    const MsgBoxRequest& box = t.boxes->shown[0];
    EXPECT_TRUE(box.text.startsWith("<1> ") && box.text.endsWith("\r\n\r\nテーブル作成エラー（TMaster）"));
    EXPECT_EQ(box.buttons, MsgButtons::RetryCancel);
    EXPECT_EQ(slot(Slot::Member).open, 0);
    EXPECT_EQ(TheMaster().DeleteTable("TNoSuchTable"), 0); // a missing table counts as dropped
}

// ------------------------------------------------------------------ old-format conversion

class ConversionTest : public MaintenanceTest {
protected:
    // Replaces the member database with an old-format one and puts the previous base
    // database beside it.
    void makeOldFormatMember(bool withExams) {
        closeAllConnections();
        QFile::remove(memberPath());
        test::WriteOldFormatDb(memberPath(), withExams);
        writeText(baseFile(), "previous base database");
    }
};

TEST_F(ConversionTest, OldDatabaseIsImportedIntoAFreshTemplate) {
    makeOldFormatMember(true);
    ASSERT_TRUE(QFile::rename(baseFile(), baseFile() + ".away"));
    EXPECT_FALSE(ThePatient().CheckOldFormat()); // without the base file it counts as current
    ASSERT_TRUE(QFile::rename(baseFile() + ".away", baseFile()));
    ASSERT_TRUE(ThePatient().CheckOldFormat());
    EXPECT_EQ(ThePatient().CheckTable(), 0);
    ASSERT_EQ(t.boxes->shown.size(), 1);
    EXPECT_EQ(t.boxes->shown[0].title + t.boxes->shown[0].text, "変換完了旧形式のデータベースを最新形式に変換しました。");
    EXPECT_TRUE(QFileInfo::exists(datedCopy()));
    EXPECT_FALSE(ThePatient().CheckOldFormat()); // now current

    // Patients up to 30 with text birthdays and 1/0 sexes beside the template's samples;
    // examinations get new keys and their stage label as comment (stage code 7 has none).
    EXPECT_EQ(test::rowsText(direct(), {"SELECT ID, BirthDay, Sex, TEL FROM TPatient ORDER BY ID",
                                        "SELECT ID, Comment, Data1, Bui FROM TExamData WHERE PatientID<90 ORDER BY ID"}),
              "1|1960/05/06|1|\n2||0|03\n98|1965/03/18|0|\n99|1980/11/02|1|\n"
              "10000000|基本治療終了時|  3  4|-32768\n10000001|||");
}

TEST_F(ConversionTest, FailedConversionRestoresTheOldFileByteForByte) {
    makeOldFormatMember(false); // no TExamData: the import fails
    const QByteArray before = hashOf(memberPath());
    EXPECT_NE(ThePatient().CheckTable(), 0);
    EXPECT_EQ(hashOf(memberPath()), before);
    EXPECT_EQ(hashOf(datedCopy()), before);
    ASSERT_EQ(t.boxes->shown.size(), 1);
    EXPECT_EQ(t.boxes->shown[0].title, "変換エラー");
    EXPECT_EQ(slot(Slot::Member).open, 0);
    EXPECT_EQ(slot(Slot::Import).open, 0);
}

// ------------------------------------------------------------------ item-3 upgrade

// Rows of every shape the upgrade may meet: one with an implant, a pontic and an empty
// second cell, random cells and status words, and stored texts that read as "no value"
// without being "128" or that are not in the usual shape. Afterwards no item-3 row needs
// work, a row that needed none keeps its text, and the stamped version makes the next
// start do nothing.
TEST_F(MaintenanceTest, ItemThreeUpgradeFindsEveryRowThatNeedsWork) {
    OpenMemberDbHold();
    db::ConnectionPtr c = memberConn();
    EnsureExamIndexes(c);
    db::Recordset w(c, "SELECT * FROM TExamData WHERE ID=-1", {}, db::OpenMode::Write);
    std::mt19937 rng(7);
    for (int id = 999; id < 1200; ++id) {
        CExamData e;
        e.ClearBuffer();
        e.ID = id, e.PatientID = 1 + id % 30, e.SubExam = id % 4 == 0 ? 2 : 3;
        for (int t = 0; id > 999 && t < kTeeth; ++t) {
            const unsigned r = rng() % 40;
            e.setNBui(t, r == 0 ? kImplant : r == 1 ? kPontic : r == 2 ? kMissingTooth | kImplant : 0);
            e.setBData(t, rng() % 30 == 0 ? std::uint8_t(rng() % 4) : kNoValue);
            e.setBData(t + 48, rng() % 200 == 0 ? kNoValue : std::uint8_t(rng() % 16)); // a few empty
        }
        if (id == 999) { // implant with a value, examined tooth with an empty second cell, pontic
            e.setNBui(5, kImplant), e.setBData(5, 3), e.setBData(6, 2), e.setNBui(8, kPontic);
        }
        w.addNew();
        e.RecSetPut(w);
        w.update();
    }
    w.close();
    const QString blank(144, ' '), filled = QString(" 15").repeated(48);
    // id, Data2 (the second-pass cells 48-79 are its first 96 characters), Data1
    const std::tuple<int, QString, QString> odd[] = {
        {2001, "384" + filled.mid(3), filled},                    // reads as 128
        {2002, filled.left(93) + "896" + filled.mid(96), filled}, // last second cell
        {2003, filled, filled.left(143)},                         // short text
        {2004, QString(), filled},                                // no text
        {2005, filled, filled},                                   // nothing to do
    };
    for (const auto& [id, data2, data1] : odd)
        c->execute("INSERT INTO TExamData (ID, PatientID, SubExam, Data1, Data2, Data3, Data4, Bui) "
                   "VALUES (?, 3, 3, ?, ?, ?, ?, ?)",
                   {id, data1, data2.isNull() ? QVariant() : QVariant(data2), blank, blank, QString("     0").repeated(32)});
    const QString untouched = "SELECT group_concat(ID||Data1||Data2, ';') FROM (SELECT * FROM TExamData "
                              "WHERE ID IN (2005) OR SubExam<>3 ORDER BY ID)";
    const QString before = c->scalar(untouched).toString();
    // The upgrade's query reads the partial index, not the table.
    db::Recordset plan(c, "EXPLAIN QUERY PLAN SELECT * FROM TExamData WHERE " + ExamItem3WorkCondition());
    EXPECT_TRUE(plan.value("detail").toString().contains("ExamDataItem3Work")) << plan.value(3).toString().toStdString();
    plan.close();
    CloseMemberDbForce();

    EXPECT_GT(UpgradeExamItem3(), 5);
    OpenMemberDbHold();
    c = memberConn();
    int checked = 0;
    for (db::Recordset rs(c, "SELECT * FROM TExamData WHERE SubExam=3"); !rs.eof(); rs.moveNext(), ++checked) {
        CExamData e;
        e.RecSetGet(rs);
        if (e.ID == 999) { // first cell, second cell: implant, examined tooth, unexamined tooth, pontic
            EXPECT_EQ(QList<int>({e.bData(5), e.bData(5 + 48), e.bData(6), e.bData(6 + 48), e.bData(7 + 48),
                                  e.bData(8 + 48)}),
                      QList<int>({kNoValue, 15, 2, 0, 15, 15}));
        }
        for (int t = 0; t < kTeeth; ++t) {
            ASSERT_NE(e.bData(t + 48), kNoValue) << "row " << e.ID << " tooth " << t;
            ASSERT_FALSE((e.nBui(t) & (kImplant | kPontic)) && e.bData(t) != kNoValue) << "row " << e.ID;
        }
    }
    EXPECT_GT(checked, 150);
    EXPECT_EQ(c->scalar(untouched).toString(), before);
    EXPECT_EQ(c->scalar("SELECT Major*10000+Minor*1000+Revision FROM TVersion WHERE ID=1").toInt(), 10001);
    CloseMemberDbForce();
    EXPECT_EQ(UpgradeExamItem3(), 0);
}

// ------------------------------------------------------------------ image table

// (A missing table is made by the first save of the contact details: VersionUpTest.)
TEST_F(MaintenanceTest, OlderImageTableIsRebuiltKeepingItsRows) {
    auto c = direct();
    CImage img;
    c->execute("DROP TABLE TImage");
    c->execute("CREATE TABLE TImage (ID INTEGER NOT NULL PRIMARY KEY, PatientID INTEGER, ExamDate DATETIME, "
               "ImgPath1 VARCHAR(200), ImgPath3 VARCHAR(200), ReverseUD1 SMALLINT)");
    c->execute("INSERT INTO TImage VALUES (0, 0, '2024-01-02 00:00:00', '医院', 'a@b.jp', 1), "
               "(10, 4, NULL, 'x.jpg', '', 0)");
    c->close();
    EXPECT_EQ(img.GetStatusTable(), 1);
    EXPECT_EQ(img.CheckTable(), 0);
    EXPECT_EQ(img.GetStatusTable(), 0);
    EXPECT_FALSE(direct()->tableExists("TImageWork"));
    // Both rows kept, the new columns 0.
    EXPECT_EQ(
        text("SELECT ImgPath1||'|'||ifnull(ImgPath2,'')||'|'||ImgPath3||'|'||ReverseUD1||'|'||ExamDate||'|'||"
             "Rotate1||Rotate9 FROM TImage WHERE ID=0"),
        "医院||a@b.jp|1|2024-01-02 00:00:00|00");
    EXPECT_EQ(text("SELECT ImgPath1||Rotate1 FROM TImage WHERE ID=10"), "x.jpg0");
}

// ------------------------------------------------------------------ sample patients

TEST_F(MaintenanceTest, SamplePatientsAreReplacedOnlyWithTheMarkerAndOnlyOnce) {
    const QString marker = appFolder() + "/UpdateSample.txt";
    const int templateRows = number("SELECT count(*) FROM TExamData WHERE PatientID IN (98,99)");
    auto c = direct();
    c->execute("UPDATE TPatient SET Name='changed' WHERE ID=98");
    c->execute("DELETE FROM TExamData WHERE PatientID=99 AND \"Row\"=0");
    c->execute("UPDATE TExamData SET PatientID=5 WHERE ID=1"); // a member row holding a template key
    c->close();
    EXPECT_TRUE(RefreshSamplePatients());
    EXPECT_EQ(text("SELECT Name FROM TPatient WHERE ID=98"), "changed");

    writeText(marker, "");
    EXPECT_TRUE(RefreshSamplePatients());
    EXPECT_FALSE(QFileInfo::exists(marker));
    EXPECT_EQ(text("SELECT Name FROM TPatient WHERE ID=98"), "見本　太郎");
    EXPECT_EQ(number("SELECT count(*) FROM TExamData WHERE PatientID IN (98,99)"), templateRows);
    EXPECT_EQ(number("SELECT PatientID FROM TExamData WHERE ID=1"), 5);
    EXPECT_EQ(number("SELECT PatientID FROM TExamData WHERE ID=10000000"), 98);
    EXPECT_EQ(slot(Slot::Member).open, 0);
    EXPECT_EQ(slot(Slot::Template).open, 0);
}

} // namespace
