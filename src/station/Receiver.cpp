#include "station/Receiver.h"

#include <array>
#include <cstdint>

#include "station/Upload.h"

namespace station {

namespace {

// A dotted quad, four numbers 0-255.
bool ReadIpv4(std::string_view text, std::array<std::uint8_t, 4>& out) {
    int part = 0, digits = 0, value = 0;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            value = value * 10 + (c - '0');
            if (++digits > 3 || value > 255) return false;
        } else if (c == '.' && digits > 0 && part < 3) {
            out[static_cast<std::size_t>(part++)] = static_cast<std::uint8_t>(value);
            digits = value = 0;
        } else {
            return false;
        }
    }
    if (digits == 0 || part != 3) return false;
    out[3] = static_cast<std::uint8_t>(value);
    return true;
}

bool IsLocalIpv4(const std::array<std::uint8_t, 4>& a) {
    return a[0] == 127 || a[0] == 10 || (a[0] == 172 && (a[1] & 0xF0) == 16) || (a[0] == 192 && a[1] == 168) ||
           (a[0] == 169 && a[1] == 254);
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// An IPv6 address in its text forms: eight groups of up to four hex digits,
// one "::" for a run of zero groups, the last two groups possibly a dotted
// quad; a zone ("%3", "%eth0") and brackets are allowed around it.
bool ReadIpv6(std::string_view text, std::array<std::uint8_t, 16>& out) {
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']') text = text.substr(1, text.size() - 2);
    if (const std::size_t zone = text.find('%'); zone != std::string_view::npos) text = text.substr(0, zone);
    std::array<std::uint16_t, 8> head{}, tail{};
    int heads = 0, tails = 0;
    bool gap = false;
    if (text.substr(0, 2) == "::") {
        gap = true;
        text.remove_prefix(2);
    }
    while (!text.empty()) {
        const std::size_t colon = text.find(':');
        std::string_view group = text.substr(0, colon);
        int used = heads + tails;
        if (group.find('.') != std::string_view::npos && colon == std::string_view::npos) {
            std::array<std::uint8_t, 4> v4{};
            if (used > 6 || !ReadIpv4(group, v4)) return false;
            std::array<std::uint16_t, 8>& to = gap ? tail : head;
            int& n = gap ? tails : heads;
            to[static_cast<std::size_t>(n++)] = static_cast<std::uint16_t>(v4[0] << 8 | v4[1]);
            to[static_cast<std::size_t>(n++)] = static_cast<std::uint16_t>(v4[2] << 8 | v4[3]);
            break;
        }
        if (group.empty() || group.size() > 4 || used >= 8) return false;
        int value = 0;
        for (char c : group) {
            if (HexValue(c) < 0) return false;
            value = value * 16 + HexValue(c);
        }
        (gap ? tail[static_cast<std::size_t>(tails++)] : head[static_cast<std::size_t>(heads++)]) =
            static_cast<std::uint16_t>(value);
        if (colon == std::string_view::npos) {
            text = {};
        } else if (text.substr(colon, 2) == "::") {
            if (gap) return false;
            gap = true;
            text.remove_prefix(colon + 2);
        } else {
            text.remove_prefix(colon + 1);
            if (text.empty()) return false;  // a trailing single colon
        }
    }
    if (gap ? heads + tails > 7 : heads != 8) return false;
    std::array<std::uint16_t, 8> groups{};
    for (int i = 0; i < heads; ++i) groups[static_cast<std::size_t>(i)] = head[static_cast<std::size_t>(i)];
    for (int i = 0; i < tails; ++i) groups[static_cast<std::size_t>(8 - tails + i)] = tail[static_cast<std::size_t>(i)];
    for (std::size_t i = 0; i < 8; ++i) {
        out[2 * i] = static_cast<std::uint8_t>(groups[i] >> 8);
        out[2 * i + 1] = static_cast<std::uint8_t>(groups[i] & 0xFF);
    }
    return true;
}

// A station's type as the dialog and the log show it: printable ASCII, at
// most 64 characters.
std::string Printable(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c >= 0x20 && c <= 0x7E && out.size() < 64) out += c;
    return out;
}

}  // namespace

bool IsLocalNetworkAddress(const std::string& address) {
    std::array<std::uint8_t, 4> v4{};
    if (ReadIpv4(address, v4)) return IsLocalIpv4(v4);
    std::array<std::uint8_t, 16> v6{};
    if (!ReadIpv6(address, v6)) return false;
    bool mapped = v6[10] == 0xFF && v6[11] == 0xFF;
    for (std::size_t i = 0; i < 10; ++i) mapped = mapped && v6[i] == 0;
    if (mapped) return IsLocalIpv4({v6[12], v6[13], v6[14], v6[15]});
    bool loopback = v6[15] == 1;
    for (std::size_t i = 0; i < 15; ++i) loopback = loopback && v6[i] == 0;
    return loopback || (v6[0] == 0xFE && (v6[1] & 0xC0) == 0x80) || (v6[0] & 0xFE) == 0xFC;
}

std::string MaskedKey(const std::string& key) {
    if (key.empty()) return {};
    return "..." + key.substr(key.size() > 4 ? key.size() - 4 : 0);
}

Taking Receiver::Take(const HttpRequest& request, const std::string& sender, rtl::TimePoint received,
                      const ReceiverSettings& settings) {
    Taking taking;
    if (!IsLocalNetworkAddress(sender)) {
        taking.verdict = Taking::Verdict::NotLocal;
        taking.status = 0;
        return taking;
    }
    // A web page in the owner's browser may post to this computer too; a
    // station never names a page it comes from.
    if (request.Header("Origin") || request.Header("Referer")) {
        taking.verdict = Taking::Verdict::FromBrowser;
        taking.status = 403;
        return taking;
    }
    Upload upload;
    if (!ReadUpload(request, upload)) return taking;  // Unreadable, 400
    if (!settings.pinnedKey.empty() && upload.key != settings.pinnedKey) {
        taking.verdict = Taking::Verdict::OtherStation;
        taking.status = 403;
        return taking;
    }
    // Another station than the one whose history is kept (the pinned one
    // was forgotten): its history starts afresh.
    if (upload.key != historyKey_) {
        history_.Clear();
        historyKey_ = upload.key;
    }
    if (settings.pinnedKey.empty()) taking.keyToPin = upload.key;

    const WeatherLine weather = MakeWeatherLine(upload, received, settings.heightMetres, history_);
    StationReading reading;
    reading.lines = {ReceivedLine(received), weather.text, true};  // whole, as if a line end followed
    reading.received = received;
    const std::string* type = upload.Field("stationtype");
    if (!type) type = upload.Field("softwaretype");
    if (type) reading.stationType = Printable(*type);
    reading.sender = sender;
    reading.pressureNeedsHeight = weather.pressureNeedsHeight;
    latest_ = std::move(reading);
    taking.verdict = Taking::Verdict::Taken;
    taking.status = 200;
    return taking;
}

void Receiver::Clear() {
    latest_.reset();
    history_.Clear();
    historyKey_.clear();
}

}  // namespace station
