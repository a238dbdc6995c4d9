#include "settings/PreferencesSupport.h"

#include <filesystem>

#include "service/TerraServiceSoapSupport.h"
#include "settings/RegistrySupport.h"

namespace quorvil {
namespace {

// The program's own upper-casing is ASCII-only: "english" reads as English, but no
// locale-dependent letter does.
std::string AsciiUpper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

}  // namespace

bool IsEnglishMeasurementSystem() {
  return AsciiUpper(ReadRegistryString(kPreferencesKey, kMeasurementSystemValue,
                                       kDefaultMeasurementSystem)) == "ENGLISH";
}

TPreferences ReadPreferences() {
  TPreferences preferences;
  preferences.EnglishUnits = IsEnglishMeasurementSystem();
  preferences.ServerAddress =
      ReadRegistryString(kPreferencesKey, kServerAddressValue, kDefaultServiceEndpoint);
  preferences.MaxCacheSize =
      ReadRegistryInteger(kPreferencesKey, kMaxCacheSizeValue, kDefaultMaxCacheSize);
  preferences.CacheDeletePercent =
      ReadRegistryInteger(kPreferencesKey, kCacheDeletePercentValue, kDefaultCacheDeletePercent);
  const int32_t format = ReadRegistryInteger(kPreferencesKey, kCoordinateFormatValue, 0);
  if (format >= 0 && format <= static_cast<int32_t>(TCoordinateFormat::cfUtm)) {
    preferences.CoordinateFormat = static_cast<TCoordinateFormat>(format);
  }
  preferences.SmoothPaperMap = ReadRegistryInteger(kPreferencesKey, kSmoothPaperMapValue, 1) != 0;
  preferences.OpenWhereLeftOff =
      ReadRegistryInteger(kPreferencesKey, kOpenWhereLeftOffValue, 0) != 0;
  return preferences;
}

void WriteViewPreferences(const TPreferences& preferences) {
  WriteRegistryInteger(kPreferencesKey, kCoordinateFormatValue,
                       static_cast<int32_t>(preferences.CoordinateFormat));
  WriteRegistryInteger(kPreferencesKey, kSmoothPaperMapValue, preferences.SmoothPaperMap ? 1 : 0);
  WriteRegistryInteger(kPreferencesKey, kOpenWhereLeftOffValue,
                       preferences.OpenWhereLeftOff ? 1 : 0);
}

std::string ReadLastFolder(std::string_view value) {
  const std::string folder = ReadRegistryString(kPreferencesKey, value, "");
  std::error_code error;
  return !folder.empty() && std::filesystem::is_directory(folder, error) ? folder : std::string();
}

void WriteLastFolderOf(std::string_view value, const std::string& chosenFile) {
  const std::filesystem::path folder = std::filesystem::path(chosenFile).parent_path();
  if (!folder.empty()) WriteRegistryString(kPreferencesKey, value, folder.string());
}

std::string ReadLastView() { return ReadRegistryString(kPreferencesKey, kLastViewValue, ""); }

void WriteLastView(const std::string& historyEntry) {
  WriteRegistryString(kPreferencesKey, kLastViewValue, historyEntry);
}

bool ReadSaveWorldFile() {
  return ReadRegistryInteger(kPreferencesKey, kSaveWorldFileValue, 1) != 0;
}

void WriteSaveWorldFile(bool save) {
  WriteRegistryInteger(kPreferencesKey, kSaveWorldFileValue, save ? 1 : 0);
}

int64_t TileLimitFromCacheSize(int32_t maxCacheSizeMegabytes) {
  if (maxCacheSizeMegabytes < 1) return 0;
  // 64-bit: 10,000 MB is already more bytes than a 32-bit integer holds.
  return int64_t{maxCacheSizeMegabytes} * 1048576 / 9000;
}

}  // namespace quorvil
