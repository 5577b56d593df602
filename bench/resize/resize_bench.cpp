// qimResize against cv::resize (one thread) on the same images, for nearest,
// linear, cubic and super-sampling (OpenCV's INTER_AREA):
// - the map's cases, 8-bit with 3 channels and 1: a crop scaled to a
//   960 x 540 tile, up and down, and large shrinks of 4096 x 4096 and
//   3840 x 2160 images;
// - a sweep over 8U (1, 3 and 4 channels), 16U and 32F (1 and 3 channels)
//   by the factors 1/16, 1/8, 1/4, 1/2, 3/5, 3/2, 2, 4 and 8, on a small and
//   a 4k image: the larger of the two sides is 720 x 480 or 3840 x 2160 (the
//   source of a shrink, the destination of a growth), so every factor is
//   exact.
// Prints the best time per call of each case and the ratio ours / OpenCV,
// then the ratios' minimum, median and maximum per depth and method and over
// all cases. Arguments, if any, keep only the rows whose text holds every
// one of them; an argument may list alternatives separated by commas
// ("16u,32f linear 4k", "by1/2", "map"). The library is the one the program
// loads: libqlqim.so.
#include "qim.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

// Best time per call in milliseconds of two calls: batches lasting about
// 30 ms each, alternating between the two so that both meet the same load
// on a shared machine; the fastest batch of each counts.
std::pair<double, double> bestMs(const std::function<void()>& a, const std::function<void()>& b)
{
    using clock = std::chrono::steady_clock;
    auto timeOf = [](const std::function<void()>& call, int reps) {
        auto start = clock::now();
        for (int i = 0; i < reps; ++i)
            call();
        return std::chrono::duration<double, std::milli>(clock::now() - start).count() / reps;
    };
    a();
    b();
    const int repsA = std::max(1, (int)(30.0 / std::max(timeOf(a, 1), 1e-3)));
    const int repsB = std::max(1, (int)(30.0 / std::max(timeOf(b, 1), 1e-3)));
    double bestA = 1e30, bestB = 1e30;
    for (int batch = 0; batch < 9; ++batch) {
        bestA = std::min(bestA, timeOf(a, repsA));
        bestB = std::min(bestB, timeOf(b, repsB));
    }
    return {bestA, bestB};
}

struct Depth {
    const char* name;
    int qim, cv;
    int bytes;
};

const Depth depth8u{"8u", QIM_DEPTH_8U, CV_8U, 1};
const Depth depth16u{"16u", QIM_DEPTH_16U, CV_16U, 2};
const Depth depth32f{"32f", QIM_DEPTH_32F, CV_32F, 4};

// Pixels that both libraries read and write: rows padded to 32 bytes, which
// suits every row alignment of the library.
class Image {
public:
    Image(const Depth& depth, int width, int height, int channels)
    {
        const size_t row = (size_t)width * channels * depth.bytes;
        step_ = (row + 31) / 32 * 32;
        block_ = std::malloc(step_ * height + 32);
        auto* data = (uint8_t*)(((uintptr_t)block_ + 31) & ~(uintptr_t)31);
        mat_ = cv::Mat(height, width, CV_MAKETYPE(depth.cv, channels), data, step_);
        header_ = qimCreateImageHeader(channels, 0, depth.qim, "RGB", "BGR", QIM_ORDER_PIXEL,
                                       QIM_ORIGIN_TOP_LEFT, 32, width, height, nullptr, nullptr,
                                       nullptr, nullptr);
        header_->imageData = data;
        header_->widthStep = (int)step_;
        header_->dataSize = (int)(step_ * height);
    }
    ~Image()
    {
        header_->roi = nullptr;
        qimDeallocate(header_, QIM_FREE_HEADER);
        std::free(block_);
    }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    cv::Mat& mat() { return mat_; }
    QimImage* header() { return header_; }

    // A map-like image: smooth gradients with sharp edges and some noise,
    // 8-bit values scaled to the depth (x 257 for 16U, / 255 for 32F).
    void fillMapLike()
    {
        uint32_t seed = 12345;
        const int channels = mat_.channels();
        for (int y = 0; y < mat_.rows; ++y) {
            uint8_t* row = mat_.ptr<uint8_t>(y);
            for (int x = 0; x < mat_.cols; ++x)
                for (int c = 0; c < channels; ++c) {
                    seed = seed * 1664525u + 1013904223u;
                    const int v = std::min(255, ((x / 37 + y / 23) % 2 ? 180 : 60) +
                                                    (x * (c + 1) + y * 2) % 50 + (int)(seed >> 29));
                    const size_t e = (size_t)x * channels + c;
                    switch (mat_.depth()) {
                    case CV_8U: row[e] = (uint8_t)v; break;
                    case CV_16U: ((uint16_t*)row)[e] = (uint16_t)(v * 257); break;
                    default: ((float*)row)[e] = (float)v / 255.0f; break;
                    }
                }
        }
    }

private:
    size_t step_ = 0;
    void* block_ = nullptr;
    cv::Mat mat_;
    QimImage* header_ = nullptr;
};

struct Method {
    const char* name;
    int qim, cv;
};

const Method methods[] = {
    {"nearest", QIM_INTER_NN, cv::INTER_NEAREST},
    {"linear", QIM_INTER_LINEAR, cv::INTER_LINEAR},
    {"cubic", QIM_INTER_CUBIC, cv::INTER_CUBIC},
    {"super", QIM_INTER_SUPER, cv::INTER_AREA},
};

// Every argument must match the label; within one, any of its
// comma-separated alternatives.
bool wanted(const std::string& label, int argc, char** argv)
{
    for (int a = 1; a < argc; ++a) {
        bool any = false;
        std::string alternatives = argv[a];
        size_t from = 0;
        while (!any && from <= alternatives.size()) {
            size_t to = alternatives.find(',', from);
            if (to == std::string::npos)
                to = alternatives.size();
            const std::string word = alternatives.substr(from, to - from);
            any = !word.empty() && label.find(word) != std::string::npos;
            from = to + 1;
        }
        if (!any)
            return false;
    }
    return true;
}

// The ratios measured so far, by "depth method" group.
std::map<std::string, std::vector<double>> ratios;
std::vector<std::string> groupOrder;

void record(const std::string& group, double ratio)
{
    if (!ratios.count(group))
        groupOrder.push_back(group);
    ratios[group].push_back(ratio);
}

std::string labelOf(const std::string& caseName, const Depth& depth, int channels,
                    const Method& m)
{
    return std::string(depth.name) + " " + std::to_string(channels) + "ch " + m.name + " " +
           caseName;
}

bool anyWanted(const std::string& caseName, const Depth& depth, int channels, int argc,
               char** argv)
{
    for (const Method& m : methods)
        if (wanted(labelOf(caseName, depth, channels, m), argc, argv))
            return true;
    return false;
}

// One source region scaled to dstW x dstH by every wanted method; returns
// false when the library failed.
bool measure(const std::string& caseName, const Depth& depth, int channels, Image& src,
             const cv::Rect& crop, int dstW, int dstH, int argc, char** argv)
{
    Image dst(depth, dstW, dstH, channels);
    cv::Mat region = src.mat()(crop);
    cv::Mat theirs;
    QimRoi roi = {0, crop.x, crop.y, crop.width, crop.height};
    src.header()->roi = &roi;
    for (const Method& m : methods) {
        if (!wanted(labelOf(caseName, depth, channels, m), argc, argv))
            continue;
        if (m.qim == QIM_INTER_SUPER && (dstW > crop.width || dstH > crop.height)) {
            std::printf("%-38s %-4s %3d %-8s %10s %10s %8s\n", caseName.c_str(), depth.name,
                        channels, m.name, "-", "-", "n/a");
            continue;
        }
        const auto [q, c] = bestMs(
            [&] {
                qimResize(src.header(), dst.header(), dstW, crop.width, dstH, crop.height, m.qim);
            },
            [&] { cv::resize(region, theirs, cv::Size(dstW, dstH), 0, 0, m.cv); });
        if (qimGetErrStatus() != 0) {
            std::printf("qimResize failed: %s\n", qimErrorStr(qimGetErrStatus()));
            src.header()->roi = nullptr;
            return false;
        }
        std::printf("%-38s %-4s %3d %-8s %10.3f %10.3f %8.2f\n", caseName.c_str(), depth.name,
                    channels, m.name, q, c, q / c);
        std::fflush(stdout);
        record(std::string(depth.name) + " " + m.name, q / c);
    }
    src.header()->roi = nullptr;
    return true;
}

struct Geometry {
    const char* name;
    int srcW, srcH; // whole source image
    int cropX, cropY, cropW, cropH;
    int dstW, dstH;
};

struct Factor {
    const char* name;
    int num, den;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void printSummary(const char* name, const std::vector<double>& v)
{
    std::printf("%-12s %5zu %8.2f %8.2f %8.2f\n", name, v.size(),
                *std::min_element(v.begin(), v.end()), median(v),
                *std::max_element(v.begin(), v.end()));
}

} // namespace

int main(int argc, char** argv)
{
    cv::setNumThreads(1);
    qimSetErrMode(QIM_ERRMODE_RETURN);
    std::printf("%-38s %-4s %3s %-8s %10s %10s %8s\n", "case", "dep", "ch", "method", "qim ms",
                "opencv ms", "ratio");

    const Geometry geometries[] = {
        {"map up 640x360->960x540", 2048, 2048, 301, 517, 640, 360, 960, 540},
        {"map down 1600x900->960x540", 2048, 2048, 211, 333, 1600, 900, 960, 540},
        {"shrink 4096x4096->1024x1024", 4096, 4096, 0, 0, 4096, 4096, 1024, 1024},
        {"shrink 3840x2160->480x270", 3840, 2160, 0, 0, 3840, 2160, 480, 270},
        {"shrink 4096x4096->512x512", 4096, 4096, 0, 0, 4096, 4096, 512, 512},
        {"shrink 3840x2160->240x135", 3840, 2160, 0, 0, 3840, 2160, 240, 135},
    };
    for (int channels : {3, 1})
        for (const Geometry& g : geometries) {
            if (!anyWanted(g.name, depth8u, channels, argc, argv))
                continue;
            Image src(depth8u, g.srcW, g.srcH, channels);
            src.fillMapLike();
            if (!measure(g.name, depth8u, channels, src,
                         cv::Rect(g.cropX, g.cropY, g.cropW, g.cropH), g.dstW, g.dstH, argc, argv))
                return 1;
        }

    const Factor factors[] = {{"by1/16", 1, 16}, {"by1/8", 1, 8}, {"by1/4", 1, 4},
                              {"by1/2", 1, 2},   {"by3/5", 3, 5}, {"by3/2", 3, 2},
                              {"by2", 2, 1},     {"by4", 4, 1},   {"by8", 8, 1}};
    struct Size {
        const char* name;
        int w, h;
    };
    const Size sizes[] = {{"small", 720, 480}, {"4k", 3840, 2160}};
    struct Kind {
        const Depth* depth;
        std::vector<int> channels;
    };
    const Kind kinds[] = {{&depth8u, {1, 3, 4}}, {&depth16u, {1, 3}}, {&depth32f, {1, 3}}};
    for (const Kind& kind : kinds)
        for (int channels : kind.channels)
            for (const Size& size : sizes)
                for (const Factor& f : factors) {
                    const bool grow = f.num > f.den;
                    const int srcW = grow ? size.w * f.den / f.num : size.w;
                    const int srcH = grow ? size.h * f.den / f.num : size.h;
                    const int dstW = grow ? size.w : size.w * f.num / f.den;
                    const int dstH = grow ? size.h : size.h * f.num / f.den;
                    char name[64];
                    std::snprintf(name, sizeof name, "%s %s %dx%d->%dx%d", f.name, size.name,
                                  srcW, srcH, dstW, dstH);
                    if (!anyWanted(name, *kind.depth, channels, argc, argv))
                        continue;
                    Image src(*kind.depth, srcW, srcH, channels);
                    src.fillMapLike();
                    if (!measure(name, *kind.depth, channels, src, cv::Rect(0, 0, srcW, srcH),
                                 dstW, dstH, argc, argv))
                        return 1;
                }

    if (ratios.empty())
        return 0;
    std::printf("\nratio ours / OpenCV\n%-12s %5s %8s %8s %8s\n", "group", "cases", "min",
                "median", "max");
    std::vector<double> all;
    for (const std::string& group : groupOrder) {
        printSummary(group.c_str(), ratios[group]);
        all.insert(all.end(), ratios[group].begin(), ratios[group].end());
    }
    printSummary("all", all);
    return 0;
}
