// The upload schedule's rules.
#pragma once

#include <string>

namespace upload {

// The minute digit at which the schedule is aligned, from the callsign as
// typed: 1 when empty; the last character's value when it is a digit;
// otherwise that character's code modulo 10.
int StartDigitOf(const std::string& callsign);

}  // namespace upload
