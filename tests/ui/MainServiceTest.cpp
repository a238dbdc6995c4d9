// The main window against the local map service, and while a service is slow to answer.

#include <QBitmap>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <cstring>
#include <functional>

#include "imagery/ImageSupport.h"
#include "platform/EventLoopWaiter.h"
#include "platform/WaitSupport.h"
#include "support/MapServiceTestSupport.h"
#include "support/QtTestSupport.h"
#include "support/SilentServer.h"
#include "ui/MainWindowFixture.h"
#include "ui/main/HelpWindow.h"
#include "ui/main/Main.h"
#include "ui/main/MapScaleFrame.h"
#include "ui/main/SliderFrame.h"

namespace quorvil::testing {
namespace {

namespace mst = quorvil::mapservice::testing;

// The local map service started with the given options, the window's tiles fetched from
// it into a cache of their own, and every wait run through the program's own waiter.
struct TLocalService {
  explicit TLocalService(std::vector<std::string> options) : service(std::move(options)) {
    if (Started())
      InitializeTileService(service.Endpoint(), cache.Path().string() + "/", 100000, 10);
  }
  bool Started() const { return !service.Endpoint().empty(); }
  mst::ServiceProcess service;
  TTempFolder cache;
  TScopedWaiter waiter{std::make_shared<TEventLoopWaiter>()};
};

// The variety of a picture's bytes: imagery has many, a blank picture one.
int DistinctBytes(const TBitmap24& picture) {
  std::vector<bool> seen(256);
  for (std::int64_t i = 0; i < picture.ByteCount(); i += 7) seen[picture.Data()[i]] = true;
  return static_cast<int>(std::count(seen.begin(), seen.end(), true));
}

TEST_F(MainWindowTest, ShowsCentralParkFromTheLocalMapService) {
  if (mst::kMapServicePath == nullptr) GTEST_SKIP() << "quorvil-mapservice is not built";
  const TLocalService local({"--port", "0"});
  ASSERT_TRUE(local.Started()) << local.service.Line();
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
  // A selection stays on its ground when the window grows: the kept corner keeps its pixel.
  window->actSelectAll->trigger();
  window->resize(window->size() + QSize(121, 61));
  ASSERT_TRUE(WaitUntil([&] { return window->History().size() == 4; }));
  EXPECT_EQ(window->LongitudeToPixel(window->Selection().West), 0);
  EXPECT_EQ(window->LatitudeToPixel(window->Selection().North), 0);
}

TEST_F(MainWindowTest, AViewAcrossACoastDrawsTheLandAndNotesTheSeaWithoutAnErrorBox) {
  if (mst::kMapServicePath == nullptr) GTEST_SKIP() << "quorvil-mapservice is not built";
  const TLocalService local({"--port", "0", "--coverage", "us"});
  ASSERT_TRUE(local.Started()) << local.service.Line();
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
  // Over the tile limit now: the idle trim waits for the end of the busy period, so the
  // refresh finds every tile in the cache.
  StartStore(true, kDefaultTileConnections, 2);
  const int tiles = service->TileCalls();
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
  EXPECT_EQ(service->TileCalls(), tiles);
  // Idle afterwards, the cache is trimmed.
  QEventLoop idle;
  QTimer::singleShot(300, &idle, &QEventLoop::quit);
  idle.exec();
  EXPECT_LT(TileIndexCount(), 2);
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

// Stop at each stage of a load from a slow service: before the tiles the load leaves a
// black view and no history entry; once the tiles are on the wire the drawing cut short is
// recorded as Stop records it. An abort nobody asked for is an error.
TEST_F(MainWindowTest, StopAtEachStageOfASlowLoadLeavesWhatTheScreenShows) {
  if (mst::kMapServicePath == nullptr) GTEST_SKIP() << "quorvil-mapservice is not built";
  // Each answer takes 500 ms: the photo area until 500, the map's area until 1000, then tiles.
  const TLocalService local({"--port", "0", "--delay-ms", "500"});
  ASSERT_TRUE(local.Started()) << local.service.Line();
  const struct {
    const char* Stage;
    double Longitude;
    int AtMs;
    bool Stop;  // otherwise an abort nobody asked for
    bool Recorded;
  } kStages[] = {
      {"first load, tiles on the wire", -104.99, 1250, true, true},
      {"tiles arriving", -95.37, 0, true, true},  // Stop once the first tiles show
      {"photo area", -87.63, 250, true, false},
      {"tiles on the wire", -87.63, 1250, true, true},
      {"unasked abort", -90.2, 1250, false, false},
  };
  for (const auto& stage : kStages) {
    prompter->asked.clear();
    const std::size_t entries = window->History().size();
    // Live repaint: some tiles are on the screen while the last one, in the south-east
    // corner, is still to come.
    bool live = false;
    QElapsedTimer clock;
    qint64 stoppedAt = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, window.get(), [&] {
      if (stage.AtMs == 0 && AllBlack(window->ScreenBitmap())) return;
      poll.stop();
      live = IsBlack(window->ScreenBitmap(), W() - 1, H() - 1);
      stoppedAt = clock.elapsed();
      if (stage.Stop) {
        QTest::keyClick(window.get(), Qt::Key_Escape);
      } else {
        AbortServiceTransfers();
      }
    });
    poll.start(stage.AtMs == 0 ? 5 : stage.AtMs);
    window->SetCenter(stage.Longitude, 40.0);
    clock.start();
    RunGuarded([&] { window->LoadPlace(); });
    if (stage.AtMs == 0) {
      EXPECT_TRUE(live) << stage.Stage;
      EXPECT_LT(clock.elapsed() - stoppedAt, 500) << stage.Stage;  // Stop answered at once
      EXPECT_EQ(window->ScreenBitmap(), window->Layers().CompositeBitmap) << stage.Stage;
      EXPECT_TRUE(IsBlack(window->ScreenBitmap(), W() - 1, H() - 1)) << stage.Stage;
    } else {
      EXPECT_TRUE(AllBlack(window->ScreenBitmap())) << stage.Stage;  // no tile had arrived
    }
    EXPECT_EQ(window->edtLongitude->text().toDouble(), stage.Longitude) << stage.Stage;
    EXPECT_EQ(window->History().size(), entries + (stage.Recorded ? 1 : 0)) << stage.Stage;
    EXPECT_TRUE(window->Loaded()) << stage.Stage;
    EXPECT_FALSE(window->pnlGeneralInfo->isVisible()) << stage.Stage;
    if (stage.Stop) {
      EXPECT_TRUE(prompter->asked.empty()) << stage.Stage;
    } else {
      ASSERT_EQ(prompter->asked.size(), 1u) << stage.Stage;
      EXPECT_EQ(prompter->asked[0].Text, "The download of the picture was interrupted.");
    }
  }
  // The same tiles again at once (the paper map draws the photograph again first): none
  // may take the abort of the downloads just ended.
  prompter->asked.clear();
  window->chkLoadPaperMap->setChecked(true);
  EXPECT_TRUE(prompter->asked.empty());
  EXPECT_FALSE(AllBlack(window->ScreenBitmap()));
  // Back goes to the view drawn before.
  window->actBack->trigger();
  EXPECT_EQ(window->CenterLongitude(), -87.63);
}

// A pan moves the worked-out pictures and composes only what it uncovers: the screen is
// what composing the whole view afresh gives, for odd and even steps both ways, at the
// finest level (the map half the size, stretched smoothly) and at another, in a view of
// even and one of odd size.
TEST_F(MainWindowTest, APanShowsWhatAFreshCompositionOfTheWholeViewShows) {
  if (mst::kMapServicePath == nullptr) GTEST_SKIP() << "quorvil-mapservice is not built";
  const TLocalService local({"--port", "0"});
  ASSERT_TRUE(local.Started()) << local.service.Line();
  window->sliderBrightness->SetPosition(10);
  for (const int level : {10, 10, 13}) {
    window->SetZoomLevel(level);
    Load(-73.965, 40.784);
    window->chkLoadPaperMap->setChecked(true);
    for (const QPoint step : {QPoint(7, -4), QPoint(-30, 51), QPoint(-1, -1), QPoint(120, 0)}) {
      window->PanView(step.x(), step.y());
      const TViewLayers& layers = window->Layers();
      TViewLayers fresh;
      fresh.Resize(W(), H(), level == 10);
      fresh.PhotoBitmap = layers.PhotoBitmap;
      fresh.TopoBitmap = layers.TopoBitmap;
      fresh.TopoGaps = layers.TopoGaps;
      fresh.SmoothTopo = window->Preferences().SmoothPaperMap;
      fresh.PrepareLayers(BrightnessLevel(10), fresh.Whole());
      fresh.ComposeOverlay(true, OverlayOpacity(65), fresh.Whole());
      ASSERT_EQ(window->ScreenBitmap(), fresh.CompositeBitmap)
          << "level " << level << ", " << W() << " x " << H() << ", step " << step.x() << ","
          << step.y();
    }
    // The window paints the screen picture, pixel for pixel.
    const QImage shot = window->imgMain->grab().toImage().convertToFormat(QImage::Format_BGR888);
    ASSERT_EQ(shot.size(), QSize(W(), H()));
    for (int y = 0; y < H(); ++y) {
      ASSERT_EQ(std::memcmp(shot.constScanLine(y), window->ScreenBitmap().Pixel(0, y), 3 * W()), 0);
    }
    // So does the window's own raster, which the paint writes into; a part repainted
    // changes only that part.
    const auto raster = [&] {
      const QPoint at = window->imgMain->mapTo(window.get(), QPoint(0, 0));
      return window->screen()
          ->grabWindow(window->winId(), at.x(), at.y(), W(), H())
          .toImage()
          .convertToFormat(QImage::Format_BGR888);
    };
    window->imgMain->repaint();
    QImage painted = raster();
    ASSERT_EQ(painted.size(), QSize(W(), H()));
    for (int y = 0; y < H(); ++y) {
      ASSERT_EQ(std::memcmp(painted.constScanLine(y), window->ScreenBitmap().Pixel(0, y), 3 * W()),
                0);
    }
    const QRect part(W() / 3, 5, W() / 3 + 1, H() / 2);
    FillBitmap(window->imgMain->Picture(), RgbColor(7, 99, 201));
    window->imgMain->repaint(part);
    painted = raster();
    const QImage mask = painted.convertToFormat(QImage::Format_RGB32)
                            .createMaskFromColor(qRgb(7, 99, 201), Qt::MaskOutColor);
    EXPECT_EQ(QRegion(QBitmap::fromImage(mask)), QRegion(part));
    window->imgMain->Picture() = window->Layers().CompositeBitmap;
    // The next round in a view of the other parity.
    const QSize view = window->ViewSize();
    window->resize(window->size() + QSize(1, 1));
    ASSERT_TRUE(WaitUntil([&] { return window->ViewSize() != view && !window->Busy(); }));
  }
}

// While one command waits for the service, no other can start on the same connection:
// those of the window are off while its own call waits, and a dialog's wait keeps the
// window's keys away.
TEST_F(MainWindowTest, WhileOneCommandWaitsForTheServiceNoOtherStarts) {
  if (mst::kMapServicePath == nullptr) GTEST_SKIP() << "quorvil-mapservice is not built";
  const TLocalService local({"--port", "0", "--delay-ms", "600"});
  ASSERT_TRUE(local.Started()) << local.service.Line();
  Load();
  window->actSelectAll->trigger();
  const auto click = [](QWidget* dialog, const QString& text) {
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
      if (button->text() == text) QTest::mouseClick(button, Qt::LeftButton);
    }
  };
  // Each first command runs to its end; its wait is where the others are tried.
  const struct {
    const char* Name;
    QAction* Action;
    std::function<void(QWidget*)> InDialog;
  } kFirsts[] = {
      {"Copy", window->actCopy, nullptr},
      {"Refresh", window->actRefreshScreen, nullptr},
      {"search", window->actSearchForPlace,
       [&](QWidget* dialog) {
         dialog->findChild<QLineEdit*>()->setText("Denver");
         click(dialog, "Search Now");
         click(dialog, "Cancel");
       }},
      {"Test Address", window->actPreferences,
       [&](QWidget* dialog) {
         dialog->findChild<QLineEdit*>("edtServerAddress")
             ->setText(local.service.Endpoint().c_str());
         click(dialog, "Test Address");
         click(dialog, "Cancel");
       }},
  };
  QAction* const kSeconds[] = {window->actCopy, window->actSaveAs, window->actPrint,
                               window->actSearchForPlace, window->actRefreshScreen};
  for (const auto& first : kFirsts) {
    std::string open;
    QTimer::singleShot(300, window.get(), [&] {
      for (QAction* second : kSeconds) {
        if (second->isEnabled() && QApplication::activeModalWidget() == nullptr) {
          open += second->objectName().toStdString() + " ";
        }
      }
      for (const QKeySequence& key : {QKeySequence(Qt::CTRL | Qt::Key_C), QKeySequence(Qt::Key_F3),
                                      QKeySequence(Qt::Key_F5)}) {
        QTest::keySequence(window.get(), key);
      }
    });
    if (first.InDialog) OnNextModal(first.InDialog);
    prompter->asked.clear();
    const std::size_t entries = window->History().size();
    first.Action->trigger();
    EXPECT_EQ(open, "") << "while " << first.Name << " waited";
    for (const TPromptRequest& asked : prompter->asked) {
      EXPECT_EQ(asked.Kind, TPromptKind::pkInformation) << first.Name << ": " << asked.Text;
    }
    EXPECT_EQ(window->History().size(), entries + (first.Action == window->actRefreshScreen));
  }
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
