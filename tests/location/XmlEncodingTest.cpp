#include "location/XmlEncoding.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Convert(const std::string& bytes, const char* encoding) {
  const auto converted = ConvertToUtf8(bytes, encoding);
  return converted ? *converted : "(refused)";
}

TEST(XmlEncoding, ShiftJisBytesItCannotHoldBecomeOneReplacementEach) {
  // Valid text reads as before, code page 932's own characters included.
  EXPECT_EQ(Convert("<a>\x93\x8c\x8b\x9e\x81\x60\x87\x40\xb1</a>", "Shift_JIS"), "<a>東京～①ｱ</a>");
  // Single bytes no character starts with.
  EXPECT_EQ(Convert("g\x80h\xa0i\xfdj\xff", "Shift_JIS"), "g\uFFFDh\uFFFDi\uFFFDj\uFFFD");
  // A lead byte before a byte that cannot follow it: the ASCII byte stays
  // itself, so markup and quotes survive.
  EXPECT_EQ(Convert("a\x81 b", "Shift_JIS"), "a\uFFFD b");
  EXPECT_EQ(Convert("<i n=\"\x81\"/>\x81<", "Shift_JIS"), "<i n=\"\uFFFD\"/>\uFFFD<");
  // A whole pair that maps to nothing is one character.
  EXPECT_EQ(Convert("\x85\x9fx", "Shift_JIS"), "\uFFFDx");
  EXPECT_EQ(Convert("\x85\x40", "Shift_JIS"), "\uFFFD@");
  // A lead byte that ends the file.
  EXPECT_EQ(Convert("\x93\x8c\x81", "Shift_JIS"), "東\uFFFD");
  EXPECT_EQ(Convert("\x93\x8c\x81", "CP932"), "東\uFFFD");
}

TEST(XmlEncoding, EucJpSequencesItCannotHoldBecomeOneReplacementEach) {
  EXPECT_EQ(Convert("\xc5\xec\xb5\xfe\x8e\xb1", "EUC-JP"), "東京ｱ");
  EXPECT_EQ(Convert("\xa9\xa1x", "EUC-JP"), "\uFFFDx");  // an unassigned pair
  EXPECT_EQ(Convert("\xa1Z", "EUC-JP"), "\uFFFDZ");
  EXPECT_EQ(Convert("\x8eZ", "EUC-JP"), "\uFFFDZ");
  EXPECT_EQ(Convert("\x8f\xa2Z", "EUC-JP"), "\uFFFDZ");
  EXPECT_EQ(Convert("g\xffh\xa0i", "EUC-JP"), "g\uFFFDh\uFFFDi");
  EXPECT_EQ(Convert("\xc5\xec\xb5", "EUC-JP"), "東\uFFFD");
  EXPECT_EQ(Convert("\xc5\xec\x8f\xa2", "euc-jp"), "東\uFFFD");
}

TEST(XmlEncoding, OtherEncodingsFollowTheSameRule) {
  EXPECT_EQ(Convert("caf\xe9\x81!", "windows-1252"), "café\uFFFD!");
  EXPECT_EQ(Convert("\xa5\xa1", "ISO-8859-3"), "\uFFFDĦ");
  EXPECT_EQ(Convert("\x80\xff", "ISO-8859-1"), "\u0080ÿ");  // every byte a character
  EXPECT_EQ(Convert("\xc5\xec\xa1", "EUC-KR"), "톺\uFFFD");
  // A stateful encoding keeps its state across a byte it cannot hold.
  EXPECT_EQ(Convert("\x1b$B\x45\x6c\x1b(B\x80z\x1b$B\x35\x7e\x1b(B", "ISO-2022-JP"), "東\uFFFDz京");
  EXPECT_EQ(Convert("<a/>", "x-unknown"), "(refused)");
}

TEST(XmlEncoding, LongTextGrowsTheOutputAcrossReplacements) {
  std::string bytes;
  std::string expected;
  for (int i = 0; i < 20000; ++i) {
    bytes += "\x80\x93\x8c";
    expected += "\uFFFD東";
  }
  EXPECT_EQ(Convert(bytes, "Shift_JIS"), expected);
}

}  // namespace
