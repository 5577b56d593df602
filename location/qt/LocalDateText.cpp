#include "location/qt/LocalDateText.h"

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>
#include <ctime>
#include <stdexcept>

namespace {

// The locale's short time format in 24-hour form with seconds: the AM/PM
// marker and the zone name go, "h" becomes "H", and ":ss" follows the minutes
// where the format has no seconds (so Japanese reads "8:05:09", not "8時05分09秒").
QString TwentyFourHourFormat(const QLocale& locale) {
  const QString format = locale.timeFormat(QLocale::ShortFormat);
  QString result;
  bool quoted = false;
  bool hasSeconds = false;
  qsizetype afterMinutes = -1;
  for (qsizetype i = 0; i < format.size(); ++i) {
    const QChar c = format[i];
    if (c == u'\'') quoted = !quoted;
    if (!quoted) {
      if (c == u't') continue;
      if (c == u'A' || c == u'a') {
        if (i + 1 < format.size() && (format[i + 1] == u'P' || format[i + 1] == u'p')) ++i;
        continue;
      }
      if (c == u'h') {
        result += u'H';
        continue;
      }
      if (c == u's') hasSeconds = true;
      if (c == u'm') afterMinutes = result.size() + 1;
    }
    result += c;
  }
  if (!hasSeconds && afterMinutes >= 0) result.insert(afterMinutes, QStringLiteral(":ss"));
  return result.trimmed();
}

}  // namespace

std::string FormatLocalDateTime(const CZonedTime& time) {
  const time_t seconds = time.seconds;
  std::tm local{};
  tzset();  // follow a TZ that changed since the last conversion
  if (!localtime_r(&seconds, &local)) throw std::runtime_error("localtime");
  const QDate date(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  // A leap second (tm_sec 60) is shown as the last second of its minute.
  const QTime clock(local.tm_hour, local.tm_min, local.tm_sec < 60 ? local.tm_sec : 59);
  const QLocale locale = QLocale::system();
  const QString text = locale.toString(date, QLocale::ShortFormat) + u' ' +
                       locale.toString(clock, TwentyFourHourFormat(locale));
  return text.toStdString();
}
