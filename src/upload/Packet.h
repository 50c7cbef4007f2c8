// The APRS weather packet: the station model table, the settings read at the
// moment of composing, and the composer itself.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "upload/ReportTime.h"
#include "upload/Weather.h"

namespace upload {

// Station model names by slot 1..40 (index 0 is slot 1); empty = unused slot.
// The slot number is the station code sent in the packet.
inline constexpr int kStationSlots = 40;
const std::array<std::string, kStationSlots>& StationTable();

// The settings the composer reads, as the window's controls give them.
struct PacketSettings {
    std::string callsign;    // Callsign, untrimmed
    std::string validation;  // Validation, untrimmed
    int latDeg = 0, latMin = 0;
    long double latSec = 0;
    int latHem = 0;  // 0 Northern, other (1, -1) Southern
    int lonDeg = 0, lonMin = 0;
    long double lonSec = 0;
    int lonHem = 0;           // 0 Western, other Eastern
    int modelIndex = -1;      // ComboBox1 selection index; -1 = none
    std::string modelText;    // text of the selected item
};

// Builds the packet from the timestamp line, the weather line and the
// settings: one line ending in CR LF. Never fails; missing characters give
// shorter pieces. Of the lines only printable ASCII (blank to "~") reaches
// the packet, and no control character of the callsign: the day, hour and
// minute are read from the timestamp line by its shape, or cut from their
// fixed places and then cleaned (PacketTime); the weather line is cleaned, then read field by field
// (ReadWeather), and goes out as judged: implausible wind, gust and
// temperature as dots, optional fields not known left out, the humidity and
// the pressure last. Whether the packet may go out is CheckPacket's to say.
std::string ComposePacket(const std::string& timestampLine, const std::string& weatherLine,
                          const PacketSettings& settings);
// The same from a weather line already read.
std::string ComposePacket(const std::string& timestampLine, const WeatherReading& weather,
                          const PacketSettings& settings);
// The same with the time stamp given as the day, hour and minute (in UTC).
std::string ComposePacket(const ReportStamp& stamp, const WeatherReading& weather, const PacketSettings& settings);
// Only printable ASCII, blank to "~", of a text read from the report.
std::string PrintableAscii(const std::string& text);

// Seconds as hundredths of a minute: seconds * 100 / 60 in long double,
// rounded to the nearest integer, an exact half to the even one (1.5 s -> 2,
// 4.5 s -> 8). Held within +-1e15 (a NaN gives 0).
long long Hundredths(long double seconds);

// The position as the packet writes it, without hemisphere: latitude
// "DDMM.hh", longitude "DDDMM.hh". Degrees and minutes keep their last two
// (three) digits as written in decimal, so latitude 123 degrees is sent as 23.
// Seconds that round to 100 hundredths carry into the minutes, and 60 minutes
// into the degrees (28' 59.8" -> 29.00); the carry never takes the degrees
// past the pole or the date line (90, 180) or the minutes past 59: there the
// hundredths stay at 99 instead (89 59 59.8 -> 9000.00, 90 59 59.8 -> 9059.99).
std::string LatitudeDigits(int degrees, int minutes, long double seconds);
std::string LongitudeDigits(int degrees, int minutes, long double seconds);

// The station code of the model selection: the slot number of the first
// StationTable slot equal to modelText (exact, case-sensitive); empty text when
// nothing is selected or no named slot matches.
std::string StationCode(int modelIndex, const std::string& modelText);

// The longest packet APRS-IS passes on, CR LF not counted: its servers drop
// lines over 512 bytes.
inline constexpr std::size_t kMaxPacketLength = 510;

// Why a composed packet must not go out.
enum class PacketFault {
    None,
    // The callsign, trimmed, is empty or holds a blank, ">", ":", ",", "*"
    // or anything else than printable ASCII: it would reshape the login
    // line or the packet's header.
    CallsignNotValid,
    // The validation number, trimmed, is neither "-1" nor one to five
    // digits: a blank would add words to the login line, and APRS-IS takes
    // nothing else.
    ValidationNotValid,
    TooLong,  // longer than kMaxPacketLength before its CR LF
};

// Whether the callsign can head the login line and the packet as it is.
bool IsValidCallsign(const std::string& callsign);

// Whether the validation number can go into the login line: "-1" or one to
// five decimal digits, blanks and control characters around them aside.
bool IsValidValidation(const std::string& validation);

// The first fault of a packet composed for this callsign and validation
// number (checked in that order, then the length), or None.
PacketFault CheckPacket(const std::string& callsign, const std::string& validation, const std::string& packet);

}  // namespace upload
