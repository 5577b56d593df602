/* AVX2 rows of the exact half shrink by super-sampling: destination pixel i
 * of a row is the mean of pixels 2i and 2i + 1 of two source rows a and b,
 * with the two passes' own operations (see ownSuperHalfRowAvx2 in
 * owndecim.h). Pixels of 1 to 4 contiguous elements. */
#include "owndecim.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#define INLINE_AVX2 __attribute__((target("avx2"))) static inline __attribute__((always_inline))

/* Byte shuffles within each 16-byte lane that put the two taps of every
 * destination element side by side, for nch 1 to 4 (index nch - 1): 8-bit
 * lanes of 16 bytes (12 with 3 channels), and 16-bit lanes of 8 elements (6
 * with 3 channels). -1 clears a byte. */
static const int8_t pairBytes8[4][16] = {
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
    {0, 2, 1, 3, 4, 6, 5, 7, 8, 10, 9, 11, 12, 14, 13, 15},
    {0, 3, 1, 4, 2, 5, 6, 9, 7, 10, 8, 11, -1, -1, -1, -1},
    {0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15},
};
static const int8_t pairBytes16[4][16] = {
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
    {0, 1, 4, 5, 2, 3, 6, 7, 8, 9, 12, 13, 10, 11, 14, 15},
    {0, 1, 6, 7, 2, 3, 8, 9, 4, 5, 10, 11, -1, -1, -1, -1},
    {0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15},
};
/* With 3 channels each 8-byte result group holds 6 bytes: packs the two
 * groups of a lane into its first 12 bytes. */
static const int8_t packSix[16] = {0, 1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 13, -1, -1, -1, -1};

/* With prefetch set the source is prefetched this many bytes ahead of the
 * loads: past a row's end this reaches into the rows that follow. */
enum { HALF_PREFETCH = 2048 };

INLINE_AVX2 void prefetchAhead(const void* p, int prefetch)
{
    if (prefetch)
        _mm_prefetch((const char*)p + HALF_PREFETCH, _MM_HINT_T0);
}

INLINE_AVX2 __m256i lanes(const uint8_t* p, ptrdiff_t lane)
{
    if (lane == 16)
        return _mm256_loadu_si256((const __m256i*)p);
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128((const __m128i*)p)),
                                   _mm_loadu_si128((const __m128i*)(p + lane)), 1);
}

/* 8 and 16 bits: the four elements of every 2 x 2 block sum exactly, so the
 * mean is (sum + 2) >> 2. Each lane of the source rows gives 8 result bytes
 * (6 with 3 channels); four lanes make one step. Returns the destination
 * elements done. */
INLINE_AVX2 ptrdiff_t halfIntegers(const uint8_t* a, const uint8_t* b, ptrdiff_t readable,
                                   uint8_t* d, ptrdiff_t count, const ptrdiff_t nch,
                                   const int wide, const int prefetch)
{
    const ptrdiff_t eb = wide ? 2 : 1;
    const ptrdiff_t lane = nch == 3 ? 12 : 16;  /* source bytes per lane */
    const ptrdiff_t outBytes = nch == 3 ? 24 : 32;
    /* Bytes read and written per step: the last lane reads 16 bytes, and
     * with 3 channels the second 16-byte store ends 4 bytes on. */
    const ptrdiff_t reads = 3 * lane + 16, writes = nch == 3 ? 28 : 32;
    const __m256i pairs = _mm256_broadcastsi128_si256(
        _mm_loadu_si128((const __m128i*)(wide ? pairBytes16 : pairBytes8)[nch - 1]));
    const __m256i six = _mm256_broadcastsi128_si256(_mm_loadu_si128((const __m128i*)packSix));
    const __m256i ones8 = _mm256_set1_epi8(1), ones16 = _mm256_set1_epi16(1);
    const __m256i bias = _mm256_set1_epi16((short)0x8000);
    const __m256i two16 = _mm256_set1_epi16(2);
    /* Biased 16-bit pairs sum to a + b - 65536; four to the sum - 131072. */
    const __m256i unbias = _mm256_set1_epi32(131072 + 2);
    const ptrdiff_t readableBytes = readable * eb, countBytes = count * eb;
    ptrdiff_t o = 0; /* destination bytes done; the source is twice as far */
    for (; 2 * o + reads <= readableBytes && o + writes <= countBytes; o += outBytes) {
        const uint8_t* pa = a + 2 * o;
        const uint8_t* pb = b + 2 * o;
        prefetchAhead(pa, prefetch);
        prefetchAhead(pb, prefetch);
        __m256i r[2];
        for (int h = 0; h < 2; ++h) {
            const __m256i sa = _mm256_shuffle_epi8(lanes(pa + 2 * h * lane, lane), pairs);
            const __m256i sb = _mm256_shuffle_epi8(lanes(pb + 2 * h * lane, lane), pairs);
            if (wide) {
                const __m256i ta = _mm256_madd_epi16(_mm256_xor_si256(sa, bias), ones16);
                const __m256i tb = _mm256_madd_epi16(_mm256_xor_si256(sb, bias), ones16);
                const __m256i t = _mm256_add_epi32(ta, tb);
                r[h] = _mm256_srli_epi32(_mm256_add_epi32(t, unbias), 2);
            } else {
                const __m256i t = _mm256_add_epi16(_mm256_maddubs_epi16(sa, ones8),
                                                   _mm256_maddubs_epi16(sb, ones8));
                r[h] = _mm256_srli_epi16(_mm256_add_epi16(t, two16), 2);
            }
        }
        /* Lane results in destination order: lanes 0, 1 of r[0], then of r[1]. */
        __m256i out = wide ? _mm256_packus_epi32(r[0], r[1]) : _mm256_packus_epi16(r[0], r[1]);
        out = _mm256_permute4x64_epi64(out, 0xD8);
        if (nch == 3) {
            out = _mm256_shuffle_epi8(out, six);
            _mm_storeu_si128((__m128i*)(d + o), _mm256_castsi256_si128(out));
            _mm_storeu_si128((__m128i*)(d + o + 12), _mm256_extracti128_si256(out, 1));
        } else {
            _mm256_storeu_si256((__m256i*)(d + o), out);
        }
    }
    return o / eb;
}

INLINE_AVX2 __m256 verticalSum(const float* a, const float* b)
{
    return _mm256_add_ps(_mm256_loadu_ps(a), _mm256_loadu_ps(b));
}

/* Floats: the vertical pass sets each element to the upper row's (1 x it,
 * which is it) and adds the lower one; the horizontal pass adds the first of
 * the two columns to 0 (to -0, which changes nothing, for the row's first
 * destination pixel, which it sets) and then adds the second; the mean is
 * that times 0.25 in single precision, which is the double product rounded.
 * Returns the destination elements done. */
INLINE_AVX2 ptrdiff_t halfFloats(const float* a, const float* b, ptrdiff_t readable, float* d,
                                 ptrdiff_t count, const ptrdiff_t nch, const int prefetch)
{
    const __m256 quarter = _mm256_set1_ps(0.25f);
    const __m256 zero = _mm256_setzero_ps();
    /* -0 in the lanes of destination pixel 0, where they lie before the
     * lanes are put in order. */
    const __m256 first = nch == 4   ? _mm256_setr_ps(-0.0f, -0.0f, -0.0f, -0.0f, 0, 0, 0, 0)
                         : nch == 3 ? _mm256_setr_ps(-0.0f, -0.0f, -0.0f, 0, 0, 0, 0, 0)
                         : nch == 2 ? _mm256_setr_ps(-0.0f, -0.0f, 0, 0, 0, 0, 0, 0)
                                    : _mm256_setr_ps(-0.0f, 0, 0, 0, 0, 0, 0, 0);
    ptrdiff_t o = 0;
    if (nch == 3) {
        /* Three vectors of pair sums s[e] + s[e + 3] at e = 0, 8, 16 of 24
         * source elements; the destination's 12 are those of even pixels. */
        const __m256i lowA = _mm256_setr_epi32(0, 1, 2, 6, 7, 0, 0, 0);
        const __m256i highA = _mm256_setr_epi32(0, 0, 0, 0, 0, 0, 4, 5);
        const __m256i lowB = _mm256_setr_epi32(6, 0, 0, 0, 0, 0, 0, 0);
        const __m256i highB = _mm256_setr_epi32(0, 2, 3, 4, 0, 0, 0, 0);
        for (; 2 * o + 27 <= readable && o + 12 <= count; o += 12) {
            const float* pa = a + 2 * o;
            const float* pb = b + 2 * o;
            prefetchAhead(pa, prefetch);
            prefetchAhead(pb, prefetch);
            prefetchAhead(pa + 16, prefetch);
            prefetchAhead(pb + 16, prefetch);
            __m256 f[3];
            for (int k = 0; k < 3; ++k) {
                const __m256 z = o == 0 && k == 0 ? first : zero;
                f[k] = _mm256_add_ps(_mm256_add_ps(z, verticalSum(pa + 8 * k, pb + 8 * k)),
                                     verticalSum(pa + 8 * k + 3, pb + 8 * k + 3));
            }
            const __m256 outA = _mm256_blend_ps(_mm256_permutevar8x32_ps(f[0], lowA),
                                                _mm256_permutevar8x32_ps(f[1], highA), 0xE0);
            const __m256 outB = _mm256_blend_ps(_mm256_permutevar8x32_ps(f[1], lowB),
                                                _mm256_permutevar8x32_ps(f[2], highB), 0x0E);
            _mm256_storeu_ps(d + o, _mm256_mul_ps(outA, quarter));
            _mm_storeu_ps(d + o + 8, _mm256_castps256_ps128(_mm256_mul_ps(outB, quarter)));
        }
        return o;
    }
    for (; 2 * o + 16 <= readable && o + 8 <= count; o += 8) {
        prefetchAhead(a + 2 * o, prefetch);
        prefetchAhead(b + 2 * o, prefetch);
        const __m256 v0 = verticalSum(a + 2 * o, b + 2 * o);
        const __m256 v1 = verticalSum(a + 2 * o + 8, b + 2 * o + 8);
        __m256 even, odd;
        if (nch == 1) {
            even = _mm256_shuffle_ps(v0, v1, 0x88);
            odd = _mm256_shuffle_ps(v0, v1, 0xDD);
        } else if (nch == 2) {
            even = _mm256_castpd_ps(_mm256_unpacklo_pd(_mm256_castps_pd(v0), _mm256_castps_pd(v1)));
            odd = _mm256_castpd_ps(_mm256_unpackhi_pd(_mm256_castps_pd(v0), _mm256_castps_pd(v1)));
        } else {
            even = _mm256_permute2f128_ps(v0, v1, 0x20);
            odd = _mm256_permute2f128_ps(v0, v1, 0x31);
        }
        __m256 sum = _mm256_add_ps(_mm256_add_ps(o == 0 ? first : zero, even), odd);
        if (nch != 4)
            sum = _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(sum), 0xD8));
        _mm256_storeu_ps(d + o, _mm256_mul_ps(sum, quarter));
    }
    return o;
}

/* Destination element e (pixel e / nch) the scalar way. */
INLINE_AVX2 void halfTail(const void* a, const void* b, void* d, ptrdiff_t from, ptrdiff_t count,
                          ptrdiff_t nch, int depth)
{
    for (ptrdiff_t e = from; e < count; ++e) {
        const ptrdiff_t s = 2 * (e / nch) * nch + e % nch;
        if (depth == QIM_DEPTH_32F) {
            const float* fa = (const float*)a;
            const float* fb = (const float*)b;
            const float z = e < nch ? -0.0f : 0.0f;
            ((float*)d)[e] = ((z + (fa[s] + fb[s])) + (fa[s + nch] + fb[s + nch])) * 0.25f;
        } else if (depth == QIM_DEPTH_16U) {
            const uint16_t* ua = (const uint16_t*)a;
            const uint16_t* ub = (const uint16_t*)b;
            ((uint16_t*)d)[e] =
                (uint16_t)(((uint32_t)ua[s] + ua[s + nch] + ub[s] + ub[s + nch] + 2) >> 2);
        } else {
            const uint8_t* ua = (const uint8_t*)a;
            const uint8_t* ub = (const uint8_t*)b;
            ((uint8_t*)d)[e] =
                (uint8_t)(((unsigned)ua[s] + ua[s + nch] + ub[s] + ub[s + nch] + 2) >> 2);
        }
    }
}

INLINE_AVX2 void halfRow(const void* a, const void* b, ptrdiff_t readable, void* d, ptrdiff_t n,
                         const ptrdiff_t nch, int depth, int prefetch)
{
    const ptrdiff_t count = n * nch;
    ptrdiff_t done;
    if (depth == QIM_DEPTH_32F)
        done = halfFloats((const float*)a, (const float*)b, readable, (float*)d, count, nch,
                          prefetch);
    else
        done = halfIntegers((const uint8_t*)a, (const uint8_t*)b, readable, (uint8_t*)d, count,
                            nch, depth == QIM_DEPTH_16U, prefetch);
    halfTail(a, b, d, done, count, nch, depth);
}

/* One instance per depth, channel count and prefetching. */
INLINE_AVX2 void halfRowOf(const void* a, const void* b, ptrdiff_t readable, void* dst,
                           ptrdiff_t n, const ptrdiff_t nch, int depth, const int prefetch)
{
    switch (depth) {
    case QIM_DEPTH_8U: halfRow(a, b, readable, dst, n, nch, QIM_DEPTH_8U, prefetch); break;
    case QIM_DEPTH_16U: halfRow(a, b, readable, dst, n, nch, QIM_DEPTH_16U, prefetch); break;
    default: halfRow(a, b, readable, dst, n, nch, QIM_DEPTH_32F, prefetch); break;
    }
}

INLINE_AVX2 void halfRowIn(const void* a, const void* b, ptrdiff_t readable, void* dst,
                           ptrdiff_t n, const ptrdiff_t nch, int depth, int prefetch)
{
    if (prefetch)
        halfRowOf(a, b, readable, dst, n, nch, depth, 1);
    else
        halfRowOf(a, b, readable, dst, n, nch, depth, 0);
}

__attribute__((target("avx2"))) void ownSuperHalfRowAvx2(const void* a, const void* b,
                                                         ptrdiff_t readable, void* dst,
                                                         ptrdiff_t n, ptrdiff_t nch, int depth,
                                                         int prefetch)
{
    switch (nch) {
    case 1: halfRowIn(a, b, readable, dst, n, 1, depth, prefetch); break;
    case 2: halfRowIn(a, b, readable, dst, n, 2, depth, prefetch); break;
    case 3: halfRowIn(a, b, readable, dst, n, 3, depth, prefetch); break;
    default: halfRowIn(a, b, readable, dst, n, 4, depth, prefetch); break;
    }
}

#else

void ownSuperHalfRowAvx2(const void* a, const void* b, ptrdiff_t readable, void* dst, ptrdiff_t n,
                         ptrdiff_t nch, int depth, int prefetch)
{
    (void)a; (void)b; (void)readable; (void)dst; (void)n; (void)nch; (void)depth; (void)prefetch;
}

#endif
