// A bridge's snooping entries and router ports from the bridge tool, in the
// older layouts and in those of iproute2 6.1, over a fake kernel.
#include <gtest/gtest.h>

#include "kernel_fakes.h"

namespace {

using nv::ErrorKind;
using nvtest::joined;
using nvtest::KernelRig;
using nvtest::error_of;

const char kMac1[] = "01:00:5e:01:01:01";  // 239.1.1.1, 224.1.1.1, 239.129.1.1

// One bridge's cache as text: its router ports by VLAN, then its entries by
// key, each with its ports.
std::string mdb_text(const nv::KernelState& kern, const std::string& bridge) {
  const nv::KernMdbCache& c = kern.caches.kern_mdb_cache->at(bridge);
  std::string out = "rports";
  std::map<long, std::string> rports;
  for (const auto& [vid, r] : c.mdb_rports) rports[vid] = joined(r.swp);
  for (const auto& [vid, names] : rports) out += " " + std::to_string(vid) + ": " + names + ";";
  std::map<std::string, std::string> entries;
  for (const auto& [key, e] : c.mdb_entries) {
    EXPECT_EQ(key, std::to_string(e.vid) + "." + e.grp);
    entries[key] = joined(e.swp);
  }
  for (const auto& [key, names] : entries) out += "\n" + key + ": " + names;
  return out;
}

// A bridge without VLAN filtering as iproute2 6.1 lists it: the kernel's
// IPv6 groups, the host's own group 239.7.7.7 (port br0) and router port
// swp2 (this kernel has no vlan_filtering file at all).
const char kUnawareMdb61[] =
    "dev br0 port swp1 grp ff02::1:ff4a:2040 temp proto kernel   259.93\n"
    "dev br0 port br0 grp ff02::6a temp  259.78\n"
    "dev br0 port br0 grp ff02::1:ffc6:fa5c temp  259.78\n"
    "dev br0 port br0 grp 239.7.7.7 temp  260.00\n"
    "dev br0 port swp3 grp ff02::1:ff69:b390 temp proto kernel   259.93\n"
    "dev br0 port swp1 grp 239.2.2.2 temp proto static   258.99\n"
    "dev br0 port swp3 grp 239.1.1.1 temp proto static   258.98\n"
    "dev br0 port swp1 grp 239.1.1.1 permanent proto static     0.00\n"
    "dev br0 port swp2 grp ff02::1:ff02:107b temp proto kernel   260.00\n"
    "router ports on br0: swp2    0.00 permanent\n";

// The same bridge in the older layout, named "bridge" as the older tools'
// switches named it.
const char kUnawareMdbOld[] =
    "dev bridge port bridge grp 239.7.7.7 temp\n"
    "dev bridge port swp1 grp 239.2.2.2 temp\n"
    "dev bridge port swp3 grp 239.1.1.1 temp\n"
    "dev bridge port swp1 grp 239.1.1.1 permanent\n"
    "router ports on bridge: swp2 \n";

KernelRig unaware_rig(const std::string& bridge, const char* listing, bool merge) {
  KernelRig rig(merge);
  rig.ports({"swp1", "swp2", "swp3", "swp4"});
  rig.bridge(bridge, std::nullopt, {"swp1", "swp2", "swp3"});
  rig.mdb(bridge, listing);
  return rig;
}

TEST(KernelSnooping, BridgeWithoutVlanFilteringInBothLayouts) {
  struct Case {
    const char* bridge;
    const char* listing;
    bool merge;
    const char* cache;
  } cases[] = {
      {"br0", kUnawareMdb61, true,
       "rports -1: swp2;\n"
       "-1.01:00:5e:01:01:01: swp3 swp2 swp1\n"
       "-1.01:00:5e:02:02:02: swp1 swp2\n"
       "-1.01:00:5e:07:07:07: swp2"},
      {"br0", kUnawareMdb61, false,
       "rports -1: swp2;\n"
       "-1.01:00:5e:01:01:01: swp3 swp1\n"
       "-1.01:00:5e:02:02:02: swp1\n"
       "-1.01:00:5e:07:07:07: "},
      {"bridge", kUnawareMdbOld, true,
       "rports -1: swp2;\n"
       "-1.01:00:5e:01:01:01: swp3 swp2 swp1\n"
       "-1.01:00:5e:02:02:02: swp1 swp2\n"
       "-1.01:00:5e:07:07:07: swp2"},
      {"bridge", kUnawareMdbOld, false,
       "rports -1: swp2;\n"
       "-1.01:00:5e:01:01:01: swp3 swp1\n"
       "-1.01:00:5e:02:02:02: swp1\n"
       "-1.01:00:5e:07:07:07: "},
  };
  for (const auto& c : cases) {
    KernelRig rig = unaware_rig(c.bridge, c.listing, c.merge);
    const nv::KernMdbEntry* e = rig.kern.kern_dev_get_mdb_entry(c.bridge, -1, kMac1);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->text(), std::string("  grp: ") + kMac1 + "\n    port: swp3\n" +
                             (c.merge ? "    port: swp2\n" : "") + "    port: swp1\n");
    EXPECT_EQ(mdb_text(rig.kern, c.bridge), c.cache) << c.bridge << " merge " << c.merge;
    // The entry is the cached record; later requests run nothing.
    EXPECT_EQ(e, &rig.kern.caches.kern_mdb_cache->at(c.bridge).mdb_entries.at(
                     std::string("-1.") + kMac1));
    EXPECT_EQ(rig.kern.kern_dev_get_mdb_entry(c.bridge, -1, "01:00:5e:09:09:09"), nullptr);
    EXPECT_EQ(rig.kern.kern_dev_get_mdb_entry(c.bridge, 100, kMac1), nullptr);
    EXPECT_EQ(rig.sys().logged("run /sbin/bridge").size(), 1u);
  }
}

TEST(KernelSnooping, RouterPortLines) {
  struct Case {
    const char* bridge;
    const char* line;
    const char* rports;
  } cases[] = {
      {"br0", "router ports on br0: swp2    0.00 permanent", "rports -1: swp2;"},
      {"br0", "router ports on bridge: swp2", "rports -1: swp2;"},
      {"br0", "router ports on br0: swp3 swp2 ", "rports -1: swp3;"},  // the first name only
      {"bridge", "router ports on bridge: swp3 swp4 ", "rports -1: swp3;"},
      {"br0", "router ports on br1: swp2", "rports"},
      {"br0", "router ports on br0.100: swp2", "rports"},
      {"br0", " router ports on br0: swp2", "rports"},
      {"br0", "router ports on br0:swp2", "rports"},
      {"br0", "router ports on br0: ", "rports"},
      {"br0", "router ports on br0:  swp2", "rports"},
      {"br0", "router ports on BR0: swp2", "rports"},
      // The bridge's name is plain text, not a pattern.
      {"b.0", "router ports on b.0: swp2", "rports -1: swp2;"},
      {"b.0", "router ports on br0: swp2", "rports"},
      {"br+", "router ports on brr: swp2", "rports"},
  };
  for (const auto& c : cases) {
    KernelRig rig = unaware_rig(c.bridge, "", true);
    rig.mdb(c.bridge, std::string(c.line) + "\n");
    EXPECT_EQ(rig.kern.kern_dev_get_mdb_entry(c.bridge, -1, kMac1), nullptr);
    EXPECT_EQ(mdb_text(rig.kern, c.bridge), c.rports) << c.line;
  }
}

TEST(KernelSnooping, GroupsThatAreNoIpv4AddressAreSkipped) {
  struct Case {
    const char* grp;
    const char* key;  // empty: no entry
  } cases[] = {
      {"ff02::1:ff4a:2040", ""}, {"ff02::6a", ""},  {"239.1.1", ""},   {"239.1.1.x", ""},
      {"x.1.1.1", ""},           {"239.1..1", ""},  {"239.1.1.1", "-1.01:00:5e:01:01:01"},
      {"224.129.255.10", "-1.01:00:5e:01:ff:0a"},   {"239.1.1.1.9", "-1.01:00:5e:01:01:01"},
  };
  for (const auto& c : cases) {
    KernelRig rig = unaware_rig("br0", "", true);
    rig.mdb("br0", std::string("dev br0 port swp1 grp ") + c.grp + " temp\n");
    rig.kern.kern_dev_get_mdb_entry("br0", -1, kMac1);
    const auto& entries = rig.kern.caches.kern_mdb_cache->at("br0").mdb_entries;
    EXPECT_EQ(entries.size(), *c.key ? 1u : 0u) << c.grp;
    if (*c.key) {
      EXPECT_EQ(entries.count(c.key), 1u) << c.grp;
    }
  }
}

TEST(KernelSnooping, PortsOfSnoopingLines) {
  KernelRig rig(false);
  rig.ports({"swp1", "swp2"});
  rig.bridge("br0", std::nullopt);
  rig.bridge("br9", std::nullopt);
  rig.bond("bond1", "swp3 swp4\n");
  rig.vlan_device("bond1.100", 100, "bond1");
  rig.vlan_device("swp1.100", 100, "swp1");
  rig.link("vx0", "vxlan id 42");
  rig.mdb("br0",
          "dev br0 port bond1 grp 239.1.1.1 temp\n"
          "dev br0 port bond1.100 grp 239.2.2.2 temp\n"
          "dev br0 port swp1.100 grp 239.2.2.2 temp\n"
          "dev br0 port swp2 grp 239.2.2.2 temp\n"
          "dev br0 port swp2 grp 239.2.2.2 permanent\n"
          "dev br0 port vx0 grp 239.3.3.3 temp\n"
          "dev br0 port swp2 grp 239.129.1.1 temp vid 100\n"
          "dev br9 port swp1 grp 239.4.4.4 temp\n"
          " dev br0 port swp1 grp 239.5.5.5 temp\n"
          "dev br0 port swp1 grp\n");
  rig.kern.kern_dev_get_mdb_entry("br0", -1, kMac1);
  EXPECT_EQ(mdb_text(rig.kern, "br0"),
            "rports\n"
            "-1.01:00:5e:01:01:01: swp3 swp4 swp2\n"  // 239.1.1.1 and 239.129.1.1 share a MAC
            "-1.01:00:5e:02:02:02: swp3.100 swp4.100 swp1.100 swp2\n"
            "-1.01:00:5e:03:03:03: vx0");
}

TEST(KernelSnooping, TwoBridgesKeepTheirOwnEntries) {
  KernelRig rig;
  rig.ports({"swp1", "swp2"});
  rig.bridge("br0", std::nullopt);
  rig.bridge("br1", std::nullopt);
  rig.mdb("br0", "dev br0 port swp1 grp 239.1.1.1 temp\n");
  rig.mdb("br1", "dev br1 port swp2 grp 239.1.1.1 temp\n");
  EXPECT_EQ(joined(rig.kern.kern_dev_get_mdb_entry("br0", -1, kMac1)->swp), "swp1");
  EXPECT_EQ(joined(rig.kern.kern_dev_get_mdb_entry("br1", -1, kMac1)->swp), "swp2");
}

TEST(KernelSnooping, EmptyOrFailingListingIsCachedEmpty) {
  for (std::optional<std::string> listing : {std::optional<std::string>(""),
                                             std::optional<std::string>()}) {
    KernelRig rig;
    rig.bridge("br0", std::nullopt);
    rig.sys().programs["/sbin/bridge -d -s mdb show dev br0"] = listing;
    EXPECT_EQ(rig.kern.kern_dev_get_mdb_entry("br0", -1, kMac1), nullptr);
    EXPECT_EQ(rig.kern.kern_dev_get_mdb_entry("br0", 5, kMac1), nullptr);
    EXPECT_EQ(mdb_text(rig.kern, "br0"), "rports");
    EXPECT_EQ(rig.sys().count("run /sbin/bridge -d -s mdb show dev br0"), 1);
  }
}

TEST(KernelSnooping, FailuresPartWayKeepWhatWasRead) {
  KernelRig rig;
  rig.ports({"swp1"});
  rig.bridge("br0", std::nullopt);
  rig.sys().missing.insert("/bin/ip -d link show eth9");
  rig.mdb("br0",
          "dev br0 port swp1 grp 239.1.1.1 temp\n"
          "dev br0 port eth9 grp 239.2.2.2 temp\n"
          "dev br0 port swp1 grp 239.3.3.3 temp\n");
  EXPECT_EQ(error_of([&] { rig.kern.kern_dev_get_mdb_entry("br0", -1, kMac1); }).kind(),
            ErrorKind::OS);
  EXPECT_EQ(joined(rig.kern.kern_dev_get_mdb_entry("br0", -1, kMac1)->swp), "swp1");
  EXPECT_EQ(rig.kern.kern_dev_get_mdb_entry("br0", -1, "01:00:5e:03:03:03"), nullptr);
  EXPECT_EQ(rig.sys().count("run /sbin/bridge -d -s mdb show dev br0"), 1);

  // The listing cannot run at all: nothing is stored, the next request runs it.
  KernelRig r;
  r.bridge("br0", std::nullopt);
  r.sys().missing.insert("/sbin/bridge -d -s mdb show dev br0");
  EXPECT_EQ(error_of([&] { r.kern.kern_dev_get_mdb_entry("br0", -1, kMac1); }).kind(),
            ErrorKind::OS);
  EXPECT_EQ(r.kern.caches.kern_mdb_cache->count("br0"), 0u);
}

TEST(KernelSnooping, RouterPortsOfABridgeWithoutVlanFiltering) {
  // Router ports are merged once per line, after the line's own port.
  KernelRig rig;
  rig.ports({"swp1", "swp2", "swp5"});
  rig.bridge("br0", "0\n");
  rig.bond("bond1", "swp3 swp4\n");
  rig.vlan_device("bond2.100", 100, "bond2");
  rig.bond("bond2", "swp6 swp7\n");
  rig.vlan_device("swp5.100", 100, "swp5");
  rig.link("vx0", "vxlan id 42");
  rig.mdb("br0",
          "dev br0 port swp1 grp 239.1.1.1 temp\n"
          "dev br0 port swp2 grp 239.1.1.1 temp\n"
          "router ports on br0: bond1 0.00 permanent\n"
          "router ports on br0: swp5.100 0.00 permanent\n"
          "router ports on br0: bond2.100 0.00 permanent\n"
          "router ports on br0: vx0 0.00 permanent\n"
          "router ports on br0: swp1 0.00 permanent\n");
  rig.kern.kern_dev_get_mdb_entry("br0", -1, kMac1);
  // A VLAN device keeps its VLAN, as it does on a snooping line; a router
  // port of another kind names no port.
  EXPECT_EQ(mdb_text(rig.kern, "br0"),
            "rports -1: swp3 swp4 swp5.100 swp6.100 swp7.100 swp1;\n"
            "-1.01:00:5e:01:01:01: swp1 swp3 swp4 swp5.100 swp6.100 swp7.100 swp2");
  EXPECT_TRUE(rig.sys().logged("run /sbin/bridge vlan").empty());
}

// A bridge with VLAN filtering as iproute2 6.1 lists it: "proto", flags and
// "src" between the group and its VLAN; router ports swp6 and bond1.
const char kAwareMdb61[] =
    "dev br1 port swp4 grp 239.1.1.1 temp proto static  vid 100  258.98\n"
    "dev br1 port swp5 grp 239.1.1.1 permanent proto static  vid 100    0.00\n"
    "dev br1 port swp5 grp 239.3.3.3 src 10.0.0.1 temp proto static  vid 100  258.98\n"
    "dev br1 port swp4 grp 239.4.4.4 temp offload fast_leave proto static  vid 200  258.98\n"
    "dev br1 port br1 grp 239.7.7.7 temp  vid 100  259.99\n"
    "dev br1 port swp4 grp ff02::1:ff00:1 temp proto kernel  vid 100  259.93\n"
    "dev br1 port swp5 grp 239.5.5.5 temp proto static   258.98\n"
    "router ports on br1: swp6    0.00 permanent\n"
    "router ports on br1: bond1    0.00 permanent\n";
const char kAwareVlansSwp6_61[] =
    "port              vlan-id  \n"
    "swp6              100 PVID Egress Untagged\n"
    "                  200\n"
    "                  300\n"
    "\n";
const char kAwareVlansBond1_61[] =
    "port              vlan-id  \n"
    "bond1             100\n"
    "\n";

// The older layout: exactly one word between the group and its VLAN; the
// VLAN listing with tabs.
const char kAwareMdbOld[] =
    "dev bridge port swp4 grp 239.1.1.1 temp vid 100\n"
    "dev bridge port swp5 grp 239.1.1.1 permanent vid 100\n"
    "dev bridge port swp5 grp 239.3.3.3 temp vid 100\n"
    "dev bridge port swp4 grp 239.4.4.4 temp vid 200\n"
    "dev bridge port bridge grp 239.7.7.7 temp vid 100\n"
    "dev bridge port swp5 grp 239.5.5.5 temp\n"
    "router ports on bridge: swp6 bond1 \n"
    "router ports on bridge: bond1 \n";
const char kAwareVlansSwp6Old[] =
    "port\tvlan ids\n"
    "swp6\t 100 PVID Egress Untagged\n"
    "\t 200\n"
    "\t 300\n"
    "\n";
const char kAwareVlansBond1Old[] =
    "port\tvlan ids\n"
    "bond1\t 100\n"
    "\n";

TEST(KernelSnooping, BridgeWithVlanFilteringInBothLayouts) {
  const char* const expected =
      "rports 100: swp6 swp3 swp4; 200: swp6; 300: swp6;\n"
      "100.01:00:5e:01:01:01: swp4 swp6 swp3 swp5\n"
      "100.01:00:5e:03:03:03: swp5 swp6 swp3 swp4\n"
      "100.01:00:5e:07:07:07: swp6 swp3 swp4\n"
      "200.01:00:5e:04:04:04: swp4 swp6";
  struct Case {
    const char *bridge, *mdb, *swp6, *bond1;
  } layouts[] = {
      {"br1", kAwareMdb61, kAwareVlansSwp6_61, kAwareVlansBond1_61},
      {"bridge", kAwareMdbOld, kAwareVlansSwp6Old, kAwareVlansBond1Old},
  };
  for (const auto& c : layouts) {
    // The merge setting concerns bridges without VLAN filtering only.
    for (bool merge : {true, false}) {
      KernelRig rig(merge);
      rig.ports({"swp4", "swp5", "swp6"});
      rig.bridge(c.bridge, "1\n");
      rig.bond("bond1", "swp3 swp4\n");
      rig.mdb(c.bridge, c.mdb);
      rig.vlan_listing("swp6", c.swp6);
      rig.vlan_listing("bond1", c.bond1);
      const nv::KernMdbEntry* e = rig.kern.kern_dev_get_mdb_entry(c.bridge, 100, kMac1);
      ASSERT_NE(e, nullptr);
      EXPECT_EQ(e->text(), std::string("  vid: 100 grp: ") + kMac1 +
                               "\n    port: swp4\n    port: swp6\n    port: swp3\n    port: swp5\n");
      EXPECT_EQ(mdb_text(rig.kern, c.bridge), expected) << c.bridge;
      // Entries there carry their VLAN ids.
      EXPECT_EQ(rig.kern.kern_dev_get_mdb_entry(c.bridge, -1, kMac1), nullptr);
      // One VLAN listing per router-port line.
      EXPECT_EQ(rig.sys().count("run /sbin/bridge vlan show dev swp6"), 1);
      EXPECT_EQ(rig.sys().count("run /sbin/bridge vlan show dev bond1"), 1);
    }
  }
}

TEST(KernelSnooping, VlanOfARouterPortListingLine) {
  struct Case {
    const char* line;
    const char* rports;
  } cases[] = {
      {"swp2\t 100 PVID Egress Untagged", "rports 100: swp6;"},
      {"\t 200", "rports 200: swp6;"},
      {"swp1              300 PVID Egress Untagged", "rports 300: swp6;"},
      {"                  200", "rports 200: swp6;"},
      {"swp1 100", "rports 100: swp6;"},
      {"  100", "rports 100: swp6;"},  // an empty second field
      {"word\t100\tPVID", "rports 100: swp6;"},
      {"port\tvlan ids", "rports"},
      {"port              vlan-id  ", "rports"},
      {"swp1\t 10-12", "rports"},
      {"swp1              10-12", "rports"},
      {"swp1 word", "rports"},
      {" 100abc", "rports"},
      {"swp1", "rports"},
      {"100", "rports"},
      {"", "rports"},
  };
  for (const auto& c : cases) {
    KernelRig rig;
    rig.ports({"swp6"});
    rig.bridge("br1", "1\n");
    rig.mdb("br1", "router ports on br1: swp6\n");
    rig.vlan_listing("swp6", std::string(c.line) + "\n");
    rig.kern.kern_dev_get_mdb_entry("br1", 100, kMac1);
    EXPECT_EQ(mdb_text(rig.kern, "br1"), c.rports) << c.line;
  }

  // A failing listing gives no entries; a router port of another kind
  // gives its VLANs' entries with no ports.
  KernelRig rig;
  rig.ports({"swp6"});
  rig.link("vx0", "vxlan id 42");
  rig.bridge("br1", "1\n");
  rig.mdb("br1", "router ports on br1: swp6\nrouter ports on br1: vx0\n");
  rig.vlan_listing("vx0", "vx0               100\n                  200\n");
  rig.kern.kern_dev_get_mdb_entry("br1", 100, kMac1);
  EXPECT_EQ(mdb_text(rig.kern, "br1"), "rports 100: ; 200: ;");
}

TEST(KernelSnooping, VlanOfASnoopingLine) {
  struct Case {
    const char* line;
    const char* key;  // empty: skipped
  } cases[] = {
      {"dev br1 port swp4 grp 239.1.1.1 temp vid 100", "100"},
      {"dev br1 port swp4 grp 239.1.1.1 temp proto static  vid 5  258.98", "5"},
      {"dev br1 port swp4 grp 239.1.1.1 src 10.0.0.1 temp proto static  vid 5  258.98", "5"},
      {"dev br1 port swp4 grp 239.1.1.1 temp offload fast_leave blocked proto static  vid 5", "5"},
      {"dev br1 port swp4 grp 239.1.1.1 vid 5", "5"},
      {"dev br1 port swp4 grp 239.1.1.1 temp vid 7 vid 8", "7"},
      {"dev br1 port vid grp 239.1.1.1 temp vid 9", "9"},
      {"dev br1 port swp4 grp 239.1.1.1 temp", ""},
      {"dev br1 port swp4 grp 239.1.1.1 temp vid 5x", ""},
      {"dev br1 port swp4 grp 239.1.1.1 temp vid x", ""},
      {"dev br1 port swp4 grp 239.1.1.1 temp vid  5", ""},
      {"dev br1 port swp4 grp 239.1.1.1 temp vid 5x vid 6", ""},
      {"dev br1 port swp4 grp 239.1.1.1 temp vid", ""},
      {"dev br2 port swp4 grp 239.1.1.1 temp vid 5", ""},
      {" dev br1 port swp4 grp 239.1.1.1 temp vid 5", ""},
  };
  for (const auto& c : cases) {
    KernelRig rig;
    rig.ports({"swp4", "vid"});
    rig.bridge("br1", "1\n");
    rig.mdb("br1", std::string(c.line) + "\n");
    rig.kern.kern_dev_get_mdb_entry("br1", 100, kMac1);
    const auto& entries = rig.kern.caches.kern_mdb_cache->at("br1").mdb_entries;
    EXPECT_EQ(entries.size(), *c.key ? 1u : 0u) << c.line;
    if (*c.key) {
      EXPECT_EQ(entries.count(c.key + std::string(".") + kMac1), 1u) << c.line;
    }
  }
  // Without VLAN filtering every line files its group under -1.
  KernelRig rig;
  rig.ports({"swp4"});
  rig.bridge("br0", "0\n");
  rig.mdb("br0", "dev br0 port swp4 grp 239.1.1.1 temp vid 100\n");
  EXPECT_NE(rig.kern.kern_dev_get_mdb_entry("br0", -1, kMac1), nullptr);
}

}  // namespace
