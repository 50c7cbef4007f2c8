// TWSocket under Wine against the tests' own loopback server: the event
// sequences of an upload session, the failures and how they are reported,
// stale notifications, background exceptions, and the graceful close.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "LoopbackServer.h"
#include "TestSupport.h"
#include "net/WSocket.h"
#include "rtl/Application.h"
#include "rtl/Clock.h"

namespace {

using net::TWSocket;
using testsupport::LoopbackServer;
using testsupport::PeerEnd;
using testsupport::PumpUntil;
using Behaviour = LoopbackServer::Behaviour;

const char kLogin[] = "user N0CALL pass -1 vers Teskaprs 1.0.0.0\r\n";
// A host name that cannot resolve: under the reserved .invalid domain, and
// with a first label longer than DNS allows, so the lookup fails at once
// without sending a query anywhere.
const std::string kUnresolvable = std::string(64, 'x') + ".invalid";
const char kPacket[] = "N0CALL>APRS,TCPXX*:@071234z5129.00N/00012.00W_090/005g010t050\r\n";

template <class F>
std::string MessageOf(F&& f) {
    return testsupport::MessageOf<net::ESocketException>(f);
}

class WSocketTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::InitApplication();
        Attach();
    }

    // Records every event as text; " inside" marks one that fired inside a
    // call made through Inside().
    void Attach() {
        ws.OnDataSent = [this](TWSocket* sender, std::uint16_t code) {
            EXPECT_EQ(sender, &ws);
            Record("DataSent " + std::to_string(code));
            if (onDataSent) onDataSent(++dataSent);
        };
        ws.OnSessionClosed = [this](TWSocket* sender, std::uint16_t code) {
            EXPECT_EQ(sender, &ws);
            closedInState = ws.State();
            Record("SessionClosed " + std::to_string(code));
            if (onSessionClosed) onSessionClosed();
        };
        ws.OnError = [this](TWSocket* sender) {
            EXPECT_EQ(sender, &ws);
            Record("Error");
            if (onError) onError();
        };
    }

    void Record(const std::string& event) { events.push_back(depth > 0 ? event + " inside" : event); }

    template <class F>
    auto Inside(F&& f) {
        struct Depth {
            int& d;
            explicit Depth(int& x) : d(x) { ++d; }
            ~Depth() { --d; }
        } guard(depth);
        return f();
    }

    void Prepare(const std::string& addr, const std::string& port) {
        ws.SetSocksAuthentication(net::socksNoAuthentication);
        ws.SetProto("tcp");
        ws.SetAddr(addr);
        ws.SetPort(port);
    }

    void ConnectTo(const LoopbackServer& server) {
        Prepare(LoopbackServer::Address(), server.PortText());
        Inside([&] { ws.Connect(); });
    }

    bool PumpUntilEvents(size_t count, DWORD ms = 5000) {
        return PumpUntil([&] { return events.size() >= count; }, ms);
    }

    testsupport::ErrorRecorder recorder;
    TWSocket ws;
    std::vector<std::string> events;
    int depth = 0;
    int dataSent = 0;
    net::TSocketState closedInState = net::wsInvalidState;
    std::function<void(int)> onDataSent;
    std::function<void()> onSessionClosed;
    std::function<void()> onError;
};

// ---- the upload session ----------------------------------------------------

TEST_F(WSocketTest, UploadSessionSendsBothLinesAndClosesWithFin) {
    LoopbackServer::Options options;
    options.greeting = "# aprsc 2.1.10\r\n";
    options.loginReply = "# logresp N0CALL unverified, server T2TEST\r\n";
    LoopbackServer server(options);
    std::vector<net::TSocketState> states;
    ws.OnChangeState = [&](TWSocket*, net::TSocketState, net::TSocketState to) { states.push_back(to); };
    bool closedInsideClose = false;
    std::string received;
    ws.OnDataReceived = [&](TWSocket* sender, const char* data, int len) {
        EXPECT_EQ(sender, &ws);
        ASSERT_GT(len, 0);
        received.append(data, static_cast<size_t>(len));
    };
    onDataSent = [&](int n) {
        // The upload's pacing: it waits (pumping messages) before each step,
        // so the server's answers arrive and are read meanwhile.
        rtl::PumpMessagesFor(100);
        if (n == 1) {
            EXPECT_EQ(Inside([&] { return ws.SendStr(kLogin); }), static_cast<int>(sizeof kLogin - 1));
        }
        if (n == 2) {
            EXPECT_EQ(Inside([&] { return ws.SendStr(kPacket); }), static_cast<int>(sizeof kPacket - 1));
        }
        if (n == 3) {
            // As after the upload's one-second pause: the login reply is in.
            PumpUntil([&] { return server.BytesSent(0) == options.greeting.size() + options.loginReply.size(); },
                      5000);
            const size_t before = events.size();
            ws.Close();
            closedInsideClose = events.size() == before + 1 && events.back() == "SessionClosed 0";
        }
    };
    ConnectTo(server);
    EXPECT_EQ(ws.State(), net::wsConnecting);
    ASSERT_TRUE(PumpUntilEvents(4));
    PumpUntil([] { return false; }, 200);  // nothing more may follow
    // No event inside SendStr: each OnDataSent came later, from the loop.
    EXPECT_EQ(events, (std::vector<std::string>{"DataSent 0", "DataSent 0", "DataSent 0", "SessionClosed 0"}));
    EXPECT_TRUE(closedInsideClose) << "OnSessionClosed must fire inside Close";
    EXPECT_EQ(closedInState, net::wsClosed);
    EXPECT_EQ(states, (std::vector<net::TSocketState>{net::wsOpened, net::wsConnecting, net::wsConnected,
                                                       net::wsClosed}));
    EXPECT_EQ(ws.State(), net::wsClosed);

    ASSERT_TRUE(server.WaitForEnd(0, 5000));
    const auto connection = server.Connections().at(0);
    EXPECT_EQ(connection.Received(), std::string(kLogin) + kPacket);
    EXPECT_EQ(connection.end, PeerEnd::Fin) << testsupport::PeerEndName(connection.end);
    EXPECT_TRUE(recorder.shown.empty());
    // The server's greeting and login reply, read from the loop, came to the hook.
    EXPECT_EQ(received, options.greeting + options.loginReply);
}

TEST_F(WSocketTest, FirstDataSentComesOnceBeforeAnythingIsSent) {
    LoopbackServer server;
    ConnectTo(server);
    ASSERT_TRUE(PumpUntilEvents(1));
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(events, std::vector<std::string>{"DataSent 0"});
    EXPECT_EQ(ws.State(), net::wsConnected);
    EXPECT_EQ(server.Received(0), "");

    // An empty text: 0, and no OnDataSent follows.
    EXPECT_EQ(ws.SendStr(""), 0);
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(events.size(), 1u);

    // One OnDataSent per text, after SendStr has returned.
    EXPECT_EQ(Inside([&] { return ws.SendStr("abc"); }), 3);
    EXPECT_EQ(events.size(), 1u) << "OnDataSent must not fire inside SendStr";
    ASSERT_TRUE(PumpUntilEvents(2));
    EXPECT_EQ(Inside([&] { return ws.SendStr("def"); }), 3);
    ASSERT_TRUE(PumpUntilEvents(3));
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(events, (std::vector<std::string>{"DataSent 0", "DataSent 0", "DataSent 0"}));
    ASSERT_TRUE(server.WaitForBytes(0, 6, 5000));
    EXPECT_EQ(server.Received(0), "abcdef");
}

TEST_F(WSocketTest, CloseInsideDataSentThenConnectNeedsAddrAndPortAgain) {
    LoopbackServer server;
    onDataSent = [&](int) { Inside([&] { ws.Close(); }); };
    ConnectTo(server);
    ASSERT_TRUE(PumpUntilEvents(2));
    EXPECT_EQ(events, (std::vector<std::string>{"DataSent 0", "SessionClosed 0 inside"}));
    EXPECT_EQ(ws.Addr(), LoopbackServer::Address()) << "the text stays";
    EXPECT_EQ(ws.Port(), server.PortText());
    EXPECT_EQ(ws.Proto(), "tcp");
    ws.OnError = nullptr;
    EXPECT_EQ(MessageOf([&] { ws.Connect(); }), "Connect: No Port Specified");
    ws.SetPort(server.PortText());
    EXPECT_EQ(MessageOf([&] { ws.Connect(); }), "Connect: No IP Address Specified");
    ws.SetProto("");
    ws.SetAddr(LoopbackServer::Address());
    EXPECT_EQ(MessageOf([&] { ws.Connect(); }), "Connect: No Protocol Specified");
    EXPECT_EQ(ws.State(), net::wsClosed);
}

TEST_F(WSocketTest, LargeTextGoesOutAsRoomReturnsWithOneDataSent) {
    LoopbackServer::Options options;
    options.behaviour = Behaviour::ReadSlowly;
    options.readPieceBytes = 64 * 1024;
    options.readPauseMs = 5;
    LoopbackServer server(options);
    std::string text(4 * 1024 * 1024 + 123, '\0');
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
    onDataSent = [&](int n) {
        if (n == 1) {
            EXPECT_EQ(ws.SendStr(text), static_cast<int>(text.size()));
        }
        if (n == 2) ws.Close();
    };
    ConnectTo(server);
    ASSERT_TRUE(PumpUntilEvents(3, 30000));
    EXPECT_EQ(events, (std::vector<std::string>{"DataSent 0", "DataSent 0", "SessionClosed 0"}));
    ASSERT_TRUE(server.WaitForEnd(0, 30000));
    const auto connection = server.Connections().at(0);
    EXPECT_TRUE(connection.Received() == text) << "received " << connection.Received().size() << " bytes";
    EXPECT_EQ(connection.end, PeerEnd::Fin);
}

// ---- graceful close ---------------------------------------------------------

TEST_F(WSocketTest, CloseDeliversEverythingToAServerThatReadsOnlyAfterwards) {
    LoopbackServer::Options options;
    options.behaviour = Behaviour::HoldReading;
    options.receiveBufferBytes = 4096;
    LoopbackServer server(options);
    // Far more than the server's window: most of it is still in the
    // client's system buffer when Close is called.
    std::string bulk;
    for (int i = 0; bulk.size() < 200 * 1024; ++i) bulk += "line " + std::to_string(i) + "\r\n";
    onDataSent = [&](int n) {
        if (n == 1) ws.SendStr(kLogin);
        if (n == 2) ws.SendStr(bulk);
        if (n == 3) ws.Close();
    };
    ConnectTo(server);
    ASSERT_TRUE(PumpUntilEvents(4, 10000));
    EXPECT_EQ(events.back(), "SessionClosed 0");
    EXPECT_EQ(server.Received(0), "") << "the server has not read yet";
    server.ReleaseReading();
    ASSERT_TRUE(server.WaitForEnd(0, 10000));
    const auto connection = server.Connections().at(0);
    EXPECT_EQ(connection.Received().size(), sizeof kLogin - 1 + bulk.size());
    EXPECT_TRUE(connection.Received() == kLogin + bulk);
    EXPECT_EQ(connection.end, PeerEnd::Fin) << testsupport::PeerEndName(connection.end);
}

TEST_F(WSocketTest, CloseReadsWhatTheServerSentLastSoTheEndIsNoReset) {
    LoopbackServer::Options options;
    options.greeting = "# aprsc 2.1.10\r\n";
    options.replyToLines = "# logresp N0CALL unverified, server T2TEST\r\n";
    LoopbackServer server(options);
    std::string received, receivedInsideClose;
    bool closing = false;
    ws.OnDataReceived = [&](TWSocket*, const char* data, int len) {
        (closing ? receivedInsideClose : received).append(data, static_cast<size_t>(len));
    };
    onDataSent = [&](int n) {
        if (n == 1) ws.SendStr(kLogin);
        if (n == 2) ws.SendStr(kPacket);
        if (n == 3) {
            // The reply to the packet line arrives while nothing reads it
            // (this waits without dispatching messages).
            const size_t replies = options.greeting.size() + 2 * options.replyToLines.size();
            for (int i = 0; i < 500 && server.BytesSent(0) < replies; ++i) Sleep(10);
            Sleep(50);
            closing = true;
            ws.Close();
            closing = false;
        }
    };
    ConnectTo(server);
    ASSERT_TRUE(PumpUntilEvents(4));
    ASSERT_TRUE(server.WaitForEnd(0, 5000));
    const auto connection = server.Connections().at(0);
    EXPECT_EQ(connection.Received(), std::string(kLogin) + kPacket);
    EXPECT_EQ(connection.end, PeerEnd::Fin) << testsupport::PeerEndName(connection.end);
    // Every byte the server sent reached the hook once; the last reply was
    // read inside Close.
    EXPECT_EQ(received + receivedInsideClose, options.greeting + options.replyToLines + options.replyToLines);
    EXPECT_NE(receivedInsideClose.find(options.replyToLines), std::string::npos);
}

// Wine's close never blocks: this one would, until its linger is a reset (or for a hundred calls).
int closeCalls = 0;
int WSAAPI CloseThatWouldBlock(SOCKET s) {
    linger value{};
    int length = sizeof value;
    getsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<char*>(&value), &length);
    if ((value.l_onoff && !value.l_linger) || ++closeCalls > 100) return closesocket(s);
    return WSASetLastError(WSAEWOULDBLOCK), SOCKET_ERROR;
}

// Of a peer that sends without end, 64 KiB are read before Close, without
// events, and then nothing more (so it cannot keep the window busy); Close
// reads at most as much again (the test's receive buffer holds more); a close
// that would block ends with a reset at 5 s of the monotonic clock (3 a read).
TEST_F(WSocketTest, ReadsAtMost64KiBOfAPeerThatNeverStopsSendingAndClosesByADeadline) {
    LoopbackServer::Options options;
    options.behaviour = Behaviour::Stream;
    LoopbackServer server(options);
    std::size_t received = 0, receivedInClose = 0;
    bool closing = false;
    ws.OnDataReceived = [&](TWSocket*, const char*, int len) {
        (closing ? receivedInClose : received) += static_cast<std::size_t>(len);
    };
    ConnectTo(server);
    const int size = 256 * 1024;
    setsockopt(ws.HSocket(), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&size), sizeof size);
    u_long unread = 0;
    ASSERT_TRUE(PumpUntil([&] { return received >= 65536 && !ioctlsocket(ws.HSocket(), FIONREAD, &unread) &&
                                       unread > 65536; }, 10000)) << unread;
    EXPECT_EQ(received, 64u * 1024);
    EXPECT_EQ(events, std::vector<std::string>{"DataSent 0"});
    int readings = 0;
    rtl::SetMonotonicSource([&] { return rtl::MonotonicPoint{} + std::chrono::seconds(3 * readings++); });
    net::WSocketReplaceProc("closesocket",
                            reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&CloseThatWouldBlock)));
    closing = true;
    ws.Close();
    net::WSocketReplaceProc("closesocket", nullptr);
    rtl::SetMonotonicSource(nullptr);
    EXPECT_EQ(receivedInClose, 64u * 1024);
    EXPECT_EQ(events.back(), "SessionClosed 10060");
    ASSERT_TRUE(server.WaitForEnd(0, 5000));
    EXPECT_EQ(server.Connections().at(0).end, PeerEnd::Reset);
}

// ---- failures ---------------------------------------------------------------

// Host names are looked up without holding the thread: Connect returns at
// once, and the answer comes from the message loop.
TEST_F(WSocketTest, AHostNameIsLookedUpFromTheMessageLoop) {
    LoopbackServer server;
    std::vector<net::TSocketState> states;
    ws.OnChangeState = [&](TWSocket*, net::TSocketState, net::TSocketState to) { states.push_back(to); };
    onDataSent = [&](int) { ws.Close(); };
    Prepare("localhost", server.PortText());  // the system's own answer (the hosts file)
    Inside([&] { ws.Connect(); });
    EXPECT_EQ(ws.State(), net::wsConnecting);
    EXPECT_EQ(ws.HSocket(), net::kInvalidSocket) << "no socket before the answer";
    EXPECT_TRUE(events.empty());
    ASSERT_TRUE(PumpUntilEvents(2));
    EXPECT_EQ(events, (std::vector<std::string>{"DataSent 0", "SessionClosed 0"}));
    EXPECT_EQ(states, (std::vector<net::TSocketState>{net::wsConnecting, net::wsOpened, net::wsConnecting,
                                                       net::wsConnected, net::wsClosed}));
    ASSERT_TRUE(server.WaitForEnd(0, 5000));
    EXPECT_EQ(server.Connections().at(0).end, PeerEnd::Fin);
}

// A failed lookup is reported from the loop with the text a failed
// resolution always had, and the attempt ends with OnSessionClosed.
TEST_F(WSocketTest, AFailedLookupReportsFromTheLoopAndEndsTheAttempt) {
    Prepare(kUnresolvable, "14580");
    Inside([&] { ws.Connect(); });
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(ws.State(), net::wsConnecting);
    ASSERT_TRUE(PumpUntilEvents(2));
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(events, (std::vector<std::string>{"Error", "SessionClosed 0"}));
    EXPECT_EQ(ws.State(), net::wsClosed);
    EXPECT_EQ(ws.HSocket(), net::kInvalidSocket);
    EXPECT_NE(ws.LastError(), 0);

    // Without an OnError handler the failure goes to the background
    // exception handler, which ends the attempt.
    ws.OnError = nullptr;
    std::string message;
    ws.OnBgException = [&](TWSocket*, const std::exception& e, bool&) { message = e.what(); };
    events.clear();
    Prepare(kUnresolvable, "14580");
    ws.Connect();
    ASSERT_TRUE(PumpUntilEvents(1));
    const std::string expected = "connect: WSocketResolveHost: Cannot convert host address '" + kUnresolvable + "', Error #";
    EXPECT_EQ(message.rfind(expected, 0), 0u) << message;
    EXPECT_EQ(events, std::vector<std::string>{"SessionClosed 0"});
    EXPECT_EQ(ws.State(), net::wsClosed);
}

// Through a lookup of the tests' own: a lookup in progress holds the
// component like a pending connection, Abort and Close give it up, and the
// answer that comes anyway (into a buffer still its own) changes nothing.
TEST_F(WSocketTest, AbortAndCloseGiveUpALookupAndItsLateAnswerChangesNothing) {
    LoopbackServer server;
    testsupport::ScriptedLookup slow(300);
    ws.SetHostLookup(&slow);
    const std::string name = std::string(64, 'n') + ".invalid";  // never a real query
    for (const bool useAbort : {true, false}) {
        SCOPED_TRACE(useAbort ? "Abort" : "Close");
        events.clear();
        Prepare(name, server.PortText());
        Inside([&] { ws.Connect(); });
        EXPECT_EQ(ws.State(), net::wsConnecting);
        Inside([&] { ws.Connect(); });
        Inside([&] { ws.SetAddr("127.0.0.1"); });
        EXPECT_EQ(events, (std::vector<std::string>{"Error inside", "Error inside"})) << "in use while looking up";
        Inside([&] { useAbort ? ws.Abort() : ws.Close(); });
        EXPECT_EQ(events.back(), "SessionClosed 0 inside");
        EXPECT_EQ(ws.State(), net::wsClosed);
    }
    const size_t seen = events.size();
    EXPECT_EQ(net::WSocketPendingLookups(), 2u) << "given up, they still run";
    ASSERT_TRUE(PumpUntil([&] { return net::WSocketPendingLookups() == 0; }, 3000));
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(events.size(), seen) << "a late answer starts nothing";
    EXPECT_EQ(slow.AnswersPosted(), 2u);
    EXPECT_EQ(slow.StrayWrites(), 0u);
    EXPECT_EQ(ws.State(), net::wsClosed);
    EXPECT_EQ(server.ConnectionCount(), 0u);

    // An answer that is awaited opens the connection to the address found.
    events.clear();
    onDataSent = [&](int) { ws.Close(); };
    Prepare(name, server.PortText());
    ws.Connect();
    ASSERT_TRUE(PumpUntilEvents(2));
    EXPECT_EQ(events, (std::vector<std::string>{"DataSent 0", "SessionClosed 0"}));
    EXPECT_EQ(slow.Names(), std::vector<std::string>(3, name));
    EXPECT_TRUE(server.WaitForEnd(0, 5000));
}

// A connection started from inside the previous one's OnSessionClosed (as
// the upload's watchdog may do: Abort, then Connect) reports its own close,
// whichever way the previous one ended.
TEST_F(WSocketTest, AConnectionStartedInsideSessionClosedReportsItsOwnClose) {
    for (const bool serverEndsFirst : {false, true}) {
        SCOPED_TRACE(serverEndsFirst ? "the server ended the first" : "Close ended the first");
        LoopbackServer::Options first;
        if (serverEndsFirst) first.behaviour = Behaviour::CloseOnAccept;
        LoopbackServer firstServer(first), secondServer;
        events.clear();
        int connections = 1;
        onSessionClosed = [&] {
            if (connections++ == 1) {
                ws.Abort();  // the server's end is reported while still connected
                ConnectTo(secondServer);
            }
        };
        onDataSent = [&](int) {
            if (connections == 1 && !serverEndsFirst) ws.Close();
            if (connections == 2) ws.Close();
        };
        ConnectTo(firstServer);
        ASSERT_TRUE(PumpUntil([&] { return std::count(events.begin(), events.end(), "SessionClosed 0") == 2; },
                              5000))
            << "the second connection's close was not reported";
        PumpUntil([] { return false; }, 200);
        EXPECT_EQ(std::count(events.begin(), events.end(), "SessionClosed 0"), 2);
        EXPECT_EQ(std::count(events.begin(), events.end(), "Error"), 0);
        EXPECT_EQ(ws.State(), net::wsClosed);
        ASSERT_TRUE(secondServer.WaitForEnd(0, 5000));
        EXPECT_EQ(secondServer.Connections().at(0).end, PeerEnd::Fin);
        onSessionClosed = nullptr;
        onDataSent = nullptr;
    }
}

TEST_F(WSocketTest, ResolutionFailuresAreReportedAsConnectMessages) {
    ws.OnError = nullptr;
    struct Case {
        std::string addr, port, proto, message;
    };
    const Case cases[] = {
        {"127.0.0.1", "nosuchservice", "tcp",
         "connect: WSocketResolvePort: Cannot convert port 'nosuchservice', Error #11004"},
        {"127.0.0.1", "14580", "nosuchproto",
         "connect: WSocketResolveProto: Cannot convert protocol 'nosuchproto', Error #11004"},
        {std::string(257, 'h'), "14580", "tcp",
         "connect: WSocketResolveHost: '" + std::string(257, 'h') + "' Invalid Hostname."},
        {"1.2.3.09", "14580", "tcp", "connect: WSocketResolveHost: '1.2.3.09' Invalid IP address."},
    };
    for (const Case& c : cases) {
        ws.SetProto(c.proto);
        ws.SetAddr(c.addr);
        ws.SetPort(c.port);
        EXPECT_EQ(MessageOf([&] { ws.Connect(); }), c.message);
        EXPECT_EQ(ws.State(), net::wsClosed);
        EXPECT_EQ(ws.HSocket(), net::kInvalidSocket);
    }
}

TEST_F(WSocketTest, BlankAddrIsUnassigned) {
    ws.OnError = nullptr;
    Prepare("   ", "14580");
    EXPECT_EQ(MessageOf([&] { ws.Connect(); }), "Connect: No IP Address Specified");
}

TEST_F(WSocketTest, RefusedConnectionEndsInSessionClosedOnly) {
    std::vector<int> connectCodes;
    ws.OnSessionConnected = [&](TWSocket*, std::uint16_t code) { connectCodes.push_back(code); };
    Prepare(LoopbackServer::Address(), std::to_string(LoopbackServer::UnusedPort()));
    Inside([&] { ws.Connect(); });
    EXPECT_EQ(ws.State(), net::wsConnecting);
    EXPECT_TRUE(events.empty());
    ASSERT_TRUE(PumpUntilEvents(1));
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(events, std::vector<std::string>{"SessionClosed 0"});
    EXPECT_EQ(connectCodes, std::vector<int>{WSAECONNREFUSED});
    EXPECT_EQ(ws.State(), net::wsClosed);
    EXPECT_EQ(ws.LastError(), 0) << "the connect error is not recorded";
}

TEST_F(WSocketTest, PeerClosingRightAfterAcceptingEndsTheSessionOnce) {
    LoopbackServer::Options options;
    options.behaviour = Behaviour::CloseOnAccept;
    options.greeting = "# server full\r\n";
    LoopbackServer server(options);
    ConnectTo(server);
    ASSERT_TRUE(PumpUntil([&] { return !events.empty() && events.back().rfind("SessionClosed", 0) == 0; }, 5000));
    PumpUntil([] { return false; }, 300);
    // The first OnDataSent may come before the close is noticed.
    std::vector<std::string> closes, others;
    for (const auto& e : events) (e.rfind("SessionClosed", 0) == 0 ? closes : others).push_back(e);
    EXPECT_EQ(closes, std::vector<std::string>{"SessionClosed 0"});
    for (const auto& e : others) EXPECT_EQ(e, "DataSent 0");
    EXPECT_EQ(closedInState, net::wsConnected) << "OnSessionClosed fires while still connected";
    EXPECT_EQ(ws.State(), net::wsClosed);
}

TEST_F(WSocketTest, NoDataSentFollowsTheSessionClosedOfItsConnection) {
    // A peer that closes the moment it has read the text: its close can be
    // queued before the send completion that SendStr queues. The session-
    // closed handler lets messages through (as the upload's does); the send
    // completion must not then be reported for the ended connection. The
    // order is made here by queueing the two notifications as the system
    // would.
    LoopbackServer server;
    ConnectTo(server);
    ASSERT_TRUE(PumpUntilEvents(1));
    onSessionClosed = [] { PumpUntil([] { return false; }, 200); };
    const HWND window = ws.Handle();
    const WPARAM socket = static_cast<WPARAM>(ws.HSocket());
    PostMessageA(window, net::WM_ASYNCSELECT, socket, MAKELPARAM(FD_CLOSE, 0));
    PostMessageA(window, net::WM_ASYNCSELECT, socket, MAKELPARAM(FD_WRITE, 0));
    ASSERT_TRUE(PumpUntilEvents(2));
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(events, (std::vector<std::string>{"DataSent 0", "SessionClosed 0"}));
    EXPECT_EQ(ws.State(), net::wsClosed);
}

TEST_F(WSocketTest, PeerResettingRightAfterAcceptingEndsTheSessionOnce) {
    LoopbackServer::Options options;
    options.behaviour = Behaviour::ResetOnAccept;
    LoopbackServer server(options);
    ConnectTo(server);
    ASSERT_TRUE(PumpUntil([&] { return !events.empty() && events.back().rfind("SessionClosed", 0) == 0; }, 5000));
    PumpUntil([] { return false; }, 300);
    int closes = 0;
    for (const auto& e : events) {
        if (e.rfind("SessionClosed", 0) == 0) ++closes;
        EXPECT_NE(e, "Error");
    }
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(ws.State(), net::wsClosed);
}

TEST_F(WSocketTest, SendFailingAfterAResetClosesInsideSendStr) {
    LoopbackServer::Options options;
    options.behaviour = Behaviour::CloseAfterFirstLine;
    LoopbackServer server(options);
    onDataSent = [&](int n) {
        if (n == 1) ws.SendStr(kLogin);
        if (n == 2) {
            // The server closes after the login line (nothing here pumps, so
            // its close stays unnoticed); the next packet is answered with a
            // reset, and the send after that fails.
            for (int i = 0; i < 500 && !server.Ended(0); ++i) Sleep(10);
            Sleep(50);
            ws.SendStr(kPacket);
            Sleep(200);
            Inside([&] { return ws.SendStr(kPacket); });
        }
    };
    ConnectTo(server);
    ASSERT_TRUE(PumpUntil([&] { return !events.empty() && events.back().rfind("SessionClosed", 0) == 0; }, 5000));
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(events, (std::vector<std::string>{"DataSent 0", "DataSent 0", "SessionClosed 10054 inside"}));
    EXPECT_EQ(ws.State(), net::wsClosed);
    EXPECT_EQ(ws.HSocket(), net::kInvalidSocket);
}

TEST_F(WSocketTest, SendWhileNotConnected) {
    // Closed: -1, OnError inside, LastError 10057, nothing else.
    EXPECT_EQ(Inside([&] { return ws.SendStr("x"); }), -1);
    EXPECT_EQ(events, std::vector<std::string>{"Error inside"});
    EXPECT_EQ(ws.LastError(), WSAENOTCONN);
    ws.OnError = nullptr;
    EXPECT_EQ(MessageOf([&] { ws.SendStr("x"); }), "Error 10057 in function Send\r\nSocket is not connected");

    // Still connecting: the attempt is closed first.
    Attach();
    events.clear();
    LoopbackServer server;
    ConnectTo(server);
    ASSERT_EQ(ws.State(), net::wsConnecting);
    EXPECT_EQ(Inside([&] { return ws.SendStr("x"); }), -1);
    EXPECT_EQ(events, (std::vector<std::string>{"SessionClosed 10057 inside", "Error inside"}));
    EXPECT_EQ(ws.State(), net::wsClosed);
    EXPECT_EQ(ws.HSocket(), net::kInvalidSocket);
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(events.size(), 2u) << "the closed attempt's notifications are ignored";
}

// ---- setters and Connect while busy ----------------------------------------

TEST_F(WSocketTest, SettersRefuseANewValueUnlessClosed) {
    LoopbackServer server;
    ConnectTo(server);
    ASSERT_EQ(ws.State(), net::wsConnecting);
    // The same value does nothing, in any state.
    Inside([&] { ws.SetAddr(LoopbackServer::Address()); });
    Inside([&] { ws.SetPort(server.PortText()); });
    Inside([&] { ws.SetProto("tcp"); });
    EXPECT_TRUE(events.empty());

    ws.OnError = nullptr;
    struct Case {
        std::function<void()> set;
        std::string message;
    };
    const Case cases[] = {
        {[&] { ws.SetAddr("localhost"); }, "Cannot change Addr if not closed"},
        {[&] { ws.SetPort("14581"); }, "Cannot change Port if not closed"},
        {[&] { ws.SetProto("udp"); }, "Cannot change Proto if not closed"},
        {[&] { ws.SetLocalAddr("127.0.0.1"); }, "Cannot change LocalAddr if not closed"},
        {[&] { ws.SetLocalPort("5000"); }, "Cannot change LocalPort if not closed"},
    };
    for (const Case& c : cases) EXPECT_EQ(MessageOf(c.set), c.message);
    EXPECT_EQ(ws.Addr(), LoopbackServer::Address());
    EXPECT_EQ(ws.Port(), server.PortText());
    EXPECT_EQ(ws.Proto(), "tcp");
    EXPECT_EQ(ws.LocalAddr(), "0.0.0.0");
    EXPECT_EQ(ws.LocalPort(), "0");
    EXPECT_EQ(ws.State(), net::wsConnecting);
}

TEST_F(WSocketTest, AbortInOnErrorOfARefusedSetterEndsTheAttempt) {
    LoopbackServer server;
    onError = [&] { ws.Abort(); };
    ConnectTo(server);
    Inside([&] { ws.SetAddr("localhost"); });
    EXPECT_EQ(events, (std::vector<std::string>{"Error inside", "SessionClosed 0 inside"}));
    EXPECT_EQ(ws.Addr(), LoopbackServer::Address());
    EXPECT_EQ(ws.State(), net::wsClosed);
    // The reset made Addr and Port unassigned.
    events.clear();
    onError = nullptr;
    ws.OnError = nullptr;
    ws.SetPort(server.PortText());
    EXPECT_EQ(MessageOf([&] { ws.Connect(); }), "Connect: No IP Address Specified");
}

TEST_F(WSocketTest, ConnectWhileConnectingIsRefused) {
    LoopbackServer server;
    ConnectTo(server);
    ASSERT_EQ(ws.State(), net::wsConnecting);
    ws.OnError = nullptr;
    EXPECT_EQ(MessageOf([&] { ws.Connect(); }), "Connect: Socket already in use");
    EXPECT_EQ(ws.State(), net::wsConnecting);

    // As the upload answers it: Abort in OnError closes the old attempt
    // inside Connect, and no new one is started.
    Attach();
    onError = [&] { ws.Abort(); };
    Inside([&] { ws.Connect(); });
    EXPECT_EQ(events, (std::vector<std::string>{"Error inside", "SessionClosed 0 inside"}));
    EXPECT_EQ(ws.State(), net::wsClosed);
    EXPECT_EQ(ws.HSocket(), net::kInvalidSocket);
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(events.size(), 2u);
    EXPECT_LE(server.ConnectionCount(), 1u);
}

// ---- stale notifications ----------------------------------------------------

TEST_F(WSocketTest, NotificationsOfAnEarlierConnectionAreIgnored) {
    LoopbackServer::Options options;
    options.behaviour = Behaviour::CloseOnAccept;
    options.greeting = "# going away\r\n";
    LoopbackServer first(options);
    LoopbackServer second;
    ConnectTo(first);
    const net::TSocket oldSocket = ws.HSocket();
    // Let the first connection's notifications (connect, write, read,
    // close) queue up unhandled, then abandon it.
    for (int i = 0; i < 100 && first.Connections().empty(); ++i) Sleep(20);
    Sleep(300);
    Inside([&] { ws.Abort(); });
    EXPECT_EQ(events, std::vector<std::string>{"SessionClosed 0 inside"});
    events.clear();

    ConnectTo(second);
    ASSERT_TRUE(PumpUntilEvents(1));
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(events, std::vector<std::string>{"DataSent 0"});
    EXPECT_EQ(ws.State(), net::wsConnected);

    // A notification naming a socket that is not the current one.
    if (oldSocket != ws.HSocket()) {
        PostMessageA(ws.Handle(), net::WM_ASYNCSELECT, oldSocket, MAKELPARAM(FD_CLOSE | FD_WRITE, 0));
        PumpUntil([] { return false; }, 200);
        EXPECT_EQ(events, std::vector<std::string>{"DataSent 0"});
        EXPECT_EQ(ws.State(), net::wsConnected);
    }
    PostMessageA(ws.Handle(), net::WM_ASYNCSELECT, ws.HSocket() ^ 0x4000, MAKELPARAM(FD_CLOSE, 0));
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(ws.State(), net::wsConnected);
    EXPECT_EQ(events.size(), 1u);
}

TEST_F(WSocketTest, CloseNotificationWhileConnectingIsIgnored) {
    LoopbackServer server;
    ConnectTo(server);
    ASSERT_EQ(ws.State(), net::wsConnecting);
    SendMessageA(ws.Handle(), net::WM_ASYNCSELECT, ws.HSocket(), MAKELPARAM(FD_CLOSE, 0));
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(ws.State(), net::wsConnecting);
    ASSERT_TRUE(PumpUntilEvents(1));
    EXPECT_EQ(events, std::vector<std::string>{"DataSent 0"});
}

// ---- background exceptions --------------------------------------------------

TEST_F(WSocketTest, ExceptionInDataSentAbortsTheConnection) {
    LoopbackServer server;
    onDataSent = [&](int) { throw rtl::Exception("Cannot write the registry value"); };
    ConnectTo(server);
    ASSERT_TRUE(PumpUntilEvents(2));
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(events, (std::vector<std::string>{"DataSent 0", "SessionClosed 0"}));
    EXPECT_EQ(ws.State(), net::wsClosed);
    EXPECT_TRUE(recorder.shown.empty()) << "nothing reaches the message loop";
    ASSERT_TRUE(server.WaitForEnd(0, 5000));
}

TEST_F(WSocketTest, ExceptionInSessionClosedStillResets) {
    LoopbackServer::Options options;
    options.behaviour = Behaviour::CloseOnAccept;
    LoopbackServer server(options);
    LoopbackServer next;
    onSessionClosed = [&] { throw rtl::Exception("failed"); };
    ConnectTo(server);
    ASSERT_TRUE(PumpUntil([&] { return !events.empty() && events.back().rfind("SessionClosed", 0) == 0; }, 5000));
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(ws.State(), net::wsClosed);
    EXPECT_EQ(ws.HSocket(), net::kInvalidSocket);
    EXPECT_TRUE(recorder.shown.empty());
    // The next connection behaves as usual, down to its one OnSessionClosed.
    onSessionClosed = nullptr;
    events.clear();
    onDataSent = [&](int) { ws.Close(); };
    ConnectTo(next);
    ASSERT_TRUE(PumpUntilEvents(2));
    EXPECT_EQ(events, (std::vector<std::string>{"DataSent 0", "SessionClosed 0"}));
}

TEST_F(WSocketTest, BackgroundExceptionHandlerCanKeepTheConnection) {
    LoopbackServer server;
    std::vector<std::string> seen;
    ws.OnBgException = [&](TWSocket*, const std::exception& e, bool& canClose) {
        seen.push_back(e.what());
        canClose = false;
    };
    ConnectTo(server);
    ASSERT_TRUE(PumpUntilEvents(1));
    PostMessageA(ws.Handle(), net::WM_TRIGGER_EXCEPTION, 0, 0);
    PumpUntil([&] { return !seen.empty(); }, 2000);
    EXPECT_EQ(seen, std::vector<std::string>{"Test exception in WSocket"});
    EXPECT_EQ(ws.State(), net::wsConnected);

    ws.OnBgException = nullptr;
    PostMessageA(ws.Handle(), net::WM_TRIGGER_EXCEPTION, 0, 0);
    ASSERT_TRUE(PumpUntilEvents(2));
    EXPECT_EQ(events, (std::vector<std::string>{"DataSent 0", "SessionClosed 0"}));
    EXPECT_TRUE(recorder.shown.empty());
}

TEST_F(WSocketTest, ForeignExceptionGoesToTheApplicationNotThroughTheWindow) {
    LoopbackServer server;
    onDataSent = [&](int) { throw 42; };
    ConnectTo(server);
    ASSERT_TRUE(PumpUntilEvents(1));
    PumpUntil([] { return false; }, 200);
    ASSERT_EQ(recorder.shown.size(), 1u);
    EXPECT_EQ(recorder.shown[0].first, "Teskaprs");
    EXPECT_EQ(recorder.shown[0].second, "Unknown exception.");
}

// ---- local binding ----------------------------------------------------------

TEST_F(WSocketTest, LocalPortIsUsedWhenSet) {
    LoopbackServer server;
    const unsigned short local = LoopbackServer::UnusedPort();
    ws.SetLocalPort(std::to_string(local));
    ConnectTo(server);
    ASSERT_TRUE(PumpUntilEvents(1));
    ASSERT_TRUE(server.WaitForConnections(1, 2000));
    EXPECT_EQ(server.Connections()[0].peerPort, local);
    ws.Close();
    EXPECT_EQ(ws.LocalPort(), "0") << "every close resets the local port";
}

}  // namespace
