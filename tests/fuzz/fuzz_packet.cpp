// The packet composer: whatever the report and the settings hold, the packet
// is one line ending in CR LF with the fixed pieces in place.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "rtl/SpinRules.h"
#include "rtl/Text.h"
#include "upload/Packet.h"
#include "upload/Report.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    upload::PacketSettings s;
    // The settings as the fields' text gives them, or as raw numbers.
    const char separator = in.ConsumeBool() ? '.' : ',';
    if (in.ConsumeBool()) {
        s.latDeg = rtl::ReadIntegerField(in.ConsumeRandomLengthString(12), 0);
        s.latMin = rtl::ReadIntegerField(in.ConsumeRandomLengthString(12), 0);
        s.latSec = rtl::ReadDecimalField(in.ConsumeRandomLengthString(24), separator);
        s.lonDeg = rtl::ReadIntegerField(in.ConsumeRandomLengthString(12), 0);
        s.lonMin = rtl::ReadIntegerField(in.ConsumeRandomLengthString(12), 0);
        s.lonSec = rtl::ReadDecimalField(in.ConsumeRandomLengthString(24), separator);
    } else {
        s.latDeg = in.ConsumeIntegral<int>();
        s.latMin = in.ConsumeIntegral<int>();
        s.latSec = in.ConsumeFloatingPoint<long double>();
        s.lonDeg = in.ConsumeIntegral<int>();
        s.lonMin = in.ConsumeIntegral<int>();
        s.lonSec = in.ConsumeFloatingPoint<long double>();
    }
    s.latHem = in.ConsumeIntegralInRange(-1, 1);
    s.lonHem = in.ConsumeIntegralInRange(-1, 1);
    s.callsign = in.ConsumeRandomLengthString(16);
    s.validation = in.ConsumeRandomLengthString(8);
    s.modelIndex = in.ConsumeIntegralInRange(-1, 11);
    const auto& table = upload::StationTable();
    s.modelText = in.ConsumeBool() ? table[in.ConsumeIntegralInRange<std::size_t>(0, table.size() - 1)]
                                   : in.ConsumeRandomLengthString(40);
    const upload::ReportLines lines = upload::ReadReportLines(in.ConsumeRemainingBytesAsString());

    const std::string packet = upload::ComposePacket(lines.timestamp, lines.weather, s);

    Check(packet.size() >= 2 && packet.compare(packet.size() - 2, 2, "\r\n") == 0);
    for (std::size_t i = 0; i + 2 < packet.size(); ++i) Check(!rtl::IsControl(packet[i]));
    const std::string header = rtl::WithoutControls(rtl::Trimmed(s.callsign)) + ">APRS,TCP" +
                               (rtl::Trimmed(s.validation) == "-1" ? "XX*:@" : "IP*:@");
    Check(packet.compare(0, header.size(), header) == 0);
    // After the header only printable ASCII, whatever the report holds.
    for (std::size_t i = header.size(); i + 2 < packet.size(); ++i) Check(packet[i] >= ' ' && packet[i] <= '~');
    // Refused for exactly these reasons.
    const std::string sent = rtl::Trimmed(s.callsign);
    const bool callsignValid =
        !sent.empty() && sent.find_first_of(" >:,*") == std::string::npos &&
        std::all_of(sent.begin(), sent.end(), [](char c) { return c > ' ' && c <= '~'; });
    // The validation number: -1, or one to five digits.
    const std::string number = rtl::Trimmed(s.validation);
    const bool validationValid =
        number == "-1" || (!number.empty() && number.size() <= 5 &&
                           std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }));
    const upload::PacketFault fault = upload::CheckPacket(s.callsign, s.validation, packet);
    Check(fault == (!callsignValid                ? upload::PacketFault::CallsignNotValid
                    : !validationValid            ? upload::PacketFault::ValidationNotValid
                    : packet.size() - 2 > 510     ? upload::PacketFault::TooLong
                                                  : upload::PacketFault::None));
    // Position: DDMM.hh, a hemisphere, "/", DDDMM.hh, a hemisphere, "_".
    const std::string position = upload::LatitudeDigits(s.latDeg, s.latMin, s.latSec) +
                                 (s.latHem == 0 ? "N/" : "S/") +
                                 upload::LongitudeDigits(s.lonDeg, s.lonMin, s.lonSec) +
                                 (s.lonHem == 0 ? "W_" : "E_");
    Check(position.size() == 19);
    Check(packet.find("z" + position) != std::string::npos);
    const std::string code = upload::StationCode(s.modelIndex, s.modelText);
    Check(packet.compare(packet.size() - 3 - code.size(), code.size() + 3, "v" + code + "\r\n") == 0);
    // Nothing grows beyond its source: the weather pieces come from line 2,
    // a field cut short going out as dots of its width (at most three for
    // its mark).
    Check(packet.size() <= header.size() + 7 + position.size() + 4 * lines.weather.size() + code.size() + 3);
    // Rain, humidity and pressure go out with a value or not at all: never
    // as dots, which parsers take for comment text.
    const std::size_t weatherFrom = packet.find("z" + position, header.size()) + 1 + position.size();
    const std::string weather = packet.substr(weatherFrom, packet.size() - 3 - code.size() - weatherFrom);
    for (std::size_t i = 0; i + 1 < weather.size(); ++i)
        Check(std::string("rpPhb").find(weather[i]) == std::string::npos || weather[i + 1] != '.');
    return 0;
}
