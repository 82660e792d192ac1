#include "ToothButton.h"

#include "exam/CExamData.h"
#include "exam/CSubExam.h"
#include "exam/CToothPosition.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace kvr {

namespace {

QColor fromBgr(std::uint32_t bgr) {
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

const QColor kCursorFrame(0x1f, 0x5f, 0xbf);
const QColor kCursorSite(0xff, 0xf1, 0x9c);
const QColor kGridLine(0xb8, 0xbe, 0xc6);
const QColor kMissingBack(0xd9, 0xd9, 0xd9);
const QColor kImplantBack(0xd6, 0xe6, 0xf7);
const QColor kPonticBack(0xee, 0xe4, 0xd2);
const QColor kDisabledBack(0xee, 0xee, 0xee);
const QColor kText(0x20, 0x20, 0x20);

// The surfaces' places in the cell: 0 top, 1 right, 2 bottom, 3 left.
int placeOfSurface(int surface, int tooth) {
    const bool upper = tooth < 16;
    const bool rightQuadrant = (tooth % 16) < 8; // drawn with the distal side on the left
    switch (surface) {
    case 0: // buccal: top for upper teeth, bottom for lower teeth
        return upper ? 0 : 2;
    case 2: // lingual / palatal
        return upper ? 2 : 0;
    case 1: // mesial: towards the midline
        return rightQuadrant ? 1 : 3;
    case 3: // distal
        return rightQuadrant ? 3 : 1;
    default:
        return -1;
    }
}

// The cell as assistive technology sees it: a button named by its tooth, site and value.
class ToothButtonAccessible : public QAccessibleWidget {
public:
    explicit ToothButtonAccessible(ToothButton* cell) : QAccessibleWidget(cell, QAccessible::Button) {}
    QString text(QAccessible::Text t) const override {
        const auto* cell = static_cast<const ToothButton*>(widget());
        switch (t) {
        case QAccessible::Name:
            return cell->accessibleText();
        case QAccessible::Description:
            return cell->accessibleDescription().isEmpty() ? cell->objectName()
                                                           : cell->accessibleDescription();
        default:
            return QAccessibleWidget::text(t);
        }
    }
};

QAccessibleInterface* toothButtonAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String("kvr::ToothButton") && object && object->isWidgetType())
        return new ToothButtonAccessible(static_cast<ToothButton*>(object));
    return nullptr;
}

const char* const kSiteLabels[] = {"BM", "BC", "BD", "LM", "LC", "LD"};
// Plaque surfaces 0-3 (bits 1, 2, 4, 8).
const char* const kSurfaceNames[] = {"頬側", "近心", "舌側", "遠心"};

} // namespace

ToothButton::ToothButton(int index, QWidget* parent) : QWidget(parent), index_(index) {
    static const bool factoryInstalled = (QAccessible::installFactory(toothButtonAccessible), true);
    (void)factoryInstalled;
    for (auto& site : values_)
        site.fill(-1);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setEntryCursor(false);
}

void ToothButton::setKind(int kind) {
    kind_ = kind;
    updateGeometry();
    update();
}

int ToothButton::value(int site, int layer) const {
    if (site < 0 || site >= kSites || layer < 0 || layer >= kLayers) return -1;
    return values_[site][layer];
}

void ToothButton::setValue(int site, int layer, int value) {
    if (site < 0 || site >= kSites || layer < 0 || layer >= kLayers) return;
    values_[site][layer] = value;
}

void ToothButton::clearValues() {
    for (auto& site : values_)
        site.fill(-1);
}

void ToothButton::setValueColor(int i, std::uint32_t bgr) {
    if (i >= 0 && i < 4) valueColor_[i] = bgr;
}
void ToothButton::setGradationPart(int i, int value) {
    if (i >= 0 && i < 3) gradation_[i] = value;
}
void ToothButton::setBrightness(int i, int level) {
    if (i >= 0 && i < 4) brightness_[i] = level;
}

void ToothButton::setColorsFrom(const CSubExam& item) {
    for (int i = 0; i < 4; ++i) {
        valueColor_[i] = item.ValueColor(i);
        brightness_[i] = item.Brightness(i);
    }
    for (int i = 0; i < 3; ++i)
        gradation_[i] = item.GradationPart(i);
}

QColor ToothButton::colorByValue(int value, int colorIndex) const {
    if (colorIndex < 0 || colorIndex > 3) return QColor();
    std::uint32_t c = valueColor_[colorIndex];
    if (colorIndex <= 1) {
        int g = brightness_[0];
        if (value >= gradation_[2])
            g = brightness_[3];
        else if (value >= gradation_[1])
            g = brightness_[2];
        else if (value >= gradation_[0])
            g = brightness_[1];
        const std::uint32_t grey = std::uint32_t(g & 0xFF);
        c |= grey | (grey << 8) | (grey << 16);
    }
    return fromBgr(c);
}

void ToothButton::setBackColor(const QColor& color) {
    back_ = color;
    update();
}

void ToothButton::setStatus(std::uint16_t status) {
    status_ = status;
    update();
}

void ToothButton::setInputAllowed(bool allowed) {
    inputAllowed_ = allowed;
    update();
}

void ToothButton::setFurcationKind(int kind) {
    furcationKind_ = kind;
    update();
}

void ToothButton::setValueCaptions(const QHash<int, QString>& captions) {
    captions_ = captions;
    update();
}

void ToothButton::setEntryCursor(bool on, int site) {
    if (cursorOn_ == on && cursorSite_ == site) return;
    cursorOn_ = on;
    cursorSite_ = site;
    update();
    notifyAccessible();
}

void ToothButton::Refresh() {
    update();
    notifyAccessible();
}

void ToothButton::notifyAccessible() {
    if (!QAccessible::isActive()) return;
    QAccessibleEvent event(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

// ---------------------------------------------------------------- accessible text

QString ToothButton::toothNumber(int tooth, std::uint16_t status) {
    if (tooth < 0 || tooth > 31) return QString();
    const int quadrant = tooth / 8; // upper right, upper left, lower right, lower left
    const int i = tooth % 8;
    const int position = quadrant % 2 == 0 ? 8 - i : i + 1; // 1 central incisor ... 8 third molar
    static constexpr int kQuadrantNumbers[] = {1, 2, 4, 3};
    const int quadrantNumber = kQuadrantNumbers[quadrant];
    const bool deciduous = (status & kDeciduous) && position <= 5;
    return QString::number((quadrantNumber + (deciduous ? 4 : 0)) * 10 + position);
}

QString ToothButton::siteLabel(int tooth, int site) {
    if (tooth < 0 || tooth > 31) return QString();
    for (const char* label : kSiteLabels)
        if (CToothPosition::siteOfLabel(QLatin1String(label), tooth / 8) == site) return QLatin1String(label);
    return QString();
}

QString ToothButton::siteText(int site) const {
    const QString empty = QStringLiteral("未入力");
    if (kind_ == KindTwoPass) {
        const int v = value(site, 0);
        return QString::fromUtf8(kSurfaceNames[site]) + " " +
               (v < 0    ? empty
                : v == 1 ? QStringLiteral("あり")
                         : QStringLiteral("なし"));
    }
    const int v = value(site, 0);
    QString text = siteLabel(tooth(), site) + " " + (v < 0 ? empty : textOf(v));
    if (kind_ == KindPocket) {
        if (value(site, 1) >= 0) text += QStringLiteral(" 出血");
        if (value(site, 2) >= 0) text += QStringLiteral(" 排膿");
    }
    return text;
}

QString ToothButton::accessibleText() const {
    QString text = toothNumber(tooth(), status_);
    if (status_ & kMissingTooth)
        text += QStringLiteral(" 欠損");
    else if (status_ & kImplant)
        text += QStringLiteral(" インプラント");
    else if (status_ & kPontic)
        text += QStringLiteral(" ポンティック");
    QList<int> sites;
    switch (kind_) {
    case KindOneValue: {
        const int v = value(0, 0);
        return text + " " + (v < 0 ? QStringLiteral("未入力") : textOf(v));
    }
    case KindPocket:
    case KindSixSite:
        if (cursorOn_ && cursorSite_ >= 0 && cursorSite_ < kSites)
            sites << cursorSite_;
        else
            for (int s = 0; s < kSites; ++s)
                if (kind_ == KindPocket || furcationSite(s)) sites << s;
        break;
    case KindTwoPass:
        if (cursorOn_ && (cursorSite_ == 0 || cursorSite_ == 1))
            sites << 2 * cursorSite_ << 2 * cursorSite_ + 1;
        else
            sites << 0 << 1 << 2 << 3;
        break;
    default:
        return text;
    }
    QStringList parts;
    for (int s : sites)
        parts << siteText(s);
    return parts.isEmpty() ? text : text + " " + parts.join(QStringLiteral("、"));
}

// ---------------------------------------------------------------- two passes

int ToothButton::plaqueCell() const {
    if (!hasPlaqueInput()) return kNoValue;
    int bits = 0;
    for (int s = 0; s < 4; ++s)
        if (values_[s][0] == 1) bits |= 1 << s;
    return bits;
}

int ToothButton::plaqueOpenCell() const {
    return plaqueOpenMask();
}

void ToothButton::setPlaqueCells(int plaque, int open) {
    for (int s = 0; s < 4; ++s)
        values_[s][0] = -1;
    if (plaque == kNoValue || plaque < 0) return;
    // A second cell that was never written (no value) counts as all examined.
    const int openBits = (open == kNoValue || open < 0) ? 0 : open;
    for (int s = 0; s < 4; ++s) {
        const int bit = 1 << s;
        values_[s][0] = (openBits & bit) ? -1 : ((plaque & bit) ? 1 : 0);
    }
}

bool ToothButton::hasPlaqueInput() const {
    for (int s = 0; s < 4; ++s)
        if (values_[s][0] >= 0) return true;
    return false;
}

int ToothButton::plaqueOpenMask() const {
    int bits = 0;
    for (int s = 0; s < 4; ++s)
        if (values_[s][0] < 0) bits |= 1 << s;
    return bits;
}

// ---------------------------------------------------------------- geometry

QSize ToothButton::sizeHint() const {
    switch (kind_) {
    case KindPocket:
        return {72, 50};
    case KindSixSite:
        return {72, 40};
    case KindTwoPass:
        return {72, 40};
    default:
        return {72, 30};
    }
}

QSize ToothButton::minimumSizeHint() const {
    switch (kind_) {
    case KindPocket:
        return {36, 36};
    case KindSixSite:
    case KindTwoPass:
        return {36, 28};
    default:
        return {36, 22};
    }
}

QRect ToothButton::contentRect() const {
    return rect().adjusted(2, 2, -2, -2);
}

bool ToothButton::furcationSite(int site) const {
    return isFurcationSiteOfKind(furcationKind_, site);
}

QRect ToothButton::siteRect(int site) const {
    const QRect c = contentRect();
    if (kind_ == KindPocket || kind_ == KindSixSite) {
        if (site < 0 || site >= 6) return {};
        const int col = site % 3;
        const int row = site / 3;
        const int x0 = c.left() + c.width() * col / 3;
        const int x1 = c.left() + c.width() * (col + 1) / 3;
        const int y0 = c.top() + c.height() * row / 2;
        const int y1 = c.top() + c.height() * (row + 1) / 2;
        return QRect(QPoint(x0, y0), QPoint(x1 - 1, y1 - 1));
    }
    if (kind_ == KindTwoPass) {
        if (site < 0 || site >= 4) return {};
        return surfacePolygon(site).boundingRect();
    }
    if (kind_ == KindOneValue) return site == 0 ? c : QRect();
    return {};
}

QPolygon ToothButton::surfacePolygon(int surface) const {
    const QRect c = contentRect();
    const int dx = c.width() * 3 / 10;
    const int dy = c.height() * 3 / 10;
    const QRect in = c.adjusted(dx, dy, -dx, -dy);
    const QPoint tl = c.topLeft(), tr = c.topRight(), bl = c.bottomLeft(), br = c.bottomRight();
    switch (placeOfSurface(surface, tooth())) {
    case 0:
        return QPolygon({tl, tr, in.topRight(), in.topLeft()});
    case 1:
        return QPolygon({tr, br, in.bottomRight(), in.topRight()});
    case 2:
        return QPolygon({br, bl, in.bottomLeft(), in.bottomRight()});
    case 3:
        return QPolygon({bl, tl, in.topLeft(), in.bottomLeft()});
    default:
        return {};
    }
}

int ToothButton::siteAt(const QPoint& pos) const {
    switch (kind_) {
    case KindPocket:
    case KindSixSite:
        for (int s = 0; s < 6; ++s) {
            if (kind_ == KindSixSite && !furcationSite(s)) continue;
            if (siteRect(s).contains(pos)) return s;
        }
        return -1;
    case KindTwoPass:
        for (int s = 0; s < 4; ++s)
            if (surfacePolygon(s).containsPoint(pos, Qt::OddEvenFill)) return s;
        return -1;
    case KindOneValue:
        return contentRect().contains(pos) ? 0 : -1;
    default:
        return -1;
    }
}

// ---------------------------------------------------------------- painting

QString ToothButton::textOf(int value) const {
    const auto it = captions_.constFind(value);
    return it != captions_.constEnd() ? *it : QString::number(value);
}

void ToothButton::paintStatus(QPainter& p, const QRect& r) const {
    QColor back = back_;
    if (status_ & kMissingTooth)
        back = kMissingBack;
    else if (status_ & kImplant)
        back = kImplantBack;
    else if (status_ & kPontic)
        back = kPonticBack;
    else if (!inputAllowed_)
        back = kDisabledBack;
    p.fillRect(r, back);
    if (status_ & kMissingTooth) {
        p.setPen(QPen(QColor(0x9a, 0x9a, 0x9a), 2));
        p.drawLine(r.topLeft() + QPoint(4, 4), r.bottomRight() - QPoint(4, 4));
        p.drawLine(r.topRight() + QPoint(-4, 4), r.bottomLeft() + QPoint(4, -4));
    } else if (status_ & kPontic) {
        p.fillRect(r, QBrush(QColor(0xc8, 0xb8, 0x98), Qt::BDiagPattern));
    }
}

void ToothButton::paintSites(QPainter& p) const {
    QFont f = font();
    const QRect s0 = siteRect(0);
    f.setPixelSize(std::max(10, std::min(s0.height() - 4, s0.width() - 2) * 4 / 5));
    f.setBold(true);
    p.setFont(f);
    const int dot = std::max(5, s0.height() / 4);
    for (int s = 0; s < 6; ++s) {
        const QRect r = siteRect(s);
        if (kind_ == KindSixSite && !furcationSite(s)) continue;
        const int v = values_[s][0];
        if (cursorOn_ && cursorSite_ == s)
            p.fillRect(r, kCursorSite);
        else if (v >= 0)
            p.fillRect(r, colorByValue(v, 0));
        else if (kind_ == KindSixSite && isRemainingTooth(status_))
            p.fillRect(r, Qt::white);
        p.setPen(kGridLine);
        p.drawRect(r.adjusted(0, 0, -1, -1));
        if (v >= 0) {
            p.setPen(kText);
            p.drawText(r, Qt::AlignCenter, textOf(v));
        }
        if (kind_ != KindPocket) continue;
        p.setRenderHint(QPainter::Antialiasing, true);
        if (values_[s][1] >= 0) { // bleeding: red dot, lower left
            p.setPen(Qt::NoPen);
            p.setBrush(colorByValue(values_[s][1], 2));
            p.drawEllipse(QRect(r.left() + 2, r.bottom() - dot - 1, dot, dot));
        }
        if (values_[s][2] >= 0) { // pus: yellow dot with a dark rim, lower right
            p.setPen(QPen(QColor(0x80, 0x60, 0x00), 1));
            p.setBrush(colorByValue(values_[s][2], 3));
            p.drawEllipse(QRect(r.right() - dot - 2, r.bottom() - dot - 1, dot, dot));
        }
        p.setBrush(Qt::NoBrush);
        p.setRenderHint(QPainter::Antialiasing, false);
    }
}

void ToothButton::paintOneValue(QPainter& p) const {
    const QRect r = contentRect();
    const int v = values_[0][0];
    if (cursorOn_)
        p.fillRect(r.adjusted(2, 2, -2, -2), kCursorSite);
    else if (v >= 0)
        p.fillRect(r.adjusted(2, 2, -2, -2), colorByValue(v, 0));
    if (v < 0) return;
    QFont f = font();
    f.setPixelSize(std::max(10, r.height() * 7 / 10));
    f.setBold(true);
    p.setFont(f);
    p.setPen(kText);
    p.drawText(r, Qt::AlignCenter, textOf(v));
}

void ToothButton::paintTwoPass(QPainter& p) const {
    p.setRenderHint(QPainter::Antialiasing, true);
    for (int s = 0; s < 4; ++s) {
        const QPolygon poly = surfacePolygon(s);
        const int v = values_[s][0];
        QColor fill = v < 0 ? colorByValue(0, 3) : (v > 0 ? colorByValue(v, 2) : QColor(Qt::white));
        p.setPen(QPen(kGridLine, 1));
        p.setBrush(fill);
        p.drawPolygon(poly);
        if (cursorOn_ && passOfSurface(s) == cursorSite_) {
            p.setPen(QPen(kCursorFrame, 2));
            p.setBrush(Qt::NoBrush);
            p.drawPolygon(poly);
        }
    }
    p.setBrush(Qt::NoBrush);
    p.setRenderHint(QPainter::Antialiasing, false);
}

void ToothButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect();
    paintStatus(p, r);
    switch (kind_) {
    case KindPocket:
    case KindSixSite:
        if (kind_ == KindSixSite && furcationKind_ < 0) break;
        paintSites(p);
        break;
    case KindOneValue:
        paintOneValue(p);
        break;
    case KindTwoPass:
        if (isRemainingTooth(status_) || hasPlaqueInput()) paintTwoPass(p);
        break;
    default:
        break;
    }
    if (cursorOn_) {
        p.setPen(QPen(kCursorFrame, 3));
        p.drawRect(r.adjusted(1, 1, -2, -2));
    } else {
        p.setPen(kGridLine);
        p.drawRect(r.adjusted(0, 0, -1, -1));
    }
}

void ToothButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    emit clicked(index_, siteAt(event->position().toPoint()));
}

void ToothButton::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mouseDoubleClickEvent(event);
    emit toothSelected(index_);
}

} // namespace kvr
