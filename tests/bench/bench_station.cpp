// How much the program spends on a station's upload: a client on a thread of
// its own sends uploads over 127.0.0.1 to the window's listener, one
// connection each as a gateway does (a POST of the gateway form, the answer
// read, then closed), while the window's thread handles them. Printed: the
// processor time per upload (the whole process without the client thread,
// and the window's thread alone) and the memory before and after, which
// must stay flat however many uploads come.
// Run: scripts/bench (optional argument: the number of uploads, 10000).
#include <winsock2.h>
#include <windows.h>

#include <psapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "BenchClock.h"
#include "Teskaprs1.h"
#include "net/Listener.h"
#include "rtl/Application.h"

namespace {

using bench::ProcessCpu;
using bench::ThreadCpu;

void PrintMemory(const char* when) {
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    K32GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
    std::printf("  %-26s resident (working set) %.2f MB, private bytes %.2f MB\n", when,
                static_cast<double>(memory.WorkingSetSize) / (1024.0 * 1024.0),
                static_cast<double>(memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage) / (1024.0 * 1024.0));
}

template <class F>
F Function(HMODULE library, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

// Sends count uploads to port, one connection each, and counts the answers
// that were "success". Windows Sockets loaded by name, as the program does.
class Station {
public:
    Station(unsigned short port, int count) {
        HMODULE ws = LoadLibraryA("ws2_32.dll");
        socket_ = Function<decltype(&::socket)>(ws, "socket");
        connect_ = Function<decltype(&::connect)>(ws, "connect");
        recv_ = Function<decltype(&::recv)>(ws, "recv");
        send_ = Function<decltype(&::send)>(ws, "send");
        close_ = Function<decltype(&::closesocket)>(ws, "closesocket");
        WSADATA data;
        Function<decltype(&::WSAStartup)>(ws, "WSAStartup")(MAKEWORD(2, 2), &data);
        thread_ = std::thread([this, port, count] { Send(port, count); });
    }
    ~Station() { thread_.join(); }
    bool Done() const { return done_; }
    int Answered() const { return answered_; }
    // The thread's own processor time, taken by itself as it ends.
    double Cpu() const { return cpu_; }

private:
    void Send(unsigned short port, int count) {
        for (int i = 0; i < count; ++i) {
            // A gateway's upload, its values changing as real ones do.
            const std::string body = "PASSKEY=0123456789ABCDEF0123456789ABCDEF&stationtype=GW2000A_V3.1.4"
                                     "&dateutc=2026-12-08+10:00:00&tempf=" + std::to_string(40 + i % 20) +
                                     ".3&humidity=" + std::to_string(50 + i % 30) + "&winddir=" + std::to_string(i % 360) +
                                     "&windspeedmph=4.5&windgustmph=" + std::to_string(5 + i % 10) +
                                     "&baromrelin=29.921&baromabsin=29.5&dailyrainin=0.012&totalrainin=" +
                                     std::to_string(10 + i / 100) + ".5&solarradiation=" + std::to_string(i % 900) +
                                     ".2&model=GW2000A";
            const std::string request = "POST /data/report/ HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: Close\r\n"
                                        "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                                        std::to_string(body.size()) + "\r\n\r\n" + body;
            SOCKET s = socket_(AF_INET, SOCK_STREAM, IPPROTO_TCP);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = 0x0100007F;  // 127.0.0.1 in network byte order
            address.sin_port = static_cast<u_short>((port & 0xFF) << 8 | port >> 8);
            std::string answer;
            if (connect_(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                send_(s, request.data(), static_cast<int>(request.size()), 0) == static_cast<int>(request.size())) {
                char buffer[1024];
                for (int got; (got = recv_(s, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, static_cast<size_t>(got));
            }
            close_(s);
            if (answer.size() > 7 && answer.compare(answer.size() - 7, 7, "success") == 0) ++answered_;
        }
        cpu_ = ThreadCpu(GetCurrentThread());
        done_ = true;
    }

    decltype(&::socket) socket_;
    decltype(&::connect) connect_;
    decltype(&::recv) recv_;
    decltype(&::send) send_;
    decltype(&::closesocket) close_;
    std::atomic<double> cpu_{0};
    std::atomic<bool> done_{false};
    std::atomic<int> answered_{0};
    std::thread thread_;
};

// Handles the window's messages until the station has sent everything.
void Receive(TForm1& form, unsigned short port, int count, const char* what) {
    HANDLE ui = GetCurrentThread();
    const double uiBefore = ThreadCpu(ui), processBefore = ProcessCpu();
    const ULONGLONG wallBefore = GetTickCount64();
    Station station(port, count);
    while (!station.Done()) rtl::PumpMessagesFor(20);
    const double stationCpu = station.Cpu();
    const double ui_ = ThreadCpu(ui) - uiBefore, process = ProcessCpu() - processBefore - stationCpu;
    std::printf("%s: %d uploads, %d answered \"success\" in %.1f s; per upload: process %.3f ms CPU "
                "(without the station's thread), window's thread %.3f ms; the station's thread %.3f ms\n",
                what, count, station.Answered(), static_cast<double>(GetTickCount64() - wallBefore) / 1000.0,
                process / count, ui_ / count, stationCpu / count);
    if (!form.StationReceiver.Latest()) std::printf("  no reading taken!\n");
}

}  // namespace

int main(int argc, char** argv) {
    const int uploads = argc > 1 ? std::atoi(argv[1]) : 10000;
    rtl::Application().SetTitle("Teskaprs");
    rtl::Application().Initialize();
    rtl::Application().SetErrorSink([](const std::string& caption, const std::string& text) {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    });
    {
        TForm1 form;
        form.DelayTimer.SetEnabled(false);  // no upload of its own meanwhile
        // The station already taken: nothing is stored in the registry.
        form.StationKey = "0123456789ABCDEF0123456789ABCDEF";
        // A port the system chooses, on the window's own listener.
        form.StationListener->Listen(0);
        const unsigned short port = form.StationListener->Port();
        std::printf("listening on port %u\n", port);
        PrintMemory("before:");
        Receive(form, port, 100, "warm-up");
        PrintMemory("after the warm-up:");
        Receive(form, port, uploads, "uploads in a row");
        PrintMemory("after them:");
        if (form.StationListener->ConnectionCount() != 0) std::printf("  connections left open!\n");
    }
    return 0;
}
