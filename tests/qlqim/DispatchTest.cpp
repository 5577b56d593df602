// The dispatcher loads one build at load time, by processor or as forced by
// QLQIM_BUILD, and forwards the seven calls to it. Each case runs in a child
// process, so that every load starts afresh.
#include "qim.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char* const builds[] = {"PX", "W7", "A6", "P6", "M6"};

std::string libraryPath(const std::string& build)
{
    return std::string(QLQIM_LIBRARY_DIR) + "/libqlqim" + build + ".so";
}

template <typename F>
F entry(void* handle, const char* name)
{
    return reinterpret_cast<F>(dlsym(handle, name));
}

[[noreturn]] void failChild(const std::string& why)
{
    std::fprintf(stderr, "child failed: %s\n", why.c_str());
    std::fflush(stderr);
    std::_Exit(2);
}

// Loads the dispatcher and reports on stderr which build is in the process.
// With check set, it also shows that calls reach that build's own state.
[[noreturn]] void loadAndReport(const char* forced, bool check)
{
    if (forced)
        setenv("QLQIM_BUILD", forced, 1);
    else
        unsetenv("QLQIM_BUILD");
    void* dispatcher = dlopen(libraryPath("").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!dispatcher)
        failChild(dlerror());
    std::string loaded;
    void* build = nullptr;
    for (const char* name : builds) {
        if (void* h = dlopen(libraryPath(name).c_str(), RTLD_NOW | RTLD_NOLOAD)) {
            loaded += name;
            build = h;
        }
    }
    if (loaded.size() != 2)
        failChild("builds in the process: '" + loaded + "'");

    if (check) {
        auto setMode = entry<void (*)(int)>(dispatcher, "qimSetErrMode");
        auto status = entry<int (*)()>(dispatcher, "qimGetErrStatus");
        auto buildStatus = entry<int (*)()>(build, "qimGetErrStatus");
        auto create = entry<decltype(&qimCreateImageHeader)>(dispatcher, "qimCreateImageHeader");
        auto allocate = entry<decltype(&qimAllocateImage)>(dispatcher, "qimAllocateImage");
        auto release = entry<decltype(&qimDeallocate)>(dispatcher, "qimDeallocate");
        auto resize = entry<decltype(&qimResize)>(dispatcher, "qimResize");
        auto text = entry<decltype(&qimErrorStr)>(dispatcher, "qimErrorStr");
        if (!setMode || !status || !buildStatus || !create || !allocate || !release || !resize || !text)
            failChild("missing entry point");

        setMode(QIM_ERRMODE_RETURN);
        QimImage* image = create(3, 0, QIM_DEPTH_8U, "RGB", "BGR", 0, 0, 4, 10, 2, nullptr,
                                 nullptr, nullptr, nullptr);
        if (!image || image->widthStep != 32)
            failChild("header through the dispatcher");
        allocate(image, 1, 7);
        if (!image->imageData || static_cast<unsigned char*>(image->imageData)[63] != 7)
            failChild("allocation through the dispatcher");
        release(image, QIM_FREE_ALL);
        if (status() != 0)
            failChild("status after success");

        if (create(1, 0, QIM_DEPTH_8U, "G", "G", 0, 0, 4, 0, 1, nullptr, nullptr, nullptr, nullptr))
            failChild("bad header accepted");
        if (status() != QIM_STATUS_BAD_IMAGE_SIZE || buildStatus() != QIM_STATUS_BAD_IMAGE_SIZE)
            failChild("status not kept by the serving build");
        resize(nullptr, nullptr, 1, 1, 1, 1, QIM_INTER_NN);
        if (status() >= 0 || status() != buildStatus())
            failChild("resize not forwarded");
        if (std::string(text(-10)) != "Incorrect image size")
            failChild("status text");
    }
    std::fprintf(stderr, "served by %s\n", loaded.c_str());
    std::fflush(stderr);
    std::_Exit(0);
}

class QlqimDispatch : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(QlqimDispatch, ChoosesTheBuildForThisProcessor)
{
#if defined(__x86_64__)
    // Every x86-64 processor has SSE2.
    EXPECT_EXIT(loadAndReport(nullptr, true), ::testing::ExitedWithCode(0), "served by W7");
#else
    EXPECT_EXIT(loadAndReport(nullptr, true), ::testing::ExitedWithCode(0), "served by ");
#endif
    EXPECT_EXIT(loadAndReport("", false), ::testing::ExitedWithCode(0), "served by ");
}

TEST_F(QlqimDispatch, EveryBuildCanBeForcedAndServesAllCalls)
{
    for (const char* name : builds)
        EXPECT_EXIT(loadAndReport(name, true), ::testing::ExitedWithCode(0),
                    std::string("served by ") + name);
}

TEST_F(QlqimDispatch, UnknownBuildNameEndsTheProcess)
{
    EXPECT_EXIT(loadAndReport("SSE9", false), ::testing::ExitedWithCode(127),
                "QLQIM_BUILD must be one of");
}

TEST_F(QlqimDispatch, ModeZeroEndsTheProcessThroughTheDispatcher)
{
    EXPECT_EXIT(
        {
            unsetenv("QLQIM_BUILD");
            void* dispatcher = dlopen(libraryPath("").c_str(), RTLD_NOW | RTLD_LOCAL);
            if (!dispatcher)
                failChild(dlerror());
            entry<decltype(&qimAllocateImage)>(dispatcher, "qimAllocateImage")(nullptr, 0, 0);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(1), "");
}

} // namespace
