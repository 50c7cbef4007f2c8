// The sockets binding and the TCP client. The Winsock header supplies the
// types, constants and function signatures only: every function is called
// through the address looked up in wsock32.dll, loaded from the system
// folder, so the program does not link the sockets library.
#include <winsock2.h>

#include "net/WSocket.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "rtl/Application.h"
#include "rtl/Clock.h"
#include "rtl/SystemLibrary.h"

namespace net {

// ===========================================================================
// The sockets binding
// ===========================================================================

namespace {

const char kLibraryName[] = "wsock32.dll";

enum Fn {
    fWSAStartup, fWSACleanup, fWSAGetLastError, fWSASetLastError, f_inet_addr, f_gethostbyname,
    f_getservbyname, f_getprotobyname, f_htons, f_ntohs, f_socket, f_getsockopt, f_setsockopt,
    fWSAAsyncSelect, f_connect, f_send, f_recv, f_ioctlsocket, f_shutdown, f_closesocket, f_bind,
    fWSAAsyncGetHostByName, kFnCount
};

const char* const kFnNames[kFnCount] = {
    "WSAStartup", "WSACleanup", "WSAGetLastError", "WSASetLastError", "inet_addr", "gethostbyname",
    "getservbyname", "getprotobyname", "htons", "ntohs", "socket", "getsockopt", "setsockopt",
    "WSAAsyncSelect", "connect", "send", "recv", "ioctlsocket", "shutdown", "closesocket", "bind",
    "WSAAsyncGetHostByName",
};

}  // namespace

// A host lookup under way. The library writes the answer into the buffer
// and posts a message when it is done, whether or not anybody still waits
// for it, so the request lives until that message has come.
struct HostLookupRequest {
    HANDLE handle = nullptr;
    TWSocket* owner = nullptr;  // nullptr once given up
    char buffer[MAXGETHOSTSTRUCT];
};

namespace {

// Process-wide: the library, its function table, its start-up data, the
// requested version, the count of live components and the host lookups
// under way, under one lock. Once started, the library stays loaded until
// the program ends: a lookup given up may still run in it, and the system
// may still be closing a socket in the background, long after the
// component that asked has gone.
struct Binding {
    std::mutex lock;
    HMODULE module = nullptr;
    WSADATA startup{};
    FARPROC procs[kFnCount] = {};
    FARPROC replaced[kFnCount] = {};  // tests' stand-ins
    BYTE verLow = 1;
    BYTE verHigh = 1;
    int instances = 0;
    std::vector<std::unique_ptr<HostLookupRequest>> lookups;  // in the order they started

    ~Binding() {
        // At program end, when no component is left and no lookup runs.
        std::lock_guard<std::mutex> guard(lock);
        if (instances < 1 && lookups.empty()) UnloadLocked();
        // A lookup still running may yet write its buffer: never freed.
        for (auto& request : lookups) request.release();
    }

    bool UnusedLocked() const { return instances < 1 && lookups.empty(); }

    void UnloadLocked() {
        if (!module) return;
        FARPROC cleanup = procs[fWSACleanup] ? procs[fWSACleanup] : GetProcAddress(module, "WSACleanup");
        if (cleanup) reinterpret_cast<decltype(&::WSACleanup)>(reinterpret_cast<void (*)()>(cleanup))();
        FreeLibrary(module);
        module = nullptr;
        for (FARPROC& p : procs) p = nullptr;
    }

    FARPROC LookupLocked(const char* name, FARPROC& slot) {
        if (!slot) {
            slot = GetProcAddress(module, name);
            if (!slot) {
                const DWORD error = GetLastError();
                throw ESocketException(std::string("Procedure ") + name + " not found in " + kLibraryName +
                                       " Error #" + std::to_string(error));
            }
        }
        return slot;
    }

    void LoadLocked() {
        if (module) return;
        HMODULE loaded = rtl::LoadSystemLibrary(kLibraryName);
        if (!loaded) {
            const DWORD error = GetLastError();
            throw ESocketException(std::string("Unable to load ") + kLibraryName + " Error #" +
                                   std::to_string(error));
        }
        module = loaded;
        int result = 0;
        try {
            auto start = reinterpret_cast<decltype(&::WSAStartup)>(
                reinterpret_cast<void (*)()>(LookupLocked(kFnNames[fWSAStartup], procs[fWSAStartup])));
            result = start(MAKEWORD(verLow, verHigh), &startup);
        } catch (...) {
            Release();
            throw;
        }
        if (result != 0) {
            // Not started: let go of it, so that a later use (perhaps with
            // another version) loads it afresh instead of failing for good.
            Release();
            char text[64];
            std::snprintf(text, sizeof text, "%s: WSAStartup error #%d", kLibraryName, result);
            throw ESocketException(text);
        }
    }

    void Release() {
        FreeLibrary(module);
        module = nullptr;
        for (FARPROC& p : procs) p = nullptr;
    }
};

Binding& TheBinding() {
    static Binding binding;
    return binding;
}

FARPROC Proc(Fn fn) {
    Binding& b = TheBinding();
    std::lock_guard<std::mutex> guard(b.lock);
    b.LoadLocked();
    if (b.replaced[fn]) return b.replaced[fn];
    return b.LookupLocked(kFnNames[fn], b.procs[fn]);
}

template <class F>
F Call(Fn fn) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(Proc(fn)));
}

// The functions of wsock32.dll that the component calls.
namespace ws {
int WSAGetLastError() { return Call<decltype(&::WSAGetLastError)>(fWSAGetLastError)(); }
void WSASetLastError(int code) { Call<decltype(&::WSASetLastError)>(fWSASetLastError)(code); }
unsigned long inet_addr(const char* text) { return Call<decltype(&::inet_addr)>(f_inet_addr)(text); }
hostent* gethostbyname(const char* name) { return Call<decltype(&::gethostbyname)>(f_gethostbyname)(name); }
servent* getservbyname(const char* name, const char* proto) {
    return Call<decltype(&::getservbyname)>(f_getservbyname)(name, proto);
}
protoent* getprotobyname(const char* name) { return Call<decltype(&::getprotobyname)>(f_getprotobyname)(name); }
u_short htons(u_short v) { return Call<decltype(&::htons)>(f_htons)(v); }
u_short ntohs(u_short v) { return Call<decltype(&::ntohs)>(f_ntohs)(v); }
SOCKET socket(int af, int type, int protocol) { return Call<decltype(&::socket)>(f_socket)(af, type, protocol); }
int getsockopt(SOCKET s, int level, int name, char* value, int* len) {
    return Call<decltype(&::getsockopt)>(f_getsockopt)(s, level, name, value, len);
}
int setsockopt(SOCKET s, int level, int name, const char* value, int len) {
    return Call<decltype(&::setsockopt)>(f_setsockopt)(s, level, name, value, len);
}
int WSAAsyncSelect(SOCKET s, HWND window, u_int msg, long events) {
    return Call<decltype(&::WSAAsyncSelect)>(fWSAAsyncSelect)(s, window, msg, events);
}
HANDLE WSAAsyncGetHostByName(HWND window, u_int msg, const char* name, char* buffer, int length) {
    return Call<decltype(&::WSAAsyncGetHostByName)>(fWSAAsyncGetHostByName)(window, msg, name, buffer, length);
}
int connect(SOCKET s, const sockaddr* name, int len) { return Call<decltype(&::connect)>(f_connect)(s, name, len); }
int send(SOCKET s, const char* data, int len, int flags) { return Call<decltype(&::send)>(f_send)(s, data, len, flags); }
int recv(SOCKET s, char* data, int len, int flags) { return Call<decltype(&::recv)>(f_recv)(s, data, len, flags); }
int ioctlsocket(SOCKET s, long cmd, u_long* arg) { return Call<decltype(&::ioctlsocket)>(f_ioctlsocket)(s, cmd, arg); }
int shutdown(SOCKET s, int how) { return Call<decltype(&::shutdown)>(f_shutdown)(s, how); }
int closesocket(SOCKET s) { return Call<decltype(&::closesocket)>(f_closesocket)(s); }
int bind(SOCKET s, const sockaddr* name, int len) { return Call<decltype(&::bind)>(f_bind)(s, name, len); }
}  // namespace ws

// The lookups of the resolution rules, done by wsock32.dll.
class WinsockResolver : public ResolverLibrary {
public:
    std::optional<int> ProtocolByName(const std::string& name) override {
        protoent* entry = ws::getprotobyname(name.c_str());
        if (!entry) return std::nullopt;
        return entry->p_proto;
    }
    std::optional<std::uint16_t> ServiceByName(const std::string& service, const std::string& proto) override {
        servent* entry = ws::getservbyname(service.c_str(), proto.c_str());
        if (!entry) return std::nullopt;
        return ws::ntohs(static_cast<u_short>(entry->s_port));
    }
    std::uint32_t ParseAddress(const std::string& text) override {
        return static_cast<std::uint32_t>(ws::inet_addr(text.c_str()));
    }
    std::optional<std::uint32_t> HostByName(const std::string& name) override {
        hostent* entry = ws::gethostbyname(name.c_str());
        if (!entry || entry->h_addrtype != AF_INET || entry->h_length < 4 || !entry->h_addr_list ||
            !entry->h_addr_list[0])
            return std::nullopt;
        std::uint32_t address = 0;
        std::memcpy(&address, entry->h_addr_list[0], sizeof address);
        return address;
    }
    int LastError() override { return ws::WSAGetLastError(); }
};

// The sockets library's asynchronous host-name lookup.
class WinsockAsyncLookup : public AsyncHostLookup {
public:
    HANDLE Start(HWND window, UINT msg, const std::string& name, char* buffer, int length, int& error) override {
        HANDLE request = ws::WSAAsyncGetHostByName(window, msg, name.c_str(), buffer, length);
        error = request ? 0 : ws::WSAGetLastError();
        return request;
    }
};

WinsockAsyncLookup& TheWinsockAsyncLookup() {
    static WinsockAsyncLookup lookup;
    return lookup;
}

void AddInstance() {
    Binding& b = TheBinding();
    std::lock_guard<std::mutex> guard(b.lock);
    ++b.instances;
}

void RemoveInstance() {
    Binding& b = TheBinding();
    std::lock_guard<std::mutex> guard(b.lock);
    --b.instances;
}

// The window that every lookup's answer goes to. It is not a component's,
// so an answer finds it even after the component that asked has gone; it
// lives as long as the thread that made it (the user-interface thread).
HWND LookupWindow(WNDPROC procedure) {
    static HWND window = nullptr;
    if (window && IsWindow(window)) return window;
    const wchar_t className[] = L"XSocketLookupWindowClass";
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    if (!GetClassInfoW(instance, className, &wc)) {
        wc = WNDCLASSW{};
        wc.lpfnWndProc = procedure;
        wc.hInstance = instance;
        wc.lpszClassName = className;
        if (!RegisterClassW(&wc)) return nullptr;
    }
    window = CreateWindowExW(0, className, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
    return window;
}

// Starts a lookup for owner; nullptr, with the library's error code in
// error, when it cannot start. Raises what loading the library raises.
HostLookupRequest* StartLookup(AsyncHostLookup& lookup, HWND window, const std::string& name, TWSocket* owner,
                               int& error) {
    Binding& b = TheBinding();
    auto request = std::make_unique<HostLookupRequest>();
    request->owner = owner;
    HostLookupRequest* started = request.get();
    auto forget = [&] {
        std::lock_guard<std::mutex> guard(b.lock);
        b.lookups.erase(std::find_if(b.lookups.begin(), b.lookups.end(),
                                     [&](const auto& r) { return r.get() == started; }));
    };
    {
        std::lock_guard<std::mutex> guard(b.lock);
        b.lookups.push_back(std::move(request));
    }
    try {
        started->handle = lookup.Start(window, WM_ASYNCGETHOSTBYNAME, name, started->buffer,
                                       static_cast<int>(sizeof started->buffer), error);
    } catch (...) {
        forget();
        throw;
    }
    if (!started->handle) {
        forget();
        return nullptr;
    }
    return started;
}

// The lookup that an answer belongs to, taken out of the list; nullptr for
// an answer to no lookup of ours. Should the library use a handle again
// once its answer is posted, the older request is the one answered first.
std::unique_ptr<HostLookupRequest> TakeAnsweredLookup(HANDLE handle) {
    Binding& b = TheBinding();
    std::lock_guard<std::mutex> guard(b.lock);
    const auto it =
        std::find_if(b.lookups.begin(), b.lookups.end(), [&](const auto& r) { return r->handle == handle; });
    if (it == b.lookups.end()) return nullptr;
    std::unique_ptr<HostLookupRequest> request = std::move(*it);
    b.lookups.erase(it);
    return request;
}

}  // namespace

std::size_t WSocketPendingLookups() {
    Binding& b = TheBinding();
    std::lock_guard<std::mutex> guard(b.lock);
    return b.lookups.size();
}

bool WSocketLookupBufferPending(const char* buffer) {
    Binding& b = TheBinding();
    std::lock_guard<std::mutex> guard(b.lock);
    return std::any_of(b.lookups.begin(), b.lookups.end(), [&](const auto& r) { return r->buffer == buffer; });
}

bool WSocketLibraryLoaded() {
    Binding& b = TheBinding();
    std::lock_guard<std::mutex> guard(b.lock);
    return b.module != nullptr;
}

bool WSocketReleaseLibrary() {
    Binding& b = TheBinding();
    std::lock_guard<std::mutex> guard(b.lock);
    if (!b.UnusedLocked()) return false;
    b.UnloadLocked();
    return true;
}

void WSocketReplaceProc(const std::string& name, FARPROC replacement) {
    Binding& b = TheBinding();
    std::lock_guard<std::mutex> guard(b.lock);
    for (int i = 0; i < kFnCount; ++i)
        if (name == kFnNames[i]) b.replaced[i] = replacement;
}

FARPROC WSocketGetProc(const std::string& name) {
    for (int i = 0; i < kFnCount; ++i)
        if (name == kFnNames[i]) return Proc(static_cast<Fn>(i));
    // Not one the component uses: looked up each time.
    Binding& b = TheBinding();
    std::lock_guard<std::mutex> guard(b.lock);
    b.LoadLocked();
    FARPROC slot = nullptr;
    return b.LookupLocked(name.c_str(), slot);
}

int WSocketResolveProto(const std::string& text) {
    WinsockResolver library;
    return ResolveProto(text, library);
}

std::uint16_t WSocketResolvePort(const std::string& port, const std::string& proto) {
    WinsockResolver library;
    return ResolvePort(port, proto, library);
}

std::uint32_t WSocketResolveHost(const std::string& text) {
    WinsockResolver library;
    return ResolveHost(text, library);
}

// ===========================================================================
// The hidden window
// ===========================================================================

namespace {

const wchar_t kWindowClass[] = L"XSocketWindowClass";
constexpr std::uint32_t kMagic = 0x57536F63;  // marks a live component in the window slot
constexpr long kEventMask = FD_READ | FD_WRITE | FD_ACCEPT | FD_CONNECT | FD_CLOSE;  // 59
constexpr int kReceivePiece = 1024;
constexpr int kChunkSize = 1460;
// What is read of a connection before the user's Close. The greeting and
// the reply to the login are a few hundred bytes; of a peer that sends
// without end nothing more is read (and so no more of its data comes as
// notifications to hold up the window).
constexpr int kReadLimit = 64 * 1024;
// What Close reads at most before it ends the connection. A peer that is
// still sending then gets a reset, and Close does not wait for it.
constexpr int kCloseReadLimit = 64 * 1024;
// How long Close offers the system to finish a close that would block (a
// linger time, or data still going out) before it resets the connection.
constexpr auto kCloseDeadline = std::chrono::seconds(5);

std::mutex classLock;
int classUsers = 0;

HWND AllocateHiddenWindow(WNDPROC procedure) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    {
        std::lock_guard<std::mutex> guard(classLock);
        WNDCLASSW wc{};
        if (!GetClassInfoW(instance, kWindowClass, &wc)) {
            wc = WNDCLASSW{};
            wc.lpfnWndProc = procedure;
            wc.cbWndExtra = sizeof(LONG_PTR);
            wc.hInstance = instance;
            wc.lpszClassName = kWindowClass;
            if (!RegisterClassW(&wc)) return nullptr;
        }
        ++classUsers;
    }
    HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, kWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  instance, nullptr);
    if (!window) {
        std::lock_guard<std::mutex> guard(classLock);
        if (--classUsers == 0) UnregisterClassW(kWindowClass, instance);
    }
    return window;
}

void ReleaseHiddenWindow(HWND window) {
    SetWindowLongPtrW(window, 0, 0);
    DestroyWindow(window);
    std::lock_guard<std::mutex> guard(classLock);
    if (--classUsers == 0) UnregisterClassW(kWindowClass, GetModuleHandleW(nullptr));
}

bool IsClosingCode(int code) {
    return code == WSAECONNRESET || code == WSAENOTSOCK || code == WSAENOTCONN || code == WSAEINVAL ||
           code == WSAECONNABORTED;
}

}  // namespace

// ===========================================================================
// TWSocket
// ===========================================================================

TWSocket::TWSocket() : magic_(kMagic) {
    window_ = AllocateHiddenWindow(&TWSocket::WindowProcedure);
    if (!window_) ReportError("Cannot create a hidden window for TWSocket");
    SetWindowLongPtrW(window_, 0, reinterpret_cast<LONG_PTR>(this));
    ResetDefaults();
    AddInstance();
}

TWSocket::~TWSocket() {
    // No handler of the owner runs while the component goes away.
    destroying_ = true;
    OnDataSent = nullptr;
    OnSessionClosed = nullptr;
    OnError = nullptr;
    OnSessionConnected = nullptr;
    OnChangeState = nullptr;
    OnBgException = nullptr;
    OnDataReceived = nullptr;
    GiveUpLookup();
    if (state_ != wsClosed) {
        try {
            Close();
        } catch (...) {
        }
    }
    RemoveInstance();
    sendList_.clear();
    ReleaseHiddenWindow(window_);
    magic_ = 0;
}

// ---- properties -----------------------------------------------------------

void TWSocket::SetRemoteText(std::string& text, bool& assigned, bool& resolved, const std::string& value,
                             const char* refusal) {
    if (assigned && value == text) return;
    if (state_ != wsClosed) {
        ReportError(refusal);
        return;
    }
    text = TrimBlanks(value);
    assigned = !text.empty();
    resolved = false;
}

void TWSocket::SetAddr(const std::string& value) {
    SetRemoteText(addr_, addrAssigned_, addrResolved_, value, "Cannot change Addr if not closed");
}

void TWSocket::SetPort(const std::string& value) {
    SetRemoteText(port_, portAssigned_, portResolved_, value, "Cannot change Port if not closed");
}

void TWSocket::SetProto(const std::string& value) {
    SetRemoteText(proto_, protoAssigned_, protoResolved_, value, "Cannot change Proto if not closed");
}

void TWSocket::SetLocalAddr(const std::string& value) {
    if (state_ != wsClosed) {
        ReportError("Cannot change LocalAddr if not closed");
        return;
    }
    localAddr_ = TrimBlanks(value);
    if (localAddr_.empty()) localAddr_ = "0.0.0.0";
}

void TWSocket::SetLocalPort(const std::string& value) {
    if (state_ != wsClosed) {
        ReportError("Cannot change LocalPort if not closed");
        return;
    }
    localPort_ = TrimBlanks(value);
    localPortResolved_ = false;
}

void TWSocket::SetSendFlags(TSocketSendFlags value) {
    if (value != wsSendNormal && value != wsSendUrgent) {
        ReportError("Invalid SendFlags");
        return;
    }
    sendFlags_ = value;
}

BYTE TWSocket::ReqVerLow() const {
    Binding& b = TheBinding();
    std::lock_guard<std::mutex> guard(b.lock);
    return b.verLow;
}

BYTE TWSocket::ReqVerHigh() const {
    Binding& b = TheBinding();
    std::lock_guard<std::mutex> guard(b.lock);
    return b.verHigh;
}

void TWSocket::SetReqVerLow(BYTE value) { SetReqVer(value, false); }
void TWSocket::SetReqVerHigh(BYTE value) { SetReqVer(value, true); }

void TWSocket::SetReqVer(BYTE value, bool high) {
    bool refused = false;
    {
        Binding& b = TheBinding();
        std::lock_guard<std::mutex> guard(b.lock);
        BYTE& stored = high ? b.verHigh : b.verLow;
        if (b.module && value != stored)
            refused = true;
        else
            stored = value;
    }
    if (refused)
        ReportSocketFailure(high ? "SetReqVerHigh: WinSock version can't be changed now"
                                 : "SetReqVerLow: WinSock version can't be changed now");
}

void TWSocket::SetState(TSocketState state) {
    if (state_ == state) return;
    const TSocketState old = state_;
    state_ = state;
    if (OnChangeState) OnChangeState(this, old, state);
}

// The per-connection settings, as after construction and after every close.
void TWSocket::ResetDefaults() {
    remoteAddress_ = 0;
    remotePortNet_ = 0;
    addrAssigned_ = portAssigned_ = false;
    addrResolved_ = portResolved_ = protoResolved_ = localPortResolved_ = false;
    proto_ = "tcp";
    protoAssigned_ = true;
    protocol_ = IPPROTO_TCP;
    socketType_ = SOCK_STREAM;
    localPort_ = "0";
    localAddr_ = "0.0.0.0";
    localPortNumber_ = 0;
    lingerOnOff_ = wsLingerOn;
    lingerTimeout_ = 0;
    socket_ = kInvalidSocket;
    state_ = wsClosed;
    sendComplete_ = true;
    closeNotified_ = false;
    flushTimeout_ = 60;
    received_ = 0;
}

void TWSocket::ResetQuietly() {
    try {
        ResetDefaults();
    } catch (...) {
    }
}

// ---- errors ---------------------------------------------------------------

void TWSocket::ReportError(const std::string& message) {
    if (OnError) {
        OnError(this);
        return;
    }
    throw ESocketException(message);
}

void TWSocket::ReportSocketFailure(const std::string& operation) {
    const int code = ws::WSAGetLastError();
    const std::string text =
        "Error " + std::to_string(code) + " in function " + operation + "\r\n" + SocketErrorText(code);
    if (code == WSAECONNRESET || code == WSAENOTCONN) {
        if (socket_ != kInvalidSocket) {
            ws::closesocket(socket_);
            DropSocket();
        }
        if (state_ != wsClosed) {
            // Closed before the event, so that a handler may start over.
            SetState(wsClosed);
            if (OnSessionClosed) OnSessionClosed(this, static_cast<std::uint16_t>(code));
        }
    }
    lastError_ = code;
    ReportError(text);
}

// ---- connecting -----------------------------------------------------------

bool TWSocket::SetLingerOption() {
    if (lingerOnOff_ == wsLingerNoSet) return true;
    if (socket_ == kInvalidSocket) {
        ReportError("Cannot set linger option at this time");
        return false;
    }
    linger value{};
    value.l_onoff = static_cast<u_short>(lingerOnOff_ == wsLingerOn ? 1 : 0);
    value.l_linger = static_cast<u_short>(lingerTimeout_);
    if (ws::setsockopt(socket_, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&value), sizeof value) != 0) {
        ReportSocketFailure("setsockopt(SO_LINGER)");
        return false;
    }
    return true;
}

void TWSocket::Connect() {
    if ((socket_ != kInvalidSocket || lookup_) && state_ != wsClosed) {
        ReportError("Connect: Socket already in use");
        return;
    }
    if (!portAssigned_) {
        ReportError("Connect: No Port Specified");
        return;
    }
    if (!addrAssigned_) {
        ReportError("Connect: No IP Address Specified");
        return;
    }
    if (!protoAssigned_) {
        ReportError("Connect: No Protocol Specified");
        return;
    }
    // A new connection reports its own sends and its own close, also when
    // it is started from inside the previous one's OnSessionClosed.
    closeNotified_ = false;
    sendComplete_ = true;

    std::string failure;
    bool lookUp = false;
    try {
        if (!protoResolved_) {
            protocol_ = WSocketResolveProto(proto_);
            socketType_ = protocol_ == IPPROTO_TCP ? SOCK_STREAM : protocol_ == IPPROTO_UDP ? SOCK_DGRAM : SOCK_RAW;
            protoResolved_ = true;
        }
        if (!portResolved_) {
            remotePortNet_ = ws::htons(WSocketResolvePort(port_, proto_));
            portResolved_ = true;
        }
        if (!localPortResolved_) {
            localPortNumber_ = WSocketResolvePort(localPort_, proto_);
            localPortResolved_ = true;
        }
        if (!addrResolved_) {
            if (HostNeedsLookup(addr_)) {
                lookUp = true;
            } else {
                remoteAddress_ = WSocketResolveHost(addr_);
                addrResolved_ = true;
            }
        }
    } catch (const std::exception& e) {
        failure = std::string("connect: ") + e.what();
    }
    if (!failure.empty()) {
        ReportError(failure);
        return;
    }
    if (!lookUp) {
        OpenConnection();
        return;
    }

    // A host name: the window's thread does not wait for the resolver. The
    // connection is opened when the answer arrives (HandleLookupAnswer).
    AsyncHostLookup& lookup = hostLookup_ ? *hostLookup_ : TheWinsockAsyncLookup();
    HostLookupRequest* request = nullptr;
    try {
        const HWND window = LookupWindow(&TWSocket::LookupWindowProcedure);
        if (!window) throw ESocketException("Cannot create a hidden window for host lookups");
        int error = 0;
        request = StartLookup(lookup, window, TrimBlanks(addr_), this, error);
        if (!request) failure = "connect: " + HostLookupFailure(addr_, error);
    } catch (const std::exception& e) {
        failure = std::string("connect: ") + e.what();
    }
    if (!failure.empty()) {
        ReportError(failure);
        return;
    }
    lookup_ = request;
    ++connection_;
    SetState(wsConnecting);
}

LRESULT CALLBACK TWSocket::LookupWindowProcedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg != WM_ASYNCGETHOSTBYNAME) return DefWindowProcW(hwnd, msg, wp, lp);
    const std::unique_ptr<HostLookupRequest> request = TakeAnsweredLookup(reinterpret_cast<HANDLE>(wp));
    if (!request) return 0;
    // The answer to a lookup given up meanwhile changes nothing.
    TWSocket* owner = request->owner;
    if (owner && owner->magic_ == kMagic && owner->lookup_ == request.get()) {
        owner->lookup_ = nullptr;
        rtl::Dispatch([&] {
            try {
                owner->HandleLookupAnswer(request->buffer, HIWORD(lp));
            } catch (const std::exception& e) {
                owner->HandleBackgroundException(e);
            }
        });
    }
    return 0;
}

void TWSocket::HandleLookupAnswer(const char* buffer, WORD errCode) {
    const unsigned attempt = connection_;
    int code = errCode;
    if (code == 0) {
        const auto* entry = reinterpret_cast<const hostent*>(buffer);
        if (entry->h_addrtype == AF_INET && entry->h_length >= 4 && entry->h_addr_list && entry->h_addr_list[0]) {
            std::memcpy(&remoteAddress_, entry->h_addr_list[0], sizeof remoteAddress_);
            addrResolved_ = true;
            OpenConnection();
            return;
        }
        code = WSANO_DATA;
    }
    lastError_ = code;
    ReportError("connect: " + HostLookupFailure(addr_, code));
    // The attempt ends here, unless the handler has ended it or started
    // another one.
    if (connection_ == attempt && !lookup_ && socket_ == kInvalidSocket && state_ != wsClosed) {
        SetState(wsClosed);
        FireSessionClosed(0);
    }
}

// The lookup runs on into a buffer of its own; its answer will find no
// owner.
void TWSocket::GiveUpLookup() {
    if (!lookup_) return;
    lookup_->owner = nullptr;
    lookup_ = nullptr;
}

// Connect, once the remote address is known: the socket, its options, and
// the connection request.
void TWSocket::OpenConnection() {
    std::string failure;
    DiscardSendBuffer();
    const SOCKET s = ws::socket(AF_INET, socketType_, protocol_);
    if (s == INVALID_SOCKET) {
        ReportSocketFailure("Connect (socket)");
        return;
    }
    socket_ = s;
    ++connection_;
    received_ = 0;

    int size = 0;
    int sizeLength = sizeof size;
    if (ws::getsockopt(s, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<char*>(&size), &sizeLength) != 0) {
        ReportSocketFailure("getsockopt(SO_SNDBUF)");
        // Still closed: nothing else would ever release this socket.
        if (socket_ == s && state_ == wsClosed) {
            ws::closesocket(s);
            DropSocket();
        }
        return;
    }
    sendBufferSize_ = size;

    SetState(wsOpened);
    if (state_ != wsOpened) {
        ws::WSASetLastError(WSAEINVAL);
        ReportSocketFailure("Connect (Invalid operation in OnChangeState)");
        return;
    }

    if (socketType_ == SOCK_STREAM) {
        const int on = 1;
        const char* onValue = reinterpret_cast<const char*>(&on);
        if (ws::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, onValue, sizeof on) != 0) {
            ReportSocketFailure("setsockopt(SO_REUSEADDR)");
            return;
        }
        if ((options_ & WSocketOptionBit(wsoTcpNoDelay)) &&
            ws::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, onValue, sizeof on) != 0) {
            ReportSocketFailure("setsockopt(IPPROTO_TCP, TCP_NODELAY)");
            return;
        }
        if (!SetLingerOption()) return;
        if (ws::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, onValue, sizeof on) != 0) {
            ReportSocketFailure("setsockopt(SO_KEEPALIVE)");
            return;
        }
    }

    if (localPortNumber_ != 0 || localAddr_ != "0.0.0.0") {
        std::uint32_t localAddress = 0;
        try {
            localAddress = WSocketResolveHost(localAddr_);
        } catch (const std::exception& e) {
            failure = std::string("connect: ") + e.what();
        }
        if (!failure.empty()) {
            ReportError(failure);
            return;
        }
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = ws::htons(localPortNumber_);
        local.sin_addr.s_addr = localAddress;
        if (ws::bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
            ReportSocketFailure("bind");
            return;
        }
    }

    if (ws::WSAAsyncSelect(s, window_, WM_ASYNCSELECT, kEventMask) != 0) {
        ReportSocketFailure("WSAAsyncSelect");
        return;
    }

    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = remotePortNet_;
    remote.sin_addr.s_addr = remoteAddress_;
    if (ws::connect(s, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0) {
        SetState(wsConnecting);
        return;
    }
    const int code = ws::WSAGetLastError();
    if (code == WSAEWOULDBLOCK) {
        SetState(wsConnecting);
        return;
    }
    lastError_ = code;
    ReportSocketFailure("Connect");
}

// ---- sending --------------------------------------------------------------

int TWSocket::SendStr(const std::string& text) {
    if (text.empty()) return 0;
    return Send(text.data(), static_cast<int>(text.size()));
}

int TWSocket::Send(const void* data, int len) {
    if (state_ != wsConnected && state_ != wsSocksConnected) {
        ws::WSASetLastError(WSAENOTCONN);
        ReportSocketFailure("Send");
        return -1;
    }
    // Nothing to send: no state changes, and no OnDataSent follows.
    if (!data || len <= 0) return 0;
    sendComplete_ = false;
    QueueSendData(data, len);
    const TSocket s = socket_;
    const unsigned connection = connection_;
    TryToSend();
    // Everything taken at once: OnDataSent follows from the message loop.
    if (sendComplete_ && socket_ == s && connection_ == connection && s != kInvalidSocket)
        PostMessageW(window_, WM_ASYNCSELECT, s, MAKELPARAM(FD_WRITE, 0));
    return len;
}

void TWSocket::QueueSendData(const void* data, int len) {
    if (!data || len <= 0) return;
    const char* bytes = static_cast<const char*>(data);
    if (sendList_.empty()) sendList_.emplace_back(kChunkSize);
    int taken = sendList_.back().Write(bytes, len);
    while (taken < len) {
        sendList_.emplace_back(kChunkSize);
        taken += sendList_.back().Write(bytes + taken, len - taken);
    }
    sendComplete_ = false;
}

void TWSocket::TryToSend() {
    if (socket_ == kInvalidSocket || sendList_.empty()) return;
    for (;;) {
        int unread = 0;
        const char* bytes = sendList_.front().Peek(unread);
        if (unread <= 0) {
            if (sendList_.size() == 1) {
                sendComplete_ = true;
                return;
            }
            sendList_.pop_front();
            continue;
        }
        const int flags = sendFlags_ == wsSendUrgent ? MSG_OOB : 0;
        const int count = ws::send(socket_, bytes, unread, flags);
        if (count > 0) {
            sendList_.front().Remove(count);
            // Taken in part or whole: offer the rest until the system says
            // it would block; only then does an FD_WRITE follow.
            continue;
        }
        if (count == 0) return;
        const int code = ws::WSAGetLastError();
        if (IsClosingCode(code)) {
            closeNotified_ = true;
            Close();
            if (OnSessionClosed) OnSessionClosed(this, static_cast<std::uint16_t>(code));
            return;
        }
        if (code == WSAEWOULDBLOCK) return;
        ReportSocketFailure("TryToSend failed");
        return;
    }
}

// ---- receiving ------------------------------------------------------------

// Reads and throws away what has arrived, in pieces of 1024 bytes, up to
// kReadLimit bytes of the connection.
void TWSocket::DrainReceive(std::uint16_t /*errCode*/, TWSocketOptions options) {
    if (socket_ == kInvalidSocket) return;
    char scratch[kReceivePiece];
    for (;;) {
        lastError_ = 0;
        const int room = std::min(kReadLimit - received_, kReceivePiece);
        if (room <= 0) return;  // the rest stays unread
        const int got = ws::recv(socket_, scratch, room, 0);
        if (got < 0) {
            const int code = ws::WSAGetLastError();
            lastError_ = code == WSAEWOULDBLOCK ? 0 : code;
            return;
        }
        received_ += got;
        if (got > 0 && OnDataReceived) {
            const TSocket s = socket_;
            OnDataReceived(this, scratch, got);
            if (socket_ != s) return;  // the handler ended the connection
        }
        if (options & WSocketOptionBit(wsoNoReceiveLoop)) return;
        u_long pending = 0;
        if (ws::ioctlsocket(socket_, FIONREAD, &pending) != 0) {
            lastError_ = ws::WSAGetLastError();
            return;
        }
        if (pending == 0) return;
    }
}

// Before a graceful close: bytes left unread would make the system reset the
// connection instead of ending it with FIN. Reads at most allowance bytes
// (and counts them off); false when a handler ended the connection.
bool TWSocket::DiscardPendingInput(int& allowance) {
    char scratch[kReceivePiece];
    const TSocket s = socket_;
    while (allowance > 0) {
        const int got = ws::recv(s, scratch, std::min(allowance, kReceivePiece), 0);
        if (got <= 0) return true;
        allowance -= got;
        if (OnDataReceived) {
            OnDataReceived(this, scratch, got);
            if (socket_ != s) return false;
        }
    }
    return true;
}

// ---- notifications --------------------------------------------------------

LRESULT CALLBACK TWSocket::WindowProcedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<TWSocket*>(GetWindowLongPtrW(hwnd, 0));
    if (!self || self->magic_ != kMagic || self->window_ != hwnd) return DefWindowProcW(hwnd, msg, wp, lp);
    LRESULT result = 0;
    // Nothing unwinds into the window system; a failure that is not the
    // component's to handle goes where the message loop would send it.
    rtl::Dispatch([&] { result = self->WndProc(msg, wp, lp); });
    return result;
}

LRESULT TWSocket::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
    try {
        switch (msg) {
        case WM_ASYNCSELECT:
            HandleNotification(static_cast<TSocket>(wp), LOWORD(lp), HIWORD(lp));
            return 0;
        case WM_TRIGGER_EXCEPTION:
            throw ESocketException("Test exception in WSocket");
        default:
            return DefWindowProcW(window_, msg, wp, lp);
        }
    } catch (const std::exception& e) {
        HandleBackgroundException(e);
    }
    return 0;
}

void TWSocket::HandleNotification(TSocket s, WORD events, WORD errCode) {
    // Notifications for a socket already closed (or for an earlier
    // connection) are ignored.
    if (s == kInvalidSocket || s != socket_) return;
    const unsigned connection = connection_;
    auto current = [&] { return socket_ == s && connection_ == connection; };

    if (events & FD_CONNECT) {
        if (state_ != wsConnected) {
            SetState(wsConnected);
            if (OnSessionConnected) OnSessionConnected(this, errCode);
            if (errCode != 0 && current() && state_ != wsClosed) Close();
        }
    }
    if ((events & FD_READ) && current()) {
        if (state_ != wsConnected) {
            SetState(wsConnected);
            if (OnSessionConnected) OnSessionConnected(this, errCode);
        }
        if (current()) DrainReceive(errCode, options_);
    }
    if ((events & FD_WRITE) && current()) {
        TryToSend();
        // Once the session-closed event has fired for this connection it is
        // over for its user: a send completion still queued behind the
        // peer's close (it can be, when the peer closes the moment it has
        // read) is not reported.
        if (sendComplete_ && current() && !closeNotified_ && OnDataSent) OnDataSent(this, errCode);
    }
    // FD_ACCEPT: listening is not part of this component.
    if ((events & FD_CLOSE) && current()) {
        if (state_ == wsConnecting) return;
        DrainReceive(0, options_ & ~WSocketOptionBit(wsoNoReceiveLoop));
        if (!closeNotified_) {
            closeNotified_ = true;
            if (OnSessionClosed) OnSessionClosed(this, errCode);
        }
        if (current() && state_ != wsClosed) Close();
    }
}

void TWSocket::HandleBackgroundException(const std::exception& e) {
    bool canClose = true;
    if (OnBgException) {
        try {
            OnBgException(this, e, canClose);
        } catch (...) {
        }
    }
    if (canClose) {
        try {
            Abort();
        } catch (...) {
        }
    }
}

// ---- closing --------------------------------------------------------------

// The handle is gone: notifications still queued for it are dropped, so that
// a later socket that happens to get the same handle never sees them.
void TWSocket::DropSocket() {
    socket_ = kInvalidSocket;
    MSG msg;
    while (PeekMessageW(&msg, window_, WM_ASYNCSELECT, WM_ASYNCSELECT, PM_REMOVE)) {
    }
}

void TWSocket::FireSessionClosed(std::uint16_t errCode) {
    const unsigned connection = connection_;
    auto resetUnlessReconnected = [&] {
        // A handler that has already started the next connection keeps it.
        if (connection_ == connection && socket_ == kInvalidSocket) ResetQuietly();
    };
    if (!destroying_ && !closeNotified_) {
        closeNotified_ = true;
        try {
            if (OnSessionClosed) OnSessionClosed(this, errCode);
        } catch (...) {
            resetUnlessReconnected();
            throw;
        }
    }
    resetUnlessReconnected();
}

void TWSocket::CloseSession(bool shutdownFirst, std::uint16_t errCode) {
    const bool wasLookingUp = lookup_ != nullptr;
    GiveUpLookup();
    if (socket_ == kInvalidSocket) {
        if (state_ != wsClosed) {
            // An attempt that has no socket yet (its host name was being
            // looked up) ends like any other.
            const bool attempt = wasLookingUp || state_ == wsConnecting;
            SetState(wsClosed);
            if (attempt)
                FireSessionClosed(errCode);
            else
                ResetQuietly();
        }
        return;
    }
    if (state_ == wsClosed) return;

    const TSocket s = socket_;
    if (shutdownFirst) {
        // A graceful end: whatever was handed over still reaches the peer,
        // and the connection ends with FIN instead of a reset.
        int allowance = kCloseReadLimit;
        if (!DiscardPendingInput(allowance)) return;  // closed meanwhile by the received-bytes handler
        linger off{};
        ws::setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&off), sizeof off);
        ws::shutdown(s, SD_SEND);
        if (!DiscardPendingInput(allowance)) return;
    }
    const rtl::MonotonicPoint deadline = rtl::MonotonicNow() + kCloseDeadline;
    for (;;) {
        if (ws::closesocket(s) == 0) break;
        const int code = ws::WSAGetLastError();
        if (code == WSAEWOULDBLOCK && rtl::MonotonicNow() >= deadline) {
            // Not done in time: the connection is reset (a close that
            // cannot block), and the session ends as timed out.
            const linger reset{1, 0};
            ws::setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof reset);
            ws::closesocket(s);
            errCode = WSAETIMEDOUT;
            lastError_ = WSAETIMEDOUT;
            break;
        }
        if (code == WSAEWOULDBLOCK) {
            rtl::PumpMessagesFor(10);
            if (socket_ != s) return;  // closed meanwhile by a nested handler
            continue;
        }
        lastError_ = code;
        DropSocket();
        if (code != WSANOTINITIALISED) {
            ws::WSASetLastError(code);
            ReportSocketFailure("Disconnect (closesocket)");
            return;
        }
        break;
    }
    DropSocket();
    SetState(wsClosed);
    FireSessionClosed(errCode);
}

void TWSocket::Close() { CloseSession(true, 0); }

void TWSocket::AbortSession(std::uint16_t errCode) {
    DiscardSendBuffer();
    if (state_ == wsConnected && protocol_ == IPPROTO_TCP && socket_ != kInvalidSocket) {
        // The system finishes in the background with what it already holds.
        lingerOnOff_ = wsLingerOff;
        linger off{};
        ws::setsockopt(socket_, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&off), sizeof off);
    }
    CloseSession(false, errCode);
}

void TWSocket::Abort() { AbortSession(0); }

}  // namespace net
