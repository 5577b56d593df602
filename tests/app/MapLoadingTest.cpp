// The program's own catalogue loader: real "maps.xml" files, images over
// http from the test server on 127.0.0.1, rendered on the program's tile
// worker.
#include <QBuffer>
#include <QImage>
#include <chrono>
#include <fstream>
#include <functional>
#include <thread>

#include "app/Application.h"
#include "location/IteratorAdaptors.h"
#include "mapview/MapCatalog.h"
#include "mapview/MapEntry.h"
#include "tests/app/AppTestSupport.h"
#include "tests/reception/TestMessageServer.h"

namespace {

// Waits until done, failing after a generous limit instead of hanging.
bool WaitUntil(const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class MapLoadingTest : public AppTest {
 protected:
  std::string CatalogPath() const { return programFolder.path().toStdString() + "/maps.xml"; }
  // One map for each href, all over the same square degree.
  void WriteCatalog(const std::vector<std::string>& hrefs, const std::string& more = {}) const {
    std::ofstream catalog(CatalogPath());
    catalog << "<maps>";
    for (const std::string& href : hrefs) {
      catalog << "<map href=\"" << href << "\"><position corner=\"topleft\"><datum>wgs84</datum>"
              << "<latitude unit=\"degree\">35</latitude><longitude unit=\"degree\">139</longitude>"
              << "</position><position corner=\"bottomright\"><datum>wgs84</datum>"
              << "<latitude unit=\"degree\">34</latitude><longitude unit=\"degree\">140</longitude>"
              << "</position></map>";
    }
    catalog << more << "</maps>";
  }
  // Renders the set's one tile on the program's worker, as the map view will.
  static QImage RenderOnlyTile(CMapSet& set) {
    set.BuildTiles({35, 139, 34, 140}, nullptr);
    std::vector<CTile*> tiles;
    set.ForEachTile(MakeBackInserter(tiles));
    if (tiles.size() != 1) return QImage();
    QImage target(60, 40, QImage::Format_RGB32);
    target.fill(Qt::black);
    CThreadJob* job =
        tiles[0]->Enqueue(&target, QRectF(0, 0, 60, 40), nullptr, TileReadyEventType());
    for (int wait = 0; wait < 30000 && !tiles[0]->IsDone(job); ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_TRUE(tiles[0]->IsDone(job));
    tiles[0]->Cancel(job);
    return target;
  }
};

TEST_F(MapLoadingTest, AnImageServedOverHttpRendersAndAnHttpErrorIsDrawnInItsPlace) {
  QImage image(300, 200, QImage::Format_RGB32);
  image.fill(qRgb(10, 200, 30));
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  // The message server answers any path; its faults serve the map's bytes.
  CTestMessageServer server;
  server.Fault("*", "body", png.toStdString());
  WriteCatalog({server.Url("/maps/tokyo.png")});
  std::unique_ptr<CMapSet> set = DefaultMapCatalogOpener()(CatalogPath(), false);
  EXPECT_EQ(set->GetTileLoadFactor(), 0.8);
  const QImage drawn = RenderOnlyTile(*set);
  EXPECT_EQ(drawn.pixel(0, 0), qRgb(10, 200, 30));
  EXPECT_EQ(drawn.pixel(59, 39), qRgb(10, 200, 30));
  EXPECT_EQ(server.Log(), (std::vector<std::string>{"/maps/tokyo.png"}));

  server.Fault("*", "status", "404");
  WriteCatalog({server.Url("/gone.png")});
  set = DefaultMapCatalogOpener()(CatalogPath(), false);
  EXPECT_EQ(RenderOnlyTile(*set).pixel(0, 0), qRgb(255, 255, 255));  // the error's ground
  auto& catalog = dynamic_cast<CMapCatalog&>(*set);
  try {
    catalog.LoadMapImage(catalog.GetMap(0));
    ADD_FAILURE() << "no error";
  } catch (const std::exception& e) {
    EXPECT_EQ(std::string(e.what()),
              "Image File Not Found: " + server.Url("/gone.png") + "\nHTTP Status 404");
  }
}

TEST_F(MapLoadingTest, AnImageThatDripsOrNeverComesHoldsTheInterfaceForMomentsOnly) {
  using namespace std::chrono_literals;
  // The map's image drips two bytes a second towards ten megabytes, or its
  // server says nothing for a minute: each of the interface's ways of
  // dropping the tile whose render waits for it must end that wait.
  CTestMessageServer server;
  WriteCatalog({server.Url("/maps/slow.png")});
  for (const auto& [action, arg] : {std::pair{"drip", "10000000"}, std::pair{"slow", "60"}}) {
    server.Reset();
    server.Fault("*", action, arg, 10);
    std::unique_ptr<CMapSet> set = DefaultMapCatalogOpener()(CatalogPath(), false);
    const std::vector<std::function<void()>> drops = {
        [&] { set->BuildTiles({10, 10, 9, 11}, nullptr); },  // the view moved away
        [&] { set->ClearTiles(); },
        [&] { set.reset(); }};
    for (std::size_t drop = 0; drop < drops.size(); ++drop) {
      set->BuildTiles({35, 139, 34, 140}, nullptr);
      std::vector<CTile*> tiles;
      set->ForEachTile(MakeBackInserter(tiles));
      ASSERT_EQ(tiles.size(), 1u);
      QImage target(60, 40, QImage::Format_RGB32);
      tiles[0]->Enqueue(&target, QRectF(0, 0, 60, 40), nullptr, TileReadyEventType());
      ASSERT_TRUE(WaitUntil([&] { return server.Log().size() == drop + 1; })) << action;
      std::this_thread::sleep_for(300ms);  // into the transfer
      const auto start = std::chrono::steady_clock::now();
      drops[drop]();
      EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << action << " " << drop;
    }
  }
}

TEST_F(MapLoadingTest, ADrippingAndASilentImageHoldBackNeitherALocalMapNorEachOther) {
  using namespace std::chrono_literals;
  QImage image(300, 200, QImage::Format_RGB32);
  image.fill(qRgb(10, 200, 30));
  ASSERT_TRUE(image.save(programFolder.path() + "/local.png"));
  // The server tells the two images apart by their query's command word.
  CTestMessageServer server;
  server.Fault("DRIP", "drip", "10000000");
  server.Fault("SILENT", "slow", "60");
  WriteCatalog({server.Url("/drip.png?c=DRIP"), server.Url("/silent.png?c=SILENT"), "local.png"});
  std::unique_ptr<CMapSet> set = DefaultMapCatalogOpener()(CatalogPath(), false);
  set->BuildTiles({35, 139, 34, 140}, nullptr);
  std::vector<CTile*> tiles;
  set->ForEachTile(MakeBackInserter(tiles));
  ASSERT_EQ(tiles.size(), 3u);
  std::vector<QImage> targets(3, QImage(60, 40, QImage::Format_RGB32));
  std::vector<CThreadJob*> jobs;
  for (std::size_t i = 0; i < 3; ++i) {
    jobs.push_back(tiles[i]->Enqueue(&targets[i], QRectF(0, 0, 60, 40), nullptr, TileReadyEventType()));
  }
  ASSERT_TRUE(WaitUntil([&] { return tiles[2]->IsDone(jobs[2]); }));
  EXPECT_EQ(targets[2].pixel(59, 39), qRgb(10, 200, 30));
  ASSERT_TRUE(WaitUntil([&] { return server.Log().size() == 2; }));  // both on their way
  std::this_thread::sleep_for(300ms);
  EXPECT_FALSE(tiles[0]->IsDone(jobs[0]) || tiles[1]->IsDone(jobs[1]));
  const auto start = std::chrono::steady_clock::now();
  set.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

TEST_F(MapLoadingTest, TheCoreLoadsARealCatalogueAndNamesTheMapsItLeftOut) {
  WriteCatalog({"local.png"}, "<map href=\"lost.png\"/>");
  store->values["MapFile"] = CatalogPath();
  auto core = MakeCore(DefaultMapCatalogOpener());
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(prompter.shown[0].kind, EPromptKind::Error);
  EXPECT_EQ(prompter.shown[0].text,
            "Invalid Map 2: XML Node Not Found: position[@corner='topleft']\n");
  auto& catalog = dynamic_cast<CMapCatalog&>(core->GetMapSet());
  ASSERT_EQ(catalog.GetMapCount(), 1u);
  EXPECT_EQ(catalog.GetMap(0).imageLocation, programFolder.path().toStdString() + "/local.png");
}

}  // namespace
