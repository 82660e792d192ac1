#include "EntryKeys.h"

#include <Qt>

namespace kvr {

namespace {

bool isModifierKey(int key) {
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
    case Qt::Key_AltGr:
    case Qt::Key_NumLock:
    case Qt::Key_CapsLock:
        return true;
    default:
        return false;
    }
}

// The entry character of a key: the keypad and the main keyboard report the same key
// codes; the text is used for layouts where a character has no key code of its own.
QChar entryChar(int key, const QString& text) {
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return QChar('0' + (key - Qt::Key_0));
    switch (key) {
    case Qt::Key_Slash:
        return '/';
    case Qt::Key_Asterisk:
        return '*';
    case Qt::Key_Plus:
        return '+';
    case Qt::Key_Minus:
        return '-';
    case Qt::Key_Period:
        return '.';
    default:
        break;
    }
    if (text.size() == 1) {
        const QChar c = text.at(0);
        if (c.isDigit() && c.unicode() < 128) return c;
        if (QStringLiteral("/*+-.").contains(c)) return c;
    }
    return QChar();
}

} // namespace

KeyStep readEntryKey(int key, const QString& text, QString& prefix) {
    if (isModifierKey(key)) return {KeyStep::Pending, {}};
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Backspace:
        prefix.clear();
        return {KeyStep::Prev, {}};
    case Qt::Key_Right:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        prefix.clear();
        return {KeyStep::Next, {}};
    default:
        break;
    }
    const QChar c = entryChar(key, text);
    if (c.isNull()) {
        prefix.clear();
        return {KeyStep::Ignored, {}};
    }
    if (c == '/' || c == '*') {
        prefix = QString(c);
        return {KeyStep::Prefix, {}};
    }
    QString token;
    if (c.isDigit())
        token = prefix == QLatin1String("/") ? QString::number(10 + c.digitValue()) : QString(c);
    else if (c == '+' || c == '-')
        token = prefix == QLatin1String("*") ? QStringLiteral("*") + c : QString(c);
    else
        token = QString(c);
    prefix.clear();
    return {KeyStep::Token, token};
}

EntryAction entryActionFor(const QString& token, int mode) {
    if (token == QLatin1String(".")) {
        if (mode == 1 || mode == 3 || mode == 6) return {EntryAction::Clear, 0};
        return {};
    }
    bool isNumber = false;
    const int n = token.toInt(&isNumber);
    switch (mode) {
    case 1:
        if (isNumber && n >= 0 && n <= 3) return {EntryAction::Value, n};
        break;
    case 3:
        if (isNumber && n >= 1 && n <= 16) return {EntryAction::Value, n};
        if (token == QLatin1String("+")) return {EntryAction::SetBleeding, 0};
        if (token == QLatin1String("-")) return {EntryAction::ClearBleeding, 0};
        if (token == QLatin1String("*+")) return {EntryAction::SetPus, 0};
        if (token == QLatin1String("*-")) return {EntryAction::ClearPus, 0};
        break;
    case 6:
        if (isNumber && n == 0) return {EntryAction::NoLesion, 0};
        if (isNumber && n >= 1 && n <= 3) return {EntryAction::Value, n};
        break;
    default:
        break;
    }
    return {};
}

} // namespace kvr
