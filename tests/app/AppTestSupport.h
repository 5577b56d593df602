// Shared pieces of the program's tests: one QApplication, a prompter that
// answers from a script and records every box, and a fixture with a memory
// settings store, a program folder of its own, a recording help opener and
// an application-data folder of its own holding an empty location database
// at the default place; and one with a core whose current view is a new
// location file or a day of the database.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QDialog>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/AppCore.h"
#include "app/FileDialogs.h"
#include "app/HelpOpener.h"
#include "app/ProgramFolder.h"
#include "app/Prompter.h"
#include "app/RootFolder.h"
#include "tests/support/MemorySettingsKey.h"

class CMainFrame;
class CTestMessageServer;
class CLocationFileNode;

QApplication& TestApplication();

// A record at time (UTC offset 0) with a note.
CLocationRecord TestRecordAt(int32_t time, const std::string& note);
// A record of today, second seconds after local midnight, in degrees on WGS-84.
CLocationRecord TodayAt(double latitude, double longitude, int32_t second);
// A whole file's bytes; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);

// The record as its "point" element is written: equal texts are equal records
// as far as any file can tell.
std::string RecordXml(const CLocationRecord& record);
// A WGS-84 record with a note, and the notes of records.
CLocationRecord NoteRecord(const std::string& note);
std::vector<std::string> Notes(const std::vector<CLocationRecord>& records);
// A view's selection, set and read.
void Select(CRecordSource& view, std::vector<int32_t> indices);
std::vector<int32_t> Selection(CRecordSource& view);

// Counts the core's events about the active records.
class CAppEventCounter : public CAppEventListener {
 public:
  void OnNewRecord() override { ++newRecords; }
  void OnRecordsChanged() override { ++records; }
  void OnSelectionChanged() override { ++selections; }
  int newRecords = 0;
  int records = 0;
  int selections = 0;
};

// File dialogs that answer from queues; an empty queue is a cancelled dialog.
class CScriptedFileDialogs : public CFileDialogs {
 public:
  CScriptedFileDialogs() { SetFileDialogs(this); }
  ~CScriptedFileDialogs() override { SetFileDialogs(nullptr); }

  std::vector<std::string> GetOpenFileNames(QWidget*, const std::string& filter,
                                            const std::string& suffix) override {
    asked.push_back(filter + suffix);
    return Next(openAnswers);
  }
  std::string GetSaveFileName(QWidget*, const std::string& filter,
                              const std::string& suffix) override {
    asked.push_back(filter + suffix);
    return Next(saveAnswers);
  }
  std::string GetBrowseFileName(QWidget* owner, const std::string& filter,
                                const std::string& suffix, const std::string& initial) override {
    asked.push_back(filter + suffix);
    browsed.push_back({owner, initial});
    return Next(browseAnswers);
  }
  template <class T>
  static T Next(std::deque<T>& answers) {
    if (answers.empty()) return T();
    T answer = answers.front();
    answers.pop_front();
    return answer;
  }

  std::deque<std::vector<std::string>> openAnswers;
  std::deque<std::string> saveAnswers;
  std::deque<std::string> browseAnswers;
  std::vector<std::string> asked;  // the filter and suffix of each dialog
  std::vector<std::pair<QWidget*, std::string>> browsed;  // owner and initial path
};

// Runs answer on the next modal dialog once its loop runs (the test then
// calls what opens it). Fails the test when none comes.
void AnswerNextModalDialog(std::function<void(QDialog&)> answer);

struct CPromptRecord {
  QWidget* owner;
  EPromptKind kind;
  std::string text;
  std::string caption;
};

class CScriptedPrompter : public CPrompter {
 public:
  CScriptedPrompter() { SetPrompter(this); }
  ~CScriptedPrompter() override { SetPrompter(nullptr); }

  EPromptAnswer Show(QWidget* owner, EPromptKind kind, const std::string& text,
                     const std::string& caption) override {
    shown.push_back({owner, kind, text, caption});
    if (kind == EPromptKind::Error) return EPromptAnswer::Ok;
    if (answers.empty()) {
      ADD_FAILURE() << "unexpected question: " << text;
      return EPromptAnswer::No;
    }
    const EPromptAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }

  std::deque<EPromptAnswer> answers;
  std::vector<CPromptRecord> shown;
};

class AppTest : public ::testing::Test {
 protected:
  AppTest();
  ~AppTest() override;

  // A core over the memory store, loading catalogues through opener.
  std::unique_ptr<CAppCore> MakeCore(MapCatalogOpener opener = MapCatalogOpener());
  // Runs pending deferred deletions.
  static void FlushDeletes();
  // The main frame of the core made last, created and shown on the screen.
  static std::unique_ptr<CMainFrame> ShowMainFrame();

  // The default database's index; removing it makes the next core ask.
  std::string DefaultDatabasePath() const;
  void RemoveDefaultDatabase() const;

  std::shared_ptr<CMemorySettingsStore> store = std::make_shared<CMemorySettingsStore>();
  CScriptedPrompter prompter;
  QTemporaryDir programFolder;
  QTemporaryDir dataFolder;
  std::vector<std::string> openedHelp;
};

// A program test with the test message server running for the whole suite
// and the server settings of the store naming it, user "user" and password
// "password".
class MessageServerTest : public AppTest {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  MessageServerTest();

  static CTestMessageServer* server;
};

// A core whose current view holds given records; events hears the core from
// its start and counts from zero once the view is there.
class ActiveViewTest : public AppTest {
 protected:
  ~ActiveViewTest() override;

  // A new file holding the records, written once to dir (it keeps no path of
  // its own, so Save asks for one): its view.
  CRecordSource& StartWithFile(std::vector<CLocationRecord> records);
  // The database holding the records: the read-only view of today.
  CRecordSource& StartWithDay(const std::vector<CLocationRecord>& records);

  CAppEventCounter events;
  QTemporaryDir dir;
  std::unique_ptr<CAppCore> core;
  CLocationFileNode* node = nullptr;
};
