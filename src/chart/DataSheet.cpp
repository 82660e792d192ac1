// The examination data sheet: heading and legend, one block per stage with data (the
// tooth grid of plaque, mobility, furcation, pocket depths and tooth numbers, and the
// stage's figure table), and the same blocks stacked for the chart screen's preview.
#include "chart/SheetChart.h"
#include "chart/SheetFigures.h"
#include "chart/SheetPainter.h"
#include "chart/Sheets.h"
#include "exam/CExamData.h"

#include <QPainter>
#include <QPointF>

namespace kvr {

namespace {

constexpr double kBlockLeft = 12.0;
constexpr double kGridOffset = 20.0; // tooth grid from the block's left
constexpr double kToothW = 7.0;
constexpr double kRowH = 6.8;
constexpr double kTableLeft = 145.5;
constexpr double kTableRowH = 5.5636363;
constexpr double kThin = 0.1;

const QColor kGrey(208, 208, 208);
const QColor kRed(255, 0, 0);
const QColor kYellow(255, 255, 0);

// Tooth-number background by status, tested in this order.
QColor toothNumberColor(std::uint16_t status) {
    if (status & kImplant) return QColor(255, 255, 128);
    if (status & kPontic) return QColor(255, 192, 192);
    if (status & kOtherExcluded) return QColor(224, 128, 224);
    if (status & kMissingTooth) return QColor(128, 128, 255);
    return Qt::white;
}

// Plaque symbol: four triangles meeting in the centre of a square, one per surface bit
// (1 top, 2 right, 4 bottom, 8 left). Grey where the second pass marks the surface, red
// where plaque was found, unfilled otherwise.
void drawPlaqueSymbol(SheetPainter& sp, double cx, double cy, std::uint8_t plaque, std::uint8_t grey) {
    if (plaque == kNoValue) return;
    const double h = 2.2;
    const QPointF c(cx, cy), tl(cx - h, cy - h), tr(cx + h, cy - h), br(cx + h, cy + h), bl(cx - h, cy + h);
    const QPointF tris[4][3] = {{c, tl, tr}, {c, tr, br}, {c, br, bl}, {c, bl, tl}};
    for (int i = 0; i < 4; ++i) {
        const int bit = 1 << i;
        QColor fill;
        if (grey != kNoValue && (grey & bit))
            fill = kGrey;
        else if (plaque & bit)
            fill = kRed;
        sp.polygon(tris[i], 3, fill, 0.12);
    }
}

void rowCaption(SheetPainter& sp, double left, double top, const QString& text) {
    sp.setFont(kPGothic, 8);
    sp.PrintText(left + 1, top, 15, kRowH, text, true, 8, AlignLeft);
}

void drawPpdHalf(SheetPainter& sp, const ChartStageData& s, int jaw, int chartRow, double gridLeft, double top) {
    const double cellW = kToothW / 3, h = kRowH / 2;
    sp.setFont(kGothic, 7);
    for (int t = jaw * 16; t < jaw * 16 + 16; ++t)
        for (int place = 0; place < 3; ++place) {
            const int site = t * 6 + chartRow * 3 + place;
            const double x = gridLeft + (t % 16) * kToothW + place * cellW;
            const std::uint8_t d = s.Ppd[site];
            if (d == kNoValue) {
                sp.fillRect(x, top, cellW, h, kGrey);
                continue;
            }
            if (s.Pus[site] != kNoValue && s.Pus[site] != 0) sp.fillRect(x, top, cellW, h, kYellow);
            // One digit at 6.5 pt; deeper pockets shrink to fit their cell.
            sp.PrintText(x, top, cellW, h, QString::number(d), d >= 10, 6.5, AlignCenter,
                         s.Bop[site] == 1 ? kRed : QColor(Qt::black));
        }
}

void drawFigureTable(SheetPainter& sp, const ChartStageData& s, double top) {
    const std::array<int, 3> g = PocketBandLimits();
    const auto headings = BandHeadings(g[0], g[1], g[2], false);
    const StageFigures f = StageFiguresOf(s, g);
    const QStringList captions = {QStringLiteral("ステージ"), QStringLiteral("検査日"), QStringLiteral("現在歯数"),
                                  QStringLiteral("ｲﾝﾌﾟﾗﾝﾄ数"), QStringLiteral("PPD平均"), headings[0], headings[1],
                                  headings[2], QStringLiteral("BOP(+)率"), QString(), QStringLiteral("PCR")};
    const QStringList values = {f.stage, f.date, f.teeth, f.implants, DataSheetMeanText(f, s.HasData),
                                f.bands[0], f.bands[1], f.bands[2], f.bop, QString(), f.pcr};
    for (int i = 0; i < 11; ++i) {
        const double y = top + 1.4 + kTableRowH * i;
        sp.rect(kTableLeft, y, 15.7, kTableRowH, kThin);
        sp.rect(kTableLeft + 15.7, y, 24.3, kTableRowH, kThin);
        if (i == 9) {
            // PISA above PESA, each sum in six characters with the unit mm².
            const QString sums[2] = {f.pisa, f.pesa};
            const QString names[2] = {QStringLiteral("PISA"), QStringLiteral("PESA")};
            for (int k = 0; k < 2; ++k) {
                const double ly = y + (k == 0 ? 0.1 : 2.7);
                sp.setFont(kGothic, 7);
                sp.PrintText(kTableLeft + 0.7, ly, 15, 0, names[k], false, 7, AlignLeft);
                if (!s.HasData) continue;
                sp.setFont(kGothic, 8.5);
                sp.PrintText(kTableLeft + 16, ly, 0, 0, sums[k], false, 8.5, AlignLeft);
                const double ux = kTableLeft + 16 + sp.textWidth(sums[k]) + 0.5;
                sp.setFont(kGothic, 7);
                sp.PrintText(ux, ly + 0.3, 0, 0, QStringLiteral("mm"), false, 7, AlignLeft);
                const double sx = ux + sp.textWidth(QStringLiteral("mm"));
                sp.setFont(kGothic, 4.5);
                sp.PrintText(sx, ly - 0.2, 0, 0, QStringLiteral("2"), false, 4.5, AlignLeft);
            }
            continue;
        }
        sp.setFont(kPGothic, 8);
        sp.PrintText(kTableLeft + 0.7, y, 15, kTableRowH, captions[i], true, 8, AlignLeft);
        sp.setFont(i == 0 ? kPGothic : kGothic, 8);
        sp.PrintText(kTableLeft + 16, y, 24, kTableRowH, values[i], true, 8, AlignLeft);
    }
}

} // namespace

void DrawDataBlock(SheetPainter& sp, const ChartStageData& s, double left, double top) {
    const double gridLeft = left + kGridOffset;
    const double gridRight = gridLeft + 16 * kToothW;
    auto rowTop = [&](int r) { return top + kRowH * r; };
    auto cellX = [&](int t) { return gridLeft + (t % 16) * kToothW; };

    for (int jaw = 0; jaw < 2; ++jaw) {
        // Rows outward from the tooth numbers: PPD, furcation, mobility, PCR.
        const int pcrRow = jaw == 0 ? 0 : 8, mobRow = jaw == 0 ? 1 : 7, furRow = jaw == 0 ? 2 : 6,
                  ppdRow = jaw == 0 ? 3 : 5;
        rowCaption(sp, left, rowTop(pcrRow), QStringLiteral("PCR"));
        rowCaption(sp, left, rowTop(mobRow), QStringLiteral("動揺度"));
        rowCaption(sp, left, rowTop(furRow), QStringLiteral("根分岐部病変"));
        rowCaption(sp, left, rowTop(ppdRow), QStringLiteral("PPD"));
        sp.setFont(kPGothic, 7);
        const QString sides[2][2] = {{QStringLiteral("B"), QStringLiteral("P")},
                                     {QStringLiteral("L"), QStringLiteral("B")}};
        for (int half = 0; half < 2; ++half)
            sp.PrintText(gridLeft - 3.5, rowTop(ppdRow) + half * kRowH / 2, 3, kRowH / 2, sides[jaw][half], false, 7,
                         AlignCenter);

        for (int t = jaw * 16; t < jaw * 16 + 16; ++t) {
            const double x = cellX(t);
            drawPlaqueSymbol(sp, x + kToothW / 2, rowTop(pcrRow) + kRowH / 2, s.Plaque[t], s.PlaqueItemB[t]);
            if (s.Mobility[t] != kNoValue) {
                sp.setFont(kGothic, 8);
                sp.PrintText(x, rowTop(mobRow), kToothW, kRowH, QString::number(s.Mobility[t]), false, 8,
                             AlignCenter);
            }
            sp.setFont(kMincho, 6.5);
            for (const FurcationMark& m : FurcationMarks(s, t))
                sp.PrintText(x + (m.site % 3) * kToothW / 3, rowTop(furRow) + (m.site < 3 ? 0 : kRowH / 2),
                             kToothW / 3, kRowH / 2, m.text, false, 6.5, AlignCenter);
        }
        drawPpdHalf(sp, s, jaw, 0, gridLeft, rowTop(ppdRow));
        drawPpdHalf(sp, s, jaw, 1, gridLeft, rowTop(ppdRow) + kRowH / 2);

        // Tooth numbers: upper jaw in the upper half of the middle row, lower below.
        const double nt = rowTop(4) + jaw * kRowH / 2;
        sp.setFont(kPGothic, 7);
        for (int t = jaw * 16; t < jaw * 16 + 16; ++t) {
            const std::uint16_t st = s.ToothStatus[t];
            sp.fillRect(cellX(t), nt, kToothW, kRowH / 2, toothNumberColor(st));
            sp.PrintText(cellX(t), nt, kToothW, kRowH / 2, QString(toothLabel(t, st)), false, 7, AlignCenter);
        }
    }
    // Rules: rows, half rows of PPD and tooth numbers, tooth columns, the midline heavier.
    const double bottom = rowTop(9);
    for (int r = 0; r <= 9; ++r)
        sp.line(left + 0.5, rowTop(r), gridRight, rowTop(r), kThin);
    for (int r : {3, 4, 5})
        sp.line(gridLeft, rowTop(r) + kRowH / 2, gridRight, rowTop(r) + kRowH / 2, 0.05);
    sp.line(left + 0.5, top, left + 0.5, bottom, kThin);
    for (int c = 0; c <= 16; ++c)
        sp.line(gridLeft + c * kToothW, top, gridLeft + c * kToothW, bottom, c == 8 ? 0.3 : kThin);
    for (int r : {3, 5})
        for (int c = 0; c < 16; ++c)
            for (int k = 1; k < 3; ++k) {
                const double x = gridLeft + c * kToothW + k * kToothW / 3;
                sp.line(x, rowTop(r), x, rowTop(r + 1), 0.05);
            }

    drawFigureTable(sp, s, top);
}

double DataBlockTop(int slot) {
    return 26.5 + 63.0 * slot;
}

QString DataSheetTitle(ApplicantKind kind) {
    QString t;
    switch (kind) {
    case ApplicantKind::CertifiedDentist:
        t = QStringLiteral("ヴェルダ学会　認定医認定申請　症例報告　検査データ表");
        break;
    case ApplicantKind::CertifiedHygienist:
        t = QStringLiteral("ヴェルダ学会　認定歯科衛生士認定申請　症例報告　検査データ表");
        break;
    default:
        t = QStringLiteral("ヴェルダ学会　専門医認定申請　症例報告　検査データ表");
        break;
    }
    return t + QStringLiteral("　　PISA対応版");
}

QString DataSheetFormNo(ApplicantKind kind) {
    return kind == ApplicantKind::CertifiedHygienist ? QStringLiteral("様式７－１") : QStringLiteral("様式８－１");
}

void DrawDataSheetPages(SheetPainter& sp, const SheetSource& source, ApplicantKind kind, bool stagePeriodProblem,
                        const std::function<void()>& newPage) {
    sp.setFont(kPMincho, 12);
    sp.PrintText(11, 15, 0, 0, DataSheetTitle(kind), false, 12, AlignLeft);
    sp.setFont(kMincho, 11);
    sp.PrintText(172, 10, 0, 0, DataSheetFormNo(kind), false, 11, AlignLeft);
    sp.PrintText(172, 19, 26, 0,
                 QStringLiteral("症例番号 ") + SheetCaseText(source.caseNumber, source.patientNo), true,
                 11, AlignLeft);
    sp.setFont(kPGothic, 8);
    sp.PrintText(12, 23, 0, 0,
                 QStringLiteral("PCR : O'Leary      動揺度 : Miller      根分岐部病変 : Lindhe & Nyman              "
                                "PPD  赤数字＝BOP(+)  黄背景＝排膿"),
                 false, 8, AlignLeft);
    if (stagePeriodProblem) sp.PrintText(160.5, 23, 10, 0, QStringLiteral("●"), false, 8, AlignLeft, kRed);
    sp.PrintText(140, 276.5, 58, 0, QStringLiteral("KVR-TRM"), false, 8, AlignRight);
    if (!source.stages) return;
    int drawn = 0, remaining = 0;
    for (const ChartStageData& s : *source.stages)
        remaining += s.HasData ? 1 : 0;
    for (int k = 0; k < 4; ++k) {
        const ChartStageData& s = (*source.stages)[k];
        if (!s.HasData) continue;
        DrawDataBlock(sp, s, kBlockLeft, DataBlockTop(k));
        ++drawn;
        --remaining;
        // A page holds four blocks.
        if (drawn % 4 == 0 && remaining > 0 && newPage) newPage();
    }
}

double DrawDataPreview(QPainter& painter, const SheetSource& source) {
    SheetPainter sp(painter);
    sp.InitPrinter();
    if (!source.stages) return 0.0;
    int n = 0;
    for (const ChartStageData& s : *source.stages) {
        if (!s.HasData) continue;
        DrawDataBlock(sp, s, kBlockLeft, kPreviewBlockPitch * n);
        ++n;
    }
    return kPreviewBlockPitch * n;
}

} // namespace kvr
