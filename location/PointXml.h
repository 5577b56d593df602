// The XML form of a location record: the "point" element, the "position"
// element inside it (also used by the map catalogue's corners) and the angle
// elements.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include <pugixml.hpp>

#include "location/LocationRecord.h"

// Decode an element. Errors are std::runtime_error: "XML Node Not Found: " +
// path, "Invalid Text: " + path, "Invalid Datum: " + keyword, "Invalid Unit: "
// + keyword, the parse-error texts of the "Date" and "DMS" contexts, and
// "Invalid Date: " + text for a time out of range. Characters a file cannot
// hold in the note and the fix mode (a lax parser lets them through) read as
// U+FFFD.
CLocationRecord ReadPointXml(pugi::xml_node point);
CPosition ReadPositionXml(pugi::xml_node position);
CAngle ReadAngleXml(pugi::xml_node angle);

// The parts of a "point" element that ReadPointXml reads, found in one walk
// over its children, for filters that look at one part before the record is
// read: the first text piece of the first "time" and "note" elements that
// have one, and the first "position" element.
struct CPointXmlParts {
  pugi::xml_node time;
  pugi::xml_node position;
  pugi::xml_node note;
  bool hasTime;
  bool hasPosition;
  bool hasNote;
};
// Without `withNote`, the note is left out (hasNote false) wherever a time
// and a position come before it.
CPointXmlParts FindPointXmlParts(pugi::xml_node point, bool withNote = true);
CLocationRecord ReadPointXml(const CPointXmlParts& point);
// Whether GetPositionDegrees of the point's position lies in `area`, which
// is normalised (NormalizeGeoRect), edges included, without the rest of the
// record being read; it fails where ReadPointXml would, with its first error.
bool PointXmlLiesIn(const CPointXmlParts& point, const CGeoRect& area);

// "+35,41,22.08": optional sign, degrees, minutes, seconds, optional fraction
// of which the first two digits are the hundredths. The fields are not range
// checked. Throws std::runtime_error with the parse-error texts of "DMS".
CDms ParseDmsText(std::string_view text);
// The written form: sign, degrees, minutes and seconds without leading zeros,
// hundredths as two digits.
std::string FormatDmsXmlText(const CDms& dms);

// Append a new element for the value under `parent` and return it.
pugi::xml_node WritePointXml(pugi::xml_node parent, const CLocationRecord& record);
pugi::xml_node WritePositionXml(pugi::xml_node parent, const CPosition& position);
pugi::xml_node WriteAngleXml(pugi::xml_node parent, const char* name, const CAngle& angle);
