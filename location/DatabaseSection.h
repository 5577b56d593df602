// One section of the location database: a location file that holds the
// records of a time range [begin, end), normally one calendar month.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "location/LocationFile.h"
#include "location/PointValueSet.h"
#include "location/XmlFile.h"

class CDatabaseSection {
 public:
  // indexPath: the index file that refers to the section, against whose
  // folder href is resolved. Throws std::invalid_argument "Invalid Time Range"
  // when begin > end (begin = end is an empty range).
  CDatabaseSection(std::string indexPath, std::string href, int32_t begin, int32_t end);
  CDatabaseSection(const CDatabaseSection&) = delete;
  CDatabaseSection& operator=(const CDatabaseSection&) = delete;
  // A loaded, modified file is saved as a last resort, errors swallowed;
  // SaveModifiedSections is where saving is checked.
  ~CDatabaseSection();

  const std::string& GetHref() const noexcept { return m_href; }
  // For an entry made to name its file as another entry does; the loaded
  // file, if any, stays the one it is.
  void SetHref(std::string href);
  // The same, back to an href and the path GetPath gave for it.
  void RestoreHref(std::string href, std::string path) noexcept {
    m_href = std::move(href);
    m_path = std::move(path);
  }
  int32_t GetBegin() const noexcept { return m_begin; }
  int32_t GetEnd() const noexcept { return m_end; }
  bool Contains(int32_t time) const noexcept { return m_begin <= time && time < m_end; }
  // Whether [begin, end) and the section's range share a second.
  bool Overlaps(int32_t begin, int32_t end) const noexcept {
    return begin < m_end && m_begin < end;
  }
  // The href resolved against the index file's folder.
  const std::string& GetPath() const noexcept { return m_path; }
  // FileIdentity of the path.
  std::string GetFileIdentity() const;

  // The section's file, loaded on first use (it must exist). Records go in
  // through FileRecord only.
  CLocationFile& GetLocationFile();
  bool IsLoaded() const noexcept { return m_file != nullptr; }
  bool IsModified() const noexcept { return m_file && m_file->IsModified(); }
  // Appends the record as a "point" unless one identical in every stored
  // field is there already (PointValueKey), so filing the same record again
  // changes nothing; true when it was appended.
  bool FileRecord(const CLocationRecord& record);
  // Drops the loaded file unless it has unsaved changes; it is loaded again
  // when next needed.
  void UnloadIfUnmodified() noexcept {
    if (m_file && !m_file->IsModified()) Unload();
  }
  // Drops a loaded file with unsaved changes without writing them, so the
  // file on disk is what the section holds again.
  void DiscardUnsavedChanges() noexcept;
  // Saves the loaded file when it is modified; throws when that fails.
  void SaveIfModified();

 private:
  void Unload() noexcept;

  std::string m_indexPath;
  std::string m_href;
  std::string m_path;  // m_href resolved
  int32_t m_begin;
  int32_t m_end;
  std::unique_ptr<CLocationFile> m_file;
  std::unique_ptr<CPointValueSet> m_points;  // of m_file, made on the first filing
};

// What tells whether two paths reach one file: the device and inode of the
// file the path reaches, so that a symbolic or a hard link is the file it
// names; the path made normal when nothing is there.
std::string FileIdentity(const std::string& path);

// The codec of the index's "section" elements.
class CSectionXmlHandler : public CXmlElementHandlerOf<CDatabaseSection> {
 public:
  // Reads "include/@href", "begin/text()" and "end/text()"; loads no file.
  std::shared_ptr<CDatabaseSection> Read(const CXmlDocument& document,
                                         pugi::xml_node element) const override;
  pugi::xml_node Write(pugi::xml_node parent, const CDatabaseSection& section) const override;
};

const CSectionXmlHandler& GetSectionXmlHandler();

// The section of a "section" proxy, decoded on first use.
inline CDatabaseSection& GetSection(const CXmlElementRef& proxy) {
  return proxy->Get<CDatabaseSection>();
}
