// The map catalogue "maps.xml" and the tiles its maps are cut into.
#pragma once

#include <QImage>
#include <cstddef>
#include <memory>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "location/XmlFile.h"
#include "mapview/MapImage.h"
#include "mapview/MapImageTransfers.h"
#include "mapview/MapSet.h"
#include "mapview/Tile.h"

struct CMapEntry;
class CMapCatalog;

struct CMapCatalogOptions {
  // Reads http and https map images; without one they cannot be loaded.
  CMapImageFetcher fetch;
  // Decoded images kept at once. A 4096 x 4096 map takes 48 MiB.
  std::size_t imageCacheBytes = std::size_t{256} << 20;
  // Where the tiles render; the program's tile worker when null.
  CWorker* worker = nullptr;
};

class CMapCatalog final : public CMapSet {
 public:
  // Loads the catalogue at path; with create set, writes a new empty one
  // there instead, failing when the path exists. Throws what the XML layer
  // throws. A map element that cannot be read is left out and described by
  // GetMapErrors; the other maps still draw.
  CMapCatalog(const std::string& path, bool create, CMapCatalogOptions options = {});
  // Ends the image transfers and destroys the tiles, cancelling their jobs,
  // before the maps go.
  ~CMapCatalog() override;

  void BuildTiles(const CGeoRect& view, CTileListener* listener) override;
  void ClearTiles() override;
  void ForEachTile(CTileOutputIteratorRef visitor) override;
  void SetTileSize(double latitudeExtent, double longitudeExtent) override;
  std::pair<double, double> GetTileSize() const override;
  double GetTileLoadFactor() const override { return 0.8; }
  std::vector<std::string> GetMapErrors() const override { return m_mapErrors; }

  const std::string& GetPath() const { return m_file->GetPath(); }
  // The maps that could be read, in document order.
  std::size_t GetMapCount() const { return m_maps.size(); }
  const CMapEntry& GetMap(std::size_t index) const;

  // The decoded image of map, from the cache or loaded now on the calling
  // thread; throws CMapLoadAbandoned once stop is requested. The tiles load
  // local images this way on the worker; remote ones come through the
  // transfers before their jobs are queued.
  QImage LoadMapImage(const CMapEntry& map, std::stop_token stop = {});
  const CMapImageCache& GetImageCache() const { return m_images; }

 private:
  class CMapTile;

  std::unique_ptr<CXmlFile> m_file;
  std::vector<CXmlElementRef> m_maps;
  std::vector<std::string> m_mapErrors;
  std::vector<std::unique_ptr<CMapTile>> m_tiles;
  double m_tileLatitudeExtent;
  double m_tileLongitudeExtent;
  CMapImageFetcher m_fetch;
  CWorker& m_worker;
  CMapImageCache m_images;
  // After the images it fills: it goes first.
  CMapImageTransfers m_transfers;
};
