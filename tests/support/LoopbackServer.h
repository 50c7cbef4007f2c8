// A TCP server of the tests' own on 127.0.0.1: it stands in for an APRS-IS
// server. It records every byte it receives with the time it arrived, can send
// a greeting and a reply to each line, and can misbehave on purpose (refuse,
// reset, close early, read slowly or not at all, send a lot, never complete
// the handshake). It runs on threads of its own, so the test's thread is free
// to run its message loop while the server works.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/WSocket.h"

namespace testsupport {

// How the client's side of a connection ended, as the server saw it.
enum class PeerEnd {
    Open,   // not ended (yet), or the server ended it first
    Fin,    // an orderly end: FIN, no reset
    Reset,  // the connection was reset (RST)
};

const char* PeerEndName(PeerEnd end);

struct ReceivedChunk {
    ULONGLONG atMs = 0;  // GetTickCount64() when it was read
    std::string bytes;
};

struct LoopbackConnection {
    unsigned short peerPort = 0;
    ULONGLONG acceptedAtMs = 0;
    std::vector<ReceivedChunk> chunks;
    PeerEnd end = PeerEnd::Open;
    ULONGLONG endedAtMs = 0;
    int endError = 0;             // Winsock error of the read that ended it, 0 for none
    bool closedByServer = false;  // the server ended the connection itself
    std::size_t bytesSent = 0;    // greeting, replies and bulk data sent

    std::string Received() const;
};

class LoopbackServer {
public:
    enum class Behaviour {
        Record,               // read and record until the client ends the connection
        ResetOnAccept,        // reset each connection right after accepting it
        CloseOnAccept,        // send the greeting (if any), then close (FIN) at once
        CloseAfterFirstLine,  // read up to the first LF, then close (FIN)
        ReadSlowly,           // read pieces of readPieceBytes with readPauseMs between them
        HoldReading,          // read nothing until ReleaseReading(), then as Record
        Silent,               // never read, never send, never close (until the server stops)
        SendLots,             // after the greeting send lotsBytes, then as Record
        Stream,               // after the greeting send lines without end, reading as Record meanwhile
        NoHandshake,          // listening, but a client's connection never completes
    };

    struct Options {
        Behaviour behaviour = Behaviour::Record;
        std::string greeting;      // sent right after accepting
        std::string loginReply;    // sent after the first line (LF) received
        // With no loginReply: the first line is answered as APRS-IS answers a
        // login, "# logresp <call> verified, server T2LOOP" ("unverified" for
        // "pass -1").
        bool answerLogin = false;
        // The login reply in pieces of this many bytes, replyPauseMs apart
        // (0: in one piece).
        std::size_t replyPieceBytes = 0;
        DWORD replyPauseMs = 0;
        std::string replyToLines;  // sent after every line received
        int readPieceBytes = 64 * 1024;
        DWORD readPauseMs = 0;
        std::size_t lotsBytes = 0;
        int receiveBufferBytes = 0;  // SO_RCVBUF of the connections; 0 keeps the system's
        // Reading connections: once this many lines (LF) have arrived, the
        // server ends the connection itself, with FIN or with a reset; 0
        // never.
        std::size_t endAfterLines = 0;
        bool endWithReset = false;
    };

    LoopbackServer();
    explicit LoopbackServer(Options options);
    // A server that answers the login as APRS-IS does.
    static Options AprsIs() {
        Options options;
        options.answerLogin = true;
        return options;
    }
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    static const char* Address() { return "127.0.0.1"; }
    unsigned short Port() const;
    std::string PortText() const;

    // A snapshot of the connections accepted so far, in order.
    std::vector<LoopbackConnection> Connections() const;
    std::size_t ConnectionCount() const;
    // What connection index has received so far, and how many bytes it has
    // sent; empty and 0 while there is no such connection yet.
    std::string Received(std::size_t index) const;
    std::size_t BytesSent(std::size_t index) const;
    bool Ended(std::size_t index) const;
    // Lets HoldReading connections start reading.
    void ReleaseReading();

    // Waits for the condition while dispatching this thread's messages
    // (the component under test lives on it); false on time-out.
    bool WaitForConnections(std::size_t count, DWORD timeoutMs);
    // Until connection index has ended (either side).
    bool WaitForEnd(std::size_t index, DWORD timeoutMs);
    // Until connection index has received at least bytes bytes.
    bool WaitForBytes(std::size_t index, std::size_t bytes, DWORD timeoutMs);

    // A loopback port on which nothing listens.
    static unsigned short UnusedPort();

    // How the host's TCP stack sees the server's end of a loopback
    // connection: Fin when it is waiting to close after the peer's FIN,
    // Reset when the connection is gone (only a reset removes it while the
    // server still holds its socket), Open otherwise.
    static PeerEnd HostView(unsigned short serverPort, unsigned short peerPort);

    struct State;

private:
    std::shared_ptr<State> state_;
};

// A host-name lookup of the tests' own, for TWSocket::SetHostLookup: every
// name "resolves" to 127.0.0.1 answerAfterMs after the request: a thread of
// its own writes the answer into the request's buffer and posts it to the
// window, whether or not anybody still waits for it (as Wine's lookups do).
// The real resolver is never asked.
class ScriptedLookup : public net::AsyncHostLookup {
public:
    explicit ScriptedLookup(DWORD answerAfterMs);
    ~ScriptedLookup() override;
    HANDLE Start(HWND window, UINT msg, const std::string& name, char* buffer, int length, int& error) override;

    std::vector<std::string> Names() const;   // every name asked for, in order
    std::size_t AnswersPosted() const;
    // Answers written into a buffer that no lookup owned any more.
    std::size_t StrayWrites() const;

    struct State;

private:
    std::shared_ptr<State> state_;
};

// Dispatches this thread's messages until the condition holds or the time is
// up (sleeping on the queue in between); returns the condition's last value.
bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs);

}  // namespace testsupport
