#include "location/LocationQuery.h"

#include <cstdint>
#include <cstring>
#include <optional>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "location/ByteSearch.h"
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

// The first element named `name` from `node` on among its siblings; null
// when there is none.
pugi::xml_node NextElementNamed(pugi::xml_node node, const char* name) {
  for (;; node = node.next_sibling()) {
    const pugi::xml_node_type type = TypeOf(node);
    if (type == pugi::node_null) return node;
    if (type == pugi::node_element && std::strcmp(node.name(), name) == 0) return node;
  }
}

// Where the text lies in the buffer; npos when it lies elsewhere.
std::size_t OffsetIn(std::string_view buffer, const char* text) {
  const auto at = reinterpret_cast<std::uintptr_t>(text);
  const auto begin = reinterpret_cast<std::uintptr_t>(buffer.data());
  if (at < begin || at - begin >= buffer.size()) return std::string_view::npos;
  return at - begin;
}

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

std::optional<CLocationRecord> CLocationQuery::Match(pugi::xml_node element,
                                                     const CGeoRect& area) const {
  // The note is looked for only by a note search; the record of a point that
  // matches is read whole.
  const CPointXmlParts point = FindPointXmlParts(element, useNote);
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
  return useNote ? ReadPointXml(point) : ReadPointXml(element);
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
  // through the section that files into it. While no section holds its file,
  // every entry reads a file from disk and the search lets it go again, so
  // the entries it does not search cannot change what is found: only those
  // it searches are asked which file they reach (a stat each, for a day out
  // of years of months), and a single one need not be asked at all.
  std::vector<CXmlElementRef> walked;
  bool anyLoaded = false;
  for (CXmlNodeEnumerator sections = MakeChildElementEnumerator(database); sections.HasMore();) {
    walked.push_back(sections.Next());
    anyLoaded = anyLoaded || GetSection(walked.back()).IsLoaded();
  }
  const bool onlySearchedEntries = useDate && !anyLoaded;
  if (onlySearchedEntries) {
    std::erase_if(walked, [this](const CXmlElementRef& proxy) {
      return !GetSection(proxy).Overlaps(begin, end);
    });
  }
  const bool alone = onlySearchedEntries && walked.size() == 1;
  CSectionFileOwners owners;
  std::set<const CDatabaseSection*> searched;
  for (const CXmlElementRef& proxy : walked) {
    CDatabaseSection& entry = GetSection(proxy);
    if (useDate && !onlySearchedEntries && !entry.Overlaps(begin, end)) continue;
    CDatabaseSection& section = alone ? entry : owners.For(walked, entry);
    if (!searched.insert(&section).second) continue;
    // A file loaded only for this search is let go after it: a scan of every
    // section would otherwise keep the whole database in memory.
    CUnloadGuard unload{section.IsLoaded() ? nullptr : &section};
    if (unload.section) ++returnMemory.unloaded;
    CLocationFile& file = section.GetLocationFile();
    // Only a document as this search loaded it is known to lie in its buffer.
    const std::string_view inPlace =
        unload.section ? file.GetDocument()->parsedInPlace : std::string_view();
    SearchFile(file, inPlace, area, found);
  }
  m_results = CSearchResult::Create(oldestFirst, std::move(found));
}

bool CLocationQuery::FindsNoteInBytes() const {
  // strstr semantics: an empty text is in every note, and one with a NUL in
  // none, which the bytes would not tell.
  return useNote && !note.empty() && note.find('\0') == std::string::npos;
}

void CLocationQuery::SearchFile(const CLocationFile& file, std::string_view inPlace,
                                const CGeoRect& area, std::vector<CLocationRecord>& found) const {
  const char* pointName = file.GetChildName().c_str();
  pugi::xml_node point = NextElementNamed(file.GetDocumentElement().first_child(), pointName);
  if (inPlace.empty() || !FindsNoteInBytes()) {
    for (; !IsEmptyHandle(point); point = NextElementNamed(point.next_sibling(), pointName)) {
      if (std::optional<CLocationRecord> record = Match(point, area)) {
        found.push_back(std::move(*record));
      }
    }
    return;
  }
  // A note's text lies in the buffer between the start of its point and the
  // start of the next: a point without the text's bytes there has no note
  // that holds it, and the note is the first filter, so nothing else of it
  // is read (or can fail) either. Past the last place of the text no point
  // is looked at.
  std::size_t hit = FindBytes(inPlace, note, 0);
  while (!IsEmptyHandle(point) && hit != std::string_view::npos) {
    const pugi::xml_node next = NextElementNamed(point.next_sibling(), pointName);
    const std::size_t begin = OffsetIn(inPlace, point.name());
    const std::size_t end = IsEmptyHandle(next) ? inPlace.size() : OffsetIn(inPlace, next.name());
    if (begin != std::string_view::npos && hit < begin) hit = FindBytes(inPlace, note, begin);
    if (begin == std::string_view::npos || hit < end) {
      if (std::optional<CLocationRecord> record = Match(point, area)) {
        found.push_back(std::move(*record));
      }
    }
    point = next;
  }
}
