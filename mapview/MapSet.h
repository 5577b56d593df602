// The maps the view can draw: the empty map set, or a loaded map catalogue.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "location/Iterators.h"
#include "location/LocationRecord.h"

class CTile;
class CTileListener;

using CTileOutputIteratorRef = COutputIteratorRef<CTile*>;

class CMapSet {
 public:
  virtual ~CMapSet() = default;
  // Makes the current tile list cover the view rectangle.
  virtual void BuildTiles(const CGeoRect& view, CTileListener* listener) = 0;
  virtual void ClearTiles() = 0;
  // Hands every current tile, in list order, to the visitor.
  virtual void ForEachTile(CTileOutputIteratorRef visitor) = 0;
  // Degrees of latitude and longitude that one tile spans.
  virtual void SetTileSize(double latitudeExtent, double longitudeExtent) = 0;
  virtual std::pair<double, double> GetTileSize() const = 0;
  // The ratio by which longitude spans computed from pixels are divided.
  virtual double GetTileLoadFactor() const = 0;
  // What kept maps of the set from being read, one text for each; the other
  // maps still draw.
  virtual std::vector<std::string> GetMapErrors() const { return {}; }
};

// No maps: no tiles, a load factor of 1.
class CEmptyMapSet final : public CMapSet {
 public:
  void BuildTiles(const CGeoRect&, CTileListener*) override {}
  void ClearTiles() override {}
  void ForEachTile(CTileOutputIteratorRef) override {}
  void SetTileSize(double latitudeExtent, double longitudeExtent) override {
    m_tileSize = {latitudeExtent, longitudeExtent};
  }
  std::pair<double, double> GetTileSize() const override { return m_tileSize; }
  double GetTileLoadFactor() const override { return 1.0; }

 private:
  std::pair<double, double> m_tileSize{0.0, 0.0};
};
