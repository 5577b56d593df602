#include "location/NumberText.h"

#include <gtest/gtest.h>

#include <locale.h>

#include <bit>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <random>
#include <regex>
#include <string>

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

namespace {

// atof's rules written out on their own: white space, then the longest
// decimal prefix, read by strtod on the C locale.
double ReferenceParse(const std::string& text, std::size_t* used) {
  static const std::regex prefix(R"(^([ \t\n\v\f\r]*)([+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?))");
  std::smatch match;
  if (!std::regex_search(text, match, prefix)) {
    *used = 0;
    return 0.0;
  }
  *used = static_cast<std::size_t>(match.length(0));
  static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return strtod_l(match.str(2).c_str(), nullptr, c);
}

void ExpectSameAsReference(const std::string& text) {
  std::size_t used = 0;
  std::size_t expectedUsed = 0;
  const double value = ParseDouble(text, &used);
  const double expected = ReferenceParse(text, &expectedUsed);
  // Bit for bit: -0.0 is not 0.0 here.
  EXPECT_EQ(std::bit_cast<uint64_t>(value), std::bit_cast<uint64_t>(expected))
      << '"' << text << "\" read as " << value << ", strtod gives " << expected;
  EXPECT_EQ(used, expectedUsed) << '"' << text << '"';
  // Read up to its NUL, as values of parsed documents are.
  if (text.find('\0') == std::string::npos) {
    EXPECT_EQ(std::bit_cast<uint64_t>(ParseDoublePrefix(text.c_str())),
              std::bit_cast<uint64_t>(expected))
        << '"' << text << '"';
  }
}

}  // namespace

TEST(NumberText, GivesStrtodsValueForEveryDecimalForm) {
  for (const char* text :
       {"0", "-0", "+0", "-0.0e5", "0e999999", "35.68123", "-0.50000", "135.00000", "12.5m",
        "1.23457e+06", "4e-05", "9007199254740992", "9007199254740993", "18446744073709551615",
        "18446744073709551616", "1234567890123456789", "12345678901234567890", "0.1e23",
        "1e22", "1e23", "123e-22", "123e-23", "4.9e-324", "2.4703282292062328e-324",
        "2.2250738585072011e-308", "1.7976931348623157e308", "1.7976931348623159e308", "1e400",
        "-1e-400", "1e", "1e+", "1e-", "-", "+", ".", "-.", ".5", "5.", "+.5e1", "0x1p3", "nan",
        "inf", "-infinity", " \t\n\v\f\r7", "\xc2\xa0" "1", "1e0000000000000000000000000005",
        "0.00000000000000000000000000000000000000001", "1.5.6", "--1", "1,5", "7e22", "8e22",
        "9.999999999999999e22", "3.14159265358979323846264338327950288"}) {
    ExpectSameAsReference(text);
  }
  std::mt19937_64 random(7);
  const char alphabet[] = "0123456789012345678901234567890123456789..eE+- xan";
  for (int i = 0; i < 200000; ++i) {
    std::string text;
    switch (i % 4) {
      case 0: {  // random characters, mostly digits
        const int length = static_cast<int>(random() % 30);
        for (int k = 0; k < length; ++k) text += alphabet[random() % (sizeof alphabet - 1)];
        break;
      }
      case 1: {  // what the writers make
        const double value = std::ldexp(static_cast<double>(random() % (1u << 30)) - (1 << 29),
                                        static_cast<int>(random() % 120) - 90);
        text = i % 8 == 1 ? FormatDoubleGeneral(value, 1 + static_cast<int>(random() % 17))
                          : FormatDoubleFixed(value, static_cast<int>(random() % 12));
        break;
      }
      case 2: {  // any double, shortest or with more digits than it needs
        const double value = std::bit_cast<double>(random());
        if (!std::isfinite(value)) continue;
        text = FormatDoubleGeneral(value, 15 + static_cast<int>(random() % 6));
        break;
      }
      default: {  // long mantissas and exponents around the exact range
        const std::string digits = std::to_string(random() % 100000000000000000ull);
        const std::size_t point = random() % 2 ? random() % digits.size() : digits.size();
        text.append(digits, 0, point);
        if (point < digits.size()) text.append(".").append(digits, point);
        text.append("e").append(std::to_string(static_cast<int>(random() % 70) - 35));
        break;
      }
    }
    ExpectSameAsReference(text);
    if (HasFailure()) break;
  }
}
