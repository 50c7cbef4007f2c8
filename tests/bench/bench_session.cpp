// How much processor time the upload takes: one whole session (connect,
// login line, packet, close, each a paced second apart) against a server on
// 127.0.0.1, and the window left alone with its timers running. The session
// mostly waits, so the figure should be a few milliseconds, not seconds.
// Then 1,000 sessions in a row, with the pacing's seconds passing at once
// (the clock seam), to see whether anything grows: handles, window and GDI
// objects, private bytes, and the processor time per session.
// Run: scripts/bench (optional arguments: the idle stretch in seconds, 60;
// the number of sessions in a row, 1000).
//
// The figures are the user-interface thread's own times (GetThreadTimes): the
// benchmark's server runs on a thread of its own, measured apart, and the
// process's total is printed beside them.
#include <winsock2.h>
#include <windows.h>

#include <psapi.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "BenchClock.h"
#include "Teskaprs1.h"
#include "rtl/Application.h"
#include "rtl/Clock.h"

namespace {

using bench::ProcessCpu;
using bench::ThreadCpu;


// Windows Sockets for the server, loaded by name as the program does (the
// benchmarks link only the program's own code).
template <class F>
F Function(HMODULE library, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

// Accepts connections on 127.0.0.1, confirms the benchmark's login, and
// reads each connection until the client ends it. The confirmation goes out
// at once, not after the login line as APRS-IS sends it: the long run's
// pacing passes at once, and the program's Close may come before a reply to
// the login line could.
class Server {
public:
    Server() {
        HMODULE ws = LoadLibraryA("ws2_32.dll");
        startup_ = Function<decltype(&::WSAStartup)>(ws, "WSAStartup");
        socket_ = Function<decltype(&::socket)>(ws, "socket");
        bind_ = Function<decltype(&::bind)>(ws, "bind");
        listen_ = Function<decltype(&::listen)>(ws, "listen");
        accept_ = Function<decltype(&::accept)>(ws, "accept");
        recv_ = Function<decltype(&::recv)>(ws, "recv");
        send_ = Function<decltype(&::send)>(ws, "send");
        close_ = Function<decltype(&::closesocket)>(ws, "closesocket");
        name_ = Function<decltype(&::getsockname)>(ws, "getsockname");
        WSADATA data;
        startup_(MAKEWORD(2, 2), &data);
        listener_ = socket_(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = 0x0100007F;  // 127.0.0.1 in network byte order
        bind_(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen_(listener_, 5);
        int length = sizeof address;
        name_(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = static_cast<unsigned short>((address.sin_port & 0xFF) << 8 | address.sin_port >> 8);
        thread_ = std::thread([this] { Serve(); });
    }
    ~Server() {
        close_(listener_);  // ends the accept
        thread_.join();
    }
    unsigned short Port() const { return port_; }
    double Cpu() { return ThreadCpu(reinterpret_cast<HANDLE>(thread_.native_handle())); }

private:
    void Serve() {
        for (;;) {
            SOCKET s = accept_(listener_, nullptr, nullptr);
            if (s == INVALID_SOCKET) return;
            static const char kReply[] = "# logresp CW1234 unverified, server BENCH\r\n";
            send_(s, kReply, sizeof kReply - 1, 0);
            char buffer[4096];
            while (recv_(s, buffer, sizeof buffer, 0) > 0) {
            }
            close_(s);
        }
    }

    decltype(&::WSAStartup) startup_;
    decltype(&::socket) socket_;
    decltype(&::bind) bind_;
    decltype(&::listen) listen_;
    decltype(&::accept) accept_;
    decltype(&::recv) recv_;
    decltype(&::send) send_;
    decltype(&::closesocket) close_;
    decltype(&::getsockname) name_;
    SOCKET listener_ = INVALID_SOCKET;
    unsigned short port_ = 0;
    std::thread thread_;
};

std::string Report(int minute) {
    char text[96];
    wsprintfA(text, "Jan 05 2008 14:%02d\r\n180/005g010t065r000p000P000h55b10150\r\n", minute);
    return text;
}

void WriteText(const std::string& path, const std::string& bytes) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(f);
}

// The program keeps the machine's settings in the registry's 32-bit view.
bool SettingsKeyExists() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Teskaprs", 0, KEY_READ | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// What a long run could leak. Wine answers the handle and GUI-object counts
// with 0 and leaves PrivateUsage at 0 (it fills PagefileUsage, which Windows
// documents as the same commit charge), so two stand-ins are printed beside
// them: the value a new handle gets (the lowest free slot, so it climbs when
// handles leak) and the windows of this thread (the components' hidden
// windows among them).
struct Resources {
    DWORD handles = 0, user = 0, gdi = 0;
    SIZE_T privateBytes = 0;
    std::uintptr_t nextHandle = 0;
    int threadWindows = 0;
};
Resources Measure() {
    Resources r;
    GetProcessHandleCount(GetCurrentProcess(), &r.handles);
    r.user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    r.gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    if (K32GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                                sizeof memory))
        r.privateBytes = memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
    HANDLE probe = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    r.nextHandle = reinterpret_cast<std::uintptr_t>(probe);
    CloseHandle(probe);
    EnumThreadWindows(
        GetCurrentThreadId(), [](HWND, LPARAM count) -> BOOL {
            ++*reinterpret_cast<int*>(count);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&r.threadWindows));
    return r;
}
void PrintResources(const char* when, const Resources& r) {
    std::printf("  %-22s handles %lu, USER objects %lu, GDI objects %lu, private bytes %.2f MB; "
                "next handle 0x%llx, thread windows %d\n",
                when, static_cast<unsigned long>(r.handles), static_cast<unsigned long>(r.user),
                static_cast<unsigned long>(r.gdi), static_cast<double>(r.privateBytes) / (1024.0 * 1024.0),
                static_cast<unsigned long long>(r.nextHandle), r.threadWindows);
}

// Waits on the message queue until the upload is idle again.
bool WaitForIdle(TForm1& form, DWORD timeoutMs) {
    const ULONGLONG until = GetTickCount64() + timeoutMs;
    while (form.Upload.UploadBusy && GetTickCount64() < until) rtl::PumpMessagesFor(20);
    return !form.Upload.UploadBusy;
}

}  // namespace

int main(int argc, char** argv) {
    const int idleSeconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const int longRun = argc > 2 ? std::atoi(argv[2]) : 1000;
    const int sessions = 10;

    rtl::Application().SetTitle("Teskaprs");
    rtl::Application().Initialize();
    rtl::Application().SetErrorSink(
        [](const std::string& caption, const std::string& text) { std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str()); });

    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string folder = std::string(temp) + "teskaprs-bench-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string report = folder + "\\wxreport.txt";
    WriteText(report, Report(0));
    const bool hadSettings = SettingsKeyExists();

    Server server;
    HANDLE ui = GetCurrentThread();
    const double uiStart = ThreadCpu(ui), processStart = ProcessCpu();
    int failures = 0, unconfirmed = 0;
    {
        TForm1 form;
        form.Callsign->SetText("CW1234");
        form.Validation->SetText("-1");
        form.AutoServer->SetChecked(false);  // only the benchmark's own server
        form.serverNameEdit->SetText("127.0.0.1");
        form.ServerPortEdit->SetText(std::to_string(server.Port()));
        form.FileLocationDisplay->SetText(report);
        const double uiBuilt = ThreadCpu(ui);
        std::printf("window built: UI thread %.1f ms CPU, process %.1f ms\n", uiBuilt - uiStart,
                    ProcessCpu() - processStart);

        double uiSessions = 0, serverSessions = 0, processSessions = 0;
        for (int i = 0; i <= sessions; ++i) {
            WriteText(report, Report(i + 1));  // a new packet each time
            const double uiBefore = ThreadCpu(ui), serverBefore = server.Cpu(), processBefore = ProcessCpu();
            const ULONGLONG wallBefore = GetTickCount64();
            form.abcButton1->Click();
            if (!WaitForIdle(form, 15000) || form.Session.CycleActive || form.LastOutcome != upload::AttemptOutcome::Delivered)
                ++failures;
            const double uiCpu = ThreadCpu(ui) - uiBefore, serverCpu = server.Cpu() - serverBefore;
            const double processCpu = ProcessCpu() - processBefore;
            const ULONGLONG wall = GetTickCount64() - wallBefore;
            std::printf("session %d%s: wall %llu ms, UI thread %.1f ms CPU, server thread %.1f ms, process %.1f ms\n",
                        i, i == 0 ? " (first: loads the sockets library)" : "", wall, uiCpu, serverCpu, processCpu);
            if (i > 0) {
                uiSessions += uiCpu;
                serverSessions += serverCpu;
                processSessions += processCpu;
            }
        }
        std::printf("per session after the first: UI thread %.1f ms CPU (target at most 20), server thread %.1f ms, "
                    "process %.1f ms\n",
                    uiSessions / sessions, serverSessions / sessions, processSessions / sessions);

        // Many sessions in a row. Each pacing wait sees the clock a second
        // further on at its first look, so it passes at once; everything else
        // (the report, the packet, the connection, the close) is real.
        std::printf("%d sessions in a row (the pacing's one-second waits pass at once through the clock seam):\n",
                    longRun);
        form.DelayTimer.SetEnabled(false);  // the faked clock must not start the schedule
        // The pace runs on the monotonic clock: that is the one moved on;
        // the wall clock stays true, so the report stays fresh.
        std::chrono::steady_clock::duration skew{};
        rtl::SetMonotonicSource([&skew] {
            skew += std::chrono::seconds(1);
            return std::chrono::steady_clock::now() + skew;
        });
        Resources first{};
        double uiFirst = 0, processFirst = 0, uiTotal = 0, processTotal = 0;
        const ULONGLONG runStart = GetTickCount64();
        for (int i = 1; i <= longRun; ++i) {
            WriteText(report, Report((sessions + 1 + i) % 60));  // differs from the one before
            const double uiBefore = ThreadCpu(ui), processBefore = ProcessCpu();
            form.abcButton1->Click();
            const bool idle = WaitForIdle(form, 15000);
            // With no pacing, the program may close before the server's
            // thread has even accepted the connection on a busy machine: the
            // confirmation then comes too late, and the packet goes out again
            // next time, as it should.
            if (idle && form.LastOutcome == upload::AttemptOutcome::ServerDidNotConfirm)
                ++unconfirmed;
            else if (!idle || form.Session.CycleActive || form.LastOutcome != upload::AttemptOutcome::Delivered)
                ++failures;
            const double uiCpu = ThreadCpu(ui) - uiBefore, processCpu = ProcessCpu() - processBefore;
            uiTotal += uiCpu;
            processTotal += processCpu;
            if (i == 1) {
                first = Measure();
                uiFirst = uiCpu;
                processFirst = processCpu;
            }
        }
        const Resources last = Measure();
        rtl::SetMonotonicSource(nullptr);
        form.DelayTimer.SetEnabled(true);
        const double runWall = static_cast<double>(GetTickCount64() - runStart) / 1000;
        PrintResources("after session 1:", first);
        PrintResources(("after session " + std::to_string(longRun) + ":").c_str(), last);
        std::printf("  growth: handles %+ld, USER %+ld, GDI %+ld, private bytes %+.1f KB, next handle %+lld slots, "
                    "thread windows %+d\n",
                    static_cast<long>(last.handles) - static_cast<long>(first.handles),
                    static_cast<long>(last.user) - static_cast<long>(first.user),
                    static_cast<long>(last.gdi) - static_cast<long>(first.gdi),
                    (static_cast<double>(last.privateBytes) - static_cast<double>(first.privateBytes)) / 1024.0,
                    (static_cast<long long>(last.nextHandle) - static_cast<long long>(first.nextHandle)) / 4,
                    last.threadWindows - first.threadWindows);
        std::printf("  CPU per session: first %.1f ms UI thread (process %.1f ms); mean of %d: UI thread %.2f ms "
                    "(target at most 20), process %.2f ms; wall %.1f s in all\n",
                    uiFirst, processFirst, longRun, uiTotal / longRun, processTotal / longRun, runWall);

        // Left alone: the alignment timer runs, nothing else is due.
        const double uiBefore = ThreadCpu(ui), processBefore = ProcessCpu();
        const ULONGLONG wallBefore = GetTickCount64();
        rtl::PumpMessagesFor(static_cast<DWORD>(idleSeconds) * 1000);
        const double uiIdle = ThreadCpu(ui) - uiBefore, processIdle = ProcessCpu() - processBefore;
        const double wall = static_cast<double>(GetTickCount64() - wallBefore);
        std::printf("idle %.0f s with the window and its timers: UI thread %.1f ms CPU (%.3f ms per second), "
                    "process %.1f ms\n",
                    wall / 1000, uiIdle, uiIdle / (wall / 1000), processIdle);
    }

    DeleteFileA(report.c_str());
    RemoveDirectoryA(folder.c_str());
    // The benchmark leaves no settings behind that were not there before.
    if (!hadSettings) RegDeleteKeyExA(HKEY_LOCAL_MACHINE, "Software\\Teskaprs", KEY_WOW64_32KEY, 0);
    if (unconfirmed) std::printf("%d session(s) of the long run closed before the server's confirmation\n", unconfirmed);
    if (failures) std::printf("%d session(s) did not complete\n", failures);
    return failures ? 1 : 0;
}
