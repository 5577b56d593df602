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

// The first line written to fd, once a line feed ends it.
std::string ReadReportedLine(int fd, const std::string& what) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(30);
  std::string line;
  while (line.empty() || line.back() != '\n') {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) throw std::runtime_error(what + " did not report in time");
    pollfd wait{fd, POLLIN, 0};
    const int ready = ::poll(&wait, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;
    char buffer[256];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) throw std::runtime_error(what + " ended before it reported");
    line.append(buffer, static_cast<std::size_t>(got));
  }
  line.pop_back();
  return line;
}

}  // namespace

CReportingChild StartReportingChild(const std::string& what, const std::string& program,
                                    const std::vector<std::string>& arguments) {
  std::vector<const char*> argv{program.c_str()};
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  argv.push_back(nullptr);
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) throw std::runtime_error("no pipe for " + what);
  const pid_t parent = ::getpid();
  CReportingChild child;
  child.pid = ::fork();
  if (child.pid == 0) {
    // Only calls that are safe after a fork from here on.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(127);
    // dup2 clears close-on-exec on the copy the child writes to.
    if (::dup2(pipeEnds[1], 3) < 0) ::_exit(127);
    const int devNull = ::open("/dev/null", O_RDWR);
    if (devNull >= 0) {
      ::dup2(devNull, 1);
      ::dup2(devNull, 2);
    }
    ::execv(program.c_str(), const_cast<char* const*>(argv.data()));
    ::_exit(127);
  }
  ::close(pipeEnds[1]);
  if (child.pid < 0) {
    ::close(pipeEnds[0]);
    throw std::runtime_error(what + " could not be started");
  }
  try {
    child.line = ReadReportedLine(pipeEnds[0], what);
  } catch (...) {
    ::close(pipeEnds[0]);
    ::kill(child.pid, SIGTERM);
    ::waitpid(child.pid, nullptr, 0);
    throw;
  }
  ::close(pipeEnds[0]);
  return child;
}

CXvfbServer::CXvfbServer() {
  const std::string program = QStandardPaths::findExecutable(QStringLiteral("Xvfb")).toStdString();
  if (program.empty()) throw std::runtime_error("Xvfb is not installed");
  // Xvfb writes the display number it took once it listens.
  const CReportingChild server = StartReportingChild(
      "Xvfb", program, {"-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
  m_pid = server.pid;
  m_display = ":" + server.line;
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
