#include "hunger/hunger_value.h"

#include <gtest/gtest.h>

#include "platform/platform.h"

namespace guizzolo {
namespace {

TEST(HungerValue, ReadsNumbersInTheUsersLocale) {
  struct Case { const char* text; const char* separator; double value; };
  for (const Case c : {Case{"42", ".", 42}, Case{" 42 ", ".", 42}, Case{"\t7", ",", 7},
                       Case{"20,5", ",", 20.5}, Case{"20.5", ",", 20.5}, Case{"20.5", ".", 20.5},
                       Case{"-5", ".", -5}, Case{"+3", ".", 3}, Case{"1e308", ".", 1e308},
                       Case{"1E+2", ",", 100}, Case{".5", ".", 0.5}, Case{"5.", ".", 5},
                       Case{"007", ".", 7}, Case{"0,5", ",", 0.5}, Case{"1\xC2\xA0" "5", "\xC2\xA0", 1.5}}) {
    EXPECT_DOUBLE_EQ(ParseHunger(c.text, c.separator), c.value) << c.text;
  }
}

TEST(HungerValue, RefusesWhatIsNotANumber) {
  for (const char* text : {"", "   ", "abc", "12abc", "NaN", "nan", "inf", "-inf", "1e309", "-1e400",
                           "0x10", "1.2.3", "+", "-", ".", "e5", "1e", "1 2", "١٢", "1,2,3", "1.2,3",
                           "1\xd9\xab" "2\xd9\xab" "3", "1\xd9", "1\xd9\xac" "5", "\xd9\xab"}) {
    EXPECT_THROW(ParseHunger(text, "."), Failure) << text;
  }
}

TEST(HungerValue, ReadsWhatTheProgramWroteUnderAnyLocale) {
  // Written in Italy, Iran or Afghanistan (U+066B), in the C locale: read
  // back in any of them. A comma reaches the parser only where the field
  // rules let it through (a locale with the decimal comma, or quoted).
  struct Case { const char* text; double value; };
  for (const char* separator : {".", ",", "\xd9\xab", "\xC2\xA0"}) {
    for (const Case c : {Case{"19.5", 19.5}, Case{"19,5", 19.5}, Case{"19\xd9\xab" "5", 19.5},
                         Case{"4,2", 4.2}, Case{"-0\xd9\xab" "25", -0.25}, Case{"100", 100}}) {
      EXPECT_DOUBLE_EQ(ParseHunger(c.text, separator), c.value) << c.text << " under " << separator;
    }
  }
}

TEST(HungerValue, WritesTheShortestFormWithoutTrailingZeros) {
  struct Case { double value; const char* separator; const char* text; };
  for (const Case c : {Case{99, ",", "99"}, Case{100, ".", "100"}, Case{19.5, ",", "19,5"},
                       Case{19.5, ".", "19.5"}, Case{0.1 + 0.2, ".", "0.3"}, Case{-0.0, ".", "0"},
                       Case{-6, ".", "-6"}, Case{1e308, ".", "1e+308"}, Case{123456789012345678.0, ".", "1.23456789012346e+17"}}) {
    EXPECT_EQ(FormatHunger(c.value, c.separator), c.text) << c.value;
  }
}

TEST(HungerValue, WhatItWritesReadsBack) {
  for (const double v : {0.0, 1.0, 99.0, 19.5, -5.25, 1e308, 1e-300, 3.14159265358979}) {
    for (const char* written : {".", ",", "\xd9\xab"}) {
      for (const char* read : {".", ",", "\xd9\xab"}) {
        const double back = ParseHunger(FormatHunger(v, written), read);
        EXPECT_NEAR(back, v, std::abs(v) * 1e-14) << v << " written with " << written << ", read with " << read;
      }
    }
  }
}

}  // namespace
}  // namespace guizzolo
