#include <gtest/gtest.h>

#include <string>

#include "service/ServiceTextSupport.h"

namespace quorvil {
namespace {

TEST(ServiceTextForDisplay, ControlsGoAndLongTextsAreCut) {
  const std::string thousand(1000, 'a');
  const struct {
    const char* name;
    std::string text, shown;
  } cases[] = {
      {"plain", "Timeout", "Timeout"},
      {"empty", "", ""},
      {"title change and clear screen", "\x1b]0;owned\x07\x1b[2Jboom", "]0;owned[2Jboom"},
      {"line breaks and tabs become blanks", "one\r\ntwo\tthree", "one  two three"},
      {"delete and C1 controls",
       "a\x7f"
       "b\xc2\x9b"
       "c\xc2\x85"
       "d",
       "abcd"},
      {"UTF-8 stays", "Saint-L\xc3\xa9onard \xe2\x80\x93 \xf0\x9f\x97\xba",
       "Saint-L\xc3\xa9onard \xe2\x80\x93 \xf0\x9f\x97\xba"},
      {"bytes that are not UTF-8 go",
       "a\xff"
       "b\xc3"
       "c\xe2\x80"
       "d\xed\xa0\x80"
       "e\xc0\xaf",
       "abcde"},
      {"a lone 8-bit CSI goes",
       "x\x9b"
       "31my",
       "x31my"},
      {"1000 characters stay whole", thousand, thousand},
      {"1001 are cut with an ellipsis", thousand + "b", thousand + "\xe2\x80\xa6"},
      {"characters, not bytes, count",
       std::string(1000, '\0') +
           [] {
             std::string e;
             for (int i = 0; i < 1001; ++i) e += "\xc3\xa9";
             return e;
           }(),
       [] {
         std::string e;
         for (int i = 0; i < 1000; ++i) e += "\xc3\xa9";
         return e + "\xe2\x80\xa6";
       }()},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ServiceTextForDisplay(c.text), c.shown) << c.name;
  }
}

}  // namespace
}  // namespace quorvil
