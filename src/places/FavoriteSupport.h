#pragma once

// The favourites store: named places (a centre and a zoom level) kept in the settings
// store under "\Favorites", one string value per favourite,
// "Longitude=<lon>|Latitude=<lat>|Zoom=<level - 10>". Plain C++, so that tools, tests and
// fuzzing can use it without a QApplication; the Favorites menu lives in FavoritesMenu.
//
// Numbers are written and read with the user's decimal separator, which the caller passes.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "imagery/ZoomLevels.h"

namespace quorvil {

inline constexpr std::string_view kFavoritesKey = "\\Favorites";

struct TFavorite {
  double Longitude = 0;
  double Latitude = 0;
  TZoomLevel ZoomLevel = kMinZoomLevel;
};

struct TSampleBookmarkRec {
  std::string_view Name;
  double Longitude;
  double Latitude;
  TZoomLevel ZoomLevel;
};

// Seeded on the first run, in this order.
inline constexpr std::array<TSampleBookmarkRec, 6> kSampleBookmarks = {{
    {"NY: Central Park", -73.965, 40.784, 12},
    {"NJ: Ellis Island", -74.04, 40.699, 11},
    {"NJ: Giants Stadium", -74.077, 40.812, 10},
    {"NJ: Newark International Airport", -74.179, 40.692, 12},
    {"NJ: Statue Of Liberty", -74.045, 40.69, 10},
    {"NY: Yankee Stadium", -73.928, 40.827, 10},
}};

// The stored text of a favourite.
std::string BuildFavoriteString(TZoomLevel zoomLevel, double longitude, double latitude,
                                std::string_view decimalSeparator);

// Reads a stored text by position (the keys are not checked); the third field is the
// whole remainder. Throws EQuorvilError: the GetValueFromString error for a field
// without "=", the conversion errors for a value that is not a number, and
// "'<text>' is not a valid zoom value" for a zoom outside 0..6.
TFavorite ParseFavoriteString(std::string_view stored, std::string_view decimalSeparator);

// Writes the six samples when the "\Favorites" key does not exist; otherwise nothing, so
// that favourites the user deleted stay deleted.
void CreateSampleFavorites(std::string_view decimalSeparator);

// Empties the list and fills it with every favourite's name, in the store's order.
void GetFavoriteNames(std::vector<std::string>& list);

// Throws EQuorvilError "The favorite: <name> does not exist in the registry." for a
// missing or empty value, and the errors of ParseFavoriteString for a malformed one.
TFavorite ReadFavorite(std::string_view name, std::string_view decimalSeparator);

// Creates or overwrites the favourite (names ignore case).
void WriteFavorite(std::string_view name, TZoomLevel zoomLevel, double longitude, double latitude,
                   std::string_view decimalSeparator);

// Throws EQuorvilError "DeleteRegistryValue: Registry Key not found." when the key is
// missing; a missing favourite in an existing key is no error.
void DeleteFavorite(std::string_view name);

// Whether a favourite of the name exists, without regard to case.
bool FavoriteExists(std::string_view name);

}  // namespace quorvil
