// The one place the program reads the wall clock. Tests replace the source so
// that schedules can be driven without waiting for real minutes.
#pragma once

#include <chrono>
#include <functional>

namespace rtl {

using TimePoint = std::chrono::system_clock::time_point;
using TimeSource = std::function<TimePoint()>;

// The current time: the machine's clock unless a test has set a source.
TimePoint Now();

// Replaces the time source; an empty function restores the machine's clock.
void SetTimeSource(TimeSource source);

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

// Shorthand for ToLocal(Now()).
LocalTime LocalNow();

}  // namespace rtl
