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

TEST(ToothButton, ValueStoreAndThePlaqueTwoCellEncoding) {
    ToothButton b(37);
    EXPECT_EQ(b.tooth(), 5);
    b.setValue(5, 2, 1);
    b.setValue(6, 0, 9); // outside: ignored
    EXPECT_EQ(QList<int>({b.value(5, 2), b.value(6, 0), b.value(4, 2)}), QList<int>({1, -1, -1}));
    b.clearValues();
    EXPECT_EQ(b.value(5, 2), -1);

    // Plaque: surfaces 0-3 from the plaque cell (bits 1, 2, 4, 8) and the not-examined
    // cell; 128/128 is an untouched tooth, an old record's 128 second cell means examined.
    ToothButton p(3 * 32 + 4);
    p.setKind(ToothButton::KindTwoPass);
    const struct {
        int plaque, open;
        bool input;
        int openMask, surfaces[4], plaqueBack, openBack;
    } cases[] = {
        {128, 15, false, 15, {-1, -1, -1, -1}, 128, 15},
        {5, 0, true, 0, {1, 0, 1, 0}, 5, 0},
        {1, 12, true, 12, {1, 0, -1, -1}, 1, 12},
        {0, 128, true, 0, {0, 0, 0, 0}, 0, 0},
    };
    for (const auto& c : cases) {
        p.setPlaqueCells(c.plaque, c.open);
        SCOPED_TRACE(testing::Message() << c.plaque << "/" << c.open);
        EXPECT_EQ(p.hasPlaqueInput(), c.input);
        EXPECT_EQ(p.plaqueOpenMask(), c.openMask);
        for (int s = 0; s < 4; ++s)
            EXPECT_EQ(p.value(s), c.surfaces[s]) << s;
        EXPECT_EQ(p.plaqueCell(), c.plaqueBack);
        EXPECT_EQ(p.plaqueOpenCell(), c.openBack);
    }
}

TEST(ToothButton, ClicksReportTheSiteOrSurfaceUnderThePointer) {
    ToothButton b(1 * 32 + 7);
    b.setKind(ToothButton::KindPocket);
    b.resize(72, 50);
    QSignalSpy clicks(&b, &ToothButton::clicked);
    QSignalSpy selections(&b, &ToothButton::toothSelected);
    for (int s = 0; s < 6; ++s)
        QTest::mouseClick(&b, Qt::LeftButton, {}, b.siteRect(s).center());
    ASSERT_EQ(clicks.size(), 6);
    for (int s = 0; s < 6; ++s)
        EXPECT_EQ(clicks[s], (QList<QVariant>{39, s}));
    EXPECT_EQ(b.siteAt(b.siteRect(0).topLeft()), 0);
    EXPECT_EQ(b.siteAt(b.siteRect(5).bottomRight()), 5);
    QTest::mouseDClick(&b, Qt::LeftButton, {}, QPoint(10, 10));
    ASSERT_EQ(selections.size(), 1);
    EXPECT_EQ(selections[0][0].toInt(), 39);

    // Furcation cells offer only the sites their furcation kind examines.
    ToothButton f(2 * 32 + 3);
    f.setKind(ToothButton::KindSixSite);
    f.resize(72, 40);
    for (auto [furcation, sites] : {std::pair{3, std::vector<int>{0, -1, 2, -1, -1, -1}}, // upper premolar
                                    {16, std::vector<int>{-1, 1, -1, -1, 4, -1}}}) {      // lower molar
        f.setFurcationKind(FurcationKind(furcation));
        for (int s = 0; s < 6; ++s)
            EXPECT_EQ(f.siteAt(f.siteRect(s).center()), sites[s]) << furcation << " site " << s;
    }

    // Plaque surfaces sit anatomically: upper right buccal on top, mesial towards the
    // midline (right); lower left lingual on top, mesial on the left; nothing in the middle.
    const std::pair<int, std::array<int, 5>> plaque[] = {{2, {0, 2, 1, 3, -1}}, {26, {2, 0, 3, 1, -1}}};
    const QPoint at[] = {{40, 4}, {40, 36}, {76, 20}, {4, 20}, {40, 20}};
    for (const auto& [tooth, surfaces] : plaque) {
        ToothButton c(3 * 32 + tooth);
        c.setKind(ToothButton::KindTwoPass);
        c.resize(80, 40);
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(c.siteAt(at[i]), surfaces[i]) << "tooth " << tooth << " point " << i;
    }
}

TEST(ToothButton, PaintsShadesMarksAndStatus) {
    const CSubExam item = pocketItem();
    ToothButton b(8);
    b.setKind(ToothButton::KindPocket);
    b.setColorsFrom(item);
    // Shades follow the item definition: white below 4 mm, greyer bands from 4 and 6 mm.
    EXPECT_EQ(QList({b.colorByValue(3, 0), b.colorByValue(4, 0), b.colorByValue(6, 0), b.colorByValue(1, 3)}),
              QList({QColor(255, 255, 255), QColor(255, 224, 224), QColor(255, 176, 176), bgr(0x0000C0FF)}));
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
