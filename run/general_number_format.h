#pragma once

// Numbers in general notation with six significant digits, written the same
// on every platform: exponents always carry a sign and at least three digits
// ("1e+006", "1.23457e-005"), the form the trial list has always had on the
// host's platform. Files written by our runs must compare equal byte for byte
// wherever they were made, so the exponent is formed here and not left to the
// C library, whose exponent width differs between platforms.

#include <string>

// Like a default-formatted stream: the shorter of fixed and exponent notation
// as general notation chooses it, trailing zeros and a trailing point
// removed. Infinities and not-a-number give "inf", "-inf" and "nan".
std::string formatGeneralSixDigits(double value);
