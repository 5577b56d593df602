#include "app/DatabaseFolder.h"

#include <QStandardPaths>
#include <cerrno>
#include <exception>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <utility>
#include <vector>

#include "app/AppCore.h"
#include "app/AppIcons.h"
#include "app/AppStrings.h"
#include "app/BusyScope.h"
#include "app/DayFolder.h"
#include "app/HttpGetterSource.h"
#include "app/Prompter.h"
#include "location/Exceptions.h"
#include "location/FilePath.h"
#include "location/LocationDatabase.h"
#include "location/LocationQuery.h"
#include "location/RecordCollection.h"
#include "location/SettingsKey.h"
#include "reception/InternetError.h"
#include "reception/MessageClient.h"
#include "reception/Qldata.h"

namespace {

const char kDatabaseFileValue[] = "LocationDatabaseFile";
const char kDatabaseSubPath[] = "/KESTOVAN/Quor Lumo Folvane/LocationDatabase/index.xml";

[[noreturn]] void ThrowNotReady() { throw std::runtime_error("Database Not Ready"); }

// Whether something stands at path; when that cannot be told, it counts as
// there, so that nothing is created over it.
bool PathExists(const std::string& path) {
  std::error_code error;
  if (std::filesystem::exists(path, error)) return true;
  return error && error != std::errc::no_such_file_or_directory &&
         error != std::errc::not_a_directory;
}

// The folder part of path: the path without its last component.
std::string FolderOf(const std::string& path) {
  return std::filesystem::path(path).parent_path().string();
}

}  // namespace

CDatabaseFolder::CDatabaseFolder() {
  const std::string stored = GetDatabasePath();
  const std::string path = stored.empty() ? DefaultDatabasePath() : stored;
  try {
    OpenDatabase(path, stored.empty());
  } catch (const CUnreadableDatabase& e) {
    // The program starts without a database; the user mends the index or
    // chooses another in the options.
    CAppCore& core = *GetAppCore();
    ShowErrorBox(core.GetMainWindow(), e.what(), core.GetTitle());
    WriteDatabasePath(path);
  }
}

CDatabaseFolder::~CDatabaseFolder() {
  try {
    if (m_database) LocationDatabaseRelease(std::move(m_database));
  } catch (...) {
    // Saving at the end is best effort; the database is gone either way.
  }
}

std::string CDatabaseFolder::DefaultDatabasePath() {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  if (folder.isEmpty()) throw CWin32Exception(ENOENT);
  return folder.toStdString() + kDatabaseSubPath;
}

std::string CDatabaseFolder::GetTitle() const { return LoadAppString(IDS_DATABASE_FOLDER); }

QIcon CDatabaseFolder::GetIcon() const { return LoadAppIcon(IDI_DATABASE); }

void CDatabaseFolder::EnumChildren(CNodeOutputIteratorRef) {}

std::string CDatabaseFolder::GetDatabasePath() const {
  return GetAppCore()->GetSettingsKey().ReadPath(kDatabaseFileValue, std::string());
}

void CDatabaseFolder::SetDatabasePath(const std::string& path) {
  if (path == GetDatabasePath()) return;
  OpenDatabase(path, false);
}

void CDatabaseFolder::ReplaceDatabase(std::unique_ptr<CLocationDatabase> database) {
  std::unique_ptr<CLocationDatabase> old = std::exchange(m_database, std::move(database));
  if (old) LocationDatabaseRelease(std::move(old));
}

void CDatabaseFolder::OpenDatabase(const std::string& path, bool automatic) {
  std::unique_ptr<CLocationDatabase> opened = OpenDatabaseAt(path, automatic);
  WriteDatabasePath(path);
  UseDatabase(std::move(opened));
}

std::unique_ptr<CLocationDatabase> CDatabaseFolder::OpenDatabaseAt(const std::string& path,
                                                                   bool automatic) {
  CAppCore& core = *GetAppCore();
  std::unique_ptr<CLocationDatabase> opened;
  try {
    opened = OpenLocationDatabase(path, false);
  } catch (const std::exception& e) {
    // An index that is there but cannot be read is the user's to mend:
    // offering to create one would put an empty index in its place. The
    // caller decides what becomes of it.
    if (PathExists(path)) throw CUnreadableDatabase(LoadAppString(IDS_MAPS_INVALID) + e.what());
    const uint32_t question = automatic ? IDS_ASK_CREATE_DATABASE_FIRST : IDS_ASK_CREATE_DATABASE;
    if (AskYesNo(core.GetMainWindow(), LoadAppString(question) + path, core.GetTitle())) {
      const std::string folder = FolderOf(path);
      if (!folder.empty()) CreateDirectoryTree(folder);
      opened = OpenLocationDatabase(path, true);
    }
  }
  return opened;
}

void CDatabaseFolder::WriteDatabasePath(const std::string& path) {
  GetAppCore()->GetSettingsKey().WritePath(kDatabaseFileValue, path);
}

void CDatabaseFolder::UseDatabase(std::unique_ptr<CLocationDatabase> database) {
  if (!database) return;
  ReplaceDatabase(std::move(database));
  // A day shown from the old database would list records this one lacks.
  RefreshViews();
}

void CDatabaseFolder::RefreshViews() {
  const std::set<CRecordSource*> views = GetLiveViews();
  for (CRecordSource* view : views) {
    if (GetLiveViews().count(view) != 0) view->Refresh();
  }
}

void CDatabaseFolder::RunQuery(CDatabaseOperation& operation) {
  if (!m_database) ThrowNotReady();
  ExecuteDatabaseOperation(*m_database, operation);
}

void CDatabaseFolder::Search(const CSearchCriteria& criteria, CRecordOutputIteratorRef sink) {
  CLocationQuery query(criteria);
  RunQuery(query);
  const std::unique_ptr<CSearchResult> results = query.TakeResults();
  const std::size_t count = results->GetCount();
  for (std::size_t i = 0; i < count; ++i) {
    results->Seek(i);
    sink.Put(results->GetCurrent());
    ++sink;
  }
}

std::unique_ptr<CRecordSource> CDatabaseFolder::CreateView(CRecordSourceObserver* observer) {
  auto view = std::make_unique<CDayFolder>(*this, observer);
  RegisterView(*view);
  return view;
}

int32_t CDatabaseFolder::ReceiveLocationMessages() {
  if (!m_database) ThrowNotReady();
  CAppCore& core = *GetAppCore();
  CBusyScope busy;
  std::unique_ptr<CMessageClient> client;
  int32_t count = 0;
  bool filing = false;  // records of this batch may be on disk from here on
  std::exception_ptr failure;
  try {
    client = std::make_unique<CMessageClient>(core.GetServerUrl(), MakeHttpGetter());
    const std::string userName = core.GetServerUserName();
    const std::string password = core.GetServerPassword();
    std::vector<std::string> messages;
    busy.Run([&] {
      client->Login(userName, password);
      count = client->Stat();
      if (count != 0) messages = client->Retrieve(1, count);
    });
    if (count != 0) {
      // Every message is read before anything is stored: one that cannot be
      // read leaves the database and the server as they were.
      std::vector<CLocationRecord> records;
      records.reserve(messages.size());
      for (const std::string& message : messages) records.push_back(ParseQldataMessage(message));
      const CRecordVectorCollection collection(records);
      CAddRecordsOperation adding(collection);
      filing = true;
      try {
        RunQuery(adding);
        SaveModifiedSections(*m_database);
      } catch (...) {
        // The messages stay on the server and come again with the next
        // Receive; nothing of this batch may be written later unasked. What
        // did reach the disk is recognised then and not filed twice.
        DiscardUnsavedChanges(*m_database);
        throw;
      }
      // Only what is safely on disk is deleted on the server.
      busy.Run([&] { client->Delete(1, count); });
    }
  } catch (...) {
    failure = std::current_exception();
  }
  // The days shown list what is on disk: also when the save was cut short or
  // the server kept the messages.
  if (filing) {
    try {
      RefreshViews();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  // Logging out ("QUIT") also after a failure.
  busy.Run([&] { client.reset(); });
  if (failure) {
    try {
      std::rethrow_exception(failure);
    } catch (const CWin32Exception& e) {
      if (e.GetCode() != kErrorInternetNameNotResolved) throw;
      throw std::runtime_error(LoadAppString(IDS_NOT_CONNECTED) + e.what());
    }
  }
  return count;
}
