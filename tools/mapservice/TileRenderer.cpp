#include "mapservice/TileRenderer.h"

#include <gif_lib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "imagery/JpegCodec.h"
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

}  // namespace

TBitmap24 RenderPhoto(const GroundTile& ground) {
  TBitmap24 bitmap(kTilePixels, kTilePixels);
  const double spacing = 2 * ground.metresPerPixel;
  // Light from the north-west, 45 degrees up.
  const double lx = -0.5, ly = 0.5, lz = 0.7071;
  for (int y = 0; y < kTilePixels; ++y) {
    std::uint8_t* row = bitmap.Row(y);
    for (int x = 0; x < kTilePixels; ++x) {
      const GroundPixel& p = ground.At(x, y);
      double shade = 1;
      if (p.cover != Cover::Water) {
        // Slopes from the neighbours; y grows southward on the picture.
        const double dzdx =
            (ground.At(x + 1, y).elevation - ground.At(x - 1, y).elevation) / spacing;
        const double dzdy =
            (ground.At(x, y - 1).elevation - ground.At(x, y + 1).elevation) / spacing;
        const double nx = -dzdx, ny = -dzdy, nz = 1;
        const double len = std::sqrt(nx * nx + ny * ny + nz * nz);
        const double lit = (nx * lx + ny * ly + nz * lz) / len;
        shade = std::clamp(0.35 + 0.65 * lit / lz, 0.45, 1.3);
      }
      row[x * 3 + 0] = static_cast<std::uint8_t>(std::min(255.0, p.blue * shade));
      row[x * 3 + 1] = static_cast<std::uint8_t>(std::min(255.0, p.green * shade));
      row[x * 3 + 2] = static_cast<std::uint8_t>(std::min(255.0, p.red * shade));
    }
  }
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
  auto level = [interval](float elevation) {
    return static_cast<long>(std::floor(elevation / interval));
  };
  std::vector<std::uint8_t> out(kTilePixels * kTilePixels);
  for (int y = 0; y < kTilePixels; ++y) {
    for (int x = 0; x < kTilePixels; ++x) {
      const GroundPixel& p = ground.At(x, y);
      std::uint8_t index = kPaper;
      switch (p.cover) {
        case Cover::Water:
          index = kWaterBlue;
          break;
        case Cover::Wood:
          index = kWoodGreen;
          break;
        case Cover::Park:
          index = kParkGreen;
          break;
        case Cover::Beach:
          index = kSand;
          break;
        case Cover::Building:
          index = kUrbanTint;
          break;
        case Cover::Yard:
          index = kUrbanTint;
          break;
        case Cover::Street:
          index = kPaper;
          break;
        case Cover::Road:
          index = kRoadOrange;
          break;
        case Cover::Highway:
          index = kRoadRed;
          break;
        case Cover::Runway:
          index = kGrey;
          break;
        case Cover::Paved:
          index = kUrbanTint;
          break;
        case Cover::Rock:
          index = kRockGrey;
          break;
        case Cover::Snow:
          index = kSnowWhite;
          break;
        case Cover::Field:
          index = kFieldCream;
          break;
        case Cover::Meadow:
          index = kPaper;
          break;
      }
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
        const long here = level(p.elevation);
        const long r = level(right.elevation), b = level(below.elevation);
        const long lft = level(ground.At(x - 1, y).elevation);
        const long up = level(ground.At(x, y - 1).elevation);
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
