// The property window's side of a record without any widget: the text each
// edit shows, what typed text does to the record, and the record's own wall
// clock time, which the date and time pickers show and set.
#pragma once

#include <cstdint>
#include <string>

#include "location/LocationRecord.h"

// Control ids of the property window (dialog 211).
enum EPropertyControl : int {
  IDC_PROPERTY_NOTE = 1023,
  IDC_PROPERTY_LATITUDE = 1036,
  IDC_PROPERTY_LONGITUDE = 1037,
  IDC_PROPERTY_ALTITUDE = 1038,
  IDC_PROPERTY_FIX_MODE = 1039,
  IDC_PROPERTY_SEMI_MAJOR = 1040,
  IDC_PROPERTY_SEMI_MINOR = 1041,
  IDC_PROPERTY_VERTICAL = 1042,
  IDC_PROPERTY_MAJOR_AXIS_ANGLE = 1043,
  IDC_PROPERTY_DATUM = 1044,
  IDC_PROPERTY_DATE = 1056,
  IDC_PROPERTY_TIME = 1057,
  IDC_PROPERTY_ZONE = 1058,
  IDC_PROPERTY_HAS_TIME = 1059,
  IDC_PROPERTY_OPERATIONS = 1060,
};

// The ten edits, in the window's order of value controls.
inline constexpr int kPropertyEdits[] = {
    IDC_PROPERTY_ZONE,       IDC_PROPERTY_LATITUDE,   IDC_PROPERTY_LONGITUDE,
    IDC_PROPERTY_ALTITUDE,   IDC_PROPERTY_FIX_MODE,   IDC_PROPERTY_SEMI_MAJOR,
    IDC_PROPERTY_SEMI_MINOR, IDC_PROPERTY_VERTICAL,   IDC_PROPERTY_MAJOR_AXIS_ANGLE,
    IDC_PROPERTY_NOTE};

// The text an edit shows for the record. The zone edit shows the offset only
// when the record has a time; callers leave it alone otherwise.
std::string PropertyFieldText(const CLocationRecord& record, int control);

// The record with the edit's whole text applied. Empty text clears an
// optional field; a number field needs text that starts with a finite number
// ("Invalid Number: " + text otherwise). Angles follow ParseAngle, except that
// a value too large to be a number is refused the same way. A typed note or
// fix mode keeps only what a location file can hold (see XmlText.h). Throws
// without a record for any refused text. The zone edit changes nothing here:
// the time commit reads it.
CLocationRecord ApplyPropertyFieldText(const CLocationRecord& record, int control,
                                       const std::string& text);

// A calendar date and time of day, month 1-12.
struct CWallClock {
  int year = 1970;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;

  friend bool operator==(const CWallClock&, const CWallClock&) = default;
};

// The clock on the wall where the fix was taken: UTC plus the record's own
// offset, whatever the machine's zone.
CWallClock WallClockOf(const CZonedTime& time);
// The instant at which the wall clock of a place offset seconds east of UTC
// showed wall; out-of-range fields carry over. Throws std::runtime_error
// "Time Out Of Range" when the instant does not fit a CZonedTime.
CZonedTime ZonedTimeOfWallClock(const CWallClock& wall, int32_t offset);
