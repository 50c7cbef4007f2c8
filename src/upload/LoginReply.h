// What the server answers to the login line, and what the station owner is
// told about it.
//
// APRS-IS servers answer a login with one line, "# logresp <call> verified,
// server <name>" or "... unverified, server <name>", or with a line starting
// "# Invalid login" when they cannot read it. A licensed station whose
// validation number is wrong is "unverified", and the general servers then
// drop its packets without a word: the one mistake a user cannot see.
#pragma once

#include <cstddef>
#include <string>

#include "upload/Outcome.h"

namespace upload {

enum class LoginVerdictKind {
    None,        // no reply to the login seen (yet)
    Verified,    // "# logresp <call> verified, server <name>"
    Unverified,  // "# logresp <call> unverified, server <name>"
    Invalid,     // "# Invalid login..."
    Other,       // "# logresp ..." with a status the program does not know
};

struct LoginVerdict {
    LoginVerdictKind kind = LoginVerdictKind::None;
    std::string callsign;  // as the server names it (logresp only)
    std::string server;    // the server's name, after "server " (logresp only)
    std::string line;      // the whole reply line, without its line end
                           // (all three: printable ASCII only, any other character a "?")
};

// Recognises the reply to the login in what the server sends, fed chunk by
// chunk as it arrives. The first line starting with "# logresp " or
// "# Invalid login" is the verdict; every other line is ignored, and so is a
// line longer than kMaxLine bytes (it cannot be a reply to a login; only its
// end is looked for). A line ends at LF or CR. Memory stays at one line
// whatever is sent.
class LoginReplyReader {
public:
    static constexpr std::size_t kMaxLine = 512;

    void Feed(const char* data, std::size_t length);
    // Forgets everything, for the next connection.
    void Reset();

    bool HasVerdict() const { return verdict_.kind != LoginVerdictKind::None; }
    const LoginVerdict& Verdict() const { return verdict_; }

private:
    void EndOfLine();

    std::string line_;
    bool tooLong_ = false;  // the current line passed kMaxLine: skipped to its end
    LoginVerdict verdict_;
};

// A callsign or validation number as the login line sends it: trimmed,
// without control characters.
std::string AsSent(const std::string& text);

// The verdict of one reply line (kind None when it is not a reply to a login).
LoginVerdict ParseLoginReply(const std::string& line);

// What the window shows after a session. Empty texts: nothing new.
struct LoginNotice {
    std::string status;  // the window's status line
    std::string hint;    // the tray icon's hint, at most 63 characters
    bool Empty() const { return status.empty(); }
};

// A station with a validation number (anything but "-1" as the login line
// sends it) that the server calls unverified, or a login the server calls
// invalid, is told what to do; a station without a validation number (always
// unverified, by design) or a verified login is told nothing new.
LoginNotice NoticeFor(const std::string& validation, const LoginVerdict& verdict);

// What the server's reply to the login makes of the packet sent after it.
struct LoginOutcome {
    AttemptOutcome outcome;  // Delivered, LoginNotVerified or ServerDidNotConfirm
    bool storePacket;        // recorded as the last packet, so that it is not sent again
};

// A delivery only when the reply names the callsign the login sent (in any
// case) and says "verified", or "unverified" for a station without a
// validation number. A validation number the server calls unverified: the
// packet went out and is not sent again, but the server drops it. No reply,
// a reply for another callsign, or any other reply: nothing confirmed, and
// the packet goes out again at the next attempt.
LoginOutcome OutcomeOfLogin(const std::string& callsign, const std::string& validation, const LoginVerdict& verdict);

// A licensed station (a validation number other than -1) logging in with
// its bare callsign: APRS-IS logs out the owner's other login of that
// callsign (an igate) at every upload, which a weather SSID avoids.
bool WantsWeatherSsid(const std::string& callsign, const std::string& validation);

}  // namespace upload
