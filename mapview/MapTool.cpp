#include "mapview/MapTool.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <utility>

#include "location/IteratorAdaptors.h"
#include "mapview/MapView.h"
#include "mapview/MapViewHost.h"
#include "mapview/PickCallback.h"
#include "mapview/ViewAdaptors.h"

namespace {

CAngle MoveAngle(const CAngle& angle, double offset) {
  // No offset, no change: a round trip through degrees could lose a
  // hundredth of a second.
  if (offset == 0.0) return angle;
  if (angle.unit == kAngleUnitDegrees) return CAngle::FromDegrees(angle.degrees + offset);
  return CAngle::FromDms(DegreesToDms(DmsToDegrees(angle.dms) + offset));
}

// Tells a pick's callback that it was cancelled, from a destructor.
void CancelQuietly(CPickCallback* callback) {
  if (callback == nullptr) return;
  try {
    callback->OnPickCancelled();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "QlFolvane: a cancelled map pick failed: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "QlFolvane: a cancelled map pick failed\n");
  }
}

}  // namespace

CLocationRecord MoveRecord(const CLocationRecord& record, const LatLon& offset) {
  CLocationRecord moved = record;
  moved.position.latitude = MoveAngle(record.position.latitude, offset.first);
  moved.position.longitude = MoveAngle(record.position.longitude, offset.second);
  return moved;
}

// ---- select tool

CSelectTool::CSelectTool(CMapView& view) : m_view(view) {}

std::set<int32_t> CSelectTool::ReadSelection() const {
  std::vector<int32_t> selected;
  m_view.GetHost().GetActiveSelection(MakeIntBackInserter(selected));
  return std::set<int32_t>(selected.begin(), selected.end());
}

void CSelectTool::OnLButtonDown(Qt::KeyboardModifiers modifiers, const QPoint& point) {
  const std::optional<CDrawnMarker> marker = m_view.HitTest(point);
  m_markerUnderPointer = marker.has_value();
  CMapViewHost& host = m_view.GetHost();
  if (!marker) {
    m_mode = kPanning;
    if (const CMapViewState* state = m_view.GetViewState()) m_topLeftAtPress = state->GetTopLeft();
  } else {
    std::set<int32_t> selection = ReadSelection();
    const int32_t index = marker->recordIndex;
    if (modifiers & Qt::ControlModifier) {
      if (!selection.erase(index)) selection.insert(index);
      const std::vector<int32_t> ordered(selection.begin(), selection.end());
      host.SetActiveSelection(MakeIntPtrIterator(ordered.data()),
                              MakeIntPtrIterator(ordered.data() + ordered.size()));
    } else if (selection.count(index) == 0) {
      // A selected record keeps the selection, so that a drag moves it all.
      host.SetActiveSelection(MakeIntPtrIterator(&index), MakeIntPtrIterator(&index + 1));
    }
    m_mode = kMovingRecords;
    m_pressPosition = m_view.PixelToLatLon(point);
    m_movedIndices.reset();
    m_startingCopies.reset();
    m_writtenOffset.reset();
  }
  m_pressPoint = point;
}

void CSelectTool::EndDrag() {
  m_mode = kIdle;
  m_movedIndices.reset();
  m_startingCopies.reset();
  m_writtenOffset.reset();
}

void CSelectTool::OnMouseMove(const QPoint& point) {
  try {
    switch (m_mode) {
      case kPanning:
        Pan(point);
        break;
      case kMovingRecords:
        MoveRecords(point);
        break;
      case kIdle:
        m_markerUnderPointer = m_view.HitTest(point).has_value();
        break;
    }
  } catch (...) {
    // The drag ends here (a read-only folder refuses the move); the guard
    // shows the error.
    EndDrag();
    throw;
  }
}

void CSelectTool::Pan(const QPoint& point) {
  CMapViewState* state = m_view.GetViewState();
  if (state == nullptr) return;
  const double scale = state->GetScale();
  const int dx = point.x() - m_pressPoint.x();
  const int dy = point.y() - m_pressPoint.y();
  // The ground follows the pointer.
  state->SetTopLeft({m_topLeftAtPress.first + m_view.LatitudeSpan(dy, scale),
                     m_topLeftAtPress.second - m_view.LongitudeSpan(dx, scale)});
}

void CSelectTool::MoveRecords(const QPoint& point) {
  CMapViewHost& host = m_view.GetHost();
  if (!m_movedIndices) {
    // A click, wobble included, is no move: nothing is written until the
    // pointer has gone the platform's drag distance from the press.
    if ((point - m_pressPoint).manhattanLength() <
        QGuiApplication::styleHints()->startDragDistance())
      return;
    auto indices = std::make_unique<std::set<int32_t>>(ReadSelection());
    auto copies = std::make_unique<std::vector<CLocationRecord>>();
    const std::vector<int32_t> ordered(indices->begin(), indices->end());
    host.GetActiveRecords(MakeIntPtrIterator(ordered.data()),
                          MakeIntPtrIterator(ordered.data() + ordered.size()),
                          MakeRecordBackInserter(*copies));
    m_movedIndices = std::move(indices);
    m_startingCopies = std::move(copies);
    m_recordsVersion = m_view.GetRecordsVersion();
  } else if (m_view.GetRecordsVersion() != m_recordsVersion) {
    // Moved, removed or replaced under the drag: writing the starting copies
    // now would overwrite whatever the indices name today.
    EndDrag();
    return;
  }
  // As many indices as records came back: the moved copies are read in step
  // with the indices.
  std::vector<int32_t> indices(m_movedIndices->begin(), m_movedIndices->end());
  indices.resize(std::min(indices.size(), m_startingCopies->size()));
  if (indices.empty()) return;
  const LatLon now = m_view.PixelToLatLon(point);
  // Always from the starting copies: the records stand where they were plus
  // the whole way since the press.
  const LatLon offset{now.first - m_pressPosition.first, now.second - m_pressPosition.second};
  // Records that already stand there are not written again; before the
  // first write they stand at no offset.
  if (offset == m_writtenOffset.value_or(LatLon{0.0, 0.0})) return;
  const CLocationRecord* copies = m_startingCopies->data();
  host.ReplaceActiveRecords(MakeIntPtrIterator(indices.data()),
                            MakeIntPtrIterator(indices.data() + indices.size()),
                            MakeMovedRecordIterator(copies, offset, &MoveRecord));
  m_writtenOffset = offset;
  // The change this move made is the drag's own.
  m_recordsVersion = m_view.GetRecordsVersion();
}

void CSelectTool::OnLButtonUp(const QPoint&) { EndDrag(); }

void CSelectTool::OnLButtonDblClk(const QPoint& point) {
  if (m_view.HitTest(point)) m_view.GetHost().ShowProperties();
}

std::optional<QCursor> CSelectTool::GetCursor() {
  if (m_mode == kPanning) return QCursor(Qt::SizeAllCursor);
  if (!m_view.IsPointerInside()) return std::nullopt;
  if (m_mode == kMovingRecords || m_markerUnderPointer) return QCursor(Qt::PointingHandCursor);
  return m_view.GetHost().GetCursor(CMapViewHost::kSelectCursor);
}

void CSelectTool::OnContextMenu(const QPoint& screenPoint) {
  m_view.GetHost().ShowRecordMenu(screenPoint);
}

bool CSelectTool::PreTranslateKey(const QKeyEvent& event) {
  const QKeyCombination keys(event.modifiers() & ~Qt::KeypadModifier, Qt::Key(event.key()));
  return m_view.GetHost().RunRecordKey(QKeySequence(keys));
}

// ---- rectangle pick

CRectanglePickTool::CRectanglePickTool(CMapView& view, CPickCallback* callback)
    : m_view(view), m_callback(callback) {}

CRectanglePickTool::~CRectanglePickTool() { CancelQuietly(std::exchange(m_callback, nullptr)); }

QRect CRectanglePickTool::BandRect() const {
  if (!m_pressed) return QRect();
  // Rounded, not truncated: a corner picked at a pixel comes back to it.
  auto pixel = [this](const LatLon& position) {
    const QPointF p = m_view.LatLonToPixelF(position);
    const double limit = CMapView::kPixelLimit;
    return QPoint(qRound(std::clamp(p.x(), -limit, limit)),
                  qRound(std::clamp(p.y(), -limit, limit)));
  };
  const QPoint a = pixel(m_start);
  const QPoint b = pixel(m_current);
  return QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
               QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y())));
}

void CRectanglePickTool::OnLButtonDown(Qt::KeyboardModifiers, const QPoint& point) {
  m_pressed = true;
  m_start = m_view.PixelToLatLon(point);
  m_current = m_start;
  m_view.UpdateOverlay(BandRect());
}

void CRectanglePickTool::OnMouseMove(const QPoint& point) {
  const QRect before = BandRect();
  m_current = m_view.PixelToLatLon(point);
  if (m_pressed) m_view.UpdateOverlay(before.united(BandRect()));
}

void CRectanglePickTool::OnPaint(QPainter& painter) {
  if (!m_pressed) return;
  // The band inverts what it crosses, so it shows on any map.
  painter.save();
  painter.setCompositionMode(QPainter::RasterOp_NotDestination);
  painter.setPen(QPen(Qt::black, 0));
  painter.setBrush(Qt::NoBrush);
  const QRect band = BandRect();
  painter.drawRect(QRect(band.topLeft(), QSize(band.width() - 1, band.height() - 1)));
  painter.restore();
}

void CRectanglePickTool::OnLButtonUp(const QPoint& point) {
  // A release without a press of this tool has no start to pick from.
  if (!m_pressed) return;
  const QRect band = BandRect();
  m_pressed = false;
  m_current = m_view.PixelToLatLon(point);
  m_view.UpdateOverlay(band);
  const CGeoRect result{
      std::max(m_start.first, m_current.first), std::min(m_start.second, m_current.second),
      std::min(m_start.first, m_current.first), std::max(m_start.second, m_current.second)};
  CPickCallback* callback = std::exchange(m_callback, nullptr);
  if (callback == nullptr) return;
  // The callback usually replaces this tool; nothing of it is touched after.
  if (result.top == result.bottom && result.left == result.right)
    callback->OnPickCancelled();
  else
    callback->OnPicked(&result);
}

void CRectanglePickTool::OnPressLost() {
  if (!m_pressed) return;
  m_view.UpdateOverlay(BandRect());
  m_pressed = false;
}

std::optional<QCursor> CRectanglePickTool::GetCursor() {
  return m_view.GetHost().GetCursor(CMapViewHost::kRangePickCursor);
}

// ---- point pick

CPointPickTool::CPointPickTool(CMapView& view, CPickCallback* callback)
    : m_view(view), m_callback(callback) {}

CPointPickTool::~CPointPickTool() { CancelQuietly(std::exchange(m_callback, nullptr)); }

void CPointPickTool::OnLButtonDown(Qt::KeyboardModifiers, const QPoint&) { m_pressed = true; }

void CPointPickTool::OnLButtonUp(const QPoint& point) {
  m_pressed = false;
  m_view.UpdateOverlay(m_view.viewport()->rect());
  const LatLon picked = m_view.PixelToLatLon(point);
  CPickCallback* callback = std::exchange(m_callback, nullptr);
  if (callback != nullptr) callback->OnPicked(&picked);
}

std::optional<QCursor> CPointPickTool::GetCursor() {
  return m_view.GetHost().GetCursor(CMapViewHost::kPointPickCursor);
}
