#include "location/PointValueSet.h"

#include <cstring>
#include <functional>
#include <stdexcept>
#include <type_traits>

#include "location/PointXml.h"
#include "location/XmlFile.h"
#include "location/XmlWriter.h"

namespace {

std::size_t HashOf(std::string_view key) { return std::hash<std::string_view>()(key); }

template <class T>
void AppendValue(std::string& key, T value) {
  static_assert(std::is_trivially_copyable_v<T>);
  char bytes[sizeof value];
  std::memcpy(bytes, &value, sizeof value);
  key.append(bytes, sizeof bytes);
}

void AppendText(std::string& key, bool present, const std::string& text) {
  AppendValue(key, present);
  if (!present) return;
  AppendValue(key, text.size());
  key += text;
}

void AppendNumber(std::string& key, bool present, double value) {
  AppendValue(key, present);
  if (present) AppendValue(key, value);
}

void AppendAngle(std::string& key, const CAngle& angle) {
  AppendValue(key, angle.unit);
  if (angle.unit == kAngleUnitDegrees) {
    AppendValue(key, angle.degrees);
  } else {
    AppendValue(key, angle.dms.sign);
    AppendValue(key, angle.dms.degrees);
    AppendValue(key, angle.dms.minutes);
    AppendValue(key, angle.dms.seconds);
    AppendValue(key, angle.dms.hundredths);
  }
}

std::string RecordValueKey(const CLocationRecord& record) {
  std::string key(1, 'v');
  AppendValue(key, record.hasTime);
  if (record.hasTime) {
    AppendValue(key, record.time.seconds);
    AppendValue(key, record.time.offset);
  }
  AppendText(key, record.hasNote, record.note);
  const CPosition& position = record.position;
  AppendValue(key, GetDatumIndex(position.datum));
  AppendAngle(key, position.latitude);
  AppendAngle(key, position.longitude);
  AppendNumber(key, position.hasAltitude, position.altitude);
  AppendText(key, position.hasFixMode, position.fixMode);
  AppendNumber(key, position.hasSemiMajorAxisError, position.semiMajorAxisError);
  AppendNumber(key, position.hasSemiMinorAxisError, position.semiMinorAxisError);
  AppendNumber(key, position.hasVerticalError, position.verticalError);
  AppendNumber(key, position.hasMajorAxisAngle, position.majorAxisAngle);
  return key;
}

}  // namespace

CPointValueSet::CPointValueSet(const CXmlFile& file) {
  const char* name = file.GetChildName().c_str();
  for (pugi::xml_node child = file.GetDocumentElement().first_child(); child;
       child = child.next_sibling()) {
    if (child.type() != pugi::node_element || std::strcmp(child.name(), name) != 0) continue;
    m_elements.emplace(HashOf(PointValueKey(child)), child);
  }
}

bool CPointValueSet::Contains(std::string_view key) const {
  const auto [first, last] = m_elements.equal_range(HashOf(key));
  for (auto it = first; it != last; ++it) {
    if (PointValueKey(it->second) == key) return true;
  }
  return false;
}

void CPointValueSet::Add(std::string_view key, pugi::xml_node element) {
  m_elements.emplace(HashOf(key), element);
}

std::string PointValueKey(pugi::xml_node point) {
  CLocationRecord record;
  try {
    record = ReadPointXml(point);
  } catch (const std::runtime_error&) {
    std::string key(1, 'w');
    AppendXmlElementText(key, point);
    return key;
  }
  return RecordValueKey(record);
}
