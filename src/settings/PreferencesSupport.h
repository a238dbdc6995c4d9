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
// How coordinates are shown and copied (a TCoordinateFormat as an integer).
inline constexpr std::string_view kCoordinateFormatValue = "CoordinateFormat";
// 1 stretches the topographic map smoothly at the finest level, 0 repeats its pixels.
inline constexpr std::string_view kSmoothPaperMapValue = "SmoothPaperMap";
// 1 reopens the last view at start-up; the view itself is kept as a history entry.
inline constexpr std::string_view kOpenWhereLeftOffValue = "OpenWhereLeftOff";
inline constexpr std::string_view kLastViewValue = "LastView";
// The folders that Save As and printing to a PDF file last saved into.
inline constexpr std::string_view kLastSaveAsFolderValue = "LastSaveAsFolder";
inline constexpr std::string_view kLastPdfFolderValue = "LastPdfFolder";

inline constexpr std::string_view kDefaultMeasurementSystem = "English";
inline constexpr int32_t kDefaultMaxCacheSize = 4;  // megabytes
inline constexpr int32_t kDefaultCacheDeletePercent = 10;

// How the window shows the coordinates under the pointer and copies them.
enum class TCoordinateFormat : int32_t {
  cfSignificant,            // decimal degrees to five significant digits ("%.5g")
  cfDecimalDegrees,         // decimal degrees with six decimals
  cfDegreesMinutesSeconds,  // degrees, minutes and seconds with a hemisphere letter
  cfUtm,                    // UTM zone, easting and northing in metres
};

// The user settings as the program uses them.
struct TPreferences {
  bool EnglishUnits = true;
  std::string ServerAddress;
  int32_t MaxCacheSize = kDefaultMaxCacheSize;  // megabytes
  int32_t CacheDeletePercent = kDefaultCacheDeletePercent;
  TCoordinateFormat CoordinateFormat = TCoordinateFormat::cfSignificant;
  bool SmoothPaperMap = true;
  bool OpenWhereLeftOff = false;
};

// Whether the stored measurement system is "English" in any letter case; anything else
// means metric. Nothing stored means English.
bool IsEnglishMeasurementSystem();

// Reads the preferences with their defaults for missing values (a coordinate format out
// of range is the default); writes nothing.
TPreferences ReadPreferences();
// Writes the three view preferences: coordinate format, smooth paper map, open where left off.
void WriteViewPreferences(const TPreferences& preferences);

// The last view shown (a history entry), for opening where the user left off; empty when
// none was kept.
std::string ReadLastView();
void WriteLastView(const std::string& historyEntry);

// The folder kept under the value, when it is still a folder; empty otherwise. Writing
// keeps the folder of the file chosen.
std::string ReadLastFolder(std::string_view value);
void WriteLastFolderOf(std::string_view value, const std::string& chosenFile);

// Whether Save As writes the files that place a picture on the map (on when unset), and
// the user's choice of it, kept for the next Save As.
bool ReadSaveWorldFile();
void WriteSaveWorldFile(bool save);

// The number of tiles a cache of the given size holds, at an assumed 9000 bytes a tile:
// megabytes x 1,048,576 / 9000, whole tiles. A size below 1 allows no tiles.
int64_t TileLimitFromCacheSize(int32_t maxCacheSizeMegabytes);

}  // namespace quorvil
