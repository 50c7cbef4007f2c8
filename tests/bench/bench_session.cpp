// How much processor time the upload takes: one whole session (connect,
// login line, packet, close, each a paced second apart) against a server on
// 127.0.0.1, and the window left alone with its timers running. The session
// mostly waits, so the figure should be a few milliseconds, not seconds.
// Run: scripts/bench (optional argument: the idle stretch in seconds, 60).
//
// The figures are the user-interface thread's own times (GetThreadTimes): the
// benchmark's server runs on a thread of its own, measured apart, and the
// process's total is printed beside them.
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "Teskaprs1.h"
#include "rtl/Application.h"

namespace {

double Milliseconds(const FILETIME& t) {
    ULARGE_INTEGER v;
    v.LowPart = t.dwLowDateTime;
    v.HighPart = t.dwHighDateTime;
    return static_cast<double>(v.QuadPart) / 10000.0;
}
double ThreadCpu(HANDLE thread) {
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(thread, &created, &exited, &kernel, &user)) return -1;
    return Milliseconds(kernel) + Milliseconds(user);
}
double ProcessCpu() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    return Milliseconds(kernel) + Milliseconds(user);
}

// Windows Sockets for the server, loaded by name as the program does (the
// benchmarks link only the program's own code).
template <class F>
F Function(HMODULE library, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

// Accepts connections on 127.0.0.1 and reads each until the client ends it.
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

bool SettingsKeyExists() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Teskaprs", 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
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
    int failures = 0;
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
            if (!WaitForIdle(form, 15000) || form.Session.CycleActive) ++failures;
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
    DeleteFileA((folder + "\\wxreport2.txt").c_str());
    RemoveDirectoryA(folder.c_str());
    // The benchmark leaves no settings behind that were not there before.
    if (!hadSettings) RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Teskaprs");
    if (failures) std::printf("%d session(s) did not complete\n", failures);
    return failures ? 1 : 0;
}
