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
    // Writes r into the row the query selects (a new row when add) and reads it back.
    template <typename R> R put(const R& r, const QString& sql, bool add = true) {
        OpenMemberDb();
        {
            db::Recordset rs(memberConn(), sql, {}, db::OpenMode::Write);
            if (add) rs.addNew();
            r.RecSetPut(rs);
            rs.update();
        }
        CloseMemberDb();
        return get<R>(sql);
    }
    template <typename R> R get(const QString& sql) {
        R r;
        OpenMemberDb();
        r.RecSetGet(db::Recordset(memberConn(), sql));
        CloseMemberDb();
        return r;
    }
    QString stored(int id, const char* column) {
        return scalar(QString("SELECT %1 FROM TExamData WHERE ID=?").arg(column), {id}).toString();
    }
};

TEST_F(ExamRecordTest, CellsAndStatusWordsRoundTripInFixedWidthText) {
    CExamData e;
    e.ClearBuffer();
    e.ID = 900;
    put(e, "SELECT * FROM TExamData WHERE ID=900");
    for (const char* col : {"Data1", "Data2", "Data3", "Data4"})
        EXPECT_EQ(stored(900, col), QString("128").repeated(48));
    EXPECT_EQ(stored(900, "Bui"), QString("     0").repeated(32));

    e.ID = 901;
    e.PatientID = 5;
    e.Row = 9;
    e.CommentID = 2;
    e.Comment = "基本治療終了時";
    e.IsPrinted = true;
    for (auto [cell, value] : {std::pair{0, 0}, {47, 255}, {48, 5}, {191, 12}})
        e.setBData(cell, std::uint8_t(value));
    e.setNBui(0, kMissingTooth);
    e.setNBui(1, kImplant);
    e.setNBui(31, kDeciduous | kMissingTooth);
    const CExamData back = put(e, "SELECT * FROM TExamData WHERE ID=901");
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

TEST(ExamEncodingTest, ShortTextsBoundedAccessorsAndRemainingTeeth) {
    std::array<std::uint8_t, kCells> cells;
    decodeCells(QString("  7").repeated(191) + " 9", cells); // 575 characters
    EXPECT_EQ(cells[190], 7);
    EXPECT_EQ(cells[191], 9);
    decodeCells("  1  2", cells);
    EXPECT_EQ(cells[1], 2);
    EXPECT_EQ(cells[2], 0); // beyond the text: 0
    EXPECT_THROW(decodeCells("  1 x2", cells), RuntimeError);
    std::array<std::uint16_t, kTeeth> words;
    words.fill(7);
    decodeStatusWords("", words);
    EXPECT_EQ(words, (std::array<std::uint16_t, kTeeth>{}));
    decodeStatusWords("-32768", words);
    EXPECT_EQ(words[0], 0x8000);

    CExamData e;
    EXPECT_EQ(e.bData(191), kNoValue); // a new object starts empty
    e.setBData(192, 5);
    e.setBData(-1, 5);
    e.setNBui(32, 1);
    EXPECT_EQ(e.bData(192), 0);
    EXPECT_EQ(e.bData(-1), 0);
    EXPECT_EQ(e.nBui(32), 0);

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
    EXPECT_EQ(status, (std::array<std::uint16_t, kTeeth>{}));
    EXPECT_EQ(slot(Slot::Member).open, 0);
}

TEST_F(ExamRecordTest, ItemDefinitionColoursRoundTripAndPairExam) {
    // A value at a threshold takes the next band's grey level; colours 2 and 3 stay as set.
    CSubExam c;
    c.setValueColor(1, 0x000000FF);
    c.setValueColor(2, 0x00123456);
    for (int i = 0; i < 4; ++i)
        c.setBrightness(i, 0x10 * (i + 1));
    for (auto [i, part] : {std::pair{0, 1}, {1, 5}, {2, 9}})
        c.setGradationPart(i, part);
    for (auto [value, grey] : {std::pair{0, 0x10u}, {1, 0x20u}, {4, 0x20u}, {5, 0x30u}, {9, 0x40u}})
        EXPECT_EQ(c.GetColorByValue(value, 1), 0xFFu | grey << 8 | grey << 16) << value;
    EXPECT_EQ(c.GetColorByValue(9, 2), 0x00123456u);
    EXPECT_EQ(c.BtnVal(10), 0);
    c.setBtnName(5, "x");
    EXPECT_EQ(c.BtnName(5), QString());

    // The template's pocket item: bands from 4 and 6 mm; its definition round-trips.
    CSubExam pocket = get<CSubExam>("SELECT * FROM TSubExam WHERE ID=2");
    EXPECT_EQ(pocket.Mode, 3);
    EXPECT_EQ(pocket.GradationPart(1), 4);
    EXPECT_EQ(pocket.GradationPart(2), 6);
    pocket.ID = 50;
    pocket.CEJ = 3;
    pocket.setBtnVal(9, 16);
    pocket.setSubName(2, "sub");
    const CSubExam back = put(pocket, "SELECT * FROM TSubExam WHERE ID=50");
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
    const QString sql = "SELECT * FROM TCharge WHERE ID=1";
    CCharge staff = get<CCharge>(sql);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(staff.PocketPosition(i), 1);
    EXPECT_EQ(staff.PocketVector.size(), 32);
    EXPECT_EQ(staff.PocketVectorKihon.size(), 48);

    // An empty plaque order reads "33"; the site-order text is padded to 48 only for
    // the tooth-by-tooth style.
    direct()->execute(
        "UPDATE TCharge SET PlaquePosition=NULL, PocketPatternKihon=1, PocketVectorKihon='BDBC', "
        "PocketPosition='  1  0  1' WHERE ID=1");
    staff = get<CCharge>(sql);
    EXPECT_EQ(staff.PlaquePosition, "33");
    EXPECT_EQ(staff.PocketVectorKihon, QString("BDBC").leftJustified(48, ' '));
    EXPECT_EQ(staff.PocketPosition(1), 0);
    EXPECT_EQ(staff.PocketPosition(5), 0); // beyond the text
    direct()->execute("UPDATE TCharge SET PlaquePosition='', PocketPatternKihon=0 WHERE ID=1");
    staff = get<CCharge>(sql);
    EXPECT_EQ(staff.PlaquePosition, "33");
    EXPECT_EQ(staff.PocketVectorKihon, "BDBC");

    staff.setPocketPosition(4, 0);
    staff.setPocketPositionKihon(6, 1); // outside: ignored
    put(staff, sql, false);
    EXPECT_EQ(scalar("SELECT PocketPosition FROM TCharge WHERE ID=1").toString(), "  1  0  1  0  0  0");
    EXPECT_EQ(scalar("SELECT PlaquePosition FROM TCharge WHERE ID=1").toString(), "33");
}

// The template's sample examinations: every stage of both patients, with the features
// the sheets show, in consistent values.
TEST_F(ExamRecordTest, SampleExaminationsAreCompleteAndConsistent) {
    QMap<QString, CExamData> depths; // the pocket row of each examination, by patient and date
    QList<CExamData> all;
    OpenMemberDb();
    for (db::Recordset rs(memberConn(), "SELECT * FROM TExamData WHERE PatientID IN (98,99) ORDER BY ID");
         !rs.eof(); rs.moveNext()) {
        all << CExamData();
        all.last().RecSetGet(rs);
        if (all.last().Row == 0)
            depths[QString::number(all.last().PatientID) + all.last().ExamDate.toString()] = all.last();
    }
    CloseMemberDb();
    ASSERT_EQ(all.size(), 48); // 2 patients x 4 stages x 6 rows
    QMap<int, QSet<int>> stages;
    std::uint16_t anyStatus = 0;
    QSet<int> seen; // rows 9 and 10, items 1, 3 and 13 with a non-zero value somewhere
    for (const CExamData& e : all) {
        const CExamData& d = depths[QString::number(e.PatientID) + e.ExamDate.toString()];
        stages[e.PatientID].insert(e.CommentID);
        EXPECT_EQ(e.statusWords(), d.statusWords()); // one status per examination
        for (int t = 0; t < kTeeth; ++t) {
            anyStatus |= e.nBui(t);
            const bool noPlaqueTooth = e.SubExam == 3 && !isRemainingTooth(e.nBui(t));
            EXPECT_TRUE(!noPlaqueTooth || e.bData(t + 48) == 15) << t; // not examined
        }
        for (int i = 0; i < kCells; ++i) {
            const int v = e.bData(i);
            if (v == kNoValue) continue;
            if (v > 0) seen << (e.Row >= 9 ? e.Row : e.SubExam);
            if (e.Row == 9 || e.Row == 10) {
                ASSERT_EQ(v, 1);
                ASSERT_NE(d.bData(i), kNoValue); // marks only at measured sites
            } else if (e.SubExam == 2) {
                ASSERT_TRUE(isRemainingTooth(e.nBui(i / 6)));
                ASSERT_TRUE(v >= 1 && v <= 12);
            } else if (e.SubExam == 3) {
                ASSERT_TRUE((i < 32 && isRemainingTooth(e.nBui(i)) && e.bData(i + 48) == 0) ||
                            (i >= 48 && i < 80));
            } else if (e.SubExam == 13) {
                ASSERT_GE(FurcationKind(i / 6), 0); // only on teeth with furcations
            }
        }
    }
    EXPECT_EQ(stages[98], (QSet<int>{1, 2, 3, 4}));
    EXPECT_EQ(stages[99], (QSet<int>{1, 2, 3, 4}));
    for (std::uint16_t flag : {kMissingTooth, kImplant, kPontic, kDeciduous})
        EXPECT_TRUE(anyStatus & flag) << flag;
    EXPECT_EQ(seen, (QSet<int>{1, 2, 3, 9, 10, 13}));
}

} // namespace
