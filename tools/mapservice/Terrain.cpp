#include "mapservice/Terrain.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <numbers>
#include <string_view>
#include <utility>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "mapservice/CpuFeatures.h"
#include "mapservice/Noise.h"
#include "mapservice/TileGrid.h"
#include "mapservice/UtmProjection.h"

namespace quorvil::mapservice {

namespace {

constexpr double kR = 6378137.0;
constexpr double kDeg = std::numbers::pi / 180.0;
// Ground coordinates are spherical Mercator metres: conformal, so features keep their
// shape everywhere, and a function of longitude and latitude alone.
double MercatorX(double lon) { return kR * lon * kDeg; }
double MercatorY(double lat) {
  const double phi = std::clamp(lat, -89.0, 89.0) * kDeg;
  return kR * std::log(std::tan(std::numbers::pi / 4 + phi / 2));
}

// The noise fields the land is made of.
enum Field : int {
  kElevationField,
  kMountainField,
  kRidgeField,
  kRiverField,
  kHighwayField,
  kWoodField,
  kFarmField,
  kEdgeField,
  kTextureField,
  kCrownField,
  kFieldCount
};
constexpr std::array<FbmSpec, kFieldCount> kFields = {{
    {11, 40000, 12, 0.5, 4},  // elevation
    {12, 160000, 3, 0.5, 4},  // where the mountains are
    {13, 9000, 7, 0.5, 4},    // mountain ridges
    {14, 30000, 5, 0.45, 4},  // rivers along its zero line
    {15, 45000, 3, 0.4, 4},   // highways along its zero line
    {16, 2600, 8, 0.55, 4},   // woods
    {17, 25000, 3, 0.5, 4},   // farmland
    {18, 2200, 5, 0.5, 4},    // wobble of the edges of places
    {19, 28, 4, 0.6, 2},      // grain
    {20, 26, 3, 0.55, 2},     // tree crowns
}};

// Channels of a lattice: the fields, the ground coordinates and the ground units per
// pixel, then how much the places make the land built-up, park, land, water, island
// and strait, and how much hills raise it.
enum Channel : int {
  kGroundX = kFieldCount,
  kGroundY,
  kFootprint,
  kUrbanShare,
  kParkShare,
  kLandShare,
  kWaterShare,
  kIslandShare,
  kStraitShare,
  kHillHeight,
  kInverseFootprint,  // 1 / kFootprint, for the lattice at hand only
  kChannels
};

// The noise is summed on lattices of ever finer steps (pixels), each refined from the
// one before: an octave is sampled on the coarsest lattice on which its wavelength spans
// at least the given number of pixels (eight or more points per wavelength, four on the two
// finest lattices), and the finest octaves at every pixel. Point (k, l) of a lattice lies
// at pixel corner ((k - 1) * step, (l - 1) * step) of the tile, so the lattices are
// common to all tiles of a scale and neighbouring tiles compute identical points.
constexpr std::array<int, 4> kSteps = {40, 8, 4, 2};
constexpr std::array<double, 4> kShortestWave = {320, 64, 16, 8};
// Places are looked up in cells of this many pixels.
constexpr int kCellStep = 8;
constexpr int kLevels = static_cast<int>(kSteps.size()) + 1;  // the last: the pixels

struct Octave {
  double wave;    // ground units
  double weight;  // share of the field's whole sum
  std::uint32_t seed;
  double fadeFrom;  // pixels
  bool fades;       // whether the tile holds pixels where it fades in
};
using OctavePlan = std::array<std::array<std::vector<Octave>, kLevels>, kFieldCount>;

// Which octaves each lattice samples. The split depends on the scale alone, so that
// every tile splits alike; octaves that are wholly faded out in the tile (footprints
// fpMin .. fpMax) are left out, which changes no pixel.
OctavePlan PlanOctaves(double metresPerPixel, double fpMin, double fpMax) {
  OctavePlan plan;
  for (int f = 0; f < kFieldCount; ++f) {
    const FbmSpec& sum = kFields[f];
    double total = 0, share = 1;
    for (int i = 0; i < sum.octaves; ++i, share *= sum.gain) total += share;
    double weight = 1, wave = sum.base;
    for (int i = 0; i < sum.octaves; ++i, weight *= sum.gain, wave *= 0.5) {
      if (wave / fpMin <= sum.fadeFrom) continue;
      int level = 0;
      // Only grain and tree crowns need octaves at every pixel; the land forms are
      // complete on the finest lattice.
      const bool grain = f == kTextureField || f == kCrownField;
      const int finest = grain ? kLevels - 1 : kLevels - 2;
      while (level < finest && wave / metresPerPixel < kShortestWave[level]) ++level;
      plan[f][level].push_back({wave, weight / total,
                                sum.seed + static_cast<std::uint32_t>(i) * 101u, sum.fadeFrom,
                                !(wave / fpMax >= 2 * sum.fadeFrom)});
    }
  }
  return plan;
}

// Storage of lattices, kept by each thread: a tile's lattices take a few megabytes, which
// would otherwise come as fresh pages from the system for every tile.
class LatticeStore {
 public:
  struct Block {
    std::unique_ptr<double[]> values;
    std::size_t size = 0;
  };
  static Block Take(std::size_t size) {
    std::vector<Block>& free = Free();
    for (auto it = free.begin(); it != free.end(); ++it) {
      if (it->size >= size) {
        Block b = std::move(*it);
        free.erase(it);
        return b;
      }
    }
    return {std::unique_ptr<double[]>(new double[size]), size};
  }
  static void Give(Block b) {
    std::vector<Block>& free = Free();
    // A tile holds two lattices at once, and a few smaller buffers.
    if (b.values && free.size() < 4) free.push_back(std::move(b));
  }

 private:
  static std::vector<Block>& Free() {
    thread_local std::vector<Block> free;
    return free;
  }
};

struct Lattice {
  int step = 0, side = 0;
  // Channel after channel, rows north to south; left unset until a channel is written.
  LatticeStore::Block block;

  explicit Lattice(int s)
      : step(s),
        side(kTilePixels / s + 3),
        block(LatticeStore::Take(static_cast<std::size_t>(kChannels) * side * side)) {}
  Lattice(Lattice&& other) noexcept = default;
  Lattice& operator=(Lattice&& other) noexcept {
    LatticeStore::Give(std::move(block));
    step = other.step;
    side = other.side;
    block = std::move(other.block);
    return *this;
  }
  ~Lattice() { LatticeStore::Give(std::move(block)); }
  double* Channel(int c) { return block.values.get() + static_cast<std::size_t>(c) * side * side; }
  const double* Channel(int c) const {
    return block.values.get() + static_cast<std::size_t>(c) * side * side;
  }
  void Clear(int c) { std::fill_n(Channel(c), static_cast<std::size_t>(side) * side, 0.0); }
};

// Loops over rows of lattice values and pixels, the hot ones of the interpolation.
struct RowLoops {
  // out[k] = a[k] + (b[k] - a[k]) * w
  void (*lerp)(const double* a, const double* b, double w, int n, double* out);
  // Pixels between two rows of a lattice of step 2, w of the way from a to b: columns
  // c (n + 2 of them) as lerp makes them, then out[2m] 3/4 of the way from c[m] to
  // c[m + 1], out[2m + 1] 1/4 of the way from c[m + 1] to c[m + 2].
  void (*pixels)(const double* a, const double* b, double w, int n, double* out);
  // out[k] = 1 / in[k]
  void (*invert)(const double* in, int n, double* out);
  // A row refined to half the step: out[2m] halfway from in[m] to in[m + 1], out[2m + 1]
  // at in[m + 1], for m below n.
  void (*halve)(const double* in, int n, double* out);
};

// The plain loops are built twice: for the baseline, and for AVX2 where a machine has it
// but not AVX-512. The same operations in the same order give the same bits either way.
#if defined(__x86_64__)
#define QUORVIL_AVX2_CLONE(name, plain, params, args) \
  __attribute__((target("avx2"))) void name params { plain##Body args; }
#endif

[[gnu::always_inline]] inline void LerpPlainBody(const double* a, const double* b, double w, int n,
                                                 double* out) {
  for (int k = 0; k < n; ++k) out[k] = a[k] + (b[k] - a[k]) * w;
}

[[gnu::always_inline]] inline void PixelsPlainBody(const double* a, const double* b, double w,
                                                   int n, double* out) {
  auto column = [a, b, w](int k) { return a[k] + (b[k] - a[k]) * w; };
  double c0 = column(0), c1 = column(1);
  for (int m = 0; m < n; ++m) {
    const double c2 = column(m + 2);
    out[2 * m] = c0 + (c1 - c0) * 0.75;
    out[2 * m + 1] = c1 + (c2 - c1) * 0.25;
    c0 = c1;
    c1 = c2;
  }
}

[[gnu::always_inline]] inline void InvertPlainBody(const double* in, int n, double* out) {
  for (int k = 0; k < n; ++k) out[k] = 1.0 / in[k];
}

[[gnu::always_inline]] inline void HalvePlainBody(const double* in, int n, double* out) {
  for (int m = 0; m < n; ++m) {
    out[2 * m] = in[m] + (in[m + 1] - in[m]) * 0.5;
    out[2 * m + 1] = in[m + 1];
  }
}

void LerpPlain(const double* a, const double* b, double w, int n, double* out) {
  LerpPlainBody(a, b, w, n, out);
}
void PixelsPlain(const double* a, const double* b, double w, int n, double* out) {
  PixelsPlainBody(a, b, w, n, out);
}
void InvertPlain(const double* in, int n, double* out) { InvertPlainBody(in, n, out); }
void HalvePlain(const double* in, int n, double* out) { HalvePlainBody(in, n, out); }
#if defined(__x86_64__)
QUORVIL_AVX2_CLONE(LerpAvx2, LerpPlain,
                   (const double* a, const double* b, double w, int n, double* out),
                   (a, b, w, n, out))
QUORVIL_AVX2_CLONE(PixelsAvx2, PixelsPlain,
                   (const double* a, const double* b, double w, int n, double* out),
                   (a, b, w, n, out))
QUORVIL_AVX2_CLONE(InvertAvx2, InvertPlain, (const double* in, int n, double* out), (in, n, out))
QUORVIL_AVX2_CLONE(HalveAvx2, HalvePlain, (const double* in, int n, double* out), (in, n, out))
#endif

#if defined(__x86_64__)

__attribute__((target("avx512f"))) void LerpAvx512(const double* a, const double* b, double w,
                                                   int n, double* out) {
  const __m512d weight = _mm512_set1_pd(w);
  int k = 0;
  for (; k + 8 <= n; k += 8) {
    const __m512d x = _mm512_loadu_pd(a + k);
    _mm512_storeu_pd(
        out + k, _mm512_add_pd(x, _mm512_mul_pd(_mm512_sub_pd(_mm512_loadu_pd(b + k), x), weight)));
  }
  LerpPlain(a + k, b + k, w, n - k, out + k);
}

// Lanes k .. k + 7 of LerpPlain, those from n on left zero.
__attribute__((target("avx512f"))) inline __m512d LerpOf(const double* a, const double* b,
                                                         __m512d weight, int k, int n) {
  const __mmask8 lanes = n - k >= 8 ? 0xFF : static_cast<__mmask8>((1u << (n - k)) - 1);
  const __m512d x = _mm512_maskz_loadu_pd(lanes, a + k);
  return _mm512_add_pd(
      x, _mm512_mul_pd(_mm512_sub_pd(_mm512_maskz_loadu_pd(lanes, b + k), x), weight));
}

// Each column once, kept in registers: the next eight make the two neighbours.
__attribute__((target("avx512f"))) void PixelsAvx512(const double* a, const double* b, double w,
                                                     int n, double* out) {
  const __m512d weight = _mm512_set1_pd(w);
  const __m512d threeQuarters = _mm512_set1_pd(0.75), quarter = _mm512_set1_pd(0.25);
  const __m512i low = _mm512_setr_epi64(0, 8, 1, 9, 2, 10, 3, 11);
  const __m512i high = _mm512_setr_epi64(4, 12, 5, 13, 6, 14, 7, 15);
  const int columns = n + 2;
  __m512d next = LerpOf(a, b, weight, 0, columns);
  int m = 0;
  for (; m + 8 <= n; m += 8) {
    const __m512d c0 = next;
    next = LerpOf(a, b, weight, m + 8, columns);
    const __m512d c1 = _mm512_castsi512_pd(
        _mm512_alignr_epi64(_mm512_castpd_si512(next), _mm512_castpd_si512(c0), 1));
    const __m512d c2 = _mm512_castsi512_pd(
        _mm512_alignr_epi64(_mm512_castpd_si512(next), _mm512_castpd_si512(c0), 2));
    const __m512d even = _mm512_add_pd(c0, _mm512_mul_pd(_mm512_sub_pd(c1, c0), threeQuarters));
    const __m512d odd = _mm512_add_pd(c1, _mm512_mul_pd(_mm512_sub_pd(c2, c1), quarter));
    _mm512_storeu_pd(out + 2 * m, _mm512_permutex2var_pd(even, low, odd));
    _mm512_storeu_pd(out + 2 * m + 8, _mm512_permutex2var_pd(even, high, odd));
  }
  PixelsPlain(a + m, b + m, w, n - m, out + 2 * m);
}

__attribute__((target("avx512f"))) void InvertAvx512(const double* in, int n, double* out) {
  int k = 0;
  for (; k + 8 <= n; k += 8)
    _mm512_storeu_pd(out + k, _mm512_div_pd(_mm512_set1_pd(1.0), _mm512_loadu_pd(in + k)));
  InvertPlain(in + k, n - k, out + k);
}

__attribute__((target("avx512f"))) void HalveAvx512(const double* in, int n, double* out) {
  const __m512d half = _mm512_set1_pd(0.5);
  const __m512i low = _mm512_setr_epi64(0, 8, 1, 9, 2, 10, 3, 11);
  const __m512i high = _mm512_setr_epi64(4, 12, 5, 13, 6, 14, 7, 15);
  int m = 0;
  for (; m + 8 <= n; m += 8) {
    const __m512d c0 = _mm512_loadu_pd(in + m), c1 = _mm512_loadu_pd(in + m + 1);
    const __m512d even = _mm512_add_pd(c0, _mm512_mul_pd(_mm512_sub_pd(c1, c0), half));
    _mm512_storeu_pd(out + 2 * m, _mm512_permutex2var_pd(even, low, c1));
    _mm512_storeu_pd(out + 2 * m + 8, _mm512_permutex2var_pd(even, high, c1));
  }
  HalvePlain(in + m, n - m, out + 2 * m);
}

#endif

RowLoops ChooseRowLoops() {
#if defined(__x86_64__)
  if (HasAvx512Double()) return {&LerpAvx512, &PixelsAvx512, &InvertAvx512, &HalveAvx512};
  if (HasAvx2()) return {&LerpAvx2, &PixelsAvx2, &InvertAvx2, &HalveAvx2};
#endif
  return {&LerpPlain, &PixelsPlain, &InvertPlain, &HalvePlain};
}

// Chosen once, outside the loops.
const RowLoops kRowLoops = ChooseRowLoops();

// The lattice of the given finer step (dividing the coarse one), bilinear between the
// points of the coarse one.
Lattice Refine(const Lattice& coarse, int step, const std::array<bool, kChannels>& active) {
  Lattice fine(step);
  const int cs = coarse.side, fs = fine.side, factor = coarse.step / step;
  // Fine index k lies at coarse coordinate (k - 1) / factor + 1.
  std::vector<int> at(fs);
  std::vector<double> weight(fs);
  for (int k = 0; k < fs; ++k) {
    at[k] = (k - 1 + factor) / factor;
    weight[k] = static_cast<double>((k - 1 + factor) % factor) / factor;
  }
  std::vector<double> rows(static_cast<std::size_t>(cs) * fs);
  for (int c = 0; c < kChannels; ++c) {
    if (!active[c]) continue;
    const double* src = coarse.Channel(c);
    for (int l = 0; l < cs; ++l) {
      const double* in = src + l * cs;
      double* out = rows.data() + l * fs;
      int k = 0;
      if (factor == 2) {
        // Pairs of points, the first halfway between coarse ones, the second on one.
        kRowLoops.halve(in, (fs - 1) / 2, out);
        k = fs - 1;
      }
      for (; k < fs; ++k) {
        const double* p = in + at[k];
        out[k] = weight[k] == 0 ? p[0] : p[0] + (p[1] - p[0]) * weight[k];
      }
    }
    double* dst = fine.Channel(c);
    for (int l = 0; l < fs; ++l) {
      const double* a = rows.data() + at[l] * fs;
      double* out = dst + l * fs;
      if (weight[l] == 0) {
        std::copy(a, a + fs, out);
      } else {
        kRowLoops.lerp(a, a + fs, weight[l], fs, out);
      }
    }
  }
  return fine;
}

// Adds one octave at n points: out[p] += weight * fade * noise, where the fade (from the
// inverse footprints, only read when the octave fades) leaves out[p] as it is where it is
// zero. Every way of doing this gives the same bits.
using OctaveRow = void (*)(const Octave& o, const double* xs, const double* ys,
                           const double* inverseFps, std::size_t n, double* out);

[[gnu::always_inline]] inline void AddOctaveRowPlainBody(const Octave& o, const double* xs,
                                                         const double* ys, const double* inverseFps,
                                                         std::size_t n, double* out) {
  GradientOctave noise(o.seed, o.wave);
  if (!o.fades) {
    for (std::size_t p = 0; p < n; ++p) out[p] += o.weight * noise(xs[p], ys[p]);
    return;
  }
  for (std::size_t p = 0; p < n; ++p) {
    const double fade = OctaveFade(o.wave, inverseFps[p], o.fadeFrom);
    if (fade > 0) out[p] += o.weight * fade * noise(xs[p], ys[p]);
  }
}

void AddOctaveRowPlain(const Octave& o, const double* xs, const double* ys,
                       const double* inverseFps, std::size_t n, double* out) {
  AddOctaveRowPlainBody(o, xs, ys, inverseFps, n, out);
}

#if defined(__x86_64__)

__attribute__((target("avx512f,avx512dq"))) inline __m256i FinishHash(__m256i h) {
  h = _mm256_xor_si256(h, _mm256_srli_epi32(h, 15));
  h = _mm256_mullo_epi32(h, _mm256_set1_epi32(0x2C1B3C6D));
  h = _mm256_xor_si256(h, _mm256_srli_epi32(h, 12));
  h = _mm256_mullo_epi32(h, _mm256_set1_epi32(0x297A2D39));
  h = _mm256_xor_si256(h, _mm256_srli_epi32(h, 15));
  return _mm256_and_si256(h, _mm256_set1_epi32(7));
}

// The gradient of hashed corners dotted with the offset from them.
__attribute__((target("avx512f,avx512dq"))) inline __m512d Gradient(__m512d gxTable,
                                                                    __m512d gyTable, __m256i hash,
                                                                    __m512d dx, __m512d dy) {
  const __m512i index = _mm512_cvtepu32_epi64(hash);
  return _mm512_add_pd(_mm512_mul_pd(_mm512_permutexvar_pd(index, gxTable), dx),
                       _mm512_mul_pd(_mm512_permutexvar_pd(index, gyTable), dy));
}

// d^3 (d (6 d - 15) + 10), multiplied in the plain code's order.
__attribute__((target("avx512f,avx512dq"))) inline __m512d Quintic(__m512d d) {
  const __m512d inner = _mm512_add_pd(
      _mm512_mul_pd(d, _mm512_sub_pd(_mm512_mul_pd(d, _mm512_set1_pd(6)), _mm512_set1_pd(15))),
      _mm512_set1_pd(10));
  return _mm512_mul_pd(_mm512_mul_pd(_mm512_mul_pd(d, d), d), inner);
}

// Eight points at a time: the same operations as GradientOctave in the same order, with
// the lattice hashed in 32-bit lanes (lattice coordinates within +-2^31, checked).
__attribute__((target("avx512f,avx512dq"))) void AddOctaveRowAvx512(const Octave& o,
                                                                    const double* xs,
                                                                    const double* ys,
                                                                    const double* inverseFps,
                                                                    std::size_t n, double* out) {
  static constexpr double kGx[8] = {1, -1, 0, 0, 0.7071, -0.7071, 0.7071, -0.7071};
  static constexpr double kGy[8] = {0, 0, 1, -1, 0.7071, 0.7071, -0.7071, -0.7071};
  const __m512d gxTable = _mm512_loadu_pd(kGx), gyTable = _mm512_loadu_pd(kGy);
  const __m512d inverse = _mm512_set1_pd(1.0 / o.wave);
  const __m256i mx = _mm256_set1_epi32(static_cast<int>(0x8DA6B343u));
  const __m256i my = _mm256_set1_epi32(static_cast<int>(0xD8163841u));
  const __m256i seeded = _mm256_set1_epi32(static_cast<int>(o.seed * 0xCB1AB31Fu));
  const __m512d one = _mm512_set1_pd(1), limit = _mm512_set1_pd(2147483647.0);
  const __m512d weight = _mm512_set1_pd(o.weight), wave = _mm512_set1_pd(o.wave);
  const __m512d fadeFrom = _mm512_set1_pd(o.fadeFrom);
  const __m512d fadeScale = _mm512_set1_pd(1.0 / (2 * o.fadeFrom - o.fadeFrom));
  const __m512d zero = _mm512_setzero_pd();
  std::size_t p = 0;
  for (; p + 8 <= n; p += 8) {
    const __m512d px = _mm512_mul_pd(_mm512_loadu_pd(xs + p), inverse);
    const __m512d py = _mm512_mul_pd(_mm512_loadu_pd(ys + p), inverse);
    const __m512d fx = _mm512_roundscale_pd(px, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    const __m512d fy = _mm512_roundscale_pd(py, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    if (_mm512_cmp_pd_mask(_mm512_max_pd(_mm512_abs_pd(fx), _mm512_abs_pd(fy)), limit,
                           _CMP_NLE_UQ) != 0) {
      AddOctaveRowPlain(o, xs + p, ys + p, inverseFps ? inverseFps + p : nullptr, 8, out + p);
      continue;
    }
    __mmask8 faded = 0xFF;
    __m512d fade = one;
    if (o.fades) {
      __m512d t = _mm512_mul_pd(
          _mm512_sub_pd(_mm512_mul_pd(wave, _mm512_loadu_pd(inverseFps + p)), fadeFrom), fadeScale);
      t = _mm512_mask_blend_pd(_mm512_cmp_pd_mask(t, zero, _CMP_LT_OQ), t, zero);
      t = _mm512_mask_blend_pd(_mm512_cmp_pd_mask(t, one, _CMP_GT_OQ), t, one);
      fade = _mm512_mul_pd(_mm512_mul_pd(t, t),
                           _mm512_sub_pd(_mm512_set1_pd(3), _mm512_mul_pd(_mm512_set1_pd(2), t)));
      faded = _mm512_cmp_pd_mask(fade, zero, _CMP_GT_OQ);
      if (faded == 0) continue;
    }
    const __m256i hx0 = _mm256_mullo_epi32(_mm512_cvtpd_epi32(fx), mx);
    const __m256i hx1 = _mm256_add_epi32(hx0, mx);  // (x + 1) * m = x * m + m
    const __m256i yHash = _mm256_mullo_epi32(_mm512_cvtpd_epi32(fy), my);
    const __m256i hy0 = _mm256_xor_si256(yHash, seeded);
    const __m256i hy1 = _mm256_xor_si256(_mm256_add_epi32(yHash, my), seeded);
    const __m512d dx = _mm512_sub_pd(px, fx), dy = _mm512_sub_pd(py, fy);
    const __m512d dx1 = _mm512_sub_pd(dx, one), dy1 = _mm512_sub_pd(dy, one);
    const __m512d n00 = Gradient(gxTable, gyTable, FinishHash(_mm256_xor_si256(hx0, hy0)), dx, dy);
    const __m512d n10 = Gradient(gxTable, gyTable, FinishHash(_mm256_xor_si256(hx1, hy0)), dx1, dy);
    const __m512d n01 = Gradient(gxTable, gyTable, FinishHash(_mm256_xor_si256(hx0, hy1)), dx, dy1);
    const __m512d n11 =
        Gradient(gxTable, gyTable, FinishHash(_mm256_xor_si256(hx1, hy1)), dx1, dy1);
    const __m512d u = Quintic(dx), v = Quintic(dy);
    const __m512d a = _mm512_add_pd(n00, _mm512_mul_pd(u, _mm512_sub_pd(n10, n00)));
    const __m512d b = _mm512_add_pd(n01, _mm512_mul_pd(u, _mm512_sub_pd(n11, n01)));
    const __m512d noise =
        _mm512_mul_pd(_mm512_set1_pd(1.6), _mm512_add_pd(a, _mm512_mul_pd(v, _mm512_sub_pd(b, a))));
    const __m512d term =
        o.fades ? _mm512_mul_pd(_mm512_mul_pd(weight, fade), noise) : _mm512_mul_pd(weight, noise);
    const __m512d sum = _mm512_loadu_pd(out + p);
    _mm512_storeu_pd(out + p, _mm512_mask_add_pd(sum, faded, sum, term));
  }
  AddOctaveRowPlain(o, xs + p, ys + p, inverseFps ? inverseFps + p : nullptr, n - p, out + p);
}

#endif

#if defined(__x86_64__)
// The same four points at a time for AVX2, whose tables are looked up by gathers.
__attribute__((target("avx2"))) inline __m128i FinishHashAvx2(__m128i h) {
  h = _mm_xor_si128(h, _mm_srli_epi32(h, 15));
  h = _mm_mullo_epi32(h, _mm_set1_epi32(0x2C1B3C6D));
  h = _mm_xor_si128(h, _mm_srli_epi32(h, 12));
  h = _mm_mullo_epi32(h, _mm_set1_epi32(0x297A2D39));
  h = _mm_xor_si128(h, _mm_srli_epi32(h, 15));
  return _mm_and_si128(h, _mm_set1_epi32(7));
}

__attribute__((target("avx2"))) inline __m256d QuinticAvx2(__m256d d) {
  const __m256d inner = _mm256_add_pd(
      _mm256_mul_pd(d, _mm256_sub_pd(_mm256_mul_pd(d, _mm256_set1_pd(6)), _mm256_set1_pd(15))),
      _mm256_set1_pd(10));
  return _mm256_mul_pd(_mm256_mul_pd(_mm256_mul_pd(d, d), d), inner);
}

__attribute__((target("avx2"))) inline __m256d GradientAvx2(__m128i hash, __m256d dx, __m256d dy) {
  static constexpr double kGx[8] = {1, -1, 0, 0, 0.7071, -0.7071, 0.7071, -0.7071};
  static constexpr double kGy[8] = {0, 0, 1, -1, 0.7071, 0.7071, -0.7071, -0.7071};
  return _mm256_add_pd(_mm256_mul_pd(_mm256_i32gather_pd(kGx, hash, 8), dx),
                       _mm256_mul_pd(_mm256_i32gather_pd(kGy, hash, 8), dy));
}

__attribute__((target("avx2"))) void AddOctaveRowGatherAvx2(const Octave& o, const double* xs,
                                                            const double* ys,
                                                            const double* inverseFps, std::size_t n,
                                                            double* out) {
  const __m256d inverse = _mm256_set1_pd(1.0 / o.wave);
  const __m128i mx = _mm_set1_epi32(static_cast<int>(0x8DA6B343u));
  const __m128i my = _mm_set1_epi32(static_cast<int>(0xD8163841u));
  const __m128i seeded = _mm_set1_epi32(static_cast<int>(o.seed * 0xCB1AB31Fu));
  const __m256d one = _mm256_set1_pd(1), limit = _mm256_set1_pd(2147483647.0);
  const __m256d weight = _mm256_set1_pd(o.weight), wave = _mm256_set1_pd(o.wave);
  const __m256d fadeFrom = _mm256_set1_pd(o.fadeFrom);
  const __m256d fadeScale = _mm256_set1_pd(1.0 / (2 * o.fadeFrom - o.fadeFrom));
  const __m256d zero = _mm256_setzero_pd(), sign = _mm256_set1_pd(-0.0);
  std::size_t p = 0;
  for (; p + 4 <= n; p += 4) {
    const __m256d px = _mm256_mul_pd(_mm256_loadu_pd(xs + p), inverse);
    const __m256d py = _mm256_mul_pd(_mm256_loadu_pd(ys + p), inverse);
    const __m256d fx = _mm256_round_pd(px, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    const __m256d fy = _mm256_round_pd(py, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    const __m256d larger = _mm256_max_pd(_mm256_andnot_pd(sign, fx), _mm256_andnot_pd(sign, fy));
    if (_mm256_movemask_pd(_mm256_cmp_pd(larger, limit, _CMP_NLE_UQ)) != 0) {
      AddOctaveRowPlain(o, xs + p, ys + p, inverseFps ? inverseFps + p : nullptr, 4, out + p);
      continue;
    }
    __m256d faded = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
    __m256d fade = one;
    if (o.fades) {
      __m256d t = _mm256_mul_pd(
          _mm256_sub_pd(_mm256_mul_pd(wave, _mm256_loadu_pd(inverseFps + p)), fadeFrom), fadeScale);
      t = _mm256_blendv_pd(t, zero, _mm256_cmp_pd(t, zero, _CMP_LT_OQ));
      t = _mm256_blendv_pd(t, one, _mm256_cmp_pd(t, one, _CMP_GT_OQ));
      fade = _mm256_mul_pd(_mm256_mul_pd(t, t),
                           _mm256_sub_pd(_mm256_set1_pd(3), _mm256_mul_pd(_mm256_set1_pd(2), t)));
      faded = _mm256_cmp_pd(fade, zero, _CMP_GT_OQ);
      if (_mm256_movemask_pd(faded) == 0) continue;
    }
    const __m128i hx0 = _mm_mullo_epi32(_mm256_cvtpd_epi32(fx), mx);
    const __m128i hx1 = _mm_add_epi32(hx0, mx);  // (x + 1) * m = x * m + m
    const __m128i yHash = _mm_mullo_epi32(_mm256_cvtpd_epi32(fy), my);
    const __m128i hy0 = _mm_xor_si128(yHash, seeded);
    const __m128i hy1 = _mm_xor_si128(_mm_add_epi32(yHash, my), seeded);
    const __m256d dx = _mm256_sub_pd(px, fx), dy = _mm256_sub_pd(py, fy);
    const __m256d dx1 = _mm256_sub_pd(dx, one), dy1 = _mm256_sub_pd(dy, one);
    const __m256d n00 = GradientAvx2(FinishHashAvx2(_mm_xor_si128(hx0, hy0)), dx, dy);
    const __m256d n10 = GradientAvx2(FinishHashAvx2(_mm_xor_si128(hx1, hy0)), dx1, dy);
    const __m256d n01 = GradientAvx2(FinishHashAvx2(_mm_xor_si128(hx0, hy1)), dx, dy1);
    const __m256d n11 = GradientAvx2(FinishHashAvx2(_mm_xor_si128(hx1, hy1)), dx1, dy1);
    const __m256d u = QuinticAvx2(dx), v = QuinticAvx2(dy);
    const __m256d a = _mm256_add_pd(n00, _mm256_mul_pd(u, _mm256_sub_pd(n10, n00)));
    const __m256d b = _mm256_add_pd(n01, _mm256_mul_pd(u, _mm256_sub_pd(n11, n01)));
    const __m256d noise =
        _mm256_mul_pd(_mm256_set1_pd(1.6), _mm256_add_pd(a, _mm256_mul_pd(v, _mm256_sub_pd(b, a))));
    const __m256d term =
        o.fades ? _mm256_mul_pd(_mm256_mul_pd(weight, fade), noise) : _mm256_mul_pd(weight, noise);
    const __m256d sum = _mm256_loadu_pd(out + p);
    _mm256_storeu_pd(out + p, _mm256_blendv_pd(sum, _mm256_add_pd(sum, term), faded));
  }
  AddOctaveRowPlain(o, xs + p, ys + p, inverseFps ? inverseFps + p : nullptr, n - p, out + p);
}
#endif

OctaveRow ChooseOctaveRow() {
#if defined(__x86_64__)
  if (HasAvx512Double()) return &AddOctaveRowAvx512;
  if (HasAvx2()) return &AddOctaveRowGatherAvx2;
#endif
  return &AddOctaveRowPlain;
}

// Chosen once, outside the loops.
const OctaveRow AddOctaveRow = ChooseOctaveRow();

// Adds the octaves of one field at every point of a lattice.
void AddOctaves(Lattice& lattice, const std::vector<Octave>& octaves, int field) {
  const std::size_t n = static_cast<std::size_t>(lattice.side) * lattice.side;
  for (const Octave& o : octaves) {
    AddOctaveRow(o, lattice.Channel(kGroundX), lattice.Channel(kGroundY),
                 lattice.Channel(kInverseFootprint), n, lattice.Channel(field));
  }
}

// The octaves of one field that are sampled at every pixel, added to a row of them.
class PixelOctaves {
 public:
  explicit PixelOctaves(const std::vector<Octave>& octaves) : octaves_(octaves) {}
  bool Empty() const { return octaves_.empty(); }
  // The octaves' own sum first, then added to the row: the order of the sums matters.
  void AddTo(const double* xs, const double* ys, const double* inverseFps, std::size_t n,
             double* row) {
    sum_.assign(n, 0.0);
    for (const Octave& o : octaves_) AddOctaveRow(o, xs, ys, inverseFps, n, sum_.data());
    for (std::size_t p = 0; p < n; ++p) row[p] += sum_[p];
  }

 private:
  std::vector<Octave> octaves_;
  std::vector<double> sum_;
};

struct Rgb {
  double r, g, b;
};

Rgb Mix(Rgb a, Rgb b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

constexpr std::array<Rgb, 7> kFieldColours = {{{118, 138, 68},
                                               {148, 150, 82},
                                               {186, 172, 112},
                                               {140, 116, 86},
                                               {102, 124, 62},
                                               {166, 160, 118},
                                               {128, 146, 90}}};
constexpr std::array<Rgb, 6> kRoofColours = {{{118, 112, 106},
                                              {146, 140, 132},
                                              {100, 97, 95},
                                              {132, 104, 92},
                                              {160, 158, 152},
                                              {124, 116, 104}}};
constexpr Rgb kRoofMean{130, 121, 114};
constexpr Rgb kWater{36, 62, 78};
constexpr Rgb kDeepWater{22, 42, 60};
constexpr Rgb kBeach{200, 190, 158};
constexpr Rgb kMeadow{128, 132, 82};
constexpr Rgb kWood{48, 72, 40};
constexpr Rgb kParkGrass{92, 128, 60};
constexpr Rgb kYard{96, 116, 70};
constexpr Rgb kConcrete{150, 147, 140};
constexpr Rgb kAsphalt{82, 82, 82};
constexpr Rgb kRoad{108, 104, 98};
constexpr Rgb kHighway{96, 96, 96};
constexpr Rgb kRunway{172, 172, 166};
constexpr Rgb kAirfieldGrass{132, 146, 88};
constexpr Rgb kRock{136, 126, 112};
constexpr Rgb kSnow{236, 236, 240};
constexpr Rgb kStands{178, 178, 172};
constexpr Rgb kPitch{72, 132, 52};
constexpr Rgb kTrack{160, 92, 70};

enum class Kind { Town, Park, Water, Island, Airport, Stadium, Plaza, Hill, Land };

bool NamedLikeStadium(std::string_view name) {
  for (std::string_view word :
       {"Stadium", "Field", "Bowl", "Coliseum", "Yards", "Speedway", "Park"}) {
    if (name.find(word) != std::string_view::npos) return true;
  }
  return false;
}

Kind KindOf(const GazetteerRecord& r) {
  switch (r.Type) {
    case PlaceType::CityTown:
      return Kind::Town;
    case PlaceType::ParkBeach:
      return Kind::Park;
    case PlaceType::Lake:
    case PlaceType::BayGulf:
    case PlaceType::River:
    case PlaceType::OtherWaterFeature:
      return Kind::Water;
    case PlaceType::Island:
      return Kind::Island;
    case PlaceType::AirRailStation:
      return r.RadiusMetres >= 500 ? Kind::Airport : Kind::Plaza;
    case PlaceType::PointOfInterest:
      return NamedLikeStadium(r.City) ? Kind::Stadium : Kind::Plaza;
    case PlaceType::HillMountain:
      return Kind::Hill;
    default:
      return Kind::Land;
  }
}

// Distance from p to the segment a-b (or the point a).
double SegmentDistance(double px, double py, double ax, double ay, double bx, double by,
                       bool band) {
  if (!band) return std::sqrt((px - ax) * (px - ax) + (py - ay) * (py - ay));
  const double vx = bx - ax, vy = by - ay;
  const double len2 = vx * vx + vy * vy;
  double t = len2 > 0 ? ((px - ax) * vx + (py - ay) * vy) / len2 : 0;
  t = std::clamp(t, 0.0, 1.0);
  const double dx = px - (ax + t * vx), dy = py - (ay + t * vy);
  return std::sqrt(dx * dx + dy * dy);
}

double Clamp01(double v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

// Coverage of a pixel by a straight band of half-width `half` at distance `d`.
double BandCoverage(double d, double half, const Footprint& footprint) {
  return Clamp01((half - d) * footprint.inverse + 0.5);
}

// The colour of farmland: rows of parcels of varying width, each with a crop of its own.
Rgb FieldColour(double x, double y, const Footprint& fp) {
  const double rowHeight = 420;
  const auto row = FloorToInt(y / rowHeight);
  const std::uint32_t rowHash = HashLattice(row, 0, 41);
  const double width = 240 + rowHash % 360;
  const double shifted = x + (rowHash >> 9) % 500;
  const auto column = FloorToInt(shifted / width);
  const std::uint32_t fieldHash = HashLattice(column, row, 43);
  Rgb crop = kFieldColours[fieldHash % kFieldColours.size()];
  const double furrows = StripeCoverage((fieldHash & 0x100) ? x : y, 7, 2.5, fp);
  crop = Mix(crop, {crop.r * 0.85, crop.g * 0.85, crop.b * 0.85}, furrows);
  const double hedge =
      1 - (1 - StripeCoverage(shifted, width, 5, fp)) * (1 - StripeCoverage(y, rowHeight, 5, fp));
  return Mix(crop, {74, 88, 52}, hedge * 0.8);
}

// FieldColour along a whole row of pixels, a channel at a time.
struct FieldRow {
  static constexpr int kSize = GroundTile::kSide;
  std::array<double, kSize> red, green, blue;
};
// Pixels from .. to - 1 of the row, and maybe a few more of it on either side.
using FieldLoop = void (*)(const double* xs, const double* ys, const double* fps,
                           const double* inverseFps, int from, int to, FieldRow& out);

// A pixel of a town: streets on a grid, and blocks of parks, squares or lots with a
// building each; the colour into `colour`.
Cover TownPixel(double x, double y, const Footprint& fp, double urban, double texture,
                double treeCover, double crowns, bool plaza, Rgb& colour) {
  const double streetPeriod = urban > 0.6 ? 110 : 150;
  const double sx = StripeCoverage(x, streetPeriod, 12, fp);
  const double sy = StripeCoverage(y, streetPeriod, 12, fp);
  const double ax = StripeCoverage(x + 5, streetPeriod * 4, 22, fp);
  const double ay = StripeCoverage(y + 5, streetPeriod * 4, 22, fp);
  const double street = 1 - (1 - sx) * (1 - sy) * (1 - ax) * (1 - ay);
  const auto bx = FloorToInt(x / streetPeriod);
  const auto by = FloorToInt(y / streetPeriod);
  const std::uint32_t blockHash = HashLattice(bx, by, 31);
  Rgb block;
  Cover blockCover;
  if (plaza) {
    block = Mix(kConcrete, {190, 186, 176}, 0.5 + 0.5 * texture);
    blockCover = Cover::Paved;
  } else if (blockHash % 100 < 5) {
    block = Mix(kParkGrass, kWood, treeCover * (0.6 + 0.4 * crowns));
    blockCover = treeCover > 0.5 ? Cover::Wood : Cover::Park;
  } else if (blockHash % 100 < 10) {
    block = Mix({112, 112, 110}, {190, 190, 186}, 0.5 * StripeCoverage(x, 5, 0.6, fp));
    blockCover = Cover::Paved;
  } else {
    const bool downtown = urban > 0.85;
    const double lot = downtown ? 46 : 26;
    const double gap = downtown ? 6 : 9;
    const double bxCover = 1 - StripeCoverage(x + 3, lot, gap, fp);
    const double byCover = 1 - StripeCoverage(y + 3, lot * 1.4, gap, fp);
    const double building = bxCover * byCover;
    const std::uint32_t lotHash =
        HashLattice(FloorToInt((x + 3) / lot), FloorToInt((y + 3) / (lot * 1.4)), 37);
    const Rgb roof = Mix(kRoofMean, kRoofColours[lotHash % kRoofColours.size()],
                         SmoothStep(1.5, 4.0, lot * fp.inverse));
    Rgb yard = downtown ? kConcrete : kYard;
    if (!downtown) yard = Mix(yard, kWood, treeCover * 0.8);
    block = Mix(yard, roof, building);
    blockCover = building > 0.5 ? Cover::Building : Cover::Yard;
  }
  colour = Mix(block, kAsphalt, street);
  Cover cover = street > 0.5 ? Cover::Street : blockCover;
  // Topographic maps still show streets that are a few pixels apart (at least a
  // pixel wide, which is what they are up to 12 ground units a pixel).
  const bool wide = fp.size > 12;
  if (streetPeriod >= 6 * fp.size &&
      std::max(wide ? StripeCoverage(x, streetPeriod, fp.size, fp) : sx,
               wide ? StripeCoverage(y, streetPeriod, fp.size, fp) : sy) > 0.5) {
    cover = Cover::Street;
  }
  return cover;
}

// TownPixel along a row of pixels, for the vector units.
struct TownRow {
  static constexpr int kSize = GroundTile::kSide;
  std::array<double, kSize> red, green, blue;
  std::array<std::int64_t, kSize> covers;
};
struct TownInputs {
  const double *xs, *ys, *fps, *inverseFps, *urban, *texture, *treeCover, *crowns;
  const std::uint8_t* plazas;  // 1 where the pixel lies in a plaza
};
// Pixels from .. to - 1 of the row, and maybe a few more of it on either side.
using TownLoop = void (*)(const TownInputs& in, int from, int to, TownRow& out);

// The bands along a row of pixels that do not depend on what else is there: the mile
// grid of roads across the open country, rivers and highways along the zero lines of
// their noise. How much of each pixel they cover, and whether the map draws the pixel as
// road or highway (at least a pixel wide).
struct BandRow {
  static constexpr int kSize = GroundTile::kSide;
  std::array<double, kSize> roadShares, riverShares, highwayShares;
  std::array<std::uint8_t, kSize> roads, highways;
};
// Typical change of the river and highway noise per ground unit.
constexpr double kRiverSlope = 1.2e-4, kHighwaySlope = 0.9e-4;

using BandLoop = void (*)(const double* xs, const double* ys, const double* fps,
                          const double* inverseFps, const double* rivers, const double* highways,
                          int from, int to, BandRow& out);

[[gnu::always_inline]] inline void BandsPlainBody(const double* xs, const double* ys,
                                                  const double* fps, const double* inverseFps,
                                                  const double* rivers, const double* highways,
                                                  int from, int to, BandRow& out) {
  for (int k = from; k < to; ++k) {
    const double x = xs[k], y = ys[k];
    const Footprint fp(fps[k], inverseFps[k]);
    out.roadShares[k] =
        1 - (1 - StripeCoverage(x + 800, 1609, 9, fp)) * (1 - StripeCoverage(y + 800, 1609, 9, fp));
    const double wide = std::max(9.0, 1.2 * fp.size);
    out.roads[k] = std::max(StripeCoverage(x + 800 - (wide - 9) / 2, 1609, wide, fp),
                            StripeCoverage(y + 800 - (wide - 9) / 2, 1609, wide, fp)) > 0.5;
    out.riverShares[k] = BandCoverage(std::fabs(rivers[k]) / kRiverSlope, 40, fp);
    const double highwayDistance = std::fabs(highways[k]) / kHighwaySlope;
    out.highwayShares[k] = BandCoverage(highwayDistance, 14, fp);
    out.highways[k] = BandCoverage(highwayDistance, std::max(14.0, 0.9 * fp.size), fp) > 0.5;
  }
}

void BandsPlain(const double* xs, const double* ys, const double* fps, const double* inverseFps,
                const double* rivers, const double* highways, int from, int to, BandRow& out) {
  BandsPlainBody(xs, ys, fps, inverseFps, rivers, highways, from, to, out);
}

#if defined(__x86_64__)
QUORVIL_AVX2_CLONE(BandsAvx2, BandsPlain,
                   (const double* xs, const double* ys, const double* fps, const double* inverseFps,
                    const double* rivers, const double* highways, int from, int to, BandRow& out),
                   (xs, ys, fps, inverseFps, rivers, highways, from, to, out))

// StripeCoverage of eight pixels.
__attribute__((target("avx512f"))) inline __m512d StripeCoverageOf(__m512d x, __m512d period,
                                                                   __m512d inversePeriod,
                                                                   __m512d width, __m512d size,
                                                                   __m512d inverse) {
  const __m512d half = _mm512_mul_pd(_mm512_set1_pd(0.5), size);
  const __m512d lo = _mm512_sub_pd(x, half);
  const __m512d k = _mm512_roundscale_pd(_mm512_mul_pd(lo, inversePeriod),
                                         _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
  const __m512d r0 = _mm512_sub_pd(lo, _mm512_mul_pd(k, period));
  const __m512d r1 = _mm512_add_pd(r0, size);
  const __m512d c0 = _mm512_mask_blend_pd(_mm512_cmp_pd_mask(r0, width, _CMP_LT_OQ), width, r0);
  const __m512d c1 = _mm512_mask_blend_pd(_mm512_cmp_pd_mask(r1, width, _CMP_LT_OQ), width, r1);
  const __m512d within = _mm512_mul_pd(_mm512_sub_pd(c1, c0), inverse);
  const __mmask8 across = _mm512_cmp_pd_mask(r1, period, _CMP_NLE_UQ);
  if (across == 0) return within;
  // Pixels over the end of a period: the integral of the stripes from lo to hi.
  const __m512d hi = _mm512_add_pd(x, half);
  const __m512d n = _mm512_roundscale_pd(_mm512_mul_pd(hi, inversePeriod),
                                         _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
  const __m512d r = _mm512_sub_pd(hi, _mm512_mul_pd(n, period));
  const __m512d c = _mm512_mask_blend_pd(_mm512_cmp_pd_mask(r, width, _CMP_LT_OQ), width, r);
  const __m512d upper = _mm512_add_pd(_mm512_mul_pd(n, width), c);
  const __m512d lower = _mm512_add_pd(_mm512_mul_pd(k, width), c0);
  return _mm512_mask_blend_pd(across, within, _mm512_mul_pd(_mm512_sub_pd(upper, lower), inverse));
}

// The same with a fixed period.
__attribute__((target("avx512f"))) inline __m512d StripeCoverageOf(__m512d x, double period,
                                                                   __m512d width, __m512d size,
                                                                   __m512d inverse) {
  return StripeCoverageOf(x, _mm512_set1_pd(period), _mm512_set1_pd(1.0 / period), width, size,
                          inverse);
}

// BandCoverage of eight pixels at distances d.
__attribute__((target("avx512f"))) inline __m512d BandCoverageOf(__m512d d, __m512d half,
                                                                 __m512d inverse) {
  const __m512d zero = _mm512_setzero_pd(), one = _mm512_set1_pd(1);
  __m512d v = _mm512_add_pd(_mm512_mul_pd(_mm512_sub_pd(half, d), inverse), _mm512_set1_pd(0.5));
  v = _mm512_mask_blend_pd(_mm512_cmp_pd_mask(v, one, _CMP_GT_OQ), v, one);
  return _mm512_mask_blend_pd(_mm512_cmp_pd_mask(v, zero, _CMP_LT_OQ), v, zero);
}

// std::max(a, b) of eight pairs.
__attribute__((target("avx512f"))) inline __m512d Larger(__m512d a, __m512d b) {
  return _mm512_mask_blend_pd(_mm512_cmp_pd_mask(a, b, _CMP_LT_OQ), a, b);
}

__attribute__((target("avx512f"))) inline void StoreFlags(__mmask8 flags, std::uint8_t* out) {
  for (int i = 0; i < 8; ++i) out[i] = (flags >> i) & 1;
}

__attribute__((target("avx512f"))) void BandsAvx512(const double* xs, const double* ys,
                                                    const double* fps, const double* inverseFps,
                                                    const double* rivers, const double* highways,
                                                    int from, int to, BandRow& out) {
  const __m512d one = _mm512_set1_pd(1), nine = _mm512_set1_pd(9);
  const __m512d shift = _mm512_set1_pd(800), half = _mm512_set1_pd(0.5);
  const __m512d fourteen = _mm512_set1_pd(14);
  const __m512i magnitude = _mm512_set1_epi64(0x7FFFFFFFFFFFFFFF);
  int k = from;
  for (; k < to && to - from >= 8; k += 8) {
    // The last eight overlap the ones before, which come out the same again.
    k = std::min(k, to - 8);
    const __m512d x = _mm512_add_pd(_mm512_loadu_pd(xs + k), shift);
    const __m512d y = _mm512_add_pd(_mm512_loadu_pd(ys + k), shift);
    const __m512d size = _mm512_loadu_pd(fps + k), inverse = _mm512_loadu_pd(inverseFps + k);
    const __m512d sx = StripeCoverageOf(x, 1609, nine, size, inverse);
    const __m512d sy = StripeCoverageOf(y, 1609, nine, size, inverse);
    const __m512d wide = Larger(nine, _mm512_mul_pd(_mm512_set1_pd(1.2), size));
    const __m512d offset = _mm512_mul_pd(_mm512_sub_pd(wide, nine), half);
    const __m512d wx = StripeCoverageOf(_mm512_sub_pd(x, offset), 1609, wide, size, inverse);
    const __m512d wy = StripeCoverageOf(_mm512_sub_pd(y, offset), 1609, wide, size, inverse);
    _mm512_storeu_pd(
        out.roadShares.data() + k,
        _mm512_sub_pd(one, _mm512_mul_pd(_mm512_sub_pd(one, sx), _mm512_sub_pd(one, sy))));
    StoreFlags(_mm512_cmp_pd_mask(wx, half, _CMP_GT_OQ) | _mm512_cmp_pd_mask(wy, half, _CMP_GT_OQ),
               out.roads.data() + k);
    const __m512d river = _mm512_castsi512_pd(
        _mm512_and_si512(_mm512_castpd_si512(_mm512_loadu_pd(rivers + k)), magnitude));
    _mm512_storeu_pd(out.riverShares.data() + k,
                     BandCoverageOf(_mm512_div_pd(river, _mm512_set1_pd(kRiverSlope)),
                                    _mm512_set1_pd(40), inverse));
    const __m512d highway = _mm512_castsi512_pd(
        _mm512_and_si512(_mm512_castpd_si512(_mm512_loadu_pd(highways + k)), magnitude));
    const __m512d distance = _mm512_div_pd(highway, _mm512_set1_pd(kHighwaySlope));
    _mm512_storeu_pd(out.highwayShares.data() + k, BandCoverageOf(distance, fourteen, inverse));
    const __m512d wideHalf = Larger(fourteen, _mm512_mul_pd(_mm512_set1_pd(0.9), size));
    StoreFlags(_mm512_cmp_pd_mask(BandCoverageOf(distance, wideHalf, inverse), half, _CMP_GT_OQ),
               out.highways.data() + k);
  }
  BandsPlain(xs, ys, fps, inverseFps, rivers, highways, k, to, out);
}

// HashLattice of eight lattice points.
__attribute__((target("avx512f"))) inline __m256i HashOf(__m256i x, __m256i y, std::uint32_t seed) {
  __m256i h = _mm256_xor_si256(
      _mm256_xor_si256(_mm256_mullo_epi32(x, _mm256_set1_epi32(static_cast<int>(0x8DA6B343u))),
                       _mm256_mullo_epi32(y, _mm256_set1_epi32(static_cast<int>(0xD8163841u)))),
      _mm256_set1_epi32(static_cast<int>(seed * 0xCB1AB31Fu)));
  h = _mm256_xor_si256(h, _mm256_srli_epi32(h, 15));
  h = _mm256_mullo_epi32(h, _mm256_set1_epi32(0x2C1B3C6D));
  h = _mm256_xor_si256(h, _mm256_srli_epi32(h, 12));
  h = _mm256_mullo_epi32(h, _mm256_set1_epi32(0x297A2D39));
  return _mm256_xor_si256(h, _mm256_srli_epi32(h, 15));
}

// h % d of eight unsigned integers, as doubles: exact, for d well below 2^21. The product
// with 1 / d is off the quotient by far less than 1 / d, so the floor can only fall one
// short, where d divides h: the remainder then comes out as d.
__attribute__((target("avx512f"))) inline __m512d Remainder(__m512d h, double d) {
  const __m512d divisor = _mm512_set1_pd(d);
  const __m512d q = _mm512_roundscale_pd(_mm512_mul_pd(h, _mm512_set1_pd(1.0 / d)),
                                         _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
  const __m512d r = _mm512_sub_pd(h, _mm512_mul_pd(q, divisor));
  return _mm512_mask_sub_pd(r, _mm512_cmp_pd_mask(r, divisor, _CMP_GE_OQ), r, divisor);
}

__attribute__((target("avx512f"))) inline __m512d Floor(__m512d v) {
  return _mm512_roundscale_pd(v, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
}

// Pixels from .. to - 1 widened to whole vectors of eight within a row of `size`: the
// pixels left over would each cost as much as a vector of them.
inline void WidenToVectors(int& from, int& to, int size) {
  const int length = std::min(size, (to - from + 7) / 8 * 8);
  to = std::min(size, from + length);
  from = std::max(0, to - length);
}

// A palette of up to eight colours as its red, green and blue columns, for the gathers.
template <std::size_t N>
void SplitChannels(const std::array<Rgb, N>& colours, double (&table)[3][8]) {
  static_assert(N <= 8);
  for (std::size_t c = 0; c < N; ++c) {
    table[0][c] = colours[c].r;
    table[1][c] = colours[c].g;
    table[2][c] = colours[c].b;
  }
}

__attribute__((target("avx512f"))) void FieldsAvx512(const double* xs, const double* ys,
                                                     const double* fps, const double* inverseFps,
                                                     int from, int to, FieldRow& out) {
  WidenToVectors(from, to, FieldRow::kSize);
  double table[3][8] = {};
  SplitChannels(kFieldColours, table);
  const __m512d one = _mm512_set1_pd(1), rowHeight = _mm512_set1_pd(420);
  const __m512d dark = _mm512_set1_pd(0.85), hedgeShare = _mm512_set1_pd(0.8);
  const __m512d hedgeColour[3] = {_mm512_set1_pd(74), _mm512_set1_pd(88), _mm512_set1_pd(52)};
  double* channels[3] = {out.red.data(), out.green.data(), out.blue.data()};
  int k = from;
  for (; k + 8 <= to; k += 8) {
    const __m512d x = _mm512_loadu_pd(xs + k), y = _mm512_loadu_pd(ys + k);
    const __m512d size = _mm512_loadu_pd(fps + k), inverse = _mm512_loadu_pd(inverseFps + k);
    const __m256i row = _mm512_cvtpd_epi32(Floor(_mm512_div_pd(y, rowHeight)));
    const __m256i rowHash = HashOf(row, _mm256_setzero_si256(), 41);
    const __m512d width =
        _mm512_add_pd(_mm512_set1_pd(240), Remainder(_mm512_cvtepu32_pd(rowHash), 360));
    const __m512d shifted =
        _mm512_add_pd(x, Remainder(_mm512_cvtepu32_pd(_mm256_srli_epi32(rowHash, 9)), 500));
    const __m256i column = _mm512_cvtpd_epi32(Floor(_mm512_div_pd(shifted, width)));
    const __m256i fieldHash = HashOf(column, row, 43);
    const __m512i crop = _mm512_cvtepu32_epi64(_mm512_cvttpd_epi32(
        Remainder(_mm512_cvtepu32_pd(fieldHash), static_cast<double>(kFieldColours.size()))));
    const __mmask8 across =
        _mm512_test_epi64_mask(_mm512_cvtepu32_epi64(fieldHash), _mm512_set1_epi64(0x100));
    const __m512d furrows =
        StripeCoverageOf(_mm512_mask_blend_pd(across, y, x), 7, _mm512_set1_pd(2.5), size, inverse);
    const __m512d byParcel = StripeCoverageOf(shifted, width, _mm512_div_pd(one, width),
                                              _mm512_set1_pd(5), size, inverse);
    const __m512d byRow = StripeCoverageOf(y, 420, _mm512_set1_pd(5), size, inverse);
    const __m512d hedge = _mm512_mul_pd(
        _mm512_sub_pd(one, _mm512_mul_pd(_mm512_sub_pd(one, byParcel), _mm512_sub_pd(one, byRow))),
        hedgeShare);
    for (int c = 0; c < 3; ++c) {
      const __m512d base = _mm512_permutexvar_pd(crop, _mm512_loadu_pd(table[c]));
      const __m512d ploughed = _mm512_add_pd(
          base, _mm512_mul_pd(_mm512_sub_pd(_mm512_mul_pd(base, dark), base), furrows));
      _mm512_storeu_pd(
          channels[c] + k,
          _mm512_add_pd(ploughed, _mm512_mul_pd(_mm512_sub_pd(hedgeColour[c], ploughed), hedge)));
    }
  }
  for (; k < to; ++k) {
    const Rgb colour = FieldColour(xs[k], ys[k], Footprint(fps[k], inverseFps[k]));
    out.red[k] = colour.r;
    out.green[k] = colour.g;
    out.blue[k] = colour.b;
  }
}

// Eight flags of a byte each, as a mask.
__attribute__((target("avx512f"))) inline __mmask8 FlagsAt(const std::uint8_t* at) {
  return _mm512_test_epi64_mask(
      _mm512_cvtepu8_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(at))),
      _mm512_set1_epi64(1));
}

// One channel of Mix(a, b, t) for eight pixels.
__attribute__((target("avx512f"))) inline __m512d MixOf(__m512d a, __m512d b, __m512d t) {
  return _mm512_add_pd(a, _mm512_mul_pd(_mm512_sub_pd(b, a), t));
}

// SmoothStep of eight values between constant edges.
__attribute__((target("avx512f"))) inline __m512d SmoothStepOf(double edge0, double edge1,
                                                               __m512d x) {
  const __m512d zero = _mm512_setzero_pd(), one = _mm512_set1_pd(1);
  __m512d t =
      _mm512_mul_pd(_mm512_sub_pd(x, _mm512_set1_pd(edge0)), _mm512_set1_pd(1.0 / (edge1 - edge0)));
  t = _mm512_mask_blend_pd(_mm512_cmp_pd_mask(t, zero, _CMP_LT_OQ), t, zero);
  t = _mm512_mask_blend_pd(_mm512_cmp_pd_mask(t, one, _CMP_GT_OQ), t, one);
  return _mm512_mul_pd(_mm512_mul_pd(t, t),
                       _mm512_sub_pd(_mm512_set1_pd(3), _mm512_mul_pd(_mm512_set1_pd(2), t)));
}

// A colour in three registers, a channel in each.
struct Channels {
  __m512d of[3];
};
__attribute__((target("avx512f"))) inline Channels ChannelsOf(const Rgb& c) {
  return {{_mm512_set1_pd(c.r), _mm512_set1_pd(c.g), _mm512_set1_pd(c.b)}};
}

__attribute__((target("avx512f"))) inline __m512i CoverOf(Cover c) {
  return _mm512_set1_epi64(static_cast<std::int64_t>(c));
}

// Every kind of block is worked out for all eight pixels, then each pixel picks its own.
__attribute__((target("avx512f,avx512dq"))) void TownsAvx512(const TownInputs& in, int from, int to,
                                                             TownRow& out) {
  WidenToVectors(from, to, TownRow::kSize);
  double roofs[3][8] = {};
  SplitChannels(kRoofColours, roofs);
  const auto concrete = ChannelsOf(kConcrete), square = ChannelsOf({190, 186, 176});
  const auto grass = ChannelsOf(kParkGrass), wood = ChannelsOf(kWood);
  const auto pavedDark = ChannelsOf({112, 112, 110}), pavedLight = ChannelsOf({190, 190, 186});
  const auto roofMean = ChannelsOf(kRoofMean), yard = ChannelsOf(kYard);
  const auto asphalt = ChannelsOf(kAsphalt);
  const __m512d one = _mm512_set1_pd(1), half = _mm512_set1_pd(0.5);
  double* colours[3] = {out.red.data(), out.green.data(), out.blue.data()};
  int k = from;
  for (; k + 8 <= to; k += 8) {
    const __m512d x = _mm512_loadu_pd(in.xs + k), y = _mm512_loadu_pd(in.ys + k);
    const __m512d size = _mm512_loadu_pd(in.fps + k), inverse = _mm512_loadu_pd(in.inverseFps + k);
    const __m512d urban = _mm512_loadu_pd(in.urban + k);
    const __m512d treeCover = _mm512_loadu_pd(in.treeCover + k);
    const __mmask8 dense = _mm512_cmp_pd_mask(urban, _mm512_set1_pd(0.6), _CMP_GT_OQ);
    const __m512d period = _mm512_mask_blend_pd(dense, _mm512_set1_pd(150), _mm512_set1_pd(110));
    const __m512d inversePeriod =
        _mm512_mask_blend_pd(dense, _mm512_set1_pd(1.0 / 150), _mm512_set1_pd(1.0 / 110));
    const __m512d avenues = _mm512_mul_pd(period, _mm512_set1_pd(4));
    const __m512d inverseAvenues =
        _mm512_mask_blend_pd(dense, _mm512_set1_pd(1.0 / 600), _mm512_set1_pd(1.0 / 440));
    const __m512d twelve = _mm512_set1_pd(12), avenueWidth = _mm512_set1_pd(22);
    const __m512d sx = StripeCoverageOf(x, period, inversePeriod, twelve, size, inverse);
    const __m512d sy = StripeCoverageOf(y, period, inversePeriod, twelve, size, inverse);
    const __m512d five = _mm512_set1_pd(5);
    const __m512d ax = StripeCoverageOf(_mm512_add_pd(x, five), avenues, inverseAvenues,
                                        avenueWidth, size, inverse);
    const __m512d ay = StripeCoverageOf(_mm512_add_pd(y, five), avenues, inverseAvenues,
                                        avenueWidth, size, inverse);
    const __m512d street = _mm512_sub_pd(
        one,
        _mm512_mul_pd(_mm512_mul_pd(_mm512_mul_pd(_mm512_sub_pd(one, sx), _mm512_sub_pd(one, sy)),
                                    _mm512_sub_pd(one, ax)),
                      _mm512_sub_pd(one, ay)));
    const __m256i blockHash = HashOf(_mm512_cvtpd_epi32(Floor(_mm512_div_pd(x, period))),
                                     _mm512_cvtpd_epi32(Floor(_mm512_div_pd(y, period))), 31);
    const __m512d share = Remainder(_mm512_cvtepu32_pd(blockHash), 100);
    const __mmask8 plaza = FlagsAt(in.plazas + k);
    const __mmask8 park = ~plaza & _mm512_cmp_pd_mask(share, five, _CMP_LT_OQ);
    const __mmask8 paved =
        ~plaza & ~park & _mm512_cmp_pd_mask(share, _mm512_set1_pd(10), _CMP_LT_OQ);

    // Lots with a building on each.
    const __mmask8 downtown = _mm512_cmp_pd_mask(urban, _mm512_set1_pd(0.85), _CMP_GT_OQ);
    const __m512d lot = _mm512_mask_blend_pd(downtown, _mm512_set1_pd(26), _mm512_set1_pd(46));
    const __m512d gap = _mm512_mask_blend_pd(downtown, _mm512_set1_pd(9), _mm512_set1_pd(6));
    const __m512d lotY = _mm512_mul_pd(lot, _mm512_set1_pd(1.4));
    const __m512d three = _mm512_set1_pd(3);
    const __m512d lx = _mm512_add_pd(x, three), ly = _mm512_add_pd(y, three);
    const __m512d building = _mm512_mul_pd(
        _mm512_sub_pd(one, StripeCoverageOf(lx, lot, _mm512_div_pd(one, lot), gap, size, inverse)),
        _mm512_sub_pd(one,
                      StripeCoverageOf(ly, lotY, _mm512_div_pd(one, lotY), gap, size, inverse)));
    const __m256i lotHash = HashOf(_mm512_cvtpd_epi32(Floor(_mm512_div_pd(lx, lot))),
                                   _mm512_cvtpd_epi32(Floor(_mm512_div_pd(ly, lotY))), 37);
    const __m512i roof = _mm512_cvtepu32_epi64(_mm512_cvttpd_epi32(
        Remainder(_mm512_cvtepu32_pd(lotHash), static_cast<double>(kRoofColours.size()))));
    const __m512d detail = SmoothStepOf(1.5, 4.0, _mm512_mul_pd(lot, inverse));
    const __m512d woodedYard = _mm512_mul_pd(treeCover, _mm512_set1_pd(0.8));

    const __m512d squareShare =
        _mm512_add_pd(half, _mm512_mul_pd(half, _mm512_loadu_pd(in.texture + k)));
    const __m512d trees = _mm512_mul_pd(
        treeCover,
        _mm512_add_pd(_mm512_set1_pd(0.6),
                      _mm512_mul_pd(_mm512_set1_pd(0.4), _mm512_loadu_pd(in.crowns + k))));
    const __m512d slabs =
        _mm512_mul_pd(half, StripeCoverageOf(x, _mm512_set1_pd(5), _mm512_set1_pd(1.0 / 5),
                                             _mm512_set1_pd(0.6), size, inverse));
    for (int c = 0; c < 3; ++c) {
      const __m512d roofColour =
          MixOf(roofMean.of[c], _mm512_permutexvar_pd(roof, _mm512_loadu_pd(roofs[c])), detail);
      const __m512d ground =
          _mm512_mask_blend_pd(downtown, MixOf(yard.of[c], wood.of[c], woodedYard), concrete.of[c]);
      __m512d block = MixOf(ground, roofColour, building);
      block = _mm512_mask_blend_pd(paved, block, MixOf(pavedDark.of[c], pavedLight.of[c], slabs));
      block = _mm512_mask_blend_pd(park, block, MixOf(grass.of[c], wood.of[c], trees));
      block = _mm512_mask_blend_pd(plaza, block, MixOf(concrete.of[c], square.of[c], squareShare));
      _mm512_storeu_pd(colours[c] + k, MixOf(block, asphalt.of[c], street));
    }

    __m512i cover = _mm512_mask_blend_epi64(_mm512_cmp_pd_mask(building, half, _CMP_GT_OQ),
                                            CoverOf(Cover::Yard), CoverOf(Cover::Building));
    cover = _mm512_mask_blend_epi64(paved, cover, CoverOf(Cover::Paved));
    cover = _mm512_mask_blend_epi64(
        park, cover,
        _mm512_mask_blend_epi64(_mm512_cmp_pd_mask(treeCover, half, _CMP_GT_OQ),
                                CoverOf(Cover::Park), CoverOf(Cover::Wood)));
    cover = _mm512_mask_blend_epi64(plaza, cover, CoverOf(Cover::Paved));
    // Streets a few pixels apart show on the map, at least a pixel wide.
    __m512d streetX = sx, streetY = sy;
    const __mmask8 wide = _mm512_cmp_pd_mask(size, twelve, _CMP_GT_OQ);
    if (wide != 0) {
      streetX = _mm512_mask_blend_pd(
          wide, sx, StripeCoverageOf(x, period, inversePeriod, size, size, inverse));
      streetY = _mm512_mask_blend_pd(
          wide, sy, StripeCoverageOf(y, period, inversePeriod, size, size, inverse));
    }
    const __mmask8 mapped =
        _mm512_cmp_pd_mask(period, _mm512_mul_pd(_mm512_set1_pd(6), size), _CMP_GE_OQ) &
        _mm512_cmp_pd_mask(Larger(streetX, streetY), half, _CMP_GT_OQ);
    cover = _mm512_mask_blend_epi64(_mm512_cmp_pd_mask(street, half, _CMP_GT_OQ) | mapped, cover,
                                    CoverOf(Cover::Street));
    _mm512_storeu_si512(out.covers.data() + k, cover);
  }
  for (; k < to; ++k) {
    Rgb colour;
    out.covers[k] = static_cast<std::int64_t>(
        TownPixel(in.xs[k], in.ys[k], Footprint(in.fps[k], in.inverseFps[k]), in.urban[k],
                  in.texture[k], in.treeCover[k], in.crowns[k], in.plazas[k] != 0, colour));
    out.red[k] = colour.r;
    out.green[k] = colour.g;
    out.blue[k] = colour.b;
  }
}
#endif

BandLoop ChooseBands() {
#if defined(__x86_64__)
  if (HasAvx512Double()) return &BandsAvx512;
  if (HasAvx2()) return &BandsAvx2;
#endif
  return &BandsPlain;
}

// Chosen once, outside the loops.
const BandLoop Bands = ChooseBands();

// Without vectors, each pixel of farmland or of a town works out its own colour.
#if defined(__x86_64__)
const FieldLoop FieldRows = HasAvx512Double() ? &FieldsAvx512 : nullptr;
const TownLoop TownRows = HasAvx512Double() ? &TownsAvx512 : nullptr;
#else
const FieldLoop FieldRows = nullptr;
const TownLoop TownRows = nullptr;
#endif

}  // namespace

struct TerrainFeature {
  Kind kind;
  double x, y, x2, y2;
  bool band;
  double radius;  // ground units
  double inverseRadius;
  double reach;  // beyond this distance the feature changes nothing
  std::uint32_t hash;
  double runways[2][2] = {};  // directions of an airport's two runways
};

namespace {

using Feature = TerrainFeature;

// How the places shape the land at the points of a lattice: the channels from kUrbanShare to
// kHillHeight. `cells` lists the places that may reach each cell of the coarsest lattice.
void ShapeLand(Lattice& lattice, const std::vector<std::vector<const Feature*>>& cells,
               int cellsPerSide, bool builtUp) {
  const int side = lattice.side;
  const double* xs = lattice.Channel(kGroundX);
  const double* ys = lattice.Channel(kGroundY);
  const double* edges = lattice.Channel(kEdgeField);
  std::array<double*, kChannels> out{};
  for (int c = kUrbanShare; c <= kHillHeight; ++c) out[c] = lattice.Channel(c);
  const double cellsPerPoint = static_cast<double>(lattice.step) / kCellStep;
  for (int l = 0; l < side; ++l) {
    const int cellRow = std::min(cellsPerSide - 1, static_cast<int>((l - 1) * cellsPerPoint + 1));
    for (int k = 0; k < side; ++k) {
      const int cellColumn =
          std::min(cellsPerSide - 1, static_cast<int>((k - 1) * cellsPerPoint + 1));
      const int p = l * side + k;
      const double x = xs[p], y = ys[p];
      double urban = builtUp ? 1 : 0, park = 0, land = builtUp ? 1 : 0;
      double water = 0, islandLand = 0, islandWater = 0, hill = 0;
      for (const Feature* feature : cells[cellRow * cellsPerSide + cellColumn]) {
        const Feature& f = *feature;
        if (!f.band && (x - f.x) * (x - f.x) + (y - f.y) * (y - f.y) > f.reach * f.reach) continue;
        const double d = SegmentDistance(x, y, f.x, f.y, f.x2, f.y2, f.band);
        const double r = f.radius;
        if (d > f.reach) continue;
        const double wobble = edges[p] * std::min(r, 2500.0);
        switch (f.kind) {
          case Kind::Town:
            urban = std::max(urban, SmoothStep(1, 0.5, (d + 0.35 * wobble) * f.inverseRadius));
            land = std::max(land, SmoothStep(1.3, 0.8, d * f.inverseRadius));
            break;
          case Kind::Park:
            park = std::max(park, SmoothStep(1, 0.96, (d + 0.04 * wobble) * f.inverseRadius));
            land = std::max(land, SmoothStep(1.2, 1, d * f.inverseRadius));
            break;
          case Kind::Water:
            water = std::max(water, SmoothStep(1, 0.9, (d + 0.08 * wobble) * f.inverseRadius));
            break;
          case Kind::Island: {
            islandLand =
                std::max(islandLand, SmoothStep(1, 0.9, (d + 0.1 * wobble) * f.inverseRadius));
            // A strait around the island, narrow for large ones.
            const double strait = std::min(1.5 * r, 1200.0);
            islandWater = std::max(islandWater, SmoothStep(r + strait, r + 0.7 * strait, d));
            break;
          }
          case Kind::Airport:
            land = std::max(land, SmoothStep(1.2, 1, d * f.inverseRadius));
            break;
          case Kind::Stadium:
            land = std::max(land, SmoothStep(2.6, 2.4, d * f.inverseRadius));
            break;
          case Kind::Plaza:
            break;
          case Kind::Hill: {
            const double t = Clamp01(1 - d * f.inverseRadius);
            hill += 700 * t * t;
            land = std::max(land, t > 0 ? 1.0 : 0.0);
            break;
          }
          case Kind::Land:
            land = std::max(land, SmoothStep(1, 0.8, (d + 0.3 * wobble) * f.inverseRadius));
            break;
        }
      }
      out[kUrbanShare][p] = urban;
      out[kParkShare][p] = park;
      out[kLandShare][p] = land;
      out[kWaterShare][p] = water;
      out[kIslandShare][p] = islandLand;
      out[kStraitShare][p] = islandWater;
      out[kHillHeight][p] = hill;
    }
  }
}

// The height of the ground at the points of a lattice, into the elevation channel:
// rolling land, mountain ridges where the mountain mask says so, valleys along the
// rivers, and the land and water of places. Where no river may run, the river noise is
// pushed away from zero (keeping its sign, so that interpolation makes no new river).
void FormGround(Lattice& lattice) {
  const std::size_t n = static_cast<std::size_t>(lattice.side) * lattice.side;
  double* heights = lattice.Channel(kElevationField);
  double* rivers = lattice.Channel(kRiverField);
  const double* mountainMask = lattice.Channel(kMountainField);
  const double* ridges = lattice.Channel(kRidgeField);
  const double* hills = lattice.Channel(kHillHeight);
  const double* lands = lattice.Channel(kLandShare);
  const double* waters = lattice.Channel(kWaterShare);
  const double* islands = lattice.Channel(kIslandShare);
  const double* straits = lattice.Channel(kStraitShare);
  for (std::size_t p = 0; p < n; ++p) {
    const double mountains = SmoothStep(0.12, 0.5, mountainMask[p]);
    double elevation = 55 + 230 * heights[p];
    if (mountains > 0) {
      const double ridge = 1 - std::fabs(ridges[p]);
      elevation += mountains * ridge * ridge * 1300;
    }
    bool river = elevation < 500;
    if (river) elevation -= 22 * (1 - SmoothStep(0, 0.05, std::fabs(rivers[p])));
    elevation += hills[p];
    const double land = lands[p], islandLand = islands[p];
    if (land > 0) elevation += (std::max(elevation, 4 + 6 * land) - elevation) * land;
    const double forcedWater = std::max(waters[p], straits[p] * (1 - islandLand));
    if (forcedWater > 0) elevation += (std::min(elevation, -5.0) - elevation) * forcedWater;
    if (islandLand > 0) elevation += (std::max(elevation, 3.0) - elevation) * islandLand;
    if (forcedWater > 0.5 || islandLand > 0.5) river = false;
    heights[p] = elevation;
    if (!river) rivers[p] = rivers[p] < 0 ? -1 : 1;
  }
}

// A row of pixels on its way from the fields to the ground's colours. Most pixels are
// settled by one loop over the row without branches; what it leaves open (farmland,
// towns, airports, stadiums) is worked out pixel by pixel before another such loop lays
// the roads and the grain over the row.
constexpr std::int64_t kInAirport = 1, kInStadium = 2;  // spots, 0 elsewhere
// Kinds of pixels: the loop settles water and the plain land, and leaves open farmland
// (kFarmPixel) and what follows it.
constexpr std::int64_t kWaterPixel = 0, kSettled = 1, kFarmPixel = 2, kTownPixel = 3,
                       kAirportPixel = 4, kStadiumPixel = 5;

struct CoverRow {
  static constexpr int kSize = GroundTile::kSide;
  std::array<std::int64_t, kSize> spots, kinds, covers;
  std::array<double, kSize> red, green, blue, treeCover;
};

// The fields of a row of pixels.
struct RowFields {
  const double *elevation, *rivers, *urban, *park, *texture, *woods, *crowns, *farms;
};

// Each choice below is worked out for every pixel and then picked, from the open country
// up to the most specific, so that the compiler can turn the loop into vector code.
[[gnu::always_inline]] inline void SettleCoverBody(const RowFields& in, CoverRow& row) {
  const double* __restrict elevations = in.elevation;
  const double* __restrict rivers = in.rivers;
  const double* __restrict urbans = in.urban;
  const double* __restrict parks = in.park;
  const double* __restrict textures = in.texture;
  const double* __restrict woods = in.woods;
  const double* __restrict crownFields = in.crowns;
  const double* __restrict farms = in.farms;
  // The tree cover in a loop of its own: read back from memory, its comparisons below
  // stay plain comparisons of doubles, which the vector units can make.
  double* __restrict treeCovers = row.treeCover.data();
  for (int n = 0; n < CoverRow::kSize; ++n) {
    treeCovers[n] = SmoothStep(0.08, 0.14, woods[n] + (parks[n] > 0.5 ? 0.25 : -0.35 * urbans[n]));
  }
#if !defined(__clang__)
// The row's arrays never overlap.
#pragma GCC ivdep
#endif
  for (int n = 0; n < CoverRow::kSize; ++n) {
    const double elevation = elevations[n], texture = textures[n], crowns = crownFields[n];
    const double urban = urbans[n], park = parks[n], treeCover = treeCovers[n];
    const Rgb meadow = Mix(kMeadow, {110, 118, 70}, Clamp01(0.5 + crowns));
    const Rgb wood = Mix(kWood, {70, 96, 52}, Clamp01(0.5 + 0.9 * crowns));
    const Rgb rock = Mix(kRock, kMeadow, 0.3 + 0.3 * crowns);
    const Rgb parkland = Mix(kParkGrass, kWood, treeCover * (0.6 + 0.4 * crowns));
    const Rgb deep = Mix(kWater, kDeepWater, Clamp01(-elevation / 60));
    const Rgb water =
        Mix(elevation < 0 ? deep : kWater, {70, 96, 104}, 0.25 * Clamp01(texture + 0.3));
    const bool farm = farms[n] > -0.15;
    const bool beach = elevation < 1.2;
    const bool wooded = treeCover > 0.5;
    const bool rocky = elevation > 1900 + 300 * texture, snowy = elevation > 2900 + 200 * texture;
    const bool inPark = park > 0.5, town = (urban > 0.3 + 0.15 * texture) & (park <= 0.5);
    const std::int64_t spot = row.spots[n];
    const bool wet = (elevation < 0) | (rivers[n] > 0.5);

    Rgb colour = meadow;
    auto pick = [&colour](bool when, const Rgb& c) {
      colour.r = when ? c.r : colour.r;
      colour.g = when ? c.g : colour.g;
      colour.b = when ? c.b : colour.b;
    };
    // Lanes as wide as the doubles'.
    auto as = [](Cover c) { return static_cast<std::int64_t>(c); };
    std::int64_t cover = farm ? as(Cover::Field) : as(Cover::Meadow);
    std::int64_t kind = farm ? kFarmPixel : kSettled;
    pick(beach, kBeach);
    cover = beach ? as(Cover::Beach) : cover;
    pick(wooded, wood);
    cover = wooded ? as(Cover::Wood) : cover;
    pick(rocky, rock);
    cover = rocky ? as(Cover::Rock) : cover;
    pick(snowy, kSnow);
    cover = snowy ? as(Cover::Snow) : cover;
    kind = beach | wooded | rocky | snowy ? kSettled : kind;
    pick(inPark, parkland);
    cover = inPark ? (wooded ? as(Cover::Wood) : as(Cover::Park)) : cover;
    kind = inPark ? kSettled : kind;
    kind = town ? kTownPixel : kind;
    kind = spot == kInStadium ? kStadiumPixel : kind;
    kind = spot == kInAirport ? kAirportPixel : kind;
    pick(wet, water);
    cover = wet ? as(Cover::Water) : cover;
    kind = wet ? kWaterPixel : kind;

    row.red[n] = colour.r;
    row.green[n] = colour.g;
    row.blue[n] = colour.b;
    row.covers[n] = cover;
    row.kinds[n] = kind;
  }
}

// Roads across the open country (a mile grid and a few winding highways), then the
// grain; each pixel as a GroundPixel's eight bytes.
[[gnu::always_inline]] inline void FinishCoverBody(const CoverRow& row, const BandRow& bands,
                                                   const RowFields& in, GroundPixel* out) {
  static_assert(offsetof(GroundPixel, elevation) == 0 && offsetof(GroundPixel, cover) == 4 &&
                offsetof(GroundPixel, red) == 5 && offsetof(GroundPixel, green) == 6 &&
                offsetof(GroundPixel, blue) == 7);
  for (int n = 0; n < CoverRow::kSize; ++n) {
    Rgb colour{row.red[n], row.green[n], row.blue[n]};
    std::int64_t cover = row.covers[n];
    const double urban = in.urban[n], park = in.park[n];
    const bool roads = bands.roads[n] != 0, highways = bands.highways[n] != 0;
    const bool land = row.kinds[n] != kWaterPixel, open = row.spots[n] == 0;
    const bool country = land & open & (urban < 0.3) & (park < 0.5);
    const Rgb road = Mix(colour, kRoad, bands.roadShares[n]);
    colour.r = country ? road.r : colour.r;
    colour.g = country ? road.g : colour.g;
    colour.b = country ? road.b : colour.b;
    cover = country & roads ? static_cast<std::int64_t>(Cover::Road) : cover;
    const bool highway = land & open;
    const Rgb paved = Mix(colour, kHighway, bands.highwayShares[n]);
    colour.r = highway ? paved.r : colour.r;
    colour.g = highway ? paved.g : colour.g;
    colour.b = highway ? paved.b : colour.b;
    cover = highway & highways ? static_cast<std::int64_t>(Cover::Highway) : cover;
    const double grain = 1 + 0.1 * in.texture[n];
    const auto red = static_cast<std::uint8_t>(std::clamp(colour.r * grain, 0.0, 255.0));
    const auto green = static_cast<std::uint8_t>(std::clamp(colour.g * grain, 0.0, 255.0));
    const auto blue = static_cast<std::uint8_t>(std::clamp(colour.b * grain, 0.0, 255.0));
    const std::uint64_t pixel = std::bit_cast<std::uint32_t>(static_cast<float>(in.elevation[n])) |
                                static_cast<std::uint64_t>(cover) << 32 | std::uint64_t{red} << 40 |
                                std::uint64_t{green} << 48 | std::uint64_t{blue} << 56;
    std::memcpy(static_cast<void*>(out + n), &pixel, sizeof pixel);
  }
}

using SettleLoop = void (*)(const RowFields& in, CoverRow& row);
using FinishLoop = void (*)(const CoverRow& row, const BandRow& bands, const RowFields& in,
                            GroundPixel* out);

void SettleCoverPlain(const RowFields& in, CoverRow& row) { SettleCoverBody(in, row); }
void FinishCoverPlain(const CoverRow& row, const BandRow& bands, const RowFields& in,
                      GroundPixel* out) {
  FinishCoverBody(row, bands, in, out);
}
#if defined(__x86_64__)
__attribute__((target("avx2"))) void SettleCoverAvx2(const RowFields& in, CoverRow& row) {
  SettleCoverBody(in, row);
}
__attribute__((target("avx2"))) void FinishCoverAvx2(const CoverRow& row, const BandRow& bands,
                                                     const RowFields& in, GroundPixel* out) {
  FinishCoverBody(row, bands, in, out);
}
#endif

#if defined(__x86_64__)
// Clamp01 of eight values.
__attribute__((target("avx512f"))) inline __m512d Clamp01Of(__m512d v) {
  const __m512d zero = _mm512_setzero_pd(), one = _mm512_set1_pd(1);
  v = _mm512_mask_blend_pd(_mm512_cmp_pd_mask(v, zero, _CMP_LT_OQ), v, zero);
  return _mm512_mask_blend_pd(_mm512_cmp_pd_mask(v, one, _CMP_GT_OQ), v, one);
}

// Each of the three channels of a colour, picked where `when` holds.
__attribute__((target("avx512f"))) inline void Pick(__mmask8 when, const Channels& c,
                                                    Channels& colour) {
  for (int i = 0; i < 3; ++i) colour.of[i] = _mm512_mask_blend_pd(when, colour.of[i], c.of[i]);
}

// The same written out for eight pixels at a time, for the reason FinishCoverAvx512 gives.
__attribute__((target("avx512f,avx512dq"))) void SettleCoverAvx512(const RowFields& in,
                                                                   CoverRow& row) {
  const Channels meadowDark = ChannelsOf(kMeadow), meadowLight = ChannelsOf({110, 118, 70});
  const Channels woodDark = ChannelsOf(kWood), woodLight = ChannelsOf({70, 96, 52});
  const Channels rockBare = ChannelsOf(kRock), grass = ChannelsOf(kParkGrass);
  const Channels shallow = ChannelsOf(kWater), deepest = ChannelsOf(kDeepWater);
  const Channels ripples = ChannelsOf({70, 96, 104});
  const Channels beach = ChannelsOf(kBeach), snow = ChannelsOf(kSnow);
  const __m512d half = _mm512_set1_pd(0.5), zero = _mm512_setzero_pd();
  double* out[3] = {row.red.data(), row.green.data(), row.blue.data()};
  for (int n = 0; n < CoverRow::kSize; n += 8) {
    // The last eight overlap the ones before, which come out the same again.
    n = std::min(n, CoverRow::kSize - 8);
    const __m512d elevation = _mm512_loadu_pd(in.elevation + n);
    const __m512d texture = _mm512_loadu_pd(in.texture + n);
    const __m512d crowns = _mm512_loadu_pd(in.crowns + n);
    const __m512d urban = _mm512_loadu_pd(in.urban + n), park = _mm512_loadu_pd(in.park + n);
    const __mmask8 inPark = _mm512_cmp_pd_mask(park, half, _CMP_GT_OQ);
    const __m512d treeCover = SmoothStepOf(
        0.08, 0.14,
        _mm512_add_pd(_mm512_loadu_pd(in.woods + n),
                      _mm512_mask_blend_pd(inPark, _mm512_mul_pd(_mm512_set1_pd(-0.35), urban),
                                           _mm512_set1_pd(0.25))));
    _mm512_storeu_pd(row.treeCover.data() + n, treeCover);
    const __m512d meadowShare = Clamp01Of(_mm512_add_pd(half, crowns));
    const __m512d woodShare =
        Clamp01Of(_mm512_add_pd(half, _mm512_mul_pd(_mm512_set1_pd(0.9), crowns)));
    const __m512d rockShare =
        _mm512_add_pd(_mm512_set1_pd(0.3), _mm512_mul_pd(_mm512_set1_pd(0.3), crowns));
    const __m512d parkShare = _mm512_mul_pd(
        treeCover, _mm512_add_pd(_mm512_set1_pd(0.6), _mm512_mul_pd(_mm512_set1_pd(0.4), crowns)));
    const __m512d depth = Clamp01Of(
        _mm512_div_pd(_mm512_xor_pd(elevation, _mm512_set1_pd(-0.0)), _mm512_set1_pd(60)));
    const __m512d rippleShare =
        _mm512_mul_pd(_mm512_set1_pd(0.25), Clamp01Of(_mm512_add_pd(texture, _mm512_set1_pd(0.3))));
    const __mmask8 below = _mm512_cmp_pd_mask(elevation, zero, _CMP_LT_OQ);
    Channels colour, wood, rock, parkland, water;
    for (int i = 0; i < 3; ++i) {
      colour.of[i] = MixOf(meadowDark.of[i], meadowLight.of[i], meadowShare);
      wood.of[i] = MixOf(woodDark.of[i], woodLight.of[i], woodShare);
      rock.of[i] = MixOf(rockBare.of[i], meadowDark.of[i], rockShare);
      parkland.of[i] = MixOf(grass.of[i], woodDark.of[i], parkShare);
      const __m512d deep = MixOf(shallow.of[i], deepest.of[i], depth);
      water.of[i] =
          MixOf(_mm512_mask_blend_pd(below, shallow.of[i], deep), ripples.of[i], rippleShare);
    }
    const __mmask8 farm =
        _mm512_cmp_pd_mask(_mm512_loadu_pd(in.farms + n), _mm512_set1_pd(-0.15), _CMP_GT_OQ);
    const __mmask8 sandy = _mm512_cmp_pd_mask(elevation, _mm512_set1_pd(1.2), _CMP_LT_OQ);
    const __mmask8 wooded = _mm512_cmp_pd_mask(treeCover, half, _CMP_GT_OQ);
    const __mmask8 rocky = _mm512_cmp_pd_mask(
        elevation, _mm512_add_pd(_mm512_set1_pd(1900), _mm512_mul_pd(_mm512_set1_pd(300), texture)),
        _CMP_GT_OQ);
    const __mmask8 snowy = _mm512_cmp_pd_mask(
        elevation, _mm512_add_pd(_mm512_set1_pd(2900), _mm512_mul_pd(_mm512_set1_pd(200), texture)),
        _CMP_GT_OQ);
    const __mmask8 town =
        _mm512_cmp_pd_mask(
            urban, _mm512_add_pd(_mm512_set1_pd(0.3), _mm512_mul_pd(_mm512_set1_pd(0.15), texture)),
            _CMP_GT_OQ) &
        _mm512_cmp_pd_mask(park, half, _CMP_LE_OQ);
    const __m512i spot = _mm512_loadu_si512(row.spots.data() + n);
    const __mmask8 wet =
        below | _mm512_cmp_pd_mask(_mm512_loadu_pd(in.rivers + n), half, _CMP_GT_OQ);
    Pick(sandy, beach, colour);
    Pick(wooded, wood, colour);
    Pick(rocky, rock, colour);
    Pick(snowy, snow, colour);
    Pick(inPark, parkland, colour);
    Pick(wet, water, colour);
    auto cover = [](Cover c) { return static_cast<long long>(c); };
    __m512i covers = _mm512_mask_blend_epi64(farm, _mm512_set1_epi64(cover(Cover::Meadow)),
                                             _mm512_set1_epi64(cover(Cover::Field)));
    covers = _mm512_mask_mov_epi64(covers, sandy, _mm512_set1_epi64(cover(Cover::Beach)));
    covers = _mm512_mask_mov_epi64(covers, wooded, _mm512_set1_epi64(cover(Cover::Wood)));
    covers = _mm512_mask_mov_epi64(covers, rocky, _mm512_set1_epi64(cover(Cover::Rock)));
    covers = _mm512_mask_mov_epi64(covers, snowy, _mm512_set1_epi64(cover(Cover::Snow)));
    covers =
        _mm512_mask_mov_epi64(covers, inPark,
                              _mm512_mask_blend_epi64(wooded, _mm512_set1_epi64(cover(Cover::Park)),
                                                      _mm512_set1_epi64(cover(Cover::Wood))));
    covers = _mm512_mask_mov_epi64(covers, wet, _mm512_set1_epi64(cover(Cover::Water)));
    __m512i kinds =
        _mm512_mask_blend_epi64(farm, _mm512_set1_epi64(kSettled), _mm512_set1_epi64(kFarmPixel));
    kinds = _mm512_mask_mov_epi64(kinds, sandy | wooded | rocky | snowy | inPark,
                                  _mm512_set1_epi64(kSettled));
    kinds = _mm512_mask_mov_epi64(kinds, town, _mm512_set1_epi64(kTownPixel));
    kinds =
        _mm512_mask_mov_epi64(kinds, _mm512_cmpeq_epi64_mask(spot, _mm512_set1_epi64(kInStadium)),
                              _mm512_set1_epi64(kStadiumPixel));
    kinds =
        _mm512_mask_mov_epi64(kinds, _mm512_cmpeq_epi64_mask(spot, _mm512_set1_epi64(kInAirport)),
                              _mm512_set1_epi64(kAirportPixel));
    kinds = _mm512_mask_mov_epi64(kinds, wet, _mm512_set1_epi64(kWaterPixel));
    for (int i = 0; i < 3; ++i) _mm512_storeu_pd(out[i] + n, colour.of[i]);
    _mm512_storeu_si512(row.covers.data() + n, covers);
    _mm512_storeu_si512(row.kinds.data() + n, kinds);
  }
}
// The same eight pixels at a time, written out: the compiler's own vector code for the
// loop spends much of its time moving its many masks in and out of memory.
__attribute__((target("avx512f,avx512dq"))) void FinishCoverAvx512(const CoverRow& row,
                                                                   const BandRow& bands,
                                                                   const RowFields& in,
                                                                   GroundPixel* out) {
  const Channels road = ChannelsOf(kRoad), highway = ChannelsOf(kHighway);
  const __m512d zero = _mm512_setzero_pd(), most = _mm512_set1_pd(255);
  const double* channels[3] = {row.red.data(), row.green.data(), row.blue.data()};
  for (int n = 0; n < CoverRow::kSize; n += 8) {
    // The last eight overlap the ones before, which come out the same again.
    n = std::min(n, CoverRow::kSize - 8);
    const __mmask8 roads = FlagsAt(bands.roads.data() + n);
    const __mmask8 highways = FlagsAt(bands.highways.data() + n);
    const __mmask8 land = _mm512_cmpneq_epi64_mask(_mm512_loadu_si512(row.kinds.data() + n),
                                                   _mm512_set1_epi64(kWaterPixel));
    const __mmask8 open =
        _mm512_cmpeq_epi64_mask(_mm512_loadu_si512(row.spots.data() + n), _mm512_setzero_si512());
    const __mmask8 country =
        land & open &
        _mm512_cmp_pd_mask(_mm512_loadu_pd(in.urban + n), _mm512_set1_pd(0.3), _CMP_LT_OQ) &
        _mm512_cmp_pd_mask(_mm512_loadu_pd(in.park + n), _mm512_set1_pd(0.5), _CMP_LT_OQ);
    const __mmask8 paved = land & open;
    const __m512d roadShare = _mm512_loadu_pd(bands.roadShares.data() + n);
    const __m512d highwayShare = _mm512_loadu_pd(bands.highwayShares.data() + n);
    const __m512d grain = _mm512_add_pd(
        _mm512_set1_pd(1), _mm512_mul_pd(_mm512_set1_pd(0.1), _mm512_loadu_pd(in.texture + n)));
    __m512i cover = _mm512_loadu_si512(row.covers.data() + n);
    cover = _mm512_mask_mov_epi64(cover, country & roads,
                                  _mm512_set1_epi64(static_cast<std::int64_t>(Cover::Road)));
    cover = _mm512_mask_mov_epi64(cover, paved & highways,
                                  _mm512_set1_epi64(static_cast<std::int64_t>(Cover::Highway)));
    const __m256 elevation = _mm512_cvtpd_ps(_mm512_loadu_pd(in.elevation + n));
    __m512i pixel = _mm512_or_si512(_mm512_cvtepu32_epi64(_mm256_castps_si256(elevation)),
                                    _mm512_slli_epi64(cover, 32));
    for (int c = 0; c < 3; ++c) {
      __m512d colour = _mm512_loadu_pd(channels[c] + n);
      colour = _mm512_mask_blend_pd(country, colour, MixOf(colour, road.of[c], roadShare));
      colour = _mm512_mask_blend_pd(paved, colour, MixOf(colour, highway.of[c], highwayShare));
      __m512d lit = _mm512_mul_pd(colour, grain);
      lit = _mm512_mask_blend_pd(_mm512_cmp_pd_mask(lit, zero, _CMP_LT_OQ), lit, zero);
      lit = _mm512_mask_blend_pd(_mm512_cmp_pd_mask(most, lit, _CMP_LT_OQ), lit, most);
      pixel = _mm512_or_si512(pixel, _mm512_slli_epi64(_mm512_cvttpd_epi64(lit), 40 + 8 * c));
    }
    _mm512_storeu_si512(out + n, pixel);
  }
}
#endif

// Chosen once, outside the loops.
const SettleLoop SettleCover =
#if defined(__x86_64__)
    HasAvx512Double() ? &SettleCoverAvx512
    : HasAvx2()       ? &SettleCoverAvx2
                      :
#endif
                &SettleCoverPlain;
const FinishLoop FinishCover =
#if defined(__x86_64__)
    HasAvx512Double() ? &FinishCoverAvx512
    : HasAvx2()       ? &FinishCoverAvx2
                      :
#endif
                &FinishCoverPlain;

}  // namespace

Terrain::Terrain(const Gazetteer& gazetteer) : gazetteer_(gazetteer) {}

std::vector<Feature> Terrain::FeaturesNear(double west, double south, double east,
                                           double north) const {
  std::vector<const GazetteerRecord*> records;
  gazetteer_.ForEachInfluencing(west, south, east, north,
                                [&records](const GazetteerRecord& r) { records.push_back(&r); });
  // A fixed order keeps every tile's sums identical at shared pixels.
  std::sort(records.begin(), records.end());
  std::vector<Feature> features;
  features.reserve(records.size());
  for (const GazetteerRecord* r : records) {
    const double secant = 1.0 / std::cos(r->Lat * kDeg);
    Feature f{KindOf(*r),
              MercatorX(r->Lon),
              MercatorY(r->Lat),
              MercatorX(r->IsBand() ? r->Lon2 : r->Lon),
              MercatorY(r->IsBand() ? r->Lat2 : r->Lat),
              r->IsBand(),
              InfluenceRadius(*r) * secant,
              0,
              0,
              HashLattice(std::llround(r->Lon * 1e5), std::llround(r->Lat * 1e5), 77)};
    f.inverseRadius = 1 / f.radius;
    if (f.kind == Kind::Airport) {
      const double angle1 = (f.hash % 180) * kDeg;
      const double angle2 = angle1 + (55 + (f.hash >> 8) % 40) * kDeg;
      f.runways[0][0] = std::cos(angle1);
      f.runways[0][1] = std::sin(angle1);
      f.runways[1][0] = std::cos(angle2);
      f.runways[1][1] = std::sin(angle2);
    }
    // The widest reach of each kind below, plus the wobble of its edge.
    double factor = 1.3;
    switch (f.kind) {
      case Kind::Island:
        factor = 2.5;
        break;
      case Kind::Stadium:
        factor = 2.6;
        break;
      default:
        break;
    }
    f.reach = factor * f.radius + 0.4 * std::min(f.radius, 2500.0) + 10;
    features.push_back(f);
  }
  return features;
}

GroundTile Terrain::SampleTile(int zone, Scale scale, int tileX, int tileY) const {
  const double m = MetresPerPixel(scale);

  // Ground coordinates on the coarsest lattice, from the projection.
  Lattice lattice(kSteps[0]);
  double minLon = 1e9, maxLon = -1e9, minLat = 1e9, maxLat = -1e9;
  double fpMin = 1e300, fpMax = 0;
  {
    const int side = lattice.side;
    const int stepsPerTile = kTilePixels / lattice.step;
    double* xs = lattice.Channel(kGroundX);
    double* ys = lattice.Channel(kGroundY);
    double* fps = lattice.Channel(kFootprint);
    for (int l = 0; l < side; ++l) {
      for (int k = 0; k < side; ++k) {
        // Global lattice indices, so that neighbouring tiles compute identical points.
        const std::int64_t column = std::int64_t{tileX} * stepsPerTile + k - 1;
        const std::int64_t row = (std::int64_t{tileY} + 1) * stepsPerTile - (l - 1);
        const GeoPoint p = UtmInverse({zone, static_cast<double>(column) * lattice.step * m,
                                       static_cast<double>(row) * lattice.step * m});
        const int at = l * side + k;
        xs[at] = MercatorX(p.Lon);
        ys[at] = MercatorY(p.Lat);
        // Ground units per pixel: Mercator stretches by the secant of the latitude.
        fps[at] = m / std::max(0.02, std::cos(p.Lat * kDeg));
        minLon = std::min(minLon, p.Lon);
        maxLon = std::max(maxLon, p.Lon);
        minLat = std::min(minLat, p.Lat);
        maxLat = std::max(maxLat, p.Lat);
        fpMin = std::min(fpMin, fps[at]);
        fpMax = std::max(fpMax, fps[at]);
      }
    }
  }

  // The noise, from the coarsest lattice down to the finest; places are looked up on
  // the way.
  const OctavePlan plan = PlanOctaves(m, fpMin, fpMax);
  std::array<bool, kChannels> active{};
  active[kGroundX] = active[kGroundY] = active[kFootprint] = true;
  std::vector<Feature> features;
  bool builtUp = false;
  int cellsPerSide = 0;
  std::vector<std::vector<const Feature*>> cellFeatures, cellSpots;
  for (int level = 0; level < kLevels - 1; ++level) {
    if (level > 0) lattice = Refine(lattice, kSteps[level], active);
    bool fades = false;
    for (int f = 0; f < kFieldCount; ++f) {
      for (const Octave& o : plan[f][level]) fades |= o.fades;
    }
    if (fades) {
      const double* fps = lattice.Channel(kFootprint);
      double* inverse = lattice.Channel(kInverseFootprint);
      kRowLoops.invert(fps, lattice.side * lattice.side, inverse);
    }
    for (int f = 0; f < kFieldCount; ++f) {
      if (plan[f][level].empty()) continue;
      if (!active[f]) lattice.Clear(f);
      AddOctaves(lattice, plan[f][level], f);
      active[f] = true;
    }
    if (kSteps[level] != kCellStep) continue;

    // Only the places that reach this tile take part in its pixels.
    const int side = lattice.side;
    const double* xs = lattice.Channel(kGroundX);
    const double* ys = lattice.Channel(kGroundY);
    // Named pointers rather than structured bindings: clang 14 cannot capture those.
    const auto xRange = std::minmax_element(xs, xs + side * side);
    const auto yRange = std::minmax_element(ys, ys + side * side);
    const double* minX = xRange.first;
    const double* maxX = xRange.second;
    const double* minY = yRange.first;
    const double* maxY = yRange.second;
    features = FeaturesNear(minLon, minLat, maxLon, maxLat);
    std::erase_if(features, [&](const Feature& f) {
      const double reach = f.reach;
      return std::max(f.x, f.x2) + reach < *minX || std::min(f.x, f.x2) - reach > *maxX ||
             std::max(f.y, f.y2) + reach < *minY || std::min(f.y, f.y2) - reach > *maxY;
    });
    // A town whose core covers the whole tile makes all of it built-up land: then no
    // town can add anything, and the pixels need not look at towns at all.
    builtUp = std::any_of(features.begin(), features.end(), [&](const Feature& f) {
      if (f.kind != Kind::Town) return false;
      const double dx = std::max(std::fabs(*minX - f.x), std::fabs(*maxX - f.x));
      const double dy = std::max(std::fabs(*minY - f.y), std::fabs(*maxY - f.y));
      return std::sqrt(dx * dx + dy * dy) + 0.4 * std::min(f.radius, 2500.0) < 0.5 * f.radius;
    });
    if (builtUp) {
      std::erase_if(features, [](const Feature& f) { return f.kind == Kind::Town; });
    }

    // Each cell of this lattice lists the places that may reach it (all of them, and the
    // ones that draw their own shapes): its pixels lie within the box of its corners.
    cellsPerSide = side - 1;
    cellFeatures.resize(cellsPerSide * cellsPerSide);
    cellSpots.resize(cellsPerSide * cellsPerSide);
    if (features.empty()) continue;
    for (int l = 0; l < cellsPerSide; ++l) {
      for (int k = 0; k < cellsPerSide; ++k) {
        const int corners[4] = {l * side + k, l * side + k + 1, (l + 1) * side + k,
                                (l + 1) * side + k + 1};
        double x0 = 1e300, x1 = -1e300, y0 = 1e300, y1 = -1e300;
        for (int c : corners) {
          x0 = std::min(x0, xs[c]);
          x1 = std::max(x1, xs[c]);
          y0 = std::min(y0, ys[c]);
          y1 = std::max(y1, ys[c]);
        }
        // Every pixel of the cell lies within half the diagonal of the box's centre.
        const double cx = 0.5 * (x0 + x1), cy = 0.5 * (y0 + y1);
        const double halfDiagonal = 0.5 * std::hypot(x1 - x0, y1 - y0);
        for (const Feature& f : features) {
          const double d = SegmentDistance(cx, cy, f.x, f.y, f.x2, f.y2, f.band);
          if (d - halfDiagonal > f.reach * (1 + 1e-9) + 1e-6) continue;
          cellFeatures[l * cellsPerSide + k].push_back(&f);
          if (f.kind == Kind::Airport || f.kind == Kind::Stadium || f.kind == Kind::Plaza)
            cellSpots[l * cellsPerSide + k].push_back(&f);
        }
      }
    }
  }
  for (int f = 0; f < kFieldCount; ++f) {
    if (!active[f]) lattice.Clear(f);
  }
  ShapeLand(lattice, cellFeatures, cellsPerSide, builtUp);
  FormGround(lattice);
  // What the pixels interpolate.
  std::array<bool, kChannels> perPixel{};
  for (int c : std::initializer_list<int>{kGroundX, kGroundY, kFootprint, kElevationField,
                                          kRiverField, kHighwayField, kWoodField, kFarmField,
                                          kTextureField, kCrownField})
    perPixel[c] = active[c];
  perPixel[kUrbanShare] = perPixel[kParkShare] = true;
  std::array<PixelOctaves, kFieldCount> fine =
      [&plan]<std::size_t... F>(std::index_sequence<F...>) {
    return std::array<PixelOctaves, kFieldCount>{PixelOctaves(plan[F][kLevels - 1])...};
  }
  (std::make_index_sequence<kFieldCount>());

  GroundTile tile;
  tile.metresPerPixel = m;
  tile.pixels.resize(GroundTile::kSide * GroundTile::kSide);
  // Pixels interpolate the finest lattice, a row at a time: along the lattice's columns
  // first, then along the row; the finest octaves are added to the row in one sweep
  // each.
  constexpr int kRow = kTilePixels + 2;
  // On the finest lattice (step 2, starting one step outside the tile) pixel n of a row
  // (pixel n - 1 of the tile) lies 3/4 of the way from column n / 2 to the next one
  // when n is even, 1/4 of the way from column (n + 1) / 2 when odd.
  static_assert(kSteps.back() == 2);
  const int side = lattice.side;
  std::vector<double> rowValues(static_cast<std::size_t>(kChannels) * kRow, 0.0);
  static_assert(BandRow::kSize == kRow && FieldRow::kSize == kRow);
  BandRow bands;
  FieldRow fields;
  CoverRow row;
  TownRow towns;
  std::array<const Feature*, kRow> airports, stadiums;
  std::array<std::uint8_t, kRow> inPlaza;
  for (int j = -1; j <= kTilePixels; ++j) {
    const double v = (j + 0.5) / 2 + 1;
    const int l = static_cast<int>(v);
    const double fv = v - l;
    for (int c = 0; c < kChannels; ++c) {
      if (!perPixel[c]) continue;
      const double* a = lattice.Channel(c) + l * side;
      const double* b = a + side;
      double* out = rowValues.data() + c * kRow;
      kRowLoops.pixels(a, b, fv, kRow / 2, out);
    }
    const double* xs = rowValues.data() + kGroundX * kRow;
    const double* ys = rowValues.data() + kGroundY * kRow;
    const double* fps = rowValues.data() + kFootprint * kRow;
    double* inverseFps = rowValues.data() + kInverseFootprint * kRow;
    kRowLoops.invert(fps, kRow, inverseFps);
    for (int f = 0; f < kFieldCount; ++f) {
      if (fine[f].Empty()) continue;
      double* out = rowValues.data() + f * kRow;
      if (!perPixel[f]) std::fill(out, out + kRow, 0.0);
      fine[f].AddTo(xs, ys, inverseFps, kRow, out);
    }
    Bands(xs, ys, fps, inverseFps, rowValues.data() + kRiverField * kRow,
          rowValues.data() + kHighwayField * kRow, 0, kRow, bands);
    // Airports, stadiums and plazas draw their own shapes: which one each pixel lies in.
    const std::vector<const Feature*>* cellRow =
        cellSpots.data() + static_cast<int>((j + 0.5) / kCellStep + 1) * cellsPerSide;
    const bool rowHasSpots = std::any_of(cellRow, cellRow + cellsPerSide,
                                         [](const auto& spots) { return !spots.empty(); });
    row.spots.fill(0);
    inPlaza.fill(0);
    if (rowHasSpots) {
      for (int n = 0; n < kRow; ++n) {
        const Feature* airport = nullptr;
        const Feature* stadium = nullptr;
        const Feature* plaza = nullptr;
        for (const Feature* feature : cellRow[static_cast<int>((n - 0.5) / kCellStep + 1)]) {
          const Feature& f = *feature;
          const double d = SegmentDistance(xs[n], ys[n], f.x, f.y, f.x2, f.y2, f.band);
          if (f.kind == Kind::Airport && d < f.radius) airport = &f;
          if (f.kind == Kind::Stadium && d < 2.4 * f.radius) stadium = &f;
          if (f.kind == Kind::Plaza && d < f.radius) plaza = &f;
        }
        row.spots[n] = airport != nullptr ? kInAirport : (stadium != nullptr ? kInStadium : 0);
        airports[n] = airport;
        stadiums[n] = stadium;
        inPlaza[n] = plaza != nullptr;
      }
    }
    const RowFields in{
        rowValues.data() + kElevationField * kRow, bands.riverShares.data(),
        rowValues.data() + kUrbanShare * kRow,     rowValues.data() + kParkShare * kRow,
        rowValues.data() + kTextureField * kRow,   rowValues.data() + kWoodField * kRow,
        rowValues.data() + kCrownField * kRow,     rowValues.data() + kFarmField * kRow};
    SettleCover(in, row);

    // What the row's loop left open, pixel by pixel.
    // Farmland and towns are worked out for the row when first met.
    bool fieldsDone = false, townsDone = false;
    for (int n = 0; n < kRow; ++n) {
      if (row.kinds[n] < kFarmPixel) continue;
      const double x = xs[n], y = ys[n];
      const Footprint fp(fps[n], inverseFps[n]);
      Rgb colour;
      Cover cover;
      if (row.kinds[n] == kAirportPixel) {
        const Feature& a = *airports[n];
        double runway = 0;
        for (const auto& direction : a.runways) {
          const double ux = direction[0], uy = direction[1];
          const double dx = x - a.x, dy = y - a.y;
          const double along = dx * ux + dy * uy, across = std::fabs(-dx * uy + dy * ux);
          if (std::fabs(along) < 0.8 * a.radius)
            runway = std::max(runway, BandCoverage(across, 30, fp));
        }
        const double apron =
            SmoothStep(0.3 * a.radius, 0.27 * a.radius,
                       std::sqrt((x - a.x - 0.35 * a.radius) * (x - a.x - 0.35 * a.radius) +
                                 (y - a.y) * (y - a.y)));
        colour = Mix(Mix(kAirfieldGrass, kConcrete, apron), kRunway, runway);
        cover = runway > 0.5 ? Cover::Runway : (apron > 0.5 ? Cover::Paved : Cover::Meadow);
      } else if (row.kinds[n] == kStadiumPixel) {
        const Feature& s = *stadiums[n];
        const double e = std::hypot((x - s.x) / s.radius, (y - s.y) / (0.8 * s.radius));
        if (e < 0.55) {
          colour = Mix(kPitch, {90, 150, 66}, StripeCoverage(x - s.x, 12, 6, fp));
          cover = Cover::Park;
        } else if (e < 0.62) {
          colour = kTrack;
          cover = Cover::Paved;
        } else if (e < 1.0) {
          colour = Mix(kStands, {120, 120, 126},
                       0.5 + 0.5 * std::sin(std::atan2(y - s.y, x - s.x) * 24));
          cover = Cover::Building;
        } else {
          colour = Mix({118, 118, 116}, {200, 200, 196}, 0.6 * StripeCoverage(x, 5, 0.6, fp));
          cover = Cover::Paved;
        }
      } else if (row.kinds[n] == kTownPixel) {
        if (TownRows == nullptr) {
          cover = TownPixel(x, y, fp, in.urban[n], in.texture[n], row.treeCover[n], in.crowns[n],
                            inPlaza[n] != 0, colour);
        } else {
          if (!townsDone) {
            // The town from here to its last pixel in the row.
            int last = kRow - 1;
            while (row.kinds[last] != kTownPixel) --last;
            const TownInputs town{xs,
                                  ys,
                                  fps,
                                  inverseFps,
                                  in.urban,
                                  in.texture,
                                  row.treeCover.data(),
                                  in.crowns,
                                  inPlaza.data()};
            TownRows(town, n, last + 1, towns);
          }
          townsDone = true;
          colour = {towns.red[n], towns.green[n], towns.blue[n]};
          cover = static_cast<Cover>(towns.covers[n]);
        }
      } else {
        if (FieldRows == nullptr) {
          colour = FieldColour(x, y, fp);
        } else {
          if (!fieldsDone) {
            // The farmland from here to its last pixel in the row.
            int last = kRow - 1;
            while (row.kinds[last] != kFarmPixel) --last;
            FieldRows(xs, ys, fps, inverseFps, n, last + 1, fields);
          }
          fieldsDone = true;
          colour = {fields.red[n], fields.green[n], fields.blue[n]};
        }
        cover = Cover::Field;
      }
      row.red[n] = colour.r;
      row.green[n] = colour.g;
      row.blue[n] = colour.b;
      row.covers[n] = static_cast<std::int64_t>(cover);
    }
    static_assert(sizeof(GroundPixel) == sizeof(std::uint64_t));
    FinishCover(row, bands, in, tile.pixels.data() + (j + 1) * GroundTile::kSide);
  }
  return tile;
}

}  // namespace quorvil::mapservice
