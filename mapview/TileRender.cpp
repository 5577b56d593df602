#include "mapview/TileRender.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QString>
#include <QTextLayout>
#include <QTextOption>
#include <cmath>
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

// The target's own buffer as an image of ratio 1: the place and size of a
// tile are device pixels, which a painter on an image of a high-density
// screen would take for logical ones and enlarge. A wrapper, never a copy:
// painting on a copy would detach it and leave the target as it was.
QImage DevicePixelsOf(QImage& target) {
  return QImage(target.bits(), target.width(), target.height(), target.bytesPerLine(),
                target.format());
}

}  // namespace

CTileCrop ComputeTileCrop(const CMapEntry& map, const CGeoRect& tile, int imageWidth,
                          int imageHeight) {
  const double width = double(imageWidth) - map.clipLeft - map.clipRight;
  const double height = double(imageHeight) - map.clipTop - map.clipBottom;
  if (!(width >= 1 && height >= 1) || imageWidth < 1 || imageHeight < 1) {
    throw std::runtime_error("Invalid Map Clip: " + map.href);
  }
  const double x = std::trunc((tile.left - map.left) * width / (map.right - map.left)) + map.clipLeft;
  const double y = std::trunc((tile.top - map.top) * height / (map.bottom - map.top)) + map.clipTop;
  const double w = std::trunc((tile.right - tile.left) * width / (map.right - map.left));
  const double h = std::trunc((tile.top - tile.bottom) * height / (map.top - map.bottom));

  // Negative clips or rounding may reach past the image; the library must
  // only ever see pixels that exist, and never an empty image.
  CTileCrop crop;
  crop.x = TruncatedWithin(x, 0, imageWidth - 1);
  crop.y = TruncatedWithin(y, 0, imageHeight - 1);
  crop.width = TruncatedWithin(w, 1, imageWidth - crop.x);
  crop.height = TruncatedWithin(h, 1, imageHeight - crop.y);
  return crop;
}

void DrawScaledCrop(const QImage& source, const CTileCrop& crop, QImage& target, int x, int y,
                    int width, int height) {
  if (width <= 0 || height <= 0 || target.isNull()) return;
  if (source.format() != QImage::Format_RGB888 || crop.x < 0 || crop.y < 0 || crop.width < 1 ||
      crop.height < 1 || crop.x + crop.width > source.width() ||
      crop.y + crop.height > source.height()) {
    throw std::logic_error("tile crop outside its 8-bit RGB image");
  }
  // The library's sizes are int. Decoded maps stay far below that (Qt's
  // allocation limit counts four bytes a pixel, these images have three).
  const qsizetype stride = source.bytesPerLine();
  if (stride * (qsizetype(crop.height) + 1) > std::numeric_limits<int>::max()) {
    throw std::runtime_error("Map image too large to scale");
  }
  CQimHeader from(qimCreateImageHeader(3, 0, QIM_DEPTH_8U, "RGB", "RGB", QIM_ORDER_PIXEL,
                                       QIM_ORIGIN_TOP_LEFT, stride % 8 ? 4 : 8, crop.width,
                                       crop.height, nullptr, nullptr, nullptr, nullptr),
                  CQimRelease{QIM_FREE_HEADER});
  if (!from) ThrowLibraryFailure();
  // The header points into the image's own rows: allocatedData stays null, so
  // no release flag can ever free pixels the library does not own. Rows are
  // a whole image stride apart, so for a crop down to the image's last row
  // the stated bytes end crop.x * 3 bytes into the row after the image; the
  // spare row LoadMapImage keeps (a whole stride, more than crop.x * 3)
  // holds that inside the buffer.
  from->widthStep = static_cast<int>(stride);
  from->dataSize = static_cast<int>(stride * crop.height);
  from->imageData = const_cast<uchar*>(source.constBits()) + qsizetype(crop.y) * stride +
                    qsizetype(crop.x) * 3;

  CQimHeader to(qimCreateImageHeader(3, 0, QIM_DEPTH_8U, "RGB", "RGB", QIM_ORDER_PIXEL,
                                     QIM_ORIGIN_TOP_LEFT, 8, width, height, nullptr, nullptr,
                                     nullptr, nullptr),
                CQimRelease{QIM_FREE_ALL});
  if (!to) ThrowLibraryFailure();
  qimAllocateImage(to.get(), 0, 0);
  if (!to->imageData) ThrowLibraryFailure();
  if (qimResize(from.get(), to.get(), width, crop.width, height, crop.height, QIM_INTER_LINEAR) <
      0) {
    ThrowLibraryFailure();
  }
  from.reset();

  const QImage scaled(static_cast<const uchar*>(to->imageData), width, height, to->widthStep,
                      QImage::Format_RGB888);
  QImage pixels = DevicePixelsOf(target);
  QPainter painter(&pixels);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.drawImage(QPoint(x, y), scaled);
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
