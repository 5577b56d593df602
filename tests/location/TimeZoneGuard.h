// Sets TZ for the life of the guard, then restores the previous setting.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

class TimeZoneGuard {
 public:
  explicit TimeZoneGuard(const char* zone) : m_had(std::getenv("TZ") != nullptr) {
    if (m_had) m_previous = std::getenv("TZ");
    setenv("TZ", zone, 1);
    tzset();
  }
  ~TimeZoneGuard() {
    m_had ? setenv("TZ", m_previous.c_str(), 1) : unsetenv("TZ");
    tzset();
  }

 private:
  bool m_had;
  std::string m_previous;
};

// No offset; east of UTC without daylight saving; west of UTC with it.
inline constexpr const char* kTestZones[] = {"UTC0", "JST-9", "EST5EDT,M3.2.0,M11.1.0"};
