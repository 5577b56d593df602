#include "location/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <exception>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <unordered_map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include <boost/regex.hpp>

#include "location/Exceptions.h"
#include "location/FilePath.h"
#include "location/RegularFile.h"

namespace {

std::function<void(std::size_t)>& WriteHook() {
  static std::function<void(std::size_t)> hook;
  return hook;
}

std::function<void(const std::string&)>& ReplaceHook() {
  static std::function<void(const std::string&)> hook;
  return hook;
}

std::function<void(int)>& CreateHook() {
  static std::function<void(int)> hook;
  return hook;
}

[[noreturn]] void ThrowErrno(int code, const std::string& path) {
  throw CWin32Exception(static_cast<uint32_t>(code), SystemErrorText(code) + ": " + path);
}

// ".NAME.tmpPID-HEX-N": the writing process, a random number of that run and
// a count, so names never collide and a stale one tells whose it was.
std::string TemporaryName(const std::string& folder, const std::string& name) {
  static std::atomic<unsigned> counter{0};
  static const unsigned seed = std::random_device{}();
  char suffix[48];
  std::snprintf(suffix, sizeof suffix, ".tmp%d-%x-%u", static_cast<int>(getpid()), seed,
                counter.fetch_add(1));
  return folder + "/." + name + suffix;
}

struct CTemporaryNameParts {
  std::string_view name;  // the file it was to become
  pid_t writer;
};

// The parts of a name made by TemporaryName, or nothing. The name points into
// entry.
std::optional<CTemporaryNameParts> ParseTemporaryName(const char* entry) {
  static const boost::regex pattern(R"(\.(.+)\.tmp([0-9]{1,9})-[0-9a-f]+-[0-9]+)");
  boost::cmatch match;
  if (!boost::regex_match(entry, match, pattern)) return std::nullopt;
  const auto writer = static_cast<pid_t>(std::stol(match[2].str()));
  if (writer <= 0) return std::nullopt;
  return CTemporaryNameParts{std::string_view(match[1].first, match[1].length()), writer};
}

bool ProcessExists(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

// The temporary file: closed and removed unless the rename took it.
class CTemporaryFile {
 public:
  CTemporaryFile(std::string path, int fd) : m_path(std::move(path)), m_fd(fd) {}
  CTemporaryFile(const CTemporaryFile&) = delete;
  CTemporaryFile& operator=(const CTemporaryFile&) = delete;
  ~CTemporaryFile() {
    if (m_fd >= 0) ::close(m_fd);
    if (!m_committed) ::unlink(m_path.c_str());
  }

  int fd() const { return m_fd; }
  const std::string& path() const { return m_path; }
  // Closes the descriptor; errno is set when this returns false.
  bool Close() {
    const int fd = std::exchange(m_fd, -1);
    return ::close(fd) == 0;
  }
  void Commit() { m_committed = true; }

 private:
  std::string m_path;
  int m_fd;
  bool m_committed = false;
};

// Writes the bytes to the temporary file in chunks, and asks the system to
// start writing each megabyte to the disk at once, so that little is left
// for the fsync at the end (a file of a few megabytes, too).
class CFileWriter {
 public:
  CFileWriter(CTemporaryFile& file, const std::string& path) : m_file(file), m_path(path) {}

  std::size_t Written() const { return m_written; }

  void Write(std::string_view piece) {
    constexpr std::size_t kChunk = 1 << 16;
    while (!piece.empty()) {
      if (WriteHook()) WriteHook()(m_written);
      const std::size_t chunk = std::min(kChunk, piece.size());
      const ssize_t result = ::write(m_file.fd(), piece.data(), chunk);
      if (result < 0) {
        if (errno == EINTR) continue;
        ThrowErrno(errno, m_path);
      }
      piece.remove_prefix(static_cast<std::size_t>(result));
      m_written += static_cast<std::size_t>(result);
    }
    constexpr std::size_t kWriteBack = std::size_t{1} << 20;
    if (m_written - m_started >= kWriteBack) {
      // Only a hint: the fsync reports what goes wrong.
      ::sync_file_range(m_file.fd(), static_cast<off_t>(m_started),
                        static_cast<off_t>(m_written - m_started), SYNC_FILE_RANGE_WRITE);
      m_started = m_written;
    }
  }

  void Truncate(std::size_t size) {
    if (size >= m_written) return;
    if (::ftruncate(m_file.fd(), static_cast<off_t>(size)) != 0 ||
        ::lseek(m_file.fd(), static_cast<off_t>(size), SEEK_SET) < 0) {
      ThrowErrno(errno, m_path);
    }
    m_written = size;
    m_started = std::min(m_started, size);
  }

 private:
  CTemporaryFile& m_file;
  const std::string& m_path;
  std::size_t m_written = 0;
  std::size_t m_started = 0;  // where the range not yet handed to the disk begins
};

// Puts the contents into the temporary file as they come. Contents made a
// piece at a time are gathered into blocks that a thread of its own writes,
// so the system copies one block into the file while the producer makes the
// next; contents of less than one block, or given whole, are written here.
class CTemporaryContents final : public CAtomicFileContents {
 public:
  CTemporaryContents(CTemporaryFile& file, const std::string& path) : m_writer(file, path) {}
  CTemporaryContents(const CTemporaryContents&) = delete;
  CTemporaryContents& operator=(const CTemporaryContents&) = delete;
  ~CTemporaryContents() { Stop(); }

  void Write(std::string_view piece) override {
    if (!m_thread.joinable() && m_block.empty() && piece.size() >= kBlock) {
      m_writer.Write(piece);
      return;
    }
    while (!piece.empty()) {
      if (m_block.capacity() < kBlock) m_block.reserve(kBlock);
      const std::size_t room = kBlock - m_block.size();
      const std::size_t taken = std::min(room, piece.size());
      m_block.insert(m_block.end(), piece.data(), piece.data() + taken);
      piece.remove_prefix(taken);
      if (m_block.size() == kBlock) HandOver();
    }
  }

  void Truncate(std::size_t size) override {
    if (size >= m_handed) {
      m_block.resize(std::min(m_block.size(), size - m_handed));
      return;
    }
    WaitIdle();
    m_writer.Truncate(size);
    m_handed = m_writer.Written();
    m_block.clear();
  }

  // Writes what is left and waits until everything is in the file.
  void Finish() {
    if (!m_thread.joinable()) {
      m_writer.Write({m_block.data(), m_block.size()});
    } else {
      if (!m_block.empty()) HandOver();
      WaitIdle();
    }
    m_block.clear();
    Stop();
  }

 private:
  static constexpr std::size_t kBlock = std::size_t{1} << 18;
  static constexpr std::size_t kBlocksInFlight = 8;

  // Gives the full block to the thread, which is started for the first.
  void HandOver() {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_thread.joinable()) m_thread = std::thread([this] { Run(); });
    m_changed.wait(lock, [this] { return m_failure || m_queue.size() < kBlocksInFlight; });
    if (m_failure) std::rethrow_exception(m_failure);
    m_handed += m_block.size();
    m_queue.push_back(std::move(m_block));
    m_block = std::vector<char>();
    if (!m_spare.empty()) {
      m_block = std::move(m_spare.back());
      m_spare.pop_back();
    }
    m_changed.notify_all();
  }

  // Until every block handed over is written; rethrows what failed.
  void WaitIdle() {
    if (!m_thread.joinable()) return;
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_failure || (m_queue.empty() && !m_busy); });
    if (m_failure) std::rethrow_exception(m_failure);
  }

  void Stop() {
    if (!m_thread.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
  }

  void Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
      m_changed.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
      if (m_stopping) return;
      std::vector<char> block = std::move(m_queue.front());
      m_queue.pop_front();
      m_busy = true;
      lock.unlock();
      std::exception_ptr failure;
      try {
        m_writer.Write({block.data(), block.size()});
      } catch (...) {
        failure = std::current_exception();
      }
      block.clear();
      lock.lock();
      m_busy = false;
      m_spare.push_back(std::move(block));
      if (failure) {
        m_failure = failure;
        m_queue.clear();
      }
      m_changed.notify_all();
      if (m_failure) return;
    }
  }

  CFileWriter m_writer;       // the thread's while blocks are on their way
  std::vector<char> m_block;  // being filled
  std::size_t m_handed = 0;   // bytes handed to the writer before the block
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::deque<std::vector<char>> m_queue;
  std::vector<std::vector<char>> m_spare;
  std::exception_ptr m_failure;
  bool m_busy = false;
  bool m_stopping = false;
  std::thread m_thread;
};

void SyncFolder(const std::string& folder, const std::string& path) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) ThrowErrno(errno, path);
  const int result = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  // Some file systems cannot sync a folder at all; the rename itself has
  // happened by then.
  if (result != 0 && error != EINVAL && error != ENOTSUP) ThrowErrno(error, path);
}

// The bits the temporary is created with: its final ones, so no other user
// can open it in the moment before they are set (an open descriptor outlives
// a later change of mode). A replacing file is created in the group of the
// user and folder, so while that may differ from the replaced file's group it
// is its owner's alone until the group is set.
mode_t CreationMode(const std::string& folder, const struct stat* replaced,
                    std::optional<mode_t> permissions) {
  if (permissions) return *permissions;
  if (!replaced) return 0666;  // less the umask, as for any new file
  const mode_t bits = replaced->st_mode & 07777;
  struct stat folderInfo {};
  const bool sameGroup = replaced->st_gid == ::getegid() &&
                         ::stat(folder.c_str(), &folderInfo) == 0 &&
                         folderInfo.st_gid == replaced->st_gid;
  return sameGroup ? bits : bits & ~mode_t{077};
}

}  // namespace

void SetAtomicCreateHook(std::function<void(int fd)> hook) { CreateHook() = std::move(hook); }

void SetAtomicWriteHook(std::function<void(std::size_t)> hook) { WriteHook() = std::move(hook); }

void SetAtomicReplaceHook(std::function<void(const std::string& path)> hook) {
  ReplaceHook() = std::move(hook);
}

namespace {

// Folders found to hold no file named as temporary files are, with their
// identity and the time their entries last changed. An entry comes only with
// a change of that time, so until it moves such a folder need not be read
// again: loads read the folder of every file they open, and a database
// opens many files in one folder.
struct CCleanFolder {
  dev_t device;
  ino_t inode;
  timespec changed;
  // Read when the folder had changed well before. One read sooner (a search
  // right after a save) holds only until then: a file made in the same tick
  // as the change before it leaves the time as it was, and the first read
  // after that tick finds it.
  bool settled;
};

std::mutex& CleanFoldersMutex() {
  static std::mutex mutex;
  return mutex;
}

std::unordered_map<std::string, CCleanFolder>& CleanFolders() {
  static std::unordered_map<std::string, CCleanFolder> folders;
  return folders;
}

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool LongBefore(const timespec& changed, const timespec& now) {
  const int64_t nanoseconds = (int64_t{now.tv_sec} - changed.tv_sec) * 1000000000 +
                              (int64_t{now.tv_nsec} - changed.tv_nsec);
  const int64_t margin = changed.tv_nsec == 0 ? int64_t{3000000000} : int64_t{100000000};
  return nanoseconds > margin;
}

bool IsCleanFolder(const std::string& folder, const struct stat& info) {
  bool settled = false;
  {
    std::lock_guard<std::mutex> lock(CleanFoldersMutex());
    const auto found = CleanFolders().find(folder);
    if (found == CleanFolders().end() || found->second.device != info.st_dev ||
        found->second.inode != info.st_ino || !SameTime(found->second.changed, info.st_mtim)) {
      return false;
    }
    settled = found->second.settled;
  }
  if (settled) return true;
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return !LongBefore(info.st_mtim, now);
}

// Remembers the folder as clean when it did not change while it was read;
// as settled when it last changed well before: a file system keeps times in
// ticks of its own, so a change in the same tick as an earlier one could
// leave the time where it was. Whole seconds mark coarse times (FAT keeps
// two).
void RememberCleanFolder(const std::string& folder, const struct stat& before,
                         const timespec& readAt) {
  struct stat after {};
  if (::stat(folder.c_str(), &after) != 0 || after.st_dev != before.st_dev ||
      after.st_ino != before.st_ino || !SameTime(after.st_mtim, before.st_mtim)) {
    return;
  }
  std::lock_guard<std::mutex> lock(CleanFoldersMutex());
  auto& folders = CleanFolders();
  if (folders.size() >= 64) folders.clear();
  folders[folder] = {after.st_dev, after.st_ino, after.st_mtim, LongBefore(after.st_mtim, readAt)};
}

}  // namespace

void RemoveStaleTemporaryFiles(const std::string& folder, std::string_view name) {
  struct stat before {};
  const bool known = ::stat(folder.c_str(), &before) == 0;
  if (known && IsCleanFolder(folder, before)) return;
  timespec readAt{};
  ::clock_gettime(CLOCK_REALTIME, &readAt);
  DIR* directory = ::opendir(folder.c_str());
  if (!directory) return;
  const uid_t user = ::geteuid();
  const int folderFd = ::dirfd(directory);
  // Only names that start with the one looked for (or a dot) and hold ".tmp"
  // can be temporary files; the pattern is tried on those alone.
  std::string prefix = ".";
  if (!name.empty()) prefix.append(name).append(".tmp");
  bool clean = true;  // no name that could be a temporary file's, of any file
  while (const dirent* entry = ::readdir(directory)) {
    const char* entryName = entry->d_name;
    if (entryName[0] != '.' || !std::strstr(entryName + 1, ".tmp")) continue;
    clean = false;
    if (std::strncmp(entryName, prefix.c_str(), prefix.size()) != 0) continue;
    const auto parts = ParseTemporaryName(entryName);
    if (!parts || (!name.empty() && parts->name != name) || ProcessExists(parts->writer)) continue;
    struct stat info {};
    if (::fstatat(folderFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISREG(info.st_mode) || info.st_uid != user) continue;
    ::unlinkat(folderFd, entry->d_name, 0);
  }
  ::closedir(directory);
  if (known && clean) RememberCleanFolder(folder, before, readAt);
}

void AtomicWriteFile(const std::string& path, std::string_view contents, AtomicWriteMode mode,
                     std::optional<mode_t> permissions,
                     const std::function<void()>& beforeReplace) {
  AtomicWriteFile(
      path, [contents](CAtomicFileContents& out) { out.Write(contents); }, mode, permissions,
      beforeReplace);
}

void AtomicWriteFile(const std::string& requestedPath,
                     const std::function<void(CAtomicFileContents&)>& produce,
                     AtomicWriteMode mode, std::optional<mode_t> permissions,
                     const std::function<void()>& beforeReplace) {
  std::string path = requestedPath;
  struct stat existing {};
  bool exists = ::lstat(path.c_str(), &existing) == 0;
  if (exists && S_ISLNK(existing.st_mode) && mode == AtomicWriteMode::kReplace) {
    // Replace the file the link points to, not the link.
    if (char* target = ::realpath(path.c_str(), nullptr)) {
      path = target;
      std::free(target);
      exists = ::lstat(path.c_str(), &existing) == 0;
    }
  }
  const std::string folder = FolderOfPath(path);
  const std::string name = path.substr(path.rfind('/') + 1);  // npos + 1 is 0
  if (name.empty()) ThrowErrno(EISDIR, path);
  if (exists && mode == AtomicWriteMode::kCreateNew) ThrowErrno(EEXIST, path);
  // A FIFO, device or folder is no file to replace (a link that leads nowhere
  // is replaced as before).
  if (exists && !S_ISREG(existing.st_mode) && !S_ISLNK(existing.st_mode)) {
    throw CWin32Exception(S_ISDIR(existing.st_mode) ? EISDIR : EINVAL,
                          std::string(kNotRegularFileText) + ": " + path);
  }
  // A file the user made read-only stays as it is, as it would for an
  // in-place write.
  if (exists && S_ISREG(existing.st_mode) && (existing.st_mode & 0222) == 0) {
    ThrowErrno(EACCES, path);
  }
  const bool keepMode = exists && S_ISREG(existing.st_mode);
  RemoveStaleTemporaryFiles(folder);

  const mode_t createMode = CreationMode(folder, keepMode ? &existing : nullptr, permissions);
  int fd = -1;
  std::string temporaryPath;
  for (int attempt = 0; fd < 0; ++attempt) {
    temporaryPath = TemporaryName(folder, name);
    fd = ::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, createMode);
    if (fd < 0 && (errno != EEXIST || attempt >= 100)) ThrowErrno(errno, path);
  }
  CTemporaryFile temporary(temporaryPath, fd);
  if (CreateHook()) CreateHook()(fd);
  if (keepMode) {
    // Best effort: a user's file replaced by root stays the user's.
    if (::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
    }
  }
  // The final bits, straight from those of creation: what the umask or the
  // group took away comes back, and never any other bits on the way.
  if (permissions || keepMode) {
    const mode_t bits = permissions ? *permissions : existing.st_mode & 07777;
    if (::fchmod(fd, bits) != 0) ThrowErrno(errno, path);
  }

  {
    CTemporaryContents contents(temporary, path);
    produce(contents);
    contents.Finish();
  }
  if (::fsync(temporary.fd()) != 0) ThrowErrno(errno, path);
  if (!temporary.Close()) ThrowErrno(errno, path);
  if (beforeReplace) beforeReplace();

  if (mode == AtomicWriteMode::kCreateNew) {
    if (const int error = RenameNoReplace(temporary.path(), path)) ThrowErrno(error, path);
  } else if (::rename(temporary.path().c_str(), path.c_str()) != 0) {
    ThrowErrno(errno, path);
  }
  temporary.Commit();
  if (ReplaceHook()) ReplaceHook()(path);
  SyncFolder(folder, path);
}

int RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // File systems without the flag: a hard link fails on an existing name too.
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  ::unlink(from.c_str());
  return 0;
}
