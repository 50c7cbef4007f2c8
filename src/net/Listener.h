// TListener: the program's own small HTTP listener, through which a weather
// station on the local network hands over its readings. Like the client
// (TWSocket) it is event-driven: network events and its timers arrive as
// messages to a hidden window of its own, and nothing in it ever waits, so
// the window stays alive whatever a client does.
//
// It listens on every interface (IPv6 and IPv4 on one socket where the
// system has IPv6, else IPv4 alone) and takes connections only from the
// local network's addresses; any other is closed at once without a word.
// Each connection gets one request read, within its limits, and one answer;
// the connection then ends as its client ends it. Limits: at most
// station::kMaxConnections at once (the longest-waiting one makes room for
// a new one), station::kMaxRequestBytes of a request (the reader's bound),
// and RequestDeadlineMs for a request to arrive (and again for the client to
// close after the answer).
#pragma once

#include <windows.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "station/HttpRequest.h"

namespace net {

// How a connection to the listener ended.
enum class ConnectionEnd {
    Answered,      // its request was answered, and the connection closed
    NotLocal,      // its sender is not on the local network: closed at once, unanswered
    Crowded,       // closed unanswered to make room for a newer connection
    TimedOut,      // no whole request in time, or no close after the answer
    TooMuch,       // more sent than a request and its answer's end can be
    ClosedByPeer,  // the client closed or reset before its request was whole
    Stopped,       // the listener was closed meanwhile
};

// The name of an end, for tests and the log ("answered", "timed out"...).
const char* ConnectionEndName(ConnectionEnd end);

class TListener {
public:
    // The answer's status (station::Answer) to a complete request from
    // sender (its address as text: "192.168.1.50", "fe80::1"); 0 closes the
    // connection without an answer.
    using TRequestHandler = std::function<int(const station::HttpRequest& request, const std::string& sender)>;
    // Every connection's end, with its sender and how it ended.
    using TConnectionEnded = std::function<void(const std::string& sender, ConnectionEnd end)>;

    TListener();
    ~TListener();
    TListener(const TListener&) = delete;
    TListener& operator=(const TListener&) = delete;

    // Listens on port on every interface (port 0: one the system chooses,
    // see Port). An earlier listening socket and its connections are closed
    // first. Returns 0, or the sockets error code when the port cannot be
    // opened (10048: another program has it; 10013: not allowed). Raises
    // ESocketException when the sockets library cannot be loaded.
    int Listen(std::uint16_t port);
    // Stops listening and ends every connection unanswered.
    void Close();
    bool Listening() const;
    // The port listened on (0 when not listening).
    std::uint16_t Port() const { return port_; }
    // Connections open now.
    std::size_t ConnectionCount() const { return connections_.size(); }

    // How long a request may take to arrive, in milliseconds.
    unsigned RequestDeadlineMs =
        static_cast<unsigned>(std::chrono::milliseconds(station::kRequestDeadline).count());

    TRequestHandler OnRequest;
    TConnectionEnded OnConnectionEnded;

    // The hidden window the socket events and timers come to.
    HWND Handle() const { return window_; }

private:
    struct Connection;
    static LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp);
    void AcceptWaiting();
    void Accept(UINT_PTR socket, const std::string& sender);
    void HandleEvents(UINT_PTR socket, WORD events, WORD errCode);
    // Reads what has come; false when the connection is gone.
    bool ReadInput(Connection& connection);
    void AnswerRequest(Connection& connection);
    // Hands over what is left of the answer; false when the connection is gone.
    bool SendAnswer(Connection& connection);
    void End(Connection& connection, ConnectionEnd end, bool reset);
    Connection* Find(UINT_PTR socket);
    Connection* FindById(unsigned id);
    void CloseListeningSocket();

    HWND window_ = nullptr;
    UINT_PTR socket_ = ~UINT_PTR(0);
    std::uint16_t port_ = 0;
    unsigned nextId_ = 1;
    std::vector<std::unique_ptr<Connection>> connections_;
};

}  // namespace net
