// The interpreter's text rules that every reader leans on.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

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
      // Line breaks at every place in and across eight-byte words.
      {"1234567\n", {"1234567"}},
      {"12345678\n9", {"12345678", "9"}},
      {"123456789\n", {"123456789"}},
      {"123456789012345\n\n1234567890123456\n", {"123456789012345", "", "1234567890123456"}},
      {"\n1234567890123456789", {"", "1234567890123456789"}},
      {"abcdefgh\r\nijklmnopq\rr", {"abcdefgh", "ijklmnopq", "r"}},
      // Bytes a word-wise search could take for LF: LF with its high bit set,
      // bytes next to it, NUL.
      {std::string("\x8a\x0b\x09\x8b\x0a\x00\x8a\x8a\x8a\x8a\x8a\x0a\xff", 13), {"\x8a\x0b\x09\x8b", std::string("\x00\x8a\x8a\x8a\x8a\x8a", 6), "\xff"}},
      {std::string(9, '\x8a'), {std::string(9, '\x8a')}},
      // And in and across sixteen-byte blocks.
      {std::string(31, 'a') + "\n" + std::string(17, '\x8a'), {std::string(31, 'a'), std::string(17, '\x8a')}},
      {std::string(16, '\x0b') + "\n\n" + std::string(15, 'c') + "\n", {std::string(16, '\x0b'), "", std::string(15, 'c')}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(nv::lines(c.text), as_views(c.want)) << nv::py_repr(c.text);
    Views seen;
    nv::for_each_line(c.text, [&](std::string_view l) { seen.push_back(l); });
    EXPECT_EQ(seen, as_views(c.want)) << nv::py_repr(c.text);
  }
}

TEST(TextLines, LineFeedsAreCountedInTextsOfAnyLength) {
  // Long runs of LF fill the per-byte counters of the block-wise count.
  std::string text;
  for (int i = 0; i < 9000; ++i) text += i % 50 == 0 ? "ab\n" : "\n";
  for (size_t len : {size_t{0}, size_t{1}, size_t{15}, size_t{16}, size_t{17}, size_t{4079},
                     size_t{4080}, size_t{4081}, size_t{8200}, text.size()}) {
    const char* p = text.data();
    EXPECT_EQ(nv::count_lf(std::string_view(p, len)), static_cast<size_t>(std::count(p, p + len, '\n')))
        << len;
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

TEST(TextWords, FirstWordsOnlyAndWordZero) {
  struct Case {
    std::string text;
    size_t max_words;
    std::vector<std::string> want;
  } cases[] = {
      {" a b  c ", 0, {}},
      {" a b  c ", 2, {"a", "b"}},
      {" a b  c ", 3, {"a", "b", "c"}},
      {" a b  c ", 9, {"a", "b", "c"}},
      {"\t\n", 2, {}},
  };
  std::vector<std::string_view> w{"stale"};
  for (const auto& c : cases) {
    nv::words_into(c.text, w, c.max_words);
    EXPECT_EQ(w, as_views(c.want)) << nv::py_repr(c.text) << " " << c.max_words;
  }

  struct First {
    std::string text, want;
  } firsts[] = {{"", ""}, {" \t", ""}, {"a", "a"}, {"\x0b pe0(1) up", "pe0(1)"}, {"x\xa0y z", "x\xa0y"}};
  for (const auto& c : firsts) EXPECT_EQ(nv::first_word(c.text), c.want) << nv::py_repr(c.text);
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
      // White space may follow the sign: int('- 5') is -5.
      {"- 5", 10, -5},        {" + 1", 10, 1},       {"-\t5", 16, -5},
      {"+\n7\n", 10, 7},      {"\x0b-\x0c" "3\x0b", 10, -3},
      {"+ 0x10", 16, 16},     {"- 0x1f", 16, -31},
      {"-9223372036854775808", 10, LONG_MIN},
      {"-000000000000000000000000001", 10, -1},   // more digits than a fast read takes
      {"00000000000000000000000000ff", 16, 255},
      {"7fffffffffffffff", 16, 9223372036854775807L},
      // Both sides of the longest word that is read inline.
      {"999999999999999", 10, 999999999999999L},   {"1000000000000000", 10, 1000000000000000L},
      {"fffffffffffffff", 16, 0xfffffffffffffffL}, {"1000000000000000", 16, 0x1000000000000000L},
      {"0xfffffffffffffff", 16, 0xfffffffffffffffL}, {"0x1000000000000000", 16, 0x1000000000000000L},
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
    std::string quoted;  // what the message quotes; the text itself when empty
  } cases[] = {
      {"", 10, ""},     {"  ", 10, "''"},  {"0x", 16, ""},  {"0x10", 10, ""}, {"1f", 10, ""},
      {"1 2", 10, ""},  {"--1", 10, ""},   {"+-1", 10, ""}, {"0x 10", 16, ""}, {"1.0", 10, ""},
      {"x1", 16, ""},   {"1_0", 10, ""},   {"0x-1", 16, ""}, {"0x0x1", 16, ""}, {"0xg", 16, ""},
      // A sign and white space, but no digits after them.
      {"- ", 10, ""},   {"-  ", 16, ""},   {"- -5", 10, ""}, {"-+5", 16, ""}, {"0x -1", 16, ""},
      {" - 0x", 16, "'- 0x'"},             {"+ x", 10, ""},
      // The message quotes from the first non-blank byte, at most 200 bytes,
      // and a text with a NUL byte whole.
      {" x", 10, "'x'"},                   {"\t 0x \n", 16, "'0x \\n'"},
      {"x  ", 10, "'x  '"},                {" " + std::string(250, 'a'), 10, "'" + std::string(200, 'a') + "'"},
      {std::string(" x\0", 3), 10, "' x\\x00'"},
  };
  for (const auto& c : cases) {
    long v = 0;
    EXPECT_FALSE(nv::try_parse_int(c.text, c.base, v)) << nv::py_repr(c.text);
    nv::Error e = nvtest::error_of([&] { nv::parse_int(c.text, c.base); });
    EXPECT_EQ(e.kind(), ErrorKind::Value);
    EXPECT_EQ(e.message(), "invalid literal for int() with base " + std::to_string(c.base) +
                               ": " + (c.quoted.empty() ? nv::py_repr(c.text) : c.quoted))
        << nv::py_repr(c.text);
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

TEST(TextShared, CopiesShareOneTextThatLivesWhileAnyCopyDoes) {
  std::vector<nv::SharedText> held;
  {
    nv::SharedText a(std::string("hw has OIFs not in the kernel"));
    nv::SharedText b = a;
    held.push_back(a);
    held.push_back(std::move(b));
    a = nv::SharedText("other");
    EXPECT_EQ(a, std::string_view("other"));
  }
  // The first text outlived both of its first holders.
  ASSERT_EQ(held.size(), 2u);
  EXPECT_EQ(&held[0].str(), &held[1].str());
  EXPECT_EQ(held[1], std::string_view("hw has OIFs not in the kernel"));
  for (int i = 0; i < 100; ++i) held.push_back(held[i % 2]);  // moved on regrowth
  held[0] = held[0];
  held.erase(held.begin(), held.begin() + 50);
  EXPECT_EQ(held.back().str(), "hw has OIFs not in the kernel");

  // A lasting text is pointed to, never copied or freed.
  static const nv::SharedText::Lasting fixed("kernel IIF does not match hw IIF");
  nv::SharedText c = fixed;
  nv::SharedText d = c;
  d = held.back();
  EXPECT_EQ(c.str(), "kernel IIF does not match hw IIF");
  EXPECT_EQ(&nv::SharedText(fixed).str(), &c.str());
}

}  // namespace
