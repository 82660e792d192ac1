// The tooth cell: the plaque two-cell encoding, which site or surface a click hits, and
// what it paints.
#include "exam/CExamData.h"
#include "exam/CSubExam.h"
#include "exam/ToothButton.h"

#include <QImage>
#include <QTest>
#include <gtest/gtest.h>

using namespace kvr;

namespace {

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

TEST(ToothButton, PlaqueSurfacesComeFromThePlaqueAndTheNotExaminedCell) {
    // Surfaces 0-3 are bits 1, 2, 4, 8; 128/128 is an untouched tooth, an old record's
    // 128 second cell means examined.
    ToothButton p(3 * 32 + 4);
    p.setKind(ToothButton::KindTwoPass);
    const struct {
        int plaque, open;
        bool input;
        std::array<int, 4> surfaces;
        int plaqueBack, openBack;
    } cases[] = {{128, 15, false, {-1, -1, -1, -1}, 128, 15},
                 {5, 0, true, {1, 0, 1, 0}, 5, 0},
                 {1, 12, true, {1, 0, -1, -1}, 1, 12},
                 {0, 128, true, {0, 0, 0, 0}, 0, 0}};
    for (const auto& c : cases) {
        p.setPlaqueCells(c.plaque, c.open);
        SCOPED_TRACE(testing::Message() << c.plaque << "/" << c.open);
        EXPECT_EQ(p.hasPlaqueInput(), c.input);
        EXPECT_EQ((std::array{p.value(0), p.value(1), p.value(2), p.value(3)}), c.surfaces);
        EXPECT_EQ(std::pair(p.plaqueCell(), p.plaqueOpenCell()), std::pair(c.plaqueBack, c.openBack));
    }
}

TEST(ToothButton, ClicksHitOnlyTheSitesTheItemExaminesWhereTheyLieInTheMouth) {
    // Furcation cells offer only the sites their furcation kind examines.
    ToothButton f(2 * 32 + 3);
    f.setKind(ToothButton::KindSixSite);
    f.resize(72, 40);
    for (auto [furcation, sites] : {std::pair{3, std::array{0, -1, 2, -1, -1, -1}}, // upper premolar
                                    {16, std::array{-1, 1, -1, -1, 4, -1}}}) {      // lower molar
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

TEST(ToothButton, PaintsShadesMarksStatusAndTheCursor) {
    // Shades follow the item definition: white below 4 mm, greyer bands from 4 and 6 mm.
    CSubExam item;
    item.Mode = 3;
    for (auto [i, grey] : {std::pair{0, 255}, {1, 255}, {2, 224}, {3, 176}}) {
        item.setValueColor(i, i == 3 ? 0x0000C0FF : 0x000000FF);
        item.setBrightness(i, grey);
    }
    for (auto [i, part] : {std::pair{0, 1}, {1, 4}, {2, 6}})
        item.setGradationPart(i, part);
    ToothButton b(8);
    b.setKind(ToothButton::KindPocket);
    b.setColorsFrom(item);
    EXPECT_EQ(
        QList({b.colorByValue(3, 0), b.colorByValue(4, 0), b.colorByValue(6, 0), b.colorByValue(1, 3)}),
        QList({QColor(255, 255, 255), QColor(255, 224, 224), QColor(255, 176, 176), QColor(255, 192, 0)}));
    b.setValue(0, 0, 6);
    b.setValue(1, 0, 2);
    b.setValue(1, 1, 1); // bleeding
    b.setValue(2, 2, 1); // pus
    b.setEntryCursor(true, 4);
    const QImage img = paint(b);
    const QColor deep = b.colorByValue(6, 0), red(255, 0, 0), pus = b.colorByValue(1, 3),
                 cursor(0xff, 0xf1, 0x9c);
    const std::tuple<int, QColor, bool> painted[] = {{0, deep, true},   {1, deep, false}, {1, red, true},
                                                     {2, pus, true},    {2, red, false},  {4, cursor, true},
                                                     {3, cursor, false}};
    for (const auto& [site, colour, shown] : painted)
        EXPECT_EQ(hasColor(img, b.siteRect(site), colour), shown)
            << site << " " << colour.name().toStdString();

    // Missing, implant and pontic teeth look different from each other and from a tooth.
    ToothButton m(9);
    m.setKind(ToothButton::KindOneValue);
    QList<QColor> seen{paint(m).pixelColor(6, 6)};
    for (std::uint16_t st : {std::uint16_t(kMissingTooth), std::uint16_t(kImplant), std::uint16_t(kPontic)}) {
        m.setStatus(st);
        const QColor c = paint(m).pixelColor(m.width() / 2, 5);
        EXPECT_FALSE(seen.contains(c)) << std::hex << st;
        seen << c;
    }
}
