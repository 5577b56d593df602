#include "location/TimeText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <optional>
#include <functional>
#include <random>
#include <string>

#include "FileTestSupport.h"

namespace {

constexpr int32_t k20040501T102030Z = 1083406830;

class TimeTextTest : public ::testing::TestWithParam<const char*> {
 protected:
  TimeZoneGuard zone{GetParam()};
};

TEST_P(TimeTextTest, PointTimeReadsTheFileForms) {
  EXPECT_EQ(ParsePointTime("2004-05-01T10:20:30"), CZonedTime(k20040501T102030Z, 0));
  EXPECT_EQ(ParsePointTime("2004-05-01T10:20:30Z"), CZonedTime(k20040501T102030Z, 0));
  EXPECT_EQ(ParsePointTime("2004-05-01T19:20:30+09:00"), CZonedTime(k20040501T102030Z, 32400));
  EXPECT_EQ(ParsePointTime("2004-05-01T10:20:30-05:30"),
            CZonedTime(k20040501T102030Z + 5 * 3600 + 1800, -(5 * 3600 + 1800)));
  // Ends after the offset's colon: minutes 0. Ends after the second colon: second 0.
  EXPECT_EQ(ParsePointTime("2004-05-01T19:20:30+09:"), CZonedTime(k20040501T102030Z, 32400));
  EXPECT_EQ(ParsePointTime("2004-05-01T10:20:"), CZonedTime(k20040501T102030Z - 30, 0));
  // Any number of digits; out-of-range fields carry like mktime.
  EXPECT_EQ(ParsePointTime("2004-5-1T10:20:30"), CZonedTime(k20040501T102030Z, 0));
  EXPECT_EQ(ParsePointTime("2003-17-01T10:20:30"), CZonedTime(k20040501T102030Z, 0));
  EXPECT_EQ(ParsePointTime("2004-05-00T10:20:30"), ParsePointTime("2004-04-30T10:20:30"));
  EXPECT_EQ(ParsePointTime("2004-05-01T10:19:90"), CZonedTime(k20040501T102030Z, 0));
}

TEST_P(TimeTextTest, PointTimeErrorsNameTheLetterOrTheEnd) {
  EXPECT_EQ(ThrownText([] { ParsePointTime("2004-05-01T10:20"); }),
            "Incomplete Date: 2004-05-01T10:20");
  EXPECT_EQ(ThrownText([] { ParsePointTime("2004-05-01T19:20:30+09"); }),
            "Incomplete Date: 2004-05-01T19:20:30+09");
  EXPECT_EQ(ThrownText([] { ParsePointTime(""); }), "Incomplete Date: ");
  EXPECT_EQ(ThrownText([] { ParsePointTime("2004-x5-01T10:20:30"); }),
            "Invalid Letter<x> In Date: 2004-x5-01T10:20:30");
  EXPECT_EQ(ThrownText([] { ParsePointTime("2004-05-01T10:20:30ZZ"); }),
            "Invalid Letter<Z> In Date: 2004-05-01T10:20:30ZZ");
  EXPECT_EQ(ThrownText([] { ParsePointTime("2004-05-01T10:20:30Z1"); }),
            "Invalid Letter<1> In Date: 2004-05-01T10:20:30Z1");
  EXPECT_EQ(ThrownText([] { ParsePointTime("2004-05-01\t10:20:30"); }),
            "Invalid Letter<0x9> In Date: 2004-05-01\t10:20:30");
  // A full-width digit is one character, named by its code point.
  EXPECT_EQ(ThrownText([] { ParsePointTime("２004-05-01T10:20:30"); }),
            "Invalid Letter<0xff12> In Date: ２004-05-01T10:20:30");
  EXPECT_EQ(ThrownText([] { ParsePointTime("2004-05-01T10:20:30+09:00:00"); }),
            "Invalid Letter<:> In Date: 2004-05-01T10:20:30+09:00:00");
}

TEST_P(TimeTextTest, PointTimeRejectsWhatThirtyTwoBitsCannotHold) {
  EXPECT_EQ(ParsePointTime("2038-01-19T03:14:07Z").seconds, INT32_MAX);
  EXPECT_EQ(ParsePointTime("1901-12-13T20:45:52Z").seconds, INT32_MIN);
  EXPECT_EQ(ThrownText([] { ParsePointTime("2038-01-19T03:14:08Z"); }),
            "Invalid Date: 2038-01-19T03:14:08Z");
  EXPECT_EQ(ThrownText([] { ParsePointTime("2004-05-01T10:20:30+999999:00"); }),
            "Invalid Date: 2004-05-01T10:20:30+999999:00");
  // A digit field that no longer fits stops at that digit.
  EXPECT_EQ(ThrownText([] { ParsePointTime("99999999999-01-01T00:00:00"); }),
            "Invalid Letter<9> In Date: 99999999999-01-01T00:00:00");
  EXPECT_EQ(ThrownText([] { ParsePointTime("2004-05-01T10:20:2147483648"); }),
            "Invalid Letter<8> In Date: 2004-05-01T10:20:2147483648");
}

TEST_P(TimeTextTest, PointTimeWritesTheRecordsOwnOffset) {
  EXPECT_EQ(FormatPointTime({k20040501T102030Z, 0}), "2004-05-01T10:20:30Z");
  EXPECT_EQ(FormatPointTime({k20040501T102030Z, 32400}), "2004-05-01T19:20:30+09:00");
  EXPECT_EQ(FormatPointTime({k20040501T102030Z, 5 * 3600 + 45 * 60}),
            "2004-05-01T16:05:30+05:45");
  EXPECT_EQ(FormatPointTime({k20040501T102030Z, -5 * 3600}), "2004-05-01T05:20:30-05:00");
  EXPECT_EQ(FormatPointTime({k20040501T102030Z, -(9 * 3600 + 1800)}),
            "2004-05-01T00:50:30-09:30");
  const std::string text = "2004-05-01T10:20:30-05:30";
  EXPECT_EQ(FormatPointTime(ParsePointTime(text)), text);
}

TEST_P(TimeTextTest, PointTimeDropsSecondsOfTheOffsetWithoutMovingTheInstant) {
  EXPECT_EQ(FormatPointTime({k20040501T102030Z, 30}), "2004-05-01T10:20:30Z");
  EXPECT_EQ(FormatPointTime({k20040501T102030Z, -59}), "2004-05-01T10:20:30Z");
  EXPECT_EQ(FormatPointTime({k20040501T102030Z, 32400 + 45}), "2004-05-01T19:20:30+09:00");
  EXPECT_EQ(FormatPointTime({k20040501T102030Z, -(3600 + 59)}), "2004-05-01T09:20:30-01:00");
  for (int32_t offset : {30, -59, 32445, -3659, 86399}) {
    EXPECT_EQ(ParsePointTime(FormatPointTime({k20040501T102030Z, offset})).seconds,
              k20040501T102030Z)
        << offset;
  }
  // The extremes of both words still give a readable text.
  EXPECT_EQ(FormatPointTime({INT32_MAX, INT32_MAX}), "2106-02-07T06:28:07+596523:14");
}

TEST_P(TimeTextTest, IndexTimeNeedsEveryFieldAndTheDesignator) {
  EXPECT_EQ(ParseIso8601Time("2004-05-01T19:20:30+09:00"), k20040501T102030Z);
  EXPECT_EQ(ParseIso8601Time("2004-05-01T10:20:30Z"), k20040501T102030Z);
  EXPECT_EQ(ParseIso8601Time("2004-05-01T05:20:30-05:00"), k20040501T102030Z);
  EXPECT_EQ(ParseIso8601Time("0002004-5-1T10:20:30Z"), k20040501T102030Z);
  for (const char* bad :
       {"2004-05-01T10:20:30", "2004-05-01T10:20:Z", "2004-05-01T10:20:30+09", "2004-05-01T10:20:30+09:",
        "2004-05-01T10:20:30Z ", " 2004-05-01T10:20:30Z", "2004-05-01 10:20:30Z",
        "2004-05-01T10:20:30+0900", "2004-05-01T10:20:30ZZ", "2004-05-01T10:20:30z", "",
        "2004-05-01T10:20:30+99999999999:00", "2038-01-19T03:14:08Z"}) {
    EXPECT_EQ(ThrownText([&] { ParseIso8601Time(bad); }), std::string("Invalid Date: ") + bad);
  }
}

// The writer's fixed widths are read by position; a year with one more
// digit goes the general way, and both must agree on every value, in range
// or carried or out of range.
TEST_P(TimeTextTest, IndexTimeInTheWritersWidthsReadsAsAnyOtherSpelling) {
  const auto read = [](const std::string& text) -> std::optional<int32_t> {
    try {
      return ParseIso8601Time(text);
    } catch (const std::runtime_error&) {
      return std::nullopt;
    }
  };
  for (const char* text :
       {"2004-05-01T10:20:30Z", "1970-01-01T00:00:00Z", "2038-01-19T03:14:07Z",
        "2038-01-19T03:14:08Z", "1901-12-13T20:45:52Z", "1901-12-13T20:45:51Z",
        "2004-00-00T00:00:00Z", "2004-13-99T99:99:99Z", "2004-02-30T24:60:60Z",
        "9999-99-99T99:99:99Z", "0000-00-00T00:00:00Z", "2004-05-01T19:20:30+09:00",
        "2004-05-01T05:20:30-05:00", "2004-05-01T10:20:30+99:99", "2004-05-01T10:20:30-00:00",
        "2038-01-19T12:14:07+09:00", "2038-01-19T02:14:08-01:00"}) {
    const std::string general = std::string("0") + text;
    EXPECT_EQ(read(text), read(general)) << text;
  }
  for (const char* bad :
       {"2004-05-01T10:20:3aZ", "2004-05-01T10:20:30X", "2004-05-01T10:20:30+09-00",
        "2004-05-01T10:20:30+0a:00", "2004-05-01T10:20:30 09:00", "2004/05/01T10:20:30Z",
        "2004-05-01t10:20:30Z", "2004-05-01T10:20:30+09:0Z"}) {
    EXPECT_EQ(ThrownText([&] { ParseIso8601Time(bad); }), std::string("Invalid Date: ") + bad);
  }
}

TEST_P(TimeTextTest, IndexTimeIsWrittenInTheStandardOffsetAndDenotesTheInstant) {
  const std::string zone = GetParam();
  const char* expectedSuffix = zone == "UTC0" ? "Z" : zone == "JST-9" ? "+09:00" : "-05:00";
  // Summer and winter alike: daylight saving never enters the text.
  for (int32_t t : {k20040501T102030Z, 1104537600, 1088683200}) {
    const std::string text = FormatIso8601Time(t);
    EXPECT_TRUE(text.ends_with(expectedSuffix)) << text;
    EXPECT_EQ(ParseIso8601Time(text), t) << text;
  }
  if (zone == "EST5EDT,M3.2.0,M11.1.0") {
    EXPECT_EQ(FormatIso8601Time(1088683200), "2004-07-01T07:00:00-05:00");
  }
}

TEST_P(TimeTextTest, LocalCalendarConversionsAreInverse) {
  const std::string zone = GetParam();
  SYSTEMTIME summer;
  summer.wYear = 2004;
  summer.wMonth = 7;
  summer.wDay = 1;
  summer.wHour = 12;
  const int32_t t = SystemTimeToTimeT(summer);
  const int32_t expectedOffset = zone == "UTC0" ? 0 : zone == "JST-9" ? 9 * 3600 : -4 * 3600;
  EXPECT_EQ(t, 1088683200 - expectedOffset);
  const SYSTEMTIME back = TimeTToSystemTime(t);
  EXPECT_EQ(back.wYear, 2004);
  EXPECT_EQ(back.wMonth, 7);
  EXPECT_EQ(back.wDay, 1);
  EXPECT_EQ(back.wHour, 12);
  EXPECT_EQ(back.wDayOfWeek, 0);
  EXPECT_EQ(back.wMilliseconds, 0);

  SYSTEMTIME carried = summer;
  carried.wMonth = 13;
  carried.wDay = 32;
  const std::tm normal = NormalizeSystemTime(carried);
  EXPECT_EQ(normal.tm_year, 105);
  EXPECT_EQ(normal.tm_mon, 1);
  EXPECT_EQ(normal.tm_mday, 1);
  EXPECT_EQ(normal.tm_wday, 2);  // 2005-02-01 was a Tuesday
  EXPECT_EQ(normal.tm_yday, 31);
}

TEST_P(TimeTextTest, LocalCalendarRejectsTimesBefore1970AndBeyond32Bits) {
  SYSTEMTIME time;
  time.wYear = 1969;
  time.wMonth = 12;
  time.wDay = 31;
  EXPECT_EQ(ThrownText([&] { SystemTimeToTimeT(time); }), "mktime");
  time.wYear = 2040;
  EXPECT_EQ(ThrownText([&] { SystemTimeToTimeT(time); }), "mktime");
  EXPECT_EQ(ThrownText([&] { NormalizeSystemTime(time); }), "mktime");
}

INSTANTIATE_TEST_SUITE_P(Zones, TimeTextTest, ::testing::ValuesIn(kTestZones),
                         TimeZoneTestName<::testing::TestParamInfo<const char*>>);

// What the C library makes of the fields, read in the offset; nothing when
// CZonedTime cannot hold it.
std::optional<int64_t> TimegmSeconds(int year, int month, int day, int hour, int minute,
                                     int second, int offset) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  const int64_t seconds = static_cast<int64_t>(timegm(&tm)) - offset;
  if (seconds < INT32_MIN || seconds > INT32_MAX) return std::nullopt;
  return seconds;
}

template <class Parse>
std::string Outcome(std::string_view text, Parse&& parse) {
  try {
    const CZonedTime time = parse(text);
    return std::to_string(time.seconds) + " " + std::to_string(time.offset);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
}

CZonedTime ParseText(std::string_view text) { return ParsePointTime(text); }
CZonedTime ParseNulTerminated(std::string_view text) { return ParsePointTime(std::string(text).c_str()); }

TEST(PointTimeInTheWrittenForm, ReadsAsTheStateMachineAndTimegmReadIt) {
  std::mt19937 random(11);
  const auto field = [&](int limit) {
    // The edges of the two digits and of the calendar come up often.
    static const int edges[] = {0, 1, 12, 13, 28, 29, 30, 31, 59, 60, 99};
    return random() % 3 == 0 ? std::min(edges[random() % 11], limit)
                             : static_cast<int>(random() % (limit + 1));
  };
  static const int years[] = {0, 1, 399, 400, 1600, 1899, 1900, 1901, 1969, 1970, 2000,
                              2037, 2038, 2100, 2400, 9999};
  for (int i = 0; i < 100000; ++i) {
    const int year = i % 4 == 0 ? years[random() % 16] : 1960 + static_cast<int>(random() % 90);
    const int month = field(99), day = field(99), hour = field(99), minute = field(99),
              second = field(99);
    char text[40];
    int length = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", year, month,
                               day, hour, minute, second);
    int offset = 0;
    switch (random() % 4) {
      case 0:
        break;
      case 1:
        text[length++] = 'Z';
        break;
      default: {
        const int hours = field(99), minutes = field(99);
        const bool east = random() % 2;
        offset = (hours * 60 + minutes) * 60 * (east ? 1 : -1);
        length += std::snprintf(text + length, sizeof text - length, "%c%02d:%02d",
                                east ? '+' : '-', hours, minutes);
      }
    }
    const std::string_view written(text, static_cast<std::size_t>(length));
    const std::string outcome = Outcome(written, ParseText);
    ASSERT_EQ(outcome, Outcome(written, ParsePointTimeByStates)) << written;
    ASSERT_EQ(outcome, Outcome(written, ParseNulTerminated)) << written;
    const auto expected = TimegmSeconds(year, month, day, hour, minute, second, offset);
    ASSERT_EQ(outcome, expected ? std::to_string(*expected) + " " + std::to_string(offset)
                                : "Invalid Date: " + std::string(written))
        << written;
  }
}

TEST(PointTimeInTheWrittenForm, RefusesAsTheStateMachineDoes) {
  // The written form with one character changed, dropped or added.
  std::mt19937 random(12);
  const std::string forms[] = {"2004-05-01T19:20:30+09:00", "2004-05-01T10:20:30Z",
                               "2004-05-01T10:20:30"};
  const char replacements[] = "0159-+:TZz \t";
  for (int i = 0; i < 30000; ++i) {
    std::string text = forms[random() % 3];
    const std::size_t at = random() % text.size();
    switch (random() % 3) {
      case 0:
        text[at] = replacements[random() % (sizeof replacements - 1)];
        break;
      case 1:
        text.erase(at, 1);
        break;
      default:
        text.insert(at, 1, replacements[random() % (sizeof replacements - 1)]);
    }
    const std::string outcome = Outcome(text, ParsePointTimeByStates);
    ASSERT_EQ(Outcome(text, ParseText), outcome) << text;
    ASSERT_EQ(Outcome(text, ParseNulTerminated), outcome) << text;
  }
}

TEST(PointTimeText, IsWhatGmtimeAndPrintfWrite) {
  // The writer's form written out on its own.
  const auto reference = [](int32_t seconds, int32_t offset) {
    const int64_t minutes = offset / 60;
    const time_t shifted = static_cast<time_t>(int64_t{seconds} + minutes * 60);
    std::tm tm{};
    gmtime_r(&shifted, &tm);
    char text[64];
    int length = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d",
                               tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                               tm.tm_min, tm.tm_sec);
    const long long magnitude = minutes < 0 ? -minutes : minutes;
    if (minutes == 0) {
      std::snprintf(text + length, sizeof text - length, "Z");
    } else {
      std::snprintf(text + length, sizeof text - length, "%c%02lld:%02lld",
                    minutes > 0 ? '+' : '-', magnitude / 60, magnitude % 60);
    }
    return std::string(text);
  };
  std::mt19937 random(13);
  for (int i = 0; i < 200000; ++i) {
    const auto seconds = static_cast<int32_t>(random());
    int32_t offset = 0;
    switch (i % 4) {
      case 0: offset = static_cast<int32_t>(random()); break;  // any, hours beyond two digits
      case 1: offset = (static_cast<int32_t>(random() % 1681) - 840) * 60; break;
      case 2: offset = static_cast<int32_t>(random() % 120) - 60; break;
      default: offset = (static_cast<int32_t>(random() % 200) - 100) * 3600; break;
    }
    ASSERT_EQ(FormatPointTime(CZonedTime(seconds, offset)), reference(seconds, offset))
        << seconds << " " << offset;
  }
  for (const int32_t seconds : {INT32_MIN, INT32_MAX, 0, -1, 951782400, 951868800}) {
    for (const int32_t offset : {INT32_MIN, INT32_MAX, 0, -60, 59 * 60 * 100, 32400}) {
      ASSERT_EQ(FormatPointTime(CZonedTime(seconds, offset)), reference(seconds, offset));
    }
  }
}

TEST(ParseErrorText, NamesTheEndOrTheCharacter) {
  EXPECT_EQ(FormatParseError(PARSEERROR(3), "abc", "DMS").what(), std::string("Incomplete DMS: abc"));
  EXPECT_EQ(FormatParseError(PARSEERROR(1), "a~c", "DMS").what(),
            std::string("Invalid Letter<~> In DMS: a~c"));
  EXPECT_EQ(FormatParseError(PARSEERROR(1), "a\x7f" "c", "DMS").what(),
            std::string("Invalid Letter<0x7f> In DMS: a\x7f" "c"));
  // A byte that starts no valid sequence is named by its own value.
  EXPECT_EQ(FormatParseError(PARSEERROR(0), "\xff", "Date").what(),
            std::string("Invalid Letter<0xff> In Date: \xff"));
}

}  // namespace

namespace {

// What reading a time text throws, or nothing.
std::optional<std::string> PointTimeFailure(const std::function<void()>& read) {
  try {
    read();
  } catch (const std::exception& e) {
    return std::string(e.what());
  }
  return std::nullopt;
}

}  // namespace

TEST(PointTimeCheck, FailsExactlyWhereReadingFails) {
  std::vector<std::string> texts = {"1903-00-00T00:00:00+99:99",
                                    "1902-00-00T00:00:00+99:99",
                                    "1901-12-13T20:45:52Z",
                                    "1901-12-13T20:45:51Z",
                                    "2036-12-99T99:99:99-99:99",
                                    "2037-99-99T99:99:99-99:99",
                                    "2038-01-19T03:14:07Z",
                                    "2038-01-19T03:14:08Z",
                                    "2038-01-19T12:14:07+09:00",
                                    "2004-5-1T00:00:00Z",
                                    "2004-05-01T00:00:00",
                                    "2004-05-01T00:00:00+0900",
                                    "",
                                    "abc",
                                    "9999-99-99T99:99:99Z",
                                    "0000-00-00T00:00:00Z"};
  // Every field at random around the edges of what 32-bit seconds hold.
  std::mt19937 random(1122);
  for (int i = 0; i < 20000; ++i) {
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d",
                  static_cast<int>(1895 + random() % 150), static_cast<int>(random() % 100),
                  static_cast<int>(random() % 100), static_cast<int>(random() % 100),
                  static_cast<int>(random() % 100), static_cast<int>(random() % 100),
                  random() % 2 ? '+' : '-', static_cast<int>(random() % 100),
                  static_cast<int>(random() % 100));
    texts.emplace_back(text);
  }
  for (const std::string& text : texts) {
    EXPECT_EQ(PointTimeFailure([&] { CheckPointTime(text.c_str()); }),
              PointTimeFailure([&] { ParsePointTime(text.c_str()); }))
        << text;
  }
}
