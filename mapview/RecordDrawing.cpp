#include "mapview/RecordDrawing.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace {

// Positions in 1/64 pixel, as the painter's line walker takes them.
constexpr int kSubpixels = 64;
constexpr int kHalfPixel = kSubpixels / 2;

inline void PutChecked(const CPixelTarget& target, int x, int y, uint32_t colour) {
  if (static_cast<unsigned>(x) < static_cast<unsigned>(target.width) &&
      static_cast<unsigned>(y) < static_cast<unsigned>(target.height)) {
    target.bits[y * target.stride + x] = colour;
  }
}

// (a << 16) / b in 16.16 fixed point, truncated toward zero.
inline int FixedDivide(int a, int b) {
  return static_cast<int>((static_cast<int64_t>(a) << 16) / b);
}

// Walks a line between subpixel positions along its major axis, one pixel
// per step, the ends stretched by half a pixel (the square caps). checked
// is false only when every pixel is known to be inside the target.
template <bool checked>
void WalkLine(const CPixelTarget& target, int x1, int y1, int x2, int y2, uint32_t colour) {
  if (std::abs(x2 - x1) < std::abs(y2 - y1)) {
    if (y1 > y2) {
      std::swap(x1, x2);
      std::swap(y1, y2);
    }
    const int step = FixedDivide(x2 - x1, y2 - y1);
    int x = x1 * 1024 - (step >> 1);
    y1 -= kHalfPixel;
    y2 += kHalfPixel;
    int y = (y1 + kHalfPixel) >> 6;
    const int yEnd = (y2 + kHalfPixel) >> 6;
    if (y == yEnd) return;
    const int round = step > 0 ? kHalfPixel : 0;
    x += (((y << 6) + round - y1) * step) >> 6;
    do {
      if constexpr (checked) {
        PutChecked(target, x >> 16, y, colour);
      } else {
        target.bits[y * target.stride + (x >> 16)] = colour;
      }
      x += step;
    } while (++y < yEnd);
  } else {
    if (x1 == x2) return;
    if (x1 > x2) {
      std::swap(x1, x2);
      std::swap(y1, y2);
    }
    const int step = FixedDivide(y2 - y1, x2 - x1);
    int y = y1 * 1024 - (step >> 1);
    x1 -= kHalfPixel;
    x2 += kHalfPixel;
    int x = (x1 + kHalfPixel) >> 6;
    const int xEnd = (x2 + kHalfPixel) >> 6;
    if (x == xEnd) return;
    const int round = step > 0 ? kHalfPixel : 0;
    y += (((x << 6) + round - x1) * step) >> 6;
    do {
      if constexpr (checked) {
        PutChecked(target, x, y >> 16, colour);
      } else {
        target.bits[(y >> 16) * target.stride + x] = colour;
      }
      y += step;
    } while (++x < xEnd);
  }
}

inline bool Inside(const CPixelTarget& target, const QPoint& p) {
  return static_cast<unsigned>(p.x()) < static_cast<unsigned>(target.width) &&
         static_cast<unsigned>(p.y()) < static_cast<unsigned>(target.height);
}

}  // namespace

CPixelTarget PixelTargetOf(QImage& image) {
  CPixelTarget target;
  if (image.isNull() || image.depth() != 32) return target;
  target.bits = reinterpret_cast<uint32_t*>(image.bits());
  target.stride = image.bytesPerLine() / 4;
  target.width = image.width();
  target.height = image.height();
  return target;
}

bool ClipSegment(double& x1, double& y1, double& x2, double& y2, double xmin, double ymin,
                 double xmax, double ymax) {
  // The order of the cuts and their arithmetic are the painter's: a line
  // that leaves the image keeps the pixels it has there.
  if (x1 < xmin) {
    if (x2 <= xmin) return false;
    y1 += (y2 - y1) / (x2 - x1) * (xmin - x1);
    x1 = xmin;
  } else if (x1 > xmax) {
    if (x2 >= xmax) return false;
    y1 += (y2 - y1) / (x2 - x1) * (xmax - x1);
    x1 = xmax;
  }
  if (x2 < xmin) {
    y2 += (y2 - y1) / (x2 - x1) * (xmin - x2);
    x2 = xmin;
  } else if (x2 > xmax) {
    y2 += (y2 - y1) / (x2 - x1) * (xmax - x2);
    x2 = xmax;
  }
  if (y1 < ymin) {
    if (y2 <= ymin) return false;
    x1 += (x2 - x1) / (y2 - y1) * (ymin - y1);
    y1 = ymin;
  } else if (y1 > ymax) {
    if (y2 >= ymax) return false;
    x1 += (x2 - x1) / (y2 - y1) * (ymax - y1);
    y1 = ymax;
  }
  if (y2 < ymin) {
    x2 += (x2 - x1) / (y2 - y1) * (ymin - y2);
    y2 = ymin;
  } else if (y2 > ymax) {
    x2 += (x2 - x1) / (y2 - y1) * (ymax - y2);
    y2 = ymax;
  }
  return true;
}

void DrawPixelLine(const CPixelTarget& target, const QPoint& a, const QPoint& b, uint32_t colour) {
  if (target.bits == nullptr) return;
  if (a == b) {
    PutChecked(target, a.x(), a.y(), colour);
    return;
  }
  if (Inside(target, a) && Inside(target, b)) {
    WalkLine<false>(target, a.x() * kSubpixels, a.y() * kSubpixels, b.x() * kSubpixels,
                    b.y() * kSubpixels, colour);
    return;
  }
  // The painter cuts lines to the image plus a pixel (two past the far
  // edges) before walking them.
  double x1 = a.x(), y1 = a.y(), x2 = b.x(), y2 = b.y();
  if (!ClipSegment(x1, y1, x2, y2, -1.0, -1.0, target.width + 1.0, target.height + 1.0)) return;
  WalkLine<true>(target, static_cast<int>(x1 * kSubpixels), static_cast<int>(y1 * kSubpixels),
                 static_cast<int>(x2 * kSubpixels), static_cast<int>(y2 * kSubpixels), colour);
}

void DrawSquareMarker(const CPixelTarget& target, int x, int y, int half, int border, uint32_t fill,
                      uint32_t outline) {
  if (target.bits == nullptr || half < 0 || IsMarkerOutside(target, x, y, half)) return;
  const int left = std::max(x - half, 0);
  const int right = std::min(x + half, target.width - 1);
  const int top = std::max(y - half, 0);
  const int bottom = std::min(y + half, target.height - 1);
  // The fill's columns, within the outline.
  const int fillLeft = std::max(x - half + border, left);
  const int fillRight = std::min(x + half - border, right);
  for (int row = top; row <= bottom; ++row) {
    uint32_t* pixels = target.bits + row * target.stride;
    const bool edgeRow = row < y - half + border || row > y + half - border;
    if (edgeRow || fillLeft > fillRight) {
      std::fill(pixels + left, pixels + right + 1, outline);
      continue;
    }
    std::fill(pixels + left, pixels + fillLeft, outline);
    std::fill(pixels + fillLeft, pixels + fillRight + 1, fill);
    std::fill(pixels + fillRight + 1, pixels + right + 1, outline);
  }
}
