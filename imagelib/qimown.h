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

#ifdef __cplusplus
}
#endif

#endif
