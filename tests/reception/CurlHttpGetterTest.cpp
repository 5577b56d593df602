// The libcurl transport's own limits: a transfer given up on request from
// another thread, and the limit on a whole transfer that keeps moving.
#include "reception/CurlHttpGetter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "reception/InternetError.h"
#include "tests/reception/TestMessageServer.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The transfer error code of a Get of url, or 0.
uint32_t GetFailure(CCurlHttpGetter& getter, const std::string& url, std::stop_token stop = {}) {
  try {
    getter.Get(url, std::move(stop));
  } catch (const CWin32Exception& error) {
    return error.GetCode();
  }
  return 0;
}

TEST(CurlHttpGetterTest, AStopEndsADripOrASilenceAtOnceAndTheTotalLimitEndsASteadyDrip) {
  CTestMessageServer server;
  // Both would hold a transfer far longer than the test waits: a drip moves
  // just enough for the low-speed limit, a silence lasts a minute.
  for (const auto& [action, arg] : {std::pair{"drip", "10000000"}, std::pair{"slow", "60"}}) {
    server.Reset();
    server.Fault("*", action, arg);
    CCurlHttpGetter getter;
    std::stop_source stop;
    Clock::time_point asked;
    std::thread stopper([&stop, &asked] {
      std::this_thread::sleep_for(1500ms);
      asked = Clock::now();
      stop.request_stop();
    });
    const uint32_t code = GetFailure(getter, server.Url("/map.png"), stop.get_token());
    const Clock::time_point ended = Clock::now();
    stopper.join();
    EXPECT_EQ(code, kErrorInternetOperationCancelled) << action;
    // The wait for the server's bytes ends with the request, not at its
    // next turn.
    EXPECT_LT(ended - asked, 500ms) << action;
  }

  // Thirty seconds of bytes, each in time for the low-speed limit.
  server.Reset();
  server.Fault("*", "drip", "60");
  CCurlTimeouts timeouts;
  timeouts.total = 1s;
  CCurlHttpGetter limited(timeouts);
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(GetFailure(limited, server.Url("/map.png")), kErrorInternetTimeout);
  EXPECT_LT(Clock::now() - start, 10s);
}

}  // namespace
