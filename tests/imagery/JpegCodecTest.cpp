#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "imagery/JpegCodec.h"
#include "platform/ProgramError.h"

namespace quorvil {
namespace {

TBitmap24 Gradient(int w, int h) {
  TBitmap24 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      auto* p = b.Pixel(x, y);
      p[0] = static_cast<std::uint8_t>(x * 255 / w);  // blue grows to the right
      p[1] = 128;
      p[2] = static_cast<std::uint8_t>(y * 255 / h);  // red grows downward
    }
  return b;
}

TEST(JpegCodec, RoundTripKeepsSizeAndColourOrder) {
  const TBitmap24 original = Gradient(200, 120);
  const auto file = EncodeJpeg(original, 100);
  ASSERT_GT(file.size(), 100u);
  EXPECT_EQ(file[0], 0xFF);
  EXPECT_EQ(file[1], 0xD8);
  const TBitmap24 back = DecodeJpeg(file.data(), file.size());
  ASSERT_EQ(back.Width(), 200);
  ASSERT_EQ(back.Height(), 120);
  int worst = 0;
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 200; ++x)
      for (int c = 0; c < 3; ++c)
        worst = std::max(worst, std::abs(back.Pixel(x, y)[c] - original.Pixel(x, y)[c]));
  EXPECT_LE(worst, 8);
}

TEST(JpegCodec, BrokenDataIsAnErrorNeverAnExit) {
  const auto file = EncodeJpeg(Gradient(64, 64), 90);
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
  };
  std::vector<Case> cases = {
      {"empty", {}},
      {"two bytes", {0xFF, 0xD8}},
      {"not a jpeg", {'G', 'I', 'F', '8', '9', 'a', 0, 0}},
      {"header only", std::vector<std::uint8_t>(file.begin(), file.begin() + 20)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_THROW(DecodeJpeg(c.bytes.data(), c.bytes.size()), EQuorvilError);
  }
  // A file cut in the middle of its scan data decodes (libjpeg pads with grey and only
  // warns), which is how viewers treat it; where an intact picture is demanded, the
  // warning is the error.
  const auto large = EncodeJpeg(Gradient(256, 256), 90);
  const std::vector<std::uint8_t> cut(large.begin(), large.begin() + large.size() / 2);
  const TBitmap24 padded = DecodeJpeg(cut.data(), cut.size());
  EXPECT_EQ(padded.Width(), 256);
  try {
    DecodeJpeg(cut.data(), cut.size(), {0, 0, true});
    ADD_FAILURE() << "a cut-off file passed as intact";
  } catch (const EQuorvilError& error) {
    EXPECT_STREQ(error.what(), "JPEG error: Premature end of JPEG file");
  }
}

TEST(JpegCodec, DemandedSizeIsCheckedBeforeDecoding) {
  const auto file = EncodeJpeg(Gradient(64, 48), 90);
  EXPECT_EQ(DecodeJpeg(file.data(), file.size(), {64, 48, true}).Height(), 48);
  for (const TPictureDemand demand : {TPictureDemand{48, 64}, TPictureDemand{64, 47}}) {
    try {
      DecodeJpeg(file.data(), file.size(), demand);
      ADD_FAILURE() << "no error";
    } catch (const EQuorvilError& error) {
      EXPECT_EQ(std::string(error.what()), "JPEG error: the picture is 64 x 48 pixels, not " +
                                               std::to_string(demand.Width) + " x " +
                                               std::to_string(demand.Height));
    }
  }
}

TEST(JpegCodec, EmptyPictureCannotBeWritten) {
  EXPECT_THROW(EncodeJpeg(TBitmap24(), 100), EQuorvilError);
}

}  // namespace
}  // namespace quorvil
