#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvil {

inline constexpr std::string_view kPreferencesKey = "\\Preferences";
inline constexpr std::string_view kMeasurementSystemValue = "MeasurementSystem";
inline constexpr std::string_view kServerAddressValue = "ServerAddress";
inline constexpr std::string_view kMaxCacheSizeValue = "MaxCacheSize";
inline constexpr std::string_view kCacheDeletePercentValue = "CacheDeletePercent";
// Save As: 1 writes the world file and ".prj" file beside a saved picture, 0 does not.
inline constexpr std::string_view kSaveWorldFileValue = "SaveWorldFile";

inline constexpr std::string_view kDefaultMeasurementSystem = "English";
inline constexpr int32_t kDefaultMaxCacheSize = 4;  // megabytes
inline constexpr int32_t kDefaultCacheDeletePercent = 10;

// The four user settings as the program uses them.
struct TPreferences {
  bool EnglishUnits = true;
  std::string ServerAddress;
  int32_t MaxCacheSize = kDefaultMaxCacheSize;  // megabytes
  int32_t CacheDeletePercent = kDefaultCacheDeletePercent;
};

// Whether the stored measurement system is "English" in any letter case; anything else
// means metric. Nothing stored means English.
bool IsEnglishMeasurementSystem();

// Reads the preferences with their defaults for missing values; writes nothing.
TPreferences ReadPreferences();

// Whether Save As writes the files that place a picture on the map (on when unset), and
// the user's choice of it, kept for the next Save As.
bool ReadSaveWorldFile();
void WriteSaveWorldFile(bool save);

// The number of tiles a cache of the given size holds, at an assumed 9000 bytes a tile:
// megabytes x 1,048,576 / 9000, whole tiles. A size below 1 allows no tiles.
int64_t TileLimitFromCacheSize(int32_t maxCacheSizeMegabytes);

}  // namespace quorvil
