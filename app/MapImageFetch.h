// Map images named by http and https URLs, read through the program's libcurl
// transport.
#pragma once

#include <chrono>
#include <stop_token>
#include <string>

// The most one image's transfer may take, however steadily its bytes come.
inline constexpr std::chrono::seconds kMapImageTransferLimit{60};

// The body of a GET of url, with the transport's time-outs and size cap and
// kMapImageTransferLimit. Throws CWin32Exception for a failed transfer (12002
// past the limit, 12017 once stop is requested, which ends the transfer at
// once) and std::runtime_error "HTTP Status " + code for any answer other than
// 200. Safe on any thread.
std::string FetchMapImageOverHttp(const std::string& url, std::stop_token stop = {});
