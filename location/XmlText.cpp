#include "location/XmlText.h"

#include <cstdint>
#include <cstring>

#include "location/Utf8Sequence.h"

namespace {

struct CCharacter {
  std::size_t length;  // bytes taken: the sequence, or one stray byte
  bool valid;          // valid UTF-8 and an XML character
};

CCharacter ReadCharacter(std::string_view text, std::size_t position) noexcept {
  const auto byte = static_cast<unsigned char>(text[position]);
  if (byte >= 0x20 && byte < 0x80) return {1, true};
  char32_t c = 0;
  const std::size_t length = DecodeUtf8Sequence(text, position, c);
  if (length == 0) return {1, false};
  return {length, IsXmlCharacter(c)};
}

constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kHighBits = 0x8080808080808080ull;

// The high bit of each byte of v that is zero.
constexpr uint64_t ZeroBytes(uint64_t v) noexcept {
  return ~(((v & ~kHighBits) + ~kHighBits) | v) & kHighBits;
}

// Whether the eight bytes are ASCII characters XML holds. Most of a file is,
// and eight at a time the check costs a small part of parsing.
bool IsPlainWord(uint64_t word) noexcept {
  if (word & kHighBits) return false;
  const uint64_t controls = ~(word + 0x60 * kOnes) & kHighBits;  // bytes below 0x20
  if (!controls) return true;
  const uint64_t lineBytes = ZeroBytes(word ^ ('\t' * kOnes)) | ZeroBytes(word ^ ('\n' * kOnes)) |
                             ZeroBytes(word ^ ('\r' * kOnes));
  return (controls & ~lineBytes) == 0;
}

}  // namespace

bool IsXmlText(std::string_view text) noexcept {
  for (std::size_t i = 0; i < text.size();) {
    if (text.size() - i >= sizeof(uint64_t)) {
      uint64_t word;
      std::memcpy(&word, text.data() + i, sizeof word);
      if (IsPlainWord(word)) {
        i += sizeof word;
        continue;
      }
    }
    const CCharacter c = ReadCharacter(text, i);
    if (!c.valid) return false;
    i += c.length;
  }
  return true;
}

std::string ReplaceNonXmlCharacters(std::string_view text) {
  if (IsXmlText(text)) return std::string(text);
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const CCharacter c = ReadCharacter(text, i);
    if (c.valid) {
      result.append(text, i, c.length);
    } else {
      result += kReplacementCharacter;
    }
    i += c.length;
  }
  return result;
}
