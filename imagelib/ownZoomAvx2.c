/* The zoom's AVX2 rows. Each performs the same IEEE operations in the same
 * order as the portable kernels (no fused multiply-add: the file is built
 * with floating-point contraction off), only more elements at a time, so
 * the pixels do not depend on the path. Callers check ownVectorLevel. */
#include "ownzoom.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>
#include <string.h>

#define AVX2 __attribute__((target("avx2")))
#define ALWAYS_INLINE inline __attribute__((always_inline))

AVX2 void ownZoomNearestRowAvx2(const ZoomShuffle* shuffle, const uint8_t* srow, uint8_t* drow,
                                const uint8_t* ahead)
{
    const int32_t* off = shuffle->off;
    const uint8_t* mask = shuffle->mask;
    const uint8_t* count = shuffle->count;
    for (Dim g = 0; g < shuffle->groups; ++g) {
        _mm_prefetch((const char*)ahead + off[g], _MM_HINT_T0);
        const __m128i window = _mm_loadu_si128((const __m128i*)(srow + off[g]));
        const __m128i picked =
            _mm_shuffle_epi8(window, _mm_load_si128((const __m128i*)(mask + 16 * g)));
        /* The bytes past count[g] are rewritten by the next group; the
         * groups end 16 bytes before the row does. */
        _mm_storeu_si128((__m128i*)drow, picked);
        drow += count[g];
    }
}

static inline uint32_t load32(const uint8_t* p)
{
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}

static inline uint16_t load16(const uint8_t* p)
{
    uint16_t v;
    memcpy(&v, p, 2);
    return v;
}

/* Four 32-bit loads as one vector. */
AVX2 static inline __m128i fourWords(const uint8_t* s, const int* tap, Dim eb)
{
    __m128i v = _mm_cvtsi32_si128((int)load32(s + tap[0] * eb));
    v = _mm_insert_epi32(v, (int)load32(s + tap[1] * eb), 1);
    v = _mm_insert_epi32(v, (int)load32(s + tap[2] * eb), 2);
    return _mm_insert_epi32(v, (int)load32(s + tap[3] * eb), 3);
}

/* Runs BLOCK(i) for blocks of `size` columns from 0 to last (at least 0),
 * the last one at last itself: it overlaps the one before, whose columns it
 * writes again with the same values, rather than leave them to a slower
 * tail. */
#define BLOCKS_TO(last, size, BLOCK)                                                              \
    for (Dim at_ = 0;; at_ += (size)) {                                                           \
        if (at_ > (last))                                                                         \
            at_ = (last);                                                                         \
        BLOCK(at_);                                                                               \
        if (at_ == (last))                                                                        \
            break;                                                                                \
    }

/* Pixels too far apart for a window are loaded one by one into the lanes of
 * a vector, sixteen bytes stored at a time, the blocks from 0 to last; the
 * pixels after those are copied one by one. */
AVX2 static ALWAYS_INLINE void nearestSparseRow(const int* tap, Dim eb, Dim pb, Dim last,
                                                Dim width, const uint8_t* srow, uint8_t* drow)
{
    Dim i = 0;
    if (last < 0) {
    } else if (pb == 1) {
#define BYTES16(i)                                                                                \
    do {                                                                                          \
        const int* t = tap + (i);                                                                 \
        __m128i v = _mm_cvtsi32_si128(srow[t[0]]);                                                \
        v = _mm_insert_epi8(v, srow[t[1]], 1);                                                    \
        v = _mm_insert_epi8(v, srow[t[2]], 2);                                                    \
        v = _mm_insert_epi8(v, srow[t[3]], 3);                                                    \
        v = _mm_insert_epi8(v, srow[t[4]], 4);                                                    \
        v = _mm_insert_epi8(v, srow[t[5]], 5);                                                    \
        v = _mm_insert_epi8(v, srow[t[6]], 6);                                                    \
        v = _mm_insert_epi8(v, srow[t[7]], 7);                                                    \
        v = _mm_insert_epi8(v, srow[t[8]], 8);                                                    \
        v = _mm_insert_epi8(v, srow[t[9]], 9);                                                    \
        v = _mm_insert_epi8(v, srow[t[10]], 10);                                                  \
        v = _mm_insert_epi8(v, srow[t[11]], 11);                                                  \
        v = _mm_insert_epi8(v, srow[t[12]], 12);                                                  \
        v = _mm_insert_epi8(v, srow[t[13]], 13);                                                  \
        v = _mm_insert_epi8(v, srow[t[14]], 14);                                                  \
        v = _mm_insert_epi8(v, srow[t[15]], 15);                                                  \
        _mm_storeu_si128((__m128i*)(drow + (i)), v);                                              \
    } while (0)
        BLOCKS_TO(last, 16, BYTES16)
#undef BYTES16
    } else if (pb == 2) {
        /* The element size as a constant, so that it scales the taps
         * within the loads' addresses. */
#define HALVES8(i)                                                                                \
    do {                                                                                          \
        const int* t = tap + (i);                                                                 \
        __m128i v = _mm_cvtsi32_si128(load16(srow + t[0] * size_));                               \
        v = _mm_insert_epi16(v, load16(srow + t[1] * size_), 1);                                  \
        v = _mm_insert_epi16(v, load16(srow + t[2] * size_), 2);                                  \
        v = _mm_insert_epi16(v, load16(srow + t[3] * size_), 3);                                  \
        v = _mm_insert_epi16(v, load16(srow + t[4] * size_), 4);                                  \
        v = _mm_insert_epi16(v, load16(srow + t[5] * size_), 5);                                  \
        v = _mm_insert_epi16(v, load16(srow + t[6] * size_), 6);                                  \
        v = _mm_insert_epi16(v, load16(srow + t[7] * size_), 7);                                  \
        _mm_storeu_si128((__m128i*)(drow + 2 * (i)), v);                                          \
    } while (0)
#define HALVES8_OF(bytes)                                                                         \
    do {                                                                                          \
        const Dim size_ = (bytes);                                                                \
        BLOCKS_TO(last, 8, HALVES8)                                                               \
    } while (0)
        if (eb == 1)
            HALVES8_OF(1);
        else
            HALVES8_OF(2);
#undef HALVES8_OF
#undef HALVES8
    } else if (pb == 4) {
        /* Likewise the element size as a constant. */
#define WORDS4(i) _mm_storeu_si128((__m128i*)(drow + 4 * (i)), fourWords(srow, tap + (i), size_))
#define WORDS4_OF(bytes)                                                                          \
    do {                                                                                          \
        const Dim size_ = (bytes);                                                                \
        BLOCKS_TO(last, 4, WORDS4)                                                                \
    } while (0)
        if (eb == 1)
            WORDS4_OF(1);
        else if (eb == 2)
            WORDS4_OF(2);
        else
            WORDS4_OF(4);
#undef WORDS4_OF
#undef WORDS4
    } else {
        /* Four pixels of four bytes each, closed up to twelve; the store's
         * last four bytes are rewritten by the next one. */
        const __m128i close = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
#define CLOSED4(i)                                                                                \
    _mm_storeu_si128((__m128i*)(drow + 3 * (i)),                                                  \
                     _mm_shuffle_epi8(fourWords(srow, tap + (i), 1), close))
        BLOCKS_TO(last, 4, CLOSED4)
#undef CLOSED4
    }
    if (last >= 0)
        i = last + (pb == 1 ? 16 : pb == 2 ? 8 : 4);
    for (; i < width; ++i)
        memcpy(drow + i * pb, srow + tap[i] * eb, (size_t)pb);
}

/* Every row of a pass: what the rows share worked out once (the stores to
 * the rows may alias the plan, whose fields would be read again). */
AVX2 void ownZoomNearestSparsePassAvx2(const ZoomPlan* z, const char* src, char* dst)
{
    const int* tap = z->xTap;
    const int* yTap = z->yTap;
    const Dim eb = z->kind == K16U ? 2 : z->kind == K32F ? 4 : 1;
    const Dim pb = z->nch * eb, width = z->width, rowBytes = width * pb;
    const Dim height = z->height, srcStep = z->srcRowStep, dstStep = z->dstRowStep;
    /* Pixels a store: sixteen bytes, or twelve of 3-byte pixels, whose
     * store writes four more: its block may start up to `last`. */
    const Dim size = pb == 1 ? 16 : pb == 2 ? 8 : 4;
    Dim last = z->shuffle.whole - size;
    if (pb == 3 && last > (rowBytes - 16) / 3)
        last = (rowBytes - 16) / 3;
#define ROWS(eb_, pb_)                                                                            \
    for (Dim j = 0; j < height; ++j)                                                              \
        nearestSparseRow(tap, eb_, pb_, last, width, (const uint8_t*)src + yTap[j] * srcStep,     \
                         (uint8_t*)dst + j * dstStep);
    /* The layouts as constants. */
    if (pb == 1)
        ROWS(1, 1)
    else if (pb == 2 && eb == 2)
        ROWS(2, 2)
    else if (pb == 4 && eb == 1)
        ROWS(1, 4)
    else if (pb == 4 && eb == 4)
        ROWS(4, 4)
    else
        ROWS(eb, pb)
#undef ROWS
}

/* One element's linear: the portable a + w (b - a) in float. */
static inline float linearElement(const uint8_t* p, Dim sp, float w)
{
    const float a = (float)p[0], b = (float)p[sp];
    return a + w * (b - a);
}

/* Eight one-channel columns of row p: each one's 32-bit word holds a in its
 * low byte and b sp bytes above. */
AVX2 static ALWAYS_INLINE __m256 linearSingle8(const uint8_t* p, const int* tap, __m256 w,
                                               __m128i shift)
{
    const __m256i low = _mm256_set1_epi32(0xff);
    const __m256i v = _mm256_inserti128_si256(_mm256_castsi128_si256(fourWords(p, tap, 1)),
                                              fourWords(p, tap + 4, 1), 1);
    const __m256 a = _mm256_cvtepi32_ps(_mm256_and_si256(v, low));
    const __m256 b = _mm256_cvtepi32_ps(_mm256_and_si256(_mm256_srl_epi32(v, shift), low));
    return _mm256_add_ps(a, _mm256_mul_ps(w, _mm256_sub_ps(b, a)));
}

/* linearSingle8 of two rows, each tap read once. */
AVX2 static ALWAYS_INLINE void linearSingle8x2(const uint8_t* p0, const uint8_t* p1,
                                               const int* tap, __m256 w, __m128i shift,
                                               float* h0, float* h1)
{
    const __m256i low = _mm256_set1_epi32(0xff);
    int t = tap[0];
    __m128i a0 = _mm_cvtsi32_si128((int)load32(p0 + t));
    __m128i a1 = _mm_cvtsi32_si128((int)load32(p1 + t));
    t = tap[4];
    __m128i b0 = _mm_cvtsi32_si128((int)load32(p0 + t));
    __m128i b1 = _mm_cvtsi32_si128((int)load32(p1 + t));
#define INSERT(k)                                                                                 \
    t = tap[k];                                                                                   \
    a0 = _mm_insert_epi32(a0, (int)load32(p0 + t), k);                                            \
    a1 = _mm_insert_epi32(a1, (int)load32(p1 + t), k);                                            \
    t = tap[4 + k];                                                                               \
    b0 = _mm_insert_epi32(b0, (int)load32(p0 + t), k);                                            \
    b1 = _mm_insert_epi32(b1, (int)load32(p1 + t), k);
    INSERT(1) INSERT(2) INSERT(3)
#undef INSERT
    const __m256i v0 = _mm256_inserti128_si256(_mm256_castsi128_si256(a0), b0, 1);
    const __m256i v1 = _mm256_inserti128_si256(_mm256_castsi128_si256(a1), b1, 1);
    const __m256 x0 = _mm256_cvtepi32_ps(_mm256_and_si256(v0, low));
    const __m256 y0 = _mm256_cvtepi32_ps(_mm256_and_si256(_mm256_srl_epi32(v0, shift), low));
    const __m256 x1 = _mm256_cvtepi32_ps(_mm256_and_si256(v1, low));
    const __m256 y1 = _mm256_cvtepi32_ps(_mm256_and_si256(_mm256_srl_epi32(v1, shift), low));
    _mm256_storeu_ps(h0, _mm256_add_ps(x0, _mm256_mul_ps(w, _mm256_sub_ps(y0, x0))));
    _mm256_storeu_ps(h1, _mm256_add_ps(x1, _mm256_mul_ps(w, _mm256_sub_ps(y1, x1))));
}

/* The eight bytes of the pixel at t and the one at u as one vector. */
AVX2 static ALWAYS_INLINE __m128i pixelPair(const uint8_t* p, int t, int u)
{
    return _mm_unpacklo_epi64(_mm_loadl_epi64((const __m128i*)(p + t)),
                              _mm_loadl_epi64((const __m128i*)(p + u)));
}

/* a + w (b - a) of the eight elements whose a bytes are the low half of ab
 * and b bytes its high half, stored at out. */
AVX2 static ALWAYS_INLINE void linearStore8(__m128i ab, const float* w, float* out)
{
    const __m256 a = _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(ab));
    const __m256 b = _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(_mm_srli_si128(ab, 8)));
    _mm256_storeu_ps(out, _mm256_add_ps(a, _mm256_mul_ps(_mm256_loadu_ps(w), _mm256_sub_ps(b, a))));
}

/* The a and b bytes of block k (of three) of eight pixels of 3 channels,
 * picked from the two pixel pairs u and v it spans (see rgbPick). */
#define RGB_PICKED(u, v, k)                                                                       \
    _mm_or_si128(_mm_shuffle_epi8(u, pick[2 * (k)]), _mm_shuffle_epi8(v, pick[2 * (k) + 1]))

/* Eight whole pixels of 3 channels of row p (24 elements, three blocks),
 * loaded as four pairs. */
AVX2 static ALWAYS_INLINE void linearRgb8(const uint8_t* p, const int* t, const __m128i pick[6],
                                          const float* w, float* out)
{
    const __m128i x0 = pixelPair(p, t[0], t[1]), x1 = pixelPair(p, t[2], t[3]);
    const __m128i x2 = pixelPair(p, t[4], t[5]), x3 = pixelPair(p, t[6], t[7]);
    linearStore8(RGB_PICKED(x0, x1, 0), w, out);
    linearStore8(RGB_PICKED(x1, x2, 1), w + 8, out + 8);
    linearStore8(RGB_PICKED(x2, x3, 2), w + 16, out + 16);
}

/* linearRgb8 of two rows, each tap read once. */
AVX2 static ALWAYS_INLINE void linearRgb8x2(const uint8_t* p0, const uint8_t* p1, const int* t,
                                            const __m128i pick[6], const float* w, float* h0,
                                            float* h1)
{
    int a = t[0], b = t[1];
    const __m128i x0 = pixelPair(p0, a, b), y0 = pixelPair(p1, a, b);
    a = t[2];
    b = t[3];
    const __m128i x1 = pixelPair(p0, a, b), y1 = pixelPair(p1, a, b);
    a = t[4];
    b = t[5];
    const __m128i x2 = pixelPair(p0, a, b), y2 = pixelPair(p1, a, b);
    a = t[6];
    b = t[7];
    const __m128i x3 = pixelPair(p0, a, b), y3 = pixelPair(p1, a, b);
    linearStore8(RGB_PICKED(x0, x1, 0), w, h0);
    linearStore8(RGB_PICKED(y0, y1, 0), w, h1);
    linearStore8(RGB_PICKED(x1, x2, 1), w + 8, h0 + 8);
    linearStore8(RGB_PICKED(y1, y2, 1), w + 8, h1 + 8);
    linearStore8(RGB_PICKED(x2, x3, 2), w + 16, h0 + 16);
    linearStore8(RGB_PICKED(y2, y3, 2), w + 16, h1 + 16);
}
#undef RGB_PICKED

/* Two whole pixels of 4 channels of row p, the columns' taps at t and u:
 * their a pixels in the low half, their b pixels in the high one. */
AVX2 static ALWAYS_INLINE __m128i quadPair(const uint8_t* p, int t, int u)
{
    return _mm_unpacklo_epi32(_mm_loadl_epi64((const __m128i*)(p + t)),
                              _mm_loadl_epi64((const __m128i*)(p + u)));
}

/* The sparse linear rows; n (1 or 2) and nch (1, 3 or 4) are constants
 * where this is inlined. */
AVX2 static ALWAYS_INLINE void linearSparseRows(const ZoomPlan* z, const uint8_t* const rows[],
                                                const uint8_t* const ahead[], float* const h[],
                                                int n, int nch)
{
    const ZoomShuffle* s = &z->shuffle;
    const int* tap = z->xTap;
    const float* xw = z->xw;
    const float* we = s->sparseWeight;
    const Dim sp = z->srcPix, width = z->width, whole = s->whole;
    const uint8_t* p0 = rows[0];
    const uint8_t* p1 = rows[n - 1];
    /* restrict: the stores to the rows touch none of the tables. */
    float* restrict h0 = h[0];
    float* restrict h1 = h[n - 1];
    Dim i = 0;
    if (whole >= 8 && nch == 1) {
        const __m128i shift = _mm_cvtsi32_si128((int)(8 * sp));
#define SINGLE8(at)                                                                               \
    do {                                                                                          \
        const __m256 w = _mm256_loadu_ps(xw + (at));                                              \
        if (n == 2)                                                                               \
            linearSingle8x2(p0, p1, tap + (at), w, shift, h0 + (at), h1 + (at));                  \
        else                                                                                      \
            _mm256_storeu_ps(h0 + (at), linearSingle8(p0, tap + (at), w, shift));                 \
    } while (0)
        BLOCKS_TO(whole - 8, 8, SINGLE8)
#undef SINGLE8
        i = whole;
    } else if (nch == 4 && whole >= 2) {
#define QUAD2(at)                                                                                 \
    do {                                                                                          \
        const int t_ = tap[at], u_ = tap[(at) + 1];                                               \
        if (ahead) {                                                                              \
            _mm_prefetch((const char*)ahead[0] + t_, _MM_HINT_T0);                                \
            if (n == 2)                                                                           \
                _mm_prefetch((const char*)ahead[1] + t_, _MM_HINT_T0);                            \
        }                                                                                         \
        linearStore8(quadPair(p0, t_, u_), we + 4 * (at), h0 + 4 * (at));                         \
        if (n == 2)                                                                               \
            linearStore8(quadPair(p1, t_, u_), we + 4 * (at), h1 + 4 * (at));                     \
    } while (0)
        BLOCKS_TO(whole - 2, 2, QUAD2)
#undef QUAD2
        i = whole;
    } else if (nch == 3 && whole >= 8) {
        __m128i pick[6];
        for (int q = 0; q < 6; ++q)
            pick[q] = _mm_loadu_si128((const __m128i*)(s->rgbPick + 16 * q));
#define RGB8(at)                                                                                  \
    do {                                                                                          \
        if (n == 2)                                                                               \
            linearRgb8x2(p0, p1, tap + (at), pick, we + 3 * (at), h0 + 3 * (at), h1 + 3 * (at));  \
        else                                                                                      \
            linearRgb8(p0, tap + (at), pick, we + 3 * (at), h0 + 3 * (at));                       \
    } while (0)
        BLOCKS_TO(whole - 8, 8, RGB8)
#undef RGB8
        i = whole;
    }
    /* The last columns one element at a time, as the portable kernels. */
    for (; i < width; ++i)
        for (int r = 0; r < n; ++r)
            for (Dim c = 0; c < nch; ++c)
                h[r][nch * i + c] = linearElement(rows[r] + tap[i] + c, sp, xw[i]);
}

AVX2 void ownZoomLinearSparseRowsAvx2(const ZoomPlan* z, const uint8_t* const rows[],
                                      const uint8_t* const ahead[], float* const h[], int n)
{
    const int nch = z->shuffle.sparse == SPARSE_LINEAR_SINGLE ? 1 : z->nch;
    /* Only 4 channels fetch ahead; without, the rows know it. */
#define ROWS(count, channels, fetch)                                                              \
    if (n == (count) && nch == (channels) && !!ahead == (fetch)) {                                \
        linearSparseRows(z, rows, (fetch) ? ahead : NULL, h, count, channels);                    \
        return;                                                                                   \
    }
    ROWS(2, 1, 0) ROWS(1, 1, 0) ROWS(2, 3, 0) ROWS(1, 3, 0)
    ROWS(2, 4, 0) ROWS(1, 4, 0) ROWS(2, 4, 1) ROWS(1, 4, 1)
#undef ROWS
}

/* One element's cubic from its four taps, sp bytes apart: cubicValue of the
 * portable kernels. */
static inline float cubicElement(const uint8_t* p, Dim sp, const float* c)
{
    const float f0 = (float)p[0], f1 = (float)p[sp], f2 = (float)p[2 * sp], f3 = (float)p[3 * sp];
    const float d1 = f1 - f0;
    const float d2 = (f2 - 2.0f * f1) + f0;
    const float d3 = ((f3 - 3.0f * f2) + 3.0f * f1) - f0;
    return ((f0 + c[0] * d1) + c[1] * d2) + c[2] * d3;
}

/* The shuffle that picks, into the low byte of each 32-bit lane, the bytes
 * at the eight indexes at index (plus add), zeroing the other bytes. */
AVX2 static inline __m256i picker(const uint8_t* index, __m256i add)
{
    const __m256i high = _mm256_set1_epi32((int)0x80808000u);
    return _mm256_or_si256(
        _mm256_add_epi32(_mm256_cvtepu8_epi32(_mm_loadl_epi64((const __m128i*)index)), add), high);
}

/* Loads the 16 bytes at lo into the low lane and those at hi into the high
 * lane. */
AVX2 static inline __m256i windows(const uint8_t* lo, const uint8_t* hi)
{
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128((const __m128i*)lo)),
                                   _mm_loadu_si128((const __m128i*)hi), 1);
}

/* Copies the tap bytes of every column of srow into the packed row; returns
 * the row that the groups read: the packed one, or srow when the taps lie
 * close. */
AVX2 static const uint8_t* packRow(const ZoomPlan* z, const uint8_t* srow)
{
    const ZoomShuffle* s = &z->shuffle;
    if (!s->stride)
        return srow;
    const int* xTap = z->xTap;
    uint8_t* out = s->packed;
    const Dim width = z->width, stride = s->stride, right = z->srcRight;
    Dim i = 0;
    /* A fixed-size copy per column (each overwrites the tail of the one
     * before), while it stays within the bytes that may be read. */
#define PACK(bytes)                                                                               \
    for (; i < width && xTap[i] + (bytes) <= right; ++i)                                         \
        memcpy(out + i * stride, srow + xTap[i], bytes);
    switch (s->copy) {
    case 2: PACK(2) break;
    case 4: PACK(4) break;
    case 8: PACK(8) break;
    default: PACK(16) break;
    }
#undef PACK
    for (; i < width; ++i)
        memcpy(out + i * stride, srow + xTap[i], (size_t)stride);
    return out;
}

/* The bytes of a halving block of sixteen elements: a taps (the even
 * columns' pixels) in the low lane, b taps in the high one. One channel:
 * the even and odd bytes of 32; four channels: the even and odd pixels. */
AVX2 static ALWAYS_INLINE void halvedTaps(const uint8_t* p, int nch, __m256i* a, __m256i* b)
{
    const __m256i v = _mm256_loadu_si256((const __m256i*)p);
    if (nch == 1) {
        const __m256i even = _mm256_and_si256(v, _mm256_set1_epi16(0xff));
        const __m256i odd = _mm256_srli_epi16(v, 8);
        /* Sixteen 16-bit values each, as two vectors of eight 32-bit ones:
         * a in a[0], a[1]. */
        a[0] = _mm256_cvtepu16_epi32(_mm256_castsi256_si128(even));
        a[1] = _mm256_cvtepu16_epi32(_mm256_extracti128_si256(even, 1));
        b[0] = _mm256_cvtepu16_epi32(_mm256_castsi256_si128(odd));
        b[1] = _mm256_cvtepu16_epi32(_mm256_extracti128_si256(odd, 1));
        return;
    }
    const __m256i pairs = _mm256_permute4x64_epi64(_mm256_shuffle_epi32(v, _MM_SHUFFLE(3, 1, 2, 0)),
                                                   _MM_SHUFFLE(3, 1, 2, 0));
    const __m128i even = _mm256_castsi256_si128(pairs), odd = _mm256_extracti128_si256(pairs, 1);
    a[0] = _mm256_cvtepu8_epi32(even);
    a[1] = _mm256_cvtepu8_epi32(_mm_srli_si128(even, 8));
    b[0] = _mm256_cvtepu8_epi32(odd);
    b[1] = _mm256_cvtepu8_epi32(_mm_srli_si128(odd, 8));
}

#define LERP8(ia, ib, wx)                                                                         \
    _mm256_add_ps(_mm256_cvtepi32_ps(ia),                                                         \
                  _mm256_mul_ps(wx, _mm256_sub_ps(_mm256_cvtepi32_ps(ib), _mm256_cvtepi32_ps(ia))))

/* a + w (b - a) in float for every element of the row, group kind by group
 * kind: the kinds come in runs, so each run is a loop of its own. */
AVX2 void ownZoomLinearRowAvx2(const ZoomPlan* z, const uint8_t* srow, float* h,
                               const uint8_t* ahead)
{
    /* Locals: the stores to h may alias the plan. */
    const ZoomShuffle* s = &z->shuffle;
    const int32_t* off = s->off;
    const uint8_t* index = s->index;
    const float* weight = s->weight;
    const int* xTap = s->stride ? s->packTap : z->xTap;
    srow = packRow(z, srow);
    /* The groups' offsets count in the packed row: nothing to fetch ahead. */
    if (s->stride)
        ahead = srow;
    const Dim sp = z->srcPix, nch = z->nch, runs = s->runs;
    const Dim count = (Dim)z->width * nch;
    const __m256i none = _mm256_setzero_si256(), next = _mm256_set1_epi32((int)sp);
#define LINEAR_STORE2(ia, ib, group)                                                              \
    do {                                                                                          \
        const __m256 a = _mm256_cvtepi32_ps(ia), b = _mm256_cvtepi32_ps(ib);                     \
        _mm256_storeu_ps(h + 8 * (group),                                                         \
                         _mm256_add_ps(a, _mm256_mul_ps(_mm256_load_ps(weight + 8 * (group)),     \
                                                        _mm256_sub_ps(b, a))));                   \
    } while (0)
#define LINEAR_STORE(ia, ib) LINEAR_STORE2(ia, ib, g)
    Dim g = 0;
    for (Dim r = 0; r < runs; ++r) {
        const Dim end = s->runEnd[r];
        switch (s->runKind[r]) {
        case GROUP_SHARED_WINDOW:
            for (; g < end; ++g) {
                _mm_prefetch((const char*)ahead + off[2 * g], _MM_HINT_T0);
                const __m256i win =
                    _mm256_broadcastsi128_si256(_mm_loadu_si128((const __m128i*)(srow + off[2 * g])));
                LINEAR_STORE(_mm256_shuffle_epi8(win, picker(index + 8 * g, none)),
                             _mm256_shuffle_epi8(win, picker(index + 8 * g, next)));
            }
            break;
        case GROUP_ONE_WINDOW:
            for (; g < end; ++g) {
                _mm_prefetch((const char*)ahead + off[2 * g], _MM_HINT_T0);
                const __m256i win = windows(srow + off[2 * g], srow + off[2 * g + 1]);
                LINEAR_STORE(_mm256_shuffle_epi8(win, picker(index + 8 * g, none)),
                             _mm256_shuffle_epi8(win, picker(index + 8 * g, next)));
            }
            break;
        case GROUP_TAP_WINDOWS:
            for (; g < end; ++g) {
                const uint8_t* lo = srow + off[2 * g];
                const uint8_t* hi = srow + off[2 * g + 1];
                _mm_prefetch((const char*)ahead + off[2 * g], _MM_HINT_T0);
                const __m256i sel = picker(index + 8 * g, none);
                LINEAR_STORE(_mm256_shuffle_epi8(windows(lo, hi), sel),
                             _mm256_shuffle_epi8(windows(lo + sp, hi + sp), sel));
            }
            break;
        case GROUP_HALVED:
            if (nch == 3) {
                /* Blocks of three groups, eight columns: each lane's four
                 * elements lie within the 12 bytes of a window at a fixed
                 * place in the block, picked by fixed shuffles. */
                const __m256i hi = _mm256_set1_epi32((int)0x80808000u);
                const __m256i pick[3] = {
                    _mm256_or_si256(hi, _mm256_setr_epi32(0, 1, 2, 6, 1, 2, 6, 7)),
                    _mm256_or_si256(hi, _mm256_setr_epi32(2, 6, 7, 8, 0, 1, 2, 6)),
                    _mm256_or_si256(hi, _mm256_setr_epi32(1, 2, 6, 7, 2, 6, 7, 8))};
                const __m256i three = _mm256_set1_epi32(3);
                static const int place[3][2] = {{0, 6}, {12, 24}, {30, 36}};
                for (; g < end; g += 3) {
                    const uint8_t* p = srow + xTap[8 * g / 3];
                    _mm_prefetch((const char*)ahead + xTap[8 * g / 3], _MM_HINT_T0);
                    for (int q = 0; q < 3; ++q) {
                        const __m256i win = windows(p + place[q][0], p + place[q][1]);
                        LINEAR_STORE2(_mm256_shuffle_epi8(win, pick[q]),
                                      _mm256_shuffle_epi8(win, _mm256_add_epi32(pick[q], three)),
                                      g + q);
                    }
                }
                break;
            }
            for (; g < end; g += 2) {
                const Dim t = xTap[8 * g / nch];
                _mm_prefetch((const char*)ahead + t, _MM_HINT_T0);
                __m256i a[2], b[2];
                if (nch == 1)
                    halvedTaps(srow + t, 1, a, b);
                else
                    halvedTaps(srow + t, 4, a, b);
                _mm256_storeu_ps(h + 8 * g, LERP8(a[0], b[0], _mm256_load_ps(weight + 8 * g)));
                _mm256_storeu_ps(h + 8 * g + 8,
                                 LERP8(a[1], b[1], _mm256_load_ps(weight + 8 * g + 8)));
            }
            break;
        default:
            for (Dim e = 8 * g; e < 8 * end; ++e) {
                const Dim i = e / nch, c = e % nch;
                const float a = (float)srow[xTap[i] + c], b = (float)srow[xTap[i] + sp + c];
                h[e] = a + weight[e] * (b - a);
            }
            g = end;
            break;
        }
    }
#undef LINEAR_STORE
#undef LINEAR_STORE2
    for (Dim e = 8 * g; e < count; ++e) {
        const Dim i = e / nch, c = e % nch;
        const float a = (float)srow[xTap[i] + c], b = (float)srow[xTap[i] + sp + c];
        h[e] = a + z->xw[i] * (b - a);
    }
}

/* The cubic through f0 .. f3 at the coefficients c1 .. c3 by Newton's
 * forward differences, in float: the scalar cubicValue on eight lanes. */
AVX2 static inline __m256 cubic8(__m256 f0, __m256 f1, __m256 f2, __m256 f3, __m256 c1,
                                 __m256 c2, __m256 c3)
{
    const __m256 two = _mm256_set1_ps(2.0f), three = _mm256_set1_ps(3.0f);
    const __m256 d1 = _mm256_sub_ps(f1, f0);
    const __m256 d2 = _mm256_add_ps(_mm256_sub_ps(f2, _mm256_mul_ps(two, f1)), f0);
    const __m256 d3 = _mm256_sub_ps(
        _mm256_add_ps(_mm256_sub_ps(f3, _mm256_mul_ps(three, f2)), _mm256_mul_ps(three, f1)), f0);
    return _mm256_add_ps(_mm256_add_ps(_mm256_add_ps(f0, _mm256_mul_ps(c1, d1)),
                                       _mm256_mul_ps(c2, d2)),
                         _mm256_mul_ps(c3, d3));
}

/* SPARSE_CUBIC_SINGLE: eight columns a vector, each column's four taps a
 * 32-bit word. */
AVX2 static void cubicSparseRow(const ZoomPlan* z, const uint8_t* srow, float* restrict h)
{
    const int* tap = z->xTap;
    const Dim width = z->width, whole = z->shuffle.whole;
    const float* c = z->shuffle.sparseWeight;
    Dim i = 0;
    if (whole >= 8) {
        const __m256i low = _mm256_set1_epi32(0xff);
#define CUBIC8(at)                                                                                \
    do {                                                                                          \
        const __m256i v =                                                                         \
            _mm256_inserti128_si256(_mm256_castsi128_si256(fourWords(srow, tap + (at), 1)),       \
                                    fourWords(srow, tap + (at) + 4, 1), 1);                       \
        const __m256 f0 = _mm256_cvtepi32_ps(_mm256_and_si256(v, low));                           \
        const __m256 f1 = _mm256_cvtepi32_ps(_mm256_and_si256(_mm256_srli_epi32(v, 8), low));     \
        const __m256 f2 = _mm256_cvtepi32_ps(_mm256_and_si256(_mm256_srli_epi32(v, 16), low));    \
        const __m256 f3 = _mm256_cvtepi32_ps(_mm256_srli_epi32(v, 24));                           \
        _mm256_storeu_ps(h + (at), cubic8(f0, f1, f2, f3, _mm256_loadu_ps(c + (at)),              \
                                          _mm256_loadu_ps(c + width + (at)),                      \
                                          _mm256_loadu_ps(c + 2 * width + (at))));                \
    } while (0)
        BLOCKS_TO(whole - 8, 8, CUBIC8)
#undef CUBIC8
        i = whole;
    }
    for (; i < width; ++i)
        h[i] = cubicElement(srow + tap[i], 1, z->xw + 3 * i);
}

AVX2 void ownZoomCubicRowAvx2(const ZoomPlan* z, const uint8_t* srow, float* h)
{
    if (z->shuffle.sparse) {
        cubicSparseRow(z, srow, h);
        return;
    }
    /* Locals: the stores to h may alias the plan. */
    const ZoomShuffle* s = &z->shuffle;
    const int32_t* off = s->off;
    const uint8_t* index = s->index;
    const float* weight = s->weight;
    const int* xTap = s->stride ? s->packTap : z->xTap;
    srow = packRow(z, srow);
    const Dim sp = z->srcPix, nch = z->nch, runs = s->runs;
    const Dim count = (Dim)z->width * nch;
    const __m256i step = _mm256_set1_epi32((int)sp);
#define CUBIC_STORE(i0, i1, i2, i3)                                                              \
    do {                                                                                         \
        const float* c = weight + 24 * g;                                                        \
        _mm256_storeu_ps(h + 8 * g,                                                              \
                         cubic8(_mm256_cvtepi32_ps(i0), _mm256_cvtepi32_ps(i1),                  \
                                _mm256_cvtepi32_ps(i2), _mm256_cvtepi32_ps(i3),                  \
                                _mm256_load_ps(c), _mm256_load_ps(c + 8),                        \
                                _mm256_load_ps(c + 16)));                                        \
    } while (0)
#define PICK(win, sel) _mm256_shuffle_epi8(win, sel)
    Dim g = 0;
    for (Dim r = 0; r < runs; ++r) {
        const Dim end = s->runEnd[r];
        switch (s->runKind[r]) {
        case GROUP_SHARED_WINDOW:
            for (; g < end; ++g) {
                const __m256i win =
                    _mm256_broadcastsi128_si256(_mm_loadu_si128((const __m128i*)(srow + off[2 * g])));
                const __m256i s0 = picker(index + 8 * g, _mm256_setzero_si256());
                const __m256i s1 = _mm256_add_epi32(s0, step), s2 = _mm256_add_epi32(s1, step);
                CUBIC_STORE(PICK(win, s0), PICK(win, s1), PICK(win, s2),
                            PICK(win, _mm256_add_epi32(s2, step)));
            }
            break;
        case GROUP_ONE_WINDOW:
            for (; g < end; ++g) {
                const __m256i win = windows(srow + off[2 * g], srow + off[2 * g + 1]);
                const __m256i s0 = picker(index + 8 * g, _mm256_setzero_si256());
                const __m256i s1 = _mm256_add_epi32(s0, step), s2 = _mm256_add_epi32(s1, step);
                CUBIC_STORE(PICK(win, s0), PICK(win, s1), PICK(win, s2),
                            PICK(win, _mm256_add_epi32(s2, step)));
            }
            break;
        case GROUP_TAP_WINDOWS:
            for (; g < end; ++g) {
                const uint8_t* lo = srow + off[2 * g];
                const uint8_t* hi = srow + off[2 * g + 1];
                const __m256i sel = picker(index + 8 * g, _mm256_setzero_si256());
                CUBIC_STORE(PICK(windows(lo, hi), sel), PICK(windows(lo + sp, hi + sp), sel),
                            PICK(windows(lo + 2 * sp, hi + 2 * sp), sel),
                            PICK(windows(lo + 3 * sp, hi + 3 * sp), sel));
            }
            break;
        default:
            for (Dim e = 8 * g; e < 8 * end; ++e) {
                const Dim i = e / nch, ch = e % nch;
                h[e] = cubicElement(srow + xTap[i] + ch, sp, z->xw + 3 * i);
            }
            g = end;
            break;
        }
    }
#undef PICK
#undef CUBIC_STORE
    for (Dim e = 8 * g; e < count; ++e) {
        const Dim i = e / nch, ch = e % nch;
        h[e] = cubicElement(srow + xTap[i] + ch, sp, z->xw + 3 * i);
    }
}

/* The vertical cubic in float and the 8-bit store: trunc(v + 1e-7) in double
 * is the truncation of v except at 1 - 2^-24, which becomes 1; the packs
 * clamp to 0..255. */
AVX2 static inline __m256i cubicTrunc(float* const r[4], Dim k, __m256 c1, __m256 c2, __m256 c3)
{
    const __m256 v = cubic8(_mm256_loadu_ps(r[0] + k), _mm256_loadu_ps(r[1] + k),
                            _mm256_loadu_ps(r[2] + k), _mm256_loadu_ps(r[3] + k), c1, c2, c3);
    const __m256 belowOne = _mm256_set1_ps(0.99999994f);
    return _mm256_sub_epi32(_mm256_cvttps_epi32(v),
                            _mm256_castps_si256(_mm256_cmp_ps(v, belowOne, _CMP_EQ_OQ)));
}

AVX2 Dim ownZoomCubicColumnAvx2(float* const r[4], const float* c, uint8_t* out, Dim count)
{
    const __m256 c1 = _mm256_set1_ps(c[0]), c2 = _mm256_set1_ps(c[1]), c3 = _mm256_set1_ps(c[2]);
    Dim e = 0;
    for (; e + 16 <= count; e += 16) {
        const __m256i q0 = cubicTrunc(r, e, c1, c2, c3), q1 = cubicTrunc(r, e + 8, c1, c2, c3);
        const __m128i w0 =
            _mm_packs_epi32(_mm256_castsi256_si128(q0), _mm256_extracti128_si256(q0, 1));
        const __m128i w1 =
            _mm_packs_epi32(_mm256_castsi256_si128(q1), _mm256_extracti128_si256(q1, 1));
        _mm_storeu_si128((__m128i*)(out + e), _mm_packus_epi16(w0, w1));
    }
    return e;
}

/* Four floats of each row as doubles, (1 - wy) h0 + wy h1 + 1e-7, truncated
 * to 32-bit integers. */
AVX2 static inline __m128i linearQuad(const float* h0, const float* h1, __m256d w0, __m256d w1,
                                      __m256d eps)
{
    const __m256d a = _mm256_cvtps_pd(_mm_loadu_ps(h0));
    const __m256d b = _mm256_cvtps_pd(_mm_loadu_ps(h1));
    return _mm256_cvttpd_epi32(
        _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(w0, a), _mm256_mul_pd(w1, b)), eps));
}

/* Sixteen 32-bit integers as bytes, saturated to 0..255: the packs work
 * within lanes (q0 low, q1 low, q0 high, q1 high), the permute puts the
 * four runs back in order. */
AVX2 static inline __m128i packBytes(__m256i q0, __m256i q1)
{
    const __m256i words = _mm256_packs_epi32(q0, q1);
    const __m256i bytes = _mm256_packus_epi16(words, words);
    return _mm256_castsi256_si128(
        _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 0, 0, 0, 0)));
}

/* Where a lane's bounds disagree (a nonzero lane of differ) and its a = h0
 * is not one whole number n with d = h1 - h0 = 0: (1 - wy) n + wy n in
 * double is within 2^-40 of n, so such a result is n, which the upper bound
 * holds. Flat areas are decided so. */
AVX2 static inline __m256i undecided(__m256 a, __m256 d, __m256i differ)
{
    const __m256 whole =
        _mm256_and_ps(_mm256_cmp_ps(d, _mm256_setzero_ps(), _CMP_EQ_OQ),
                      _mm256_cmp_ps(a, _mm256_cvtepi32_ps(_mm256_cvttps_epi32(a)), _CMP_EQ_OQ));
    return _mm256_andnot_si256(_mm256_castps_si256(whole), differ);
}

/* The sixteen bytes at element e of one destination row whose vertical
 * weight is wy (w broadcast), given a = h0 and d = h1 - h0 there. The
 * float value a + wy d and the truncations of it less and plus 2^-13: with
 * h0 and h1 below 256 in magnitude each float operation errs by at most
 * 2^-17, so the float value lies within 3 x 2^-17 of (1 - wy) h0 + wy h1,
 * and the double result plus 1e-7 lies strictly between the two bounds.
 * Where their truncations agree, that is the result's truncation; where
 * they do not for some element (see undecided), the sixteen go in double
 * as the portable kernel computes them. */
AVX2 static ALWAYS_INLINE void linearBlock(const float* h0, const float* h1, Dim e, __m256 a0,
                                           __m256 a1, __m256 d0, __m256 d1, __m256 w, float wy,
                                           uint8_t* out)
{
    const __m256 margin = _mm256_set1_ps(1.0f / 8192);
    const __m256 v0 = _mm256_add_ps(a0, _mm256_mul_ps(w, d0));
    const __m256 v1 = _mm256_add_ps(a1, _mm256_mul_ps(w, d1));
    const __m256i hi0 = _mm256_cvttps_epi32(_mm256_add_ps(v0, margin));
    const __m256i hi1 = _mm256_cvttps_epi32(_mm256_add_ps(v1, margin));
    const __m256i differ0 = _mm256_xor_si256(_mm256_cvttps_epi32(_mm256_sub_ps(v0, margin)), hi0);
    const __m256i differ1 = _mm256_xor_si256(_mm256_cvttps_epi32(_mm256_sub_ps(v1, margin)), hi1);
    const __m256i differ = _mm256_or_si256(differ0, differ1);
    if (__builtin_expect(!_mm256_testz_si256(differ, differ), 0)) {
        const __m256i open =
            _mm256_or_si256(undecided(a0, d0, differ0), undecided(a1, d1, differ1));
        if (!_mm256_testz_si256(open, open)) {
            const __m256d w1 = _mm256_set1_pd((double)wy), w0 = _mm256_set1_pd(1.0 - (double)wy);
            const __m256d eps = _mm256_set1_pd(1e-7);
            const __m128i q0 = linearQuad(h0 + e, h1 + e, w0, w1, eps);
            const __m128i q1 = linearQuad(h0 + e + 4, h1 + e + 4, w0, w1, eps);
            const __m128i q2 = linearQuad(h0 + e + 8, h1 + e + 8, w0, w1, eps);
            const __m128i q3 = linearQuad(h0 + e + 12, h1 + e + 12, w0, w1, eps);
            /* The packs saturate: below 0 gives 0, above 255 gives 255. */
            _mm_storeu_si128((__m128i*)(out + e),
                             _mm_packus_epi16(_mm_packs_epi32(q0, q1), _mm_packs_epi32(q2, q3)));
            return;
        }
    }
    _mm_storeu_si128((__m128i*)(out + e), packBytes(hi0, hi1));
}

AVX2 Dim ownZoomLinearColumnAvx2(const float* h0, const float* h1, float wy, uint8_t* out,
                                 Dim count)
{
    const __m256 w = _mm256_set1_ps(wy);
    Dim e = 0;
    for (; e + 16 <= count; e += 16) {
        const __m256 a0 = _mm256_loadu_ps(h0 + e), a1 = _mm256_loadu_ps(h0 + e + 8);
        linearBlock(h0, h1, e, a0, a1, _mm256_sub_ps(_mm256_loadu_ps(h1 + e), a0),
                    _mm256_sub_ps(_mm256_loadu_ps(h1 + e + 8), a1), w, wy, out);
    }
    return e;
}

/* ownZoomLinearColumnAvx2 of n destination rows between the same source
 * rows: the loads and the differences b - a serve all of them. */
AVX2 static ALWAYS_INLINE Dim linearColumns(const float* h0, const float* h1, const float* wy,
                                            uint8_t* const* out, int n, Dim count)
{
    const __m256 w0 = _mm256_set1_ps(wy[0]), w1 = _mm256_set1_ps(wy[1]);
    const __m256 w2 = _mm256_set1_ps(n > 2 ? wy[2] : 0.0f), w3 = _mm256_set1_ps(n > 3 ? wy[3] : 0.0f);
    Dim e = 0;
    for (; e + 16 <= count; e += 16) {
        const __m256 a0 = _mm256_loadu_ps(h0 + e), a1 = _mm256_loadu_ps(h0 + e + 8);
        const __m256 d0 = _mm256_sub_ps(_mm256_loadu_ps(h1 + e), a0);
        const __m256 d1 = _mm256_sub_ps(_mm256_loadu_ps(h1 + e + 8), a1);
        linearBlock(h0, h1, e, a0, a1, d0, d1, w0, wy[0], out[0]);
        linearBlock(h0, h1, e, a0, a1, d0, d1, w1, wy[1], out[1]);
        if (n > 2)
            linearBlock(h0, h1, e, a0, a1, d0, d1, w2, wy[2], out[2]);
        if (n > 3)
            linearBlock(h0, h1, e, a0, a1, d0, d1, w3, wy[3], out[3]);
    }
    return e;
}

AVX2 Dim ownZoomLinearColumnsAvx2(const float* h0, const float* h1, const float* wy,
                                  uint8_t* const* out, int n, Dim count)
{
    switch (n) {
    case 2: return linearColumns(h0, h1, wy, out, 2, count);
    case 3: return linearColumns(h0, h1, wy, out, 3, count);
    case 4: return linearColumns(h0, h1, wy, out, 4, count);
    default: return 0;
    }
}

#else

Dim ownZoomLinearColumnsAvx2(const float* h0, const float* h1, const float* wy,
                             uint8_t* const* out, int n, Dim count)
{
    (void)h0; (void)h1; (void)wy; (void)out; (void)n; (void)count;
    return 0;
}

void ownZoomCubicRowAvx2(const ZoomPlan* z, const uint8_t* srow, float* h)
{
    (void)z; (void)srow; (void)h;
}

Dim ownZoomCubicColumnAvx2(float* const r[4], const float* c, uint8_t* out, Dim count)
{
    (void)r; (void)c; (void)out; (void)count;
    return 0;
}

void ownZoomNearestRowAvx2(const ZoomShuffle* shuffle, const uint8_t* srow, uint8_t* drow,
                           const uint8_t* ahead)
{
    (void)shuffle; (void)srow; (void)drow; (void)ahead;
}

void ownZoomNearestSparsePassAvx2(const ZoomPlan* z, const char* src, char* dst)
{
    (void)z; (void)src; (void)dst;
}

void ownZoomLinearSparseRowsAvx2(const ZoomPlan* z, const uint8_t* const rows[],
                                 const uint8_t* const ahead[], float* const h[], int n)
{
    (void)z; (void)rows; (void)ahead; (void)h; (void)n;
}

void ownZoomLinearRowAvx2(const ZoomPlan* z, const uint8_t* srow, float* h, const uint8_t* ahead)
{
    (void)z; (void)srow; (void)h; (void)ahead;
}

Dim ownZoomLinearColumnAvx2(const float* h0, const float* h1, float wy, uint8_t* out,
                            Dim count)
{
    (void)h0; (void)h1; (void)wy; (void)out; (void)count;
    return 0;
}

#endif
