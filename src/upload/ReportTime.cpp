#include "upload/ReportTime.h"

#include <chrono>

#include "rtl/Text.h"

namespace upload {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool AllDigits(const std::string& text, std::size_t least, std::size_t most) {
    if (text.size() < least || text.size() > most) return false;
    for (char c : text)
        if (!IsDigit(c)) return false;
    return true;
}

int Number(const std::string& digits) {
    int n = 0;
    for (char c : digits) n = n * 10 + (c - '0');
    return n;
}

bool EqualsIgnoringCase(const std::string& text, const char* upper) {
    std::size_t i = 0;
    for (; i < text.size() && upper[i]; ++i) {
        const char c = text[i] >= 'a' && text[i] <= 'z' ? static_cast<char>(text[i] - 'a' + 'A') : text[i];
        if (c != upper[i]) return false;
    }
    return i == text.size() && !upper[i];
}

// "AM" or "PM" at the end of a word: 0 for AM, 12 for PM, -1 for neither.
int Meridiem(std::string& word, bool whole) {
    if (word.size() < 2 || (whole && word.size() != 2)) return -1;
    const std::string end = word.substr(word.size() - 2);
    const int half = EqualsIgnoringCase(end, "AM") ? 0 : EqualsIgnoringCase(end, "PM") ? 12 : -1;
    if (half >= 0) word.resize(word.size() - 2);
    return half;
}

// Two digits at the 1-based position, between low and high.
std::optional<int> TwoDigits(const std::string& line, std::size_t position, int low, int high) {
    if (line.size() < position + 1) return std::nullopt;
    const std::string digits = line.substr(position - 1, 2);
    if (!AllDigits(digits, 2, 2)) return std::nullopt;
    const int value = Number(digits);
    if (value < low || value > high) return std::nullopt;
    return value;
}

std::string TwoDigitText(int value) { return std::string{static_cast<char>('0' + value / 10), static_cast<char>('0' + value % 10)}; }

}  // namespace

std::optional<ReportStamp> StampByShape(const std::string& line) {
    // The words, between blanks and tabs; any other control character
    // leaves the line to its fixed positions.
    std::vector<std::string> words;
    std::string word;
    for (char c : line + ' ') {
        if (c == ' ' || c == '\t') {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    // AM or PM after a blank, or glued to the time.
    int half = words.empty() ? -1 : Meridiem(words.back(), true);
    if (half >= 0) words.pop_back();
    else if (!words.empty()) half = Meridiem(words.back(), false);
    if (words.size() < 4) return std::nullopt;
    const std::string& time = words.back();
    const std::string& year = words[words.size() - 2];
    const std::string& day = words[words.size() - 3];
    if (!AllDigits(year, 4, 4) || !AllDigits(day, 1, 2)) return std::nullopt;

    // H:MM or HH:MM, and :SS or not.
    const std::size_t colon = time.find(':');
    if (colon == std::string::npos) return std::nullopt;
    const std::string hour = time.substr(0, colon), rest = time.substr(colon + 1);
    const std::string minute = rest.substr(0, 2);
    if (!AllDigits(hour, 1, 2) || !AllDigits(minute, 2, 2)) return std::nullopt;
    if (rest.size() > 2 && (rest.size() != 5 || rest[2] != ':' || !AllDigits(rest.substr(3), 2, 2) ||
                            Number(rest.substr(3)) > 59))
        return std::nullopt;

    ReportStamp stamp{Number(day), Number(hour), Number(minute)};
    if (half >= 0) {
        // 12 AM is midnight, 12 PM noon.
        if (stamp.hour < 1 || stamp.hour > 12) return std::nullopt;
        stamp.hour = stamp.hour % 12 + half;
    }
    if (stamp.day < 1 || stamp.day > 31 || stamp.hour > 23 || stamp.minute > 59) return std::nullopt;
    return stamp;
}

std::optional<ReportStamp> StampOf(const std::string& line) {
    if (const auto stamp = StampByShape(line)) return stamp;
    const auto day = TwoDigits(line, 5, 1, 31), hour = TwoDigits(line, 13, 0, 23), minute = TwoDigits(line, 16, 0, 59);
    if (!day || !hour || !minute) return std::nullopt;
    return ReportStamp{*day, *hour, *minute};
}

std::string PacketTime(const ReportStamp& stamp) {
    return TwoDigitText(stamp.day) + TwoDigitText(stamp.hour) + TwoDigitText(stamp.minute);
}

std::string PacketTime(const std::string& line) {
    if (const auto stamp = StampByShape(line)) return PacketTime(*stamp);
    // Cut at the fixed positions first, cleaned after: a TAB or NUL in the
    // date moves neither the day, the hour nor the minute.
    std::string time;
    for (long long start : {5, 13, 16})
        for (char c : rtl::Substring(line, start, 2))
            if (c >= ' ' && c <= '~') time += c;
    return time;
}

StampInUtc StampToUtc(const ReportStamp& stamp, rtl::TimePoint lastWrite, const std::vector<int>& offsets) {
    using namespace std::chrono;
    const auto written = floor<seconds>(lastWrite);
    // The stamp as a time on the clock that is `offset` ahead of UTC, when
    // it lies within the window around the write time on that clock.
    auto match = [&](int offset) -> std::optional<sys_seconds> {
        const sys_seconds onClock = written + minutes(offset);
        const sys_days today = floor<days>(onClock);
        for (const sys_days day : {today - days(1), today, today + days(1)}) {
            if (static_cast<unsigned>(year_month_day(day).day()) != static_cast<unsigned>(stamp.day)) continue;
            const sys_seconds at = day + hours(stamp.hour) + minutes(stamp.minute);
            if (at >= onClock - minutes(5) && at <= onClock + minutes(3)) return at - minutes(offset);
        }
        return std::nullopt;
    };
    if (match(0)) return {StampClock::Utc, 0, stamp};
    for (int offset : offsets) {
        if (offset == 0) continue;
        if (const auto utc = match(offset)) {
            const sys_days day = floor<days>(*utc);
            const hh_mm_ss<seconds> time(*utc - day);
            return {StampClock::Local, offset,
                    {static_cast<int>(static_cast<unsigned>(year_month_day(day).day())),
                     static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count())}};
        }
    }
    return {StampClock::Neither, 0, stamp};
}

std::string OffsetText(int offsetMinutes) {
    const int size = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    return std::string("UTC") + (offsetMinutes < 0 ? "\xE2\x88\x92" : "+") + TwoDigitText(size / 60 % 100) + ":" +
           TwoDigitText(size % 60);
}

}  // namespace upload
