#include "places/FavoriteSupport.h"

#include "places/HistorySupport.h"
#include "platform/ProgramError.h"
#include "service/FormatSupport.h"
#include "service/SystemSupport.h"
#include "settings/RegistrySupport.h"

namespace quorvil {

std::string BuildFavoriteString(TZoomLevel zoomLevel, double longitude, double latitude,
                                std::string_view decimalSeparator) {
  return BuildPlaceFields(zoomLevel, longitude, latitude, decimalSeparator);
}

TFavorite ParseFavoriteString(std::string_view stored, std::string_view decimalSeparator) {
  std::string_view rest = stored;
  TFavorite favorite;
  favorite.Longitude = StrToFloat(GetValueFromString(TakeField(rest), "="), decimalSeparator);
  favorite.Latitude = StrToFloat(GetValueFromString(TakeField(rest), "="), decimalSeparator);
  // Unlike a history entry there is no fourth field: the zoom is the whole remainder.
  favorite.ZoomLevel = ReadZoomField(rest);
  return favorite;
}

void CreateSampleFavorites(std::string_view decimalSeparator) {
  if (RegistryKeyExists(kFavoritesKey)) return;
  for (const TSampleBookmarkRec& sample : kSampleBookmarks) {
    WriteFavorite(sample.Name, sample.ZoomLevel, sample.Longitude, sample.Latitude,
                  decimalSeparator);
  }
}

void GetFavoriteNames(std::vector<std::string>& list) {
  GetRegistryValueNames(kFavoritesKey, list);
}

TFavorite ReadFavorite(std::string_view name, std::string_view decimalSeparator) {
  const std::string stored = ReadRegistryString(kFavoritesKey, name, "");
  if (stored.empty()) {
    throw EQuorvilError("The favorite: " + std::string(name) + " does not exist in the registry.");
  }
  return ParseFavoriteString(stored, decimalSeparator);
}

void WriteFavorite(std::string_view name, TZoomLevel zoomLevel, double longitude, double latitude,
                   std::string_view decimalSeparator) {
  WriteRegistryString(kFavoritesKey, name,
                      BuildFavoriteString(zoomLevel, longitude, latitude, decimalSeparator));
}

void DeleteFavorite(std::string_view name) { DeleteRegistryValue(kFavoritesKey, name); }

bool FavoriteExists(std::string_view name) { return RegistryValueExists(kFavoritesKey, name); }

}  // namespace quorvil
