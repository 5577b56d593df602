// Rendering map tiles through the image library on the tile worker: the
// crop, the colours drawn, errors drawn in a tile's place, the images kept
// between tiles, and where images come from.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QImageReader>
#include <QLoggingCategory>
#include <QUrl>
#include <QtEndian>
#include <stdexcept>
#include <tuple>

#include "mapview/MapEntry.h"
#include "mapview/TileRender.h"
#include "mapview/TileWorker.h"
#include "qim.h"
#include "tests/mapview/MapTestSupport.h"

namespace {

const QRgb kBackground = qRgb(255, 0, 255);
const QRgb kWhite = qRgb(255, 255, 255);

std::string ThrownText(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "no exception";
}

// Target pixels of place whose grey lies outside what the checker shows
// within slack pixels of the pixel's centre, give or take 4 levels of
// rounding; and pixels outside place that were touched.
int CountMisplaced(const QImage& target, const CChecker& checker, const CTileSource& part,
                   const QRectF& place, double slack) {
  const QRect covered(QPoint(static_cast<int>(std::floor(place.left() + 1e-6)),
                             static_cast<int>(std::floor(place.top() + 1e-6))),
                      QPoint(static_cast<int>(std::ceil(place.right() - 1e-6)) - 1,
                             static_cast<int>(std::ceil(place.bottom() - 1e-6)) - 1));
  auto u = [&](double x) {
    return part.area.left() + (x - place.left()) * part.area.width() / place.width();
  };
  auto v = [&](double y) {
    return part.area.top() + (y - place.top()) * part.area.height() / place.height();
  };
  int misplaced = 0;
  for (int y = 0; y < target.height(); ++y) {
    for (int x = 0; x < target.width(); ++x) {
      const QRgb pixel = target.pixel(x, y);
      if (!covered.contains(x, y)) {
        misplaced += pixel != kBackground;
        continue;
      }
      const auto [low, high] = checker.RangeOver(u(x + 0.5 - slack), v(y + 0.5 - slack),
                                                 u(x + 0.5 + slack), v(y + 0.5 + slack));
      misplaced += qRed(pixel) < low - 4 || qRed(pixel) > high + 4;
    }
  }
  return misplaced;
}

class TileRenderTest : public ::testing::Test {
 protected:
  // Renders tile on the worker into a fresh background-coloured image of
  // the given device pixel ratio; place is in the image's pixels.
  static QImage Render(CTile* tile, int width, int height, QRect place = {}, double ratio = 1) {
    QImage target = Filled(width, height, kBackground);
    target.setDevicePixelRatio(ratio);
    if (place.isNull()) place = target.rect();
    CThreadJob* job = tile->Enqueue(&target, place, nullptr, TileReadyEventType());
    EXPECT_TRUE(WaitUntil([&] { return tile->IsDone(job); }));
    tile->Cancel(job);
    return target;
  }
  static bool IsError(const QImage& drawn) {
    return CountPixelsOff(drawn, drawn.rect(), kBackground) == drawn.width() * drawn.height() &&
           CountPixelsOff(drawn, drawn.rect(), kWhite) > 0;
  }

  CMapFolder folder;
  CWorker worker{TileWorkerHooks()};
};

TEST_F(TileRenderTest, ThePictureUnderATileIsScaledIntoItsPlace) {
  auto catalog = folder.Load({MapElement("columns.png", 35, 140, 34.5, 141)}, worker);
  const CTileSource part =
      ComputeTileSource(catalog->GetMap(0), {35, 140.5, 34.75, 140.75}, 1000, 500);
  EXPECT_EQ(part.area, QRectF(500, 0, 250, 250));
  EXPECT_EQ(part.pixels, QRect(0, 0, 1000, 500));
  catalog->SetTileSize(0.25, 0.25);
  catalog->BuildTiles({35, 140, 34.5, 141}, nullptr);
  const std::vector<CTile*> tiles = TilesOf(*catalog);
  ASSERT_EQ(tiles.size(), 8u);  // column by column, top down

  const QImage green = Render(tiles[4], 130, 80, QRect(10, 5, 100, 60));
  EXPECT_EQ(CountPixelsOff(green, QRect(10, 5, 100, 60), qRgb(0, 220, 0)), 0);
  EXPECT_EQ(CountPixelsOff(green, QRect(0, 0, 130, 5), kBackground), 0);
  EXPECT_EQ(CountPixelsOff(green, QRect(110, 0, 20, 80), kBackground), 0);
  // Enlarged across, the first column's centre lies within half a source
  // pixel of the tile's edge: it blends with the neighbouring tile's pixel
  // as that tile's last column does. Shrunk down, the first row lies past
  // that; the map's own edges keep its edge pixels.
  const QImage darkBlue = Render(tiles[7], 300, 200);
  EXPECT_EQ(CountPixelsOff(darkBlue, QRect(1, 0, 299, 200), qRgb(0, 0, 90)), 0);
  const QRgb left = darkBlue.pixel(0, 100);
  EXPECT_TRUE(qGreen(left) > 0 && qGreen(left) < qBlue(left)) << std::hex << left;

  // For a screen of density 2 the place is still in the image's pixels.
  catalog->SetTileSize(1, 1);
  catalog->BuildTiles({35, 140, 34.5, 141}, nullptr);
  const QImage dense = Render(TilesOf(*catalog).at(0), 220, 120, QRect(0, 0, 200, 100), 2);
  EXPECT_EQ(dense.pixel(5, 5), MapColourAt(0, 0));
  EXPECT_EQ(dense.pixel(195, 95), MapColourAt(999, 499));
  EXPECT_EQ(CountPixelsOff(dense, QRect(200, 0, 20, 120), kBackground), 0);
}

TEST_F(TileRenderTest, CheckerSquaresLieWhereTheMapPutsThemAtAnyScaleAndPlace) {
  // Map degrees are image pixels: left to right 0 to 200, top to bottom 120
  // to 0.
  const CChecker checker(200, 120, 8);
  const QImage image = checker.Image().convertToFormat(QImage::Format_RGB888);
  CMapEntry map;
  map.top = 120;
  map.right = 200;
  qimSetErrMode(QIM_ERRMODE_RETURN);
  struct CCase {
    double step;    // target pixels per source pixel
    double u, v;    // the tile's top-left corner in the image
    double offset;  // the place's fraction of a pixel
  };
  const CCase cases[] = {{0.23, 3.3, 1.7, 0.25},  {0.61, 40.1, 17.9, 0.5},
                         {1.0, 16.5, 8.25, 0.0},  {1.37, 5.6, 3.3, 0.77},
                         {4.5, 0.0, 0.0, 0.3},    {14.4, 14.31, 6.77, 0.5},
                         {47.3, 7.2, 15.1, 0.61}, {47.3, 180.6, 113.4, 0},
                         {800, 7.9, 7.7, 0.2},    {30000, 7.996, 7.9951, 0.45}};
  for (const CCase& c : cases) {
    // About 150 x 90 target pixels, cut short at the map's far edges.
    const double width = std::min(150 / c.step, 200 - c.u);
    const double height = std::min(90 / c.step, 120 - c.v);
    const CTileSource part =
        ComputeTileSource(map, {120 - c.v, c.u, 120 - c.v - height, c.u + width}, 200, 120);
    const QRectF place(2 + c.offset, 3 + c.offset * 0.7, width * c.step, height * c.step);
    QImage target = Filled(static_cast<int>(place.right()) + 3,
                           static_cast<int>(place.bottom()) + 3, kBackground);
    DrawTileSource(image, part, target, place);
    EXPECT_EQ(CountMisplaced(target, checker, part, place, 0.501), 0)
        << "step " << c.step << " at " << c.u << ", " << c.v;
  }
}

TEST_F(TileRenderTest, MissingAndBrokenImagesAndALibraryFailureEachSpoilOnlyTheirOwnTile) {
  folder.Write("broken.png", "\x89PNG\r\n\x1a\nthis is not an image");
  auto catalog = folder.Load({MapElement("nowhere.png", 35, 138, 34.5, 139),
                              MapElement("broken.png", 35, 139, 34.5, 140),
                              MapElement("columns.png", 35, 140, 34.5, 141)},
                             worker);
  catalog->BuildTiles({35, 138, 34.5, 141}, nullptr);
  const std::vector<CTile*> tiles = TilesOf(*catalog);
  ASSERT_EQ(tiles.size(), 3u);
  // Dark text on white, none of the background left.
  EXPECT_TRUE(IsError(Render(tiles[0], 260, 90)));
  EXPECT_EQ(ThrownText([&] { catalog->LoadMapImage(catalog->GetMap(0)); }),
            "Image File Not Found: " + folder.PathOf("nowhere.png") + "\nNo such file or directory");
  const QImage broken = Render(tiles[1], 120, 40);
  EXPECT_TRUE(IsError(broken));
  EXPECT_EQ(ThrownText([&] { catalog->LoadMapImage(catalog->GetMap(1)); }),
            "Invalid Image File: " + folder.PathOf("broken.png"));
  // A tile too large for the library's sizes: the library refuses it, and
  // its status stays on the thread that made the call.
  EXPECT_TRUE(IsError(Render(tiles[2], 64, 64, QRect(0, 0, 40000, 20000))));

  // The tiles after them draw their maps as if nothing had happened.
  const QImage good = Render(tiles[2], 50, 25);
  EXPECT_EQ(CountPixelsOff(good, QRect(0, 0, 25, 12), qRgb(220, 0, 0)), 0);
  EXPECT_EQ(CountPixelsOff(good, QRect(45, 20, 5, 5), qRgb(0, 0, 90)), 0);
  EXPECT_EQ(Render(tiles[1], 120, 40), broken);
}

TEST_F(TileRenderTest, TilesReadOnlyPixelsThereAreAndHoldAtLeastAPixel) {
  auto catalog =
      folder.Load({MapElement("columns.png", 35, 140, 34.5, 141),
                   MapElement("columns.png", 35, 140, 34.5, 141,
                              "<clip top=\"-100\" left=\"-100\" bottom=\"-100\" right=\"-99\"/>"),
                   MapElement("columns.png", 10, 10, 9, 11, "<clip left=\"600\" right=\"600\"/>"),
                   MapElement("columns.png", 10, 10, 9, 11,
                              "<clip top=\"30\" left=\"2000\" right=\"-1500\"/>")},
                  worker);
  // Negative clips: the map reaches past the image, which gives all its
  // pixels; clips past the image leave its nearest pixel.
  const CTileSource wide = ComputeTileSource(catalog->GetMap(1), {35, 140, 34.9, 140.1}, 1000, 500);
  EXPECT_NEAR(wide.area.left(), -100, 1e-9);
  EXPECT_NEAR(wide.area.right(), 19.9, 1e-9);
  EXPECT_NEAR(wide.area.bottom(), 40, 1e-9);
  EXPECT_EQ(wide.pixels, QRect(0, 0, 1000, 500));
  EXPECT_EQ(ComputeTileSource(catalog->GetMap(3), {10, 10, 9, 11}, 1000, 500).pixels,
            QRect(999, 30, 1, 470));
  EXPECT_EQ(ThrownText([&] {
              ComputeTileSource(catalog->GetMap(2), {10, 10, 9, 11}, 1000, 500);
            }),
            "Invalid Map Clip: columns.png");
  // Every tile of both maps reads only pixels there are (ASan watches).
  catalog->SetTileSize(0.25, 0.25);
  catalog->BuildTiles({35, 140, 34.5, 141}, nullptr);
  for (CTile* tile : TilesOf(*catalog)) {
    EXPECT_EQ(CountPixelsOff(Render(tile, 40, 40), QRect(0, 0, 40, 40), kBackground), 40 * 40);
  }

  // A tile thinner than a source pixel still shows its map; one of no
  // pixels is left alone.
  catalog->SetTileSize(0.0005, 0.0004);
  catalog->BuildTiles({35, 140.6001, 34.9999, 140.6002}, nullptr);
  CTile* thin = TilesOf(*catalog).at(0);
  EXPECT_EQ(CountPixelsOff(Render(thin, 16, 16), QRect(0, 0, 16, 16), qRgb(0, 220, 0)), 0);
  for (const QRect& empty : {QRect(0, 0, 0, 8), QRect(0, 0, 8, -1)}) {
    EXPECT_EQ(CountPixelsOff(Render(thin, 8, 8, empty), QRect(0, 0, 8, 8), kBackground), 0);
  }
}

TEST_F(TileRenderTest, DecodedImagesStayWithinTheBudgetAndComeBackWhenNeeded) {
  MakeColumnsImage().save(QString::fromStdString(folder.PathOf("second.png")));
  folder.Write("broken.png", "not an image");
  // One 1000 x 500 image (1.5 MB decoded) fits, two do not.
  auto catalog = folder.Load({MapElement("columns.png", 35, 140, 34.5, 141),
                              MapElement("second.png", 35, 141, 34.5, 142),
                              MapElement("broken.png", 35, 142, 34.5, 143)},
                             worker, 2 << 20);
  const CMapEntry& first = catalog->GetMap(0);
  const CMapEntry& broken = catalog->GetMap(2);
  EXPECT_EQ(catalog->LoadMapImage(first).pixel(0, 0), qRgb(220, 0, 0));
  EXPECT_THROW(catalog->LoadMapImage(broken), std::runtime_error);
  catalog->LoadMapImage(catalog->GetMap(1));
  EXPECT_FALSE(catalog->GetImageCache().Holds(&first));
  EXPECT_LE(catalog->GetImageCache().GetBytes(), std::size_t{2} << 20);

  // A dropped image is read again as it is now; a failure is remembered.
  Filled(1000, 500, qRgb(1, 2, 3)).save(QString::fromStdString(folder.PathOf("columns.png")));
  MakeColumnsImage().save(QString::fromStdString(folder.PathOf("broken.png")));
  EXPECT_EQ(catalog->LoadMapImage(first).pixel(0, 0), qRgb(1, 2, 3));
  EXPECT_THROW(catalog->LoadMapImage(broken), std::runtime_error);
}

// A photograph's kind of picture, noisy and shaded, so that its JPEG runs
// well past the first 5000 bytes.
QImage NoisyPhoto() {
  QImage photo(640, 480, QImage::Format_RGB32);
  uint32_t seed = 7;
  for (int y = 0; y < photo.height(); ++y) {
    for (int x = 0; x < photo.width(); ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int noise = int(seed >> 27);
      photo.setPixel(x, y, qRgb((x / 3 + noise) % 256, (y / 2 + noise) % 256, (x + y + noise) % 256));
    }
  }
  return photo;
}

TEST_F(TileRenderTest, AnImageTheReaderDecodesOnlyInPartIsUnreadable) {
  const QImage photo = NoisyPhoto();
  auto encoded = [](const QImage& image, const char* format) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, 90);
    return buffer.data();
  };
  const QByteArray jpeg = encoded(photo, "JPEG");
  const QByteArray png = encoded(MakeColumnsImage(), "PNG");
  ASSERT_GT(jpeg.size(), 20000);
  QByteArray zeroed = jpeg;  // a run in the middle of the picture's data
  zeroed.replace(10000, 100, QByteArray(100, '\0'));
  QByteArray badCrc = png;  // the first image data chunk's checksum
  const qsizetype idat = png.indexOf("IDAT");
  const auto length = qFromBigEndian<quint32>(png.constData() + idat - 4);
  badCrc[idat + 4 + length] = char(~badCrc[idat + 4 + length]);

  folder.Write("photo.jpg", jpeg.toStdString());
  EXPECT_EQ(LoadMapImage(folder.PathOf("photo.jpg"), {}).size(), photo.size());
  const std::vector<std::pair<std::string, QByteArray>> damaged = {
      {"cut.jpg", jpeg.left(5000)},
      {"zeroed.jpg", zeroed},
      {"cut.png", png.left(png.size() / 2)},
      {"crc.png", badCrc}};
  for (const auto& [name, bytes] : damaged) {
    folder.Write(name, bytes.toStdString());
    EXPECT_EQ(ThrownText([&] { LoadMapImage(folder.PathOf(name), {}); }),
              "Invalid Image File: " + folder.PathOf(name));
    // The same bytes from a server.
    auto fetch = [&bytes](const std::string&, std::stop_token) { return bytes.toStdString(); };
    EXPECT_EQ(ThrownText([&] { LoadMapImage("http://x/" + name, fetch); }),
              "Invalid Image File: http://x/" + name);
  }
  // The end of a cut JPEG is seen even where the reader's warnings are
  // switched off.
  QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio.jpeg.warning=false"));
  EXPECT_EQ(ThrownText([&] { LoadMapImage(folder.PathOf("cut.jpg"), {}); }),
            "Invalid Image File: " + folder.PathOf("cut.jpg"));
  QLoggingCategory::setFilterRules(QString());

  // Its tile shows the error instead of a few rows and grey.
  auto catalog = folder.Load({MapElement("cut.jpg", 35, 140, 34.5, 141)}, worker);
  catalog->BuildTiles({35, 140, 34.5, 141}, nullptr);
  EXPECT_TRUE(IsError(Render(TilesOf(*catalog).at(0), 200, 100)));
}

TEST_F(TileRenderTest, StrayBytesBetweenAJpegsSegmentsLeaveItWholeButHideNoDamage) {
  const QByteArray jpeg = QByteArray::fromStdString(EncodedAs(NoisyPhoto(), "JPEG", 90));
  ASSERT_GT(jpeg.size(), 20000);
  folder.Write("photo.jpg", jpeg.toStdString());
  const QImage whole = LoadMapImage(folder.PathOf("photo.jpg"), {});
  // Two stray bytes before the quantisation table, as some writers leave
  // them, and two more between the Huffman tables.
  QByteArray stray = jpeg;
  stray.insert(jpeg.lastIndexOf("\xFF\xC4"), "\0\0", 2);
  stray.insert(jpeg.indexOf("\xFF\xDB"), "\x12\x34", 2);
  // The same stray bytes, and behind them a scan with bad data (the run the
  // test above zeroes, four bytes further on) or a file cut short: libjpeg
  // tells only the first thing it finds amiss.
  QByteArray zeroed = stray;
  zeroed.replace(10004, 100, QByteArray(100, '\0'));
  const QByteArray cut = stray.left(5000);
  const std::vector<std::tuple<std::string, QByteArray, bool>> files = {
      {"stray.jpg", stray, true}, {"zeroed.jpg", zeroed, false}, {"cut.jpg", cut, false}};
  for (const auto& [name, bytes, valid] : files) {
    folder.Write(name, bytes.toStdString());
    auto fetch = [&bytes](const std::string&, std::stop_token) { return bytes.toStdString(); };
    for (const std::string& location : {folder.PathOf(name), "http://x/" + name}) {
      if (valid) {
        EXPECT_EQ(LoadMapImage(location, fetch), whole) << location;
      } else {
        EXPECT_EQ(ThrownText([&] { LoadMapImage(location, fetch); }),
                  "Invalid Image File: " + location);
      }
    }
  }
}

TEST_F(TileRenderTest, ACancelledRenderStopsItsTransferDrawsNothingAndIsNotRemembered) {
  CEndlessFetch endless;
  std::string bytes;
  CMapImageFetcher fetch = [&](const std::string& url, std::stop_token stop) {
    return bytes.empty() ? endless(url, stop) : bytes;
  };
  folder.Write("maps.xml", "<maps>" + MapElement("http://maps.example/a.png", 35, 140, 34.5, 141) +
                               "</maps>");
  CMapCatalog catalog(folder.PathOf("maps.xml"), false, {fetch, 64 << 20, &worker});
  catalog.BuildTiles({35, 140, 34.5, 141}, nullptr);
  CTile* tile = TilesOf(catalog).at(0);
  QImage target = Filled(40, 20, kBackground);
  CThreadJob* job = tile->Enqueue(&target, QRectF(0, 0, 40, 20), nullptr, TileReadyEventType());
  ASSERT_TRUE(WaitUntil([&] { return endless.begun == 1; }));
  const auto start = std::chrono::steady_clock::now();
  tile->Cancel(job);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(CountPixelsOff(target, target.rect(), kBackground), 0);

  // The image is asked for again, and this time it comes.
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  MakeColumnsImage().save(&buffer, "PNG");
  bytes = buffer.data().toStdString();
  EXPECT_EQ(Render(tile, 40, 20).pixel(0, 0), MapColourAt(0, 0));
}

TEST_F(TileRenderTest, OnlyRegularFilesAreReadAsLocalImages) {
  const std::string fifo = folder.PathOf("fifo.png");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string notFound = "Image File Not Found: ";
  // Reading a FIFO would wait for a writer; should it, one comes after a
  // while, so that a failure here does not hang.
  std::atomic<bool> loaded{false};
  std::thread writer([&] {
    for (int wait = 0; wait < 500 && !loaded; ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) close(fd);
  });
  EXPECT_EQ(ThrownText([&] { LoadMapImage(fifo, {}); }), notFound + fifo + "\nNot a regular file");
  loaded = true;
  writer.join();
  EXPECT_EQ(ThrownText([&] { LoadMapImage(folder.PathOf(""), {}); }),
            notFound + folder.PathOf("") + "\nNot a regular file");
}

TEST_F(TileRenderTest, ImagesComeFromPathsFileUrlsAndTheFetcher) {
  const std::string path = folder.PathOf("columns.png");
  const QImage fromPath = LoadMapImage(path, {});
  EXPECT_EQ(fromPath.format(), QImage::Format_RGB888);
  // Set on purpose: Qt's default would refuse maps above 256 MB decoded.
  EXPECT_EQ(QImageReader::allocationLimit(), kMapImageAllocationLimitMb);
  const QUrl url = QUrl::fromLocalFile(QString::fromStdString(path));
  EXPECT_EQ(LoadMapImage(url.toString().toStdString(), {}).pixel(999, 499), qRgb(0, 0, 90));
  ASSERT_TRUE(
      Filled(64, 48, qRgb(40, 120, 200)).save(QString::fromStdString(folder.PathOf("a.jpg")), "JPEG", 95));
  EXPECT_EQ(CountPixelsOff(LoadMapImage(folder.PathOf("a.jpg"), {}).convertToFormat(QImage::Format_RGB32),
                           QRect(0, 0, 64, 48), qRgb(40, 120, 200), 6),
            0);

  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  Filled(4, 3, qRgb(9, 8, 7)).save(&buffer, "PNG");
  std::vector<std::string> asked;
  auto fetch = [&](const std::string& address, std::stop_token) {
    asked.push_back(address);
    return png.toStdString();
  };
  EXPECT_EQ(LoadMapImage("HTTPS://maps.example/a.png", fetch).pixel(3, 2), qRgb(9, 8, 7));
  EXPECT_EQ(asked, (std::vector<std::string>{"HTTPS://maps.example/a.png"}));
  auto failing = [](const std::string&, std::stop_token) -> std::string {
    throw std::runtime_error("timed out");
  };
  EXPECT_EQ(ThrownText([&] { LoadMapImage("http://x/a.png", failing); }),
            "Image File Not Found: http://x/a.png\ntimed out");
  EXPECT_EQ(ThrownText([] { LoadMapImage("http://x/a.png", {}); }),
            "Image File Not Found: http://x/a.png\nNo HTTP transport");
  EXPECT_EQ(ThrownText([] { LoadMapImage("ftp://x/a.png", {}); }),
            "Image File Not Found: ftp://x/a.png\nUnsupported URL scheme: ftp");
  EXPECT_EQ(ThrownText([] {
              LoadMapImage("http://x/e.png", [](const std::string&, std::stop_token) { return std::string(); });
            }),
            "Invalid Image File: http://x/e.png");
}

}  // namespace
