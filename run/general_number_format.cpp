#include "run/general_number_format.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int kSignificantDigits = 6;

// The six significant digits of |value|, correctly rounded, and the decimal
// exponent of the first of them. The C library rounds correctly; only the way
// it writes exponents differs between platforms, and that is not used here.
void roundToSignificantDigits(double magnitude, std::string* digits, int* exponent) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*e", kSignificantDigits - 1, magnitude);
    // text is "d.ddddde<sign><digits>"
    digits->assign(1, text[0]);
    digits->append(text + 2, kSignificantDigits - 1);
    *exponent = static_cast<int>(std::strtol(text + 2 + (kSignificantDigits - 1) + 1, nullptr, 10));
}

void dropTrailingZeros(std::string* fraction) {
    while (!fraction->empty() && fraction->back() == '0') fraction->pop_back();
}

std::string exponentText(int exponent) {
    std::string text = exponent < 0 ? "e-" : "e+";
    std::string magnitude = std::to_string(exponent < 0 ? -exponent : exponent);
    if (magnitude.size() < 3) text.append(3 - magnitude.size(), '0');
    return text + magnitude;
}

}  // namespace

std::string formatGeneralSixDigits(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";

    std::string text = std::signbit(value) ? "-" : "";
    if (value == 0.0) return text + "0";

    std::string digits;
    int exponent = 0;
    roundToSignificantDigits(std::fabs(value), &digits, &exponent);

    if (exponent < -4 || exponent >= kSignificantDigits) {
        std::string fraction = digits.substr(1);
        dropTrailingZeros(&fraction);
        text += digits[0];
        if (!fraction.empty()) text += "." + fraction;
        return text + exponentText(exponent);
    }
    // Fixed notation with the same six significant digits.
    std::string integerPart;
    std::string fraction;
    if (exponent >= 0) {
        integerPart = digits.substr(0, static_cast<std::size_t>(exponent) + 1);
        fraction = digits.substr(static_cast<std::size_t>(exponent) + 1);
    } else {
        integerPart = "0";
        fraction = std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    }
    dropTrailingZeros(&fraction);
    text += integerPart;
    if (!fraction.empty()) text += "." + fraction;
    return text;
}
