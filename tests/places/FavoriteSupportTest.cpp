#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "places/FavoriteSupport.h"
#include "settings/RegistrySupport.h"
#include "support/ErrorMessage.h"
#include "support/TempConfigHome.h"

namespace quorvil {
namespace {

using testing::MessageOf;

TEST(FavoriteSupport, StoredTextHasThreeFieldsInTheUsersNumberFormat) {
  EXPECT_EQ(BuildFavoriteString(12, -73.965, 40.784, "."),
            "Longitude=-73.965|Latitude=40.784|Zoom=2");
  EXPECT_EQ(BuildFavoriteString(16, -74.06, 0.1 + 0.2, ","),
            "Longitude=-74,06|Latitude=0,3|Zoom=6");
  EXPECT_EQ(BuildFavoriteString(10, 179.999999999999, -1e-7, "."),
            "Longitude=179.999999999999|Latitude=-1E-7|Zoom=0");
}

TEST(FavoriteSupport, StoredTextsAreReadByPosition) {
  const struct {
    const char* stored;
    const char* separator;
    double longitude;
    double latitude;
    int zoomLevel;
  } cases[] = {
      {"Longitude=-73.965|Latitude=40.784|Zoom=2", ".", -73.965, 40.784, 12},
      {"Longitude=-74,06|Latitude=0,3|Zoom=6", ",", -74.06, 0.3, 16},
      {"A=1|B=2|C=3", ".", 1, 2, 13},  // keys are not checked
      {"=1|=-2| = 0 ", ".", 1, -2, 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    const TFavorite favorite = ParseFavoriteString(c.stored, c.separator);
    EXPECT_DOUBLE_EQ(favorite.Longitude, c.longitude);
    EXPECT_DOUBLE_EQ(favorite.Latitude, c.latitude);
    EXPECT_EQ(favorite.ZoomLevel, c.zoomLevel);
  }
}

TEST(FavoriteSupport, MalformedStoredTextsNameTheirFault) {
  const struct {
    const char* stored;
    const char* message;
  } cases[] = {
      {"Longitude=1|Latitude=2|Zoom=3|X=4", "'3|X=4' is not a valid integer value"},
      {"Longitude=1|Latitude=2", "GetValueFromString: Separator character not found in string."},
      {"Longitude=1|Latitude2|Zoom=3",
       "GetValueFromString: Separator character not found in string."},
      {"Longitude=1,5|Latitude=2|Zoom=3", "'1,5' is not a valid floating point value"},
      {"Longitude=1|Latitude=north|Zoom=3", "'north' is not a valid floating point value"},
      {"Longitude=1|Latitude=2|Zoom=7", "'7' is not a valid zoom value"},
      {"Longitude=1|Latitude=2|Zoom=-1", "'-1' is not a valid zoom value"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    EXPECT_EQ(MessageOf([&] { ParseFavoriteString(c.stored, "."); }), c.message);
  }
}

using FavoriteStore = TempConfigHomeTest;

TEST_F(FavoriteStore, FirstRunSeedsTheSixSamplesInTableOrder) {
  CreateSampleFavorites(".");
  std::vector<std::string> names{"stale"};
  GetFavoriteNames(names);
  ASSERT_EQ(names.size(), kSampleBookmarks.size());
  for (std::size_t i = 0; i < names.size(); ++i) EXPECT_EQ(names[i], kSampleBookmarks[i].Name);
  EXPECT_EQ(ReadRegistryString(kFavoritesKey, "NY: Central Park", ""),
            "Longitude=-73.965|Latitude=40.784|Zoom=2");
  EXPECT_EQ(ReadRegistryString(kFavoritesKey, "NJ: Ellis Island", ""),
            "Longitude=-74.04|Latitude=40.699|Zoom=1");
  const TFavorite park = ReadFavorite("NY: Central Park", ".");
  EXPECT_DOUBLE_EQ(park.Longitude, -73.965);
  EXPECT_DOUBLE_EQ(park.Latitude, 40.784);
  EXPECT_EQ(park.ZoomLevel, 12);
}

TEST_F(FavoriteStore, SamplesDeletedByTheUserStayDeleted) {
  CreateSampleFavorites(".");
  for (const TSampleBookmarkRec& sample : kSampleBookmarks) DeleteFavorite(sample.Name);
  CreateSampleFavorites(".");
  std::vector<std::string> names;
  GetFavoriteNames(names);
  EXPECT_TRUE(names.empty());
  EXPECT_TRUE(RegistryKeyExists(kFavoritesKey));
}

TEST_F(FavoriteStore, NamesIgnoreCaseAndWritesOverwrite) {
  WriteFavorite("NY: Central Park", 12, -73.965, 40.784, ".");
  EXPECT_TRUE(FavoriteExists("ny: central park"));
  EXPECT_FALSE(FavoriteExists("NY: Central"));
  WriteFavorite("NY: CENTRAL PARK", 16, 1.5, 2.5, ".");
  std::vector<std::string> names;
  GetFavoriteNames(names);
  EXPECT_EQ(names, std::vector<std::string>{"NY: Central Park"});
  const TFavorite favorite = ReadFavorite("ny: central park", ".");
  EXPECT_EQ(favorite.ZoomLevel, 16);
  EXPECT_DOUBLE_EQ(favorite.Longitude, 1.5);
}

TEST_F(FavoriteStore, MissingOrEmptyFavouritesAndKeysAreReported) {
  EXPECT_EQ(MessageOf([] { DeleteFavorite("NY: Central Park"); }),
            "DeleteRegistryValue: Registry Key not found.");
  EXPECT_EQ(MessageOf([] { ReadFavorite("NY: Central Park", "."); }),
            "The favorite: NY: Central Park does not exist in the registry.");
  WriteRegistryString(kFavoritesKey, "Blank", "");
  EXPECT_EQ(MessageOf([] { ReadFavorite("Blank", "."); }),
            "The favorite: Blank does not exist in the registry.");
  DeleteFavorite("Gone already");  // a missing value in an existing key is no error
  EXPECT_TRUE(FavoriteExists("Blank"));
}

}  // namespace
}  // namespace quorvil
