// The message server's answers come from outside. The first byte picks the
// RETR count; the rest is the body the server gives to every session command
// (login commands are answered well, so the session paths are reached).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "location/Exceptions.h"
#include "reception/HttpGetter.h"
#include "reception/MessageClient.h"
#include "reception/MessageResponse.h"

namespace {

class CFixedGetter : public CHttpGetter {
 public:
  explicit CFixedGetter(std::string body) : m_body(std::move(body)) {}
  CHttpAnswer Get(const std::string& url) override {
    if (url.find("?c=CHAL") != std::string::npos) return {200, "+OK challenge\n"};
    if (url.find("?c=OPEN") != std::string::npos) return {200, "+OK key\n"};
    return {200, m_body};
  }

 private:
  std::string m_body;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int32_t count = static_cast<int8_t>(data[0]);
  const std::string body(reinterpret_cast<const char*>(data + 1), size - 1);

  for (const std::string_view word : SplitResponseWords(body)) {
    if (word.empty() || word.find(' ') != std::string_view::npos) std::abort();
    ReadDecimalInt(word);
  }
  if (const auto messages = ParseRetrieveBody(body, count)) {
    std::size_t bytes = 0;
    for (const auto& message : *messages) bytes += message.size() + 1;
    if (bytes > body.size()) std::abort();
  }

  CMessageClient client("http://server/ql", std::make_unique<CFixedGetter>(body));
  try {
    client.Login("user", "password");
  } catch (const std::exception&) {
    std::abort();  // the login answers are fixed and good
  }
  try {
    if (client.Stat() < 0) std::abort();
  } catch (const std::runtime_error&) {
  }
  try {
    const auto messages = client.Retrieve(1, count);
    if (messages.size() != static_cast<std::size_t>(count < 0 ? 0 : count)) std::abort();
  } catch (const std::runtime_error&) {
  }
  try {
    client.Delete(1, count);
  } catch (const std::runtime_error&) {
  }
  return 0;
}
