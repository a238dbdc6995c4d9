#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string>

#include "imagery/AreaCheck.h"
#include "platform/ProgramError.h"
#include "support/FakeTerraService.h"

namespace quorvil {
namespace {

using testing::MakeArea;

// The error's text, or "" when the call passed.
template <typename Call>
std::string Refusal(Call call) {
  try {
    call();
    return "";
  } catch (const EQuorvilError& error) {
    return error.what();
  }
}

TEST(CheckViewArea, AreaMustMatchThePictureItIsFor) {
  const struct {
    const char* name;
    std::unique_ptr<AreaBoundingBox> area;
    int width, height;
    const char* refusal;  // a part of the message, or "" when the area passes
  } cases[] = {
      // South-east offsets on the last pixel (as the test double answers) and just past
      // it (as the local map service answers): both are honest.
      {"last pixel inside", MakeArea(100, 500, 0, 0, 101, 499, 199, 99), 400, 300, ""},
      {"end past the last pixel", MakeArea(100, 500, 10, 20, 102, 499, 10, 120), 400, 300, ""},
      {"one extra tile on each side", MakeArea(100, 500, 0, 0, 103, 497), 400, 300, ""},
      {"one tile", MakeArea(7, 7, 199, 199, 8, 6, 0, 0), 1, 1, ""},
      {"a tile more than allowed", MakeArea(100, 500, 0, 0, 104, 497), 400, 300,
       "spans 5 x 4 tiles, but a picture of 400 x 300 pixels needs 2 x 2"},
      {"3001 x 3001 tiles", MakeArea(0, 3000, 0, 0, 3000, 0), 400, 300, "spans 3001 x 3001"},
      {"too few tiles", MakeArea(100, 500, 150, 0, 101, 499), 400, 300, "needs 3 x 2"},
      {"extreme corners", MakeArea(INT_MIN, INT_MAX, 0, 0, INT_MAX, INT_MIN), 400, 300,
       "spans 4294967296 x 4294967296"},
      {"south-east west of north-west", MakeArea(100, 500, 0, 0, 98, 499), 400, 300,
       "lies west or north"},
      {"south-east north of north-west", MakeArea(100, 500, 0, 0, 101, 502), 400, 300,
       "lies west or north"},
      {"offset past the tile", MakeArea(100, 500, 200, 0, 102, 499), 400, 300,
       "the pixel (200, 0) of its north-west corner"},
      {"negative offset", MakeArea(100, 500, 0, -1, 101, 499), 400, 300, "(0, -1)"},
      {"absurd south-east offset", MakeArea(100, 500, 0, 0, 101, 499, 1000000, 5), 400, 300,
       "of its south-east corner"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = Refusal([&] { CheckViewArea(*c.area, c.width, c.height); });
    if (*c.refusal == '\0') {
      EXPECT_EQ(text, "");
    } else {
      EXPECT_NE(text.find("The map service's area cannot be used: "), std::string::npos) << text;
      EXPECT_NE(text.find(c.refusal), std::string::npos) << text;
    }
  }
  auto missing = MakeArea(1, 1, 0, 0, 1, 1);
  missing->SouthEast->TileMeta.reset();
  EXPECT_NE(Refusal([&] { CheckViewArea(*missing, 10, 10); }).find("south-east corner names no"),
            std::string::npos);
}

TEST(CheckSelectionArea, PictureMustFitTheRectangle) {
  // 0.02 x 0.012 degrees in New York at 4 m: about 420 x 333 pixels of ground.
  const TSelectionRec park{true, -73.975, 40.790, -73.955, 40.778};
  const TPictureLimit limit = SelectionPictureLimit(park, 12);
  EXPECT_GT(limit.Width, 421 * 3 / 2);
  EXPECT_LT(limit.Width, 1200);
  EXPECT_GT(limit.Height, 333 * 3 / 2);
  EXPECT_LT(limit.Height, 1200);
  const struct {
    const char* name;
    std::unique_ptr<AreaBoundingBox> area;
    const char* refusal;
  } cases[] = {
      {"the ground's own size", MakeArea(10, 20, 100, 50, 12, 18, 121, 183), ""},
      {"no pixels", MakeArea(0, 0, 0, 0, 0, 0, 0, 0), "is empty"},
      {"2000000000 x 1 pixels", MakeArea(0, 0, 0, 0, 10000000, 0, 0, 1),
       "its picture of 2000000000 x 1 pixels is larger than the rectangle at 4 Meters allows"},
      {"crossed corners", MakeArea(10, 20, 0, 0, 9, 21), "lies west or north"},
      {"absurd offsets", MakeArea(10, 20, -5000, 0, 12, 18), "(-5000, 0)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = Refusal([&] { CheckSelectionArea(*c.area, park, 12); });
    if (*c.refusal == '\0') {
      EXPECT_EQ(text, "");
    } else {
      EXPECT_NE(text.find(c.refusal), std::string::npos) << text;
    }
  }
  // Width exactly at the limit passes, one pixel more does not.
  auto edge = MakeArea(0, 0, 0, 0, static_cast<int>(limit.Width / 200), -1,
                       static_cast<int>(limit.Width % 200), 1);
  EXPECT_EQ(Refusal([&] { CheckSelectionArea(*edge, park, 12); }), "");
  edge->SouthEast->Offset->XOffset += 1;
  if (edge->SouthEast->Offset->XOffset == 200) {
    edge->SouthEast->Offset->XOffset = 0;
    edge->SouthEast->TileMeta->Id->X += 1;
  }
  EXPECT_NE(Refusal([&] { CheckSelectionArea(*edge, park, 12); }), "");

  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const TSelectionRec& wrong :
       {TSelectionRec{true, nan, 40, -73, 39}, TSelectionRec{true, -74, 1e308, -73, 39},
        TSelectionRec{true, -190, 40, -73, 39}}) {
    EXPECT_NE(Refusal([&] { CheckSelectionArea(*cases[0].area, wrong, 12); }), "");
  }
}

TEST(SelectionPictureLimit, GrowsWithTheGroundAndShrinksWithTheScale) {
  const TSelectionRec equator{true, 0, 0.01, 0.01, 0};
  const TSelectionRec north{true, 0, 60.01, 0.01, 60};
  const TPictureLimit fine = SelectionPictureLimit(equator, 10);
  const TPictureLimit coarse = SelectionPictureLimit(equator, 16);
  // 0.01 degrees is 1111 metres: 1111 pixels at 1 m, 17 at 64 m, each side taking half
  // of the other and a tile on either side.
  EXPECT_EQ(fine.Width, static_cast<std::int64_t>(std::ceil(2 * 1111.11111111111)) + 400);
  EXPECT_EQ(coarse.Width, static_cast<std::int64_t>(std::ceil(2 * 1111.11111111111 / 64)) + 400);
  // At 60 degrees a degree of longitude is half as long.
  const TPictureLimit high = SelectionPictureLimit(north, 10);
  EXPECT_EQ(high.Width,
            static_cast<std::int64_t>(std::ceil(1.5 * 555.555555555 + 0.5 * 1111.11111111)) + 400);
}

}  // namespace
}  // namespace quorvil
