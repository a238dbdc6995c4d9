#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>

#include "platform/ProgramError.h"
#include "settings/RegistrySupport.h"
#include "support/TempConfigHome.h"

namespace quorvil {
namespace {

using RegistryTest = TempConfigHomeTest;
using Strings = std::vector<std::string>;

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EQuorvilError& e) {
    return e.what();
  }
  return "(no error)";
}

std::string FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void Sql(const std::filesystem::path& path, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

TEST_F(RegistryTest, FirstRunReadsGiveDefaultsAndCreateNothing) {
  EXPECT_FALSE(RegistryKeyExists("\\Preferences"));
  EXPECT_FALSE(RegistryKeyExists(""));
  EXPECT_FALSE(RegistryValueExists("\\Preferences", "MaxCacheSize"));
  EXPECT_EQ(ReadRegistryInteger("\\Preferences", "MaxCacheSize", 4), 4);
  EXPECT_EQ(ReadRegistryString("\\Preferences", "MeasurementSystem", "English"), "English");
  EXPECT_EQ(GetRegistryValueKind("\\Preferences", "MaxCacheSize"), TRegistryValueKind::rvkNone);
  EXPECT_TRUE(GetRegistrySubKeyNames().empty());
  Strings names{"left over"};
  GetRegistryValueNames("\\Favorites", names);
  EXPECT_TRUE(names.empty());
  EXPECT_FALSE(std::filesystem::exists(StoreFolder()));
}

TEST_F(RegistryTest, FirstWriteCreatesRootAndSubKeyTogether) {
  WriteRegistryInteger("\\Preferences", "MaxCacheSize", 25);
  EXPECT_TRUE(std::filesystem::is_regular_file(StoreFile()));
  EXPECT_EQ(std::filesystem::status(StoreFolder()).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_all);
  EXPECT_TRUE(RegistryKeyExists(""));
  EXPECT_TRUE(RegistryKeyExists("\\Preferences"));
  EXPECT_FALSE(RegistryKeyExists("\\Favorites"));
  EXPECT_EQ(ReadRegistryInteger("\\Preferences", "MaxCacheSize", 4), 25);
  WriteRegistryString("\\Places\\Recent\\Deep", "x", "y");
  EXPECT_EQ(GetRegistrySubKeyNames(),
            (Strings{"\\Preferences", "\\Places", "\\Places\\Recent", "\\Places\\Recent\\Deep"}));
}

TEST_F(RegistryTest, NamesIgnoreCaseAndKeepTheirWrittenCase) {
  struct {
    const char *writtenKey, *writtenName, *readKey, *readName;
  } const rows[] = {
      {"\\Favorites", "NY: Central Park", "\\favorites", "ny: central park"},
      {"\\Favorites", "Café Éclair", "\\FAVORITES", "CAFÉ éCLAIR"},
      {"\\Favorites", "Ærø Øst Åsen", "\\Favorites", "æRØ øST åSEN"},
      {"\\Favorites", "Łódź Ščítek", "\\Favorites", "łÓDŹ šČÍTEK"},
      {"\\Favorites", "Αθήνα Σ", "\\Favorites", "αΘΉΝΑ σ"},
      {"\\Favorites", "Москва Ёлка", "\\Favorites", "мОСКВА ёЛКА"},
      {"\\Favorites", "Ștefan cel Mare", "\\Favorites", "ștefan CEL mARE"},
      {"\\Favorites", "\u212Aelvin Park", "\\Favorites", "kelvin park"},
      {"\\Favorites", "Ⴇბილისი", "\\Favorites", "ⴇᲑᲘᲚᲘᲡᲘ"},
      {"\\Favorites", "Straße", "\\Favorites", "STRASSE"},
      {"\\Ключ\\Ünter", "v", "\\КЛЮЧ\\üNTER", "V"},
  };
  Strings expectedNames;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.writtenName);
    WriteRegistryString(row.writtenKey, row.writtenName, row.writtenName);
    EXPECT_TRUE(RegistryValueExists(row.readKey, row.readName));
    EXPECT_EQ(ReadRegistryString(row.readKey, row.readName, "default"), row.writtenName);
    // A write under another case changes the same value and keeps the first written name.
    WriteRegistryString(row.readKey, row.readName, "again");
    EXPECT_EQ(ReadRegistryString(row.writtenKey, row.writtenName, "default"), "again");
    if (std::string_view(row.writtenKey) == "\\Favorites") expectedNames.push_back(row.writtenName);
  }
  Strings names;
  GetRegistryValueNames("\\favorites", names);
  EXPECT_EQ(names, expectedNames);
  EXPECT_EQ(GetRegistrySubKeyNames(), (Strings{"\\Favorites", "\\Ключ", "\\Ключ\\Ünter"}));
  // Letters that merely look alike stay apart.
  EXPECT_FALSE(RegistryValueExists("\\Favorites", "Cafe Eclair"));
}

std::string StoredFolding(const std::filesystem::path& path) {
  sqlite3* db = nullptr;
  std::string folding = "(none)";
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* query = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT value FROM meta WHERE name = 'folding'", -1, &query,
                           nullptr) == SQLITE_OK &&
        sqlite3_step(query) == SQLITE_ROW) {
      folding = reinterpret_cast<const char*>(sqlite3_column_text(query, 0));
    }
    sqlite3_finalize(query);
  }
  sqlite3_close(db);
  return folding;
}

// A store as an earlier build left it: its own folding table, which kept "Ș", "Ț" and the
// Kelvin sign as they are, so names that differ only by their case were stored twice.
TEST_F(RegistryTest, StoreOfAnEarlierFoldingIsFoldedAgainOnOpen) {
  const struct {
    const char* name;
    const char* setup;
  } stores[] = {
      {"first schema", R"(
        CREATE TABLE keys(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL, name TEXT NOT NULL,
                          fold TEXT NOT NULL, UNIQUE(parent, fold));
        CREATE TABLE vals(id INTEGER PRIMARY KEY, key_id INTEGER NOT NULL REFERENCES keys(id),
                          name TEXT NOT NULL, fold TEXT NOT NULL, kind INTEGER NOT NULL, data,
                          UNIQUE(key_id, fold));
        PRAGMA application_id = 1364610131;
        PRAGMA user_version = 1;)"},
      {"another folding", R"(
        CREATE TABLE keys(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL, name TEXT NOT NULL,
                          fold TEXT NOT NULL, UNIQUE(parent, fold));
        CREATE TABLE vals(id INTEGER PRIMARY KEY, key_id INTEGER NOT NULL REFERENCES keys(id),
                          name TEXT NOT NULL, fold TEXT NOT NULL, kind INTEGER NOT NULL, data,
                          UNIQUE(key_id, fold));
        CREATE TABLE meta(name TEXT PRIMARY KEY, value TEXT NOT NULL);
        INSERT INTO meta VALUES('folding', 'some-other-folding');
        PRAGMA application_id = 1364610131;
        PRAGMA user_version = 2;)"},
  };
  constexpr const char* kContent = R"(
      INSERT INTO keys VALUES(1, 0, 'Software', 'software'), (2, 1, 'Quorvil', 'quorvil'),
        (3, 2, 'Favorites', 'favorites'), (4, 2, 'Țări', 'Țări'), (5, 2, 'ȚĂRI', 'ȚĂri'),
        (6, 4, 'Sub', 'sub'), (7, 5, 'SUB', 'SUB');
      INSERT INTO vals VALUES(1, 3, 'Ștefan', 'Ștefan', 2, 'first'),
        (2, 3, 'Kelvin', 'kelvin', 2, 'k'), (3, 3, 'ștefan', 'ștefan', 2, 'second'),
        (4, 3, char(8490) || 'ELVIN', char(8490) || 'elvin', 1, 7),
        (5, 4, 'a', 'a', 1, 1), (6, 5, 'B', 'b', 1, 2), (7, 5, 'A', 'a', 1, 3),
        (8, 7, 'deep', 'deep', 2, 'down');)";
  for (const auto& store : stores) {
    SCOPED_TRACE(store.name);
    std::filesystem::remove_all(StoreFolder());
    std::filesystem::create_directories(StoreFolder());
    Sql(StoreFile(), store.setup);
    Sql(StoreFile(), kContent);

    // The first read folds the store again; names that now fold alike are one, under the
    // name written first and with the data written later.
    EXPECT_EQ(ReadRegistryString("\\Favorites", "ȘTEFAN", ""), "second");
    EXPECT_NE(StoredFolding(StoreFile()), "some-other-folding");
    EXPECT_NE(StoredFolding(StoreFile()), "(none)");
    Strings names;
    GetRegistryValueNames("\\Favorites", names);
    EXPECT_EQ(names, (Strings{"Ștefan", "Kelvin"}));
    EXPECT_EQ(GetRegistryValueKind("\\Favorites", "kelvin"), TRegistryValueKind::rvkInteger);
    EXPECT_EQ(ReadRegistryInteger("\\țări", "A", 0), 3);
    EXPECT_EQ(ReadRegistryInteger("\\ȚĂRI", "b", 0), 2);
    EXPECT_EQ(ReadRegistryString("\\Țări\\sub", "DEEP", ""), "down");
    EXPECT_EQ(GetRegistrySubKeyNames(), (Strings{"\\Favorites", "\\Țări", "\\Țări\\Sub"}));
    // Writes go on with the new folding: no name is duplicated.
    WriteRegistryString("\\Favorites", "șTEFAN", "third");
    GetRegistryValueNames("\\Favorites", names);
    EXPECT_EQ(names.size(), 2u);
    EXPECT_EQ(ReadRegistryString("\\Favorites", "Ștefan", ""), "third");
  }
}

TEST_F(RegistryTest, ReadOfTheWrongKindIsAnError) {
  WriteRegistryInteger("\\Preferences", "MaxCacheSize", 4);
  WriteRegistryString("\\Preferences", "ServerAddress", "http://x/");
  WriteRegistryString("\\Preferences", "Digits", "12");
  EXPECT_EQ(ErrorOf([] { ReadRegistryString("\\Preferences", "maxcachesize", ""); }),
            "Invalid data type for 'maxcachesize'");
  EXPECT_EQ(ErrorOf([] { ReadRegistryInteger("\\Preferences", "ServerAddress", 0); }),
            "Invalid data type for 'ServerAddress'");
  EXPECT_EQ(ErrorOf([] { ReadRegistryInteger("\\Preferences", "Digits", 0); }),
            "Invalid data type for 'Digits'");
  // A write of the other kind replaces the value and its kind.
  WriteRegistryString("\\Preferences", "MaxCacheSize", "big");
  EXPECT_EQ(ReadRegistryString("\\Preferences", "MaxCacheSize", ""), "big");
  EXPECT_EQ(GetRegistryValueKind("\\Preferences", "MaxCacheSize"), TRegistryValueKind::rvkString);
}

TEST_F(RegistryTest, ValuesComeBackExactly) {
  for (int32_t value : {0, -1, 1, 10000, INT32_MIN, INT32_MAX}) {
    WriteRegistryInteger("\\Numbers", "n", value);
    EXPECT_EQ(ReadRegistryInteger("\\Numbers", "n", 77), value);
  }
  const std::string withNul("a\0b", 3);
  for (const std::string& text : {std::string(), std::string("Lon=-73.9|Lat=40.7|Zoom=3"),
                                  std::string("ünïcödé ✓"), withNul, std::string(70000, 'x')}) {
    WriteRegistryString("\\Texts", "t", text);
    EXPECT_EQ(ReadRegistryString("\\Texts", "t", "default"), text);
  }
  // Empty data is a value: not the default.
  WriteRegistryString("\\Texts", "empty", "");
  EXPECT_EQ(ReadRegistryString("\\Texts", "empty", "default"), "");
}

TEST_F(RegistryTest, EnumerationFollowsCreationOrder) {
  for (const char* name : {"Zulu", "alpha", "Mike", "Bravo"}) {
    WriteRegistryString("\\Favorites", name, name);
  }
  WriteRegistryString("\\Favorites", "ZULU", "changed");  // overwriting keeps the place
  DeleteRegistryValue("\\Favorites", "alpha");
  WriteRegistryString("\\Favorites", "Alpha", "back");  // recreated: now last
  Strings names{"stale"};
  GetRegistryValueNames("\\Favorites", names);
  EXPECT_EQ(names, (Strings{"Zulu", "Mike", "Bravo", "Alpha"}));
}

TEST_F(RegistryTest, DeleteRemovesQuietlyButNeedsTheKey) {
  WriteRegistryString("\\Favorites", "Home", "x");
  DeleteRegistryValue("\\Favorites", "HOME");
  EXPECT_FALSE(RegistryValueExists("\\Favorites", "Home"));
  DeleteRegistryValue("\\Favorites", "Home");     // already gone: quietly accepted
  EXPECT_TRUE(RegistryKeyExists("\\Favorites"));  // the emptied key stays
  Strings names{"stale"};
  GetRegistryValueNames("\\Favorites", names);
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(ErrorOf([] { DeleteRegistryValue("\\Missing", "Home"); }),
            "DeleteRegistryValue: Registry Key not found.");
}

TEST_F(RegistryTest, DeleteWithoutAStoreIsKeyNotFoundAndCreatesNothing) {
  EXPECT_EQ(ErrorOf([] { DeleteRegistryValue("\\Favorites", "Home"); }),
            "DeleteRegistryValue: Registry Key not found.");
  EXPECT_FALSE(std::filesystem::exists(StoreFolder()));
}

TEST_F(RegistryTest, ForeignOrDamagedFileIsReportedAndLeftAlone) {
  struct {
    const char* what;
    std::function<void(const std::filesystem::path&)> make;
    const char* problem;
  } const files[] = {
      {"text file", [](const auto& p) { std::ofstream(p) << "MaxCacheSize=4\n"; },
       "is not a settings database"},
      {"foreign database",
       [](const auto& p) { Sql(p, "CREATE TABLE t(x); INSERT INTO t VALUES(1);"); },
       "is not a settings database"},
      {"newer settings database",
       [](const auto& p) {
         WriteRegistryInteger("\\Preferences", "MaxCacheSize", 4);
         Sql(p, "PRAGMA user_version = 99");
       },
       "was written by a newer version of Quorvil"},
      {"damaged settings database",
       [](const auto& p) {
         for (int i = 0; i < 20; ++i) WriteRegistryInteger("\\Preferences", std::to_string(i), i);
         std::fstream f(p, std::ios::in | std::ios::out | std::ios::binary);
         f.seekp(4096);  // every page after the schema: tables and indexes
         f << std::string(std::filesystem::file_size(p) - 4096, '\xFF');
       },
       "is damaged: "},
  };
  const std::pair<const char*, std::function<void()>> operations[] = {
      {"ReadRegistryInteger", [] { ReadRegistryInteger("\\Preferences", "MaxCacheSize", 4); }},
      {"ReadRegistryString", [] { ReadRegistryString("\\Preferences", "ServerAddress", ""); }},
      {"RegistryValueExists", [] { RegistryValueExists("\\Preferences", "MaxCacheSize"); }},
      {"RegistryKeyExists", [] { RegistryKeyExists("\\Preferences"); }},
      {"GetRegistryValueNames",
       [] {
         Strings l;
         GetRegistryValueNames("\\Preferences", l);
       }},
      {"GetRegistrySubKeyNames", [] { GetRegistrySubKeyNames(); }},
      {"WriteRegistryInteger", [] { WriteRegistryInteger("\\Preferences", "MaxCacheSize", 8); }},
      {"WriteRegistryString", [] { WriteRegistryString("\\Favorites", "Home", "x"); }},
      {"DeleteRegistryValue", [] { DeleteRegistryValue("\\Preferences", "MaxCacheSize"); }},
  };
  for (const auto& file : files) {
    std::filesystem::remove_all(StoreFolder());
    std::filesystem::create_directories(StoreFolder());
    file.make(StoreFile());
    const auto before = FileBytes(StoreFile());
    for (const auto& [name, operation] : operations) {
      SCOPED_TRACE(std::string(file.what) + ", " + name);
      const auto error = ErrorOf(operation);
      EXPECT_EQ(error.find("The settings file '" + StoreFile().string() + "' " + file.problem), 0u)
          << error;
      EXPECT_EQ(FileBytes(StoreFile()), before);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(StoreFolder()), {}), 1);
  }
}

TEST_F(RegistryTest, SomethingElseInPlaceOfTheFileIsReported) {
  std::filesystem::create_directories(StoreFile());
  EXPECT_EQ(ErrorOf([] { ReadRegistryInteger("\\Preferences", "MaxCacheSize", 4); }),
            "The settings file '" + StoreFile().string() + "' is not a settings database");
  EXPECT_TRUE(std::filesystem::is_directory(StoreFile()));
}

TEST_F(RegistryTest, WriteThatCannotReachTheStoreFails) {
  std::ofstream(StoreFolder()) << "a file where the folder should be";
  EXPECT_EQ(ReadRegistryInteger("\\Preferences", "MaxCacheSize", 4), 4);
  EXPECT_EQ(ErrorOf([] { WriteRegistryInteger("\\Preferences", "MaxCacheSize", 8); }),
            "Failed to set data for 'MaxCacheSize'");
  EXPECT_EQ(ErrorOf([] { WriteRegistryString("\\Favorites", "Home", "x"); }),
            "Failed to set data for 'Home'");
}

// A store that cannot grow (a full disk; here the file size limit) names the value and the
// system's reason, and keeps what it held.
TEST_F(RegistryTest, WriteThatTheDiskCannotHoldSaysWhy) {
  WriteRegistryString("\\Favorites", "f0", "x");
  rlimit before{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
  rlimit small = before;
  small.rlim_cur = std::filesystem::file_size(StoreFile());
  const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::string error =
      ErrorOf([] { WriteRegistryString("\\Favorites", "f1", std::string(200000, 'x')); });
  setrlimit(RLIMIT_FSIZE, &before);
  signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(error, "Failed to set data for 'f1': " + std::string(std::strerror(EFBIG)));
  EXPECT_EQ(ReadRegistryString("\\Favorites", "f1", "none"), "none");
  EXPECT_EQ(ReadRegistryString("\\Favorites", "f0", "none"), "x");
}

TEST_F(RegistryTest, EmptyFileFromAnUnfinishedFirstWriteIsTakenAsNoStore) {
  std::filesystem::create_directories(StoreFolder());
  std::ofstream{StoreFile()};
  EXPECT_FALSE(RegistryKeyExists(""));
  EXPECT_EQ(std::filesystem::file_size(StoreFile()), 0u);
  WriteRegistryInteger("\\Preferences", "MaxCacheSize", 9);
  EXPECT_EQ(ReadRegistryInteger("\\Preferences", "MaxCacheSize", 4), 9);
}

TEST_F(RegistryTest, StorePathFollowsTheConfigHome) {
  const char* savedHome = std::getenv("HOME");
  const std::string home = savedHome ? savedHome : "";
  setenv("HOME", "/home/someone", 1);
  const struct {
    const char* xdg;  // nullptr: unset
    const char* expected;
  } rows[] = {
      {"/cfg", "/cfg/Quorvil/settings.db"},
      {nullptr, "/home/someone/.config/Quorvil/settings.db"},
      {"", "/home/someone/.config/Quorvil/settings.db"},
      {"relative/dir", "/home/someone/.config/Quorvil/settings.db"},
  };
  for (const auto& row : rows) {
    if (row.xdg) {
      setenv("XDG_CONFIG_HOME", row.xdg, 1);
    } else {
      unsetenv("XDG_CONFIG_HOME");
    }
    EXPECT_EQ(SettingsStorePath(), row.expected) << (row.xdg ? row.xdg : "(unset)");
  }
  setenv("HOME", home.c_str(), 1);
}

TEST_F(RegistryTest, TwoProcessesWritingTheSameValueLeaveAReadableStore) {
  constexpr int kWrites = 1000;
  const struct { const char *name, *text; } writers[] = {{"Shared", "first"}, {"SHARED", "second"}};
  std::vector<pid_t> children;
  for (const auto& writer : writers) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int status = 0;
      try {
        for (int i = 0; i < kWrites; ++i) {
          WriteRegistryString("\\Favorites", writer.name, writer.text);
          WriteRegistryInteger("\\Counts", writer.text, i + 1);
        }
      } catch (const std::exception& e) {
        fprintf(stderr, "writer %s: %s\n", writer.text, e.what());
        status = 1;
      }
      _exit(status);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = -1;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer failed";
  }
  const auto text = ReadRegistryString("\\Favorites", "shared", "");
  EXPECT_TRUE(text == "first" || text == "second") << text;
  Strings names;
  GetRegistryValueNames("\\Favorites", names);
  EXPECT_EQ(names.size(), 1u);
  EXPECT_EQ(ReadRegistryInteger("\\Counts", "first", 0), kWrites);
  EXPECT_EQ(ReadRegistryInteger("\\Counts", "second", 0), kWrites);

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(StoreFile().c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* check = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
  sqlite3_finalize(check);
  sqlite3_close(db);
}

}  // namespace
}  // namespace quorvil
