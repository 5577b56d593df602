#include "app/MapImageFetch.h"

#include <stdexcept>
#include <utility>

#include "reception/CurlHttpGetter.h"

std::string FetchMapImageOverHttp(const std::string& url, std::stop_token stop) {
  CCurlTimeouts timeouts;
  timeouts.total = kMapImageTransferLimit;
  // A getter of its own: this runs on the map image transfer threads,
  // several at once, while the interface thread may be receiving messages
  // through another.
  CCurlHttpGetter getter(timeouts);
  CHttpAnswer answer = getter.Get(url, std::move(stop));
  if (answer.status != 200) throw std::runtime_error("HTTP Status " + std::to_string(answer.status));
  return std::move(answer.body);
}
