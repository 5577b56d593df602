// A private X server for tests that need real key events: Xvfb on a display
// it picks itself, so that parallel runs never meet, and key presses sent to
// it through the XTEST extension (xdotool), as a keyboard would.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// A helper program started for the tests' whole run: it goes with the
// process, also when the test is killed.
struct CReportingChild {
  pid_t pid = -1;
  // The first line it wrote to its descriptor 3, without the line feed.
  std::string line;
};

// Starts program with arguments, its output to /dev/null and descriptor 3 a
// pipe, and waits up to 30 s for the line it writes there once it is ready;
// throws naming `what` when it cannot be started or tells nothing.
CReportingChild StartReportingChild(const std::string& what, const std::string& program,
                                    const std::vector<std::string>& arguments);

class CXvfbServer {
 public:
  // Starts Xvfb and waits until it accepts connections; throws when it
  // cannot be started. The server goes with this object or with the process.
  CXvfbServer();
  ~CXvfbServer();
  CXvfbServer(const CXvfbServer&) = delete;
  CXvfbServer& operator=(const CXvfbServer&) = delete;

  // ":N", for DISPLAY.
  const std::string& GetDisplay() const { return m_display; }

 private:
  pid_t m_pid = -1;
  std::string m_display;
};

// Presses and releases keys on the display named by DISPLAY, one chord after
// another, e.g. "ctrl+minus ctrl+KP_Add"; throws when xdotool fails.
void PressKeys(const std::string& keys);
