// A stage's figures against values worked out by hand, and the checks read from the database.
#include "chart/ChartStats.h"
#include "chart/SheetFigures.h"
#include "data/member_db_fixture.h"
#include "exam/CExamData.h"

using namespace kvr;

namespace {

constexpr int N = kNoValue;

void setTooth(SiteBytes& a, int tooth, std::array<int, 6> v) {
    for (int s = 0; s < 6; ++s)
        a[tooth * 6 + s] = std::uint8_t(v[s]);
}

SiteBytes filled(std::uint8_t v) {
    SiteBytes a;
    a.fill(v);
    return a;
}
// Tooth 13 (index 5) of the given status with the given depths, every site bleeding, plaque
// on all four surfaces; every other tooth missing.
ChartStageData oneTooth(std::uint16_t status, std::array<int, 6> depths = {16, 16, 16, 16, 16, 16}) {
    ChartStageData s;
    s.HasData = true;
    s.ToothStatus.fill(kMissingTooth);
    s.ToothStatus[5] = status;
    setTooth(s.Ppd, 5, depths);
    setTooth(s.Bop, 5, {1, 1, 1, 1, 1, 1});
    s.Plaque[5] = 0x0F;
    return s;
}

// No depth; plaque on 1, 2 and 4 of 4 surfaces of three teeth, a tooth not examined (128 + 1)
// and a pontic with plaque: 7 of 12.
ChartStageData plaqueStage() {
    ChartStageData s;
    s.HasData = true;
    s.Plaque[0] = 8;
    s.Plaque[1] = 1 | 4;
    s.Plaque[2] = 15;
    s.Plaque[3] = 128 | 1;
    s.Plaque[4] = 15;
    s.ToothStatus[4] = kPontic;
    return s;
}

// Twenty teeth examined for plaque, one surface with plaque.
ChartStageData onePlaqueIn20() {
    ChartStageData s;
    s.HasData = true;
    for (int t = 0; t < 20; ++t)
        s.Plaque[t] = t == 0 ? 1 : 0;
    return s;
}

// The template database for the checks that read it.
class ChartStatsTest : public test::MemberDbTest {
protected:
    void SetUp() override {
        MemberDbTest::SetUp();
        conn = direct();
    }
    // Adds one examination row of patient 5.
    void addRow(const QDate& date, int row, int item, int stage, const SiteBytes& cells,
                const std::array<std::uint16_t, 32>& bui = {}) {
        CExamData rec;
        rec.ClearBuffer();
        rec.ID = nextId++;
        rec.PatientID = 5;
        rec.ExamDate = QDateTime(date, QTime(0, 0));
        rec.Row = row;
        rec.Examination = 2;
        rec.SubExam = item;
        rec.CommentID = qint16(stage);
        for (int i = 0; i < 192; ++i)
            rec.setBData(i, cells[i]);
        for (int t = 0; t < 32; ++t)
            rec.setNBui(t, bui[t]);
        db::Recordset rs(conn, "SELECT * FROM TExamData WHERE ID=?", {rec.ID}, db::OpenMode::Write);
        rs.addNew();
        rec.RecSetPut(rs);
        rs.update();
    }
    void clearRows() { conn->execute("DELETE FROM TExamData WHERE PatientID=5"); }
    db::ConnectionPtr conn;
    int nextId = 1000;
};

// Only a remaining tooth counts; an implant counts in the implant column alone; 16 mm counts
// as 16 for the mean and the bands (below 4, 4..6, from 7) but as 12 for PESA/PISA: an upper
// canine at x = 12 gives 16.5369*12 + 1.601*144 - 0.2494*1728 + 0.01087*20736 + 0.00021*248832
// - 0.0000182*2985984 = 221.3337312, all six sites bleed, PISA the same. Bleeding marked at an
// unmeasured site does not count. One-decimal figures round half up.
TEST_F(ChartStatsTest, EveryFigureOfAStageAsWorkedOut) {
    const QStringList counted = {"1", "0", "6", "16.0", "0 (0.0%)", "0 (0.0%)", "6 (100.0%)", "6 (100.0%)",
                                 " 221.3", " 221.3", "100.0%"};
    const QStringList none = {"0", "0", "0", "", "", "", "", "", "   0.0", "   0.0", "0%"};
    const QStringList implant = {"0", "1", "0", "", "", "", "", "", "   0.0", "   0.0", "0%"};
    const struct {
        const char* name;
        ChartStageData stage;
        QStringList figures; // teeth, implants, PPD count, mean, 3 bands, BOP, PISA, PESA, PCR; "*" unchecked
    } cases[] = {
        {"remaining", oneTooth(0), counted},
        {"deciduous", oneTooth(kDeciduous), counted},
        {"further condition 0x1000", oneTooth(kOtherExcluded), counted},
        {"missing", oneTooth(kMissingTooth), none},
        {"pontic", oneTooth(kPontic), none},
        {"implant", oneTooth(kImplant), implant},
        {"implant also flagged missing", oneTooth(kImplant | kMissingTooth), implant},
        {"band limits", oneTooth(0, {0, 3, 4, 6, 7, 9}), // mean 29 / 6
         {"1", "0", "6", "4.8", "2 (33.3%)", "2 (33.3%)", "2 (33.3%)", "6 (100.0%)", "*", "*", "100.0%"}},
        {"mean 12.25, two sites unmeasured", oneTooth(0, {12, 12, 12, 13, N, N}),
         {"1", "0", "4", "12.3", "0 (0.0%)", "0 (0.0%)", "4 (100.0%)", "4 (100.0%)", "*", "*", "100.0%"}},
        {"plaque only", plaqueStage(), {"31", "0", "0", "", "", "", "", "", "   0.0", "   0.0", "58.3%"}},
        {"plaque on 1 of 80 surfaces: 1.25% rounds up", onePlaqueIn20(), QStringList(10, "*") << "1.3%"},
        {"no data", ChartStageData(), QStringList(11, QString())},
    };
    for (const auto& c : cases) {
        const StageFigures f = StageFiguresOf(c.stage, {1, 4, 7});
        QStringList got = {f.teeth, f.implants, f.ppdCount, f.ppdMean, f.bands[0], f.bands[1], f.bands[2],
                           f.bop,   f.pisa,     f.pesa,     f.pcr};
        for (int i = 0; i < got.size(); ++i)
            if (c.figures[i] == "*") got[i] = "*";
        EXPECT_EQ(got, c.figures) << c.name;
    }
}

// PESA and PISA worked by hand. Every tooth below has x = 2 (its capped depths sum
// to 12 over six), so PESA = 2c1 + 4c2 + 8c3 + 16c4 + 32c5 + 64c6 with the tooth's
// coefficients, for example:
//  1 upper 2nd molar  50.8530 + 18.4964 - 24.6296 + 15.32384 - 3.49536 + 0.2616064       = 56.8098864
// 30 lower 2nd molar  93.2296 - 172.6232 + 134.06224 - 39.81728 + 5.17568 - 0.2487872   = 19.7782528
// and likewise for one tooth of every other kind, both jaws.
// Third molars 0 and 31: depths 3 x 6 -> x = 3 = PESA. Tooth 2 has no depth: 0.
// PISA = (bleeding measured sites / 6) * PESA: bleeding marked at an unmeasured site is ignored.
TEST_F(ChartStatsTest, PisaAndPesaAgainstHandWorkedValues) {
    const struct {
        int tooth;
        std::array<int, 6> depth;
        int bleeding; // first sites marked
        double pesa, pisa;
    } cases[] = {
        {1, {2, 2, 2, 2, 2, 2}, 0, 56.8098864, 0},         {13, {3, 3, 3, 3, 0, 0}, 1, 42.3876016, 7.0646002667},
        {3, {4, 4, 4, N, N, N}, 6, 57.404536, 28.702268}, // three sites, still / 6
        {11, {12, 0, 0, 0, 0, 0}, 2, 38.1438016, 12.7146005333},
        {5, {15, 0, 0, 0, 0, 0}, 3, 37.6620752, 18.8310376}, // 15 counts as 12
        {9, {1, 1, 1, 3, 3, 3}, 4, 34.044808, 22.6965386667}, {7, {6, 6, N, N, N, N}, 5, 28.7190288, 9.5730096},
        {30, {2, 2, 2, 2, 2, 2}, 6, 19.7782528, 19.7782528}, {18, {200, 0, 0, 0, 0, 0}, 1, 22.7151696, 3.7858616},
        {28, {2, 2, 2, 2, 2, 2}, 2, 39.4999056, 13.1666352}, {20, {0, 0, 0, 4, 4, 4}, 3, 38.5874944, 19.2937472},
        {26, {2, 2, 2, 2, 2, 2}, 4, 39.7053312, 26.4702208}, {22, {1, 2, 3, 3, 2, 1}, 5, 31.2281296, 26.0234413333},
        {24, {5, 5, 2, N, 0, N}, 0, 30.4523776, 0},        {0, {3, 3, 3, 3, 3, 3}, 2, 3.0, 1.0},
        {31, {3, 3, 3, 3, 3, 3}, 0, 3.0, 0},               {2, {N, N, N, N, N, N}, 1, 0.0, 0},
    };
    SiteBytes depth, bleeding;
    depth.fill(N);
    bleeding.fill(0);
    for (const auto& c : cases) {
        setTooth(depth, c.tooth, c.depth);
        for (int s = 0; s < c.bleeding; ++s)
            bleeding[c.tooth * 6 + s] = 1;
    }
    ToothAreas pesa, pisa;
    ASSERT_TRUE(CalcPisa(depth, bleeding, pesa, pisa));
    double pesaSum = 0, pisaSum = 0;
    for (const auto& c : cases) {
        EXPECT_NEAR(pesa[c.tooth], c.pesa, 1e-9) << "tooth " << c.tooth;
        EXPECT_NEAR(pisa[c.tooth], c.pisa, 1e-9) << "tooth " << c.tooth;
        pesaSum += c.pesa;
        pisaSum += c.pisa;
    }
    EXPECT_NEAR(pesa[32], pesaSum, 1e-9);
    EXPECT_NEAR(pisa[32], pisaSum, 1e-8);

    // Sums right-aligned in six characters, rounded half up; seven characters keep their last six.
    for (auto [sum, text] : {std::pair{0.05, "   0.1"}, {9.95, "  10.0"}, {999.95, "1000.0"}, {12345.67, "2345.7"}})
        EXPECT_EQ(PisaSumText(sum), text) << sum;
}

TEST_F(ChartStatsTest, LoadsTheEarliestExaminationOfTheStage) {
    const QDate first(2024, 1, 10), later(2024, 3, 1);
    std::array<std::uint16_t, 32> bui{};
    bui[0] = kMissingTooth;
    bui[9] = kImplant;
    SiteBytes ppd = filled(3), mob = filled(N), plaque = filled(N);
    ppd[7] = N;
    mob[4] = 2;
    plaque[4] = 5;
    plaque[48 + 4] = 8;
    addRow(later, 0, 2, 1, filled(9), bui); // a later examination of the same stage
    addRow(first, 0, 2, 1, ppd, bui);
    addRow(first, 1, 1, 1, mob, bui);
    addRow(first, 2, 3, 1, plaque, bui);
    addRow(first, 3, 13, 1, filled(2), bui);
    addRow(first, 9, 2, 1, filled(1), bui);
    addRow(first, 10, 2, 1, filled(1), bui);
    addRow(first, 0, 2, 2, filled(7), bui); // another stage

    ChartStageData s;
    s.StageName = "初診時";
    ASSERT_TRUE(LoadChartStage(conn, 5, 1, s));
    EXPECT_EQ(s.ExamDate.date(), first);
    EXPECT_EQ(s.StageName, "初診時");
    // Bleeding and pus are cleared where no depth was measured (site 7).
    EXPECT_EQ(QList<int>({s.Ppd[0], s.Ppd[7], s.Bop[6], s.Bop[7], s.Pus[7], s.Pus[8]}),
              QList<int>({3, N, 1, N, N, 1}));
    EXPECT_EQ(QList<int>({s.Mobility[4], s.Plaque[4], s.PlaqueItemB[4], s.Furcation[100], s.ToothStatus[0]}),
              QList<int>({2, 5, 8, 2, kMissingTooth}));
    // 30 remaining teeth, one site without depth.
    EXPECT_EQ(QStringList({PresentToothText(s), ImplantText(s), BopText(s)}),
              QStringList({"30", "1", "179 (100.0%)"}));

    ASSERT_TRUE(LoadChartStage(conn, 5, 2, s));
    EXPECT_EQ(s.Ppd[0], 7);
    EXPECT_EQ(s.Bop[0], N); // this stage has no bleeding row
    EXPECT_FALSE(LoadChartStage(conn, 5, 3, s));
    EXPECT_FALSE(s.HasData);
    EXPECT_EQ(s.Ppd[0], N);
}

// Over the remaining teeth of stage 1: met (false) from 30 % of sites at 4 mm or more with
// three at 6 mm or more. Teeth 0..9 remain (60 sites); deep sites of excluded teeth do not count.
TEST_F(ChartStatsTest, InitialCaseCriterion) {
    std::array<std::uint16_t, 32> bui{};
    for (int t = 10; t < 32; ++t)
        bui[t] = t % 3 == 0 ? kMissingTooth : t % 3 == 1 ? kPontic : kImplant;
    const struct {
        bool stored;
        int fourMm, sixMm, fiveMm; // sites of 4, 6 and 5 mm, the rest 2 mm
        bool result;
        const char *pct, *count;
    } cases[] = {
        {false, 0, 0, 0, true, "0.0", "0"}, // no row: 192 sites of 0 mm
        {true, 15, 3, 0, false, "30.0", "3"},
        {true, 15, 2, 1, true, "30.0", "2"},
        {true, -1, 0, 0, true, "0", "0"}, // nothing measured
    };
    for (const auto& c : cases) {
        clearRows();
        SiteBytes ppd = filled(c.fourMm < 0 ? N : 9);
        for (int i = 0; i < 60 && c.fourMm >= 0; ++i)
            ppd[i] = i < c.fourMm ? 4 : i < c.fourMm + c.sixMm ? 6 : i < c.fourMm + c.sixMm + c.fiveMm ? 5 : 2;
        if (c.stored) addRow(QDate(2024, 1, 10), 0, 2, 1, ppd, bui);
        QString pct = "x", count = "x";
        EXPECT_EQ(CheckInitialCaseCriteria(conn, 5, pct, count), c.result) << c.pct << c.count;
        EXPECT_EQ(QStringList({pct, count}), QStringList({c.pct, c.count}));
    }
}

TEST_F(ChartStatsTest, StagePeriodUsesCalendarMonths) {
    EXPECT_FALSE(CheckStagePeriod(conn, 5));
    addRow(QDate(2022, 8, 31), 0, 2, 3, filled(N));
    EXPECT_FALSE(CheckStagePeriod(conn, 5)); // no stage 4
    // Stage 3 on 31 August: six months later is the last day of February.
    const std::tuple<QDate, QDate, bool> cases[] = {{QDate(2022, 8, 31), QDate(2023, 2, 27), true},
                                                    {QDate(2022, 8, 31), QDate(2023, 2, 28), false},
                                                    {QDate(2023, 8, 31), QDate(2024, 2, 28), true},
                                                    {QDate(2023, 8, 31), QDate(2024, 2, 29), false}};
    for (auto [stage3, stage4, expected] : cases) {
        clearRows();
        addRow(stage3, 0, 2, 3, filled(N));
        addRow(stage4, 0, 2, 4, filled(N));
        EXPECT_EQ(CheckStagePeriod(conn, 5), expected) << stage4.toString(Qt::ISODate).toStdString();
    }
}

} // namespace
