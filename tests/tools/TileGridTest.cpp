#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "mapservice/Gazetteer.h"
#include "mapservice/TileGrid.h"
#include "platform/ProgramError.h"

namespace quorvil::mapservice {
namespace {

int AreaPixelWidth(const AreaBoundingBox& a) {
  return a.SouthEast->Offset->XOffset + a.SouthEast->TileMeta->Id->X * 200 -
         a.NorthWest->TileMeta->Id->X * 200 - a.NorthWest->Offset->XOffset;
}

int AreaPixelHeight(const AreaBoundingBox& a) {
  return a.SouthEast->Offset->YOffset + a.NorthWest->TileMeta->Id->Y * 200 -
         a.SouthEast->TileMeta->Id->Y * 200 - a.NorthWest->Offset->YOffset;
}

void ExpectOffsetsInTile(const AreaBoundingBox& a) {
  for (const auto* c : {&a.NorthWest, &a.NorthEast, &a.SouthWest, &a.SouthEast, &a.Center}) {
    EXPECT_GE((*c)->Offset->XOffset, 0);
    EXPECT_LE((*c)->Offset->XOffset, 199);
    EXPECT_GE((*c)->Offset->YOffset, 0);
    EXPECT_LE((*c)->Offset->YOffset, 199);
  }
}

// The tile of the grid that holds a point, in a given zone.
std::pair<int, int> TileOf(double lon, double lat, int zone, Scale scale) {
  const UtmCoordinate utm = UtmForward({lon, lat}, zone);
  const double t = MetresPerPixel(scale) * 200;
  return {static_cast<int>(std::floor(utm.Easting / t)),
          static_cast<int>(std::floor(utm.Northing / t))};
}

TEST(TileGridTest, AreaFromPointHasTheRequestedSize) {
  const TileGrid grid(CoverageKind::World);
  const struct {
    double lon, lat;
    Theme theme;
    Scale scale;
    int width, height;
  } cases[] = {
      {-73.965, 40.784, Theme::Photo, Scale::Scale4m, 800, 600},
      {-74.04, 40.699, Theme::Photo, Scale::Scale2m, 1, 1},
      {-74.077, 40.812, Theme::Topo, Scale::Scale2m, 401, 299},
      {-74.179, 40.692, Theme::Photo, Scale::Scale1m, 1000, 200},
      {-122.4, 37.8, Theme::Photo, Scale::Scale64m, 1920, 1080},
      {-157.8, 21.3, Theme::Topo, Scale::Scale16m, 333, 777},
      {151.2, -33.9, Theme::Photo, Scale::Scale8m, 640, 480},
      {-75.0, 0.0001, Theme::Photo, Scale::Scale1m, 500, 500},  // rows cross the equator
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.lon << "," << c.lat << " " << c.width << "x" << c.height);
    const auto area = grid.AreaFromPt({c.lon, c.lat}, c.theme, c.scale, c.width, c.height);
    EXPECT_EQ(AreaPixelWidth(*area), c.width);
    EXPECT_EQ(AreaPixelHeight(*area), c.height);
    ExpectOffsetsInTile(*area);
    const int zone = area->Center->TileMeta->Id->Scene;
    EXPECT_EQ(zone, UtmZoneOf(c.lon));
    const auto [x, y] = TileOf(c.lon, c.lat, zone, c.scale);
    EXPECT_EQ(area->Center->TileMeta->Id->X, x);
    EXPECT_EQ(area->Center->TileMeta->Id->Y, y);
    EXPECT_EQ(area->Center->TileMeta->Id->Theme, c.theme);
    EXPECT_EQ(area->NorthWest->TileMeta->Id->Scale, c.scale);
    // North-west has the smallest column and the largest row.
    EXPECT_LE(area->NorthWest->TileMeta->Id->X, area->SouthEast->TileMeta->Id->X);
    EXPECT_GE(area->NorthWest->TileMeta->Id->Y, area->SouthEast->TileMeta->Id->Y);
    EXPECT_EQ(area->NorthEast->TileMeta->Id->X, area->SouthEast->TileMeta->Id->X);
    EXPECT_EQ(area->NorthEast->TileMeta->Id->Y, area->NorthWest->TileMeta->Id->Y);
    EXPECT_EQ(area->SouthWest->TileMeta->Id->X, area->NorthWest->TileMeta->Id->X);
    EXPECT_TRUE(area->Center->TileMeta->TileExists);
  }
}

TEST(TileGridTest, AreaFromRectCoversTheRectangle) {
  const TileGrid grid(CoverageKind::World);
  const struct {
    LonLatPt ul, lr;
    Scale scale;
  } cases[] = {
      {{-74.0, 40.8}, {-73.95, 40.76}, Scale::Scale4m},
      {{-74.0, 40.8}, {-73.95, 40.76}, Scale::Scale1m},
      {{-74.0, 40.8}, {-74.0, 40.8}, Scale::Scale16m},  // one point: one pixel
      {{-118.5, 34.2}, {-117.9, 33.8}, Scale::Scale64m},
      {{-77.5, 39.0}, {-72.5, 38.0}, Scale::Scale32m},  // beyond the zone's band
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.ul.Lon << "," << c.ul.Lat << " " << EnumName(c.scale));
    const auto area = grid.AreaFromRect(c.ul, c.lr, Theme::Photo, c.scale);
    const int zone = area->NorthWest->TileMeta->Id->Scene;
    const double m = MetresPerPixel(c.scale);
    const UtmCoordinate nw = UtmForward({c.ul.Lon, c.ul.Lat}, zone);
    const UtmCoordinate se = UtmForward({c.lr.Lon, c.lr.Lat}, zone);
    EXPECT_EQ(AreaPixelWidth(*area), std::floor(se.Easting / m) - std::floor(nw.Easting / m) + 1);
    EXPECT_EQ(AreaPixelHeight(*area),
              std::floor(nw.Northing / m) - std::floor(se.Northing / m) + 1);
    ExpectOffsetsInTile(*area);
    const auto [x, y] = TileOf(c.ul.Lon, c.ul.Lat, zone, c.scale);
    EXPECT_EQ(area->NorthWest->TileMeta->Id->X, x);
    EXPECT_EQ(area->NorthWest->TileMeta->Id->Y, y);
  }
}

TEST(TileGridTest, AreaFromTileIdIsCentredOnTheTile) {
  const TileGrid grid(CoverageKind::World);
  TileId id{Theme::Topo, Scale::Scale8m, 18, 365, 2822};
  const auto area = grid.AreaFromTileId(id, 600, 400);
  EXPECT_EQ(area->Center->TileMeta->Id->X, id.X);
  EXPECT_EQ(area->Center->TileMeta->Id->Y, id.Y);
  EXPECT_EQ(AreaPixelWidth(*area), 600);
  EXPECT_EQ(AreaPixelHeight(*area), 400);
}

TEST(TileGridTest, TileMetaCornersFollowTheGrid) {
  const TileGrid grid(CoverageKind::World);
  for (Scale scale : {Scale::Scale1m, Scale::Scale4m, Scale::Scale64m}) {
    const auto meta = grid.MetaFromPoint({-73.965, 40.784}, Theme::Photo, scale);
    ASSERT_TRUE(meta->TileExists);
    EXPECT_LT(meta->NorthWest->Lon, meta->NorthEast->Lon);
    EXPECT_GT(meta->NorthWest->Lat, meta->SouthWest->Lat);
    EXPECT_GT(meta->Center->Lon, meta->NorthWest->Lon);
    EXPECT_LT(meta->Center->Lon, meta->SouthEast->Lon);
    // The client derives degrees per pixel from the corners of a tile.
    const double lonStep = std::fabs(meta->NorthWest->Lon - meta->SouthEast->Lon) / 200;
    const double latStep = std::fabs(meta->NorthWest->Lat - meta->SouthEast->Lat) / 200;
    const double m = MetresPerPixel(scale);
    EXPECT_NEAR(latStep * 111000 / m, 1, 0.02);
    EXPECT_NEAR(lonStep * 111320 * std::cos(40.784 * 3.14159265 / 180) / m, 1, 0.03);
    // The tile holds the point and its id names it again.
    EXPECT_EQ(grid.MetaFromId(*meta->Id)->Center->Lon, meta->Center->Lon);
  }
}

TEST(TileGridTest, WhichTilesExist) {
  const TileGrid world(CoverageKind::World), us(CoverageKind::UnitedStates);
  const struct {
    LonLatPt point;
    Theme theme;
    Scale scale;
    bool inWorld, inUs;
  } cases[] = {
      {{-73.965, 40.784}, Theme::Photo, Scale::Scale4m, true, true},
      {{-73.965, 40.784}, Theme::Topo, Scale::Scale2m, true, true},
      {{-73.965, 40.784}, Theme::Topo, Scale::Scale1m, false, false},
      {{-73.965, 40.784}, Theme::Relief, Scale::Scale4m, false, false},
      {{-73.965, 40.784}, Theme::Photo, Scale::Scale500mm, false, false},
      {{-149.9, 61.2}, Theme::Photo, Scale::Scale8m, true, true},   // Anchorage
      {{-157.8, 21.3}, Theme::Photo, Scale::Scale8m, true, true},   // Honolulu
      {{2.35, 48.85}, Theme::Photo, Scale::Scale8m, true, false},   // Paris
      {{-99.1, 19.4}, Theme::Photo, Scale::Scale8m, true, false},   // Mexico City
      {{-73.6, 45.5}, Theme::Photo, Scale::Scale8m, true, false},   // Montreal
      {{-83.03, 42.33}, Theme::Photo, Scale::Scale1m, true, true},  // downtown Detroit
      {{-81.0, 43.0}, Theme::Photo, Scale::Scale8m, true, false},   // London, Ontario
      {{0.0, -85.0}, Theme::Photo, Scale::Scale8m, false, false},
      {{0.0, 85.0}, Theme::Photo, Scale::Scale8m, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.point.Lon << "," << c.point.Lat);
    EXPECT_EQ(world.MetaFromPoint(c.point, c.theme, c.scale)->TileExists, c.inWorld);
    EXPECT_EQ(us.MetaFromPoint(c.point, c.theme, c.scale)->TileExists, c.inUs);
  }
}

// The coverage of the fifty states holds every town of the gazetteer at every scale, so
// that a place the user finds by name never shows as ground without imagery.
TEST(TileGridTest, EveryGazetteerTownHasImageryUnderTheUsCoverage) {
  const TileGrid us(CoverageKind::UnitedStates);
  int uncovered = 0;
  for (std::size_t i = 0; i < kGazetteerTownCount; ++i) {
    const GazetteerRecord& town = kGazetteerTowns[i];
    for (int scale = static_cast<int>(Scale::Scale1m); scale <= static_cast<int>(Scale::Scale64m);
         ++scale) {
      if (!us.MetaFromPoint({town.Lon, town.Lat}, Theme::Photo, static_cast<Scale>(scale))
               ->TileExists) {
        ADD_FAILURE() << town.City << ", " << town.State << " at scale " << scale;
        if (++uncovered > 20) return;
      }
    }
  }
}

TEST(TileGridTest, NonsenseIsRefused) {
  const TileGrid grid(CoverageKind::World);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const LonLatPt park{-73.965, 40.784};
  EXPECT_THROW(grid.AreaFromPt(park, Theme::Photo, Scale::Scale4m, 0, 600), EQuorvilError);
  EXPECT_THROW(grid.AreaFromPt(park, Theme::Photo, Scale::Scale4m, 800, -1), EQuorvilError);
  EXPECT_THROW(grid.AreaFromPt(park, Theme::Photo, Scale::Scale4m, 1000001, 10), EQuorvilError);
  EXPECT_THROW(grid.AreaFromPt({nan, 40}, Theme::Photo, Scale::Scale4m, 8, 8), EQuorvilError);
  EXPECT_THROW(grid.AreaFromPt({-74, 95}, Theme::Photo, Scale::Scale4m, 8, 8), EQuorvilError);
  EXPECT_THROW(grid.AreaFromPt(park, Theme::Photo, Scale::Scale128m, 8, 8), EQuorvilError);
  // At 64 m a million pixels reach far beyond one zone.
  EXPECT_THROW(grid.AreaFromPt(park, Theme::Photo, Scale::Scale64m, 1000000, 10), EQuorvilError);
  EXPECT_THROW(grid.AreaFromRect({-73.9, 40.8}, {-74.0, 40.7}, Theme::Photo, Scale::Scale4m),
               EQuorvilError);
  EXPECT_THROW(grid.AreaFromRect({-74.0, 40.8}, {-73.9, 40.9}, Theme::Photo, Scale::Scale4m),
               EQuorvilError);
  EXPECT_THROW(grid.AreaFromRect({-80.0, 45.0}, {-70.0, 30.0}, Theme::Photo, Scale::Scale1m),
               EQuorvilError);
  for (int scene : {0, 61, -5}) {
    EXPECT_THROW(grid.MetaFromId({Theme::Photo, Scale::Scale4m, scene, 700, 5600}), EQuorvilError);
  }
  EXPECT_THROW(grid.MetaFromId({Theme::Photo, Scale::Scale4m, 18, 2000000, 5600}), EQuorvilError);
}

}  // namespace
}  // namespace quorvil::mapservice
