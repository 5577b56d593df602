// The location database: an index file ("index") of sections, each a location
// file that covers one calendar month, and the operations run against it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "location/DatabaseSection.h"
#include "location/FileIdentities.h"
#include "location/RecordCollection.h"
#include "location/XmlFile.h"

// The index. Every section decoded so far stays in the index's proxy cache
// (and with it its loaded file) until the database is destroyed, so
// SaveModifiedSections reaches every file that has changed.
class CLocationDatabase : public CXmlFile {
 public:
  CLocationDatabase(std::string indexPath, XmlOpenMode mode);
  // Drops the sections, then the index; saves of modified files are a last
  // resort here, errors swallowed. LocationDatabaseRelease saves first.
  ~CLocationDatabase() override;
};

// Opens the index at indexPath, which must exist; or, with create, writes a
// new empty index there at once. An index already at that path is kept,
// renamed to indexPath + ".bak" (or ".bak.2", ".bak.3"... when taken).
std::unique_ptr<CLocationDatabase> OpenLocationDatabase(const std::string& indexPath, bool create);

// Saves every modified section file and the index, then destroys the
// database. Throws the first save failure (after destroying the database).
void LocationDatabaseRelease(std::unique_ptr<CLocationDatabase> database);

// Saves every loaded section file that is modified, and the index when it is.
// A file that index entries name by several hard links stays one file: the
// save replaces it under one name, and the other names are made names of the
// new file. Returns once the data is on disk (every save is atomic and
// synced); throws the first failure after trying every file.
void SaveModifiedSections(CLocationDatabase& database);

// Drops every section file's unsaved changes without writing them, so that
// what the database holds is what is on disk; a filing whose save failed
// leaves nothing that a later save would write. The index never holds unsaved
// changes: a section whose index entry cannot be saved is not added.
void DiscardUnsavedChanges(CLocationDatabase& database) noexcept;

// The first section, in index order, whose range holds time. When none does,
// a section is created: its range is the UTC calendar month of time, narrowed
// where it would overlap existing sections; its file is a new empty location
// file (or an existing, valid location file of that name that no section
// refers to); the index is saved at once.
CXmlElementRef FindOrCreateSection(CLocationDatabase& database, int32_t time);

// The section through which the records of each file are filed and
// searched: the first in index order whose file is that file (FileIdentity).
// A hand-made index may name one file in several entries, by one name or by
// links; each entry would load a copy of its own, and the copy saved last
// would drop what was filed through the others.
class CSectionFileOwners {
 public:
  // `sections`: the index's sections in index order, at least up to `section`.
  CDatabaseSection& For(const std::vector<CXmlElementRef>& sections, CDatabaseSection& section);

 private:
  std::size_t m_walked = 0;
  CFileIdentities m_identities;
  std::unordered_map<std::string, CDatabaseSection*> m_ownerByFile;
  std::unordered_map<const CDatabaseSection*, CDatabaseSection*> m_owners;
};

class CDatabaseOperation {
 public:
  virtual ~CDatabaseOperation() = default;
  virtual void Execute(CLocationDatabase& database) = 0;
};

void ExecuteDatabaseOperation(CLocationDatabase& database, CDatabaseOperation& operation);

// Files records into the sections of their times. Two phases: every record's
// section is found or created and its file loaded first, then all records are
// appended, so a failure in the first phase appends nothing. A record
// identical in every stored field to one already in its section is not
// appended again, so filing a batch a second time (after a save that failed
// or was cut short) stores each record once. Only the index is saved here
// (when a section is created); SaveModifiedSections saves the rest.
class CAddRecordsOperation : public CDatabaseOperation {
 public:
  // The collection is not owned and must outlive the operation.
  explicit CAddRecordsOperation(const CRecordCollection& records) noexcept : m_records(&records) {}
  void Execute(CLocationDatabase& database) override;

 private:
  const CRecordCollection* m_records;
};
