// An upload's fields as a weather line in APRS notation, the way a report
// writer would have written it, and the little history that the gust and
// the rain need.
//
// Each value is rounded to its field's unit on the decimal digits as sent
// (1.005 in of rain is 101 hundredths, exactly), halves away from zero;
// "-0" is 0. A value that is empty, -9999, not a plain decimal number
// ("nan", "inf", "1e3", bytes over 0x7E), longer than 15 digits, negative
// where it cannot be, or too wide for its field (a humidity outside 1-100)
// is unknown: wind, gust and temperature go out as dots, rain and humidity
// are left out, and the pressure is written "b....." so that the line still
// ends in it. A value within the field's width but beyond what a station
// can measure (t150) is written as sent, for the reading's checks to name.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "rtl/Clock.h"
#include "station/Upload.h"

namespace station {

// A decimal number as text ("-12.345", "+3", ".5", blanks around it, at
// most 15 digits) times 10^decimals (0 to 6), rounded to the nearest
// integer, halves away from zero; nothing for anything else.
std::optional<long long> ScaledDecimal(std::string_view text, int decimals);

// Line 1 of a station's reading: the time received, in UTC, as report
// writers write it in English ("Dec 08 2026 14:27").
std::string ReceivedLine(rtl::TimePoint received);

// What the gust and the rain of earlier uploads leave for the next one:
// the highest gusts of the last 5 minutes (only those that a later, higher
// one does not hide), and the rain gauge's running total about once a
// minute over the last 24 hours. Both stay small whatever is sent.
class ReadingHistory {
public:
    struct Sample {
        rtl::TimePoint time;
        long long value;
    };
    // The highest gust (mph) of the last 5 minutes, this one included.
    std::optional<long long> Gust(rtl::TimePoint now, std::optional<long long> gust);
    // Adds the running total (millionths of an inch) of the named total
    // field; returns the rise over the last hour and the last 24 hours,
    // where uploads span that time with no gap of more than 10 minutes at
    // its start. A total that falls was reset and counts on from there.
    struct Rise {
        std::optional<long long> hour, day;
    };
    Rise Rain(rtl::TimePoint now, const std::string& source, std::optional<long long> total);
    void Clear();
    std::size_t Size() const { return gusts_.size() + rain_.size(); }

private:
    std::deque<Sample> gusts_;  // times rising, values falling
    std::deque<Sample> rain_;   // the rain fallen since the first sample, one a minute
    std::string rainSource_;
    std::optional<long long> lastTotal_;
    long long fallen_ = 0;
    std::optional<rtl::TimePoint> last_;
};

struct WeatherLine {
    std::string text;                  // "180/005g010t072r000p000P000h55b10150L456"
    bool pressureNeedsHeight = false;  // relative equal to absolute and no height: pressure unknown
};

// The weather line of an upload received at `now`, with the station's
// height when given, adding to and reading from the history.
WeatherLine MakeWeatherLine(const Upload& upload, rtl::TimePoint now, std::optional<double> heightMetres,
                            ReadingHistory& history);

// The altimeter setting (hPa) of a station pressure (hPa) at a height (m),
// by the U.S. National Weather Service's formula.
double AltimeterSetting(double stationPressure, double heightMetres);

}  // namespace station
