// Rendering map tiles through the image library on the tile worker: the
// crop, the colours drawn, errors drawn in a tile's place, and the images
// kept between tiles.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QTemporaryDir>
#include <QUrl>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "mapview/MapCatalog.h"
#include "mapview/MapEntry.h"
#include "mapview/MapImage.h"
#include "mapview/TileRender.h"
#include "mapview/TileWorker.h"
#include "tests/mapview/MapTestSupport.h"

namespace {

const QRgb kLightGreen = qRgb(0, 220, 0);
const QRgb kBackground = qRgb(255, 0, 255);

std::string ThrownText(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "no exception";
}

// A PNG whose header claims width x height pixels, with no image data worth
// the name: what a hostile file looks like to the decoder.
QByteArray PngClaiming(uint32_t width, uint32_t height) {
  auto crc32 = [](const QByteArray& bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (char byte : bytes) {
      crc ^= static_cast<uint8_t>(byte);
      for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
  };
  auto be32 = [](uint32_t v) {
    const char bytes[] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    return QByteArray(bytes, 4);
  };
  auto chunk = [&](const char* type, const QByteArray& data) {
    const QByteArray body = QByteArray(type) + data;
    return be32(static_cast<uint32_t>(data.size())) + body + be32(crc32(body));
  };
  QByteArray header = be32(width) + be32(height);
  header += QByteArray("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB, no interlace
  return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) +
         chunk("IDAT", QByteArray("\x78\x9c\x03\x00\x00\x00\x00\x01", 8)) +
         chunk("IEND", QByteArray());
}

class TileRenderTest : public ::testing::Test {
 protected:
  TileRenderTest() {
    TestGuiApplication();
    MakeColumnsImage().save(QString::fromStdString(PathOf("columns.png")));
  }

  std::string PathOf(const std::string& name) const {
    return folder.filePath(QString::fromStdString(name)).toStdString();
  }
  std::unique_ptr<CMapCatalog> Load(const std::vector<std::string>& maps,
                                    std::size_t cacheBytes = 64 << 20) {
    WriteCatalog(PathOf("maps.xml"), maps);
    return std::make_unique<CMapCatalog>(PathOf("maps.xml"), false,
                                         CMapCatalogOptions{{}, cacheBytes, &worker});
  }
  // The tile of set whose rectangle is rect.
  static CTile* TileAt(CMapSet& set, const CGeoRect& rect) {
    for (CTile* tile : TilesOf(set)) {
      const CGeoRect& r = tile->GetRect();
      if (r.top == rect.top && r.left == rect.left && r.bottom == rect.bottom &&
          r.right == rect.right) {
        return tile;
      }
    }
    ADD_FAILURE() << "no tile at " << rect.top << " " << rect.left;
    return nullptr;
  }
  // Renders tile on the worker, as the map view has it done, and waits.
  static void RenderOnWorker(CTile* tile, QImage& target, int x, int y, int width, int height) {
    ASSERT_NE(tile, nullptr);
    CThreadJob* job = tile->Enqueue(&target, x, y, width, height, nullptr, TileReadyEventType());
    ASSERT_TRUE(WaitUntil([&] { return tile->IsDone(job); }));
    tile->Cancel(job);
  }
  static QImage Target(int width, int height) {
    return MakeFilledImage(width, height, kBackground);
  }

  QTemporaryDir folder;
  CWorker worker{TileWorkerHooks()};
};

TEST_F(TileRenderTest, TheCropUnderATileIsScaledIntoItsPlace) {
  auto catalog = Load({MapElement("columns.png", 35, 140, 34.5, 141)});
  const CGeoRect rect{35, 140.5, 34.75, 140.75};
  const CTileCrop crop = ComputeTileCrop(catalog->GetMap(0), rect, 1000, 500);
  EXPECT_EQ(std::vector<int>({crop.x, crop.y, crop.width, crop.height}),
            std::vector<int>({500, 0, 250, 250}));

  catalog->SetTileSize(0.25, 0.25);
  catalog->BuildTiles({35, 140, 34.5, 141}, nullptr);
  ASSERT_EQ(TilesOf(*catalog).size(), 8u);
  QImage target = Target(130, 80);
  RenderOnWorker(TileAt(*catalog, rect), target, 10, 5, 100, 60);
  EXPECT_EQ(CountPixelsOff(target, QRect(10, 5, 100, 60), kLightGreen), 0);
  // Nothing outside the place is touched.
  EXPECT_EQ(CountPixelsOff(target, QRect(0, 0, 130, 5), kBackground), 0);
  EXPECT_EQ(CountPixelsOff(target, QRect(110, 0, 20, 80), kBackground), 0);

  // The lower left tile, blown up: dark red.
  QImage big = Target(300, 200);
  RenderOnWorker(TileAt(*catalog, {34.75, 140, 34.5, 140.25}), big, 0, 0, 300, 200);
  EXPECT_EQ(CountPixelsOff(big, big.rect(), qRgb(90, 0, 0)), 0);
}

TEST_F(TileRenderTest, AJpegMapDecodesAndScales) {
  ASSERT_TRUE(MakeFilledImage(640, 480, qRgb(40, 120, 200))
                  .save(QString::fromStdString(PathOf("photo.jpg")), "JPEG", 95));
  auto catalog = Load({MapElement("photo.jpg", 10, 20, 9, 21)});
  catalog->BuildTiles({11, 19, 8, 22}, nullptr);
  QImage target = Target(96, 64);
  RenderOnWorker(TilesOf(*catalog).at(0), target, 0, 0, 96, 64);
  EXPECT_EQ(CountPixelsOff(target, target.rect(), qRgb(40, 120, 200), 6), 0);
}

TEST_F(TileRenderTest, AMissingImageDrawsItsErrorTextIntoTheTile) {
  auto catalog = Load({MapElement("nowhere.png", 35, 140, 34.5, 141)});
  catalog->BuildTiles({35, 140, 34.5, 141}, nullptr);
  QImage target = Target(260, 90);
  RenderOnWorker(TilesOf(*catalog).at(0), target, 0, 0, 260, 90);
  // White ground with dark text, none of the background left.
  EXPECT_EQ(CountPixelsOff(target, target.rect(), kBackground), 260 * 90);
  const int notWhite = CountPixelsOff(target, target.rect(), qRgb(255, 255, 255));
  EXPECT_GT(notWhite, 50);
  EXPECT_LT(notWhite, 260 * 90 / 2);

  EXPECT_EQ(ThrownText([&] { catalog->LoadMapImage(catalog->GetMap(0)); }),
            "Image File Not Found: " + PathOf("nowhere.png") + "\nNo such file or directory");
}

TEST_F(TileRenderTest, ABrokenImageAndALibraryFailureEachSpoilOnlyTheirOwnTile) {
  WriteText(PathOf("broken.png"), "\x89PNG\r\n\x1a\nthis is not an image");
  auto catalog = Load({MapElement("broken.png", 35, 139, 34.5, 140),
                       MapElement("columns.png", 35, 140, 34.5, 141)});
  catalog->BuildTiles({35, 139, 34.5, 141}, nullptr);
  const std::vector<CTile*> tiles = TilesOf(*catalog);
  ASSERT_EQ(tiles.size(), 2u);

  QImage broken = Target(120, 40);
  RenderOnWorker(tiles[0], broken, 0, 0, 120, 40);
  EXPECT_EQ(CountPixelsOff(broken, broken.rect(), kBackground), 120 * 40);
  EXPECT_EQ(ThrownText([&] { catalog->LoadMapImage(catalog->GetMap(0)); }),
            "Invalid Image File: " + PathOf("broken.png"));

  // A tile too large for the library's sizes: the library refuses it, and
  // its status stays on the thread that made the call.
  QImage refused = Target(64, 64);
  RenderOnWorker(tiles[1], refused, 0, 0, 40000, 20000);
  EXPECT_GT(CountPixelsOff(refused, refused.rect(), qRgb(255, 255, 255)), 0);
  EXPECT_EQ(CountPixelsOff(refused, refused.rect(), kBackground), 64 * 64);

  // The next tiles draw their maps as if nothing had happened.
  QImage good = Target(50, 25);
  RenderOnWorker(tiles[1], good, 0, 0, 50, 25);
  EXPECT_EQ(CountPixelsOff(good, QRect(0, 0, 25, 12), qRgb(220, 0, 0)), 0);
  EXPECT_EQ(CountPixelsOff(good, QRect(45, 20, 5, 5), qRgb(0, 0, 90)), 0);
  QImage again = Target(120, 40);
  RenderOnWorker(tiles[0], again, 0, 0, 120, 40);
  EXPECT_EQ(again, broken);
}

TEST_F(TileRenderTest, ATileThinnerThanASourcePixelStillShowsItsMap) {
  auto catalog = Load({MapElement("columns.png", 35, 140, 34.5, 141)});
  const CGeoRect thin{35, 140.6, 34.9995, 140.6004};
  const CTileCrop crop = ComputeTileCrop(catalog->GetMap(0), thin, 1000, 500);
  // 140.6 - 140 is a little under 0.6 in binary, so trunc gives column 599.
  EXPECT_EQ(std::vector<int>({crop.x, crop.y, crop.width, crop.height}),
            std::vector<int>({599, 0, 1, 1}));

  catalog->SetTileSize(0.0005, 0.0004);
  catalog->BuildTiles({35, 140.6001, 34.9999, 140.6002}, nullptr);
  const std::vector<CTile*> tiles = TilesOf(*catalog);
  ASSERT_EQ(tiles.size(), 1u);
  QImage target = Target(16, 16);
  RenderOnWorker(tiles[0], target, 0, 0, 16, 16);
  EXPECT_EQ(CountPixelsOff(target, target.rect(), qRgb(0, 220, 0)), 0);

  // A tile of no pixels is left alone.
  QImage untouched = Target(8, 8);
  RenderOnWorker(tiles[0], untouched, 0, 0, 0, 8);
  RenderOnWorker(tiles[0], untouched, 0, 0, 8, -1);
  EXPECT_EQ(CountPixelsOff(untouched, untouched.rect(), kBackground), 0);
}

TEST_F(TileRenderTest, ClipsThatReachPastTheImageNeverReadOutsideIt) {
  auto catalog = Load({MapElement("columns.png", 35, 140, 34.5, 141,
                                  "<clip top=\"-100\" left=\"-100\" bottom=\"-100\" right=\"-100\"/>"),
                       MapElement("columns.png", 10, 10, 9, 11,
                                  "<clip left=\"600\" right=\"600\"/>")});
  const CMapEntry& wide = catalog->GetMap(0);
  const CTileCrop corner = ComputeTileCrop(wide, {34.6, 140.9, 34.5, 141}, 1000, 500);
  EXPECT_LE(corner.x + corner.width, 1000);
  EXPECT_LE(corner.y + corner.height, 500);
  EXPECT_GE(corner.width, 1);
  const CTileCrop origin = ComputeTileCrop(wide, {35, 140, 34.9, 140.1}, 1000, 500);
  EXPECT_EQ(origin.x, 0);
  EXPECT_EQ(origin.y, 0);

  catalog->SetTileSize(0.25, 0.25);
  catalog->BuildTiles({35, 140, 34.5, 141}, nullptr);
  for (CTile* tile : TilesOf(*catalog)) {
    QImage target = Target(40, 40);
    RenderOnWorker(tile, target, 0, 0, 40, 40);
    EXPECT_EQ(CountPixelsOff(target, target.rect(), kBackground), 40 * 40);
  }
  EXPECT_EQ(ThrownText([&] { ComputeTileCrop(catalog->GetMap(1), {10, 10, 9, 11}, 1000, 500); }),
            "Invalid Map Clip: columns.png");
}

TEST_F(TileRenderTest, DecodedImagesStayWithinTheBudgetAndComeBackWhenNeeded) {
  MakeColumnsImage().save(QString::fromStdString(PathOf("second.png")));
  // One 1000 x 500 image (about 1.5 MB decoded) fits, two do not.
  auto catalog = Load({MapElement("columns.png", 35, 140, 34.5, 141),
                       MapElement("second.png", 35, 141, 34.5, 142)},
                      2 << 20);
  const CMapEntry& first = catalog->GetMap(0);
  const CMapEntry& second = catalog->GetMap(1);
  EXPECT_EQ(catalog->LoadMapImage(first).pixel(0, 0), qRgb(220, 0, 0));
  EXPECT_TRUE(catalog->GetImageCache().Holds(&first));
  catalog->LoadMapImage(second);
  EXPECT_FALSE(catalog->GetImageCache().Holds(&first));
  EXPECT_TRUE(catalog->GetImageCache().Holds(&second));
  EXPECT_LE(catalog->GetImageCache().GetBytes(), std::size_t{2} << 20);

  // A dropped image is read again, as it is now on disk.
  MakeFilledImage(1000, 500, qRgb(1, 2, 3)).save(QString::fromStdString(PathOf("columns.png")));
  EXPECT_EQ(catalog->LoadMapImage(first).pixel(0, 0), qRgb(1, 2, 3));

  // An image larger than the whole budget is still kept while it is in use.
  auto tight = Load({MapElement("columns.png", 35, 140, 34.5, 141)}, 1);
  const CMapEntry& only = tight->GetMap(0);
  tight->LoadMapImage(only);
  EXPECT_TRUE(tight->GetImageCache().Holds(&only));
}

TEST(MapImageCacheTest, AFailedLoadIsRememberedAndCostsNothing) {
  CMapImageCache cache(100);
  int loads = 0;
  const int broken = 0, image = 0;
  auto fail = [&loads]() -> QImage {
    ++loads;
    throw std::runtime_error("Invalid Image File: x");
  };
  EXPECT_EQ(ThrownText([&] { cache.Get(&broken, fail); }), "Invalid Image File: x");
  EXPECT_EQ(ThrownText([&] { cache.Get(&broken, fail); }), "Invalid Image File: x");
  EXPECT_EQ(loads, 1);
  // The newest image stays even over the budget; the next one pushes it out,
  // while the remembered failure, which costs nothing, stays.
  const int second = 0;
  cache.Get(&image, [] { return QImage(8, 8, QImage::Format_RGB888); });
  EXPECT_EQ(cache.GetBytes(), 8u * 24);
  cache.Get(&second, [] { return QImage(4, 4, QImage::Format_RGB888); });
  EXPECT_FALSE(cache.Holds(&image));
  EXPECT_TRUE(cache.Holds(&broken));
  EXPECT_EQ(cache.GetBytes(), 4u * 12);
  EXPECT_EQ(ThrownText([&] { cache.Get(&broken, fail); }), "Invalid Image File: x");
  EXPECT_EQ(loads, 1);
}

TEST_F(TileRenderTest, ImagesComeFromPathsFileUrlsAndTheFetcher) {
  const std::string path = PathOf("columns.png");
  EXPECT_EQ(LoadMapImage(path, {}).size(), QSize(1000, 500));
  EXPECT_EQ(LoadMapImage(path, {}).format(), QImage::Format_RGB888);
  EXPECT_EQ(QImageReader::allocationLimit(), kMapImageAllocationLimitMb);
  const std::string url = QUrl::fromLocalFile(QString::fromStdString(path)).toString().toStdString();
  EXPECT_EQ(LoadMapImage(url, {}).pixel(999, 499), qRgb(0, 0, 90));

  QByteArray png;
  {
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    MakeFilledImage(4, 3, qRgb(9, 8, 7)).save(&buffer, "PNG");
  }
  std::vector<std::string> asked;
  auto fetch = [&](const std::string& address) {
    asked.push_back(address);
    return png.toStdString();
  };
  EXPECT_EQ(LoadMapImage("HTTPS://maps.example/a.png", fetch).pixel(3, 2), qRgb(9, 8, 7));
  EXPECT_EQ(asked, (std::vector<std::string>{"HTTPS://maps.example/a.png"}));

  EXPECT_EQ(ThrownText([] { LoadMapImage("http://127.0.0.1:9/a.png", {}); }),
            "Image File Not Found: http://127.0.0.1:9/a.png\nNo HTTP transport");
  EXPECT_EQ(ThrownText([] {
              LoadMapImage("http://x/a.png",
                           [](const std::string&) -> std::string { throw std::runtime_error("timed out"); });
            }),
            "Image File Not Found: http://x/a.png\ntimed out");
  EXPECT_EQ(ThrownText([] { LoadMapImage("ftp://x/a.png", {}); }),
            "Image File Not Found: ftp://x/a.png\nUnsupported URL scheme: ftp");
  EXPECT_EQ(ThrownText([&] { LoadMapImage("http://x/empty.png", [](const std::string&) { return std::string(); }); }),
            "Invalid Image File: http://x/empty.png");

  // A file that claims a huge picture is refused before anything is allocated.
  const QByteArray hostile = PngClaiming(200000, 200000);
  WriteText(PathOf("hostile.png"), hostile.toStdString());
  EXPECT_EQ(ThrownText([&] { LoadMapImage(PathOf("hostile.png"), {}); }),
            "Invalid Image File: " + PathOf("hostile.png"));
}

}  // namespace
