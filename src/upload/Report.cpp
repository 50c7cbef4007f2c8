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

bool EndsInPressure(const std::string& line) {
    if (line.size() < 6 || line[line.size() - 6] != 'b') return false;
    for (std::size_t i = line.size() - 5; i < line.size(); ++i)
        if (line[i] < '0' || line[i] > '9') return false;
    return true;
}

}  // namespace

ReportLines ReadReportLines(const std::string& bytes) {
    bool weatherEnded = false;
    return ReadLines(bytes, weatherEnded);
}

ReadingVerdict ReportShape(const std::string& bytes) {
    bool weatherEnded = false;
    const ReportLines lines = ReadLines(bytes, weatherEnded);
    if (lines.timestamp.size() < 17) return ReadingVerdict::LineOneShort;
    if (!weatherEnded && !EndsInPressure(lines.weather)) return ReadingVerdict::LineTwoUnfinished;
    return ReadingVerdict::Counts;
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
