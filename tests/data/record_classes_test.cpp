// Record classes of the data store: round trips, the next-number counters, the
// clinic-code row and the image record's bounded arrays.
#include "data/CImage.h"
#include "member_db_fixture.h"

using namespace kvr;

namespace {

class RecordClassTest : public test::MemberDbTest {};

TEST_F(RecordClassTest, PatientRoundTripKeepsEveryField) {
    CPatient p;
    p.ClearBuffer();
    EXPECT_EQ(p.UpDate, now());
    p.ID = 7;
    p.ClinicCode = "123456";
    p.KalteNumber = "K-7";
    p.Ruby = "ヤマダ　ハナコ";
    p.Name = "山田　花子";
    p.BirthDay = "1971/02/28";
    p.Sex = 1;
    p.TEL = "03-0000-0000";
    p.Post = "100-0001";
    p.Address1 = "東京都";
    p.Address2 = "千代田区1-1";
    p.NextExamDate = QDateTime(QDate(2024, 9, 1), QTime(0, 0));
    p.LastExamDate = QDateTime(QDate(2024, 8, 1), QTime(10, 15, 30));
    p.Lock = 1;
    p.AppName = "KVR-DB";
    OpenMemberDb();
    {
        db::Recordset rs(memberConn(), "SELECT * FROM TPatient WHERE ID=7", {}, db::OpenMode::Write);
        ASSERT_TRUE(rs.eof());
        rs.addNew();
        p.RecSetPut(rs);
        rs.update();
    }
    CPatient back;
    db::Recordset rs(memberConn(), "SELECT * FROM TPatient WHERE ID=7");
    back.RecSetGet(rs);
    rs.close();
    CloseMemberDb();
    EXPECT_EQ(back.BirthDay, "1971/02/28");
    EXPECT_EQ(scalar("SELECT BirthDay FROM TPatient WHERE ID=7").toString(), "1971/02/28");
    for (auto [a, b] : {std::pair{back.ClinicCode, p.ClinicCode},
                        {back.KalteNumber, p.KalteNumber},
                        {back.Ruby, p.Ruby},
                        {back.Name, p.Name},
                        {back.TEL, p.TEL},
                        {back.Post, p.Post},
                        {back.Address1, p.Address1},
                        {back.Address2, p.Address2},
                        {back.AppName, p.AppName}})
        EXPECT_EQ(a, b);
    EXPECT_EQ(back.ID, 7);
    EXPECT_EQ(back.Sex, 1);
    EXPECT_EQ(back.Lock, 1);
    EXPECT_EQ(back.NextExamDate, p.NextExamDate);
    EXPECT_EQ(back.LastExamDate, p.LastExamDate);
    EXPECT_EQ(back.UpDate, p.UpDate);
}

TEST_F(RecordClassTest, NullTextColumnsReadAsEmptyStrings) {
    direct()->execute("INSERT INTO TPatient (ID, Name, TEL) VALUES (3, NULL, NULL)");
    direct()->execute("UPDATE TClinicCode SET ClinicName=NULL, ClinicCodeSub=NULL WHERE ID=0");
    OpenMemberDb();
    CPatient p;
    p.Name = "x";
    p.RecSetGet(db::Recordset(memberConn(), "SELECT * FROM TPatient WHERE ID=3"));
    CClinicCode c;
    c.ClinicName = "x";
    c.RecSetGet(db::Recordset(memberConn(), "SELECT * FROM TClinicCode WHERE ID=0"));
    CloseMemberDb();
    EXPECT_TRUE(p.Name.isEmpty());
    EXPECT_TRUE(p.TEL.isEmpty());
    EXPECT_TRUE(c.ClinicName.isEmpty());
    EXPECT_TRUE(c.ClinicCodeSub.isEmpty());
}

TEST_F(RecordClassTest, ClinicCodeRowIsAddedWhenMissingAndSaved) {
    direct()->execute("DELETE FROM TClinicCode");
    ASSERT_TRUE(LoadClinicCode());
    EXPECT_EQ(scalar("SELECT count(*) FROM TClinicCode WHERE ID=0").toInt(), 1);
    EXPECT_TRUE(TheClinicCode().ClinicCode.isEmpty());
    ASSERT_TRUE(SaveClinicCode("654321"));
    EXPECT_EQ(scalar("SELECT ClinicCode FROM TClinicCode WHERE ID=0").toString(), "654321");
    TheClinicCode().ClinicCode = "changed in memory";
    ASSERT_TRUE(LoadClinicCode());
    EXPECT_EQ(TheClinicCode().ClinicCode, "654321");
    EXPECT_EQ(slot(Slot::Member).open, 0); // released
}

TEST_F(RecordClassTest, NextNumbersOnAFreshTemplate) {
    EXPECT_EQ(GetNextNumber("TExamData"), 10000000);
    EXPECT_EQ(scalar("SELECT ExamData FROM TNextAutoNumber WHERE ID=0").toInt(), 1);
    EXPECT_EQ(GetNextNumber("TExamData"), 10000001);
    EXPECT_EQ(GetNextNumber("TPatient"), 10000000); // counters are per table
    // Without commit the stored counter stays, so the same number comes again.
    EXPECT_EQ(GetNextNumber("TCharge", false), 10000000);
    EXPECT_EQ(GetNextNumber("TCharge", false), 10000000);
    EXPECT_EQ(scalar("SELECT Charge FROM TNextAutoNumber WHERE ID=0").toInt(), 0);
    EXPECT_EQ(slot(Slot::Member).open, 0);
}

TEST_F(RecordClassTest, NextNumberWithoutRowZeroStoresNothing) {
    direct()->execute("DELETE FROM TNextAutoNumber");
    EXPECT_EQ(GetNextNumber("TExamData"), 10000000);
    EXPECT_EQ(GetNextNumber("TExamData"), 10000000);
    EXPECT_EQ(scalar("SELECT count(*) FROM TNextAutoNumber").toInt(), 0);
}

TEST_F(RecordClassTest, UnknownTableNameShowsItsBoxesAndEndsTheProgram) {
    EXPECT_THROW(GetNextNumber("texamdata"), ProgramEnded); // the match is case-sensitive
    ASSERT_EQ(t.boxes->shown.size(), 2);
    EXPECT_EQ(t.boxes->shown[0].text, "次番号マスタのテーブル指定エラー.");
    EXPECT_EQ(t.boxes->shown[0].buttons, MsgButtons::Ok);
    EXPECT_TRUE(t.boxes->shown[1].text.contains("9000"));
}

TEST_F(RecordClassTest, MasterRoundTripAndAFailingColumnIsSkipped) {
    CMaster m;
    m.ClearBuffer();
    m.IDLG = 3;
    m.IDSG = 2;
    m.SeqNo = 4;
    m.SGName = "現在喫煙";
    m.SGComment = "喫煙歴";
    OpenMemberDb();
    {
        db::Recordset rs(memberConn(), "SELECT * FROM TMaster", {}, db::OpenMode::Write);
        rs.addNew();
        m.RecSetPut(rs);
        rs.update();
    }
    CMaster back;
    back.RecSetGet(db::Recordset(memberConn(), "SELECT * FROM TMaster WHERE IDLG=3"));
    // A recordset without SGComment and UpDate: the other columns are still read.
    CMaster partial;
    partial.SGComment = "kept";
    partial.RecSetGet(
        db::Recordset(memberConn(), "SELECT IDLG, IDSG, SeqNo, SGName FROM TMaster WHERE IDLG=3"));
    CloseMemberDb();
    EXPECT_EQ(back.IDLG, 3);
    EXPECT_EQ(back.IDSG, 2);
    EXPECT_EQ(back.SeqNo, 4);
    EXPECT_EQ(back.SGName, "現在喫煙");
    EXPECT_EQ(back.SGComment, "喫煙歴");
    EXPECT_EQ(back.UpDate, now());
    EXPECT_EQ(partial.SGName, "現在喫煙");
    EXPECT_EQ(partial.SGComment, "kept");
}

TEST_F(RecordClassTest, NextAutoNumberRoundTrip) {
    CNextAutoNumber n;
    int v = 1;
    for (const char* table : {"TPatient", "TAttend", "TTreat", "TComment", "TSubExam", "TMainExam", "TCharge",
                              "TExamData", "TPlan", "TDoctor", "TDisease", "TTreatment"})
        *n.counterOf(table) = v++;
    OpenMemberDb();
    {
        db::Recordset rs(memberConn(), "SELECT * FROM TNextAutoNumber WHERE ID=0", {}, db::OpenMode::Write);
        n.RecSetPut(rs);
        rs.update();
    }
    CNextAutoNumber back;
    back.RecSetGet(db::Recordset(memberConn(), "SELECT * FROM TNextAutoNumber WHERE ID=0"));
    CloseMemberDb();
    EXPECT_EQ(back.Patient, 1);
    EXPECT_EQ(back.ExamData, 8);
    EXPECT_EQ(back.Treatment, 12);
    back.ClearBuffer();
    EXPECT_EQ(back.Disease, 0);
}

TEST_F(RecordClassTest, ImageArraysAreBoundedAndRoundTrip) {
    CImage img;
    img.ClearBuffer();
    img.setImgPath(9, "outside");
    img.setRotate(-1, 90);
    EXPECT_EQ(img.ImgPath(9), QString());
    EXPECT_EQ(img.Rotate(-1), 0);
    img.ID = 0;
    img.PatientID = 5;
    img.SNo = 2;
    for (int i = 0; i < 9; ++i) {
        img.setImgPath(i, QString("C:/img/%1.jpg").arg(i));
        img.setReverseUD(i, qint16(i % 2));
        img.setReverseLR(i, qint16((i + 1) % 2));
        img.setRotate(i, i * 90);
    }
    OpenMemberDb();
    {
        db::Recordset rs(memberConn(), "SELECT * FROM TImage WHERE ID=0", {}, db::OpenMode::Write);
        rs.addNew();
        img.RecSetPut(rs);
        rs.update();
    }
    CImage back;
    back.RecSetGet(db::Recordset(memberConn(), "SELECT * FROM TImage WHERE ID=0"));
    CloseMemberDb();
    EXPECT_EQ(back.PatientID, 5);
    EXPECT_EQ(back.SNo, 2);
    EXPECT_EQ(back.ExamDate, img.ExamDate);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(back.ImgPath(i), img.ImgPath(i));
        EXPECT_EQ(back.ReverseUD(i), img.ReverseUD(i));
        EXPECT_EQ(back.ReverseLR(i), img.ReverseLR(i));
        EXPECT_EQ(back.Rotate(i), i * 90);
    }
    EXPECT_EQ(scalar("SELECT ImgPath9 FROM TImage WHERE ID=0").toString(), "C:/img/8.jpg");
}

} // namespace
