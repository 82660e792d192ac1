#include "chart/SheetChart.h"

#include "chart/SheetPainter.h"
#include "exam/CExamData.h"

#include <QPointF>

namespace kvr {

PocketGraphGeometry BandGraphGeometry(double left, double width, double bandTop, bool crownAtBottom) {
    PocketGraphGeometry g;
    g.left = left;
    g.width = width;
    g.unit = 13.0 / 13.0;
    g.direction = crownAtBottom ? -1 : 1;
    g.zeroY = crownAtBottom ? bandTop + kRootH : bandTop + kCrownH;
    return g;
}

double SiteX(double left, double width, int tooth, int site) {
    const double unit = width / 64.0;
    return left + (4 * (tooth % 16) + 1 + site % 3) * unit;
}

std::array<int, 3> GraphSiteOrder(int tooth, int chartRow) {
    const int base = chartRow * 3;
    const int quadrant = tooth / 8;
    if (quadrant == 0 || quadrant == 2) return {base + 2, base + 1, base};
    return {base, base + 1, base + 2};
}

QColor StageLineColor(int stageOfPair) {
    return stageOfPair == 0 ? QColor(0, 0, 255) : QColor(255, 0, 0);
}

QList<QPointF> PocketGraphPoints(const ChartStageData& stage, int jaw, int chartRow, double maxDepth) {
    QList<QPointF> points;
    if (!stage.HasData) return points;
    for (int t = jaw * 16; t < jaw * 16 + 16; ++t)
        for (int site : GraphSiteOrder(t, chartRow)) {
            const std::uint8_t d = stage.Ppd[t * 6 + site];
            if (d != kNoValue) points.append(QPointF(SiteX(0, 64, t, site), std::min<double>(d, maxDepth)));
        }
    return points;
}

std::vector<QPointF> SheetGraphPoints(const PocketGraphGeometry& g, const ChartStageData& stage, int jaw,
                                      int chartRow, int stageOfPair) {
    const double shift = stageOfPair == 0 ? -0.12 : 0.12;
    const double unitX = g.width / 64.0;
    std::vector<QPointF> points;
    for (const QPointF& p : PocketGraphPoints(stage, jaw, chartRow, g.maxDepth))
        points.emplace_back(g.left + p.x() * unitX + shift, g.zeroY + g.direction * p.y() * g.unit);
    return points;
}

void DrawPocketGraph(SheetPainter& sp, const PocketGraphGeometry& g, const ChartStageData& stage, int jaw,
                     int chartRow, int stageOfPair) {
    const std::vector<QPointF> pts = SheetGraphPoints(g, stage, jaw, chartRow, stageOfPair);
    if (pts.size() == 1)
        sp.ellipse(pts[0].x(), pts[0].y(), 0.15, StageLineColor(stageOfPair));
    else
        sp.polyline(pts.data(), int(pts.size()), 0.3, StageLineColor(stageOfPair));
}

void DrawPocketGraphScale(SheetPainter& sp, const PocketGraphGeometry& g, double x, double width) {
    static const int marks[4] = {10, 6, 3, 0};
    const QColor rule(190, 190, 190);
    const QString font = sp.fontName();
    const double size = sp.fontSize();
    sp.setFont(kPGothic, 5);
    for (int m : marks) {
        const double y = g.zeroY + g.direction * m * g.unit;
        sp.PrintText(x, y - 1.0, width, 2.0, QString::number(m), false, 5, AlignRight);
        if (m == 3 || m == 6) sp.line(g.left, y, g.left + g.width, y, 0.08, rule);
    }
    sp.setFont(font, size);
}

std::vector<FurcationMark> FurcationMarks(const ChartStageData& stage, int tooth) {
    std::vector<FurcationMark> marks;
    if (!stage.HasData || tooth < 0 || tooth >= 32) return marks;
    bool any = false;
    for (int s = 0; s < 6; ++s)
        any = any || stage.Furcation[tooth * 6 + s] != kNoValue;
    if (!any) return marks;
    auto text = [](std::uint8_t v) {
        switch (v) {
        case 1:
            return QStringLiteral("Ⅰ");
        case 2:
            return QStringLiteral("Ⅱ");
        case 3:
            return QStringLiteral("Ⅲ");
        default:
            return QStringLiteral(" ");
        }
    };
    const int kind = FurcationKind(tooth);
    for (int s = 0; s < 6; ++s) {
        const bool shown = kind == 3 || kind == 21 || kind == 22 ? isFurcationSiteOfKind(kind, s) : s == 4;
        if (shown) marks.push_back({s, text(stage.Furcation[tooth * 6 + s])});
    }
    return marks;
}

} // namespace kvr
