// Both time readers must accept any bytes, fail only with runtime errors, and
// read back exactly what their writers make of a time they accepted; the
// point time reader's fixed-form path reads as its state machine does.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

#include "location/TimeText.h"

namespace {

template <class Parse>
std::string Outcome(std::string_view text, Parse&& parse) {
  try {
    const CZonedTime time = parse(text);
    return std::to_string(time.seconds) + " " + std::to_string(time.offset);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string byStates = Outcome(text, ParsePointTimeByStates);
  if (Outcome(text, [](std::string_view t) { return ParsePointTime(t); }) != byStates) std::abort();
  // Up to its first NUL, as values of parsed documents end.
  const std::string value(text.substr(0, text.find('\0')));
  if (Outcome(value, [](std::string_view t) { return ParsePointTime(std::string(t).c_str()); }) !=
      Outcome(value, ParsePointTimeByStates)) {
    std::abort();
  }
  try {
    const CZonedTime time = ParsePointTime(text);
    if (time.offset % 60 != 0) std::abort();
    const CZonedTime again = ParsePointTime(FormatPointTime(time));
    if (!(again == time)) std::abort();
  } catch (const std::runtime_error&) {
  }
  try {
    const int32_t seconds = ParseIso8601Time(text);
    if (ParseIso8601Time(FormatIso8601Time(seconds)) != seconds) std::abort();
  } catch (const std::runtime_error&) {
  }
  return 0;
}
