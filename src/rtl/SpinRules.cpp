#include "rtl/SpinRules.h"

#include <cmath>

#include "rtl/Text.h"

namespace rtl {

int ReadIntegerField(const std::string& text, int fieldMin) {
    int value = 0;
    return TryStrToInt(text, value) ? value : fieldMin;
}

int ClampInteger(long long value, IntRange range) {
    if (value < range.min) return range.min;
    if (value > range.max) return range.max;
    return static_cast<int>(value);
}

long double ReadDecimalField(const std::string& text, char decimalSeparator) {
    long double value = 0;
    return TryStrToFloat(text, decimalSeparator, value) ? value : 0.0L;
}

long double ClampSeconds(long double value) {
    if (std::isnan(value) || value <= kSecondsMin) return kSecondsMin;  // also turns -0 into 0
    if (value > kSecondsMax) return kSecondsMax;
    return value;
}

std::string FormatSeconds(long double value, char decimalSeparator) {
    return FormatFixed(value, 3, decimalSeparator);
}

std::string ResetDecimalSeparator(const std::string& text, char oldSeparator, char newSeparator) {
    long double before = 0;
    if (oldSeparator == newSeparator || !TryStrToFloat(text, oldSeparator, before)) return text;
    std::string rewritten = text;
    for (char& c : rewritten)
        if (c == oldSeparator) c = newSeparator;
    long double after = 0;
    if (!TryStrToFloat(rewritten, newSeparator, after) || after != before) return text;
    return rewritten;
}

}  // namespace rtl
