#include "location/CoordinateText.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <locale>
#include <sstream>
#include <stdexcept>

#include "tests/location/TimeZoneGuard.h"

namespace {

// The angle's text, or the error's.
std::string Angle(const std::string& text) {
  try {
    const CAngle angle = ParseAngle(text);
    std::ostringstream out;
    FormatAngleText(out, angle) << (angle.unit == kAngleUnitDms ? " dms" : " degrees");
    return out.str();
  } catch (const std::invalid_argument& e) {
    return e.what();
  }
}

std::string Offset(const std::string& text) {
  try {
    return std::to_string(ParseZoneOffset(text));
  } catch (const std::runtime_error& e) {
    return e.what();
  }
}

// Groups thousands, as some user locales do.
struct Grouping : std::numpunct<char> {
  std::string do_grouping() const override { return "\3"; }
};

}  // namespace

TEST(CoordinateText, FormatsAnglesWhateverTheLocale) {
  const char* german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  EXPECT_EQ(FormatDegrees(0.0), "+0.00000");
  EXPECT_EQ(FormatDegrees(-0.0), "+0.00000");
  EXPECT_EQ(FormatDegrees(139.123456), "+139.12346");
  EXPECT_EQ(FormatDegrees(NAN).front(), '-');
  if (german) std::setlocale(LC_NUMERIC, "C");
  std::ostringstream out;
  out.imbue(std::locale(std::locale::classic(), new Grouping));
  FormatDms(out, CDms{-1, 5, 3, 2, 1}) << " ";
  FormatAngleText(out, CAngle::FromDegrees(-1234.5)) << " ";
  FormatAngleText(out, CAngle::FromDms(CDms{1, 4000, 0, 0, 0}));
  EXPECT_EQ(out.str(), "-5,03,02.01 -1234.50000 +4000,00,00.00");
}

TEST(CoordinateText, ZoneOffsets) {
  EXPECT_EQ(FormatZoneOffset(32400), "+09:00:00");
  EXPECT_EQ(FormatZoneOffset(-12600), "-03:30:00");
  EXPECT_EQ(FormatZoneOffset(0), "+00:00:00");
  EXPECT_EQ(FormatZoneOffset(INT32_MIN), "-596523:14:08");
  EXPECT_EQ(Offset("+09:00:00"), "32400");
  EXPECT_EQ(Offset("-0:30:00"), "-1800");
  EXPECT_EQ(Offset("99:99:99"), "362439");
  EXPECT_EQ(Offset("-0000000000596523:14:07"), "-2147483647");
  EXPECT_EQ(Offset("09:00"), "Invalid Offset: 09:00");
  EXPECT_EQ(Offset(" 9:00:00"), "Invalid Offset:  9:00:00");
  EXPECT_EQ(Offset("٩:00:00"), "Invalid Offset: ٩:00:00");  // Arabic-Indic nine
  // Beyond 32 bits: refused, not wrapped.
  EXPECT_EQ(Offset("596523:14:08"), "Invalid Offset: 596523:14:08");
  EXPECT_EQ(Offset("-596523:14:09"), "Invalid Offset: -596523:14:09");
  // Every offset that formats reads back, the most negative one included.
  EXPECT_EQ(Offset("-596523:14:08"), "-2147483648");
  EXPECT_EQ(Offset(FormatZoneOffset(INT32_MIN)), std::to_string(INT32_MIN));
  EXPECT_EQ(Offset("0:0:4294967296"), "Invalid Offset: 0:0:4294967296");
  const int32_t standard[] = {0, 32400, -18000};  // daylight saving never applies
  for (int i = 0; i < 3; ++i) {
    const TimeZoneGuard guard(kTestZones[i]);
    EXPECT_EQ(ParseZoneOffset(""), standard[i]) << kTestZones[i];
  }
}

TEST(CoordinateText, ParsesAngles) {
  EXPECT_EQ(Angle("+35,30,00.50"), "+35,30,00.50 dms");
  EXPECT_EQ(Angle("-0,0,7.05"), "-0,00,07.05 dms");
  // The digits after the point are whole hundredths.
  EXPECT_EQ(Angle("1,2,3.5"), "+1,02,03.05 dms");
  EXPECT_EQ(Angle("1,2,3.129"), "Invalid DMS Range: +1,02,03.129");
  EXPECT_EQ(Angle("181,0,0"), "Invalid DMS Range: +181,00,00.00");
  // Fields too long for an int are out of range, not wrapped into range.
  EXPECT_EQ(Angle("4294967306,0,0"), "Invalid DMS Range: +2147483647,00,00.00");
  EXPECT_EQ(Angle("35.5"), "+35.50000 degrees");
  EXPECT_EQ(Angle("N35"), "+0.00000 degrees");
  EXPECT_EQ(Angle(" -139.75 E"), "-139.75000 degrees");
  EXPECT_EQ(Angle("inf"), "+0.00000 degrees");
}
