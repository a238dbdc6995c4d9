// The picture operations that run on every repaint, on a full-HD view, each beside a
// plain memcpy of the same bytes: the figure to read is an operation's bytes/s against
// Memcpy's bytes/s.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>

#include "imagery/Bitmap24.h"
#include "imagery/ImageSupport.h"

namespace quorvil {
namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

TBitmap24 Noise(int width, int height, unsigned seed) {
  TBitmap24 picture(width, height);
  std::mt19937 random(seed);
  for (std::int64_t i = 0; i < picture.ByteCount(); ++i) {
    picture.Data()[i] = static_cast<std::uint8_t>(random());
  }
  return picture;
}

void CountBytes(benchmark::State& state, std::int64_t bytesPerIteration) {
  state.counters["bytes/s"] = benchmark::Counter(
      static_cast<double>(bytesPerIteration) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate);
}

void Memcpy(benchmark::State& state) {
  const TBitmap24 source = Noise(kWidth, kHeight, 1);
  TBitmap24 destination(kWidth, kHeight);
  for (auto _ : state) {
    std::memcpy(destination.Data(), source.Data(), static_cast<std::size_t>(source.ByteCount()));
    benchmark::DoNotOptimize(destination.Data());
    benchmark::ClobberMemory();
  }
  CountBytes(state, source.ByteCount());
}

void AdjustBrightnessFullView(benchmark::State& state) {
  TBitmap24 picture = Noise(kWidth, kHeight, 2);
  bool darker = true;
  for (auto _ : state) {
    AdjustBrightness(picture, darker ? 119 : 136);
    darker = !darker;
    benchmark::DoNotOptimize(picture.Data());
    benchmark::ClobberMemory();
  }
  CountBytes(state, picture.ByteCount());
}

void BlendBitmapsSoftwareFullView(benchmark::State& state) {
  TBitmap24 destination = Noise(kWidth, kHeight, 3);
  const TBitmap24 source = Noise(kWidth, kHeight, 4);
  for (auto _ : state) {
    BlendBitmapsSoftware(destination, source, 130, kWidth, kHeight);
    benchmark::DoNotOptimize(destination.Data());
    benchmark::ClobberMemory();
  }
  CountBytes(state, destination.ByteCount());
}

void StretchDoubleFullView(benchmark::State& state) {
  const TBitmap24 half = Noise(kWidth / 2, kHeight / 2, 5);
  TBitmap24 view(kWidth, kHeight);
  for (auto _ : state) {
    StretchBitmap(view, half);
    benchmark::DoNotOptimize(view.Data());
    benchmark::ClobberMemory();
  }
  CountBytes(state, view.ByteCount());
}

void StretchDoubleSmoothFullView(benchmark::State& state) {
  const TBitmap24 half = Noise(kWidth / 2, kHeight / 2, 5);
  TBitmap24 view(kWidth, kHeight);
  for (auto _ : state) {
    StretchDoubleSmoothArea(view, half, {0, 0, kWidth, kHeight});
    benchmark::DoNotOptimize(view.Data());
    benchmark::ClobberMemory();
  }
  CountBytes(state, view.ByteCount());
}

void ShiftBitmapFullView(benchmark::State& state) {
  TBitmap24 picture = Noise(kWidth, kHeight, 6);
  int sign = 1;
  for (auto _ : state) {
    ShiftBitmap(picture, 8 * sign, 5 * sign, kColorBlack);
    sign = -sign;
    benchmark::DoNotOptimize(picture.Data());
    benchmark::ClobberMemory();
  }
  CountBytes(state, picture.ByteCount());
}

BENCHMARK(Memcpy)->Unit(benchmark::kMicrosecond);
BENCHMARK(AdjustBrightnessFullView)->Unit(benchmark::kMicrosecond);
BENCHMARK(BlendBitmapsSoftwareFullView)->Unit(benchmark::kMicrosecond);
BENCHMARK(StretchDoubleFullView)->Unit(benchmark::kMicrosecond);
BENCHMARK(StretchDoubleSmoothFullView)->Unit(benchmark::kMicrosecond);
BENCHMARK(ShiftBitmapFullView)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quorvil
