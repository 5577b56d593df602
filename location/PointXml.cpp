#include "location/PointXml.h"

#include <cstdio>
#include <limits>
#include <stdexcept>

#include "location/Exceptions.h"
#include "location/NumberText.h"
#include "location/TimeText.h"
#include "location/XmlNode.h"

namespace {

// Compiled once; the texts are also what the error messages name.
struct CPointPaths {
  CXmlPath time{"time/text()"};
  CXmlPath position{"position"};
  CXmlPath note{"note/text()"};
  CXmlPath datum{"datum/text()"};
  CXmlPath latitude{"latitude"};
  CXmlPath longitude{"longitude"};
  CXmlPath altitude{"altitude/text()"};
  CXmlPath fixMode{"accuracy/fixmode/text()"};
  CXmlPath semiMajorAxisError{"accuracy/semimajoraxiserror/text()"};
  CXmlPath semiMinorAxisError{"accuracy/semiminoraxiserror/text()"};
  CXmlPath verticalError{"accuracy/verticalerror/text()"};
  CXmlPath majorAxisAngle{"accuracy/majoraxisangle/text()"};
  CXmlPath unit{"@unit"};
  CXmlPath text{"text()"};
};

const CPointPaths& Paths() {
  static const CPointPaths paths;
  return paths;
}

constexpr const char* kDatumKeywords[] = {"wgs84", "tokyo", "itrf"};

// The element the path selects; a missing one is an error like a missing text.
pugi::xml_node RequiredElement(pugi::xml_node node, const CXmlPath& path) {
  const pugi::xml_node element = path.Select(node).node();
  if (!element) throw std::runtime_error("XML Node Not Found: " + path.GetText());
  return element;
}

// The text of an optional node: set when present, whatever the text says.
bool ReadOptionalText(pugi::xml_node node, const CXmlPath& path, std::string& out) {
  const pugi::xpath_node found = path.Select(node);
  if (!found) return false;
  out = GetXmlNodeText(found);
  return true;
}

bool ReadOptionalNumber(pugi::xml_node node, const CXmlPath& path, double& out) {
  std::string text;
  if (!ReadOptionalText(node, path, text)) return false;
  out = ParseDoublePrefix(text);
  return true;
}

CDatumHandle DatumFromKeyword(const std::string& keyword) {
  for (int i = 0; i < 3; ++i) {
    if (keyword == kDatumKeywords[i]) return GetDatumByIndex(i);
  }
  throw std::runtime_error("Invalid Datum: " + keyword);
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
          if (fractionDigits < 2) hundredths = hundredths * 10 + d, ++fractionDigits;
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

std::string FormatDmsText(const CDms& dms) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%c%u,%u,%u.%02u", dms.sign == 1 ? '+' : '-', dms.degrees,
                dms.minutes, dms.seconds, dms.hundredths);
  return buffer;
}

CAngle ReadAngleXml(pugi::xml_node angle) {
  const CPointPaths& paths = Paths();
  const std::string unit = GetRequiredXmlText(angle, paths.unit);
  if (unit == "dms") return CAngle::FromDms(ParseDmsText(GetRequiredXmlText(angle, paths.text)));
  if (unit == "degree") {
    return CAngle::FromDegrees(ParseDoublePrefix(GetRequiredXmlText(angle, paths.text)));
  }
  throw std::runtime_error("Invalid Unit: " + unit);
}

CPosition ReadPositionXml(pugi::xml_node position) {
  const CPointPaths& paths = Paths();
  CPosition result;
  result.datum = DatumFromKeyword(GetRequiredXmlText(position, paths.datum));
  result.latitude = ReadAngleXml(RequiredElement(position, paths.latitude));
  result.longitude = ReadAngleXml(RequiredElement(position, paths.longitude));
  result.hasAltitude = ReadOptionalNumber(position, paths.altitude, result.altitude);
  result.hasFixMode = ReadOptionalText(position, paths.fixMode, result.fixMode);
  result.hasSemiMajorAxisError =
      ReadOptionalNumber(position, paths.semiMajorAxisError, result.semiMajorAxisError);
  result.hasSemiMinorAxisError =
      ReadOptionalNumber(position, paths.semiMinorAxisError, result.semiMinorAxisError);
  result.hasVerticalError = ReadOptionalNumber(position, paths.verticalError, result.verticalError);
  result.hasMajorAxisAngle =
      ReadOptionalNumber(position, paths.majorAxisAngle, result.majorAxisAngle);
  return result;
}

CLocationRecord ReadPointXml(pugi::xml_node point) {
  const CPointPaths& paths = Paths();
  CLocationRecord record;
  std::string text;
  if (ReadOptionalText(point, paths.time, text)) {
    record.time = ParsePointTime(text);
    record.hasTime = true;
  }
  record.position = ReadPositionXml(RequiredElement(point, paths.position));
  if (ReadOptionalText(point, paths.note, text)) record.SetNote(text);
  return record;
}

pugi::xml_node WriteAngleXml(pugi::xml_node parent, const char* name, const CAngle& angle) {
  const bool dms = angle.unit != kAngleUnitDegrees;
  // -0.0 is not negative and is written without a sign.
  const std::string text =
      dms ? FormatDmsText(angle.dms) : FormatDoubleFixed(angle.degrees + 0.0, 5);
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
