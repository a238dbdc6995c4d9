#include <gtest/gtest.h>

#include "service/MemoryStream.h"

namespace quorvil {
namespace {

TEST(MemoryStream, ReadsAndWritesMoveThePosition) {
  TMemoryStream s;
  s.Write("abcdef", 6);
  EXPECT_EQ(s.Position(), 6);
  s.Seek(4);
  s.Write("XYZ", 3);  // overwrites "ef", then grows
  EXPECT_EQ(s.Size(), 7);
  s.Rewind();
  char buf[10] = {};
  EXPECT_EQ(s.Read(buf, 10), 7);
  EXPECT_STREQ(buf, "abcdXYZ");
  EXPECT_EQ(s.Read(buf, 1), 0);
  s.Seek(-5);
  EXPECT_EQ(s.Position(), 0);
  s.Seek(100);
  EXPECT_EQ(s.Position(), 7);
}

}  // namespace
}  // namespace quorvil
