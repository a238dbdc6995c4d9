#pragma once

// What the output tests share: a tile store over the in-memory service double, with a
// colour of its own for every tile, and a look at which tiles a picture holds.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>

#include "imagery/Bitmap24.h"
#include "service/TerraServiceSupport.h"
#include "support/FakeTerraService.h"
#include "support/GifWriter.h"
#include "support/TempConfigHome.h"
#include "support/TempFolder.h"

namespace quorvil::testing {

using TColour3 = std::array<int, 3>;  // blue, green, red as the picture holds them

inline constexpr TColour3 kWhite{255, 255, 255};

inline TColour3 TileColour(int x, int y) { return {(x * 37) % 200 + 5, (y * 53) % 200 + 5, 77}; }

inline TColour3 PixelOf(const TBitmap24& picture, int x, int y) {
  const std::uint8_t* p = picture.Pixel(x, y);
  return {p[0], p[1], p[2]};
}

// A selection whose area in the service double has its north-west tile at (west, north)
// and its south-east tile at (east, south), with the double's fixed corner offsets.
inline TSelectionRec SelectionOfTiles(int west, int north, int east, int south) {
  return {true, double(west), double(north), double(east), double(south)};
}

// With settings of its own, since output remembers choices there.
class TOutputTest : public TempConfigHomeTest {
 protected:
  void SetUp() override {
    TempConfigHomeTest::SetUp();
    InitializeTileService(service, "", folder / "Cache", 100000, 10);
  }
  void TearDown() override {
    FinalizeTileService();
    TempConfigHomeTest::TearDown();
  }

  // Every tile of the area gets its colour, except the `missing` one (by order of drawing,
  // -1 for none), whose answer stays empty.
  void ServeArea(const AreaBoundingBox& area, int missing = -1) {
    const TileId& nw = *area.NorthWest->TileMeta->Id;
    const TileId& se = *area.SouthEast->TileMeta->Id;
    int index = 0;
    for (int y = nw.Y; y >= se.Y; --y) {
      for (int x = nw.X; x <= se.X; ++x, ++index) {
        if (index == missing) continue;
        TileId id = nw;
        id.X = x;
        id.Y = y;
        const TColour3 c = TileColour(x, y);
        service->SetTile(id,
                         SolidGifTile(std::uint8_t(c[2]), std::uint8_t(c[1]), std::uint8_t(c[0])));
      }
    }
  }

  // The picture shows the first `drawn` tiles of the area in their colours (checked at
  // one pixel inside each), white where the others would lie.
  static void ExpectTilesDrawn(const TBitmap24& picture, const AreaBoundingBox& area, int drawn) {
    const TileId& nw = *area.NorthWest->TileMeta->Id;
    const TileId& se = *area.SouthEast->TileMeta->Id;
    const LonLatPtOffset& offset = *area.NorthWest->Offset;
    int index = 0;
    for (int y = nw.Y; y >= se.Y; --y) {
      for (int x = nw.X; x <= se.X; ++x, ++index) {
        const int px = std::max(0, (x - nw.X) * 200 - offset.XOffset) + 1;
        const int py = std::max(0, (nw.Y - y) * 200 - offset.YOffset) + 1;
        if (px >= picture.Width() || py >= picture.Height()) continue;
        EXPECT_EQ(PixelOf(picture, px, py), index < drawn ? TileColour(x, y) : kWhite)
            << "tile " << index << " at " << px << ", " << py;
      }
    }
  }

  // How many tiles, from the first in drawing order, the picture shows in their colours.
  static int DrawnTiles(const TBitmap24& picture, const AreaBoundingBox& area) {
    const TileId& nw = *area.NorthWest->TileMeta->Id;
    const TileId& se = *area.SouthEast->TileMeta->Id;
    const LonLatPtOffset& offset = *area.NorthWest->Offset;
    int index = 0;
    for (int y = nw.Y; y >= se.Y; --y) {
      for (int x = nw.X; x <= se.X; ++x, ++index) {
        const int px = std::max(0, (x - nw.X) * 200 - offset.XOffset) + 1;
        const int py = std::max(0, (nw.Y - y) * 200 - offset.YOffset) + 1;
        if (PixelOf(picture, px, py) != TileColour(x, y)) return index;
      }
    }
    return index;
  }

  TTempFolder folder;
  std::shared_ptr<TFakeTerraService> service = std::make_shared<TFakeTerraService>();
};

}  // namespace quorvil::testing
