// Start to visible window: the release program against a plain window with
// the same standard controls, started in turn (five times each unless --runs
// says otherwise), medians and best runs printed.
// Usage: startup_bench [--runs N] [program.exe ...]; by default the release
// build (..\release\teskaprs.exe). Several builds of the program (before and
// after a change) are started in turn in the same run, each against the same
// plain window (plain_window.exe beside this program). The benchmark keeps a
// window of its own, so Wine's desktop is already up for all, as Windows' is.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
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

std::string ClassOf(HWND hwnd) {
    char name[64] = {};
    GetClassNameA(hwnd, name, sizeof name);
    return name;
}

// The window's controls as the plain window's command line: how many of
// each class ("Static=24 Edit=12 ..."). A combo box's own edit field comes
// with the combo box and is not counted.
std::string ControlsOf(HWND window) {
    std::map<std::string, int> tally;
    EnumChildWindows(
        window,
        [](HWND hwnd, LPARAM lp) -> BOOL {
            if (lstrcmpiA(ClassOf(GetParent(hwnd)).c_str(), "ComboBox") != 0)
                ++(*reinterpret_cast<std::map<std::string, int>*>(lp))[ClassOf(hwnd)];
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&tally));
    std::string text;
    for (const auto& [name, count] : tally) text += (text.empty() ? "" : " ") + name + "=" + std::to_string(count);
    return text;
}

struct Run {
    double seconds = -1;  // negative: no window within the time limit
    double ready = -1;    // window shown, painted and waiting for input
    SIZE_T workingSet = 0;
    std::string controls;
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
        // Idle means the queue is empty: the window has had its first paint.
        if (WaitForInputIdle(process.hProcess, 10000) == 0) run.ready = Seconds() - start;
        OutputDebugStringA("ready");
        run.controls = ControlsOf(window);
        PROCESS_MEMORY_COUNTERS memory{};
        if (GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory)) run.workingSet = memory.WorkingSetSize;
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

struct Series {
    std::string path;
    const char* className;
    std::vector<double> visible, ready;
    std::vector<SIZE_T> memory;
};

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    std::vector<Series> series;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else
            series.push_back({argv[i], "TForm1", {}, {}, {}});
    }
    if (series.empty()) series.push_back({Beside("..\\release\\teskaprs.exe"), "TForm1", {}, {}, {}});
    series.push_back({Beside("plain_window.exe"), "PlainWindow", {}, {}, {}});

    // A window of this process keeps Wine's desktop process running.
    HWND own = CreateWindowExA(0, "STATIC", "startup_bench", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    Pump(200);

    // A first start of each, not counted: files in the cache, the program's
    // controls for the plain window.
    const Run first = StartAndClose(series[0].path, "", series[0].className);
    if (first.seconds < 0) {
        std::printf("the program showed no window\n");
        return 1;
    }
    const std::string controls = first.controls;
    auto arguments = [&](const Series& s) { return &s == &series.back() ? controls : std::string(); };
    for (size_t k = 1; k < series.size(); ++k) StartAndClose(series[k].path, arguments(series[k]), series[k].className);

    for (int i = 0; i < runs; ++i) {
        for (Series& s : series) {
            const Run run = StartAndClose(s.path, arguments(s), s.className);
            if (run.seconds < 0) {
                std::printf("%s showed no window\n", s.path.c_str());
                return 1;
            }
            s.visible.push_back(run.seconds);
            s.ready.push_back(run.ready);
            s.memory.push_back(run.workingSet);
        }
    }

    auto ms = [](double t) { return t < 0 ? std::string("-") : std::to_string(static_cast<int>(t * 1000 + 0.5)); };
    auto list = [&](const std::vector<double>& times) {
        std::string text;
        for (double t : times) text += (text.empty() ? "" : " ") + ms(t);
        return text;
    };
    const Series& plain = series.back();
    auto name = [&](const Series& s) {
        if (&s == &plain) return std::string("plain window");
        return series.size() > 2 ? "program " + std::to_string(&s - &series[0] + 1) : std::string("program");
    };
    std::printf("controls of every window: %s; %d runs each, in turn\n", controls.c_str(), runs);
    for (const Series& s : series) std::printf("  %-12s %s\n", name(s).c_str(), s.path.c_str());
    auto report = [&](const char* what, std::vector<double> Series::*times) {
        std::printf("%s (ms), median [runs] and best run:\n", what);
        const double plainMedian = Median(plain.*times);
        const double plainBest = *std::min_element((plain.*times).begin(), (plain.*times).end());
        for (const Series& s : series) {
            const double median = Median(s.*times);
            const double best = *std::min_element((s.*times).begin(), (s.*times).end());
            std::printf("  %-12s %4s [%s], best %s", name(s).c_str(), ms(median).c_str(), list(s.*times).c_str(),
                        ms(best).c_str());
            if (&s != &plain)
                std::printf("; after the plain window: median %.0f, best %.0f", (median - plainMedian) * 1000,
                            (best - plainBest) * 1000);
            std::printf("\n");
        }
    };
    report("start to visible window", &Series::visible);
    report("start to shown, painted and idle", &Series::ready);
    // (Processor time is not shown: Wine's figure for another process counted
    // more than the time that had passed.)
    std::printf("working set when shown and idle (MB), median:");
    for (const Series& s : series)
        std::printf(" %s %.1f%s", name(s).c_str(), Median(s.memory) / 1048576.0, &s == &plain ? "\n" : ",");
    DestroyWindow(own);
    return 0;
}
