#include "app/MainFrame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <stdexcept>
#include <vector>

#include "app/AboutDialog.h"
#include "app/AppCore.h"
#include "app/AppIcons.h"
#include "app/AppMapViewHost.h"
#include "app/AppStrings.h"
#include "app/ClipboardCommands.h"
#include "app/CommandTable.h"
#include "app/DialogParts.h"
#include "app/FolderTree.h"
#include "app/KeypadShortcuts.h"
#include "app/MapPickCallbacks.h"
#include "app/MenuHelpTip.h"
#include "app/OptionsDialog.h"
#include "app/PaneContainer.h"
#include "app/PropertyWindow.h"
#include "app/RootFolder.h"
#include "app/RunGuarded.h"
#include "app/ScreenFit.h"
#include "app/SearchPane.h"
#include "location/Angle.h"
#include "location/CoordinateText.h"
#include "location/IteratorAdaptors.h"
#include "location/SettingsKey.h"
#include "mapview/MapView.h"
#include "mapview/PickCallback.h"
#include "mapview/ScaleBox.h"

namespace {

const char kSplitterPosValue[] = "SplitterPos";
const char kFolderSplitterPosValue[] = "FolderSplitterPos";

bool IsCheckCommand(uint32_t id) {
  return IsToolbarCheckButton(id) || id == ID_VIEW_TOOLBAR || id == ID_VIEW_STATUS_BAR ||
         id == ID_MAP_CONNECT;
}

// "+35,30,00.00": a position under the mouse as degrees, minutes, seconds.
QString DmsText(double degrees) {
  return QString::fromStdString(FormatDmsText(DegreesToDms(degrees)));
}

// The process-wide toolbar flag of the toggle command.
bool g_toolBarShown = true;

}  // namespace

CMainFrame::CMainFrame()
    : QMainWindow(nullptr),
      CMapViewState(GetAppCore()->GetSettingsKey()),
      m_mapViewHost(std::make_unique<CAppMapViewHost>(*this)),
      m_rangeZoomCallback(std::make_unique<CRangeZoomCallback>(
          [this](const CGeoRect* picked) { EndRangeZoom(picked); })) {
  setObjectName(QStringLiteral("MainFrame"));
  setWindowTitle(QString::fromStdString(LoadAppString(IDS_TITLE)));
  setWindowIcon(LoadAppIcon(IDI_PROGRAM));
  const QScreen* place = screen();
  resize(place ? FirstSize(place->availableGeometry()) : QSize(kDefaultWidth, kDefaultHeight));
}

QSize CMainFrame::FirstSize(const QRect& available) {
  return FitSizeInto(QSize(kDefaultWidth, kDefaultHeight), available);
}

CMainFrame::~CMainFrame() {
  CAppCore* core = GetAppCore();
  if (!m_windowDestroyed && m_created && core != nullptr) DestroyWindowParts();
  // Also after a Create that failed half-way: the core must not tell a frame
  // that is gone.
  if (core != nullptr) core->RemoveListener(this);
  RemoveListener(this);
  // The view goes while the host it calls still exists.
  delete m_mapView;
  m_mapView = nullptr;
}

void CMainFrame::Create() {
  if (m_created) return;
  CAppCore& core = *GetAppCore();
  m_menuHelpTip = new CMenuHelpTip(this);
  core.AddListener(this);
  core.SetMainWindow(this);
  BeginUpdate();
  CMapViewUpdateGuard update(this);
  AddListener(this);

  BuildMenus();
  BuildToolBar();
  BuildStatusBar();
  BuildPanes();
  AddListener(m_mapView);
  AddListener(m_scaleBox);

  // The database folder shows the records of the current day.
  m_folderTree->SelectNode(&core.GetRootFolder().GetDatabaseFolder());
  core.SetCurrentNode(&core.GetRootFolder().GetDatabaseFolder());

  QWidget* searchWindow = core.GetSearchSource().CreateWindow(m_paneContainer);
  if (searchWindow) searchWindow->hide();
  // The search pane picks its range on the map through the view state.
  if (CSearchPane* searchPane = CSearchPane::GetInstance())
    AddListener(&searchPane->GetViewStateListener());

  SetCommandChecked(ID_VIEW_TOOLBAR, true);
  SetCommandChecked(ID_VIEW_STATUS_BAR, true);
  m_panes[0] = {m_folderSplitter, IDS_PANE_FOLDER, ID_VIEW_FOLDER};
  m_panes[1] = {searchWindow, IDS_PANE_SEARCH, ID_VIEW_SEARCH};
  ShowPane(kPaneFolder);
  m_created = true;
  if (isVisible()) PlaceSplitters();
}

QAction* CMainFrame::MakeCommandAction(uint32_t id, const char* menuText) {
  auto it = m_actions.find(id);
  if (it != m_actions.end()) return it->second;
  auto* action = new QAction(this);
  action->setObjectName(QString::number(id));
  action->setData(QVariant::fromValue(id));
  if (menuText) action->setText(QString::fromUtf8(menuText));
  const std::string prompt = CommandPrompt(id);
  if (!prompt.empty()) action->setStatusTip(QString::fromStdString(prompt));
  const std::string shortName = CommandShortName(id);
  if (!shortName.empty()) action->setToolTip(QString::fromStdString(shortName));
  action->setIcon(CommandIcon(id));
  action->setIconVisibleInMenu(true);
  action->setCheckable(IsCheckCommand(id));
  connect(action, &QAction::triggered, this, [this, id, action](bool checked) {
    // The command sets its own check mark from the state before the click
    // (the range zoom starts or ends by it): Qt's own toggle is undone.
    if (action->isCheckable()) action->setChecked(!checked);
    RunGuarded(this, [&] { OnCommand(id); });
  });
  m_actions[id] = action;
  return action;
}

void CMainFrame::BuildMenus() {
  m_keypadShortcuts = new CKeypadShortcuts(this);
  for (const CMenuEntry& popup : FrameMenu()) {
    QMenu* menu = menuBar()->addMenu(QString::fromUtf8(popup.text));
    for (const CMenuEntry& entry : popup.items) {
      if (entry.IsSeparator()) {
        menu->addSeparator();
        continue;
      }
      QAction* action = MakeCommandAction(entry.id, entry.text);
      action->setShortcut(FindAccelerator(FrameAccelerators(), entry.id));
      m_keypadShortcuts->Add(action);
      menu->addAction(action);
    }
    m_menuHelpTip->Watch(menu);
  }
  // Keys of the frame's table without a menu item still reach the dispatcher.
  for (const CAccelerator& accelerator : FrameAccelerators()) {
    if (m_actions.count(accelerator.id) != 0) continue;
    QAction* action = MakeCommandAction(accelerator.id, nullptr);
    action->setShortcut(accelerator.keys);
    m_keypadShortcuts->Add(action);
    addAction(action);
  }
  // The record commands: their keys belong to the record list and the map,
  // so here they are only shown.
  for (const CMenuEntry& entry : RecordContextMenu()) {
    if (entry.IsSeparator()) continue;
    QAction* action = MakeCommandAction(entry.id, entry.text);
    action->setShortcut(FindAccelerator(RecordAccelerators(), entry.id));
    action->setShortcutContext(Qt::WidgetShortcut);
  }
  // The map catalogue is reloaded only where catalogues can be loaded.
  SetCommandEnabled(ID_MAP_RELOAD, GetAppCore()->CanLoadMaps());
}

void CMainFrame::BuildToolBar() {
  m_toolBar = new QToolBar(this);
  m_toolBar->setObjectName(QString::number(ID_VIEW_TOOLBAR));
  m_toolBar->setWindowTitle(QString::fromStdString(CommandShortName(ID_VIEW_TOOLBAR)));
  m_toolBar->setMovable(false);
  m_toolBar->setFloatable(false);
  m_toolBar->setIconSize(QSize(16, 16));
  // Button texts stand to the right of the images.
  m_toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  m_toolBar->toggleViewAction()->setVisible(false);
  int index = 0;
  for (uint32_t id : FrameToolbar()) {
    if (index == 5) {
      // The scale box's place, before the zoom-out button.
      m_scaleBoxSlot = new QWidget(m_toolBar);
      m_scaleBoxSlot->setObjectName(QString::number(ID_SCALE_BOX_SLOT));
      auto* slotLayout = new QHBoxLayout(m_scaleBoxSlot);
      slotLayout->setContentsMargins(0, 0, 0, 0);
      m_scaleBox = new CScaleBox(QString::fromStdString(LoadAppString(IDS_SCALE_SUFFIX)),
                                 [](QWidget* owner, const std::function<void()>& handler) {
                                   RunGuarded(owner, handler);
                                 },
                                 m_scaleBoxSlot);
      slotLayout->addWidget(m_scaleBox);
      m_toolBar->addWidget(m_scaleBoxSlot);
    }
    if (id == 0) {
      m_toolBar->addSeparator();
    } else {
      QAction* action = m_actions.at(id);
      QAction* button = new QAction(action->icon(),
                                    QString::fromStdString(CommandShortName(id)), m_toolBar);
      // The toolbar button follows the command's state and runs the command.
      button->setObjectName(action->objectName());
      button->setCheckable(action->isCheckable());
      button->setChecked(action->isChecked());
      button->setEnabled(action->isEnabled());
      button->setStatusTip(action->statusTip());
      button->setToolTip(action->toolTip());
      connect(action, &QAction::changed, button, [action, button] {
        button->setEnabled(action->isEnabled());
        button->setChecked(action->isChecked());
      });
      connect(button, &QAction::triggered, action, [action] { action->trigger(); });
      m_toolBar->addAction(button);
    }
    ++index;
  }
  addToolBar(Qt::TopToolBarArea, m_toolBar);
}

void CMainFrame::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName(QString::number(ID_VIEW_STATUS_BAR));
  bar->setSizeGripEnabled(true);
  for (int part = 0; part < 3; ++part) {
    m_statusParts[part] = new QLabel(bar);
    m_statusParts[part]->setObjectName(QStringLiteral("StatusPart%1").arg(part));
  }
  bar->addWidget(m_statusParts[0], 1);
  for (int part = 1; part < 3; ++part) {
    m_statusParts[part]->setFixedWidth(kStatusPartWidth);
    bar->addPermanentWidget(m_statusParts[part]);
  }
  SetStatusText(0, QString::fromStdString(LoadAppString(IDS_READY)));
}

void CMainFrame::BuildPanes() {
  m_mainSplitter = new QSplitter(Qt::Horizontal, this);
  m_mainSplitter->setObjectName(QStringLiteral("MainSplitter"));
  m_mainSplitter->setChildrenCollapsible(false);
  m_paneContainer = new CPaneContainer(m_mainSplitter);
  m_paneContainer->SetCloseHandler([this] { ShowPane(kPaneNone); });
  m_mapView = new CMapView(*m_mapViewHost, m_mainSplitter);
  m_mapViewHost->Attach(m_mapView);
  m_mainSplitter->addWidget(m_paneContainer);
  m_mainSplitter->addWidget(m_mapView);
  // A wider window widens the map; the left pane keeps its width.
  m_mainSplitter->setStretchFactor(0, 0);
  m_mainSplitter->setStretchFactor(1, 1);
  setCentralWidget(m_mainSplitter);

  m_folderSplitter = new QSplitter(Qt::Vertical, m_paneContainer);
  m_folderSplitter->setObjectName(QStringLiteral("FolderSplitter"));
  m_folderSplitter->setChildrenCollapsible(false);
  m_folderTree = new CFolderTree(m_folderSplitter);
  m_viewSlot = new QWidget(m_folderSplitter);
  m_viewSlot->setObjectName(QStringLiteral("ViewSlot"));
  auto* slotLayout = new QVBoxLayout(m_viewSlot);
  slotLayout->setContentsMargins(0, 0, 0, 0);
  m_folderSplitter->addWidget(m_folderTree);
  m_folderSplitter->addWidget(m_viewSlot);
  m_folderSplitter->setStretchFactor(0, 0);
  m_folderSplitter->setStretchFactor(1, 1);
  m_folderSplitter->hide();

  CSettingsKey& settings = GetAppCore()->GetSettingsKey();
  m_defaultMainSplitterPos = !settings.ReadDword(kSplitterPosValue, 0) &&
                             settings.ReadDword(kSplitterPosValue, 1) == 1;
  m_defaultFolderSplitterPos = !settings.ReadDword(kFolderSplitterPosValue, 0) &&
                               settings.ReadDword(kFolderSplitterPosValue, 1) == 1;
  m_mainSplitterPos = static_cast<int>(settings.ReadDword(kSplitterPosValue, width() / 4));
  m_folderSplitterPos = static_cast<int>(settings.ReadDword(kFolderSplitterPosValue, height() / 4));
  connect(m_mainSplitter, &QSplitter::splitterMoved, this,
          [this](int pos, int) { m_mainSplitterPos = pos; });
  connect(m_folderSplitter, &QSplitter::splitterMoved, this,
          [this](int pos, int) { m_folderSplitterPos = pos; });
}

void CMainFrame::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  RunGuarded(this, [&] {
    if (m_created && !m_splittersPlaced) PlaceSplitters();
  });
}

void CMainFrame::PlaceSplitters() {
  // Placed once the window has its size: the positions are pixels.
  if (QLayout* frameLayout = layout()) frameLayout->activate();
  if (m_defaultMainSplitterPos) m_mainSplitterPos = m_mainSplitter->width() / 4;
  if (m_defaultFolderSplitterPos) {
    QWidget* client = m_folderSplitter->parentWidget();
    m_folderSplitterPos = (client ? client->height() : m_folderSplitter->height()) / 4;
  }
  m_splittersPlaced = true;
  const int mainWidth = std::max(m_mainSplitter->width(), m_mainSplitterPos + 1);
  m_mainSplitter->setSizes({m_mainSplitterPos, mainWidth - m_mainSplitterPos});
  const int folderHeight = std::max(m_folderSplitter->height(), m_folderSplitterPos + 1);
  m_folderSplitter->setSizes({m_folderSplitterPos, folderHeight - m_folderSplitterPos});
}

int CMainFrame::GetMainSplitterPos() const {
  if (m_splittersPlaced && m_mainSplitter->isVisible() && !m_paneContainer->isHidden()) {
    const QList<int> sizes = m_mainSplitter->sizes();
    if (!sizes.isEmpty() && sizes.front() > 0) return sizes.front();
  }
  return m_mainSplitterPos;
}

int CMainFrame::GetFolderSplitterPos() const {
  if (m_splittersPlaced && m_folderSplitter->isVisible()) {
    const QList<int> sizes = m_folderSplitter->sizes();
    if (!sizes.isEmpty() && sizes.front() > 0) return sizes.front();
  }
  return m_folderSplitterPos;
}

void CMainFrame::BringToFront() {
  if (m_windowDestroyed) throw std::runtime_error("The main window is closed");
  show();
  setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  raise();
  activateWindow();
}

QAction* CMainFrame::GetCommandAction(uint32_t id) const {
  const auto it = m_actions.find(id);
  return it == m_actions.end() ? nullptr : it->second;
}

bool CMainFrame::IsCommandEnabled(uint32_t id) const {
  const QAction* action = GetCommandAction(id);
  return action == nullptr || action->isEnabled();
}

void CMainFrame::ExecuteCommand(uint32_t id) {
  if (!IsCommandEnabled(id)) return;
  if (QAction* action = GetCommandAction(id)) {
    action->trigger();
    return;
  }
  RunGuarded(this, [&] { OnCommand(id); });
}

QMenu* CMainFrame::CreateRecordContextMenu(QWidget* parent) {
  auto* menu = new QMenu(parent);
  for (const CMenuEntry& entry : RecordContextMenu()) {
    if (entry.IsSeparator())
      menu->addSeparator();
    else
      menu->addAction(m_actions.at(entry.id));
  }
  m_menuHelpTip->Watch(menu);
  return menu;
}

void CMainFrame::SetCommandEnabled(uint32_t id, bool enabled) {
  if (QAction* action = GetCommandAction(id)) action->setEnabled(enabled);
}

void CMainFrame::SetCommandChecked(uint32_t id, bool checked) {
  if (QAction* action = GetCommandAction(id)) action->setChecked(checked);
}

void CMainFrame::SetStatusText(int part, const QString& text) {
  if (part >= 0 && part < 3 && m_statusParts[part]) m_statusParts[part]->setText(text);
}

QString CMainFrame::GetStatusText(int part) const {
  return part >= 0 && part < 3 && m_statusParts[part] ? m_statusParts[part]->text() : QString();
}

void CMainFrame::OnCommand(uint32_t id) {
  if (!CommitPropertyEdit()) return;
  SetStatusText(0, QString::fromStdString(LoadAppString(IDS_READY)));
  CAppCore& core = *GetAppCore();
  CFileFolder& files = core.GetRootFolder().GetFileFolder();
  switch (id) {
    case ID_FILE_NEW:
      files.New();
      break;
    case ID_FILE_OPEN:
      files.Open();
      break;
    case ID_FILE_CLOSE:
      if (CLocationFileNode* file = files.Find(core.GetCurrentNode())) {
        if (file->CanClose()) files.Close(file);
      }
      break;
    case ID_FILE_SAVE:
      if (CLocationFileNode* file = files.Find(core.GetCurrentNode())) file->Save();
      break;
    case ID_FILE_SAVE_AS:
      if (CLocationFileNode* file = files.Find(core.GetCurrentNode())) file->SaveAs();
      break;
    case ID_APP_EXIT:
      QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
      break;
    case ID_VIEW_FOLDER:
      ShowPane(m_shownPane == kPaneFolder ? kPaneNone : kPaneFolder);
      break;
    case ID_VIEW_SEARCH:
      ShowPane(m_shownPane == kPaneSearch ? kPaneNone : kPaneSearch);
      break;
    case ID_VIEW_TOOLBAR:
      ToggleToolBar();
      break;
    case ID_VIEW_STATUS_BAR:
      ToggleStatusBar();
      break;
    case ID_MAP_ZOOM_IN:
      ZoomIn();
      break;
    case ID_MAP_ZOOM_OUT:
      ZoomOut();
      break;
    case ID_MAP_FIT:
      m_mapView->FitAllLocations();
      break;
    case ID_MAP_CENTER:
      m_mapView->CenterOnLocations();
      break;
    case ID_MAP_RANGE_ZOOM:
      if (!m_actions.at(ID_MAP_RANGE_ZOOM)->isChecked()) {
        SetCommandChecked(ID_MAP_RANGE_ZOOM, true);
        StartRangeZoom();
      } else {
        SetCommandChecked(ID_MAP_RANGE_ZOOM, false);
        EndPick();
      }
      break;
    case ID_MAP_CONNECT:
      SetConnectLocations(!GetConnectLocations());
      break;
    case ID_MAP_RELOAD:
      core.ReloadMaps();
      break;
    case ID_TOOL_RECEIVE:
      SetStatusText(0, QString::fromStdString(core.ReceiveMessages()));
      Notify();
      break;
    case ID_TOOL_OPTIONS:
      ShowOptions(core);
      break;
    case ID_HELP_CONTENTS:
      core.OpenHelp();
      break;
    case ID_APP_ABOUT:
      ShowAbout();
      break;
    case ID_EDIT_NEW_RECORD:
      CClipboardCommands(core).NewRecord();
      break;
    case ID_EDIT_CUT:
      CClipboardCommands(core).Cut();
      break;
    case ID_EDIT_COPY:
      CClipboardCommands(core).Copy();
      break;
    case ID_EDIT_COPY_AS_TEXT:
      CClipboardCommands(core).CopyAsText();
      break;
    case ID_EDIT_PASTE:
      CClipboardCommands(core).Paste();
      break;
    case ID_EDIT_DELETE:
      CClipboardCommands(core).Delete();
      break;
    case ID_EDIT_SELECT_ALL: {
      std::vector<int32_t> all(static_cast<std::size_t>(std::max(0, core.GetActiveRecordCount())));
      for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int32_t>(i);
      core.SetActiveSelection(MakeIntPtrIterator(all.data()),
                              MakeIntPtrIterator(all.data() + all.size()));
      break;
    }
    case ID_EDIT_PROPERTIES:
      core.BroadcastShowProperties();
      break;
    default:
      // F6, Shift+F6, Ctrl+U and Ctrl+Y: nothing answers them.
      break;
  }
}

void CMainFrame::ShowPane(int index) {
  BeginUpdate();
  CMapViewUpdateGuard update(this);
  if (index == kPaneNone && !m_paneContainer->isHidden()) m_mainSplitterPos = GetMainSplitterPos();
  for (int i = 0; i < 2; ++i) {
    SetCommandChecked(m_panes[i].commandId, i == index);
    if (m_panes[i].window) m_panes[i].window->setVisible(i == index);
  }
  if (index == kPaneFolder || index == kPaneSearch) {
    GetAppCore()->SetSearchMode(index != kPaneFolder);
    const bool wasHidden = m_paneContainer->isHidden();
    m_paneContainer->show();
    m_paneContainer->SetTitle(QString::fromStdString(LoadAppString(m_panes[index].titleId)));
    m_paneContainer->SetClient(m_panes[index].window);
    if (wasHidden && m_splittersPlaced) {
      const int total = std::max(m_mainSplitter->width(), m_mainSplitterPos + 1);
      m_mainSplitter->setSizes({m_mainSplitterPos, total - m_mainSplitterPos});
    }
  } else {
    m_paneContainer->hide();
  }
  m_shownPane = index;
  UpdateTitle();
}

void CMainFrame::UpdateTitle() {
  CAppCore* core = GetAppCore();
  if (core == nullptr) return;
  std::string name;
  if (core->IsSearchMode())
    name = LoadAppString(IDS_SEARCH_RESULTS);
  else if (core->GetCurrentNode())
    name = core->GetCurrentNode()->GetTitle();
  const std::string title = LoadAppString(IDS_TITLE);
  const QString text = QString::fromStdString(name.empty() ? title : name + " - " + title);
  if (windowTitle() != text) setWindowTitle(text);
  SetCommandChecked(ID_MAP_CONNECT, GetConnectLocations());
}

void CMainFrame::ToggleToolBar() {
  g_toolBarShown = !g_toolBarShown;
  m_toolBar->setVisible(g_toolBarShown);
  SetCommandChecked(ID_VIEW_TOOLBAR, g_toolBarShown);
}

void CMainFrame::ToggleStatusBar() {
  const bool show = statusBar()->isHidden();
  statusBar()->setVisible(show);
  SetCommandChecked(ID_VIEW_STATUS_BAR, show);
}

void CMainFrame::ShowAbout() {
  CAboutDialog dialog(ActiveWindowOr(this));
  dialog.exec();
}

void CMainFrame::ZoomIn() {
  if (m_mapView) m_mapView->ZoomIn();
}

void CMainFrame::ZoomOut() {
  if (m_mapView) m_mapView->ZoomOut();
}

void CMainFrame::StartRangeZoom() {
  if (m_mapView) m_mapView->SetRectanglePickTool(m_rangeZoomCallback.get());
}

void CMainFrame::ZoomTo(double scale) {
  if (m_mapView) m_mapView->ZoomTo(scale);
}

void CMainFrame::StartRectanglePick(CPickCallback* callback) {
  if (!m_mapView) {
    // Without a map view there is nothing to pick on.
    if (callback) callback->OnPickCancelled();
    return;
  }
  m_mapView->SetRectanglePickTool(new CForwardingPickCallback(callback));
}

void CMainFrame::EndPick() {
  if (m_mapView) m_mapView->SetSelectTool();
}

void CMainFrame::EndRangeZoom(const CGeoRect* picked) {
  SetCommandChecked(ID_MAP_RANGE_ZOOM, false);
  if (picked && m_mapView) m_mapView->ZoomToRect(*picked);
  EndPick();
}

void CMainFrame::SetCursorPosition(const LatLon& position) {
  CMapViewState::SetCursorPosition(position);
  UpdateCursorStatus();
}

void CMainFrame::ClearCursorPosition() {
  CMapViewState::ClearCursorPosition();
  UpdateCursorStatus();
}

void CMainFrame::UpdateCursorStatus() {
  if (HasCursorPosition()) {
    const LatLon position = GetCursorPosition();
    SetStatusText(1, DmsText(position.first));
    SetStatusText(2, DmsText(position.second));
  } else {
    SetStatusText(1, QString());
    SetStatusText(2, QString());
  }
}

void CMainFrame::OnViewStateChanged() { UpdateTitle(); }

void CMainFrame::OnCoreDestroyed() {
  if (m_windowDestroyed || !m_created) return;
  DestroyWindowParts();
  hide();
}

CPropertyWindow* CMainFrame::GetPropertyWindow() const { return m_propertyWindow; }

bool CMainFrame::CommitPropertyEdit() {
  // The frame's shortcuts work while the property window is active and the
  // focus stays in its edit: a save or a close would miss what was typed.
  CPropertyWindow* window = m_propertyWindow;
  return window == nullptr || RunGuarded(window, [window] { window->CommitPendingEdit(); });
}

void CMainFrame::OnShowProperties() {
  // A window that is closing is on its way out: a new one takes its place.
  if (m_propertyWindow && m_propertyWindow->isVisible()) {
    m_propertyWindow->raise();
    m_propertyWindow->activateWindow();
    return;
  }
  m_propertyWindow = new CPropertyWindow(*GetAppCore(), this);
  m_propertyWindow->show();
  m_propertyWindow->activateWindow();
}

void CMainFrame::OnNewRecord() {
  if (m_mapView) m_mapView->SetPointPickTool(new CNewRecordCallback(*m_mapView));
}

void CMainFrame::OnTreeChanged() { UpdateTitle(); }

void CMainFrame::OnCurrentNodeChanged() {
  CAppCore& core = *GetAppCore();
  if (CRecordSource* view = core.GetCurrentView()) {
    if (QWidget* window = view->CreateWindow(m_viewSlot)) {
      m_viewSlot->layout()->addWidget(window);
      window->show();
      m_viewWindow = window;
    }
  }
  const bool isFile = core.GetRootFolder().GetFileFolder().Find(core.GetCurrentNode()) != nullptr;
  for (uint32_t id : {ID_FILE_CLOSE, ID_FILE_SAVE, ID_FILE_SAVE_AS}) SetCommandEnabled(id, isFile);
  const bool writable = core.GetCurrentView() && !core.GetCurrentView()->IsReadOnly();
  for (uint32_t id : {ID_EDIT_NEW_RECORD, ID_EDIT_CUT, ID_EDIT_PASTE, ID_EDIT_DELETE})
    SetCommandEnabled(id, writable);
  UpdateTitle();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  event->ignore();
  RunGuarded(this, [&] {
    if (m_windowDestroyed || !CommitPropertyEdit() || !GetAppCore()->CanCloseAll()) return;
    event->accept();
    DestroyWindowParts();
  });
}

void CMainFrame::DestroyWindowParts() {
  CAppCore& core = *GetAppCore();
  m_windowDestroyed = true;
  // A pane that fails to go is shown; the rest still runs, or the loop would
  // never end and the core would keep the frame.
  RunGuarded(this, [&] {
    EndPick();
    if (CRecordSource* view = core.GetCurrentView()) view->DestroyWindow();
  });
  RunGuarded(this, [&] {
    // The map's tiles and images go with its window; the core's events no
    // longer reach it.
    m_mapViewHost->Detach();
    if (m_mapView) m_mapView->ReleaseWindowResources();
  });
  RunGuarded(this, [&] { core.GetSearchSource().DestroyWindow(); });
  // The property window keeps its place and leaves the core while both exist.
  delete m_propertyWindow.data();
  RunGuarded(this, [&] {
    CSettingsKey& settings = core.GetSettingsKey();
    settings.WriteDword(kSplitterPosValue, static_cast<uint32_t>(std::max(0, GetMainSplitterPos())));
    settings.WriteDword(kFolderSplitterPosValue,
                        static_cast<uint32_t>(std::max(0, GetFolderSplitterPos())));
  });
  if (core.GetMainWindow() == this) core.SetMainWindow(nullptr);
  core.RemoveListener(this);
  if (m_onWindowDestroyed) m_onWindowDestroyed();
}
