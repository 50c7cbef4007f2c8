// The report line reader and the judgement of a report's shape, against a
// plain byte-by-byte reading of the same rules.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "upload/Report.h"

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
    const upload::ReportLines expected = Reference(bytes, weatherEnded);
    Check(lines.timestamp == expected.timestamp);
    Check(lines.weather == expected.weather);
    for (const std::string* line : {&lines.timestamp, &lines.weather})
        Check(line->find_first_of(std::string{'\r', '\n', 26}) == std::string::npos);
    Check(bytes.compare(0, lines.timestamp.size(), lines.timestamp) == 0);

    // Whole only with line 1 up to the minute and line 2 ended: by a line
    // end or by "b" and five digits.
    const std::string& w = lines.weather;
    const bool pressureLast = w.size() >= 6 && w[w.size() - 6] == 'b' &&
                              w.find_first_not_of("0123456789", w.size() - 5) == std::string::npos;
    const upload::ReadingVerdict shape = lines.timestamp.size() < 17 ? upload::ReadingVerdict::LineOneShort
                                         : weatherEnded || pressureLast ? upload::ReadingVerdict::Counts
                                                                        : upload::ReadingVerdict::LineTwoUnfinished;
    Check(upload::ReportShape(bytes) == shape);
    return 0;
}
