// The server uses Winsock 2 directly (the test support links ws2_32); it shares
// nothing with the component under test but the loopback interface.
#include <winsock2.h>

#include "LoopbackServer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "rtl/Application.h"

namespace testsupport {

const char* PeerEndName(PeerEnd end) {
    switch (end) {
    case PeerEnd::Open: return "open";
    case PeerEnd::Fin: return "FIN";
    case PeerEnd::Reset: return "RST";
    }
    return "?";
}

std::string LoopbackConnection::Received() const {
    std::string all;
    for (const auto& chunk : chunks) all += chunk.bytes;
    return all;
}

namespace {

// One WSAStartup per server, balanced in its destructor.
struct WinsockUser {
    WinsockUser() {
        WSADATA data;
        if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup failed");
    }
    ~WinsockUser() { WSACleanup(); }
};

sockaddr_in Loopback(unsigned short port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

unsigned short LocalPortOf(SOCKET s) {
    sockaddr_in address{};
    int length = sizeof address;
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

unsigned short PeerPortOf(SOCKET s) {
    sockaddr_in address{};
    int length = sizeof address;
    getpeername(s, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

// Waits up to ms for the socket to become readable; false on time-out.
bool Readable(SOCKET s, long ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval wait{ms / 1000, (ms % 1000) * 1000};
    return select(0, &set, nullptr, nullptr, &wait) > 0;
}

bool Writable(SOCKET s, long ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval wait{ms / 1000, (ms % 1000) * 1000};
    return select(0, nullptr, &set, nullptr, &wait) > 0;
}

void ResetAndClose(SOCKET s) {
    linger hard{};
    hard.l_onoff = 1;
    hard.l_linger = 0;
    setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
    closesocket(s);
}

// The host's table of IPv4 TCP connections (the Linux kernel's, seen through
// Wine's drive Z: or its \\?\unix\ prefix).
std::string ReadHostTcpTable() {
    for (const char* path : {"Z:\\proc\\net\\tcp", "\\\\?\\unix\\proc\\net\\tcp"}) {
        std::ifstream in(path, std::ios::binary);
        if (!in) continue;
        std::ostringstream text;
        text << in.rdbuf();
        if (!text.str().empty()) return text.str();
    }
    return {};
}

}  // namespace

PeerEnd LoopbackServer::HostView(unsigned short serverPort, unsigned short peerPort) {
    char local[32];
    char remote[32];
    std::snprintf(local, sizeof local, "0100007F:%04X", serverPort);
    std::snprintf(remote, sizeof remote, "0100007F:%04X", peerPort);
    std::istringstream table(ReadHostTcpTable());
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, localAddress, remoteAddress, state;
        fields >> slot >> localAddress >> remoteAddress >> state;
        if (localAddress == local && remoteAddress == remote) {
            if (state == "08") return PeerEnd::Fin;    // CLOSE_WAIT: FIN received, no reset
            if (state == "07") return PeerEnd::Reset;  // CLOSE
            return PeerEnd::Open;
        }
    }
    return PeerEnd::Reset;
}

struct LoopbackServer::State {
    Options options;
    WinsockUser winsock;
    SOCKET listener = INVALID_SOCKET;
    unsigned short port = 0;
    std::vector<SOCKET> fillers;  // NoHandshake: the connections that fill the queue
    std::atomic<bool> stopping{false};
    std::atomic<bool> released{false};
    mutable std::mutex lock;
    std::vector<LoopbackConnection> connections;
    std::vector<std::thread> threads;

    template <class F>
    void Update(std::size_t index, F&& change) {
        std::lock_guard<std::mutex> guard(lock);
        change(connections[index]);
    }

    bool SendAll(SOCKET s, std::size_t index, const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size() && !stopping) {
            if (!Writable(s, 50)) continue;
            const int n = send(s, bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
            Update(index, [&](LoopbackConnection& c) { c.bytesSent += static_cast<std::size_t>(n); });
        }
        return done == bytes.size();
    }

    void SendReply(SOCKET s, std::size_t index, const std::string& firstLine) {
        const std::string reply = options.loginReply.empty() ? LoginAnswer(firstLine) : options.loginReply;
        const std::size_t piece = options.replyPieceBytes ? options.replyPieceBytes : reply.size();
        for (std::size_t at = 0; at < reply.size() && !stopping; at += piece) {
            if (at > 0) Sleep(options.replyPauseMs);
            if (!SendAll(s, index, reply.substr(at, piece))) return;
        }
    }

    // "user <call> pass <number> ..." answered as APRS-IS does.
    static std::string LoginAnswer(const std::string& text) {
        std::istringstream words(text.substr(0, text.find('\n')));
        std::string user, call, pass, number;
        words >> user >> call >> pass >> number;
        return "# logresp " + call + (number == "-1" ? " unverified" : " verified") + ", server T2LOOP\r\n";
    }

    std::string ConnectionText(std::size_t index) {
        std::lock_guard<std::mutex> hold(lock);
        return connections[index].Received();
    }

    void EndByServer(SOCKET s, std::size_t index, bool reset) {
        if (reset)
            ResetAndClose(s);
        else
            closesocket(s);
        Update(index, [&](LoopbackConnection& c) {
            c.closedByServer = true;
            c.endedAtMs = GetTickCount64();
        });
    }

    void Serve(SOCKET s, std::size_t index) {
        const Behaviour behaviour = options.behaviour;
        if (behaviour == Behaviour::ResetOnAccept) return EndByServer(s, index, true);
        if (!options.greeting.empty() && !SendAll(s, index, options.greeting)) return EndByServer(s, index, false);
        if (behaviour == Behaviour::CloseOnAccept) return EndByServer(s, index, false);
        if (behaviour == Behaviour::Silent) {
            while (!stopping) Sleep(20);
            return EndByServer(s, index, false);
        }
        if (behaviour == Behaviour::SendLots && !SendAll(s, index, std::string(options.lotsBytes, 'x')))
            return EndByServer(s, index, false);
        if (behaviour == Behaviour::HoldReading)
            while (!released && !stopping) Sleep(10);
        if (behaviour == Behaviour::Stream) {
            std::atomic<bool> over{false};
            std::thread streamer([&] {
                std::string lines;
                while (lines.size() < 16 * 1024) lines += "# aprsc 2.1.19 a server that never stops talking\r\n";
                while (!over && !stopping)
                    if (Writable(s, 50) && send(s, lines.data(), static_cast<int>(lines.size()), 0) <= 0) return;
            });
            const bool endedByServer = Read(s, index);
            over = true;
            streamer.join();
            if (!endedByServer) closesocket(s);
            return;
        }
        if (!Read(s, index)) closesocket(s);
    }

    // Reads and records until the connection ends; true when the server
    // ended it (the socket is closed then).
    bool Read(SOCKET s, std::size_t index) {
        const Behaviour behaviour = options.behaviour;
        const int piece = behaviour == Behaviour::ReadSlowly ? options.readPieceBytes : 64 * 1024;
        std::vector<char> buffer(static_cast<std::size_t>(piece > 0 ? piece : 1));
        std::size_t linesSeen = 0;
        while (!stopping) {
            if (!Readable(s, 50)) continue;
            const int n = recv(s, buffer.data(), static_cast<int>(buffer.size()), 0);
            if (n > 0) {
                const std::string bytes(buffer.data(), static_cast<std::size_t>(n));
                Update(index, [&](LoopbackConnection& c) { c.chunks.push_back({GetTickCount64(), bytes}); });
                const std::size_t lines = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
                if (lines && behaviour == Behaviour::CloseAfterFirstLine) {
                    EndByServer(s, index, false);
                    return true;
                }
                if (lines && linesSeen == 0 && (options.answerLogin || !options.loginReply.empty()))
                    SendReply(s, index, ConnectionText(index));
                for (std::size_t i = 0; i < lines && !options.replyToLines.empty(); ++i)
                    SendAll(s, index, options.replyToLines);
                linesSeen += lines;
                if (options.endAfterLines && linesSeen >= options.endAfterLines) {
                    EndByServer(s, index, options.endWithReset);
                    return true;
                }
                if (behaviour == Behaviour::ReadSlowly) Sleep(options.readPauseMs);
                continue;
            }
            // The client has ended its side. Wine reports a reset as a
            // plain end of stream, so ask the host's TCP stack: after a FIN
            // the connection waits in CLOSE_WAIT for this side to close;
            // after a reset it is gone. A short pause lets a reset that
            // follows the FIN (a close with unread data) arrive first.
            const int error = n < 0 ? WSAGetLastError() : 0;
            PeerEnd end = PeerEnd::Reset;
            if (n == 0) {
                Sleep(200);
                end = HostView(port, PeerPortOf(s));
            }
            Update(index, [&](LoopbackConnection& c) {
                c.end = end;
                c.endError = error;
                c.endedAtMs = GetTickCount64();
            });
            return false;
        }
        return false;
    }

    void Accept() {
        while (!stopping) {
            if (!Readable(listener, 50)) continue;
            SOCKET s = accept(listener, nullptr, nullptr);
            if (s == INVALID_SOCKET) continue;
            std::size_t index;
            {
                std::lock_guard<std::mutex> guard(lock);
                LoopbackConnection connection;
                connection.peerPort = PeerPortOf(s);
                connection.acceptedAtMs = GetTickCount64();
                connections.push_back(connection);
                index = connections.size() - 1;
                threads.emplace_back([this, s, index] { Serve(s, index); });
            }
        }
    }

    // Fills the listener's accept queue with connections that are never
    // accepted, so the system drops every further connection request.
    void FillQueue() {
        for (int i = 0; i < 16; ++i) {
            SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
            u_long nonBlocking = 1;
            ioctlsocket(probe, FIONBIO, &nonBlocking);
            const sockaddr_in address = Loopback(port);
            connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address);
            if (!Writable(probe, 300)) {
                closesocket(probe);
                return;  // the queue is full now
            }
            fillers.push_back(probe);
        }
        throw std::runtime_error("LoopbackServer: the accept queue does not fill up");
    }
};

LoopbackServer::LoopbackServer() : LoopbackServer(Options{}) {}

LoopbackServer::LoopbackServer(Options options) : state_(std::make_shared<State>()) {
    State& st = *state_;
    st.options = std::move(options);
    st.listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (st.listener == INVALID_SOCKET) throw std::runtime_error("LoopbackServer: socket failed");
    const sockaddr_in address = Loopback(0);
    const bool noHandshake = st.options.behaviour == Behaviour::NoHandshake;
    // Set before listening, so that accepted connections start with it.
    if (st.options.receiveBufferBytes > 0)
        setsockopt(st.listener, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&st.options.receiveBufferBytes),
                   sizeof st.options.receiveBufferBytes);
    if (bind(st.listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(st.listener, noHandshake ? 0 : 16) != 0) {
        closesocket(st.listener);
        throw std::runtime_error("LoopbackServer: cannot listen on 127.0.0.1");
    }
    st.port = LocalPortOf(st.listener);
    if (noHandshake) {
        st.FillQueue();
        return;
    }
    std::lock_guard<std::mutex> guard(st.lock);
    st.threads.emplace_back([&st] { st.Accept(); });
}

LoopbackServer::~LoopbackServer() {
    State& st = *state_;
    st.stopping = true;
    std::vector<std::thread> threads;
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(st.lock);
            threads.swap(st.threads);
        }
        if (threads.empty()) break;
        for (auto& t : threads) t.join();
        threads.clear();
    }
    for (SOCKET s : st.fillers) closesocket(s);
    closesocket(st.listener);
}

unsigned short LoopbackServer::Port() const { return state_->port; }

std::string LoopbackServer::PortText() const { return std::to_string(state_->port); }

std::vector<LoopbackConnection> LoopbackServer::Connections() const {
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->connections;
}

std::size_t LoopbackServer::ConnectionCount() const {
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->connections.size();
}

std::string LoopbackServer::Received(std::size_t index) const {
    std::lock_guard<std::mutex> guard(state_->lock);
    return index < state_->connections.size() ? state_->connections[index].Received() : std::string();
}

std::size_t LoopbackServer::BytesSent(std::size_t index) const {
    std::lock_guard<std::mutex> guard(state_->lock);
    return index < state_->connections.size() ? state_->connections[index].bytesSent : 0;
}

bool LoopbackServer::Ended(std::size_t index) const {
    std::lock_guard<std::mutex> guard(state_->lock);
    return index < state_->connections.size() && state_->connections[index].endedAtMs != 0;
}

void LoopbackServer::ReleaseReading() { state_->released = true; }

bool LoopbackServer::WaitForConnections(std::size_t count, DWORD timeoutMs) {
    return PumpUntil([&] { return ConnectionCount() >= count; }, timeoutMs);
}

bool LoopbackServer::WaitForEnd(std::size_t index, DWORD timeoutMs) {
    return PumpUntil([&] { return Ended(index); }, timeoutMs);
}

bool LoopbackServer::WaitForBytes(std::size_t index, std::size_t bytes, DWORD timeoutMs) {
    return PumpUntil(
        [&] {
            std::lock_guard<std::mutex> guard(state_->lock);
            if (index >= state_->connections.size()) return false;
            std::size_t total = 0;
            for (const auto& chunk : state_->connections[index].chunks) total += chunk.bytes.size();
            return total >= bytes;
        },
        timeoutMs);
}

unsigned short LoopbackServer::UnusedPort() {
    WinsockUser winsock;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    const sockaddr_in address = Loopback(0);
    bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    const unsigned short port = LocalPortOf(s);
    closesocket(s);  // bound but never listening: now nothing is there
    return port;
}

struct ScriptedLookup::State {
    DWORD answerAfterMs = 0;
    mutable std::mutex lock;
    std::vector<std::string> names;
    std::size_t posted = 0;
    std::size_t strayWrites = 0;
    std::uintptr_t nextHandle = 0x5100;
    std::vector<std::thread> threads;

    // A hostent for 127.0.0.1 laid out in the caller's buffer, as the
    // sockets library leaves it.
    static void FillAnswer(char* buffer, int length) {
        struct Layout {
            hostent entry;
            char* addresses[2];
            char* aliases[1];
            std::uint32_t address;
            char name[16];
        };
        if (length < static_cast<int>(sizeof(Layout))) return;
        auto* layout = reinterpret_cast<Layout*>(buffer);
        *layout = Layout{};
        layout->address = htonl(INADDR_LOOPBACK);
        std::memcpy(layout->name, "scripted", 9);
        layout->addresses[0] = reinterpret_cast<char*>(&layout->address);
        layout->entry.h_name = layout->name;
        layout->entry.h_aliases = layout->aliases;
        layout->entry.h_addrtype = AF_INET;
        layout->entry.h_length = 4;
        layout->entry.h_addr_list = layout->addresses;
    }
};

ScriptedLookup::ScriptedLookup(DWORD answerAfterMs) : state_(std::make_shared<State>()) {
    state_->answerAfterMs = answerAfterMs;
}

ScriptedLookup::~ScriptedLookup() {
    // Every lookup started is answered, as the library's are.
    for (auto& t : state_->threads) t.join();
}

HANDLE ScriptedLookup::Start(HWND window, UINT msg, const std::string& name, char* buffer, int length, int& error) {
    error = 0;
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->names.push_back(name);
    const HANDLE request = reinterpret_cast<HANDLE>(state_->nextHandle++);
    State* st = state_.get();
    state_->threads.emplace_back([st, window, msg, request, buffer, length] {
        Sleep(st->answerAfterMs);
        std::lock_guard<std::mutex> guard(st->lock);
        if (!net::WSocketLookupBufferPending(buffer)) ++st->strayWrites;
        State::FillAnswer(buffer, length);
        PostMessageA(window, msg, reinterpret_cast<WPARAM>(request), 0);
        ++st->posted;
    });
    return request;
}

std::vector<std::string> ScriptedLookup::Names() const {
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->names;
}

std::size_t ScriptedLookup::StrayWrites() const {
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->strayWrites;
}

std::size_t ScriptedLookup::AnswersPosted() const {
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->posted;
}

bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return condition();
        rtl::PumpMessagesFor(static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 10)));
    }
}

}  // namespace testsupport
