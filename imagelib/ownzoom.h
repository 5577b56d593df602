/* The plan that one part of a zoom runs, shared by the zoom's portable
 * kernels (qimZoom), its AVX2 row kernels of 8-bit images (ownZoomAvx2) and
 * its SSE2 and AVX2 rows of 16-bit and float images (ownZoom16u32f,
 * ownZoom16u32fAvx2). */
#ifndef OWNZOOM_H
#define OWNZOOM_H

#include "qimown.h"

#include <stdint.h>

typedef ptrdiff_t Dim;

enum { K1U, K8U, K16U, K32F };

/* Byte shuffles of the AVX2 rows, built per part.
 * Nearest neighbour: group g picks count[g] bytes of whole pixels with
 * mask[16 g ..] from the 16 source bytes at off[g] and stores them as the
 * row's next count[g] bytes; the groups cover the row's first `covered`
 * pixels.
 * Linear and cubic (8U): group g holds eight elements, four per 128-bit
 * lane, and picks each element's taps (2 or 4, srcPix bytes apart) as 32-bit
 * integers from 16-byte windows; index[8 g + k] is the place of element k's
 * first tap in its window. The windows: one at off[2 g] for both lanes
 * (GROUP_SHARED_WINDOW), one per lane at off[2 g + L] (GROUP_ONE_WINDOW), or
 * one per lane and tap, tap q's q x srcPix bytes after off[2 g + L]
 * (GROUP_TAP_WINDOWS); taps that fit none of these are read element by
 * element (GROUP_SCALAR). Linear rows whose blocks of groups have as taps
 * each column's pixel and the next, the columns two pixels apart (halving),
 * read them with fixed loads and shuffles (GROUP_HALVED: in 1 and 4
 * channels groups 2 b and 2 b + 1, 32 bytes as one vector; in 3 channels
 * groups 3 b to 3 b + 2, eight columns). The weights: linear, one per
 * element at weight[8 g ..]; cubic, coefficient q of the eight elements at
 * weight[8 (3 g + q) ..].
 * Sparse taps (shrinking by more than about four) fit no window in the
 * source row. The common layouts read each column's bytes straight into the
 * vectors (SPARSE_*, no groups); the others are first packed: the bytes of
 * each column's taps, `stride` bytes a column, copied into `packed`, where
 * they lie close enough for the windows; the groups then read `packed` at
 * the taps `packTap`. */
enum { GROUP_SHARED_WINDOW, GROUP_ONE_WINDOW, GROUP_TAP_WINDOWS, GROUP_SCALAR, GROUP_HALVED };

/* Sparse rows: nearest, whole pixels of 1, 2, 3 or 4 bytes gathered
 * sixteen bytes a store; linear 8-bit, one channel (both taps within four
 * bytes) or whole pixels of 3 channels (both taps within eight bytes), eight
 * elements a vector, or whole pixels of 4 channels more than a pixel apart
 * (their taps would fit the windows, but reading each column's eight bytes
 * straight needs no windows planned), two columns a vector; cubic
 * 8-bit, one channel of adjacent taps (all four in four bytes), eight
 * columns a vector. */
enum {
    SPARSE_NONE,
    SPARSE_NEAREST,
    SPARSE_LINEAR_SINGLE,
    SPARSE_LINEAR_PIXELS,
    SPARSE_CUBIC_SINGLE
};

/* The work memory of one call: its tables and those of its parts. A block
 * on the call's stack serves small calls whole (a part takes its tables
 * after the call's and gives them back when it ends); whatever does not fit
 * comes from the heap. None of it reaches qimDeallocate, so none of it needs
 * the aligned allocator's record of blocks. */
typedef struct {
    char* base;
    char* at; /* the first free byte */
    char* end;
} ZoomWork;

typedef struct {
    void* block; /* the tables below, off to runKind, in one allocation */
    int32_t* off;
    uint8_t* mask;  /* nearest */
    uint8_t* index; /* linear, cubic */
    uint8_t* count;
    float* weight;
    uint8_t* groupKind; /* linear, cubic: GROUP_* */
    Dim groups;
    Dim* runEnd;      /* linear, cubic: the groups in runs of one kind: run r ends at */
    uint8_t* runKind; /* group runEnd[r] (exclusive), its groups of kind runKind[r] */
    Dim runs;
    int taps;
    Dim covered;
    Dim stride;      /* packed bytes a column; 0: the groups read the source row */
    int copy;        /* bytes copied a column (a power of two of at least stride) */
    uint8_t* packed; /* one packed row and the bytes its last window reads */
    int* packTap;    /* each column's first tap in packed */
    int sparse;      /* SPARSE_* */
    int fetchAhead;  /* SPARSE_LINEAR_PIXELS of 4 channels: the rows ahead are fetched */
    Dim whole;       /* sparse: the leading columns whose vector loads stay in the row */
    float* sparseWeight; /* SPARSE_LINEAR_PIXELS: each element's weight (its column's);
                            SPARSE_CUBIC_SINGLE: coefficient q of column i at q width + i */
    uint8_t rgbPick[96];  /* SPARSE_LINEAR_PIXELS, 3 channels: for each of the three
                             vectors of eight pixels, the shuffles of the two pixel
                             pairs it spans into its a bytes (low half) and b bytes */
} ZoomShuffle;

typedef struct ZoomPlan {
    ZoomWork* work; /* where the tables below come from */
    void* block;    /* xTap, yTap, rows and out in one allocation */
    int kind;
    int width, height; /* written size */
    int nch;           /* channels of one pass: the processed ones in pixel order, 1 in planes */
    int planes;        /* passes: 1 in pixel order, processed channels in plane order */
    const char* src;   /* the source origin: the element of the first processed channel at
                          pixel (0, 0) of the tap tables; 1U: its row's start */
    Dim srcRowStep, srcPlaneStep; /* bytes */
    Dim srcRight;                 /* bytes from src that may be read in every row */
    int srcPix;                   /* elements from one pixel to the next */
    char* dst;                    /* likewise for the destination */
    Dim dstRowStep, dstPlaneStep;
    int dstPix;
    int dstBit0; /* 1U: bit index of the region's first pixel within its row */
    int* xTap;   /* first tap of each column, in elements from src (1U: bit index in the row) */
    const float* xw; /* linear: weight; cubic: three coefficients per column */
    int* yTap;       /* first tap row of each destination row, from the source origin */
    const float* yw;
    const uint8_t* mask; /* row of the first written pixel's mask bits, or null */
    Dim maskStep;
    int maskX0;
    float* rows[4]; /* horizontally interpolated source rows */
    void* out;      /* one row of results before a masked or strided store */
    float* span;    /* 8U: the source row's tapped elements as floats */
    Dim spanFirst, spanCount; /* first tapped element (from the region start) and count */
    int* spanTap;   /* each column's first tap within the span */
    int spanDense;  /* convert the whole span rather than each tapped pixel */
    float* xw4;     /* the weights laid out for vectors: linear, each column's four times;
                       cubic, each column's three broadcast (or, one channel, three runs) */
    Dim loadable;   /* 16U, 32F: the leading columns whose four-element loads at every tap
                       stay within the bytes that may be read */
    uint8_t* strided; /* linear 16U and 32F of one channel, AVX2: per group of eight
                         columns, whether its taps are sixteen elements in a row, or null */
    float* halfWeight; /* halving, 8U linear, AVX2: the columns' weights per block of the
                          halving rows (see ownZoomHalfAvx2) */
    Dim halfColumns;   /* the leading columns those rows do, or 0 */
    int vec;        /* the vector level (OWN_VECTOR_*) */
    int aheadSparse; /* nearest: pixels too far apart for the byte shuffles and too large to
                        load whole, each moved on its own while the next row is fetched; the
                        leading shuffle.whole of them by 8 or 16 bytes */
    ZoomShuffle shuffle; /* AVX2 only */
} ZoomPlan;

/* The AVX2 rows; callers check ownVectorLevel first. */
/* The source row that the next destination row reads, `ahead`, is fetched
 * into the cache at the same places. */
void ownZoomNearestRowAvx2(const ZoomShuffle* shuffle, const uint8_t* srow, uint8_t* drow,
                           const uint8_t* ahead);
/* SPARSE_NEAREST, no mask: every row of the pass from src into dst, the
 * leading pixels of each in sixteen-byte stores that end within the row. */
void ownZoomNearestSparsePassAvx2(const ZoomPlan* z, const char* src, char* dst);
/* SPARSE_LINEAR_*: the horizontal pass of rows[0 .. n - 1] (n is 1 or 2)
 * into h[0 .. n - 1], each column's taps and weight read once for all of
 * them. Nothing is fetched ahead: the rows are read in order, which the
 * processor's own prefetching follows better. */
void ownZoomLinearSparseRowsAvx2(const ZoomPlan* z, const uint8_t* const rows[],
                                 const uint8_t* const ahead[], float* const h[], int n);
/* The horizontal pass of a whole 8-bit row; the same taps of row ahead are
 * fetched into the cache for a later call. */
void ownZoomLinearRowAvx2(const ZoomPlan* z, const uint8_t* srow, float* h, const uint8_t* ahead);
/* (1 - wy) h0 + wy h1 + 1e-7 in double precision, truncated and clamped to
 * 0..255, for a multiple of 16 elements from the start; returns how many
 * (decided in float where bounds allow, see ownZoomAvx2). */
Dim ownZoomLinearColumnAvx2(const float* h0, const float* h1, float wy, uint8_t* out,
                            Dim count);
/* ownZoomLinearColumnAvx2 of n (2 to 4) destination rows between the same
 * source rows, with weights wy[0 .. n - 1], into out[0 .. n - 1]. */
Dim ownZoomLinearColumnsAvx2(const float* h0, const float* h1, const float* wy,
                             uint8_t* const* out, int n, Dim count);
/* The cubic horizontal pass of a whole 8-bit row. */
void ownZoomCubicRowAvx2(const ZoomPlan* z, const uint8_t* srow, float* h);
/* The vertical cubic of rows r[0..3] with coefficients c, then as the 8-bit
 * store: trunc(v + 1e-7) clamped to 0..255, for a multiple of 16 elements
 * from the start; returns how many. */
Dim ownZoomCubicColumnAvx2(float* const r[4], const float* c, uint8_t* out, Dim count);

/* Halving (ownZoomHalfAvx2): both passes of the leading halfColumns columns
 * of one destination row of 1, 3 or 4 channels from source rows row0 and
 * row1, the weight of row1 wy, into out; the same places of the rows that
 * the next destination row reads, ahead0 and ahead1, are fetched into the
 * cache. Returns how many columns. */
Dim ownZoomLinearHalf8uAvx2(const ZoomPlan* z, const uint8_t* row0, const uint8_t* row1,
                            float wy, uint8_t* out, const uint8_t* ahead0, const uint8_t* ahead1);

/* 16U and 32F rows, SSE2 (ownZoom16u32f) and AVX2 (ownZoom16u32fAvx2): the
 * portable kernels' float and double operations in the same order. The row
 * passes do the leading columns of the layouts they know (one channel, or
 * whole pixels of 3 or 4 channels) and return how many; the caller does the
 * rest. The column passes store the leading elements as the portable store
 * does (16U: + 1e-7, truncated, clamped; 32F: as they are) and return how
 * many. */
Dim ownZoomLinearRow16u32fSse2(const ZoomPlan* z, const char* srow, float* h);
Dim ownZoomCubicRow16u32fSse2(const ZoomPlan* z, const char* srow, float* h);
Dim ownZoomLinearColumn16u32fSse2(int kind, const float* h0, const float* h1, float wy,
                                  void* out, Dim count);
Dim ownZoomCubicColumn16u32fSse2(int kind, float* const r[4], const float* c, void* out,
                                 Dim count);
/* The AVX2 rows fetch the same places of `ahead`, the source row that the
 * next destination row reads in srow's place, into the cache. */
Dim ownZoomLinearRow16u32fAvx2(const ZoomPlan* z, const char* srow, float* h, const char* ahead);
Dim ownZoomCubicRow16u32fAvx2(const ZoomPlan* z, const char* srow, float* h);
Dim ownZoomLinearColumn16u32fAvx2(int kind, const float* h0, const float* h1, float wy,
                                  void* out, Dim count);
Dim ownZoomCubicColumn16u32fAvx2(int kind, float* const r[4], const float* c, void* out,
                                 Dim count);
/* Both linear passes of the leading columns of one destination row from
 * source rows row0 and row1 (one channel); returns how many columns. */
Dim ownZoomLinearJoined16u32fAvx2(const ZoomPlan* z, const char* row0, const char* row1, float wy,
                                  void* out, const char* ahead);
/* ownZoomLinearColumn16u32fAvx2 for n (2 to 4) destination rows between the
 * same source rows, with weights wy[0 .. n - 1], into out[0 .. n - 1]. */
Dim ownZoomLinearColumns16u32fAvx2(int kind, const float* h0, const float* h1, const float* wy,
                                   void* const* out, int n, Dim count);

#endif
