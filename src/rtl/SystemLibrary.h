// System libraries loaded at run time from the system folder only.
#pragma once

#include <windows.h>

namespace rtl {

// The system's own copy of the library (e.g. "version.dll"), never one of
// the same name beside the program or in the current folder; nullptr when
// it cannot be loaded (GetLastError tells why).
HMODULE LoadSystemLibrary(const char* name);

}  // namespace rtl
