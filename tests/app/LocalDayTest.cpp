#include <gtest/gtest.h>

#include <QDate>
#include <stdexcept>

#include "app/LocalDay.h"
#include "tests/location/TimeZoneGuard.h"

namespace {

// 2026-03-08 and 2026-11-01 are the days daylight saving begins and ends in
// EST5EDT: 23 and 25 hours long.
constexpr int32_t kMarch7 = 1772859600;  // 2026-03-07 00:00 EST
constexpr int32_t kMarch8 = 1772946000;  // 2026-03-08 00:00 EST
constexpr int32_t kMarch9 = 1773028800;  // 2026-03-09 00:00 EDT
constexpr int32_t kOct31 = 1793419200;   // 2026-10-31 00:00 EDT
constexpr int32_t kNov1 = 1793505600;    // 2026-11-01 00:00 EDT
constexpr int32_t kNov2 = 1793595600;    // 2026-11-02 00:00 EST

TEST(LocalDay, MidnightsAcrossDaylightSavingChanges) {
  TimeZoneGuard zone("EST5EDT,M3.2.0,M11.1.0");
  EXPECT_EQ(kMarch9 - kMarch8, 23 * 3600);
  EXPECT_EQ(kNov2 - kNov1, 25 * 3600);

  EXPECT_EQ(LocalMidnight(kMarch8), kMarch8);
  EXPECT_EQ(LocalMidnight(kMarch9 - 1), kMarch8);
  EXPECT_EQ(LocalMidnight(kNov1 + 25 * 3600 - 1), kNov1);
  EXPECT_EQ(AddLocalDays(kMarch8, 1), kMarch9);
  EXPECT_EQ(AddLocalDays(kMarch9, -1), kMarch8);
  EXPECT_EQ(AddLocalDays(kMarch7, 2), kMarch9);
  EXPECT_EQ(AddLocalDays(kNov1, 1), kNov2);
  EXPECT_EQ(AddLocalDays(kNov2, -1), kNov1);
  EXPECT_EQ(AddLocalDays(kNov1 + 24 * 3600, 1), kNov2);  // 23:00, still November 1
  EXPECT_EQ(AddLocalDays(kOct31 + 12 * 3600, 1), kNov1);

  EXPECT_EQ(LocalDateOf(kNov1 + 24 * 3600), QDate(2026, 11, 1));
  EXPECT_EQ(LocalMidnightOf(QDate(2026, 11, 2)), kNov2);
  EXPECT_EQ(LocalMidnightOf(QDate(2026, 3, 8)), kMarch8);
}

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
