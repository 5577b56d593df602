#include "location/Angle.h"

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

#include "location/CoordinateText.h"

namespace {

// Truncates a non-negative finite double to an unsigned field, saturating
// where the value does not fit.
uint32_t TruncateToField(double value) {
  if (!(value >= 0.0)) return 0;
  if (value >= static_cast<double>(std::numeric_limits<uint32_t>::max())) {
    return std::numeric_limits<uint32_t>::max();
  }
  return static_cast<uint32_t>(value);
}

}  // namespace

double CAngle::ToDegrees() const { return unit == kAngleUnitDegrees ? degrees : DmsToDegrees(dms); }

bool SameAngle(const CAngle& a, const CAngle& b) {
  if (a.unit != b.unit) return false;
  if (a.unit == kAngleUnitDegrees) return a.degrees == b.degrees;
  return a.dms.sign == b.dms.sign && a.dms.degrees == b.dms.degrees &&
         a.dms.minutes == b.dms.minutes && a.dms.seconds == b.dms.seconds &&
         a.dms.hundredths == b.dms.hundredths;
}

CDms MakeDmsAngle(int32_t sign, uint32_t degrees, uint32_t minutes, uint32_t seconds,
                  uint32_t hundredths) {
  CDms dms{sign, degrees, minutes, seconds, hundredths};
  if ((sign != 1 && sign != -1) || degrees > 180 || minutes > 59 || seconds > 59 ||
      hundredths > 99) {
    throw std::invalid_argument("Invalid DMS Range: " + FormatDmsText(dms));
  }
  return dms;
}

CDms DegreesToDms(double value) {
  CDms dms;
  dms.sign = value >= 0.0 ? 1 : -1;
  if (!std::isfinite(value)) return CDms{dms.sign, 0, 0, 0, 0};
  double whole = 0.0;
  double fraction = std::modf(std::fabs(value), &whole);
  dms.degrees = TruncateToField(whole);
  fraction = std::modf(fraction * 60.0, &whole);
  dms.minutes = TruncateToField(whole);
  fraction = std::modf(fraction * 60.0, &whole);
  dms.seconds = TruncateToField(whole);
  std::modf(fraction * 100.0, &whole);
  dms.hundredths = TruncateToField(whole);
  return dms;
}

double DmsToDegrees(const CDms& dms) {
  return dms.sign * (dms.degrees + dms.minutes * 0.016666666666666666 +
                     dms.seconds * 0.0002777777777777778 + dms.hundredths * 2.777777777777778e-6);
}
