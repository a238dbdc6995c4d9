#include <gtest/gtest.h>

#include <QLabel>
#include <QPrinter>
#include <QTimer>
#include <filesystem>

#include "PdfTestSupport.h"
#include "output/PrintSupport.h"
#include "output/PrinterSupport.h"
#include "platform/ProgramError.h"
#include "platform/WaitScreen.h"
#include "support/QtTestSupport.h"
#include "support/TempFolder.h"

namespace quorvil {
namespace {

using testing::InkBounds;
using testing::PdfImages;
using testing::PdfPageCount;
using testing::RenderPdfPage;

constexpr int kRenderDpi = 50;

TBitmap24 DarkPicture(int width, int height) {
  TBitmap24 picture(width, height);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = picture.Row(y);
    for (int x = 0; x < width; ++x) {
      row[3 * x] = 160;  // blue
      row[3 * x + 1] = 60;
      row[3 * x + 2] = static_cast<std::uint8_t>(x * 90 / width);
    }
  }
  return picture;
}

class PrintJobTest : public ::testing::Test {
 protected:
  void SetUp() override { UsePdfPrinter(file_); }

  // The placement in rendered pixels of the whole paper, the printable area's offset
  // included.
  QRect Expected(const TPrintPlacement& placement) {
    QPrinter& printer = CurrentPrinter();
    const QRect printable = printer.pageRect(QPrinter::DevicePixel).toRect();
    QRect area(printable.x() + placement.OffsetX, printable.y() + placement.OffsetY,
               placement.DestWidth, placement.DestHeight);
    area &= printable;
    const double f = double(kRenderDpi) / printer.resolution();
    return QRect(QPoint(int(area.left() * f), int(area.top() * f)),
                 QPoint(int(area.right() * f), int(area.bottom() * f)));
  }

  testing::TTempFolder folder_;
  std::string file_ = folder_ / "page.pdf";
};

TEST_F(PrintJobTest, OnePageWithThePictureWhereThePlacementPutsIt) {
  struct Case {
    const char* what;
    TPrintOptions options;
    int width, height;
  };
  const Case cases[] = {
      {"fit, centred both ways", {TPrintScaleMode::smFitToPage, 100, true, true}, 1000, 600},
      {"fit, at the top-left", {TPrintScaleMode::smFitToPage, 100, false, false}, 600, 1000},
      {"actual size", {TPrintScaleMode::smActualSize, 100, false, false}, 1200, 600},
      {"scale 50, centred across", {TPrintScaleMode::smScale, 50, true, false}, 2400, 1200},
      // Larger than the page: cut off at the printable area on every side.
      {"scaled beyond the page", {TPrintScaleMode::smScale, 2000, true, true}, 1000, 1000},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(file_);
    const TBitmap24 picture = DarkPicture(c.width, c.height);
    PrintPictureOnPage(picture, c.options);

    EXPECT_EQ(PdfPageCount(file_), 1) << c.what;
    const auto images = PdfImages(file_);
    ASSERT_EQ(images.size(), 1u) << c.what;
    EXPECT_EQ(images[0].Width, c.width) << c.what;
    EXPECT_EQ(images[0].Height, c.height) << c.what;

    const TPrinterInfoRec printer = GetPrinterInfo(true);
    const QRect expected = Expected(CalcPrintPlacement(
        c.options, c.width, c.height, printer.PageWidthPixels, printer.PageHeightPixels));
    const QRect ink = InkBounds(RenderPdfPage(file_, kRenderDpi, folder_.Path().string()));
    for (auto [got, want] : {std::pair{ink.left(), expected.left()},
                             {ink.top(), expected.top()},
                             {ink.right(), expected.right()},
                             {ink.bottom(), expected.bottom()}}) {
      EXPECT_NEAR(got, want, 1) << c.what;
    }
  }
}

TEST_F(PrintJobTest, ScaleZeroPrintsAnEmptyPage) {
  PrintPictureOnPage(DarkPicture(100, 100), {TPrintScaleMode::smScale, 0, true, true});
  EXPECT_EQ(PdfPageCount(file_), 1);
  EXPECT_TRUE(PdfImages(file_).empty());
}

TEST_F(PrintJobTest, ShowsTheWaitScreenWhileItPrintsAndHidesItOnEveryPath) {
  // The wait screen paints once before the job; a timer due at once runs then.
  QString shown;
  QTimer::singleShot(0, [&] {
    if (QWidget* screen = CurrentWaitScreen()) {
      shown = screen->findChild<QLabel*>("lblWaitMessage")->text();
    }
  });
  PrintPictureOnPage(DarkPicture(10, 10), {});
  EXPECT_EQ(shown, "Sending Image to Printer.\n\nPlease Wait...");
  EXPECT_EQ(CurrentWaitScreen(), nullptr);

  UsePdfPrinter(folder_ / "missing/folder/page.pdf");
  try {
    PrintPictureOnPage(DarkPicture(10, 10), {});
    ADD_FAILURE() << "printed into a missing folder";
  } catch (const EQuorvilError& error) {
    EXPECT_EQ(error.what(),
              "The print job could not be started on \"Print to File (PDF)\": the file \"" +
                  (folder_ / "missing/folder/page.pdf") +
                  "\" cannot be written (No such file or directory)");
  }
  EXPECT_EQ(CurrentWaitScreen(), nullptr);
}

TEST_F(PrintJobTest, RefusesAPictureWithoutPixelsBeforeTheJob) {
  try {
    PrintPictureOnPage(TBitmap24(0, 40), {});
    ADD_FAILURE() << "an empty picture was printed";
  } catch (const EQuorvilError& error) {
    EXPECT_EQ(error.what(), EmptyPictureMessage(0, 40));
  }
  EXPECT_FALSE(std::filesystem::exists(file_));
}

TEST_F(PrintJobTest, PrinterInfoOfThePdfPrinter) {
  QPrinter& printer = CurrentPrinter();
  const TPrinterInfoRec inches = GetPrinterInfo(true);
  EXPECT_EQ(inches.PrinterName, "Print to File (PDF)");
  EXPECT_EQ(inches.PageWidthPixels, printer.width());
  EXPECT_EQ(inches.PageHeightPixels, printer.height());
  EXPECT_DOUBLE_EQ(inches.PageWidth, double(printer.width()) / printer.logicalDpiX());
  EXPECT_EQ(inches.Orientation, kOrientationPortrait);
  EXPECT_EQ(inches.DotsPerInch, kPdfPrinterResolution);  // Actual Size: 300 pixels an inch
  EXPECT_EQ(printer.pageLayout().pageSize().id(), LocalePaperSizeId());
  EXPECT_EQ(PaperSizeIdForLocale(216, 279), QPageSize::Letter);
  EXPECT_EQ(PaperSizeIdForLocale(210, 297), QPageSize::A4);
  const TPrinterInfoRec mm = GetPrinterInfo(false);
  EXPECT_FALSE(mm.InInches);
  EXPECT_NEAR(mm.PageWidth, inches.PageWidth * 25.4, 1.0);

  printer.setPageOrientation(QPageLayout::Landscape);
  const TPrinterInfoRec landscape = GetPrinterInfo(true);
  EXPECT_EQ(landscape.Orientation, kOrientationLandscape);
  EXPECT_GT(landscape.PageWidthPixels, landscape.PageHeightPixels);
}

}  // namespace
}  // namespace quorvil
