#include "location/PointXml.h"

#include <cstdio>
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
// Names are told apart by their first letters before one comparison; the walks
// ask each node for its type alone, which is node_null past the last child.

// Whether the NUL-terminated `name` is `expected`; stops at the first
// difference, so never reads past the end of either.
template <std::size_t N>
bool NameIs(const char* name, const char (&expected)[N]) {
  for (std::size_t i = 0; i < N; ++i) {
    if (name[i] != expected[i]) return false;
  }
  return true;
}

pugi::xml_node FirstTextChild(pugi::xml_node element) {
  for (pugi::xml_node child = element.first_child();; child = child.next_sibling()) {
    switch (child.type()) {
      case pugi::node_null:
        return {};
      case pugi::node_pcdata:
      case pugi::node_cdata:
        return child;
      default:
        break;
    }
  }
}

// Keeps the first text child of the first element named so that has one.
void GatherText(pugi::xml_node element, pugi::xml_node& slot) {
  if (!slot) slot = FirstTextChild(element);
}

struct CPointNodes {
  pugi::xml_node time, position, note;  // text, element, text
};

CPointNodes GatherPoint(pugi::xml_node point) {
  CPointNodes nodes;
  for (pugi::xml_node child = point.first_child();; child = child.next_sibling()) {
    const pugi::xml_node_type type = child.type();
    if (type == pugi::node_null) break;
    if (type != pugi::node_element) continue;
    const char* name = child.name();
    switch (name[0]) {
      case 't':
        if (NameIs(name, "time")) GatherText(child, nodes.time);
        break;
      case 'p':
        if (!nodes.position && NameIs(name, "position")) nodes.position = child;
        break;
      case 'n':
        if (NameIs(name, "note")) GatherText(child, nodes.note);
        break;
      default:
        break;
    }
  }
  return nodes;
}

enum EAccuracy { kFixMode, kSemiMajorAxisError, kSemiMinorAxisError, kVerticalError,
                 kMajorAxisAngle, kAccuracyCount };

struct CPositionNodes {
  pugi::xml_node datum, latitude, longitude, altitude;  // text, element, element, text
  pugi::xml_node accuracy[kAccuracyCount];             // texts
};

void GatherAccuracy(pugi::xml_node accuracy, CPositionNodes& nodes) {
  for (pugi::xml_node value = accuracy.first_child();; value = value.next_sibling()) {
    const pugi::xml_node_type type = value.type();
    if (type == pugi::node_null) break;
    if (type != pugi::node_element) continue;
    const char* name = value.name();
    switch (name[0]) {
      case 'f':
        if (NameIs(name, "fixmode")) GatherText(value, nodes.accuracy[kFixMode]);
        break;
      case 's':
        if (NameIs(name, "semimajoraxiserror")) {
          GatherText(value, nodes.accuracy[kSemiMajorAxisError]);
        } else if (NameIs(name, "semiminoraxiserror")) {
          GatherText(value, nodes.accuracy[kSemiMinorAxisError]);
        }
        break;
      case 'v':
        if (NameIs(name, "verticalerror")) GatherText(value, nodes.accuracy[kVerticalError]);
        break;
      case 'm':
        if (NameIs(name, "majoraxisangle")) GatherText(value, nodes.accuracy[kMajorAxisAngle]);
        break;
      default:
        break;
    }
  }
}

CPositionNodes GatherPosition(pugi::xml_node position) {
  CPositionNodes nodes;
  for (pugi::xml_node child = position.first_child();; child = child.next_sibling()) {
    const pugi::xml_node_type type = child.type();
    if (type == pugi::node_null) break;
    if (type != pugi::node_element) continue;
    const char* name = child.name();
    switch (name[0]) {
      case 'd':
        if (NameIs(name, "datum")) GatherText(child, nodes.datum);
        break;
      case 'l':
        if (!nodes.latitude && NameIs(name, "latitude")) {
          nodes.latitude = child;
        } else if (!nodes.longitude && NameIs(name, "longitude")) {
          nodes.longitude = child;
        }
        break;
      case 'a':
        if (NameIs(name, "altitude")) {
          GatherText(child, nodes.altitude);
        } else if (NameIs(name, "accuracy")) {
          GatherAccuracy(child, nodes);
        }
        break;
      default:
        break;
    }
  }
  return nodes;
}

pugi::xml_node Required(pugi::xml_node node, const char* path) {
  if (!node) throw std::runtime_error(std::string("XML Node Not Found: ") + path);
  return node;
}

// An optional number: present whenever its node is, whatever the text says.
bool ReadOptionalNumber(pugi::xml_node text, double& out) {
  if (!text) return false;
  out = ParseDoublePrefix(text.value());
  return true;
}

constexpr const char* kDatumKeywords[] = {"wgs84", "tokyo", "itrf"};

CDatumHandle DatumFromKeyword(const char* keyword) {
  if (NameIs(keyword, "wgs84")) return GetDatumByIndex(0);
  if (NameIs(keyword, "tokyo")) return GetDatumByIndex(1);
  if (NameIs(keyword, "itrf")) return GetDatumByIndex(2);
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
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%c%u,%u,%u.%02u", dms.sign == 1 ? '+' : '-', dms.degrees,
                dms.minutes, dms.seconds, dms.hundredths);
  return buffer;
}

CAngle ReadAngleXml(pugi::xml_node angle) {
  const pugi::xml_attribute unitAttribute = angle.attribute("unit");
  if (!unitAttribute) throw std::runtime_error("XML Node Not Found: @unit");
  const char* unit = unitAttribute.value();
  const bool dms = NameIs(unit, "dms");
  if (!dms && !NameIs(unit, "degree")) {
    throw std::runtime_error(std::string("Invalid Unit: ") + unit);
  }
  const char* text = Required(FirstTextChild(angle), "text()").value();
  return dms ? CAngle::FromDms(ParseDmsText(text)) : CAngle::FromDegrees(ParseDoublePrefix(text));
}

CPosition ReadPositionXml(pugi::xml_node position) {
  const CPositionNodes nodes = GatherPosition(position);
  CPosition result;
  result.datum = DatumFromKeyword(Required(nodes.datum, "datum/text()").value());
  result.latitude = ReadAngleXml(Required(nodes.latitude, "latitude"));
  result.longitude = ReadAngleXml(Required(nodes.longitude, "longitude"));
  result.hasAltitude = ReadOptionalNumber(nodes.altitude, result.altitude);
  if (nodes.accuracy[kFixMode]) {
    result.fixMode = ReplaceNonXmlCharacters(nodes.accuracy[kFixMode].value());
    result.hasFixMode = true;
  }
  result.hasSemiMajorAxisError =
      ReadOptionalNumber(nodes.accuracy[kSemiMajorAxisError], result.semiMajorAxisError);
  result.hasSemiMinorAxisError =
      ReadOptionalNumber(nodes.accuracy[kSemiMinorAxisError], result.semiMinorAxisError);
  result.hasVerticalError = ReadOptionalNumber(nodes.accuracy[kVerticalError], result.verticalError);
  result.hasMajorAxisAngle =
      ReadOptionalNumber(nodes.accuracy[kMajorAxisAngle], result.majorAxisAngle);
  return result;
}

CLocationRecord ReadPointXml(pugi::xml_node point) {
  const CPointNodes nodes = GatherPoint(point);
  CLocationRecord record;
  if (nodes.time) {
    record.time = ParsePointTime(nodes.time.value());
    record.hasTime = true;
  }
  record.position = ReadPositionXml(Required(nodes.position, "position"));
  if (nodes.note) {
    record.note = ReplaceNonXmlCharacters(nodes.note.value());
    record.hasNote = true;
  }
  return record;
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
