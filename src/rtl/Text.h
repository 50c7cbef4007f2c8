// Text rules shared by the whole program: 1-based substrings, trimming,
// decimal integers, and number conversions that read and write numbers the
// way the settings fields show them. Text is UTF-8, handled byte by byte; no
// locale is consulted (the decimal separator is passed in where it matters).
#pragma once

#include <string>

namespace rtl {

// The characters from position start (1-based) on, at most count of them. A
// start below 1 counts as 1; a start beyond the end or a negative count gives
// empty text; a count reaching past the end stops at the end.
std::string Substring(const std::string& text, long long start, long long count);

// Position (1-based) of the first occurrence of marker in text; 0 if none.
long long Find(char marker, const std::string& text);

// The last n characters of text (the whole text when it is shorter).
std::string Last(const std::string& text, long long n);

// Codes 0..31 and 127.
bool IsControl(char c);

// Leading and trailing spaces and control characters removed.
std::string Trimmed(const std::string& text);

// Every control character removed; all other bytes kept in order.
std::string WithoutControls(const std::string& text);

// An integer in decimal, "-" before negative values, no leading zeros.
std::string Decimal(long long value);

// Reads a decimal integer: blanks (spaces, tabs) around it, an optional sign
// and at least one digit; nothing else (no hexadecimal, no separators). False
// when the text is anything else or the value does not fit an int.
bool TryStrToInt(const std::string& text, int& value);

// Reads a decimal number: blanks around it, an optional sign, digits with at
// most one decimalSeparator among them (at least one digit in all: "5.", ".5"),
// and an optional exponent ("E" or "e", an optional sign, at least one digit). False
// when the text is anything else or the value overflows a long double.
bool TryStrToFloat(const std::string& text, char decimalSeparator, long double& value);

// Fixed-point text with the given number of decimals (0..9), rounded to the
// nearest, halves away from zero; "-" only when the shown value is not zero.
// Magnitudes beyond 1e18 / 10^decimals are held at that bound (1e15 with 3
// decimals); a NaN is shown as 0.
std::string FormatFixed(long double value, int decimals, char decimalSeparator);

}  // namespace rtl
