#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "imagery/ResourceSupport.h"
#include "platform/ProgramError.h"

namespace quorvil {
namespace {

// A module whose resource "ONE" fails at the step named, or serves `bytes`.
class TFailingModule final : public TResourceModule {
 public:
  enum Step { kNone, kFind, kSize, kLoad, kLock };
  TFailingModule(Step failAt, std::vector<std::uint8_t> bytes)
      : failAt_(failAt), bytes_(std::move(bytes)) {}
  bool Find(const TResourceType&, std::string_view name, std::size_t& handle) const override {
    handle = 7;
    return failAt_ != kFind && name == "ONE";
  }
  std::int64_t SizeOf(std::size_t) const override {
    return failAt_ == kSize ? 0 : static_cast<std::int64_t>(bytes_.size());
  }
  bool Load(std::size_t) const override { return failAt_ != kLoad; }
  const std::uint8_t* Lock(std::size_t) const override {
    return failAt_ == kLock ? nullptr : bytes_.data();
  }

 private:
  Step failAt_;
  std::vector<std::uint8_t> bytes_;
};

std::string ErrorOf(const TResourceModule& module, const TResourceType& type,
                    std::string_view name) {
  TMemoryStream stream;
  try {
    LoadResourceToStream(stream, module, type, name);
  } catch (const EQuorvilError& e) {
    EXPECT_EQ(stream.Size(), 0);
    return e.what();
  }
  return "no error";
}

TEST(ResourceSupport, EachFailingStepHasItsMessage) {
  const std::vector<std::uint8_t> bytes{1, 2, 3};
  const struct {
    TFailingModule::Step failAt;
    const char* name;
    const char* message;
  } cases[] = {
      {TFailingModule::kFind, "ONE", "Resource \"ONE\" was not found."},
      {TFailingModule::kNone, "Two Words", "Resource \"Two Words\" was not found."},
      {TFailingModule::kSize, "ONE", "Resource \"ONE\" has a zero length."},
      {TFailingModule::kLoad, "ONE", "Resource \"ONE\" could not be loaded."},
      {TFailingModule::kLock, "ONE", "Resource \"ONE\" could not be locked."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorOf(TFailingModule(c.failAt, bytes), kJpegResourceType, c.name), c.message);
  }
  EXPECT_EQ(ErrorOf(ProgramModule(), kJpegResourceType, "JPG_Missing"),
            "Resource \"JPG_Missing\" was not found.");
  // The name is found only under its own type; a number is not the name of the number.
  EXPECT_EQ(ErrorOf(ProgramModule(), kPngResourceType, "JPG_SplashScreen"),
            "Resource \"JPG_SplashScreen\" was not found.");
  EXPECT_EQ(ErrorOf(ProgramModule(), TResourceType{0, "256"}, "JPG_SplashScreen"),
            "Resource \"JPG_SplashScreen\" was not found.");
  EXPECT_EQ(ErrorOf(ProgramModule(), TResourceType{257, {}}, "JPG_SplashScreen"),
            "Resource \"JPG_SplashScreen\" was not found.");
}

TEST(ResourceSupport, BytesAreWrittenAtTheStreamPosition) {
  TMemoryStream stream;
  stream.Write("head", 4);
  LoadResourceToStream(stream, TFailingModule(TFailingModule::kNone, {9, 8, 7}), kJpegResourceType,
                       "ONE");
  EXPECT_EQ(stream.Bytes(), (std::vector<std::uint8_t>{'h', 'e', 'a', 'd', 9, 8, 7}));
  EXPECT_EQ(stream.Position(), 7);

  for (const char* cursor : {"CURSOR_Hand", "CURSOR_ZoomBox", "CURSON_Select", "cursor_hand"}) {
    SCOPED_TRACE(cursor);
    TMemoryStream png;
    LoadResourceToStream(png, ProgramModule(), kPngResourceType, cursor);
    ASSERT_GT(png.Size(), 8);
    EXPECT_EQ(std::memcmp(png.Data(), "\x89PNG\r\n\x1a\n", 8), 0);
  }
}

TEST(ResourceSupport, SplashPictureDecodesFromTheProgram) {
  for (const char* name : {"JPG_SplashScreen", "jpg_splashscreen"}) {
    TBitmap24 splash;
    LoadJpegFromResource(splash, name);
    EXPECT_EQ(splash.Width(), 600);
    EXPECT_EQ(splash.Height(), 400);
    // A picture, not a blank: bright title pixels and dark landscape ones.
    int bright = 0, dark = 0;
    for (std::int64_t i = 0; i < splash.ByteCount(); ++i) {
      bright += splash.Data()[i] > 230;
      dark += splash.Data()[i] < 60;
    }
    EXPECT_GT(bright, 1000);
    EXPECT_GT(dark, 10000);
  }
}

TEST(ResourceSupport, UndecodableJpegLeavesThePictureAlone) {
  TBitmap24 picture(3, 2);
  const TBitmap24 before = picture;
  const TFailingModule module(TFailingModule::kNone, {0xFF, 0xD8, 0xFF, 0x00, 1, 2});
  EXPECT_THROW(LoadJpegFromResource(picture, module, "ONE"), EQuorvilError);
  EXPECT_TRUE(picture == before);
  try {
    LoadJpegFromResource(picture, module, "TWO");
    ADD_FAILURE() << "no error";
  } catch (const EQuorvilError& e) {
    EXPECT_STREQ(e.what(), "Resource \"TWO\" was not found.");
  }
}

}  // namespace
}  // namespace quorvil
