// Start-up maintenance: master-list refresh, old-format conversion, item-3 upgrade,
// image table check, sample-patient refresh and the silent retry of the table routines.
#include "data/CImage.h"
#include "data/SchemaMaintenance.h"
#include "exam/CExamData.h"
#include "member_db_fixture.h"

#include <QFileInfo>
#include <QTextStream>

using namespace kvr;

namespace {

void writeText(const QString& path, const QString& text) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text.toUtf8());
}

// ------------------------------------------------------------------ list file parsing

TEST(MasterFileTest, SplitsQuotedFieldsAndTrimsTheOthers) {
    EXPECT_EQ(SplitMasterLine(R"( 5 , 10 ,10, "10 脂肪肝（A、B）, x" ,病名)"),
              (QStringList{"5", "10", "10", "10 脂肪肝（A、B）, x", "病名"}));
    EXPECT_EQ(SplitMasterLine("0,0,0,2024/08/01,"), (QStringList{"0", "0", "0", "2024/08/01", ""}));
    EXPECT_EQ(SplitMasterLine("1,2,3,4,5,6,7,8,9,10,11,12,13").size(), 11);
}

TEST(MasterFileTest, SkipsCommentsAndShortLinesAndReadsTheHeaderDate) {
    MasterFile f = ParseMasterText(
        QString(QChar(0xFEFF)) + "' comment\r\n\r\n   \n0,0,0,2024/08/01,日付\n1,0,1,男性\n1,1,2,女性,性別\n"
                                 "  ' indented comment\n2,1,1,\"a,b\",c,extra\n");
    ASSERT_EQ(f.lines.size(), 3); // "1,0,1,男性" has four fields
    EXPECT_EQ(f.date, QDate(2024, 8, 1));
    EXPECT_EQ(f.lines[0].SGName, "2024/08/01");
    EXPECT_EQ(f.lines[1].SGName, "女性");
    EXPECT_EQ(f.lines[2].SGName, "a,b");
    EXPECT_EQ(ParseMasterText("1,1,2,女性,性別\n").date, NoDate());
}

// The master list shipped beside the program: thirty groups with the codes that the
// submission check accepts and the first-entry rules of the screen.
TEST(MasterFileTest, ShippedListHoldsAllGroupsWithTheirCodes) {
    MasterFile f = ReadMasterFile(test::builtAppFolder() + "/TMaster.txt");
    ASSERT_TRUE(f.date.isValid());
    ASSERT_NE(f.date, NoDate());
    QMap<int, QList<MasterLine>> groups;
    for (const MasterLine& m : f.lines)
        if (m.IDLG > 0) groups[m.IDLG] << m;
    ASSERT_EQ(groups.size(), 30);
    ASSERT_EQ(groups.firstKey(), 1);
    ASSERT_EQ(groups.lastKey(), 30);
    auto codes = [&](int g) {
        QList<MasterLine> lines = groups[g];
        std::sort(lines.begin(), lines.end(), [](auto& a, auto& b) { return a.SeqNo < b.SeqNo; });
        QList<int> out;
        for (const MasterLine& m : lines)
            if (m.SGName != "未選択") out << m.IDSG;
        const bool boxesOrGuidance = QList<int>{2, 5, 7, 14, 27, 28, 29}.contains(g);
        EXPECT_EQ(lines.last().SGName == "未選択", !boxesOrGuidance) << g;
        return out;
    };
    EXPECT_EQ(codes(1), (QList<int>{0, 1}));
    EXPECT_EQ(codes(3), (QList<int>{0, 1, 2, 3})); // code 0 first
    for (int g : {4, 6, 26})
        EXPECT_EQ(codes(g), (QList<int>{0, 1})) << g;
    EXPECT_EQ(codes(30), (QList<int>{1, 2, 3})); // code 1 first
    for (int g : {22, 23})
        EXPECT_EQ(codes(g), (QList<int>{1, 2})) << g;
    EXPECT_EQ(codes(24), (QList<int>{1, 2, 3, 4}));
    EXPECT_EQ(codes(25), (QList<int>{1, 2, 3}));
    for (auto [g, n] : {std::pair{2, 10}, {5, 22}, {7, 12}, {14, 5}}) {
        QList<int> expected;
        for (int i = 1; i <= n; ++i)
            expected << i;
        EXPECT_EQ(codes(g), expected) << g;
    }
    for (int g = 1; g <= 30; ++g)
        EXPECT_FALSE(codes(g).isEmpty()) << g;
}

// ------------------------------------------------------------------ master refresh

class MasterRefreshTest : public test::MemberDbTest {
protected:
    void writeList(const QString& header) {
        writeText(appFolder() + "/TMaster.txt",
                  header + "\n1,0,1,男性,性別\n1,1,2,女性,性別\n3,0,1,なし,喫煙歴\n");
    }
    int rows() { return scalar("SELECT count(*) FROM TMaster").toInt(); }
    void tamper() { direct()->execute("UPDATE TMaster SET SGName='tampered' WHERE IDLG=1 AND IDSG=0"); }
    bool tampered() { return scalar("SELECT count(*) FROM TMaster WHERE SGName='tampered'").toInt() == 1; }
};

TEST_F(MasterRefreshTest, WithoutTheFileNothingHappens) {
    EXPECT_EQ(TheMaster().CheckTable(), 0);
    EXPECT_EQ(rows(), 0);
}

TEST_F(MasterRefreshTest, RebuildsOnlyWhenTheDateDiffers) {
    writeList("0,0,0,2024/08/01,日付");
    ASSERT_EQ(TheMaster().CheckTable(), 0);
    EXPECT_EQ(rows(), 4);
    EXPECT_EQ(scalar("SELECT SGName FROM TMaster WHERE IDLG=0 AND IDSG=0").toString(), "2024/08/01");
    tamper();
    ASSERT_EQ(TheMaster().CheckTable(), 0); // same date: untouched
    EXPECT_TRUE(tampered());
    writeList("0,0,0,2024/08/02,日付"); // one day later
    ASSERT_EQ(TheMaster().CheckTable(), 0);
    EXPECT_FALSE(tampered());
    EXPECT_EQ(rows(), 4);
    tamper();
    writeList("0,0,0,2024/08/01,日付"); // an earlier date rebuilds as well
    ASSERT_EQ(TheMaster().CheckTable(), 0);
    EXPECT_FALSE(tampered());
    EXPECT_TRUE(t.boxes->shown.isEmpty());
    EXPECT_EQ(slot(Slot::Member).open, 0);
}

TEST_F(MasterRefreshTest, WithoutAHeaderRowTheTableIsRebuiltAtEveryStart) {
    writeList("' no header line");
    ASSERT_EQ(TheMaster().CheckTable(), 0);
    EXPECT_EQ(rows(), 3);
    tamper();
    ASSERT_EQ(TheMaster().CheckTable(), 0);
    EXPECT_FALSE(tampered());
    EXPECT_EQ(rows(), 3);
}

TEST_F(MasterRefreshTest, FailingStatementRetriesSilentlyThenShowsTheLabelledBox) {
    // Creating a table that exists fails every time.
    t.boxes->answer(MsgResult::Retry);
    t.boxes->answer(MsgResult::Cancel);
    EXPECT_NE(TheMaster().CreateTable("TMaster"), 0);
    EXPECT_EQ(t.waits->waits, 10);
    EXPECT_EQ(t.waits->totalWaited, 10000);
    ASSERT_EQ(t.boxes->shown.size(), 2); // Retry fails again at once
    const MsgBoxRequest& box = t.boxes->shown[0];
    EXPECT_TRUE(box.text.startsWith("<1> ")) << box.text.toStdString();
    EXPECT_TRUE(box.text.endsWith("\r\n\r\nテーブル作成エラー（TMaster）")) << box.text.toStdString();
    EXPECT_EQ(box.title, "エラー");
    EXPECT_EQ(box.buttons, MsgButtons::RetryCancel);
    EXPECT_EQ(box.icon, MsgIcon::Exclamation);
    EXPECT_EQ(slot(Slot::Member).open, 0);
    // A missing table counts as dropped.
    EXPECT_EQ(TheMaster().DeleteTable("TNoSuchTable"), 0);
}

// ------------------------------------------------------------------ old-format conversion

class ConversionTest : public test::MemberDbTest {
protected:
    // Replaces the member database with an old-format one: date BirthDay, boolean Sex.
    void makeOldFormatMember(bool withExams) {
        closeAllConnections();
        QFile::remove(memberPath());
        auto c = db::Connection::create(memberPath(), kProgramPassword);
        c->execute("CREATE TABLE TPatient (ID INTEGER NOT NULL PRIMARY KEY, KalteNumber VARCHAR(50), Name "
                   "VARCHAR(100), BirthDay DATETIME, Sex BIT, TEL VARCHAR(50), \"UpDate\" DATETIME)");
        c->execute(
            "INSERT INTO TPatient VALUES (1, 'A-1', '旧　一郎', '1960-05-06 00:00:00', 1, NULL, NULL)");
        c->execute("INSERT INTO TPatient VALUES (2, 'A-2', '旧　花子', NULL, 0, '03', NULL)");
        c->execute("INSERT INTO TPatient VALUES (31, 'A-31', '対象外', '1970-01-01 00:00:00', 1, '', NULL)");
        if (withExams) {
            c->execute("CREATE TABLE TExamData (ID INTEGER NOT NULL PRIMARY KEY, PatientID INTEGER, ExamDate "
                       "DATETIME, \"Row\" INTEGER, Examination INTEGER, SubExam INTEGER, CommentID SMALLINT, "
                       "Comment VARCHAR(100), Data1 VARCHAR(144), Bui VARCHAR(192))");
            c->execute(
                "INSERT INTO TExamData VALUES (5, 1, '2010-04-01 00:00:00', 0, 2, 2, 2, 'old', '  3  4', "
                "'-32768')");
            c->execute("INSERT INTO TExamData VALUES (6, 1, '2010-05-01 00:00:00', 0, 2, 2, 7, 'x', '', '')");
            c->execute("INSERT INTO TExamData VALUES (7, 31, '2010-04-01 00:00:00', 0, 2, 2, 1, '', '', '')");
        }
        c->close();
        writeText(app().MemberFolder + "/KVR-DB.MDB", "previous base database");
    }
    QString datedCopy() const { return app().MemberFolder + "/KVR-DB_20240814_1630.mdb"; }
};

TEST_F(ConversionTest, CurrentFormatIsLeftAloneBesideAnOldBaseFile) {
    writeText(app().MemberFolder + "/KVR-DB.MDB", "previous base database");
    const QByteArray before = hashOf(memberPath());
    EXPECT_FALSE(ThePatient().CheckOldFormat());
    EXPECT_EQ(ThePatient().CheckTable(), 0);
    EXPECT_EQ(hashOf(memberPath()), before);
    EXPECT_FALSE(QFileInfo::exists(datedCopy()));
    EXPECT_TRUE(t.boxes->shown.isEmpty());
}

TEST_F(ConversionTest, WithoutTheBaseFileEvenAnOldDatabaseCountsAsCurrent) {
    makeOldFormatMember(true);
    QFile::remove(app().MemberFolder + "/KVR-DB.MDB");
    EXPECT_FALSE(ThePatient().CheckOldFormat());
}

TEST_F(ConversionTest, OldDatabaseIsImportedIntoAFreshTemplate) {
    makeOldFormatMember(true);
    ASSERT_TRUE(ThePatient().CheckOldFormat());
    EXPECT_EQ(ThePatient().CheckTable(), 0);
    ASSERT_EQ(t.boxes->shown.size(), 1);
    EXPECT_EQ(t.boxes->shown[0].text, "旧形式のデータベースを最新形式に変換しました。");
    EXPECT_EQ(t.boxes->shown[0].title, "変換完了");
    EXPECT_EQ(t.boxes->shown[0].icon, MsgIcon::Information);
    EXPECT_TRUE(QFileInfo::exists(datedCopy()));
    EXPECT_FALSE(ThePatient().CheckOldFormat()); // now current

    auto c = direct();
    EXPECT_EQ(c->scalar("SELECT BirthDay FROM TPatient WHERE ID=1").toString(), "1960/05/06");
    EXPECT_EQ(c->scalar("SELECT BirthDay FROM TPatient WHERE ID=2").toString(), "");
    EXPECT_EQ(c->scalar("SELECT Sex FROM TPatient WHERE ID=1").toInt(), 1);
    EXPECT_EQ(c->scalar("SELECT Sex FROM TPatient WHERE ID=2").toInt(), 0);
    EXPECT_EQ(c->scalar("SELECT TEL FROM TPatient WHERE ID=1").toString(), "");
    EXPECT_EQ(c->scalar("SELECT count(*) FROM TPatient WHERE ID=31").toInt(), 0);
    EXPECT_EQ(c->scalar("SELECT count(*) FROM TPatient WHERE ID IN (98,99)").toInt(), 2); // from the template
    EXPECT_EQ(c->scalar("SELECT count(*) FROM TExamData WHERE PatientID=31").toInt(), 0);
    db::Recordset rs(c, "SELECT * FROM TExamData WHERE PatientID=1 ORDER BY ExamDate");
    ASSERT_EQ(rs.recordCount(), 2);
    EXPECT_EQ(rs.value("ID").toInt(), 10000000);
    EXPECT_EQ(rs.value("Comment").toString(), "基本治療終了時");
    EXPECT_EQ(rs.value("Data1").toString(), "  3  4");
    EXPECT_EQ(rs.value("Bui").toString(), "-32768");
    rs.moveNext();
    EXPECT_EQ(rs.value("ID").toInt(), 10000001);
    EXPECT_EQ(rs.value("Comment").toString(), ""); // stage code 7 has no label
}

TEST_F(ConversionTest, FailedConversionRestoresTheOldFileByteForByte) {
    makeOldFormatMember(false); // no TExamData: the import fails
    const QByteArray before = hashOf(memberPath());
    EXPECT_NE(ThePatient().CheckTable(), 0);
    EXPECT_EQ(hashOf(memberPath()), before);
    EXPECT_EQ(hashOf(datedCopy()), before);
    ASSERT_EQ(t.boxes->shown.size(), 1);
    EXPECT_EQ(t.boxes->shown[0].text, "旧形式のデータベースを最新形式に変換できませんでした。\r\n\r\n"
                                      "ヴェルダ学会事務局へ連絡をお願いします。");
    EXPECT_EQ(t.boxes->shown[0].title, "変換エラー");
    EXPECT_EQ(t.boxes->shown[0].icon, MsgIcon::Critical);
    EXPECT_EQ(slot(Slot::Member).open, 0);
    EXPECT_EQ(slot(Slot::Import).open, 0);
}

// ------------------------------------------------------------------ item-3 upgrade

class ExamUpgradeTest : public test::MemberDbTest {};

TEST_F(ExamUpgradeTest, ItemThreeCellsAreUpgradedOnceAndTheVersionStamped) {
    EXPECT_EQ(UpgradeExamItem3(), 0); // the template's samples are current already
    CExamData e;
    e.ClearBuffer();
    e.ID = 500;
    e.PatientID = 5;
    e.SubExam = 3;
    e.setNBui(5, kImplant);
    e.setBData(5, 3);      // implant with a value
    e.setBData(6, 2);      // examined tooth, second cell empty
    e.setNBui(8, kPontic); // pontic without a value
    OpenMemberDb();
    {
        db::Recordset rs(memberConn(), "SELECT * FROM TExamData WHERE ID=500", {}, db::OpenMode::Write);
        rs.addNew();
        e.RecSetPut(rs);
        rs.update();
    }
    CloseMemberDb();
    EXPECT_EQ(UpgradeExamItem3(), 1);
    CExamData back;
    OpenMemberDb();
    back.RecSetGet(db::Recordset(memberConn(), "SELECT * FROM TExamData WHERE ID=500"));
    CloseMemberDb();
    EXPECT_EQ(back.bData(5), kNoValue);
    EXPECT_EQ(back.bData(5 + 48), 15);
    EXPECT_EQ(back.bData(6), 2);
    EXPECT_EQ(back.bData(6 + 48), 0);
    EXPECT_EQ(back.bData(8 + 48), 15);
    EXPECT_EQ(back.bData(7 + 48), 15);
    auto c = direct();
    EXPECT_EQ(c->scalar("SELECT Major*10000+Minor*1000+Revision FROM TVersion WHERE ID=1").toInt(), 10001);
    const QString stored =
        c->scalar("SELECT Data1||Data2||Data3||Data4 FROM TExamData WHERE ID=500").toString();
    EXPECT_EQ(UpgradeExamItem3(), 0);
    EXPECT_EQ(c->scalar("SELECT Data1||Data2||Data3||Data4 FROM TExamData WHERE ID=500").toString(), stored);
}

// ------------------------------------------------------------------ image table

class ImageTableTest : public test::MemberDbTest {};

TEST_F(ImageTableTest, MissingTableIsCreatedOnce) {
    direct()->execute("DROP TABLE TImage");
    CImage img;
    EXPECT_EQ(img.GetStatusTable(), -1);
    EXPECT_EQ(img.CheckTable(), 0);
    EXPECT_EQ(img.GetStatusTable(), 0);
    direct()->execute("INSERT INTO TImage (ID, ImgPath1) VALUES (0, 'clinic')");
    EXPECT_EQ(img.CheckTable(), 0);
    EXPECT_EQ(scalar("SELECT ImgPath1 FROM TImage WHERE ID=0").toString(), "clinic");
    EXPECT_EQ(scalar("SELECT Rotate9 FROM TImage WHERE ID=0").toInt(), 0);
}

TEST_F(ImageTableTest, OlderLayoutIsRebuiltKeepingItsRows) {
    auto c = direct();
    c->execute("DROP TABLE TImage");
    c->execute("CREATE TABLE TImage (ID INTEGER NOT NULL PRIMARY KEY, PatientID INTEGER, ExamDate DATETIME, "
               "ImgPath1 VARCHAR(200), ImgPath3 VARCHAR(200), ReverseUD1 SMALLINT)");
    c->execute("INSERT INTO TImage VALUES (0, 0, '2024-01-02 00:00:00', '医院', 'a@b.jp', 1)");
    c->execute("INSERT INTO TImage VALUES (10, 4, NULL, 'x.jpg', '', 0)");
    c->close();
    CImage img;
    EXPECT_EQ(img.GetStatusTable(), 1);
    EXPECT_EQ(img.CheckTable(), 0);
    EXPECT_EQ(img.GetStatusTable(), 0);
    c = direct();
    EXPECT_FALSE(c->tableExists("TImageWork"));
    EXPECT_EQ(c->scalar("SELECT count(*) FROM TImage").toInt(), 2);
    OpenMemberDb();
    img.RecSetGet(db::Recordset(memberConn(), "SELECT * FROM TImage WHERE ID=0"));
    CloseMemberDb();
    EXPECT_EQ(img.ImgPath(0), "医院");
    EXPECT_EQ(img.ImgPath(2), "a@b.jp");
    EXPECT_EQ(img.ImgPath(1), "");
    EXPECT_EQ(img.ReverseUD(0), 1);
    EXPECT_EQ(img.Rotate(8), 0);
    EXPECT_EQ(img.ExamDate, QDateTime(QDate(2024, 1, 2), QTime(0, 0)));
    EXPECT_EQ(c->scalar("SELECT Rotate1 FROM TImage WHERE ID=10").toInt(), 0);
}

// ------------------------------------------------------------------ sample patients

class SamplePatientTest : public test::MemberDbTest {
protected:
    QString marker() const { return appFolder() + "/UpdateSample.txt"; }
};

TEST_F(SamplePatientTest, WithoutTheMarkerTheSamplesAreNotTouched) {
    direct()->execute("UPDATE TPatient SET Name='changed' WHERE ID=98");
    EXPECT_TRUE(RefreshSamplePatients());
    EXPECT_EQ(scalar("SELECT Name FROM TPatient WHERE ID=98").toString(), "changed");
}

TEST_F(SamplePatientTest, WithTheMarkerTheSamplesAreReplacedOnce) {
    writeText(marker(), "");
    auto c = direct();
    const int templateRows = c->scalar("SELECT count(*) FROM TExamData WHERE PatientID IN (98,99)").toInt();
    c->execute("UPDATE TPatient SET Name='changed' WHERE ID=98");
    c->execute("DELETE FROM TExamData WHERE PatientID=99 AND \"Row\"=0");
    c->execute("UPDATE TExamData SET PatientID=5 WHERE ID=1"); // a member row holding a template key
    c->close();
    EXPECT_TRUE(RefreshSamplePatients());
    EXPECT_FALSE(QFileInfo::exists(marker()));
    c = direct();
    EXPECT_EQ(c->scalar("SELECT Name FROM TPatient WHERE ID=98").toString(), "見本　太郎");
    EXPECT_EQ(c->scalar("SELECT count(*) FROM TExamData WHERE PatientID IN (98,99)").toInt(), templateRows);
    EXPECT_EQ(c->scalar("SELECT PatientID FROM TExamData WHERE ID=1").toInt(), 5);
    EXPECT_EQ(c->scalar("SELECT PatientID FROM TExamData WHERE ID=10000000").toInt(), 98);
    EXPECT_EQ(slot(Slot::Member).open, 0);
    EXPECT_EQ(slot(Slot::Template).open, 0);
}

} // namespace

namespace {

// The start-up steps in their order on a fresh member database: nothing to report,
// the master list imported, the version stamped, a second start changes nothing.
class StartupMaintenanceTest : public test::MemberDbTest {};

TEST_F(StartupMaintenanceTest, FreshMemberDatabasePassesEveryStep) {
    ASSERT_TRUE(QFile::copy(test::builtAppFolder() + "/TMaster.txt", appFolder() + "/TMaster.txt"));
    writeText(app().MemberFolder + "/KVR-DB.MDB", "base database handed to the folder");
    for (int start = 0; start < 2; ++start) {
        EXPECT_EQ(TheMaster().CheckTable(), 0);
        EXPECT_TRUE(LoadClinicCode());
        EXPECT_EQ(ThePatient().CheckTable(), 0);
        EXPECT_TRUE(RefreshSamplePatients());
        EXPECT_EQ(UpgradeExamItem3(), 0);
        EXPECT_EQ(CImage().CheckTable(), 0);
    }
    EXPECT_TRUE(t.boxes->shown.isEmpty());
    auto c = direct();
    const int lines = int(ReadMasterFile(appFolder() + "/TMaster.txt").lines.size());
    EXPECT_EQ(c->scalar("SELECT count(*) FROM TMaster").toInt(), lines);
    EXPECT_EQ(c->scalar("SELECT Major*10000+Minor*1000+Revision FROM TVersion WHERE ID=1").toInt(), 10001);
    EXPECT_EQ(c->scalar("SELECT count(*) FROM TExamData WHERE PatientID IN (98,99)").toInt(), 48);
    EXPECT_EQ(slot(Slot::Member).open, 0);
}

} // namespace
