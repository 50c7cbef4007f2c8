// System libraries loaded at run time from the system folder only, and
// functions bound by name.
#pragma once

#include <windows.h>

namespace rtl {

// The system's own copy of the library (e.g. "version.dll"), never one of
// the same name beside the program or in the current folder; nullptr when
// it cannot be loaded (GetLastError tells why).
HMODULE LoadSystemLibrary(const char* name);

// The function the module exports under that name, as the type Function;
// nullptr when the module is null or has no such function (an older
// Windows).
template <typename Function>
Function BoundFunction(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

// Restricts the process's own search for libraries loaded by name to the
// system folder, for every later load (the program's folder and the current
// one are no longer looked in). Done first at start, before any dialog or
// shell call can load a library by name. On Windows 7 without the update
// that brought the restriction, only the current folder is taken out.
void RestrictDllSearch();

}  // namespace rtl
