// Tile throughput of the mosaic from a warm cache, beside the single-thread decode and
// the bare libjpeg-turbo decode of the same tiles; a cold view against the local map service over a
// slow link, one connection beside several; and the cost of starting and trimming a large tile
// cache.

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "../tests/support/FakeTerraService.h"
#include "../tests/support/GifWriter.h"
#include "../tests/support/MapServiceTestSupport.h"
#include "../tests/support/TempFolder.h"
#include "BareJpeg.h"
#include "imagery/JpegCodec.h"
#include "imagery/MosaicSupport.h"
#include "service/SystemSupport.h"
#include "service/TerraServiceSupport.h"

namespace quorvil {
namespace {

namespace fs = std::filesystem;

constexpr int kColumns = 12, kRows = 10;  // 120 tiles

// A photograph-like tile: smooth shading with grain, so that it compresses like one
// (about 10 to 20 kB at quality 75).
std::vector<std::uint8_t> PhotoTile(int seed) {
  std::mt19937 random(static_cast<unsigned>(seed));
  TBitmap24 tile(200, 200);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 200; ++x) {
      std::uint8_t* p = tile.Pixel(x, y);
      const int grain = static_cast<int>(random() % 40);
      p[0] = static_cast<std::uint8_t>((x + seed * 13) % 160 + grain);
      p[1] = static_cast<std::uint8_t>((y + seed * 7) % 160 + grain);
      p[2] = static_cast<std::uint8_t>((x + y) % 120 + grain);
    }
  return EncodeJpeg(tile, 75);
}

struct TWarmCache {
  testing::TTempFolder folder;
  std::shared_ptr<testing::TFakeTerraService> service =
      std::make_shared<testing::TFakeTerraService>();
  std::unique_ptr<AreaBoundingBox> area =
      testing::MakeArea(1000, 5000, 37, 81, 1000 + kColumns - 1, 5000 - kRows + 1, 199, 199);
  std::vector<std::vector<std::uint8_t>> files;  // the cached tiles' bytes, in drawing order
  TBitmap24 picture{kColumns * 200 - 37, kRows * 200 - 81};

  explicit TWarmCache(bool gif) {
    int seed = 0;
    for (int y = 5000; y > 5000 - kRows; --y)
      for (int x = 1000; x < 1000 + kColumns; ++x) {
        const auto c = static_cast<std::uint8_t>(seed * 17);
        service->SetTile({Theme::Photo, Scale::Scale1m, 18, x, y},
                         gif ? testing::SolidGifTile(c, 255 - c, 90) : PhotoTile(seed));
        ++seed;
      }
    InitializeTileService(service, "", folder / "Cache", 1'000'000, 10);
    DrawAreaToBitmap(picture, *area);  // every tile now on disk
    for (int y = 5000; y > 5000 - kRows; --y)
      for (int x = 1000; x < 1000 + kColumns; ++x) {
        std::ifstream in(TileFileName({Theme::Photo, Scale::Scale1m, 18, x, y}), std::ios::binary);
        files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      }
  }
  ~TWarmCache() { FinalizeTileService(); }
};

struct TClocks {
  double wall = 0, cpu = 0;  // seconds
  static double Now(clockid_t clock) {
    timespec now{};
    ::clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
  }
  template <typename F>
  void Add(F&& work) {
    const double wall0 = Now(CLOCK_MONOTONIC), cpu0 = Now(CLOCK_PROCESS_CPUTIME_ID);
    work();
    wall += Now(CLOCK_MONOTONIC) - wall0;
    cpu += Now(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
  }
};

// A warm cache drawn by a store that has decoded nothing yet (arg 1 = 0), as a view's
// first load, or by one that has drawn the area before (1), as a redraw or Back. Beside
// it, in the same iterations, the single-thread decode of the same files: the counters
// x_bare_decode (CPU of the whole process) and x_bare_decode_wall are the drawing's
// multiples of it.
void BM_DrawAreaToBitmap_WarmCache(benchmark::State& state) {
  TWarmCache cache(state.range(0) != 0);
  const bool redraw = state.range(1) != 0;
  TClocks draw, bare;
  for (auto _ : state) {
    state.PauseTiming();
    if (!redraw) InitializeTileService(cache.service, "", cache.folder / "Cache", 1'000'000, 10);
    bare.Add([&] {
      for (const auto& file : cache.files)
        benchmark::DoNotOptimize(DecodeTileBytes(file.data(), file.size()).Data());
    });
    state.ResumeTiming();
    draw.Add([&] { DrawAreaToBitmap(cache.picture, *cache.area); });
    benchmark::DoNotOptimize(cache.picture.Data());
  }
  if (cache.service->CallCount("GetTile") != kColumns * kRows) state.SkipWithError("cache missed");
  state.SetItemsProcessed(state.iterations() * kColumns * kRows);
  state.counters["x_bare_decode"] = draw.cpu / bare.cpu;
  state.counters["x_bare_decode_wall"] = draw.wall / bare.wall;
  state.counters["bare_decode_ms"] =
      bare.wall * 1e3 /
      static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
  state.SetLabel(std::string(state.range(0) != 0 ? "GIF tiles" : "JPEG tiles") +
                 (redraw ? ", redrawn" : ", first drawing"));
}
BENCHMARK(BM_DrawAreaToBitmap_WarmCache)
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

// The same tiles through libjpeg-turbo alone: memory source, BGR scanlines, no files.
void BM_BareLibjpegDecode(benchmark::State& state) {
  TWarmCache cache(false);
  std::vector<std::uint8_t> pixels(200 * 200 * 3);
  for (auto _ : state) {
    for (const auto& file : cache.files) {
      bench::BareDecodeJpeg(file, pixels.data());
      benchmark::DoNotOptimize(pixels.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(cache.files.size()));
}
BENCHMARK(BM_BareLibjpegDecode)->Unit(benchmark::kMillisecond)->UseRealTime();

// A cold 1920 x 1080 view at 4 m per pixel, as quorvil-export draws it: the store started
// on an empty cache, the area asked for, every tile downloaded and drawn. The local map
// service answers after 50 ms, as a real server over the network would. Its own cache
// is warmed first, so that the figures hold the link, not the tile rendering.
void BM_ColdView1920x1080At4m(benchmark::State& state) {
  if (mapservice::testing::kMapServicePath == nullptr) {
    state.SkipWithError("quorvil-mapservice is not built");
    return;
  }
  const int connections = static_cast<int>(state.range(0));
  mapservice::testing::ServiceProcess service({"--port", "0", "--delay-ms", "50"});
  if (service.Endpoint().empty()) {
    state.SkipWithError("the map service did not start");
    return;
  }
  const LonLatPt center{-73.965, 40.784};
  std::int64_t tiles = 0;
  const auto draw = [&] {
    testing::TTempFolder cache;
    InitializeTileService(service.Endpoint(), cache / "Cache", 1'000'000, 10, connections);
    const auto area = ServiceGetAreaFromPt(center, Theme::Photo, Scale::Scale4m, 1920, 1080);
    TBitmap24 picture(1920, 1080);
    DrawAreaToBitmap(picture, *area);
    tiles = AreaTileCount(*area);
    FinalizeTileService();
  };
  draw();  // the service renders its tiles once
  for (auto _ : state) draw();
  state.counters["tiles"] = static_cast<double>(tiles);
  state.SetLabel(std::to_string(connections) + (connections == 1 ? " connection" : " connections"));
}
BENCHMARK(BM_ColdView1920x1080At4m)
    ->Arg(1)
    ->Arg(8)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

// A cache folder of `count` empty tile files, file i last used i seconds after a start.
constexpr int kCacheFiles = 100'000;

std::string CacheFile(const std::string& folder, int i) {
  return folder + "/0-10-18-" + std::to_string(i) + "-7.TMP";
}

void MakeCacheFile(const std::string& folder, int i) {
  const std::string path = CacheFile(folder, i);
  ::close(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
  SetFileDateTime(path,
                  std::chrono::system_clock::from_time_t(1'600'000'000) + std::chrono::seconds(i));
}

struct TBigCache {
  testing::TTempFolder folder;
  std::string cache = folder / "Cache";
  std::shared_ptr<testing::TFakeTerraService> service =
      std::make_shared<testing::TFakeTerraService>();
  TBigCache() {
    fs::create_directories(cache);
    for (int i = 0; i < kCacheFiles; ++i) MakeCacheFile(cache, i);
  }
  ~TBigCache() { FinalizeTileService(); }
};

void BM_InitializeTileService_100k(benchmark::State& state) {
  TBigCache big;
  for (auto _ : state) {
    InitializeTileService(big.service, "", big.cache, 466, 10);
    benchmark::DoNotOptimize(TileIndexCount());
  }
  if (TileIndexCount() != kCacheFiles) state.SkipWithError("index incomplete");
}
BENCHMARK(BM_InitializeTileService_100k)->Unit(benchmark::kMillisecond)->Iterations(10);

// A limit just under the folder's size: each trim deletes the oldest tenth plus two,
// which are made again (untimed) before the next round.
void BM_TrimTileCache_100k(benchmark::State& state) {
  TBigCache big;
  constexpr std::int64_t kLimit = kCacheFiles - 1;
  const auto deleted = TrimDeleteCount(kCacheFiles, kLimit, 10);
  for (auto _ : state) {
    state.PauseTiming();
    for (int i = 0; i < deleted; ++i) MakeCacheFile(big.cache, i);
    InitializeTileService(big.service, "", big.cache, kLimit, 10);
    state.ResumeTiming();
    TrimTileCache();
  }
  if (TileIndexCount() != kCacheFiles - deleted) state.SkipWithError("wrong trim");
  state.counters["files_deleted"] = static_cast<double>(deleted);
}
BENCHMARK(BM_TrimTileCache_100k)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
}  // namespace quorvil
