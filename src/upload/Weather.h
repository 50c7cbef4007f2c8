// The weather line read field by field, in APRS weather notation: what each
// field says, whether it is a value a real station can measure, what goes
// out in its place when it is not, and the reading in plain words. The
// packet, the window and the log all take the reading from here.
#pragma once

#include <string>
#include <vector>

namespace upload {

enum class Quantity {
    WindDirection,  // degrees, "ddd/sss" or "cddd"
    WindSpeed,      // mph, "ddd/sss" or "sddd" after "cddd"
    Gust,           // mph, "g"
    Temperature,    // degrees Fahrenheit, "t", a leading minus allowed
    RainHour,       // hundredths of an inch, "r" (last hour)
    Rain24Hours,    // "p"
    RainSinceMidnight,  // "P"
    Humidity,       // percent, "h" and two digits ("00" or "100" is 100), or three ("055")
    Pressure,       // tenths of hPa, "b" and five digits (four beginning with 8 or 9 under 1000.0)
    SolarRadiation, // W/m2, after the pressure: "L" and three digits (or four), "l" and three (1000 more)
    Snow,           // inches in the last 24 hours, after the pressure: "s" and three digits
    Other,          // anything else before the pressure, passed on as it stands
};

struct WeatherField {
    enum class State {
        Value,      // a plausible number, in value
        NoReading,  // dots: the station has no reading
        Rejected,   // outside the limits, or not a number: not sent
        Missing,    // humidity or pressure the line does not hold
        HeldBack,   // a jump beyond the hour's limit from the value sent before: not sent
    };
    Quantity quantity = Quantity::Other;
    std::string mark;  // what stands before the value ("t", "/", "" for the wind direction of "ddd/sss")
    std::string read;  // the value as the line gives it
    std::string sent;  // the value as it goes out
    State state = State::Value;
    long value = 0;   // the number, when state is Value or HeldBack
    long before = 0;  // HeldBack: the value sent before, from which it jumped
    std::string sentMark = "";  // the mark as it goes out, when not the one read ("l" for "L1000")
};

// Rain, humidity and pressure are optional in a weather report: one that is
// not known (dots, missing, rejected or held back) is left out of the
// packet, as the most widely used parser reads dots only where a field's
// place is fixed (wind, gust, temperature), and takes anything else for
// comment text, losing the fields after it.
bool IsOptional(Quantity quantity);

struct WeatherReading {
    // In the line's order, then the humidity and the pressure, and after
    // them the fields that follow the pressure, in the order read.
    std::vector<WeatherField> fields;

    // The weather part of the packet: each field's mark and value as sent,
    // optional fields without a value left out.
    std::string Notation() const;
    // Whether any field carries a value, not only dots.
    bool AnyValue() const;
    // The first field of that quantity, or nullptr.
    const WeatherField* Find(Quantity quantity) const;
};

// Reads a weather line of printable ASCII. After the pressure (the first
// "b") only solar radiation ("L", "l") and snow ("s") are read, in the order
// read; a raw rain counter ("#") is left out, and the first character that
// begins none of these starts a comment, which is not sent. A field cut
// short is left out, and so is a last "L" with three digits from 100 to 180
// when no line end followed the line (lineEnded false): it may be the first
// three digits of a value of four being written.
WeatherReading ReadWeather(const std::string& line, bool lineEnded = true);

// The most a temperature (F), humidity (points) or pressure (1/10 hPa)
// may move within an hour, as NOAA's quality control of these reports
// takes it; 0 for the quantities it does not check so.
long HourlyLimit(Quantity quantity);

// Marks a plausible value as held back, a jump from `before`: it goes out
// unknown (dots, or left out when optional).
void HoldBack(WeatherField& field, long before);

// One text for each field not sent although the line gave it ("t150
// (temperature) outside -60..130 F: sent as t...", "h5 (humidity) not a
// reading: left out"), for the log.
std::vector<std::string> WeatherRejections(const WeatherReading& reading);

enum class Units { Metric, US };

// A value of the quantity in the given units: "18.3 °C", "29.97 inHg"
// (in UTF-8).
std::string ValueInUnits(Quantity quantity, long value, Units units);

// The reading in plain words, in the given units, fields not sent marked as
// such with the value read: "18.3 °C · 55 % · 1015.0 hPa · wind S 8 km/h,
// gusts 16 · rain 0.0 mm/h" (in UTF-8), a held-back one with the value
// before it ("temperature not sent: 120 °F after 70 °F"). Fields with no
// reading are left out.
std::string DescribeWeather(const WeatherReading& reading, Units units);

}  // namespace upload
