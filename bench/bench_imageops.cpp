// The picture operations that run on every repaint, on a full-HD view. Each benchmark
// also runs its reference in the same iterations, outside the timed part: a memcpy of
// the bytes the operation writes, and for the smooth stretch the plain doubling too. The
// counters x_memcpy and x_plain are the operation's thread CPU time divided by its
// reference's, so they hold even when a busy machine makes the times themselves noisy.

#include <benchmark/benchmark.h>
#include <time.h>

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

double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// Times the references of each iteration beside the operation, which the loop body
// runs between Start() and Stop(); Report() sets the ratios.
class TBesideReferences {
 public:
  explicit TBesideReferences(std::int64_t bytes)
      : from_(Noise(static_cast<int>(bytes / 3), 1, 7)), to_(static_cast<int>(bytes / 3), 1) {}
  void Start() { started_ = ThreadSeconds(); }
  // Ends the operation's time and runs the memcpy and the optional second reference.
  template <typename Reference>
  void Stop(benchmark::State& state, Reference&& reference) {
    const double stopped = ThreadSeconds();
    operation_ += stopped - started_;
    state.PauseTiming();
    std::memcpy(to_.Data(), from_.Data(), static_cast<std::size_t>(from_.ByteCount()));
    benchmark::DoNotOptimize(to_.Data());
    benchmark::ClobberMemory();
    const double copied = ThreadSeconds();
    reference();
    benchmark::ClobberMemory();
    memcpy_ += copied - stopped;
    other_ += ThreadSeconds() - copied;
    state.ResumeTiming();
  }
  void Stop(benchmark::State& state) {
    Stop(state, [] {});
  }
  void Report(benchmark::State& state, bool plain = false) const {
    if (memcpy_ > 0) state.counters["x_memcpy"] = operation_ / memcpy_;
    if (plain && other_ > 0) state.counters["x_plain"] = operation_ / other_;
  }

 private:
  const TBitmap24 from_;
  TBitmap24 to_;
  double started_ = 0, operation_ = 0, memcpy_ = 0, other_ = 0;
};

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
  TBesideReferences references(picture.ByteCount());
  bool darker = true;
  for (auto _ : state) {
    references.Start();
    AdjustBrightness(picture, darker ? 119 : 136);
    darker = !darker;
    benchmark::DoNotOptimize(picture.Data());
    benchmark::ClobberMemory();
    references.Stop(state);
  }
  CountBytes(state, picture.ByteCount());
  references.Report(state);
}

void BlendBitmapsSoftwareFullView(benchmark::State& state) {
  TBitmap24 destination = Noise(kWidth, kHeight, 3);
  const TBitmap24 source = Noise(kWidth, kHeight, 4);
  TBesideReferences references(destination.ByteCount());
  for (auto _ : state) {
    references.Start();
    BlendBitmapsSoftware(destination, source, 130, kWidth, kHeight);
    benchmark::DoNotOptimize(destination.Data());
    benchmark::ClobberMemory();
    references.Stop(state);
  }
  CountBytes(state, destination.ByteCount());
  references.Report(state);
}

void StretchDoubleFullView(benchmark::State& state) {
  const TBitmap24 half = Noise(kWidth / 2, kHeight / 2, 5);
  TBitmap24 view(kWidth, kHeight);
  TBesideReferences references(view.ByteCount());
  for (auto _ : state) {
    references.Start();
    StretchBitmap(view, half);
    benchmark::DoNotOptimize(view.Data());
    benchmark::ClobberMemory();
    references.Stop(state);
  }
  CountBytes(state, view.ByteCount());
  references.Report(state);
}

void StretchDoubleSmoothFullView(benchmark::State& state) {
  const TBitmap24 half = Noise(kWidth / 2, kHeight / 2, 5);
  TBitmap24 view(kWidth, kHeight), plain(kWidth, kHeight);
  TBesideReferences references(view.ByteCount());
  for (auto _ : state) {
    references.Start();
    StretchDoubleSmoothArea(view, half, {0, 0, kWidth, kHeight});
    benchmark::DoNotOptimize(view.Data());
    benchmark::ClobberMemory();
    references.Stop(state, [&] {
      StretchBitmap(plain, half);
      benchmark::DoNotOptimize(plain.Data());
    });
  }
  CountBytes(state, view.ByteCount());
  references.Report(state, true);
}

void ShiftBitmapFullView(benchmark::State& state) {
  TBitmap24 picture = Noise(kWidth, kHeight, 6);
  TBesideReferences references(picture.ByteCount());
  int sign = 1;
  for (auto _ : state) {
    references.Start();
    ShiftBitmap(picture, 8 * sign, 5 * sign, kColorBlack);
    sign = -sign;
    benchmark::DoNotOptimize(picture.Data());
    benchmark::ClobberMemory();
    references.Stop(state);
  }
  CountBytes(state, picture.ByteCount());
  references.Report(state);
}

BENCHMARK(Memcpy)->Unit(benchmark::kMicrosecond);
BENCHMARK(AdjustBrightnessFullView)->Unit(benchmark::kMicrosecond);
BENCHMARK(BlendBitmapsSoftwareFullView)->Unit(benchmark::kMicrosecond);
BENCHMARK(StretchDoubleFullView)->Unit(benchmark::kMicrosecond);
BENCHMARK(StretchDoubleSmoothFullView)->Unit(benchmark::kMicrosecond);
BENCHMARK(ShiftBitmapFullView)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quorvil
