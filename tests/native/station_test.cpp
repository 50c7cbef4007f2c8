// Receiving from a Wi-Fi station: requests read however they are cut, each form and quirk that real
// stations send turned into the report's two lines, the mapping's rules, and whose requests are taken.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "station/Reading.h"
#include "station/Receiver.h"

namespace {

using namespace std::chrono;
using station::RequestReader;
using State = station::RequestReader::State;
using Verdict = station::Taking::Verdict;

const rtl::TimePoint kDec8 = sys_days{2026y / 12 / 8} + 14h + 27min + 30s;

RequestReader Read(const std::string& bytes, std::size_t piece) {
    RequestReader reader;
    for (std::size_t i = 0; i < bytes.size(); i += piece)
        reader.Feed(bytes.data() + i, std::min(piece, bytes.size() - i));
    return reader;
}
std::string Post(const std::string& body, const char* length = "Content-Length: ") {
    return "POST /data/report/ HTTP/1.1\r\nHOST: 192.168.1.20\r\nConnection: Close\r\nContent-Type: "
           "application/x-www-form-urlencoded\r\n" + (length + std::to_string(body.size())) + " \r\n\r\n" + body;
}
std::string Get(const std::string& target, const char* version = "HTTP/1.1") {
    return "GET " + target + " " + version + "\r\nHost: 192.168.1.20\r\n\r\n";
}

const std::string kEcowitt =  // a WH2650's upload as captured, without a line end
    "PASSKEY=307826236D0133E06009CE7FAFBBAFC4&stationtype=WH2650A_V1.6.8&dateutc=2021-12-24+11:31:57&tempinf=66.0"
    "&humidityin=51&baromrelin=29.565&baromabsin=29.565&tempf=47.8&humidity=91&winddir=261&windspeedmph=8.95"
    "&windgustmph=14.76&maxdailygust=21.70&solarradiation=57.25&uv=0&rainratein=0.000&eventrainin=0.071"
    "&hourlyrainin=0.000&dailyrainin=0.012&weeklyrainin=0.110&monthlyrainin=1.421&yearlyrainin=24.256"
    "&totalrainin=24.256&temp1f=49.46&humidity1=98&wh65batt=0&freq=868M&model=WH2650";

TEST(Station, EachFormAndQuirkGivesItsTwoLines) {
    struct Case {
        std::string request;
        std::optional<double> height;
        const char *weather, *type;
        bool needsHeight = false;
    };
    const Case cases[] = {
        // The gateway form with no height: its relative pressure is the absolute one.
        {Post(kEcowitt, "Content-Length:"), {}, "261/009g015t048r000P001h91b.....L057", "WH2650A_V1.6.8", true},
        // ...with the height, the altimeter setting of 1001.2 hPa at 100 m.
        {Post(kEcowitt), 100.0, "261/009g015t048r000P001h91b10128L057", "WH2650A_V1.6.8"},
        // The Wunderground form, HTTP/1.0, %3A and %20; its rainin is the last hour.
        {Get("/weatherstation/updateweatherstation.php?ID=KCASANFR5&PASSWORD=XXXXXX&dateutc=2000-01-01+10%3A32%3A35"
             "&winddir=230&windspeedmph=12&windgustmph=12&tempf=70&rainin=0&baromin=29.1&humidity=90"
             "&softwaretype=vws%20versionxx&action=updateraw&realtime=1&rtfreq=30", "HTTP/1.0"),
         {}, "230/012g012t070r000h90b09854", "vws versionxx"},
        // Fields appended to the path; -0.4 F is 0, 100 % is "00"; an absolute pressure alone.
        {Get("/data/stationtype=GW1000&PASSKEY=AB12&tempf=-0.4&humidity=100&baromabsin=29.9"), {},
         ".../...g...t000h00b.....", "GW1000", true},
        // No path; a parameter without "="; names in any case, the last of a name counts.
        {Get("PASSKEY=AB12&rtfreq2.5&TempF=-5.5&Winddir=360&windspeedmph=0&tempf=-4.5&baromrelin=30.012+"), {},
         "360/000g...t-05b10163", ""},
        // Ambient's form, named by MAC; its hourlyrainin is a rate; rain rounded on the digits sent; "l000".
        {Get("/data/report/?MAC=00:0E:C6:00:07:10&stationtype=AMBWeatherV4.3.4&hourlyrainin=0.12&dailyrainin=1.005"
             "&last24hrainin=0.994&solarradiation=1000.4"),
         {}, ".../...g...t...p099P101b.....l000", "AMBWeatherV4.3.4"},
        // A piezo gauge alone takes the rain's places.
        {Get("/?PASSKEY=AB12&stationtype=GW2000A&drain_piezo=0.125&hrain_piezo=0.015&last24hrain_piezo=0.2"
             "&yrain_piezo=3.1&solarradiation=1800"), {}, ".../...g...t...r002p020P013b.....l800", "GW2000A"},
        // Unknown: nan, inf, -9999, a negative wind, 10,000 digits, a byte over 0x7E, empty, out of range.
        {Get("/?PASSKEY=AB12&tempf=nan&winddir=inf&humidity=-9999&windspeedmph=-3&windgustmph=" +
             std::string(10000, '9') + "&baromrelin=29.9%B0&dailyrainin=&solarradiation=1801&tempf=-100"),
         {}, ".../...g...t...b.....", ""},
    };
    for (const Case& c : cases)
        for (std::size_t piece : {c.request.size(), std::size_t{7}}) {
            SCOPED_TRACE(c.weather + (" in pieces of " + std::to_string(piece)));
            const RequestReader reader = Read(c.request, piece);
            ASSERT_EQ(reader.Current(), State::Complete);
            station::Receiver receiver;
            EXPECT_EQ(receiver.Take(reader.Request(), "192.168.1.50", kDec8, {c.height, ""}).status, 200);
            const station::StationReading& r = *receiver.Latest();
            EXPECT_EQ(r.lines, (upload::ReportLines{"Dec 08 2026 14:27", c.weather, true}));
            EXPECT_EQ(r.pressureNeedsHeight, c.needsHeight);
            EXPECT_EQ(r.stationType, c.type);
        }
}

// A station sending every minute or so.
TEST(Station, GustPeakAndRainFromTheTotal) {
    station::Receiver receiver;
    auto send = [&](seconds at, const std::string& fields) {
        receiver.Take(Read(Get("/data/report/?PASSKEY=AB12&" + fields), 4096).Request(), "10.0.0.2", kDec8 + at, {});
        return receiver.Latest()->lines.weather;
    };
    EXPECT_EQ(send(0s, "windgustmph=20"), ".../...g020t...b.....");
    EXPECT_EQ(send(180s, "windgustmph=5.4"), ".../...g020t...b.....");
    EXPECT_EQ(send(301s, "windgustmph=4"), ".../...g005t...b.....");  // 20 is 5 min 1 s old
    for (int minute = 11; minute <= 71; ++minute)  // 0.01 in a minute; the station's own until an hour is in
        EXPECT_EQ(send(minutes(minute), "totalrainin=" + std::to_string(1 + minute / 100.0) +
                                            "&hourlyrainin=0.33&last24hrainin=0.44"),
                  minute < 71 ? ".../...g...t...r033p044b....." : ".../...g...t...r060p044b.....") << minute;
    send(72min, "totalrainin=0.00");  // a total that falls was reset: what falls after it counts on
    EXPECT_EQ(send(73min, "totalrainin=0.05"), ".../...g...t...r063b.....");
    // A gap of more than ten minutes at the hour's start: the station's own again.
    EXPECT_EQ(send(160min, "totalrainin=0.07&rainin=0.02"), ".../...g...t...r002b.....");
}

TEST(Station, OnlyTheOwnersStationIsTaken) {
    for (const char* local : {"127.0.0.1", "10.1.2.3", "172.31.255.255", "192.168.1.50", "169.254.9.9", "::1",
                              "fe80::1%3", "[febf::1]", "fd12:3456::1", "::ffff:192.168.1.50", "0::ffff:10.0.0.1"})
        EXPECT_TRUE(station::IsLocalNetworkAddress(local)) << local;
    for (const char* remote : {"8.8.8.8", "172.32.0.1", "192.169.0.1", "169.255.0.1", "2001:db8::1", "fec0::1",
                               "::ffff:8.8.8.8", "::", "1.2.3", "256.1.1.1", "fe80::1::2", "", "localhost"})
        EXPECT_FALSE(station::IsLocalNetworkAddress(remote)) << remote;

    station::Receiver receiver;
    auto take = [&](const std::string& request, const std::string& pinned, const char* sender = "192.168.1.50") {
        return receiver.Take(Read(request, request.size()).Request(), sender, kDec8, {{}, pinned});
    };
    const std::string first = Get("/data/report/?PASSKEY=AB12CD34&tempf=70");
    EXPECT_EQ(take(first, "").keyToPin, "AB12CD34");
    EXPECT_EQ(take(first, "AB12CD34").keyToPin, "");
    EXPECT_EQ(station::MaskedKey("AB12CD34"), "...CD34");
    const std::tuple<std::string, const char*, Verdict, int> refused[] = {
        {Get("/data/report/?PASSKEY=FFFF0000&tempf=10"), "192.168.1.51", Verdict::OtherStation, 403},
        {Get("/data/report/?PASSKEY=AB12CD34&tempf=10"), "8.8.8.8", Verdict::NotLocal, 0},
        {"POST / HTTP/1.1\r\nOrigin: http://a.example\r\nContent-Length: 25\r\n\r\nPASSKEY=AB12CD34&tempf=10",
         "127.0.0.1", Verdict::FromBrowser, 403},
        {"GET /?PASSKEY=AB12CD34&tempf=10 HTTP/1.1\r\nreferer: http://a/\r\n\r\n", "::1", Verdict::FromBrowser, 403},
        {Get("/data/report/?tempf=10"), "192.168.1.50", Verdict::Unreadable, 400},
        {Get("/data/report/?PASSKEY=AB12,CD34&tempf=10"), "192.168.1.50", Verdict::Unreadable, 400},
    };
    for (const auto& [request, sender, verdict, status] : refused) {
        const station::Taking t = take(request, "AB12CD34", sender);
        EXPECT_EQ(std::pair(t.verdict, t.status), std::pair(verdict, status)) << request;
        EXPECT_EQ(receiver.Latest()->lines.weather, ".../...g...t070b.....") << request;  // unchanged
    }
}

TEST(Station, RequestsReadOrRefusedWithinTheBound) {
    const std::pair<std::string, State> cases[] = {
        {"GET /x HTTP/1.1\n\n", State::Complete},  // LF alone
        {Post("a=1").substr(0, 140), State::Reading},
        {"GET /data/report/?PASSKEY=AB12\r\n", State::Bad},  // no version: refused at once
        {"POST /x HTTP/1.1\r\nContent-Length: 16350\r\n\r\n", State::Bad},  // more than 16 KiB in all
        {std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11), State::Bad},  // TLS, say
        {"GET /" + std::string(20000, 'a'), State::Bad},
        {"GET /x HTTP/1.1\r\n\r\n" + std::string(20000, 'a'), State::Complete},  // what follows is not read
    };
    for (const auto& [bytes, state] : cases)
        for (std::size_t piece : {bytes.size(), std::size_t{1}, std::size_t{5000}}) {
            const RequestReader reader = Read(bytes, piece);
            EXPECT_EQ(reader.Current(), state) << bytes.substr(0, 60) << " in pieces of " << piece;
            EXPECT_LE(reader.Buffered(), station::kMaxRequestBytes);
        }
    EXPECT_EQ(station::Answer(200),
              "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 7\r\nConnection: close\r\n\r\nsuccess");
}

}  // namespace
