#include "config/StationSettings.h"

#include <cmath>

#include "rtl/Text.h"

namespace settings {

int ReadIntegerField(const std::string& text, int fieldMin) {
    int value = 0;
    return rtl::TryStrToInt(text, value) ? value : fieldMin;
}

int ClampInteger(long long value, IntRange range) {
    if (value < range.min) return range.min;
    if (value > range.max) return range.max;
    return static_cast<int>(value);
}

long double ReadDecimalField(const std::string& text, char decimalSeparator) {
    long double value = 0;
    return rtl::TryStrToFloat(text, decimalSeparator, value) ? value : 0.0L;
}

long double ClampSeconds(long double value) {
    if (std::isnan(value) || value <= kSecondsMin) return kSecondsMin;  // also turns -0 into 0
    if (value > kSecondsMax) return kSecondsMax;
    return value;
}

std::string FormatSeconds(long double value, char decimalSeparator) {
    return rtl::FormatFixed(value, 3, decimalSeparator);
}

}  // namespace settings
