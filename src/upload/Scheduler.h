// The upload schedule's rules.
#pragma once

#include <optional>
#include <string>

#include "rtl/Clock.h"

namespace upload {

// The alignment check runs once a minute until the start minute comes; the
// schedule then catches up at ten ticks a second and runs at one tick a
// minute from its first upload on (each period set so that the tick comes
// back to the aligned second: NextTickPeriod).
inline constexpr unsigned kAlignCheckMs = 60000;
inline constexpr unsigned kCatchUpTickMs = 100;
inline constexpr unsigned kScheduleTickMs = 60000;

// The minute digit at which the schedule is aligned, from the callsign as
// typed: 1 when empty; the last character's value when it is a digit;
// otherwise that character's code modulo 10.
int StartDigitOf(const std::string& callsign);

// Whether a minute of the local clock (0..59) is a start minute: its last
// digit is the start digit.
bool IsStartMinute(int minute, int startDigit);

// One tick of the schedule: counts it, and when the count has reached the
// interval (read afresh at every tick, so a lowered interval uploads at the
// next tick) starts the count again and says that this tick uploads.
bool CountTick(int& minuteCounter, int interval);

// The whole minutes from the alignment to a tick (to the nearest minute, as
// NextTickPeriod counts a tick late by half a minute or more as an early one
// of the next minute).
long long MinutesSince(rtl::TimePoint alignedAt, rtl::TimePoint now);

// One tick of the running schedule, at minute (MinutesSince) of its
// alignment. It counts the whole minutes since the tick counted before
// (countedMinute, none yet: one), at least one, so that a tick that came
// late, or one that never came, cannot shift the count for good, and a clock
// set back never stalls it. When the count reaches the interval the tick
// uploads, and the count starts again from the minute that was due: a late
// tick's upload leaves the next one at its minute. An interval lowered below
// the count uploads at once and starts the count afresh.
bool CountMinutes(int& minuteCounter, int interval, std::optional<long long>& countedMinute, long long minute);

// The period until the next one-minute tick, so that it comes at the second
// of the minute at which the alignment matched: a periodic timer only ever
// runs late, and its lateness would add up to whole minutes. A tick late by
// less than half a minute gets a shorter period, an early one a longer
// period: 30,001 to 90,000 ms.
unsigned NextTickPeriod(rtl::TimePoint alignedAt, rtl::TimePoint now);

}  // namespace upload
