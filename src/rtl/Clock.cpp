#include "rtl/Clock.h"

#include <time.h>

#include <algorithm>
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

namespace {

// Minutes the local clock is ahead of UTC at t.
int OffsetAt(TimePoint t) {
    using namespace std::chrono;
    const auto civil = [](const LocalTime& l) {
        return sys_days(year(l.year) / l.month / l.day) + hours(l.hour) + minutes(l.minute);
    };
    return static_cast<int>(duration_cast<minutes>(civil(ToLocal(t)) - civil(ToUtc(t))).count());
}

}  // namespace

std::vector<int> ZoneOffsets(TimePoint t) {
    using namespace std::chrono;
    std::vector<int> offsets{OffsetAt(t)};
    const int y = ToUtc(t).year;
    for (const month m : {January, July}) {
        const int offset = OffsetAt(sys_days(year(y) / m / 15));
        if (std::find(offsets.begin(), offsets.end(), offset) == offsets.end()) offsets.push_back(offset);
    }
    return offsets;
}

LocalTime LocalNow() { return ToLocal(Now()); }

}  // namespace rtl
