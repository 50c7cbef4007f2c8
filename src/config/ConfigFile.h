// The configuration file: a one-line copy of the station settings beside the
// executable, written at every save and read back only where the registry
// cannot be written.
//
// The line holds, each followed by one comma except the last:
//   report file path, latitude degrees, minutes, seconds, longitude degrees,
//   minutes, seconds, latitude hemisphere, longitude hemisphere, callsign,
//   validation number, interval, [station model,] server name, server port,
//   automatic servers (Y/N), minimized start (Y/N), autostart (Y/N)
//   [, "Station", receiving from the station (Y/N), its port, its height, its key]
// The station model and its comma are there only when a model is selected;
// the four fields of receiving from the station only when they are not the
// defaults (off, port 8080, no height, no key), so a file of an owner who
// never turned it on stays as earlier versions wrote it.
// There is no quoting: a comma inside a text is read as a separator.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace config {

// The settings the file holds, as the controls give them. FormatConfigLine
// does all the trimming, so pass the controls' text as it is.
struct ConfigValues {
    // Written trimmed (leading and trailing blanks and control characters
    // removed); a CR or LF left inside is dropped too, so the file stays one
    // line.
    std::string fileLocation;
    int latDeg = 0, latMin = 0;
    long double latSec = 0;  // written by FormatConfigSeconds
    int lonDeg = 0, lonMin = 0;
    long double lonSec = 0;
    int latHem = 0, lonHem = 0;  // selected index, -1 for none
    std::string callsign, validation;  // trimmed as fileLocation
    int interval = 10;
    // The text of the selected station model; none when nothing is selected
    // (the field and its comma are then left out). Written untrimmed, so it
    // compares equal to its entry when read back; only a CR or LF is dropped.
    std::optional<std::string> model;
    std::string serverName, serverPort;  // trimmed as fileLocation
    bool autoServer = true, minimized = false, autoStart = true;  // "Y" / "N"
    // Receiving from the station: on or off, the port and the height
    // (metres, "." as the decimal point) as text, the pinned key (last, so
    // the rest of the line is the key). Texts written as fileLocation.
    bool stationListen = false;
    std::string stationPort = "8080", stationHeight, stationKey;
};

// The line written for these settings (no line end). Integers are plain
// decimal with "-" when negative.
std::string FormatConfigLine(const ConfigValues& values);

// Seconds in the general number format: the value rounded to 15 significant
// digits, trailing zeros and a bare decimal point dropped, always with a full
// stop whatever the user's locale: "12.5", "45", "59.999", "0", "-0.25".
// Fixed notation from 0.0001 up to 15 integer digits; beyond that scientific
// with an "E" and a plain exponent ("1E-5", "1.5E20"). A value that is not a
// finite number is written as "0" (the fields never read as one).
std::string FormatConfigSeconds(long double value);

// What reading a line gives, field by field in file order. Reading stops
// silently at the first number that does not convert: that field and every
// later one are left empty, and the controls keep what they have. Once the
// interval has been read, every later member is set.
//
// Numbers as read:
// - integers (degrees, minutes, hemispheres, interval): optional blanks
//   (spaces, tabs) around an optional sign and at least one decimal digit,
//   within the range of an int; nothing else (no hexadecimal prefix, no
//   decimal part, no digit separators). An empty field is no integer.
// - seconds: optional blanks around a decimal number with a full stop as
//   the decimal point (whatever the user's locale), an optional sign and an
//   optional exponent ("12.5", "45", ".5", "1.25E1"); no digit separators,
//   no "INF" or "NAN", nothing too large for a long double.
// The values are not clamped here: the controls clamp them when set.
struct ConfigReading {
    std::string fileLocation;  // always read
    std::optional<int> latDeg, latMin;
    std::optional<long double> latSec;
    std::optional<int> lonDeg, lonMin;
    std::optional<long double> lonSec;
    std::optional<int> latHem, lonHem;
    std::optional<std::string> callsign, validation;  // as read, untrimmed
    std::optional<int> interval;
    // The station model step: the index into the entries given to the reader
    // of the last entry (in list order) whose text, followed by a comma,
    // begins the rest of the line at the model's place, or -1 when none
    // does. For an entry without a comma that is the field equal to the
    // entry; an entry whose name holds commas (such as "WM918, WX-200") is
    // matched across the fields its name spans. With -1 nothing is consumed,
    // so a model name that names no entry is read as the server name and the
    // later fields shift by one.
    std::optional<int> modelIndex;
    std::optional<std::string> serverName, serverPort;  // as read, untrimmed
    // Automatic servers: the field equals "Y" exactly (no trimming, case
    // counting). Minimized: the field equals "Y" after the blanks and control
    // characters in front of it (and at the very end of the line) are
    // trimmed. Autostart: the whole rest of the line (up to the station's
    // tag where it follows) equals "Y" after the same trimming.
    std::optional<bool> autoServer, minimized, autoStart;
    // Receiving from the station, from the fields after the autostart flag
    // and the tag "Station"; a line without them reads as off on port 8080,
    // with no height and no key. On: the field equals "Y"; the key is the
    // rest of the line. Texts as read, trimmed.
    bool stationListen = false;
    std::string stationPort = "8080", stationHeight, stationKey;
};

// Reads the file's content: only its first line counts, up to the first CR
// or LF. modelEntries are the station list's entries in list order. The text
// after each comma is cut to 999 characters as it is taken up, so the fields
// beyond the first 999 characters after the path's comma are lost.
ConfigReading ParseConfigText(const std::string& content, const std::vector<std::string>& modelEntries);

}  // namespace config
