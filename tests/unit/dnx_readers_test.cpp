// The DNX checker's readers, each driven alone over a small shell fixture,
// and its construction over a small simulated switch.
#include <gtest/gtest.h>

#include "fakes.h"

namespace {

using nv::ErrorKind;
using nvtest::DnxRig;
using Strings = std::vector<std::string>;

Strings texts(const nv::Portmap& table) {
  Strings out;
  for (const auto& e : table) out.push_back(e.text());
  return out;
}

// --- port map

TEST(DnxPortmap, ReadsEveryRowAfterTheHeadings) {
  DnxRig rig;
  rig.bare();
  rig.pt->names = {{"xe0", "swp1"}, {"xe1", "swp2"}};
  rig.shell->answers["ps"] =
      "port(lp) link speed error-free\n"  // "error" in other letters is no error
      "-------- ---- -----\n"
      "xe0(  1)  up  25G\n"
      "  xe1(2)(7) up 25G\n"  // blanks stay in the name; the first group counts
      "xe9( -3 ) down\n";     // unknown to the port table
  rig.asic.parse_portmap();
  EXPECT_EQ(texts(*rig.asic.portmap),
            (Strings{"dport: xe0, lport: 1, linux_port: swp1, port_vid: -1",
                     "dport:   xe1, lport: 2, linux_port: None, port_vid: -1",
                     "dport: xe9, lport: -3, linux_port: None, port_vid: -1"}));
  EXPECT_EQ(rig.pt->asked, (Strings{"xe0", "  xe1", "xe9"}));
  EXPECT_EQ(rig.shell->commands, Strings{"ps"});

  DnxRig two;
  two.bare();
  two.shell->answers["ps"] = "port link\n---- ----\n";
  two.asic.parse_portmap();
  EXPECT_TRUE(two.asic.portmap->empty());
}

TEST(DnxPortmap, Failures) {
  struct Case {
    const char* output;
    ErrorKind kind;
    const char* text;
  } cases[] = {
      {"", ErrorKind::Runtime, "ps command is not supported on this chip"},
      {"port(lp) link speed\n", ErrorKind::Runtime, "ps command is not supported on this chip"},
      {"Error: no such command\n---\nxe0(1) up\n", ErrorKind::Runtime,
       "ps command is not supported on this chip"},
      {"port\n----\nxe0 up\n", ErrorKind::Index, "list index out of range"},
      {"port\n----\n\n", ErrorKind::Index, "list index out of range"},
      {"port\n----\nxe0() up\n", ErrorKind::Value, "invalid literal for int() with base 10: ''"},
      {"port\n----\nxe0(1a) up\n", ErrorKind::Value, "invalid literal for int() with base 10: '1a'"},
  };
  for (const auto& c : cases) {
    DnxRig rig;
    rig.bare();
    rig.shell->answers["ps"] = c.output;
    EXPECT_NV_ERROR(rig.asic.parse_portmap(), c.kind, c.text) << c.output;
  }
  // Rows before a bad one stay.
  DnxRig rig;
  rig.bare();
  rig.shell->answers["ps"] = "port\n----\nxe0(1) up\nxe1 up\n";
  EXPECT_THROW(rig.asic.parse_portmap(), nv::Error);
  EXPECT_EQ(rig.asic.portmap->size(), 1u);

  rig.shell->timeouts.insert("ps");
  EXPECT_NV_ERROR(rig.asic.parse_portmap(), ErrorKind::Runtime, "ps command timed out");
}

// --- the VLAN reader on this chip

TEST(DnxVlan, AsksForTheNoVlanValueToo) {
  DnxRig rig;
  rig.bare();
  rig.shell->answers["vlan show -1"] = "vlan -1 untagged xe0\n";  // no digits after "vlan "
  EXPECT_FALSE(rig.asic.is_port_untagged_for_vid(nv::Value("xe0"), nv::Value(-1L)));
  EXPECT_EQ(rig.shell->commands, Strings{"vlan show -1"});

  rig.shell->answers["vlan show 5"] = "vlan 7 members xe0-xe2 untagged xe0,xe2\n";
  rig.shell->answers["ports xe0,xe2"] = "port\n----\nxe0(  1) up\n   xe2(3) up\n";
  rig.asic.parse_vlan(nv::Value(5L));
  EXPECT_EQ(rig.asic.vlans->at(7).text(), "vid: 7, untagged_ports: xe0,xe2");
  EXPECT_TRUE(rig.asic.is_port_untagged_for_vid(nv::Value("xe2"), nv::Value(7L)));
}

// --- route tables

TEST(DnxIpv4McTable, ReadsTheCommittedRows) {
  DnxRig rig;
  rig.bare();
  rig.shell->answers["diag pp ipv4_mc"] =
      "| 239.0.0.1 | 1 | 1.1.1.1 | 1 | commited |\n"  // headings are not read
      "| Group | In-RIF | Source | FEC | State |\n"
      "| 239.1.1.1 | 100 | 10.0.0.1/32 | 4097 | commited |\n"
      "| 239.1.1.9 | 100 | 10.0.0.9/32 | 4098 | pending |\n"
      "| 239.1.1.2/32 |   | 0x64 |0.0.0.0/0|  -7 | commited\n"
      "| 239.1.1.3 | vl3 | 10.0.0.3 | 5 | commited |\n"
      "| 239.1.1.1 | 101 | 10.0.0.1/32 | 4099 | commited |\n";
  rig.asic.parse_diag_ipv4_mc_table();
  Strings got;
  for (const auto& [key, r] : *rig.asic.mroutes)
    got.push_back(key + " = " + r.sip + " " + r.dip + " " + r.iif_text + " " +
                  std::to_string(r.grp) + " " + r.vrf);
  // A later row with the key replaces the route in its place.
  EXPECT_EQ(got, (Strings{
                     "default, (10.0.0.1,239.1.1.1) = 10.0.0.1 239.1.1.1 101 4099 default",
                     "default, (0.0.0.0,239.1.1.2/32) = 0.0.0.0 239.1.1.2/32 0x64 -7 default",
                     "default, (10.0.0.3,239.1.1.3) = 10.0.0.3 239.1.1.3 vl3 5 default",
                 }));
  // Every route is filed under VRF 0's name, asked per row.
  EXPECT_EQ(rig.logged("vrf_id2name "), (Strings{"0", "0", "0", "0"}));

  DnxRig two;
  two.bare();
  two.shell->answers["diag pp ipv4_mc"] = "a commited\nb commited\n";
  two.asic.parse_diag_ipv4_mc_table();
  EXPECT_TRUE(two.asic.mroutes->empty());
}

TEST(DnxIpv4McTable, Failures) {
  const std::string head = "routes\n======\n";
  struct Case {
    std::string row;
    ErrorKind kind;
    const char* text;
  } cases[] = {
      {"| 239.1.1.1 | 100 | commited |", ErrorKind::Index, "list index out of range"},
      {"| 239.1.1.1 | 100 | 10.0.0.1 | 0x10 | commited |", ErrorKind::Value,
       "invalid literal for int() with base 10: '0x10'"},
  };
  for (const auto& c : cases) {
    DnxRig rig;
    rig.bare();
    rig.shell->answers["diag pp ipv4_mc"] = head + c.row + "\n";
    EXPECT_NV_ERROR(rig.asic.parse_diag_ipv4_mc_table(), c.kind, c.text) << c.row;
  }
  DnxRig rig;
  rig.bare();
  rig.vrf->names.clear();
  rig.shell->answers["diag pp ipv4_mc"] = head + "|239.1.1.1|1|10.0.0.1|5|commited|\n";
  EXPECT_THROW(rig.asic.parse_diag_ipv4_mc_table(), nv::ForeignError);
  rig.shell->timeouts.insert("diag pp ipv4_mc");
  EXPECT_NV_ERROR(rig.asic.parse_diag_ipv4_mc_table(), ErrorKind::Runtime,
                  "diag pp ipv4_mc timed out");
}

std::string dbal_row(const std::string& sip, const std::string& dip, const std::string& result,
                     const std::string& vrf = "0/fff/12", const std::string& more = "") {
  return "|Raw:00ff|VRF:" + vrf + "|SIPv4:" + sip + "|DIPv4:" + dip +
         "|INRIF:100/fff/12|Result:" + result + "|" + more + "\n";
}

TEST(DnxDbalTable, ReadsTheRawRows) {
  DnxRig rig;
  rig.bare();
  rig.vrf->names[2] = "green";
  rig.shell->answers["diag dbal te 10"] =
      "|Raw:1|VRF:0/0/0|SIPv4:1/0/0|DIPv4:1/0/0|INRIF:1/0/0|Result:40001/0|\n"  // heading
      "---\n" +
      dbal_row("0a000001/ffffffff/32", "f010101/fffffff/28", "41001/0", "2/fff/12") +
      "|VRF:0/fff/12|SIPv4:1/0/0|not a route row\n" +
      dbal_row("0x0a000002/0/0", "0/0/0", "0x40000/0") +
      dbal_row("0a000003/0/0", "ef010103/0/0", "3ffff/x") +
      // The last piece of a name wins.
      dbal_row("1/0/0", "1/0/0", "40005/0", "0/fff/12", "SIPv4:0a000004/0/0|Result:40006/0|");
  rig.asic.parse_diag_dbal_mc_table();
  Strings got;
  for (const auto& [key, r] : *rig.asic.mroutes)
    got.push_back(key + " = " + r.iif_text + " " + std::to_string(r.grp));
  EXPECT_EQ(got, (Strings{
                     "green, (10.0.0.1,239.1.1.1) = 100 4097",
                     "default, (10.0.0.2,224.0.0.0) = 100 0",
                     "default, (10.0.0.3,239.1.1.3) = 100 -1",
                     "default, (10.0.0.4,224.0.0.1) = 100 6",
                 }));
  EXPECT_EQ(rig.logged("vrf_id2name "), (Strings{"2", "0", "0", "0"}));
}

TEST(DnxDbalTable, Failures) {
  const std::string head = "table\n-----\n";
  const std::string ok_sip = "0a000001/0/0", ok_dip = "1/0/0", ok_result = "41001/0";
  struct Case {
    std::string row;
    ErrorKind kind;
    const char* text;
  } cases[] = {
      {"|Raw:1|VRF|\n", ErrorKind::Value, "need more than 1 value to unpack"},
      {"|Raw:1| |\n", ErrorKind::Value, "need more than 1 value to unpack"},
      {"|Raw:1|a:b:c|\n", ErrorKind::Value, "too many values to unpack"},
      {"|Raw:1|SIPv4:1/0/0|\n", ErrorKind::Key, "DIPv4"},
      {"|Raw:1|VRF:0/0/0|SIPv4:1/0/0|DIPv4:1/0/0|INRIF:1/0/0| Result:40001/0|\n", ErrorKind::Key,
       "Result"},
      {dbal_row("1/0", ok_dip, ok_result), ErrorKind::Value, "need more than 2 values to unpack"},
      {dbal_row(ok_sip, ok_dip, "40001"), ErrorKind::Value, "need more than 1 value to unpack"},
      {dbal_row(ok_sip, ok_dip, "40001/0/0"), ErrorKind::Value, "too many values to unpack"},
      {dbal_row(ok_sip, ok_dip, ok_result, "g/0/0"), ErrorKind::Value,
       "invalid literal for int() with base 16: 'g'"},
      {dbal_row("100000000/0/0", ok_dip, ok_result), ErrorKind::Struct,
       "'L' format requires 0 <= number <= 4294967295"},
      {dbal_row(ok_sip, "-1/0/0", ok_result), ErrorKind::Struct,
       "integer out of range for 'L' format code"},
  };
  for (const auto& c : cases) {
    DnxRig rig;
    rig.bare();
    rig.shell->answers["diag dbal te 10"] = head + c.row;
    EXPECT_NV_ERROR(rig.asic.parse_diag_dbal_mc_table(), c.kind, c.text) << c.row;
  }
  DnxRig rig;
  rig.bare();
  rig.shell->timeouts.insert("diag dbal te 10");
  EXPECT_NV_ERROR(rig.asic.parse_diag_dbal_mc_table(), ErrorKind::Runtime,
                  "diag dbal te 10 timed out");
}

// --- replication groups

const char kMemberHead[] = "+---+\n| port | core | cud-1 | cud-2 |\n+---+\n";

std::string group_output(long id, long count, const std::string& rows) {
  return "Egress group: " + std::to_string(id) + "\nType: egress\nMembers : " +
         std::to_string(count) + " \n" + kMemberHead + rows;
}

struct DnxReplication : ::testing::Test {
  void SetUp() override {
    rig.bare();
    rig.pt->dports = {{1, "xe0"}, {7, "xe6"}, {13, "xe12"}, {4095, "xe99"}};
    rig.pt->names = {{"xe0", "swp1"}, {"xe6", "swp7"}, {"xe12", "swp13"}, {"xe99", "swp99"}};
  }
  void route(const std::string& sip, long grp) {
    rig.asic.mroutes->insert_or_assign(
        "default, (" + sip + ",239.1.1.1)",
        nv::Hmroute(sip, "239.1.1.1", std::string("100"), grp, "default", 0));
  }
  std::string group_text(long id) {
    auto g = rig.asic.replication_groups->lookup(id);
    return g.empty() ? "none" : g.get().text();
  }
  DnxRig rig;
};

TEST_F(DnxReplication, OneCommandPerRouteInKeyOrder) {
  route("10.0.0.9", 4100);
  route("10.0.0.1", 4100);
  route("10.0.0.5", -3);
  route("10.0.0.10", 0);
  auto& a = rig.shell->answers;
  a["diag multicast egress 4100 members"] = group_output(4100, 1, "|0x1|0|0x0|0x0|\n");
  a["diag multicast egress -3 members"] = group_output(9, 1, "|0x7|0|0x0|0x0|\n");
  a["diag multicast egress 0 members"] = group_output(0, 0, "|0x7|0|0x0|0x0|\n");
  rig.asic.parse_multicast_repln_groups();
  EXPECT_EQ(rig.shell->commands, (Strings{"diag multicast egress 4100 members",
                                          "diag multicast egress 0 members",
                                          "diag multicast egress -3 members",
                                          "diag multicast egress 4100 members"}));
  // Stored under the id the output prints; a count of 0 stores nothing.
  EXPECT_EQ(rig.asic.replication_groups->size(), 2u);
  EXPECT_EQ(group_text(4100), "  L2 replication ports:\n    port: swp1\n");
  EXPECT_EQ(group_text(9), "  L2 replication ports:\n    port: swp7\n");
  EXPECT_EQ(group_text(0), "none");
  EXPECT_EQ(group_text(-3), "none");

  DnxRig empty;
  empty.bare();
  empty.asic.parse_multicast_repln_groups();
  EXPECT_TRUE(empty.shell->commands.empty());
}

TEST_F(DnxReplication, MembersByTheirRows) {
  rig.asic.parse_one_multicast_repln_group(group_output(
      4100, 9,
      "| 0x100d | 0 | 0x1001 | 0x5 |\n"
      "|0x1007|0|0x0|0x44|\n"      // no encap id: L2, whatever the second holds
      "|0x2000| x | y\n"           // logical port 0: skipped, nothing else read
      "|0X1000|\n"                 // the same
      "| 0x1fff | 0 | -0x2 | 0 |\n"  // 4095; a second encap id of 0 is VLAN 0
      "|1|0|10|10|\n"));
  const auto& g = rig.asic.replication_groups->at(4100);
  EXPECT_EQ(g.mcast_grp, 4100);
  Strings l3, l2;
  for (const auto& e : g.l3_encaps)
    l3.push_back(e.linux_port + " " + e.bcm_dport + " " + std::to_string(e.intf) + " " +
                 std::to_string(e.vlan) + " " + std::to_string(e.evid));
  for (const auto& e : g.l2_encaps)
    l2.push_back(e.linux_port + " " + e.bcm_dport + " " + std::to_string(e.intf) + " " +
                 std::to_string(e.vlan) + " " + std::to_string(e.evid));
  EXPECT_EQ(l3, (Strings{"swp13 xe12 4097 5 -1", "swp99 xe99 -2 0 -1", "swp1 xe0 16 16 -1"}));
  EXPECT_EQ(l2, (Strings{"swp7 xe6 -1 -1 -1"}));
  EXPECT_EQ(g.get_l3_linux_encaps(), (std::set<std::string>{"swp1", "swp13", "swp99"}));
  // The ASIC port first, then its Linux name.
  Strings asked = rig.logged("logical2dport ");
  EXPECT_EQ(asked, (Strings{"13", "7", "4095", "1"}));
  EXPECT_EQ(rig.logged("bcm2linux "), (Strings{"xe12", "xe6", "xe99", "xe0"}));

  // A non-zero count without rows is a group without members.
  rig.asic.parse_one_multicast_repln_group("g: 5\n\nn: 2\n");
  EXPECT_EQ(group_text(5), "");
}

TEST_F(DnxReplication, Failures) {
  struct Case {
    std::string output;
    ErrorKind kind;
    const char* text;
  } cases[] = {
      {"", ErrorKind::Index, "list index out of range"},
      {"group 5\n\ncount: 1\n", ErrorKind::Index, "list index out of range"},
      {"group: 5\n", ErrorKind::Index, "list index out of range"},
      {"group: 5\n\ncount 1\n", ErrorKind::Index, "list index out of range"},
      {"group: 0x5\n\ncount: 1\n", ErrorKind::Value,
       "invalid literal for int() with base 10: '0x5'"},
      {"group: 5:6\n\ncount: x\n", ErrorKind::Value, "invalid literal for int() with base 10: 'x'"},
      {group_output(5, 1, "0x1 0 0x1 0x0\n"), ErrorKind::Index, "list index out of range"},
      {group_output(5, 1, "|0x1|0|0x1\n"), ErrorKind::Index, "list index out of range"},
      {group_output(5, 1, "|0x1|0|zz|0|\n"), ErrorKind::Value,
       "invalid literal for int() with base 16: 'zz'"},
      {group_output(5, 1, "| port |\n"), ErrorKind::Value,
       "invalid literal for int() with base 16: 'port '"},
  };
  for (const auto& c : cases) {
    DnxRig r;
    r.bare();
    EXPECT_NV_ERROR(r.asic.parse_one_multicast_repln_group(c.output), c.kind, c.text) << c.output;
    EXPECT_TRUE(r.asic.replication_groups->empty());
  }
  // A port the port table cannot map fails the read; earlier groups stay.
  route("10.0.0.1", 1);
  route("10.0.0.2", 2);
  rig.shell->answers["diag multicast egress 1 members"] = group_output(1, 1, "|0x1|0|0|0|\n");
  rig.shell->answers["diag multicast egress 2 members"] = group_output(2, 1, "|0x2|0|0|0|\n");
  EXPECT_THROW(rig.asic.parse_multicast_repln_groups(), nv::ForeignError);
  EXPECT_EQ(rig.asic.replication_groups->size(), 1u);

  rig.shell->timeouts.insert("diag multicast egress 1 members");
  EXPECT_NV_ERROR(rig.asic.parse_multicast_repln_groups(), ErrorKind::Runtime,
                  "diag multicast members");
}

// --- construction

void load_switch(DnxRig& rig) {
  auto& a = rig.shell->answers;
  a["ps"] = "port(lp) link\n-------- ----\nxe0(  1) up\nxe6(  7) up\n";
  a["diag pp ipv4_mc"] =
      "routes\n======\n"
      "| 239.1.1.2 | 200 | 10.0.0.2/32 | 4101 | commited |\n"
      "| 239.1.1.1 | 100 | 10.0.0.1/32 | 4100 | commited |\n";
  a["diag multicast egress 4100 members"] = group_output(4100, 2, "|0x1001|0|0x1001|0x64|\n|0x7|0|0|0|\n");
  a["diag multicast egress 4101 members"] = group_output(4101, 0, "");
  rig.pt->dports = {{1, "xe0"}, {7, "xe6"}};
  rig.pt->names = {{"xe0", "swp1"}, {"xe6", "swp7"}};
  rig.pt->linux_ports->names = {"swp1", "swp7"};
}

TEST(DnxConstruction, ReadsThePortsRoutesAndGroupsInOrder) {
  DnxRig rig;
  load_switch(rig);
  rig.construct();
  EXPECT_EQ(*rig.log, (Strings{
                          "make_port_table", "make_vrf_db", "make_shell", "get_linux_ports",
                          "run ps", "bcm2linux xe0", "bcm2linux xe6",
                          "run diag pp ipv4_mc", "vrf_id2name 0", "vrf_id2name 0",
                          "run diag multicast egress 4100 members",
                          "logical2dport 1", "logical2dport 7",
                          "run diag multicast egress 4101 members",
                      }));
  const nv::DnxAsic& a = rig.asic;
  EXPECT_EQ(a.desc, "asic");
  EXPECT_TRUE(a.kern_dev_cache->empty() && a.kern_mdb_cache->empty() &&
              a.kern_vlan_cache->empty() && a.kern_vlan_dev_cache->empty() &&
              a.kern_br_cache->empty());
  EXPECT_EQ(a.flood_mdb_misses, true);
  EXPECT_EQ(a.kern_vlan_cache_created, false);
  EXPECT_EQ(a.kern_vlan_dev_cache_created, false);
  EXPECT_TRUE(a.vlans && a.vlans->empty());
  EXPECT_EQ(a.diag_dbal, false);
  EXPECT_FALSE(a.tmp_encaps);
  // Nothing of the other chip's state.
  EXPECT_FALSE(a.l3_intfs || a.vlan_xlate || a.riot_enable || a.kestrad_debug_enabled);
  EXPECT_EQ(a.text(),
            "Asic ip mroutes:\n"
            "default, (10.0.0.1,239.1.1.1), iif: 100\n"
            "  port: swp1\n"
            "  L2 replication ports:\n"
            "    port: swp7\n"
            "default, (10.0.0.2,239.1.1.2), iif: 200\n");
  // Group 0x1004 has the L3 target 4097: an interface that reads "097"
  // after its first digit is found.
  EXPECT_TRUE(a.get_repl_group_entry(nv::Value("1004"), nv::Value(5097L)) == 5097L);
  EXPECT_TRUE(a.get_repl_group_entry(nv::Value("1004"), nv::Value(4098L)) == 0L);
}

TEST(DnxConstruction, StopsAtTheFirstFailure) {
  DnxRig rig;
  load_switch(rig);
  rig.shell->answers["ps"] = "Error: unknown command\n\n";
  EXPECT_NV_ERROR(rig.construct(), ErrorKind::Runtime, "ps command is not supported on this chip");
  EXPECT_EQ(rig.shell->commands, Strings{"ps"});

  DnxRig none;
  load_switch(none);
  none.shell->answers["diag pp ipv4_mc"] = "Error: no table\n";
  none.construct();
  EXPECT_EQ(none.shell->commands, (Strings{"ps", "diag pp ipv4_mc"}));
  EXPECT_TRUE(none.asic.mroutes->empty() && none.asic.replication_groups->empty());
}

}  // namespace
