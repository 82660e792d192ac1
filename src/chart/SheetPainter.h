// Drawing in millimetres on any QPainter: the printer, the PDF writer and the chart
// screen's preview. The painter's unit must be one millimetre when the drawing starts
// (SheetPainter::forDevice sets that up for a page device).
//
// Text sizes are in points. Text is drawn at a hundredth of a millimetre per font
// pixel, so that sizes and widths hold to 0.01 mm on every device; it stays text
// (selectable in a PDF), and every other drawing is vector.
#pragma once

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QString>

#include <memory>

class QPainter;
class QPagedPaintDevice;
class QImage;
class QPointF;
class QRectF;

namespace kvr {

// The sheets name the classic Japanese fonts; each maps to a metric-compatible font of
// this platform: "ＭＳ Ｐ明朝" IPAPMincho, "ＭＳ 明朝" IPAMincho, "ＭＳ Ｐゴシック" IPAPGothic,
// "ＭＳ ゴシック" IPAGothic. Other names are used as they are.
QString SheetFontFamily(const QString& sheetFontName);

inline constexpr const char* kMincho = "ＭＳ 明朝";
inline constexpr const char* kPMincho = "ＭＳ Ｐ明朝";
inline constexpr const char* kGothic = "ＭＳ ゴシック";
inline constexpr const char* kPGothic = "ＭＳ Ｐゴシック";

enum TextAlign { AlignLeft = 0, AlignRight = 1, AlignCenter = 2 };

class SheetPainter {
public:
    // painter's unit must already be one millimetre.
    explicit SheetPainter(QPainter& painter);

    // Scales painter (active on a page device) so that one unit is one millimetre of
    // the paper, measured from the paper's corner.
    static void toMillimetres(QPainter& painter, const QPagedPaintDevice& device);

    QPainter& painter() { return p_; }

    // Black, a thin solid pen, no fill, "ＭＳ Ｐゴシック" 10 pt, vertical offset 0.
    void InitPrinter();

    // Font by its sheet name (see SheetFontFamily) and size in points.
    void setFont(const QString& sheetFontName, double points);
    void setFontSize(double points);
    double fontSize() const { return size_; }
    QString fontName() const { return name_; }

    QColor foreColor() const { return fore_; }
    void setForeColor(const QColor& c) { fore_ = c; }

    // Added to every vertical position (the preview's block offset).
    double offsetY = 0.0;

    // Width and height of text in the current font, in millimetres.
    double textWidth(const QString& text) const;
    double textHeight(const QString& text = QString()) const;

    // Boxed text: see the comments in SheetPainter.cpp. align is a TextAlign;
    // charCount > 0 spreads that many characters evenly over the width.
    void PrintText(double left, double top, double width, double height, const QString& text, bool fit,
                   double size, int align, const QColor& color = Qt::black, int charCount = 0);
    // The largest size (points, in steps of 0.6 from 4, less 0.7) at which text is
    // narrower than width and lower than height; the current size is kept.
    double FitFontSize(const QString& text, double width, double height);

    // Text with its top-left corner at (x, y), current font and fore colour.
    void textAt(double x, double y, const QString& text, const QColor& color);

    void line(double x1, double y1, double x2, double y2, double width = 0.1, const QColor& c = Qt::black);
    void rect(double x, double y, double w, double h, double width = 0.1, const QColor& c = Qt::black);
    void fillRect(double x, double y, double w, double h, const QColor& fill);
    void polyline(const QPointF* points, int count, double width, const QColor& c);
    void polygon(const QPointF* points, int count, const QColor& fill, double width = 0.1,
                 const QColor& c = Qt::black);
    void ellipse(double cx, double cy, double r, const QColor& fill);
    // The image scaled into the box (aspect kept, centred); a null image draws nothing.
    void image(const QRectF& box, const QImage& img);

private:
    struct FontEntry {
        QFont font;
        QFontMetricsF metrics;
    };
    const FontEntry& entry(double points) const;
    const QFont& qfont(double points) const { return entry(points).font; }

    mutable QHash<QString, std::shared_ptr<FontEntry>> fonts_; // by family and pixel size

    QPainter& p_;
    QString name_;
    double size_ = 10.0;
    QColor fore_ = Qt::black;
};

} // namespace kvr
