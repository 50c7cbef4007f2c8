#include "ui/LinkAddress.h"

#include "rtl/Text.h"
#include "ui/WebAddresses.h"

namespace ui {

namespace {

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

}  // namespace

std::string PercentEncoded(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsUnreserved(c)) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

std::string StationPageAddress(const std::string& callsign) {
    return std::string(kStationPageBase) + PercentEncoded(rtl::Trimmed(callsign));
}

std::string StationPageCaption(const std::string& callsign) { return std::string(kStationPageBase) + callsign; }

BrowserTemplate SplitBrowserCommand(const std::string& commandTemplate,
                                    const std::function<bool(const std::string&)>& isFile) {
    const size_t start = commandTemplate.find_first_not_of(' ');
    if (start == std::string::npos) return {};
    if (commandTemplate[start] == '"') {
        const size_t close = commandTemplate.find('"', start + 1);
        if (close == std::string::npos) return {};  // no end to the program's name
        return {commandTemplate.substr(start + 1, close - start - 1), commandTemplate.substr(close + 1)};
    }
    // Unquoted with blanks: the longest candidate that is a file, so that
    // "C:\Program Files\..." is never taken for "C:\Program".
    for (size_t end = commandTemplate.size(); end > start + 4; --end) {
        if (end < commandTemplate.size() && commandTemplate[end] != ' ') continue;
        const std::string candidate = commandTemplate.substr(start, end - start);
        const std::string extension = candidate.substr(candidate.size() - 4);
        bool isExe = extension[0] == '.';
        for (size_t i = 1; i < 4; ++i) isExe = isExe && (extension[i] | 0x20) == "xexe"[i];
        if (isExe && candidate.find('"') == std::string::npos && isFile(candidate))
            return {candidate, commandTemplate.substr(end)};
    }
    const size_t blank = commandTemplate.find(' ', start);
    if (blank == std::string::npos) return {commandTemplate.substr(start), ""};
    return {commandTemplate.substr(start, blank - start), commandTemplate.substr(blank)};
}

std::string BrowserCommandLine(const BrowserTemplate& browser, const std::string& url) {
    // The placeholder in quotes first, so that its opening quote goes too.
    const std::string& arguments = browser.arguments;
    size_t at = arguments.find("\"%1\"");
    if (at == std::string::npos) at = arguments.find("%1");
    std::string command = "\"" + browser.program + "\"";
    command += at == std::string::npos ? arguments : arguments.substr(0, at);
    command += ' ';
    command += url;
    return command;
}

}  // namespace ui
