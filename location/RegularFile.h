// Files read whole. A FIFO at a file's path would hold a plain open() until
// some other process wrote to it, and a device could hold its reads: a file is
// opened without waiting and read only when it is a regular file.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

// The reason given for a path that names anything but a regular file.
inline constexpr char kNotRegularFileText[] = "Not a regular file";

// A file opened for reading; closed when the object goes.
class CRegularFile {
 public:
  explicit CRegularFile(const std::string& path);
  ~CRegularFile();
  CRegularFile(const CRegularFile&) = delete;
  CRegularFile& operator=(const CRegularFile&) = delete;

  // Open, and a regular file: it may be read.
  bool IsOpen() const { return m_fd >= 0; }
  // Why it is not open: the errno of the open that failed, or for a path that
  // names no regular file EISDIR (a folder) or EINVAL; 0 when it is open.
  int GetOpenError() const { return m_openError; }
  // The path named a FIFO, a device, a folder or a socket, which is not read.
  bool IsNotRegular() const { return m_notRegular; }
  // The size when it was opened.
  std::size_t GetSize() const { return m_size; }

  // Reads up to `size` bytes into `data`, from the start on the first call:
  // the count read, less than `size` when the file ended first, or -1 with
  // errno set.
  ssize_t Read(char* data, std::size_t size);

 private:
  int m_fd = -1;
  int m_openError = 0;
  bool m_notRegular = false;
  std::size_t m_size = 0;
};
