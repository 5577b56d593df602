#include "app/AppCore.h"

#include <filesystem>
#include <stdexcept>
#include <vector>

#include "app/AppStrings.h"
#include "app/DatabaseFolder.h"
#include "app/HelpOpener.h"
#include "app/ProgramFolder.h"
#include "app/Prompter.h"
#include "app/RootFolder.h"
#include "app/SearchFolder.h"
#include "location/Exceptions.h"
#include "location/IteratorAdaptors.h"
#include "location/LocationDatabase.h"
#include "location/SettingsKey.h"
#include "mapview/MapSet.h"

namespace {

CAppCore* g_appCore = nullptr;

const char kServerUrlValue[] = "ServerURL";
const char kServerUserNameValue[] = "ServerUserName";
const char kServerPasswordValue[] = "ServerPassword";
const char kMapFileValue[] = "MapFile";

// A "MapFile" this short was never set: the program runs for the first time.
bool IsFirstMapRun(const std::string& stored) { return stored.size() < 2; }

bool FileExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(path, error);
}

// Creates the folder that holds path, with every missing parent.
void CreateParentFolder(const std::string& path) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (folder.empty()) return;
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) throw CWin32Exception(static_cast<uint32_t>(error.value()));
}

}  // namespace

CAppCore* GetAppCore() { return g_appCore; }

// ---- tree watcher

CTreeWatcher::CTreeWatcher(CAppCore& core) : m_core(core) { Attach(core.GetRootFolder()); }

CTreeWatcher::~CTreeWatcher() { Detach(m_core.GetRootFolder()); }

void CTreeWatcher::Attach(CTreeNode& node) {
  node.AddObserver(this);
  for (CTreeNode* child : GetChildren(node)) Attach(*child);
}

void CTreeWatcher::Detach(CTreeNode& node) {
  node.RemoveObserver(this);
  for (CTreeNode* child : GetChildren(node)) Detach(*child);
}

void CTreeWatcher::OnSourceDestroyed(CRecordSource&) { m_core.RaiseRecordsChanged(); }

void CTreeWatcher::OnRecordsChanged(CRecordSource&) { m_core.RaiseRecordsChanged(); }

void CTreeWatcher::OnSelectionChanged(CRecordSource&) { m_core.RaiseSelectionChanged(); }

void CTreeWatcher::OnRecordsReplaced(CRecordSource& source, const std::vector<int32_t>& indices) {
  m_core.RaiseRecordsReplaced(source, indices);
}

void CTreeWatcher::OnChildrenChanged(CTreeNode&) {
  Attach(m_core.GetRootFolder());
  m_core.RaiseTreeChanged();
}

void CTreeWatcher::OnNodeDestroyed(CTreeNode& node) { m_core.OnCurrentNodeDestroyed(node); }

// ---- core

CAppCore::CAppCore(CAppCoreSetup setup)
    : m_settings(std::move(setup.settings)), m_openMapCatalog(std::move(setup.openMapCatalog)) {
  if (g_appCore != nullptr) throw std::logic_error("The application core exists already");
  g_appCore = this;
  try {
    if (!m_settings) m_settings = CreateUserSettingsKey(kSettingsPath);
    // The title captions the prompts that building the folder tree may show.
    m_title = LoadAppString(IDS_TITLE);
    m_treeWatcher = std::make_unique<CTreeWatcher>(*this);
    m_searchSource = std::make_unique<CSearchFolder>(m_treeWatcher.get());
    m_mapSet = std::make_unique<CEmptyMapSet>();
    m_serverUrl = m_settings->ReadString(kServerUrlValue, std::string());
    m_serverUserName = m_settings->ReadString(kServerUserNameValue, std::string());
    m_serverPassword = m_settings->ReadString(kServerPasswordValue, std::string());
    const std::string mapFile = ReadMapFilePath();
    LoadMapSettings(GetMapFilePath(), IsFirstMapRun(mapFile));
  } catch (...) {
    DestroyCurrentView();
    m_searchSource.reset();
    m_treeWatcher.reset();
    g_appCore = nullptr;
    throw;
  }
}

CAppCore::~CAppCore() {
  try {
    m_settings->WriteString(kServerUrlValue, m_serverUrl);
    m_settings->WriteString(kServerUserNameValue, m_serverUserName);
    m_settings->WriteString(kServerPasswordValue, m_serverPassword);
  } catch (...) {
    // The server settings are kept best effort at the end.
  }
  try {
    Broadcast(&CAppEventListener::OnCoreDestroyed);
  } catch (...) {
  }
  m_mapSet.reset();
  DestroyCurrentView();
  m_searchSource->RemoveObserver(m_treeWatcher.get());
  m_searchSource.reset();
  m_treeWatcher.reset();
  m_listeners.clear();
  g_appCore = nullptr;
}

void CAppCore::AddListener(CAppEventListener* listener) { m_listeners.insert(listener); }

void CAppCore::RemoveListener(CAppEventListener* listener) { m_listeners.erase(listener); }

void CAppCore::Broadcast(void (CAppEventListener::*event)()) {
  const std::vector<CAppEventListener*> listeners(m_listeners.begin(), m_listeners.end());
  for (CAppEventListener* listener : listeners) {
    if (m_listeners.count(listener) != 0) (listener->*event)();
  }
}

void CAppCore::RaiseTreeChanged() { Broadcast(&CAppEventListener::OnTreeChanged); }
void CAppCore::RaiseRecordsChanged() { Broadcast(&CAppEventListener::OnRecordsChanged); }
void CAppCore::RaiseSelectionChanged() { Broadcast(&CAppEventListener::OnSelectionChanged); }

void CAppCore::RaiseRecordsReplaced(CRecordSource& source, const std::vector<int32_t>& indices) {
  // The indices name records of source: a listener reads them from the
  // active source.
  if (&source != &ActiveSource()) {
    RaiseRecordsChanged();
    return;
  }
  const std::vector<CAppEventListener*> listeners(m_listeners.begin(), m_listeners.end());
  for (CAppEventListener* listener : listeners) {
    if (m_listeners.count(listener) != 0) listener->OnRecordsReplaced(indices);
  }
}
void CAppCore::BroadcastShowProperties() { Broadcast(&CAppEventListener::OnShowProperties); }
void CAppCore::BroadcastNewRecord() { Broadcast(&CAppEventListener::OnNewRecord); }

CRootFolder& CAppCore::GetRootFolder() { return ::GetRootFolder(); }

void CAppCore::DestroyCurrentView() {
  // The old view leaves quietly: it is no longer current when it goes, so its
  // going is no change of the active records.
  std::unique_ptr<CRecordSource> old = std::move(m_currentView);
  if (old && m_treeWatcher) old->RemoveObserver(m_treeWatcher.get());
  old.reset();
}

void CAppCore::SetCurrentNode(CTreeNode* node) {
  if (node == m_currentNode) return;
  m_currentNode = node;
  DestroyCurrentView();
  if (node) m_currentView = node->CreateView(m_treeWatcher.get());
  Broadcast(&CAppEventListener::OnCurrentNodeChanged);
  Broadcast(&CAppEventListener::OnRecordsChanged);
}

void CAppCore::OnCurrentNodeDestroyed(CTreeNode& node) {
  if (&node != m_currentNode) return;
  CTreeNode* root = &GetRootFolder();
  if (&node == root) {
    // The whole tree is going: nothing is left to show.
    m_currentNode = nullptr;
    DestroyCurrentView();
    return;
  }
  SetCurrentNode(root);
}

void CAppCore::SetSearchMode(bool searchMode) {
  if (searchMode == m_searchMode) return;
  m_searchMode = searchMode;
  Broadcast(&CAppEventListener::OnRecordsChanged);
}

CRecordSource& CAppCore::ActiveSource() {
  if (m_searchMode) return *m_searchSource;
  if (m_currentView) return *m_currentView;
  return GetEmptyRecordSource();
}

bool CAppCore::IsActiveReadOnly() { return ActiveSource().IsReadOnly(); }

int32_t CAppCore::GetActiveRecordCount() { return ActiveSource().Count(); }

void CAppCore::GetActiveRecords(CIntIteratorRef first, CIntIteratorRef last,
                                CRecordOutputIteratorRef sink) {
  ActiveSource().GetRecords(std::move(first), std::move(last), std::move(sink));
}

void CAppCore::ReplaceActiveRecords(CIntIteratorRef first, CIntIteratorRef last,
                                    CRecordIteratorRef records) {
  ActiveSource().ReplaceRecords(std::move(first), std::move(last), std::move(records));
}

void CAppCore::InsertActiveRecords(CRecordIteratorRef first, CRecordIteratorRef last) {
  CRecordSource& source = ActiveSource();
  source.InsertRecords(source.Count(), std::move(first), std::move(last));
}

void CAppCore::SetActiveSelection(CIntIteratorRef first, CIntIteratorRef last) {
  ActiveSource().SetSelection(std::move(first), std::move(last));
}

void CAppCore::GetActiveSelection(CIntOutputIteratorRef sink) {
  ActiveSource().GetSelection(std::move(sink));
}

bool CAppCore::CanCloseAll() { return CanCloseTree(GetRootFolder()); }

bool CAppCore::CanCloseTree(CTreeNode& node) {
  if (!node.CanClose()) return false;
  for (CTreeNode* child : GetChildren(node)) {
    if (!CanCloseTree(*child)) return false;
  }
  return true;
}

std::string CAppCore::GetDatabasePath() { return GetRootFolder().GetDatabaseFolder().GetDatabasePath(); }

void CAppCore::SetDatabasePath(const std::string& path) {
  GetRootFolder().GetDatabaseFolder().SetDatabasePath(path);
}

void CAppCore::SetOptions(const COptionValues& values) {
  CDatabaseFolder& folder = GetRootFolder().GetDatabaseFolder();
  const std::string oldDatabasePath = folder.GetDatabasePath();
  const bool newDatabase = values.databasePath != oldDatabasePath;
  const bool newMaps = m_openMapCatalog && values.mapFile != ReadMapFilePath();
  // Checked: nothing of the program changes while a path may be refused.
  std::unique_ptr<CLocationDatabase> database;
  if (newDatabase) database = folder.OpenDatabaseAt(values.databasePath, false);
  COpenedMaps maps;
  if (newMaps) maps = OpenMapCatalog(values.mapFile, false);

  // Written: both paths or neither.
  if (newDatabase) folder.WriteDatabasePath(values.databasePath);
  if (newMaps && maps.writePath) {
    try {
      m_settings->WritePath(kMapFileValue, values.mapFile);
    } catch (...) {
      if (newDatabase) {
        try {
          folder.WriteDatabasePath(oldDatabasePath);
        } catch (...) {
          // The store refuses writes; the refusal of the map file is what counts.
        }
      }
      throw;
    }
  }
  m_serverUrl = values.serverUrl;
  m_serverUserName = values.serverUserName;
  m_serverPassword = values.serverPassword;
  if (newMaps) {
    UseMapSet(std::move(maps.maps));
    ShowMapErrors();
  }
  // Last: the old database saves what it holds as it goes, and a failure to
  // save it comes with everything else in place.
  if (newDatabase) folder.UseDatabase(std::move(database));
}

std::string CAppCore::ReceiveMessages() {
  const int32_t received = GetRootFolder().GetDatabaseFolder().ReceiveLocationMessages();
  if (received != 0) return LoadAppString(IDS_MESSAGES_RECEIVED) + std::to_string(received);
  return LoadAppString(IDS_NO_NEW_MESSAGES);
}

std::string CAppCore::ReadMapFilePath() const {
  return m_settings->ReadPath(kMapFileValue, std::string());
}

void CAppCore::LoadMapSettings(const std::string& path, bool firstRun) {
  // The old maps go before the new ones are read.
  UseMapSet(nullptr);
  if (!m_openMapCatalog) return;
  COpenedMaps opened = OpenMapCatalog(path, firstRun);
  if (opened.maps) UseMapSet(std::move(opened.maps));
  if (opened.writePath) m_settings->WritePath(kMapFileValue, path);
  ShowMapErrors();
}

CAppCore::COpenedMaps CAppCore::OpenMapCatalog(const std::string& path, bool firstRun) {
  COpenedMaps opened;
  try {
    opened.maps = m_openMapCatalog(path, false);
    return opened;
  } catch (const std::exception& e) {
    if (FileExists(path)) {
      // A catalogue that is there but unreadable is the user's to mend: no
      // question, and the setting keeps naming it.
      ShowErrorBox(m_mainWindow, LoadAppString(IDS_MAPS_INVALID) + e.what(), m_title);
      opened.writePath = false;
      return opened;
    }
    if (!firstRun) ShowErrorBox(m_mainWindow, LoadAppString(IDS_MAPS_NOT_FOUND) + e.what(), m_title);
  }

  const uint32_t question = firstRun ? IDS_ASK_CREATE_MAPS_FIRST : IDS_ASK_CREATE_MAPS;
  if (AskYesNo(m_mainWindow, LoadAppString(question) + path, m_title)) {
    try {
      CreateParentFolder(path);
      opened.maps = m_openMapCatalog(path, true);
    } catch (const std::exception& e) {
      // Without a catalogue the program still runs, with no maps.
      ShowErrorBox(m_mainWindow, e.what(), m_title);
    }
  }
  return opened;
}

void CAppCore::UseMapSet(std::unique_ptr<CMapSet> maps) {
  m_mapSet = maps ? std::move(maps) : std::make_unique<CEmptyMapSet>();
  Broadcast(&CAppEventListener::OnMapSetChanged);
}

void CAppCore::ShowMapErrors() {
  // Maps that could not be read are left out; the user learns which once.
  std::string mapErrors;
  for (const std::string& error : m_mapSet->GetMapErrors()) mapErrors += error + "\n";
  if (!mapErrors.empty()) ShowErrorBox(m_mainWindow, mapErrors, m_title);
}

std::string CAppCore::GetMapFilePath() const {
  const std::string stored = ReadMapFilePath();
  return IsFirstMapRun(stored) ? JoinPath(GetProgramFolder(), kMapFileName) : stored;
}

void CAppCore::ReloadMaps() { LoadMapSettings(ReadMapFilePath(), false); }

void CAppCore::SetMapFile(const std::string& path) {
  if (path == ReadMapFilePath()) return;
  LoadMapSettings(path, false);
}

void CAppCore::OpenHelp() { OpenHelpDocument(JoinPath(GetProgramFolder(), kHelpFileName)); }
