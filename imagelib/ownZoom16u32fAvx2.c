/* The zoom's AVX2 rows of 16-bit and float images: the operations of the
 * portable kernels (and of their SSE2 rows) in the same order, eight floats
 * or four doubles at a time. Built with floating-point contraction off, so
 * no multiply-add is fused. Callers check ownVectorLevel. */
#include "ownzoom.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>
#include <string.h>

#define AVX2 __attribute__((target("avx2")))
#define INLINE static inline __attribute__((always_inline))

/* Four elements at e into the low lane, four at f into the high one. */
AVX2 INLINE __m256 load4x2(const char* base, Dim e, Dim f, int kind)
{
    if (kind == K32F)
        return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps((const float*)base + e)),
                                    _mm_loadu_ps((const float*)base + f), 1);
    const uint16_t* s = (const uint16_t*)base;
    const __m128i v = _mm_unpacklo_epi64(_mm_loadl_epi64((const __m128i*)(s + e)),
                                         _mm_loadl_epi64((const __m128i*)(s + f)));
    return _mm256_cvtepi32_ps(_mm256_cvtepu16_epi32(v));
}

AVX2 INLINE __m256 lerp8(__m256 a, __m256 b, __m256 w)
{
    return _mm256_add_ps(a, _mm256_mul_ps(w, _mm256_sub_ps(b, a)));
}

static inline int word32(const void* p)
{
    int32_t w;
    memcpy(&w, p, 4);
    return w;
}

/* Eight one-channel columns whose taps a and b are adjacent elements. */
AVX2 INLINE void adjacentPairs8(const char* s, const int* t, int kind, __m256* a, __m256* b)
{
    if (kind == K32F) {
        const float* f = (const float*)s;
#define PAIRS(p, q)                                                                               \
    _mm_loadh_pi(_mm_castsi128_ps(_mm_loadl_epi64((const __m128i*)(p))), (const __m64*)(q))
        const __m256 lo = _mm256_insertf128_ps(_mm256_castps128_ps256(PAIRS(f + t[0], f + t[1])),
                                               PAIRS(f + t[4], f + t[5]), 1);
        const __m256 hi = _mm256_insertf128_ps(_mm256_castps128_ps256(PAIRS(f + t[2], f + t[3])),
                                               PAIRS(f + t[6], f + t[7]), 1);
#undef PAIRS
        *a = _mm256_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0));
        *b = _mm256_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1));
        return;
    }
    const uint16_t* u = (const uint16_t*)s;
    __m128i lo = _mm_cvtsi32_si128(word32(u + t[0]));
    __m128i hi = _mm_cvtsi32_si128(word32(u + t[4]));
    lo = _mm_insert_epi32(lo, word32(u + t[1]), 1);
    hi = _mm_insert_epi32(hi, word32(u + t[5]), 1);
    lo = _mm_insert_epi32(lo, word32(u + t[2]), 2);
    hi = _mm_insert_epi32(hi, word32(u + t[6]), 2);
    lo = _mm_insert_epi32(lo, word32(u + t[3]), 3);
    hi = _mm_insert_epi32(hi, word32(u + t[7]), 3);
    const __m256i w = _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
    *a = _mm256_cvtepi32_ps(_mm256_and_si256(w, _mm256_set1_epi32(0xffff)));
    *b = _mm256_cvtepi32_ps(_mm256_srli_epi32(w, 16));
}

/* Element t + off of eight one-channel columns, gathered. A 16-bit
 * element is read as the high half of the word that ends with it (off > 0:
 * the element before lies within the pixel) or the low half of the one
 * that starts with it (off 0: the element after lies within the pixel). */
AVX2 INLINE __m256 gatherTaps(const char* s, __m256i t, Dim off, int kind)
{
    if (kind == K32F)
        return _mm256_i32gather_ps((const float*)s + off, t, 4);
    if (off == 0)
        return _mm256_cvtepi32_ps(_mm256_and_si256(
            _mm256_i32gather_epi32((const int*)s, t, 2), _mm256_set1_epi32(0xffff)));
    return _mm256_cvtepi32_ps(_mm256_srli_epi32(
        _mm256_i32gather_epi32((const int*)((const uint16_t*)s + off - 1), t, 2), 16));
}

/* Eight one-channel columns whose taps are the sixteen elements from t on
 * (halving): a the even ones, b the odd ones. */
AVX2 INLINE void stridedPairs8(const char* s, Dim t, int kind, __m256* a, __m256* b)
{
    if (kind == K32F) {
        const float* f = (const float*)s + t;
        const __m256 lo = _mm256_loadu_ps(f), hi = _mm256_loadu_ps(f + 8);
        /* Per lane the pairs of both halves; the 64-bit quarters put back
         * in order. */
        *a = _mm256_castpd_ps(_mm256_permute4x64_pd(
            _mm256_castps_pd(_mm256_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0))),
            _MM_SHUFFLE(3, 1, 2, 0)));
        *b = _mm256_castpd_ps(_mm256_permute4x64_pd(
            _mm256_castps_pd(_mm256_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1))),
            _MM_SHUFFLE(3, 1, 2, 0)));
        return;
    }
    const __m256i w = _mm256_loadu_si256((const __m256i*)((const uint16_t*)s + t));
    *a = _mm256_cvtepi32_ps(_mm256_and_si256(w, _mm256_set1_epi32(0xffff)));
    *b = _mm256_cvtepi32_ps(_mm256_srli_epi32(w, 16));
}

AVX2 INLINE Dim linearRow(const ZoomPlan* z, const char* s, float* h, const char* ahead,
                          int kind)
{
    const int nch = z->nch, sp = z->srcPix;
    const int* tap = z->xTap;
    const uint8_t* strided = z->strided; /* locals, as in linearJoined */
    const float* xw = z->xw;
    const Dim width = z->width, eb = kind == K32F ? 4 : 2;
    Dim i = 0;
    if (nch == 1) {
        for (; i + 8 <= width; i += 8) {
            _mm_prefetch(ahead + tap[i] * eb, _MM_HINT_T0);
            _mm_prefetch(ahead + tap[i + 7] * eb, _MM_HINT_T0);
            __m256 a, b;
            if (strided && strided[i / 8]) {
                stridedPairs8(s, tap[i], kind, &a, &b);
            } else if (sp == 1) {
                adjacentPairs8(s, tap + i, kind, &a, &b);
            } else {
                const __m256i t = _mm256_loadu_si256((const __m256i*)(tap + i));
                a = gatherTaps(s, t, 0, kind);
                b = gatherTaps(s, t, sp, kind);
            }
            _mm256_storeu_ps(h + i, lerp8(a, b, _mm256_loadu_ps(xw + i)));
        }
        return i;
    }
    if (!((nch == 3 || nch == 4) && sp >= nch && sp <= 4))
        return 0;
    /* Two whole pixels a vector, one per lane; a 3-channel pixel's fourth
     * lane is written over by the next pixel's store (see the SSE2 rows). */
    const float* w4 = z->xw4;
    const Dim whole = z->loadable;
    for (; i + 2 <= whole; i += 2) {
        const Dim t0 = tap[i], t1 = tap[i + 1];
        _mm_prefetch(ahead + t0 * eb, _MM_HINT_T0);
        const __m256 v = lerp8(load4x2(s, t0, t1, kind), load4x2(s, t0 + sp, t1 + sp, kind),
                               _mm256_load_ps(w4 + 4 * i));
        if (nch == 4) {
            _mm256_storeu_ps(h + 4 * i, v);
        } else {
            _mm_storeu_ps(h + 3 * i, _mm256_castps256_ps128(v));
            _mm_storeu_ps(h + 3 * i + 3, _mm256_extractf128_ps(v, 1));
        }
    }
    return i;
}

AVX2 Dim ownZoomLinearRow16u32fAvx2(const ZoomPlan* z, const char* srow, float* h,
                                    const char* ahead)
{
    return z->kind == K16U ? linearRow(z, srow, h, ahead, K16U)
                           : linearRow(z, srow, h, ahead, K32F);
}

/* The portable cubicValue on eight lanes. */
AVX2 INLINE __m256 cubic8(__m256 f0, __m256 f1, __m256 f2, __m256 f3, __m256 c1, __m256 c2,
                          __m256 c3)
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

/* The four lanes' transpose within each 128-bit half. */
AVX2 INLINE void transpose4x2(__m256* f0, __m256* f1, __m256* f2, __m256* f3)
{
    const __m256 t0 = _mm256_unpacklo_ps(*f0, *f1), t1 = _mm256_unpacklo_ps(*f2, *f3);
    const __m256 t2 = _mm256_unpackhi_ps(*f0, *f1), t3 = _mm256_unpackhi_ps(*f2, *f3);
    *f0 = _mm256_shuffle_ps(t0, t1, _MM_SHUFFLE(1, 0, 1, 0));
    *f1 = _mm256_shuffle_ps(t0, t1, _MM_SHUFFLE(3, 2, 3, 2));
    *f2 = _mm256_shuffle_ps(t2, t3, _MM_SHUFFLE(1, 0, 1, 0));
    *f3 = _mm256_shuffle_ps(t2, t3, _MM_SHUFFLE(3, 2, 3, 2));
}

AVX2 INLINE Dim cubicRow(const ZoomPlan* z, const char* s, float* h, int kind)
{
    const int nch = z->nch, sp = z->srcPix;
    const int* tap = z->xTap;
    const float* c = z->xw4;
    const Dim width = z->width;
    Dim i = 0;
    if (nch == 1) {
        /* Eight columns a vector; the coefficients as three runs. */
        for (; i + 8 <= width; i += 8) {
            __m256 f0, f1, f2, f3;
            if (sp == 1) {
                /* Column k's four taps in row k % 4, lane k / 4. */
                f0 = load4x2(s, tap[i], tap[i + 4], kind);
                f1 = load4x2(s, tap[i + 1], tap[i + 5], kind);
                f2 = load4x2(s, tap[i + 2], tap[i + 6], kind);
                f3 = load4x2(s, tap[i + 3], tap[i + 7], kind);
                transpose4x2(&f0, &f1, &f2, &f3);
            } else {
                const __m256i t = _mm256_loadu_si256((const __m256i*)(tap + i));
                f0 = gatherTaps(s, t, 0, kind);
                f1 = gatherTaps(s, t, sp, kind);
                f2 = gatherTaps(s, t, 2 * sp, kind);
                f3 = gatherTaps(s, t, 3 * sp, kind);
            }
            _mm256_storeu_ps(h + i, cubic8(f0, f1, f2, f3, _mm256_loadu_ps(c + i),
                                           _mm256_loadu_ps(c + width + i),
                                           _mm256_loadu_ps(c + 2 * width + i)));
        }
        return i;
    }
    if (!((nch == 3 || nch == 4) && sp >= nch && sp <= 4))
        return 0;
    const Dim whole = z->loadable;
    for (; i + 2 <= whole; i += 2) {
        const Dim t0 = tap[i], t1 = tap[i + 1];
        const float* c0 = c + 12 * i;
        const float* c1 = c0 + 12;
#define COEF(q)                                                                                   \
    _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_load_ps(c0 + 4 * (q))), _mm_load_ps(c1 + 4 * (q)), 1)
        const __m256 v = cubic8(load4x2(s, t0, t1, kind), load4x2(s, t0 + sp, t1 + sp, kind),
                                load4x2(s, t0 + 2 * sp, t1 + 2 * sp, kind),
                                load4x2(s, t0 + 3 * sp, t1 + 3 * sp, kind), COEF(0), COEF(1),
                                COEF(2));
#undef COEF
        if (nch == 4) {
            _mm256_storeu_ps(h + 4 * i, v);
        } else {
            _mm_storeu_ps(h + 3 * i, _mm256_castps256_ps128(v));
            _mm_storeu_ps(h + 3 * i + 3, _mm256_extractf128_ps(v, 1));
        }
    }
    return i;
}

AVX2 Dim ownZoomCubicRow16u32fAvx2(const ZoomPlan* z, const char* srow, float* h)
{
    return z->kind == K16U ? cubicRow(z, srow, h, K16U) : cubicRow(z, srow, h, K32F);
}

/* (1 - wy) h0 + wy h1 in double for four elements of each row. */
AVX2 INLINE __m256d linearQuad(const float* h0, const float* h1, __m256d w0, __m256d w1)
{
    const __m256d a = _mm256_cvtps_pd(_mm_loadu_ps(h0));
    const __m256d b = _mm256_cvtps_pd(_mm_loadu_ps(h1));
    return _mm256_add_pd(_mm256_mul_pd(w0, a), _mm256_mul_pd(w1, b));
}

/* The 16-bit store of four doubles: + 1e-7, truncated. The weights lie in
 * -1e-7 .. 1, so the values stay far within the 32-bit range, and the
 * unsigned saturation of the pack that follows is the clamp to 0..65535. */
AVX2 INLINE __m128i store16Quad(__m256d v)
{
    return _mm256_cvttpd_epi32(_mm256_add_pd(v, _mm256_set1_pd(1e-7)));
}

AVX2 INLINE Dim linearColumn(const float* h0, const float* h1, float wy, void* out, Dim count,
                             int kind)
{
    const __m256d w1 = _mm256_set1_pd((double)wy), w0 = _mm256_set1_pd(1.0 - (double)wy);
    Dim e = 0;
    for (; e + 8 <= count; e += 8) {
        const __m256d lo = linearQuad(h0 + e, h1 + e, w0, w1);
        const __m256d hi = linearQuad(h0 + e + 4, h1 + e + 4, w0, w1);
        if (kind == K32F) {
            _mm_storeu_ps((float*)out + e, _mm256_cvtpd_ps(lo));
            _mm_storeu_ps((float*)out + e + 4, _mm256_cvtpd_ps(hi));
        } else {
            _mm_storeu_si128((__m128i*)((uint16_t*)out + e),
                             _mm_packus_epi32(store16Quad(lo), store16Quad(hi)));
        }
    }
    return e;
}

AVX2 Dim ownZoomLinearColumn16u32fAvx2(int kind, const float* h0, const float* h1, float wy,
                                       void* out, Dim count)
{
    return kind == K16U ? linearColumn(h0, h1, wy, out, count, K16U)
                        : linearColumn(h0, h1, wy, out, count, K32F);
}

/* Both passes of one destination row of one channel whose two source rows
 * serve no other: the horizontal values stay in registers. */
AVX2 INLINE Dim linearJoined(const ZoomPlan* z, const char* s0, const char* s1, float wy,
                             void* out, const char* ahead, int kind)
{
    /* Locals: the stores to out may alias the plan, whose fields would be
     * read again every block. */
    const int* tap = z->xTap;
    const uint8_t* strided = z->strided;
    const float* xw = z->xw;
    const Dim width = z->width, eb = kind == K32F ? 4 : 2, step = s1 - s0;
    const __m256d w1 = _mm256_set1_pd((double)wy), w0 = _mm256_set1_pd(1.0 - (double)wy);
    Dim i = 0;
    for (; i + 8 <= width; i += 8) {
        _mm_prefetch(ahead + tap[i] * eb, _MM_HINT_T0);
        _mm_prefetch(ahead + tap[i + 7] * eb, _MM_HINT_T0);
        _mm_prefetch(ahead + step + tap[i] * eb, _MM_HINT_T0);
        _mm_prefetch(ahead + step + tap[i + 7] * eb, _MM_HINT_T0);
        __m256 a0, b0, a1, b1;
        if (strided && strided[i / 8]) {
            stridedPairs8(s0, tap[i], kind, &a0, &b0);
            stridedPairs8(s1, tap[i], kind, &a1, &b1);
        } else {
            adjacentPairs8(s0, tap + i, kind, &a0, &b0);
            adjacentPairs8(s1, tap + i, kind, &a1, &b1);
        }
        const __m256 wx = _mm256_loadu_ps(xw + i);
        const __m256 h0 = lerp8(a0, b0, wx), h1 = lerp8(a1, b1, wx);
        const __m256d lo = _mm256_add_pd(_mm256_mul_pd(w0, _mm256_cvtps_pd(_mm256_castps256_ps128(h0))),
                                         _mm256_mul_pd(w1, _mm256_cvtps_pd(_mm256_castps256_ps128(h1))));
        const __m256d hi =
            _mm256_add_pd(_mm256_mul_pd(w0, _mm256_cvtps_pd(_mm256_extractf128_ps(h0, 1))),
                          _mm256_mul_pd(w1, _mm256_cvtps_pd(_mm256_extractf128_ps(h1, 1))));
        if (kind == K32F) {
            _mm_storeu_ps((float*)out + i, _mm256_cvtpd_ps(lo));
            _mm_storeu_ps((float*)out + i + 4, _mm256_cvtpd_ps(hi));
        } else {
            _mm_storeu_si128((__m128i*)((uint16_t*)out + i),
                             _mm_packus_epi32(store16Quad(lo), store16Quad(hi)));
        }
    }
    return i;
}

AVX2 Dim ownZoomLinearJoined16u32fAvx2(const ZoomPlan* z, const char* row0, const char* row1,
                                       float wy, void* out, const char* ahead)
{
    if (z->nch != 1 || z->srcPix != 1)
        return 0;
    return z->kind == K16U ? linearJoined(z, row0, row1, wy, out, ahead, K16U)
                           : linearJoined(z, row0, row1, wy, out, ahead, K32F);
}

/* linearColumn of n (2 to 4) destination rows between the same two source
 * rows: each element of those is widened once for all of them. */
AVX2 INLINE Dim linearColumns(const float* h0, const float* h1, const float* wy, void* const* out,
                              int n, Dim count, int kind)
{
    __m256d w0[4], w1[4];
    for (int q = 0; q < n; ++q) {
        w1[q] = _mm256_set1_pd((double)wy[q]);
        w0[q] = _mm256_set1_pd(1.0 - (double)wy[q]);
    }
    Dim e = 0;
    for (; e + 8 <= count; e += 8) {
        const __m256d a0 = _mm256_cvtps_pd(_mm_loadu_ps(h0 + e));
        const __m256d a1 = _mm256_cvtps_pd(_mm_loadu_ps(h0 + e + 4));
        const __m256d b0 = _mm256_cvtps_pd(_mm_loadu_ps(h1 + e));
        const __m256d b1 = _mm256_cvtps_pd(_mm_loadu_ps(h1 + e + 4));
        for (int q = 0; q < n; ++q) {
            const __m256d lo = _mm256_add_pd(_mm256_mul_pd(w0[q], a0), _mm256_mul_pd(w1[q], b0));
            const __m256d hi = _mm256_add_pd(_mm256_mul_pd(w0[q], a1), _mm256_mul_pd(w1[q], b1));
            if (kind == K32F) {
                _mm_storeu_ps((float*)out[q] + e, _mm256_cvtpd_ps(lo));
                _mm_storeu_ps((float*)out[q] + e + 4, _mm256_cvtpd_ps(hi));
            } else {
                _mm_storeu_si128((__m128i*)((uint16_t*)out[q] + e),
                                 _mm_packus_epi32(store16Quad(lo), store16Quad(hi)));
            }
        }
    }
    return e;
}

AVX2 Dim ownZoomLinearColumns16u32fAvx2(int kind, const float* h0, const float* h1,
                                        const float* wy, void* const* out, int n, Dim count)
{
#define ROWS(rows)                                                                                \
    case rows:                                                                                    \
        return kind == K16U ? linearColumns(h0, h1, wy, out, rows, count, K16U)                  \
                            : linearColumns(h0, h1, wy, out, rows, count, K32F);
    switch (n) {
        ROWS(2)
        ROWS(3)
        ROWS(4)
    default: return 0;
    }
#undef ROWS
}

/* The cubic's 16-bit store (see the SSE2 rows): truncated, 1 - 2^-24 made
 * 1; the pack's saturation clamps. */
AVX2 INLINE __m256i store16Cubic(__m256 v)
{
    return _mm256_sub_epi32(
        _mm256_cvttps_epi32(v),
        _mm256_castps_si256(_mm256_cmp_ps(v, _mm256_set1_ps(0.99999994f), _CMP_EQ_OQ)));
}

AVX2 INLINE Dim cubicColumn(float* const r[4], const float* c, void* out, Dim count, int kind)
{
    const __m256 c1 = _mm256_set1_ps(c[0]), c2 = _mm256_set1_ps(c[1]), c3 = _mm256_set1_ps(c[2]);
    Dim e = 0;
    for (; e + 8 <= count; e += 8) {
        const __m256 v = cubic8(_mm256_loadu_ps(r[0] + e), _mm256_loadu_ps(r[1] + e),
                                _mm256_loadu_ps(r[2] + e), _mm256_loadu_ps(r[3] + e), c1, c2, c3);
        if (kind == K32F) {
            _mm256_storeu_ps((float*)out + e, v);
        } else {
            const __m256i q = store16Cubic(v);
            _mm_storeu_si128((__m128i*)((uint16_t*)out + e),
                             _mm_packus_epi32(_mm256_castsi256_si128(q),
                                              _mm256_extracti128_si256(q, 1)));
        }
    }
    return e;
}

AVX2 Dim ownZoomCubicColumn16u32fAvx2(int kind, float* const r[4], const float* c, void* out,
                                      Dim count)
{
    return kind == K16U ? cubicColumn(r, c, out, count, K16U) : cubicColumn(r, c, out, count, K32F);
}

#else

Dim ownZoomLinearJoined16u32fAvx2(const ZoomPlan* z, const char* row0, const char* row1, float wy,
                                  void* out, const char* ahead)
{
    (void)z; (void)row0; (void)row1; (void)wy; (void)out; (void)ahead;
    return 0;
}

Dim ownZoomLinearColumns16u32fAvx2(int kind, const float* h0, const float* h1, const float* wy,
                                   void* const* out, int n, Dim count)
{
    (void)kind; (void)h0; (void)h1; (void)wy; (void)out; (void)n; (void)count;
    return 0;
}

Dim ownZoomLinearRow16u32fAvx2(const ZoomPlan* z, const char* srow, float* h, const char* ahead)
{
    (void)z; (void)srow; (void)h; (void)ahead;
    return 0;
}

Dim ownZoomCubicRow16u32fAvx2(const ZoomPlan* z, const char* srow, float* h)
{
    (void)z; (void)srow; (void)h;
    return 0;
}

Dim ownZoomLinearColumn16u32fAvx2(int kind, const float* h0, const float* h1, float wy,
                                  void* out, Dim count)
{
    (void)kind; (void)h0; (void)h1; (void)wy; (void)out; (void)count;
    return 0;
}

Dim ownZoomCubicColumn16u32fAvx2(int kind, float* const r[4], const float* c, void* out,
                                 Dim count)
{
    (void)kind; (void)r; (void)c; (void)out; (void)count;
    return 0;
}

#endif
