// The main window against the local map service, and while a service is slow to answer.

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>

#include "platform/EventLoopWaiter.h"
#include "platform/WaitSupport.h"
#include "support/MapServiceTestSupport.h"
#include "support/QtTestSupport.h"
#include "support/SilentServer.h"
#include "ui/MainWindowFixture.h"
#include "ui/main/HelpWindow.h"
#include "ui/main/Main.h"
#include "ui/main/MapScaleFrame.h"

namespace quorvil::testing {
namespace {

namespace mst = quorvil::mapservice::testing;

// The variety of a picture's bytes: imagery has many, a blank picture one.
int DistinctBytes(const TBitmap24& picture) {
  std::vector<bool> seen(256);
  for (std::int64_t i = 0; i < picture.ByteCount(); i += 7) seen[picture.Data()[i]] = true;
  return static_cast<int>(std::count(seen.begin(), seen.end(), true));
}

TEST_F(MainWindowTest, ShowsCentralParkFromTheLocalMapService) {
  if (mst::kMapServicePath == nullptr) GTEST_SKIP() << "quorvil-mapservice is not built";
  mst::ServiceProcess mapService({"--port", "0"});
  ASSERT_FALSE(mapService.Endpoint().empty()) << mapService.Line();
  TTempFolder cache;
  InitializeTileService(mapService.Endpoint(), cache.Path().string() + "/", 100000, 10);
  TScopedWaiter waiter(std::make_shared<TEventLoopWaiter>());
  window->SetZoomLevel(12);
  Load(-73.965, 40.784);
  EXPECT_FALSE(window->memPlace->toPlainText().isEmpty());
  EXPECT_EQ(window->edtLongitude->text(), "-73.965");
  EXPECT_EQ(window->frameMapScale1->lblCaption->text(), ".25 Miles:");
  EXPECT_GT(window->LongitudePerPixel(), 0);
  EXPECT_GT(DistinctBytes(window->Layers().PhotoBitmap), 40);
  window->chkLoadPaperMap->setChecked(true);
  EXPECT_GT(DistinctBytes(window->Layers().TopoBitmap), 3);
  window->PanView(60, 30);
  EXPECT_EQ(window->History().size(), 3u);
  EXPECT_LT(window->CenterLongitude(), -73.965);
  EXPECT_GT(window->CenterLatitude(), 40.784);
}

TEST_F(MainWindowTest, AViewAcrossACoastDrawsTheLandAndNotesTheSeaWithoutAnErrorBox) {
  if (mst::kMapServicePath == nullptr) GTEST_SKIP() << "quorvil-mapservice is not built";
  mst::ServiceProcess mapService({"--port", "0", "--coverage", "us"});
  ASSERT_FALSE(mapService.Endpoint().empty()) << mapService.Line();
  TTempFolder cache;
  InitializeTileService(mapService.Endpoint(), cache.Path().string() + "/", 100000, 10);
  TScopedWaiter waiter(std::make_shared<TEventLoopWaiter>());
  window->SetZoomLevel(16);
  window->chkLoadPaperMap->setChecked(true);
  Load(-79.95, 25.77);  // Miami Beach, the Atlantic east of it
  EXPECT_TRUE(prompter->asked.empty());
  EXPECT_FALSE(window->lblNoImagery->isHidden());
  const TBitmap24& photo = window->Layers().PhotoBitmap;
  EXPECT_GT(DistinctBytes(photo), 40);
  const std::uint8_t* sea = photo.Pixel(photo.Width() - 1, photo.Height() / 2);
  EXPECT_EQ(sea[0] | sea[1] | sea[2], 0);
  Load(-83.03, 42.33);  // downtown Detroit, on the Canadian border
  EXPECT_TRUE(prompter->asked.empty());
  const std::uint8_t* centre = photo.Pixel(photo.Width() / 2, photo.Height() / 2);
  EXPECT_NE(centre[0] | centre[1] | centre[2], 0);
}

TEST_F(MainWindowTest, WhileTheServiceTakesThreeSecondsTheWindowRepaintsAndStopAnswers) {
  TScopedWaiter waiter(std::make_shared<TEventLoopWaiter>());
  Load();
  service->areaDelayMs = 3000;
  QElapsedTimer clock;
  clock.start();
  // The checks run from the event loop that serves the window while the call waits.
  bool busy = false, stopEnabled = false, refreshEnabled = true, repainted = false;
  bool stopped = false;
  qint64 checkedAt = 0;
  int paints = 0;
  QTimer::singleShot(300, window.get(), [&] {
    busy = window->Busy();
    stopEnabled = window->actStop->isEnabled();
    refreshEnabled = window->actRefreshScreen->isEnabled();
    paints = window->imgMain->PaintCount();
    window->imgMain->update();
  });
  QTimer::singleShot(700, window.get(), [&] {
    repainted = window->imgMain->PaintCount() > paints;
    QTest::keyClick(window.get(), Qt::Key_Escape);
    stopped = window->StopRequested();
    checkedAt = clock.elapsed();
  });
  window->actRefreshScreen->trigger();
  EXPECT_TRUE(busy);
  EXPECT_TRUE(stopEnabled);
  EXPECT_FALSE(refreshEnabled);
  EXPECT_TRUE(repainted);
  EXPECT_TRUE(stopped);
  EXPECT_LT(checkedAt, 2500);  // all of this while the answer was still on its way
  EXPECT_GE(clock.elapsed(), 3000);
  EXPECT_FALSE(window->Busy());
  EXPECT_EQ(window->History().size(), 2u);
}

TEST_F(MainWindowTest, StopEndsAHangingTransferAtOnceAndQuietly) {
  TSilentServer silent;
  TTempFolder cache;
  InitializeTileService(silent.Url(), cache.Path().string() + "/", 100000, 10);
  TScopedWaiter waiter(std::make_shared<TEventLoopWaiter>());
  QElapsedTimer clock;
  qint64 stoppedAt = 0;
  QTimer::singleShot(300, window.get(), [&] {
    stoppedAt = clock.elapsed();
    QTest::keyClick(window.get(), Qt::Key_Escape);
  });
  clock.start();
  RunGuarded([&] { window->LoadPlace(); });
  EXPECT_GT(stoppedAt, 0);
  EXPECT_LT(clock.elapsed() - stoppedAt, 250);
  EXPECT_TRUE(prompter->asked.empty());  // neither the retry prompt nor an error
  EXPECT_FALSE(window->Busy());
  EXPECT_TRUE(window->History().empty());
}

TEST_F(MainWindowTest, F1OpensTheHelpOnceAndClosingTheWindowClosesItToo) {
  QTest::keyClick(window.get(), Qt::Key_F1);
  QWidget* help = CurrentHelpWindow();
  ASSERT_NE(help, nullptr);
  EXPECT_EQ(help->windowTitle(), "Quorvil Help");
  QTest::keyClick(window.get(), Qt::Key_F1);
  EXPECT_EQ(CurrentHelpWindow(), help);
  window->close();
  EXPECT_TRUE(WaitUntil([] { return CurrentHelpWindow() == nullptr; }));
}

}  // namespace
}  // namespace quorvil::testing
