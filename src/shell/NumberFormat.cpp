#include "NumberFormat.h"

#include <charconv>
#include <cmath>
#include <string>

namespace kvr {

QString formatFixed(double value, int decimals, bool leadingZero) {
    if (!std::isfinite(value)) return QStringLiteral("0");
    if (decimals < 0) decimals = 0;
    const bool negative = value < 0;

    // Digits of the magnitude scaled by 10^decimals, as a decimal digit string.
    std::string scaled;
    if (value == 0) {
        scaled = "0";
    } else {
        // 15 significant digits: "d.dddddddddddddde+XX".
        char buf[64];
        const auto res =
            std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 14);
        const std::string text(buf, res.ptr);
        const std::size_t ePos = text.find('e');
        std::string digits = text.substr(0, 1) + text.substr(2, ePos - 2); // 15 digits
        const int exponent = std::stoi(text.substr(ePos + 1));
        // digits[0] stands at 10^exponent; keep those down to 10^-decimals.
        const int keep = exponent + 1 + decimals;
        if (keep < 0) {
            scaled = "0";
        } else if (keep >= int(digits.size())) {
            scaled = digits + std::string(keep - digits.size(), '0');
        } else {
            scaled = digits.substr(0, keep);
            if (digits[keep] >= '5') { // half away from zero
                int i = int(scaled.size()) - 1;
                while (i >= 0 && scaled[i] == '9')
                    scaled[i--] = '0';
                if (i >= 0)
                    ++scaled[i];
                else
                    scaled.insert(scaled.begin(), '1');
            }
            if (scaled.empty()) scaled = "0";
        }
    }
    const std::size_t nz = scaled.find_first_not_of('0');
    scaled = nz == std::string::npos ? std::string("0") : scaled.substr(nz);
    const bool zero = scaled == "0";

    if (scaled.size() < std::size_t(decimals) + 1) scaled.insert(0, decimals + 1 - scaled.size(), '0');
    std::string intPart = scaled.substr(0, scaled.size() - decimals);
    const std::string fraction = scaled.substr(scaled.size() - decimals);
    if (!leadingZero && intPart == "0" && decimals > 0) intPart.clear();

    std::string out = (negative && !zero ? "-" : "") + intPart;
    if (decimals > 0) out += "." + fraction;
    return QString::fromStdString(out);
}

} // namespace kvr
