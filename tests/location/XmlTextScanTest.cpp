// The block scans behind IsXmlText and ParserReadsAsItStands against the
// same rules read one character at a time, with the bytes that matter at
// every place within and across the sixteen-byte blocks.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>

#include "location/Utf8Sequence.h"
#include "location/XmlParse.h"
#include "location/XmlText.h"

namespace {

bool ReferenceIsXmlText(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    char32_t c = 0;
    const std::size_t length = DecodeUtf8Sequence(text, i, c);
    if (length == 0 || !IsXmlCharacter(c)) return false;
    i += length;
  }
  return true;
}

// No reference "&#N;" or "&#xN;" to a character XML cannot hold, then XML text.
bool ReferenceReadsAsItStands(std::string_view text) {
  for (std::size_t at = text.find("&#"); at != std::string_view::npos;
       at = text.find("&#", at + 1)) {
    const bool hex = at + 2 < text.size() && text[at + 2] == 'x';
    std::size_t i = at + (hex ? 3 : 2);
    const std::size_t first = i;
    unsigned long long value = 0;
    for (; i < text.size(); ++i) {
      const char c = text[i];
      int digit = -1;
      if (c >= '0' && c <= '9') digit = c - '0';
      if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      if (digit < 0) break;
      value = value * (hex ? 16 : 10) + static_cast<unsigned>(digit);
      if (value > 0x10FFFF) value = 0x110000;
    }
    if (i > first && i < text.size() && text[i] == ';' &&
        !IsXmlCharacter(static_cast<char32_t>(value))) {
      return false;
    }
  }
  return ReferenceIsXmlText(text);
}

TEST(XmlTextScan, AgreesWithTheCharacterByCharacterRules) {
  using namespace std::string_view_literals;
  static const std::string_view pieces[] = {"a",
                                            "<",
                                            "&",
                                            "&#",
                                            "&#x",
                                            ";",
                                            "0",
                                            "1",
                                            "9",
                                            "f",
                                            "F",
                                            "x",
                                            "\t",
                                            "\n",
                                            "\r",
                                            " ",
                                            "\0"sv,
                                            "\x01",
                                            "\v",
                                            "\x1f",
                                            "\x7f",
                                            "\xc2\xa0",
                                            "\xc3",
                                            "\xc0\x80",
                                            "\xe6\x9d\xb1",
                                            "\xe6\x9d",
                                            "\xef\xbf\xbe",
                                            "\xef\xbf\xbd",
                                            "\xed\xa0\x80",
                                            "\xf0\x9f\x98\x80",
                                            "\xf4\x90\x80\x80",
                                            "\xf8",
                                            "\x80",
                                            "\xff",
                                            "&#0;",
                                            "&#9;",
                                            "&#65;",
                                            "&#xFFFE;",
                                            "&#x1F600;",
                                            "&#1114112;",
                                            "&amp;",
                                            "&#;",
                                            "&#x;",
                                            "&#12"};
  constexpr std::size_t kPieces = sizeof pieces / sizeof *pieces;
  std::mt19937 random(5);
  for (int i = 0; i < 200000; ++i) {
    // Plain runs of any length put the pieces anywhere in a block.
    std::string text(random() % 40, 'p');
    const int count = static_cast<int>(random() % 4);
    for (int k = 0; k < count; ++k) {
      text += pieces[random() % kPieces];
      text.append(random() % 20, 'q');
    }
    ASSERT_EQ(IsXmlText(text), ReferenceIsXmlText(text)) << testing::PrintToString(text);
    ASSERT_EQ(ParserReadsAsItStands(text), ReferenceReadsAsItStands(text))
        << testing::PrintToString(text);
  }
}

}  // namespace
