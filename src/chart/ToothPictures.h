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
// The implant fixture picture ("imp.gif"), mirrored for left-side teeth.
const ToothPicture& ImplantPicture(bool mirrored);

} // namespace kvr
