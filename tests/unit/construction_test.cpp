// The whole construction read over a small simulated switch: the order of
// everything asked outside, the tables it leaves and its failures.
#include <gtest/gtest.h>

#include "fakes.h"

namespace {

using nv::ErrorKind;
using nvtest::Rig;
using Strings = std::vector<std::string>;

const char kDebugFile[] = "/norvask/kestrad/debug/mroute/info";

void load_switch(Rig& rig, bool riot, bool debug_file_present = false) {
  auto& a = rig.shell->answers;
  a["show portmap"] =
      "          pipe   logical  physical  speed\n"
      "pe0         0        1        1         1\n"
      "pe1         0        2        5         2\n"
      "pc0         0        3        9         3\n";
  a["pvlan show"] =
      "Port pe0 default VLAN is 1\nPort pe1 default VLAN is 1\nPort pc0 default VLAN is 200\n";
  a["l3 intf show"] =
      "free entries: 8189\n"
      "Unit  Intf  VRF Group VLAN    Mac Address       MTU TTL\n"
      "------------------------------------------------------------------------------\n"
      "0     1     0   0     100    02:00:00:00:00:01  9216 0   0     0     0\n"
      "0     2     0   0     200    02:00:00:00:00:01  9216 0   0     0     0\n";
  a["vlan translate show"] = "modid = 0 port = 2, old_vid=10, new_vid=100, prio=-1\n";
  a["sc L3IngressMode"] = riot ? "0x1\n" : "0x0\n";
  a["listmem VLAN"] = "table VLAN fields:\n  L3_IIF<13:0>\n";
  const char* pe1_id = riot ? "100001" : "1";
  const char* pc0_id = riot ? "100002" : "2";
  a["multicast show"] = std::string("Group 0x2000005 (L3)\n\tport pe1, encap id ") + pe1_id +
                        "\n\tport pc0, encap id " + pc0_id + "\n\tport pe0, encap id -1\n";
  a["vlan show 200"] = "vlan 200\tports pe0,pc0 (0x6), untagged pc0 (0x4) flood\n";
  a["ports pc0"] = "        port  state  speed\n        ----  -----  -----\n       pc0(  3)  up  4\n";
  a["ipmc table show"] =
      "SRC IP ADDRESS  MC IP ADDRESS    VLAN UNIT PORT V PRI AGE GROUP      VRF HIT\n"
      "-------\n"
      "10.1.1.1        239.1.1.1         100   0    0 Y   0  0 5          0   y\n";
  a["dump chg l3_entry_ipv4_multicast"] =
      "L3_ENTRY_IPV4_MULTICAST.t0[9]: <VALID_0=1,VRF_ID=1,SOURCE_IP_ADDR=0xa010101,"
      "L3MC_INDEX=5,GROUP_IP_ADDR=0xef010101,EXPECTED_L3_IIF=0x64,>\n";
  rig.pt->names = {{"pe0", "swp1"}, {"pe1", "swp2"}, {"pc0", "swp3"}};
  if (debug_file_present) rig.sys->programs[std::string("ls ") + kDebugFile] = std::string(kDebugFile) + "\n";
  rig.sys->programs[std::string("cat ") + kDebugFile] =
      "mroute debug\n"
      "l3intf 1 vlan 100 nhi 100001 mac 02:00:00:00:00:01\n"
      "l3intf 2 vlan 200 nhi 100002 mac 02:00:00:00:00:01\n";
}

TEST(Construction, RiotOffReadsTheTablesInOrder) {
  Rig rig;
  load_switch(rig, false);
  rig.construct();
  EXPECT_EQ(*rig.log, (Strings{
                          "make_port_table", "make_vrf_db", "make_shell",
                          std::string("capture ls ") + kDebugFile,
                          "get_linux_ports",
                          "capture /usr/bin/pairxctl -v",
                          "run show portmap", "bcm2linux pe0", "bcm2linux pe1", "bcm2linux pc0",
                          "run pvlan show",
                          "run l3 intf show",
                          "run vlan translate show",
                          "run sc L3IngressMode",
                          "run multicast show", "run vlan show 200", "run ports pc0",
                          "run ipmc table show", "vrf_id2name 0",
                      }));

  nv::Asic& a = rig.asic;
  EXPECT_EQ(a.desc, "asic");
  EXPECT_EQ(a.kestrad_debug_enabled, false);
  EXPECT_EQ(a.nq_mroute_kestrad_debug_enabled, false);
  EXPECT_EQ(a.linux_ports, rig.pt->linux_ports);
  EXPECT_EQ(a.riot_enable, false);
  EXPECT_EQ(a.vlan_riot_memtable, "");
  EXPECT_FALSE(a.l3_intf_nhi);
  EXPECT_FALSE(a.tmp_encaps);
  ASSERT_TRUE(a.kern_dev_cache && a.kern_mdb_cache && a.kern_vlan_cache && a.kern_vlan_dev_cache &&
              a.kern_br_cache && a.vlan_riot);
  EXPECT_TRUE(a.kern_dev_cache->empty() && a.kern_mdb_cache->empty() && a.kern_vlan_cache->empty() &&
              a.kern_vlan_dev_cache->empty() && a.kern_br_cache->empty() && a.vlan_riot->empty());
  EXPECT_EQ(a.flood_mdb_misses, true);
  EXPECT_EQ(a.kern_vlan_cache_created, false);
  EXPECT_EQ(a.kern_vlan_dev_cache_created, false);
  EXPECT_TRUE(rig.sys->shell_lines.empty());

  EXPECT_EQ((*a.portmap)[2].text(), "dport: pc0, lport: 3, linux_port: swp3, port_vid: 200");
  EXPECT_EQ(*a.l3_intfs, (nv::IntMap{{1, 100}, {2, 200}}));
  EXPECT_EQ(a.vlans->at(200).untagged_dports, Strings{"pc0"});
  EXPECT_EQ(a.text(),
            "Asic ip mroutes:\n"
            "default, (10.1.1.1,239.1.1.1), iif: 100\n"
            "  port: swp2, vlan: 10\n  port: swp3\n  L2 replication ports:\n    port: swp1\n");
}

TEST(Construction, RiotOnReadsTheNextHopFileUnderTheDebugSwitch) {
  Rig rig;
  load_switch(rig, true);
  rig.construct();
  Strings want_tail{
      "run sc L3IngressMode",
      "run listmem VLAN",
      "shell echo 1 > /norvask/kestrad/ctrl/debug",
      std::string("capture cat ") + kDebugFile,
      "shell echo 1 > /norvask/kestrad/ctrl/debug",
      "run multicast show", "run vlan show 200", "run ports pc0",
      "run ipmc table show", "vrf_id2name 0",
  };
  Strings tail(rig.log->end() - want_tail.size(), rig.log->end());
  EXPECT_EQ(tail, want_tail);
  EXPECT_EQ(rig.asic.vlan_riot_memtable, "VLAN");
  EXPECT_EQ(*rig.asic.l3_intf_nhi, (nv::IntMap{{100001, 1}, {100002, 2}}));
  EXPECT_EQ(rig.asic.nq_mroute_kestrad_debug_enabled, false);
  // The next-hop indexes were mapped back to the same targets as without RIOT.
  const auto& g = rig.asic.replication_groups->at(0x2000005);
  EXPECT_EQ(g.get_l3_linux_encaps(), (std::set<std::string>{"swp2.10", "swp3"}));
  EXPECT_EQ(g.l3_encaps[0].intf, 1);
}

TEST(Construction, RiotOnWithTheDebugOutputAlreadyThereWritesNothing) {
  Rig rig;
  load_switch(rig, true, true);
  rig.construct();
  EXPECT_EQ(rig.asic.kestrad_debug_enabled, true);
  EXPECT_TRUE(rig.sys->shell_lines.empty());
  EXPECT_EQ(rig.asic.l3_intf_nhi->size(), 2u);
}

TEST(Construction, MemoryTableReaderInsteadOfTheRouteListing) {
  Rig rig;
  load_switch(rig, false);
  rig.construct(true);
  EXPECT_EQ(rig.shell->commands.back(), "dump chg l3_entry_ipv4_multicast");
  for (const auto& c : rig.shell->commands) EXPECT_NE(c, "ipmc table show");
  EXPECT_EQ(rig.asic.get_mroutes(), std::set<std::string>{"red, (10.1.1.1,239.1.1.1)"});
}

TEST(Construction, ShellTimeOutsBecomeTheReadersTexts) {
  struct Case {
    const char* cmd;
    bool riot, mem;
    const char* text;
  } cases[] = {
      {"show portmap", false, false, "show portmap timed out"},
      {"pvlan show", false, false, "pvlan show"},
      {"l3 intf show", false, false, "l3 intf show"},
      {"vlan translate show", false, false, "vlan translate show"},
      {"sc L3IngressMode", false, false, "sc L3IngressMode timed out"},
      {"listmem VLAN", true, false, "listmem VLAN"},
      {"multicast show", false, false, "multicast show"},
      {"vlan show 200", false, false, "vlan show 200"},
      {"ports pc0", false, false, "ports pc0"},
      {"ipmc table show", false, false, "ipmc table show timed out"},
      {"dump chg l3_entry_ipv4_multicast", false, true, "dump chg l3_entry_ipv4_multicast"},
  };
  for (const auto& c : cases) {
    Rig rig;
    load_switch(rig, c.riot);
    rig.shell->timeouts.insert(c.cmd);
    EXPECT_NV_ERROR(rig.construct(c.mem), ErrorKind::Runtime, c.text) << c.cmd;
    EXPECT_EQ(rig.shell->commands.back(), c.cmd);
  }
}

TEST(Construction, PortNamesAreRememberedOnlyWhileReading) {
  Rig rig;
  load_switch(rig, false);
  rig.construct();
  EXPECT_EQ(rig.pt->asked, (Strings{"pe0", "pe1", "pc0"}));
  rig.asic.parse_one_multicast_repln_group(" 9\n\tport pe0, encap id -1\n");
  EXPECT_EQ(rig.pt->asked.back(), "pe0");
  EXPECT_EQ(rig.pt->asked.size(), 4u);

  // Also after a construction that failed.
  Rig failed;
  load_switch(failed, false);
  failed.shell->timeouts.insert("ipmc table show");
  EXPECT_THROW(failed.construct(), nv::Error);
  failed.asic.parse_one_multicast_repln_group(" 9\n\tport pe0, encap id -1\n");
  EXPECT_EQ(failed.pt->asked.size(), 4u);
}

TEST(Construction, PortTheTableRejectsIsAskedAgainAndFailsTheReplicationRead) {
  Rig rig;
  load_switch(rig, false);
  rig.pt->names.erase("pe0");
  EXPECT_THROW(rig.construct(), nv::ForeignError);
  EXPECT_EQ(rig.pt->asked, (Strings{"pe0", "pe1", "pc0", "pe0"}));
  EXPECT_EQ((*rig.asic.portmap)[0].linux_port, std::nullopt);
  EXPECT_FALSE(rig.asic.mroutes);  // the route table is never reached
}

TEST(Construction, OtherFailuresPassThroughUnchanged) {
  {
    Rig rig;
    load_switch(rig, false);
    rig.shell->answers["sc L3IngressMode"] = "invalid\n";
    EXPECT_NV_ERROR(rig.construct(), ErrorKind::Value,
                    "invalid literal for int() with base 16: 'invalid'");
  }
  {
    Rig rig;
    load_switch(rig, false);
    rig.sys->missing.insert(std::string("ls ") + kDebugFile);
    EXPECT_NV_ERROR(rig.construct(), ErrorKind::OS, "No such file or directory");
    EXPECT_TRUE(rig.shell->commands.empty());
  }
}

TEST(Construction, EveryConstructionAppendsThePeerAgain) {
  Rig rig;
  load_switch(rig, false);
  rig.sys->programs["/usr/bin/pairxctl -v"] =
      std::string("The peer is alive\nPeer Interface and IP: peer0.4094 169.254.1.2\n");
  rig.construct();
  nv::XgsAsic second(rig.asic.env());
  second.construct(rig.services, false);
  EXPECT_EQ(rig.orig_dev->names, (Strings{"lo", "peer0.4094", "peer0.4094"}));
}

}  // namespace
