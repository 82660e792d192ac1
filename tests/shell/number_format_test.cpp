#include "shell/NumberFormat.h"

#include <gtest/gtest.h>

using kvr::formatFixed;

TEST(NumberFormatTest, RoundsHalfAwayFromZeroOnTheDecimalValue) {
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {
        {12.25, "12.3"}, // printf("%.1f") gives 12.2 (round half to even)
        {0.05, "0.1"},   // the double is 0.05000000000000000277
        {0.15, "0.2"},   // the double is 0.14999999999999999445
        {2.0 / 3.0 * 100, "66.7"},
        {1.0 / 3.0 * 100, "33.3"},
        {12.5, "12.5"},
        {0, "0.0"},
        {0.04, "0.0"},
        {9.95, "10.0"}, // the carry runs into a new digit
        {99.96, "100.0"},
        {1.0 / 8 * 100, "12.5"},
        {0.1 + 0.2, "0.3"},
        {1234.55, "1234.6"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(formatFixed(c.value, 1), QString(c.text)) << c.value;
}

TEST(NumberFormatTest, OtherPlacesSignsAndTheHashPattern) {
    EXPECT_EQ(formatFixed(2.675, 2), "2.68");
    EXPECT_EQ(formatFixed(2.5, 0), "3");
    EXPECT_EQ(formatFixed(0.4, 0), "0");
    EXPECT_EQ(formatFixed(-12.25, 1), "-12.3");
    EXPECT_EQ(formatFixed(-0.04, 1), "0.0");
    EXPECT_EQ(formatFixed(0.5, 1, false), ".5");
    EXPECT_EQ(formatFixed(10.5, 1, false), "10.5");
    EXPECT_EQ(formatFixed(1e-20, 1), "0.0");
    EXPECT_EQ(formatFixed(123456789012.0, 1), "123456789012.0");
}
