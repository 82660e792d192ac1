// A tooth row of the additional-information tab: 32 small labels captioned with tooth
// numbers in chart order, upper jaw above the lower one (upper right 8..1, upper left
// 1..8; lower right 8..1, lower left 1..8). A light green label is selected, a white one
// is not; a click toggles a label. From the keyboard the row is one stop of the Tab
// chain: the arrow keys move between the teeth, Space toggles the tooth under the frame.
#pragma once

#include <QLabel>
#include <QString>
#include <QWidget>

#include <array>

namespace kvr {

class ToothFlagRow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTeeth = 32;
    static constexpr unsigned kSelectedColor = 0xC0FFC0; // light green (same in RGB and BGR)
    static constexpr unsigned kClearColor = 0xFFFFFF;

    // name: the labels' name ("LblPC"); label i is named name + "(i)".
    ToothFlagRow(const QString& name, const QString& caption, QWidget* parent = nullptr);

    // "0"/"1" per label, character i + 1 for label i.
    QString flags() const;
    // Missing characters read as "0".
    void setFlags(const QString& flags);
    void clearAll();
    bool isSelected(int i) const { return on_[i]; }
    void toggle(int i);
    QLabel* cell(int i) const { return cells_[i]; }
    int cursor() const { return cursor_; }
    // The tooth number shown on label i ("8".."1", "1".."8").
    static QString toothNumber(int i);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void restyle(int i);
    void restyleAll();

    std::array<QLabel*, kTeeth> cells_{};
    std::array<bool, kTeeth> on_{};
    int cursor_ = 0;
};

} // namespace kvr
