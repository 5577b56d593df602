// Shared pieces of the map tests: one QApplication (tile errors are drawn
// as text; the map view is a widget), generated images of known colours, catalogue files, a tile whose
// render a test can hold, and a receiver that counts tile-ready events.
#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QImage>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "location/IteratorAdaptors.h"
#include "mapview/MapSet.h"
#include "mapview/Tile.h"

inline void TestGuiApplication() {
  static int argc = 1;
  static char name[] = "mapview_tests";
  static char* argv[] = {name, nullptr};
  static auto* application = new QApplication(argc, argv);
  (void)application;
}

// The generated 1000 x 500 map: columns x < 500 red, x < 750 green, the
// rest blue; light above y = 250, dark below.
inline QRgb MapColourAt(int x, int y) {
  const int level = y < 250 ? 220 : 90;
  return x < 500 ? qRgb(level, 0, 0) : x < 750 ? qRgb(0, level, 0) : qRgb(0, 0, level);
}
inline QImage MakeColumnsImage() {
  QImage image(1000, 500, QImage::Format_RGB32);
  for (int y = 0; y < 500; ++y) {
    for (int x = 0; x < 1000; ++x) image.setPixel(x, y, MapColourAt(x, y));
  }
  return image;
}
inline QImage Filled(int width, int height, QRgb colour) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}

// Pixels of rect that differ from colour by more than tolerance in a channel.
inline int CountPixelsOff(const QImage& image, const QRect& rect, QRgb colour, int tolerance = 0) {
  int off = 0;
  for (int y = rect.top(); y <= rect.bottom(); ++y) {
    for (int x = rect.left(); x <= rect.right(); ++x) {
      const QRgb p = image.pixel(x, y);
      off += std::max({std::abs(qRed(p) - qRed(colour)), std::abs(qGreen(p) - qGreen(colour)),
                       std::abs(qBlue(p) - qBlue(colour))}) > tolerance;
    }
  }
  return off;
}

// A "map" element with WGS-84 decimal-degree corners.
inline std::string MapElement(const std::string& href, double top, double left, double bottom,
                              double right, const std::string& extra = {}) {
  auto position = [](const char* corner, double latitude, double longitude) {
    return std::string("<position corner=\"") + corner +
           "\"><datum>wgs84</datum><latitude unit=\"degree\">" + std::to_string(latitude) +
           "</latitude><longitude unit=\"degree\">" + std::to_string(longitude) +
           "</longitude></position>";
  };
  return "<map href=\"" + href + "\">" + position("topleft", top, left) +
         position("bottomright", bottom, right) + extra + "</map>";
}
inline void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}
inline void WriteCatalog(const std::string& path, const std::vector<std::string>& maps) {
  std::string text = "<?xml version=\"1.0\"?>\n<maps>";
  for (const std::string& map : maps) text += map;
  WriteText(path, text + "</maps>\n");
}

inline std::vector<CTile*> TilesOf(CMapSet& set) {
  std::vector<CTile*> tiles;
  set.ForEachTile(MakeBackInserter(tiles));
  return tiles;
}

// Waits until done, failing after a generous limit instead of hanging.
inline bool WaitUntil(const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class CEventCounter : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() != TileReadyEventType()) return QObject::event(e);
    ++count;
    return true;
  }
  int count = 0;
};

class CGate {
 public:
  void Open() {
    std::lock_guard lock(m_mutex);
    m_open = true;
    m_changed.notify_all();
  }
  void Pass() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_open; });
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_open = false;
};

// A tile whose renders log their tile id and can be held at a gate; it keeps
// its jobs as the map tiles do.
class CProbeTile final : public CTile {
 public:
  struct CLog {
    std::mutex mutex;
    std::vector<int> rendered;  // in the order the renders began
    int running = 0;
    int mostAtOnce = 0;
  };

  CProbeTile(CWorker& worker, CLog& log, int id, CGate* gate = nullptr)
      : m_jobs(worker), m_log(log), m_id(id), m_gate(gate) {}
  ~CProbeTile() override { m_jobs.CancelAll(); }

  CThreadJob* Enqueue(QImage* target, int x, int y, int width, int height, QObject* receiver,
                      QEvent::Type eventType) override {
    return m_jobs.Enqueue(*this, target, x, y, width, height, receiver, eventType);
  }
  CThreadJob* Enqueue(QObject* receiver = nullptr) {
    return Enqueue(&m_target, 0, 0, 1, 1, receiver, TileReadyEventType());
  }
  void Cancel(CThreadJob* job) override { m_jobs.Cancel(job); }
  bool IsDone(CThreadJob* job) const override { return m_jobs.IsDone(job); }
  const CGeoRect& GetRect() const override { return m_rect; }

  void Render(QImage&, int, int, int, int) override {
    {
      std::lock_guard lock(m_log.mutex);
      m_log.rendered.push_back(m_id);
      m_log.mostAtOnce = std::max(m_log.mostAtOnce, ++m_log.running);
    }
    started = true;
    if (m_gate) m_gate->Pass();
    if (onRender) onRender();
    std::lock_guard lock(m_log.mutex);
    --m_log.running;
    ended = true;
  }

  std::atomic<bool> started{false};
  std::atomic<bool> ended{false};
  std::function<void()> onRender;  // on the worker thread

 private:
  CTileJobs m_jobs;
  CLog& m_log;
  int m_id;
  CGate* m_gate;
  CGeoRect m_rect;
  QImage m_target{1, 1, QImage::Format_RGB32};  // never drawn into
};
