#include "rtl/Text.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace rtl {

std::string Substring(const std::string& text, long long start, long long count) {
    if (start < 1) start = 1;
    const long long length = static_cast<long long>(text.size());
    if (count <= 0 || start > length) return {};
    const long long available = length - start + 1;
    return text.substr(static_cast<std::size_t>(start - 1),
                       static_cast<std::size_t>(count < available ? count : available));
}

long long Find(char marker, const std::string& text) {
    const std::size_t at = text.find(marker);
    return at == std::string::npos ? 0 : static_cast<long long>(at) + 1;
}

std::string Last(const std::string& text, long long n) {
    return Substring(text, static_cast<long long>(text.size()) - n + 1, n);
}

bool IsControl(char c) {
    const auto code = static_cast<unsigned char>(c);
    return code < 32 || code == 127;
}

std::string Trimmed(const std::string& text) {
    auto blank = [](char c) { return c == ' ' || IsControl(c); };
    std::size_t first = 0, end = text.size();
    while (first < end && blank(text[first])) ++first;
    while (end > first && blank(text[end - 1])) --end;
    return text.substr(first, end - first);
}

std::string WithoutControls(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (!IsControl(c)) out += c;
    return out;
}

std::string Decimal(long long value) {
    // Built from the magnitude as unsigned, so the most negative value works.
    unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                             : static_cast<unsigned long long>(value);
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    std::string out = value < 0 ? "-" : "";
    while (n > 0) out += digits[--n];
    return out;
}

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The text without the blanks around it.
void SkipBlanks(const std::string& text, std::size_t& first, std::size_t& end) {
    first = 0;
    end = text.size();
    while (first < end && IsBlank(text[first])) ++first;
    while (end > first && IsBlank(text[end - 1])) --end;
}

// 10^n for 0 <= n <= 27 is exact in a 64-bit mantissa; beyond that the
// product carries a rounding error far below anything the fields show.
long double PowerOfTen(int n) {
    long double result = 1.0L;
    long double base = 10.0L;
    while (n > 0) {
        if (n & 1) result *= base;
        base *= base;
        n >>= 1;
    }
    return result;
}

}  // namespace

bool TryStrToInt(const std::string& text, int& value) {
    std::size_t i, end;
    SkipBlanks(text, i, end);
    bool negative = false;
    if (i < end && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == end) return false;
    // Accumulate the magnitude; one past INT_MAX is allowed for INT_MIN.
    const long long limit = static_cast<long long>(std::numeric_limits<int>::max()) + (negative ? 1 : 0);
    long long magnitude = 0;
    for (; i < end; ++i) {
        if (!IsDigit(text[i])) return false;
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > limit) return false;
    }
    value = static_cast<int>(negative ? -magnitude : magnitude);
    return true;
}

bool TryStrToFloat(const std::string& text, char decimalSeparator, long double& value) {
    std::size_t i, end;
    SkipBlanks(text, i, end);
    bool negative = false;
    if (i < end && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

    // Up to 19 significant digits are kept exactly; the rest only move the
    // decimal exponent.
    std::uint64_t mantissa = 0;
    int kept = 0;
    long long exponent = 0;
    bool anyDigit = false, seenSeparator = false;
    for (; i < end; ++i) {
        const char c = text[i];
        if (IsDigit(c)) {
            anyDigit = true;
            if (mantissa == 0 && c == '0') {
                if (seenSeparator) --exponent;  // leading zeros of a fraction
            } else if (kept < 19) {
                mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
                ++kept;
                if (seenSeparator) --exponent;
            } else if (!seenSeparator) {
                ++exponent;  // an integer digit beyond what is kept
            }
        } else if (c == decimalSeparator && !seenSeparator) {
            seenSeparator = true;
        } else {
            break;
        }
    }
    if (!anyDigit) return false;

    if (i < end) {
        if (text[i] != 'E' && text[i] != 'e') return false;
        ++i;
        bool negativeExponent = false;
        if (i < end && (text[i] == '+' || text[i] == '-')) negativeExponent = text[i++] == '-';
        if (i == end) return false;
        long long written = 0;
        for (; i < end; ++i) {
            if (!IsDigit(text[i])) return false;
            if (written < 1000000) written = written * 10 + (text[i] - '0');  // saturates
        }
        exponent += negativeExponent ? -written : written;
    }

    long double result = static_cast<long double>(mantissa);
    if (mantissa != 0) {
        // A long double holds about 1e-4951 .. 1e4932; anything further out
        // is zero or infinite anyway.
        if (exponent > 5000) return false;
        if (exponent < -5000) {
            result = 0.0L;
        } else if (exponent >= 0) {
            result *= PowerOfTen(static_cast<int>(exponent));
        } else if (exponent >= -4900) {
            result /= PowerOfTen(static_cast<int>(-exponent));
        } else {
            // 10^4900 and beyond would overflow: divide in two steps.
            result /= PowerOfTen(4900);
            result /= PowerOfTen(static_cast<int>(-exponent - 4900));
        }
        if (std::isinf(result)) return false;
    }
    value = negative ? -result : result;
    if (value == 0.0L) value = 0.0L;  // no negative zero
    return true;
}

std::string FormatFixed(long double value, int decimals, char decimalSeparator) {
    if (decimals < 0) decimals = 0;
    if (decimals > 9) decimals = 9;
    if (std::isnan(value)) value = 0.0L;
    const long double scale = PowerOfTen(decimals);
    // The scaled magnitude stays below 1e18, which 64 bits hold exactly.
    const long double limit = 1e18L / scale;
    if (value > limit) value = limit;
    if (value < -limit) value = -limit;
    const auto scaled = static_cast<unsigned long long>(std::round(std::fabs(value) * scale));
    const auto unit = static_cast<unsigned long long>(scale);
    std::string out = (value < 0 && scaled != 0) ? "-" : "";
    out += Decimal(static_cast<long long>(scaled / unit));
    if (decimals > 0) {
        std::string fraction = Decimal(static_cast<long long>(scaled % unit));
        out += decimalSeparator;
        out += std::string(static_cast<std::size_t>(decimals) - fraction.size(), '0') + fraction;
    }
    return out;
}

}  // namespace rtl
