#include <gtest/gtest.h>

#include "imagery/ZoomLevels.h"

namespace quorvil {
namespace {

TEST(ZoomLevels, ResolutionNamesAndScales) {
  const struct {
    TZoomLevel level;
    int meters;
    const char* name;
    Scale scale;
  } cases[] = {{10, 1, "1 Meter", Scale::Scale1m},     {11, 2, "2 Meters", Scale::Scale2m},
               {12, 4, "4 Meters", Scale::Scale4m},    {13, 8, "8 Meters", Scale::Scale8m},
               {14, 16, "16 Meters", Scale::Scale16m}, {15, 32, "32 Meters", Scale::Scale32m},
               {16, 64, "64 Meters", Scale::Scale64m}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(MetersPerPixel(c.level), c.meters);
    EXPECT_EQ(ZoomLevelName(c.level), c.name);
    EXPECT_EQ(ScaleOfZoomLevel(c.level), c.scale);
    EXPECT_DOUBLE_EQ(LatDegreesPerPixel(c.level), c.meters / 111111.111111111);
    EXPECT_DOUBLE_EQ(LonDegreesPerPixel(c.level, 0), LatDegreesPerPixel(c.level));
  }
  EXPECT_EQ(ZoomLevelName(9), "");
  EXPECT_EQ(ZoomLevelName(17), "");
}

TEST(ZoomLevels, ParsedFromNumberNameOrShortResolution) {
  const struct {
    const char* text;
    std::optional<TZoomLevel> level;
  } cases[] = {{"10", 10},  {"16", 16}, {"4m", 12}, {"4 Meters", 12}, {"1 meter", 10},
               {"64M", 16}, {"9", {}},  {"17", {}}, {"3m", {}},       {"4 km", {}},
               {"", {}},    {"m", {}},  {"12x", {}}};
  for (const auto& c : cases) EXPECT_EQ(ParseZoomLevel(c.text), c.level) << c.text;
}

TileMeta Tile(bool exists, LonLatPt northWest, LonLatPt southEast) {
  TileMeta meta;
  meta.TileExists = exists;
  meta.NorthWest = std::make_unique<LonLatPt>(northWest);
  meta.SouthEast = std::make_unique<LonLatPt>(southEast);
  return meta;
}

TEST(UpdateDegreesPerPixel, TileCornersElseKeptElseEstimated) {
  const struct {
    const char* name;
    bool exists;
    double lonStep, latStep;
    double latitude;
    double expectedLon, expectedLat;
  } cases[] = {
      {"from the tile", true, 5, 5, 40.7, 0.00001, 0.00001},
      {"estimate when one step is 0", false, 0, 0.00001, 60, 0.000018, 0.000009},
      {"estimate when both are 0", false, 0, 0, 0, 0.000009, 0.000009},
      {"kept when both are set", false, 0.5, 0.25, 60, 0.5, 0.25},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TileMeta tile = Tile(c.exists, {-74.001, 40.701}, {-73.999, 40.699});
    double lon = c.lonStep, lat = c.latStep;
    UpdateDegreesPerPixel(tile, lon, lat, c.latitude, 10);
    EXPECT_NEAR(lon, c.expectedLon, 1e-9);
    EXPECT_NEAR(lat, c.expectedLat, 1e-9);
  }
}

TEST(NormalizeGeoRect, WestBeforeEastNorthAboveSouth) {
  const struct {
    double in[4], out[4];
  } cases[] = {{{-73, 40, -74, 41}, {-74, 41, -73, 40}},
               {{-74, 41, -73, 40}, {-74, 41, -73, 40}},
               {{-73, 40, -73, 40}, {-73, 40, -73, 40}}};
  for (const auto& c : cases) {
    double w = c.in[0], n = c.in[1], e = c.in[2], s = c.in[3];
    NormalizeGeoRect(w, n, e, s);
    EXPECT_EQ((std::vector<double>{w, n, e, s}), (std::vector<double>(c.out, c.out + 4)));
  }
}

TEST(ViewConversions, CentrePixelShowsTheCentreAndStepsCount) {
  const TViewGeometry view{401, 300, -73.965, 40.784, 0.0001, 0.00005};
  EXPECT_EQ(PixelOfLongitude(view, -73.965), 200);
  EXPECT_EQ(PixelOfLatitude(view, 40.784), 150);
  EXPECT_DOUBLE_EQ(LongitudeAtPixel(view, 200), -73.965);
  EXPECT_DOUBLE_EQ(LatitudeAtPixel(view, 150), 40.784);
  EXPECT_NEAR(LongitudeAtPixel(view, 210), -73.964, 1e-12);  // east to the right
  EXPECT_NEAR(LatitudeAtPixel(view, 160), 40.7835, 1e-12);   // south downward
  // Trunc toward zero on both sides of the centre.
  EXPECT_EQ(PixelOfLongitude(view, -73.965 + 0.00015), 201);
  EXPECT_EQ(PixelOfLongitude(view, -73.965 - 0.00015), 199);
  EXPECT_EQ(PixelOfLatitude(view, 40.784 + 0.00012), 148);
  // A round trip over the whole view.
  for (int x = 0; x < view.Width; x += 37)
    EXPECT_NEAR(PixelOfLongitude(view, LongitudeAtPixel(view, x) + 1e-9), x, 1) << x;
  // A zero step does not overflow.
  EXPECT_NO_FATAL_FAILURE(PixelOfLongitude({100, 100, 0, 0, 0, 0}, 5));
}

}  // namespace
}  // namespace quorvil
