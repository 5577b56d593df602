// The vector paths (SSE2, AVX2) give the same bytes as the plain C kernels:
// random geometry, every method, depth and order, regions, channels of
// interest, masks, and images wide enough for the vector rows, each scaled
// once per vector level the processor has.
#include "GuardedPixels.h"
#include "ResizeTestSupport.h"

#include <algorithm>
#include <random>

namespace {

using namespace qimtest;

class VectorPathsTest : public QimTest {
protected:
    void TearDown() override { ownSetVectorLevel(OWN_VECTOR_AVX2); }
};

std::vector<unsigned char> scaleAt(int level, const QimImage* src, const QimImage* dstStart,
                                   QimRoi* dstRoi, QimImage* dstMask, int xDst, int xSrc,
                                   int yDst, int ySrc, int method, int* status)
{
    ownSetVectorLevel(level);
    ownSetErrStatus(0);
    auto dst = newImage(dstStart->nChannels, dstStart->depth, dstStart->width, dstStart->height,
                        dstStart->dataOrder, dstStart->rowAlign, dstStart->alphaIndex);
    std::memcpy(dst->imageData, dstStart->imageData, (size_t)dst->dataSize);
    dst->roi = dstRoi;
    dst->mask = dstMask;
    *status = qimResize(src, dst.get(), xDst, xSrc, yDst, ySrc, method);
    dst->roi = nullptr;
    dst->mask = nullptr;
    return bytes(dst.get());
}

TEST_F(VectorPathsTest, EveryLevelGivesTheSameBytes)
{
    ownSetVectorLevel(OWN_VECTOR_AVX2);
    const int best = ownVectorLevel();
    std::mt19937 rng(31337);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const int depths[] = {QIM_DEPTH_1U, QIM_DEPTH_8U, QIM_DEPTH_8U, QIM_DEPTH_8U, QIM_DEPTH_16U,
                          QIM_DEPTH_32F};
    int compared = 0;
    for (int round = 0; round < 900 && !HasFailure(); ++round) {
        const int depth = depths[pick(0, 5)];
        const int order = depth == QIM_DEPTH_1U ? QIM_ORDER_PIXEL : pick(0, 3) == 0;
        const int channels = depth == QIM_DEPTH_1U ? 1 : pick(1, 4);
        const int alpha = channels > 1 && pick(0, 5) == 0 ? channels : 0;
        const int method = pick(0, 3);
        // Mostly rows long enough for the vector rows, some tiny ones.
        const int wide = pick(0, 3) ? 160 : 12;
        auto src = newRoiImage(channels, depth, pick(2, wide), pick(2, 40), order, 4, alpha);
        auto dst = newRoiImage(channels, depth, pick(1, wide), pick(1, 40), order, 4, alpha);
        randomize(src.get(), (uint32_t)round * 2 + 1);
        scramble(dst.get(), (uint32_t)round * 2 + 2);
        const int coi = channels > 1 && pick(0, 4) == 0 ? pick(1, channels) : 0;
        if (pick(0, 2) == 0)
            src.setRoi(coi, pick(0, src->width - 1), pick(0, src->height - 1),
                       pick(1, src->width), pick(1, src->height));
        QimRoi dstRoi{coi ? pick(1, channels) : 0, pick(0, dst->width - 1),
                      pick(0, dst->height - 1), pick(1, dst->width), pick(1, dst->height)};
        const bool useDstRoi = coi || pick(0, 2) == 0;
        ImagePtr srcMask, dstMask;
        if (method != QIM_INTER_SUPER && pick(0, 5) == 0) {
            srcMask = newImage(1, QIM_DEPTH_1U, pick(1, wide), pick(1, 40));
            scramble(srcMask.get(), (uint32_t)round + 5);
            src->mask = srcMask.get();
        }
        if (method != QIM_INTER_SUPER && pick(0, 5) == 0) {
            dstMask = newImage(1, QIM_DEPTH_1U, pick(1, wide), pick(1, 40));
            scramble(dstMask.get(), (uint32_t)round + 9);
        }
        // Growth and shrinking, with steps from near 1 to beyond the
        // vector windows (shrinking by up to 7).
        int xDst = pick(1, 9), xSrc = pick(1, 9), yDst = pick(1, 9), ySrc = pick(1, 9);
        if (pick(0, 3) == 0)
            xSrc = xDst * pick(2, 7);
        if (method == QIM_INTER_SUPER) {
            if (xDst > xSrc)
                std::swap(xDst, xSrc);
            if (yDst > ySrc)
                std::swap(yDst, ySrc);
        }
        int plainStatus = 0;
        const auto plain = scaleAt(OWN_VECTOR_NONE, src.get(), dst.get(),
                                   useDstRoi ? &dstRoi : nullptr, dstMask.get(), xDst, xSrc, yDst,
                                   ySrc, method, &plainStatus);
        for (int level = OWN_VECTOR_SSE2; level <= best; ++level) {
            int status = 0;
            const auto vector = scaleAt(level, src.get(), dst.get(), useDstRoi ? &dstRoi : nullptr,
                                        dstMask.get(), xDst, xSrc, yDst, ySrc, method, &status);
            EXPECT_EQ(status, plainStatus) << "round " << round;
            EXPECT_TRUE(vector == plain)
                << "round " << round << " level " << level << " method " << method << " depth "
                << depth << " channels " << channels << " order " << order << " ratio " << xDst
                << "/" << xSrc << " " << yDst << "/" << ySrc;
        }
        compared += plainStatus == 0;
        src->mask = nullptr;
    }
    EXPECT_GT(compared, 600);
}

// Super-sampling of small regions: 1 to 8 columns of 1 to 4 channels,
// ratios mostly not whole, regions that often reach the image's right or
// bottom edge (where the used columns end), plain or tiled sources. The rows
// of the vertical pass are then a few elements long, so the vector rows do
// one or two blocks and leave an odd tail.
TEST_F(VectorPathsTest, SmallSuperSamplingRegionsGiveTheSameBytes)
{
    ownSetVectorLevel(OWN_VECTOR_AVX2);
    const int best = ownVectorLevel();
    std::mt19937 rng(424242);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const int depths[] = {QIM_DEPTH_8U, QIM_DEPTH_8U, QIM_DEPTH_8U, QIM_DEPTH_16U, QIM_DEPTH_32F};
    int compared = 0, inexact = 0, atRightEdge = 0, atBottomEdge = 0, tiled = 0;
    for (int round = 0; round < 6000 && !HasFailure(); ++round) {
        const int depth = depths[pick(0, 4)];
        const int order = pick(0, 5) == 0 ? QIM_ORDER_PLANE : QIM_ORDER_PIXEL;
        const int channels = pick(1, 4);
        const int alpha = channels > 1 && pick(0, 5) == 0 ? channels : 0;
        const int regionW = pick(1, 8), regionH = pick(1, 8);
        // Whole ratios on one axis now and then (1 to 1 included).
        int xDst = pick(1, 8), xSrc = xDst + pick(0, 2 * xDst + 3);
        int yDst = pick(1, 8), ySrc = yDst + pick(0, 2 * yDst + 3);
        if (pick(0, 3) == 0)
            xSrc = xDst;
        if (pick(0, 3) == 0)
            ySrc = yDst;
        // Regions that keep at least one written column and row.
        while (regionW * xDst < xSrc)
            --xSrc;
        while (regionH * yDst < ySrc)
            --ySrc;
        const int width = regionW + pick(0, 1) * pick(0, 30) + 3;
        const int height = regionH + pick(0, 1) * pick(0, 30) + 3;
        auto src = newRoiImage(channels, depth, width, height, order, 4, alpha);
        randomize(src.get(), (uint32_t)round * 2 + 1);
        const int x = pick(0, 1) ? width - regionW : pick(0, width - regionW);
        const int y = pick(0, 1) ? height - regionH : pick(0, height - regionH);
        const int coi = channels > 1 && pick(0, 5) == 0 ? pick(1, channels) : 0;
        src.setRoi(coi, x, y, regionW, regionH);
        const int dstChannels = coi ? pick(1, 2) : channels;
        auto dst = newImage(dstChannels, depth, regionW + pick(0, 3), regionH + pick(0, 3), order,
                            4, dstChannels == channels ? alpha : 0);
        scramble(dst.get(), (uint32_t)round * 2 + 2);
        QimRoi dstRoi{coi && dstChannels > 1 ? pick(1, dstChannels) : 0, pick(0, 2), pick(0, 2),
                      regionW, regionH};
        const bool useDstRoi = dstRoi.coi || pick(0, 2) == 0;
        // A tiled source: tiles wider and taller than one destination pixel's
        // area keep super-sampling.
        std::unique_ptr<TiledImage> tiles;
        const QimImage* from = src.get();
        if (pick(0, 3) == 0) {
            tiles = std::make_unique<TiledImage>(src.get(), 8 * pick(1, 3), 8 * pick(1, 3));
            tiles->header()->roi = &src.roi;
            from = tiles->header();
            ++tiled;
        }
        int plainStatus = 0;
        const auto plain = scaleAt(OWN_VECTOR_NONE, from, dst.get(), useDstRoi ? &dstRoi : nullptr,
                                   nullptr, xDst, xSrc, yDst, ySrc, QIM_INTER_SUPER, &plainStatus);
        for (int level = OWN_VECTOR_SSE2; level <= best; ++level) {
            int status = 0;
            const auto vector =
                scaleAt(level, from, dst.get(), useDstRoi ? &dstRoi : nullptr, nullptr, xDst, xSrc,
                        yDst, ySrc, QIM_INTER_SUPER, &status);
            EXPECT_EQ(status, plainStatus) << "round " << round;
            EXPECT_TRUE(vector == plain)
                << "round " << round << " level " << level << " depth " << depth << " channels "
                << channels << " coi " << coi << " order " << order << " source " << width << "x"
                << height << " region " << x << "," << y << " " << regionW << "x" << regionH
                << " ratio " << xDst << "/" << xSrc << " " << yDst << "/" << ySrc
                << (tiles ? " tiled" : "");
        }
        if (tiles)
            tiles->header()->roi = nullptr;
        compared += plainStatus == 0;
        inexact += xSrc % xDst != 0 || ySrc % yDst != 0;
        atRightEdge += x + regionW == width;
        atBottomEdge += y + regionH == height;
    }
    EXPECT_GT(compared, 5000);
    EXPECT_GT(inexact, 3000);
    EXPECT_GT(atRightEdge, 2500);
    EXPECT_GT(atBottomEdge, 2500);
    EXPECT_GT(tiled, 1000);
}

// Two small cases met in the field. A 2 x 2 region at the corner of a
// 43 x 44 image shrunk by 5/6 down: the second row's share of 0.2 counts
// once, so destination (1, 0) is trunc(0.5 + (205 + 0.2 x 192) / 1.2) = 203
// and (0, 0) trunc(0.5 + (157 + 0.2 x 101) / 1.2) = 148, plain or tiled.
// And a whole 27 x 14 image shrunk by 3/8 and 4/7, whose used columns end
// at the image's right edge.
TEST_F(VectorPathsTest, SmallSuperSamplingCasesMetInTheField)
{
    ownSetVectorLevel(OWN_VECTOR_AVX2);
    const int best = ownVectorLevel();
    auto corner = newRoiImage(3, QIM_DEPTH_8U, 43, 44);
    randomize(corner.get(), 6000);
    put(corner.get(), 41, 41, 0, 157);
    put(corner.get(), 42, 41, 0, 205);
    put(corner.get(), 41, 42, 0, 101);
    put(corner.get(), 42, 42, 0, 192);
    corner.setRoi(0, 41, 41, 2, 2);
    TiledImage cornerTiles(corner.get(), 24, 32);
    cornerTiles.header()->roi = &corner.roi;
    auto flat = newImage(3, QIM_DEPTH_8U, 2, 2);
    for (int level = OWN_VECTOR_NONE; level <= best; ++level)
        for (const QimImage* from : {corner.get(), cornerTiles.header()}) {
            int status = -1;
            const auto out =
                scaleAt(level, from, flat.get(), nullptr, nullptr, 1, 1, 5, 6, QIM_INTER_SUPER,
                        &status);
            ASSERT_EQ(status, 0);
            EXPECT_EQ(out[0], 148) << "level " << level << (from == corner.get() ? "" : " tiled");
            EXPECT_EQ(out[3], 203) << "level " << level << (from == corner.get() ? "" : " tiled");
        }
    cornerTiles.header()->roi = nullptr;

    auto whole = newImage(3, QIM_DEPTH_8U, 27, 14);
    randomize(whole.get(), 27);
    auto small = newImage(3, QIM_DEPTH_8U, 10, 10);
    scramble(small.get(), 10);
    int plainStatus = -1;
    const auto plain = scaleAt(OWN_VECTOR_NONE, whole.get(), small.get(), nullptr, nullptr, 3, 8,
                               4, 7, QIM_INTER_SUPER, &plainStatus);
    ASSERT_EQ(plainStatus, 0);
    for (int level = OWN_VECTOR_SSE2; level <= best; ++level) {
        int status = -1;
        EXPECT_TRUE(scaleAt(level, whole.get(), small.get(), nullptr, nullptr, 3, 8, 4, 7,
                            QIM_INTER_SUPER, &status) == plain)
            << "level " << level;
        EXPECT_EQ(status, 0);
    }
}

// Shrinking by four to twenty: the taps of neighbouring columns lie too far
// apart for the byte windows, and the vector rows read each column (or pack
// its taps) on its own. The source region mostly ends where the rows end
// (rows without padding) and maps exactly onto the destination, so the last
// taps are the last bytes of the image, which a guard page follows: a vector
// load past them faults.
TEST_F(VectorPathsTest, LargeShrinksGiveTheSameBytes)
{
    ownSetVectorLevel(OWN_VECTOR_AVX2);
    const int best = ownVectorLevel();
    std::mt19937 rng(8008);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const int depths[] = {QIM_DEPTH_8U, QIM_DEPTH_8U, QIM_DEPTH_8U, QIM_DEPTH_16U, QIM_DEPTH_32F};
    int compared = 0;
    for (int round = 0; round < 400 && !HasFailure(); ++round) {
        const int depth = depths[pick(0, 4)];
        const int order = pick(0, 4) == 0 ? QIM_ORDER_PLANE : QIM_ORDER_PIXEL;
        const int channels = pick(1, 4);
        const int alpha = channels == 4 && pick(0, 2) == 0 ? 4 : 0;
        const int method = pick(0, 2);
        const int xDst = pick(1, 4), xSrc = xDst * pick(4, 20) + pick(0, xDst - 1);
        const int yDst = pick(1, 2), ySrc = pick(0, 2) ? yDst * pick(2, 12) + pick(0, 1) : yDst;
        // Sizes whose scaled extents are whole: the region maps onto dw x dh.
        // Half of them whole vectors of eight columns, up to the last one.
        const int dw = xDst * (pick(0, 1) ? 8 * pick(1, 6 / xDst)
                                          : pick((8 + xDst - 1) / xDst, 48 / xDst));
        const int dh = yDst * pick(1, 5);
        const int regionW = dw * xSrc / xDst, sh = std::max(2, dh * ySrc / yDst);
        const int sw = 32 * (regionW / 32 + 1); // rows without padding
        auto src = newRoiImage(channels, depth, sw, sh, order, 4, alpha);
        auto dst = newImage(channels, depth, dw, dh, order, 4, alpha);
        ASSERT_EQ(src->widthStep, sw * channels * elementBytes(depth) /
                                      (order == QIM_ORDER_PLANE ? channels : 1));
        randomize(src.get(), (uint32_t)round * 2 + 1);
        scramble(dst.get(), (uint32_t)round * 2 + 2);
        const GuardedPixels guard(src.get());
        const int coi = channels > 1 && pick(0, 3) == 0 ? pick(1, channels) : 0;
        // Mostly at the rows' end, sometimes inside the rows.
        const int x = pick(0, 3) ? sw - regionW : pick(0, sw - regionW);
        src.setRoi(coi, x, 0, regionW, sh);
        QimRoi dstRoi{coi ? pick(1, channels) : 0, 0, 0, dw, dh};
        ImagePtr dstMask;
        if (pick(0, 4) == 0) {
            dstMask = newImage(1, QIM_DEPTH_1U, dw, dh);
            scramble(dstMask.get(), (uint32_t)round + 9);
        }
        int plainStatus = 0;
        const auto plain = scaleAt(OWN_VECTOR_NONE, src.get(), dst.get(), coi ? &dstRoi : nullptr,
                                   dstMask.get(), xDst, xSrc, yDst, ySrc, method, &plainStatus);
        for (int level = OWN_VECTOR_SSE2; level <= best; ++level) {
            int status = 0;
            const auto vector = scaleAt(level, src.get(), dst.get(), coi ? &dstRoi : nullptr,
                                        dstMask.get(), xDst, xSrc, yDst, ySrc, method, &status);
            EXPECT_EQ(status, plainStatus) << "round " << round;
            EXPECT_TRUE(vector == plain)
                << "round " << round << " level " << level << " method " << method << " depth "
                << depth << " channels " << channels << " alpha " << alpha << " coi " << coi
                << " order " << order << " ratio " << xDst << "/" << xSrc << " " << yDst << "/"
                << ySrc;
        }
        compared += plainStatus == 0;
    }
    EXPECT_GT(compared, 350);
}

// The cases the benchmark and the map tiles run, at full size: 8-bit images
// of 3 channels and 1, grown and shrunk by every method.
TEST_F(VectorPathsTest, MapSizedImages)
{
    ownSetVectorLevel(OWN_VECTOR_AVX2);
    const int best = ownVectorLevel();
    struct Size {
        int sw, sh, dw, dh;
    };
    for (int channels : {3, 1}) {
        for (const Size& z : {Size{320, 180, 480, 270}, Size{800, 450, 480, 270},
                              Size{1024, 64, 256, 16}, Size{1920, 1080, 240, 135},
                              Size{3840, 64, 240, 4}}) {
            auto src = newImage(channels, QIM_DEPTH_8U, z.sw, z.sh);
            auto dst = newImage(channels, QIM_DEPTH_8U, z.dw, z.dh);
            randomize(src.get(), (uint32_t)z.sw + channels);
            for (int method : {QIM_INTER_NN, QIM_INTER_LINEAR, QIM_INTER_CUBIC, QIM_INTER_SUPER}) {
                if (method == QIM_INTER_SUPER && z.dw > z.sw)
                    continue;
                int plainStatus = 0;
                const auto plain = scaleAt(OWN_VECTOR_NONE, src.get(), dst.get(), nullptr, nullptr,
                                           z.dw, z.sw, z.dh, z.sh, method, &plainStatus);
                ASSERT_EQ(plainStatus, 0);
                for (int level = OWN_VECTOR_SSE2; level <= best; ++level) {
                    int status = 0;
                    EXPECT_TRUE(scaleAt(level, src.get(), dst.get(), nullptr, nullptr, z.dw, z.sw,
                                        z.dh, z.sh, method, &status) == plain)
                        << "level " << level << " method " << method << " " << z.sw << "->"
                        << z.dw << " channels " << channels;
                }
            }
        }
    }
}

} // namespace
