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
std::vector<int> cat(std::vector<int> a, const std::vector<int>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
std::vector<int> toothOrder(const CToothPosition& c) {
    std::vector<int> v;
    for (int i = 0; i < 32; ++i)
        v.push_back(c.toothOrder(i));
    return v;
}

class ToothPositionTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::installTestServices();
        for (int i = 0; i < 6; ++i)
            cur.setBPocketPosition(i, true);
    }
    CToothPosition cur;
};

TEST_F(ToothPositionTest, RoutePatternsGiveTheirToothOrders) {
    const auto up = seq(0, 15), down = seq(16, 31), upBack = seq(15, 0), downBack = seq(31, 16);
    const std::vector<std::vector<int>> expected = {
        cat(up, down), cat(up, downBack), cat(upBack, downBack), cat(upBack, down),
        cat(down, up), cat(down, upBack), cat(downBack, upBack), cat(downBack, up),
    };
    for (int p = 0; p < 8; ++p) {
        cur.MakeMove(p, 1, QString(48, ' '));
        EXPECT_EQ(toothOrder(cur), expected[p]) << "pattern " << p;
    }
}

TEST_F(ToothPositionTest, GapModeHasFifteenGapsPerJawAndTwoEndMarkers) {
    cur.MakeMove(0, 1, QString(), false, true);
    EXPECT_EQ(toothOrder(cur), cat(cat(seq(0, 14), seq(16, 30)), {-1, -1}));
    cur.MakeMove(2, 1, QString(), false, true);
    EXPECT_EQ(toothOrder(cur), cat(cat(seq(14, 0), seq(30, 16)), {-1, -1}));

    cur.MakeMove(0, 1, QString(), false, true);
    ASSERT_TRUE(cur.MoveLastGap());
    EXPECT_EQ(cur.nTooth, 30);
    EXPECT_EQ(cur.nPos, 29);
    EXPECT_FALSE(cur.MoveNextGap()); // the end marker stops the forward scan
    EXPECT_EQ(cur.nTooth, 30);
    EXPECT_FALSE(cur.MoveGap(15)); // no gap between the jaws

    // A gap needs both neighbouring teeth: tooth 31 missing closes gap 30.
    cur.setNBuiStatus(31, kMissingTooth);
    ASSERT_TRUE(cur.MoveLastGap());
    EXPECT_EQ(cur.nTooth, 29);
    EXPECT_FALSE(cur.MoveGap(30));
    cur.setNBuiStatus(5, kMissingTooth);
    ASSERT_TRUE(cur.MoveFirstGap());
    ASSERT_TRUE(cur.MoveGap(3));
    ASSERT_TRUE(cur.MoveNextGap());
    EXPECT_EQ(cur.nTooth, 6); // gaps 4 (4|5) and 5 (5|6) are closed
    EXPECT_EQ(cur.nPrevTooth, 3);
}

TEST_F(ToothPositionTest, ToothBySiteOrderFollowsEachQuadrantsLabels) {
    // Segments per quadrant 0..3; quadrant 1 has a blank label (no site).
    const QString text = "BMBCBDLMLCLD"
                         "LDLC  BMBCBD"
                         "LMLCLDBMBCBD"
                         "BDBCBMLDLCLM";
    // Pattern 2 visits quadrants 1, 0, 3, 2 (teeth 15..0, then 31..16).
    struct Block {
        std::vector<int> teeth;
        std::vector<int> sites;
    };
    const std::vector<Block> blocks = {
        {seq(15, 8), {5, 4, -1, 0, 1, 2}},
        {seq(7, 0), {2, 1, 0, 5, 4, 3}},
        {seq(31, 24), {5, 4, 3, 2, 1, 0}},
        {seq(23, 16), {2, 1, 0, 5, 4, 3}},
    };
    for (int pass = 0; pass < 2; ++pass) { // a rebuild fills from position 0 again
        cur.MakeMove(2, 1, text);
        for (int b = 0; b < 4; ++b)
            for (int t = 0; t < 8; ++t)
                for (int p = 0; p < 6; ++p) {
                    const int e = b * 48 + t * 6 + p;
                    ASSERT_EQ(cur.nPos6Tooth(e), blocks[b].teeth[t]) << "entry " << e;
                    ASSERT_EQ(cur.nPos6Pocket(e), blocks[b].sites[p]) << "entry " << e;
                }
    }
    EXPECT_EQ(cur.nPocketPattern, 1);
    EXPECT_EQ(cur.sPocketVector, text);

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
    EXPECT_EQ(cur.nPos6, 191);
    EXPECT_EQ(cur.nPrevTooth, cur.nTooth); // an exhausted scan records the unchanged cursor
    EXPECT_EQ(cur.nPrevPocket, cur.nPocket);
}

TEST_F(ToothPositionTest, FixedSiteOrderUsesTheRoutesOwnText) {
    cur.MakeMove(1, 0, "ignored", true);
    // Pattern 1: quadrants 0, 1, 3, 2; the first label of each segment is LD, LM, LD, LM.
    EXPECT_EQ(cur.nPos6Tooth(0), 0);
    EXPECT_EQ(cur.nPos6Pocket(0), 3); // LD of quadrant 0
    EXPECT_EQ(cur.nPos6Pocket(5), 2); // BM of quadrant 0
    EXPECT_EQ(cur.nPos6Tooth(48), 8);
    EXPECT_EQ(cur.nPos6Pocket(48), 3); // LM of quadrant 1
    EXPECT_EQ(cur.nPos6Tooth(96), 31);
    EXPECT_EQ(cur.nPos6Pocket(96), 2); // LD of quadrant 3
    EXPECT_EQ(cur.nPos6Tooth(144), 23);
    EXPECT_EQ(cur.nPos6Pocket(144), 2); // LM of quadrant 2
}

TEST_F(ToothPositionTest, ChartRowCodesAndSkippedSites) {
    const QString codes = "URB8ULB1ULL8URL1LRL8LLL1LLB8LRB1";
    cur.MakeMove(0, 0, codes);
    EXPECT_EQ(cur.nPos6Tooth(0), 0);
    EXPECT_EQ(cur.nPos6Pocket(0), 0);
    EXPECT_EQ(cur.nPos6Tooth(24), 8);
    EXPECT_EQ(cur.nPos6Pocket(24), 0);
    // ULL8: teeth 15 -> 8, sites 5, 4, 3; URL1: 7 -> 0; LLB8: 31 -> 24, sites 5, 4, 3.
    EXPECT_EQ(cur.nPos6Tooth(48), 15);
    EXPECT_EQ(cur.nPos6Pocket(48), 5);
    EXPECT_EQ(cur.nPos6Tooth(72 + 23), 0);
    EXPECT_EQ(cur.nPos6Pocket(72 + 23), 3);
    EXPECT_EQ(cur.nPos6Tooth(144), 31);
    EXPECT_EQ(cur.nPos6Pocket(144), 5);

    // Buccal centre not measured: those entries become skipped sites, walked over.
    cur.setBPocketPosition(1, false);
    cur.MakeMove(0, 0, codes);
    EXPECT_EQ(cur.nPos6Tooth(1), 0);
    EXPECT_EQ(cur.nPos6Pocket(1), -1);
    ASSERT_TRUE(cur.MoveFirst6());
    int visited = 1;
    while (cur.MoveNext6()) {
        const int q = cur.nTooth / 8;
        ASSERT_NE(cur.nPocket, CToothPosition::siteOfLabel("BC", q)) << "tooth " << cur.nTooth;
        ++visited;
    }
    EXPECT_EQ(visited, 192 - 32);
    ASSERT_TRUE(cur.MovePrev6());
    EXPECT_EQ(cur.nPos6, 189); // 190 is LRB1 tooth 16's buccal centre
    EXPECT_TRUE(cur.Move66(8, 2));
    EXPECT_FALSE(cur.Move66(8, 1)); // skipped site
    EXPECT_EQ(cur.nPos6, 26);
}

TEST_F(ToothPositionTest, StatusFlagsDecideWhichTeethAreVisited) {
    cur.MakeMove(0, 1, QString(48, ' '));
    cur.setNBuiStatus(3, kMissingTooth);
    ASSERT_TRUE(cur.Move(2));
    ASSERT_TRUE(cur.MoveNext());
    EXPECT_EQ(cur.nTooth, 4);
    EXPECT_EQ(cur.nPrevTooth, 2);
    EXPECT_FALSE(cur.Move(3));

    cur.nInputStatus = kMissingTooth;
    ASSERT_TRUE(cur.Move(2));
    ASSERT_TRUE(cur.MoveNext());
    EXPECT_EQ(cur.nTooth, 3);

    // The first flag present in the order implant, pontic, other, missing decides.
    cur.nInputStatus = kMissingTooth;
    EXPECT_FALSE(cur.IsInputOK(kImplant | kMissingTooth));
    cur.nInputStatus = kImplant;
    EXPECT_TRUE(cur.IsInputOK(kImplant | kMissingTooth));
    EXPECT_FALSE(cur.IsInputOK(kPontic | kOtherExcluded));
    cur.nInputStatus = kOtherExcluded;
    EXPECT_TRUE(cur.IsInputOK(kOtherExcluded | kMissingTooth));
    cur.nInputStatus = 0;
    EXPECT_TRUE(cur.IsInputOK(kDeciduous));
}

TEST_F(ToothPositionTest, MoveNextAtTheLastAllowedToothKeepsTheCursor) {
    cur.MakeMove(0, 1, QString(48, ' '));
    cur.setNBuiStatus(31, kMissingTooth);
    ASSERT_TRUE(cur.MoveLast());
    EXPECT_EQ(cur.nTooth, 30);
    ASSERT_TRUE(cur.MovePrev());
    ASSERT_TRUE(cur.MoveNext());
    EXPECT_EQ(cur.nPrevTooth, 29);
    EXPECT_FALSE(cur.MoveNext());
    EXPECT_EQ(cur.nTooth, 30);
    EXPECT_EQ(cur.nPos, 30);
    EXPECT_EQ(cur.nPrevTooth, 29);
    ASSERT_TRUE(cur.MoveFirst());
    EXPECT_FALSE(cur.MovePrev());
    EXPECT_EQ(cur.nTooth, 0);
}

TEST_F(ToothPositionTest, Move6CarriesTheAnatomicalSiteAcrossQuadrants) {
    cur.MakeMove(0, 1, "BMBCBDLMLCLDBMBCBDLMLCLDBMBCBDLMLCLDBMBCBDLMLCLD");
    ASSERT_TRUE(cur.Move66(3, 0));
    int site = 0;
    ASSERT_TRUE(cur.Move6(12, site));
    EXPECT_EQ(site, 2); // buccal distal of quadrant 1
    EXPECT_EQ(cur.nTooth, 12);
    EXPECT_EQ(cur.nPocket, 2);
    EXPECT_EQ(cur.nPrevTooth, 3);
    EXPECT_EQ(cur.nPrevPocket, 0);

    // Every label keeps its meaning between every pair of quadrants.
    const QStringList labels = {"BM", "BC", "BD", "LM", "LC", "LD"};
    for (int from = 0; from < 4; ++from)
        for (int to = 0; to < 4; ++to)
            for (const QString& label : labels) {
                ASSERT_TRUE(cur.Move66(from * 8 + 2, CToothPosition::siteOfLabel(label, from)));
                int s = CToothPosition::siteOfLabel(label, from);
                ASSERT_TRUE(cur.Move6(to * 8 + 5, s));
                EXPECT_EQ(s, CToothPosition::siteOfLabel(label, to)) << label.toStdString() << from << to;
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
    EXPECT_EQ(cur.nPos6, 28 * 6);
    EXPECT_EQ(cur.nPocket, 5);
}

TEST_F(ToothPositionTest, TwoPassOrderComesFromEightCodes) {
    cur.MakeMove(0, 1, QString(), false, false, "URB8ULB1LRL8LLL1URB1ULB8LRL1LLL8");
    EXPECT_EQ(cur.plaqueOrder(0), 0);
    EXPECT_EQ(cur.plaqueOrder(15), 15);
    EXPECT_EQ(cur.plaqueOrder(32), 7);
    EXPECT_EQ(cur.plaqueOrder(63), 24);
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
