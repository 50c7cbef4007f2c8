// Value rules of the spin fields, as far as they need no window: how the text
// of an integer or a decimal (seconds) spin field is read, clamped and shown.
#pragma once

#include <string>

namespace rtl {

// Range of an integer spin field.
struct IntRange {
    int min;
    int max;
};
// Range of the decimal spin field (seconds).
inline constexpr long double kSecondsMin = 0.0L;
inline constexpr long double kSecondsMax = 59.999L;

// Integer spin field: the text as a decimal integer (optional sign, blanks
// around it allowed; no hexadecimal, no decimal part); text that is not a
// valid integer, or does not fit an int, reads as the field's minimum.
// Reading does not clamp: "200" reads as 200 in a 0..180 field.
int ReadIntegerField(const std::string& text, int fieldMin);

// Integer spin field, set value: clamps into the range.
int ClampInteger(long long value, IntRange range);

// Decimal spin field: the text as a floating-point number written with the
// given decimal separator (blanks around it, an optional sign and exponent:
// "1.5", "-2", "1,5E1" with ","); anything else, a number too large for a
// long double included, reads as 0. Reading does not clamp.
long double ReadDecimalField(const std::string& text, char decimalSeparator);

// Decimal spin field, set value: clamps into 0 .. 59.999 (a NaN gives 0).
long double ClampSeconds(long double value);

// Decimal spin field, shown text: fixed-point with 3 decimals ("0.000"),
// rounded to the nearest thousandth.
std::string FormatSeconds(long double value, char decimalSeparator);

// The field's text rewritten for a new decimal separator, with the value it
// reads as unchanged: the separator it was written with becomes the new one.
// Text that does not read as a number under the old separator, or would read
// differently under the new one, is returned unchanged.
std::string ResetDecimalSeparator(const std::string& text, char oldSeparator, char newSeparator);

}  // namespace rtl
