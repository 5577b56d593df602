// The two text stages of QLDATA: un-escaping and splitting into entries.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "location/Exceptions.h"
#include "reception/Qldata.h"
#include "reception/QldataEntryViews.h"

namespace {

// A base-52 digit: "A"-"Z" are 0-25, "a"-"z" 26-51; -1 for any other byte.
int Base52Digit(unsigned char byte) {
  if (byte >= 'A' && byte <= 'Z') return byte - 'A';
  if (byte >= 'a' && byte <= 'z') return byte - 'a' + 26;
  return -1;
}

// The offending byte as the error text shows it: printable ASCII as itself,
// anything else in hexadecimal (a lone byte 0x80-0xFF is no UTF-8 text).
std::string ByteText(unsigned char byte) {
  if (byte >= 0x20 && byte <= 0x7E) return std::string(1, static_cast<char>(byte));
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "0x%x", static_cast<unsigned>(byte));
  return buffer;
}

std::u16string Unescape(std::string_view message) {
  enum class State { kPlain, kFirst, kSecond, kThird };
  State state = State::kPlain;
  bool justOpened = false;  // the escape was opened by the byte before
  uint32_t unit = 0;
  std::u16string text;
  text.reserve(message.size());
  for (std::size_t i = 0; i < message.size(); ++i) {
    const auto byte = static_cast<unsigned char>(message[i]);
    if (state == State::kPlain) {
      if (byte == '_') {
        justOpened = true;
        state = State::kFirst;
      } else {
        text.push_back(static_cast<char16_t>(byte));
      }
      continue;
    }
    if (state == State::kFirst && byte == '_') {
      if (justOpened) text.push_back(u'_');
      state = State::kPlain;
      continue;
    }
    const int digit = Base52Digit(byte);
    if (digit < 0) throw PARSEERROR(i);
    switch (state) {
      case State::kFirst:
        justOpened = false;
        unit = static_cast<uint32_t>(digit) * 2704;
        state = State::kSecond;
        break;
      case State::kSecond:
        unit += static_cast<uint32_t>(digit) * 52;
        state = State::kThird;
        break;
      default:
        unit += static_cast<uint32_t>(digit);
        text.push_back(static_cast<char16_t>(unit & 0xFFFF));
        state = State::kFirst;
        break;
    }
  }
  // An escape still open at the end keeps its complete triples; a partial one
  // is dropped.
  return text;
}

}  // namespace

std::u16string UnescapeQldata(std::string_view message) {
  try {
    return Unescape(message);
  } catch (const PARSEERROR& error) {
    throw std::runtime_error("Invalid Letter<" +
                             ByteText(static_cast<unsigned char>(message[error.position])) +
                             "> In QLDATA: " + std::string(message));
  }
}

std::vector<CQldataEntryView> SplitQldataEntryViews(std::u16string_view text) {
  std::vector<CQldataEntryView> entries;
  entries.reserve(8);
  // Any length beyond the text's size drops its entry, so saturating there
  // keeps the arithmetic in range however many digits arrive.
  const std::size_t tooLong = text.size() + 1;
  std::size_t length = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const char16_t unit = text[i++];
    if (unit >= u'0' && unit <= u'9') {
      if (length < tooLong) length = length * 10 + (unit - u'0');
      if (length > tooLong) length = tooLong;
      continue;
    }
    if (length > text.size() - i) break;  // runs past the end: dropped
    entries.emplace_back(unit, text.substr(i, length));
    i += length;
    length = 0;
  }
  return entries;
}

std::vector<CQldataEntry> SplitQldataEntries(std::u16string_view text) {
  std::vector<CQldataEntry> entries;
  for (const auto& [letter, value] : SplitQldataEntryViews(text)) {
    entries.emplace_back(letter, std::u16string(value));
  }
  return entries;
}
