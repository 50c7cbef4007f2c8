#include "upload/LoginReply.h"

#include "rtl/Text.h"

namespace upload {

namespace {

constexpr char kLogresp[] = "# logresp ";
constexpr char kInvalidLogin[] = "# Invalid login";
// A server name longer than this is cut in the window's status line.
constexpr std::size_t kShownServerName = 16;
constexpr std::size_t kHintLength = 63;

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// The next blank-separated word from pos on; pos moves past it.
std::string NextWord(const std::string& text, std::size_t& pos) {
    while (pos < text.size() && text[pos] == ' ') ++pos;
    const std::size_t start = pos;
    while (pos < text.size() && text[pos] != ' ') ++pos;
    return text.substr(start, pos - start);
}

// Equal but for the case of ASCII letters (servers may write a callsign in
// capitals).
bool SameLetters(const std::string& a, const std::string& b) {
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}

// The server's text as the log and the window show it: printable ASCII
// only. Control characters are left out, and every other character
// (direction overrides, line separators, any Unicode) becomes one "?", so
// that a reply cannot pass for something else.
std::string Shown(const std::string& text) {
    std::string out;
    for (const unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F)
            out += static_cast<char>(c);
        else if (c >= 0xC0)  // the first byte of a character beyond ASCII
            out += '?';
    }
    return out;
}

}  // namespace

std::string AsSent(const std::string& text) { return rtl::WithoutControls(rtl::Trimmed(text)); }

LoginVerdict ParseLoginReply(const std::string& line) {
    LoginVerdict verdict;
    if (StartsWith(line, kInvalidLogin)) {
        verdict.kind = LoginVerdictKind::Invalid;
        verdict.line = Shown(line);
        return verdict;
    }
    if (!StartsWith(line, kLogresp)) return verdict;
    verdict.line = Shown(line);
    const std::string& text = verdict.line;
    std::size_t pos = sizeof kLogresp - 1;
    verdict.callsign = NextWord(text, pos);
    std::string status = NextWord(text, pos);
    if (!status.empty() && status.back() == ',') status.pop_back();
    if (status == "verified")
        verdict.kind = LoginVerdictKind::Verified;
    else if (status == "unverified")
        verdict.kind = LoginVerdictKind::Unverified;
    else
        verdict.kind = LoginVerdictKind::Other;
    const std::size_t server = text.find("server ", pos);
    if (server != std::string::npos) verdict.server = rtl::Trimmed(text.substr(server + 7));
    return verdict;
}

void LoginReplyReader::Reset() {
    line_.clear();
    tooLong_ = false;
    verdict_ = LoginVerdict{};
}

void LoginReplyReader::Feed(const char* data, std::size_t length) {
    const char* p = data;
    const char* const end = data + length;
    while (p < end && !HasVerdict()) {
        const char* stop = p;
        while (stop < end && *stop != '\n' && *stop != '\r') ++stop;
        // The part of the current line in this chunk: kept while the line
        // fits, otherwise the line is only skipped to its end.
        const std::size_t part = static_cast<std::size_t>(stop - p);
        if (!tooLong_) {
            if (line_.size() + part <= kMaxLine) {
                line_.append(p, part);
            } else {
                tooLong_ = true;
                line_.clear();
            }
        }
        if (stop == end) break;
        EndOfLine();
        p = stop + 1;
    }
}

void LoginReplyReader::EndOfLine() {
    if (!tooLong_ && !line_.empty()) verdict_ = ParseLoginReply(line_);
    line_.clear();
    tooLong_ = false;
}

LoginNotice NoticeFor(const std::string& validation, const LoginVerdict& verdict) {
    LoginNotice notice;
    // The validation as the login line sends it.
    const bool hasNumber = AsSent(validation) != "-1";
    if (verdict.kind == LoginVerdictKind::Invalid) {
        notice.status = "The server refused the login: check the callsign and the validation number.";
        notice.hint = "Login invalid: check callsign and validation number";
    } else if (verdict.kind == LoginVerdictKind::Unverified && hasNumber) {
        std::string server = verdict.server.substr(0, kShownServerName);
        notice.status = (server.empty() ? std::string("The server") : "Server " + server) +
                        " did not verify the login: check the validation number.";
        notice.hint = "Login not verified: check the validation number";
    }
    if (notice.hint.size() > kHintLength) notice.hint.resize(kHintLength);
    return notice;
}

LoginOutcome OutcomeOfLogin(const std::string& callsign, const std::string& validation, const LoginVerdict& verdict) {
    // The replies that confirm this station's login, by whether it sent a
    // validation number.
    struct Row {
        LoginVerdictKind kind;
        bool withNumber;
        LoginOutcome outcome;
    };
    static constexpr Row kConfirming[] = {
        {LoginVerdictKind::Verified, false, {AttemptOutcome::Delivered, true}},
        {LoginVerdictKind::Verified, true, {AttemptOutcome::Delivered, true}},
        {LoginVerdictKind::Unverified, false, {AttemptOutcome::Delivered, true}},
        {LoginVerdictKind::Unverified, true, {AttemptOutcome::LoginNotVerified, true}},
    };
    const LoginOutcome notConfirmed{AttemptOutcome::ServerDidNotConfirm, false};
    // The callsign and validation number as the login line sends them.
    const std::string sent = AsSent(callsign);
    const bool withNumber = AsSent(validation) != "-1";
    if (sent.empty() || !SameLetters(verdict.callsign, sent)) return notConfirmed;
    for (const Row& row : kConfirming)
        if (row.kind == verdict.kind && row.withNumber == withNumber) return row.outcome;
    return notConfirmed;
}

bool WantsWeatherSsid(const std::string& callsign, const std::string& validation) {
    const std::string call = rtl::Trimmed(callsign), pass = rtl::Trimmed(validation);
    return !call.empty() && call.find('-') == std::string::npos && !pass.empty() && pass != "-1";
}

}  // namespace upload
