/* Internal functions shared by the library's sources. Nothing here is
 * exported from the shared builds (their version script keeps only the seven
 * qim entry points). */
#ifndef QIMOWN_H
#define QIMOWN_H

#include "qim.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Error context (qimerror) ------------------------------------------- */

typedef int (*QimErrorHandler)(int status, const char* functionName, const char* context,
                               const char* sourceFile, int line);

/* One per thread; starts with status 0, mode 0 and the default handler. */
typedef struct QimErrorContext {
    int status;
    int mode;
    QimErrorHandler handler;
} QimErrorContext;

QimErrorContext* ownGetErrContext(void);
void ownSetErrStatus(int status);
int ownGetErrMode(void);

/* Stores the status (except the -1 and -8 traces) and, unless it is 0, calls
 * the thread's handler, whose result it returns. In mode 0 the default
 * handler ends the process with exit code 1. */
int ownRaiseError(int status, const char* functionName, const char* context,
                  const char* sourceFile, int line);
int ownDefaultErrorHandler(int status, const char* functionName, const char* context,
                           const char* sourceFile, int line);

/* ---- Vector paths (owncpu) ----------------------------------------------- */

/* The vector instructions the kernels may use: none (plain C), SSE2, or AVX2
 * as well. Every path performs the same IEEE operations in the same order,
 * so all give the same pixels. The level is the processor's best at first
 * use; ownSetVectorLevel lowers it (tests compare the paths) or restores it,
 * never beyond what the processor has. */
enum { OWN_VECTOR_NONE = 0, OWN_VECTOR_SSE2 = 1, OWN_VECTOR_AVX2 = 2 };
int ownVectorLevel(void);
void ownSetVectorLevel(int level);
/* Whether the processor has fused multiply-add (FMA3), with which some AVX2
 * rows estimate results before they decide how to compute them. */
int ownHasFma(void);

/* ---- Headers, allocation and validation (qimalloc) ------------------------ */

/* 32-byte-aligned blocks for headers, ROI and tile records and work tables.
 * ownAlignedFree ignores null and any block that did not come from
 * ownAlignedMalloc, so records the caller allocated are never freed here. */
void* ownAlignedMalloc(long long size);
void ownAlignedFree(void* block);

/* Bits per channel, the sign flag removed. */
int ownDepthBits(int depth);

/* Bytes of one row (or of one plane row in plane order) rounded up to
 * rowAlign, in 64 bits: ((width x bits [x nChannels] + A - 1) / A x A) / 8
 * with A = rowAlign x 8. Returns -1 when the arguments are not positive. */
long long ownRowStep64(int dataOrder, int depth, int rowAlign, int nChannels, int width);

/* 0, or the status of the first failed check; a failure is stored as the
 * thread's status without calling the handler. */
int ownCheckImageHeader(const QimImage* image);

/* ---- Border settings (qimborde) ------------------------------------------ */

/* Clamps value to the depth's range and stores mode and value for every side
 * whose QIM_SIDE_* bit is set. */
void ownSetBorderMode(QimImage* image, int mode, int sides, int value);

/* The 32-bit pattern that fills memory with value at this depth: 1U every bit
 * equal to bit 0, 8 bits the byte four times, 16 bits the halfword twice,
 * 32 bits the value. */
unsigned int ownFillWord(int depth, int value);

/* ---- Tiles and rectangle copy (ownrect) ---------------------------------- */

/* Bytes of one tile row: the widthStep rule applied to the tile width. */
int ownTileWidthStep(int dataOrder, int depth, int rowAlign, int nChannels, int tileWidth);
/* ownTileWidthStep for a valid tiled image, else 0. */
int ownTileRowBytes(const QimImage* image);

/* Copies image columns x0..x1 and rows y0..y1 (ends included; a direction
 * with x1 < x0 or y1 < y0 runs backwards) to the buffer at pixel (column,
 * row). pixelBytes is the bytes of one pixel within one plane (elements x
 * channels in pixel order, one element in plane order), 0 for 1U images,
 * whose bits are OR-ed into a zeroed buffer. planes is 1 in pixel order and
 * nChannels in plane order; bufferPlaneBytes separates the buffer's planes.
 * Returns 0, or 1 when a tile was not delivered or the range lies outside the
 * image; every tile got has been released by then. */
int ownCopyImageRect(const QimImage* image, int x0, int y0, int x1, int y1, void* buffer,
                     int column, int row, int bufferRowBytes, long long bufferPlaneBytes,
                     int pixelBytes, int planes);

/* A new aligned buffer with the rectangle (x, y, width, height), which may
 * reach outside the image; the outside is filled by the image's border
 * settings. Rows of *rowBytes bytes (the row's bytes rounded up to rowAlign),
 * height rows per plane, nChannels planes in plane order. Null on failure.
 * Free it with ownFreeRect. */
void* ownGetRect(const QimImage* image, int x, int y, int width, int height, int* rowBytes);
void ownFreeRect(void* buffer);

/* ---- Image AND (qimand) -------------------------------------------------- */

/* dstImage = srcImageA AND srcImageB over the common region; either source may
 * be the destination itself. Failures go through the thread status. */
void qimAnd(const QimImage* srcImageA, const QimImage* srcImageB, QimImage* dstImage);

/* ---- Resize, zoom and decimation (qimresiz, qimZoom, qimdecim, owndecim) -- */

/* Scales the source region into the destination region by nearest, linear or
 * cubic interpolation; returns 0 or the negative status that stopped it. */
int qimZoom(const QimImage* srcImage, QimImage* dstImage, int xDst, int xSrc, int yDst, int ySrc,
            int interpolate);

/* The untiled core of the zoom: starts and steps in source pixels relative to
 * the source region; clipToRatio limits the written size to the scaled source
 * size. Returns 0 or the negative status raised. */
int ownZoomRect(const QimImage* srcImage, QimImage* dstImage, double rx, double ry, int method,
                double xStart, double yStart, double stepX, double stepY, int clipToRatio,
                int xNonIntegral, int yNonIntegral);

/* Checks the arguments of a shrink and runs qimDecimate when the thread's
 * status is not negative. */
void ownDecimateArgs(const QimImage* srcImage, QimImage* dstImage, int xDst, int xSrc, int yDst,
                     int ySrc, int interpolate);
/* 1 on success, 0 when a tile was not delivered (status -3 raised). */
int qimDecimate(const QimImage* srcImage, QimImage* dstImage, int xDst, int xSrc, int yDst,
                int ySrc, int interpolate);

/* Row kernel of decimation. Extents and steps count channel elements (bits for
 * 1U, where the two channel steps carry the bit position of the first pixel
 * in its byte); positions are in source pixels, read at entry and written
 * back after the last produced column and row. Non-zero on success. */
#define OWN_DECIMATE_KERNEL_ARGS                                                              \
    const void *src, void *dst, ptrdiff_t dstChannelStep, ptrdiff_t dstChannelEnd,           \
        ptrdiff_t dstPixelStep, ptrdiff_t dstRowEnd, ptrdiff_t dstRowStep,                    \
        ptrdiff_t dstRowsEnd, ptrdiff_t srcChannelStep, ptrdiff_t srcPixelStep,               \
        ptrdiff_t srcRowEnd, ptrdiff_t srcRowStep, ptrdiff_t srcRowsEnd, float xStep,         \
        float yStep, float *xPos, float *yPos
typedef int (*OwnDecimateKernel)(OWN_DECIMATE_KERNEL_ARGS);

/* Source drivers: the kernel, the edge margins, the source image, then the
 * destination block (kernel arguments 2 to 8) and the steps and positions. */
#define OWN_DECIMATE_DRIVER_ARGS                                                              \
    OwnDecimateKernel kernel, int xMargin, int yMargin, const QimImage *srcImage, void *dst,  \
        ptrdiff_t dstChannelStep, ptrdiff_t dstChannelEnd, ptrdiff_t dstPixelStep,            \
        ptrdiff_t dstRowEnd, ptrdiff_t dstRowStep, ptrdiff_t dstRowsEnd, float xStep,         \
        float yStep, float *xPos, float *yPos
typedef int (*OwnDecimateDriver)(OWN_DECIMATE_DRIVER_ARGS);

int ownDecimateChooseMethod(const QimImage* srcImage, int xDst, int xSrc, int yDst, int ySrc,
                            int interpolate, int* xIntegral, int* yIntegral, int* xMargin,
                            int* yMargin);
OwnDecimateKernel ownDecimateSelectKernel(int depth, int method, int xIntegral, int yIntegral);
OwnDecimateDriver ownDecimateSelectDriver(const QimTileInfo* tileInfo, int method);
int ownDecimatePlain(OWN_DECIMATE_DRIVER_ARGS);
int ownDecimateTiledNN(OWN_DECIMATE_DRIVER_ARGS);
int ownDecimateTiled(OWN_DECIMATE_DRIVER_ARGS);

/* Where a kernel leaves its x (axis 0) or y (axis 1) position after count
 * columns or rows from pos: the kernels' own arithmetic, so that drivers can
 * plan blocks. */
float ownDecimateAdvance(OwnDecimateKernel kernel, int axis, float pos, float step,
                         ptrdiff_t count);

int ownDecimateNN_1u(OWN_DECIMATE_KERNEL_ARGS);
int ownDecimateNN_8u(OWN_DECIMATE_KERNEL_ARGS);
int ownDecimateNN_16u(OWN_DECIMATE_KERNEL_ARGS);
int ownDecimateNN_32f(OWN_DECIMATE_KERNEL_ARGS);
int ownDecimateLinearX_8u(OWN_DECIMATE_KERNEL_ARGS);
int ownDecimateLinearY_8u(OWN_DECIMATE_KERNEL_ARGS);
int ownDecimateLinear_8u(OWN_DECIMATE_KERNEL_ARGS);
int ownDecimateLinearX_16u(OWN_DECIMATE_KERNEL_ARGS);
int ownDecimateLinearY_16u(OWN_DECIMATE_KERNEL_ARGS);
int ownDecimateLinear_16u(OWN_DECIMATE_KERNEL_ARGS);
int ownDecimateLinearX_32f(OWN_DECIMATE_KERNEL_ARGS);
int ownDecimateLinearY_32f(OWN_DECIMATE_KERNEL_ARGS);
int ownDecimateLinear_32f(OWN_DECIMATE_KERNEL_ARGS);
int ownDecimateCubicX_8u(OWN_DECIMATE_KERNEL_ARGS);
int ownDecimateCubicY_8u(OWN_DECIMATE_KERNEL_ARGS);
int ownDecimateCubic_8u(OWN_DECIMATE_KERNEL_ARGS);
int ownDecimateCubicX_16u(OWN_DECIMATE_KERNEL_ARGS);
int ownDecimateCubicY_16u(OWN_DECIMATE_KERNEL_ARGS);
int ownDecimateCubic_16u(OWN_DECIMATE_KERNEL_ARGS);
int ownDecimateCubicX_32f(OWN_DECIMATE_KERNEL_ARGS);
int ownDecimateCubicY_32f(OWN_DECIMATE_KERNEL_ARGS);
int ownDecimateCubic_32f(OWN_DECIMATE_KERNEL_ARGS);
int ownDecimateSuper_1u(OWN_DECIMATE_KERNEL_ARGS);

/* A nearest-neighbour or super-sampling kernel over a tiled source (kernel
 * arguments 2 to 8 and 14 to 17): the source rows are copied from the tiles
 * as the kernel reaches them, so the pixels are those of the same source
 * untiled. 0 when a tile is not delivered. */
int ownDecimateFromTiles(OwnDecimateKernel kernel, const QimImage* srcImage, void* dst,
                         ptrdiff_t dstChannelStep, ptrdiff_t dstChannelEnd, ptrdiff_t dstPixelStep,
                         ptrdiff_t dstRowEnd, ptrdiff_t dstRowStep, ptrdiff_t dstRowsEnd,
                         float xStep, float yStep, float* xPos, float* yPos);
int ownDecimateSuper_8u(OWN_DECIMATE_KERNEL_ARGS);
int ownDecimateSuper_16u(OWN_DECIMATE_KERNEL_ARGS);
int ownDecimateSuper_32f(OWN_DECIMATE_KERNEL_ARGS);

/* Floats that one super-sampling strip may hold: destination rows are worked
 * a few at a time, so the buffer stays in the cache. Tests lower it. */
extern size_t ownDecimateSuperBudget;


#ifdef __cplusplus
}
#endif

#endif
