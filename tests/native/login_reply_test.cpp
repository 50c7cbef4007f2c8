// The reply to the login: recognised in what the server sends, however it is
// cut into reads; what the window is told about it; and the log's lines.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "upload/LoginReply.h"
#include "upload/UploadLog.h"

namespace {

using upload::LoginReplyReader;
using upload::LoginVerdict;
using upload::LoginVerdictKind;

const char* KindName(LoginVerdictKind k) {
    switch (k) {
    case LoginVerdictKind::None: return "none";
    case LoginVerdictKind::Verified: return "verified";
    case LoginVerdictKind::Unverified: return "unverified";
    case LoginVerdictKind::Invalid: return "invalid";
    case LoginVerdictKind::Other: return "other";
    }
    return "?";
}

// Feeds the text in pieces of the given size (0: all at once).
LoginVerdict Read(const std::string& text, std::size_t piece = 0) {
    LoginReplyReader reader;
    if (piece == 0) piece = text.size() ? text.size() : 1;
    for (std::size_t i = 0; i < text.size(); i += piece)
        reader.Feed(text.data() + i, std::min(piece, text.size() - i));
    return reader.Verdict();
}

const char kGreeting[] = "# aprsc 2.1.14-g5e22b37\r\n";

TEST(LoginReply, Recognised) {
    struct Case {
        std::string sent;
        LoginVerdictKind kind;
        const char* server;
        const char* callsign;
    };
    const std::string longLine = "# logresp G4ABC verified, server " + std::string(600, 'X') + "\r\n";
    const Case cases[] = {
        {kGreeting + std::string("# logresp G4ABC verified, server T2TEST\r\n"), LoginVerdictKind::Verified,
         "T2TEST", "G4ABC"},
        {kGreeting + std::string("# logresp G4ABC unverified, server T2TEST\r\n"), LoginVerdictKind::Unverified,
         "T2TEST", "G4ABC"},
        {"# logresp CW1234 unverified, server CWOP-7\n", LoginVerdictKind::Unverified, "CWOP-7", "CW1234"},
        {"# Invalid login string, too few arguments\r\n", LoginVerdictKind::Invalid, "", ""},
        {"# logresp G4ABC bogus, server X\r\n", LoginVerdictKind::Other, "X", "G4ABC"},
        // Only the first reply counts.
        {"# logresp A verified, server S1\r\n# Invalid login\r\n", LoginVerdictKind::Verified, "S1", "A"},
        // Not replies: other comments, a reply not at the start of its line,
        // a reply without its line end yet, a line start without the blank.
        {kGreeting, LoginVerdictKind::None, "", ""},
        {"x # logresp A verified, server S\r\n", LoginVerdictKind::None, "", ""},
        {"# logresp A verified, server S", LoginVerdictKind::None, "", ""},
        {"# logrespA verified\r\n", LoginVerdictKind::None, "", ""},
        {"# invalid login\r\n", LoginVerdictKind::None, "", ""},
        // A line longer than 512 bytes is never a verdict; the next one is.
        {longLine, LoginVerdictKind::None, "", ""},
        {longLine + "# logresp B unverified, server S2\r\n", LoginVerdictKind::Unverified, "S2", "B"},
        // 512 bytes exactly still counts.
        {"# logresp C verified, server " + std::string(512 - 29, 'Y') + "\n", LoginVerdictKind::Verified,
         nullptr, "C"},
        // A lone CR ends a line too; control characters stay out of the texts.
        {"# logresp D verified, server S\x01Z\r", LoginVerdictKind::Verified, "SZ", "D"},
        // Only printable ASCII: a direction override, a line separator, an accent.
        {"# logresp E verified, server S\xE2\x80\xAEZ\xE2\x80\xA8\xC3\xA9\r", LoginVerdictKind::Verified, "S?Z??", "E"},
    };
    for (const Case& c : cases) {
        for (std::size_t piece : {std::size_t{0}, std::size_t{1}, std::size_t{7}}) {
            SCOPED_TRACE(c.sent.substr(0, 60) + " in pieces of " + std::to_string(piece));
            const LoginVerdict v = Read(c.sent, piece);
            EXPECT_STREQ(KindName(v.kind), KindName(c.kind));
            if (c.server) {
                EXPECT_EQ(v.server, c.server);
            }
            EXPECT_EQ(v.callsign, c.callsign);
        }
    }
}

TEST(LoginReply, FloodBeforeTheReply) {
    // 1 MiB of other lines, then the reply: found, with one line of memory.
    LoginReplyReader reader;
    const std::string other = "# filler line of the server, not a reply\r\n";
    std::size_t sent = 0;
    while (sent < 1024 * 1024) {
        reader.Feed(other.data(), other.size());
        sent += other.size();
    }
    // And one endless line of 1 MiB with no line end at all.
    const std::string chunk(1024, 'z');
    for (int i = 0; i < 1024; ++i) reader.Feed(chunk.data(), chunk.size());
    EXPECT_FALSE(reader.HasVerdict());
    const std::string reply = "\r\n# logresp G4ABC unverified, server T2TEST\r\n";
    reader.Feed(reply.data(), reply.size());
    EXPECT_STREQ(KindName(reader.Verdict().kind), "unverified");
    reader.Reset();
    EXPECT_FALSE(reader.HasVerdict());
}

TEST(LoginReply, Notice) {
    LoginVerdict verified{LoginVerdictKind::Verified, "G4ABC", "T2TEST", ""};
    LoginVerdict unverified{LoginVerdictKind::Unverified, "G4ABC", "T2TEST", ""};
    LoginVerdict invalid{LoginVerdictKind::Invalid, "", "", "# Invalid login"};
    LoginVerdict none{};
    LoginVerdict other{LoginVerdictKind::Other, "G4ABC", "T2TEST", ""};
    struct Case {
        const char* validation;
        const LoginVerdict* verdict;
        const char* statusPart;  // nullptr: nothing shown
    };
    const Case cases[] = {
        {"12345", &unverified, "Server T2TEST did not verify the login: check the validation number."},
        {" 12345 ", &unverified, "check the validation number"},
        {"", &unverified, "check the validation number"},  // an empty field is not "no number"
        {" -1 ", &unverified, nullptr},  // sent as "-1": unverified by design
        {"-1", &unverified, nullptr},
        {"-1", &invalid, "check the callsign and the validation number"},
        {"12345", &invalid, "The server refused the login"},
        {"12345", &verified, nullptr},
        {"-1", &verified, nullptr},
        {"12345", &none, nullptr},
        {"12345", &other, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("validation '") + c.validation + "' " + KindName(c.verdict->kind));
        const upload::LoginNotice n = upload::NoticeFor(c.validation, *c.verdict);
        if (!c.statusPart) {
            EXPECT_TRUE(n.Empty()) << n.status;
            EXPECT_EQ(n.hint, "");
            continue;
        }
        EXPECT_NE(n.status.find(c.statusPart), std::string::npos) << n.status;
        EXPECT_FALSE(n.hint.empty());
        EXPECT_LE(n.hint.size(), 63u);
    }
    // A long server name is cut in the status line.
    LoginVerdict longName = unverified;
    longName.server = std::string(300, 'N');
    EXPECT_LT(upload::NoticeFor("1", longName).status.size(), 90u);
    // The advice on a weather SSID: licensed stations logging in bare.
    EXPECT_TRUE(upload::WantsWeatherSsid(" G4ABC ", "12345"));
    EXPECT_FALSE(upload::WantsWeatherSsid("G4ABC-13", "12345"));
    EXPECT_FALSE(upload::WantsWeatherSsid("CW1234", " -1"));
}

// Only the server's reply to this station's login makes a delivery.
TEST(LoginReply, OutcomeOfTheSession) {
    using upload::AttemptOutcome;
    const struct Case {
        const char *validation, *reply;
        AttemptOutcome outcome;
        bool stored;
    } cases[] = {
        {"-1", "", AttemptOutcome::ServerDidNotConfirm, false},  // no reply at all
        {"-1", "# logresp CW9999 unverified, server S\n", AttemptOutcome::ServerDidNotConfirm, false},
        {"-1", "# logresp CW12345 unverified, server S\n", AttemptOutcome::ServerDidNotConfirm, false},
        {"-1", "# logresp cw1234 unverified, server S\n", AttemptOutcome::Delivered, true},
        {" -1 ", "# logresp CW1234 verified, server S\n", AttemptOutcome::Delivered, true},
        {"12345", "# logresp CW1234 verified, server S\n", AttemptOutcome::Delivered, true},
        {"12345", "# logresp CW1234 unverified, server S\n", AttemptOutcome::LoginNotVerified, true},
        {"12345", "# logresp CW1234 bogus, server S\n", AttemptOutcome::ServerDidNotConfirm, false},
        {"12345", "# Invalid login string\n", AttemptOutcome::ServerDidNotConfirm, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.validation) + " " + c.reply);
        const upload::LoginOutcome o = upload::OutcomeOfLogin(" CW1234\t", c.validation, Read(c.reply));
        EXPECT_EQ(upload::OutcomeReason(o.outcome), upload::OutcomeReason(c.outcome));
        EXPECT_EQ(o.storePacket, c.stored);
    }
    const upload::ServerEntry s{"cwop.aprs.net", "14580"};
    EXPECT_EQ(upload::LogSentUnconfirmed(s, Read(""), "CW1>APRS:x\r\n"),
              "sent to cwop.aprs.net:14580, but the server did not answer the login: not confirmed, sent again "
              "next time: CW1>APRS:x");
    EXPECT_NE(upload::LogSentUnconfirmed(s, Read("# logresp CW9 verified, server S\n"), "p")
                  .find("answered the login with \"# logresp CW9 verified, server S\""),
              std::string::npos);
}

TEST(UploadLog, Lines) {
    using namespace std::chrono;
    // 2026-12-07 12:34:56 UTC
    const rtl::TimePoint t = system_clock::from_time_t(1796646896);
    EXPECT_EQ(upload::IsoUtc(t), "2026-12-07T12:34:56Z");
    EXPECT_EQ(upload::FormatLogLine(t, "delivered\r\nto\tX"), "2026-12-07T12:34:56Z deliveredtoX\r\n");
    const std::string huge(10000, 'a');
    const std::string line = upload::FormatLogLine(t, huge);
    EXPECT_EQ(line.size(), 21 + upload::kMaxLogEvent + 2);
    EXPECT_EQ(line.substr(line.size() - 5), "...\r\n");
    // Cut before a character that would be cut in two, in a line and in a summary.
    const std::string euro = std::string(upload::kMaxLogEvent - 4, 'a') + "\xE2\x82\xAC" + huge;
    EXPECT_EQ(upload::FormatLogLine(t, euro).substr(21 + upload::kMaxLogEvent - 4), "...\r\n");
    const std::string event = euro.substr(upload::kMaxLogEvent - upload::kMaxSummaryEvent);
    upload::LogRepeats repeats;
    repeats.Take(t, event);
    repeats.Take(t, event);
    EXPECT_EQ(repeats.Flush(t).at(0).substr(upload::kMaxSummaryEvent - 4, 4), "... ");

    const upload::ServerEntry s{"cwop.aprs.net", "14580"};
    EXPECT_EQ(upload::LogConnecting(s), "connecting to cwop.aprs.net:14580");
    EXPECT_EQ(upload::LogDelivered(s, "CW1>APRS:x\r\n").find("delivered to cwop.aprs.net:14580: CW1>APRS:x"), 0u);
    for (auto f : {upload::SessionFailure::Refused, upload::SessionFailure::TimedOut, upload::SessionFailure::Reset,
                   upload::SessionFailure::ClosedByServer})
        EXPECT_NE(upload::LogSessionFailed(f, s).find("cwop.aprs.net:14580"), std::string::npos);
    EXPECT_EQ(upload::LogLoginVerdict(LoginVerdict{LoginVerdictKind::Unverified, "A", "T2", ""}),
              "login unverified by server T2");

    // The cap: a line that would pass 1 MiB rolls over first; an empty log
    // takes any line.
    EXPECT_FALSE(upload::LogNeedsRollOver(upload::kLogCap - 10, 10));
    EXPECT_TRUE(upload::LogNeedsRollOver(upload::kLogCap - 10, 11));
    EXPECT_FALSE(upload::LogNeedsRollOver(0, upload::kLogCap + 1));
}

// The outage log summary: repeats counted, summarised hourly and at the end.
TEST(UploadLog, RepeatsAreCountedAndSummarised) {
    const rtl::TimePoint t0 = std::chrono::system_clock::from_time_t(1796646896);  // 12:34:56Z
    using Lines = std::vector<std::string>;
    const std::tuple<int, const char*, Lines> steps[] = {
        {0, "connecting to a", {"connecting to a"}}, {1, "refused: a", {"refused: a"}},
        {10, "connecting to a", {}},
        {3600, "connecting to a", {"connecting to a ... repeated 2 times since 12:34Z"}},  // an hour on
        {3601, "refused: a", {"refused: a ... repeated once since 12:34Z"}},
        {3700, "connecting to a", {}},
        {3800, "delivered to a: p", {"connecting to a ... repeated once since 13:34Z", "delivered to a: p"}},
        {3802, "connecting to a", {"connecting to a"}},  // a new run
        {3802 + 86400, "connecting to a", {"connecting to a ... repeated once since 2026-12-07 13:38Z"}},
    };
    upload::LogRepeats repeats;
    for (const auto& [at, event, lines] : steps)
        EXPECT_EQ(repeats.Take(t0 + std::chrono::seconds(at), event), lines) << at;
}

}  // namespace
