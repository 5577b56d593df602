// The map view's mouse tools: the select tool (select, move records, pan,
// properties, the record menu and keys) and the two pick tools, which hand
// one rectangle or one point to a callback.
#pragma once

#include <QCursor>
#include <QPoint>
#include <QRect>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "location/LocationRecord.h"
#include "mapview/MapViewState.h"

class CMapView;
class CPickCallback;
class QKeyEvent;
class QPainter;

class CMapTool {
 public:
  CMapTool() = default;
  CMapTool(const CMapTool&) = delete;
  CMapTool& operator=(const CMapTool&) = delete;
  virtual ~CMapTool() = default;

  // Points are in the map view's coordinates.
  virtual void OnLButtonDown(Qt::KeyboardModifiers modifiers, const QPoint& point) = 0;
  virtual void OnLButtonUp(const QPoint& point) = 0;
  virtual void OnLButtonDblClk(const QPoint& point) = 0;
  virtual void OnMouseMove(const QPoint& point) = 0;
  // Draws the tool's overlay over the freshly painted map.
  virtual void OnPaint(QPainter& painter) = 0;
  // The cursor over the map; none leaves the cursor to the system.
  virtual std::optional<QCursor> GetCursor() = 0;
  virtual void OnContextMenu(const QPoint& screenPoint) { (void)screenPoint; }
  // True when the tool took the key press.
  virtual bool PreTranslateKey(const QKeyEvent& event) {
    (void)event;
    return false;
  }
  // The left button came up where the view could not see it: what the
  // press began ends, delivering nothing.
  virtual void OnPressLost() {}
};

class CSelectTool final : public CMapTool {
 public:
  enum EMode { kIdle = 0, kPanning = 1, kMovingRecords = 2 };

  explicit CSelectTool(CMapView& view);

  void OnLButtonDown(Qt::KeyboardModifiers modifiers, const QPoint& point) override;
  void OnLButtonUp(const QPoint& point) override;
  void OnLButtonDblClk(const QPoint& point) override;
  void OnMouseMove(const QPoint& point) override;
  void OnPaint(QPainter&) override {}
  std::optional<QCursor> GetCursor() override;
  void OnContextMenu(const QPoint& screenPoint) override;
  bool PreTranslateKey(const QKeyEvent& event) override;
  void OnPressLost() override { EndDrag(); }

  EMode GetMode() const { return m_mode; }

 private:
  std::set<int32_t> ReadSelection() const;
  void Pan(const QPoint& point);
  void MoveRecords(const QPoint& point);
  void EndDrag();

  CMapView& m_view;
  bool m_markerUnderPointer = false;
  EMode m_mode = kIdle;
  QPoint m_pressPoint;
  LatLon m_pressPosition{0.0, 0.0};
  LatLon m_topLeftAtPress{0.0, 0.0};
  // The selection being moved and its records as they were before the drag;
  // every move starts again from these.
  std::unique_ptr<std::set<int32_t>> m_movedIndices;
  std::unique_ptr<std::vector<CLocationRecord>> m_startingCopies;
  // The offset the moved records were last written at, none before the
  // first write.
  std::optional<LatLon> m_writtenOffset;
  // The view's records version the indices belong to. Any other change of
  // the records (an edit, another folder) ends the drag: the indices may no
  // longer name the moved records.
  uint64_t m_recordsVersion = 0;
};

// The picked rectangle, ordered (top the larger latitude, left the smaller
// longitude), or a cancel for a press released where it went down.
class CRectanglePickTool final : public CMapTool {
 public:
  CRectanglePickTool(CMapView& view, CPickCallback* callback);
  // A pick that has not delivered is cancelled.
  ~CRectanglePickTool() override;

  void OnLButtonDown(Qt::KeyboardModifiers modifiers, const QPoint& point) override;
  void OnLButtonUp(const QPoint& point) override;
  void OnLButtonDblClk(const QPoint&) override {}
  void OnMouseMove(const QPoint& point) override;
  void OnPaint(QPainter& painter) override;
  std::optional<QCursor> GetCursor() override;
  void OnPressLost() override;

 private:
  // The band's outline in view pixels, empty while not pressed.
  QRect BandRect() const;

  CMapView& m_view;
  CPickCallback* m_callback;
  bool m_pressed = false;
  LatLon m_start{0.0, 0.0};
  LatLon m_current{0.0, 0.0};
};

// The {latitude, longitude} where the button comes up.
class CPointPickTool final : public CMapTool {
 public:
  CPointPickTool(CMapView& view, CPickCallback* callback);
  ~CPointPickTool() override;

  void OnLButtonDown(Qt::KeyboardModifiers modifiers, const QPoint& point) override;
  void OnLButtonUp(const QPoint& point) override;
  void OnLButtonDblClk(const QPoint&) override {}
  void OnMouseMove(const QPoint&) override {}
  void OnPaint(QPainter&) override {}
  std::optional<QCursor> GetCursor() override;

 private:
  CMapView& m_view;
  CPickCallback* m_callback;
  bool m_pressed = false;
};

// A copy of record moved by {dLatitude, dLongitude}: an angle in degrees
// stays in degrees; one in degrees, minutes and seconds is offset in degrees
// and converted back, so it stays in that unit.
CLocationRecord MoveRecord(const CLocationRecord& record, const LatLon& offset);
