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

std::string BrowserCommandLine(const std::string& commandTemplate, const std::string& url) {
    // The placeholder in quotes first, so that its opening quote goes too.
    size_t at = commandTemplate.find("\"%1\"");
    if (at == std::string::npos) at = commandTemplate.find("%1");
    std::string command = at == std::string::npos ? commandTemplate : commandTemplate.substr(0, at);
    command += ' ';
    command += url;
    return command;
}

}  // namespace ui
