// The settings fields' readers and the seconds' text: any text reads without
// a failure, and what a field shows reads back as the same value.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "rtl/SpinRules.h"
#include "rtl/Text.h"
#include "upload/Packet.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    int integer = 0;
    if (rtl::TryStrToInt(text, integer)) {
        int again = 0;
        Check(rtl::TryStrToInt(rtl::Decimal(integer), again) && again == integer);
        Check(text.find_first_not_of(" \t+-0123456789") == std::string::npos);
    } else {
        Check(rtl::ReadIntegerField(text, 10) == 10);
    }

    for (char separator : {'.', ','}) {
        const long double value = rtl::ReadDecimalField(text, separator);
        Check(std::isfinite(value));
        const long double clamped = rtl::ClampSeconds(value);
        Check(clamped >= rtl::kSecondsMin && clamped <= rtl::kSecondsMax);
        const std::string shown = rtl::FormatSeconds(clamped, separator);
        const long double read = rtl::ReadDecimalField(shown, separator);
        Check(rtl::FormatSeconds(read, separator) == shown);
        Check(std::fabs(read - clamped) <= 0.0005L + 1e-12L);
        // A change of the locale's separator rewrites the text, never its value.
        const char other = separator == '.' ? ',' : '.';
        const std::string rewritten = rtl::ResetDecimalSeparator(text, separator, other);
        long double before = 0;
        if (rtl::TryStrToFloat(text, separator, before)) {
            long double after = 0;
            Check(rtl::TryStrToFloat(rewritten, other, after) && after == before);
        } else {
            Check(rewritten == text);
        }
        const long long h = upload::Hundredths(clamped);
        Check(h >= 0 && h <= 100);
        // Any value at all formats and rounds without overflow.
        (void)rtl::FormatFixed(value, 3, separator);
        (void)upload::Hundredths(value);
    }
    return 0;
}
