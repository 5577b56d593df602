// Super-sampling of 8-, 16-bit and float images: the plain C kernels give
// what a direct reading of the two passes gives (float buffers, weights in
// double precision, U x sum rounded half up and saturated, or stored as a
// float), and every vector level gives the bytes of the plain C kernels, for
// random regions, channels, orders, tiles and ratios (exact halves, other
// whole ratios, inexact ones).
#include "ResizeTestSupport.h"
#include "owndecim.h"

#include <cmath>
#include <limits>
#include <random>
#include <sstream>

namespace {

using namespace qimtest;

class SuperSamplingPathsTest : public QimTest {
protected:
    void TearDown() override
    {
        ownSetVectorLevel(OWN_VECTOR_AVX2);
        ownDecimateSuperPrefetchBytes = prefetchBytes;
        ownDecimateSuperBudget = budget;
    }
    const size_t prefetchBytes = ownDecimateSuperPrefetchBytes;
    const size_t budget = ownDecimateSuperBudget;
};

double valueAt(const QimImage* image, int x, int y, int c)
{
    const uint32_t u = get(image, x, y, c);
    if (image->depth != QIM_DEPTH_32F)
        return u;
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

void store(QimImage* image, int x, int y, int c, double unit, float sum)
{
    const double v = unit * (double)sum;
    if (image->depth == QIM_DEPTH_32F) {
        const float f = (float)v;
        uint32_t u;
        std::memcpy(&u, &f, 4);
        put(image, x, y, c, u);
        return;
    }
    const double top = image->depth == QIM_DEPTH_8U ? 255 : 65535;
    const double r = 0.5 + v;
    put(image, x, y, c, (uint32_t)(r >= top ? top : r > 0 ? (int)r : 0));
}

struct Region {
    int x, y, w, h;
};

Region regionOf(const QimImage* image)
{
    const QimRoi* roi = image->roi;
    if (!roi)
        return {0, 0, image->width, image->height};
    return {roi->offsetX, roi->offsetY, std::min(roi->width, image->width - roi->offsetX),
            std::min(roi->height, image->height - roi->offsetY)};
}

int channelsOf(const QimImage* image)
{
    return image->roi && image->roi->coi > 0 ? 1 : image->nChannels;
}

int firstChannel(const QimImage* image)
{
    return image->roi && image->roi->coi > 0 ? image->roi->coi - 1 : 0;
}

// The destination after super-sampling the plain source src into a plain
// destination whose pixels were before, pass by pass. Positions start at 0.
std::vector<unsigned char> expectedSuper(const QimImage* src, const QimImage* before, int xDst,
                                         int xSrc, int yDst, int ySrc)
{
    auto out = newImage(before->nChannels, before->depth, before->width, before->height,
                        before->dataOrder, before->rowAlign, before->alphaIndex);
    std::memcpy(out->imageData, before->imageData, (size_t)before->dataSize);
    const Region rs = regionOf(src), rd = regionOf(before);
    const int n = std::min(rd.w, (int)((long long)rs.w * xDst / xSrc));
    const int m = std::min(rd.h, (int)((long long)rs.h * yDst / ySrc));
    const int availX = src->width - rs.x, availY = src->height - rs.y;
    const int nch = std::min(channelsOf(src), channelsOf(before));
    const float xStep = (float)((double)xSrc / xDst), yStep = (float)((double)ySrc / yDst);
    const double dx = xStep, dy = yStep, unit = 1.0 / (dx * dy), slack = 0.0001;
    const int ncols = std::min((int)((double)(n + 1) * dx) + 1, availX);
    const int rowEnd = std::min((int)((double)(m + 1) * dy) + 1, availY);
    for (int c = 0; c < nch; ++c) {
        auto pixel = [&](int x, int y) {
            return valueAt(src, rs.x + x, rs.y + y, firstChannel(src) + c);
        };
        // Vertical pass into m rows of ncols floats.
        std::vector<float> rows((size_t)m * ncols, 0.0f);
        double b = 0;
        int open = 0;
        for (int r = 0; r < rowEnd && open < m; ++r) {
            float* row = &rows[(size_t)open * ncols];
            const double e = r + 1;
            if (e >= b + slack) {
                double w = 1.0;
                if (r > 0) {
                    const double d = b - std::trunc(b);
                    for (int x = 0; x < ncols; ++x)
                        row[x] = (float)((double)row[x] + d * pixel(x, r));
                    if (++open == m)
                        break;
                    row += ncols;
                    w = 1 - d;
                }
                for (int x = 0; x < ncols; ++x)
                    row[x] = (float)(w * pixel(x, r));
                b += dy;
            } else {
                for (int x = 0; x < ncols; ++x)
                    row[x] = (float)((double)row[x] + pixel(x, r));
                if (e >= b) {
                    ++open;
                    b += dy;
                }
            }
        }
        // Horizontal pass, row by row.
        for (int j = 0; j < m; ++j) {
            const float* row = &rows[(size_t)j * ncols];
            float acc = 0;
            double bx = 0;
            int i = 0;
            auto write = [&] {
                store(out.get(), rd.x + i++, rd.y + j, firstChannel(before) + c, unit, acc);
                acc = 0;
            };
            for (int x = 0; x < ncols && i < n; ++x) {
                const double e = x + 1;
                if (e >= bx + slack) {
                    double rest = 1.0;
                    if (x > 0) {
                        const double d = bx - std::trunc(bx);
                        acc = (float)((double)acc + d * row[x]);
                        write();
                        if (i == n)
                            break;
                        rest = 1 - d;
                    }
                    acc = (float)(rest * row[x]);
                    bx += dx;
                } else {
                    acc = (float)((double)acc + row[x]);
                    if (e >= bx) {
                        write();
                        bx += dx;
                    }
                }
            }
            if (i < n)
                write();
        }
    }
    return bytes(out.get());
}

void pickRatio(std::mt19937& rng, int* dstPart, int* srcPart)
{
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    switch (pick(0, 5)) {
    case 0:
    case 1: *dstPart = 1, *srcPart = 2; break;                  // the exact half
    case 2: *dstPart = 1, *srcPart = pick(1, 20); break;         // whole ratios, 1 : 1 included
    case 3: *dstPart = pick(1, 3), *srcPart = *dstPart * pick(2, 8); break;
    default: *dstPart = pick(1, 9), *srcPart = *dstPart + pick(0, 2 * *dstPart + 7); break;
    }
}

// Element values: random over the depth's range, all at the top (sums of
// whole ratios are exact in single precision only up to a size), or, for
// floats, values of very different size and sign, or (mode 3) zeros of
// either sign, infinities and subnormals among them, where the order of the
// operations shows.
void fillSource(QimImage* image, std::mt19937& rng, int mode)
{
    const float specials[] = {-0.0f, 0.0f, -0.0f, std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(), 1e-45f, -3e-39f, 3e38f};
    const int depth = image->depth;
    std::uniform_int_distribution<uint32_t> any;
    fill(image, [&](int, int, int) -> uint32_t {
        if (depth != QIM_DEPTH_32F) {
            const uint32_t top = depth == QIM_DEPTH_8U ? 255 : 65535;
            return mode == 1 ? top : any(rng) % (top + 1);
        }
        float f;
        if (mode == 1)
            f = 1e30f;
        else if (mode == 2)
            f = std::ldexp((float)(any(rng) % 2000) - 1000.0f, (int)(any(rng) % 80) - 40);
        else
            f = (float)(any(rng) >> 8) / (float)(1u << 24) * 1000.0f;
        if (mode == 3 && any(rng) % 4)
            f = any(rng) % 3 ? -0.0f : specials[any(rng) % 8];
        else if (f == 0)
            f = 0; // no negative zero: the reference adds into zeroed buffers
        uint32_t u;
        std::memcpy(&u, &f, 4);
        return u;
    });
}

// Every destination pixel, NaNs taken as one value.
bool sameBytes(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b, int depth)
{
    if (a.size() != b.size())
        return false;
    if (depth != QIM_DEPTH_32F)
        return a == b;
    for (size_t i = 0; i + 4 <= a.size(); i += 4) {
        float fa, fb;
        std::memcpy(&fa, &a[i], 4);
        std::memcpy(&fb, &b[i], 4);
        if (std::memcmp(&a[i], &b[i], 4) != 0 && !(std::isnan(fa) && std::isnan(fb)))
            return false;
    }
    return true;
}

std::vector<unsigned char> scaleAt(int level, const QimImage* src, QimImage* dst,
                                   const std::vector<unsigned char>& before, int xDst, int xSrc,
                                   int yDst, int ySrc, TiledImage* dstTiles, int* status)
{
    ownSetVectorLevel(level);
    ownSetErrStatus(0);
    std::memcpy(dst->imageData, before.data(), before.size());
    if (dstTiles) {
        dstTiles->load(dst);
        dstTiles->header()->roi = dst->roi;
        *status = qimResize(src, dstTiles->header(), xDst, xSrc, yDst, ySrc, QIM_INTER_SUPER);
        dstTiles->header()->roi = nullptr;
        dstTiles->store(dst);
    } else {
        *status = qimResize(src, dst, xDst, xSrc, yDst, ySrc, QIM_INTER_SUPER);
    }
    return bytes(dst);
}

TEST_F(SuperSamplingPathsTest, EveryLevelGivesThePlainBytesAndThePlainBytesFollowThePasses)
{
    ownSetVectorLevel(OWN_VECTOR_AVX2);
    const int best = ownVectorLevel();
    std::mt19937 rng(20240611);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const int depths[] = {QIM_DEPTH_8U, QIM_DEPTH_16U, QIM_DEPTH_32F};
    int compared[3] = {}, referenced = 0, halves = 0, inexact = 0, narrow = 0, atEdges = 0,
        tiledSrc = 0, tiledDst = 0, masked = 0;
    for (int round = 0; round < 24000 && !HasFailure(); ++round) {
        const int d = round % 3, depth = depths[d];
        // The rows that prefetch serve large sources; every fourth case here.
        ownDecimateSuperPrefetchBytes = round % 4 ? prefetchBytes : 0;
        const int order = pick(0, 5) == 0 ? QIM_ORDER_PLANE : QIM_ORDER_PIXEL;
        const int channels = pick(1, 4);
        const int alpha = channels > 1 && pick(0, 5) == 0 ? channels : 0;
        int xDst, xSrc, yDst, ySrc;
        pickRatio(rng, &xDst, &xSrc);
        pickRatio(rng, &yDst, &ySrc);
        // Regions of a few pixels or of a few hundred, inside the image or
        // reaching its right and bottom edges (or cut by them).
        const bool small = pick(0, 2) == 0;
        const int regionW = small ? pick(1, 8) : pick(8, 200);
        const int regionH = small ? pick(1, 8) : pick(2, 24);
        const int width = regionW + pick(0, 1) * pick(0, 40) + pick(0, 3);
        const int height = regionH + pick(0, 1) * pick(0, 20) + pick(0, 3);
        auto src = newRoiImage(channels, depth, width, height, order, 4 << pick(0, 3), alpha);
        const int mode = pick(0, 9) == 0                           ? 1
                         : depth == QIM_DEPTH_32F && pick(0, 3) == 0 ? pick(2, 3)
                                                                     : 0;
        fillSource(src.get(), rng, mode);
        const int x = pick(0, 1) ? width - regionW : pick(0, width - regionW);
        const int y = pick(0, 1) ? height - regionH : pick(0, height - regionH);
        const int coi = channels > 1 && pick(0, 5) == 0 ? pick(1, channels) : 0;
        // A region now and then longer than what is left of the image.
        src.setRoi(coi, x, y, regionW + (pick(0, 7) == 0 ? pick(1, 9) : 0), regionH);
        const int dstChannels = coi ? pick(1, 2) : channels;
        const int dw = std::max(1, regionW * xDst / xSrc + pick(-1, 3));
        const int dh = std::max(1, regionH * yDst / ySrc + pick(-1, 3));
        auto dst = newRoiImage(dstChannels, depth, dw + pick(0, 4), dh + pick(0, 4), order,
                               4 << pick(0, 3), dstChannels == channels ? alpha : 0);
        scramble(dst.get(), (uint32_t)round);
        if ((coi && dstChannels > 1) || pick(0, 2) == 0)
            dst.setRoi(coi && dstChannels > 1 ? pick(1, dstChannels) : 0,
                       pick(0, dst->width - dw), pick(0, dst->height - dh), dw, dh);
        // Write masks: super-sampling does not take them.
        ImagePtr mask;
        if (pick(0, 7) == 0) {
            mask = newImage(1, QIM_DEPTH_1U, dst->width, dst->height);
            scramble(mask.get(), (uint32_t)round + 3);
            (pick(0, 1) ? src->mask : dst->mask) = mask.get();
            ++masked;
        }
        std::unique_ptr<TiledImage> srcTiles, dstTiles;
        const QimImage* from = src.get();
        if (pick(0, 4) == 0) {
            src->mask = nullptr;
            srcTiles = std::make_unique<TiledImage>(src.get(), 8 * pick(2, 5), 8 * pick(1, 4));
            srcTiles->header()->roi = &src.roi;
            from = srcTiles->header();
        }
        if (pick(0, 5) == 0 && !dst->mask)
            dstTiles = std::make_unique<TiledImage>(dst.get(), 8 * pick(1, 6), 8 * pick(1, 3));
        const auto before = bytes(dst.get());
        std::ostringstream what;
        what << "round " << round << " depth " << depth << " channels " << channels << " coi "
             << coi << " order " << order << " source " << width << "x" << height << " region "
             << x << "," << y << " " << regionW << "x" << regionH << " ratio " << xDst << "/"
             << xSrc << " " << yDst << "/" << ySrc << (srcTiles ? " tiled source" : "")
             << (dstTiles ? " tiled destination" : "");

        int plainStatus = 0;
        const auto plain = scaleAt(OWN_VECTOR_NONE, from, dst.get(), before, xDst, xSrc, yDst,
                                   ySrc, dstTiles.get(), &plainStatus);
        for (int level = OWN_VECTOR_SSE2; level <= best; ++level) {
            int status = 0;
            const auto vector = scaleAt(level, from, dst.get(), before, xDst, xSrc, yDst, ySrc,
                                        dstTiles.get(), &status);
            EXPECT_EQ(status, plainStatus) << what.str();
            EXPECT_TRUE(sameBytes(vector, plain, depth)) << "level " << level << " " << what.str();
        }
        int xi, yi, xm, ym;
        const bool super = ownDecimateChooseMethod(from, xDst, xSrc, yDst, ySrc, QIM_INTER_SUPER,
                                                   &xi, &yi, &xm, &ym) == QIM_INTER_SUPER;
        if (plainStatus == 0 && super && !dstTiles && mode != 3) {
            src->mask = nullptr;
            std::memcpy(dst->imageData, before.data(), before.size());
            const auto expected = expectedSuper(src.get(), dst.get(), xDst, xSrc, yDst, ySrc);
            EXPECT_TRUE(sameBytes(plain, expected, depth)) << "reference, " << what.str();
            ++referenced;
        }
        if (srcTiles)
            srcTiles->header()->roi = nullptr;
        src->mask = dst->mask = nullptr;
        compared[d] += plainStatus == 0 && super;
        halves += xDst * 2 == xSrc && yDst * 2 == ySrc;
        inexact += xSrc % xDst != 0 || ySrc % yDst != 0;
        narrow += regionW <= 8;
        atEdges += x + regionW >= src->width && y + regionH >= src->height;
        tiledSrc += srcTiles != nullptr;
        tiledDst += dstTiles != nullptr;
    }
    for (int d = 0; d < 3; ++d)
        EXPECT_GT(compared[d], 5000) << "depth " << depths[d];
    EXPECT_GT(referenced, 10000);
    EXPECT_GT(halves, 1500);
    EXPECT_GT(inexact, 6000);
    EXPECT_GT(narrow, 4000);
    EXPECT_GT(atEdges, 3000);
    EXPECT_GT(tiledSrc, 2500);
    EXPECT_GT(tiledDst, 2000);
    EXPECT_GT(masked, 1500);
}

// Tall shrinks: a destination row gathers more source rows than one run of
// the vector pass takes (SUPER_RUN_ADDS), so runs end and go on in the middle
// of a row; strips of one row now and then, so a row started in one strip is
// finished in the next. Rows of 1 to 160 elements take the wide, the narrow
// and the scalar steps of the runs.
TEST_F(SuperSamplingPathsTest, LongRunsOfSourceRowsGiveThePlainBytes)
{
    ownSetVectorLevel(OWN_VECTOR_AVX2);
    const int best = ownVectorLevel();
    std::mt19937 rng(20261209);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const int depths[] = {QIM_DEPTH_8U, QIM_DEPTH_16U, QIM_DEPTH_32F};
    int compared = 0, longRuns = 0;
    for (int round = 0; round < 900 && !HasFailure(); ++round) {
        const int depth = depths[round % 3];
        ownDecimateSuperPrefetchBytes = round % 2 ? prefetchBytes : 0;
        ownDecimateSuperBudget = round % 5 == 0 ? 1 : budget;
        const int channels = pick(1, 4);
        int xDst, xSrc;
        pickRatio(rng, &xDst, &xSrc);
        const int yDst = pick(1, 3);
        const int ySrc = yDst * pick(2, 70) + (pick(0, 1) ? pick(0, yDst) : 0);
        const int regionW = pick(1, 40);
        const int regionH = std::max(1, ySrc / yDst * pick(1, 3) + pick(-2, 5));
        const int width = regionW + pick(0, 3), height = regionH + pick(0, 3);
        auto src = newRoiImage(channels, depth, width, height, QIM_ORDER_PIXEL, 4 << pick(0, 3));
        const int mode = pick(0, 9) == 0 ? 1 : depth == QIM_DEPTH_32F && pick(0, 3) == 0 ? 2 : 0;
        fillSource(src.get(), rng, mode);
        const int x = pick(0, width - regionW), y = pick(0, height - regionH);
        src.setRoi(0, x, y, regionW, regionH);
        const int dw = std::max(1, regionW * xDst / xSrc + pick(-1, 2));
        const int dh = std::max(1, regionH * yDst / ySrc + pick(-1, 2));
        auto dst = newRoiImage(channels, depth, dw + pick(0, 2), dh + pick(0, 2),
                               QIM_ORDER_PIXEL, 4 << pick(0, 3));
        scramble(dst.get(), (uint32_t)round);
        const auto before = bytes(dst.get());
        std::ostringstream what;
        what << "round " << round << " depth " << depth << " channels " << channels << " region "
             << x << "," << y << " " << regionW << "x" << regionH << " of " << width << "x"
             << height << " ratio " << xDst << "/" << xSrc << " " << yDst << "/" << ySrc;
        int plainStatus = 0, status = 0;
        const auto plain = scaleAt(OWN_VECTOR_NONE, src.get(), dst.get(), before, xDst, xSrc,
                                   yDst, ySrc, nullptr, &plainStatus);
        const auto vector = scaleAt(best, src.get(), dst.get(), before, xDst, xSrc, yDst, ySrc,
                                    nullptr, &status);
        EXPECT_EQ(status, plainStatus) << what.str();
        EXPECT_TRUE(sameBytes(vector, plain, depth)) << what.str();
        int xi, yi, xm, ym;
        if (plainStatus == 0 && ownDecimateChooseMethod(src.get(), xDst, xSrc, yDst, ySrc,
                                                        QIM_INTER_SUPER, &xi, &yi, &xm,
                                                        &ym) == QIM_INTER_SUPER) {
            std::memcpy(dst->imageData, before.data(), before.size());
            EXPECT_TRUE(sameBytes(plain, expectedSuper(src.get(), dst.get(), xDst, xSrc, yDst,
                                                       ySrc),
                                  depth))
                << "reference, " << what.str();
            ++compared;
            longRuns += ySrc / yDst > SUPER_RUN_ADDS + 1 && regionH >= ySrc / yDst;
        }
    }
    EXPECT_GT(compared, 700);
    EXPECT_GT(longRuns, 250) << longRuns;
}

} // namespace
