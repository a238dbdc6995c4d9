#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "mapservice/Gazetteer.h"

namespace quorvil::mapservice {
namespace {

const Gazetteer& G() { return Gazetteer::Instance(); }

TEST(GazetteerTest, HoldsEveryStateCapital) {
  const struct {
    const char *city, *state;
  } capitals[] = {
      {"Montgomery", "AL"},     {"Juneau", "AK"},         {"Phoenix", "AZ"},
      {"Little Rock", "AR"},    {"Sacramento", "CA"},     {"Denver", "CO"},
      {"Hartford", "CT"},       {"Dover", "DE"},          {"Tallahassee", "FL"},
      {"Atlanta", "GA"},        {"Honolulu", "HI"},       {"Boise", "ID"},
      {"Springfield", "IL"},    {"Indianapolis", "IN"},   {"Des Moines", "IA"},
      {"Topeka", "KS"},         {"Frankfort", "KY"},      {"Baton Rouge", "LA"},
      {"Augusta", "ME"},        {"Annapolis", "MD"},      {"Boston", "MA"},
      {"Lansing", "MI"},        {"Saint Paul", "MN"},     {"Jackson", "MS"},
      {"Jefferson City", "MO"}, {"Helena", "MT"},         {"Lincoln", "NE"},
      {"Carson City", "NV"},    {"Concord", "NH"},        {"Trenton", "NJ"},
      {"Santa Fe", "NM"},       {"Albany", "NY"},         {"Raleigh", "NC"},
      {"Bismarck", "ND"},       {"Columbus", "OH"},       {"Oklahoma City", "OK"},
      {"Salem", "OR"},          {"Harrisburg", "PA"},     {"Providence", "RI"},
      {"Columbia", "SC"},       {"Pierre", "SD"},         {"Nashville", "TN"},
      {"Austin", "TX"},         {"Salt Lake City", "UT"}, {"Montpelier", "VT"},
      {"Richmond", "VA"},       {"Olympia", "WA"},        {"Charleston", "WV"},
      {"Madison", "WI"},        {"Cheyenne", "WY"},
  };
  EXPECT_GE(G().Size(), 400u);
  for (const auto& c : capitals) {
    const GazetteerRecord* r = G().Find(c.city, c.state);
    ASSERT_NE(r, nullptr) << c.city << ", " << c.state;
    EXPECT_GT(r->Population, 1000) << c.city;
  }
}

TEST(GazetteerTest, HoldsTheSampleFavouritesSurroundings) {
  const struct {
    const char* name;
    PlaceType type;
    double lon, lat;
  } places[] = {
      {"Central Park, NY", PlaceType::ParkBeach, -73.965, 40.784},
      {"Ellis Island, NJ", PlaceType::Island, -74.04, 40.699},
      {"Giants Stadium, NJ", PlaceType::PointOfInterest, -74.077, 40.812},
      {"Newark International Airport, NJ", PlaceType::AirRailStation, -74.179, 40.692},
      {"Statue of Liberty, NY", PlaceType::PointOfInterest, -74.045, 40.69},
      {"Yankee Stadium, NY", PlaceType::PointOfInterest, -73.928, 40.827},
      {"Hoboken, NJ", PlaceType::CityTown, -74.03, 40.744},
      {"Manhattan, NY", PlaceType::CityTown, -73.966, 40.783},
      {"Jersey City, NJ", PlaceType::CityTown, -74.077, 40.728},
  };
  for (const auto& p : places) {
    const auto found = G().Search(p.name, 1);
    ASSERT_EQ(found.size(), 1u) << p.name;
    EXPECT_EQ(found[0]->Type, p.type) << p.name;
    EXPECT_LT(DistanceMetres(found[0]->Lon, found[0]->Lat, p.lon, p.lat), 2500) << p.name;
  }
}

TEST(GazetteerTest, SearchMatchesNamesAndTheirBeginnings) {
  const struct {
    const char* text;
    std::size_t atLeast;
    const char* first;  // expected first answer, or empty
    const char* state;  // every answer in this state, or empty
  } cases[] = {
      {"san", 100, "San Antonio", ""},
      {"a", 100, "", ""},
      {"HOBOKEN", 1, "Hoboken", "NJ"},
      {"Manhattan", 2, "Manhattan", ""},
      {"Springfield, IL", 1, "Springfield", "IL"},
      {"springfield, illinois", 1, "Springfield", "IL"},
      {"Springfield, Illinois, United States", 1, "Springfield", "IL"},
      {"  Portland  ", 2, "Portland", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto found = G().Search(c.text, 10000);
    ASSERT_GE(found.size(), c.atLeast);
    if (*c.first) {
      EXPECT_STREQ(found[0]->City, c.first);
    }
    for (const GazetteerRecord* r : found) {
      if (*c.state) {
        EXPECT_STREQ(r->State, c.state);
      }
    }
  }
  // Whole names come before longer ones, the most populous first.
  const auto manhattan = G().Search("manhattan", 100);
  EXPECT_STREQ(manhattan[0]->State, "NY");
  EXPECT_EQ(G().Search("san", 100).size(), 100u);
  EXPECT_EQ(G().Search("san", 0).size(), 0u);
  EXPECT_TRUE(G().Search("Springfield, Atlantis", 10).empty());
  EXPECT_TRUE(G().Search("Xyzzyville", 10).empty());
  EXPECT_TRUE(G().Search("", 10).empty());
  const auto notInTexas = G().Search(
      "san", 1000, [](const GazetteerRecord& r) { return std::string(r.State) != "TX"; });
  for (const GazetteerRecord* r : notInTexas) EXPECT_STRNE(r->State, "TX");
}

TEST(GazetteerTest, NearestPlaceNamesDistanceAndDirection) {
  // A town with no other town within 40 km, so that the answer is certain.
  const GazetteerRecord* lonely = nullptr;
  for (const GazetteerRecord* r : G().Records()) {
    if (r->Type != PlaceType::CityTown || std::fabs(r->Lat) > 65) continue;
    double nearest = 1e12;
    for (const GazetteerRecord* o : G().Records()) {
      if (o != r && o->Type == PlaceType::CityTown) {
        nearest = std::min(nearest, DistanceMetres(r->Lon, r->Lat, o->Lon, o->Lat));
      }
    }
    if (nearest > 40000) {
      lonely = r;
      break;
    }
  }
  ASSERT_NE(lonely, nullptr);
  const std::string name = std::string(lonely->City) + ", " + std::string(StateName(lonely->State));
  const double dLat = 1.0 / 111.2;  // one km of latitude
  const double dLon = dLat / std::cos(lonely->Lat * 3.14159265358979 / 180);
  const struct {
    double east, north;  // km
    std::string expected;
  } cases[] = {
      {0, 0, name},
      {0.3, -0.3, name},
      {0, 5, "5 km N of " + name},
      {-3 / std::sqrt(2.0), 3 / std::sqrt(2.0), "3 km NW of " + name},
      {12, 0, "12 km E of " + name},
      {-7, -7, "10 km SW of " + name},
      {0, -2.4, "2 km S of " + name},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(G().NearestPlaceText(lonely->Lon + c.east * dLon, lonely->Lat + c.north * dLat),
              c.expected);
  }
  EXPECT_EQ(G().NearestPlaceText(-74.0324, 40.7440), "Hoboken, New Jersey");
}

TEST(GazetteerTest, PlacesInARectangle) {
  const auto all = G().InRect(-74.1, 40.9, -73.9, 40.6, PlaceType::UnknownPlaceType);
  const auto parks = G().InRect(-74.1, 40.9, -73.9, 40.6, PlaceType::ParkBeach);
  EXPECT_GT(all.size(), parks.size());
  EXPECT_GE(parks.size(), 3u);
  for (const GazetteerRecord* r : all) {
    EXPECT_GE(r->Lon, -74.1);
    EXPECT_LE(r->Lon, -73.9);
    EXPECT_GE(r->Lat, 40.6);
    EXPECT_LE(r->Lat, 40.9);
  }
  for (std::size_t i = 1; i < all.size(); ++i) {
    EXPECT_GE(all[i - 1]->Population, all[i]->Population);
  }
}

TEST(GazetteerTest, StateNames) {
  EXPECT_EQ(StateName("NJ"), "New Jersey");
  EXPECT_EQ(StateName("XX"), "");
  EXPECT_EQ(StateCodeOf("new york"), "NY");
  EXPECT_EQ(StateCodeOf("ny"), "NY");
  EXPECT_FALSE(StateCodeOf("Ontario"));
}

}  // namespace
}  // namespace quorvil::mapservice
