// The tests' own loopback server, checked with plain Winsock clients: what it
// records, how it misbehaves, and that it tells a connection ended with FIN
// from one that was reset.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "LoopbackServer.h"
#include "TestSupport.h"

namespace {

using testsupport::LoopbackServer;
using testsupport::PeerEnd;
using Behaviour = LoopbackServer::Behaviour;

class Winsock : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::InitApplication();
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    }
    void TearDown() override {
        for (SOCKET s : open_) closesocket(s);
        WSACleanup();
    }

    // A blocking client connected to the server.
    SOCKET Connect(unsigned short port) {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << WSAGetLastError();
        open_.push_back(s);
        return s;
    }
    void SendText(SOCKET s, const std::string& text) {
        ASSERT_EQ(send(s, text.data(), static_cast<int>(text.size()), 0), static_cast<int>(text.size()));
    }
    // Reads exactly n bytes (or until the stream ends).
    std::string ReadBytes(SOCKET s, size_t n) {
        std::string all;
        char buffer[4096];
        while (all.size() < n) {
            const int got = recv(s, buffer, static_cast<int>(std::min(sizeof buffer, n - all.size())), 0);
            if (got <= 0) break;
            all.append(buffer, static_cast<size_t>(got));
        }
        return all;
    }
    void Forget(SOCKET s) { open_.erase(std::remove(open_.begin(), open_.end(), s), open_.end()); }
    void CloseGracefully(SOCKET s) {
        shutdown(s, SD_SEND);
        closesocket(s);
        Forget(s);
    }
    void CloseWithReset(SOCKET s) {
        linger hard{};
        hard.l_onoff = 1;
        hard.l_linger = 0;
        setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
        closesocket(s);
        Forget(s);
    }

    std::vector<SOCKET> open_;
};

// The detector itself: the three ways a client can end, each with the end
// the host's TCP stack really saw.
TEST_F(Winsock, TellsAnOrderlyCloseFromAReset) {
    struct Case {
        const char* name;
        bool unreadGreeting;  // the client leaves the server's greeting unread
        bool reset;           // the client closes with linger on, 0 seconds
        PeerEnd expected;
    };
    const Case cases[] = {
        {"shutdown and close", false, false, PeerEnd::Fin},
        {"linger 0 close", false, true, PeerEnd::Reset},
        {"close with unread bytes, after shutdown", true, false, PeerEnd::Reset},
        {"linger 0 close with unread bytes", true, true, PeerEnd::Reset},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackServer::Options options;
        options.greeting = c.unreadGreeting ? "# aprsc 2.1 greeting\r\n" : "";
        LoopbackServer server(options);
        SOCKET client = Connect(server.Port());
        SendText(client, "user N0CALL pass -1\r\n");
        ASSERT_TRUE(server.WaitForBytes(0, 21, 5000));
        if (c.unreadGreeting) Sleep(100);  // the greeting is in the client's buffer, unread
        if (c.reset)
            CloseWithReset(client);
        else
            CloseGracefully(client);
        ASSERT_TRUE(server.WaitForEnd(0, 5000));
        const auto connection = server.Connections().at(0);
        EXPECT_EQ(connection.Received(), "user N0CALL pass -1\r\n");
        EXPECT_EQ(connection.end, c.expected) << testsupport::PeerEndName(connection.end);
        EXPECT_FALSE(connection.closedByServer);
    }
}

TEST_F(Winsock, RecordsEveryByteWithItsTimeAndGreetsAndReplies) {
    LoopbackServer::Options options;
    options.greeting = "# hello\r\n";
    options.replyToLines = "# ok\r\n";
    LoopbackServer server(options);
    const ULONGLONG before = GetTickCount64();
    SOCKET client = Connect(server.Port());
    EXPECT_EQ(ReadBytes(client, 9), "# hello\r\n");
    SendText(client, "first\r\n");
    EXPECT_EQ(ReadBytes(client, 6), "# ok\r\n");
    Sleep(150);
    SendText(client, "second\r\n");
    EXPECT_EQ(ReadBytes(client, 6), "# ok\r\n");
    CloseGracefully(client);
    ASSERT_TRUE(server.WaitForEnd(0, 5000));
    const auto connection = server.Connections().at(0);
    EXPECT_EQ(connection.Received(), "first\r\nsecond\r\n");
    ASSERT_EQ(connection.chunks.size(), 2u);
    EXPECT_GE(connection.chunks[0].atMs, before);
    EXPECT_GE(connection.chunks[1].atMs, connection.chunks[0].atMs + 100);
    EXPECT_EQ(connection.bytesSent, 9u + 6u + 6u);
    EXPECT_EQ(connection.end, PeerEnd::Fin);
}

TEST_F(Winsock, RefusesOnAnUnusedPort) {
    const unsigned short port = LoopbackServer::UnusedPort();
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    open_.push_back(s);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_NE(connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(WSAGetLastError(), WSAECONNREFUSED);
}

TEST_F(Winsock, ResetsOrClosesRightAfterAccepting) {
    const struct {
        Behaviour behaviour;
        PeerEnd clientSees;
    } cases[] = {{Behaviour::ResetOnAccept, PeerEnd::Reset}, {Behaviour::CloseOnAccept, PeerEnd::Fin}};
    for (const auto& c : cases) {
        LoopbackServer::Options options;
        options.behaviour = c.behaviour;
        options.greeting = "# bye\r\n";
        LoopbackServer server(options);
        SOCKET client = Connect(server.Port());
        ASSERT_TRUE(server.WaitForEnd(0, 5000));
        EXPECT_TRUE(server.Connections().at(0).closedByServer);
        Sleep(100);
        // The same detector from the client's side of the connection.
        sockaddr_in local{};
        int length = sizeof local;
        getsockname(client, reinterpret_cast<sockaddr*>(&local), &length);
        EXPECT_EQ(LoopbackServer::HostView(ntohs(local.sin_port), server.Port()), c.clientSees);
        if (c.behaviour == Behaviour::CloseOnAccept) {
            EXPECT_EQ(ReadBytes(client, 100), "# bye\r\n");
        } else {
            char buffer[64];
            EXPECT_LE(recv(client, buffer, sizeof buffer, 0), 0);
        }
    }
}

TEST_F(Winsock, ClosesAfterTheFirstLine) {
    LoopbackServer::Options options;
    options.behaviour = Behaviour::CloseAfterFirstLine;
    LoopbackServer server(options);
    SOCKET client = Connect(server.Port());
    SendText(client, "user N0CALL pass -1\r\n");
    ASSERT_TRUE(server.WaitForEnd(0, 5000));
    const auto connection = server.Connections().at(0);
    EXPECT_TRUE(connection.closedByServer);
    EXPECT_EQ(connection.Received(), "user N0CALL pass -1\r\n");
    EXPECT_EQ(ReadBytes(client, 10), "") << "the client sees the end of the stream";
}

TEST_F(Winsock, ReadsSlowlyInSmallPieces) {
    LoopbackServer::Options options;
    options.behaviour = Behaviour::ReadSlowly;
    options.readPieceBytes = 10;
    options.readPauseMs = 50;
    LoopbackServer server(options);
    SOCKET client = Connect(server.Port());
    const std::string text(40, 'a');
    SendText(client, text);
    ASSERT_TRUE(server.WaitForBytes(0, text.size(), 5000));
    const auto connection = server.Connections().at(0);
    EXPECT_EQ(connection.Received(), text);
    ASSERT_EQ(connection.chunks.size(), 4u);
    EXPECT_GE(connection.chunks[3].atMs - connection.chunks[0].atMs, 140u);
}

TEST_F(Winsock, HoldsReadingUntilReleased) {
    LoopbackServer::Options options;
    options.behaviour = Behaviour::HoldReading;
    LoopbackServer server(options);
    SOCKET client = Connect(server.Port());
    SendText(client, "line\r\n");
    CloseGracefully(client);
    Sleep(300);
    ASSERT_EQ(server.ConnectionCount(), 1u);
    EXPECT_EQ(server.Received(0), "");
    server.ReleaseReading();
    ASSERT_TRUE(server.WaitForEnd(0, 5000));
    EXPECT_EQ(server.Connections().at(0).Received(), "line\r\n");
    EXPECT_EQ(server.Connections().at(0).end, PeerEnd::Fin);
}

TEST_F(Winsock, StaysSilentOrSendsALot) {
    {
        LoopbackServer::Options options;
        options.behaviour = Behaviour::Silent;
        LoopbackServer server(options);
        SOCKET client = Connect(server.Port());
        SendText(client, "anyone?\r\n");
        fd_set set;
        FD_ZERO(&set);
        FD_SET(client, &set);
        timeval wait{0, 300 * 1000};
        EXPECT_EQ(select(0, &set, nullptr, nullptr, &wait), 0) << "nothing comes back";
        EXPECT_EQ(server.Received(0), "") << "nothing is read";
    }
    {
        LoopbackServer::Options options;
        options.behaviour = Behaviour::SendLots;
        options.lotsBytes = 3 * 1024 * 1024;
        LoopbackServer server(options);
        SOCKET client = Connect(server.Port());
        EXPECT_EQ(ReadBytes(client, options.lotsBytes).size(), options.lotsBytes);
    }
}

TEST_F(Winsock, NeverCompletesTheHandshakeWhenAskedTo) {
    LoopbackServer::Options options;
    options.behaviour = Behaviour::NoHandshake;
    LoopbackServer server(options);
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    open_.push_back(s);
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(server.Port());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_NE(connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval wait{1, 500 * 1000};
    EXPECT_EQ(select(0, nullptr, &writable, &failed, &wait), 0) << "the connection must still be pending";
}

}  // namespace
