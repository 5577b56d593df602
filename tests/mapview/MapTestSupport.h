// Shared pieces of the map tests: one QApplication (tile errors are drawn as
// text; the map view is a widget), a generated map image of known colours,
// catalogues in a temporary folder, and waiting for the worker.
#pragma once

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "location/IteratorAdaptors.h"
#include "mapview/MapCatalog.h"

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
inline QImage Filled(int width, int height, QRgb colour) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}
inline QImage MakeColumnsImage() {
  QImage image = Filled(1000, 500, 0);
  for (int y = 0; y < 500; ++y) {
    for (int x = 0; x < 1000; ++x) image.setPixel(x, y, MapColourAt(x, y));
  }
  return image;
}

// A black and white checker of squares side pixels wide, white at the top
// left, as a map's picture: what it shows at any place, the pixels' values
// interpolated linearly between their centres and held beyond the centres of
// the edge pixels.
class CChecker {
 public:
  CChecker(int width, int height, int side) : m_width(width), m_height(height), m_side(side) {}
  QImage Image() const {
    QImage image(m_width, m_height, QImage::Format_RGB32);
    for (int y = 0; y < m_height; ++y) {
      for (int x = 0; x < m_width; ++x)
        image.setPixel(x, y, Black(x / m_side, y / m_side) ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    }
    return image;
  }
  // The least and greatest grey the picture takes over [left, right] x
  // [top, bottom] (image pixel coordinates, pixel edges at whole numbers).
  std::pair<int, int> RangeOver(double left, double top, double right, double bottom) const {
    const auto [aLow, aHigh] = Extremes(left, right, m_width);
    const auto [bLow, bHigh] = Extremes(top, bottom, m_height);
    // Black where exactly one of the two square counts is odd: bilinear in
    // the two, so its extremes lie at the corners.
    double low = 1, high = 0;
    for (const double a : {aLow, aHigh}) {
      for (const double b : {bLow, bHigh}) {
        const double black = a + b - 2 * a * b;
        low = std::min(low, 1 - black);
        high = std::max(high, 1 - black);
      }
    }
    return {static_cast<int>(std::floor(low * 255)), static_cast<int>(std::ceil(high * 255))};
  }

 private:
  bool Black(int column, int row) const { return (column + row) % 2 != 0; }
  // Whether pixel k lies in an odd square, interpolated between centres.
  double Odd(int k) const { return (k / m_side) % 2; }
  double OddAt(double u, int size) const {
    if (size < 2) return Odd(0);
    const double c = std::clamp(u - 0.5, 0.0, size - 1.0);
    const int k = std::min(static_cast<int>(c), size - 2);
    return Odd(k) + (Odd(k + 1) - Odd(k)) * (c - k);
  }
  // Piecewise linear between centres: the extremes lie at the ends or at
  // centres in between.
  std::pair<double, double> Extremes(double from, double to, int size) const {
    double low = std::min(OddAt(from, size), OddAt(to, size));
    double high = std::max(OddAt(from, size), OddAt(to, size));
    const int first = std::max(0, static_cast<int>(std::ceil(from - 0.5)));
    const int last = std::min(size - 1, static_cast<int>(std::floor(to - 0.5)));
    for (int k = first; k <= last; ++k) {
      low = std::min(low, Odd(k));
      high = std::max(high, Odd(k));
    }
    return {low, high};
  }

  int m_width;
  int m_height;
  int m_side;
};

inline std::string EncodedAs(const QImage& image, const char* format, int quality = -1) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format, quality);
  return buffer.data().toStdString();
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

// A temporary folder holding "columns.png" (MakeColumnsImage) and the
// catalogues written there.
class CMapFolder {
 public:
  CMapFolder() {
    TestGuiApplication();
    MakeColumnsImage().save(QString::fromStdString(PathOf("columns.png")));
  }
  std::string PathOf(const std::string& name) const {
    return m_folder.filePath(QString::fromStdString(name)).toStdString();
  }
  void Write(const std::string& name, const std::string& text) const {
    std::ofstream(PathOf(name), std::ios::binary | std::ios::trunc) << text;
  }
  // Writes "maps.xml" with the map elements and loads it for worker.
  std::unique_ptr<CMapCatalog> Load(const std::vector<std::string>& maps, CWorker& worker,
                                    std::size_t cacheBytes = 64 << 20,
                                    CMapImageFetcher fetch = {}) const {
    std::string text = "<?xml version=\"1.0\"?>\n<maps>";
    for (const std::string& map : maps) text += map;
    Write("maps.xml", text + "</maps>\n");
    return std::make_unique<CMapCatalog>(PathOf("maps.xml"), false,
                                         CMapCatalogOptions{std::move(fetch), cacheBytes, &worker});
  }

 private:
  QTemporaryDir m_folder;
};

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

// Holds whoever passes until opened.
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

// A map image transfer that only ends when its stop is requested, or after
// a minute; counts the transfers begun.
struct CEndlessFetch {
  std::string operator()(const std::string&, std::stop_token stop) {
    ++begun;
    std::mutex mutex;
    std::condition_variable_any never;
    std::unique_lock lock(mutex);
    never.wait_for(lock, stop, std::chrono::minutes(1), [] { return false; });
    throw std::runtime_error(stop.stop_requested() ? "stopped" : "a minute passed");
  }
  std::atomic<int> begun{0};
};

// Remote map images by URL: each is held until answered (or stopped, or a
// minute passed), then comes as the bytes given, or fails for "fail".
// Counts what was asked and what was stopped.
class CHeldFetch {
 public:
  std::string operator()(const std::string& url, std::stop_token stop) {
    std::unique_lock lock(m_mutex);
    ++m_asked[url];
    const bool answered = m_changed.wait_for(lock, stop, std::chrono::minutes(1),
                                             [&] { return m_answers.count(url) != 0; });
    if (!answered) {
      m_stopped[url] += stop.stop_requested();
      throw std::runtime_error("no answer");
    }
    if (m_answers[url] == "fail") throw std::runtime_error("HTTP Status 404");
    return m_answers[url];
  }
  CMapImageFetcher Fetcher() {
    return [this](const std::string& url, std::stop_token stop) { return (*this)(url, stop); };
  }
  void Answer(const std::string& url, const std::string& bytes) {
    std::lock_guard lock(m_mutex);
    m_answers[url] = bytes;
    m_changed.notify_all();
  }
  int Asked(const std::string& url) { return CountOf(m_asked, url); }
  int Stopped(const std::string& url) { return CountOf(m_stopped, url); }
  int AskedInAll() {
    std::lock_guard lock(m_mutex);
    int all = 0;
    for (const auto& asked : m_asked) all += asked.second;
    return all;
  }

 private:
  int CountOf(const std::map<std::string, int>& counts, const std::string& url) {
    std::lock_guard lock(m_mutex);
    const auto found = counts.find(url);
    return found == counts.end() ? 0 : found->second;
  }

  std::mutex m_mutex;
  std::condition_variable_any m_changed;
  std::map<std::string, std::string> m_answers;
  std::map<std::string, int> m_asked;
  std::map<std::string, int> m_stopped;
};

// A job that holds the worker at a gate, so that the jobs behind it wait.
class CGatedJob final : public CWorkerJob {
 public:
  explicit CGatedJob(CGate& gate) : m_gate(gate) {}
  void Execute() override { m_gate.Pass(); }

 private:
  CGate& m_gate;
};
