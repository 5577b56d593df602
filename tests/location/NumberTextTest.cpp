#include "location/NumberText.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

TEST(NumberText, ReadsDecimalPrefixesLikeAtof) {
  EXPECT_EQ(ParseDoublePrefix("35.5"), 35.5);
  EXPECT_EQ(ParseDoublePrefix("  -139.75xyz"), -139.75);
  EXPECT_EQ(ParseDoublePrefix("+1e3"), 1000.0);
  EXPECT_EQ(ParseDoublePrefix("1e"), 1.0);
  EXPECT_EQ(ParseDoublePrefix(".5"), 0.5);
  EXPECT_EQ(ParseDoublePrefix("N35"), 0.0);
  EXPECT_EQ(ParseDoublePrefix(""), 0.0);
}

TEST(NumberText, RefusesNanInfinityAndHex) {
  EXPECT_EQ(ParseDoublePrefix("nan"), 0.0);
  EXPECT_EQ(ParseDoublePrefix("inf"), 0.0);
  EXPECT_EQ(ParseDoublePrefix("-infinity"), 0.0);
  EXPECT_EQ(ParseDoublePrefix("0x1p3"), 0.0);  // the "0" prefix only
  EXPECT_FALSE(ParseDoubleExact("nan"));
  EXPECT_FALSE(ParseDoubleExact("0x10"));
  EXPECT_FALSE(ParseDoubleExact("1e999"));
  EXPECT_FALSE(ParseDoubleExact(" 1"));
  EXPECT_FALSE(ParseDoubleExact("1 "));
  EXPECT_FALSE(ParseDoubleExact(""));
  EXPECT_EQ(ParseDoubleExact("-2.5e-3"), -0.0025);
}

TEST(NumberText, IgnoresTheUserLocale) {
  const char* german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  EXPECT_EQ(ParseDoublePrefix("35.5"), 35.5);
  EXPECT_EQ(FormatDoubleGeneral(12.5, 6), "12.5");
  EXPECT_EQ(FormatDoubleFixed(0.5, 5), "0.50000");
  if (german) std::setlocale(LC_NUMERIC, "C");
}

TEST(NumberText, FormatsLikePrintf) {
  EXPECT_EQ(FormatDoubleGeneral(0.000123, 6), "0.000123");
  EXPECT_EQ(FormatDoubleGeneral(4e-05, 6), "4e-05");
  EXPECT_EQ(FormatDoubleGeneral(1234567.0, 6), "1.23457e+06");
  EXPECT_EQ(FormatDoubleGeneral(35.6812345, 6), "35.6812");
  EXPECT_EQ(FormatDoubleFixed(139.123456, 5), "139.12346");
  EXPECT_EQ(ParseDoublePrefix(FormatDoubleRoundTrip(0.1)), 0.1);
}
