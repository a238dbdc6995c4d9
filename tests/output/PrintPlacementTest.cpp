#include <gtest/gtest.h>

#include "output/PrintPlacement.h"
#include "platform/ProgramError.h"

namespace quorvil {
namespace {

constexpr auto kFit = TPrintScaleMode::smFitToPage;
constexpr auto kActual = TPrintScaleMode::smActualSize;
constexpr auto kScale = TPrintScaleMode::smScale;

TPrintOptions Options(TPrintScaleMode mode, bool centerH, bool centerV, int percent = 100) {
  return {mode, percent, centerH, centerV};
}

TEST(CalcPrintPlacement, FollowsTheScalingRuleAndTheCentring) {
  struct Case {
    const char* what;
    TPrintOptions options;
    std::int64_t w, h, pw, ph;
    TPrintPlacement expected;
  };
  const Case cases[] = {
      {"wide picture fits the width, centred down",
       Options(kFit, true, true),
       1000,
       600,
       4800,
       6300,
       {4800, 2880, 0, 1710}},
      {"wide picture at the top-left without centring",
       Options(kFit, false, false),
       1000,
       600,
       4800,
       6300,
       {4800, 2880, 0, 0}},
      {"tall picture fits the height, centred across",
       Options(kFit, true, true),
       600,
       2000,
       4800,
       6300,
       {1890, 6300, 1455, 0}},
      {"tall picture only centred down stays left",
       Options(kFit, false, true),
       600,
       2000,
       4800,
       6300,
       {1890, 6300, 0, 0}},
      {"actual size, centred",
       Options(kActual, true, true),
       1200,
       600,
       4800,
       6300,
       {1200, 600, 1800, 2850}},
      {"actual size wider than the page runs off both sides",
       Options(kActual, true, false),
       6000,
       600,
       4800,
       6300,
       {6000, 600, -600, 0}},
      {"actual size larger than the page, centred both ways",
       Options(kActual, true, true),
       5000,
       7000,
       4800,
       6300,
       {5000, 7000, -100, -350}},
      {"scale 50", Options(kScale, false, false, 50), 1000, 600, 4800, 6300, {500, 300, 0, 0}},
      {"scale keeps the proportion, truncating",
       Options(kScale, false, false, 33),
       1000,
       601,
       4800,
       6300,
       {330, 198, 0, 0}},
      {"scale 0 places nothing",
       Options(kScale, true, true, 0),
       1000,
       600,
       4800,
       6300,
       {0, 0, 2400, 3150}},
      {"scale 10000 runs over the page",
       Options(kScale, true, true, 10000),
       1000,
       600,
       4800,
       6300,
       {100000, 60000, -47600, -26850}},
      // Products beyond 32 bits: a very large picture on a very fine page.
      {"products beyond 32 bits",
       Options(kFit, false, false),
       2000000,
       1000000,
       2000000000,
       2000000000,
       {2000000000, 1000000000, 0, 0}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CalcPrintPlacement(c.options, c.w, c.h, c.pw, c.ph), c.expected) << c.what;
  }
}

TEST(CalcPrintPlacement, RefusesAPictureWithoutPixels) {
  for (auto [w, h] : {std::pair{0, 600}, {1000, 0}, {0, 0}}) {
    try {
      CalcPrintPlacement(Options(kFit, true, true), w, h, 4800, 6300);
      ADD_FAILURE() << w << " x " << h << " was placed";
    } catch (const EQuorvilError& error) {
      EXPECT_EQ(std::string(error.what()), EmptyPictureMessage(w, h));
    }
  }
  EXPECT_EQ(EmptyPictureMessage(0, 7),
            "The picture to print has no pixels (0 x 7). Choose a finer zoom level or a larger "
            "selection.");
  EXPECT_EQ(EmptyPictureMessage(1, 1), "");
}

TEST(PrinterTexts, OrientationAndPageSize) {
  EXPECT_EQ(PrinterOrientationText(1), "Landscape");
  EXPECT_EQ(PrinterOrientationText(0), "Portrait");
  EXPECT_EQ(PrinterOrientationText(2), "Portrait");

  struct Case {
    double w, h;
    bool english;
    char separator;
    const char* expected;
  };
  const Case cases[] = {
      {8.0, 10.5, false, '.', "203 x 266 mm"},
      {8.0, 10.5, true, '.', "8.00\" x 10.50\""},
      {7.987, 11.694, true, ',', "7,99\" x 11,69\""},
      {8.26, 11.69, false, ',', "209 x 296 mm"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PageSizeText(c.w, c.h, c.english, c.separator), c.expected);
  }
}

TEST(CalcPagePreview, FitsThePaperToThePanelAndKeepsABorder) {
  TPrinterInfoRec portrait;
  portrait.PageWidthPixels = 4800;
  portrait.PageHeightPixels = 6300;
  TPrinterInfoRec landscape = portrait;
  std::swap(landscape.PageWidthPixels, landscape.PageHeightPixels);

  struct Case {
    const char* what;
    const TPrinterInfoRec& printer;
    int pictureW, pictureH;
    TPrintOptions options;
    TPreviewRect paper, photo;
  };
  const Case cases[] = {
      // Paper 121 x 92 (121 * 4800 / 6300); picture 1000 x 600 is 19 x 11 on it.
      {"portrait, fitted",
       portrait,
       1000,
       600,
       Options(kFit, true, true),
       {100, 0, 92, 121},
       {3, 36, 86, 49}},
      {"landscape is wider",
       landscape,
       1000,
       600,
       Options(kFit, true, true),
       {67, 0, 158, 121},
       {3, 15, 152, 91}},
      {"actual size on the paper's scale",
       portrait,
       1000,
       600,
       Options(kActual, false, false),
       {100, 0, 92, 121},
       {3, 3, 19, 11}},
      {"a picture too small for a preview pixel is 3 pixels",
       portrait,
       10,
       10,
       Options(kActual, false, false),
       {100, 0, 92, 121},
       {3, 3, 3, 3}},
      {"actual size larger than the page runs over the paper",
       portrait,
       9600,
       6300,
       Options(kActual, true, true),
       {100, 0, 92, 121},
       {-46, 0, 184, 121}},
  };
  for (const Case& c : cases) {
    const TPagePreview preview =
        CalcPagePreview(292, 121, c.printer, c.pictureW, c.pictureH, c.options);
    EXPECT_EQ(preview.Paper, c.paper) << c.what;
    EXPECT_EQ(preview.Photo, c.photo) << c.what;
  }
}

TEST(ScaleText, ReadsThePercentageAndNamesWhatIsWrong) {
  struct Case {
    const char* text;
    std::int32_t percent;
    const char* problem;
  };
  const Case cases[] = {
      {"100", 100, ""},
      {"0", 0, ""},
      {"", 0, kScaleNotIntegerMessage},
      {"12a", 0, kScaleNotIntegerMessage},
      {"99999999999", 0, kScaleNotIntegerMessage},
      {"-25", -25, kScaleNegativeMessage},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScalePercentFromText(c.text), c.percent) << c.text;
    EXPECT_EQ(ScaleTextProblem(c.text), c.problem) << c.text;
  }
}

}  // namespace
}  // namespace quorvil
