// Taking a station's uploads: which requests are the owner's station's, and
// the latest reading made from them, as the two lines of a report.
#pragma once

#include <optional>
#include <string>

#include "rtl/Clock.h"
#include "station/HttpRequest.h"
#include "station/Reading.h"
#include "upload/Report.h"

namespace station {

// Whether an address (as text: "192.168.1.50", "fe80::1%3", "::ffff:10.0.0.2")
// lies on the local network: loopback (127/8, ::1), private (10/8,
// 172.16/12, 192.168/16), link-local (169.254/16, fe80::/10) or unique-local
// (fc00::/7). An IPv4 address written as IPv6 (::ffff:a.b.c.d) is judged as
// IPv4. Anything else, or text that is no address, is not.
bool IsLocalNetworkAddress(const std::string& address);

// A key as the dialog shows it: its last four characters after three dots
// ("...1A2B"); empty for an empty key.
std::string MaskedKey(const std::string& key);

// The settings the receiver works with.
struct ReceiverSettings {
    std::optional<double> heightMetres;  // the station's height above sea level, when given
    std::string pinnedKey;               // the station taken; empty: the next station's key is pinned
};

// What came of a request.
struct Taking {
    enum class Verdict {
        Taken,         // the owner's station: the reading is the latest
        NotLocal,      // the sender is not on the local network: closed without an answer
        FromBrowser,   // it carries Origin or Referer: a web page, never a station
        OtherStation,  // another key than the pinned one
        Unreadable,    // no station's upload in it
    };
    Verdict verdict = Verdict::Unreadable;
    int status = 400;        // the HTTP answer (Answer()); 0: close without one
    // Taken with no key pinned: the key to pin from now on. It is the whole
    // key, for the settings alone: never logged, and shown only as MaskedKey.
    std::string keyToPin;
};

// The latest reading taken, and what the dialog shows of it. Its lines are
// whole, as a report's lines with their line ends (weatherEnded).
struct StationReading {
    upload::ReportLines lines;     // line 1 the time received (UTC, "Dec 08 2026 14:27"), line 2 APRS weather
    rtl::TimePoint received{};     // when it was received
    std::string stationType;       // "GW2000A_V3.1.4", "EasyWeatherV1.4.4"...: stationtype or softwaretype
    std::string sender;            // the sender's address
    // The pressure is unknown because the station sends its station pressure
    // as the relative one (baromrelin equal to baromabsin) and no height is
    // given: the owner is asked for the station's height.
    bool pressureNeedsHeight = false;
};

// Takes the uploads of one station, one complete request at a time, and
// keeps what the latest reading needs of those before it (the gust's last 5
// minutes, the rain total's last 24 hours), within a fixed bound. A request
// is judged in this order: the sender's address, Origin or Referer, a key,
// the pinned key; only a taken request changes anything.
class Receiver {
public:
    Taking Take(const HttpRequest& request, const std::string& sender, rtl::TimePoint received,
                const ReceiverSettings& settings);

    // The latest reading taken, if any.
    const std::optional<StationReading>& Latest() const { return latest_; }
    // Forgets the readings and their history (receiving turned off, the
    // pinned station forgotten).
    void Clear();

private:
    std::optional<StationReading> latest_;
    ReadingHistory history_;
    std::string historyKey_;  // the station whose history it is
};

}  // namespace station
