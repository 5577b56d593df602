#include "location/LocationQuery.h"

#include <cstring>
#include <set>
#include <utility>

#include "location/FreeMemory.h"
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

// The documents a search loaded and let go leave their pages with the
// allocator; after a search over several sections they go back to the
// system. The pages of one section are kept: the next search (the day view
// stepping through days) takes them again, without faulting them in anew.
struct CReturnMemoryGuard {
  int unloaded = 0;
  ~CReturnMemoryGuard() {
    if (unloaded > 1) ReturnFreeMemoryToSystem();
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
  const CQueryPaths& paths = Paths();
  const CGeoRect area = NormalizeGeoRect(rect);
  // The found records are decoded here, so that the result does not keep the
  // section documents alive and a record that cannot be read ends the search.
  std::vector<CLocationRecord> found;
  CReturnMemoryGuard returnMemory;

  // A hand-made index may name one file in several entries: it is read once,
  // through the section that files into it.
  CSectionFileOwners owners;
  std::set<const CDatabaseSection*> searched;
  std::vector<CXmlElementRef> walked;
  CXmlNodeEnumerator sections = MakeChildElementEnumerator(database);
  while (sections.HasMore()) {
    walked.push_back(sections.Next());
    CDatabaseSection& entry = GetSection(walked.back());
    if (useDate && !entry.Overlaps(begin, end)) continue;
    CDatabaseSection& section = owners.For(walked, entry);
    if (!searched.insert(&section).second) continue;
    // A file loaded only for this search is let go after it: a scan of every
    // section would otherwise keep the whole database in memory.
    CUnloadGuard unload{section.IsLoaded() ? nullptr : &section};
    if (unload.section) ++returnMemory.unloaded;
    CLocationFile& file = section.GetLocationFile();
    const char* pointName = file.GetChildName().c_str();
    for (pugi::xml_node point = file.GetDocumentElement().first_child(); point;
         point = point.next_sibling()) {
      if (point.type() != pugi::node_element || std::strcmp(point.name(), pointName) != 0) {
        continue;
      }
      // The note and the time are read on their own first, the note first:
      // it rejects most records of a note search.
      if (useNote) {
        const pugi::xpath_node text = paths.note.Select(point);
        if (!text || GetXmlNodeText(text).find(note) == std::string::npos) continue;
      }
      if (useDate) {
        const pugi::xpath_node text = paths.time.Select(point);
        if (!text) continue;
        const int32_t time = ParsePointTime(GetXmlNodeText(text)).seconds;
        if (time < begin || time >= end) continue;
      }
      CLocationRecord record = ReadPointXml(point);
      if (useRect && !InRect(record.position, area)) continue;
      found.push_back(std::move(record));
    }
  }
  m_results = CSearchResult::Create(oldestFirst, std::move(found));
}
