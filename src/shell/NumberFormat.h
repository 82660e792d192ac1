// Fixed-point number texts of the sheets and screens ("0.0", "#0.0").
//
// Rounding rule: the value is first taken as its decimal text of 15 significant
// digits (the precision a double holds reliably), and that decimal number is
// rounded half away from zero at the last shown place. So 12.25 gives "12.3",
// 0.05 gives "0.1" and 2/3 * 100 gives "66.7", although the nearest doubles of
// 12.25 +/- tiny errors and of 0.05 (0.05000000000000000277) would round
// differently under the C library's binary round-half-even. See docs/rounding.md.
#pragma once

#include <QString>

namespace kvr {

// Text of value with exactly `decimals` digits after the point, rounded as above.
// leadingZero true gives "0.5" (patterns "0.0" and "#0.0", which print the same
// for every value here); false gives ".5" (pattern "#.0"). A negative value that
// rounds to zero is shown without its sign. NaN and infinities give "0".
QString formatFixed(double value, int decimals, bool leadingZero = true);

} // namespace kvr
