// Random cases through the dispatcher: cutting an image into tiles never
// changes what qimResize writes. The zoom is checked with source masks (and
// often destination masks, regions and channels of interest) on a tiled
// source, a tiled destination or both; super-sampling with a tiled source.
#include "DispatcherImages.h"

#include <algorithm>
#include <random>

namespace {

using namespace dispatcher;

struct Rng {
    std::mt19937 engine;
    explicit Rng(uint32_t seed) : engine(seed) {}
    int operator()(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(engine); }
};

const int depths[] = {QIM_DEPTH_1U, QIM_DEPTH_8U, QIM_DEPTH_16U, QIM_DEPTH_32F};

// A random ROI (sometimes reaching past the image) on header, kept in roi.
void randomRoi(Rng& pick, const Image& image, QimRoi& roi, int coi)
{
    roi = {coi, pick(0, image->width - 1), pick(0, image->height - 1), pick(1, image->width + 4),
           pick(1, image->height + 4)};
    image->roi = &roi;
}

struct Outcome {
    int status;
    std::vector<unsigned char> pixels;
    bool operator==(const Outcome& o) const { return status == o.status && pixels == o.pixels; }
};

// Runs qimResize from src into a copy of dstStart, either side through tiles
// of the given size; the headers' ROI and mask are carried over to the tiled
// headers. The call runs on this thread while its status is 0, else on a
// fresh one.
Outcome scale(const Image& src, const Image& dstStart, bool tileSrc, bool tileDst, int tileW,
              int tileH, int xDst, int xSrc, int yDst, int ySrc, int method)
{
    Image dst(dstStart->nChannels, dstStart->depth, dstStart->width, dstStart->height,
              dstStart->dataOrder);
    std::memcpy(dst->imageData, dstStart->imageData, (size_t)dst->dataSize);
    std::unique_ptr<Tiled> srcTiles, dstTiles;
    QimImage* s = src.get();
    QimImage* d = dst.get();
    if (tileSrc) {
        srcTiles = std::make_unique<Tiled>(src, tileW, tileH);
        s = srcTiles->get();
        s->roi = src->roi;
        s->mask = src->mask;
    }
    if (tileDst) {
        dstTiles = std::make_unique<Tiled>(dst, tileW, tileH);
        d = dstTiles->get();
        d->roi = dstStart->roi;
        d->mask = dstStart->mask;
    } else {
        d->roi = dstStart->roi;
        d->mask = dstStart->mask;
    }
    const auto call = [&] { api().resize(s, d, xDst, xSrc, yDst, ySrc, method); };
    int status;
    if (api().status() == 0) {
        call();
        status = api().status();
    } else {
        status = statusAfter(call);
    }
    for (Tiled* t : {srcTiles.get(), dstTiles.get()})
        if (t) {
            EXPECT_EQ(t->held, 0);
            EXPECT_FALSE(t->wrongRelease);
        }
    return {status, dst.bytes()};
}

TEST(TiledRandom, ZoomWithMasksIsTheSameThroughTiles)
{
    ASSERT_TRUE(api().resize);
    Rng pick(20250114);
    int compared = 0, masked = 0;
    runRounds(5200, [&](int round) {
        const int depth = depths[pick(0, 3)];
        const int order = depth == QIM_DEPTH_1U ? QIM_ORDER_PIXEL : pick(0, 1);
        const int channels = depth == QIM_DEPTH_1U ? 1 : pick(1, 4);
        const int method = pick(0, 2);
        Image src(channels, depth, pick(1, 40), pick(1, 40), order);
        Image dst(channels, depth, pick(1, 40), pick(1, 40), order);
        src.randomize(round * 2 + 1);
        dst.randomize(round * 2 + 2);
        QimRoi srcRoi, dstRoi, maskRoi;
        const int coi = channels > 1 && pick(0, 3) == 0 ? pick(1, channels) : 0;
        if (pick(0, 1))
            randomRoi(pick, src, srcRoi, coi);
        if (pick(0, 1))
            randomRoi(pick, dst, dstRoi, coi ? pick(0, 1) * pick(1, channels) : 0);
        // Most cases carry a source mask, some a destination mask too.
        Image srcMask(1, QIM_DEPTH_1U, pick(1, 44), pick(1, 44));
        Image dstMask(1, QIM_DEPTH_1U, pick(1, 44), pick(1, 44));
        srcMask.randomize(round * 3 + 7);
        dstMask.randomize(round * 3 + 8);
        if (pick(0, 9) != 0) {
            src->mask = srcMask.get();
            ++masked;
            if (pick(0, 2) == 0)
                randomRoi(pick, srcMask, maskRoi, 0);
        }
        if (pick(0, 2) == 0)
            dst->mask = dstMask.get();
        const int xDst = pick(1, 9), xSrc = pick(1, 9), yDst = pick(1, 9), ySrc = pick(1, 9);

        const Outcome plain = scale(src, dst, false, false, 8, 8, xDst, xSrc, yDst, ySrc, method);
        const int tileW = 8 * pick(1, 3), tileH = 8 * pick(1, 3);
        const int sides = pick(1, 3); // 1 source, 2 destination, 3 both
        const Outcome tiled = scale(src, dst, sides & 1, sides & 2, tileW, tileH, xDst, xSrc, yDst,
                                    ySrc, method);
        EXPECT_EQ(tiled.status, plain.status) << "round " << round;
        EXPECT_TRUE(tiled == plain)
            << "round " << round << " method " << method << " depth " << depth << " sides "
            << sides << " ratio " << xDst << "/" << xSrc << " " << yDst << "/" << ySrc;
        compared += plain.status == 0;
        src->mask = nullptr;
        dst->mask = nullptr;
    });
    EXPECT_GT(compared, 3000);
    EXPECT_GT(masked, 4000);
}

// Shrinking by four to twenty, where the vector rows read the columns one by
// one: the tiles' rectangles end where their rows end, and a destination tile
// runs a few columns of the call's tables.
TEST(TiledRandom, LargeShrinksAreTheSameThroughTiles)
{
    ASSERT_TRUE(api().resize);
    Rng pick(4096512);
    int compared = 0;
    runRounds(300, [&](int round) {
        const int depth = pick(0, 3) ? QIM_DEPTH_8U : QIM_DEPTH_16U;
        const int order = pick(0, 4) ? QIM_ORDER_PIXEL : QIM_ORDER_PLANE;
        const int channels = pick(1, 4);
        const int method = pick(0, 2);
        const int xDst = pick(1, 3), xSrc = xDst * pick(4, 20) + pick(0, xDst - 1);
        const int yDst = pick(1, 3), ySrc = yDst * pick(1, 12) + pick(0, yDst - 1);
        const int dw = pick(8, 48), dh = pick(2, 10);
        Image src(channels, depth, dw * xSrc / xDst + pick(0, 9), dh * ySrc / yDst + pick(0, 3),
                  order);
        Image dst(channels, depth, dw, dh, order);
        src.randomize(round * 2 + 1);
        dst.randomize(round * 2 + 2);
        QimRoi srcRoi, dstRoi;
        const int coi = channels > 1 && pick(0, 3) == 0 ? pick(1, channels) : 0;
        if (coi || pick(0, 2) == 0)
            randomRoi(pick, src, srcRoi, coi);
        if (coi)
            randomRoi(pick, dst, dstRoi, pick(1, channels));
        const Outcome plain = scale(src, dst, false, false, 8, 8, xDst, xSrc, yDst, ySrc, method);
        const int tileW = 8 * pick(1, 3), tileH = 8 * pick(1, 3);
        const int sides = pick(1, 3); // 1 source, 2 destination, 3 both
        const Outcome tiled = scale(src, dst, sides & 1, sides & 2, tileW, tileH, xDst, xSrc, yDst,
                                    ySrc, method);
        EXPECT_TRUE(tiled == plain)
            << "round " << round << " method " << method << " depth " << depth << " channels "
            << channels << " sides " << sides << " ratio " << xDst << "/" << xSrc << " " << yDst
            << "/" << ySrc;
        compared += plain.status == 0;
    });
    EXPECT_GT(compared, 200);
}

TEST(TiledRandom, SuperSamplingIsTheSameFromATiledSource)
{
    ASSERT_TRUE(api().resize);
    Rng pick(914);
    runRounds(1500, [&](int round) {
        const int depth = depths[pick(0, 3)];
        const int order = depth == QIM_DEPTH_1U ? QIM_ORDER_PIXEL : pick(0, 1);
        const int channels = depth == QIM_DEPTH_1U ? 1 : pick(1, 4);
        Image src(channels, depth, pick(1, 60), pick(1, 60), order);
        Image dst(channels, depth, pick(1, 40), pick(1, 40), order);
        src.randomize(round + 3);
        dst.randomize(round + 4);
        QimRoi srcRoi, dstRoi;
        if (pick(0, 1))
            randomRoi(pick, src, srcRoi, channels > 1 && pick(0, 3) == 0 ? pick(1, channels) : 0);
        if (pick(0, 1))
            randomRoi(pick, dst, dstRoi, 0);
        int xDst = pick(1, 9), xSrc = pick(1, 9), yDst = pick(1, 9), ySrc = pick(1, 9);
        if (xDst > xSrc)
            std::swap(xDst, xSrc);
        if (yDst > ySrc)
            std::swap(yDst, ySrc);
        const Outcome plain =
            scale(src, dst, false, false, 8, 8, xDst, xSrc, yDst, ySrc, QIM_INTER_SUPER);
        // Tiles narrower than one destination pixel's area make it nearest
        // neighbour by design; keep them wider here.
        int tileW = 8 * pick(1, 3), tileH = 8 * pick(1, 3);
        if ((xSrc + xDst - 1) / xDst > tileW)
            tileW = 16;
        if ((ySrc + yDst - 1) / yDst > tileH)
            tileH = 16;
        const Outcome tiled =
            scale(src, dst, true, false, tileW, tileH, xDst, xSrc, yDst, ySrc, QIM_INTER_SUPER);
        EXPECT_TRUE(tiled == plain) << "round " << round << " depth " << depth << " ratio " << xDst
                                    << "/" << xSrc << " " << yDst << "/" << ySrc;
    });
}

} // namespace
