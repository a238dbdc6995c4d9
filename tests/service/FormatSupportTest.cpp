#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "platform/ProgramError.h"
#include "service/FormatSupport.h"

namespace quorvil {
namespace {

struct FormatCase {
  double value;
  const char* separator;
  const char* stored;   // 15 significant digits
  const char* display;  // 5 significant digits
};

TEST(FormatSupport, GeneralFormatsAtFifteenAndFiveDigits) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const FormatCase cases[] = {
      {-74.06, ".", "-74.06", "-74.06"},
      {40.7, ".", "40.7", "40.7"},
      {-74.06, ",", "-74,06", "-74,06"},
      {-73.96542, ".", "-73.96542", "-73.965"},
      {-122.41942, ".", "-122.41942", "-122.42"},
      {-122.41942, ",", "-122,41942", "-122,42"},
      {180, ".", "180", "180"},
      {100, ".", "100", "100"},
      {0, ".", "0", "0"},
      {-0.0, ".", "0", "0"},
      {0.1 + 0.2, ".", "0.3", "0.3"},
      {1.0 / 3, ".", "0.333333333333333", "0.33333"},
      {2.0 / 3, ".", "0.666666666666667", "0.66667"},
      {0.5, ".", "0.5", "0.5"},
      // Fixed notation down to 0.00001, also at 5 digits (unlike C's %g).
      {0.00001, ".", "0.00001", "0.00001"},
      {0.00005, ".", "0.00005", "0.00005"},
      {-0.000012345, ".", "-0.000012345", "-0.000012345"},
      {0.0000099999, ".", "9.9999E-6", "9.9999E-6"},
      {0.00000999999, ".", "9.99999E-6", "0.00001"},  // rounds up to 0.00001 at 5 digits
      {-1.5e-7, ",", "-1,5E-7", "-1,5E-7"},
      {5e-324, ".", "4.94065645841247E-324", "4.9407E-324"},
      // Large magnitudes: fixed while the integer part fits the digits.
      {123456789012345.0, ".", "123456789012345", "1.2346E14"},
      {1234567890123456.0, ".", "1.23456789012346E15", "1.2346E15"},
      {1e14, ".", "100000000000000", "1E14"},
      {12345.4, ".", "12345.4", "12345"},
      {99999.7, ".", "99999.7", "1E5"},
      {nan, ".", "NAN", "NAN"},
      {-inf, ".", "-INF", "-INF"},
  };
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(c.stored);
    EXPECT_EQ(FloatToStr(c.value, c.separator), c.stored);
    EXPECT_EQ(FormatFloatDisplay(c.value, c.separator), c.display);
  }
  EXPECT_EQ(FloatToStr(2.5, ""), "2.5");  // no separator given: a point
  EXPECT_EQ(FormatFloatGeneral(2.6, 1, "."), "3");
  EXPECT_EQ(FormatFloatGeneral(-0.0123456, 3, ","), "-0,0123");
}

TEST(FormatSupport, StoredTextReadsBackToTheValueRoundedToFifteenDigits) {
  std::mt19937_64 random(20240611);
  std::uniform_real_distribution<double> degrees(-180.0, 180.0);
  for (const char* separator : {".", ","}) {
    for (int i = 0; i < 2000; ++i) {
      const double value = i % 3 == 0 ? degrees(random) * 1e-9 : degrees(random);
      const std::string text = FloatToStr(value, separator);
      double back = 0;
      ASSERT_TRUE(TryStrToFloat(text, separator, back)) << text;
      EXPECT_NEAR(back, value, std::abs(value) * 1e-14) << text;
      EXPECT_EQ(FloatToStr(back, separator), text);
      EXPECT_LE(text.size(), 23u) << text;
    }
  }
}

struct ReadCase {
  const char* text;
  const char* separator;
  bool accepted;
  double value;
};

TEST(FormatSupport, DecimalReaderAcceptsOnlyPlainDecimalNumbers) {
  const ReadCase cases[] = {
      {"12.5", ".", true, 12.5},
      {"  12.5  ", ".", true, 12.5},
      {"\t-7\t", ".", true, -7},
      {"+3", ".", true, 3},
      {"-0.5", ".", true, -0.5},
      {".5", ".", true, 0.5},
      {"5.", ".", true, 5},
      {"1e3", ".", true, 1000},
      {"1E+3", ".", true, 1000},
      {"-2.5e-3", ".", true, -0.0025},
      {"-74,06", ",", true, -74.06},
      {"180", ",", true, 180},
      {"1\xC2\xA0"
       "5",
       "\xC2\xA0", true, 1.5},  // a separator of two bytes
      {"", ".", false, 0},
      {"   ", ".", false, 0},
      {"abc", ".", false, 0},
      {"nan", ".", false, 0},
      {"NAN", ".", false, 0},
      {"inf", ".", false, 0},
      {"-Infinity", ".", false, 0},
      {"0x1A", ".", false, 0},
      {"0x1p3", ".", false, 0},
      {"1,000.5", ".", false, 0},
      {"1.000,5", ",", false, 0},
      {"1.5", ",", false, 0},
      {"1.2.3", ".", false, 0},
      {".", ".", false, 0},
      {"-", ".", false, 0},
      {"-.", ".", false, 0},
      {"1e", ".", false, 0},
      {"1e+", ".", false, 0},
      {"e5", ".", false, 0},
      {"1e5.5", ".", false, 0},
      {"--1", ".", false, 0},
      {"+-1", ".", false, 0},
      {"- 1", ".", false, 0},
      {"1 2", ".", false, 0},
      {"12a", ".", false, 0},
      {"1e400", ".", false, 0},
      {"-1e400", ".", false, 0},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.text);
    double value = 42;
    EXPECT_EQ(TryStrToFloat(c.text, c.separator, value), c.accepted);
    EXPECT_DOUBLE_EQ(value, c.accepted ? c.value : 42);
  }
}

TEST(FormatSupport, IntegerReaderAcceptsOnlyDecimalIntegers) {
  const struct {
    const char* text;
    bool accepted;
    int value;
  } cases[] = {
      {"3", true, 3},
      {" -7 ", true, -7},
      {"+12", true, 12},
      {"007", true, 7},
      {"2147483647", true, 2147483647},
      {"-2147483648", true, -2147483647 - 1},
      {"", false, 0},
      {" ", false, 0},
      {"-", false, 0},
      {"3.0", false, 0},
      {"4.5", false, 0},
      {"abc", false, 0},
      {"0x10", false, 0},
      {"$10", false, 0},
      {"1e3", false, 0},
      {"1,000", false, 0},
      {"- 3", false, 0},
      {"3|X=4", false, 0},
      {"2147483648", false, 0},
      {"-2147483649", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    int value = 42;
    EXPECT_EQ(TryStrToInt(c.text, value), c.accepted);
    EXPECT_EQ(value, c.accepted ? c.value : 42);
  }
}

TEST(FormatSupport, ReadersThrowTheConversionMessages) {
  EXPECT_DOUBLE_EQ(StrToFloat("-74,06", ","), -74.06);
  EXPECT_EQ(StrToInt(" 6"), 6);
  const struct {
    bool floating;
    const char* text;
    const char* message;
  } cases[] = {
      {true, "abc", "'abc' is not a valid floating point value"},
      {true, " 1.5 x", "' 1.5 x' is not a valid floating point value"},
      {true, "", "'' is not a valid floating point value"},
      {false, "3|X=4", "'3|X=4' is not a valid integer value"},
      {false, "4.5", "'4.5' is not a valid integer value"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      if (c.floating) {
        StrToFloat(c.text, ".");
      } else {
        StrToInt(c.text);
      }
      ADD_FAILURE() << "no error";
    } catch (const EQuorvilError& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
}

}  // namespace
}  // namespace quorvil
