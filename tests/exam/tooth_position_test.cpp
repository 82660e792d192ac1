// The entry cursor: the route patterns' tooth orders, the six-site orders of both
// styles, gap and two-pass orders, and the moves with their bookkeeping; and the key
// reading with the "/" and "*" prefixes and what each token does per item mode.
#include "exam/CExamData.h"
#include "exam/CToothPosition.h"
#include "exam/EntryKeys.h"
#include "support/test_services.h"

#include <QHash>
#include <gtest/gtest.h>

#include <vector>

using namespace kvr;

namespace {

// The teeth from one to the other, both included, and parts joined.
std::vector<int> seq(int from, int to) {
    std::vector<int> v;
    for (int t = from;; t += (from <= to ? 1 : -1)) {
        v.push_back(t);
        if (t == to) return v;
    }
}
std::vector<int> cat(std::initializer_list<std::vector<int>> parts) {
    std::vector<int> v;
    for (const auto& p : parts)
        v.insert(v.end(), p.begin(), p.end());
    return v;
}

class ToothPositionTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::installTestServices();
        for (int i = 0; i < 6; ++i)
            cur.setBPocketPosition(i, true);
    }
    std::vector<int> toothOrder() const {
        std::vector<int> v;
        for (int i = 0; i < 32; ++i)
            v.push_back(cur.toothOrder(i));
        return v;
    }
    // Entries of the six-site order as {position, tooth, site}.
    void expectEntries(std::initializer_list<std::array<int, 3>> entries) {
        for (const auto& [pos, tooth, site] : entries)
            EXPECT_EQ((std::pair{cur.nPos6Tooth(pos), cur.nPos6Pocket(pos)}), (std::pair{tooth, site}))
                << pos;
    }
    // Walks the six-site order from its start; the number of entries visited.
    int walk6() {
        int visited = cur.MoveFirst6() ? 1 : 0;
        for (int last = cur.nPos6; cur.MoveNext6(); last = cur.nPos6, ++visited)
            EXPECT_GT(cur.nPos6, last);
        return visited;
    }
    std::vector<int> at6() const {
        return {cur.nTooth, cur.nPocket, cur.nPos6, cur.nPrevTooth, cur.nPrevPocket};
    }
    CToothPosition cur;
};

TEST_F(ToothPositionTest, RoutePatternsAndGapModeGiveTheirToothOrders) {
    const auto up = seq(0, 15), down = seq(16, 31), upBack = seq(15, 0), downBack = seq(31, 16);
    const std::vector<std::vector<int>> expected = {
        cat({up, down}), cat({up, downBack}), cat({upBack, downBack}), cat({upBack, down}),
        cat({down, up}), cat({down, upBack}), cat({downBack, upBack}), cat({downBack, up}),
    };
    for (int p = 0; p < 8; ++p) {
        cur.MakeMove(p, 1, QString(48, ' '));
        EXPECT_EQ(toothOrder(), expected[p]) << "pattern " << p;
    }

    // Gap mode: 15 gaps per jaw, then two end markers; a gap needs both its teeth.
    cur.MakeMove(2, 1, QString(), false, true);
    EXPECT_EQ(toothOrder(), cat({seq(14, 0), seq(30, 16), {-1, -1}}));
    cur.MakeMove(0, 1, QString(), false, true);
    ASSERT_TRUE(cur.MoveLastGap());
    EXPECT_EQ((std::vector<int>{cur.nTooth, cur.nPos}), (std::vector<int>{30, 29}));
    EXPECT_FALSE(cur.MoveNextGap()); // the end marker stops the forward scan
    EXPECT_FALSE(cur.MoveGap(15));   // no gap between the jaws
    cur.setNBuiStatus(31, kMissingTooth);
    EXPECT_FALSE(cur.MoveGap(30));
    cur.setNBuiStatus(5, kMissingTooth);
    ASSERT_TRUE(cur.MoveGap(3));
    ASSERT_TRUE(cur.MoveNextGap());
    EXPECT_EQ((std::vector<int>{cur.nTooth, cur.nPos, cur.nPrevTooth}),
              (std::vector<int>{6, 6, 3})); // 4 and 5 closed
}

TEST_F(ToothPositionTest, ToothBySiteOrderFollowsEachQuadrantsLabels) {
    // Segments per quadrant 0..3; quadrant 1 has a blank label (no site).
    const QString text = "BMBCBDLMLCLD"
                         "LDLC  BMBCBD"
                         "LMLCLDBMBCBD"
                         "BDBCBMLDLCLM";
    // Pattern 2 visits quadrants 1, 0, 3, 2 (teeth 15..0, then 31..16).
    const std::vector<int> teeth[] = {seq(15, 8), seq(7, 0), seq(31, 24), seq(23, 16)};
    const std::vector<int> sites[] = {
        {5, 4, -1, 0, 1, 2}, {2, 1, 0, 5, 4, 3}, {5, 4, 3, 2, 1, 0}, {2, 1, 0, 5, 4, 3}};
    for (int pass = 0; pass < 2; ++pass) { // a rebuild fills from position 0 again
        cur.MakeMove(2, 1, text);
        for (int e = 0; e < 192; ++e)
            ASSERT_EQ((std::pair{cur.nPos6Tooth(e), cur.nPos6Pocket(e)}),
                      (std::pair{teeth[e / 48][e % 48 / 6], sites[e / 48][e % 6]}))
                << "entry " << e;
    }
    EXPECT_EQ(walk6(), 192 - 8);                             // the blank-label entries are walked over
    EXPECT_EQ(at6(), (std::vector<int>{16, 3, 191, 16, 3})); // an exhausted scan keeps the cursor

    // The furcation route's own text: pattern 1 starts its segments with LD, LM, LD, LM.
    cur.MakeMove(1, 0, "ignored", true);
    expectEntries({{0, 0, 3}, {5, 0, 2}, {48, 8, 3}, {96, 31, 2}, {144, 23, 2}});
}

TEST_F(ToothPositionTest, ChartRowCodesAndSkippedSites) {
    const QString codes = "URB8ULB1ULL8URL1LRL8LLL1LLB8LRB1";
    cur.MakeMove(0, 0, codes);
    // URB8 then ULB1; ULL8: teeth 15 -> 8, sites 5, 4, 3; URL1: 7 -> 0; LLB8: 31 -> 24.
    expectEntries({{0, 0, 0}, {24, 8, 0}, {48, 15, 5}, {95, 0, 3}, {144, 31, 5}});

    // Buccal centre not measured: those entries become skipped sites, walked over.
    cur.setBPocketPosition(1, false);
    cur.MakeMove(0, 0, codes);
    expectEntries({{1, 0, -1}});
    EXPECT_EQ(walk6(), 192 - 32);
    ASSERT_TRUE(cur.MovePrev6());
    EXPECT_EQ(cur.nPos6, 189); // 190 is LRB1 tooth 16's buccal centre
    EXPECT_TRUE(cur.Move66(8, 2));
    EXPECT_FALSE(cur.Move66(8, 1)); // skipped site
    EXPECT_EQ(cur.nPos6, 26);
}

TEST_F(ToothPositionTest, ToothMovesFollowTheStatusFlagsAndStopAtTheEnds) {
    cur.MakeMove(0, 1, QString(48, ' '));
    cur.setNBuiStatus(3, kMissingTooth);
    cur.setNBuiStatus(31, kMissingTooth);
    ASSERT_TRUE(cur.Move(2));
    ASSERT_TRUE(cur.MoveNext());
    EXPECT_EQ((std::vector<int>{cur.nTooth, cur.nPos, cur.nPrevTooth}), (std::vector<int>{4, 4, 2}));
    EXPECT_FALSE(cur.Move(3));
    // At the last allowed tooth MoveNext fails and keeps the cursor and its bookkeeping.
    ASSERT_TRUE(cur.MoveLast());
    ASSERT_TRUE(cur.MovePrev());
    ASSERT_TRUE(cur.MoveNext());
    EXPECT_FALSE(cur.MoveNext());
    EXPECT_EQ((std::vector<int>{cur.nTooth, cur.nPos, cur.nPrevTooth}), (std::vector<int>{30, 30, 29}));
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
    // Every label keeps its meaning between every pair of quadrants.
    for (int from = 0; from < 4; ++from)
        for (int to = 0; to < 4; ++to)
            for (const char* label : {"BM", "BC", "BD", "LM", "LC", "LD"}) {
                int s = CToothPosition::siteOfLabel(label, from);
                ASSERT_TRUE(cur.Move66(from * 8 + 2, s));
                ASSERT_TRUE(cur.Move6(to * 8 + 5, s));
                EXPECT_EQ(s, CToothPosition::siteOfLabel(label, to)) << label << from << to;
                EXPECT_EQ(cur.nPocket, s);
            }
    ASSERT_TRUE(cur.Move66(3, 0));
    int site = 0;
    ASSERT_TRUE(cur.Move6(12, site));
    EXPECT_EQ(at6(), (std::vector<int>{12, 2, 12 * 6 + 2, 3, 0})); // buccal distal of quadrant 1

    // A refused tooth still hands back the carried site; the cursor stays.
    cur.setNBuiStatus(20, kPontic);
    ASSERT_TRUE(cur.Move66(3, 0));
    site = 0;
    EXPECT_FALSE(cur.Move6(20, site));
    EXPECT_EQ((std::vector<int>{site, cur.nTooth}), (std::vector<int>{3, 3}));
    // Any site: the tooth's first entry, with the carried site as current site.
    site = 0;
    ASSERT_TRUE(cur.Move6(28, site, true));
    EXPECT_EQ(at6(), (std::vector<int>{28, 5, 28 * 6, 3, 0}));
}

TEST_F(ToothPositionTest, TwoPassOrderComesFromEightCodes) {
    cur.MakeMove(0, 1, QString(), false, false, "URB8ULB1LRL8LLL1URB1ULB8LRL1LLL8");
    for (auto [pos, tooth] : {std::pair{0, 0}, {15, 15}, {32, 7}, {63, 24}})
        EXPECT_EQ(cur.plaqueOrder(pos), tooth) << pos;
    cur.setNBuiStatus(7, kImplant);
    ASSERT_TRUE(cur.MovePlaque(6));
    ASSERT_TRUE(cur.MoveNextPlaque());
    EXPECT_EQ(cur.nTooth, 8);
    ASSERT_TRUE(cur.MovePlaque(0));
    EXPECT_EQ(cur.nPos, 0); // the first position holding the tooth
    EXPECT_FALSE(cur.MovePrevPlaque());
    cur.MakeMove(0, 1, QString(), false, false, "URB8ULB1"); // a short text leaves the order
    EXPECT_EQ(cur.plaqueOrder(63), 24);
}

// ------------------------------------------------------------------ keys

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
