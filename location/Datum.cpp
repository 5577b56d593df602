#include "location/Datum.h"

#include <cmath>
#include <stdexcept>
#include <string>

#include "location/LocationRecord.h"

const double kPi = 4.0 * std::atan2(1.0, 1.0);

namespace {

constexpr double kWgs84SemiMajorAxis = 6378137.0;
constexpr double kWgs84Flattening = 0.0033528106647474805;  // 1 / 298.257223563

// Function-local statics: the table exists before any other code can ask for it.
const CDatum* DatumTable() {
  static const CDatum table[3] = {
      CDatum("WGS-84", "WGS-84", 0.0, 0.0, 0.0, 0.0, 0.0),
      CDatum("Tokyo_mean", "Bessel_1841", 739.845, 0.10037483, -128.0, 481.0, 664.0),
      CDatum("ITRF", "WGS-84", 0.0, 0.0, 0.0, 0.0, 0.0),
  };
  return table;
}

}  // namespace

CDatum::CDatum(const char* name, const char* ellipsoidName, double semiMajorAxisDifference,
               double flatteningDifference, double dx, double dy, double dz)
    : name(name),
      ellipsoidName(ellipsoidName),
      semiMajorAxisDifference(semiMajorAxisDifference),
      flatteningDifference(flatteningDifference),
      dx(dx),
      dy(dy),
      dz(dz),
      a(kWgs84SemiMajorAxis - semiMajorAxisDifference) {
  const double f = kWgs84Flattening - flatteningDifference * 0.0001;
  e2 = f + f - f * f;
}

std::string CDatumHandle::GetName() const { return m_datum ? m_datum->name : ""; }

std::array<double, 3> CDatumHandle::GeodeticToCartesian(const std::array<double, 3>& llh) const {
  const CDatum& d = *m_datum;
  const double phi = (kPi * llh[0]) * 0.005555555555555556;
  const double lambda = (kPi * llh[1]) * 0.005555555555555556;
  const double h = llh[2];
  const double sinPhi = std::sin(phi);
  const double n = d.a / std::sqrt(1.0 - d.e2 * sinPhi * sinPhi);
  return {(n + h) * std::cos(lambda) * std::cos(phi) + d.dx,
          (n + h) * std::sin(lambda) * std::cos(phi) + d.dy,
          ((1.0 - d.e2) * n + h) * sinPhi + d.dz};
}

std::array<double, 3> CDatumHandle::CartesianToGeodetic(const std::array<double, 3>& xyz) const {
  const CDatum& d = *m_datum;
  const double x = xyz[0] - d.dx;
  const double y = xyz[1] - d.dy;
  const double z = xyz[2] - d.dz;
  const double s = std::sqrt(1.0 - d.e2);
  const double p = std::sqrt(y * y + x * x);
  const double theta = std::atan2(z, p * s);
  const double sinTheta = std::sin(theta);
  const double cosTheta = std::cos(theta);
  const double phi = std::atan2(z + (d.a * d.e2 / s) * sinTheta * sinTheta * sinTheta,
                                p - d.a * d.e2 * cosTheta * cosTheta * cosTheta);
  const double lambda = std::atan2(y, x);
  const double sinPhi = std::sin(phi);
  const double n = d.a / std::sqrt(1.0 - d.e2 * sinPhi * sinPhi);
  const double h = p / std::cos(phi) - n;
  return {(1.0 / kPi) * phi * 180.0, lambda * (1.0 / kPi) * 180.0, h};
}

int GetDatumCount() { return 3; }

CDatumHandle GetDatumByIndex(int index) {
  if (index < 0 || index >= GetDatumCount()) {
    throw std::out_of_range("Invalid Datum Index: " + std::to_string(index));
  }
  return CDatumHandle(&DatumTable()[index]);
}

CDatumHandle GetWgs84Datum() { return CDatumHandle(&DatumTable()[0]); }

int GetDatumIndex(const CDatumHandle& datum) {
  for (int i = 0; i < GetDatumCount(); ++i) {
    if (datum.Get() == &DatumTable()[i]) return i;
  }
  return -1;
}

namespace {

CAngle InUnitOf(const CAngle& original, double degrees) {
  return original.unit == kAngleUnitDegrees ? CAngle::FromDegrees(degrees)
                                            : CAngle::FromDms(DegreesToDms(degrees));
}

}  // namespace

CPosition ConvertPositionDatum(const CPosition& position, const CDatumHandle& target) {
  if (target == position.datum) return position;
  const double height = position.hasAltitude ? position.altitude : 0.0;
  const auto xyz = position.datum.GeodeticToCartesian(
      {position.latitude.ToDegrees(), position.longitude.ToDegrees(), height});
  const auto llh = target.CartesianToGeodetic(xyz);
  CPosition result = position;
  result.datum = target;
  result.latitude = InUnitOf(position.latitude, llh[0]);
  result.longitude = InUnitOf(position.longitude, llh[1]);
  if (position.hasAltitude) result.altitude = llh[2];
  return result;
}
