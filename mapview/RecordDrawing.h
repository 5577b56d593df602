// Drawing the records' lines and markers straight into the pixels of the map
// view's off-screen image. The painter takes about a microsecond per marker,
// far too slow for a day of many thousands of records; these give the very
// pixels the raster painter gives for the same figures (a 1-pixel pen with
// square caps, no antialiasing), so the picture does not depend on which way
// it was drawn.
#pragma once

#include <QImage>
#include <QPoint>
#include <cstddef>
#include <cstdint>
#include <cstring>

// The pixels of a 32-bit image (RGB32 or premultiplied ARGB32).
struct CPixelTarget {
  uint32_t* bits = nullptr;
  std::ptrdiff_t stride = 0;  // pixels from one row to the next
  int width = 0;
  int height = 0;
};
CPixelTarget PixelTargetOf(QImage& image);

// Cuts the segment to the box [xmin, xmax] x [ymin, ymax], edge by edge;
// false when nothing of it is inside. Both ends must be finite.
bool ClipSegment(double& x1, double& y1, double& x2, double& y2, double xmin, double ymin,
                 double xmax, double ymax);

// The painter's line from a to b, both ends included, clipped to the target.
void DrawPixelLine(const CPixelTarget& target, const QPoint& a, const QPoint& b, uint32_t colour);

// A square marker centred on (x, y): the square [x - half, x + half] on both
// axes with an outline border pixels wide, filled inside. With half 4 and
// border 1 this is what the painter draws for the rectangle (x - 4, y - 4,
// 8 x 8) with a 1-pixel pen, as long as the square lies wholly inside the
// target (IsMarkerInside); a square partly outside is clipped here, where the
// painter's outline drops a corner pixel or two.
void DrawSquareMarker(const CPixelTarget& target, int x, int y, int half, int border, uint32_t fill,
                      uint32_t outline);
inline bool IsMarkerInside(const CPixelTarget& target, int x, int y, int half) {
  return x - half >= 0 && x + half < target.width && y - half >= 0 && y + half < target.height;
}
// True when none of the square is inside the target.
inline bool IsMarkerOutside(const CPixelTarget& target, int x, int y, int half) {
  return x + half < 0 || x - half >= target.width || y + half < 0 || y - half >= target.height;
}

// DrawSquareMarker for a square known to be inside, its size fixed at
// compile time: the common case, drawn many thousand times per picture. Each
// row is copied whole from one of two patterns.
template <int half, int border>
class CInsideMarker {
 public:
  static constexpr int kSide = 2 * half + 1;

  CInsideMarker(uint32_t fill, uint32_t outline) {
    for (int i = 0; i < kSide; ++i) {
      m_edge[i] = outline;
      m_middle[i] = i < border || i >= kSide - border ? outline : fill;
    }
  }
  void Draw(const CPixelTarget& target, int x, int y) const {
    uint32_t* row = target.bits + (y - half) * target.stride + (x - half);
    for (int r = 0; r < kSide; ++r, row += target.stride) {
      std::memcpy(row, r < border || r >= kSide - border ? m_edge : m_middle, sizeof m_edge);
    }
  }

 private:
  uint32_t m_edge[kSide];
  uint32_t m_middle[kSide];
};
