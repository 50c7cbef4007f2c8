#include "upload/Scheduler.h"

#include <chrono>
#include <limits>

namespace upload {

int StartDigitOf(const std::string& callsign) {
    if (callsign.empty()) return 1;
    const unsigned char last = static_cast<unsigned char>(callsign.back());
    if (last >= '0' && last <= '9') return last - '0';
    return last % 10;
}

bool IsStartMinute(int minute, int startDigit) { return minute % 10 == startDigit; }

bool CountTick(int& minuteCounter, int interval) {
    if (minuteCounter < std::numeric_limits<int>::max()) ++minuteCounter;
    if (minuteCounter < interval) return false;
    minuteCounter = 0;
    return true;
}

unsigned NextTickPeriod(rtl::TimePoint alignedAt, rtl::TimePoint now) {
    const long long minute = kScheduleTickMs;
    long long late = std::chrono::duration_cast<std::chrono::milliseconds>(now - alignedAt).count() % minute;
    if (late < 0) late += minute;
    if (late >= minute / 2) late -= minute;
    return static_cast<unsigned>(minute - late);
}

}  // namespace upload
