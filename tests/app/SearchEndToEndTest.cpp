// Searching end to end: records received from the test message server into
// the database, then found through the search pane of the main frame by a
// note word and by a rectangle dragged with the mouse on the map view.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/CommandIds.h"
#include "app/MainFrame.h"
#include "app/PropertyWindow.h"
#include "app/SearchFolder.h"
#include "app/SearchPane.h"
#include "location/IteratorAdaptors.h"
#include "mapview/MapTool.h"
#include "mapview/MapView.h"
#include "tests/app/AppTestSupport.h"
#include "tests/reception/TestMessageServer.h"

namespace {

class SearchEndToEndTest : public MessageServerTest {
 protected:
  ~SearchEndToEndTest() override {
    if (frame && !frame->IsWindowDestroyed()) frame->close();
    frame.reset();
    core.reset();
    FlushDeletes();
  }

  CSearchPane& Pane() const { return *CSearchPane::GetInstance(); }
  QWidget* Surface() const { return frame->GetMapView()->viewport(); }
  std::vector<std::string> Found() const {
    std::vector<CLocationRecord> records;
    core->ActiveSource().EnumerateAll(MakeRecordBackInserter(records));
    return Notes(records);
  }
  void Search(const QString& note) {
    Pane().GetNoteEdit()->setText(note);
    QTest::mouseClick(Pane().GetSearchButton(), Qt::LeftButton);
  }
  void Drag(QPoint from, QPoint to) {
    QTest::mousePress(Surface(), Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(Surface(), (from + to) / 2);
    QTest::mouseMove(Surface(), to);
    QTest::mouseRelease(Surface(), Qt::LeftButton, Qt::NoModifier, to);
  }
  template <class Tool>
  bool MapUses() const {
    return dynamic_cast<Tool*>(frame->GetMapView()->GetTool()) != nullptr;
  }

  std::unique_ptr<CAppCore> core;
  std::unique_ptr<CMainFrame> frame;
};

TEST_F(SearchEndToEndTest, ReceivedRecordsAreFoundByANoteWordAndByARectangleDraggedOnTheMap) {
  const int32_t start = 1750000000;
  server->AddMessage(QldataMessage(start, "harbour east", 35.10, 139.10));
  server->AddMessage(QldataMessage(start + 600, "harbour west", 35.60, 139.70));
  server->AddMessage(QldataMessage(start + 1200, "summit", 36.50, 140.50));
  server->AddMessage(QldataMessage(start + 1800, "station", 35.65, 139.75));
  core = MakeCore();
  frame = std::make_unique<CMainFrame>();
  frame->Create();
  frame->resize(1000, 700);
  frame->show();
  QApplication::setActiveWindow(frame.get());
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
  frame->ExecuteCommand(ID_TOOL_RECEIVE);
  ASSERT_EQ(frame->GetStatusText(0), QStringLiteral("メッセージを受信しました。件数: 4"));

  frame->ExecuteCommand(ID_VIEW_SEARCH);
  ASSERT_TRUE(Pane().isVisible());
  Search(QStringLiteral("harbour"));
  EXPECT_EQ(Found(), (std::vector<std::string>{"harbour west", "harbour east"}));
  EXPECT_EQ(Notes(Pane().GetList()->GetRecords()), Found());

  // Everything, on the map.
  Search(QString());
  EXPECT_EQ(Found(),
            (std::vector<std::string>{"station", "summit", "harbour west", "harbour east"}));
  CMapView& map = *frame->GetMapView();
  frame->ExecuteCommand(ID_MAP_FIT);
  map.Render();
  EXPECT_EQ(map.GetDrawnMarkers().size(), 4u);

  // Dragged from below right of "harbour west" and "station" to above left.
  QTest::mouseClick(Pane().GetRangeToggle(), Qt::LeftButton);
  ASSERT_TRUE(MapUses<CRectanglePickTool>());
  const QPoint west = map.LatLonToPixel({35.60, 139.70});
  const QPoint station = map.LatLonToPixel({35.65, 139.75});
  const QPoint bottomRight(std::max(west.x(), station.x()) + 12,
                           std::max(west.y(), station.y()) + 12);
  const QPoint topLeft(std::min(west.x(), station.x()) - 12, std::min(west.y(), station.y()) - 12);
  const LatLon from = map.PixelToLatLon(bottomRight);
  const LatLon to = map.PixelToLatLon(topLeft);
  Drag(bottomRight, topLeft);
  EXPECT_TRUE(MapUses<CSelectTool>());
  EXPECT_FALSE(Pane().GetRangeToggle()->isChecked());
  const CGeoRect picked = NormalizeGeoRect({from.first, from.second, to.first, to.second});
  EXPECT_GT(picked.top, picked.bottom);
  EXPECT_LT(picked.left, picked.right);
  EXPECT_EQ(Pane().GetRangeText()->text(), QString::fromStdString(FormatSearchRange(picked)));
  Search(QString());
  EXPECT_EQ(Found(), (std::vector<std::string>{"station", "harbour west"}));
  Search(QStringLiteral("harbour"));
  EXPECT_EQ(Found(), (std::vector<std::string>{"harbour west"}));

  // A click on its marker selects it in the list and the property window
  // too; dragging it is refused.
  map.Render();
  const QPoint marker = map.LatLonToPixel({35.60, 139.70});
  QTest::mouseClick(Surface(), Qt::LeftButton, Qt::NoModifier, marker);
  EXPECT_EQ(Pane().GetList()->GetSelection(), (std::set<int32_t>{0}));
  frame->OnCommand(ID_EDIT_PROPERTIES);
  ASSERT_NE(frame->GetPropertyWindow(), nullptr);
  EXPECT_EQ(frame->GetPropertyWindow()->GetShownIndex(), 0);
  EXPECT_EQ(frame->GetPropertyWindow()->GetWorkingCopy().note, "harbour west");
  Drag(marker, marker + QPoint(25, 15));
  ASSERT_FALSE(prompter.shown.empty());
  EXPECT_EQ(prompter.shown.back().text, "readonly");
  EXPECT_EQ(
      dynamic_cast<CSearchFolder&>(core->ActiveSource()).GetResults()[0].position.latitude.degrees,
      35.60);

  // A new search clears the selection: the window shows no record.
  Search(QStringLiteral("harbour"));
  EXPECT_FALSE(frame->GetPropertyWindow()->GetValueControls().front()->isEnabled());
  EXPECT_EQ(frame->windowTitle(), QStringLiteral("検索結果 - Quor Lumo Folvane"));

  // A pick left running when the folders are shown again is ended; the
  // results stay.
  QTest::mouseClick(Pane().GetRangeToggle(), Qt::LeftButton);
  ASSERT_TRUE(MapUses<CRectanglePickTool>());
  frame->ExecuteCommand(ID_VIEW_FOLDER);
  EXPECT_FALSE(core->IsSearchMode());
  EXPECT_FALSE(Pane().isVisible());
  EXPECT_TRUE(MapUses<CSelectTool>());
  EXPECT_FALSE(Pane().GetRangeToggle()->isChecked());
  EXPECT_FALSE(Pane().IsPicking());
  EXPECT_EQ(core->GetSearchSource().Count(), 1);
  frame->close();
  FlushDeletes();
  EXPECT_EQ(CSearchPane::GetInstance(), nullptr);
}

}  // namespace
