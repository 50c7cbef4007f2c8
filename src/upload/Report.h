// Reading the weather report: the first two lines of a report's bytes, and
// whether a look at the report gives a reading that counts.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace upload {

struct ReportLines {
    std::string timestamp;  // line 1, without its line end
    std::string weather;    // line 2, without its line end

    bool operator==(const ReportLines&) const = default;
};

// The first two lines of a report's bytes. A line ends at CR, LF, CR LF or
// LF CR (a pair counts as one line end); Ctrl-Z (26) or the end of the bytes
// ends the text; missing lines are empty. Every other byte, NUL included,
// stays in its line.
ReportLines ReadReportLines(const std::string& bytes);

// How much of the report is read: its first two lines lie well inside this,
// so a huge report costs no more than a small one. What lies beyond counts
// as the end of the text.
inline constexpr std::size_t kReportReadLimit = 64 * 1024;

// One look at the report file.
struct ReportLook {
    bool readable = false;            // opened and read; otherwise error says why
    unsigned long error = 0;          // the system's error code of a failed open or read
    std::string bytes;                // its first kReportReadLimit bytes
    bool changedWhileRead = false;    // its size or last write time moved during the read
    bool quietForTwoSeconds = false;  // last written two seconds or more before the look
};

// What a look at the report comes to.
enum class ReadingVerdict {
    Counts,             // whole and settled: the reading is taken
    Unreadable,         // it could not be opened or read (held by a program that shares nothing)
    LineOneShort,       // line 1 ends before the minute (position 17)
    LineTwoUnfinished,  // line 2 is neither followed by a line end nor ends in its pressure
    BeingWritten,       // whole, but written a moment ago and not yet seen the same a second later
};

// Whole: line 1 reaches position 17 (the minute), and line 2 is followed by
// a line end (CR, LF or Ctrl-Z) or ends in "b" and five digits (the pressure,
// always the last field). Anything less was cut, most often while the
// console program was still writing it.
ReadingVerdict ReportShape(const std::string& bytes);

// Judges successive looks at one report, a second or more apart. A whole
// look counts when nothing moved while it was read and the report has not
// been written for two seconds, or when its lines equal those of the look
// before it.
class ReportSettler {
public:
    ReadingVerdict Judge(const ReportLook& look);

private:
    std::optional<ReportLines> previous_;
};

}  // namespace upload
