#include "station/Reading.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

namespace station {

namespace {

using namespace std::chrono_literals;

// 1 inHg in hPa, to seven digits: 33.86389.
constexpr long long kHpaPerInHgNum = 3386389;
constexpr long long kHpaPerInHgDen = 100000;

constexpr int kMaxDigits = 15;

// A decimal number as sent: its digits as one integer, and how many of them
// follow the point.
struct Exact {
    bool negative = false;
    long long digits = 0;
    int decimals = 0;
};

std::optional<Exact> ReadExact(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    Exact e;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        e.negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int count = 0;
    bool point = false;
    for (char c : text) {
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            if (++count > kMaxDigits) return std::nullopt;
            e.digits = e.digits * 10 + (c - '0');
            e.decimals += point ? 1 : 0;
        } else {
            return std::nullopt;
        }
    }
    if (count == 0) return std::nullopt;
    return e;
}

long long Power10(int n) {
    long long p = 1;
    while (n-- > 0) p *= 10;
    return p;
}

// The value times num/den, rounded to the nearest, halves away from zero;
// nothing when it does not fit.
std::optional<long long> Scaled(const Exact& e, long long num, long long den) {
    const __int128 top = static_cast<__int128>(e.digits) * num;
    const __int128 bottom = static_cast<__int128>(Power10(e.decimals)) * den;
    const __int128 q = (2 * top + bottom) / (2 * bottom);
    if (q > static_cast<__int128>(1) << 62) return std::nullopt;
    return static_cast<long long>(e.negative ? -q : q);
}

// The station's "no reading".
bool IsMissingMark(const Exact& e) { return e.negative && e.digits == 9999 * Power10(e.decimals); }

// A field's value times num/den, rounded; nothing when the field is not
// there or is no reading.
std::optional<long long> Value(const Upload& upload, std::string_view name, long long num, long long den = 1) {
    const std::string* text = upload.Field(name);
    if (!text) return std::nullopt;
    const std::optional<Exact> e = ReadExact(*text);
    if (!e || IsMissingMark(*e)) return std::nullopt;
    return Scaled(*e, num, den);
}

std::optional<long long> FirstValue(const Upload& upload, std::initializer_list<std::string_view> names,
                                    long long num, long long den = 1) {
    for (std::string_view name : names)
        if (std::optional<long long> v = Value(upload, name, num, den)) return v;
    return std::nullopt;
}

std::optional<long long> NotNegative(std::optional<long long> v) {
    return v && *v >= 0 ? v : std::nullopt;
}

// A value in `width` digits, with leading zeros; nothing when it does not fit.
std::string Digits(std::optional<long long> v, int width) {
    if (!v || *v < 0 || *v >= Power10(width)) return {};
    char text[24];
    std::snprintf(text, sizeof text, "%0*lld", width, *v);
    return text;
}

bool StartsWithNoCase(const std::string& text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

// The rain fields of one gauge, in the places the line takes them.
struct Gauge {
    std::string_view hour, sinceMidnight, day, total, otherTotal;
};
constexpr Gauge kTraditional{"hourlyrainin", "dailyrainin", "last24hrainin", "totalrainin", "yearlyrainin"};
constexpr Gauge kPiezo{"hrain_piezo", "drain_piezo", "last24hrain_piezo", "yrain_piezo", ""};

bool SendsTraditionalRain(const Upload& upload) {
    for (std::string_view name : {"rainin", "hourlyrainin", "dailyrainin", "last24hrainin", "24hourrainin",
                                  "weeklyrainin", "monthlyrainin", "yearlyrainin", "totalrainin", "eventrainin",
                                  "rainratein"})
        if (Value(upload, name, 1)) return true;
    return false;
}

std::optional<long long> Hundredths(std::optional<long long> microInches) {
    if (!microInches) return std::nullopt;
    return (*microInches + 5000) / 10000;  // never negative
}

// The pressure in tenths of hPa, and whether it is unknown for want of the
// station's height.
std::pair<std::optional<long long>, bool> Pressure(const Upload& upload, std::optional<double> heightMetres) {
    const std::optional<long long> absolute = FirstValue(upload, {"baromabsin", "absbaromin"}, 1000000);
    const std::optional<long long> relative = FirstValue(upload, {"baromrelin", "baromin"}, 1000000);
    if (heightMetres && absolute && *absolute > 0) {
        const double station = *absolute / 1e6 * kHpaPerInHgNum / kHpaPerInHgDen;
        const double altimeter = AltimeterSetting(station, *heightMetres);
        if (std::isfinite(altimeter) && altimeter > 0 && altimeter < 1e5)
            return {static_cast<long long>(std::floor(altimeter * 10 + 0.5)), false};
        return {std::nullopt, false};
    }
    // Without a height, the station pressure says nothing of the weather:
    // the relative pressure goes out unless it is the same number.
    if (!heightMetres && absolute && (!relative || *relative == *absolute)) return {std::nullopt, true};
    return {NotNegative(FirstValue(upload, {"baromrelin", "baromin"}, kHpaPerInHgNum * 10, kHpaPerInHgDen)),
            false};
}

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace

std::optional<long long> ScaledDecimal(std::string_view text, int decimals) {
    const std::optional<Exact> e = ReadExact(text);
    if (!e || decimals < 0 || decimals > 6) return std::nullopt;
    return Scaled(*e, Power10(decimals), 1);
}

std::string ReceivedLine(rtl::TimePoint received) {
    const rtl::LocalTime t = rtl::ToUtc(received);
    char text[32];
    std::snprintf(text, sizeof text, "%s %02d %04d %02d:%02d", kMonths[(t.month + 11) % 12], t.day, t.year, t.hour,
                  t.minute);
    return text;
}

double AltimeterSetting(double stationPressure, double heightMetres) {
    const double n = 0.190284;
    return std::pow(std::pow(stationPressure - 0.3, n) + 8.4184960528e-5 * heightMetres, 1 / n);
}

std::optional<long long> ReadingHistory::Gust(rtl::TimePoint now, std::optional<long long> gust) {
    if (!gusts_.empty() && gusts_.back().time > now) gusts_.clear();  // the clock was set back
    while (!gusts_.empty() && gusts_.front().time < now - 5min) gusts_.pop_front();
    if (gust) {
        // A gust no higher than this one can never be the peak again.
        while (!gusts_.empty() && gusts_.back().value <= *gust) gusts_.pop_back();
        gusts_.push_back({now, *gust});
    }
    if (gusts_.empty()) return std::nullopt;
    return gusts_.front().value;
}

ReadingHistory::Rise ReadingHistory::Rain(rtl::TimePoint now, const std::string& source,
                                          std::optional<long long> total) {
    if (!total) return {};
    // Another total, a clock set back, or more rain than the sum can hold:
    // the history starts afresh.
    if (source != rainSource_ || (!rain_.empty() && rain_.back().time > now) || fallen_ > (1LL << 60)) {
        rain_.clear();
        lastTotal_.reset();
        fallen_ = 0;
        rainSource_ = source;
    }
    // What fell: the total's rises. A total that falls was reset (a new
    // year, new batteries) and starts again from there.
    if (lastTotal_ && *total > *lastTotal_) fallen_ += *total - *lastTotal_;
    lastTotal_ = total;
    if (rain_.empty() || now - rain_.back().time >= 1min) rain_.push_back({now, fallen_});
    while (rain_.size() >= 2 && rain_[1].time <= now - 24h) rain_.pop_front();

    // The rise since the last sample at least `span` old, when that sample
    // is not much older: the uploads span the time without a gap at its start.
    auto rise = [&](std::chrono::minutes span) -> std::optional<long long> {
        const auto after = std::upper_bound(rain_.begin(), rain_.end(), now - span,
                                            [](rtl::TimePoint t, const Sample& s) { return t < s.time; });
        if (after == rain_.begin()) return std::nullopt;
        const Sample& base = *(after - 1);
        if (base.time < now - span - 10min) return std::nullopt;
        return fallen_ - base.value;
    };
    return {rise(60min), rise(24h)};
}

void ReadingHistory::Clear() {
    gusts_.clear();
    rain_.clear();
    rainSource_.clear();
    lastTotal_.reset();
    fallen_ = 0;
}

WeatherLine MakeWeatherLine(const Upload& upload, rtl::TimePoint now, std::optional<double> heightMetres,
                            ReadingHistory& history) {
    WeatherLine line;
    auto fixed = [](std::string digits, int width) {
        return digits.empty() ? std::string(static_cast<std::size_t>(width), '.') : digits;
    };

    // Wind, gust and temperature have their places: dots when unknown.
    std::optional<long long> sentGust = NotNegative(Value(upload, "windgustmph", 1));
    if (sentGust && *sentGust > 999) sentGust.reset();  // too wide for its field: it would only fill the history
    const std::optional<long long> gust = history.Gust(now, sentGust);
    line.text = fixed(Digits(NotNegative(Value(upload, "winddir", 1)), 3), 3) + "/" +
                fixed(Digits(NotNegative(Value(upload, "windspeedmph", 1)), 3), 3) + "g" + fixed(Digits(gust, 3), 3);
    const std::optional<long long> temperature = Value(upload, "tempf", 1);
    std::string t = Digits(temperature, 3);
    if (temperature && *temperature < 0 && *temperature > -100) t = "-" + Digits(-*temperature, 2);
    line.text += "t" + fixed(t, 3);

    // Rain, from one gauge.
    const std::string* type = upload.Field("stationtype");
    const bool traditional = SendsTraditionalRain(upload);
    const Gauge& gauge = traditional ? kTraditional : kPiezo;
    // A running total in millionths of an inch, up to 100,000 in.
    auto totalOf = [&upload](std::string_view name) -> std::optional<long long> {
        const std::optional<long long> v = NotNegative(Value(upload, name, 1000000));
        return v && *v <= 100000LL * 1000000 ? v : std::nullopt;
    };
    std::string totalName(gauge.total);
    std::optional<long long> total = totalOf(gauge.total);
    if (!total && !gauge.otherTotal.empty()) {
        totalName = gauge.otherTotal;
        total = totalOf(gauge.otherTotal);
    }
    const ReadingHistory::Rise rise = history.Rain(now, totalName, total);
    std::optional<long long> hour = Hundredths(rise.hour);
    if (!hour) hour = NotNegative(Value(upload, "rainin", 100));
    if (!hour && !(type && StartsWithNoCase(*type, "AMBWeather"))) hour = NotNegative(Value(upload, gauge.hour, 100));
    std::optional<long long> day = Hundredths(rise.day);
    if (!day) day = NotNegative(Value(upload, gauge.day, 100));
    if (!day) day = NotNegative(Value(upload, "24hourrainin", 100));
    const std::optional<long long> sinceMidnight = NotNegative(Value(upload, gauge.sinceMidnight, 100));
    for (auto [mark, value] : {std::pair{"r", hour}, {"p", day}, {"P", sinceMidnight}})
        if (const std::string d = Digits(value, 3); !d.empty()) line.text += mark + d;

    // Humidity: 1 to 100 %, 100 written "00".
    const std::optional<long long> humidity = Value(upload, "humidity", 1);
    if (humidity && *humidity >= 1 && *humidity <= 100) line.text += "h" + Digits(*humidity % 100, 2);

    // The pressure ends the weather, "b....." when it is unknown.
    const auto [pressure, needsHeight] = Pressure(upload, heightMetres);
    line.pressureNeedsHeight = needsHeight;
    line.text += "b" + fixed(Digits(pressure, 5), 5);

    // Solar radiation after it: "L" 0-999, "l" 1000-1800 less 1000.
    const std::optional<long long> solar = NotNegative(Value(upload, "solarradiation", 1));
    if (solar && *solar <= 999) line.text += "L" + Digits(solar, 3);
    if (solar && *solar >= 1000 && *solar <= 1800) line.text += "l" + Digits(*solar - 1000, 3);
    return line;
}

}  // namespace station
