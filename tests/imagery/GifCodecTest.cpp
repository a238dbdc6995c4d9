#include <gtest/gtest.h>

#include "imagery/GifCodec.h"
#include "platform/ProgramError.h"
#include "support/GifWriter.h"

namespace quorvil {
namespace {

using testing::EncodeGif;
using testing::TGifPicture;

// Colour index of pixel (x, y) in the test pictures: distinct per row and column.
std::uint8_t IndexAt(int x, int y) { return static_cast<std::uint8_t>((x + 3 * y) % 4); }

const std::vector<GifColorType> kPalette = {{10, 20, 30}, {200, 0, 0}, {0, 200, 0}, {0, 0, 200}};

TGifPicture Picture(int width, int height) {
  TGifPicture gif;
  gif.screenWidth = gif.width = width;
  gif.screenHeight = gif.height = height;
  gif.palette = kPalette;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) gif.pixels.push_back(IndexAt(x, y));
  return gif;
}

// Blue, green, red as the picture holds them.
std::vector<int> Bgr(const GifColorType& c) { return {c.Blue, c.Green, c.Red}; }
std::vector<int> PixelOf(const TBitmap24& b, int x, int y) {
  const auto* p = b.Pixel(x, y);
  return {p[0], p[1], p[2]};
}

TEST(GifCodec, TablesAndInterlaceDecodeTheSamePixels) {
  const struct {
    const char* name;
    bool local;
    bool interlace;
  } cases[] = {{"global", false, false},
               {"local", true, false},
               {"global interlaced", false, true},
               {"local interlaced", true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TGifPicture gif = Picture(23, 19);  // odd sizes cross every interlace pass
    gif.localTable = c.local;
    gif.interlace = c.interlace;
    const auto file = EncodeGif(gif);
    const TBitmap24 picture = DecodeGif(file.data(), file.size());
    ASSERT_EQ(picture.Width(), 23);
    ASSERT_EQ(picture.Height(), 19);
    for (int y = 0; y < 19; ++y)
      for (int x = 0; x < 23; ++x)
        ASSERT_EQ(PixelOf(picture, x, y), Bgr(kPalette[IndexAt(x, y)])) << x << "," << y;
  }
}

TEST(GifCodec, UncoveredAndTransparentPixelsShowTheBackground) {
  TGifPicture gif = Picture(4, 4);
  gif.screenWidth = 10;
  gif.screenHeight = 8;
  gif.left = 2;
  gif.top = 3;
  gif.background = 2;
  gif.transparent = 1;
  const auto file = EncodeGif(gif);
  const TBitmap24 picture = DecodeGif(file.data(), file.size());
  ASSERT_EQ(picture.Width(), 10);
  ASSERT_EQ(picture.Height(), 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 10; ++x) {
      const bool inside = x >= 2 && x < 6 && y >= 3 && y < 7;
      const int index = inside ? IndexAt(x - 2, y - 3) : -1;
      const auto& expected = (index < 0 || index == 1) ? kPalette[2] : kPalette[index];
      ASSERT_EQ(PixelOf(picture, x, y), Bgr(expected)) << x << "," << y;
    }
}

TEST(GifCodec, ImageReachingPastTheScreenIsClipped) {
  TGifPicture gif = Picture(8, 8);
  gif.screenWidth = 5;
  gif.screenHeight = 6;
  gif.left = 2;
  gif.top = 1;
  const auto file = EncodeGif(gif);
  const TBitmap24 picture = DecodeGif(file.data(), file.size());
  ASSERT_EQ(picture.Width(), 5);
  ASSERT_EQ(picture.Height(), 6);
  EXPECT_EQ(PixelOf(picture, 4, 5), Bgr(kPalette[IndexAt(2, 4)]));
  EXPECT_EQ(PixelOf(picture, 2, 1), Bgr(kPalette[IndexAt(0, 0)]));
  EXPECT_EQ(PixelOf(picture, 0, 0), Bgr(kPalette[0]));  // background
}

TEST(GifCodec, BrokenDataIsAClearError) {
  const auto file = EncodeGif(Picture(40, 40));
  TGifPicture noTable = Picture(4, 4);
  noTable.palette = kPalette;
  auto noColours = EncodeGif(noTable);
  noColours[10] &= 0x7F;  // the screen descriptor loses its global table flag
  noColours.erase(noColours.begin() + 13, noColours.begin() + 13 + 12);
  const struct {
    const char* name;
    std::vector<std::uint8_t> bytes;
    const char* part;
  } cases[] = {
      {"empty", {}, "too short"},
      {"header only", std::vector<std::uint8_t>(file.begin(), file.begin() + 13), "GIF error"},
      {"cut in the image", std::vector<std::uint8_t>(file.begin(), file.begin() + file.size() / 2),
       "GIF error"},
      {"not a gif", std::vector<std::uint8_t>(40, 'x'), "GIF error"},
      {"no colour table", noColours, "no colour table"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      DecodeGif(c.bytes.data(), c.bytes.size());
      FAIL() << "no error";
    } catch (const EQuorvilError& error) {
      EXPECT_NE(std::string(error.what()).find(c.part), std::string::npos) << error.what();
    }
  }
}

}  // namespace
}  // namespace quorvil
