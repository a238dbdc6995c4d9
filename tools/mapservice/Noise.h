#pragma once

// Deterministic noise of ground position: hashing of lattice points and 2D gradient
// noise, summed over octaves that are faded out once they shrink below a few pixels, so
// that a place looks alike at every scale and adjacent tiles agree exactly.

#include <cstdint>
#include <limits>

namespace quorvil::mapservice {

inline std::uint32_t HashLattice(std::int64_t x, std::int64_t y, std::uint32_t seed) {
  // Lattice coordinates wrap at 2^32 cells, far beyond any ground extent.
  std::uint32_t h = static_cast<std::uint32_t>(x) * 0x8DA6B343u ^
                    static_cast<std::uint32_t>(y) * 0xD8163841u ^ seed * 0xCB1AB31Fu;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  h *= 0x297A2D39u;
  h ^= h >> 15;
  return h;
}

// floor() without the library call, for the magnitudes of ground coordinates.
inline std::int64_t FloorToInt(double v) {
  const auto i = static_cast<std::int64_t>(v);
  return i - (v < static_cast<double>(i) ? 1 : 0);
}

inline double SmoothStep(double edge0, double edge1, double x) {
  // A product rather than a quotient: constant edges fold into one factor.
  double t = (x - edge0) * (1.0 / (edge1 - edge0));
  t = t < 0 ? 0 : (t > 1 ? 1 : t);
  return t * t * (3 - 2 * t);
}

// One octave of gradient noise of the given wavelength in ground units, roughly in
// [-1, 1]. It keeps the gradients of the last lattice cell it visited, so that runs of
// nearby points (a row of pixels) hash each cell once.
class GradientOctave {
 public:
  GradientOctave(std::uint32_t seed, double wave) : inverse_(1.0 / wave), seed_(seed) {}

  // Inlined into the loops over a row of pixels, where it is the heart of the work.
  [[gnu::always_inline]] double operator()(double x, double y) {
    const double px = x * inverse_, py = y * inverse_;
    const std::int64_t ix = FloorToInt(px), iy = FloorToInt(py);
    if (ix != cellX_ || iy != cellY_) Visit(ix, iy);
    const double dx = px - static_cast<double>(ix), dy = py - static_cast<double>(iy);
    const double n00 = g_[0] * dx + g_[1] * dy;
    const double n10 = g_[2] * (dx - 1) + g_[3] * dy;
    const double n01 = g_[4] * dx + g_[5] * (dy - 1);
    const double n11 = g_[6] * (dx - 1) + g_[7] * (dy - 1);
    const double u = dx * dx * dx * (dx * (dx * 6 - 15) + 10);
    const double v = dy * dy * dy * (dy * (dy * 6 - 15) + 10);
    const double a = n00 + u * (n10 - n00);
    const double b = n01 + u * (n11 - n01);
    return 1.6 * (a + v * (b - a));
  }

 private:
  [[gnu::noinline]] void Visit(std::int64_t ix, std::int64_t iy) {
    // Eight gradient directions of equal length.
    static constexpr double kG[8][2] = {{1, 0},
                                        {-1, 0},
                                        {0, 1},
                                        {0, -1},
                                        {0.7071, 0.7071},
                                        {-0.7071, 0.7071},
                                        {0.7071, -0.7071},
                                        {-0.7071, -0.7071}};
    const std::int64_t corners[4][2] = {{ix, iy}, {ix + 1, iy}, {ix, iy + 1}, {ix + 1, iy + 1}};
    for (int c = 0; c < 4; ++c) {
      const std::uint32_t h = HashLattice(corners[c][0], corners[c][1], seed_) & 7u;
      g_[2 * c] = kG[h][0];
      g_[2 * c + 1] = kG[h][1];
    }
    cellX_ = ix;
    cellY_ = iy;
  }

  double inverse_;
  std::uint32_t seed_;
  std::int64_t cellX_ = std::numeric_limits<std::int64_t>::min(), cellY_ = 0;
  double g_[8] = {};
};

// A sum of octaves of gradient noise: the first has wavelength `base`, each next one
// half of that with `gain` times the weight. Sums are normalised by the weight of all
// octaves. An octave fades in as its wavelength grows from `fadeFrom` to twice that many
// pixels (see OctaveFade), so that detail finer than the pixels vanishes instead of
// flickering: two pixels for grain, more for land forms whose finest wrinkles would
// not show.
struct FbmSpec {
  std::uint32_t seed;
  double base;
  int octaves;
  double gain = 0.5;
  double fadeFrom = 2;
};

inline double OctaveFade(double wave, double inverseFootprint, double fadeFrom) {
  return SmoothStep(fadeFrom, 2 * fadeFrom, wave * inverseFootprint);
}

// The ground width of a pixel and its inverse.
struct Footprint {
  double size, inverse;
  explicit Footprint(double s) : size(s), inverse(1.0 / s) {}
  // With the inverse already at hand (1.0 / s, computed once for several uses).
  Footprint(double s, double inv) : size(s), inverse(inv) {}
};

// Coverage of a pixel of width `footprint` centred at x by stripes of `width` that
// repeat every `period` (stripes start at multiples of the period): the exact box
// filter of the stripe pattern, so thin lines fade rather than flicker at coarse scales.
[[gnu::always_inline]] inline double StripeCoverage(double x, double period, double width,
                                                    const Footprint& footprint) {
  const double inversePeriod = 1.0 / period;
  const double half = 0.5 * footprint.size;
  const double lo = x - half;
  const double k = static_cast<double>(FloorToInt(lo * inversePeriod));
  const double r0 = lo - k * period, r1 = r0 + footprint.size;
  if (r1 <= period) {
    // The pixel lies within one period: the usual case.
    return ((r1 < width ? r1 : width) - (r0 < width ? r0 : width)) * footprint.inverse;
  }
  auto integral = [period, width, inversePeriod](double t) {
    const double n = static_cast<double>(FloorToInt(t * inversePeriod));
    const double r = t - n * period;
    return n * width + (r < width ? r : width);
  };
  return (integral(x + half) - integral(lo)) * footprint.inverse;
}

}  // namespace quorvil::mapservice
