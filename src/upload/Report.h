// Reading the weather report: the folder of the report path, the name of the
// working copy beside it, and the first two lines of a report's bytes.
#pragma once

#include <cstddef>
#include <string>

namespace upload {

// The report path cut before its last "\" or ":". A backslash that ends a
// drive root ("C:\") or follows another backslash stays part of the folder;
// a path without either gives the empty folder.
std::string ReportFolder(const std::string& reportPath);

// ReportFolder(reportPath) + "\wxreport2.txt": "C:\data\wxreport2.txt",
// "C:\\wxreport2.txt" for a report in a drive root, "\wxreport2.txt" for a
// path without any folder.
std::string WorkingCopyName(const std::string& reportPath);

struct ReportLines {
    std::string timestamp;  // line 1, without its line end
    std::string weather;    // line 2, without its line end
};

// The first two lines of a report's bytes. A line ends at CR, LF, CR LF or
// LF CR (a pair counts as one line end); Ctrl-Z (26) or the end of the bytes
// ends the text; missing lines are empty. Every other byte, NUL included,
// stays in its line.
ReportLines ReadReportLines(const std::string& bytes);

// How much of the working copy is read: its first two lines lie well inside
// this, so a huge report costs no more than a small one. What lies beyond
// counts as the end of the text.
inline constexpr std::size_t kReportReadLimit = 64 * 1024;

}  // namespace upload
