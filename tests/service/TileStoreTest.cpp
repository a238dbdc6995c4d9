#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>

#include "platform/ProgramError.h"
#include "service/SystemSupport.h"
#include "service/TerraServiceSupport.h"
#include "support/FakeTerraService.h"
#include "support/ScriptedPrompter.h"
#include "support/TempFolder.h"

namespace quorvil {
namespace {

namespace fs = std::filesystem;
using testing::TFakeTerraService;
using testing::TTempFolder;
using Clock = std::chrono::system_clock;

const TileId kTile{Theme::Topo, Scale::Scale2m, 18, -3, 7};

std::vector<std::uint8_t> SomeBytes(int seed, std::size_t count = 700) {
  std::vector<std::uint8_t> bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + seed);
  return bytes;
}

std::vector<std::uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::int64_t ModifiedSeconds(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_mtim.tv_sec : -1;
}

class TileStore : public ::testing::Test {
 protected:
  void Start(std::int64_t limit = 466, int percent = 10) {
    InitializeTileService(service, "http://test/terraservice.asmx", cache, limit, percent);
  }
  void TearDown() override { FinalizeTileService(); }

  std::vector<std::uint8_t> Load(const TileId& id) {
    TMemoryStream stream;
    LoadTileToStream(stream, id);
    EXPECT_EQ(stream.Position(), 0);
    return stream.Bytes();
  }
  std::string CacheFile(const std::string& name) const { return cache + "/" + name + ".TMP"; }
  int FilesIn(const std::string& folder) const {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++count;
    return count;
  }

  TTempFolder temp;
  std::string cache = temp / "Cache";
  std::shared_ptr<TFakeTerraService> service = std::make_shared<TFakeTerraService>();
};

TEST(TileName, FieldsJoinedByDashesWithOrdinals) {
  EXPECT_EQ(TileName(kTile), "1-11-18--3-7");
  EXPECT_EQ(TileName({Theme::Photo, Scale::Scale1m, 18, 5863, 45097}), "0-10-18-5863-45097");
  EXPECT_EQ(TileName({Theme::Relief, Scale::Scale64m, -1, 0, -2147483647 - 1}),
            "2-16--1-0--2147483648");
}

TEST(DecodeBase64ToStream, SkipsWhatIsOutsideTheAlphabet) {
  const struct {
    const char* text;
    std::string expected;
  } cases[] = {
      {"", ""},
      {"TWFu", "Man"},
      {"TWE=", "Ma"},
      {"TQ==", "M"},
      {"TW\r\nFu\n", "Man"},
      {" T W F u ", "Man"},
      {"TWFuTWFu", "ManMan"},
      {"TQ==TWFu", "M"},  // the padding ends the data
      {"+/+/", "\xfb\xff\xbf"},
  };
  for (const auto& c : cases) {
    TMemoryStream stream;
    DecodeBase64ToStream(c.text, stream);
    EXPECT_EQ(std::string(stream.Bytes().begin(), stream.Bytes().end()), c.expected) << c.text;
  }
  // And a whole binary file through our encoder.
  const auto bytes = SomeBytes(3, 1001);
  std::string text = testing::EncodeBase64(bytes);
  for (std::size_t at = 76; at < text.size(); at += 78) text.insert(at, "\r\n");
  TMemoryStream stream;
  DecodeBase64ToStream(text, stream);
  EXPECT_EQ(stream.Bytes(), bytes);
}

TEST_F(TileStore, DownloadWritesTheRawFileAndIndexesIt) {
  Start();
  service->SetTile(kTile, SomeBytes(1));
  EXPECT_EQ(Load(kTile), SomeBytes(1));
  EXPECT_EQ(service->tileRequests, std::vector<std::string>{"1-11-18--3-7"});
  EXPECT_EQ(FileBytes(CacheFile("1-11-18--3-7")), SomeBytes(1));
  EXPECT_TRUE(TileIndexContains("1-11-18--3-7"));
  EXPECT_EQ(TileIndexCount(), 1);
  EXPECT_EQ(FilesIn(cache), 1);  // no temporary file left behind
}

TEST_F(TileStore, CacheHitReadsTheFileAndMovesItsTimeStamp) {
  Start();
  service->SetTile(kTile, SomeBytes(1));
  Load(kTile);
  const auto old = Clock::now() - std::chrono::hours(48);
  SetFileDateTime(CacheFile(TileName(kTile)), old);
  service->tiles.clear();  // a second download would now fail

  EXPECT_EQ(Load(kTile), SomeBytes(1));
  EXPECT_EQ(service->CallCount("GetTile"), 1);
  EXPECT_GE(ModifiedSeconds(CacheFile(TileName(kTile))), Clock::to_time_t(Clock::now()) - 5);
}

TEST_F(TileStore, VanishedFileIsDownloadedAgain) {
  Start();
  service->SetTile(kTile, SomeBytes(1));
  Load(kTile);
  fs::remove(CacheFile(TileName(kTile)));
  service->SetTile(kTile, SomeBytes(2));
  EXPECT_EQ(Load(kTile), SomeBytes(2));
  EXPECT_EQ(service->CallCount("GetTile"), 2);
  EXPECT_EQ(FileBytes(CacheFile(TileName(kTile))), SomeBytes(2));
  EXPECT_EQ(TileIndexCount(), 1);
}

TEST_F(TileStore, EmptyAnswerIsAnErrorAndLeavesNoFile) {
  Start();
  for (const char* answer : {"", "\r\n", "===="}) {
    SCOPED_TRACE(answer);
    service->tiles[TileName(kTile)] = answer;
    try {
      Load(kTile);
      FAIL() << "no error";
    } catch (const ETileMissing& error) {  // its own type, which pictures draw past
      EXPECT_STREQ(error.what(), "LoadTileToStream: No tile data returned.");
    }
    EXPECT_FALSE(fs::exists(CacheFile(TileName(kTile))));
    EXPECT_EQ(TileIndexCount(), 0);
    EXPECT_EQ(FilesIn(cache), 0);
  }
}

TEST_F(TileStore, ServiceErrorsPassUnchangedWithoutAPrompt) {
  Start();
  auto prompter = std::make_shared<testing::TScriptedPrompter>();
  TScopedPrompter installed(prompter);
  service->failures = 1;
  service->failureMessage = "HTTP error 500";
  try {
    Load(kTile);
    FAIL() << "no error";
  } catch (const EQuorvilError& error) {
    EXPECT_STREQ(error.what(), "HTTP error 500");
  }
  EXPECT_TRUE(prompter->asked.empty());
  EXPECT_EQ(TileIndexCount(), 0);
}

TEST_F(TileStore, IndexIsReadFromTheFolderAtStart) {
  fs::create_directories(cache);
  for (const char* name :
       {"0-10-18-1-1.TMP", "abc.def.TMP", "lower.tmp", "note.txt", "0-10-18-1-2.TMP-99.part"})
    temp.Write("Cache/" + std::string(name));
  Start();
  EXPECT_EQ(TileIndexCount(), 3);
  for (const char* name : {"0-10-18-1-1", "abc", "lower"}) EXPECT_TRUE(TileIndexContains(name));
  EXPECT_EQ(TileCacheFolder(), cache + "/");

  // A restart reads it again; a missing folder gives an empty index.
  InitializeTileService(service, "", temp / "none", 466, 10);
  EXPECT_EQ(TileIndexCount(), 0);
}

TEST_F(TileStore, MissingCacheFolderIsCreatedOnTheFirstRequestForItsOwnerOnly) {
  cache = temp / "deeper/Cache";
  Start();
  service->SetTile(kTile, SomeBytes(1));
  Load(kTile);
  EXPECT_TRUE(fs::is_regular_file(CacheFile(TileName(kTile))));
  for (const fs::path folder : {temp / "deeper", temp / "deeper/Cache"}) {
    EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all) << folder;
  }
}

TEST_F(TileStore, WhatIsNoTileFileUnderATileNameIsReplacedByADownload) {
  const std::string outside = temp / "outside.jpg";
  const struct {
    const char* name;
    std::function<void(const std::string& path)> make;
    bool fromCache;  // the thing under the name is read as the tile
    bool replaced;   // a regular file with the service's bytes is there afterwards
  } cases[] = {
      {"an empty folder", [](const std::string& path) { fs::create_directory(path); }, false, true},
      {"a link to a file elsewhere",
       [&](const std::string& path) { fs::create_symlink(outside, path); }, false, true},
      {"a link to an endless device",
       [](const std::string& path) { fs::create_symlink("/dev/zero", path); }, false, true},
      {"a fifo", [](const std::string& path) { ::mkfifo(path.c_str(), 0644); }, false, true},
      {"a file over 256 KB",
       [](const std::string& path) { std::ofstream(path) << std::string(256 * 1024 + 1, 'x'); },
       false, true},
      {"a file of 256 KB",
       [](const std::string& path) { std::ofstream(path) << std::string(256 * 1024, 'x'); }, true,
       false},
      {"a folder with a file in it",
       [](const std::string& path) {
         fs::create_directory(path);
         std::ofstream(path + "/keep") << "mine";
       },
       false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(cache);
    fs::create_directories(cache);
    std::ofstream(outside) << "not a tile, and not the cache's";
    const std::string path = CacheFile(TileName(kTile));
    c.make(path);
    Start();
    ASSERT_TRUE(TileIndexContains(TileName(kTile)));
    service->SetTile(kTile, SomeBytes(1));
    service->tileRequests.clear();

    const auto bytes = Load(kTile);  // neither blocks nor fails
    EXPECT_EQ(bytes.size() == 256 * 1024, c.fromCache);
    EXPECT_EQ(service->tileRequests.size(), c.fromCache ? 0u : 1u);
    if (!c.fromCache) {
      EXPECT_EQ(bytes, SomeBytes(1));
    }
    EXPECT_EQ(fs::is_regular_file(fs::symlink_status(path)), c.replaced || c.fromCache);
    if (c.replaced) {
      EXPECT_EQ(FileBytes(path), SomeBytes(1));
    }
    EXPECT_EQ(TileIndexContains(TileName(kTile)), c.replaced || c.fromCache);
    EXPECT_EQ(FileBytes(outside).size(), 31u);  // what a link pointed at is left alone
    // What could not be replaced is said once, and stays as it was.
    const std::string warning = TakeTileCacheWarning();
    EXPECT_EQ(warning.starts_with("Tiles are not being kept: Cannot write the cache file \"" +
                                  path + "\""),
              !c.replaced && !c.fromCache)
        << warning;
    if (!c.replaced && !c.fromCache) {
      EXPECT_EQ(FileBytes(path + "/keep").size(), 4u);
    }
  }
}

TEST_F(TileStore, CacheThatCannotBeWrittenStillDeliversTilesAndSaysSoOnce) {
  temp.Write("file");
  cache = temp / "file/Cache";  // below a file: never a folder
  Start();
  const TileId other{Theme::Photo, Scale::Scale1m, 18, 1, 1};
  service->SetTile(kTile, SomeBytes(1));
  service->SetTile(other, SomeBytes(2));
  EXPECT_EQ(Load(kTile), SomeBytes(1));
  const std::string warning = TakeTileCacheWarning();
  EXPECT_EQ(warning, "Tiles are not being kept: Cannot write the cache file \"" +
                         CacheFile(TileName(kTile)) + "\": Not a directory");
  EXPECT_EQ(Load(other), SomeBytes(2));
  EXPECT_EQ(Load(kTile), SomeBytes(1));  // downloaded again: nothing was kept
  EXPECT_EQ(TakeTileCacheWarning(), "");
  EXPECT_EQ(service->CallCount("GetTile"), 3);
  EXPECT_EQ(TileIndexCount(), 0);

  // A new start says it again.
  Start();
  Load(kTile);
  EXPECT_NE(TakeTileCacheWarning(), "");
}

TEST_F(TileStore, NoCacheFolderKeepsNoTilesAnywhereAndSaysSoOnce) {
  const fs::path working = fs::current_path();
  fs::current_path(temp.Path());  // where a relative tile file would land
  cache = "";
  Start();
  service->SetTile(kTile, SomeBytes(1));
  EXPECT_EQ(Load(kTile), SomeBytes(1));
  EXPECT_EQ(Load(kTile), SomeBytes(1));
  EXPECT_EQ(TakeTileCacheWarning(),
            "Tiles are not being kept: There is no home folder to keep the tile cache in");
  EXPECT_EQ(TakeTileCacheWarning(), "");
  EXPECT_EQ(FilesIn(temp.Path()), 0);
  fs::current_path(working);
}

// A process id that is surely not running: a child that has ended and been reaped.
pid_t EndedProcess() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

TEST_F(TileStore, TemporaryFilesOfCrashedWritersAreRemovedAtStart) {
  const std::string dead = std::to_string(EndedProcess());
  const std::string alive = std::to_string(::getppid());
  const std::string self = std::to_string(::getpid());
  const struct {
    std::string name;
    int minutesOld;
    bool removed;
  } cases[] = {
      {"0-10-18-1-1.TMP-" + dead + "-0.part", 0, true},    // its writer has ended
      {"0-10-18-1-2.TMP-" + dead + ".part", 0, true},      // the older naming
      {"0-10-18-1-3.TMP-" + alive + "-4.part", 0, false},  // written now by another program
      {"0-10-18-1-4.TMP-" + self + "-7.part", 0, false},   // or by this one
      {"0-10-18-1-5.TMP-" + alive + "-4.part", 11, true},  // no write takes that long
      {"odd.part", 11, true},
      {"odd2.PART", 0, false},
  };
  fs::create_directories(cache);
  for (const auto& c : cases) {
    temp.Write("Cache/" + c.name);
    SetFileDateTime(cache + "/" + c.name, Clock::now() - std::chrono::minutes(c.minutesOld));
  }
  Start();
  for (const auto& c : cases) EXPECT_EQ(fs::exists(cache + "/" + c.name), !c.removed) << c.name;
  EXPECT_EQ(TileIndexCount(), 0);
}

TEST_F(TileStore, DiscardedTileIsGoneFromFolderAndIndex) {
  Start();
  service->SetTile(kTile, SomeBytes(1));
  Load(kTile);
  DiscardCachedTile(kTile);
  EXPECT_FALSE(fs::exists(CacheFile(TileName(kTile))));
  EXPECT_FALSE(TileIndexContains(TileName(kTile)));
  Load(kTile);
  EXPECT_EQ(service->CallCount("GetTile"), 2);
}

// Fills the cache folder with `count` files, file i last used i minutes after a day ago.
void FillCache(const std::string& folder, int count) {
  fs::create_directories(folder);
  const auto start = Clock::now() - std::chrono::hours(24);
  for (int i = 0; i < count; ++i) {
    const std::string path = folder + "/0-10-18-" + std::to_string(i) + "-0.TMP";
    std::ofstream(path) << i;
    SetFileDateTime(path, start + std::chrono::minutes(i));
  }
}

TEST_F(TileStore, TrimDeletesTheExcessAndTheDeleteShareOldestFirst) {
  const struct {
    int files;
    std::int64_t limit;
    int percent;
    bool overLimit;
    int deleted;
  } cases[] = {
      {466, 466, 10, false, 0}, {467, 466, 10, true, 48}, {467, 466, 50, true, 235},
      {500, 466, 10, true, 81}, {30, 10, 50, true, 26},   {5, 0, 10, true, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.files) + " files, limit " + std::to_string(c.limit) + ", " +
                 std::to_string(c.percent) + "%");
    fs::remove_all(cache);
    FillCache(cache, c.files);
    Start(c.limit, c.percent);
    EXPECT_EQ(CacheOverLimit(), c.overLimit);
    if (!c.overLimit) continue;
    TrimTileCache();
    EXPECT_EQ(FilesIn(cache), c.files - c.deleted);
    EXPECT_EQ(TileIndexCount(), c.files - c.deleted);
    for (int i = 0; i < c.files; ++i) {
      const std::string name = "0-10-18-" + std::to_string(i) + "-0";
      EXPECT_EQ(fs::exists(CacheFile(name)), i >= c.deleted) << name;
      EXPECT_EQ(TileIndexContains(name), i >= c.deleted) << name;
    }
  }
}

// Sets the time zone for the life of the object.
class TTimeZone {
 public:
  explicit TTimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) previous_ = old;
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  ~TTimeZone() {
    if (previous_) {
      ::setenv("TZ", previous_->c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
  }

 private:
  std::optional<std::string> previous_;
};

TEST_F(TileStore, TrimGoesByTheLastUseItselfNotItsLocalTimeText) {
  // 5 November 2023: New York's clocks go back from 2:00 EDT to 1:00 EST.
  const auto utc = [](int hour, int minute) {
    return Clock::from_time_t(1699142400) + std::chrono::hours(hour) + std::chrono::minutes(minute);
  };
  const struct {
    const char* zone;
    std::vector<Clock::time_point> lastUses;  // of files a, b, c
    const char* oldest;
  } cases[] = {
      // 1:30 EDT, then 1:10 EST and 1:20 EST: the local times read b, c, a.
      {"America/New_York", {utc(5, 30), utc(6, 10), utc(6, 20)}, "a"},
      {"UTC", {utc(5, 30), utc(6, 10), utc(6, 20)}, "a"},
      {"America/New_York", {utc(6, 20), utc(5, 30), utc(6, 10)}, "b"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.zone) + ", oldest " + c.oldest);
    TTimeZone zone(c.zone);
    fs::remove_all(cache);
    fs::create_directories(cache);
    for (std::size_t i = 0; i < c.lastUses.size(); ++i) {
      const std::string name(1, static_cast<char>('a' + i));
      temp.Write("Cache/" + name + ".TMP");
      SetFileDateTime(CacheFile(name), c.lastUses[i]);
    }
    Start(3, 0);  // a trim now deletes one file
    TrimTileCache();
    EXPECT_FALSE(fs::exists(CacheFile(c.oldest)));
    EXPECT_EQ(FilesIn(cache), 2);
    EXPECT_EQ(TileIndexCount(), 2);
  }
}

TEST(TrimDeleteCount, FollowsTheLimitArithmetic) {
  EXPECT_EQ(TrimDeleteCount(467, 466, 10), 48);
  EXPECT_EQ(TrimDeleteCount(467, 466, 50), 235);
  EXPECT_EQ(TrimDeleteCount(400, 466, 10), 0);  // n < 0
  EXPECT_EQ(TrimDeleteCount(420, 466, 10), 1);  // n = 0 still takes entry 0
  EXPECT_EQ(TrimDeleteCount(3, 2, 100), 3);     // never more than there are
  EXPECT_EQ(TrimDeleteCount(1'165'085, 1'165'084, 50), 582'544);
}

TEST_F(TileStore, TrimLeavesNoNameWhoseFileIsGone) {
  FillCache(cache, 500);
  Start(466, 10);
  // 150 files vanish behind the store: the folder is under the limit, the index not.
  for (int i = 100; i < 250; ++i) fs::remove(CacheFile("0-10-18-" + std::to_string(i) + "-0"));
  ASSERT_TRUE(CacheOverLimit());
  TrimTileCache();
  EXPECT_EQ(FilesIn(cache), 350);  // nothing deleted
  EXPECT_EQ(TileIndexCount(), 350);
  EXPECT_FALSE(CacheOverLimit());
  EXPECT_FALSE(TileIndexContains("0-10-18-100-0"));
}

TEST(TileStoreNotStarted, CallsFailClearly) {
  FinalizeTileService();
  TMemoryStream stream;
  EXPECT_THROW(LoadTileToStream(stream, kTile), EQuorvilError);
  EXPECT_THROW(TrimTileCache(), EQuorvilError);
  EXPECT_FALSE(CacheOverLimit());
  EXPECT_NO_THROW(RemoveFromTileIndex("x"));
  EXPECT_NO_THROW(FinalizeTileService());
}

TEST(UserCacheFolder, BelowTheHomeOfThePasswordDatabaseWhenHomeIsUnset) {
  if (std::getenv("XDG_CACHE_HOME") != nullptr) GTEST_SKIP() << "the cache folder is set";
  const std::string home = std::getenv("HOME");
  unsetenv("HOME");  // never /tmp, where anyone may plant tiles
  const std::string folder = UserCacheFolder();
  setenv("HOME", home.c_str(), 1);
  EXPECT_EQ(folder, std::string(::getpwuid(::getuid())->pw_dir) + "/.cache/Quorvil/Cache/");
}

TEST(ProgramCacheFolder, BesideTheProgramWhenWritableElseTheUserCache) {
  const std::string folder = ProgramCacheFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  const fs::path program = fs::read_symlink("/proc/self/exe");
  const bool besideProgram = folder == (program.parent_path() / "Cache").string() + "/";
  const bool userCache = folder.ends_with("/Quorvil/Cache/");
  EXPECT_TRUE(besideProgram || userCache) << folder;
  if (::access(program.parent_path().c_str(), W_OK) == 0) {
    EXPECT_TRUE(besideProgram);
  }
}

}  // namespace
}  // namespace quorvil
