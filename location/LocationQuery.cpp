#include "location/LocationQuery.h"

#include <cstring>
#include <utility>

#include "location/LocationFile.h"
#include "location/PointXml.h"
#include "location/TimeText.h"
#include "location/XmlNode.h"

namespace {

// The paths through which a "point" is read, so that a filter that needs only
// the note or the time sees exactly what decoding the record would give.
struct CQueryPaths {
  CXmlPath time{"time/text()"};
  CXmlPath note{"note/text()"};
};

const CQueryPaths& Paths() {
  static const CQueryPaths paths;
  return paths;
}

bool InRect(const CPosition& position, const CGeoRect& area) {
  const auto [latitude, longitude] = GetPositionDegrees(position);
  // A NaN fails every comparison and so never matches.
  return area.bottom <= latitude && latitude <= area.top && area.left <= longitude &&
         longitude <= area.right;
}

struct CUnloadGuard {
  CDatabaseSection* section;
  ~CUnloadGuard() {
    if (section) section->UnloadIfUnmodified();
  }
};

}  // namespace

CLocationQuery::CLocationQuery(const CSearchCriteria& criteria)
    : useDate(criteria.begin != 0 && criteria.end != 0),
      useRect(criteria.rect.has_value()),
      useNote(!criteria.words.empty()),
      oldestFirst(criteria.oldestFirst),
      begin(criteria.begin),
      end(criteria.end),
      rect(criteria.rect.value_or(CGeoRect{})),
      note(criteria.words.empty() ? std::string() : criteria.words.front()) {}

void CLocationQuery::Execute(CLocationDatabase& database) {
  std::unique_ptr<CSearchResult> results = CSearchResult::Create(oldestFirst);
  const CQueryPaths& paths = Paths();
  const CGeoRect area = NormalizeGeoRect(rect);

  // Whether the point passes every enabled filter; its time in seconds.
  auto matches = [&](pugi::xml_node point, int32_t& time) {
    if (useRect) {
      // The position needs the whole record read.
      const CLocationRecord record = ReadPointXml(point);
      time = record.time.seconds;
      if (useDate && !(record.hasTime && begin <= time && time < end)) return false;
      if (useNote && !(record.hasNote && record.note.find(note) != std::string::npos)) {
        return false;
      }
      return InRect(record.position, area);
    }
    // Otherwise only the note and the time are read, the note first: it
    // rejects most records of a note search.
    if (useNote) {
      const pugi::xpath_node found = paths.note.Select(point);
      if (!found || GetXmlNodeText(found).find(note) == std::string::npos) return false;
    }
    const pugi::xpath_node timeNode = paths.time.Select(point);
    time = timeNode ? ParsePointTime(GetXmlNodeText(timeNode)).seconds : 0;
    return !useDate || (timeNode && begin <= time && time < end);
  };

  CXmlNodeEnumerator sections = MakeChildElementEnumerator(database);
  while (sections.HasMore()) {
    CDatabaseSection& section = GetSection(sections.Next());
    if (useDate && !section.Overlaps(begin, end)) continue;
    // A file loaded only for this search is let go after it: a scan of every
    // section would otherwise keep the whole database in memory.
    const bool wasLoaded = section.IsLoaded();
    CUnloadGuard unload{wasLoaded ? nullptr : &section};
    CLocationFile& file = section.GetLocationFile();
    const char* pointName = file.GetChildName().c_str();
    for (pugi::xml_node point = file.GetDocumentElement().first_child(); point;
         point = point.next_sibling()) {
      if (point.type() != pugi::node_element || std::strcmp(point.name(), pointName) != 0) {
        continue;
      }
      int32_t time = 0;
      if (matches(point, time)) {
        results->Add(time, NewXmlElementProxy(file.GetDocument(), file.GetHandler(), point));
      }
    }
  }
  m_results = std::move(results);
}
