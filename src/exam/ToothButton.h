// The tooth cell: one tooth of one examination item row on the entry grid. It shows
// the values of the tooth at a glance, its tooth status (missing, implant, pontic),
// the cursor, and reports clicks on its sites.
//
// Cell kinds and their value store value(site, layer) (-1 = none everywhere):
//   1 one value per tooth   site 0, layer 0
//   3 pocket                sites 0-5 (0-2 first chart row, 3-5 second), layer 0 the
//                           depth, layer 1 the bleeding mark, layer 2 the pus mark
//   6 six-site values       sites 0-5 (furcation: only the sites its furcation kind
//                           examines are drawn and clickable), layer 0
//   4 two passes            sites 0-3 = the surfaces of the plaque bits 1 (buccal),
//                           2 (mesial), 4 (lingual/palatal), 8 (distal): 1 plaque,
//                           0 no plaque, -1 not examined. The first pass covers the
//                           surfaces 0 and 1, the second 2 and 3.
// Colours follow the item definition: the shade of a value is its base colour ORed
// with the grey level of its band (as CSubExam::GetColorByValue); colour index 2 is
// the first mark colour (bleeding, plaque), 3 the second (pus, not examined).
#pragma once

#include <QColor>
#include <QHash>
#include <QWidget>

#include <array>
#include <cstdint>

namespace kvr {

class CSubExam;

class ToothButton : public QWidget {
    Q_OBJECT
public:
    enum Kind { KindNone = 0, KindOneValue = 1, KindPocket = 3, KindTwoPass = 4, KindSixSite = 6 };
    static constexpr int kSites = 6;
    static constexpr int kLayers = 3;

    // index: the instance index on its screen (row * 32 + tooth index on the entry grid).
    explicit ToothButton(int index, QWidget* parent = nullptr);

    int index() const { return index_; }
    int tooth() const { return index_ % 32; }

    int kind() const { return kind_; }
    void setKind(int kind);

    // Value store. Out-of-range indices read -1 and are not written.
    int value(int site, int layer = 0) const;
    void setValue(int site, int layer, int value);
    void clearValues();

    // Colour settings (0x00BBGGRR as the item definition holds them).
    void setValueColor(int i, std::uint32_t bgr);
    void setGradationPart(int i, int value);
    void setBrightness(int i, int level);
    // All colour settings of an item at once.
    void setColorsFrom(const CSubExam& item);
    // The shade of a value (colour index 0/1 graded by band, 2/3 unchanged).
    QColor colorByValue(int value, int colorIndex) const;

    QColor backColor() const { return back_; }
    void setBackColor(const QColor& color);

    // Tooth status word (drawn: missing crossed out, implant blue, pontic hatched) and
    // whether the row's item may be entered on the tooth (other teeth are dimmed).
    void setStatus(std::uint16_t status);
    std::uint16_t status() const { return status_; }
    void setInputAllowed(bool allowed);
    // Furcation kind of the tooth (kind 6 cells only draw the sites it examines).
    void setFurcationKind(int kind);
    // Captions shown instead of the number of a value (furcation "無", "Ⅰ" ...).
    void setValueCaptions(const QHash<int, QString>& captions);

    // The cursor: on, and the site (kinds 3, 6), pass (kind 4) or -1 (whole cell).
    void setEntryCursor(bool on, int site = -1);
    bool hasEntryCursor() const { return cursorOn_; }
    int cursorSite() const { return cursorSite_; }

    // Redraw after values, marks or status changed (assistive technology is told that
    // the cell's text changed).
    void Refresh();

    // What the cell reads to assistive technology: the tooth number (two digits, "16";
    // deciduous teeth "65"), the tooth's status when flagged, then the site at the cursor
    // with its value and marks ("16 BM 4 出血"), or, without the cursor, every site
    // ("16 BM 4 出血、BC 3、..."). Empty sites read "未入力".
    QString accessibleText() const;
    // The two-digit tooth number of a tooth index (deciduous teeth in their own numbers).
    static QString toothNumber(int tooth, std::uint16_t status);
    // The two-letter label of a site of a tooth ("BM" ... "LD"), empty for a bad site.
    static QString siteLabel(int tooth, int site);

    // Two-pass cells: the two stored cells (plaque bits, 128 = tooth not examined;
    // bits of the surfaces still without input, 15 = none examined) and back.
    int plaqueCell() const;
    int plaqueOpenCell() const;
    void setPlaqueCells(int plaque, int open);
    // True when at least one surface has input; the bits of the surfaces without it.
    bool hasPlaqueInput() const;
    int plaqueOpenMask() const;
    static int passOfSurface(int surface) { return surface < 2 ? 0 : 1; }

    // The site (or surface) under a point of the cell, -1 for none.
    int siteAt(const QPoint& pos) const;
    // The rectangle of a site (or surface bounds), for tests and hit testing.
    QRect siteRect(int site) const;
    // Whether a site of a kind 6 cell is examined for the tooth's furcation kind.
    bool furcationSite(int site) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // A click: instance index and the site or surface clicked (-1 outside any).
    void clicked(int index, int site);
    // A double click: the tooth is selected.
    void toothSelected(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QRect contentRect() const;
    QPolygon surfacePolygon(int surface) const;
    QString textOf(int value) const;
    QString siteText(int site) const;
    void notifyAccessible();
    void paintStatus(class QPainter& p, const QRect& r) const;
    void paintSites(class QPainter& p) const;
    void paintOneValue(class QPainter& p) const;
    void paintTwoPass(class QPainter& p) const;

    int index_;
    int kind_ = KindNone;
    std::array<std::array<int, kLayers>, kSites> values_;
    std::array<std::uint32_t, 4> valueColor_{};
    std::array<int, 3> gradation_{};
    std::array<int, 4> brightness_{255, 255, 255, 255};
    QColor back_ = Qt::white;
    std::uint16_t status_ = 0;
    bool inputAllowed_ = true;
    int furcationKind_ = -1;
    QHash<int, QString> captions_;
    bool cursorOn_ = false;
    int cursorSite_ = -1;
};

} // namespace kvr
