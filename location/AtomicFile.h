// Whole-file writes that either replace the file completely or leave it as it
// was: a temporary file in the same folder, fsync, rename, fsync of the folder.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

enum class AtomicWriteMode {
  kReplace,    // an existing file at the path is replaced
  kCreateNew,  // fails with EEXIST when anything exists at the path
};

// Writes `contents` to `path`. On failure throws CWin32Exception (errno, with
// the system's text and the path) and leaves no temporary file; whatever was at
// the path before is untouched. A FIFO, device or folder at the path is never
// opened or replaced (EINVAL, or EISDIR for a folder, with "Not a regular
// file: " + path). A replaced file keeps its permission bits unless
// `permissions` gives the bits the file must have (a private file); a new one
// gets 0666 less the umask. The temporary file is created with those bits, so
// it is never open to more users than the file it becomes.
// `beforeReplace`, when given, runs once the new contents are safely on disk,
// just before they take the path; when it throws, nothing is replaced.
// Temporary files that earlier writes into the folder left behind are removed
// first (RemoveStaleTemporaryFiles).
void AtomicWriteFile(const std::string& path, std::string_view contents, AtomicWriteMode mode,
                     std::optional<mode_t> permissions = std::nullopt,
                     const std::function<void()>& beforeReplace = {});

// Where a producer puts the contents, in order, as it makes them. Truncate
// takes back all but the first `size` bytes put so far.
class CAtomicFileContents {
 public:
  virtual void Write(std::string_view piece) = 0;
  virtual void Truncate(std::size_t size) = 0;

 protected:
  ~CAtomicFileContents() = default;
};

// The same for the contents `produce` puts, which go to the temporary file
// as they come, so they need not be held whole in memory and the disk can
// take them while the rest is made. When `produce` throws, nothing is
// replaced and the exception passes on.
void AtomicWriteFile(const std::string& path,
                     const std::function<void(CAtomicFileContents&)>& produce,
                     AtomicWriteMode mode, std::optional<mode_t> permissions = std::nullopt,
                     const std::function<void()>& beforeReplace = {});

// Removes what writes into `folder` left behind when their process ended
// mid-way: regular files of this user named as this writer names its
// temporary files (".NAME.tmpPID-HEX-N"), whose process no longer exists;
// with `name`, only those of that file name. Nothing else is touched, and a
// failure only leaves a file where it is.
void RemoveStaleTemporaryFiles(const std::string& folder, std::string_view name = {});

// Renames `from` to `to` unless something exists at `to`: 0 on success, else
// the errno (EEXIST when the name is taken). File systems without
// RENAME_NOREPLACE get a hard link and an unlink of `from`.
int RenameNoReplace(const std::string& from, const std::string& to);

// Test seam: called with the temporary file's descriptor as soon as it is
// created. Pass an empty function to remove it.
void SetAtomicCreateHook(std::function<void(int fd)> hook);

// Test seam: called before each chunk is written with the count of bytes
// written so far; it may throw to stand in for a failing device, and what it
// throws reaches the caller of the write even when a large file's chunks are
// written on a thread of the writer's own. Pass an empty function to remove
// it.
void SetAtomicWriteHook(std::function<void(std::size_t written)> hook);

// Test seam: called with the path a file has just replaced, before its folder
// is synced; a test ends the process there to stand in for a crash. Pass an
// empty function to remove it.
void SetAtomicReplaceHook(std::function<void(const std::string& path)> hook);
