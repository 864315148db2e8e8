// Port and VLAN translation: first match in stored order, through indexes
// that must follow every change of the tables.
#include <gtest/gtest.h>

#include "fakes.h"

namespace {

using nv::ErrorKind;
using nvtest::Rig;

TEST(GroupMac, LowTwentyThreeBitsOfTheGroup) {
  struct Case {
    const char *grp, *mac;
  } cases[] = {
      {"239.1.2.3", "01:00:5e:01:02:03"},
      {"224.129.255.10", "01:00:5e:01:ff:0a"},
      {"224.0.0.1", "01:00:5e:00:00:01"},
      {"1.2.3.4.5", "01:00:5e:02:03:04"},  // pieces after the fourth are parsed, not used
      {"0.-1.300.-5", "01:00:5e:7f:12c:-5"},  // the host's %02x on odd values
  };
  for (const auto& c : cases) EXPECT_EQ(nv::Asic::grp_ip2mac(c.grp), c.mac) << c.grp;

  EXPECT_NV_ERROR(nv::Asic::grp_ip2mac("239.1.2"), ErrorKind::Index, "list index out of range");
  EXPECT_NV_ERROR(nv::Asic::grp_ip2mac(""), ErrorKind::Value,
                  "invalid literal for int() with base 10: ''");
  EXPECT_NV_ERROR(nv::Asic::grp_ip2mac("x.1.2.3"), ErrorKind::Value,
                  "invalid literal for int() with base 10: 'x'");
  EXPECT_NV_ERROR(nv::Asic::grp_ip2mac("1.2.3.4.y"), ErrorKind::Value,
                  "invalid literal for int() with base 10: 'y'");
  EXPECT_NV_ERROR(nv::Asic::grp_ip2mac("1.2"), ErrorKind::Index, "list index out of range");
}

struct Lookups : ::testing::Test {
  void SetUp() override {
    rig.bare();
    auto& pm = *rig.asic.portmap;
    pm.emplace_back("pe0", 1, std::string("swp1"));
    pm.emplace_back("pe1", 2, std::string("swp2"));
    pm.emplace_back("pe0", 9, std::string("swp9"));   // same ASIC port again
    pm.emplace_back("pe3", 4, std::nullopt);
    pm.emplace_back("pe4", 5, std::nullopt);
    pm.emplace_back("pe5", 6, std::string("swp2"));   // same Linux port again
    pm[0].port_vid = 100;
    pm[1].port_vid = 200;
    auto& x = *rig.asic.vlan_xlate;
    x.emplace_back(2, 100, 10);
    x.emplace_back(2, 100, 11);  // shadowed for ivid 100
    x.emplace_back(2, 101, 10);  // shadowed for evid 10
    x.emplace_back(-1, 7, 70);
  }
  Rig rig;
};

TEST_F(Lookups, PortsFirstMatchWins) {
  EXPECT_EQ(rig.asic.dport2logical_port("pe0"), 1);
  EXPECT_EQ(rig.asic.dport2logical_port("pe4"), 5);
  EXPECT_EQ(rig.asic.dport2logical_port("PE0"), -1);
  EXPECT_EQ(rig.asic.dport2logical_port("pe0 "), -1);

  EXPECT_EQ(rig.asic.get_logical_port_and_pvid(std::string("swp1")), std::make_pair(1L, 100L));
  EXPECT_EQ(rig.asic.get_logical_port_and_pvid(std::string("swp2")), std::make_pair(2L, 200L));
  EXPECT_EQ(rig.asic.get_logical_port_and_pvid(std::string("swp9")), std::make_pair(9L, -1L));
  EXPECT_EQ(rig.asic.get_logical_port_and_pvid(std::string("swp7")), std::make_pair(-1L, -1L));
  EXPECT_EQ(rig.asic.get_logical_port_and_pvid(std::nullopt), std::make_pair(4L, -1L));
}

TEST_F(Lookups, VlanTranslationBothWays) {
  EXPECT_EQ(rig.asic.ivid2evid("pe1", 100), 10);
  EXPECT_EQ(rig.asic.evid2ivid(2, 10), 100);
  EXPECT_EQ(rig.asic.evid2ivid(2, 11), 100);
  EXPECT_EQ(rig.asic.evid2ivid(2, 12), -1);
  EXPECT_EQ(rig.asic.evid2ivid(-1, 70), 7);  // -1 is compared like any port
  EXPECT_TRUE(rig.shell->commands.empty());  // a translation needs no VLAN query

  // A port missing from the port map keeps its VLAN, even against an entry
  // for logical port -1, and nothing is asked.
  EXPECT_EQ(rig.asic.ivid2evid("pc9", 7), 7);
  EXPECT_TRUE(rig.shell->commands.empty());
}

TEST_F(Lookups, UntaggedTestWhenNothingTranslates) {
  rig.shell->answers["vlan show 300"] = "vlan 300 ports pe0,pe1 untagged pe1 (0x2)\n";
  rig.shell->answers["ports pe1"] = "h1\nh2\n   pe1( 2) up\n";
  EXPECT_EQ(rig.asic.ivid2evid("pe1", 300), -1);
  EXPECT_EQ(rig.asic.ivid2evid("pe0", 300), 300);
  EXPECT_EQ(rig.shell->commands, (std::vector<std::string>{"vlan show 300", "ports pe1"}));

  EXPECT_FALSE(rig.asic.is_port_untagged_for_vid("pe1", -1));
  EXPECT_EQ(rig.asic.ivid2evid("pe1", -1), -1);
  EXPECT_EQ(rig.shell->commands.size(), 2u);
}

TEST_F(Lookups, VlanTheShellDoesNotReportIsAskedAgain) {
  EXPECT_FALSE(rig.asic.is_port_untagged_for_vid("pe1", 400));
  EXPECT_FALSE(rig.asic.is_port_untagged_for_vid("pe1", 400));
  EXPECT_EQ(rig.shell->commands, (std::vector<std::string>{"vlan show 400", "vlan show 400"}));

  rig.shell->answers["vlan show 400"] = "vlan 400 ports pe1 untagged pe1 (0x2)\n";
  rig.shell->answers["ports pe1"] = "h1\nh2\npe1(2)\n";
  EXPECT_TRUE(rig.asic.is_port_untagged_for_vid("pe1", 400));
  EXPECT_TRUE(rig.asic.is_port_untagged_for_vid("pe1", 400));
  EXPECT_EQ(rig.shell->commands.size(), 4u);
}

TEST_F(Lookups, IndexesFollowChangedTables) {
  EXPECT_EQ(rig.asic.dport2logical_port("pe1"), 2);
  EXPECT_EQ(rig.asic.ivid2evid("pe1", 100), 10);

  // Appended entries are seen without notice.
  rig.asic.portmap->emplace_back("pc0", 12, std::string("swp12"));
  rig.asic.vlan_xlate->emplace_back(12, 5, 50);
  EXPECT_EQ(rig.asic.dport2logical_port("pc0"), 12);
  EXPECT_EQ(rig.asic.evid2ivid(12, 50), 5);

  // A record changed in place, once the change is noted.
  (*rig.asic.portmap)[1].dport = "pe8";
  (*rig.asic.vlan_xlate)[0].evid = 15;
  nv::note_record_edit();
  EXPECT_EQ(rig.asic.dport2logical_port("pe1"), -1);
  EXPECT_EQ(rig.asic.dport2logical_port("pe8"), 2);
  EXPECT_EQ(rig.asic.ivid2evid("pe8", 100), 15);

  // A table swapped for another.
  rig.asic.portmap = std::make_shared<nv::Portmap>();
  rig.asic.portmap->emplace_back("pe8", 30, std::string("swp30"));
  EXPECT_EQ(rig.asic.dport2logical_port("pe8"), 30);

  // Same table, same size, changed by the host and reported as a table change.
  (*rig.asic.portmap)[0] = nv::PortmapEntry("pe9", 31, std::string("swp31"));
  rig.asic.tables_changed();
  EXPECT_EQ(rig.asic.dport2logical_port("pe9"), 31);
  EXPECT_EQ(rig.asic.get_logical_port_and_pvid(std::string("swp31")), std::make_pair(31L, -1L));

  // Default VLANs are read live, not from the index.
  (*rig.asic.portmap)[0].port_vid = 77;
  EXPECT_EQ(rig.asic.get_logical_port_and_pvid(std::string("swp31")), std::make_pair(31L, 77L));
}

TEST_F(Lookups, VlanIndexFollowsReplacedAndEditedEntries) {
  rig.asic.vlans->emplace(300, nv::VlanEntry(300, {"pe0"}));
  EXPECT_TRUE(rig.asic.is_port_untagged_for_vid("pe0", 300));

  // The reader replaces an entry it already holds.
  rig.shell->answers["vlan show 300"] = "vlan 300 ports pe1 untagged pe1 (0x2)\n";
  rig.shell->answers["ports pe1"] = "h1\nh2\n" + std::string(40, ' ') + "pe1(2)\n";
  rig.asic.parse_vlan(300);
  EXPECT_FALSE(rig.asic.is_port_untagged_for_vid("pe0", 300));
  EXPECT_TRUE(rig.asic.is_port_untagged_for_vid("pe1", 300));

  // The host edits an entry's list.
  rig.asic.vlans->at(300).untagged_dports = {"a-rather-long-port-name-beyond-sso", "pe5"};
  nv::note_record_edit();
  EXPECT_FALSE(rig.asic.is_port_untagged_for_vid("pe1", 300));
  EXPECT_TRUE(rig.asic.is_port_untagged_for_vid("a-rather-long-port-name-beyond-sso", 300));

  // The host replaces the whole table.
  rig.asic.vlans = std::make_shared<nv::VlanMap>();
  rig.asic.vlans->emplace(300, nv::VlanEntry(300, {"pe6"}));
  EXPECT_TRUE(rig.asic.is_port_untagged_for_vid("pe6", 300));
  EXPECT_FALSE(rig.asic.is_port_untagged_for_vid("pe5", 300));
}

TEST(LookupsMissingTables, RaiseTheHostsAttributeError) {
  Rig rig;
  EXPECT_NV_ERROR(rig.asic.dport2logical_port("pe0"), ErrorKind::Attribute,
                  "Asic instance has no attribute 'portmap'");
  EXPECT_NV_ERROR(rig.asic.evid2ivid(1, 1), ErrorKind::Attribute,
                  "Asic instance has no attribute 'vlan_xlate'");
}

}  // namespace
