// The one application object: settings, server settings, the program title,
// the map set, the search results and the link between the folder tree and
// the views. It decides the active record source and raises the application
// events.
#pragma once

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "app/AppEvents.h"
#include "location/SettingsKey.h"
#include "app/TreeNode.h"
#include "location/Iterators.h"
#include "location/RecordSource.h"

class CAppCore;
class CMapSet;
class CRootFolder;
class CSettingsKey;

// Loads the map catalogue at path; with create set, a missing file is created
// as an empty catalogue. Throws on failure.
using MapCatalogOpener =
    std::function<std::unique_ptr<CMapSet>(const std::string& path, bool create)>;

// The values of the options dialog.
struct COptionValues {
  std::string serverUrl;
  std::string serverUserName;
  std::string serverPassword;
  std::string databasePath;
  std::string mapFile;
};

struct CAppCoreSetup {
  // The settings key; the user's own key when null.
  std::unique_ptr<CSettingsKey> settings;
  // How map catalogues are loaded; without one the map set stays empty and no
  // catalogue is looked for or asked about.
  MapCatalogOpener openMapCatalog;
};

// Observes the folder tree and the views, and turns what it hears into
// application events.
class CTreeWatcher final : public CRecordSourceObserver, public CTreeNodeObserver {
 public:
  // Attaches to every node of the tree, building the root folder on first use.
  explicit CTreeWatcher(CAppCore& core);
  ~CTreeWatcher() override;

  void OnSourceDestroyed(CRecordSource& source) override;
  void OnRecordsChanged(CRecordSource& source) override;
  void OnSelectionChanged(CRecordSource& source) override;
  void OnRecordsReplaced(CRecordSource& source, const std::vector<int32_t>& indices) override;
  void OnChildrenChanged(CTreeNode& node) override;
  void OnNodeDestroyed(CTreeNode& node) override;

 private:
  void Attach(CTreeNode& node);
  void Detach(CTreeNode& node);

  CAppCore& m_core;
};

class CAppCore {
 public:
  static constexpr const char* kSettingsPath = "Software\\KESTOVAN\\Quor Lumo Folvane";
  static constexpr const char* kMapFileName = "maps.xml";
  static constexpr const char* kHelpFileName = "QlFolvane.html";

  explicit CAppCore(CAppCoreSetup setup = {});
  ~CAppCore();
  CAppCore(const CAppCore&) = delete;
  CAppCore& operator=(const CAppCore&) = delete;

  CSettingsKey& GetSettingsKey() { return *m_settings; }
  // Owner of the boxes, menus and dialogs of the shell; null before the main
  // window exists.
  QWidget* GetMainWindow() const { return m_mainWindow; }
  void SetMainWindow(QWidget* window) { m_mainWindow = window; }
  std::string GetTitle() const { return m_title; }

  void AddListener(CAppEventListener* listener);
  void RemoveListener(CAppEventListener* listener);

  CRootFolder& GetRootFolder();
  CTreeNode* GetCurrentNode() const { return m_currentNode; }
  CRecordSource* GetCurrentView() const { return m_currentView.get(); }
  CRecordSource& GetSearchSource() { return *m_searchSource; }
  // Makes node current: its new view replaces the old one.
  void SetCurrentNode(CTreeNode* node);
  bool IsSearchMode() const { return m_searchMode; }
  void SetSearchMode(bool searchMode);

  // The search results in search mode, else the current view, else the empty source.
  CRecordSource& ActiveSource();
  bool IsActiveReadOnly();
  int32_t GetActiveRecordCount();
  void GetActiveRecords(CIntIteratorRef first, CIntIteratorRef last, CRecordOutputIteratorRef sink);
  void ReplaceActiveRecords(CIntIteratorRef first, CIntIteratorRef last, CRecordIteratorRef records);
  // Appends.
  void InsertActiveRecords(CRecordIteratorRef first, CRecordIteratorRef last);
  void SetActiveSelection(CIntIteratorRef first, CIntIteratorRef last);
  void GetActiveSelection(CIntOutputIteratorRef sink);

  void BroadcastShowProperties();
  void BroadcastNewRecord();
  // Asks every node, a node before its children, stopping at the first refusal.
  bool CanCloseAll();
  bool CanCloseTree(CTreeNode& node);

  std::string GetDatabasePath();
  void SetDatabasePath(const std::string& path);
  // What the options dialog sets: every value is checked before any is
  // written. The paths that differ from the settings are opened first (with
  // the questions to create what is missing) while the old database and maps
  // stay in use; a path that is refused throws and leaves every setting as
  // it was. Then the paths are written, the server values kept, the new maps
  // and the new database put in place.
  void SetOptions(const COptionValues& values);
  // Receives the waiting messages; returns the status text.
  std::string ReceiveMessages();
  std::string GetServerUrl() const { return m_serverUrl; }
  std::string GetServerUserName() const { return m_serverUserName; }
  std::string GetServerPassword() const { return m_serverPassword; }

  CMapSet& GetMapSet() { return *m_mapSet; }
  std::string ReadMapFilePath() const;
  // The stored "MapFile", or the catalogue next to the program without one.
  std::string GetMapFilePath() const;
  void LoadMapSettings(const std::string& path, bool firstRun);
  void ReloadMaps();
  void SetMapFile(const std::string& path);
  // Whether map catalogues can be loaded at all.
  bool CanLoadMaps() const { return static_cast<bool>(m_openMapCatalog); }

  // Opens the help document next to the program.
  void OpenHelp();

  CTreeWatcher& GetTreeWatcher() { return *m_treeWatcher; }
  // Raised by the tree watcher.
  void RaiseTreeChanged();
  void RaiseRecordsChanged();
  // Records of source were replaced in place: the listeners hear which when
  // source is the active one, else only that records changed.
  void RaiseRecordsReplaced(CRecordSource& source, const std::vector<int32_t>& indices);
  void RaiseSelectionChanged();
  void OnCurrentNodeDestroyed(CTreeNode& node);

 private:
  // A catalogue opened for a path and not yet in use; null when there is
  // none (not found and not created, or unreadable).
  struct COpenedMaps {
    std::unique_ptr<CMapSet> maps;
    // False for a catalogue that is there but cannot be read: the setting
    // keeps naming the old one.
    bool writePath = true;
  };

  void Broadcast(void (CAppEventListener::*event)());
  void DestroyCurrentView();
  // Opens the catalogue at path, with the boxes and the question to create a
  // missing one; changes nothing of the core.
  COpenedMaps OpenMapCatalog(const std::string& path, bool firstRun);
  // The maps (an empty set for null) take the old ones' place.
  void UseMapSet(std::unique_ptr<CMapSet> maps);
  // The maps of the catalogue that could not be read, once, in a box.
  void ShowMapErrors();

  std::set<CAppEventListener*> m_listeners;
  std::unique_ptr<CSettingsKey> m_settings;
  std::string m_title;
  QPointer<QWidget> m_mainWindow;
  bool m_searchMode = false;
  std::unique_ptr<CTreeWatcher> m_treeWatcher;
  CTreeNode* m_currentNode = nullptr;
  std::unique_ptr<CRecordSource> m_currentView;
  std::unique_ptr<CRecordSource> m_searchSource;
  MapCatalogOpener m_openMapCatalog;
  std::unique_ptr<CMapSet> m_mapSet;
  std::string m_serverUrl;
  std::string m_serverUserName;
  std::string m_serverPassword;
};

// The one application core while it exists, else null.
CAppCore* GetAppCore();
