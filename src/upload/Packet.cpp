#include "upload/Packet.h"

#include <cmath>

#include "rtl/Text.h"
#include "upload/Report.h"

namespace upload {

using rtl::Decimal;
using rtl::Last;

const std::array<std::string, kStationSlots>& StationTable() {
    static const std::array<std::string, kStationSlots> table = [] {
        std::array<std::string, kStationSlots> t;
        auto slot = [&t](int number, const char* name) { t[static_cast<std::size_t>(number - 1)] = name; };
        slot(1, "WM918, WX-200");
        slot(2, "LaCrosse/WS2000");
        slot(3, "WMR-918");
        slot(4, "Davis Weather Wizzard III");
        slot(5, "Davis Weather Monitor II");
        slot(6, "Davis Vantage Pro Plus");
        slot(8, "WMR-968, WMR-918H, WMR-918N, WMR-928");
        slot(10, "Ultimeter 100/800/2000");
        slot(20, "Rainwise WT-2000, WS-2000");
        slot(26, "Dallas 1-wire");
        slot(31, "Davis Vantage Pro");
        slot(40, "Capricorn 2000");
        return t;
    }();
    return table;
}

long long Hundredths(long double seconds) {
    long double h = seconds * 100.0L / 60.0L;
    if (std::isnan(h)) return 0;
    const long double limit = 1e15L;
    if (h > limit) h = limit;
    if (h < -limit) h = -limit;
    long double whole = std::floor(h);
    const long double fraction = h - whole;
    if (fraction > 0.5L || (fraction == 0.5L && std::fmod(whole, 2.0L) != 0)) whole += 1;
    return static_cast<long long>(whole);
}

namespace {

// "DDMM.hh" with degreeDigits digits of degrees; see LatitudeDigits.
std::string PositionDigits(long long degrees, long long minutes, long double seconds, int degreeDigits,
                           long long maxDegrees) {
    long long hundredths = Hundredths(seconds);
    if (hundredths == 100) {
        if (minutes >= 0 && minutes < 59) {
            ++minutes;
            hundredths = 0;
        } else if (minutes == 59 && degrees >= 0 && degrees < maxDegrees) {
            ++degrees;
            minutes = 0;
            hundredths = 0;
        } else {
            hundredths = 99;  // at the pole or the date line: no carry past it
        }
    }
    return Last(std::string(static_cast<std::size_t>(degreeDigits), '0') + Decimal(degrees), degreeDigits) +
           Last("00" + Decimal(minutes), 2) + "." + Last("00" + Decimal(hundredths), 2);
}

}  // namespace

std::string LatitudeDigits(int degrees, int minutes, long double seconds) {
    return PositionDigits(degrees, minutes, seconds, 2, 90);
}

std::string LongitudeDigits(int degrees, int minutes, long double seconds) {
    return PositionDigits(degrees, minutes, seconds, 3, 180);
}

std::string StationCode(int modelIndex, const std::string& modelText) {
    if (modelIndex == -1 || modelText.empty()) return {};
    const auto& table = StationTable();
    for (int slot = 1; slot <= kStationSlots; ++slot)
        if (table[static_cast<std::size_t>(slot - 1)] == modelText) return Decimal(slot);
    return {};
}

std::string PrintableAscii(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c >= ' ' && c <= '~') out += c;
    return out;
}

std::string ComposePacket(const std::string& timestampLine, const std::string& weatherLine,
                          const PacketSettings& settings) {
    return ComposePacket(timestampLine, ReadWeather(WeatherText(weatherLine)), settings);
}

namespace {

std::string Compose(const std::string& time, const WeatherReading& weather, const PacketSettings& settings) {
    // Nothing but printable ASCII from the report reaches the packet, and
    // no control character from the settings, so it stays one line that
    // servers and other stations read alike. The weather goes out as its
    // fields were judged, humidity and pressure last but for what follows
    // the pressure. The validation and the model text only choose between
    // fixed pieces.
    std::string packet;
    packet += rtl::WithoutControls(rtl::Trimmed(settings.callsign));
    packet += ">APRS,TCP";
    packet += rtl::Trimmed(settings.validation) == "-1" ? "XX*:" : "IP*:";
    packet += "@";
    packet += time;
    packet += "z";
    packet += LatitudeDigits(settings.latDeg, settings.latMin, settings.latSec);
    packet += settings.latHem == 0 ? "N/" : "S/";
    packet += LongitudeDigits(settings.lonDeg, settings.lonMin, settings.lonSec);
    packet += settings.lonHem == 0 ? "W" : "E";
    packet += "_";
    packet += weather.Notation();
    packet += "v";
    packet += StationCode(settings.modelIndex, settings.modelText);
    return packet + "\r\n";
}

}  // namespace

std::string ComposePacket(const std::string& timestampLine, const WeatherReading& weather,
                          const PacketSettings& settings) {
    return Compose(PacketTime(timestampLine), weather, settings);
}

std::string ComposePacket(const ReportStamp& stamp, const WeatherReading& weather, const PacketSettings& settings) {
    return Compose(PacketTime(stamp), weather, settings);
}

bool IsValidCallsign(const std::string& callsign) {
    const std::string sent = rtl::Trimmed(callsign);
    if (sent.empty()) return false;
    for (char c : sent)
        if (c <= ' ' || c > '~' || c == '>' || c == ':' || c == ',' || c == '*') return false;
    return true;
}

bool IsValidValidation(const std::string& validation) {
    const std::string sent = rtl::Trimmed(validation);
    if (sent == "-1") return true;
    if (sent.empty() || sent.size() > 5) return false;
    for (char c : sent)
        if (c < '0' || c > '9') return false;
    return true;
}

PacketFault CheckPacket(const std::string& callsign, const std::string& validation, const std::string& packet) {
    if (!IsValidCallsign(callsign)) return PacketFault::CallsignNotValid;
    if (!IsValidValidation(validation)) return PacketFault::ValidationNotValid;
    const std::size_t lineEnd = packet.size() >= 2 && packet.compare(packet.size() - 2, 2, "\r\n") == 0 ? 2 : 0;
    if (packet.size() - lineEnd > kMaxPacketLength) return PacketFault::TooLong;
    return PacketFault::None;
}

}  // namespace upload
