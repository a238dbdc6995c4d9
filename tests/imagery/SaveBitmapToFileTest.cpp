#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imagery/ImageSupport.h"
#include "imagery/JpegCodec.h"
#include "platform/ProgramError.h"

namespace quorvil {
namespace {

namespace fs = std::filesystem;

class SaveBitmapToFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("quorvil-save-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  static std::vector<std::uint8_t> Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  static TBitmap24 Picture() {
    TBitmap24 b(3, 2);  // 9-byte rows: the file pads them to 12
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x) {
        b.Pixel(x, y)[0] = static_cast<std::uint8_t>(10 * x);
        b.Pixel(x, y)[1] = static_cast<std::uint8_t>(100 + y);
        b.Pixel(x, y)[2] = 200;
      }
    return b;
  }
  fs::path dir_;
};

TEST_F(SaveBitmapToFileTest, BitmapFileIsBottomUpWithPaddedRows) {
  const auto file = dir_ / "a.bmp";
  SaveBitmapToFile(Picture(), file.string(), kSaveAsBitmap);
  const auto bytes = Read(file);
  ASSERT_EQ(bytes.size(), 54u + 2 * 12);
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(bytes[1], 'M');
  EXPECT_EQ(bytes[2], 54 + 24);
  EXPECT_EQ(bytes[18], 3);   // width
  EXPECT_EQ(bytes[22], 2);   // height, positive: bottom-up
  EXPECT_EQ(bytes[28], 24);  // bits per pixel
  // First stored row is the picture's bottom row (y = 1): green byte 101.
  EXPECT_EQ(bytes[54 + 1], 101);
  EXPECT_EQ(bytes[54 + 12 + 1], 100);
  EXPECT_EQ(bytes[54 + 3], 10);  // blue of pixel 1
  EXPECT_EQ(bytes[54 + 9], 0);   // padding
  EXPECT_FALSE(fs::exists(dir_ / "a.bmp.part"));
}

TEST_F(SaveBitmapToFileTest, JpegFileDecodesToThePicture) {
  const auto file = dir_ / "a.jpg";
  SaveBitmapToFile(Picture(), file.string(), kSaveAsJpeg);
  const auto bytes = Read(file);
  const TBitmap24 back = DecodeJpeg(bytes.data(), bytes.size());
  ASSERT_EQ(back.Width(), 3);
  ASSERT_EQ(back.Height(), 2);
  // Quality 100 keeps every byte close; a swapped colour order or a flipped row is far off.
  const TBitmap24 picture = Picture();
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x)
      for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(back.Pixel(x, y)[c], picture.Pixel(x, y)[c], 6) << x << "," << y << "/" << c;
}

TEST_F(SaveBitmapToFileTest, OtherTypesWriteNothing) {
  for (int type : {2, -1, 99}) {
    const auto file = dir_ / ("x" + std::to_string(type));
    SaveBitmapToFile(Picture(), file.string(), type);
    EXPECT_FALSE(fs::exists(file));
  }
}

TEST_F(SaveBitmapToFileTest, UnwritablePlaceIsAnErrorAndLeavesNoFile) {
  const auto file = dir_ / "missing-folder" / "a.bmp";
  EXPECT_THROW(SaveBitmapToFile(Picture(), file.string(), kSaveAsBitmap), EQuorvilError);
  EXPECT_FALSE(fs::exists(file));
}

TEST_F(SaveBitmapToFileTest, FailedWriteKeepsTheOldFile) {
  // The file's bytes go to a full disk: the temporary name leads to /dev/full, where
  // every write fails with ENOSPC.
  for (const int type : {kSaveAsJpeg, kSaveAsBitmap}) {
    SCOPED_TRACE(type);
    const auto file = dir_ / "keep.pic";
    { std::ofstream(file) << "old"; }
    fs::create_symlink("/dev/full", dir_ / "keep.pic.part");
    try {
      SaveBitmapToFile(Picture(), file.string(), type);
      ADD_FAILURE() << "the write to a full disk passed";
    } catch (const EQuorvilError& error) {
      EXPECT_NE(std::string(error.what()).find("Cannot write file"), std::string::npos)
          << error.what();
    }
    EXPECT_EQ(Read(file), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir_ / "keep.pic.part")));
  }
}

}  // namespace
}  // namespace quorvil
