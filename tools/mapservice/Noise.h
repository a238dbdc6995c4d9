#pragma once

// Deterministic noise of ground position: hashing of lattice points and 2D gradient
// noise, summed over octaves that are faded out once they shrink below a few pixels, so
// that a place looks alike at every scale and adjacent tiles agree exactly.

#include <cmath>
#include <cstdint>

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

// Uniform in [0, 1).
inline double HashUnit(std::int64_t x, std::int64_t y, std::uint32_t seed) {
  return HashLattice(x, y, seed) * (1.0 / 4294967296.0);
}

// Gradient noise with unit wavelength, roughly in [-1, 1].
inline double GradientNoise(double x, double y, std::uint32_t seed) {
  const double fx = std::floor(x), fy = std::floor(y);
  const auto ix = static_cast<std::int64_t>(fx), iy = static_cast<std::int64_t>(fy);
  const double dx = x - fx, dy = y - fy;
  auto grad = [seed](std::int64_t gx, std::int64_t gy, double px, double py) {
    // Eight gradient directions of equal length.
    static constexpr double kG[8][2] = {{1, 0},
                                        {-1, 0},
                                        {0, 1},
                                        {0, -1},
                                        {0.7071, 0.7071},
                                        {-0.7071, 0.7071},
                                        {0.7071, -0.7071},
                                        {-0.7071, -0.7071}};
    const std::uint32_t h = HashLattice(gx, gy, seed) & 7u;
    return kG[h][0] * px + kG[h][1] * py;
  };
  const double n00 = grad(ix, iy, dx, dy);
  const double n10 = grad(ix + 1, iy, dx - 1, dy);
  const double n01 = grad(ix, iy + 1, dx, dy - 1);
  const double n11 = grad(ix + 1, iy + 1, dx - 1, dy - 1);
  const double u = dx * dx * dx * (dx * (dx * 6 - 15) + 10);
  const double v = dy * dy * dy * (dy * (dy * 6 - 15) + 10);
  const double a = n00 + u * (n10 - n00);
  const double b = n01 + u * (n11 - n01);
  return 1.6 * (a + v * (b - a));
}

inline double SmoothStep(double edge0, double edge1, double x) {
  double t = (x - edge0) / (edge1 - edge0);
  t = t < 0 ? 0 : (t > 1 ? 1 : t);
  return t * t * (3 - 2 * t);
}

// A sum of octaves of gradient noise: the first has wavelength `base`, each next one
// half of that with `gain` times the weight.
struct FbmSpec {
  std::uint32_t seed;
  double base;
  int octaves;
  double gain = 0.5;
};

// The part of the sum whose wavelengths lie in [minWave, maxWave), with octaves faded
// out as they approach two pixels of `footprint` ground units. Normalised by the weight
// of all octaves, so that the bands of one sum add up to the whole.
inline double FbmBand(const FbmSpec& spec, double x, double y, double footprint, double minWave = 0,
                      double maxWave = 1e300) {
  double sum = 0, total = 0, weight = 1, wave = spec.base;
  for (int i = 0; i < spec.octaves; ++i, weight *= spec.gain, wave *= 0.5) {
    total += weight;
    if (wave < minWave || wave >= maxWave) continue;
    const double fade = SmoothStep(2.0, 4.0, wave / footprint);
    if (fade <= 0) continue;
    sum += weight * fade *
           GradientNoise(x / wave, y / wave, spec.seed + static_cast<std::uint32_t>(i) * 101u);
  }
  return sum / total;
}

// Coverage of a pixel of width `footprint` centred at x by stripes of `width` that
// repeat every `period` (stripes start at multiples of the period): the exact box
// filter of the stripe pattern, so thin lines fade rather than flicker at coarse scales.
inline double StripeCoverage(double x, double period, double width, double footprint) {
  auto integral = [period, width](double t) {
    const double k = std::floor(t / period);
    const double r = t - k * period;
    return k * width + (r < width ? r : width);
  };
  if (footprint < 1e-9) {
    const double r = x - std::floor(x / period) * period;
    return r < width ? 1.0 : 0.0;
  }
  return (integral(x + footprint / 2) - integral(x - footprint / 2)) / footprint;
}

}  // namespace quorvil::mapservice
