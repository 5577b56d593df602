// The program's own catalogue loader: real "maps.xml" files, images over
// http from a loopback server, rendered on the program's tile worker.
#include <QBuffer>
#include <QByteArray>
#include <QCoreApplication>
#include <QImage>
#include <chrono>
#include <fstream>
#include <thread>

#include "app/AppStrings.h"
#include "app/Application.h"
#include "app/MapImageFetch.h"
#include "location/IteratorAdaptors.h"
#include "mapview/MapCatalog.h"
#include "mapview/MapEntry.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/LoopbackHttpServer.h"

namespace {

std::string PngBytes(QRgb colour) {
  QImage image(300, 200, QImage::Format_RGB32);
  image.fill(colour);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes.toStdString();
}

std::string MapXml(const std::string& href) {
  return "<map href=\"" + href +
         "\"><position corner=\"topleft\"><datum>wgs84</datum>"
         "<latitude unit=\"degree\">35</latitude><longitude unit=\"degree\">139</longitude>"
         "</position><position corner=\"bottomright\"><datum>wgs84</datum>"
         "<latitude unit=\"degree\">34</latitude><longitude unit=\"degree\">140</longitude>"
         "</position></map>";
}

class CReadyCounter : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() != TileReadyEventType()) return QObject::event(e);
    ++ready;
    return true;
  }
  int ready = 0;
};

class MapLoadingTest : public AppTest {
 protected:
  std::string CatalogPath() const { return programFolder.path().toStdString() + "/maps.xml"; }
  void WriteCatalog(const std::string& maps) const {
    std::ofstream(CatalogPath()) << "<?xml version=\"1.0\"?>\n<maps>" << maps << "</maps>\n";
  }
  // Renders the set's one tile into a fresh image on the program's worker.
  QImage RenderOnlyTile(CMapSet& set) {
    set.BuildTiles({35, 139, 34, 140}, nullptr);
    std::vector<CTile*> tiles;
    set.ForEachTile(MakeBackInserter(tiles));
    EXPECT_EQ(tiles.size(), 1u);
    if (tiles.size() != 1) return QImage();
    QImage target(60, 40, QImage::Format_RGB32);
    target.fill(Qt::black);
    CReadyCounter receiver;
    CThreadJob* job = tiles[0]->Enqueue(&target, 0, 0, 60, 40, &receiver, TileReadyEventType());
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (receiver.ready == 0 && std::chrono::steady_clock::now() < end) {
      QCoreApplication::sendPostedEvents(&receiver);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(receiver.ready, 1);
    EXPECT_TRUE(tiles[0]->IsDone(job));
    tiles[0]->Cancel(job);
    return target;
  }
};

TEST_F(MapLoadingTest, AnImageServedOverHttpRendersIntoItsTile) {
  CLoopbackHttpServer server(200, PngBytes(qRgb(10, 200, 30)));
  WriteCatalog(MapXml(server.Url("/maps/tokyo.png")));
  std::unique_ptr<CMapSet> set = DefaultMapCatalogOpener()(CatalogPath(), false);
  EXPECT_EQ(set->GetTileLoadFactor(), 0.8);
  const QImage drawn = RenderOnlyTile(*set);
  EXPECT_EQ(drawn.pixel(0, 0), qRgb(10, 200, 30));
  EXPECT_EQ(drawn.pixel(59, 39), qRgb(10, 200, 30));
  EXPECT_EQ(server.Requests(), 1);
}

TEST_F(MapLoadingTest, AnHttpErrorIsDrawnIntoTheTileInsteadOfTheMap) {
  CLoopbackHttpServer server(404, "no such map");
  const std::string url = server.Url("/gone.png");
  WriteCatalog(MapXml(url));
  std::unique_ptr<CMapSet> set = DefaultMapCatalogOpener()(CatalogPath(), false);
  const QImage drawn = RenderOnlyTile(*set);
  EXPECT_EQ(drawn.pixel(0, 0), qRgb(255, 255, 255));  // the error's white ground

  auto& catalog = dynamic_cast<CMapCatalog&>(*set);
  try {
    catalog.LoadMapImage(catalog.GetMap(0));
    ADD_FAILURE() << "no error";
  } catch (const std::exception& e) {
    EXPECT_EQ(std::string(e.what()), "Image File Not Found: " + url + "\nHTTP Status 404");
  }
  EXPECT_THROW(FetchMapImageOverHttp("http://127.0.0.1:1/closed.png"), std::exception);
}

TEST_F(MapLoadingTest, TheCoreLoadsARealCatalogueAndNamesTheMapsItLeftOut) {
  QImage(20, 10, QImage::Format_RGB32).save(programFolder.filePath("local.png"));
  WriteCatalog(MapXml("local.png") + "<map href=\"lost.png\"/>");
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

TEST_F(MapLoadingTest, AFirstRunCreatesAnEmptyCatalogueBesideTheProgram) {
  prompter.answers = {EPromptAnswer::Yes};
  auto core = MakeCore(DefaultMapCatalogOpener());
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(prompter.shown[0].text, LoadAppString(IDS_ASK_CREATE_MAPS_FIRST) + CatalogPath());
  EXPECT_EQ(core->GetMapSet().GetTileLoadFactor(), 0.8);
  EXPECT_NE(ReadWholeFile(CatalogPath()).find("<maps"), std::string::npos);
  EXPECT_EQ(store->String("MapFile"), CatalogPath());
}

}  // namespace
