// The two lines read from a report's bytes, and which looks at a report give
// a reading that counts.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "upload/Report.h"
#include "upload/ReportTime.h"

using namespace std::string_literals;
using upload::ReadingVerdict;

namespace {

TEST(Report, LineEnds) {
    struct Case {
        const char* what;
        std::string bytes, timestamp, weather;
    };
    const std::string t = "Jan 05 2008 14:30", w = "180/005g010t065r000p000P000h55b10150";
    const Case cases[] = {
        {"CR LF", t + "\r\n" + w + "\r\n", t, w},
        {"CR alone", t + "\r" + w + "\r", t, w},
        {"LF alone", t + "\n" + w + "\n", t, w},
        {"LF CR is one line end", t + "\n\r" + w + "\n\r", t, w},
        {"mixed", t + "\r\n" + w + "\n" + "third\r\n", t, w},
        {"no end after the last line", t + "\r\n" + w, t, w},
        {"further lines ignored", t + "\r\n" + w + "\r\nline 3\r\nline 4", t, w},
        {"empty line 1: CR LF CR LF", "\r\n\r\n" + w, "", ""},
        {"empty line 1: CR CR", "\r\r" + w, "", ""},
        {"empty line 1: LF LF", "\n\n" + w, "", ""},
        {"empty line 2 after CR LF", t + "\r\n\r\n" + w, t, ""},
        {"CR LF LF: empty line 2", t + "\r\n\n" + w, t, ""},
        {"LF CR CR: empty line 2", t + "\n\r\r" + w, t, ""},
        {"CR LF CR: empty line 2", t + "\r\n\r" + w, t, ""},
    };
    for (const auto& c : cases) {
        const upload::ReportLines lines = upload::ReadReportLines(c.bytes);
        EXPECT_EQ(lines.timestamp, c.timestamp) << c.what;
        EXPECT_EQ(lines.weather, c.weather) << c.what;
    }
}

TEST(Report, EndOfTextAndMissingLines) {
    struct Case {
        const char* what;
        std::string bytes, timestamp, weather;
    };
    const Case cases[] = {
        {"empty file", "", "", ""},
        {"one line without end", "Jan 05 2008 14:30", "Jan 05 2008 14:30", ""},
        {"one line with end", "Jan 05 2008 14:30\r\n", "Jan 05 2008 14:30", ""},
        {"Ctrl-Z ends the text in line 1", "Jan 05\x1a" " 2008\r\nh55b10150", "Jan 05", ""},
        {"Ctrl-Z ends the text in line 2", "a\r\nh55\x1a" "b10150\r\n", "a", "h55"},
        {"Ctrl-Z at the start", "\x1a" "a\r\nb", "", ""},
        {"Ctrl-Z after a CR", "a\r\x1a\nb", "a", ""},
        {"NUL bytes stay in the lines", "a\0b\r\n\0h55\0"s, "a\0b"s, "\0h55\0"s},
        {"other controls stay", "a\tb\x01\r\n\x7f", "a\tb\x01", "\x7f"},
        {"bytes above 127", "\xfe\xff\r\n\x80\x81", "\xfe\xff", "\x80\x81"},
        {"a UTF-8 byte-order mark", "\xEF\xBB\xBF" "a\r\nb", "a", "b"},
        {"UTF-16 LE", "\xFF\xFE" "a\0\r\0\n\0\xE9\0b\0\x0D"s, "a", "\xC3\xA9" "b"},
    };
    for (const auto& c : cases) {
        const upload::ReportLines lines = upload::ReadReportLines(c.bytes);
        EXPECT_EQ(lines.timestamp, c.timestamp) << c.what;
        EXPECT_EQ(lines.weather, c.weather) << c.what;
    }
}

TEST(Report, LongLinesAreKeptWhole) {
    const std::string longLine(100000, 'x');
    const upload::ReportLines lines = upload::ReadReportLines(longLine + "\n" + longLine + "y\nz");
    EXPECT_EQ(lines.timestamp, longLine);
    EXPECT_EQ(lines.weather, longLine + "y");
}

TEST(Report, OnlyAWholeReportCounts) {
    const std::string t = "Jan 05 2008 14:30", w = "180/005g010t065r000p000P000h55b10150";
    const struct Case {
        const char* what;
        std::string bytes;
        ReadingVerdict shape;
    } cases[] = {
        {"whole", t + "\r\n" + w + "\r\nline 3\r\n", ReadingVerdict::Counts},
        {"empty", "", ReadingVerdict::LineOneShort},
        {"one line", t + "\r\n", ReadingVerdict::LineTwoUnfinished},
        {"cut inside line 1", t.substr(0, 16), ReadingVerdict::LineOneShort},
        {"line 1 whole, nothing after it", t, ReadingVerdict::LineTwoUnfinished},
        {"Ctrl-Z inside line 1", "Jan 05 2008\x1a" + t + "\r\n" + w + "\r\n", ReadingVerdict::LineOneShort},
        {"cut before the h", t + "\r\n180/005g010t065r000p000P000", ReadingVerdict::LineTwoUnfinished},
        {"cut inside the pressure", t + "\r\n" + w.substr(0, w.size() - 1), ReadingVerdict::LineTwoUnfinished},
        {"cut just after the pressure", t + "\r\n" + w, ReadingVerdict::Counts},
        {"a line end after a cut line 2", t + "\r\n180/005\r", ReadingVerdict::LineTwoUnfinished},
        {"line 2 cut and ended by Ctrl-Z", t + "\r\n" + w.substr(0, 20) + "\x1a", ReadingVerdict::LineTwoUnfinished},
        {"an empty line 2 with its line end", t + "\r\n\r\n", ReadingVerdict::LineTwoUnfinished},
        {"fields after the pressure", t + "\r\n" + w + "L123\r\n", ReadingVerdict::Counts},
        {"a comment after b9980", t + "\r\nh55b9980 x", ReadingVerdict::Counts},
        {"a comment after b.....", t + "\r\nh55b.....L", ReadingVerdict::Counts},
        {"a line 1 of neither shape nor places", "2008-12-05 14:27\r\n" + w, ReadingVerdict::LineOneShort},
        {"NULs and blanks after the pressure", t + "\r\n" + w + "\0 \0"s, ReadingVerdict::Counts},
        {"b9980 without a line end", t + "\r\nh55b9980", ReadingVerdict::Counts},
        {"b8000", t + "\r\nh55b8000\r\n", ReadingVerdict::Counts},
        {"four digits beginning with 1: cut", t + "\r\nh55b1015", ReadingVerdict::LineTwoUnfinished},
        {"four digits beginning with 0: cut", t + "\r\nh55b0998", ReadingVerdict::LineTwoUnfinished},
        {"no barometer", t + "\r\nt065h55b.....", ReadingVerdict::Counts},
        {"letters for the hour", "Jan 05 2008 ab:30\r\n" + w, ReadingVerdict::LineOneShort},
        {"letters for the minute", "Jan 05 2008 14:3x\r\n" + w, ReadingVerdict::LineOneShort},
        {"day 00", "Jan 00 2008 14:30\r\n" + w, ReadingVerdict::LineOneShort},
        {"day 32", "Jan 32 2008 14:30\r\n" + w, ReadingVerdict::LineOneShort},
        {"day 31, 23:59", "Jan 31 2008 23:59\r\n" + w, ReadingVerdict::Counts},
        {"hour 24", "Jan 05 2008 24:00\r\n" + w, ReadingVerdict::LineOneShort},
        {"minute 60", "Jan 05 2008 14:60\r\n" + w, ReadingVerdict::LineOneShort},
        {"six digits after the b", t + "\r\nh55b101500", ReadingVerdict::LineTwoUnfinished},
        {"LF only", t + "\n" + w + "\n", ReadingVerdict::Counts},
        {"LF only, cut", t + "\nh55b101", ReadingVerdict::LineTwoUnfinished},
        {"CR only", t + "\r" + w + "\r", ReadingVerdict::Counts},
    };
    for (const Case& c : cases) EXPECT_EQ(upload::ReportShape(c.bytes), c.shape) << c.what;
}

TEST(Report, LineOneByItsShape) {
    const struct Case {
        std::string line;
        std::optional<upload::ReportStamp> stamp;
    } cases[] = {
        {"Dec 05 2008 14:27", upload::ReportStamp{5, 14, 27}},
        {"  Dec 05 2008 14:27:59 ", upload::ReportStamp{5, 14, 27}},
        {"Dec 5 2008 2:27 PM", upload::ReportStamp{5, 14, 27}},
        {"Dec 05 2008 12:07am", upload::ReportStamp{5, 0, 7}},
        {"Dec 05 2008 12:07 PM", upload::ReportStamp{5, 12, 7}},
        {"d\xC3\xA9" "c. 05 2008 14:27", upload::ReportStamp{5, 14, 27}},  // UTF-8
        {"d\xE9" "c. 05 2008 14:27", upload::ReportStamp{5, 14, 27}},      // the ANSI code page
        {"thg 12 22 2008 14:30", upload::ReportStamp{22, 14, 30}},          // two words; fixed: day 12 at 08:14
        {"12\xE6\x9C\x88 9 2008 9:05", upload::ReportStamp{9, 9, 5}},
        {"Jan 05 2008\0" "14\0" "30"s, upload::ReportStamp{5, 14, 30}},    // fixed positions
        {"Dec 5 2008 13:27 PM", std::nullopt},
        {"Dec 5 08 14:27", std::nullopt},
        {"Dec 5 2008 2:27:6", std::nullopt},
        {"Dec 5 2008 2:27 extra", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(upload::StampOf(c.line), c.stamp) << c.line;
}

TEST(Report, LocalTimeGoesOutInUtc) {
    using namespace std::chrono;
    using upload::StampClock;
    const auto at = [](int y, int m, int d, int h, int min, int s = 30) {
        return rtl::TimePoint(sys_days(year(y) / m / d) + hours(h) + minutes(min) + seconds(s));
    };
    const struct Case {
        const char* what;
        upload::ReportStamp stamp;
        rtl::TimePoint written;
        std::vector<int> offsets;
        StampClock clock;
        upload::ReportStamp utc;
    } cases[] = {
        {"UTC", {6, 4, 58}, at(2026, 12, 6, 4, 58), {-300}, StampClock::Utc, {6, 4, 58}},
        {"5 minutes early", {6, 4, 53}, at(2026, 12, 6, 4, 58, 0), {-300}, StampClock::Utc, {6, 4, 53}},
        {"3 minutes late", {6, 5, 1}, at(2026, 12, 6, 4, 58, 0), {-300}, StampClock::Utc, {6, 5, 1}},
        {"across midnight", {5, 23, 58}, at(2026, 12, 6, 4, 58), {-300}, StampClock::Local, {6, 4, 58}},
        {"across a month's end", {30, 20, 0}, at(2026, 12, 1, 1, 0), {-300}, StampClock::Local, {1, 1, 0}},
        {"half an hour off", {1, 5, 0}, at(2026, 11, 30, 23, 30), {330}, StampClock::Local, {30, 23, 30}},
        {"standard time in summer", {10, 12, 0}, at(2026, 7, 10, 17, 0), {-240, -300}, StampClock::Local, {10, 17, 0}},
        {"a zone of offset zero", {6, 5, 58}, at(2026, 12, 6, 4, 58), {0}, StampClock::Neither, {6, 5, 58}},
        {"neither clock", {6, 1, 58}, at(2026, 12, 6, 4, 58), {-300, -240}, StampClock::Neither, {6, 1, 58}},
    };
    for (const Case& c : cases) {
        const upload::StampInUtc got = upload::StampToUtc(c.stamp, c.written, c.offsets);
        EXPECT_EQ(got.clock, c.clock) << c.what;
        EXPECT_EQ(got.utc, c.utc) << c.what;
    }
}

TEST(Report, AWholeLookCountsWhenQuietOrSeenTheSameASecondLater) {
    const std::string a = "Jan 05 2008 14:30\r\nh55b10150\r\n", b = "Jan 05 2008 14:31\r\nh55b10150\r\n";
    const auto look = [](const std::string& bytes, bool quiet = false, bool changed = false) {
        upload::ReportLook l;
        l.readable = true;
        l.bytes = bytes;
        l.quietForTwoSeconds = quiet;
        l.changedWhileRead = changed;
        return l;
    };
    const upload::ReportLook unreadable;
    const struct Case {
        const char* what;
        std::vector<upload::ReportLook> looks;
        ReadingVerdict last;  // the verdict on the last look
    } cases[] = {
        {"quiet for two seconds", {look(a, true)}, ReadingVerdict::Counts},
        {"written a moment ago", {look(a)}, ReadingVerdict::BeingWritten},
        {"moved while read", {look(a, true, true)}, ReadingVerdict::BeingWritten},
        {"cut, however quiet", {look("Jan 05 2008 14:30\r\nh55", true)}, ReadingVerdict::LineTwoUnfinished},
        {"unreadable", {unreadable}, ReadingVerdict::Unreadable},
        {"the same a second later", {look(a), look(a)}, ReadingVerdict::Counts},
        {"the same lines, more after them", {look(a), look(a + "line 3")}, ReadingVerdict::Counts},
        {"changed a second later", {look(a), look(b)}, ReadingVerdict::BeingWritten},
        {"then the same again", {look(a), look(b), look(b)}, ReadingVerdict::Counts},
        {"the look before moved while read", {look(a, false, true), look(a)}, ReadingVerdict::BeingWritten},
        {"the look before was cut", {look(a.substr(0, 25)), look(a)}, ReadingVerdict::BeingWritten},
        {"unreadable in between", {look(a), unreadable, look(a)}, ReadingVerdict::BeingWritten},
    };
    for (const Case& c : cases) {
        upload::ReportSettler settler;
        ReadingVerdict verdict = ReadingVerdict::Unreadable;
        for (const upload::ReportLook& l : c.looks) verdict = settler.Judge(l);
        EXPECT_EQ(verdict, c.last) << c.what;
    }
}

TEST(Report, OnlyAFreshReportGoesOut) {
    using std::chrono::minutes;
    using std::chrono::seconds;
    const rtl::TimePoint now = rtl::TimePoint{} + std::chrono::hours(24 * 20000);
    // File times (100 ns since 1601) of 1980-01-01 and of a second before.
    constexpr unsigned long long k1980 = 119600064000000000ULL, kTickPerSecond = 10000000ULL;
    const rtl::TimePoint in1980 = upload::WriteTimeOf(k1980);
    const struct Case {
        rtl::TimePoint written, now;
        bool old;
    } cases[] = {
        {now - minutes(19), now, false}, {now - minutes(20), now, false}, {now - minutes(20) - seconds(1), now, true},
        {now - minutes(21), now, true},  {now - minutes(180), now, true},  {now + minutes(30), now, false},  // another clock
        // A write time no file of this computer has, whatever the clock says.
        {in1980, in1980 + minutes(1), false},
        {upload::WriteTimeOf(k1980 - kTickPerSecond), in1980, true},
        {upload::WriteTimeOf(0), now, true},
        {upload::WriteTimeOf(~0ULL), now, true},
        {upload::WriteTimeOf(k1980 + 300 * 366 * 24 * 3600 * kTickPerSecond), now, true},  // past the clock's end
    };
    for (const Case& c : cases)
        EXPECT_EQ(upload::ReportIsOld(c.written, c.now), c.old) << (c.now - c.written).count();
    EXPECT_EQ(upload::WriteTimeOf(116444736000000000ULL + 15 * kTickPerSecond), rtl::TimePoint{} + seconds(15));
}

TEST(Report, OnlyAPlainFileOnADiskIsRead) {
    // Windows' attribute bits: read-only 0x1, hidden 0x2, folder 0x10,
    // archive 0x20, device 0x40, reparse point 0x400; its reparse tags.
    constexpr unsigned long kSymlink = 0xA000000C, kMountPoint = 0xA0000003, kCloud = 0x9000001A,
                            kCloudPinned = 0x9000601A, kDedup = 0x80000013;
    const struct Case {
        unsigned long attributes, tag;
        bool onDisk, plain;
    } cases[] = {{0x20, 0, true, true},           {0x1 | 0x2 | 0x20, 0, true, true}, {0x80, 0, true, true},
                 {0x400, kSymlink, true, false},  {0x20 | 0x400, kMountPoint, true, false},
                 {0x20 | 0x400, kCloud, true, true}, {0x20 | 0x400, kCloudPinned, true, true},
                 {0x20 | 0x400, kDedup, true, true}, {0x10, 0, true, false},
                 {0x40, 0, true, false},          {0x20, 0, false, false}};
    for (const Case& c : cases)
        EXPECT_EQ(upload::IsPlainReportFile(c.attributes, c.tag, c.onDisk), c.plain) << c.attributes << " " << c.tag;
}

}  // namespace
