// Helpers of the database tests: records at given times, filing, and reading
// what a database folder holds.
#pragma once

#include <time.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "location/FilePath.h"
#include "location/LocationDatabase.h"
#include "location/LocationFile.h"
#include "location/RecordCollection.h"

// Seconds of a UTC calendar time.
inline int32_t Utc(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  std::tm calendar{};
  calendar.tm_year = year - 1900;
  calendar.tm_mon = month - 1;
  calendar.tm_mday = day;
  calendar.tm_hour = hour;
  calendar.tm_min = minute;
  calendar.tm_sec = second;
  return static_cast<int32_t>(timegm(&calendar));
}

inline CLocationRecord MakeRecord(int32_t seconds, std::string note = {}, double latitude = 35.0,
                                  double longitude = 139.0) {
  CLocationRecord record;
  record.position = CPosition({latitude, longitude});
  record.time = CZonedTime(seconds, 9 * 3600);
  record.hasTime = true;
  if (!note.empty()) record.SetNote(note);
  return record;
}

inline void File(CLocationDatabase& database, const std::vector<CLocationRecord>& records) {
  CRecordVectorCollection collection(records);
  CAddRecordsOperation operation(collection);
  ExecuteDatabaseOperation(database, operation);
}

// The sections of the index as (href, begin, end), in index order.
struct CSectionInfo {
  std::string href;
  int32_t begin;
  int32_t end;
  friend bool operator==(const CSectionInfo&, const CSectionInfo&) = default;
};

inline std::vector<CSectionInfo> ListSections(const CLocationDatabase& database) {
  std::vector<CSectionInfo> sections;
  CXmlNodeEnumerator enumerator = MakeChildElementEnumerator(database);
  while (enumerator.HasMore()) {
    const CDatabaseSection& section = GetSection(enumerator.Next());
    sections.push_back({section.GetHref(), section.GetBegin(), section.GetEnd()});
  }
  return sections;
}

// The records of a location file on disk, read afresh.
inline std::vector<CLocationRecord> ReadRecords(const std::string& path) {
  std::unique_ptr<CLocationFile> file = LoadLocationFile(path, XmlOpenMode::kOpenExisting);
  std::vector<CLocationRecord> records;
  CXmlNodeEnumerator enumerator = MakeChildElementEnumerator(*file);
  while (enumerator.HasMore()) records.push_back(GetRecord(enumerator.Next()));
  return records;
}

inline std::size_t CountPoints(const CXmlFile& file) {
  return MakeChildElementEnumerator(file).GetCount();
}

// How often each note occurs in the section files of the database on disk.
inline std::map<std::string, int> NotesOnDisk(const std::string& indexPath) {
  std::map<std::string, int> notes;
  const std::unique_ptr<CLocationDatabase> database = OpenLocationDatabase(indexPath, false);
  for (const CSectionInfo& section : ListSections(*database)) {
    for (const CLocationRecord& record : ReadRecords(ResolveRelativePath(indexPath, section.href)))
      ++notes[record.note];
  }
  return notes;
}
