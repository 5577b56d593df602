/* Super-sampling internals shared by the portable kernels (owndecim) and
 * their AVX2 rows (owndecimAvx2, owndecimHalfAvx2). */
#ifndef OWNDECIM_H
#define OWNDECIM_H

#include "qimown.h"

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Super-sampling sources of more bytes than this (the rows that one kernel
 * call reads) are prefetched by the AVX2 rows: beyond the caches the rows
 * wait on memory otherwise, within them prefetching only costs time. Tests
 * lower it. */
extern size_t ownDecimateSuperPrefetchBytes;

/* What one used source column does in the horizontal pass: adds whole to the
 * open destination column (and writes it when it closes there), or crosses a
 * boundary: adds its part before it and writes the column, then starts the
 * next column with its rest. */
enum { COL_WHOLE = 1, COL_PART = 2, COL_WRITE = 4, COL_REST = 8 };
typedef struct {
    double part; /* weight added before writing (COL_PART) */
    double rest; /* weight that starts the next destination column (COL_REST) */
    int flags;
} SuperColumn;

/* The vertical pass over count contiguous elements of a depth (QIM_DEPTH_8U,
 * 16U or 32F): buf += s; buf = w s; buf = buf + w s, the weighted ones in
 * double precision. Each returns how many elements it did from the start.
 * With prefetch set they prefetch the source ahead of their loads, which
 * pays where it does not stay in the caches. */
ptrdiff_t ownSuperAddAvx2(float* buf, const void* s, ptrdiff_t count, int depth, int prefetch);
ptrdiff_t ownSuperSetAvx2(float* buf, const void* s, ptrdiff_t count, double w, int depth,
                          int prefetch);
ptrdiff_t ownSuperAddPartAvx2(float* buf, const void* s, ptrdiff_t count, double w, int depth,
                              int prefetch);

/* The vertical pass's operations on one buffer row over consecutive source
 * rows, done in one go so that the sums stay in registers: with head set the
 * row is set to w x head (else it keeps its value), the adds are added one
 * after another, and with tail set tail x w is added in double precision.
 * Per element these are the same operations in the same order as the rows
 * one at a time. */
enum { SUPER_RUN_ADDS = 32 };
typedef struct {
    float* buf;
    const void* head;
    const void* tail;
    double headW, tailW;
    const void* adds[SUPER_RUN_ADDS];
    int nAdds;
} SuperRun;

ptrdiff_t ownSuperRunAvx2(const SuperRun* run, ptrdiff_t count, int depth, int prefetch);

/* One destination row of the exact half shrink (steps of 2, whole start
 * positions): destination pixel i of n is the mean of pixels 2i and 2i + 1
 * of source rows a and b, the element counts of pixels being nch (1 to 4) on
 * both sides. readable is the elements that may be read from a and b. Gives
 * the bytes that the two passes give: 8 and 16 bits (sum + 2) >> 2, floats
 * with the passes' order of additions. prefetch as above. */
void ownSuperHalfRowAvx2(const void* a, const void* b, ptrdiff_t readable, void* dst, ptrdiff_t n,
                         ptrdiff_t nch, int depth, int prefetch);

/* Columns that ownSuperColumnsAvx2 turns at a time; its scratch holds
 * SUPER_CHUNK_COLUMNS x nch x 8 floats, 32-byte aligned. */
enum { SUPER_CHUNK_COLUMNS = 64 };

/* The horizontal pass of up to eight destination rows at once, one per
 * vector lane: rows[r] holds the vertical sums of row r (nch elements per
 * used column, padded to whole chunks), lanes of them are written, row r at
 * dst + r x dstRowBytes. Pixels and channels are dstPixel and dstChannel
 * elements apart; depth is QIM_DEPTH_8U, 16U or 32F; nch at most 4. packed
 * holds 8 x n x nch bytes, where 8-bit results gather before they are
 * spread over the rows. */
void ownSuperColumnsAvx2(const SuperColumn* plan, ptrdiff_t planned, int finalWrite, ptrdiff_t n,
                         const float* const* rows, int lanes, ptrdiff_t nch, char* dst,
                         ptrdiff_t dstRowBytes, ptrdiff_t dstPixel, ptrdiff_t dstChannel,
                         double unit, int depth, float* scratch, uint8_t* packed);

#ifdef __cplusplus
}
#endif

#endif
