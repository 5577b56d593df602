// qimResize on random geometry: regions that reach past the image or start
// outside it, channels of interest, alpha channels, masks, tiles, every depth,
// order and method. Whatever the outcome, nothing outside the destination
// region (row padding included), no unprocessed channel and no masked-off
// pixel changes, and the source stays as it was; the sanitizer build checks
// that no read or write leaves the images.
#include "ResizeTestSupport.h"

#include <random>

namespace {

using namespace qimtest;

class ResizeRandomTest : public QimTest {};

int elementBits(int depth) { return ownDepthBits(depth); }

bool bitOf(const unsigned char* row, long long x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

// True when the element (x, y, c) of the destination may change.
struct Writable {
    const QimImage* image;
    int x0, y0, x1, y1; // region, cut at the image
    int coi;            // 0 all channels
    bool skipAlpha;
    const QimImage* mask; // zoom write mask, read from its region start
    int mx, my;
    bool operator()(int x, int y, int c) const
    {
        if (x < x0 || x >= x1 || y < y0 || y >= y1)
            return false;
        if (coi && c != coi - 1)
            return false;
        if (!coi && skipAlpha && image->alphaIndex && c == image->nChannels - 1)
            return false;
        if (mask) {
            const int bx = mx + x - x0, by = my + y - y0;
            if (bx >= mask->width || by >= mask->height || !get(mask, bx, by))
                return false;
        }
        return true;
    }
};

TEST_F(ResizeRandomTest, NothingOutsideTheWrittenPlacesChanges)
{
    std::mt19937 rng(20240611);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const int depths[] = {QIM_DEPTH_1U, QIM_DEPTH_8U, QIM_DEPTH_16U, QIM_DEPTH_32F};
    for (int round = 0; round < 1500; ++round) {
        ownSetErrStatus(0);
        const int depth = depths[pick(0, 3)];
        const int order = depth == QIM_DEPTH_1U ? QIM_ORDER_PIXEL : pick(0, 1);
        const int channels = depth == QIM_DEPTH_1U ? 1 : pick(1, 4);
        const int alpha = channels > 1 && pick(0, 3) == 0 ? channels : 0;
        const int method = pick(0, 3);
        const bool decimating = method == QIM_INTER_SUPER;
        auto src = newRoiImage(channels, depth, pick(1, 40), pick(1, 40), order, 4, alpha);
        auto dst = newRoiImage(channels, depth, pick(1, 40), pick(1, 40), order, 4, alpha);
        scramble(src.get(), (uint32_t)round);
        scramble(dst.get(), (uint32_t)round * 7 + 1);
        const int coi = pick(0, 3) == 0 ? pick(1, channels) : 0;
        if (pick(0, 2) == 0)
            src.setRoi(coi, pick(0, src->width + 1), pick(0, src->height + 1), pick(1, 45),
                       pick(1, 45));
        if (pick(0, 2) == 0)
            dst.setRoi(coi ? pick(0, 1) * pick(1, channels) : 0, pick(0, dst->width + 1),
                       pick(0, dst->height + 1), pick(1, 45), pick(1, 45));
        ImagePtr srcMask, dstMask;
        QimRoi dstMaskRoi{};
        if (!decimating && pick(0, 4) == 0) {
            srcMask = newImage(1, QIM_DEPTH_1U, pick(1, 40), pick(1, 40));
            scramble(srcMask.get(), (uint32_t)round + 5);
            src->mask = srcMask.get();
        }
        if (!decimating && pick(0, 4) == 0) {
            dstMask = newImage(1, QIM_DEPTH_1U, pick(1, 40), pick(1, 40));
            scramble(dstMask.get(), (uint32_t)round + 9);
            if (pick(0, 1)) {
                dstMaskRoi = {0, pick(0, dstMask->width - 1), pick(0, dstMask->height - 1),
                              pick(1, 40), pick(1, 40)};
                dstMask->roi = &dstMaskRoi;
            }
            dst->mask = dstMask.get();
        }
        int xDst = pick(1, 12), xSrc = pick(1, 12), yDst = pick(1, 12), ySrc = pick(1, 12);
        if (decimating) {
            if (xDst > xSrc)
                std::swap(xDst, xSrc);
            if (yDst > ySrc)
                std::swap(yDst, ySrc);
        }
        const auto srcBefore = bytes(src.get());
        const auto dstBefore = bytes(dst.get());
        std::vector<unsigned char> maskBefore;
        if (dstMask)
            maskBefore = bytes(dstMask.get());

        // Optionally go through tiles; the plain images are the tiles' store.
        const bool tileSrc = !src->mask && pick(0, 4) == 0;
        const bool tileDst = !dst->mask && pick(0, 4) == 0;
        std::unique_ptr<TiledImage> srcTiles, dstTiles;
        QimRoi srcRoiCopy{}, dstRoiCopy{};
        auto tiled = [&](const QimImage* plain, std::unique_ptr<TiledImage>& tiles, QimRoi& roi) {
            tiles = std::make_unique<TiledImage>(plain, 8 * pick(1, 2), 8 * pick(1, 2));
            if (plain->roi) {
                roi = *plain->roi;
                tiles->header()->roi = &roi;
            }
            return tiles->header();
        };
        const QimImage* s = tileSrc ? tiled(src.get(), srcTiles, srcRoiCopy) : src.get();
        QimImage* d = tileDst ? tiled(dst.get(), dstTiles, dstRoiCopy) : dst.get();
        qimResize(s, d, xDst, xSrc, yDst, ySrc, method);
        if (srcTiles) {
            srcTiles->header()->roi = nullptr;
            EXPECT_EQ(srcTiles->held, 0);
        }
        if (dstTiles) {
            dstTiles->header()->roi = nullptr;
            EXPECT_EQ(dstTiles->held, 0);
            dstTiles->store(dst.get());
        }

        ASSERT_EQ(bytes(src.get()), srcBefore) << "round " << round;
        if (dstMask) {
            ASSERT_EQ(bytes(dstMask.get()), maskBefore) << "round " << round;
        }

        // The places that may change.
        const QimRoi* roi = dst->roi;
        Writable w{dst.get(), 0, 0, dst->width, dst->height, 0, !decimating, nullptr, 0, 0};
        if (roi) {
            w.x0 = roi->offsetX;
            w.y0 = roi->offsetY;
            w.x1 = std::min(dst->width, roi->offsetX + roi->width);
            w.y1 = std::min(dst->height, roi->offsetY + roi->height);
            w.coi = roi->coi;
        }
        if (dstMask && !src->mask) {
            w.mask = dstMask.get();
            w.mx = dstMask->roi ? dstMask->roi->offsetX : 0;
            w.my = dstMask->roi ? dstMask->roi->offsetY : 0;
        }
        const int bits = elementBits(depth);
        const int planes = order == QIM_ORDER_PLANE ? channels : 1;
        const int perPixel = order == QIM_ORDER_PLANE ? 1 : channels;
        const auto after = bytes(dst.get());
        for (int p = 0; p < planes; ++p)
            for (int y = 0; y < dst->height; ++y) {
                const long long rowStart = ((long long)p * dst->height + y) * dst->widthStep;
                const long long rowBits = (long long)dst->widthStep * 8;
                for (long long bit = 0; bit < rowBits; bit += bits) {
                    const long long element = bit / bits;
                    const long long x = element / perPixel;
                    const int c = order == QIM_ORDER_PLANE ? p : (int)(element % perPixel);
                    if (x < dst->width && w((int)x, y, c))
                        continue;
                    const unsigned char* before = dstBefore.data() + rowStart;
                    const unsigned char* now = after.data() + rowStart;
                    if (bits == 1) {
                        ASSERT_EQ(bitOf(now, bit), bitOf(before, bit))
                            << "round " << round << " at " << x << "," << y;
                    } else {
                        ASSERT_EQ(0, std::memcmp(now + bit / 8, before + bit / 8, (size_t)bits / 8))
                            << "round " << round << " at " << x << "," << y << " channel " << c;
                    }
                }
            }
        src->mask = nullptr;
        dst->mask = nullptr;
    }
}

} // namespace
