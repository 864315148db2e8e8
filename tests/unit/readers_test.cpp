// The table readers, each driven alone over a small shell fixture.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "common/regex.h"
#include "common/text.h"
#include "fakes.h"

namespace {

using nv::ErrorKind;
using nvtest::Rig;

const char kPortmap[] =
    "          pipe   logical  physical  speed  lanes  ucast_queues      mcast_queues\n"
    "pe0         0        1        1         1     0       0/10              0/10\n"
    "pe1         0        2        5         2     1      10/10             10/10\n"
    "pe7         0        8       29         8     7      70/10             70/10\n"
    "pc0         0        3        9         3     2      20/10             20/10\n";

struct PortmapReader : ::testing::Test {
  void SetUp() override {
    rig.bare();
    rig.pt->names = {{"pe0", "swp1"}, {"pe1", "swp2"}, {"pc0", "swp3"}};
  }
  Rig rig;
};

TEST_F(PortmapReader, ReadsEveryRowAndKeepsPortsTheTableRejects) {
  rig.shell->answers["show portmap"] = kPortmap;
  rig.asic.parse_portmap();
  std::vector<std::string> got;
  for (const auto& e : *rig.asic.portmap) got.push_back(e.text());
  EXPECT_EQ(got, (std::vector<std::string>{
                     "dport: pe0, lport: 1, linux_port: swp1, port_vid: -1",
                     "dport: pe1, lport: 2, linux_port: swp2, port_vid: -1",
                     "dport: pe7, lport: 8, linux_port: None, port_vid: -1",
                     "dport: pc0, lport: 3, linux_port: swp3, port_vid: -1",
                 }));
}

TEST_F(PortmapReader, LogicalColumnFollowsTheHeading) {
  rig.shell->answers["show portmap"] = "a logical b\npe0 9 8 7 6\n";
  rig.asic.parse_portmap();
  ASSERT_EQ(rig.asic.portmap->size(), 1u);
  EXPECT_EQ((*rig.asic.portmap)[0].logical_port, 8);
}

TEST_F(PortmapReader, Failures) {
  struct Case {
    const char* output;
    ErrorKind kind;
    const char* text;
  } cases[] = {
      {"  pipe logical physical\n", ErrorKind::Runtime, "show portmap is not supported on this chip"},
      {"", ErrorKind::Runtime, "show portmap is not supported on this chip"},
      {"Error: unknown command\npe0 0 1\n", ErrorKind::Runtime,
       "show portmap is not supported on this chip"},
      {"pipe Logical physical\npe0 0 1\n", ErrorKind::Runtime, "show portmap format unexpected"},
      {"pipe logical\npe0 0 1\n\npe1 0 2\n", ErrorKind::Index, "list index out of range"},
      {"pipe logical\npe0 0\n", ErrorKind::Index, "list index out of range"},
      {"pipe logical\npe0 0 1a\n", ErrorKind::Value, "invalid literal for int() with base 10: '1a'"},
  };
  for (const auto& c : cases) {
    Rig r;
    r.bare();
    r.pt->names = {{"pe0", "swp1"}};
    r.shell->answers["show portmap"] = c.output;
    EXPECT_NV_ERROR(r.asic.parse_portmap(), c.kind, c.text) << c.output;
  }
  // Rows before a bad one stay.
  Rig r;
  r.bare();
  r.shell->answers["show portmap"] = "pipe logical\npe0 0 1\npe1 0 x\n";
  EXPECT_THROW(r.asic.parse_portmap(), nv::Error);
  EXPECT_EQ(r.asic.portmap->size(), 1u);

  rig.shell->timeouts.insert("show portmap");
  EXPECT_NV_ERROR(rig.asic.parse_portmap(), ErrorKind::Runtime, "show portmap timed out");
}

TEST(PortVlanReader, SetsEveryEntryOfThePortAndIgnoresOtherLines) {
  Rig rig;
  rig.bare();
  auto& pm = *rig.asic.portmap;
  pm.emplace_back("pe0", 1, std::string("swp1"));
  pm.emplace_back("pe1", 2, std::string("swp2"));
  pm.emplace_back("pe0", 3, std::string("swp9"));
  rig.shell->answers["pvlan show"] =
      "pvlan show\n"
      "Port pe0 default VLAN is 100\n"
      "  Port pe1 default VLAN is 200\n"  // not at the start: skipped
      "Port pc9 default VLAN is 300\n"    // not in the port map
      "Port pe1 default VLAN is none\n";
  rig.asic.parse_ports();
  EXPECT_EQ(pm[0].port_vid, 100);
  EXPECT_EQ(pm[1].port_vid, -1);
  EXPECT_EQ(pm[2].port_vid, 100);

  rig.shell->timeouts.insert("pvlan show");
  EXPECT_NV_ERROR(rig.asic.parse_ports(), ErrorKind::Runtime, "pvlan show");
}

const char kL3Intf[] =
    "free entries: 8189\n"
    "Unit  Intf  VRF Group VLAN    Mac Address       MTU TTL\n"
    "------------------------------------------------------------------------------\n"
    "0     1     0   0     100    02:00:00:00:00:01  9216 0   0     0     0\n"
    "0     2     0   0     200    02:00:00:00:00:01  9216 0   0     0     0\n"
    "\n"
    "0     3     0   0\n"  // does not reach VLAN
    "0     1     0   0     101    02:00:00:00:00:01  9216 0   0     0     0\n";

TEST(L3IntfReader, MapsInterfaceToVlanLastRowWins) {
  Rig rig;
  rig.bare();
  rig.shell->answers["l3 intf show"] = kL3Intf;
  rig.asic.parse_l3_intf();
  EXPECT_EQ(*rig.asic.l3_intfs, (nv::IntMap{{1, 101}, {2, 200}}));
}

TEST(L3IntfReader, Failures) {
  struct Case {
    const char* output;
    ErrorKind kind;
    const char* text;
  } cases[] = {
      {"free entries: 1\n", ErrorKind::Index, "list index out of range"},
      {"x\nUnit Intf VRF\n--\n", ErrorKind::Value, "'VLAN' is not in list"},
      {"x\nUnit VLAN VRF\n--\n", ErrorKind::Value, "'Intf' is not in list"},
      {"x\nUnit VLAN Intf\n--\n0 7\n", ErrorKind::Index, "list index out of range"},
      {"x\nIntf VLAN\n--\n1 x\n", ErrorKind::Value, "invalid literal for int() with base 10: 'x'"},
  };
  for (const auto& c : cases) {
    Rig rig;
    rig.bare();
    rig.shell->answers["l3 intf show"] = c.output;
    EXPECT_NV_ERROR(rig.asic.parse_l3_intf(), c.kind, c.text) << c.output;
  }
  Rig rig;
  rig.bare();
  rig.shell->timeouts.insert("l3 intf show");
  EXPECT_NV_ERROR(rig.asic.parse_l3_intf(), ErrorKind::Runtime, "l3 intf show");
}

TEST(VlanXlateReader, ReadsFieldsByName) {
  Rig rig;
  rig.bare();
  rig.shell->answers["vlan translate show"] =
      "modid = 0 port = 5, old_vid=10, new_vid=200, prio=-1, key_type=outer\n"
      "port=6, new_vid=300\n"
      "modid = x port = 7, old_vid = 11, new_vid=301, old_vid=12\n"
      "key_type=outer\n";
  rig.asic.parse_vlan_xlate();
  std::vector<std::string> got;
  for (const auto& x : *rig.asic.vlan_xlate) got.push_back(x.text());
  EXPECT_EQ(got, (std::vector<std::string>{
                     "lport: 5, ivid: 200, evid: 10",
                     "lport: 6, ivid: 300, evid: -1",
                     "lport: -1, ivid: 301, evid: 12",
                     "lport: -1, ivid: -1, evid: -1",
                 }));
}

TEST(VlanXlateReader, ErrorAnywhereMeansNoTranslations) {
  Rig rig;
  rig.bare();
  rig.shell->answers["vlan translate show"] = "port=1, old_vid=2, new_vid=3\nERROR: not supported\n";
  rig.asic.parse_vlan_xlate();
  EXPECT_TRUE(rig.asic.vlan_xlate->empty());
}

TEST(VlanXlateReader, Failures) {
  struct Case {
    const char* output;
    ErrorKind kind;
    const char* text;
  } cases[] = {
      {"port=1, old_vid=2\n\nport=3\n", ErrorKind::Index, "list index out of range"},
      {"port=1, junk\n", ErrorKind::Index, "list index out of range"},
      {"port=1, old_vid=ten\n", ErrorKind::Value, "invalid literal for int() with base 10: 'ten'"},
      {"port=p, old_vid=ten\n", ErrorKind::Value, "invalid literal for int() with base 10: 'p'"},
  };
  for (const auto& c : cases) {
    Rig rig;
    rig.bare();
    rig.shell->answers["vlan translate show"] = c.output;
    EXPECT_NV_ERROR(rig.asic.parse_vlan_xlate(), c.kind, c.text) << c.output;
  }
  Rig rig;
  rig.bare();
  rig.shell->timeouts.insert("vlan translate show");
  EXPECT_NV_ERROR(rig.asic.parse_vlan_xlate(), ErrorKind::Runtime, "vlan translate show");
}

const char kPortsHeader[] =
    "           port  link  lanes  speed  duplex  state\n"
    "           ----  ----  -----  -----  ------  -----\n";

struct VlanReader : ::testing::Test {
  void SetUp() override {
    rig.bare();
    rig.shell->answers["vlan show 100"] =
        "vlan 100\tports pe0-pe1,pc0 (0x000000000000000000000000000000000000000e), "
        "untagged pe0,pc0 (0x000000000000000000000000000000000000000a) flood\n";
    rig.shell->answers["ports pe0,pc0"] = std::string(kPortsHeader) +
                                           "       pe0( 1)  up     4  100G  full    forwarding\n"
                                           "       pc0(3)  up     4  100G  full    forwarding\n"
                                           "       pe2  up     4  100G  full    forwarding\n";
  }
  Rig rig;
};

TEST_F(VlanReader, StoresTheUntaggedPortsUnderThePrintedVlan) {
  rig.asic.parse_vlan(100);
  EXPECT_EQ(rig.shell->commands, (std::vector<std::string>{"vlan show 100", "ports pe0,pc0"}));
  ASSERT_EQ(rig.asic.vlans->count(100), 1u);
  EXPECT_EQ(rig.asic.vlans->at(100).text(), "vid: 100, untagged_ports: pe0,pc0,pe2");

  // The key is the number the shell printed, not the one asked for.
  rig.shell->answers["vlan show 7"] = "vlan 8 ports pe0 untagged pe0 (0x1)\n";
  rig.shell->answers["ports pe0"] = std::string(kPortsHeader) + " pe0(1) up\n";
  rig.asic.parse_vlan(7);
  EXPECT_EQ(rig.asic.vlans->count(7), 0u);
  EXPECT_EQ(rig.asic.vlans->at(8).untagged_dports, std::vector<std::string>{"pe0"});
}

TEST_F(VlanReader, StoresNothingWhenTheShellDoesNotReportTheVlan) {
  rig.asic.parse_vlan(-1);
  EXPECT_TRUE(rig.shell->commands.empty());

  rig.shell->answers["vlan show 5"] = "vlan 5\n untagged pe0\n";  // not on one line
  rig.asic.parse_vlan(5);
  EXPECT_EQ(rig.shell->commands, std::vector<std::string>{"vlan show 5"});

  rig.shell->answers["vlan show 6"] = "vlan 6 ports pe0 untagged pe0 (0x1)\n";
  rig.shell->answers["ports pe0"] = kPortsHeader;  // header only
  rig.asic.parse_vlan(6);
  EXPECT_TRUE(rig.asic.vlans->empty());
}

TEST(VlanLine, ReadAsTheInterpretersPatternReadsIt) {
  // The reader finds the VLAN line without the regex engine; the pattern,
  // searched for in the whole reply, is the judge of every reply here.
  nv::Regex pattern(R"(vlan (?P<vlan>\d+).*untagged (?P<ports>\S+))");
  const std::string replies[] = {
      "vlan 100\tports pe0 (0x1), untagged pe0,pc0 (0x2) flood\n",
      "vlan 1 untagged a untagged b\n",
      "vlan 1 untagged a untagged \n",
      "vlan 1 untagged a untagged  b\n",
      "vlan 1 untagged\ta\n",
      "vlan 12untagged x\n",
      "vlan 1\nuntagged a\n",
      "vlan 1 x\nvlan 2 untagged b\n",
      "vlan x\nvlan 3 untagged c",
      "vlanvlan 4 untagged d\n",
      "vlan 5 untagged e\r\n",
      "vlan 6 untagged f\rg h\n",
      "vlan 7 untagged \x85\xa0\n",
      "vlan 8 untagged g\x0bh\n",
      "vlan 9 untagged untagged i\n",
      "avlan 10 untagged j",
      "vlan 11 untagged ",
      "vlan 12 ports untagged",
      "vlan  13 untagged k\n",
      "Error: vlan 14 does not exist\n",
      "vlan 0015 untagged l\nvlan 16 untagged m\n",
      "",
  };
  for (const std::string& reply : replies) {
    std::string_view vlan, ports;
    const bool found = nv::search_vlan_line(reply, vlan, ports);
    auto m = pattern.search(reply);
    ASSERT_EQ(found, m.has_value()) << nv::py_repr(reply);
    if (!m) continue;
    EXPECT_EQ(vlan, (*m)["vlan"]) << nv::py_repr(reply);
    EXPECT_EQ(ports, (*m)["ports"]) << nv::py_repr(reply);
  }
}

TEST(VlanLine, LongOneLineRepliesAreReadInLinearTime) {
  // A search that goes back over the rest of the line for every "vlan N"
  // takes seconds on these; the one pass takes milliseconds.
  struct Case {
    std::string reply;
    bool found;
    std::string vlan, ports;
  };
  std::string repeated;
  for (int i = 0; i < 20000; ++i) repeated += "vlan 1 untagged  ";
  std::string megabyte;
  while (megabyte.size() < (1u << 20)) megabyte += "vlan 1 untagged  ";
  const Case cases[] = {
      {repeated, false, "", ""},
      {megabyte, false, "", ""},
      {repeated + "untagged pe0", true, "1", "pe0"},
      {"x" + repeated + "vlan 22 untagged pe1 " + repeated, true, "1", "pe1"},
      {std::string(1 << 20, 'v') + "vlan 3 untagged pe2", true, "3", "pe2"},
  };
  // The pattern agrees on shorter replies of the same shape.
  nv::Regex pattern(R"(vlan (?P<vlan>\d+).*untagged (?P<ports>\S+))");
  std::string shorter;
  for (int i = 0; i < 200; ++i) shorter += "vlan 1 untagged  ";
  for (const std::string& reply : {shorter, shorter + "untagged pe0",
                                   "x" + shorter + "vlan 22 untagged pe1 " + shorter}) {
    std::string_view vlan, ports;
    auto m = pattern.search(reply);
    ASSERT_EQ(nv::search_vlan_line(reply, vlan, ports), m.has_value());
    if (m) {
      EXPECT_EQ(vlan, (*m)["vlan"]);
      EXPECT_EQ(ports, (*m)["ports"]);
    }
  }

  const auto started = std::chrono::steady_clock::now();
  for (const Case& c : cases) {
    std::string_view vlan, ports;
    ASSERT_EQ(nv::search_vlan_line(c.reply, vlan, ports), c.found) << c.reply.size();
    EXPECT_EQ(vlan, c.vlan);
    EXPECT_EQ(ports, c.ports);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
}

TEST_F(VlanReader, Failures) {
  rig.shell->answers["ports pe0,pc0"] = std::string(kPortsHeader) + " pe0(1) up\n\n";
  EXPECT_NV_ERROR(rig.asic.parse_vlan(100), ErrorKind::Index, "list index out of range");
  EXPECT_TRUE(rig.asic.vlans->empty());

  rig.shell->timeouts = {"ports pe0,pc0"};
  EXPECT_NV_ERROR(rig.asic.parse_vlan(100), ErrorKind::Runtime, "ports pe0,pc0");
  rig.shell->timeouts = {"vlan show 100"};
  EXPECT_NV_ERROR(rig.asic.parse_vlan(100), ErrorKind::Runtime, "vlan show 100");
}

// --- route tables

const char kIpmc[] =
    "SRC IP ADDRESS  MC IP ADDRESS    VLAN UNIT PORT V PRI AGE GROUP      VRF HIT\n"
    "Total entries 4 SRC MC VLAN GROUP VRF\n"  // never read
    "10.1.1.1        239.1.1.1         100   0    0 Y   0  0 0x2000005  0   y\n"
    "\n"
    "10.1.1.2        239.1.1.2         200   0    0 Y   0  0 1f         1   n\n"
    "10.1.1.3        239.1.1.3\n"
    "10.1.1.1        239.1.1.1         300   0    0 Y   0  0 0x6        0   y\n";

TEST(IpmcTableReader, ReadsRoutesByHeadingPositions) {
  Rig rig;
  rig.bare();
  rig.shell->answers["ipmc table show"] = kIpmc;
  rig.asic.parse_ipmc_table();
  std::vector<std::string> got;
  for (const auto& [key, r] : *rig.asic.mroutes)
    got.push_back(key + " -> " + r.text() + " grp " + std::to_string(r.grp));
  std::sort(got.begin(), got.end());  // the table is hashed
  EXPECT_EQ(got, (std::vector<std::string>{
                     "default, (10.1.1.1,239.1.1.1) -> default, (10.1.1.1,239.1.1.1), iif: 300 grp " +
                         std::to_string(0x2000006),
                     "red, (10.1.1.2,239.1.1.2) -> red, (10.1.1.2,239.1.1.2), iif: 200 grp " +
                         std::to_string(0x200001f),
                 }));
}

TEST(IpmcTableReader, KeysAreTheRouteKeysOfTheirRoutes) {
  Rig rig;
  rig.bare();
  rig.vrf->names[7] = "a-vrf-name-longer-than-the-rest";
  rig.shell->answers["ipmc table show"] =
      "SRC a b MC c d VLAN GROUP VRF\n--\n"
      "10.1.1.1 239.1.1.1 100 5 0\n"
      "0.0.0.0 239.255.255.255 1 0x1 7\n"
      "x y 2 2 1\n";
  rig.asic.parse_ipmc_table();
  ASSERT_EQ(rig.asic.mroutes->size(), 3u);
  for (const auto& [key, r] : *rig.asic.mroutes) EXPECT_EQ(key, nv::route_key(r.vrf, r.sip, r.dip));
  EXPECT_EQ(rig.asic.mroutes->count("a-vrf-name-longer-than-the-rest, (0.0.0.0,239.255.255.255)"), 1u);
  EXPECT_EQ(rig.asic.mroutes->count("red, (x,y)"), 1u);
}

TEST(IpmcTableReader, CompactHeadingOfTheDesign) {
  // SRC, two words, MC, two words, VLAN GROUP VRF: data at 0, 1, 2, 3, 4.
  Rig rig;
  rig.bare();
  rig.shell->answers["ipmc table show"] =
      "SRC a b MC c d VLAN GROUP VRF\n--\n10.1.1.1 239.1.1.1 100 5 0\n10.1.1.9 239.1.1.9 100 5\n";
  rig.asic.parse_ipmc_table();
  ASSERT_EQ(rig.asic.mroutes->size(), 1u);
  const nv::Hmroute& r = rig.asic.mroutes->begin()->second;
  EXPECT_EQ(r.sip, "10.1.1.1");
  EXPECT_EQ(r.dip, "239.1.1.1");
  EXPECT_EQ(r.iif, 100);
  EXPECT_EQ(r.grp, 5 | 0x2000000);
  EXPECT_EQ(r.vrf, "default");
}

TEST(IpmcTableReader, RowWithoutAWordBeyondGroupIsSkipped) {
  // VRF sits after GROUP: a row that reaches GROUP but stops there is not a route.
  Rig rig;
  rig.bare();
  rig.shell->answers["ipmc table show"] =
      "SRC a b MC c d GROUP VLAN VRF\n--\n10.1.1.1 239.1.1.1 5 100\n10.1.1.2 239.1.1.2 5 100 1\n";
  rig.asic.parse_ipmc_table();
  ASSERT_EQ(rig.asic.mroutes->size(), 1u);
  EXPECT_EQ(rig.asic.mroutes->begin()->first, "red, (10.1.1.2,239.1.1.2)");
}

TEST(IpmcTableReader, FailingRowKeepsTheRoutesBeforeItOnly) {
  // Enough rows before and after the bad one that several are read at a time.
  std::string out = "SRC a b MC c d VLAN GROUP VRF\n--\n";
  for (int i = 0; i < 30; ++i)
    out += "10.0.0." + std::to_string(i) + " 239.0.0.1 " + (i == 21 ? "x" : "7") + " 5 0\n";
  Rig rig;
  rig.bare();
  rig.shell->answers["ipmc table show"] = out;
  EXPECT_NV_ERROR(rig.asic.parse_ipmc_table(), ErrorKind::Value,
                  "invalid literal for int() with base 10: 'x'");
  ASSERT_EQ(rig.asic.mroutes->size(), 21u);
  for (int i = 0; i < 30; ++i)
    EXPECT_EQ(rig.asic.mroutes->count("default, (10.0.0." + std::to_string(i) + ",239.0.0.1)"),
              i < 21 ? 1u : 0u)
        << i;
}

TEST(IpmcTableReader, LastRowOfAKeyWinsAmongManyRows) {
  // The same two keys over and over, near and far apart.
  std::string out = "SRC a b MC c d VLAN GROUP VRF\n--\n";
  for (int i = 0; i < 40; ++i)
    out += std::string(i % 3 ? "10.1.1.1" : "10.1.1.2") + " 239.1.1.1 " + std::to_string(100 + i) +
           " " + std::to_string(i) + " 0\n";
  Rig rig;
  rig.bare();
  rig.shell->answers["ipmc table show"] = out;
  rig.asic.parse_ipmc_table();
  ASSERT_EQ(rig.asic.mroutes->size(), 2u);
  const nv::Hmroute& a = rig.asic.mroutes->at("default, (10.1.1.1,239.1.1.1)");
  const nv::Hmroute& b = rig.asic.mroutes->at("default, (10.1.1.2,239.1.1.1)");
  EXPECT_EQ(a.iif, 138);
  EXPECT_EQ(a.grp, 0x38 | 0x2000000);
  EXPECT_EQ(b.iif, 139);
  EXPECT_EQ(b.grp, 0x39 | 0x2000000);
}

TEST(IpmcTableReader, Failures) {
  struct Case {
    const char* output;
    ErrorKind kind;
    const char* text;
  } cases[] = {
      {"", ErrorKind::Index, "list index out of range"},
      {"SRC a b MC c d VLAN GROUP\n--\n1 2 3 4 5\n", ErrorKind::Value, "'VRF' is not in list"},
      {"SRC a b MC c d VLAN GROUP VRF\n--\n1 2 x 4 0\n", ErrorKind::Value,
       "invalid literal for int() with base 10: 'x'"},
      {"SRC a b MC c d VLAN GROUP VRF\n--\n1 2 3 g 0\n", ErrorKind::Value,
       "invalid literal for int() with base 16: 'g'"},
  };
  for (const auto& c : cases) {
    Rig rig;
    rig.bare();
    rig.shell->answers["ipmc table show"] = c.output;
    EXPECT_NV_ERROR(rig.asic.parse_ipmc_table(), c.kind, c.text) << c.output;
  }
  // The VRF name is asked for before the group word is read.
  Rig rig;
  rig.bare();
  rig.shell->answers["ipmc table show"] = "SRC a b MC c d VLAN GROUP VRF\n--\n1 2 3 g 16\n";
  EXPECT_THROW(rig.asic.parse_ipmc_table(), nv::Error);
  EXPECT_EQ(rig.logged("vrf_id2name "), std::vector<std::string>{"16"});

  rig.shell->timeouts.insert("ipmc table show");
  EXPECT_NV_ERROR(rig.asic.parse_ipmc_table(), ErrorKind::Runtime, "ipmc table show timed out");
}

TEST(FieldDict, KeyAndFieldsOfOneDumpLine) {
  struct Case {
    const char* line;
    std::optional<std::string> key;
    nv::FieldMap fields;
  } cases[] = {
      {"T[12]: <A=1,B,C=2=3>", "12", {{"A", "1"}, {"C", "2"}}},
      {"L3_ENTRY.t0[0]: <VALID_0=1,A=1,A=2,>", "0", {{"VALID_0", "1"}, {"A", "2"}}},
      {"[12]: <A=1, B=2>", std::nullopt, {}},
      {"T12]: <A=1>", std::nullopt, {}},
      {"T[12] <A=1>", std::nullopt, {}},
      {"", std::nullopt, {}},
  };
  for (const auto& c : cases) {
    auto [key, fields] = nv::Asic::field_dict_build(c.line);
    EXPECT_EQ(key, c.key) << c.line;
    EXPECT_EQ(fields, c.fields) << c.line;
  }
}

TEST(MemTableReader, ReadsValidEntries) {
  Rig rig;
  rig.bare();
  rig.shell->answers["dump chg l3_entry_ipv4_multicast"] =
      "L3_ENTRY_IPV4_MULTICAST.t0[1024]: <VALID_1=1,VALID_0=1,VRF_ID=0x10,"
      "SOURCE_IP_ADDR=0xa010101,L3MC_INDEX=1f,GROUP_IP_ADDR=0xef010101,EXPECTED_L3_IIF=0x64,>\n"
      "L3_ENTRY_IPV4_MULTICAST.t0[0]: <VALID_1=1,GROUP_IP_ADDR=e0000001,VRF_ID=1,"
      "EXPECTED_L3_IIF=100>\n"
      "L3_ENTRY_IPV4_MULTICAST.t0[7]: <VALID_0=0,VALID_1=0,GROUP_IP_ADDR=zz>\n"
      "L3_ENTRY_IPV4_MULTICAST.t0[8]: <GROUP_IP_ADDR=zz>\n"
      "not an entry\n";
  rig.asic.parse_l3_entry_ipmc_table();
  std::vector<std::string> got;
  for (const auto& [key, r] : *rig.asic.mroutes)
    got.push_back(key + " iif " + std::to_string(r.iif) + " grp " + std::to_string(r.grp));
  std::sort(got.begin(), got.end());  // the table is hashed
  EXPECT_EQ(got, (std::vector<std::string>{
                     "blue, (10.1.1.1,239.1.1.1) iif 100 grp " + std::to_string(0x200001f),
                     "red, (0.0.0.0,224.0.0.1) iif 100 grp " + std::to_string(0x2000000),
                 }));
}

TEST(MemTableReader, Failures) {
  struct Case {
    const char* fields;
    ErrorKind kind;
    const char* text;
  } cases[] = {
      {"VALID_0=1,SOURCE_IP_ADDR=1", ErrorKind::Key, "GROUP_IP_ADDR"},
      {"VALID_0=1,GROUP_IP_ADDR=0x100000000", ErrorKind::Struct,
       "'L' format requires 0 <= number <= 4294967295"},
      {"VALID_0=1,GROUP_IP_ADDR=-1", ErrorKind::Struct, "integer out of range for 'L' format code"},
      {"VALID_0=yes,GROUP_IP_ADDR=1", ErrorKind::Value, "invalid literal for int() with base 10: 'yes'"},
      {"VALID_0=1,GROUP_IP_ADDR=1,VRF_ID=0X10", ErrorKind::Value,
       "invalid literal for int() with base 10: '0X10'"},
  };
  for (const auto& c : cases) {
    Rig rig;
    rig.bare();
    rig.shell->answers["dump chg l3_entry_ipv4_multicast"] = std::string("T[1]: <") + c.fields + ">";
    EXPECT_NV_ERROR(rig.asic.parse_l3_entry_ipmc_table(), c.kind, c.text) << c.fields;
  }
  Rig rig;
  rig.bare();
  rig.shell->timeouts.insert("dump chg l3_entry_ipv4_multicast");
  EXPECT_NV_ERROR(rig.asic.parse_l3_entry_ipmc_table(), ErrorKind::Runtime,
                  "dump chg l3_entry_ipv4_multicast");
}

// --- replication groups

struct ReplicationReader : ::testing::Test {
  void SetUp() override {
    rig.bare();
    rig.pt->names = {{"pe0", "swp1"}, {"pe1", "swp2"}, {"pc0", "swp3"}};
    auto& pm = *rig.asic.portmap;
    pm.emplace_back("pe0", 1, std::string("swp1"));
    pm.emplace_back("pe1", 2, std::string("swp2"));
    pm.emplace_back("pc0", 3, std::string("swp3"));
    *rig.asic.l3_intfs = {{1, 100}, {2, 200}, {5, 300}};
    rig.asic.vlan_xlate->emplace_back(2, 100, 10);
    rig.asic.vlans->emplace(200, nv::VlanEntry(200, {"pc0"}));
  }
  std::vector<std::string> groups() {
    std::vector<std::string> out;
    std::map<long, const nv::ReplicationGroup*> sorted;
    for (const auto& [id, g] : *rig.asic.replication_groups) sorted[id] = &g;
    for (const auto& [id, g] : sorted) {
      std::string s = std::to_string(id) + ":";
      for (const auto& e : g->l3_encaps)
        s += " " + e.linux_port + "/" + e.bcm_dport + "/" + std::to_string(e.intf) + "/" +
             std::to_string(e.vlan) + "/" + std::to_string(e.evid);
      s += " |";
      for (const auto& e : g->l2_encaps) s += " " + e.linux_port + "/" + std::to_string(e.intf);
      out.push_back(s);
    }
    return out;
  }
  Rig rig;
};

TEST_F(ReplicationReader, ReadsL3AndL2TargetsOfEachGroup) {
  rig.shell->answers["multicast show"] =
      "Multicast groups:\n"
      "Group 0x2000005 (L3)\n"
      "\tport pe1, encap id 1\n"   // translated: leaves with VLAN 10
      "\tport pc0, encap id 2\n"   // untagged in VLAN 200
      "\tport pe0, encap id +5\n"  // tagged with its internal VLAN
      "\tport pe0, encap id -1\n"
      "\tport cpu0, encap id 3\n"
      "port pe1, encap id 1\n"     // no leading white space
      "\tport pe0, encap id -2 (extra)\n"
      "Group 0x1000001 (L2)\n"
      "\tport pe0, encap id -1\n"
      "Group 0x2000006 (L3)\n"
      "Group 0x2000007 (L3)\n"
      "\tport pe0, encap id 1 Group 0x2000008 tail\n"
      "\tport pc0, encap id -1\n";
  rig.asic.parse_multicast_repln_groups();
  EXPECT_EQ(groups(), (std::vector<std::string>{
                          "33554437: swp2/pe1/1/100/10 swp3/pc0/2/200/-1 swp1/pe0/5/300/300 "
                          "swp1/pe0/-2/-1/-1 | swp1/-1",
                          "33554438: |",
                          "33554439: swp1/pe0/1/100/100 |",
                          "33554440: | swp3/-1",
                      }));
}

TEST_F(ReplicationReader, InterfaceNumbersOfAnyValueAndChangedInterfaces) {
  // Interface numbers found by position and by hash alike; the VLANs of
  // pc0's targets are tagged, so each target shows its interface's VLAN.
  *rig.asic.l3_intfs = {{0, 10}, {4095, 20}, {4096, 30}, {100000, 40}, {-7, 50}, {1L << 40, 60}};
  rig.asic.vlans->emplace(10, nv::VlanEntry(10, {}));
  for (long v : {20L, 30L, 40L, 50L, 60L}) rig.asic.vlans->emplace(v, nv::VlanEntry(v, {}));
  rig.shell->answers["multicast show"] =
      "Group 1\n\tport pc0, encap id 0\n\tport pc0, encap id 4095\n\tport pc0, encap id 4096\n"
      "\tport pc0, encap id 100000\n\tport pc0, encap id -7\n\tport pc0, encap id 1099511627776\n"
      "\tport pc0, encap id 3\n\tport pc0, encap id 99999\n";
  auto vlans = [&] {
    rig.asic.parse_multicast_repln_groups();
    std::vector<long> out;
    for (const auto& e : rig.asic.replication_groups->at(1).l3_encaps) out.push_back(e.vlan);
    return out;
  };
  EXPECT_EQ(vlans(), (std::vector<long>{10, 20, 30, 40, 50, 60, -1, -1}));

  // The reader of the interface table rewrites interfaces in place, and
  // the table keeps its size.
  rig.shell->answers["l3 intf show"] =
      "Free L3INTF entries: 1\nUnit  Intf  VRF Group VLAN\n---\n0  0  0  0  11\n0  100000  0  0  41\n";
  rig.asic.parse_l3_intf();
  EXPECT_EQ(vlans(), (std::vector<long>{11, 20, 30, 41, 50, 60, -1, -1}));

  // The host changes an interface in place.
  rig.asic.l3_intfs->insert_or_assign(4095, 21);
  EXPECT_EQ(vlans(), (std::vector<long>{11, 21, 30, 41, 50, 60, -1, -1}));
}

TEST_F(ReplicationReader, LaterGroupWithTheSameIdWinsAndEmptyHeadsAreSkipped) {
  rig.shell->answers["multicast show"] =
      "Group 5\n\tport pe0, encap id -1\nGroup\n\tport pe1, encap id -1\nGroup 0x5\n\tport pc0, encap id -1\nGroup";
  rig.asic.parse_multicast_repln_groups();
  EXPECT_EQ(groups(), (std::vector<std::string>{"5: | swp3/-1"}));
}

TEST_F(ReplicationReader, RiotMapsNextHopIndexToInterface) {
  Rig& r = rig;
  r.asic.riot_enable = true;
  r.asic.l3_intf_nhi = nv::IntMap{{100005, 1}};
  r.shell->answers["multicast show"] =
      "Group 0x2000005\n\tport pe1, encap id 100005\n\tport pe0, encap id 2\n";
  r.asic.parse_multicast_repln_groups();
  EXPECT_EQ(groups(),
            (std::vector<std::string>{"33554437: swp2/pe1/1/100/10 swp1/pe0/2/200/200 |"}));
}

TEST_F(ReplicationReader, PortNameIsAskedAfterTheVlanLookups) {
  rig.shell->answers["multicast show"] = "Group 1\n\tport pe0, encap id 1\n";
  rig.asic.parse_multicast_repln_groups();
  EXPECT_EQ(rig.logged(""), (std::vector<std::string>{"run multicast show", "run vlan show 100",
                                                      "bcm2linux pe0"}));
}

TEST(ReplicationMemberLines, ReadAsTheInterpretersPatternReadsThem) {
  // The reader matches member lines without the regex engine; the pattern
  // itself is the judge of every line here.
  nv::Regex pattern(R"(\s+port (?P<port>\S+), encap id (?P<intf>[+-]?\d+))");
  const std::string lines[] = {
      "\tport pe0, encap id 1",
      " \t\x0b\x0cport pe0, encap id 1",
      "\x0bport pe0, encap id 1 (extra)",
      "port pe0, encap id 1",
      "\tPort pe0, encap id 1",
      "\tportpe0, encap id 1",
      "\tport  pe0, encap id 1",
      "\tport pe0,, encap id 1",
      "\tport pe0, encap id 1, encap id 2",
      "\tport a,b, encap id 7",
      "\tport pe0,encap id 1",
      "\tport pe0 , encap id 1",
      "\tport pe0,\tencap id 1",
      "\tport pe0,  encap id 1",
      "\tport pe0, encap id  1",
      "\tport , encap id 3",
      "\tport ,, encap id 3",
      "\tport p\xa0" "e\x85, encap id 3",
      "\tport pe0, encap id -1",
      "\tport pe0, encap id -0001",
      "\tport pe0, encap id +5",
      "\tport pe0, encap id -",
      "\tport pe0, encap id +-5",
      "\tport pe0, encap id 12abc",
      "\tport pe0, encap id 0007",
      "\tport pe0, encap id 123456789012345678",
      "\tport pe0, encap id 1234567890123456789",
      "\tport pe0, encap id -9223372036854775808",
      "\tport pe0, encap id",
      "\tport pe0, encap id ",
      "\tport cpu0, encap id 3",
      "\tport cpu0x, encap id 3",
      "\tport pe0, encap id 5\x00tail",
      "",
      "\t",
  };
  for (const std::string& line : lines) {
    Rig rig;
    rig.bare();
    std::vector<std::string> want;
    if (auto m = pattern.match(line)) {
      std::string port((*m)["port"]);
      rig.pt->names[port] = "L" + port;
      if (port != "cpu0") want.push_back(port + " " + std::to_string(nv::parse_int((*m)["intf"], 10)));
    }
    rig.shell->answers["multicast show"] = "Group 1\n" + line + "\n";
    rig.asic.parse_multicast_repln_groups();
    const nv::ReplicationGroup& g = rig.asic.replication_groups->at(1);
    std::vector<std::string> got;
    for (const auto* list : {&g.l2_encaps, &g.l3_encaps})
      for (const auto& e : *list) got.push_back(e.bcm_dport + " " + std::to_string(e.intf));
    EXPECT_EQ(got, want) << nv::py_repr(line);
  }

  // A number the pattern takes but int() cannot read in 64 bits.
  Rig rig;
  rig.bare();
  rig.pt->names["pe0"] = "swp1";
  rig.shell->answers["multicast show"] = "Group 1\n\tport pe0, encap id 99999999999999999999\n";
  EXPECT_NV_ERROR(rig.asic.parse_multicast_repln_groups(), ErrorKind::Value,
                  "invalid literal for int() with base 10: '99999999999999999999'");
}

TEST_F(ReplicationReader, EveryGroupHasListsOfItsOwn) {
  std::string text;
  for (int g = 1; g <= 300; ++g)
    text += "Group " + std::to_string(g) + "\n\tport pe0, encap id 1\n\tport pe1, encap id -1\n";
  rig.shell->answers["multicast show"] = text;
  rig.asic.parse_multicast_repln_groups();
  auto& groups = *rig.asic.replication_groups;
  ASSERT_EQ(groups.size(), 300u);
  std::set<const nv::EncapList::Store*> lists;
  for (const auto& [id, g] : groups) {
    lists.insert(g.l2_encaps.peek());
    lists.insert(g.l3_encaps.peek());
  }
  EXPECT_EQ(lists.size(), 600u);

  // Changing or dropping one group's lists leaves every other group as read.
  groups.at(7).l3_encaps.emplace_back("swp9", "pe9", 9, 9, 9);
  groups.at(8).l2_encaps.clear();
  groups.erase(9);
  for (const auto& [id, g] : groups) {
    if (id == 7 || id == 8) continue;
    ASSERT_EQ(g.l3_encaps.size(), 1u) << id;
    EXPECT_EQ(g.l3_encaps[0].text(), "port: swp1, vlan: 100") << id;
    ASSERT_EQ(g.l2_encaps.size(), 1u) << id;
    EXPECT_EQ(g.l2_encaps[0].linux_port, "swp2") << id;
  }
  EXPECT_EQ(groups.at(7).l3_encaps.size(), 2u);
  EXPECT_TRUE(groups.at(8).l2_encaps.empty());
}

TEST_F(ReplicationReader, Failures) {
  rig.shell->answers["multicast show"] = "Group 0x2000005\n\tport pe5, encap id -1\n";
  EXPECT_THROW(rig.asic.parse_multicast_repln_groups(), nv::ForeignError);
  EXPECT_TRUE(rig.asic.replication_groups->empty());

  rig.shell->answers["multicast show"] = "Group x5 (L3)\n";
  EXPECT_NV_ERROR(rig.asic.parse_multicast_repln_groups(), ErrorKind::Value,
                  "invalid literal for int() with base 16: 'x5'");

  rig.shell->answers["multicast show"] = "Group 1\n\tport pe0, encap id 1\n";
  rig.shell->timeouts = {"vlan show 100"};
  EXPECT_NV_ERROR(rig.asic.parse_multicast_repln_groups(), ErrorKind::Runtime, "vlan show 100");

  rig.shell->timeouts = {"multicast show"};
  EXPECT_NV_ERROR(rig.asic.parse_multicast_repln_groups(), ErrorKind::Runtime, "multicast show");
}

// --- RIOT detection and IIF mapping

TEST(RiotReader, IngressModeIsAHexadecimalFlag) {
  struct Case {
    const char* output;
    bool on;
  } cases[] = {{"0x0\n", false}, {" 0 \r\n", false}, {"0x1\n", true}, {"1f", true}, {"-0x1", true}};
  for (const auto& c : cases) {
    Rig rig;
    rig.bare();
    rig.shell->answers["sc L3IngressMode"] = c.output;
    EXPECT_EQ(rig.asic.is_riot_enabled(), c.on) << c.output;
  }
  Rig rig;
  rig.bare();
  rig.shell->answers["sc L3IngressMode"] = " L3IngressMode: unknown\n";
  EXPECT_NV_ERROR(rig.asic.is_riot_enabled(), ErrorKind::Value,
                  "invalid literal for int() with base 16: 'L3IngressMode: unknown'");
  rig.shell->timeouts.insert("sc L3IngressMode");
  EXPECT_NV_ERROR(rig.asic.is_riot_enabled(), ErrorKind::Runtime, "sc L3IngressMode timed out");
}

TEST(RiotReader, MemoryTableName) {
  Rig off;
  off.bare(false);
  EXPECT_EQ(off.asic.get_vlan_riot_memtable_name(), "");
  EXPECT_TRUE(off.shell->commands.empty());

  Rig on;
  on.bare(true);
  on.shell->answers["listmem VLAN"] = "table VLAN\n  <12:0> L3_IIF<12:0>\n";
  EXPECT_EQ(on.asic.get_vlan_riot_memtable_name(), "VLAN");
  on.shell->answers["listmem VLAN"] = "table VLAN\n  <12:0> L3_IIF\n";
  EXPECT_EQ(on.asic.get_vlan_riot_memtable_name(), "VLAN_MPLS");
  on.shell->timeouts.insert("listmem VLAN");
  EXPECT_NV_ERROR(on.asic.get_vlan_riot_memtable_name(), ErrorKind::Runtime, "listmem VLAN");
}

TEST(RiotReader, HwVlanToIif) {
  Rig off;
  off.bare(false);
  EXPECT_EQ(off.asic.hw_vlan_to_iif(-1), std::nullopt);
  EXPECT_EQ(off.asic.hw_vlan_to_iif(0), 0);
  EXPECT_EQ(off.asic.hw_vlan_to_iif(100), 100);

  Rig on;
  on.bare(true);
  on.asic.vlan_riot_memtable = "VLAN_MPLS";
  on.shell->l3_iif[{"VLAN_MPLS", 100}] = 4097;
  EXPECT_EQ(on.asic.hw_vlan_to_iif(-1), std::nullopt);
  on.shell->gettable_failures = 1;
  EXPECT_THROW(on.asic.hw_vlan_to_iif(100), nv::ForeignError);
  EXPECT_TRUE(on.asic.vlan_riot->empty());
  EXPECT_EQ(on.asic.hw_vlan_to_iif(100), 4097);
  EXPECT_EQ(on.asic.hw_vlan_to_iif(100), 4097);
  EXPECT_EQ(on.shell->gettable_calls, 2);
  EXPECT_EQ(on.logged("gettable ").back(), "VLAN_MPLS 100 1 0 L3_IIF");
}

TEST(RiotReader, KernelIifToHwVlan) {
  Rig rig;
  rig.bare();
  auto& pm = *rig.asic.portmap;
  pm.emplace_back("pe0", 1, std::string("swp1"));
  pm.emplace_back("pe1", 2, std::string("swp2"));
  pm[0].port_vid = 100;
  rig.asic.vlan_xlate->emplace_back(2, 200, 20);
  struct Case {
    const char* kind;
    long vlan;
    std::optional<std::string> member;
    long want;
  } cases[] = {
      {"bridge", 10, std::string("swp2.20"), 10},
      {"bridge", -1, std::string("swp1"), 100},
      {"bridge", -1, std::string(""), -1},
      {"vlan", 10, std::nullopt, -1},
      {"swp", -1, std::string("swp1"), 100},
      {"swp", -1, std::string("swp2"), -1},       // no default VLAN reported
      {"swp", -1, std::string("swp2.20"), 200},   // translated
      {"swp", -1, std::string("swp2.21"), -1},    // no translation
      {"swp", -1, std::string("swp9"), -1},       // not in the port map
      {"swp", -1, std::string("swp2.20.5"), 200}, // later parts ignored
  };
  for (const auto& c : cases)
    EXPECT_EQ(rig.asic.kern_iif_to_hw_vlan(c.kind, "br0", c.vlan, c.member), c.want)
        << c.kind << " " << c.vlan << " " << c.member.value_or("<none>");
  EXPECT_NV_ERROR(rig.asic.kern_iif_to_hw_vlan("swp", "", -1, std::string("swp1.x")),
                  ErrorKind::Value, "invalid literal for int() with base 10: 'x'");
}

}  // namespace
