#include "imagery/AreaCheck.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <string>

#include "imagery/MosaicSupport.h"
#include "platform/ProgramError.h"

namespace quorvil {

namespace {

[[noreturn]] void Refuse(const std::string& reason) {
  throw EQuorvilError("The map service's area cannot be used: " + reason);
}

std::string Pair(std::int64_t a, std::int64_t b) {
  return std::to_string(a) + " x " + std::to_string(b);
}

const AreaCoordinate& Corner(const std::unique_ptr<AreaCoordinate>& corner, const char* name) {
  if (!corner || !corner->TileMeta || !corner->TileMeta->Id || !corner->Offset) {
    Refuse(std::string("its ") + name + " corner names no tile");
  }
  return *corner;
}

void CheckOffset(const AreaCoordinate& corner, const char* name) {
  const LonLatPtOffset& offset = *corner.Offset;
  const auto inside = [](int value) { return value >= 0 && value < kTileSize; };
  if (!inside(offset.XOffset) || !inside(offset.YOffset)) {
    Refuse(std::string("the pixel (") + std::to_string(offset.XOffset) + ", " +
           std::to_string(offset.YOffset) + ") of its " + name + " corner lies outside its tile");
  }
}

struct TSpan {
  std::int64_t columns;
  std::int64_t rows;
};

// The checks every area answer must pass: both corners present, inside their tiles, and
// the south-east one neither west nor north of the north-west one.
TSpan CheckCorners(const AreaBoundingBox& area) {
  const AreaCoordinate& northWest = Corner(area.NorthWest, "north-west");
  const AreaCoordinate& southEast = Corner(area.SouthEast, "south-east");
  CheckOffset(northWest, "north-west");
  CheckOffset(southEast, "south-east");
  const TileId& nw = *northWest.TileMeta->Id;
  const TileId& se = *southEast.TileMeta->Id;
  if (se.X < nw.X || se.Y > nw.Y) {
    Refuse("its south-east tile (" + std::to_string(se.X) + ", " + std::to_string(se.Y) +
           ") lies west or north of its north-west tile (" + std::to_string(nw.X) + ", " +
           std::to_string(nw.Y) + ")");
  }
  return {std::int64_t{se.X} - nw.X + 1, std::int64_t{nw.Y} - se.Y + 1};
}

// Tiles that `pixels` pixels from `offset` inside the first tile reach into.
std::int64_t TilesReached(std::int64_t offset, std::int64_t pixels) {
  return (offset + pixels - 1) / kTileSize + 1;
}

}  // namespace

void CheckViewArea(const AreaBoundingBox& area, int width, int height) {
  if (width < 1 || height < 1) {
    throw EQuorvilError("A picture of " + Pair(width, height) + " pixels cannot be made");
  }
  const TSpan span = CheckCorners(area);
  const LonLatPtOffset& offset = *area.NorthWest->Offset;
  const TSpan needed{TilesReached(offset.XOffset, width), TilesReached(offset.YOffset, height)};
  if (span.columns < needed.columns || span.rows < needed.rows ||
      span.columns > needed.columns + 2 || span.rows > needed.rows + 2) {
    Refuse("it spans " + Pair(span.columns, span.rows) + " tiles, but a picture of " +
           Pair(width, height) + " pixels needs " + Pair(needed.columns, needed.rows));
  }
}

TPictureLimit SelectionPictureLimit(const TSelectionRec& selection, TZoomLevel level) {
  const double west = selection.West, east = selection.East;
  const double north = selection.North, south = selection.South;
  const auto degrees = [](double value, double bound) {
    return std::isfinite(value) && std::fabs(value) <= bound;
  };
  if (!degrees(west, 180) || !degrees(east, 180) || !degrees(north, 90) || !degrees(south, 90)) {
    throw EQuorvilError("The selection is not a rectangle of the earth");
  }
  // A degree of longitude is longest at the latitude nearest the equator.
  const double nearestEquator =
      (north >= 0) != (south >= 0) ? 0.0 : std::min(std::fabs(north), std::fabs(south));
  const double metres = MetersPerPixel(level);
  const double across = std::fabs(east - west) * kMetersPerDegree *
                        std::cos(nearestEquator * std::numbers::pi / 180) / metres;
  const double along = std::fabs(north - south) * kMetersPerDegree / metres;
  // Far from a zone's central meridian the grid stretches by up to half and turns, so
  // that a side takes up to half of the other side's extent as well.
  const auto side = [](double own, double other) {
    return static_cast<std::int64_t>(std::ceil(1.5 * own + 0.5 * other)) + 2 * kTileSize;
  };
  return {side(across, along), side(along, across)};
}

void CheckSelectionArea(const AreaBoundingBox& area, const TSelectionRec& selection,
                        TZoomLevel level) {
  const TPictureLimit limit = SelectionPictureLimit(selection, level);
  CheckCorners(area);
  const std::int64_t width = AreaPixelWidth(area);
  const std::int64_t height = AreaPixelHeight(area);
  if (width < 1 || height < 1) Refuse("its picture of " + Pair(width, height) + " pixels is empty");
  if (width > limit.Width || height > limit.Height) {
    Refuse("its picture of " + Pair(width, height) + " pixels is larger than the rectangle at " +
           std::string(ZoomLevelName(level)) + " allows (at most " +
           Pair(limit.Width, limit.Height) + ")");
  }
}

}  // namespace quorvil
