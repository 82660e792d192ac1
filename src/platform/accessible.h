// Names a control for its users and for assistive technology (screen readers and
// the end-to-end tests that drive the program by captions): the object name and the
// accessible description are the control's name in the screen's design ("CmbOutNo"),
// the accessible name is what the user reads: its caption, or for an input the
// caption of the label beside it.
#pragma once

#include <QLabel>
#include <QString>
#include <QWidget>

namespace kvr {

inline void NameControl(QWidget* control, const QString& name, const QString& caption) {
    control->setObjectName(name);
    control->setAccessibleDescription(name);
    if (!caption.isEmpty()) control->setAccessibleName(caption);
}

// An input named by the label beside it: the label becomes its buddy, so the label's
// mnemonic and caption lead to the input.
inline void NameInput(QWidget* input, const QString& name, QLabel* label) {
    if (label) label->setBuddy(input);
    NameControl(input, name, label ? label->text() : QString());
}

// Shows a value (a path, a file name) in a label named by its caption. A screen reader
// hears a label's accessible name only, so the name carries the value after the caption.
// The caption is the name the label had before its first value.
inline void ShowValue(QLabel* label, const QString& value) {
    if (!label->property("kvrCaption").isValid()) label->setProperty("kvrCaption", label->accessibleName());
    const QString caption = label->property("kvrCaption").toString();
    label->setText(value);
    label->setAccessibleName(value.isEmpty() ? caption : caption + QStringLiteral("：") + value);
}

} // namespace kvr
