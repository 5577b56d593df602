// The map view's arithmetic, commands, scrolling and picture: the screen
// arithmetic, zoom, fit and centre, the scroll bars and the wheel, the
// markers and lines drawn (compared pixel for pixel with a straightforward
// painter drawing), positions far outside the view, and the off-screen image
// against the view's size and the screen's density.
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cfloat>
#include <limits>
#include <random>
#include <tuple>

#include "tests/mapview/MapViewTestSupport.h"

namespace {

LatLon Centre(const CGeoRect& r) { return {(r.top + r.bottom) * 0.5, (r.left + r.right) * 0.5}; }

class MapViewTest : public MapViewFixture {
 protected:
  double Height() const { return view->GetViewRect().top - view->GetViewRect().bottom; }
  double Width() const { return view->GetViewRect().right - view->GetViewRect().left; }
};

TEST_F(MapViewTest, ScreenArithmeticAndPixelConversions) {
  // An inch of screen at 1:25,000 is 635 metres of ground: 0.005715 degrees
  // of latitude, and of longitude 0.00714375 over a catalogue's maps.
  const QPointF dpi = view->GetDotsPerInch();
  EXPECT_DOUBLE_EQ(view->LatitudeSpan(dpi.y(), 4e-05), 0.005715);
  EXPECT_DOUBLE_EQ(view->LongitudeSpan(dpi.x(), 4e-05), 0.005715);
  CMapFolder folder;
  CWorker worker;
  host.maps = folder.Load({}, worker);
  view->OnMapSetChanged();
  EXPECT_DOUBLE_EQ(view->LongitudeSpan(dpi.x(), 4e-05), 0.00714375);
  host.maps = std::make_unique<CEmptyMapSet>();  // before its worker goes
  view->OnMapSetChanged();

  const CGeoRect& r = view->GetViewRect();
  EXPECT_EQ(r.top, 35.0);
  EXPECT_EQ(r.left, 135.0);
  EXPECT_NEAR(r.top - r.bottom, view->LatitudeSpan(Client().height(), 4e-05), 1e-12);
  EXPECT_NEAR(r.right - r.left, view->LongitudeSpan(Client().width(), 4e-05), 1e-12);
  EXPECT_EQ(view->LatLonToPixel({35.0, 135.0}), QPoint(0, 0));
  for (const QPoint p : {QPoint(1, 2), QPoint(300, 17), QPoint(Client().width() - 1, 200)}) {
    EXPECT_EQ(view->LatLonToPixel(AtPixel(p)), p);
  }
  // Truncated toward zero, and held within the int-safe limit.
  EXPECT_EQ(view->LatLonToPixel(AtPixel(QPointF(-0.9, -0.9))), QPoint(0, 0));
  EXPECT_EQ(view->LatLonToPixel({35.0, 1e12}).x(), CMapView::kPixelLimit);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(view->LatLonToPixel({nan, nan}),
            QPoint(-CMapView::kPixelLimit, -CMapView::kPixelLimit));
}

TEST_F(MapViewTest, ZoomKeepsTheCentreAndStopsAtTheLimits) {
  const LatLon centre = Centre(view->GetViewRect());
  view->ZoomTo(1e-05);
  EXPECT_EQ(state->GetScale(), 1e-05);
  EXPECT_NEAR(Centre(view->GetViewRect()).first, centre.first, 1e-12);
  EXPECT_NEAR(Centre(view->GetViewRect()).second, centre.second, 1e-12);
  view->ZoomIn();
  EXPECT_EQ(state->GetScale(), 2e-05);

  state->SetScale(CMapViewState::kMaxScale);
  const LatLon topLeft = state->GetTopLeft();
  view->ZoomIn();
  EXPECT_EQ(state->GetScale(), CMapViewState::kMaxScale);
  EXPECT_EQ(state->GetTopLeft(), topLeft);

  // A rectangle in either order becomes the view: its height limits here.
  view->ZoomToRect({34.9, 135.05, 34.95, 135.0});
  EXPECT_DOUBLE_EQ(view->GetViewRect().top, 34.95);
  EXPECT_NEAR(view->GetViewRect().bottom, 34.9, 1e-12);
  EXPECT_NEAR(Centre(view->GetViewRect()).second, 135.025, 1e-12);
}

TEST_F(MapViewTest, FitAndCentreOnTheRecords) {
  // No records: nothing moves.
  const LatLon topLeft = state->GetTopLeft();
  view->FitAllLocations();
  view->CenterOnLocations();
  EXPECT_EQ(state->GetTopLeft(), topLeft);
  EXPECT_EQ(state->GetScale(), 4e-05);
  // One record: in the middle, as close as the view goes.
  const CGeoRect& rect = view->GetViewRect();
  host.SetRecords({RecordAt(35.5, 139.5)});
  view->FitAllLocations();
  EXPECT_EQ(state->GetScale(), CMapViewState::kMaxScale);
  EXPECT_NEAR(Centre(rect).first, 35.5, 1e-12);
  EXPECT_NEAR(Centre(rect).second, 139.5, 1e-12);
  // Records over the whole world: as far out as the view goes, centred on
  // them, so that the middle ones are in sight.
  host.SetRecords({RecordAt(80.0, -170.0), RecordAt(-60.0, 170.0), RecordAt(10.0, 0.0)});
  view->FitAllLocations();
  EXPECT_EQ(state->GetScale(), CMapViewState::kMinScale);
  EXPECT_NEAR(Centre(rect).first, 10.0, 1e-9);
  EXPECT_NEAR(Centre(rect).second, 0.0, 1e-9);
  view->Render();
  ASSERT_EQ(view->GetDrawnMarkers().size(), 1u);
  EXPECT_EQ(view->GetDrawnMarkers()[0].recordIndex, 2);
  // On one parallel the width limits, centred from top to bottom; on one
  // meridian the height, centred from left to right: no limit is reached,
  // the box's edges are the view's.
  host.SetRecords({RecordAt(35.0, 139.0), RecordAt(35.0, 139.1)});
  view->FitAllLocations();
  EXPECT_DOUBLE_EQ(rect.left, 139.0);
  EXPECT_NEAR(rect.right, 139.1, 1e-12);
  EXPECT_NEAR(Centre(rect).first, 35.0, 1e-12);
  host.SetRecords({RecordAt(35.0, 139.0), RecordAt(35.1, 139.0)});
  view->FitAllLocations();
  EXPECT_DOUBLE_EQ(rect.top, 35.1);
  EXPECT_NEAR(rect.bottom, 35.0, 1e-12);
  EXPECT_NEAR(Centre(rect).second, 139.0, 1e-12);

  // The centre of all records, or of the selected ones; the scale stays.
  host.SetRecords({RecordAt(35.0, 139.0), RecordAt(36.0, 140.0), RecordAt(10.0, 10.0)});
  state->SetScale(4e-05);
  view->CenterOnLocations();
  EXPECT_NEAR(Centre(rect).first, 23.0, 1e-9);
  EXPECT_NEAR(Centre(rect).second, 75.0, 1e-9);
  host.Select({0, 1});
  view->CenterOnLocations();
  EXPECT_NEAR(Centre(rect).first, 35.5, 1e-9);
  EXPECT_NEAR(Centre(rect).second, 139.5, 1e-9);
  EXPECT_EQ(state->GetScale(), 4e-05);
}

TEST_F(MapViewTest, AFitTooWideForTheSmallestScaleAlwaysShowsRecords) {
  // Clusters of records, each a few degrees across, at (latitude, longitude).
  std::mt19937 random(11);
  std::uniform_real_distribution<double> jitter(-2.0, 2.0);
  auto clusters = [&](const std::vector<std::tuple<int, double, double>>& places) {
    std::vector<CLocationRecord> records;
    for (const auto& [count, latitude, longitude] : places) {
      for (int i = 0; i < count; ++i)
        records.push_back(RecordAt(latitude + jitter(random), longitude + jitter(random)));
    }
    return records;
  };
  auto inView = [&] {
    view->Render();
    const QRect client(QPoint(0, 0), Client());
    return std::count_if(view->GetDrawnMarkers().begin(), view->GetDrawnMarkers().end(),
                         [&](const CDrawnMarker& m) { return client.contains(m.x, m.y); });
  };
  auto median = [](std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return (values[values.size() / 2 - 1] + values[values.size() / 2]) / 2;
  };

  // 350 records over the world whose box has open sea in its middle: the
  // view goes to their median latitude and median longitude, Japan here.
  host.SetRecords(
      clusters({{200, 35, 139}, {100, 40, -100}, {48, 48, 10}, {1, -50, -170}, {1, 70, 170}}));
  view->FitAllLocations();
  EXPECT_EQ(state->GetScale(), CMapViewState::kMinScale);
  std::vector<double> latitudes, longitudes;
  for (const CLocationRecord& record : host.records) {
    latitudes.push_back(record.position.latitude.ToDegrees());
    longitudes.push_back(record.position.longitude.ToDegrees());
  }
  EXPECT_NEAR(Centre(view->GetViewRect()).first, median(latitudes), 1e-9);
  EXPECT_NEAR(Centre(view->GetViewRect()).second, median(longitudes), 1e-9);
  EXPECT_GT(inView(), 100);

  // The median latitude of one cluster and the median longitude of another
  // meet where there is none: the view goes to the record nearest to there.
  host.SetRecords(clusters({{150, 35, 139}, {150, -30, -60}, {50, 50, -100}}));
  view->FitAllLocations();
  EXPECT_EQ(state->GetScale(), CMapViewState::kMinScale);
  const LatLon centre = Centre(view->GetViewRect());
  EXPECT_TRUE(std::any_of(host.records.begin() + 300, host.records.end(), [&](const auto& r) {
    return std::abs(r.position.latitude.ToDegrees() - centre.first) < 1e-9 &&
           std::abs(r.position.longitude.ToDegrees() - centre.second) < 1e-9;
  }));
  EXPECT_GT(inView(), 0);
}

TEST_F(MapViewTest, ScrollBarsAndTheWheelMoveTheMap) {
  QScrollBar* across = view->horizontalScrollBar();
  QScrollBar* down = view->verticalScrollBar();
  EXPECT_EQ(across->minimum(), 0);
  EXPECT_EQ(across->maximum(), 255);
  EXPECT_EQ(across->pageStep(), 16);
  EXPECT_EQ(across->value(), 128);

  // Dragging the thumb 10 units right moves the map 10/128 of its width
  // east, however many notices arrive; the thumb goes back to the middle.
  const double width = Width();
  LatLon start = state->GetTopLeft();
  across->setSliderDown(true);
  for (int position : {131, 129, 135, 138}) across->setSliderPosition(position);
  across->setSliderDown(false);
  EXPECT_NEAR(state->GetTopLeft().second - start.second, width * 10 / 128, 1e-12);
  EXPECT_EQ(across->value(), 128);

  // A line is 1/128 of the view, a page 25/128; down is south.
  const double height = Height();
  start = state->GetTopLeft();
  down->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_NEAR(state->GetTopLeft().first - start.first, -height / 128, 1e-12);
  down->triggerAction(QAbstractSlider::SliderPageStepSub);
  EXPECT_NEAR(state->GetTopLeft().first - start.first, height * 24 / 128, 1e-12);
  EXPECT_EQ(down->value(), 128);

  // One notch away from the user is a page north; with Shift a page west.
  start = state->GetTopLeft();
  Wheel(120);
  EXPECT_NEAR(state->GetTopLeft().first - start.first, height * 25 / 128, 1e-12);
  Wheel(120, Qt::ShiftModifier);
  EXPECT_NEAR(state->GetTopLeft().second - start.second, -width * 25 / 128, 1e-12);
  // A sideways wheel or swipe goes west or east, never north or south;
  // tilted left it goes west.
  start = state->GetTopLeft();
  WheelAt(Surface(), {120, 0});
  EXPECT_EQ(state->GetTopLeft().first, start.first);
  EXPECT_NEAR(state->GetTopLeft().second - start.second, -width * 25 / 128, 1e-12);
  WheelAt(Surface(), {-240, 0}, Qt::ShiftModifier);
  EXPECT_EQ(state->GetTopLeft().first, start.first);
  EXPECT_NEAR(state->GetTopLeft().second - start.second, width * 25 / 128, 1e-12);
  // Over the scroll bars the wheel moves the map by the same rule.
  for (QScrollBar* bar : {down, across}) {
    start = state->GetTopLeft();
    WheelAt(bar, {0, -120});
    EXPECT_NEAR(state->GetTopLeft().first - start.first, -height * 25 / 128, 1e-12);
    WheelAt(bar, {0, 120}, Qt::ShiftModifier);
    EXPECT_NEAR(state->GetTopLeft().second - start.second, -width * 25 / 128, 1e-12);
    EXPECT_EQ(bar->value(), 128);
  }
  // With Ctrl it zooms.
  Wheel(120, Qt::ControlModifier);
  EXPECT_EQ(state->GetScale(), 8e-05);
  Wheel(-120, Qt::ControlModifier);
  Wheel(-120, Qt::ControlModifier);
  EXPECT_EQ(state->GetScale(), 2e-05);
}

TEST_F(MapViewTest, AnExceptionInsideAViewChangeClosesItsUpdate) {
  state->failNextCorner = true;
  EXPECT_THROW(view->ZoomTo(1e-05), std::runtime_error);
  state->failNextCorner = true;
  EXPECT_THROW(view->ZoomToRect({35.0, 135.0, 34.9, 135.1}), std::runtime_error);
  // Both brackets were closed: the next change reaches the view.
  view->Render();
  state->SetConnectLocations(true);
  EXPECT_TRUE(view->IsRenderNeeded());
}

TEST_F(MapViewTest, MarkersAndLinesInTheirColours) {
  host.SetRecords(
      {RecordAtPixel({100, 100}), RecordAtPixel({300, 100}), RecordAtPixel({300, 300})});
  host.Select({1});
  QImage image = Rendered();
  EXPECT_EQ(image.pixel(100, 100), CMapView::kMarkerColour);
  EXPECT_EQ(image.pixel(103, 103), CMapView::kMarkerColour);
  EXPECT_EQ(image.pixel(96, 100), CMapView::kOutlineColour);
  EXPECT_EQ(image.pixel(104, 104), CMapView::kOutlineColour);
  EXPECT_EQ(image.pixel(105, 100), CMapView::kWhite);
  EXPECT_EQ(image.pixel(300, 100), CMapView::kSelectedMarkerColour);
  EXPECT_EQ(image.pixel(300, 300), CMapView::kMarkerColour);
  // No lines while connecting is off.
  EXPECT_EQ(image.pixel(200, 100), CMapView::kWhite);

  // Record i joins record i + 1 in source order, whatever the selection;
  // the selected marker stays on top of the others.
  state->SetConnectLocations(true);
  host.records.push_back(RecordAtPixel({302, 102}));
  view->OnRecordsChanged();
  image = Rendered();
  EXPECT_EQ(image.pixel(200, 100), CMapView::kLineColour);
  EXPECT_EQ(image.pixel(300, 200), CMapView::kLineColour);
  EXPECT_EQ(image.pixel(200, 200), CMapView::kWhite);
  EXPECT_EQ(image.pixel(300, 100), CMapView::kSelectedMarkerColour);
  EXPECT_EQ(image.pixel(303, 103), CMapView::kSelectedMarkerColour);
  ASSERT_EQ(view->GetDrawnMarkers().size(), 4u);
  EXPECT_EQ(view->HitTest({301, 101})->recordIndex, 1);
}

TEST_F(MapViewTest, ReplacedRecordsMoveTheirMarkersAlone) {
  host.SetRecords(
      {RecordAtPixel({100, 100}), RecordAtPixel({300, 100}), RecordAtPixel({300, 300})});
  host.Select({2});
  view->Render();
  const uint64_t version = view->GetRecordsVersion();
  host.records[1] = RecordAtPixel({200, 250});
  view->OnRecordsReplaced({1});
  EXPECT_NE(view->GetRecordsVersion(), version);
  QImage image = Rendered();
  EXPECT_EQ(image.pixel(200, 250), CMapView::kMarkerColour);
  EXPECT_EQ(image.pixel(300, 100), CMapView::kWhite);
  EXPECT_EQ(image.pixel(100, 100), CMapView::kMarkerColour);
  EXPECT_EQ(image.pixel(300, 300), CMapView::kSelectedMarkerColour);
  EXPECT_EQ(view->HitTest({201, 251})->recordIndex, 1);
  EXPECT_FALSE(view->HitTest({300, 100}));

  // An index past the records the view knows: it reads them all again.
  host.records.push_back(RecordAtPixel({400, 400}));
  view->OnRecordsReplaced({3});
  image = Rendered();
  EXPECT_EQ(image.pixel(400, 400), CMapView::kMarkerColour);
  EXPECT_EQ(view->HitTest({400, 400})->recordIndex, 3);
}

TEST_F(MapViewTest, PictureIsPixelIdenticalToAStraightforwardDrawing) {
  // Markers across every edge, lines within the view, leaving it and
  // crossing it from far outside, overlaps in every order.
  std::mt19937 random(20240601);
  const QSize client = Client();
  std::uniform_int_distribution<int> across(-40, client.width() + 40);
  std::uniform_int_distribution<int> down(-40, client.height() + 40);
  std::uniform_int_distribution<int> far(-20000, 20000);
  std::uniform_int_distribution<int> step(-6, 6);
  std::vector<CLocationRecord> records;
  QPoint walk(client.width() / 2, client.height() / 2);
  for (int i = 0; i < 3000; ++i) {
    QPoint p;
    if (i % 50 == 49) {
      p = QPoint(far(random), far(random));
    } else if (i % 7 == 0) {
      p = QPoint(across(random), down(random));
    } else {
      walk += QPoint(step(random), step(random));
      p = walk;
    }
    records.push_back(RecordAtPixel(p));
  }
  // Edges and corners, exactly.
  for (const QPoint p : {QPoint(0, 0), QPoint(-3, 5), QPoint(client.width() - 1, 3),
                         QPoint(client.width() + 3, client.height() - 2),
                         QPoint(2, client.height() + 3), QPoint(-4, -4)})
    records.push_back(RecordAtPixel(p));
  host.SetRecords(records);
  host.Select({3, 10, 11, 2999, 3001});
  state->SetConnectLocations(true);
  const QImage image = Rendered();

  QImage expected(image.size(), QImage::Format_RGB32);
  expected.fill(CMapView::kWhite);
  {
    QPainter painter(&expected);
    const QPen line(QColor::fromRgb(CMapView::kLineColour), 1.0);
    const QPen outline(QColor::fromRgb(CMapView::kOutlineColour), 1.0);
    auto pixel = [&](std::size_t i) {
      return view->LatLonToPixel(
          {records[i].position.latitude.degrees, records[i].position.longitude.degrees});
    };
    auto marker = [&](std::size_t i, QRgb fill) {
      painter.setPen(outline);
      painter.setBrush(QColor::fromRgb(fill));
      painter.drawRect(QRect(pixel(i) - QPoint(4, 4), QSize(8, 8)));
    };
    for (std::size_t i = 0; i < records.size(); ++i) {
      if (i + 1 < records.size()) {
        painter.setPen(line);
        painter.drawLine(pixel(i), pixel(i + 1));
      }
      marker(i, CMapView::kMarkerColour);
    }
    for (int32_t i : host.selection)
      marker(static_cast<std::size_t>(i), CMapView::kSelectedMarkerColour);
  }
  int differing = 0;
  for (int y = 0; y < client.height(); ++y) {
    for (int x = 0; x < client.width(); ++x) differing += image.pixel(x, y) != expected.pixel(x, y);
  }
  EXPECT_EQ(differing, 0);
}

TEST_F(MapViewTest, PositionsFarOutsideOrNotANumberAreDrawnWhereTheyCan) {
  // A record far east on the same parallel: the line runs from the marker
  // to the right edge, and nothing goes west of the marker.
  const QPoint middle(Client().width() / 2, Client().height() / 2);
  const LatLon at = AtPixel(middle);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  host.SetRecords({RecordAt(at.first, at.second), RecordAt(at.first, at.second + 1e6),
                   RecordAt(nan, nan), RecordAt(at.first, at.second - 1e300)});
  state->SetConnectLocations(true);
  const QImage image = Rendered();
  EXPECT_EQ(image.pixel(Client().width() - 2, middle.y()), CMapView::kLineColour);
  EXPECT_EQ(image.pixel(middle.x() + 20, middle.y()), CMapView::kLineColour);
  EXPECT_EQ(image.pixel(middle.x() - 20, middle.y()), CMapView::kWhite);
  EXPECT_EQ(image.pixel(middle), CMapView::kMarkerColour);
  ASSERT_EQ(view->GetDrawnMarkers().size(), 1u);
  EXPECT_EQ(view->GetDrawnMarkers()[0].recordIndex, 0);
  EXPECT_TRUE(host.errors.empty());

  // A fit whose span overflows a double keeps a view that can be drawn.
  host.SetRecords({RecordAt(1.7e308, 0), RecordAt(-1.7e308, 1e300)});
  view->FitAllLocations();
  EXPECT_TRUE(std::isfinite(view->GetViewRect().top));
  EXPECT_TRUE(std::isfinite(view->GetViewRect().left));
}

TEST_F(MapViewTest, OffscreenImageCoversAViewLargerThanItsScreen) {
  const QSize screen = view->screen()->size();
  view->resize(screen.width() + 300, screen.height() + 200);
  QApplication::processEvents();
  const QSize client = Client();
  ASSERT_GT(client.width(), screen.width());
  const QPoint corner(client.width() - 20, client.height() - 20);
  host.SetRecords({RecordAtPixel(corner)});
  const QImage image = Rendered();
  EXPECT_GE(image.width(), client.width());
  EXPECT_GE(image.height(), client.height());
  EXPECT_EQ(image.pixel(corner), CMapView::kMarkerColour);
  // What is painted comes from there too.
  const QImage shown = Surface()->grab().toImage();
  EXPECT_EQ(shown.pixel(corner), CMapView::kMarkerColour);
  EXPECT_EQ(shown.pixel(client.width() - 1, client.height() - 1), CMapView::kWhite);
}

// Run again with QT_SCALE_FACTOR=2 by its own test entry; skipped otherwise.
TEST_F(MapViewTest, HighDensityScreenDrawsAtItsOwnPixels) {
  const double ratio = view->devicePixelRatioF();
  if (ratio == 1.0) GTEST_SKIP() << "a screen of density 1";
  const QPoint at(120, 80);
  host.SetRecords({RecordAtPixel(at)});
  const QImage image = Rendered();
  EXPECT_EQ(image.devicePixelRatio(), ratio);
  EXPECT_GE(image.width(), qRound(Client().width() * ratio));
  const int x = static_cast<int>(at.x() * ratio), y = static_cast<int>(at.y() * ratio);
  const int half = qRound(4 * ratio);
  EXPECT_EQ(image.pixel(x, y), CMapView::kMarkerColour);
  EXPECT_EQ(image.pixel(x + half - 2, y), CMapView::kMarkerColour);
  EXPECT_EQ(image.pixel(x + half, y), CMapView::kOutlineColour);
  EXPECT_EQ(image.pixel(x + half + 1, y), CMapView::kWhite);
  const QImage shown = Surface()->grab().toImage();
  EXPECT_EQ(shown.pixel(x, y), CMapView::kMarkerColour);
}

}  // namespace
