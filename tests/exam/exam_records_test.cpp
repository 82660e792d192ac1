// Examination records: the stored encodings of CExamData, the item definitions of
// CSubExam, the staff record CCharge, and the examinations that come with the template.
#include "data/member_db_fixture.h"
#include "exam/CCharge.h"
#include "exam/CExamData.h"
#include "exam/CSubExam.h"

using namespace kvr;

namespace {

class ExamRecordTest : public test::MemberDbTest {
protected:
    // Writes e as a new TExamData row and reads it back.
    CExamData roundTrip(const CExamData& e) {
        OpenMemberDb();
        {
            db::Recordset rs(memberConn(), "SELECT * FROM TExamData WHERE ID=?", {e.ID}, db::OpenMode::Write);
            rs.addNew();
            e.RecSetPut(rs);
            rs.update();
        }
        CExamData back;
        back.RecSetGet(db::Recordset(memberConn(), "SELECT * FROM TExamData WHERE ID=?", {e.ID}));
        CloseMemberDb();
        return back;
    }
    QString stored(int id, const char* column) {
        return scalar(QString("SELECT %1 FROM TExamData WHERE ID=?").arg(column), {id}).toString();
    }
    template <typename R> R readRow(const QString& sql) {
        R r;
        OpenMemberDb();
        r.RecSetGet(db::Recordset(memberConn(), sql));
        CloseMemberDb();
        return r;
    }
};

TEST_F(ExamRecordTest, NewRecordStoresEveryCellAsNoValue) {
    CExamData e;
    e.ClearBuffer();
    e.ID = 900;
    roundTrip(e);
    for (const char* col : {"Data1", "Data2", "Data3", "Data4"})
        EXPECT_EQ(stored(900, col), QString("128").repeated(48));
    EXPECT_EQ(stored(900, "Bui"), QString("     0").repeated(32));
}

TEST_F(ExamRecordTest, CellsAndStatusWordsRoundTripInFixedWidthText) {
    CExamData e;
    e.ClearBuffer();
    e.ID = 901;
    e.PatientID = 5;
    e.Row = 9;
    e.CommentID = 2;
    e.Comment = "基本治療終了時";
    e.IsPrinted = true;
    e.setBData(0, 0);
    e.setBData(47, 255);
    e.setBData(48, 5);
    e.setBData(191, 12);
    e.setNBui(0, kMissingTooth);
    e.setNBui(1, kImplant);
    e.setNBui(31, kDeciduous | kMissingTooth);
    CExamData back = roundTrip(e);
    EXPECT_EQ(back.cells(), e.cells());
    EXPECT_EQ(back.statusWords(), e.statusWords());
    EXPECT_EQ(back.Comment, e.Comment);
    EXPECT_TRUE(back.IsPrinted);
    EXPECT_EQ(back.ExamDate, e.ExamDate);
    EXPECT_TRUE(stored(901, "Data1").startsWith("  0"));
    EXPECT_TRUE(stored(901, "Data1").endsWith("255"));
    EXPECT_TRUE(stored(901, "Data2").startsWith("  5"));
    EXPECT_TRUE(stored(901, "Bui").startsWith("-32768  8192"));
    EXPECT_TRUE(stored(901, "Bui").endsWith("-31744"));
}

TEST(ExamEncodingTest, ShortTextsDecodeWhatIsThere) {
    std::array<std::uint8_t, kCells> cells;
    decodeCells(QString("  7").repeated(191) + " 9", cells); // 575 characters
    EXPECT_EQ(cells[190], 7);
    EXPECT_EQ(cells[191], 9);
    decodeCells("  1  2", cells);
    EXPECT_EQ(cells[1], 2);
    EXPECT_EQ(cells[2], 0); // beyond the text: 0
    std::array<std::uint16_t, kTeeth> words;
    words.fill(7);
    decodeStatusWords("", words);
    for (auto w : words)
        EXPECT_EQ(w, 0);
    decodeStatusWords("-32768", words);
    EXPECT_EQ(words[0], 0x8000);
    EXPECT_THROW(decodeCells("  1 x2", cells), RuntimeError);
}

TEST(ExamEncodingTest, AccessorsAreBounded) {
    CExamData e;
    e.setBData(192, 5);
    e.setBData(-1, 5);
    e.setNBui(32, 1);
    EXPECT_EQ(e.bData(192), 0);
    EXPECT_EQ(e.bData(-1), 0);
    EXPECT_EQ(e.nBui(32), 0);
    EXPECT_EQ(e.bData(191), kNoValue); // a new object starts empty
}

TEST(ExamEncodingTest, RemainingTeethWithMissingAndDeciduousTeeth) {
    CExamData e;
    e.setNBui(0, kMissingTooth);
    e.setNBui(11, kDeciduous);
    e.setNBui(20, kPontic);
    e.setNBui(24, kImplant | kDeciduous);
    e.setNBui(25, kOtherExcluded); // still a remaining tooth
    QString upper, lower;
    e.GetRestToothStr(upper, lower);
    EXPECT_EQ(upper, " 7654321123D5678");
    EXPECT_EQ(lower, "8765 321 2345678");
    EXPECT_EQ(e.GetRestToothCount(), 29);
}

TEST_F(ExamRecordTest, LastStatusComesFromTheLatestEarlierExamination) {
    std::array<std::uint16_t, kTeeth> status;
    status.fill(9);
    // Patient 98's stage-2 examination (2023-07-24) follows the initial one, which has 17 present.
    ASSERT_TRUE(CExamData::SetLastBui(98, QDateTime(QDate(2023, 7, 24), QTime(16, 0)), status));
    EXPECT_EQ(status[1], 0);
    EXPECT_EQ(status[18], kImplant);
    ASSERT_TRUE(CExamData::SetLastBui(98, QDateTime(QDate(2024, 12, 1), QTime()), status, direct()));
    EXPECT_EQ(status[1], kMissingTooth);
    EXPECT_FALSE(CExamData::SetLastBui(98, QDateTime(QDate(2023, 4, 10), QTime(9, 0)), status));
    for (auto w : status)
        EXPECT_EQ(w, 0);
    EXPECT_EQ(slot(Slot::Member).open, 0);
}

TEST_F(ExamRecordTest, ItemDefinitionRoundTripAndColours) {
    CSubExam pocket = readRow<CSubExam>("SELECT * FROM TSubExam WHERE ID=2");
    EXPECT_EQ(pocket.Mode, 3);
    EXPECT_EQ(pocket.DisplayRow, 1);
    EXPECT_EQ(pocket.GradationPart(1), 4);
    EXPECT_EQ(pocket.GradationPart(2), 6);
    // A value equal to GradationPart(1) takes Brightness(2).
    const std::uint32_t g2 = std::uint32_t(pocket.Brightness(2));
    EXPECT_EQ(pocket.GetColorByValue(4, 0), pocket.ValueColor(0) | g2 | g2 << 8 | g2 << 16);
    EXPECT_NE(pocket.GetColorByValue(3, 0), pocket.GetColorByValue(4, 0));
    EXPECT_EQ(pocket.GetColorByValue(9, 2), pocket.ValueColor(2));
    CSubExam c;
    c.setValueColor(1, 0x000000FF);
    c.setBrightness(0, 0x10);
    c.setBrightness(1, 0x20);
    c.setGradationPart(0, 1);
    c.setGradationPart(1, 5);
    c.setGradationPart(2, 9);
    EXPECT_EQ(c.GetColorByValue(0, 1), 0x001010FFu);
    EXPECT_EQ(c.GetColorByValue(4, 1), 0x002020FFu);
    EXPECT_EQ(c.BtnVal(10), 0);
    c.setBtnName(5, "x");
    EXPECT_EQ(c.BtnName(5), QString());

    pocket.ID = 50;
    pocket.CEJ = 3;
    pocket.setBtnVal(9, 16);
    pocket.setSubName(2, "sub");
    OpenMemberDb();
    {
        db::Recordset rs(memberConn(), "SELECT * FROM TSubExam WHERE ID=50", {}, db::OpenMode::Write);
        rs.addNew();
        pocket.RecSetPut(rs);
        rs.update();
    }
    CloseMemberDb();
    CSubExam back = readRow<CSubExam>("SELECT * FROM TSubExam WHERE ID=50");
    EXPECT_TRUE(back.CEJFlag);
    EXPECT_EQ(back.CEJ, 3);
    EXPECT_EQ(back.BtnVal(9), 16);
    EXPECT_EQ(back.SubName(2), "sub");
    EXPECT_EQ(back.Name, pocket.Name);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(back.ValueColor(i), pocket.ValueColor(i));

    EXPECT_EQ(CSubExam::GetPairExam(), 0);
    direct()->execute("UPDATE TSubExam SET CEJ=7 WHERE ID=2");
    EXPECT_EQ(CSubExam::GetPairExam(), 7);
    direct()->execute("DELETE FROM TSubExam WHERE ID=2");
    EXPECT_EQ(CSubExam::GetPairExam(), 0);
}

TEST_F(ExamRecordTest, StaffRecordDefaultsAndEncodings) {
    CCharge staff = readRow<CCharge>("SELECT * FROM TCharge WHERE ID=1");
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(staff.PocketPosition(i), 1);
    EXPECT_EQ(staff.PocketVector.size(), 32);
    EXPECT_EQ(staff.PocketVectorKihon.size(), 48);
    EXPECT_GT(staff.PlaquePattern.size(), 16);

    auto c = direct();
    c->execute("UPDATE TCharge SET PlaquePosition=NULL, PocketPatternKihon=1, PocketVectorKihon='BDBC', "
               "PocketPosition='  1  0  1' WHERE ID=1");
    staff = readRow<CCharge>("SELECT * FROM TCharge WHERE ID=1");
    EXPECT_EQ(staff.PlaquePosition, "33");
    EXPECT_EQ(staff.PocketVectorKihon, QString("BDBC").leftJustified(48, ' '));
    EXPECT_EQ(staff.PocketPosition(1), 0);
    EXPECT_EQ(staff.PocketPosition(5), 0); // beyond the text
    c->execute("UPDATE TCharge SET PlaquePosition='', PocketPatternKihon=0 WHERE ID=1");
    staff = readRow<CCharge>("SELECT * FROM TCharge WHERE ID=1");
    EXPECT_EQ(staff.PlaquePosition, "33");
    EXPECT_EQ(staff.PocketVectorKihon, "BDBC"); // padded only for the tooth-by-tooth style

    staff.setPocketPosition(4, 0);
    staff.setPocketPositionKihon(6, 1); // outside: ignored
    OpenMemberDb();
    {
        db::Recordset rs(memberConn(), "SELECT * FROM TCharge WHERE ID=1", {}, db::OpenMode::Write);
        staff.RecSetPut(rs);
        rs.update();
    }
    CloseMemberDb();
    EXPECT_EQ(c->scalar("SELECT PocketPosition FROM TCharge WHERE ID=1").toString(), "  1  0  1  0  0  0");
    EXPECT_EQ(c->scalar("SELECT PlaquePosition FROM TCharge WHERE ID=1").toString(), "33");
}

// The template's sample examinations: every stage of both patients, with the features
// the sheets show, in consistent values.
TEST_F(ExamRecordTest, SampleExaminationsAreCompleteAndConsistent) {
    QList<CExamData> all;
    OpenMemberDb();
    for (db::Recordset rs(memberConn(), "SELECT * FROM TExamData WHERE PatientID IN (98,99) ORDER BY ID");
         !rs.eof(); rs.moveNext()) {
        all << CExamData();
        all.last().RecSetGet(rs);
    }
    CloseMemberDb();
    ASSERT_EQ(all.size(), 48); // 2 patients x 4 stages x 6 rows
    QMap<int, QSet<int>> stages;
    std::uint16_t anyStatus = 0;
    bool bleeding = false, pus = false, plaque = false, mobility = false, furcation = false;
    auto depthsOf = [&](const CExamData& mark) -> const CExamData& {
        for (const CExamData& e : all)
            if (e.PatientID == mark.PatientID && e.ExamDate == mark.ExamDate && e.Row == 0) return e;
        return mark;
    };
    for (const CExamData& e : all) {
        stages[e.PatientID].insert(e.CommentID);
        EXPECT_EQ(e.statusWords(), depthsOf(e).statusWords()); // one status per examination
        for (int t = 0; t < kTeeth; ++t)
            anyStatus |= e.nBui(t);
        for (int i = 0; i < kCells; ++i) {
            const int v = e.bData(i);
            if (v == kNoValue) continue;
            if (e.Row == 9 || e.Row == 10) {
                ASSERT_EQ(v, 1);
                ASSERT_NE(depthsOf(e).bData(i), kNoValue); // marks only at measured sites
                (e.Row == 9 ? bleeding : pus) = true;
            } else if (e.SubExam == 2) {
                ASSERT_TRUE(isRemainingTooth(e.nBui(i / 6)));
                ASSERT_TRUE(v >= 1 && v <= 12);
            } else if (e.SubExam == 3) {
                ASSERT_TRUE(i < 32 || (i >= 48 && i < 80));
                if (i < 32) {
                    ASSERT_TRUE(isRemainingTooth(e.nBui(i)));
                    ASSERT_EQ(e.bData(i + 48), 0); // every surface examined
                    plaque |= v > 0;
                }
            } else if (e.SubExam == 1) {
                ASSERT_LE(v, 3);
                mobility |= v > 0;
            } else if (e.SubExam == 13) {
                ASSERT_GE(FurcationKind(i / 6), 0);
                furcation |= v > 0;
            }
        }
        if (e.SubExam == 3) {
            for (int t = 0; t < kTeeth; ++t) {
                if (!isRemainingTooth(e.nBui(t))) {
                    EXPECT_EQ(e.bData(t + 48), 15);
                }
            }
        }
    }
    EXPECT_EQ(stages[98], (QSet<int>{1, 2, 3, 4}));
    EXPECT_EQ(stages[99], (QSet<int>{1, 2, 3, 4}));
    for (std::uint16_t flag : {kMissingTooth, kImplant, kPontic, kDeciduous})
        EXPECT_TRUE(anyStatus & flag) << flag;
    EXPECT_TRUE(bleeding && pus && plaque && mobility && furcation);
}

} // namespace
