#include "config/ConfigFile.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "rtl/Text.h"

namespace config {

namespace {

// The text after each comma is cut to this many characters as it is taken up.
constexpr std::size_t kRemainderLimit = 999;
// Begins the fields of receiving from the station, after the autostart flag.
const std::string kStationTag = "Station,";

// A text field as written: trimmed, and with no line end left inside, since
// the reader sees only the first line.
std::string WithoutLineEnds(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != '\r' && c != '\n') out += c;
    return out;
}

std::string TextField(const std::string& text) { return WithoutLineEnds(rtl::Trimmed(text)); }

const char* Flag(bool checked) { return checked ? "Y" : "N"; }

// The text before the first comma; empty when there is no comma.
std::string FieldOf(const std::string& rest) {
    const std::size_t comma = rest.find(',');
    return comma == std::string::npos ? std::string() : rest.substr(0, comma);
}

// The text after the first comma (all of it when there is none), cut.
void Advance(std::string& rest) {
    const std::size_t comma = rest.find(',');
    rest = rest.substr(comma == std::string::npos ? 0 : comma + 1, kRemainderLimit);
}

bool ReadInteger(const std::string& field, std::optional<int>& into) {
    int value = 0;
    if (!rtl::TryStrToInt(field, value)) return false;
    into = value;
    return true;
}

bool ReadSeconds(const std::string& field, std::optional<long double>& into) {
    long double value = 0;
    if (!rtl::TryStrToFloat(field, '.', value)) return false;
    into = value;
    return true;
}

}  // namespace

std::string FormatConfigSeconds(long double value) {
    if (!std::isfinite(value) || value == 0.0L) return "0";

    // 15 significant digits, correctly rounded: "d.dddddddddddddde+XX".
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                      std::chars_format::scientific, 14);
    const std::string scientific(buffer, result.ptr);
    const std::size_t e = scientific.find('e');
    std::string digits = scientific.substr(0, 1) + scientific.substr(2, e - 2);
    const int exponent = std::atoi(scientific.c_str() + e + 1);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    std::string out = value < 0 ? "-" : "";
    // Digits in front of the decimal point.
    const int point = exponent + 1;
    if (point > 15 || point < -3) {
        out += digits.substr(0, 1);
        if (digits.size() > 1) out += "." + digits.substr(1);
        out += "E" + rtl::Decimal(exponent);
    } else if (point <= 0) {
        out += "0." + std::string(static_cast<std::size_t>(-point), '0') + digits;
    } else if (digits.size() <= static_cast<std::size_t>(point)) {
        out += digits + std::string(static_cast<std::size_t>(point) - digits.size(), '0');
    } else {
        out += digits.substr(0, static_cast<std::size_t>(point)) + "." +
               digits.substr(static_cast<std::size_t>(point));
    }
    return out;
}

std::string FormatConfigLine(const ConfigValues& values) {
    std::string line;
    auto field = [&line](const std::string& text) {
        line += text;
        line += ',';
    };
    field(TextField(values.fileLocation));
    field(rtl::Decimal(values.latDeg));
    field(rtl::Decimal(values.latMin));
    field(FormatConfigSeconds(values.latSec));
    field(rtl::Decimal(values.lonDeg));
    field(rtl::Decimal(values.lonMin));
    field(FormatConfigSeconds(values.lonSec));
    field(rtl::Decimal(values.latHem));
    field(rtl::Decimal(values.lonHem));
    field(TextField(values.callsign));
    field(TextField(values.validation));
    field(rtl::Decimal(values.interval));
    if (values.model) field(WithoutLineEnds(*values.model));
    field(TextField(values.serverName));
    field(TextField(values.serverPort));
    field(Flag(values.autoServer));
    field(Flag(values.minimized));
    line += Flag(values.autoStart);
    const std::string port = TextField(values.stationPort), height = TextField(values.stationHeight),
                      key = TextField(values.stationKey);
    if (values.stationListen || port != "8080" || !height.empty() || !key.empty())
        line += "," + kStationTag + Flag(values.stationListen) + "," + port + "," + height + "," + key;
    return line;
}

ConfigReading ParseConfigText(const std::string& content, const std::vector<std::string>& modelEntries) {
    ConfigReading out;
    std::string rest = content.substr(0, content.find_first_of("\r\n"));

    out.fileLocation = FieldOf(rest);

    auto integer = [&rest](std::optional<int>& into) {
        Advance(rest);
        return ReadInteger(FieldOf(rest), into);
    };
    auto seconds = [&rest](std::optional<long double>& into) {
        Advance(rest);
        return ReadSeconds(FieldOf(rest), into);
    };
    auto text = [&rest](std::optional<std::string>& into) {
        Advance(rest);
        into = FieldOf(rest);
    };

    if (!integer(out.latDeg) || !integer(out.latMin) || !seconds(out.latSec)) return out;
    if (!integer(out.lonDeg) || !integer(out.lonMin) || !seconds(out.lonSec)) return out;
    if (!integer(out.latHem) || !integer(out.lonHem)) return out;
    text(out.callsign);
    text(out.validation);
    if (!integer(out.interval)) return out;

    // The station model: consumed only when it names an entry.
    Advance(rest);
    int selected = -1;
    for (std::size_t i = 0; i < modelEntries.size(); ++i) {
        const std::string& entry = modelEntries[i];
        if (rest.size() > entry.size() && rest[entry.size()] == ',' && rest.compare(0, entry.size(), entry) == 0)
            selected = static_cast<int>(i);
    }
    out.modelIndex = selected;
    if (selected >= 0)
        rest = rest.substr(modelEntries[static_cast<std::size_t>(selected)].size() + 1, kRemainderLimit);

    out.serverName = FieldOf(rest);
    text(out.serverPort);

    Advance(rest);
    out.autoServer = FieldOf(rest) == "Y";

    Advance(rest);
    rest = rtl::Trimmed(rest);
    out.minimized = FieldOf(rest) == "Y";

    Advance(rest);
    rest = rtl::Trimmed(rest);
    // Receiving from the station follows the autostart flag, after its tag.
    const std::size_t comma = rest.find(',');
    const bool station = comma != std::string::npos && rest.compare(comma + 1, kStationTag.size(), kStationTag) == 0;
    out.autoStart = (station ? rtl::Trimmed(rest.substr(0, comma)) : rest) == "Y";
    if (!station) return out;
    rest = rest.substr(comma + 1 + kStationTag.size(), kRemainderLimit);
    out.stationListen = FieldOf(rest) == "Y";
    Advance(rest);
    out.stationPort = rtl::Trimmed(FieldOf(rest));
    Advance(rest);
    out.stationHeight = rtl::Trimmed(FieldOf(rest));
    Advance(rest);
    out.stationKey = rtl::Trimmed(rest);
    return out;
}

}  // namespace config
