#include "chart/ToothPictures.h"
#include "support/test_services.h"

#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>

#include <algorithm>

#include <gtest/gtest.h>

using namespace kvr;

namespace {

QString bmpFolder() { return test::builtAppFolder() + "/BMP"; }
int px(double mm) { return int(mm * kToothPixelsPerMm + 0.5); }
bool opaque(const QImage& image, int x, int y) { return qAlpha(image.pixel(x, y)) > 0; }

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

class ToothPicturesTest : public ::testing::Test {
protected:
    void SetUp() override { test::installTestServices(); }
};

// Every shipped GIF has the box size the chart places it by, transparent around the drawing;
// crown and root of one view meet along the CEJ edge with the same x extent.
TEST_F(ToothPicturesTest, ShippedFilesFitTheirBoxesAndJoinAtTheCej) {
    auto read = [](const QString& name) {
        QImageReader reader(bmpFolder() + "/" + name);
        EXPECT_EQ(reader.format(), "gif") << name.toStdString();
        return reader.read().convertToFormat(QImage::Format_ARGB32);
    };
    const QImage implant = read("imp.gif");
    EXPECT_EQ(implant.size(), QSize(px(kToothBoxWidthMm), px(kToothRootBoxMm)));
    for (int index = 0; index < 24; index = index == 7 ? 16 : index + 1) {
        const ToothPictureSize size = ToothPictureSizeOf(index);
        const QString tooth = QString::number(ToothNumberOf(index));
        for (const char* view : {"_b_", "_l_"}) {
            SCOPED_TRACE((tooth + view).toStdString());
            const QImage crown = read(tooth + view + "h.gif"), root = read(tooth + view + "r.gif");
            ASSERT_FALSE(crown.isNull() || root.isNull());
            EXPECT_EQ(crown.size(), QSize(px(size.boxWidth), px(size.crownBox)));
            EXPECT_EQ(root.size(), QSize(px(size.boxWidth), px(size.rootBox)));
            EXPECT_FALSE(opaque(crown, 0, 0) || opaque(root, 0, 0));
            // Upper teeth: root above the crown, so the CEJ is the crown's top and the root's bottom row.
            const auto joint = rowExtent(crown, size.upper ? 0 : crown.height() - 1);
            const auto rootJoint = rowExtent(root, size.upper ? root.height() - 1 : 0);
            EXPECT_GE(joint.first, 0);
            EXPECT_NEAR(joint.first, rootJoint.first, 1);
            EXPECT_NEAR(joint.second, rootJoint.second, 1);
            EXPECT_NEAR(joint.second - joint.first, px(size.cervicalWidth), px(0.4));
        }
    }
}

// Teeth of the left side show the right side's files mirrored; the implant fixture stands
// under the crown: upside down in the upper jaw, mirrored on the left side.
TEST_F(ToothPicturesTest, TableGivesEachToothItsFileMirroredOnTheLeft) {
    BuildToothPictureTable(bmpFolder());
    const ToothView views[] = {ToothView::CrownBuccal, ToothView::RootBuccal, ToothView::CrownLingual,
                               ToothView::RootLingual};
    const QString suffixes[] = {"_b_h.gif", "_b_r.gif", "_l_h.gif", "_l_r.gif"};
    const int numbers[] = {18, 17, 16, 15, 14, 13, 12, 11, 21, 22, 23, 24, 25, 26, 27, 28,
                           48, 47, 46, 45, 44, 43, 42, 41, 31, 32, 33, 34, 35, 36, 37, 38};
    for (int i = 0; i < 32; ++i) {
        const bool left = (i >= 8 && i < 16) || i >= 24;
        const int source = left ? (i < 16 ? 15 - i : 47 - i) : i;
        for (int v = 0; v < 4; ++v) {
            const ToothPicture& p = ToothPictureOf(i, views[v]);
            EXPECT_EQ(p.file, QString::number(numbers[source]) + suffixes[v]) << i;
            ASSERT_FALSE(p.image.isNull()) << i;
            const QImage plain = ToothPictureOf(source, views[v]).image;
            EXPECT_EQ(p.image, left ? plain.mirrored(true, false) : plain) << i;
        }
    }
    const QImage fixture = ImplantPicture(false).image;
    ASSERT_FALSE(fixture.isNull());
    EXPECT_EQ(ImplantPictureOf(20).image, fixture);
    EXPECT_EQ(ImplantPictureOf(28).image, fixture.mirrored(true, false));
    EXPECT_EQ(ImplantPictureOf(3).image, fixture.mirrored(false, true));
    EXPECT_EQ(ImplantPictureOf(12).image, fixture.mirrored(true, true));
}

// A missing or damaged file leaves that picture null and says so on the error output, one
// line per unreadable file (63 teeth, 1 fixture); the other pictures still load.
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
    for (int index : {7, 8}) {
        EXPECT_FALSE(ToothPictureOf(index, ToothView::CrownBuccal).image.isNull());
        EXPECT_TRUE(ToothPictureOf(index, ToothView::RootBuccal).image.isNull());
    }
    EXPECT_TRUE(ImplantPictureOf(3).image.isNull());
    EXPECT_NE(errors.find("11_b_r.gif"), std::string::npos);
    EXPECT_EQ(errors.find("11_b_h.gif"), std::string::npos);
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 64);
}

} // namespace
