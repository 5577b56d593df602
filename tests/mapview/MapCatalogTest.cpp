// The map catalogue: reading "maps.xml", maps that cannot be read, and the
// cutting of maps into tiles.
#include "mapview/MapCatalog.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cfloat>
#include <cmath>
#include <fstream>
#include <limits>
#include <memory>
#include <set>
#include <stdexcept>

#include "mapview/MapEntry.h"
#include "tests/mapview/MapTestSupport.h"

namespace {

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  return text.replace(text.find(from), from.size(), to);
}

class CReleaseLog : public CTileListener {
 public:
  void OnTileReleased(CTile* tile) override { released.push_back(tile); }
  std::vector<CTile*> released;
};

std::vector<CGeoRect> RectsOf(CMapSet& set) {
  std::vector<CGeoRect> rects;
  for (CTile* tile : TilesOf(set)) rects.push_back(tile->GetRect());
  return rects;
}

void ExpectRect(const CGeoRect& rect, double top, double left, double bottom, double right) {
  EXPECT_DOUBLE_EQ(rect.top, top);
  EXPECT_DOUBLE_EQ(rect.left, left);
  EXPECT_DOUBLE_EQ(rect.bottom, bottom);
  EXPECT_DOUBLE_EQ(rect.right, right);
}

class MapCatalogTest : public ::testing::Test {
 protected:
  MapCatalogTest() { TestGuiApplication(); }

  std::string PathOf(const std::string& name) const {
    return folder.filePath(QString::fromStdString(name)).toStdString();
  }
  std::unique_ptr<CMapCatalog> Load(const std::vector<std::string>& maps) {
    WriteCatalog(PathOf("maps.xml"), maps);
    return std::make_unique<CMapCatalog>(PathOf("maps.xml"), false, CMapCatalogOptions{{}, 1 << 20, &worker});
  }

  QTemporaryDir folder;
  CWorker worker;
  CReleaseLog listener;
};

TEST_F(MapCatalogTest, ReadsMapsWithTheirCornersClipsAndResolvedImages) {
  auto catalog = Load({
      MapElement("a.png", 35, 140, 34.5, 141, "<clip top=\"10\"/>"),
      MapElement("/abs/b.png", 36, 139, 35, 140,
                 "<clip top=\" 7px\" left=\"-3\" bottom=\"x5\" right=\"99999999999\"/>"),
      MapElement("http://127.0.0.1/c.png", 1, 2, 0, 3),
  });
  ASSERT_EQ(catalog->GetMapCount(), 3u);
  EXPECT_TRUE(catalog->GetMapErrors().empty());
  EXPECT_EQ(catalog->GetTileLoadFactor(), 0.8);
  EXPECT_EQ(catalog->GetTileSize(), std::make_pair(DBL_MAX, DBL_MAX));

  const CMapEntry& a = catalog->GetMap(0);
  EXPECT_EQ(a.href, "a.png");
  EXPECT_EQ(a.imageLocation, PathOf("a.png"));
  EXPECT_DOUBLE_EQ(a.top, 35);
  EXPECT_DOUBLE_EQ(a.left, 140);
  EXPECT_DOUBLE_EQ(a.bottom, 34.5);
  EXPECT_DOUBLE_EQ(a.right, 141);
  // Only "top" given: the other three stay 0.
  EXPECT_EQ(std::vector<int>({a.clipTop, a.clipLeft, a.clipBottom, a.clipRight}),
            std::vector<int>({10, 0, 0, 0}));

  const CMapEntry& b = catalog->GetMap(1);
  EXPECT_EQ(b.imageLocation, "/abs/b.png");
  EXPECT_EQ(std::vector<int>({b.clipTop, b.clipLeft, b.clipBottom, b.clipRight}),
            std::vector<int>({7, -3, 0, std::numeric_limits<int32_t>::max()}));
  EXPECT_EQ(catalog->GetMap(2).imageLocation, "http://127.0.0.1/c.png");
}

TEST(MapEntryTest, ClipTextReadsTheLeadingNumberOnly) {
  EXPECT_EQ(ParseClipValue("12"), 12);
  EXPECT_EQ(ParseClipValue("  +8 pixels"), 8);
  EXPECT_EQ(ParseClipValue("\t-15"), -15);
  EXPECT_EQ(ParseClipValue("abc"), 0);
  EXPECT_EQ(ParseClipValue(""), 0);
  EXPECT_EQ(ParseClipValue("- 5"), 0);
  EXPECT_EQ(ParseClipValue("2147483647"), 2147483647);
  EXPECT_EQ(ParseClipValue("2147483648"), 2147483647);
  EXPECT_EQ(ParseClipValue("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(ParseClipValue("-99999999999999999999"), -2147483647 - 1);
}

TEST_F(MapCatalogTest, AMapThatCannotBeReadIsReportedAndTheOthersStillDraw) {
  const std::string noCorner =
      "<map href=\"x.png\"><position corner=\"topleft\"><datum>wgs84</datum>"
      "<latitude unit=\"degree\">35</latitude><longitude unit=\"degree\">140</longitude>"
      "</position></map>";
  auto catalog = Load({noCorner, MapElement("good.png", 35, 140, 34, 141),
                       "<map><position corner=\"topleft\"/></map>",
                       Replaced(MapElement("huge.png", 35, 140, 34, 141), "35.000000", "1e999")});
  ASSERT_EQ(catalog->GetMapCount(), 1u);
  EXPECT_EQ(catalog->GetMap(0).href, "good.png");
  EXPECT_EQ(catalog->GetMapErrors(),
            (std::vector<std::string>{
                "Invalid Map 1: XML Node Not Found: position[@corner='bottomright']",
                "Invalid Map 3: XML Node Not Found: @href",
                "Invalid Map 4: Invalid Position: position[@corner='topleft']"}));

  catalog->BuildTiles({36, 139, 33, 142}, &listener);
  const std::vector<CGeoRect> rects = RectsOf(*catalog);
  ASSERT_EQ(rects.size(), 1u);
  ExpectRect(rects[0], 35, 140, 34, 141);
}

TEST_F(MapCatalogTest, LoadingAndCreatingFollowTheXmlLayer) {
  EXPECT_THROW(CMapCatalog(PathOf("missing.xml"), false), std::runtime_error);
  WriteText(PathOf("points.xml"), "<points/>");
  EXPECT_THROW(CMapCatalog(PathOf("points.xml"), false), std::runtime_error);

  {
    CMapCatalog created(PathOf("new.xml"), true, CMapCatalogOptions{{}, 1, &worker});
    EXPECT_EQ(created.GetMapCount(), 0u);
  }
  CMapCatalog reloaded(PathOf("new.xml"), false, CMapCatalogOptions{{}, 1, &worker});
  EXPECT_EQ(reloaded.GetMapCount(), 0u);
  // Creating never replaces a catalogue that is there.
  EXPECT_THROW(CMapCatalog(PathOf("new.xml"), true), std::exception);
}

TEST_F(MapCatalogTest, AtTheFirstTileSizeEveryMapInViewIsOneTile) {
  auto catalog = Load({MapElement("a.png", 35, 140, 34.5, 141),
                       MapElement("b.png", 34.5, 141, 34, 142),
                       MapElement("far.png", 10, 10, 9, 11)});
  catalog->BuildTiles({35.2, 140.5, 34.2, 141.5}, &listener);
  const std::vector<CGeoRect> rects = RectsOf(*catalog);
  ASSERT_EQ(rects.size(), 2u);
  ExpectRect(rects[0], 35, 140, 34.5, 141);
  ExpectRect(rects[1], 34.5, 141, 34, 142);
}

TEST_F(MapCatalogTest, TenthOfADegreeTilesEndAtTheMapsEdge) {
  auto catalog = Load({MapElement("a.png", 35, 140, 34.75, 140.25)});
  catalog->SetTileSize(0.1, 0.1);
  EXPECT_EQ(catalog->GetTileSize(), std::make_pair(0.1, 0.1));
  catalog->BuildTiles({36, 139, 34, 141}, &listener);
  const std::vector<CGeoRect> rects = RectsOf(*catalog);
  ASSERT_EQ(rects.size(), 9u);
  // Column by column, each from the top down.
  const double lons[] = {140, 140 + 0.1, 140 + 2 * 0.1, 140.25};
  const double lats[] = {35, 35 - 0.1, 35 - 2 * 0.1, 34.75};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      SCOPED_TRACE(testing::Message() << "column " << i << " row " << j);
      ExpectRect(rects[i * 3 + j], lats[j], lons[i], lats[j + 1], lons[i + 1]);
    }
  }
  EXPECT_EQ(rects[2].bottom, 34.75);
  EXPECT_EQ(rects[8].right, 140.25);
}

TEST_F(MapCatalogTest, AMapThatOnlyTouchesTheViewGivesNoTile) {
  auto catalog = Load({MapElement("a.png", 35, 140, 34, 141)});
  const CGeoRect touching[] = {
      {35, 141, 34, 142},      // view begins at the map's right edge
      {35, 139, 34, 140},      // view ends at its left edge
      {36, 140, 35, 141},      // view ends at its top
      {34, 140, 33, 141},      // view begins at its bottom
  };
  for (const CGeoRect& view : touching) {
    catalog->BuildTiles(view, &listener);
    EXPECT_TRUE(TilesOf(*catalog).empty());
  }
  catalog->SetTileSize(0.5, 0.5);
  catalog->BuildTiles({35, 140.5, 34, 141}, &listener);  // left edge on a tile border
  for (const CGeoRect& rect : RectsOf(*catalog)) EXPECT_DOUBLE_EQ(rect.left, 140.5);
}

TEST_F(MapCatalogTest, BuildingAgainKeepsTheSameTilesAndTheirJobs) {
  auto catalog = Load({MapElement("missing.png", 35, 140, 34, 141)});
  catalog->SetTileSize(0.5, 0.5);
  const CGeoRect view{35, 140, 34, 141};
  catalog->BuildTiles(view, &listener);
  const std::vector<CTile*> first = TilesOf(*catalog);
  ASSERT_EQ(first.size(), 4u);
  QImage target(8, 8, QImage::Format_RGB32);
  CThreadJob* job = first[0]->Enqueue(&target, 0, 0, 8, 8, nullptr, TileReadyEventType());

  catalog->BuildTiles(view, &listener);
  EXPECT_EQ(TilesOf(*catalog), first);
  EXPECT_TRUE(listener.released.empty());
  ASSERT_TRUE(WaitUntil([&] { return first[0]->IsDone(job); }));

  // Scrolling keeps the tiles still in view and drops the others.
  catalog->BuildTiles({35, 140.6, 34, 141.6}, &listener);
  const std::vector<CTile*> scrolled = TilesOf(*catalog);
  EXPECT_EQ(std::set<CTile*>(scrolled.begin(), scrolled.end()),
            std::set<CTile*>({first[2], first[3]}));
  EXPECT_EQ(listener.released, (std::vector<CTile*>{first[0], first[1]}));

  // A new tile size replaces every tile.
  catalog->SetTileSize(0.25, 0.5);
  catalog->BuildTiles(view, &listener);
  EXPECT_EQ(listener.released.size(), 4u);
  EXPECT_EQ(TilesOf(*catalog).size(), 8u);
  catalog->ClearTiles();
  EXPECT_TRUE(TilesOf(*catalog).empty());
  EXPECT_EQ(listener.released.size(), 12u);
}

TEST_F(MapCatalogTest, TileExtentsThatCannotStepGiveOneTilePerMap) {
  auto catalog = Load({MapElement("a.png", 35, 140, 34, 141), MapElement("b.png", 34, 141, 33, 142)});
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const std::pair<double, double> extents[] = {{0, 0}, {-0.5, 0.5}, {0.5, -1}, {nan, 0.5},
                                               {0.5, inf}, {-inf, nan}};
  for (const auto& [latitude, longitude] : extents) {
    SCOPED_TRACE(testing::Message() << latitude << " x " << longitude);
    catalog->SetTileSize(latitude, longitude);
    catalog->BuildTiles({36, 139, 32, 143}, &listener);
    const std::vector<CGeoRect> rects = RectsOf(*catalog);
    // A usable extent on the other axis still cuts that way.
    const bool latitudeCuts = latitude == 0.5;
    const bool longitudeCuts = longitude == 0.5;
    EXPECT_EQ(rects.size(), 2u * (latitudeCuts ? 2 : 1) * (longitudeCuts ? 2 : 1));
  }
}

TEST(EmptyMapSetTest, HasNoTilesAndKeepsItsTileSize) {
  CEmptyMapSet set;
  set.SetTileSize(0.25, 0.5);
  EXPECT_EQ(set.GetTileSize(), std::make_pair(0.25, 0.5));
  set.BuildTiles({1, 0, 0, 1}, nullptr);
  EXPECT_TRUE(TilesOf(set).empty());
  EXPECT_EQ(set.GetTileLoadFactor(), 1.0);
  EXPECT_TRUE(set.GetMapErrors().empty());
}

}  // namespace
