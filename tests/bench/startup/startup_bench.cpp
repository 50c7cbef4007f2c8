// Start to visible window: the release program against a plain window with
// as many standard controls, five runs each, alternating, median printed.
// Usage: startup_bench [program.exe [plain_window.exe]]; by default the
// release build (..\release\teskaprs.exe) and plain_window.exe beside this
// program. The benchmark keeps a window of its own, so Wine's desktop is
// already up for both, as Windows' is.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Beside(const std::string& name) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path = self;
    return path.substr(0, path.find_last_of('\\') + 1) + name;
}

double Seconds() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Serves this program's own messages for up to ms milliseconds.
void Pump(DWORD ms) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, ms, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

struct Search {
    DWORD pid;
    const char* className;
    HWND found;
};

// A visible top-level window of that process and class.
HWND VisibleWindowOf(DWORD pid, const char* className) {
    Search search{pid, className, nullptr};
    EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            char name[64] = {};
            GetClassNameA(hwnd, name, sizeof name);
            if (owner == s->pid && IsWindowVisible(hwnd) && lstrcmpA(name, s->className) == 0) {
                s->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

int CountDescendants(HWND window) {
    int count = 0;
    EnumChildWindows(
        window, [](HWND, LPARAM lp) -> BOOL { return ++*reinterpret_cast<int*>(lp), TRUE; },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

struct Run {
    double seconds = -1;  // negative: no window within the time limit
    SIZE_T workingSet = 0;
    double cpu = 0;  // processor time the process had used by then
    int controls = 0;
};

Run StartAndClose(const std::string& program, const std::string& arguments, const char* className) {
    Run run;
    std::string commandLine = "\"" + program + "\"" + (arguments.empty() ? "" : " " + arguments);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // Marks for a trace (WINEDEBUG=+timestamp,+pid,+loaddll,+debugstr).
    OutputDebugStringA(("start " + program).c_str());
    const double start = Seconds();
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::printf("cannot start %s (error %lu)\n", program.c_str(), GetLastError());
        return run;
    }
    HWND window = nullptr;
    while (!window && Seconds() - start < 20) {
        window = VisibleWindowOf(process.dwProcessId, className);
        if (!window) Pump(1);
    }
    if (window) {
        run.seconds = Seconds() - start;
        OutputDebugStringA("visible");
        run.controls = CountDescendants(window);
        PROCESS_MEMORY_COUNTERS memory{};
        if (GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory)) run.workingSet = memory.WorkingSetSize;
        FILETIME created, exited, kernel, user;
        if (GetProcessTimes(process.hProcess, &created, &exited, &kernel, &user)) {
            auto seconds = [](FILETIME t) {
                return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
            };
            run.cpu = seconds(kernel) + seconds(user);
        }
        PostMessageA(window, WM_CLOSE, 0, 0);
    }
    if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) {
        std::printf("%s did not end after WM_CLOSE; stopped\n", program.c_str());
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 5000);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return run;
}

template <typename T>
T Median(std::vector<T> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const std::string program = argc > 1 ? argv[1] : Beside("..\\release\\teskaprs.exe");
    const std::string plain = argc > 2 ? argv[2] : Beside("plain_window.exe");

    // A window of this process keeps Wine's desktop process running.
    HWND own = CreateWindowExA(0, "STATIC", "startup_bench", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    Pump(200);

    // A first start of each, not counted: files in the cache, the count of
    // the program's controls for the plain window.
    const Run first = StartAndClose(program, "", "TForm1");
    if (first.seconds < 0) {
        std::printf("the program showed no window\n");
        return 1;
    }
    const std::string count = std::to_string(first.controls);
    StartAndClose(plain, count, "PlainWindow");

    const int kRuns = 5;
    std::vector<double> programTimes, plainTimes;
    std::vector<SIZE_T> programMemory, plainMemory;
    std::vector<double> programCpu, plainCpu;
    for (int i = 0; i < kRuns; ++i) {
        const Run a = StartAndClose(program, "", "TForm1");
        const Run b = StartAndClose(plain, count, "PlainWindow");
        if (a.seconds < 0 || b.seconds < 0) {
            std::printf("a run showed no window\n");
            return 1;
        }
        programTimes.push_back(a.seconds);
        plainTimes.push_back(b.seconds);
        programMemory.push_back(a.workingSet);
        plainMemory.push_back(b.workingSet);
        programCpu.push_back(a.cpu);
        plainCpu.push_back(b.cpu);
    }
    auto list = [](const std::vector<double>& times) {
        std::string text;
        for (double t : times) text += (text.empty() ? "" : " ") + std::to_string(static_cast<int>(t * 1000 + 0.5));
        return text;
    };
    const double a = Median(programTimes), b = Median(plainTimes);
    std::printf("start to visible window, median of %d (ms): program %.0f [%s], plain window with %s controls %.0f [%s],"
                " difference %.0f\n",
                kRuns, a * 1000, list(programTimes).c_str(), count.c_str(), b * 1000, list(plainTimes).c_str(),
                (a - b) * 1000);
    std::printf("processor time used by then, median (ms): program %.0f, plain window %.0f\n",
                Median(programCpu) * 1000, Median(plainCpu) * 1000);
    std::printf("working set when visible, median (MB): program %.1f, plain window %.1f\n",
                Median(programMemory) / 1048576.0, Median(plainMemory) / 1048576.0);
    DestroyWindow(own);
    return 0;
}
