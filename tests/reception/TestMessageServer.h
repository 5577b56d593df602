// Runs message_server.py on 127.0.0.1 for one test program and drives it:
// messages, faults, and the log of every protocol request it received.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One QLDATA entry: the value's length, the letter, the value.
inline std::string QldataEntry(char letter, const std::string& value) {
  return std::to_string(value.size()) + letter + value;
}

// A message of a WGS-84 record at time (UTC offset 0) with a note.
inline std::string QldataMessage(int32_t time, const std::string& note, double latitude = 35.5,
                                 double longitude = 139.5) {
  return QldataEntry('T', std::to_string(time) + "+0") + QldataEntry('D', "wgs84") +
         QldataEntry('U', "degree") + QldataEntry('B', std::to_string(latitude)) +
         QldataEntry('L', std::to_string(longitude)) + QldataEntry('N', note);
}

class CTestMessageServer {
 public:
  struct CLogEntry {
    std::string target;  // path and query as requested
    std::string userAgent;
    std::string pragma;
    std::string cacheControl;
  };

  // Starts the server and waits for its port; throws std::runtime_error when
  // it does not come up.
  CTestMessageServer();
  ~CTestMessageServer();
  CTestMessageServer(const CTestMessageServer&) = delete;
  CTestMessageServer& operator=(const CTestMessageServer&) = delete;

  uint16_t Port() const { return m_port; }
  // "http://127.0.0.1:<port>" + path: the server address for the client.
  std::string Url(std::string_view path = "/ql") const;

  // Forgets messages, log, keys, challenges and faults; the account is again
  // "user" with the password "password".
  void Reset();
  void SetUser(std::string_view name, std::string_view password);
  void AddMessage(std::string_view message);
  std::vector<std::string> Messages();
  std::vector<CLogEntry> LogEntries();
  // The targets of the log, e.g. "/ql?c=STAT&k=K1".
  std::vector<std::string> Log();
  void ClearLog();
  // Every session key given out so far expires.
  void ExpireKeys();
  // See message_server.py: for requests whose command keyword is `command`
  // ("*" for any), let `skip` pass, then misbehave `times` times.
  void Fault(std::string_view command, std::string_view action, std::string_view arg = {},
             int times = 1, int skip = 0);

 private:
  void Stop() noexcept;
  // GET /control?op=...; the lines of the answer after its "OK" line.
  std::vector<std::string> Control(const std::string& query);

  pid_t m_pid = -1;
  int m_stdin = -1;
  uint16_t m_port = 0;
};
