#include "mapview/MapCatalog.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <exception>
#include <map>
#include <span>
#include <tuple>
#include <vector>

#include "mapview/MapEntry.h"
#include "mapview/TileRender.h"
#include "mapview/TileWorker.h"

namespace {

// Columns or rows of one map at most: extents far too small for the map
// must not make the walk endless. The map view's tiles never come near it.
constexpr double kMaxTileSteps = 1 << 20;

// The extent a walk over span uses: one tile for an extent that is zero,
// negative or not a number.
double UsableExtent(double extent, double span) {
  if (!(extent > 0.0) || !std::isfinite(extent)) return DBL_MAX;
  return std::max(extent, span / kMaxTileSteps);
}

using CTileKey = std::tuple<const CMapEntry*, double, double, double, double>;

}  // namespace

class CMapCatalog::CMapTile final : public CTile {
 public:
  CMapTile(CMapCatalog& catalog, const CMapEntry& map, const CGeoRect& rect,
           CTileListener* listener)
      : m_jobs(catalog.m_worker), m_catalog(catalog), m_map(map), m_rect(rect),
        m_listener(listener), m_remote(IsRemoteMapImage(map.imageLocation)) {}
  ~CMapTile() override {
    if (m_remote) {
      const std::vector<CThreadJob*> jobs(m_jobs.GetJobs().begin(), m_jobs.GetJobs().end());
      m_catalog.m_transfers.Withdraw(jobs);
    }
    m_jobs.CancelAll();
    if (m_listener) m_listener->OnTileReleased(this);
  }

  CThreadJob* Enqueue(QImage* target, const QRectF& place, QObject* receiver,
                      QEvent::Type eventType) override {
    if (!m_remote) return m_jobs.Enqueue(*this, target, place, receiver, eventType);
    // The worker gets the job once the image has come.
    CThreadJob* job = m_jobs.AddWaiting(*this, target, place, receiver, eventType);
    try {
      m_catalog.m_transfers.Request(&m_map, m_map.imageLocation, job);
    } catch (...) {
      Cancel(job);
      throw;
    }
    return job;
  }
  void Cancel(CThreadJob* job) override {
    // Withdrawn first: after that no transfer can queue it again.
    if (m_remote && m_jobs.Has(job)) m_catalog.m_transfers.Withdraw({&job, 1});
    m_jobs.Cancel(job);
  }
  bool IsDone(CThreadJob* job) const override { return m_jobs.IsDone(job); }
  const CGeoRect& GetRect() const override { return m_rect; }

  void Render(QImage& target, const QRectF& place, const CLoadedMapImage* loaded,
              std::stop_token stop) override {
    if (!(place.width() > 0 && place.height() > 0)) return;
    try {
      const QImage image = loaded ? ImageOf(*loaded) : m_catalog.LoadMapImage(m_map, stop);
      DrawTileSource(image, ComputeTileSource(m_map, m_rect, image.width(), image.height()), target,
                     place);
    } catch (const CMapLoadAbandoned&) {
      // The job was cancelled: whoever asked for it no longer wants the
      // picture, and the next render loads again.
    } catch (const std::exception& e) {
      DrawTileError(target, place.toAlignedRect(), e.what());
    }
  }

  CTileKey Key() const { return {&m_map, m_rect.top, m_rect.left, m_rect.bottom, m_rect.right}; }

 private:
  CTileJobs m_jobs;
  CMapCatalog& m_catalog;
  const CMapEntry& m_map;
  CGeoRect m_rect;
  CTileListener* m_listener;
  bool m_remote;
};

CMapCatalog::CMapCatalog(const std::string& path, bool create, CMapCatalogOptions options)
    : m_file(LoadXmlFile("maps", "map", GetMapEntryHandler(), path,
                         create ? XmlOpenMode::kCreateExclusive : XmlOpenMode::kOpenExisting)),
      m_tileLatitudeExtent(DBL_MAX),
      m_tileLongitudeExtent(DBL_MAX),
      m_fetch(std::move(options.fetch)),
      m_worker(options.worker ? *options.worker : GetTileWorker()),
      m_images(options.imageCacheBytes),
      m_transfers(m_fetch, m_images, m_worker) {
  CXmlNodeEnumerator maps = MakeChildElementEnumerator(*m_file);
  for (std::size_t number = 1; maps.HasMore(); ++number) {
    CXmlElementRef map = maps.Next();
    try {
      map->Get<CMapEntry>();
      m_maps.push_back(std::move(map));
    } catch (const std::exception& e) {
      m_mapErrors.push_back("Invalid Map " + std::to_string(number) + ": " + e.what());
    }
  }
}

CMapCatalog::~CMapCatalog() {
  // Every transfer ends at once, rather than one waiting its turn starting
  // as the tiles before it go.
  m_transfers.Stop();
  ClearTiles();
}

const CMapEntry& CMapCatalog::GetMap(std::size_t index) const {
  return m_maps.at(index)->Get<CMapEntry>();
}

void CMapCatalog::BuildTiles(const CGeoRect& view, CTileListener* listener) {
  std::map<CTileKey, std::size_t> current;
  for (std::size_t i = 0; i < m_tiles.size(); ++i) current.emplace(m_tiles[i]->Key(), i);

  std::vector<std::unique_ptr<CMapTile>> next;
  auto keep = [&](const CMapEntry& map, const CGeoRect& rect) {
    const auto found = current.find({&map, rect.top, rect.left, rect.bottom, rect.right});
    if (found != current.end() && m_tiles[found->second]) {
      next.push_back(std::move(m_tiles[found->second]));
    } else {
      next.push_back(std::make_unique<CMapTile>(*this, map, rect, listener));
    }
  };

  for (const CXmlElementRef& proxy : m_maps) {
    const CMapEntry& map = proxy->Get<CMapEntry>();
    const double dLon = UsableExtent(m_tileLongitudeExtent, map.right - map.left);
    const double dLat = UsableExtent(m_tileLatitudeExtent, map.top - map.bottom);
    for (double i = 0;; ++i) {
      const double lon0 = map.left + i * dLon;
      // Columns only move east: none after one that starts past the view.
      if (map.right <= lon0 || !(lon0 < view.right)) break;
      // Where the next column starts, to the bit: neighbouring tiles share
      // their edges exactly, so the view places them without a seam.
      const double lon1 = std::min(map.left + (i + 1) * dLon, map.right);
      if (!(view.left < lon1)) continue;
      for (double j = 0;; ++j) {
        const double lat0 = map.top - j * dLat;
        if (lat0 <= map.bottom || !(view.bottom < lat0)) break;
        const double lat1 = std::max(map.top - (j + 1) * dLat, map.bottom);
        if (!(lat1 < view.top)) continue;
        keep(map, CGeoRect{lat0, lon0, lat1, lon1});
      }
    }
  }
  ClearTiles();
  m_tiles = std::move(next);
}

void CMapCatalog::ClearTiles() {
  // In list order; the listener hears of each tile as it goes.
  for (std::unique_ptr<CMapTile>& tile : m_tiles) tile.reset();
  m_tiles.clear();
}

void CMapCatalog::ForEachTile(CTileOutputIteratorRef visitor) {
  if (!visitor) return;
  for (const std::unique_ptr<CMapTile>& tile : m_tiles) {
    visitor.Put(tile.get());
    ++visitor;
  }
}

void CMapCatalog::SetTileSize(double latitudeExtent, double longitudeExtent) {
  m_tileLatitudeExtent = latitudeExtent;
  m_tileLongitudeExtent = longitudeExtent;
}

std::pair<double, double> CMapCatalog::GetTileSize() const {
  return {m_tileLatitudeExtent, m_tileLongitudeExtent};
}

QImage CMapCatalog::LoadMapImage(const CMapEntry& map, std::stop_token stop) {
  return m_images.Get(
      &map, [this, &map, &stop] { return ::LoadMapImage(map.imageLocation, m_fetch, stop); });
}
