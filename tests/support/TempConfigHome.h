#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

namespace quorvil {

// Points XDG_CONFIG_HOME at a fresh, empty temporary folder for one test and removes it
// afterwards, restoring the variable.
class TempConfigHomeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) saved_ = old;
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvil-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    home_ = pattern;
    setenv("XDG_CONFIG_HOME", home_.c_str(), 1);
  }
  void TearDown() override {
    if (saved_) {
      setenv("XDG_CONFIG_HOME", saved_->c_str(), 1);
    } else {
      unsetenv("XDG_CONFIG_HOME");
    }
    std::error_code ignored;
    std::filesystem::remove_all(home_, ignored);
  }

  std::filesystem::path StoreFolder() const { return home_ / "Quorvil"; }
  std::filesystem::path StoreFile() const { return StoreFolder() / "settings.db"; }

  std::filesystem::path home_;

 private:
  std::optional<std::string> saved_;
};

}  // namespace quorvil
