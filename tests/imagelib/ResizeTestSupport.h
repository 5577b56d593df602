// Helpers for the resize, zoom and decimation tests: a handler that records
// every raise, region and mask setters, and comparisons of whole images.
#pragma once

#include "QimTestImages.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace qimtest {

struct Raise {
    int status;
    std::string function, context;
    int line;
};

// Installs a handler that records each raise and returns its status (the
// returning error mode's behaviour); the previous handler comes back after.
class RaiseLog {
public:
    RaiseLog()
    {
        previous_ = ownGetErrContext()->handler;
        current() = this;
        ownGetErrContext()->handler = &RaiseLog::record;
    }
    ~RaiseLog()
    {
        ownGetErrContext()->handler = previous_;
        current() = nullptr;
    }
    RaiseLog(const RaiseLog&) = delete;
    RaiseLog& operator=(const RaiseLog&) = delete;

    std::vector<Raise> raises;
    bool has(int status, const std::string& context) const
    {
        for (const Raise& r : raises)
            if (r.status == status && r.context == context)
                return true;
        return false;
    }
    std::vector<std::string> contexts() const
    {
        std::vector<std::string> out;
        for (const Raise& r : raises)
            out.push_back(r.context);
        return out;
    }

private:
    static RaiseLog*& current()
    {
        static thread_local RaiseLog* log = nullptr;
        return log;
    }
    static int record(int status, const char* function, const char* context, const char* file,
                      int line)
    {
        (void)file;
        current()->raises.push_back(
            {status, function ? function : "", context ? context : "", line});
        return status;
    }
    QimErrorHandler previous_;
};

// makeImage for every depth: the library does not allocate 32F data, so such
// images get a zeroed block here, released through allocatedData as usual.
inline ImagePtr newImage(int channels, int depth, int width, int height,
                         int order = QIM_ORDER_PIXEL, int align = 4, int alpha = 0)
{
    if (depth != QIM_DEPTH_32F)
        return makeImage(channels, depth, width, height, order, align, alpha);
    ImagePtr image(qimCreateImageHeader(channels, alpha, depth, "RGBA", "BGRA", order,
                                        QIM_ORIGIN_TOP_LEFT, align, width, height, nullptr,
                                        nullptr, nullptr, nullptr));
    void* block = std::calloc((size_t)image->dataSize + 32, 1);
    image->allocatedData = block;
    image->imageData = (void*)(((uintptr_t)block + 31) & ~(uintptr_t)31);
    return image;
}

// A header that owns its ROI record.
struct RoiImage {
    ImagePtr image;
    QimRoi roi{};
    void setRoi(int coi, int x, int y, int w, int h)
    {
        roi = {coi, x, y, w, h};
        image->roi = &roi;
    }
    QimImage* get() const { return image.get(); }
    QimImage* operator->() const { return image.get(); }
};

inline RoiImage newRoiImage(int channels, int depth, int width, int height,
                             int order = QIM_ORDER_PIXEL, int align = 4, int alpha = 0)
{
    return RoiImage{newImage(channels, depth, width, height, order, align, alpha)};
}

// Element (x, y, c) as float, for 32F images.
inline float getF(const QimImage* image, int x, int y, int c = 0)
{
    float v;
    std::memcpy(&v, at(image, x, y, c), 4);
    return v;
}

inline void putF(QimImage* image, int x, int y, int c, float v)
{
    std::memcpy(at(image, x, y, c), &v, 4);
}

// Fills every channel of every pixel with f(x, y, c).
template <typename F>
void fill(QimImage* image, F f)
{
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x)
            for (int c = 0; c < (image->depth == QIM_DEPTH_1U ? 1 : image->nChannels); ++c)
                put(image, x, y, c, (uint32_t)f(x, y, c));
}

// The pixels of a region as one vector (channel-interleaved), any order.
inline std::vector<uint32_t> pixels(const QimImage* image, int x0 = 0, int y0 = 0, int w = -1,
                                    int h = -1)
{
    if (w < 0)
        w = image->width - x0;
    if (h < 0)
        h = image->height - y0;
    std::vector<uint32_t> out;
    const int nch = image->depth == QIM_DEPTH_1U ? 1 : image->nChannels;
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x)
            for (int c = 0; c < nch; ++c)
                out.push_back(get(image, x, y, c));
    return out;
}

// Copies the pixels (not the padding) of a pixel-order image into a
// plane-order image of the same size and channels, or back.
inline void convertOrder(const QimImage* from, QimImage* to)
{
    for (int y = 0; y < from->height; ++y)
        for (int x = 0; x < from->width; ++x)
            for (int c = 0; c < from->nChannels; ++c)
                put(to, x, y, c, get(from, x, y, c));
}

// Random element values that suit the depth (floats in [0, 1000)).
inline void randomize(QimImage* image, uint32_t seed)
{
    fill(image, [&](int, int, int) -> uint32_t {
        seed = seed * 1664525u + 1013904223u;
        switch (image->depth) {
        case QIM_DEPTH_1U: return seed >> 31;
        case QIM_DEPTH_8U: return seed >> 24;
        case QIM_DEPTH_16U: return seed >> 16;
        default: {
            float f = (float)(seed >> 8) / (float)(1u << 24) * 1000.0f;
            uint32_t u;
            std::memcpy(&u, &f, 4);
            return u;
        }
        }
    });
}

struct TiledCase {
    int method, depth, channels, order;
    int sw, sh, dw, dh, xDst, xSrc, yDst, ySrc;
};

// Runs scale(source, destination) into a fresh destination, either side
// plain or tiled, and returns the destination's pixels; every tile got must
// have been released.
template <typename Scale>
std::vector<uint32_t> scaleVia(const TiledCase& t, const QimImage* src, bool tiledSrc,
                               bool tiledDst, int tileW, int tileH, Scale scale)
{
    auto dst = newImage(t.channels, t.depth, t.dw, t.dh, t.order);
    fill(dst.get(), [](int, int, int) { return 1; });
    std::unique_ptr<TiledImage> srcTiles, dstTiles;
    const QimImage* s = src;
    QimImage* d = dst.get();
    if (tiledSrc) {
        srcTiles = std::make_unique<TiledImage>(src, tileW, tileH);
        s = srcTiles->header();
    }
    if (tiledDst) {
        dstTiles = std::make_unique<TiledImage>(dst.get(), tileW, tileH);
        d = dstTiles->header();
    }
    scale(s, d);
    for (TiledImage* tiles : {srcTiles.get(), dstTiles.get()}) {
        if (!tiles)
            continue;
        EXPECT_EQ(tiles->held, 0);
        EXPECT_FALSE(tiles->releaseMismatch);
    }
    if (dstTiles)
        dstTiles->store(dst.get());
    return pixels(dst.get());
}

// The case's random source scaled through via (see scaleVia) with the
// source, the destination or both tiled gives what the plain images give.
template <typename Via>
void expectTilesChangeNothing(const TiledCase& t, Via via)
{
    auto src = newImage(t.channels, t.depth, t.sw, t.sh, t.order);
    randomize(src.get(), 79);
    const auto plain = via(t, src.get(), false, false, 8, 8);
    EXPECT_EQ(via(t, src.get(), true, false, 8, 16), plain) << t.method << " " << t.depth;
    EXPECT_EQ(via(t, src.get(), false, true, 8, 8), plain) << t.method << " " << t.depth;
    EXPECT_EQ(via(t, src.get(), true, true, 16, 8), plain) << t.method << " " << t.depth;
}

} // namespace qimtest
