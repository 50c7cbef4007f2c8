#include "upload/Scheduler.h"

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

}  // namespace upload
