// The processor time the benchmarks measure: a thread's or the whole
// process's, user and kernel together, in milliseconds.
#pragma once

#include <windows.h>

namespace bench {

inline double Milliseconds(const FILETIME& t) {
    ULARGE_INTEGER v;
    v.LowPart = t.dwLowDateTime;
    v.HighPart = t.dwHighDateTime;
    return static_cast<double>(v.QuadPart) / 10000.0;
}
inline double ThreadCpu(HANDLE thread) {
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(thread, &created, &exited, &kernel, &user)) return -1;
    return Milliseconds(kernel) + Milliseconds(user);
}
inline double ProcessCpu() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    return Milliseconds(kernel) + Milliseconds(user);
}

}  // namespace bench
