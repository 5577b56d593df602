#include "location/LocationQuery.h"

#include <cstring>
#include <optional>
#include <set>
#include <string_view>
#include <utility>

#include "location/FreeMemory.h"
#include "location/LocationFile.h"
#include "location/PointXml.h"
#include "location/TimeText.h"
#include "location/XmlNode.h"

namespace {

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

std::optional<CLocationRecord> CLocationQuery::Match(const CPointXmlParts& point,
                                                     const CGeoRect& area) const {
  // Each filter reads only its part of the point, the note first: it
  // rejects most records of a note search. Only a record that passes them
  // all is read whole; one that cannot be read fails the search, as it
  // would if every record were read.
  if (useNote && (!point.hasNote || !HoldsNoteText(point.note.value()))) return std::nullopt;
  if (useDate) {
    if (!point.hasTime) return std::nullopt;
    const int32_t time = ParsePointTime(point.time.value()).seconds;
    if (time < begin || time >= end) return std::nullopt;
  }
  if (useRect && !PointXmlLiesIn(point, area)) return std::nullopt;
  return ReadPointXml(point);
}

bool CLocationQuery::HoldsNoteText(const char* text) const {
  // strstr finds the text without the note's length found first; a text
  // with a NUL in it, which strstr would end there, is looked for in the
  // whole note.
  if (note.find('\0') == std::string::npos) return std::strstr(text, note.c_str()) != nullptr;
  return std::string_view(text).find(note) != std::string_view::npos;
}

void CLocationQuery::Execute(CLocationDatabase& database) {
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
    const std::string& pointName = file.GetChildName();
    for (pugi::xml_node point = file.GetDocumentElement().first_child();;
         point = point.next_sibling()) {
      const pugi::xml_node_type type = TypeOf(point);
      if (type == pugi::node_null) break;
      if (type != pugi::node_element || std::strcmp(point.name(), pointName.c_str()) != 0) continue;
      if (const std::optional<CLocationRecord> record = Match(FindPointXmlParts(point), area)) {
        found.push_back(std::move(*record));
      }
    }
  }
  m_results = CSearchResult::Create(oldestFirst, std::move(found));
}
