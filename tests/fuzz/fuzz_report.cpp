// The report line reader and the judgement of a report's shape, against a
// plain byte-by-byte reading of the same rules.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <regex>
#include <string>

#include "upload/Report.h"
#include "upload/ReportTime.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// The rules read one byte at a time: CR, LF, CR LF and LF CR end a line,
// Ctrl-Z or the end ends the text.
// weatherEnded: line 2 was ended by a line end or Ctrl-Z.
upload::ReportLines Reference(const std::string& bytes, bool& weatherEnded) {
    std::string lines[2];
    std::size_t i = 0;
    weatherEnded = false;
    for (int n = 0; n < 2; ++n) {
        for (; i < bytes.size(); ++i) {
            const char c = bytes[i];
            if (c == 26) {
                weatherEnded = n == 1;
                return {lines[0], lines[1]};
            }
            if (c == '\r' || c == '\n') break;
            lines[n] += c;
        }
        if (i == bytes.size()) break;
        weatherEnded = n == 1;
        const char end = bytes[i++];
        if (i < bytes.size() && (bytes[i] == '\r' || bytes[i] == '\n') && bytes[i] != end) ++i;
    }
    return {lines[0], lines[1]};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    const upload::ReportLines lines = upload::ReadReportLines(bytes);
    bool weatherEnded = false;
    const std::string text = upload::ReportText(bytes);
    const upload::ReportLines expected = Reference(text, weatherEnded);
    Check(lines.timestamp == expected.timestamp);
    Check(lines.weather == expected.weather);
    Check(lines.weatherEnded == weatherEnded);
    for (const std::string* line : {&lines.timestamp, &lines.weather})
        Check(line->find_first_of(std::string{'\r', '\n', 26}) == std::string::npos);
    Check(text.compare(0, lines.timestamp.size(), lines.timestamp) == 0);

    // Whole only with line 1's day (01-31), hour (00-23) and minute (00-59),
    // by its shape or in their places, and line 2, printable and without
    // blanks at its end, holding a whole pressure at its first "b": five
    // digits or four beginning with 8 or 9 and no further digit, or five
    // dots and no further dot. A line end makes nothing whole.
    const std::string& t = lines.timestamp;
    auto two = [&t](std::size_t at, int high, int low) {
        if (t.size() <= at || t[at - 1] < '0' || t[at - 1] > '9' || t[at] < '0' || t[at] > '9') return false;
        const int v = (t[at - 1] - '0') * 10 + (t[at] - '0');
        return v >= low && v <= high;
    };
    std::string w;
    for (char c : lines.weather)
        if (c >= ' ' && c <= '~') w += c;
    while (!w.empty() && w.back() == ' ') w.pop_back();
    static const std::regex pressure(R"(^[^b]*b(\d{5}(?!\d)|[89]\d{3}(?!\d)|\.{5}(?!\.)))");
    const bool lineOne = upload::StampByShape(t) || (two(5, 31, 1) && two(13, 23, 0) && two(16, 59, 0));
    const bool pressureWhole = std::regex_search(w, pressure);
    const upload::ReadingVerdict shape = !lineOne        ? upload::ReadingVerdict::LineOneShort
                                         : pressureWhole ? upload::ReadingVerdict::Counts
                                                         : upload::ReadingVerdict::LineTwoUnfinished;
    Check(upload::ReportShape(bytes) == shape);
    return 0;
}
