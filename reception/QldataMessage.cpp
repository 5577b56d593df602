// Interpretation of QLDATA entries into a location record.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>

#include "location/Angle.h"
#include "location/Datum.h"
#include "location/NumberText.h"
#include "location/XmlText.h"
#include "reception/Qldata.h"
#include "reception/QldataEntryViews.h"
#include "reception/Utf16Text.h"

namespace {

bool IsDigit(char16_t unit) { return unit >= u'0' && unit <= u'9'; }

// Reads the run of ASCII digits at `pos`, advancing it; the value saturates at
// `limit` so that no digit count can overflow. Nothing when there is no digit.
std::optional<uint64_t> ReadDigits(std::u16string_view text, std::size_t& pos, uint64_t limit) {
  const std::size_t start = pos;
  uint64_t value = 0;
  while (pos < text.size() && IsDigit(text[pos])) {
    value = value * 10 + (text[pos] - u'0');
    if (value > limit) value = limit;
    ++pos;
  }
  if (pos == start) return std::nullopt;
  return value;
}

// Case-insensitive for ASCII letters only, whatever the user's locale.
bool EqualsAsciiNoCase(std::u16string_view value, std::string_view keyword) {
  if (value.size() != keyword.size()) return false;
  for (std::size_t i = 0; i < value.size(); ++i) {
    char16_t unit = value[i];
    if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit - u'A' + u'a');
    if (unit != static_cast<unsigned char>(keyword[i])) return false;
  }
  return true;
}

// Seconds, a sign and the zone's seconds, both within 32 bits: the whole value
// must be digits, "+" or "-", digits. The seconds are already UTC and are kept
// as they are, with no calendar round trip.
std::optional<CZonedTime> ReadTime(std::u16string_view value) {
  constexpr uint64_t kMax = std::numeric_limits<int32_t>::max();
  std::size_t pos = 0;
  const auto seconds = ReadDigits(value, pos, kMax + 1);
  if (!seconds || pos == value.size() || (value[pos] != u'+' && value[pos] != u'-')) {
    return std::nullopt;
  }
  const bool west = value[pos++] == u'-';
  const auto zone = ReadDigits(value, pos, kMax + 2);
  if (!zone || pos != value.size()) return std::nullopt;
  if (*seconds > kMax || *zone > (west ? kMax + 1 : kMax)) return std::nullopt;
  const int64_t offset = west ? -static_cast<int64_t>(*zone) : static_cast<int64_t>(*zone);
  return CZonedTime(static_cast<int32_t>(*seconds), static_cast<int32_t>(offset));
}

// "[+-]?d+.d+.d+.d+" as a whole; groups too large for their field saturate and
// then fail the range check.
std::optional<CDms> ReadDms(std::u16string_view value) {
  constexpr uint64_t kMax = std::numeric_limits<uint32_t>::max();
  std::size_t pos = 0;
  int32_t sign = 1;
  if (pos < value.size() && (value[pos] == u'+' || value[pos] == u'-')) {
    if (value[pos] == u'-') sign = -1;
    ++pos;
  }
  uint32_t groups[4] = {};
  for (int g = 0; g < 4; ++g) {
    if (g > 0) {
      if (pos == value.size() || value[pos] != u'.') return std::nullopt;
      ++pos;
    }
    const auto group = ReadDigits(value, pos, kMax);
    if (!group) return std::nullopt;
    groups[g] = static_cast<uint32_t>(*group);
  }
  if (pos != value.size()) return std::nullopt;
  return MakeDmsAngle(sign, groups[0], groups[1], groups[2], groups[3]);
}

// No unit beyond ASCII can take part in a number, nor in the white space
// before it, so the number is read from the ASCII start of the value alone.
double ReadDecimal(std::u16string_view value) {
  char ascii[64];
  std::size_t size = 0;
  while (size < value.size() && size < sizeof ascii && value[size] < 0x80) {
    ascii[size] = static_cast<char>(value[size]);
    ++size;
  }
  if (size == sizeof ascii) return ParseDoublePrefix(Utf16ToUtf8(value));
  return ParseDoublePrefix(std::string_view(ascii, size));
}

CAngle ReadAngle(std::u16string_view value, bool dms, const char* error) {
  if (!dms) return CAngle::FromDegrees(ReadDecimal(value));
  const auto angle = ReadDms(value);
  if (!angle) throw std::runtime_error(error + Utf16ToUtf8(value));
  return CAngle::FromDms(*angle);
}

}  // namespace

CLocationRecord ParseQldataMessage(std::string_view message) {
  CLocationRecord record;
  const std::u16string text = UnescapeQldata(message);
  const std::vector<CQldataEntryView> entries = SplitQldataEntryViews(text);

  bool seenTime = false, seenDatum = false, seenUnit = false;
  bool dms = false;
  std::optional<std::u16string_view> latitude;
  std::optional<std::u16string_view> longitude;
  CPosition& position = record.position;
  for (const auto& [letter, value] : entries) {
    switch (letter) {
      case u'T': {
        const auto time = ReadTime(value);
        if (!time) throw std::runtime_error("Invalid Date: " + Utf16ToUtf8(value));
        record.time = *time;
        record.hasTime = true;
        seenTime = true;
        break;
      }
      case u'D': {
        seenDatum = true;
        static constexpr std::string_view kDatumKeywords[] = {"wgs84", "tokyo", "itrf"};
        int index = -1;
        for (int i = 0; i < 3 && index < 0; ++i) {
          if (EqualsAsciiNoCase(value, kDatumKeywords[i])) index = i;
        }
        if (index < 0) throw std::runtime_error("Invalid Datum: " + Utf16ToUtf8(value));
        position.datum = GetDatumByIndex(index);
        break;
      }
      case u'U':
        seenUnit = true;
        if (EqualsAsciiNoCase(value, "degree")) {
          dms = false;
        } else if (EqualsAsciiNoCase(value, "dms")) {
          dms = true;
        } else {
          throw std::runtime_error("Invalid Unit: " + Utf16ToUtf8(value));
        }
        break;
      case u'B': latitude = value; break;
      case u'L': longitude = value; break;
      case u'N': record.SetNote(ReplaceNonXmlCharacters(Utf16ToUtf8(value))); break;
      case u'F':
        position.fixMode = ReplaceNonXmlCharacters(Utf16ToUtf8(value));
        position.hasFixMode = true;
        break;
      case u'a':
        position.altitude = ReadDecimal(value);
        position.hasAltitude = true;
        break;
      case u'b':
        position.semiMajorAxisError = ReadDecimal(value);
        position.hasSemiMajorAxisError = true;
        break;
      case u'c':
        position.semiMinorAxisError = ReadDecimal(value);
        position.hasSemiMinorAxisError = true;
        break;
      case u'd':
        position.verticalError = ReadDecimal(value);
        position.hasVerticalError = true;
        break;
      case u'e':
        position.majorAxisAngle = ReadDecimal(value);
        position.hasMajorAxisAngle = true;
        break;
      default: break;
    }
  }
  if (!seenTime || !seenDatum || !seenUnit || !latitude || !longitude) {
    throw std::runtime_error("Insufficient Entries: " + Utf16ToUtf8(text));
  }
  position.latitude = ReadAngle(*latitude, dms, "Invalid Latitude: ");
  position.longitude = ReadAngle(*longitude, dms, "Invalid Longitude: ");
  return record;
}
