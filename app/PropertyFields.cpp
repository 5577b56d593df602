#include "app/PropertyFields.h"

#include <cerrno>
#include <cmath>
#include <ctime>
#include <limits>
#include <sstream>
#include <stdexcept>

#include "location/CoordinateText.h"
#include "location/NumberText.h"
#include "location/XmlText.h"

namespace {

// Numbers are shown as a default text stream writes them: general notation,
// 6 significant digits.
std::string OptionalNumberText(bool present, double value) {
  return present ? FormatDoubleGeneral(value, 6) : std::string();
}

[[noreturn]] void ThrowInvalidNumber(const std::string& text) {
  throw std::runtime_error("Invalid Number: " + text);
}

// The finite number at the start of the text (C locale). A text without one
// is refused rather than stored as some value the user never typed, and so is
// one too large for a double, which no file could give back.
double ReadFieldNumber(const std::string& text) {
  std::size_t used = 0;
  const double value = ParseDouble(text, &used);
  if (used == 0 || !std::isfinite(value)) ThrowInvalidNumber(text);
  return value;
}

void ApplyOptionalNumber(const std::string& text, bool& present, double& value) {
  if (text.empty()) {
    present = false;
    return;
  }
  value = ReadFieldNumber(text);
  present = true;
}

CAngle ReadFieldAngle(const std::string& text) {
  const CAngle angle = ParseAngle(text);
  if (angle.unit == kAngleUnitDegrees && !std::isfinite(angle.degrees)) ThrowInvalidNumber(text);
  return angle;
}

std::string AngleText(const CAngle& angle) {
  std::ostringstream text;
  FormatAngleText(text, angle);
  return text.str();
}

}  // namespace

std::string PropertyFieldText(const CLocationRecord& record, int control) {
  const CPosition& position = record.position;
  switch (control) {
    case IDC_PROPERTY_NOTE:
      return record.hasNote ? record.note : std::string();
    case IDC_PROPERTY_LATITUDE:
      return AngleText(position.latitude);
    case IDC_PROPERTY_LONGITUDE:
      return AngleText(position.longitude);
    case IDC_PROPERTY_ALTITUDE:
      return OptionalNumberText(position.hasAltitude, position.altitude);
    case IDC_PROPERTY_FIX_MODE:
      return position.hasFixMode ? position.fixMode : std::string();
    case IDC_PROPERTY_SEMI_MAJOR:
      return OptionalNumberText(position.hasSemiMajorAxisError, position.semiMajorAxisError);
    case IDC_PROPERTY_SEMI_MINOR:
      return OptionalNumberText(position.hasSemiMinorAxisError, position.semiMinorAxisError);
    case IDC_PROPERTY_VERTICAL:
      return OptionalNumberText(position.hasVerticalError, position.verticalError);
    case IDC_PROPERTY_MAJOR_AXIS_ANGLE:
      return OptionalNumberText(position.hasMajorAxisAngle, position.majorAxisAngle);
    case IDC_PROPERTY_ZONE:
      return record.hasTime ? FormatZoneOffset(record.time.offset) : std::string();
    default:
      throw std::logic_error("Not An Edit: " + std::to_string(control));
  }
}

CLocationRecord ApplyPropertyFieldText(const CLocationRecord& record, int control,
                                       const std::string& text) {
  CLocationRecord result = record;
  CPosition& position = result.position;
  switch (control) {
    case IDC_PROPERTY_NOTE:
      // The old note stays in the record, unused, like the other cleared fields.
      if (text.empty())
        result.hasNote = false;
      else
        result.SetNote(ReplaceNonXmlCharacters(text));
      break;
    case IDC_PROPERTY_LATITUDE:
      position.latitude = ReadFieldAngle(text);
      break;
    case IDC_PROPERTY_LONGITUDE:
      position.longitude = ReadFieldAngle(text);
      break;
    case IDC_PROPERTY_ALTITUDE:
      ApplyOptionalNumber(text, position.hasAltitude, position.altitude);
      break;
    case IDC_PROPERTY_FIX_MODE:
      position.hasFixMode = !text.empty();
      if (position.hasFixMode) position.fixMode = ReplaceNonXmlCharacters(text);
      break;
    case IDC_PROPERTY_SEMI_MAJOR:
      ApplyOptionalNumber(text, position.hasSemiMajorAxisError, position.semiMajorAxisError);
      break;
    case IDC_PROPERTY_SEMI_MINOR:
      ApplyOptionalNumber(text, position.hasSemiMinorAxisError, position.semiMinorAxisError);
      break;
    case IDC_PROPERTY_VERTICAL:
      ApplyOptionalNumber(text, position.hasVerticalError, position.verticalError);
      break;
    case IDC_PROPERTY_MAJOR_AXIS_ANGLE:
      ApplyOptionalNumber(text, position.hasMajorAxisAngle, position.majorAxisAngle);
      break;
    case IDC_PROPERTY_ZONE:
      break;
    default:
      throw std::logic_error("Not An Edit: " + std::to_string(control));
  }
  return result;
}

CWallClock WallClockOf(const CZonedTime& time) {
  // 64-bit time_t: the sum of two 32-bit values always fits.
  const time_t wall = static_cast<time_t>(time.seconds) + static_cast<time_t>(time.offset);
  std::tm fields{};
  if (gmtime_r(&wall, &fields) == nullptr) throw std::runtime_error("gmtime");
  return {fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday,
          fields.tm_hour,        fields.tm_min,     fields.tm_sec};
}

CZonedTime ZonedTimeOfWallClock(const CWallClock& wall, int32_t offset) {
  std::tm fields{};
  fields.tm_year = wall.year - 1900;
  fields.tm_mon = wall.month - 1;
  fields.tm_mday = wall.day;
  fields.tm_hour = wall.hour;
  fields.tm_min = wall.minute;
  fields.tm_sec = wall.second;
  errno = 0;
  const time_t utc = timegm(&fields);
  if (utc == static_cast<time_t>(-1) && errno == EOVERFLOW) throw std::runtime_error("Time Out Of Range");
  const int64_t seconds = static_cast<int64_t>(utc) - offset;
  if (seconds < std::numeric_limits<int32_t>::min() || seconds > std::numeric_limits<int32_t>::max())
    throw std::runtime_error("Time Out Of Range");
  return CZonedTime(static_cast<int32_t>(seconds), offset);
}
