// The client of the message server that holds the user's waiting location
// messages: challenge login, count, retrieve, delete and quit, one HTTP GET
// per command.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "reception/HttpGetter.h"

class CMessageClient {
 public:
  // Requests go to serverAddress + "?" + query, through libcurl.
  explicit CMessageClient(std::string serverAddress);
  // The same through the given getter (tests).
  CMessageClient(std::string serverAddress, std::unique_ptr<CHttpGetter> getter);
  // Says "QUIT" when logged in; never throws.
  ~CMessageClient();
  CMessageClient(const CMessageClient&) = delete;
  CMessageClient& operator=(const CMessageClient&) = delete;

  // Challenge, then "OPEN" with the digest; once more when the server's answer
  // was wrong (not when the transfer failed).
  void Login(const std::string& userName, const std::string& password);
  // The number of waiting messages.
  int32_t Stat();
  std::vector<std::string> Retrieve(int32_t first, int32_t count);
  void Delete(int32_t first, int32_t count);

 private:
  std::string GetChallenge();
  void Authenticate(const std::string& challenge);
  // The body of a command answered "+OK", without and with the session key;
  // the second renews an expired key once.
  std::string Request(const std::string& command);
  std::string SessionRequest(const std::string& command);
  std::string HttpGet(const std::string& query);

  std::string m_userName;
  std::string m_password;
  std::unique_ptr<CHttpGetter> m_getter;
  std::string m_serverAddress;
  std::string m_sessionKey;
};
