// The configuration file's line: how the settings are written, and how a
// line is read back field by field, including every way reading stops early.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "config/ConfigFile.h"
#include "rtl/Text.h"
#include "upload/Packet.h"

using namespace std::string_literals;
using config::ConfigReading;
using config::ConfigValues;
using config::FormatConfigLine;
using config::FormatConfigSeconds;
using config::ParseConfigText;

namespace {

const std::string kExample =
    "C:\\Weather\\wxreport.txt,51,30,12.5,0,7,45,0,0,N0CALL,-1,10,Davis Vantage Pro,,,Y,N,Y";
const std::string kExampleNoModel = "C:\\Weather\\wxreport.txt,51,30,12.5,0,7,45,0,0,N0CALL,-1,10,,,Y,N,Y";

// The station list as the window holds it: the named models, sorted.
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

int ModelIndex(const std::string& name) {
    const auto& models = Models();
    const auto at = std::find(models.begin(), models.end(), name);
    return at == models.end() ? -1 : static_cast<int>(at - models.begin());
}

ConfigValues ExampleValues() {
    ConfigValues v;
    v.fileLocation = "C:\\Weather\\wxreport.txt";
    v.latDeg = 51;
    v.latMin = 30;
    v.latSec = 12.5L;
    v.lonDeg = 0;
    v.lonMin = 7;
    v.lonSec = 45;
    v.latHem = 0;
    v.lonHem = 0;
    v.callsign = "N0CALL";
    v.validation = "-1";
    v.interval = 10;
    v.model = "Davis Vantage Pro";
    v.serverName = "";
    v.serverPort = "";
    v.autoServer = true;
    v.minimized = false;
    v.autoStart = true;
    return v;
}

// A reading as one text, "-" for a field left unread, so that a whole
// reading compares at once and a difference shows where it is.
std::string Describe(const ConfigReading& r) {
    std::string out = "[" + r.fileLocation + "]";
    auto add = [&out](const std::string& text) { out += "|" + text; };
    auto integer = [&](const std::optional<int>& v) { add(v ? std::to_string(*v) : "-"); };
    auto seconds = [&](const std::optional<long double>& v) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.17Lg", v ? *v : 0.0L);
        add(v ? buffer : "-");
    };
    auto text = [&](const std::optional<std::string>& v) { add(v ? "[" + *v + "]" : "-"); };
    auto flag = [&](const std::optional<bool>& v) { add(v ? (*v ? "Y" : "N") : "-"); };
    integer(r.latDeg);
    integer(r.latMin);
    seconds(r.latSec);
    integer(r.lonDeg);
    integer(r.lonMin);
    seconds(r.lonSec);
    integer(r.latHem);
    integer(r.lonHem);
    text(r.callsign);
    text(r.validation);
    integer(r.interval);
    integer(r.modelIndex);
    text(r.serverName);
    text(r.serverPort);
    flag(r.autoServer);
    flag(r.minimized);
    flag(r.autoStart);
    return out;
}

std::string Read(const std::string& content) { return Describe(ParseConfigText(content, Models())); }

// The reading expected of the example, with the station model's index.
std::string ExampleReading(int modelIndex) {
    return "[C:\\Weather\\wxreport.txt]|51|30|12.5|0|7|45|0|0|[N0CALL]|[-1]|10|" + std::to_string(modelIndex) +
           "|[]|[]|Y|N|Y";
}

TEST(ConfigFile, ExampleLineIsWrittenByteForByte) {
    ConfigValues v = ExampleValues();
    EXPECT_EQ(FormatConfigLine(v), kExample);
    v.model.reset();
    EXPECT_EQ(FormatConfigLine(v), kExampleNoModel);
}

TEST(ConfigFile, ExampleLineReadsBack) {
    ASSERT_GE(ModelIndex("Davis Vantage Pro"), 0);
    EXPECT_EQ(Read(kExample), ExampleReading(ModelIndex("Davis Vantage Pro")));
    EXPECT_EQ(Read(kExampleNoModel), ExampleReading(-1));
}

TEST(ConfigFile, TextFieldsAreTrimmedButTheModelIsNot) {
    ConfigValues v = ExampleValues();
    v.fileLocation = " \tC:\\Weather\\wxreport.txt \r\n";
    v.callsign = "  N0CALL\x7f";
    v.validation = "\x01-1 ";
    v.serverName = " rotate.aprs.net ";
    v.serverPort = "\t14580\t";
    v.model = " Davis ";
    EXPECT_EQ(FormatConfigLine(v),
              "C:\\Weather\\wxreport.txt,51,30,12.5,0,7,45,0,0,N0CALL,-1,10, Davis ,rotate.aprs.net,14580,Y,N,Y");

    // A line end inside a text would cut the line short where it is read
    // back: it is left out, and blanks and other characters inside stay.
    v = ExampleValues();
    v.callsign = "N0\r\nCALL";
    v.serverName = "my host\tname";
    v.model = "Davis Vantage Pro\n";
    EXPECT_EQ(FormatConfigLine(v),
              "C:\\Weather\\wxreport.txt,51,30,12.5,0,7,45,0,0,N0CALL,-1,10,Davis Vantage Pro,my host\tname,,Y,N,Y");
    EXPECT_EQ(Read(FormatConfigLine(v)), "[C:\\Weather\\wxreport.txt]|51|30|12.5|0|7|45|0|0|[N0CALL]|[-1]|10|" +
                                             std::to_string(ModelIndex("Davis Vantage Pro")) +
                                             "|[my host\tname]|[]|Y|N|Y");
}

TEST(ConfigFile, FlagsAndNegativeNumbers) {
    ConfigValues v = ExampleValues();
    v.autoServer = false;
    v.minimized = true;
    v.autoStart = false;
    v.latHem = -1;
    v.lonHem = 1;
    v.model.reset();
    const std::string line = FormatConfigLine(v);
    EXPECT_EQ(line, "C:\\Weather\\wxreport.txt,51,30,12.5,0,7,45,-1,1,N0CALL,-1,10,,,N,Y,N");
    EXPECT_EQ(Read(line), "[C:\\Weather\\wxreport.txt]|51|30|12.5|0|7|45|-1|1|[N0CALL]|[-1]|10|-1|[]|[]|N|Y|N");
}

TEST(ConfigFile, SecondsInTheGeneralNumberFormat) {
    struct Case {
        long double value;
        std::string text;
    };
    const Case cases[] = {
        {12.5L, "12.5"},
        {45.0L, "45"},
        {59.999L, "59.999"},
        {0.0L, "0"},
        {-0.0L, "0"},
        {0.001L, "0.001"},
        {30.0L, "30"},
        {1.0L / 3.0L, "0.333333333333333"},  // 15 significant digits
        {59.9999999999999999L, "60"},          // rounds at the 15th digit, and carries
        {12.3456789012345678L, "12.3456789012346"},
        {-12.5L, "-12.5"},                     // typed below the range, field not yet left
        {200.0L, "200"},
        {0.0001L, "0.0001"},
        {0.00001L, "1E-5"},
        {0.000015L, "1.5E-5"},
        {123456789012345.0L, "123456789012345"},
        {1234567890123456.0L, "1.23456789012346E15"},
        {1e20L, "1E20"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatConfigSeconds(c.value), c.text) << static_cast<double>(c.value);

    // Every value the field can show, 0.000 to 59.999, writes as its shortest
    // text and reads back as the same number.
    for (int thousandths = 0; thousandths <= 59999; ++thousandths) {
        std::string shown = std::to_string(thousandths / 1000) + "." + std::to_string(1000 + thousandths % 1000).substr(1);
        long double value = 0;
        ASSERT_TRUE(rtl::TryStrToFloat(shown, '.', value));
        while (shown.back() == '0') shown.pop_back();
        if (shown.back() == '.') shown.pop_back();
        ASSERT_EQ(FormatConfigSeconds(value), shown);
        if (thousandths % 97 != 0 && thousandths != 59999) continue;

        ConfigValues v = ExampleValues();
        v.lonSec = value;
        const ConfigReading r = ParseConfigText(FormatConfigLine(v), Models());
        ASSERT_TRUE(r.lonSec.has_value()) << shown;
        ASSERT_EQ(*r.lonSec, value) << shown;
    }
}

TEST(ConfigFile, ReportPathWithACommaStopsAtTheDegrees) {
    ConfigValues v = ExampleValues();
    v.fileLocation = "C:\\Weather, old\\wxreport.txt";
    const std::string line = FormatConfigLine(v);
    EXPECT_EQ(line.substr(0, 33), "C:\\Weather, old\\wxreport.txt,51,3");
    EXPECT_EQ(Read(line), "[C:\\Weather]|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-");
}

TEST(ConfigFile, ShortAndEmptyFiles) {
    struct Case {
        std::string content;
        std::string reading;
    };
    const Case cases[] = {
        {"", "[]|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-"},
        {"\r\n", "[]|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-"},
        // The field of text without a comma is empty: a lone path is lost.
        {"C:\\Weather\\wxreport.txt", "[]|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-"},
        {"C:\\Weather\\wxreport.txt,", "[C:\\Weather\\wxreport.txt]|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-"},
        // Cut after the interval and its comma: the servers read empty and
        // the check boxes unchecked.
        {"C:\\w.txt,51,30,12.5,0,7,45,0,0,N0CALL,-1,10,",
         "[C:\\w.txt]|51|30|12.5|0|7|45|0|0|[N0CALL]|[-1]|10|-1|[]|[]|N|N|N"},
        // Cut without the interval's comma: the interval field is empty.
        {"C:\\w.txt,51,30,12.5,0,7,45,0,0,N0CALL,-1,10", "[C:\\w.txt]|51|30|12.5|0|7|45|0|0|[N0CALL]|[-1]|-|-|-|-|-|-|-"},
        // Cut after the callsign: the validation number reads empty, the
        // interval fails.
        {"C:\\w.txt,51,30,12.5,0,7,45,0,0,N0CALL,", "[C:\\w.txt]|51|30|12.5|0|7|45|0|0|[N0CALL]|[]|-|-|-|-|-|-|-"},
        // Cut after the model: the model is only matched with its comma.
        {"C:\\w.txt,51,30,12.5,0,7,45,0,0,N0CALL,-1,10,Davis Vantage Pro",
         "[C:\\w.txt]|51|30|12.5|0|7|45|0|0|[N0CALL]|[-1]|10|-1|[]|[]|N|N|N"},
    };
    for (const auto& c : cases) EXPECT_EQ(Read(c.content), c.reading) << c.content;
}

TEST(ConfigFile, OnlyTheFirstLineCounts) {
    const std::string expected = ExampleReading(ModelIndex("Davis Vantage Pro"));
    for (const std::string& tail : {"\r\n"s, "\n"s, "\r"s, "\n\r"s, "\r\nsecond,line,Y\r\n"s, "\nN\n"s,
                                    "\rC:\\other,1,2,3\r"s, "\r\n\r\n"s})
        EXPECT_EQ(Read(kExample + tail), expected) << testing::PrintToString(tail);
    // A line end before the last field cuts it off.
    std::string cut = expected;
    cut.back() = 'N';
    EXPECT_EQ(Read(kExample.substr(0, kExample.size() - 2) + "\nY"), cut);
}

TEST(ConfigFile, FlagsCompareExactly) {
    const std::string head = "C:\\w.txt,51,30,12.5,0,7,45,0,0,N0CALL,-1,10,,,";
    struct Case {
        std::string flags;
        std::string read;  // AutoServer, Minimized, AutoStart
    };
    const Case cases[] = {
        {"Y,Y,Y", "Y|Y|Y"},
        {"N,N,N", "N|N|N"},
        {"y,y,y", "N|N|N"},              // lower case reads as unchecked
        {" Y,Y,Y", "N|Y|Y"},             // the first flag is not trimmed
        {"Y ,Y,Y", "N|Y|Y"},
        {"Y, Y,Y", "Y|Y|Y"},             // blanks in front of the second are
        {"Y,\tY,Y", "Y|Y|Y"},
        {"Y,Y ,Y", "Y|N|Y"},             // ...but not behind it
        {"Y,Y, Y ", "Y|Y|Y"},            // the last is trimmed both sides
        {"Y,Y,Y\t\x01", "Y|Y|Y"},
        {"Y,Y,Y,", "Y|Y|N"},             // the whole rest must be "Y"
        {"Y,Y,Y,N", "Y|Y|N"},
        {"Y,Y,YES", "Y|Y|N"},
        {"Y,Y", "Y|N|Y"},                // a missing field: the last is read as the second's rest
        {"Y", "N|N|Y"},                  // a rest without a comma stays whole: its field is empty, the whole is "Y"
        {"YY,Y,Y", "N|Y|Y"},
    };
    for (const auto& c : cases) {
        const std::string reading = Read(head + c.flags);
        EXPECT_EQ(reading.substr(reading.size() - 5), c.read) << c.flags;
    }
}

// A number that does not convert ends the reading at its field; everything
// read before it stays, nothing after it is read.
TEST(ConfigFile, BadNumberStopsTheReadingAtItsField) {
    const std::string full = ExampleReading(ModelIndex("Davis Vantage Pro"));
    // Field number (1-based) and the separator count in the reading text.
    const int numeric[] = {2, 3, 4, 5, 6, 7, 8, 9, 12};
    const std::string bad[] = {"x", "", " ", "1.5x", "0x10", "$1F", "1e", "--1", "1 2", "99999999999", "1.5", "1e2"};
    for (int field : numeric) {
        for (const std::string& text : bad) {
            // Decimal numbers may be large and have a fraction or an exponent.
            const bool seconds = field == 4 || field == 7;
            if (seconds && (text == "99999999999" || text == "1.5" || text == "1e2")) continue;
            std::vector<std::string> fields;
            std::size_t from = 0;
            for (std::size_t comma; (comma = kExample.find(',', from)) != std::string::npos; from = comma + 1)
                fields.push_back(kExample.substr(from, comma - from));
            fields.push_back(kExample.substr(from));
            fields[static_cast<std::size_t>(field - 1)] = text;
            std::string line;
            for (std::size_t i = 0; i < fields.size(); ++i) line += (i ? "," : "") + fields[i];

            // Expected: the fields before this one as in the example, the rest unread.
            std::string expected;
            std::size_t at = 0;
            for (int i = 1; i < field; ++i) at = full.find('|', at) + 1;
            expected = full.substr(0, at);
            for (int i = field; i <= 18; ++i) expected += i == field ? "-" : "|-";
            EXPECT_EQ(Read(line), expected) << "field " << field << " holding '" << text << "'";
        }
    }
}

TEST(ConfigFile, NumberConversions) {
    struct Case {
        std::string text;
        std::string latDeg;  // as read, "-" when it does not convert
    };
    const Case integers[] = {
        {"51", "51"},   {" 51", "51"},  {"51 ", "51"},   {"\t51\t", "51"}, {"+51", "51"},
        {"-1", "-1"},   {"007", "7"},   {"-0", "0"},     {"200", "200"},   // not clamped here
        {"2147483647", "2147483647"},   {"-2147483648", "-2147483648"},   {"2147483648", "-"},
        {"5 1", "-"},   {"51.", "-"},   {"1e2", "-"},    {"0x33", "-"},    {"$33", "-"},
        {"+", "-"},     {" ", "-"},     {"51\x01", "-"}, {"\xb3", "-"},
    };
    for (const auto& c : integers) {
        const ConfigReading r = ParseConfigText("p," + c.text + ",30,12.5,0,7,45,0,0,N0CALL,-1,10,,,Y,N,Y", Models());
        EXPECT_EQ(r.latDeg ? std::to_string(*r.latDeg) : "-", c.latDeg) << "'" << c.text << "'";
        EXPECT_EQ(r.autoStart.has_value(), c.latDeg != "-") << "'" << c.text << "'";
    }

    struct Seconds {
        std::string text;
        bool converts;
        long double value;
    };
    const Seconds seconds[] = {
        {"12.5", true, 12.5L},   {" 12.5 ", true, 12.5L}, {"12", true, 12.0L},   {".5", true, 0.5L},
        {"5.", true, 5.0L},      {"1.25E1", true, 12.5L}, {"125e-1", true, 12.5L}, {"-3", true, -3.0L},
        {"75", true, 75.0L},     // clamped by the control, not here
        {"12;5", false, 0},      {"12.5.1", false, 0},    {"", false, 0},        {".", false, 0},
        {"INF", false, 0},       {"NAN", false, 0},       {"1E99999", false, 0}, {"0x1p3", false, 0},
    };
    for (const auto& c : seconds) {
        const ConfigReading r = ParseConfigText("p,51,30," + c.text + ",0,7,45,0,0,N0CALL,-1,10,,,Y,N,Y", Models());
        ASSERT_EQ(r.latSec.has_value(), c.converts) << "'" << c.text << "'";
        if (c.converts) {
            EXPECT_EQ(*r.latSec, c.value) << "'" << c.text << "'";
        }
    }
    // Seconds written with a decimal comma split into two fields: the whole
    // seconds read, and the fraction becomes the longitude degrees.
    EXPECT_EQ(Read("p,51,30,12,5,0,7,45,0,0,N0CALL,-1,10,,,Y,N,Y"),
              "[p]|51|30|12|5|0|7|45|0|[0]|[N0CALL]|-1|-1|[10]|[]|N|Y|N");
}

TEST(ConfigFile, StationModelField) {
    const std::string head = "p,51,30,12.5,0,7,45,0,0,N0CALL,-1,10,";
    const int davis = ModelIndex("Davis Vantage Pro");
    struct Case {
        std::string tail;
        std::string read;  // model index, server name, port, flags
    };
    const Case cases[] = {
        {"Davis Vantage Pro,host,14580,N,Y,N", std::to_string(davis) + "|[host]|[14580]|N|Y|N"},
        // A name that is no entry is read as the server name, and the rest
        // shifts by one field.
        {"Acme 3000,host,14580,N,Y,N", "-1|[Acme 3000]|[host]|N|N|N"},
        {"davis vantage pro,,,Y,N,Y", "-1|[davis vantage pro]|[]|N|Y|N"},
        {"Davis Vantage Pro ,,,Y,N,Y", "-1|[Davis Vantage Pro ]|[]|N|Y|N"},
        {"Davis,,,Y,N,Y", "-1|[Davis]|[]|N|Y|N"},
        // A longer name that begins with an entry's name is not that entry.
        {"Davis Vantage Pro Plus,,,Y,N,Y", std::to_string(ModelIndex("Davis Vantage Pro Plus")) + "|[]|[]|Y|N|Y"},
        // Names holding commas are matched across the fields they span.
        {"WM918, WX-200,,,Y,N,Y", std::to_string(ModelIndex("WM918, WX-200")) + "|[]|[]|Y|N|Y"},
        {"WMR-968, WMR-918H, WMR-918N, WMR-928,h,1,N,N,Y",
         std::to_string(ModelIndex("WMR-968, WMR-918H, WMR-918N, WMR-928")) + "|[h]|[1]|N|N|Y"},
        {"WM918, WX-201,,,Y,N,Y", "-1|[WM918]|[ WX-201]|N|N|N"},
        {"WM918,,,Y,N,Y", "-1|[WM918]|[]|N|Y|N"},
    };
    for (const auto& c : cases) {
        const std::string reading = Read(head + c.tail);
        const std::size_t at = reading.find("|10|") + 4;
        EXPECT_EQ(reading.substr(at), c.read) << c.tail;
    }
    ASSERT_GE(ModelIndex("WM918, WX-200"), 0);

    // Every model of the list is written so that it reads back selected.
    for (const std::string& model : Models()) {
        ConfigValues v = ExampleValues();
        v.model = model;
        v.serverName = "host";
        v.serverPort = "14580";
        v.autoServer = false;
        v.minimized = true;
        v.autoStart = false;
        EXPECT_EQ(Read(FormatConfigLine(v)), "[C:\\Weather\\wxreport.txt]|51|30|12.5|0|7|45|0|0|[N0CALL]|[-1]|10|" +
                                                 std::to_string(ModelIndex(model)) + "|[host]|[14580]|N|Y|N")
            << model;
    }

    // With equal entries, the last one in list order stays selected.
    const std::vector<std::string> twice = {"A", "B", "A", "C"};
    EXPECT_EQ(ParseConfigText(head + "A,,,Y,N,Y", twice).modelIndex, 2);
    EXPECT_EQ(ParseConfigText(head + "C,,,Y,N,Y", twice).modelIndex, 3);
    EXPECT_EQ(ParseConfigText(head + "D,,,Y,N,Y", twice).modelIndex, -1);
    EXPECT_EQ(ParseConfigText(head + "A,,,Y,N,Y", {}).modelIndex, -1);
}

TEST(ConfigFile, RestAfterThePathIsCutTo999Characters) {
    // The path, then 999 characters after its comma: the fields up to the
    // interval, a long server name, an empty port and the three flags.
    const std::string fields = "51,30,12.5,0,7,45,0,0,N0CALL,-1,10,";
    const std::string flags = ",,Y,Y,Y";
    const std::size_t fit = 999 - fields.size() - flags.size();
    auto line = [&](std::size_t serverLength) {
        return "C:\\" + std::string(2000, 'p') + "," + fields + std::string(serverLength, 's') + flags;
    };
    std::string reading = Read(line(fit));
    EXPECT_EQ(reading.substr(0, 2004), "[C:\\" + std::string(2000, 'p'));  // the path itself is not cut
    EXPECT_NE(reading.find("|[" + std::string(fit, 's') + "]|[]|Y|Y|Y"), std::string::npos);

    // Each character more pushes one more off the end. The rest of a
    // remainder without a comma stays whole (its field reads empty), which
    // is why a lone "Y" can still check the last box.
    struct Case {
        std::size_t more;
        std::string tail;  // server name, port, flags
    };
    const Case cases[] = {
        {1, "[" + std::string(fit + 1, 's') + "]|[]|Y|Y|N"},  // ...,,Y,Y,
        {2, "[" + std::string(fit + 2, 's') + "]|[]|Y|N|Y"},  // ...,,Y,Y
        {3, "[" + std::string(fit + 3, 's') + "]|[]|Y|N|N"},  // ...,,Y,
        {4, "[" + std::string(fit + 4, 's') + "]|[]|N|N|Y"},  // ...,,Y
        {5, "[" + std::string(fit + 5, 's') + "]|[]|N|N|N"},  // ...,,
        {6, "[" + std::string(fit + 6, 's') + "]|[]|N|N|N"},  // ...,
        {7, "[]|[]|N|N|N"},                                    // ... (no comma: no server name)
    };
    for (const auto& c : cases) {
        reading = Read(line(fit + c.more));
        EXPECT_EQ(reading.substr(reading.find("|10|-1|") + 7), c.tail) << c.more;
    }

    // A rest without commas is cut, and reads no latitude.
    EXPECT_EQ(Read("p," + std::string(3000, '1')), "[p]|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-");
}

TEST(ConfigFile, RoundTripOfVariedValues) {
    std::mt19937 random(20240611);
    auto pick = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    const std::string printable = "ABCxyz019 -_.:\\/@#()";
    auto text = [&](bool allowBlanks) {
        std::string s;
        for (int n = pick(0, 12); n > 0; --n) s += printable[static_cast<std::size_t>(pick(0, int(printable.size()) - 1))];
        if (!allowBlanks) return s;
        return std::string(static_cast<std::size_t>(pick(0, 2)), ' ') + s + std::string(static_cast<std::size_t>(pick(0, 2)), '\t');
    };
    for (int round = 0; round < 2000; ++round) {
        ConfigValues v;
        v.fileLocation = text(true);
        v.latDeg = pick(-5, 200);
        v.latMin = pick(0, 59);
        v.latSec = pick(0, 59999) / 1000.0L;
        v.lonDeg = pick(0, 180);
        v.lonMin = pick(-1, 70);
        v.lonSec = pick(0, 59999) / 1000.0L;
        v.latHem = pick(-1, 1);
        v.lonHem = pick(-1, 1);
        v.callsign = text(true);
        v.validation = std::to_string(pick(-1, 32767));
        v.interval = pick(10, 999);
        const int model = pick(-1, int(Models().size()) - 1);
        if (model >= 0) v.model = Models()[static_cast<std::size_t>(model)];
        v.serverName = text(true);
        v.serverPort = text(false);
        v.autoServer = pick(0, 1);
        v.minimized = pick(0, 1);
        v.autoStart = pick(0, 1);

        const std::string line = FormatConfigLine(v);
        const ConfigReading r = ParseConfigText(line, Models());
        ASSERT_EQ(r.fileLocation, rtl::Trimmed(v.fileLocation)) << line;
        ASSERT_EQ(r.latDeg, v.latDeg) << line;
        ASSERT_EQ(r.latMin, v.latMin) << line;
        ASSERT_EQ(r.latSec, v.latSec) << line;
        ASSERT_EQ(r.lonDeg, v.lonDeg) << line;
        ASSERT_EQ(r.lonMin, v.lonMin) << line;
        ASSERT_EQ(r.lonSec, v.lonSec) << line;
        ASSERT_EQ(r.latHem, v.latHem) << line;
        ASSERT_EQ(r.lonHem, v.lonHem) << line;
        ASSERT_EQ(r.callsign, rtl::Trimmed(v.callsign)) << line;
        ASSERT_EQ(r.validation, v.validation) << line;
        ASSERT_EQ(r.interval, v.interval) << line;
        ASSERT_EQ(r.modelIndex, model) << line;
        ASSERT_EQ(r.serverName, rtl::Trimmed(v.serverName)) << line;
        ASSERT_EQ(r.serverPort, rtl::Trimmed(v.serverPort)) << line;
        ASSERT_EQ(r.autoServer, v.autoServer) << line;
        ASSERT_EQ(r.minimized, v.minimized) << line;
        ASSERT_EQ(r.autoStart, v.autoStart) << line;
        // Written again from what was read, the line is the same.
        ConfigValues again = v;
        again.fileLocation = r.fileLocation;
        again.callsign = *r.callsign;
        again.serverName = *r.serverName;
        again.serverPort = *r.serverPort;
        ASSERT_EQ(FormatConfigLine(again), line);
    }
}

}  // namespace
