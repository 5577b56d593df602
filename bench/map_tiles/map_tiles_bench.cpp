// Map tiles as the map view has them rendered: one 4096 x 4096 JPEG map,
// generated here and decoded once, and 100 tiles of 480 x 270 pixels at each
// of three scales (shrink 8x, 1x, grow 4x). Each tile is the tile renderer's
// work (the crop handed to the image library through libqlqim.so, scaled
// linearly, drawn into a 32-bit tile image); the reference is
// QImage::scaled(Qt::SmoothTransformation) of the same crop, drawn the same
// way. Prints the decode time, ms per tile of both, their ratio, and the peak
// resident memory. Qt's smooth scaling may spread one call over its thread
// pool; the "1 thread" column holds Qt to one pooled thread, as the tile
// worker is one thread.
#include <sys/resource.h>

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QThreadPool>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "mapview/MapEntry.h"
#include "mapview/MapImage.h"
#include "mapview/TileRender.h"
#include "qim.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Smooth gradients, sharp borders and some noise, like a scanned map: JPEG
// has real work to do on it.
QImage MapLikeImage(int size) {
  QImage image(size, size, QImage::Format_RGB32);
  uint32_t seed = 12345;
  for (int y = 0; y < size; ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < size; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int base = ((x / 97 + y / 61) % 2) ? 190 : 70;
      const int noise = static_cast<int>(seed >> 28);
      row[x] = qRgb(std::min(255, base + x % 41 + noise), std::min(255, base + y % 53),
                    std::min(255, 120 + (x + y) % 90 + noise));
    }
  }
  return image;
}

double PeakResidentMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;
}

struct CScale {
  const char* name;
  int cropWidth;
  int cropHeight;
};

// Best time per tile over several rounds of 100 tiles, the two renderers
// taking turns so that both meet the same load on a shared machine.
std::pair<double, double> BestMsPerTile(const std::function<void(int)>& ours,
                                        const std::function<void(int)>& theirs, int tiles) {
  double bestOurs = 1e30, bestTheirs = 1e30;
  for (int round = 0; round < 7; ++round) {
    auto start = Clock::now();
    for (int i = 0; i < tiles; ++i) ours(i);
    bestOurs = std::min(bestOurs, MsSince(start) / tiles);
    start = Clock::now();
    for (int i = 0; i < tiles; ++i) theirs(i);
    bestTheirs = std::min(bestTheirs, MsSince(start) / tiles);
  }
  return {bestOurs, bestTheirs};
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QGuiApplication application(argc, argv);
  qimSetErrMode(QIM_ERRMODE_RETURN);

  constexpr int kMapSize = 4096, kTiles = 100, kTileWidth = 480, kTileHeight = 270;
  QTemporaryDir folder;
  const QString path = QDir(folder.path()).filePath("map.jpg");
  if (!MapLikeImage(kMapSize).save(path, "JPEG", 90)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return 1;
  }
  std::printf("map: %d x %d JPEG, %lld bytes\n", kMapSize, kMapSize,
              static_cast<long long>(QFileInfo(path).size()));

  const auto decodeStart = Clock::now();
  const QImage map = LoadMapImage(path.toStdString(), {});
  std::printf("decode (to 8-bit RGB): %.1f ms\n", MsSince(decodeStart));

  // One pixel is a thousandth of a degree. Tiles start half a pixel off the
  // pixel grid, as most tiles of a view do, so that every scale interpolates.
  CMapEntry entry;
  entry.href = "map.jpg";
  entry.top = 40.0;
  entry.left = 130.0;
  entry.bottom = entry.top - kMapSize * 0.001;
  entry.right = entry.left + kMapSize * 0.001;

  const CScale scales[] = {{"shrink 8x", 3840, 2160}, {"1x", 480, 270}, {"grow 4x", 120, 68}};
  QImage target(kTileWidth, kTileHeight, QImage::Format_RGB32);
  std::printf("\n%-10s %14s %14s %7s %16s %7s\n", "scale", "tiles ms/tile", "Qt ms/tile",
              "ratio", "Qt 1 thread ms", "ratio");
  for (const CScale& scale : scales) {
    std::vector<CTileSource> parts;
    for (int i = 0; i < kTiles; ++i) {
      const int x = (i * 397) % (kMapSize - scale.cropWidth + 1);
      const int y = (i * 211) % (kMapSize - scale.cropHeight + 1);
      const CGeoRect tile{entry.top - (y + 0.5) * 0.001, entry.left + (x + 0.5) * 0.001,
                          entry.top - (y + 0.5 + scale.cropHeight) * 0.001,
                          entry.left + (x + 0.5 + scale.cropWidth) * 0.001};
      parts.push_back(ComputeTileSource(entry, tile, map.width(), map.height()));
    }
    auto ours = [&](int i) {
      DrawTileSource(map, parts[i], target, QRectF(0, 0, kTileWidth, kTileHeight));
    };
    auto theirs = [&](int i) {
      // The pixels the tile starts in, as many as it spans.
      const QRect c(static_cast<int>(parts[i].area.left()), static_cast<int>(parts[i].area.top()),
                    scale.cropWidth, scale.cropHeight);
      const QImage crop(map.constBits() + qsizetype(c.y()) * map.bytesPerLine() + c.x() * 3,
                        c.width(), c.height(), map.bytesPerLine(), QImage::Format_RGB888);
      const QImage scaled = crop.scaled(kTileWidth, kTileHeight, Qt::IgnoreAspectRatio,
                                        Qt::SmoothTransformation);
      QPainter painter(&target);
      painter.setCompositionMode(QPainter::CompositionMode_Source);
      painter.drawImage(0, 0, scaled);
    };
    const auto [oursMs, qtMs] = BestMsPerTile(ours, theirs, kTiles);
    const int threads = QThreadPool::globalInstance()->maxThreadCount();
    QThreadPool::globalInstance()->setMaxThreadCount(1);
    const auto [oursAgainMs, qtOneMs] = BestMsPerTile(ours, theirs, kTiles);
    QThreadPool::globalInstance()->setMaxThreadCount(threads);
    if (qimGetErrStatus() != 0) {
      std::printf("image library failed: %s\n", qimErrorStr(qimGetErrStatus()));
      return 1;
    }
    const double oursBest = std::min(oursMs, oursAgainMs);
    std::printf("%-10s %14.3f %14.3f %7.2f %16.3f %7.2f\n", scale.name, oursBest, qtMs,
                oursBest / qtMs, qtOneMs, oursBest / qtOneMs);
    std::fflush(stdout);
  }
  std::printf("\npeak resident memory: %.1f MB\n", PeakResidentMb());
  return 0;
}
