#include "tests/reception/TestMessageServer.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

extern char** environ;

namespace {

std::string Encode(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    out += '%';
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
  }
  return out;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) {
      lines.push_back(text.substr(pos));
      break;
    }
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return lines;
}

size_t Append(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

// A proxy from the environment must not see loopback traffic.
void BypassProxyForLoopback() {
  for (const char* name : {"no_proxy", "NO_PROXY"}) {
    const char* current = std::getenv(name);
    std::string value = current ? current : "";
    if (value.find("127.0.0.1") != std::string::npos) continue;
    if (!value.empty()) value += ",";
    setenv(name, (value + "127.0.0.1").c_str(), 1);
  }
}

}  // namespace

CTestMessageServer::CTestMessageServer() {
  BypassProxyForLoopback();
  // Close-on-exec: no other child may hold the server's input open, or the
  // server would outlive a test program that dies.
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    throw std::runtime_error("pipe failed");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  std::string script = QLF_MESSAGE_SERVER_SCRIPT;
  char python[] = "python3";
  char flag[] = "--exit-on-stdin-eof";
  char* argv[] = {python, script.data(), flag, nullptr};
  const int spawned = posix_spawnp(&m_pid, "python3", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  m_stdin = in[1];
  if (spawned != 0) {
    close(out[0]);
    close(m_stdin);
    throw std::runtime_error("cannot start python3");
  }
  // The first line is "PORT <n>".
  std::string line;
  pollfd wait{out[0], POLLIN, 0};
  while (line.find('\n') == std::string::npos && poll(&wait, 1, 20000) > 0) {
    char buffer[64];
    const ssize_t got = read(out[0], buffer, sizeof buffer);
    if (got <= 0) break;
    line.append(buffer, static_cast<size_t>(got));
  }
  close(out[0]);
  if (line.rfind("PORT ", 0) != 0) {
    Stop();
    throw std::runtime_error("message server did not start: " + line);
  }
  m_port = static_cast<uint16_t>(std::atoi(line.c_str() + 5));
}

CTestMessageServer::~CTestMessageServer() { Stop(); }

void CTestMessageServer::Stop() noexcept {
  if (m_stdin >= 0) close(m_stdin);  // the server exits on end of input
  m_stdin = -1;
  if (m_pid > 0) {
    kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
  }
  m_pid = -1;
}

std::string CTestMessageServer::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(m_port) + std::string(path);
}

std::vector<std::string> CTestMessageServer::Control(const std::string& query) {
  CURL* curl = curl_easy_init();
  if (!curl) throw std::runtime_error("curl_easy_init failed");
  std::string body;
  const std::string url = Url("/control?") + query;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Append);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, static_cast<void*>(&body));
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  const CURLcode result = curl_easy_perform(curl);
  curl_easy_cleanup(curl);
  if (result != CURLE_OK || body.rfind("OK\n", 0) != 0) {
    throw std::runtime_error("control request failed: " + query);
  }
  return SplitLines(body.substr(3));
}

void CTestMessageServer::Reset() { Control("op=reset"); }

void CTestMessageServer::SetUser(std::string_view name, std::string_view password) {
  Control("op=user&name=" + Encode(name) + "&password=" + Encode(password));
}

void CTestMessageServer::AddMessage(std::string_view message) {
  Control("op=add&message=" + Encode(message));
}

std::vector<std::string> CTestMessageServer::Messages() { return Control("op=messages"); }

std::vector<CTestMessageServer::CLogEntry> CTestMessageServer::LogEntries() {
  std::vector<CLogEntry> entries;
  for (const std::string& line : Control("op=log")) {
    std::vector<std::string> fields;
    std::size_t pos = 0;
    for (std::size_t tab; (tab = line.find('\t', pos)) != std::string::npos; pos = tab + 1) {
      fields.push_back(line.substr(pos, tab - pos));
    }
    fields.push_back(line.substr(pos));
    fields.resize(4);
    entries.push_back({fields[0], fields[1], fields[2], fields[3]});
  }
  return entries;
}

std::vector<std::string> CTestMessageServer::Log() {
  std::vector<std::string> targets;
  for (const CLogEntry& entry : LogEntries()) targets.push_back(entry.target);
  return targets;
}

void CTestMessageServer::ClearLog() { Control("op=clearlog"); }

void CTestMessageServer::ExpireKeys() { Control("op=expire"); }

void CTestMessageServer::Fault(std::string_view command, std::string_view action,
                               std::string_view arg, int times, int skip) {
  Control("op=fault&cmd=" + Encode(command) + "&action=" + Encode(action) + "&arg=" +
          Encode(arg) + "&times=" + std::to_string(times) + "&skip=" + std::to_string(skip));
}
