// The listener. Like the client, it calls Windows Sockets only through the
// addresses looked up in wsock32.dll (WSocketGetProc): the program does not
// link the sockets library.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "net/Listener.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "net/WSocket.h"
#include "rtl/Application.h"
#include "station/Receiver.h"

namespace net {

namespace {

const wchar_t kWindowClass[] = L"TeskaprsListenerWindow";
constexpr UINT WM_LISTENER_EVENT = WM_USER + 1;
// What is read of a connection at most, the request and anything sent after
// it together: past that, a client that goes on sending is cut off.
constexpr std::size_t kMostBytesRead = 64 * 1024;
// Connections taken from the queue at one accept notification.
constexpr int kAcceptsAtOnce = 16;

template <class F>
F Fn(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(WSocketGetProc(name)));
}

namespace ws {
int WSAGetLastError() { return Fn<decltype(&::WSAGetLastError)>("WSAGetLastError")(); }
SOCKET socket(int af, int type, int protocol) { return Fn<decltype(&::socket)>("socket")(af, type, protocol); }
int setsockopt(SOCKET s, int level, int name, const void* value, int len) {
    return Fn<decltype(&::setsockopt)>("setsockopt")(s, level, name, static_cast<const char*>(value), len);
}
int bind(SOCKET s, const sockaddr* name, int len) { return Fn<decltype(&::bind)>("bind")(s, name, len); }
int listen(SOCKET s, int backlog) { return Fn<decltype(&::listen)>("listen")(s, backlog); }
SOCKET accept(SOCKET s, sockaddr* address, int* len) { return Fn<decltype(&::accept)>("accept")(s, address, len); }
int getsockname(SOCKET s, sockaddr* name, int* len) {
    return Fn<decltype(&::getsockname)>("getsockname")(s, name, len);
}
int WSAAsyncSelect(SOCKET s, HWND window, u_int msg, long events) {
    return Fn<decltype(&::WSAAsyncSelect)>("WSAAsyncSelect")(s, window, msg, events);
}
int send(SOCKET s, const char* data, int len) { return Fn<decltype(&::send)>("send")(s, data, len, 0); }
int recv(SOCKET s, char* data, int len) { return Fn<decltype(&::recv)>("recv")(s, data, len, 0); }
int shutdown(SOCKET s, int how) { return Fn<decltype(&::shutdown)>("shutdown")(s, how); }
int closesocket(SOCKET s) { return Fn<decltype(&::closesocket)>("closesocket")(s); }
}  // namespace ws

// A connection closed at once: with reset, without waiting for anything
// still to go out (a zero linger).
void CloseSocket(SOCKET s, bool reset) {
    if (reset) {
        const linger now{1, 0};
        ws::setsockopt(s, SOL_SOCKET, SO_LINGER, &now, sizeof now);
    }
    ws::closesocket(s);
}

// An address as text: IPv4 dotted; an IPv4 address carried in IPv6
// (::ffff:a.b.c.d) as the IPv4 address it is; other IPv6 addresses in their
// short form, the longest run of zero groups written "::".
std::string AddressText(const sockaddr_storage& address) {
    char text[64] = "";
    if (address.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(address);
        const auto* b = reinterpret_cast<const unsigned char*>(&in.sin_addr);
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
        return text;
    }
    if (address.ss_family != AF_INET6) return "";
    const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address);
    const auto* b = reinterpret_cast<const unsigned char*>(&in6.sin6_addr);
    static const unsigned char kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    if (std::memcmp(b, kMapped, sizeof kMapped) == 0) {
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[12], b[13], b[14], b[15]);
        return text;
    }
    unsigned groups[8];
    for (int i = 0; i < 8; ++i) groups[i] = (b[2 * i] << 8) | b[2 * i + 1];
    int runStart = -1, runLength = 0;
    for (int i = 0; i < 8;) {
        int j = i;
        while (j < 8 && groups[j] == 0) ++j;
        if (j - i > runLength && j - i >= 2) runStart = i, runLength = j - i;
        i = j == i ? i + 1 : j;
    }
    std::string result;
    for (int i = 0; i < 8; ++i) {
        if (i == runStart) {
            result += "::";
            i += runLength - 1;
            continue;
        }
        if (!result.empty() && result.back() != ':') result += ':';
        std::snprintf(text, sizeof text, "%x", groups[i]);
        result += text;
    }
    return result;
}

}  // namespace

const char* ConnectionEndName(ConnectionEnd end) {
    switch (end) {
    case ConnectionEnd::Answered: return "answered";
    case ConnectionEnd::NotLocal: return "not from the local network";
    case ConnectionEnd::Crowded: return "too many connections";
    case ConnectionEnd::TimedOut: return "timed out";
    case ConnectionEnd::TooMuch: return "sent too much";
    case ConnectionEnd::ClosedByPeer: return "closed by the client";
    case ConnectionEnd::Stopped: return "stopped";
    }
    return "";
}

// One client's connection: its request as it is read, then its answer as it
// goes out.
struct TListener::Connection {
    SOCKET socket = INVALID_SOCKET;
    unsigned id = 0;  // also its timer's
    std::string sender;
    station::RequestReader reader;
    std::size_t bytesRead = 0;
    bool answered = false;  // the answer is queued (or out)
    std::string answer;
    std::size_t sent = 0;
    bool finished = false;  // the whole answer is out and sending is shut down
    bool peerClosed = false;  // the client has ended its side (or the connection broke)
};

TListener::TListener() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    if (!GetClassInfoW(instance, kWindowClass, &wc)) {
        wc = WNDCLASSW{};
        wc.lpfnWndProc = WindowProcedure;
        wc.cbWndExtra = sizeof(LONG_PTR);
        wc.hInstance = instance;
        wc.lpszClassName = kWindowClass;
        RegisterClassW(&wc);
    }
    window_ = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
    if (!window_) throw ESocketException("Cannot create the listener's window");
    SetWindowLongPtrW(window_, 0, reinterpret_cast<LONG_PTR>(this));
}

TListener::~TListener() {
    try {
        OnConnectionEnded = nullptr;
        Close();
    } catch (...) {
    }
    SetWindowLongPtrW(window_, 0, 0);
    DestroyWindow(window_);
}

bool TListener::Listening() const { return socket_ != INVALID_SOCKET; }

int TListener::Listen(std::uint16_t port) {
    Close();
    // IPv6 with IPv4 on the same socket where the system has IPv6; else
    // IPv4 alone.
    SOCKET s = ws::socket(AF_INET6, SOCK_STREAM, IPPROTO_TCP);
    bool six = s != INVALID_SOCKET;
    if (six) {
        const DWORD off = 0;
        if (ws::setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off) != 0) {
            ws::closesocket(s);
            six = false;
        }
    }
    if (!six) s = ws::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return ws::WSAGetLastError();
    // No other program may take the port over while it is ours (Windows
    // lets a socket with SO_REUSEADDR share it otherwise); where the option
    // is unknown, nothing is lost.
    const BOOL on = TRUE;
    ws::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, &on, sizeof on);

    sockaddr_storage address{};
    int length = 0;
    if (six) {
        auto& in6 = reinterpret_cast<sockaddr_in6&>(address);
        in6.sin6_family = AF_INET6;
        in6.sin6_port = static_cast<u_short>((port >> 8) | ((port & 0xff) << 8));
        length = sizeof in6;
    } else {
        auto& in = reinterpret_cast<sockaddr_in&>(address);
        in.sin_family = AF_INET;
        in.sin_port = static_cast<u_short>((port >> 8) | ((port & 0xff) << 8));
        in.sin_addr.s_addr = INADDR_ANY;
        length = sizeof in;
    }
    if (ws::bind(s, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ws::WSAAsyncSelect(s, window_, WM_LISTENER_EVENT, FD_ACCEPT) != 0 || ws::listen(s, SOMAXCONN) != 0) {
        const int error = ws::WSAGetLastError();
        ws::closesocket(s);
        return error;
    }
    length = sizeof address;
    if (ws::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        const u_short net = address.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(address).sin6_port
                                                          : reinterpret_cast<sockaddr_in&>(address).sin_port;
        port = static_cast<std::uint16_t>((net >> 8) | ((net & 0xff) << 8));
    }
    socket_ = s;
    port_ = port;
    return 0;
}

void TListener::CloseListeningSocket() {
    if (socket_ == INVALID_SOCKET) return;
    ws::closesocket(socket_);
    socket_ = INVALID_SOCKET;
    port_ = 0;
}

void TListener::Close() {
    CloseListeningSocket();
    while (!connections_.empty()) End(*connections_.front(), ConnectionEnd::Stopped, true);
    // Notifications still queued for the sockets just closed are dropped,
    // so that none reaches a later socket with the same handle.
    MSG msg;
    while (PeekMessageW(&msg, window_, WM_LISTENER_EVENT, WM_LISTENER_EVENT, PM_REMOVE)) {
    }
}

TListener::Connection* TListener::Find(UINT_PTR s) {
    for (auto& c : connections_)
        if (c->socket == s) return c.get();
    return nullptr;
}

TListener::Connection* TListener::FindById(unsigned id) {
    for (auto& c : connections_)
        if (c->id == id) return c.get();
    return nullptr;
}

LRESULT CALLBACK TListener::WindowProcedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<TListener*>(GetWindowLongPtrW(hwnd, 0));
    if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
    LRESULT result = 0;
    rtl::Dispatch([&] { result = self->WndProc(msg, wp, lp); });
    return result;
}

LRESULT TListener::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_LISTENER_EVENT:
        if (wp == socket_ && socket_ != INVALID_SOCKET) {
            if (WSAGETSELECTEVENT(lp) & FD_ACCEPT) AcceptWaiting();
        } else {
            HandleEvents(wp, WSAGETSELECTEVENT(lp), WSAGETSELECTERROR(lp));
        }
        return 0;
    case WM_TIMER:
        // The connection's time is up: waiting for its request, or for its
        // client to close after the answer.
        KillTimer(window_, wp);
        if (Connection* c = FindById(static_cast<unsigned>(wp))) End(*c, ConnectionEnd::TimedOut, true);
        return 0;
    default:
        return DefWindowProcW(window_, msg, wp, lp);
    }
}

void TListener::AcceptWaiting() {
    for (int i = 0; i < kAcceptsAtOnce && socket_ != INVALID_SOCKET; ++i) {
        sockaddr_storage address{};
        int length = sizeof address;
        const SOCKET s = ws::accept(socket_, reinterpret_cast<sockaddr*>(&address), &length);
        if (s == INVALID_SOCKET) return;  // none waiting any more
        const std::string sender = AddressText(address);
        if (!station::IsLocalNetworkAddress(sender)) {
            CloseSocket(s, true);
            if (OnConnectionEnded) OnConnectionEnded(sender, ConnectionEnd::NotLocal);
            continue;
        }
        Accept(s, sender);
    }
}

void TListener::Accept(UINT_PTR s, const std::string& sender) {
    // No more than the limit at once: the one that has waited longest for
    // its request to end makes room (a station's upload is over in moments;
    // a connection that has sat idle is the likelier one to lose).
    if (connections_.size() >= static_cast<std::size_t>(station::kMaxConnections)) {
        auto oldest = std::find_if(connections_.begin(), connections_.end(), [](const auto& c) { return !c->answered; });
        if (oldest == connections_.end()) oldest = connections_.begin();
        End(**oldest, ConnectionEnd::Crowded, true);
    }
    auto connection = std::make_unique<Connection>();
    connection->socket = s;
    connection->id = nextId_++;
    if (nextId_ == 0) nextId_ = 1;
    connection->sender = sender;
    if (ws::WSAAsyncSelect(s, window_, WM_LISTENER_EVENT, FD_READ | FD_WRITE | FD_CLOSE) != 0) {
        CloseSocket(s, true);
        if (OnConnectionEnded) OnConnectionEnded(sender, ConnectionEnd::ClosedByPeer);
        return;
    }
    SetTimer(window_, connection->id, RequestDeadlineMs, nullptr);
    connections_.push_back(std::move(connection));
}

void TListener::HandleEvents(UINT_PTR s, WORD events, WORD errCode) {
    Connection* c = Find(s);
    if (!c) return;  // a socket already closed
    const unsigned id = c->id;
    if (events & FD_READ) {
        if (!ReadInput(*c)) return;
    }
    if ((events & FD_WRITE) && c->answered && !c->finished) {
        if (!SendAnswer(*c)) return;
    }
    if (events & FD_CLOSE) {
        // The client has ended its side (or the connection is broken): what
        // it sent before that is read first.
        if (!ReadInput(*c)) return;
        c = FindById(id);
        // A close still queued for an earlier socket that had the same
        // handle: this connection is open.
        if (!c || !c->peerClosed) return;
        if (c->finished)
            End(*c, ConnectionEnd::Answered, false);
        else if (!c->answered || errCode != 0)
            End(*c, ConnectionEnd::ClosedByPeer, true);
        // Otherwise the answer is still going out to a client that only
        // closed its sending side; it ends once the answer is out.
    }
}

bool TListener::ReadInput(Connection& c) {
    const unsigned id = c.id;
    char piece[4096];
    for (;;) {
        const int got = ws::recv(c.socket, piece, sizeof piece);
        if (got < 0 && ws::WSAGetLastError() == WSAEWOULDBLOCK) return true;  // nothing more now
        if (got <= 0) {
            c.peerClosed = true;  // the end, or a broken connection
            return true;
        }
        c.bytesRead += static_cast<std::size_t>(got);
        if (c.bytesRead > kMostBytesRead) {
            End(c, ConnectionEnd::TooMuch, true);
            return false;
        }
        if (c.answered) continue;  // anything after the request is dropped
        if (c.reader.Feed(piece, static_cast<std::size_t>(got)) != station::RequestReader::State::Reading) {
            AnswerRequest(c);
            if (!FindById(id)) return false;
        }
    }
}

void TListener::AnswerRequest(Connection& c) {
    const unsigned id = c.id;
    c.answered = true;
    // What cannot be read is answered 400; a request, as the handler says.
    int status = 400;
    if (c.reader.Current() == station::RequestReader::State::Complete && OnRequest)
        status = OnRequest(c.reader.Request(), c.sender);
    Connection* still = FindById(id);
    if (!still) return;
    if (status == 0) {
        End(*still, ConnectionEnd::NotLocal, true);
        return;
    }
    still->answer = station::Answer(status);
    // The client has this long again to take the answer and close.
    SetTimer(window_, id, RequestDeadlineMs, nullptr);
    SendAnswer(*still);
}

bool TListener::SendAnswer(Connection& c) {
    while (c.sent < c.answer.size()) {
        const int put = ws::send(c.socket, c.answer.data() + c.sent, static_cast<int>(c.answer.size() - c.sent));
        if (put > 0) {
            c.sent += static_cast<std::size_t>(put);
            continue;
        }
        if (ws::WSAGetLastError() == WSAEWOULDBLOCK) return true;  // the rest when there is room
        End(c, ConnectionEnd::ClosedByPeer, true);
        return false;
    }
    // All out: the connection ends as the client closes its side.
    c.finished = true;
    ws::shutdown(c.socket, SD_SEND);
    if (c.peerClosed) {
        End(c, ConnectionEnd::Answered, false);
        return false;
    }
    return true;
}

void TListener::End(Connection& c, ConnectionEnd end, bool reset) {
    KillTimer(window_, c.id);
    if (!reset) {
        // A graceful end: whatever the client still sent is read first, or
        // the system would reset the connection.
        char piece[4096];
        std::size_t allowance = kMostBytesRead;
        for (int got; allowance > 0 && (got = ws::recv(c.socket, piece, sizeof piece)) > 0;)
            allowance -= std::min<std::size_t>(allowance, static_cast<std::size_t>(got));
    }
    CloseSocket(c.socket, reset);
    const std::string sender = c.sender;
    const auto it = std::find_if(connections_.begin(), connections_.end(), [&](const auto& p) { return p.get() == &c; });
    if (it != connections_.end()) connections_.erase(it);
    if (OnConnectionEnded) OnConnectionEnded(sender, end);
}

}  // namespace net
