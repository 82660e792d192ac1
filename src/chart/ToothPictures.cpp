#include "chart/ToothPictures.h"

#include <QDir>
#include <QFile>
#include <QImageReader>

#include <array>
#include <cstdio>

namespace kvr {

namespace {

// Natural size of each right-side tooth in mm, tooth indices 0..7 (18..11) and 16..23 (48..41):
// crown height (CEJ to cusp tip or incisal edge), longest root, widest crown width, width at
// the CEJ. The pictures in assets/teeth/teeth.txt are drawn from the same numbers.
struct Natural {
    double crown, root, width, cervical;
};
constexpr std::array<Natural, 8> kUpper = {{
    {6.5, 11.0, 8.5, 6.5},  // 18
    {7.0, 12.0, 9.0, 7.0},  // 17
    {7.5, 12.5, 10.0, 8.0}, // 16
    {8.0, 14.0, 6.8, 5.0},  // 15
    {8.5, 14.0, 7.0, 5.0},  // 14
    {10.0, 16.5, 7.5, 5.5}, // 13
    {9.0, 13.0, 6.5, 5.0},  // 12
    {10.5, 13.0, 8.5, 7.0}, // 11
}};
constexpr std::array<Natural, 8> kLower = {{
    {6.5, 11.0, 10.0, 8.0},  // 48
    {7.0, 13.0, 10.5, 8.0},  // 47
    {7.5, 14.0, 11.0, 9.0},  // 46
    {8.0, 14.5, 7.0, 5.0},   // 45
    {8.5, 14.0, 7.0, 5.0},   // 44
    {11.0, 16.0, 7.0, 5.5},  // 43
    {9.5, 14.0, 5.5, 4.0},   // 42
    {9.0, 12.5, 5.0, 3.5},   // 41
}};

struct Table {
    bool built = false;
    std::array<std::array<ToothPicture, 4>, 32> teeth;
    std::array<ToothPicture, 4> implant; // lower right, lower left, upper right, upper left
};

Table& table() {
    static Table t;
    return t;
}

const ToothPicture kNone; // before the table is built, or outside 0..31

const char* viewSuffix(ToothView view) {
    switch (view) {
    case ToothView::CrownBuccal: return "_b_h.gif";
    case ToothView::RootBuccal: return "_b_r.gif";
    case ToothView::CrownLingual: return "_l_h.gif";
    case ToothView::RootLingual: return "_l_r.gif";
    }
    return "";
}

ToothPicture load(const QString& folder, const QString& file) {
    ToothPicture p;
    p.file = file;
    const QString path = folder + "/" + file;
    QImageReader reader(path);
    QImage image;
    if (!QFile::exists(path) || !reader.read(&image)) {
        std::fprintf(stderr, "Tooth picture not readable, the tooth is drawn without it: %s\n",
                     qPrintable(QDir::toNativeSeparators(path)));
        return p;
    }
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    p.image = image;
    return p;
}

} // namespace

int PictureSourceIndex(int toothIndex) {
    if (toothIndex >= 8 && toothIndex < 16) return 15 - toothIndex;
    if (toothIndex >= 24 && toothIndex < 32) return 47 - toothIndex;
    return toothIndex;
}

int ToothNumberOf(int toothIndex) {
    if (toothIndex < 8) return 18 - toothIndex;
    if (toothIndex < 16) return 21 + (toothIndex - 8);
    if (toothIndex < 24) return 48 - (toothIndex - 16);
    return 31 + (toothIndex - 24);
}

ToothPictureSize ToothPictureSizeOf(int toothIndex) {
    const int source = PictureSourceIndex(toothIndex);
    const bool upper = source < 8;
    const Natural& n = upper ? kUpper[source] : kLower[source - 16];
    ToothPictureSize s;
    s.upper = upper;
    s.cejFromTop = upper ? s.rootBox : s.crownBox;
    s.toothWidth = n.width * kToothDrawingScale;
    s.cervicalWidth = n.cervical * kToothDrawingScale;
    s.crownHeight = n.crown * kToothDrawingScale;
    s.rootLength = n.root * kToothDrawingScale;
    return s;
}

void BuildToothPictureTable(const QString& bmpFolder) {
    Table& t = table();
    for (int i = 0; i < 32; ++i) {
        const int source = PictureSourceIndex(i);
        const bool mirrored = source != i;
        for (ToothView v : {ToothView::CrownBuccal, ToothView::RootBuccal, ToothView::CrownLingual,
                            ToothView::RootLingual}) {
            // A left-side tooth mirrors the picture its counterpart has already loaded.
            ToothPicture& entry = t.teeth[i][int(v)];
            if (mirrored) {
                const ToothPicture& plain = t.teeth[source][int(v)];
                entry.file = plain.file;
                entry.mirrored = true;
                entry.image = plain.image.mirrored(true, false);
            } else {
                entry = load(bmpFolder, QString::number(ToothNumberOf(i)) + viewSuffix(v));
            }
        }
    }
    t.implant[0] = load(bmpFolder, "imp.gif");
    for (int k = 1; k < 4; ++k) {
        const bool mirrored = k % 2 == 1, upper = k >= 2;
        t.implant[k] = t.implant[0];
        t.implant[k].mirrored = mirrored;
        t.implant[k].image = t.implant[0].image.mirrored(mirrored, upper);
    }
    t.built = true;
}

const ToothPicture& ToothPictureOf(int toothIndex, ToothView view) {
    if (!table().built || toothIndex < 0 || toothIndex > 31) return kNone;
    return table().teeth[toothIndex][int(view)];
}

const ToothPicture& ImplantPicture(bool mirrored) {
    if (!table().built) return kNone;
    return table().implant[mirrored ? 1 : 0];
}

const ToothPicture& ImplantPictureOf(int toothIndex) {
    if (!table().built || toothIndex < 0 || toothIndex > 31) return kNone;
    const bool mirrored = PictureSourceIndex(toothIndex) != toothIndex;
    return table().implant[(toothIndex < 16 ? 2 : 0) + (mirrored ? 1 : 0)];
}

} // namespace kvr
