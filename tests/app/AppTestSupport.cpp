#include "tests/app/AppTestSupport.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTest>
#include <QTimer>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/MainFrame.h"
#include "app/DatabaseFolder.h"
#include "app/FileFolder.h"
#include "app/LocalDay.h"
#include "app/RunGuarded.h"
#include "location/IteratorAdaptors.h"
#include "location/LocationDatabase.h"
#include "location/PointXml.h"
#include "tests/reception/TestMessageServer.h"
#include "location/RecordCollection.h"

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

CLocationRecord TodayAt(double latitude, double longitude, int32_t second) {
  CLocationRecord record = TestRecordAt(TodayLocalMidnight() + second, "");
  record.position = CPosition(LatLon{latitude, longitude});
  return record;
}

std::string RecordXml(const CLocationRecord& record) {
  pugi::xml_document document;
  std::ostringstream text;
  WritePointXml(document.append_child("points"), record).print(text, "", pugi::format_raw);
  return text.str();
}

CLocationRecord NoteRecord(const std::string& note) {
  CLocationRecord record;
  record.position = CPosition({35.5, 139.75});
  record.SetNote(note);
  return record;
}

std::vector<std::string> Notes(const std::vector<CLocationRecord>& records) {
  std::vector<std::string> notes;
  for (const CLocationRecord& record : records) notes.push_back(record.note);
  return notes;
}

void Select(CRecordSource& view, std::vector<int32_t> indices) {
  view.SetSelection(MakeIntPtrIterator(indices.data()),
                    MakeIntPtrIterator(indices.data() + indices.size()));
}

std::vector<int32_t> Selection(CRecordSource& view) {
  std::vector<int32_t> selection;
  view.GetSelection(MakeIntBackInserter(selection));
  return selection;
}

namespace {

void AnswerWhenShown(const std::function<void(QDialog&)>& answer, int triesLeft) {
  auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
  if (dialog && dialog->isVisible()) {
    answer(*dialog);
    return;
  }
  if (triesLeft == 0) {
    ADD_FAILURE() << "no modal dialog came";
    return;
  }
  QTimer::singleShot(10, [answer, triesLeft] { AnswerWhenShown(answer, triesLeft - 1); });
}

}  // namespace

void AnswerNextModalDialog(std::function<void(QDialog&)> answer) {
  QTimer::singleShot(0, [answer = std::move(answer)] { AnswerWhenShown(answer, 500); });
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

std::unique_ptr<CMainFrame> AppTest::ShowMainFrame() {
  auto frame = std::make_unique<CMainFrame>();
  frame->Create();
  frame->show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
  return frame;
}

CTestMessageServer* MessageServerTest::server = nullptr;

void MessageServerTest::SetUpTestSuite() { server = new CTestMessageServer(); }

void MessageServerTest::TearDownTestSuite() {
  delete server;
  server = nullptr;
}

MessageServerTest::MessageServerTest() {
  server->Reset();
  store->values["ServerURL"] = server->Url();
  store->values["ServerUserName"] = std::string("user");
  store->values["ServerPassword"] = std::string("password");
}

ActiveViewTest::~ActiveViewTest() {
  core.reset();
  FlushDeletes();
}

CRecordSource& ActiveViewTest::StartWithFile(std::vector<CLocationRecord> records) {
  core = MakeCore();
  core->AddListener(&events);
  CFileFolder& files = core->GetRootFolder().GetFileFolder();
  files.New();
  node = files.Find(GetChildren(files).back());
  node->EditRecords() = std::move(records);
  node->Write(dir.path().toStdString() + "/start.xml");
  core->SetCurrentNode(node);
  events.newRecords = events.records = events.selections = 0;
  return *core->GetCurrentView();
}

CRecordSource& ActiveViewTest::StartWithDay(const std::vector<CLocationRecord>& records) {
  core = MakeCore();
  core->AddListener(&events);
  CDatabaseFolder& folder = core->GetRootFolder().GetDatabaseFolder();
  const CRecordVectorCollection collection(records);
  CAddRecordsOperation adding(collection);
  folder.RunQuery(adding);
  core->SetCurrentNode(&folder);
  events.newRecords = events.records = events.selections = 0;
  return *core->GetCurrentView();
}
