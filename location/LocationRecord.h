// The location record and its parts: plain values copied by value.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <utility>

#include "location/Angle.h"
#include "location/Datum.h"

// Seconds since 1970-01-01 00:00 UTC and the zone offset of the fix in seconds
// east of UTC.
struct CZonedTime {
  int32_t seconds = 0;
  int32_t offset = 0;

  CZonedTime() = default;
  CZonedTime(int32_t seconds, int32_t offset) : seconds(seconds), offset(offset) {}
  // Reads the broken-down calendar time as UTC (timegm); throws
  // std::runtime_error when the instant does not fit in 32 bits.
  CZonedTime(const std::tm& utcCalendarTime, int32_t offset);

  friend bool operator==(const CZonedTime&, const CZonedTime&) = default;
};

// Degrees: top latitude, left longitude, bottom latitude, right longitude.
struct CGeoRect {
  double top = 0.0;
  double left = 0.0;
  double bottom = 0.0;
  double right = 0.0;
};

struct CPosition {
  std::string fixMode;
  CDatumHandle datum = GetWgs84Datum();
  CAngle longitude;
  CAngle latitude;
  double altitude = 0.0;            // metres
  double semiMajorAxisError = 0.0;  // accuracy ellipse
  double semiMinorAxisError = 0.0;
  double verticalError = 0.0;
  double majorAxisAngle = 0.0;
  bool hasFixMode = false;
  bool hasAltitude = false;
  bool hasSemiMajorAxisError = false;
  bool hasSemiMinorAxisError = false;
  bool hasVerticalError = false;
  bool hasMajorAxisAngle = false;

  CPosition() = default;
  // From {latitude, longitude} in decimal degrees, WGS-84.
  explicit CPosition(const std::pair<double, double>& latitudeLongitude);

  std::string GetFixMode() const { return fixMode; }
};

struct CLocationRecord {
  CPosition position;
  CZonedTime time;
  std::string note;
  bool hasTime = false;
  bool hasNote = false;

  std::string GetNote() const { return note; }
  // Sets the note and marks it present, also for an empty text.
  void SetNote(const std::string& text) {
    note = text;
    hasNote = true;
  }
};

// {latitude, longitude} in WGS-84 decimal degrees.
std::pair<double, double> GetPositionDegrees(const CPosition& position);
// Top the larger latitude, left the smaller longitude.
CGeoRect NormalizeGeoRect(const CGeoRect& rect);
