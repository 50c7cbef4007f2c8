// The configuration file's reader on any bytes, and settings written and
// read back wherever the format can carry them.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "config/ConfigFile.h"
#include "rtl/Text.h"
#include "upload/Packet.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

const std::vector<std::string>& Models() {
    static const std::vector<std::string> models = [] {
        std::vector<std::string> names;
        for (const std::string& name : upload::StationTable())
            if (!name.empty()) names.push_back(name);
        std::sort(names.begin(), names.end());
        return names;
    }();
    return models;
}

bool HoldsSeparator(const std::string& text) { return text.find_first_of(",\r\n") != std::string::npos; }

// Whatever the bytes, the reading keeps its shape.
void CheckReading(const std::string& bytes) {
    const config::ConfigReading r = config::ParseConfigText(bytes, Models());

    Check(bytes.compare(0, r.fileLocation.size(), r.fileLocation) == 0);
    Check(!HoldsSeparator(r.fileLocation));
    for (const auto* text : {&r.callsign, &r.validation, &r.serverName, &r.serverPort})
        Check(!*text || !HoldsSeparator(**text));
    if (r.modelIndex) Check(*r.modelIndex >= -1 && *r.modelIndex < static_cast<int>(Models().size()));

    // Fields are read in order: once one is missing, every later one is.
    const bool present[] = {r.latDeg.has_value(),    r.latMin.has_value(),     r.latSec.has_value(),
                            r.lonDeg.has_value(),    r.lonMin.has_value(),     r.lonSec.has_value(),
                            r.latHem.has_value(),    r.lonHem.has_value(),     r.callsign.has_value(),
                            r.validation.has_value(), r.interval.has_value(),  r.modelIndex.has_value(),
                            r.serverName.has_value(), r.serverPort.has_value(), r.autoServer.has_value(),
                            r.minimized.has_value(),  r.autoStart.has_value()};
    for (std::size_t i = 1; i < std::size(present); ++i) Check(present[i - 1] || !present[i]);
    Check(r.callsign.has_value() == r.lonHem.has_value());
    Check(r.autoStart.has_value() == r.interval.has_value());

    // Only the first line counts.
    const std::size_t end = bytes.find_first_of("\r\n");
    if (end != std::string::npos) {
        const config::ConfigReading first = config::ParseConfigText(bytes.substr(0, end), Models());
        Check(first.fileLocation == r.fileLocation && first.interval == r.interval && first.serverName == r.serverName &&
              first.autoStart == r.autoStart);
    }
}

// Text the reader gives back as written: no comma inside.
std::string TextFrom(FuzzedDataProvider& data) {
    std::string text = data.ConsumeRandomLengthString(40);
    std::replace(text.begin(), text.end(), ',', ';');
    return text;
}

std::string AsWritten(const std::string& text) {
    std::string out;
    for (char c : rtl::Trimmed(text))
        if (c != '\r' && c != '\n') out += c;
    return out;
}

// Settings written and read back.
void CheckRoundTrip(FuzzedDataProvider& data) {
    config::ConfigValues v;
    v.fileLocation = TextFrom(data);
    v.latDeg = data.ConsumeIntegral<int>();
    v.latMin = data.ConsumeIntegral<int>();
    v.latSec = data.ConsumeFloatingPoint<double>();
    v.lonDeg = data.ConsumeIntegral<int>();
    v.lonMin = data.ConsumeIntegral<int>();
    v.lonSec = data.ConsumeIntegralInRange<int>(0, 59999) / 1000.0L;
    v.latHem = data.ConsumeIntegralInRange<int>(-1, 1);
    v.lonHem = data.ConsumeIntegral<int>();
    v.callsign = TextFrom(data);
    v.validation = TextFrom(data);
    v.interval = data.ConsumeIntegral<int>();
    const int model = data.ConsumeIntegralInRange<int>(-1, static_cast<int>(Models().size()) - 1);
    if (model >= 0) v.model = Models()[static_cast<std::size_t>(model)];
    v.serverName = TextFrom(data);
    v.serverPort = TextFrom(data);
    v.autoServer = data.ConsumeBool();
    v.minimized = data.ConsumeBool();
    v.autoStart = data.ConsumeBool();
    v.stationListen = data.ConsumeBool();
    v.stationPort = TextFrom(data);
    v.stationHeight = TextFrom(data);
    v.stationKey = data.ConsumeRandomLengthString(40);  // the rest of the line: commas too

    const std::string line = config::FormatConfigLine(v);
    Check(line.find_first_of("\r\n") == std::string::npos);
    const config::ConfigReading r = config::ParseConfigText(line, Models());

    // The seconds keep their 15 significant digits: written again from
    // what was read, they give the same text.
    const std::string latSecText = config::FormatConfigSeconds(v.latSec);
    Check(r.latSec.has_value());
    Check(config::FormatConfigSeconds(*r.latSec) == latSecText);
    Check(*r.latSec == *r.latSec);
    if (std::fabs(v.latSec) >= 1e-300L && std::fabs(v.latSec) < 1e300L)
        Check(std::fabs(*r.latSec - v.latSec) <= std::fabs(v.latSec) * 1e-14L);

    Check(r.fileLocation == AsWritten(v.fileLocation));
    Check(r.latDeg == v.latDeg && r.latMin == v.latMin && r.lonDeg == v.lonDeg && r.lonMin == v.lonMin);
    Check(r.lonSec == v.lonSec);
    Check(r.latHem == v.latHem && r.lonHem == v.lonHem);
    Check(r.callsign == AsWritten(v.callsign) && r.validation == AsWritten(v.validation));
    Check(r.interval == v.interval);

    // The rest of the line after the path's comma is cut to 999 characters,
    // and with no model a server name that reads as a model shifts the
    // fields: there the format cannot carry the settings.
    const std::size_t rest = line.size() - (line.find(',') + 1);
    if (rest > 999) return;
    if (model < 0) {
        const std::string at = AsWritten(v.serverName) + "," + AsWritten(v.serverPort) + ",";
        for (const std::string& entry : Models())
            if (at.compare(0, entry.size() + 1, entry + ",") == 0) return;
    }
    Check(r.modelIndex == model);
    Check(r.serverName == AsWritten(v.serverName) && r.serverPort == AsWritten(v.serverPort));
    Check(r.autoServer == v.autoServer && r.minimized == v.minimized && r.autoStart == v.autoStart);
    // Receiving from the station, after the autostart flag; defaults when
    // nothing of it was written.
    const bool written = line.find(",Station,") != std::string::npos;
    Check(r.stationListen == v.stationListen);
    Check(r.stationPort == (written ? AsWritten(v.stationPort) : "8080"));
    Check(r.stationHeight == AsWritten(v.stationHeight) && r.stationKey == AsWritten(v.stationKey));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    CheckReading(bytes);
    FuzzedDataProvider provider(data, size);
    CheckRoundTrip(provider);
    return 0;
}
