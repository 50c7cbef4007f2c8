#include "upload/Scheduler.h"

namespace upload {

int StartDigitOf(const std::string& callsign) {
    if (callsign.empty()) return 1;
    const unsigned char last = static_cast<unsigned char>(callsign.back());
    if (last >= '0' && last <= '9') return last - '0';
    return last % 10;
}

}  // namespace upload
