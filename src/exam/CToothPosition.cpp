#include "CToothPosition.h"

#include <algorithm>

namespace kvr {

namespace {

// Half-routes of the tooth order: 1 = upper 0 -> 15, 2 = lower 16 -> 31,
// 3 = upper 15 -> 0, 4 = lower 31 -> 16. Per route pattern: the two half-routes and
// the quadrants in the order they are visited.
struct Route {
    int first, second;
    std::array<int, 4> quadrants;
};
constexpr std::array<Route, 8> kRoutes{{
    {1, 2, {0, 1, 2, 3}},
    {1, 4, {0, 1, 3, 2}},
    {3, 4, {1, 0, 3, 2}},
    {3, 2, {1, 0, 2, 3}},
    {2, 1, {2, 3, 0, 1}},
    {2, 3, {2, 3, 1, 0}},
    {4, 3, {3, 2, 1, 0}},
    {4, 1, {3, 2, 0, 1}},
}};

// Site labels in the route's own fixed order, 12 characters per quadrant.
const char* fixedSiteText(int routePattern) {
    switch (routePattern) {
    case 1:
    case 7:
        return "LDLCLMBDBCBMLMLCLDBMBCBDLMLCLDBMBCBDLDLCLMBDBCBM";
    case 2:
    case 6:
        return "LMLCLDBMBCBDLDLCLMBDBCBMLMLCLDBMBCBDLDLCLMBDBCBM";
    case 3:
    case 5:
        return "LMLCLDBMBCBDLDLCLMBDBCBMLDLCLMBDBCBMLMLCLDBMBCBD";
    default:
        return "LDLCLMBDBCBMLMLCLDBMBCBDLDLCLMBDBCBMLMLCLDBMBCBD";
    }
}

// Chart-row codes: jaw, side, buccal/lingual row and the tooth where the pass starts.
// Each visits eight teeth and three sites per tooth; a site whose measured flag
// (buccal mesial, centre, distal, lingual mesial, centre, distal) is off is skipped.
struct RowCode {
    const char* code;
    int firstTooth, step;
    std::array<int, 3> sites;
    std::array<int, 3> flags;
};
constexpr std::array<RowCode, 16> kRowCodes{{
    {"URB8", 0, 1, {0, 1, 2}, {2, 1, 0}},
    {"URB1", 7, -1, {2, 1, 0}, {0, 1, 2}},
    {"ULB1", 8, 1, {0, 1, 2}, {0, 1, 2}},
    {"ULB8", 15, -1, {2, 1, 0}, {2, 1, 0}},
    {"URL8", 0, 1, {3, 4, 5}, {5, 4, 3}},
    {"URL1", 7, -1, {5, 4, 3}, {3, 4, 5}},
    {"ULL1", 8, 1, {3, 4, 5}, {3, 4, 5}},
    {"ULL8", 15, -1, {5, 4, 3}, {5, 4, 3}},
    {"LRL8", 16, 1, {0, 1, 2}, {5, 4, 3}},
    {"LRL1", 23, -1, {2, 1, 0}, {3, 4, 5}},
    {"LLL1", 24, 1, {0, 1, 2}, {3, 4, 5}},
    {"LLL8", 31, -1, {2, 1, 0}, {5, 4, 3}},
    {"LRB8", 16, 1, {3, 4, 5}, {2, 1, 0}},
    {"LRB1", 23, -1, {5, 4, 3}, {0, 1, 2}},
    {"LLB1", 24, 1, {3, 4, 5}, {0, 1, 2}},
    {"LLB8", 31, -1, {5, 4, 3}, {2, 1, 0}},
}};

const RowCode* findRowCode(const QString& code) {
    for (const RowCode& rc : kRowCodes)
        if (code == QLatin1String(rc.code)) return &rc;
    return nullptr;
}

// Site index of each label per quadrant.
struct SiteLabel {
    const char* label;
    std::array<int, 4> site;
};
constexpr std::array<SiteLabel, 6> kSiteLabels{{
    {"BM", {2, 0, 5, 3}},
    {"BC", {1, 1, 4, 4}},
    {"BD", {0, 2, 3, 5}},
    {"LM", {5, 3, 2, 0}},
    {"LC", {4, 4, 1, 1}},
    {"LD", {3, 5, 0, 2}},
}};

} // namespace

CToothPosition::CToothPosition() {
    toothOrder_.fill(-1);
    plaqueOrder_.fill(-1);
}

int CToothPosition::siteOfLabel(const QString& label, int quadrant) {
    if (quadrant < 0 || quadrant > 3) return -1;
    for (const SiteLabel& s : kSiteLabels)
        if (label == QLatin1String(s.label)) return s.site[quadrant];
    return -1;
}

bool CToothPosition::IsInputOK(std::uint16_t status) const {
    for (std::uint16_t flag : {0x2000, 0x4000, 0x1000, 0x8000})
        if (status & flag) return (nInputStatus & flag) != 0;
    return true;
}

void CToothPosition::MakeMove(qint32 routePattern, qint16 style, const QString& siteOrder,
                              bool fixedSiteOrder, bool gap, const QString& twoPass) {
    nPocketPattern = style;
    sPocketVector = siteOrder;
    const Route& route = kRoutes[routePattern >= 0 && routePattern < 8 ? routePattern : 0];

    // Tooth order: two half-routes of 16 teeth, or of 15 gaps followed by two end markers.
    const int half = gap ? 15 : 16;
    auto fillHalf = [&](int halfRoute, int at) {
        for (int i = 0; i < half; ++i) {
            int t = 0;
            switch (halfRoute) {
            case 1:
                t = i;
                break;
            case 2:
                t = 16 + i;
                break;
            case 3:
                t = half - 1 - i;
                break;
            default:
                t = 16 + half - 1 - i;
                break;
            }
            toothOrder_[at + i] = qint16(t);
        }
    };
    toothOrder_.fill(-1);
    fillHalf(route.first, 0);
    fillHalf(route.second, half);

    // Six-site order.
    order6_.fill(Entry{});
    if (fixedSiteOrder)
        fillToothBySite(QString::fromLatin1(fixedSiteText(routePattern)), route.quadrants, fixedFillCounter_);
    else if (style != 0)
        fillToothBySite(siteOrder, route.quadrants, fillCounter_);
    else
        fillByChartRow(siteOrder);

    // Two-pass order: eight chart-row codes, their teeth in visiting order.
    if (twoPass.size() > 16) {
        for (int k = 0; k < 8; ++k) {
            const RowCode* rc = findRowCode(twoPass.mid(k * 4, 4));
            for (int i = 0; i < 8; ++i)
                plaqueOrder_[8 * k + i] = rc ? qint16(rc->firstTooth + rc->step * i) : qint16(-1);
        }
    }
}

// Tooth by tooth: entry t * 6 + p belongs to tooth-order entry t; the six labels of
// each quadrant's segment give the sites in which its teeth are visited.
void CToothPosition::fillToothBySite(const QString& labels, const std::array<int, 4>& quadrants,
                                     int& counter) {
    for (int e = 0; e < 192; ++e)
        order6_[e].tooth = toothOrder_[e / 6];
    if (counter > 191) counter = 0;
    for (int q : quadrants) {
        for (int k = 0; k < 6; ++k) {
            const int site = siteOfLabel(labels.mid(q * 12 + k * 2, 2), q);
            for (int j = 0; j < 8; ++j) {
                const int e = counter + k + 6 * j;
                if (e < 192) order6_[e].site = qint16(site);
            }
        }
        counter += 48;
    }
}

// By chart row: code k fills entries 24k .. 24k + 23.
void CToothPosition::fillByChartRow(const QString& codes) {
    for (int k = 0; k < 8; ++k) {
        const RowCode* rc = findRowCode(codes.mid(k * 4, 4));
        if (!rc) continue;
        for (int i = 0; i < 8; ++i) {
            const int tooth = rc->firstTooth + rc->step * i;
            for (int m = 0; m < 3; ++m) {
                Entry& e = order6_[24 * k + 3 * i + m];
                e.tooth = qint16(tooth);
                e.site = pocketPosition_[rc->flags[m]] ? qint16(rc->sites[m]) : qint16(-1);
            }
        }
    }
}

void CToothPosition::moveTooth(int pos, int tooth) {
    nPrevTooth = nTooth;
    nTooth = qint16(tooth);
    nPos = qint16(pos);
}

void CToothPosition::moveSite(int pos) {
    nPrevTooth = nTooth;
    nPrevPocket = nPocket;
    nTooth = order6_[pos].tooth;
    nPocket = order6_[pos].site;
    nPos6 = qint16(pos);
}

// ---- tooth, two-pass and gap families ----
//
// The three families scan an order of tooth (or gap) indices. A forward scan ends at
// the first end marker; a backward scan passes over end markers; a search for one
// tooth scans forward from position 0 and stops at an end marker.

template <std::size_t N, typename Allowed>
bool CToothPosition::scanForward(const std::array<qint16, N>& order, int start, Allowed ok) {
    for (int i = std::max(start, 0); i < int(N); ++i) {
        const int t = order[i];
        if (t < 0) return false;
        if (ok(t)) {
            moveTooth(i, t);
            return true;
        }
    }
    return false;
}

template <std::size_t N, typename Allowed>
bool CToothPosition::scanBackward(const std::array<qint16, N>& order, int start, Allowed ok) {
    for (int i = std::min(start, int(N) - 1); i >= 0; --i) {
        const int t = order[i];
        if (t >= 0 && ok(t)) {
            moveTooth(i, t);
            return true;
        }
    }
    return false;
}

template <std::size_t N, typename Allowed>
bool CToothPosition::scanFor(const std::array<qint16, N>& order, int tooth, Allowed ok) {
    for (int i = 0; i < int(N) && order[i] >= 0; ++i) {
        if (order[i] != tooth) continue;
        if (!ok(tooth)) return false;
        moveTooth(i, tooth);
        return true;
    }
    return false;
}

bool CToothPosition::MoveFirst(int start) {
    return scanForward(toothOrder_, start, [this](int t) { return allowed(t); });
}
bool CToothPosition::MoveLast(int start) {
    return scanBackward(toothOrder_, start, [this](int t) { return allowed(t); });
}
bool CToothPosition::Move(int tooth) {
    return scanFor(toothOrder_, tooth, [this](int t) { return allowed(t); });
}

bool CToothPosition::MoveFirstPlaque(int start) {
    return scanForward(plaqueOrder_, start, [this](int t) { return allowed(t); });
}
bool CToothPosition::MoveLastPlaque(int start) {
    return scanBackward(plaqueOrder_, start, [this](int t) { return allowed(t); });
}
bool CToothPosition::MovePlaque(int tooth) {
    return scanFor(plaqueOrder_, tooth, [this](int t) { return allowed(t); });
}

bool CToothPosition::MoveFirstGap(int start) {
    return scanForward(toothOrder_, start, [this](int g) { return gapAllowed(g); });
}
bool CToothPosition::MoveLastGap(int start) {
    return scanBackward(toothOrder_, start, [this](int g) { return gapAllowed(g); });
}
bool CToothPosition::MoveGap(int gap) {
    return scanFor(toothOrder_, gap, [this](int g) { return gapAllowed(g); });
}

// ---- six-site family ----

bool CToothPosition::MoveFirst6(int start) {
    for (int i = std::max(start, 0); i < 192; ++i) {
        if (order6_[i].site < 0) continue;
        if (allowed(order6_[i].tooth)) {
            moveSite(i);
            return true;
        }
    }
    nPrevTooth = nTooth;
    nPrevPocket = nPocket;
    return false;
}

bool CToothPosition::MoveLast6(int start) {
    for (int i = std::min(start, 191); i >= 0; --i) {
        if (order6_[i].site < 0) continue;
        if (allowed(order6_[i].tooth)) {
            moveSite(i);
            return true;
        }
    }
    nPrevTooth = nTooth;
    nPrevPocket = nPocket;
    return false;
}

bool CToothPosition::Move6(int tooth, int& site, bool anySite) {
    // Carry the site over into the target quadrant so that it names the same
    // anatomical site (the right quadrants are charted distal side first).
    static constexpr int kSameJaw[6] = {2, 1, 0, 5, 4, 3};
    static constexpr int kSameSide[6] = {3, 4, 5, 0, 1, 2};
    static constexpr int kDiagonal[6] = {5, 4, 3, 2, 1, 0};
    const int fromQ = nTooth / 8, toQ = tooth / 8;
    if (fromQ != toQ && site >= 0 && site < 6) {
        if (fromQ / 2 == toQ / 2)
            site = kSameJaw[site];
        else if (fromQ % 2 == toQ % 2)
            site = kSameSide[site];
        else
            site = kDiagonal[site];
    }
    for (int i = 0; i < 192; ++i) {
        if (order6_[i].tooth != tooth) continue;
        if (!anySite && order6_[i].site != site) continue;
        if (!allowed(tooth)) return false;
        moveSite(i);
        if (anySite) nPocket = qint16(site);
        return true;
    }
    return false;
}

bool CToothPosition::Move66(int tooth, int site) {
    for (int i = 0; i < 192; ++i) {
        if (order6_[i].tooth != tooth || order6_[i].site != site || site < 0) continue;
        if (!allowed(tooth)) return false;
        moveSite(i);
        return true;
    }
    return false;
}

} // namespace kvr
