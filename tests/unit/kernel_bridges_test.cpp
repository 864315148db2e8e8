// Bridge VLAN membership from the bridge tool's JSON, and bridge members
// from sysfs, over a fake kernel.
#include <gtest/gtest.h>

#include <map>

#include "kernel_fakes.h"

namespace {

using nv::ErrorKind;
using nvtest::joined;
using nvtest::KernelRig;
using nvtest::error_of;

const char kVlanShow[] = "/sbin/bridge -j vlan show";

// The whole VLAN cache as one text: "vid: tagged | untagged; ...", by VLAN.
std::string vlan_cache_text(const nv::KernelState& kern) {
  std::map<long, std::string> by_vid;
  for (const auto& [vid, e] : *kern.caches.kern_vlan_cache)
    by_vid[vid] = joined(e.tagged_swp) + " | " + joined(e.untagged_swp);
  std::string out;
  for (const auto& [vid, text] : by_vid) out += std::to_string(vid) + ": " + text + "; ";
  return out;
}

struct KernelVlanCache : ::testing::Test {
  void SetUp() override {
    rig.ports({"swp1", "swp2", "swp5"});
    rig.bridge("br1", "1\n");
    rig.bond("bond1", "swp3 swp4\n");
    rig.link("vx0", "vxlan id 42");
  }
  KernelRig rig;
};

TEST_F(KernelVlanCache, PortsOfEachVlanFromTheBridgeTool) {
  // iproute2 6.1, one line per device (the tool prints it all on one line).
  rig.sys().programs[kVlanShow] =
      R"([{"ifname":"br1","vlans":[{"vlan":1,"flags":["PVID","Egress Untagged"]},{"vlan":100}]},)"
      R"({"ifname":"swp1","vlans":[{"vlan":100},{"vlan":300,"flags":["PVID","Egress Untagged"]}]},)"
      R"({"ifname":"swp2","vlans":[{"vlan":100,"flags":["Egress Untagged"]}]},)"
      R"({"ifname":"bond1","vlans":[{"vlan":100},{"vlan":200,"flags":["PVID"]}]},)"
      R"({"ifname":"vx0","vlans":[{"vlan":"100"}, {"flags":["Egress Untagged"]}]},)"
      R"({"ifname":"swp5","vlans":[]}])";
  EXPECT_EQ(joined(rig.kern.kern_get_vlan_members(100)), "swp1 swp3 swp4 vx0 swp2");
  // The bridge's own VLANs add nothing; a VLAN object without "vlan" is VLAN 0.
  EXPECT_EQ(vlan_cache_text(rig.kern),
            "0:  | vx0; 100: swp1 swp3 swp4 vx0 | swp2; 200: swp3 swp4 | ; 300:  | swp1; ");
  EXPECT_TRUE(rig.kern.kern_get_vlan_members(1).empty());
  EXPECT_TRUE(rig.kern.kern_get_vlan_members(999).empty());
  // The result is a new list.
  std::vector<std::string> got = rig.kern.kern_get_vlan_members(300);
  got.push_back("swp9");
  EXPECT_EQ(joined(rig.kern.kern_get_vlan_members(300)), "swp1");
  EXPECT_EQ(rig.sys().count(std::string("run ") + kVlanShow), 1);
  // A device with no VLANs is never asked for its kind.
  EXPECT_EQ(rig.sys().count("run /bin/ip -d link show swp5"), 0);
  EXPECT_EQ(rig.sys().count("run /bin/ip -d link show br1"), 1);
}

TEST_F(KernelVlanCache, WhatDoesNotFitTheLayoutIsSkippedOneElementAtATime) {
  const std::string good = R"({"ifname":"swp9","vlans":[{"vlan":9}]})";
  struct Case {
    std::string json;
    const char* cache;
  } cases[] = {
      // Top-level values that are no array: the older tools' object among them.
      {"{}", ""},
      {R"({"swp1":[{"vlan":1,"flags":["PVID","Egress Untagged"]}]})", ""},
      {good, ""},
      {R"("swp1")", ""},
      {"5", ""},
      // Devices.
      {"[1, \"swp1\", null, [], " + good + "]", "9: swp9 | ; "},
      {R"([{"vlans":[{"vlan":5}]}, {"ifname":7,"vlans":[{"vlan":5}]}, )" + good + "]",
       "9: swp9 | ; "},
      {R"([{"ifname":"swp1"}, {"ifname":"swp1","vlans":{"vlan":5}}, )"
       R"({"ifname":"swp1","vlans":null}, )" + good + "]",
       "9: swp9 | ; "},
      // VLAN objects, and "vlan" values that are neither integer nor digits.
      {R"([{"ifname":"swp1","vlans":[5, "x", null, {"vlan":"5a"}, {"vlan":""}, {"vlan":" 5"},)"
       R"( {"vlan":5.5}, {"vlan":true}, {"vlan":null}, {"vlan":[5]}, {"vlan":6}]}, )" + good + "]",
       "6: swp1 | ; 9: swp9 | ; "},
      {R"([{"ifname":"swp1","vlans":[{"vlan":"007"}, {"vlan":-3}]}])", "-3: swp1 | ; 7: swp1 | ; "},
      // Flags: only an array holds them; only the text itself counts.
      {R"([{"ifname":"swp1","vlans":[{"vlan":7,"flags":"Egress Untagged"},)"
       R"( {"vlan":8,"flags":[1, null, "Egress Untagged"]}, {"vlan":9,"flags":["egress untagged"]}]}])",
       "7: swp1 | ; 8:  | swp1; 9: swp1 | ; "},
  };
  for (const auto& c : cases) {
    KernelRig r;
    r.ports({"swp1", "swp9"});
    r.sys().programs[kVlanShow] = c.json;
    EXPECT_TRUE(r.kern.kern_get_vlan_members(1).empty());
    EXPECT_EQ(vlan_cache_text(r.kern), c.cache) << c.json;
  }
}

TEST_F(KernelVlanCache, ReadOnceWhateverHappens) {
  // The tool fails: the fallback "{}" gives no VLANs.
  rig.kern.kern_get_vlan_members(100);
  rig.kern.kern_get_vlan_members(100);
  EXPECT_EQ(rig.sys().count(std::string("run ") + kVlanShow), 1);
  EXPECT_TRUE(rig.kern.caches.kern_vlan_cache->empty());

  // Text that is not JSON fails as the interpreter's parser does, once.
  for (const char* text : {"", "not json", "[{\"ifname\":\"swp1\",", "[] x"}) {
    KernelRig r;
    r.sys().programs[kVlanShow] = text;
    nv::Error e = error_of([&] { r.kern.kern_get_vlan_members(100); });
    EXPECT_EQ(e.kind(), ErrorKind::Value) << text;
    EXPECT_TRUE(r.kern.kern_get_vlan_members(100).empty());
    EXPECT_EQ(r.sys().count(std::string("run ") + kVlanShow), 1);
  }

  // A failure part-way keeps what was read before it, and is not retried.
  KernelRig r;
  r.ports({"swp1"});
  r.sys().missing.insert("/bin/ip -d link show swp7");
  r.sys().programs[kVlanShow] =
      R"([{"ifname":"swp1","vlans":[{"vlan":100}]},{"ifname":"swp7","vlans":[{"vlan":100}]}])";
  nv::Error e = error_of([&] { r.kern.kern_get_vlan_members(100); });
  EXPECT_EQ(e.kind(), ErrorKind::OS);
  EXPECT_EQ(joined(r.kern.kern_get_vlan_members(100)), "swp1");
  EXPECT_EQ(r.sys().count(std::string("run ") + kVlanShow), 1);
}

TEST(KernelBridgeMembers, BondsBecomeTheirSlaves) {
  KernelRig rig;
  rig.ports({"swp1", "swp5"});
  rig.bond("bond1", "swp3 swp4\n");
  rig.bond("bond2", "swp6\n");
  rig.vlan_device("bond1.100", 100, "bond1");
  rig.vlan_device("swp1.100", 100, "swp1");
  rig.link("vx0", "vxlan id 42");
  rig.bridge("br0", std::nullopt, {"swp5", "bond1.100", "bond2", "swp1.100", "vx0", "br0-ghost"});
  rig.kern.kern_get_br_members("br0");
  const nv::List<std::string>& members = rig.kern.caches.kern_br_cache->lookup("br0").get();
  // In listing order; a VLAN device on a port keeps its own name; a device
  // of any other kind is listed as it is.
  EXPECT_EQ(joined(members), "swp5 swp3.100 swp4.100 swp6 swp1.100 vx0 br0-ghost");
  // The stored list itself, read once.
  EXPECT_EQ(&rig.kern.kern_get_br_members("br0").get(), &members);
  EXPECT_EQ(rig.sys().count("list /sys/class/net/br0/brif"), 1);
  // Setting the bridge up again replaces the stored list.
  rig.sys().listings["/sys/class/net/br0/brif"] = {"swp5"};
  EXPECT_EQ(joined(rig.kern.kern_setup_br_cache("br0").get()), "swp5");
  EXPECT_EQ(joined(rig.kern.caches.kern_br_cache->lookup("br0").get()), "swp5");
}

TEST(KernelBridgeMembers, NoBridgeNoMembersCachedToo) {
  KernelRig rig;
  EXPECT_TRUE(rig.kern.kern_get_br_members("swp1").get().empty());
  EXPECT_TRUE(rig.kern.kern_get_br_members("swp1").get().empty());
  EXPECT_EQ(rig.kern.caches.kern_br_cache->count("swp1"), 1u);
  EXPECT_EQ(rig.sys().count("list /sys/class/net/swp1/brif"), 1);

  // A member whose kind cannot be learned fails the read; nothing is stored.
  rig.bridge("br0", std::nullopt, {"eth9"});
  rig.sys().missing.insert("/bin/ip -d link show eth9");
  EXPECT_EQ(error_of([&] { rig.kern.kern_get_br_members("br0"); }).kind(), ErrorKind::OS);
  EXPECT_EQ(rig.kern.caches.kern_br_cache->count("br0"), 0u);
}

}  // namespace
