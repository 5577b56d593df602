#include <gtest/gtest.h>

#include <QDate>
#include <stdexcept>

#include "app/LocalDay.h"
#include "tests/location/TimeZoneGuard.h"

namespace {

TEST(LocalDay, MonthAndYearEndsInEveryZone) {
  for (const char* name : kTestZones) {
    TimeZoneGuard zone(name);
    SCOPED_TRACE(name);
    const int32_t jan31 = LocalMidnightOf(QDate(2026, 1, 31));
    EXPECT_EQ(LocalDateOf(AddLocalDays(jan31, 1)), QDate(2026, 2, 1));
    EXPECT_EQ(LocalDateOf(AddLocalDays(LocalMidnightOf(QDate(2026, 3, 1)), -1)),
              QDate(2026, 2, 28));
    EXPECT_EQ(LocalDateOf(AddLocalDays(LocalMidnightOf(QDate(2024, 2, 28)), 1)),
              QDate(2024, 2, 29));
    EXPECT_EQ(LocalDateOf(AddLocalDays(LocalMidnightOf(QDate(2025, 12, 31)), 1)),
              QDate(2026, 1, 1));
    EXPECT_EQ(LocalMidnight(jan31 + 86399), jan31);
    const int32_t today = TodayLocalMidnight();
    EXPECT_EQ(LocalMidnight(today), today);
  }
}

TEST(LocalDay, DaysOutsideThe32BitRangeFail) {
  TimeZoneGuard zone("UTC0");
  EXPECT_THROW(LocalMidnightOf(QDate(1969, 12, 31)), std::runtime_error);
  EXPECT_THROW(LocalMidnightOf(QDate(2038, 1, 20)), std::runtime_error);
  EXPECT_THROW(AddLocalDays(LocalMidnightOf(QDate(2038, 1, 19)), 1), std::runtime_error);
  EXPECT_THROW(AddLocalDays(0, -1), std::runtime_error);
  try {
    LocalMidnightOf(QDate(1960, 1, 1));
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "mktime");
  }
}

}  // namespace
