// The interpreter's text rules that every reader leans on.
#include <gtest/gtest.h>

#include "common/errors.h"
#include "common/text.h"
#include "fakes.h"

namespace {

using nv::ErrorKind;
using Views = std::vector<std::string_view>;

Views as_views(const std::vector<std::string>& v) { return Views(v.begin(), v.end()); }

TEST(TextLines, BreaksAtLfCrAndCrLfWithNoEmptyLastLine) {
  struct Case {
    std::string text;
    std::vector<std::string> want;
  } cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\n", {"a"}},
      {"\n", {""}},
      {"a\n\nb", {"a", "", "b"}},
      {"a\rb\r", {"a", "b"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\n\r", {"a", ""}},       // LF then CR: two breaks
      {"a\r\r\nb", {"a", "", "b"}},
      {"a\x0b" "b\x0c" "c", {"a\x0b" "b\x0c" "c"}},  // only LF and CR break a byte string
  };
  for (const auto& c : cases) {
    EXPECT_EQ(nv::lines(c.text), as_views(c.want)) << nv::py_repr(c.text);
    Views seen;
    nv::for_each_line(c.text, [&](std::string_view l) { seen.push_back(l); });
    EXPECT_EQ(seen, as_views(c.want)) << nv::py_repr(c.text);
  }
}

TEST(TextWords, SplitAtRunsOfTheSixWhiteSpaceBytes) {
  struct Case {
    std::string text;
    std::vector<std::string> want;
  } cases[] = {
      {"", {}},
      {" \t\r\n", {}},
      {"  a\tb\x0b c\x0c\r\nd ", {"a", "b", "c", "d"}},
      {"a\xa0" "b \x85" "c\x1c" "d", {"a\xa0" "b", "\x85" "c\x1c" "d"}},  // not white space in bytes
  };
  for (const auto& c : cases) EXPECT_EQ(nv::words(c.text), as_views(c.want)) << nv::py_repr(c.text);

  std::vector<std::string_view> reused{"stale"};
  nv::words_into("x y", reused);
  EXPECT_EQ(reused, (Views{"x", "y"}));
}

TEST(TextSplit, KeepsEmptyFields) {
  struct Case {
    std::string text, sep;
    std::vector<std::string> want;
  } cases[] = {
      {"", ",", {""}},
      {",", ",", {"", ""}},
      {"a,,b", ",", {"a", "", "b"}},
      {"10.1.1", ".", {"10", "1", "1"}},
      {"xGroup 1\nGroupGroup", "Group", {"x", " 1\n", "", ""}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(nv::split(c.text, c.sep), as_views(c.want)) << nv::py_repr(c.text);
}

TEST(TextStrip, RemovesWhiteSpaceAtBothEndsOnly) {
  EXPECT_EQ(nv::strip(" \t\x0b a b \r\n\x0c"), "a b");
  EXPECT_EQ(nv::strip(""), "");
  EXPECT_EQ(nv::strip("   "), "");
  EXPECT_EQ(nv::strip("\xa0x\xa0"), "\xa0x\xa0");
}

TEST(TextParseInt, DecimalAndHexadecimalAsTheInterpreterReadsThem) {
  struct Case {
    std::string text;
    int base;
    long want;
  } cases[] = {
      {"10", 10, 10},         {" -5\n", 10, -5},     {"+7", 10, 7},
      {"007", 10, 7},         {"1f", 16, 31},        {"0x1f", 16, 31},
      {"0X1F", 16, 31},       {"-0x10", 16, -16},    {" 0x0 \r\n", 16, 0},
      {"0b1", 16, 0xb1},      {"9223372036854775807", 10, 9223372036854775807L},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(nv::parse_int(c.text, c.base), c.want) << nv::py_repr(c.text);
    long v = 0;
    EXPECT_TRUE(nv::try_parse_int(c.text, c.base, v));
    EXPECT_EQ(v, c.want);
  }
}

TEST(TextParseInt, RejectsWhatTheInterpreterRejects) {
  struct Case {
    std::string text;
    int base;
  } cases[] = {
      {"", 10},     {"  ", 10},  {"0x", 16},  {"0x10", 10}, {"1f", 10},
      {"1 2", 10},  {"--1", 10}, {"+-1", 10}, {"0x 10", 16}, {"1.0", 10},
      {"x1", 16},   {"1_0", 10},
  };
  for (const auto& c : cases) {
    long v = 0;
    EXPECT_FALSE(nv::try_parse_int(c.text, c.base, v)) << nv::py_repr(c.text);
    nv::Error e = nvtest::error_of([&] { nv::parse_int(c.text, c.base); });
    EXPECT_EQ(e.kind(), ErrorKind::Value);
    EXPECT_EQ(e.message(), "invalid literal for int() with base " + std::to_string(c.base) +
                               ": " + nv::py_repr(c.text));
  }
}

TEST(TextPyRepr, QuotesAndEscapesLikeTheInterpreter) {
  struct Case {
    std::string text, want;
  } cases[] = {
      {"abc", "'abc'"},
      {"", "''"},
      {"it's", "\"it's\""},
      {"a'b\"c", "'a\\'b\"c'"},
      {"\t\n\r\\", "'\\t\\n\\r\\\\'"},
      {std::string("\x01\x7f\xff\0", 4), "'\\x01\\x7f\\xff\\x00'"},
  };
  for (const auto& c : cases) EXPECT_EQ(nv::py_repr(c.text), c.want);
}

TEST(TextDottedQuad, MostSignificantByteFirst) {
  EXPECT_EQ(nv::dotted_quad(0xe0000001u), "224.0.0.1");
  EXPECT_EQ(nv::dotted_quad(0), "0.0.0.0");
  EXPECT_EQ(nv::dotted_quad(0xffffffffu), "255.255.255.255");
}

}  // namespace
