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

long long MinutesSince(rtl::TimePoint alignedAt, rtl::TimePoint now) {
    const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - alignedAt).count();
    const long long minute = kScheduleTickMs;
    // Rounded half up, also before the alignment (a clock set back).
    const long long shifted = ms + minute / 2;
    return shifted >= 0 ? shifted / minute : -((minute - 1 - shifted) / minute);
}

bool CountMinutes(int& minuteCounter, int interval, std::optional<long long>& countedMinute, long long minute) {
    const long long passed = countedMinute ? minute - *countedMinute : 1;
    const long long advance = passed < 1 ? 1 : passed;
    countedMinute = minute;
    const long long count = static_cast<long long>(minuteCounter) + advance;
    if (count < interval) {
        minuteCounter = static_cast<int>(count);
        return false;
    }
    // Which of the minutes counted now was due, and how long ago that was.
    const long long due = minuteCounter >= interval ? 1 : interval - minuteCounter;
    const long long late = advance - due;
    minuteCounter = interval > 0 ? static_cast<int>(late % interval) : 0;
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
