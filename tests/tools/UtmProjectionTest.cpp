#include <gtest/gtest.h>

#include <cmath>

#include "mapservice/UtmProjection.h"

namespace quorvil::mapservice {
namespace {

TEST(UtmProjectionTest, ZoneOfLongitude) {
  const struct {
    double lon;
    int zone;
  } cases[] = {{-180, 1}, {-177.1, 1}, {-174, 2}, {-73.965, 18}, {-0.1, 30},
               {0, 31},   {3, 31},     {6, 32},   {179.9, 60},   {180, 60}};
  for (const auto& c : cases) EXPECT_EQ(UtmZoneOf(c.lon), c.zone) << c.lon;
}

TEST(UtmProjectionTest, KnownPoints) {
  // On the central meridian the easting is the false easting; at the equator 3 degrees
  // off it is the zone's textbook edge value; at 45 N the northing is k0 times the
  // meridian arc.
  EXPECT_EQ(UtmForward({-73.965, 40.784}).Zone, 18);
  const struct {
    double lon, lat;
    int zone;
    double easting, northing;
  } cases[] = {
      {-75, 0, 18, 500000.0, 0.0},
      {-72, 0, 18, 833978.556, 0.0},
      {-78, 0, 18, 166021.444, 0.0},
      {-75, 45, 18, 500000.0, 4982950.400},
      {-75, -45, 18, 500000.0, -4982950.400},
      {9, 45, 32, 500000.0, 4982950.400},
  };
  for (const auto& c : cases) {
    const UtmCoordinate utm = UtmForward({c.lon, c.lat}, c.zone);
    EXPECT_NEAR(utm.Easting, c.easting, 0.01) << c.lon << "," << c.lat;
    EXPECT_NEAR(utm.Northing, c.northing, 0.01) << c.lon << "," << c.lat;
  }
}

TEST(UtmProjectionTest, RoundTripInsideAndOutsideTheZone) {
  // Areas keep their zone, so points up to 30 degrees off the central meridian occur.
  const struct {
    double lon, lat;
    int zone;
  } cases[] = {{-73.965, 40.784, 18}, {-74.179, 40.692, 18}, {-149.9, 61.2, 6}, {-157.8, 21.3, 4},
               {151.2, -33.9, 56},    {-70.9, 40.8, 18},     {-60.0, 40.0, 18}, {-95.0, 10.0, 18},
               {-75.0, 83.9, 18},     {-75.0, -79.9, 18},    {0.0, 0.0, 31},    {179.9, 52.0, 60}};
  for (const auto& c : cases) {
    const UtmCoordinate utm = UtmForward({c.lon, c.lat}, c.zone);
    const GeoPoint back = UtmInverse(utm);
    EXPECT_NEAR(back.Lon, c.lon, 1e-8) << c.lon << "," << c.lat;
    EXPECT_NEAR(back.Lat, c.lat, 1e-8) << c.lon << "," << c.lat;
  }
}

TEST(UtmProjectionTest, GridDistancesMatchTheGround) {
  // 1 km east of Central Park in the grid is about 1 km on the ground (scale factor
  // near 0.9996 + a small term off the central meridian).
  const UtmCoordinate a = UtmForward({-73.965, 40.784});
  const GeoPoint p = UtmInverse({a.Zone, a.Easting + 1000, a.Northing});
  const double metresPerDegree = 111320 * std::cos(40.784 * 3.14159265358979 / 180);
  EXPECT_NEAR((p.Lon + 73.965) * metresPerDegree, 1000, 5);
}

}  // namespace
}  // namespace quorvil::mapservice
