// The characters an XML 1.0 file can hold. Text that enters a record from
// outside (a received message, a pasted or opened file, an edit) passes
// through ReplaceNonXmlCharacters, so what a record holds in memory is what
// its file holds on disk.
#pragma once

#include <string>
#include <string_view>

// What takes the place of a character a file cannot hold.
inline constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";  // U+FFFD

// Tab, line feed, carriage return, U+0020-U+D7FF, U+E000-U+FFFD and
// U+10000-U+10FFFF.
constexpr bool IsXmlCharacter(char32_t c) noexcept {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// The UTF-8 text with every character XML 1.0 cannot hold (control
// characters, U+FFFE, U+FFFF) and every byte that is not valid UTF-8 replaced
// by U+FFFD.
std::string ReplaceNonXmlCharacters(std::string_view text);

// Whether ReplaceNonXmlCharacters would leave the text as it is.
bool IsXmlText(std::string_view text) noexcept;
