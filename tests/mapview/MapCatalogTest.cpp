// The map catalogue: reading "maps.xml", maps that cannot be read, and the
// cutting of maps into tiles.
#include "mapview/MapCatalog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cfloat>
#include <limits>
#include <set>

#include "mapview/MapEntry.h"
#include "tests/location/FileTestSupport.h"
#include "tests/mapview/MapTestSupport.h"

namespace {

class CReleaseLog : public CTileListener {
 public:
  void OnTileReleased(CTile* tile) override { released.push_back(tile); }
  std::vector<CTile*> released;
};

std::vector<std::vector<double>> RectsOf(CMapSet& set) {
  std::vector<std::vector<double>> rects;
  for (CTile* tile : TilesOf(set)) {
    const CGeoRect& r = tile->GetRect();
    rects.push_back({r.top, r.left, r.bottom, r.right});
  }
  return rects;
}

class MapCatalogTest : public ::testing::Test {
 protected:
  CMapFolder folder;
  CWorker worker;
  CReleaseLog listener;
};

TEST_F(MapCatalogTest, ReadsCornersClipsAndImagesAndReportsTheMapsItCannotRead) {
  std::string infinite = MapElement("inf.png", 35, 140, 34, 141);
  infinite.replace(infinite.find("35.000000"), 9, "1e999");
  auto catalog = folder.Load(
      {MapElement("a.png", 35, 140, 34.5, 141, "<clip top=\"10\"/>"), "<map href=\"x.png\"/>",
       MapElement("/abs/b.png", 36, 139, 35, 140,
                  "<clip top=\" +7px\" left=\"-3\" bottom=\"x5\" right=\"99999999999\"/>"),
       "<map><position corner=\"topleft\"/></map>", infinite},
      worker);
  ASSERT_EQ(catalog->GetMapCount(), 2u);
  EXPECT_EQ(catalog->GetMapErrors(),
            (std::vector<std::string>{
                "Invalid Map 2: XML Node Not Found: position[@corner='topleft']",
                "Invalid Map 4: XML Node Not Found: @href",
                "Invalid Map 5: Invalid Position: position[@corner='topleft']"}));
  EXPECT_EQ(catalog->GetTileLoadFactor(), 0.8);
  EXPECT_EQ(catalog->GetTileSize(), std::make_pair(DBL_MAX, DBL_MAX));
  const CMapEntry& a = catalog->GetMap(0);
  EXPECT_EQ(a.imageLocation, folder.PathOf("a.png"));
  EXPECT_EQ(std::vector<double>({a.top, a.left, a.bottom, a.right}),
            std::vector<double>({35, 140, 34.5, 141}));
  // Only "top" given: the other three are 0.
  EXPECT_EQ(std::vector<int>({a.clipTop, a.clipLeft, a.clipBottom, a.clipRight}),
            std::vector<int>({10, 0, 0, 0}));
  // The leading number of the text; none is 0; beyond 32 bits held at the end.
  const CMapEntry& b = catalog->GetMap(1);
  EXPECT_EQ(b.imageLocation, "/abs/b.png");
  EXPECT_EQ(std::vector<int>({b.clipTop, b.clipLeft, b.clipBottom, b.clipRight}),
            std::vector<int>({7, -3, 0, std::numeric_limits<int32_t>::max()}));
  EXPECT_EQ(ParseClipValue("-99999999999"), std::numeric_limits<int32_t>::min());

  // A new catalogue is empty, and creating never replaces one that is there.
  const std::string created = folder.PathOf("new.xml");
  EXPECT_EQ(CMapCatalog(created, true, {{}, 1, &worker}).GetMapCount(), 0u);
  EXPECT_EQ(CMapCatalog(created, false, {{}, 1, &worker}).GetMapCount(), 0u);
  EXPECT_THROW(CMapCatalog(created, true, {{}, 1, &worker}), std::exception);
}

TEST_F(MapCatalogTest, CornersNamingNoFiniteNumberLeaveTheMapOutAndTextWithoutANumberIsZero) {
  // Each text in turn as the top-left latitude, then as the bottom-right
  // longitude.
  const std::vector<std::string> texts = {"nan", "NaN", "inf", "-inf", " +Infinity", "north"};
  std::vector<std::string> maps;
  for (const std::string& text : texts) {
    std::string map = MapElement("a.png", 35, 140, 34.5, 141);
    map.replace(map.find("35.000000"), 9, text);
    maps.push_back(map);
    map = MapElement("a.png", 35, 140, 34.5, 141);
    map.replace(map.find("141.000000"), 10, text);
    maps.push_back(map);
  }
  auto catalog = folder.Load(maps, worker);

  std::vector<std::string> expected;
  for (int map = 1; map <= 10; ++map) {
    expected.push_back("Invalid Map " + std::to_string(map) + ": Invalid Position: position[@corner='" +
                       (map % 2 ? "topleft" : "bottomright") + "']");
  }
  EXPECT_EQ(catalog->GetMapErrors(), expected);
  ASSERT_EQ(catalog->GetMapCount(), 2u);
  EXPECT_EQ(catalog->GetMap(0).top, 0);
  EXPECT_EQ(catalog->GetMap(1).right, 0);
}

TEST_F(MapCatalogTest, ACatalogueThatIsNoRegularFileIsRefusedUnread) {
  const std::string fifo = folder.PathOf("maps.xml");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string text;
  EXPECT_TRUE(ReturnsWithoutWaitingOn(fifo, [&] {
    text = ThrownText([&] { CMapCatalog(fifo, false, {{}, 1, &worker}); });
  }));
  EXPECT_EQ(text, "Loading XML File Failed: " + fifo + "\nNot a regular file");
  const std::string folderPath = folder.PathOf("maps-folder.xml");
  ASSERT_EQ(::mkdir(folderPath.c_str(), 0700), 0);
  EXPECT_EQ(ThrownText([&] { CMapCatalog(folderPath, false, {{}, 1, &worker}); }),
            "Loading XML File Failed: " + folderPath + "\nNot a regular file");
}

TEST_F(MapCatalogTest, AtTheFirstTileSizeEachMapInViewIsOneTileAndTouchingIsNotInView) {
  auto catalog = folder.Load({MapElement("a.png", 35, 140, 34.5, 141),
                              MapElement("b.png", 34.5, 141, 34, 142),
                              MapElement("far.png", 10, 10, 9, 11)},
                             worker);
  catalog->BuildTiles({35.2, 140.5, 34.2, 141.5}, &listener);
  EXPECT_EQ(RectsOf(*catalog),
            (std::vector<std::vector<double>>{{35, 140, 34.5, 141}, {34.5, 141, 34, 142}}));
  // Views that share only an edge with map a.
  for (const CGeoRect& view : {CGeoRect{35, 139, 34.5, 140}, CGeoRect{35, 141, 34.6, 141.5},
                               CGeoRect{36, 140, 35, 140.9}, CGeoRect{34.5, 140, 34, 140.9}}) {
    catalog->BuildTiles(view, &listener);
    EXPECT_TRUE(TilesOf(*catalog).empty());
  }

  // Tenth-of-a-degree columns start at L + i x 0.1 and end where the next
  // one starts, or at the map's edge.
  catalog = folder.Load({MapElement("a.png", 35, 140, 34.95, 140.25)}, worker);
  catalog->SetTileSize(0.1, 0.1);
  catalog->BuildTiles({36, 139, 34, 141}, &listener);
  const double second = 140 + 0.1, third = 140 + 2 * 0.1;
  EXPECT_EQ(RectsOf(*catalog),
            (std::vector<std::vector<double>>{{35, 140, 34.95, second},
                                              {35, second, 34.95, second + 0.1},
                                              {35, third, 34.95, 140.25}}));
}

TEST_F(MapCatalogTest, NeighbouringTilesShareTheirEdgesExactly) {
  // With these steps L + i x d + d and L + (i + 1) x d differ in their last
  // bit for some i, on both axes.
  auto catalog = folder.Load({MapElement("a.png", 35, 140, 34, 141)}, worker);
  catalog->SetTileSize(0.07, 0.1);
  catalog->BuildTiles({35, 140, 34, 141}, &listener);
  std::set<double> tops, lefts;
  for (CTile* tile : TilesOf(*catalog)) {
    tops.insert(tile->GetRect().top);
    lefts.insert(tile->GetRect().left);
  }
  ASSERT_EQ(tops.size(), 15u);
  ASSERT_EQ(lefts.size(), 10u);
  for (CTile* tile : TilesOf(*catalog)) {
    const CGeoRect& r = tile->GetRect();
    if (r.bottom != 34) {
      EXPECT_EQ(tops.count(r.bottom), 1u) << r.bottom;
    }
    if (r.right != 141) {
      EXPECT_EQ(lefts.count(r.right), 1u) << r.right;
    }
  }
}

TEST_F(MapCatalogTest, BuildingAgainKeepsTheTilesStillInViewWithTheirJobs) {
  auto catalog = folder.Load({MapElement("missing.png", 35, 140, 34, 141)}, worker);
  catalog->SetTileSize(0.5, 0.5);
  catalog->BuildTiles({35, 140, 34, 141}, &listener);
  const std::vector<CTile*> first = TilesOf(*catalog);
  ASSERT_EQ(first.size(), 4u);  // column by column, top down
  QImage target(8, 8, QImage::Format_RGB32);
  CThreadJob* job = first[0]->Enqueue(&target, QRectF(0, 0, 8, 8), nullptr, TileReadyEventType());
  catalog->BuildTiles({35, 140, 34, 141}, &listener);
  EXPECT_EQ(TilesOf(*catalog), first);
  EXPECT_TRUE(listener.released.empty());
  ASSERT_TRUE(WaitUntil([&] { return first[0]->IsDone(job); }));

  // Scrolling east drops the western column only.
  catalog->BuildTiles({35, 140.6, 34, 141.6}, &listener);
  EXPECT_EQ(TilesOf(*catalog), (std::vector<CTile*>{first[2], first[3]}));
  EXPECT_EQ(listener.released, (std::vector<CTile*>{first[0], first[1]}));
  // A new tile size replaces every tile.
  catalog->SetTileSize(0.25, 0.5);
  catalog->BuildTiles({35, 140, 34, 141}, &listener);
  EXPECT_EQ(listener.released.size(), 4u);
  EXPECT_EQ(TilesOf(*catalog).size(), 8u);
  catalog.reset();
  EXPECT_EQ(listener.released.size(), 12u);
}

TEST_F(MapCatalogTest, TileExtentsThatCannotStepGiveOneTilePerMap) {
  auto catalog = folder.Load(
      {MapElement("a.png", 35, 140, 34, 141), MapElement("b.png", 34, 141, 33, 142)}, worker);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (const auto& [latitude, longitude] : std::vector<std::pair<double, double>>{
           {0, 0}, {-0.5, 0.5}, {0.5, -1}, {nan, 0.5}, {0.5, inf}, {-inf, nan}}) {
    catalog->SetTileSize(latitude, longitude);
    catalog->BuildTiles({36, 139, 32, 143}, &listener);
    // A usable extent on the other axis still cuts that way.
    const std::size_t cuts = (latitude == 0.5 ? 2 : 1) * (longitude == 0.5 ? 2 : 1);
    EXPECT_EQ(TilesOf(*catalog).size(), 2 * cuts) << latitude << " x " << longitude;
  }
}

}  // namespace
