// How the spin fields' text is read, clamped and shown.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

#include "config/StationSettings.h"
#include "rtl/SpinRules.h"
#include "upload/Packet.h"

using namespace rtl;
using settings::kDegreesRange;
using settings::kIntervalRange;
using settings::kMinutesRange;

namespace {

TEST(StationSettings, IntegerFieldReadsTextWithoutClamping) {
    struct Case {
        std::string text;
        int fieldMin;
        int expected;
    };
    const Case cases[] = {
        {"200", 0, 200},       // typed above the range, field not yet left
        {"-5", 0, -5},
        {"", 10, 10},          // a cleared Interval reads as its minimum
        {"", 0, 0},
        {"abc", 10, 10},
        {"1.5", 0, 0},         // the decimal separator can be typed, but is no integer
        {"+", 10, 10},
        {"99999999999", 10, 10},  // does not fit: not a valid integer
        {" 45 ", 0, 45},
        {"$1F", 0, 0},
        {"0999", 10, 999},
    };
    for (const auto& c : cases) EXPECT_EQ(ReadIntegerField(c.text, c.fieldMin), c.expected) << c.text;
}

TEST(StationSettings, ClampInteger) {
    EXPECT_EQ(ClampInteger(200, kDegreesRange), 180);
    EXPECT_EQ(ClampInteger(-1, kDegreesRange), 0);
    EXPECT_EQ(ClampInteger(60, kMinutesRange), 59);
    EXPECT_EQ(ClampInteger(5, kIntervalRange), 10);
    EXPECT_EQ(ClampInteger(1000, kIntervalRange), 999);
    EXPECT_EQ(ClampInteger(123, kDegreesRange), 123);
    EXPECT_EQ(ClampInteger(LLONG_MAX, kIntervalRange), 999);
    EXPECT_EQ(ClampInteger(LLONG_MIN, kDegreesRange), 0);
}

TEST(StationSettings, DecimalFieldReadsWithTheLocalesSeparator) {
    struct Case {
        std::string text;
        char separator;
        long double expected;
    };
    const Case cases[] = {
        {"30.000", '.', 30.0L}, {"15.000", '.', 15.0L}, {"59.999", '.', 59.999L}, {"1,5", ',', 1.5L},
        {"75", '.', 75.0L},     // not clamped on reading
        {"", '.', 0},           {"abc", '.', 0},        {"1.5", ',', 0},   // the other separator is no number
        {"1e1", '.', 10.0L},    {"-3", '.', -3.0L},     {"1e99999", '.', 0},  // too large: not a number
    };
    for (const auto& c : cases) EXPECT_EQ(ReadDecimalField(c.text, c.separator), c.expected) << c.text;
}

TEST(StationSettings, SecondsAreClampedAndShownWithThreeDecimals) {
    EXPECT_EQ(ClampSeconds(75), kSecondsMax);
    EXPECT_EQ(FormatSeconds(ClampSeconds(75), '.'), "59.999");  // setting LatSec to 75 shows 59.999
    EXPECT_EQ(ClampSeconds(-1), 0);
    EXPECT_FALSE(std::signbit(ClampSeconds(-0.0L)));
    EXPECT_EQ(ClampSeconds(NAN), 0);
    EXPECT_EQ(ClampSeconds(INFINITY), kSecondsMax);
    EXPECT_EQ(ClampSeconds(30.5L), 30.5L);

    EXPECT_EQ(FormatSeconds(0, '.'), "0.000");
    EXPECT_EQ(FormatSeconds(30, '.'), "30.000");
    EXPECT_EQ(FormatSeconds(1.5L, ','), "1,500");
    EXPECT_EQ(FormatSeconds(12.3456L, '.'), "12.346");
}

TEST(StationSettings, ShownSecondsReadBackToTheSameValue) {
    // Restore sets a value, the field shows it, the composer reads the text:
    // the reading must give the shown thousandths exactly.
    for (int thousandths = 0; thousandths <= 59999; thousandths += 7) {
        const long double value = thousandths / 1000.0L;
        for (char separator : {'.', ','}) {
            const std::string shown = FormatSeconds(ClampSeconds(value), separator);
            const long double read = ReadDecimalField(shown, separator);
            ASSERT_EQ(read, static_cast<long double>(thousandths) / 1000.0L) << shown;
            ASSERT_EQ(FormatSeconds(read, separator), shown);
        }
    }
}

TEST(StationSettings, ANewDecimalSeparatorKeepsTheValueOfTheText) {
    struct Case {
        std::string text;
        char from, to;
        std::string rewritten;
    };
    const Case cases[] = {
        {"12.500", '.', ',', "12,500"}, {"12,500", ',', '.', "12.500"},
        {"12", '.', ',', "12"},         {"1.5e1", '.', ',', "1,5e1"},
        {" .5 ", '.', ',', " ,5 "},     {"-3.", '.', ',', "-3,"},
        {"12.500", '.', '.', "12.500"},  // the same separator: nothing to do
        {"", '.', ',', ""},             {"1e", '.', ',', "1e"},  // no number: left as it is
        {"1,5", '.', ',', "1,5"},       // not a number under the old separator either
        {"1.5", '.', 'e', "1e5"},       // the separator before the exponent letter
        {"1.5", '.', '5', "1.5"},       // "155" would read as another value: left as it is
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text + " " + c.from + " -> " + c.to);
        const std::string rewritten = ResetDecimalSeparator(c.text, c.from, c.to);
        EXPECT_EQ(rewritten, c.rewritten);
        if (rewritten != c.text) {
            EXPECT_EQ(ReadDecimalField(rewritten, c.to), ReadDecimalField(c.text, c.from));
        }
    }
}

TEST(StationSettings, ReadSecondsGiveTheHundredthsOfTheWorkedExample) {
    EXPECT_EQ(upload::Hundredths(ReadDecimalField("30.000", '.')), 50);
    EXPECT_EQ(upload::Hundredths(ReadDecimalField("15.000", '.')), 25);
    EXPECT_EQ(upload::Hundredths(ReadDecimalField("1.500", '.')), 2);
    EXPECT_EQ(upload::Hundredths(ReadDecimalField("4,500", ',')), 8);
}

}  // namespace
