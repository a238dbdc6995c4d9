#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "output/OutputPicture.h"
#include "platform/ProgramError.h"
#include "support/FakeTerraService.h"

namespace quorvil {
namespace {

using testing::MakeArea;

TEST(OutputPicture, IsWhiteAndOfTheAreasPixelSize) {
  // 3 x 2 tiles, north-west offsets (50, 120), south-east offsets (30, 40).
  const auto area = MakeArea(10, 21, 50, 120, 12, 20, 30, 40);
  const TBitmap24 picture = NewOutputPicture(*area, INT64_MAX);
  EXPECT_EQ(picture.Width(), 380);
  EXPECT_EQ(picture.Height(), 120);
  for (std::int64_t i = 0; i < picture.ByteCount(); ++i) ASSERT_EQ(picture.Data()[i], 255) << i;
}

TEST(OutputPicture, SizesThatCannotBeHeldAreClearErrors) {
  struct Case {
    const char* name;
    std::unique_ptr<AreaBoundingBox> area;
    std::int64_t available;
    const char* message;
  };
  Case cases[] = {
      // 2000 x 2000 pixels need 12000000 bytes.
      {"one byte short", MakeArea(0, 9, 0, 0, 10, -1, 0, 0), 11999999,
       "The picture of the selection, 2000 x 2000 pixels (11 MB), is too large for the "
       "available memory. Choose a coarser zoom level or a smaller selection."},
      {"sides beyond 32 bits", MakeArea(0, 0, 0, 0, 20000000, -20000000, 0, 0), INT64_MAX,
       "The picture of the selection, 4000000000 x 4000000000 pixels, is too large for the "
       "available memory. Choose a coarser zoom level or a smaller selection."},
      {"crossed corners", MakeArea(5, 0, 0, 0, 4, 0, 0, 0), INT64_MAX,
       "The picture of the selection cannot be made: it is -200 x 0 pixels."},
  };
  for (const Case& c : cases) {
    try {
      NewOutputPicture(*c.area, c.available);
      ADD_FAILURE() << c.name << ": no error";
    } catch (const EQuorvilError& error) {
      EXPECT_EQ(std::string(error.what()), c.message) << c.name;
    }
  }
  // Exactly the bytes available is enough.
  EXPECT_EQ(NewOutputPicture(*cases[0].area, 12000000).Width(), 2000);
}

TEST(OutputPicture, AvailableMemoryIsAPlausibleAmount) {
  const std::int64_t bytes = AvailableMemoryBytes();
  EXPECT_GT(bytes, std::int64_t{16} << 20);
}

}  // namespace
}  // namespace quorvil
