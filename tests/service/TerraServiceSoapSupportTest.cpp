#include <gtest/gtest.h>

#include "platform/ProgramError.h"
#include "service/TerraServiceSoapSupport.h"

namespace quorvil {
namespace {

TEST(TerraServiceEnums, MembersTravelUnderTheirNames) {
  EXPECT_EQ(EnumName(static_cast<Scale>(10)), "Scale1m");
  EXPECT_EQ(EnumName(static_cast<Scale>(16)), "Scale64m");
  EXPECT_EQ(EnumName(static_cast<Scale>(6)), "Scale63mm");
  EXPECT_EQ(EnumName(static_cast<Scale>(24)), "Scale16km");
  EXPECT_EQ(EnumName(static_cast<Theme>(1)), "Topo");
  EXPECT_EQ(EnumName(PlaceType::River), "River");
  EXPECT_EQ(EnumName(ProjectionType::UtmNad83), "UtmNad83");
}

TEST(TerraServiceEnums, EveryNameReadsBackToItsOrdinal) {
  for (int i = 0; i < 25; ++i) EXPECT_EQ(static_cast<int>(ParseScale(EnumName(Scale(i)))), i);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(static_cast<int>(ParseTheme(EnumName(Theme(i)))), i);
  for (int i = 0; i < 13; ++i) {
    EXPECT_EQ(static_cast<int>(ParsePlaceType(EnumName(PlaceType(i)))), i);
  }
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(static_cast<int>(ParseProjectionType(EnumName(ProjectionType(i)))), i);
  }
}

TEST(TerraServiceEnums, UnknownNamesAreErrorsNotZero) {
  for (const char* name : {"", "photo", "Scale64", "Scale64mm", " Scale1m", "Topo "}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(TryParseScale(name).has_value());
  }
  EXPECT_THROW(ParseTheme("photo"), EQuorvilError);
  EXPECT_THROW(ParseScale("Scale3m"), EQuorvilError);
  EXPECT_THROW(ParsePlaceType("Town"), EQuorvilError);
  EXPECT_THROW(ParseProjectionType("Utm"), EQuorvilError);
  EXPECT_EQ(EnumName(static_cast<Theme>(7)), "");
}

}  // namespace
}  // namespace quorvil
