// How much processor time the one-second pumping wait uses. It should sleep
// on the message queue, so the figure is a few milliseconds per second, not
// a second. Run: scripts/bench
#include <windows.h>

#include <cstdio>

#include "rtl/Application.h"
#include "rtl/Timer.h"

namespace {
double CpuMilliseconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME& t) {
        ULARGE_INTEGER v;
        v.LowPart = t.dwLowDateTime;
        v.HighPart = t.dwHighDateTime;
        return static_cast<double>(v.QuadPart) / 10000.0;
    };
    return ms(kernel) + ms(user);
}
}  // namespace

int main() {
    rtl::Application().SetTitle("Teskaprs");
    rtl::Application().Initialize();
    const int rounds = 5;
    for (int withTimer = 0; withTimer < 2; ++withTimer) {
        // With a 100 ms timer the wait also serves ten messages a second.
        rtl::TTimer timer(100, withTimer != 0);
        int ticks = 0;
        timer.SetOnTimer([&] { ++ticks; });
        const double cpuBefore = CpuMilliseconds();
        const ULONGLONG wallBefore = GetTickCount64();
        for (int i = 0; i < rounds; ++i) rtl::PumpMessagesFor(1000);
        const double cpu = CpuMilliseconds() - cpuBefore;
        const ULONGLONG wall = GetTickCount64() - wallBefore;
        std::printf("PumpMessagesFor(1000) x %d %s: wall %llu ms, CPU %.1f ms (%.2f ms per second waited), %d timer messages\n",
                    rounds, withTimer ? "with a 100 ms timer" : "idle queue", wall, cpu, cpu / rounds, ticks);
    }
    return 0;
}
