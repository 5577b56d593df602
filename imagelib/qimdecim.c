/* Decimation: the argument checks, the method and kernel choice, the source
 * drivers (plain and tiled) and the walk over the destination. */
#include "qimown.h"

#include <float.h>
#include <stdint.h>

typedef ptrdiff_t Dim;

#define FN "Decimate"
#define SRC "qimdecim"

/* ---- Image geometry in elements ------------------------------------------------ */

/* Elements to bytes by depth: 1U elements are bits. */
static Dim bytesOf(int depth, Dim elements)
{
    switch (depth) {
    case QIM_DEPTH_1U: return elements >> 3;
    case QIM_DEPTH_16U: return elements * 2;
    case QIM_DEPTH_32F: return elements * 4;
    default: return elements;
    }
}

static Dim elementsOf(int depth, Dim bytes)
{
    switch (depth) {
    case QIM_DEPTH_1U: return bytes * 8;
    case QIM_DEPTH_16U: return bytes / 2;
    case QIM_DEPTH_32F: return bytes / 4;
    default: return bytes;
    }
}

typedef struct {
    Dim rowStep, pixelStep, channelStep;
} Strides;

/* Strides of an image's pixels, or of one tile's (rowBytes and tileRows) or
 * rectangle's pixels. */
static Strides stridesOf(const QimImage* image, Dim rowBytes, Dim rows)
{
    Strides s;
    s.rowStep = elementsOf(image->depth, rowBytes);
    if (image->dataOrder == QIM_ORDER_PLANE) {
        s.pixelStep = 1;
        s.channelStep = rows * s.rowStep;
    } else {
        s.pixelStep = image->nChannels;
        s.channelStep = 1;
    }
    return s;
}

typedef struct {
    int x, y, width, height;
} Region;

/* The region of interest cut at the image's right and bottom edges; empty
 * when its offset lies outside the image. */
static Region regionOf(const QimImage* image)
{
    Region r = {0, 0, image->width, image->height};
    const QimRoi* roi = image->roi;
    if (roi) {
        r.x = roi->offsetX;
        r.y = roi->offsetY;
        r.width = (long long)roi->offsetX + roi->width < image->width ? roi->width
                                                                       : image->width - r.x;
        r.height = (long long)roi->offsetY + roi->height < image->height ? roi->height
                                                                          : image->height - r.y;
    }
    return r;
}

static int channelIndexOf(const QimImage* image)
{
    return image->roi && image->roi->coi > 0 ? image->roi->coi - 1 : 0;
}

static int channelCountOf(const QimImage* image)
{
    return image->roi && image->roi->coi > 0 ? 1 : image->nChannels;
}

static int colourChannels(const QimImage* image)
{
    return image->nChannels - (image->alphaIndex ? 1 : 0);
}

/* ---- Front end ------------------------------------------------------------------- */

void ownDecimateArgs(const QimImage* srcImage, QimImage* dstImage, int xDst, int xSrc, int yDst,
                     int ySrc, int interpolate)
{
    if (ownCheckImageHeader(srcImage)) {
        ownRaiseError(qimGetErrStatus(), FN, "Incorrect Image", SRC, 84);
        return;
    }
    if (ownCheckImageHeader(dstImage)) {
        ownRaiseError(qimGetErrStatus(), FN, "Incorrect Image", SRC, 85);
        return;
    }
    if (srcImage == dstImage)
        ownRaiseError(QIM_STATUS_BAD_ARG, FN, "srcImage == dstImage", SRC, 86);
    if (srcImage->depth != dstImage->depth)
        ownRaiseError(QIM_STATUS_BAD_DEPTH, FN, "srcImage->depth != dstImage->depth", SRC, 87);
    if (srcImage->depth != QIM_DEPTH_1U && srcImage->depth != QIM_DEPTH_8U &&
        srcImage->depth != QIM_DEPTH_16U && srcImage->depth != QIM_DEPTH_32F)
        ownRaiseError(QIM_STATUS_BAD_DEPTH, FN, "depth != 1U, 8U, 16U or 32F", SRC, 88);
    if (srcImage->origin != dstImage->origin)
        ownRaiseError(QIM_STATUS_BAD_ORIGIN, FN, "srcImage->origin != dstImage->origin", SRC, 94);
    if (srcImage->dataOrder != dstImage->dataOrder)
        ownRaiseError(QIM_STATUS_BAD_ORDER, FN, "srcImage->dataOrder != dstImage->dataOrder", SRC,
                      95);
    const int srcCoi = srcImage->roi && srcImage->roi->coi > 0;
    const int dstCoi = dstImage->roi && dstImage->roi->coi > 0;
    if (srcCoi && !dstCoi && colourChannels(dstImage) != 1)
        ownRaiseError(QIM_STATUS_BAD_COI, FN, "srcImage->roi->coi > 0 && dstImage->roi->coi == 0",
                      SRC, 103);
    if (dstCoi && !srcCoi && colourChannels(srcImage) != 1)
        ownRaiseError(QIM_STATUS_BAD_COI, FN, "dstImage->roi->coi > 0 && srcImage->roi->coi == 0",
                      SRC, 106);
    if (!srcCoi && !dstCoi && colourChannels(srcImage) != colourChannels(dstImage))
        ownRaiseError(QIM_STATUS_BAD_CHANNELS, FN, "srcImage->nChannels != dstImage->nChannels",
                      SRC, 109);
    if (interpolate < QIM_INTER_NN || interpolate > QIM_INTER_SUPER)
        ownRaiseError(QIM_STATUS_BAD_ARG, FN,
                      "interpolate != QIM_INTER_NN, QIM_INTER_LINEAR, QIM_INTER_CUBIC or "
                      "QIM_INTER_SUPER",
                      SRC, 112);
    if (xDst <= 0)
        ownRaiseError(QIM_STATUS_BAD_ARG, FN, "xDst <= 0", SRC, 118);
    if (xSrc <= 0)
        ownRaiseError(QIM_STATUS_BAD_ARG, FN, "xSrc <= 0", SRC, 119);
    if (yDst <= 0)
        ownRaiseError(QIM_STATUS_BAD_ARG, FN, "yDst <= 0", SRC, 120);
    if (ySrc <= 0)
        ownRaiseError(QIM_STATUS_BAD_ARG, FN, "ySrc <= 0", SRC, 121);
    if (xDst > xSrc)
        ownRaiseError(QIM_STATUS_BAD_ARG, FN, "xDst > xSrc", SRC, 122);
    if (yDst > ySrc)
        ownRaiseError(QIM_STATUS_BAD_ARG, FN, "yDst > ySrc", SRC, 123);
    if (qimGetErrStatus() < 0)
        return;
    qimDecimate(srcImage, dstImage, xDst, xSrc, yDst, ySrc, interpolate);
}

/* ---- Method, kernel and driver ------------------------------------------------------ */

int ownDecimateChooseMethod(const QimImage* srcImage, int xDst, int xSrc, int yDst, int ySrc,
                            int interpolate, int* xIntegral, int* yIntegral, int* xMargin,
                            int* yMargin)
{
    const int w = srcImage->roi ? srcImage->roi->width : srcImage->width;
    const int h = srcImage->roi ? srcImage->roi->height : srcImage->height;
    *xIntegral = xSrc % xDst == 0;
    *yIntegral = ySrc % yDst == 0;
    *xMargin = *yMargin = 0;
    int method = interpolate;
    if (srcImage->width < 4 || srcImage->height < 4 ||
        (method != QIM_INTER_SUPER && *xIntegral && *yIntegral) ||
        (long long)xDst * w / xSrc <= 0 || (long long)yDst * h / ySrc <= 0)
        method = QIM_INTER_NN;
    const QimTileInfo* tile = srcImage->tileInfo;
    if (tile) {
        if (method == QIM_INTER_LINEAR || method == QIM_INTER_CUBIC) {
            const int margin = method == QIM_INTER_LINEAR ? 1 : 2;
            *xMargin = *xIntegral ? 0 : margin;
            *yMargin = *yIntegral ? 0 : margin;
        } else if (method == QIM_INTER_SUPER) {
            const int cx = (xDst + xSrc - 1) / xDst, cy = (yDst + ySrc - 1) / yDst;
            if (cx > tile->width || cy > tile->height) {
                method = QIM_INTER_NN;
            } else {
                *xMargin = -cx;
                *yMargin = -cy;
            }
        }
    }
    return method;
}

OwnDecimateKernel ownDecimateSelectKernel(int depth, int method, int xIntegral, int yIntegral)
{
    /* One entry per depth: nearest, linear x-only, y-only, both, cubic x-only,
     * y-only, both, super-sampling. */
    static const OwnDecimateKernel table[4][8] = {
        {ownDecimateNN_1u, ownDecimateNN_1u, ownDecimateNN_1u, ownDecimateNN_1u, ownDecimateNN_1u,
         ownDecimateNN_1u, ownDecimateNN_1u, ownDecimateSuper_1u},
        {ownDecimateNN_8u, ownDecimateLinearX_8u, ownDecimateLinearY_8u, ownDecimateLinear_8u,
         ownDecimateCubicX_8u, ownDecimateCubicY_8u, ownDecimateCubic_8u, ownDecimateSuper_8u},
        {ownDecimateNN_16u, ownDecimateLinearX_16u, ownDecimateLinearY_16u, ownDecimateLinear_16u,
         ownDecimateCubicX_16u, ownDecimateCubicY_16u, ownDecimateCubic_16u,
         ownDecimateSuper_16u},
        {ownDecimateNN_32f, ownDecimateLinearX_32f, ownDecimateLinearY_32f, ownDecimateLinear_32f,
         ownDecimateCubicX_32f, ownDecimateCubicY_32f, ownDecimateCubic_32f,
         ownDecimateSuper_32f},
    };
    int d;
    switch (depth) {
    case QIM_DEPTH_1U: d = 0; break;
    case QIM_DEPTH_8U: d = 1; break;
    case QIM_DEPTH_16U: d = 2; break;
    case QIM_DEPTH_32F: d = 3; break;
    default: return NULL;
    }
    const int axes = yIntegral ? 0 : xIntegral ? 1 : 2;
    switch (method) {
    case QIM_INTER_LINEAR: return table[d][1 + axes];
    case QIM_INTER_CUBIC: return table[d][4 + axes];
    case QIM_INTER_SUPER: return table[d][7];
    default: return table[d][0];
    }
}

OwnDecimateDriver ownDecimateSelectDriver(const QimTileInfo* tileInfo, int method)
{
    if (!tileInfo)
        return ownDecimatePlain;
    return method == QIM_INTER_NN ? ownDecimateTiledNN : ownDecimateTiled;
}

/* ---- Plain source ------------------------------------------------------------------- */

int ownDecimatePlain(OWN_DECIMATE_DRIVER_ARGS)
{
    (void)xMargin; (void)yMargin;
    const Region r = regionOf(srcImage);
    const Strides s = stridesOf(srcImage, srcImage->widthStep, srcImage->height);
    const int depth = srcImage->depth;
    const char* base = (const char*)srcImage->imageData +
                       bytesOf(depth, channelIndexOf(srcImage) * s.channelStep) +
                       bytesOf(depth, (Dim)r.y * s.rowStep) +
                       bytesOf(depth, (Dim)r.x * s.pixelStep);
    const Dim srcChannel = depth == QIM_DEPTH_1U ? r.x % 8 : s.channelStep;
    kernel(base, dst, dstChannelStep, dstChannelEnd, dstPixelStep, dstRowEnd, dstRowStep,
           dstRowsEnd, srcChannel, s.pixelStep, (Dim)(srcImage->width - r.x) * s.pixelStep,
           s.rowStep, (Dim)(srcImage->height - r.y) * s.rowStep, xStep, yStep, xPos, yPos);
    return 1;
}

/* ---- Tiled source ------------------------------------------------------------------- */

typedef struct {
    const QimImage* image;
    const char* data; /* first element of the block (channel index applied) */
    void* rect;       /* copied rectangle, or null when the tile is used in place */
    int tileColumn, tileRow;
    Strides strides;
} SourceBlock;

/* Gets the source area of width x height pixels from the corner of tile
 * (tileColumn, tileRow): the tile itself when the area fits in it, else a
 * copied rectangle. 0 when a tile is not delivered or memory runs out. */
static int ownDecimateGetSourceBlock(const QimImage* srcImage, int tileColumn, int tileRow,
                                     int width, int height, SourceBlock* block)
{
    QimTileInfo* tile = srcImage->tileInfo;
    const int depth = srcImage->depth;
    block->image = srcImage;
    block->rect = NULL;
    block->tileColumn = tileColumn;
    block->tileRow = tileRow;
    Dim channelOffset;
    if (width <= tile->width && height <= tile->height) {
        tile->tileData = NULL;
        tile->callBack(srcImage, tileColumn, tileRow, QIM_TILE_READ);
        if (!tile->tileData)
            return 0; /* nothing was got, so nothing is released */
        block->strides = stridesOf(srcImage, ownTileRowBytes(srcImage), tile->height);
        channelOffset = bytesOf(depth, channelIndexOf(srcImage) * block->strides.channelStep);
        block->data = (const char*)tile->tileData + channelOffset;
        return 1;
    }
    int rowBytes = 0;
    block->rect = ownGetRect(srcImage, tileColumn * tile->width, tileRow * tile->height, width,
                             height, &rowBytes);
    if (!block->rect)
        return 0;
    block->strides = stridesOf(srcImage, rowBytes, height);
    channelOffset = bytesOf(depth, channelIndexOf(srcImage) * block->strides.channelStep);
    block->data = (const char*)block->rect + channelOffset;
    return 1;
}

static void ownDecimateReleaseSourceBlock(SourceBlock* block)
{
    if (block->rect) {
        ownFreeRect(block->rect);
        block->rect = NULL;
        return;
    }
    QimTileInfo* tile = block->image->tileInfo;
    tile->tileData = (void*)(block->data - bytesOf(block->image->depth,
                                                   channelIndexOf(block->image) *
                                                       block->strides.channelStep));
    tile->callBack(block->image, block->tileColumn, block->tileRow, QIM_TILE_RELEASE);
}

/* A run of destination columns (or rows) whose samples start in one source
 * tile, with the position the kernel starts from (relative to the tile's
 * corner) and the source extent from that corner that the kernel needs. */
typedef struct {
    int tile;
    Dim first, count;
    float start;
    Dim extent;
} Run;

/* The sample span of a position on one axis: margin 0 reads the sample
 * itself, 1 also the next one, 2 the cubic window, and a negative margin the
 * area from the position to the next one (super-sampling). */
static Dim needFirst(double pos, int margin)
{
    const Dim k = pos > 0 ? (Dim)pos : 0;
    return margin == 2 ? k - 2 : k;
}

static Dim needEnd(double pos, int margin)
{
    const Dim k = pos > 0 ? (Dim)pos : 0;
    return margin == 2 ? k + 3 : margin == 1 ? k + 2 : k + 1;
}

/* Cuts count destination columns (rows), starting at the region-relative
 * position *pos, into runs by source tile, following the kernel's own
 * position arithmetic; *pos ends where the kernel leaves it. Returns the
 * number of runs written to runs (at most count). */
static Dim planAxis(OwnDecimateKernel kernel, int axis, int margin, float* pos, float step,
                    Dim count, int offset, int tileSize, int imageSize, Run* runs)
{
    const int floatAcc = kernel == ownDecimateNN_1u && axis == 0;
    double abs = (double)offset + (double)*pos;
    Dim nRuns = 0;
    for (Dim i = 0; i < count;) {
        Dim first = needFirst(abs, margin);
        if (first < 0)
            first = 0;
        if (first > imageSize - 1)
            first = imageSize - 1;
        const int tile = (int)(first / tileSize);
        const Dim corner = (Dim)tile * tileSize;
        const float start = (float)(abs - (double)corner);
        double acc = start;
        float accF = start;
        Dim g = 0, extent = 0;
        while (i + g < count) {
            const double p = floatAcc ? (double)accF : acc;
            const Dim lo = needFirst(p, margin) + corner;
            if (g > 0 && (lo < corner || lo >= corner + tileSize))
                break;
            const Dim end = margin < 0 ? 0 : needEnd(p, margin);
            if (end > extent)
                extent = end;
            ++g;
            acc += (double)step;
            accF = accF + step;
        }
        if (margin < 0) {
            /* Super-sampling reads up to the end of the last area. */
            const double last = acc;
            extent = (Dim)last;
            if ((double)extent < last)
                ++extent;
        }
        if (extent > imageSize - corner)
            extent = imageSize - corner;
        if (extent < 1)
            extent = 1;
        runs[nRuns].tile = tile;
        runs[nRuns].first = i;
        runs[nRuns].count = g;
        runs[nRuns].start = start;
        runs[nRuns].extent = extent;
        ++nRuns;
        const float after = ownDecimateAdvance(kernel, axis, start, step, g);
        abs = (double)corner + (double)after;
        i += g;
    }
    *pos = (float)(abs - (double)offset);
    return nRuns;
}

/* Both tiled drivers: the block is cut into sub-blocks by the source tile that
 * holds their first samples; each sub-block reads its tile in place when its
 * samples and neighbours lie inside it, else a copied rectangle of the tiles
 * from that corner. */
static int tiledDrive(OWN_DECIMATE_DRIVER_ARGS)
{
    const QimTileInfo* tile = srcImage->tileInfo;
    const int depth = srcImage->depth;
    const Region r = regionOf(srcImage);
    const Dim n = dstRowEnd / dstPixelStep, m = dstRowsEnd / dstRowStep;
    if (n <= 0 || m <= 0)
        return 1;
    Run* cols = (Run*)ownAlignedMalloc((long long)sizeof(Run) * (n + m));
    if (!cols)
        return 0;
    Run* rows = cols + n;
    const Dim nCols = planAxis(kernel, 0, xMargin, xPos, xStep, n, r.x, tile->width,
                               srcImage->width, cols);
    const Dim nRows = planAxis(kernel, 1, yMargin, yPos, yStep, m, r.y, tile->height,
                               srcImage->height, rows);
    const int dstBits = depth == QIM_DEPTH_1U;
    int ok = 1;
    for (Dim ry = 0; ry < nRows && ok; ++ry) {
        const Run* rr = &rows[ry];
        for (Dim cx = 0; cx < nCols && ok; ++cx) {
            const Run* cr = &cols[cx];
            SourceBlock block;
            if (!ownDecimateGetSourceBlock(srcImage, cr->tile, rr->tile, (int)cr->extent,
                                           (int)rr->extent, &block)) {
                ok = 0;
                break;
            }
            char* d;
            Dim dstChannel = dstChannelStep;
            if (dstBits) {
                const Dim bit = dstChannelStep + cr->first;
                d = (char*)dst + ((rr->first * dstRowStep) >> 3) + (bit >> 3);
                dstChannel = bit & 7;
            } else {
                d = (char*)dst + bytesOf(depth, rr->first * dstRowStep + cr->first * dstPixelStep);
            }
            float x = cr->start, y = rr->start;
            kernel(block.data, d, dstChannel, dstChannelEnd, dstPixelStep,
                   cr->count * dstPixelStep, dstRowStep, rr->count * dstRowStep,
                   dstBits ? 0 : block.strides.channelStep, block.strides.pixelStep,
                   cr->extent * block.strides.pixelStep, block.strides.rowStep,
                   rr->extent * block.strides.rowStep, xStep, yStep, &x, &y);
            ownDecimateReleaseSourceBlock(&block);
        }
    }
    ownAlignedFree(cols);
    return ok;
}

int ownDecimateTiledNN(OWN_DECIMATE_DRIVER_ARGS)
{
    (void)xMargin; (void)yMargin;
    return ownDecimateFromTiles(kernel, srcImage, dst, dstChannelStep, dstChannelEnd,
                                dstPixelStep, dstRowEnd, dstRowStep, dstRowsEnd, xStep, yStep,
                                xPos, yPos);
}

int ownDecimateTiled(OWN_DECIMATE_DRIVER_ARGS)
{
    if (kernel == ownDecimateSuper_1u || kernel == ownDecimateSuper_8u ||
        kernel == ownDecimateSuper_16u || kernel == ownDecimateSuper_32f)
        return ownDecimateFromTiles(kernel, srcImage, dst, dstChannelStep, dstChannelEnd,
                                    dstPixelStep, dstRowEnd, dstRowStep, dstRowsEnd, xStep,
                                    yStep, xPos, yPos);
    return tiledDrive(kernel, xMargin, yMargin, srcImage, dst, dstChannelStep, dstChannelEnd,
                      dstPixelStep, dstRowEnd, dstRowStep, dstRowsEnd, xStep, yStep, xPos, yPos);
}

/* ---- Destination walk --------------------------------------------------------------- */

int qimDecimate(const QimImage* srcImage, QimImage* dstImage, int xDst, int xSrc, int yDst,
                int ySrc, int interpolate)
{
    int xIntegral, yIntegral, xMargin, yMargin;
    const int method = ownDecimateChooseMethod(srcImage, xDst, xSrc, yDst, ySrc, interpolate,
                                               &xIntegral, &yIntegral, &xMargin, &yMargin);
    const OwnDecimateKernel kernel =
        ownDecimateSelectKernel(srcImage->depth, method, xIntegral, yIntegral);
    if (!kernel)
        return 1;
    const OwnDecimateDriver driver = ownDecimateSelectDriver(srcImage->tileInfo, method);
    const float xStep = (float)((double)xSrc / xDst), yStep = (float)((double)ySrc / yDst);
    const float xStart = method == QIM_INTER_NN && !xIntegral ? 0.5f : 0.0f;
    const float yStart = method == QIM_INTER_NN && !yIntegral ? 0.5f : 0.0f;

    const Region rs = regionOf(srcImage), rd = regionOf(dstImage);
    if (rs.width <= 0 || rs.height <= 0 || rd.width <= 0 || rd.height <= 0)
        return 1; /* a region that starts outside its image has nothing to scale */
    const long long sw = (long long)rs.width * xDst / xSrc, sh = (long long)rs.height * yDst / ySrc;
    const Dim ww = sw < rd.width ? sw : rd.width, wh = sh < rd.height ? sh : rd.height;
    if (ww <= 0 || wh <= 0)
        return 1;
    const int nSrc = channelCountOf(srcImage), nDst = channelCountOf(dstImage);
    const Dim channels = nSrc < nDst ? nSrc : nDst;
    const int depth = dstImage->depth;
    const int chIndex = channelIndexOf(dstImage);

    QimTileInfo* tile = dstImage->tileInfo;
    if (!tile) {
        const Strides s = stridesOf(dstImage, dstImage->widthStep, dstImage->height);
        char* base = (char*)dstImage->imageData + bytesOf(depth, chIndex * s.channelStep) +
                     bytesOf(depth, (Dim)rd.y * s.rowStep) +
                     bytesOf(depth, (Dim)rd.x * s.pixelStep);
        const Dim dstChannel = depth == QIM_DEPTH_1U ? rd.x % 8 : s.channelStep;
        float x = xStart, y = yStart;
        const int ok = driver(kernel, xMargin, yMargin, srcImage, base, dstChannel,
                              s.channelStep * channels, s.pixelStep, ww * s.pixelStep, s.rowStep,
                              wh * s.rowStep, xStep, yStep, &x, &y);
        if (!ok) {
            ownRaiseError(QIM_STATUS_INTERNAL, "qimDecimate", "srcImage->tileInfo->callBack crash",
                          SRC, 369);
            return 0;
        }
        return ok;
    }

    const Strides s = stridesOf(dstImage, ownTileRowBytes(dstImage), tile->height);
    const int tw = tile->width, th = tile->height;
    const int firstCol = rd.x / tw, lastCol = (int)((rd.x + ww - 1) / tw);
    const int firstRow = rd.y / th, lastRow = (int)((rd.y + wh - 1) / th);
    float yRow = yStart;
    for (int tr = firstRow; tr <= lastRow; ++tr) {
        float x = xStart, yAfter = yRow;
        const Dim by0 = tr == firstRow ? rd.y - (Dim)tr * th : 0;
        const Dim by1 = tr == lastRow ? rd.y + wh - (Dim)tr * th : th;
        for (int tc = firstCol; tc <= lastCol; ++tc) {
            tile->tileData = NULL;
            tile->callBack(dstImage, tc, tr, QIM_TILE_WRITE);
            void* data = tile->tileData;
            if (!data) {
                ownRaiseError(QIM_STATUS_INTERNAL, "qimDecimate",
                              "dstImage->tileInfo->callBack crash", SRC, 374);
                return 0;
            }
            const Dim bx0 = tc == firstCol ? rd.x - (Dim)tc * tw : 0;
            const Dim bx1 = tc == lastCol ? rd.x + ww - (Dim)tc * tw : tw;
            char* base = (char*)data + bytesOf(depth, chIndex * s.channelStep) +
                         bytesOf(depth, by0 * s.rowStep) + bytesOf(depth, bx0 * s.pixelStep);
            const Dim dstChannel = depth == QIM_DEPTH_1U ? bx0 % 8 : s.channelStep;
            float y = yRow;
            const int ok = driver(kernel, xMargin, yMargin, srcImage, base, dstChannel,
                                  s.channelStep * channels, s.pixelStep,
                                  (bx1 - bx0) * s.pixelStep, s.rowStep, (by1 - by0) * s.rowStep,
                                  xStep, yStep, &x, &y);
            yAfter = y;
            tile->tileData = data;
            tile->callBack(dstImage, tc, tr, QIM_TILE_RELEASE);
            if (!ok) {
                ownRaiseError(QIM_STATUS_INTERNAL, "qimDecimate",
                              "srcImage->tileInfo->callBack crash", SRC, 369);
                return 0;
            }
        }
        yRow = yAfter;
    }
    return 1;
}
