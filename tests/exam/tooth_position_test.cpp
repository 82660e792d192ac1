// The entry cursor: the tooth orders of the route patterns, the six-site orders of both
// styles, the gap and two-pass orders and their moves; and the key reading with the "/"
// and "*" prefixes and what each token does per item mode.
#include "exam/CExamData.h"
#include "exam/CToothPosition.h"
#include "exam/EntryKeys.h"

#include <QHash>
#include <gtest/gtest.h>

#include <array>
#include <vector>

using namespace kvr;

namespace {

class ToothPositionTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 6; ++i)
            cur.setBPocketPosition(i, true);
    }
    // The number of six-site entries visited walking the whole order one way.
    int walk6(bool forward) {
        int n = 0;
        for (bool ok = forward ? cur.MoveFirst6() : cur.MoveLast6(); ok;
             ok = forward ? cur.MoveNext6() : cur.MovePrev6())
            ++n;
        return n;
    }
    CToothPosition cur;
};

TEST_F(ToothPositionTest, RoutePatternsAndGapModeGiveTheirToothOrders) {
    // The first two teeth of each half-route: upper or lower jaw first, each either way.
    const std::array<int, 4> starts[] = {{0, 1, 16, 17}, {0, 1, 31, 30},   {15, 14, 31, 30}, {15, 14, 16, 17},
                                         {16, 17, 0, 1}, {16, 17, 15, 14}, {31, 30, 15, 14}, {31, 30, 0, 1}};
    for (int p = 0; p < 8; ++p) {
        cur.MakeMove(p, 1, QString(48, ' '));
        EXPECT_EQ((std::array{cur.toothOrder(0), cur.toothOrder(1), cur.toothOrder(16), cur.toothOrder(17)}),
                  starts[p])
            << "pattern " << p;
    }
    // Gap mode: 15 gaps per jaw; a gap needs both its teeth, none lies between the jaws.
    cur.MakeMove(0, 1, QString(), false, true);
    ASSERT_TRUE(cur.MoveLastGap());
    EXPECT_EQ(std::pair(int(cur.nTooth), int(cur.nPos)), std::pair(30, 29));
    EXPECT_FALSE(cur.MoveNextGap());
    EXPECT_FALSE(cur.MoveGap(15));
    cur.setNBuiStatus(5, kMissingTooth);
    ASSERT_TRUE(cur.MoveGap(3));
    ASSERT_TRUE(cur.MoveNextGap());
    EXPECT_EQ(cur.nTooth, 6); // gaps 4 and 5 closed
}

// Each six-site order as sampled entries "position:tooth:site" (site -1: skipped) and the
// number of entries a walk visits, forwards and backwards (a rebuild fills it afresh).
TEST_F(ToothPositionTest, SixSiteOrdersVisitEverySiteOnceInBothDirections) {
    // Tooth by tooth, pattern 2 (quadrants 1, 0, 3, 2); quadrant 1 has a blank label.
    const QString labels = "BMBCBDLMLCLDLDLC  BMBCBDLMLCLDBMBCBDBDBCBMLDLCLM";
    const QString codes = "URB8ULB1ULL8URL1LRL8LLL1LLB8LRB1";
    const struct {
        int pattern, style;
        QString text;
        bool fixed;
        int offFlag;
        const char* entries;
        int walked;
    } cases[] = {
        {2, 1, labels, false, -1, "0:15:5 2:15:-1 5:15:2 48:7:2 53:7:3 96:31:5 101:31:0 191:16:3", 192 - 8},
        // The furcation route's own text: pattern 1 starts its segments with LD, LM, LD, LM.
        {1, 0, "ignored", true, -1, "0:0:3 5:0:2 48:8:3 96:31:2 144:23:2", 192},
        // By chart row: URB8, ULB1, ULL8 (15 -> 8, sites 5 4 3), URL1, ..., LLB8; then
        // with the buccal centre not measured.
        {0, 0, codes, false, -1, "0:0:0 24:8:0 48:15:5 95:0:3 144:31:5", 192},
        {0, 0, codes, false, 1, "1:0:-1 190:16:-1", 192 - 32},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entries);
        if (c.offFlag >= 0) cur.setBPocketPosition(c.offFlag, false);
        for (int pass = 0; pass < 2; ++pass) {
            cur.MakeMove(c.pattern, qint16(c.style), c.text, c.fixed);
            for (const QString& e : QString(c.entries).split(' ')) {
                const QStringList f = e.split(':');
                EXPECT_EQ(std::pair(cur.nPos6Tooth(f[0].toInt()), cur.nPos6Pocket(f[0].toInt())),
                          std::pair(f[1].toInt(), f[2].toInt()))
                    << e.toStdString();
            }
        }
        EXPECT_EQ(walk6(true), c.walked);
        EXPECT_EQ(walk6(false), c.walked);
    }
    EXPECT_TRUE(cur.Move66(8, 2));
    EXPECT_FALSE(cur.Move66(8, 1)); // a skipped site
    EXPECT_EQ(cur.nPos6, 26);
}

TEST_F(ToothPositionTest, ToothMovesFollowTheStatusFlagsAndStopAtTheEnds) {
    cur.MakeMove(0, 1, QString(48, ' '));
    cur.setNBuiStatus(3, kMissingTooth);
    cur.setNBuiStatus(31, kMissingTooth);
    ASSERT_TRUE(cur.Move(2));
    ASSERT_TRUE(cur.MoveNext());
    EXPECT_EQ(cur.nTooth, 4);
    EXPECT_FALSE(cur.Move(3));
    ASSERT_TRUE(cur.MoveLast());
    EXPECT_FALSE(cur.MoveNext());
    EXPECT_EQ(cur.nTooth, 30);
    ASSERT_TRUE(cur.MoveFirst());
    EXPECT_FALSE(cur.MovePrev());
    cur.nInputStatus = kMissingTooth; // an item entered on missing teeth visits them
    EXPECT_TRUE(cur.Move(3));

    // The first flag present in the order implant, pontic, other, missing decides.
    const std::uint16_t M = kMissingTooth, I = kImplant, P = kPontic, O = kOtherExcluded;
    const struct {
        std::uint16_t input, status;
        bool ok;
    } cases[] = {{M, I | M, false}, {I, I | M, true},  {P, I | P, false},
                 {I, I | P, true},  {O, P | O, false}, {P, P | O, true},
                 {O, O | M, true},  {0, O, false},     {0, kDeciduous, true}};
    for (const auto& c : cases) {
        cur.nInputStatus = c.input;
        EXPECT_EQ(cur.IsInputOK(c.status), c.ok) << std::hex << c.input << " on " << c.status;
    }
}

TEST_F(ToothPositionTest, Move6CarriesTheAnatomicalSiteAcrossQuadrants) {
    cur.MakeMove(0, 1, QString("BMBCBDLMLCLD").repeated(4));
    for (int from = 0; from < 4; ++from)
        for (int to = 0; to < 4; ++to)
            for (const char* label : {"BM", "BC", "BD", "LM", "LC", "LD"}) {
                int s = CToothPosition::siteOfLabel(label, from);
                ASSERT_TRUE(cur.Move66(from * 8 + 2, s));
                ASSERT_TRUE(cur.Move6(to * 8 + 5, s));
                EXPECT_EQ(s, CToothPosition::siteOfLabel(label, to)) << label << from << to;
                EXPECT_EQ(cur.nPocket, s);
            }
    // A refused tooth keeps the cursor; "any site" takes the tooth's first entry.
    cur.setNBuiStatus(20, kPontic);
    ASSERT_TRUE(cur.Move66(3, 0));
    int site = 0;
    EXPECT_FALSE(cur.Move6(20, site));
    EXPECT_EQ(cur.nTooth, 3);
    site = 0;
    ASSERT_TRUE(cur.Move6(28, site, true));
    EXPECT_EQ(std::pair(int(cur.nPos6), int(cur.nPocket)), std::pair(28 * 6, 5));
}

TEST_F(ToothPositionTest, TwoPassOrderComesFromEightCodesAndEndsAtAnUnknownOne) {
    cur.MakeMove(0, 1, QString(), false, false, "URB8ULB1LRL8LLL1URB1ULB8LRL1LLL8");
    for (auto [pos, tooth] : {std::pair{0, 0}, {15, 15}, {32, 7}, {63, 24}})
        EXPECT_EQ(cur.plaqueOrder(pos), tooth) << pos;
    cur.setNBuiStatus(7, kImplant);
    ASSERT_TRUE(cur.MovePlaque(6));
    ASSERT_TRUE(cur.MoveNextPlaque());
    EXPECT_EQ(cur.nTooth, 8);
    ASSERT_TRUE(cur.MovePlaque(0));
    EXPECT_FALSE(cur.MovePrevPlaque());
    cur.MakeMove(0, 1, QString(), false, false, "URB8ULB1"); // a short text leaves the order
    EXPECT_EQ(cur.plaqueOrder(63), 24);
    cur.MakeMove(0, 1, QString(), false, false, "URB8ULB1????LLL1URB1ULB8LRL1LLL8");
    ASSERT_TRUE(cur.MovePlaque(15));
    EXPECT_FALSE(cur.MoveNextPlaque());
    EXPECT_EQ(cur.nTooth, 15);
}

// ------------------------------------------------------------------ keys

// Types keys and returns the tokens they complete, joined by "|" ("<" and ">" for moves).
// A printable character is the key of the same code; besides: '<' Left, '>' Right,
// 'b' Backspace, 'r' Return, 'e' Enter, 's' Shift, 'n' NumLock, 't' Tab, 'u' Up, 'x' Escape.
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
        if (s.kind == KeyStep::Prev || s.kind == KeyStep::Next) out << (s.kind == KeyStep::Prev ? "<" : ">");
    }
    if (prefixLeft) *prefixLeft = prefix;
    return out.join('|');
}

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
    // Characters known only by their text (other keyboard layouts).
    EXPECT_EQ(readEntryKey(0x01001234, "7", left).token, "7");
    EXPECT_EQ(readEntryKey(Qt::Key_unknown, QString::fromUtf8("７"), left).kind, KeyStep::Ignored);
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
        {9, "0=x"}}; // no keyboard entry
    const QHash<QString, EntryAction::Kind> kinds = {
        {"x", EntryAction::Reject},      {"c", EntryAction::Clear},         {"n", EntryAction::NoLesion},
        {"B", EntryAction::SetBleeding}, {"b", EntryAction::ClearBleeding}, {"P", EntryAction::SetPus},
        {"p", EntryAction::ClearPus}};
    for (const auto& [mode, list] : modes)
        for (const QString& pair : QString(list).split(' ')) {
            const QString token = pair.section('=', 0, 0), what = pair.section('=', 1);
            const EntryAction want = kinds.contains(what) ? EntryAction{kinds[what], 0}
                                                          : EntryAction{EntryAction::Value, what.toInt()};
            EXPECT_EQ(entryActionFor(token, mode), want)
                << "mode " << mode << " token " << token.toStdString();
        }
}

} // namespace
