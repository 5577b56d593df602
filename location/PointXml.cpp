#include "location/PointXml.h"

#include <charconv>
#include <optional>
#include <tuple>
#include <utility>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "location/Exceptions.h"
#include "location/NumberText.h"
#include "location/TimeText.h"
#include "location/XmlNode.h"
#include "location/XmlText.h"

namespace {

// The reader gathers the nodes it needs in one walk over an element's
// children, which is several times faster than selecting each path on its own
// and finds the same nodes: for a path like "datum/text()" the first text child
// of the first "datum" element that has one, as XPath's first node would be.
// Every node operation is a call into the XML library, so the walks make as
// few as they can: each node is asked for its type alone (node_null past the
// last child), names are told apart by their first letter before one
// comparison, and what was found is known without asking the node.

// Whether the NUL-terminated `text` is the literal `expected`: compared a
// character at a time, unrolled, stopping at the first difference, so never
// reading past the end of either and never asking for the text's length.
template <std::size_t N, std::size_t... I>
bool TextIs(const char* text, const char (&expected)[N], std::index_sequence<I...>) {
  return ((text[I] == expected[I]) && ...);
}

template <std::size_t N>
bool TextIs(const char* text, const char (&expected)[N]) {
  return TextIs(text, expected, std::make_index_sequence<N>());
}

// Building a node is a call too; copying one is not.
const pugi::xml_node kNoNode;

// A node that was found, or none.
struct CFound {
  pugi::xml_node node = kNoNode;
  bool present = false;

  explicit operator bool() const { return present; }
  void Set(pugi::xml_node found) {
    node = found;
    present = true;
  }
};

CFound FirstTextChild(pugi::xml_node element) {
  CFound text;
  for (pugi::xml_node child = element.first_child();; child = child.next_sibling()) {
    switch (TypeOf(child)) {
      case pugi::node_null:
        return text;
      case pugi::node_pcdata:
      case pugi::node_cdata:
        text.Set(child);
        return text;
      default:
        break;
    }
  }
}

// Keeps the first text child of the first element named so that has one.
void GatherText(pugi::xml_node element, CFound& slot) {
  if (!slot) slot = FirstTextChild(element);
}

void GatherElement(pugi::xml_node element, CFound& slot) {
  if (!slot) slot.Set(element);
}

// Calls `take(child, name)` for each element child of `parent`.
template <class F>
void ForEachElement(pugi::xml_node parent, F&& take) {
  for (pugi::xml_node child = parent.first_child();; child = child.next_sibling()) {
    const pugi::xml_node_type type = TypeOf(child);
    if (type == pugi::node_null) return;
    if (type == pugi::node_element) take(child, child.name());
  }
}

// The same until `take` returns true: a filter stops once it has the parts
// it reads, which are the first of their names either way.
template <class F>
void ForEachElementUntil(pugi::xml_node parent, F&& take) {
  for (pugi::xml_node child = parent.first_child();; child = child.next_sibling()) {
    const pugi::xml_node_type type = TypeOf(child);
    if (type == pugi::node_null) return;
    if (type == pugi::node_element && take(child, child.name())) return;
  }
}

struct CPointNodes {
  CFound time, position, note;  // text, element, text
};

// Without `withNote`, the walk ends once the time and the position are found.
CPointNodes GatherPoint(pugi::xml_node point, bool withNote = true) {
  CPointNodes nodes;
  ForEachElementUntil(point, [&](pugi::xml_node child, const char* name) {
    switch (name[0]) {
      case 't':
        if (TextIs(name, "time")) GatherText(child, nodes.time);
        break;
      case 'p':
        if (TextIs(name, "position")) GatherElement(child, nodes.position);
        break;
      case 'n':
        if (TextIs(name, "note")) GatherText(child, nodes.note);
        break;
      default:
        break;
    }
    return !withNote && nodes.time && nodes.position;
  });
  return nodes;
}

enum EAccuracy {
  kFixMode,
  kSemiMajorAxisError,
  kSemiMinorAxisError,
  kVerticalError,
  kMajorAxisAngle,
  kAccuracyCount
};

struct CPositionNodes {
  CFound datum, latitude, longitude, altitude;  // text, element, element, text
  CFound accuracy[kAccuracyCount];              // texts
};

void GatherAccuracy(pugi::xml_node accuracy, CPositionNodes& nodes) {
  ForEachElement(accuracy, [&](pugi::xml_node value, const char* name) {
    switch (name[0]) {
      case 'f':
        if (TextIs(name, "fixmode")) GatherText(value, nodes.accuracy[kFixMode]);
        break;
      case 's':
        if (TextIs(name, "semimajoraxiserror")) {
          GatherText(value, nodes.accuracy[kSemiMajorAxisError]);
        } else if (TextIs(name, "semiminoraxiserror")) {
          GatherText(value, nodes.accuracy[kSemiMinorAxisError]);
        }
        break;
      case 'v':
        if (TextIs(name, "verticalerror")) {
          GatherText(value, nodes.accuracy[kVerticalError]);
        }
        break;
      case 'm':
        if (TextIs(name, "majoraxisangle")) {
          GatherText(value, nodes.accuracy[kMajorAxisAngle]);
        }
        break;
      default:
        break;
    }
  });
}

// With `anglesOnly`, the walk ends once the datum and both angles are found.
CPositionNodes GatherPosition(pugi::xml_node position, bool anglesOnly = false) {
  CPositionNodes nodes;
  ForEachElementUntil(position, [&](pugi::xml_node child, const char* name) {
    switch (name[0]) {
      case 'd':
        if (TextIs(name, "datum")) GatherText(child, nodes.datum);
        break;
      case 'l':
        if (TextIs(name, "latitude")) {
          GatherElement(child, nodes.latitude);
        } else if (TextIs(name, "longitude")) {
          GatherElement(child, nodes.longitude);
        }
        break;
      case 'a':
        if (TextIs(name, "altitude")) {
          GatherText(child, nodes.altitude);
        } else if (TextIs(name, "accuracy")) {
          GatherAccuracy(child, nodes);
        }
        break;
      default:
        break;
    }
    return anglesOnly && nodes.datum && nodes.latitude && nodes.longitude;
  });
  return nodes;
}

[[noreturn]] void ThrowNotFound(const char* path) {
  throw std::runtime_error(std::string("XML Node Not Found: ") + path);
}

pugi::xml_node Required(const CFound& found, const char* path) {
  if (!found) ThrowNotFound(path);
  return found.node;
}

// An optional number: present whenever its node is, whatever the text says.
bool ReadOptionalNumber(const CFound& text, double& out) {
  if (!text) return false;
  out = ParseDoublePrefix(text.node.value());
  return true;
}

constexpr const char* kDatumKeywords[] = {"wgs84", "tokyo", "itrf"};

CDatumHandle DatumFromKeyword(const char* keyword) {
  static const CDatumHandle datums[] = {GetDatumByIndex(0), GetDatumByIndex(1),
                                        GetDatumByIndex(2)};
  if (TextIs(keyword, "wgs84")) return datums[0];
  if (TextIs(keyword, "tokyo")) return datums[1];
  if (TextIs(keyword, "itrf")) return datums[2];
  throw std::runtime_error(std::string("Invalid Datum: ") + keyword);
}

const char* DatumKeyword(const CDatumHandle& datum) {
  const int index = GetDatumIndex(datum);
  return index == 0 || index == 1 ? kDatumKeywords[index] : kDatumKeywords[2];
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

void AppendNumberElement(pugi::xml_node parent, const char* name, double value) {
  CreateTextElement(parent, name, FormatDoubleGeneral(value, 6));
}

// A writer that fails leaves no half-written element under the parent.
class CRemoveOnFailure {
 public:
  CRemoveOnFailure(pugi::xml_node parent, pugi::xml_node element)
      : m_parent(parent), m_element(element) {}
  CRemoveOnFailure(const CRemoveOnFailure&) = delete;
  CRemoveOnFailure& operator=(const CRemoveOnFailure&) = delete;
  ~CRemoveOnFailure() {
    if (m_element) m_parent.remove_child(m_element);
  }
  void Keep() { m_element = pugi::xml_node(); }

 private:
  pugi::xml_node m_parent;
  pugi::xml_node m_element;
};

}  // namespace

CDms ParseDmsText(std::string_view text) {
  int32_t sign = 1;
  uint32_t fields[3] = {};  // degrees, minutes, seconds
  uint32_t hundredths = 0;
  int fractionDigits = 0;
  int state = 0;
  try {
    for (std::size_t i = 0; i < text.size(); ++i) {
      const char c = text[i];
      if (state == 0) {
        state = 1;
        if (c == '+' || c == '-') {
          sign = c == '+' ? 1 : -1;
          continue;
        }
      }
      if (IsDigit(c)) {
        const uint32_t d = static_cast<uint32_t>(c - '0');
        if (state == 4) {
          // The first two digits are the hundredths; the rest is dropped.
          if (fractionDigits < 2) {
            hundredths = hundredths * 10 + d;
            ++fractionDigits;
          }
          continue;
        }
        uint32_t& field = fields[state - 1];
        if (field > (std::numeric_limits<uint32_t>::max() - d) / 10) throw PARSEERROR(i);
        field = field * 10 + d;
      } else if ((state == 1 || state == 2) && c == ',') {
        ++state;
      } else if (state == 3 && c == '.') {
        state = 4;
      } else {
        throw PARSEERROR(i);
      }
    }
    if (state != 3 && state != 4) throw PARSEERROR(text.size());
  } catch (const PARSEERROR& e) {
    throw FormatParseError(e, text, "DMS");
  }
  if (fractionDigits == 1) hundredths *= 10;
  return CDms{sign, fields[0], fields[1], fields[2], hundredths};
}

std::string FormatDmsXmlText(const CDms& dms) {
  // As "%c%u,%u,%u.%02u" writes it, without printf's cost.
  std::string text(1, dms.sign == 1 ? '+' : '-');
  const auto put = [&text](uint32_t value, char after) {
    char digits[16];
    text.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
    if (after) text += after;
  };
  put(dms.degrees, ',');
  put(dms.minutes, ',');
  put(dms.seconds, '.');
  if (dms.hundredths < 10) text += '0';
  put(dms.hundredths, 0);
  return text;
}

namespace {

// An angle element as far as reading it can fail: its unit checked, its text
// found and, for DMS, parsed. A degree text is read as a number only when
// its value is needed.
struct CAngleText {
  bool dms;
  CDms dmsValue;
  const char* degrees;
};

CAngleText ReadAngleText(pugi::xml_node angle) {
  // The unit is nearly always the only attribute; looking it up by name
  // costs more.
  pugi::xml_attribute unitAttribute = angle.first_attribute();
  if (IsEmptyHandle(unitAttribute) || !TextIs(unitAttribute.name(), "unit")) {
    unitAttribute = angle.attribute("unit");
  }
  if (IsEmptyHandle(unitAttribute)) throw std::runtime_error("XML Node Not Found: @unit");
  const char* unit = unitAttribute.value();
  const bool dms = TextIs(unit, "dms");
  if (!dms && !TextIs(unit, "degree")) {
    throw std::runtime_error(std::string("Invalid Unit: ") + unit);
  }
  const char* text = Required(FirstTextChild(angle), "text()").value();
  if (dms) return {true, ParseDmsText(text), nullptr};
  return {false, CDms{}, text};
}

CAngle ToAngle(const CAngleText& angle) {
  return angle.dms ? CAngle::FromDms(angle.dmsValue)
                   : CAngle::FromDegrees(ParseDoublePrefix(angle.degrees));
}

// The whole degrees between which the number of a text like "-36.29102"
// lies, read as ParseDoublePrefix reads it; nothing for any other form (an
// exponent, leading blanks or signs other than one minus, a long integer
// part), which needs the number itself.
std::optional<std::pair<double, double>> DegreeBounds(const char* text) {
  const bool negative = *text == '-';
  const char* p = text + negative;
  if (*p < '0' || *p > '9') return std::nullopt;
  int64_t whole = 0;
  for (int digits = 0; *p >= '0' && *p <= '9'; ++p, ++digits) {
    if (digits == 15) return std::nullopt;
    whole = whole * 10 + (*p - '0');
  }
  if (*p == '.') {
    for (++p; *p >= '0' && *p <= '9'; ++p) {
    }
  }
  if (*p == 'e' || *p == 'E') return std::nullopt;
  const auto low = static_cast<double>(whole);
  return negative ? std::pair(-(low + 1.0), -low) : std::pair(low, low + 1.0);
}

// Whether the angle, in WGS-84, may lie in [low, high]: false only when it
// surely does not; `degrees` is then left unset.
bool MayLieIn(const CAngleText& angle, double low, double high, double& degrees) {
  if (!angle.dms) {
    if (const auto bounds = DegreeBounds(angle.degrees)) {
      if (bounds->second < low || bounds->first > high) return false;
    }
  }
  degrees = ToAngle(angle).ToDegrees();
  return true;
}

}  // namespace

CAngle ReadAngleXml(pugi::xml_node angle) { return ToAngle(ReadAngleText(angle)); }

CPosition ReadPositionXml(pugi::xml_node position) {
  const CPositionNodes nodes = GatherPosition(position);
  CPosition result;
  result.datum = DatumFromKeyword(Required(nodes.datum, "datum/text()").value());
  result.latitude = ReadAngleXml(Required(nodes.latitude, "latitude"));
  result.longitude = ReadAngleXml(Required(nodes.longitude, "longitude"));
  result.hasAltitude = ReadOptionalNumber(nodes.altitude, result.altitude);
  if (nodes.accuracy[kFixMode]) {
    result.fixMode = ReplaceNonXmlCharacters(nodes.accuracy[kFixMode].node.value());
    result.hasFixMode = true;
  }
  result.hasSemiMajorAxisError =
      ReadOptionalNumber(nodes.accuracy[kSemiMajorAxisError], result.semiMajorAxisError);
  result.hasSemiMinorAxisError =
      ReadOptionalNumber(nodes.accuracy[kSemiMinorAxisError], result.semiMinorAxisError);
  result.hasVerticalError =
      ReadOptionalNumber(nodes.accuracy[kVerticalError], result.verticalError);
  result.hasMajorAxisAngle =
      ReadOptionalNumber(nodes.accuracy[kMajorAxisAngle], result.majorAxisAngle);
  return result;
}

CPointXmlParts FindPointXmlParts(pugi::xml_node point, bool withNote) {
  const CPointNodes nodes = GatherPoint(point, withNote);
  return {nodes.time.node,    nodes.position.node,    nodes.note.node,
          nodes.time.present, nodes.position.present, nodes.note.present};
}

CLocationRecord ReadPointXml(const CPointXmlParts& point) {
  CLocationRecord record;
  if (point.hasTime) {
    record.time = ParsePointTime(point.time.value());
    record.hasTime = true;
  }
  if (!point.hasPosition) ThrowNotFound("position");
  record.position = ReadPositionXml(point.position);
  if (point.hasNote) {
    record.note = ReplaceNonXmlCharacters(point.note.value());
    record.hasNote = true;
  }
  return record;
}

CLocationRecord ReadPointXml(pugi::xml_node point) { return ReadPointXml(FindPointXmlParts(point)); }

bool PointXmlLiesIn(const CPointXmlParts& point, const CGeoRect& area) {
  // What can fail, in ReadPointXml's order: the time, then the datum and the
  // angles. Numbers and texts never fail, so a number is read only where the
  // answer needs it.
  if (point.hasTime) CheckPointTime(point.time.value());
  if (!point.hasPosition) ThrowNotFound("position");
  // The altitude counts only for another datum, which has the rest gathered.
  CPositionNodes nodes = GatherPosition(point.position, true);
  const CDatumHandle datum = DatumFromKeyword(Required(nodes.datum, "datum/text()").value());
  static const CDatumHandle wgs84 = GetWgs84Datum();
  if (datum != wgs84) nodes = GatherPosition(point.position);
  const CAngleText latitude = ReadAngleText(Required(nodes.latitude, "latitude"));
  const CAngleText longitude = ReadAngleText(Required(nodes.longitude, "longitude"));
  double lat = 0.0;
  double lon = 0.0;
  if (datum == wgs84) {
    // A WGS-84 position is its own degrees, whatever its height.
    if (!MayLieIn(latitude, area.bottom, area.top, lat) ||
        !MayLieIn(longitude, area.left, area.right, lon)) {
      return false;
    }
  } else {
    CPosition position;
    position.datum = datum;
    position.latitude = ToAngle(latitude);
    position.longitude = ToAngle(longitude);
    position.hasAltitude = ReadOptionalNumber(nodes.altitude, position.altitude);
    std::tie(lat, lon) = GetPositionDegrees(position);
  }
  // A NaN fails every comparison and so never lies in the area.
  return area.bottom <= lat && lat <= area.top && area.left <= lon && lon <= area.right;
}

pugi::xml_node WriteAngleXml(pugi::xml_node parent, const char* name, const CAngle& angle) {
  const bool dms = angle.unit != kAngleUnitDegrees;
  // -0.0 is not negative and is written without a sign.
  const std::string text =
      dms ? FormatDmsXmlText(angle.dms) : FormatDoubleFixed(angle.degrees + 0.0, 5);
  pugi::xml_node element = CreateTextElement(parent, name, text);
  if (!element.append_attribute("unit").set_value(dms ? "dms" : "degree")) {
    throw std::bad_alloc();
  }
  return element;
}

pugi::xml_node WritePositionXml(pugi::xml_node parent, const CPosition& position) {
  pugi::xml_node element = AppendXmlElement(parent, "position");
  CRemoveOnFailure guard(parent, element);
  CreateTextElement(element, "datum", DatumKeyword(position.datum));
  WriteAngleXml(element, "latitude", position.latitude);
  WriteAngleXml(element, "longitude", position.longitude);
  if (position.hasAltitude) AppendNumberElement(element, "altitude", position.altitude);
  if (position.hasFixMode || position.hasSemiMajorAxisError || position.hasSemiMinorAxisError ||
      position.hasVerticalError || position.hasMajorAxisAngle) {
    pugi::xml_node accuracy = AppendXmlElement(element, "accuracy");
    if (position.hasFixMode) CreateTextElement(accuracy, "fixmode", position.fixMode);
    if (position.hasSemiMajorAxisError) {
      AppendNumberElement(accuracy, "semimajoraxiserror", position.semiMajorAxisError);
    }
    if (position.hasSemiMinorAxisError) {
      AppendNumberElement(accuracy, "semiminoraxiserror", position.semiMinorAxisError);
    }
    if (position.hasVerticalError) {
      AppendNumberElement(accuracy, "verticalerror", position.verticalError);
    }
    if (position.hasMajorAxisAngle) {
      AppendNumberElement(accuracy, "majoraxisangle", position.majorAxisAngle);
    }
  }
  guard.Keep();
  return element;
}

pugi::xml_node WritePointXml(pugi::xml_node parent, const CLocationRecord& record) {
  pugi::xml_node element = AppendXmlElement(parent, "point");
  CRemoveOnFailure guard(parent, element);
  if (record.hasTime) CreateTextElement(element, "time", FormatPointTime(record.time));
  WritePositionXml(element, record.position);
  if (record.hasNote) CreateTextElement(element, "note", record.note);
  guard.Keep();
  return element;
}
