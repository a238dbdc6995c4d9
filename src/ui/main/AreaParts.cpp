#include "ui/main/AreaParts.h"

#include <algorithm>

#include "imagery/ZoomLevels.h"
#include "platform/ProgramError.h"

namespace quorvil {

namespace {

struct TTileGrid {
  TileId NorthWest;
  int XOffset = 0;
  int YOffset = 0;
  std::int64_t Columns = 0;
  std::int64_t Rows = 0;
};

TTileGrid GridOf(const AreaBoundingBox& area) {
  const auto valid = [](const std::unique_ptr<AreaCoordinate>& corner) {
    return corner && corner->TileMeta && corner->TileMeta->Id && corner->Offset;
  };
  if (!valid(area.NorthWest) || !valid(area.SouthEast)) {
    throw EQuorvilError("The service's area lacks the tiles of its corners");
  }
  TTileGrid grid;
  grid.NorthWest = *area.NorthWest->TileMeta->Id;
  grid.XOffset = area.NorthWest->Offset->XOffset;
  grid.YOffset = area.NorthWest->Offset->YOffset;
  const TileId& southEast = *area.SouthEast->TileMeta->Id;
  grid.Columns = std::max<std::int64_t>(0, std::int64_t{southEast.X} - grid.NorthWest.X + 1);
  grid.Rows = std::max<std::int64_t>(0, std::int64_t{grid.NorthWest.Y} - southEast.Y + 1);
  return grid;
}

// The tile column (or row) that holds the picture's pixel, on a grid that starts
// `offset` pixels before the picture.
std::int64_t TileAt(std::int64_t pixel, int offset) {
  const std::int64_t p = pixel + offset;
  return p >= 0 ? p / kTileSize : (p - kTileSize + 1) / kTileSize;
}

std::unique_ptr<AreaCoordinate> Corner(const TileId& id, int xOffset, int yOffset) {
  auto corner = std::make_unique<AreaCoordinate>();
  corner->TileMeta = std::make_unique<TileMeta>();
  corner->TileMeta->Id = std::make_unique<TileId>(id);
  corner->TileMeta->TileExists = true;
  corner->Offset = std::make_unique<LonLatPtOffset>();
  corner->Offset->XOffset = xOffset;
  corner->Offset->YOffset = yOffset;
  return corner;
}

// Tiles columns c0..c1 - 1, rows r0..r1 - 1 of the grid, drawn where the grid draws them.
std::unique_ptr<AreaBoundingBox> Part(const TTileGrid& grid, std::int64_t c0, std::int64_t c1,
                                      std::int64_t r0, std::int64_t r1) {
  TileId northWest = grid.NorthWest;
  northWest.X = static_cast<int>(grid.NorthWest.X + c0);
  northWest.Y = static_cast<int>(grid.NorthWest.Y - r0);
  TileId southEast = grid.NorthWest;
  southEast.X = static_cast<int>(grid.NorthWest.X + c1 - 1);
  southEast.Y = static_cast<int>(grid.NorthWest.Y - (r1 - 1));
  auto part = std::make_unique<AreaBoundingBox>();
  part->NorthWest = Corner(northWest, static_cast<int>(grid.XOffset - c0 * kTileSize),
                           static_cast<int>(grid.YOffset - r0 * kTileSize));
  part->SouthEast = Corner(southEast, 0, 0);
  return part;
}

}  // namespace

TPixelArea AreaTileArea(const AreaBoundingBox& area, std::int64_t index) {
  const TTileGrid grid = GridOf(area);
  if (grid.Columns == 0) return {};
  const std::int64_t column = index % grid.Columns, row = index / grid.Columns;
  return {static_cast<int>(column * kTileSize - grid.XOffset),
          static_cast<int>(row * kTileSize - grid.YOffset), kTileSize, kTileSize};
}

std::vector<std::unique_ptr<AreaBoundingBox>> MissingAreaParts(const AreaBoundingBox& area,
                                                               int width, int height,
                                                               const TPixelArea& kept) {
  const TTileGrid grid = GridOf(area);
  std::vector<std::unique_ptr<AreaBoundingBox>> parts;
  if (grid.Columns == 0 || grid.Rows == 0 || width <= 0 || height <= 0) return parts;
  // The kept pixels on the picture.
  const std::int64_t left = std::max(kept.X, 0), top = std::max(kept.Y, 0);
  const std::int64_t right = std::min<std::int64_t>(std::int64_t{kept.X} + kept.Width, width);
  const std::int64_t bottom = std::min<std::int64_t>(std::int64_t{kept.Y} + kept.Height, height);
  if (right <= left || bottom <= top) {
    parts.push_back(Part(grid, 0, grid.Columns, 0, grid.Rows));
    return parts;
  }
  auto clampColumn = [&](std::int64_t c) { return std::clamp<std::int64_t>(c, 0, grid.Columns); };
  auto clampRow = [&](std::int64_t r) { return std::clamp<std::int64_t>(r, 0, grid.Rows); };
  // Rows with a pixel above or below the kept pixels, columns left or right of them.
  const std::int64_t topRows = top > 0 ? clampRow(TileAt(top - 1, grid.YOffset) + 1) : 0;
  const std::int64_t bottomFrom =
      bottom < height ? std::max(topRows, clampRow(TileAt(bottom, grid.YOffset))) : grid.Rows;
  const std::int64_t leftColumns = left > 0 ? clampColumn(TileAt(left - 1, grid.XOffset) + 1) : 0;
  const std::int64_t rightFrom =
      right < width ? std::max(leftColumns, clampColumn(TileAt(right, grid.XOffset)))
                    : grid.Columns;
  auto add = [&](std::int64_t c0, std::int64_t c1, std::int64_t r0, std::int64_t r1) {
    if (c1 > c0 && r1 > r0) parts.push_back(Part(grid, c0, c1, r0, r1));
  };
  add(0, grid.Columns, 0, topRows);
  add(0, leftColumns, topRows, bottomFrom);
  add(rightFrom, grid.Columns, topRows, bottomFrom);
  add(0, grid.Columns, bottomFrom, grid.Rows);
  return parts;
}

}  // namespace quorvil
