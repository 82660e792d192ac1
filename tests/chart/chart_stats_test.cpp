#include "chart/ChartStats.h"
#include "chart/SheetFigures.h"
#include "exam/CExamData.h"
#include "platform/passwords.h"
#include "support/test_services.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kvr;

namespace {

constexpr int N = kNoValue;

void setTooth(SiteBytes& a, int tooth, std::array<int, 6> v) {
    for (int s = 0; s < 6; ++s)
        a[tooth * 6 + s] = std::uint8_t(v[s]);
}

ChartStageData emptySlot() {
    ChartStageData d;
    d.HasData = true;
    return d;
}

class ChartStatsTest : public ::testing::Test {
protected:
    void SetUp() override { test::installTestServices(); }
    QString total = "x", mean = "x", low = "x", mid = "x", high = "x";
    qint16 summarize(const SiteBytes& d, int style) {
        return SummarizePocketDepths(d, 4, 7, style, total, mean, low, mid, high);
    }
};

TEST_F(ChartStatsTest, PocketDepthBandsAndTexts) {
    SiteBytes d;
    d.fill(N);
    setTooth(d, 3, {0, 3, 4, 6, 7, 9}); // 0 is measured and low; 4 = G1 middle; 7 = G2 high
    EXPECT_EQ(summarize(d, 1), 6);
    EXPECT_EQ(QStringList({total, mean, low, mid, high}),
              QStringList({"6", "4.8", "2 (33.3%)", "2 (33.3%)", "2 (33.3%)"})); // mean 29 / 6
    summarize(d, 0);
    EXPECT_EQ(
        QStringList({total, mean, low, mid, high}),
        QStringList({"PD総数：6", "PD平均：4.8", "1-3㎜：2(33.3%)", "4-6㎜：2(33.3%)", "7㎜-：2(33.3%)"}));
    setTooth(d, 3, {2, 2, 2, 2, 2, 3}); // 13 / 6 = 2.1666..
    summarize(d, 2);
    EXPECT_EQ(QStringList({mean, low, high}), QStringList({"2.2", "6\r\n(100.0%)", "0\r\n(0.0%)"}));
    d.fill(N); // no measured site: only the total text
    EXPECT_EQ(summarize(d, 1), 0);
    EXPECT_EQ(QStringList({total, mean, low, mid, high}), QStringList({"0", "", "", "", ""}));

    EXPECT_EQ(BandHeadings(1, 4, 7, false), (std::array<QString, 3>{"1-3mm", "4-6mm", "7mm以上"}));
    EXPECT_EQ(BandHeadings(1, 4, 7, true), (std::array<QString, 3>{"1-3㎜", "4-6㎜", "7㎜以上"}));
}

TEST_F(ChartStatsTest, TeethBleedingAndImplants) {
    ChartStageData s = emptySlot();
    for (int t = 17; t < 32; ++t)
        s.ToothStatus[t] = kMissingTooth;
    s.ToothStatus[5] = kDeciduous;                // still a remaining tooth
    s.ToothStatus[6] = kOtherExcluded;            // likewise
    s.ToothStatus[16] = kImplant;                 // implant with bleeding
    s.ToothStatus[20] = kMissingTooth | kImplant; // a missing implant still counts as an implant
    s.ToothStatus[21] = 0;                        // remaining, depths not measured
    for (int t = 0; t < 16; ++t)
        setTooth(s.Ppd, t, {3, 3, 3, 3, 3, 3});
    for (int i = 0; i < 12; ++i)
        s.Bop[i * 8] = 1; // 12 bleeding sites over teeth 0..15
    setTooth(s.Ppd, 16, {5, 5, 5, 5, 5, 5});
    setTooth(s.Bop, 16, {1, 1, 1, 1, 1, 1});
    setTooth(s.Bop, 21, {1, 1, 1, 1, 1, 1}); // bleeding without a depth is ignored

    EXPECT_TRUE(IsPresentTooth(s, 21));
    EXPECT_FALSE(IsPresentTooth(s, 16));
    EXPECT_FALSE(IsCountedTooth(s, 16));
    EXPECT_TRUE(IsCountedTooth(s, 16, true));
    EXPECT_EQ(QStringList({PresentToothText(s), ImplantText(s), BopText(s)}),
              QStringList({"17", "2", "12 (12.5%)"})); // 12 of 96 sites bleed
    EXPECT_EQ(summarize(PocketDepthInput(s), 1), 96);
    ToothAreas pesa, pisa;
    ASSERT_TRUE(CalcPisa(PocketDepthInput(s), BleedingInput(s), pesa, pisa));
    EXPECT_EQ(pesa[16], 0.0);
    EXPECT_EQ(pisa[16], 0.0);

    const ChartStageData none;
    EXPECT_FALSE(IsPresentTooth(none, 0));
    EXPECT_EQ(QStringList({PresentToothText(none), ImplantText(none), BopText(none), PcrText(none),
                           BopText(emptySlot())}),
              QStringList({"", "", "", "", ""})); // the last: no measured site
}

TEST_F(ChartStatsTest, PlaqueControlRecord) {
    ChartStageData s = emptySlot();
    EXPECT_EQ(PcrText(s), "0%"); // no tooth examined
    s.Plaque[0] = 0;             // examined, no plaque: 4 surfaces
    s.Plaque[1] = 1 | 4;         // 2 of 4
    s.Plaque[2] = 15;            // 4 of 4
    s.Plaque[3] = 128 | 1;       // not examined
    s.Plaque[4] = 15;
    s.ToothStatus[4] = kPontic;     // not a remaining tooth
    EXPECT_EQ(PcrText(s), "50.0%"); // 6 of 12
    s.Plaque[0] = 8;
    EXPECT_EQ(PcrText(s), "58.3%"); // 7 of 12
}

// PESA and PISA worked by hand. Every tooth below has x = 2 (its capped depths sum
// to 12 over six), so PESA = 2c1 + 4c2 + 8c3 + 16c4 + 32c5 + 64c6 with the tooth's
// coefficients, for example:
//  1 upper 2nd molar  50.8530 + 18.4964 - 24.6296 + 15.32384 - 3.49536 + 0.2616064       = 56.8098864
// 30 lower 2nd molar  93.2296 - 172.6232 + 134.06224 - 39.81728 + 5.17568 - 0.2487872   = 19.7782528
// and likewise for one tooth of every other kind, both jaws.
// Third molar 0: depths 3 x 6 -> x = 3 = PESA. Tooth 2 has no depth: 0.
// PISA = (bleeding measured sites / 6) * PESA: bleeding marked at an unmeasured site is ignored.
TEST_F(ChartStatsTest, PisaAndPesaAgainstHandWorkedValues) {
    struct Case {
        int tooth;
        std::array<int, 6> depth;
        int bleeding; // first sites marked
        double pesa;
    };
    const Case cases[] = {
        {1, {2, 2, 2, 2, 2, 2}, 0, 56.8098864},   {13, {3, 3, 3, 3, 0, 0}, 1, 42.3876016},
        {3, {4, 4, 4, N, N, N}, 6, 57.404536}, // three sites, still / 6
        {11, {12, 0, 0, 0, 0, 0}, 2, 38.1438016}, {5, {15, 0, 0, 0, 0, 0}, 3, 37.6620752}, // 15 counts as 12
        {9, {1, 1, 1, 3, 3, 3}, 4, 34.044808},    {7, {6, 6, N, N, N, N}, 5, 28.7190288},
        {30, {2, 2, 2, 2, 2, 2}, 6, 19.7782528},  {18, {200, 0, 0, 0, 0, 0}, 1, 22.7151696},
        {28, {2, 2, 2, 2, 2, 2}, 2, 39.4999056},  {20, {0, 0, 0, 4, 4, 4}, 3, 38.5874944},
        {26, {2, 2, 2, 2, 2, 2}, 4, 39.7053312},  {22, {1, 2, 3, 3, 2, 1}, 5, 31.2281296},
        {24, {5, 5, 2, N, 0, N}, 0, 30.4523776},  {0, {3, 3, 3, 3, 3, 3}, 2, 3.0},
        {2, {N, N, N, N, N, N}, 1, 0.0},
    };
    SiteBytes depth, bleeding;
    depth.fill(N);
    bleeding.fill(0);
    for (const Case& c : cases) {
        setTooth(depth, c.tooth, c.depth);
        for (int s = 0; s < c.bleeding; ++s)
            bleeding[c.tooth * 6 + s] = 1;
    }
    ToothAreas pesa, pisa;
    ASSERT_TRUE(CalcPisa(depth, bleeding, pesa, pisa));
    double pesaSum = 0, pisaSum = 0;
    for (const Case& c : cases) {
        int b = 0;
        for (int s = 0; s < c.bleeding; ++s)
            b += c.depth[s] != N;
        EXPECT_NEAR(pesa[c.tooth], c.pesa, 1e-9) << "tooth " << c.tooth;
        EXPECT_NEAR(pisa[c.tooth], b / 6.0 * c.pesa, 1e-9) << "tooth " << c.tooth;
        pesaSum += c.pesa;
        pisaSum += b / 6.0 * c.pesa;
    }
    EXPECT_NEAR(pesa[32], pesaSum, 1e-9);
    EXPECT_NEAR(pisa[32], pisaSum, 1e-9);

    EXPECT_EQ(PisaSumText(56.8098864), "  56.8");
    EXPECT_EQ(PisaSumText(0), "   0.0");
    EXPECT_EQ(PisaSumText(1234.56), "1234.6");
    EXPECT_EQ(PisaSumText(12345.67), "2345.7"); // seven characters keep their last six
}

// One tooth (13, upper canine) with six 16 mm pockets, all bleeding, plaque on all four
// surfaces; every other tooth missing. Whether its figures count follows its status word:
// only a remaining tooth counts; an implant counts in the implant column alone. 16 mm
// counts as 16 for the mean and the bands but as 12 for PESA/PISA.
TEST_F(ChartStatsTest, EveryFigureByToothStatus) {
    // PESA of an upper canine at x = 12: 16.5369*12 + 1.601*144 - 0.2494*1728 + 0.01087*20736
    // + 0.00021*248832 - 0.0000182*2985984 = 221.3337312; all six sites bleed, PISA the same.
    const QStringList counted = {"1", "0", "6", "16.0", "0 (0.0%)", "0 (0.0%)", "6 (100.0%)", "6 (100.0%)",
                                 " 221.3", " 221.3", "100.0%"};
    const struct {
        const char* name;
        std::uint16_t status;
        QStringList figures; // teeth, implants, PPD count, mean, 3 bands, BOP, PISA, PESA, PCR
    } cases[] = {
        {"remaining", 0, counted},
        {"deciduous", kDeciduous, counted},
        {"further condition 0x1000", kOtherExcluded, counted},
        {"missing", kMissingTooth, {"0", "0", "0", "", "", "", "", "", "   0.0", "   0.0", "0%"}},
        {"pontic", kPontic, {"0", "0", "0", "", "", "", "", "", "   0.0", "   0.0", "0%"}},
        {"implant", kImplant, {"0", "1", "0", "", "", "", "", "", "   0.0", "   0.0", "0%"}},
        {"implant also flagged missing", kImplant | kMissingTooth,
         {"0", "1", "0", "", "", "", "", "", "   0.0", "   0.0", "0%"}},
    };
    for (const auto& c : cases) {
        ChartStageData st = emptySlot();
        st.ToothStatus.fill(kMissingTooth);
        st.ToothStatus[5] = c.status;
        setTooth(st.Ppd, 5, {16, 16, 16, 16, 16, 16});
        setTooth(st.Bop, 5, {1, 1, 1, 1, 1, 1});
        st.Plaque[5] = 0x0F;
        const StageFigures f = StageFiguresOf(st, {1, 4, 7});
        EXPECT_EQ(QStringList({f.teeth, f.implants, f.ppdCount, f.ppdMean, f.bands[0], f.bands[1], f.bands[2], f.bop,
                               f.pisa, f.pesa, f.pcr}),
                  c.figures)
            << c.name;
    }
    // A stage without data shows no figure at all, not a zero.
    const StageFigures none = StageFiguresOf(ChartStageData(), {1, 4, 7});
    EXPECT_EQ(QStringList({none.date, none.teeth, none.implants, none.ppdCount, none.ppdMean, none.bop, none.pisa,
                           none.pcr}),
              QStringList({"", "", "", "", "", "", "", ""}));
}

// One-decimal figures at a .x5 boundary round half away from zero, as a person checks
// them by hand: 1 of 80 sites is 1.25 % -> "1.3", 49 mm over 4 sites 12.25 -> "12.3".
TEST_F(ChartStatsTest, FiguresRoundHalfUpAtTheBoundary) {
    ChartStageData st = emptySlot();
    st.ToothStatus.fill(kMissingTooth);
    st.Bop.fill(0);
    for (int t = 0; t < 20; ++t) { // 20 teeth, four measured sites each: 80 sites, 80 surfaces
        st.ToothStatus[t] = 0;
        setTooth(st.Ppd, t, {2, 2, 2, 2, N, N});
        st.Plaque[t] = 0;
    }
    st.Ppd[0] = 7; // one site in the high band
    st.Bop[0] = 1; // one bleeding site
    st.Plaque[0] = 1; // one plaque surface
    const StageFigures f = StageFiguresOf(st, {1, 4, 7});
    EXPECT_EQ(QStringList({f.bands[0], f.bands[2], f.bop, f.pcr}),
              QStringList({"79 (98.8%)", "1 (1.3%)", "1 (1.3%)", "1.3%"}));
    SiteBytes d;
    d.fill(N);
    setTooth(d, 3, {12, 12, 12, 13, N, N});
    summarize(d, 1);
    EXPECT_EQ(mean, "12.3");

    const struct {
        double sum;
        const char* text;
    } sums[] = {{0.05, "   0.1"}, {0.15, "   0.2"}, {0.25, "   0.3"}, {12.25, "  12.3"},
                {9.95, "  10.0"}, {0.04999, "   0.0"}, {999.95, "1000.0"}, {0, "   0.0"}};
    for (const auto& c : sums)
        EXPECT_EQ(PisaSumText(c.sum), c.text) << c.sum;
}

// ---- stage loading and the database checks ----

class ChartStatsDbTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::installTestServices();
        const QString path = dir.path() + "/KVR-DB-123456.MDB";
        ASSERT_TRUE(QFile::copy(test::builtAppFolder() + "/KVR-DB_ORG.MDB", path));
        conn = db::Connection::open(path, kProgramPassword);
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
    static SiteBytes filled(std::uint8_t v) {
        SiteBytes a;
        a.fill(v);
        return a;
    }
    QTemporaryDir dir;
    db::ConnectionPtr conn;
    int nextId = 1000;
};

TEST_F(ChartStatsDbTest, LoadsTheEarliestExaminationOfTheStage) {
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

TEST_F(ChartStatsDbTest, InitialCaseCriterion) {
    QString pct = "x", count = "x";
    EXPECT_TRUE(CheckInitialCaseCriteria(conn, 5, pct, count)); // no row: 192 sites of 0 mm
    EXPECT_EQ(QStringList({pct, count}), QStringList({"0.0", "0"}));

    // Teeth 0..9 remaining (60 sites): 18 of 4 mm or more (30.0%), 3 of them 6 mm or more.
    std::array<std::uint16_t, 32> bui{};
    for (int t = 10; t < 32; ++t)
        bui[t] = t % 3 == 0 ? kMissingTooth : t % 3 == 1 ? kPontic : kImplant;
    SiteBytes ppd = filled(9); // deep sites of excluded teeth do not count
    for (int i = 0; i < 60; ++i)
        ppd[i] = i < 15 ? 4 : i < 18 ? 6 : 2;
    addRow(QDate(2024, 1, 10), 0, 2, 1, ppd, bui);
    EXPECT_FALSE(CheckInitialCaseCriteria(conn, 5, pct, count));
    EXPECT_EQ(QStringList({pct, count}), QStringList({"30.0", "3"}));

    clearRows();
    ppd[17] = 5; // only two sites of 6 mm or more
    addRow(QDate(2024, 1, 10), 0, 2, 1, ppd, bui);
    EXPECT_TRUE(CheckInitialCaseCriteria(conn, 5, pct, count));
    EXPECT_EQ(QStringList({pct, count}), QStringList({"30.0", "2"}));

    clearRows();
    addRow(QDate(2024, 1, 10), 0, 2, 1, filled(N));
    EXPECT_TRUE(CheckInitialCaseCriteria(conn, 5, pct, count));
    EXPECT_EQ(QStringList({pct, count}), QStringList({"0", "0"}));
}

TEST_F(ChartStatsDbTest, StagePeriodUsesCalendarMonths) {
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
