#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include "output/PageSetupFrame.h"
#include "output/PrinterSupport.h"
#include "settings/RegistrySupport.h"
#include "support/QtTestSupport.h"
#include "support/ScriptedPrompter.h"
#include "support/TempConfigHome.h"
#include "support/TempFolder.h"

namespace quorvil {
namespace {

using testing::TScriptedPrompter;

class PageSetupFrameTest : public TempConfigHomeTest {
 protected:
  void SetUp() override {
    TempConfigHomeTest::SetUp();
    UsePdfPrinter(folder_ / "page.pdf");
    CurrentPrinter().setPageOrientation(QPageLayout::Portrait);
  }
  void TearDown() override {
    SetPrinterSetupRunner({});
    TempConfigHomeTest::TearDown();
  }

  // A frame as the wizard makes it: shown, then initialised.
  std::unique_ptr<TframePageSetup> NewFrame() {
    auto frame = std::make_unique<TframePageSetup>();
    frame->show();
    frame->InitPageSetup();
    return frame;
  }

  testing::TTempFolder folder_;
};

TEST_F(PageSetupFrameTest, OpensOnFitToPageCentredWithTheScaleBoxDisabled) {
  auto frame = NewFrame();
  EXPECT_EQ(frame->Label4->text(), "Page Setup");
  EXPECT_TRUE(frame->Label4->font().bold());
  EXPECT_EQ(frame->lblPrinter->text(), "Print to File (PDF)");
  EXPECT_EQ(frame->lblOrientation->text(), "Portrait");
  EXPECT_EQ(frame->Button1->text(), "Printer Setup...");
  EXPECT_TRUE(frame->rbFitToPage->isChecked());
  EXPECT_TRUE(frame->chkCenterHorizontal->isChecked());
  EXPECT_TRUE(frame->chkCenterVertical->isChecked());
  EXPECT_EQ(frame->edtScale->text(), "100");
  for (QWidget* control :
       {static_cast<QWidget*>(frame->edtScale), static_cast<QWidget*>(frame->udScale),
        static_cast<QWidget*>(frame->lblPercent)}) {
    EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
  }
  EXPECT_EQ(frame->PhotoWidth(), 100);
  EXPECT_EQ(frame->lblResolution->text(), "Actual Size: 300 picture pixels per inch");

  const TPrinterInfoRec& printer = frame->PrinterInfo();
  EXPECT_EQ(frame->pnlParent->height(), 121);
  EXPECT_EQ(frame->pnlParent->width(), frame->width());
  EXPECT_EQ(frame->pnlPaper->height(), 121);
  EXPECT_EQ(frame->pnlPaper->width(), 121 * printer.PageWidthPixels / printer.PageHeightPixels);
  EXPECT_EQ(frame->pnlPaper->x(), (frame->pnlParent->width() - frame->pnlPaper->width()) / 2);
  EXPECT_EQ(frame->imgPageDogEar->geometry(), QRect(frame->pnlPaper->width() - 16, 0, 16, 16));
}

TEST_F(PageSetupFrameTest, PageSizeInInchesOrWholeMillimetres) {
  auto english = NewFrame();
  const TPrinterInfoRec& printer = english->PrinterInfo();
  EXPECT_EQ(english->lblPageSize->text().toStdString(),
            PageSizeText(printer.PageWidth, printer.PageHeight, true));
  EXPECT_TRUE(english->lblPageSize->text().endsWith("\""));

  WriteRegistryString("\\Preferences", "MeasurementSystem", "Metric");
  EXPECT_EQ(english->lblPageSize->text().toStdString(),
            PageSizeText(printer.PageWidth, printer.PageHeight, true))
      << "the preference is read when the page is made";
  auto metric = NewFrame();
  EXPECT_EQ(metric->lblPageSize->text().toStdString(),
            std::to_string(int(printer.PageWidth * 25.4)) + " x " +
                std::to_string(int(printer.PageHeight * 25.4)) + " mm");
}

TEST_F(PageSetupFrameTest, ThePreviewFollowsEveryChoice) {
  auto frame = NewFrame();
  const TPrinterInfoRec& printer = frame->PrinterInfo();
  frame->SetPhotoSize(printer.PageWidthPixels / 2, printer.PageHeightPixels / 4);
  const auto photo = [&] { return frame->shapePhoto->geometry(); };
  const auto expected = [&] {
    const TPagePreview preview =
        CalcPagePreview(frame->pnlParent->width(), 121, printer, frame->PhotoWidth(),
                        frame->PhotoHeight(), frame->ReadPrintOptions());
    return QRect(preview.Photo.Left, preview.Photo.Top, preview.Photo.Width, preview.Photo.Height);
  };
  const QRect fitted = photo();
  EXPECT_EQ(fitted, expected());
  EXPECT_EQ(fitted.width(), frame->pnlPaper->width() - 6);

  QTest::mouseClick(frame->rbActualSize, Qt::LeftButton);
  EXPECT_EQ(frame->ReadPrintOptions().ScaleMode, TPrintScaleMode::smActualSize);
  EXPECT_EQ(photo(), expected());
  EXPECT_LT(photo().width(), fitted.width());

  QTest::mouseClick(frame->chkCenterHorizontal, Qt::LeftButton);
  EXPECT_FALSE(frame->ReadPrintOptions().CenterHorizontal);
  EXPECT_EQ(photo().x(), 3);

  QTest::mouseClick(frame->rbScale, Qt::LeftButton);
  EXPECT_TRUE(frame->edtScale->isEnabled());
  EXPECT_TRUE(frame->udScale->isEnabled());
  EXPECT_TRUE(frame->lblPercent->isEnabled());
  const QRect hundred = photo();
  frame->edtScale->selectAll();
  QTest::keyClicks(frame->edtScale, "50");
  EXPECT_EQ(frame->ReadPrintOptions().ScalePercent, 50);
  EXPECT_EQ(photo(), expected());
  EXPECT_EQ(photo().width(), hundred.width() / 2);

  QTest::mouseClick(frame->rbFitToPage, Qt::LeftButton);
  EXPECT_FALSE(frame->edtScale->isEnabled());
  EXPECT_FALSE(frame->udScale->isEnabled());
  EXPECT_FALSE(frame->lblPercent->isEnabled());
  EXPECT_EQ(photo(), expected());
}

TEST_F(PageSetupFrameTest, ScaleBoxTakesDigitsOnlyButPastedTextPasses) {
  auto frame = NewFrame();
  QTest::mouseClick(frame->rbScale, Qt::LeftButton);
  frame->edtScale->setFocus();
  frame->edtScale->selectAll();
  QTest::keyClicks(frame->edtScale, "1a-2 .5");
  EXPECT_EQ(frame->edtScale->text(), "125");
  QTest::keyClick(frame->edtScale, Qt::Key_Backspace);
  EXPECT_EQ(frame->edtScale->text(), "12");
  QTest::keyClick(frame->edtScale, Qt::Key_Home);
  QTest::keyClick(frame->edtScale, Qt::Key_Delete);
  EXPECT_EQ(frame->edtScale->text(), "2");

  frame->edtScale->selectAll();
  frame->edtScale->insert("-40");  // as a paste inserts it
  EXPECT_EQ(frame->edtScale->text(), "-40");
  EXPECT_EQ(frame->ReadPrintOptions().ScalePercent, -40);
}

TEST_F(PageSetupFrameTest, ArrowsStepBy25WithinTheirLimits) {
  auto frame = NewFrame();
  QTest::mouseClick(frame->rbScale, Qt::LeftButton);
  TUpDown* arrows = frame->udScale;
  QTest::mouseClick(arrows->btnUp, Qt::LeftButton);
  EXPECT_EQ(frame->edtScale->text(), "125");
  QTest::mouseClick(arrows->btnDown, Qt::LeftButton);
  QTest::mouseClick(arrows->btnDown, Qt::LeftButton);
  EXPECT_EQ(frame->edtScale->text(), "75");

  struct Case {
    const char* typed;
    int steps;
    const char* expected;
  };
  const Case cases[] = {
      {"10", -1, "0"},        // stops at 0
      {"0", -1, "0"},         // and does not wrap
      {"9990", 1, "10000"},   // stops at 10000, without a thousands separator
      {"10000", 1, "10000"},  //
      {"abc", 1, "100"},      // a box without a number steps from the last position
      {"20000", -1, "50"},    // a number out of range is not taken either
  };
  for (const Case& c : cases) {
    arrows->SetPosition(75);
    frame->edtScale->setText(c.typed);
    arrows->Step(c.steps);
    EXPECT_EQ(frame->edtScale->text(), c.expected) << c.typed;
  }
  frame->edtScale->setText("100");
  frame->edtScale->setFocus();
  QTest::keyClick(frame->edtScale, Qt::Key_Up);
  EXPECT_EQ(frame->edtScale->text(), "125");
}

TEST_F(PageSetupFrameTest, ScaleValidationWarnsWhateverTheChoice) {
  auto frame = NewFrame();
  struct Case {
    const char* text;
    bool scaleChosen;
    const char* warning;  // nullptr: accepted
  };
  const Case cases[] = {
      {"", false, "The value of the scale percentage must be an integer."},
      {"", true, "The value of the scale percentage must be an integer."},
      {"12345678901", true, "The value of the scale percentage must be an integer."},
      {"-5", false, "The value of the scale percentage must be a positive integer."},
      {"0", true, nullptr},
      {"250", true, nullptr},
  };
  for (const Case& c : cases) {
    (c.scaleChosen ? frame->rbScale : frame->rbFitToPage)->setChecked(true);
    frame->edtScale->setText(c.text);
    auto prompter = std::make_shared<TScriptedPrompter>();
    TScopedPrompter scoped(prompter);
    EXPECT_EQ(frame->ValidateScale(), c.warning == nullptr) << c.text;
    if (c.warning == nullptr) {
      EXPECT_TRUE(prompter->asked.empty()) << c.text;
    } else {
      ASSERT_EQ(prompter->asked.size(), 1u) << c.text;
      EXPECT_EQ(prompter->asked[0].Kind, TPromptKind::pkWarning);
      EXPECT_EQ(prompter->asked[0].Buttons, TPromptButtons::pbOk);
      EXPECT_EQ(prompter->asked[0].Text, c.warning);
    }
  }
}

TEST_F(PageSetupFrameTest, ConfirmedLandscapeSetupWidensThePaper) {
  auto frame = NewFrame();
  const int portraitWidth = frame->pnlPaper->width();

  SetPrinterSetupRunner([](QPrinter& printer, QWidget*) {
    printer.setPageOrientation(QPageLayout::Landscape);
    return false;  // cancelled: what the dialog changed is not read
  });
  QTest::mouseClick(frame->Button1, Qt::LeftButton);
  EXPECT_EQ(frame->lblOrientation->text(), "Portrait");
  EXPECT_EQ(frame->pnlPaper->width(), portraitWidth);

  SetPrinterSetupRunner([](QPrinter& printer, QWidget*) {
    printer.setPageOrientation(QPageLayout::Landscape);
    return true;
  });
  QTest::mouseClick(frame->Button1, Qt::LeftButton);
  EXPECT_EQ(frame->lblOrientation->text(), "Landscape");
  EXPECT_GT(frame->pnlPaper->width(), portraitWidth);
  EXPECT_EQ(frame->pnlPaper->height(), 121);
  EXPECT_EQ(frame->PrinterInfo().Orientation, kOrientationLandscape);
}

TEST_F(PageSetupFrameTest, PrinterSetupIsThePrintDialog) {
  auto frame = NewFrame();
  bool opened = false;
  QStringList buttons;
  testing::OnNextModal([&](QWidget* modal) {
    opened =
        qobject_cast<QPrintDialog*>(modal) != nullptr && modal->windowTitle() == "Printer Setup";
    for (const QPushButton* button : modal->findChildren<QPushButton*>()) {
      if (button->isVisible()) buttons << button->text();
    }
    static_cast<QDialog*>(modal)->reject();
  });
  QTest::mouseClick(frame->Button1, Qt::LeftButton);
  EXPECT_TRUE(opened);
  EXPECT_TRUE(buttons.contains("OK")) << buttons.join(", ").toStdString();
  EXPECT_FALSE(buttons.join(" ").contains("Print")) << "setup must not promise a print";
  EXPECT_EQ(frame->lblPrinter->text(), "Print to File (PDF)");
}

TEST(PageDogEar, DrawnCornerWithTheOutsideFilled) {
  const QColor background(10, 200, 30);
  const QImage corner = PageDogEarPicture(background);
  ASSERT_EQ(corner.size(), QSize(16, 16));
  const QRgb black = qRgb(0, 0, 0), grey = qRgb(128, 128, 128), white = qRgb(255, 255, 255);
  struct Case {
    int x, y;
    QRgb colour;
  };
  const Case cases[] = {
      {0, 0, black},
      {0, 9, black},
      {7, 15, black},
      {15, 15, black},
      {6, 6, black},
      {1, 0, grey},
      {9, 8, grey},
      {2, 0, background.rgb()},
      {15, 0, background.rgb()},
      {15, 13, background.rgb()},
      {1, 5, white},
      {3, 10, white},
      {13, 14, white},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(corner.pixel(c.x, c.y), c.colour) << c.x << ", " << c.y;
  }
}

}  // namespace
}  // namespace quorvil
