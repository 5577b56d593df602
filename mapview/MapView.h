// The map: the records of the active folder drawn as markers, joined by
// lines when the view state asks for it, over the map images of the map
// set. Which part of the earth it shows comes from the view state (top-left
// corner and scale) and the screen's dots per inch. It draws into an
// off-screen image only when something changed, has the map set's tiles
// rendered on the tile worker, and hands mouse input to its current tool.
#pragma once

#include <QAbstractScrollArea>
#include <QImage>
#include <QPixmap>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "location/LocationRecord.h"
#include "mapview/MapViewState.h"
#include "mapview/Tile.h"

class CMapSet;
class CMapTool;
class CMapViewHost;
class CPickCallback;
class QScrollBar;
class QWheelEvent;

// One marker of the last render, for hit tests.
struct CDrawnMarker {
  int32_t x = 0;
  int32_t y = 0;
  int32_t recordIndex = 0;
};

class CMapView final : public QAbstractScrollArea,
                       public CMapViewStateListener,
                       public CTileListener {
 public:
  static constexpr double kMetresPerInch = 0.0254;
  static constexpr double kMetresPerDegree = 111111.11111111111;
  static constexpr int kScrollCentre = 128;
  // A marker is hit when the point is closer than this in both directions.
  static constexpr int kHitTolerance = 5;

  static constexpr QRgb kWhite = 0xFFFFFFFFu;
  static constexpr QRgb kMarkerColour = 0xFF00FFFFu;
  static constexpr QRgb kSelectedMarkerColour = 0xFFFF00FFu;
  static constexpr QRgb kLineColour = 0xFF0000FFu;
  static constexpr QRgb kOutlineColour = 0xFF000000u;

  // The host must outlive the view. The view state comes with the view's
  // registration as its listener.
  CMapView(CMapViewHost& host, QWidget* parent = nullptr);
  // Ends the current tool, then lets go of the tiles.
  ~CMapView() override;

  CMapViewHost& GetHost() const { return m_host; }

  // Commands.
  void ZoomIn();
  void ZoomOut();
  // A new scale, the centre of the view kept.
  void ZoomTo(double scale);
  // The rectangle, in either order, fills the view.
  void ZoomToRect(const CGeoRect& rect);
  void FitAllLocations();
  // The selected records, or all when none is selected, come to the centre.
  void CenterOnLocations();
  // Moves the top-left corner by degrees: north for a negative latitude
  // offset, east for a positive longitude offset.
  void ScrollLatitude(double offset);
  void ScrollLongitude(double offset);

  // Tools. A replaced pick tool that has not delivered cancels its pick. A
  // tool replaced from inside one of its own handlers lives on until the
  // handler has returned.
  void SetSelectTool();
  void SetRectanglePickTool(CPickCallback* callback);
  void SetPointPickTool(CPickCallback* callback);
  void SetTool(std::unique_ptr<CMapTool> tool);
  CMapTool* GetTool() const { return m_tool.get(); }

  // Geometry, with the view rectangle of the last view-state change. Pixels
  // are truncated toward zero and kept within +-kPixelLimit.
  static constexpr int kPixelLimit = 1 << 24;
  QPoint LatLonToPixel(const LatLon& position) const;
  // The same before truncation.
  QPointF LatLonToPixelF(const LatLon& position) const;
  LatLon PixelToLatLon(const QPoint& point) const;
  const CGeoRect& GetViewRect() const { return m_viewRect; }
  // The view's extent {latitude, longitude} in degrees at scale.
  std::pair<double, double> GetViewSizeDegrees(double scale) const;
  std::pair<double, double> GetViewSizeAtUnitScale() const;
  // Degrees spanned by pixels across (longitude) or down (latitude) at scale.
  double LatitudeSpan(double pixels, double scale) const;
  double LongitudeSpan(double pixels, double scale) const;
  // The screen's logical dots per inch, across and down.
  QPointF GetDotsPerInch() const;

  // The first drawn marker within the hit tolerance of point, if any.
  std::optional<CDrawnMarker> HitTest(const QPoint& point) const;
  const std::vector<CDrawnMarker>& GetDrawnMarkers() const { return m_drawnMarkers; }
  // Whether the pointer is over the view (between a move and the leave).
  bool IsPointerInside() const { return m_pointerInside; }

  // Draws the off-screen image now: tiles, lines and markers.
  void Render();
  bool IsRenderNeeded() const { return m_renderNeeded; }
  // The off-screen image: at least the view's size, in device pixels.
  const QImage& GetOffscreenImage() const { return m_image; }
  // Repaints the part of the view under rect from the off-screen image and
  // the tool's overlay.
  void UpdateOverlay(const QRect& rect);
  // Sets the cursor the current tool asks for.
  void UpdateCursor();

  // What the view hears from the program.
  void OnViewStateChanged() override;
  void OnRecordsChanged();
  // Only the records at indices (ascending) were replaced: just their
  // positions are read again.
  void OnRecordsReplaced(const std::vector<int32_t>& indices);
  // Counts OnRecordsChanged and OnRecordsReplaced: a tool that holds record
  // indices across events sees whether the records changed under it.
  uint64_t GetRecordsVersion() const { return m_recordsVersion; }
  void OnSelectionChanged();
  void OnMapSetChanged();
  void OnTileReleased(CTile* tile) override;
  // Drops the images drawn for tiles; the next render rebuilds the tiles.
  void ClearDrawnTiles();
  std::size_t GetDrawnTileCount() const { return m_drawnTiles.size(); }
  // What the view lets go of when its window goes: the map set's tiles, the
  // drawn tiles and the off-screen image.
  void ReleaseWindowResources();

 protected:
  bool event(QEvent* event) override;
  bool viewportEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // The scroll bars move the map, not the viewport's pixels.
  void scrollContentsBy(int, int) override {}

 private:
  struct CDrawnTile;
  class CRecordCache;

  // Runs a tool handler through the host's guard; tools retired meanwhile
  // go once the outermost handler has returned.
  template <class Handler>
  void DispatchToTool(Handler&& handler);
  void InstallTool(std::unique_ptr<CMapTool> tool);
  void RetireTool(std::unique_ptr<CMapTool> tool);
  void DestroyRetiredTools();

  CGeoRect ComputeViewRect() const;
  // Fits the view to rect; when rect is the box of records, which are given,
  // a box too large for the view is shown where the records are.
  void FitRect(const CGeoRect& rect, const std::vector<LatLon>* records);
  void OnScrollAction(QScrollBar* bar, bool vertical, int action);
  void OnWheel(const QWheelEvent& event);
  void ResetThumb(QScrollBar* bar);
  void EnsureOffscreenImage();
  void ReleaseOffscreenImage();
  void DrawTile(QPainter& painter, CTile* tile);
  void DrawRecords();
  void ForgetPointer();

  CMapViewHost& m_host;
  bool m_renderNeeded = true;
  QImage m_image;
  // The screen's size when the image was made, in logical pixels.
  QSize m_screenSize;
  int m_lastThumbOffset = 0;
  bool m_resettingThumb = false;
  CGeoRect m_viewRect;
  bool m_tileSizeStale = true;
  CGeoRect m_tiledRect;
  std::map<CTile*, std::unique_ptr<CDrawnTile>> m_drawnTiles;
  bool m_viewRectChanged = true;
  double m_lastScale = 0.0;
  std::unique_ptr<CMapTool> m_tool;
  std::vector<std::unique_ptr<CMapTool>> m_retiredTools;
  int m_dispatchDepth = 0;
  bool m_destroyingTools = false;
  bool m_destroying = false;
  std::vector<CDrawnMarker> m_drawnMarkers;
  std::unique_ptr<CRecordCache> m_records;
  bool m_pointerInside = false;
  uint64_t m_recordsVersion = 0;
  // A left press the view has seen and whose release it has not.
  bool m_leftButtonDown = false;
};
