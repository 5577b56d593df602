// Searching the location database by date range, position rectangle and note
// text, with the results in time order.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "location/LocationDatabase.h"
#include "location/LocationFile.h"
#include "location/LocationRecord.h"
#include "location/PointXml.h"
#include "location/SearchResult.h"

// A search request as the search pane and the day view make it.
struct CSearchCriteria {
  int32_t begin = 0;  // the date filter applies when begin and end are both non-zero
  int32_t end = 0;
  std::optional<CGeoRect> rect;    // the rectangle filter applies when present
  std::vector<std::string> words;  // only the first is used, as the note text
  bool oldestFirst = true;
};

class CLocationQuery : public CDatabaseOperation {
 public:
  CLocationQuery() = default;
  // Enables the filters that the criteria ask for.
  explicit CLocationQuery(const CSearchCriteria& criteria);

  // Runs the search and replaces the result list with a new one. On failure
  // (a section or record that cannot be read) the previous list stays.
  // Section files that the search had to load are unloaded again after it.
  void Execute(CLocationDatabase& database) override;
  // Hands the result list over; the query holds none afterwards.
  std::unique_ptr<CSearchResult> TakeResults() noexcept { return std::move(m_results); }
  CSearchResult* GetResults() const noexcept { return m_results.get(); }

  // Records with a time, begin <= time < end.
  bool useDate = false;
  // Records whose WGS-84 position lies in the rectangle, edges included, after
  // normalisation (top/bottom and left/right may come in either order).
  bool useRect = false;
  // Records with a note that contains the note text (case-sensitive).
  bool useNote = false;
  bool oldestFirst = true;
  int32_t begin = 0;
  int32_t end = 0;
  CGeoRect rect;
  std::string note;

 private:
  // The record of a point that every enabled filter accepts.
  std::optional<CLocationRecord> Match(pugi::xml_node point, const CGeoRect& area) const;
  // Whether the NUL-terminated note holds the note text.
  bool HoldsNoteText(const char* text) const;
  // Whether a note can hold the note text only where its bytes occur.
  bool FindsNoteInBytes() const;
  // Appends the records of the file's points that match. `inPlace`: the
  // buffer the file's document, unchanged since, was parsed in; or empty.
  void SearchFile(const CLocationFile& file, std::string_view inPlace, const CGeoRect& area,
                  std::vector<CLocationRecord>& found) const;

  std::unique_ptr<CSearchResult> m_results;
};
