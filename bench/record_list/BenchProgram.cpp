#include "bench/record_list/BenchProgram.h"

#include <QTest>
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <ctime>

#include "app/ProgramFolder.h"
#include "app/Prompter.h"
#include "app/RootFolder.h"
#include "app/RunGuarded.h"
#include "tests/support/MemorySettingsKey.h"

// Nothing may wait for a user: errors are printed, questions answered no.
class CBenchPrompter : public CPrompter {
 public:
  EPromptAnswer Show(QWidget*, EPromptKind kind, const std::string& text,
                     const std::string&) override {
    std::fprintf(stderr, "box: %s\n", text.c_str());
    return kind == EPromptKind::Error ? EPromptAnswer::Ok : EPromptAnswer::No;
  }
};

CBenchProgram::CBenchProgram(int& argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  m_application = std::make_unique<CGuardedApplication>(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setQuitOnLastWindowClosed(false);
  setenv("XDG_DATA_HOME", m_dataFolder.path().toLocal8Bit().constData(), 1);
  // An empty database where the program looks for one, so nothing is asked.
  const std::filesystem::path index =
      m_dataFolder.path().toStdString() + "/KESTOVAN/Quor Lumo Folvane/LocationDatabase/index.xml";
  std::filesystem::create_directories(index.parent_path());
  std::ofstream(index) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<index/>\n";
  SetProgramFolder(m_programFolder.path().toStdString());
  m_prompter = std::make_unique<CBenchPrompter>();
  SetPrompter(m_prompter.get());
  CAppCoreSetup setup;
  setup.settings = std::make_unique<CMemorySettingsKey>(std::make_shared<CMemorySettingsStore>());
  m_core = std::make_unique<CAppCore>(std::move(setup));
  m_frame = std::make_unique<CMainFrame>();
  m_frame->Create();
  m_frame->resize(1280, 800);
  m_frame->show();
  if (!QTest::qWaitForWindowExposed(m_frame.get())) std::fprintf(stderr, "window not shown\n");
  Settle();
}

CBenchProgram::~CBenchProgram() {
  m_frame->close();
  m_frame.reset();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  m_core.reset();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  ReleaseRootFolder();
  SetPrompter(nullptr);
  SetProgramFolder(std::string());
}

void CBenchProgram::Settle() {
  QCoreApplication::sendPostedEvents();
  QApplication::processEvents();
}

std::vector<CLocationRecord> MakeBenchRecords(int count) {
  std::mt19937 random(11);
  std::uniform_real_distribution<double> spread(-0.2, 0.2);
  std::uniform_int_distribution<int> kind(0, 9);
  const char* const places[] = {"harbour", "station", "bridge", "summit", "market", "shrine"};
  std::vector<CLocationRecord> records;
  records.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    CLocationRecord record;
    record.position = CPosition({35.68 + spread(random), 139.76 + spread(random)});
    record.hasTime = true;
    record.time = CZonedTime(1500000000 + i * 60, 32400);
    const int k = kind(random);
    const std::string place = places[static_cast<std::size_t>(i) % 6];
    if (k == 0) {
      record.SetNote("waited at the " + place + " for the late train, then walked along the river " +
                     "past the old warehouses to the " + places[(i + 1) % 6] + " " +
                     std::to_string(i));
    } else if (k <= 7) {
      record.SetNote(place + " " + std::to_string(i));
    }
    records.push_back(std::move(record));
  }
  return records;
}

void CBenchProgram::SettleFor(int ms) {
  Settle();
  QTest::qWait(ms);
}

double ProcessorMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) * 1e-6;
}

double Median(std::vector<double> times) {
  if (times.empty()) return 0.0;
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}
