// Key reading with the "/" and "*" prefixes and what each token does per item mode.
#include "exam/EntryKeys.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace kvr;

namespace {

// Types keys (Qt key codes) and returns the tokens they complete, joined by "|".
QString tokensOf(std::initializer_list<int> keys, QString* prefixLeft = nullptr) {
    QString prefix;
    QStringList out;
    for (int k : keys) {
        const KeyStep s = readEntryKey(k, QString(), prefix);
        if (s.kind == KeyStep::Token) out << s.token;
        if (s.kind == KeyStep::Prev) out << "<";
        if (s.kind == KeyStep::Next) out << ">";
    }
    if (prefixLeft) *prefixLeft = prefix;
    return out.join('|');
}

} // namespace

TEST(EntryKeys, PrefixesCompleteTensAndPusTokens) {
    EXPECT_EQ(tokensOf({Qt::Key_Slash, Qt::Key_2}), "12");
    EXPECT_EQ(tokensOf({Qt::Key_Slash, Qt::Key_0, Qt::Key_6}), "10|6"); // the prefix serves one key
    EXPECT_EQ(tokensOf({Qt::Key_Asterisk, Qt::Key_Plus, Qt::Key_Asterisk, Qt::Key_Minus}), "*+|*-");
    EXPECT_EQ(tokensOf({Qt::Key_Plus, Qt::Key_Minus, Qt::Key_Period}), "+|-|.");
    // The latest prefix wins; "*" before a digit and "/" before a sign do nothing.
    EXPECT_EQ(tokensOf({Qt::Key_Asterisk, Qt::Key_Slash, Qt::Key_5}), "15");
    EXPECT_EQ(tokensOf({Qt::Key_Asterisk, Qt::Key_3, Qt::Key_Slash, Qt::Key_Plus}), "3|+");
}

TEST(EntryKeys, ModifiersKeepThePrefixOtherKeysClearIt) {
    QString left;
    // "*" then Shift (held for "+" on the main keyboard) then "+".
    EXPECT_EQ(tokensOf({Qt::Key_Asterisk, Qt::Key_Shift, Qt::Key_Plus}), "*+");
    EXPECT_EQ(tokensOf({Qt::Key_Slash, Qt::Key_NumLock, Qt::Key_4}), "14");
    EXPECT_EQ(tokensOf({Qt::Key_Slash, Qt::Key_A, Qt::Key_4}), "4");
    EXPECT_EQ(tokensOf({Qt::Key_Slash, Qt::Key_Tab}, &left), "");
    EXPECT_TRUE(left.isEmpty());
    EXPECT_EQ(tokensOf({Qt::Key_Asterisk}, &left), "");
    EXPECT_EQ(left, "*");
    // Moving clears a pending prefix too.
    EXPECT_EQ(tokensOf({Qt::Key_Slash, Qt::Key_Right, Qt::Key_2}), ">|2");
}

TEST(EntryKeys, MovesAndKeypadKeys) {
    EXPECT_EQ(tokensOf({Qt::Key_Left, Qt::Key_Backspace, Qt::Key_Right, Qt::Key_Return, Qt::Key_Enter}),
              "<|<|>|>|>");
    QString prefix;
    EXPECT_EQ(readEntryKey(Qt::Key_Up, {}, prefix).kind, KeyStep::Ignored);
    EXPECT_EQ(readEntryKey(Qt::Key_Escape, {}, prefix).kind, KeyStep::Ignored);
    // Characters known only by their text (other keyboard layouts).
    EXPECT_EQ(readEntryKey(Qt::Key_unknown, "+", prefix).token, "+");
    EXPECT_EQ(readEntryKey(0x01001234, "7", prefix).token, "7");
    EXPECT_EQ(readEntryKey(Qt::Key_unknown, QString::fromUtf8("７"), prefix).kind, KeyStep::Ignored);
}

TEST(EntryKeys, MobilityTakesZeroToThree) {
    for (int v = 0; v <= 3; ++v)
        EXPECT_EQ(entryActionFor(QString::number(v), 1), (EntryAction{EntryAction::Value, v}));
    for (const char* t : {"4", "9", "10", "+", "-", "*+", "*-"})
        EXPECT_EQ(entryActionFor(t, 1).kind, EntryAction::Reject) << t;
    EXPECT_EQ(entryActionFor(".", 1).kind, EntryAction::Clear);
}

TEST(EntryKeys, PocketTakesOneToSixteenAndTheMarks) {
    EXPECT_EQ(entryActionFor("1", 3), (EntryAction{EntryAction::Value, 1}));
    EXPECT_EQ(entryActionFor("16", 3), (EntryAction{EntryAction::Value, 16}));
    EXPECT_EQ(entryActionFor("0", 3).kind, EntryAction::Reject);
    EXPECT_EQ(entryActionFor("17", 3).kind, EntryAction::Reject);
    EXPECT_EQ(entryActionFor("+", 3).kind, EntryAction::SetBleeding);
    EXPECT_EQ(entryActionFor("-", 3).kind, EntryAction::ClearBleeding);
    EXPECT_EQ(entryActionFor("*+", 3).kind, EntryAction::SetPus);
    EXPECT_EQ(entryActionFor("*-", 3).kind, EntryAction::ClearPus);
    EXPECT_EQ(entryActionFor(".", 3).kind, EntryAction::Clear);
}

TEST(EntryKeys, FurcationZeroIsNoLesionPlaqueAndOtherModes) {
    EXPECT_EQ(entryActionFor("0", 6).kind, EntryAction::NoLesion);
    EXPECT_EQ(entryActionFor("3", 6), (EntryAction{EntryAction::Value, 3}));
    EXPECT_EQ(entryActionFor("4", 6).kind, EntryAction::Reject);
    EXPECT_EQ(entryActionFor("+", 6).kind, EntryAction::Reject);
    EXPECT_EQ(entryActionFor("1", 4), (EntryAction{EntryAction::Value, 1}));
    EXPECT_EQ(entryActionFor("0", 4), (EntryAction{EntryAction::Value, 0}));
    EXPECT_EQ(entryActionFor("2", 4).kind, EntryAction::Reject);
    for (int mode : {0, 2, 5, 7, 8, 9})
        for (const char* t : {"0", "1", "+", "."})
            EXPECT_EQ(entryActionFor(t, mode).kind, EntryAction::Reject);
}
