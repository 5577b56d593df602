#include "mapview/MapView.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QWheelEvent>
#include <QtMath>
#include <algorithm>
#include <cfloat>
#include <cmath>

#include "location/IteratorAdaptors.h"
#include "mapview/MapSet.h"
#include "mapview/MapTool.h"
#include "mapview/MapViewHost.h"
#include "mapview/PickCallback.h"
#include "mapview/RecordDrawing.h"
#include "mapview/ViewAdaptors.h"

namespace {

constexpr int kScrollMaximum = 255;
constexpr int kScrollPage = 16;
// A step is 1/128 of the view's extent; a page 25 steps; a wheel notch of
// 120 a page.
constexpr double kStepsPerView = 128.0;
constexpr int kStepsPerPage = 25;
constexpr double kWheelDivisor = 15360.0;
constexpr int kMarkerHalf = 4;
// A tile image wider or higher than this is not made: no map is drawn where
// the view is that far zoomed in past its tiles.
constexpr int kMaxTileSide = 1 << 14;

bool SameRect(const CGeoRect& a, const CGeoRect& b) {
  return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

// The pixel for a coordinate already in pixels, truncated toward zero and
// held where int arithmetic on it cannot overflow; not-a-number goes far to
// the top left.
int ToPixel(double value) {
  if (!(value >= -CMapView::kPixelLimit)) return -CMapView::kPixelLimit;
  if (value > CMapView::kPixelLimit) return CMapView::kPixelLimit;
  return static_cast<int>(value);
}

// The pixel edge nearest to a coordinate in pixels, held like ToPixel.
int ToPixelEdge(double value) { return ToPixel(std::floor(value + 0.5)); }

LatLon DegreesOf(const CLocationRecord& record, const CDatumHandle& wgs84) {
  // Records on the WGS-84 datum need no conversion, and most are on it.
  if (record.position.datum == wgs84)
    return {record.position.latitude.ToDegrees(), record.position.longitude.ToDegrees()};
  return GetPositionDegrees(record.position);
}

class CDispatchScope {
 public:
  explicit CDispatchScope(int& depth) : m_depth(depth) { ++m_depth; }
  ~CDispatchScope() { --m_depth; }
  CDispatchScope(const CDispatchScope&) = delete;
  CDispatchScope& operator=(const CDispatchScope&) = delete;

 private:
  int& m_depth;
};

}  // namespace

// The image the view had a tile rendered into, and once the render is done,
// the pixmap made from it on this thread.
struct CMapView::CDrawnTile {
  CTile* tile = nullptr;  // cleared when the map set releases the tile
  QImage image;
  QPixmap pixmap;
  CThreadJob* job = nullptr;
  QSize size;  // in the off-screen image's pixels

  CDrawnTile() = default;
  CDrawnTile(const CDrawnTile&) = delete;
  CDrawnTile& operator=(const CDrawnTile&) = delete;
  // The job goes first: the worker may be writing into the image.
  ~CDrawnTile() {
    if (tile != nullptr && job != nullptr) tile->Cancel(job);
  }
};

// The WGS-84 positions of the active records and the selection, read again
// only after the program says that they changed.
class CMapView::CRecordCache {
 public:
  void ForgetRecords() {
    m_positionsValid = false;
    m_selectionValid = false;
  }
  void ForgetSelection() { m_selectionValid = false; }

  // Reads the positions of the records at indices again; the selection
  // stays. Indices that are not a known record's make the cache read all.
  void ReplacePositions(CMapViewHost& host, const std::vector<int32_t>& indices) {
    if (!m_positionsValid) return;
    for (const int32_t index : indices) {
      if (index < 0 || static_cast<std::size_t>(index) >= m_positions.size()) {
        ForgetRecords();
        return;
      }
    }
    const CDatumHandle wgs84 = GetWgs84Datum();
    std::vector<LatLon> read;
    read.reserve(indices.size());
    host.GetActiveRecords(MakeIntPtrIterator(indices.data()),
                          MakeIntPtrIterator(indices.data() + indices.size()),
                          MakeVisitorSink<CLocationRecord>([&](const CLocationRecord& record) {
                            read.push_back(DegreesOf(record, wgs84));
                          }));
    if (read.size() != indices.size()) {
      ForgetRecords();
      return;
    }
    for (std::size_t i = 0; i < indices.size(); ++i)
      m_positions[static_cast<std::size_t>(indices[i])] = read[i];
  }

  void Load(CMapViewHost& host) {
    if (!m_positionsValid) {
      m_positions.clear();
      const int32_t count = std::max(0, host.GetActiveRecordCount());
      m_positions.reserve(static_cast<std::size_t>(count));
      const CDatumHandle wgs84 = GetWgs84Datum();
      host.GetActiveRecords(
          MakeCountingIterator(0), MakeCountingIterator(count),
          MakeVisitorSink<CLocationRecord>([this, &wgs84](const CLocationRecord& record) {
            m_positions.push_back(DegreesOf(record, wgs84));
          }));
      m_positionsValid = true;
    }
    if (!m_selectionValid) {
      m_selection.clear();
      host.GetActiveSelection(MakeIntBackInserter(m_selection));
      m_selectionValid = true;
    }
  }

  const std::vector<LatLon>& Positions() const { return m_positions; }
  const std::vector<int32_t>& Selection() const { return m_selection; }

 private:
  bool m_positionsValid = false;
  bool m_selectionValid = false;
  std::vector<LatLon> m_positions;
  std::vector<int32_t> m_selection;
};

CMapView::CMapView(CMapViewHost& host, QWidget* parent)
    : QAbstractScrollArea(parent), m_host(host), m_records(std::make_unique<CRecordCache>()) {
  setObjectName(QStringLiteral("MapView"));
  setFocusPolicy(Qt::StrongFocus);
  setFrameShape(QFrame::StyledPanel);
  setFrameShadow(QFrame::Sunken);
  viewport()->setMouseTracking(true);
  // Every pixel comes from the off-screen image.
  viewport()->setAutoFillBackground(false);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  for (const bool vertical : {false, true}) {
    QScrollBar* bar = vertical ? verticalScrollBar() : horizontalScrollBar();
    bar->setRange(0, kScrollMaximum);
    bar->setPageStep(kScrollPage);
    bar->setSingleStep(1);
    bar->setValue(kScrollCentre);
    connect(bar, &QAbstractSlider::actionTriggered, this, [this, bar, vertical](int action) {
      m_host.RunGuarded(this, [&] { OnScrollAction(bar, vertical, action); });
    });
    connect(bar, &QAbstractSlider::sliderReleased, this, [this, bar] {
      m_lastThumbOffset = 0;
      ResetThumb(bar);
    });
    bar->installEventFilter(this);
  }
  m_tool = std::make_unique<CSelectTool>(*this);
}

CMapView::~CMapView() {
  m_destroying = true;
  // The scroll bars outlive this part of the view.
  for (QScrollBar* bar : {horizontalScrollBar(), verticalScrollBar()}) {
    bar->disconnect(this);
    bar->removeEventFilter(this);
  }
  try {
    ReleaseWindowResources();
  } catch (...) {
    // The map set goes its own way; nothing more can be done here.
  }
  // A pick still open is cancelled; its callback may ask for the select
  // tool, which a view that goes no longer installs.
  m_tool.reset();
  m_retiredTools.clear();
}

// ---- geometry

QPointF CMapView::GetDotsPerInch() const { return QPointF(logicalDpiX(), logicalDpiY()); }

double CMapView::LatitudeSpan(double pixels, double scale) const {
  return (pixels / GetDotsPerInch().y()) / scale / kMetresPerDegree * kMetresPerInch;
}

double CMapView::LongitudeSpan(double pixels, double scale) const {
  return (pixels / GetDotsPerInch().x()) / scale / kMetresPerDegree * kMetresPerInch /
         m_host.GetMapSet().GetTileLoadFactor();
}

std::pair<double, double> CMapView::GetViewSizeDegrees(double scale) const {
  const QSize client = viewport()->size();
  return {LatitudeSpan(client.height(), scale), LongitudeSpan(client.width(), scale)};
}

std::pair<double, double> CMapView::GetViewSizeAtUnitScale() const {
  return GetViewSizeDegrees(1.0);
}

CGeoRect CMapView::ComputeViewRect() const {
  const CMapViewState* state = GetViewState();
  if (state == nullptr) return m_viewRect;
  const LatLon topLeft = state->GetTopLeft();
  const auto size = GetViewSizeDegrees(state->GetScale());
  return {topLeft.first, topLeft.second, topLeft.first - size.first, topLeft.second + size.second};
}

QPointF CMapView::LatLonToPixelF(const LatLon& position) const {
  const QSize client = viewport()->size();
  const CGeoRect& r = m_viewRect;
  return QPointF((position.second - r.left) / (r.right - r.left) * client.width(),
                 (r.top - position.first) / (r.top - r.bottom) * client.height());
}

QPoint CMapView::LatLonToPixel(const LatLon& position) const {
  const QPointF pixel = LatLonToPixelF(position);
  return QPoint(ToPixel(pixel.x()), ToPixel(pixel.y()));
}

LatLon CMapView::PixelToLatLon(const QPoint& point) const {
  const QSize client = viewport()->size();
  const CGeoRect& r = m_viewRect;
  if (client.isEmpty()) return {r.top, r.left};
  return {r.top - (r.top - r.bottom) * point.y() / client.height(),
          r.left + (r.right - r.left) * point.x() / client.width()};
}

std::optional<CDrawnMarker> CMapView::HitTest(const QPoint& point) const {
  for (const CDrawnMarker& marker : m_drawnMarkers) {
    if (std::abs(marker.x - point.x()) < kHitTolerance &&
        std::abs(marker.y - point.y()) < kHitTolerance)
      return marker;
  }
  return std::nullopt;
}

// ---- commands

void CMapView::ZoomIn() {
  if (const CMapViewState* state = GetViewState()) ZoomTo(state->GetScale() * 2.0);
}

void CMapView::ZoomOut() {
  if (const CMapViewState* state = GetViewState()) ZoomTo(state->GetScale() / 2.0);
}

void CMapView::ZoomTo(double scale) {
  CMapViewState* state = GetViewState();
  if (state == nullptr) return;
  state->BeginUpdate();
  CMapViewUpdateGuard update(state);
  const CGeoRect before = ComputeViewRect();
  LatLon topLeft = state->GetTopLeft();
  const double old = state->GetScale();
  const double fresh = state->SetScale(scale);
  const double k = 1.0 - old / fresh;
  topLeft.first -= (before.top - before.bottom) * k * 0.5;
  topLeft.second += (before.right - before.left) * k * 0.5;
  state->SetTopLeft(topLeft);
}

namespace {

// The box around the positions at the given indices (all when indices is
// null); none when there is nothing to box.
std::optional<CGeoRect> BoundingBox(const std::vector<LatLon>& positions,
                                    const std::vector<int32_t>* indices) {
  double top = -DBL_MAX, left = DBL_MAX, bottom = DBL_MAX, right = -DBL_MAX;
  bool any = false;
  auto add = [&](const LatLon& p) {
    top = std::max(top, p.first);
    bottom = std::min(bottom, p.first);
    left = std::min(left, p.second);
    right = std::max(right, p.second);
    any = true;
  };
  if (indices == nullptr) {
    for (const LatLon& p : positions) add(p);
  } else {
    for (int32_t i : *indices) {
      if (i >= 0 && static_cast<std::size_t>(i) < positions.size()) add(positions[i]);
    }
  }
  if (!any) return std::nullopt;
  return CGeoRect{top, left, bottom, right};
}

// The median latitude and the median longitude of positions, when a view of
// size degrees centred there shows one of them; else the position nearest
// to it on the screen. None when no position is a number.
std::optional<LatLon> CentreShowingRecords(const std::vector<LatLon>& positions,
                                           const std::pair<double, double>& size) {
  std::vector<double> latitudes, longitudes;
  for (const LatLon& p : positions) {
    if (std::isfinite(p.first) && std::isfinite(p.second)) {
      latitudes.push_back(p.first);
      longitudes.push_back(p.second);
    }
  }
  if (latitudes.empty()) return std::nullopt;
  auto median = [](std::vector<double>& values) {
    const std::size_t half = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + half, values.end());
    if (values.size() % 2 != 0) return values[half];
    // Halves first: the sum of two large values could overflow.
    const double below = *std::max_element(values.begin(), values.begin() + half);
    return below * 0.5 + values[half] * 0.5;
  };
  const LatLon centre{median(latitudes), median(longitudes)};
  const LatLon* nearest = nullptr;
  double nearestDistance = 0.0;
  for (const LatLon& p : positions) {
    // In view widths and heights, as the screen shows them.
    const double dy = (p.first - centre.first) / size.first;
    const double dx = (p.second - centre.second) / size.second;
    if (std::abs(dy) < 0.5 && std::abs(dx) < 0.5) return centre;
    const double distance = dy * dy + dx * dx;
    if (std::isfinite(distance) && (nearest == nullptr || distance < nearestDistance)) {
      nearest = &p;
      nearestDistance = distance;
    }
  }
  return nearest != nullptr ? *nearest : centre;
}

}  // namespace

void CMapView::ZoomToRect(const CGeoRect& rect) { FitRect(NormalizeGeoRect(rect), nullptr); }

void CMapView::FitRect(const CGeoRect& r, const std::vector<LatLon>* records) {
  CMapViewState* state = GetViewState();
  if (state == nullptr) return;
  const QSize client = viewport()->size();
  const double clientAspect = static_cast<double>(client.width()) / client.height();
  const double rectAspect =
      (r.right - r.left) * m_host.GetMapSet().GetTileLoadFactor() / (r.top - r.bottom);
  const auto unit = GetViewSizeAtUnitScale();
  double scale = 0.0;
  LatLon topLeft;
  if (clientAspect > rectAspect) {
    // The height limits.
    scale = unit.first / (r.top - r.bottom);
    topLeft = {r.top, r.left - (GetViewSizeDegrees(scale).second - (r.right - r.left)) * 0.5};
  } else {
    // The width limits, also when the rectangle has no extent at all.
    scale = unit.second / (r.right - r.left);
    topLeft = {r.top + (GetViewSizeDegrees(scale).first - (r.top - r.bottom)) * 0.5, r.left};
  }
  state->BeginUpdate();
  CMapViewUpdateGuard update(state);
  const double stored = state->SetScale(scale);
  if (stored != scale) {
    // The scale was held at a limit: the corner above belongs to a view of
    // another size, which could leave the records out of sight. The view is
    // centred at the scale it got instead: on the box when the box fits,
    // else on the records themselves, whose box may well have nothing in
    // its middle.
    const auto size = GetViewSizeDegrees(stored);
    LatLon centre{r.top * 0.5 + r.bottom * 0.5, r.left * 0.5 + r.right * 0.5};
    if (records != nullptr && scale < stored) {
      if (const auto shown = CentreShowingRecords(*records, size)) centre = *shown;
    }
    topLeft = {centre.first + size.first * 0.5, centre.second - size.second * 0.5};
  }
  state->SetTopLeft(topLeft);
}

void CMapView::FitAllLocations() {
  m_records->Load(m_host);
  const std::vector<LatLon>& positions = m_records->Positions();
  if (const auto box = BoundingBox(positions, nullptr)) FitRect(*box, &positions);
}

void CMapView::CenterOnLocations() {
  CMapViewState* state = GetViewState();
  if (state == nullptr) return;
  m_records->Load(m_host);
  const std::vector<int32_t>& selection = m_records->Selection();
  const auto box = BoundingBox(m_records->Positions(), selection.empty() ? nullptr : &selection);
  if (!box) return;
  const double latitude = (box->top + box->bottom) * 0.5;
  const double longitude = (box->left + box->right) * 0.5;
  const CGeoRect view = ComputeViewRect();
  state->SetTopLeft(
      {latitude + (view.top - view.bottom) * 0.5, longitude - (view.right - view.left) * 0.5});
}

void CMapView::ScrollLatitude(double offset) {
  CMapViewState* state = GetViewState();
  if (state == nullptr) return;
  const LatLon topLeft = state->GetTopLeft();
  state->SetTopLeft({topLeft.first - offset, topLeft.second});
}

void CMapView::ScrollLongitude(double offset) {
  CMapViewState* state = GetViewState();
  if (state == nullptr) return;
  const LatLon topLeft = state->GetTopLeft();
  state->SetTopLeft({topLeft.first, topLeft.second + offset});
}

void CMapView::OnScrollAction(QScrollBar* bar, bool vertical, int action) {
  if (m_resettingThumb) return;
  int steps = 0;
  bool resetThumb = true;
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd:
      steps = 1;
      break;
    case QAbstractSlider::SliderSingleStepSub:
      steps = -1;
      break;
    case QAbstractSlider::SliderPageStepAdd:
      steps = kStepsPerPage;
      break;
    case QAbstractSlider::SliderPageStepSub:
      steps = -kStepsPerPage;
      break;
    case QAbstractSlider::SliderMove: {
      const int offset = bar->sliderPosition() - kScrollCentre;
      if (bar->isSliderDown()) {
        // The thumb follows the pointer; every notice moves the map by what
        // the thumb moved since the last one.
        steps = offset - m_lastThumbOffset;
        m_lastThumbOffset = offset;
        resetThumb = false;
      } else {
        // A jump of the thumb without dragging it (the bar's own menu).
        steps = offset;
      }
      break;
    }
    default:
      break;
  }
  // The thumb rests in the middle: the bars move the map, not a document.
  if (resetThumb) ResetThumb(bar);
  if (steps == 0) return;
  const CGeoRect view = ComputeViewRect();
  if (vertical)
    ScrollLatitude((view.top - view.bottom) * steps / kStepsPerView);
  else
    ScrollLongitude((view.right - view.left) * steps / kStepsPerView);
}

void CMapView::ResetThumb(QScrollBar* bar) {
  m_resettingThumb = true;
  bar->setSliderPosition(kScrollCentre);
  m_resettingThumb = false;
}

// ---- tools

template <class Handler>
void CMapView::DispatchToTool(Handler&& handler) {
  {
    CDispatchScope scope(m_dispatchDepth);
    m_host.RunGuarded(this, [&] {
      // The tool stays alive for the whole handler even when the handler
      // replaces it: it is retired, not destroyed, while a handler runs.
      if (CMapTool* tool = m_tool.get()) handler(*tool);
    });
  }
  if (m_dispatchDepth == 0) DestroyRetiredTools();
}

void CMapView::SetSelectTool() { SetTool(std::make_unique<CSelectTool>(*this)); }

void CMapView::SetRectanglePickTool(CPickCallback* callback) {
  SetTool(std::make_unique<CRectanglePickTool>(*this, callback));
}

void CMapView::SetPointPickTool(CPickCallback* callback) {
  SetTool(std::make_unique<CPointPickTool>(*this, callback));
}

void CMapView::SetTool(std::unique_ptr<CMapTool> tool) { InstallTool(std::move(tool)); }

void CMapView::InstallTool(std::unique_ptr<CMapTool> tool) {
  if (m_destroying) return;
  // The current tool goes first. A pick it had not delivered is cancelled
  // now, and the canceller may install a tool of its own: this later
  // request still wins.
  RetireTool(std::move(m_tool));
  if (m_tool) RetireTool(std::move(m_tool));
  m_tool = std::move(tool);
  viewport()->update();
  UpdateCursor();
}

void CMapView::RetireTool(std::unique_ptr<CMapTool> tool) {
  if (!tool) return;
  m_retiredTools.push_back(std::move(tool));
  if (m_dispatchDepth == 0) DestroyRetiredTools();
}

void CMapView::DestroyRetiredTools() {
  // Destroying a tool may retire others (a cancelled pick asks for the
  // select tool); they go in the same loop.
  if (m_destroyingTools) return;
  m_destroyingTools = true;
  while (!m_retiredTools.empty()) {
    std::unique_ptr<CMapTool> tool = std::move(m_retiredTools.back());
    m_retiredTools.pop_back();
    tool.reset();
  }
  m_destroyingTools = false;
}

void CMapView::UpdateCursor() {
  const std::optional<QCursor> cursor = m_tool ? m_tool->GetCursor() : std::nullopt;
  if (cursor)
    viewport()->setCursor(*cursor);
  else
    viewport()->unsetCursor();
}

void CMapView::UpdateOverlay(const QRect& rect) { viewport()->update(rect); }

// ---- listeners

void CMapView::OnViewStateChanged() {
  if (GetViewState() == nullptr) return;
  m_viewRect = ComputeViewRect();
  m_renderNeeded = true;
  viewport()->update();
}

void CMapView::OnRecordsChanged() {
  ++m_recordsVersion;
  m_records->ForgetRecords();
  OnViewStateChanged();
}

void CMapView::OnRecordsReplaced(const std::vector<int32_t>& indices) {
  ++m_recordsVersion;
  m_records->ReplacePositions(m_host, indices);
  OnViewStateChanged();
}

void CMapView::OnSelectionChanged() {
  m_records->ForgetSelection();
  OnViewStateChanged();
}

void CMapView::OnMapSetChanged() {
  ClearDrawnTiles();
  OnViewStateChanged();
}

void CMapView::OnTileReleased(CTile* tile) {
  const auto found = m_drawnTiles.find(tile);
  if (found == m_drawnTiles.end()) return;
  // The tile has cancelled its jobs already.
  found->second->tile = nullptr;
  m_drawnTiles.erase(found);
}

void CMapView::ClearDrawnTiles() {
  m_drawnTiles.clear();
  m_tileSizeStale = true;
}

void CMapView::ReleaseWindowResources() {
  m_host.GetMapSet().ClearTiles();
  ClearDrawnTiles();
  ReleaseOffscreenImage();
}

// ---- rendering

void CMapView::ReleaseOffscreenImage() {
  m_image = QImage();
  m_screenSize = QSize();
  m_renderNeeded = true;
}

void CMapView::EnsureOffscreenImage() {
  const QScreen* shown = screen();
  const QSize screenSize = shown ? shown->size() : QSize();
  const double ratio = devicePixelRatioF();
  if (!m_image.isNull() && (screenSize != m_screenSize || m_image.devicePixelRatio() != ratio)) {
    // Another screen: tiles of the old size and density are of no use.
    ClearDrawnTiles();
    ReleaseOffscreenImage();
  }
  // The screen's size, so that resizing rarely needs a new image, but never
  // less than the view: a window may be larger than its screen.
  const QSize logical = screenSize.expandedTo(viewport()->size()).expandedTo(QSize(1, 1));
  const QSize pixels(static_cast<int>(std::ceil(logical.width() * ratio)),
                     static_cast<int>(std::ceil(logical.height() * ratio)));
  if (!m_image.isNull() && m_image.width() >= pixels.width() && m_image.height() >= pixels.height())
    return;
  m_image = QImage(pixels, QImage::Format_RGB32);
  m_image.setDevicePixelRatio(ratio);
  m_image.fill(kWhite);
  m_screenSize = screenSize;
}

void CMapView::Render() {
  EnsureOffscreenImage();
  const double ratio = m_image.devicePixelRatio();
  const QSize client = viewport()->size();
  const QRect clientPixels(0, 0, std::min(m_image.width(), qCeil(client.width() * ratio)),
                           std::min(m_image.height(), qCeil(client.height() * ratio)));
  CPixelTarget target = PixelTargetOf(m_image);
  for (int y = 0; y < clientPixels.height(); ++y) {
    std::fill_n(target.bits + y * target.stride, clientPixels.width(), kWhite);
  }
  CMapViewState* state = GetViewState();
  if (state == nullptr) {
    m_renderNeeded = false;
    return;
  }

  const double scale = state->GetScale();
  if (scale != m_lastScale) m_tileSizeStale = true;
  m_lastScale = scale;
  if (!SameRect(m_viewRect, m_tiledRect)) {
    m_tiledRect = m_viewRect;
    m_viewRectChanged = true;
  }
  CMapSet& maps = m_host.GetMapSet();
  if (m_viewRectChanged || m_tileSizeStale) {
    if (m_tileSizeStale) {
      ClearDrawnTiles();
      // Tiles are half a screen high and wide at this scale.
      const QSize screenSize = m_screenSize.isEmpty() ? client : m_screenSize;
      maps.SetTileSize(LatitudeSpan(screenSize.height() / 2.0, scale),
                       LongitudeSpan(screenSize.width() / 2.0, scale));
      m_tileSizeStale = false;
    }
    maps.BuildTiles(m_viewRect, this);
    m_viewRectChanged = false;
  }
  std::vector<CTile*> tiles;
  maps.ForEachTile(MakeBackInserter(tiles));
  if (!tiles.empty()) {
    // Tiles are placed in the image's own pixels: edges rounded there are
    // shared exactly by neighbouring tiles at any density.
    QImage pixels(m_image.bits(), m_image.width(), m_image.height(), m_image.bytesPerLine(),
                  m_image.format());
    QPainter painter(&pixels);
    painter.setClipRect(clientPixels);
    for (CTile* tile : tiles) DrawTile(painter, tile);
  }
  DrawRecords();
  m_renderNeeded = false;
}

void CMapView::DrawTile(QPainter& painter, CTile* tile) {
  // The tile's edges in the image's pixels. Each edge is rounded on its own,
  // from the same longitude or latitude the neighbouring tile shares, so that
  // tiles of one map meet without a gap or an overlap wherever the view
  // stands; the drawn size follows the edges, not the size of the image.
  const CGeoRect& rect = tile->GetRect();
  const double ratio = m_image.devicePixelRatio();
  const QPointF topLeft = LatLonToPixelF({rect.top, rect.left}) * ratio;
  const QPointF bottomRight = LatLonToPixelF({rect.bottom, rect.right}) * ratio;
  auto found = m_drawnTiles.find(tile);
  if (found == m_drawnTiles.end()) {
    const double width = bottomRight.x() - topLeft.x();
    const double height = bottomRight.y() - topLeft.y();
    if (!(width > 0.0 && height > 0.0) || width > kMaxTileSide * ratio ||
        height > kMaxTileSide * ratio)
      return;
    // Rendered at the screen's density, so that the map is sharp, and wide
    // enough for the wider of the two sizes its edges can round to. A size a
    // rounding error above a whole number is that number. The tile's exact
    // extent starts at the image's corner: the picture then lies within
    // half a pixel of its true place wherever the view scrolls the image to.
    auto side = [](double exact) { return std::max(1, static_cast<int>(std::ceil(exact - 1e-6))); };
    auto drawn = std::make_unique<CDrawnTile>();
    drawn->image = QImage(side(width), side(height), QImage::Format_RGB32);
    drawn->image.fill(kWhite);
    drawn->job =
        tile->Enqueue(&drawn->image, QRectF(0, 0, width, height), this, TileReadyEventType());
    drawn->size = drawn->image.size();
    drawn->tile = tile;
    found = m_drawnTiles.emplace(tile, std::move(drawn)).first;
  }
  CDrawnTile& drawn = *found->second;
  if (drawn.pixmap.isNull() && drawn.job != nullptr && tile->IsDone(drawn.job)) {
    drawn.pixmap = QPixmap::fromImage(drawn.image);
    // The job has finished: letting it go returns at once, and the image
    // is no longer needed.
    tile->Cancel(drawn.job);
    drawn.job = nullptr;
    drawn.image = QImage();
  }
  const QRect place(QPoint(ToPixelEdge(topLeft.x()), ToPixelEdge(topLeft.y())),
                    QPoint(ToPixelEdge(bottomRight.x()) - 1, ToPixelEdge(bottomRight.y()) - 1));
  if (place.isEmpty()) return;
  if (drawn.pixmap.isNull()) {
    painter.setBackgroundMode(Qt::OpaqueMode);
    painter.setBackground(QColor::fromRgb(kWhite));
    painter.fillRect(place, QBrush(QColor::fromRgb(kOutlineColour), Qt::DiagCrossPattern));
  } else if (place.width() <= drawn.size.width() && place.height() <= drawn.size.height()) {
    // The usual case: the image's top-left part, pixel for pixel.
    painter.drawPixmap(place.topLeft(), drawn.pixmap, QRect(QPoint(0, 0), place.size()));
  } else {
    // Edges a rounding error apart from the image's size: stretched by a
    // pixel rather than leave one empty.
    painter.drawPixmap(place, drawn.pixmap);
  }
}

namespace {

// A record's place in view pixels, before truncation.
struct CPixelPosition {
  double x;
  double y;
  bool IsFinite() const { return std::isfinite(x) && std::isfinite(y); }
};

}  // namespace

void CMapView::DrawRecords() {
  m_drawnMarkers.clear();
  m_records->Load(m_host);
  const std::vector<LatLon>& positions = m_records->Positions();
  const CMapViewState* state = GetViewState();
  const bool connect = state != nullptr && state->GetConnectLocations();

  const QSize client = viewport()->size();
  const CGeoRect r = m_viewRect;
  const double ratio = m_image.devicePixelRatio();
  const bool exact = ratio == 1.0;
  const int half = exact ? kMarkerHalf : qRound(kMarkerHalf * ratio);
  const int border = exact ? 1 : std::max(1, qRound(ratio));
  const CPixelTarget target = PixelTargetOf(m_image);
  // Markers that stand across the image's edge are left to the painter,
  // whose outline there differs from the plain square.
  std::unique_ptr<QPainter> edgePainter;
  const CInsideMarker<kMarkerHalf, 1> plainMarker(kMarkerColour, kOutlineColour);
  const CInsideMarker<kMarkerHalf, 1> selectedMarker(kSelectedMarkerColour, kOutlineColour);

  // The same arithmetic as LatLonToPixel, kept in doubles until drawing.
  auto place = [&](const LatLon& p) {
    return CPixelPosition{(p.second - r.left) / (r.right - r.left) * client.width(),
                          (r.top - p.first) / (r.top - r.bottom) * client.height()};
  };
  auto drawMarker = [&](const CPixelPosition& p, QRgb fill) {
    if (!p.IsFinite()) return;
    const int x = ToPixel(p.x * ratio);
    const int y = ToPixel(p.y * ratio);
    if (IsMarkerOutside(target, x, y, half)) return;
    if (exact && IsMarkerInside(target, x, y, half)) {
      (fill == kMarkerColour ? plainMarker : selectedMarker).Draw(target, x, y);
      return;
    }
    if (!exact) {
      DrawSquareMarker(target, x, y, half, border, fill, kOutlineColour);
      return;
    }
    if (!edgePainter) {
      edgePainter = std::make_unique<QPainter>(&m_image);
      edgePainter->setPen(QPen(QColor::fromRgb(kOutlineColour), 1.0));
    }
    edgePainter->setBrush(QColor::fromRgb(fill));
    edgePainter->drawRect(
        QRect(x - kMarkerHalf, y - kMarkerHalf, 2 * kMarkerHalf, 2 * kMarkerHalf));
  };
  auto drawLine = [&](const CPixelPosition& a, const CPixelPosition& b) {
    if (!a.IsFinite() || !b.IsFinite()) return;
    double x1 = a.x * ratio, y1 = a.y * ratio, x2 = b.x * ratio, y2 = b.y * ratio;
    const double limit = kPixelLimit;
    if (std::max({std::abs(x1), std::abs(y1), std::abs(x2), std::abs(y2)}) > limit) {
      // Far outside: cut it to what int pixels can hold first, keeping its
      // direction, so that the part in view is drawn where it belongs.
      if (!ClipSegment(x1, y1, x2, y2, -limit, -limit, limit, limit)) return;
    }
    DrawPixelLine(target, QPoint(static_cast<int>(x1), static_cast<int>(y1)),
                  QPoint(static_cast<int>(x2), static_cast<int>(y2)), kLineColour);
  };

  const std::size_t count = positions.size();
  // Only what a point of the view can hit is kept for hit tests.
  const int hitLeft = -kHitTolerance, hitTop = -kHitTolerance;
  const int hitRight = client.width() + kHitTolerance, hitBottom = client.height() + kHitTolerance;
  CPixelPosition current = count != 0 ? place(positions[0]) : CPixelPosition{0.0, 0.0};
  for (std::size_t i = 0; i < count; ++i) {
    CPixelPosition next{0.0, 0.0};
    if (i + 1 < count) {
      next = place(positions[i + 1]);
      if (connect) drawLine(current, next);
    }
    drawMarker(current, kMarkerColour);
    if (current.IsFinite()) {
      const int x = ToPixel(current.x), y = ToPixel(current.y);
      if (x >= hitLeft && x < hitRight && y >= hitTop && y < hitBottom)
        m_drawnMarkers.push_back({x, y, static_cast<int32_t>(i)});
    }
    current = next;
  }
  for (const int32_t index : m_records->Selection()) {
    if (index >= 0 && static_cast<std::size_t>(index) < count)
      drawMarker(place(positions[index]), kSelectedMarkerColour);
  }
}

// ---- events

bool CMapView::event(QEvent* event) {
  if (event->type() == TileReadyEventType()) {
    m_host.RunGuarded(this, [&] { OnViewStateChanged(); });
    return true;
  }
  return QAbstractScrollArea::event(event);
}

bool CMapView::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::Leave) {
    m_host.RunGuarded(this, [&] {
      ForgetPointer();
      UpdateCursor();
    });
  }
  return QAbstractScrollArea::viewportEvent(event);
}

void CMapView::ForgetPointer() {
  m_pointerInside = false;
  if (CMapViewState* state = GetViewState()) state->ClearCursorPosition();
}

void CMapView::paintEvent(QPaintEvent* event) {
  m_host.RunGuarded(this, [&] {
    const double ratio = devicePixelRatioF();
    if (m_image.isNull() || m_image.devicePixelRatio() != ratio ||
        m_image.width() < viewport()->width() * ratio ||
        m_image.height() < viewport()->height() * ratio)
      m_renderNeeded = true;
    if (m_renderNeeded) Render();
    QPainter painter(viewport());
    const QRect area = event->rect();
    const double imageRatio = m_image.devicePixelRatio();
    painter.drawImage(area.topLeft(), m_image,
                      QRectF(area.x() * imageRatio, area.y() * imageRatio,
                             area.width() * imageRatio, area.height() * imageRatio));
    if (m_tool) m_tool->OnPaint(painter);
  });
}

void CMapView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  m_host.RunGuarded(this, [&] { OnViewStateChanged(); });
}

void CMapView::mousePressEvent(QMouseEvent* event) {
  // A click on the map gives it the keys of the record commands.
  setFocus(Qt::MouseFocusReason);
  if (event->button() != Qt::LeftButton) return;
  m_leftButtonDown = true;
  const QPoint point = event->position().toPoint();
  const Qt::KeyboardModifiers modifiers = event->modifiers();
  DispatchToTool([&](CMapTool& tool) {
    // Hits must name the records as they are now, not as last painted: an
    // edit since then may have renumbered them.
    if (m_renderNeeded) Render();
    tool.OnLButtonDown(modifiers, point);
  });
  UpdateCursor();
}

void CMapView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  m_leftButtonDown = false;
  const QPoint point = event->position().toPoint();
  DispatchToTool([&](CMapTool& tool) { tool.OnLButtonUp(point); });
  UpdateCursor();
}

void CMapView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  m_leftButtonDown = true;
  const QPoint point = event->position().toPoint();
  DispatchToTool([&](CMapTool& tool) {
    if (m_renderNeeded) Render();
    tool.OnLButtonDblClk(point);
  });
  UpdateCursor();
}

void CMapView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint point = event->position().toPoint();
  m_pointerInside = viewport()->rect().contains(point);
  m_host.RunGuarded(this, [&] {
    if (CMapViewState* state = GetViewState()) state->SetCursorPosition(PixelToLatLon(point));
  });
  if (m_leftButtonDown && !(event->buttons() & Qt::LeftButton)) {
    // The button came up where the view could not see it (a menu or a box
    // had the mouse): what the press began ends here, before this move
    // could carry on with it.
    m_leftButtonDown = false;
    DispatchToTool([&](CMapTool& tool) { tool.OnPressLost(); });
  }
  DispatchToTool([&](CMapTool& tool) { tool.OnMouseMove(point); });
  UpdateCursor();
}

void CMapView::wheelEvent(QWheelEvent* event) {
  event->accept();
  m_host.RunGuarded(this, [&] { OnWheel(*event); });
}

bool CMapView::eventFilter(QObject* watched, QEvent* event) {
  // Over the scroll bars the wheel moves the map as it does over the map,
  // not by the bars' own steps.
  if (event->type() == QEvent::Wheel &&
      (watched == horizontalScrollBar() || watched == verticalScrollBar())) {
    wheelEvent(static_cast<QWheelEvent*>(event));
    return true;
  }
  return QAbstractScrollArea::eventFilter(watched, event);
}

void CMapView::OnWheel(const QWheelEvent& event) {
  // A notch of 120 moves the view 25/128 of its extent. The wheel moves it
  // north and south, with Shift west and east; a sideways wheel or swipe
  // (some platforms also hand over a wheel turned with Shift so) moves it
  // west and east only.
  const int down = event.angleDelta().y();
  const int across = event.angleDelta().x();
  CMapViewState* state = GetViewState();
  if (state == nullptr) return;
  const Qt::KeyboardModifiers modifiers = event.modifiers();
  if (modifiers & Qt::ControlModifier) {
    if (down >= 1)
      state->ZoomIn();
    else if (down != 0)
      state->ZoomOut();
    return;
  }
  const bool shift = (modifiers & Qt::ShiftModifier) != 0;
  const int latitudeDelta = shift ? 0 : down;
  const int longitudeDelta = across + (shift ? down : 0);
  if (latitudeDelta == 0 && longitudeDelta == 0) return;
  const CGeoRect view = ComputeViewRect();
  state->BeginUpdate();
  CMapViewUpdateGuard update(state);
  if (latitudeDelta != 0)
    ScrollLatitude((view.top - view.bottom) * -latitudeDelta * kStepsPerPage / kWheelDivisor);
  if (longitudeDelta != 0)
    ScrollLongitude((view.right - view.left) * -longitudeDelta * kStepsPerPage / kWheelDivisor);
}

void CMapView::contextMenuEvent(QContextMenuEvent* event) {
  event->accept();
  const QPoint screenPoint = event->reason() == QContextMenuEvent::Keyboard
                                 ? viewport()->mapToGlobal(QPoint(0, 0))
                                 : event->globalPos();
  DispatchToTool([&](CMapTool& tool) { tool.OnContextMenu(screenPoint); });
}

void CMapView::keyPressEvent(QKeyEvent* event) {
  bool taken = false;
  DispatchToTool([&](CMapTool& tool) { taken = tool.PreTranslateKey(*event); });
  // Keys the tool leaves alone do not scroll: the bars move the map only
  // when used themselves.
  if (taken)
    event->accept();
  else
    QWidget::keyPressEvent(event);
}
