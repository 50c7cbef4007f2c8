// The one place the program reads the clocks: the wall clock, and the
// monotonic clock that waits are measured on (it never jumps when the wall
// clock is set). Tests replace either source so that schedules and waits
// can be driven without waiting for real minutes.
#pragma once

#include <chrono>
#include <functional>
#include <vector>

namespace rtl {

using TimePoint = std::chrono::system_clock::time_point;
using TimeSource = std::function<TimePoint()>;

// The current time: the machine's clock unless a test has set a source.
TimePoint Now();

// Replaces the time source; an empty function restores the machine's clock.
void SetTimeSource(TimeSource source);

using MonotonicPoint = std::chrono::steady_clock::time_point;
using MonotonicSource = std::function<MonotonicPoint()>;

// The monotonic clock: the machine's unless a test has set a source.
MonotonicPoint MonotonicNow();
// Replaces the monotonic source; an empty function restores the machine's.
void SetMonotonicSource(MonotonicSource source);

struct LocalTime {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0;
};

// The local calendar time of a point in time.
LocalTime ToLocal(TimePoint t);
// The same in UTC (the fields mean the same, in UTC).
LocalTime ToUtc(TimePoint t);

// The system's time zone may have changed: local times follow it from now
// on (the C runtime keeps the zone it read first until told).
void TimeZoneChanged();

// The zone's offsets east of UTC, in minutes: the one in force at t first,
// then those in force in January and in July of its year (its standard and
// daylight offsets), each once.
std::vector<int> ZoneOffsets(TimePoint t);

// Shorthand for ToLocal(Now()).
LocalTime LocalNow();

}  // namespace rtl
