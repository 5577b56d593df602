// The libcurl transport's own limits: a transfer given up on request from
// another thread, and the limit on a whole transfer that keeps moving.
#include "reception/CurlHttpGetter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "reception/InternetError.h"
#include "tests/reception/TestMessageServer.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct CStoppedGet {
  uint32_t code = 0;  // the transfer error, or 0
  Clock::time_point asked;
  Clock::time_point ended;
};

// Gets url with getter while another thread requests the stop after `after`
// unless the Get has ended by then.
CStoppedGet GetStoppedAfter(CCurlHttpGetter& getter, const std::string& url,
                            Clock::duration after) {
  CStoppedGet result;
  std::stop_source stop;
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  std::thread stopper([&] {
    std::unique_lock lock(mutex);
    if (ended.wait_for(lock, after, [&] { return done; })) return;
    result.asked = Clock::now();
    stop.request_stop();
  });
  try {
    getter.Get(url, stop.get_token());
  } catch (const CWin32Exception& error) {
    result.code = error.GetCode();
  }
  {
    std::lock_guard lock(mutex);
    result.ended = Clock::now();
    done = true;
  }
  ended.notify_all();
  stopper.join();
  return result;
}

TEST(CurlHttpGetterTest, AStopEndsADripOrASilenceAtOnceAndTheTotalLimitEndsASteadyDrip) {
  CTestMessageServer server;
  // Both would hold a transfer far longer than the test waits: a drip moves
  // just enough for the low-speed limit, a silence lasts a minute.
  for (const auto& [action, arg] : {std::pair{"drip", "10000000"}, std::pair{"slow", "60"}}) {
    server.Reset();
    server.Fault("*", action, arg);
    CCurlHttpGetter getter;
    const CStoppedGet get = GetStoppedAfter(getter, server.Url("/map.png"), 1500ms);
    EXPECT_EQ(get.code, kErrorInternetOperationCancelled) << action;
    // The wait for the server's bytes ends with the request, not at its
    // next turn.
    EXPECT_LT(get.ended - get.asked, 500ms) << action;
  }

  server.Reset();
  server.Fault("*", "drip", "10000000");
  CCurlTimeouts timeouts;
  timeouts.total = 1s;
  CCurlHttpGetter limited(timeouts);
  const auto start = Clock::now();
  const CStoppedGet get = GetStoppedAfter(limited, server.Url("/map.png"), 20s);
  EXPECT_EQ(get.code, kErrorInternetTimeout);
  EXPECT_LT(get.ended - start, 10s);
}

}  // namespace
