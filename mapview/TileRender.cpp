#include "mapview/TileRender.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QString>
#include <QTextLayout>
#include <QTextOption>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>
#include <vector>

#include "mapview/MapEntry.h"
#include "qim.h"

namespace {

struct CQimRelease {
  int flags;
  void operator()(QimImage* image) const { qimDeallocate(image, flags); }
};
using CQimHeader = std::unique_ptr<QimImage, CQimRelease>;

// The library's status stays set on the thread after a failure, so the text
// is taken from it only once a call's own result has shown the failure. A
// header the library could not allocate leaves the status unchanged.
[[noreturn]] void ThrowLibraryFailure() {
  const int status = qimGetErrStatus();
  throw std::runtime_error(qimErrorStr(status != 0 ? status : QIM_STATUS_NO_MEMORY));
}

// trunc(value), held within [low, high]; a value that is not a number is low.
int TruncatedWithin(double value, int low, int high) {
  const double t = std::trunc(value);
  if (!(t >= low)) return low;
  if (t > high) return high;
  return static_cast<int>(t);
}

int FloorWithin(double value, int low, int high) {
  return TruncatedWithin(std::floor(value), low, high);
}

// The target's own buffer as an image of ratio 1: the place and size of a
// tile are device pixels, which a painter on an image of a high-density
// screen would take for logical ones and enlarge. A wrapper, never a copy:
// painting on a copy would detach it and leave the target as it was.
QImage DevicePixelsOf(QImage& target) {
  return QImage(target.bits(), target.width(), target.height(), target.bytesPerLine(),
                target.format());
}

// Target pixels as far out as a tile may reach; the map view's never come
// near it.
constexpr int kTargetLimit = 1 << 24;
// The library puts the first destination pixel on the centre of the crop's
// first pixel, so up to one source pixel of destination lies before the
// tile and is scaled for nothing. A source pixel larger than this many
// target pixels is first enlarged by whole factors in intermediate steps,
// which keeps that waste small at any zoom.
constexpr double kMaxStep = 32.0;
// Target pixels per source pixel are held within these.
constexpr double kMinStepLimit = 1e-12;
constexpr double kMaxStepLimit = 1e12;
// The library's factors are whole numbers; a destination extent counted in
// this many parts of a pixel keeps the scale that the tile asks for.
constexpr double kFactorParts = 4096.0;

// One axis of a picture: the centre of pixel k lies at origin + k * step
// target pixels, and the pixels first to last are there.
struct CAxisGrid {
  double origin;
  double step;
  int first;
  int last;
};

// The grid position whose centre lies at target coordinate x.
double GridAt(const CAxisGrid& grid, double x) { return (x - grid.origin) / grid.step; }

CAxisGrid GridOf(double areaStart, double areaExtent, int first, int last, double placeStart,
                 double placeExtent) {
  double step = placeExtent / areaExtent;
  if (!(step >= kMinStepLimit)) step = kMinStepLimit;
  if (step > kMaxStepLimit) step = kMaxStepLimit;
  return {placeStart + (0.5 - areaStart) * step, step, first, last};
}

// One axis of one library call: count pixels from first scaled by dst / src
// into extent destination pixels; start is the target pixel of the first.
struct CAxisZoom {
  int first = 0;
  int count = 1;
  int dst = 1;
  int src = 1;
  int start = 0;
  int extent = 1;
};

// The destination pixels the library writes: it stops where the scaled crop
// ends.
int WrittenBy(const CAxisZoom& zoom) {
  const double written = zoom.count / (double(zoom.src) / zoom.dst) + 1e-7;
  return written >= zoom.extent ? zoom.extent : written < 1 ? 1 : static_cast<int>(written);
}

// The last call, for target pixels begin to end - 1 from grid (a step of at
// most kMaxStep). The library aligns the crop's first and last centres with
// the destination's first and last pixels. The crop starts at the pixel
// centred on or before the first target pixel, which lands on the target
// pixel nearest to its centre (half a pixel off at most), and reaches the
// last target pixel; the extent in parts of a pixel then gives the exact
// step from there on.
CAxisZoom PlanFinalZoom(const CAxisGrid& grid, int begin, int end) {
  const double low = GridAt(grid, begin + 0.5), high = GridAt(grid, end - 0.5);
  CAxisZoom zoom;
  zoom.start = begin;
  zoom.extent = end - begin;
  if (grid.first == grid.last || !(high > grid.first) || !(low < grid.last)) {
    // Beyond the centres of the end pixels: that pixel throughout.
    zoom.first = grid.first == grid.last || !(high > grid.first) ? grid.first : grid.last;
    zoom.dst = zoom.extent;
    return zoom;
  }
  zoom.first = FloorWithin(low + 1e-9, grid.first, grid.last - 1);
  const double centre = grid.origin + zoom.first * grid.step - 0.5;
  zoom.start = FloorWithin(centre + 0.5, begin - static_cast<int>(kMaxStep) - 2, end - 1);
  zoom.extent = end - zoom.start;
  const int last = FloorWithin(zoom.first + std::ceil((zoom.extent - 1) / grid.step - 1e-9),
                               zoom.first + 1, grid.last);
  zoom.count = last - zoom.first + 1;
  const double exact = 1.0 + (zoom.count - 1) * grid.step;
  const double parts = std::clamp(
      std::floor(std::numeric_limits<int>::max() / std::max(double(zoom.count), exact + 1.0)), 1.0,
      kFactorParts);
  zoom.src = static_cast<int>(zoom.count * parts);
  zoom.dst = static_cast<int>(std::max(1.0, std::round(exact * parts)));
  return zoom;
}

// An intermediate call: the pixels of grid the target needs, enlarged by a
// whole factor, which puts every crop pixel's centre exactly on a
// destination pixel's and so changes nothing of the picture; only as much is
// made as the later calls read. next becomes the destination's grid.
CAxisZoom PlanEnlargingZoom(const CAxisGrid& grid, int begin, int end, int factor,
                            CAxisGrid& next) {
  const double low = GridAt(grid, begin + 0.5), high = GridAt(grid, end - 0.5);
  CAxisZoom zoom;
  zoom.first = FloorWithin(low + 1e-9, grid.first, grid.last);
  const int last = FloorWithin(std::ceil(high + 0.5 / grid.step) + 1, zoom.first, grid.last);
  zoom.count = last - zoom.first + 1;
  zoom.src = zoom.count;
  zoom.dst = factor * (zoom.count - 1) + 1;
  next.origin = grid.origin + zoom.first * grid.step;
  next.step = grid.step / factor;
  next.first = 0;
  zoom.extent = FloorWithin(std::ceil(GridAt(next, end - 0.5) + 0.5 / next.step) + 2, 1, zoom.dst);
  next.last = zoom.extent - 1;
  return zoom;
}

int EnlargingFactor(double step) {
  return step > kMaxStep ? static_cast<int>(std::min(kMaxStep, std::ceil(step / kMaxStep))) : 1;
}

// Rows of 8-bit RGB pixels that a library call reads or writes.
struct CPixelRows {
  uchar* data;
  qsizetype stride;
  int width;
  int height;
};

// A header over the rows of rows that hold the region (x, y, width, height),
// which is its ROI. The header does not own the pixels: allocatedData stays
// null, so no release flag can ever free them. It holds at least two rows,
// so that the library does not fall back to nearest neighbour for a region
// one row high, and only those, so that only they count towards the
// library's int sizes.
CQimHeader RegionHeader(const CPixelRows& rows, int x, int y, int width, int height, QimRoi& roi) {
  int top = y, bottom = y + height;
  if (bottom - top < 2 && rows.height >= 2) {
    if (bottom < rows.height)
      ++bottom;
    else
      --top;
  }
  if (rows.stride * (bottom - top) > std::numeric_limits<int>::max()) {
    throw std::runtime_error("Map image too large to scale");
  }
  roi = QimRoi{0, x, y - top, width, height};
  CQimHeader header(qimCreateImageHeader(3, 0, QIM_DEPTH_8U, "RGB", "RGB", QIM_ORDER_PIXEL,
                                         QIM_ORIGIN_TOP_LEFT, rows.stride % 8 ? 4 : 8, rows.width,
                                         bottom - top, &roi, nullptr, nullptr, nullptr),
                    CQimRelease{QIM_FREE_HEADER});
  if (!header) ThrowLibraryFailure();
  header->widthStep = static_cast<int>(rows.stride);
  header->dataSize = static_cast<int>(rows.stride * (bottom - top));
  header->imageData = rows.data + qsizetype(top) * rows.stride;
  return header;
}

CQimHeader AllocatedImage(int width, int height) {
  CQimHeader image(
      qimCreateImageHeader(3, 0, QIM_DEPTH_8U, "RGB", "RGB", QIM_ORDER_PIXEL, QIM_ORIGIN_TOP_LEFT,
                           8, width, height, nullptr, nullptr, nullptr, nullptr),
      CQimRelease{QIM_FREE_ALL});
  if (!image) ThrowLibraryFailure();
  qimAllocateImage(image.get(), 0, 0);
  if (!image->imageData) ThrowLibraryFailure();
  return image;
}

CPixelRows RowsOf(const QimImage& image) {
  return {static_cast<uchar*>(image.imageData), image.widthStep, image.width, image.height};
}

// Scales the crop of from that x and y name into to, from (toX, toY).
void Zoom(const CPixelRows& from, const CAxisZoom& x, const CAxisZoom& y, const CPixelRows& to,
          int toX, int toY) {
  QimRoi fromRoi{}, toRoi{};
  const CQimHeader source = RegionHeader(from, x.first, y.first, x.count, y.count, fromRoi);
  const CQimHeader destination = RegionHeader(to, toX, toY, x.extent, y.extent, toRoi);
  if (qimResize(source.get(), destination.get(), x.dst, x.src, y.dst, y.src, QIM_INTER_LINEAR) <
      0) {
    ThrowLibraryFailure();
  }
}

// Fills area of rows from the nearest pixel of written: the picture past the
// centres of a map's edge pixels is its edge pixels.
void RepeatEdges(const CPixelRows& rows, const QRect& written, const QRect& area) {
  for (int y = written.top(); y <= written.bottom(); ++y) {
    uchar* row = rows.data + qsizetype(y) * rows.stride;
    for (int x = area.left(); x < written.left(); ++x)
      std::memcpy(row + 3 * x, row + 3 * written.left(), 3);
    for (int x = std::max(area.left(), written.right() + 1); x <= area.right(); ++x)
      std::memcpy(row + 3 * x, row + 3 * written.right(), 3);
  }
  const std::size_t bytes = 3 * static_cast<std::size_t>(area.width());
  auto copyRow = [&](int to, int from) {
    std::memcpy(rows.data + qsizetype(to) * rows.stride + 3 * area.left(),
                rows.data + qsizetype(from) * rows.stride + 3 * area.left(), bytes);
  };
  for (int y = area.top(); y < written.top(); ++y) copyRow(y, written.top());
  for (int y = std::max(area.top(), written.bottom() + 1); y <= area.bottom(); ++y)
    copyRow(y, written.bottom());
}

}  // namespace

CTileSource ComputeTileSource(const CMapEntry& map, const CGeoRect& tile, int imageWidth,
                              int imageHeight) {
  const double width = double(imageWidth) - map.clipLeft - map.clipRight;
  const double height = double(imageHeight) - map.clipTop - map.clipBottom;
  if (!(width >= 1 && height >= 1) || imageWidth < 1 || imageHeight < 1) {
    throw std::runtime_error("Invalid Map Clip: " + map.href);
  }
  // Each edge from its own longitude or latitude, so that neighbouring tiles
  // share theirs to the bit.
  auto column = [&](double longitude) {
    return (longitude - map.left) * width / (map.right - map.left) + map.clipLeft;
  };
  auto row = [&](double latitude) {
    return (latitude - map.top) * height / (map.bottom - map.top) + map.clipTop;
  };
  CTileSource part;
  part.area = QRectF(QPointF(column(tile.left), row(tile.top)),
                     QPointF(column(tile.right), row(tile.bottom)));
  // Clips may be negative or reach past the image: only pixels that exist.
  const auto firstColumn = std::clamp<int64_t>(map.clipLeft, 0, imageWidth - 1);
  const auto lastColumn =
      std::clamp<int64_t>(int64_t{imageWidth} - 1 - map.clipRight, firstColumn, imageWidth - 1);
  const auto firstRow = std::clamp<int64_t>(map.clipTop, 0, imageHeight - 1);
  const auto lastRow =
      std::clamp<int64_t>(int64_t{imageHeight} - 1 - map.clipBottom, firstRow, imageHeight - 1);
  part.pixels = QRect(QPoint(static_cast<int>(firstColumn), static_cast<int>(firstRow)),
                      QPoint(static_cast<int>(lastColumn), static_cast<int>(lastRow)));
  return part;
}

void DrawTileSource(const QImage& source, const CTileSource& part, QImage& target,
                    const QRectF& place) {
  if (!(place.width() > 0 && place.height() > 0) || target.isNull()) return;
  if (source.format() != QImage::Format_RGB888 || part.pixels.isEmpty() ||
      !source.rect().contains(part.pixels)) {
    throw std::logic_error("tile source outside its 8-bit RGB image");
  }
  // The target pixels the tile covers; a millionth of a pixel is a rounding
  // error, not a pixel.
  const int left = FloorWithin(place.left() + 1e-6, -kTargetLimit, kTargetLimit);
  const int top = FloorWithin(place.top() + 1e-6, -kTargetLimit, kTargetLimit);
  const int right = FloorWithin(std::ceil(place.right() - 1e-6), -kTargetLimit, kTargetLimit);
  const int bottom = FloorWithin(std::ceil(place.bottom() - 1e-6), -kTargetLimit, kTargetLimit);
  if (right <= left || bottom <= top) return;

  CAxisGrid x = GridOf(part.area.left(), part.area.width(), part.pixels.left(), part.pixels.right(),
                       place.left(), place.width());
  CAxisGrid y = GridOf(part.area.top(), part.area.height(), part.pixels.top(), part.pixels.bottom(),
                       place.top(), place.height());
  CPixelRows from{const_cast<uchar*>(source.constBits()), source.bytesPerLine(), source.width(),
                  source.height()};
  CQimHeader larger;
  while (x.step > kMaxStep || y.step > kMaxStep) {
    CAxisGrid nextX = x, nextY = y;
    const CAxisZoom zoomX = PlanEnlargingZoom(x, left, right, EnlargingFactor(x.step), nextX);
    const CAxisZoom zoomY = PlanEnlargingZoom(y, top, bottom, EnlargingFactor(y.step), nextY);
    CQimHeader next = AllocatedImage(zoomX.extent, zoomY.extent);
    Zoom(from, zoomX, zoomY, RowsOf(*next), 0, 0);
    larger = std::move(next);
    from = RowsOf(*larger);
    x = nextX;
    y = nextY;
  }

  // The destination starts where the library's first pixel lands, when that
  // is before the tile, and ends with the tile; the tile's part of its rows
  // starts on a whole number of 32-bit words, as an image's rows do.
  const CAxisZoom zoomX = PlanFinalZoom(x, left, right);
  const CAxisZoom zoomY = PlanFinalZoom(y, top, bottom);
  const QPoint base(left - (left - std::min(zoomX.start, left) + 3) / 4 * 4,
                    std::min(zoomY.start, top));
  const CQimHeader scaled = AllocatedImage(right - base.x(), bottom - base.y());
  const CPixelRows to = RowsOf(*scaled);
  Zoom(from, zoomX, zoomY, to, zoomX.start - base.x(), zoomY.start - base.y());
  larger.reset();
  const QRect area = QRect(left, top, right - left, bottom - top).translated(-base);
  RepeatEdges(
      to, QRect(zoomX.start - base.x(), zoomY.start - base.y(), WrittenBy(zoomX), WrittenBy(zoomY)),
      area);

  // The tile's part of the destination, wrapped where it lies: a painter
  // would copy a part asked for by a source rectangle first.
  const QImage picture(to.data + qsizetype(area.top()) * to.stride + 3 * area.left(), area.width(),
                       area.height(), to.stride, QImage::Format_RGB888);
  QImage pixels = DevicePixelsOf(target);
  QPainter painter(&pixels);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.drawImage(QPoint(left, top), picture);
}

void DrawTileError(QImage& target, const QRect& rect, const std::string& text) {
  if (target.isNull() || rect.isEmpty()) return;
  QImage pixels = DevicePixelsOf(target);
  QPainter painter(&pixels);
  painter.setClipRect(rect);
  painter.fillRect(rect, Qt::white);
  painter.setPen(Qt::black);

  QString shown = QString::fromStdString(text);
  shown.replace(QLatin1Char('\n'), QChar::LineSeparator);
  const QFont font = painter.font();
  QTextLayout layout(shown, font);
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setTextOption(option);

  // Lines while they fit; the first is drawn even when it does not.
  std::vector<QTextLine> lines;
  bool cutShort = false;
  qreal y = 0;
  layout.beginLayout();
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(rect.width());
    if (!lines.empty() && y + line.height() > rect.height()) {
      cutShort = true;
      break;
    }
    line.setPosition(QPointF(0, y));
    y += line.height();
    lines.push_back(line);
  }
  layout.endLayout();

  for (std::size_t i = 0; i < lines.size(); ++i) {
    const QTextLine& line = lines[i];
    if (cutShort && i + 1 == lines.size()) {
      QString rest = shown.mid(line.textStart());
      rest.replace(QChar::LineSeparator, QLatin1Char(' '));
      const QString elided = QFontMetricsF(font).elidedText(rest, Qt::ElideRight, rect.width());
      painter.drawText(QPointF(rect.left(), rect.top() + line.y() + line.ascent()), elided);
    } else {
      line.draw(&painter, rect.topLeft());
    }
  }
}
