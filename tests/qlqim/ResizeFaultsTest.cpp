// qimResize through the dispatcher on inputs that once went wrong: super-
// sampling across source tiles, a temporary mask that was left partly
// unwritten, headers whose sizes were changed after allocation, and mask
// chains that loop.
#include "DispatcherImages.h"

#include <climits>

namespace {

using namespace dispatcher;

class ResizeFaults : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(api().resize) << "libqlqim.so did not load";
        api().setMode(QIM_ERRMODE_RETURN);
    }
};

TEST_F(ResizeFaults, SuperSamplingAcrossSourceTilesKeepsEveryArea)
{
    // A flat source stays flat whichever tile a destination pixel's area
    // starts in; steps of 5/3 make areas straddle the tile edges.
    Image src(1, QIM_DEPTH_8U, 32, 8);
    std::memset(src->imageData, 100, (size_t)src->dataSize);
    Tiled tiles(src, 8, 8);
    Image dst(1, QIM_DEPTH_8U, 19, 8);
    EXPECT_EQ(statusAfter([&] { api().resize(tiles.get(), dst.get(), 3, 5, 1, 1, QIM_INTER_SUPER); }),
              0);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 19; ++x)
            ASSERT_EQ(*dst.at(x, y), 100) << x << "," << y;
    EXPECT_EQ(tiles.held, 0);

    // Varying data: the same pixels as from the untiled source, for the
    // steps that used to shift columns.
    for (int xSrc : {5, 7}) {
        for (int xDst : {3, 6}) {
            if (xDst >= xSrc)
                continue;
            Image varied(3, QIM_DEPTH_8U, 45, 21);
            varied.randomize(11u * xSrc + xDst);
            Tiled variedTiles(varied, 8, 8);
            Image plain(3, QIM_DEPTH_8U, 40, 20), tiled(3, QIM_DEPTH_8U, 40, 20);
            EXPECT_EQ(statusAfter([&] {
                          api().resize(varied.get(), plain.get(), xDst, xSrc, 3, 7, QIM_INTER_SUPER);
                          api().resize(variedTiles.get(), tiled.get(), xDst, xSrc, 3, 7,
                                       QIM_INTER_SUPER);
                      }),
                      0);
            EXPECT_EQ(tiled.bytes(), plain.bytes()) << xDst << "/" << xSrc;
        }
    }
}

TEST_F(ResizeFaults, AZeroSourceMaskWritesNothingWhenItsExtentFallsBack)
{
    // The y ratio 1/5 makes the source mask's scaled extent 0, so the
    // fallback extent covers only part of the temporary mask; the rest must
    // not come from whatever memory the allocation reused.
    Image src(1, QIM_DEPTH_8U, 4, 2);
    std::memset(src->imageData, 200, (size_t)src->dataSize);
    Image mask(1, QIM_DEPTH_1U, 4, 2);
    src->mask = mask.get();
    Image dst(1, QIM_DEPTH_8U, 4, 4);
    for (int run = 0; run < 8; ++run) {
        const int status = statusAfter([&] {
            // Stale set bits in the blocks the temporary is likely to get.
            for (size_t size : {19u, 20u, 24u, 32u}) {
                void* stale = std::malloc(size);
                std::memset(stale, 0xFF, size);
                std::free(stale);
            }
            api().resize(src.get(), dst.get(), 1, 1, 5, 1, QIM_INTER_NN);
        });
        ASSERT_EQ(status, 0);
        ASSERT_EQ(dst.bytes(), std::vector<unsigned char>((size_t)dst->dataSize, 0))
            << "run " << run;
    }
}

TEST_F(ResizeFaults, HeadersWhoseSizeNoLongerFitsAreRefused)
{
    Image wide(2, QIM_DEPTH_16U, 4000, 1);
    Image small(2, QIM_DEPTH_16U, 40, 10);
    const std::vector<unsigned char> before = small.bytes();
    wide->height = INT_MAX; // widthStep x height far beyond 32 bits
    for (int method : {QIM_INTER_NN, QIM_INTER_LINEAR, QIM_INTER_CUBIC, QIM_INTER_SUPER}) {
        EXPECT_EQ(statusAfter([&] { api().resize(wide.get(), small.get(), 1, 100, 1, 100, method); }),
                  QIM_STATUS_BAD_IMAGE_SIZE)
            << method;
        const int grow = method == QIM_INTER_SUPER ? QIM_INTER_NN : method;
        EXPECT_EQ(statusAfter([&] { api().resize(small.get(), wide.get(), 100, 1, 100, 1, grow); }),
                  QIM_STATUS_BAD_IMAGE_SIZE)
            << method;
    }
    EXPECT_EQ(small.bytes(), before);
    wide->height = 1;

    // Within 32 bits but past the block: one row more than was allocated.
    Image tall(1, QIM_DEPTH_8U, 16, 16);
    tall->height = 17;
    Image out(1, QIM_DEPTH_8U, 8, 8);
    EXPECT_EQ(statusAfter([&] { api().resize(tall.get(), out.get(), 1, 2, 1, 2, QIM_INTER_LINEAR); }),
              QIM_STATUS_BAD_IMAGE_SIZE);
    tall->height = 16;

    // A plane-order image counts every plane.
    Image planes(3, QIM_DEPTH_8U, 16, 16, QIM_ORDER_PLANE);
    planes->dataSize = planes->widthStep * 16 * 2;
    Image planesOut(3, QIM_DEPTH_8U, 8, 8, QIM_ORDER_PLANE);
    EXPECT_EQ(statusAfter([&] { api().resize(planes.get(), planesOut.get(), 1, 2, 1, 2, QIM_INTER_NN); }),
              QIM_STATUS_BAD_IMAGE_SIZE);

    // The destination mask, which the zoom ANDs with the scaled source mask,
    // is checked the same way.
    Image src(1, QIM_DEPTH_8U, 16, 16), dst(1, QIM_DEPTH_8U, 16, 16);
    Image srcMask(1, QIM_DEPTH_1U, 16, 16), dstMask(1, QIM_DEPTH_1U, 16, 16);
    std::memset(srcMask->imageData, 0xFF, (size_t)srcMask->dataSize);
    std::memset(dstMask->imageData, 0xFF, (size_t)dstMask->dataSize);
    std::memset(src->imageData, 9, (size_t)src->dataSize);
    src->mask = srcMask.get();
    dst->mask = dstMask.get();
    dstMask->height = INT_MAX;
    EXPECT_LT(statusAfter([&] { api().resize(src.get(), dst.get(), 1, 1, 1, 1, QIM_INTER_LINEAR); }),
              0);
    EXPECT_EQ(dst.bytes(), std::vector<unsigned char>((size_t)dst->dataSize, 0));
    dstMask->height = 16;
    EXPECT_EQ(statusAfter([&] { api().resize(src.get(), dst.get(), 1, 1, 1, 1, QIM_INTER_LINEAR); }),
              0);
    EXPECT_EQ(dst.bytes(), std::vector<unsigned char>((size_t)dst->dataSize, 9));
}

TEST_F(ResizeFaults, MaskChainsThatLoopAreRefused)
{
    Image bits(1, QIM_DEPTH_1U, 16, 16), other(1, QIM_DEPTH_1U, 16, 16);
    Image bitsOut(1, QIM_DEPTH_1U, 8, 8);
    Image src(1, QIM_DEPTH_8U, 16, 16), dst(1, QIM_DEPTH_8U, 16, 16);

    // An image that is its own mask, as source and as destination.
    bits->mask = bits.get();
    EXPECT_EQ(statusAfter([&] { api().resize(bits.get(), bitsOut.get(), 1, 2, 1, 2, QIM_INTER_NN); }),
              QIM_STATUS_BAD_ARG);
    EXPECT_EQ(statusAfter([&] { api().resize(bitsOut.get(), bits.get(), 2, 1, 2, 1, QIM_INTER_NN); }),
              QIM_STATUS_BAD_ARG);

    // A loop further down the mask chain of a source or a destination.
    bits->mask = other.get();
    other->mask = bits.get();
    src->mask = bits.get();
    EXPECT_LT(statusAfter([&] { api().resize(src.get(), dst.get(), 1, 1, 1, 1, QIM_INTER_LINEAR); }),
              0);
    EXPECT_LT(statusAfter([&] { api().resize(src.get(), dst.get(), 1, 2, 1, 2, QIM_INTER_SUPER); }),
              0);
    src->mask = nullptr;
    dst->mask = other.get();
    EXPECT_LT(statusAfter([&] { api().resize(src.get(), dst.get(), 1, 1, 1, 1, QIM_INTER_CUBIC); }),
              0);
    dst->mask = nullptr;

    // Creating a header over such a mask is refused too.
    QimImage* made = nullptr;
    EXPECT_LT(statusAfter([&] {
                  made = api().create(1, 0, QIM_DEPTH_8U, "G", "G", QIM_ORDER_PIXEL, 0, 4, 16, 16,
                                      nullptr, bits.get(), nullptr, nullptr);
              }),
              0);
    EXPECT_EQ(made, nullptr);

    // A chain that ends is still accepted (the mask's own mask applies when
    // the mask is scaled).
    other->mask = nullptr;
    std::memset(bits->imageData, 0xFF, (size_t)bits->dataSize);
    std::memset(other->imageData, 0xFF, (size_t)other->dataSize);
    std::memset(src->imageData, 5, (size_t)src->dataSize);
    src->mask = bits.get();
    EXPECT_EQ(statusAfter([&] { api().resize(src.get(), dst.get(), 1, 1, 1, 1, QIM_INTER_LINEAR); }),
              0);
    EXPECT_EQ(dst.bytes(), std::vector<unsigned char>((size_t)dst->dataSize, 5));
    src->mask = nullptr;
    bits->mask = nullptr;
}

} // namespace
