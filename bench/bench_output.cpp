// Saving a large output picture: a 10,000 x 10,000 picture assembled from 2,500 tiles of
// a warm cache and written as JPEG, beside the bare libjpeg-turbo decode of the same
// tiles and the bare encode of the picture, measured in the same run. The last one
// reports its time as a multiple of the two bare steps, and its peak memory as a
// multiple of the picture's bytes.

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "../tests/support/FakeTerraService.h"
#include "../tests/support/TempFolder.h"
#include "BareJpeg.h"
#include "imagery/JpegCodec.h"
#include "imagery/MosaicSupport.h"
#include "output/OutputPicture.h"
#include "output/SaveAsSupport.h"
#include "service/TerraServiceSupport.h"

namespace quorvil {
namespace {

namespace fs = std::filesystem;

constexpr int kTilesPerSide = 50;  // 2,500 tiles, 10,000 pixels a side
constexpr int kWest = 3000, kNorth = 23000;

// A photograph-like tile: smooth shading across the whole picture with fine grain, so
// that it compresses like an aerial photograph (about 15 kB at the service's quality).
std::vector<std::uint8_t> PhotoTile(int column, int row, std::mt19937& random) {
  TBitmap24 tile(200, 200);
  for (int y = 0; y < 200; ++y) {
    std::uint8_t* p = tile.Row(y);
    for (int x = 0; x < 200; ++x, p += 3) {
      const int gx = column * 200 + x, gy = row * 200 + y;
      const int grain = static_cast<int>(random() % 24);
      p[0] = static_cast<std::uint8_t>(60 + (gx / 7 + gy / 11) % 90 + grain);
      p[1] = static_cast<std::uint8_t>(80 + (gx / 13 + gy / 5) % 100 + grain);
      p[2] = static_cast<std::uint8_t>(70 + (gx / 9) % 80 + grain);
    }
  }
  return EncodeJpeg(tile, 75);
}

// The cache folder holds every tile, and the tile store knows them all.
struct TWarmCache {
  testing::TTempFolder folder;
  std::shared_ptr<testing::TFakeTerraService> service =
      std::make_shared<testing::TFakeTerraService>();
  std::unique_ptr<AreaBoundingBox> area =
      testing::MakeArea(kWest, kNorth, 0, 0, kWest + kTilesPerSide - 1, kNorth - kTilesPerSide + 1,
                        200, 200, Theme::Photo, Scale::Scale1m, 18);
  std::vector<std::vector<std::uint8_t>> files;  // in drawing order

  TWarmCache() {
    InitializeTileService(service, "", folder / "Cache", 1'000'000, 10);
    fs::create_directories(folder / "Cache");
    std::mt19937 random(7);
    for (int row = 0; row < kTilesPerSide; ++row) {
      for (int column = 0; column < kTilesPerSide; ++column) {
        files.push_back(PhotoTile(column, row, random));
        const TileId id{Theme::Photo, Scale::Scale1m, 18, kWest + column, kNorth - row};
        std::ofstream(TileFileName(id), std::ios::binary)
            .write(reinterpret_cast<const char*>(files.back().data()),
                   static_cast<std::streamsize>(files.back().size()));
      }
    }
    InitializeTileService(service, "", folder / "Cache", 1'000'000, 10);
  }
  ~TWarmCache() { FinalizeTileService(); }
};

TWarmCache& Cache() {
  static TWarmCache cache;
  return cache;
}

// Seconds per iteration of the bare steps, for the ratio of the whole save.
double bareDecodeSeconds = 0;
double bareEncodeSeconds = 0;

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// Kilobytes of a field of /proc/self/status ("VmHWM:", "VmRSS:").
std::int64_t StatusKilobytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == field) {
      std::int64_t kilobytes = 0;
      status >> kilobytes;
      return kilobytes;
    }
    status.ignore(1 << 12, '\n');
  }
  return 0;
}

// Starts a new peak of resident memory from what the process holds now.
void ResetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

void BM_BareDecodeOfTheTiles(benchmark::State& state) {
  const TWarmCache& cache = Cache();
  std::vector<std::uint8_t> pixels(200 * 200 * 3);
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    for (const auto& file : cache.files) {
      bench::BareDecodeJpeg(file, pixels.data());
      benchmark::DoNotOptimize(pixels.data());
    }
  }
  bareDecodeSeconds = Seconds(std::chrono::steady_clock::now() - start) / state.iterations();
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(cache.files.size()));
}
BENCHMARK(BM_BareDecodeOfTheTiles)->Unit(benchmark::kMillisecond)->Iterations(3);

// Quality 100 to memory, the settings Save As writes with.
void BM_BareEncodeOfThePicture(benchmark::State& state) {
  TWarmCache& cache = Cache();
  TBitmap24 picture = NewOutputPicture(*cache.area);
  DrawAreaToBitmap(picture, *cache.area);
  unsigned long bytes = 0;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    bytes = 0;
    jpeg_mem_dest(&info, &buffer, &bytes);
    info.image_width = static_cast<JDIMENSION>(picture.Width());
    info.image_height = static_cast<JDIMENSION>(picture.Height());
    info.input_components = 3;
    info.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
      JSAMPROW row = picture.Row(static_cast<int>(info.next_scanline));
      jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::free(buffer);
  }
  bareEncodeSeconds = Seconds(std::chrono::steady_clock::now() - start) / state.iterations();
  state.counters["jpeg_MB"] = static_cast<double>(bytes) / 1048576.0;
}
BENCHMARK(BM_BareEncodeOfThePicture)->Unit(benchmark::kMillisecond)->Iterations(3);

// What Save As does after the dialog: the white picture, the tiles from the warm cache,
// the JPEG file with its world files.
void BM_SaveOutputPictureAsJpeg(benchmark::State& state) {
  TWarmCache& cache = Cache();
  const std::string file = cache.folder / "saved.jpg";
  std::int64_t pictureBytes = 0;
  double peakRatio = 0;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    const std::int64_t before = StatusKilobytes("VmRSS:");
    ResetPeakMemory();
    {
      TBitmap24 picture = NewOutputPicture(*cache.area);
      pictureBytes = picture.ByteCount();
      if (!DrawAreaToBitmap(picture, *cache.area)) state.SkipWithError("not drawn");
      WriteSaveAsFiles(picture, *cache.area, file, TSaveAsFileType::sfJPEG);
    }
    const std::int64_t peak = StatusKilobytes("VmHWM:") - before;
    peakRatio = std::max(peakRatio, static_cast<double>(peak) * 1024 / pictureBytes);
  }
  const double seconds = Seconds(std::chrono::steady_clock::now() - start) / state.iterations();
  if (cache.service->CallCount("GetTile") != 0) state.SkipWithError("the cache was not warm");
  state.counters["times_bare_decode_plus_encode"] =
      bareDecodeSeconds + bareEncodeSeconds > 0 ? seconds / (bareDecodeSeconds + bareEncodeSeconds)
                                                : 0;
  state.counters["peak_memory_times_picture"] = peakRatio;
  state.counters["picture_MB"] = static_cast<double>(pictureBytes) / 1048576.0;
  state.counters["file_MB"] = static_cast<double>(fs::file_size(file)) / 1048576.0;
}
BENCHMARK(BM_SaveOutputPictureAsJpeg)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace quorvil
