// Port and VLAN translation: first match in stored order, through indexes
// that must follow every change of the tables.
#include <gtest/gtest.h>

#include <optional>

#include "common/text.h"
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
      {"239.128.0.255", "01:00:5e:00:00:ff"},
      {"239.001.02.3", "01:00:5e:01:02:03"},
      {"239.1.2.1000", "01:00:5e:01:02:3e8"},
      {" 239.1.2.3 ", "01:00:5e:01:02:03"},  // int() takes surrounding blanks
      {"239.+1.2.3", "01:00:5e:01:02:03"},
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

  // Entries replaced through the table.
  rig.asic.portmap->set(1, nv::PortmapEntry("pe8", 2, std::string("swp2")));
  rig.asic.vlan_xlate->set(0, nv::VlanXlate(2, 100, 15));
  EXPECT_EQ(rig.asic.dport2logical_port("pe1"), -1);
  EXPECT_EQ(rig.asic.dport2logical_port("pe8"), 2);
  EXPECT_EQ(rig.asic.ivid2evid("pe8", 100), 15);

  // A table swapped for another.
  rig.asic.portmap.emplace();
  rig.asic.portmap->emplace_back("pe8", 30, std::string("swp30"));
  EXPECT_EQ(rig.asic.dport2logical_port("pe8"), 30);

  // Same table, same size, an entry replaced.
  rig.asic.portmap->set(0, nv::PortmapEntry("pe9", 31, std::string("swp31")));
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
  EXPECT_FALSE(rig.asic.is_port_untagged_for_vid("pe1", 300));
  EXPECT_TRUE(rig.asic.is_port_untagged_for_vid("a-rather-long-port-name-beyond-sso", 300));

  // The host replaces the whole table.
  rig.asic.vlans.emplace();
  rig.asic.vlans->emplace(300, nv::VlanEntry(300, {"pe6"}));
  EXPECT_TRUE(rig.asic.is_port_untagged_for_vid("pe6", 300));
  EXPECT_FALSE(rig.asic.is_port_untagged_for_vid("pe5", 300));
}

TEST(LookupsAgainstScans, TranslationsFirstMatchOverManyEntries) {
  // Logical ports inside and outside the range found by position, VLANs that
  // repeat: every answer is the first entry of a scan in stored order.
  Rig rig;
  rig.bare();
  const long lports[] = {-5, -1, 0, 1, 2, 7, 4095, 4096, 100000};
  auto& x = *rig.asic.vlan_xlate;
  uint64_t r = 12345;
  auto next = [&r](long n) {
    r = r * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<long>((r >> 33) % static_cast<uint64_t>(n));
  };
  for (int i = 0; i < 700; ++i) x.emplace_back(lports[next(9)], next(24) - 1, next(24) - 1);
  auto& pm = *rig.asic.portmap;
  for (long lp : lports) pm.emplace_back("p" + std::to_string(lp), lp, std::nullopt);

  auto scan = [&](long lport, long v, bool by_ivid) -> std::optional<long> {
    for (const auto& e : x)
      if (e.lport == lport && (by_ivid ? e.ivid : e.evid) == v) return by_ivid ? e.evid : e.ivid;
    return std::nullopt;
  };
  for (long lp : {-5L, -1L, 0L, 1L, 2L, 3L, 7L, 4095L, 4096L, 100000L, 99L}) {
    for (long v = -2; v <= 24; ++v) {
      EXPECT_EQ(rig.asic.evid2ivid(lp, v), scan(lp, v, false).value_or(-1)) << lp << " " << v;
      // A port of logical port -1 counts as missing from the port map.
      if (lp == 3 || lp == 99) continue;
      long want = lp == -1 ? v : scan(lp, v, true).value_or(v);
      EXPECT_EQ(rig.asic.ivid2evid("p" + std::to_string(lp), v), want) << lp << " " << v;
    }
  }
}

TEST(LookupsAgainstScans, VlanIdsOfAnyValue) {
  Rig rig;
  rig.bare();
  auto& v = *rig.asic.vlans;
  v.emplace(0, nv::VlanEntry(0, {"pe0"}));
  v.emplace(4095, nv::VlanEntry(4095, {"pe1"}));
  v.emplace(4096, nv::VlanEntry(4096, {"pe2"}));
  v.emplace(-3, nv::VlanEntry(-3, {"pe3", "pe3"}));
  v.emplace(1L << 40, nv::VlanEntry(1L << 40, {}));
  struct Case {
    const char* port;
    long vid;
    bool want;
  } cases[] = {
      {"pe0", 0, true},     {"pe1", 0, false},    {"pe1", 4095, true}, {"pe2", 4096, true},
      {"pe3", -3, true},    {"pe2", -3, false},   {"pe0", 1L << 40, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(rig.asic.is_port_untagged_for_vid(c.port, c.vid), c.want) << c.port << " " << c.vid;
  // All of them are in the table: nothing was asked.
  EXPECT_TRUE(rig.shell->commands.empty());

  // Many untagged ports in one VLAN, read through the shell.
  std::string listing = "h1\nh2\n", list;
  for (int i = 0; i < 100; ++i) {
    listing += "x" + std::to_string(i * 3) + "(" + std::to_string(i) + ") up\n";
    list += (i ? "," : "") + std::string("x") + std::to_string(i * 3);
  }
  rig.shell->answers["vlan show 9"] = "vlan 9 ports all untagged " + list + " (0x1)\n";
  rig.shell->answers["ports " + list] = listing;
  for (int i = 0; i < 300; ++i)
    EXPECT_EQ(rig.asic.is_port_untagged_for_vid("x" + std::to_string(i), 9), i % 3 == 0) << i;
  EXPECT_EQ(rig.shell->commands.size(), 2u);
}

TEST(LookupsAgainstScans, PortNamesOfAnyLength) {
  // Names of up to eight bytes are keyed by their bytes, longer ones by a
  // hash: names that share bytes or differ only in length stay apart.
  const std::string names[] = {"a", "ab", "abc", "abcd", "abcde", "abcdefg", "abcdefgh",
                               "abcdefghi", "abcdefgh1", "bcdefgha", std::string("ab\0", 3),
                               std::string("\0", 1), "xe1", "xe10", "xe100", "xe1000",
                               "a-rather-long-port-name-beyond-sso"};
  Rig rig;
  rig.bare();
  long lport = 1;
  for (const std::string& n : names) rig.asic.portmap->emplace_back(n, lport++, std::nullopt);
  lport = 1;
  for (const std::string& n : names) EXPECT_EQ(rig.asic.dport2logical_port(n), lport++) << nv::py_repr(n);
  for (const char* absent : {"", "abcdefghij", "b", "xe1 ", "xe", "abcdefgi"})
    EXPECT_EQ(rig.asic.dport2logical_port(absent), -1) << absent;
  // Many more names than the table first holds.
  for (int i = 0; i < 3000; ++i) rig.asic.portmap->emplace_back("p" + std::to_string(i), 1000 + i, std::nullopt);
  for (int i = 0; i < 3000; i += 7)
    EXPECT_EQ(rig.asic.dport2logical_port("p" + std::to_string(i)), 1000 + i) << i;
  EXPECT_EQ(rig.asic.dport2logical_port("abcd"), 4);
}

TEST(LookupsMissingTables, RaiseTheHostsAttributeError) {
  Rig rig;
  EXPECT_NV_ERROR(rig.asic.dport2logical_port("pe0"), ErrorKind::Attribute,
                  "Asic instance has no attribute 'portmap'");
  EXPECT_NV_ERROR(rig.asic.evid2ivid(1, 1), ErrorKind::Attribute,
                  "Asic instance has no attribute 'vlan_xlate'");
}

}  // namespace
