#include "chart/ToothPictures.h"
#include "support/test_services.h"

#include <QFile>
#include <QImageReader>
#include <QRect>
#include <QTemporaryDir>

#include <algorithm>

#include <gtest/gtest.h>

using namespace kvr;

namespace {

const ToothView kViews[] = {ToothView::CrownBuccal, ToothView::RootBuccal, ToothView::CrownLingual,
                            ToothView::RootLingual};

QString bmpFolder() { return test::builtAppFolder() + "/BMP"; }

int px(double mm) { return int(mm * kToothPixelsPerMm + 0.5); }

bool opaque(const QImage& image, int x, int y) { return qAlpha(image.pixel(x, y)) > 0; }

QRect drawnRect(const QImage& image) {
    QRect r;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (opaque(image, x, y)) r |= QRect(x, y, 1, 1);
    return r;
}

// First and last opaque x of one row, {-1, -1} when the row is empty.
std::pair<int, int> rowExtent(const QImage& image, int y) {
    int first = -1, last = -1;
    for (int x = 0; x < image.width(); ++x)
        if (opaque(image, x, y)) {
            if (first < 0) first = x;
            last = x;
        }
    return {first, last};
}

QImage readGif(const QString& name) {
    QImageReader reader(bmpFolder() + "/" + name);
    EXPECT_EQ(reader.format(), "gif") << name.toStdString();
    return reader.read().convertToFormat(QImage::Format_ARGB32);
}

class ToothPicturesTest : public ::testing::Test {
protected:
    void SetUp() override { test::installTestServices(); }
};

// Every file the program ships: a GIF of the common box size, background transparent around
// the drawing, something drawn. Crown and root of one view meet along the CEJ edge with the same
// x extent, and each part has the drawn size the chart places it by.
TEST_F(ToothPicturesTest, ShippedFilesFitTheirBoxesAndJoinAtTheCej) {
    const QImage implant = readGif("imp.gif");
    ASSERT_FALSE(implant.isNull());
    EXPECT_EQ(implant.size(), QSize(px(kToothBoxWidthMm), px(kToothRootBoxMm)));
    EXPECT_TRUE(opaque(implant, implant.width() / 2, 0)) << "the platform touches the crown's edge";

    for (int index = 0; index < 24; index = index == 7 ? 16 : index + 1) {
        const ToothPictureSize size = ToothPictureSizeOf(index);
        const QString tooth = QString::number(ToothNumberOf(index));
        for (const char* view : {"_b_", "_l_"}) {
            const QImage crown = readGif(tooth + view + "h.gif");
            const QImage root = readGif(tooth + view + "r.gif");
            SCOPED_TRACE((tooth + view).toStdString());
            ASSERT_FALSE(crown.isNull());
            ASSERT_FALSE(root.isNull());
            EXPECT_EQ(crown.size(), QSize(px(size.boxWidth), px(size.crownBox)));
            EXPECT_EQ(root.size(), QSize(px(size.boxWidth), px(size.rootBox)));
            for (const QImage* part : {&crown, &root}) {
                EXPECT_FALSE(opaque(*part, 0, 0));
                EXPECT_FALSE(opaque(*part, part->width() - 1, part->height() / 2));
            }

            // Upper teeth: root above the crown, so the CEJ is the crown's top and the root's bottom row.
            const int crownCej = size.upper ? 0 : crown.height() - 1;
            const int rootCej = size.upper ? root.height() - 1 : 0;
            const auto joint = rowExtent(crown, crownCej);
            EXPECT_GE(joint.first, 0);
            EXPECT_NEAR(joint.first, rowExtent(root, rootCej).first, 1);
            EXPECT_NEAR(joint.second, rowExtent(root, rootCej).second, 1);
            EXPECT_NEAR(joint.second - joint.first, px(size.cervicalWidth), px(0.4));
            EXPECT_EQ(rowExtent(crown, crown.height() - 1 - crownCej).first, -1) << "crown tip inside its box";

            const QRect c = drawnRect(crown), r = drawnRect(root);
            EXPECT_NEAR(c.height(), px(size.crownHeight), px(0.4));
            EXPECT_NEAR(c.width(), px(size.toothWidth), px(0.5));
            EXPECT_NEAR(c.center().x(), crown.width() / 2, px(0.5));
            EXPECT_NEAR(r.height(), px(size.rootLength), px(0.4));
        }
    }
}

TEST_F(ToothPicturesTest, TableGivesEachToothItsFileMirroredOnTheLeft) {
    BuildToothPictureTable(bmpFolder());
    const QString numbers[] = {"18", "17", "16", "15", "14", "13", "12", "11", "21", "22", "23",
                               "24", "25", "26", "27", "28", "48", "47", "46", "45", "44", "43",
                               "42", "41", "31", "32", "33", "34", "35", "36", "37", "38"};
    const QString suffixes[] = {"_b_h.gif", "_b_r.gif", "_l_h.gif", "_l_r.gif"};
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(QString::number(ToothNumberOf(i)), numbers[i]);
        const int source = PictureSourceIndex(i);
        const bool left = (i >= 8 && i < 16) || i >= 24;
        EXPECT_EQ(source != i, left) << i;
        EXPECT_EQ(ToothPictureSizeOf(i).cejFromTop, ToothPictureSizeOf(source).cejFromTop);
        for (int v = 0; v < 4; ++v) {
            const ToothPicture& p = ToothPictureOf(i, kViews[v]);
            const ToothPicture& plain = ToothPictureOf(source, kViews[v]);
            EXPECT_EQ(p.file, numbers[source] + suffixes[v]) << i;
            ASSERT_FALSE(p.image.isNull()) << i;
            EXPECT_EQ(p.image, left ? plain.image.mirrored(true, false) : plain.image) << i;
        }
    }
    EXPECT_TRUE(ToothPictureOf(32, ToothView::CrownBuccal).file.isEmpty());

    // The fixture stands under the crown: upside down in the upper jaw, mirrored on the left side.
    const QImage fixture = ImplantPicture(false).image;
    ASSERT_FALSE(fixture.isNull());
    EXPECT_EQ(ImplantPicture(true).image, fixture.mirrored(true, false));
    EXPECT_EQ(ImplantPictureOf(20).image, fixture);
    EXPECT_EQ(ImplantPictureOf(28).image, fixture.mirrored(true, false));
    EXPECT_EQ(ImplantPictureOf(3).image, fixture.mirrored(false, true));
    EXPECT_EQ(ImplantPictureOf(12).image, fixture.mirrored(true, true));
}

// A missing or damaged file leaves that picture null and says so on the error output; the
// other pictures still load.
TEST_F(ToothPicturesTest, MissingOrDamagedFilesGiveNullPictures) {
    QTemporaryDir dir;
    ASSERT_TRUE(QFile::copy(bmpFolder() + "/11_b_h.gif", dir.filePath("11_b_h.gif")));
    QFile damaged(dir.filePath("11_b_r.gif"));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("GIF89a not really");
    damaged.close();

    testing::internal::CaptureStderr();
    BuildToothPictureTable(dir.path());
    const std::string errors = testing::internal::GetCapturedStderr();

    EXPECT_FALSE(ToothPictureOf(7, ToothView::CrownBuccal).image.isNull());
    EXPECT_FALSE(ToothPictureOf(8, ToothView::CrownBuccal).image.isNull());
    for (int index : {7, 8}) {
        const ToothPicture& root = ToothPictureOf(index, ToothView::RootBuccal);
        EXPECT_EQ(root.file, "11_b_r.gif");
        EXPECT_TRUE(root.image.isNull());
    }
    EXPECT_TRUE(ToothPictureOf(0, ToothView::CrownLingual).image.isNull());
    EXPECT_TRUE(ImplantPictureOf(3).image.isNull());
    EXPECT_NE(errors.find("11_b_r.gif"), std::string::npos);
    EXPECT_NE(errors.find("imp.gif"), std::string::npos);
    EXPECT_EQ(errors.find("11_b_h.gif"), std::string::npos);
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 64) << "one line per unreadable file: 63 teeth, 1 fixture";
}

} // namespace
