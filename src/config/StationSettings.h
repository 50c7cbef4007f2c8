// The station's settings fields: the ranges of its integer spin fields. How
// a spin field's text is read, clamped and shown is the spin fields' own
// rule (rtl/SpinRules.h).
#pragma once

#include "rtl/SpinRules.h"

namespace settings {

using rtl::IntRange;
inline constexpr IntRange kIntervalRange{10, 999};
inline constexpr IntRange kDegreesRange{0, 180};
inline constexpr IntRange kMinutesRange{0, 59};

}  // namespace settings
