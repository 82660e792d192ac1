// The tooth cell: value store, colours against the item definition, the plaque
// two-cell encoding, hit testing of sites and surfaces, and what it paints.
#include "exam/CExamData.h"
#include "exam/CSubExam.h"
#include "exam/ToothButton.h"

#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace kvr;

namespace {

CSubExam pocketItem() {
    CSubExam item;
    item.Mode = 3;
    const std::uint32_t colors[] = {0x000000FF, 0, 0x000000FF, 0x0000C0FF};
    const int grey[] = {255, 255, 224, 176};
    const int parts[] = {1, 4, 6};
    for (int i = 0; i < 4; ++i) {
        item.setValueColor(i, colors[i]);
        item.setBrightness(i, grey[i]);
    }
    for (int i = 0; i < 3; ++i)
        item.setGradationPart(i, parts[i]);
    return item;
}

QColor bgr(std::uint32_t c) {
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

QImage paint(ToothButton& b) {
    b.resize(b.sizeHint());
    return b.grab().toImage();
}

bool hasColor(const QImage& img, const QRect& r, const QColor& c) {
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (img.pixelColor(x, y) == c) return true;
    return false;
}

} // namespace

TEST(ToothButton, ValueStoreHasSixSitesThreeLayersAndMinusOneForNone) {
    ToothButton b(37);
    EXPECT_EQ(b.index(), 37);
    EXPECT_EQ(b.tooth(), 5);
    for (int s = 0; s < 6; ++s)
        for (int l = 0; l < 3; ++l)
            EXPECT_EQ(b.value(s, l), -1);
    b.setValue(5, 2, 1);
    b.setValue(6, 0, 9);  // outside: ignored
    b.setValue(0, 3, 9);  // outside: ignored
    b.setValue(-1, 0, 9); // outside: ignored
    EXPECT_EQ(b.value(5, 2), 1);
    EXPECT_EQ(b.value(6, 0), -1);
    EXPECT_EQ(b.value(0, 3), -1);
    b.clearValues();
    EXPECT_EQ(b.value(5, 2), -1);
}

TEST(ToothButton, ShadesFollowTheItemDefinition) {
    const CSubExam item = pocketItem();
    ToothButton b(0);
    b.setColorsFrom(item);
    for (int v : {0, 1, 3, 4, 5, 6, 12})
        for (int ci = 0; ci < 4; ++ci)
            EXPECT_EQ(b.colorByValue(v, ci), bgr(item.GetColorByValue(v, ci))) << v << ci;
    EXPECT_EQ(b.colorByValue(3, 0), QColor(255, 255, 255));
    EXPECT_EQ(b.colorByValue(4, 0), QColor(255, 224, 224));
    EXPECT_EQ(b.colorByValue(6, 0), QColor(255, 176, 176));
}

TEST(ToothButton, PlaqueSurfacesRoundTripThroughTheTwoCells) {
    ToothButton b(3 * 32 + 4);
    b.setKind(ToothButton::KindTwoPass);
    EXPECT_FALSE(b.hasPlaqueInput());
    EXPECT_EQ(b.plaqueCell(), 128);
    EXPECT_EQ(b.plaqueOpenCell(), 15);

    b.setPlaqueCells(128, 15); // not examined
    EXPECT_FALSE(b.hasPlaqueInput());
    b.setPlaqueCells(5, 0); // buccal and lingual with plaque, all examined
    EXPECT_EQ(b.value(0), 1);
    EXPECT_EQ(b.value(1), 0);
    EXPECT_EQ(b.value(2), 1);
    EXPECT_EQ(b.value(3), 0);
    EXPECT_EQ(b.plaqueCell(), 5);
    EXPECT_EQ(b.plaqueOpenCell(), 0);

    b.setPlaqueCells(1, 12); // first pass done (buccal plaque), second pass open
    EXPECT_TRUE(b.hasPlaqueInput());
    EXPECT_EQ(b.plaqueOpenMask(), 12);
    EXPECT_EQ(b.value(2), -1);
    EXPECT_EQ(b.plaqueCell(), 1);
    EXPECT_EQ(b.plaqueOpenCell(), 12);

    b.setPlaqueCells(0, 128); // an old record without the second cell: all examined
    EXPECT_EQ(b.plaqueOpenMask(), 0);
    EXPECT_EQ(b.plaqueCell(), 0);
}

TEST(ToothButton, ClicksReportTheSiteUnderThePointer) {
    ToothButton b(1 * 32 + 7);
    b.setKind(ToothButton::KindPocket);
    b.resize(72, 50);
    QSignalSpy clicks(&b, &ToothButton::clicked);
    QSignalSpy selections(&b, &ToothButton::toothSelected);
    for (int s = 0; s < 6; ++s)
        QTest::mouseClick(&b, Qt::LeftButton, {}, b.siteRect(s).center());
    ASSERT_EQ(clicks.size(), 6);
    for (int s = 0; s < 6; ++s) {
        EXPECT_EQ(clicks[s][0].toInt(), 39);
        EXPECT_EQ(clicks[s][1].toInt(), s);
    }
    EXPECT_EQ(b.siteAt(b.siteRect(0).topLeft()), 0);
    EXPECT_EQ(b.siteAt(b.siteRect(5).bottomRight()), 5);
    QTest::mouseDClick(&b, Qt::LeftButton, {}, QPoint(10, 10));
    ASSERT_EQ(selections.size(), 1);
    EXPECT_EQ(selections[0][0].toInt(), 39);
}

TEST(ToothButton, FurcationCellsOfferOnlyTheExaminedSites) {
    ToothButton b(2 * 32 + 3); // upper second premolar: kind 21
    b.setKind(ToothButton::KindSixSite);
    b.setFurcationKind(FurcationKind(3));
    b.resize(72, 40);
    EXPECT_EQ(b.siteAt(b.siteRect(0).center()), 0);
    EXPECT_EQ(b.siteAt(b.siteRect(2).center()), 2);
    EXPECT_EQ(b.siteAt(b.siteRect(1).center()), -1);
    EXPECT_EQ(b.siteAt(b.siteRect(4).center()), -1);
    b.setFurcationKind(FurcationKind(16)); // lower molar: kind 22
    EXPECT_EQ(b.siteAt(b.siteRect(1).center()), 1);
    EXPECT_EQ(b.siteAt(b.siteRect(4).center()), 4);
    EXPECT_EQ(b.siteAt(b.siteRect(3).center()), -1);
}

TEST(ToothButton, PlaqueSurfacesSitAnatomically) {
    // Upper right tooth: buccal on top, mesial towards the midline (right).
    ToothButton upperRight(3 * 32 + 2);
    upperRight.setKind(ToothButton::KindTwoPass);
    upperRight.resize(80, 40);
    EXPECT_EQ(upperRight.siteAt(QPoint(40, 4)), 0);
    EXPECT_EQ(upperRight.siteAt(QPoint(40, 36)), 2);
    EXPECT_EQ(upperRight.siteAt(QPoint(76, 20)), 1);
    EXPECT_EQ(upperRight.siteAt(QPoint(4, 20)), 3);
    EXPECT_EQ(upperRight.siteAt(QPoint(40, 20)), -1); // the middle
    // Lower left tooth: lingual on top, mesial on the left.
    ToothButton lowerLeft(3 * 32 + 26);
    lowerLeft.setKind(ToothButton::KindTwoPass);
    lowerLeft.resize(80, 40);
    EXPECT_EQ(lowerLeft.siteAt(QPoint(40, 4)), 2);
    EXPECT_EQ(lowerLeft.siteAt(QPoint(40, 36)), 0);
    EXPECT_EQ(lowerLeft.siteAt(QPoint(4, 20)), 1);
    EXPECT_EQ(lowerLeft.siteAt(QPoint(76, 20)), 3);
}

TEST(ToothButton, PaintsShadesMarksAndStatus) {
    const CSubExam item = pocketItem();
    ToothButton b(8);
    b.setKind(ToothButton::KindPocket);
    b.setColorsFrom(item);
    b.setValue(0, 0, 6);
    b.setValue(1, 0, 2);
    QImage img = paint(b);
    const QColor deep = b.colorByValue(6, 0);
    EXPECT_TRUE(hasColor(img, b.siteRect(0), deep));
    EXPECT_FALSE(hasColor(img, b.siteRect(1), deep));
    EXPECT_FALSE(hasColor(img, b.siteRect(1), QColor(255, 0, 0)));

    b.setValue(1, 1, 1); // bleeding
    b.setValue(2, 2, 1); // pus
    img = paint(b);
    EXPECT_TRUE(hasColor(img, b.siteRect(1), QColor(255, 0, 0)));
    EXPECT_TRUE(hasColor(img, b.siteRect(2), b.colorByValue(1, 3)));
    EXPECT_FALSE(hasColor(img, b.siteRect(2), QColor(255, 0, 0)));

    // Missing, implant and pontic teeth look different from each other and from a tooth.
    ToothButton m(9);
    m.setKind(ToothButton::KindOneValue);
    const QColor plain = paint(m).pixelColor(6, 6);
    QList<QColor> seen{plain};
    for (std::uint16_t st : {std::uint16_t(kMissingTooth), std::uint16_t(kImplant), std::uint16_t(kPontic)}) {
        m.setStatus(st);
        const QImage s = paint(m);
        const QColor c = s.pixelColor(m.width() / 2, 5);
        EXPECT_FALSE(seen.contains(c)) << std::hex << st;
        seen << c;
    }

    // The cursor frames the cell and lights up its site.
    b.setEntryCursor(true, 4);
    img = paint(b);
    EXPECT_TRUE(hasColor(img, b.siteRect(4), QColor(0xff, 0xf1, 0x9c)));
    EXPECT_FALSE(hasColor(img, b.siteRect(3), QColor(0xff, 0xf1, 0x9c)));
}
