// The zoom through qimResize: hand-derived index maps and interpolation
// values, method forcing, regions, masks, channels, and tiled images.
#include "ResizeTestSupport.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

using namespace qimtest;

class ZoomTest : public QimTest {};

const int depths[] = {QIM_DEPTH_8U, QIM_DEPTH_16U, QIM_DEPTH_32F};
const int methods[] = {QIM_INTER_NN, QIM_INTER_LINEAR, QIM_INTER_CUBIC};

TEST_F(ZoomTest, NearestNeighbourIndexMaps)
{
    // Integral 2:1 repeats each column; 3:2 (step 3/5 over 4 columns) rounds.
    auto src = newImage(1, QIM_DEPTH_8U, 4, 2);
    fill(src.get(), [](int x, int y, int) { return 10 * x + 100 * y; });
    auto twice = newImage(1, QIM_DEPTH_8U, 8, 4);
    ASSERT_EQ(qimResize(src.get(), twice.get(), 2, 1, 2, 1, QIM_INTER_NN), 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(get(twice.get(), x, y), 10u * (x / 2) + 100u * (y / 2)) << x << "," << y;

    auto threeHalves = newImage(1, QIM_DEPTH_8U, 6, 2);
    ASSERT_EQ(qimResize(src.get(), threeHalves.get(), 3, 2, 1, 1, QIM_INTER_NN), 0);
    const uint32_t expected[] = {0, 10, 10, 20, 20, 30};
    for (int x = 0; x < 6; ++x) {
        EXPECT_EQ(get(threeHalves.get(), x, 0), expected[x]);
        EXPECT_EQ(get(threeHalves.get(), x, 1), expected[x] + 100);
    }
}

TEST_F(ZoomTest, LinearTwoByTwoToThreeByThree)
{
    // Steps of 1/2: the middle row and column are float midpoints, truncated.
    const float corners[] = {0, 100, 50, 201};
    for (int depth : {QIM_DEPTH_8U, QIM_DEPTH_16U}) {
        auto src = newImage(1, depth, 2, 2);
        for (int k = 0; k < 4; ++k)
            put(src.get(), k % 2, k / 2, 0, (uint32_t)corners[k]);
        auto dst = newImage(1, depth, 3, 3);
        ASSERT_EQ(qimResize(src.get(), dst.get(), 3, 2, 3, 2, QIM_INTER_LINEAR), 0);
        EXPECT_EQ(pixels(dst.get()), (std::vector<uint32_t>{0, 50, 100, 25, 87, 150, 50, 125, 201}))
            << depth;
    }
    auto src = newImage(1, QIM_DEPTH_32F, 2, 2);
    for (int k = 0; k < 4; ++k)
        putF(src.get(), k % 2, k / 2, 0, corners[k]);
    auto dst = newImage(1, QIM_DEPTH_32F, 3, 3);
    ASSERT_EQ(qimResize(src.get(), dst.get(), 3, 2, 3, 2, QIM_INTER_LINEAR), 0);
    EXPECT_EQ(getF(dst.get(), 1, 1), 87.75f);
    EXPECT_EQ(getF(dst.get(), 2, 1), 150.5f);
    EXPECT_EQ(getF(dst.get(), 2, 2), 201.0f);
}

// The linear or cubic zoom of an 8-bit pixel-order image written out
// plainly. Linear: float horizontal pass a + w (b - a), double vertical pass
// (1 - wy) H0 + wy H1. Cubic: Newton's form in float on both passes. Then
// plus 1e-7, truncated, clamped.
std::vector<uint32_t> plainZoom(int method, const QimImage* src, int ox, int oy, int sw, int sh,
                                int dw, int dh, int xDst, int xSrc, int yDst, int ySrc)
{
    struct Tap {
        int k;     // first tap
        float w[3]; // linear weight, or c1, c2, c3
    };
    auto table = [method](int n, int size, int offset, int region, int num, int den) {
        const double extent = (double)num * region / den;
        const double step = extent > 1 ? (region - 1) / (extent - 1) : 0;
        std::vector<Tap> taps(n);
        for (int i = 0; i < n; ++i) {
            const double c = i * step;
            int k = (int)(c + 1e-7);
            if (method == QIM_INTER_LINEAR) {
                float w = (float)(c - k);
                if (k == size - offset - 1) {
                    k -= 1;
                    w = 1.0f;
                }
                taps[i] = {k, {w, 0, 0}};
                continue;
            }
            const int a = offset + k;
            const int base = a == size - 1 ? k - 2 : a == 0 ? k + 1 : a == size - 2 ? k - 1 : k;
            const float t = (float)(c - base);
            const float c1 = t + 1.0f, p = c1 * t;
            taps[i] = {base - 1, {c1, p * 0.5f, (p * (t - 1.0f)) / 6.0f}};
        }
        return taps;
    };
    auto cubic = [](float f0, float f1, float f2, float f3, const float* c) {
        const float d1 = f1 - f0, d2 = (f2 - 2.0f * f1) + f0;
        const float d3 = ((f3 - 3.0f * f2) + 3.0f * f1) - f0;
        return ((f0 + c[0] * d1) + c[1] * d2) + c[2] * d3;
    };
    const int ww = std::min(dw, std::max(1, (int)(sw / ((double)xSrc / xDst) + 1e-7)));
    const int wh = std::min(dh, std::max(1, (int)(sh / ((double)ySrc / yDst) + 1e-7)));
    const auto xs = table(ww, src->width, ox, sw, xDst, xSrc);
    const auto ys = table(wh, src->height, oy, sh, yDst, ySrc);
    const int nch = src->nChannels;
    auto hpass = [&](int row) {
        std::vector<float> h((size_t)ww * nch);
        for (int i = 0; i < ww; ++i)
            for (int c = 0; c < nch; ++c) {
                float f[4] = {};
                for (int q = 0; q < 4 && (q < 2 || method == QIM_INTER_CUBIC); ++q)
                    f[q] = (float)get(src, ox + xs[i].k + q, oy + row, c);
                h[(size_t)i * nch + c] = method == QIM_INTER_LINEAR
                                             ? f[0] + xs[i].w[0] * (f[1] - f[0])
                                             : cubic(f[0], f[1], f[2], f[3], xs[i].w);
            }
        return h;
    };
    std::vector<uint32_t> out;
    for (int j = 0; j < wh; ++j) {
        std::vector<float> h[4];
        for (int q = 0; q < (method == QIM_INTER_CUBIC ? 4 : 2); ++q)
            h[q] = hpass(ys[j].k + q);
        for (size_t e = 0; e < h[0].size(); ++e) {
            double v;
            if (method == QIM_INTER_LINEAR)
                v = (1.0 - ys[j].w[0]) * h[0][e] + (double)ys[j].w[0] * h[1][e];
            else
                v = cubic(h[0][e], h[1][e], h[2][e], h[3][e], ys[j].w);
            const double r = v + 1e-7;
            out.push_back(r >= 255 ? 255u : r > 0 ? (uint32_t)r : 0u);
        }
    }
    return out;
}

TEST_F(ZoomTest, EightBitsFollowThePinnedArithmetic)
{
    // Enlarging, mild and strong shrinking, with and without a region; 1, 3
    // and 4 channels, so that every fast path meets the plain arithmetic.
    const int cases[][10] = {
        // ox, oy, sw, sh, dw, dh, xDst, xSrc, yDst, ySrc
        {0, 0, 64, 40, 96, 60, 96, 64, 60, 40},    {13, 7, 50, 30, 77, 41, 77, 50, 41, 30},
        {5, 3, 100, 90, 60, 54, 60, 100, 54, 90}, {0, 0, 128, 96, 32, 24, 1, 4, 1, 4},
        {3, 2, 120, 80, 41, 29, 41, 120, 29, 80}, {0, 0, 128, 96, 128, 96, 1, 1, 1, 1},
    };
    for (int method : {QIM_INTER_LINEAR, QIM_INTER_CUBIC})
        for (int channels : {1, 3, 4})
            for (const auto& t : cases) {
                auto src = newRoiImage(channels, QIM_DEPTH_8U, t[0] + t[2] + 1, t[1] + t[3]);
                randomize(src.get(), 101 + channels);
                src.setRoi(0, t[0], t[1], t[2], t[3]);
                auto dst = newImage(channels, QIM_DEPTH_8U, t[4], t[5]);
                ASSERT_EQ(qimResize(src.get(), dst.get(), t[6], t[7], t[8], t[9], method), 0);
                const auto expected = plainZoom(method, src.get(), t[0], t[1], t[2], t[3], t[4],
                                                t[5], t[6], t[7], t[8], t[9]);
                const int wh =
                    std::min(t[5], std::max(1, (int)(t[3] / ((double)t[9] / t[8]) + 1e-7)));
                const int ww = (int)(expected.size() / channels / wh);
                EXPECT_EQ(pixels(dst.get(), 0, 0, ww, wh), expected)
                    << method << ": " << channels << " channels, " << t[2] << " -> " << t[4];
            }
    // A map-sized case: enough values that a change in the order of the
    // float operations would show in some truncated byte.
    for (int method : {QIM_INTER_LINEAR, QIM_INTER_CUBIC}) {
        auto src = newImage(3, QIM_DEPTH_8U, 640, 360);
        randomize(src.get(), 211);
        auto dst = newImage(3, QIM_DEPTH_8U, 960, 540);
        ASSERT_EQ(qimResize(src.get(), dst.get(), 960, 640, 540, 360, method), 0);
        EXPECT_TRUE(pixels(dst.get()) ==
                    plainZoom(method, src.get(), 0, 0, 640, 360, 960, 540, 960, 640, 540, 360))
            << method;
    }
}

TEST_F(ZoomTest, LinearEnlargementKeepsTheCorners)
{
    auto src = newImage(3, QIM_DEPTH_8U, 2, 2);
    randomize(src.get(), 7);
    auto dst = newImage(3, QIM_DEPTH_8U, 4, 4);
    ASSERT_EQ(qimResize(src.get(), dst.get(), 4, 2, 4, 2, QIM_INTER_LINEAR), 0);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(get(dst.get(), 0, 0, c), get(src.get(), 0, 0, c));
        EXPECT_EQ(get(dst.get(), 3, 0, c), get(src.get(), 1, 0, c));
        EXPECT_EQ(get(dst.get(), 0, 3, c), get(src.get(), 0, 1, c));
        EXPECT_EQ(get(dst.get(), 3, 3, c), get(src.get(), 1, 1, c));
    }
}

TEST_F(ZoomTest, CubicReproducesCubicPolynomials)
{
    // A sum of cubics in x and y is reproduced exactly (up to float rounding)
    // everywhere, the shifted windows at the edges included.
    auto p = [](double x) { return 0.5 * x * x * x - 4 * x * x + 9 * x + 20; };
    auto q = [](double y) { return -0.25 * y * y * y + 2 * y * y + 30; };
    auto src = newImage(1, QIM_DEPTH_32F, 8, 6);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x)
            putF(src.get(), x, y, 0, (float)(p(x) + q(y)));
    // 8 -> 13 columns (step 7/12) and 6 -> 11 rows (step 1/2).
    auto dst = newImage(1, QIM_DEPTH_32F, 13, 11);
    ASSERT_EQ(qimResize(src.get(), dst.get(), 13, 8, 11, 6, QIM_INTER_CUBIC), 0);
    for (int j = 0; j < 11; ++j)
        for (int i = 0; i < 13; ++i)
            EXPECT_NEAR(getF(dst.get(), i, j), p(i * 7.0 / 12) + q(j * 0.5), 2e-3) << i << "," << j;
    // With integer samples the 8-bit result is the polynomial truncated (float
    // rounding may land a whole number just below itself).
    auto pi = [](double x) { return x * x * x - 8 * x * x + 18 * x + 20; };
    auto qi = [](double y) { return y * y * y - 7 * y * y + 12 * y + 30; };
    auto src8i = newImage(1, QIM_DEPTH_8U, 8, 6);
    fill(src8i.get(), [&](int x, int y, int) { return (uint32_t)(pi(x) + qi(y)); });
    auto dst8 = newImage(1, QIM_DEPTH_8U, 15, 11);
    ASSERT_EQ(qimResize(src8i.get(), dst8.get(), 15, 8, 11, 6, QIM_INTER_CUBIC), 0);
    for (int j = 0; j < 11; ++j)
        for (int i = 0; i < 15; ++i)
            EXPECT_NEAR(get(dst8.get(), i, j), pi(i * 0.5) + qi(j * 0.5), 1.0) << i << "," << j;
}

TEST_F(ZoomTest, CubicClampsOvershootToTheDepthsRange)
{
    // 0, 255, 255, 0, 0 at half steps: 286.875 between the two 255s and
    // -63.75 in the shifted window at the right edge.
    for (int depth : {QIM_DEPTH_8U, QIM_DEPTH_16U}) {
        const uint32_t top = depth == QIM_DEPTH_8U ? 255 : 65535;
        auto src = newImage(1, depth, 5, 4);
        const uint32_t row[] = {0, top, top, 0, 0};
        fill(src.get(), [&](int x, int, int) { return row[x]; });
        auto dst = newImage(1, depth, 9, 4);
        ASSERT_EQ(qimResize(src.get(), dst.get(), 9, 5, 4, 4, QIM_INTER_CUBIC), 0);
        for (int y = 0; y < 4; ++y) {
            EXPECT_EQ(get(dst.get(), 3, y), top);
            EXPECT_EQ(get(dst.get(), 7, y), 0u);
            EXPECT_EQ(get(dst.get(), 2, y), top);
            EXPECT_EQ(get(dst.get(), 8, y), 0u);
        }
    }
    // 32F keeps the overshoot.
    auto src = newImage(1, QIM_DEPTH_32F, 5, 4);
    const float row[] = {0, 255, 255, 0, 0};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            putF(src.get(), x, y, 0, row[x]);
    auto dst = newImage(1, QIM_DEPTH_32F, 9, 4);
    ASSERT_EQ(qimResize(src.get(), dst.get(), 9, 5, 4, 4, QIM_INTER_CUBIC), 0);
    EXPECT_FLOAT_EQ(getF(dst.get(), 3, 0), 286.875f);
    EXPECT_FLOAT_EQ(getF(dst.get(), 7, 0), -63.75f);
}

TEST_F(ZoomTest, SmallSourcesForceSimplerMethods)
{
    // One pixel high: nearest neighbour whatever is asked.
    auto line = newImage(1, QIM_DEPTH_8U, 5, 1);
    fill(line.get(), [](int x, int, int) { return 40 * x; });
    for (int method : methods) {
        auto dst = newImage(1, QIM_DEPTH_8U, 10, 2);
        ASSERT_EQ(qimResize(line.get(), dst.get(), 2, 1, 2, 1, method), 0);
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(get(dst.get(), x, 1), 40u * (x / 2)) << method;
    }
    // Three pixels wide: cubic runs as linear.
    auto narrow = newImage(3, QIM_DEPTH_8U, 3, 6);
    randomize(narrow.get(), 11);
    auto cubic = newImage(3, QIM_DEPTH_8U, 7, 9);
    auto linear = newImage(3, QIM_DEPTH_8U, 7, 9);
    ASSERT_EQ(qimResize(narrow.get(), cubic.get(), 7, 3, 9, 6, QIM_INTER_CUBIC), 0);
    ASSERT_EQ(qimResize(narrow.get(), linear.get(), 7, 3, 9, 6, QIM_INTER_LINEAR), 0);
    EXPECT_EQ(bytes(cubic.get()), bytes(linear.get()));
}

TEST_F(ZoomTest, IdentityScaleCopiesExactly)
{
    for (int depth : depths)
        for (int method : methods) {
            if (depth == QIM_DEPTH_32F && method != QIM_INTER_NN)
                continue; // float a + (b - a) need not give b back
            for (int order : {QIM_ORDER_PIXEL, QIM_ORDER_PLANE}) {
                auto src = newImage(3, depth, 13, 7, order);
                randomize(src.get(), 3);
                auto dst = newImage(3, depth, 13, 7, order);
                ASSERT_EQ(qimResize(src.get(), dst.get(), 5, 5, 3, 3, method), 0);
                EXPECT_EQ(pixels(dst.get()), pixels(src.get())) << depth << " " << method;
            }
        }
    auto bits = newImage(1, QIM_DEPTH_1U, 21, 5);
    randomize(bits.get(), 5);
    auto copy = newImage(1, QIM_DEPTH_1U, 21, 5);
    ASSERT_EQ(qimResize(bits.get(), copy.get(), 1, 1, 1, 1, QIM_INTER_LINEAR), 0);
    EXPECT_EQ(pixels(copy.get()), pixels(bits.get()));
}

TEST_F(ZoomTest, ConstantImagesStayConstant)
{
    const int ratios[][4] = {{3, 7, 5, 11}, {13, 4, 9, 2}, {960, 700, 540, 394}, {2, 3, 3, 2}};
    for (int depth : depths)
        for (int method : methods)
            for (const auto& r : ratios) {
                const uint32_t value = depth == QIM_DEPTH_8U    ? 255u
                                       : depth == QIM_DEPTH_16U ? 65535u
                                                                : 0x3E99999Au; /* 0.3f */
                auto src = newImage(2, depth, 37, 23);
                fill(src.get(), [&](int, int, int) { return value; });
                auto dst = newImage(2, depth, 64, 48);
                ASSERT_EQ(qimResize(src.get(), dst.get(), r[0], r[1], r[2], r[3], method), 0);
                const int ww = std::min(64, std::max(1, 37 * r[0] / r[1]));
                const int wh = std::min(48, std::max(1, 23 * r[2] / r[3]));
                for (uint32_t v : pixels(dst.get(), 0, 0, ww, wh))
                    ASSERT_EQ(v, value) << depth << " " << method << " " << r[0] << "/" << r[1];
            }
}

TEST_F(ZoomTest, PixelAndPlaneOrderAgree)
{
    for (int depth : depths)
        for (int method : methods) {
            auto src = newImage(3, depth, 17, 12);
            randomize(src.get(), 19);
            auto srcPlane = newImage(3, depth, 17, 12, QIM_ORDER_PLANE);
            convertOrder(src.get(), srcPlane.get());
            auto dst = newImage(3, depth, 30, 9);
            auto dstPlane = newImage(3, depth, 30, 9, QIM_ORDER_PLANE);
            ASSERT_EQ(qimResize(src.get(), dst.get(), 7, 4, 3, 4, method), 0);
            ASSERT_EQ(qimResize(srcPlane.get(), dstPlane.get(), 7, 4, 3, 4, method), 0);
            EXPECT_EQ(pixels(dst.get()), pixels(dstPlane.get())) << depth << " " << method;
        }
}

TEST_F(ZoomTest, DestinationRegionBoundsTheWrite)
{
    // A 4 x 4 source region scaled by 2 into a 10 x 10 destination region
    // writes 8 x 8 pixels from the region's corner; the rest keeps its canary.
    auto src = newRoiImage(1, QIM_DEPTH_8U, 9, 9);
    fill(src.get(), [](int x, int y, int) { return 1 + x + 10 * y; });
    src.setRoi(0, 2, 3, 4, 4);
    auto dst = newRoiImage(1, QIM_DEPTH_8U, 20, 20);
    fill(dst.get(), [](int, int, int) { return 0xEE; });
    dst.setRoi(0, 3, 5, 10, 10);
    ASSERT_EQ(qimResize(src.get(), dst.get(), 2, 1, 2, 1, QIM_INTER_NN), 0);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            const bool written = x >= 3 && x < 11 && y >= 5 && y < 13;
            const uint32_t expected =
                written ? 1 + (2 + (x - 3) / 2) + 10 * (3 + (y - 5) / 2) : 0xEEu;
            EXPECT_EQ(get(dst.get(), x, y), expected) << x << "," << y;
        }
}

TEST_F(ZoomTest, RegionsThatStartOutsideTheImageWriteNothing)
{
    auto src = newRoiImage(1, QIM_DEPTH_8U, 8, 8);
    randomize(src.get(), 1);
    auto dst = newRoiImage(1, QIM_DEPTH_8U, 8, 8);
    fill(dst.get(), [](int, int, int) { return 0x5A; });
    const auto before = bytes(dst.get());
    for (int method : methods) {
        src.setRoi(0, 9, 0, 4, 4);
        EXPECT_EQ(qimResize(src.get(), dst.get(), 2, 1, 2, 1, method), 0);
        src.image->roi = nullptr;
        dst.setRoi(0, 0, 8, 4, 4);
        EXPECT_EQ(qimResize(src.get(), dst.get(), 2, 1, 2, 1, method), 0);
        dst.image->roi = nullptr;
    }
    EXPECT_EQ(bytes(dst.get()), before);
}

TEST_F(ZoomTest, TapsStayInsideTheImageAtItsEdges)
{
    // Regions at the last column and row, and a source mask that cuts the
    // region to one pixel: the result is that pixel, and nothing is read
    // outside the image (the sanitizer build checks the reads).
    for (int method : {QIM_INTER_LINEAR, QIM_INTER_CUBIC}) {
        auto src = newRoiImage(1, QIM_DEPTH_8U, 8, 8);
        fill(src.get(), [](int x, int y, int) { return 10 + x + 8 * y; });
        src.setRoi(0, 7, 7, 1, 1);
        auto dst = newImage(1, QIM_DEPTH_8U, 3, 3);
        ASSERT_EQ(qimResize(src.get(), dst.get(), 3, 1, 3, 1, method), 0);
        for (uint32_t v : pixels(dst.get()))
            EXPECT_EQ(v, 10u + 7 + 56) << method;

        auto mask = newImage(1, QIM_DEPTH_1U, 1, 1);
        put(mask.get(), 0, 0, 0, 1);
        src.image->roi = nullptr;
        src.image->mask = mask.get();
        auto out = newImage(1, QIM_DEPTH_8U, 16, 16);
        ASSERT_EQ(qimResize(src.get(), out.get(), 2, 1, 2, 1, method), 0);
        // Linear holds at the mask's last pixel; cubic reads on inside the
        // image (10 + 9 x 7/15).
        EXPECT_EQ(get(out.get(), 0, 0), 10u) << method;
        EXPECT_EQ(get(out.get(), 1, 1), method == QIM_INTER_LINEAR ? 10u : 14u) << method;
        src.image->mask = nullptr;
    }
}

TEST_F(ZoomTest, DestinationMaskKeepsUnsetPixels)
{
    for (int method : methods) {
        auto src = newImage(3, QIM_DEPTH_8U, 10, 10);
        randomize(src.get(), 23);
        auto plain = newImage(3, QIM_DEPTH_8U, 15, 15);
        ASSERT_EQ(qimResize(src.get(), plain.get(), 3, 2, 3, 2, method), 0);

        auto mask = newImage(1, QIM_DEPTH_1U, 15, 15);
        randomize(mask.get(), 29);
        auto dst = newImage(3, QIM_DEPTH_8U, 15, 15);
        fill(dst.get(), [](int, int, int) { return 0x77; });
        dst->mask = mask.get();
        ASSERT_EQ(qimResize(src.get(), dst.get(), 3, 2, 3, 2, method), 0);
        dst->mask = nullptr;
        for (int y = 0; y < 15; ++y)
            for (int x = 0; x < 15; ++x)
                for (int c = 0; c < 3; ++c)
                    EXPECT_EQ(get(dst.get(), x, y, c),
                              get(mask.get(), x, y) ? get(plain.get(), x, y, c) : 0x77u)
                        << method << " " << x << "," << y;
    }
}

TEST_F(ZoomTest, SourceAndDestinationMasksCombine)
{
    // At scale 1 the scaled source mask is the source mask itself; a pixel is
    // written where both masks are set.
    auto src = newImage(1, QIM_DEPTH_16U, 12, 9);
    randomize(src.get(), 31);
    auto srcMask = newImage(1, QIM_DEPTH_1U, 12, 9);
    randomize(srcMask.get(), 37);
    auto dstMask = newImage(1, QIM_DEPTH_1U, 12, 9);
    randomize(dstMask.get(), 41);
    auto dst = newImage(1, QIM_DEPTH_16U, 12, 9);
    fill(dst.get(), [](int, int, int) { return 0xBEEF; });
    src->mask = srcMask.get();
    dst->mask = dstMask.get();
    ASSERT_EQ(qimResize(src.get(), dst.get(), 1, 1, 1, 1, QIM_INTER_LINEAR), 0);
    src->mask = dst->mask = nullptr;
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 12; ++x) {
            const bool on = get(srcMask.get(), x, y) && get(dstMask.get(), x, y);
            EXPECT_EQ(get(dst.get(), x, y), on ? get(src.get(), x, y) : 0xBEEFu) << x << "," << y;
        }
}

TEST_F(ZoomTest, ChannelOfInterestAndAlpha)
{
    // Channel 2 of a three-channel source into a one-channel destination.
    auto src = newRoiImage(3, QIM_DEPTH_8U, 9, 7);
    randomize(src.get(), 43);
    src.setRoi(2, 0, 0, 9, 7);
    auto single = newImage(1, QIM_DEPTH_8U, 9, 7);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x)
            put(single.get(), x, y, 0, get(src.get(), x, y, 1));
    auto viaCoi = newImage(1, QIM_DEPTH_8U, 14, 11);
    auto direct = newImage(1, QIM_DEPTH_8U, 14, 11);
    ASSERT_EQ(qimResize(src.get(), viaCoi.get(), 14, 9, 11, 7, QIM_INTER_LINEAR), 0);
    ASSERT_EQ(qimResize(single.get(), direct.get(), 14, 9, 11, 7, QIM_INTER_LINEAR), 0);
    EXPECT_EQ(pixels(viaCoi.get()), pixels(direct.get()));

    // The same source into a three-channel destination: the counts differ.
    {
        RaiseLog log;
        auto three = newImage(3, QIM_DEPTH_8U, 14, 11);
        EXPECT_EQ(qimResize(src.get(), three.get(), 14, 9, 11, 7, QIM_INTER_LINEAR), -1);
        EXPECT_TRUE(log.has(QIM_STATUS_ERROR, "srcImage COI != dstImage COI"));
        EXPECT_EQ(qimGetErrStatus(), QIM_STATUS_ERROR);
    }
    ownSetErrStatus(0);

    // Four channels with alpha on both sides: the destination's alpha stays.
    auto rgba = newImage(4, QIM_DEPTH_8U, 6, 6, QIM_ORDER_PIXEL, 4, 4);
    randomize(rgba.get(), 47);
    auto out = newImage(4, QIM_DEPTH_8U, 12, 12, QIM_ORDER_PIXEL, 4, 4);
    fill(out.get(), [](int, int, int c) { return c == 3 ? 0x42 : 0; });
    for (int method : methods) {
        ASSERT_EQ(qimResize(rgba.get(), out.get(), 2, 1, 2, 1, method), 0);
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 12; ++x)
                ASSERT_EQ(get(out.get(), x, y, 3), 0x42u);
    }
}

TEST_F(ZoomTest, OneBitImagesScaleByNearestNeighbour)
{
    auto src = newImage(1, QIM_DEPTH_1U, 11, 5);
    randomize(src.get(), 53);
    auto dst = newRoiImage(1, QIM_DEPTH_1U, 40, 12);
    fill(dst.get(), [](int x, int, int) { return x % 3 == 0; });
    dst.setRoi(0, 5, 1, 22, 10);
    ASSERT_EQ(qimResize(src.get(), dst.get(), 2, 1, 2, 1, QIM_INTER_CUBIC), 0);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 40; ++x) {
            const bool written = x >= 5 && x < 27 && y >= 1 && y < 11;
            EXPECT_EQ(get(dst.get(), x, y),
                      written ? get(src.get(), (x - 5) / 2, (y - 1) / 2) : (uint32_t)(x % 3 == 0))
                << x << "," << y;
        }
}

TEST_F(ZoomTest, RefusalsRaiseAndLeaveTheDestination)
{
    auto src = newImage(1, QIM_DEPTH_8U, 8, 8);
    auto dst = newImage(1, QIM_DEPTH_8U, 8, 8);
    fill(dst.get(), [](int, int, int) { return 9; });
    const auto before = bytes(dst.get());
    {
        RaiseLog log;
        EXPECT_EQ(qimResize(src.get(), src.get(), 1, 1, 1, 1, QIM_INTER_NN), -1);
        EXPECT_TRUE(log.has(-5, "This function isn`t in-plase function"));
    }
    ownSetErrStatus(0);
    {
        RaiseLog log;
        auto other = newImage(1, QIM_DEPTH_16U, 8, 8, QIM_ORDER_PLANE);
        EXPECT_EQ(qimResize(src.get(), other.get(), 0, 1, 1, -2, QIM_INTER_LINEAR), -1);
        EXPECT_EQ(log.contexts(),
                  (std::vector<std::string>{"srcImage->depth != dstImage->depth",
                                            "srcImage->dataOrder != dstImage->dataOrder",
                                            "xDst <= 0 || xSrc <= 0", "yDst <= 0 || ySrc <= 0",
                                            ""}));
        EXPECT_EQ(log.raises.back().status, QIM_STATUS_BACKTRACE);
        EXPECT_EQ(log.raises.back().function, "qimResize");
        EXPECT_EQ(qimGetErrStatus(), -5);
    }
    ownSetErrStatus(0);
    {
        RaiseLog log;
        EXPECT_EQ(qimZoom(src.get(), dst.get(), 1, 1, 1, 1, QIM_INTER_SUPER), -5);
        EXPECT_TRUE(log.has(-5, "interpolate != QIM_INTER_NN && interpolate != "
                                "QIM_INTER_LINEAR && interpolate != QIM_INTER_CUBIC"));
    }
    // A failure earlier on the thread stops the next call before it writes.
    EXPECT_EQ(qimResize(src.get(), dst.get(), 1, 1, 1, 1, QIM_INTER_NN), -1);
    EXPECT_EQ(qimGetErrStatus(), -5);
    EXPECT_EQ(bytes(dst.get()), before);
}

TEST_F(ZoomTest, AlphaOnlyImagesAreLeftAlone)
{
    auto src = newImage(1, QIM_DEPTH_8U, 4, 4, QIM_ORDER_PIXEL, 4, 1);
    randomize(src.get(), 2);
    auto dst = newImage(1, QIM_DEPTH_8U, 8, 8, QIM_ORDER_PIXEL, 4, 1);
    const auto before = bytes(dst.get());
    EXPECT_EQ(qimResize(src.get(), dst.get(), 2, 1, 2, 1, QIM_INTER_LINEAR), 0);
    EXPECT_EQ(bytes(dst.get()), before);
}

// ---- Tiled images -------------------------------------------------------------------

// The zoom of src through scaleVia.
std::vector<uint32_t> zoomVia(const TiledCase& t, const QimImage* src, bool tiledSrc, bool tiledDst,
                              int tileW, int tileH)
{
    return scaleVia(t, src, tiledSrc, tiledDst, tileW, tileH, [&](const QimImage* s, QimImage* d) {
        EXPECT_EQ(qimResize(s, d, t.xDst, t.xSrc, t.yDst, t.ySrc, t.method), 0);
    });
}

TEST_F(ZoomTest, TiledImagesMatchPlainOnesForDyadicSteps)
{
    // Steps that are binary fractions make every position exact, so cutting
    // the destination along tiles changes nothing.
    const TiledCase cases[] = {
        {QIM_INTER_NN, QIM_DEPTH_8U, 3, QIM_ORDER_PIXEL, 20, 18, 40, 36, 2, 1, 2, 1},
        {QIM_INTER_NN, QIM_DEPTH_16U, 1, QIM_ORDER_PIXEL, 40, 36, 20, 18, 1, 2, 1, 2},
        {QIM_INTER_NN, QIM_DEPTH_1U, 1, QIM_ORDER_PIXEL, 21, 17, 42, 34, 2, 1, 2, 1},
        {QIM_INTER_LINEAR, QIM_DEPTH_8U, 3, QIM_ORDER_PIXEL, 17, 9, 33, 17, 33, 17, 17, 9},
        {QIM_INTER_LINEAR, QIM_DEPTH_32F, 2, QIM_ORDER_PLANE, 17, 9, 33, 17, 33, 17, 17, 9},
        {QIM_INTER_CUBIC, QIM_DEPTH_8U, 4, QIM_ORDER_PIXEL, 17, 9, 33, 17, 33, 17, 17, 9},
        {QIM_INTER_CUBIC, QIM_DEPTH_16U, 3, QIM_ORDER_PLANE, 33, 17, 17, 9, 17, 33, 9, 17},
    };
    for (const TiledCase& t : cases)
        expectTilesChangeNothing(t, zoomVia);
}

TEST_F(ZoomTest, TiledDestinationWithAMissingTile)
{
    auto src = newImage(1, QIM_DEPTH_8U, 16, 16);
    auto dst = newImage(1, QIM_DEPTH_8U, 32, 32);
    TiledImage tiles(dst.get(), 16, 16);
    tiles.missing.insert({1, 0});
    RaiseLog log;
    EXPECT_EQ(qimResize(src.get(), tiles.header(), 2, 1, 2, 1, QIM_INTER_LINEAR), -1);
    EXPECT_TRUE(log.has(QIM_STATUS_ERROR, "Error get tile to write"));
    EXPECT_EQ(tiles.held, 0);
}

} // namespace
