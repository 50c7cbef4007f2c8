#include "upload/Report.h"

namespace upload {

namespace {

constexpr char kCR = '\r', kLF = '\n', kEndOfText = 26;

// The two lines, and whether line 2 was ended by a line end or Ctrl-Z
// rather than by the end of the bytes.
ReportLines ReadLines(const std::string& bytes, bool& weatherEnded) {
    ReportLines lines;
    weatherEnded = false;
    std::string* targets[] = {&lines.timestamp, &lines.weather};
    std::size_t pos = 0;
    for (std::string* line : targets) {
        const std::size_t end = bytes.find_first_of(std::string{kCR, kLF, kEndOfText}, pos);
        line->assign(bytes, pos, end == std::string::npos ? std::string::npos : end - pos);
        if (end == std::string::npos) break;
        if (line == &lines.weather) weatherEnded = true;
        if (bytes[end] == kEndOfText) break;
        // CR LF and LF CR are one line end each; a second alike byte is a new line.
        pos = end + 1;
        if (pos < bytes.size() && (bytes[pos] == kCR || bytes[pos] == kLF) && bytes[pos] != bytes[end]) ++pos;
    }
    return lines;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Two digits at the 1-based position, between low and high.
bool TwoDigits(const std::string& line, std::size_t position, int low, int high) {
    if (line.size() < position + 1) return false;
    const char a = line[position - 1], b = line[position];
    if (!IsDigit(a) || !IsDigit(b)) return false;
    const int value = (a - '0') * 10 + (b - '0');
    return value >= low && value <= high;
}

// The pressure is always the last field: "b" and five digits, "b" and four
// beginning with 8 or 9 (under 1000.0 hPa, the leading zero left out: a
// pressure cut while written begins with 0 or 1), or five dots.
bool EndsInPressure(const std::string& line) {
    const std::size_t n = line.size();
    auto digitsFrom = [&line, n](std::size_t from) {
        for (std::size_t i = from; i < n; ++i)
            if (!IsDigit(line[i])) return false;
        return true;
    };
    if (n >= 6 && line[n - 6] == 'b' && (digitsFrom(n - 5) || line.compare(n - 5, 5, ".....") == 0)) return true;
    return n >= 5 && line[n - 5] == 'b' && (line[n - 4] == '8' || line[n - 4] == '9') && digitsFrom(n - 4);
}

// Whether a whole pressure stands somewhere in the line with more after it:
// "b" and five digits or five dots, or "b" and four digits beginning with 8
// or 9, then another character.
bool PressureBeforeText(const std::string& line) {
    for (std::size_t b = line.find('b'); b != std::string::npos; b = line.find('b', b + 1)) {
        std::size_t end = b + 1;
        while (end < line.size() && IsDigit(line[end])) ++end;
        const std::size_t digits = end - b - 1;
        if (end < line.size() && (digits == 5 || (digits == 4 && (line[b + 1] == '8' || line[b + 1] == '9'))))
            return true;
        if (line.compare(b + 1, 5, ".....") == 0 && b + 6 < line.size() && line[b + 6] != '.') return true;
    }
    return false;
}

}  // namespace

ReportLines ReadReportLines(const std::string& bytes) {
    bool weatherEnded = false;
    return ReadLines(bytes, weatherEnded);
}

std::string WeatherText(const std::string& weatherLine) {
    std::string text;
    for (char c : weatherLine)
        if (c >= ' ' && c <= '~') text += c;
    const std::size_t end = text.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

ReadingVerdict ReportShape(const std::string& bytes) {
    bool weatherEnded = false;
    const ReportLines lines = ReadLines(bytes, weatherEnded);
    const std::string& t = lines.timestamp;
    if (!TwoDigits(t, 5, 1, 31) || !TwoDigits(t, 13, 0, 23) || !TwoDigits(t, 16, 0, 59))
        return ReadingVerdict::LineOneShort;
    const std::string weather = WeatherText(lines.weather);
    if (!EndsInPressure(weather))
        return PressureBeforeText(weather) ? ReadingVerdict::TextAfterPressure : ReadingVerdict::LineTwoUnfinished;
    return ReadingVerdict::Counts;
}

bool IsPlainReportFile(unsigned long attributes, unsigned long reparseTag, bool onDisk) {
    constexpr unsigned long kDirectory = 0x10, kDevice = 0x40, kReparsePoint = 0x400;
    // The tag's bit for reparse points that stand for another name.
    constexpr unsigned long kNameSurrogate = 0x20000000;
    if (!onDisk || (attributes & (kDirectory | kDevice)) != 0) return false;
    return (attributes & kReparsePoint) == 0 || (reparseTag & kNameSurrogate) == 0;
}

rtl::TimePoint WriteTimeOf(unsigned long long fileTime) {
    using Ticks = std::chrono::duration<long long, std::ratio<1, 10000000>>;
    constexpr unsigned long long kTicksFrom1601To1970 = 116444736000000000ULL;
    // The widest span the clock holds either side of 1970, in ticks.
    const auto limit = static_cast<unsigned long long>(
        std::chrono::duration_cast<Ticks>(rtl::TimePoint::duration::max()).count());
    const bool after = fileTime >= kTicksFrom1601To1970;
    const unsigned long long span = after ? fileTime - kTicksFrom1601To1970 : kTicksFrom1601To1970 - fileTime;
    if (span > limit) return rtl::TimePoint{};
    const Ticks ticks(after ? static_cast<long long>(span) : -static_cast<long long>(span));
    return rtl::TimePoint(std::chrono::duration_cast<rtl::TimePoint::duration>(ticks));
}

bool ReportIsOld(rtl::TimePoint lastWrite, rtl::TimePoint now) {
    // 1980-01-01 00:00 UTC: no file system of this computer writes earlier.
    constexpr std::chrono::seconds k1980(315532800);
    return lastWrite < rtl::TimePoint(k1980) || now - lastWrite > kReportMaxAge;
}

ReadingVerdict ReportSettler::Judge(const ReportLook& look) {
    std::optional<ReportLines> previous;
    previous.swap(previous_);
    if (!look.readable) return ReadingVerdict::Unreadable;
    const ReadingVerdict shape = ReportShape(look.bytes);
    if (shape != ReadingVerdict::Counts) return shape;
    if (look.changedWhileRead) return ReadingVerdict::BeingWritten;
    const ReportLines lines = ReadReportLines(look.bytes);
    if (look.quietForTwoSeconds || previous == lines) return ReadingVerdict::Counts;
    previous_ = lines;
    return ReadingVerdict::BeingWritten;
}

}  // namespace upload
