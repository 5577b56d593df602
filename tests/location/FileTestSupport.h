// Helpers of the file-layer tests: a temporary folder, whole-file reads and
// writes, thrown texts, zone names for parameterised tests, scoped atomic-write
// hooks and a guard for readers that must not wait on a FIFO.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "TimeZoneGuard.h"
#include "location/AtomicFile.h"

class CTempFolder {
 public:
  explicit CTempFolder(const std::filesystem::path& base = std::filesystem::temp_directory_path()) {
    std::string pattern = (base / "qlf-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
  }
  ~CTempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
  }
  CTempFolder(const CTempFolder&) = delete;
  CTempFolder& operator=(const CTempFolder&) = delete;

  std::string operator/(const std::string& name) const { return (m_path / name).string(); }
  const std::filesystem::path& path() const { return m_path; }
  // The names in the folder, sorted.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_path)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::filesystem::path m_path;
};

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// The test-name suffix for a zone: its leading letters ("UTC", "JST", "EST5EDT"
// stops at the first of ",-0").
template <class Info>
std::string TimeZoneTestName(const Info& info) {
  const std::string zone = info.param;
  return zone.substr(0, zone.find_first_of(",-0"));
}

// Installs an atomic-write hook for the lifetime of the object.
class CWriteHookScope {
 public:
  explicit CWriteHookScope(std::function<void(std::size_t)> hook) {
    SetAtomicWriteHook(std::move(hook));
  }
  ~CWriteHookScope() { SetAtomicWriteHook(nullptr); }
  CWriteHookScope(const CWriteHookScope&) = delete;
  CWriteHookScope& operator=(const CWriteHookScope&) = delete;
};

// Installs an atomic-write creation hook for the lifetime of the object.
class CCreateHookScope {
 public:
  explicit CCreateHookScope(std::function<void(int)> hook) { SetAtomicCreateHook(std::move(hook)); }
  ~CCreateHookScope() { SetAtomicCreateHook(nullptr); }
  CCreateHookScope(const CCreateHookScope&) = delete;
  CCreateHookScope& operator=(const CCreateHookScope&) = delete;
};

// Runs `action`, which must not wait on the FIFO at `fifo`. Should it wait
// all the same, writers open and close the FIFO after a while, until it
// returns, so that the test fails instead of hanging. True when the action
// returned with no writer's help.
template <class Action>
bool ReturnsWithoutWaitingOn(const std::string& fifo, Action&& action) {
  std::atomic<bool> done{false};
  std::atomic<bool> released{false};
  std::thread writer([&] {
    using namespace std::chrono_literals;
    for (int wait = 0; wait < 1000 && !done; ++wait) std::this_thread::sleep_for(10ms);
    while (!done) {
      // Succeeds only while a reader has the FIFO open.
      const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd >= 0) {
        released = true;
        ::close(fd);
      }
      std::this_thread::sleep_for(10ms);
    }
  });
  try {
    action();
  } catch (...) {
    done = true;
    writer.join();
    throw;
  }
  done = true;
  writer.join();
  return !released;
}

// The what() of the exception `action` throws; "no exception" when none.
template <class Action>
std::string ThrownText(Action&& action) {
  try {
    action();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "no exception";
}
