// The angle and zone-offset readers of user text must accept any bytes, fail
// only with their own errors, and read back what the formatters write.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>

#include "location/CoordinateText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const CAngle angle = ParseAngle(text);
    std::ostringstream out;
    FormatAngleText(out, angle);
    if (angle.unit == kAngleUnitDms) {
      const CAngle again = ParseAngle(out.str());
      if (again.unit != kAngleUnitDms || FormatDmsText(again.dms) != out.str()) std::abort();
    }
  } catch (const std::invalid_argument&) {
  }
  if (!text.empty()) {  // the empty text reads the machine's zone
    try {
      const int32_t offset = ParseZoneOffset(text);
      if (ParseZoneOffset(FormatZoneOffset(offset)) != offset) std::abort();
    } catch (const std::runtime_error&) {
    }
  }
  return 0;
}
