// The three fixed geodetic datums and conversion between them through
// earth-centred cartesian coordinates.
#pragma once

#include <array>
#include <string>

struct CPosition;

class CDatum {
 public:
  CDatum(const char* name, const char* ellipsoidName, double semiMajorAxisDifference,
         double flatteningDifference, double dx, double dy, double dz);

  const char* name;
  const char* ellipsoidName;
  double semiMajorAxisDifference;  // metres, WGS-84's minus this ellipsoid's
  double flatteningDifference;     // WGS-84's minus this one's, times 1e4
  double dx, dy, dz;               // metres added to reach WGS-84
  double a;                        // semi-major axis, metres
  double e2;                       // squared eccentricity
};

// Refers to one of the three datums; compared by identity, never by content.
// A default-constructed handle is null and is not a valid datum.
class CDatumHandle {
 public:
  CDatumHandle() = default;
  explicit CDatumHandle(const CDatum* datum) : m_datum(datum) {}

  std::string GetName() const;
  const CDatum* Get() const { return m_datum; }
  bool IsNull() const { return m_datum == nullptr; }

  // {latitude, longitude, height} in degrees and metres -> {X, Y, Z} in metres.
  std::array<double, 3> GeodeticToCartesian(const std::array<double, 3>& llh) const;
  // {X, Y, Z} -> {latitude, longitude, height} (Bowring's closed form, one pass).
  std::array<double, 3> CartesianToGeodetic(const std::array<double, 3>& xyz) const;

  friend bool operator==(const CDatumHandle& a, const CDatumHandle& b) {
    return a.m_datum == b.m_datum;
  }

 private:
  const CDatum* m_datum = nullptr;
};

int GetDatumCount();                     // 3
CDatumHandle GetDatumByIndex(int index);  // 0 WGS-84, 1 Tokyo_mean, 2 ITRF; throws std::out_of_range
CDatumHandle GetWgs84Datum();
// The datum's index in the table, or -1 for a null handle.
int GetDatumIndex(const CDatumHandle& datum);

// The program-wide pi, 4 * atan2(1, 1).
extern const double kPi;

CPosition ConvertPositionDatum(const CPosition& position, const CDatumHandle& target);
