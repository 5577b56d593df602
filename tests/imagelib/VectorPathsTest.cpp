// The vector paths (SSE2, AVX2) give the same bytes as the plain C kernels:
// random geometry, every method, depth and order, regions, channels of
// interest, masks, and images wide enough for the vector rows, each scaled
// once per vector level the processor has.
#include "ResizeTestSupport.h"

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
                        dstStart->dataOrder);
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
                              Size{1024, 64, 256, 16}}) {
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
