#include "location/FileIdentities.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <mutex>

#include "location/DatabaseSection.h"

namespace {

bool LongBefore(const timespec& changed, const timespec& now) {
  const int64_t nanoseconds = (int64_t{now.tv_sec} - changed.tv_sec) * 1000000000 +
                              (int64_t{now.tv_nsec} - changed.tv_nsec);
  // Whole seconds mark coarse times (FAT keeps two).
  const int64_t margin = changed.tv_nsec == 0 ? int64_t{3000000000} : int64_t{100000000};
  return nanoseconds > margin;
}

struct CKnownIdentity {
  std::string identity;
  CFolderStamp folder;
};

std::mutex& KnownMutex() {
  static std::mutex mutex;
  return mutex;
}

std::unordered_map<std::string, CKnownIdentity>& Known() {
  static std::unordered_map<std::string, CKnownIdentity> known;
  return known;
}

constexpr std::size_t kMaxKnown = 4096;  // some databases of many years each

// The folder part of a path, as FolderOfPath gives it.
std::string_view FolderPart(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return std::string_view(path).substr(0, slash);
}

}  // namespace

std::optional<CFolderStamp> SettledFolderStamp(const std::string& folder, const timespec& now) {
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
      !LongBefore(info.st_mtim, now)) {
    return std::nullopt;
  }
  return CFolderStamp{info.st_dev, info.st_ino, info.st_mtim};
}

CFileIdentities::CFileIdentities() { ::clock_gettime(CLOCK_REALTIME, &m_now); }

const std::optional<CFolderStamp>& CFileIdentities::StampOf(std::string_view folder) {
  for (const CFolder& known : m_folders) {
    if (known.path == folder) return known.stamp;
  }
  std::string path(folder);
  std::optional<CFolderStamp> stamp = SettledFolderStamp(path, m_now);
  m_folders.push_back({std::move(path), stamp});
  return m_folders.back().stamp;
}

std::string CFileIdentities::Of(const std::string& path) {
  // The folder's state is taken before the file is looked at: a change in
  // between moves the folder's time, and the next operation looks again.
  const std::optional<CFolderStamp> folder = StampOf(FolderPart(path));
  if (folder) {
    std::lock_guard<std::mutex> lock(KnownMutex());
    const auto known = Known().find(path);
    if (known != Known().end() && known->second.folder == *folder) return known->second.identity;
  }
  std::string identity;
  bool lasting = false;
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0) {
    if (S_ISREG(info.st_mode)) {
      // Not a link, so what stat would give.
      identity = "file " + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
      lasting = true;
    } else {
      identity = FileIdentity(path);
    }
  } else {
    const int error = errno;
    identity = FileIdentity(path);
    lasting = error == ENOENT;
  }
  if (lasting && folder) {
    std::lock_guard<std::mutex> lock(KnownMutex());
    if (Known().size() >= kMaxKnown) Known().clear();
    Known()[path] = {identity, *folder};
  }
  return identity;
}
