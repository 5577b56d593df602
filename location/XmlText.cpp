#include "location/XmlText.h"

#include "location/Utf8Sequence.h"
#include "location/XmlTextScan.h"

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

}  // namespace

bool IsXmlText(std::string_view text) noexcept {
  for (std::size_t i = FindNonPlainXmlByte(text, 0, false); i < text.size();
       i = FindNonPlainXmlByte(text, i, false)) {
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
