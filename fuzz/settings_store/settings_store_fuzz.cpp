// The settings store file's reader must accept any bytes, and whatever it
// accepts must be written back in a form that reads as the same store.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "location/SettingsStoreFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto store = ParseSettingsStore(text);
  if (!store) return 0;
  const std::string written = FormatSettingsStore(*store);
  const auto again = ParseSettingsStore(written);
  if (!again || !(*again == *store)) std::abort();
  if (FormatSettingsStore(*again) != written) std::abort();
  return 0;
}
