// Paints the background of the splash picture: one synthetic landscape, shown as an
// aerial photograph on the left that turns into a topographic map on the right, with
// the 200-pixel tile grid and a selection outline. Writes a binary PPM to stdout.
// Run once by make-splash.sh; the JPEG it leads to is what the program embeds.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int kWidth = 600;
constexpr int kHeight = 400;

double Hash(int x, int y, int seed) {
  std::uint32_t h = static_cast<std::uint32_t>(x) * 374761393u +
                    static_cast<std::uint32_t>(y) * 668265263u +
                    static_cast<std::uint32_t>(seed) * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return ((h ^ (h >> 16)) & 0xFFFFFF) / double(0xFFFFFF);
}

double Smooth(double t) { return t * t * (3 - 2 * t); }

double ValueNoise(double x, double y, int seed) {
  const int xi = static_cast<int>(std::floor(x));
  const int yi = static_cast<int>(std::floor(y));
  const double tx = Smooth(x - xi), ty = Smooth(y - yi);
  const double a = Hash(xi, yi, seed), b = Hash(xi + 1, yi, seed);
  const double c = Hash(xi, yi + 1, seed), d = Hash(xi + 1, yi + 1, seed);
  return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

double Fbm(double x, double y, int octaves, int seed) {
  double sum = 0, amplitude = 0.5, frequency = 1;
  for (int i = 0; i < octaves; ++i) {
    sum += amplitude * ValueNoise(x * frequency, y * frequency, seed + i * 17);
    amplitude *= 0.5;
    frequency *= 2.03;
  }
  return sum;
}

// Centre line of the river, as a column for each row.
double RiverX(double y) { return 250 + 60 * std::sin(y / 70.0) + 25 * std::sin(y / 23.0 + 1); }

// A road crossing the valley, as a row for each column.
double RoadY(double x) { return 318 + 34 * std::sin(x / 95.0 + 0.6) - 0.08 * x; }

double Height(double x, double y) {
  double h = Fbm(x / 170.0, y / 170.0, 5, 3) * 540;
  h += 140 * Smooth(std::clamp((x - 330) / 270.0, 0.0, 1.0));  // hills rise to the east
  const double d = std::abs(x - RiverX(y));
  h -= 120 * std::exp(-d * d / (2 * 45.0 * 45.0));  // the valley
  return h;
}

struct Rgb {
  double r, g, b;
};

Rgb Mix(Rgb a, Rgb b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

}  // namespace

int main() {
  std::vector<double> height(kWidth * kHeight);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) height[y * kWidth + x] = Height(x, y);
  }
  auto at = [&](int x, int y) {
    x = std::clamp(x, 0, kWidth - 1);
    y = std::clamp(y, 0, kHeight - 1);
    return height[y * kWidth + x];
  };

  std::vector<std::uint8_t> out(kWidth * kHeight * 3);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const double h = at(x, y);
      const double gx = (at(x + 1, y) - at(x - 1, y)) / 2;
      const double gy = (at(x, y + 1) - at(x, y - 1)) / 2;
      // Light from the north-west.
      const double shade = std::clamp(0.9 + (-gx - gy) * 0.11, 0.35, 1.35);
      const double river = std::abs(x - RiverX(y));
      const bool water = river < 4.5 + 2 * ValueNoise(y / 9.0, 0, 5);

      // Aerial: woods on the slopes, fields in the valley, grain and tree texture.
      const double grain = Fbm(x / 3.0, y / 3.0, 3, 11) - 0.5;
      Rgb aerial;
      const int fieldX = static_cast<int>((x + 13 * std::sin(y / 90.0)) / 38);
      const int fieldY = static_cast<int>((y + 9 * std::sin(x / 80.0)) / 27);
      const double field = Hash(fieldX, fieldY, 7);
      const double slope = std::hypot(gx, gy);
      if (h < 250 && slope < 2.6) {
        const Rgb crops[] = {
            {116, 128, 66}, {150, 140, 88}, {92, 118, 60}, {170, 158, 110}, {104, 112, 70}};
        aerial = crops[static_cast<int>(field * 5) % 5];
        // Field edges: hedgerows.
        const double fx = std::fmod((x + 13 * std::sin(y / 90.0)), 38.0);
        const double fy = std::fmod((y + 9 * std::sin(x / 80.0)), 27.0);
        if (fx < 1.3 || fy < 1.3) aerial = {62, 78, 44};
      } else {
        const double tree = Fbm(x / 1.6, y / 1.6, 2, 23);
        aerial = Mix(Rgb{38, 62, 34}, Rgb{78, 96, 52}, tree);
        if (h > 360)
          aerial = Mix(aerial, Rgb{120, 112, 92}, std::clamp((h - 360) / 120, 0.0, 0.45));
      }
      aerial = {aerial.r * shade + grain * 30, aerial.g * shade + grain * 30,
                aerial.b * shade + grain * 26};
      if (water) aerial = Rgb{40, 58, 70};
      const double road = std::abs(y - RoadY(x));
      if (road < 1.6 && !water) aerial = Mix(aerial, Rgb{196, 190, 176}, 0.85);

      // Topographic: paper tint by height, hill shading, contours every 20 m, index
      // contours every 100 m, blue river.
      Rgb topo = Mix(Rgb{236, 232, 206}, Rgb{222, 206, 170}, std::clamp(h / 450, 0.0, 1.0));
      topo = Mix(topo, Rgb{topo.r * shade, topo.g * shade, topo.b * shade}, 0.35);
      const double interval = 20;
      const double level = h / interval;
      const double gradient = std::max(slope / interval, 1e-6);
      const double distance = std::abs(level - std::round(level)) / gradient;  // in pixels
      const bool index = static_cast<int>(std::round(level)) % 5 == 0;
      const double lineWidth = index ? 1.1 : 0.55;
      const double ink = std::clamp(lineWidth + 0.5 - distance, 0.0, 1.0);
      topo = Mix(topo, Rgb{150, 92, 48}, ink * (index ? 0.95 : 0.75));
      if (water) topo = Rgb{92, 150, 210};
      if (river < 9 && !water) topo = Mix(topo, Rgb{150, 190, 230}, 0.35);
      if (road < 2.2 && !water) topo = Mix(topo, Rgb{200, 40, 36}, road < 1.1 ? 0.9 : 0.45);

      // The overlay fades in along a diagonal, as the overlay control does.
      const double t = Smooth(std::clamp((x - 0.35 * y - 250) / 170.0, 0.0, 1.0));
      Rgb colour = Mix(aerial, topo, t);

      // A soft vignette keeps the edges quiet.
      const double u = (x - kWidth / 2.0) / (kWidth / 2.0);
      const double v = (y - kHeight / 2.0) / (kHeight / 2.0);
      const double vignette = 1 - 0.28 * std::pow(std::min(1.0, (u * u + v * v) / 2), 1.2);
      // Darker band behind the title.
      const double band = 1 - 0.34 * std::exp(-std::pow((y - 192) / 78.0, 2));
      colour = {colour.r * vignette * band, colour.g * vignette * band, colour.b * vignette * band};

      std::uint8_t* p = &out[(y * kWidth + x) * 3];
      p[0] = static_cast<std::uint8_t>(std::clamp(colour.r, 0.0, 255.0));
      p[1] = static_cast<std::uint8_t>(std::clamp(colour.g, 0.0, 255.0));
      p[2] = static_cast<std::uint8_t>(std::clamp(colour.b, 0.0, 255.0));
    }
  }

  // The tile grid, faint dotted white lines every 200 pixels.
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      if ((x % 200 == 0 || y % 200 == 0) && ((x + y) / 3) % 2 == 0 && x > 0 && y > 0) {
        std::uint8_t* p = &out[(y * kWidth + x) * 3];
        for (int c = 0; c < 3; ++c) p[c] = static_cast<std::uint8_t>(p[c] + (255 - p[c]) * 0.45);
      }
    }
  }

  // A selection outline in the program's own dashes: aqua, white, aqua, black.
  const std::uint8_t dashes[4][3] = {{0, 255, 255}, {255, 255, 255}, {0, 255, 255}, {0, 0, 0}};
  const int left = 418, top = 262, right = 566, bottom = 362;
  auto put = [&](int x, int y, int i) {
    std::uint8_t* p = &out[(y * kWidth + x) * 3];
    for (int c = 0; c < 3; ++c) p[c] = dashes[(i / 3) % 4][c];
  };
  for (int x = left; x <= right; ++x) {
    put(x, top, x - left);
    put(x, bottom, x - left);
  }
  for (int y = top; y <= bottom; ++y) {
    put(left, y, y - top);
    put(right, y, y - top);
  }

  std::printf("P6\n%d %d\n255\n", kWidth, kHeight);
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}
