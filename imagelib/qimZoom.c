/* Zoom: scales the source region by xDst/xSrc and yDst/ySrc into the
 * destination region by nearest-neighbour, linear or cubic interpolation,
 * with write masks, channel of interest and tiled images.
 *
 * Destination column i maps to the source position xStart + i x stepX (double)
 * relative to the source region; the per-call tables hold the first tap of
 * every column and row and the float weights, so the row kernels only index
 * and weight. Tiles only choose which slice of those tables a part runs.
 * Linear and cubic interpolate source rows horizontally into float row
 * buffers (float arithmetic) that are reused between destination rows. The
 * SSE2 and AVX2 rows (here and in ownZoomAvx2 for 8-bit images,
 * ownZoom16u32f and ownZoom16u32fAvx2 for 16-bit and float ones) do the
 * same operations as the plain ones. */
#include "ownzoom.h"

#include <limits.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#define FN "qimZoom"
#define SRC "qimZoom"
#define INLINE static inline __attribute__((always_inline))



INLINE Dim elemBytes(int kind)
{
    return kind == K8U ? 1 : kind == K16U ? 2 : 4;
}

INLINE float loadF(const char* base, Dim index, int kind)
{
    switch (kind) {
    case K8U: return (float)((const uint8_t*)base)[index];
    case K16U: return (float)((const uint16_t*)base)[index];
    default: return ((const float*)base)[index];
    }
}

INLINE int maskBit(const uint8_t* row, Dim x)
{
    return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

/* 8U and 16U results get 1e-7 and are truncated toward zero, then clamped
 * to the depth's range; 32F results are stored as they are. */
INLINE void storeValue(char* base, Dim index, double v, int kind)
{
    if (kind == K32F) {
        ((float*)base)[index] = (float)v;
        return;
    }
    const double top = kind == K8U ? 255.0 : 65535.0;
    const double r = v + 1e-7;
    const int q = r >= top ? (int)top : r > 0 ? (int)r : 0;
    if (kind == K8U)
        ((uint8_t*)base)[index] = (uint8_t)q;
    else
        ((uint16_t*)base)[index] = (uint16_t)q;
}

/* Writes one row of results to the destination: only where the mask bit is
 * set, and only the processed channels of each pixel. */
INLINE void storeRow(const ZoomPlan* z, const char* out, char* drow, const uint8_t* mrow, int kind)
{
    const Dim eb = elemBytes(kind);
    const int nch = z->nch;
    for (Dim i = 0; i < z->width; ++i) {
        if (mrow && !maskBit(mrow, z->maskX0 + i))
            continue;
        memcpy(drow + i * z->dstPix * eb, out + i * nch * eb, (size_t)(nch * eb));
    }
}

/* Zeroes a call's or a part's fields. The compiler's own zeroing of a block
 * of this size is a string instruction, whose start costs a small call
 * more than these few stores; the zero is hidden from the compiler so that
 * it does not turn the stores back into that instruction. */
INLINE void zeroFields(void* p, size_t bytes)
{
#if defined(__SSE2__)
    __m128i zero = _mm_setzero_si128();
    __asm__("" : "+x"(zero));
    char* at = (char*)p;
    size_t i = 0;
    for (; i + 16 <= bytes; i += 16)
        _mm_storeu_si128((__m128i*)(at + i), zero);
    memset(at + i, 0, bytes - i);
#else
    memset(p, 0, bytes);
#endif
}

/* ---- Nearest neighbour ---------------------------------------------------------- */

enum { NEAREST_PREFETCH_BYTES = 8 << 20 };

/* Copies count elements of type T per pixel; the count is a constant in the
 * common cases so that the copy unrolls. */
#define NEAREST_ROW(T, count)                                                                     \
    for (Dim i = 0; i < width; ++i) {                                                             \
        const T* s = (const T*)srow + xTap[i];                                                    \
        T* d = (T*)drow + i * dp;                                                                 \
        for (int c = 0; c < (count); ++c)                                                         \
            d[c] = s[c];                                                                          \
    }

#define NEAREST_ROWS(T)                                                                           \
    switch (nch) {                                                                                \
    case 1: NEAREST_ROW(T, 1) break;                                                              \
    case 2: NEAREST_ROW(T, 2) break;                                                              \
    case 3: NEAREST_ROW(T, 3) break;                                                              \
    case 4: NEAREST_ROW(T, 4) break;                                                              \
    default: NEAREST_ROW(T, nch) break;                                                           \
    }

INLINE void nearestPass(const ZoomPlan* z, const char* src, char* dst, int kind)
{
    const Dim eb = elemBytes(kind);
    const int nch = z->nch, dp = z->dstPix;
    const int* xTap = z->xTap; /* locals: the stores below may alias the plan */
    const Dim width = z->width;
    const Dim rowBytes = width * nch * eb;
    const int direct = !z->mask && dp == nch;
    /* Sparse rows fetch the next row's pixels on the way where the rows
     * read exceed the caches; within them the prefetches only cost time. */
    const int fetchAhead =
        z->aheadSparse && width > 0 &&
        (size_t)z->height * (size_t)(((Dim)xTap[width - 1] - xTap[0]) * eb + nch * eb) >
            NEAREST_PREFETCH_BYTES;
    if (z->shuffle.sparse) { /* chosen only without a mask */
        ownZoomNearestSparsePassAvx2(z, src, dst);
        return;
    }
    for (Dim j = 0; j < z->height; ++j) {
        const char* srow = src + z->yTap[j] * z->srcRowStep;
        char* drow = dst + j * z->dstRowStep;
        const uint8_t* mrow = z->mask ? z->mask + j * z->maskStep : NULL;
        const Dim next = j + 1 < z->height ? z->yTap[j + 1] : z->yTap[j];
        if (direct && j > 0 && z->yTap[j] == z->yTap[j - 1]) {
            /* The same source row: the row just written. */
            memcpy(drow, drow - z->dstRowStep, (size_t)rowBytes);
        } else if (z->aheadSparse && !mrow) {
            /* Whole pixels, each copied with one fixed-size move whose
             * bytes past the pixel the next one writes over; the next row's
             * pixels fetched on the way. */
            const Dim pb = nch * eb;
            const char* ahead = src + next * z->srcRowStep;
            Dim i = 0;
#define SPARSE_COPY(bytes, fetch)                                                                 \
    for (; i < z->shuffle.whole; ++i) {                                                           \
        if (fetch)                                                                                \
            __builtin_prefetch(ahead + xTap[i] * eb);                                             \
        memcpy(drow + i * pb, srow + xTap[i] * eb, bytes);                                        \
    }
            if (pb <= 8) {
                if (fetchAhead)
                    SPARSE_COPY(8, 1)
                else
                    SPARSE_COPY(8, 0)
            } else {
                if (fetchAhead)
                    SPARSE_COPY(16, 1)
                else
                    SPARSE_COPY(16, 0)
            }
#undef SPARSE_COPY
            for (; i < width; ++i)
                memcpy(drow + i * pb, srow + xTap[i] * eb, (size_t)pb);
        } else if (z->shuffle.groups && !mrow) {
            ownZoomNearestRowAvx2(&z->shuffle, (const uint8_t*)srow, (uint8_t*)drow,
                                  (const uint8_t*)src + next * z->srcRowStep);
            for (Dim i = z->shuffle.covered; i < width; ++i)
                memcpy(drow + i * dp * eb, srow + xTap[i] * eb, (size_t)(nch * eb));
        } else if (mrow) {
            for (Dim i = 0; i < width; ++i)
                if (maskBit(mrow, z->maskX0 + i))
                    memcpy(drow + i * dp * eb, srow + xTap[i] * eb, (size_t)(nch * eb));
        } else if (kind == K8U && nch == 4 && dp == 4 && z->srcPix == 4) {
            /* Whole 4-byte pixels as 32-bit words. */
            for (Dim i = 0; i < width; ++i)
                memcpy(drow + i * 4, srow + xTap[i], 4);
        } else if (kind == K8U) {
            NEAREST_ROWS(uint8_t)
        } else if (kind == K16U) {
            NEAREST_ROWS(uint16_t)
        } else {
            NEAREST_ROWS(float)
        }
    }
}

static void nearestPass1u(const ZoomPlan* z)
{
    for (Dim j = 0; j < z->height; ++j) {
        const uint8_t* srow = (const uint8_t*)z->src + z->yTap[j] * z->srcRowStep;
        uint8_t* drow = (uint8_t*)z->dst + j * z->dstRowStep;
        const uint8_t* mrow = z->mask ? z->mask + j * z->maskStep : NULL;
        for (Dim i = 0; i < z->width; ++i) {
            if (mrow && !maskBit(mrow, z->maskX0 + i))
                continue;
            const Dim x = z->dstBit0 + i;
            const unsigned bit = 0x80u >> (x & 7);
            if (maskBit(srow, z->xTap[i]))
                drow[x >> 3] = (uint8_t)(drow[x >> 3] | bit);
            else
                drow[x >> 3] = (uint8_t)(drow[x >> 3] & ~bit);
        }
    }
}

/* ---- Linear ------------------------------------------------------------------------ */

/* a + wx (b - a) per column and channel, in float, from column `from` on. */
INLINE void linearRow(const ZoomPlan* z, const char* srow, float* h, int kind, Dim from)
{
    const int nch = z->nch, sp = z->srcPix;
    for (Dim i = from; i < z->width; ++i) {
        const Dim s = z->xTap[i];
        const float w = z->xw[i];
        for (int c = 0; c < nch; ++c) {
            const float a = loadF(srow, s + c, kind);
            const float b = loadF(srow, s + sp + c, kind);
            h[i * nch + c] = a + w * (b - a);
        }
    }
}

#if defined(__SSE2__)
/* Bytes to floats (exact), sixteen at a time. */
static void spanToFloat(const uint8_t* s, float* f, Dim n)
{
    const __m128i zero = _mm_setzero_si128();
    Dim e = 0;
    for (; e + 16 <= n; e += 16) {
        const __m128i v = _mm_loadu_si128((const __m128i*)(s + e));
        const __m128i lo = _mm_unpacklo_epi8(v, zero), hi = _mm_unpackhi_epi8(v, zero);
        _mm_storeu_ps(f + e, _mm_cvtepi32_ps(_mm_unpacklo_epi16(lo, zero)));
        _mm_storeu_ps(f + e + 4, _mm_cvtepi32_ps(_mm_unpackhi_epi16(lo, zero)));
        _mm_storeu_ps(f + e + 8, _mm_cvtepi32_ps(_mm_unpacklo_epi16(hi, zero)));
        _mm_storeu_ps(f + e + 12, _mm_cvtepi32_ps(_mm_unpackhi_epi16(hi, zero)));
    }
    for (; e < n; ++e)
        f[e] = (float)s[e];
}

/* Four bytes from p as four floats (exact). */
static inline __m128 bytesToFloat(const uint8_t* p, int shift)
{
    uint32_t w;
    memcpy(&w, p, 4);
    __m128i v = _mm_cvtsi32_si128((int)w);
    if (shift)
        v = _mm_srli_epi32(v, 8);
    const __m128i zero = _mm_setzero_si128();
    return _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_unpacklo_epi8(v, zero), zero));
}

/* The linear horizontal pass of an 8-bit row: the same float operations,
 * four lanes at a time. With 3 or 4 channels one pixel's channels share a
 * vector (the fourth lane is overwritten by the next pixel or lands in the
 * buffer's padding); with 1 channel four columns do. Dense taps read the
 * row's span converted to floats once; sparse taps of whole pixels (steps
 * beyond two pixels) convert just the bytes they read. */
static int linearRow8uSimd(const ZoomPlan* z, const uint8_t* srow, float* h)
{
    const int nch = z->nch, sp = z->srcPix;
    if (!(nch == 1 && sp == 1) && !((nch == 3 || nch == 4) && sp >= nch && sp <= 4))
        return 0;
    const float* w4 = z->xw4;
    const int* tap = z->spanTap;
    Dim i = 0;
    if (!z->spanDense) {
        const uint8_t* base = srow + z->spanFirst; /* whole pixels only */
        for (; i < z->width; ++i) {
            const uint8_t* p = base + tap[i];
            const __m128 a = bytesToFloat(p, 0);
            const __m128 b = sp == 3 ? bytesToFloat(p + 2, 1) : bytesToFloat(p + 4, 0);
            _mm_storeu_ps(h + i * nch,
                          _mm_add_ps(a, _mm_mul_ps(_mm_load_ps(w4 + 4 * i), _mm_sub_ps(b, a))));
        }
        return 1;
    }
    spanToFloat(srow + z->spanFirst, z->span, z->spanCount);
    const float* f = z->span;
    if (nch == 1) {
#define PAIRS(p, q)                                                                               \
    _mm_loadh_pi(_mm_castsi128_ps(_mm_loadl_epi64((const __m128i*)(p))), (const __m64*)(q))
        for (; i + 4 <= z->width; i += 4) {
            const __m128 p01 = PAIRS(f + tap[i], f + tap[i + 1]);
            const __m128 p23 = PAIRS(f + tap[i + 2], f + tap[i + 3]);
            const __m128 a = _mm_shuffle_ps(p01, p23, _MM_SHUFFLE(2, 0, 2, 0));
            const __m128 b = _mm_shuffle_ps(p01, p23, _MM_SHUFFLE(3, 1, 3, 1));
            const __m128 w = _mm_loadu_ps(z->xw + i);
            _mm_storeu_ps(h + i, _mm_add_ps(a, _mm_mul_ps(w, _mm_sub_ps(b, a))));
        }
#undef PAIRS
        for (; i < z->width; ++i)
            h[i] = f[tap[i]] + z->xw[i] * (f[tap[i] + 1] - f[tap[i]]);
        return 1;
    }
    float* out = h;
    for (; i + 2 <= z->width; i += 2, out += 2 * nch) {
        const float* p0 = f + tap[i];
        const float* p1 = f + tap[i + 1];
        const __m128 a0 = _mm_loadu_ps(p0), b0 = _mm_loadu_ps(p0 + sp);
        const __m128 a1 = _mm_loadu_ps(p1), b1 = _mm_loadu_ps(p1 + sp);
        _mm_storeu_ps(out, _mm_add_ps(a0, _mm_mul_ps(_mm_load_ps(w4 + 4 * i), _mm_sub_ps(b0, a0))));
        _mm_storeu_ps(out + nch,
                      _mm_add_ps(a1, _mm_mul_ps(_mm_load_ps(w4 + 4 * i + 4), _mm_sub_ps(b1, a1))));
    }
    for (; i < z->width; ++i, out += nch) {
        const float* p = f + tap[i];
        const __m128 a = _mm_loadu_ps(p), b = _mm_loadu_ps(p + sp);
        _mm_storeu_ps(out, _mm_add_ps(a, _mm_mul_ps(_mm_load_ps(w4 + 4 * i), _mm_sub_ps(b, a))));
    }
    return 1;
}

/* Two source rows that share the taps and weights (when shrinking, most
 * destination rows need two fresh rows): one pass over the columns. Dense
 * 3- and 4-channel rows only; 0 otherwise. */
static int linearRows8uSimd(const ZoomPlan* z, const uint8_t* row0, const uint8_t* row1,
                            float* h0, float* h1)
{
    const int nch = z->nch, sp = z->srcPix;
    if (!z->spanDense || !((nch == 3 || nch == 4) && sp >= nch && sp <= 4))
        return 0;
    float* f0 = z->span;
    float* f1 = z->span + z->spanCount + 8;
    spanToFloat(row0 + z->spanFirst, f0, z->spanCount);
    spanToFloat(row1 + z->spanFirst, f1, z->spanCount);
    const int* tap = z->spanTap;
    const float* w4 = z->xw4;
    for (Dim i = 0; i < z->width; ++i) {
        const __m128 w = _mm_load_ps(w4 + 4 * i);
        const float* p0 = f0 + tap[i];
        const float* p1 = f1 + tap[i];
        const __m128 a0 = _mm_loadu_ps(p0), b0 = _mm_loadu_ps(p0 + sp);
        const __m128 a1 = _mm_loadu_ps(p1), b1 = _mm_loadu_ps(p1 + sp);
        _mm_storeu_ps(h0 + i * nch, _mm_add_ps(a0, _mm_mul_ps(w, _mm_sub_ps(b0, a0))));
        _mm_storeu_ps(h1 + i * nch, _mm_add_ps(a1, _mm_mul_ps(w, _mm_sub_ps(b1, a1))));
    }
    return 1;
}

/* (1 - wy) H0 + wy H1 + 1e-7 in double precision, truncated, two lanes at a
 * time: the scalar arithmetic exactly. */
static Dim linearColumn8uSimd(const float* h0, const float* h1, float wy, uint8_t* out, Dim count)
{
    const __m128d w1 = _mm_set1_pd((double)wy), w0 = _mm_set1_pd(1.0 - (double)wy);
    const __m128d eps = _mm_set1_pd(1e-7);
    Dim e = 0;
#define LOAD_PAIR(p) _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64((const __m128i*)(p))))
#define LINEAR_PAIR(k)                                                                            \
    _mm_cvttpd_epi32(_mm_add_pd(_mm_add_pd(_mm_mul_pd(w0, LOAD_PAIR(h0 + e + (k))),             \
                                           _mm_mul_pd(w1, LOAD_PAIR(h1 + e + (k)))),            \
                                eps))
    for (; e + 8 <= count; e += 8) {
        const __m128i lo = _mm_unpacklo_epi64(LINEAR_PAIR(0), LINEAR_PAIR(2));
        const __m128i hi = _mm_unpacklo_epi64(LINEAR_PAIR(4), LINEAR_PAIR(6));
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(lo, hi), _mm_setzero_si128());
        _mm_storel_epi64((__m128i*)(out + e), bytes);
    }
#undef LINEAR_PAIR
#undef LOAD_PAIR
    return e;
}
#endif

/* (1 - wy) H0 + wy H1 in double precision. */
INLINE void linearColumn(const ZoomPlan* z, const float* h0, const float* h1, float wy, char* out,
                         Dim count, int kind)
{
    Dim e = 0;
    if (kind != K8U && z->vec >= OWN_VECTOR_AVX2)
        e = ownZoomLinearColumn16u32fAvx2(kind, h0, h1, wy, out, count);
    if (kind != K8U && z->vec >= OWN_VECTOR_SSE2)
        e += ownZoomLinearColumn16u32fSse2(kind, h0 + e, h1 + e, wy, out + e * elemBytes(kind),
                                           count - e);
#if defined(__SSE2__)
    if (kind == K8U && z->vec >= OWN_VECTOR_SSE2)
        e = linearColumn8uSimd(h0, h1, wy, (uint8_t*)out, count);
#endif
    const double w1 = wy, w0 = 1.0 - w1;
    for (; e < count; ++e)
        storeValue(out, e, w0 * (double)h0[e] + w1 * (double)h1[e], kind);
}

/* The horizontal pass of one source row. */
INLINE void linearSourceRow(const ZoomPlan* z, const char* srow, float* h, const char* ahead,
                            int kind)
{
#if defined(__SSE2__)
    if (kind == K8U && z->span && linearRow8uSimd(z, (const uint8_t*)srow, h))
        return;
#endif
    Dim done = 0;
    if (kind != K8U && z->xw4)
        done = z->vec >= OWN_VECTOR_AVX2 ? ownZoomLinearRow16u32fAvx2(z, srow, h, ahead)
                                         : ownZoomLinearRow16u32fSse2(z, srow, h);
    linearRow(z, srow, h, kind, done);
}

INLINE int linearSourceRows(const ZoomPlan* z, const char* row0, const char* row1, float* h0,
                            float* h1, int kind)
{
#if defined(__SSE2__)
    if (kind == K8U && z->span)
        return linearRows8uSimd(z, (const uint8_t*)row0, (const uint8_t*)row1, h0, h1);
#else
    (void)z; (void)row0; (void)row1; (void)h0; (void)h1; (void)kind;
#endif
    return 0;
}

/* The 8-bit linear pass through the AVX2 rows. */
static void linearPass8uAvx2(ZoomPlan* z, const char* src, char* dst)
{
    const Dim count = (Dim)z->width * z->nch;
    const int direct = !z->mask && z->dstPix == z->nch;
    float* h0 = z->rows[0];
    float* h1 = z->rows[1];
    Dim loaded = 0;
    int have = 0;
    for (Dim j = 0; j < z->height; ++j) {
        const Dim k = z->yTap[j];
        if (z->halfColumns && direct && !(have && k - loaded <= 1) &&
            (j + 1 == z->height || z->yTap[j + 1] > k + 1)) {
            /* Halving: this row's source rows serve no other, so both
             * passes go in one, the columns left over as usual. */
            const uint8_t* row0 = (const uint8_t*)src + k * z->srcRowStep;
            const uint8_t* row1 = row0 + z->srcRowStep;
            const uint8_t* ahead =
                (const uint8_t*)src + (j + 1 < z->height ? z->yTap[j + 1] : k) * z->srcRowStep;
            char* drow = dst + j * z->dstRowStep;
            const Dim done = ownZoomLinearHalf8uAvx2(z, row0, row1, z->yw[j], (uint8_t*)drow,
                                                     ahead, ahead + z->srcRowStep);
            linearRow(z, (const char*)row0, h0, K8U, done);
            linearRow(z, (const char*)row1, h1, K8U, done);
            const double w1 = z->yw[j], w0 = 1.0 - w1;
            for (Dim e = done * z->nch; e < count; ++e)
                storeValue(drow, e, w0 * (double)h0[e] + w1 * (double)h1[e], K8U);
            have = 0;
            continue;
        }
        if (!have || k != loaded) {
            /* While a row is read, the row the next destination row reads
             * in its place is fetched ahead into the cache. */
            const Dim next = j + 1 < z->height ? z->yTap[j + 1] : k;
            const uint8_t* row0 = (const uint8_t*)src + k * z->srcRowStep;
            const uint8_t* row1 = row0 + z->srcRowStep;
            const uint8_t* ahead0 = (const uint8_t*)src + next * z->srcRowStep;
            const int keep = have && k == loaded + 1;
            if (keep) {
                float* t = h0;
                h0 = h1;
                h1 = t;
            }
            if (z->shuffle.sparse) {
                const uint8_t* const rows[2] = {keep ? row1 : row0, row1};
                const uint8_t* const ahead[2] = {keep ? ahead0 + z->srcRowStep : ahead0,
                                                 ahead0 + z->srcRowStep};
                float* const h[2] = {keep ? h1 : h0, h1};
                ownZoomLinearSparseRowsAvx2(z, rows, z->shuffle.fetchAhead ? ahead : NULL, h,
                                            keep ? 1 : 2);
            } else {
                if (!keep)
                    ownZoomLinearRowAvx2(z, row0, h0, ahead0);
                ownZoomLinearRowAvx2(z, row1, h1, ahead0 + z->srcRowStep);
            }
            loaded = k;
            have = 1;
        }
        char* drow = dst + j * z->dstRowStep;
        /* Growing: the next destination rows between the same source rows
         * are worked together. */
        int n = 1;
        if (direct)
            while (n < 4 && j + n < z->height && z->yTap[j + n] == k)
                ++n;
        if (n > 1) {
            uint8_t* outs[4];
            for (int q = 0; q < n; ++q)
                outs[q] = (uint8_t*)drow + q * z->dstRowStep;
            const Dim e = ownZoomLinearColumnsAvx2(h0, h1, z->yw + j, outs, n, count);
            for (int q = 0; q < n; ++q) {
                const double w1 = z->yw[j + q], w0 = 1.0 - w1;
                for (Dim i = e; i < count; ++i)
                    storeValue((char*)outs[q], i, w0 * (double)h0[i] + w1 * (double)h1[i], K8U);
            }
            j += n - 1;
            continue;
        }
        char* out = direct ? drow : (char*)z->out;
        const float wy = z->yw[j];
        Dim e = ownZoomLinearColumnAvx2(h0, h1, wy, (uint8_t*)out, count);
        const double w1 = wy, w0 = 1.0 - w1;
        for (; e < count; ++e)
            storeValue(out, e, w0 * (double)h0[e] + w1 * (double)h1[e], K8U);
        if (!direct)
            storeRow(z, out, drow, z->mask ? z->mask + j * z->maskStep : NULL, K8U);
    }
}

INLINE void linearPass(ZoomPlan* z, const char* src, char* dst, int kind)
{
    if (kind == K8U && (z->shuffle.groups || z->shuffle.sparse)) {
        linearPass8uAvx2(z, src, dst);
        return;
    }
    const Dim count = (Dim)z->width * z->nch;
    const int direct = !z->mask && z->dstPix == z->nch;
    float* h0 = z->rows[0];
    float* h1 = z->rows[1];
    Dim loaded = 0;
    int have = 0;
    const int joined = direct && kind != K8U && z->vec >= OWN_VECTOR_AVX2 && z->nch == 1 &&
                       z->srcPix == 1;
    for (Dim j = 0; j < z->height; ++j) {
        const Dim k = z->yTap[j];
        if (joined && !(have && k - loaded <= 1) &&
            (j + 1 == z->height || z->yTap[j + 1] > k + 1)) {
            /* Shrinking by about two or more: this row's source rows serve
             * no other, so both passes go in one, the columns left over
             * as usual. */
            const char* row0 = src + k * z->srcRowStep;
            const char* row1 = row0 + z->srcRowStep;
            char* drow = dst + j * z->dstRowStep;
            const char* ahead = src + (j + 1 < z->height ? z->yTap[j + 1] : k) * z->srcRowStep;
            const Dim done = ownZoomLinearJoined16u32fAvx2(z, row0, row1, z->yw[j], drow, ahead);
            linearRow(z, row0, h0, kind, done);
            linearRow(z, row1, h1, kind, done);
            const double w1 = z->yw[j], w0 = 1.0 - w1;
            for (Dim e = done; e < count; ++e)
                storeValue(drow, e, w0 * (double)h0[e] + w1 * (double)h1[e], kind);
            have = 0;
            continue;
        }
        if (!have || k != loaded) {
            /* The rows the next destination row reads in their places. */
            const char* ahead = src + (j + 1 < z->height ? z->yTap[j + 1] : k) * z->srcRowStep;
            if (have && k == loaded + 1) {
                float* t = h0;
                h0 = h1;
                h1 = t;
                linearSourceRow(z, src + (k + 1) * z->srcRowStep, h1, ahead + z->srcRowStep,
                                kind);
            } else if (!linearSourceRows(z, src + k * z->srcRowStep,
                                         src + (k + 1) * z->srcRowStep, h0, h1, kind)) {
                linearSourceRow(z, src + k * z->srcRowStep, h0, ahead, kind);
                linearSourceRow(z, src + (k + 1) * z->srcRowStep, h1, ahead + z->srcRowStep,
                                kind);
            }
            loaded = k;
            have = 1;
        }
        char* drow = dst + j * z->dstRowStep;
        /* Growing: the next destination rows between the same source rows
         * are worked together. */
        int n = 1;
        if (direct && kind != K8U && z->vec >= OWN_VECTOR_AVX2)
            while (n < 4 && j + n < z->height && z->yTap[j + n] == k)
                ++n;
        if (n > 1) {
            void* outs[4];
            for (int q = 0; q < n; ++q)
                outs[q] = drow + q * z->dstRowStep;
            const Dim e = ownZoomLinearColumns16u32fAvx2(kind, h0, h1, z->yw + j, outs, n, count);
            for (int q = 0; q < n; ++q) {
                const double w1 = z->yw[j + q], w0 = 1.0 - w1;
                for (Dim i = e; i < count; ++i)
                    storeValue(outs[q], i, w0 * (double)h0[i] + w1 * (double)h1[i], kind);
            }
            j += n - 1;
            continue;
        }
        char* out = direct ? drow : (char*)z->out;
        linearColumn(z, h0, h1, z->yw[j], out, count, kind);
        if (!direct)
            storeRow(z, out, drow, z->mask ? z->mask + j * z->maskStep : NULL, kind);
    }
}

/* ---- Cubic ------------------------------------------------------------------------- */

/* The cubic through f0..f3 (taps base - 1 .. base + 2) at t, by Newton's
 * forward differences, with c1 = t + 1, c2 = (t + 1) t / 2 and
 * c3 = (t + 1) t (t - 1) / 6 precomputed; float arithmetic. */
INLINE float cubicValue(float f0, float f1, float f2, float f3, const float* c)
{
    const float d1 = f1 - f0;
    const float d2 = (f2 - 2.0f * f1) + f0;
    const float d3 = ((f3 - 3.0f * f2) + 3.0f * f1) - f0;
    return ((f0 + c[0] * d1) + c[1] * d2) + c[2] * d3;
}

static void cubicCoefficients(float t, float* c)
{
    const float c1 = t + 1.0f;
    const float p = c1 * t;
    c[0] = c1;
    c[1] = p * 0.5f;
    c[2] = (p * (t - 1.0f)) / 6.0f;
}

INLINE void cubicRow(const ZoomPlan* z, const char* srow, float* h, int kind, Dim from)
{
    const int nch = z->nch, sp = z->srcPix;
    for (Dim i = from; i < z->width; ++i) {
        const Dim s = z->xTap[i];
        const float* c = z->xw + 3 * i;
        for (int ch = 0; ch < nch; ++ch)
            h[i * nch + ch] =
                cubicValue(loadF(srow, s + ch, kind), loadF(srow, s + sp + ch, kind),
                           loadF(srow, s + 2 * sp + ch, kind),
                           loadF(srow, s + 3 * sp + ch, kind), c);
    }
}

#if defined(__SSE2__)
/* cubicValue on four lanes: the same float operations in the same order. */
static inline __m128 cubicVec(__m128 f0, __m128 f1, __m128 f2, __m128 f3, __m128 c1, __m128 c2,
                              __m128 c3)
{
    const __m128 two = _mm_set1_ps(2.0f), three = _mm_set1_ps(3.0f);
    const __m128 d1 = _mm_sub_ps(f1, f0);
    const __m128 d2 = _mm_add_ps(_mm_sub_ps(f2, _mm_mul_ps(two, f1)), f0);
    const __m128 d3 =
        _mm_sub_ps(_mm_add_ps(_mm_sub_ps(f3, _mm_mul_ps(three, f2)), _mm_mul_ps(three, f1)), f0);
    return _mm_add_ps(_mm_add_ps(_mm_add_ps(f0, _mm_mul_ps(c1, d1)), _mm_mul_ps(c2, d2)),
                      _mm_mul_ps(c3, d3));
}

/* The cubic horizontal pass of an 8-bit row over its float span. 3 or 4
 * channels: one pixel per vector, the coefficients broadcast (twelve floats
 * per column); 1 channel: four columns per vector, their windows transposed
 * (the coefficients as three runs of width floats). */
static int cubicRow8uSimd(const ZoomPlan* z, const uint8_t* srow, float* h)
{
    const int nch = z->nch, sp = z->srcPix;
    if (!(nch == 1 && sp == 1) && !((nch == 3 || nch == 4) && sp >= nch && sp <= 4))
        return 0;
    spanToFloat(srow + z->spanFirst, z->span, z->spanCount);
    const float* f = z->span;
    const int* tap = z->spanTap;
    const float* c = z->xw4;
    Dim i = 0;
    if (nch == 1) {
        const Dim w = z->width;
        for (; i + 4 <= w; i += 4) {
            __m128 f0 = _mm_loadu_ps(f + tap[i]), f1 = _mm_loadu_ps(f + tap[i + 1]);
            __m128 f2 = _mm_loadu_ps(f + tap[i + 2]), f3 = _mm_loadu_ps(f + tap[i + 3]);
            _MM_TRANSPOSE4_PS(f0, f1, f2, f3);
            _mm_storeu_ps(h + i, cubicVec(f0, f1, f2, f3, _mm_loadu_ps(c + i),
                                          _mm_loadu_ps(c + w + i), _mm_loadu_ps(c + 2 * w + i)));
        }
        for (; i < w; ++i) {
            const float* p = f + tap[i];
            h[i] = cubicValue(p[0], p[1], p[2], p[3], z->xw + 3 * i);
        }
        return 1;
    }
    for (; i < z->width; ++i) {
        const float* p = f + tap[i];
        const float* ci = c + 12 * i;
        _mm_storeu_ps(h + i * nch,
                      cubicVec(_mm_loadu_ps(p), _mm_loadu_ps(p + sp), _mm_loadu_ps(p + 2 * sp),
                               _mm_loadu_ps(p + 3 * sp), _mm_load_ps(ci), _mm_load_ps(ci + 4),
                               _mm_load_ps(ci + 8)));
    }
    return 1;
}

/* The vertical cubic in float, then what storeValue does: trunc(v + 1e-7)
 * in double is the truncation of v except at 1 - 2^-24, which becomes 1;
 * the packs clamp to 0..255. */
static Dim cubicColumn8uSimd(float* const r[4], const float* c, uint8_t* out, Dim count)
{
    const __m128 c1 = _mm_set1_ps(c[0]), c2 = _mm_set1_ps(c[1]), c3 = _mm_set1_ps(c[2]);
    const __m128 belowOne = _mm_set1_ps(0.99999994f);
    Dim e = 0;
    for (; e + 8 <= count; e += 8) {
        __m128i q[2];
        for (int half = 0; half < 2; ++half) {
            const Dim k = e + 4 * half;
            const __m128 v = cubicVec(_mm_loadu_ps(r[0] + k), _mm_loadu_ps(r[1] + k),
                                      _mm_loadu_ps(r[2] + k), _mm_loadu_ps(r[3] + k), c1, c2, c3);
            q[half] = _mm_sub_epi32(_mm_cvttps_epi32(v),
                                    _mm_castps_si128(_mm_cmpeq_ps(v, belowOne)));
        }
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(q[0], q[1]), _mm_setzero_si128());
        _mm_storel_epi64((__m128i*)(out + e), bytes);
    }
    return e;
}
#endif

/* The horizontal cubic pass of one source row. */
INLINE void cubicSourceRow(const ZoomPlan* z, const char* srow, float* h, int kind)
{
    if (kind == K8U && (z->shuffle.groups || z->shuffle.sparse)) {
        ownZoomCubicRowAvx2(z, (const uint8_t*)srow, h);
        return;
    }
#if defined(__SSE2__)
    if (kind == K8U && z->span && cubicRow8uSimd(z, (const uint8_t*)srow, h))
        return;
#endif
    Dim done = 0;
    if (kind != K8U && z->xw4)
        done = z->vec >= OWN_VECTOR_AVX2 ? ownZoomCubicRow16u32fAvx2(z, srow, h)
                                         : ownZoomCubicRow16u32fSse2(z, srow, h);
    cubicRow(z, srow, h, kind, done);
}

INLINE void cubicPass(ZoomPlan* z, const char* src, char* dst, int kind)
{
    const Dim count = (Dim)z->width * z->nch;
    const int direct = !z->mask && z->dstPix == z->nch;
    float* r[4] = {z->rows[0], z->rows[1], z->rows[2], z->rows[3]};
    Dim loaded = 0;
    int have = 0;
    for (Dim j = 0; j < z->height; ++j) {
        const Dim k = z->yTap[j]; /* first of the four rows */
        const Dim shift = have ? k - loaded : 4;
        if (shift != 0) {
            /* Rows that stay move to the front; the freed buffers take the
             * new rows. */
            const int keep = shift > 0 && shift < 4 ? (int)(4 - shift) : 0;
            float* old[4] = {r[0], r[1], r[2], r[3]};
            for (int q = 0; q < keep; ++q)
                r[q] = old[q + (4 - keep)];
            for (int q = keep; q < 4; ++q)
                r[q] = old[q - keep];
            for (int q = keep; q < 4; ++q)
                cubicSourceRow(z, src + (k + q) * z->srcRowStep, r[q], kind);
            loaded = k;
            have = 1;
        }
        const float* c = z->yw + 3 * j;
        char* drow = dst + j * z->dstRowStep;
        char* out = direct ? drow : (char*)z->out;
        Dim e = 0;
        if (kind == K8U && z->vec >= OWN_VECTOR_AVX2)
            e = ownZoomCubicColumnAvx2(r, c, (uint8_t*)out, count);
        if (kind != K8U && z->vec >= OWN_VECTOR_AVX2)
            e = ownZoomCubicColumn16u32fAvx2(kind, r, c, out, count);
        if (kind != K8U && z->vec >= OWN_VECTOR_SSE2) {
            float* const rest[4] = {r[0] + e, r[1] + e, r[2] + e, r[3] + e};
            e += ownZoomCubicColumn16u32fSse2(kind, rest, c, out + e * elemBytes(kind), count - e);
        }
#if defined(__SSE2__)
        if (kind == K8U && z->vec >= OWN_VECTOR_SSE2) {
            float* const rest[4] = {r[0] + e, r[1] + e, r[2] + e, r[3] + e};
            e += cubicColumn8uSimd(rest, c, (uint8_t*)out + e, count - e);
        }
#endif
        for (; e < count; ++e)
            storeValue(out, e, (double)cubicValue(r[0][e], r[1][e], r[2][e], r[3][e], c), kind);
        if (!direct)
            storeRow(z, out, drow, z->mask ? z->mask + j * z->maskStep : NULL, kind);
    }
}

/* ---- Kernel table ------------------------------------------------------------------- */

typedef void (*ZoomKernel)(ZoomPlan* z);

#define PASSES(z, pass, kind)                                                                 \
    for (int p = 0; p < (z)->planes; ++p)                                                     \
    pass((z), (z)->src + p * (z)->srcPlaneStep, (z)->dst + p * (z)->dstPlaneStep, kind)

static void ownZoomNN_1u(ZoomPlan* z) { nearestPass1u(z); }
static void ownZoomNN_8u_Pixel(ZoomPlan* z) { nearestPass(z, z->src, z->dst, K8U); }
static void ownZoomNN_8u_Plane(ZoomPlan* z) { PASSES(z, nearestPass, K8U); }
static void ownZoomNN_16u_Pixel(ZoomPlan* z) { nearestPass(z, z->src, z->dst, K16U); }
static void ownZoomNN_16u_Plane(ZoomPlan* z) { PASSES(z, nearestPass, K16U); }
static void ownZoomNN_32f_Pixel(ZoomPlan* z) { nearestPass(z, z->src, z->dst, K32F); }
static void ownZoomNN_32f_Plane(ZoomPlan* z) { PASSES(z, nearestPass, K32F); }
static void ownZoomLinear_8u_Pixel(ZoomPlan* z) { linearPass(z, z->src, z->dst, K8U); }
static void ownZoomLinear_8u_Plane(ZoomPlan* z) { PASSES(z, linearPass, K8U); }
static void ownZoomLinear_16u_Pixel(ZoomPlan* z) { linearPass(z, z->src, z->dst, K16U); }
static void ownZoomLinear_16u_Plane(ZoomPlan* z) { PASSES(z, linearPass, K16U); }
static void ownZoomLinear_32f_Pixel(ZoomPlan* z) { linearPass(z, z->src, z->dst, K32F); }
static void ownZoomLinear_32f_Plane(ZoomPlan* z) { PASSES(z, linearPass, K32F); }
static void ownZoomCubic_8u_Pixel(ZoomPlan* z) { cubicPass(z, z->src, z->dst, K8U); }
static void ownZoomCubic_8u_Plane(ZoomPlan* z) { PASSES(z, cubicPass, K8U); }
static void ownZoomCubic_16u_Pixel(ZoomPlan* z) { cubicPass(z, z->src, z->dst, K16U); }
static void ownZoomCubic_16u_Plane(ZoomPlan* z) { PASSES(z, cubicPass, K16U); }
static void ownZoomCubic_32f_Pixel(ZoomPlan* z) { cubicPass(z, z->src, z->dst, K32F); }
static void ownZoomCubic_32f_Plane(ZoomPlan* z) { PASSES(z, cubicPass, K32F); }

static ZoomKernel selectKernel(int method, int kind, int plane)
{
    static const ZoomKernel table[3][3][2] = {
        {{ownZoomNN_8u_Pixel, ownZoomNN_8u_Plane},
         {ownZoomNN_16u_Pixel, ownZoomNN_16u_Plane},
         {ownZoomNN_32f_Pixel, ownZoomNN_32f_Plane}},
        {{ownZoomLinear_8u_Pixel, ownZoomLinear_8u_Plane},
         {ownZoomLinear_16u_Pixel, ownZoomLinear_16u_Plane},
         {ownZoomLinear_32f_Pixel, ownZoomLinear_32f_Plane}},
        {{ownZoomCubic_8u_Pixel, ownZoomCubic_8u_Plane},
         {ownZoomCubic_16u_Pixel, ownZoomCubic_16u_Plane},
         {ownZoomCubic_32f_Pixel, ownZoomCubic_32f_Plane}},
    };
    if (kind == K1U)
        return ownZoomNN_1u;
    return table[method][kind - K8U][plane];
}

/* ---- Tables ------------------------------------------------------------------------- */

/* First tap and weight of one axis for every destination index. offset is
 * the region's offset in the image, size the image's size on this axis, and
 * clipped what the source mask cut off the region. Every tap lies inside the
 * image. */
static void axisTable(int method, int nonIntegral, double start, double step, int count,
                      int offset, int size, int clipped, int* tap, float* weight)
{
    const Dim lo = -(Dim)offset, hi = (Dim)size - offset - 1; /* the image, region-relative */
    /* The index counts as a double of its own: converting i each time would
     * wait on the previous entry's register. */
    double di = 0.0;
    if (method == QIM_INTER_NN) {
        const double half = nonIntegral ? 0.5 : 0.0;
        for (int i = 0; i < count; ++i, di += 1.0) {
            const double c = start + di * step;
            const Dim k = (Dim)(c + half + 1e-7);
            tap[i] = (int)(k < lo ? lo : k > hi ? hi : k);
        }
        return;
    }
    if (method == QIM_INTER_LINEAR) {
        for (int i = 0; i < count; ++i, di += 1.0) {
            const double c = start + di * step;
            Dim k = (Dim)(c + 1e-7);
            float w;
            if (k == hi - clipped) {
                k -= 1;
                w = 1.0f;
            } else {
                w = (float)(c - (double)k);
            }
            if (k + 1 > hi) { /* never read past the image */
                k = hi - 1;
                w = 1.0f;
            }
            if (k < lo) {
                k = lo;
                w = 0.0f;
            }
            tap[i] = (int)k;
            weight[i] = w;
        }
        return;
    }
    for (int i = 0; i < count; ++i, di += 1.0) {
        const double c = start + di * step;
        Dim k = (Dim)(c + 1e-7);
        if (k < lo)
            k = lo;
        if (k > hi)
            k = hi;
        const Dim a = offset + k; /* position in the whole image */
        Dim base = k;
        if (a == size - 1)
            base = k - 2;
        else if (a == 0)
            base = k + 1;
        else if (a == size - 2)
            base = k - 1;
        tap[i] = (int)(base - 1);
        cubicCoefficients((float)(c - (double)base), weight + 3 * i);
    }
}

/* ---- Core --------------------------------------------------------------------------- */

/* trunc(v + 1e-7) as an int, at least 1 and at most limit (v may be far
 * beyond the int range for extreme ratios). */
static int truncWithin(double v, int limit)
{
    const double r = v + 1e-7;
    if (!(r < (double)limit))
        return limit;
    return r < 1 ? 1 : (int)r;
}

typedef struct {
    int x, y, width, height;
} Region;

/* The ROI cut at the image (or the whole image); 0 when its offset lies
 * outside the image. */
static int regionOf(const QimImage* image, Region* r)
{
    r->x = r->y = 0;
    r->width = image->width;
    r->height = image->height;
    const QimRoi* roi = image->roi;
    if (!roi)
        return 1;
    if (roi->offsetX >= image->width || roi->offsetY >= image->height)
        return 0;
    r->x = roi->offsetX;
    r->y = roi->offsetY;
    r->width = roi->width < image->width - r->x ? roi->width : image->width - r->x;
    r->height = roi->height < image->height - r->y ? roi->height : image->height - r->y;
    return r->width > 0 && r->height > 0;
}

static int processedChannels(const QimImage* image)
{
    if (image->roi && image->roi->coi > 0)
        return 1;
    return image->nChannels - (image->alphaIndex ? 1 : 0);
}

static int channelIndex(const QimImage* image)
{
    return image->roi && image->roi->coi > 0 ? image->roi->coi - 1 : 0;
}

static int kindOf(int depth)
{
    switch (depth) {
    case QIM_DEPTH_1U: return K1U;
    case QIM_DEPTH_8U: return K8U;
    case QIM_DEPTH_16U: return K16U;
    default: return K32F;
    }
}

/* Bytes of the call's work memory on its stack: enough for the tables of
 * calls that take a few microseconds, where the heap's cost would show. */
enum { ZOOM_STACK_BYTES = 16384 };

/* A 32-byte-aligned block of the work memory, or null when memory runs out
 * (or for 0 bytes). */
static void* workAlloc(ZoomWork* w, long long bytes)
{
    if (bytes <= 0 || bytes > (long long)(SIZE_MAX / 2))
        return NULL;
    const long long rounded = (bytes + 31) & ~31LL;
    if (rounded <= w->end - w->at) {
        void* p = w->at;
        w->at += rounded;
        return p;
    }
    return aligned_alloc(32, (size_t)rounded);
}

/* Frees a block from the heap; one from the stack goes back with its part. */
static void workFree(ZoomWork* w, void* p)
{
    const uintptr_t a = (uintptr_t)p;
    if (p && !(a >= (uintptr_t)w->base && a < (uintptr_t)w->end))
        free(p);
}

/* One aligned block cut into n arrays of the given bytes, each starting on
 * a 32-byte boundary (an array of 0 bytes gets a null pointer): a call's
 * many small tables cost one allocation. Null when memory runs out, or when
 * every array is empty. n is at most 8. */
static void* carveBlock(ZoomWork* w, const long long* bytes, void** parts, int n)
{
    /* The offsets as a running sum: a sum the compiler turns into vector
     * loads of the sizes just stored one by one waits for those stores. */
    long long at[8], total = 0;
    for (int k = 0; k < n; ++k) {
        at[k] = total;
        total += (bytes[k] + 31) & ~31LL;
    }
    char* block = total > 0 ? (char*)workAlloc(w, total) : NULL;
    int k = 0;
#if defined(__SSE2__) && defined(__x86_64__)
    /* The parts stored in pairs: the callers copy neighbouring parts into
     * their fields as pairs, which would wait for single stores. */
    for (; k + 2 <= n; k += 2) {
        const long long p0 = block && bytes[k] ? (long long)(block + at[k]) : 0;
        const long long p1 = block && bytes[k + 1] ? (long long)(block + at[k + 1]) : 0;
        _mm_storeu_si128((__m128i*)(parts + k), _mm_set_epi64x(p1, p0));
    }
#endif
    for (; k < n; ++k)
        parts[k] = block && bytes[k] ? block + at[k] : NULL;
    return block;
}

/* Hands the tables back; a second call frees nothing more. */
static void freeShuffle(ZoomWork* w, ZoomShuffle* s)
{
    workFree(w, s->block);
    workFree(w, s->packed);
    workFree(w, s->packTap);
    workFree(w, s->sparseWeight);
    s->block = s->packed = NULL;
    s->packTap = NULL;
    s->sparseWeight = NULL;
}

static int allocShuffle(ZoomWork* w, ZoomShuffle* s, Dim groups, Dim maskBytes, Dim weights)
{
    const long long bytes[8] = {(long long)sizeof(int32_t) * 2 * groups, maskBytes * groups,
                                8 * groups, groups, (long long)sizeof(float) * weights * groups,
                                groups, (long long)sizeof(Dim) * groups, groups};
    void* parts[8];
    s->block = carveBlock(w, bytes, parts, 8);
    s->off = (int32_t*)parts[0];
    s->mask = (uint8_t*)parts[1];
    s->index = (uint8_t*)parts[2];
    s->count = (uint8_t*)parts[3];
    s->weight = (float*)parts[4];
    s->groupKind = (uint8_t*)parts[5];
    s->runEnd = (Dim*)parts[6];
    s->runKind = (uint8_t*)parts[7];
    return s->block != NULL;
}

static void freePlan(ZoomPlan* z)
{
    workFree(z->work, z->block);
    workFree(z->work, z->span);
    workFree(z->work, z->spanTap);
    workFree(z->work, z->xw4);
    workFree(z->work, z->strided);
    workFree(z->work, z->halfWeight);
    freeShuffle(z->work, &z->shuffle);
}

static int raiseNoMemory(const char* context)
{
    ownRaiseError(QIM_STATUS_NO_MEMORY, FN, context, SRC, __LINE__);
    return QIM_STATUS_NO_MEMORY;
}

static void releaseTemp(QimImage* temp)
{
    if (temp)
        qimDeallocate(temp, QIM_FREE_ALL);
}

/* Everything one call computes once: the regions, the written size, the
 * write mask and the tables of every written column and row, whose taps
 * count source pixels from the source region's corner. Tiles only choose
 * which slice of the tables a part runs, so a tiled image gives the same
 * pixels as an untiled one. */
typedef struct {
    const QimImage* src;
    QimImage* dst;
    int method, kind, plane, coef;
    Region rs, rd;
    int ww, wh;
    int nch, planes; /* as in ZoomPlan */
    int sc, dc;      /* channel index of the source and destination */
    int* xTap;
    float* xw;
    int* yTap;
    float* yw;
    const QimImage* writeMask;
    int maskX, maskY;
    ZoomWork* work;
} ZoomCall;

/* Where a part reads its source: origin is the element of channel sc at
 * image pixel (originX, originY) (for 1U the start of row originY, with
 * originX 0), rows rowStep bytes apart, planes planeStep; rowRight bytes
 * from origin may be read in every row. */
typedef struct {
    const char* origin;
    Dim rowStep, planeStep;
    int originX, originY;
    Dim rowRight;
} SourceView;

/* The destination of a part: origin is its first pixel (channel dc), for 1U
 * the start of its first row with the pixel at bit bit0. */
typedef struct {
    char* origin;
    Dim rowStep, planeStep;
    int bit0;
} DestView;

/* The weights of the linear and cubic rows laid out for whole vectors
 * (see ZoomPlan). 0 when memory runs out. */
static int layoutWeights(ZoomPlan* z, int method)
{
    const int ww = z->width;
    z->xw4 = (float*)workAlloc(z->work, (long long)sizeof(float) * 12 * ww);
    if (!z->xw4)
        return 0;
    float* w4 = z->xw4;
    for (int i = 0; i < ww; ++i) {
        if (method == QIM_INTER_LINEAR) {
            for (int q = 0; q < 4; ++q)
                w4[4 * i + q] = z->xw[i];
        } else if (z->nch == 1) {
            for (int q = 0; q < 3; ++q)
                w4[q * ww + i] = z->xw[3 * i + q];
        } else {
            for (int q = 0; q < 12; ++q)
                w4[12 * i + q] = z->xw[3 * i + q / 4];
        }
    }
    return 1;
}

/* The vector layout of the 8-bit linear and cubic rows: the elements the
 * taps read, converted once per source row, and the weights. 0 when memory
 * runs out. */
static int prepareSpan(ZoomPlan* z, int method)
{
    const int ww = z->width;
    const int taps = method == QIM_INTER_CUBIC ? 4 : 2;
    Dim lo = z->xTap[0], hi = z->xTap[0];
    for (int i = 1; i < ww; ++i) {
        lo = z->xTap[i] < lo ? z->xTap[i] : lo;
        hi = z->xTap[i] > hi ? z->xTap[i] : hi;
    }
    z->spanFirst = lo;
    z->spanCount = hi + (Dim)(taps - 1) * z->srcPix + z->nch - lo;
    z->span = (float*)workAlloc(z->work, (long long)sizeof(float) * 2 * (z->spanCount + 8));
    z->spanTap = (int*)workAlloc(z->work, (long long)sizeof(int) * ww);
    if (!z->span || !z->spanTap || !layoutWeights(z, method))
        return 0;
    /* The vectors may read a few floats past the span: keep them 0. */
    memset(z->span, 0, sizeof(float) * 2 * (size_t)(z->spanCount + 8));
    /* Single channels always convert the span; whole pixels do while the
     * linear taps are dense (steps up to two pixels). */
    z->spanDense = method == QIM_INTER_CUBIC || z->nch == 1 ||
                   z->spanCount <= 2 * (Dim)ww * z->srcPix;
    for (int i = 0; i < ww; ++i)
        z->spanTap[i] = (int)(z->xTap[i] - lo);
    return 1;
}

/* The leading columns whose `bytes` bytes from the first tap may be read. */
static Dim columnsWithin(const ZoomPlan* z, Dim bytes)
{
    const Dim eb = elemBytes(z->kind);
    Dim i = 0;
    while (i < z->width && (Dim)z->xTap[i] * eb + bytes <= z->srcRight)
        ++i;
    return i;
}

/* The vector layout of the 16-bit and float linear and cubic rows: the
 * weights, and the columns whose taps' four-element loads stay in the row
 * (a pixel of 3 channels reads one element beyond each tap). */
static int prepareRows16u32f(ZoomPlan* z, int method)
{
    const int taps = method == QIM_INTER_CUBIC ? 4 : 2;
    z->loadable = columnsWithin(z, ((Dim)(taps - 1) * z->srcPix + 4) * elemBytes(z->kind));
    if (z->vec >= OWN_VECTOR_AVX2 && method == QIM_INTER_LINEAR && z->nch == 1 && z->srcPix == 1) {
        /* The groups of eight columns whose taps are sixteen elements in a
         * row (halving), read as two vectors. */
        const Dim groups = (Dim)z->width / 8;
        Dim found = 0;
        z->strided = (uint8_t*)workAlloc(z->work, groups + 1);
        if (!z->strided)
            return 0;
        for (Dim g = 0; g < groups; ++g) {
            int run = 1;
            for (int q = 1; q < 8 && run; ++q)
                run = z->xTap[8 * g + q] == z->xTap[8 * g] + 2 * q;
            z->strided[g] = (uint8_t)run;
            found += run;
        }
        if (!found) {
            workFree(z->work, z->strided);
            z->strided = NULL;
        }
    }
    return layoutWeights(z, method);
}

/* Nearest neighbour by byte shuffles: whole pixels (pixel order with no
 * channel skipped, or one plane) gathered into groups whose source bytes lie
 * within 16 bytes that may be read, and whose 16-byte store ends before the
 * row does. The pixels after the last group are copied one by one. Returns
 * 0 when memory runs out. */
static int nearestShuffle(ZoomPlan* z)
{
    ZoomShuffle* s = &z->shuffle;
    const Dim eb = elemBytes(z->kind), pb = z->nch * eb, rowBytes = (Dim)z->width * pb;
    if (pb > 16 || rowBytes < 32 || z->srcRight < 16)
        return 1;
    /* Fewer than four pixels a window (three steps and a pixel take more
     * than sixteen bytes: shrinking by about four or more): loading the
     * pixels one by one into a vector takes fewer instructions. */
    const Dim steps = (Dim)z->width - 1, span = ((Dim)z->xTap[steps] - z->xTap[0]) * eb;
    const int loadable = pb == 1 || pb == 2 || pb == 4 || (pb == 3 && eb == 1);
    if (3 * span + pb * steps > 16 * steps) {
        if (loadable) {
            s->sparse = SPARSE_NEAREST;
            s->whole = columnsWithin(z, pb == 3 ? 4 : pb);
        } else {
            /* One pixel a window: the pixels are moved one by one. */
            const Dim copy = pb <= 8 ? 8 : 16;
            z->aheadSparse = 1;
            s->whole = columnsWithin(z, copy);
            if (s->whole * pb > rowBytes - copy)
                s->whole = (rowBytes - copy) / pb;
        }
        return 1;
    }
    if (!allocShuffle(z->work, s, z->width, 16, 8)) {
        freeShuffle(z->work, s);
        return 0;
    }
    Dim i = 0, out = 0, g = 0;
    while (i < z->width && out + 16 <= rowBytes) {
        Dim start = (Dim)z->xTap[i] * eb;
        if (start + 16 > z->srcRight)
            start = z->srcRight - 16;
        Dim k = i, lo = (Dim)z->xTap[i] * eb;
        while (k < z->width && (k - i + 1) * pb <= 16) {
            const Dim t = (Dim)z->xTap[k] * eb;
            if (t < start || t + pb > start + 16)
                break;
            lo = t < lo ? t : lo;
            ++k;
        }
        if (k == i || start < 0 || lo < start)
            break;
        uint8_t* mask = s->mask + 16 * g;
        memset(mask, 0x80, 16);
        for (Dim b = 0; b < (k - i) * pb; ++b)
            mask[b] = (uint8_t)((Dim)z->xTap[i + b / pb] * eb + b % pb - start);
        s->off[g] = (int32_t)start;
        s->count[g] = (uint8_t)((k - i) * pb);
        out += (k - i) * pb;
        i = k;
        ++g;
    }
    s->groups = g;
    s->covered = i;
    return 1;
}

/* The row that the tap groups read: the source row (its taps xTap) or the
 * packed one; right bytes of it may be read. */
typedef struct {
    const int* tap;
    Dim right;
} TapRow;

/* Where a window of 16 bytes that holds bytes lo .. hi may start: at lo,
 * or earlier so that it ends where the row may be read; -1 when neither. */
static Dim windowStart(const TapRow* row, Dim lo, Dim hi)
{
    const Dim start = lo + 16 > row->right ? row->right - 16 : lo;
    return start >= 0 && hi - start < 16 ? start : -1;
}

/* The windows that a group's taps fit: for each kind, the start of the
 * window of each lane, or -1 when the kind does not fit. */
typedef struct {
    Dim tap[8];
    Dim column[8]; /* each element's */
    Dim start[GROUP_SCALAR][2];
} GroupWindows;

static void groupWindows(const ZoomPlan* z, const TapRow* row, Dim g, int taps, GroupWindows* w)
{
    const Dim sp = z->srcPix, reach = (taps - 1) * sp, nch = z->nch;
    Dim lo[2] = {0, 0}, hi[2] = {0, 0};
    /* The elements' columns and channels counted on: a division per
     * element would cost a call more than its rows do when they are few. */
    Dim column = 8 * g / nch, channel = 8 * g - column * nch;
    for (int k = 0; k < 8; ++k) {
        const Dim lane = k / 4;
        const Dim t = row->tap[column] + channel;
        w->tap[k] = t;
        w->column[k] = column;
        if (++channel == nch) {
            channel = 0;
            ++column;
        }
        lo[lane] = k % 4 == 0 || t < lo[lane] ? t : lo[lane];
        hi[lane] = k % 4 == 0 || t > hi[lane] ? t : hi[lane];
    }
    const Dim shared =
        windowStart(row, lo[0] < lo[1] ? lo[0] : lo[1], (hi[0] > hi[1] ? hi[0] : hi[1]) + reach);
    for (int lane = 0; lane < 2; ++lane) {
        w->start[GROUP_SHARED_WINDOW][lane] = shared;
        w->start[GROUP_ONE_WINDOW][lane] = windowStart(row, lo[lane], hi[lane] + reach);
        /* One window per tap, sp apart: the last must fit as well. */
        const Dim last = windowStart(row, lo[lane] + reach, hi[lane] + reach);
        w->start[GROUP_TAP_WINDOWS][lane] =
            last < 0 || last - reach < 0 || lo[lane] < last - reach ? -1 : last - reach;
    }
}

/* Element by element fits every group. */
static int groupFits(const GroupWindows* w, int kind)
{
    return kind == GROUP_SCALAR || (w->start[kind][0] >= 0 && w->start[kind][1] >= 0);
}

/* How many of the groups fit each kind of window (fitting[GROUP_SCALAR]:
 * those that fit a window of some kind), counted on at most 64 groups
 * spread over the row and scaled to all: the counts only choose among ways
 * to the same result, and the taps follow one step. */
static void countFitting(const ZoomPlan* z, const TapRow* row, int taps, Dim fitting[])
{
    const Dim groups = (Dim)z->width * z->nch / 8;
    const Dim every = groups > 64 ? groups / 64 : 1;
    for (int kind = 0; kind <= GROUP_SCALAR; ++kind)
        fitting[kind] = 0;
    for (Dim g = 0; g < groups; g += every) {
        GroupWindows w;
        groupWindows(z, row, g, taps, &w);
        int any = 0;
        for (int kind = 0; kind < GROUP_SCALAR; ++kind) {
            fitting[kind] += groupFits(&w, kind);
            any |= groupFits(&w, kind);
        }
        fitting[GROUP_SCALAR] += any;
    }
    for (int kind = 0; kind <= GROUP_SCALAR; ++kind)
        fitting[kind] *= every;
}

/* Packs the rows when more than a tenth of the groups would otherwise be
 * read element by element (see ZoomShuffle): each column's taps span
 * (taps - 1) srcPix + nch bytes, at most 16. Returns 0 when memory runs
 * out; leaves the source row in place when packing does not apply. */
static int packedTaps(ZoomPlan* z, int taps, const Dim fitting[], TapRow* row)
{
    ZoomShuffle* s = &z->shuffle;
    const Dim groups = (Dim)z->width * z->nch / 8;
    const Dim span = (Dim)(taps - 1) * z->srcPix + z->nch;
    if (fitting[GROUP_SCALAR] * 10 >= groups * 9 || span > 16)
        return 1;
    s->stride = span;
    s->copy = span <= 2 ? 2 : span <= 4 ? 4 : span <= 8 ? 8 : 16;
    /* The last copy and the last window reach at most 16 bytes past the
     * columns; zeroed, so that no window reads undefined bytes. */
    const Dim bytes = (Dim)z->width * span + 32;
    s->packed = (uint8_t*)workAlloc(z->work, bytes);
    s->packTap = (int*)workAlloc(z->work, (long long)sizeof(int) * z->width);
    if (!s->packed || !s->packTap)
        return 0;
    memset(s->packed, 0, (size_t)bytes);
    for (int i = 0; i < z->width; ++i)
        s->packTap[i] = (int)(i * span);
    row->tap = s->packTap;
    row->right = bytes - 16;
    return 1;
}

/* Sparse linear (2 taps) or cubic (4 taps) taps of the layouts that read
 * each column straight into the vectors (see SPARSE_*). Returns 1 when
 * chosen, 0 when memory runs out, -1 when the layout is not one of them. */
static int sparseTaps(ZoomPlan* z, int taps)
{
    ZoomShuffle* s = &z->shuffle;
    const int sp = z->srcPix, nch = z->nch;
    if (taps == 4) {
        if (nch != 1 || sp != 1)
            return -1;
        s->sparseWeight = (float*)workAlloc(z->work, (long long)sizeof(float) * 3 * z->width);
        if (!s->sparseWeight)
            return 0;
        for (int i = 0; i < z->width; ++i)
            for (int q = 0; q < 3; ++q)
                s->sparseWeight[q * z->width + i] = z->xw[3 * i + q];
        s->sparse = SPARSE_CUBIC_SINGLE;
        s->whole = columnsWithin(z, 4);
        return 1;
    }
    if (nch == 1 && sp <= 3) {
        s->sparse = SPARSE_LINEAR_SINGLE;
        s->whole = columnsWithin(z, 4);
        return 1;
    }
    if (nch == 4 && sp == 4) {
        const Dim count = (Dim)z->width * nch;
        s->sparseWeight = (float*)workAlloc(z->work, (long long)sizeof(float) * count);
        if (!s->sparseWeight)
            return 0;
        for (Dim e = 0; e < count; ++e)
            s->sparseWeight[e] = z->xw[e / 4];
        s->sparse = SPARSE_LINEAR_PIXELS;
        s->whole = columnsWithin(z, 8);
        /* Columns about four pixels apart read every line of their rows:
         * from a source larger than the caches, the rows the next
         * destination row reads are fetched on the way. Sparser columns,
         * or a source the caches hold, gain nothing from it. */
        const Dim last = (Dim)z->width - 1, rows = (Dim)z->yTap[z->height - 1] - z->yTap[0] + 2;
        s->fetchAhead = (Dim)z->xTap[last] - z->xTap[0] <= 18 * last &&
                        rows * z->srcRowStep > ((Dim)8 << 20);
        return 1;
    }
    if (nch == 3 && sp <= 4) {
        const Dim count = (Dim)z->width * nch;
        s->sparseWeight = (float*)workAlloc(z->work, (long long)sizeof(float) * count);
        if (!s->sparseWeight)
            return 0;
        for (Dim e = 0; e < count; ++e)
            s->sparseWeight[e] = z->xw[e / nch];
        /* Vector v of eight pixels holds elements 8 v .. 8 v + 7; pixel P is
         * the low (even P) or high half of pair P / 2. */
        for (int v = 0; v < 3; ++v) {
            uint8_t* first = s->rgbPick + 32 * v;
            uint8_t* second = first + 16;
            memset(first, 0x80, 32);
            for (int q = 0; q < 8; ++q) {
                const int e = 8 * v + q, pixel = e / 3;
                const int at = (pixel % 2) * 8 + e % 3;
                uint8_t* pick = pixel / 2 == (8 * v) / 3 / 2 ? first : second;
                pick[q] = (uint8_t)at;
                pick[8 + q] = (uint8_t)(at + sp);
            }
        }
        s->sparse = SPARSE_LINEAR_PIXELS;
        s->whole = columnsWithin(z, 8);
        return 1;
    }
    return -1;
}

/* Gives the kind GROUP_HALVED to the groups of each block whose columns'
 * taps are each pixel and the next, the columns two pixels apart (halving):
 * blocks of two groups (sixteen elements, 32 bytes of taps) in 1 and 4
 * channels, of three groups (eight columns, 48 bytes of taps, windows
 * reaching to byte 52) in 3 channels. */
static void halvedBlocks(ZoomPlan* z)
{
    ZoomShuffle* s = &z->shuffle;
    const int per = z->nch == 3 ? 3 : 2;
    const Dim blocks = s->groups / per, columns = 8 * per / z->nch;
    for (Dim b = 0; b < blocks; ++b) {
        const int* tap = z->xTap + b * columns;
        int run = z->nch != 3 || tap[0] + 52 <= z->srcRight;
        for (Dim q = 1; q < columns && run; ++q)
            run = tap[q] == tap[0] + 2 * q * z->nch;
        for (int q = 0; q < per && run; ++q)
            s->groupKind[per * b + q] = GROUP_HALVED;
    }
}

/* Halving rows (8U linear of 1, 3 or 4 whole channels, AVX2): the leading
 * columns whose taps are each pixel and the next, the columns two pixels
 * apart, in blocks of 16 elements (1 and 4 channels, 32 bytes of taps) or
 * 24 (3 channels, 48 bytes) that the row may read; the weights laid out as
 * the blocks' vectors hold their elements (see ownZoomHalfAvx2). Returns 0
 * when memory runs out. */
static int prepareHalf(ZoomPlan* z)
{
    const int nch = z->nch;
    const Dim block = nch == 1 ? 16 : nch == 4 ? 4 : 8, reach = nch == 3 ? 48 : 32;
    Dim run = 1;
    while (run < z->width && z->xTap[run] == z->xTap[0] + 2 * run * nch)
        ++run;
    while (run >= block && z->xTap[run - block] + reach > z->srcRight)
        --run;
    /* The columns after the run go through the portable kernel: when they
     * are many (a ratio near a half, whose taps drift off the even pixels),
     * the rows go the usual way instead. */
    const Dim rest = z->width - run;
    if (run < block || (rest > 16 && rest * 8 > z->width))
        return 1;
    const Dim blocks = (run + block - 1) / block, per = block * nch;
    z->halfWeight = (float*)workAlloc(z->work, (long long)sizeof(float) * blocks * per);
    if (!z->halfWeight)
        return 0;
    for (Dim b = 0; b < blocks; ++b) {
        /* The last block ends at the run's end. */
        const Dim first = b + 1 < blocks ? b * block : run - block;
        for (Dim e = 0; e < per; ++e) {
            /* Element e's column: lane l of vector v (of eight). */
            const Dim v = e / 8, l = e % 8;
            const Dim column = nch == 1 ? l / 4 * 8 + v * 4 + l % 4
                               : nch == 4 ? l / 4 * 2 + v
                                          : e / 3;
            z->halfWeight[b * per + e] = z->xw[first + column];
        }
    }
    z->halfColumns = run;
    return 1;
}

/* The 8-bit linear (2 taps) or cubic (4 taps) rows by byte shuffles: eight
 * elements a group (see ZoomShuffle), with the linear weight or the three
 * cubic coefficients of each element. The cheapest kind that fits nearly
 * every group is used wherever it fits, so that the kinds come in few, long
 * runs. Returns 0 when memory runs out. */
static int tapShuffle(ZoomPlan* z, int taps)
{
    ZoomShuffle* s = &z->shuffle;
    const Dim count = (Dim)z->width * z->nch, groups = count / 8;
    const int coefs = taps == 4 ? 3 : 1;
    if (groups == 0)
        return 1;
    /* Whole pixels of 4 channels more than a pixel apart (shrinking): each
     * column's eight bytes read straight, with no windows to plan. */
    if (taps == 2 && z->nch == 4 && z->srcPix == 4 &&
        (Dim)z->xTap[z->width - 1] - z->xTap[0] > 4 * ((Dim)z->width - 1))
        return sparseTaps(z, taps);
    TapRow row = {z->xTap, z->srcRight};
    Dim fitting[GROUP_SCALAR + 1];
    countFitting(z, &row, taps, fitting);
    if (fitting[GROUP_SCALAR] * 10 < groups * 9)
        switch (sparseTaps(z, taps)) {
        case 0: return 0;
        case 1: return 1;
        default: break;
        }
    if (!allocShuffle(z->work, s, groups, 0, 8 * coefs) || !packedTaps(z, taps, fitting, &row)) {
        freeShuffle(z->work, s);
        return 0;
    }
    if (s->stride)
        countFitting(z, &row, taps, fitting);
    s->taps = taps;
    int preferred = GROUP_TAP_WINDOWS;
    for (int kind = GROUP_ONE_WINDOW; kind >= GROUP_SHARED_WINDOW; --kind)
        if (fitting[kind] * 10 >= groups * 9)
            preferred = kind;
    for (Dim g = 0; g < groups; ++g) {
        GroupWindows w;
        groupWindows(z, &row, g, taps, &w);
        int kind = preferred;
        for (int other = GROUP_SHARED_WINDOW; !groupFits(&w, kind) && other <= GROUP_SCALAR;
             ++other)
            kind = other;
        s->groupKind[g] = (uint8_t)kind;
        /* Coefficient q of element k at weight[8 (coefs g + q) + k]. */
        for (int k = 0; k < 8; ++k)
            for (int q = 0; q < coefs; ++q)
                s->weight[8 * (coefs * g + q) + k] = z->xw[coefs * w.column[k] + q];
        if (kind == GROUP_SCALAR)
            continue;
        s->off[2 * g] = (int32_t)w.start[kind][0];
        s->off[2 * g + 1] = (int32_t)w.start[kind][1];
        for (int k = 0; k < 8; ++k)
            s->index[8 * g + k] = (uint8_t)(w.tap[k] - w.start[kind][k / 4]);
    }
    s->groups = groups;
    if (taps == 2 && !s->stride && z->nch != 2 && z->nch <= 4 && z->srcPix == z->nch)
        halvedBlocks(z);
    s->runs = 0;
    for (Dim g = 0; g < groups; ++g) {
        if (s->runs && s->runKind[s->runs - 1] == s->groupKind[g]) {
            s->runEnd[s->runs - 1] = g + 1;
            continue;
        }
        s->runKind[s->runs] = s->groupKind[g];
        s->runEnd[s->runs++] = g + 1;
    }
    return 1;
}

/* Runs the kernel over written columns px0 .. px0 + pw - 1 and rows py0 ..
 * py0 + ph - 1 of the call. Returns 0 or the status raised. */
static int zoomPart(const ZoomCall* c, int px0, int py0, int pw, int ph, const SourceView* s,
                    const DestView* d)
{
    ZoomPlan z;
    zeroFields(&z, sizeof z);
    z.work = c->work;
    char* const mark = c->work->at; /* the part's tables go back at its end */
    z.kind = c->kind;
    z.width = pw;
    z.height = ph;
    z.nch = c->nch;
    z.planes = c->planes;
    z.src = s->origin;
    z.srcRowStep = s->rowStep;
    z.srcPlaneStep = s->planeStep;
    z.srcRight = s->rowRight;
    z.srcPix = c->kind == K1U || c->plane ? 1 : c->src->nChannels;
    z.dst = d->origin;
    z.dstRowStep = d->rowStep;
    z.dstPlaneStep = d->planeStep;
    z.dstPix = c->kind == K1U || c->plane ? 1 : c->dst->nChannels;
    z.dstBit0 = d->bit0;
    z.vec = ownVectorLevel();
    z.xw = c->xw + (Dim)px0 * c->coef;
    z.yw = c->yw + (Dim)py0 * c->coef;
    if (c->writeMask) {
        z.maskStep = c->writeMask->widthStep;
        z.mask = (const uint8_t*)c->writeMask->imageData + (Dim)(c->maskY + py0) * z.maskStep;
        z.maskX0 = c->maskX + px0;
    }
    const int nRows = c->method == QIM_INTER_CUBIC ? 4 : c->method == QIM_INTER_LINEAR ? 2 : 0;
    const long long rowFloats = (long long)pw * z.nch + 8;
    /* The taps (the call's own where they count from the same origin in
     * the same units), the row buffers and the row of results. */
    const int dx = c->rs.x - s->originX, dy = c->rs.y - s->originY;
    const int ownX = dx != 0 || z.srcPix != 1, ownY = dy != 0;
    long long bytes[7] = {ownX ? (long long)sizeof(int) * pw : 0,
                          ownY ? (long long)sizeof(int) * ph : 0};
    for (int q = 0; q < nRows; ++q)
        bytes[2 + q] = (long long)sizeof(float) * rowFloats;
    bytes[6] = nRows ? rowFloats * 4 : 0;
    void* parts[7];
    z.block = carveBlock(z.work, bytes, parts, 7);
    z.xTap = ownX ? (int*)parts[0] : c->xTap + px0;
    z.yTap = ownY ? (int*)parts[1] : c->yTap + py0;
    for (int q = 0; q < 4; ++q)
        z.rows[q] = (float*)parts[2 + q];
    z.out = parts[6];
    int ok = z.block || (!ownX && !ownY && !nRows);
    if (ok) {
        if (ownX)
            for (int i = 0; i < pw; ++i)
                z.xTap[i] = (c->xTap[px0 + i] + dx) * z.srcPix;
        if (ownY)
            for (int j = 0; j < ph; ++j)
                z.yTap[j] = c->yTap[py0 + j] + dy;
        const int avx2 = z.vec >= OWN_VECTOR_AVX2;
        if (avx2 && c->method == QIM_INTER_NN && z.kind != K1U && z.srcPix == z.nch &&
            z.dstPix == z.nch && !z.mask)
            ok = nearestShuffle(&z);
        else if (avx2 && c->method != QIM_INTER_NN && z.kind == K8U) {
            ok = tapShuffle(&z, c->method == QIM_INTER_CUBIC ? 4 : 2);
            if (ok && c->method == QIM_INTER_LINEAR && ownHasFma() &&
                (z.nch == 1 || z.nch == 3 || z.nch == 4) && z.srcPix == z.nch &&
                z.dstPix == z.nch && !z.mask)
                ok = prepareHalf(&z);
        } else if (z.kind == K8U && c->method != QIM_INTER_NN && (z.nch == 1 || z.nch >= 3) &&
                 z.vec >= OWN_VECTOR_SSE2)
            ok = prepareSpan(&z, c->method);
        else if ((z.kind == K16U || z.kind == K32F) && c->method != QIM_INTER_NN &&
                 z.vec >= OWN_VECTOR_SSE2)
            ok = prepareRows16u32f(&z, c->method);
    }
    if (ok)
        selectKernel(c->method, z.kind, c->plane)(&z);
    freePlan(&z);
    c->work->at = mark;
    return ok ? 0 : raiseNoMemory("for interpolation tables");
}

/* The source view of an untiled image. */
static SourceView plainSource(const ZoomCall* c)
{
    const QimImage* src = c->src;
    const Dim eb = c->kind == K1U ? 0 : elemBytes(c->kind);
    SourceView s;
    s.rowStep = src->widthStep;
    s.originY = c->rs.y;
    const char* row = (const char*)src->imageData + (Dim)c->rs.y * src->widthStep;
    Dim into; /* bytes from the row's start to the origin */
    if (c->kind == K1U) {
        s.planeStep = 0;
        s.originX = 0;
        into = 0;
    } else if (c->plane) {
        s.planeStep = (Dim)src->height * src->widthStep;
        s.originX = c->rs.x;
        row += c->sc * s.planeStep;
        into = c->rs.x * eb;
    } else {
        s.planeStep = 0;
        s.originX = c->rs.x;
        into = ((Dim)c->rs.x * src->nChannels + c->sc) * eb;
    }
    s.origin = row + into;
    s.rowRight = src->widthStep - into;
    return s;
}

/* The source view of a rectangle copied from a tiled image: image columns
 * x0 .. x0 + width - 1, rows y0 .. y0 + height - 1. */
static SourceView rectSource(const ZoomCall* c, const void* rect, int rowBytes, int x0, int y0,
                             int height)
{
    const Dim eb = c->kind == K1U ? 0 : elemBytes(c->kind);
    SourceView s;
    s.rowStep = rowBytes;
    s.planeStep = c->plane ? (Dim)rowBytes * height : 0;
    s.originX = x0; /* 1U too: bit 0 of each rectangle row is image column x0 */
    s.originY = y0;
    const Dim into = c->kind == K1U || c->plane ? 0 : c->sc * eb;
    s.origin = (const char*)rect + (c->plane ? c->sc * s.planeStep : 0) + into;
    s.rowRight = rowBytes - into;
    return s;
}

/* Runs a part whose source is read from a tiled image through one copied
 * rectangle: the image columns and rows that the part's taps reach. */
static int zoomPartFromTiles(const ZoomCall* c, int px0, int py0, int pw, int ph, const DestView* d)
{
    const int reach = c->method == QIM_INTER_CUBIC ? 3 : c->method == QIM_INTER_LINEAR ? 1 : 0;
    int x0 = c->xTap[px0], x1 = x0, y0 = c->yTap[py0], y1 = y0;
    for (int i = px0; i < px0 + pw; ++i) {
        x0 = c->xTap[i] < x0 ? c->xTap[i] : x0;
        x1 = c->xTap[i] > x1 ? c->xTap[i] : x1;
    }
    for (int j = py0; j < py0 + ph; ++j) {
        y0 = c->yTap[j] < y0 ? c->yTap[j] : y0;
        y1 = c->yTap[j] > y1 ? c->yTap[j] : y1;
    }
    /* Absolute image columns and rows; every tap lies inside the image. */
    x0 += c->rs.x;
    x1 += c->rs.x + reach;
    y0 += c->rs.y;
    y1 += c->rs.y + reach;
    int rowBytes = 0;
    void* rect = ownGetRect(c->src, x0, y0, x1 - x0 + 1, y1 - y0 + 1, &rowBytes);
    if (!rect) {
        ownRaiseError(QIM_STATUS_ERROR, FN, "Error get tile to read", SRC, __LINE__);
        return QIM_STATUS_ERROR;
    }
    const SourceView s = rectSource(c, rect, rowBytes, x0, y0, y1 - y0 + 1);
    const int status = zoomPart(c, px0, py0, pw, ph, &s, d);
    ownFreeRect(rect);
    return status;
}

/* Runs one destination part from either kind of source. */
static int zoomPartFrom(const ZoomCall* c, int px0, int py0, int pw, int ph, const DestView* d)
{
    if (c->src->tileInfo)
        return zoomPartFromTiles(c, px0, py0, pw, ph, d);
    const SourceView s = plainSource(c);
    return zoomPart(c, px0, py0, pw, ph, &s, d);
}

/* The destination view of pixel (x, y) of a buffer (an image's pixels or a
 * tile's) with the given row bytes and rows per plane. */
static DestView destIn(const ZoomCall* c, char* data, Dim rowStep, Dim planeRows, int x, int y)
{
    const Dim eb = c->kind == K1U ? 0 : elemBytes(c->kind);
    DestView d;
    d.rowStep = rowStep;
    d.planeStep = c->plane ? planeRows * rowStep : 0;
    d.bit0 = 0;
    char* row = data + (Dim)y * rowStep;
    if (c->kind == K1U) {
        d.origin = row;
        d.bit0 = x;
    } else if (c->plane) {
        d.origin = row + c->dc * d.planeStep + (Dim)x * eb;
    } else {
        d.origin = row + ((Dim)x * c->dst->nChannels + c->dc) * eb;
    }
    return d;
}

/* Destination rows per part when a tiled source is zoomed into a plain
 * destination. */
enum { PLAIN_PART_ROWS = 64 };

static int zoomCall(const ZoomCall* c)
{
    QimImage* dst = c->dst;
    const QimTileInfo* tile = dst->tileInfo;
    if (!tile) {
        const int rows = c->src->tileInfo ? PLAIN_PART_ROWS : c->wh;
        for (int y = 0; y < c->wh; y += rows) {
            const int h = c->wh - y < rows ? c->wh - y : rows;
            const DestView d = destIn(c, (char*)dst->imageData, dst->widthStep, dst->height,
                                      c->rd.x, c->rd.y + y);
            const int status = zoomPartFrom(c, 0, y, c->ww, h, &d);
            if (status < 0)
                return status;
        }
        return 0;
    }

    QimTileInfo* info = dst->tileInfo;
    const int tw = tile->width, th = tile->height;
    const int rowBytes = ownTileRowBytes(dst);
    const int firstCol = c->rd.x / tw, lastCol = (c->rd.x + c->ww - 1) / tw;
    const int firstRow = c->rd.y / th, lastRow = (c->rd.y + c->wh - 1) / th;
    for (int tr = firstRow; tr <= lastRow; ++tr) {
        for (int tc = firstCol; tc <= lastCol; ++tc) {
            info->tileData = NULL;
            info->callBack(dst, tc, tr, QIM_TILE_WRITE);
            void* data = info->tileData;
            if (!data) {
                ownRaiseError(QIM_STATUS_ERROR, FN, "Error get tile to write", SRC, __LINE__);
                return QIM_STATUS_ERROR;
            }
            const int x0 = c->rd.x > tc * tw ? c->rd.x : tc * tw;
            const int x1 = c->rd.x + c->ww < (tc + 1) * tw ? c->rd.x + c->ww : (tc + 1) * tw;
            const int y0 = c->rd.y > tr * th ? c->rd.y : tr * th;
            const int y1 = c->rd.y + c->wh < (tr + 1) * th ? c->rd.y + c->wh : (tr + 1) * th;
            const DestView d = destIn(c, (char*)data, rowBytes, th, x0 - tc * tw, y0 - tr * th);
            const int status = zoomPartFrom(c, x0 - c->rd.x, y0 - c->rd.y, x1 - x0, y1 - y0, &d);
            info->tileData = data;
            info->callBack(dst, tc, tr, QIM_TILE_RELEASE);
            if (status < 0)
                return status;
        }
    }
    return 0;
}

int ownZoomRect(const QimImage* srcImage, QimImage* dstImage, double rx, double ry, int method,
                double xStart, double yStart, double stepX, double stepY, int clipToRatio,
                int xNonIntegral, int yNonIntegral)
{
    /* 1, 2: the regions, cut at their images and at the masks' sizes. */
    ZoomCall c;
    zeroFields(&c, sizeof c);
    Region ms = {0, 0, 0, 0}, md = {0, 0, 0, 0};
    if (!regionOf(srcImage, &c.rs) || !regionOf(dstImage, &c.rd))
        return 0;
    const int preW = c.rs.width, preH = c.rs.height;
    if (srcImage->mask) {
        if (!regionOf(srcImage->mask, &ms))
            return 0;
        if (ms.width < c.rs.width)
            c.rs.width = ms.width;
        if (ms.height < c.rs.height)
            c.rs.height = ms.height;
    }
    if (dstImage->mask) {
        if (!regionOf(dstImage->mask, &md))
            return 0;
        if (md.width < c.rd.width)
            c.rd.width = md.width;
        if (md.height < c.rd.height)
            c.rd.height = md.height;
    }

    /* 3: the written size. */
    int ww = c.rd.width, wh = c.rd.height;
    if (clipToRatio) {
        ww = truncWithin(c.rs.width / rx, ww);
        wh = truncWithin(c.rs.height / ry, wh);
    }

    /* 4: the write mask. The temporary starts all zero: where the scaled
     * source mask does not reach, nothing is written. */
    QimImage* temp = NULL;
    if (srcImage->mask) {
        temp = qimCreateImageHeader(1, 0, QIM_DEPTH_1U, "GRAY", "GRAY", QIM_ORDER_PIXEL,
                                    srcImage->mask->origin, 4, ww, wh, NULL, NULL, NULL, NULL);
        if (!temp)
            return raiseNoMemory("for temporary mask");
        qimAllocateImage(temp, 1, 0);
        if (!temp->imageData) {
            releaseTemp(temp);
            return qimGetErrStatus() < 0 ? qimGetErrStatus()
                                         : raiseNoMemory("for temporary mask");
        }
        /* The source mask's extent that maps onto the written size. */
        const int d = rx * ww + 1e-7 >= 1 ? truncWithin(rx * ww, INT_MAX)
                                          : truncWithin(ww / rx, INT_MAX);
        const int e = ry * wh + 1e-7 >= 1 ? truncWithin(ry * wh, INT_MAX)
                                          : truncWithin(wh / ry, INT_MAX);
        qimResize(srcImage->mask, temp, ww, d, wh, e, QIM_INTER_NN);
        if (qimGetErrStatus() < 0) {
            releaseTemp(temp);
            return ownRaiseError(QIM_STATUS_BACKTRACE, FN, "scaling the source mask", SRC,
                                 __LINE__);
        }
        if (dstImage->mask) {
            qimAnd(temp, dstImage->mask, temp);
            if (qimGetErrStatus() < 0) {
                releaseTemp(temp);
                return ownRaiseError(QIM_STATUS_BACKTRACE, FN, "combining the masks", SRC,
                                     __LINE__);
            }
        }
        c.writeMask = temp;
    } else if (dstImage->mask) {
        c.writeMask = dstImage->mask;
        c.maskX = md.x;
        c.maskY = md.y;
    }

    /* 5: channels. */
    const int srcCoi = srcImage->roi && srcImage->roi->coi > 0;
    const int dstCoi = dstImage->roi && dstImage->roi->coi > 0;
    const int nSrc = processedChannels(srcImage), nDst = processedChannels(dstImage);
    if ((srcCoi || dstCoi) ? (nSrc != 1 || nDst != 1) : nSrc != nDst) {
        releaseTemp(temp);
        ownRaiseError(QIM_STATUS_ERROR, FN, "srcImage COI != dstImage COI", SRC, __LINE__);
        return QIM_STATUS_ERROR;
    }

    c.src = srcImage;
    c.dst = dstImage;
    c.method = method;
    c.kind = kindOf(srcImage->depth);
    c.plane = srcImage->dataOrder == QIM_ORDER_PLANE && c.kind != K1U;
    c.coef = method == QIM_INTER_CUBIC ? 3 : 1;
    c.ww = ww;
    c.wh = wh;
    c.nch = c.plane ? 1 : nSrc;
    c.planes = c.plane ? nSrc : 1;
    c.sc = channelIndex(srcImage);
    c.dc = channelIndex(dstImage);

    /* 6: the tables of the whole call. */
    _Alignas(32) char stack[ZOOM_STACK_BYTES];
    ZoomWork work = {stack, stack, stack + sizeof stack};
    c.work = &work;
    const long long bytes[4] = {(long long)sizeof(int) * ww, (long long)sizeof(int) * wh,
                                (long long)sizeof(float) * c.coef * ww,
                                (long long)sizeof(float) * c.coef * wh};
    void* parts[4];
    void* tables = carveBlock(&work, bytes, parts, 4);
    c.xTap = (int*)parts[0];
    c.yTap = (int*)parts[1];
    c.xw = (float*)parts[2];
    c.yw = (float*)parts[3];
    int status;
    if (tables) {
        axisTable(method, xNonIntegral, xStart, stepX, ww, c.rs.x, srcImage->width,
                  preW - c.rs.width, c.xTap, c.xw);
        axisTable(method, yNonIntegral, yStart, stepY, wh, c.rs.y, srcImage->height,
                  preH - c.rs.height, c.yTap, c.yw);
        /* 7: the kernels. */
        status = zoomCall(&c);
    } else {
        status = raiseNoMemory("for interpolation tables");
    }
    workFree(&work, tables);
    releaseTemp(temp);
    return status;
}

/* ---- Front end ---------------------------------------------------------------------- */

static int ratioIntegral(int a, int b)
{
    return a >= b ? a % b == 0 : b % a == 0;
}

static double stepOf(int method, int integral, int size, double extent, int src, int dst)
{
    if (method != QIM_INTER_NN || !integral)
        return extent > 1 ? (size - 1) / (extent - 1) : 0;
    return (double)src / dst;
}

int qimZoom(const QimImage* srcImage, QimImage* dstImage, int xDst, int xSrc, int yDst, int ySrc,
            int interpolate)
{
    if (ownCheckImageHeader(srcImage) || ownCheckImageHeader(dstImage)) {
        const int status = qimGetErrStatus();
        ownRaiseError(status, FN, "Incorrect Image", SRC, __LINE__);
        return status;
    }
    if (interpolate != QIM_INTER_NN && interpolate != QIM_INTER_LINEAR &&
        interpolate != QIM_INTER_CUBIC)
        ownRaiseError(QIM_STATUS_BAD_ARG, FN,
                      "interpolate != QIM_INTER_NN && interpolate != QIM_INTER_LINEAR && "
                      "interpolate != QIM_INTER_CUBIC",
                      SRC, __LINE__);
    if (srcImage->depth != dstImage->depth)
        ownRaiseError(QIM_STATUS_BAD_ARG, FN, "srcImage->depth != dstImage->depth", SRC, __LINE__);
    if (srcImage->depth != QIM_DEPTH_1U && srcImage->depth != QIM_DEPTH_8U &&
        srcImage->depth != QIM_DEPTH_16U && srcImage->depth != QIM_DEPTH_32F)
        ownRaiseError(QIM_STATUS_BAD_ARG, FN,
                      "srcImage->depth != QIM_DEPTH_1U && srcImage->depth != QIM_DEPTH_8U && "
                      "srcImage->depth != QIM_DEPTH_16U && srcImage->depth != QIM_DEPTH_32F",
                      SRC, __LINE__);
    if (srcImage->dataOrder != dstImage->dataOrder)
        ownRaiseError(QIM_STATUS_BAD_ARG, FN, "srcImage->dataOrder != dstImage->dataOrder", SRC,
                      __LINE__);
    if (xDst <= 0 || xSrc <= 0)
        ownRaiseError(QIM_STATUS_BAD_ARG, FN, "xDst <= 0 || xSrc <= 0", SRC, __LINE__);
    if (yDst <= 0 || ySrc <= 0)
        ownRaiseError(QIM_STATUS_BAD_ARG, FN, "yDst <= 0 || ySrc <= 0", SRC, __LINE__);
    if (qimGetErrStatus() < 0)
        return qimGetErrStatus();

    int method = interpolate;
    if (srcImage->depth == QIM_DEPTH_1U || srcImage->width < 2 || srcImage->height < 2)
        method = QIM_INTER_NN;
    else if (method == QIM_INTER_CUBIC && (srcImage->width < 4 || srcImage->height < 4))
        method = QIM_INTER_LINEAR;

    /* The source region cut at the image: the steps map the written pixels
     * onto pixels that exist. */
    Region rs;
    if (!regionOf(srcImage, &rs))
        rs.width = rs.height = 1;
    const double ew = (double)xDst * rs.width / xSrc, eh = (double)yDst * rs.height / ySrc;
    const int xIntegral = ratioIntegral(xSrc, xDst), yIntegral = ratioIntegral(ySrc, yDst);
    const double stepX = stepOf(method, xIntegral, rs.width, ew, xSrc, xDst);
    const double stepY = stepOf(method, yIntegral, rs.height, eh, ySrc, yDst);

    if (srcImage == dstImage)
        return ownRaiseError(QIM_STATUS_BAD_ARG, FN, "This function isn`t in-plase function", SRC,
                             __LINE__);
    if ((srcImage->alphaIndex && srcImage->nChannels == 1) ||
        (dstImage->alphaIndex && dstImage->nChannels == 1))
        return 0;
    const double rx = (double)xSrc / xDst, ry = (double)ySrc / yDst;
    return ownZoomRect(srcImage, dstImage, rx, ry, method, 0, 0, stepX, stepY, 1, !xIntegral,
                       !yIntegral);
}
