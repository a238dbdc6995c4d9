// Coordinates in each format, and the ruler's text, for known points.

#include <gtest/gtest.h>

#include <GeographicLib/UTMUPS.hpp>
#include <cmath>

#include "places/CoordinateText.h"

namespace quorvil::testing {
namespace {

TEST(CoordinateTextTest, EachFormatShowsAndCopiesAKnownPoint) {
  int zone = 0;
  bool north = false;
  double easting = 0, northing = 0;
  GeographicLib::UTMUPS::Forward(40.7, -74.06, zone, north, easting, northing);
  const std::string utmFirst =
      std::to_string(zone) + (north ? "N " : "S ") + std::to_string(std::llround(easting));
  const std::string utmSecond = std::to_string(std::llround(northing));
  const struct {
    TCoordinateFormat Format;
    const char* Separator;
    std::string First, Second, Copied;
  } cases[] = {
      {TCoordinateFormat::cfSignificant, ".", "-74.06", "40.7", "40.700000, -74.060000"},
      {TCoordinateFormat::cfDecimalDegrees, ",", "-74,060000", "40,700000",
       "40,700000; -74,060000"},
      {TCoordinateFormat::cfDegreesMinutesSeconds, ".", "74\u00b003'36.0\"W", "40\u00b042'00.0\"N",
       "40\u00b042'00.0\"N, 74\u00b003'36.0\"W"},
      {TCoordinateFormat::cfUtm, ".", utmFirst, utmSecond, utmFirst + " " + utmSecond},
  };
  for (const auto& c : cases) {
    const TCoordinateFields fields = FormatCoordinateFields(-74.06, 40.7, c.Format, c.Separator);
    EXPECT_EQ(fields.First, c.First);
    EXPECT_EQ(fields.Second, c.Second);
    EXPECT_EQ(CoordinateCopyText(-74.06, 40.7, c.Format, c.Separator), c.Copied);
  }
  // Seconds that round up carry into the minute; the southern and western hemispheres.
  EXPECT_EQ(
      FormatCoordinateFields(-0.99999, -33.999999, TCoordinateFormat::cfDegreesMinutesSeconds, ".")
          .Second,
      "34\u00b000'00.0\"S");
}

TEST(CoordinateTextTest, TheRulerTextUsesTheUnitsAndABearingBelow360) {
  EXPECT_EQ(GroundLineText({1609.344, 90.2}, true, "."), "1.00 mi, 90\u00b0");
  EXPECT_EQ(GroundLineText({250, 359.7}, false, "."), "250 m, 0\u00b0");
  EXPECT_EQ(GroundLineText({2504, 45}, false, ","), "2,50 km, 45\u00b0");
  EXPECT_EQ(GroundLineText({0, 180}, false, "."), "0 m");
}

}  // namespace
}  // namespace quorvil::testing
