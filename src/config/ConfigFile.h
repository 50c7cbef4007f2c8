// The configuration file: a one-line copy of the station settings beside the
// executable, written at every save and read back only where the registry
// cannot be written.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace config {

// The settings the file holds, as the controls give them.
struct ConfigValues {
    std::string fileLocation;
    int latDeg = 0, latMin = 0;
    long double latSec = 0;
    int lonDeg = 0, lonMin = 0;
    long double lonSec = 0;
    int latHem = 0, lonHem = 0;
    std::string callsign, validation;
    int interval = 10;
    // The text of the selected station model; none when nothing is selected.
    std::optional<std::string> model;
    std::string serverName, serverPort;
    bool autoServer = true, minimized = false, autoStart = true;
};

// The line written for these settings (no line end).
std::string FormatConfigLine(const ConfigValues& values);

// What reading a line gives, field by field in file order. Reading stops
// silently at the first number that does not convert: that field and every
// later one are left empty, and the controls keep what they have.
struct ConfigReading {
    std::string fileLocation;  // always read
    std::optional<int> latDeg, latMin;
    std::optional<long double> latSec;
    std::optional<int> lonDeg, lonMin;
    std::optional<long double> lonSec;
    std::optional<int> latHem, lonHem;
    std::optional<std::string> callsign, validation;
    std::optional<int> interval;
    // The station model step: the index into the entries given to the
    // reader of the last entry equal to the field, or -1 when none is.
    std::optional<int> modelIndex;
    std::optional<std::string> serverName, serverPort;
    std::optional<bool> autoServer, minimized, autoStart;
};

// Reads the file's content (only its first line counts). modelEntries are
// the station list's entries in list order.
ConfigReading ParseConfigText(const std::string& content, const std::vector<std::string>& modelEntries);

}  // namespace config
