// A failing sensor: jumps held back, stuck sensors named.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "upload/SensorWatch.h"

namespace {

using upload::SensorWatch;

const rtl::TimePoint kStart = std::chrono::system_clock::from_time_t(1796600000);

struct Step {
    int minute;
    std::string weather;
    bool again = false;  // the same report as the step before, read again
};

// The readings' weather parts as they go out, joined by " | ".
std::string Sent(SensorWatch& watch, const std::vector<Step>& steps) {
    std::string sent, key;
    for (const Step& s : steps) {
        if (!s.again) key = std::to_string(s.minute) + s.weather;
        upload::WeatherReading r = upload::ReadWeather(s.weather);
        watch.Take(kStart + std::chrono::minutes(s.minute), key, r);
        sent += (sent.empty() ? "" : " | ") + r.Notation();
    }
    return sent;
}

TEST(SensorWatch, AJumpWithinTheHourIsHeldBackUntilTheNextReadingStaysWithIt) {
    const struct Case {
        const char* what;
        std::vector<Step> steps;
        std::string sent;
    } cases[] = {
        {"temperature up 35 F", {{0, "t070"}, {10, "t105"}}, "t070 | t105"},
        {"temperature up 36 F", {{0, "t070"}, {10, "t106"}}, "t070 | t..."},
        {"temperature down 36 F", {{0, "t020"}, {10, "t-16"}}, "t020 | t..."},
        {"humidity 50 points", {{0, "h30"}, {10, "h80"}}, "h30 | h80"},
        {"humidity 51 points, to 100 %", {{0, "h49"}, {10, "h00"}}, "h49 | "},
        {"pressure 10.0 hPa", {{0, "b10150"}, {10, "b10250"}}, "b10150 | b10250"},
        {"pressure 10.1 hPa", {{0, "b10150"}, {10, "t050b10251"}}, "b10150 | t050"},
        {"sent 60 minutes before", {{0, "t070"}, {60, "t120"}}, "t070 | t..."},
        {"sent 61 minutes before: no check", {{0, "t070"}, {61, "t120"}}, "t070 | t120"},
        {"a new level", {{0, "t070"}, {10, "t120"}, {20, "t121"}, {30, "t122"}}, "t070 | t... | t121 | t122"},
        {"back to the old level", {{0, "t070"}, {10, "t120"}, {20, "t071"}}, "t070 | t... | t071"},
        {"jumps twice", {{0, "t070"}, {10, "t120"}, {20, "t010"}, {30, "t070"}}, "t070 | t... | t... | t070"},
        {"the same report read again", {{0, "t070"}, {10, "t120"}, {20, "t120", true}}, "t070 | t... | t..."},
        {"a value not sent is no level", {{0, "t070"}, {5, "t150"}, {10, "t106"}}, "t070 | t... | t..."},
        {"other fields go on", {{0, "t070h50b10150"}, {10, "t110h99b10300"}}, "t070h50b10150 | t...h99"},
    };
    for (const Case& c : cases) {
        SensorWatch watch;
        EXPECT_EQ(Sent(watch, c.steps), c.sent) << c.what;
    }

    // The words and the log name the field, both values and the limit.
    SensorWatch watch;
    upload::WeatherReading r = upload::ReadWeather("t070h40");
    watch.Take(kStart, "1", r);
    r = upload::ReadWeather("t120h91");
    watch.Take(kStart + std::chrono::minutes(10), "2", r);
    EXPECT_EQ(upload::DescribeWeather(r, upload::Units::US),
              "temperature not sent: 120 \xC2\xB0" "F after 70 \xC2\xB0" "F \xC2\xB7 humidity not sent: 91 % after 40 %");
    EXPECT_EQ(upload::WeatherRejections(r),
              (std::vector<std::string>{
                  "t120 (temperature) jumped from 70 F within the hour, more than 35 F: sent as t...",
                  "h91 (humidity) jumped from 40 % within the hour, more than 50 %: left out"}));
}

// Readings of the weather (taken in turn) every `step` minutes from the
// start, and one at `until`.
std::vector<Step> Every(int step, int until, std::vector<std::string> weather) {
    std::vector<Step> steps;
    for (int m = 0; m < until; m += step) steps.push_back({m, weather[steps.size() % weather.size()]});
    steps.push_back({until, weather[steps.size() % weather.size()]});
    return steps;
}

TEST(SensorWatch, AValueUnchangedOverItsSpanBringsAWarningUntilItChanges) {
    const struct Case {
        const char* what;
        std::vector<Step> steps;
        std::string changes;  // "+" a warning begins, "-" it ends
    } cases[] = {
        {"temperature 12 h less a minute", Every(60, 719, {"t072"}), ""},
        {"temperature 12 h", Every(60, 720, {"t072"}), "+temperature"},
        {"pressure 12 h less a minute", Every(60, 719, {"b10150"}), ""},
        {"pressure 12 h", Every(60, 720, {"b10150"}), "+pressure"},
        {"humidity 24 h less a minute", Every(60, 1439, {"h55"}), ""},
        {"humidity 24 h", Every(60, 1440, {"h55"}), "+humidity"},
        {"humidity 100 % 96 h less a minute", Every(60, 5759, {"h00"}), ""},
        {"humidity 100 % 96 h", Every(60, 5760, {"h100"}), "+humidity"},
        {"wind direction 24 h less a minute", Every(60, 1439, {"225/010", "225/012"}), ""},
        {"wind direction 24 h", Every(60, 1440, {"225/010", "225/012"}), "+wind direction"},
        {"calm 48 h less a minute", Every(60, 2879, {"c...s000g000"}), ""},
        {"calm 48 h", Every(60, 2880, {"c...s000g000"}), "+wind speed"},
        {"calm, the vane moving", Every(60, 2880, {"090/000g000", "100/000g000"}), "+wind speed"},
        {"calm, the vane still: not named", Every(60, 2880, {"090/000g000"}), "+wind speed"},
        {"a breeze now and then", Every(60, 2880, {"c...s000g000", "c...s000g000", "c...s000g003"}), ""},
        {"readings two hours apart", Every(120, 720, {"t072"}), "+temperature"},
        {"readings over two hours apart", Every(121, 726, {"t072"}), ""},
        {"then a change", [] { auto s = Every(60, 720, {"t072"}); s.push_back({780, "t073"}); return s; }(),
         "+temperature -temperature"},
        {"then a gap", [] { auto s = Every(60, 720, {"t072"}); s.push_back({841, "t072"}); return s; }(),
         "+temperature -temperature"},
        {"the dots of no reading", Every(60, 720, {"t072", "t..."}), "+temperature"},
    };
    for (const Case& c : cases) {
        SensorWatch watch;
        std::string changes;
        int holding = 0;
        for (const Step& s : c.steps) {
            upload::WeatherReading r = upload::ReadWeather(s.weather);
            for (const SensorWatch::Change& change :
                 watch.Take(kStart + std::chrono::minutes(s.minute), std::to_string(s.minute), r)) {
                changes += std::string(changes.empty() ? "" : " ") + (change.begins ? "+" : "-") +
                           upload::SensorName(change.stuck.sensor);
                holding += change.begins ? 1 : -1;
                EXPECT_EQ(change.stuck.since, kStart) << c.what;
            }
            EXPECT_EQ(r.Notation(), upload::ReadWeather(s.weather).Notation()) << c.what << ": values still go out";
        }
        EXPECT_EQ(changes, c.changes) << c.what;
        EXPECT_EQ(watch.Stuck().size(), static_cast<std::size_t>(holding)) << c.what;
    }

    const rtl::LocalTime today{2026, 12, 7, 15, 0}, morning{2026, 12, 7, 6, 10}, before{2026, 12, 6, 6, 10};
    EXPECT_EQ(upload::StuckText({upload::Sensor::Temperature, 72}, morning, today, upload::Units::US),
              "Check the temperature sensor: 72 \xC2\xB0" "F since 06:10");
    EXPECT_EQ(upload::StuckText({upload::Sensor::WindSpeed, 0}, before, today, upload::Units::Metric),
              "Check the wind speed sensor: 0 km/h since 2026-12-06 06:10");
}

}  // namespace
