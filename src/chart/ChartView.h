// The drawing parts of the chart screen.
//
// ChartJawView: one jaw of one pair of stages: for the 16 teeth of the jaw the crown and
// root pictures of both views (upper jaw: buccal above, palatal below; lower jaw:
// lingual above, buccal below), the tooth-number row between them, and over each view's
// roots the pocket-depth graph of both stages of the pair (0 mm at the crown-root
// junction, 10 mm towards the apex; one line per stage, the first stage shifted a little
// up and left, the second down and right, so that equal values stay visible side by
// side). A left column names the views and carries the scale marks "10" and "0".
//
// ChartPairBlock: one pair of stages: both jaws, under each jaw its mobility labels
// and its furcation cells, all aligned on the same 16 tooth columns.
//
// DataSheetPage: the data-sheet preview page, drawn once per size by the sheet routines.
#pragma once

#include "chart/ChartViewModel.h"
#include "chart/Sheets.h"

#include <QPixmap>
#include <QWidget>

#include <array>
#include <functional>

class QLabel;

namespace kvr {

class ToothButton;

class ChartJawView : public QWidget {
    Q_OBJECT
public:
    ChartJawView(int pair, int jaw, QWidget* parent = nullptr);
    // The stages shown (kept by the caller for the life of the view).
    void setStages(const ChartStages* stages);
    // Width of the left caption column; the 16 tooth columns share the rest.
    void setCaptionWidth(int px);
    int captionWidth() const { return captionWidth_; }
    // Left edge and width of a tooth column (0..15) in widget coordinates.
    double columnLeft(int column) const;
    double columnWidth() const;

    // Line colours of the first and second stage of a pair.
    static QColor stageColor(int stageInPair);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Strip {
        QRectF rect;   // whole strip
        double junction; // y of the crown-root junction
        double apexDir;  // -1: roots point up, +1: down
        double rootLen;  // height from the junction to the strip's edge on the apex side
        double boxWidth; // picture boxes (crown and root) at the strip's scale
        double crownLen;
        double rootBox;
    };
    Strip stripRect(int chartRow) const;
    QRectF numberRow() const;
    void paintPictures(class QPainter& p, const Strip& s, int chartRow, const std::array<std::uint16_t, 32>& status) const;
    void paintGraph(class QPainter& p, const Strip& s, int chartRow) const;

    int pair_;
    int jaw_;
    int captionWidth_ = 56;
    const ChartStages* stages_ = nullptr;
};

class ChartPairBlock : public QWidget {
    Q_OBJECT
public:
    // Creates its children; mobility labels and cells are indexed pair * 32 + tooth by
    // the screen, here 0..31 (tooth index).
    ChartPairBlock(int pair, QWidget* parent = nullptr);
    std::array<ChartJawView*, 2> jaws{};
    std::array<QLabel*, 32> mobility{};
    std::array<ToothButton*, 32> cells{};
    QLabel* mobilityHeading = nullptr; // LblMOBH of the pair
    std::array<QLabel*, 3> captions{}; // lower mobility row, upper and lower furcation rows

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    int pair_;
};

class DataSheetPage : public QWidget {
    Q_OBJECT
public:
    explicit DataSheetPage(QWidget* parent = nullptr);
    // What the page shows; the drawing is redone at the next paint.
    void setSource(const SheetSource& source);
    // Draws the page now at its current size (the application title shows the case
    // number while the sheet routines draw).
    void render();
    // The drawing routine (the data-sheet preview of the sheets; tests replace it).
    std::function<double(QPainter&, const SheetSource&)> draw;

    static constexpr double kWidthMm = 210.0;
    static constexpr double kHeightMm = 455.0;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    SheetSource source_;
    QPixmap pixmap_;
};

} // namespace kvr
