#pragma once

// The service's grid: a scene is a UTM zone; at scale s a pixel is 2^(ordinal - 10)
// metres, tile X = floor(easting / 200 px), tile Y = floor(northing / 200 px), X grows
// east and Y north; offsets count pixels from the tile's west and north edges. Areas
// keep the zone of their centre throughout.

#include <cstdint>
#include <memory>

#include "mapservice/Coverage.h"
#include "mapservice/UtmProjection.h"
#include "service/TerraServiceSoapSupport.h"

namespace quorvil::mapservice {

inline constexpr int kTilePixels = 200;
// Largest side of an area, in pixels.
inline constexpr std::int64_t kMaxAreaPixels = 1'000'000;
// Furthest a point of an area may lie from its zone's central meridian, in degrees.
inline constexpr double kMaxZoneSpread = 30.0;

double MetresPerPixel(Scale scale);
// The scales at which a theme has imagery (none for Relief).
bool ThemeHasScale(Theme theme, Scale scale);
bool ThemeServed(Theme theme);
Scale LowestScale(Theme theme);
Scale HighestScale(Theme theme);
// The largest scale the grid answers for at all; coarser ones are refused.
inline constexpr Scale kCoarsestGridScale = Scale::Scale64m;

class TileGrid {
 public:
  explicit TileGrid(CoverageKind coverage) : coverage_(coverage) {}

  CoverageKind Coverage() const { return coverage_; }

  // Each throws EQuorvilError (a client fault) on arguments that make no sense.
  std::unique_ptr<TileMeta> MetaFromId(const TileId& id) const;
  std::unique_ptr<TileMeta> MetaFromPoint(const LonLatPt& point, Theme theme, Scale scale) const;
  std::unique_ptr<AreaBoundingBox> AreaFromPt(const LonLatPt& center, Theme theme, Scale scale,
                                              int width, int height) const;
  std::unique_ptr<AreaBoundingBox> AreaFromRect(const LonLatPt& upperLeft,
                                                const LonLatPt& lowerRight, Theme theme,
                                                Scale scale) const;
  std::unique_ptr<AreaBoundingBox> AreaFromTileId(const TileId& id, int width, int height) const;

  // Whether the service delivers an image for the tile (theme, scale and coverage).
  bool TileExists(const TileId& id) const;
  // Throws EQuorvilError when the id does not name a tile of the grid.
  static void CheckTileId(const TileId& id);

  // The ground point at the north-west corner of global pixel (column, row) of a zone.
  static GeoPoint PixelCorner(int zone, Scale scale, std::int64_t column, std::int64_t row);

 private:
  std::unique_ptr<AreaBoundingBox> AreaFromPixels(int zone, Theme theme, Scale scale,
                                                  std::int64_t west, std::int64_t north,
                                                  std::int64_t width, std::int64_t height,
                                                  const LonLatPt* centerPoint) const;
  std::unique_ptr<AreaCoordinate> Corner(const TileId& base, std::int64_t column,
                                         std::int64_t row) const;

  CoverageKind coverage_;
};

// Throws EQuorvilError unless the point is a finite longitude/latitude pair.
void CheckPoint(const LonLatPt& point, const char* name);

}  // namespace quorvil::mapservice
