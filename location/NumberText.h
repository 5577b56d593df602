// Numbers in files, messages and the clipboard: one C-locale parser and
// formatter for the whole program, whatever the user's locale.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Like atof: skips leading white space and reads the longest decimal number
// prefix; 0.0 when there is none. NaN, infinities and hex floats are not
// numbers here (they read as 0.0, or up to where the decimal prefix ends).
double ParseDoublePrefix(std::string_view text);
// The same for a NUL-terminated text.
double ParseDoublePrefix(const char* text);

// The whole text (no surrounding white space) as a decimal number, or nothing.
std::optional<double> ParseDoubleExact(std::string_view text);

// Like strtod on the C locale: the decimal number at the start of the text
// (after white space), with the count of characters used (0 when none).
double ParseDouble(std::string_view text, std::size_t* used);

// Shortest text that reads back as the same double ("%.17g"-style round trip).
std::string FormatDoubleRoundTrip(double value);
// printf-style "%.*g": general notation with the given significant digits.
std::string FormatDoubleGeneral(double value, int significantDigits);
// printf-style "%.*f": fixed notation with the given decimals.
std::string FormatDoubleFixed(double value, int decimals);
