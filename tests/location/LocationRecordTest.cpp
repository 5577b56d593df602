#include "location/LocationRecord.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>

#include "tests/location/TimeZoneGuard.h"

namespace {

CZonedTime Utc(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = 1;  // ignored: the fields are UTC
  return CZonedTime(tm, 32400);
}

}  // namespace

TEST(LocationRecord, ZonedTimeReadsTheCalendarAsUtcInAnyZone) {
  for (const char* zone : kTestZones) {
    const TimeZoneGuard guard(zone);
    EXPECT_EQ(Utc(2004, 5, 1, 10, 20, 30), CZonedTime(1083406830, 32400)) << zone;
    EXPECT_EQ(Utc(2003, 13, 1, 0, 0, 0).seconds, 1072915200);  // month 13 carries over
    EXPECT_EQ(Utc(1901, 12, 13, 20, 45, 52).seconds, INT32_MIN);
    EXPECT_EQ(Utc(2038, 1, 19, 3, 14, 7).seconds, INT32_MAX);
    EXPECT_THROW(Utc(2038, 1, 19, 3, 14, 8), std::runtime_error);
    EXPECT_THROW(Utc(1901, 12, 13, 20, 45, 51), std::runtime_error);
  }
}
