#include "settings/PreferencesSupport.h"

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
  return preferences;
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
