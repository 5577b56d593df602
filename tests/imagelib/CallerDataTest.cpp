// Images whose pixels the caller supplies, as the program wraps bitmap bits:
// its own widthStep (not a multiple of the alignment) over a block of exactly
// height x widthStep bytes per plane. Every method, depth and region must
// stay inside those blocks (the sanitizer build checks each access), and a
// widthStep too small for one row, or one that puts rows between two 16- or
// 32-bit elements, is refused rather than read past or misaligned.
#include "ResizeTestSupport.h"

#include <random>

namespace {

using namespace qimtest;

class CallerDataTest : public QimTest {};

// A header over a malloc block of exactly dataSize bytes with the given
// widthStep; the block is released through allocatedData.
ImagePtr callerImage(int channels, int depth, int width, int height, int order, int widthStep)
{
    ImagePtr image(qimCreateImageHeader(channels, 0, depth, "RGBA", "BGRA", order,
                                        QIM_ORIGIN_TOP_LEFT, 4, width, height, nullptr, nullptr,
                                        nullptr, nullptr));
    const int planes = order == QIM_ORDER_PLANE ? channels : 1;
    image->widthStep = widthStep;
    image->dataSize = widthStep * height * planes;
    image->allocatedData = std::malloc((size_t)image->dataSize);
    image->imageData = image->allocatedData;
    std::memset(image->imageData, 0x5A, (size_t)image->dataSize);
    return image;
}

int rowBytes(int channels, int depth, int width, int order)
{
    const long long bits = (long long)width * ownDepthBits(depth) *
                           (order == QIM_ORDER_PIXEL ? channels : 1);
    return (int)((bits + 7) / 8);
}

TEST_F(CallerDataTest, TightBlocksWithOddStepsAreNeverLeft)
{
    std::mt19937 rng(7321);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const int depths[] = {QIM_DEPTH_1U, QIM_DEPTH_8U, QIM_DEPTH_16U, QIM_DEPTH_32F};
    for (int round = 0; round < 1200; ++round) {
        ownSetErrStatus(0);
        const int depth = depths[pick(0, 3)];
        const int order = depth == QIM_DEPTH_1U ? QIM_ORDER_PIXEL : pick(0, 1);
        const int channels = depth == QIM_DEPTH_1U ? 1 : pick(1, 4);
        const int sw = pick(1, 37), sh = pick(1, 37), dw = pick(1, 37), dh = pick(1, 37);
        const int unit = depth == QIM_DEPTH_1U ? 1 : elementBytes(depth);
        auto src = callerImage(channels, depth, sw, sh, order,
                               rowBytes(channels, depth, sw, order) + unit * pick(0, 3));
        auto dst = callerImage(channels, depth, dw, dh, order,
                               rowBytes(channels, depth, dw, order) + unit * pick(0, 3));
        QimRoi srcRoi{0, pick(0, sw - 1), pick(0, sh - 1), pick(1, 40), pick(1, 40)};
        QimRoi dstRoi{0, pick(0, dw - 1), pick(0, dh - 1), pick(1, 40), pick(1, 40)};
        if (pick(0, 1))
            src->roi = &srcRoi;
        if (pick(0, 1))
            dst->roi = &dstRoi;
        const int method = pick(0, 3);
        ImagePtr srcMask, dstMask;
        if (method != QIM_INTER_SUPER && pick(0, 2) == 0) {
            const int w = pick(1, 37), h = pick(1, 37);
            srcMask = callerImage(1, QIM_DEPTH_1U, w, h, QIM_ORDER_PIXEL, (w + 7) / 8 + pick(0, 2));
            std::memset(srcMask->imageData, 0xB3, (size_t)srcMask->dataSize);
            src->mask = srcMask.get();
        }
        if (method != QIM_INTER_SUPER && pick(0, 2) == 0) {
            const int w = pick(1, 37), h = pick(1, 37);
            dstMask = callerImage(1, QIM_DEPTH_1U, w, h, QIM_ORDER_PIXEL, (w + 7) / 8 + pick(0, 2));
            dst->mask = dstMask.get();
        }
        int xDst = pick(1, 9), xSrc = pick(1, 9), yDst = pick(1, 9), ySrc = pick(1, 9);
        if (method == QIM_INTER_SUPER) {
            if (xDst > xSrc)
                std::swap(xDst, xSrc);
            if (yDst > ySrc)
                std::swap(yDst, ySrc);
        }
        EXPECT_EQ(qimResize(src.get(), dst.get(), xDst, xSrc, yDst, ySrc, method), 0)
            << "round " << round << " status " << qimGetErrStatus();
        src->roi = dst->roi = nullptr;
        src->mask = dst->mask = nullptr;
    }
}

TEST_F(CallerDataTest, AStepShorterThanARowOrSplittingElementsIsRefused)
{
    auto src = makeImage(3, QIM_DEPTH_8U, 10, 4);
    auto dst = makeImage(3, QIM_DEPTH_8U, 20, 8);
    const std::vector<unsigned char> before = bytes(dst.get());
    src->widthStep = 29; // a row holds 30 bytes
    EXPECT_EQ(ownCheckImageHeader(src.get()), QIM_STATUS_BAD_STEP);
    EXPECT_LT(qimResize(src.get(), dst.get(), 2, 1, 2, 1, QIM_INTER_LINEAR), 0);
    EXPECT_EQ(qimGetErrStatus(), QIM_STATUS_BAD_STEP);
    EXPECT_EQ(bytes(dst.get()), before);

    // A 1U row of 17 pixels needs 3 bytes; a plane-order row one plane's row.
    auto bits = makeImage(1, QIM_DEPTH_1U, 17, 2);
    bits->widthStep = 2;
    EXPECT_EQ(ownCheckImageHeader(bits.get()), QIM_STATUS_BAD_STEP);
    bits->widthStep = 3;
    EXPECT_EQ(ownCheckImageHeader(bits.get()), 0);
    auto planes = makeImage(3, QIM_DEPTH_16U, 5, 2, QIM_ORDER_PLANE);
    planes->widthStep = 10;
    EXPECT_EQ(ownCheckImageHeader(planes.get()), 0);
    planes->widthStep = 9;
    EXPECT_EQ(ownCheckImageHeader(planes.get()), QIM_STATUS_BAD_STEP);
    planes->widthStep = 11; // rows would start between two 16-bit elements
    EXPECT_EQ(ownCheckImageHeader(planes.get()), QIM_STATUS_BAD_STEP);
    planes->widthStep = 12;
    EXPECT_EQ(ownCheckImageHeader(planes.get()), 0);
}

} // namespace
