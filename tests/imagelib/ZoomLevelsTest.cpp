// The zoom's vector paths against the plain C kernels, depth by depth:
// random geometry with narrow regions, regions at the image's right and
// bottom edges, channels of interest, alpha, masks, tiled sources and
// destinations, exact and inexact ratios (halving and 2, 4 and 8 times
// growth among them). Every vector level the processor has must give the
// plain level's bytes, the destination's untouched bytes and row padding
// included; the source pixels end where a page the process may not touch
// begins, so a vector load past the image faults. The plain level itself
// must keep the bytes it gave when its vector paths were added (checksums).
#include "GuardedPixels.h"
#include "ResizeTestSupport.h"

#include <algorithm>
#include <random>
#include <sstream>

namespace {

using namespace qimtest;

class ZoomLevelsTest : public QimTest {
protected:
    void TearDown() override { ownSetVectorLevel(OWN_VECTOR_AVX2); }
};

// Draws from the generator's own sequence (the same on every platform, so
// that the checksums below hold).
struct Dice {
    std::mt19937 rng;
    explicit Dice(uint32_t seed) : rng(seed) {}
    int operator()(int lo, int hi) { return lo + (int)(rng() % (uint32_t)(hi - lo + 1)); }
};

struct Case {
    int depth, order, channels, alpha, method, coi;
    int xDst, xSrc, yDst, ySrc;
    RoiImage src;
    ImagePtr dst, srcMask, dstMask;
    QimRoi dstRoi{};
    bool useDstRoi = false;
    int tiled = 0; // bit 0 the source, bit 1 the destination
    int tileW = 8, tileH = 8;
    std::string text;
};

// A fixed case of whole pixels in pixel order, every channel, shrunk by
// 1/den on both axes.
Case shrinkCase(int depth, int channels, int method, int den)
{
    Case c;
    c.depth = depth;
    c.order = QIM_ORDER_PIXEL;
    c.channels = channels;
    c.alpha = c.coi = 0;
    c.method = method;
    c.xDst = c.yDst = 1;
    c.xSrc = c.ySrc = den;
    return c;
}

// The ratio of one axis: halving, 2, 4 or 8 times growth, a shrink of up
// to 16, or any of up to 9 / 9.
void pickRatio(Dice& pick, int* num, int* den)
{
    switch (pick(0, 7)) {
    case 0: *num = 1, *den = 2; break;
    case 1: *num = 1 << pick(1, 3), *den = 1; break;
    case 2: *num = pick(1, 3), *den = *num * pick(2, 16) + pick(0, 1); break;
    case 3: *num = *den = pick(1, 3); break;
    default: *num = pick(1, 9), *den = pick(1, 9); break;
    }
}

// The destination extent of a source extent, as the zoom writes it, give or
// take a few pixels, at most limit.
int extentFor(Dice& pick, int size, int num, int den, int limit)
{
    const int e = (int)((long long)size * num / den) + pick(-2, 2);
    return std::max(1, std::min(e, limit));
}

// Halving rows: mostly an exact half, now and then a ratio a little off it
// or some other; on the vertical axis other ratios more often.
void pickHalvingRatio(Dice& pick, int* num, int* den, int otherIn)
{
    if (pick(0, otherIn - 1)) {
        *num = 1, *den = 2;
        return;
    }
    switch (pick(0, 2)) {
    case 0: *num = pick(5, 20), *den = 2 * *num + pick(-1, 1); break;
    case 1: *num = 1, *den = 2 + pick(1, 2); break;
    default: pickRatio(pick, num, den); break;
    }
}

// Element values whose interpolations often land on or near whole numbers:
// flat areas, steps between 0 and 255, a few levels, or random values.
uint32_t halvingValue(int pattern, int x, int y, int c, uint32_t seed)
{
    const uint32_t h = (uint32_t)x * 73856093u ^ (uint32_t)y * 19349663u ^
                       (uint32_t)c * 83492791u ^ seed;
    const uint32_t r = (h * 2654435761u) >> 24;
    switch (pattern) {
    case 0: return r;
    case 1: return (x / 7 + y / 5) % 2 ? 255u : 0u;
    case 2: return (x + y + c) % 2 ? 255u : 0u;
    case 3: {
        static const uint32_t levels[] = {0, 1, 127, 128, 254, 255};
        return levels[r % 6];
    }
    case 4: return (x / 9 + y / 3 + c) % 3 ? 40u + 100u * (uint32_t)c : 201u;
    default: return (uint32_t)((x + 2 * y) % 256);
    }
}

// Shrinks of whole 4-channel pixels, whose columns lie more than a pixel
// apart: by 3 to 16 or so, by less than two (near a half among them), now
// and then by some other ratio.
void pickSparseRatio(Dice& pick, int* num, int* den)
{
    switch (pick(0, 5)) {
    case 0: pickRatio(pick, num, den); break;
    case 1:
    case 2: *num = pick(2, 20), *den = *num + pick(1, *num); break;
    default: *num = pick(1, 3), *den = *num * pick(2, 16) + pick(1, *num); break;
    }
}

// The cases drawn: any; for the linear halving rows an exact half or close
// to it, of one, three or four channels, wide enough for their blocks; or
// for the sparse rows of 4 channels shrinks of those.
enum class Shape { Any, Halving, SparseFourChannels };

std::unique_ptr<Case> randomCase(Dice& pick, int depth, uint32_t seed, Shape shape = Shape::Any)
{
    const bool focused = shape != Shape::Any;
    auto c = std::make_unique<Case>();
    c->depth = depth;
    c->order = pick(0, 4) == 0 ? QIM_ORDER_PLANE : QIM_ORDER_PIXEL;
    c->channels = pick(0, 2) ? (pick(0, 1) ? 3 : 1) : pick(1, 4);
    c->alpha = c->channels > 1 && pick(0, 5) == 0 ? c->channels : 0;
    c->method = pick(0, 2);
    int pattern = 0;
    if (focused) {
        c->order = pick(0, 9) == 0 ? QIM_ORDER_PLANE : QIM_ORDER_PIXEL;
        const int channels[] = {1, 3, 4, 1, 3, 4, 2};
        c->channels = channels[pick(0, 6)];
        c->alpha = c->channels > 1 && pick(0, 7) == 0 ? c->channels : 0;
        c->method = pick(0, 9) ? QIM_INTER_LINEAR : pick(0, 2);
        if (shape == Shape::SparseFourChannels) {
            c->channels = 4;
            c->alpha = pick(0, 7) == 0 ? 4 : 0;
            pickSparseRatio(pick, &c->xDst, &c->xSrc);
            pickRatio(pick, &c->yDst, &c->ySrc);
        } else {
            pickHalvingRatio(pick, &c->xDst, &c->xSrc, 6);
            pickHalvingRatio(pick, &c->yDst, &c->ySrc, 3);
        }
        pattern = pick(0, 5);
    } else {
        pickRatio(pick, &c->xDst, &c->xSrc);
        pickRatio(pick, &c->yDst, &c->ySrc);
    }
    // Mostly rows long enough for several vectors, some narrow ones; fewer
    // rows than columns keep the cases quick.
    const bool sparse = shape == Shape::SparseFourChannels;
    const int width = focused ? (pick(0, 5) ? pick(sparse ? 24 : 32, sparse ? 900 : 200) : pick(2, 40))
                      : pick(0, 4) ? pick(8, 96)
                                   : pick(2, 12);
    const int height = pick(0, 4) ? pick(4, 24) : pick(2, 6);
    c->src = newRoiImage(c->channels, depth, width, height, c->order, 4, c->alpha);
    randomize(c->src.get(), seed);
    if (focused)
        fill(c->src.get(), [&](int x, int y, int ch) {
            const uint32_t v = halvingValue(pattern, x, y, ch, seed);
            if (depth != QIM_DEPTH_16U)
                return v;
            // The same shapes over the whole 16-bit range; random values in
            // all sixteen bits.
            return pattern == 0 ? (v << 8 | (uint32_t)(x * 131 + y * 71 + ch) % 256) : v * 257;
        });
    c->coi = c->channels > 1 && pick(0, 4) == 0 ? pick(1, c->channels) : 0;
    int rx = 0, ry = 0, rw = width, rh = height;
    if (c->coi || pick(0, 1)) {
        // Narrow regions now and then; regions that end at the right or the
        // bottom edge often.
        rw = pick(0, 4) ? pick(1, width) : pick(1, std::min(width, 4));
        rh = pick(0, 4) ? pick(1, height) : pick(1, std::min(height, 4));
        rx = pick(0, 1) ? width - rw : pick(0, width - rw);
        ry = pick(0, 1) ? height - rh : pick(0, height - rh);
        c->src.setRoi(c->coi, rx, ry, rw, rh);
    }
    const int dw = extentFor(pick, rw, c->xDst, c->xSrc, 400);
    const int dh = extentFor(pick, rh, c->yDst, c->ySrc, 120);
    const int dstChannels = c->coi && pick(0, 1) ? pick(1, 4) : c->channels;
    const int dstAlpha = dstChannels == c->channels ? c->alpha : 0;
    const int border = pick(0, 2) ? 0 : pick(1, 5);
    c->dst = newImage(dstChannels, depth, dw + border, dh + border, c->order, 4, dstAlpha);
    scramble(c->dst.get(), seed + 1);
    c->dstRoi = {c->coi ? pick(1, dstChannels) : 0, border ? pick(0, border) : 0,
                 border ? pick(0, border) : 0, dw, dh};
    c->useDstRoi = c->coi || border;
    if (pick(0, 6) == 0) {
        c->srcMask = newImage(1, QIM_DEPTH_1U, pick(1, width), pick(1, height));
        scramble(c->srcMask.get(), seed + 2);
    }
    if (pick(0, 6) == 0) {
        c->dstMask = newImage(1, QIM_DEPTH_1U, pick(1, dw + border), pick(1, dh + border));
        scramble(c->dstMask.get(), seed + 3);
    }
    if (pick(0, 4) == 0) {
        c->tiled = pick(1, 3);
        c->tileW = 8 * pick(1, 4);
        c->tileH = 8 * pick(1, 2);
    }
    std::ostringstream text;
    text << "depth " << depth << " method " << c->method << " channels " << c->channels
         << " alpha " << c->alpha << " coi " << c->coi << " order " << c->order << " source "
         << width << "x" << height << " region " << rx << "," << ry << " " << rw << "x" << rh
         << " destination " << c->dst->width << "x" << c->dst->height << " ratio " << c->xDst
         << "/" << c->xSrc << " " << c->yDst << "/" << c->ySrc << " masks " << !!c->srcMask
         << !!c->dstMask << " tiled " << c->tiled << " values " << pattern;
    c->text = text.str();
    return c;
}

// The case scaled at one vector level into a fresh copy of its destination:
// the status and every byte of the destination's data.
std::vector<unsigned char> scaleAt(int level, Case& c, int* status)
{
    ownSetVectorLevel(level);
    ownSetErrStatus(0);
    auto dst = newImage(c.dst->nChannels, c.depth, c.dst->width, c.dst->height, c.order, 4,
                        c.dst->alphaIndex);
    std::memcpy(dst->imageData, c.dst->imageData, (size_t)dst->dataSize);
    const GuardedPixels guard(c.src.get());
    std::unique_ptr<TiledImage> srcTiles, dstTiles;
    const QimImage* from = c.src.get();
    QimImage* to = dst.get();
    if (c.tiled & 1) {
        srcTiles = std::make_unique<TiledImage>(c.src.get(), c.tileW, c.tileH);
        srcTiles->header()->roi = c.src->roi;
        from = srcTiles->header();
    }
    if (c.tiled & 2) {
        dstTiles = std::make_unique<TiledImage>(dst.get(), c.tileW, c.tileH);
        to = dstTiles->header();
    }
    const_cast<QimImage*>(from)->mask = c.srcMask.get();
    to->roi = c.useDstRoi ? &c.dstRoi : nullptr;
    to->mask = c.dstMask.get();
    *status = qimResize(from, to, c.xDst, c.xSrc, c.yDst, c.ySrc, c.method);
    const_cast<QimImage*>(from)->mask = nullptr;
    to->roi = nullptr;
    to->mask = nullptr;
    if (srcTiles)
        srcTiles->header()->roi = nullptr;
    if (dstTiles)
        dstTiles->store(dst.get());
    return bytes(dst.get());
}

// A case that the plain level scales must give the same status and bytes at
// every vector level the processor has; label names the case in failures.
void expectEveryLevelGivesPlain(Case& c, const std::string& label)
{
    ownSetVectorLevel(OWN_VECTOR_AVX2);
    const int best = ownVectorLevel();
    int plainStatus = -1;
    const auto plain = scaleAt(OWN_VECTOR_NONE, c, &plainStatus);
    ASSERT_EQ(plainStatus, 0) << label;
    for (int level = OWN_VECTOR_SSE2; level <= best; ++level) {
        int status = -1;
        EXPECT_TRUE(scaleAt(level, c, &status) == plain) << "level " << level << " " << label;
        EXPECT_EQ(status, 0) << "level " << level << " " << label;
    }
}

void expectLevelsAgree(int depth, uint32_t seed, int rounds, Shape shape = Shape::Any)
{
    ownSetVectorLevel(OWN_VECTOR_AVX2);
    const int best = ownVectorLevel();
    Dice pick(seed);
    int compared = 0;
    for (int round = 0; round < rounds && !::testing::Test::HasFailure(); ++round) {
        auto c = randomCase(pick, depth, (uint32_t)round * 4 + seed, shape);
        int plainStatus = 0;
        const auto plain = scaleAt(OWN_VECTOR_NONE, *c, &plainStatus);
        for (int level = OWN_VECTOR_SSE2; level <= best; ++level) {
            int status = 0;
            const auto vector = scaleAt(level, *c, &status);
            EXPECT_EQ(status, plainStatus) << "round " << round << " " << c->text;
            EXPECT_TRUE(vector == plain) << "round " << round << " level " << level << " "
                                         << c->text;
        }
        compared += plainStatus == 0;
    }
    EXPECT_GT(compared, rounds * 9 / 10);
}

TEST_F(ZoomLevelsTest, SixteenBitsAtEveryLevel) { expectLevelsAgree(QIM_DEPTH_16U, 1601, 5000); }

TEST_F(ZoomLevelsTest, FloatsAtEveryLevel) { expectLevelsAgree(QIM_DEPTH_32F, 3201, 5000); }

TEST_F(ZoomLevelsTest, EightBitsAtEveryLevel) { expectLevelsAgree(QIM_DEPTH_8U, 801, 5000); }

// The 8-bit halving rows decide most results from an estimate and compute
// the rest as the plain kernel does: on values that often land on or near
// whole numbers, with narrow regions, edges, masks and tiles, every level
// gives the plain bytes.
TEST_F(ZoomLevelsTest, EightBitHalvingAtEveryLevel)
{
    expectLevelsAgree(QIM_DEPTH_8U, 8801, 6000, Shape::Halving);
}

// Likewise the 16-bit rows on values over the whole 16-bit range that land
// on or near whole numbers: halving and other shrinks, one channel and more.
TEST_F(ZoomLevelsTest, SixteenBitHalvingAtEveryLevel)
{
    expectLevelsAgree(QIM_DEPTH_16U, 16801, 6000, Shape::Halving);
}

// The 8-bit rows of whole 4-channel pixels more than a pixel apart read
// each column's two pixels straight: shrinks of all sorts of widths,
// regions, masks and tiles, on values that often land on or near whole
// numbers.
TEST_F(ZoomLevelsTest, SparseFourChannelShrinksAtEveryLevel)
{
    expectLevelsAgree(QIM_DEPTH_8U, 4401, 5000, Shape::SparseFourChannels);
}

// A source larger than the caches, whose rows ahead the sparse 4-channel
// rows fetch on the way, shrunk by four and by a little more at every level.
TEST_F(ZoomLevelsTest, SparseFourChannelsFromALargeSource)
{
    for (int den : {4, 5}) {
        Case c = shrinkCase(QIM_DEPTH_8U, 4, QIM_INTER_LINEAR, den);
        c.src = newRoiImage(4, QIM_DEPTH_8U, 1200, 1900);
        fill(c.src.get(), [](int x, int y, int ch) { return halvingValue(y % 6, x, y, ch, 5); });
        c.dst = newImage(4, QIM_DEPTH_8U, 1200 / den, 1900 / den);
        expectEveryLevelGivesPlain(c, "by 1/" + std::to_string(den));
    }
}

// The vertical cubic through rows of 2, 2, 5 and 1 at t = -0.6 (row 2 of a
// 4-row source grown to 16 rows: c = 0.4, base 1) is 1 - 2^-24 in float,
// whose store (+ 1e-7 in double, truncated) is 1, not 0, at every level.
TEST_F(ZoomLevelsTest, CubicJustBelowOneStoresOne)
{
    ownSetVectorLevel(OWN_VECTOR_AVX2);
    const int best = ownVectorLevel();
    const uint32_t rows[] = {2, 2, 5, 1};
    for (int depth : {QIM_DEPTH_8U, QIM_DEPTH_16U})
        for (int channels : {1, 3})
            for (int order : {QIM_ORDER_PIXEL, QIM_ORDER_PLANE}) {
                auto src = newImage(channels, depth, 40, 4, order);
                fill(src.get(), [&](int, int y, int) { return rows[y]; });
                auto dst = newImage(channels, depth, 40, 16, order);
                for (int level = OWN_VECTOR_NONE; level <= best; ++level) {
                    ownSetVectorLevel(level);
                    ASSERT_EQ(qimResize(src.get(), dst.get(), 1, 1, 16, 4, QIM_INTER_CUBIC), 0);
                    EXPECT_EQ(pixels(dst.get(), 0, 2, 40, 1),
                              std::vector<uint32_t>(40 * (size_t)channels, 1u))
                        << "level " << level << " depth " << depth << " channels " << channels
                        << " order " << order;
                }
            }
}

// Images whose interpolated values are often whole numbers or lie close to
// them (flat areas, two levels, ramps, a fine checker), where a vector pass
// that decides results in float must fall back to the double arithmetic:
// every level gives the plain bytes, growing and shrinking.
TEST_F(ZoomLevelsTest, ValuesOnAndNearWholeNumbers)
{
    using Pattern = uint32_t (*)(int, int, int);
    const Pattern patterns[] = {
        [](int, int, int) { return 0u; },
        [](int, int, int) { return 255u; },
        [](int x, int y, int c) { return (x / 5 + y / 3 + c) % 2 ? 200u : 17u; },
        [](int x, int, int c) { return (uint32_t)(x + 40 * c) % 256; },
        [](int, int y, int) { return (uint32_t)(3 * y) % 256; },
        [](int x, int y, int) { return (x + y) % 2 ? 255u : 0u; },
    };
    const int ratios[][2] = {{2, 1}, {4, 1}, {8, 1}, {1, 2}, {3, 5}, {3, 2}, {7, 3}, {1, 1}};
    for (int depth : {QIM_DEPTH_8U, QIM_DEPTH_16U, QIM_DEPTH_32F})
        for (const Pattern& pattern : patterns)
            for (const auto& r : ratios)
                for (int channels : {1, 3, 4})
                    for (int method : {QIM_INTER_LINEAR, QIM_INTER_CUBIC}) {
                        Case c;
                        c.depth = depth;
                        c.order = QIM_ORDER_PIXEL;
                        c.channels = channels;
                        c.alpha = 0;
                        c.method = method;
                        c.coi = 0;
                        c.xDst = c.yDst = r[0];
                        c.xSrc = c.ySrc = r[1];
                        const int sw = 37, sh = 13;
                        c.src = newRoiImage(channels, depth, sw, sh);
                        fill(c.src.get(), [&](int x, int y, int ch) {
                            const uint32_t v = pattern(x, y, ch);
                            if (depth != QIM_DEPTH_32F)
                                return v;
                            const float f = (float)v;
                            uint32_t bits;
                            std::memcpy(&bits, &f, 4);
                            return bits;
                        });
                        c.dst = newImage(channels, depth, sw * r[0] / r[1], sh * r[0] / r[1]);
                        scramble(c.dst.get(), 5);
                        std::ostringstream label;
                        label << "depth " << depth << " pattern " << &pattern - patterns
                              << " ratio " << r[0] << "/" << r[1] << " channels " << channels
                              << " method " << method;
                        expectEveryLevelGivesPlain(c, label.str());
                    }
}

// Halving rows whose last taps are the image's last bytes: the vector rows
// that read a block of columns at once stay within the image (a guard page
// follows its last row).
TEST_F(ZoomLevelsTest, HalvingReadsNothingPastTheImage)
{
    for (int depth : {QIM_DEPTH_8U, QIM_DEPTH_16U, QIM_DEPTH_32F})
        for (int channels : {1, 3, 4}) {
            Case c = shrinkCase(depth, channels, QIM_INTER_LINEAR, 2);
            c.src = newRoiImage(channels, depth, 64, 6);
            ASSERT_EQ(c.src->widthStep, 64 * channels * elementBytes(depth));
            randomize(c.src.get(), 64u + (uint32_t)channels);
            c.dst = newImage(channels, depth, 32, 3);
            expectEveryLevelGivesPlain(c, "depth " + std::to_string(depth) + " channels " +
                                              std::to_string(channels));
        }
}

// Rows wide enough that a call's tables outgrow its stack block and come
// from the heap (and go back to it: the leak check of the sanitizer build
// sees any that do not), at every level the plain bytes.
TEST_F(ZoomLevelsTest, WideHalvingTakesItsTablesFromTheHeap)
{
    for (int channels : {1, 3, 4})
        for (int method : {QIM_INTER_LINEAR, QIM_INTER_CUBIC}) {
            Case c = shrinkCase(QIM_DEPTH_8U, channels, method, 2);
            c.src = newRoiImage(channels, QIM_DEPTH_8U, 6000, 4);
            fill(c.src.get(), [](int x, int y, int ch) { return halvingValue(x % 3, x, y, ch, 9); });
            c.dst = newImage(channels, QIM_DEPTH_8U, 3000, 2);
            expectEveryLevelGivesPlain(c, "channels " + std::to_string(channels) + " method " +
                                              std::to_string(method));
        }
}

// FNV-1a over the status and the bytes of many cases at the plain level.
uint64_t plainChecksum(int depth, uint32_t seed, int rounds)
{
    Dice pick(seed);
    uint64_t hash = 14695981039346656037ull;
    auto add = [&hash](unsigned char b) { hash = (hash ^ b) * 1099511628211ull; };
    for (int round = 0; round < rounds; ++round) {
        auto c = randomCase(pick, depth, (uint32_t)round * 4 + seed);
        int status = 0;
        for (unsigned char b : scaleAt(OWN_VECTOR_NONE, *c, &status))
            add(b);
        add((unsigned char)status);
    }
    return hash;
}

// The checksums were taken from the plain kernels as they stood before the
// 16-bit and float vector paths came: those paths must not change them.
TEST_F(ZoomLevelsTest, PlainLevelKeepsItsBytes)
{
    EXPECT_EQ(plainChecksum(QIM_DEPTH_8U, 77, 2000), 13069456527402144604ull);
    EXPECT_EQ(plainChecksum(QIM_DEPTH_16U, 78, 2000), 16047385752675411397ull);
    EXPECT_EQ(plainChecksum(QIM_DEPTH_32F, 79, 2000), 12052168702826017138ull);
}

} // namespace
