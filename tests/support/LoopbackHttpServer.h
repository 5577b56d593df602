// A tiny HTTP server on 127.0.0.1 for tests: it answers every GET with one
// fixed status and body, and counts the requests.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

class CLoopbackHttpServer {
 public:
  CLoopbackHttpServer(int status, std::string body) : m_status(status), m_body(std::move(body)) {
    m_socket = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_socket < 0 || bind(m_socket, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(m_socket, 8) != 0 ||
        getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      if (m_socket >= 0) close(m_socket);
      throw std::runtime_error("loopback server cannot listen");
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Serve(); });
  }
  ~CLoopbackHttpServer() {
    m_stop = true;
    m_thread.join();
    close(m_socket);
  }
  CLoopbackHttpServer(const CLoopbackHttpServer&) = delete;
  CLoopbackHttpServer& operator=(const CLoopbackHttpServer&) = delete;

  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
  }
  int Requests() const { return m_requests; }

 private:
  void Serve() {
    while (!m_stop) {
      pollfd ready{m_socket, POLLIN, 0};
      if (poll(&ready, 1, 50) <= 0) continue;
      const int client = accept(m_socket, nullptr, nullptr);
      if (client < 0) continue;
      std::string request;
      char buffer[4096];
      while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t got = recv(client, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        request.append(buffer, static_cast<std::size_t>(got));
      }
      ++m_requests;
      const std::string answer = "HTTP/1.1 " + std::to_string(m_status) +
                                 " Answer\r\nContent-Length: " + std::to_string(m_body.size()) +
                                 "\r\nConnection: close\r\n\r\n" + m_body;
      for (std::size_t sent = 0; sent < answer.size();) {
        const ssize_t put = send(client, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
        if (put <= 0) break;
        sent += static_cast<std::size_t>(put);
      }
      close(client);
    }
  }

  int m_status;
  std::string m_body;
  int m_socket = -1;
  uint16_t m_port = 0;
  std::atomic<bool> m_stop{false};
  std::atomic<int> m_requests{0};
  std::thread m_thread;
};
