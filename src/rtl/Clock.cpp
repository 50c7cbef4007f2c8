#include "rtl/Clock.h"

#include <ctime>
#include <utility>

namespace rtl {

namespace {
TimeSource& Source() {
    static TimeSource source;
    return source;
}
}  // namespace

TimePoint Now() {
    const TimeSource& source = Source();
    return source ? source() : std::chrono::system_clock::now();
}

void SetTimeSource(TimeSource source) { Source() = std::move(source); }

LocalTime ToLocal(TimePoint t) {
    std::time_t seconds = std::chrono::system_clock::to_time_t(t);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &seconds);
#else
    localtime_r(&seconds, &tm);
#endif
    LocalTime local;
    local.year = tm.tm_year + 1900;
    local.month = tm.tm_mon + 1;
    local.day = tm.tm_mday;
    local.hour = tm.tm_hour;
    local.minute = tm.tm_min;
    local.second = tm.tm_sec;
    return local;
}

LocalTime LocalNow() { return ToLocal(Now()); }

}  // namespace rtl
