// The search folder over a filed database, in a process that only opens the
// database and searches: the resident memory before, at the peak of and
// after a full note search, then the time of a note search and of a
// rectangle search through the search folder against the database's own
// query of the same criteria.
#include <malloc.h>

#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/AppCore.h"
#include "app/DatabaseFolder.h"
#include "app/ProgramFolder.h"
#include "app/RootFolder.h"
#include "app/SearchFolder.h"
#include "location/FileSettingsKey.h"
#include "location/IteratorAdaptors.h"
#include "location/LocationFile.h"
#include "location/LocationQuery.h"

namespace {

double StatusMiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(field) + ":";
  while (std::getline(status, line)) {
    if (line.rfind(prefix, 0) == 0) return std::atof(line.c_str() + prefix.size()) / 1024.0;
  }
  return -1.0;
}

double ResidentMiB() { return StatusMiB("VmRSS"); }
double PeakResidentMiB() { return StatusMiB("VmHWM"); }
// The peak starts again from what is resident now.
void ResetPeakResident() { std::ofstream("/proc/self/clear_refs") << "5"; }

double AllocatedMiB() {
  const struct mallinfo2 info = mallinfo2();
  return static_cast<double>(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The processor time of the action: the machine may be shared, and the
// comparison is of work done, on whichever thread the search folder runs it.
double TimeIt(const std::function<void()>& action) {
  const double start = CpuSeconds();
  action();
  return CpuSeconds() - start;
}

// The database's own query, read out in order as any caller must.
std::size_t QueryDatabase(CDatabaseFolder& folder, const CSearchCriteria& criteria) {
  CLocationQuery query(criteria);
  folder.RunQuery(query);
  const std::unique_ptr<CSearchResult> results = query.TakeResults();
  std::vector<CLocationRecord> records;
  records.reserve(results->GetCount());
  for (std::size_t i = 0; i < results->GetCount(); ++i) {
    results->Seek(i);
    records.push_back(results->GetCurrent());
  }
  return records.size();
}

void CompareWithDatabase(const char* name, CDatabaseFolder& database, CSearchFolder& search,
                         const CSearchCriteria& criteria) {
  double folderBest = 1e300;
  double databaseBest = 1e300;
  std::size_t viaDatabase = 0;
  for (int run = 0; run < 5; ++run) {
    folderBest = std::min(folderBest, TimeIt([&] { search.RunQuery(criteria); }));
    databaseBest =
        std::min(databaseBest, TimeIt([&] { viaDatabase = QueryDatabase(database, criteria); }));
  }
  std::printf(
      "%s search: %d records; search folder %.3f s, database query %.3f s (%zu records; processor "
      "time, best of 5); ratio %.3fx (target <= 1.10x)\n",
      name, search.Count(), folderBest, databaseBest, viaDatabase, folderBest / databaseBest);
}

// What the largest section file takes once loaded, in MB.
double PrintLargestSection(const std::string& folder) {
  std::string largest;
  std::uintmax_t largestBytes = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name == "index.xml" || entry.path().extension() != ".xml") continue;
    if (entry.file_size() > largestBytes) {
      largestBytes = entry.file_size();
      largest = entry.path().string();
    }
  }
  if (largest.empty()) return 0.0;
  const double allocated = AllocatedMiB();
  const std::unique_ptr<CLocationFile> file = LoadLocationFile(largest, XmlOpenMode::kOpenExisting);
  const double loaded = AllocatedMiB() - allocated;
  std::printf("largest section: %.1f MB on disk, %.1f MB loaded\n",
              static_cast<double>(largestBytes) / (1024.0 * 1024.0), loaded);
  return loaded;
}

}  // namespace

int RunSearchFolderBench(const std::string& folder) {
  // With an application object, as in the program, each node's search runs
  // on a worker thread while this thread waits in an event loop.
  int argc = 1;
  char name[] = "bench_location_database";
  char* argv[] = {name, nullptr};
  QCoreApplication application(argc, argv);
  const std::string indexPath = folder + "/index.xml";
  const std::string settingsPath = folder + "/search-bench-settings";
  std::filesystem::remove(settingsPath);
  auto settings = std::make_unique<CFileSettingsKey>(settingsPath, CAppCore::kSettingsPath);
  settings->WritePath("LocationDatabaseFile", indexPath);
  SetProgramFolder(folder);
  CAppCoreSetup setup;
  setup.settings = std::move(settings);
  {
    CAppCore core(std::move(setup));
    CDatabaseFolder& database = core.GetRootFolder().GetDatabaseFolder();
    auto* search = dynamic_cast<CSearchFolder*>(&core.GetSearchSource());
    if (!database.HasDatabase() || search == nullptr) {
      std::printf("search folder: no database at %s\n", indexPath.c_str());
      return 1;
    }

    CSearchCriteria note;
    note.words = {"checkpoint"};
    note.oldestFirst = false;
    const double before = ResidentMiB();
    ResetPeakResident();
    search->RunQuery(note);
    const double peak = PeakResidentMiB();
    const double after = ResidentMiB();
    std::printf(
        "search folder memory, full note search (%d found): resident %.1f MB before, %.1f MB at "
        "the peak (+%.1f MB), %.1f MB after (%.2fx before; target <= 1.20x), %.1f MB allocated\n",
        search->Count(), before, peak, peak - before, after, after / before, AllocatedMiB());

    CompareWithDatabase("note", database, *search, note);
    CSearchCriteria rectangle;
    rectangle.rect = CGeoRect{37.0, 138.0, 35.0, 141.0};
    rectangle.oldestFirst = false;
    CompareWithDatabase("rectangle", database, *search, rectangle);
    search->RunQuery(note);
    std::printf("after %d more searches: resident %.1f MB (%.2fx before)\n", 21, ResidentMiB(),
                ResidentMiB() / before);
    const double section = PrintLargestSection(folder);
    std::printf(
        "peak of the full note search above its start: %.1f MB, %.2fx the largest section "
        "(target <= 2x)\n",
        peak - before, section > 0.0 ? (peak - before) / section : 0.0);
  }
  std::filesystem::remove(settingsPath);
  SetProgramFolder(std::string());
  return 0;
}
