// Compares our side of a case with its yardstick in rounds that alternate
// which side runs first, so that a machine shared with other work slows both
// alike, and prints the ratios (ours divided by the yardstick's) as
// min/median/max: per size, and per case over every round of every size.
// Work that only computes is timed by the processor time of this thread,
// which other work on a loaded machine does not inflate; work that waits for
// the disk by the wall clock. Each run starts with the allocator's free
// memory handed back to the system, so that neither side runs in pages the
// other left faulted in: on this machine a page fault costs microseconds,
// and which side got them would otherwise depend on the order of the runs.
#pragma once

#include <malloc.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace bench {

inline double Median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

// One side of a comparison: setup runs before each timed run, untimed.
struct CSide {
  std::function<void()> setup;
  std::function<void()> run;
};

enum class EClock { kProcessor, kWall };

inline double NowMilliseconds(EClock clock) {
  if (clock == EClock::kWall) {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) * 1e-6;
}

inline long PageFaults() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_minflt + usage.ru_majflt;
}

struct CRun {
  double milliseconds;
  long pageFaults;
};

inline CRun TimedRun(const CSide& side, EClock clock) {
  if (side.setup) side.setup();
  malloc_trim(0);
  const long faults = PageFaults();
  const double start = NowMilliseconds(clock);
  side.run();
  const double milliseconds = NowMilliseconds(clock) - start;
  return {milliseconds, PageFaults() - faults};
}

class CRatioTable {
 public:
  // Runs `rounds` rounds of both sides and prints the line of this size.
  void Compare(const std::string& name, const std::string& size, int rounds, const CSide& ours,
               const CSide& yardstick, EClock clock = EClock::kProcessor) {
    std::vector<double> oursTimes, yardstickTimes, ratios, oursFaults, yardstickFaults;
    for (int round = 0; round < rounds; ++round) {
      CRun o{}, y{};
      if (round % 2 == 0) {
        o = TimedRun(ours, clock);
        y = TimedRun(yardstick, clock);
      } else {
        y = TimedRun(yardstick, clock);
        o = TimedRun(ours, clock);
      }
      oursTimes.push_back(o.milliseconds);
      yardstickTimes.push_back(y.milliseconds);
      oursFaults.push_back(static_cast<double>(o.pageFaults));
      yardstickFaults.push_back(static_cast<double>(y.pageFaults));
      ratios.push_back(o.milliseconds / y.milliseconds);
    }
    std::vector<double>& all = m_ratios[name];
    all.insert(all.end(), ratios.begin(), ratios.end());
    if (std::find(m_order.begin(), m_order.end(), name) == m_order.end()) m_order.push_back(name);
    std::printf(
        "%-20s %-5s ours %9.2f ms, yardstick %9.2f ms (%s, medians of %d; page faults %.0f and "
        "%.0f); ratio %s\n",
        name.c_str(), size.c_str(), Median(oursTimes), Median(yardstickTimes),
        clock == EClock::kWall ? "wall" : "processor", rounds, Median(oursFaults),
        Median(yardstickFaults), Spread(ratios).c_str());
    std::fflush(stdout);
  }

  // Every case over all its rounds and sizes.
  void PrintSummary() const {
    std::printf("ratios, min/median/max over rounds and sizes:\n");
    for (const std::string& name : m_order) {
      std::printf("  %-20s %s\n", name.c_str(), Spread(m_ratios.at(name)).c_str());
    }
  }

 private:
  static std::string Spread(const std::vector<double>& ratios) {
    char text[96];
    std::snprintf(text, sizeof text, "%.2f/%.2f/%.2f",
                  *std::min_element(ratios.begin(), ratios.end()), Median(ratios),
                  *std::max_element(ratios.begin(), ratios.end()));
    return text;
  }

  std::vector<std::string> m_order;
  std::map<std::string, std::vector<double>> m_ratios;
};

// "10k", "100k", "1M".
inline std::string SizeLabel(long count) {
  if (count >= 1000000 && count % 1000000 == 0) return std::to_string(count / 1000000) + "M";
  if (count >= 1000 && count % 1000 == 0) return std::to_string(count / 1000) + "k";
  return std::to_string(count);
}

}  // namespace bench
