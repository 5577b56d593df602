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
bool IsMarkerInside(const CPixelTarget& target, int x, int y, int half);
// True when none of the square is inside the target.
bool IsMarkerOutside(const CPixelTarget& target, int x, int y, int half);
