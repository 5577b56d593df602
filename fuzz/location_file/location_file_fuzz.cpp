// Location file bytes in any encoding: parsing, decoding every point (which may
// fail only with runtime errors) and writing decoded records back. A record that
// has been through the writer once must come out of a second pass unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "location/PointXml.h"
#include "location/XmlFile.h"

namespace {

std::string Write(const CLocationRecord& record, pugi::xml_document& document) {
  std::ostringstream out;
  WritePointXml(document, record).print(out, "", pugi::format_raw);
  return out.str();
}

// The record as the writer and the reader leave it.
CLocationRecord Normalize(const CLocationRecord& record, std::string* text) {
  pugi::xml_document document;
  *text = Write(record, document);
  return ReadPointXml(document.first_child());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  pugi::xml_document document;
  if (!ParseXmlBytes(document, bytes)) return 0;
  for (pugi::xml_node point : document.document_element().children()) {
    CLocationRecord record;
    try {
      record = ReadPointXml(point);
    } catch (const std::runtime_error&) {
      continue;
    }
    std::string text;
    const CLocationRecord once = Normalize(record, &text);
    std::string onceText;
    const CLocationRecord twice = Normalize(once, &onceText);
    std::string twiceText;
    Normalize(twice, &twiceText);
    if (onceText != twiceText) std::abort();
  }
  // The DMS reader on the raw bytes, and its writer's round trip.
  try {
    const CDms dms = ParseDmsText(bytes);
    const CDms again = ParseDmsText(FormatDmsXmlText(dms));
    if (again.degrees != dms.degrees || again.minutes != dms.minutes ||
        again.seconds != dms.seconds || again.hundredths != dms.hundredths ||
        again.sign != dms.sign) {
      std::abort();
    }
  } catch (const std::runtime_error&) {
  }
  return 0;
}
