// The entry cursor: the route patterns' tooth orders, the six-site orders of both
// styles, gap and two-pass orders, and the moves with their bookkeeping.
#include "exam/CExamData.h"
#include "exam/CToothPosition.h"
#include "support/test_services.h"

#include <gtest/gtest.h>

#include <vector>

using namespace kvr;

namespace {

std::vector<int> seq(int from, int to) {
    std::vector<int> v;
    for (int t = from;; t += (from <= to ? 1 : -1)) {
        v.push_back(t);
        if (t == to) break;
    }
    return v;
}
std::vector<int> cat(std::initializer_list<std::vector<int>> parts) {
    std::vector<int> v;
    for (const auto& p : parts)
        v.insert(v.end(), p.begin(), p.end());
    return v;
}
std::vector<int> toothOrder(const CToothPosition& c) {
    std::vector<int> v;
    for (int i = 0; i < 32; ++i)
        v.push_back(c.toothOrder(i));
    return v;
}

struct Entry {
    int pos, tooth, site;
};

class ToothPositionTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::installTestServices();
        for (int i = 0; i < 6; ++i)
            cur.setBPocketPosition(i, true);
    }
    void expectEntries(std::initializer_list<Entry> entries) {
        for (const Entry& e : entries) {
            EXPECT_EQ(cur.nPos6Tooth(e.pos), e.tooth) << "entry " << e.pos;
            EXPECT_EQ(cur.nPos6Pocket(e.pos), e.site) << "entry " << e.pos;
        }
    }
    // The tooth-family cursor: tooth, position, previous tooth.
    std::vector<int> at() const { return {cur.nTooth, cur.nPos, cur.nPrevTooth}; }
    // The six-site cursor: tooth, site, position, previous tooth, previous site.
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
        EXPECT_EQ(toothOrder(cur), expected[p]) << "pattern " << p;
    }

    // Gap mode: 15 gaps per jaw, then two end markers.
    cur.MakeMove(2, 1, QString(), false, true);
    EXPECT_EQ(toothOrder(cur), cat({seq(14, 0), seq(30, 16), {-1, -1}}));
    cur.MakeMove(0, 1, QString(), false, true);
    EXPECT_EQ(toothOrder(cur), cat({seq(0, 14), seq(16, 30), {-1, -1}}));
    ASSERT_TRUE(cur.MoveLastGap());
    EXPECT_EQ(cur.nTooth, 30);
    EXPECT_EQ(cur.nPos, 29);
    EXPECT_FALSE(cur.MoveNextGap()); // the end marker stops the forward scan
    EXPECT_FALSE(cur.MoveGap(15));   // no gap between the jaws
    EXPECT_EQ(cur.nTooth, 30);

    // A gap needs both neighbouring teeth: tooth 31 missing closes gap 30.
    cur.setNBuiStatus(31, kMissingTooth);
    ASSERT_TRUE(cur.MoveLastGap());
    EXPECT_EQ(cur.nTooth, 29);
    EXPECT_FALSE(cur.MoveGap(30));
    cur.setNBuiStatus(5, kMissingTooth);
    ASSERT_TRUE(cur.MoveGap(3));
    ASSERT_TRUE(cur.MoveNextGap());
    EXPECT_EQ(at(), (std::vector<int>{6, 6, 3})); // gaps 4 (4|5) and 5 (5|6) are closed
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
        for (int e = 0; e < 192; ++e) {
            ASSERT_EQ(cur.nPos6Tooth(e), teeth[e / 48][e % 48 / 6]) << "entry " << e;
            ASSERT_EQ(cur.nPos6Pocket(e), sites[e / 48][e % 6]) << "entry " << e;
        }
    }

    // A walk visits every entry but the eight blank-label ones, in order.
    ASSERT_TRUE(cur.MoveFirst6());
    int visited = 1, last = cur.nPos6;
    while (cur.MoveNext6()) {
        ASSERT_GT(cur.nPos6, last);
        ASSERT_GE(cur.nPocket, 0);
        last = cur.nPos6;
        ++visited;
    }
    EXPECT_EQ(visited, 184);
    EXPECT_EQ(at6(), (std::vector<int>{16, 3, 191, 16, 3})); // an exhausted scan keeps the cursor as previous

    // The route's own text: pattern 1 (quadrants 0, 1, 3, 2) starts its segments with
    // LD, LM, LD, LM.
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
    ASSERT_TRUE(cur.MoveFirst6());
    int visited = 1;
    while (cur.MoveNext6()) {
        ASSERT_NE(cur.nPocket, CToothPosition::siteOfLabel("BC", cur.nTooth / 8)) << "tooth " << cur.nTooth;
        ++visited;
    }
    EXPECT_EQ(visited, 192 - 32);
    ASSERT_TRUE(cur.MovePrev6());
    EXPECT_EQ(cur.nPos6, 189); // 190 is LRB1 tooth 16's buccal centre
    EXPECT_TRUE(cur.Move66(8, 2));
    EXPECT_FALSE(cur.Move66(8, 1)); // skipped site
    EXPECT_EQ(cur.nPos6, 26);
}

TEST_F(ToothPositionTest, ToothMovesFollowTheStatusFlagsAndStopAtTheEnds) {
    cur.MakeMove(0, 1, QString(48, ' '));
    cur.setNBuiStatus(3, kMissingTooth);
    ASSERT_TRUE(cur.Move(2));
    ASSERT_TRUE(cur.MoveNext());
    EXPECT_EQ(at(), (std::vector<int>{4, 4, 2}));
    EXPECT_FALSE(cur.Move(3));
    cur.nInputStatus = kMissingTooth; // an item entered on missing teeth visits it
    ASSERT_TRUE(cur.Move(2));
    ASSERT_TRUE(cur.MoveNext());
    EXPECT_EQ(cur.nTooth, 3);

    // MoveNext at the last allowed tooth fails and keeps the cursor and its bookkeeping.
    cur.nInputStatus = 0;
    cur.setNBuiStatus(31, kMissingTooth);
    ASSERT_TRUE(cur.MoveLast());
    ASSERT_TRUE(cur.MovePrev());
    ASSERT_TRUE(cur.MoveNext());
    EXPECT_EQ(at(), (std::vector<int>{30, 30, 29}));
    EXPECT_FALSE(cur.MoveNext());
    EXPECT_EQ(at(), (std::vector<int>{30, 30, 29}));
    ASSERT_TRUE(cur.MoveFirst());
    EXPECT_FALSE(cur.MovePrev());
    EXPECT_EQ(cur.nTooth, 0);

    // The first flag present in the order implant, pontic, other, missing decides.
    const std::uint16_t M = kMissingTooth, I = kImplant, P = kPontic, O = kOtherExcluded;
    const struct {
        std::uint16_t input, status;
        bool ok;
    } cases[] = {{M, I | M, false}, {I, I | M, true},      {P, I | P, false},
                 {I, I | P, true},  {O, P | O, false},     {P, P | O, true},
                 {O, O | M, true},  {0, kDeciduous, true}, {0, O, false}};
    for (const auto& c : cases) {
        cur.nInputStatus = c.input;
        EXPECT_EQ(cur.IsInputOK(c.status), c.ok) << std::hex << c.input << " on " << c.status;
    }
}

TEST_F(ToothPositionTest, Move6CarriesTheAnatomicalSiteAcrossQuadrants) {
    cur.MakeMove(0, 1, "BMBCBDLMLCLDBMBCBDLMLCLDBMBCBDLMLCLDBMBCBDLMLCLD");
    ASSERT_TRUE(cur.Move66(3, 0));
    int site = 0;
    ASSERT_TRUE(cur.Move6(12, site));
    EXPECT_EQ(site, 2); // buccal distal of quadrant 1
    EXPECT_EQ(at6(), (std::vector<int>{12, 2, 12 * 6 + 2, 3, 0}));

    // Every label keeps its meaning between every pair of quadrants.
    for (int from = 0; from < 4; ++from)
        for (int to = 0; to < 4; ++to)
            for (const char* label : {"BM", "BC", "BD", "LM", "LC", "LD"}) {
                ASSERT_TRUE(cur.Move66(from * 8 + 2, CToothPosition::siteOfLabel(label, from)));
                int s = CToothPosition::siteOfLabel(label, from);
                ASSERT_TRUE(cur.Move6(to * 8 + 5, s));
                EXPECT_EQ(s, CToothPosition::siteOfLabel(label, to)) << label << from << to;
                EXPECT_EQ(cur.nPocket, s);
            }

    // A refused tooth still hands back the carried site; the cursor stays.
    cur.setNBuiStatus(20, kPontic);
    ASSERT_TRUE(cur.Move66(3, 0));
    site = 0;
    EXPECT_FALSE(cur.Move6(20, site));
    EXPECT_EQ(site, 3);
    EXPECT_EQ(cur.nTooth, 3);

    // Any site: the tooth's first entry, with the carried site as current site.
    site = 0;
    ASSERT_TRUE(cur.Move6(28, site, true));
    EXPECT_EQ(site, 5);
    EXPECT_EQ(at6(), (std::vector<int>{28, 5, 28 * 6, 3, 0}));
}

TEST_F(ToothPositionTest, TwoPassOrderComesFromEightCodes) {
    cur.MakeMove(0, 1, QString(), false, false, "URB8ULB1LRL8LLL1URB1ULB8LRL1LLL8");
    for (auto [pos, tooth] : {std::pair{0, 0}, {15, 15}, {32, 7}, {63, 24}})
        EXPECT_EQ(cur.plaqueOrder(pos), tooth) << pos;
    ASSERT_TRUE(cur.MoveLastPlaque());
    EXPECT_EQ(cur.nPos, 63);
    cur.setNBuiStatus(7, kImplant);
    ASSERT_TRUE(cur.MovePlaque(6));
    ASSERT_TRUE(cur.MoveNextPlaque());
    EXPECT_EQ(cur.nTooth, 8);
    ASSERT_TRUE(cur.MovePlaque(0));
    EXPECT_EQ(cur.nPos, 0); // the first position holding the tooth
    EXPECT_FALSE(cur.MovePrevPlaque());
    // A short text leaves the order as it was.
    cur.MakeMove(0, 1, QString(), false, false, "URB8ULB1");
    EXPECT_EQ(cur.plaqueOrder(63), 24);
}

} // namespace
