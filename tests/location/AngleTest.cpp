#include "location/Angle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>

#include "location/CoordinateText.h"

namespace {

std::string Made(int32_t sign, uint32_t d, uint32_t m, uint32_t s, uint32_t h) {
  try {
    return FormatDmsText(MakeDmsAngle(sign, d, m, s, h));
  } catch (const std::invalid_argument& e) {
    return e.what();
  }
}

}  // namespace

TEST(Angle, MakeDmsAngleChecksEveryField) {
  EXPECT_EQ(Made(1, 180, 59, 59, 99), "+180,59,59.99");
  EXPECT_EQ(Made(1, 181, 0, 0, 0), "Invalid DMS Range: +181,00,00.00");
  EXPECT_EQ(Made(0, 1, 2, 3, 4), "Invalid DMS Range: +1,02,03.04");
  EXPECT_EQ(Made(-1, 10, 60, 0, 0), "Invalid DMS Range: -10,60,00.00");
  EXPECT_EQ(Made(1, 0, 0, 0, 100), "Invalid DMS Range: +0,00,00.100");
  EXPECT_EQ(Made(1, uint32_t(-1), 0, 0, 0), "Invalid DMS Range: +4294967295,00,00.00");
}

TEST(Angle, DegreesToDmsTruncatesWithoutRangeCheck) {
  EXPECT_EQ(FormatDmsText(DegreesToDms(35.5)), "+35,30,00.00");
  EXPECT_EQ(FormatDmsText(DegreesToDms(-139.75)), "-139,45,00.00");
  EXPECT_EQ(FormatDmsText(DegreesToDms(200.5)), "+200,30,00.00");
  EXPECT_EQ(FormatDmsText(DegreesToDms(10.0 + 59.9999 / 3600)), "+10,00,59.99");  // no carry
  // Values without an angle never reach an integer conversion.
  EXPECT_EQ(FormatDmsText(DegreesToDms(NAN)), "-0,00,00.00");
  EXPECT_EQ(FormatDmsText(DegreesToDms(-INFINITY)), "-0,00,00.00");
  EXPECT_EQ(FormatDmsText(DegreesToDms(1e300)), "+4294967295,00,00.00");
  EXPECT_EQ(DmsToDegrees(CDms{-1, 35, 30, 0, 0}), -35.5);
  for (const double value : {-139.75, -0.5, 35.25}) {
    EXPECT_EQ(CAngle::FromDms(DegreesToDms(value)).ToDegrees(), value);
  }
}
