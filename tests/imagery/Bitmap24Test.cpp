#include <gtest/gtest.h>

#include <cstring>

#include "imagery/Bitmap24.h"
#include "platform/ProgramError.h"

namespace quorvil {
namespace {

TEST(Bitmap24, RowsArePackedBgrTriples) {
  TBitmap24 bitmap(5, 3);
  EXPECT_EQ(bitmap.Stride(), 15);
  EXPECT_EQ(bitmap.ByteCount(), 45);
  EXPECT_EQ(bitmap.Row(2) - bitmap.Data(), 30);
  EXPECT_EQ(bitmap.Pixel(4, 1) - bitmap.Data(), 27);
}

TEST(Bitmap24, CopiesAreDeepAndMovesEmptyTheSource) {
  TBitmap24 a(4, 4);
  std::memset(a.Data(), 7, a.ByteCount());
  TBitmap24 b = a;
  EXPECT_TRUE(a == b);
  b.Pixel(1, 1)[0] = 9;
  EXPECT_FALSE(a == b);
  TBitmap24 c = std::move(a);
  EXPECT_TRUE(a.Empty());
  EXPECT_EQ(c.Pixel(3, 3)[2], 7);
}

TEST(Bitmap24, ImpossibleSizesAreClearErrors) {
  EXPECT_THROW(TBitmap24(-1, 5), EQuorvilError);
  TBitmap24 huge;
  // 2^31-1 squared times 3 bytes can never be had; it must be an error, not an overflow.
  EXPECT_THROW(huge.SetSize(2147483647, 2147483647), EQuorvilError);
  EXPECT_TRUE(huge.Empty());
}

}  // namespace
}  // namespace quorvil
