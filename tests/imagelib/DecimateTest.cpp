// Decimation: super-sampling through qimResize, the nearest-neighbour
// fallback, the front end's checks, the linear and cubic kernels, and tiled
// sources and destinations.
#include "ResizeTestSupport.h"

#include <algorithm>
#include <cmath>

namespace {

using namespace qimtest;

class DecimateTest : public QimTest {};

// Sum of the 2 x 2 block at (x, y) in channel c.
uint32_t blockSum(const QimImage* image, int x, int y, int c = 0)
{
    return get(image, x, y, c) + get(image, x + 1, y, c) + get(image, x, y + 1, c) +
           get(image, x + 1, y + 1, c);
}

double value(const QimImage* image, int x, int y, int c)
{
    return image->depth == QIM_DEPTH_32F ? (double)getF(image, x, y, c)
                                         : (double)get(image, x, y, c);
}

// Area mean of the source over destination pixel (i, j), in exact arithmetic.
double areaMean(const QimImage* src, int i, int j, int c, double sx, double sy)
{
    double sum = 0;
    const double x0 = i * sx, x1 = (i + 1) * sx, y0 = j * sy, y1 = (j + 1) * sy;
    for (int y = (int)y0; y < std::ceil(y1) && y < src->height; ++y)
        for (int x = (int)x0; x < std::ceil(x1) && x < src->width; ++x) {
            const double wx = std::min<double>(x + 1, x1) - std::max<double>(x, x0);
            const double wy = std::min<double>(y + 1, y1) - std::max<double>(y, y0);
            sum += wx * wy * value(src, x, y, c);
        }
    return sum / (sx * sy);
}

TEST_F(DecimateTest, HalfScaleGivesBlockMeans)
{
    for (int depth : {QIM_DEPTH_8U, QIM_DEPTH_16U}) {
        auto src = newImage(1, depth, 4, 4);
        fill(src.get(), [](int x, int y, int) { return 10 * (4 * y + x); });
        auto dst = newImage(1, depth, 2, 2);
        ASSERT_EQ(qimResize(src.get(), dst.get(), 1, 2, 1, 2, QIM_INTER_SUPER), 0);
        EXPECT_EQ(pixels(dst.get()), (std::vector<uint32_t>{25, 45, 105, 125})) << depth;
    }
    auto src = newImage(1, QIM_DEPTH_32F, 4, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            putF(src.get(), x, y, 0, 10.0f * (4 * y + x));
    auto dst = newImage(1, QIM_DEPTH_32F, 2, 2);
    ASSERT_EQ(qimResize(src.get(), dst.get(), 1, 2, 1, 2, QIM_INTER_SUPER), 0);
    EXPECT_EQ(getF(dst.get(), 0, 0), 25.0f);
    EXPECT_EQ(getF(dst.get(), 1, 1), 125.0f);
}

TEST_F(DecimateTest, PartialPixelsCountByTheirShare)
{
    // Two thirds across: (30 + 0.5 x 60) / 1.5 = 40, (0.5 x 60 + 90) / 1.5 = 80, ...
    auto src = newImage(1, QIM_DEPTH_8U, 6, 4);
    fill(src.get(), [](int x, int, int) { return 30 * (x + 1); });
    auto dst = newImage(1, QIM_DEPTH_8U, 4, 4);
    ASSERT_EQ(qimResize(src.get(), dst.get(), 2, 3, 1, 1, QIM_INTER_SUPER), 0);
    for (int y = 0; y < 4; ++y)
        EXPECT_EQ(pixels(dst.get(), 0, y, 4, 1), (std::vector<uint32_t>{40, 80, 130, 170}));
}

TEST_F(DecimateTest, SuperSamplingFollowsTheAreaMean)
{
    const int ratios[][4] = {{2, 3, 3, 7}, {5, 13, 4, 9}, {1, 3, 1, 3}, {7, 8, 1, 1}};
    for (int depth : {QIM_DEPTH_8U, QIM_DEPTH_16U, QIM_DEPTH_32F})
        for (const auto& r : ratios) {
            auto src = newImage(3, depth, 41, 29);
            randomize(src.get(), 5);
            auto dst = newImage(3, depth, 41, 29);
            ASSERT_EQ(qimResize(src.get(), dst.get(), r[0], r[1], r[2], r[3], QIM_INTER_SUPER), 0);
            const int ww = 41 * r[0] / r[1], wh = 29 * r[2] / r[3];
            const double sx = (double)r[1] / r[0], sy = (double)r[3] / r[2];
            for (int j = 0; j < wh; ++j)
                for (int i = 0; i < ww; ++i)
                    for (int c = 0; c < 3; ++c) {
                        const double mean = areaMean(src.get(), i, j, c, sx, sy);
                        if (depth == QIM_DEPTH_32F)
                            ASSERT_NEAR(getF(dst.get(), i, j, c), mean, 1e-2);
                        else
                            ASSERT_NEAR(get(dst.get(), i, j, c), std::floor(mean + 0.5), 1.0)
                                << depth << " " << i << "," << j;
                    }
        }
}

TEST_F(DecimateTest, IntegralThirdsKeepSuperSampling)
{
    auto src = newImage(1, QIM_DEPTH_8U, 9, 9);
    randomize(src.get(), 9);
    auto dst = newImage(1, QIM_DEPTH_8U, 3, 3);
    ASSERT_EQ(qimResize(src.get(), dst.get(), 1, 3, 1, 3, QIM_INTER_SUPER), 0);
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) {
            uint32_t sum = 0;
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 3; ++x)
                    sum += get(src.get(), 3 * i + x, 3 * j + y);
            EXPECT_EQ(get(dst.get(), i, j), (uint32_t)(0.5 + sum / 9.0)) << i << "," << j;
        }
}

TEST_F(DecimateTest, WhiteStaysWhiteAtAnyRatio)
{
    // The float sums may come out a little above the white level; the
    // result saturates instead of wrapping round to black.
    for (int depth : {QIM_DEPTH_8U, QIM_DEPTH_16U}) {
        const uint32_t white = depth == QIM_DEPTH_8U ? 255 : 65535;
        auto src = newImage(1, depth, 257, 131);
        fill(src.get(), [&](int, int, int) { return white; });
        for (int xs = 2; xs <= 23; xs += 3)
            for (int ys = 3; ys <= 17; ys += 7) {
                auto dst = newImage(1, depth, 257, 131);
                ASSERT_EQ(qimResize(src.get(), dst.get(), 2, xs, 1, ys, QIM_INTER_SUPER), 0);
                for (uint32_t v : pixels(dst.get(), 0, 0, 257 * 2 / xs, 131 / ys))
                    ASSERT_EQ(v, white) << depth << " " << xs << " " << ys;
            }
    }
}

TEST_F(DecimateTest, NarrowSourcesFallBackToNearestNeighbour)
{
    // Three pixels wide: nearest neighbour from 0.5 with step 1.5 takes
    // columns 0 and 2.
    auto src = newImage(1, QIM_DEPTH_8U, 3, 6);
    fill(src.get(), [](int x, int y, int) { return 10 * x + 40 * y; });
    auto dst = newImage(1, QIM_DEPTH_8U, 2, 6);
    ASSERT_EQ(qimResize(src.get(), dst.get(), 2, 3, 1, 1, QIM_INTER_SUPER), 0);
    for (int y = 0; y < 6; ++y)
        EXPECT_EQ(pixels(dst.get(), 0, y, 2, 1), (std::vector<uint32_t>{40u * y, 20 + 40u * y}));
}

TEST_F(DecimateTest, WrittenSizeComesFromTheRegions)
{
    // A region 5 wide at 1:8 scales to nothing: nothing is written.
    auto src = newImage(1, QIM_DEPTH_8U, 16, 16);
    randomize(src.get(), 13);
    QimRoi roi = {0, 2, 2, 5, 8};
    src->roi = &roi;
    auto dst = newImage(1, QIM_DEPTH_8U, 8, 8);
    fill(dst.get(), [](int, int, int) { return 0x66; });
    const auto before = bytes(dst.get());
    EXPECT_EQ(qimResize(src.get(), dst.get(), 1, 8, 1, 2, QIM_INTER_SUPER), 0);
    EXPECT_EQ(bytes(dst.get()), before);

    // A destination region narrower than the scaled source: its width is
    // written, sampled from the source region's left edge.
    roi = {0, 4, 2, 12, 8};
    auto narrow = newRoiImage(1, QIM_DEPTH_8U, 10, 10);
    fill(narrow.get(), [](int, int, int) { return 0x66; });
    narrow.setRoi(0, 1, 1, 3, 9);
    EXPECT_EQ(qimResize(src.get(), narrow.get(), 1, 2, 1, 2, QIM_INTER_SUPER), 0);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
            const bool written = x >= 1 && x < 4 && y >= 1 && y < 5;
            if (!written) {
                EXPECT_EQ(get(narrow.get(), x, y), 0x66u) << x << "," << y;
                continue;
            }
            const int sx = 4 + 2 * (x - 1), sy = 2 + 2 * (y - 1);
            EXPECT_EQ(get(narrow.get(), x, y), (blockSum(src.get(), sx, sy) + 2) / 4)
                << x << "," << y;
        }
    src->roi = nullptr;

    // Regions that start outside their images write nothing.
    roi = {0, 16, 0, 4, 4};
    src->roi = &roi;
    EXPECT_EQ(qimResize(src.get(), dst.get(), 1, 2, 1, 2, QIM_INTER_SUPER), 0);
    src->roi = nullptr;
    QimRoi outside = {0, 0, 9, 4, 4};
    dst->roi = &outside;
    EXPECT_EQ(qimResize(src.get(), dst.get(), 1, 2, 1, 2, QIM_INTER_SUPER), 0);
    dst->roi = nullptr;
    EXPECT_EQ(bytes(dst.get()), before);
}

TEST_F(DecimateTest, ChannelOfInterest)
{
    auto src = newRoiImage(3, QIM_DEPTH_8U, 8, 8);
    randomize(src.get(), 17);
    src.setRoi(2, 0, 0, 8, 8);
    auto one = newImage(1, QIM_DEPTH_8U, 4, 4);
    ASSERT_EQ(qimResize(src.get(), one.get(), 1, 2, 1, 2, QIM_INTER_SUPER), 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(get(one.get(), x, y), (blockSum(src.get(), 2 * x, 2 * y, 1) + 2) / 4);
        }

    auto three = newImage(3, QIM_DEPTH_8U, 4, 4);
    const auto before = bytes(three.get());
    RaiseLog log;
    EXPECT_EQ(qimResize(src.get(), three.get(), 1, 2, 1, 2, QIM_INTER_SUPER), -1);
    EXPECT_TRUE(log.has(QIM_STATUS_BAD_COI, "srcImage->roi->coi > 0 && dstImage->roi->coi == 0"));
    EXPECT_EQ(bytes(three.get()), before);
}

TEST_F(DecimateTest, FrontEndRaisesEveryFailedCheck)
{
    auto src = newImage(1, QIM_DEPTH_8U, 8, 8);
    auto dst = newImage(1, QIM_DEPTH_8U, 8, 8);
    const auto before = bytes(dst.get());
    {
        RaiseLog log;
        EXPECT_EQ(qimResize(src.get(), src.get(), 1, 2, 1, 2, QIM_INTER_SUPER), -1);
        ASSERT_EQ(log.raises.size(), 2u);
        EXPECT_EQ(log.raises[0].context, "srcImage == dstImage");
        EXPECT_EQ(log.raises[0].function, "Decimate");
        EXPECT_EQ(log.raises[0].line, 86);
    }
    ownSetErrStatus(0);
    {
        // xDst 0 is raised and the later checks still run; 0 > xSrc is not.
        RaiseLog log;
        auto other = newImage(3, QIM_DEPTH_16U, 8, 8, QIM_ORDER_PLANE);
        other->origin = QIM_ORIGIN_BOTTOM_LEFT;
        ownDecimateArgs(src.get(), other.get(), 0, 2, 3, 2, 7);
        EXPECT_EQ(log.contexts(),
                  (std::vector<std::string>{
                      "srcImage->depth != dstImage->depth", "srcImage->origin != dstImage->origin",
                      "srcImage->dataOrder != dstImage->dataOrder",
                      "srcImage->nChannels != dstImage->nChannels",
                      "interpolate != QIM_INTER_NN, QIM_INTER_LINEAR, QIM_INTER_CUBIC or "
                      "QIM_INTER_SUPER",
                      "xDst <= 0", "yDst > ySrc"}));
        std::vector<int> statuses;
        for (const Raise& r : log.raises)
            statuses.push_back(r.status);
        EXPECT_EQ(statuses, (std::vector<int>{-17, -20, -19, -15, -5, -5, -5}));
        EXPECT_EQ(qimGetErrStatus(), -5);
    }
    ownSetErrStatus(0);
    {
        // Growth is refused before decimation.
        RaiseLog log;
        EXPECT_EQ(qimResize(src.get(), dst.get(), 2, 1, 1, 1, QIM_INTER_SUPER), -5);
        EXPECT_TRUE(log.has(-5, "(xDst > xSrc || yDst > ySrc)"));
        EXPECT_EQ(log.raises.size(), 1u);
    }
    {
        // A bad header stops at once.
        RaiseLog log;
        ownSetErrStatus(0);
        QimImage broken = *src;
        broken.widthStep = 0;
        ownDecimateArgs(&broken, dst.get(), 1, 2, 1, 2, QIM_INTER_SUPER);
        ASSERT_EQ(log.raises.size(), 1u);
        EXPECT_EQ(log.raises[0].status, QIM_STATUS_BAD_STEP);
        EXPECT_EQ(log.raises[0].context, "Incorrect Image");
    }
    EXPECT_EQ(bytes(dst.get()), before);
}

TEST_F(DecimateTest, LinearAndCubicKernels)
{
    // Reached through the front end with their own codes: linear reproduces
    // planes, cubic reproduces cubics, both truncated for 8 bits.
    auto plane = newImage(1, QIM_DEPTH_8U, 12, 12);
    fill(plane.get(), [](int x, int y, int) { return 3 * x + 5 * y; });
    auto dst = newImage(1, QIM_DEPTH_8U, 8, 8);
    ownDecimateArgs(plane.get(), dst.get(), 2, 3, 2, 3, QIM_INTER_LINEAR);
    ASSERT_EQ(qimGetErrStatus(), 0);
    for (int j = 0; j < 8; ++j)
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(get(dst.get(), i, j), (uint32_t)(4.5 * i + 7.5 * j)) << i << "," << j;
    // y integral: the x-only kernel.
    auto rows = newImage(1, QIM_DEPTH_8U, 8, 12);
    ownDecimateArgs(plane.get(), rows.get(), 2, 3, 1, 1, QIM_INTER_LINEAR);
    for (int j = 0; j < 12; ++j)
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(get(rows.get(), i, j), (uint32_t)(4.5 * i + 5 * j)) << i << "," << j;

    auto p = [](double x) { return 0.25 * x * x * x - 3 * x * x + 10 * x + 40; };
    auto q = [](double y) { return 0.5 * y * y - 2 * y; };
    auto cubicSrc = newImage(2, QIM_DEPTH_32F, 15, 15);
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 15; ++x)
            for (int c = 0; c < 2; ++c)
                putF(cubicSrc.get(), x, y, c, (float)(p(x) + q(y) + c));
    auto cubicDst = newImage(2, QIM_DEPTH_32F, 10, 6);
    ownDecimateArgs(cubicSrc.get(), cubicDst.get(), 2, 3, 2, 5, QIM_INTER_CUBIC);
    ASSERT_EQ(qimGetErrStatus(), 0);
    for (int j = 0; j < 6; ++j)
        for (int i = 0; i < 10; ++i)
            for (int c = 0; c < 2; ++c)
                EXPECT_NEAR(getF(cubicDst.get(), i, j, c), p(1.5 * i) + q(2.5 * j) + c, 1e-3)
                    << i << "," << j;

    // 8U cubic results are clamped: at 1.5 the window 255, 0, 0, 255 dips
    // below 0, at 7.5 the window 0, 255, 255, 0 rises above 255.
    auto edge = newImage(1, QIM_DEPTH_8U, 12, 4);
    const uint32_t row[] = {255, 0, 0, 255, 100, 100, 0, 255, 255, 0, 50, 50};
    fill(edge.get(), [&](int x, int, int) { return row[x]; });
    auto out = newImage(1, QIM_DEPTH_8U, 8, 4);
    ownDecimateArgs(edge.get(), out.get(), 2, 3, 1, 1, QIM_INTER_CUBIC);
    ASSERT_EQ(qimGetErrStatus(), 0);
    for (int y = 0; y < 4; ++y) {
        EXPECT_EQ(get(out.get(), 0, y), 255u);
        EXPECT_EQ(get(out.get(), 1, y), 0u);
        EXPECT_EQ(get(out.get(), 5, y), 255u);
    }
}

TEST_F(DecimateTest, OneBitImages)
{
    // A destination region at bit 5: bits 7 to 3 of the first byte keep theirs.
    auto src = newImage(1, QIM_DEPTH_1U, 32, 8);
    fill(src.get(), [](int x, int y, int) { return (x / 2 + y / 2) % 2; });
    auto dst = newRoiImage(1, QIM_DEPTH_1U, 24, 4);
    fill(dst.get(), [](int, int, int) { return 1; });
    dst.setRoi(0, 5, 0, 16, 4);
    ASSERT_EQ(qimResize(src.get(), dst.get(), 1, 2, 1, 2, QIM_INTER_SUPER), 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 24; ++x) {
            const bool written = x >= 5 && x < 21;
            EXPECT_EQ(get(dst.get(), x, y), written ? (uint32_t)((x - 5 + y) % 2) : 1u)
                << x << "," << y;
        }
    // Each bit is the thresholded area share: 3 of 4 set gives 1, 1 of 4
    // gives 0, 2 of 4 (one half) gives 1.
    auto blocks = newImage(1, QIM_DEPTH_1U, 8, 4);
    const int set[][2] = {{0, 0}, {1, 0}, {0, 1}, {2, 0}, {4, 0}, {5, 1},
                          {0, 2}, {1, 2}, {0, 3}, {1, 3}};
    for (const auto& xy : set)
        put(blocks.get(), xy[0], xy[1], 0, 1);
    auto half = newImage(1, QIM_DEPTH_1U, 4, 2);
    ASSERT_EQ(qimResize(blocks.get(), half.get(), 1, 2, 1, 2, QIM_INTER_SUPER), 0);
    EXPECT_EQ(pixels(half.get()), (std::vector<uint32_t>{1, 0, 1, 0, 1, 0, 0, 0}));
}

TEST_F(DecimateTest, PixelAndPlaneOrderAgree)
{
    for (int depth : {QIM_DEPTH_8U, QIM_DEPTH_16U, QIM_DEPTH_32F})
        for (int method : {QIM_INTER_SUPER, QIM_INTER_LINEAR, QIM_INTER_CUBIC}) {
            auto src = newImage(3, depth, 29, 23);
            randomize(src.get(), 71);
            auto srcPlane = newImage(3, depth, 29, 23, QIM_ORDER_PLANE);
            convertOrder(src.get(), srcPlane.get());
            auto dst = newImage(3, depth, 12, 12);
            auto dstPlane = newImage(3, depth, 12, 12, QIM_ORDER_PLANE);
            ownDecimateArgs(src.get(), dst.get(), 3, 7, 2, 5, method);
            ownDecimateArgs(srcPlane.get(), dstPlane.get(), 3, 7, 2, 5, method);
            ASSERT_EQ(qimGetErrStatus(), 0);
            EXPECT_EQ(pixels(dst.get()), pixels(dstPlane.get())) << depth << " " << method;
        }
}

TEST_F(DecimateTest, StripsGiveTheSameResult)
{
    // Wide images are worked in strips of rows; a tiny budget forces one row
    // per strip and must not change a single value.
    for (int depth : {QIM_DEPTH_8U, QIM_DEPTH_16U, QIM_DEPTH_32F}) {
        auto src = newImage(3, depth, 97, 61);
        randomize(src.get(), 73);
        auto whole = newImage(3, depth, 50, 30);
        auto strips = newImage(3, depth, 50, 30);
        ASSERT_EQ(qimResize(src.get(), whole.get(), 3, 7, 4, 9, QIM_INTER_SUPER), 0);
        const size_t saved = ownDecimateSuperBudget;
        ownDecimateSuperBudget = 1;
        ASSERT_EQ(qimResize(src.get(), strips.get(), 3, 7, 4, 9, QIM_INTER_SUPER), 0);
        ownDecimateSuperBudget = 4000;
        auto some = newImage(3, depth, 50, 30);
        ASSERT_EQ(qimResize(src.get(), some.get(), 3, 7, 4, 9, QIM_INTER_SUPER), 0);
        ownDecimateSuperBudget = saved;
        EXPECT_EQ(bytes(strips.get()), bytes(whole.get())) << depth;
        EXPECT_EQ(bytes(some.get()), bytes(whole.get())) << depth;
    }
}

// ---- Tiled images -------------------------------------------------------------------

// Decimation of src (through the front end, with any code) via scaleVia.
std::vector<uint32_t> decimateVia(const TiledCase& t, const QimImage* src, bool tiledSrc,
                                  bool tiledDst, int tileW, int tileH)
{
    return scaleVia(t, src, tiledSrc, tiledDst, tileW, tileH, [&](const QimImage* s, QimImage* d) {
        ownDecimateArgs(s, d, t.xDst, t.xSrc, t.yDst, t.ySrc, t.method);
        EXPECT_EQ(qimGetErrStatus(), 0);
    });
}

TEST_F(DecimateTest, TiledImagesMatchPlainOnesForDyadicRatios)
{
    const TiledCase cases[] = {
        {QIM_INTER_SUPER, QIM_DEPTH_8U, 3, QIM_ORDER_PIXEL, 64, 48, 32, 24, 1, 2, 1, 2},
        {QIM_INTER_SUPER, QIM_DEPTH_16U, 2, QIM_ORDER_PLANE, 61, 45, 30, 22, 1, 2, 1, 2},
        {QIM_INTER_SUPER, QIM_DEPTH_32F, 1, QIM_ORDER_PIXEL, 64, 64, 16, 16, 1, 4, 1, 4},
        {QIM_INTER_SUPER, QIM_DEPTH_8U, 1, QIM_ORDER_PIXEL, 45, 37, 30, 24, 2, 3, 2, 3},
        {QIM_INTER_SUPER, QIM_DEPTH_1U, 1, QIM_ORDER_PIXEL, 64, 32, 32, 16, 1, 2, 1, 2},
        {QIM_INTER_NN, QIM_DEPTH_8U, 3, QIM_ORDER_PIXEL, 50, 40, 25, 20, 1, 2, 1, 2},
        {QIM_INTER_NN, QIM_DEPTH_1U, 1, QIM_ORDER_PIXEL, 50, 40, 25, 20, 1, 2, 1, 2},
        {QIM_INTER_LINEAR, QIM_DEPTH_8U, 3, QIM_ORDER_PIXEL, 48, 40, 32, 20, 2, 3, 1, 2},
        {QIM_INTER_CUBIC, QIM_DEPTH_16U, 1, QIM_ORDER_PLANE, 48, 40, 32, 20, 2, 3, 2, 3},
    };
    for (const TiledCase& t : cases)
        expectTilesChangeNothing(t, decimateVia);
}

TEST_F(DecimateTest, WideRatioOverSmallTilesFallsBackToNearest)
{
    auto src = newImage(1, QIM_DEPTH_8U, 40, 16);
    randomize(src.get(), 83);
    TiledImage tiles(src.get(), 8, 8);
    int xi, yi, xm, ym;
    EXPECT_EQ(ownDecimateChooseMethod(tiles.header(), 1, 9, 1, 2, QIM_INTER_SUPER, &xi, &yi, &xm,
                                      &ym),
              QIM_INTER_NN);
    EXPECT_EQ(ownDecimateChooseMethod(src.get(), 1, 9, 1, 2, QIM_INTER_SUPER, &xi, &yi, &xm, &ym),
              QIM_INTER_SUPER);
    auto dst = newImage(1, QIM_DEPTH_8U, 4, 8);
    ASSERT_EQ(qimResize(tiles.header(), dst.get(), 1, 9, 1, 2, QIM_INTER_SUPER), 0);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(get(dst.get(), x, y), get(src.get(), 9 * x, 2 * y));
}

TEST_F(DecimateTest, TilesThatAreNotDelivered)
{
    auto src = newImage(1, QIM_DEPTH_8U, 32, 32);
    auto dst = newImage(1, QIM_DEPTH_8U, 16, 16);
    {
        TiledImage tiles(src.get(), 8, 8);
        tiles.missing.insert({2, 1});
        RaiseLog log;
        EXPECT_EQ(qimResize(tiles.header(), dst.get(), 1, 2, 1, 2, QIM_INTER_SUPER), -1);
        EXPECT_TRUE(log.has(QIM_STATUS_INTERNAL, "srcImage->tileInfo->callBack crash"));
        EXPECT_EQ(tiles.held, 0);
    }
    ownSetErrStatus(0);
    {
        TiledImage tiles(dst.get(), 8, 8);
        tiles.missing.insert({1, 0});
        RaiseLog log;
        EXPECT_EQ(qimResize(src.get(), tiles.header(), 1, 2, 1, 2, QIM_INTER_SUPER), -1);
        EXPECT_TRUE(log.has(QIM_STATUS_INTERNAL, "dstImage->tileInfo->callBack crash"));
        EXPECT_EQ(tiles.held, 0);
    }
}

} // namespace
