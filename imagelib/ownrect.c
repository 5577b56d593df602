/* Tiled images and the rectangle fetch: any rectangle of a plain or tiled
 * image, also one reaching outside it, copied into a fresh aligned buffer
 * whose outside parts follow the image's border settings. */
#include "qimown.h"

#include <limits.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

int ownTileWidthStep(int dataOrder, int depth, int rowAlign, int nChannels, int tileWidth)
{
    long long step = ownRowStep64(dataOrder, depth, rowAlign, nChannels, tileWidth);
    return step > 0 && step <= INT_MAX ? (int)step : 0;
}

int ownTileRowBytes(const QimImage* image)
{
    if (ownCheckImageHeader(image) || !image->tileInfo)
        return 0;
    return ownTileWidthStep(image->dataOrder, image->depth, image->rowAlign, image->nChannels,
                            image->tileInfo->width);
}

/* ---- Row pieces ------------------------------------------------------------ */

static int getBit(const unsigned char* row, long long x)
{
    return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

static void putBit(unsigned char* row, long long x, int bit)
{
    unsigned char m = (unsigned char)(0x80u >> (x & 7));
    if (bit)
        row[x >> 3] |= m;
    else
        row[x >> 3] &= (unsigned char)~m;
}

/* n pixels from src pixel x (stepping dx = +1 or -1) to dst pixel column. */
static void copyPixels(const unsigned char* src, long long x, int dx, long long n,
                       unsigned char* dst, long long column, int pixelBytes)
{
    if (pixelBytes == 0) {
        for (long long i = 0; i < n; ++i)
            putBit(dst, column + i, getBit(src, x + i * dx));
    } else if (dx > 0) {
        memcpy(dst + column * pixelBytes, src + x * pixelBytes, (size_t)(n * pixelBytes));
    } else {
        for (long long i = 0; i < n; ++i)
            memcpy(dst + (column + i) * pixelBytes, src + (x - i) * pixelBytes, (size_t)pixelBytes);
    }
}

static long long span(int a, int b)
{
    return a <= b ? (long long)b - a + 1 : (long long)a - b + 1;
}

/* ---- Rectangle copy ------------------------------------------------------------ */

static int copyPlain(const QimImage* image, int x0, int y0, int x1, int y1, unsigned char* buffer,
                     int column, int row, int bufferRowBytes, long long bufferPlaneBytes,
                     int pixelBytes, int planes)
{
    const unsigned char* data = image->imageData;
    long long step = image->widthStep;
    long long planeBytes = (long long)image->height * step;
    int dx = x1 >= x0 ? 1 : -1, dy = y1 >= y0 ? 1 : -1;
    long long nx = span(x0, x1), ny = span(y0, y1);
    for (int p = 0; p < planes; ++p) {
        for (long long k = 0; k < ny; ++k) {
            const unsigned char* src = data + p * planeBytes + (y0 + k * dy) * step;
            unsigned char* dst = buffer + p * bufferPlaneBytes + (row + k) * bufferRowBytes;
            copyPixels(src, x0, dx, nx, dst, column, pixelBytes);
        }
    }
    return 0;
}

static void releaseTiles(const QimImage* image, void* const* tiles, int firstColumn, int dx,
                         int count, int tileRow)
{
    QimTileInfo* info = image->tileInfo;
    for (int i = count - 1; i >= 0; --i) {
        info->tileData = tiles[i];
        info->callBack(image, firstColumn + i * dx, tileRow, QIM_TILE_RELEASE);
    }
}

static int copyTiled(const QimImage* image, int x0, int y0, int x1, int y1, unsigned char* buffer,
                     int column, int row, int bufferRowBytes, long long bufferPlaneBytes,
                     int pixelBytes, int planes)
{
    QimTileInfo* info = image->tileInfo;
    int tw = info->width, th = info->height;
    long long tileStep = ownTileWidthStep(image->dataOrder, image->depth, image->rowAlign,
                                          image->nChannels, tw);
    if (tileStep <= 0)
        return 1;
    long long tilePlane = th * tileStep;
    int dx = x1 >= x0 ? 1 : -1, dy = y1 >= y0 ? 1 : -1;
    int firstColumn = x0 / tw, lastColumn = x1 / tw;
    int firstRow = y0 / th, lastRow = y1 / th;
    int count = (int)span(firstColumn, lastColumn);
    void** tiles = malloc((size_t)count * sizeof *tiles);
    if (!tiles)
        return 1;

    for (int tr = firstRow;; tr += dy) {
        for (int i = 0; i < count; ++i) {
            info->tileData = NULL;
            info->callBack(image, firstColumn + i * dx, tr, QIM_TILE_READ);
            tiles[i] = info->tileData;
            if (!tiles[i]) {
                /* Give back what was got before the missing tile. */
                releaseTiles(image, tiles, firstColumn, dx, i, tr);
                free(tiles);
                return 1;
            }
        }
        int top = tr * th, bottom = top + th - 1;
        int rs = dy > 0 ? (y0 > top ? y0 : top) : (y0 < bottom ? y0 : bottom);
        int re = dy > 0 ? (y1 < bottom ? y1 : bottom) : (y1 > top ? y1 : top);
        long long nRows = span(rs, re);
        for (int i = 0; i < count; ++i) {
            int tc = firstColumn + i * dx;
            int left = tc * tw, right = left + tw - 1;
            int cs = dx > 0 ? (x0 > left ? x0 : left) : (x0 < right ? x0 : right);
            int ce = dx > 0 ? (x1 < right ? x1 : right) : (x1 > left ? x1 : left);
            long long nCols = span(cs, ce);
            long long bufferColumn = column + span(x0, cs) - 1;
            const unsigned char* tile = tiles[i];
            for (int p = 0; p < planes; ++p) {
                for (long long k = 0; k < nRows; ++k) {
                    long long yy = rs + k * dy;
                    long long bufferRow = row + span(y0, (int)yy) - 1;
                    const unsigned char* src = tile + p * tilePlane + (yy - top) * tileStep;
                    unsigned char* dst = buffer + p * bufferPlaneBytes + bufferRow * bufferRowBytes;
                    copyPixels(src, cs - left, dx, nCols, dst, bufferColumn, pixelBytes);
                }
            }
        }
        releaseTiles(image, tiles, firstColumn, dx, count, tr);
        if (tr == lastRow)
            break;
    }
    free(tiles);
    return 0;
}

int ownCopyImageRect(const QimImage* image, int x0, int y0, int x1, int y1, void* buffer,
                     int column, int row, int bufferRowBytes, long long bufferPlaneBytes,
                     int pixelBytes, int planes)
{
    if (!image || !buffer || x0 < 0 || x1 < 0 || y0 < 0 || y1 < 0 || x0 >= image->width ||
        x1 >= image->width || y0 >= image->height || y1 >= image->height)
        return 1;
    if (image->tileInfo) {
        if (!image->tileInfo->callBack)
            return 1;
        return copyTiled(image, x0, y0, x1, y1, buffer, column, row, bufferRowBytes,
                         bufferPlaneBytes, pixelBytes, planes);
    }
    if (!image->imageData)
        return 1;
    return copyPlain(image, x0, y0, x1, y1, buffer, column, row, bufferRowBytes, bufferPlaneBytes,
                     pixelBytes, planes);
}

/* ---- Rectangle fetch ----------------------------------------------------------- */

typedef struct RectJob {
    const QimImage* image;
    unsigned char* buffer;
    int x, y;           /* the rectangle's top-left corner in image coordinates */
    long long width;    /* pixels */
    int rowBytes;       /* K */
    long long planeBytes;
    int planes;
    int pixelBytes;     /* 0 for 1U */
    int elementBytes;   /* 0 for 1U */
    int elementsPerPixel;
} RectJob;

/* Source index for an outside index that lies before (before = 1) or after
 * the image, size n, by border mode. */
static int borderSource(int mode, long long outside, int n, int before)
{
    if (mode == QIM_BORDER_REPEAT) {
        long long r = outside % n;
        return (int)(r < 0 ? r + n : r);
    }
    long long g = before ? -1 - outside : outside - n; /* distance from the edge, from 0 */
    long long inward = 0;
    if (mode == QIM_BORDER_MIRROR) {
        long long p = g / n, q = g % n;
        inward = p % 2 == 0 ? q : n - 1 - q;
    }
    return (int)(before ? inward : n - 1 - inward);
}

/* The longest run of at most `remaining` outside indices from `outside` on
 * whose sources step by +1 or -1 (or a single index): its first source and
 * step (0 for a single index). Such a run is one rectangle copy. */
static long long borderRun(int mode, long long outside, long long remaining, int n, int before,
                           int* source, int* step)
{
    int s0 = borderSource(mode, outside, n, before);
    long long len = 1;
    int d = 0;
    if (remaining > 1) {
        int s1 = borderSource(mode, outside + 1, n, before);
        if (s1 - s0 == 1 || s1 - s0 == -1) {
            d = s1 - s0;
            len = 2;
            while (len < remaining &&
                   borderSource(mode, outside + len, n, before) == s0 + d * (int)len)
                ++len;
        }
    }
    *source = s0;
    *step = d;
    return len;
}

static void fillPixel(const RectJob* job, unsigned char* rowStart, long long column,
                      unsigned int word)
{
    if (job->pixelBytes == 0) {
        putBit(rowStart, column, (int)(word & 1u));
        return;
    }
    unsigned char* p = rowStart + column * job->pixelBytes;
    for (int e = 0; e < job->elementsPerPixel; ++e, p += job->elementBytes) {
        if (job->elementBytes == 1) {
            *p = (unsigned char)word;
        } else if (job->elementBytes == 2) {
            uint16_t v = (uint16_t)word;
            memcpy(p, &v, 2);
        } else {
            uint32_t v = word;
            memcpy(p, &v, 4);
        }
    }
}

/* Columns [first, first + n) of buffer rows [bufferRow, bufferRow + rows) by
 * the border mode of one side (left when before is set, else right). */
static int fillColumns(const RectJob* job, int side, int before, long long first, long long n,
                       int srcRow0, int srcRow1, int bufferRow)
{
    const QimImage* image = job->image;
    int mode = image->borderModes[side] & 3;
    if (mode == QIM_BORDER_FILL) {
        unsigned int word = ownFillWord(image->depth, image->borderValues[side]);
        long long rows = span(srcRow0, srcRow1);
        for (int p = 0; p < job->planes; ++p)
            for (long long k = 0; k < rows; ++k) {
                unsigned char* r = job->buffer + p * job->planeBytes + (bufferRow + k) * job->rowBytes;
                for (long long c = first; c < first + n; ++c)
                    fillPixel(job, r, c, word);
            }
        return 0;
    }
    /* Copy runs of columns whose sources step by +1 or -1. */
    long long c = first;
    while (c < first + n) {
        int s0, d;
        long long len = borderRun(mode, job->x + c, first + n - c, image->width, before, &s0, &d);
        if (ownCopyImageRect(image, s0, srcRow0, s0 + d * (int)(len - 1), srcRow1, job->buffer,
                             (int)c, bufferRow, job->rowBytes, job->planeBytes, job->pixelBytes,
                             job->planes))
            return 1;
        c += len;
    }
    return 0;
}

/* Buffer rows from bufferRow on, from image rows srcRow0..srcRow1 (either
 * direction): the inside columns copied, the outside ones by the left and
 * right border modes. */
static int produceRows(const RectJob* job, int srcRow0, int srcRow1, int bufferRow)
{
    const QimImage* image = job->image;
    long long x = job->x, end = x + job->width; /* one past the last column */
    long long in0 = x > 0 ? x : 0, in1 = end < image->width ? end : image->width;
    if (in0 < in1 &&
        ownCopyImageRect(image, (int)in0, srcRow0, (int)(in1 - 1), srcRow1, job->buffer,
                         (int)(in0 - x), bufferRow, job->rowBytes, job->planeBytes,
                         job->pixelBytes, job->planes))
        return 1;
    if (x < 0) {
        long long n = (end < 0 ? end : 0) - x;
        if (fillColumns(job, QIM_SIDE_LEFT_INDEX, 1, 0, n, srcRow0, srcRow1, bufferRow))
            return 1;
    }
    if (end > image->width) {
        long long first = (x > image->width ? x : image->width) - x;
        if (fillColumns(job, QIM_SIDE_RIGHT_INDEX, 0, first, job->width - first, srcRow0, srcRow1,
                        bufferRow))
            return 1;
    }
    return 0;
}

/* Buffer rows [first, first + n) outside the image, above it (before set)
 * or below, by that side's border mode. */
static int fillRows(const RectJob* job, int side, int before, long long first, long long n)
{
    const QimImage* image = job->image;
    int mode = image->borderModes[side] & 3;
    if (mode == QIM_BORDER_FILL) {
        uint32_t word = ownFillWord(image->depth, image->borderValues[side]);
        for (int p = 0; p < job->planes; ++p)
            for (long long k = first; k < first + n; ++k) {
                unsigned char* r = job->buffer + p * job->planeBytes + k * job->rowBytes;
                for (int b = 0; b < job->rowBytes; b += 4)
                    memcpy(r + b, &word, 4);
            }
        return 0;
    }
    long long r = first;
    while (r < first + n) {
        int s0, d;
        long long len = borderRun(mode, job->y + r, first + n - r, image->height, before, &s0, &d);
        if (produceRows(job, s0, s0 + d * (int)(len - 1), (int)r))
            return 1;
        r += len;
    }
    return 0;
}

void* ownGetRect(const QimImage* image, int x, int y, int width, int height, int* rowBytes)
{
    if (!image || width <= 0 || height <= 0 || image->width <= 0 || image->height <= 0 ||
        image->nChannels <= 0)
        return NULL;
    RectJob job;
    memset(&job, 0, sizeof job);
    job.image = image;
    job.x = x;
    job.y = y;
    job.width = width;

    long long elements;
    if (image->dataOrder == QIM_ORDER_PIXEL) {
        elements = (long long)width * image->nChannels;
        job.planes = 1;
        job.elementsPerPixel = image->nChannels;
    } else if (image->dataOrder == QIM_ORDER_PLANE) {
        elements = width;
        job.planes = image->nChannels;
        job.elementsPerPixel = 1;
    } else {
        return NULL;
    }
    switch (image->depth) {
    case QIM_DEPTH_1U: job.elementBytes = 0; break;
    case QIM_DEPTH_8U: case QIM_DEPTH_8S: job.elementBytes = 1; break;
    case QIM_DEPTH_16U: case QIM_DEPTH_16S: job.elementBytes = 2; break;
    case QIM_DEPTH_32F: case QIM_DEPTH_32S: job.elementBytes = 4; break;
    default: return NULL;
    }
    job.pixelBytes = job.elementBytes * job.elementsPerPixel;
    int align = image->rowAlign;
    if (align != 4 && align != 8 && align != 16 && align != 32)
        return NULL;
    long long bytes = job.elementBytes ? elements * job.elementBytes : (elements + 7) / 8;
    long long k = (bytes + align - 1) / align * align;
    if (k > INT_MAX || k * height > LLONG_MAX / 4 / job.planes)
        return NULL;
    job.rowBytes = (int)k;
    job.planeBytes = k * height;
    job.buffer = ownAlignedMalloc(job.planeBytes * job.planes);
    if (!job.buffer)
        return NULL;
    memset(job.buffer, 0, (size_t)(job.planeBytes * job.planes));

    long long end = (long long)y + height;
    long long in0 = y > 0 ? y : 0, in1 = end < image->height ? end : image->height;
    int failed = 0;
    if (in0 < in1)
        failed = produceRows(&job, (int)in0, (int)(in1 - 1), (int)(in0 - y));
    if (!failed && y < 0)
        failed = fillRows(&job, QIM_SIDE_TOP_INDEX, 1, 0, (end < 0 ? end : 0) - y);
    if (!failed && end > image->height) {
        long long first = (y > image->height ? y : image->height) - (long long)y;
        failed = fillRows(&job, QIM_SIDE_BOTTOM_INDEX, 0, first, height - first);
    }
    if (failed) {
        ownFreeRect(job.buffer);
        return NULL;
    }
    if (rowBytes)
        *rowBytes = job.rowBytes;
    return job.buffer;
}

void ownFreeRect(void* buffer)
{
    ownAlignedFree(buffer);
}
