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
    const uint8_t* mask = s->mask;
    const float* weight = s->weight;
    const int* xTap = z->xTap;
    const Dim sp = z->srcPix, nch = z->nch, runs = s->runs;
    const Dim count = (Dim)z->width * nch;
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
                const uint8_t* m = mask + 64 * g;
                _mm_prefetch((const char*)ahead + off[2 * g], _MM_HINT_T0);
                const __m256i win =
                    _mm256_broadcastsi128_si256(_mm_loadu_si128((const __m128i*)(srow + off[2 * g])));
                LINEAR_STORE(_mm256_shuffle_epi8(win, _mm256_load_si256((const __m256i*)m)),
                             _mm256_shuffle_epi8(win, _mm256_load_si256((const __m256i*)(m + 32))));
            }
            break;
        case GROUP_ONE_WINDOW:
            for (; g < end; ++g) {
                const uint8_t* m = mask + 64 * g;
                _mm_prefetch((const char*)ahead + off[2 * g], _MM_HINT_T0);
                const __m256i win = windows(srow + off[2 * g], srow + off[2 * g + 1]);
                LINEAR_STORE(_mm256_shuffle_epi8(win, _mm256_load_si256((const __m256i*)m)),
                             _mm256_shuffle_epi8(win, _mm256_load_si256((const __m256i*)(m + 32))));
            }
            break;
        case GROUP_TWO_WINDOWS:
            for (; g < end; ++g) {
                const uint8_t* lo = srow + off[2 * g];
                const uint8_t* hi = srow + off[2 * g + 1];
                _mm_prefetch((const char*)ahead + off[2 * g], _MM_HINT_T0);
                const __m256i sel = _mm256_load_si256((const __m256i*)(mask + 64 * g));
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
