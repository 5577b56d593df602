// QLDATA messages come from outside: any bytes must give a record or one of
// the parser's exceptions, and the stages must agree with each other.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include "reception/Qldata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view message(reinterpret_cast<const char*>(data), size);
  try {
    const std::u16string text = UnescapeQldata(message);
    if (text.size() > message.size()) std::abort();
    std::size_t units = 0;
    for (const auto& entry : SplitQldataEntries(text)) units += 1 + entry.second.size();
    if (units > text.size()) std::abort();
  } catch (const std::runtime_error&) {
  }
  try {
    const CLocationRecord record = ParseQldataMessage(message);
    if (!record.hasTime || record.position.datum.IsNull()) std::abort();
  } catch (const std::runtime_error&) {
  } catch (const std::invalid_argument&) {
  }
  return 0;
}
