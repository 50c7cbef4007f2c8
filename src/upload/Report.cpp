#include "upload/Report.h"

namespace upload {

std::string ReportFolder(const std::string& reportPath) {
    // i: 1-based position of the last "\" or ":", 0 when there is none.
    const std::size_t last = reportPath.find_last_of("\\:");
    std::size_t i = last == std::string::npos ? 0 : last + 1;
    if (i > 1 && reportPath[i - 1] == '\\' && reportPath[i - 2] != '\\' && reportPath[i - 2] != ':') --i;
    return reportPath.substr(0, i);
}

std::string WorkingCopyName(const std::string& reportPath) {
    return ReportFolder(reportPath) + "\\wxreport2.txt";
}

ReportLines ReadReportLines(const std::string& bytes) {
    constexpr char kCR = '\r', kLF = '\n', kEndOfText = 26;
    ReportLines lines;
    std::string* targets[] = {&lines.timestamp, &lines.weather};
    std::size_t pos = 0;
    for (std::string* line : targets) {
        const std::size_t end = bytes.find_first_of(std::string{kCR, kLF, kEndOfText}, pos);
        line->assign(bytes, pos, end == std::string::npos ? std::string::npos : end - pos);
        if (end == std::string::npos || bytes[end] == kEndOfText) break;
        // CR LF and LF CR are one line end each; a second alike byte is a new line.
        pos = end + 1;
        if (pos < bytes.size() && (bytes[pos] == kCR || bytes[pos] == kLF) && bytes[pos] != bytes[end]) ++pos;
    }
    return lines;
}

}  // namespace upload
