#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "settings/VersionSupport.h"

extern char** environ;

namespace quorvil {
namespace {

#ifdef QUORVIL_SETTINGS_PATH
constexpr const char* kTool = QUORVIL_SETTINGS_PATH;
#else
constexpr const char* kTool = nullptr;
#endif

std::string FileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

struct TRun {
  int exitCode = -1;
  std::string out, err;
};

class SettingsToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!kTool) GTEST_SKIP() << "quorvil-settings is not built";
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvil-tool-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
  }

  // Runs the tool with its settings in this test's folder.
  TRun Run(const std::vector<std::string>& args) {
    std::vector<std::string> env{"XDG_CONFIG_HOME=" + (dir_ / "config").string()};
    for (char** e = environ; *e; ++e) {
      if (std::string_view(*e).rfind("XDG_CONFIG_HOME=", 0) != 0) env.emplace_back(*e);
    }
    std::vector<char*> argv{const_cast<char*>(kTool)}, envp;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    const auto outFile = dir_ / "out", errFile = dir_ / "err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid = -1;
    TRun run;
    if (posix_spawn(&pid, kTool, &actions, nullptr, argv.data(), envp.data()) == 0) {
      int status = 0;
      waitpid(pid, &status, 0);
      run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = FileText(outFile);
    run.err = FileText(errFile);
    return run;
  }

  std::filesystem::path StoreFile() const { return dir_ / "config" / "Quorvil" / "settings.db"; }

  std::filesystem::path dir_;
};

TEST_F(SettingsToolTest, CommandsReadAndChangeTheStore) {
  const struct {
    std::vector<std::string> args;
    int exitCode;
    const char *out, *err;
  } steps[] = {
      {{"keys"}, 0, "", ""},
      {{"list"}, 0, "", ""},
      {{"get", "\\Preferences", "MaxCacheSize"},
       1,
       "",
       "Value 'MaxCacheSize' not found in '\\Preferences'.\n"},
      {{"list", "\\Preferences"}, 1, "", "Key '\\Preferences' not found.\n"},
      {{"delete", "\\Favorites", "Home"}, 1, "", "DeleteRegistryValue: Registry Key not found.\n"},
      {{"set-integer", "\\Preferences", "MaxCacheSize", "25"}, 0, "", ""},
      {{"set-string", "\\Preferences", "MeasurementSystem", "Metric"}, 0, "", ""},
      {{"set-string", "\\Favorites", "NY: Central Park", "Lon=-73.965|Lat=40.784|Zoom=3"},
       0,
       "",
       ""},
      {{"set-string", "\\Favorites", "Café", ""}, 0, "", ""},
      {{"set-integer", "\\Preferences", "CacheDeletePercent", "-2147483648"}, 0, "", ""},
      {{"get", "\\preferences", "maxcachesize"}, 0, "25\n", ""},
      {{"get", "\\FAVORITES", "ny: central park"}, 0, "Lon=-73.965|Lat=40.784|Zoom=3\n", ""},
      {{"get", "\\Favorites", "CAFÉ"}, 0, "\n", ""},
      {{"keys"}, 0, "\\Preferences\n\\Favorites\n", ""},
      {{"list", "\\Preferences"},
       0,
       "MaxCacheSize\tinteger\t25\nMeasurementSystem\tstring\tMetric\n"
       "CacheDeletePercent\tinteger\t-2147483648\n",
       ""},
      {{"list"},
       0,
       "\\Preferences\tMaxCacheSize\tinteger\t25\n\\Preferences\tMeasurementSystem\tstring\tMetric"
       "\n"
       "\\Preferences\tCacheDeletePercent\tinteger\t-2147483648\n"
       "\\Favorites\tNY: Central Park\tstring\tLon=-73.965|Lat=40.784|Zoom=3\n"
       "\\Favorites\tCafé\tstring\t\n",
       ""},
      {{"delete", "\\Favorites", "ny: CENTRAL park"}, 0, "", ""},
      {{"delete", "\\Favorites", "NY: Central Park"}, 0, "", ""},
      {{"list", "\\Favorites"}, 0, "Café\tstring\t\n", ""},
      {{"set-integer", "\\Preferences", "MaxCacheSize", "2147483648"},
       2,
       "",
       "quorvil-settings: not a 32-bit integer: '2147483648'\nTry 'quorvil-settings --help'.\n"},
      {{"set-integer", "\\Preferences", "MaxCacheSize", "4.5"},
       2,
       "",
       "quorvil-settings: not a 32-bit integer: '4.5'\nTry 'quorvil-settings --help'.\n"},
      {{"get", "\\Preferences", "MaxCacheSize"}, 0, "25\n", ""},
      {{"get", "\\Preferences"},
       2,
       "",
       "quorvil-settings: wrong number of arguments for 'get'\nTry 'quorvil-settings --help'.\n"},
      {{"frobnicate"},
       2,
       "",
       "quorvil-settings: unknown command 'frobnicate'\nTry 'quorvil-settings --help'.\n"},
      {{}, 2, "", "quorvil-settings: no command given\nTry 'quorvil-settings --help'.\n"},
  };
  for (const auto& step : steps) {
    std::string line;
    for (const auto& a : step.args) line += a + " ";
    SCOPED_TRACE(line);
    const auto run = Run(step.args);
    EXPECT_EQ(run.exitCode, step.exitCode);
    EXPECT_EQ(run.out, step.out);
    EXPECT_EQ(run.err, step.err);
  }
}

TEST_F(SettingsToolTest, ReadingCommandsCreateNothing) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"keys"},
                                               {"list"},
                                               {"get", "\\Preferences", "X"},
                                               {"delete", "\\Preferences", "X"},
                                               {"--help"}}) {
    Run(args);
  }
  EXPECT_FALSE(std::filesystem::exists(dir_ / "config"));
}

TEST_F(SettingsToolTest, StoreErrorsAreTheStoresOwnMessages) {
  ASSERT_EQ(Run({"set-integer", "\\Preferences", "MaxCacheSize", "4"}).exitCode, 0);
  std::ofstream(StoreFile(), std::ios::trunc) << "not a database\n";
  const auto run = Run({"get", "\\Preferences", "MaxCacheSize"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err,
            "The settings file '" + StoreFile().string() + "' is not a settings database\n");
  EXPECT_EQ(FileText(StoreFile()), "not a database\n");
}

// The version CMake configured, read from the build's cache: major.minor.patch.build.
std::string ConfiguredVersion() {
  std::ifstream cache(std::string(QUORVIL_BINARY_DIR) + "/CMakeCache.txt");
  std::map<std::string, std::string> entries;
  for (std::string line; std::getline(cache, line);) {
    const auto colon = line.find(':'), equals = line.find('=');
    if (colon != std::string::npos && equals != std::string::npos && colon < equals) {
      entries[line.substr(0, colon)] = line.substr(equals + 1);
    }
  }
  const auto part = [&](const char* name) {
    const auto& value = entries[name];
    return value.empty() ? std::string("0") : value;
  };
  return part("CMAKE_PROJECT_VERSION_MAJOR") + "." + part("CMAKE_PROJECT_VERSION_MINOR") + "." +
         part("CMAKE_PROJECT_VERSION_PATCH") + "." + part("QUORVIL_BUILD_NUMBER");
}

TEST_F(SettingsToolTest, TheToolCarriesTheConfiguredVersion) {
  const auto expected = ConfiguredVersion();
  ASSERT_NE(expected, "0.0.0.0");
  EXPECT_EQ(FileVersionToString(GetFileVersion(kTool)), expected);
  const auto run = Run({"--version"});
  EXPECT_EQ(run.out, "quorvil-settings " + expected + "\n");
}

}  // namespace
}  // namespace quorvil
