// Number texts round half away from zero on the decimal value; printf's "%.1f" rounds
// the binary value half to even and gives "12.2" for 12.25.
#include "shell/NumberFormat.h"

#include <gtest/gtest.h>

TEST(NumberFormatTest, RoundsHalfAwayFromZeroOnTheDecimalValue) {
    struct Case {
        double value;
        int decimals;
        bool leadingZero;
        const char* text;
    };
    const Case cases[] = {
        {12.25, 1, true, "12.3"},
        {0.05, 1, true, "0.1"}, // the double is 0.05000000000000000277
        {0.15, 1, true, "0.2"}, // the double is 0.14999999999999999445
        {2.0 / 3.0 * 100, 1, true, "66.7"},
        {0.04, 1, true, "0.0"},
        {9.95, 1, true, "10.0"}, // the carry runs into a new digit
        {1234.55, 1, true, "1234.6"},
        {123456789012.0, 1, true, "123456789012.0"},
        {2.675, 2, true, "2.68"},
        {2.5, 0, true, "3"},
        {0.4, 0, true, "0"},
        {-12.25, 1, true, "-12.3"},
        {-0.04, 1, true, "0.0"}, // a rounded zero has no sign
        {0.5, 1, false, ".5"},
        {10.5, 1, false, "10.5"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(kvr::formatFixed(c.value, c.decimals, c.leadingZero), QString(c.text)) << c.value;
}
