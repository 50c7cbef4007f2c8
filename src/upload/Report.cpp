#include "upload/Report.h"

#include "rtl/Utf.h"
#include "upload/ReportTime.h"

namespace upload {

namespace {

constexpr char kCR = '\r', kLF = '\n', kEndOfText = 26;

// The two lines of the text; weatherEnded tells whether line 2 was ended by
// a line end or Ctrl-Z rather than by the end of the bytes.
ReportLines ReadLines(const std::string& text) {
    ReportLines lines;
    std::string* targets[] = {&lines.timestamp, &lines.weather};
    std::size_t pos = 0;
    for (std::string* line : targets) {
        const std::size_t end = text.find_first_of(std::string{kCR, kLF, kEndOfText}, pos);
        line->assign(text, pos, end == std::string::npos ? std::string::npos : end - pos);
        if (end == std::string::npos) break;
        if (line == &lines.weather) lines.weatherEnded = true;
        if (text[end] == kEndOfText) break;
        // CR LF and LF CR are one line end each; a second alike byte is a new line.
        pos = end + 1;
        if (pos < text.size() && (text[pos] == kCR || text[pos] == kLF) && text[pos] != text[end]) ++pos;
    }
    return lines;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Whether the line holds a whole pressure: its first "b" followed by five
// digits or five dots, or by four digits beginning with 8 or 9 (under
// 1000.0 hPa, the leading zero left out: a pressure cut while written
// begins with 0 or 1), and not by a further digit (or dot).
bool HoldsPressure(const std::string& line) {
    const std::size_t b = line.find('b');
    if (b == std::string::npos) return false;
    std::size_t end = b + 1;
    while (end < line.size() && IsDigit(line[end])) ++end;
    const std::size_t digits = end - b - 1;
    if (digits == 5 || (digits == 4 && (line[b + 1] == '8' || line[b + 1] == '9'))) return true;
    return digits == 0 && line.compare(b + 1, 5, ".....") == 0 && (b + 6 == line.size() || line[b + 6] != '.');
}

}  // namespace

std::string ReportText(const std::string& bytes) {
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return bytes.substr(3);
    if (bytes.compare(0, 2, "\xFF\xFE") != 0) return bytes;
    // UTF-16 little-endian; a last odd byte (a report cut while written)
    // is no character yet.
    std::u16string wide;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
        wide += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                      static_cast<unsigned char>(bytes[i + 1]) << 8);
    return rtl::Utf16ToUtf8(wide);
}

ReportLines ReadReportLines(const std::string& bytes) { return ReadLines(ReportText(bytes)); }
std::string WeatherText(const std::string& weatherLine) {
    std::string text;
    for (char c : weatherLine)
        if (c >= ' ' && c <= '~') text += c;
    const std::size_t end = text.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

ReadingVerdict ReportShape(const std::string& bytes) {
    const ReportLines lines = ReadReportLines(bytes);
    if (!StampOf(lines.timestamp)) return ReadingVerdict::LineOneShort;
    if (!HoldsPressure(WeatherText(lines.weather))) return ReadingVerdict::LineTwoUnfinished;
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
