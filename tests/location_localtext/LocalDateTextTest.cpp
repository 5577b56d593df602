#include "location/qt/LocalDateText.h"

#include <gtest/gtest.h>

#include <QLocale>

#include "tests/location/TimeZoneGuard.h"

// 2004-05-01T14:20:30Z, the fix's own offset unused.
TEST(LocalDateText, ShortDateAnd24HourTimeInTheMachinesZone) {
  if (QLocale::system().language() != QLocale::English) GTEST_SKIP() << "US English only";
  const char* expected[] = {"5/1/04 14:20:30", "5/1/04 23:20:30", "5/1/04 10:20:30"};
  for (int i = 0; i < 3; ++i) {
    const TimeZoneGuard guard(kTestZones[i]);
    EXPECT_EQ(FormatLocalDateTime(CZonedTime(1083421230, -12600)), expected[i]);
  }
  const TimeZoneGuard tokyo("JST-9");
  EXPECT_EQ(FormatLocalDateTime(CZonedTime(INT32_MIN, 0)), "12/14/01 5:45:52");
}

TEST(LocalDateText, JapaneseClockGainsItsSeconds) {
  if (QLocale::system().language() != QLocale::Japanese) GTEST_SKIP() << "Japanese only";
  const TimeZoneGuard tokyo("JST-9");
  EXPECT_EQ(FormatLocalDateTime(CZonedTime(1083421230, 0)), "2004/05/01 23:20:30");
  EXPECT_EQ(FormatLocalDateTime(CZonedTime(1083391509, 0)), "2004/05/01 15:05:09");
}
