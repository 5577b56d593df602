/* AVX2 rows of the super-sampling kernel over contiguous 8-bit, 16-bit or
 * float elements.
 * Each performs the same IEEE operations as the portable rows (float sums;
 * weighted terms in double precision rounded to float), more elements at a
 * time. Each returns how many elements it did from the start; callers finish
 * the rest and check ownVectorLevel first. */
#include "owndecim.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#define AVX2 __attribute__((target("avx2")))

/* Eight elements from s as floats, and four as doubles; exact for every
 * depth. */
#define INLINE_AVX2 AVX2 static inline __attribute__((always_inline))

INLINE_AVX2 __m256 eightFloats(const void* s, int depth)
{
    switch (depth) {
    case QIM_DEPTH_8U:
        return _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(_mm_loadl_epi64((const __m128i*)s)));
    case QIM_DEPTH_16U:
        return _mm256_cvtepi32_ps(_mm256_cvtepu16_epi32(_mm_loadu_si128((const __m128i*)s)));
    default: return _mm256_loadu_ps((const float*)s);
    }
}

INLINE_AVX2 __m256d fourDoubles(const void* s, int depth)
{
    switch (depth) {
    case QIM_DEPTH_8U: {
        int32_t word;
        __builtin_memcpy(&word, s, 4);
        return _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(word)));
    }
    case QIM_DEPTH_16U:
        return _mm256_cvtepi32_pd(_mm_cvtepu16_epi32(_mm_loadl_epi64((const __m128i*)s)));
    default: return _mm256_cvtps_pd(_mm_loadu_ps((const float*)s));
    }
}

INLINE_AVX2 ptrdiff_t elementBytes(int depth)
{
    return depth == QIM_DEPTH_8U ? 1 : depth == QIM_DEPTH_16U ? 2 : 4;
}

/* With prefetch set the source is prefetched this many bytes ahead of the
 * loads (past a row's end, into the next rows). */
enum { ROW_PREFETCH = 2048 };

INLINE_AVX2 void prefetchAhead(const char* s, ptrdiff_t at, int prefetch)
{
    if (prefetch)
        _mm_prefetch(s + at + ROW_PREFETCH, _MM_HINT_T0);
}

INLINE_AVX2 ptrdiff_t addRow(float* buf, const char* s, ptrdiff_t count, int depth,
                             int prefetch)
{
    const ptrdiff_t eb = elementBytes(depth);
    ptrdiff_t e = 0;
    for (; e + 8 <= count; e += 8) {
        prefetchAhead(s, e * eb, prefetch);
        const __m256 v = eightFloats(s + e * eb, depth);
        _mm256_storeu_ps(buf + e, _mm256_add_ps(_mm256_loadu_ps(buf + e), v));
    }
    return e;
}

/* With w 1 the elements themselves: (float)(1.0 x f) is f, and integers
 * convert exactly. */
INLINE_AVX2 ptrdiff_t setRow(float* buf, const char* s, ptrdiff_t count, double w, int depth,
                             int prefetch)
{
    const ptrdiff_t eb = elementBytes(depth);
    ptrdiff_t e = 0;
    if (w == 1.0) {
        for (; e + 8 <= count; e += 8) {
            prefetchAhead(s, e * eb, prefetch);
            _mm256_storeu_ps(buf + e, eightFloats(s + e * eb, depth));
        }
        return e;
    }
    const __m256d wd = _mm256_set1_pd(w);
    for (; e + 4 <= count; e += 4) {
        prefetchAhead(s, e * eb, prefetch);
        _mm_storeu_ps(buf + e, _mm256_cvtpd_ps(_mm256_mul_pd(wd, fourDoubles(s + e * eb, depth))));
    }
    return e;
}

INLINE_AVX2 ptrdiff_t addPartRow(float* buf, const char* s, ptrdiff_t count, double w,
                                 int depth, int prefetch)
{
    const ptrdiff_t eb = elementBytes(depth);
    const __m256d wd = _mm256_set1_pd(w);
    ptrdiff_t e = 0;
    for (; e + 4 <= count; e += 4) {
        prefetchAhead(s, e * eb, prefetch);
        const __m256d sum = _mm256_add_pd(_mm256_cvtps_pd(_mm_loadu_ps(buf + e)),
                                          _mm256_mul_pd(wd, fourDoubles(s + e * eb, depth)));
        _mm_storeu_ps(buf + e, _mm256_cvtpd_ps(sum));
    }
    return e;
}

/* One loop per operation, depth and prefetching, chosen once per row. */
#define BY_DEPTH(call)                                                                             \
    switch (depth) {                                                                               \
    case QIM_DEPTH_8U: return prefetch ? call(QIM_DEPTH_8U, 1) : call(QIM_DEPTH_8U, 0);            \
    case QIM_DEPTH_16U: return prefetch ? call(QIM_DEPTH_16U, 1) : call(QIM_DEPTH_16U, 0);         \
    default: return prefetch ? call(QIM_DEPTH_32F, 1) : call(QIM_DEPTH_32F, 0);                    \
    }

AVX2 ptrdiff_t ownSuperAddAvx2(float* buf, const void* s, ptrdiff_t count, int depth,
                               int prefetch)
{
#define ADD(d, p) addRow(buf, (const char*)s, count, d, p)
    BY_DEPTH(ADD)
#undef ADD
}

AVX2 ptrdiff_t ownSuperSetAvx2(float* buf, const void* s, ptrdiff_t count, double w, int depth,
                               int prefetch)
{
#define SET(d, p) setRow(buf, (const char*)s, count, w, d, p)
    BY_DEPTH(SET)
#undef SET
}

AVX2 ptrdiff_t ownSuperAddPartAvx2(float* buf, const void* s, ptrdiff_t count, double w, int depth,
                                   int prefetch)
{
#define PART(d, p) addPartRow(buf, (const char*)s, count, w, d, p)
    BY_DEPTH(PART)
#undef PART
}

/* (float)(a + w b) in double precision per lane. */
AVX2 static inline __m256 addWeighted(__m256 a, __m256d w, __m256 b)
{
    const __m256d lo = _mm256_add_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(a)),
                                     _mm256_mul_pd(w, _mm256_cvtps_pd(_mm256_castps256_ps128(b))));
    const __m256d hi = _mm256_add_pd(_mm256_cvtps_pd(_mm256_extractf128_ps(a, 1)),
                                     _mm256_mul_pd(w, _mm256_cvtps_pd(_mm256_extractf128_ps(b, 1))));
    return _mm256_set_m128(_mm256_cvtpd_ps(hi), _mm256_cvtpd_ps(lo));
}

/* (float)(w b) in double precision per lane. */
AVX2 static inline __m256 weighted(__m256d w, __m256 b)
{
    const __m256d lo = _mm256_mul_pd(w, _mm256_cvtps_pd(_mm256_castps256_ps128(b)));
    const __m256d hi = _mm256_mul_pd(w, _mm256_cvtps_pd(_mm256_extractf128_ps(b, 1)));
    return _mm256_set_m128(_mm256_cvtpd_ps(hi), _mm256_cvtpd_ps(lo));
}

/* Eight elements of a run's start: the buffer without a head (HEAD_NONE),
 * else the head, times its weight unless that is 1. */
enum { HEAD_NONE, HEAD_UNIT, HEAD_WEIGHTED };

INLINE_AVX2 __m256 runStart(const SuperRun* run, const char* head, ptrdiff_t e, __m256d hw,
                            int headKind, int depth)
{
    if (headKind == HEAD_NONE)
        return _mm256_loadu_ps(run->buf + e);
    const __m256 v = eightFloats(head + e * elementBytes(depth), depth);
    return headKind == HEAD_UNIT ? v : weighted(hw, v);
}

/* Runs prefetch into the second-level cache, nearer ahead the more rows
 * they read at once: with many rows far-ahead lines are evicted before they
 * are used, with few the loads would wait on lines not far enough ahead. */
INLINE_AVX2 void runPrefetch(const char* s, ptrdiff_t bytes, ptrdiff_t ahead)
{
    for (ptrdiff_t at = 0; at < bytes; at += 64)
        _mm_prefetch(s + at + ahead, _MM_HINT_T1);
}

INLINE_AVX2 ptrdiff_t runRow(const SuperRun* run, ptrdiff_t count, int headKind, int hasTail,
                             int depth, int prefetch)
{
    enum { LANES = 8, VECTORS = 4, CHUNK = LANES * VECTORS };
    const ptrdiff_t eb = elementBytes(depth);
    const char* head = (const char*)run->head;
    const char* tail = (const char*)run->tail;
    const char* const* adds = (const char* const*)run->adds;
    const int nAdds = run->nAdds;
    float* buf = run->buf;
    const __m256d hw = _mm256_set1_pd(run->headW), tw = _mm256_set1_pd(run->tailW);
    const ptrdiff_t ahead = (headKind != HEAD_NONE) + nAdds + hasTail <= 3 ? 4096 : 512;
    ptrdiff_t e = 0;
    for (; e + CHUNK <= count; e += CHUNK) {
        __m256 acc[VECTORS];
        if (prefetch && headKind != HEAD_NONE)
            runPrefetch(head + e * eb, CHUNK * eb, ahead);
        for (int q = 0; q < VECTORS; ++q)
            acc[q] = runStart(run, head, e + LANES * q, hw, headKind, depth);
        for (int k = 0; k < nAdds; ++k) {
            const char* s = adds[k] + e * eb;
            if (prefetch)
                runPrefetch(s, CHUNK * eb, ahead);
            for (int q = 0; q < VECTORS; ++q)
                acc[q] = _mm256_add_ps(acc[q], eightFloats(s + LANES * q * eb, depth));
        }
        if (hasTail) {
            if (prefetch)
                runPrefetch(tail + e * eb, CHUNK * eb, ahead);
            for (int q = 0; q < VECTORS; ++q)
                acc[q] = addWeighted(acc[q], tw, eightFloats(tail + (e + LANES * q) * eb, depth));
        }
        for (int q = 0; q < VECTORS; ++q)
            _mm256_storeu_ps(buf + e + LANES * q, acc[q]);
    }
    for (; e + LANES <= count; e += LANES) {
        __m256 acc = runStart(run, head, e, hw, headKind, depth);
        for (int k = 0; k < nAdds; ++k)
            acc = _mm256_add_ps(acc, eightFloats(adds[k] + e * eb, depth));
        if (hasTail)
            acc = addWeighted(acc, tw, eightFloats(tail + e * eb, depth));
        _mm256_storeu_ps(buf + e, acc);
    }
    return e;
}

/* One loop per kind of start and tail. */
INLINE_AVX2 ptrdiff_t runRowOf(const SuperRun* run, ptrdiff_t count, int depth, int prefetch)
{
    const int headKind = !run->head ? HEAD_NONE : run->headW == 1.0 ? HEAD_UNIT : HEAD_WEIGHTED;
    switch (headKind * 2 + (run->tail != NULL)) {
    case 0: return runRow(run, count, HEAD_NONE, 0, depth, prefetch);
    case 1: return runRow(run, count, HEAD_NONE, 1, depth, prefetch);
    case 2: return runRow(run, count, HEAD_UNIT, 0, depth, prefetch);
    case 3: return runRow(run, count, HEAD_UNIT, 1, depth, prefetch);
    case 4: return runRow(run, count, HEAD_WEIGHTED, 0, depth, prefetch);
    default: return runRow(run, count, HEAD_WEIGHTED, 1, depth, prefetch);
    }
}

AVX2 ptrdiff_t ownSuperRunAvx2(const SuperRun* run, ptrdiff_t count, int depth, int prefetch)
{
#define RUN(d, p) runRowOf(run, count, d, p)
    BY_DEPTH(RUN)
#undef RUN
}

/* Rows r0 .. r7 (eight floats each) to columns: out[8 k + r] = row r [k]. */
AVX2 static inline void transpose8(const float* const* row, ptrdiff_t at, float* out)
{
    __m256 r0 = _mm256_loadu_ps(row[0] + at), r1 = _mm256_loadu_ps(row[1] + at);
    __m256 r2 = _mm256_loadu_ps(row[2] + at), r3 = _mm256_loadu_ps(row[3] + at);
    __m256 r4 = _mm256_loadu_ps(row[4] + at), r5 = _mm256_loadu_ps(row[5] + at);
    __m256 r6 = _mm256_loadu_ps(row[6] + at), r7 = _mm256_loadu_ps(row[7] + at);
    const __m256 t0 = _mm256_unpacklo_ps(r0, r1), t1 = _mm256_unpackhi_ps(r0, r1);
    const __m256 t2 = _mm256_unpacklo_ps(r2, r3), t3 = _mm256_unpackhi_ps(r2, r3);
    const __m256 t4 = _mm256_unpacklo_ps(r4, r5), t5 = _mm256_unpackhi_ps(r4, r5);
    const __m256 t6 = _mm256_unpacklo_ps(r6, r7), t7 = _mm256_unpackhi_ps(r6, r7);
    const __m256 u0 = _mm256_shuffle_ps(t0, t2, 0x44), u1 = _mm256_shuffle_ps(t0, t2, 0xEE);
    const __m256 u2 = _mm256_shuffle_ps(t1, t3, 0x44), u3 = _mm256_shuffle_ps(t1, t3, 0xEE);
    const __m256 u4 = _mm256_shuffle_ps(t4, t6, 0x44), u5 = _mm256_shuffle_ps(t4, t6, 0xEE);
    const __m256 u6 = _mm256_shuffle_ps(t5, t7, 0x44), u7 = _mm256_shuffle_ps(t5, t7, 0xEE);
    _mm256_store_ps(out + 0, _mm256_permute2f128_ps(u0, u4, 0x20));
    _mm256_store_ps(out + 8, _mm256_permute2f128_ps(u1, u5, 0x20));
    _mm256_store_ps(out + 16, _mm256_permute2f128_ps(u2, u6, 0x20));
    _mm256_store_ps(out + 24, _mm256_permute2f128_ps(u3, u7, 0x20));
    _mm256_store_ps(out + 32, _mm256_permute2f128_ps(u0, u4, 0x31));
    _mm256_store_ps(out + 40, _mm256_permute2f128_ps(u1, u5, 0x31));
    _mm256_store_ps(out + 48, _mm256_permute2f128_ps(u2, u6, 0x31));
    _mm256_store_ps(out + 56, _mm256_permute2f128_ps(u3, u7, 0x31));
}

/* The means of destination column i of every lane, from its channel sums:
 * unit x sum, 8U and 16U rounded (0.5 added, truncated, saturated), 32F as
 * a float. With packed set (8U, the row's elements one after another), each
 * channel's eight results go to packed + 8 (i x nch + c), one byte per lane,
 * for unpackBytes to spread over the rows; otherwise they are stored in the
 * rows directly. */
INLINE_AVX2 void writeColumn(const __m256* acc, ptrdiff_t nch, int lanes, char* dst,
                             ptrdiff_t dstRowBytes, ptrdiff_t at, ptrdiff_t dstChannel,
                             __m256d unit, int depth, uint8_t* packed)
{
    const __m256d half = _mm256_set1_pd(0.5);
    for (ptrdiff_t c = 0; c < nch; ++c) {
        const __m256d lo = _mm256_mul_pd(unit, _mm256_cvtps_pd(_mm256_castps256_ps128(acc[c])));
        const __m256d hi = _mm256_mul_pd(unit, _mm256_cvtps_pd(_mm256_extractf128_ps(acc[c], 1)));
        const ptrdiff_t e = at + c * dstChannel;
        if (depth == QIM_DEPTH_32F) {
            float v[8];
            _mm_storeu_ps(v, _mm256_cvtpd_ps(lo));
            _mm_storeu_ps(v + 4, _mm256_cvtpd_ps(hi));
            for (int r = 0; r < lanes; ++r)
                __builtin_memcpy(dst + r * dstRowBytes + 4 * e, &v[r], 4);
            continue;
        }
        const __m128i qlo = _mm256_cvttpd_epi32(_mm256_add_pd(half, lo));
        const __m128i qhi = _mm256_cvttpd_epi32(_mm256_add_pd(half, hi));
        if (packed) {
            /* The packs saturate to 0 .. 255 as the scalar store clamps. */
            const __m128i words = _mm_packs_epi32(qlo, qhi);
            _mm_storel_epi64((__m128i*)(packed + 8 * e), _mm_packus_epi16(words, words));
            continue;
        }
        const __m256i top = _mm256_set1_epi32(depth == QIM_DEPTH_8U ? 255 : 65535);
        int32_t v[8];
        _mm256_storeu_si256((__m256i*)v,
                            _mm256_min_epi32(_mm256_max_epi32(_mm256_set_m128i(qhi, qlo),
                                                              _mm256_setzero_si256()),
                                             top));
        if (depth == QIM_DEPTH_8U) {
            for (int r = 0; r < lanes; ++r)
                dst[r * dstRowBytes + e] = (char)(uint8_t)v[r];
        } else {
            for (int r = 0; r < lanes; ++r) {
                const uint16_t w = (uint16_t)v[r];
                __builtin_memcpy(dst + r * dstRowBytes + 2 * e, &w, 2);
            }
        }
    }
}

/* Spreads count packed elements (eight lanes each) over the rows: element k
 * of lane r goes to byte k of row r. */
AVX2 static void unpackBytes(const uint8_t* packed, ptrdiff_t count, int lanes, char* dst,
                             ptrdiff_t dstRowBytes)
{
    ptrdiff_t k = 0;
    for (; k + 8 <= count; k += 8) {
        /* An 8 x 8 byte transpose. */
        const __m128i a = _mm_loadu_si128((const __m128i*)(packed + 8 * k));
        const __m128i b = _mm_loadu_si128((const __m128i*)(packed + 8 * k + 16));
        const __m128i c = _mm_loadu_si128((const __m128i*)(packed + 8 * k + 32));
        const __m128i d = _mm_loadu_si128((const __m128i*)(packed + 8 * k + 48));
        const __m128i ab0 = _mm_unpacklo_epi8(a, b), ab1 = _mm_unpackhi_epi8(a, b);
        const __m128i cd0 = _mm_unpacklo_epi8(c, d), cd1 = _mm_unpackhi_epi8(c, d);
        const __m128i e0 = _mm_unpacklo_epi8(ab0, ab1), e1 = _mm_unpackhi_epi8(ab0, ab1);
        const __m128i f0 = _mm_unpacklo_epi8(cd0, cd1), f1 = _mm_unpackhi_epi8(cd0, cd1);
        /* e0 and e1 hold elements k .. k + 3 of lanes 0-3 and 4-7, f0 and f1
         * elements k + 4 .. k + 7, four bytes a lane; pairing their 32-bit
         * parts gives each lane's eight elements in one 8-byte half. */
        const __m128i g0 = _mm_unpacklo_epi32(e0, f0), g1 = _mm_unpackhi_epi32(e0, f0);
        const __m128i g2 = _mm_unpacklo_epi32(e1, f1), g3 = _mm_unpackhi_epi32(e1, f1);
        uint64_t rowBytes[8];
        _mm_storeu_si128((__m128i*)rowBytes, g0);
        _mm_storeu_si128((__m128i*)(rowBytes + 2), g1);
        _mm_storeu_si128((__m128i*)(rowBytes + 4), g2);
        _mm_storeu_si128((__m128i*)(rowBytes + 6), g3);
        for (int r = 0; r < lanes; ++r)
            __builtin_memcpy(dst + r * dstRowBytes + k, &rowBytes[r], 8);
    }
    for (; k < count; ++k)
        for (int r = 0; r < lanes; ++r)
            dst[r * dstRowBytes + k] = (char)packed[8 * k + r];
}

INLINE_AVX2 void superColumns(const SuperColumn* plan, ptrdiff_t planned, int finalWrite,
                              ptrdiff_t n, const float* const* row, int lanes, const ptrdiff_t nch,
                              char* dst, ptrdiff_t dstRowBytes, ptrdiff_t dstPixel,
                              ptrdiff_t dstChannel, __m256d u, int depth, float* scratch,
                              uint8_t* packed)
{
    __m256 acc[4];
    for (int c = 0; c < 4; ++c)
        acc[c] = _mm256_setzero_ps();
    ptrdiff_t i = 0;
    for (ptrdiff_t col0 = 0; col0 < planned; col0 += SUPER_CHUNK_COLUMNS) {
        const ptrdiff_t cols =
            planned - col0 < SUPER_CHUNK_COLUMNS ? planned - col0 : SUPER_CHUNK_COLUMNS;
        for (ptrdiff_t e = 0; e < cols * nch; e += 8)
            transpose8(row, col0 * nch + e, scratch + 8 * e);
        for (ptrdiff_t col = 0; col < cols; ++col) {
            const SuperColumn* p = &plan[col0 + col];
            const float* v = scratch + 8 * nch * col;
            const int flags = p->flags;
            if (flags & COL_WHOLE) {
                for (ptrdiff_t c = 0; c < nch; ++c)
                    acc[c] = _mm256_add_ps(acc[c], _mm256_load_ps(v + 8 * c));
                if (flags & COL_WRITE) {
                    writeColumn(acc, nch, lanes, dst, dstRowBytes, i++ * dstPixel, dstChannel, u,
                                depth, packed);
                    for (ptrdiff_t c = 0; c < nch; ++c)
                        acc[c] = _mm256_setzero_ps();
                }
                continue;
            }
            if (flags & COL_PART) {
                const __m256d w = _mm256_set1_pd(p->part);
                for (ptrdiff_t c = 0; c < nch; ++c)
                    acc[c] = addWeighted(acc[c], w, _mm256_load_ps(v + 8 * c));
                writeColumn(acc, nch, lanes, dst, dstRowBytes, i++ * dstPixel, dstChannel, u,
                            depth, packed);
            }
            if (flags & COL_REST) {
                const __m256d w = _mm256_set1_pd(p->rest);
                for (ptrdiff_t c = 0; c < nch; ++c)
                    acc[c] = weighted(w, _mm256_load_ps(v + 8 * c));
            } else {
                for (ptrdiff_t c = 0; c < nch; ++c)
                    acc[c] = _mm256_setzero_ps();
            }
        }
    }
    if (finalWrite && i < n)
        writeColumn(acc, nch, lanes, dst, dstRowBytes, i * dstPixel, dstChannel, u, depth,
                    packed);
    if (packed)
        unpackBytes(packed, n * nch, lanes, dst, dstRowBytes);
}

AVX2 void ownSuperColumnsAvx2(const SuperColumn* plan, ptrdiff_t planned, int finalWrite,
                              ptrdiff_t n, const float* const* rows, int lanes, ptrdiff_t nch,
                              char* dst, ptrdiff_t dstRowBytes, ptrdiff_t dstPixel,
                              ptrdiff_t dstChannel, double unit, int depth, float* scratch,
                              uint8_t* packed)
{
    const float* row[8];
    for (int r = 0; r < 8; ++r)
        row[r] = rows[r < lanes ? r : lanes - 1];
    const __m256d u = _mm256_set1_pd(unit);
    /* Packed bytes need the row's elements one after another. */
    if (depth != QIM_DEPTH_8U || !(dstPixel == nch && (nch == 1 || dstChannel == 1)))
        packed = NULL;
    switch (nch) {
    case 1:
        superColumns(plan, planned, finalWrite, n, row, lanes, 1, dst, dstRowBytes, dstPixel,
                     dstChannel, u, depth, scratch, packed);
        break;
    case 2:
        superColumns(plan, planned, finalWrite, n, row, lanes, 2, dst, dstRowBytes, dstPixel,
                     dstChannel, u, depth, scratch, packed);
        break;
    case 3:
        superColumns(plan, planned, finalWrite, n, row, lanes, 3, dst, dstRowBytes, dstPixel,
                     dstChannel, u, depth, scratch, packed);
        break;
    default:
        superColumns(plan, planned, finalWrite, n, row, lanes, 4, dst, dstRowBytes, dstPixel,
                     dstChannel, u, depth, scratch, packed);
        break;
    }
}

#else

void ownSuperColumnsAvx2(const SuperColumn* plan, ptrdiff_t planned, int finalWrite, ptrdiff_t n,
                         const float* const* rows, int lanes, ptrdiff_t nch, char* dst,
                         ptrdiff_t dstRowBytes, ptrdiff_t dstPixel, ptrdiff_t dstChannel,
                         double unit, int depth, float* scratch, uint8_t* packed)
{
    (void)plan; (void)planned; (void)finalWrite; (void)n; (void)rows; (void)lanes; (void)nch;
    (void)dst; (void)dstRowBytes; (void)dstPixel; (void)dstChannel; (void)unit; (void)depth;
    (void)scratch; (void)packed;
}

ptrdiff_t ownSuperRunAvx2(const SuperRun* run, ptrdiff_t count, int depth, int prefetch)
{
    (void)run; (void)count; (void)depth; (void)prefetch;
    return 0;
}

ptrdiff_t ownSuperAddAvx2(float* buf, const void* s, ptrdiff_t count, int depth, int prefetch)
{
    (void)buf; (void)s; (void)count; (void)depth; (void)prefetch;
    return 0;
}

ptrdiff_t ownSuperSetAvx2(float* buf, const void* s, ptrdiff_t count, double w, int depth,
                          int prefetch)
{
    (void)buf; (void)s; (void)count; (void)w; (void)depth; (void)prefetch;
    return 0;
}

ptrdiff_t ownSuperAddPartAvx2(float* buf, const void* s, ptrdiff_t count, double w, int depth,
                              int prefetch)
{
    (void)buf; (void)s; (void)count; (void)w; (void)depth; (void)prefetch;
    return 0;
}

#endif
