// The entry cursor: the order in which the entry screen visits teeth, gaps and
// measuring sites, and the moves over that order that skip teeth on which the
// current item may not be entered.
//
// Three visiting orders are built by MakeMove:
//  - the tooth order, 32 positions of tooth indices (in gap mode 30 gaps, named by
//    the tooth on their left, then two end markers -1);
//  - the two-pass order, 64 positions of tooth indices (-1 = end marker);
//  - the six-site order, 192 entries (tooth, site); (-1, -1) is an empty entry and
//    a tooth with site -1 is a skipped site.
// Forward scans stop at an end marker, backward scans pass over it. Every move
// returns true when the cursor moved; on false the cursor is left where it was.
#pragma once

#include <QString>

#include <array>
#include <cstdint>

namespace kvr {

class CToothPosition {
public:
    CToothPosition();

    qint16 nPrevPocket = 0;         // site before the last successful six-site move
    qint16 nPocket = 0;             // current site
    qint16 nPrevTooth = 0;          // tooth before the last successful move
    qint16 nTooth = 0;              // current tooth (gap family: left tooth of the gap)
    std::uint16_t nInputStatus = 0; // status flags on which input is allowed
    qint16 nPocketPattern = 0;      // six-site order style given to MakeMove
    QString sPocketVector;          // six-site order text given to MakeMove
    qint16 nPos6 = 0;               // position in the six-site order (0-191)
    qint16 nPos = 0;                // position in the tooth (0-31) or two-pass (0-63) order

    // Builds the three orders. routePattern 0-7 chooses the tooth route; style 0
    // reads siteOrder as eight four-letter chart-row codes, any other style as 48
    // characters of site labels (12 per quadrant). fixedSiteOrder uses the route's
    // own label text instead; gap builds the tooth order over gaps; a twoPass text of
    // more than 16 characters (eight codes) rebuilds the two-pass order.
    void MakeMove(qint32 routePattern, qint16 style, const QString& siteOrder, bool fixedSiteOrder = false,
                  bool gap = false, const QString& twoPass = QString());

    // Whether input is allowed on a tooth with this status: the first of the flags
    // 0x2000, 0x4000, 0x1000, 0x8000 present decides, by nInputStatus holding it.
    bool IsInputOK(std::uint16_t status) const;

    // Tooth family.
    bool MoveFirst(int start = 0);
    bool MoveLast(int start = 31);
    bool Move(int tooth);
    bool MoveNext() { return MoveFirst(nPos + 1); }
    bool MovePrev() { return MoveLast(nPos - 1); }

    // Two-pass family (64 positions).
    bool MoveFirstPlaque(int start = 0);
    bool MoveLastPlaque(int start = 63);
    bool MovePlaque(int tooth);
    bool MoveNextPlaque() { return MoveFirstPlaque(nPos + 1); }
    bool MovePrevPlaque() { return MoveLastPlaque(nPos - 1); }

    // Gap family: a gap is allowed when its left and right teeth both are.
    bool MoveFirstGap(int start = 0);
    bool MoveLastGap(int start = 31);
    bool MoveGap(int gap);
    bool MoveNextGap() { return MoveFirstGap(nPos + 1); }
    bool MovePrevGap() { return MoveLastGap(nPos - 1); }

    // Six-site family.
    bool MoveFirst6(int start = 0);
    bool MoveLast6(int start = 191);
    // Jumps to a tooth keeping the anatomical site: site is first carried over into
    // the target tooth's quadrant (and stays carried over even when the move fails).
    // With anySite the first entry of the tooth matches and the carried site becomes
    // the current site.
    bool Move6(int tooth, int& site, bool anySite = false);
    bool Move66(int tooth, int site);
    bool MoveNext6() { return MoveFirst6(nPos6 + 1); }
    bool MovePrev6() { return MoveLast6(nPos6 - 1); }

    bool bPocketPosition(int i) const { return i >= 0 && i < 6 ? pocketPosition_[i] : false; }
    void setBPocketPosition(int i, bool measured) {
        if (i >= 0 && i < 6) pocketPosition_[i] = measured;
    }
    int nPos6Tooth(int i) const { return i >= 0 && i < 192 ? order6_[i].tooth : -1; }
    int nPos6Pocket(int i) const { return i >= 0 && i < 192 ? order6_[i].site : -1; }
    void setNBuiStatus(int i, std::uint16_t status) {
        if (i >= 0 && i < 32) bui_[i] = status;
    }
    // Entries of the tooth (or gap) order and of the two-pass order.
    int toothOrder(int i) const { return i >= 0 && i < 32 ? toothOrder_[i] : -1; }
    int plaqueOrder(int i) const { return i >= 0 && i < 64 ? plaqueOrder_[i] : -1; }

    // Site index of a two-letter site label in a quadrant; -1 for "  " or an unknown label.
    static int siteOfLabel(const QString& label, int quadrant);

private:
    struct Entry {
        qint16 tooth = -1;
        qint16 site = -1;
    };
    bool allowed(int tooth) const { return tooth >= 0 && tooth < 32 && IsInputOK(bui_[tooth]); }
    bool gapAllowed(int gap) const { return allowed(gap + 1) && allowed(gap); }
    void moveTooth(int pos, int tooth);
    template <std::size_t N, typename Allowed>
    bool scanForward(const std::array<qint16, N>& order, int start, Allowed ok);
    template <std::size_t N, typename Allowed>
    bool scanBackward(const std::array<qint16, N>& order, int start, Allowed ok);
    template <std::size_t N, typename Allowed>
    bool scanFor(const std::array<qint16, N>& order, int tooth, Allowed ok);
    void moveSite(int pos);
    void fillToothBySite(const QString& labels, const std::array<int, 4>& quadrants, int& counter);
    void fillByChartRow(const QString& codes);

    std::array<std::uint16_t, 32> bui_{};
    std::array<bool, 6> pocketPosition_{};
    std::array<qint16, 32> toothOrder_;
    std::array<qint16, 64> plaqueOrder_;
    std::array<Entry, 192> order6_;
    int fillCounter_ = 0;      // running fill counter of the tooth-by-tooth style
    int fixedFillCounter_ = 0; // running fill counter of the fixed-site-order texts
};

} // namespace kvr
