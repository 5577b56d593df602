// HTTP GET through libcurl, with time-outs so that a silent server cannot hang
// the program.
#pragma once

#include <chrono>
#include <cstddef>
#include <stop_token>

#include "reception/HttpGetter.h"

typedef void CURL;
typedef void CURLM;
struct curl_slist;

struct CCurlTimeouts {
  std::chrono::milliseconds connect{30000};
  // The transfer is abandoned when it moves fewer than lowSpeedBytes bytes a
  // second for lowSpeedTime, including the wait for the answer to begin.
  std::chrono::seconds lowSpeedTime{30};
  long lowSpeedBytes = 1;
  // The whole transfer, redirects included; zero for no limit.
  std::chrono::milliseconds total{0};
};

// An answer longer than this is abandoned as a failed transfer: the server's
// bytes must not be able to exhaust memory. Message lines are short, so this
// leaves room for hundreds of thousands of them.
inline constexpr std::size_t kMaxAnswerBytes = 64u << 20;

class CCurlHttpGetter : public CHttpGetter {
 public:
  // Throws CWin32Exception (ERROR_INTERNET_OUT_OF_HANDLES) when libcurl
  // cannot start.
  explicit CCurlHttpGetter(const CCurlTimeouts& timeouts = {});
  ~CCurlHttpGetter() override;
  CCurlHttpGetter(const CCurlHttpGetter&) = delete;
  CCurlHttpGetter& operator=(const CCurlHttpGetter&) = delete;

  CHttpAnswer Get(const std::string& url) override { return Get(url, {}); }
  // Get that gives up at once when stop is requested (from any thread),
  // throwing CWin32Exception (ERROR_INTERNET_OPERATION_CANCELLED).
  CHttpAnswer Get(const std::string& url, std::stop_token stop);

 private:
  // The transfer's result, run on the multi handle: its wait is one that a
  // stop request can wake.
  int Perform(const std::stop_token& stop);

  CURLM* m_multi = nullptr;
  CURL* m_curl = nullptr;
  curl_slist* m_headers = nullptr;
};
