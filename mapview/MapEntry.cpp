#include "mapview/MapEntry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>
#include <tuple>

#include "location/FilePath.h"
#include "location/LocationRecord.h"
#include "location/PointXml.h"
#include "location/XmlNode.h"

namespace {

bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// "nan", "-inf", "Infinity" and the like, after white space. The number
// parser finds no number in them and reads 0, which would put the map on
// the equator or the prime meridian.
bool NamesNonFiniteNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsCSpace(text[i])) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  const std::string_view rest = text.substr(i);
  auto startsWith = [rest](std::string_view word) {
    return rest.size() >= word.size() &&
           std::equal(word.begin(), word.end(), rest.begin(), [](char w, char c) {
             return w == (c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c);
           });
  };
  return startsWith("nan") || startsWith("inf");
}

// {latitude, longitude} of the corner's "position" element.
std::pair<double, double> ReadCorner(pugi::xml_node map, const CXmlPath& path) {
  const pugi::xpath_node position = SelectXmlNode(map, path);
  if (!position.node()) throw std::runtime_error("XML Node Not Found: " + path.GetText());
  // The angles the position reader takes: the first of each name, read as
  // decimal degrees when their unit says so.
  for (const char* name : {"latitude", "longitude"}) {
    const pugi::xml_node angle = position.node().child(name);
    if (std::strcmp(angle.attribute("unit").value(), "degree") == 0 &&
        NamesNonFiniteNumber(angle.child_value())) {
      throw std::runtime_error("Invalid Position: " + path.GetText());
    }
  }
  const auto degrees = GetPositionDegrees(ReadPositionXml(position.node()));
  if (!std::isfinite(degrees.first) || !std::isfinite(degrees.second)) {
    throw std::runtime_error("Invalid Position: " + path.GetText());
  }
  return degrees;
}

int32_t ReadClip(pugi::xml_node clip, const char* side) {
  const pugi::xml_attribute attribute = clip.attribute(side);
  return attribute ? ParseClipValue(attribute.value()) : 0;
}

class CMapEntryHandler final : public CXmlElementHandlerOf<CMapEntry> {
 public:
  std::shared_ptr<CMapEntry> Read(const CXmlDocument& document,
                                  pugi::xml_node element) const override {
    static const CXmlPath hrefPath("@href");
    static const CXmlPath topLeftPath("position[@corner='topleft']");
    static const CXmlPath bottomRightPath("position[@corner='bottomright']");
    static const CXmlPath clipPath("clip");

    auto map = std::make_shared<CMapEntry>();
    map->href = GetRequiredXmlText(element, hrefPath);
    map->imageLocation = ResolveRelativePath(document.path, map->href);
    std::tie(map->top, map->left) = ReadCorner(element, topLeftPath);
    std::tie(map->bottom, map->right) = ReadCorner(element, bottomRightPath);
    if (const pugi::xml_node clip = SelectXmlNode(element, clipPath).node()) {
      map->clipTop = ReadClip(clip, "top");
      map->clipLeft = ReadClip(clip, "left");
      map->clipBottom = ReadClip(clip, "bottom");
      map->clipRight = ReadClip(clip, "right");
    }
    return map;
  }

  pugi::xml_node Write(pugi::xml_node, const CMapEntry&) const override { return {}; }
};

}  // namespace

const CXmlElementHandlerOf<CMapEntry>& GetMapEntryHandler() {
  static const CMapEntryHandler handler;
  return handler;
}

int32_t ParseClipValue(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsCSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  constexpr int64_t limit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = std::min(value * 10 + (text[i] - '0'), limit);
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value);
}
