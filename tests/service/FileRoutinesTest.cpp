#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>

#include "service/SystemSupport.h"
#include "support/ScopedTimeZone.h"
#include "support/TempFolder.h"

namespace quorvil {
namespace {

using testing::TTempFolder;
using Clock = std::chrono::system_clock;

std::vector<std::string> Sorted(std::vector<std::string> list) {
  std::sort(list.begin(), list.end());
  return list;
}

std::tm Fields(int year, int month, int day, int hour, int minute, int second) {
  std::tm fields{};
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_hour = hour;
  fields.tm_min = minute;
  fields.tm_sec = second;
  fields.tm_isdst = -1;
  return fields;
}

Clock::time_point LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm local = Fields(year, month, day, hour, minute, second);
  return Clock::from_time_t(std::mktime(&local));
}

Clock::time_point UtcTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm utc = Fields(year, month, day, hour, minute, second);
  return Clock::from_time_t(::timegm(&utc));
}

TEST(ExtractNameBeforeDot, CutsAtTheFirstDot) {
  const struct {
    const char* name;
    const char* expected;
  } cases[] = {{"abc.TMP", "abc"}, {"abc", "abc"}, {"a.b.TMP", "a"}, {".hidden", ""}, {"", ""}};
  for (const auto& c : cases) EXPECT_EQ(ExtractNameBeforeDot(c.name), c.expected) << c.name;
}

TEST(MatchesFileMask, StarsQuestionMarksAndCase) {
  const struct {
    const char* name;
    const char* mask;
    bool expected;
  } cases[] = {
      {"0-10-18-1-2.TMP", "*.TMP", true},
      {"abc.tmp", "*.TMP", true},
      {"abc.TMP.part", "*.TMP", false},
      {"abcTMP", "*.TMP", false},
      {"a.b.TMP", "*.TMP", true},
      {"abc.TM", "*.TMP", false},
      {"abc", "a?c", true},
      {"abbc", "a?c", false},
      {"anything", "*", true},
      {"", "*", true},
      {"x.TMP", "*.*", true},
      {"aXbYc", "a*b*c", true},
      {"aXbY", "a*b*c", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MatchesFileMask(c.name, c.mask), c.expected) << c.name << " ~ " << c.mask;
}

TEST(ListFiles, MatchesTheMaskWithOrWithoutTrailingSeparator) {
  TTempFolder folder;
  folder.Write("abc.TMP");
  folder.Write("abc.def.TMP");
  folder.Write("low.tmp");
  folder.Write("other.txt");
  folder.Write("half.TMP-12.part");
  std::filesystem::create_directory(folder.Path() / "sub.TMP");

  const std::vector<std::string> whole = {"abc.TMP", "abc.def.TMP", "low.tmp", "sub.TMP"};
  const std::vector<std::string> cut = {"abc", "abc", "low", "sub"};
  for (const std::string& path : {folder.Path().string(), folder.Path().string() + "/"}) {
    SCOPED_TRACE(path);
    std::vector<std::string> withExtension{"kept"}, withoutExtension;
    ListFiles(withExtension, path, "*.TMP", true);
    ListFiles(withoutExtension, path, "*.TMP", false);
    ASSERT_FALSE(withExtension.empty());
    EXPECT_EQ(withExtension.front(), "kept");  // appends
    withExtension.erase(withExtension.begin());
    EXPECT_EQ(Sorted(withExtension), Sorted(whole));
    EXPECT_EQ(Sorted(withoutExtension), Sorted(cut));
  }
}

TEST(ListFiles, MissingFolderLeavesTheListAlone) {
  TTempFolder folder;
  std::vector<std::string> list{"x"};
  ListFiles(list, folder / "nowhere", "*", true);
  ListFilesByDate(list, folder / "nowhere", "*", true);
  EXPECT_EQ(list, std::vector<std::string>{"x"});
}

TEST(ListFilesByDate, StampIsLocalTimeAndSortsOldestFirst) {
  TTempFolder folder;
  folder.Write("abc.TMP");
  folder.Write("new.TMP");
  folder.Write("mid.TMP");
  folder.Write("twin.TMP");
  SetFileDateTime(folder / "abc.TMP", LocalTime(2002, 11, 5, 14, 30, 12));
  SetFileDateTime(folder / "new.TMP",
                  LocalTime(2024, 1, 2, 3, 4, 5) + std::chrono::milliseconds(7));
  SetFileDateTime(folder / "mid.TMP", LocalTime(2010, 6, 1, 23, 59, 58));
  SetFileDateTime(folder / "twin.TMP", LocalTime(2010, 6, 1, 23, 59, 58));

  std::vector<std::string> list;
  ListFilesByDate(list, folder.Path().string(), "*.TMP", false);
  EXPECT_EQ(Sorted(list), (std::vector<std::string>{
                              "20021105143012000=abc",
                              "20100601235958000=mid",
                              "20100601235958000=twin",
                              "20240102030405007=new",
                          }));
  list.clear();
  ListFilesByDate(list, folder.Path().string(), "abc.*", true);
  EXPECT_EQ(list, std::vector<std::string>{"20021105143012000=abc.TMP"});
}

TEST(FileStampText, IsTheLocalTimeOfTheZoneInForce) {
  // Fixed instants in UTC, read in zones east and west of it, in summer and in winter.
  const struct {
    const char* zone;
    Clock::time_point time;
    const char* stamp;
  } cases[] = {
      {"UTC0", UtcTime(2002, 11, 5, 14, 30, 12), "20021105143012000"},
      {"EST5EDT,M3.2.0,M11.1.0", UtcTime(2002, 11, 5, 19, 30, 12), "20021105143012000"},
      {"EST5EDT,M3.2.0,M11.1.0", UtcTime(2010, 6, 1, 3, 59, 58) + std::chrono::milliseconds(7),
       "20100531235958007"},
      {"CET-1CEST,M3.5.0,M10.5.0/3", UtcTime(2024, 1, 1, 0, 0, 0), "20240101010000000"},
      {"CET-1CEST,M3.5.0,M10.5.0/3", UtcTime(2023, 12, 31, 22, 59, 59), "20231231235959000"},
      // Clocks went back at 03:00 CEST on 29 October 2023: 02:30 comes twice.
      {"CET-1CEST,M3.5.0,M10.5.0/3", UtcTime(2023, 10, 29, 0, 30, 0), "20231029023000000"},
      {"CET-1CEST,M3.5.0,M10.5.0/3", UtcTime(2023, 10, 29, 1, 30, 0), "20231029023000000"},
  };
  for (const auto& c : cases) {
    testing::TScopedTimeZone zone(c.zone);
    EXPECT_EQ(FileStampText(c.time), c.stamp) << c.zone;
  }
}

TEST(SetFileDateTime, MovesTheLastWriteTimeAndIgnoresMissingFiles) {
  TTempFolder folder;
  folder.Write("a.TMP");
  const auto when = LocalTime(2001, 2, 3, 4, 5, 6);
  SetFileDateTime(folder / "a.TMP", when);
  struct stat info {};
  ASSERT_EQ(::stat((folder / "a.TMP").c_str(), &info), 0);
  EXPECT_EQ(info.st_mtim.tv_sec, Clock::to_time_t(when));
  EXPECT_NO_THROW(SetFileDateTime(folder / "missing.TMP", when));
  EXPECT_FALSE(std::filesystem::exists(folder / "missing.TMP"));
}

}  // namespace
}  // namespace quorvil
