#include "mapservice/TileRenderer.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <string>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "imagery/JpegCodec.h"
#include "mapservice/CpuFeatures.h"
#include "mapservice/TileGrid.h"
#include "platform/ProgramError.h"

namespace quorvil::mapservice {

namespace {

enum TopoIndex : std::uint8_t {
  kPaper,
  kWoodGreen,
  kWaterBlue,
  kShoreBlue,
  kContour,
  kIndexContour,
  kBuildingBlack,
  kRoadRed,
  kUrbanTint,
  kGrey,
  kParkGreen,
  kSand,
  kRockGrey,
  kSnowWhite,
  kRoadOrange,
  kFieldCream,
  kPaletteSize
};

// Contour interval and index spacing in metres for a scale, as maps of that scale
// would print them.
void ContourSpacing(double metresPerPixel, double* interval, int* indexEvery) {
  *indexEvery = 5;
  if (metresPerPixel <= 4) {
    *interval = 10;
  } else if (metresPerPixel <= 16) {
    *interval = 20;
  } else {
    *interval = 50;
  }
}

int GifWrite(GifFileType* gif, const GifByteType* data, int length) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
  out->insert(out->end(), data, data + length);
  return length;
}

// Light from the north-west, 45 degrees up.
constexpr double kLightX = -0.5, kLightY = 0.5, kLightZ = 0.7071;

// Pixels x0 .. x1 - 1 of row y of the photograph.
[[gnu::always_inline]] inline void ShadeRowBody(const GroundTile& ground, int y, int x0, int x1,
                                                double spacing, std::uint8_t* row) {
  for (int x = x0; x < x1; ++x) {
    const GroundPixel& p = ground.At(x, y);
    double shade = 1;
    if (p.cover != Cover::Water) {
      // Slopes from the neighbours; y grows southward on the picture.
      const double dzdx = (ground.At(x + 1, y).elevation - ground.At(x - 1, y).elevation) / spacing;
      const double dzdy = (ground.At(x, y - 1).elevation - ground.At(x, y + 1).elevation) / spacing;
      const double nx = -dzdx, ny = -dzdy, nz = 1;
      const double len = std::sqrt(nx * nx + ny * ny + nz * nz);
      const double lit = (nx * kLightX + ny * kLightY + nz * kLightZ) / len;
      shade = std::clamp(0.35 + 0.65 * lit / kLightZ, 0.45, 1.3);
    }
    row[x * 3 + 0] = static_cast<std::uint8_t>(std::min(255.0, p.blue * shade));
    row[x * 3 + 1] = static_cast<std::uint8_t>(std::min(255.0, p.green * shade));
    row[x * 3 + 2] = static_cast<std::uint8_t>(std::min(255.0, p.red * shade));
  }
}

void ShadeRowPlain(const GroundTile& ground, int y, int x0, int x1, double spacing,
                   std::uint8_t* row) {
  ShadeRowBody(ground, y, x0, x1, spacing, row);
}

using ShadeRow = void (*)(const GroundTile& ground, int y, double spacing, std::uint8_t* row);

void ShadeWholeRowPlain(const GroundTile& ground, int y, double spacing, std::uint8_t* row) {
  ShadeRowPlain(ground, y, 0, kTilePixels, spacing, row);
}

#if defined(__x86_64__)

// The plain loop built for AVX2, for machines without AVX-512: the same bits.
__attribute__((target("avx2"))) void ShadeWholeRowAvx2(const GroundTile& ground, int y,
                                                       double spacing, std::uint8_t* row) {
  ShadeRowBody(ground, y, 0, kTilePixels, spacing, row);
}

// The elevations of eight ground pixels in a row, from their 8-byte records.
__attribute__((target("avx512f,avx512dq"))) inline __m256 Elevations(const GroundPixel* p) {
  static_assert(sizeof(GroundPixel) == 8 && offsetof(GroundPixel, elevation) == 0);
  return _mm256_castsi256_ps(_mm512_cvtepi64_epi32(_mm512_loadu_si512(p)));
}

// One colour byte of eight pixels, lit: min(255, byte * shade), truncated.
__attribute__((target("avx512f,avx512dq"))) inline __m256i LitByte(__m512i pixels, int shift,
                                                                   __m512d shade) {
  const __m512i byte = _mm512_and_si512(_mm512_srli_epi64(pixels, shift), _mm512_set1_epi64(255));
  const __m512d lit = _mm512_mul_pd(_mm512_cvtepi64_pd(byte), shade);
  const __m512d capped = _mm512_mask_blend_pd(
      _mm512_cmp_pd_mask(lit, _mm512_set1_pd(255), _CMP_LT_OQ), _mm512_set1_pd(255), lit);
  return _mm512_cvttpd_epi32(capped);
}

// Eight pixels at a time, the same operations in the same order as the plain loop.
__attribute__((target("avx512f,avx512dq"))) void ShadeRowAvx512(const GroundTile& ground, int y,
                                                                double spacing, std::uint8_t* row) {
  static_assert(offsetof(GroundPixel, cover) == 4 && offsetof(GroundPixel, red) == 5 &&
                offsetof(GroundPixel, green) == 6 && offsetof(GroundPixel, blue) == 7);
  const GroundPixel* here = &ground.At(0, y);
  const GroundPixel* above = &ground.At(0, y - 1);
  const GroundPixel* below = &ground.At(0, y + 1);
  const __m512d spacings = _mm512_set1_pd(spacing), one = _mm512_set1_pd(1);
  // Dividing by a power of two is multiplying by its inverse, to the bit, and far quicker.
  int exponent = 0;
  const bool twoPower = std::frexp(spacing, &exponent) == 0.5;
  const __m512d inverseSpacing = _mm512_set1_pd(1 / spacing);
  auto perSpacing = [&](__m512d v) __attribute__((target("avx512f"))) {
    return twoPower ? _mm512_mul_pd(v, inverseSpacing) : _mm512_div_pd(v, spacings);
  };
  const __m512i water = _mm512_set1_epi64(static_cast<long long>(Cover::Water));
  int x = 0;
  for (; x + 8 <= kTilePixels; x += 8) {
    const __m512d dzdx = perSpacing(
        _mm512_cvtps_pd(_mm256_sub_ps(Elevations(here + x + 1), Elevations(here + x - 1))));
    const __m512d dzdy =
        perSpacing(_mm512_cvtps_pd(_mm256_sub_ps(Elevations(above + x), Elevations(below + x))));
    const __m512d nx = _mm512_xor_pd(dzdx, _mm512_set1_pd(-0.0));
    const __m512d ny = _mm512_xor_pd(dzdy, _mm512_set1_pd(-0.0));
    const __m512d len = _mm512_sqrt_pd(
        _mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(nx, nx), _mm512_mul_pd(ny, ny)), one));
    const __m512d towards = _mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(nx, _mm512_set1_pd(kLightX)),
                                                        _mm512_mul_pd(ny, _mm512_set1_pd(kLightY))),
                                          _mm512_set1_pd(kLightZ));
    const __m512d lit = _mm512_div_pd(towards, len);
    __m512d shade = _mm512_add_pd(
        _mm512_set1_pd(0.35),
        _mm512_div_pd(_mm512_mul_pd(_mm512_set1_pd(0.65), lit), _mm512_set1_pd(kLightZ)));
    shade = _mm512_mask_blend_pd(_mm512_cmp_pd_mask(shade, _mm512_set1_pd(0.45), _CMP_LT_OQ), shade,
                                 _mm512_set1_pd(0.45));
    shade = _mm512_mask_blend_pd(_mm512_cmp_pd_mask(_mm512_set1_pd(1.3), shade, _CMP_LT_OQ), shade,
                                 _mm512_set1_pd(1.3));
    const __m512i pixels = _mm512_loadu_si512(here + x);
    const __m512i cover = _mm512_and_si512(_mm512_srli_epi64(pixels, 32), _mm512_set1_epi64(255));
    shade = _mm512_mask_blend_pd(_mm512_cmpeq_epi64_mask(cover, water), shade, one);
    // Blue, green and red in the low three bytes of each pixel's lane, then packed to
    // three bytes a pixel: twelve from each half of the register.
    const __m256i bgr =
        _mm256_or_si256(LitByte(pixels, 56, shade),
                        _mm256_or_si256(_mm256_slli_epi32(LitByte(pixels, 48, shade), 8),
                                        _mm256_slli_epi32(LitByte(pixels, 40, shade), 16)));
    const __m256i packed = _mm256_shuffle_epi8(
        bgr, _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2, 4, 5,
                              6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1));
    const __m128i first = _mm256_castsi256_si128(packed);
    const __m128i second = _mm256_extracti128_si256(packed, 1);
    std::uint8_t* out = row + x * 3;
    // Sixteen bytes, of which the last four are written again by the next stores.
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), first);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 12), second);
    const std::int32_t last = _mm_extract_epi32(second, 2);
    std::memcpy(out + 20, &last, 4);
  }
  ShadeRowPlain(ground, y, x, kTilePixels, spacing, row);
}

#endif

ShadeRow ChooseShadeRow() {
#if defined(__x86_64__)
  if (HasAvx512Double()) return &ShadeRowAvx512;
  if (HasAvx2()) return &ShadeWholeRowAvx2;
#endif
  return &ShadeWholeRowPlain;
}

// Chosen once, outside the loops.
const ShadeRow kShadeRow = ChooseShadeRow();

}  // namespace

TBitmap24 RenderPhoto(const GroundTile& ground) {
  TBitmap24 bitmap(kTilePixels, kTilePixels);
  const double spacing = 2 * ground.metresPerPixel;
  for (int y = 0; y < kTilePixels; ++y) kShadeRow(ground, y, spacing, bitmap.Row(y));
  return bitmap;
}

const std::vector<std::uint8_t>& TopoPalette() {
  static const std::vector<std::uint8_t> palette = {
      250, 248, 240,  // paper
      200, 226, 182,  // woods
      168, 212, 240,  // water
      60,  130, 200,  // shore line
      196, 140, 92,   // contour
      150, 96,  52,   // index contour
      30,  30,  30,   // buildings
      210, 40,  40,   // highways
      240, 212, 212,  // built-up tint
      140, 140, 140,  // paved ground
      214, 236, 196,  // parks
      240, 228, 180,  // sand
      200, 190, 176,  // rock
      255, 255, 255,  // snow
      236, 150, 60,   // roads
      246, 242, 226,  // fields
  };
  return palette;
}

std::vector<std::uint8_t> RenderTopo(const GroundTile& ground) {
  double interval = 10;
  int indexEvery = 5;
  ContourSpacing(ground.metresPerPixel, &interval, &indexEvery);
  // The palette entry of each cover, in the order of Cover.
  static constexpr std::uint8_t kCoverIndex[] = {
      kWaterBlue, kSand,       kFieldCream, kPaper, kWoodGreen, kParkGreen, kUrbanTint, kUrbanTint,
      kPaper,     kRoadOrange, kRoadRed,    kGrey,  kUrbanTint, kRockGrey,  kSnowWhite};
  static_assert(sizeof kCoverIndex == static_cast<std::size_t>(Cover::Snow) + 1);
  // Each pixel's band of elevation worked out once, for itself and for its four
  // neighbours: the bands of three rows at a time, ground row y in levels[(y + 1) % 3].
  std::array<std::array<long, GroundTile::kSide>, 3> levels;
  auto bandRow = [&](int y) {
    for (int x = -1; x <= kTilePixels; ++x)
      levels[(y + 1) % 3][x + 1] =
          static_cast<long>(std::floor(ground.At(x, y).elevation / interval));
  };
  auto level = [&levels](int x, int y) { return levels[(y + 1) % 3][x + 1]; };
  bandRow(-1);
  bandRow(0);
  std::vector<std::uint8_t> out(kTilePixels * kTilePixels);
  for (int y = 0; y < kTilePixels; ++y) {
    bandRow(y + 1);
    for (int x = 0; x < kTilePixels; ++x) {
      const GroundPixel& p = ground.At(x, y);
      std::uint8_t index = kPaper;
      if (p.cover <= Cover::Snow) index = kCoverIndex[static_cast<int>(p.cover)];
      const bool water = p.cover == Cover::Water;
      const GroundPixel& right = ground.At(x + 1, y);
      const GroundPixel& below = ground.At(x, y + 1);
      if (water) {
        if ((right.cover != Cover::Water) || (below.cover != Cover::Water) ||
            ground.At(x - 1, y).cover != Cover::Water ||
            ground.At(x, y - 1).cover != Cover::Water) {
          index = kShoreBlue;
        }
      } else if (p.cover != Cover::Highway && p.cover != Cover::Road) {
        // A contour runs between two pixels whose elevations lie in different bands.
        const long here = level(x, y);
        const long r = level(x + 1, y), b = level(x, y + 1);
        const long lft = level(x - 1, y);
        const long up = level(x, y - 1);
        auto isIndex = [indexEvery](long a, long c) {
          const long top = std::max(a, c);
          return top % indexEvery == 0;
        };
        if (here != r || here != b) {
          index = (isIndex(here, here != r ? r : b)) ? kIndexContour : kContour;
        } else if ((here != lft && isIndex(here, lft)) || (here != up && isIndex(here, up))) {
          index = kIndexContour;
        }
      }
      out[y * kTilePixels + x] = index;
    }
  }
  return out;
}

std::vector<std::uint8_t> EncodeGif(const std::vector<std::uint8_t>& indices, int width, int height,
                                    const std::vector<std::uint8_t>& palette) {
  const int colours = static_cast<int>(palette.size() / 3);
  int mapSize = 2;
  while (mapSize < colours) mapSize *= 2;
  std::vector<std::uint8_t> out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, GifWrite, &error);
  if (gif == nullptr)
    throw EQuorvilError("GIF encoder failed: " + std::string(GifErrorString(error)));
  std::vector<GifColorType> colors(mapSize);
  for (int i = 0; i < colours; ++i)
    colors[i] = {palette[i * 3], palette[i * 3 + 1], palette[i * 3 + 2]};
  ColorMapObject* map = GifMakeMapObject(mapSize, colors.data());
  bool ok = map != nullptr && EGifPutScreenDesc(gif, width, height, 8, 0, map) == GIF_OK &&
            EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) == GIF_OK;
  std::vector<GifPixelType> line(width);
  for (int y = 0; ok && y < height; ++y) {
    std::memcpy(line.data(), indices.data() + static_cast<std::size_t>(y) * width, width);
    ok = EGifPutLine(gif, line.data(), width) == GIF_OK;
  }
  const int lastError = gif->Error;
  GifFreeMapObject(map);
  if (EGifCloseFile(gif, &error) != GIF_OK) ok = false;
  if (!ok)
    throw EQuorvilError("GIF encoder failed: " +
                        std::string(GifErrorString(lastError ? lastError : error)));
  return out;
}

std::vector<std::uint8_t> TileRenderer::RenderTileFile(const TileId& id) const {
  const GroundTile ground = terrain_.SampleTile(id.Scene, id.Scale, id.X, id.Y);
  if (id.Theme == Theme::Topo)
    return EncodeGif(RenderTopo(ground), kTilePixels, kTilePixels, TopoPalette());
  return EncodeJpeg(RenderPhoto(ground), kPhotoJpegQuality);
}

}  // namespace quorvil::mapservice
