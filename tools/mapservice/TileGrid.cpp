#include "mapservice/TileGrid.h"

#include <cmath>
#include <string>

#include "platform/ProgramError.h"

namespace quorvil::mapservice {

namespace {

constexpr const char* kCaptureDate = "2004-06-01T00:00:00";

int Ordinal(Scale scale) { return static_cast<int>(scale); }

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

std::unique_ptr<LonLatPt> Pt(GeoPoint p) {
  auto pt = std::make_unique<LonLatPt>();
  pt->Lon = p.Lon;
  pt->Lat = p.Lat;
  return pt;
}

void CheckScale(Scale scale) {
  if (Ordinal(scale) < 0 || Ordinal(scale) > Ordinal(kCoarsestGridScale)) {
    throw EQuorvilError("Scale " + std::string(EnumName(scale)) +
                        " is not served; the grid runs from Scale1mm to Scale64m");
  }
}

void CheckSize(std::int64_t width, std::int64_t height) {
  if (width < 1 || height < 1 || width > kMaxAreaPixels || height > kMaxAreaPixels) {
    throw EQuorvilError("An area must be 1 to " + std::to_string(kMaxAreaPixels) +
                        " pixels wide and high, not " + std::to_string(width) + " x " +
                        std::to_string(height));
  }
}

void CheckSpread(int zone, GeoPoint p) {
  if (!std::isfinite(p.Lon) || !std::isfinite(p.Lat) ||
      std::fabs(std::remainder(p.Lon - UtmCentralMeridian(zone), 360.0)) > kMaxZoneSpread ||
      std::fabs(p.Lat) > 89.9) {
    throw EQuorvilError("The area reaches too far from UTM zone " + std::to_string(zone) +
                        " to be drawn in it");
  }
}

}  // namespace

double MetresPerPixel(Scale scale) { return std::ldexp(1.0, Ordinal(scale) - 10); }

bool ThemeServed(Theme theme) { return theme == Theme::Photo || theme == Theme::Topo; }

Scale LowestScale(Theme theme) { return theme == Theme::Topo ? Scale::Scale2m : Scale::Scale1m; }

Scale HighestScale(Theme) { return Scale::Scale64m; }

bool ThemeHasScale(Theme theme, Scale scale) {
  return ThemeServed(theme) && Ordinal(scale) >= Ordinal(LowestScale(theme)) &&
         Ordinal(scale) <= Ordinal(HighestScale(theme));
}

void CheckPoint(const LonLatPt& point, const char* name) {
  if (!std::isfinite(point.Lon) || !std::isfinite(point.Lat)) {
    throw EQuorvilError(std::string("Parameter ") + name + " must have finite Lon and Lat");
  }
  if (point.Lat < -90.0 || point.Lat > 90.0 || point.Lon < -180.0 || point.Lon > 180.0) {
    throw EQuorvilError(std::string("Parameter ") + name +
                        " lies outside longitude -180..180, latitude -90..90");
  }
}

void TileGrid::CheckTileId(const TileId& id) {
  if (id.Scene < kFirstUtmZone || id.Scene > kLastUtmZone) {
    throw EQuorvilError("Scene " + std::to_string(id.Scene) + " is not a UTM zone (1 to 60)");
  }
  CheckScale(id.Scale);
  const double tileMetres = MetresPerPixel(id.Scale) * kTilePixels;
  const double east = (id.X + 0.5) * tileMetres;
  const double north = (id.Y + 0.5) * tileMetres;
  // A tile must lie within the zone's usable strip and between the poles.
  if (std::fabs(east - 500000.0) > 3.4e6 || std::fabs(north) > 1.0e7) {
    throw EQuorvilError("Tile " + std::to_string(id.X) + ", " + std::to_string(id.Y) +
                        " lies outside scene " + std::to_string(id.Scene));
  }
  CheckSpread(id.Scene, UtmInverse({id.Scene, east, north}));
}

GeoPoint TileGrid::PixelCorner(int zone, Scale scale, std::int64_t column, std::int64_t row) {
  const double m = MetresPerPixel(scale);
  return UtmInverse({zone, static_cast<double>(column) * m, static_cast<double>(row + 1) * m});
}

bool TileGrid::TileExists(const TileId& id) const {
  if (!ThemeHasScale(id.Theme, id.Scale)) return false;
  const double tileMetres = MetresPerPixel(id.Scale) * kTilePixels;
  const GeoPoint center =
      UtmInverse({id.Scene, (id.X + 0.5) * tileMetres, (id.Y + 0.5) * tileMetres});
  return CoverageHolds(coverage_, center.Lon, center.Lat);
}

std::unique_ptr<TileMeta> TileGrid::MetaFromId(const TileId& id) const {
  CheckTileId(id);
  const double t = MetresPerPixel(id.Scale) * kTilePixels;
  const double w = id.X * t, e = (id.X + 1.0) * t, s = id.Y * t, n = (id.Y + 1.0) * t;
  auto meta = std::make_unique<TileMeta>();
  meta->Id = std::make_unique<TileId>(id);
  meta->TileExists = TileExists(id);
  meta->NorthWest = Pt(UtmInverse({id.Scene, w, n}));
  meta->NorthEast = Pt(UtmInverse({id.Scene, e, n}));
  meta->SouthWest = Pt(UtmInverse({id.Scene, w, s}));
  meta->SouthEast = Pt(UtmInverse({id.Scene, e, s}));
  meta->Center = Pt(UtmInverse({id.Scene, (w + e) / 2, (s + n) / 2}));
  meta->Capture = std::make_unique<TXSDateTime>(TXSDateTime{kCaptureDate});
  return meta;
}

std::unique_ptr<TileMeta> TileGrid::MetaFromPoint(const LonLatPt& point, Theme theme,
                                                  Scale scale) const {
  CheckPoint(point, "point");
  CheckScale(scale);
  const UtmCoordinate utm = UtmForward({point.Lon, point.Lat});
  const double t = MetresPerPixel(scale) * kTilePixels;
  TileId id;
  id.Theme = theme;
  id.Scale = scale;
  id.Scene = utm.Zone;
  id.X = static_cast<int>(std::floor(utm.Easting / t));
  id.Y = static_cast<int>(std::floor(utm.Northing / t));
  return MetaFromId(id);
}

std::unique_ptr<AreaCoordinate> TileGrid::Corner(const TileId& base, std::int64_t column,
                                                 std::int64_t row) const {
  TileId id = base;
  id.X = static_cast<int>(FloorDiv(column, kTilePixels));
  id.Y = static_cast<int>(FloorDiv(row, kTilePixels));
  auto corner = std::make_unique<AreaCoordinate>();
  corner->TileMeta = MetaFromId(id);
  corner->Offset = std::make_unique<LonLatPtOffset>();
  corner->Offset->XOffset = static_cast<int>(column - std::int64_t{id.X} * kTilePixels);
  corner->Offset->YOffset =
      static_cast<int>(std::int64_t{id.Y} * kTilePixels + kTilePixels - 1 - row);
  corner->Offset->Point = Pt(PixelCorner(base.Scene, base.Scale, column, row));
  return corner;
}

// west/north: the global column and row of the area's first (upper-left) pixel. The
// east and south corners name the pixel just past the last one, so that the picture
// size follows from the corner offsets.
std::unique_ptr<AreaBoundingBox> TileGrid::AreaFromPixels(int zone, Theme theme, Scale scale,
                                                          std::int64_t west, std::int64_t north,
                                                          std::int64_t width, std::int64_t height,
                                                          const LonLatPt* centerPoint) const {
  CheckSize(width, height);
  const std::int64_t east = west + width;
  const std::int64_t south = north - height;
  for (const auto& [c, r] : {std::pair{west, north}, std::pair{east, south}, std::pair{east, north},
                             std::pair{west, south}}) {
    CheckSpread(zone, PixelCorner(zone, scale, c, r));
  }
  TileId base;
  base.Theme = theme;
  base.Scale = scale;
  base.Scene = zone;
  auto area = std::make_unique<AreaBoundingBox>();
  area->NorthWest = Corner(base, west, north);
  area->NorthEast = Corner(base, east, north);
  area->SouthWest = Corner(base, west, south);
  area->SouthEast = Corner(base, east, south);
  area->Center = Corner(base, west + width / 2, north - height / 2);
  if (centerPoint != nullptr) {
    area->Center->Offset->Point->Lon = centerPoint->Lon;
    area->Center->Offset->Point->Lat = centerPoint->Lat;
  }
  return area;
}

std::unique_ptr<AreaBoundingBox> TileGrid::AreaFromPt(const LonLatPt& center, Theme theme,
                                                      Scale scale, int width, int height) const {
  CheckPoint(center, "center");
  CheckScale(scale);
  CheckSize(width, height);
  const UtmCoordinate utm = UtmForward({center.Lon, center.Lat});
  const double m = MetresPerPixel(scale);
  const auto column = static_cast<std::int64_t>(std::floor(utm.Easting / m));
  const auto row = static_cast<std::int64_t>(std::floor(utm.Northing / m));
  // The centre point falls on picture pixel (width div 2, height div 2).
  return AreaFromPixels(utm.Zone, theme, scale, column - width / 2, row + height / 2, width, height,
                        &center);
}

std::unique_ptr<AreaBoundingBox> TileGrid::AreaFromRect(const LonLatPt& upperLeft,
                                                        const LonLatPt& lowerRight, Theme theme,
                                                        Scale scale) const {
  CheckPoint(upperLeft, "upperLeft");
  CheckPoint(lowerRight, "lowerRight");
  CheckScale(scale);
  const LonLatPt mid{(upperLeft.Lon + lowerRight.Lon) / 2, (upperLeft.Lat + lowerRight.Lat) / 2};
  const int zone = UtmZoneOf(mid.Lon);
  const UtmCoordinate nw = UtmForward({upperLeft.Lon, upperLeft.Lat}, zone);
  const UtmCoordinate se = UtmForward({lowerRight.Lon, lowerRight.Lat}, zone);
  const double m = MetresPerPixel(scale);
  const double west = std::floor(nw.Easting / m), east = std::floor(se.Easting / m);
  const double north = std::floor(nw.Northing / m), south = std::floor(se.Northing / m);
  if (!(east >= west) || !(north >= south)) {
    throw EQuorvilError("lowerRight must lie south-east of upperLeft");
  }
  // Every pixel that the rectangle touches belongs to the area.
  const double width = east - west + 1, height = north - south + 1;
  if (width > kMaxAreaPixels || height > kMaxAreaPixels) {
    throw EQuorvilError("An area must be 1 to " + std::to_string(kMaxAreaPixels) +
                        " pixels wide and high, not " + std::to_string(std::llround(width)) +
                        " x " + std::to_string(std::llround(height)));
  }
  return AreaFromPixels(zone, theme, scale, static_cast<std::int64_t>(west),
                        static_cast<std::int64_t>(north), static_cast<std::int64_t>(width),
                        static_cast<std::int64_t>(height), &mid);
}

std::unique_ptr<AreaBoundingBox> TileGrid::AreaFromTileId(const TileId& id, int width,
                                                          int height) const {
  CheckTileId(id);
  CheckSize(width, height);
  const std::int64_t column = std::int64_t{id.X} * kTilePixels + kTilePixels / 2;
  const std::int64_t row = std::int64_t{id.Y} * kTilePixels + kTilePixels / 2;
  return AreaFromPixels(id.Scene, id.Theme, id.Scale, column - width / 2, row + height / 2, width,
                        height, nullptr);
}

}  // namespace quorvil::mapservice
