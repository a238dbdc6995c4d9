#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "imagery/JpegCodec.h"
#include "imagery/MosaicSupport.h"
#include "platform/ProgramError.h"
#include "service/TerraServiceSupport.h"
#include "support/FakeTerraService.h"
#include "support/GifWriter.h"
#include "support/TempFolder.h"
#include "support/TestPictures.h"

namespace quorvil {
namespace {

namespace fs = std::filesystem;
using testing::MakeArea;
using testing::TFakeTerraService;

// Each tile has a colour of its own, from its column and row.
std::vector<int> TileColour(int x, int y) {  // blue, green, red
  return {(x * 37) % 250 + 5, (y * 53) % 250 + 5, 77};
}

std::vector<int> PixelOf(const TBitmap24& b, int x, int y) {
  const auto* p = b.Pixel(x, y);
  return {p[0], p[1], p[2]};
}

TBitmap24 Black(int width, int height) {
  TBitmap24 b(width, height);
  std::memset(b.Data(), 0, static_cast<std::size_t>(b.ByteCount()));
  return b;
}

// A photograph tile whose file ends after 60% of its bytes.
std::vector<std::uint8_t> CutJpegTile() {
  auto file = EncodeJpeg(testing::Pattern(200, 200, 7), 90);
  file.resize(file.size() * 6 / 10);
  return file;
}

// A GIF whose screen is screenWidth x screenHeight, holding an image of side x side.
std::vector<std::uint8_t> GifOnScreen(int screenWidth, int screenHeight, int side) {
  testing::TGifPicture gif;
  gif.screenWidth = screenWidth;
  gif.screenHeight = screenHeight;
  gif.width = gif.height = side;
  gif.palette = {{0, 0, 0}, {9, 9, 9}};
  gif.pixels.assign(static_cast<std::size_t>(side) * side, 1);
  return testing::EncodeGif(gif);
}

// Counts the decodes of the stores started while it lives, through the check they run.
struct TCountedDecodes {
  const TTileCheck decode = CurrentTileCheck();
  std::atomic<int> count{0};
  TCountedDecodes() {
    SetTileCheck([this](const auto& bytes) { return ++count, decode(bytes); });
  }
  ~TCountedDecodes() { SetTileCheck(decode); }
};

class Mosaic : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTileRetryPause(std::chrono::milliseconds(1));
    InitializeTileService(service, "", temp / "Cache", 466, 10);
  }
  void TearDown() override {
    FinalizeTileService();
    SetTileRetryPause(kTileRetryPause);
  }

  // Gives every tile of the area its colour, as a GIF.
  void ServeArea(const AreaBoundingBox& area) {
    const TileId& nw = *area.NorthWest->TileMeta->Id;
    const TileId& se = *area.SouthEast->TileMeta->Id;
    for (int y = se.Y; y <= nw.Y; ++y)
      for (int x = nw.X; x <= se.X; ++x) {
        const auto c = TileColour(x, y);
        TileId id = nw;
        id.X = x;
        id.Y = y;
        service->SetTile(id, testing::SolidGifTile(static_cast<std::uint8_t>(c[2]),
                                                   static_cast<std::uint8_t>(c[1]),
                                                   static_cast<std::uint8_t>(c[0])));
      }
  }

  // Every pixel of the bitmap shows the tile that covers it, or black.
  void ExpectTilesInPlace(const TBitmap24& bitmap, const AreaBoundingBox& area,
                          int drawnTiles = 1 << 30) {
    const TileId& nw = *area.NorthWest->TileMeta->Id;
    const TileId& se = *area.SouthEast->TileMeta->Id;
    const int columns = se.X - nw.X + 1;
    for (int y = 0; y < bitmap.Height(); ++y)
      for (int x = 0; x < bitmap.Width(); ++x) {
        const int px = x + area.NorthWest->Offset->XOffset;
        const int py = y + area.NorthWest->Offset->YOffset;
        const int column = px / 200, row = py / 200;
        const bool covered =
            column < columns && row <= nw.Y - se.Y && row * columns + column < drawnTiles;
        const auto expected =
            covered ? TileColour(nw.X + column, nw.Y - row) : std::vector<int>{0, 0, 0};
        ASSERT_EQ(PixelOf(bitmap, x, y), expected) << "pixel " << x << "," << y;
      }
  }

  testing::TTempFolder temp;
  std::shared_ptr<TFakeTerraService> service = std::make_shared<TFakeTerraService>();
};

TEST_F(Mosaic, TilesLandAtTheirPlacesRowByRowFromTheNorthWest) {
  // 3 x 2 tiles, the north-west corner at pixel (50, 120) of its tile.
  const auto area = MakeArea(100, 51, 50, 120, 102, 50, 149, 79);
  ServeArea(*area);
  ASSERT_EQ(AreaPixelWidth(*area), 499);
  ASSERT_EQ(AreaPixelHeight(*area), 159);
  const std::vector<std::string> inOrder = {"0-10-18-100-51", "0-10-18-101-51", "0-10-18-102-51",
                                            "0-10-18-100-50", "0-10-18-101-50", "0-10-18-102-50"};
  TBitmap24 bitmap = NewAreaBitmap(*area);
  for (const int connections : {8, 1}) {
    SCOPED_TRACE(std::to_string(connections) + " connections");
    fs::remove_all(temp / "Cache");
    InitializeTileService(service, "", temp / "Cache", 466, 10, connections);
    service->tileRequests.clear();
    bitmap = NewAreaBitmap(*area);
    EXPECT_TRUE(DrawAreaToBitmap(bitmap, *area));
    ExpectTilesInPlace(bitmap, *area);
    // One at a time they are fetched in drawing order; several at a time, in any.
    auto requests = service->tileRequests;
    if (connections > 1) std::sort(requests.begin(), requests.end());
    auto expected = inOrder;
    if (connections > 1) std::sort(expected.begin(), expected.end());
    EXPECT_EQ(requests, expected);
  }
  // The three places the layout names: (-50, -120), (350, -120), (-50, 80).
  EXPECT_EQ(PixelOf(bitmap, 0, 0), TileColour(100, 51));
  EXPECT_EQ(PixelOf(bitmap, 349, 79), TileColour(101, 51));
  EXPECT_EQ(PixelOf(bitmap, 350, 0), TileColour(102, 51));
  EXPECT_EQ(PixelOf(bitmap, 149, 80), TileColour(100, 50));
  EXPECT_EQ(PixelOf(bitmap, 0, 80), TileColour(100, 50));
}

TEST_F(Mosaic, TilesAreClippedToTheBitmap) {
  const struct {
    const char* name;
    int width, height;
  } cases[] = {
      {"smaller bitmap", 120, 90}, {"larger bitmap", 700, 500}, {"one row of pixels", 499, 1}};
  const auto area = MakeArea(100, 51, 50, 120, 102, 50, 149, 79);
  ServeArea(*area);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TBitmap24 bitmap = Black(c.width, c.height);
    EXPECT_TRUE(DrawAreaToBitmap(bitmap, *area));
    ExpectTilesInPlace(bitmap, *area);
  }
}

TEST_F(Mosaic, ProgressAfterEachTileAndCancel) {
  const struct {
    const char* name;
    int columns, rows;
    int cancelAt;  // callback number that cancels, 0 for none
    std::vector<int> percents;
    bool result;
  } cases[] = {
      {"three tiles", 3, 1, 0, {33, 66, 100}, true},
      {"cancel at the first of six", 3, 2, 1, {16}, false},
      {"cancel at the fourth of six", 3, 2, 4, {16, 33, 50, 66}, false},
      {"cancel at the last", 2, 1, 2, {50, 100}, false},
  };
  for (const auto& c : cases)
    for (const int connections : {1, 8}) {
      SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(connections) + " connections");
      fs::remove_all(temp / "Cache");
      InitializeTileService(service, "", temp / "Cache", 466, 10, connections);
      service->tileRequests.clear();
      const auto area = MakeArea(10, 20, 0, 0, 10 + c.columns - 1, 20 - c.rows + 1, 199, 199);
      ServeArea(*area);
      TBitmap24 bitmap = Black(200 * c.columns, 200 * c.rows);
      std::vector<int> percents;
      const bool result = DrawAreaToBitmap(bitmap, *area, [&](bool& cancel, int percent) {
        EXPECT_FALSE(cancel);
        percents.push_back(percent);
        // The tile is on the bitmap when its progress is reported.
        const int done = static_cast<int>(percents.size()) - 1;
        EXPECT_EQ(PixelOf(bitmap, done % c.columns * 200 + 5, done / c.columns * 200 + 5),
                  TileColour(10 + done % c.columns, 20 - done / c.columns));
        if (static_cast<int>(percents.size()) == c.cancelAt) cancel = true;
      });
      EXPECT_EQ(result, c.result);
      EXPECT_EQ(percents, c.percents);
      ExpectTilesInPlace(bitmap, *area, static_cast<int>(c.percents.size()));
      // One at a time, nothing is fetched past the cancel; several at a time, tiles ahead
      // may have been (the workers are done with them once the store is).
      FinalizeTileService();
      if (connections == 1) {
        EXPECT_EQ(service->tileRequests.size(), c.percents.size());
      } else {
        EXPECT_GE(service->tileRequests.size(), c.percents.size());
      }
    }
}

TEST_F(Mosaic, CrossedCornersDrawNothing) {
  for (const auto& area : {MakeArea(10, 20, 0, 0, 9, 20), MakeArea(10, 20, 0, 0, 10, 21)}) {
    TBitmap24 bitmap = Black(10, 10);
    int calls = 0;
    EXPECT_TRUE(DrawAreaToBitmap(bitmap, *area, [&](bool&, int) { ++calls; }));
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(AreaTileCount(*area), 0);
  }
  EXPECT_TRUE(service->calls.empty());
}

TEST_F(Mosaic, JpegAndGifTilesTogether) {
  const auto area = MakeArea(1, 1, 0, 0, 2, 1, 199, 199, Theme::Topo);
  ServeArea(*area);
  TBitmap24 red = Black(200, 200);
  for (int i = 0; i < 200 * 200; ++i) red.Data()[i * 3 + 2] = 220;
  service->SetTile({Theme::Topo, Scale::Scale1m, 18, 2, 1}, EncodeJpeg(red, 95));
  TBitmap24 bitmap = Black(400, 200);
  EXPECT_TRUE(DrawAreaToBitmap(bitmap, *area));
  EXPECT_EQ(PixelOf(bitmap, 100, 100), TileColour(1, 1));
  const auto jpeg = PixelOf(bitmap, 300, 100);
  EXPECT_NEAR(jpeg[2], 220, 4);
  EXPECT_NEAR(jpeg[1], 0, 4);
  for (const auto& name : service->tileRequests)
    EXPECT_TRUE(name.starts_with("1-10-18-")) << name;  // the area's own theme
}

TEST_F(Mosaic, TileThatIsNoPictureIsDroppedFromTheCacheAndNamed) {
  const auto area = MakeArea(1, 2, 0, 0, 2, 2, 199, 199);
  ServeArea(*area);
  const TileId bad{Theme::Photo, Scale::Scale1m, 18, 2, 2};
  const struct {
    const char* name;
    std::vector<std::uint8_t> bytes;
    const char* decoder;
  } cases[] = {
      {"garbage", std::vector<std::uint8_t>(500, 0x55), "JPEG error"},
      {"two bytes", {0xFF, 0xD8}, "JPEG error"},
      {"lower-case gif", {'g', 'i', 'f', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0}, "GIF error"},
      {"cut gif", {'G', 'I', 'F', '8', '9', 'a', 200, 0, 200, 0, 0x80, 0, 0, 1, 2}, "GIF error"},
      {"cut-off jpeg", CutJpegTile(), "Premature end"},
      {"jpeg of 201 x 200", EncodeJpeg(testing::Pattern(201, 200, 3), 90), "201 x 200"},
      {"gif tile larger than the grid", testing::SolidGifTile(1, 2, 3, 250), "250 x 250"},
      {"gif tile smaller than the grid", testing::SolidGifTile(1, 2, 3, 120), "120 x 120"},
      {"gif screen of 10000 x 10000", GifOnScreen(10000, 10000, 1), "10000 x 10000"},
      {"gif image past its 200 x 200 screen", GifOnScreen(200, 200, 300), "300 x 300"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    service->SetTile(bad, c.bytes);
    service->tileRequests.clear();
    TBitmap24 bitmap = Black(400, 200);
    try {
      DrawAreaToBitmap(bitmap, *area);
      FAIL() << "no error";
    } catch (const EQuorvilError& error) {
      const std::string text = error.what();
      EXPECT_NE(text.find("0-10-18-2-2"), std::string::npos) << text;
      EXPECT_NE(text.find(c.decoder), std::string::npos) << text;
    }
    EXPECT_EQ(PixelOf(bitmap, 100, 100), TileColour(1, 2));  // drawn before the error stays
    EXPECT_FALSE(fs::exists(TileFileName(bad)));
    EXPECT_FALSE(TileIndexContains(TileName(bad)));
  }
  // Mended on the service, the next run downloads it again and succeeds.
  ServeArea(*area);
  service->tileRequests.clear();
  TBitmap24 bitmap = Black(400, 200);
  EXPECT_TRUE(DrawAreaToBitmap(bitmap, *area));
  EXPECT_EQ(service->tileRequests, std::vector<std::string>{"0-10-18-2-2"});
  ExpectTilesInPlace(bitmap, *area);

  // A cached file damaged on disk is dropped and the tile downloaded again.
  std::ofstream(TileFileName(bad), std::ios::binary | std::ios::trunc) << "damaged";
  EXPECT_TRUE(DrawAreaToBitmap(bitmap, *area));
  ExpectTilesInPlace(bitmap, *area);
  EXPECT_EQ(service->tileRequests.size(), 2u);
  EXPECT_TRUE(TileIndexContains(TileName(bad)));
}

// Ground without imagery is drawn past; a failing tile is fetched again while the others
// are drawn and is dealt with after them; only whole tiles reach the cache.
TEST_F(Mosaic, MissingTilesAreDrawnPastAndFailingOnesRetriedAfterTheOthers) {
  const auto area = MakeArea(1, 2, 0, 0, 3, 1, 199, 199);    // 3 x 2 tiles
  const TileId bad{Theme::Photo, Scale::Scale1m, 18, 2, 2};  // the second
  const std::vector<std::int64_t> none, second{1};
  const std::vector<int> black{0, 0, 0};
  const struct {
    const char* name;
    int failures;
    bool fault, served;
    int requests;
    bool drawn, failed;
  } cases[] = {
      {"fails twice, then answers", 2, false, true, 3, true, false},
      {"always fails", 99, false, true, kTileAttempts, false, true},
      {"a fault the server sends", 99, true, true, kFaultAttempts, false, true},
      {"no imagery", 0, false, false, 1, false, false},
  };
  for (const auto& c : cases)
    for (const int connections : {1, 8}) {
      SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(connections) + " connections");
      fs::remove_all(temp / "Cache");
      InitializeTileService(service, "", temp / "Cache", 466, 10, connections);
      ServeArea(*area);
      if (!c.served) service->tiles.erase(TileName(bad));
      service->tileFailures = {{TileName(bad), c.failures}};
      service->tileFailureIsFault = c.fault;
      service->tileRequests.clear();
      TBitmap24 bitmap = Black(600, 400);
      TMosaicReport report;
      std::vector<std::int64_t> order;
      EXPECT_TRUE(DrawAreaToBitmap(
          bitmap, *area, [&](bool&, int) { order.push_back(report.Tile); }, &report));
      EXPECT_EQ(
          std::count(service->tileRequests.begin(), service->tileRequests.end(), TileName(bad)),
          c.requests);
      EXPECT_EQ(PixelOf(bitmap, 300, 100), c.drawn ? TileColour(2, 2) : black);
      EXPECT_EQ(PixelOf(bitmap, 500, 300), TileColour(3, 1));
      EXPECT_EQ(report.Failed, c.failed ? second : none);
      EXPECT_EQ(report.Missing, c.served ? none : second);
      EXPECT_EQ(order.size(), 6u);
      EXPECT_EQ(order.back(), c.failures > 0 ? 1 : 5);
      EXPECT_EQ(fs::exists(TileFileName(bad)), c.drawn);
    }
  // Without a report, the failure is thrown once every other tile is drawn.
  service->tileFailures = {{TileName(bad), 99}};
  service->tileFailureIsFault = false;
  TBitmap24 bitmap = Black(600, 400);
  EXPECT_THROW(DrawAreaToBitmap(bitmap, *area), EQuorvilError);
  EXPECT_EQ(PixelOf(bitmap, 500, 300), TileColour(3, 1));
}

TEST_F(Mosaic, AnAbortEndsTheRetriesAtOnce) {
  SetTileRetryPause(std::chrono::seconds(60));
  const auto area = MakeArea(1, 1, 0, 0, 2, 1, 199, 199);
  ServeArea(*area);
  service->tileFailures = {{"0-10-18-2-1", 99}};
  std::thread stop([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    AbortServiceTransfers();
  });
  TBitmap24 bitmap = Black(400, 200);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(DrawAreaToBitmap(bitmap, *area), ETransferAborted);
  stop.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  EXPECT_EQ(PixelOf(bitmap, 100, 100), TileColour(1, 1));
}

TEST_F(Mosaic, SecondRunComesFromTheCache) {
  const auto area = MakeArea(1, 2, 0, 0, 3, 1, 199, 199);
  ServeArea(*area);
  TBitmap24 first = Black(600, 400), second = Black(600, 400);
  DrawAreaToBitmap(first, *area);
  service->tiles.clear();
  EXPECT_TRUE(DrawAreaToBitmap(second, *area));
  EXPECT_EQ(service->CallCount("GetTile"), 6);
  EXPECT_TRUE(first == second);
}

// A pan, and Back, decode only the tiles that no drawing decoded a moment ago; a Reload's
// discard, or a file another program replaced, is decoded anew.
TEST_F(Mosaic, APanAndBackDecodeNoTileTwice) {
  ServeArea(*MakeArea(0, 5, 0, 0, 4, 2, 199, 199));
  for (const int connections : {1, 8}) {
    SCOPED_TRACE(std::to_string(connections) + " connections");
    const TCountedDecodes decodes;
    fs::remove_all(temp / "Cache");
    InitializeTileService(service, "", temp / "Cache", 466, 10, connections);
    service->tileRequests.clear();
    auto area = MakeArea(1, 4, 50, 50, 4, 2, 49, 49);  // 4 x 3 tiles
    TBitmap24 bitmap = Black(599, 399);
    const auto draw = [&](int dx, int dy) {
      ShiftArea(*area, dx, dy, 599, 399);
      EXPECT_TRUE(DrawAreaToBitmap(bitmap, *area));
      ExpectTilesInPlace(bitmap, *area);
    };
    draw(0, 0);
    draw(100, 100);  // a column and a row of new tiles
    draw(-100, -100);
    EXPECT_EQ(decodes.count, 18);
    EXPECT_EQ(service->tileRequests.size(), 18u);
    DiscardCachedTile({Theme::Photo, Scale::Scale1m, 18, 2, 3});
    draw(0, 0);
    EXPECT_EQ(decodes.count, 19);
    EXPECT_EQ(service->tileRequests.size(), 19u);
    const auto other = testing::SolidGifTile(9, 20, 30);
    std::ofstream(TileFileName({Theme::Photo, Scale::Scale1m, 18, 3, 3}), std::ios::binary)
        .write(reinterpret_cast<const char*>(other.data()),
               static_cast<std::ptrdiff_t>(other.size()));
    EXPECT_TRUE(DrawAreaToBitmap(bitmap, *area));
    EXPECT_EQ(PixelOf(bitmap, 450, 250), (std::vector<int>{30, 20, 9}));
    EXPECT_EQ(decodes.count, 20);
  }
}

TEST(IsGifStream, ThreeLettersInAnyCaseFromThePosition) {
  const struct {
    std::string bytes;
    std::int64_t position;
    bool expected;
  } cases[] = {{"GIF89a", 0, true}, {"gif", 0, true},  {"GiF", 0, true},
               {"GI", 0, false},    {"", 0, false},    {"\xFF\xD8\xFF", 0, false},
               {"xGIF", 1, true},   {"GIFx", 2, false}};
  for (const auto& c : cases) {
    TMemoryStream stream;
    stream.Write(c.bytes.data(), static_cast<std::int64_t>(c.bytes.size()));
    stream.Seek(c.position);
    EXPECT_EQ(IsGifStream(stream), c.expected) << c.bytes;
    if (c.bytes.size() >= 3 + static_cast<std::size_t>(c.position)) {
      EXPECT_EQ(stream.Position(), c.position + 3);
    }
  }
}

TEST(AreaArithmetic, SizesCountsAndDownloadText) {
  const auto area = MakeArea(10, 5, 150, 0, 12, 5, 49, 0);
  EXPECT_EQ(AreaPixelWidth(*area), 299);
  EXPECT_EQ(AreaTileCount(*area), 3);
  const struct {
    int columns, rows;
    char separator;
    const char* text;
  } cases[] = {{2, 2, '.', "35.16 kb"},        {116, 1, '.', "1019.53 kb"},
               {117, 1, '.', "1.00 mb"},       {4, 29, '.', "1019.53 kb"},
               {2, 2, ',', "35,16 kb"},        {117, 1, ',', "1,00 mb"},
               {1000, 1000, '.', "8583.07 mb"}};
  for (const auto& c : cases) {
    const auto a = MakeArea(0, 0, 0, 0, c.columns - 1, -(c.rows - 1));
    EXPECT_EQ(DownloadSizeText(*a, c.separator), c.text) << c.columns << " x " << c.rows;
    EXPECT_EQ(AreaDownloadBytes(*a), std::int64_t{c.columns} * c.rows * 9000);
  }
  // Far corners count in 64 bits.
  const auto huge = MakeArea(-2000000000, 2000000000, 0, 0, 2000000000, -2000000000, 199, 199);
  EXPECT_EQ(AreaPixelWidth(*huge), 800000000000LL + 199);
  EXPECT_THROW(NewAreaBitmap(*huge), EQuorvilError);
  // Corners at the ends of the integers: 2^32 x 2^32 tiles do not fit in 64 bits.
  const auto extreme = MakeArea(INT_MIN, INT_MAX, 0, 0, INT_MAX, INT_MIN, 199, 199);
  EXPECT_EQ(AreaPixelWidth(*extreme), (std::int64_t{INT_MAX} - INT_MIN) * 200 + 199);
  EXPECT_THROW(AreaTileCount(*extreme), EQuorvilError);
  EXPECT_THROW(DownloadSizeText(*extreme), EQuorvilError);
  const auto wide = MakeArea(INT_MIN, 0, 0, 0, INT_MAX, -999999);
  EXPECT_EQ(AreaTileCount(*wide), (std::int64_t{1} << 32) * 1000000);
  EXPECT_THROW(AreaDownloadBytes(*wide), EQuorvilError);  // x 9000 leaves 64 bits
}

TEST(AreaArithmetic, PercentagesNeitherOverflowNorDivideByZero) {
  const struct {
    std::int64_t done, total;
    int percent;
  } cases[] = {{1, 3, 33},
               {2, 3, 66},
               {3, 3, 100},
               {0, 6, 0},
               {1, 0, 100},
               {INT64_MAX / 2, INT64_MAX, 49},
               {INT64_MAX - 1, INT64_MAX, 99},
               {INT64_MAX, INT64_MAX, 100}};
  for (const auto& c : cases) {
    EXPECT_EQ(ProgressPercent(c.done, c.total), c.percent) << c.done << " of " << c.total;
  }
}

TEST(ShiftArea, MovesTheNorthWestCornerAndRebuildsTheOthers) {
  const struct {
    int xOffset, yOffset, dx, dy;
    int xShift, newXOffset, yShift, newYOffset;
  } cases[] = {
      {30, 0, 250, 0, -2, 180, 0, 0},  // a pan to the right moves the view west
      {0, 0, 200, 0, -1, 0, 0, 0},    {30, 0, -250, 0, 1, 80, 0, 0},
      {0, 50, 0, 60, 0, 0, 1, 190},  // a pan downward moves the view north
      {0, 50, 0, -160, 0, 0, -1, 10}, {199, 199, -1, -1, 1, 0, -1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.dx) + "," + std::to_string(c.dy));
    auto area = MakeArea(100, 500, c.xOffset, c.yOffset, 103, 497, 77, 88);
    ShiftArea(*area, c.dx, c.dy, 600, 400);
    const TileId& nw = *area->NorthWest->TileMeta->Id;
    EXPECT_EQ(nw.X, 100 + c.xShift);
    EXPECT_EQ(area->NorthWest->Offset->XOffset, c.newXOffset);
    EXPECT_EQ(nw.Y, 500 + c.yShift);
    EXPECT_EQ(area->NorthWest->Offset->YOffset, c.newYOffset);
  }

  auto area = MakeArea(100, 500, 100, 150, 103, 497, 77, 88, Theme::Topo, Scale::Scale4m, 7);
  ShiftArea(*area, 0, 0, 450, 300);
  const auto id = [&](const std::unique_ptr<AreaCoordinate>& c) { return *c->TileMeta->Id; };
  EXPECT_EQ(id(area->NorthEast).X, 102);
  EXPECT_EQ(id(area->NorthEast).Y, 500);
  EXPECT_EQ(id(area->SouthWest).X, 100);
  EXPECT_EQ(id(area->SouthWest).Y, 498);
  EXPECT_EQ(id(area->SouthEast).X, 102);
  EXPECT_EQ(id(area->SouthEast).Y, 498);
  EXPECT_EQ(id(area->Center).X, 101);
  EXPECT_EQ(id(area->Center).Y, 499);
  EXPECT_EQ(id(area->Center).Theme, Theme::Topo);
  EXPECT_EQ(id(area->Center).Scene, 7);
  EXPECT_EQ(area->NearestPlace, "");
  for (const auto* corner : {&area->NorthEast, &area->SouthWest, &area->SouthEast, &area->Center}) {
    EXPECT_EQ((*corner)->Offset->XOffset, 0);
    EXPECT_EQ((*corner)->Offset->YOffset, 0);
  }
  for (const auto* corner :
       {&area->NorthWest, &area->NorthEast, &area->SouthWest, &area->SouthEast, &area->Center}) {
    const TileMeta& meta = *(*corner)->TileMeta;
    EXPECT_TRUE(meta.TileExists);
    EXPECT_EQ(meta.NorthWest->Lon, 0);
    EXPECT_EQ(meta.SouthEast->Lat, 0);
    EXPECT_EQ((*corner)->Offset->Point->Lon, 0);
  }
  EXPECT_EQ(area->NorthWest->Offset->XOffset, 100);  // offsets of the north-west corner stay
  EXPECT_EQ(AreaTileCount(*area), 9);
}

}  // namespace
}  // namespace quorvil
