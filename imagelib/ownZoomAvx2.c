/* The zoom's AVX2 rows. Each performs the same IEEE operations in the same
 * order as the portable kernels (no fused multiply-add: the file is built
 * with floating-point contraction off), only more elements at a time, so
 * the pixels do not depend on the path. Callers check ownVectorLevel. */
#include "ownzoom.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>
#include <string.h>

#define AVX2 __attribute__((target("avx2")))

AVX2 void ownZoomNearestRowAvx2(const ZoomShuffle* shuffle, const uint8_t* srow, uint8_t* drow)
{
    const int32_t* off = shuffle->off;
    const uint8_t* mask = shuffle->mask;
    const uint8_t* count = shuffle->count;
    for (Dim g = 0; g < shuffle->groups; ++g) {
        const __m128i window = _mm_loadu_si128((const __m128i*)(srow + off[g]));
        const __m128i picked =
            _mm_shuffle_epi8(window, _mm_load_si128((const __m128i*)(mask + 16 * g)));
        /* The bytes past count[g] are rewritten by the next group; the
         * groups end 16 bytes before the row does. */
        _mm_storeu_si128((__m128i*)drow, picked);
        drow += count[g];
    }
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
    const int* xTap = z->xTap;
    const Dim sp = z->srcPix, nch = z->nch, runs = s->runs;
    const Dim count = (Dim)z->width * nch;
    const __m256i none = _mm256_setzero_si256(), next = _mm256_set1_epi32((int)sp);
#define LINEAR_STORE(ia, ib)                                                                      \
    do {                                                                                          \
        const __m256 a = _mm256_cvtepi32_ps(ia), b = _mm256_cvtepi32_ps(ib);                     \
        _mm256_storeu_ps(h + 8 * g, _mm256_add_ps(a, _mm256_mul_ps(_mm256_load_ps(weight + 8 * g), \
                                                                   _mm256_sub_ps(b, a))));        \
    } while (0)
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

AVX2 void ownZoomCubicRowAvx2(const ZoomPlan* z, const uint8_t* srow, float* h)
{
    /* Locals: the stores to h may alias the plan. */
    const ZoomShuffle* s = &z->shuffle;
    const int32_t* off = s->off;
    const uint8_t* index = s->index;
    const float* weight = s->weight;
    const int* xTap = z->xTap;
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

AVX2 Dim ownZoomLinearColumnAvx2(const float* h0, const float* h1, float wy, uint8_t* out,
                                 Dim count)
{
    const __m256d w1 = _mm256_set1_pd((double)wy), w0 = _mm256_set1_pd(1.0 - (double)wy);
    const __m256d eps = _mm256_set1_pd(1e-7);
    Dim e = 0;
    for (; e + 16 <= count; e += 16) {
        const __m128i q0 = linearQuad(h0 + e, h1 + e, w0, w1, eps);
        const __m128i q1 = linearQuad(h0 + e + 4, h1 + e + 4, w0, w1, eps);
        const __m128i q2 = linearQuad(h0 + e + 8, h1 + e + 8, w0, w1, eps);
        const __m128i q3 = linearQuad(h0 + e + 12, h1 + e + 12, w0, w1, eps);
        /* The packs saturate: below 0 gives 0, above 255 gives 255. */
        _mm_storeu_si128((__m128i*)(out + e),
                         _mm_packus_epi16(_mm_packs_epi32(q0, q1), _mm_packs_epi32(q2, q3)));
    }
    return e;
}

#else

void ownZoomCubicRowAvx2(const ZoomPlan* z, const uint8_t* srow, float* h)
{
    (void)z; (void)srow; (void)h;
}

Dim ownZoomCubicColumnAvx2(float* const r[4], const float* c, uint8_t* out, Dim count)
{
    (void)r; (void)c; (void)out; (void)count;
    return 0;
}

void ownZoomNearestRowAvx2(const ZoomShuffle* shuffle, const uint8_t* srow, uint8_t* drow)
{
    (void)shuffle; (void)srow; (void)drow;
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
