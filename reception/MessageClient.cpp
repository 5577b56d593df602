#include "reception/MessageClient.h"

#include <stdexcept>
#include <string_view>
#include <utility>

#include "reception/CurlHttpGetter.h"
#include "reception/MessageEncoding.h"
#include "reception/MessageResponse.h"

namespace {

std::runtime_error InvalidResponse(const std::string& body) {
  return std::runtime_error("Invalid Response: " + body);
}

// The status word must be exactly "+OK": "+" or "+OKX" is no success.
bool IsOk(const std::vector<std::string_view>& words) { return !words.empty() && words[0] == "+OK"; }

}  // namespace

CMessageClient::CMessageClient(std::string serverAddress)
    : CMessageClient(std::move(serverAddress), std::make_unique<CCurlHttpGetter>()) {}

CMessageClient::CMessageClient(std::string serverAddress, std::unique_ptr<CHttpGetter> getter)
    : m_getter(std::move(getter)), m_serverAddress(std::move(serverAddress)) {}

CMessageClient::~CMessageClient() {
  if (m_sessionKey.empty()) return;
  try {
    SessionRequest("QUIT");
  } catch (...) {
    // Logging out is best effort; the server drops stale sessions itself.
  }
}

void CMessageClient::Login(const std::string& userName, const std::string& password) {
  m_userName = userName;
  m_password = password;
  try {
    Authenticate(GetChallenge());
    return;
  } catch (const std::runtime_error&) {
    // A wrong answer may be a passing fault of the server: one more try.
    // Transfer failures are no runtime_error and leave at once.
  }
  Authenticate(GetChallenge());
}

int32_t CMessageClient::Stat() {
  const std::string body = SessionRequest("STAT");
  const auto words = SplitResponseWords(body);
  if (words.size() < 2) throw InvalidResponse(body);
  const int32_t count = ReadDecimalInt(words[1]);
  if (count < 0) throw InvalidResponse(body);
  return count;
}

std::vector<std::string> CMessageClient::Retrieve(int32_t first, int32_t count) {
  const std::string body =
      SessionRequest("RETR " + std::to_string(first) + " " + std::to_string(count));
  auto messages = ParseRetrieveBody(body, count);
  if (!messages) throw InvalidResponse(body);
  return std::move(*messages);
}

void CMessageClient::Delete(int32_t first, int32_t count) {
  SessionRequest("DELE " + std::to_string(first) + " " + std::to_string(count));
}

std::string CMessageClient::GetChallenge() {
  const std::string body = Request("CHAL");
  const auto words = SplitResponseWords(body);
  if (words.size() < 2) throw InvalidResponse(body);
  return std::string(words[1]);
}

void CMessageClient::Authenticate(const std::string& challenge) {
  const std::string digest = Md5Hex(challenge + m_password);
  const std::string body = Request("OPEN " + m_userName + " " + digest);
  const auto words = SplitResponseWords(body);
  if (words.size() < 2) throw InvalidResponse(body);
  m_sessionKey = std::string(words[1]);
}

std::string CMessageClient::Request(const std::string& command) {
  std::string body = HttpGet("c=" + UrlEncode(command));
  if (!IsOk(SplitResponseWords(body))) throw InvalidResponse(body);
  return body;
}

std::string CMessageClient::SessionRequest(const std::string& command) {
  for (bool renewed = false;; renewed = true) {
    std::string body = HttpGet("c=" + UrlEncode(command) + "&k=" + UrlEncode(m_sessionKey));
    const auto words = SplitResponseWords(body);
    // "-ERR 401 <challenge>": the key expired; log in again on the challenge
    // given and repeat the command, once.
    if (!renewed && words.size() >= 3 && words[0] == "-ERR" && ReadDecimalInt(words[1]) == 401) {
      Authenticate(std::string(words[2]));
      continue;
    }
    if (!IsOk(words)) throw InvalidResponse(body);
    return body;
  }
}

std::string CMessageClient::HttpGet(const std::string& query) {
  CHttpAnswer answer = m_getter->Get(m_serverAddress + "?" + query);
  if (answer.status != 200) {
    throw std::runtime_error("HTTP Status Error: " + std::to_string(answer.status));
  }
  return std::move(answer.body);
}
