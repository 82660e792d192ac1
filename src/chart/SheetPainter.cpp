#include "chart/SheetPainter.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPolygonF>

#include <array>
#include <cmath>
#include <utility>

namespace kvr {

namespace {

// One font pixel is a hundredth of a millimetre.
constexpr double kUnitsPerMm = 100.0;
constexpr double kMmPerPoint = 25.4 / 72.0;

constexpr std::array<std::pair<const char*, const char*>, 4> kFontSubstitutes{{
    {"ＭＳ Ｐ明朝", "IPAPMincho"},
    {"ＭＳ 明朝", "IPAMincho"},
    {"ＭＳ Ｐゴシック", "IPAPGothic"},
    {"ＭＳ ゴシック", "IPAGothic"},
}};

// Whole millimetres as the classic integer conversion makes them (halves to even).
long wholeMm(double mm) {
    return std::lround(std::nearbyint(mm));
}

} // namespace

QString SheetFontFamily(const QString& sheetFontName) {
    for (const auto& [name, family] : kFontSubstitutes)
        if (sheetFontName == QString::fromUtf8(name)) return QString::fromUtf8(family);
    return sheetFontName;
}

SheetPainter::SheetPainter(QPainter& painter) : p_(painter), name_(QString::fromUtf8(kPGothic)) {}

void SheetPainter::toMillimetres(QPainter& painter, const QPagedPaintDevice& device) {
    painter.resetTransform();
    painter.scale(device.logicalDpiX() / 25.4, device.logicalDpiY() / 25.4);
}

void SheetPainter::InitPrinter() {
    fore_ = Qt::black;
    p_.setPen(QPen(Qt::black, 0.1, Qt::SolidLine));
    p_.setBrush(Qt::NoBrush);
    p_.setBackgroundMode(Qt::TransparentMode);
    p_.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p_.setRenderHint(QPainter::Antialiasing, true);
    p_.setRenderHint(QPainter::TextAntialiasing, true);
    setFont(QString::fromUtf8(kPGothic), 10);
    offsetY = 0.0;
}

const SheetPainter::FontEntry& SheetPainter::entry(double points) const {
    const int pixels = std::max(1, int(std::lround(points * kMmPerPoint * kUnitsPerMm)));
    const QString key = name_ + QLatin1Char('/') + QString::number(pixels);
    auto it = fonts_.find(key);
    if (it == fonts_.end()) {
        QFont f(SheetFontFamily(name_));
        f.setPixelSize(pixels);
        f.setHintingPreference(QFont::PreferNoHinting);
        f.setStyleStrategy(QFont::StyleStrategy(QFont::PreferOutline | QFont::PreferMatch));
        f.setKerning(false);
        it = fonts_.insert(key, std::make_shared<FontEntry>(FontEntry{f, QFontMetricsF(f)}));
    }
    return **it;
}

void SheetPainter::setFont(const QString& sheetFontName, double points) {
    name_ = sheetFontName;
    size_ = points;
}

void SheetPainter::setFontSize(double points) {
    size_ = points;
}

double SheetPainter::textWidth(const QString& text) const {
    return entry(size_).metrics.horizontalAdvance(text) / kUnitsPerMm;
}

// The text cell is the em box, as with the classic Japanese fonts (whose ascent and
// descent add up to exactly one em); the baseline stands 0.88 em below its top, where
// the IPA fonts put the ideographic em box.
double SheetPainter::textHeight(const QString&) const {
    return qfont(size_).pixelSize() / kUnitsPerMm;
}

double SheetPainter::FitFontSize(const QString& text, double width, double height) {
    const double remembered = size_;
    double size = 4.0;
    setFontSize(size);
    // The 200 pt bound only stops a runaway loop for an unreasonably large box.
    while (size < 200.0 && wholeMm(textWidth(text)) < wholeMm(width) && wholeMm(textHeight(text)) < wholeMm(height)) {
        size += 0.6;
        setFontSize(size);
    }
    size -= 0.7;
    setFontSize(remembered);
    return size;
}

// Font size: with fit off the given size; with fit on the fitted size for the box
// width, never above the given size. An empty text keeps the given size (or the current
// one when the given size is 0 or less).
// Placement: at left, right-aligned at left + width, or centred; vertically at top when
// height <= 0, else centred in the box. With charCount n > 0 and at least n characters,
// the first n (the last n when right-aligned) are spread: character k starts at
// left + width / n * (k - 1).
void SheetPainter::PrintText(double left, double top, double width, double height, const QString& text, bool fit,
                             double size, int align, const QColor& color, int charCount) {
    if (text.isEmpty()) {
        if (size > 0) setFontSize(size);
        fore_ = color;
        return;
    }
    if (fit) {
        const double fitted = FitFontSize(text, width, width);
        setFontSize(size > 0 ? std::min(fitted, size) : fitted);
    } else if (size > 0) {
        setFontSize(size);
    }
    fore_ = color;
    auto topOf = [&](const QString& s) { return height <= 0 ? top : top + (height - textHeight(s)) / 2.0; };
    if (charCount > 0 && text.size() >= charCount) {
        const QString part = align == AlignRight ? text.right(charCount) : text.left(charCount);
        const double step = width / charCount;
        for (int k = 0; k < charCount; ++k) {
            const QString ch = part.mid(k, 1);
            textAt(left + step * k, topOf(ch), ch, color);
        }
        return;
    }
    const double w = textWidth(text);
    double x = left;
    if (align == AlignRight)
        x = left + width - w;
    else if (align == AlignCenter)
        x = left + (width - w) / 2.0;
    textAt(x, topOf(text), text, color);
}

void SheetPainter::textAt(double x, double y, const QString& text, const QColor& color) {
    const QFont f = qfont(size_);
    const double ascent = f.pixelSize() * 0.88;
    p_.save();
    p_.translate(x, y + offsetY);
    p_.scale(1.0 / kUnitsPerMm, 1.0 / kUnitsPerMm);
    p_.setFont(f);
    p_.setPen(color);
    p_.drawText(QPointF(0, ascent), text);
    p_.restore();
}

void SheetPainter::line(double x1, double y1, double x2, double y2, double width, const QColor& c) {
    p_.setPen(QPen(c, width, Qt::SolidLine, Qt::FlatCap));
    p_.drawLine(QPointF(x1, y1 + offsetY), QPointF(x2, y2 + offsetY));
}

void SheetPainter::rect(double x, double y, double w, double h, double width, const QColor& c) {
    p_.setPen(QPen(c, width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p_.setBrush(Qt::NoBrush);
    p_.drawRect(QRectF(x, y + offsetY, w, h));
}

void SheetPainter::fillRect(double x, double y, double w, double h, const QColor& fill) {
    p_.fillRect(QRectF(x, y + offsetY, w, h), fill);
}

void SheetPainter::polyline(const QPointF* points, int count, double width, const QColor& c) {
    if (count < 2) return;
    QPolygonF poly;
    for (int i = 0; i < count; ++i)
        poly << QPointF(points[i].x(), points[i].y() + offsetY);
    p_.setPen(QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p_.setBrush(Qt::NoBrush);
    p_.drawPolyline(poly);
}

void SheetPainter::polygon(const QPointF* points, int count, const QColor& fill, double width, const QColor& c) {
    QPolygonF poly;
    for (int i = 0; i < count; ++i)
        poly << QPointF(points[i].x(), points[i].y() + offsetY);
    p_.setPen(width > 0 ? QPen(c, width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin) : QPen(Qt::NoPen));
    p_.setBrush(fill.isValid() ? QBrush(fill) : QBrush(Qt::NoBrush));
    p_.drawPolygon(poly);
    p_.setBrush(Qt::NoBrush);
}

void SheetPainter::ellipse(double cx, double cy, double r, const QColor& fill) {
    p_.setPen(Qt::NoPen);
    p_.setBrush(fill);
    p_.drawEllipse(QPointF(cx, cy + offsetY), r, r);
    p_.setBrush(Qt::NoBrush);
}

void SheetPainter::image(const QRectF& box, const QImage& img) {
    if (img.isNull() || box.isEmpty()) return;
    QSizeF s = QSizeF(img.size()).scaled(box.size(), Qt::KeepAspectRatio);
    const QRectF target(box.x() + (box.width() - s.width()) / 2, box.y() + offsetY + (box.height() - s.height()) / 2,
                        s.width(), s.height());
    p_.drawImage(target, img);
}

} // namespace kvr
