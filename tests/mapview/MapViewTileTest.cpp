// The map view's tiles: rendered on the worker, shown hatched until their
// job is done, kept while the view scrolls and dropped when the scale
// changes; the catalogue's map drawn under the records after the worker's
// event.
#include <QScrollBar>
#include <QTemporaryDir>
#include <map>
#include <tuple>

#include "mapview/MapCatalog.h"
#include "mapview/TileWorker.h"
#include "tests/mapview/MapViewTestSupport.h"

namespace {

const QRgb kTileColour = qRgb(40, 160, 90);

// A tile that fills itself with one colour and counts its renders queued.
class CCountingTile final : public CTile {
 public:
  CCountingTile(CWorker& worker, const CGeoRect& rect, CTileListener* listener, int& enqueued)
      : m_jobs(worker), m_rect(rect), m_listener(listener), m_enqueued(enqueued) {}
  ~CCountingTile() override {
    m_jobs.CancelAll();
    if (m_listener) m_listener->OnTileReleased(this);
  }
  CThreadJob* Enqueue(QImage* target, int x, int y, int width, int height, QObject* receiver,
                      QEvent::Type eventType) override {
    ++m_enqueued;
    return m_jobs.Enqueue(*this, target, x, y, width, height, receiver, eventType);
  }
  void Cancel(CThreadJob* job) override { m_jobs.Cancel(job); }
  bool IsDone(CThreadJob* job) const override { return m_jobs.IsDone(job); }
  const CGeoRect& GetRect() const override { return m_rect; }
  void Render(QImage& target, int x, int y, int width, int height) override {
    for (int row = y; row < y + height; ++row) {
      for (int column = x; column < x + width; ++column) target.setPixel(column, row, kTileColour);
    }
  }

 private:
  CTileJobs m_jobs;
  CGeoRect m_rect;
  CTileListener* m_listener;
  int& m_enqueued;
};

// One map cut into a grid from its top-left corner, tiles kept while their
// rectangle stays the same, as the catalogue does.
class CGridMapSet final : public CMapSet {
 public:
  CGridMapSet(CWorker& worker, const CGeoRect& area) : m_worker(worker), m_area(area) {}
  ~CGridMapSet() override { ClearTiles(); }

  void BuildTiles(const CGeoRect& view, CTileListener* listener) override {
    std::vector<std::unique_ptr<CCountingTile>> next;
    for (double lon0 = m_area.left; lon0 < m_area.right; lon0 += m_size.second) {
      const double lon1 = std::min(lon0 + m_size.second, m_area.right);
      for (double lat0 = m_area.top; lat0 > m_area.bottom; lat0 -= m_size.first) {
        const double lat1 = std::max(lat0 - m_size.first, m_area.bottom);
        if (!(lon0 < view.right && view.left < lon1 && lat1 < view.top && view.bottom < lat0))
          continue;
        const CGeoRect rect{lat0, lon0, lat1, lon1};
        auto same = std::find_if(m_tiles.begin(), m_tiles.end(), [&](const auto& tile) {
          const CGeoRect& r = tile->GetRect();
          return tile && std::tie(r.top, r.left, r.bottom, r.right) ==
                             std::tie(rect.top, rect.left, rect.bottom, rect.right);
        });
        if (same != m_tiles.end())
          next.push_back(std::move(*same));
        else
          next.push_back(std::make_unique<CCountingTile>(m_worker, rect, listener, enqueued));
        m_tiles.erase(std::remove(m_tiles.begin(), m_tiles.end(), nullptr), m_tiles.end());
      }
    }
    ClearTiles();
    m_tiles = std::move(next);
  }
  void ClearTiles() override { m_tiles.clear(); }
  void ForEachTile(CTileOutputIteratorRef visitor) override {
    for (const auto& tile : m_tiles) {
      visitor.Put(tile.get());
      ++visitor;
    }
  }
  void SetTileSize(double latitude, double longitude) override { m_size = {latitude, longitude}; }
  std::pair<double, double> GetTileSize() const override { return m_size; }
  double GetTileLoadFactor() const override { return 1.0; }

  std::vector<CTile*> Tiles() const {
    std::vector<CTile*> tiles;
    for (const auto& tile : m_tiles) tiles.push_back(tile.get());
    return tiles;
  }
  int enqueued = 0;

 private:
  CWorker& m_worker;
  CGeoRect m_area;
  std::pair<double, double> m_size{1.0, 1.0};
  std::vector<std::unique_ptr<CCountingTile>> m_tiles;
};

// Holds the worker until opened, so that the tile jobs behind it wait.
class CGatedJob final : public CWorkerJob {
 public:
  explicit CGatedJob(CGate& gate) : m_gate(gate) {}
  void Execute() override { m_gate.Pass(); }

 private:
  CGate& m_gate;
};

class MapViewTileTest : public MapViewFixture {
 protected:
  ~MapViewTileTest() override {
    gate.Open();
    // The tiles go before the worker that runs their jobs.
    host.maps = std::make_unique<CEmptyMapSet>();
  }
  // Renders after the worker's events until pixel p has colour c.
  bool WaitForPixel(QPoint p, QRgb c, int tolerance = 0) {
    return WaitUntil([&] {
      QApplication::processEvents();
      if (view->IsRenderNeeded()) view->Render();
      return CountPixelsOff(view->GetOffscreenImage(), QRect(p, QSize(1, 1)), c, tolerance) == 0;
    });
  }

  CGate gate;
  CWorker worker{TileWorkerHooks()};
};

TEST_F(MapViewTileTest, ScrollingKeepsDrawnTilesAndAScaleChangeDropsThem) {
  const QPoint from(40, 30), to(540, 430);
  const LatLon topLeft = view->PixelToLatLon(from), bottomRight = view->PixelToLatLon(to);
  auto owned = std::make_unique<CGridMapSet>(
      worker, CGeoRect{topLeft.first, topLeft.second, bottomRight.first, bottomRight.second});
  CGridMapSet& maps = *owned;
  host.maps = std::move(owned);
  view->OnMapSetChanged();
  ASSERT_TRUE(WaitForPixel({100, 100}, kTileColour));
  const std::vector<CTile*> tiles = maps.Tiles();
  ASSERT_GE(tiles.size(), 2u);
  EXPECT_EQ(maps.enqueued, static_cast<int>(tiles.size()));

  // A line down: the same tiles, no new renders, the map shown at once.
  view->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  view->Render();
  EXPECT_EQ(maps.Tiles(), tiles);
  EXPECT_EQ(maps.enqueued, static_cast<int>(tiles.size()));
  EXPECT_EQ(view->GetDrawnTileCount(), tiles.size());
  EXPECT_EQ(view->GetOffscreenImage().pixel(100, 100), kTileColour);

  // Another scale: every tile is new and rendered again.
  view->ZoomOut();
  view->Render();
  EXPECT_EQ(maps.enqueued, static_cast<int>(tiles.size() + maps.Tiles().size()));
  EXPECT_EQ(view->GetDrawnTileCount(), maps.Tiles().size());
}

TEST_F(MapViewTileTest, ATileIsHatchedUntilTheWorkerHasRenderedIt) {
  QTemporaryDir folder;
  const QString image = folder.filePath(QStringLiteral("columns.png"));
  ASSERT_TRUE(MakeColumnsImage().save(image));
  // The map fills the view, whose longitudes widen by the catalogue's load
  // factor.
  const CGeoRect r = view->GetViewRect();
  const double right = r.left + (r.right - r.left) / 0.8;
  const std::string catalog = folder.filePath(QStringLiteral("maps.xml")).toStdString();
  WriteCatalog(catalog, {MapElement("columns.png", r.top, r.left, r.bottom, right)});
  CGatedJob hold(gate);
  worker.Enqueue(&hold);
  host.maps =
      std::make_unique<CMapCatalog>(catalog, false, CMapCatalogOptions{{}, 64 << 20, &worker});
  view->OnMapSetChanged();
  host.SetRecords({RecordAtPixel({60, 60})});

  const QImage& hatched = Rendered();
  const QRect area(10, 10, 40, 40);
  const int black = area.width() * area.height() - CountPixelsOff(hatched, area, qRgb(0, 0, 0));
  const int white = area.width() * area.height() - CountPixelsOff(hatched, area, CMapView::kWhite);
  EXPECT_GT(black, 0);
  EXPECT_GT(white, 0);
  EXPECT_EQ(black + white, area.width() * area.height());
  EXPECT_EQ(hatched.pixel(60, 60), CMapView::kMarkerColour);

  // The worker goes on; its event brings the map, under the records.
  gate.Open();
  const QPoint lowRight(Client().width() - 10, Client().height() - 10);
  ASSERT_TRUE(WaitForPixel({20, 20}, MapColourAt(0, 0), 2));
  ASSERT_TRUE(WaitForPixel(lowRight, MapColourAt(999, 499), 2));
  const QImage& drawn = view->GetOffscreenImage();
  EXPECT_EQ(CountPixelsOff(drawn, area, MapColourAt(0, 0), 2), 0);
  EXPECT_EQ(drawn.pixel(60, 60), CMapView::kMarkerColour);
}

}  // namespace
