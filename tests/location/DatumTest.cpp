#include "location/Datum.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "location/LocationRecord.h"

namespace {

CPosition At(double latitude, double longitude, int datum, bool hasAltitude) {
  CPosition position({latitude, longitude});
  position.datum = GetDatumByIndex(datum);
  position.hasAltitude = hasAltitude;
  return position;
}

}  // namespace

TEST(Datum, TableAndIdentity) {
  ASSERT_EQ(GetDatumCount(), 3);
  EXPECT_EQ(GetDatumByIndex(0).GetName(), "WGS-84");
  EXPECT_EQ(GetDatumByIndex(1).GetName(), "Tokyo_mean");
  EXPECT_EQ(GetDatumByIndex(2).GetName(), "ITRF");
  EXPECT_STREQ(GetDatumByIndex(1).Get()->ellipsoidName, "Bessel_1841");
  EXPECT_DOUBLE_EQ(GetDatumByIndex(1).Get()->a, 6377397.155);
  EXPECT_EQ(GetDatumByIndex(0), GetWgs84Datum());
  EXPECT_FALSE(GetDatumByIndex(0) == GetDatumByIndex(2));  // equal numbers, other datum
  EXPECT_THROW(GetDatumByIndex(3), std::out_of_range);
  EXPECT_THROW(GetDatumByIndex(-1), std::out_of_range);
  const CGeoRect r = NormalizeGeoRect({10, 140, 20, 130});
  EXPECT_TRUE(r.top == 20 && r.left == 130 && r.bottom == 10 && r.right == 140);
}

TEST(Datum, TokyoMeanToWgs84AndBack) {
  const CPosition wgs84 = ConvertPositionDatum(At(35, 139, 1, true), GetWgs84Datum());
  EXPECT_EQ(wgs84.datum, GetWgs84Datum());
  EXPECT_NEAR(wgs84.latitude.degrees, 35.003334, 5e-7);
  EXPECT_NEAR(wgs84.longitude.degrees, 138.996943, 5e-7);
  EXPECT_NEAR(wgs84.altitude, 0.48, 0.01);
  // Without an altitude the height is not stored; the angles are the same.
  const CPosition flat = ConvertPositionDatum(At(35, 139, 1, false), GetWgs84Datum());
  EXPECT_EQ(flat.altitude, 0.0);
  EXPECT_EQ(flat.latitude.degrees, wgs84.latitude.degrees);
  const auto degrees = GetPositionDegrees(At(35, 139, 1, false));
  EXPECT_EQ(degrees.first, flat.latitude.degrees);
  EXPECT_EQ(degrees.second, flat.longitude.degrees);
}

TEST(Datum, ConversionKeepsUnitsAndOtherFields) {
  CPosition position = At(35, 139, 1, false);
  position.latitude = CAngle::FromDms(CDms{1, 35, 0, 0, 0});
  position.fixMode = "gps";
  const CPosition wgs84 = ConvertPositionDatum(position, GetWgs84Datum());
  ASSERT_EQ(wgs84.latitude.unit, kAngleUnitDms);
  EXPECT_EQ(wgs84.longitude.unit, kAngleUnitDegrees);
  EXPECT_EQ(wgs84.latitude.dms.seconds, 12u);  // 35.003334 degrees
  EXPECT_EQ(wgs84.GetFixMode(), "gps");
  // WGS-84 to ITRF changes only the datum.
  CPosition plain = At(-33.5, -70.25, 0, true);
  plain.altitude = 100.0;
  const CPosition itrf = ConvertPositionDatum(plain, GetDatumByIndex(2));
  EXPECT_NEAR(itrf.latitude.degrees, -33.5, 1e-9);
  EXPECT_NEAR(itrf.longitude.degrees, -70.25, 1e-9);
  EXPECT_NEAR(itrf.altitude, 100.0, 1e-6);
}
