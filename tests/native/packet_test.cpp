// The APRS weather packet: station table, position digits and the composer.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

#include "rtl/Text.h"
#include "upload/Packet.h"
#include "upload/Report.h"

using namespace std::string_literals;
using upload::ComposePacket;
using upload::PacketSettings;

namespace {

const std::string kL1 = "Jan 05 2008 14:30";
const std::string kL2 = "180/005g010t065r000p000P000h55b10150";

// The settings of the worked example.
PacketSettings Example() {
    PacketSettings s;
    s.callsign = "CW1234";
    s.validation = "-1";
    s.latDeg = 51;
    s.latMin = 28;
    s.latSec = 30.0L;
    s.latHem = 0;
    s.lonDeg = 0;
    s.lonMin = 7;
    s.lonSec = 15.0L;
    s.lonHem = 0;
    s.modelIndex = 3;  // the index in the sorted list does not matter, the text does
    s.modelText = "Davis Vantage Pro";
    return s;
}

TEST(Packet, WorkedExamples) {
    EXPECT_EQ(ComposePacket(kL1, kL2, Example()),
              "CW1234>APRS,TCPXX*:@051430z5128.50N/00007.25W_180/005g010t065r000p000P000h55b10150v31\r\n");

    PacketSettings s = Example();
    s.latHem = 1;
    s.lonHem = 1;
    s.modelIndex = -1;
    s.modelText = "";
    EXPECT_EQ(ComposePacket(kL1, "180/005g010t065r000p000P000h100b9980", s),
              "CW1234>APRS,TCPXX*:@051430z5128.50S/00007.25E_180/005g010t065r000p000P000h00b09980v\r\n");
}

TEST(Packet, Header) {
    struct Case {
        std::string callsign, validation, header;
    };
    const Case cases[] = {
        {"CW1234", "-1", "CW1234>APRS,TCPXX*:"},
        {"CW1234", "  -1 ", "CW1234>APRS,TCPXX*:"},   // blanks around -1 still count as -1
        {"CW1234", "\t-1\r", "CW1234>APRS,TCPXX*:"},
        {"CW1234", "-01", "CW1234>APRS,TCPIP*:"},
        {"CW1234", "12345", "CW1234>APRS,TCPIP*:"},
        {"CW1234", "", "CW1234>APRS,TCPIP*:"},
        {"CW1234", "- 1", "CW1234>APRS,TCPIP*:"},
        {"", "-1", ">APRS,TCPXX*:"},                 // an empty callsign
        {"  N0CALL-13 ", "-1", "N0CALL-13>APRS,TCPXX*:"},
        {"N0\rCALL\n", "-1", "N0CALL>APRS,TCPXX*:"},  // no line break from the settings
        {"N0\0CALL"s, "-1", "N0CALL>APRS,TCPXX*:"},
    };
    for (const auto& c : cases) {
        PacketSettings s = Example();
        s.callsign = c.callsign;
        s.validation = c.validation;
        const std::string packet = ComposePacket(kL1, kL2, s);
        EXPECT_EQ(packet.substr(0, c.header.size() + 1), c.header + "@") << c.callsign << '|' << c.validation;
    }
}

TEST(Packet, HundredthsRoundHalfToEven) {
    const std::pair<long double, long long> cases[] = {
        {0, 0},     {30, 50},   {15, 25},   {3, 5},      // 3 s is exactly 5
        {1.5L, 2},  // 2.5 rounds to the even 2
        {4.5L, 8},  // 7.5 rounds to the even 8
        {7.5L, 12},  // 12.5 -> 12
        {10.5L, 18},  // 17.5 -> 18
        {0.6L, 1},  {0.299L, 0}, {0.301L, 1},
        {59.399L, 99}, {59.7L, 100}, {59.999L, 100}, {59.69L, 99},
        {60, 100},  {75, 125},
        {-1.5L, -2}, {-4.5L, -8},
        {1e30L, 1000000000000000LL}, {-1e30L, -1000000000000000LL},  // held, no overflow
        {NAN, 0},   {INFINITY, 1000000000000000LL},
    };
    for (const auto& [seconds, expected] : cases)
        EXPECT_EQ(upload::Hundredths(seconds), expected) << static_cast<double>(seconds);
}

TEST(Packet, PositionDigitsCarryRoundedSeconds) {
    struct Case {
        int deg, min;
        long double sec;
        std::string latitude, longitude;
    };
    const Case cases[] = {
        {51, 28, 30.0L, "5128.50", "05128.50"},
        {0, 7, 15.0L, "0007.25", "00007.25"},
        {51, 28, 59.8L, "5129.00", "05129.00"},   // rounds to 100 hundredths: one more minute
        {51, 28, 59.7L, "5129.00", "05129.00"},
        {51, 28, 59.69L, "5128.99", "05128.99"},
        {51, 59, 59.8L, "5200.00", "05200.00"},   // 59 minutes carry into the next degree
        {89, 59, 59.9L, "9000.00", "09000.00"},
        {90, 59, 59.9L, "9059.99", "09100.00"},   // no latitude past the pole
        {99, 59, 59.9L, "9959.99", "10000.00"},   // nor a wrap to 00
        {179, 59, 59.9L, "7959.99", "18000.00"},  // latitude keeps the last two digits
        {180, 59, 59.9L, "8059.99", "18059.99"},  // no longitude past the date line
        {180, 0, 59.9L, "8001.00", "18001.00"},   // a minute carry within the degree
        {123, 5, 0, "2305.00", "12305.00"},       // latitude 123 is sent as 23
        {5, 0, 0, "0500.00", "00500.00"},
        {200, 75, 0, "0075.00", "20075.00"},      // values typed but not yet clamped
        {10, 75, 59.9L, "1075.99", "01075.99"},   // no carry from outside the minutes' range
        {10, -1, 59.9L, "10-1.99", "010-1.99"},
        {-5, 0, 0, "-500.00", "0-500.00"},
        {0, 0, -3, "0000.-5", "00000.-5"},
        {10, 20, 75, "1020.25", "01020.25"},      // 125 hundredths keep their last two digits
        {INT_MAX, INT_MIN, 59.9L, "4748.99", "64748.99"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(upload::LatitudeDigits(c.deg, c.min, c.sec), c.latitude)
            << c.deg << ' ' << c.min << ' ' << static_cast<double>(c.sec);
        EXPECT_EQ(upload::LongitudeDigits(c.deg, c.min, c.sec), c.longitude)
            << c.deg << ' ' << c.min << ' ' << static_cast<double>(c.sec);
    }
}

TEST(Packet, PositionPieces) {
    PacketSettings s = Example();
    s.latDeg = 51;
    s.latMin = 28;
    s.latSec = 59.8L;
    s.lonDeg = 5;
    s.lonMin = 59;
    s.lonSec = 59.9L;
    s.latHem = -1;  // no selection
    s.lonHem = -1;
    EXPECT_NE(ComposePacket(kL1, kL2, s).find("z5129.00S/00600.00E_"), std::string::npos);
    s.latHem = 0;
    s.lonHem = 2;
    EXPECT_NE(ComposePacket(kL1, kL2, s).find("z5129.00N/00600.00E_"), std::string::npos);
}

TEST(Packet, WeatherPieces) {
    struct Case {
        std::string weather, pieces;  // pieces: from "_" to before "v"
    };
    const Case cases[] = {
        {"180/005g010t065r000p000P000h55b10150", "_180/005g010t065r000p000P000h55b10150"},
        {"t065h100b10150", "_t065h00b10150"},   // h100 gives h00
        {"t065h99b10150", "_t065h99b10150"},
        {"t065h5b10150", "_t065b10150"},       // a humidity that is not two digits: left out
        {"t065h055b10150", "_t065h55b10150"},  // or three
        {"t065h000b10150", "_t065b10150"},
        // After the pressure: solar radiation and snow in the order read, a
        // raw rain counter and a comment left out, a field cut short too.
        {"t065h55b10150L456", "_t065h55b10150L456"},
        {"t065h55b10150l234", "_t065h55b10150l234"},
        {"t065h55b10150L1000", "_t065h55b10150l000"},
        {"t065h55b10150L1801s001", "_t065h55b10150s001"},
        {"t065h55b9980s...L045", "_t065h55b09980L045"},
        {"t065h55b10150#045L456", "_t065h55b10150L456"},
        {"t065h55b10150 Davis VP2 on the barn roof", "_t065h55b10150"},
        {"t065h55b10150L234sunny", "_t065h55b10150L234"},
        {"t065h55b10150L45", "_t065h55b10150"},
        {"t065h55b9980", "_t065h55b09980"},
        {"t065h55b", "_t065h55"},              // nothing after "b"
        {"t065h55b10150x", "_t065h55b10150"},   // a comment after the pressure
        {"t065b10150", "_t065b10150"},         // no "h": no humidity
        {"100b10150", "_b10150"},              // figures of no field do not go out
        {"t065h55", "_t065h55"},               // no "b"
        {"", "_"},
        {"h", "_"},
        {"hb", "_"},
        {"bh55", "_"},                         // "b" before "h": a comment after it
        {"t065h55b" + std::string(2000, '1') + "23456", "_t065h55"},  // 1111.1 hPa
        // Every limit, just inside and just outside: outside goes out as dots.
        {"360/287g287t130r999p000P999h01b11000", "_360/287g287t130r999p000P999h01b11000"},
        {"000/000g000t-60h00b05680", "_000/000g000t-60h00b05680"},
        {"361/288g288t131h55b11001", "_.../...g...t...h55"},
        {"000/000t-61h55b05679", "_000/000t...h55"},
        {"180/005t150h55b05000", "_180/005t...h55"},
        {"c180s005g010t065h55b8000", "_c180s005g010t065h55b08000"},  // course and speed as marks
        {"c361s288t065h55b10150", "_c...s...t065h55b10150"},
        // Not numbers: dots of the field's width; dots stay dots.
        {"18a/0.5t6.5r1a0p-01P 00h5xb1O150", "_.../...t..."},  // rain, humidity, pressure left out
        {"t1a5h55b10150", "_t...h55b10150"},
        {"t05h55b10150", "_t...h55b10150"},     // too short
        {".../...g...t...r...h..b.....", "_.../...g...t..."},
        {"t065r...p010P...h..b10150", "_t065p010b10150"},  // only the unknown ones left out
        // Other fields pass as they stand; "s" is wind speed only after "c".
        {"t065L123s001#045h55b10150", "_t065L123s001#045h55b10150"},
        {"t065h55b10150   ", "_t065h55b10150"},  // blanks at the end
        // Control characters are taken out before the pieces are cut.
        {"t065\th55b10150\0\0\0"s, "_t065h55b10150"},
        {"t065h55b101\r\n50", "_t065h55b10150"},
        {"t065h\x01" "100b10150", "_t065h00b10150"},
        // Only printable ASCII from the report: bytes 0x80-0x9F and 0xA0-0xFF go too.
        {"t065\x80\x9f" "h55b\xa0" "10150\xff", "_t065h55b10150"},
        {"t065h\x85" "100b1015\xb0" "0", "_t065h00b10150"},
    };
    for (const auto& c : cases) {
        const std::string packet = ComposePacket(kL1, c.weather, Example());
        const std::size_t from = packet.find('_'), to = packet.rfind('v');
        ASSERT_NE(from, std::string::npos);
        ASSERT_NE(to, std::string::npos);
        EXPECT_EQ(packet.substr(from, to - from), c.pieces) << c.weather;
    }
}

TEST(Packet, EveryWritersReport) {
    // Each writer's form, from the report's bytes to the packet; and cut at
    // every length, as a report caught while being written: not whole, or
    // sent without its trailing fields, never with a value cut short.
    const std::string head = "CW1234>APRS,TCPXX*:@051427z5128.50N/00007.25W_", w = "180/005g010t065r000p000P000";
    const auto utf16 = [](const std::string& ascii) {
        std::string bytes = "\xFF\xFE";
        for (char c : ascii) bytes += std::string{c, '\0'};
        return bytes;
    };
    const auto packetOf = [](const std::string& bytes) {
        const upload::ReportLines lines = upload::ReadReportLines(bytes);
        const upload::WeatherReading weather = upload::ReadWeather(upload::WeatherText(lines.weather), lines.weatherEnded);
        return ComposePacket(lines.timestamp, weather, Example());
    };
    const std::pair<std::string, std::string> cases[] = {
        {"Dec 05 2008 14:27\r\n" + w + "h055b10150\r\n", w + "h55b10150"},
        {"Dec 05 2008 14:27\r\n" + w + "h55b10150L456", w + "h55b10150L456"},
        {"Dec 05 2008 14:27\r\n" + w + "h100b10150L1000\r\n", w + "h00b10150l000"},
        {"Dec 05 2008 14:27\n" + w + "h55b10150 Davis VP2 on the barn roof\n", w + "h55b10150"},
        {"d\xC3\xA9" "c. 05 2008 14:27\r\n" + w + "h55b10150\r\n", w + "h55b10150"},
        {"\xEF\xBB\xBF" "Dec 5 2008 2:27 PM\r\n" + w + "h55b10150\r\n", w + "h55b10150"},
        {utf16("Dec 05 2008 14:27:00\r\n" + w + "h000b9980s001L999\r\n"), w + "b09980s001L999"},
    };
    for (const auto& [report, weather] : cases) {
        const std::string whole = head + weather + "v31\r\n";
        EXPECT_EQ(packetOf(report), whole) << report;
        for (std::size_t n = 0; n < report.size(); ++n) {
            const std::string cut = report.substr(0, n);
            if (upload::ReportShape(cut) != upload::ReadingVerdict::Counts) continue;
            const std::string sent = packetOf(cut);
            const std::size_t end = sent.size() - 5;  // before "v31"
            EXPECT_TRUE(whole.compare(0, end, sent, 0, end) == 0 && std::string("Llsv").find(whole[end]) != std::string::npos)
                << sent << " from " << cut;
        }
    }
}

TEST(Packet, WeatherInPlainWords) {
    // In both unit systems, what was not sent marked with the value read;
    // and what the log says of each field not sent.
    struct Case {
        std::string weather, metric, us, rejected;
        bool anyValue = true;
    };
    const Case cases[] = {
        {kL2, "18.3 \xC2\xB0" "C \xC2\xB7 55 % \xC2\xB7 1015.0 hPa \xC2\xB7 wind S 8 km/h, gusts 16 \xC2\xB7 rain 0.0 mm/h",
         "65 \xC2\xB0" "F \xC2\xB7 55 % \xC2\xB7 29.97 inHg \xC2\xB7 wind S 5 mph, gusts 10 \xC2\xB7 rain 0.00 in/h", ""},
        {"000/000g005t-05r012h00b9980", "-20.6 \xC2\xB0" "C \xC2\xB7 100 % \xC2\xB7 998.0 hPa \xC2\xB7 wind calm, gusts 8 km/h \xC2\xB7 rain 3.0 mm/h",
         "-5 \xC2\xB0" "F \xC2\xB7 100 % \xC2\xB7 29.47 inHg \xC2\xB7 wind calm, gusts 5 mph \xC2\xB7 rain 0.12 in/h", ""},
        {"400/005t150h5b05000", "65.6 \xC2\xB0" "C not sent \xC2\xB7 5 % not sent \xC2\xB7 500.0 hPa not sent \xC2\xB7 wind 400\xC2\xB0 not sent 8 km/h",
         "150 \xC2\xB0" "F not sent \xC2\xB7 5 % not sent \xC2\xB7 14.76 inHg not sent \xC2\xB7 wind 400\xC2\xB0 not sent 5 mph",
         "400 (wind direction) outside 0..360 degrees: sent as ...; t150 (temperature) outside -60..130 F: sent as t...; "
         "h5 (humidity) not a reading: left out; b05000 (pressure) outside 5680..11000 1/10 hPa: left out"},
        {"t6.5r1a0h55b.....", "temperature t6.5 not sent \xC2\xB7 55 % \xC2\xB7 rain last hour r1a0 not sent",
         "temperature t6.5 not sent \xC2\xB7 55 % \xC2\xB7 rain last hour r1a0 not sent",
         "t6.5 (temperature) not a reading: sent as t...; r1a0 (rain last hour) not a reading: left out"},
        {".../...g...t...h..b.....", "", "", "", false},
        {"t1a5h..b.....", "temperature t1a5 not sent", "temperature t1a5 not sent",
         "t1a5 (temperature) not a reading: sent as t...", false},
        {"t-5 h55", "temperature t-5 not sent \xC2\xB7 55 %", "temperature t-5 not sent \xC2\xB7 55 %",
         "t-5 (temperature) not a reading: sent as t..."},
        {"t065b10150L456", "18.3 \xC2\xB0" "C \xC2\xB7 1015.0 hPa \xC2\xB7 sun 456 W/m\xC2\xB2",
         "65 \xC2\xB0" "F \xC2\xB7 29.97 inHg \xC2\xB7 sun 456 W/m\xC2\xB2", ""},
    };
    for (const Case& c : cases) {
        const upload::WeatherReading r = upload::ReadWeather(c.weather);
        EXPECT_EQ(upload::DescribeWeather(r, upload::Units::Metric), c.metric) << c.weather;
        EXPECT_EQ(upload::DescribeWeather(r, upload::Units::US), c.us) << c.weather;
        std::string rejected;
        for (const std::string& text : upload::WeatherRejections(r)) rejected += (rejected.empty() ? "" : "; ") + text;
        EXPECT_EQ(rejected, c.rejected) << c.weather;
        EXPECT_EQ(r.AnyValue(), c.anyValue) << c.weather;
    }
}

TEST(Packet, TimeStampPieces) {
    const std::pair<std::string, std::string> cases[] = {
        {"Jan 05 2008 14:30", "@051430z"},
        {"Jan 05 2008 14:3", "@05143z"},   // shorter lines give shorter pieces
        {"Jan 05 2008 14", "@0514z"},
        {"Jan 05", "@05z"},
        {"Jan", "@z"},
        {"", "@z"},
        {"Jan 05 2008 14:30:59 extra", "@051430z"},  // everything else is ignored
        {"Jan 05 2008 14:30\0"s, "@051430z"},
        // Cut at the fixed places first, then cleaned: a TAB or NUL in the
        // line moves nothing.
        {"Jan\t05 2008 14:30", "@051430z"},
        {"\tan 05\t2008\t14:30", "@051430z"},
        {"Jan 05 2008\0" "14\0" "30"s, "@051430z"},
        {"\0\0\0\0" "05\0\0\0\0\0\0" "14\0" "30"s, "@051430z"},
        {"Jan \t5 2008 1\0:3\x7f"s, "@513z"},  // inside a piece: dropped from it
        {"Jan \xff" "5 2008 \x9b" "4:3\x80", "@543z"},  // bytes above 127 alike
    };
    for (const auto& [line, pieces] : cases) {
        const std::string packet = ComposePacket(line, kL2, Example());
        const std::size_t at = packet.find('@');
        ASSERT_NE(at, std::string::npos);
        EXPECT_EQ(packet.substr(at, pieces.size()), pieces) << line;
        EXPECT_EQ(packet[at + pieces.size()], '5') << line;  // latitude follows
    }
}

TEST(Packet, StationTableAndCodes) {
    const auto& table = upload::StationTable();
    ASSERT_EQ(table.size(), 40u);
    const std::pair<int, std::string> named[] = {
        {1, "WM918, WX-200"},
        {2, "LaCrosse/WS2000"},
        {3, "WMR-918"},
        {4, "Davis Weather Wizzard III"},
        {5, "Davis Weather Monitor II"},
        {6, "Davis Vantage Pro Plus"},
        {8, "WMR-968, WMR-918H, WMR-918N, WMR-928"},
        {10, "Ultimeter 100/800/2000"},
        {20, "Rainwise WT-2000, WS-2000"},
        {26, "Dallas 1-wire"},
        {31, "Davis Vantage Pro"},
        {40, "Capricorn 2000"},
    };
    int nonEmpty = 0;
    for (const auto& name : table) nonEmpty += !name.empty();
    EXPECT_EQ(nonEmpty, 12);
    for (const auto& [slot, name] : named) {
        EXPECT_EQ(table[static_cast<std::size_t>(slot - 1)], name);
        EXPECT_EQ(upload::StationCode(0, name), rtl::Decimal(slot));
        PacketSettings s = Example();
        s.modelText = name;
        const std::string packet = ComposePacket(kL1, kL2, s);
        EXPECT_EQ(packet.substr(packet.size() - 2 - rtl::Decimal(slot).size() - 1),
                  "v" + rtl::Decimal(slot) + "\r\n");
    }
    EXPECT_EQ(upload::StationCode(-1, "Davis Vantage Pro"), "");  // no selection
    EXPECT_EQ(upload::StationCode(0, "davis vantage pro"), "");   // case-sensitive
    EXPECT_EQ(upload::StationCode(0, "Davis Vantage Pro "), "");
    EXPECT_EQ(upload::StationCode(0, "Unknown"), "");
    EXPECT_EQ(upload::StationCode(0, ""), "");                    // unused slots are no model
}

TEST(Packet, IsAlwaysOneLine) {
    // Every control character, in both lines and the callsign, at once.
    std::string dirt;
    for (int c = 0; c < 32; ++c) dirt += static_cast<char>(c);
    dirt += '\x7f';
    std::string high;  // and from the report, every byte above 127
    for (int c = 128; c < 256; ++c) high += static_cast<char>(c);
    PacketSettings s = Example();
    s.callsign = dirt + "CW" + dirt + "1234" + dirt;
    s.modelText = "Davis Vantage Pro\r\n";
    const std::string packet = ComposePacket(dirt + high + kL1 + dirt, dirt + kL2 + high + dirt, s);
    ASSERT_GE(packet.size(), 2u);
    EXPECT_EQ(packet.substr(packet.size() - 2), "\r\n");
    for (std::size_t i = 0; i + 2 < packet.size(); ++i)
        EXPECT_TRUE(packet[i] >= ' ' && packet[i] <= '~') << "byte " << int(packet[i]) << " at " << i;
    EXPECT_EQ(packet.rfind("CW1234>APRS,TCPXX*:@", 0), 0u);
    EXPECT_NE(packet.find("_180/005g010t065r000p000P000h55b10150v\r\n"), std::string::npos);
}

TEST(Packet, WhatMayGoOut) {
    // The packet's length, CR LF not counted, set by the weather line.
    const std::size_t base = ComposePacket(kL1, "h55b10150", Example()).size() - 2;
    const auto ofLength = [&](std::size_t length) {
        return ComposePacket(kL1, std::string(length - base, 'x') + "h55b10150", Example());
    };
    ASSERT_EQ(ofLength(510).size(), 512u);
    using upload::PacketFault;
    const struct Case {
        std::string callsign, packet;
        PacketFault fault;
        std::string validation = "-1";
    } cases[] = {
        {"CW1234", ofLength(510), PacketFault::None},
        {"CW1234", ofLength(511), PacketFault::TooLong},
        {"CW1234", ofLength(64 * 1024), PacketFault::TooLong},
        {"N0CALL-13", ofLength(100), PacketFault::None},
        {" \tCW1234\r\n", ofLength(100), PacketFault::None},  // trimmed first
        {"", ofLength(100), PacketFault::CallsignNotValid},
        {" \t ", ofLength(100), PacketFault::CallsignNotValid},
        {"CW 1234", ofLength(100), PacketFault::CallsignNotValid},
        {"CW>1234", ofLength(100), PacketFault::CallsignNotValid},
        {"CW:1234", ofLength(100), PacketFault::CallsignNotValid},
        {"CW,1234", ofLength(100), PacketFault::CallsignNotValid},
        {"CW*1234", ofLength(100), PacketFault::CallsignNotValid},
        {"CW\t1234", ofLength(100), PacketFault::CallsignNotValid},
        {"CW\x7f" "1234", ofLength(100), PacketFault::CallsignNotValid},
        {"CW\x85" "1234", ofLength(100), PacketFault::CallsignNotValid},
        {"CW1234\xe9", ofLength(100), PacketFault::CallsignNotValid},
        {"CW 1234", ofLength(511), PacketFault::CallsignNotValid},  // the callsign is told first
        // Validation numbers: -1 or one to five digits, blanks around them aside.
        {"CW1234", ofLength(100), PacketFault::None, " \t-1\r\n"},
        {"CW1234", ofLength(100), PacketFault::None, "32767 "},
        {"CW1234", ofLength(100), PacketFault::ValidationNotValid, ""},
        {"CW1234", ofLength(100), PacketFault::ValidationNotValid, "123456"},
        {"CW1234", ofLength(100), PacketFault::ValidationNotValid, "12,34"},
        {"CW1234", ofLength(100), PacketFault::ValidationNotValid, "1\xb2"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(upload::CheckPacket(c.callsign, c.validation, c.packet), c.fault) << c.callsign << c.validation;
}

}  // namespace
