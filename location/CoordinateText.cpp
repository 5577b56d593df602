#include "location/CoordinateText.h"

#include <time.h>

#include <boost/regex.hpp>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <locale>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "location/NumberText.h"

namespace {

// Compiled once; the classic locale keeps \d to the ASCII digits whatever
// locale the program runs under.
boost::regex MakeRegex(const char* pattern) {
  boost::regex re;
  re.imbue(std::locale::classic());
  re.assign(pattern, boost::regex::perl);
  return re;
}

constexpr uint32_t kInt32Max = std::numeric_limits<int32_t>::max();

// The value of a run of ASCII digits, or nothing when it exceeds `limit`.
std::optional<uint32_t> ReadDigits(const boost::ssub_match& digits, uint32_t limit) {
  uint64_t value = 0;
  for (const char c : std::string_view(&*digits.first, digits.length())) {
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > limit) return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

}  // namespace

std::string FormatDegrees(double value) {
  std::string text(1, value >= 0.0 ? '+' : '-');
  text += FormatDoubleFixed(std::fabs(value), 5);
  return text;
}

std::string FormatDmsText(const CDms& dms) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%s%u,%02u,%02u.%02u", dms.sign >= 0 ? "+" : "-",
                dms.degrees, dms.minutes, dms.seconds, dms.hundredths);
  return buffer;
}

// The text is built first, so the stream's locale cannot group the digits.
std::ostream& FormatDms(std::ostream& out, const CDms& dms) { return out << FormatDmsText(dms); }

std::ostream& FormatAngleText(std::ostream& out, const CAngle& angle) {
  if (angle.unit == kAngleUnitDegrees) return out << FormatDegrees(angle.degrees);
  return FormatDms(out, angle.dms);
}

std::string FormatZoneOffset(int32_t offset) {
  const int64_t a = std::llabs(static_cast<int64_t>(offset));  // |INT32_MIN| fits here
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%s%02lld:%02lld:%02lld", offset < 0 ? "-" : "+",
                static_cast<long long>(a / 3600), static_cast<long long>(a / 60 % 60),
                static_cast<long long>(a % 60));
  return buffer;
}

int32_t ParseZoneOffset(const std::string& text) {
  if (text.empty()) {
    tzset();
    return static_cast<int32_t>(-timezone);
  }
  static const boost::regex pattern = MakeRegex(R"(([\+\-]?)(\d+):(\d+):(\d+))");
  boost::smatch match;
  if (boost::regex_match(text, match, pattern)) {
    const auto h = ReadDigits(match[2], kInt32Max);
    const auto m = ReadDigits(match[3], kInt32Max);
    const auto s = ReadDigits(match[4], kInt32Max);
    if (h && m && s) {
      const uint64_t total = (uint64_t{*h} * 60 + *m) * 60 + *s;  // below 2^64 for 31-bit parts
      // The negative side reaches one second further.
      const int64_t value = match[1] == "-" ? -static_cast<int64_t>(total) : static_cast<int64_t>(total);
      if (value >= std::numeric_limits<int32_t>::min() && value <= kInt32Max) {
        return static_cast<int32_t>(value);
      }
    }
  }
  throw std::runtime_error("Invalid Offset: " + text);
}

CAngle ParseAngle(const std::string& text) {
  static const boost::regex pattern = MakeRegex(R"(([\+\-]?)(\d+)\,(\d+)\,(\d+)(\.(\d+))?)");
  boost::smatch match;
  if (!boost::regex_match(text, match, pattern)) {
    return CAngle::FromDegrees(ParseDoublePrefix(text));
  }
  // Fields too long for an int read as the largest int (the C runtime's
  // conversion saturates), which the range check then rejects.
  const auto field = [&](int group) { return ReadDigits(match[group], kInt32Max).value_or(kInt32Max); };
  // The digits after the point count whole hundredths, as the entry form has
  // always read them: ".5" is 5 hundredths and ".129" is out of range.
  const uint32_t hundredths = match[6].matched ? field(6) : 0;
  return CAngle::FromDms(
      MakeDmsAngle(match[1] == "-" ? -1 : 1, field(2), field(3), field(4), hundredths));
}
