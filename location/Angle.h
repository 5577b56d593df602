// Angles in decimal degrees or degrees-minutes-seconds.
#pragma once

#include <cstdint>

// Degrees, minutes, seconds and hundredths of a second, with a sign.
struct CDms {
  int32_t sign = 1;  // +1 or -1
  uint32_t degrees = 0;
  uint32_t minutes = 0;
  uint32_t seconds = 0;
  uint32_t hundredths = 0;
};

enum : int32_t { kAngleUnitDegrees = 0, kAngleUnitDms = 1 };

// A signed angle (north latitude and east longitude positive), held in the unit
// the user gave it in: `degrees` when unit is kAngleUnitDegrees, `dms` otherwise.
struct CAngle {
  int32_t unit = kAngleUnitDegrees;
  union {
    double degrees;
    CDms dms;
  };

  CAngle() : dms() { degrees = 0.0; }
  static CAngle FromDegrees(double value) {
    CAngle a;
    a.unit = kAngleUnitDegrees;
    a.degrees = value;
    return a;
  }
  static CAngle FromDms(const CDms& value) {
    CAngle a;
    a.unit = kAngleUnitDms;
    a.dms = value;
    return a;
  }
  // The value in decimal degrees, whatever the unit.
  double ToDegrees() const;
};

// The same unit and the same value as held, field by field for DMS.
bool SameAngle(const CAngle& a, const CAngle& b);

// Stores the fields, then checks them; throws std::invalid_argument
// "Invalid DMS Range: " + the field text when one is out of range.
CDms MakeDmsAngle(int32_t sign, uint32_t degrees, uint32_t minutes, uint32_t seconds,
                  uint32_t hundredths);
// Splits by truncation, no range check; NaN and infinities give a zero angle and
// values too large for the degree field saturate instead of overflowing.
CDms DegreesToDms(double value);
double DmsToDegrees(const CDms& dms);
