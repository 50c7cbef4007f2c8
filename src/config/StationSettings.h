// The station's settings fields: the ranges of its integer spin fields. How
// a spin field's text is read, clamped and shown is the spin fields' own
// rule (rtl/SpinRules.h).
#pragma once

#include <string>

#include "rtl/SpinRules.h"
#include "rtl/Text.h"

namespace settings {

using rtl::IntRange;
inline constexpr IntRange kIntervalRange{10, 999};
inline constexpr IntRange kDegreesRange{0, 180};
inline constexpr IntRange kMinutesRange{0, 59};

// A validation number saved blank, as earlier versions could, means no
// number at all: -1, as a CWOP station logs in.
inline std::string RestoredValidation(const std::string& stored) {
    return rtl::Trimmed(stored).empty() ? "-1" : stored;
}

}  // namespace settings
