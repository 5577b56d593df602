#include "app/MapImageFetch.h"

#include <stdexcept>
#include <utility>

#include "reception/CurlHttpGetter.h"

std::string FetchMapImageOverHttp(const std::string& url) {
  // A getter of its own: this runs on the tile worker while the interface
  // thread may be receiving messages through another.
  CCurlHttpGetter getter;
  CHttpAnswer answer = getter.Get(url);
  if (answer.status != 200) throw std::runtime_error("HTTP Status " + std::to_string(answer.status));
  return std::move(answer.body);
}
