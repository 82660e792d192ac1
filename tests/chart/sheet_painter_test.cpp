// The millimetre painter, the names a sheet is filed under and the chart pieces, each
// against values worked out by hand. Text positions are read back from a PDF.
#include "chart/SheetChart.h"
#include "chart/SheetFigures.h"
#include "chart/SheetPainter.h"
#include "exam/CExamData.h"
#include "sheet_fixture.h"

#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>

using namespace kvr;
using namespace kvr::test;

namespace {

// IPAGothic ("ＭＳ ゴシック") is monospaced: a full-width character is one em, a
// half-width one half an em; 10 pt = 3.527778 mm.
constexpr double kEm10 = 10 * 25.4 / 72;

class SheetPainterTest : public ::testing::Test {
protected:
    void SetUp() override { installTestServices(); }
    // Draws on one A4 PDF page in millimetres and returns its words.
    QList<PdfWord> drawn(const std::function<void(SheetPainter&)>& draw) {
        const QString path = dir.path() + "/p.pdf";
        {
            QPdfWriter w(path);
            w.setPageSize(QPageSize(QPageSize::A4));
            w.setPageMargins(QMarginsF(0, 0, 0, 0));
            QPainter p(&w);
            SheetPainter::toMillimetres(p, w);
            SheetPainter sp(p);
            sp.InitPrinter();
            sp.setFont(kGothic, 10);
            draw(sp);
        }
        return pdfWords(path);
    }
    QTemporaryDir dir;
};

TEST_F(SheetPainterTest, FontTableMapsTheFourSheetFonts) {
    const QList<QPair<QString, QString>> table = {{"ＭＳ Ｐ明朝", "IPAPMincho"},
                                                  {"ＭＳ 明朝", "IPAMincho"},
                                                  {"ＭＳ Ｐゴシック", "IPAPGothic"},
                                                  {"ＭＳ ゴシック", "IPAGothic"},
                                                  {"IPAGothic", "IPAGothic"}};
    for (const auto& [name, family] : table)
        EXPECT_EQ(SheetFontFamily(name), family) << name.toStdString();
}

// Fitting grows from 4 pt in steps of 0.6 while the rounded text width and height stay
// below the rounded box, then steps back 0.7. "ＡＢＣ" is 3 em = 1.058333 mm per point:
// box 30: the first size reaching 29.5 mm is 28.0 (27.4 gives 28.998) -> 27.3;
// box 10: 9.4 pt gives 9.95 -> rounds to 10 -> 8.7; box 5: 4.6 pt (4.87 -> 5) -> 3.9.
TEST_F(SheetPainterTest, FitFontSizeStepsAsWorkedOut) {
    QPdfWriter w(dir.path() + "/f.pdf");
    QPainter p(&w);
    SheetPainter sp(p);
    sp.setFont(kGothic, 10);
    const struct {
        double box;
        double size;
    } cases[] = {{30, 27.3}, {10, 8.7}, {5, 3.9}};
    for (const auto& c : cases) {
        EXPECT_NEAR(sp.FitFontSize("ＡＢＣ", c.box, c.box), c.size, 1e-6) << c.box;
        EXPECT_EQ(sp.fontSize(), 10); // the current size is kept
    }
    // The height limit stops the growth too: the text cell is one em, which rounds to
    // 3 mm from 7.09 pt on; 7.0 pt (2.47 mm) still grows, 7.6 pt stops -> 6.9.
    EXPECT_NEAR(sp.FitFontSize("ＡＢＣ", 100, 3), 6.9, 1e-6);
}

TEST_F(SheetPainterTest, PrintTextPlacesAndSpreadsAsWorkedOut) {
    const double w3 = 3 * kEm10; // "ＡＢＣ" at 10 pt
    struct Case {
        const char* name;
        std::function<void(SheetPainter&)> draw;
        QList<QPair<QString, double>> xs; // word and its left edge
        double top;
    };
    const QList<Case> cases = {
        {"left", [](SheetPainter& sp) { sp.PrintText(20, 40, 60, 0, "ＡＢＣ", false, 10, AlignLeft); },
         {{"ＡＢＣ", 20.0}}, 40.0},
        {"right", [](SheetPainter& sp) { sp.PrintText(20, 40, 60, 0, "ＡＢＣ", false, 10, AlignRight); },
         {{"ＡＢＣ", 80.0 - w3}}, 40.0},
        {"right, half-width: half an em each", [](SheetPainter& sp) { sp.PrintText(20, 40, 60, 0, "AB12", false, 10, AlignRight); },
         {{"AB12", 80.0 - 2 * kEm10}}, 40.0},
        {"centred in a box", [](SheetPainter& sp) { sp.PrintText(20, 40, 60, 10, "ＡＢＣ", false, 10, AlignCenter); },
         {{"ＡＢＣ", 20.0 + (60 - w3) / 2}}, 40.0 + (10 - kEm10) / 2},
        {"spread, first four",
         [](SheetPainter& sp) { sp.PrintText(20, 40, 40, 0, "ＡＢＣＤＥ", false, 10, AlignLeft, Qt::black, 4); },
         {{"Ａ", 20.0}, {"Ｂ", 30.0}, {"Ｃ", 40.0}, {"Ｄ", 50.0}}, 40.0},
        {"spread, last four when right-aligned",
         [](SheetPainter& sp) { sp.PrintText(20, 40, 40, 0, "ＡＢＣＤＥ", false, 10, AlignRight, Qt::black, 4); },
         {{"Ｂ", 20.0}, {"Ｃ", 30.0}, {"Ｄ", 40.0}, {"Ｅ", 50.0}}, 40.0},
        {"shorter than the count: one piece",
         [](SheetPainter& sp) { sp.PrintText(20, 40, 40, 0, "ＡＢＣ", false, 10, AlignRight, Qt::black, 4); },
         {{"ＡＢＣ", 60.0 - w3}}, 40.0},
        {"fit never grows past the given size",
         [](SheetPainter& sp) { sp.PrintText(20, 40, 60, 0, "ＡＢＣ", true, 10, AlignRight); },
         {{"ＡＢＣ", 80.0 - w3}}, 40.0},
        {"fit shrinks to the box: 3.9 pt in 5 mm",
         [](SheetPainter& sp) { sp.PrintText(20, 40, 5, 0, "ＡＢＣ", true, 10, AlignRight); },
         {{"ＡＢＣ", 25.0 - 3 * 3.9 * 25.4 / 72}}, 40.0},
    };
    for (const Case& c : cases) {
        const QList<PdfWord> words = drawn(c.draw);
        ASSERT_EQ(words.size(), c.xs.size()) << c.name;
        for (int i = 0; i < words.size(); ++i) {
            EXPECT_EQ(words[i].text, c.xs[i].first) << c.name;
            EXPECT_NEAR(words[i].xMin, c.xs[i].second, 0.05) << c.name;
            EXPECT_NEAR(words[i].yMin, c.top, 0.05) << c.name;
        }
    }
}

// The graph in units of 1/64 of the jaw: tooth j's sites stand at 4j + 1..3 by their place,
// quadrants 0 and 2 are visited mesial (place 2) to distal. The sheet puts those points on
// its strip, the two stages of a pair 0.12 mm apart.
TEST(PocketGraph, PointsStandAtTheirChartPlacesInVisitingOrder) {
    ChartStageData s;
    s.HasData = true;
    for (int site = 0; site < 6; ++site)
        s.Ppd[site] = std::uint8_t(site + 1); // tooth 18: 1..6 mm
    s.Ppd[8 * 6 + 0] = 7;                     // tooth 21, first row 7, 8, 9
    s.Ppd[8 * 6 + 1] = 8;
    s.Ppd[8 * 6 + 2] = 9;
    s.Ppd[18 * 6 + 3] = 15; // tooth 46: deeper than the limit; site 4 unmeasured
    s.Ppd[18 * 6 + 5] = 2;
    const struct {
        int jaw, row;
        QList<QPointF> points;
    } cases[] = {
        {0, 0, {{3, 3}, {2, 2}, {1, 1}, {33, 7}, {34, 8}, {35, 9}}},
        {0, 1, {{3, 6}, {2, 5}, {1, 4}}},
        {1, 1, {{11, 2}, {9, 13}}},
        {1, 0, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PocketGraphPoints(s, c.jaw, c.row, 13), c.points) << c.jaw << " " << c.row;

    // A strip from x = 10, two millimetres a unit, zero line at y = 100, depths upwards
    // and limited to 10.5 mm, or downwards.
    PocketGraphGeometry g;
    g.left = 10;
    g.width = 128;
    g.zeroY = 100;
    EXPECT_EQ(SheetGraphPoints(g, s, 1, 1, 0), (std::vector<QPointF>{{31.88, 98}, {27.88, 89.5}}));
    g.direction = 1;
    EXPECT_EQ(SheetGraphPoints(g, s, 1, 1, 1), (std::vector<QPointF>{{32.12, 102}, {28.12, 110.5}}));
    s.HasData = false;
    EXPECT_TRUE(PocketGraphPoints(s, 0, 0, 13).isEmpty());
}

TEST_F(SheetPainterTest, FurcationMarksByToothKind) {
    ChartStageData s;
    s.HasData = true;
    for (int t : {1, 3, 17, 7})
        for (int site = 0; site < 6; ++site)
            s.Furcation[t * 6 + site] = std::uint8_t(site % 4); // 0, 1, 2, 3, 0, 1
    auto marks = [&](int tooth) {
        QStringList out;
        for (const auto& m : FurcationMarks(s, tooth))
            out << QString::number(m.site) + m.text;
        return out;
    };
    EXPECT_EQ(marks(1), QStringList({"1Ⅰ", "3Ⅲ", "5Ⅰ"})); // upper molar
    EXPECT_EQ(marks(3), QStringList({"0 ", "2Ⅱ"}));        // upper premolar
    EXPECT_EQ(marks(17), QStringList({"1Ⅰ", "4 "}));       // lower molar
    EXPECT_EQ(marks(7), QStringList({"4 "}));               // no furcation kind: site 4 only
    EXPECT_TRUE(marks(2).isEmpty());                        // nothing entered
}

} // namespace
