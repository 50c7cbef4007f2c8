#include "upload/Weather.h"

#include <cmath>
#include <cstdio>
#include <string_view>

#include "rtl/Text.h"

namespace upload {

namespace {

using State = WeatherField::State;

// What a station can measure, and how far it may move within an hour, as
// NOAA's quality control of these reports takes it. Rain has no limits:
// any three digits.
struct Limits {
    long low, high;
    const char* name;
    const char* unit;
    long hourly = 0;  // 0: not checked
};

Limits LimitsOf(Quantity q) {
    switch (q) {
    case Quantity::WindDirection: return {0, 360, "wind direction", "degrees"};
    case Quantity::WindSpeed: return {0, 287, "wind speed", "mph"};
    case Quantity::Gust: return {0, 287, "gust", "mph"};
    case Quantity::Temperature: return {-60, 130, "temperature", "F", 35};
    case Quantity::RainHour: return {0, 999, "rain last hour", "1/100 in"};
    case Quantity::Rain24Hours: return {0, 999, "rain last 24 hours", "1/100 in"};
    case Quantity::RainSinceMidnight: return {0, 999, "rain since midnight", "1/100 in"};
    case Quantity::Humidity: return {1, 100, "humidity", "%", 50};
    case Quantity::Pressure: return {5680, 11000, "pressure", "1/10 hPa", 100};
    case Quantity::SolarRadiation: return {0, 1800, "solar radiation", "W/m2"};
    case Quantity::Snow: return {0, 999, "snow last 24 hours", "in"};
    case Quantity::Other: break;
    }
    return {0, 0, "", ""};
}

// A field as the line gave it, for the log and the plain words: its mark
// and value, blanks at the end of the value left out ("t-5 " gives "t-5").
std::string AsRead(const WeatherField& f) {
    const std::size_t end = f.read.find_last_not_of(' ');
    return f.mark + f.read.substr(0, end == std::string::npos ? 0 : end + 1);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Digits, a leading minus allowed.
bool IsNumber(const std::string& text) {
    bool number = !text.empty() && text != "-";
    for (std::size_t i = 0; i < text.size(); ++i) number = number && (IsDigit(text[i]) || (i == 0 && text[i] == '-'));
    return number;
}
// The marks of the fields that are judged; a value ends at the next of them.
bool IsMark(char c) { return std::string_view("csgtrpPhb").find(c) != std::string_view::npos; }

bool AllOf(const std::string& text, char c) {
    return !text.empty() && text.find_first_not_of(c) == std::string::npos;
}

// Judges a field's value as read: `width` digits (a leading minus only for
// the temperature) within the limits, dots, or neither.
void Judge(WeatherField& f, std::size_t width) {
    const std::string& v = f.read;
    f.sent = v;
    if (v.size() == width && AllOf(v, '.')) {
        f.state = State::NoReading;
        return;
    }
    const bool negative = f.quantity == Quantity::Temperature && v.size() > 1 && v[0] == '-';
    bool number = v.size() == width;
    for (std::size_t i = negative ? 1 : 0; number && i < v.size(); ++i) number = IsDigit(v[i]);
    const Limits limits = LimitsOf(f.quantity);
    if (number) {
        f.value = std::strtol(v.c_str(), nullptr, 10);
        if (f.quantity == Quantity::Humidity && f.value == 0) f.value = 100;
    }
    if (number && f.value >= limits.low && f.value <= limits.high) {
        f.state = State::Value;
        return;
    }
    f.state = State::Rejected;
    f.sent = std::string(width, '.');
}

// The value at pos: at most `most` characters, up to the next mark.
std::string TakeValue(const std::string& line, std::size_t& pos, std::size_t most) {
    const std::size_t start = pos;
    while (pos < line.size() && pos - start < most && !IsMark(line[pos])) ++pos;
    return line.substr(start, pos - start);
}

Quantity QuantityOfMark(char mark, bool afterCourse) {
    switch (mark) {
    case 'c': return Quantity::WindDirection;
    case 's': return afterCourse ? Quantity::WindSpeed : Quantity::Other;
    case 'g': return Quantity::Gust;
    case 't': return Quantity::Temperature;
    case 'r': return Quantity::RainHour;
    case 'p': return Quantity::Rain24Hours;
    case 'P': return Quantity::RainSinceMidnight;
    case 'h': return Quantity::Humidity;
    case 'b': return Quantity::Pressure;
    default: return Quantity::Other;
    }
}

std::size_t DigitsFrom(const std::string& line, std::size_t pos) {
    std::size_t end = pos;
    while (end < line.size() && IsDigit(line[end])) ++end;
    return end - pos;
}

// The fields after the pressure, from pos, in the order read, until the
// first character that begins none of them.
void ReadAfterPressure(const std::string& line, std::size_t pos, bool lineEnded, std::vector<WeatherField>& fields) {
    while (pos < line.size()) {
        const char mark = line[pos];
        const std::size_t digits = DigitsFrom(line, pos + 1);
        WeatherField f{mark == 's' ? Quantity::Snow : Quantity::SolarRadiation, std::string(1, mark), "", ""};
        if (mark == '#' && digits > 0) {  // a raw rain counter: not sent
            pos += 1 + digits;
            continue;
        }
        if (mark == 's' && (digits == 3 || line.compare(pos + 1, 3, "...") == 0)) {
            f.read = line.substr(pos + 1, 3);
            Judge(f, 3);
        } else if ((mark == 'L' && (digits == 3 || digits == 4)) || (mark == 'l' && digits == 3)) {
            f.read = line.substr(pos + 1, digits);
            const bool last = pos + 1 + digits == line.size();
            f.value = std::strtol(f.read.c_str(), nullptr, 10) + (mark == 'l' ? 1000 : 0);
            if (mark == 'L' && digits == 3 && last && !lineEnded && f.value >= 100 && f.value <= 180) return;
            f.state = f.value <= LimitsOf(f.quantity).high ? State::Value : State::Rejected;
            f.sentMark = f.value < 1000 ? "L" : "l";
            const long shown = f.value % 1000;
            f.sent = std::string{char('0' + shown / 100), char('0' + shown / 10 % 10), char('0' + shown % 10)};
        } else {
            return;  // a comment, or a field cut short
        }
        fields.push_back(f);
        pos += 1 + f.read.size();
    }
}

}  // namespace

WeatherReading ReadWeather(const std::string& line, bool lineEnded) {
    WeatherReading reading;
    std::vector<WeatherField> others;  // everything but humidity and pressure
    WeatherField humidity{Quantity::Humidity, "h", "", "", State::Missing};
    WeatherField pressure{Quantity::Pressure, "b", "", "", State::Missing};
    std::vector<WeatherField> afterPressure;
    std::size_t pos = 0;

    // Wind as course and speed: "ddd/sss" at the start.
    if (line.size() >= 7 && line[3] == '/') {
        bool wind = true;
        for (std::size_t i : {0, 1, 2, 4, 5, 6}) wind = wind && !IsMark(line[i]);
        if (wind) {
            WeatherField course{Quantity::WindDirection, "", line.substr(0, 3), ""};
            WeatherField speed{Quantity::WindSpeed, "/", line.substr(4, 3), ""};
            Judge(course, 3);
            Judge(speed, 3);
            others.push_back(course);
            others.push_back(speed);
            pos = 7;
        }
    }
    bool afterCourse = false;
    while (pos < line.size()) {
        const char mark = line[pos];
        if (IsDigit(mark) || mark == '.' || mark == '-' || mark == ' ') {
            // Figures left over after a field, or before the first one, belong
            // to no field: they do not go out.
            TakeValue(line, pos, line.size());
            continue;
        }
        ++pos;
        const Quantity q = QuantityOfMark(mark, afterCourse);
        afterCourse = q == Quantity::WindDirection;
        WeatherField f{q, std::string(1, mark), "", ""};
        if (q == Quantity::Other) {
            f.read = f.sent = TakeValue(line, pos, line.size());
            others.push_back(f);
        } else if (q == Quantity::Humidity) {
            // Two digits ("00" is 100 %), or three: "055" is 55 %, "100"
            // is 100 %, and "000" no reading (100 is written "100").
            const bool three = DigitsFrom(line, pos) >= 3;
            f.read = TakeValue(line, pos, three ? 3 : 2);
            if (f.read == "000") {
                f.state = State::NoReading;
            } else {
                Judge(f, three ? 3 : 2);
                if (f.state == State::Value) f.sent = f.value == 100 ? "00" : f.read.substr(three ? 1 : 0);
            }
            humidity = f;
        } else if (q == Quantity::Pressure) {
            // Digits or dots, five at most; under 1000.0 hPa the leading
            // zero may be left out. What follows is read as what may
            // follow the pressure.
            const char kind = pos < line.size() && line[pos] == '.' ? '.' : '0';
            const std::size_t start = pos;
            while (pos < line.size() && pos - start < 5 && (kind == '.' ? line[pos] == '.' : IsDigit(line[pos]))) ++pos;
            f.read = line.substr(start, pos - start);
            const bool shortForm = f.read.size() == 4 && (f.read[0] == '8' || f.read[0] == '9');
            if (shortForm) {
                const std::string read = f.read;
                f.read = "0" + read;
                Judge(f, 5);
                f.read = read;
            } else {
                Judge(f, 5);
            }
            pressure = f;
            ReadAfterPressure(line, pos, lineEnded, afterPressure);
            break;
        } else {
            f.read = TakeValue(line, pos, 3);
            Judge(f, 3);
            others.push_back(f);
        }
    }
    reading.fields = std::move(others);
    reading.fields.push_back(humidity);
    reading.fields.push_back(pressure);
    reading.fields.insert(reading.fields.end(), afterPressure.begin(), afterPressure.end());
    // An optional field not known does not go out at all.
    for (WeatherField& f : reading.fields)
        if (IsOptional(f.quantity) && f.state != State::Value) f.sent.clear();
    return reading;
}

bool IsOptional(Quantity quantity) {
    return quantity == Quantity::RainHour || quantity == Quantity::Rain24Hours ||
           quantity == Quantity::RainSinceMidnight || quantity == Quantity::Humidity || quantity == Quantity::Pressure ||
           quantity == Quantity::SolarRadiation || quantity == Quantity::Snow;
}

long HourlyLimit(Quantity quantity) { return LimitsOf(quantity).hourly; }

void HoldBack(WeatherField& field, long before) {
    field.state = State::HeldBack;
    field.before = before;
    field.sent = IsOptional(field.quantity) ? "" : std::string(field.sent.size(), '.');
}

std::string WeatherReading::Notation() const {
    std::string text;
    for (const WeatherField& f : fields)
        if (!(IsOptional(f.quantity) && f.sent.empty())) text += (f.sentMark.empty() ? f.mark : f.sentMark) + f.sent;
    return text;
}

bool WeatherReading::AnyValue() const {
    for (const WeatherField& f : fields)
        if (f.state == State::Value && (f.quantity != Quantity::Other || f.read.find_first_of("0123456789") != std::string::npos))
            return true;
    return false;
}

const WeatherField* WeatherReading::Find(Quantity quantity) const {
    for (const WeatherField& f : fields)
        if (f.quantity == quantity) return &f;
    return nullptr;
}

std::vector<std::string> WeatherRejections(const WeatherReading& reading) {
    std::vector<std::string> texts;
    for (const WeatherField& f : reading.fields) {
        if (f.state != State::Rejected && f.state != State::HeldBack) continue;
        const Limits l = LimitsOf(f.quantity);
        std::string text = AsRead(f) + " (" + l.name + ") ";
        if (f.state == State::HeldBack) {
            text += "jumped from " + rtl::Decimal(f.before) + " " + l.unit + " within the hour, more than " +
                    rtl::Decimal(l.hourly) + " " + l.unit;
        } else if (IsNumber(f.read) && (f.read.size() == 3 || f.quantity == Quantity::Pressure ||
                                        f.quantity == Quantity::SolarRadiation ||
                                        (f.quantity == Quantity::Humidity && f.read.size() == 2))) {
            text += "outside " + rtl::Decimal(l.low) + ".." + rtl::Decimal(l.high) + " " + l.unit;
        } else {
            text += "not a reading";
        }
        texts.push_back(text + (f.sent.empty() ? ": left out" : ": sent as " + f.mark + f.sent));
    }
    return texts;
}

namespace {

const char* const kDegree = "\xC2\xB0";  // the degree sign, in UTF-8
const char* const kSeparator = " \xC2\xB7 ";  // and its middle dot

std::string Fixed(double value, int decimals) { return rtl::FormatFixed(value, decimals, '.'); }

}  // namespace

std::string ValueInUnits(Quantity q, long v, Units units) {
    const bool metric = units == Units::Metric;
    switch (q) {
    case Quantity::Temperature:
        return metric ? Fixed((v - 32) * 5.0 / 9.0, 1) + " " + kDegree + "C" : rtl::Decimal(v) + " " + kDegree + "F";
    case Quantity::Humidity: return rtl::Decimal(v) + " %";
    case Quantity::Pressure:
        return metric ? Fixed(v / 10.0, 1) + " hPa" : Fixed(v / 10.0 * 0.0295299830714, 2) + " inHg";
    case Quantity::WindSpeed:
    case Quantity::Gust: return metric ? Fixed(v * 1.609344, 0) + " km/h" : rtl::Decimal(v) + " mph";
    case Quantity::RainHour:
    case Quantity::Rain24Hours:
    case Quantity::RainSinceMidnight: return metric ? Fixed(v * 0.254, 1) + " mm" : Fixed(v / 100.0, 2) + " in";
    case Quantity::WindDirection: return rtl::Decimal(v) + kDegree;
    case Quantity::SolarRadiation: return rtl::Decimal(v) + " W/m\xC2\xB2";
    case Quantity::Snow:
    case Quantity::Other: break;
    }
    return rtl::Decimal(v);
}

namespace {

std::string Compass(long degrees) {
    static const char* const points[] = {"N", "NNE", "NE", "ENE", "E", "ESE", "SE", "SSE",
                                         "S", "SSW", "SW", "WSW", "W", "WNW", "NW", "NNW"};
    return points[((degrees * 2 + 22) / 45) % 16];
}

// A field in words after its label: its value in units, or what was read
// and "not sent"; empty when there is no reading.
std::string Words(const WeatherField* f, Units units, const std::string& label = "") {
    if (!f || f->state == State::NoReading || f->state == State::Missing) return {};
    if (f->state == State::Value) return label + ValueInUnits(f->quantity, f->value, units);
    if (f->state == State::HeldBack)
        return std::string(LimitsOf(f->quantity).name) + " not sent: " + ValueInUnits(f->quantity, f->value, units) +
               " after " + ValueInUnits(f->quantity, f->before, units);
    if (IsNumber(f->read)) {
        // Solar radiation's value is not its digits alone ("l900" is 1900 W/m2).
        const long value = f->quantity == Quantity::SolarRadiation ? f->value : std::strtol(f->read.c_str(), nullptr, 10);
        return label + ValueInUnits(f->quantity, value, units) + " not sent";
    }
    return std::string(LimitsOf(f->quantity).name) + " " + AsRead(*f) + " not sent";
}

}  // namespace

std::string DescribeWeather(const WeatherReading& reading, Units units) {
    std::string text;
    auto add = [&text](const std::string& part) {
        if (!part.empty()) text += (text.empty() ? "" : kSeparator) + part;
    };
    add(Words(reading.Find(Quantity::Temperature), units));
    add(Words(reading.Find(Quantity::Humidity), units));
    add(Words(reading.Find(Quantity::Pressure), units));

    const WeatherField* course = reading.Find(Quantity::WindDirection);
    const WeatherField* speed = reading.Find(Quantity::WindSpeed);
    const WeatherField* gust = reading.Find(Quantity::Gust);
    const bool calm = speed && speed->state == State::Value && speed->value == 0;
    std::string wind;
    if (course && course->state == State::Value) {
        if (!calm) wind += " " + Compass(course->value);
    } else if (!Words(course, units).empty()) {
        wind += " " + Words(course, units);
    }
    wind += calm ? " calm" : Words(speed, units, " ");
    // The gust in the speed's units, said once.
    std::string g = Words(gust, units, ", gusts ");
    if (!g.empty() && gust->state == State::Value && speed && speed->state == State::Value && !calm)
        g = g.substr(0, g.rfind(' '));
    if (!wind.empty() || !g.empty()) add("wind" + wind + (wind.empty() && !g.empty() ? " " + g.substr(2) : g));

    const WeatherField* rain = reading.Find(Quantity::RainHour);
    add(Words(rain, units, "rain ") + (rain && rain->state == State::Value ? "/h" : ""));
    add(Words(reading.Find(Quantity::SolarRadiation), units, "sun "));
    return text;
}

}  // namespace upload
