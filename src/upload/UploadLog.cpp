#include "upload/UploadLog.h"

#include <cstdio>

#include "rtl/Text.h"

namespace upload {

namespace {

std::string HostPort(const ServerEntry& server) { return server.host + ":" + server.port; }

const char kDelivered[] = "delivered to ";

}  // namespace

std::string IsoUtc(rtl::TimePoint t) {
    const rtl::LocalTime utc = rtl::ToUtc(t);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", utc.year, utc.month, utc.day, utc.hour,
                  utc.minute, utc.second);
    return text;
}

std::string FormatLogLine(rtl::TimePoint t, const std::string& event) {
    std::string text = rtl::WithoutControls(event);
    if (text.size() > kMaxLogEvent) text = text.substr(0, kMaxLogEvent - 3) + "...";
    return IsoUtc(t) + " " + text + "\r\n";
}

namespace {

// "<event> ... repeated 359 times since 10:00Z" (the time of the event's
// latest line, UTC like every line's; "since 2026-12-07 10:00Z" when the
// summary, written at t, falls on another day).
std::string RepeatSummary(const std::string& event, long long count, rtl::TimePoint since, rtl::TimePoint t) {
    std::string text = rtl::WithoutControls(event);
    if (text.size() > kMaxSummaryEvent) text = text.substr(0, kMaxSummaryEvent - 3) + "...";
    const rtl::LocalTime utc = rtl::ToUtc(since), at = rtl::ToUtc(t);
    char date[32] = "";
    if (utc.year != at.year || utc.month != at.month || utc.day != at.day)
        std::snprintf(date, sizeof date, "%04d-%02d-%02d ", utc.year, utc.month, utc.day);
    char tail[128];
    std::snprintf(tail, sizeof tail, " ... repeated %s since %s%02d:%02dZ",
                  count == 1 ? "once" : (std::to_string(count) + " times").c_str(), date, utc.hour, utc.minute);
    return text + tail;
}

}  // namespace

std::vector<std::string> LogRepeats::Take(rtl::TimePoint t, const std::string& event) {
    std::vector<std::string> lines;
    if (IsDeliveryEvent(event)) {
        lines = Flush(t);
        lines.push_back(event);
        return lines;
    }
    for (Seen& seen : seen_) {
        if (seen.event != event) continue;
        ++seen.count;
        if (t - seen.since >= kRepeatSummaryPeriod) {
            lines.push_back(RepeatSummary(seen.event, seen.count, seen.since, t));
            seen.since = t;
            seen.count = 0;
        }
        return lines;
    }
    if (seen_.size() >= kMaxRepeatedEvents) lines = Flush(t);
    seen_.push_back(Seen{event, t, 0});
    lines.push_back(event);
    return lines;
}

void LogRepeats::Unwritten(const std::string& event) {
    for (auto it = seen_.begin(); it != seen_.end(); ++it)
        if (it->event == event && it->count == 0) {
            seen_.erase(it);
            return;
        }
}

std::vector<std::string> LogRepeats::Flush(rtl::TimePoint t) {
    std::vector<std::string> lines;
    for (const Seen& seen : seen_)
        if (seen.count > 0) lines.push_back(RepeatSummary(seen.event, seen.count, seen.since, t));
    seen_.clear();
    return lines;
}

bool LogNeedsRollOver(std::uint64_t currentSize, std::size_t lineLength) {
    return currentSize > 0 && currentSize + lineLength > kLogCap;
}

std::string LogReadingSkipped(const std::string& reportPath) {
    return "reading skipped: report missing or unreadable: " + reportPath;
}

std::string LogPacketUnchanged() { return "packet unchanged since the last delivery: not sent"; }

std::string LogConnecting(const ServerEntry& server) { return "connecting to " + HostPort(server); }

std::string LogSessionFailed(SessionFailure failure, const ServerEntry& server) {
    switch (failure) {
    case SessionFailure::Refused: return "no connection (refused, unreachable or unknown host): " + HostPort(server);
    case SessionFailure::TimedOut: return "no connection within 10 seconds: " + HostPort(server);
    case SessionFailure::Reset: return "connection reset by the server: " + HostPort(server);
    case SessionFailure::ClosedByServer:
        return "connection closed by the server before delivery: " + HostPort(server);
    }
    return "connection failed: " + HostPort(server);
}

std::string LogLoginVerdict(const LoginVerdict& verdict) {
    switch (verdict.kind) {
    case LoginVerdictKind::None: return "login: no reply from the server";
    case LoginVerdictKind::Verified: return "login verified by server " + verdict.server;
    case LoginVerdictKind::Unverified: return "login unverified by server " + verdict.server;
    case LoginVerdictKind::Invalid: return "login invalid: " + verdict.line;
    case LoginVerdictKind::Other: return "login reply: " + verdict.line;
    }
    return "login reply: " + verdict.line;
}

namespace {

std::string WithoutLineEnd(const std::string& packet) {
    const bool ended = packet.size() >= 2 && packet.compare(packet.size() - 2, 2, "\r\n") == 0;
    return ended ? packet.substr(0, packet.size() - 2) : packet;
}

}  // namespace

std::string LogDelivered(const ServerEntry& server, const std::string& packet, const std::string& words) {
    return kDelivered + HostPort(server) + ": " + WithoutLineEnd(packet) + (words.empty() ? "" : " (" + words + ")");
}

std::string LogSentUnverified(const ServerEntry& server, const std::string& packet) {
    return "sent to " + HostPort(server) + ", but the login was not verified and the server drops the packet: " +
           WithoutLineEnd(packet);
}

std::string LogSentUnconfirmed(const ServerEntry& server, const LoginVerdict& verdict, const std::string& packet) {
    const std::string answer = verdict.kind == LoginVerdictKind::None
                                   ? "the server did not answer the login"
                                   : "the server answered the login with \"" + verdict.line + "\"";
    return "sent to " + HostPort(server) + ", but " + answer + ": not confirmed, sent again next time: " +
           WithoutLineEnd(packet);
}

std::string LogSsidAdvice(const std::string& callsign) {
    return "note: APRS-IS servers log out an earlier login of " + callsign +
           " (your igate or other APRS program) at every upload; a weather SSID such as " + callsign +
           "-13 avoids it";
}

std::string LogWeatherNotSent(const std::string& rejection) { return "weather value not sent: " + rejection; }

std::string LogReportOld(const std::string& written, const std::string& reportPath) {
    return "report old, nothing sent: last written " + written + ", more than 20 minutes ago: " + reportPath;
}

std::string LogReportNotPlain(const std::string& reportPath) {
    return "report refused, nothing sent: a link, mount point or device, not a plain file: " + reportPath;
}

std::string LogReportNotReachable(const std::string& reportPath) {
    return "report not reachable within 10 seconds, nothing sent: " + reportPath;
}

std::string LogNoWeather(const std::string& reportPath) {
    return "no weather in report, nothing sent: no value a station can measure: " + reportPath;
}

bool IsDeliveryEvent(const std::string& event) { return event.rfind(kDelivered, 0) == 0; }

std::string LogSilenceBegins(const std::optional<rtl::TimePoint>& lastDelivery, const std::string& reason) {
    const std::string since = lastDelivery ? IsoUtc(*lastDelivery) : "the start";
    return "warning: nothing delivered for three intervals, since " + since + ": " + reason;
}

std::string LogSilenceEnds() { return "warning ended: delivered again"; }

std::string LogFailureNoted(const std::string& text) { return "failure (a message box was open): " + text; }

std::string LogReportClock(const StampInUtc& stamp, const std::string& line) {
    if (stamp.clock == StampClock::Local)
        return "the report's time is local time (" + OffsetText(stamp.offsetMinutes) + "): sent in UTC";
    return "the report's time (" + line + ") is neither UTC nor local time by its file's write time: sent as read";
}

std::string LogSuspending() { return "the system suspends"; }

std::string LogResumed() { return "the system resumed"; }

std::string LogReadingGivenUp(ReadingVerdict verdict, unsigned long error, const std::string& reportPath) {
    std::string why;
    switch (verdict) {
    case ReadingVerdict::Counts: why = "taken"; break;
    case ReadingVerdict::Unreadable: why = "it cannot be read (error " + std::to_string(error) + ")"; break;
    case ReadingVerdict::LineOneShort: why = "line 1 gives no day, hour and minute"; break;
    case ReadingVerdict::LineTwoUnfinished: why = "line 2 holds no whole pressure"; break;
    case ReadingVerdict::BeingWritten: why = "it is still being written"; break;
    }
    return "report incomplete for 10 seconds, nothing sent: " + why + ": " + reportPath;
}

std::string LogPacketRefused(PacketFault fault, const std::string& callsign, std::size_t length) {
    switch (fault) {
    case PacketFault::None: break;
    case PacketFault::CallsignNotValid:
        return "callsign not valid for APRS-IS, nothing sent: \"" + callsign + "\"";
    case PacketFault::ValidationNotValid:
        return "validation number not valid for APRS-IS (-1 or one to five digits), nothing sent";
    case PacketFault::TooLong:
        return "packet of " + std::to_string(length) + " characters, APRS-IS takes at most " +
               std::to_string(kMaxPacketLength) + ": nothing sent";
    }
    return "packet sendable";
}

std::string LogSensorStuck(const StuckSensor& stuck) {
    const auto hours = StuckSpan(stuck.sensor, stuck.value).count();
    return std::string("warning: ") + SensorName(stuck.sensor) + " unchanged at " + StuckValueText(stuck) +
           " since " + IsoUtc(stuck.since) + ", " + std::to_string(hours) + " hours or more: check the sensor";
}

std::string LogSensorMoves(const StuckSensor& stuck) {
    return std::string("warning ended: ") + SensorName(stuck.sensor) + " no longer unchanged at " +
           StuckValueText(stuck);
}

}  // namespace upload
