// The map view and the scale box in the main frame: the map commands, the
// range zoom and the rectangle pick handed to other parts, the cursor
// position in the status bar, the record commands on the map, new records
// put where the user clicks, and the day view refusing to be dragged.
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QSplitter>
#include <QTest>
#include <QTimer>

#include "app/CommandIds.h"
#include "app/FileFolder.h"
#include "app/LocalDay.h"
#include "app/LocationFileNode.h"
#include "app/LocationFileView.h"
#include "app/MainFrame.h"
#include "location/CoordinateText.h"
#include "location/IteratorAdaptors.h"
#include "location/LocationDatabase.h"
#include "location/RecordCollection.h"
#include "mapview/MapTool.h"
#include "mapview/MapView.h"
#include "mapview/PickCallback.h"
#include "mapview/ScaleBox.h"
#include "tests/app/AppTestSupport.h"

namespace {

class CCountingCallback : public CPickCallback {
 public:
  void OnPickCancelled() override { ++cancelled; }
  void OnPicked(const void* result) override {
    ++picked;
    rect = *static_cast<const CGeoRect*>(result);
  }
  int cancelled = 0;
  int picked = 0;
  CGeoRect rect;
};

class MapFrameTest : public AppTest {
 protected:
  ~MapFrameTest() override {
    // Without closing the window: nothing asks about modified files.
    frame.reset();
    core.reset();
    FlushDeletes();
  }
  // Today's records go into the database before the frame shows them.
  void Start(const std::vector<CLocationRecord>& today = {}) {
    core = MakeCore();
    if (!today.empty()) {
      const CRecordVectorCollection records(today);
      CAddRecordsOperation adding(records);
      core->GetRootFolder().GetDatabaseFolder().RunQuery(adding);
    }
    frame = std::make_unique<CMainFrame>();
    frame->Create();
    frame->show();
    QApplication::setActiveWindow(frame.get());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    map = frame->GetMapView();
  }
  QWidget* Surface() const { return map->viewport(); }
  QAction* Action(uint32_t id) const { return frame->GetCommandAction(id); }
  template <class Tool>
  bool Uses() const {
    return dynamic_cast<Tool*>(map->GetTool()) != nullptr;
  }
  void Drag(QPoint from, QPoint to) {
    QTest::mousePress(Surface(), Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(Surface(), (from + to) / 2);
    QTest::mouseMove(Surface(), to);
    QTest::mouseRelease(Surface(), Qt::LeftButton, Qt::NoModifier, to);
  }
  // A click whose pointer moves a pixel between press and release.
  void Wobble(QPoint at) {
    QTest::mousePress(Surface(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseMove(Surface(), at + QPoint(1, 0));
    QTest::mouseRelease(Surface(), Qt::LeftButton, Qt::NoModifier, at + QPoint(1, 0));
  }
  std::vector<int32_t> ActiveSelection() const {
    std::vector<int32_t> selection;
    core->GetActiveSelection(MakeIntBackInserter(selection));
    return selection;
  }
  std::vector<CLocationRecord> ActiveRecords() const {
    std::vector<CLocationRecord> records;
    core->ActiveSource().EnumerateAll(MakeRecordBackInserter(records));
    return records;
  }

  std::unique_ptr<CAppCore> core;
  std::unique_ptr<CMainFrame> frame;
  CMapView* map = nullptr;
};

TEST_F(MapFrameTest, TheMapAndTheScaleBoxFollowTheViewStateAndTheMapCommands) {
  Start();
  EXPECT_EQ(map->parentWidget(), frame->GetMainSplitter());
  EXPECT_EQ(frame->GetMainSplitter()->widget(1), map);
  CScaleBox* box = frame->GetScaleBox();
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(frame->GetScaleBoxSlot()->isAncestorOf(box));
  EXPECT_EQ(box->GetComboBox()->currentText(), QStringLiteral("25000分の1"));

  frame->ExecuteCommand(ID_MAP_ZOOM_IN);
  EXPECT_EQ(frame->GetScale(), 8e-05);
  EXPECT_EQ(box->GetComboBox()->currentText(), QStringLiteral("12500分の1"));
  frame->ExecuteCommand(ID_MAP_ZOOM_OUT);
  frame->ExecuteCommand(ID_MAP_ZOOM_OUT);
  EXPECT_EQ(frame->GetScale(), 2e-05);
  // Typed into the box, through the frame to the map.
  box->GetComboBox()->lineEdit()->setText(QStringLiteral("10000"));
  QTest::keyClick(box->GetComboBox(), Qt::Key_Return);
  EXPECT_EQ(frame->GetScale(), 1e-04);

  frame->ExecuteCommand(ID_MAP_CONNECT);
  EXPECT_TRUE(frame->GetConnectLocations());
  EXPECT_TRUE(Action(ID_MAP_CONNECT)->isChecked());
  frame->ExecuteCommand(ID_MAP_CONNECT);
  EXPECT_FALSE(Action(ID_MAP_CONNECT)->isChecked());

  // The position under the pointer, in the status bar until it leaves.
  QTest::mouseMove(Surface(), QPoint(30, 40));
  const LatLon at = map->PixelToLatLon({30, 40});
  EXPECT_EQ(frame->GetStatusText(1), QString::fromStdString(FormatDmsText(DegreesToDms(at.first))));
  EXPECT_EQ(frame->GetStatusText(2),
            QString::fromStdString(FormatDmsText(DegreesToDms(at.second))));
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(Surface(), &leave);
  EXPECT_EQ(frame->GetStatusText(1), QString());
  EXPECT_EQ(frame->GetStatusText(2), QString());
}

TEST_F(MapFrameTest, RangeZoomAndRectanglePicksEndAsTheirCallersSay) {
  Start();
  map->Render();
  frame->ExecuteCommand(ID_MAP_RANGE_ZOOM);
  EXPECT_TRUE(Action(ID_MAP_RANGE_ZOOM)->isChecked());
  EXPECT_TRUE(Uses<CRectanglePickTool>());
  const LatLon corner = map->PixelToLatLon({40, 30});
  const LatLon other = map->PixelToLatLon({200, 150});
  Drag({200, 150}, {40, 30});
  EXPECT_FALSE(Action(ID_MAP_RANGE_ZOOM)->isChecked());
  EXPECT_TRUE(Uses<CSelectTool>());
  // The picked range fills the view, centred.
  const CGeoRect& view = map->GetViewRect();
  EXPECT_NEAR((view.top + view.bottom) / 2, (corner.first + other.first) / 2, 1e-9);
  EXPECT_NEAR((view.left + view.right) / 2, (corner.second + other.second) / 2, 1e-9);
  EXPECT_GT(frame->GetScale(), 4e-05);

  // Pressed again before a pick: back to selecting, nothing zoomed.
  const double scale = frame->GetScale();
  frame->ExecuteCommand(ID_MAP_RANGE_ZOOM);
  frame->ExecuteCommand(ID_MAP_RANGE_ZOOM);
  EXPECT_FALSE(Action(ID_MAP_RANGE_ZOOM)->isChecked());
  EXPECT_TRUE(Uses<CSelectTool>());
  EXPECT_EQ(frame->GetScale(), scale);

  // Another part's pick: the rectangle reaches it, the pick lasts until
  // it ends it; one ended before the user finished is cancelled.
  CCountingCallback search;
  frame->StartRectanglePick(&search);
  Drag({10, 10}, {60, 50});
  EXPECT_EQ(search.picked, 1);
  EXPECT_EQ(search.rect.top, map->PixelToLatLon({10, 10}).first);
  frame->EndPick();
  EXPECT_TRUE(Uses<CSelectTool>());
  frame->StartRectanglePick(&search);
  frame->EndPick();
  EXPECT_EQ(search.cancelled, 1);
  EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(MapFrameTest, TheDayViewOnTheMapIsSelectedFittedButNotMoved) {
  Start(
      {TodayAt(35.001, 135.001, 60), TodayAt(35.004, 135.006, 120), TodayAt(35.002, 135.010, 180)});
  ASSERT_EQ(core->GetActiveRecordCount(), 3);
  frame->ExecuteCommand(ID_MAP_FIT);
  const CGeoRect& view = map->GetViewRect();
  EXPECT_LE(view.left, 135.001);
  EXPECT_GE(view.right, 135.010);
  map->Render();
  ASSERT_EQ(map->GetDrawnMarkers().size(), 3u);

  // The keys of the record commands work on the map.
  map->setFocus();
  QTest::keyClick(map, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(ActiveSelection(), (std::vector<int32_t>{0, 1, 2}));

  // A click on a record of a day, with a wobble, is no move: nothing is
  // refused. Dragging one is refused, the drag ends, nothing moved.
  const QPoint marker = map->LatLonToPixel({35.004, 135.006});
  const std::vector<CLocationRecord> before = ActiveRecords();
  Wobble(marker);
  EXPECT_TRUE(prompter.shown.empty());
  Drag(marker, marker + QPoint(30, 10));
  ASSERT_EQ(prompter.shown.size(), 1u);  // the first move only
  EXPECT_EQ(prompter.shown.back().kind, EPromptKind::Error);
  EXPECT_EQ(prompter.shown.back().text, "readonly");
  EXPECT_EQ(dynamic_cast<CSelectTool*>(map->GetTool())->GetMode(), CSelectTool::kIdle);
  EXPECT_EQ(ActiveRecords()[1].position.longitude.degrees, before[1].position.longitude.degrees);

  // Centre on the one selected record.
  core->SetActiveSelection(MakeNullIntIterator(), MakeNullIntIterator());
  map->Render();
  QTest::mouseClick(Surface(), Qt::LeftButton, Qt::NoModifier,
                    map->LatLonToPixel({35.002, 135.010}));
  EXPECT_EQ(ActiveSelection(), (std::vector<int32_t>{2}));
  frame->ExecuteCommand(ID_MAP_CENTER);
  EXPECT_NEAR((view.top + view.bottom) / 2, 35.002, 1e-9);
  EXPECT_NEAR((view.left + view.right) / 2, 135.010, 1e-9);

  // A new record on the day's map is refused too, and the pick ends.
  core->BroadcastNewRecord();
  EXPECT_TRUE(Uses<CPointPickTool>());
  const std::size_t shown = prompter.shown.size();
  QTest::mouseClick(Surface(), Qt::LeftButton, Qt::NoModifier, {50, 50});
  ASSERT_EQ(prompter.shown.size(), shown + 1);
  EXPECT_EQ(prompter.shown.back().text, "readonly");
  EXPECT_TRUE(Uses<CSelectTool>());
  EXPECT_EQ(core->GetActiveRecordCount(), 3);
}

TEST_F(MapFrameTest, ARecordDraggedInAFileMovesInTheListAndOnTheMapAndStaysSelected) {
  Start();
  CFileFolder& files = core->GetRootFolder().GetFileFolder();
  files.New();
  CLocationFileNode* node = files.Find(GetChildren(files).at(0));
  for (const QPoint pixel : {QPoint(60, 60), QPoint(120, 90), QPoint(200, 150)}) {
    CLocationRecord record = TestRecordAt(1700000000, "at " + std::to_string(pixel.x()));
    record.position = CPosition(map->PixelToLatLon(pixel));
    node->EditRecords().push_back(record);
  }
  core->SetCurrentNode(node);
  const int32_t dragged = 1;
  core->SetActiveSelection(MakeIntPtrIterator(&dragged), MakeIntPtrIterator(&dragged + 1));
  CRecordListDialog& list = *dynamic_cast<CLocationFileView&>(*core->GetCurrentView())
                                 .GetForm()
                                 ->GetList();
  map->Render();

  Drag({120, 90}, {150, 110});
  const std::vector<CLocationRecord>& records = node->Records();
  // Where the pointer let go. Compared unrounded: whole pixels truncate, and
  // at some window sizes a rounding error short of 150 is pixel 149.
  const QPointF landed = map->LatLonToPixelF(GetPositionDegrees(records[1].position));
  EXPECT_NEAR(landed.x(), 150, 1e-6);
  EXPECT_NEAR(landed.y(), 110, 1e-6);
  ASSERT_EQ(list.GetRecords().size(), records.size());
  for (std::size_t i = 0; i < records.size(); ++i)
    EXPECT_EQ(RecordXml(list.GetRecords()[i]), RecordXml(records[i])) << i;
  EXPECT_EQ(list.GetSelection(), std::set<int32_t>{1});
  EXPECT_EQ(list.GetList()->selectionModel()->selectedRows().size(), 1);
  EXPECT_EQ(ActiveSelection(), std::vector<int32_t>{1});
  map->Render();
  EXPECT_EQ(map->HitTest({151, 111})->recordIndex, 1);
  EXPECT_FALSE(map->HitTest({120, 90}));
}

TEST_F(MapFrameTest, NewRecordsGoWhereTheUserClicksAndTheMenuOffersTheRecordCommands) {
  Start();
  CFileFolder& files = core->GetRootFolder().GetFileFolder();
  files.New();
  core->SetCurrentNode(GetChildren(files).at(0));
  frame->ExecuteCommand(ID_EDIT_NEW_RECORD);
  EXPECT_TRUE(Uses<CPointPickTool>());
  QTest::mouseClick(Surface(), Qt::LeftButton, Qt::NoModifier, {120, 90});
  EXPECT_TRUE(Uses<CSelectTool>());
  std::vector<CLocationRecord> records = ActiveRecords();
  ASSERT_EQ(records.size(), 1u);
  const LatLon picked = map->PixelToLatLon({120, 90});
  EXPECT_EQ(records[0].position.latitude.unit, kAngleUnitDegrees);
  EXPECT_EQ(records[0].position.latitude.degrees, picked.first);
  EXPECT_EQ(records[0].position.longitude.degrees, picked.second);
  EXPECT_EQ(records[0].position.datum, GetWgs84Datum());
  EXPECT_TRUE(files.Find(core->GetCurrentNode())->IsModified());

  // In a file a click on a record, with a wobble, leaves the saved file
  // as it is; records move with the pointer.
  CLocationFileNode* file = files.Find(core->GetCurrentNode());
  ASSERT_NE(file, nullptr);
  file->Write(dataFolder.filePath(QStringLiteral("records.xml")).toStdString());
  map->Render();
  const QPoint marker = map->LatLonToPixel(picked);
  Wobble(marker);
  EXPECT_FALSE(file->IsModified());
  Drag(marker, marker + QPoint(30, 0));
  records = ActiveRecords();
  EXPECT_NEAR(records[0].position.longitude.degrees, picked.second + map->LongitudeSpan(30, 4e-05),
              1e-12);
  EXPECT_EQ(records[0].position.latitude.degrees, picked.first);

  // The map's menu is the record menu; its command goes to the frame.
  core->SetActiveSelection(MakeNullIntIterator(), MakeNullIntIterator());
  QStringList texts;
  QTimer closer;
  closer.setInterval(10);
  QObject::connect(&closer, &QTimer::timeout, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (menu == nullptr) return;
    for (QAction* action : menu->actions()) {
      if (!action->isSeparator()) texts << action->text();
      if (action->data().toUInt() == ID_EDIT_SELECT_ALL) menu->setActiveAction(action);
    }
    menu->activeAction()->trigger();
    menu->close();
  });
  closer.start();
  QContextMenuEvent event(QContextMenuEvent::Mouse, {20, 20},
                          Surface()->mapToGlobal(QPoint(20, 20)));
  QApplication::sendEvent(Surface(), &event);
  EXPECT_EQ(texts.first(), QStringLiteral("新規作成(&W)"));
  EXPECT_EQ(texts.last(), QStringLiteral("プロパティ(&R)..."));
  EXPECT_EQ(ActiveSelection(), (std::vector<int32_t>{0}));
  EXPECT_TRUE(prompter.shown.empty());
}

}  // namespace
