// The five shared builds scale byte for byte alike: every method, depth and
// order is run through each build's own qimResize and the results compared.
#include "qim.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Build {
    void* handle = nullptr;
    QimImage* (*create)(int, int, int, const char*, const char*, int, int, int, int, int, QimRoi*,
                        QimImage*, void*, QimTileInfo*) = nullptr;
    void (*allocate)(QimImage*, int, int) = nullptr;
    void (*deallocate)(QimImage*, int) = nullptr;
    int (*resize)(const QimImage*, QimImage*, int, int, int, int, int) = nullptr;
    int (*status)() = nullptr;
    void (*setMode)(int) = nullptr;
};

Build load(const std::string& name)
{
    Build b;
    const std::string path = std::string(QLQIM_LIBRARY_DIR) + "/libqlqim" + name + ".so";
    b.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!b.handle)
        return b;
    b.create = reinterpret_cast<decltype(b.create)>(dlsym(b.handle, "qimCreateImageHeader"));
    b.allocate = reinterpret_cast<decltype(b.allocate)>(dlsym(b.handle, "qimAllocateImage"));
    b.deallocate = reinterpret_cast<decltype(b.deallocate)>(dlsym(b.handle, "qimDeallocate"));
    b.resize = reinterpret_cast<decltype(b.resize)>(dlsym(b.handle, "qimResize"));
    b.status = reinterpret_cast<decltype(b.status)>(dlsym(b.handle, "qimGetErrStatus"));
    b.setMode = reinterpret_cast<decltype(b.setMode)>(dlsym(b.handle, "qimSetErrMode"));
    return b;
}

struct Case {
    int depth, channels, order;
    int sw, sh, dw, dh;
    int xDst, xSrc, yDst, ySrc, method;
    int roiX, roiY, roiW, roiH; // source region, 0 x 0 for none
};

// An image of the build, its data filled from seed; 32F data comes from here.
QimImage* makeImage(const Build& b, const Case& c, int w, int h, uint32_t seed, void** own)
{
    QimImage* image = b.create(c.channels, 0, c.depth, "RGB", "RGB", c.order, 0, 8, w, h, nullptr,
                               nullptr, nullptr, nullptr);
    *own = nullptr;
    if (c.depth == QIM_DEPTH_32F) {
        *own = std::malloc((size_t)image->dataSize + 32);
        image->imageData = (void*)(((uintptr_t)*own + 31) & ~(uintptr_t)31);
    } else {
        b.allocate(image, 1, 0);
    }
    auto* data = static_cast<unsigned char*>(image->imageData);
    if (c.depth == QIM_DEPTH_32F) {
        for (int i = 0; i < image->dataSize / 4; ++i) {
            seed = seed * 1664525u + 1013904223u;
            float f = (float)(seed >> 8) * (1.0f / 65536.0f);
            std::memcpy(data + 4 * i, &f, 4);
        }
    } else {
        for (int i = 0; i < image->dataSize; ++i) {
            seed = seed * 1664525u + 1013904223u;
            data[i] = (unsigned char)(seed >> 24);
        }
    }
    return image;
}

void release(const Build& b, QimImage* image, void* own)
{
    b.deallocate(image, own ? QIM_FREE_HEADER : QIM_FREE_HEADER | QIM_FREE_DATA);
    std::free(own);
}

std::vector<unsigned char> run(const Build& b, const Case& c)
{
    b.setMode(QIM_ERRMODE_RETURN);
    void *srcOwn, *dstOwn;
    QimImage* src = makeImage(b, c, c.sw, c.sh, 12345, &srcOwn);
    QimImage* dst = makeImage(b, c, c.dw, c.dh, 777, &dstOwn);
    QimRoi roi = {0, c.roiX, c.roiY, c.roiW, c.roiH};
    if (c.roiW > 0)
        src->roi = &roi;
    const int result = b.resize(src, dst, c.xDst, c.xSrc, c.yDst, c.ySrc, c.method);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(b.status(), 0);
    src->roi = nullptr;
    const auto* data = static_cast<const unsigned char*>(dst->imageData);
    std::vector<unsigned char> out(data, data + dst->dataSize);
    release(b, src, srcOwn);
    release(b, dst, dstOwn);
    return out;
}

TEST(QlqimResizeBuilds, EveryBuildScalesByteForByteAlike)
{
    const char* names[] = {"PX", "W7", "A6", "P6", "M6"};
    std::vector<Build> builds;
    for (const char* name : names) {
        builds.push_back(load(name));
        ASSERT_TRUE(builds.back().resize) << name;
    }
    const int P = QIM_ORDER_PIXEL, L = QIM_ORDER_PLANE;
    const Case cases[] = {
        // The map's case: a crop of 8-bit RGB scaled linearly up and down.
        {QIM_DEPTH_8U, 3, P, 300, 200, 160, 90, 160, 117, 90, 66, QIM_INTER_LINEAR, 40, 30, 117,
         66},
        {QIM_DEPTH_8U, 3, P, 300, 200, 96, 54, 96, 230, 54, 129, QIM_INTER_LINEAR, 7, 11, 230, 129},
        {QIM_DEPTH_8U, 1, P, 97, 61, 150, 100, 150, 97, 100, 61, QIM_INTER_LINEAR, 0, 0, 0, 0},
        {QIM_DEPTH_8U, 4, P, 97, 61, 150, 100, 3, 2, 5, 3, QIM_INTER_CUBIC, 0, 0, 0, 0},
        {QIM_DEPTH_16U, 3, L, 97, 61, 60, 40, 3, 5, 2, 3, QIM_INTER_CUBIC, 0, 0, 0, 0},
        {QIM_DEPTH_32F, 2, P, 97, 61, 150, 100, 11, 7, 13, 8, QIM_INTER_CUBIC, 0, 0, 0, 0},
        {QIM_DEPTH_32F, 1, L, 97, 61, 150, 100, 11, 7, 13, 8, QIM_INTER_LINEAR, 0, 0, 0, 0},
        {QIM_DEPTH_8U, 3, P, 97, 61, 150, 100, 3, 2, 5, 3, QIM_INTER_NN, 0, 0, 0, 0},
        // The map's overview tiles: shrinking by eight and more.
        {QIM_DEPTH_8U, 3, P, 960, 540, 120, 68, 1, 8, 1, 8, QIM_INTER_LINEAR, 0, 0, 0, 0},
        {QIM_DEPTH_8U, 1, P, 960, 540, 60, 34, 1, 16, 1, 16, QIM_INTER_LINEAR, 0, 0, 0, 0},
        {QIM_DEPTH_8U, 3, P, 960, 540, 80, 45, 1, 12, 1, 12, QIM_INTER_NN, 0, 0, 0, 0},
        {QIM_DEPTH_8U, 3, P, 960, 540, 80, 45, 1, 12, 1, 12, QIM_INTER_CUBIC, 0, 0, 0, 0},
        {QIM_DEPTH_1U, 1, P, 97, 61, 150, 100, 3, 2, 5, 3, QIM_INTER_NN, 0, 0, 0, 0},
        {QIM_DEPTH_8U, 3, P, 256, 256, 64, 64, 1, 4, 1, 4, QIM_INTER_SUPER, 0, 0, 0, 0},
        {QIM_DEPTH_8U, 1, P, 257, 133, 100, 60, 3, 7, 4, 9, QIM_INTER_SUPER, 0, 0, 0, 0},
        {QIM_DEPTH_16U, 3, L, 257, 133, 100, 60, 3, 7, 4, 9, QIM_INTER_SUPER, 0, 0, 0, 0},
        {QIM_DEPTH_32F, 3, P, 257, 133, 100, 60, 3, 7, 4, 9, QIM_INTER_SUPER, 0, 0, 0, 0},
        {QIM_DEPTH_1U, 1, P, 257, 133, 100, 60, 3, 7, 4, 9, QIM_INTER_SUPER, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const auto reference = run(builds[0], c);
        for (size_t i = 1; i < builds.size(); ++i)
            EXPECT_TRUE(run(builds[i], c) == reference)
                << names[i] << " differs: depth " << c.depth << " method " << c.method;
    }
    // The builds stay loaded: their allocation registries are globals that
    // unloading would leave unreachable.
}

} // namespace
