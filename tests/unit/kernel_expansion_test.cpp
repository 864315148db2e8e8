// Kernel devices expanded into port names, over a small fake switch: a
// bridge without VLAN filtering (br0), one with it (br1), a bond and VLAN
// devices.
#include <gtest/gtest.h>

#include "kernel_fakes.h"

namespace {

using nv::ErrorKind;
using nvtest::joined;
using nvtest::KernelRig;
using nvtest::error_of;

// br0: members swp1, swp2, bond1 (swp3, swp4) and swp5, a router port; the
// group 239.1.1.1 snooped on swp1 and swp2, the host's own group 239.7.7.7.
// br1: VLAN 100 on swp10 (tagged) and swp11 (untagged), the group 239.1.1.1
// snooped on swp10 and swp12 in VLAN 100; vlan100 is its VLAN device.
void small_switch(KernelRig& rig) {
  rig.ports({"swp1", "swp2", "swp5", "swp10", "swp11", "swp12"});
  rig.bond("bond1", "swp3 swp4\n");
  rig.vlan_device("bond1.100", 100, "bond1");
  rig.vlan_device("swp1.100", 100, "swp1");
  rig.vlan_device("vlan100", 100, "br1");
  rig.link("vlan999", "vlan protocol 802.1Q id 999");
  rig.link("vx0", "vxlan id 42");
  rig.bridge("br0", std::nullopt, {"swp1", "swp2", "bond1", "swp5"});
  rig.mdb("br0",
          "dev br0 port br0 grp ff02::6a temp  259.78\n"
          "dev br0 port br0 grp 239.7.7.7 temp  260.00\n"
          "dev br0 port swp2 grp 239.1.1.1 temp proto static   258.98\n"
          "dev br0 port swp1 grp 239.1.1.1 permanent proto static     0.00\n"
          "router ports on br0: swp5    0.00 permanent\n");
  rig.bridge("br1", "1\n", {"swp10", "swp11", "swp12"});
  rig.mdb("br1",
          "dev br1 port swp10 grp 239.1.1.1 temp proto static  vid 100  258.98\n"
          "dev br1 port swp12 grp 239.1.1.1 temp proto static  vid 100  258.98\n");
  rig.sys().programs["/sbin/bridge -j vlan show"] =
      R"([{"ifname":"br1","vlans":[{"vlan":100}]},)"
      R"({"ifname":"swp10","vlans":[{"vlan":100}]},)"
      R"({"ifname":"swp11","vlans":[{"vlan":100,"flags":["PVID","Egress Untagged"]}]}])";
}

std::string expand(KernelRig& rig, const std::string& grp, const std::string& dev,
                   long parent_vlan = -1) {
  nv::Set<std::string> names;
  rig.kern.expand_kern_dev(grp, dev, parent_vlan, names);
  return joined(names);
}

TEST(KernelExpansion, DevicesIntoPortNames) {
  struct Case {
    const char *grp, *dev;
    long parent_vlan;
    const char* merged;      // router ports merged on br0
    const char* not_merged;  // not merged
  } cases[] = {
      {"239.1.1.1", "swp1", -1, "swp1", "swp1"},
      {"239.1.1.1", "swp1", 200, "swp1.200", "swp1.200"},
      {"239.1.1.1", "swp1.100", -1, "swp1.100", "swp1.100"},
      {"239.1.1.1", "bond1", -1, "swp3 swp4", "swp3 swp4"},
      {"239.1.1.1", "bond1.100", -1, "swp3.100 swp4.100", "swp3.100 swp4.100"},
      // Snooped, flooded to every member (bonds as their slaves), the host's own group.
      {"239.1.1.1", "br0", -1, "swp1 swp2 swp5", "swp1 swp2"},
      {"239.9.9.9", "br0", -1, "swp1 swp2 swp3 swp4 swp5", "swp1 swp2 swp3 swp4 swp5"},
      {"239.7.7.7", "br0", -1, "swp5", ""},
      // 224.1.1.1 and 225.1.1.1 have the MAC of 239.1.1.1.
      {"224.1.1.1", "br0", -1, "swp1 swp2 swp5", "swp1 swp2"},
      {"225.1.1.1", "br0", -1, "swp1 swp2 swp5", "swp1 swp2"},
      {"239.1.1.1", "vlan100", -1, "swp10.100 swp12.100", "swp10.100 swp12.100"},
      {"239.9.9.9", "vlan100", -1, "swp10.100 swp11.100", "swp10.100 swp11.100"},
      {"239.1.1.1", "br1", -1, "", ""},  // no VLAN, no entry and no members
      {"239.1.1.1", "vlan999", -1, "", ""},
      {"239.1.1.1", "vx0", -1, "", ""},
      {"239.1.1.1", "lo", -1, "", ""},
  };
  for (bool merge : {true, false}) {
    KernelRig rig(merge);
    small_switch(rig);
    for (const auto& c : cases)
      EXPECT_EQ(expand(rig, c.grp, c.dev, c.parent_vlan), merge ? c.merged : c.not_merged)
          << c.dev << " " << c.grp << " merge " << merge;
    // Every source read once, the bond's slaves on every request.
    for (const char* once : {"run /sbin/bridge -d -s mdb show dev br0",
                             "run /sbin/bridge -d -s mdb show dev br1",
                             "run /sbin/bridge -j vlan show", "list /sys/class/net/br0/brif",
                             "read /proc/net/vlan/config", "run /bin/ip -d link show br0"})
      EXPECT_EQ(rig.sys().count(once), 1) << once;
    EXPECT_GT(rig.sys().count("read /sys/class/net/bond1/bonding/slaves"), 2);
  }
}

TEST(KernelExpansion, AddsToTheSetItIsGiven) {
  KernelRig rig;
  small_switch(rig);
  nv::Set<std::string> names;
  names.insert("swp2");
  names.insert("other");
  rig.kern.expand_kern_dev("239.1.1.1", "br0", -1, names);
  EXPECT_EQ(joined(names), "other swp1 swp2 swp5");
  rig.kern.expand_kern_dev("239.1.1.1", "vx0", -1, names);
  EXPECT_EQ(joined(names), "other swp1 swp2 swp5");
  nv::Set<std::string> fresh;
  rig.kern.expand_kern_dev("239.1.1.1", "bond1", -1, fresh);
  EXPECT_EQ(joined(fresh), "swp3 swp4");
  EXPECT_EQ(joined(names), "other swp1 swp2 swp5");
}

TEST(KernelExpansion, FloodingFollowsTheFlagAsItStands) {
  KernelRig rig;
  small_switch(rig);
  rig.kern.caches.flood_mdb_misses = false;
  EXPECT_EQ(expand(rig, "239.9.9.9", "br0"), "");
  EXPECT_EQ(expand(rig, "239.9.9.9", "vlan100"), "");
  EXPECT_EQ(expand(rig, "239.1.1.1", "br0"), "swp1 swp2 swp5");
  rig.kern.caches.flood_mdb_misses = true;
  EXPECT_EQ(expand(rig, "239.9.9.9", "br0"), "swp1 swp2 swp3 swp4 swp5");
  EXPECT_EQ(expand(rig, "239.9.9.9", "vlan100"), "swp10.100 swp11.100");
}

TEST(KernelExpansion, CachesAreReadAsTheyStandOnEveryCall) {
  KernelRig rig;
  small_switch(rig);
  EXPECT_EQ(expand(rig, "239.9.9.9", "br0"), "swp1 swp2 swp3 swp4 swp5");
  // Whoever holds the caches changes them; the next expansion sees it.
  rig.kern.caches.kern_br_cache->insert_or_assign("br0", nv::List<std::string>{"swp9"});
  EXPECT_EQ(expand(rig, "239.9.9.9", "br0"), "swp9");
  rig.kern.caches.kern_mdb_cache->at("br0").mdb_entries.at("-1.01:00:5e:01:01:01").swp = nv::List<std::string>({"swp8"});
  EXPECT_EQ(expand(rig, "239.1.1.1", "br0"), "swp8");
  // Taken for VLAN-aware, br0 floods the group to VLAN 100.
  rig.kern.caches.kern_dev_cache->at("br0").vlan_filtering = 1;
  EXPECT_EQ(expand(rig, "239.1.1.1", "br0", 100), "swp10.100 swp11.100");
  rig.kern.caches.kern_vlan_cache->at(100).untagged_swp.push_back("swp13");
  EXPECT_EQ(expand(rig, "239.9.9.9", "vlan100"), "swp10.100 swp11.100 swp13.100");
  // A bridge dropped from the snooping cache is read again.
  rig.kern.caches.kern_mdb_cache->erase("br1");
  EXPECT_EQ(expand(rig, "239.1.1.1", "vlan100"), "swp10.100 swp12.100");
  EXPECT_EQ(rig.sys().count("run /sbin/bridge -d -s mdb show dev br1"), 2);
}

TEST(KernelExpansion, Failures) {
  KernelRig rig;
  small_switch(rig);
  // A route group that is no IPv4 address fails on a bridge only.
  nv::Error e = error_of([&] { expand(rig, "ff02::1", "br0"); });
  EXPECT_EQ(e.kind(), ErrorKind::Value);
  EXPECT_EQ(e.message(), "invalid literal for int() with base 10: 'ff02::1'");
  EXPECT_EQ(error_of([&] { expand(rig, "239.1.1", "br0"); }).kind(), ErrorKind::Index);
  EXPECT_EQ(expand(rig, "239.1.1", "swp1"), "swp1");
  // A reader's error reaches the caller; what was added before stays.
  rig.sys().missing.insert("/bin/ip -d link show br7");
  nv::Set<std::string> names;
  names.insert("swp1");
  EXPECT_EQ(error_of([&] { rig.kern.expand_kern_dev("239.1.1.1", "br7", -1, names); })
                .kind(),
            ErrorKind::OS);
  EXPECT_EQ(joined(names), "swp1");
}

}  // namespace
