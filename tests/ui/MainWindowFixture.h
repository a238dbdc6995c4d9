#pragma once

// The main window under test: a fresh settings store and tile cache, a scripted
// prompter, and the tile store started on a service double instead of the network.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAction>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "imagery/MosaicSupport.h"
#include "service/TerraServiceSupport.h"
#include "support/QtTestSupport.h"
#include "support/ScriptedPrompter.h"
#include "support/TempFolder.h"
#include "support/ViewServiceDouble.h"
#include "ui/main/Main.h"
#include "ui/main/MainImage.h"

namespace quorvil::testing {

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) savedConfig_ = old;
    setenv("XDG_CONFIG_HOME", config_.Path().c_str(), 1);
    // A wait that hangs is ended by aborting its transfer.
    WatchdogEndWaits() = [] { AbortServiceTransfers(); };
    service = std::make_shared<TViewServiceDouble>();
    window = std::make_unique<TfrmMain>([this](const TPreferences&) { StartStore(); });
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }

  void TearDown() override {
    window.reset();
    WatchdogEndWaits() = nullptr;
    if (savedConfig_) {
      setenv("XDG_CONFIG_HOME", savedConfig_->c_str(), 1);
    } else {
      unsetenv("XDG_CONFIG_HOME");
    }
  }

  // The tile store on the double, over an empty cache unless `keepCache`.
  void StartStore(bool keepCache = true, int connections = kDefaultTileConnections,
                  std::int64_t tileLimit = 1000000) {
    if (!keepCache) cache_ = std::make_unique<TTempFolder>();
    InitializeTileService(service, "", cache_->Path().string() + "/", tileLimit, 10, connections);
  }

  // The view: its width and height in pixels.
  int W() const { return window->imgMain->width(); }
  int H() const { return window->imgMain->height(); }

  // Loads the place at the centre and zoom level, the first load of a test.
  void Load(double longitude = -74.06, double latitude = 40.7) {
    window->SetCenter(longitude, latitude);
    window->LoadPlace();
    ASSERT_TRUE(window->Loaded());
  }

  // The picture the whole area draws, for comparing with what a part of it drew.
  static TBitmap24 WholeDrawing(const TBitmap24& like, const AreaBoundingBox& area) {
    TBitmap24 picture(like.Width(), like.Height());
    FillBitmap(picture, kColorBlack);
    DrawAreaToBitmap(picture, area);
    return picture;
  }

  static bool AllBlack(const TBitmap24& picture) {
    return std::all_of(picture.Data(), picture.Data() + picture.ByteCount(),
                       [](std::uint8_t byte) { return byte == 0; });
  }

  static bool IsBlack(const TBitmap24& picture, int x, int y) {
    const std::uint8_t* p = picture.Pixel(x, y);
    return (p[0] | p[1] | p[2]) == 0;
  }

  std::shared_ptr<TViewServiceDouble> service;
  std::shared_ptr<TScriptedPrompter> prompter = std::make_shared<TScriptedPrompter>();
  TScopedPrompter scopedPrompter{prompter};
  std::unique_ptr<TfrmMain> window;

 private:
  TTempFolder config_;
  std::unique_ptr<TTempFolder> cache_ = std::make_unique<TTempFolder>();
  std::optional<std::string> savedConfig_;
};

}  // namespace quorvil::testing
