// Rectangle fetch: border modes on every side, 1U rows, plane order, tiled
// images against plain ones, and the tile protocol.
#include "QimTestImages.h"

#include <algorithm>
#include <vector>

using namespace qimtest;

namespace {

using QimRectTest = QimTest;

struct Rect {
    void* data = nullptr;
    int rowBytes = 0;
    ~Rect() { ownFreeRect(data); }
    const unsigned char* row(int y, int plane = 0, int height = 0) const
    {
        return static_cast<const unsigned char*>(data) + ((long long)plane * height + y) * rowBytes;
    }
};

void fetch(Rect& r, const QimImage* image, int x, int y, int w, int h)
{
    r.data = ownGetRect(image, x, y, w, h, &r.rowBytes);
}

// A 1-channel 8U image whose pixel (x, y) is 10 y + x + 1.
ImagePtr counting(int width, int height)
{
    ImagePtr image = makeImage(1, QIM_DEPTH_8U, width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            put(image.get(), x, y, 0, (uint32_t)(10 * y + x + 1));
    return image;
}

std::vector<int> rowValues(const Rect& r, int y, int width)
{
    return std::vector<int>(r.row(y), r.row(y) + width);
}

TEST_F(QimRectTest, EdgeModeRepeatsTheNearestColumn)
{
    ImagePtr image = counting(2, 2);
    ownSetBorderMode(image.get(), QIM_BORDER_EDGE, QIM_SIDE_LEFT, 0);
    Rect r;
    fetch(r, image.get(), -1, 0, 3, 2);
    ASSERT_NE(r.data, nullptr);
    EXPECT_EQ(r.rowBytes, 4);
    EXPECT_EQ(rowValues(r, 0, 3), (std::vector<int>{1, 1, 2}));
    EXPECT_EQ(rowValues(r, 1, 3), (std::vector<int>{11, 11, 12}));
}

TEST_F(QimRectTest, MirrorTopRepeatsTheEdgeAndTurnsBack)
{
    ImagePtr image = counting(1, 4); // rows 1, 11, 21, 31
    ownSetBorderMode(image.get(), QIM_BORDER_MIRROR, QIM_SIDE_TOP, 0);
    Rect r;
    fetch(r, image.get(), 0, -5, 1, 9);
    ASSERT_NE(r.data, nullptr);
    std::vector<int> column;
    for (int y = 0; y < 9; ++y)
        column.push_back(r.row(y)[0]);
    // Rows -5 .. -1 come from image rows 3, 3, 2, 1, 0.
    EXPECT_EQ(column, (std::vector<int>{31, 31, 21, 11, 1, 1, 11, 21, 31}));
}

TEST_F(QimRectTest, RepeatAndMirrorOnTheRightAndBelow)
{
    ImagePtr image = counting(4, 3);
    ownSetBorderMode(image.get(), QIM_BORDER_REPEAT, QIM_SIDE_LEFT | QIM_SIDE_RIGHT, 0);
    Rect r;
    fetch(r, image.get(), -1, 0, 6, 1);
    EXPECT_EQ(rowValues(r, 0, 6), (std::vector<int>{4, 1, 2, 3, 4, 1}));

    ImagePtr narrow = counting(3, 3);
    ownSetBorderMode(narrow.get(), QIM_BORDER_MIRROR, QIM_SIDE_RIGHT | QIM_SIDE_BOTTOM, 0);
    Rect m;
    fetch(m, narrow.get(), 0, 1, 10, 7);
    EXPECT_EQ(rowValues(m, 0, 10), (std::vector<int>{11, 12, 13, 13, 12, 11, 11, 12, 13, 13}));
    // Rows 3, 4, 5, 6, 7 come from 2, 1, 0, 0, 1; the right border follows each row.
    std::vector<int> firstColumn, lastColumn;
    for (int y = 0; y < 7; ++y) {
        firstColumn.push_back(m.row(y)[0]);
        lastColumn.push_back(m.row(y)[9]);
    }
    EXPECT_EQ(firstColumn, (std::vector<int>{11, 21, 21, 11, 1, 1, 11}));
    EXPECT_EQ(lastColumn, (std::vector<int>{13, 23, 23, 13, 3, 3, 13}));
}

TEST_F(QimRectTest, FillModeUsesTheClampedValue)
{
    ImagePtr image = counting(2, 2);
    ownSetBorderMode(image.get(), QIM_BORDER_FILL, QIM_SIDE_ALL, 300);
    Rect r;
    fetch(r, image.get(), -1, -1, 4, 4);
    ASSERT_NE(r.data, nullptr);
    EXPECT_EQ(rowValues(r, 0, 4), (std::vector<int>{255, 255, 255, 255}));
    EXPECT_EQ(rowValues(r, 1, 4), (std::vector<int>{255, 1, 2, 255}));
    EXPECT_EQ(rowValues(r, 3, 4), (std::vector<int>{255, 255, 255, 255}));

    ImagePtr words = makeImage(2, QIM_DEPTH_16U, 1, 1);
    ownSetBorderMode(words.get(), QIM_BORDER_FILL, QIM_SIDE_RIGHT, 0xBEEF);
    put(words.get(), 0, 0, 0, 7);
    put(words.get(), 0, 0, 1, 8);
    Rect w;
    fetch(w, words.get(), 0, 0, 2, 1);
    uint16_t px[4];
    std::memcpy(px, w.row(0), sizeof px);
    EXPECT_EQ(px[0], 7);
    EXPECT_EQ(px[1], 8);
    EXPECT_EQ(px[2], 0xBEEF);
    EXPECT_EQ(px[3], 0xBEEF);
}

TEST_F(QimRectTest, CornersAndRectanglesWhollyOutside)
{
    ImagePtr image = counting(3, 3);
    ownSetBorderMode(image.get(), QIM_BORDER_EDGE, QIM_SIDE_ALL, 0);
    Rect r;
    fetch(r, image.get(), -4, -3, 2, 2); // above and left of the image
    ASSERT_NE(r.data, nullptr);
    EXPECT_EQ(rowValues(r, 0, 2), (std::vector<int>{1, 1}));
    EXPECT_EQ(rowValues(r, 1, 2), (std::vector<int>{1, 1}));

    Rect far;
    fetch(far, image.get(), 10, 10, 2, 1); // below and right
    EXPECT_EQ(rowValues(far, 0, 2), (std::vector<int>{23, 23}));

    ownSetBorderMode(image.get(), QIM_BORDER_FILL, QIM_SIDE_ALL, 9);
    Rect fill;
    fetch(fill, image.get(), 5, 0, 3, 2); // right of the image: nothing to copy
    EXPECT_EQ(rowValues(fill, 1, 3), (std::vector<int>{9, 9, 9}));

    Rect none;
    EXPECT_EQ(ownGetRect(image.get(), 0, 0, 0, 3, &none.rowBytes), nullptr);
    EXPECT_EQ(ownGetRect(image.get(), 0, 0, 3, -1, &none.rowBytes), nullptr);
}

TEST_F(QimRectTest, OneBitRows)
{
    ImagePtr image = makeImage(1, QIM_DEPTH_1U, 10, 2);
    for (int x = 0; x < 10; ++x)
        setBit(image.get(), x, 0, x % 3 == 0); // 1001001001
    ownSetBorderMode(image.get(), QIM_BORDER_MIRROR, QIM_SIDE_LEFT, 0);
    ownSetBorderMode(image.get(), QIM_BORDER_FILL, QIM_SIDE_RIGHT, 1);
    Rect r;
    fetch(r, image.get(), -3, 0, 15, 1);
    ASSERT_NE(r.data, nullptr);
    EXPECT_EQ(r.rowBytes, 4); // ceil(15 / 8) rounded up to 4
    std::string bits;
    for (int x = 0; x < 15; ++x)
        bits += (r.row(0)[x / 8] >> (7 - x % 8)) & 1 ? '1' : '0';
    EXPECT_EQ(bits, "001" "1001001001" "11"); // columns -3..-1 from 2, 1, 0
    EXPECT_EQ(r.row(0)[1] & 1, 0) << "bits past the width stay clear";
}

TEST_F(QimRectTest, PlaneOrderKeepsPlanesApart)
{
    ImagePtr image = makeImage(2, QIM_DEPTH_8U, 3, 2, QIM_ORDER_PLANE);
    for (int c = 0; c < 2; ++c)
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                put(image.get(), x, y, c, (uint32_t)(100 * c + 10 * y + x));
    ownSetBorderMode(image.get(), QIM_BORDER_EDGE, QIM_SIDE_ALL, 0);
    Rect r;
    fetch(r, image.get(), 1, 1, 3, 2);
    ASSERT_NE(r.data, nullptr);
    EXPECT_EQ(std::vector<int>(r.row(0, 1, 2), r.row(0, 1, 2) + 3), (std::vector<int>{111, 112, 112}));
    EXPECT_EQ(std::vector<int>(r.row(1, 1, 2), r.row(1, 1, 2) + 3), (std::vector<int>{111, 112, 112}));
    EXPECT_EQ(rowValues(r, 0, 3), (std::vector<int>{11, 12, 12}));
}

// Every border mode on every side: a tiled image gives the same rectangle as
// the same pixels held plainly, and gives back every tile it got.
TEST_F(QimRectTest, TiledMatchesPlain)
{
    struct Format {
        int channels, depth, order;
    };
    const Format formats[] = {{3, QIM_DEPTH_8U, QIM_ORDER_PIXEL},
                              {2, QIM_DEPTH_16U, QIM_ORDER_PLANE},
                              {1, QIM_DEPTH_1U, QIM_ORDER_PIXEL},
                              {1, QIM_DEPTH_32F, QIM_ORDER_PIXEL}};
    const int rects[][4] = {{3, 5, 14, 6}, {-9, -7, 40, 30}, {0, 0, 21, 19},
                            {17, -3, 9, 4}, {-20, 2, 5, 3}, {8, 8, 1, 1}};
    for (const Format& f : formats) {
        ImagePtr plain(qimCreateImageHeader(f.channels, 0, f.depth, "X", "X", f.order, 0, 4, 21,
                                            19, nullptr, nullptr, nullptr, nullptr));
        plain->depth = f.depth == QIM_DEPTH_32F ? QIM_DEPTH_32S : f.depth; // allocate, then relabel
        qimAllocateImage(plain.get(), 0, 0);
        plain->depth = f.depth;
        scramble(plain.get(), 99);
        TiledImage tiled(plain.get(), 8, 16);
        for (int mode = 0; mode < 4; ++mode) {
            for (QimImage* image : {plain.get(), tiled.header()}) {
                ownSetBorderMode(image, mode, QIM_SIDE_TOP | QIM_SIDE_RIGHT, 5);
                ownSetBorderMode(image, (mode + 1) % 4, QIM_SIDE_BOTTOM | QIM_SIDE_LEFT, 6);
            }
            for (const auto& rc : rects) {
                Rect a, b;
                fetch(a, plain.get(), rc[0], rc[1], rc[2], rc[3]);
                fetch(b, tiled.header(), rc[0], rc[1], rc[2], rc[3]);
                ASSERT_NE(a.data, nullptr);
                ASSERT_NE(b.data, nullptr);
                ASSERT_EQ(a.rowBytes, b.rowBytes);
                size_t size = (size_t)a.rowBytes * rc[3] * (f.order == QIM_ORDER_PLANE ? f.channels : 1);
                EXPECT_EQ(std::memcmp(a.data, b.data, size), 0)
                    << "depth " << f.depth << " mode " << mode << " rect " << rc[0] << "," << rc[1];
                EXPECT_EQ(tiled.held, 0);
            }
        }
        EXPECT_FALSE(tiled.releaseMismatch);
    }
}

TEST_F(QimRectTest, TilesOfARowAreGotInOrderAndReleasedInReverse)
{
    ImagePtr plain = counting(24, 16);
    TiledImage tiled(plain.get(), 8, 8);
    tiled.events.clear();
    Rect r;
    fetch(r, tiled.header(), 3, 5, 14, 6); // tile columns 0..2, rows 0..1
    ASSERT_NE(r.data, nullptr);
    std::vector<TileEvent> expected;
    for (int row = 0; row < 2; ++row) {
        for (int c = 0; c < 3; ++c)
            expected.push_back({c, row, QIM_TILE_READ, tiled.tile(c, row)});
        for (int c = 2; c >= 0; --c)
            expected.push_back({c, row, QIM_TILE_RELEASE, tiled.tile(c, row)});
    }
    EXPECT_EQ(tiled.events, expected);
    EXPECT_EQ(rowValues(r, 0, 3), (std::vector<int>{54, 55, 56}));

    // A backwards copy walks the tiles backwards too.
    tiled.events.clear();
    std::vector<unsigned char> buffer(16, 0);
    ASSERT_EQ(ownCopyImageRect(tiled.header(), 17, 0, 6, 0, buffer.data(), 0, 0, 16, 16, 1, 1), 0);
    EXPECT_EQ(std::vector<int>(buffer.begin(), buffer.begin() + 12),
              (std::vector<int>{18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7}));
    std::vector<int> columns, modes;
    for (const TileEvent& e : tiled.events) {
        columns.push_back(e.column);
        modes.push_back(e.mode);
    }
    EXPECT_EQ(columns, (std::vector<int>{2, 1, 0, 0, 1, 2}));
    EXPECT_EQ(modes, (std::vector<int>{1, 1, 1, 4, 4, 4}));
}

TEST_F(QimRectTest, MissingTileFailsAfterReleasingEveryTileGot)
{
    ImagePtr plain = counting(24, 16);
    TiledImage tiled(plain.get(), 8, 8);
    tiled.missing.insert({2, 1});
    int rowBytes = 0;
    EXPECT_EQ(ownGetRect(tiled.header(), 0, 0, 24, 16, &rowBytes), nullptr);
    EXPECT_EQ(tiled.held, 0);
    EXPECT_FALSE(tiled.releaseMismatch);
    EXPECT_EQ(tiled.events.back().mode, QIM_TILE_RELEASE);
    EXPECT_EQ(tiled.events.back().column, 0);

    // Also when the missing tile is only needed for a border.
    tiled.missing = {{0, 0}};
    ownSetBorderMode(tiled.header(), QIM_BORDER_EDGE, QIM_SIDE_TOP, 0);
    ownSetBorderMode(tiled.header(), QIM_BORDER_REPEAT, QIM_SIDE_BOTTOM, 0);
    EXPECT_EQ(ownGetRect(tiled.header(), 2, -4, 4, 3, &rowBytes), nullptr);
    EXPECT_EQ(ownGetRect(tiled.header(), 0, 17, 4, 3, &rowBytes), nullptr);
    Rect fine;
    fetch(fine, tiled.header(), 9, -4, 4, 3); // needs tile (1, 0) only
    EXPECT_NE(fine.data, nullptr);
    EXPECT_EQ(tiled.held, 0);
}

TEST_F(QimRectTest, CopyRefusesRangesOutsideTheImage)
{
    ImagePtr image = counting(4, 4);
    std::vector<unsigned char> buffer(64, 0);
    EXPECT_EQ(ownCopyImageRect(image.get(), 0, 0, 4, 0, buffer.data(), 0, 0, 16, 64, 1, 1), 1);
    EXPECT_EQ(ownCopyImageRect(image.get(), -1, 0, 2, 0, buffer.data(), 0, 0, 16, 64, 1, 1), 1);
    EXPECT_EQ(ownCopyImageRect(image.get(), 3, 3, 0, 0, buffer.data(), 0, 0, 16, 64, 1, 1), 0);
    EXPECT_EQ(buffer[0], 34);
    EXPECT_EQ(buffer[16 * 3 + 3], 1);
}

TEST_F(QimRectTest, TileRowBytes)
{
    EXPECT_EQ(ownTileWidthStep(QIM_ORDER_PIXEL, QIM_DEPTH_8U, 4, 3, 8), 24);
    EXPECT_EQ(ownTileWidthStep(QIM_ORDER_PLANE, QIM_DEPTH_8U, 16, 3, 8), 16);
    EXPECT_EQ(ownTileWidthStep(QIM_ORDER_PIXEL, QIM_DEPTH_1U, 4, 1, 40), 8);
    ImagePtr plain = counting(16, 16);
    EXPECT_EQ(ownTileRowBytes(plain.get()), 0);
    TiledImage tiled(plain.get(), 16, 8);
    EXPECT_EQ(ownTileRowBytes(tiled.header()), 16);
}

} // namespace
