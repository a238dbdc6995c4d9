#include <gtest/gtest.h>

#include "platform/ProgramError.h"
#include "service/SystemSupport.h"

namespace quorvil {
namespace {

TEST(GetValueFromString, ReturnsEverythingAfterTheFirstSeparator) {
  EXPECT_EQ(GetValueFromString("Zoom=3", "="), "3");
  EXPECT_EQ(GetValueFromString("a=b=c", "="), "b=c");
  EXPECT_EQ(GetValueFromString("x=", "="), "");
  EXPECT_EQ(GetValueFromString("=lead", "="), "lead");
}

TEST(GetValueFromString, MissingSeparatorIsTheError) {
  for (const char* text : {"abc", ""}) {
    SCOPED_TRACE(text);
    try {
      GetValueFromString(text, "=");
      FAIL() << "no error";
    } catch (const EQuorvilError& e) {
      EXPECT_STREQ(e.what(), "GetValueFromString: Separator character not found in string.");
    }
  }
}

}  // namespace
}  // namespace quorvil
