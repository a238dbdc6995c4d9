#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "imagery/AreaCheck.h"
#include "imagery/JpegCodec.h"
#include "output/CopyToClipboardSupport.h"
#include "output/OutputTestSupport.h"
#include "output/PhotoSetupFrame.h"
#include "output/SaveAsDialog.h"
#include "output/SaveAsWizard.h"
#include "platform/WaitScreen.h"
#include "support/QtTestSupport.h"
#include "support/ScriptedPrompter.h"
#include "support/ScriptedSaveFileDialog.h"

namespace quorvil {
namespace {

namespace fs = std::filesystem;
using testing::MakeArea;
using testing::OnNextModal;
using testing::SelectionOfTiles;
using testing::TScriptedPrompter;
using testing::TScriptedSaveFileDialog;

// The service double with an area of chosen size, and tiles that take a while, so that a
// user can act during a download.
class TSlowService : public testing::TFakeTerraService {
 public:
  std::unique_ptr<AreaBoundingBox> GetAreaFromRect(const LonLatPt& upperLeft,
                                                   const LonLatPt& lowerRight, Theme theme,
                                                   Scale scale) override {
    scales.push_back(scale);
    auto area = TFakeTerraService::GetAreaFromRect(upperLeft, lowerRight, theme, scale);
    if (!areaSize) return area;
    // From the upper-left of tile (0, rows - 1), areaSize pixels.
    const int columns = (areaSize->width() - 1) / 200, rows = (areaSize->height() - 1) / 200;
    return MakeArea(0, rows, 0, 0, columns, 0, areaSize->width() - columns * 200,
                    areaSize->height() - rows * 200, theme, scale);
  }
  std::string GetTile(const TileId& id) override {
    std::this_thread::sleep_for(tileDelay);
    return TFakeTerraService::GetTile(id);
  }
  std::optional<QSize> areaSize;
  std::chrono::milliseconds tileDelay{0};
  std::vector<Scale> scales;
};

class OutputCommands : public testing::TOutputTest {
 protected:
  void SetUp() override {
    service = slow;
    TOutputTest::SetUp();
  }

  // The area the double answers for the selection, with its tiles served.
  std::unique_ptr<AreaBoundingBox> ServedArea(const TSelectionRec& selection,
                                              Scale scale = Scale::Scale1m) {
    auto area = slow->GetAreaFromRect({selection.West, selection.North},
                                      {selection.East, selection.South}, Theme::Photo, scale);
    slow->calls.clear();
    slow->scales.clear();
    ServeArea(*area);
    return area;
  }

  // Presses Cancel of the progress window once it is on screen.
  static void CancelTheNextDownload() {
    OnNextModal([](QWidget* window) {
      QTest::mouseClick(window->findChild<QPushButton*>("Button1"), Qt::LeftButton);
    });
  }

  std::shared_ptr<TSlowService> slow = std::make_shared<TSlowService>();
  std::shared_ptr<TScriptedPrompter> prompter = std::make_shared<TScriptedPrompter>();
  TScopedPrompter installedPrompter{prompter};
  std::shared_ptr<TScriptedSaveFileDialog> dialog = std::make_shared<TScriptedSaveFileDialog>();
  TScopedSaveFileDialog installedDialog{dialog};
  const TSelectionRec selection = SelectionOfTiles(100, 50, 102, 48);
};

// The picture an image file or the clipboard holds, in the program's own form.
TBitmap24 PictureOf(const QImage& image) {
  const QImage bgr = image.convertToFormat(QImage::Format_BGR888);
  TBitmap24 picture(bgr.width(), bgr.height());
  for (int y = 0; y < bgr.height(); ++y) {
    std::memcpy(picture.Row(y), bgr.constScanLine(y), static_cast<std::size_t>(picture.Stride()));
  }
  return picture;
}

// ---- the save dialog -------------------------------------------------------------------

TEST_F(OutputCommands, SaveDialogOpensEmptyOnJpegAndReturnsTheChosenType) {
  dialog->script = {TSaveFileAnswer{"/maps/site", 2}, std::nullopt};
  std::string name;
  TSaveAsFileType type = TSaveAsFileType::sfJPEG;
  ASSERT_TRUE(ExecuteSaveAsDialog(name, type));
  ASSERT_EQ(dialog->asked.size(), 1u);
  EXPECT_EQ(dialog->asked[0].FileName, "");
  EXPECT_EQ(dialog->asked[0].Filter, "JPEG (*.jpg)|*.jpg|Bitmap (*.bmp)|*.bmp");
  EXPECT_EQ(dialog->asked[0].FilterIndex, 1);
  EXPECT_FALSE(dialog->asked[0].OverwritePrompt);  // the wizard asks about all it writes
  EXPECT_EQ(name, "/maps/site");
  EXPECT_EQ(type, TSaveAsFileType::sfBitmap);
  EXPECT_FALSE(ExecuteSaveAsDialog(name, type));
  EXPECT_EQ(name, "/maps/site");
  EXPECT_EQ(dialog->asked[1].InitialFolder, "") << "a folder that is not there is not offered";
  // The folder saved into is offered again, also in a later run (it is in the settings).
  dialog->script = {TSaveFileAnswer{folder / "site", 1}, std::nullopt};
  ASSERT_TRUE(ExecuteSaveAsDialog(name, type));
  EXPECT_FALSE(ExecuteSaveAsDialog(name, type));
  EXPECT_EQ(dialog->asked[3].InitialFolder, folder.Path().string());
}

TEST(PlatformSaveDialog, ShowsTheFiltersAsksBeforeOverwritingAndAnswersThePath) {
  testing::TTempFolder folder;
  TQtSaveFileDialog platform;
  const TSaveFileRequest request{"", "JPEG (*.jpg)|*.jpg|Bitmap (*.bmp)|*.bmp", 1, true};
  QStringList filters;
  QString selected;
  bool saving = false, confirms = false;
  OnNextModal([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    filters = dialog->nameFilters();
    selected = dialog->selectedNameFilter();
    saving = dialog->acceptMode() == QFileDialog::AcceptSave;
    confirms = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
    EXPECT_TRUE(dialog->defaultSuffix().isEmpty());
    dialog->selectNameFilter("Bitmap (*.bmp)");
    dialog->selectFile(QString::fromStdString(folder / "site"));
    static_cast<QDialog*>(dialog)->accept();  // as the Save button does
  });
  const auto answer = platform.Execute(request);
  EXPECT_EQ(filters, (QStringList{"JPEG (*.jpg)", "Bitmap (*.bmp)"}));
  EXPECT_EQ(selected, "JPEG (*.jpg)");
  EXPECT_TRUE(saving);
  EXPECT_TRUE(confirms);
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(answer->FileName, folder / "site");
  EXPECT_EQ(answer->FilterIndex, 2);

  OnNextModal([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
  EXPECT_FALSE(platform.Execute(request).has_value());
}

// ---- the wizard ------------------------------------------------------------------------

// Runs the wizard, and `step` on it once it is on screen; the wizard's result.
bool RunWizardWith(const TSelectionRec& selection, TZoomLevel level,
                   const std::function<void(TfrmSaveAsWizard&)>& step) {
  OnNextModal([step](QWidget* modal) {
    auto* wizard = qobject_cast<TfrmSaveAsWizard*>(modal);
    ASSERT_NE(wizard, nullptr);
    step(*wizard);
    if (wizard->isVisible()) QTest::mouseClick(wizard->Button1, Qt::LeftButton);
  });
  return RunSaveAsWizard(selection, level);
}

TEST_F(OutputCommands, CancellingTheDialogLeavesTheWizardOpenOnItsChoice) {
  bool openAfterwards = false;
  QString zoomAfterwards;
  const bool saved = RunWizardWith(selection, 13, [&](TfrmSaveAsWizard& wizard) {
    EXPECT_EQ(wizard.windowTitle(), "Save As...");
    EXPECT_EQ(wizard.size(), QSize(290, 290));
    EXPECT_EQ(wizard.Button2->text(), "Next >");
    EXPECT_EQ(wizard.Button1->text(), "Cancel");
    EXPECT_EQ(wizard.framePhotoSetup->Label4->text(), "Photo Setup");
    wizard.framePhotoSetup->cbZoom->setCurrentIndex(1);
    QTest::mouseClick(wizard.Button2, Qt::LeftButton);  // the script cancels the dialog
    openAfterwards = wizard.isVisible();
    zoomAfterwards = wizard.framePhotoSetup->cbZoom->currentText();
  });
  EXPECT_FALSE(saved);
  EXPECT_TRUE(openAfterwards);
  EXPECT_EQ(zoomAfterwards, "2 Meters");
  EXPECT_EQ(dialog->asked.size(), 1u);
  EXPECT_TRUE(prompter->asked.empty());
  EXPECT_TRUE(slow->tileRequests.empty());
}

TEST_F(OutputCommands, ACompletedSaveWritesTheChosenTypeAndSaysSoOnce) {
  const struct {
    const char* chosen;
    int filterIndex;
    const char* written;
    bool jpeg;
  } cases[] = {
      {"site", 1, "site.jpg", true},
      {"site.jpg", 1, "site.jpg", true},
      {"site", 2, "site.bmp", false},
  };
  const auto area = ServedArea(selection);
  for (const auto& c : cases) {
    testing::TTempFolder out;
    prompter->asked.clear();
    dialog->script = {TSaveFileAnswer{out / c.chosen, c.filterIndex}};
    QStringList waitTexts;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
      if (QWidget* screen = CurrentWaitScreen()) {
        const auto* label = screen->findChild<QLabel*>("lblWaitMessage");
        if (label != nullptr && !waitTexts.contains(label->text())) waitTexts << label->text();
      }
    });
    watcher.start(0);
    const bool saved = RunWizardWith(selection, 10, [](TfrmSaveAsWizard& wizard) {
      QTest::mouseClick(wizard.Button2, Qt::LeftButton);
    });
    watcher.stop();
    EXPECT_TRUE(saved) << c.chosen;
    ASSERT_EQ(prompter->asked.size(), 1u) << c.chosen;
    EXPECT_EQ(prompter->asked[0].Kind, TPromptKind::pkInformation);
    EXPECT_EQ(prompter->asked[0].Text, "Photo successfully saved.");
    EXPECT_EQ(waitTexts, QStringList{"Saving Image.\n\nPlease Wait..."}) << c.chosen;
    EXPECT_EQ(CurrentWaitScreen(), nullptr);
    QImage image(QString::fromStdString(out / c.written));
    ASSERT_FALSE(image.isNull()) << c.written;
    EXPECT_EQ(image.size(), QSize(420, 420));
    std::ifstream file(out / c.written, std::ios::binary);
    char head[2] = {};
    file.read(head, 2);
    EXPECT_EQ(std::string(head, 2), c.jpeg ? "\xFF\xD8" : "BM") << c.written;
  }
}

TEST_F(OutputCommands, ASaveAcrossACoastWritesTheSeaWhiteAndSaysHowManyTilesHadNoImagery) {
  const auto area = ServedArea(selection);
  slow->tiles.erase("0-10-18-102-48");  // the south-east tile lies in the sea
  testing::TTempFolder out;
  dialog->script = {TSaveFileAnswer{out / "coast.bmp", 2}};
  EXPECT_TRUE(RunWizardWith(selection, 10, [](TfrmSaveAsWizard& wizard) {
    QTest::mouseClick(wizard.Button2, Qt::LeftButton);
  }));
  ASSERT_EQ(prompter->asked.size(), 2u);
  EXPECT_EQ(prompter->asked[0].Text,
            "1 of 9 tiles have no imagery; that part of the picture is left white.");
  EXPECT_EQ(prompter->asked[1].Text, "Photo successfully saved.");
  ExpectTilesDrawn(PictureOf(QImage(QString::fromStdString(out / "coast.bmp"))), *area, 8);
}

TEST_F(OutputCommands, ACancelledDownloadStillWritesTheFullPicturePartlyWhite) {
  const auto area = ServedArea(selection);
  slow->tileDelay = std::chrono::milliseconds(40);
  testing::TTempFolder out;
  dialog->script = {TSaveFileAnswer{out / "site.bmp", 2}};
  bool openAfterwards = false;
  const bool saved = RunWizardWith(selection, 10, [&](TfrmSaveAsWizard& wizard) {
    CancelTheNextDownload();
    QTest::mouseClick(wizard.Button2, Qt::LeftButton);
    openAfterwards = wizard.isVisible();
  });
  EXPECT_FALSE(saved);
  EXPECT_TRUE(openAfterwards);
  EXPECT_TRUE(prompter->asked.empty());
  const QImage image(QString::fromStdString(out / "site.bmp"));
  ASSERT_EQ(image.size(), QSize(420, 420));
  const TBitmap24 picture = PictureOf(image);
  const int drawn = DrawnTiles(picture, *area);
  EXPECT_LT(drawn, 9);
  ExpectTilesDrawn(picture, *area, drawn);
}

TEST_F(OutputCommands, WriteFailuresAreShownAndALengthenedNameIsNotReplacedUnasked) {
  testing::TTempFolder out;
  std::ofstream(out / "site.jpg") << "keep me";
  ServedArea(selection);
  dialog->script = {TSaveFileAnswer{"/nonexistent-folder/site.jpg", 1},
                    TSaveFileAnswer{out / "site", 1}};
  bool openAfterwards = false;
  const bool saved = RunWizardWith(selection, 10, [&](TfrmSaveAsWizard& wizard) {
    QTest::mouseClick(wizard.Button2, Qt::LeftButton);
    QTest::mouseClick(wizard.Button2, Qt::LeftButton);  // "site" would replace site.jpg: No
    openAfterwards = wizard.isVisible();
  });
  EXPECT_FALSE(saved);
  EXPECT_TRUE(openAfterwards);
  EXPECT_EQ(CurrentWaitScreen(), nullptr);
  ASSERT_EQ(prompter->asked.size(), 2u);
  EXPECT_EQ(prompter->asked[0].Kind, TPromptKind::pkError);
  EXPECT_NE(prompter->asked[0].Text.find("/nonexistent-folder/site.jpg"), std::string::npos);
  EXPECT_EQ(prompter->asked[1].Kind, TPromptKind::pkConfirmation);
  EXPECT_EQ(prompter->asked[1].Text, "site.jpg already exists.\nDo you want to replace it?");
  std::ifstream kept(out / "site.jpg");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep me");
}

TEST_F(OutputCommands, SideFilesAreAskedAboutOptionalAndOnlyAWarningWhenUnwritable) {
  testing::TTempFolder out;
  std::ofstream(out / "site.jpg") << "old";
  std::ofstream(out / "site.jgw") << "old";
  fs::create_directory(out / "site.prj");  // cannot be replaced by a file
  ServedArea(selection);
  auto answers = std::make_shared<TScriptedPrompter>(
      std::deque<TPromptAnswer>{TPromptAnswer::paNo, TPromptAnswer::paYes});
  TScopedPrompter scoped(answers);
  dialog->script = {TSaveFileAnswer{out / "site.jpg", 1}, TSaveFileAnswer{out / "site.jpg", 1}};
  EXPECT_TRUE(RunWizardWith(selection, 10, [](TfrmSaveAsWizard& wizard) {
    EXPECT_TRUE(wizard.chkWorldFile->isChecked());
    QTest::mouseClick(wizard.Button2, Qt::LeftButton);  // No: nothing is written
    QTest::mouseClick(wizard.Button2, Qt::LeftButton);
  }));
  ASSERT_EQ(answers->asked.size(), 4u);
  EXPECT_EQ(
      answers->asked[0].Text,
      "These files already exist:\nsite.jpg\nsite.jgw\nsite.prj\nDo you want to replace them?");
  EXPECT_EQ(answers->asked[2].Text, "Photo successfully saved.");
  EXPECT_EQ(answers->asked[3].Kind, TPromptKind::pkWarning);
  EXPECT_NE(answers->asked[3].Text.find("site.prj"), std::string::npos);
  EXPECT_EQ(QImage(QString::fromStdString(out / "site.jpg")).size(), QSize(420, 420));

  // Turned off, no side file is written, and the choice holds for the next Save As.
  dialog->script = {TSaveFileAnswer{out / "bare", 1}};
  EXPECT_TRUE(RunWizardWith(selection, 10, [](TfrmSaveAsWizard& wizard) {
    wizard.chkWorldFile->click();
    QTest::mouseClick(wizard.Button2, Qt::LeftButton);
  }));
  EXPECT_TRUE(fs::exists(out / "bare.jpg"));
  EXPECT_FALSE(fs::exists(out / "bare.jgw"));
  TfrmSaveAsWizard next;
  EXPECT_FALSE(next.chkWorldFile->isChecked());
}

TEST_F(OutputCommands, ADeclinedRetryKeepsTheWizardFromOpeningWithoutAMessage) {
  slow->failures = 1;
  bool opened = false;
  OnNextModal(
      [&](QWidget* modal) {
        opened = true;
        modal->close();
      },
      200);
  EXPECT_FALSE(RunSaveAsWizard(selection, 10));
  testing::WaitUntil([] { return false; }, 250);
  EXPECT_FALSE(opened);
  ASSERT_EQ(prompter->asked.size(), 1u);  // the retry prompt only
  EXPECT_EQ(prompter->asked[0].Text, RetryPromptText("Timeout"));
}

// ---- Copy ------------------------------------------------------------------------------

TEST_F(OutputCommands, CopyTakesUpToTheLimitAtTheViewsLevel) {
  const struct {
    QSize size;
    bool copied;
  } cases[] = {{{2048, 2048}, true}, {{2048, 2049}, false}, {{4194305, 1}, false}};
  for (const auto& c : cases) {
    slow->areaSize = c.size;
    if (c.copied) ServedArea(selection, Scale::Scale8m);
    prompter->asked.clear();
    slow->scales.clear();
    QGuiApplication::clipboard()->setText("before");
    CopySelectionToClipboard(selection, 13);
    EXPECT_EQ(slow->scales, std::vector<Scale>{Scale::Scale8m});
    const QImage image = QGuiApplication::clipboard()->image();
    if (c.copied) {
      EXPECT_TRUE(prompter->asked.empty());
      EXPECT_EQ(image.size(), c.size);
    } else {
      ASSERT_EQ(prompter->asked.size(), 1u);
      EXPECT_EQ(prompter->asked[0].Kind, TPromptKind::pkWarning);
      EXPECT_EQ(prompter->asked[0].Text,
                "The area selected is too large for the clipboard.  Use \"SaveAs...\" instead.");
      EXPECT_EQ(QGuiApplication::clipboard()->text(), "before");
      EXPECT_TRUE(slow->tileRequests.empty());
    }
    slow->tileRequests.clear();
  }
}

TEST_F(OutputCommands, CopyRefusesAnAreaLargerThanTheSelectionAllowsBeforeAnyTile) {
  slow->areaSize = QSize(60001, 50);
  QGuiApplication::clipboard()->setText("before");
  CopySelectionToClipboard(selection, 13);
  const TPictureLimit limit = SelectionPictureLimit(selection, 13);
  ASSERT_EQ(prompter->asked.size(), 1u);
  EXPECT_EQ(prompter->asked[0].Kind, TPromptKind::pkError);
  EXPECT_EQ(prompter->asked[0].Text,
            "The map service's area cannot be used: its picture of 60001 x 50 pixels is larger "
            "than the rectangle at 8 Meters allows (at most " +
                std::to_string(limit.Width) + " x " + std::to_string(limit.Height) + ")");
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "before");
  EXPECT_TRUE(slow->tileRequests.empty());
}

TEST_F(OutputCommands, TheClipboardHoldsThePhotographOnlyAlsoAfterACancel) {
  const struct { bool cancel; } cases[] = {{false}, {true}};
  for (const auto& c : cases) {
    FinalizeTileService();  // a fresh cache: every tile is requested again
    InitializeTileService(service, "", folder / (c.cancel ? "cancelled" : "whole"), 100000, 10);
    const auto area = ServedArea(selection);
    slow->tileDelay = std::chrono::milliseconds(c.cancel ? 40 : 0);
    if (c.cancel) CancelTheNextDownload();
    CopySelectionToClipboard(selection, 10);
    const QImage image = QGuiApplication::clipboard()->image();
    ASSERT_EQ(image.size(), QSize(420, 420));
    // Every tile's own colour, untouched by any brightness or overlay; white where a
    // cancelled download drew nothing.
    const TBitmap24 picture = PictureOf(image);
    const int drawn = DrawnTiles(picture, *area);
    EXPECT_EQ(drawn < 9, c.cancel);
    ExpectTilesDrawn(picture, *area, drawn);
    EXPECT_TRUE(prompter->asked.empty());
  }
}

}  // namespace
}  // namespace quorvil
