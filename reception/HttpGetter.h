// The one HTTP operation the message client needs, behind an interface that
// tests can replace.
#pragma once

#include <string>

struct CHttpAnswer {
  long status = 0;
  std::string body;
};

class CHttpGetter {
 public:
  virtual ~CHttpGetter() = default;
  // GETs the URL, never from a cache, following redirects. A failed transfer
  // throws CWin32Exception with a transfer error code (see InternetError.h);
  // any HTTP status comes back as an answer.
  virtual CHttpAnswer Get(const std::string& url) = 0;
};
