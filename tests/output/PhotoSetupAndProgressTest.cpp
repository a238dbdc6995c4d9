#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <deque>
#include <functional>
#include <vector>

#include "imagery/MosaicSupport.h"
#include "output/DownloadBitmapProgress.h"
#include "output/OutputPicture.h"
#include "output/OutputTestSupport.h"
#include "output/PhotoSetupFrame.h"
#include "platform/EventLoopWaiter.h"
#include "platform/ProgramError.h"
#include "support/QtTestSupport.h"
#include "support/ScriptedPrompter.h"
#include "support/SilentServer.h"

namespace quorvil {
namespace {

using testing::MakeArea;
using testing::SelectionOfTiles;
using testing::TScriptedPrompter;

// Records what each area request asked for and whether the hourglass was up meanwhile.
class TAreaRecordingService : public testing::TFakeTerraService {
 public:
  std::unique_ptr<AreaBoundingBox> GetAreaFromRect(const LonLatPt& upperLeft,
                                                   const LonLatPt& lowerRight, Theme theme,
                                                   Scale scale) override {
    scales.push_back(scale);
    themes.push_back(theme);
    const QCursor* cursor = QApplication::overrideCursor();
    hourglass.push_back(cursor != nullptr && cursor->shape() == Qt::WaitCursor);
    auto area = TFakeTerraService::GetAreaFromRect(upperLeft, lowerRight, theme, scale);
    if (alter) alter(*area);
    return area;
  }
  std::vector<Scale> scales;
  std::vector<Theme> themes;
  std::vector<bool> hourglass;
  // Changes the areas answered, as a faulty or hostile service would.
  std::function<void(AreaBoundingBox&)> alter;
};

class PhotoSetup : public testing::TOutputTest {
 protected:
  void SetUp() override {
    service = recorder;
    TOutputTest::SetUp();
  }
  std::shared_ptr<TAreaRecordingService> recorder = std::make_shared<TAreaRecordingService>();
  TframePhotoSetup page;
};

TEST_F(PhotoSetup, OpensOnTheViewsLevelAndAsksOncePerChange) {
  page.SetupPhoto(SelectionOfTiles(100, 50, 102, 48), 12);
  ASSERT_EQ(page.cbZoom->count(), 7);
  EXPECT_EQ(page.cbZoom->itemText(0), "1 Meter");
  EXPECT_EQ(page.cbZoom->itemText(6), "64 Meters");
  EXPECT_EQ(page.cbZoom->currentText(), "4 Meters");
  EXPECT_EQ(page.Label5->text(), "Pixel Dimentions:");
  EXPECT_EQ(page.Label2->text(), "Download Size:");
  // The double's area: offsets (10, 20) and (30, 40) around 3 x 3 tiles.
  EXPECT_EQ(page.lblDimentions->text(), "420 x 420");
  EXPECT_EQ(page.lblDownloadSize->text(), "79.10 kb");
  ASSERT_EQ(recorder->scales, std::vector<Scale>{Scale::Scale4m});

  page.cbZoom->setCurrentIndex(0);
  EXPECT_EQ(recorder->scales, (std::vector<Scale>{Scale::Scale4m, Scale::Scale1m}));
  EXPECT_EQ(recorder->themes, (std::vector<Theme>{Theme::Photo, Theme::Photo}));
  EXPECT_EQ(recorder->hourglass, (std::vector<bool>{true, true}));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(page.ZoomLevel(), 10);
  ASSERT_NE(page.OutputArea(), nullptr);
  EXPECT_EQ(page.OutputArea()->NorthWest->TileMeta->Id->Scale, Scale::Scale1m);
  EXPECT_TRUE(page.ValidatePhotoSetup());
  EXPECT_EQ(recorder->scales.size(), 2u);
}

TEST_F(PhotoSetup, DownloadSizeGrowsWithTheTileCount) {
  const struct {
    int columns;
    const char* text;
  } cases[] = {{10, "87.89 kb"}, {116, "1019.53 kb"}, {117, "1.00 mb"}};
  for (const auto& c : cases) {
    page.SetupPhoto(SelectionOfTiles(0, 0, c.columns - 1, 0), 16);
    EXPECT_EQ(page.lblDownloadSize->text(), c.text) << c.columns;
  }
}

TEST_F(PhotoSetup, DeclinedRetryOnAChangeLeavesNoAreaAndTheTextsAsTheyWere) {
  auto prompter = std::make_shared<TScriptedPrompter>();
  TScopedPrompter installed(prompter);
  page.SetupPhoto(SelectionOfTiles(100, 50, 102, 48), 16);
  recorder->failures = 1;
  page.cbZoom->setCurrentIndex(3);  // the script answers the retry prompt with No
  ASSERT_EQ(prompter->asked.size(), 1u);
  EXPECT_EQ(prompter->asked[0].Text, RetryPromptText("Timeout"));
  EXPECT_EQ(page.OutputArea(), nullptr);
  EXPECT_EQ(page.lblDimentions->text(), "420 x 420");
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(page.cbZoom->isEnabled());
  // Going on asks again, at the level now chosen.
  EXPECT_TRUE(page.ValidatePhotoSetup());
  EXPECT_EQ(recorder->scales.back(), Scale::Scale8m);
  EXPECT_EQ(prompter->asked.size(), 1u);
}

TEST_F(PhotoSetup, AnAreaLargerThanTheSelectionAllowsIsShownAndLeavesNoArea) {
  auto prompter = std::make_shared<TScriptedPrompter>();
  TScopedPrompter installed(prompter);
  // A selection of one point: no honest picture of it is wider than two tiles.
  page.SetupPhoto(SelectionOfTiles(100, 50, 100, 50), 12);
  recorder->alter = [](AreaBoundingBox& area) { area.SouthEast->TileMeta->Id->X += 10; };
  page.cbZoom->setCurrentIndex(0);
  ASSERT_EQ(prompter->asked.size(), 1u);
  EXPECT_EQ(prompter->asked[0].Kind, TPromptKind::pkError);
  EXPECT_EQ(prompter->asked[0].Text,
            "The map service's area cannot be used: its picture of 2020 x 20 pixels is larger "
            "than the rectangle at 1 Meter allows (at most 400 x 400)");
  EXPECT_EQ(page.OutputArea(), nullptr);
  EXPECT_FALSE(page.ValidatePhotoSetup());
  EXPECT_TRUE(page.cbZoom->isEnabled());
}

TEST_F(PhotoSetup, DeclinedRetryDuringSetupIsPassedOn) {
  recorder->failures = 1;
  EXPECT_THROW(page.SetupPhoto(SelectionOfTiles(100, 50, 102, 48), 12), ESilentAbort);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

class DownloadProgress : public testing::TOutputTest {};

TEST_F(DownloadProgress, ASingleTileGoesFromNoneToAllAndCompletes) {
  const auto area = MakeArea(4, 7, 20, 30, 4, 7, 150, 160);
  ServeArea(*area);
  TBitmap24 picture = NewOutputPicture(*area);
  TfrmDownloadBitmapProgress window(picture, *area);
  EXPECT_EQ(window.windowTitle(), "Download Progress");
  EXPECT_EQ(window.Label1->text(), "Downloading Image");
  EXPECT_EQ(window.Button1->text(), "Cancel");
  EXPECT_EQ(window.size(), QSize(304, 113));
  EXPECT_EQ(window.ProgressBar1->value(), 0);
  std::vector<int> values;
  QObject::connect(window.ProgressBar1, &QProgressBar::valueChanged,
                   [&](int value) { values.push_back(value); });
  EXPECT_EQ(window.exec(), QDialog::Accepted);
  EXPECT_EQ(values, std::vector<int>{100});
  EXPECT_TRUE(window.Finished());
  ExpectTilesDrawn(picture, *area, 1);
}

TEST_F(DownloadProgress, CancelAndCloseDuringARunEndItAtTheNextTile) {
  // 3 x 2 tiles report 16, 33, 50, 66, 83, 100. The tile after the one drawn when the
  // user acts is drawn when it had already arrived, and aborted otherwise.
  const struct {
    const char* name;
    int pressedAt;  // the bar's value when the user acts
    bool closeButton;
    int drawnThen;
    bool completed;
  } cases[] = {
      {"Cancel at the first tile", 16, false, 1, false},
      {"close button at the first tile", 16, true, 1, false},
      {"Cancel at the fifth tile", 83, false, 5, false},
      {"Cancel at the last tile", 100, false, 6, true},
  };
  for (const auto& c : cases) {
    const auto area = MakeArea(0, 1, 10, 20, 2, 0, 30, 40);
    ServeArea(*area);
    TBitmap24 picture = NewOutputPicture(*area);
    TfrmDownloadBitmapProgress window(picture, *area);
    bool stayedOpen = false;
    QObject::connect(window.ProgressBar1, &QProgressBar::valueChanged, [&](int value) {
      if (value != c.pressedAt) return;
      if (c.closeButton) {
        window.close();
      } else {
        QTest::mouseClick(window.Button1, Qt::LeftButton);
      }
      stayedOpen = window.isVisible();
    });
    EXPECT_EQ(window.exec() == QDialog::Accepted, c.completed) << c.name;
    EXPECT_TRUE(stayedOpen) << c.name;
    EXPECT_FALSE(window.isVisible()) << c.name;
    const int drawn = DrawnTiles(picture, *area);
    EXPECT_GE(drawn, c.drawnThen) << c.name;
    EXPECT_LE(drawn, std::min(c.drawnThen + 1, 6)) << c.name;
    ExpectTilesDrawn(picture, *area, drawn);
    FinalizeTileService();  // a fresh cache for the next case
    InitializeTileService(service, "", folder / c.name, 100000, 10);
  }
}

// The tile store downloads on workers while the window waits in its own event loop.
TEST_F(DownloadProgress, CancelAnswersWhileATileIsOnItsWay) {
  testing::TSilentServer silent;
  InitializeTileService(silent.Url(), folder / "Silent", 100000, 10);
  TScopedWaiter waiter(std::make_shared<TEventLoopWaiter>());
  auto prompter = std::make_shared<TScriptedPrompter>();
  TScopedPrompter installed(prompter);
  const auto area = MakeArea(0, 1, 10, 20, 2, 0, 30, 40);
  TBitmap24 picture = NewOutputPicture(*area);
  TfrmDownloadBitmapProgress window(picture, *area);
  std::chrono::steady_clock::time_point pressed;
  int repaints = 0;
  QTimer::singleShot(300, [&] {
    repaints = 0;
    window.update();
    QTimer::singleShot(50, [&] {
      pressed = std::chrono::steady_clock::now();
      QTest::mouseClick(window.Button1, Qt::LeftButton);
    });
  });
  struct TPaintCounter : QObject {
    int& count;
    explicit TPaintCounter(int& c) : count(c) {}
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::Paint) ++count;
      return false;
    }
  } counter(repaints);
  window.installEventFilter(&counter);
  EXPECT_EQ(window.exec(), QDialog::Rejected);
  const auto answered = std::chrono::steady_clock::now() - pressed;
  EXPECT_TRUE(window.Running() == false && window.Finished());
  EXPECT_LT(answered, std::chrono::seconds(1));
  EXPECT_GE(repaints, 1);
  EXPECT_EQ(window.ProgressBar1->value(), 0);
  EXPECT_TRUE(prompter->asked.empty());
  EXPECT_EQ(DrawnTiles(picture, *area), 0);
}

TEST_F(DownloadProgress, AFailedTileIsShownAfterTheOthersAndLeavesTheWindowOpenUntilCancel) {
  auto prompter = std::make_shared<TScriptedPrompter>();
  TScopedPrompter installed(prompter);
  SetTileRetryPause(std::chrono::milliseconds(1));
  const auto area = MakeArea(0, 0, 0, 0, 2, 0, 100, 100);
  ServeArea(*area);
  service->tileFailures = {{"0-10-18-1-0", 99}};
  TBitmap24 picture = NewOutputPicture(*area);
  TfrmDownloadBitmapProgress window(picture, *area);
  bool openAfterError = false;
  int barAfterError = -1;
  QTimer watcher;
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    if (!window.Finished()) return;
    watcher.stop();
    openAfterError = window.isVisible();
    barAfterError = window.ProgressBar1->value();
    window.close();  // the close button too may end it now
  });
  watcher.start(5);
  EXPECT_EQ(window.exec(), QDialog::Rejected);
  SetTileRetryPause(kTileRetryPause);
  EXPECT_TRUE(openAfterError);
  EXPECT_EQ(barAfterError, 100);
  ASSERT_EQ(prompter->asked.size(), 1u);
  EXPECT_EQ(prompter->asked[0].Kind, TPromptKind::pkError);
  EXPECT_EQ(prompter->asked[0].Text, "Timeout.");
  EXPECT_EQ(testing::PixelOf(picture, 250, 50), testing::kWhite);
  EXPECT_EQ(testing::PixelOf(picture, 450, 50), testing::TileColour(2, 0));
}

// After the download, missing and failed tiles are counted for the user; failed ones are
// downloaded again on "Yes", and the picture is complete only when the user goes on.
TEST_F(DownloadProgress, MissingAndFailedTilesAreToldRetriedOrAcceptedAsTheUserAnswers) {
  SetTileRetryPause(std::chrono::milliseconds(1));
  const auto area = MakeArea(0, 1, 0, 0, 2, 0, 199, 199);  // 3 x 2 tiles
  const std::string missing =
      "1 of 6 tiles have no imagery; that part of the picture is left white.";
  const std::string failed = "1 of 6 tiles could not be downloaded. The error was: \"Timeout\"";
  const struct {
    const char* name;
    int failures;
    std::deque<TPromptAnswer> answers;
    bool completed, drawn;
    int requests;  // of the failing tile
  } cases[] = {
      {"only missing", 0, {TPromptAnswer::paOk}, true, true, 1},
      {"failed, downloaded again",
       kTileAttempts,
       {TPromptAnswer::paYes, TPromptAnswer::paOk},
       true,
       true,
       kTileAttempts + 1},
      {"failed, go on", 99, {TPromptAnswer::paNo}, true, false, kTileAttempts},
      {"failed, box closed", 99, {TPromptAnswer::paNone}, false, false, kTileAttempts},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    InitializeTileService(service, "", folder / (std::string("Cache ") + c.name), 100000, 10);
    ServeArea(*area, 5);
    service->tileFailures = {{"0-10-18-1-1", c.failures}};
    service->tileRequests.clear();
    auto prompter = std::make_shared<TScriptedPrompter>(c.answers);
    TScopedPrompter installed(prompter);
    const TOutputPicture output = PrepareOutputPicture(*area);
    EXPECT_EQ(output.Completed, c.completed);
    EXPECT_EQ(testing::PixelOf(output.Picture, 500, 300), testing::kWhite);  // no imagery: white
    EXPECT_EQ(testing::PixelOf(output.Picture, 300, 100),
              c.drawn ? testing::TileColour(1, 1) : testing::kWhite);
    EXPECT_EQ(std::count(service->tileRequests.begin(), service->tileRequests.end(), "0-10-18-1-1"),
              c.requests);
    ASSERT_EQ(prompter->asked.size(), c.answers.size());
    EXPECT_EQ(prompter->asked.back().Text,
              c.failures > 0 && !c.drawn
                  ? failed + "\n\n" + missing +
                        "\n\nDownload the tiles that failed again? \"No\" goes on with the "
                        "picture as it is."
                  : missing);
  }
  SetTileRetryPause(kTileRetryPause);
}

TEST_F(DownloadProgress, CancelBeforeTheStartDownloadsNothing) {
  const auto area = MakeArea(0, 0, 0, 0, 2, 0, 100, 100);
  ServeArea(*area);
  TBitmap24 picture = NewOutputPicture(*area);
  TfrmDownloadBitmapProgress window(picture, *area);
  // Pressed as soon as the window is shown, before the posted start arrives.
  window.show();
  EXPECT_FALSE(window.StartPending());
  QTest::mouseClick(window.Button1, Qt::LeftButton);
  QApplication::processEvents();
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(window.result(), QDialog::Rejected);
  EXPECT_TRUE(service->tileRequests.empty());
}

TEST_F(DownloadProgress, APictureTooLargeForMemoryIsAnErrorBeforeAnyDownload) {
  const auto area = MakeArea(0, 1000000, 0, 0, 1000000, 0, 0, 0);
  EXPECT_THROW(PrepareOutputPicture(*area), EQuorvilError);
  EXPECT_TRUE(service->tileRequests.empty());
}

TEST_F(DownloadProgress, PrepareOutputPictureFillsTheWhitePictureAndReportsCompletion) {
  const auto area = MakeArea(0, 1, 10, 20, 2, 0, 30, 40);
  ServeArea(*area);
  const TOutputPicture output = PrepareOutputPicture(*area);
  EXPECT_TRUE(output.Completed);
  EXPECT_EQ(output.Picture.Width(), 420);
  EXPECT_EQ(output.Picture.Height(), 220);
  ExpectTilesDrawn(output.Picture, *area, 6);
}

}  // namespace
}  // namespace quorvil
