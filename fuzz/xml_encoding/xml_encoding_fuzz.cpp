// Bytes read in each 8-bit and multi-byte encoding a file may declare: every
// input converts (what an encoding cannot hold becomes U+FFFD), the result is
// valid UTF-8, and every "<" and ">" of the input is still there, so no stray
// byte takes markup with it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "location/Utf8Sequence.h"
#include "location/XmlEncoding.h"

namespace {

// None of these takes "<" or ">" as part of a multi-byte character.
constexpr const char* kEncodings[] = {"Shift_JIS", "EUC-JP",  "windows-1252", "ISO-8859-3",
                                      "EUC-KR",    "GB18030", "BIG5",         "ISO-8859-1"};

bool IsUtf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    char32_t codePoint = 0;
    const std::size_t length = DecodeUtf8Sequence(text, at, codePoint);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (const char* encoding : kEncodings) {
    const auto converted = ConvertToUtf8(bytes, encoding);
    if (!converted || !IsUtf8(*converted)) std::abort();
    for (const char markup : {'<', '>'}) {
      if (std::count(bytes.begin(), bytes.end(), markup) !=
          std::count(converted->begin(), converted->end(), markup)) {
        std::abort();
      }
    }
  }
  return 0;
}
