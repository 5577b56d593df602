// Location databases of 10k, 100k and 1M records over ten years: filing and
// opening are timed, and three searches are compared with pugixml's bare
// load_buffer (default flags) of the bytes of the section files they read:
// a rectangle search and a note search (every section), and one-day searches
// (each one month's file). Then, where the program's library is built, a
// second process of this program opens the largest database and searches it
// through the search folder (SearchFolderBench.cpp).
//
//   bench_location_database [records...]   (default 10000 100000 1000000)
//   bench_location_database search <folder>    (the second process alone)

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
#include <iterator>
#include <pugixml.hpp>
#include <random>
#include <string>
#include <vector>

#include "bench/common/RatioRounds.h"
#include "location/LocationDatabase.h"
#include "location/LocationQuery.h"
#include "location/RecordCollection.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRounds = 7;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double TimeIt(const std::function<void()>& action) {
  const auto start = Clock::now();
  action();
  return Seconds(Clock::now() - start);
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

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The yardstick: each file's bytes parsed, one document at a time.
bench::CSide BareParse(const std::vector<std::string>& files) {
  return {nullptr, [&files] {
            for (const std::string& bytes : files) {
              pugi::xml_document document;
              if (!document.load_buffer(bytes.data(), bytes.size())) std::abort();
            }
          }};
}

// A query run on a database opened before the timing, results read out.
bench::CSide Search(std::unique_ptr<CLocationDatabase>& database, const std::string& indexPath,
                    const std::vector<CSearchCriteria>& queries, std::size_t& found) {
  return {[&database, &indexPath] {
            database.reset();
            database = OpenLocationDatabase(indexPath, false);
          },
          [&database, &queries, &found] {
            found = 0;
            for (const CSearchCriteria& criteria : queries) {
              CLocationQuery query(criteria);
              ExecuteDatabaseOperation(*database, query);
              ReadAll(*query.GetResults());
              found += query.GetResults()->GetCount();
            }
          }};
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

void FileRecords(const std::string& indexPath, long count) {
  // Records one after another over ten years, positions around Japan; one in
  // a thousand has the word the note search looks for.
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
  std::printf(
      "filing: %.0f records/s including saves (%.2f s filing, %.2f s saving; batches of %ld)\n",
      static_cast<double>(count) / (filing + saving), filing, saving, kBatch);
}

// The section file of the UTC month that holds time, named as the database
// names them.
std::string MonthFile(const std::filesystem::path& folder, int32_t time) {
  const time_t t = time;
  std::tm calendar{};
  gmtime_r(&t, &calendar);
  char name[32];
  std::snprintf(name, sizeof name, "%04d%02d.xml", calendar.tm_year + 1900, calendar.tm_mon + 1);
  return (folder / name).string();
}

void RunSize(bench::CRatioTable& table, const std::filesystem::path& folder, long count) {
  const std::string label = bench::SizeLabel(count);
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::string indexPath = (folder / "index.xml").string();
  std::printf("%s records:\n", label.c_str());
  FileRecords(indexPath, count);

  std::vector<std::string> sectionPaths;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().filename() != "index.xml") sectionPaths.push_back(entry.path().string());
  }
  std::sort(sectionPaths.begin(), sectionPaths.end());
  std::vector<std::string> sections;
  std::uintmax_t bytes = 0;
  for (const std::string& path : sectionPaths) {
    sections.push_back(ReadBytes(path));
    bytes += sections.back().size();
  }
  std::printf("%zu section files, %.1f MB\n", sections.size(), static_cast<double>(bytes) / 1e6);

  std::unique_ptr<CLocationDatabase> database;
  double open = 1e300;
  for (int run = 0; run < 3; ++run) {
    database.reset();
    open = std::min(open, TimeIt([&] { database = OpenLocationDatabase(indexPath, false); }));
  }
  std::printf("open: %.3f ms\n", open * 1e3);

  std::size_t found = 0;
  CSearchCriteria rectangle;
  rectangle.rect = CGeoRect{37.0, 138.0, 35.0, 141.0};
  table.Compare("rectangle search", label, kRounds, Search(database, indexPath, {rectangle}, found),
                BareParse(sections));
  std::printf("  (%zu records found)\n", found);

  // Days in different months and years; each search loads its month's file.
  std::vector<CSearchCriteria> days;
  std::vector<std::string> dayFiles;
  for (int i = 0; i < 6; ++i) {
    CSearchCriteria day;
    day.begin = Utc(2011 + i, 1 + (i * 5) % 12, 3 + i * 4);
    day.end = day.begin + 86400;
    day.oldestFirst = i % 2 == 0;
    days.push_back(day);
    dayFiles.push_back(ReadBytes(MonthFile(folder, day.begin)));
  }
  table.Compare("one-day search", label, kRounds, Search(database, indexPath, days, found),
                BareParse(dayFiles));
  std::printf("  (%zu records found in %zu days)\n", found, days.size());

  CSearchCriteria note;
  note.words = {"checkpoint"};
  note.oldestFirst = false;
  table.Compare("note search", label, kRounds, Search(database, indexPath, {note}, found),
                BareParse(sections));
  std::printf("  (%zu records found)\n", found);

  std::printf("memory after the searches: %.1f MB resident, %.1f MB allocated\n", ResidentMiB(),
              AllocatedMiB());
}

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
  std::vector<long> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atol(argv[i]));
  if (sizes.empty()) sizes = {10000, 100000, 1000000};

  std::string pattern = (std::filesystem::temp_directory_path() / "qlf-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return 1;
  const std::filesystem::path top = pattern;
  const std::filesystem::path folder = top / "database";
  bench::CRatioTable table;
  for (const long count : sizes) RunSize(table, folder, count);
  table.PrintSummary();

#ifdef QLF_BENCH_SEARCH_FOLDER
  // The search folder over the last (largest) database.
  RunSearchProcess(argv[0], folder.string());
#else
  (void)argv;
#endif
  std::filesystem::remove_all(top);
  return 0;
}
