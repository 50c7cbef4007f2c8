// The report line reader and the working copy name, against a plain
// byte-by-byte reading of the same rules.
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
upload::ReportLines Reference(const std::string& bytes) {
    std::string lines[2];
    std::size_t i = 0;
    for (int n = 0; n < 2; ++n) {
        for (; i < bytes.size(); ++i) {
            const char c = bytes[i];
            if (c == 26) return {lines[0], lines[1]};
            if (c == '\r' || c == '\n') break;
            lines[n] += c;
        }
        if (i == bytes.size()) break;
        const char end = bytes[i++];
        if (i < bytes.size() && (bytes[i] == '\r' || bytes[i] == '\n') && bytes[i] != end) ++i;
    }
    return {lines[0], lines[1]};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    const upload::ReportLines lines = upload::ReadReportLines(bytes);
    const upload::ReportLines expected = Reference(bytes);
    Check(lines.timestamp == expected.timestamp);
    Check(lines.weather == expected.weather);
    for (const std::string* line : {&lines.timestamp, &lines.weather})
        Check(line->find_first_of(std::string{'\r', '\n', 26}) == std::string::npos);
    Check(bytes.compare(0, lines.timestamp.size(), lines.timestamp) == 0);

    // The same bytes as a report path.
    const std::string folder = upload::ReportFolder(bytes);
    Check(bytes.compare(0, folder.size(), folder) == 0);
    // The folder ends at the last separator, or just before it when that is
    // a single backslash.
    const std::size_t last = bytes.find_last_of("\\:");
    if (last == std::string::npos)
        Check(folder.empty());
    else
        Check(folder.size() == last + 1 || (folder.size() == last && bytes[last] == '\\' && last > 0));
    const std::string working = upload::WorkingCopyName(bytes);
    Check(working == folder + "\\wxreport2.txt");
    return 0;
}
