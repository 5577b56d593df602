// ISO-8601 date-time text of the XML files, the local-calendar conversions of
// the date pickers, and the message text of the character-level parsers.
#pragma once

#include <cstdint>
#include <ctime>
#include <stdexcept>
#include <string>
#include <string_view>

#include "location/Exceptions.h"
#include "location/LocationRecord.h"

// A calendar date and time as the date pickers exchange it (month 1-12).
struct SYSTEMTIME {
  uint16_t wYear = 0;
  uint16_t wMonth = 0;
  uint16_t wDayOfWeek = 0;
  uint16_t wDay = 0;
  uint16_t wHour = 0;
  uint16_t wMinute = 0;
  uint16_t wSecond = 0;
  uint16_t wMilliseconds = 0;
};

// Reads the "time" element's text: year-month-dayThour:minute:second with an
// optional "Z" or +hh:mm / -hh:mm. Throws std::runtime_error: the parse-error
// texts with the context "Date", or "Invalid Date: " + text for an instant or
// offset that CZonedTime cannot hold.
CZonedTime ParsePointTime(std::string_view text);
// The same for a NUL-terminated text.
CZonedTime ParsePointTime(const char* text);
// Throws what ParsePointTime(text) throws, for a reader that needs to know
// only that the time can be read.
void CheckPointTime(const char* text);
// The character-by-character reader that ParsePointTime reads every text
// with that is not in the writer's own form.
CZonedTime ParsePointTimeByStates(std::string_view text);

// Writes the time in its own zone offset, the offset in whole minutes; the
// text always denotes exactly time.seconds.
std::string FormatPointTime(const CZonedTime& time);

// Reads the database index's times; the zone designator is required. Throws
// std::runtime_error "Invalid Date: " + text.
int32_t ParseIso8601Time(std::string_view text);

// Writes the instant in the machine's standard offset (no daylight saving).
std::string FormatIso8601Time(int32_t seconds);

// The runtime error into which a parser turns its PARSEERROR: "Incomplete " at
// the end of the text, otherwise "Invalid Letter<c> In " (c printable ASCII, or
// "0x" and the code point in hexadecimal), then context, ": " and the text.
std::runtime_error FormatParseError(const PARSEERROR& error, std::string_view text,
                                    std::string_view context);

// Local calendar time to seconds (mktime, daylight saving as the zone has it).
// Throws std::runtime_error "mktime" when the time is before 1970 or beyond
// 32 bits.
int32_t SystemTimeToTimeT(const SYSTEMTIME& time);
// Seconds to the local calendar time (localtime_r); "localtime" on failure.
SYSTEMTIME TimeTToSystemTime(int32_t seconds);
// Copies the calendar fields; day of week and milliseconds are 0.
SYSTEMTIME TmToSystemTime(const std::tm& time);
// The local broken-down time of SystemTimeToTimeT(time): out-of-range fields
// carried, weekday and day of year filled in.
std::tm NormalizeSystemTime(const SYSTEMTIME& time);
