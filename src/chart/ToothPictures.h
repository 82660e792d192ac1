// The tooth picture table: for each of the 32 tooth indices and four views the
// picture file of the program folder's "BMP" folder, built once at start-up.
// Only right-side teeth (18..11, 48..41) have files; a left-side tooth uses its
// right-side counterpart's picture, mirrored. An implant's fixture is "imp.gif".
// A missing or unreadable file is no error: its picture is null (the tooth is
// drawn without it) and a line goes to the error output.
#pragma once

#include <QImage>
#include <QString>

namespace kvr {

// Crown ("h") and root ("r") seen from the buccal ("b") or lingual/palatal ("l") side.
enum class ToothView { CrownBuccal = 0, RootBuccal = 1, CrownLingual = 2, RootLingual = 3 };

struct ToothPicture {
    QString file;         // file name inside the BMP folder, e.g. "11_b_h.gif"
    bool mirrored = false; // drawn mirrored (left-side teeth)
    QImage image;         // as drawn (already mirrored when mirrored); null when unreadable
};

// Builds the table from the files in bmpFolder (replacing an earlier table).
void BuildToothPictureTable(const QString& bmpFolder);
// The picture of a tooth index 0..31 in a view; an empty entry before the table is built.
const ToothPicture& ToothPictureOf(int toothIndex, ToothView view);
// The implant fixture picture ("imp.gif"), mirrored for left-side teeth. The file is drawn
// for the lower jaw: platform at the top edge, where the crown joins it.
const ToothPicture& ImplantPicture(bool mirrored);
// The fixture as it stands under the crown of a tooth index 0..31: turned upside down for the
// upper jaw (platform at the bottom edge) and mirrored for the left side.
const ToothPicture& ImplantPictureOf(int toothIndex);

// Where the pictures go on paper and on screen, in millimetres at their natural size.
//
// Every picture file has the same width, every crown file the same height and every root file
// the same height, so that all teeth sit in equal cells. Upper teeth are drawn with the root above
// and the crown below (the crown points down at the occlusal line), lower teeth the other way
// round. Crown and root join at the cementoenamel junction (CEJ): the crown box's edge toward the
// root and the root box's edge toward the crown, so the CEJ lies on one straight line per jaw.
// The tooth itself is drawn centred in the box at kToothDrawingScale of its natural size; the
// pictures may be drawn at any other size as long as the scale is the same in x and y.
// Crown box, root box and the CEJ are the same for both views and both jaws.
inline constexpr double kToothBoxWidthMm = 10.0;   // width of every picture
inline constexpr double kToothCrownBoxMm = 8.5;    // height of every crown picture ("*_h.gif")
inline constexpr double kToothRootBoxMm = 12.5;    // height of every root picture ("*_r.gif", "imp.gif")
inline constexpr double kToothDrawingScale = 0.75; // mm on the picture per mm of the natural tooth
inline constexpr int kToothPixelsPerMm = 12;       // resolution of the picture files

struct ToothPictureSize {
    double boxWidth = kToothBoxWidthMm;   // picture width
    double crownBox = kToothCrownBoxMm;   // crown picture height
    double rootBox = kToothRootBoxMm;     // root picture height
    double cejFromTop = 0;   // the CEJ line measured from the top of the stacked crown and root boxes
    double toothWidth = 0;   // the crown's widest part as drawn, centred in the box
    double cervicalWidth = 0; // the tooth's width at the CEJ as drawn, centred in the box
    double crownHeight = 0;  // CEJ to the cusp tip or incisal edge as drawn
    double rootLength = 0;   // CEJ to the apex of the longest root as drawn
    bool upper = true;       // upper jaw: root box above the crown box
};

// The size of the pictures of a tooth index 0..31 (left-side teeth as their counterparts).
ToothPictureSize ToothPictureSizeOf(int toothIndex);

// The tooth number (18..11, 21..28, 48..41, 31..38) of a tooth index 0..31.
int ToothNumberOf(int toothIndex);
// The right-side tooth index whose files a tooth index uses (itself for right-side teeth).
int PictureSourceIndex(int toothIndex);

} // namespace kvr
