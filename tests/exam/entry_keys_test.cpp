// Key reading with the "/" and "*" prefixes and what each token does per item mode.
#include "exam/EntryKeys.h"

#include <QHash>
#include <QStringList>
#include <gtest/gtest.h>

using namespace kvr;

namespace {

// Types keys and returns the tokens they complete, joined by "|" ("<" and ">" for
// moves). A printable character is the key of the same code; besides: '<' Left,
// '>' Right, 'b' Backspace, 'r' Return, 'e' Enter, 's' Shift, 'n' NumLock, 't' Tab,
// 'u' Up, 'x' Escape.
QString tokensOf(const char* keys, QString* prefixLeft = nullptr) {
    const QHash<char, int> named = {{'<', Qt::Key_Left},    {'>', Qt::Key_Right}, {'b', Qt::Key_Backspace},
                                    {'r', Qt::Key_Return},  {'e', Qt::Key_Enter}, {'s', Qt::Key_Shift},
                                    {'n', Qt::Key_NumLock}, {'t', Qt::Key_Tab},   {'u', Qt::Key_Up},
                                    {'x', Qt::Key_Escape}};
    QString prefix;
    QStringList out;
    for (const char* c = keys; *c; ++c) {
        const KeyStep s = readEntryKey(named.value(*c, *c), QString(), prefix);
        if (s.kind == KeyStep::Token) out << s.token;
        if (s.kind == KeyStep::Prev) out << "<";
        if (s.kind == KeyStep::Next) out << ">";
    }
    if (prefixLeft) *prefixLeft = prefix;
    return out.join('|');
}

} // namespace

TEST(EntryKeys, PrefixesModifiersAndMoves) {
    // The prefix serves one key; the latest prefix wins; "*" before a digit and "/"
    // before a sign do nothing; modifiers alone keep the prefix (Shift held for "+"),
    // other keys and moves clear it.
    const std::pair<const char*, const char*> cases[] = {
        {"/2", "12"},  {"/06", "10|6"}, {"*+*-", "*+|*-"},      {"+-.", "+|-|."},
        {"*/5", "15"}, {"*3/+", "3|+"}, {"*s+", "*+"},          {"/n4", "14"},
        {"/A4", "4"},  {"/>2", ">|2"},  {"<b>re", "<|<|>|>|>"}, {"ux", ""}};
    for (const auto& [keys, tokens] : cases)
        EXPECT_EQ(tokensOf(keys), tokens) << keys;
    QString left;
    tokensOf("/t", &left);
    EXPECT_TRUE(left.isEmpty());
    tokensOf("*", &left);
    EXPECT_EQ(left, "*");

    // Characters known only by their text (other keyboard layouts).
    QString prefix;
    EXPECT_EQ(readEntryKey(Qt::Key_unknown, "+", prefix).token, "+");
    EXPECT_EQ(readEntryKey(0x01001234, "7", prefix).token, "7");
    EXPECT_EQ(readEntryKey(Qt::Key_unknown, QString::fromUtf8("７"), prefix).kind, KeyStep::Ignored);
}

TEST(EntryKeys, EachModeAcceptsItsOwnTokens) {
    // token=action per mode: a number enters that value, "x" refuses, "c" clears, "n" is
    // the furcation no-lesion value, "B"/"b" bleeding on/off, "P"/"p" pus on/off.
    const std::pair<int, const char*> modes[] = {
        {1, "0=0 3=3 4=x 9=x 10=x +=x *-=x .=c"},        // mobility
        {3, "1=1 16=16 0=x 17=x +=B -=b *+=P *-=p .=c"}, // pocket depth
        {6, "0=n 3=3 4=x +=x .=c"},                      // furcation
        {4, "1=x 0=x .=x"},                              // plaque: buttons and clicks only
        {0, "0=x 1=x +=x .=x"},
        {2, "1=x .=x"},
        {5, "1=x"},
        {9, "0=x"}}; // no keyboard entry
    const QHash<QString, EntryAction::Kind> kinds = {
        {"x", EntryAction::Reject},      {"c", EntryAction::Clear},         {"n", EntryAction::NoLesion},
        {"B", EntryAction::SetBleeding}, {"b", EntryAction::ClearBleeding}, {"P", EntryAction::SetPus},
        {"p", EntryAction::ClearPus}};
    for (const auto& [mode, list] : modes)
        for (const QString& pair : QString(list).split(' ')) {
            const QString token = pair.section('=', 0, 0), what = pair.section('=', 1);
            const EntryAction got = entryActionFor(token, mode);
            if (kinds.contains(what))
                EXPECT_EQ(got.kind, kinds[what]) << "mode " << mode << " token " << token.toStdString();
            else
                EXPECT_EQ(got, (EntryAction{EntryAction::Value, what.toInt()}))
                    << mode << token.toStdString();
        }
}
