// The host's queries and dumps, the route-key split and the pairing check.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "common/regex.h"
#include "fakes.h"

namespace {

using nv::Encap;
using nv::ErrorKind;
using nvtest::Rig;

struct Queries : ::testing::Test {
  void SetUp() override {
    rig.bare();
    auto& routes = *rig.asic.mroutes;
    routes.emplace(nv::route_key("red", "10.1.1.1", "239.1.1.1"),
                   nv::Hmroute("10.1.1.1", "239.1.1.1", 100, 5, "red", nv::kMcastGroupBit));
    routes.emplace(nv::route_key("blue", "0.0.0.0", "239.1.1.2"),
                   nv::Hmroute("0.0.0.0", "239.1.1.2", 200, 6, "blue", nv::kMcastGroupBit));
    nv::EncapList l3{Encap("swp1", "pe0", 105, 100, -1), Encap("swp2", "pe1", 7, 100, 10)};
    nv::EncapList l2{Encap("swp3", "pe2", -1, -1, -1)};
    rig.asic.replication_groups->emplace(
        5 | 0x2000000, nv::ReplicationGroup(5 | 0x2000000, std::move(l2), std::move(l3)));
    routes.at(nv::route_key("red", "10.1.1.1", "239.1.1.1"))
        .oil_mismatch.push_back("hw has OIFs not in the kernel");
  }
  Rig rig;
};

const char kRedDump[] =
    "red, (10.1.1.1,239.1.1.1), iif: 100\n  errors:\n    hw has OIFs not in the kernel\n"
    "  port: swp1\n  port: swp2, vlan: 10\n  L2 replication ports:\n    port: swp3\n";
const char kBlueDump[] = "blue, (0.0.0.0,239.1.1.2), iif: 200\n";  // no replication group

TEST_F(Queries, TextFormAndRouteKeys) {
  EXPECT_EQ(rig.asic.text(), std::string("Asic ip mroutes:\n") + kBlueDump + kRedDump);
  // Keys in the table's own order, which is no particular one.
  EXPECT_EQ(rig.asic.get_mroutes(),
            (std::set<std::string>{"blue, (0.0.0.0,239.1.1.2)", "red, (10.1.1.1,239.1.1.1)"}));

  Rig empty;
  empty.bare();
  EXPECT_EQ(empty.asic.text(), "Asic ip mroutes:\n");
  EXPECT_TRUE(empty.asic.get_mroutes().empty());
  empty.asic.dump_mroutes({});
  EXPECT_TRUE(empty.console->writes.empty());
}

TEST_F(Queries, DumpWritesOneRouteAtATime) {
  const std::string red = "red, (10.1.1.1,239.1.1.1)", blue = "blue, (0.0.0.0,239.1.1.2)";
  using Filter = nv::WhenTrue<std::vector<nv::Value>>;
  struct Case {
    Filter filter;
    std::vector<std::string> writes;
  } cases[] = {
      {Filter(), {kBlueDump, kRedDump}},
      {Filter({red, blue}), {kRedDump, kBlueDump}},
      {Filter({red, "x", red}), {kRedDump, kRedDump}},
      {Filter({red, 5L, nv::Value()}), {kRedDump}},  // keys that are no text name no route
      {Filter({"red, (10.1.1.1,239.1.1.9)"}), {}},
  };
  for (const auto& c : cases) {
    rig.console->writes.clear();
    rig.asic.dump_mroutes(c.filter);
    EXPECT_EQ(rig.console->writes, c.writes);
  }
}

TEST(QueriesInKeyOrder, TextAndFullDumpListRoutesSortedByKey) {
  // Enough routes that the table's own order is unlikely to be the sorted
  // one; added in reverse.
  Rig rig;
  rig.bare();
  std::vector<std::string> keys;
  for (int i = 0; i < 40; ++i) {
    std::string vrf = i % 3 ? "red" : "blue";
    std::string dip = "239.1." + std::to_string(i % 7) + "." + std::to_string(i);
    keys.push_back(nv::route_key(vrf, "10.0.0.1", dip));
  }
  for (auto it = keys.rbegin(); it != keys.rend(); ++it) {
    auto [vrf, sip, dip] = nv::Asic::key_to_sip_dip(*it);
    ASSERT_TRUE(vrf && sip && dip);
    rig.asic.mroutes->emplace(*it, nv::Hmroute(*sip, *dip, 1, 2, *vrf, nv::kMcastGroupBit));
  }
  std::sort(keys.begin(), keys.end());
  std::string want = "Asic ip mroutes:\n";
  std::vector<std::string> writes;
  for (const auto& k : keys) {
    writes.push_back(k + ", iif: 1\n");
    want += writes.back();
  }
  EXPECT_EQ(rig.asic.text(), want);
  rig.asic.dump_mroutes({});
  EXPECT_EQ(rig.console->writes, writes);
}

TEST_F(Queries, ReplicationGroupEntryComparesAllButTheFirstCharacter) {
  struct Case {
    const char *group, *intf;
    bool found;
  } cases[] = {
      {"0x2000005", "105", true}, {"2000005", "205", true}, {"0X2000005", "x05", true},
      {"2000005", "8", true},  // "7"[1:] == "8"[1:] == ""
      {"2000005", "", true},   // the empty text has an empty remainder too
      {"2000005", "106", false}, {"2000005", "-1", false},  // L2 targets are not examined
      {"2000006", "105", false},
  };
  // The interface itself when found, else 0.
  for (const auto& c : cases)
    EXPECT_EQ(rig.asic.get_repl_group_entry(c.group, c.intf), c.found ? nv::Value(c.intf) : nv::Value(0L))
        << c.group << " " << c.intf;
  EXPECT_EQ(rig.asic.get_repl_group_entry("2000005", 105L), nv::Value(105L));  // str(105)
  EXPECT_NV_ERROR(rig.asic.get_repl_group_entry("zz", "105"), ErrorKind::Value,
                  "invalid literal for int() with base 16: 'zz'");
  EXPECT_NV_ERROR(rig.asic.get_repl_group_entry(5L, "105"), ErrorKind::Type,
                  "int() can't convert non-string with explicit base");
}

const char kEgress[] =
    "egress objects: 3\n"
    "Entry  Mac                 Vlan Intf Port Mod Label  ToCpu Drop Refs  L3MC\n"
    "100002 02:00:00:00:00:02    100    1    1    0        -1   no   no    1   yes\n"
    "100001 00:00:00:00:00:01    100    1    1    0        -1   no   no    1   no\n"
    "100002 00:00:00:00:00:02    100    2    2    0        -1   no   no    1   yes\n"
    "100002 00:00:00:00:00:03    100    2    2    0        -1   no   no    1   no\n";

TEST_F(Queries, L3EgressFirstMatchingRowAfterTheHeader) {
  rig.shell->answers["l3 egress show"] = kEgress;
  using Row = std::pair<nv::Value, nv::Value>;
  EXPECT_EQ(rig.asic.get_l3_egress("100002"), Row("00:00:00:00:00:02", "yes"));
  EXPECT_EQ(rig.asic.get_l3_egress("100009"), Row(0L, 0L));
  EXPECT_EQ(rig.asic.get_l3_egress(nv::Value()), Row(0L, 0L));
  EXPECT_EQ(rig.shell->commands, std::vector<std::string>(3, "l3 egress show"));
}

TEST_F(Queries, L3EgressShortRowIsAnIndexError) {
  // A short row is an error even when no interface can match, but rows
  // after the match are never read.
  rig.shell->answers["l3 egress show"] = std::string(kEgress) + "\n";
  EXPECT_NV_ERROR(rig.asic.get_l3_egress(std::nullopt), ErrorKind::Index, "list index out of range");
  EXPECT_EQ(rig.asic.get_l3_egress("100001").second, "no");

  rig.shell->timeouts.insert("l3 egress show");
  EXPECT_NV_ERROR(rig.asic.get_l3_egress(std::string("1")), ErrorKind::Runtime, "l3 show");
}

TEST(RouteKey, SplitIntoVrfSourceAndGroup) {
  using T = nv::Asic::KeyParts;  // three Nones for a text that is no key
  struct Case {
    const char* key;
    T want;
  } cases[] = {
      {"red, (10.1.1.1,239.1.1.1)", T{"red", "10.1.1.1", "239.1.1.1"}},
      {"red, (10.1.1.1,239.1.1.1) trailing", T{"red", "10.1.1.1", "239.1.1.1"}},
      {"red, (a,b,c)", T{"red", "a,b", "c"}},
      {" red, (10.1.1.1,239.1.1.1)", T{}},
      {"red,(10.1.1.1,239.1.1.1)", T{}},
      {"", T{}},
  };
  for (const auto& c : cases) EXPECT_EQ(nv::Asic::key_to_sip_dip(c.key), c.want) << c.key;
}

TEST(RouteKey, SplitsAsThePatternMatches) {
  // Every text of up to seven bytes over the bytes that matter, against
  // the pattern itself.
  static const nv::Regex kKey(R"((?P<vrf>\S+), \((?P<sip>\S+),(?P<dip>\S+)\))");
  const std::string alphabet = "a,( )\t";
  std::string key;
  size_t checked = 0;
  std::function<void()> walk = [&] {
    auto m = kKey.match(key);
    nv::Asic::KeyParts want;
    if (m) want = {std::string((*m)["vrf"]), std::string((*m)["sip"]), std::string((*m)["dip"])};
    ASSERT_EQ(nv::Asic::key_to_sip_dip(key), want) << '"' << key << '"';
    ++checked;
    if (key.size() == 7) return;
    for (char c : alphabet) {
      key.push_back(c);
      walk();
      key.pop_back();
    }
  };
  walk();
  // Longer keys of the usual shape, with runs of each part.
  for (const char* k : {"vrf-red, (10.1.1.1,239.1.1.1)", "v, (a,,b))x y", "v, (,a,b)", "v,, (a,b)",
                        "v, (a,b)\t(c,d)", "v, (a,)b)", "v, (a,b)c)d"}) {
    auto m = kKey.match(k);
    nv::Asic::KeyParts want;
    if (m) want = {std::string((*m)["vrf"]), std::string((*m)["sip"]), std::string((*m)["dip"])};
    EXPECT_EQ(nv::Asic::key_to_sip_dip(k), want) << k;
  }
  EXPECT_GT(checked, 100000u);
}

TEST(PairingCheck, AppendsThePeerInterfaceWhileThePeerIsAlive) {
  const std::string cmd = "/usr/bin/pairxctl -v";
  struct Case {
    std::optional<std::string> output;  // no value: the tool exits with failure
    std::vector<std::string> orig_dev;
  } cases[] = {
      {std::string("The peer is alive\nOur Priority: 32768\n"
                   "Peer Interface and IP: peer0.4094 169.254.1.2\n"
                   "Peer Interface and IP: other.1 169.254.1.3\n"),
       {"lo", "peer0.4094"}},
      {std::string("The peer is alive\r\nPeer Interface and IP: pl 10.0.0.2\r\n"), {"lo", "pl"}},
      {std::string("The peer is alive \nPeer Interface and IP: pl 10.0.0.2\n"), {"lo"}},
      {std::string("The peer is not alive\nPeer Interface and IP: pl 10.0.0.2\n"), {"lo"}},
      {std::string(""), {"lo"}},
      {std::nullopt, {"lo"}},
      // Too short to name a peer: nothing added, and no error.
      {std::string("The peer is alive\nPeer Interface and IP:\nPeer Interface and IP: pl 1\n"),
       {"lo"}},
  };
  for (const auto& c : cases) {
    Rig rig;
    if (c.output) rig.sys->programs[cmd] = c.output;
    rig.asic.mroute_pairx_check_and_get_orig_dev();
    EXPECT_EQ(rig.orig_dev->names, c.orig_dev) << c.output.value_or("<failed>");
  }
  Rig missing;
  missing.sys->missing.insert(cmd);
  EXPECT_NO_THROW(missing.asic.mroute_pairx_check_and_get_orig_dev());
  EXPECT_EQ(missing.orig_dev->names, std::vector<std::string>{"lo"});
}

}  // namespace
