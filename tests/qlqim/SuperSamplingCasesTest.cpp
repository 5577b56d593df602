// Small super-sampling cases through libqlqim.so, as the map tiles reach
// them, with results worked out by hand: whatever vector rows this
// processor runs, each source pixel's share counts once.
#include "DispatcherImages.h"

#include <algorithm>

namespace {

using namespace dispatcher;

// A 2 x 2 region at the corner of a 43 x 44 image (plain, and in tiles of
// 24 x 32), shrunk by 5/6 down: one destination row is written, its pixels
// the first source row plus 0.2 of the second over an area of 1.2.
TEST(SuperSamplingCases, CornerRegionCountsTheBoundaryRowOnce)
{
    ASSERT_TRUE(api().resize);
    onFreshThread([] {
        Image src(3, QIM_DEPTH_8U, 43, 44);
        src.randomize(6000);
        src.at(41, 41)[0] = 157;
        src.at(42, 41)[0] = 205;
        src.at(41, 42)[0] = 101;
        src.at(42, 42)[0] = 192;
        QimRoi roi{0, 41, 41, 2, 2};
        src->roi = &roi;
        Tiled tiles(src, 24, 32);
        tiles.get()->roi = &roi;
        for (QimImage* from : {src.get(), tiles.get()}) {
            const bool tiled = from == tiles.get();
            Image dst(3, QIM_DEPTH_8U, 2, 2);
            dst.randomize(7);
            const auto before = dst.bytes();
            api().resize(from, dst.get(), 1, 1, 5, 6, QIM_INTER_SUPER);
            ASSERT_EQ(api().status(), 0);
            // trunc(0.5 + (157 + 0.2 x 101) / 1.2), trunc(0.5 + (205 + 0.2 x 192) / 1.2)
            EXPECT_EQ(dst.at(0, 0)[0], 148) << (tiled ? "tiled" : "plain");
            EXPECT_EQ(dst.at(1, 0)[0], 203) << (tiled ? "tiled" : "plain");
            // 2 x 5/6 rows make one: the second row keeps its bytes.
            const auto after = dst.bytes();
            EXPECT_TRUE(std::equal(after.begin() + dst->widthStep, after.end(),
                                   before.begin() + dst->widthStep))
                << (tiled ? "tiled" : "plain");
            EXPECT_EQ(tiles.held, 0);
        }
    });
}

// A whole 27 x 14 image of one colour shrunk by 3/8 and 4/7: the used
// columns end at the image's right edge, and every written pixel (10 x 8)
// keeps the colour exactly.
TEST(SuperSamplingCases, FlatImageStaysFlatAtTheRightEdge)
{
    ASSERT_TRUE(api().resize);
    onFreshThread([] {
        const unsigned char colour[3] = {90, 150, 210};
        Image src(3, QIM_DEPTH_8U, 27, 14);
        for (int y = 0; y < 14; ++y)
            for (int x = 0; x < 27; ++x)
                std::memcpy(src.at(x, y), colour, 3);
        Image dst(3, QIM_DEPTH_8U, 10, 10);
        api().resize(src.get(), dst.get(), 3, 8, 4, 7, QIM_INTER_SUPER);
        ASSERT_EQ(api().status(), 0);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 10; ++x)
                for (int c = 0; c < 3; ++c)
                    EXPECT_EQ(dst.at(x, y)[c], y < 8 ? colour[c] : 0)
                        << x << "," << y << " channel " << c;
    });
}

// 16-bit and float images halved, 1 and 3 channels, 75 destination pixels
// a row (whole vectors and a tail): the block of destination pixel (x, y)
// holds v, v + 1, v + 2 and v + 3 with v = 4 (x + 90 y) + c (plus 64514
// for 16 bits, so that the last block ends at 65535), whose mean v + 1.5
// rounds up to v + 2 and is exact as a float.
TEST(SuperSamplingCases, HalvedBlocksGiveTheirMeans)
{
    ASSERT_TRUE(api().resize);
    onFreshThread([] {
        for (int depth : {QIM_DEPTH_16U, QIM_DEPTH_32F})
            for (int channels : {1, 3}) {
                Image src(channels, depth, 150, 6);
                auto v = [&](int x, int y, int c) {
                    const int base = 4 * (x + 90 * y) + c;
                    return depth == QIM_DEPTH_16U ? 64514 + base : base;
                };
                for (int y = 0; y < 6; ++y)
                    for (int x = 0; x < 150; ++x)
                        for (int c = 0; c < channels; ++c) {
                            const int offset = (x % 2) + 2 * (y % 2);
                            const int value = v(x / 2, y / 2, c) + offset;
                            unsigned char* p = src.at(x, y) + c * elementBytes(depth);
                            if (depth == QIM_DEPTH_16U) {
                                const uint16_t u = (uint16_t)value;
                                std::memcpy(p, &u, 2);
                            } else {
                                const float f = (float)value;
                                std::memcpy(p, &f, 4);
                            }
                        }
                Image dst(channels, depth, 75, 3);
                api().resize(src.get(), dst.get(), 1, 2, 1, 2, QIM_INTER_SUPER);
                ASSERT_EQ(api().status(), 0);
                for (int y = 0; y < 3; ++y)
                    for (int x = 0; x < 75; ++x)
                        for (int c = 0; c < channels; ++c) {
                            const unsigned char* p = dst.at(x, y) + c * elementBytes(depth);
                            double got;
                            if (depth == QIM_DEPTH_16U) {
                                uint16_t u;
                                std::memcpy(&u, p, 2);
                                got = u;
                            } else {
                                float f;
                                std::memcpy(&f, p, 4);
                                got = f;
                            }
                            const double want = v(x, y, c) + (depth == QIM_DEPTH_16U ? 2 : 1.5);
                            EXPECT_EQ(got, want) << "depth " << depth << " channels " << channels
                                                 << " at " << x << "," << y << "," << c;
                        }
            }
    });
}

} // namespace
