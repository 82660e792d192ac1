#include "ToothFlagRow.h"

#include "platform/accessible.h"

#include <QEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QMouseEvent>

namespace kvr {

namespace {
const char* const kJaw[4] = {"右上", "左上", "右下", "左下"};
} // namespace

QString ToothFlagRow::toothNumber(int i) {
    const int inQuadrant = i % 8;
    const bool right = (i / 8) % 2 == 0; // quadrants 0 and 2 run from 8 down to 1
    return QString::number(right ? 8 - inQuadrant : inQuadrant + 1);
}

ToothFlagRow::ToothFlagRow(const QString& name, const QString& caption, QWidget* parent) : QWidget(parent) {
    NameControl(this, name, caption);
    setFocusPolicy(Qt::StrongFocus);
    auto* g = new QGridLayout(this);
    g->setContentsMargins(0, 0, 0, 0);
    g->setHorizontalSpacing(1);
    g->setVerticalSpacing(1);
    for (int i = 0; i < kTeeth; ++i) {
        auto* l = new QLabel(toothNumber(i), this);
        NameControl(l, name + "(" + QString::number(i) + ")",
                    caption + " " + QString::fromUtf8(kJaw[i / 8]) + toothNumber(i));
        l->setAlignment(Qt::AlignCenter);
        l->setAutoFillBackground(true);
        l->setFrameShape(QFrame::Box);
        l->setFrameShadow(QFrame::Plain);
        l->setFixedSize(20, 18);
        l->installEventFilter(this);
        cells_[i] = l;
        // Two rows of sixteen like a chart; a gap between the right and left half.
        const int col = (i % 16) + ((i % 16) >= 8 ? 1 : 0);
        g->addWidget(l, i / 16, col);
    }
    g->setColumnMinimumWidth(8, 6);
    g->setColumnStretch(17, 1);
    restyleAll();
}

QString ToothFlagRow::flags() const {
    QString s;
    for (bool b : on_)
        s += b ? '1' : '0';
    return s;
}

void ToothFlagRow::setFlags(const QString& flags) {
    for (int i = 0; i < kTeeth; ++i)
        on_[i] = i < flags.size() && flags[i] == '1';
    restyleAll();
}

void ToothFlagRow::clearAll() {
    on_.fill(false);
    restyleAll();
}

void ToothFlagRow::toggle(int i) {
    if (i < 0 || i >= kTeeth) return;
    on_[i] = !on_[i];
    restyle(i);
}

bool ToothFlagRow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress && isEnabled()) {
        for (int i = 0; i < kTeeth; ++i)
            if (watched == cells_[i]) {
                cursor_ = i;
                toggle(i);
                setFocus(Qt::MouseFocusReason);
                restyleAll();
                return true;
            }
    }
    return QWidget::eventFilter(watched, event);
}

void ToothFlagRow::keyPressEvent(QKeyEvent* event) {
    const int old = cursor_;
    switch (event->key()) {
    case Qt::Key_Left:
        cursor_ = cursor_ % 16 == 0 ? cursor_ : cursor_ - 1;
        break;
    case Qt::Key_Right:
        cursor_ = cursor_ % 16 == 15 ? cursor_ : cursor_ + 1;
        break;
    case Qt::Key_Up:
        cursor_ = cursor_ >= 16 ? cursor_ - 16 : cursor_;
        break;
    case Qt::Key_Down:
        cursor_ = cursor_ < 16 ? cursor_ + 16 : cursor_;
        break;
    case Qt::Key_Home:
        cursor_ = cursor_ < 16 ? 0 : 16;
        break;
    case Qt::Key_End:
        cursor_ = cursor_ < 16 ? 15 : 31;
        break;
    case Qt::Key_Space:
        toggle(cursor_);
        return;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    restyle(old);
    restyle(cursor_);
}

void ToothFlagRow::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    restyle(cursor_);
}

void ToothFlagRow::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    restyle(cursor_);
}

void ToothFlagRow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) restyleAll();
}

void ToothFlagRow::restyle(int i) {
    // Disabled rows are greyed so that they read as closed; selected teeth stay greenish.
    QColor back, fore(0x20, 0x20, 0x20);
    if (isEnabled()) {
        back = QColor::fromRgb(on_[i] ? kSelectedColor : kClearColor);
    } else {
        back = on_[i] ? QColor(0xB4, 0xCC, 0xB4) : QColor(0xE4, 0xE4, 0xE4);
        fore = QColor(0x8A, 0x8A, 0x8A);
    }
    QLabel* l = cells_[i];
    QPalette p = l->palette();
    p.setColor(QPalette::Window, back);
    p.setColor(QPalette::WindowText, fore);
    p.setColor(QPalette::Disabled, QPalette::Window, back);
    p.setColor(QPalette::Disabled, QPalette::WindowText, fore);
    l->setPalette(p);
    l->setLineWidth(hasFocus() && i == cursor_ ? 2 : 1);
}

void ToothFlagRow::restyleAll() {
    for (int i = 0; i < kTeeth; ++i)
        restyle(i);
}

} // namespace kvr
