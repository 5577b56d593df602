// The map view drawing 1,000, 10,000 and 100,000 records, joined by lines,
// into its off-screen image at 1600 x 900, against a bare painter loop that
// draws the same lines and rectangles (a line and a marker per record, then
// the selected markers) in the same run. Prints ms per render for a render
// after the records changed (all read again from the record source), after
// a scroll by a line (positions kept), and for the painter loop, with the
// ratios to it.
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <vector>

#include "location/IteratorRanges.h"
#include "mapview/MapSet.h"
#include "mapview/MapView.h"
#include "mapview/MapViewHost.h"
#include "mapview/MapViewState.h"
#include "tests/support/MemorySettingsKey.h"

namespace {

using Clock = std::chrono::steady_clock;

class CBenchHost : public CMapViewHost {
 public:
  int32_t GetActiveRecordCount() override { return static_cast<int32_t>(records.size()); }
  void GetActiveRecords(CIntIteratorRef first, CIntIteratorRef last,
                        CRecordOutputIteratorRef sink) override {
    ForEachInIteratorRange(std::move(first), last, [&](int32_t index) {
      sink.Put(records[static_cast<std::size_t>(index)]);
      ++sink;
    });
  }
  void ReplaceActiveRecords(CIntIteratorRef, CIntIteratorRef, CRecordIteratorRef) override {}
  void SetActiveSelection(CIntIteratorRef, CIntIteratorRef) override {}
  void GetActiveSelection(CIntOutputIteratorRef sink) override {
    CopySetToOutputIterator(selection, std::move(sink));
  }
  CMapSet& GetMapSet() override { return maps; }
  void ShowProperties() override {}
  void ShowRecordMenu(const QPoint&) override {}
  bool RunRecordKey(const QKeySequence&) override { return false; }
  QCursor GetCursor(ECursor) override { return QCursor(); }
  void RunGuarded(QWidget*, const std::function<void()>& handler) override { handler(); }

  std::vector<CLocationRecord> records;
  std::set<int32_t> selection;
  CEmptyMapSet maps;
};

class CBenchState : public CMapViewState {
 public:
  using CMapViewState::CMapViewState;
  void ZoomIn() override {}
  void ZoomOut() override {}
  void StartRangeZoom() override {}
  void ZoomTo(double) override {}
  void StartRectanglePick(CPickCallback*) override {}
  void EndPick() override {}
};

// Median milliseconds of runs of work.
double MedianMs(int runs, const std::function<void()>& work) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    work();
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  CMemorySettingsKey settings(std::make_shared<CMemorySettingsStore>());
  CBenchState state(settings);
  state.SetConnectLocations(true);
  CBenchHost host;
  CMapView view(host);
  state.AddListener(&view);
  view.show();
  QApplication::processEvents();
  const QSize frame = view.size() - view.viewport()->size();
  view.resize(QSize(1600, 900) + frame);
  QApplication::processEvents();
  view.OnViewStateChanged();
  const QSize client = view.viewport()->size();
  std::printf("map view: %d x %d pixels, lines on\n", client.width(), client.height());
  std::printf("%8s %14s %14s %14s %10s %10s\n", "records", "changed ms", "scrolled ms",
              "painter ms", "ratio", "ratio");

  for (const int count : {1000, 10000, 100000}) {
    // A wandering track, as a day of fixes draws it.
    std::mt19937 random(7);
    std::normal_distribution<double> step(0.0, 6.0);
    host.records.clear();
    double x = client.width() / 2.0, y = client.height() / 2.0;
    const CGeoRect r = view.GetViewRect();
    for (int i = 0; i < count; ++i) {
      x += step(random);
      y += step(random);
      if (x < -50 || x > client.width() + 50) x = client.width() / 2.0;
      if (y < -50 || y > client.height() + 50) y = client.height() / 2.0;
      CLocationRecord record;
      record.position = CPosition(LatLon{r.top - (r.top - r.bottom) * y / client.height(),
                                         r.left + (r.right - r.left) * x / client.width()});
      host.records.push_back(record);
    }
    host.selection = {0, count / 3, count / 2, count - 1};
    view.OnRecordsChanged();
    const int runs = count >= 100000 ? 15 : count >= 10000 ? 40 : 200;

    const double changed = MedianMs(runs, [&] {
      view.OnRecordsChanged();
      view.Render();
    });
    bool down = false;
    const double scrolled = MedianMs(runs, [&] {
      const CGeoRect v = view.GetViewRect();
      view.ScrollLatitude((v.top - v.bottom) / 128 * (down ? 1 : -1));
      down = !down;
      view.Render();
    });

    // The same figures with the painter, one by one.
    std::vector<QPoint> points;
    for (const CLocationRecord& record : host.records)
      points.push_back(view.LatLonToPixel(GetPositionDegrees(record.position)));
    QImage image(view.GetOffscreenImage().size(), QImage::Format_RGB32);
    const QPen line(QColor::fromRgb(CMapView::kLineColour), 1.0);
    const QPen outline(QColor::fromRgb(CMapView::kOutlineColour), 1.0);
    const QBrush marker(QColor::fromRgb(CMapView::kMarkerColour));
    const QBrush selected(QColor::fromRgb(CMapView::kSelectedMarkerColour));
    const double painter = MedianMs(std::max(3, runs / 5), [&] {
      image.fill(CMapView::kWhite);
      QPainter p(&image);
      for (std::size_t i = 0; i < points.size(); ++i) {
        if (i + 1 < points.size()) {
          p.setPen(line);
          p.drawLine(points[i], points[i + 1]);
        }
        p.setPen(outline);
        p.setBrush(marker);
        p.drawRect(QRect(points[i] - QPoint(4, 4), QSize(8, 8)));
      }
      p.setBrush(selected);
      for (int32_t i : host.selection)
        p.drawRect(QRect(points[static_cast<std::size_t>(i)] - QPoint(4, 4), QSize(8, 8)));
    });
    std::printf("%8d %14.3f %14.3f %14.3f %10.3f %10.3f\n", count, changed, scrolled, painter,
                changed / painter, scrolled / painter);
  }
  return 0;
}
