// The C-locale number reader must accept any bytes and agree with itself.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "location/NumberText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::size_t used = 0;
  const double value = ParseDouble(text, &used);
  if (used > text.size()) std::abort();
  if (std::isnan(value)) std::abort();
  if (auto exact = ParseDoubleExact(text)) {
    if (used != text.size() || *exact != value) std::abort();
    if (ParseDoublePrefix(FormatDoubleRoundTrip(*exact)) != *exact) std::abort();
  }
  return 0;
}
