// The settings fields' readers and the seconds' text: any text reads without
// a failure, and what a field shows reads back as the same value.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "config/StationSettings.h"
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
        Check(settings::ReadIntegerField(text, 10) == 10);
    }

    for (char separator : {'.', ','}) {
        const long double value = settings::ReadDecimalField(text, separator);
        Check(std::isfinite(value));
        const long double clamped = settings::ClampSeconds(value);
        Check(clamped >= settings::kSecondsMin && clamped <= settings::kSecondsMax);
        const std::string shown = settings::FormatSeconds(clamped, separator);
        const long double read = settings::ReadDecimalField(shown, separator);
        Check(settings::FormatSeconds(read, separator) == shown);
        Check(std::fabs(read - clamped) <= 0.0005L + 1e-12L);
        const long long h = upload::Hundredths(clamped);
        Check(h >= 0 && h <= 100);
        // Any value at all formats and rounds without overflow.
        (void)rtl::FormatFixed(value, 3, separator);
        (void)upload::Hundredths(value);
    }
    return 0;
}
