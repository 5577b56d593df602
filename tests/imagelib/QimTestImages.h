// Helpers for the image library tests: owned images, pixel access at any
// depth, and a tiled image served from memory that logs every tile call.
#pragma once

#include "qimown.h"

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace qimtest {

// Every case starts with a clean status in the returning error mode.
class QimTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qimSetErrMode(QIM_ERRMODE_RETURN);
        ownSetErrStatus(QIM_STATUS_OK);
    }
};

struct ImageDeleter {
    void operator()(QimImage* image) const { qimDeallocate(image, QIM_FREE_HEADER | QIM_FREE_DATA); }
};
using ImagePtr = std::unique_ptr<QimImage, ImageDeleter>;

inline ImagePtr makeImage(int channels, int depth, int width, int height,
                          int order = QIM_ORDER_PIXEL, int align = 4, int alpha = 0)
{
    ImagePtr image(qimCreateImageHeader(channels, alpha, depth, "RGBA", "BGRA", order,
                                        QIM_ORIGIN_TOP_LEFT, align, width, height, nullptr,
                                        nullptr, nullptr, nullptr));
    if (image)
        qimAllocateImage(image.get(), 1, 0);
    return image;
}

inline int elementBytes(int depth) { return ownDepthBits(depth) / 8; }

// Byte address of element (x, y) of channel c, for untiled images of 8 bits and more.
inline unsigned char* at(const QimImage* image, int x, int y, int c = 0)
{
    auto* data = static_cast<unsigned char*>(image->imageData);
    long long eb = elementBytes(image->depth);
    if (image->dataOrder == QIM_ORDER_PIXEL)
        return data + (long long)y * image->widthStep + ((long long)x * image->nChannels + c) * eb;
    return data + ((long long)c * image->height + y) * image->widthStep + (long long)x * eb;
}

inline int bit(const QimImage* image, int x, int y)
{
    auto* row = static_cast<const unsigned char*>(image->imageData) + (long long)y * image->widthStep;
    return (row[x / 8] >> (7 - x % 8)) & 1;
}

inline void setBit(QimImage* image, int x, int y, int value)
{
    auto* row = static_cast<unsigned char*>(image->imageData) + (long long)y * image->widthStep;
    unsigned char m = (unsigned char)(0x80u >> (x % 8));
    row[x / 8] = (unsigned char)(value ? row[x / 8] | m : row[x / 8] & ~m);
}

// Element value as an unsigned number (bits for 1U).
inline uint32_t get(const QimImage* image, int x, int y, int c = 0)
{
    if (image->depth == QIM_DEPTH_1U)
        return (uint32_t)bit(image, x, y);
    const unsigned char* p = at(image, x, y, c);
    switch (elementBytes(image->depth)) {
    case 1: return *p;
    case 2: { uint16_t v; std::memcpy(&v, p, 2); return v; }
    default: { uint32_t v; std::memcpy(&v, p, 4); return v; }
    }
}

inline void put(QimImage* image, int x, int y, int c, uint32_t value)
{
    if (image->depth == QIM_DEPTH_1U) {
        setBit(image, x, y, (int)(value & 1));
        return;
    }
    unsigned char* p = at(image, x, y, c);
    switch (elementBytes(image->depth)) {
    case 1: *p = (unsigned char)value; break;
    case 2: { uint16_t v = (uint16_t)value; std::memcpy(p, &v, 2); break; }
    default: std::memcpy(p, &value, 4); break;
    }
}

// Deterministic noise over every byte of the data, row padding included.
inline void scramble(QimImage* image, uint32_t seed)
{
    auto* data = static_cast<unsigned char*>(image->imageData);
    for (int i = 0; i < image->dataSize; ++i) {
        seed = seed * 1664525u + 1013904223u;
        data[i] = (unsigned char)(seed >> 24);
    }
}

inline std::vector<unsigned char> bytes(const QimImage* image)
{
    auto* data = static_cast<const unsigned char*>(image->imageData);
    return std::vector<unsigned char>(data, data + image->dataSize);
}

struct TileEvent {
    int column, row, mode;
    void* data;
    bool operator==(const TileEvent& o) const
    {
        return column == o.column && row == o.row && mode == o.mode && data == o.data;
    }
};

// A tiled header whose tiles live in memory and are filled from (and can be
// assembled back into) a plain image of the same format.
class TiledImage {
public:
    TiledImage(const QimImage* plain, int tileWidth, int tileHeight)
        : width_(plain->width), height_(plain->height)
    {
        info_.callBack = &TiledImage::callback;
        info_.tileId = this;
        info_.tileData = nullptr;
        info_.width = tileWidth;
        info_.height = tileHeight;
        header_.reset(qimCreateImageHeader(plain->nChannels, plain->alphaIndex, plain->depth, "RGB",
                                           "RGB", plain->dataOrder, plain->origin, plain->rowAlign,
                                           plain->width, plain->height, nullptr, nullptr, nullptr,
                                           &info_));
        header_->tileInfo = &info_;
        rowBytes_ = ownTileWidthStep(plain->dataOrder, plain->depth, plain->rowAlign,
                                     plain->nChannels, tileWidth);
        planes_ = plain->dataOrder == QIM_ORDER_PLANE ? plain->nChannels : 1;
        for (int r = 0; r * tileHeight < height_; ++r)
            for (int c = 0; c * tileWidth < width_; ++c)
                tiles_[{c, r}].assign((size_t)rowBytes_ * tileHeight * planes_, 0);
        load(plain);
    }
    ~TiledImage() { header_.reset(); }

    QimImage* header() { return header_.get(); }
    std::vector<TileEvent> events;
    std::set<std::pair<int, int>> missing; // tiles that are not delivered
    int held = 0;
    bool releaseMismatch = false;

    void* tile(int c, int r) { return tiles_.at({c, r}).data(); }

    void load(const QimImage* plain) { transfer(const_cast<QimImage*>(plain), true); }
    void store(QimImage* plain) { transfer(plain, false); }

private:
    struct HeaderOnly {
        void operator()(QimImage* image) const { qimDeallocate(image, QIM_FREE_HEADER); }
    };

    static void callback(const QimImage* image, int c, int r, int mode)
    {
        auto* self = static_cast<TiledImage*>(image->tileInfo->tileId);
        if (mode == QIM_TILE_RELEASE) {
            if (image->tileInfo->tileData != self->tile(c, r))
                self->releaseMismatch = true;
            --self->held;
        } else if (self->missing.count({c, r})) {
            image->tileInfo->tileData = nullptr;
        } else {
            image->tileInfo->tileData = self->tile(c, r);
            ++self->held;
        }
        self->events.push_back({c, r, mode, image->tileInfo->tileData});
    }

    void transfer(QimImage* plain, bool toTiles)
    {
        int tw = info_.width, th = info_.height;
        int eb = elementBytes(plain->depth);
        int pixelBytes = plain->dataOrder == QIM_ORDER_PIXEL ? eb * plain->nChannels : eb;
        for (int p = 0; p < planes_; ++p)
            for (int y = 0; y < height_; ++y)
                for (int x = 0; x < width_; ++x) {
                    auto& t = tiles_.at({x / tw, y / th});
                    unsigned char* trow =
                        t.data() + ((size_t)p * th + y % th) * rowBytes_;
                    if (plain->depth == QIM_DEPTH_1U) {
                        int tx = x % tw;
                        unsigned char m = (unsigned char)(0x80u >> (tx % 8));
                        if (toTiles)
                            trow[tx / 8] = (unsigned char)(bit(plain, x, y) ? trow[tx / 8] | m
                                                                             : trow[tx / 8] & ~m);
                        else
                            setBit(plain, x, y, (trow[tx / 8] & m) != 0);
                        continue;
                    }
                    unsigned char* prow = at(plain, x, y, p);
                    unsigned char* tp = trow + (size_t)(x % tw) * pixelBytes;
                    if (toTiles)
                        std::memcpy(tp, prow, (size_t)pixelBytes);
                    else
                        std::memcpy(prow, tp, (size_t)pixelBytes);
                }
    }

    int width_, height_;
    QimTileInfo info_{};
    std::unique_ptr<QimImage, HeaderOnly> header_;
    int rowBytes_ = 0, planes_ = 1;
    std::map<std::pair<int, int>, std::vector<unsigned char>> tiles_;
};

} // namespace qimtest
