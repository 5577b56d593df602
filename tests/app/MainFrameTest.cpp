#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <stdexcept>

#include "app/AboutDialog.h"
#include "app/CommandIds.h"
#include "app/EmptyView.h"
#include "app/FolderTree.h"
#include "app/HomePage.h"
#include "app/MainFrame.h"
#include "app/MenuHelpTip.h"
#include "app/PaneContainer.h"
#include "mapview/MapView.h"
#include "tests/app/AppTestSupport.h"

namespace {

class MainFrameTest : public AppTest {
 protected:
  void Start(bool show = true) {
    core = MakeCore();
    frame = std::make_unique<CMainFrame>();
    frame->Create();
    if (show) {
      frame->show();
      QApplication::setActiveWindow(frame.get());
      ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    }
  }
  void Stop() {
    if (frame && !frame->IsWindowDestroyed()) frame->close();
    frame.reset();
    core.reset();
    FlushDeletes();
  }
  ~MainFrameTest() override { Stop(); }

  QString Status(int part) const { return frame->GetStatusText(part); }
  QAction* Action(uint32_t id) const { return frame->GetCommandAction(id); }

  std::unique_ptr<CAppCore> core;
  std::unique_ptr<CMainFrame> frame;
};

TEST_F(MainFrameTest, StartsWithTheDatabaseFolderTitleAndReady) {
  Start();
  EXPECT_EQ(frame->windowTitle(), QStringLiteral("マイルモ - Quor Lumo Folvane"));
  EXPECT_EQ(Status(0), QStringLiteral("レディ"));
  EXPECT_EQ(Status(1), QString());
  EXPECT_EQ(Status(2), QString());
  EXPECT_EQ(core->GetMainWindow(), frame.get());
  EXPECT_EQ(core->GetCurrentNode(), &core->GetRootFolder().GetDatabaseFolder());

  QTreeWidget* tree = frame->GetFolderTree()->GetTree();
  ASSERT_EQ(tree->topLevelItemCount(), 1);
  QTreeWidgetItem* root = tree->topLevelItem(0);
  EXPECT_EQ(root->text(0), QStringLiteral("Quor Lumo Folvane"));
  ASSERT_EQ(root->childCount(), 2);
  EXPECT_EQ(root->child(0)->text(0), QStringLiteral("マイルモ"));
  EXPECT_EQ(root->child(1)->text(0), QStringLiteral("ファイル"));
  EXPECT_TRUE(root->isExpanded());
  EXPECT_EQ(tree->currentItem(), root->child(0));
  EXPECT_EQ(frame->GetPaneContainer()->GetTitle(), QStringLiteral("フォルダ"));
  EXPECT_TRUE(Action(ID_VIEW_FOLDER)->isChecked());
  EXPECT_FALSE(Action(ID_VIEW_SEARCH)->isChecked());
}

TEST_F(MainFrameTest, MenusHoldEveryCommandEnabledAsTheCurrentFolderAllows) {
  Start();
  const QList<QAction*> menus = frame->menuBar()->actions();
  ASSERT_EQ(menus.size(), 5);
  EXPECT_EQ(menus[0]->text(), QStringLiteral("ファイル(&F)"));
  EXPECT_EQ(menus[4]->text(), QStringLiteral("ヘルプ(&H)"));
  const QList<QAction*> mapItems = menus[2]->menu()->actions();
  ASSERT_EQ(mapItems.size(), 9);
  EXPECT_EQ(mapItems[0]->text(), QStringLiteral("拡大(&Z)"));
  EXPECT_TRUE(mapItems[5]->isSeparator());
  // The day folder is current: no file commands, no edits of its records, and
  // no catalogue to reload without a loader.
  for (uint32_t id : {57602u, 57603u, 57604u, 32786u, 32792u, 57635u, 57637u, 32791u})
    EXPECT_FALSE(Action(id)->isEnabled()) << id;
  for (uint32_t id : {57600u, 57601u, 57665u, 32779u, 32780u, 59392u, 59393u, 32773u, 32774u,
                      32772u, 32797u, 32778u, 32777u, 32784u, 32785u, 57666u, 57664u, 57642u,
                      57634u, 32798u, 57858u})
    EXPECT_TRUE(Action(id)->isEnabled()) << id;
  EXPECT_EQ(Action(ID_FILE_NEW)->shortcut(), QKeySequence(QStringLiteral("Ctrl+N")));
  EXPECT_EQ(Action(ID_EDIT_PROPERTIES)->shortcut(), QKeySequence(QStringLiteral("Alt+Return")));
  EXPECT_EQ(Action(ID_TOOL_RECEIVE)->statusTip(),
            QStringLiteral("メッセージサーバーから、最新の位置記録をダウンロードします。"));
  // A disabled command does nothing when it is asked for.
  frame->ExecuteCommand(ID_EDIT_DELETE);
  EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(MainFrameTest, ToolbarShowsTextsBesideImagesCheckButtonsAndTheScaleBoxSlot) {
  Start();
  QToolBar* toolbar = frame->GetToolBar();
  EXPECT_EQ(toolbar->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
  const QList<QAction*> buttons = toolbar->actions();
  ASSERT_EQ(buttons.size(), 11);
  EXPECT_EQ(buttons[0]->text(), QStringLiteral("受信"));
  EXPECT_TRUE(buttons[1]->isSeparator());
  EXPECT_EQ(buttons[2]->text(), QStringLiteral("フォルダ"));
  EXPECT_TRUE(buttons[2]->isCheckable());
  EXPECT_TRUE(buttons[2]->isChecked());
  EXPECT_TRUE(buttons[3]->isCheckable());
  EXPECT_EQ(toolbar->widgetForAction(buttons[5]), frame->GetScaleBoxSlot());
  EXPECT_EQ(buttons[6]->text(), QStringLiteral("縮小"));
  EXPECT_TRUE(buttons[10]->isCheckable());
  EXPECT_TRUE(buttons[10]->isEnabled());
  // Pressing the search button switches the pane and checks it.
  buttons[3]->trigger();
  EXPECT_TRUE(buttons[3]->isChecked());
  EXPECT_FALSE(buttons[2]->isChecked());
  EXPECT_EQ(frame->GetShownPane(), CMainFrame::kPaneSearch);
}

TEST_F(MainFrameTest, PaneCommandsSwitchPanesSearchModeAndTitle) {
  Start();
  frame->ExecuteCommand(ID_VIEW_FOLDER);
  EXPECT_EQ(frame->GetShownPane(), CMainFrame::kPaneNone);
  EXPECT_TRUE(frame->GetPaneContainer()->isHidden());
  EXPECT_FALSE(core->IsSearchMode());
  frame->ExecuteCommand(ID_VIEW_FOLDER);
  EXPECT_EQ(frame->GetShownPane(), CMainFrame::kPaneFolder);
  EXPECT_FALSE(frame->GetPaneContainer()->isHidden());

  frame->ExecuteCommand(ID_VIEW_SEARCH);
  EXPECT_TRUE(core->IsSearchMode());
  EXPECT_EQ(frame->windowTitle(), QStringLiteral("検索結果 - Quor Lumo Folvane"));
  EXPECT_EQ(frame->GetPaneContainer()->GetTitle(), QStringLiteral("検索"));
  EXPECT_TRUE(Action(ID_VIEW_SEARCH)->isChecked());
  // Hiding the search pane keeps the search results on the map.
  frame->GetPaneContainer()->GetCloseButton()->click();
  EXPECT_EQ(frame->GetShownPane(), CMainFrame::kPaneNone);
  EXPECT_TRUE(core->IsSearchMode());
  EXPECT_FALSE(Action(ID_VIEW_SEARCH)->isChecked());
  frame->ExecuteCommand(ID_VIEW_FOLDER);
  EXPECT_FALSE(core->IsSearchMode());
  EXPECT_EQ(frame->windowTitle(), QStringLiteral("マイルモ - Quor Lumo Folvane"));
}

TEST_F(MainFrameTest, BothAcceleratorTablesFire) {
  Start();
  QTest::keyClick(frame.get(), Qt::Key_D, Qt::ControlModifier);
  EXPECT_EQ(frame->GetShownPane(), CMainFrame::kPaneNone);
  QTest::keyClick(frame.get(), Qt::Key_F, Qt::ControlModifier);
  EXPECT_EQ(frame->GetShownPane(), CMainFrame::kPaneSearch);
  QTest::keyClick(frame.get(), Qt::Key_F1);
  ASSERT_EQ(openedHelp.size(), 1u);
  EXPECT_EQ(openedHelp[0], programFolder.path().toStdString() + "/QlFolvane.html");
  QTest::keyClick(frame.get(), Qt::Key_G, Qt::ControlModifier);
  EXPECT_TRUE(frame->GetConnectLocations());
  EXPECT_TRUE(Action(ID_MAP_CONNECT)->isChecked());
  // The keys nobody answers still only reset the status text.
  frame->SetStatusText(0, QStringLiteral("x"));
  QTest::keyClick(frame.get(), Qt::Key_F6);
  EXPECT_EQ(Status(0), QStringLiteral("レディ"));
}

TEST_F(MainFrameTest, AThrowingHandlerShowsTheBoxAndTheProgramGoesOn) {
  RemoveDefaultDatabase();
  prompter.answers = {EPromptAnswer::No};
  Start();
  prompter.shown.clear();
  frame->SetStatusText(0, QStringLiteral("earlier"));
  QTest::keyClick(frame.get(), Qt::Key_M, Qt::ControlModifier);
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(prompter.shown[0].kind, EPromptKind::Error);
  EXPECT_EQ(prompter.shown[0].text, "Database Not Ready");
  EXPECT_EQ(prompter.shown[0].caption, "Quor Lumo Folvane");
  EXPECT_EQ(prompter.shown[0].owner, frame.get());
  EXPECT_EQ(Status(0), QStringLiteral("レディ"));
  // Still answering.
  frame->ExecuteCommand(ID_VIEW_FOLDER);
  EXPECT_EQ(frame->GetShownPane(), CMainFrame::kPaneNone);
}

TEST_F(MainFrameTest, ToolbarAndStatusBarToggle) {
  Start();
  EXPECT_TRUE(Action(ID_VIEW_TOOLBAR)->isChecked());
  frame->ExecuteCommand(ID_VIEW_TOOLBAR);
  EXPECT_TRUE(frame->GetToolBar()->isHidden());
  EXPECT_FALSE(Action(ID_VIEW_TOOLBAR)->isChecked());
  frame->ExecuteCommand(ID_VIEW_TOOLBAR);
  EXPECT_FALSE(frame->GetToolBar()->isHidden());
  frame->ExecuteCommand(ID_VIEW_STATUS_BAR);
  EXPECT_TRUE(frame->statusBar()->isHidden());
  EXPECT_FALSE(Action(ID_VIEW_STATUS_BAR)->isChecked());
  frame->ExecuteCommand(ID_VIEW_STATUS_BAR);
  EXPECT_FALSE(frame->statusBar()->isHidden());
  EXPECT_TRUE(Action(ID_VIEW_STATUS_BAR)->isChecked());
}

TEST_F(MainFrameTest, SplittersStartAtAQuarterAndPersistAlsoWithTheLeftPaneHidden) {
  Start();
  const int mainWidth = frame->GetMainSplitter()->width();
  // A quarter, unless the left pane cannot be that narrow (the test screen
  // makes the window smaller than usual).
  const int quarter =
      std::max(mainWidth / 4, frame->GetPaneContainer()->minimumSizeHint().width());
  EXPECT_NEAR(frame->GetMainSplitterPos(), quarter, 2);
  const int folderPos = frame->GetFolderSplitterPos();
  EXPECT_GT(folderPos, 0);
  frame->GetMainSplitter()->setSizes({300, mainWidth - 300});
  frame->GetFolderSplitter()->setSizes({150, 300});
  Stop();
  EXPECT_EQ(store->Dword("SplitterPos"), 300u);
  EXPECT_EQ(store->Dword("FolderSplitterPos"), 150u);

  Start();
  EXPECT_EQ(frame->GetMainSplitter()->sizes().front(), 300);
  EXPECT_EQ(frame->GetFolderSplitter()->sizes().front(), 150);
  frame->ExecuteCommand(ID_VIEW_FOLDER);  // hides the left pane
  Stop();
  EXPECT_EQ(store->Dword("SplitterPos"), 300u);
  EXPECT_EQ(store->Dword("FolderSplitterPos"), 150u);

  Start();
  EXPECT_EQ(frame->GetMainSplitter()->sizes().front(), 300);
}

// The test screen is smaller than the usual first size.
TEST_F(MainFrameTest, TheFirstWindowFitsTheFreeAreaOfItsScreen) {
  Start();
  const QRect available = frame->screen()->availableGeometry();
  EXPECT_TRUE(available.contains(frame->frameGeometry()))
      << frame->frameGeometry().width() << "x" << frame->frameGeometry().height() << " in "
      << available.width() << "x" << available.height();
  QStatusBar* status = frame->statusBar();
  EXPECT_TRUE(available.contains(QRect(status->mapToGlobal(QPoint(0, 0)), status->size())));
  // Where there is room it has the usual size; on a 1280 x 800 screen at
  // twice the density (640 x 400) it can be as small as it is made.
  EXPECT_EQ(CMainFrame::FirstSize(QRect(0, 0, 1920, 1050)),
            QSize(CMainFrame::kDefaultWidth, CMainFrame::kDefaultHeight));
  const QSize small = CMainFrame::FirstSize(QRect(0, 0, 640, 400));
  frame->resize(small);
  EXPECT_EQ(frame->size(), small);
}

TEST_F(MainFrameTest, ViewStateAndConnectFlagPersistWithTheFrame) {
  Start();
  frame->ExecuteCommand(ID_MAP_CONNECT);
  frame->SetScale(1e-05);
  Stop();
  EXPECT_EQ(std::get<std::vector<uint8_t>>(store->values.at("ConnectLocations")),
            std::vector<uint8_t>{1});
  EXPECT_EQ(store->String("ViewScale"), "1e-05");
  Start();
  EXPECT_TRUE(Action(ID_MAP_CONNECT)->isChecked());
  EXPECT_EQ(frame->GetScale(), 1e-05);
}

TEST_F(MainFrameTest, CursorPositionShowsInTheStatusBarAsDegreesMinutesSeconds) {
  Start();
  frame->SetCursorPosition({35.5, -139.75});
  EXPECT_EQ(Status(1), QStringLiteral("+35,30,00.00"));
  EXPECT_EQ(Status(2), QStringLiteral("-139,45,00.00"));
  frame->ClearCursorPosition();
  EXPECT_EQ(Status(1), QString());
  EXPECT_EQ(Status(2), QString());
}

TEST_F(MainFrameTest, TheHomePageLeadsToItsFolders) {
  Start();
  QTreeWidget* tree = frame->GetFolderTree()->GetTree();
  tree->setCurrentItem(tree->topLevelItem(0));
  EXPECT_EQ(core->GetCurrentNode(), &core->GetRootFolder());
  EXPECT_EQ(frame->windowTitle(), QStringLiteral("Quor Lumo Folvane - Quor Lumo Folvane"));
  auto* home = dynamic_cast<CHomePage*>(core->GetCurrentView());
  ASSERT_NE(home, nullptr);
  ASSERT_NE(home->GetForm(), nullptr);
  EXPECT_EQ(home->GetForm()->parentWidget(), frame->GetViewSlot());
  home->GetForm()->GetFileButton()->click();
  EXPECT_EQ(core->GetCurrentNode(), &core->GetRootFolder().GetFileFolder());
  EXPECT_EQ(tree->currentItem()->text(0), QStringLiteral("ファイル"));
  EXPECT_EQ(frame->windowTitle(), QStringLiteral("ファイル - Quor Lumo Folvane"));
  FlushDeletes();
}

TEST_F(MainFrameTest, RestingOnAMenuItemShowsItsPromptBelowTheCaption) {
  Start();
  QMenu* mapMenu = frame->menuBar()->actions()[2]->menu();
  mapMenu->popup(frame->mapToGlobal(QPoint(10, 10)));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(mapMenu));
  CMenuHelpTip* tip = frame->GetMenuHelpTip();
  mapMenu->setActiveAction(Action(ID_MAP_ZOOM_IN));
  EXPECT_EQ(tip->GetShownText(), QString());  // waits for the delay first
  QTRY_COMPARE_WITH_TIMEOUT(tip->GetShownText(), QStringLiteral("地図の表示を拡大します。"),
                            tip->GetInitialDelay() + 2000);
  mapMenu->setActiveAction(Action(ID_MAP_ZOOM_OUT));
  EXPECT_EQ(tip->GetShownText(), QStringLiteral("地図の表示を縮小します。"));  // at once
  mapMenu->hide();
  EXPECT_EQ(tip->GetShownText(), QString());
}

TEST_F(MainFrameTest, TheAboutDialogShowsTheVersion) {
  Start();
  QString title, text;
  QTimer closer;
  closer.setInterval(10);
  QObject::connect(&closer, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    title = dialog->windowTitle();
    for (QLabel* label : dialog->findChildren<QLabel*>())
      if (label->text().startsWith(QStringLiteral("Quor"))) text = label->text();
    dialog->accept();
  });
  closer.start();
  frame->ExecuteCommand(ID_APP_ABOUT);
  EXPECT_EQ(title, QStringLiteral("バージョン情報"));
  EXPECT_EQ(text, QStringLiteral("Quor Lumo Folvane\nVersion 1.0.1"));
}

TEST_F(MainFrameTest, ClosingWritesTheSettingsAndLeavesNoListenerBehind) {
  Start();
  frame->close();
  EXPECT_TRUE(frame->IsWindowDestroyed());
  EXPECT_EQ(core->GetMainWindow(), nullptr);
  EXPECT_TRUE(store->Has("SplitterPos"));
  // Events after the window went reach nothing of it.
  core->SetCurrentNode(&core->GetRootFolder());
  EXPECT_EQ(frame->windowTitle(), QStringLiteral("マイルモ - Quor Lumo Folvane"));
}

}  // namespace

namespace {

TEST_F(MainFrameTest, AFrameThatFailsHalfWayLeavesNothingOfItWithTheCore) {
  core = MakeCore();
  frame = std::make_unique<CMainFrame>();
  store->failReads = true;
  EXPECT_THROW(frame->Create(), std::runtime_error);
  store->failReads = false;
  frame.reset();
  // The core's events, its going included, reach no frame that is gone.
  core->SetCurrentNode(&core->GetRootFolder());
  EXPECT_EQ(core->GetMainWindow(), nullptr);
  core.reset();
}

// A folder whose pane cannot be taken down.
class CStuckView : public CEmptyView {
 public:
  void DestroyWindow() override { throw std::runtime_error("pane stuck"); }
};

class CStuckNode : public CTreeNode {
 public:
  std::string GetTitle() const override { return "stuck"; }
  QIcon GetIcon() const override { return QIcon(); }
  void EnumChildren(CNodeOutputIteratorRef) override {}
  void Search(const CSearchCriteria&, CRecordOutputIteratorRef) override {}
  std::unique_ptr<CRecordSource> CreateView(CRecordSourceObserver*) override {
    return std::make_unique<CStuckView>();
  }
};

TEST_F(MainFrameTest, ClosingFinishesAlsoWhenAPaneCannotBeTakenDown) {
  Start();
  CStuckNode stuck;
  core->SetCurrentNode(&stuck);
  bool ended = false;
  frame->SetWindowDestroyedHandler([&] { ended = true; });
  frame->close();
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(prompter.shown[0].text, "pane stuck");
  // The run still ends, the splitters are kept and the core forgets the window.
  EXPECT_TRUE(ended);
  EXPECT_TRUE(store->Has("SplitterPos"));
  EXPECT_EQ(core->GetMainWindow(), nullptr);
  core->SetCurrentNode(&core->GetRootFolder());
}

}  // namespace
