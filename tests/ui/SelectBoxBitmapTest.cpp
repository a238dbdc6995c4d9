#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "imagery/ImageSupport.h"
#include "support/TestPictures.h"
#include "ui/main/SelectBoxBitmap.h"

namespace quorvil {
namespace {

using quorvil::testing::Pattern;

bool OnBorder(int x, int y, int left, int top, int right, int bottom) {
  return x >= left && x <= right && y >= top && y <= bottom &&
         (x == left || x == right || y == top || y == bottom);
}

bool SamePixel(const TBitmap24& a, const TBitmap24& b, int x, int y) {
  const std::uint8_t* p = a.Pixel(x, y);
  const std::uint8_t* q = b.Pixel(x, y);
  return p[0] == q[0] && p[1] == q[1] && p[2] == q[2];
}

TEST(SelectBoxBitmap, SaveOutlineRestoreLeavesThePictureAsItWas) {
  const TColor selection[] = {RgbColor(0, 255, 255), RgbColor(255, 255, 255), RgbColor(0, 255, 255),
                              RgbColor(0, 0, 0)};
  const TColor zoomBox[] = {RgbColor(255, 0, 255), RgbColor(255, 255, 255), RgbColor(255, 0, 255),
                            RgbColor(0, 0, 0)};
  const TBitmap24 original = Pattern(320, 240, 1);
  const TRect rectangles[] = {
      {10, 10, 10, 10},     {10, 10, 11, 10},     {10, 10, 10, 11},   {10, 10, 11, 11},
      {10, 10, 10, 60},     {10, 10, 60, 10},     {10, 10, 11, 60},   {10, 10, 60, 11},
      {5, 7, 17, 9},        {0, 0, 319, 239},     {3, 4, 303, 204},   {-20, -5, 40, 30},
      {300, 200, 400, 300}, {-10, 100, 330, 101}, {400, 10, 450, 20},
  };
  TSelectBoxBitmap box;  // one box for all, as the main window keeps one
  for (const TRect& r : rectangles) {
    SCOPED_TRACE(::testing::Message()
                 << r.Left << "," << r.Top << " - " << r.Right << "," << r.Bottom);
    TBitmap24 picture = original;
    box.SaveBorder(picture, r.Left, r.Top, r.Right, r.Bottom);
    EXPECT_EQ(box.BoxWidth(), r.Right - r.Left + 1);
    EXPECT_EQ(box.BoxHeight(), r.Bottom - r.Top + 1);
    DrawDashedRect(picture, r, 2, selection);
    DrawDashedRect(picture, r, 2, zoomBox);
    // Every border pixel, corners included, so that one left out on restoring shows.
    for (int y = 0; y < 240; ++y) {
      for (int x = 0; x < 320; ++x) {
        if (OnBorder(x, y, r.Left, r.Top, r.Right, r.Bottom)) {
          picture.Pixel(x, y)[0] ^= 0xFF;
        }
      }
    }
    box.RestoreBorder(picture, r.Left, r.Top);
    EXPECT_TRUE(picture == original);

    // Restored onto another picture, exactly the border pixels arrive.
    TBitmap24 other(320, 240);
    FillBitmap(other, RgbColor(1, 2, 3));
    const TBitmap24 blank = other;
    box.RestoreBorder(other, r.Left, r.Top);
    for (int y = 0; y < 240; ++y) {
      for (int x = 0; x < 320; ++x) {
        const bool border = OnBorder(x, y, r.Left, r.Top, r.Right, r.Bottom);
        ASSERT_TRUE(SamePixel(other, border ? original : blank, x, y)) << x << "," << y;
      }
    }
  }
}

TEST(SelectBoxBitmap, StripsGrowWithSpareRoomAndNeverShrink) {
  TSelectBoxBitmap box;
  EXPECT_TRUE(box.IsEmpty());
  EXPECT_EQ(box.TopStrip().Width(), 0);
  EXPECT_EQ(box.LeftStrip().Height(), 0);
  const TBitmap24 picture = Pattern(700, 400, 2);
  const struct {
    int width, height;
    int stripWidth, stripHeight;
  } steps[] = {
      {50, 30, 150, 128},   {500, 20, 600, 128},  {50, 300, 600, 398},
      {600, 398, 600, 398}, {601, 399, 701, 497}, {1, 1, 701, 497},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(::testing::Message() << s.width << "x" << s.height);
    box.SaveBorder(picture, 0, 0, s.width - 1, s.height - 1);
    EXPECT_EQ(box.TopStrip().Width(), s.stripWidth);
    EXPECT_EQ(box.BottomStrip().Width(), s.stripWidth);
    EXPECT_EQ(box.LeftStrip().Height(), s.stripHeight);
    EXPECT_EQ(box.RightStrip().Height(), s.stripHeight);
  }
  box.Clear();
  EXPECT_TRUE(box.IsEmpty());
  EXPECT_EQ(box.TopStrip().Width(), 701);
  EXPECT_EQ(box.LeftStrip().Height(), 497);
}

TEST(SelectBoxBitmap, EmptyBoxRestoresNothing) {
  const TBitmap24 original = Pattern(40, 30, 3);
  TBitmap24 picture = original;
  TSelectBoxBitmap box;
  box.RestoreBorder(picture, 5, 5);
  EXPECT_TRUE(picture == original);

  box.SaveBorder(Pattern(40, 30, 4), 2, 2, 20, 20);
  box.RestoreBorder(picture, 2, 2);
  EXPECT_FALSE(picture == original);
  EXPECT_FALSE(box.IsEmpty());  // restoring keeps the border

  picture = original;
  box.Clear();
  box.RestoreBorder(picture, 2, 2);
  EXPECT_TRUE(picture == original);

  box.SaveBorder(original, 20, 20, 2, 2);  // reversed: nothing kept
  EXPECT_TRUE(box.IsEmpty());
  box.SetBoxWidth(5);
  EXPECT_TRUE(box.IsEmpty());  // still no height
}

}  // namespace
}  // namespace quorvil
