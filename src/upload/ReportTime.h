// The time a report's line 1 gives: the day, hour and minute, read by the
// line's shape where it has one and from fixed positions otherwise; and
// the same time in UTC where the report was written in local time.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "rtl/Clock.h"

namespace upload {

struct ReportStamp {
    int day = 0, hour = 0, minute = 0;

    bool operator==(const ReportStamp&) const = default;
};

// Line 1 read by its shape. Trimmed, it is wholly: one or more month words
// (any language, any length, in UTF-8 or the ANSI code page: "Dec", "déc.",
// "12月", "thg 12"), the day (one or two digits, 1-31: the word just before
// the year), the four-digit year, and the time ("H:MM" or "HH:MM", then
// ":SS" or not, then "AM"/"PM" or not, glued or after a blank). None when
// it has not that shape.
std::optional<ReportStamp> StampByShape(const std::string& line);

// The day, hour and minute of line 1: by its shape, otherwise from the
// fixed positions (two digits each at 5-6, 13-14 and 16-17, day 01-31,
// hour 00-23, minute 00-59; for the English form both agree). None when it
// gives neither: the line is not whole.
std::optional<ReportStamp> StampOf(const std::string& line);

// The packet's "DDHHMM" of line 1. A line without a whole stamp gives what
// stands at the fixed positions, printable ASCII only (shorter pieces for a
// shorter line): the composer never refuses, whether the reading counts is
// the report check's to say.
std::string PacketTime(const std::string& line);
std::string PacketTime(const ReportStamp& stamp);

// Which clock a report's stamp was written in.
enum class StampClock {
    Utc,      // it lies from 5 minutes before to 3 minutes after the file's write time
    Local,    // it does so for one of the zone's offsets
    Neither,  // for none: it goes out as read
};

struct StampInUtc {
    StampClock clock = StampClock::Utc;
    int offsetMinutes = 0;  // Local: the zone's offset east of UTC that matched
    ReportStamp utc;        // the stamp in UTC (as read when Utc or Neither)
};

// Decides against the report file's last write time which clock the stamp
// was written in, placing it on whichever of yesterday, today and tomorrow
// around that time has its day of the month, and gives it in UTC. offsets:
// the zone's offsets east of UTC in minutes, the one in force at lastWrite
// first (rtl::ZoneOffsets); offsets of zero are UTC itself.
StampInUtc StampToUtc(const ReportStamp& stamp, rtl::TimePoint lastWrite, const std::vector<int>& offsets);

// "UTC-05:00", "UTC+05:30" (the minus as a minus sign, in UTF-8).
std::string OffsetText(int offsetMinutes);

}  // namespace upload
