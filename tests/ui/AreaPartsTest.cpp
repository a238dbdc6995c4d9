#include <gtest/gtest.h>

#include <random>
#include <set>
#include <utility>

#include "imagery/MosaicSupport.h"
#include "imagery/ZoomLevels.h"
#include "support/FakeTerraService.h"
#include "ui/main/AreaParts.h"

namespace quorvil {
namespace {

using Tile = std::pair<int, int>;  // X, Y

// Every tile of the parts, with the pixel it is drawn at, as DrawAreaToBitmap places it.
std::set<std::pair<Tile, std::pair<int, int>>> Placed(
    const std::vector<std::unique_ptr<AreaBoundingBox>>& parts, std::size_t& count) {
  std::set<std::pair<Tile, std::pair<int, int>>> tiles;
  count = 0;
  for (const auto& part : parts) {
    const TileId& nw = *part->NorthWest->TileMeta->Id;
    const std::int64_t n = AreaTileCount(*part);
    const std::int64_t columns = part->SouthEast->TileMeta->Id->X - nw.X + 1;
    for (std::int64_t i = 0; i < n; ++i) {
      const TPixelArea at = AreaTileArea(*part, i);
      tiles.insert({{nw.X + static_cast<int>(i % columns), nw.Y - static_cast<int>(i / columns)},
                    {at.X, at.Y}});
      ++count;
    }
  }
  return tiles;
}

TEST(AreaParts, HoldEveryTileTouchingWhatIsNotKeptOnceAndNoOther) {
  std::mt19937 random(8);
  auto pick = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  for (int n = 0; n < 400; ++n) {
    const int width = pick(1, 700), height = pick(1, 500);
    const int xOffset = pick(0, 199), yOffset = pick(0, 199);
    const int seX = 10 + (xOffset + width - 1) / kTileSize;
    const int seY = 50 - (yOffset + height - 1) / kTileSize;
    const auto area = testing::MakeArea(10, 50, xOffset, yOffset, seX, seY);
    const TPixelArea kept = pick(0, 5) == 0
                                ? TPixelArea{}
                                : TPixelArea{pick(-300, width), pick(-300, height),
                                             pick(0, width + 300), pick(0, height + 300)};
    std::set<std::pair<Tile, std::pair<int, int>>> expected;
    for (int y = 50; y >= seY; --y) {
      for (int x = 10; x <= seX; ++x) {
        const int left = (x - 10) * kTileSize - xOffset, top = (50 - y) * kTileSize - yOffset;
        // Does the tile hold a pixel of the picture outside the kept pixels?
        bool needed = false;
        for (int py = std::max(top, 0); py < std::min(top + kTileSize, height) && !needed; ++py) {
          for (int px = std::max(left, 0); px < std::min(left + kTileSize, width); ++px) {
            const bool inKept = px >= kept.X && px < kept.X + kept.Width && py >= kept.Y &&
                                py < kept.Y + kept.Height;
            if (!inKept) {
              needed = true;
              break;
            }
          }
        }
        if (needed || kept.Width == 0 || kept.Height == 0) expected.insert({{x, y}, {left, top}});
      }
    }
    std::size_t count = 0;
    const auto placed = Placed(MissingAreaParts(*area, width, height, kept), count);
    ASSERT_EQ(placed, expected) << "case " << n;
    ASSERT_EQ(count, placed.size()) << "a tile drawn twice, case " << n;
  }
}

TEST(AreaParts, APartDrawsItsTilesWhereTheWholeAreaDoes) {
  const auto area = testing::MakeArea(3, 9, 150, 40, 6, 7);
  const auto parts = MissingAreaParts(*area, 500, 400, TPixelArea{0, 100, 500, 300});
  ASSERT_EQ(parts.size(), 1u);
  EXPECT_EQ(AreaTileCount(*parts[0]), 4);
  const TPixelArea first = AreaTileArea(*parts[0], 0);
  EXPECT_EQ(first.X, -150);
  EXPECT_EQ(first.Y, -40);
  EXPECT_EQ(AreaTileArea(*area, 5).X, 50);  // second row, second column
  EXPECT_EQ(AreaTileArea(*area, 5).Y, 160);
}

}  // namespace
}  // namespace quorvil
