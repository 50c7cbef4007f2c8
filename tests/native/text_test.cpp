// The text rules: 1-based substrings, trimming, decimal integers and the
// number conversions of the settings fields.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

#include "rtl/Text.h"

using namespace std::string_literals;

namespace {

struct SubstringCase {
    std::string text;
    long long start, count;
    std::string expected;
};

TEST(Text, Substring) {
    const SubstringCase cases[] = {
        {"Jan 05 2008 14:30", 5, 2, "05"},
        {"Jan 05 2008 14:30", 13, 2, "14"},
        {"Jan 05 2008 14:30", 16, 2, "30"},
        {"Jan 05 2008 14:30", 16, 5, "30"},   // a count past the end stops there
        {"Jan 05 2008 14:30", 17, 2, "0"},
        {"Jan 05 2008 14:30", 18, 2, ""},     // start beyond the end
        {"abc", 0, 2, "ab"},                  // start below 1 counts as 1
        {"abc", -5, 2, "ab"},
        {"abc", LLONG_MIN, 2, "ab"},
        {"abc", 1, -1, ""},                   // negative count
        {"abc", 1, 0, ""},
        {"abc", 2, LLONG_MAX, "bc"},
        {"abc", LLONG_MAX, 1, ""},
        {"", 1, 3, ""},
        {"a\0b"s, 2, 2, "\0b"s},              // NUL is an ordinary character
    };
    for (const auto& c : cases)
        EXPECT_EQ(rtl::Substring(c.text, c.start, c.count), c.expected)
            << '"' << c.text << "\" " << c.start << ' ' << c.count;
}

TEST(Text, FindAndLast) {
    EXPECT_EQ(rtl::Find('h', "t065h55b10150"), 5);
    EXPECT_EQ(rtl::Find('h', "hh"), 1);
    EXPECT_EQ(rtl::Find('h', "abc"), 0);
    EXPECT_EQ(rtl::Find('h', ""), 0);
    EXPECT_EQ(rtl::Find('\0', "ab\0"s), 3);

    EXPECT_EQ(rtl::Last("0010150", 5), "10150");
    EXPECT_EQ(rtl::Last("009980", 5), "09980");
    EXPECT_EQ(rtl::Last("0051", 2), "51");
    EXPECT_EQ(rtl::Last("ab", 5), "ab");  // shorter text: the whole of it
    EXPECT_EQ(rtl::Last("ab", 0), "");
    EXPECT_EQ(rtl::Last("ab", -1), "");
    EXPECT_EQ(rtl::Last("", 2), "");
}

TEST(Text, TrimmedAndWithoutControls) {
    const std::pair<std::string, std::string> trims[] = {
        {"  -1  ", "-1"},
        {"\t-1\r\n", "-1"},
        {"\0 CW1234 \x7f"s, "CW1234"},
        {"a b", "a b"},           // inner blanks stay
        {"\xa0x\xa0", "\xa0x\xa0"},  // bytes above 127 are not blanks
        {" \x01\x1f ", ""},
        {"", ""},
    };
    for (const auto& [in, out] : trims) EXPECT_EQ(rtl::Trimmed(in), out);

    EXPECT_EQ(rtl::WithoutControls("a\rb\nc\0d\x1a" "e\x7f" "f\x80 g"s), "abcdef\x80 g");
    EXPECT_TRUE(rtl::IsControl('\0'));
    EXPECT_TRUE(rtl::IsControl('\x1f'));
    EXPECT_TRUE(rtl::IsControl('\x7f'));
    EXPECT_FALSE(rtl::IsControl(' '));
    EXPECT_FALSE(rtl::IsControl('\x80'));
    EXPECT_FALSE(rtl::IsControl('\xff'));
}

TEST(Text, Decimal) {
    EXPECT_EQ(rtl::Decimal(0), "0");
    EXPECT_EQ(rtl::Decimal(7), "7");
    EXPECT_EQ(rtl::Decimal(-5), "-5");
    EXPECT_EQ(rtl::Decimal(10150), "10150");
    EXPECT_EQ(rtl::Decimal(LLONG_MAX), "9223372036854775807");
    EXPECT_EQ(rtl::Decimal(LLONG_MIN), "-9223372036854775808");
}

TEST(Text, TryStrToInt) {
    const std::pair<std::string, int> valid[] = {
        {"0", 0}, {"180", 180}, {"+5", 5}, {"-5", -5}, {"-0", 0}, {"007", 7},
        {" 42", 42}, {"42 ", 42}, {"\t42\t", 42},
        {"2147483647", INT_MAX}, {"-2147483648", INT_MIN},
    };
    for (const auto& [text, expected] : valid) {
        int value = -999;
        EXPECT_TRUE(rtl::TryStrToInt(text, value)) << text;
        EXPECT_EQ(value, expected) << text;
    }
    const std::string invalid[] = {
        "", " ", "+", "-", "--5", "+-5", "4 2", "1.5", "1,5", "1e3", "$1F", "0x1F", "x1F",
        "2147483648", "-2147483649", "99999999999999999999", "12a", "a12", "5\0"s, "\xb2",
    };
    for (const auto& text : invalid) {
        int value = 123;
        EXPECT_FALSE(rtl::TryStrToInt(text, value)) << text;
        EXPECT_EQ(value, 123) << "a failed read leaves the value alone: " << text;
    }
}

TEST(Text, TryStrToFloat) {
    struct Case {
        std::string text;
        char separator;
        long double expected;
    };
    const Case valid[] = {
        {"30.000", '.', 30.0L}, {"15", '.', 15.0L}, {"1.5", '.', 1.5L}, {"59.999", '.', 59.999L},
        {"1,5", ',', 1.5L}, {"-2.25", '.', -2.25L}, {"+4.5", '.', 4.5L}, {" 7.5 ", '.', 7.5L},
        {".5", '.', 0.5L}, {"5.", '.', 5.0L}, {"1e1", '.', 10.0L}, {"1.5E-1", '.', 0.15L},
        {"25e+0", '.', 25.0L}, {"0.000", '.', 0.0L}, {"-0", '.', 0.0L},
        {"000000000000000000000000059.5", '.', 59.5L},
        {"0.00000000000000000000000000000000000001", '.', 1e-38L},
        {"123456789012345678901234567890", '.', 1.234567890123456789e29L},
        {"1e-99999999999999999999", '.', 0.0L},  // underflows to zero
        {"1e4000", '.', 1e4000L},
    };
    for (const auto& c : valid) {
        long double value = -1;
        EXPECT_TRUE(rtl::TryStrToFloat(c.text, c.separator, value)) << c.text;
        // Exact for everything a field holds; within a few units in the last
        // place for extreme exponents.
        EXPECT_LE(std::fabs(value - c.expected), std::fabs(c.expected) * 1e-17L) << c.text;
        EXPECT_FALSE(std::signbit(value) && value == 0) << "no negative zero: " << c.text;
    }
    const std::pair<std::string, char> invalid[] = {
        {"", '.'}, {" ", '.'}, {".", '.'}, {"-", '.'}, {"1.5", ','}, {"1,5", '.'}, {"1.2.3", '.'},
        {"e5", '.'}, {"1e", '.'}, {"1e+", '.'}, {"1e5.5", '.'}, {"abc", '.'}, {"1 5", '.'},
        {"inf", '.'}, {"nan", '.'}, {"0x10", '.'}, {"1e99999999999999999999", '.'}, {"1e5000", '.'},
        {"12\0"s, '.'}, {"1.5x", '.'},
    };
    for (const auto& [text, separator] : invalid) {
        long double value = 42;
        EXPECT_FALSE(rtl::TryStrToFloat(text, separator, value)) << text;
        EXPECT_EQ(value, 42) << text;
    }
}

TEST(Text, FormatFixed) {
    struct Case {
        long double value;
        int decimals;
        char separator;
        std::string expected;
    };
    const Case cases[] = {
        {0, 3, '.', "0.000"},        {30, 3, '.', "30.000"},      {59.999L, 3, '.', "59.999"},
        {1.5L, 3, ',', "1,500"},     {0.0004L, 3, '.', "0.000"},  {0.0006L, 3, '.', "0.001"},
        {59.9996L, 3, '.', "60.000"}, {-1.25L, 3, '.', "-1.250"},  {-0.0001L, 3, '.', "0.000"},
        {-0.0L, 3, '.', "0.000"},    {2.5L, 0, '.', "3"},         {0.25L, 1, '.', "0.3"},
        {1e300L, 3, '.', "1000000000000000.000"}, {-1e300L, 3, '.', "-1000000000000000.000"},
        {NAN, 3, '.', "0.000"},      {INFINITY, 3, '.', "1000000000000000.000"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rtl::FormatFixed(c.value, c.decimals, c.separator), c.expected) << (double)c.value;
}

}  // namespace
