// Any bytes as a map catalogue: every "map" element either decodes into an
// entry with finite corners or fails with an exception; clip texts of any
// form read as numbers.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string_view>

#include "location/XmlFile.h"
#include "mapview/MapEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  ParseClipValue(bytes);
  CXmlDocument document;
  document.path = "/maps/maps.xml";
  if (!ParseXmlBytes(document.document, bytes)) return 0;
  for (pugi::xml_node map : document.document.document_element().children("map")) {
    try {
      const auto entry = GetMapEntryHandler().Read(document, map);
      if (!std::isfinite(entry->top) || !std::isfinite(entry->left) ||
          !std::isfinite(entry->bottom) || !std::isfinite(entry->right)) {
        std::abort();
      }
      if (entry->imageLocation.empty() != entry->href.empty()) std::abort();
    } catch (const std::exception&) {
    }
  }
  return 0;
}
