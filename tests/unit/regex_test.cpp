// The regex wrapper must answer as the interpreter's re does on the readers'
// patterns.
#include <gtest/gtest.h>

#include "common/regex.h"

namespace {

TEST(Regex, NamedGroupsOfAnAnchoredMatch) {
  nv::Regex re(R"(Port (?P<port>\S+) default VLAN is (?P<vlan>\d+))");
  auto m = re.match("Port pe0 default VLAN is 100 (untagged)");
  ASSERT_TRUE(m);
  EXPECT_EQ((*m)["port"], "pe0");
  EXPECT_EQ((*m)["vlan"], "100");
  EXPECT_EQ(m->group(0), "Port pe0 default VLAN is 100");
  EXPECT_EQ(m->start(), 0u);
}

TEST(Regex, MatchIsAnchoredAtTheStartOnlySearchFindsTheFirst) {
  nv::Regex re(R"(vlan (?P<vlan>\d+))");
  EXPECT_FALSE(re.match(" vlan 5"));
  auto s = re.search("x vlan 5 vlan 6");
  ASSERT_TRUE(s);
  EXPECT_EQ((*s)["vlan"], "5");
  EXPECT_EQ(s->start(), 2u);
  EXPECT_FALSE(re.search("vlan x"));
}

TEST(Regex, DotStopsAtLineFeedOnly) {
  nv::Regex re(R"(vlan (?P<vlan>\d+).*untagged (?P<ports>\S+))");
  EXPECT_FALSE(re.search("vlan 10 ports pe0\nuntagged pe0"));
  auto m = re.search("vlan 10 ports pe0\nvlan 20 ports pe1 untagged pe1,pc0 (0x3)\n");
  ASSERT_TRUE(m);
  EXPECT_EQ((*m)["vlan"], "20");
  EXPECT_EQ((*m)["ports"], "pe1,pc0");
  // The interpreter's dot takes a carriage return.
  auto cr = re.search("vlan 30\r untagged pe2");
  ASSERT_TRUE(cr);
  EXPECT_EQ((*cr)["vlan"], "30");
}

TEST(Regex, GreedyGroupsAndEscapedPunctuation) {
  nv::Regex re(R"(\[(?P<key>\d+)\]: \<(?P<data>\S+)\>)");
  auto m = re.search("T.t0[12]: <A=1,B=<2>>");
  ASSERT_TRUE(m);
  EXPECT_EQ((*m)["key"], "12");
  EXPECT_EQ((*m)["data"], "A=1,B=<2>");  // runs to the last ">" of the word
  EXPECT_FALSE(re.search("[12]: <A=1, B=2>"));
}

TEST(Regex, WhiteSpaceClassIncludesVerticalTab) {
  nv::Regex re(R"(\s+port (?P<port>\S+), encap id (?P<intf>[+-]?\d+))");
  for (const char* line : {"\tport pe0, encap id 1", "\x0bport pe0, encap id +1", " port pe0, encap id -1 x"})
    EXPECT_TRUE(re.match(line)) << line;
  EXPECT_FALSE(re.match("port pe0, encap id 1"));
}

TEST(Regex, ManyGroups) {
  // More groups than a match keeps inline.
  nv::Regex re(R"((?P<a>a)(?P<b>b)(?P<c>c)(?P<d>d)(?P<e>e)(?P<f>f)(?P<g>g)(?P<h>h)(?P<i>i)?(?P<j>j))");
  auto m = re.match("abcdefghijk");
  ASSERT_TRUE(m);
  EXPECT_EQ((*m)["a"], "a");
  EXPECT_EQ((*m)["h"], "h");
  EXPECT_EQ((*m)["i"], "i");
  EXPECT_EQ((*m)["j"], "j");
  EXPECT_EQ(m->group(0), "abcdefghij");
  EXPECT_EQ(m->group(11), "");
  auto n = re.match("abcdefghj");
  ASSERT_TRUE(n);
  EXPECT_EQ((*n)["i"], "");
  EXPECT_EQ((*n)["j"], "j");
  auto copy = *n;  // a copy reads its own offsets
  EXPECT_EQ(copy["j"], "j");
  EXPECT_EQ(copy.end(), 9u);
}

TEST(Regex, GroupThatTookNoPartIsEmpty) {
  nv::Regex re(R"((?P<a>x)?(?P<b>y))");
  auto m = re.match("y");
  ASSERT_TRUE(m);
  EXPECT_EQ((*m)["a"], "");
  EXPECT_EQ((*m)["b"], "y");
  // Groups left over from an earlier match do not leak into a later one.
  ASSERT_TRUE(re.match("xy"));
  auto again = re.match("y");
  ASSERT_TRUE(again);
  EXPECT_EQ((*again)["a"], "");
}

}  // namespace
