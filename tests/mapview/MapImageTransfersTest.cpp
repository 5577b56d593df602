// Remote map images fetched apart from the tile worker: a slow one holds back
// only its own map's tiles, one transfer serves all of them and ends with the
// last that waits for it, what it brought is kept, only so many run at once,
// and no job is queued after its tile has let go of it.
#include <gtest/gtest.h>

#include <chrono>

#include "mapview/MapImageTransfers.h"
#include "mapview/TileWorker.h"
#include "tests/mapview/MapTestSupport.h"

namespace {

using namespace std::chrono_literals;

const QRgb kBackground = qRgb(255, 0, 255);

std::string Remote(const std::string& name) { return "http://maps.example/" + name; }

class MapImageTransfersTest : public ::testing::Test {
 protected:
  // A render of tile into its own image of 40 x 20, queued as the view does.
  struct CRender {
    explicit CRender(CTile* tile) : tile(tile), target(Filled(40, 20, kBackground)) {
      job = tile->Enqueue(&target, QRectF(0, 0, 40, 20), nullptr, TileReadyEventType());
    }
    bool Done() const { return tile->IsDone(job); }
    bool Untouched() const { return CountPixelsOff(target, target.rect(), kBackground) == 0; }
    CTile* tile;
    QImage target;
    CThreadJob* job;
  };

  CRender& Start(CTile* tile) { return *renders.emplace_back(std::make_unique<CRender>(tile)); }

  // Maps side by side, a degree wide each, from longitude 140 on.
  void LoadSideBySide(const std::vector<std::string>& hrefs) {
    std::vector<std::string> maps;
    for (std::size_t i = 0; i < hrefs.size(); ++i) {
      maps.push_back(MapElement(hrefs[i], 35, 140.0 + double(i), 34.5, 141.0 + double(i)));
    }
    catalog = folder.Load(maps, worker, 64 << 20, fetch.Fetcher());
    catalog->BuildTiles({35, 140, 34.5, 140.0 + double(hrefs.size())}, nullptr);
  }

  CMapFolder folder;
  CHeldFetch fetch;
  const std::string png = EncodedAs(MakeColumnsImage(), "PNG");
  CWorker worker{TileWorkerHooks()};
  std::vector<std::unique_ptr<CRender>> renders;
  std::unique_ptr<CMapCatalog> catalog;  // goes before the worker and the images
};

TEST_F(MapImageTransfersTest, ASlowRemoteImageHoldsBackOnlyTheTilesOfItsOwnMap) {
  fetch.Answer(Remote("quick.png"), png);
  LoadSideBySide({Remote("silent.png"), Remote("drip.png"), "columns.png", Remote("quick.png")});
  std::vector<CTile*> tiles = TilesOf(*catalog);
  ASSERT_EQ(tiles.size(), 4u);
  for (CTile* tile : tiles) Start(tile);

  // Both slow images are on their way at once, and the other two maps draw.
  ASSERT_TRUE(WaitUntil([&] {
    return fetch.Asked(Remote("silent.png")) == 1 && fetch.Asked(Remote("drip.png")) == 1;
  }));
  ASSERT_TRUE(WaitUntil([&] { return renders[2]->Done() && renders[3]->Done(); }));
  EXPECT_EQ(renders[2]->target.pixel(0, 0), MapColourAt(0, 0));
  EXPECT_EQ(renders[3]->target.pixel(39, 19), MapColourAt(999, 499));
  EXPECT_FALSE(renders[0]->Done() || renders[1]->Done());
  EXPECT_TRUE(renders[0]->Untouched() && renders[1]->Untouched());

  // One of them comes; the other still waits, until its tile lets it go.
  fetch.Answer(Remote("drip.png"), png);
  ASSERT_TRUE(WaitUntil([&] { return renders[1]->Done(); }));
  EXPECT_EQ(renders[1]->target.pixel(39, 0), MapColourAt(999, 0));
  EXPECT_FALSE(renders[0]->Done());
  const auto start = std::chrono::steady_clock::now();
  tiles[0]->Cancel(renders[0]->job);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_TRUE(WaitUntil([&] { return fetch.Stopped(Remote("silent.png")) == 1; }));
  EXPECT_TRUE(renders[0]->Untouched());
}

TEST_F(MapImageTransfersTest, OneTransferServesAMapsTilesEndsWithTheLastAndWhatItBroughtIsKept) {
  const std::string a = Remote("a.png");
  LoadSideBySide({a, Remote("gone.png")});
  catalog->SetTileSize(0.25, 1);
  auto build = [&](double bottom) {
    catalog->BuildTiles({35, 140, bottom, 141}, nullptr);
    return TilesOf(*catalog);
  };
  std::vector<CTile*> tiles = build(34.5);
  ASSERT_EQ(tiles.size(), 2u);
  CThreadJob* upperJob = Start(tiles[0]).job;
  Start(tiles[1]);
  ASSERT_TRUE(WaitUntil([&] { return fetch.Asked(a) == 1; }));
  tiles[0]->Cancel(upperJob);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(fetch.Stopped(a), 0);  // the lower tile still waits
  // It leaves the view: nobody waits any more.
  const auto start = std::chrono::steady_clock::now();
  build(34.75);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_TRUE(WaitUntil([&] { return fetch.Stopped(a) == 1; }));

  // Nothing of it was kept: asked again, once for both tiles.
  tiles = build(34.5);
  const CRender& upper = Start(tiles[0]);
  const CRender& lower = Start(tiles[1]);
  ASSERT_TRUE(WaitUntil([&] { return fetch.Asked(a) == 2; }));
  fetch.Answer(a, png);
  ASSERT_TRUE(WaitUntil([&] { return upper.Done() && lower.Done(); }));
  EXPECT_EQ(upper.target.pixel(0, 0), MapColourAt(0, 0));
  EXPECT_EQ(lower.target.pixel(39, 19), MapColourAt(999, 499));

  // New tiles draw from the image kept; a failure is kept as well.
  fetch.Answer(Remote("gone.png"), "fail");
  catalog->SetTileSize(1, 1);
  catalog->BuildTiles({35, 140, 34.5, 142}, nullptr);
  tiles = TilesOf(*catalog);
  ASSERT_EQ(tiles.size(), 2u);
  for (int round = 0; round < 2; ++round) {
    const CRender& whole = Start(tiles[0]);
    const CRender& failed = Start(tiles[1]);
    ASSERT_TRUE(WaitUntil([&] { return whole.Done() && failed.Done(); }));
    EXPECT_EQ(whole.target.pixel(0, 0), MapColourAt(0, 0));
    EXPECT_EQ(failed.target.pixel(0, 0), qRgb(255, 255, 255));  // the error's ground
  }
  EXPECT_EQ(fetch.Asked(a), 2);
  EXPECT_EQ(fetch.Asked(Remote("gone.png")), 1);
}

TEST_F(MapImageTransfersTest, TransfersBeyondThoseRunningAtOnceWaitTheirTurn) {
  std::vector<std::string> hrefs;
  for (std::size_t i = 0; i < kMaxMapImageTransfers + 2; ++i) {
    hrefs.push_back(Remote(std::to_string(i) + ".png"));
  }
  LoadSideBySide(hrefs);
  std::vector<CTile*> tiles = TilesOf(*catalog);
  ASSERT_EQ(tiles.size(), hrefs.size());
  for (CTile* tile : tiles) Start(tile);
  const int most = static_cast<int>(kMaxMapImageTransfers);
  ASSERT_TRUE(WaitUntil([&] { return fetch.AskedInAll() == most; }));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(fetch.AskedInAll(), most);
  // A tile that lets its transfer go makes room for the next.
  tiles[0]->Cancel(renders[0]->job);
  ASSERT_TRUE(WaitUntil([&] { return fetch.Asked(hrefs[kMaxMapImageTransfers]) == 1; }));
  EXPECT_EQ(fetch.AskedInAll(), most + 1);

  // The catalogue goes with its transfers running and one still waiting.
  const auto start = std::chrono::steady_clock::now();
  catalog.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_EQ(fetch.Asked(hrefs.back()), 0);
}

TEST_F(MapImageTransfersTest, NoJobIsQueuedAfterItsTileLetItGoWhateverTheTiming) {
  // The image's arrival races with the cancel: a new catalogue each round,
  // so that nothing is kept from the round before.
  fetch.Answer(Remote("a.png"), EncodedAs(Filled(4, 4, qRgb(1, 2, 3)), "PNG"));
  QImage target = Filled(8, 8, kBackground);
  for (int round = 0; round < 300; ++round) {
    LoadSideBySide({Remote("a.png")});
    CTile* tile = TilesOf(*catalog).at(0);
    CThreadJob* job = tile->Enqueue(&target, QRectF(0, 0, 8, 8), nullptr, TileReadyEventType());
    if (round % 3 == 0) std::this_thread::yield();
    if (round % 4 == 0) {
      ASSERT_TRUE(WaitUntil([&] { return tile->IsDone(job); })) << round;
      EXPECT_EQ(target.pixel(7, 7), qRgb(1, 2, 3));
    }
    // A job queued after this would run freed (ASan watches).
    tile->Cancel(job);
    catalog.reset();
  }
}

}  // namespace
