// The seven entry points as the program reaches them, through libqlqim.so,
// and images for them: plain ones over zeroed blocks (32F included, which the
// library does not allocate) and tiled ones served from a plain image.
#pragma once

#include "qim.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace dispatcher {

struct Api {
    decltype(&qimCreateImageHeader) create = nullptr;
    decltype(&qimAllocateImage) allocate = nullptr;
    decltype(&qimDeallocate) deallocate = nullptr;
    decltype(&qimResize) resize = nullptr;
    decltype(&qimGetErrStatus) status = nullptr;
    decltype(&qimSetErrMode) setMode = nullptr;
    decltype(&qimErrorStr) text = nullptr;
};

// Loaded once and kept: the build's allocation record is global state.
inline const Api& api()
{
    static const Api loaded = [] {
        Api a;
        const std::string path = std::string(QLQIM_LIBRARY_DIR) + "/libqlqim.so";
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return a;
        a.create = reinterpret_cast<decltype(a.create)>(dlsym(handle, "qimCreateImageHeader"));
        a.allocate = reinterpret_cast<decltype(a.allocate)>(dlsym(handle, "qimAllocateImage"));
        a.deallocate = reinterpret_cast<decltype(a.deallocate)>(dlsym(handle, "qimDeallocate"));
        a.resize = reinterpret_cast<decltype(a.resize)>(dlsym(handle, "qimResize"));
        a.status = reinterpret_cast<decltype(a.status)>(dlsym(handle, "qimGetErrStatus"));
        a.setMode = reinterpret_cast<decltype(a.setMode)>(dlsym(handle, "qimSetErrMode"));
        a.text = reinterpret_cast<decltype(a.text)>(dlsym(handle, "qimErrorStr"));
        return a;
    }();
    return loaded;
}

// The status is sticky per thread and no entry point clears it, so every case
// runs on a fresh thread in the returning mode.
template <typename F>
void onFreshThread(F f)
{
    std::exception_ptr failure;
    std::thread([&] {
        try {
            api().setMode(QIM_ERRMODE_RETURN);
            f();
        } catch (...) {
            failure = std::current_exception();
        }
    }).join();
    if (failure)
        std::rethrow_exception(failure);
}

// The status a call leaves on a fresh thread.
template <typename F>
int statusAfter(F f)
{
    int status = 0;
    onFreshThread([&] {
        f();
        status = api().status();
    });
    return status;
}

// Runs round(0) .. round(count - 1), each on a thread whose status is 0 when
// the round starts: a thread serves rounds until one leaves a failure. Stops
// at the first round that fails the test.
template <typename Round>
void runRounds(int count, Round round)
{
    int next = 0;
    while (next < count && !::testing::Test::HasFailure())
        onFreshThread([&] {
            while (next < count && !::testing::Test::HasFailure()) {
                round(next++);
                if (api().status() != 0)
                    return;
            }
        });
}

inline int elementBytes(int depth) { return (depth & 0xFF) / 8; }

// A header with zeroed pixels of its own (freed with the header).
struct Image {
    QimImage* header = nullptr;
    void* block = nullptr;
    Image() = default;
    Image(int channels, int depth, int width, int height, int order = QIM_ORDER_PIXEL)
    {
        header = api().create(channels, 0, depth, "RGB", "RGB", order, QIM_ORIGIN_TOP_LEFT, 4,
                              width, height, nullptr, nullptr, nullptr, nullptr);
        if (!header)
            return;
        block = std::calloc((size_t)header->dataSize + 32, 1);
        header->imageData = (void*)(((uintptr_t)block + 31) & ~(uintptr_t)31);
    }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
    ~Image()
    {
        if (header) {
            header->roi = nullptr;
            header->mask = nullptr;
            api().deallocate(header, QIM_FREE_HEADER);
        }
        std::free(block);
    }
    QimImage* operator->() const { return header; }
    QimImage* get() const { return header; }

    unsigned char* row(int y, int plane = 0) const
    {
        return static_cast<unsigned char*>(header->imageData) +
               ((long long)plane * header->height + y) * header->widthStep;
    }
    // The bytes of pixel x (one channel's element in plane order).
    unsigned char* at(int x, int y, int plane = 0) const
    {
        const int eb = elementBytes(header->depth);
        const int perPixel = header->dataOrder == QIM_ORDER_PIXEL ? header->nChannels : 1;
        return row(y, plane) + (long long)x * perPixel * eb;
    }
    int bit(int x, int y) const { return (row(y)[x / 8] >> (7 - x % 8)) & 1; }
    void setBit(int x, int y, int v) const
    {
        unsigned char& b = row(y)[x / 8];
        const unsigned char m = (unsigned char)(0x80u >> (x % 8));
        b = (unsigned char)(v ? b | m : b & ~m);
    }
    std::vector<unsigned char> bytes() const
    {
        auto* p = static_cast<const unsigned char*>(header->imageData);
        return std::vector<unsigned char>(p, p + header->dataSize);
    }
    // Random bytes everywhere (floats kept finite and modest).
    void randomize(uint32_t seed) const
    {
        auto* p = static_cast<unsigned char*>(header->imageData);
        if (header->depth == QIM_DEPTH_32F) {
            for (int i = 0; i + 4 <= header->dataSize; i += 4) {
                seed = seed * 1664525u + 1013904223u;
                const float f = (float)(seed >> 8) * (1000.0f / 16777216.0f);
                std::memcpy(p + i, &f, 4);
            }
            return;
        }
        for (int i = 0; i < header->dataSize; ++i) {
            seed = seed * 1664525u + 1013904223u;
            p[i] = (unsigned char)(seed >> 24);
        }
    }
};

// A tiled header over the pixels of a plain image: each tile is copied out
// of it on a get and, after a write, back into it on the release. Tiles at
// the right and bottom edges reach past the image; those parts stay zero.
class Tiled {
public:
    Tiled(const Image& plain, int tileWidth, int tileHeight) : plain_(plain)
    {
        info_.callBack = &Tiled::callback;
        info_.tileId = this;
        info_.width = tileWidth;
        info_.height = tileHeight;
        const QimImage* p = plain.get();
        header_ = api().create(p->nChannels, p->alphaIndex, p->depth, "RGB", "RGB", p->dataOrder,
                               p->origin, p->rowAlign, p->width, p->height, nullptr, nullptr,
                               nullptr, &info_);
        const long long bits = (long long)tileWidth * (p->depth & 0xFF) *
                               (p->dataOrder == QIM_ORDER_PIXEL ? p->nChannels : 1);
        const long long a = p->rowAlign * 8LL;
        tileRowBytes_ = (int)((bits + a - 1) / a * a / 8);
        planes_ = p->dataOrder == QIM_ORDER_PLANE ? p->nChannels : 1;
    }
    Tiled(const Tiled&) = delete;
    Tiled& operator=(const Tiled&) = delete;
    ~Tiled()
    {
        header_->roi = nullptr;
        header_->mask = nullptr;
        api().deallocate(header_, QIM_FREE_HEADER);
    }
    QimImage* get() const { return header_; }
    int held = 0;
    bool wrongRelease = false;

private:
    struct Buffer {
        int column, row, mode;
        std::vector<unsigned char> bytes;
    };

    // Copies the tile's pixels between the plain image and buffer.
    void transfer(Buffer& t, bool out)
    {
        const QimImage* p = plain_.get();
        const int tw = info_.width, th = info_.height;
        const bool bits = p->depth == QIM_DEPTH_1U;
        const int pixelBytes = bits ? 0
                                    : elementBytes(p->depth) *
                                          (p->dataOrder == QIM_ORDER_PIXEL ? p->nChannels : 1);
        for (int plane = 0; plane < planes_; ++plane)
            for (int y = 0; y < th; ++y) {
                const int iy = t.row * th + y;
                if (iy >= p->height)
                    break;
                unsigned char* trow = t.bytes.data() + ((size_t)plane * th + y) * tileRowBytes_;
                for (int x = 0; x < tw; ++x) {
                    const int ix = t.column * tw + x;
                    if (ix >= p->width)
                        break;
                    if (bits) {
                        const unsigned char m = (unsigned char)(0x80u >> (x % 8));
                        if (out)
                            trow[x / 8] = (unsigned char)(plain_.bit(ix, iy) ? trow[x / 8] | m
                                                                             : trow[x / 8] & ~m);
                        else
                            plain_.setBit(ix, iy, (trow[x / 8] & m) != 0);
                        continue;
                    }
                    unsigned char* pp = plain_.at(ix, iy, plane);
                    unsigned char* tp = trow + (size_t)x * pixelBytes;
                    if (out)
                        std::memcpy(tp, pp, (size_t)pixelBytes);
                    else
                        std::memcpy(pp, tp, (size_t)pixelBytes);
                }
            }
    }

    static void callback(const QimImage* image, int column, int row, int mode)
    {
        auto* self = static_cast<Tiled*>(image->tileInfo->tileId);
        if (mode == QIM_TILE_RELEASE) {
            for (auto it = self->live_.begin(); it != self->live_.end(); ++it) {
                Buffer& t = **it;
                if (t.column != column || t.row != row)
                    continue;
                if (image->tileInfo->tileData != t.bytes.data())
                    self->wrongRelease = true;
                if (t.mode == QIM_TILE_WRITE)
                    self->transfer(t, false);
                self->live_.erase(it);
                --self->held;
                return;
            }
            self->wrongRelease = true;
            return;
        }
        auto t = std::make_unique<Buffer>();
        t->column = column;
        t->row = row;
        t->mode = mode;
        t->bytes.assign((size_t)self->tileRowBytes_ * self->info_.height * self->planes_, 0);
        self->transfer(*t, true);
        image->tileInfo->tileData = t->bytes.data();
        self->live_.push_back(std::move(t));
        ++self->held;
    }

    const Image& plain_;
    QimTileInfo info_{};
    QimImage* header_ = nullptr;
    int tileRowBytes_ = 0, planes_ = 1;
    std::vector<std::unique_ptr<Buffer>> live_;
};

} // namespace dispatcher
