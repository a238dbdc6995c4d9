#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "imagery/JpegCodec.h"
#include "mapservice/Terrain.h"
#include "mapservice/TileGrid.h"
#include "mapservice/TileRenderer.h"

namespace quorvil::mapservice {
namespace {

const Terrain& T() {
  static const Terrain terrain(Gazetteer::Instance());
  return terrain;
}

struct TileAt {
  const char* where;
  double lon, lat;
  Scale scale;
};

const TileAt kPlaces[] = {
    {"Central Park", -73.965, 40.782, Scale::Scale4m},
    {"Newark airport", -74.179, 40.692, Scale::Scale2m},
    {"Kansas fields", -98.5, 38.5, Scale::Scale16m},
    {"Rocky Mountains", -105.68, 40.34, Scale::Scale64m},
};

TileId TileOf(const TileAt& p, Theme theme = Theme::Photo) {
  return *TileGrid(CoverageKind::World).MetaFromPoint({p.lon, p.lat}, theme, p.scale)->Id;
}

bool SamePixel(const GroundPixel& a, const GroundPixel& b) {
  return a.elevation == b.elevation && a.cover == b.cover && a.red == b.red && a.green == b.green &&
         a.blue == b.blue;
}

TEST(TerrainTest, NeighbouringTilesShareTheirEdgePixels) {
  // Each tile carries a border of its neighbours' pixels: they must be the very same.
  for (const TileAt& p : kPlaces) {
    SCOPED_TRACE(p.where);
    const TileId id = TileOf(p);
    const GroundTile here = T().SampleTile(id.Scene, id.Scale, id.X, id.Y);
    const GroundTile east = T().SampleTile(id.Scene, id.Scale, id.X + 1, id.Y);
    const GroundTile south = T().SampleTile(id.Scene, id.Scale, id.X, id.Y - 1);
    int mismatches = 0;
    for (int i = 0; i < kTilePixels; ++i) {
      mismatches += !SamePixel(here.At(kTilePixels, i), east.At(0, i));
      mismatches += !SamePixel(here.At(199, i), east.At(-1, i));
      mismatches += !SamePixel(here.At(i, kTilePixels), south.At(i, 0));
    }
    EXPECT_EQ(mismatches, 0);
  }
}

double MeanGreen(const GroundTile& t, int x0, int y0, int size) {
  double sum = 0;
  for (int y = y0; y < y0 + size; ++y) {
    for (int x = x0; x < x0 + size; ++x) sum += t.At(x, y).green;
  }
  return sum / (size * size);
}

TEST(TerrainTest, APlaceLooksAlikeAtTwoScales) {
  // Tile (X, Y) at 2m metres per pixel covers tiles (2X..2X+1, 2Y..2Y+1) at m.
  for (const TileAt& p : kPlaces) {
    SCOPED_TRACE(p.where);
    const TileId coarse = TileOf(p);
    const auto fine = static_cast<Scale>(static_cast<int>(coarse.Scale) - 1);
    const GroundTile big = T().SampleTile(coarse.Scene, coarse.Scale, coarse.X, coarse.Y);
    double worst = 0;
    for (int q = 0; q < 4; ++q) {
      const int dx = q % 2, dy = q / 2;
      const GroundTile small =
          T().SampleTile(coarse.Scene, fine, coarse.X * 2 + dx, coarse.Y * 2 + 1 - dy);
      // Compare quarters of 50 x 50 coarse pixels with the matching 100 x 100 fine ones.
      for (int sub = 0; sub < 4; ++sub) {
        const int sx = sub % 2, sy = sub / 2;
        const double a = MeanGreen(big, dx * 100 + sx * 50, dy * 100 + sy * 50, 50);
        const double b = MeanGreen(small, sx * 100, sy * 100, 100);
        worst = std::max(worst, std::fabs(a - b));
      }
    }
    EXPECT_LT(worst, 12.0);
  }
}

TEST(TerrainTest, TheLandNearPlacesIsWhatTheyAre) {
  const struct {
    double lon, lat;
    Scale scale;
    Cover expected;
  } cases[] = {
      {-74.045, 40.672, Scale::Scale4m, Cover::Water},    // Upper New York Bay
      {-74.0445, 40.6892, Scale::Scale1m, Cover::Paved},  // Liberty Island's plaza
      {-73.9626, 40.7855, Scale::Scale2m, Cover::Water},  // the reservoir in Central Park
  };
  for (const auto& c : cases) {
    const TileAt at{"", c.lon, c.lat, c.scale};
    const TileId id = TileOf(at);
    const GroundTile tile = T().SampleTile(id.Scene, id.Scale, id.X, id.Y);
    const UtmCoordinate utm = UtmForward({c.lon, c.lat}, id.Scene);
    const double m = MetresPerPixel(c.scale);
    const int x = static_cast<int>(utm.Easting / m) - id.X * 200;
    const int y = (id.Y + 1) * 200 - 1 - static_cast<int>(utm.Northing / m);
    EXPECT_EQ(static_cast<int>(tile.At(x, y).cover), static_cast<int>(c.expected))
        << c.lon << "," << c.lat;
  }
}

std::uint64_t Fnv(std::uint64_t h, const void* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i)
    h = (h ^ static_cast<const std::uint8_t*>(data)[i]) * 0x100000001B3ull;
  return h;
}

TEST(TerrainTest, TilesAreTheSameAsEver) {
  // Hashes of the ground (heights, cover, colours) and of both pictures, taken from an
  // earlier build: a faster terrain must not change one pixel. Each tile is followed by
  // its eastern neighbour, as a viewer asks for them.
  const struct {
    TileAt at;
    std::uint64_t hash;
  } cases[] = {
      {kPlaces[0], 0xa02c61574db49254},
      {kPlaces[1], 0x30d6ac18861393dc},
      {kPlaces[2], 0xbf47aba4b1b473f5},
      {kPlaces[3], 0xe3fe3df8403563ee},
      {{"Pennsylvania", -75.0, 40.6, Scale::Scale1m}, 0xcbf95cc5447c8b45},
      {{"Chicago", -87.63, 41.88, Scale::Scale8m}, 0x652d00c7cdaa1a42},
      {{"Florida coast", -80.13, 25.79, Scale::Scale32m}, 0x81862f5b68079814},
      {{"Times Square", -73.9855, 40.758, Scale::Scale2m}, 0x0473ff63ebe2a9b8},
      {{"Wichita", -97.3375, 37.6922, Scale::Scale16m}, 0x10b3650a1601133c},
  };
  for (const auto& c : cases) {
    TileId id = TileOf(c.at);
    std::uint64_t h = 0xCBF29CE484222325ull;
    for (int n = 0; n < 2; ++n, ++id.X) {
      const GroundTile ground = T().SampleTile(id.Scene, id.Scale, id.X, id.Y);
      for (const GroundPixel& p : ground.pixels) {
        h = Fnv(h, &p.elevation, sizeof p.elevation);
        h = Fnv(h, &p.cover, 1);
        h = Fnv(h, &p.red, 3);
      }
      const TBitmap24 photo = RenderPhoto(ground);
      for (int y = 0; y < kTilePixels; ++y) h = Fnv(h, photo.Row(y), kTilePixels * 3);
      const std::vector<std::uint8_t> topo = RenderTopo(ground);
      h = Fnv(h, topo.data(), topo.size());
    }
    EXPECT_EQ(h, c.hash) << c.at.where;
  }
}

TEST(TerrainTest, TileFilesAreSmallValidPictures) {
  const TileRenderer renderer(T());
  int used[256] = {};
  for (const TileAt& p : kPlaces) {
    SCOPED_TRACE(p.where);
    const std::vector<std::uint8_t> photo = renderer.RenderTileFile(TileOf(p, Theme::Photo));
    const TBitmap24 picture = DecodeJpeg(photo.data(), photo.size());
    EXPECT_EQ(picture.Width(), 200);
    EXPECT_EQ(picture.Height(), 200);
    EXPECT_GT(photo.size(), 2000u);
    EXPECT_LT(photo.size(), 16000u);
    EXPECT_EQ(renderer.RenderTileFile(TileOf(p, Theme::Photo)), photo);

    std::vector<std::uint8_t> topo = renderer.RenderTileFile(TileOf(p, Theme::Topo));
    struct Reader {
      const std::vector<std::uint8_t>* bytes;
      std::size_t at = 0;
    } reader{&topo};
    int error = 0;
    GifFileType* gif = DGifOpen(
        &reader,
        [](GifFileType* g, GifByteType* out, int n) {
          auto* r = static_cast<Reader*>(g->UserData);
          const int k = static_cast<int>(std::min<std::size_t>(n, r->bytes->size() - r->at));
          std::memcpy(out, r->bytes->data() + r->at, k);
          r->at += k;
          return k;
        },
        &error);
    ASSERT_NE(gif, nullptr);
    ASSERT_EQ(DGifSlurp(gif), GIF_OK);
    EXPECT_EQ(gif->SWidth, 200);
    EXPECT_EQ(gif->SHeight, 200);
    ASSERT_EQ(gif->ImageCount, 1);
    for (int i = 0; i < 200 * 200; ++i) used[gif->SavedImages[0].RasterBits[i]] = 1;
    DGifCloseFile(gif, &error);
  }
  // Water, woods, contours, roads, fields ... the maps use much of their palette.
  int colours = 0;
  for (int u : used) colours += u;
  EXPECT_GE(colours, 8);
}

}  // namespace
}  // namespace quorvil::mapservice
