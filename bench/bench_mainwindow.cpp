// The main window offscreen: a warm-cache load of a 1920 x 1080 view with the paper map
// at 50 %, and one 100 x 100 pan step, beside the bare decode of the same tiles.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <chrono>
#include <ctime>
#include <random>

#include "../tests/support/TempFolder.h"
#include "../tests/support/ViewServiceDouble.h"
#include "imagery/JpegCodec.h"
#include "imagery/MosaicSupport.h"
#include "service/TerraServiceSupport.h"
#include "ui/main/Main.h"
#include "ui/main/MainImage.h"
#include "ui/main/SliderFrame.h"

namespace quorvil {
namespace {

// Tiles that decode like real ones: a photograph with grain as JPEG, a map of
// sixteen-colour contour bands as GIF.
class TTexturedService : public testing::TViewServiceDouble {
 public:
  std::string GetTile(const TileId& id) override { return testing::EncodeBase64(File(id)); }
  static std::vector<std::uint8_t> File(const TileId& id) {
    std::mt19937 random(static_cast<unsigned>(id.X * 7919 + id.Y));
    if (id.Theme == Theme::Topo) {
      testing::TGifPicture gif;
      gif.screenWidth = gif.width = gif.screenHeight = gif.height = 200;
      for (int i = 0; i < 16; ++i) {
        gif.palette.push_back({static_cast<GifByteType>(i * 16),
                               static_cast<GifByteType>(200 - i * 8),
                               static_cast<GifByteType>(120 + i * 8)});
      }
      gif.pixels.resize(200 * 200);
      for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x)
          gif.pixels[y * 200 + x] = static_cast<std::uint8_t>(((x * x + y * 3 + id.X) / 97) % 16);
      return testing::EncodeGif(gif);
    }
    TBitmap24 tile(200, 200);
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 200; ++x) {
        std::uint8_t* p = tile.Pixel(x, y);
        const int grain = static_cast<int>(random() % 40);
        p[0] = static_cast<std::uint8_t>((x + id.X * 13) % 160 + grain);
        p[1] = static_cast<std::uint8_t>((y + id.Y * 7) % 160 + grain);
        p[2] = static_cast<std::uint8_t>((x + y) % 120 + grain);
      }
    return EncodeJpeg(tile, 75);
  }
};

struct TWindowBench {
  testing::TTempFolder cache;
  std::shared_ptr<TTexturedService> service = std::make_shared<TTexturedService>();
  std::unique_ptr<TfrmMain> window;

  explicit TWindowBench(bool paperMap) {
    window = std::make_unique<TfrmMain>([this](const TPreferences&) {
      InitializeTileService(service, "", cache.Path().string() + "/", 1'000'000, 10);
    });
    window->show();
    QApplication::processEvents();
    // A view of 1920 x 1080 pixels.
    const QSize panel = window->pnlMapClient->size() - QSize(2, 2);
    window->resize(window->size() + QSize(1920, 1080) - panel);
    QApplication::processEvents();
    window->SetZoomLevel(12);
    window->LoadPlace();  // every tile now in the cache
    if (paperMap) {
      window->chkLoadPaperMap->setChecked(true);
      window->sliderMapOverlay->SetPosition(64);  // 50 %
    }
  }
  bool Sized() const {
    return window->imgMain->width() == 1920 && window->imgMain->height() == 1080;
  }
};

// The cache files of the view's tiles, read once.
std::vector<TMemoryStream> ViewTileFiles(const TfrmMain& window,
                                         std::vector<TileId>* ids = nullptr) {
  std::vector<TileId> all;
  for (const AreaBoundingBox* area : {window.PhotoArea(), window.TopoArea()}) {
    const TileId& nw = *area->NorthWest->TileMeta->Id;
    const TileId& se = *area->SouthEast->TileMeta->Id;
    for (int y = nw.Y; y >= se.Y; --y)
      for (int x = nw.X; x <= se.X; ++x) all.push_back({nw.Theme, nw.Scale, nw.Scene, x, y});
  }
  std::vector<TMemoryStream> files(all.size());
  for (std::size_t i = 0; i < all.size(); ++i) LoadTileToStream(files[i], all[i]);
  if (ids != nullptr) *ids = std::move(all);
  return files;
}

double ProcessCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Each load is timed beside a bare decode of the same tiles on this one thread, so that
// the ratios hold however busy the machine is.
void BM_LoadPlace_WarmCache_PaperMap(benchmark::State& state) {
  TWindowBench bench(true);
  if (!bench.Sized()) state.SkipWithError("the view is not 1920 x 1080");
  const int downloads = bench.service->TileCalls();
  std::vector<TMemoryStream> files = ViewTileFiles(*bench.window);
  double loadCpu = 0, loadWall = 0, uiCpu = 0, decodeCpu = 0, decodeWall = 0;
  // Arg 0: a fresh tile store before each load, so that every tile is read from the disk
  // cache and decoded; arg 1: the store's memo of decoded tiles kept, as for a Refresh.
  const bool remembered = state.range(0) != 0;
  for (auto _ : state) {
    if (!remembered) {
      state.PauseTiming();
      InitializeTileService(bench.service, "", bench.cache.Path().string() + "/", 1'000'000, 10);
      state.ResumeTiming();
    }
    const double cpu = ProcessCpuSeconds(), wall = WallSeconds(), ui = ThreadCpuSeconds();
    bench.window->LoadPlace();
    uiCpu += ThreadCpuSeconds() - ui;
    loadCpu += ProcessCpuSeconds() - cpu;
    loadWall += WallSeconds() - wall;
    state.PauseTiming();
    const double decodeCpuFrom = ProcessCpuSeconds(), decodeWallFrom = WallSeconds();
    for (TMemoryStream& file : files) benchmark::DoNotOptimize(DecodeTileStream(file).Data());
    decodeCpu += ProcessCpuSeconds() - decodeCpuFrom;
    decodeWall += WallSeconds() - decodeWallFrom;
    state.ResumeTiming();
  }
  if (bench.service->TileCalls() != downloads) state.SkipWithError("cache missed");
  const auto n = static_cast<double>(state.iterations());
  state.counters["tiles"] = static_cast<double>(files.size());
  state.counters["load_cpu_ms"] = 1e3 * loadCpu / n;
  state.counters["load_wall_ms"] = 1e3 * loadWall / n;
  // Of the load's CPU time, what the user-interface thread spent (placing, composing,
  // painting, and decoding what the readers had not yet).
  state.counters["ui_cpu_ms"] = 1e3 * uiCpu / n;
  state.counters["bare_decode_ms"] = 1e3 * decodeWall / n;
  // The load against the single-thread decode of its tiles: CPU, and wall time.
  state.counters["x_bare_decode_cpu"] = loadCpu / decodeCpu;
  state.counters["x_bare_decode_wall"] = loadWall / decodeWall;
  state.SetLabel(remembered ? "decoded tiles remembered" : "every tile decoded");
}
BENCHMARK(BM_LoadPlace_WarmCache_PaperMap)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

// The same tiles as the load above, read from the cache and decoded, and decoded alone.
void BM_BareDecode_SameTiles(benchmark::State& state) {
  TWindowBench bench(true);
  std::vector<TileId> ids;
  std::vector<TMemoryStream> files = ViewTileFiles(*bench.window, &ids);
  const bool fromCache = state.range(0) != 0;
  for (auto _ : state) {
    for (std::size_t i = 0; i < ids.size(); ++i) {
      if (fromCache) {
        TMemoryStream stream;
        LoadTileToStream(stream, ids[i]);
        benchmark::DoNotOptimize(DecodeTileStream(stream).Data());
      } else {
        benchmark::DoNotOptimize(DecodeTileStream(files[i]).Data());
      }
    }
  }
  state.counters["tiles"] = static_cast<double>(ids.size());
  state.SetLabel(fromCache ? "cache read + decode" : "decode only");
}
BENCHMARK(BM_BareDecode_SameTiles)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// One pan step of 100 x 100 pixels and back again, per iteration two steps.
void BM_PanStep_WarmCache(benchmark::State& state) {
  TWindowBench bench(state.range(0) != 0);
  if (!bench.Sized()) state.SkipWithError("the view is not 1920 x 1080");
  int step = 100;
  double cpu = 0;
  const double wall = WallSeconds();
  for (auto _ : state) {
    const double from = ProcessCpuSeconds();
    bench.window->PanView(step, step);
    cpu += ProcessCpuSeconds() - from;
    step = -step;
  }
  const auto n = static_cast<double>(state.iterations());
  state.counters["step_cpu_ms"] = 1e3 * cpu / n;
  // Against the 12 ms a step may take.
  state.counters["x_target_12ms"] = (WallSeconds() - wall) / n / 0.012;
  state.SetLabel(state.range(0) != 0 ? "with the paper map" : "photograph only");
}
BENCHMARK(BM_PanStep_WarmCache)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
}  // namespace quorvil

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("XDG_CONFIG_HOME")) {
    static quorvil::testing::TTempFolder config;
    qputenv("XDG_CONFIG_HOME", config.Path().string().c_str());
  }
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
