// What the installer test asks of Windows inside its Wine prefix, about the
// program's main window (class "TForm1", title "Teskaprs") and its process:
//   wincheck visible MS   exit 0 once such a window is on screen, 1 after MS ms
//   wincheck gone MS [NAME...]  exit 0 once no such window is left and no
//                         process of teskaprs.exe or of a NAME (a leading part
//                         of a program file's name: "Un_" for "Un_A.exe"),
//                         1 after MS ms
//   wincheck close        asks such a window to close (WM_CLOSE)
//   wincheck pid          prints the process id of such a window (1: none)
//   wincheck hold         a stand-in for a copy that does not close: such a
//                         window that ignores WM_CLOSE, holding the program's
//                         single-instance lock, until "wincheck release" (or 60 s)
//   wincheck release      ends "wincheck hold"
#include <windows.h>

#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kClass[] = "TForm1";
const char kTitle[] = "Teskaprs";
const char kLock[] = "TabcSingleInstance in application Teskaprs";
const UINT kRelease = WM_APP + 77;

// Leading parts of program file names that must not run, beside teskaprs.exe.
int gArgc = 0;
char** gArgv = nullptr;

bool ProgramRuns() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return true;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL ok = Process32First(snapshot, &entry); ok && !found; ok = Process32Next(snapshot, &entry)) {
        found = _stricmp(entry.szExeFile, "teskaprs.exe") == 0;
        for (int i = 3; i < gArgc && !found; ++i)
            found = _strnicmp(entry.szExeFile, gArgv[i], std::strlen(gArgv[i])) == 0;
    }
    CloseHandle(snapshot);
    return found;
}

bool Visible() {
    HWND window = FindWindowA(kClass, kTitle);
    return window && IsWindowVisible(window);
}

bool Gone() { return !FindWindowA(kClass, kTitle) && !ProgramRuns(); }

int WaitUntil(bool (*condition)(), DWORD ms) {
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start >= ms) return 1;
        Sleep(50);
    }
    return 0;
}

LRESULT CALLBACK HoldProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CLOSE) return 0;  // refuses to close
    if (msg == kRelease) {
        DestroyWindow(hwnd);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

int Hold() {
    HANDLE lock = CreateMutexA(nullptr, TRUE, kLock);
    WNDCLASSA wc{};
    wc.lpfnWndProc = HoldProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kClass;
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, kClass, kTitle, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                  wc.hInstance, nullptr);
    if (!window) return 1;
    ShowWindow(window, SW_SHOWNORMAL);
    SetTimer(nullptr, 0, 60000, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER) break;
        DispatchMessageA(&msg);
    }
    if (lock) CloseHandle(lock);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    gArgc = argc;
    gArgv = argv;
    const std::string command = argc > 1 ? argv[1] : "";
    const DWORD ms = argc > 2 ? static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)) : 0;
    if (command == "visible") return WaitUntil(Visible, ms);
    if (command == "gone") return WaitUntil(Gone, ms);
    if (command == "hold") return Hold();
    if (command == "close") {
        HWND window = FindWindowA(kClass, kTitle);
        return window && PostMessageA(window, WM_CLOSE, 0, 0) ? 0 : 1;
    }
    if (command == "pid") {
        DWORD process = 0;
        HWND window = FindWindowA(kClass, kTitle);
        if (!window || !GetWindowThreadProcessId(window, &process)) return 1;
        std::printf("%lu\n", static_cast<unsigned long>(process));
        return 0;
    }
    if (command == "release") {
        HWND window = FindWindowA(kClass, kTitle);
        return window && PostMessageA(window, kRelease, 0, 0) ? 0 : 1;
    }
    return 2;
}
