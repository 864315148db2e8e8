// The VXLAN checker's text readers: the chip line of "show unit", the
// trunks of "trunk show" and the daemon's bond file.
#include <gtest/gtest.h>

#include "common/errors.h"
#include "common/text.h"
#include "tirrow/text_readers.h"

namespace {

using nv::vxlan::BondLine;
using nv::vxlan::TrunkLine;

TEST(VxlanUnit, ChipIdOnlyFromAUnitLineAtTheStart) {
  struct Case {
    std::string out;
    std::optional<std::string> id;
  } cases[] = {
      {"Unit 0 chip BCM56850_A1 (current)\n", "56850"},
      {"Unit 12 chip BCM56340 (current)", "56340"},
      {"Unit 0 chip BCM5", "5"},
      {"Unit 0 chip BCM56960_B0\nUnit 1 chip BCM56340_A0\n", "56960"},
      {"\nUnit 0 chip BCM56850_A1", std::nullopt},
      {" Unit 0 chip BCM56850", std::nullopt},
      {"Unit 0  chip BCM56850", std::nullopt},
      {"unit 0 chip BCM56850", std::nullopt},
      {"Unit 0 chip BCM_56850", std::nullopt},
      {"Unit x chip BCM56850", std::nullopt},
      {"Unit 0 chip XGS78100_B0 (current)", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(nv::vxlan::unit_chip_id(c.out), c.id) << c.out;
}

TEST(VxlanUnit, FamilyKeyAndMessage) {
  EXPECT_EQ(nv::vxlan::chip_family_key("56850"), "5685X");
  EXPECT_EQ(nv::vxlan::chip_family_key("5"), "X");
  EXPECT_EQ(nv::vxlan::unknown_unit_message("no unit\n"),
            "could not determine the platform\"" + std::string(21, ' ') +
                "\"from unit string:\n\nno unit\n\n");
}

TEST(VxlanTrunks, LinesWithMembersInLineOrder) {
  const std::string out =
      "Device supports 1024 trunk groups:\n"
      "trunk 3: (front panel, 3 ports)=p2,p10,p1 dlf=any mc=any\n"
      "trunk 5: (front panel, 0 ports)\n"
      "trunk 7: (front panel, 1 ports)=xe0 mc=any\n"           // no dlf
      "trunk 8:(front panel, 1 ports)=xe0 dlf=any\n"           // no blank after the colon
      "  HW trunk 12: (x)=p1, p2  dlf=any\r\n"                  // text before, blanks kept
      "trunk 4: (a) (b)=q1 dlf=x)=q2 dlf=y\r"                   // greedy groups
      "trunk 3: (front panel, 1 ports)=xe9 dlf=any";
  std::vector<TrunkLine> got = nv::vxlan::trunk_lines(out);
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0].id, "3");
  EXPECT_EQ(got[0].members, (std::vector<std::string>{"p1", "p10", "p2"}));
  EXPECT_EQ(got[1].id, "12");
  EXPECT_EQ(got[1].members, (std::vector<std::string>{" p2 ", "p1"}));
  EXPECT_EQ(got[2].id, "4");
  EXPECT_EQ(got[2].members, (std::vector<std::string>{"q2"}));
  EXPECT_EQ(got[3].id, "3");
  EXPECT_EQ(got[3].members, (std::vector<std::string>{"xe9"}));
}

TEST(VxlanTrunks, EmptyPiecesStayMembers) {
  std::vector<TrunkLine> got = nv::vxlan::trunk_lines("trunk 1: (x)=a,,b, dlf");
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].members, (std::vector<std::string>{"", "", "a", "b"}));
}

std::vector<std::pair<std::string, std::string>> bonds(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> out;
  nv::vxlan::for_each_bond_line(text, [&](const BondLine& b) { out.emplace_back(b.name, b.id); });
  return out;
}

TEST(VxlanBonds, HeaderSkippedThreeWordsPerLine) {
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(bonds(""), Pairs{});
  EXPECT_EQ(bonds("bond0 12 3"), Pairs{});  // only a header, whatever it holds
  EXPECT_EQ(bonds("name ifindex id\nbond0 12 3\n  bond1\t13  07 \r\n"),
            (Pairs{{"bond0", "3"}, {"bond1", "07"}}));
  // Blank lines are no bonds; CR alone does not end a line of the file.
  EXPECT_EQ(bonds("h\n\n   \nbond0\r12\r3\n\n"), (Pairs{{"bond0", "3"}}));
}

TEST(VxlanBonds, LineOfOtherCountFailsAfterTheLinesBefore) {
  struct Case {
    std::string line, message;
  } cases[] = {
      {"bond0", "need more than 1 value to unpack"},
      {"bond0 12", "need more than 2 values to unpack"},
      {"bond0 12 3 x", "too many values to unpack"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> seen;
    try {
      nv::vxlan::for_each_bond_line("h\nbond9 1 9\n" + c.line + "\nbond8 1 8\n",
                                    [&](const BondLine& b) { seen.push_back(b.name); });
      ADD_FAILURE() << c.line;
    } catch (const nv::Error& e) {
      EXPECT_EQ(e.kind(), nv::ErrorKind::Value);
      EXPECT_EQ(e.message(), c.message);
    }
    EXPECT_EQ(seen, std::vector<std::string>{"bond9"}) << c.line;
  }
}

}  // namespace
