// Image AND: the whole-buffer path, alpha and channel of interest, regions,
// 1U rows, write masks, tiled images and the refusals.
#include "QimTestImages.h"

#include <vector>

using namespace qimtest;

namespace {

using QimAndTest = QimTest;

TEST_F(QimAndTest, SameLayoutAndsEveryByteWithPadding)
{
    ImagePtr a = makeImage(3, QIM_DEPTH_8U, 5, 3), b = makeImage(3, QIM_DEPTH_8U, 5, 3),
             d = makeImage(3, QIM_DEPTH_8U, 5, 3);
    scramble(a.get(), 1);
    scramble(b.get(), 2);
    scramble(d.get(), 3);
    qimAnd(a.get(), b.get(), d.get());
    EXPECT_EQ(qimGetErrStatus(), 0);
    ASSERT_EQ(d->widthStep, 16); // one padding byte per row
    auto pa = bytes(a.get()), pb = bytes(b.get()), pd = bytes(d.get());
    for (size_t i = 0; i < pd.size(); ++i)
        ASSERT_EQ(pd[i], pa[i] & pb[i]) << i;
}

TEST_F(QimAndTest, AlphaChannelIsNotWritten)
{
    ImagePtr a = makeImage(4, QIM_DEPTH_8U, 3, 2, QIM_ORDER_PIXEL, 4, 4);
    ImagePtr b = makeImage(4, QIM_DEPTH_8U, 3, 2, QIM_ORDER_PIXEL, 4, 4);
    ImagePtr d = makeImage(4, QIM_DEPTH_8U, 3, 2, QIM_ORDER_PIXEL, 4, 4);
    scramble(a.get(), 4);
    scramble(b.get(), 5);
    scramble(d.get(), 6);
    auto before = bytes(d.get());
    qimAnd(a.get(), b.get(), d.get());
    EXPECT_EQ(qimGetErrStatus(), 0);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(get(d.get(), x, y, c), get(a.get(), x, y, c) & get(b.get(), x, y, c));
            EXPECT_EQ(*at(d.get(), x, y, 3), before[at(d.get(), x, y, 3) - at(d.get(), 0, 0)]);
        }

    // A three-channel source without alpha matches an alpha destination's colours.
    ImagePtr plain = makeImage(3, QIM_DEPTH_8U, 3, 2);
    scramble(plain.get(), 7);
    before = bytes(d.get());
    qimAnd(plain.get(), plain.get(), d.get());
    EXPECT_EQ(qimGetErrStatus(), 0);
    for (int x = 0; x < 3; ++x) {
        EXPECT_EQ(get(d.get(), x, 1, 2), get(plain.get(), x, 1, 2));
        EXPECT_EQ(*at(d.get(), x, 1, 3), before[at(d.get(), x, 1, 3) - at(d.get(), 0, 0)]);
    }
}

TEST_F(QimAndTest, ChannelOfInterestReadsOneChannel)
{
    QimRoi roi{2, 0, 0, 4, 2};
    ImagePtr a = makeImage(3, QIM_DEPTH_16U, 4, 2);
    ImagePtr b = makeImage(1, QIM_DEPTH_16U, 4, 2);
    ImagePtr d = makeImage(1, QIM_DEPTH_16U, 4, 2);
    scramble(a.get(), 8);
    qimDeallocate(b.get(), QIM_FREE_DATA);
    qimAllocateImage(b.get(), 1, 0xFFFF);
    a->roi = &roi;
    qimAnd(a.get(), b.get(), d.get());
    a->roi = nullptr;
    EXPECT_EQ(qimGetErrStatus(), 0);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(get(d.get(), x, y), get(a.get(), x, y, 1));

    // Plane order: the chosen plane.
    ImagePtr planes = makeImage(3, QIM_DEPTH_32S, 4, 2, QIM_ORDER_PLANE);
    ImagePtr out = makeImage(3, QIM_DEPTH_32S, 4, 2, QIM_ORDER_PLANE);
    scramble(planes.get(), 9);
    scramble(out.get(), 10);
    auto before = bytes(out.get());
    QimRoi third{3, 1, 0, 3, 2};
    planes->roi = &third;
    out->roi = &third;
    qimAnd(planes.get(), planes.get(), out.get());
    planes->roi = out->roi = nullptr;
    EXPECT_EQ(qimGetErrStatus(), 0);
    EXPECT_EQ(get(out.get(), 2, 1, 2), get(planes.get(), 2, 1, 2));
    EXPECT_EQ(get(out.get(), 0, 1, 2), *reinterpret_cast<uint32_t*>(&before[at(out.get(), 0, 1, 2) - at(out.get(), 0, 0)]));
    EXPECT_EQ(get(out.get(), 2, 1, 1), *reinterpret_cast<uint32_t*>(&before[at(out.get(), 2, 1, 1) - at(out.get(), 0, 0)]));
}

TEST_F(QimAndTest, WrittenAreaIsTheSmallestRegion)
{
    ImagePtr a = makeImage(1, QIM_DEPTH_8U, 10, 3), b = makeImage(1, QIM_DEPTH_8U, 12, 4),
             d = makeImage(1, QIM_DEPTH_8U, 8, 5);
    scramble(a.get(), 11);
    scramble(b.get(), 12);
    qimAnd(a.get(), b.get(), d.get());
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(get(d.get(), x, y), y < 3 ? get(a.get(), x, y) & get(b.get(), x, y) : 0u);

    // Regions start where their ROIs do and are clipped to their images.
    QimRoi ra{0, 4, 1, 100, 100}, rd{0, 1, 2, 3, 1};
    a->roi = &ra;
    d->roi = &rd;
    qimDeallocate(d.get(), QIM_FREE_DATA);
    qimAllocateImage(d.get(), 1, 0x77);
    qimAnd(a.get(), b.get(), d.get());
    a->roi = d->roi = nullptr;
    EXPECT_EQ(qimGetErrStatus(), 0);
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(get(d.get(), x, 2), x >= 1 && x < 4 ? get(a.get(), x + 3, 1) & get(b.get(), x - 1, 0) : 0x77u) << x;
    EXPECT_EQ(get(d.get(), 1, 1), 0x77u);
}

TEST_F(QimAndTest, OneBitRowsKeepTheBitsAround)
{
    ImagePtr a = makeImage(1, QIM_DEPTH_1U, 20, 2), b = makeImage(1, QIM_DEPTH_1U, 20, 2),
             d = makeImage(1, QIM_DEPTH_1U, 24, 2);
    scramble(a.get(), 13);
    scramble(b.get(), 14);
    scramble(d.get(), 15);
    auto before = d.get()->imageData ? bytes(d.get()) : std::vector<unsigned char>();
    QimRoi ra{0, 5, 0, 13, 2}, rb{0, 2, 1, 13, 1}, rd{0, 3, 0, 13, 2};
    a->roi = &ra;
    b->roi = &rb;
    d->roi = &rd;
    qimAnd(a.get(), b.get(), d.get());
    a->roi = b->roi = d->roi = nullptr;
    EXPECT_EQ(qimGetErrStatus(), 0);
    auto* row = static_cast<unsigned char*>(d->imageData);
    EXPECT_EQ(row[0] & 0xE0, before[0] & 0xE0) << "pixels 0..2 keep their bits";
    for (int x = 0; x < 24; ++x) {
        int expected = x >= 3 && x < 16 ? (int)(get(a.get(), x + 2, 0) & get(b.get(), x - 1, 1))
                                        : (before[x / 8] >> (7 - x % 8)) & 1;
        EXPECT_EQ((int)get(d.get(), x, 0), expected) << x;
    }
    EXPECT_EQ(row[d->widthStep], before[d->widthStep]) << "second row untouched";
}

TEST_F(QimAndTest, InPlaceOneBit)
{
    ImagePtr a = makeImage(1, QIM_DEPTH_1U, 37, 3), b = makeImage(1, QIM_DEPTH_1U, 37, 3);
    scramble(a.get(), 16);
    scramble(b.get(), 17);
    ImagePtr copy = makeImage(1, QIM_DEPTH_1U, 37, 3);
    std::memcpy(copy->imageData, a->imageData, (size_t)a->dataSize);
    QimRoi whole{1, 0, 0, 37, 3};
    b->roi = &whole; // not the whole-buffer path: bit rows
    qimAnd(a.get(), b.get(), a.get());
    b->roi = nullptr;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 37; ++x)
            ASSERT_EQ(get(a.get(), x, y), get(copy.get(), x, y) & get(b.get(), x, y));
}

TEST_F(QimAndTest, MasksCombineToTheirSmallestRegion)
{
    ImagePtr a = makeImage(1, QIM_DEPTH_8U, 20, 2), b = makeImage(1, QIM_DEPTH_8U, 20, 2),
             d = makeImage(1, QIM_DEPTH_8U, 20, 2);
    scramble(a.get(), 18);
    scramble(b.get(), 19);
    ImagePtr wide = makeImage(1, QIM_DEPTH_1U, 16, 2), narrow = makeImage(1, QIM_DEPTH_1U, 8, 2);
    qimDeallocate(wide.get(), QIM_FREE_DATA);
    qimAllocateImage(wide.get(), 1, 1);
    setBit(wide.get(), 3, 0, 0);
    qimDeallocate(narrow.get(), QIM_FREE_DATA);
    qimAllocateImage(narrow.get(), 1, 1);
    setBit(narrow.get(), 5, 1, 0);
    a->mask = wide.get();
    d->mask = narrow.get();
    qimAnd(a.get(), b.get(), d.get());
    a->mask = d->mask = nullptr;
    EXPECT_EQ(qimGetErrStatus(), 0);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 20; ++x) {
            bool written = x < 8 && !(x == 3 && y == 0) && !(x == 5 && y == 1);
            EXPECT_EQ(get(d.get(), x, y), written ? get(a.get(), x, y) & get(b.get(), x, y) : 0u)
                << x << "," << y;
        }
}

TEST_F(QimAndTest, OneMaskIsReadFromItsRegion)
{
    ImagePtr a = makeImage(2, QIM_DEPTH_16U, 6, 2), d = makeImage(2, QIM_DEPTH_16U, 6, 2);
    scramble(a.get(), 20);
    ImagePtr mask = makeImage(1, QIM_DEPTH_1U, 16, 2);
    setBit(mask.get(), 11, 1, 1); // region pixel (1, 0)
    setBit(mask.get(), 14, 1, 1); // region pixel (4, 0)
    QimRoi mroi{0, 10, 1, 6, 1};
    mask->roi = &mroi;
    d->mask = mask.get();
    qimAnd(a.get(), a.get(), d.get());
    d->mask = nullptr;
    mask->roi = nullptr;
    EXPECT_EQ(qimGetErrStatus(), 0);
    for (int x = 0; x < 6; ++x)
        for (int c = 0; c < 2; ++c)
            EXPECT_EQ(get(d.get(), x, 0, c), x == 1 || x == 4 ? get(a.get(), x, 0, c) : 0u);
    EXPECT_EQ(get(d.get(), 1, 1, 0), 0u) << "the mask region is one row high";

    // A masked 1U destination: bits are set or cleared only under the mask.
    ImagePtr ones = makeImage(1, QIM_DEPTH_1U, 8, 1), bits = makeImage(1, QIM_DEPTH_1U, 8, 1);
    static_cast<unsigned char*>(ones->imageData)[0] = 0xF0;
    static_cast<unsigned char*>(bits->imageData)[0] = 0x3C;
    ImagePtr m = makeImage(1, QIM_DEPTH_1U, 8, 1);
    static_cast<unsigned char*>(m->imageData)[0] = 0x66;
    bits->mask = m.get();
    qimAnd(ones.get(), bits.get(), bits.get());
    bits->mask = nullptr;
    EXPECT_EQ(static_cast<unsigned char*>(bits->imageData)[0], (0x3C & ~0x66) | (0xF0 & 0x3C & 0x66));
}

TEST_F(QimAndTest, MasksWithoutOverlapWriteNothing)
{
    ImagePtr a = makeImage(1, QIM_DEPTH_8U, 4, 2), d = makeImage(1, QIM_DEPTH_8U, 4, 2);
    scramble(a.get(), 21);
    ImagePtr m1 = makeImage(1, QIM_DEPTH_1U, 8, 2), m2 = makeImage(1, QIM_DEPTH_1U, 8, 2);
    QimRoi outside{0, 9, 0, 4, 1};
    m2->roi = &outside;
    a->mask = m1.get();
    d->mask = m2.get();
    qimAnd(a.get(), a.get(), d.get());
    a->mask = d->mask = nullptr;
    m2->roi = nullptr;
    EXPECT_EQ(qimGetErrStatus(), 0);
    EXPECT_EQ(bytes(d.get()), std::vector<unsigned char>(8, 0));
}

TEST_F(QimAndTest, Refusals)
{
    ImagePtr a8 = makeImage(1, QIM_DEPTH_8U, 4, 4), d16 = makeImage(1, QIM_DEPTH_16U, 4, 4);
    scramble(a8.get(), 22);
    auto before = bytes(d16.get());
    qimAnd(a8.get(), d16.get(), d16.get());
    EXPECT_EQ(qimGetErrStatus(), -5);
    EXPECT_EQ(bytes(d16.get()), before);

    ImagePtr planes = makeImage(1, QIM_DEPTH_8U, 4, 4, QIM_ORDER_PLANE);
    ownSetErrStatus(0);
    qimAnd(a8.get(), planes.get(), a8.get());
    EXPECT_EQ(qimGetErrStatus(), -5) << "data orders differ";

    ImagePtr bits = makeImage(1, QIM_DEPTH_1U, 4, 4), bitPlanes = makeImage(1, QIM_DEPTH_1U, 4, 4, QIM_ORDER_PLANE);
    ownSetErrStatus(0);
    qimAnd(bits.get(), bitPlanes.get(), bits.get());
    EXPECT_EQ(qimGetErrStatus(), 0) << "1U ignores the data order";

    ImagePtr rgb = makeImage(3, QIM_DEPTH_8U, 4, 4);
    ownSetErrStatus(0);
    qimAnd(rgb.get(), a8.get(), a8.get());
    EXPECT_EQ(qimGetErrStatus(), -5) << "channel counts differ";

    ownSetErrStatus(0);
    qimAnd(nullptr, a8.get(), a8.get());
    EXPECT_EQ(qimGetErrStatus(), -9);
    ownSetErrStatus(0);
    QimImage broken = *a8;
    broken.rowAlign = 3;
    qimAnd(a8.get(), a8.get(), &broken);
    EXPECT_EQ(qimGetErrStatus(), -21);

    // 32F is refused, also after a combined mask was made (which is freed).
    ImagePtr f(qimCreateImageHeader(1, 0, QIM_DEPTH_32F, "G", "G", 0, 0, 4, 4, 4, nullptr, nullptr,
                                    nullptr, nullptr));
    std::vector<float> pixels(16, 1.0f);
    f->imageData = pixels.data();
    ImagePtr m1 = makeImage(1, QIM_DEPTH_1U, 4, 4), m2 = makeImage(1, QIM_DEPTH_1U, 4, 4);
    QimImage other = *f;
    other.mask = m2.get();
    f->mask = m1.get();
    ownSetErrStatus(0);
    qimAnd(f.get(), &other, f.get());
    EXPECT_EQ(qimGetErrStatus(), -5);
    f->mask = nullptr;
    f->imageData = nullptr;
}

// Tiled images of different tile sizes, one source being the destination:
// the result matches the plain AND and every tile is given back.
TEST_F(QimAndTest, TiledMatchesPlain)
{
    struct Format {
        int channels, depth, order;
    };
    const Format formats[] = {{3, QIM_DEPTH_8U, QIM_ORDER_PIXEL},
                              {2, QIM_DEPTH_16S, QIM_ORDER_PLANE},
                              {1, QIM_DEPTH_1U, QIM_ORDER_PIXEL}};
    for (const Format& f : formats) {
        ImagePtr a = makeImage(f.channels, f.depth, 30, 21, f.order);
        ImagePtr b = makeImage(f.channels, f.depth, 27, 25, f.order);
        ImagePtr d = makeImage(f.channels, f.depth, 33, 20, f.order);
        scramble(a.get(), 23);
        scramble(b.get(), 24);
        scramble(d.get(), 25);
        ImagePtr mask = makeImage(1, QIM_DEPTH_1U, 40, 30);
        scramble(mask.get(), 26);
        QimRoi ra{0, 3, 2, 24, 17}, rb{0, 1, 5, 26, 19}, rd{0, 6, 1, 25, 18}, rm{0, 7, 3, 30, 20};
        a->roi = &ra;
        b->roi = &rb;
        d->roi = &rd;
        mask->roi = &rm;
        d->mask = mask.get();

        TiledImage ta(a.get(), 8, 8), td(d.get(), 16, 8);
        ta.header()->roi = &ra;
        td.header()->roi = &rd;
        td.header()->mask = mask.get();

        qimAnd(a.get(), b.get(), d.get());
        ASSERT_EQ(qimGetErrStatus(), 0);
        qimAnd(ta.header(), b.get(), td.header());
        ASSERT_EQ(qimGetErrStatus(), 0);
        ImagePtr result = makeImage(f.channels, f.depth, 33, 20, f.order);
        auto samePixels = [&] {
            td.store(result.get());
            for (int c = 0; c < f.channels; ++c)
                for (int y = 0; y < 20; ++y)
                    for (int x = 0; x < 33; ++x)
                        if (get(result.get(), x, y, c) != get(d.get(), x, y, c))
                            return false;
            return true;
        };
        EXPECT_TRUE(samePixels()) << "depth " << f.depth;
        EXPECT_EQ(ta.held + td.held, 0);
        EXPECT_FALSE(ta.releaseMismatch || td.releaseMismatch);
        for (const TileEvent& e : td.events)
            EXPECT_NE(e.mode, QIM_TILE_READ) << "the destination's tiles are got for writing";

        // In place on the tiled destination: its tiles serve as the source too.
        td.events.clear();
        qimAnd(td.header(), b.get(), td.header());
        qimAnd(d.get(), b.get(), d.get());
        EXPECT_TRUE(samePixels()) << "in place, depth " << f.depth;
        EXPECT_EQ(td.held, 0);
        td.header()->roi = nullptr;
        td.header()->mask = nullptr;
        ta.header()->roi = nullptr;
        a->roi = b->roi = d->roi = mask->roi = nullptr;
        d->mask = nullptr;
    }
}

TEST_F(QimAndTest, MissingTileIsRefusedAndTilesAreGivenBack)
{
    ImagePtr plain = makeImage(1, QIM_DEPTH_8U, 32, 16);
    TiledImage a(plain.get(), 8, 8), d(plain.get(), 8, 8);
    d.missing.insert({2, 1});
    qimAnd(a.header(), plain.get(), d.header());
    EXPECT_EQ(qimGetErrStatus(), -5);
    EXPECT_EQ(a.held + d.held, 0);
    EXPECT_FALSE(a.releaseMismatch || d.releaseMismatch);
    // Every tile of a strip is got once, whatever the number of blocks in it.
    int readsOfFirst = 0;
    for (const TileEvent& e : a.events)
        readsOfFirst += e.column == 0 && e.row == 0 && e.mode == QIM_TILE_READ;
    EXPECT_EQ(readsOfFirst, 1);
}

} // namespace
