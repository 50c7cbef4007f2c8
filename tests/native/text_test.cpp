// The text rules: 1-based substrings, trimming, decimal integers, the
// number conversions of the settings fields, and UTF-8 against UTF-16.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

#include "rtl/Text.h"
#include "rtl/Utf.h"

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

TEST(Text, Utf8AndUtf16) {
    // What is not UTF-8 becomes one U+FFFD per maximal ill-formed part, and
    // the text after it is kept.
    struct Case {
        std::string utf8;
        std::u16string utf16;
        bool valid;
    };
    const Case cases[] = {
        {"", u"", true},
        {"N0CALL-13", u"N0CALL-13", true},
        {"C:\\Ελληνικά 日本\\wx.txt", u"C:\\Ελληνικά 日本\\wx.txt", true},
        {"rain \xF0\x9F\x8C\xA7 \xC2\xB0", u"rain \U0001F327 \u00B0", true},  // a surrogate pair
        {"a\0b"s, u"a\0b"s, true},
        {"a\x80" "b", u"a\uFFFDb", false},          // a stray continuation byte
        {"caf\xE9 x", u"caf\uFFFD x", false},                   // Windows-1252, not UTF-8
        {"\xC3", u"\uFFFD", false},                             // cut short at the end
        {"\xE6\x97" "x", u"\uFFFDx", false},                     // 日 cut short: one part
        {"\xC0\xAF", u"\uFFFD\uFFFD", false},                   // overlong "/"
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD", false},         // an encoded surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD", false},  // past U+10FFFF
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(rtl::Utf8ToUtf16(c.utf8), c.utf16);
        EXPECT_EQ(rtl::IsUtf8(c.utf8), c.valid);
        if (c.valid) {
            EXPECT_EQ(rtl::Utf16ToUtf8(c.utf16), c.utf8);
        }
    }
    // Unpaired surrogates from the system's side.
    EXPECT_EQ(rtl::Utf16ToUtf8(u"\xD800x\xDC00"), "\xEF\xBF\xBDx\xEF\xBF\xBD");
}

TEST(Text, ConfigurationFileUtf8OrAnsi) {
    // A Latin-1 reading stands in for the system's code page.
    int ansiReads = 0;
    const rtl::AnsiDecoder latin1 = [&](std::string_view bytes) {
        ++ansiReads;
        std::u16string wide(bytes.begin(), bytes.end());
        for (size_t i = 0; i < bytes.size(); ++i) wide[i] = static_cast<unsigned char>(bytes[i]);
        return rtl::Utf16ToUtf8(wide);
    };
    struct Case {
        std::string file, text;
        bool ansi;
    };
    const Case cases[] = {
        {"C:\\tesk\\wxreport.txt,N0CALL,-1,51,28,59.8\r\n", "C:\\tesk\\wxreport.txt,N0CALL,-1,51,28,59.8\r\n", false},
        {"C:\\Ελληνικά 日本\\wx.txt,N0CALL", "C:\\Ελληνικά 日本\\wx.txt,N0CALL", false},
        {"\xEF\xBB\xBF" "C:\\Caf\xC3\xA9\\wx.txt", "C:\\Café\\wx.txt", false},  // a byte-order mark goes
        {"C:\\Caf\xE9\\wx.txt,N0CALL", "C:\\Café\\wx.txt,N0CALL", true},
        {"C:\\M\xFCnchen\\\xC3\xA9", "C:\\M\xC3\xBCnchen\\\xC3\x83\xC2\xA9", true},  // mixed: all code page
        {"", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        ansiReads = 0;
        EXPECT_EQ(rtl::Utf8OrAnsi(c.file, latin1), c.text);
        EXPECT_EQ(ansiReads, c.ansi ? 1 : 0);
    }
}

}  // namespace
