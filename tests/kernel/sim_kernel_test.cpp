// The kernel side over the simulated RIOT-off switch's kernel
// (simswitch/switches/riot_off/kernel), laid over / in a private mount
// namespace: fake /bin/ip and /sbin/bridge that print its listings, its
// /proc/net/vlan/config and /sys/class/net, all read through the real
// System.  SIMSWITCH_IPROUTE2 picks the listings of iproute2 6.1 (the
// default) or of older versions; every result is the same for both.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include <map>

#include "common/text.h"
#include "kernel_host.h"

namespace {

using nvtest::Kernel;

const int kPorts = 14;  // swp1..swp14, as the switch's port table has them

std::string layout() {
  const char* v = std::getenv("SIMSWITCH_IPROUTE2");
  return v && *v ? v : "6.1";
}

TEST(SimKernel, ToolsAndFilesComeFromTheFixture) {
  // The listings of the chosen layout.
  const std::string listing =
      nv::real_system()->capture({"/sbin/bridge", "-d", "-s", "mdb", "show", "dev", "br200"})
          .value_or("(failed)");
  EXPECT_NE(listing.find(layout() == "old" ? "router ports on bridge: swp7 \n"
                                           : "router ports on br200: swp7    0.00 permanent\n"),
            std::string::npos)
      << layout() << ":\n" << listing;
  // A device the fake ip does not know fails as the real one does.
  EXPECT_EQ(nv::real_system()->capture({"/bin/ip", "-d", "link", "show", "nosuch"}), std::nullopt);

  Kernel k(kPorts, true);
  // /proc/net/vlan/config, from the bind mount on this process's /proc/<pid>/net.
  EXPECT_EQ(k.kern.kern_get_vlan_and_atlink("swp9.300"), std::make_pair(300L, std::string("swp9")));
  EXPECT_EQ(k.kern.caches.kern_vlan_dev_cache->size(), 8u);
  // /sys/class/net.
  EXPECT_EQ(k.kern.kern_dev_vlan_filtering_get("bridge"), 1);
  EXPECT_EQ(k.kern.kern_dev_vlan_filtering_get("br100"), 0);
  EXPECT_EQ(Kernel::joined(k.kern.expand_kern_bond("bond1")), "swp2 swp3");
  EXPECT_TRUE(k.kern.expand_kern_bond("br100").empty());
}

TEST(SimKernel, DeviceKindsAndBaseDevices) {
  Kernel k(kPorts, true);
  const std::pair<const char*, const char*> cases[] = {
      {"br100", "bridge br100 -1"},    {"bridge", "bridge bridge -1"},
      {"bond1", "bond bond1 -1"},      {"swp5.100", "swp swp5 100"},
      {"swp12.500", "swp swp12 500"},  {"vlan1", "bridge bridge 1"},
      {"vlan10", "bridge bridge 10"},  {"swp7", "swp swp7 -1"},
      {"lo", "unk lo -1"},             {"nosuch", "unk nosuch -1"},
  };
  for (const auto& [dev, base] : cases) EXPECT_EQ(k.base(dev), base) << dev;
  EXPECT_EQ(k.host.sys.count("read /proc/net/vlan/config"), 1);
  EXPECT_EQ(k.host.sys.count("run /bin/ip -d link show swp7"), 0);
  EXPECT_EQ(Kernel::joined(k.host.sys.repeated()), "");
}

TEST(SimKernel, BridgeVlansAndMembers) {
  Kernel k(kPorts, true);
  EXPECT_EQ(Kernel::joined(k.kern.kern_get_vlan_members(1)), "swp5 swp6");
  EXPECT_EQ(Kernel::joined(k.kern.kern_get_vlan_members(10)), "swp6 swp11 swp14");
  EXPECT_TRUE(k.kern.kern_get_vlan_members(100).empty());
  EXPECT_EQ(Kernel::sorted(k.kern.kern_get_br_members("br100").get().values()),
            "swp1 swp13 swp2 swp3 swp4 swp5.100 swp6.100");
  EXPECT_EQ(Kernel::sorted(k.kern.kern_get_br_members("br200").get().values()), "swp5.200 swp6.200 swp7 swp8");
  EXPECT_EQ(Kernel::sorted(k.kern.kern_get_br_members("bridge").get().values()), "swp11 swp14 swp5 swp6");
  EXPECT_EQ(Kernel::joined(k.host.sys.repeated()), "");
}

// A bridge's snooping cache as text: router ports by VLAN, then entries by
// key with their ports in order.
std::string mdb_text(const nv::KernMdbCache& c) {
  std::string out = "rports";
  std::map<long, std::string> rports;
  for (const auto& [vid, r] : c.mdb_rports) rports[vid] = Kernel::joined(r.swp);
  for (const auto& [vid, names] : rports) out += " " + std::to_string(vid) + ": " + names + ";";
  std::map<std::string, std::string> entries;
  for (const auto& [key, e] : c.mdb_entries) entries[key] = Kernel::joined(e.swp);
  for (const auto& [key, names] : entries) out += "\n" + key + ": " + names;
  return out;
}

TEST(SimKernel, SnoopingStateOfEachBridge) {
  struct Case {
    const char* bridge;
    const char* merged;
    const char* not_merged;
  } cases[] = {
      {"br100",
       "rports\n"
       "-1.01:00:5e:01:01:01: swp2 swp3\n"
       "-1.01:00:5e:01:01:02: swp1 swp6.100 swp13\n"
       "-1.01:00:5e:01:01:03: swp1\n"
       "-1.01:00:5e:01:01:04: swp4",
       nullptr},
      {"br200",
       "rports -1: swp7;\n"
       "-1.01:00:5e:01:01:01: swp5.200 swp7\n"
       "-1.01:00:5e:01:01:02: swp8 swp7\n"
       "-1.01:00:5e:01:01:03: swp7",
       "rports -1: swp7;\n"
       "-1.01:00:5e:01:01:01: swp5.200\n"
       "-1.01:00:5e:01:01:02: swp8\n"
       "-1.01:00:5e:01:01:03: "},
      // With VLAN filtering the router ports are merged either way.
      {"bridge",
       "rports 10: swp11 swp14;\n"
       "1.01:00:5e:02:02:02: \n"
       "1.01:00:5e:03:03:03: swp5 swp6\n"
       "10.01:00:5e:0a:0a:0a: swp6 swp11 swp14",
       nullptr},
  };
  for (bool merge : {true, false}) {
    Kernel k(kPorts, merge);
    for (const auto& c : cases) {
      k.kern.kern_dev_get_mdb_entry(c.bridge, -1, "01:00:5e:00:00:00");
      EXPECT_EQ(mdb_text(k.kern.caches.kern_mdb_cache->at(c.bridge)),
                merge || !c.not_merged ? c.merged : c.not_merged)
          << c.bridge << " merge " << merge << " iproute2 " << layout();
    }
    EXPECT_EQ(k.host.sys.count("run /sbin/bridge vlan show dev bond2"), 1);
    EXPECT_EQ(Kernel::joined(k.host.sys.repeated()), "");
  }
}

std::vector<std::string> split_words(const std::string& text) {
  std::vector<std::string> out;
  for (std::string_view w : nv::words(text)) out.emplace_back(w);
  return out;
}

// The routes that the simulated host hands to the checker, with what their
// kernel side expands to under the XGS checker's policy (router ports
// merged); the hardware side is in the comments of kernel_routes.txt.
struct Route {
  std::string key, iif, oil;
  const char* iif_base = "";
  const char* iif_ports = "";
  const char* oif_ports = "";
};

TEST(SimKernel, RoutesOfTheSimulatedHost) {
  const Route expected[] = {
      {"default, (10.1.1.10,239.1.1.1)", "br100", "br200 swp9.300 swp10", "bridge br100 -1",
       "swp2 swp3", "swp10 swp5.200 swp7 swp9.300"},
      {"default, (0.0.0.0,239.1.1.2)", "br200", "br100", "bridge br200 -1", "swp7 swp8",
       "swp1 swp13 swp6.100"},
      {"default, (10.1.1.11,239.1.1.3)", "swp9.300", "br100 br200", "swp swp9 300", "swp9.300",
       "swp1 swp7"},
      {"default, (10.1.1.12,239.1.1.4)", "br100", "swp10", "bridge br100 -1", "swp4", "swp10"},
      {"red, (10.2.2.2,239.2.2.2)", "vlan1", "swp12.500", "bridge bridge 1", "", "swp12.500"},
  };

  // The table the demo reads holds exactly these routes.
  std::ifstream f(NORVASK_SOURCE_DIR "/simswitch/switches/riot_off/kernel_routes.txt");
  ASSERT_TRUE(f) << "kernel_routes.txt";
  std::vector<Route> table;
  std::string line;
  while (std::getline(f, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string_view> fields = nv::split(line, " | ");
    ASSERT_EQ(fields.size(), 3u) << line;
    Route r;
    r.key = fields[0];
    r.iif = fields[1];
    r.oil = fields[2];
    table.push_back(r);
  }
  ASSERT_EQ(table.size(), std::size(expected));

  Kernel k(kPorts, true);
  for (size_t i = 0; i < table.size(); ++i) {
    const Route& r = expected[i];
    EXPECT_EQ(table[i].key, r.key);
    EXPECT_EQ(table[i].iif, r.iif) << r.key;
    EXPECT_EQ(table[i].oil, r.oil) << r.key;
    const std::string grp = r.key.substr(r.key.rfind(',') + 1, r.key.size() - r.key.rfind(',') - 2);
    EXPECT_EQ(k.base(r.iif), r.iif_base) << r.key;
    EXPECT_EQ(k.expand(grp, r.iif), r.iif_ports) << r.key;
    nv::Set<std::string> oifs;
    for (const std::string& oif : split_words(r.oil)) k.kern.expand_kern_dev(grp, oif, -1, oifs);
    EXPECT_EQ(Kernel::sorted(oifs.values()), r.oif_ports) << r.key;
  }
  // Groups that no bridge snooped flood to the bridge, or to the VLAN.
  EXPECT_EQ(k.expand("239.9.9.9", "br100"), "swp1 swp13 swp2 swp3 swp4 swp5.100 swp6.100");
  EXPECT_EQ(k.expand("239.9.9.9", "br200"), "swp5.200 swp6.200 swp7 swp8");
  EXPECT_EQ(k.expand("239.9.9.9", "vlan1"), "swp5.1 swp6.1");
  EXPECT_EQ(k.expand("239.9.9.9", "vlan10"), "swp11.10 swp14.10 swp6.10");
  EXPECT_EQ(k.expand("239.10.10.10", "vlan10"), "swp11.10 swp14.10 swp6.10");
  EXPECT_EQ(k.expand("239.3.3.3", "vlan1"), "swp5.1 swp6.1");
  EXPECT_EQ(k.expand("239.3.3.3", "bridge"), "");  // no VLAN
  // Each source was read once.
  EXPECT_EQ(Kernel::joined(k.host.sys.repeated()), "");
}

}  // namespace
