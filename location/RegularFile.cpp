#include "location/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

CRegularFile::CRegularFile(const std::string& path) {
  // O_NONBLOCK only matters for what is refused below: a regular file's reads
  // never wait on it.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    m_openError = errno;
    return;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    m_openError = errno;
    ::close(fd);
    return;
  }
  if (!S_ISREG(info.st_mode)) {
    m_notRegular = true;
    m_openError = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    ::close(fd);
    return;
  }
  m_fd = fd;
  m_size = static_cast<std::size_t>(info.st_size);
}

CRegularFile::~CRegularFile() {
  if (m_fd >= 0) ::close(m_fd);
}

ssize_t CRegularFile::Read(char* data, std::size_t size) {
  if (m_fd < 0) {
    errno = EBADF;
    return -1;
  }
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(m_fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<ssize_t>(done);
}
