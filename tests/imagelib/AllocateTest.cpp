// Pixel allocation, the fill words, release flags and the border setter.
#include "QimTestImages.h"

#include <cstdlib>

using namespace qimtest;

namespace {

using QimAllocateTest = QimTest;

TEST_F(QimAllocateTest, RefusalsInOrder)
{
    qimAllocateImage(nullptr, 0, 0);
    EXPECT_EQ(qimGetErrStatus(), -5);

    ImagePtr image = makeImage(1, QIM_DEPTH_8U, 4, 4);
    void* data = image->imageData;
    ownSetErrStatus(0);
    qimAllocateImage(image.get(), 0, 0);
    EXPECT_EQ(qimGetErrStatus(), -5) << "data already there";
    EXPECT_EQ(image->imageData, data);

    ImagePtr floats(qimCreateImageHeader(1, 0, QIM_DEPTH_32F, "G", "G", 0, 0, 4, 4, 4, nullptr,
                                         nullptr, nullptr, nullptr));
    ownSetErrStatus(0);
    qimAllocateImage(floats.get(), 1, 7);
    EXPECT_EQ(qimGetErrStatus(), -5);
    EXPECT_EQ(floats->imageData, nullptr);

    QimTileInfo tile{};
    floats->tileInfo = &tile;
    floats->depth = 12;
    ownSetErrStatus(0);
    qimAllocateImage(floats.get(), 0, 0);
    EXPECT_EQ(qimGetErrStatus(), -5) << "tiled is refused before the depth is looked at";
    floats->tileInfo = nullptr;
    ownSetErrStatus(0);
    qimAllocateImage(floats.get(), 0, 0);
    EXPECT_EQ(qimGetErrStatus(), -17);
    EXPECT_EQ(floats->imageData, nullptr);
}

TEST_F(QimAllocateTest, FillWords)
{
    struct Case {
        int depth, value;
        unsigned char expected[4];
    };
    const Case cases[] = {
        {QIM_DEPTH_1U, 1, {0xFF, 0xFF, 0xFF, 0xFF}},
        {QIM_DEPTH_1U, 2, {0, 0, 0, 0}},
        {QIM_DEPTH_1U, -1, {0xFF, 0xFF, 0xFF, 0xFF}},
        {QIM_DEPTH_8U, 0x1AB, {0xAB, 0xAB, 0xAB, 0xAB}},
        {QIM_DEPTH_8S, -2, {0xFE, 0xFE, 0xFE, 0xFE}},
        {QIM_DEPTH_16U, 0x51234, {0x34, 0x12, 0x34, 0x12}},
        {QIM_DEPTH_16S, -1, {0xFF, 0xFF, 0xFF, 0xFF}},
        {QIM_DEPTH_32S, 0x12345678, {0x78, 0x56, 0x34, 0x12}},
    };
    for (const Case& c : cases) {
        ImagePtr image(qimCreateImageHeader(1, 0, c.depth, "G", "G", 0, 0, 8, 5, 3, nullptr,
                                            nullptr, nullptr, nullptr));
        qimAllocateImage(image.get(), 1, c.value);
        ASSERT_NE(image->imageData, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(image->imageData) % 8, 0u);
        auto* data = static_cast<unsigned char*>(image->imageData);
        for (int i = 0; i < image->dataSize; ++i)
            ASSERT_EQ(data[i], c.expected[i % 4]) << "depth " << c.depth << " byte " << i;
    }
    ImagePtr words = makeImage(2, QIM_DEPTH_16U, 3, 2);
    qimDeallocate(words.get(), QIM_FREE_DATA);
    qimAllocateImage(words.get(), 1, 0x1234);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(get(words.get(), x, y, 1), 0x1234u);
    EXPECT_EQ(qimGetErrStatus(), 0);
}

TEST_F(QimAllocateTest, AllocationRecomputesTheRowSize)
{
    ImagePtr image(qimCreateImageHeader(3, 0, QIM_DEPTH_8U, "RGB", "RGB", 0, 0, 4, 10, 2, nullptr,
                                        nullptr, nullptr, nullptr));
    image->rowAlign = 16;
    image->widthStep = 1;
    image->dataSize = 1;
    qimAllocateImage(image.get(), 0, 0);
    EXPECT_EQ(image->widthStep, 32);
    EXPECT_EQ(image->dataSize, 64);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(image->imageData) % 16, 0u);
}

TEST_F(QimAllocateTest, ReleaseFlags)
{
    // Library records are freed (the leak checker notices otherwise).
    QimRoi* roi = static_cast<QimRoi*>(ownAlignedMalloc(sizeof(QimRoi)));
    *roi = QimRoi{0, 0, 0, 1, 1};
    QimTileInfo* tile = static_cast<QimTileInfo*>(ownAlignedMalloc(sizeof(QimTileInfo)));
    QimImage* mask = makeImage(1, QIM_DEPTH_1U, 4, 4).release();
    mask->roi = static_cast<QimRoi*>(ownAlignedMalloc(sizeof(QimRoi)));
    *mask->roi = QimRoi{0, 0, 0, 1, 1};
    QimImage* image = makeImage(1, QIM_DEPTH_8U, 4, 4).release();
    image->roi = roi;
    image->mask = mask;
    image->tileInfo = tile;

    qimDeallocate(image, QIM_FREE_ROI | QIM_FREE_TILE);
    EXPECT_EQ(image->roi, nullptr);
    EXPECT_EQ(image->tileInfo, nullptr);
    EXPECT_EQ(image->mask, mask);
    qimDeallocate(image, QIM_FREE_MASK);
    EXPECT_EQ(image->mask, nullptr);
    EXPECT_NE(image->imageData, nullptr);
    qimDeallocate(image, QIM_FREE_DATA);
    EXPECT_EQ(image->imageData, nullptr);
    EXPECT_EQ(image->allocatedData, nullptr);
    qimDeallocate(image, QIM_FREE_HEADER);
    qimDeallocate(nullptr, QIM_FREE_ALL);
}

TEST_F(QimAllocateTest, CallerRecordsAreLeftToTheCaller)
{
    // The caller's pixels, ROI, tile record and even the header itself: a
    // full release frees none of them.
    unsigned char pixels[64] = {};
    QimRoi roi{0, 0, 0, 2, 2};
    QimTileInfo tile{};
    QimImage* image = makeImage(1, QIM_DEPTH_8U, 4, 4).release();
    qimDeallocate(image, QIM_FREE_DATA);
    image->imageData = pixels;
    image->roi = &roi;
    image->tileInfo = &tile;
    qimDeallocate(image, QIM_FREE_ALL);

    QimImage own = {};
    own.roi = &roi;
    qimDeallocate(&own, QIM_FREE_ALL);
    EXPECT_EQ(own.roi, nullptr);

    // Data the caller put into allocatedData is freed with free.
    QimImage* wrapped = makeImage(1, QIM_DEPTH_8U, 4, 4).release();
    qimDeallocate(wrapped, QIM_FREE_DATA);
    wrapped->allocatedData = std::malloc(16);
    wrapped->imageData = wrapped->allocatedData;
    qimDeallocate(wrapped, QIM_FREE_ALL);
}

TEST_F(QimAllocateTest, AlignedAllocator)
{
    EXPECT_EQ(ownAlignedMalloc(0), nullptr);
    EXPECT_EQ(ownAlignedMalloc(-5), nullptr);
    std::vector<void*> blocks;
    for (int i = 1; i < 300; ++i) {
        void* block = ownAlignedMalloc(i);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 32, 0u);
        std::memset(block, 0xA5, (size_t)i);
        blocks.push_back(block);
    }
    for (size_t i = 0; i < blocks.size(); i += 2)
        ownAlignedFree(blocks[i]);
    for (size_t i = 1; i < blocks.size(); i += 2)
        ownAlignedFree(blocks[i]);
    ownAlignedFree(nullptr);
}

TEST_F(QimAllocateTest, BorderValuesAreClampedToTheDepth)
{
    struct Case {
        int depth, value, stored;
    };
    const Case cases[] = {
        {QIM_DEPTH_8U, 300, 255},       {QIM_DEPTH_8U, -5, 0},         {QIM_DEPTH_1U, 7, 1},
        {QIM_DEPTH_1U, -7, 0},          {QIM_DEPTH_16U, 70000, 65535}, {QIM_DEPTH_16U, -1, 0},
        {QIM_DEPTH_8S, 200, 127},       {QIM_DEPTH_8S, -200, -128},    {QIM_DEPTH_16S, 40000, 32767},
        {QIM_DEPTH_16S, -40000, -32768}, {QIM_DEPTH_32S, -40000, -40000}, {QIM_DEPTH_32F, 1 << 30, 1 << 30},
    };
    for (const Case& c : cases) {
        QimImage image = {};
        image.depth = c.depth;
        ownSetBorderMode(&image, QIM_BORDER_MIRROR, QIM_SIDE_LEFT | QIM_SIDE_BOTTOM, c.value);
        EXPECT_EQ(image.borderValues[QIM_SIDE_LEFT_INDEX], c.stored) << c.depth << " " << c.value;
        EXPECT_EQ(image.borderValues[QIM_SIDE_BOTTOM_INDEX], c.stored);
        EXPECT_EQ(image.borderModes[QIM_SIDE_BOTTOM_INDEX], QIM_BORDER_MIRROR);
        EXPECT_EQ(image.borderModes[QIM_SIDE_TOP_INDEX], 0);
        EXPECT_EQ(image.borderValues[QIM_SIDE_RIGHT_INDEX], 0);
    }
}

} // namespace
