#include "location/LocationDatabase.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <limits>
#include <set>
#include <stdexcept>
#include <utility>
#include <vector>

#include "location/AtomicFile.h"
#include "location/Exceptions.h"
#include "location/FileIdentities.h"
#include "location/FilePath.h"
#include "location/TimeText.h"

namespace {

bool PathExists(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0) return true;
  if (errno == ENOENT) return false;
  throw CWin32Exception();
}

// Renames from to to unless something is at to already; false then.
bool RenameWithoutReplacing(const std::string& from, const std::string& to) {
  const int error = RenameNoReplace(from, to);
  if (error == EEXIST) return false;
  if (error != 0) throw CWin32Exception(static_cast<uint32_t>(error));
  return true;
}

// Moves whatever is at path aside to the first free backup name; returns
// that name, or nothing when the path was free.
std::string MoveAsideToBackup(const std::string& path) {
  if (!PathExists(path)) return {};
  for (int serial = 1;; ++serial) {
    std::string backup = path + ".bak";
    if (serial > 1) {
      backup += '.';
      backup += std::to_string(serial);
    }
    if (RenameWithoutReplacing(path, backup)) return backup;
    if (serial == 10000) throw CWin32Exception(EEXIST);
  }
}

// The index's sections in document order, decoded one by one as a search for
// a time walks past them.
class CSectionList {
 public:
  explicit CSectionList(const CLocationDatabase& database)
      : m_enumerator(MakeChildElementEnumerator(database)) {}

  // The first section that holds time; null when none does, and then every
  // section has been decoded.
  CXmlElementRef Find(int32_t time) {
    for (const CXmlElementRef& section : m_sections) {
      if (GetSection(section).Contains(time)) return section;
    }
    while (m_enumerator.HasMore()) {
      m_sections.push_back(m_enumerator.Next());
      if (GetSection(m_sections.back()).Contains(time)) return m_sections.back();
    }
    return nullptr;
  }
  // A section appended to the index after every other was walked.
  void Add(CXmlElementRef section) { m_sections.push_back(std::move(section)); }
  const std::vector<CXmlElementRef>& GetAll() const noexcept { return m_sections; }

 private:
  CXmlNodeEnumerator m_enumerator;
  std::vector<CXmlElementRef> m_sections;
};

struct CMonth {
  int year;
  int month;  // 1-12
  int64_t begin;
  int64_t end;
};

// The UTC calendar month of time: the one month whose UTC bounds hold it.
CMonth UtcMonthOf(int32_t time) {
  const std::time_t t = time;
  std::tm calendar{};
  if (!::gmtime_r(&t, &calendar)) throw std::runtime_error("gmtime");
  std::tm first{};
  first.tm_year = calendar.tm_year;
  first.tm_mon = calendar.tm_mon;
  first.tm_mday = 1;
  std::tm next = first;
  next.tm_mon += 1;  // timegm carries December into January
  return {calendar.tm_year + 1900, calendar.tm_mon + 1, static_cast<int64_t>(::timegm(&first)),
          static_cast<int64_t>(::timegm(&next))};
}

std::string SectionFileName(const CMonth& month, int serial) {
  char name[48];
  if (serial == 1) {
    std::snprintf(name, sizeof name, "%04d%02d.xml", month.year, month.month);
  } else {
    std::snprintf(name, sizeof name, "%04d%02d-%d.xml", month.year, month.month, serial);
  }
  return name;
}

// The bound as the index writes it must read back as the same second.
void CheckIndexTime(int32_t time) {
  if (ParseIso8601Time(FormatIso8601Time(time)) != time) {
    throw std::runtime_error("Invalid Date: " + FormatIso8601Time(time));
  }
}

// Makes the file of a new section: a new empty location file, or an existing
// valid one that no section refers to. Returns its href.
std::string MakeSectionFile(const CLocationDatabase& database, const CMonth& month,
                            const std::vector<CXmlElementRef>& sections) {
  // Also a file that an entry names through a link is taken.
  std::set<std::string> taken;
  for (const CXmlElementRef& section : sections)
    taken.insert(GetSection(section).GetFileIdentity());

  for (int serial = 1; serial <= 1000; ++serial) {
    std::string href = SectionFileName(month, serial);
    const std::string path = ResolveRelativePath(database.GetPath(), href);
    if (taken.count(FileIdentity(path))) continue;
    try {
      LoadLocationFile(path, XmlOpenMode::kCreateExclusive);
      return href;
    } catch (const CWin32Exception& e) {
      if (e.GetCode() != EEXIST) throw;
    }
    // Left behind, for example, when the program stopped before it saved the
    // index that named it.
    try {
      LoadLocationFile(path, XmlOpenMode::kOpenExisting);
      return href;
    } catch (const std::runtime_error&) {
      // Not a location file: keep it and take another name.
    }
  }
  throw CWin32Exception(EEXIST);
}

// The path with every link followed; empty when it reaches nothing.
std::string RealPath(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return {};
  std::string result = resolved;
  std::free(resolved);
  return result;
}

// Makes the index entries that reach the file of `section` by another name
// (a hard link) name it by the section's own href, and saves the index when
// that changed it. A save replaces the file under one name only; done first,
// this leaves every entry reaching one file at any point where the save could
// stop, so no record is hidden behind an old copy or listed twice. Entries
// reaching it by a symbolic link stay as they are: the save follows the link.
void NameOneFileByOneHref(CLocationDatabase& database, CDatabaseSection& section) {
  struct stat info {};
  if (::stat(section.GetPath().c_str(), &info) != 0 || info.st_nlink < 2) return;
  const std::string identity = section.GetFileIdentity();
  const std::string own = RealPath(section.GetPath());
  struct CRenamed {
    CDatabaseSection* entry;
    pugi::xml_attribute href;
    std::string before;
    std::string beforePath;
  };
  std::vector<CRenamed> renamed;
  CXmlNodeEnumerator entries = MakeChildElementEnumerator(database);
  while (entries.HasMore()) {
    const CXmlElementRef proxy = entries.Next();
    CDatabaseSection* entry = nullptr;
    try {
      entry = &GetSection(proxy);
    } catch (const std::runtime_error&) {
      continue;  // an entry that does not decode names no file
    } catch (const std::invalid_argument&) {
      continue;
    }
    if (entry == &section || entry->GetFileIdentity() != identity) continue;
    if (RealPath(entry->GetPath()) == own) continue;
    pugi::xml_attribute href = proxy->GetElement().child("include").attribute("href");
    renamed.push_back({entry, href, entry->GetHref(), entry->GetPath()});
    href.set_value(section.GetHref().c_str());
    entry->SetHref(section.GetHref());
  }
  if (renamed.empty()) return;
  database.SetModified();
  try {
    database.SaveIfModified();
  } catch (...) {
    // The index in memory stays what is on disk, and the file is not saved.
    for (CRenamed& r : renamed) {
      r.href.set_value(r.before.c_str());
      r.entry->RestoreHref(std::move(r.before), std::move(r.beforePath));
    }
    database.DiscardChanges();
    throw;
  }
}

CXmlElementRef LastSection(const CLocationDatabase& database) {
  CXmlNodeEnumerator enumerator = MakeChildElementEnumerator(database);
  CXmlElementRef last;
  while (enumerator.HasMore()) last = enumerator.Next();
  return last;
}

// Creates the section for time, which no section in the list holds (so every
// section of the index has been decoded).
CXmlElementRef CreateSection(CLocationDatabase& database, int32_t time,
                             const std::vector<CXmlElementRef>& sections) {
  const CMonth month = UtcMonthOf(time);
  int64_t begin = std::max<int64_t>(month.begin, std::numeric_limits<int32_t>::min());
  int64_t end = std::min<int64_t>(month.end, std::numeric_limits<int32_t>::max());
  // Hand-made indexes may hold other ranges; a new section never overlaps them.
  for (const CXmlElementRef& proxy : sections) {
    const CDatabaseSection& section = GetSection(proxy);
    if (section.GetBegin() == section.GetEnd()) continue;
    if (section.GetEnd() <= time) begin = std::max<int64_t>(begin, section.GetEnd());
    if (section.GetBegin() > time) end = std::min<int64_t>(end, section.GetBegin());
  }
  // Only the very last second of the 32-bit range has no month end to hold it.
  if (!(begin <= time && time < end)) throw std::invalid_argument("Invalid Time Range");
  CheckIndexTime(static_cast<int32_t>(begin));
  CheckIndexTime(static_cast<int32_t>(end));

  std::string href = MakeSectionFile(database, month, sections);
  const CDatabaseSection section(database.GetPath(), std::move(href), static_cast<int32_t>(begin),
                                 static_cast<int32_t>(end));
  // Appending at the end leaves every cached section proxy valid.
  const pugi::xml_node element = AppendToDocumentElement(database, section);
  try {
    database.SaveIfModified();
  } catch (...) {
    // The index in memory stays what is on disk; the new file is adopted by
    // the next attempt.
    database.GetDocumentElement().remove_child(element);
    database.DiscardChanges();
    throw;
  }
  return LastSection(database);
}

}  // namespace

CLocationDatabase::CLocationDatabase(std::string indexPath, XmlOpenMode mode)
    : CXmlFile("index", "section", GetSectionXmlHandler(), std::move(indexPath), mode) {}

CLocationDatabase::~CLocationDatabase() { ClearProxyCache(); }

std::unique_ptr<CLocationDatabase> OpenLocationDatabase(const std::string& indexPath, bool create) {
  if (!create) return std::make_unique<CLocationDatabase>(indexPath, XmlOpenMode::kOpenExisting);
  const std::string backup = MoveAsideToBackup(indexPath);
  try {
    return std::make_unique<CLocationDatabase>(indexPath, XmlOpenMode::kCreateExclusive);
  } catch (...) {
    // Without a new index the old one goes back where it was.
    if (!backup.empty()) {
      try {
        RenameWithoutReplacing(backup, indexPath);
      } catch (...) {
      }
    }
    throw;
  }
}

CDatabaseSection& CSectionFileOwners::For(const std::vector<CXmlElementRef>& sections,
                                          CDatabaseSection& section) {
  while (m_walked < sections.size() && !m_owners.count(&section)) {
    CDatabaseSection& next = GetSection(sections[m_walked++]);
    CDatabaseSection*& owner = m_ownerByFile[m_identities.Of(next.GetPath())];
    if (!owner) owner = &next;
    m_owners[&next] = owner;
  }
  return *m_owners.at(&section);
}

void SaveModifiedSections(CLocationDatabase& database) {
  std::exception_ptr failure;
  const std::vector<CXmlElementRef> proxies = database.GetProxyCache()->proxies;
  for (const CXmlElementRef& proxy : proxies) {
    if (!proxy || !proxy->IsDecoded()) continue;
    try {
      CDatabaseSection& section = GetSection(proxy);
      if (!section.IsModified()) continue;
      NameOneFileByOneHref(database, section);
      section.SaveIfModified();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  try {
    database.SaveIfModified();
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  if (failure) std::rethrow_exception(failure);
}

void LocationDatabaseRelease(std::unique_ptr<CLocationDatabase> database) {
  if (!database) return;
  std::exception_ptr failure;
  try {
    SaveModifiedSections(*database);
  } catch (...) {
    failure = std::current_exception();
  }
  database.reset();
  if (failure) std::rethrow_exception(failure);
}

CXmlElementRef FindOrCreateSection(CLocationDatabase& database, int32_t time) {
  CSectionList sections(database);
  if (CXmlElementRef found = sections.Find(time)) return found;
  return CreateSection(database, time, sections.GetAll());
}

void ExecuteDatabaseOperation(CLocationDatabase& database, CDatabaseOperation& operation) {
  operation.Execute(database);
}

void CAddRecordsOperation::Execute(CLocationDatabase& database) {
  // Phase one: the section of every record, created and loaded as needed.
  CSectionList sections(database);
  CSectionFileOwners owners;
  std::vector<CDatabaseSection*> targets;
  targets.reserve(m_records->Count());
  CLocationRecord record;
  for (auto records = m_records->MakeIterator(); records->HasNext();) {
    records->Next(record);
    CXmlElementRef proxy = sections.Find(record.time.seconds);
    if (!proxy) {
      proxy = CreateSection(database, record.time.seconds, sections.GetAll());
      sections.Add(proxy);
    }
    CDatabaseSection& section = owners.For(sections.GetAll(), GetSection(proxy));
    section.GetLocationFile();
    targets.push_back(&section);  // kept alive by the list (and the index's cache)
  }

  // Phase two: file them all, each once.
  std::size_t index = 0;
  for (auto records = m_records->MakeIterator(); records->HasNext() && index < targets.size();) {
    records->Next(record);
    targets[index++]->FileRecord(record);
  }
}

void DiscardUnsavedChanges(CLocationDatabase& database) noexcept {
  for (const CXmlElementRef& proxy : database.GetProxyCache()->proxies) {
    if (proxy && proxy->IsDecoded()) GetSection(proxy).DiscardUnsavedChanges();
  }
}
