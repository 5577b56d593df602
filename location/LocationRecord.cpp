#include "location/LocationRecord.h"

#include <cstdint>
#include <limits>
#include <stdexcept>

CZonedTime::CZonedTime(const std::tm& utcCalendarTime, int32_t offset) : offset(offset) {
  std::tm copy = utcCalendarTime;
  const time_t value = timegm(&copy);
  // time_t is 64 bits here, so timegm itself does not overflow for any tm.
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
    throw std::runtime_error("Time Out Of Range");
  }
  seconds = static_cast<int32_t>(value);
}

CPosition::CPosition(const std::pair<double, double>& latitudeLongitude) {
  latitude = CAngle::FromDegrees(latitudeLongitude.first);
  longitude = CAngle::FromDegrees(latitudeLongitude.second);
}

std::pair<double, double> GetPositionDegrees(const CPosition& position) {
  const CPosition wgs84 = ConvertPositionDatum(position, GetWgs84Datum());
  return {wgs84.latitude.ToDegrees(), wgs84.longitude.ToDegrees()};
}

CGeoRect NormalizeGeoRect(const CGeoRect& rect) {
  CGeoRect result;
  result.top = rect.top < rect.bottom ? rect.bottom : rect.top;
  result.bottom = rect.top < rect.bottom ? rect.top : rect.bottom;
  result.left = rect.left < rect.right ? rect.left : rect.right;
  result.right = rect.left < rect.right ? rect.right : rect.left;
  return result;
}
