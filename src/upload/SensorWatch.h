// A failing sensor held back and named. Each reading is taken with the time
// it was read: a temperature, humidity or pressure that jumps further from
// its value sent within the hour than a real one can is held back, and a
// sensor whose value has stopped changing for long is named, while its
// values still go out. Kept in memory only: a restart starts afresh.
#pragma once

#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "rtl/Clock.h"
#include "upload/Weather.h"

namespace upload {

// A jump is measured from the value sent within this time.
inline constexpr auto kJumpWindow = std::chrono::minutes(60);
// Readings further apart than this break a span of unchanged values: what
// happened between them is not known.
inline constexpr auto kMaxReadingGap = std::chrono::hours(2);

enum class Sensor { Temperature, Humidity, Pressure, WindDirection, WindSpeed };

// How long a sensor's value may stay the same before it is taken as stuck
// (humidity: 24 hours, 96 at 100 %; the wind speed counts only while it and
// the gust are calm, the wind direction only readings with wind).
std::chrono::hours StuckSpan(Sensor sensor, long value);

// A sensor whose value has not changed since `since`.
struct StuckSensor {
    Sensor sensor = Sensor::Temperature;
    long value = 0;  // in the report's units (F, %, 1/10 hPa, degrees); the wind speed: 0
    rtl::TimePoint since{};
};

// "temperature", "humidity", "pressure", "wind direction", "wind speed".
const char* SensorName(Sensor sensor);
// The status line's and the tip's warning: "Check the temperature sensor:
// 72 °F since 06:10", the time in local time (today: the local date now),
// dated when it is not today.
std::string StuckText(const StuckSensor& stuck, const rtl::LocalTime& since, const rtl::LocalTime& today,
                      Units units);
// The value for the log, in the report's own units: "72 F", "1015.0 hPa".
std::string StuckValueText(const StuckSensor& stuck);

class SensorWatch {
public:
    // A stuck sensor's warning begins (with the reading that completed its
    // span) or ends (a reading changed, or came after a gap).
    struct Change {
        bool begins = false;
        StuckSensor stuck;
    };

    // Takes a reading read at `now`, identified by `key` (the report's two
    // lines): marks the fields held back in it (HoldBack), records what goes
    // out as sent, and follows each sensor's span of unchanged values. The
    // same reading taken again (the report not rewritten since) is no new
    // reading: it is held back as it was, confirms nothing and counts no
    // time.
    std::vector<Change> Take(rtl::TimePoint now, const std::string& key, WeatherReading& reading);
    // The sensors whose warning holds, in the order of Sensor.
    std::vector<StuckSensor> Stuck() const;

private:
    // A checked field's last value sent, and the value held back after it.
    struct Level {
        std::optional<long> sent;
        rtl::TimePoint sentAt{};
        std::optional<long> held;
    };
    // A sensor's span of one unchanged value, read at most kMaxReadingGap apart.
    struct Span {
        bool open = false;
        long value = 0;
        rtl::TimePoint since{}, last{};
        bool warned = false;
    };
    void Check(Level& level, WeatherField& field, rtl::TimePoint now);
    // value: the sensor's reading, none when this reading has none; calm:
    // false for a wind that blows, which ends the wind speed's span.
    void Follow(Sensor sensor, std::optional<long> value, rtl::TimePoint now, std::vector<Change>& changes,
                bool calm = true);

    std::array<Level, 3> levels_{};  // temperature, humidity, pressure
    std::array<Span, 5> spans_{};    // by Sensor
    std::string lastKey_;
    std::vector<std::pair<Quantity, long>> lastHeld_;  // the last reading's held fields and their values before
};

}  // namespace upload
