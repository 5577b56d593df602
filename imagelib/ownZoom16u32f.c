/* The zoom's SSE2 rows of 16-bit and float images: the portable kernels'
 * float passes (a + w (b - a); the cubic by Newton's forward differences)
 * and double vertical linear pass, the same IEEE operations in the same
 * order, four floats or two doubles at a time. 16-bit elements become
 * floats exactly. Without SSE2 the functions do nothing and return 0. */
#include "ownzoom.h"

#if defined(__SSE2__)

#include <emmintrin.h>
#include <string.h>

#define INLINE static inline __attribute__((always_inline))

/* Four elements from element e on, as floats. */
INLINE __m128 load4(const char* base, Dim e, int kind)
{
    if (kind == K32F)
        return _mm_loadu_ps((const float*)base + e);
    const __m128i v = _mm_loadl_epi64((const __m128i*)((const uint16_t*)base + e));
    return _mm_cvtepi32_ps(_mm_unpacklo_epi16(v, _mm_setzero_si128()));
}

INLINE float load1(const char* base, Dim e, int kind)
{
    return kind == K32F ? ((const float*)base)[e] : (float)((const uint16_t*)base)[e];
}

/* Elements e and e + 1 of a 16-bit row as one 32-bit word. */
INLINE int pairWord(const char* base, Dim e)
{
    uint32_t w;
    memcpy(&w, (const uint16_t*)base + e, 4);
    return (int)w;
}

/* The taps a (element t) and b (element t + 1) of four one-channel columns. */
INLINE void adjacentPairs(const char* s, const int* t, int kind, __m128* a, __m128* b)
{
    if (kind == K32F) {
        const float* f = (const float*)s;
#define PAIRS(p, q)                                                                               \
    _mm_loadh_pi(_mm_castsi128_ps(_mm_loadl_epi64((const __m128i*)(p))), (const __m64*)(q))
        const __m128 p01 = PAIRS(f + t[0], f + t[1]);
        const __m128 p23 = PAIRS(f + t[2], f + t[3]);
#undef PAIRS
        *a = _mm_shuffle_ps(p01, p23, _MM_SHUFFLE(2, 0, 2, 0));
        *b = _mm_shuffle_ps(p01, p23, _MM_SHUFFLE(3, 1, 3, 1));
        return;
    }
    const __m128i w01 = _mm_unpacklo_epi32(_mm_cvtsi32_si128(pairWord(s, t[0])),
                                           _mm_cvtsi32_si128(pairWord(s, t[1])));
    const __m128i w23 = _mm_unpacklo_epi32(_mm_cvtsi32_si128(pairWord(s, t[2])),
                                           _mm_cvtsi32_si128(pairWord(s, t[3])));
    const __m128i w = _mm_unpacklo_epi64(w01, w23);
    *a = _mm_cvtepi32_ps(_mm_and_si128(w, _mm_set1_epi32(0xffff)));
    *b = _mm_cvtepi32_ps(_mm_srli_epi32(w, 16));
}

/* Element t + off of four columns, one lane each. */
INLINE __m128 spreadTaps(const char* s, const int* t, Dim off, int kind)
{
    return _mm_setr_ps(load1(s, t[0] + off, kind), load1(s, t[1] + off, kind),
                       load1(s, t[2] + off, kind), load1(s, t[3] + off, kind));
}

INLINE __m128 lerp(__m128 a, __m128 b, __m128 w)
{
    return _mm_add_ps(a, _mm_mul_ps(w, _mm_sub_ps(b, a)));
}

INLINE Dim linearRow(const ZoomPlan* z, const char* s, float* h, int kind)
{
    const int nch = z->nch, sp = z->srcPix;
    const int* tap = z->xTap;
    const Dim width = z->width;
    Dim i = 0;
    if (nch == 1) {
        for (; i + 4 <= width; i += 4) {
            __m128 a, b;
            if (sp == 1) {
                adjacentPairs(s, tap + i, kind, &a, &b);
            } else {
                a = spreadTaps(s, tap + i, 0, kind);
                b = spreadTaps(s, tap + i, sp, kind);
            }
            _mm_storeu_ps(h + i, lerp(a, b, _mm_loadu_ps(z->xw + i)));
        }
        return i;
    }
    /* Whole pixels: a pixel's channels share a vector; the fourth lane of
     * a 3-channel pixel lands on the next pixel's first element, which
     * that pixel's store then writes, or in the row's padding. */
    if (!((nch == 3 || nch == 4) && sp >= nch && sp <= 4))
        return 0;
    const float* w4 = z->xw4;
    const Dim whole = z->loadable;
    for (; i < whole; ++i)
        _mm_storeu_ps(h + nch * i, lerp(load4(s, tap[i], kind), load4(s, tap[i] + sp, kind),
                                        _mm_load_ps(w4 + 4 * i)));
    return i;
}

Dim ownZoomLinearRow16u32fSse2(const ZoomPlan* z, const char* srow, float* h)
{
    return z->kind == K16U ? linearRow(z, srow, h, K16U) : linearRow(z, srow, h, K32F);
}

/* The portable cubicValue on four lanes. */
INLINE __m128 cubic4(__m128 f0, __m128 f1, __m128 f2, __m128 f3, __m128 c1, __m128 c2, __m128 c3)
{
    const __m128 two = _mm_set1_ps(2.0f), three = _mm_set1_ps(3.0f);
    const __m128 d1 = _mm_sub_ps(f1, f0);
    const __m128 d2 = _mm_add_ps(_mm_sub_ps(f2, _mm_mul_ps(two, f1)), f0);
    const __m128 d3 =
        _mm_sub_ps(_mm_add_ps(_mm_sub_ps(f3, _mm_mul_ps(three, f2)), _mm_mul_ps(three, f1)), f0);
    return _mm_add_ps(_mm_add_ps(_mm_add_ps(f0, _mm_mul_ps(c1, d1)), _mm_mul_ps(c2, d2)),
                      _mm_mul_ps(c3, d3));
}

INLINE Dim cubicRow(const ZoomPlan* z, const char* s, float* h, int kind)
{
    const int nch = z->nch, sp = z->srcPix;
    const int* tap = z->xTap;
    const float* c = z->xw4;
    const Dim width = z->width;
    Dim i = 0;
    if (nch == 1) {
        /* Four columns a vector; the coefficients as three runs. */
        for (; i + 4 <= width; i += 4) {
            __m128 f0, f1, f2, f3;
            if (sp == 1) {
                f0 = load4(s, tap[i], kind);
                f1 = load4(s, tap[i + 1], kind);
                f2 = load4(s, tap[i + 2], kind);
                f3 = load4(s, tap[i + 3], kind);
                _MM_TRANSPOSE4_PS(f0, f1, f2, f3);
            } else {
                f0 = spreadTaps(s, tap + i, 0, kind);
                f1 = spreadTaps(s, tap + i, sp, kind);
                f2 = spreadTaps(s, tap + i, 2 * sp, kind);
                f3 = spreadTaps(s, tap + i, 3 * sp, kind);
            }
            _mm_storeu_ps(h + i, cubic4(f0, f1, f2, f3, _mm_loadu_ps(c + i),
                                        _mm_loadu_ps(c + width + i),
                                        _mm_loadu_ps(c + 2 * width + i)));
        }
        return i;
    }
    if (!((nch == 3 || nch == 4) && sp >= nch && sp <= 4))
        return 0;
    const Dim whole = z->loadable;
    for (; i < whole; ++i) {
        const Dim t = tap[i];
        const float* ci = c + 12 * i;
        _mm_storeu_ps(h + nch * i,
                      cubic4(load4(s, t, kind), load4(s, t + sp, kind), load4(s, t + 2 * sp, kind),
                             load4(s, t + 3 * sp, kind), _mm_load_ps(ci), _mm_load_ps(ci + 4),
                             _mm_load_ps(ci + 8)));
    }
    return i;
}

Dim ownZoomCubicRow16u32fSse2(const ZoomPlan* z, const char* srow, float* h)
{
    return z->kind == K16U ? cubicRow(z, srow, h, K16U) : cubicRow(z, srow, h, K32F);
}

/* Four 32-bit integers as the low four 16-bit words, saturated to 0..65535. */
INLINE __m128i pack16(__m128i q)
{
    const __m128i half = _mm_set1_epi32(32768);
    const __m128i s = _mm_packs_epi32(_mm_sub_epi32(q, half), _mm_setzero_si128());
    return _mm_xor_si128(s, _mm_set1_epi16((short)0x8000));
}

/* (1 - wy) h0 + wy h1 in double for two elements of each row. */
INLINE __m128d linearPair(const float* h0, const float* h1, __m128d w0, __m128d w1)
{
    const __m128d a = _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64((const __m128i*)h0)));
    const __m128d b = _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64((const __m128i*)h1)));
    return _mm_add_pd(_mm_mul_pd(w0, a), _mm_mul_pd(w1, b));
}

/* The 16-bit store of two doubles: + 1e-7, truncated. The weights lie in
 * -1e-7 .. 1, so the values stay far within the 32-bit range, and the
 * saturation of pack16 is the clamp to 0..65535. */
INLINE __m128i store16Pair(__m128d v)
{
    return _mm_cvttpd_epi32(_mm_add_pd(v, _mm_set1_pd(1e-7)));
}

INLINE Dim linearColumn(const float* h0, const float* h1, float wy, void* out, Dim count,
                        int kind)
{
    const __m128d w1 = _mm_set1_pd((double)wy), w0 = _mm_set1_pd(1.0 - (double)wy);
    Dim e = 0;
    for (; e + 4 <= count; e += 4) {
        const __m128d lo = linearPair(h0 + e, h1 + e, w0, w1);
        const __m128d hi = linearPair(h0 + e + 2, h1 + e + 2, w0, w1);
        if (kind == K32F) {
            _mm_storeu_ps((float*)out + e, _mm_movelh_ps(_mm_cvtpd_ps(lo), _mm_cvtpd_ps(hi)));
        } else {
            const __m128i q = _mm_unpacklo_epi64(store16Pair(lo), store16Pair(hi));
            _mm_storel_epi64((__m128i*)((uint16_t*)out + e), pack16(q));
        }
    }
    return e;
}

Dim ownZoomLinearColumn16u32fSse2(int kind, const float* h0, const float* h1, float wy,
                                  void* out, Dim count)
{
    return kind == K16U ? linearColumn(h0, h1, wy, out, count, K16U)
                        : linearColumn(h0, h1, wy, out, count, K32F);
}

/* The cubic's 16-bit store: trunc(v + 1e-7) in double of a float v is the
 * truncation of v except at 1 - 2^-24, which becomes 1. The overshoot of the
 * cubic is a few times the range at most, far within the 32-bit range, and
 * pack16 saturates to 0..65535 as the clamp does. */
INLINE __m128i store16Cubic(__m128 v)
{
    return _mm_sub_epi32(_mm_cvttps_epi32(v),
                         _mm_castps_si128(_mm_cmpeq_ps(v, _mm_set1_ps(0.99999994f))));
}

INLINE Dim cubicColumn(float* const r[4], const float* c, void* out, Dim count, int kind)
{
    const __m128 c1 = _mm_set1_ps(c[0]), c2 = _mm_set1_ps(c[1]), c3 = _mm_set1_ps(c[2]);
    Dim e = 0;
    for (; e + 4 <= count; e += 4) {
        const __m128 v = cubic4(_mm_loadu_ps(r[0] + e), _mm_loadu_ps(r[1] + e),
                                _mm_loadu_ps(r[2] + e), _mm_loadu_ps(r[3] + e), c1, c2, c3);
        if (kind == K32F)
            _mm_storeu_ps((float*)out + e, v);
        else
            _mm_storel_epi64((__m128i*)((uint16_t*)out + e), pack16(store16Cubic(v)));
    }
    return e;
}

Dim ownZoomCubicColumn16u32fSse2(int kind, float* const r[4], const float* c, void* out,
                                 Dim count)
{
    return kind == K16U ? cubicColumn(r, c, out, count, K16U) : cubicColumn(r, c, out, count, K32F);
}

#else

Dim ownZoomLinearRow16u32fSse2(const ZoomPlan* z, const char* srow, float* h)
{
    (void)z; (void)srow; (void)h;
    return 0;
}

Dim ownZoomCubicRow16u32fSse2(const ZoomPlan* z, const char* srow, float* h)
{
    (void)z; (void)srow; (void)h;
    return 0;
}

Dim ownZoomLinearColumn16u32fSse2(int kind, const float* h0, const float* h1, float wy,
                                  void* out, Dim count)
{
    (void)kind; (void)h0; (void)h1; (void)wy; (void)out; (void)count;
    return 0;
}

Dim ownZoomCubicColumn16u32fSse2(int kind, float* const r[4], const float* c, void* out,
                                 Dim count)
{
    (void)kind; (void)r; (void)c; (void)out; (void)count;
    return 0;
}

#endif
