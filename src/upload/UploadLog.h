// The upload log's lines: what happened to each reading and each connection,
// one line per event, the UTC time first. The file itself is UploadLogFile.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "rtl/Clock.h"
#include "upload/LoginReply.h"
#include "upload/Packet.h"
#include "upload/Report.h"
#include "upload/ReportTime.h"
#include "upload/SensorWatch.h"
#include "upload/Session.h"

namespace upload {

// The log is kept below this size; the older part goes to one ".1" file.
inline constexpr std::uint64_t kLogCap = 1024 * 1024;
// A longer event text is cut here (and marked with "...").
inline constexpr std::size_t kMaxLogEvent = 4000;

// "2026-12-07T12:34:56Z"
std::string IsoUtc(rtl::TimePoint t);

// One line of the log: the time, a blank, the event without control
// characters (so it stays one line), CR LF.
std::string FormatLogLine(rtl::TimePoint t, const std::string& event);

// Repeats are summarised at most this often.
inline constexpr auto kRepeatSummaryPeriod = std::chrono::hours(1);
// The distinct events one run of repeats keeps count of; another one ends
// the run.
inline constexpr std::size_t kMaxRepeatedEvents = 16;
// A summary names its event by at most this many characters.
inline constexpr std::size_t kMaxSummaryEvent = 160;

// Since the last delivery, each distinct event goes into the log once; its
// repeats are only counted, and the count is written ("<event> ... repeated
// 359 times since 10:00Z", with the date when that was another day) at most
// once an hour per event, and when the run ends: at the next delivery (whose
// line follows the summaries), when a seventeenth distinct event comes, or
// when the log is closed or flushed. A delivery
// is always written. So an outage adds its few distinct lines once and then
// a few summaries an hour.
class LogRepeats {
public:
    // The lines the event at time t adds, in order: none for a repeat that
    // is not due for a summary, a summary, or the summaries that end the
    // run and the event itself.
    std::vector<std::string> Take(rtl::TimePoint t, const std::string& event);
    // The event's own line could not be written: it is no repeat when it
    // comes again.
    void Unwritten(const std::string& event);
    // Ends the run at time t: the summaries of the counts not yet written.
    std::vector<std::string> Flush(rtl::TimePoint t);

private:
    struct Seen {
        std::string event;
        rtl::TimePoint since;  // its latest line
        long long count = 0;   // repeats since then
    };
    std::vector<Seen> seen_;
};

// A week of one outage adds at most the first line of each distinct event
// and an hourly summary of each: well under the cap, so at most one
// roll-over follows the outage's first line within a week, and it is then
// in the older file.
static_assert(kMaxRepeatedEvents * (kMaxLogEvent + 32 + 7 * 24 * (kMaxSummaryEvent + 80)) < kLogCap);

// Whether a log of currentSize bytes must be rolled over before a line of
// lineLength bytes is added. An empty log never is: a line alone is kept.
bool LogNeedsRollOver(std::uint64_t currentSize, std::size_t lineLength);

// How a connection ended without the packet being delivered.
enum class SessionFailure {
    Refused,         // the connection did not come about (refused, unreachable, unknown host)
    TimedOut,        // no connection within the watchdog's period
    Reset,           // the server reset the connection
    ClosedByServer,  // the server closed it before the packet was delivered
};

// The event texts.
std::string LogReadingSkipped(const std::string& reportPath);
std::string LogPacketUnchanged();
std::string LogConnecting(const ServerEntry& server);
std::string LogSessionFailed(SessionFailure failure, const ServerEntry& server);
std::string LogLoginVerdict(const LoginVerdict& verdict);
// A delivery, with the reading in plain words (none: left out).
std::string LogDelivered(const ServerEntry& server, const std::string& packet, const std::string& words = "");
// The packet went out, but the server did not verify the login: it drops it.
std::string LogSentUnverified(const ServerEntry& server, const std::string& packet);
// The packet went out, but the server's reply did not confirm this
// station's login: it gave none, or this one.
std::string LogSentUnconfirmed(const ServerEntry& server, const LoginVerdict& verdict, const std::string& packet);
// A licensed station logging in without an SSID: the servers log out its
// other program's login at every upload.
std::string LogSsidAdvice(const std::string& callsign);
// A value of the weather line that goes out as dots (WeatherRejections).
std::string LogWeatherNotSent(const std::string& rejection);
// A report too old to be the weather now (written: when, as the owner reads it).
std::string LogReportOld(const std::string& written, const std::string& reportPath);
// A report that is not a plain file, and one whose look did not end in time.
std::string LogReportNotPlain(const std::string& reportPath);
std::string LogReportNotReachable(const std::string& reportPath);
// The report's time is not UTC: local time (sent in UTC), or neither clock
// (sent as read); line: the report's line 1.
std::string LogReportClock(const StampInUtc& stamp, const std::string& line);
// A weather line with no value left.
std::string LogNoWeather(const std::string& reportPath);
// Whether an event is a delivery's.
bool IsDeliveryEvent(const std::string& event);
// Nothing delivered for three intervals since the last delivery (none: since
// the start), and why the latest attempt delivered nothing; and its end.
std::string LogSilenceBegins(const std::optional<rtl::TimePoint>& lastDelivery, const std::string& reason);
std::string LogSilenceEnds();
// A failure that came while the message box of an earlier one was open.
std::string LogFailureNoted(const std::string& text);
// The system suspends, and resumes.
std::string LogSuspending();
std::string LogResumed();
// A reading given up after its looks: what the last one found (error: the
// system's error code of an unreadable report).
std::string LogReadingGivenUp(ReadingVerdict verdict, unsigned long error, const std::string& reportPath);
// A packet that must not go out, for this callsign and of this length
// (CR LF not counted).
std::string LogPacketRefused(PacketFault fault, const std::string& callsign, std::size_t length);
// A sensor whose value has not changed for its span, and the end of that.
std::string LogSensorStuck(const StuckSensor& stuck);
std::string LogSensorMoves(const StuckSensor& stuck);

}  // namespace upload
