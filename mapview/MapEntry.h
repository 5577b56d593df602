// One "map" element of the map catalogue: a calibrated image, the latitude
// and longitude of its corners, and the pixels clipped off its edges.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "location/XmlFile.h"

struct CMapEntry {
  std::string href;           // as written in the catalogue
  std::string imageLocation;  // href resolved against the catalogue's folder
  // WGS-84 decimal degrees of the image's corners.
  double top = 0.0;
  double left = 0.0;
  double bottom = 0.0;
  double right = 0.0;
  // Pixels trimmed from each edge before the image is laid on the corners.
  int32_t clipTop = 0;
  int32_t clipLeft = 0;
  int32_t clipBottom = 0;
  int32_t clipRight = 0;
};

// Reads "map" elements. Decoding throws std::runtime_error for a missing
// "href" or corner ("XML Node Not Found: " + path), an unreadable position,
// or a corner that is not a finite number. Writing produces nothing: the
// catalogue is never rewritten.
const CXmlElementHandlerOf<CMapEntry>& GetMapEntryHandler();

// A clip attribute's number: optional white space and sign, then decimal
// digits; text that does not start that way is 0, and a number beyond the
// 32-bit range is held at its end.
int32_t ParseClipValue(std::string_view text);
