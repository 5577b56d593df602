// Days of the local calendar as the day view shows them: a day starts at its
// local midnight and ends at the next one, so a day with a daylight-saving
// change is 23 or 25 hours long.
#pragma once

#include <QDate>
#include <cstdint>

// The local midnight that starts the calendar day holding time. Throws
// std::runtime_error "localtime" or "mktime" when the day cannot be held.
int32_t LocalMidnight(int32_t time);
// The local midnight of the calendar day `days` days after the one holding
// time (before it when negative); the same errors.
int32_t AddLocalDays(int32_t time, int days);
// The midnight of the current local day.
int32_t TodayLocalMidnight();
// The local calendar date of a time, and the local midnight that starts a
// date; the same errors.
QDate LocalDateOf(int32_t time);
int32_t LocalMidnightOf(const QDate& date);
