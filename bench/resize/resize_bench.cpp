// qimResize against cv::resize (one thread) on the same 8-bit images: the
// map's case (a crop scaled to a 960 x 540 tile, up and down) and a
// 4096 x 4096 to 1024 x 1024 shrink, for nearest, linear, cubic and
// super-sampling (OpenCV's INTER_AREA), with 3 channels and with 1. Prints
// the best time per call of each and the ratio ours / OpenCV. Arguments, if
// any, keep only the rows whose text holds one of them ("linear", "1600",
// "shrink"...). The library is the one the program loads: libqlqim.so.
#include "qim.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
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

// A map-like 8-bit image: smooth gradients with sharp edges and some noise.
cv::Mat mapImage(int width, int height, int channels)
{
    cv::Mat m(height, width, CV_8UC(channels));
    uint32_t seed = 12345;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = m.ptr<uint8_t>(y);
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c) {
                seed = seed * 1664525u + 1013904223u;
                int v = ((x / 37 + y / 23) % 2 ? 180 : 60) + (x * (c + 1) + y * 2) % 50 +
                        (int)(seed >> 29);
                row[x * channels + c] = (uint8_t)std::min(v, 255);
            }
    }
    return m;
}

// A library header over a cv::Mat's pixels (rows are a multiple of 4 bytes).
QimImage* wrap(cv::Mat& m)
{
    QimImage* image = qimCreateImageHeader(m.channels(), 0, QIM_DEPTH_8U, "RGB", "BGR",
                                           QIM_ORDER_PIXEL, QIM_ORIGIN_TOP_LEFT, 4, m.cols, m.rows,
                                           nullptr, nullptr, nullptr, nullptr);
    image->imageData = m.data;
    image->widthStep = (int)m.step[0];
    image->dataSize = image->widthStep * m.rows;
    return image;
}

struct Geometry {
    const char* name;
    int srcW, srcH;     // whole source image
    int cropX, cropY, cropW, cropH;
    int dstW, dstH;
};

struct Method {
    const char* name;
    int qim, cv;
};

} // namespace

int main(int argc, char** argv)
{
    cv::setNumThreads(1);
    qimSetErrMode(QIM_ERRMODE_RETURN);
    const Geometry geometries[] = {
        {"map up 640x360->960x540", 2048, 2048, 301, 517, 640, 360, 960, 540},
        {"map down 1600x900->960x540", 2048, 2048, 211, 333, 1600, 900, 960, 540},
        {"shrink 4096x4096->1024x1024", 4096, 4096, 0, 0, 4096, 4096, 1024, 1024},
        {"shrink 3840x2160->480x270", 3840, 2160, 0, 0, 3840, 2160, 480, 270},
        {"shrink 4096x4096->512x512", 4096, 4096, 0, 0, 4096, 4096, 512, 512},
        {"shrink 3840x2160->240x135", 3840, 2160, 0, 0, 3840, 2160, 240, 135},
    };
    const Method methods[] = {
        {"nearest", QIM_INTER_NN, cv::INTER_NEAREST},
        {"linear", QIM_INTER_LINEAR, cv::INTER_LINEAR},
        {"cubic", QIM_INTER_CUBIC, cv::INTER_CUBIC},
        {"super/area", QIM_INTER_SUPER, cv::INTER_AREA},
    };
    std::printf("%-30s %3s %-11s %10s %10s %8s\n", "case", "ch", "method", "qim ms", "opencv ms",
                "ratio");
    for (int channels : {3, 1}) {
        for (const Geometry& g : geometries) {
            cv::Mat src = mapImage(g.srcW, g.srcH, channels);
            cv::Mat crop = src(cv::Rect(g.cropX, g.cropY, g.cropW, g.cropH));
            cv::Mat ours(g.dstH, g.dstW, CV_8UC(channels)), theirs;
            QimImage* qsrc = wrap(src);
            QimImage* qdst = wrap(ours);
            QimRoi roi = {0, g.cropX, g.cropY, g.cropW, g.cropH};
            qsrc->roi = &roi;
            for (const Method& m : methods) {
                char label[96];
                std::snprintf(label, sizeof label, "%s %d %s", g.name, channels, m.name);
                bool wanted = argc < 2;
                for (int a = 1; a < argc; ++a)
                    wanted = wanted || std::strstr(label, argv[a]) != nullptr;
                if (!wanted)
                    continue;
                if (m.qim == QIM_INTER_SUPER && g.dstW > g.cropW) {
                    std::printf("%-30s %3d %-11s %10s %10s %8s\n", g.name, channels, m.name, "-",
                                "-", "n/a");
                    continue;
                }
                const auto [q, c] = bestMs(
                    [&] { qimResize(qsrc, qdst, g.dstW, g.cropW, g.dstH, g.cropH, m.qim); },
                    [&] { cv::resize(crop, theirs, cv::Size(g.dstW, g.dstH), 0, 0, m.cv); });
                if (qimGetErrStatus() != 0) {
                    std::printf("qimResize failed: %s\n", qimErrorStr(qimGetErrStatus()));
                    return 1;
                }
                std::printf("%-30s %3d %-11s %10.3f %10.3f %8.2f\n", g.name, channels, m.name, q, c,
                            q / c);
                std::fflush(stdout);
            }
            qsrc->roi = nullptr;
            qimDeallocate(qsrc, QIM_FREE_HEADER);
            qimDeallocate(qdst, QIM_FREE_HEADER);
        }
    }
    return 0;
}
