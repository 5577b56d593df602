// What tells whether two paths reach one file, remembered between the
// operations of a run: a database search asks it of every index entry up to
// the ones it reads, and a stat per entry and search costs more than reading
// a small section.
#pragma once

#include <sys/types.h>
#include <time.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A folder's identity and the time its entries last changed. An entry is
// added, removed or replaced only with a change of that time.
struct CFolderStamp {
  dev_t device;
  ino_t inode;
  timespec changed;

  bool operator==(const CFolderStamp& other) const noexcept {
    return device == other.device && inode == other.inode &&
           changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
  }
};

// The folder's stamp when it last changed well before `now` (CLOCK_REALTIME):
// a file system keeps times in ticks of its own, so a change in the same tick
// as an earlier one could leave the time as it was. None when the folder
// cannot be examined or changed too recently.
std::optional<CFolderStamp> SettledFolderStamp(const std::string& folder, const timespec& now);

// FileIdentity of paths, for one operation: the state of each folder is
// taken once, at its first path, and a path whose folder has not changed
// since its identity was last found keeps that identity without a look at
// the file. Only a regular file reached by a name of its own, or nothing at
// all, is remembered: what a symbolic link reaches can change without its
// folder changing.
class CFileIdentities {
 public:
  CFileIdentities();
  std::string Of(const std::string& path);

 private:
  struct CFolder {
    std::string path;
    std::optional<CFolderStamp> stamp;
  };
  const std::optional<CFolderStamp>& StampOf(std::string_view folder);

  timespec m_now{};
  std::vector<CFolder> m_folders;  // an index's sections lie in one or a few
};
