// Pieces of the chart drawing shared by the chart sheet and the chart screen: the
// pocket-depth graph of one chart row of a jaw, the site positions and the furcation
// marks of a tooth.
#pragma once

#include "chart/ChartStats.h"

#include <QColor>
#include <QList>
#include <QPointF>
#include <QString>

#include <vector>

namespace kvr {

class SheetPainter;

// A tooth band of the chart sheet: crown and root pictures with the graph over them,
// the pictures at 18/21 of their natural size so that a band is 18 mm high.
inline constexpr double kPictureScale = 18.0 / 21.0;
inline constexpr double kCrownH = 8.5 * kPictureScale;
inline constexpr double kRootH = 12.5 * kPictureScale;
inline constexpr double kPictureW = 10.0 * kPictureScale;
inline constexpr double kBandH = kCrownH + kRootH;

// Where a pocket-depth graph is drawn: the strip left..left+width, a depth of d mm at
// zeroY + direction * d * unit (direction -1 draws deeper pockets upwards).
struct PocketGraphGeometry {
    double left = 0, width = 0;
    double zeroY = 0;
    double unit = 1;    // strip height / 13
    int direction = -1; // -1 upwards, +1 downwards
    double maxDepth = 10.5; // deeper pockets are drawn at this depth
};

// The graph of a tooth band whose top is bandTop, crown at the bottom (upper teeth) or
// at the top (lower teeth): the zero line where crown meets root, depths toward the
// root; the strip is 13 mm high, so one unit is one millimetre.
PocketGraphGeometry BandGraphGeometry(double left, double width, double bandTop, bool crownAtBottom);

// The x of a site: a tooth takes four graph units (width / 64); its three sites of a
// chart row stand at units 1, 2 and 3 by their place on the chart (site index mod 3).
double SiteX(double left, double width, int tooth, int site);

// Sites of a chart row (0 first, 1 second) of a tooth in the order the graph visits
// them: mesial, centre, distal (2, 1, 0 / 5, 4, 3 in quadrants 0 and 2).
std::array<int, 3> GraphSiteOrder(int tooth, int chartRow);

// The colours of the first and second stage of a pair.
QColor StageLineColor(int stageOfPair);

// The pocket-depth graph of one stage over one jaw (0 upper, 1 lower) and one chart row
// (0: sites 0-2, 1: sites 3-5), the same for the sheet and the screen. Each point is
// (x, depth): x in units of 1/64 of the jaw width (tooth j of the jaw spans 4j .. 4j + 4,
// its sites stand at 4j + 1, + 2, + 3 by their place on the chart), depth in millimetres,
// limited to maxDepth. Sites are visited per tooth in GraphSiteOrder; a site without a
// value gives no point. Empty for a stage without data.
QList<QPointF> PocketGraphPoints(const ChartStageData& stage, int jaw, int chartRow, double maxDepth);
// Those points placed in mm on the sheet's strip g (depths limited to g.maxDepth); the
// first stage of a pair is displaced 0.12 mm left, the second 0.12 mm right.
std::vector<QPointF> SheetGraphPoints(const PocketGraphGeometry& g, const ChartStageData& stage, int jaw,
                                      int chartRow, int stageOfPair);
void DrawPocketGraph(SheetPainter& sp, const PocketGraphGeometry& g, const ChartStageData& stage, int jaw,
                     int chartRow, int stageOfPair);
// Scale marks "10", "6", "3", "0" right-aligned before x + width, and light rules at 3
// and 6 mm over the strip.
void DrawPocketGraphScale(SheetPainter& sp, const PocketGraphGeometry& g, double x, double width);

// Furcation marks of a tooth: nothing when all six values are unset; else "Ⅰ", "Ⅱ",
// "Ⅲ" (or a blank for other values) at the furcation sites of the tooth's kind, or
// at site 4 for a tooth without a furcation kind.
struct FurcationMark {
    int site;
    QString text;
};
std::vector<FurcationMark> FurcationMarks(const ChartStageData& stage, int tooth);

} // namespace kvr
