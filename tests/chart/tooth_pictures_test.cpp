// The shipped tooth pictures and the table the chart and the sheets draw them from.
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

class ToothPicturesTest : public ::testing::Test {
protected:
    void SetUp() override { test::installTestServices(); }
};

// Every shipped GIF (the generator's output) has the box size the chart places it by and is
// transparent around the drawing. (How crown and root meet is the generator's drawing, seen on
// its contact sheet.)
TEST_F(ToothPicturesTest, ShippedFilesFitTheirBoxes) {
    auto read = [](const QString& name) {
        QImageReader reader(bmpFolder() + "/" + name);
        EXPECT_EQ(reader.format(), "gif") << name.toStdString();
        return reader.read().convertToFormat(QImage::Format_ARGB32);
    };
    const int w = px(kToothBoxWidthMm), crown = px(kToothCrownBoxMm), root = px(kToothRootBoxMm);
    EXPECT_EQ(read("imp.gif").size(), QSize(w, root));
    for (int index = 0; index < 24; index = index == 7 ? 16 : index + 1)
        for (const char* view : {"_b_", "_l_"})
            for (auto [part, height] : {std::pair{"h.gif", crown}, {"r.gif", root}}) {
                const QString name = QString::number(ToothNumberOf(index)) + view + part;
                const QImage image = read(name);
                EXPECT_EQ(image.size(), QSize(w, height)) << name.toStdString();
                EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << name.toStdString();
            }
}

// Teeth of the right side show their own files; those of the left side the files of their
// right counterpart mirrored. The implant fixture stands under the crown: upside down in the
// upper jaw, mirrored on the left side.
TEST_F(ToothPicturesTest, TableGivesEachToothItsFileMirroredOnTheLeft) {
    BuildToothPictureTable(bmpFolder());
    const ToothView views[] = {ToothView::CrownBuccal, ToothView::RootBuccal, ToothView::CrownLingual,
                               ToothView::RootLingual};
    const QString suffixes[] = {"_b_h.gif", "_b_r.gif", "_l_h.gif", "_l_r.gif"};
    const std::tuple<int, QString, int> cases[] = {{0, "18", -1}, {7, "11", -1},  {8, "11", 7},  {15, "18", 0},
                                                   {16, "48", -1}, {23, "41", -1}, {24, "41", 23}, {31, "48", 16}};
    for (const auto& [index, number, source] : cases)
        for (int v = 0; v < 4; ++v) {
            const ToothPicture& p = ToothPictureOf(index, views[v]);
            EXPECT_EQ(p.file, number + suffixes[v]) << index;
            const QImage own = QImage(bmpFolder() + "/" + p.file).convertToFormat(p.image.format());
            ASSERT_FALSE(own.isNull()) << index;
            EXPECT_EQ(p.image, source < 0 ? own : ToothPictureOf(source, views[v]).image.mirrored(true, false)) << index;
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
