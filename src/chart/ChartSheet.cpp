// The examination chart sheet: heading, the figure table of the four stages and two
// chart blocks (stages 0 and 1 above, 2 and 3 below); and the blank case-report form.
#include "chart/SheetChart.h"
#include "chart/SheetFigures.h"
#include "chart/SheetPainter.h"
#include "chart/Sheets.h"
#include "chart/ToothPictures.h"
#include "exam/CExamData.h"

#include <QImage>
#include <QPointF>
#include <QRectF>

#include <vector>

namespace kvr {

namespace {

constexpr double kGridLeft = 27.0; // first tooth column
constexpr double kToothW = 10.0;   // one tooth column; 16 per jaw
constexpr double kGridRight = kGridLeft + 16 * kToothW;
constexpr double kCaptionLeft = 10.5;
constexpr double kBlockTops[2] = {50.0, 159.0};
constexpr double kThin = 0.1;

const QColor kGrey(208, 208, 208);
const QColor kRuleGrey(150, 150, 150);

// Figure table: the stage-name column, then one column per figure.
constexpr double kTableTop = 21.0;
constexpr double kTableRowH = 5.0;
constexpr double kTableLeft = 25.0;
constexpr double kTableWidths[9] = {30, 20, 13, 13, 20, 14, 17, 17, 17};

// Rows of a chart block, relative to its top.
constexpr double kLegendH = 3.5;
constexpr double kSmallRowH = 4.0;
struct BandRow {
    double top;
    int jaw;          // 0 upper, 1 lower
    int chartRow;     // 0 first chart row (upper buccal, lower lingual), 1 second
    const char* side; // caption
};
constexpr BandRow kBands[4] = {
    {3.5, 0, 0, "頬側"},
    {29.5, 0, 1, "口蓋側"},
    {47.5, 1, 0, "舌側"},
    {73.5, 1, 1, "頬側"},
};
constexpr double kBopTop[2] = {21.5, 65.5};
constexpr double kNumberTop[2] = {25.5, 69.5};
constexpr double kMobilityTop = 91.5;  // upper jaw; lower below it
constexpr double kFurcationTop = 99.5; // upper jaw; lower below it
constexpr double kBlockH = 107.5;

double toothX(int tooth) {
    return kGridLeft + (tooth % 16) * kToothW;
}

// The stage whose tooth status and furcation a block shows: the first stage of the
// upper pair, the second of the lower pair, or the other one when it has no data.
const ChartStageData& prioritySlot(const std::array<ChartStageData, 4>& s, int pair) {
    const int first = pair == 0 ? 0 : 3;
    const int other = pair == 0 ? 1 : 2;
    return s[first].HasData || !s[other].HasData ? s[first] : s[other];
}

QString mobilityText(std::uint8_t a, std::uint8_t b) {
    if (a == kNoValue && b == kNoValue) return QString();
    return (a == kNoValue ? QString() : QString::number(a)) + QStringLiteral("→") +
           (b == kNoValue ? QString() : QString::number(b));
}

void drawHeading(SheetPainter& sp, const SheetSource& src, ApplicantKind kind) {
    sp.setFont(kPMincho, 12);
    sp.PrintText(24, 15, 100, 0, ChartSheetTitle(kind), false, 12, AlignLeft);
    sp.setFont(kMincho, 11);
    sp.PrintText(162, 10, 25, 0, ChartSheetFormNo(kind), false, 11, AlignRight);
    sp.PrintText(162, 15, 25, 0,
                 QStringLiteral("症例番号 ") + toFullWidth(SheetCaseText(src.caseNumber, src.patientNo)), false, 11,
                 AlignRight);
    sp.setFont(kPMincho, 8);
    sp.PrintText(25, 269.2, 0, 0,
                 QStringLiteral("＊根分岐部病変 および 歯の情報表示は、上段：初診時、下段：最新ＳＰＴ時 が優先されます。"),
                 false, 8, AlignLeft);
    sp.setFont(kPGothic, 10);
}

void drawFigureTable(SheetPainter& sp, const std::array<ChartStageData, 4>& stages) {
    const std::array<int, 3> g = PocketBandLimits();
    const auto headings = BandHeadings(g[0], g[1], g[2], true);
    const QStringList header = {QString(),          QStringLiteral("検査日"),   QStringLiteral("現在歯数"),
                                QStringLiteral("PPD総数"), QStringLiteral("BOP(+)率"), QStringLiteral("PPD平均"),
                                headings[0],        headings[1],            headings[2]};
    double right = kTableLeft;
    for (double w : kTableWidths)
        right += w;
    sp.setFont(kPGothic, 8);
    auto row = [&](double top, const QStringList& cells) {
        double x = kTableLeft;
        for (int c = 0; c < 9; ++c) {
            sp.PrintText(x + 0.8, top, kTableWidths[c] - 1.6, kTableRowH, cells[c], true, 8,
                         c == 0 ? AlignLeft : AlignCenter);
            x += kTableWidths[c];
        }
    };
    row(kTableTop, header);
    for (int k = 0; k < 4; ++k) {
        const ChartStageData& s = stages[k];
        const StageFigures f = StageFiguresOf(s, g);
        row(kTableTop + kTableRowH * (k + 1), {f.stage, f.date, f.teeth, f.ppdCount, f.bop, ChartMeanText(f, s.HasData),
                                               f.bands[0], f.bands[1], f.bands[2]});
    }
    const double bottom = kTableTop + kTableRowH * 5;
    for (int r = 0; r <= 5; ++r)
        sp.line(kTableLeft, kTableTop + kTableRowH * r, right, kTableTop + kTableRowH * r, r == 1 ? 0.25 : kThin);
    double x = kTableLeft;
    for (int c = 0; c <= 9; ++c) {
        sp.line(x, kTableTop, x, bottom, kThin);
        if (c < 9) x += kTableWidths[c];
    }
}

// Crown and root of one tooth in a band, as the tooth stands in the mouth: upper
// crowns point down, lower crowns up, in both views.
void drawToothPictures(SheetPainter& sp, double bandTop, const BandRow& band, int tooth, std::uint16_t status) {
    if (status & kMissingTooth) return;
    const bool buccal = (band.jaw == 0) == (band.chartRow == 0);
    const ToothView crownView = buccal ? ToothView::CrownBuccal : ToothView::CrownLingual;
    const ToothView rootView = buccal ? ToothView::RootBuccal : ToothView::RootLingual;
    const bool crownAtBottom = band.jaw == 0;
    const double x = toothX(tooth) + (kToothW - kPictureW) / 2;
    const QRectF crownBox(x, crownAtBottom ? bandTop + kRootH : bandTop, kPictureW, kCrownH);
    const QRectF rootBox(x, crownAtBottom ? bandTop : bandTop + kCrownH, kPictureW, kRootH);
    sp.image(crownBox, ToothPictureOf(tooth, crownView).image);
    if (status & kPontic) return;
    if (status & kImplant)
        sp.image(rootBox, ImplantPictureOf(tooth).image);
    else
        sp.image(rootBox, ToothPictureOf(tooth, rootView).image);
}

void drawBlock(SheetPainter& sp, const std::array<ChartStageData, 4>& stages, int pair, double top) {
    const ChartStageData& prio = prioritySlot(stages, pair);
    const ChartStageData* pairSlots[2] = {&stages[pair * 2], &stages[pair * 2 + 1]};

    // Legend: the line colour of each stage of the pair.
    sp.setFont(kPGothic, 7);
    double lx = kGridLeft;
    for (int s = 0; s < 2; ++s) {
        sp.line(lx, top + 1.8, lx + 6, top + 1.8, 0.3, StageLineColor(s));
        sp.PrintText(lx + 7, top + 0.2, 0, 0, pairSlots[s]->StageName, false, 7, AlignLeft);
        lx += 40;
    }

    for (const BandRow& band : kBands) {
        const double bt = top + band.top;
        sp.setFont(kPGothic, 8);
        const double captionY = band.jaw == 0 ? bt + 2 : bt + kBandH - 9;
        sp.PrintText(kCaptionLeft, captionY, 8, 0, QString::fromUtf8(band.side), false, 8, AlignLeft);
        sp.PrintText(kCaptionLeft, captionY + 4, 8, 0, QStringLiteral("PPD"), false, 7, AlignLeft);
        for (int t = band.jaw * 16; t < band.jaw * 16 + 16; ++t)
            drawToothPictures(sp, bt, band, t, prio.ToothStatus[t]);
        const PocketGraphGeometry geo = BandGraphGeometry(kGridLeft, kToothW * 16, bt, band.jaw == 0);
        DrawPocketGraphScale(sp, geo, kGridLeft - 4.5, 4);
        for (int s = 0; s < 2; ++s)
            DrawPocketGraph(sp, geo, *pairSlots[s], band.jaw, band.chartRow, s);
        sp.rect(kCaptionLeft - 0.5, bt, kGridRight - kCaptionLeft + 0.5, kBandH, kThin);
    }

    for (int jaw = 0; jaw < 2; ++jaw) {
        // Bleeding: a dot per bleeding site, first chart row above, second below.
        const double bt = top + kBopTop[jaw];
        sp.setFont(kPGothic, 7);
        sp.PrintText(kCaptionLeft, bt, 0, kSmallRowH, QStringLiteral("BOP (+)"), false, 7, AlignLeft);
        for (int s = 0; s < 2; ++s) {
            const ChartStageData& st = *pairSlots[s];
            if (!st.HasData) continue;
            for (int t = jaw * 16; t < jaw * 16 + 16; ++t)
                for (int site = 0; site < 6; ++site) {
                    if (st.Bop[t * 6 + site] != 1) continue;
                    const double x = SiteX(kGridLeft, kToothW * 16, t, site) + (s == 0 ? -0.6 : 0.6);
                    sp.ellipse(x, bt + (site < 3 ? 1.0 : 3.0), 0.45, StageLineColor(s));
                }
        }
        sp.rect(kCaptionLeft - 0.5, bt, kGridRight - kCaptionLeft + 0.5, kSmallRowH, kThin);

        // Tooth numbers: a tooth without a label (not a remaining tooth) is grey.
        const double nt = top + kNumberTop[jaw];
        sp.setFont(kPGothic, 7);
        sp.PrintText(kCaptionLeft, nt, 0, kSmallRowH,
                     QString(jaw == 0 ? QStringLiteral("上顎") : QStringLiteral("下顎")) + QStringLiteral(" 歯番"),
                     false, 7, AlignLeft);
        sp.setFont(kPGothic, 8);
        for (int t = jaw * 16; t < jaw * 16 + 16; ++t) {
            const std::uint16_t st = prio.ToothStatus[t];
            if (!isRemainingTooth(st))
                sp.fillRect(toothX(t), nt, kToothW, kSmallRowH, kGrey);
            else
                sp.PrintText(toothX(t), nt, kToothW, kSmallRowH, QString(toothLabel(t, st)), false, 8, AlignCenter);
        }
        sp.rect(kCaptionLeft - 0.5, nt, kGridRight - kCaptionLeft + 0.5, kSmallRowH, kThin);

        // Mobility: first stage → second stage.
        const double mt = top + kMobilityTop + kSmallRowH * jaw;
        sp.setFont(kPGothic, 7);
        if (jaw == 0) {
            sp.PrintText(kCaptionLeft, mt, 0, kSmallRowH * 2 * 0.5, QStringLiteral("動揺度"), false, 7, AlignLeft);
            sp.PrintText(kCaptionLeft, mt + kSmallRowH, 0, kSmallRowH,
                         pair == 0 ? QStringLiteral("初→基") : QStringLiteral("S→最"), false, 7, AlignLeft);
        }
        for (int t = jaw * 16; t < jaw * 16 + 16; ++t)
            sp.PrintText(toothX(t), mt, kToothW, kSmallRowH,
                         mobilityText(pairSlots[0]->Mobility[t], pairSlots[1]->Mobility[t]), false, 7, AlignCenter);
        sp.rect(kCaptionLeft - 0.5, mt, kGridRight - kCaptionLeft + 0.5, kSmallRowH, kThin);

        // Furcation: each mark at its site, first chart row above, second below.
        const double ft = top + kFurcationTop + kSmallRowH * jaw;
        if (jaw == 0) {
            sp.PrintText(kCaptionLeft, ft, 0, kSmallRowH, QStringLiteral("根分岐部"), false, 7, AlignLeft);
            sp.PrintText(kCaptionLeft, ft + kSmallRowH, 0, kSmallRowH, QStringLiteral("病変"), false, 7, AlignLeft);
        }
        sp.setFont(kMincho, 5.5);
        for (int t = jaw * 16; t < jaw * 16 + 16; ++t)
            for (const FurcationMark& m : FurcationMarks(prio, t)) {
                const double x = SiteX(kGridLeft, kToothW * 16, t, m.site);
                sp.PrintText(x - 1.5, ft + (m.site < 3 ? 0.1 : 2.0), 3.0, 0, m.text, false, 5.5, AlignCenter);
            }
        sp.rect(kCaptionLeft - 0.5, ft, kGridRight - kCaptionLeft + 0.5, kSmallRowH, kThin);
    }

    // Tooth columns across the whole block, the midline heavier.
    const double y0 = top + kLegendH, y1 = top + kBlockH;
    for (int c = 0; c <= 16; ++c) {
        const double x = kGridLeft + c * kToothW;
        sp.line(x, y0, x, y1, c == 8 ? 0.3 : kThin, c == 8 || c == 0 || c == 16 ? QColor(Qt::black) : kRuleGrey);
    }
}

} // namespace

QString ChartSheetTitle(ApplicantKind kind) {
    switch (kind) {
    case ApplicantKind::CertifiedDentist:
        return QStringLiteral("ヴェルダ学会　認定医認定申請　症例報告　検査チャート表");
    case ApplicantKind::CertifiedHygienist:
        return QStringLiteral("ヴェルダ学会　認定歯科衛生士認定申請　症例報告　検査チャート表");
    default:
        return QStringLiteral("ヴェルダ学会　専門医認定申請　症例報告　検査チャート表");
    }
}

QString ChartSheetFormNo(ApplicantKind kind) {
    return kind == ApplicantKind::CertifiedHygienist ? QStringLiteral("様式７－２") : QStringLiteral("様式８－２");
}

void DrawChartSheetPage(SheetPainter& sp, const SheetSource& source, ApplicantKind kind) {
    static const std::array<ChartStageData, 4> none{};
    const auto& stages = source.stages ? *source.stages : none;
    drawHeading(sp, source, kind);
    drawFigureTable(sp, stages);
    drawBlock(sp, stages, 0, kBlockTops[0]);
    drawBlock(sp, stages, 1, kBlockTops[1]);
}

// ---------------------------------------------------------------- blank form

namespace {

// One empty grid of the older chart layout at (left, top): the figure box, then per
// jaw the mobility row, the picture rows with their graph scale, the tooth numbers,
// the PD and BOP rows and the furcation row.
void drawBlankGrid(SheetPainter& sp, double left, double top) {
    const double gridLeft = left + 14, toothW = 10.0, right = gridLeft + 16 * toothW;
    sp.setFont(kPGothic, 8);
    // Figure box.
    const QStringList heads = {QStringLiteral("検査日"), QStringLiteral("総歯数"), QStringLiteral("PD総数"),
                               QStringLiteral("出血"), QStringLiteral("PD平均")};
    const double colW = (right - left) / 5;
    for (int c = 0; c < 5; ++c) {
        sp.PrintText(left + c * colW, top, colW, 5, heads[c], false, 8, AlignCenter);
        if (c == 3) sp.PrintText(left + c * colW, top + 5, colW - 2, 5, QStringLiteral("(      %)"), false, 8,
                                 AlignRight);
        sp.rect(left + c * colW, top, colW, 5, kThin);
        sp.rect(left + c * colW, top + 5, colW, 5, kThin);
    }
    double y = top + 12;
    for (int jaw = 0; jaw < 2; ++jaw) {
        struct Row {
            QString caption;
            double h;
        };
        const QList<Row> rows =
            jaw == 0 ? QList<Row>{{"MOB", 4}, {"頬\n側", 12}, {"PD", 4}, {"BOP", 4}, {"上顎 歯番", 4},
                                  {"PD", 4}, {"BOP", 4}, {"口\n蓋", 12}, {"Furcation", 4}}
                     : QList<Row>{{"Furcation", 4}, {"舌", 12}, {"PD", 4}, {"BOP", 4}, {"下顎 歯番", 4},
                                  {"PD", 4}, {"BOP", 4}, {"頬\n側", 12}, {"MOB", 4}};
        for (const Row& r : rows) {
            const QStringList lines = r.caption.split('\n');
            for (int i = 0; i < lines.size(); ++i)
                sp.PrintText(left + 0.5, y + (r.h - 4 * lines.size()) / 2 + 4 * i, 0, 4, lines[i], false, 7,
                             AlignLeft);
            if (r.h > 10) {
                sp.setFont(kPGothic, 6);
                sp.PrintText(gridLeft - 4, y + 1, 3.5, 0, QStringLiteral("10"), false, 6, AlignRight);
                sp.PrintText(gridLeft - 4, y + r.h - 3.2, 3.5, 0, QStringLiteral("0"), false, 6, AlignRight);
                sp.setFont(kPGothic, 8);
            }
            sp.rect(left, y, right - left, r.h, kThin);
            for (int c = 0; c <= 16; ++c)
                sp.line(gridLeft + c * toothW, y, gridLeft + c * toothW, y + r.h, c == 8 ? 0.3 : kThin);
            y += r.h;
        }
        y += 2;
    }
}

} // namespace

void DrawBlankChartPage(SheetPainter& sp) {
    sp.setFont(kPMincho, 12);
    sp.PrintText(55, 15, 100, 0, QStringLiteral("ヴェルダ学会専門医　症例報告書"), false, 12, AlignLeft);
    sp.setFont(kMincho, 11);
    sp.PrintText(162, 10, 0, 0, QStringLiteral("様式８"), false, 11, AlignLeft);
    sp.PrintText(162, 16, 0, 0, QStringLiteral("患者番号"), false, 9, AlignLeft);
    sp.rect(160, 15, 28, 8, 0.2);
    sp.setFont(kPGothic, 10);
    drawBlankGrid(sp, 25, 25);
    drawBlankGrid(sp, 25, 149);
    sp.setFont(kPMincho, 10.5);
    sp.PrintText(112.5, 272, 0, 0, QStringLiteral("指導医氏名"), false, 10.5, AlignLeft);
    sp.PrintText(182, 272, 0, 0, QStringLiteral("印"), false, 10.5, AlignLeft);
    sp.line(135, 277, 188, 277, kThin);
}

} // namespace kvr
