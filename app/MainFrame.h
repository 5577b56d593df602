// The program's only top-level window: menu bar, toolbar with the scale-box
// slot, status bar, the left pane (folder tree over the current folder's
// records, or the search pane) and the map on the right. It keeps the title
// and status texts current, routes every command, and carries out the
// commands of the map view state.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>

#include "app/AppEvents.h"
#include "app/CommandIds.h"
#include "mapview/MapViewState.h"

class CAppMapViewHost;
class CFolderTree;
class CKeypadShortcuts;
class CMapView;
class CMenuHelpTip;
class CRangeZoomCallback;
class CScaleBox;
struct CGeoRect;
class CPaneContainer;
class CPropertyWindow;
class QAction;
class QLabel;
class QSplitter;
class QToolBar;
class QMenu;

class CMainFrame : public QMainWindow,
                   public CMapViewState,
                   public CMapViewStateListener,
                   public CAppEventListener,
                   public CCommandTarget {
 public:
  static constexpr int kStatusPartWidth = 120;
  static constexpr int kDefaultWidth = 1024;
  static constexpr int kDefaultHeight = 720;

  // The first size of the window: the usual one, made smaller where the free
  // area of the screen (available) could not hold it with the window
  // manager's title bar and borders.
  static QSize FirstSize(const QRect& available);

  enum { kPaneNone = -1, kPaneFolder = 0, kPaneSearch = 1 };

  // Reads the map view state; the window parts come with Create.
  CMainFrame();
  ~CMainFrame() override;

  // Builds the window parts and shows the database folder; throws when a
  // part cannot be made.
  void Create();
  // Brings the window to the front (a second instance asks for this).
  void BringToFront();

  // The command dispatcher: writes what was typed into the property window,
  // sets status part 0 to "レディ", then runs the command.
  void OnCommand(uint32_t id);
  void ExecuteCommand(uint32_t id) override;
  bool IsCommandEnabled(uint32_t id) const override;
  QAction* GetCommandAction(uint32_t id) const;
  // A context menu of the record commands (menu 214); the caller owns it.
  QMenu* CreateRecordContextMenu(QWidget* parent);

  void ShowPane(int index);
  int GetShownPane() const { return m_shownPane; }
  void SetStatusText(int part, const QString& text);
  QString GetStatusText(int part) const;
  void UpdateTitle();

  int GetMainSplitterPos() const;
  int GetFolderSplitterPos() const;
  QSplitter* GetMainSplitter() const { return m_mainSplitter; }
  QSplitter* GetFolderSplitter() const { return m_folderSplitter; }
  CPaneContainer* GetPaneContainer() const { return m_paneContainer; }
  CFolderTree* GetFolderTree() const { return m_folderTree; }
  CMapView* GetMapView() const { return m_mapView; }
  CScaleBox* GetScaleBox() const { return m_scaleBox; }
  QWidget* GetViewSlot() const { return m_viewSlot; }
  QWidget* GetScaleBoxSlot() const { return m_scaleBoxSlot; }
  QToolBar* GetToolBar() const { return m_toolBar; }
  CMenuHelpTip* GetMenuHelpTip() const { return m_menuHelpTip; }
  // The property window while it is open, else null.
  CPropertyWindow* GetPropertyWindow() const;
  bool IsWindowDestroyed() const { return m_windowDestroyed; }
  // Called once the window has gone; the program's run ends its loop there.
  void SetWindowDestroyedHandler(std::function<void()> handler) {
    m_onWindowDestroyed = std::move(handler);
  }

  // CMapViewState: the map view carries these out once it is in place.
  void ZoomIn() override;
  void ZoomOut() override;
  void StartRangeZoom() override;
  void ZoomTo(double scale) override;
  void StartRectanglePick(CPickCallback* callback) override;
  void EndPick() override;
  void SetCursorPosition(const LatLon& position) override;
  void ClearCursorPosition() override;

  void OnViewStateChanged() override;

  void OnCoreDestroyed() override;
  void OnShowProperties() override;
  void OnNewRecord() override;
  void OnTreeChanged() override;
  void OnCurrentNodeChanged() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  struct CPaneEntry {
    QPointer<QWidget> window;
    uint32_t titleId;
    uint32_t commandId;
  };

  QAction* MakeCommandAction(uint32_t id, const char* menuText);
  void BuildMenus();
  void BuildToolBar();
  void BuildStatusBar();
  void BuildPanes();
  void PlaceSplitters();
  void SetCommandEnabled(uint32_t id, bool enabled);
  void SetCommandChecked(uint32_t id, bool checked);
  void ToggleToolBar();
  void ToggleStatusBar();
  void ShowAbout();
  void UpdateCursorStatus();
  // The end of a range zoom: picked is null when it was cancelled.
  void EndRangeZoom(const CGeoRect* picked);
  // Text typed into the property window goes into its record first; false
  // when the window refused it (it keeps the text and shows why).
  bool CommitPropertyEdit();
  // The frame's part of closing: views, splitter positions, listeners.
  void DestroyWindowParts();

  std::map<uint32_t, QAction*> m_actions;
  QToolBar* m_toolBar = nullptr;
  QWidget* m_scaleBoxSlot = nullptr;
  QLabel* m_statusParts[3] = {nullptr, nullptr, nullptr};
  QSplitter* m_mainSplitter = nullptr;
  CMapView* m_mapView = nullptr;
  CScaleBox* m_scaleBox = nullptr;
  std::unique_ptr<CAppMapViewHost> m_mapViewHost;
  std::unique_ptr<CRangeZoomCallback> m_rangeZoomCallback;
  QSplitter* m_folderSplitter = nullptr;
  QWidget* m_viewSlot = nullptr;
  QPointer<QWidget> m_viewWindow;
  CPaneContainer* m_paneContainer = nullptr;
  CFolderTree* m_folderTree = nullptr;
  CMenuHelpTip* m_menuHelpTip = nullptr;
  CKeypadShortcuts* m_keypadShortcuts = nullptr;
  QPointer<CPropertyWindow> m_propertyWindow;
  int m_shownPane = kPaneNone;
  CPaneEntry m_panes[2];
  // Splitter positions while the splitters cannot tell them (hidden or not
  // yet laid out).
  int m_mainSplitterPos = 0;
  int m_folderSplitterPos = 0;
  bool m_splittersPlaced = false;
  bool m_defaultMainSplitterPos = false;
  bool m_defaultFolderSplitterPos = false;
  bool m_created = false;
  bool m_windowDestroyed = false;
  std::function<void()> m_onWindowDestroyed;
};
