#include <gtest/gtest.h>

#include "platform/ProgramError.h"
#include "service/TerraServiceSoapSupport.h"
#include "settings/PreferencesSupport.h"
#include "settings/RegistrySupport.h"
#include "support/TempConfigHome.h"

namespace quorvil {
namespace {

using PreferencesTest = TempConfigHomeTest;

TEST_F(PreferencesTest, EmptyStoreGivesTheDefaultsAndStaysEmpty) {
  const auto preferences = ReadPreferences();
  EXPECT_TRUE(preferences.EnglishUnits);
  EXPECT_EQ(preferences.ServerAddress, kDefaultServiceEndpoint);
  EXPECT_EQ(preferences.MaxCacheSize, 4);
  EXPECT_EQ(preferences.CacheDeletePercent, 10);
  EXPECT_TRUE(IsEnglishMeasurementSystem());
  EXPECT_FALSE(std::filesystem::exists(StoreFolder()));
}

TEST_F(PreferencesTest, StoredValuesAreUsedAsTheyAre) {
  WriteRegistryString("\\Preferences", "MeasurementSystem", "Metric");
  WriteRegistryString("\\Preferences", "ServerAddress", "");
  WriteRegistryInteger("\\Preferences", "MaxCacheSize", 10000);
  WriteRegistryInteger("\\Preferences", "CacheDeletePercent", 15);
  const auto preferences = ReadPreferences();
  EXPECT_FALSE(preferences.EnglishUnits);
  EXPECT_EQ(preferences.ServerAddress, "");  // handed on; the proxy factory picks the default
  EXPECT_EQ(preferences.MaxCacheSize, 10000);
  EXPECT_EQ(preferences.CacheDeletePercent, 15);
}

TEST_F(PreferencesTest, MeasurementSystemIsEnglishInAnyLetterCaseOnly) {
  const struct {
    const char* stored;
    bool english;
  } rows[] = {{"English", true},   {"english", true},  {"ENGLISH", true},   {"eNgLiSh", true},
              {"Metric", false},   {"", false},        {"English ", false}, {" English", false},
              {"Englisch", false}, {"Imperial", false}};
  for (const auto& row : rows) {
    WriteRegistryString("\\Preferences", "MeasurementSystem", row.stored);
    EXPECT_EQ(IsEnglishMeasurementSystem(), row.english) << '"' << row.stored << '"';
    EXPECT_EQ(ReadPreferences().EnglishUnits, row.english) << '"' << row.stored << '"';
  }
}

TEST_F(PreferencesTest, WrongKindReachesTheCaller) {
  WriteRegistryString("\\Preferences", "MaxCacheSize", "4");
  try {
    ReadPreferences();
    FAIL() << "no error";
  } catch (const EQuorvilError& e) {
    EXPECT_STREQ(e.what(), "Invalid data type for 'MaxCacheSize'");
  }
}

TEST(TileLimitFromCacheSize, KnownSizes) {
  const struct {
    int32_t megabytes;
    int64_t tiles;
  } rows[] = {{1, 116}, {4, 466}, {2048, 238609}, {10000, 1165084}, {0, 0}, {-5, 0}};
  for (const auto& row : rows) {
    EXPECT_EQ(TileLimitFromCacheSize(row.megabytes), row.tiles) << row.megabytes;
  }
}

TEST(TileLimitFromCacheSize, IsTheWholeNumberOfTilesThatFitOverTheAcceptedRange) {
  for (int32_t megabytes = 1; megabytes <= 10000; ++megabytes) {
    const int64_t tiles = TileLimitFromCacheSize(megabytes);
    const int64_t bytes = int64_t{megabytes} << 20;
    ASSERT_LE(tiles * 9000, bytes) << megabytes;
    ASSERT_GT((tiles + 1) * 9000, bytes) << megabytes;
  }
}

}  // namespace
}  // namespace quorvil
