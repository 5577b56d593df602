/* The zoom's AVX2 halving rows of 8-bit images: both linear passes of one
 * destination row from its two source rows, where each column's taps are a
 * pixel and the next and the columns lie two pixels apart.
 *
 * The portable kernel's result is trunc(T), T = (1 - wy) h0 + wy h1 + 1e-7
 * in double with h = a + wx (b - a) in float. These rows estimate T from
 * the four taps with fused multiply-adds, which bound the error tightly,
 * and take the estimate's integer part wherever no integer lies within the
 * bound; elsewhere they compute T as the portable kernel does. Every tap is
 * held 65536 times as large (its byte in bits 16 to 23 of a 32-bit lane):
 * scaling by a power of two changes no rounding, and rounding the scaled
 * estimate to an integer gives its integer part and fraction at once.
 * Callers check ownVectorLevel and ownHasFma. */
#include "ownzoom.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#define AVX2 __attribute__((target("avx2,fma")))
#define INLINE static inline __attribute__((always_inline))

/* A pick of the bytes at i0 .. i3 of each 16-byte lane into bits 16 to 23
 * of its four 32-bit lanes. */
#define PICK4(i0, i1, i2, i3)                                                                     \
    ((int)(0x80008080u | (i0) << 16)), ((int)(0x80008080u | (i1) << 16)),                        \
        ((int)(0x80008080u | (i2) << 16)), ((int)(0x80008080u | (i3) << 16))

/* The four taps of eight elements, 65536 times as large, as integers: a and
 * b of the first source row, c and d of the second. */
typedef struct {
    __m256i a, b, c, d;
} Taps;

/* The taps of eight elements from windows u (first row) and v (second): a
 * and c where pick points, b and d `next` bytes on (next holds that
 * distance in bits 16 to 23 of every lane). */
AVX2 INLINE Taps tapsOf(__m256i u, __m256i v, __m256i pick, __m256i next)
{
    const __m256i pickB = _mm256_add_epi32(pick, next);
    Taps t = {_mm256_shuffle_epi8(u, pick), _mm256_shuffle_epi8(u, pickB),
              _mm256_shuffle_epi8(v, pick), _mm256_shuffle_epi8(v, pickB)};
    return t;
}

/* The estimate: A = a + wy (c - a) and B = b + wy (d - b), each rounded
 * once, then A + wx (B - A). Each of the three roundings on values below
 * 256 errs by at most 2^-17 (rounding B - A adds another), so the estimate
 * lies within 3 x 2^-17 of the exact bilinear value of the taps; the
 * portable h0 and h1 lie within 2^-16 of theirs, so T within 2^-16 + 1e-7
 * + 2^-44 of it. Scaled by 65536 and rounded to r, r lies within 3.01 of
 * 65536 T: unless r lies within 3 of a multiple of 65536 (the fraction of
 * r is below 4 or above 65531), r / 65536 rounded down is trunc(T). A T in
 * -1 .. 0 gives -1 there, which the pack turns into 0 as trunc does. The
 * lanes left open are set in *open. */
AVX2 INLINE __m256i estimate8(Taps t, __m256 wx, __m256 wy, __m256i* open)
{
    const __m256 a = _mm256_cvtepi32_ps(t.a), b = _mm256_cvtepi32_ps(t.b);
    const __m256 da = _mm256_cvtepi32_ps(_mm256_sub_epi32(t.c, t.a));
    const __m256 db = _mm256_cvtepi32_ps(_mm256_sub_epi32(t.d, t.b));
    const __m256 A = _mm256_fmadd_ps(wy, da, a), B = _mm256_fmadd_ps(wy, db, b);
    const __m256i r = _mm256_cvtps_epi32(_mm256_fmadd_ps(wx, _mm256_sub_ps(B, A), A));
    const __m256i fraction =
        _mm256_and_si256(_mm256_add_epi32(r, _mm256_set1_epi32(4)), _mm256_set1_epi32(0xfff8));
    *open = _mm256_cmpeq_epi32(fraction, _mm256_setzero_si256());
    return _mm256_srai_epi32(r, 16);
}

/* Lanes of open whose four taps are not all equal. Equal taps n make the
 * estimate exactly n, and T lies within 2^-44 of n, so trunc(T) is n. */
AVX2 INLINE __m256i notFlat(Taps t, __m256i open)
{
    const __m256i flat = _mm256_and_si256(
        _mm256_and_si256(_mm256_cmpeq_epi32(t.a, t.b), _mm256_cmpeq_epi32(t.a, t.c)),
        _mm256_cmpeq_epi32(t.a, t.d));
    return _mm256_andnot_si256(flat, open);
}

/* a + w (b - a) in float, the portable horizontal step. */
AVX2 INLINE __m256 lerp(__m256i a, __m256i b, __m256 w)
{
    const __m256 fa = _mm256_cvtepi32_ps(a);
    return _mm256_add_ps(fa, _mm256_mul_ps(w, _mm256_sub_ps(_mm256_cvtepi32_ps(b), fa)));
}

/* trunc(T) of eight elements as the portable kernel computes it: the
 * horizontal values in float, 65536 times as large, then (1 - wy) h0 +
 * wy h1 in double, scaled back (exactly), + 1e-7. */
AVX2 INLINE __m256i exact8(Taps t, __m256 wx, __m256d w0, __m256d w1)
{
    const __m256 h0 = lerp(t.a, t.b, wx), h1 = lerp(t.c, t.d, wx);
    const __m256d eps = _mm256_set1_pd(1e-7), back = _mm256_set1_pd(1.0 / 65536);
#define QUAD(half)                                                                                \
    _mm256_cvttpd_epi32(_mm256_add_pd(                                                            \
        _mm256_mul_pd(                                                                            \
            _mm256_add_pd(                                                                        \
                _mm256_mul_pd(w0, _mm256_cvtps_pd(_mm256_extractf128_ps(h0, half))),             \
                _mm256_mul_pd(w1, _mm256_cvtps_pd(_mm256_extractf128_ps(h1, half)))),            \
            back),                                                                                \
        eps))
    return _mm256_inserti128_si256(_mm256_castsi128_si256(QUAD(0)), QUAD(1), 1);
#undef QUAD
}

/* Sixteen results as bytes: x and y in the order whose 16-bit pack is the
 * elements' order (x the first four of each lane). The packs saturate,
 * which clamps to 0..255. */
AVX2 INLINE __m128i bytesOfPair(__m256i x, __m256i y)
{
    const __m256i words = _mm256_packs_epi32(x, y);
    return _mm256_castsi256_si128(
        _mm256_permute4x64_epi64(_mm256_packus_epi16(words, words), _MM_SHUFFLE(3, 1, 2, 0)));
}

/* Sixteen results in order (x the first eight) as bytes. */
AVX2 INLINE __m128i bytesInOrder(__m256i x, __m256i y)
{
    const __m256i words = _mm256_packs_epi32(x, y);
    const __m256i bytes = _mm256_packus_epi16(words, words);
    return _mm256_castsi256_si128(
        _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 0, 0, 0, 0)));
}

/* The taps of vector k of a block from the bytes at p0 (first row) and p1
 * (second). 1 and 4 channels: sixteen elements (sixteen columns, or four
 * pixels) from 32 bytes, in two vectors whose pack is in order: one
 * channel, vector 0 holds columns 0-3 and 8-11, vector 1 columns 4-7 and
 * 12-15; four channels, vector 0 pixels 0 and 2, vector 1 pixels 1 and 3.
 * 3 channels: eight pixels, 24 elements in three vectors in order, each
 * lane's taps within a 16-byte window at a fixed place of the 48 bytes. */
AVX2 INLINE Taps blockTaps(const uint8_t* p0, const uint8_t* p1, int nch, int k)
{
    if (nch == 3) {
        static const int place[3][2] = {{0, 6}, {12, 24}, {30, 32}};
        const __m256i pick =
            k == 0   ? _mm256_setr_epi32(PICK4(0, 1, 2, 6), PICK4(1, 2, 6, 7))
            : k == 1 ? _mm256_setr_epi32(PICK4(2, 6, 7, 8), PICK4(0, 1, 2, 6))
                     : _mm256_setr_epi32(PICK4(1, 2, 6, 7), PICK4(6, 10, 11, 12));
#define WINDOWS(p)                                                                                \
    _mm256_inserti128_si256(                                                                      \
        _mm256_castsi128_si256(_mm_loadu_si128((const __m128i*)((p) + place[k][0]))),             \
        _mm_loadu_si128((const __m128i*)((p) + place[k][1])), 1)
        return tapsOf(WINDOWS(p0), WINDOWS(p1), pick, _mm256_set1_epi32(3 << 16));
#undef WINDOWS
    }
    const __m256i u = _mm256_loadu_si256((const __m256i*)p0);
    const __m256i v = _mm256_loadu_si256((const __m256i*)p1);
    if (nch == 1)
        return tapsOf(u, v,
                      k == 0 ? _mm256_setr_epi32(PICK4(0, 2, 4, 6), PICK4(0, 2, 4, 6))
                             : _mm256_setr_epi32(PICK4(8, 10, 12, 14), PICK4(8, 10, 12, 14)),
                      _mm256_set1_epi32(1 << 16));
    return tapsOf(u, v,
                  k == 0 ? _mm256_setr_epi32(PICK4(0, 1, 2, 3), PICK4(0, 1, 2, 3))
                         : _mm256_setr_epi32(PICK4(8, 9, 10, 11), PICK4(8, 9, 10, 11)),
                  _mm256_set1_epi32(4 << 16));
}

/* The results of a block whose estimate left lanes open, as the portable
 * kernel computes them, into q: the taps are read again rather than kept,
 * which leaves the registers to the blocks that need nothing more. */
AVX2 __attribute__((noinline)) static void exactBlock(const uint8_t* p0, const uint8_t* p1,
                                                      int nch, const float* w, float wy,
                                                      __m256i* q)
{
    const int nv = nch == 3 ? 3 : 2;
    const __m256 wys = _mm256_set1_ps(wy);
    const __m256d w1 = _mm256_set1_pd((double)wy), w0 = _mm256_set1_pd(1.0 - (double)wy);
    for (int k = 0; k < nv; ++k) {
        const Taps t = blockTaps(p0, p1, nch, k);
        const __m256 wx = _mm256_load_ps(w + 8 * k);
        __m256i open;
        estimate8(t, wx, wys, &open);
        const __m256i still = notFlat(t, open);
        if (!_mm256_testz_si256(still, still))
            q[k] = exact8(t, wx, w0, w1);
    }
}

/* Both passes of the leading halfColumns columns: blocks of 16 elements
 * (1 and 4 channels) or 24 (3 channels) from column 0 on, the last one
 * ending at the last column (it overlaps the one before, whose columns it
 * writes again with the same values). */
AVX2 INLINE Dim halfRow(const ZoomPlan* z, const uint8_t* s0, const uint8_t* s1, float wy,
                        uint8_t* out, const uint8_t* ahead0, const uint8_t* ahead1, int nch)
{
    const int* tap = z->xTap;
    const float* weight = z->halfWeight;
    const int nv = nch == 3 ? 3 : 2;
    const Dim block = 8 * nv / nch, last = z->halfColumns - block;
    const __m256 wys = _mm256_set1_ps(wy);
    for (Dim b = 0, i = 0;; ++b, i += block) {
        if (i > last)
            i = last;
        const Dim at = tap[i];
        _mm_prefetch((const char*)ahead0 + at, _MM_HINT_T0);
        _mm_prefetch((const char*)ahead1 + at, _MM_HINT_T0);
        const float* w = weight + 8 * nv * b;
        __m256i q0, q1, q2 = _mm256_setzero_si256(), open, any;
        q0 = estimate8(blockTaps(s0 + at, s1 + at, nch, 0), _mm256_load_ps(w), wys, &any);
        q1 = estimate8(blockTaps(s0 + at, s1 + at, nch, 1), _mm256_load_ps(w + 8), wys, &open);
        any = _mm256_or_si256(any, open);
        if (nv == 3) {
            q2 = estimate8(blockTaps(s0 + at, s1 + at, nch, 2), _mm256_load_ps(w + 16), wys,
                           &open);
            any = _mm256_or_si256(any, open);
        }
        if (__builtin_expect(!_mm256_testz_si256(any, any), 0)) {
            __m256i q[3] = {q0, q1, q2};
            exactBlock(s0 + at, s1 + at, nch, w, wy, q);
            q0 = q[0];
            q1 = q[1];
            q2 = q[2];
        }
        uint8_t* o = out + i * nch;
        if (nch == 3) {
            _mm_storeu_si128((__m128i*)o, bytesInOrder(q0, q1));
            _mm_storel_epi64((__m128i*)(o + 16), bytesInOrder(q2, q2));
        } else {
            _mm_storeu_si128((__m128i*)o, bytesOfPair(q0, q1));
        }
        if (i == last)
            break;
    }
    return z->halfColumns;
}

AVX2 Dim ownZoomLinearHalf8uAvx2(const ZoomPlan* z, const uint8_t* row0, const uint8_t* row1,
                                 float wy, uint8_t* out, const uint8_t* ahead0,
                                 const uint8_t* ahead1)
{
    switch (z->nch) {
    case 1: return halfRow(z, row0, row1, wy, out, ahead0, ahead1, 1);
    case 3: return halfRow(z, row0, row1, wy, out, ahead0, ahead1, 3);
    case 4: return halfRow(z, row0, row1, wy, out, ahead0, ahead1, 4);
    default: return 0;
    }
}

#else

Dim ownZoomLinearHalf8uAvx2(const ZoomPlan* z, const uint8_t* row0, const uint8_t* row1,
                            float wy, uint8_t* out, const uint8_t* ahead0, const uint8_t* ahead1)
{
    (void)z; (void)row0; (void)row1; (void)wy; (void)out; (void)ahead0; (void)ahead1;
    return 0;
}

#endif
