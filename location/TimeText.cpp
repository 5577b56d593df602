#include "location/TimeText.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <limits>
#include <optional>
#include <utility>

#include "location/Utf8Sequence.h"

namespace {

constexpr int64_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();

bool FitsInt32(int64_t value) { return value >= kInt32Min && value <= kInt32Max; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Seconds since 1970 of a UTC calendar time, out-of-range fields carried the
// way mktime carries them; nothing when the fields or the result are too large
// for the C library's broken-down time.
std::optional<int64_t> CalendarToSecondsByTimegm(int64_t year, int64_t month, int64_t day,
                                                 int64_t hour, int64_t minute, int64_t second) {
  constexpr int64_t kIntMax = std::numeric_limits<int>::max();
  constexpr int64_t kIntMin = std::numeric_limits<int>::min();
  const int64_t fields[] = {year - 1900, month - 1, day, hour, minute, second};
  for (int64_t f : fields) {
    if (f < kIntMin || f > kIntMax) return std::nullopt;
  }
  std::tm tm{};
  tm.tm_year = static_cast<int>(fields[0]);
  tm.tm_mon = static_cast<int>(fields[1]);
  tm.tm_mday = static_cast<int>(fields[2]);
  tm.tm_hour = static_cast<int>(fields[3]);
  tm.tm_min = static_cast<int>(fields[4]);
  tm.tm_sec = static_cast<int>(fields[5]);
  errno = 0;
  const time_t value = timegm(&tm);
  // -1 is also a valid instant; only errno tells the two apart.
  if (value == static_cast<time_t>(-1) && errno == EOVERFLOW) return std::nullopt;
  return static_cast<int64_t>(value);
}

// Days from 1970-01-01 to the first of the month (1-12) of the proleptic
// Gregorian calendar, as the C library counts them.
constexpr int64_t DaysToMonth(int64_t year, int64_t month) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5;
  return era * 146097 + yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear - 719468;
}

// CalendarToSecondsByTimegm, reckoned here for fields as the files write them
// (a year of at most four digits, the others of two): timegm costs more than
// the whole rest of reading a record's time.
std::optional<int64_t> UtcCalendarToSeconds(int64_t year, int64_t month, int64_t day,
                                            int64_t hour, int64_t minute, int64_t second) {
  if (year >= 0 && year <= 9999 && month >= 0 && month <= 99 && day >= 0 && day <= 99 &&
      hour >= 0 && hour <= 99 && minute >= 0 && minute <= 99 && second >= 0 && second <= 99) {
    // Months beyond December carry into the year; month 0 is the December
    // before.
    const int64_t months = year * 12 + month - 1 + 12;  // from December of year -1
    const int64_t days = DaysToMonth(months / 12 - 1, months % 12 + 1) + day - 1;
    return days * 86400 + hour * 3600 + minute * 60 + second;
  }
  return CalendarToSecondsByTimegm(year, month, day, hour, minute, second);
}

// The instant of a calendar time read in the given offset, when CZonedTime can
// hold it.
std::optional<CZonedTime> ToZonedTime(int64_t year, int64_t month, int64_t day, int64_t hour,
                                      int64_t minute, int64_t second, int64_t offset) {
  if (!FitsInt32(offset)) return std::nullopt;
  const auto utc = UtcCalendarToSeconds(year, month, day, hour, minute, second);
  if (!utc || !FitsInt32(*utc - offset)) return std::nullopt;
  return CZonedTime(static_cast<int32_t>(*utc - offset), static_cast<int32_t>(offset));
}

[[noreturn]] void ThrowInvalidDate(std::string_view text) {
  throw std::runtime_error("Invalid Date: " + std::string(text));
}

// Writes `seconds` as calendar time shifted by whole minutes, with the matching
// designator, by gmtime_r and snprintf.
std::string FormatWithOffsetMinutesByPrintf(int64_t seconds, int64_t offsetMinutes) {
  const time_t shifted = static_cast<time_t>(seconds + offsetMinutes * 60);
  std::tm tm{};
  gmtime_r(&shifted, &tm);
  char buffer[64];
  int length = std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d",
                             tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                             tm.tm_sec);
  if (offsetMinutes == 0) {
    std::snprintf(buffer + length, sizeof buffer - length, "Z");
  } else {
    const int64_t magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    std::snprintf(buffer + length, sizeof buffer - length, "%c%02lld:%02lld",
                  offsetMinutes > 0 ? '+' : '-', static_cast<long long>(magnitude / 60),
                  static_cast<long long>(magnitude % 60));
  }
  return buffer;
}

char* PutTwoDigits(char* out, int64_t value) {
  out[0] = static_cast<char>('0' + value / 10);
  out[1] = static_cast<char>('0' + value % 10);
  return out + 2;
}

// The same text, reckoned here where the year has four digits and the offset
// hours two: snprintf and gmtime_r cost more than the rest of writing a
// record.
std::string FormatWithOffsetMinutes(int64_t seconds, int64_t offsetMinutes) {
  const int64_t shifted = seconds + offsetMinutes * 60;
  const int64_t magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
  int64_t days = shifted / 86400;
  int64_t time = shifted % 86400;
  if (time < 0) time += 86400, --days;
  // The civil date of a day count (proleptic Gregorian, as gmtime reckons).
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t dayOfEra = z - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
  const int64_t day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
  const int64_t month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
  const int64_t year = yearOfEra + era * 400 + (month <= 2);
  if (year < 0 || year > 9999 || magnitude / 60 > 99) {
    return FormatWithOffsetMinutesByPrintf(seconds, offsetMinutes);
  }
  char buffer[32];
  char* out = PutTwoDigits(PutTwoDigits(buffer, year / 100), year % 100);
  *out++ = '-';
  out = PutTwoDigits(out, month);
  *out++ = '-';
  out = PutTwoDigits(out, day);
  *out++ = 'T';
  out = PutTwoDigits(out, time / 3600);
  *out++ = ':';
  out = PutTwoDigits(out, time / 60 % 60);
  *out++ = ':';
  out = PutTwoDigits(out, time % 60);
  if (offsetMinutes == 0) {
    *out++ = 'Z';
  } else {
    *out++ = offsetMinutes > 0 ? '+' : '-';
    out = PutTwoDigits(out, magnitude / 60);
    *out++ = ':';
    out = PutTwoDigits(out, magnitude % 60);
  }
  return std::string(buffer, out);
}

// Appends a decimal digit to a field, or throws PARSEERROR at it when the field
// would no longer fit.
void AccumulateDigit(int32_t& field, char digit, std::size_t position) {
  const int32_t d = digit - '0';
  if (field > (std::numeric_limits<int32_t>::max() - d) / 10) throw PARSEERROR(position);
  field = field * 10 + d;
}

}  // namespace

namespace {

constexpr std::size_t kToNul = std::string_view::npos;

// The form the writer makes, "YYYY-MM-DDThh:mm:ss" then nothing, "Z" or
// "+hh:mm"/"-hh:mm", read at once; the state machine reads it the same but
// for its cost. False for any other text. `size` is kToNul for a text that
// ends at a NUL: each character is then read only once the ones before it
// were found to belong to the form.
constexpr char kWrittenForm[] = "dddd-dd-ddTdd:dd:dd+dd:dd";

// Whether text[I] belongs to the form; a digit is added to its field: year,
// month, day, hour, minute, second, offset hours, offset minutes.
template <std::size_t I>
bool FormCharacter(const char* text, int* fields) {
  const char c = text[I];
  if constexpr (kWrittenForm[I] == 'd') {
    if (!IsDigit(c)) return false;
    constexpr std::size_t field = I < 4 ? 0 : (I - 2) / 3;
    fields[field] = fields[field] * 10 + (c - '0');
    return true;
  } else {
    return c == kWrittenForm[I];
  }
}

// Characters From and on of the form, in order, each read only when those
// before it belonged to the form.
template <std::size_t From, std::size_t... I>
bool ReadForm(const char* text, int* fields, std::index_sequence<I...>) {
  return (FormCharacter<From + I>(text, fields) && ...);
}

// The fields of a text in the writer's form and its offset in seconds;
// false for any other text.
bool ReadWrittenPointTime(const char* text, std::size_t size, int (&fields)[8], int64_t& offset) {
  if (size != kToNul && size != 19 && size != 20 && size != 25) return false;
  const auto endsAt = [&](std::size_t at) {
    return size == kToNul ? text[at] == '\0' : size == at;
  };
  if (!ReadForm<0>(text, fields, std::make_index_sequence<19>())) return false;
  offset = 0;
  if (!endsAt(19)) {
    const char designator = text[19];
    if (designator == 'Z') {
      if (!endsAt(20)) return false;
    } else {
      if ((designator != '+' && designator != '-') || (size != kToNul && size != 25)) return false;
      if (!ReadForm<20>(text, fields, std::make_index_sequence<5>()) || !endsAt(25)) return false;
      offset = (int64_t{fields[6]} * 60 + fields[7]) * 60 * (designator == '+' ? 1 : -1);
    }
  }
  return true;
}

bool ParseWrittenPointTime(const char* text, std::size_t size, CZonedTime& time) {
  int fields[8] = {};
  int64_t offset = 0;
  if (!ReadWrittenPointTime(text, size, fields, offset)) return false;
  const auto zoned =
      ToZonedTime(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], offset);
  if (!zoned) ThrowInvalidDate(size == kToNul ? std::string_view(text) : std::string_view(text, size));
  time = *zoned;
  return true;
}

}  // namespace

CZonedTime ParsePointTime(std::string_view text) {
  CZonedTime time;
  if (ParseWrittenPointTime(text.data(), text.size(), time)) return time;
  return ParsePointTimeByStates(text);
}

CZonedTime ParsePointTime(const char* text) {
  CZonedTime time;
  if (ParseWrittenPointTime(text, kToNul, time)) return time;
  return ParsePointTimeByStates(text);
}

void CheckPointTime(const char* text) {
  int fields[8] = {};
  int64_t offset = 0;
  // In the writer's form, a year from 1903 to 2036 and a month up to 12 hold
  // in 32-bit seconds whatever the other two-digit fields carry (at most some
  // hundred days) and whatever the offset (under five days).
  if (ReadWrittenPointTime(text, kToNul, fields, offset) && fields[0] >= 1903 &&
      fields[0] <= 2036 && fields[1] <= 12) {
    return;
  }
  ParsePointTime(text);
}

CZonedTime ParsePointTimeByStates(std::string_view text) {
  int32_t fields[8] = {};  // year, month, day, hour, minute, second, offset h, offset m
  int sign = 0;
  int state = 0;
  try {
    // The separator that ends each of the states 0 to 4 and 6.
    static constexpr char kSeparator[] = {'-', '-', 'T', ':', ':', 0, ':', 0};
    for (std::size_t i = 0; i < text.size(); ++i) {
      const char c = text[i];
      if (state == 8) throw PARSEERROR(i);
      if (IsDigit(c)) {
        AccumulateDigit(fields[state], c, i);
      } else if (state == 5 && (c == '+' || c == '-')) {
        sign = c == '+' ? 1 : -1;
        state = 6;
      } else if (state == 5 && c == 'Z') {
        sign = 0;
        state = 8;
      } else if (state != 5 && state != 7 && c == kSeparator[state]) {
        ++state;
      } else {
        throw PARSEERROR(i);
      }
    }
    if (state != 5 && state != 7 && state != 8) throw PARSEERROR(text.size());
  } catch (const PARSEERROR& e) {
    throw FormatParseError(e, text, "Date");
  }
  const int64_t offset = int64_t{sign} * (int64_t{fields[6]} * 60 + fields[7]) * 60;
  const auto time =
      ToZonedTime(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], offset);
  if (!time) ThrowInvalidDate(text);
  return *time;
}

std::string FormatPointTime(const CZonedTime& time) {
  // Whole minutes only, truncated toward zero; the calendar time is shifted by
  // exactly what the designator says, so the seconds part of an offset cannot
  // move the instant.
  return FormatWithOffsetMinutes(time.seconds, time.offset / 60);
}

namespace {

// The writer's form, "2010-01-01T00:00:00Z" or "2010-01-01T09:00:00+09:00",
// read by position into the fields the general form gives: an index holds
// two such times for each of its sections.
bool ReadFixedIso8601Fields(std::string_view text, int64_t (&f)[8], int64_t& sign) {
  static constexpr char kShape[] = "dddd-dd-ddTdd:dd:dd";
  if (text.size() != 20 && text.size() != 25) return false;
  for (std::size_t i = 0; i + 1 < sizeof kShape; ++i) {
    if (kShape[i] == 'd' ? !IsDigit(text[i]) : text[i] != kShape[i]) return false;
  }
  const auto two = [&text](std::size_t at) { return (text[at] - '0') * 10 + (text[at + 1] - '0'); };
  f[0] = two(0) * 100 + two(2);
  f[1] = two(5);
  f[2] = two(8);
  f[3] = two(11);
  f[4] = two(14);
  f[5] = two(17);
  if (text.size() == 20) {
    sign = 0;
    return text[19] == 'Z';
  }
  if ((text[19] != '+' && text[19] != '-') || !IsDigit(text[20]) || !IsDigit(text[21]) ||
      text[22] != ':' || !IsDigit(text[23]) || !IsDigit(text[24])) {
    return false;
  }
  sign = text[19] == '+' ? 1 : -1;
  f[6] = two(20);
  f[7] = two(23);
  return true;
}

// Full match of (\d+)-(\d+)-(\d+)T(\d+):(\d+):(\d+)(([+-])(\d+):(\d+)|Z), or
// "Invalid Date".
void ReadIso8601Fields(std::string_view text, int64_t (&f)[8], int64_t& sign) {
  std::size_t i = 0;
  // One run of digits that fits in 32 bits, then the terminator (none: 0).
  const auto number = [&](char terminator, int64_t& out) {
    const std::size_t start = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    int32_t value = 0;
    if (i == start ||
        std::from_chars(text.data() + start, text.data() + i, value).ec != std::errc()) {
      return false;
    }
    out = value;
    if (terminator == 0) return true;
    if (i >= text.size() || text[i] != terminator) return false;
    ++i;
    return true;
  };
  bool valid = number('-', f[0]) && number('-', f[1]) && number('T', f[2]) &&
               number(':', f[3]) && number(':', f[4]) && number(0, f[5]);
  if (valid && i < text.size() && text[i] == 'Z') {
    ++i;
  } else if (valid && i < text.size() && (text[i] == '+' || text[i] == '-')) {
    sign = text[i] == '+' ? 1 : -1;
    ++i;
    valid = number(':', f[6]) && number(0, f[7]);
  } else {
    valid = false;
  }
  if (!valid || i != text.size()) ThrowInvalidDate(text);
}

}  // namespace

int32_t ParseIso8601Time(std::string_view text) {
  int64_t f[8] = {};
  int64_t sign = 0;
  if (!ReadFixedIso8601Fields(text, f, sign)) ReadIso8601Fields(text, f, sign);
  const auto time = ToZonedTime(f[0], f[1], f[2], f[3], f[4], f[5], sign * (f[6] * 60 + f[7]) * 60);
  if (!time) ThrowInvalidDate(text);
  return time->seconds;
}

std::string FormatIso8601Time(int32_t seconds) {
  // `timezone` is only valid after tzset(); it is the standard bias in seconds
  // west of UTC, so daylight saving never enters the text.
  tzset();
  const int64_t offset = -static_cast<int64_t>(timezone);
  return FormatWithOffsetMinutes(seconds, offset / 60);
}

std::runtime_error FormatParseError(const PARSEERROR& error, std::string_view text,
                                    std::string_view context) {
  std::string message;
  if (error.position >= text.size()) {
    message = "Incomplete ";
  } else {
    // A byte that starts no valid sequence is named by its own value.
    char32_t c = static_cast<unsigned char>(text[error.position]);
    DecodeUtf8Sequence(text, error.position, c);
    message = "Invalid Letter<";
    if (c >= 0x20 && c <= 0x7E) {
      message += static_cast<char>(c);
    } else {
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%x", static_cast<unsigned>(c));
      message += hex;
    }
    message += "> In ";
  }
  message += context;
  message += ": ";
  message += text;
  return std::runtime_error(message);
}

int32_t SystemTimeToTimeT(const SYSTEMTIME& time) {
  std::tm tm{};
  tm.tm_year = time.wYear - 1900;
  tm.tm_mon = time.wMonth - 1;
  tm.tm_mday = time.wDay;
  tm.tm_hour = time.wHour;
  tm.tm_min = time.wMinute;
  tm.tm_sec = time.wSecond;
  // Let the zone decide daylight saving, so that this is the inverse of
  // TimeTToSystemTime in summer too.
  tm.tm_isdst = -1;
  const time_t value = mktime(&tm);
  if (value < 0 || value > kInt32Max) throw std::runtime_error("mktime");
  return static_cast<int32_t>(value);
}

SYSTEMTIME TimeTToSystemTime(int32_t seconds) {
  // localtime_r, unlike mktime, need not look at the zone again by itself.
  tzset();
  const time_t value = seconds;
  std::tm tm{};
  if (!localtime_r(&value, &tm)) throw std::runtime_error("localtime");
  return TmToSystemTime(tm);
}

SYSTEMTIME TmToSystemTime(const std::tm& time) {
  SYSTEMTIME result;
  result.wYear = static_cast<uint16_t>(time.tm_year + 1900);
  result.wMonth = static_cast<uint16_t>(time.tm_mon + 1);
  result.wDay = static_cast<uint16_t>(time.tm_mday);
  result.wHour = static_cast<uint16_t>(time.tm_hour);
  result.wMinute = static_cast<uint16_t>(time.tm_min);
  result.wSecond = static_cast<uint16_t>(time.tm_sec);
  return result;
}

std::tm NormalizeSystemTime(const SYSTEMTIME& time) {
  const time_t value = SystemTimeToTimeT(time);  // mktime has read the zone
  std::tm tm{};
  if (!localtime_r(&value, &tm)) throw std::runtime_error("localtime");
  return tm;
}
