// TWSocket: an event-driven, non-blocking TCP client. Network events reach it
// as messages to a hidden window of its own and are handled when the message
// loop dispatches them; its events run on the user-interface thread, either
// from the message loop or inside the call that caused them.
//
// Below it, the sockets binding shared by every instance: Windows Sockets 1.1
// from wsock32.dll, loaded by name on first use (the program does not link
// it) and kept until the program ends, and the resolution of protocol, port
// and host texts.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <string>

#include "net/WSockBuf.h"
#include "net/WSocketResolve.h"

namespace net {

// ---- The sockets binding --------------------------------------------------

// Whether wsock32.dll is loaded and started now.
bool WSocketLibraryLoaded();
// Cleans up and unloads wsock32.dll, as the program's end does; nothing
// else ever unloads it once started. Refused (false) while a component is
// alive or a lookup may still run in it. Tests use it to load it afresh.
bool WSocketReleaseLibrary();
// For tests only: the binding calls replacement instead of the library's
// function of that name (nullptr: the library's again), for what the
// platform cannot be made to do (a close that would block).
void WSocketReplaceProc(const std::string& name, FARPROC replacement);

// Address of a function of wsock32.dll, looked up by name once. Loads and
// starts the library first when needed. Raises ESocketException when the
// library cannot be loaded or started, or when it has no such function.
FARPROC WSocketGetProc(const std::string& name);

// Protocol text -> protocol number ("tcp" is 6).
int WSocketResolveProto(const std::string& text);
// Port text and protocol text -> port number in host byte order.
std::uint16_t WSocketResolvePort(const std::string& port, const std::string& proto);
// Host text -> IPv4 address in network byte order. A host name is looked up
// with the blocking lookup: the calling thread waits for the resolver. (The
// component itself looks host names up asynchronously, see below.)
std::uint32_t WSocketResolveHost(const std::string& text);

// An asynchronous host-name lookup whose answer arrives as a message to a
// window: wParam is the request's handle, the high 16 bits of lParam the
// error code (0 when the buffer now holds a hostent). By default the sockets
// library's (WSAAsyncGetHostByName); a test can supply its own.
//
// A lookup that has started always runs to its end: it writes its buffer and
// posts its answer even when nobody waits for it any more (the library's
// cancel does not stop it under Wine, and where it does, no answer would
// ever tell that the buffer is free). So a lookup is never cancelled, only
// given up: its buffer stays allocated and the sockets library loaded until
// its own answer has come, and that answer then changes nothing.
class AsyncHostLookup {
public:
    virtual ~AsyncHostLookup() = default;
    // Starts looking name up; the answer goes to window as message msg and
    // fills buffer. Returns the request's handle, or nullptr with the error
    // code in error when the lookup cannot start.
    virtual HANDLE Start(HWND window, UINT msg, const std::string& name, char* buffer, int length, int& error) = 0;
};

// Host lookups started and not answered yet, whoever started them (each
// keeps its buffer and the sockets library).
std::size_t WSocketPendingLookups();
// Whether buffer is the buffer of such a lookup: memory that its lookup may
// still write.
bool WSocketLookupBufferPending(const char* buffer);

// One host lookup under way: its buffer and the component waiting for it.
struct HostLookupRequest;

// ---- The TCP client -------------------------------------------------------

enum TSocketState {
    wsInvalidState, wsOpened, wsBound, wsConnecting, wsSocksConnected,
    wsConnected, wsAccepting, wsListening, wsClosed
};
enum TSocksAuthentication { socksNoAuthentication, socksAuthenticateUsercode };
enum TSocketLingerOnOff { wsLingerOff, wsLingerOn, wsLingerNoSet };
enum TSocketSendFlags { wsSendNormal, wsSendUrgent };
enum TWSocketOption { wsoNoReceiveLoop, wsoTcpNoDelay, wsoSIO_RCVALL };

// A set of TWSocketOption: bit (1 << option).
using TWSocketOptions = unsigned;
constexpr TWSocketOptions WSocketOptionBit(TWSocketOption option) { return 1u << option; }

// A socket handle of the sockets library; all bits set when there is none.
using TSocket = UINT_PTR;
constexpr TSocket kInvalidSocket = ~TSocket(0);

// Messages of the hidden window.
constexpr UINT WM_ASYNCSELECT = WM_USER + 1;         // socket notification (1025)
constexpr UINT WM_ASYNCGETHOSTBYNAME = WM_USER + 2;  // answer of a host-name lookup (1026), to the lookups' window
constexpr UINT WM_TRIGGER_EXCEPTION = WM_USER + 6;   // raises "Test exception in WSocket" (1030)

class TWSocket {
public:
    using TDataSent = std::function<void(TWSocket* Sender, std::uint16_t ErrCode)>;
    using TSessionClosed = std::function<void(TWSocket* Sender, std::uint16_t ErrCode)>;
    using TSessionConnected = std::function<void(TWSocket* Sender, std::uint16_t ErrCode)>;
    using TNotifyEvent = std::function<void(TWSocket* Sender)>;
    using TChangeState = std::function<void(TWSocket* Sender, TSocketState OldState, TSocketState NewState)>;
    using TBgExceptionEvent = std::function<void(TWSocket* Sender, const std::exception& E, bool& CanClose)>;
    using TDataReceived = std::function<void(TWSocket* Sender, const char* Data, int Len)>;

    TWSocket();
    ~TWSocket();
    TWSocket(const TWSocket&) = delete;
    TWSocket& operator=(const TWSocket&) = delete;

    // Remote host, remote port and protocol. Each setter stores the text with
    // blanks cut from both ends; an empty text leaves the property unassigned.
    // A different value while the socket is not closed is refused through
    // OnError. After every close Addr and Port must be set again.
    const std::string& Addr() const { return addr_; }
    void SetAddr(const std::string& value);
    const std::string& Port() const { return port_; }
    void SetPort(const std::string& value);
    const std::string& Proto() const { return proto_; }
    void SetProto(const std::string& value);
    // Local binding: none with "0.0.0.0" and "0" (the values after each close).
    const std::string& LocalAddr() const { return localAddr_; }
    void SetLocalAddr(const std::string& value);
    const std::string& LocalPort() const { return localPort_; }
    void SetLocalPort(const std::string& value);

    // The linger option applied at Connect (on, 0 seconds after every close).
    TSocketLingerOnOff LingerOnOff() const { return lingerOnOff_; }
    void SetLingerOnOff(TSocketLingerOnOff value) { lingerOnOff_ = value; }
    int LingerTimeout() const { return lingerTimeout_; }
    void SetLingerTimeout(int seconds) { lingerTimeout_ = seconds; }
    // Stored only.
    int FlushTimeout() const { return flushTimeout_; }
    void SetFlushTimeout(int value) { flushTimeout_ = value; }
    TSocketSendFlags SendFlags() const { return sendFlags_; }
    void SetSendFlags(TSocketSendFlags value);
    TWSocketOptions ComponentOptions() const { return options_; }
    void SetComponentOptions(TWSocketOptions value) { options_ = value; }
    TSocksAuthentication SocksAuthentication() const { return socksAuthentication_; }
    void SetSocksAuthentication(TSocksAuthentication value) { socksAuthentication_ = value; }

    // The requested sockets-library version, shared by every instance; it
    // can be changed only before the library has been loaded.
    BYTE ReqVerLow() const;
    void SetReqVerLow(BYTE value);
    BYTE ReqVerHigh() const;
    void SetReqVerHigh(BYTE value);

    TSocketState State() const { return state_; }
    // Last sockets error code recorded.
    int LastError() const { return lastError_; }
    TSocket HSocket() const { return socket_; }
    // The hidden window that receives the socket notifications.
    HWND Handle() const { return window_; }

    // Starts a connection to Addr:Port and returns at once (state
    // wsConnecting); the outcome follows as events. A host name is looked up
    // asynchronously: the connection starts from the message loop once the
    // answer is in. A failed lookup is reported there through OnError with
    // the text of a failed resolution ("connect: WSocketResolveHost: Cannot
    // convert host address ..."), and the attempt then ends with
    // OnSessionClosed unless the handler has ended it already. Abort and
    // Close give up a lookup in progress, with OnSessionClosed; its answer
    // is ignored when it comes.
    void Connect();
    // Sends the text's bytes; 0 for an empty text (no OnDataSent follows).
    int SendStr(const std::string& text);
    // Queues the bytes and hands over what the system takes now; the rest
    // follows as room returns. OnDataSent comes from the message loop once
    // every byte has been handed over, never from inside this call. Returns
    // len, or -1 when not connected.
    int Send(const void* data, int len);
    // Hands the last bytes to the peer and ends the connection with FIN;
    // OnSessionClosed fires inside the call. What the peer sent and was not
    // read yet is read first (FIN needs it), but at most 64 KiB: a peer that
    // is still sending gets a reset instead, and Close does not wait. A
    // close the system would finish only later is offered for 5 seconds
    // (monotonic clock, messages handled meanwhile); then the connection is
    // reset and OnSessionClosed carries WSAETIMEDOUT (10060).
    void Close();
    // Ends the connection at once, dropping what was not handed over yet.
    // Does nothing on a closed component.
    void Abort();

    TDataSent OnDataSent;
    TSessionClosed OnSessionClosed;
    TNotifyEvent OnError;
    TSessionConnected OnSessionConnected;
    TChangeState OnChangeState;
    // An exception escaping an event handler that ran from the message loop
    // comes here; the connection is aborted unless CanClose is cleared.
    TBgExceptionEvent OnBgException;
    // Every piece of bytes read from the peer, before it is dropped: also
    // what Close reads so that the connection ends with FIN. It runs where
    // the bytes are read (from the message loop, or inside Close). Of a
    // connection, 64 KiB are read before Close and nothing more: a peer that
    // never stops sending cannot keep the window busy.
    TDataReceived OnDataReceived;

    // The lookup used for host names; nullptr (the default) is the sockets
    // library's. Not owned; it must outlive the lookups it starts, also those
    // given up.
    void SetHostLookup(AsyncHostLookup* lookup) { hostLookup_ = lookup; }

private:
    static LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK LookupWindowProcedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp);
    void HandleNotification(TSocket socket, WORD events, WORD errCode);
    void HandleLookupAnswer(const char* buffer, WORD errCode);
    void GiveUpLookup();
    void OpenConnection();
    void HandleBackgroundException(const std::exception& e);

    void SetRemoteText(std::string& text, bool& assigned, bool& resolved, const std::string& value,
                       const char* refusal);
    void SetReqVer(BYTE value, bool high);
    void SetState(TSocketState state);
    void ResetDefaults();
    void ResetQuietly();
    bool SetLingerOption();
    void QueueSendData(const void* data, int len);
    void TryToSend();
    void DiscardSendBuffer() { sendList_.clear(); }
    void DrainReceive(std::uint16_t errCode, TWSocketOptions options);
    bool DiscardPendingInput(int& allowance);
    void CloseSession(bool shutdownFirst, std::uint16_t errCode);
    void AbortSession(std::uint16_t errCode);
    void DropSocket();
    void FireSessionClosed(std::uint16_t errCode);
    void ReportError(const std::string& message);
    void ReportSocketFailure(const std::string& operation);

    std::uint32_t magic_;
    HWND window_ = nullptr;
    TSocket socket_ = kInvalidSocket;
    // Counts the sockets created, so that a handler can tell whether the
    // connection it was called for is still the current one.
    unsigned connection_ = 0;
    TSocketState state_ = wsClosed;
    int lastError_ = 0;
    bool destroying_ = false;

    std::string addr_, port_, proto_, localAddr_, localPort_;
    bool addrAssigned_ = false, portAssigned_ = false, protoAssigned_ = false;
    bool addrResolved_ = false, portResolved_ = false, protoResolved_ = false, localPortResolved_ = false;
    std::uint32_t remoteAddress_ = 0;   // network byte order
    std::uint16_t remotePortNet_ = 0;   // network byte order
    std::uint16_t localPortNumber_ = 0; // host byte order
    int protocol_ = 6;
    int socketType_ = 1;

    TSocketLingerOnOff lingerOnOff_ = wsLingerOn;
    int lingerTimeout_ = 0;
    int flushTimeout_ = 60;
    TSocketSendFlags sendFlags_ = wsSendNormal;
    TWSocketOptions options_ = 0;
    TSocksAuthentication socksAuthentication_ = socksNoAuthentication;

    bool sendComplete_ = true;
    bool closeNotified_ = false;
    int sendBufferSize_ = 0;
    std::deque<TBuffer> sendList_;
    // Bytes read from the current connection before the user's Close.
    int received_ = 0;

    AsyncHostLookup* hostLookup_ = nullptr;
    HostLookupRequest* lookup_ = nullptr;  // the host-name lookup waited for
};

}  // namespace net
