#include "reception/CurlHttpGetter.h"

#include <curl/curl.h>

#include <cstdint>
#include <new>
#include <string>

#include "reception/InternetError.h"

namespace {

// libcurl's global state is set up once for the process and never torn down:
// other threads may still hold handles at exit.
bool CurlReady() {
  static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return ready;
}

// libcurl turns a short count into a write error, which ends the transfer.
size_t AppendBody(char* data, size_t size, size_t count, void* target) {
  auto& body = *static_cast<std::string*>(target);
  const size_t bytes = size * count;
  if (bytes > kMaxAnswerBytes - body.size()) return 0;
  try {
    body.append(data, bytes);
    return bytes;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

template <typename T>
void SetOption(CURL* curl, CURLoption option, T value) {
  if (curl_easy_setopt(curl, option, value) != CURLE_OK) {
    throw MakeInternetException(kErrorInternetInternalError);
  }
}

// The transfer error code for a libcurl result.
uint32_t InternetErrorFromCurl(CURLcode code) {
  switch (code) {
    case CURLE_UNSUPPORTED_PROTOCOL: return kErrorInternetUnrecognizedScheme;
    case CURLE_URL_MALFORMAT: return kErrorInternetInvalidUrl;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST: return kErrorInternetNameNotResolved;
    case CURLE_COULDNT_CONNECT:
    case CURLE_SSL_CONNECT_ERROR: return kErrorInternetCannotConnect;
    case CURLE_OPERATION_TIMEDOUT: return kErrorInternetTimeout;
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_FILESIZE_EXCEEDED:
    case CURLE_WRITE_ERROR: return kErrorInternetConnectionAborted;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR: return kErrorInternetConnectionReset;
    case CURLE_PEER_FAILED_VERIFICATION: return kErrorInternetSecCertErrors;
    case CURLE_SSL_CACERT_BADFILE: return kErrorInternetInvalidCa;
    default: return kErrorInternetInternalError;
  }
}

}  // namespace

CCurlHttpGetter::CCurlHttpGetter(const CCurlTimeouts& timeouts) {
  if (!CurlReady() || !(m_multi = curl_multi_init())) {
    throw MakeInternetException(kErrorInternetOutOfHandles);
  }
  if (!(m_curl = curl_easy_init())) {
    curl_multi_cleanup(m_multi);
    throw MakeInternetException(kErrorInternetOutOfHandles);
  }
  try {
    // Never answered from a cache nor stored in one.
    for (const char* header : {"Pragma: no-cache", "Cache-Control: no-cache"}) {
      curl_slist* grown = curl_slist_append(m_headers, header);
      if (!grown) throw MakeInternetException(kErrorInternetOutOfHandles);
      m_headers = grown;
    }
    SetOption(m_curl, CURLOPT_HTTPHEADER, m_headers);
    SetOption(m_curl, CURLOPT_USERAGENT, "QuorLumoFolvane");
    SetOption(m_curl, CURLOPT_HTTPGET, 1L);
    SetOption(m_curl, CURLOPT_FOLLOWLOCATION, 1L);
    SetOption(m_curl, CURLOPT_MAXREDIRS, 10L);
    SetOption(m_curl, CURLOPT_PROTOCOLS_STR, "http,https");
    SetOption(m_curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    SetOption(m_curl, CURLOPT_NOSIGNAL, 1L);
    SetOption(m_curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.connect.count()));
    SetOption(m_curl, CURLOPT_LOW_SPEED_LIMIT, timeouts.lowSpeedBytes);
    SetOption(m_curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(timeouts.lowSpeedTime.count()));
    SetOption(m_curl, CURLOPT_TIMEOUT_MS, static_cast<long>(timeouts.total.count()));
    // A declared length over the limit fails before any of the body comes.
    SetOption(m_curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxAnswerBytes));
    SetOption(m_curl, CURLOPT_WRITEFUNCTION, &AppendBody);
  } catch (...) {
    curl_slist_free_all(m_headers);
    curl_easy_cleanup(m_curl);
    curl_multi_cleanup(m_multi);
    throw;
  }
}

CCurlHttpGetter::~CCurlHttpGetter() {
  curl_easy_cleanup(m_curl);
  curl_multi_cleanup(m_multi);
  curl_slist_free_all(m_headers);
}

int CCurlHttpGetter::Perform(const std::stop_token& stop) {
  if (curl_multi_add_handle(m_multi, m_curl) != CURLM_OK) {
    throw MakeInternetException(kErrorInternetInternalError);
  }
  struct CRemoveOnExit {
    CURLM* multi;
    CURL* easy;
    ~CRemoveOnExit() { curl_multi_remove_handle(multi, easy); }
  } added{m_multi, m_curl};
  // Runs on the thread that asks for the stop; a wake-up that comes while
  // no wait is under way ends the next one at once.
  const std::stop_callback wake(stop, [this] { curl_multi_wakeup(m_multi); });
  for (;;) {
    if (stop.stop_requested()) throw MakeInternetException(kErrorInternetOperationCancelled);
    int running = 0;
    if (curl_multi_perform(m_multi, &running) != CURLM_OK) {
      throw MakeInternetException(kErrorInternetInternalError);
    }
    int left = 0;
    while (const CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
      if (message->msg == CURLMSG_DONE && message->easy_handle == m_curl) {
        return message->data.result;
      }
    }
    if (running == 0) throw MakeInternetException(kErrorInternetInternalError);
    // The time-outs are the handle's own; this wait ends early for them.
    if (curl_multi_poll(m_multi, nullptr, 0, 1000, nullptr) != CURLM_OK) {
      throw MakeInternetException(kErrorInternetInternalError);
    }
  }
}

CHttpAnswer CCurlHttpGetter::Get(const std::string& url, std::stop_token stop) {
  CHttpAnswer answer;
  SetOption(m_curl, CURLOPT_URL, url.c_str());
  SetOption(m_curl, CURLOPT_WRITEDATA, static_cast<void*>(&answer.body));
  struct CForgetBody {
    CURL* curl;
    // The handle must not keep a pointer to this call's body.
    ~CForgetBody() { curl_easy_setopt(curl, CURLOPT_WRITEDATA, static_cast<void*>(nullptr)); }
  } forget{m_curl};
  const auto result = static_cast<CURLcode>(Perform(stop));
  if (result != CURLE_OK) throw MakeInternetException(InternetErrorFromCurl(result));
  if (curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &answer.status) != CURLE_OK) {
    throw MakeInternetException(kErrorInternetInternalError);
  }
  return answer;
}
