// The map view's mouse tools under synthesized mouse and key events:
// selecting, moving records and panning with the select tool, its menu,
// keys and properties, the two pick tools, the cursors, and tools replaced
// from inside their own handlers.
#include <QContextMenuEvent>

#include "mapview/MapTool.h"
#include "tests/mapview/MapViewTestSupport.h"

namespace {

CLocationRecord DmsRecord(const CDms& latitude, const CDms& longitude) {
  CLocationRecord record;
  record.position.latitude = CAngle::FromDms(latitude);
  record.position.longitude = CAngle::FromDms(longitude);
  return record;
}

// Replaces itself from inside its button-up handler, as a pick's callback
// does, then goes on using its own members.
class CSelfReplacingTool : public CMapTool {
 public:
  CSelfReplacingTool(CMapView& view, bool& destroyed, bool& aliveAfterReplacing)
      : m_view(view), m_destroyed(destroyed), m_aliveAfterReplacing(aliveAfterReplacing) {}
  ~CSelfReplacingTool() override { m_destroyed = true; }
  void OnLButtonDown(Qt::KeyboardModifiers, const QPoint&) override {}
  void OnLButtonUp(const QPoint& point) override {
    m_view.SetSelectTool();
    m_lastPoint = point;
    m_aliveAfterReplacing = !m_destroyed && m_lastPoint == point;
  }
  void OnLButtonDblClk(const QPoint&) override {}
  void OnMouseMove(const QPoint&) override {}
  void OnPaint(QPainter&) override {}
  std::optional<QCursor> GetCursor() override { return std::nullopt; }

 private:
  CMapView& m_view;
  bool& m_destroyed;
  bool& m_aliveAfterReplacing;
  QPoint m_lastPoint;
};

class MapToolTest : public MapViewFixture {
 protected:
  void Click(QPoint at, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::mouseClick(Surface(), Qt::LeftButton, modifiers, at);
  }
  void Drag(QPoint from, std::vector<QPoint> through) {
    QTest::mousePress(Surface(), Qt::LeftButton, Qt::NoModifier, from);
    for (const QPoint p : through) QTest::mouseMove(Surface(), p);
    QTest::mouseRelease(Surface(), Qt::LeftButton, Qt::NoModifier, through.back());
  }
  CSelectTool* Select() const { return dynamic_cast<CSelectTool*>(view->GetTool()); }
  Qt::CursorShape Cursor() const { return Surface()->cursor().shape(); }
  LatLon Degrees(std::size_t i) const { return GetPositionDegrees(host.records.at(i).position); }
};

TEST_F(MapToolTest, ClickSelectsWithinTheToleranceAndCtrlClickToggles) {
  host.SetRecords(
      {RecordAtPixel({100, 100}), RecordAtPixel({200, 150}), RecordAtPixel({300, 200})});
  view->Render();
  Click({104, 96});
  EXPECT_EQ(host.selection, (std::set<int32_t>{0}));
  // Five pixels off is ground: the selection stays.
  Click({205, 150});
  Click({200, 145});
  EXPECT_EQ(host.selection, (std::set<int32_t>{0}));
  Click({200, 150});
  EXPECT_EQ(host.selection, (std::set<int32_t>{1}));
  Click({300, 200}, Qt::ControlModifier);
  Click({100, 100}, Qt::ControlModifier);
  EXPECT_EQ(host.selection, (std::set<int32_t>{0, 1, 2}));
  Click({300, 200}, Qt::ControlModifier);
  EXPECT_EQ(host.selection, (std::set<int32_t>{0, 1}));
  // A click on a selected record keeps the whole selection for a drag.
  Click({200, 150});
  EXPECT_EQ(host.selection, (std::set<int32_t>{0, 1}));
  EXPECT_TRUE(view->hasFocus());
}

TEST_F(MapToolTest, DraggingMovesTheSelectionFromWhereItStartedAndBackLeavesItExactly) {
  // 35°00'00.02" does not survive a trip through decimal degrees.
  host.SetRecords({RecordAtPixel({100, 100}), DmsRecord({1, 35, 0, 0, 2}, {1, 135, 0, 1, 5}),
                   RecordAtPixel({300, 300})});
  const QPoint dmsPixel = view->LatLonToPixel(Degrees(1));
  host.Select({0, 1});
  view->Render();
  const std::vector<CLocationRecord> before = host.records;

  QTest::mousePress(Surface(), Qt::LeftButton, Qt::NoModifier, {100, 100});
  QTest::mouseMove(Surface(), {110, 120});
  EXPECT_EQ(Select()->GetMode(), CSelectTool::kMovingRecords);
  EXPECT_EQ(Cursor(), Qt::PointingHandCursor);
  const LatLon offset{
      view->PixelToLatLon({110, 120}).first - view->PixelToLatLon({100, 100}).first,
      view->PixelToLatLon({110, 120}).second - view->PixelToLatLon({100, 100}).second};
  EXPECT_DOUBLE_EQ(host.records[0].position.latitude.degrees,
                   before[0].position.latitude.degrees + offset.first);
  EXPECT_EQ(host.records[1].position.latitude.unit, kAngleUnitDms);
  // Hundredths of a second, truncated, may leave it a pixel short.
  EXPECT_LE((view->LatLonToPixel(Degrees(1)) - dmsPixel - QPoint(10, 20)).manhattanLength(), 2);
  EXPECT_TRUE(SameAngle(host.records[2].position.latitude, before[2].position.latitude));
  QTest::mouseMove(Surface(), {130, 90});
  QTest::mouseMove(Surface(), {100, 100});
  QTest::mouseRelease(Surface(), Qt::LeftButton, Qt::NoModifier, {100, 100});
  for (std::size_t i = 0; i < before.size(); ++i) {
    EXPECT_TRUE(SameAngle(host.records[i].position.latitude, before[i].position.latitude)) << i;
    EXPECT_TRUE(SameAngle(host.records[i].position.longitude, before[i].position.longitude)) << i;
  }
  EXPECT_EQ(Select()->GetMode(), CSelectTool::kIdle);
}

TEST_F(MapToolTest, AClickOnAMarkerWritesNothingEvenWithAWobble) {
  host.SetRecords({RecordAtPixel({100, 100})});
  view->Render();
  const std::vector<CLocationRecord> before = host.records;
  const int distance = QApplication::startDragDistance();
  ASSERT_GE(distance, 2);
  // Short of the drag distance, on a folder that takes writes and on one
  // that refuses them.
  for (const bool readOnly : {false, true}) {
    host.readOnly = readOnly;
    QTest::mousePress(Surface(), Qt::LeftButton, Qt::NoModifier, {100, 100});
    for (const QPoint p : {QPoint(100, 100), QPoint(101, 100), QPoint(100 + distance - 2, 101)})
      QTest::mouseMove(Surface(), p);
    QTest::mouseRelease(Surface(), Qt::LeftButton, Qt::NoModifier, {101, 101});
    EXPECT_EQ(host.selection, (std::set<int32_t>{0}));
    EXPECT_EQ(host.replaceCalls, 0);
    EXPECT_TRUE(host.errors.empty());
    EXPECT_TRUE(SameAngle(host.records[0].position.longitude, before[0].position.longitude));
  }
  host.readOnly = false;

  // Once past it the record follows the pointer from the press, a pixel at
  // a time too; a move to where it already stands writes nothing.
  const LatLon press = view->PixelToLatLon({100, 100});
  QTest::mousePress(Surface(), Qt::LeftButton, Qt::NoModifier, {100, 100});
  QTest::mouseMove(Surface(), {100 + distance, 100});
  EXPECT_EQ(host.replaceCalls, 1);
  EXPECT_DOUBLE_EQ(host.records[0].position.longitude.degrees,
                   before[0].position.longitude.degrees +
                       view->PixelToLatLon({100 + distance, 100}).second - press.second);
  QTest::mouseMove(Surface(), {100, 100});
  QTest::mouseMove(Surface(), {100, 100});
  EXPECT_EQ(host.replaceCalls, 2);
  QTest::mouseMove(Surface(), {101, 100});
  EXPECT_EQ(host.replaceCalls, 3);
  QTest::mouseMove(Surface(), {100, 100});
  QTest::mouseRelease(Surface(), Qt::LeftButton, Qt::NoModifier, {100, 100});
  EXPECT_EQ(host.replaceCalls, 4);
  EXPECT_TRUE(SameAngle(host.records[0].position.longitude, before[0].position.longitude));
}

TEST_F(MapToolTest, ADragNeverWritesOverRecordsThatChangedUnderItOrAfterItsRelease) {
  host.SetRecords({RecordAtPixel({100, 100}), RecordAtPixel({200, 200}), RecordAtPixel({300, 300})});
  view->Render();
  QTest::mousePress(Surface(), Qt::LeftButton, Qt::NoModifier, {100, 100});
  QTest::mouseMove(Surface(), {110, 100});
  // Another edit takes the dragged record away while the button is held:
  // index 0 now names what was record 1.
  host.records.erase(host.records.begin());
  host.selection.clear();
  view->OnRecordsChanged();
  const std::vector<CLocationRecord> edited = host.records;
  QTest::mouseMove(Surface(), {120, 100});
  QTest::mouseRelease(Surface(), Qt::LeftButton, Qt::NoModifier, {120, 100});
  EXPECT_EQ(host.replaceCalls, 1);
  EXPECT_TRUE(SameAngle(host.records[0].position.longitude, edited[0].position.longitude));

  // Before the next paint the markers are those of the old records: a click
  // where record 0 was drawn hits nothing, one on record 1's marker selects
  // it by its new index.
  Click({100, 100});
  EXPECT_TRUE(host.selection.empty());
  Click({200, 200});
  EXPECT_EQ(host.selection, (std::set<int32_t>{0}));

  // The button comes up over a menu that had the mouse: the next move
  // without it ends the drag instead of moving the records on.
  QTest::mousePress(Surface(), Qt::LeftButton, Qt::NoModifier, {200, 200});
  QTest::mouseMove(Surface(), {210, 200});
  const std::vector<CLocationRecord> dropped = host.records;
  const QPointF away(260, 240);
  QMouseEvent hover(QEvent::MouseMove, away, Surface()->mapToGlobal(away), Qt::NoButton,
                    Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(Surface(), &hover);
  EXPECT_EQ(Select()->GetMode(), CSelectTool::kIdle);
  EXPECT_TRUE(SameAngle(host.records[0].position.latitude, dropped[0].position.latitude));
  EXPECT_EQ(host.replaceCalls, 2);
  QTest::mouseRelease(Surface(), Qt::LeftButton, Qt::NoModifier, away.toPoint());
}

TEST_F(MapToolTest, DraggingTheGroundPansTheMap) {
  view->Render();
  const LatLon start = state->GetTopLeft();
  QTest::mousePress(Surface(), Qt::LeftButton, Qt::NoModifier, {200, 200});
  QTest::mouseMove(Surface(), {300, 200});
  EXPECT_EQ(Cursor(), Qt::SizeAllCursor);
  EXPECT_DOUBLE_EQ(state->GetTopLeft().second, start.second - view->LongitudeSpan(100, 4e-05));
  QTest::mouseMove(Surface(), {300, 250});
  EXPECT_DOUBLE_EQ(state->GetTopLeft().first, start.first + view->LatitudeSpan(50, 4e-05));
  QTest::mouseRelease(Surface(), Qt::LeftButton, Qt::NoModifier, {300, 250});
  EXPECT_EQ(Select()->GetMode(), CSelectTool::kIdle);
}

TEST_F(MapToolTest, DoubleClickContextMenuKeysAndCursorsOfTheSelectTool) {
  host.SetRecords({RecordAtPixel({100, 100})});
  view->Render();
  // A double click is a click, then the double click.
  Click({300, 300});
  QTest::mouseDClick(Surface(), Qt::LeftButton, Qt::NoModifier, {300, 300});
  EXPECT_EQ(host.propertiesShown, 0);
  Click({101, 99});
  QTest::mouseDClick(Surface(), Qt::LeftButton, Qt::NoModifier, {101, 99});
  EXPECT_EQ(host.propertiesShown, 1);
  EXPECT_EQ(host.selection, (std::set<int32_t>{0}));

  QContextMenuEvent byMouse(QContextMenuEvent::Mouse, {50, 60},
                            Surface()->mapToGlobal(QPoint(50, 60)));
  QApplication::sendEvent(Surface(), &byMouse);
  QContextMenuEvent byKey(QContextMenuEvent::Keyboard, {0, 0}, view->mapToGlobal(QPoint(0, 0)));
  QApplication::sendEvent(view.get(), &byKey);
  EXPECT_EQ(host.menus, (std::vector<QPoint>{Surface()->mapToGlobal(QPoint(50, 60)),
                                             Surface()->mapToGlobal(QPoint(0, 0))}));

  view->setFocus();
  QTest::keyClick(view.get(), Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(view.get(), Qt::Key_Delete);
  QTest::keyClick(view.get(), Qt::Key_B, Qt::ControlModifier);
  EXPECT_EQ(host.recordKeys.size(), 2u);

  QTest::mouseMove(Surface(), {300, 300});
  EXPECT_EQ(Cursor(), Qt::OpenHandCursor);
  QTest::mouseMove(Surface(), {102, 100});
  EXPECT_EQ(Cursor(), Qt::PointingHandCursor);
  EXPECT_TRUE(state->HasCursorPosition());
  EXPECT_EQ(state->GetCursorPosition(), view->PixelToLatLon({102, 100}));
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(Surface(), &leave);
  EXPECT_FALSE(state->HasCursorPosition());
  EXPECT_EQ(Cursor(), Qt::ArrowCursor);

  // A pick tool has no menu and no keys.
  CRecordingCallback callback;
  view->SetPointPickTool(&callback);
  QApplication::sendEvent(Surface(), &byMouse);
  QTest::keyClick(view.get(), Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(host.menus.size(), 2u);
  EXPECT_EQ(host.recordKeys.size(), 2u);
  view->SetSelectTool();
  EXPECT_EQ(callback.cancelled, 1);
}

TEST_F(MapToolTest, PicksDeliverAnOrderedRectangleOrAPointOnce) {
  view->Render();
  CRecordingCallback callback;
  callback.onResult = [&] { state->EndPick(); };
  state->StartRectanglePick(&callback);
  QTest::mouseMove(Surface(), {300, 200});
  EXPECT_EQ(Cursor(), Qt::CrossCursor);
  // From bottom right to top left.
  QTest::mousePress(Surface(), Qt::LeftButton, Qt::NoModifier, {300, 200});
  QTest::mouseMove(Surface(), {250, 150});
  QTest::mouseMove(Surface(), {100, 50});
  // The band inverts the white map along its edges.
  const QImage banded = Surface()->grab().toImage();
  EXPECT_EQ(banded.pixel(200, 50), CMapView::kOutlineColour);
  EXPECT_EQ(banded.pixel(300, 120), CMapView::kOutlineColour);
  EXPECT_EQ(banded.pixel(200, 120), CMapView::kWhite);
  QTest::mouseRelease(Surface(), Qt::LeftButton, Qt::NoModifier, {100, 50});
  ASSERT_EQ(callback.picked, 1);
  EXPECT_EQ(callback.lastRect.top, view->PixelToLatLon({100, 50}).first);
  EXPECT_EQ(callback.lastRect.left, view->PixelToLatLon({100, 50}).second);
  EXPECT_EQ(callback.lastRect.bottom, view->PixelToLatLon({300, 200}).first);
  EXPECT_EQ(callback.lastRect.right, view->PixelToLatLon({300, 200}).second);
  // The callback put the select tool back; the band is gone.
  EXPECT_NE(Select(), nullptr);
  EXPECT_EQ(Surface()->grab().toImage().pixel(200, 50), CMapView::kWhite);

  // Released where it was pressed: cancelled. Only sideways: still picked.
  state->StartRectanglePick(&callback);
  Click({150, 150});
  EXPECT_EQ(callback.cancelled, 1);
  state->StartRectanglePick(&callback);
  Drag({150, 150}, {{250, 150}});
  EXPECT_EQ(callback.picked, 2);
  EXPECT_EQ(callback.lastRect.top, callback.lastRect.bottom);

  // A pick that has delivered says nothing more; one replaced before the
  // user finished is cancelled.
  callback.onResult = nullptr;
  view->SetRectanglePickTool(&callback);
  Drag({10, 10}, {{40, 40}});
  Drag({10, 10}, {{40, 40}});
  EXPECT_EQ(callback.picked, 3);
  view->SetRectanglePickTool(&callback);
  view->SetSelectTool();
  EXPECT_EQ(callback.cancelled, 2);

  // A point pick delivers where the button comes up.
  CRecordingCallback point;
  point.pointPick = true;
  point.onResult = [&] { view->SetSelectTool(); };
  view->SetPointPickTool(&point);
  QTest::mouseMove(Surface(), {10, 10});
  EXPECT_EQ(Cursor(), Qt::WhatsThisCursor);
  Drag({10, 10}, {{60, 30}, {120, 80}});
  ASSERT_EQ(point.picked, 1);
  EXPECT_EQ(point.lastPoint, view->PixelToLatLon({120, 80}));
  EXPECT_NE(Select(), nullptr);
}

TEST_F(MapToolTest, AToolReplacedInsideItsOwnHandlerLivesUntilTheHandlerReturns) {
  bool destroyed = false;
  bool aliveAfterReplacing = false;
  view->SetTool(std::make_unique<CSelfReplacingTool>(*view, destroyed, aliveAfterReplacing));
  Click({50, 50});
  EXPECT_TRUE(aliveAfterReplacing);
  EXPECT_TRUE(destroyed);
  EXPECT_NE(Select(), nullptr);
  EXPECT_TRUE(host.errors.empty());
}

}  // namespace
