// The map view's tiles: rendered on the worker, shown hatched until their
// job is done, kept while the view scrolls and dropped when the scale
// changes; the catalogue's map drawn under the records after the worker's
// event; neighbouring tiles meeting without a seam wherever the view stands.
#include <QScrollBar>
#include <atomic>
#include <cmath>

#include "mapview/TileWorker.h"
#include "tests/mapview/MapViewTestSupport.h"

namespace {

class MapViewTileTest : public MapViewFixture {
 protected:
  ~MapViewTileTest() override {
    for (CGate& gate : gates) gate.Open();
    // The tiles go before the worker that runs their jobs.
    host.maps = std::make_unique<CEmptyMapSet>();
  }
  // Renders after the worker's events until pixel p has colour c.
  bool WaitForPixel(QPoint p, QRgb c) {
    return WaitUntil([&] {
      QApplication::processEvents();
      if (view->IsRenderNeeded()) view->Render();
      return CountPixelsOff(view->GetOffscreenImage(), QRect(p, QSize(1, 1)), c, 2) == 0;
    });
  }
  // Black and white only, both of them: the hatch of a tile not yet rendered.
  static bool IsHatched(const QImage& image, const QRect& area) {
    const int all = area.width() * area.height();
    const int black = all - CountPixelsOff(image, area, CMapView::kOutlineColour);
    const int white = all - CountPixelsOff(image, area, CMapView::kWhite);
    return black > 0 && white > 0 && black + white == all;
  }

  // Renders, lets the worker finish every job queued so far, and renders
  // again with what it made.
  const QImage& RenderedWithAllTiles() {
    view->Render();
    std::atomic<bool> reached{false};
    CFlagJob flag(reached);
    worker.Enqueue(&flag);
    EXPECT_TRUE(WaitUntil([&] { return reached.load(); }));
    worker.Cancel(&flag);
    QApplication::processEvents();
    return Rendered();
  }

  class CFlagJob final : public CWorkerJob {
   public:
    explicit CFlagJob(std::atomic<bool>& flag) : m_flag(flag) {}
    void Execute() override { m_flag = true; }

   private:
    std::atomic<bool>& m_flag;
  };

  CMapFolder folder;
  CGate gates[2];
  // Each holds the worker until its gate opens; they outlive the worker.
  CGatedJob holds[2]{CGatedJob(gates[0]), CGatedJob(gates[1])};
  CWorker worker{TileWorkerHooks()};
};

TEST_F(MapViewTileTest, TilesAreHatchedUntilRenderedKeptWhileScrollingAndDroppedByAScale) {
  // The map fills the view, whose longitudes widen by the catalogue's load
  // factor.
  const CGeoRect r = view->GetViewRect();
  worker.Enqueue(&holds[0]);
  host.maps = folder.Load(
      {MapElement("columns.png", r.top, r.left, r.bottom, r.left + (r.right - r.left) / 0.8)},
      worker);
  view->OnMapSetChanged();
  host.SetRecords({RecordAtPixel({60, 60})});
  const QRect area(10, 10, 40, 40);
  EXPECT_TRUE(IsHatched(Rendered(), area));
  EXPECT_EQ(view->GetOffscreenImage().pixel(60, 60), CMapView::kMarkerColour);

  // The worker goes on; its event brings the map, under the records.
  gates[0].Open();
  ASSERT_TRUE(WaitForPixel({20, 20}, MapColourAt(0, 0)));
  ASSERT_TRUE(WaitForPixel({Client().width() - 10, Client().height() - 10}, MapColourAt(999, 499)));
  EXPECT_EQ(CountPixelsOff(view->GetOffscreenImage(), area, MapColourAt(0, 0), 2), 0);
  EXPECT_EQ(view->GetOffscreenImage().pixel(60, 60), CMapView::kMarkerColour);

  // With the worker held, a line down still draws the map at once: the
  // tiles and their images were kept, no render was needed.
  worker.Enqueue(&holds[1]);
  const std::vector<CTile*> tiles = TilesOf(*host.maps);
  const std::size_t drawn = view->GetDrawnTileCount();
  view->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(CountPixelsOff(Rendered(), area, MapColourAt(0, 0), 2), 0);
  EXPECT_EQ(TilesOf(*host.maps), tiles);
  EXPECT_EQ(view->GetDrawnTileCount(), drawn);
  // Another scale drops them: the map waits for new renders.
  view->ZoomOut();
  const QPoint centre(Client().width() / 2, Client().height() / 2);
  EXPECT_TRUE(IsHatched(Rendered(), QRect(centre - QPoint(20, 20), QSize(40, 40))));
}

// Also run on screens of density 2 and 1.5 by their own test entries.
TEST_F(MapViewTileTest, TilesOfOneMapMeetWithoutSeamsAtAnyScrollAndScale) {
  const QRgb colour = qRgb(30, 140, 200);
  Filled(757, 613, colour).save(QString::fromStdString(folder.PathOf("plain.png")));
  // The map starts inside the view and reaches far past its other corner.
  const LatLon start = AtPixel({90, 70});
  host.maps = folder.Load(
      {MapElement("plain.png", start.first, start.second, start.first - 0.5, start.second + 0.6)},
      worker);
  view->OnMapSetChanged();
  const double ratio = view->devicePixelRatioF();
  for (const double scale : {4e-05, 2.7e-05, 1.13e-05}) {
    state->SetScale(scale);
    for (int i = 0; i < 40; ++i) {
      // Whole pixels put the tiles' edges on pixel edges, give or take a
      // rounding error; the fractions put them in between.
      const double fractions[] = {0.0, 0.5, 0.25, 0.999, 0.37};
      const QPointF offset((i * 37) % 211 - 100 + fractions[i % 5],
                           (i * 53) % 197 - 90 + fractions[(i + 2) % 5]);
      // The map's corner offset pixels right of and below the view's corner.
      const QPointF at = QPointF(90, 70) + offset;
      state->SetTopLeft({start.first + view->LatitudeSpan(at.y(), scale),
                         start.second - view->LongitudeSpan(at.x(), scale)});
      const QImage& image = RenderedWithAllTiles();
      // The map's extent in the image's pixels, less its edge pixels.
      const QPointF corner = view->LatLonToPixelF(start) * ratio;
      const QRect inside = QRect(QPoint(static_cast<int>(std::ceil(corner.x())) + 1,
                                        static_cast<int>(std::ceil(corner.y())) + 1),
                                 QPoint(static_cast<int>(Client().width() * ratio) - 1,
                                        static_cast<int>(Client().height() * ratio) - 1))
                               .intersected(QRect(QPoint(0, 0), Client() * ratio));
      ASSERT_FALSE(inside.isEmpty());
      EXPECT_EQ(CountPixelsOff(image, inside, colour), 0)
          << "scale " << scale << ", offset " << offset.x() << ", " << offset.y();
    }
  }
}

// Also run on screens of density 2 and 1.5 by their own test entries.
TEST_F(MapViewTileTest, TilesOfOneMapContinueOneAnothersPictureAtAnyScaleAndScroll) {
  // The world as a checker of 16-pixel squares, 11.25 x 2.8125 degrees each.
  const CChecker checker(2048, 1024, 16);
  checker.Image().save(QString::fromStdString(folder.PathOf("checker.png")));
  host.maps = folder.Load({MapElement("checker.png", 90, -180, -90, 180)}, worker);
  view->OnMapSetChanged();
  const double ratio = view->devicePixelRatioF();
  const QSize pixels = Client() * ratio;

  // Pixels whose grey lies outside what the checker shows within a pixel of
  // the pixel's centre (white where that reaches past the map).
  auto misplaced = [&](const QImage& image) {
    const CGeoRect r = view->GetViewRect();
    auto u = [&](double x) {
      return (r.left + (r.right - r.left) * x / ratio / Client().width() + 180) / 360 * 2048;
    };
    auto v = [&](double y) {
      return (90 - (r.top - (r.top - r.bottom) * y / ratio / Client().height())) / 180 * 1024;
    };
    int count = 0;
    for (int y = 0; y < pixels.height(); ++y) {
      const double top = v(y - 0.5), bottom = v(y + 1.5);
      for (int x = 0; x < pixels.width(); ++x) {
        const double left = u(x - 0.5), right = u(x + 1.5);
        const bool inside = left < 2048 && right > 0 && top < 1024 && bottom > 0;
        const bool edge = left < 0 || right > 2048 || top < 0 || bottom > 1024;
        auto [low, high] =
            inside ? checker.RangeOver(std::max(left, 0.0), std::max(top, 0.0),
                                       std::min(right, 2048.0), std::min(bottom, 1024.0))
                   : std::pair<int, int>(255, 255);
        if (edge) high = 255;
        const int grey = qRed(image.pixel(x, y));
        count += grey < low - 4 || grey > high + 4;
      }
    }
    return count;
  };

  struct CCase {
    double scale;
    double latitude, longitude;  // a square's corner, or the map's
    QPointF at;                  // where it is put, in the view's pixels
  };
  const CCase cases[] = {{CMapViewState::kMinScale, 33.75, 135, {300.37, 170.61}},
                         {CMapViewState::kMinScale, 90, -180, {90.5, 70.25}},
                         {1.5625e-07, -2.8125, 22.5, {212.8, 301.1}},
                         {4.1e-07, 5.625, -11.25, {133.3, 89.9}},
                         {2.5e-06, 0, 0, {320.45, 240.55}},
                         {1.7e-05, 90, -180, {10.7, 20.3}},
                         // 16 pixels of the map on each side of the view: a source pixel edge,
                         // and the picture an even blend that changes across thousands of
                         // pixels.
                         {CMapViewState::kMaxScale, 33.75, 135, {250.3, 190.7}}};
  for (const CCase& c : cases) {
    state->SetScale(c.scale);
    for (const QPointF scroll : {QPointF(0, 0), QPointF(-133.37, 71.6), QPointF(250.5, -190.25)}) {
      // Scrolling keeps the tiles and their pictures: only their places
      // change.
      const QPointF at = c.at + scroll;
      state->SetTopLeft({c.latitude + view->LatitudeSpan(at.y(), c.scale),
                         c.longitude - view->LongitudeSpan(at.x(), c.scale)});
      EXPECT_EQ(misplaced(RenderedWithAllTiles()), 0)
          << "scale " << c.scale << ", corner at " << at.x() << ", " << at.y();
      // Tiles are half a screen wide and high: their edges are in view.
      EXPECT_GE(view->GetDrawnTileCount(), 2u);
    }
  }
}

TEST_F(MapViewTileTest, AMapImageOnItsWayHoldsNeitherScrollingNorZoomingNorTheViewGoing) {
  // Each step drops the tile whose render waits for the image: nothing else
  // would end the wait for a minute.
  CEndlessFetch endless;
  const CGeoRect r = view->GetViewRect();
  folder.Write("maps.xml", "<maps>" +
                               MapElement("http://maps.example/a.png", r.top, r.left, r.bottom,
                                          r.left + (r.right - r.left) / 0.8) +
                               "</maps>");
  host.maps = std::make_unique<CMapCatalog>(
      folder.PathOf("maps.xml"), false,
      CMapCatalogOptions{[&endless](const std::string& url, std::stop_token stop) {
                           return endless(url, stop);
                         },
                         64 << 20, &worker});
  view->OnMapSetChanged();
  const std::vector<std::function<void()>> steps = {
      [&] {
        state->SetTopLeft({r.top + 10, r.left});
        view->Render();
      },
      [&] { view->ZoomOut(); },
      [&] { view.reset(); }};
  for (std::size_t step = 0; step < steps.size(); ++step) {
    state->SetTopLeft({r.top, r.left});
    const int before = endless.begun;
    Rendered();
    ASSERT_TRUE(WaitUntil([&] { return endless.begun > before; })) << step;
    const auto start = std::chrono::steady_clock::now();
    steps[step]();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << step;
  }
}

}  // namespace
