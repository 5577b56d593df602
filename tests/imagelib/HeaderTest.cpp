// Header creation: the check order, the row formulas, tags and sizes that do
// not fit.
#include "QimTestImages.h"

#include <climits>

using namespace qimtest;

namespace {

struct Args {
    int nChannels = 3, alphaIndex = 0, depth = QIM_DEPTH_8U;
    const char* model = "RGB";
    const char* order = "BGR";
    int dataOrder = QIM_ORDER_PIXEL, origin = QIM_ORIGIN_TOP_LEFT, rowAlign = 4;
    int width = 10, height = 4;
    QimImage* mask = nullptr;
    QimTileInfo* tileInfo = nullptr;
};

ImagePtr create(const Args& a)
{
    return ImagePtr(qimCreateImageHeader(a.nChannels, a.alphaIndex, a.depth, a.model, a.order,
                                         a.dataOrder, a.origin, a.rowAlign, a.width, a.height,
                                         nullptr, a.mask, nullptr, a.tileInfo));
}

using QimHeaderTest = QimTest;

TEST_F(QimHeaderTest, FirstFailedCheckWins)
{
    ImagePtr badMask = makeImage(1, QIM_DEPTH_8U, 4, 4);
    ImagePtr tiledMask = makeImage(1, QIM_DEPTH_1U, 8, 8);
    QimTileInfo tile{};
    tiledMask->tileInfo = &tile;
    ImagePtr brokenMask = makeImage(1, QIM_DEPTH_1U, 8, 8);
    void* brokenData = brokenMask->imageData;
    brokenMask->imageData = nullptr; // neither data nor tiles: -12, reported as -112

    struct Case {
        const char* name;
        void (*change)(Args&);
        int status;
    };
    // Each case breaks two arguments; the one checked first must win.
    const Case cases[] = {
        {"size before channels", [](Args& a) { a.height = 0; a.nChannels = 0; }, -10},
        {"channels before 1U", [](Args& a) { a.nChannels = -1; a.depth = QIM_DEPTH_1U; }, -15},
        {"1U channels before tags", [](Args& a) { a.depth = QIM_DEPTH_1U; a.model = nullptr; }, -16},
        {"tags before depth", [](Args& a) { a.order = nullptr; a.depth = 12; }, -14},
        {"depth before alpha", [](Args& a) { a.depth = 12; a.alphaIndex = 2; }, -17},
        {"alpha before order", [](Args& a) { a.alphaIndex = 2; a.dataOrder = 2; }, -18},
        {"order before origin", [](Args& a) { a.dataOrder = -1; a.origin = 2; }, -19},
        {"origin before align", [](Args& a) { a.origin = 2; a.rowAlign = 2; }, -20},
        {"align", [](Args& a) { a.rowAlign = 64; }, -21},
    };
    for (const Case& c : cases) {
        Args args;
        c.change(args);
        ownSetErrStatus(0);
        EXPECT_EQ(create(args), nullptr) << c.name;
        EXPECT_EQ(qimGetErrStatus(), c.status) << c.name;
    }

    Args args;
    args.rowAlign = 3;
    args.mask = badMask.get();
    EXPECT_EQ(create(args), nullptr);
    EXPECT_EQ(qimGetErrStatus(), -21);
    args.rowAlign = 4;
    EXPECT_EQ(create(args), nullptr);
    EXPECT_EQ(qimGetErrStatus(), -117);
    args.mask = tiledMask.get();
    EXPECT_EQ(create(args), nullptr);
    EXPECT_EQ(qimGetErrStatus(), -26);
    args.mask = brokenMask.get();
    EXPECT_EQ(create(args), nullptr);
    EXPECT_EQ(qimGetErrStatus(), -112);

    tiledMask->tileInfo = nullptr;
    brokenMask->imageData = brokenData;
}

TEST_F(QimHeaderTest, OneBitHeaderWithThreeChannelsAndBadAlpha)
{
    Args a;
    a.depth = QIM_DEPTH_1U;
    EXPECT_EQ(create(a), nullptr);
    EXPECT_EQ(qimGetErrStatus(), -16);
    Args b;
    b.alphaIndex = 2;
    EXPECT_EQ(create(b), nullptr);
    EXPECT_EQ(qimGetErrStatus(), -18);
    Args c;
    c.alphaIndex = 3; // the last channel is the only allowed alpha channel
    ownSetErrStatus(0);
    EXPECT_NE(create(c), nullptr);
    EXPECT_EQ(qimGetErrStatus(), 0);
}

TEST_F(QimHeaderTest, RowFormulas)
{
    struct Case {
        int channels, depth, order, align, width, height, widthStep, dataSize;
    };
    const Case cases[] = {
        {3, QIM_DEPTH_8U, QIM_ORDER_PIXEL, 4, 10, 1, 32, 32},
        {3, QIM_DEPTH_8U, QIM_ORDER_PIXEL, 8, 10, 1, 32, 32},
        {3, QIM_DEPTH_8U, QIM_ORDER_PIXEL, 4, 11, 2, 36, 72},
        {3, QIM_DEPTH_8U, QIM_ORDER_PIXEL, 8, 11, 2, 40, 80},
        {3, QIM_DEPTH_8U, QIM_ORDER_PLANE, 4, 5, 2, 8, 48},
        {1, QIM_DEPTH_1U, QIM_ORDER_PIXEL, 4, 33, 3, 8, 24},
        {1, QIM_DEPTH_1U, QIM_ORDER_PLANE, 32, 1, 1, 32, 32},
        {1, QIM_DEPTH_16U, QIM_ORDER_PIXEL, 16, 3, 2, 16, 32},
        {2, QIM_DEPTH_32F, QIM_ORDER_PIXEL, 32, 7, 1, 64, 64},
        {2, QIM_DEPTH_32S, QIM_ORDER_PLANE, 4, 3, 5, 12, 120},
        {4, QIM_DEPTH_16S, QIM_ORDER_PIXEL, 8, 1, 1, 8, 8},
    };
    for (const Case& c : cases) {
        ImagePtr image(qimCreateImageHeader(c.channels, 0, c.depth, "RGB", "RGB", c.order, 0,
                                            c.align, c.width, c.height, nullptr, nullptr, nullptr,
                                            nullptr));
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->widthStep, c.widthStep) << c.width << " px, align " << c.align;
        EXPECT_EQ(image->dataSize, c.dataSize) << c.width << " px, align " << c.align;
    }
}

TEST_F(QimHeaderTest, FieldsAndDefaults)
{
    QimRoi roi{0, 1, 1, 2, 2};
    int user = 0;
    ImagePtr image(qimCreateImageHeader(4, 4, QIM_DEPTH_8U, "RGBA", "BGRA", QIM_ORDER_PIXEL,
                                        QIM_ORIGIN_BOTTOM_LEFT, 8, 6, 5, &roi, nullptr, &user,
                                        nullptr));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->headerSize, (int)sizeof(QimImage));
    EXPECT_EQ(image->headerId, 0);
    EXPECT_EQ(image->alphaIndex, 4);
    EXPECT_EQ(std::string(image->colorModelTag, 4), "RGBA");
    EXPECT_EQ(std::string(image->channelOrderTag, 4), "BGRA");
    EXPECT_EQ(image->origin, QIM_ORIGIN_BOTTOM_LEFT);
    EXPECT_EQ(image->roi, &roi);
    EXPECT_EQ(image->userPointer, &user);
    EXPECT_EQ(image->imageData, nullptr);
    EXPECT_EQ(image->allocatedData, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(image.get()) % 32, 0u);
    for (int side = 0; side < 4; ++side) {
        EXPECT_EQ(image->borderModes[side], QIM_BORDER_FILL);
        EXPECT_EQ(image->borderValues[side], 0);
    }
    image->roi = nullptr;
}

TEST_F(QimHeaderTest, ShortTagsAreNotReadPastTheirEnd)
{
    // Heap copies of exactly the text and its NUL, so that reading further
    // would be caught by the address sanitizer.
    std::unique_ptr<char[]> model(new char[2]{'G', 0});
    std::unique_ptr<char[]> order(new char[1]{0});
    ImagePtr image(qimCreateImageHeader(1, 0, QIM_DEPTH_8U, model.get(), order.get(), 0, 0, 4, 1,
                                        1, nullptr, nullptr, nullptr, nullptr));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(std::string(image->colorModelTag, 4), std::string("G\0\0\0", 4));
    EXPECT_EQ(std::string(image->channelOrderTag, 4), std::string(4, '\0'));
}

TEST_F(QimHeaderTest, SizesThatDoNotFitAreRefused)
{
    Args big;
    big.nChannels = 4;
    big.width = 100000;
    big.height = 100000; // 40 GB of pixels
    EXPECT_EQ(create(big), nullptr);
    EXPECT_EQ(qimGetErrStatus(), QIM_STATUS_BAD_IMAGE_SIZE);

    ownSetErrStatus(0);
    Args wide;
    wide.nChannels = INT_MAX;
    wide.depth = QIM_DEPTH_32S;
    wide.width = INT_MAX;
    wide.height = 1;
    EXPECT_EQ(create(wide), nullptr);
    EXPECT_EQ(qimGetErrStatus(), QIM_STATUS_BAD_IMAGE_SIZE);

    ownSetErrStatus(0);
    Args planes;
    planes.dataOrder = QIM_ORDER_PLANE;
    planes.nChannels = 1000;
    planes.width = 4000;
    planes.height = 1000;
    EXPECT_EQ(create(planes), nullptr);
    EXPECT_EQ(qimGetErrStatus(), QIM_STATUS_BAD_IMAGE_SIZE);

    // A header that was fine is refused at allocation once it grew too big.
    ownSetErrStatus(0);
    ImagePtr image = create(Args{});
    ASSERT_NE(image, nullptr);
    image->width = 60000;
    image->height = 60000;
    qimAllocateImage(image.get(), 0, 0);
    EXPECT_EQ(qimGetErrStatus(), QIM_STATUS_BAD_IMAGE_SIZE);
    EXPECT_EQ(image->imageData, nullptr);
}

TEST_F(QimHeaderTest, ValidationOrder)
{
    EXPECT_EQ(ownCheckImageHeader(nullptr), -9);
    EXPECT_EQ(qimGetErrStatus(), -9);

    ImagePtr image = makeImage(3, QIM_DEPTH_8U, 8, 8);
    ownSetErrStatus(-42);
    EXPECT_EQ(ownCheckImageHeader(image.get()), 0);
    EXPECT_EQ(qimGetErrStatus(), -42) << "a valid header leaves the status alone";

    QimTileInfo tile{};
    void* data = image->imageData;
    image->tileInfo = &tile;
    EXPECT_EQ(ownCheckImageHeader(image.get()), -12) << "data and tiles";
    image->imageData = nullptr;
    EXPECT_EQ(ownCheckImageHeader(image.get()), -22) << "no callback";
    tile.callBack = [](const QimImage*, int, int, int) {};
    tile.width = 12;
    tile.height = 8;
    EXPECT_EQ(ownCheckImageHeader(image.get()), -23);
    tile.width = 8;
    tile.height = 0;
    EXPECT_EQ(ownCheckImageHeader(image.get()), -23);
    tile.width = 1 << 26; // 3 x 2^26 bytes a row, times 16 rows: beyond 32 bits
    tile.height = 16;
    EXPECT_EQ(ownCheckImageHeader(image.get()), -23) << "a tile the sizes cannot hold";
    tile.width = 8;
    EXPECT_EQ(ownCheckImageHeader(image.get()), 0) << "tiled, dataSize and widthStep unused";
    image->tileInfo = nullptr;
    EXPECT_EQ(ownCheckImageHeader(image.get()), -12) << "neither data nor tiles";
    image->imageData = data;

    int size = image->dataSize, step = image->widthStep;
    image->dataSize = 0;
    image->widthStep = 0;
    EXPECT_EQ(ownCheckImageHeader(image.get()), -10);
    image->dataSize = size;
    EXPECT_EQ(ownCheckImageHeader(image.get()), -13);
    image->widthStep = step;

    QimRoi roi{4, -1, 0, 0, 1};
    image->roi = &roi;
    EXPECT_EQ(ownCheckImageHeader(image.get()), -24);
    roi.coi = 3;
    EXPECT_EQ(ownCheckImageHeader(image.get()), -25);
    roi.width = 2;
    EXPECT_EQ(ownCheckImageHeader(image.get()), -11);
    roi.offsetX = 100; // not checked against the image
    EXPECT_EQ(ownCheckImageHeader(image.get()), 0);
    image->roi = nullptr;

    ImagePtr mask = makeImage(1, QIM_DEPTH_1U, 8, 8);
    mask->rowAlign = 5;
    image->mask = mask.get();
    EXPECT_EQ(ownCheckImageHeader(image.get()), -121);
    image->mask = nullptr;
}

} // namespace
