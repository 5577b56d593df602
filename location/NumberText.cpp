#include "location/NumberText.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>
#include <string>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The length of the decimal number at the start of `text`: [+-]digits[.digits]
// with at least one digit, then an optional exponent with at least one digit.
// Hex floats, "nan" and "inf" are not numbers here.
std::size_t DecimalPrefixLength(std::string_view text) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < text.size() && IsDigit(text[j])) {
      while (j < text.size() && IsDigit(text[j])) ++j;
      i = j;
    }
  }
  return i;
}

locale_t CLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

std::string ToChars(double value, std::chars_format format, int precision) {
  char buffer[400];
  auto result = precision < 0 ? std::to_chars(buffer, buffer + sizeof buffer, value, format)
                              : std::to_chars(buffer, buffer + sizeof buffer, value, format,
                                              precision);
  if (result.ec != std::errc()) return "0";
  return std::string(buffer, result.ptr);
}

}  // namespace

double ParseDouble(std::string_view text, std::size_t* used) {
  std::size_t start = 0;
  while (start < text.size() && IsSpace(text[start])) ++start;
  const std::size_t length = DecimalPrefixLength(text.substr(start));
  if (length == 0) {
    if (used) *used = 0;
    return 0.0;
  }
  // strtod on the C locale gives atof's rounding, overflow and underflow results.
  const std::string number(text.substr(start, length));
  const double value = strtod_l(number.c_str(), nullptr, CLocale());
  if (used) *used = start + length;
  return value;
}

double ParseDoublePrefix(std::string_view text) { return ParseDouble(text, nullptr); }

std::optional<double> ParseDoubleExact(std::string_view text) {
  if (text.empty() || IsSpace(text.front())) return std::nullopt;
  std::size_t used = 0;
  const double value = ParseDouble(text, &used);
  if (used != text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::string FormatDoubleRoundTrip(double value) {
  return ToChars(value, std::chars_format::general, -1);
}

std::string FormatDoubleGeneral(double value, int significantDigits) {
  return ToChars(value, std::chars_format::general, significantDigits);
}

std::string FormatDoubleFixed(double value, int decimals) {
  return ToChars(value, std::chars_format::fixed, decimals);
}
