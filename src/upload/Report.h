// Reading the weather report: the first two lines of a report's bytes, and
// whether a look at the report gives a reading that counts.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "rtl/Clock.h"

namespace upload {

struct ReportLines {
    std::string timestamp;  // line 1, without its line end
    std::string weather;    // line 2, without its line end
    // Whether a line end (or Ctrl-Z) followed line 2: without one, its last
    // field may have been cut while it was written.
    bool weatherEnded = false;

    bool operator==(const ReportLines&) const = default;
};

// The report's bytes as text: a UTF-8 byte-order mark at the start is
// dropped, and a report that starts with the UTF-16 little-endian mark (as
// some scripting tools write) is read as UTF-16 and given in UTF-8. Any
// other report stays byte for byte (its month names may be in the ANSI
// code page).
std::string ReportText(const std::string& bytes);

// The first two lines of a report's text (ReportText). A line ends at CR,
// LF, CR LF or LF CR (a pair counts as one line end); Ctrl-Z (26) or the end
// of the bytes ends the text; missing lines are empty. Every other byte, NUL
// included, stays in its line.
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
    rtl::TimePoint lastWrite{};       // when it was last written, as the file system says
    bool missing = false;             // nothing at the path, or a folder
    bool notPlainFile = false;        // a link, mount point, device or pipe: refused, not read
};

// Whether a file with these attributes (Windows' FILE_ATTRIBUTE_* bits) and
// reparse tag (when it is a reparse point) is a plain file on a disk, as a
// report must be: not a folder, not a device, and not a reparse point that
// redirects the name (a symbolic link or mount point would have the owner's
// program read and publish whatever file someone else points it at). A file
// a sync service keeps as a placeholder (OneDrive's cloud files), or a
// deduplicated one, is still the file itself: it is read.
bool IsPlainReportFile(unsigned long attributes, unsigned long reparseTag, bool onDisk);

// What a look at the report comes to.
enum class ReadingVerdict {
    Counts,             // whole and settled: the reading is taken
    Unreadable,         // it could not be opened or read (held by a program that shares nothing)
    LineOneShort,       // line 1 gives no day, hour and minute (StampOf)
    LineTwoUnfinished,  // line 2 holds no whole pressure
    BeingWritten,       // whole, but written a moment ago and not yet seen the same a second later
};

// Whole: line 1 gives the day, hour and minute, by its shape or at its fixed
// positions (StampOf); line 2 holds its pressure: "b" and five digits, "b"
// and four beginning with 8 or 9, or "b....." (the first "b" of the line,
// with no further digit or dot after it), whether a line end follows or
// not. After the pressure come only fields that may follow it and text
// that is not weather (ReadWeather reads them). An empty weather line, or
// one without a whole pressure, is not whole even when a line end follows
// it: it was cut, most often while the console program was still writing
// it, or is not a report at all.
ReadingVerdict ReportShape(const std::string& bytes);

// The weather line as it is read for the packet: printable ASCII only,
// blanks at its end dropped.
std::string WeatherText(const std::string& weatherLine);

// A file time (100 ns since 1601, UTC) as a point in time; one the clock
// cannot hold comes out as the clock's epoch (1970), which counts as old.
rtl::TimePoint WriteTimeOf(unsigned long long fileTime);

// A report last written more than this before the attempt is old: its
// weather is not the weather now.
inline constexpr std::chrono::minutes kReportMaxAge{20};
// Whether a report written at lastWrite is old at now; one written later
// than now (another clock) is fresh, one written before 1980 (no file of
// this computer's) old.
bool ReportIsOld(rtl::TimePoint lastWrite, rtl::TimePoint now);

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
