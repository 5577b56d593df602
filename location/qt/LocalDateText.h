// Times as the user reads them: the date and time forms of the user's locale.
#pragma once

#include <string>

#include "location/LocationRecord.h"

// The instant in the machine's time zone (the fix's own zone is not used): the
// locale's short date, one blank, the locale's time in 24-hour form with
// seconds. Throws std::runtime_error "localtime" when the time cannot be
// converted.
std::string FormatLocalDateTime(const CZonedTime& time);
