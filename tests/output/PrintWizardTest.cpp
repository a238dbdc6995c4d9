#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPageSize>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <thread>

#include "PdfTestSupport.h"
#include "output/OutputTestSupport.h"
#include "output/PageSetupFrame.h"
#include "output/PhotoSetupFrame.h"
#include "output/PrintSupport.h"
#include "output/PrintWizard.h"
#include "output/PrinterSupport.h"
#include "platform/WaitScreen.h"
#include "settings/PreferencesSupport.h"
#include "settings/RegistrySupport.h"
#include "support/QtTestSupport.h"
#include "support/ScriptedPrompter.h"
#include "support/ScriptedSaveFileDialog.h"

namespace quorvil {
namespace {

namespace fs = std::filesystem;
using testing::OnNextModal;
using testing::PdfImages;
using testing::PdfPageCount;
using testing::SelectionOfTiles;
using testing::TScriptedPrompter;
using testing::TScriptedSaveFileDialog;

// Tiles that take a while, so that a download can be cancelled on its way; at a level
// other than 1 meter the area is one tile of 150 x 100 pixels.
class TSlowTiles : public testing::TFakeTerraService {
 public:
  std::unique_ptr<AreaBoundingBox> GetAreaFromRect(const LonLatPt& upperLeft,
                                                   const LonLatPt& lowerRight, Theme theme,
                                                   Scale scale) override {
    auto area = TFakeTerraService::GetAreaFromRect(upperLeft, lowerRight, theme, scale);
    if (scale == Scale::Scale1m) return area;
    return testing::MakeArea(0, 0, 0, 0, 0, 0, 150, 100, theme, scale);
  }
  std::string GetTile(const TileId& id) override {
    std::this_thread::sleep_for(tileDelay);
    return TFakeTerraService::GetTile(id);
  }
  std::chrono::milliseconds tileDelay{0};
};

class PrintWizardTest : public testing::TOutputTest {
 protected:
  void SetUp() override {
    service = slow;
    TOutputTest::SetUp();
    UsePdfPrinter(pdf);
    area = slow->GetAreaFromRect({selection.West, selection.North},
                                 {selection.East, selection.South}, Theme::Photo, Scale::Scale1m);
    ServeArea(*area);
    slow->calls.clear();
  }

  // Installs a prompter answering `script`.
  void Answer(std::deque<TPromptAnswer> script) {
    prompter = std::make_shared<TScriptedPrompter>(std::move(script));
    installed.emplace(prompter);
  }

  // Runs the wizard at level 10, and `step` on it once it is on screen; the wizard's
  // result. A wizard still open afterwards is cancelled.
  bool RunWizardWith(const std::function<void(TfrmPrintWizard&)>& step) {
    OnNextModal([step](QWidget* modal) {
      auto* wizard = qobject_cast<TfrmPrintWizard*>(modal);
      ASSERT_NE(wizard, nullptr);
      step(*wizard);
      if (wizard->isVisible()) QTest::mouseClick(wizard->Button1, Qt::LeftButton);
    });
    return RunPrintWizard(selection, 10);
  }

  static void Next(TfrmPrintWizard& wizard) { QTest::mouseClick(wizard.Button2, Qt::LeftButton); }

  // The print questions the prompter was asked.
  int OutcomeQuestions() const {
    int count = 0;
    for (const TPromptRequest& request : prompter->asked) {
      if (request.Text != kPrintOutcomeQuestion) continue;
      EXPECT_EQ(request.Kind, TPromptKind::pkConfirmation);
      EXPECT_EQ(request.Buttons, TPromptButtons::pbYesNo);
      ++count;
    }
    return count;
  }

  const TSelectionRec selection = SelectionOfTiles(100, 50, 102, 48);
  std::shared_ptr<TSlowTiles> slow = std::make_shared<TSlowTiles>();
  std::unique_ptr<AreaBoundingBox> area;
  std::string pdf = folder / "page.pdf";
  std::shared_ptr<TScriptedPrompter> prompter = std::make_shared<TScriptedPrompter>();
  std::optional<TScopedPrompter> installed{std::in_place, prompter};
};

TEST_F(PrintWizardTest, OpensOnPhotoSetupAndGoesToPageSetupAndBack) {
  const bool printed = RunWizardWith([](TfrmPrintWizard& wizard) {
    EXPECT_EQ(wizard.windowTitle(), "Print...");
    // Wider than designed only where the page size would run into "Printer Setup...".
    EXPECT_EQ(wizard.size(), QSize(std::max(292, wizard.framePageSetup->NeededWidth()), 376));
    EXPECT_EQ(wizard.Button2->text(), "Next >");
    EXPECT_EQ(wizard.Button1->text(), "Cancel");
    EXPECT_EQ(wizard.Button3->text(), "< Back");
    EXPECT_EQ(wizard.CurrentPage(), 0);
    EXPECT_TRUE(wizard.framePhotoSetup->isVisible());
    EXPECT_FALSE(wizard.framePageSetup->isVisible());
    EXPECT_FALSE(wizard.Button3->isVisible());

    Next(wizard);
    EXPECT_EQ(wizard.CurrentPage(), 1);
    EXPECT_FALSE(wizard.framePhotoSetup->isVisible());
    EXPECT_TRUE(wizard.framePageSetup->isVisible());
    EXPECT_TRUE(wizard.Button3->isVisible());
    EXPECT_EQ(wizard.Button2->text(), "Next >");
    TframePageSetup& page = *wizard.framePageSetup;
    EXPECT_EQ(page.PhotoWidth(), 420);
    EXPECT_EQ(page.PhotoHeight(), 420);
    EXPECT_TRUE(page.rbFitToPage->isChecked());
    EXPECT_TRUE(page.chkCenterHorizontal->isChecked());
    EXPECT_TRUE(page.chkCenterVertical->isChecked());
    EXPECT_EQ(page.edtScale->text(), "100");
    EXPECT_FALSE(page.edtScale->isEnabled());
    EXPECT_FALSE(page.lblPercent->isEnabled());
    EXPECT_EQ(page.lblPrinter->text().toStdString(), kPdfPrinterName);
    EXPECT_LT(page.lblPageSize->geometry().right(), page.Button1->x());

    // Back keeps the choices; another level sizes the preview on the way forward again.
    page.rbActualSize->click();
    QTest::mouseClick(wizard.Button3, Qt::LeftButton);
    EXPECT_EQ(wizard.CurrentPage(), 0);
    EXPECT_TRUE(wizard.framePhotoSetup->isVisible());
    EXPECT_FALSE(wizard.Button3->isVisible());
    wizard.framePhotoSetup->cbZoom->setCurrentIndex(1);
    Next(wizard);
    EXPECT_TRUE(page.rbActualSize->isChecked());
    EXPECT_EQ(page.PhotoWidth(), 150);
    EXPECT_EQ(page.PhotoHeight(), 100);
  });
  EXPECT_FALSE(printed);
  EXPECT_FALSE(std::filesystem::exists(pdf));
  EXPECT_TRUE(slow->tileRequests.empty());
  EXPECT_TRUE(prompter->asked.empty());
}

TEST_F(PrintWizardTest, PrintsOnePageAndAsksUntilThePagePrintedWell) {
  Answer({TPromptAnswer::paNo, TPromptAnswer::paYes});
  QStringList waitTexts;
  QTimer watcher;
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    if (QWidget* screen = CurrentWaitScreen()) {
      const auto* label = screen->findChild<QLabel*>("lblWaitMessage");
      if (label != nullptr && !waitTexts.contains(label->text())) waitTexts << label->text();
    }
  });
  watcher.start(0);
  int pagesAfterNo = -1, questionsAfterNo = -1, pageAfterNo = -1;
  bool openAfterNo = false, openAfterYes = true;
  const bool printed = RunWizardWith([&](TfrmPrintWizard& wizard) {
    Next(wizard);
    Next(wizard);  // prints; "No"
    pagesAfterNo = PdfPageCount(pdf);
    questionsAfterNo = OutcomeQuestions();
    openAfterNo = wizard.isVisible();
    pageAfterNo = wizard.CurrentPage();
    std::filesystem::remove(pdf);
    Next(wizard);  // downloads and prints again; "Yes"
    openAfterYes = wizard.isVisible();
  });
  watcher.stop();
  EXPECT_TRUE(printed);
  EXPECT_EQ(pagesAfterNo, 1);
  EXPECT_EQ(questionsAfterNo, 1);
  EXPECT_TRUE(openAfterNo);
  EXPECT_EQ(pageAfterNo, 1);
  EXPECT_FALSE(openAfterYes);
  EXPECT_EQ(OutcomeQuestions(), 2);
  EXPECT_EQ(prompter->asked.size(), 2u);
  EXPECT_EQ(PdfPageCount(pdf), 1);
  const auto images = PdfImages(pdf);
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0].Width, 420);
  EXPECT_EQ(images[0].Height, 420);
  EXPECT_EQ(slow->tileRequests.size(), 9u);  // the second print came from the cache
  EXPECT_EQ(waitTexts, QStringList{"Sending Image to Printer.\n\nPlease Wait..."});
  EXPECT_EQ(CurrentWaitScreen(), nullptr);
}

TEST_F(PrintWizardTest, ThePdfPrinterAsksForItsFileUnlessPrinterSetupChoseOne) {
  const std::string savedHome = std::getenv("HOME");
  const fs::path home = folder / "home";  // a first run: no documents folder yet
  fs::create_directory(home);
  setenv("HOME", home.c_str(), 1);
  std::ofstream(home / "taken.pdf") << "old";
  UsePdfPrinter(home / "Documents/Quorvil.pdf", false);
  auto dialog =
      std::make_shared<TScriptedSaveFileDialog>(std::deque<std::optional<TSaveFileAnswer>>{
          TSaveFileAnswer{home / "taken", 1}, TSaveFileAnswer{home / "new.pdf", 1}});
  TScopedSaveFileDialog installedDialog(dialog);
  Answer({TPromptAnswer::paNo, TPromptAnswer::paYes});
  EXPECT_TRUE(RunWizardWith([&](TfrmPrintWizard& wizard) {
    Next(wizard);
    Next(wizard);  // "taken" becomes taken.pdf, which is there: No
    EXPECT_TRUE(slow->tileRequests.empty());
    Next(wizard);
  }));
  ASSERT_EQ(dialog->asked.size(), 2u);
  EXPECT_EQ(dialog->asked[0].Filter, "PDF (*.pdf)|*.pdf");
  EXPECT_EQ(dialog->asked[0].FileName, "Somewhere, NY.pdf");
  EXPECT_EQ(dialog->asked[0].InitialFolder, home.string());
  EXPECT_TRUE(dialog->asked[0].OverwritePrompt);
  EXPECT_EQ(prompter->asked[0].Text, "taken.pdf already exists.\nDo you want to replace it?");
  EXPECT_EQ(fs::file_size(home / "taken.pdf"), 3u);  // "old", kept
  EXPECT_EQ(PdfPageCount((home / "new.pdf").string()), 1);

  // A file confirmed in Printer Setup is kept: no more asking.
  SetPrinterSetupRunner([](QPrinter&, QWidget*) { return true; });
  EXPECT_TRUE(RunPrinterSetup(nullptr));
  SetPrinterSetupRunner({});
  EXPECT_TRUE(ChoosePrintFile("Elsewhere"));
  EXPECT_EQ(dialog->asked.size(), 2u);
  // The folder printed into is kept in the settings, before the printer's own.
  fs::create_directory(folder / "pdfs");
  WriteRegistryString(kPreferencesKey, kLastPdfFolderValue, folder / "pdfs");
  UsePdfPrinter(home / "Quorvil.pdf", false);
  dialog->script = {TSaveFileAnswer{home / "third.pdf", 1}};
  EXPECT_TRUE(ChoosePrintFile("Third"));
  ASSERT_EQ(dialog->asked.size(), 3u);
  EXPECT_EQ(dialog->asked[2].InitialFolder, folder / "pdfs");
  EXPECT_EQ(ReadLastFolder(kLastPdfFolderValue), home.string());
  setenv("HOME", savedHome.c_str(), 1);
}

TEST_F(PrintWizardTest, AnUnreadableScaleBlocksPrintingWhateverTheChoice) {
  const struct {
    const char* text;
    bool fitToPage;
    const char* warning;
  } cases[] = {
      {"", true, kScaleNotIntegerMessage},
      {"", false, kScaleNotIntegerMessage},
      {"-5", true, kScaleNegativeMessage},
  };
  for (const auto& c : cases) {
    Answer({});
    const bool printed = RunWizardWith([&](TfrmPrintWizard& wizard) {
      Next(wizard);
      TframePageSetup& page = *wizard.framePageSetup;
      if (!c.fitToPage) page.rbScale->click();
      page.edtScale->setText(c.text);
      Next(wizard);
      EXPECT_TRUE(wizard.isVisible());
      EXPECT_EQ(wizard.CurrentPage(), 1);
    });
    EXPECT_FALSE(printed);
    ASSERT_EQ(prompter->asked.size(), 1u) << c.text;
    EXPECT_EQ(prompter->asked[0].Kind, TPromptKind::pkWarning);
    EXPECT_EQ(prompter->asked[0].Text, c.warning);
    EXPECT_FALSE(std::filesystem::exists(pdf));
    EXPECT_TRUE(slow->tileRequests.empty());
  }
}

TEST_F(PrintWizardTest, ACancelledDownloadStillPrintsThePartlyWhitePictureAndAsksNothing) {
  // One connection: no tile is fetched ahead, so the cancel always finds tiles left.
  InitializeTileService(service, "", folder / "Cache", 100000, 10, 1);
  slow->tileDelay = std::chrono::milliseconds(40);
  bool openAfterwards = false;
  int pageAfterwards = -1;
  const bool printed = RunWizardWith([&](TfrmPrintWizard& wizard) {
    Next(wizard);
    OnNextModal([](QWidget* progress) {
      QTest::mouseClick(progress->findChild<QPushButton*>("Button1"), Qt::LeftButton);
    });
    Next(wizard);
    openAfterwards = wizard.isVisible();
    pageAfterwards = wizard.CurrentPage();
  });
  EXPECT_FALSE(printed);
  EXPECT_TRUE(openAfterwards);
  EXPECT_EQ(pageAfterwards, 1);
  EXPECT_TRUE(prompter->asked.empty());
  EXPECT_LT(slow->tileRequests.size(), 9u);
  ASSERT_EQ(PdfPageCount(pdf), 1);
  // The whole picture went to the page, the tiles not drawn in white.
  const std::string stem = folder / "image";
  testing::CommandOutput("pdfimages -png '" + pdf + "' '" + stem + "'");
  const QImage image(QString::fromStdString(stem + "-000.png"));
  ASSERT_EQ(image.size(), QSize(420, 420));
  const QRgb last = image.pixel(419, 419);
  EXPECT_GT(qRed(last), 245);
  EXPECT_GT(qGreen(last), 245);
  EXPECT_GT(qBlue(last), 245);
  EXPECT_EQ(CurrentWaitScreen(), nullptr);
}

TEST_F(PrintWizardTest, APrinterThatCannotBeUsedKeepsTheWizardFromOpening) {
  // A page too small for a single device pixel.
  CurrentPrinter().setResolution(1);
  CurrentPrinter().setPageSize(QPageSize(QSizeF(10, 10), QPageSize::Millimeter));
  bool opened = false;
  OnNextModal(
      [&](QWidget* modal) {
        opened = true;
        modal->close();
      },
      200);
  EXPECT_FALSE(RunPrintWizard(selection, 10));
  testing::WaitUntil([] { return false; }, 250);
  EXPECT_FALSE(opened);
  ASSERT_EQ(prompter->asked.size(), 1u);
  EXPECT_EQ(prompter->asked[0].Kind, TPromptKind::pkError);
  EXPECT_NE(prompter->asked[0].Text.find("has no printable area"), std::string::npos);
}

}  // namespace
}  // namespace quorvil
