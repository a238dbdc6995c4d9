#include <gtest/gtest.h>

#include <string>

#include "places/HistorySupport.h"
#include "platform/ProgramError.h"

namespace quorvil {
namespace {

TEST(HistorySupport, BuildsTheFourFieldsInOrder) {
  EXPECT_EQ(BuildHistoryString("", 10, -74.06, 40.7, "."),
            "Longitude=-74.06|Latitude=40.7|Zoom=0|PlaceName=");
  EXPECT_EQ(BuildHistoryString("New York, NY", 16, -74.06, 40.7, ","),
            "Longitude=-74,06|Latitude=40,7|Zoom=6|PlaceName=New York, NY");
  EXPECT_EQ(BuildHistoryString("a|b=c", 13, 0.1 + 0.2, -1e-7, "."),
            "Longitude=0.3|Latitude=-1E-7|Zoom=3|PlaceName=a|b=c");
}

TEST(HistorySupport, RoundTripsKeepPlaceTextAndNumbers) {
  const struct {
    const char* place;
    int zoom;
    double longitude;
    double latitude;
    const char* separator;
  } cases[] = {
      {"", 10, -74.06, 40.7, "."},
      {"Seattle, WA | 2 km = far", 16, -122.33207, 47.60621, "."},
      {"x=|=y||", 13, -74.06, 40.7, ","},
      {"PlaceName=Longitude=1|Zoom=2", 11, 179.999999999999, -89.5, ","},
      {"Ñandú | Ü=ü", 12, 1e-9, -0.00001, "."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.place);
    const std::string entry = BuildHistoryString(c.place, static_cast<std::uint8_t>(c.zoom),
                                                 c.longitude, c.latitude, c.separator);
    const THistoryEntry parsed = ParseHistoryString(entry, c.separator);
    EXPECT_EQ(parsed.PlaceText, c.place);
    EXPECT_EQ(parsed.ZoomLevel, c.zoom);
    EXPECT_DOUBLE_EQ(parsed.Longitude, c.longitude);
    EXPECT_DOUBLE_EQ(parsed.Latitude, c.latitude);
  }
}

TEST(HistorySupport, ReadsByPositionIgnoringKeys) {
  const THistoryEntry parsed = ParseHistoryString("A=1|B=2|C=3|D=x", ".");
  EXPECT_DOUBLE_EQ(parsed.Longitude, 1);
  EXPECT_DOUBLE_EQ(parsed.Latitude, 2);
  EXPECT_EQ(parsed.ZoomLevel, 13);
  EXPECT_EQ(parsed.PlaceText, "x");
  EXPECT_EQ(ParseHistoryString("L=-74,06|L= 40,7 |Z=0|P=", ",").Longitude, -74.06);
}

TEST(HistorySupport, MalformedEntriesGiveTheirMessages) {
  const char* const separatorMissing =
      "GetValueFromString: Separator character not found in string.";
  const struct {
    const char* entry;
    const char* separator;
    std::string message;
  } cases[] = {
      {"", ".", "The history string is blank."},
      {"Longitude", ".", separatorMissing},
      {"Longitude=1", ".", separatorMissing},  // no bar: field 1 is empty
      {"Longitude1|Latitude=abc|Zoom=0|PlaceName=", ".", separatorMissing},
      {"Longitude=1|Latitude=2|Zoom=3", ".", separatorMissing},
      {"Longitude=1|Latitude=2|Zoom=3|PlaceName", ".", separatorMissing},
      {"Longitude=abc|Latitude=2|Zoom=3|PlaceName=", ".",
       "'abc' is not a valid floating point value"},
      {"Longitude=-74.06|Latitude=40.7|Zoom=0|PlaceName=", ",",
       "'-74.06' is not a valid floating point value"},
      {"Longitude=1|Latitude=|Zoom=3|PlaceName=", ".", "'' is not a valid floating point value"},
      {"Longitude=1|Latitude=2|Zoom=3.0|PlaceName=", ".", "'3.0' is not a valid integer value"},
      {"Longitude=1|Latitude=2|Zoom=7|PlaceName=", ".", "'7' is not a valid zoom value"},
      {"Longitude=1|Latitude=2|Zoom=-1|PlaceName=", ".", "'-1' is not a valid zoom value"},
      {"Longitude=1|Latitude=2|Zoom=2147483647|PlaceName=", ".",
       "'2147483647' is not a valid zoom value"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.entry);
    try {
      ParseHistoryString(c.entry, c.separator);
      ADD_FAILURE() << "no error";
    } catch (const EQuorvilError& e) {
      EXPECT_EQ(e.what(), c.message);
    }
  }
}

}  // namespace
}  // namespace quorvil
