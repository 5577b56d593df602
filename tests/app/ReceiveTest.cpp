// Receiving end to end: the program's core and frame, headless, against the
// test message server on 127.0.0.1, with the database in a folder of its own.
#include <QApplication>
#include <QCursor>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "app/CommandIds.h"
#include "app/DayFolder.h"
#include "app/DayView.h"
#include "app/HttpGetterSource.h"
#include "app/LocalDay.h"
#include "app/MainFrame.h"
#include "location/AtomicFile.h"
#include "location/Exceptions.h"
#include "reception/CurlHttpGetter.h"
#include "reception/InternetError.h"
#include "reception/MessageEncoding.h"
#include "tests/app/AppTestSupport.h"
#include "tests/location/DatabaseTestSupport.h"
#include "tests/reception/TestMessageServer.h"

namespace {

bool Contains(const std::vector<std::string>& log, const std::string& command) {
  for (const std::string& line : log)
    if (line.find("c=" + command) != std::string::npos) return true;
  return false;
}

// The protocol commands of the log, in order: "CHAL", "OPEN", "STAT", ...
std::vector<std::string> Commands(const std::vector<std::string>& log) {
  std::vector<std::string> commands;
  for (const std::string& line : log) {
    const auto at = line.find("c=");
    if (at == std::string::npos) continue;
    const auto end = line.find_first_of("+&", at);
    commands.push_back(line.substr(at + 2, end == std::string::npos ? end : end - at - 2));
  }
  return commands;
}

class ReceiveTest : public MessageServerTest {
 protected:
  ~ReceiveTest() override {
    SetHttpGetterMaker(HttpGetterMaker());
    if (frame && !frame->IsWindowDestroyed()) frame->close();
    frame.reset();
    core.reset();
    FlushDeletes();
  }

  void Start() {
    core = MakeCore();
    frame = ShowMainFrame();
  }

  CDayFolder* Day() const { return dynamic_cast<CDayFolder*>(core->GetCurrentView()); }
  std::vector<std::string> ListedNotes() const {
    std::vector<std::string> notes;
    for (const CLocationRecord& record : Day()->GetView()->GetList()->GetRecords())
      notes.push_back(record.note);
    return notes;
  }
  std::filesystem::path DatabaseFolder() const {
    return std::filesystem::path(DefaultDatabasePath()).parent_path();
  }
  std::vector<std::string> FolderFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(DatabaseFolder()))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::filesystem::path SectionFile(int32_t time) const {
    // Sections cover UTC calendar months.
    const time_t value = time;
    std::tm utc{};
    gmtime_r(&value, &utc);
    char name[32];
    std::snprintf(name, sizeof name, "%04d%02d.xml", utc.tm_year + 1900, utc.tm_mon + 1);
    return DatabaseFolder() / name;
  }
  QString Status() const { return frame->GetStatusText(0); }
  void Receive() { frame->ExecuteCommand(ID_TOOL_RECEIVE); }
  // Closes the program as the user would, down to the database's release.
  void Close() {
    frame->close();
    frame.reset();
    core.reset();
    FlushDeletes();
    ReleaseRootFolder();
  }
  // Every file of the database folder and its bytes.
  std::map<std::string, std::string> FolderBytes() const {
    std::map<std::string, std::string> files;
    for (const std::string& name : FolderFiles())
      files[name] = ReadWholeFile((DatabaseFolder() / name).string());
    return files;
  }
  std::map<std::string, int> NotesOnDisk() const { return ::NotesOnDisk(DefaultDatabasePath()); }

  std::unique_ptr<CAppCore> core;
  std::unique_ptr<CMainFrame> frame;
};

TEST_F(ReceiveTest, ThreeMessagesAreSavedBeforeTheServerDeletesThemAndShowToday) {
  const int32_t today = TodayLocalMidnight();
  server->AddMessage(QldataMessage(today + 8 * 3600, "morning"));
  server->AddMessage(QldataMessage(today + 12 * 3600, "noon"));
  server->AddMessage(QldataMessage(today + 18 * 3600, "evening"));
  Start();
  ASSERT_NE(Day(), nullptr);
  ASSERT_NE(Day()->GetView(), nullptr);
  EXPECT_TRUE(ListedNotes().empty());

  // The server holds DELE for a while; the moment it logs it, the section
  // file must already hold the records.
  server->Fault("DELE", "slow", "1");
  std::string sectionAtDelete;
  std::atomic<bool> deleteSeen{false};
  std::thread watcher([&] {
    for (int i = 0; i < 400 && !deleteSeen; ++i) {
      if (Contains(server->Log(), "DELE")) {
        sectionAtDelete = ReadWholeFile(SectionFile(today).string());
        deleteSeen = true;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
  });
  Receive();
  watcher.join();

  EXPECT_TRUE(prompter.shown.empty());
  EXPECT_EQ(Status(), QStringLiteral("メッセージを受信しました。件数: 3"));
  ASSERT_TRUE(deleteSeen);
  for (const char* note : {"morning", "noon", "evening"})
    EXPECT_NE(sectionAtDelete.find(note), std::string::npos) << note;
  EXPECT_EQ(ListedNotes(), (std::vector<std::string>{"morning", "noon", "evening"}));
  EXPECT_EQ(Day()->Count(), 3);
  EXPECT_EQ(Commands(server->Log()),
            (std::vector<std::string>{"CHAL", "OPEN", "STAT", "RETR", "DELE", "QUIT"}));
  EXPECT_TRUE(Contains(server->Log(), "RETR+1+3"));
  EXPECT_TRUE(Contains(server->Log(), "DELE+1+3"));
  EXPECT_TRUE(server->Messages().empty());
}

TEST_F(ReceiveTest, OneBadMessageStoresNothingAndDeletesNothing) {
  const int32_t today = TodayLocalMidnight();
  server->AddMessage(QldataMessage(today + 8 * 3600, "first"));
  server->AddMessage("5D_A1");
  server->AddMessage(QldataMessage(today + 9 * 3600, "third"));
  Start();
  const std::string index = ReadWholeFile(DefaultDatabasePath());
  frame->SetStatusText(0, QStringLiteral("earlier"));
  Receive();

  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(prompter.shown[0].kind, EPromptKind::Error);
  EXPECT_EQ(prompter.shown[0].text, "Invalid Letter<1> In QLDATA: 5D_A1");
  EXPECT_EQ(Status(), QStringLiteral("レディ"));
  EXPECT_EQ(FolderFiles(), (std::vector<std::string>{"index.xml"}));
  EXPECT_EQ(ReadWholeFile(DefaultDatabasePath()), index);
  EXPECT_TRUE(ListedNotes().empty());
  const auto log = server->Log();
  EXPECT_FALSE(Contains(log, "DELE"));
  EXPECT_EQ(Commands(log), (std::vector<std::string>{"CHAL", "OPEN", "STAT", "RETR", "QUIT"}));
  EXPECT_EQ(server->Messages().size(), 3u);
}

TEST_F(ReceiveTest, AFullDiskDuringReceiveStoresEveryMessageOnceWhenReceivedAgain) {
  const int32_t may = 1083369600;  // 2004-05-01 UTC
  const int32_t june = 1086048000;
  server->AddMessage(QldataMessage(may, "may"));
  server->AddMessage(QldataMessage(june, "june"));
  Start();
  Receive();
  ASSERT_TRUE(server->Messages().empty());

  // The batch goes into both sections; the disk is full for the second.
  for (const char* note : {"may 2", "may 3"}) server->AddMessage(QldataMessage(may + 60, note));
  for (const char* note : {"june 2", "june 3"}) server->AddMessage(QldataMessage(june + 60, note));
  {
    int writes = 0;
    SetAtomicWriteHook([&](std::size_t written) {
      if (written == 0 && ++writes == 2) throw CWin32Exception(ENOSPC);
    });
    Receive();
    SetAtomicWriteHook(nullptr);
  }
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(prompter.shown[0].kind, EPromptKind::Error);
  EXPECT_EQ(server->Messages().size(), 4u);
  EXPECT_EQ(Commands(server->Log()).back(), "QUIT");
  EXPECT_FALSE(Contains(server->Log(), "DELE+1+4"));

  // Closing writes nothing of the failed batch.
  const std::map<std::string, std::string> afterFailure = FolderBytes();
  Close();
  EXPECT_EQ(FolderBytes(), afterFailure);

  Start();
  Receive();
  EXPECT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(Status(), QStringLiteral("メッセージを受信しました。件数: 4"));
  EXPECT_TRUE(server->Messages().empty());
  const std::map<std::string, int> once = {
      {"may", 1}, {"may 2", 1}, {"may 3", 1}, {"june", 1}, {"june 2", 1}, {"june 3", 1}};
  EXPECT_EQ(NotesOnDisk(), once);
}

TEST_F(ReceiveTest, MessagesSavedButNotDeletedOnTheServerAreStoredOnceWhenReceivedAgain) {
  const int32_t today = TodayLocalMidnight();
  server->AddMessage(QldataMessage(today + 3600, "one"));
  server->AddMessage(QldataMessage(today + 7200, "two"));
  server->Fault("DELE", "drop");
  Start();
  Receive();
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(server->Messages().size(), 2u);
  EXPECT_EQ(NotesOnDisk(), (std::map<std::string, int>{{"one", 1}, {"two", 1}}));
  // The day shown lists what is stored, though the server kept the messages.
  EXPECT_EQ(ListedNotes(), (std::vector<std::string>{"one", "two"}));

  server->AddMessage(QldataMessage(today + 10800, "three"));
  Receive();
  EXPECT_EQ(prompter.shown.size(), 1u);
  EXPECT_TRUE(server->Messages().empty());
  EXPECT_EQ(NotesOnDisk(), (std::map<std::string, int>{{"one", 1}, {"two", 1}, {"three", 1}}));
  EXPECT_EQ(ListedNotes(), (std::vector<std::string>{"one", "two", "three"}));
}

TEST_F(ReceiveTest, NoMessagesSaysSoAndStillQuits) {
  Start();
  Receive();
  EXPECT_TRUE(prompter.shown.empty());
  EXPECT_EQ(Status(), QStringLiteral("新規メッセージはありません。"));
  EXPECT_EQ(Commands(server->Log()), (std::vector<std::string>{"CHAL", "OPEN", "STAT", "QUIT"}));
  EXPECT_EQ(FolderFiles(), (std::vector<std::string>{"index.xml"}));
}

TEST_F(ReceiveTest, AFailedLoginIsShownAndNothingElseIsAsked) {
  store->values["ServerPassword"] = std::string("wrong");
  server->AddMessage(QldataMessage(TodayLocalMidnight() + 3600, "waiting"));
  Start();
  Receive();
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(prompter.shown[0].text, "Invalid Response: -ERR 403 denied\n");
  EXPECT_EQ(Commands(server->Log()), (std::vector<std::string>{"CHAL", "OPEN", "CHAL", "OPEN"}));
  EXPECT_EQ(server->Messages().size(), 1u);
}

// A transport that cannot resolve the server's name.
class CUnresolvedGetter : public CHttpGetter {
 public:
  CHttpAnswer Get(const std::string&) override {
    throw MakeInternetException(kErrorInternetNameNotResolved);
  }
};

TEST_F(ReceiveTest, AnUnresolvedNameIsExplainedAheadOfTheErrorName) {
  SetHttpGetterMaker([] { return std::make_unique<CUnresolvedGetter>(); });
  Start();
  Receive();
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(
      prompter.shown[0].text,
      "インターネットに接続できません。ネットワークとプロキシの設定を確認してください。\n"
      "ERROR_INTERNET_NAME_NOT_RESOLVED");
  EXPECT_EQ(Status(), QStringLiteral("レディ"));
}

TEST_F(ReceiveTest, ASilentServerIsGivenUpWhileTheWindowStaysPaintedAndBusy) {
  SetHttpGetterMaker([] {
    CCurlTimeouts timeouts;
    timeouts.connect = std::chrono::milliseconds(2000);
    timeouts.lowSpeedTime = std::chrono::seconds(1);
    return std::make_unique<CCurlHttpGetter>(timeouts);
  });
  server->Fault("STAT", "slow", "5");
  Start();

  int ticks = 0;
  bool busyCursor = false;
  QTimer timer;
  timer.setInterval(50);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    ++ticks;
    const QCursor* cursor = QApplication::overrideCursor();
    busyCursor = busyCursor || (cursor && cursor->shape() == Qt::WaitCursor);
    // The receive key meanwhile goes nowhere, then or later.
    if (ticks == 2) QTest::keyClick(frame.get(), Qt::Key_M, Qt::ControlModifier);
  });
  timer.start();
  const auto started = std::chrono::steady_clock::now();
  Receive();
  const auto took = std::chrono::steady_clock::now() - started;
  timer.stop();

  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(prompter.shown[0].text, "ERROR_INTERNET_TIMEOUT");
  EXPECT_LT(took, std::chrono::seconds(4));
  EXPECT_GE(ticks, 5);
  EXPECT_TRUE(busyCursor);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(Status(), QStringLiteral("レディ"));
  QApplication::processEvents();
  // One receive only, logged out after the failure.
  EXPECT_EQ(Commands(server->Log()), (std::vector<std::string>{"CHAL", "OPEN", "STAT", "QUIT"}));
  EXPECT_EQ(prompter.shown.size(), 1u);
}

}  // namespace
