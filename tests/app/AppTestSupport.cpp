#include "tests/app/AppTestSupport.h"

#include <QCoreApplication>
#include <QEvent>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/RunGuarded.h"

QApplication& TestApplication() {
  static int argc = 1;
  static char name[] = "app_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* application = [] {
    auto* app = new CGuardedApplication(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setQuitOnLastWindowClosed(false);
    return app;
  }();
  return *application;
}

CLocationRecord TestRecordAt(int32_t time, const std::string& note) {
  CLocationRecord record;
  record.time = CZonedTime(time, 0);
  record.hasTime = true;
  record.SetNote(note);
  return record;
}

void ExpectSameRecord(const CLocationRecord& a, const CLocationRecord& b) {
  const CPosition& p = a.position;
  const CPosition& q = b.position;
  EXPECT_EQ(p.datum, q.datum);
  EXPECT_EQ(p.latitude.unit, q.latitude.unit);
  EXPECT_EQ(p.latitude.ToDegrees(), q.latitude.ToDegrees());
  EXPECT_EQ(p.longitude.unit, q.longitude.unit);
  EXPECT_EQ(p.longitude.ToDegrees(), q.longitude.ToDegrees());
  EXPECT_EQ(p.hasAltitude, q.hasAltitude);
  EXPECT_EQ(p.altitude, q.altitude);
  EXPECT_EQ(p.hasFixMode, q.hasFixMode);
  EXPECT_EQ(p.fixMode, q.fixMode);
  EXPECT_EQ(p.hasSemiMajorAxisError, q.hasSemiMajorAxisError);
  EXPECT_EQ(p.semiMajorAxisError, q.semiMajorAxisError);
  EXPECT_EQ(p.hasSemiMinorAxisError, q.hasSemiMinorAxisError);
  EXPECT_EQ(p.semiMinorAxisError, q.semiMinorAxisError);
  EXPECT_EQ(p.hasVerticalError, q.hasVerticalError);
  EXPECT_EQ(p.verticalError, q.verticalError);
  EXPECT_EQ(p.hasMajorAxisAngle, q.hasMajorAxisAngle);
  EXPECT_EQ(p.majorAxisAngle, q.majorAxisAngle);
  EXPECT_EQ(a.hasTime, b.hasTime);
  EXPECT_EQ(a.time, b.time);
  EXPECT_EQ(a.hasNote, b.hasNote);
  EXPECT_EQ(a.note, b.note);
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

AppTest::AppTest() {
  TestApplication();
  setenv("XDG_DATA_HOME", dataFolder.path().toLocal8Bit().constData(), 1);
  const std::filesystem::path index = DefaultDatabasePath();
  std::filesystem::create_directories(index.parent_path());
  std::ofstream(index) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<index/>\n";
  SetProgramFolder(programFolder.path().toStdString());
  SetHelpOpener([this](const std::string& path) { openedHelp.push_back(path); });
}

AppTest::~AppTest() {
  FlushDeletes();
  ReleaseRootFolder();
  SetHelpOpener(HelpOpener());
  SetProgramFolder(std::string());
  unsetenv("XDG_DATA_HOME");
}

std::string AppTest::DefaultDatabasePath() const {
  return dataFolder.path().toStdString() + "/KESTOVAN/Quor Lumo Folvane/LocationDatabase/index.xml";
}

void AppTest::RemoveDefaultDatabase() const { std::filesystem::remove(DefaultDatabasePath()); }

std::unique_ptr<CAppCore> AppTest::MakeCore(MapCatalogOpener opener) {
  CAppCoreSetup setup;
  setup.settings = std::make_unique<CMemorySettingsKey>(store);
  setup.openMapCatalog = std::move(opener);
  return std::make_unique<CAppCore>(std::move(setup));
}

void AppTest::FlushDeletes() {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
