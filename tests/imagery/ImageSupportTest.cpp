#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "imagery/ImageSupport.h"
#include "support/TestPictures.h"

namespace quorvil {
namespace {

using quorvil::testing::Pattern;

TColor ColourAt(const TBitmap24& picture, int x, int y) {
  const std::uint8_t* p = picture.Pixel(x, y);
  return RgbColor(p[2], p[1], p[0]);
}

TEST(ImageSupport, BrightnessAddsLevelLess127ClampedOnEveryByte) {
  // Every byte value, in a picture whose row ends on a pixel boundary.
  TBitmap24 all(86, 2);
  for (std::int64_t i = 0; i < all.ByteCount(); ++i) all.Data()[i] = static_cast<std::uint8_t>(i);
  for (int level = 0; level <= 255; ++level) {
    TBitmap24 picture = all;
    AdjustBrightness(picture, static_cast<std::uint8_t>(level));
    for (std::int64_t i = 0; i < all.ByteCount(); ++i) {
      const int expected = std::clamp(level + all.Data()[i] - 127, 0, 255);
      ASSERT_EQ(picture.Data()[i], expected) << "level " << level << " byte " << i;
    }
  }
  const struct {
    int level, before, after;
  } edges[] = {{127, 200, 200}, {0, 100, 0},    {0, 127, 0},
               {238, 200, 255}, {238, 10, 121}, {119, 100, 92}};
  for (const auto& e : edges) {
    TBitmap24 picture(5, 3);
    std::memset(picture.Data(), e.before, static_cast<std::size_t>(picture.ByteCount()));
    AdjustBrightness(picture, static_cast<std::uint8_t>(e.level));
    for (int y = 0; y < 3; ++y) {  // the last pixel of each row too
      for (int b = 0; b < 3; ++b) EXPECT_EQ(picture.Pixel(4, y)[b], e.after) << e.level;
    }
  }
}

TEST(ImageSupport, SoftwareBlendIsExactForEveryAlphaAndBytePair) {
  // One row holding every (destination, source) pair of bytes.
  TBitmap24 destination(21846, 1);
  TBitmap24 source(21846, 1);
  for (std::int64_t i = 0; i < destination.ByteCount(); ++i) {
    destination.Data()[i] = static_cast<std::uint8_t>(i);
    source.Data()[i] = static_cast<std::uint8_t>(i >> 8);
  }
  for (int alpha = 0; alpha <= 255; ++alpha) {
    TBitmap24 blended = destination;
    BlendBitmapsSoftware(blended, source, static_cast<std::uint8_t>(alpha), 21846, 1);
    for (std::int64_t i = 0; i < destination.ByteCount(); ++i) {
      const int d = destination.Data()[i];
      const int s = source.Data()[i];
      ASSERT_EQ(blended.Data()[i], (alpha * s + (255 - alpha) * d) / 255)
          << "alpha " << alpha << " source " << s << " destination " << d;
    }
  }
}

TEST(ImageSupport, BlendTouchesOnlyTheRectangleAndNeedsBothPicturesLargeEnough) {
  const TBitmap24 destination = Pattern(9, 6, 1);
  const TBitmap24 source = Pattern(9, 6, 2);
  const struct {
    int sourceWidth, sourceHeight, destWidth, destHeight, width, height;
    bool blends;
  } cases[] = {
      {9, 6, 9, 6, 9, 6, true},  {9, 6, 9, 6, 4, 3, true},    {8, 6, 9, 6, 9, 6, false},
      {9, 5, 9, 6, 9, 6, false}, {9, 6, 8, 6, 9, 6, false},   {9, 6, 9, 5, 9, 6, false},
      {9, 6, 9, 6, 0, 6, false}, {9, 6, 9, 6, -1, -1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << c.sourceWidth << "x" << c.sourceHeight << " onto " << c.destWidth << "x"
                 << c.destHeight << ", " << c.width << "x" << c.height);
    TBitmap24 into(c.destWidth, c.destHeight);
    CopyBitmapRect(into, 0, 0, destination, 0, 0, c.destWidth, c.destHeight);
    TBitmap24 from(c.sourceWidth, c.sourceHeight);
    CopyBitmapRect(from, 0, 0, source, 0, 0, c.sourceWidth, c.sourceHeight);
    const TBitmap24 before = into;
    BlendBitmaps(into, from, 128, c.width, c.height);
    for (int y = 0; y < into.Height(); ++y) {
      for (int x = 0; x < into.Width(); ++x) {
        const bool inside = c.blends && x < c.width && y < c.height;
        for (int b = 0; b < 3; ++b) {
          const int expected = inside
                                   ? (128 * from.Pixel(x, y)[b] + 127 * before.Pixel(x, y)[b]) / 255
                                   : before.Pixel(x, y)[b];
          ASSERT_EQ(into.Pixel(x, y)[b], expected) << x << "," << y;
        }
      }
    }
  }
  TBitmap24 black(2, 1), white(2, 1);
  FillBitmap(black, 0x000000);
  FillBitmap(white, 0xFFFFFF);
  BlendBitmaps(black, white, 128, 2, 1);
  EXPECT_EQ(ColourAt(black, 1, 0), RgbColor(128, 128, 128));
}

int fastPathCalls = 0;
void RecordingBlend(TBitmap24& destination, const TBitmap24& source, std::uint8_t alpha, int width,
                    int height) {
  ++fastPathCalls;
  BlendBitmapsSoftware(destination, source, alpha, width, height);
}

TEST(ImageSupport, InstalledFastPathServesFittingBlends) {
  ASSERT_EQ(GetAlphaBlendFunction(), nullptr);
  TBitmap24 destination = Pattern(4, 4, 3);
  const TBitmap24 source = Pattern(4, 4, 4);
  TBitmap24 reference = destination;
  BlendBitmapsSoftware(reference, source, 77, 4, 4);

  SetAlphaBlendFunction(&RecordingBlend);
  fastPathCalls = 0;
  BlendBitmaps(destination, source, 77, 4, 4);
  BlendBitmaps(destination, source, 77, 5, 4);  // too wide: neither path runs
  SetAlphaBlendFunction(nullptr);
  EXPECT_EQ(fastPathCalls, 1);
  EXPECT_EQ(destination, reference);
}

TEST(ImageSupport, FillPaintsEveryPixelWithRedInTheLowByte) {
  TBitmap24 picture = Pattern(7, 3, 5);
  FillBitmap(picture, 0xFFFF00);  // aqua
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 7; ++x) {
      const std::uint8_t* p = picture.Pixel(x, y);
      ASSERT_EQ(p[0], 0xFF);  // blue
      ASSERT_EQ(p[1], 0xFF);  // green
      ASSERT_EQ(p[2], 0x00);  // red
    }
  }
}

TEST(ImageSupport, ShiftMovesContentAndPaintsWhatIsUncovered) {
  const TBitmap24 original = Pattern(23, 11, 6);
  const TColor colour = RgbColor(1, 2, 3);
  const int shifts[][2] = {{10, 0}, {-10, 0}, {0, 4},  {0, -4},  {3, 5},   {-7, -2},
                           {22, 0}, {23, 0},  {0, 11}, {-40, 1}, {5, -10}, {0, 0}};
  for (const auto& shift : shifts) {
    const int dx = shift[0], dy = shift[1];
    SCOPED_TRACE(::testing::Message() << dx << "," << dy);
    TBitmap24 picture = original;
    ShiftBitmap(picture, dx, dy, colour);
    for (int y = 0; y < 11; ++y) {
      for (int x = 0; x < 23; ++x) {
        const int fromX = x - dx, fromY = y - dy;
        const bool covered = fromX >= 0 && fromX < 23 && fromY >= 0 && fromY < 11;
        ASSERT_EQ(ColourAt(picture, x, y), covered ? ColourAt(original, fromX, fromY) : colour)
            << x << "," << y;
      }
    }
  }
}

// Draws the dashed line along row 1 of a 12 x 3 canvas (or column 1 of a 3 x 12 one) and
// spells the drawn row as letters: A..D for the colours, "." for untouched pixels.
std::string DashedLine(bool horizontal, int from, int to, int step, int colourCount) {
  const TColor colours[] = {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF};
  TBitmap24 canvas(horizontal ? 12 : 3, horizontal ? 3 : 12);
  FillBitmap(canvas, kColorBlack);
  const std::span<const TColor> used(colours, static_cast<std::size_t>(colourCount));
  if (horizontal) {
    DrawDashedHorzLine(canvas, from, to, used, step, 1);
  } else {
    DrawDashedVertLine(canvas, from, to, used, step, 1);
  }
  std::string drawn;
  for (int i = 0; i < 12; ++i) {
    for (int across : {0, 2}) {  // nothing beside the line
      EXPECT_EQ(horizontal ? ColourAt(canvas, i, across) : ColourAt(canvas, across, i),
                kColorBlack);
    }
    const TColor c = horizontal ? ColourAt(canvas, i, 1) : ColourAt(canvas, 1, i);
    const auto at = std::find(std::begin(colours), std::end(colours), c);
    drawn += at == std::end(colours) ? '.' : static_cast<char>('A' + (at - colours));
  }
  return drawn;
}

TEST(ImageSupport, DashedLinesChangeColourEveryStepAndStopBeforeTheirEnd) {
  const struct {
    int from, to, step, colours;
    const char* drawn;
  } cases[] = {
      {0, 7, 2, 4, "AABBCCD....."},  {0, 8, 2, 4, "AABBCCDD...."},   {0, 11, 3, 4, "AAABBBCCCDD."},
      {0, 11, 1, 4, "ABCDABCDABC."}, {0, 7, 2, 2, "AABBAAB....."},   {0, 5, 2, 1, "AAAAA......."},
      {2, 2, 2, 4, "............"},  {3, 2, 1, 4, "............"},   {0, 7, 0, 4, "............"},
      {0, 7, -2, 4, "............"}, {0, 7, 2, 0, "............"},   {-3, 5, 2, 4, "BCCDD......."},
      {8, 20, 2, 4, "........AABB"}, {0, 7, 100, 4, "AAAAAAA....."},
  };
  for (const auto& c : cases) {
    for (bool horizontal : {true, false}) {
      SCOPED_TRACE(::testing::Message() << (horizontal ? "horizontal " : "vertical ") << c.from
                                        << ".." << c.to << " step " << c.step);
      EXPECT_EQ(DashedLine(horizontal, c.from, c.to, c.step, c.colours), c.drawn);
    }
  }
  TBitmap24 canvas = Pattern(5, 5, 7);
  const TBitmap24 before = canvas;
  const TColor white[] = {0xFFFFFF};
  DrawDashedHorzLine(canvas, 0, 4, white, 1, -1);
  DrawDashedHorzLine(canvas, 0, 4, white, 1, 5);
  DrawDashedVertLine(canvas, 0, 4, white, 1, 5);
  EXPECT_EQ(canvas, before);
}

TEST(ImageSupport, DashedRectDrawsFourEdgesEachFromTheFirstColour) {
  const TColor colours[] = {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF};
  TBitmap24 canvas(8, 6);
  FillBitmap(canvas, kColorBlack);
  DrawDashedRect(canvas, TRect{1, 1, 6, 4}, 2, colours);
  const char* expected[] = {"........", ".AABBC..", ".A....A.", "........", ".AABBC..", "........"};
  for (int y = 0; y < 6; ++y) {
    std::string row;
    for (int x = 0; x < 8; ++x) {
      const TColor c = ColourAt(canvas, x, y);
      const auto at = std::find(std::begin(colours), std::end(colours), c);
      row += at == std::end(colours) ? '.' : static_cast<char>('A' + (at - colours));
    }
    EXPECT_EQ(row, expected[y]) << "row " << y;
  }
  const TBitmap24 before = canvas;
  DrawDashedRect(canvas, TRect{0, 0, 7, 5}, 0, colours);
  EXPECT_EQ(canvas, before);
}

TEST(ImageSupport, NormalizeRectOrdersBothPairs) {
  const int cases[][8] = {{10, 20, 5, 8, 5, 8, 10, 20},
                          {5, 8, 10, 20, 5, 8, 10, 20},
                          {10, 8, 5, 20, 5, 8, 10, 20},
                          {5, 20, 10, 8, 5, 8, 10, 20},
                          {-1, -1, -1, -1, -1, -1, -1, -1}};
  for (const auto& c : cases) {
    int left = c[0], top = c[1], right = c[2], bottom = c[3];
    NormalizeRect(left, top, right, bottom);
    EXPECT_EQ((std::vector<int>{left, top, right, bottom}),
              (std::vector<int>{c[4], c[5], c[6], c[7]}));
  }
}

// Each pixel of `picture` holds what the stretch of the source rectangle (sx, sy, sw x sh)
// of `from` onto the destination rectangle (dx, dy, dw x dh) puts there, or else what
// `before` held: the source pixel of offset (i, j) is (i * sw div dw, j * sh div dh).
::testing::AssertionResult Stretched(const TBitmap24& picture, const TBitmap24& before,
                                     const TBitmap24& from, int dx, int dy, int dw, int dh, int sx,
                                     int sy, int sw, int sh) {
  for (int y = 0; y < picture.Height(); ++y) {
    for (int x = 0; x < picture.Width(); ++x) {
      const int i = x - dx, j = y - dy;
      const bool inside = sw > 0 && sh > 0 && i >= 0 && i < dw && j >= 0 && j < dh;
      const int fx = inside ? sx + i * sw / dw : -1, fy = inside ? sy + j * sh / dh : -1;
      const bool drawn = fx >= 0 && fx < from.Width() && fy >= 0 && fy < from.Height();
      if (ColourAt(picture, x, y) != (drawn ? ColourAt(from, fx, fy) : ColourAt(before, x, y))) {
        return ::testing::AssertionFailure() << "pixel " << x << "," << y;
      }
    }
  }
  return ::testing::AssertionSuccess();
}

TEST(ImageSupport, CopyRectCopiesWhatLiesOnBothPictures) {
  const TBitmap24 source = Pattern(10, 8, 8);
  const TBitmap24 target = Pattern(12, 9, 9);
  const struct {
    int destX, destY, sourceX, sourceY, width, height;
    bool samePicture;
  } cases[] = {
      {0, 0, 0, 0, 10, 8, false},   {2, 1, 0, 0, 10, 8, false},  {-3, -2, 1, 1, 6, 5, false},
      {5, 4, -4, -3, 10, 8, false}, {11, 8, 0, 0, 5, 5, false},  {12, 0, 0, 0, 5, 5, false},
      {0, 0, 10, 0, 5, 5, false},   {1, 1, 2, 2, -3, 4, false},  {2, 1, 0, 0, 9, 7, true},
      {0, 0, 3, 2, 9, 7, true},     {-2, 3, 1, -1, 12, 9, true},
  };
  for (const auto& c : cases) {
    TBitmap24 picture = target;
    CopyBitmapRect(picture, c.destX, c.destY, c.samePicture ? picture : source, c.sourceX,
                   c.sourceY, c.width, c.height);
    EXPECT_TRUE(Stretched(picture, target, c.samePicture ? target : source, c.destX, c.destY,
                          c.width, c.height, c.sourceX, c.sourceY, c.width, c.height))
        << c.destX << "," << c.destY << " from " << c.sourceX << "," << c.sourceY << " " << c.width
        << "x" << c.height << (c.samePicture ? " within" : "");
  }
}

// Every run length around the vector widths, from every byte offset, and nothing
// written past the run.
TEST(ImageSupport, PixelsToXrgb32SetsAlphaAndKeepsChannelsForEveryRunLength) {
  std::mt19937 random(5);
  std::vector<std::uint8_t> bytes(3 * 80 + 3);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  for (int offset = 0; offset < 3; ++offset) {
    for (int pixels = 0; pixels <= 70; ++pixels) {
      std::vector<std::uint32_t> out(pixels + 1, 0x12345678u);
      PixelsToXrgb32(out.data(), bytes.data() + offset, pixels);
      for (int x = 0; x < pixels; ++x) {
        const std::uint8_t* p = bytes.data() + offset + 3 * x;
        ASSERT_EQ(out[x], 0xff000000u | p[2] << 16 | p[1] << 8 | p[0]) << pixels << " " << x;
      }
      ASSERT_EQ(out[pixels], 0x12345678u) << pixels;
    }
  }
}

TEST(ImageSupport, StretchTakesTheNearestSourcePixelBelow) {
  const TBitmap24 source = Pattern(9, 7, 10);
  const TBitmap24 target = Pattern(20, 16, 11);
  const struct {
    int dx, dy, dw, dh, sx, sy, sw, sh;
    bool samePicture;
  } cases[] = {
      {0, 0, 18, 14, 0, 0, 9, 7, false},  // doubled, as the topographic map at level 10
      {0, 0, 20, 16, 0, 0, 9, 7, false},  // uneven enlargement
      {0, 0, 4, 3, 0, 0, 9, 7, false},    // reduction
      {0, 0, 9, 7, 0, 0, 9, 7, false},    // same size: a plain copy
      {-5, -3, 18, 14, 0, 0, 9, 7, false}, {2, 2, 12, 10, -3, -2, 9, 7, false},
      {0, 0, 0, 14, 0, 0, 9, 7, false},    {0, 0, 18, 14, 0, 0, 0, 7, false},
      {0, 0, 20, 16, 2, 2, 10, 8, true},
  };
  for (const auto& c : cases) {
    TBitmap24 picture = target;
    StretchBitmapRect(picture, c.dx, c.dy, c.dw, c.dh, c.samePicture ? picture : source, c.sx, c.sy,
                      c.sw, c.sh);
    EXPECT_TRUE(Stretched(picture, target, c.samePicture ? target : source, c.dx, c.dy, c.dw, c.dh,
                          c.sx, c.sy, c.sw, c.sh))
        << c.sw << "x" << c.sh << "@" << c.sx << "," << c.sy << " -> " << c.dw << "x" << c.dh << "@"
        << c.dx << "," << c.dy;
  }
  // Random rectangles, a quarter each doubling, copying columns and copying the whole
  // rectangle, where the wider moves of the row loops meet the rows' and pictures' ends.
  std::mt19937 random(13);
  auto pick = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  for (int n = 0; n < 400; ++n) {
    const TBitmap24 from = Pattern(pick(1, 12), pick(1, 5), static_cast<unsigned>(n));
    TBitmap24 picture = Pattern(pick(1, 30), pick(1, 6), static_cast<unsigned>(n + 1000));
    const TBitmap24 before = picture;
    const int sw = pick(1, 12), sh = pick(1, 5), sx = pick(-3, 10), sy = pick(-2, 4);
    const int kind = pick(0, 3);
    const int dw = kind == 0 ? 2 * sw : kind != 2 ? sw : pick(1, 30);
    const int dh = kind == 3 ? sh : pick(1, 8), dx = pick(-6, 20), dy = pick(-3, 5);
    StretchBitmapRect(picture, dx, dy, dw, dh, from, sx, sy, sw, sh);
    ASSERT_TRUE(Stretched(picture, before, from, dx, dy, dw, dh, sx, sy, sw, sh)) << "case " << n;
  }
  TBitmap24 doubled(4, 2);
  const TBitmap24 half = Pattern(2, 1, 12);
  StretchBitmap(doubled, half);
  for (int x = 0; x < 4; ++x) {
    for (int y = 0; y < 2; ++y) EXPECT_EQ(ColourAt(doubled, x, y), ColourAt(half, x / 2, 0));
  }
}

// The smooth stretch worked out for one byte on its own: across, then down, each step
// the rounded 3/4 of the near pixel and 1/4 of the one on its side, edges repeated.
int SmoothByte(const TBitmap24& from, int x, int y, int k) {
  const auto weigh = [](int near, int side) { return (near + ((near + side + 1) >> 1) + 1) >> 1; };
  const auto at = [](int i, int n) { return std::clamp(i, 0, n - 1); };
  const auto across = [&](int row) {
    const int side = x % 2 ? x / 2 + 1 : x / 2 - 1;
    return weigh(from.Pixel(at(x / 2, from.Width()), row)[k],
                 from.Pixel(at(side, from.Width()), row)[k]);
  };
  const int side = y % 2 ? y / 2 + 1 : y / 2 - 1;
  return weigh(across(at(y / 2, from.Height())), across(at(side, from.Height())));
}

// The area forms redraw part of a picture: over any area they give its pixels what the
// whole operation gives and leave the rest alone, whatever the sizes (the topographic
// map is half the view at the finest level) and wherever the area lies.
TEST(ImageSupport, AreaFormsMatchTheWholeOperationInsideAndTouchNothingOutside) {
  std::mt19937 random(21);
  auto pick = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  auto inside = [](const TPixelArea& a, int x, int y) {
    return x >= a.X && x < a.X + a.Width && y >= a.Y && y < a.Y + a.Height;
  };
  for (int n = 0; n < 300; ++n) {
    const int w = pick(1, 40), h = pick(1, 12);
    const TBitmap24 before = Pattern(w, h, static_cast<unsigned>(n));
    const TBitmap24 source = Pattern(w, h, static_cast<unsigned>(n + 500));
    const TBitmap24 half = Pattern(std::max(1, w / 2), std::max(1, h / 2), n + 900u);
    const TPixelArea area{pick(-5, w), pick(-3, h), pick(0, w + 5), pick(0, h + 3)};
    const auto level = static_cast<std::uint8_t>(pick(0, 255));
    const auto alpha = static_cast<std::uint8_t>(pick(0, 3) == 0 ? 255 * pick(0, 1) : pick(0, 255));

    TBitmap24 bright = before, blended = before, stretched = before, smooth = before;
    // The copying forms write into a third picture and leave their sources alone.
    TBitmap24 brightInto = half, blendedInto = half, under = before;
    AdjustBrightnessArea(brightInto, before, level, area);
    BlendBitmapsArea(blendedInto, under, source, alpha, area);
    TBitmap24 wholeBright = before, wholeBlended = before, wholeStretched = before;
    AdjustBrightnessArea(bright, level, area);
    AdjustBrightness(wholeBright, level);
    BlendBitmapsArea(blended, source, alpha, area);
    BlendBitmapsSoftware(wholeBlended, source, alpha, w, h);
    StretchBitmapArea(stretched, half, area);
    StretchBitmap(wholeStretched, half);
    StretchDoubleSmoothArea(smooth, half, area);
    ASSERT_EQ(under, before);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const bool in = inside(area, x, y);
        ASSERT_EQ(ColourAt(bright, x, y), ColourAt(in ? wholeBright : before, x, y)) << n;
        ASSERT_EQ(ColourAt(blended, x, y), ColourAt(in ? wholeBlended : before, x, y)) << n;
        if (x < half.Width() && y < half.Height()) {
          const TColor kept = ColourAt(half, x, y);
          ASSERT_EQ(ColourAt(brightInto, x, y), in ? ColourAt(wholeBright, x, y) : kept) << n;
          ASSERT_EQ(ColourAt(blendedInto, x, y), in ? ColourAt(wholeBlended, x, y) : kept) << n;
        }
        ASSERT_EQ(ColourAt(stretched, x, y), ColourAt(in ? wholeStretched : before, x, y)) << n;
        for (int k = 0; k < 3; ++k) {
          ASSERT_EQ(smooth.Pixel(x, y)[k], in ? SmoothByte(half, x, y, k) : before.Pixel(x, y)[k])
              << n << ": " << x << "," << y;
        }
      }
    }
  }
}

// Byte k of each pixel is its value + k: the bytes are filtered each on its own. That an
// area redraws as the whole picture does is checked by the tile-by-tile view composition.
TEST(ImageSupport, SmoothStretchWeighsTheNearPixelThreeToOne) {
  const int values[2][2] = {{0, 160}, {16, 64}};  // [row][column]
  TBitmap24 source(2, 2);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 2; ++x) {
      for (int k = 0; k < 3; ++k)
        source.Pixel(x, y)[k] = static_cast<std::uint8_t>(values[y][x] + k);
    }
  }
  TBitmap24 view(5, 5);
  StretchDoubleSmoothArea(view, source, {0, 0, 5, 5});
  const struct {
    int x, y, value;
  } expected[] = {{0, 0, 0},  {1, 0, 40}, {1, 1, 37},  {2, 1, 103},
                  {2, 2, 69}, {3, 3, 64}, {4, 0, 160}, {4, 4, 64}};
  for (const auto& e : expected) {
    for (int k = 0; k < 3; ++k)
      EXPECT_EQ(view.Pixel(e.x, e.y)[k], e.value + k) << e.x << "," << e.y;
  }
}

}  // namespace
}  // namespace quorvil
