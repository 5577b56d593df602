/* Decimation row kernels: nearest neighbour, linear, cubic and super-sampling
 * for 1U, 8U, 16U and 32F elements.
 *
 * Every kernel takes the same seventeen arguments (see OWN_DECIMATE_KERNEL_ARGS):
 * element addresses, channel/pixel/row steps and extents counted in elements,
 * the two float steps and the two in/out float positions. Positions are
 * accumulated in double precision by adding the float step once per produced
 * column or row; a sample's integer coordinate is the position truncated
 * toward zero. The depth-generic bodies below are always inlined into one
 * function per depth and method, so the inner loops carry no depth branch. */
#include "owndecim.h"

#include <float.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#define INLINE static inline __attribute__((always_inline))

typedef ptrdiff_t Dim;

enum { K8U, K16U, K32F };

INLINE double loadElem(const void* base, Dim index, int kind)
{
    switch (kind) {
    case K8U: return ((const uint8_t*)base)[index];
    case K16U: return ((const uint16_t*)base)[index];
    default: return ((const float*)base)[index];
    }
}

INLINE Dim elemBytes(int kind)
{
    return kind == K8U ? 1 : kind == K16U ? 2 : 4;
}

INLINE const void* elemAt(const void* base, Dim index, int kind)
{
    return (const char*)base + index * elemBytes(kind);
}

/* Stores a value truncated toward zero and clamped to the depth's range;
 * 32F stores the value as a float. */
INLINE void storeTrunc(void* base, Dim index, double value, int kind)
{
    if (kind == K32F) {
        ((float*)base)[index] = (float)value;
        return;
    }
    const double top = kind == K8U ? 255.0 : 65535.0;
    /* Compare before converting: a value out of the int range must not reach
     * the conversion. */
    int v = value >= top ? (int)top : value > -1.0 ? (int)value : 0;
    if (kind == K8U)
        ((uint8_t*)base)[index] = (uint8_t)v;
    else
        ((uint16_t*)base)[index] = (uint16_t)v;
}

INLINE void copyElem(void* dst, Dim di, const void* src, Dim si, int kind)
{
    switch (kind) {
    case K8U: ((uint8_t*)dst)[di] = ((const uint8_t*)src)[si]; break;
    case K16U: ((uint16_t*)dst)[di] = ((const uint16_t*)src)[si]; break;
    default: ((float*)dst)[di] = ((const float*)src)[si]; break;
    }
}

INLINE Dim clampIndex(Dim index, Dim count)
{
    return index < 0 ? 0 : index >= count ? count - 1 : index;
}

/* The position after count additions of step, as the kernels accumulate it. */
static float accumulate(float pos, float step, Dim count)
{
    double acc = pos;
    for (Dim i = 0; i < count; ++i)
        acc += (double)step;
    return (float)acc;
}

float ownDecimateAdvance(OwnDecimateKernel kernel, int axis, float pos, float step,
                         ptrdiff_t count)
{
    if (kernel == ownDecimateSuper_8u || kernel == ownDecimateSuper_16u ||
        kernel == ownDecimateSuper_32f)
        return (float)((double)pos + (double)step * (double)count);
    if (kernel == ownDecimateNN_1u && axis == 0) {
        /* The 1U nearest kernel keeps its x position in a float (tiles start
         * on a byte, so no bit position is involved here). */
        for (Dim i = 0; i < count; ++i)
            pos = pos + step;
        return pos;
    }
    return accumulate(pos, step, count);
}

/* ---- Sources ------------------------------------------------------------------ */

/* Where a kernel finds its source rows: in the image itself, or, for a tiled
 * image, in rectangles of a few rows copied from its tiles as the kernel
 * reaches them. Element 0 of every row is the region's column column0 (in
 * the wanted channel), so both give the kernel the same pixels and the same
 * arithmetic. */
typedef struct {
    const char* base;      /* row 0 (plain), or chunk row 0 */
    Dim rowStep, chStep;   /* elements */
    Dim column0;
    const QimImage* image; /* tiled: the image, else null */
    int x, y, width;       /* tiled: image column of column0, image row of region row 0, pixels */
    int chunkRows, channel;
    void* chunk;           /* tiled: rows chunkFirst .. chunkFirst + chunkRows - 1 */
    Dim chunkFirst;
} DecimateSource;

static DecimateSource plainSource(const void* src, Dim rowStep, Dim chStep)
{
    DecimateSource s;
    memset(&s, 0, sizeof s);
    s.base = (const char*)src;
    s.rowStep = rowStep;
    s.chStep = chStep;
    return s;
}

/* Region row row, or null when a tile was not delivered. */
static const void* sourceRow(DecimateSource* s, Dim row, int kind)
{
    if (!s->image)
        return elemAt(s->base, row * s->rowStep, kind);
    if (!s->chunk || row < s->chunkFirst || row >= s->chunkFirst + s->chunkRows) {
        ownFreeRect(s->chunk);
        int rowBytes = 0;
        s->chunk = ownGetRect(s->image, s->x, s->y + (int)row, s->width, s->chunkRows, &rowBytes);
        if (!s->chunk)
            return NULL;
        s->chunkFirst = row;
        s->rowStep = rowBytes / elemBytes(kind);
        const int plane = s->image->dataOrder == QIM_ORDER_PLANE;
        s->chStep = plane ? s->rowStep * s->chunkRows : 1;
        s->base = (const char*)s->chunk + s->channel * s->chStep * elemBytes(kind);
    }
    return elemAt(s->base, (row - s->chunkFirst) * s->rowStep, kind);
}

/* ---- Nearest neighbour ------------------------------------------------------ */

/* Pixel order: all processed channels of a pixel at once; plane order: each
 * plane in turn. 1 on success, -1 when a source row could not be had. */
INLINE int nearestCore(DecimateSource* source, int planes, void* dst, Dim dstChannelStep,
                       Dim dstChannelEnd, Dim dstPixelStep, Dim dstRowEnd, Dim dstRowStep,
                       Dim dstRowsEnd, Dim srcPixelStep, Dim availX, Dim availY, float xStep,
                       float yStep, float* xPos, float* yPos, int kind)
{
    const Dim n = dstRowEnd / dstPixelStep;
    const Dim m = dstRowsEnd / dstRowStep;
    const double x0 = *xPos, y0 = *yPos, dx = xStep, dy = yStep;
    const Dim first = source->column0;
    const Dim count = planes ? 1 : dstChannelEnd;
    double y = y0;
    for (Dim r = 0; r < dstRowsEnd; r += dstRowStep, y += dy) {
        const void* row = sourceRow(source, clampIndex((Dim)y, availY), kind);
        if (!row)
            return -1;
        for (Dim c = 0, sc = 0; c < (planes ? dstChannelEnd : 1);
             c += dstChannelStep, sc += source->chStep) {
            double x = x0;
            for (Dim i = 0; i < dstRowEnd; i += dstPixelStep, x += dx) {
                const Dim s = (clampIndex((Dim)x, availX) - first) * srcPixelStep + sc;
                for (Dim e = 0; e < count; ++e)
                    copyElem(dst, c + r + i + e, row, s + e, kind);
            }
        }
    }
    *xPos = accumulate(*xPos, xStep, n);
    *yPos = accumulate(*yPos, yStep, m);
    return 1;
}

#define NEAREST_KERNEL(name, kind)                                                               \
    int name(OWN_DECIMATE_KERNEL_ARGS)                                                           \
    {                                                                                            \
        DecimateSource source = plainSource(src, srcRowStep, srcChannelStep);                    \
        const int planes = srcPixelStep == 1 && srcChannelStep > 1;                              \
        return nearestCore(&source, planes, dst, dstChannelStep, dstChannelEnd, dstPixelStep,    \
                           dstRowEnd, dstRowStep, dstRowsEnd, srcPixelStep,                      \
                           srcRowEnd / srcPixelStep, srcRowsEnd / srcRowStep, xStep, yStep,      \
                           xPos, yPos, kind);                                                    \
    }

NEAREST_KERNEL(ownDecimateNN_8u, K8U)
NEAREST_KERNEL(ownDecimateNN_16u, K16U)
NEAREST_KERNEL(ownDecimateNN_32f, K32F)

/* ---- 1U rows ------------------------------------------------------------------ */

INLINE int readBit(const uint8_t* row, Dim x)
{
    return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

/* Bits lo..hi of a byte counted from the most significant bit, as a mask. */
INLINE unsigned bitSpan(int lo, int hi)
{
    static const unsigned char lowMasks[9] = {0, 1, 3, 7, 15, 31, 63, 127, 255};
    return lowMasks[8 - lo] & ~(unsigned)lowMasks[7 - hi];
}

/* Writes n bits of a destination row from bit position pos on, byte by byte:
 * whole bytes are stored, the first and last only in the row's bits.
 * next(state) gives the row's bits in order. */
INLINE void writeBitRow(uint8_t* drow, Dim pos, Dim n, int (*next)(void*), void* state)
{
    for (Dim i = 0; i < n;) {
        const int lo = (int)(pos & 7);
        const int hi = (n - i) - 1 < 7 - lo ? lo + (int)(n - i) - 1 : 7;
        unsigned bits = 0;
        for (int b = lo; b <= hi; ++b)
            bits |= (unsigned)next(state) << (7 - b);
        uint8_t* out = drow + (pos >> 3);
        if (lo == 0 && hi == 7) {
            *out = (uint8_t)bits;
        } else {
            const unsigned span = bitSpan(lo, hi);
            *out = (uint8_t)((*out & ~span) | (bits & span));
        }
        i += hi - lo + 1;
        pos += hi - lo + 1;
    }
}

/* Where the 1U kernels find their source rows: in the image itself, or, for
 * a tiled image, in rectangles copied from its tiles. Region row r is at
 * base + (r - first) x rowBytes, its bit 0 being bit 0 of the byte that holds
 * the region's first pixel in the image, so both give the same bits. */
typedef struct {
    const uint8_t* base;
    Dim rowBytes, first;
    const QimImage* image; /* tiled: the image, else null */
    int x, y, width;       /* tiled: first image column (a multiple of 8), region row 0, bits */
    int chunkRows;
    void* chunk;
} BitSource;

/* Makes region rows lo .. hi available; 0 when a tile was not delivered. */
static int bitRows(BitSource* s, Dim lo, Dim hi)
{
    if (!s->image || (s->chunk && lo >= s->first && hi < s->first + s->chunkRows))
        return 1;
    ownFreeRect(s->chunk);
    int rowBytes = 0;
    if (hi - lo + 1 > s->chunkRows)
        s->chunkRows = (int)(hi - lo + 1);
    s->chunk = ownGetRect(s->image, s->x, s->y + (int)lo, s->width, s->chunkRows, &rowBytes);
    s->base = (const uint8_t*)s->chunk;
    s->rowBytes = rowBytes;
    s->first = lo;
    return s->chunk != NULL;
}

/* The nearest source bit of each destination bit; the x accumulator is a
 * float, rounded after every addition. */
typedef struct {
    const uint8_t* row;
    float x, step;
    Dim end;
} NearestBits;

static int nextNearestBit(void* state)
{
    NearestBits* b = (NearestBits*)state;
    const int bit = readBit(b->row, clampIndex((Dim)b->x, b->end));
    b->x = b->x + b->step;
    return bit;
}

/* 1 on success, 0 when a source tile was not delivered. */
static int nearestBits(BitSource* source, uint8_t* d, int dstBit, Dim n, Dim m, Dim dstRowBytes,
                       int srcBit, Dim availY, Dim xEnd, float xStep, float yStep, float* xPos,
                       float* yPos)
{
    double y = *yPos;
    for (Dim j = 0; j < m; ++j, y += (double)yStep) {
        const Dim r = clampIndex((Dim)y, availY);
        if (!bitRows(source, r, r))
            return 0;
        NearestBits bits = {source->base + (r - source->first) * source->rowBytes,
                            *xPos + (float)srcBit, xStep, xEnd};
        writeBitRow(d + j * dstRowBytes, dstBit, n, nextNearestBit, &bits);
    }
    float x = *xPos + (float)srcBit;
    for (Dim i = 0; i < n; ++i)
        x = x + xStep;
    *xPos = x - (float)srcBit;
    *yPos = accumulate(*yPos, yStep, m);
    return 1;
}

int ownDecimateNN_1u(OWN_DECIMATE_KERNEL_ARGS)
{
    (void)dstChannelEnd;
    BitSource source = {(const uint8_t*)src, srcRowStep >> 3, 0, NULL, 0, 0, 0, 0, NULL};
    const int srcBit = (int)srcChannelStep;
    return nearestBits(&source, (uint8_t*)dst, (int)dstChannelStep, dstRowEnd / dstPixelStep,
                       dstRowsEnd / dstRowStep, dstRowStep >> 3, srcBit, srcRowsEnd / srcRowStep,
                       srcBit + srcRowEnd / srcPixelStep, xStep, yStep, xPos, yPos);
}

/* ---- Linear and cubic ---------------------------------------------------------- */

enum { AXIS_X = 1, AXIS_Y = 2, AXIS_XY = 3 };

/* The cubic through a, b, c, d at -1, 0, 1, 2, evaluated at t and multiplied
 * by 1/6 rounded to single precision. */
INLINE double cubicSixth(double a, double b, double c, double d, double t)
{
    const double s = (double)(1.0f / 6.0f);
    const double L = -2 * a - 3 * b + 6 * c - d;
    const double Q = 3 * a - 6 * b + 3 * c;
    const double C = -a + 3 * b - 3 * c + d;
    return ((Q * t * t + L * t) + C * (t * (t * t)) + 6 * b) * s;
}

/* The taps around pos on one axis and the fraction: linear reads k and
 * k + 1; cubic reads k - 1 .. k + 2, the window moving back by one near the
 * end of the available extent. Every tap is kept inside that extent. */
INLINE double window(double pos, Dim avail, int cubic, Dim taps[4])
{
    Dim k = (Dim)pos;
    double t = pos - (double)k;
    if (cubic && k >= avail - 2) {
        k -= 1;
        t += 1;
    }
    for (int q = 0; q < 4; ++q)
        taps[q] = clampIndex(cubic ? k - 1 + q : k + q, avail);
    return t;
}

/* Linear (two taps) or cubic (four) along one axis over samples a[0..3]. */
INLINE double along(const double* a, double t, int cubic)
{
    return cubic ? cubicSixth(a[0], a[1], a[2], a[3], t) : a[0] * (1 - t) + a[1] * t;
}

/* One-axis (AXIS_X, AXIS_Y) or two-axis (AXIS_XY) linear or cubic body. A
 * one-axis kernel whose start position is below the smallest normal float
 * copies its first sample and interpolates from one step on; the neighbours
 * along the other axis are not read. */
INLINE int interpolationBody(OWN_DECIMATE_KERNEL_ARGS, int axes, int cubic, int kind)
{
    const Dim nch = dstChannelEnd / dstChannelStep;
    const Dim n = dstRowEnd / dstPixelStep;
    const Dim m = dstRowsEnd / dstRowStep;
    const Dim availX = srcRowEnd / srcPixelStep, availY = srcRowsEnd / srcRowStep;
    const double x0 = *xPos, y0 = *yPos, dx = xStep, dy = yStep;
    const int copyFirstX = axes == AXIS_X && x0 < FLT_MIN;
    const int copyFirstY = axes == AXIS_Y && y0 < FLT_MIN;
    const int taps = cubic ? 4 : 2;
    for (Dim ch = 0; ch < nch; ++ch) {
        const void* sc = elemAt(src, ch * srcChannelStep, kind);
        void* dc = (char*)dst + ch * dstChannelStep * elemBytes(kind);
        double y = y0;
        for (Dim j = 0; j < m; ++j, y += dy) {
            Dim ry[4];
            double ty = 0;
            if (axes == AXIS_X)
                ry[0] = clampIndex((Dim)y, availY);
            else
                ty = window(y, availY, cubic, ry);
            const void* rows[4];
            for (int q = 0; q < (axes == AXIS_X ? 1 : taps); ++q)
                rows[q] = elemAt(sc, ry[q] * srcRowStep, kind);
            void* drow = (char*)dc + j * dstRowStep * elemBytes(kind);
            double x = x0;
            for (Dim i = 0; i < n; ++i, x += dx) {
                double v;
                Dim cx[4];
                double a[4];
                if (axes == AXIS_Y) {
                    const Dim s0 = clampIndex((Dim)x, availX) * srcPixelStep;
                    for (int q = 0; q < taps; ++q)
                        a[q] = loadElem(rows[q], s0, kind);
                    v = (copyFirstY && j == 0) ? a[cubic] : along(a, ty, cubic);
                } else {
                    const double tx = window(x, availX, cubic, cx);
                    double h[4];
                    for (int r = 0; r < (axes == AXIS_X ? 1 : taps); ++r) {
                        for (int q = 0; q < taps; ++q)
                            a[q] = loadElem(rows[r], cx[q] * srcPixelStep, kind);
                        h[r] = along(a, tx, cubic);
                    }
                    if (axes == AXIS_X)
                        v = (copyFirstX && i == 0) ? loadElem(rows[0], 0, kind) : h[0];
                    else
                        v = along(h, ty, cubic);
                }
                storeTrunc(drow, i * dstPixelStep, v, kind);
            }
        }
    }
    *xPos = accumulate(*xPos, xStep, n);
    *yPos = accumulate(*yPos, yStep, m);
    return 1;
}

/* The two-axis kernels: when a start position is (in effect) 0, the first row
 * comes from the x-only kernel and the first column of the remaining rows from
 * the y-only kernel; the rest is interpolated on both axes. */
INLINE int twoAxisBody(OWN_DECIMATE_KERNEL_ARGS, OwnDecimateKernel xOnly, OwnDecimateKernel yOnly,
                       int cubic, int kind)
{
    const Dim n = dstRowEnd / dstPixelStep;
    Dim m = dstRowsEnd / dstRowStep;
    char* d = (char*)dst;
    const Dim eb = elemBytes(kind);
    float x = *xPos, y = *yPos;
    float xAfterFirstRow = x;
    int firstRowDone = 0;
    Dim cols = n;
    if (y < FLT_MIN && m > 0) {
        float xl = x, yl = y;
        xOnly(src, d, dstChannelStep, dstChannelEnd, dstPixelStep, dstRowEnd, dstRowStep,
              dstRowStep, srcChannelStep, srcPixelStep, srcRowEnd, srcRowStep, srcRowsEnd, xStep,
              yStep, &xl, &yl);
        y = yl;
        xAfterFirstRow = xl;
        firstRowDone = 1;
        d += dstRowStep * eb;
        --m;
    }
    if (x < FLT_MIN && m > 0 && cols > 0) {
        float xl = x, yl = y;
        yOnly(src, d, dstChannelStep, dstChannelEnd, dstPixelStep, dstPixelStep, dstRowStep,
              m * dstRowStep, srcChannelStep, srcPixelStep, srcRowEnd, srcRowStep, srcRowsEnd,
              xStep, yStep, &xl, &yl);
        x = xl;
        d += dstPixelStep * eb;
        --cols;
    }
    if (m > 0 && cols > 0) {
        float xl = x, yl = y;
        interpolationBody(src, d, dstChannelStep, dstChannelEnd, dstPixelStep,
                          cols * dstPixelStep, dstRowStep, m * dstRowStep, srcChannelStep,
                          srcPixelStep, srcRowEnd, srcRowStep, srcRowsEnd, xStep, yStep, &xl, &yl,
                          AXIS_XY, cubic, kind);
    }
    *xPos = (m > 0 || !firstRowDone) ? accumulate(x, xStep, cols) : xAfterFirstRow;
    *yPos = accumulate(y, yStep, m);
    return 1;
}

#define ONE_AXIS_KERNEL(name, axes, cubic, kind)                                                 \
    int name(OWN_DECIMATE_KERNEL_ARGS)                                                           \
    {                                                                                            \
        return interpolationBody(src, dst, dstChannelStep, dstChannelEnd, dstPixelStep,          \
                                 dstRowEnd, dstRowStep, dstRowsEnd, srcChannelStep, srcPixelStep, \
                                 srcRowEnd, srcRowStep, srcRowsEnd, xStep, yStep, xPos, yPos,    \
                                 axes, cubic, kind);                                             \
    }

#define TWO_AXIS_KERNEL(name, xOnly, yOnly, cubic, kind)                                         \
    int name(OWN_DECIMATE_KERNEL_ARGS)                                                           \
    {                                                                                            \
        return twoAxisBody(src, dst, dstChannelStep, dstChannelEnd, dstPixelStep, dstRowEnd,     \
                           dstRowStep, dstRowsEnd, srcChannelStep, srcPixelStep, srcRowEnd,      \
                           srcRowStep, srcRowsEnd, xStep, yStep, xPos, yPos, xOnly, yOnly,       \
                           cubic, kind);                                                         \
    }

/* The six linear and cubic kernels of one depth. */
#define INTERPOLATION_KERNELS(suffix, kind)                                                       \
    ONE_AXIS_KERNEL(ownDecimateLinearX_##suffix, AXIS_X, 0, kind)                                \
    ONE_AXIS_KERNEL(ownDecimateLinearY_##suffix, AXIS_Y, 0, kind)                                \
    TWO_AXIS_KERNEL(ownDecimateLinear_##suffix, ownDecimateLinearX_##suffix,                     \
                    ownDecimateLinearY_##suffix, 0, kind)                                        \
    ONE_AXIS_KERNEL(ownDecimateCubicX_##suffix, AXIS_X, 1, kind)                                 \
    ONE_AXIS_KERNEL(ownDecimateCubicY_##suffix, AXIS_Y, 1, kind)                                 \
    TWO_AXIS_KERNEL(ownDecimateCubic_##suffix, ownDecimateCubicX_##suffix,                       \
                    ownDecimateCubicY_##suffix, 1, kind)

INTERPOLATION_KERNELS(8u, K8U)
INTERPOLATION_KERNELS(16u, K16U)
INTERPOLATION_KERNELS(32f, K32F)

/* ---- Super-sampling (8U, 16U, 32F) ------------------------------------------------ */

size_t ownDecimateSuperBudget = (size_t)1 << 20;

static const double EDGE_SLACK = 0.0001;

/* Where the vertical pass stands: the next source row, the boundary of the
 * open destination row, that row's index, and whether the first row is next. */
typedef struct {
    Dim row;
    double boundary;
    Dim open;
    int first;
    int done;
    int failed;
    int fresh; /* the open row has had nothing yet */
} SuperRows;

/* Plans the horizontal pass: one entry per used column. Returns the number of
 * entries to run; *finalWrite is set when a column is still open after them. */
static Dim planColumns(SuperColumn* plan, Dim c0, Dim ncols, Dim n, double xpos, double dx,
                       int* finalWrite)
{
    double boundary = xpos;
    const double reference = (double)(Dim)(xpos + EDGE_SLACK);
    Dim written = 0;
    for (Dim col = 0; col < ncols; ++col) {
        SuperColumn* p = &plan[col];
        const double edge = (double)(c0 + col + 1);
        p->flags = 0;
        if (edge >= boundary + EDGE_SLACK) {
            double rest;
            if (col > 0) {
                const double d = boundary - (double)(Dim)boundary;
                p->flags = COL_PART | COL_WRITE;
                p->part = d;
                if (++written == n) {
                    *finalWrite = 0;
                    return col + 1;
                }
                rest = 1 - d;
            } else {
                rest = 1 - (xpos - reference);
            }
            p->flags |= COL_REST;
            p->rest = rest;
            boundary += dx;
        } else {
            p->flags = COL_WHOLE;
            if (edge >= boundary) {
                p->flags |= COL_WRITE;
                if (++written == n) {
                    *finalWrite = 0;
                    return col + 1;
                }
                boundary += dx;
            }
        }
    }
    *finalWrite = 1;
    return ncols;
}

INLINE void storeMean(void* row, Dim index, double unit, float sum, int kind)
{
    const double v = unit * (double)sum;
    if (kind == K32F) {
        ((float*)row)[index] = (float)v;
        return;
    }
    /* Rounded and saturated: a white image stays white whatever the float
     * sums came to. */
    const double top = kind == K8U ? 255.0 : 65535.0;
    const double r = 0.5 + v;
    const int q = r >= top ? (int)top : r > 0 ? (int)r : 0;
    if (kind == K8U)
        ((uint8_t*)row)[index] = (uint8_t)q;
    else
        ((uint16_t*)row)[index] = (uint16_t)q;
}

/* Row operations of the vertical pass over one strip row of count elements. */
#if defined(__SSE2__)
/* Sixteen bytes as four vectors of floats (exact). */
static inline void bytesToFloats(const uint8_t* s, __m128 f[4])
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i v = _mm_loadu_si128((const __m128i*)s);
    const __m128i lo = _mm_unpacklo_epi8(v, zero), hi = _mm_unpackhi_epi8(v, zero);
    f[0] = _mm_cvtepi32_ps(_mm_unpacklo_epi16(lo, zero));
    f[1] = _mm_cvtepi32_ps(_mm_unpackhi_epi16(lo, zero));
    f[2] = _mm_cvtepi32_ps(_mm_unpacklo_epi16(hi, zero));
    f[3] = _mm_cvtepi32_ps(_mm_unpackhi_epi16(hi, zero));
}

/* Four 16-bit elements or floats as four floats (exact). */
INLINE __m128 fourFloats(const void* s, int kind)
{
    if (kind == K16U)
        return _mm_cvtepi32_ps(
            _mm_unpacklo_epi16(_mm_loadl_epi64((const __m128i*)s), _mm_setzero_si128()));
    return _mm_loadu_ps((const float*)s);
}
#endif

/* Contiguous elements: set to (or, with add, add) the elements as floats,
 * sixteen bytes or four wider elements at a time; (float)(1.0 x f) is f.
 * Returns how many were done. */
INLINE Dim wholeRow(float* buf, const void* s, Dim count, int add, int kind)
{
    Dim e = 0;
#if defined(__SSE2__)
    if (ownVectorLevel() < OWN_VECTOR_SSE2)
        return 0;
    if (kind == K8U) {
        for (; e + 16 <= count; e += 16) {
            __m128 f[4];
            bytesToFloats((const uint8_t*)s + e, f);
            for (int q = 0; q < 4; ++q) {
                float* b = buf + e + 4 * q;
                _mm_storeu_ps(b, add ? _mm_add_ps(_mm_loadu_ps(b), f[q]) : f[q]);
            }
        }
        return e;
    }
    for (; e + 4 <= count; e += 4) {
        const __m128 f = fourFloats(elemAt(s, e, kind), kind);
        float* b = buf + e;
        _mm_storeu_ps(b, add ? _mm_add_ps(_mm_loadu_ps(b), f) : f);
    }
#else
    (void)buf; (void)s; (void)count; (void)add; (void)kind;
#endif
    return e;
}

INLINE int depthOf(int kind)
{
    return kind == K8U ? QIM_DEPTH_8U : kind == K16U ? QIM_DEPTH_16U : QIM_DEPTH_32F;
}

/* The rows of the vertical pass over count elements of a source row. A row
 * is contiguous when its elements follow one another (all channels of each
 * pixel, or one channel of one pixel per element); contiguous rows take the
 * vector paths. */
typedef struct {
    Dim count, pix, chStep, nch;
    int contiguous; /* 0 none, else the vector level */
    int prefetch;   /* the AVX2 rows prefetch the source */
} SuperRowShape;

size_t ownDecimateSuperPrefetchBytes = (size_t)12 << 20;

INLINE void rowSet(float* buf, const void* src, const SuperRowShape* r, double w, int kind)
{
    const Dim count = r->count, pix = r->pix, chStep = r->chStep, nch = r->nch;
    if (r->contiguous) {
        Dim e = 0;
        if (r->contiguous >= OWN_VECTOR_AVX2)
            e = ownSuperSetAvx2(buf, src, count, w, depthOf(kind), r->prefetch);
        else if (w == 1.0)
            e = wholeRow(buf, src, count, 0, kind);
        for (; e < count; ++e)
            buf[e] = (float)(w * loadElem(src, e, kind));
        return;
    }
    for (Dim col = 0, e = 0; e < count; ++col)
        for (Dim ch = 0; ch < nch; ++ch, ++e)
            buf[e] = (float)(w * loadElem(src, col * pix + ch * chStep, kind));
}

INLINE void rowAddPart(float* buf, const void* src, const SuperRowShape* r, double w, int kind)
{
    const Dim count = r->count, pix = r->pix, chStep = r->chStep, nch = r->nch;
    if (r->contiguous) {
        /* The vector rows stop at any element, not only at a pixel's first
         * one: the rest goes on from exactly there, since an element done
         * twice would be added twice. */
        Dim e = 0;
        if (r->contiguous >= OWN_VECTOR_AVX2)
            e = ownSuperAddPartAvx2(buf, src, count, w, depthOf(kind), r->prefetch);
        for (; e < count; ++e)
            buf[e] = (float)((double)buf[e] + w * loadElem(src, e, kind));
        return;
    }
    for (Dim col = 0, e = 0; e < count; ++col)
        for (Dim ch = 0; ch < nch; ++ch, ++e)
            buf[e] = (float)((double)buf[e] + w * loadElem(src, col * pix + ch * chStep, kind));
}

/* A float sum of two floats is the double sum rounded to float, so whole rows
 * are added in single precision. */
INLINE void rowAddWhole(float* buf, const void* src, const SuperRowShape* r, int kind)
{
    const Dim count = r->count, pix = r->pix, chStep = r->chStep, nch = r->nch;
    if (r->contiguous) {
        Dim e = 0;
        if (r->contiguous >= OWN_VECTOR_AVX2)
            e = ownSuperAddAvx2(buf, src, count, depthOf(kind), r->prefetch);
        else
            e = wholeRow(buf, src, count, 1, kind);
        for (; e < count; ++e)
            buf[e] += (float)loadElem(src, e, kind);
        return;
    }
    for (Dim col = 0, e = 0; e < count; ++col)
        for (Dim ch = 0; ch < nch; ++ch, ++e)
            buf[e] += (float)loadElem(src, col * pix + ch * chStep, kind);
}

/* With AVX2 and a plain source (whose rows all stay readable), contiguous
 * rows are not done one at a time but gathered per buffer row and done in
 * one run (SuperRun), which keeps the sums in registers rather than passing
 * over a buffer row for each source row. */
INLINE void runFlush(SuperRun* run, const SuperRowShape* r, int kind)
{
    if (!run->buf)
        return;
    const Dim count = r->count;
    Dim e = ownSuperRunAvx2(run, count, depthOf(kind), r->prefetch);
    for (; e < count; ++e) {
        float v = run->head ? (float)(run->headW * loadElem(run->head, e, kind)) : run->buf[e];
        for (int k = 0; k < run->nAdds; ++k)
            v += (float)loadElem(run->adds[k], e, kind);
        if (run->tail)
            v = (float)((double)v + run->tailW * loadElem(run->tail, e, kind));
        run->buf[e] = v;
    }
    run->buf = NULL;
    run->head = run->tail = NULL;
    run->nAdds = 0;
}

/* Makes buf the run's row, running what was gathered for another row. */
INLINE void runOn(SuperRun* run, float* buf, const SuperRowShape* r, int kind)
{
    if (run->buf != buf) {
        runFlush(run, r, kind);
        run->buf = buf;
    }
}

INLINE void opSet(SuperRun* run, float* buf, const void* src, const SuperRowShape* r, double w,
                  int kind)
{
    if (!run) {
        rowSet(buf, src, r, w, kind);
        return;
    }
    /* A row's first operation: whatever was gathered is another row's. */
    runFlush(run, r, kind);
    run->buf = buf;
    run->head = src;
    run->headW = w;
}

INLINE void opAddWhole(SuperRun* run, float* buf, const void* src, const SuperRowShape* r,
                       int kind)
{
    if (!run) {
        rowAddWhole(buf, src, r, kind);
        return;
    }
    runOn(run, buf, r, kind);
    if (run->nAdds == SUPER_RUN_ADDS) {
        runFlush(run, r, kind);
        run->buf = buf;
    }
    run->adds[run->nAdds++] = src;
}

/* A row's last operation: the run is done. */
INLINE void opAddPart(SuperRun* run, float* buf, const void* src, const SuperRowShape* r,
                      double w, int kind)
{
    if (!run) {
        rowAddPart(buf, src, r, w, kind);
        return;
    }
    runOn(run, buf, r, kind);
    run->tail = src;
    run->tailW = w;
    runFlush(run, r, kind);
}

/* Runs the vertical pass from *state until destination row limit is reached
 * (closed), the last row is closed or the source rows run out. Destination
 * row j is ring row j mod ringRows, of rowFloats floats. A row's first
 * contribution is stored rather than added (the same values as adding it to
 * 0), so rows are never cleared. Stops with state->failed
 * set when a source row cannot be had. */
INLINE void verticalPass(SuperRows* state, float* strip, Dim rowFloats, Dim ringRows, Dim limit,
                         Dim m, DecimateSource* source, Dim rowEnd, SuperRowShape* shape,
                         double ypos, double dy, SuperRun* run, int kind)
{
    const double reference = (double)(Dim)(ypos + EDGE_SLACK);
    while (!state->done && state->row < rowEnd && state->open < limit) {
        const void* srow = sourceRow(source, state->row, kind);
        if (!srow) {
            state->failed = 1;
            break;
        }
        shape->chStep = source->chStep;
        const double edge = (double)(state->row + 1);
        float* open = strip + (state->open % ringRows) * rowFloats;
        if (edge >= state->boundary + EDGE_SLACK) {
            double w;
            if (!state->first) {
                const double d = state->boundary - (double)(Dim)state->boundary;
                if (state->fresh)
                    opSet(run, open, srow, shape, d, kind);
                else
                    opAddPart(run, open, srow, shape, d, kind);
                if (++state->open == m) {
                    state->done = 1;
                    break;
                }
                open = strip + (state->open % ringRows) * rowFloats;
                w = 1 - d;
            } else {
                w = 1 - (ypos - reference);
            }
            opSet(run, open, srow, shape, w, kind);
            state->fresh = 0;
            state->boundary += dy;
        } else {
            if (state->fresh)
                opSet(run, open, srow, shape, 1.0, kind);
            else
                opAddWhole(run, open, srow, shape, kind);
            state->fresh = 0;
            if (edge >= state->boundary) {
                if (++state->open == m) {
                    state->done = 1;
                    break;
                }
                state->fresh = 1;
                state->boundary += dy;
            }
        }
        state->first = 0;
        ++state->row;
    }
    if (run)
        runFlush(run, shape, kind);
    /* Rows the source did not reach hold nothing. */
    if (!state->done && !state->failed && state->row >= rowEnd) {
        for (Dim j = state->fresh ? state->open : state->open + 1; j < limit; ++j)
            memset(strip + (j % ringRows) * rowFloats, 0, sizeof(float) * (size_t)shape->count);
    }
}

#if defined(__SSE2__)
/* (float)(a + w b) in double precision per lane, as the scalar pass does. */
static inline __m128 addWeighted(__m128 a, double w, __m128 b)
{
    const __m128d wd = _mm_set1_pd(w);
    const __m128 lo = _mm_cvtpd_ps(
        _mm_add_pd(_mm_cvtps_pd(a), _mm_mul_pd(wd, _mm_cvtps_pd(b))));
    const __m128 hi = _mm_cvtpd_ps(_mm_add_pd(_mm_cvtps_pd(_mm_movehl_ps(a, a)),
                                              _mm_mul_pd(wd, _mm_cvtps_pd(_mm_movehl_ps(b, b)))));
    return _mm_movelh_ps(lo, hi);
}

/* (float)(w b) in double precision per lane. */
static inline __m128 weighted(double w, __m128 b)
{
    const __m128d wd = _mm_set1_pd(w);
    const __m128 lo = _mm_cvtpd_ps(_mm_mul_pd(wd, _mm_cvtps_pd(b)));
    const __m128 hi = _mm_cvtpd_ps(_mm_mul_pd(wd, _mm_cvtps_pd(_mm_movehl_ps(b, b))));
    return _mm_movelh_ps(lo, hi);
}

/* The horizontal pass of one strip row with 3 or 4 interleaved channels. */
INLINE void superRowVector(const SuperColumn* plan, Dim planned, int finalWrite,
                           const float* vals, char* drow, Dim nch, Dim n, Dim pix, double unit,
                           int kind)
{
    __m128 acc = _mm_setzero_ps();
    float lanes[4];
    Dim i = 0;
    for (Dim col = 0; col < planned; ++col) {
        const SuperColumn* p = &plan[col];
        const __m128 v = _mm_loadu_ps(vals + col * nch);
        if (p->flags & COL_WHOLE) {
            acc = _mm_add_ps(acc, v);
            if (p->flags & COL_WRITE) {
                _mm_storeu_ps(lanes, acc);
                for (Dim ch = 0; ch < nch; ++ch)
                    storeMean(drow, i * pix + ch, unit, lanes[ch], kind);
                ++i;
                acc = _mm_setzero_ps();
            }
        } else {
            if (p->flags & COL_PART) {
                acc = addWeighted(acc, p->part, v);
                _mm_storeu_ps(lanes, acc);
                for (Dim ch = 0; ch < nch; ++ch)
                    storeMean(drow, i * pix + ch, unit, lanes[ch], kind);
                ++i;
                acc = _mm_setzero_ps();
            }
            if (p->flags & COL_REST)
                acc = weighted(p->rest, v);
        }
    }
    if (finalWrite && i < n) {
        _mm_storeu_ps(lanes, acc);
        for (Dim ch = 0; ch < nch; ++ch)
            storeMean(drow, i * pix + ch, unit, lanes[ch], kind);
    }
}
#endif

/* With steps of exactly 2 and whole start positions every destination pixel
 * covers one 2 x 2 block of whole source pixels, all weights 1: the vertical
 * pass sets a buffer row to the upper source row and adds the lower one, the
 * horizontal pass sets the block's first destination column to its first
 * source column (adds the others' first to 0), adds the second, and U is
 * 1/4. The AVX2 rows compute just that from the source rows, without the
 * buffers; 8- and 16-bit sums are exact. Returns 0, with nothing done, where
 * the block does not qualify: a tiled source (rows come in chunks), source
 * or destination elements that are not contiguous pixels or planes, or
 * blocks that are not whole inside the source. */
INLINE int superHalf(const DecimateSource* source, void* dst, Dim dstChannelStep, Dim nch,
                     Dim dstPixelStep, Dim n, Dim dstRowStep, Dim m, Dim srcPixelStep, Dim availX,
                     Dim availY, double xpos, double ypos, float xStep, float yStep, int kind)
{
    if (xStep != 2.0f || yStep != 2.0f || source->image || ownVectorLevel() < OWN_VECTOR_AVX2 ||
        xpos != (double)(Dim)xpos || ypos != (double)(Dim)ypos)
        return 0;
    const Dim c0 = (Dim)xpos, r0 = (Dim)ypos;
    if (c0 + 2 * n > availX || r0 + 2 * m > availY)
        return 0;
    /* Pixel order with every channel of the pixel, or one plane at a time. */
    Dim group, groups;
    if (srcPixelStep == nch && dstPixelStep == nch && nch <= 4 &&
        (nch == 1 || (source->chStep == 1 && dstChannelStep == 1)))
        group = nch, groups = 1;
    else if (srcPixelStep == 1 && dstPixelStep == 1)
        group = 1, groups = nch;
    else
        return 0;
    const Dim eb = elemBytes(kind);
    const Dim readable = (availX - c0) * srcPixelStep;
    const int prefetch = (size_t)(2 * m * source->rowStep * eb) > ownDecimateSuperPrefetchBytes;
    for (Dim j = 0; j < m; ++j) {
        const char* a = (const char*)elemAt(
            source->base, (r0 + 2 * j) * source->rowStep + c0 * srcPixelStep, kind);
        const char* b = a + source->rowStep * eb;
        char* d = (char*)dst + j * dstRowStep * eb;
        for (Dim g = 0; g < groups; ++g)
            ownSuperHalfRowAvx2(a + g * source->chStep * eb, b + g * source->chStep * eb, readable,
                                d + g * dstChannelStep * eb, n, group, depthOf(kind), prefetch);
    }
    return 1;
}

/* Super-sampling of the destination block from source; availX and availY
 * are the source pixels from the region's corner to the image's right and
 * bottom edges. 1 on success, 0 when memory ran out (raised), -1 when a
 * source tile was not delivered. */
INLINE int superCore(DecimateSource* source, void* dst, Dim dstChannelStep, Dim dstChannelEnd,
                     Dim dstPixelStep, Dim dstRowEnd, Dim dstRowStep, Dim dstRowsEnd,
                     Dim srcPixelStep, Dim availX, Dim availY, float xStep, float yStep,
                     float* xPos, float* yPos, int kind)
{
    const Dim nch = dstChannelEnd / dstChannelStep;
    const Dim n = dstRowEnd / dstPixelStep;
    const Dim m = dstRowsEnd / dstRowStep;
    const double xpos = *xPos, ypos = *yPos, dx = xStep, dy = yStep;
    if (n <= 0 || m <= 0 || nch <= 0) {
        *xPos = ownDecimateAdvance(ownDecimateSuper_8u, 0, *xPos, xStep, n > 0 ? n : 0);
        *yPos = ownDecimateAdvance(ownDecimateSuper_8u, 1, *yPos, yStep, m > 0 ? m : 0);
        return 1;
    }
    if (superHalf(source, dst, dstChannelStep, nch, dstPixelStep, n, dstRowStep, m, srcPixelStep,
                  availX, availY, xpos, ypos, xStep, yStep, kind)) {
        *xPos = ownDecimateAdvance(ownDecimateSuper_8u, 0, *xPos, xStep, n);
        *yPos = ownDecimateAdvance(ownDecimateSuper_8u, 1, *yPos, yStep, m);
        return 1;
    }
    const Dim c0 = (Dim)xpos;
    Dim ncols = (Dim)((double)(n + 1) * dx) + 1;
    if (c0 + ncols > availX)
        ncols = availX - c0;
    if (ncols < 0)
        ncols = 0;
    const Dim r0 = (Dim)ypos;
    Dim rowEnd = r0 + (Dim)((double)(m + 1) * dy) + 1;
    if (rowEnd > availY)
        rowEnd = availY;

    /* Strips of destination rows keep the buffer bounded (and in the cache);
     * each row's arithmetic is the same as in one pass over all rows. The
     * strip's rows and the row after it, which the vertical pass may have
     * started, form a ring: destination row j is ring row j mod ringRows.
     * Rows are padded to whole chunks of columns for the vector pass. */
    const Dim rowFloats =
        ((ncols + SUPER_CHUNK_COLUMNS - 1) / SUPER_CHUNK_COLUMNS * SUPER_CHUNK_COLUMNS + 1) * nch +
        8;
    const int vectorColumns = ownVectorLevel() >= OWN_VECTOR_AVX2 && nch <= 4;
    Dim stripRows = (Dim)(ownDecimateSuperBudget / (size_t)rowFloats) - 1;
    if (stripRows < 1)
        stripRows = 1;
    if (stripRows > 8)
        stripRows = 8;
    if (stripRows > m)
        stripRows = m;
    const Dim ringRows = stripRows + 1;
    float* strip = (float*)ownAlignedMalloc((long long)sizeof(float) * rowFloats * ringRows);
    float* scratch = (float*)ownAlignedMalloc((long long)sizeof(float) * SUPER_CHUNK_COLUMNS *
                                                  (nch < 4 ? 4 : nch) * 8 +
                                              8 * n * nch + 64);
    SuperColumn* plan = (SuperColumn*)malloc(sizeof(SuperColumn) * (size_t)(ncols > 0 ? ncols : 1));
    if (!strip || !scratch || !plan) {
        ownAlignedFree(strip);
        ownAlignedFree(scratch);
        free(plan);
        ownRaiseError(QIM_STATUS_NO_MEMORY, "qimDecimate",
                      "Can't create temporary buffer for interpolate = QIM_INTER_SUPER", "owndecim",
                      1705);
        return 0;
    }
    /* Once, so that padding never holds stale values. */
    memset(strip, 0, sizeof(float) * (size_t)(rowFloats * ringRows));
    int finalWrite = 0;
    const Dim planned = planColumns(plan, c0, ncols, n, xpos, dx, &finalWrite);
    const double unit = 1.0 / ((double)xStep * (double)yStep);
    /* The vertical pass reads columns c0 .. c0 + ncols - 1. */
    source->column0 = c0;
    if (source->image) {
        source->x += (int)c0;
        source->width = ncols > 0 ? (int)ncols : 1;
    } else {
        source->base = (const char*)elemAt(source->base, c0 * srcPixelStep, kind);
    }
    /* The elements of a row follow one another with one channel, or with
     * every channel of pixel-order pixels (rows copied from tiles alike). */
    const int pixelOrder =
        source->image ? source->image->dataOrder == QIM_ORDER_PIXEL : source->chStep == 1;
    SuperRowShape shape = {ncols * nch, srcPixelStep, source->chStep, nch, 0, 0};
    if (srcPixelStep == nch && (nch == 1 || pixelOrder))
        shape.contiguous = ownVectorLevel();
    /* Rows copied from tiles come in small buffers. */
    shape.prefetch = !source->image && (size_t)((rowEnd - r0) * source->rowStep * elemBytes(kind)) >
                                           ownDecimateSuperPrefetchBytes;

    SuperRun runStore;
    SuperRun* run = NULL;
    if (shape.contiguous >= OWN_VECTOR_AVX2 && !source->image) {
        memset(&runStore, 0, sizeof runStore);
        run = &runStore;
    }

    SuperRows state = {r0, ypos, 0, 1, 0, 0, 1};
    for (Dim first = 0; first < m; first += stripRows) {
        const Dim limit = first + stripRows < m ? first + stripRows : m;
        verticalPass(&state, strip, rowFloats, ringRows, limit, m, source, rowEnd, &shape, ypos,
                     dy, run, kind);
        if (state.failed) {
            ownAlignedFree(strip);
            ownAlignedFree(scratch);
            free(plan);
            return -1;
        }
        if (vectorColumns) {
            const float* rows[8];
            for (Dim j = first; j < limit; ++j)
                rows[j - first] = strip + (j % ringRows) * rowFloats;
            const int depth = kind == K8U ? QIM_DEPTH_8U : kind == K16U ? QIM_DEPTH_16U : QIM_DEPTH_32F;
            ownSuperColumnsAvx2(plan, planned, finalWrite, n, rows, (int)(limit - first), nch,
                                (char*)dst + first * dstRowStep * elemBytes(kind),
                                dstRowStep * elemBytes(kind), dstPixelStep, dstChannelStep, unit,
                                depth, scratch,
                                (uint8_t*)(scratch + SUPER_CHUNK_COLUMNS * (nch < 4 ? 4 : nch) * 8));
            continue;
        }
        for (Dim j = first; j < limit; ++j) {
            const float* vals = strip + (j % ringRows) * rowFloats;
            char* drow = (char*)dst + j * dstRowStep * elemBytes(kind);
#if defined(__SSE2__)
            if (dstChannelStep == 1 && (nch == 3 || nch == 4) &&
                ownVectorLevel() >= OWN_VECTOR_SSE2) {
                /* All channels of a pixel in one vector; the fourth lane
                 * reads the row's padding. */
                superRowVector(plan, planned, finalWrite, vals, drow, nch, n, dstPixelStep, unit,
                               kind);
                continue;
            }
#endif
            for (Dim ch = 0; ch < nch; ++ch) {
                void* out = drow + ch * dstChannelStep * elemBytes(kind);
                float acc = 0;
                Dim i = 0;
                for (Dim col = 0; col < planned; ++col) {
                    const SuperColumn* p = &plan[col];
                    const float v = vals[col * nch + ch];
                    if (p->flags & COL_WHOLE) {
                        acc += v;
                        if (p->flags & COL_WRITE) {
                            storeMean(out, i++ * dstPixelStep, unit, acc, kind);
                            acc = 0;
                        }
                    } else {
                        if (p->flags & COL_PART) {
                            acc = (float)((double)acc + p->part * (double)v);
                            storeMean(out, i++ * dstPixelStep, unit, acc, kind);
                            acc = 0;
                        }
                        if (p->flags & COL_REST)
                            acc = (float)(p->rest * (double)v);
                    }
                }
                if (finalWrite && i < n)
                    storeMean(out, i * dstPixelStep, unit, acc, kind);
            }
        }
    }
    ownAlignedFree(strip);
    ownAlignedFree(scratch);
    free(plan);
    *xPos = ownDecimateAdvance(ownDecimateSuper_8u, 0, *xPos, xStep, n);
    *yPos = ownDecimateAdvance(ownDecimateSuper_8u, 1, *yPos, yStep, m);
    return 1;
}

/* The super-sampling kernels over a plain source. */
#define SUPER_KERNEL(name, kind)                                                                  \
    int name(OWN_DECIMATE_KERNEL_ARGS)                                                            \
    {                                                                                             \
        DecimateSource source = plainSource(src, srcRowStep, srcChannelStep);                     \
        return superCore(&source, dst, dstChannelStep, dstChannelEnd, dstPixelStep, dstRowEnd,    \
                         dstRowStep, dstRowsEnd, srcPixelStep, srcRowEnd / srcPixelStep,          \
                         srcRowsEnd / srcRowStep, xStep, yStep, xPos, yPos, kind) != 0;           \
    }

SUPER_KERNEL(ownDecimateSuper_8u, K8U)
SUPER_KERNEL(ownDecimateSuper_16u, K16U)
SUPER_KERNEL(ownDecimateSuper_32f, K32F)

/* ---- 1U super-sampling -------------------------------------------------------------- */

/* Source span of one destination pixel along one axis: first and last index
 * and their weights. At the end of the available extent the span is moved
 * back so that it ends there, the far index getting weight 0. */
typedef struct {
    Dim lo, hi;
    double wLo, wHi;
} BitSpan;

static BitSpan spanOf(double start, double step, Dim end)
{
    BitSpan s;
    s.hi = (Dim)(start + step);
    s.wHi = (start + step) - (double)s.hi;
    if (s.hi >= end) {
        s.hi = end;
        s.wHi = 0;
        start = (double)end - step;
        if (start < 0)
            start = 0;
    }
    s.lo = (Dim)start;
    s.wLo = 1 - (start - (double)s.lo);
    return s;
}

static double weightedRow(const uint8_t* row, const BitSpan* xs, double rowWeight)
{
    double sum = 0;
    for (Dim c = xs->lo + 1; c < xs->hi; ++c)
        sum += readBit(row, c);
    sum *= rowWeight;
    if (xs->wLo > EDGE_SLACK)
        sum += rowWeight * xs->wLo * readBit(row, xs->lo);
    if (xs->wHi > EDGE_SLACK)
        sum += rowWeight * xs->wHi * readBit(row, xs->hi);
    return sum;
}

/* Each destination bit from the weighted share of set source bits in its
 * area: 1 when it is at least one half. */
typedef struct {
    const BitSource* source;
    const BitSpan* ys;
    Dim availY;
    double x, step;
    Dim end;
    double unit;
} AreaBits;

static int nextAreaBit(void* state)
{
    AreaBits* b = (AreaBits*)state;
    const BitSpan xs = spanOf(b->x, b->step, b->end);
    const BitSpan* ys = b->ys;
    const uint8_t* rows = b->source->base;
    const Dim first = b->source->first, rowBytes = b->source->rowBytes;
    double count = 0;
    for (Dim r = ys->lo + 1; r < ys->hi; ++r)
        count += weightedRow(rows + (r - first) * rowBytes, &xs, 1.0);
    if (ys->wLo > EDGE_SLACK)
        count += weightedRow(rows + (ys->lo - first) * rowBytes, &xs, ys->wLo);
    if (ys->wHi > EDGE_SLACK && ys->hi < b->availY)
        count += weightedRow(rows + (ys->hi - first) * rowBytes, &xs, ys->wHi);
    b->x += b->step;
    return count * b->unit + 0.5 >= 1.0;
}

/* 1 on success, 0 when a source tile was not delivered. */
static int superBits(BitSource* source, uint8_t* d, int dstBit, Dim n, Dim m, Dim dstRowBytes,
                     int srcBit, Dim availY, Dim xEnd, float xStep, float yStep, float* xPos,
                     float* yPos)
{
    const double dx = xStep, dy = yStep;
    const double unit = 1.0 / (dy * dx);
    double y = *yPos;
    for (Dim j = 0; j < m; ++j, y += dy) {
        const BitSpan ys = spanOf(y, dy, availY);
        if (!bitRows(source, ys.lo, ys.hi < availY ? ys.hi : availY - 1))
            return 0;
        AreaBits bits = {source, &ys, availY, (double)*xPos + srcBit, dx, xEnd, unit};
        writeBitRow(d + j * dstRowBytes, dstBit, n, nextAreaBit, &bits);
    }
    *xPos = accumulate(*xPos, xStep, n);
    *yPos = accumulate(*yPos, yStep, m);
    return 1;
}

int ownDecimateSuper_1u(OWN_DECIMATE_KERNEL_ARGS)
{
    (void)dstChannelEnd;
    BitSource source = {(const uint8_t*)src, srcRowStep >> 3, 0, NULL, 0, 0, 0, 0, NULL};
    const int srcBit = (int)srcChannelStep;
    return superBits(&source, (uint8_t*)dst, (int)dstChannelStep, dstRowEnd / dstPixelStep,
                     dstRowsEnd / dstRowStep, dstRowStep >> 3, srcBit, srcRowsEnd / srcRowStep,
                     srcBit + srcRowEnd / srcPixelStep, xStep, yStep, xPos, yPos);
}

/* ---- Tiled sources ------------------------------------------------------------- */

/* Rows fetched from a tiled source at once: about this many elements, at
 * most one tile row. */
enum { CHUNK_ELEMENTS = 1 << 18 };

int ownDecimateFromTiles(OwnDecimateKernel kernel, const QimImage* srcImage, void* dst,
                         ptrdiff_t dstChannelStep, ptrdiff_t dstChannelEnd, ptrdiff_t dstPixelStep,
                         ptrdiff_t dstRowEnd, ptrdiff_t dstRowStep, ptrdiff_t dstRowsEnd,
                         float xStep, float yStep, float* xPos, float* yPos)
{
    const QimRoi* roi = srcImage->roi;
    const int rx = roi ? roi->offsetX : 0, ry = roi ? roi->offsetY : 0;
    const Dim availX = srcImage->width - rx, availY = srcImage->height - ry;
    const int tileRows = srcImage->tileInfo->height;
    int ok;
    if (kernel == ownDecimateNN_1u || kernel == ownDecimateSuper_1u) {
        /* Whole rows from the byte that holds the region's first pixel. */
        const int srcBit = rx % 8;
        BitSource source = {NULL, 0, 0, srcImage, rx - srcBit, ry, srcImage->width - (rx - srcBit),
                            kernel == ownDecimateNN_1u ? 1 : tileRows, NULL};
        ok = (kernel == ownDecimateNN_1u ? nearestBits : superBits)(
            &source, (uint8_t*)dst, (int)dstChannelStep, dstRowEnd / dstPixelStep,
            dstRowsEnd / dstRowStep, dstRowStep >> 3, srcBit, availY, srcBit + availX, xStep,
            yStep, xPos, yPos);
        ownFreeRect(source.chunk);
        return ok;
    }

    const int kind = kernel == ownDecimateNN_8u || kernel == ownDecimateSuper_8u     ? K8U
                     : kernel == ownDecimateNN_16u || kernel == ownDecimateSuper_16u ? K16U
                                                                                    : K32F;
    const Dim pix = srcImage->dataOrder == QIM_ORDER_PLANE ? 1 : srcImage->nChannels;
    Dim rows = CHUNK_ELEMENTS / (availX * pix > 0 ? availX * pix : 1);
    rows = rows < 1 ? 1 : rows > tileRows ? tileRows : rows;
    DecimateSource source;
    memset(&source, 0, sizeof source);
    source.image = srcImage;
    source.x = rx;
    source.y = ry;
    source.chunkRows = (int)rows;
    source.channel = roi && roi->coi > 0 ? roi->coi - 1 : 0;
    if (kernel == ownDecimateSuper_8u || kernel == ownDecimateSuper_16u ||
        kernel == ownDecimateSuper_32f) {
        ok = superCore(&source, dst, dstChannelStep, dstChannelEnd, dstPixelStep, dstRowEnd,
                       dstRowStep, dstRowsEnd, pix, availX, availY, xStep, yStep, xPos, yPos,
                       kind) >= 0;
    } else {
        /* The columns the block samples, as the kernel steps to them. */
        const Dim n = dstRowEnd / dstPixelStep;
        double x = *xPos;
        const Dim first = clampIndex((Dim)x, availX);
        for (Dim i = 1; i < n; ++i)
            x += (double)xStep;
        const Dim last = clampIndex((Dim)x, availX);
        source.column0 = first;
        source.x = rx + (int)first;
        source.width = (int)(last - first + 1);
        source.chunkRows = 1;
        ok = nearestCore(&source, srcImage->dataOrder == QIM_ORDER_PLANE, dst, dstChannelStep, dstChannelEnd, dstPixelStep, dstRowEnd,
                         dstRowStep, dstRowsEnd, pix, availX, availY, xStep, yStep, xPos, yPos,
                         kind) >= 0;
    }
    ownFreeRect(source.chunk);
    return ok;
}
