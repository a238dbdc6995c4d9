#include <gtest/gtest.h>

#include "settings/CaseFold.h"

namespace quorvil {
namespace {

TEST(FoldCase, CapitalAndSmallLettersFoldAlike) {
  const struct {
    const char *capital, *small;
  } rows[] = {
      {"NY: CENTRAL PARK", "ny: central park"},
      {"ÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏÐÑÒÓÔÕÖØÙÚÛÜÝÞ", "àáâãäåæçèéêëìíîïðñòóôõöøùúûüýþ"},
      {"ĀĂĄĆĈĊČĎĐĒĔĖĘĚĜĞĠĢĤĦĨĪĬĮĲĴĶ", "āăąćĉċčďđēĕėęěĝğġģĥħĩīĭįĳĵķ"},
      {"ĹĻĽĿŁŃŅŇ", "ĺļľŀłńņň"},
      {"ŊŌŎŐŒŔŖŘŚŜŞŠŢŤŦŨŪŬŮŰŲŴŶŸŹŻŽ", "ŋōŏőœŕŗřśŝşšţťŧũūŭůűųŵŷÿźżž"},
      {"ΑΒΓΔΕΖΗΘΙΚΛΜΝΞΟΠΡΣΤΥΦΧΨΩΪΫ", "αβγδεζηθικλμνξοπρστυφχψωϊϋ"},
      {"ΆΈΉΊΌΎΏ", "άέήίόύώ"},
      {"ς", "σ"},
      {"ЀЁЂЃЄЅІЇЈЉЊЋЌЍЎЏ", "ѐёђѓєѕіїјљњћќѝўџ"},
      {"АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ", "абвгдежзийклмнопрстуфхцчшщъыьэюя"},
      {"ѢҐҒӀӁӐӸԀ", "ѣґғӏӂӑӹԁ"},
      {"ԱՖ", "աֆ"},
      {"ḀẔỲ", "ḁẕỳ"},
      {"µ", "μ"},
      {"ſ", "s"},
      {"ＡＺ", "ａｚ"},
      // Letters a hand-made table once missed: Latin Extended-B, the Kelvin and Ångström
      // signs, Georgian, Cherokee, Deseret.
      {"ȘȚƁǄȺ", "șțɓǆⱥ"},
      {"\u212A", "k"},
      {"\u212B", "å"},
      {"ႠႡᲐᲑ", "ⴀⴁაბ"},
      {"ᏸ", "Ᏸ"},
      {"𐐀", "𐐨"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.capital);
    EXPECT_EQ(FoldCase(row.capital), FoldCase(row.small));
  }
  // Full folding: one letter may fold to several.
  const struct {
    const char *text, *folded;
  } full[] = {{"ẞ", "ss"}, {"ß", "ss"}, {"ŉ", "ʼn"}, {"ﬀ", "ff"}, {"İ", "i\u0307"}};
  for (const auto& row : full) EXPECT_EQ(FoldCase(row.text), row.folded) << row.text;
}

TEST(FoldCase, SmallLettersAndOtherTextStayAsTheyAre) {
  for (const char* text :
       {"ny: central park 0123 =|", "àéîõüÿıĸ", "αβγσ", "абвя", "șțǆ", "日本語 ✓ 😀", "×÷", ""}) {
    EXPECT_EQ(FoldCase(text), text) << text;
  }
}

TEST(FoldCase, LettersThatOnlyLookAlikeStayApart) {
  const struct {
    const char *a, *b;
  } rows[] = {{"E", "É"}, {"i", "ı"}, {"I", "İ"}, {"A", "А" /* Cyrillic */}, {"ß", "s"}, {"×", "÷"},
              {"ĸ", "k"}, {"Ÿ", "y"}, {"Ș", "Ş"}};
  for (const auto& row : rows) {
    EXPECT_NE(FoldCase(row.a), FoldCase(row.b)) << row.a << " / " << row.b;
  }
}

TEST(FoldCase, BytesThatAreNotUtf8AreKeptAndCapitalsAroundThemFolded) {
  const struct {
    std::string in, out;
  } rows[] = {
      {"A\xFF"
       "B",
       "a\xFF"
       "b"},
      {"\xC3", "\xC3"},                          // cut-off sequence
      {"\xC3\xC3\x89", "\xC3\xC3\xA9"},          // lone lead byte before É
      {"\xC0\x81", "\xC0\x81"},                  // overlong
      {"\xED\xA0\x80X", "\xED\xA0\x80x"},        // surrogate
      {"\xF4\x90\x80\x80", "\xF4\x90\x80\x80"},  // above U+10FFFF
      {"\x80\xBF", "\x80\xBF"},
  };
  for (const auto& row : rows) EXPECT_EQ(FoldCase(row.in), row.out);
}

}  // namespace
}  // namespace quorvil
