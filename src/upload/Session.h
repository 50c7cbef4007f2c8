// The upload session's rules that need no window: the servers to try, chosen
// by the kind of callsign; the login line; and how the position in the list
// moves on for "Update Now", the watchdog, the schedule and a failed connect.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "upload/LoginReply.h"

namespace upload {

// A server to try: a host name or dotted address and a port, both as text.
struct ServerEntry {
    std::string host;
    std::string port;
    bool operator==(const ServerEntry&) const = default;
};

inline constexpr int kServerCount = 3;
using ServerList = std::array<ServerEntry, kServerCount>;

// APRS-IS servers take station uploads on this port.
inline constexpr char kServerPort[] = "14580";
// The citizen weather observer network's ingest host and its alternates.
inline constexpr char kCwopIngestHost[] = "cwop.aprs.net";
inline constexpr char kCwopAlternateHost1[] = "cwop1.aprs.net";
inline constexpr char kCwopAlternateHost2[] = "cwop2.aprs.net";
inline constexpr char kCwopAlternateHost3[] = "cwop3.aprs.net";
// The general APRS-IS network's rotating names: all servers, weather servers.
inline constexpr char kAprsIsRotationHost[] = "rotate.aprs.net";
inline constexpr char kAprsIsWeatherRotationHost[] = "rotate.aprs2.net";

// CWOP station numbers (CW..., DW...) and stations without a validation
// number ("-1") go to the CWOP servers; licensed amateurs with a validation
// number to the general APRS-IS rotation.
enum class CallsignClass { Cwop, AprsIs };

// The class of a station: "CW" or "DW" at the start of the callsign as it is
// sent (trimmed, without control characters), or the validation exactly
// "-1" as typed (a blank before it makes it an APRS-IS station).
CallsignClass ClassOf(const std::string& callsign, const std::string& validation);

struct CandidateLists {
    ServerList primary;
    ServerList alternate;
};

// The two candidate lists of a class; in the APRS-IS class they are equal.
CandidateLists CandidatesFor(CallsignClass kind);

// For tests only: every candidate list of every class becomes this list (so
// that a test can point the three positions at servers of its own);
// nullptr restores the built-in servers.
void ReplaceServerTableForTests(const ServerList* list);

// "user <callsign> pass <validation> vers Teskaprs <version>" and CR LF: the
// callsign and validation trimmed, and no control character of any piece
// kept, so that the login is always exactly one line.
std::string LoginLine(const std::string& callsign, const std::string& validation, const std::string& fileVersion);

// Where the upload stands in its server lists. One per main window.
struct SessionState {
    ServerList PrimaryServers;
    ServerList AlternateServers;
    ServerList ActiveServers;  // positions 1..ServerCount
    int ServerIndex = 1;       // position being tried or used, 1-based
    static constexpr int ServerCount = kServerCount;  // fixed
    bool UseAlternate = false;  // which list the next fill takes; flips at every fill
    // A changed packet is being delivered: "Update Now" keeps the list and
    // the position, so the watchdog and the schedule work through it.
    bool CycleActive = false;

    // The entry at ServerIndex; raises std::out_of_range when ServerIndex is
    // not a position of the list.
    const ServerEntry& Current() const;

    // "Update Now", before the upload: the candidate lists are rebuilt for
    // the station's class. In manual mode every position holds the typed
    // server, as typed, and the position is 1. In automatic mode an active
    // cycle keeps its list and position; otherwise the next list (primary,
    // alternate, primary...) is taken from position 1.
    void ChooseServers(const std::string& callsign, const std::string& validation, bool automatic,
                       const std::string& manualHost, const std::string& manualPort);

    // The watchdog: the next position, back to 1 after the last; the cycle
    // goes on.
    void AdvanceForWatchdog();
    // The schedule: the next position; wrapping past the last ends the cycle.
    void AdvanceForSchedule();
    // A connect request that failed: the next position, the cycle ending
    // when that wraps. True when the failed position was not the last, so
    // the next one is to be tried at once.
    bool AdvanceAfterConnectFailure();

private:
    // Moves to the next position; true when that wrapped back to 1.
    bool Advance();
};

// What an upload attempt sends, taken and checked when it starts: the login
// line and the packet are made from these alone, so whatever is typed
// during a session counts from the next attempt on.
struct AttemptSend {
    std::string callsign;    // as typed, untrimmed
    std::string validation;  // as typed, untrimmed
    std::string packet;      // one line ending in CR LF
};

// The upload attempt whose connection is under way, as the window's steps
// see it: which connection it is, what it sends, the server it asked for,
// what that server said to the login, and how far the attempt got. The steps
// let messages through while they wait, so each step tells by these whether
// its connection ended, or a newer one began, meanwhile.
struct ConnectionAttempt {
    unsigned connection = 0;     // counts connect requests
    unsigned sessionCloses = 0;  // counts session-closed events
    unsigned watchedUpload = 0;  // the upload attempt (UploadState::Attempts) the watchdog watches
    AttemptSend send;            // what this attempt sends
    int SendStep = 0;            // data-sent events seen on this connection
    ServerEntry server;          // the server the connection was asked for
    LoginReplyReader loginReply;  // what the server said to the login
    bool loginSent = false;      // the login line is out
    bool ownClose = false;    // the program's own Close after the packet is under way
    bool ended = true;        // its end is in the upload log (no attempt yet counts as ended)
    bool outcomeDue = false;  // its outcome is still to be noted
};

}  // namespace upload
