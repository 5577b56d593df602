// The steps of rendering one map tile: the part of the map image under the
// tile, its scaling through the image library, and an error drawn in the
// tile's place.
#pragma once

#include <QImage>
#include <QRect>
#include <string>

#include "location/LocationRecord.h"

struct CMapEntry;

struct CTileCrop {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// The pixels of an image of imageWidth x imageHeight that lie under tile,
// with the map's clips; at least 1 x 1 and always inside the image, so that
// a tile thinner than a source pixel still has something to scale. Throws
// std::runtime_error "Invalid Map Clip: " + href when the clips leave no
// pixels.
CTileCrop ComputeTileCrop(const CMapEntry& map, const CGeoRect& tile, int imageWidth,
                          int imageHeight);

// Scales crop of source (8-bit RGB, as LoadMapImage returns it: its spare
// row lets the library see the crop's rows a whole stride apart) to width x
// height pixels with the image library's linear interpolation and draws the
// result at (x, y) of target. Places and sizes are the target's own pixels,
// whatever its device pixel ratio. Each library call is judged by its own
// result; a failed one throws std::runtime_error with the library's status
// text.
void DrawScaledCrop(const QImage& source, const CTileCrop& crop, QImage& target, int x, int y,
                    int width, int height);

// Fills rect (in the target's own pixels) of target white and writes text
// into it in black, wrapped at words (or anywhere in a word too long for a
// line), the last line that fits ending in an ellipsis when text remains.
void DrawTileError(QImage& target, const QRect& rect, const std::string& text);
