#include "location/SettingsStoreAccess.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string_view>
#include <utility>

#include "location/AtomicFile.h"
#include "location/Exceptions.h"
#include "location/FilePath.h"
#include "location/RegularFile.h"
#include "location/SettingsStoreFile.h"

namespace {

class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : m_fd(fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() {
    if (m_fd >= 0) ::close(m_fd);
  }
  int Get() const { return m_fd; }

 private:
  int m_fd;
};

// The whole file, or nothing when it does not exist; other failures throw.
// Anything but a regular file is refused unread, so it cannot hold the caller.
std::optional<std::string> ReadWholeFile(const std::string& path) {
  CRegularFile file(path);
  if (file.IsNotRegular()) {
    throw CWin32Exception(static_cast<uint32_t>(file.GetOpenError()),
                          std::string(kNotRegularFileText) + ": " + path);
  }
  if (const int error = file.GetOpenError()) {
    if (error == ENOENT || error == ENOTDIR) return std::nullopt;
    throw CWin32Exception(static_cast<uint32_t>(error));
  }
  std::string text(file.GetSize(), '\0');
  const ssize_t got = file.Read(text.data(), text.size());
  if (got < 0) throw CWin32Exception();
  text.resize(static_cast<std::size_t>(got));
  return text;
}

bool IsFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void CreateFolders(const std::string& folder) {
  if (IsFolder(folder)) return;
  const std::string parent = FolderOfPath(folder);
  if (parent != folder && parent != ".") CreateFolders(parent);
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) throw CWin32Exception();
  if (!IsFolder(folder)) throw CWin32Exception(ENOTDIR);
}

// Moves a file that is not a store file out of the way under a name that no
// other file has, and returns that name.
std::string MoveAside(const std::string& path) {
  for (int n = 1;; ++n) {
    std::string aside = path + ".corrupt";
    if (n > 1) {
      aside += '-';
      aside += std::to_string(n);
    }
    const int error = RenameNoReplace(path, aside);
    if (error == 0) return aside;
    if (error != EEXIST) throw CWin32Exception(static_cast<uint32_t>(error));
  }
}

}  // namespace

SettingsKeyNode LoadSettingsStore(const std::string& path) {
  std::optional<std::string> text;
  try {
    text = ReadWholeFile(path);
  } catch (const CWin32Exception&) {
    return SettingsKeyNode();
  }
  if (!text) return SettingsKeyNode();
  std::optional<SettingsKeyNode> store = ParseSettingsStore(*text);
  return store ? std::move(*store) : SettingsKeyNode();
}

void UpdateSettingsStore(const std::string& path, const std::function<bool(SettingsKeyNode&)>& change) {
  CreateFolders(FolderOfPath(path));
  const std::string lockPath = path + ".lock";
  // Without waiting: whatever stands at the lock's path cannot hold the open.
  UniqueFd lock(
      ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600));
  if (lock.Get() < 0) throw CWin32Exception();
  while (::flock(lock.Get(), LOCK_EX) != 0) {
    if (errno != EINTR) throw CWin32Exception();
  }

  SettingsKeyNode store;
  bool unreadable = false;
  if (std::optional<std::string> text = ReadWholeFile(path)) {
    if (std::optional<SettingsKeyNode> parsed = ParseSettingsStore(*text)) {
      store = std::move(*parsed);
    } else {
      unreadable = true;
    }
  }
  if (!change(store)) return;
  // A file that is not a store file is kept aside, never overwritten; it
  // moves only once the new store is safely written, so a failed write leaves
  // it where it was.
  std::string aside;
  std::function<void()> moveAside;
  if (unreadable) moveAside = [&] { aside = MoveAside(path); };
  try {
    AtomicWriteFile(path, FormatSettingsStore(store), AtomicWriteMode::kReplace, 0600, moveAside);
  } catch (...) {
    if (!aside.empty()) RenameNoReplace(aside, path);  // only when nothing took its place
    throw;
  }
}
