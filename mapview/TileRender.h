// The steps of rendering one map tile: the part of the map image under the
// tile, its scaling through the image library, and an error drawn in the
// tile's place.
#pragma once

#include <QImage>
#include <QRect>
#include <QRectF>
#include <string>

#include "location/LocationRecord.h"

struct CMapEntry;

// Where a tile lies on its map image, in the image's pixel coordinates
// (pixel edges at whole numbers, so pixel k spans k to k + 1).
struct CTileSource {
  // The tile's rectangle, as the map's corners and clips place it; it may
  // reach past the image where clips are negative.
  QRectF area;
  // The pixels the map may be drawn from: inside both the clips and the
  // image, and never empty.
  QRect pixels;
};

// The part of an image of imageWidth x imageHeight that lies under tile.
// Throws std::runtime_error "Invalid Map Clip: " + href when the clips
// leave no pixels.
CTileSource ComputeTileSource(const CMapEntry& map, const CGeoRect& tile, int imageWidth,
                              int imageHeight);

// Draws the map picture under the tile into target, where the tile's
// rectangle lies at place (the target's own pixels whatever its device pixel
// ratio, fractions included). Every target pixel the rectangle covers is
// drawn. The picture is source (8-bit RGB, as LoadMapImage returns it)
// interpolated linearly by the image library: every edge of a source pixel
// lands within half a target pixel of where place puts it, and the pixels
// beyond part.pixels repeat the nearest one, so that neighbouring tiles
// continue each other's picture. Each library call is judged by its own
// result; a failed one throws std::runtime_error with the library's status
// text.
void DrawTileSource(const QImage& source, const CTileSource& part, QImage& target,
                    const QRectF& place);

// Fills rect (in the target's own pixels) of target white and writes text
// into it in black, wrapped at words (or anywhere in a word too long for a
// line), the last line that fits ending in an ellipsis when text remains.
void DrawTileError(QImage& target, const QRect& rect, const std::string& text);
