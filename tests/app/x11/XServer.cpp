#include "tests/app/x11/XServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <utility>

namespace {

// Xvfb writes the display number it took, then a line feed, once it listens.
std::string ReadDisplayNumber(int fd) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(30);
  std::string number;
  while (number.empty() || number.back() != '\n') {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) throw std::runtime_error("Xvfb did not tell its display in time");
    pollfd wait{fd, POLLIN, 0};
    const int ready = ::poll(&wait, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;
    char buffer[16];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) throw std::runtime_error("Xvfb ended before it told its display");
    number.append(buffer, static_cast<std::size_t>(got));
  }
  number.pop_back();
  return number;
}

}  // namespace

CXvfbServer::CXvfbServer() {
  const std::string program = QStandardPaths::findExecutable(QStringLiteral("Xvfb")).toStdString();
  if (program.empty()) throw std::runtime_error("Xvfb is not installed");
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) throw std::runtime_error("no pipe for Xvfb");
  const pid_t parent = ::getpid();
  m_pid = ::fork();
  if (m_pid == 0) {
    // Only calls that are safe after a fork from here on. The server goes
    // with the test, also when the test is killed.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(127);
    // dup2 clears close-on-exec on the copy the server writes to.
    if (::dup2(pipeEnds[1], 3) < 0) ::_exit(127);
    const int devNull = ::open("/dev/null", O_RDWR);
    if (devNull >= 0) {
      ::dup2(devNull, 1);
      ::dup2(devNull, 2);
    }
    const char* const argv[] = {program.c_str(), "-displayfd", "3",   "-screen", "0",
                                "1280x1024x24",  "-nolisten",  "tcp", nullptr};
    ::execv(program.c_str(), const_cast<char* const*>(argv));
    ::_exit(127);
  }
  ::close(pipeEnds[1]);
  if (m_pid < 0) {
    ::close(pipeEnds[0]);
    throw std::runtime_error("Xvfb could not be started");
  }
  try {
    std::string display(1, ':');
    display += ReadDisplayNumber(pipeEnds[0]);
    m_display = std::move(display);
  } catch (...) {
    ::close(pipeEnds[0]);
    ::kill(m_pid, SIGTERM);
    ::waitpid(m_pid, nullptr, 0);
    throw;
  }
  ::close(pipeEnds[0]);
}

CXvfbServer::~CXvfbServer() {
  ::kill(m_pid, SIGTERM);
  while (::waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

void PressKeys(const std::string& keys) {
  QProcess xdotool;
  QStringList arguments = QString::fromStdString(keys).split(QLatin1Char(' '), Qt::SkipEmptyParts);
  arguments.prepend(QStringLiteral("key"));
  xdotool.start(QStringLiteral("xdotool"), arguments);
  if (!xdotool.waitForFinished(30000) || xdotool.exitStatus() != QProcess::NormalExit ||
      xdotool.exitCode() != 0)
    throw std::runtime_error("xdotool key " + keys +
                             " failed: " + xdotool.readAllStandardError().toStdString() +
                             xdotool.errorString().toStdString());
}
