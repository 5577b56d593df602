#include <gtest/gtest.h>

#include <string>

#include "reception/MessageEncoding.h"

TEST(MessageEncoding, UrlEncodeKeepsOnlyLettersDigitsAndUnderscore) {
  EXPECT_EQ(UrlEncode("RETR 1 5"), "RETR+1+5");
  EXPECT_EQ(UrlEncode("aZ09_"), "aZ09_");
  EXPECT_EQ(UrlEncode("+%&=.-~/?"), "%2B%25%26%3D%2E%2D%7E%2F%3F");
  EXPECT_EQ(UrlEncode("\xe3\x80\x80"), "%E3%80%80");
  EXPECT_EQ(UrlEncode(std::string_view("\0\n", 2)), "%00%0A");
  EXPECT_EQ(UrlEncode(""), "");
}

TEST(MessageEncoding, Md5HexIsLowerCaseHex) {
  EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Md5Hex("The quick brown fox jumps over the lazy dog"),
            "9e107d9d372bb6826bd81d3542a419d6");
  EXPECT_EQ(Md5Hex(std::string_view("\0", 1)), "93b885adfe0da089cdf634904fd59f71");
}
