// The C-locale number reader must accept any bytes, agree with itself, and
// give what strtod gives for the decimal prefix atof would read.
#include <locale.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "location/NumberText.h"

namespace {

bool Digit(char c) { return c >= '0' && c <= '9'; }

// atof's prefix, found on its own: white space, [+-], digits with at most
// one point and at least one digit, an exponent only when a digit follows.
double Reference(std::string_view text, std::size_t* used) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  const std::size_t start = i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  const std::size_t first = i;
  while (i < text.size() && Digit(text[i])) ++i;
  bool any = i > first;
  if (i < text.size() && text[i] == '.') {
    const std::size_t fraction = ++i;
    while (i < text.size() && Digit(text[i])) ++i;
    any = any || i > fraction;
  }
  *used = 0;
  if (!any) return 0.0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < text.size() && Digit(text[j])) {
      while (j < text.size() && Digit(text[j])) ++j;
      i = j;
    }
  }
  *used = i;
  static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return strtod_l(std::string(text.substr(start, i - start)).c_str(), nullptr, c);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::size_t used = 0;
  const double value = ParseDouble(text, &used);
  if (used > text.size()) std::abort();
  if (std::isnan(value)) std::abort();
  std::size_t referenceUsed = 0;
  const double reference = Reference(text, &referenceUsed);
  if (used != referenceUsed || std::memcmp(&value, &reference, sizeof value) != 0) std::abort();
  if (auto exact = ParseDoubleExact(text)) {
    if (used != text.size() || *exact != value) std::abort();
    if (ParseDoublePrefix(FormatDoubleRoundTrip(*exact)) != *exact) std::abort();
  }
  return 0;
}
