// Builds a location database of many records over ten years and times filing,
// opening, a one-day search and a full note-text scan, the last against a bare
// pugixml parse of the same section files. Then, where the program's library
// is built, a second process of this program opens the database and searches
// it through the search folder (SearchFolderBench.cpp).
//
//   bench_location_database [records] [folder]
//   bench_location_database search <folder>    (the second process alone)
//
// Without a folder a temporary one is used and removed at the end.

#include <malloc.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <pugixml.hpp>
#include <random>
#include <string>
#include <vector>

#include "location/LocationDatabase.h"
#include "location/LocationQuery.h"
#include "location/RecordCollection.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double TimeIt(const std::function<void()>& action) {
  const auto start = Clock::now();
  action();
  return Seconds(Clock::now() - start);
}

// The best of a few runs, each with its own setup outside the timing.
double BestOf(int runs, const std::function<void()>& setup, const std::function<void()>& action) {
  double best = 1e300;
  for (int i = 0; i < runs; ++i) {
    setup();
    best = std::min(best, TimeIt(action));
  }
  return best;
}

double ResidentMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  }
  return -1.0;
}

// What the program holds, whether or not the allocator has returned freed
// memory to the system.
double AllocatedMiB() {
  const struct mallinfo2 info = mallinfo2();
  return static_cast<double>(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

int32_t Utc(int year, int month, int day) {
  std::tm calendar{};
  calendar.tm_year = year - 1900;
  calendar.tm_mon = month - 1;
  calendar.tm_mday = day;
  return static_cast<int32_t>(timegm(&calendar));
}

const char* const kNoteWords[] = {"harbour", "station", "bridge", "summit", "market",
                                  "tunnel",  "river",   "depot",  "school", "temple"};

// Walks every result in order, as the search folder does.
std::size_t ReadAll(CSearchResult& results) {
  std::size_t withNote = 0;
  for (std::size_t i = 0; i < results.GetCount(); ++i) {
    results.Seek(i);
    withNote += results.GetCurrent().hasNote;
  }
  return withNote;
}

#ifdef QLF_BENCH_SEARCH_FOLDER
// Runs this program again on the folder: the search is measured in a process
// that has done nothing else.
void RunSearchProcess(const char* program, const std::string& folder) {
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    execl("/proc/self/exe", program, "search", folder.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    std::printf("the search process failed\n");
  }
}
#endif

}  // namespace

int RunSearchFolderBench(const std::string& folder);

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "search") {
#ifdef QLF_BENCH_SEARCH_FOLDER
    return argc > 2 ? RunSearchFolderBench(argv[2]) : 2;
#else
    std::printf("the search folder is not built\n");
    return 2;
#endif
  }
  const long count = argc > 1 ? std::atol(argv[1]) : 1000000;
  const bool temporary = argc <= 2;
  std::filesystem::path folder;
  if (temporary) {
    std::string pattern = (std::filesystem::temp_directory_path() / "qlf-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 1;
    folder = pattern;
  } else {
    folder = argv[2];
    std::filesystem::create_directories(folder);
  }
  const std::string indexPath = (folder / "index.xml").string();

  // Records one after another over ten years, positions around Japan; one in
  // a thousand has the word the note scan looks for.
  const int32_t first = Utc(2010, 1, 1);
  const int64_t span = static_cast<int64_t>(Utc(2020, 1, 1)) - first;
  std::mt19937 random(2004);
  std::uniform_real_distribution<double> latitude(30.0, 45.0);
  std::uniform_real_distribution<double> longitude(128.0, 146.0);
  std::vector<CLocationRecord> records(static_cast<std::size_t>(count));
  for (long i = 0; i < count; ++i) {
    CLocationRecord& record = records[static_cast<std::size_t>(i)];
    record.position = CPosition({latitude(random), longitude(random)});
    record.time = CZonedTime(static_cast<int32_t>(first + span * i / count), 9 * 3600);
    record.hasTime = true;
    std::string note =
        std::string("unit ") + std::to_string(i % 97) + " near the " + kNoteWords[random() % 10];
    if (i % 1000 == 500) note += " checkpoint";
    record.SetNote(note);
  }

  // Filing as receiving does: a batch, then every changed section saved.
  constexpr long kBatch = 10000;
  double filing = 0.0;
  double saving = 0.0;
  {
    std::unique_ptr<CLocationDatabase> database = OpenLocationDatabase(indexPath, true);
    for (long done = 0; done < count; done += kBatch) {
      const auto begin = records.begin() + done;
      const std::vector<CLocationRecord> batch(begin, begin + std::min(kBatch, count - done));
      CRecordVectorCollection collection(batch);
      CAddRecordsOperation operation(collection);
      filing += TimeIt([&] { ExecuteDatabaseOperation(*database, operation); });
      saving += TimeIt([&] { SaveModifiedSections(*database); });
    }
    LocationDatabaseRelease(std::move(database));
  }
  std::vector<CLocationRecord>().swap(records);
  std::uintmax_t bytes = 0;
  std::vector<std::string> sectionFiles;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().filename() == "index.xml") continue;
    sectionFiles.push_back(entry.path().string());
    bytes += entry.file_size();
  }
  std::sort(sectionFiles.begin(), sectionFiles.end());

  std::printf("records: %ld in %zu section files, %.1f MB\n", count, sectionFiles.size(),
              static_cast<double>(bytes) / 1e6);
  std::printf(
      "filing: %.0f records/s including saves (%.2f s filing, %.2f s saving; batches of %ld)\n",
      static_cast<double>(count) / (filing + saving), filing, saving, kBatch);

  std::unique_ptr<CLocationDatabase> database;
  const double open = BestOf(
      3, [&] { database.reset(); }, [&] { database = OpenLocationDatabase(indexPath, false); });
  std::printf("open: %.3f ms\n", open * 1e3);

  // One day in the middle of the range: the search loads that day's section.
  CLocationQuery day;
  day.useDate = true;
  day.begin = Utc(2015, 6, 15);
  day.end = day.begin + 86400;
  std::size_t dayCount = 0;
  const double daySearch = BestOf(
      3, [&] { database = OpenLocationDatabase(indexPath, false); },
      [&] {
        ExecuteDatabaseOperation(*database, day);
        dayCount = ReadAll(*day.GetResults());
      });
  std::printf("one-day search: %zu records, %.2f ms\n", dayCount, daySearch * 1e3);

  // The bare parse of the same files, as the baseline of the scan.
  const double bare = BestOf(
      3, [] {},
      [&] {
        for (const std::string& path : sectionFiles) {
          pugi::xml_document document;
          if (!document.load_file(path.c_str())) std::printf("parse failed: %s\n", path.c_str());
        }
      });

  CLocationQuery scan;
  scan.useNote = true;
  scan.note = "checkpoint";
  std::size_t scanCount = 0;
  const double full = BestOf(
      3,
      [&] {
        scan = CLocationQuery();
        scan.useNote = true;
        scan.note = "checkpoint";
        database.reset();
        database = OpenLocationDatabase(indexPath, false);
      },
      [&] {
        ExecuteDatabaseOperation(*database, scan);
        scanCount = ReadAll(*scan.GetResults());
      });
  std::printf(
      "full note scan: %zu records found, %.3f s; bare pugixml parse %.3f s; ratio %.2fx (target < "
      "3x)\n",
      scanCount, full, bare, full / bare);
  std::printf("memory after the full scan, results held: %.1f MB resident, %.1f MB allocated\n",
              ResidentMiB(), AllocatedMiB());
  scan = CLocationQuery();
  std::printf("memory after the results are deleted: %.1f MB resident, %.1f MB allocated\n",
              ResidentMiB(), AllocatedMiB());

  database.reset();
#ifdef QLF_BENCH_SEARCH_FOLDER
  RunSearchProcess(argv[0], folder.string());
#endif
  if (temporary) std::filesystem::remove_all(folder);
  return 0;
}
