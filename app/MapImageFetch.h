// Map images named by http and https URLs, read through the program's libcurl
// transport.
#pragma once

#include <string>

// The body of a GET of url, with the transport's time-outs and size cap.
// Throws CWin32Exception for a failed transfer and std::runtime_error
// "HTTP Status " + code for any answer other than 200. Safe on any thread.
std::string FetchMapImageOverHttp(const std::string& url);
