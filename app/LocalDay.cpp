#include "app/LocalDay.h"

#include <ctime>
#include <limits>
#include <stdexcept>

#include "location/TimeText.h"

namespace {

std::tm LocalCalendar(int32_t time) {
  // localtime_r, unlike localtime, need not read the zone by itself.
  tzset();
  const time_t value = time;
  std::tm tm{};
  if (!localtime_r(&value, &tm)) throw std::runtime_error("localtime");
  return tm;
}

// Midnight of the calendar day tm_mday + days of tm's month, carried into the
// neighbouring months and years by mktime.
int32_t MidnightOf(std::tm tm, int days) {
  tm.tm_mday += days;
  tm.tm_hour = 0;
  tm.tm_min = 0;
  tm.tm_sec = 0;
  // The zone decides whether daylight saving holds at that midnight.
  tm.tm_isdst = -1;
  const time_t value = mktime(&tm);
  if (value < 0 || value > std::numeric_limits<int32_t>::max()) throw std::runtime_error("mktime");
  return static_cast<int32_t>(value);
}

}  // namespace

int32_t LocalMidnight(int32_t time) { return MidnightOf(LocalCalendar(time), 0); }

int32_t AddLocalDays(int32_t time, int days) { return MidnightOf(LocalCalendar(time), days); }

int32_t TodayLocalMidnight() {
  const time_t now = std::time(nullptr);
  if (now < 0 || now > std::numeric_limits<int32_t>::max()) throw std::runtime_error("localtime");
  return LocalMidnight(static_cast<int32_t>(now));
}

QDate LocalDateOf(int32_t time) {
  const SYSTEMTIME day = TimeTToSystemTime(time);
  return QDate(day.wYear, day.wMonth, day.wDay);
}

int32_t LocalMidnightOf(const QDate& date) {
  if (!date.isValid() || date.year() < 1 || date.year() > 9999) throw std::runtime_error("mktime");
  SYSTEMTIME day;
  day.wYear = static_cast<uint16_t>(date.year());
  day.wMonth = static_cast<uint16_t>(date.month());
  day.wDay = static_cast<uint16_t>(date.day());
  return SystemTimeToTimeT(day);
}
