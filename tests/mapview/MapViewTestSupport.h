// The map view on its own: a host holding records in a vector (read-only on
// request) that tells the view of every change as the program does, a view
// state that drives the view as the main frame does, and a fixture with a
// shown view.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QWheelEvent>
#include <cmath>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "location/IteratorRanges.h"
#include "mapview/MapSet.h"
#include "mapview/MapView.h"
#include "mapview/MapViewHost.h"
#include "mapview/PickCallback.h"
#include "tests/mapview/MapTestSupport.h"
#include "tests/support/MemorySettingsKey.h"

class CTestMapViewHost : public CMapViewHost {
 public:
  int32_t GetActiveRecordCount() override { return static_cast<int32_t>(records.size()); }
  void GetActiveRecords(CIntIteratorRef first, CIntIteratorRef last,
                        CRecordOutputIteratorRef sink) override {
    ForEachInIteratorRange(std::move(first), last, [&](int32_t index) {
      sink.Put(records.at(static_cast<std::size_t>(index)));
      ++sink;
    });
  }
  void ReplaceActiveRecords(CIntIteratorRef first, CIntIteratorRef last,
                            CRecordIteratorRef replacements) override {
    ++replaceCalls;
    if (readOnly) throw std::runtime_error("readonly");
    std::set<int32_t> replaced;
    ForEachInIteratorRange(std::move(first), last, [&](int32_t index) {
      records.at(static_cast<std::size_t>(index)) = *replacements;
      ++replacements;
      replaced.insert(index);
    });
    if (view) view->OnRecordsReplaced(std::vector<int32_t>(replaced.begin(), replaced.end()));
  }
  void SetActiveSelection(CIntIteratorRef first, CIntIteratorRef last) override {
    selection.clear();
    InsertRangeIntoSet(std::move(first), last, selection);
    if (view) view->OnSelectionChanged();
  }
  void GetActiveSelection(CIntOutputIteratorRef sink) override {
    CopySetToOutputIterator(selection, std::move(sink));
  }
  CMapSet& GetMapSet() override { return *maps; }
  void ShowProperties() override { ++propertiesShown; }
  void ShowRecordMenu(const QPoint& screenPoint) override { menus.push_back(screenPoint); }
  bool RunRecordKey(const QKeySequence& keys) override {
    if (keys != QKeySequence(Qt::CTRL | Qt::Key_A) && keys != QKeySequence(Qt::Key_Delete))
      return false;
    recordKeys.push_back(keys);
    return true;
  }
  QCursor GetCursor(ECursor cursor) override {
    return QCursor(cursor == kSelectCursor      ? Qt::OpenHandCursor
                   : cursor == kRangePickCursor ? Qt::CrossCursor
                                                : Qt::WhatsThisCursor);
  }
  void RunGuarded(QWidget*, const std::function<void()>& handler) override {
    try {
      handler();
    } catch (const std::exception& e) {
      errors.push_back(e.what());
    }
  }

  void Select(const std::set<int32_t>& indices) {
    selection = indices;
    if (view) view->OnSelectionChanged();
  }
  void SetRecords(std::vector<CLocationRecord> fresh) {
    records = std::move(fresh);
    selection.clear();
    if (view) view->OnRecordsChanged();
  }

  std::vector<CLocationRecord> records;
  std::set<int32_t> selection;
  bool readOnly = false;
  std::unique_ptr<CMapSet> maps = std::make_unique<CEmptyMapSet>();
  CMapView* view = nullptr;
  int replaceCalls = 0;
  int propertiesShown = 0;
  std::vector<QPoint> menus;
  std::vector<QKeySequence> recordKeys;
  std::vector<std::string> errors;
};

// The main frame's part: the six commands go to the view. Armed, it throws
// from the next SetTopLeft: an exception in the middle of a view change.
class CViewDrivingState : public CMapViewState {
 public:
  using CMapViewState::CMapViewState;
  void SetTopLeft(const LatLon& topLeft) override {
    if (std::exchange(failNextCorner, false)) throw std::runtime_error("no corner");
    CMapViewState::SetTopLeft(topLeft);
  }
  void ZoomIn() override { view->ZoomIn(); }
  void ZoomOut() override { view->ZoomOut(); }
  void StartRangeZoom() override {}
  void ZoomTo(double scale) override { view->ZoomTo(scale); }
  void StartRectanglePick(CPickCallback* callback) override {
    view->SetRectanglePickTool(callback);
  }
  void EndPick() override { view->SetSelectTool(); }

  CMapView* view = nullptr;
  bool failNextCorner = false;
};

// Counts what it hears; with endPick set, ends the pick from inside the
// callback as every caller does.
class CRecordingCallback : public CPickCallback {
 public:
  void OnPickCancelled() override {
    ++cancelled;
    if (onResult) onResult();
  }
  void OnPicked(const void* result) override {
    ++picked;
    if (pointPick)
      lastPoint = *static_cast<const LatLon*>(result);
    else
      lastRect = *static_cast<const CGeoRect*>(result);
    if (onResult) onResult();
  }
  bool pointPick = false;  // the result is a point, else a rectangle
  int cancelled = 0;
  int picked = 0;
  CGeoRect lastRect;
  LatLon lastPoint{0.0, 0.0};
  std::function<void()> onResult;
};

inline CLocationRecord RecordAt(double latitude, double longitude) {
  CLocationRecord record;
  record.position = CPosition(LatLon{latitude, longitude});
  return record;
}

class MapViewFixture : public ::testing::Test {
 protected:
  MapViewFixture() {
    TestGuiApplication();
    state = std::make_unique<CViewDrivingState>(key);
    view = std::make_unique<CMapView>(host);
    host.view = view.get();
    state->view = view.get();
    state->AddListener(view.get());
    view->resize(640, 480);
    view->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    view->OnViewStateChanged();
  }
  ~MapViewFixture() override {
    view.reset();
    state.reset();
  }

  QWidget* Surface() const { return view->viewport(); }
  QSize Client() const { return view->viewport()->size(); }
  // The position at the centre of pixel p.
  LatLon AtPixel(QPointF p) const {
    const CGeoRect& r = view->GetViewRect();
    return {r.top - (r.top - r.bottom) * (p.y() + 0.5) / Client().height(),
            r.left + (r.right - r.left) * (p.x() + 0.5) / Client().width()};
  }
  CLocationRecord RecordAtPixel(QPoint p) const {
    const LatLon at = AtPixel(p);
    return RecordAt(at.first, at.second);
  }
  const QImage& Rendered() {
    view->Render();
    return view->GetOffscreenImage();
  }
  void Wheel(int delta, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    WheelAt(Surface(), QPoint(0, delta), modifiers);
  }
  // A wheel turned by angle (x sideways, y the common wheel) over target.
  void WheelAt(QWidget* target, QPoint angle, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    const QPointF at(5, 5);
    QWheelEvent event(at, target->mapToGlobal(at), QPoint(), angle, Qt::NoButton, modifiers,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
  }

  std::shared_ptr<CMemorySettingsStore> store = std::make_shared<CMemorySettingsStore>();
  CMemorySettingsKey key{store};
  CTestMapViewHost host;
  std::unique_ptr<CViewDrivingState> state;
  std::unique_ptr<CMapView> view;
};
