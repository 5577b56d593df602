// Status texts, the per-thread status and mode, the raise path and the exit
// in mode 0.
#include "QimTestImages.h"

#include <string>
#include <thread>

using namespace qimtest;

namespace {

using QimStatusTest = QimTest;
const std::string unknown = "Unknown error or status code";

TEST_F(QimStatusTest, Texts)
{
    EXPECT_STREQ(qimErrorStr(0), "No Error");
    EXPECT_STREQ(qimErrorStr(-4), "Insufficient memory");
    EXPECT_STREQ(qimErrorStr(-26), "Mask image is taled");
    EXPECT_STREQ(qimErrorStr(-31), "Incorrect filter ofset value");
    EXPECT_STREQ(qimErrorStr(-14), "Incorrect Color model or channel sequence of the image");
    EXPECT_STREQ(qimErrorStr(-116), "Mask. Number of channels for 1U depth image must be one");
    EXPECT_STREQ(qimErrorStr(-117), "Mask. Incorrect depth value in the image header");
    for (int status : {-126, 1, -2, -122, -123, -32, -99, -100, -108, -126, INT_MIN, 1000})
        EXPECT_EQ(qimErrorStr(status), unknown) << status;

    // Every mask text is "Mask. " and the text of the status 100 higher.
    for (int status = -109; status >= -125; --status) {
        if (status == -122 || status == -123)
            continue;
        EXPECT_EQ(qimErrorStr(status), "Mask. " + std::string(qimErrorStr(status + 100))) << status;
    }
    // Everything the library raises has a text, but for the plain error -2.
    for (int status = -1; status >= -31; --status) {
        if (status != -2) {
            EXPECT_NE(qimErrorStr(status), unknown) << status;
        }
    }
}

TEST_F(QimStatusTest, FailureStaysThroughLaterSuccess)
{
    EXPECT_EQ(qimCreateImageHeader(1, 0, QIM_DEPTH_8U, "G", "G", 0, 0, 4, 0, 1, nullptr, nullptr,
                                   nullptr, nullptr),
              nullptr);
    EXPECT_EQ(qimGetErrStatus(), -10);
    ImagePtr image = makeImage(1, QIM_DEPTH_8U, 4, 4);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(qimGetErrStatus(), -10);
}

TEST_F(QimStatusTest, RaisePath)
{
    EXPECT_EQ(ownRaiseError(-5, "f", "c", "file", 1), -5);
    EXPECT_EQ(qimGetErrStatus(), -5);
    // The traces call the handler but keep the stored status.
    EXPECT_EQ(ownRaiseError(QIM_STATUS_BACKTRACE, "f", "c", "file", 2), -1);
    EXPECT_EQ(ownRaiseError(QIM_STATUS_AUTOTRACE, "f", "c", "file", 3), -8);
    EXPECT_EQ(qimGetErrStatus(), -5);
    // 0 is stored and returned without the handler.
    EXPECT_EQ(ownRaiseError(0, "f", "c", "file", 4), 0);
    EXPECT_EQ(qimGetErrStatus(), 0);
    // Any non-zero mode returns.
    qimSetErrMode(1);
    EXPECT_EQ(ownRaiseError(-9, "f", "c", "file", 5), -9);
    EXPECT_EQ(ownGetErrMode(), 1);
}

TEST_F(QimStatusTest, StatusAndModeArePerThread)
{
    ownRaiseError(-5, "f", "c", "file", 1);
    int seenStatus = 1, seenMode = 1, afterFailure = 0;
    std::thread worker([&] {
        seenStatus = qimGetErrStatus();
        seenMode = ownGetErrMode();
        qimSetErrMode(QIM_ERRMODE_RETURN);
        qimAllocateImage(nullptr, 0, 0);
        afterFailure = qimGetErrStatus();
    });
    worker.join();
    EXPECT_EQ(seenStatus, 0) << "a new thread starts clean";
    EXPECT_EQ(seenMode, QIM_ERRMODE_EXIT);
    EXPECT_EQ(afterFailure, -5);
    EXPECT_EQ(qimGetErrStatus(), -5);
    EXPECT_EQ(ownGetErrMode(), QIM_ERRMODE_RETURN);
}

TEST(QimStatusDeathTest, ModeZeroEndsTheProcessWithCodeOne)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            qimSetErrMode(QIM_ERRMODE_EXIT);
            qimCreateImageHeader(0, 0, QIM_DEPTH_8U, "G", "G", 0, 0, 4, 1, 1, nullptr, nullptr,
                                 nullptr, nullptr);
            std::exit(0);
        },
        ::testing::ExitedWithCode(1), "");
    // Also the traces end the process in mode 0.
    EXPECT_EXIT(
        {
            qimSetErrMode(QIM_ERRMODE_EXIT);
            ownRaiseError(QIM_STATUS_BACKTRACE, "f", "c", "file", 1);
            std::exit(0);
        },
        ::testing::ExitedWithCode(1), "");
    // Mode 0 is the default of every thread.
    EXPECT_EXIT(
        {
            std::thread([] { qimAllocateImage(nullptr, 0, 0); }).join();
            std::exit(0);
        },
        ::testing::ExitedWithCode(1), "");
}

} // namespace
