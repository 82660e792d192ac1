#include "chart/ChartView.h"

#include "chart/SheetChart.h"
#include "chart/SheetFigures.h"
#include "chart/ToothPictures.h"
#include "exam/CExamData.h"
#include "exam/ToothButton.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

namespace kvr {

namespace {

const QColor kNoToothCell(208, 208, 208);
const QColor kScaleLine(200, 208, 216);
const QColor kCaption(31, 59, 87);

// The views of a chart row: upper jaw buccal / palatal, lower jaw lingual / buccal.
bool buccalRow(int jaw, int chartRow) {
    return (jaw == 0) == (chartRow == 0);
}

QString rowCaption(int jaw, int chartRow) {
    if (buccalRow(jaw, chartRow)) return QStringLiteral("頬側");
    return jaw == 0 ? QStringLiteral("口蓋側") : QStringLiteral("舌側");
}

// Draws a picture into box, keeping its proportions, centred across and touching the
// edge of the box that faces the crown-root junction. Pictures are scaled once per
// size: a patient switch repaints 256 of them.
void drawPicture(QPainter& p, const QImage& image, const QRectF& box, bool alignTop) {
    if (image.isNull() || box.width() <= 0 || box.height() <= 0) return;
    const QSize size = QSizeF(image.size()).scaled(box.size(), Qt::KeepAspectRatio).toSize();
    if (size.isEmpty()) return;
    static std::map<std::tuple<qint64, int, int>, QImage> scaled;
    if (scaled.size() > 2000) scaled.clear(); // sizes of earlier window sizes
    const auto key = std::make_tuple(image.cacheKey(), size.width(), size.height());
    auto it = scaled.find(key);
    if (it == scaled.end())
        it = scaled.emplace(key, image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)).first;
    const double x = box.left() + (box.width() - size.width()) / 2;
    const double y = alignTop ? box.top() : box.bottom() - size.height();
    p.drawImage(QPointF(std::round(x), std::round(y)), it->second);
}

} // namespace

// ---------------------------------------------------------------- ChartJawView

ChartJawView::ChartJawView(int pair, int jaw, QWidget* parent) : QWidget(parent), pair_(pair), jaw_(jaw) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumHeight(120);
}

void ChartJawView::setStages(const ChartStages* stages) {
    stages_ = stages;
    update();
}

void ChartJawView::setCaptionWidth(int px) {
    captionWidth_ = px;
    update();
}

double ChartJawView::columnWidth() const {
    return std::max(1.0, (width() - captionWidth_) / 16.0);
}

double ChartJawView::columnLeft(int column) const {
    return captionWidth_ + column * columnWidth();
}

QColor ChartJawView::stageColor(int stageInPair) {
    return stageInPair == 0 ? QColor(30, 96, 200) : QColor(214, 64, 20);
}

QRectF ChartJawView::numberRow() const {
    const double h = std::max(14.0, fontMetrics().height() + 2.0);
    return QRectF(0, (height() - h) / 2, width(), h);
}

ChartJawView::Strip ChartJawView::stripRect(int chartRow) const {
    const QRectF n = numberRow();
    Strip s;
    s.rect = chartRow == 0 ? QRectF(0, 1, width(), n.top() - 1) : QRectF(0, n.bottom(), width(), height() - 1 - n.bottom());
    // The pictures at one scale in x and y: as wide as the column allows, unless the
    // strip is too low for crown and root at that width.
    const double boxH = kToothCrownBoxMm + kToothRootBoxMm;
    const double scale = std::min((columnWidth() - 2) / kToothBoxWidthMm, s.rect.height() / boxH);
    s.boxWidth = kToothBoxWidthMm * scale;
    s.crownLen = kToothCrownBoxMm * scale;
    s.rootBox = kToothRootBoxMm * scale;
    // Upper teeth have their roots above the crowns, lower teeth below; the crowns keep
    // to the strip's edge on the crown side and the graph has the rest, towards the apex.
    s.apexDir = jaw_ == 0 ? -1 : 1;
    s.junction = jaw_ == 0 ? s.rect.bottom() - s.crownLen : s.rect.top() + s.crownLen;
    s.rootLen = s.rect.height() - s.crownLen;
    return s;
}

void ChartJawView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    static const ChartStages kEmpty{};
    const ChartStages& stages = stages_ ? *stages_ : kEmpty;
    const auto status = PairToothStatus(stages, pair_);

    // Column separators and the tooth-number row.
    const QRectF n = numberRow();
    const double cw = columnWidth();
    QFont small = font();
    small.setPixelSize(std::max(9, int(n.height() * 0.7)));
    p.setFont(small);
    for (int j = 0; j < 16; ++j) {
        const int tooth = jaw_ * 16 + j;
        const QRectF cell(columnLeft(j), n.top(), cw, n.height());
        const bool remaining = IsRemainingTooth(status[tooth]);
        p.fillRect(cell, remaining ? QColor(240, 244, 248) : kNoToothCell);
        p.setPen(QColor(150, 160, 170));
        p.drawRect(cell);
        if (remaining) {
            p.setPen(kCaption);
            p.drawText(cell, Qt::AlignCenter, QString(toothLabel(tooth, status[tooth])));
        }
    }
    p.setPen(kCaption);
    p.drawText(QRectF(0, n.top(), captionWidth_ - 2, n.height()), Qt::AlignCenter,
               jaw_ == 0 ? QStringLiteral("上顎") : QStringLiteral("下顎"));

    for (int row = 0; row < 2; ++row) {
        const Strip s = stripRect(row);
        // Scale lines 0, 3, 6, 10 mm across the tooth columns.
        const double unit = s.rootLen / 13.0;
        for (int mm : {3, 6, 10}) {
            const double y = s.junction + s.apexDir * mm * unit;
            p.setPen(QPen(kScaleLine, 1, Qt::DashLine));
            p.drawLine(QPointF(captionWidth_, y), QPointF(width(), y));
        }
        paintPictures(p, s, row, status);
        p.setPen(QPen(QColor(120, 130, 140), 1));
        p.drawLine(QPointF(captionWidth_, s.junction), QPointF(width(), s.junction));
        for (int j = 1; j < 16; ++j) {
            p.setPen(QPen(j == 8 ? QColor(120, 130, 140) : QColor(225, 229, 233), 1));
            p.drawLine(QPointF(columnLeft(j), s.rect.top()), QPointF(columnLeft(j), s.rect.bottom()));
        }
        paintGraph(p, s, row);

        // Caption column: the view's name and the scale marks.
        p.setPen(kCaption);
        p.setFont(font());
        const QRectF cap(0, s.rect.top(), captionWidth_ - 16, s.rect.height());
        p.drawText(cap, Qt::AlignCenter | Qt::TextWordWrap, rowCaption(jaw_, row));
        p.setFont(small);
        const double markW = 16;
        for (int mm : {0, 10}) {
            const double y = s.junction + s.apexDir * mm * unit;
            p.drawText(QRectF(captionWidth_ - markW - 1, y - 7, markW, 14), Qt::AlignRight | Qt::AlignVCenter,
                       QString::number(mm));
        }
    }
    p.setPen(QColor(150, 160, 170));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, width() - 1, height() - 1));
}

void ChartJawView::paintPictures(QPainter& p, const Strip& s, int chartRow,
                                 const std::array<std::uint16_t, 32>& status) const {
    const bool buccal = buccalRow(jaw_, chartRow);
    const ToothView crownView = buccal ? ToothView::CrownBuccal : ToothView::CrownLingual;
    const ToothView rootView = buccal ? ToothView::RootBuccal : ToothView::RootLingual;
    for (int j = 0; j < 16; ++j) {
        const int tooth = jaw_ * 16 + j;
        const std::uint16_t st = status[tooth];
        if (st & kMissingTooth) continue;
        const double x = columnLeft(j) + (columnWidth() - s.boxWidth) / 2;
        QRectF root, crown;
        if (jaw_ == 0) {
            crown = QRectF(x, s.junction, s.boxWidth, s.crownLen);
            root = QRectF(x, s.junction - s.rootBox, s.boxWidth, s.rootBox);
        } else {
            crown = QRectF(x, s.junction - s.crownLen, s.boxWidth, s.crownLen);
            root = QRectF(x, s.junction, s.boxWidth, s.rootBox);
        }
        const bool rootTowardsTop = jaw_ == 0;
        drawPicture(p, ToothPictureOf(tooth, crownView).image, crown, rootTowardsTop);
        if (st & kPontic) continue;
        const QImage& rootImage =
            (st & kImplant) ? ImplantPictureOf(tooth).image : ToothPictureOf(tooth, rootView).image;
        drawPicture(p, rootImage, root, !rootTowardsTop);
    }
}

void ChartJawView::paintGraph(QPainter& p, const Strip& s, int chartRow) const {
    if (!stages_) return;
    const double unitX = (width() - captionWidth_) / 64.0;
    const double unitY = s.rootLen / 13.0;
    // The two stages of a pair stand 0.12 mm to either side of the true place; on the
    // screen that is at least one pixel, so that equal lines do not hide each other.
    const double shift = std::max(1.0, 0.12 * columnWidth() / 10.0);
    const double penWidth = std::max(1.5, columnWidth() / 16.0);
    for (int k = 0; k < 2; ++k) {
        QList<QPointF> pts = PocketGraphPoints((*stages_)[firstSlotOfPair(pair_) + k], jaw_, chartRow, 13);
        if (pts.isEmpty()) continue;
        // One line from left to right across the jaw.
        std::stable_sort(pts.begin(), pts.end(), [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); });
        const double d = k == 0 ? -shift : shift;
        QPolygonF line;
        for (const QPointF& pt : pts)
            line << QPointF(captionWidth_ + pt.x() * unitX + d, s.junction + s.apexDir * pt.y() * unitY + d);
        const QColor c = stageColor(k);
        p.setPen(QPen(c, penWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(line);
        p.setBrush(c);
        p.setPen(Qt::NoPen);
        for (const QPointF& q : line)
            p.drawEllipse(q, penWidth, penWidth);
    }
}

// ---------------------------------------------------------------- ChartPairBlock

ChartPairBlock::ChartPairBlock(int pair, QWidget* parent) : QWidget(parent), pair_(pair) {
    for (int jaw = 0; jaw < 2; ++jaw)
        jaws[jaw] = new ChartJawView(pair, jaw, this);
    for (int t = 0; t < 32; ++t) {
        auto* l = new QLabel(this);
        l->setAlignment(Qt::AlignCenter);
        l->setStyleSheet("QLabel { border-right: 1px solid #e1e5e9; color: #10202f; }");
        mobility[t] = l;
        cells[t] = new ToothButton(pair * 32 + t, this);
    }
    mobilityHeading = new QLabel(MobilityHeading(pair), this);
    captions[0] = new QLabel(MobilityHeading(pair), this); // lower jaw's mobility row
    captions[1] = new QLabel(QStringLiteral("根分岐部"), this);
    captions[2] = new QLabel(QStringLiteral("根分岐部"), this);
    for (QLabel* l : {mobilityHeading, captions[0], captions[1], captions[2]})
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

void ChartPairBlock::resizeEvent(QResizeEvent*) {
    const int w = width(), h = height();
    const int capW = std::max(48, fontMetrics().horizontalAdvance(QStringLiteral("根分岐部")) + 8);
    const int mobH = fontMetrics().height() + 2;
    const int furH = std::max(20, h / 14);
    const int gap = 4;
    const int jawH = std::max(60, (h - 2 * (mobH + furH) - gap) / 2);
    const double colW = (w - capW) / 16.0;
    // Mobility labels ("1→2") fit their column.
    QFont mobFont = font();
    mobFont.setPixelSize(std::clamp(int(colW / 3.0), 8, fontInfo().pixelSize()));
    for (QLabel* l : mobility)
        l->setFont(mobFont);
    int y = 0;
    for (int jaw = 0; jaw < 2; ++jaw) {
        jaws[jaw]->setCaptionWidth(capW);
        jaws[jaw]->setGeometry(0, y, w, jawH);
        y += jawH;
        QLabel* mobCap = jaw == 0 ? mobilityHeading : captions[0];
        mobCap->setGeometry(0, y, capW - 4, mobH);
        captions[1 + jaw]->setGeometry(0, y + mobH, capW - 4, furH);
        for (int j = 0; j < 16; ++j) {
            const int x0 = capW + int(j * colW), x1 = capW + int((j + 1) * colW);
            mobility[jaw * 16 + j]->setGeometry(x0, y, x1 - x0, mobH);
            cells[jaw * 16 + j]->setGeometry(x0, y + mobH, x1 - x0, furH);
        }
        y += mobH + furH + gap;
    }
}

// ---------------------------------------------------------------- DataSheetPage

DataSheetPage::DataSheetPage(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    draw = [](QPainter& p, const SheetSource& s) { return DrawDataPreview(p, s); };
}

void DataSheetPage::setSource(const SheetSource& source) {
    source_ = source;
    pixmap_ = QPixmap();
    update();
}

void DataSheetPage::render() {
    const qreal dpr = devicePixelRatioF();
    QPixmap pm(size() * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::white);
    if (source_.stages && width() > 0) {
        // The application title names the case while the sheet routines draw it.
        const QString title = QGuiApplication::applicationDisplayName();
        QGuiApplication::setApplicationDisplayName(SheetCaseText(source_.caseNumber, source_.patientNo));
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.scale(width() / kWidthMm, height() / kHeightMm);
        if (draw) draw(p, source_);
        p.end();
        QGuiApplication::setApplicationDisplayName(title);
    }
    pixmap_ = pm;
}

void DataSheetPage::paintEvent(QPaintEvent*) {
    if (pixmap_.isNull() || pixmap_.deviceIndependentSize().toSize() != size()) render();
    QPainter p(this);
    p.drawPixmap(0, 0, pixmap_);
}

} // namespace kvr
