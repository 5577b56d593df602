// Text forms of angles and zone offsets as the user interface shows and edits
// them. Numbers never depend on the user's locale.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "location/Angle.h"

// "+35.50000": the sign ("-" for negative values and NaN), then the absolute
// value with exactly 5 decimals.
std::string FormatDegrees(double value);

// "-5,03,02.01": the sign, degrees, then minutes, seconds and hundredths
// zero-filled to two digits.
std::string FormatDmsText(const CDms& dms);
std::ostream& FormatDms(std::ostream& out, const CDms& dms);
// Decimal degrees for unit 0, degrees-minutes-seconds for any other unit.
std::ostream& FormatAngleText(std::ostream& out, const CAngle& angle);

// "+09:00:00", "-03:30:00": seconds east of UTC as hours, minutes, seconds.
std::string FormatZoneOffset(int32_t offset);

// "[+-]h:m:s" with any number of digits per field, no range check on the
// fields; throws std::runtime_error "Invalid Offset: " + text otherwise, also
// when the value does not fit in 32 bits. The empty text gives the machine's
// standard offset (daylight saving not applied).
int32_t ParseZoneOffset(const std::string& text);

// "[+-]d,m,s[.f]" is a degrees-minutes-seconds angle (range-checked, see
// MakeDmsAngle; the digits after the point are a whole number of hundredths,
// so ".5" is 5 hundredths and ".129" is out of range); any other text is
// decimal degrees read like atof (0.0 when the text does not start with a
// number).
CAngle ParseAngle(const std::string& text);
