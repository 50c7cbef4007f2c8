#include "rtl/Clock.h"

#include <time.h>

#include <ctime>
#include <utility>

namespace rtl {

namespace {
TimeSource& Source() {
    static TimeSource source;
    return source;
}
MonotonicSource& Monotonic() {
    static MonotonicSource source;
    return source;
}
}  // namespace

TimePoint Now() {
    const TimeSource& source = Source();
    return source ? source() : std::chrono::system_clock::now();
}

void SetTimeSource(TimeSource source) { Source() = std::move(source); }

MonotonicPoint MonotonicNow() {
    const MonotonicSource& source = Monotonic();
    return source ? source() : std::chrono::steady_clock::now();
}

void SetMonotonicSource(MonotonicSource source) { Monotonic() = std::move(source); }

namespace {

LocalTime FromTm(const std::tm& tm) {
    LocalTime time;
    time.year = tm.tm_year + 1900;
    time.month = tm.tm_mon + 1;
    time.day = tm.tm_mday;
    time.hour = tm.tm_hour;
    time.minute = tm.tm_min;
    time.second = tm.tm_sec;
    return time;
}

}  // namespace

LocalTime ToLocal(TimePoint t) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(t);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &seconds);
#else
    localtime_r(&seconds, &tm);
#endif
    return FromTm(tm);
}

LocalTime ToUtc(TimePoint t) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(t);
    std::tm tm{};
#ifdef _WIN32
    gmtime_s(&tm, &seconds);
#else
    gmtime_r(&seconds, &tm);
#endif
    return FromTm(tm);
}

void TimeZoneChanged() {
#ifdef _WIN32
    _tzset();
#else
    tzset();
#endif
}

LocalTime LocalNow() { return ToLocal(Now()); }

}  // namespace rtl
