#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#include "imagery/JpegCodec.h"
#include "imagery/MosaicSupport.h"
#include "service/TerraServiceSupport.h"
#include "support/FakeTerraService.h"
#include "support/Gate.h"
#include "support/TempFolder.h"
#include "support/TestPictures.h"

namespace quorvil {
namespace {

namespace fs = std::filesystem;
using testing::MakeArea;
using testing::TFakeTerraService;

constexpr int kWest = 100, kNorth = 60;

TileId TileAt(int x, int y) { return {Theme::Photo, Scale::Scale1m, 18, x, y}; }

// Serves a JPEG of its own for every tile of `columns` x `rows` from (kWest, kNorth).
void ServeBlock(TFakeTerraService& service, int columns, int rows) {
  for (int y = kNorth; y > kNorth - rows; --y)
    for (int x = kWest; x < kWest + columns; ++x)
      service.SetTile(TileAt(x, y), EncodeJpeg(testing::Pattern(200, 200, x * 1000 + y), 80));
}

struct TFolderContents {
  std::set<std::string> tiles;  // names before ".TMP"
  int others = 0;               // temporary files and anything else
};

TFolderContents ContentsOf(const std::string& folder) {
  TFolderContents contents;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.ends_with(".TMP")) {
      contents.tiles.insert(name.substr(0, name.size() - 4));
    } else {
      ++contents.others;
    }
  }
  return contents;
}

std::vector<std::uint8_t> FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The folder holds only whole tiles, each a picture, and the index names exactly them.
void ExpectCacheMatchesIndex(const std::string& folder) {
  const TFolderContents contents = ContentsOf(folder);
  EXPECT_EQ(contents.others, 0);
  EXPECT_EQ(TileIndexCount(), static_cast<std::int64_t>(contents.tiles.size()));
  for (const std::string& name : contents.tiles) {
    EXPECT_TRUE(TileIndexContains(name)) << name;
    const auto bytes = FileBytes(fs::path(folder) / (name + ".TMP"));
    EXPECT_NO_THROW(DecodeJpeg(bytes.data(), bytes.size())) << name;
  }
}

TEST(MosaicConcurrency, EightThreadsDrawingOverlappingAreasShareOneStore) {
  testing::TTempFolder temp;
  auto service = std::make_shared<TFakeTerraService>();
  constexpr int kColumns = 14, kRows = 10, kThreads = 8;
  ServeBlock(*service, kColumns, kRows);
  const std::string cache = temp / "Cache";
  InitializeTileService(service, "", cache, 100000, 10);

  // Each thread draws a 7 x 5 block, shifted by one column and, every other thread,
  // one row: neighbours share most of their tiles.
  std::vector<std::thread> threads;
  std::vector<int> results(kThreads, -1);
  std::vector<TBitmap24> pictures(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const int x = kWest + t, y = kNorth - t % 2;
      const auto area = MakeArea(x, y, 0, 0, x + 6, y - 4, 199, 199);
      pictures[t] = NewAreaBitmap(*area);
      results[t] = DrawAreaToBitmap(pictures[t], *area) ? 1 : 0;
    });
  }
  for (auto& thread : threads) thread.join();

  std::set<std::string> wanted;
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(results[t], 1) << "thread " << t;
    for (int y = kNorth - t % 2; y > kNorth - t % 2 - 5; --y)
      for (int x = kWest + t; x < kWest + t + 7; ++x) wanted.insert(TileName(TileAt(x, y)));
  }
  // Every tile was fetched once, whoever wanted it first.
  EXPECT_EQ(service->CallCount("GetTile"), static_cast<int>(wanted.size()));
  EXPECT_EQ(ContentsOf(cache).tiles, wanted);
  ExpectCacheMatchesIndex(cache);

  // Again from the cache, on a store that has decoded nothing yet: its readers decode
  // every tile once, however many threads want it.
  const TTileCheck decode = CurrentTileCheck();
  std::atomic<int> decodes{0};
  SetTileCheck([&](const auto& bytes) { return ++decodes, decode(bytes); });
  InitializeTileService(service, "", cache, 100000, 10);
  SetTileCheck(decode);
  threads.clear();
  std::vector<TBitmap24> again(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const int x = kWest + t, y = kNorth - t % 2;
      const auto area = MakeArea(x, y, 0, 0, x + 6, y - 4, 199, 199);
      again[t] = NewAreaBitmap(*area);
      results[t] = DrawAreaToBitmap(again[t], *area) ? 1 : 0;
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(decodes, static_cast<int>(wanted.size()));

  // Each picture is the one a lone drawing on the user's thread makes.
  InitializeTileService(service, "", cache, 100000, 10, 1);
  for (int t = 0; t < kThreads; ++t) {
    const int x = kWest + t, y = kNorth - t % 2;
    const auto area = MakeArea(x, y, 0, 0, x + 6, y - 4, 199, 199);
    TBitmap24 alone = NewAreaBitmap(*area);
    DrawAreaToBitmap(alone, *area);
    EXPECT_TRUE(alone == pictures[t]) << "thread " << t;
    EXPECT_TRUE(alone == again[t]) << "thread " << t;
    EXPECT_EQ(results[t], 1) << "thread " << t;
  }
  EXPECT_EQ(service->CallCount("GetTile"), static_cast<int>(wanted.size()));
  FinalizeTileService();
}

TEST(MosaicConcurrency, CancelDuringDownloadsLeavesOnlyWholeTilesAndTheirNames) {
  testing::TTempFolder temp;
  auto service = std::make_shared<TFakeTerraService>();
  constexpr int kColumns = 6, kRows = 4;  // 24 tiles, more than the tiles asked ahead
  ServeBlock(*service, kColumns, kRows);
  testing::TGate gate;
  // The first tile comes at once; the others stay on the wire until the gate opens.
  service->beforeTile = [&](const TileId& id) {
    if (id.X != kWest || id.Y != kNorth) gate.Pass();
  };
  const std::string cache = temp / "Cache";
  InitializeTileService(service, "", cache, 100000, 10, 8);
  const auto area =
      MakeArea(kWest, kNorth, 0, 0, kWest + kColumns - 1, kNorth - kRows + 1, 199, 199);
  TBitmap24 picture = NewAreaBitmap(*area);
  int calls = 0;
  EXPECT_FALSE(DrawAreaToBitmap(picture, *area, [&](bool& cancel, int) {
    ++calls;
    EXPECT_TRUE(gate.WaitForArrivals(8));  // every worker has a download on the wire
    cancel = true;
  }));
  EXPECT_EQ(calls, 1);
  // The drawing did not wait for them, and they have written nothing yet.
  EXPECT_EQ(CurrentTileStore()->DownloadsPending(), 8);
  ExpectCacheMatchesIndex(cache);
  EXPECT_EQ(ContentsOf(cache).tiles, std::set<std::string>{TileName(TileAt(kWest, kNorth))});

  // Those on the wire end and keep their tiles; those not begun were given up.
  gate.Open();
  for (int i = 0; i < 1000 && CurrentTileStore()->DownloadsPending() > 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(CurrentTileStore()->DownloadsPending(), 0);
  EXPECT_EQ(service->CallCount("GetTile"), 9);
  EXPECT_EQ(ContentsOf(cache).tiles.size(), 9u);
  ExpectCacheMatchesIndex(cache);
  FinalizeTileService();
  EXPECT_EQ(ContentsOf(cache).others, 0);
}

}  // namespace
}  // namespace quorvil
