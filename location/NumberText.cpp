#include "location/NumberText.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <locale.h>
#include <string>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The exactly representable powers of ten.
constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kMaxExactPower = 22;
constexpr uint64_t kMaxExactMantissa = uint64_t{1} << 53;
// Below this a mantissa takes one more digit within 64 bits; at it, it is
// beyond 2^53 anyway.
constexpr uint64_t kMantissaLimit = 1000000000000000000ull;
constexpr int64_t kExponentLimit = 100000;      // beyond any double

struct CDecimalScan {
  std::size_t length;  // of the number; 0 when the text starts with none
  bool exact;          // value holds strtod's result
  double value;
};

// The decimal number at the start of `text`: [+-]digits[.digits] with at least
// one digit, then an optional exponent with at least one digit. Hex floats,
// "nan" and "inf" are not numbers here. Where the digits and the power of ten
// are both exact doubles, one correctly rounded multiplication or division
// gives the correctly rounded value, which is what strtod gives (Clinger);
// the numbers files hold nearly always are such. `end` is null for text that
// ends at a NUL, which stops every step as any other character that cannot
// continue a number does.
CDecimalScan ScanDecimal(const char* const begin, const char* const end) {
  const char* p = begin;
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  uint64_t mantissa = 0;
  int64_t exponent = 0;    // of ten, applied to the mantissa
  bool truncated = false;  // more digits than the mantissa holds: not exact
  const char* const integer = p;
  for (; p != end; ++p) {
    const unsigned d = static_cast<unsigned char>(*p) - unsigned{'0'};
    if (d > 9) break;
    if (mantissa < kMantissaLimit) {
      mantissa = mantissa * 10 + d;
    } else {
      truncated = true;
    }
  }
  std::size_t digits = static_cast<std::size_t>(p - integer);
  if (p != end && *p == '.') {
    const char* const fraction = ++p;
    for (; p != end; ++p) {
      const unsigned d = static_cast<unsigned char>(*p) - unsigned{'0'};
      if (d > 9) break;
      if (mantissa < kMantissaLimit) {
        mantissa = mantissa * 10 + d;
        --exponent;
      } else {
        truncated = true;
      }
    }
    digits += static_cast<std::size_t>(p - fraction);
  }
  if (digits == 0) return {0, false, 0.0};
  if (p != end && (*p == 'e' || *p == 'E')) {
    const char* q = p + 1;
    bool negativeExponent = false;
    if (q != end && (*q == '+' || *q == '-')) negativeExponent = *q++ == '-';
    if (q != end && IsDigit(*q)) {
      int64_t written = 0;  // saturates: such a number is not exact anyway
      for (; q != end && IsDigit(*q); ++q) {
        if (written < kExponentLimit) written = written * 10 + (*q - '0');
      }
      exponent += negativeExponent ? -written : written;
      p = q;
    }
  }
  const auto length = static_cast<std::size_t>(p - begin);
  if (mantissa == 0) return {length, true, negative ? -0.0 : 0.0};
  if (truncated || mantissa > kMaxExactMantissa || exponent < -kMaxExactPower ||
      exponent > kMaxExactPower) {
    return {length, false, 0.0};
  }
  const auto m = static_cast<double>(mantissa);
  const double value = exponent < 0 ? m / kPowersOfTen[-exponent] : m * kPowersOfTen[exponent];
  return {length, true, negative ? -value : value};
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
  const CDecimalScan scan = ScanDecimal(text.data() + start, text.data() + text.size());
  if (used) *used = scan.length == 0 ? 0 : start + scan.length;
  if (scan.length == 0) return 0.0;
  if (scan.exact) return scan.value;
  // strtod on the C locale gives atof's rounding, overflow and underflow results.
  const std::string number(text.substr(start, scan.length));
  return strtod_l(number.c_str(), nullptr, CLocale());
}

double ParseDoublePrefix(std::string_view text) { return ParseDouble(text, nullptr); }

double ParseDoublePrefix(const char* text) {
  // The same steps without first finding where the text ends.
  const char* start = text;
  while (IsSpace(*start)) ++start;
  const CDecimalScan scan = ScanDecimal(start, nullptr);
  if (scan.length == 0) return 0.0;
  if (scan.exact) return scan.value;
  const std::string number(start, scan.length);
  return strtod_l(number.c_str(), nullptr, CLocale());
}

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
