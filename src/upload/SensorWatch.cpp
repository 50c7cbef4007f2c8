#include "upload/SensorWatch.h"

#include <cstdlib>

#include "rtl/Text.h"
#include "upload/Silence.h"

namespace upload {

namespace {

using State = WeatherField::State;

Quantity QuantityOf(Sensor sensor) {
    switch (sensor) {
    case Sensor::Temperature: return Quantity::Temperature;
    case Sensor::Humidity: return Quantity::Humidity;
    case Sensor::Pressure: return Quantity::Pressure;
    case Sensor::WindDirection: return Quantity::WindDirection;
    case Sensor::WindSpeed: return Quantity::WindSpeed;
    }
    return Quantity::Other;
}

// The value a field read, held back or not; none when it has none.
std::optional<long> ValueOf(const WeatherReading& reading, Quantity quantity) {
    const WeatherField* f = reading.Find(quantity);
    if (f && (f->state == State::Value || f->state == State::HeldBack)) return f->value;
    return std::nullopt;
}

}  // namespace

std::chrono::hours StuckSpan(Sensor sensor, long value) {
    switch (sensor) {
    case Sensor::Temperature:
    case Sensor::Pressure: return std::chrono::hours(12);
    case Sensor::Humidity: return std::chrono::hours(value == 100 ? 96 : 24);
    case Sensor::WindDirection: return std::chrono::hours(24);
    case Sensor::WindSpeed: return std::chrono::hours(48);
    }
    return std::chrono::hours(48);
}

const char* SensorName(Sensor sensor) {
    switch (sensor) {
    case Sensor::Temperature: return "temperature";
    case Sensor::Humidity: return "humidity";
    case Sensor::Pressure: return "pressure";
    case Sensor::WindDirection: return "wind direction";
    case Sensor::WindSpeed: return "wind speed";
    }
    return "";
}

std::string StuckText(const StuckSensor& stuck, const rtl::LocalTime& since, const rtl::LocalTime& today,
                      Units units) {
    return std::string("Check the ") + SensorName(stuck.sensor) +
           " sensor: " + ValueInUnits(QuantityOf(stuck.sensor), stuck.value, units) + " since " +
           ClockText(since, today);
}

std::string StuckValueText(const StuckSensor& stuck) {
    const std::string v = rtl::Decimal(stuck.value);
    switch (stuck.sensor) {
    case Sensor::Temperature: return v + " F";
    case Sensor::Humidity: return v + " %";
    case Sensor::Pressure: return rtl::FormatFixed(stuck.value / 10.0L, 1, '.') + " hPa";
    case Sensor::WindDirection: return v + " degrees";
    case Sensor::WindSpeed: return v + " mph";
    }
    return v;
}

std::vector<SensorWatch::Change> SensorWatch::Take(rtl::TimePoint now, const std::string& key,
                                                   WeatherReading& reading) {
    if (!key.empty() && key == lastKey_) {
        for (WeatherField& f : reading.fields)
            for (const auto& [quantity, before] : lastHeld_)
                if (f.quantity == quantity && f.state == State::Value) HoldBack(f, before);
        return {};
    }
    lastKey_ = key;
    lastHeld_.clear();
    const Quantity checked[] = {Quantity::Temperature, Quantity::Humidity, Quantity::Pressure};
    for (WeatherField& f : reading.fields)
        for (std::size_t i = 0; i < levels_.size(); ++i)
            if (f.quantity == checked[i]) Check(levels_[i], f, now);

    std::vector<Change> changes;
    Follow(Sensor::Temperature, ValueOf(reading, Quantity::Temperature), now, changes);
    Follow(Sensor::Humidity, ValueOf(reading, Quantity::Humidity), now, changes);
    Follow(Sensor::Pressure, ValueOf(reading, Quantity::Pressure), now, changes);
    // Cups that stop while the vane swings are the usual failure: the wind
    // speed is stuck at calm, speed and gust, whatever the vane does. The
    // vane is judged only by readings with wind, as it rests in a calm.
    const std::optional<long> speed = ValueOf(reading, Quantity::WindSpeed), gust = ValueOf(reading, Quantity::Gust);
    const bool calm = speed.value_or(0) == 0 && gust.value_or(0) == 0;
    if (!calm) Follow(Sensor::WindDirection, ValueOf(reading, Quantity::WindDirection), now, changes);
    if (speed || gust) Follow(Sensor::WindSpeed, 0, now, changes, calm);
    return changes;
}

void SensorWatch::Check(Level& level, WeatherField& field, rtl::TimePoint now) {
    if (field.state != State::Value) return;
    const long limit = HourlyLimit(field.quantity);
    // A clock set back makes the value sent no measure: it is not checked.
    const bool recent = level.sent && now >= level.sentAt && now - level.sentAt <= kJumpWindow;
    const bool jumps = recent && std::labs(field.value - *level.sent) > limit;
    // A jump the next reading stays with is a real change of level.
    const bool confirmed = level.held && std::labs(field.value - *level.held) <= limit;
    level.held.reset();
    if (jumps && !confirmed) {
        level.held = field.value;
        lastHeld_.emplace_back(field.quantity, *level.sent);
        HoldBack(field, *level.sent);
        return;
    }
    level.sent = field.value;
    level.sentAt = now;
}

void SensorWatch::Follow(Sensor sensor, std::optional<long> value, rtl::TimePoint now, std::vector<Change>& changes,
                         bool calm) {
    if (!value) return;
    Span& span = spans_[static_cast<std::size_t>(sensor)];
    const auto stuck = [sensor, &span] {
        return StuckSensor{sensor, sensor == Sensor::WindSpeed ? 0 : span.value, span.since};
    };
    const bool goesOn =
        span.open && calm && *value == span.value && now >= span.last && now - span.last <= kMaxReadingGap;
    if (!goesOn) {
        if (span.warned) changes.push_back({false, stuck()});
        span = calm ? Span{true, *value, now, now, false} : Span{};
        return;
    }
    span.last = now;
    if (!span.warned && now - span.since >= StuckSpan(sensor, span.value)) {
        span.warned = true;
        changes.push_back({true, stuck()});
    }
}

std::vector<StuckSensor> SensorWatch::Stuck() const {
    std::vector<StuckSensor> stuck;
    for (std::size_t i = 0; i < spans_.size(); ++i) {
        const Span& span = spans_[i];
        const Sensor sensor = static_cast<Sensor>(i);
        if (span.warned) stuck.push_back({sensor, sensor == Sensor::WindSpeed ? 0 : span.value, span.since});
    }
    return stuck;
}

}  // namespace upload
