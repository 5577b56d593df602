#include "location/qt/LocalDateText.h"

#include <gtest/gtest.h>

#include "tests/location/TimeZoneGuard.h"

// US English (see CMakeLists.txt); 2004-05-01T14:20:30Z, the fix's own offset unused.
TEST(LocalDateText, ShortDateAnd24HourTimeInTheMachinesZone) {
  const char* expected[] = {"5/1/04 14:20:30", "5/1/04 23:20:30", "5/1/04 10:20:30"};
  for (int i = 0; i < 3; ++i) {
    const TimeZoneGuard guard(kTestZones[i]);
    EXPECT_EQ(FormatLocalDateTime(CZonedTime(1083421230, -12600)), expected[i]);
  }
  const TimeZoneGuard tokyo("JST-9");
  EXPECT_EQ(FormatLocalDateTime(CZonedTime(INT32_MIN, 0)), "12/14/01 5:45:52");
}
