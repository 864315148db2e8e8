// Device kinds, VLAN filtering, VLAN devices and bond slaves, over a fake
// kernel.
#include <gtest/gtest.h>

#include "kernel_fakes.h"

namespace {

using nv::ErrorKind;
using nvtest::KernelRig;
using nvtest::error_of;
using nvtest::text_of;

// What iproute2 6.1 prints for a bridge, a veth and the loopback device.
const char kIpBridge[] =
    "2: br0: <BROADCAST,MULTICAST,UP,LOWER_UP> mtu 1500 qdisc noqueue state UP mode DEFAULT "
    "group default qlen 1000\n"
    "    link/ether b6:99:26:c6:fa:5c brd ff:ff:ff:ff:ff:ff promiscuity 0  allmulti 0 minmtu 68 "
    "maxmtu 65535 \n"
    "    bridge forward_delay 1500 hello_time 200 max_age 2000 ageing_time 30000 stp_state 0 "
    "priority 32768 vlan_filtering 0 bridge_id 8000.b6:99:26:c6:fa:5c \n";
const char kIpVeth[] =
    "3: peer1@swp1: <BROADCAST,MULTICAST,UP,LOWER_UP> mtu 1500 qdisc noqueue state UP mode "
    "DEFAULT group default qlen 1000\n"
    "    link/ether c2:7a:da:4a:20:40 brd ff:ff:ff:ff:ff:ff promiscuity 0  allmulti 0 minmtu 68 "
    "maxmtu 65535 \n"
    "    veth addrgenmode eui64 numtxqueues 8 numrxqueues 8 gso_max_size 65536 \n";
const char kIpLoopback[] =
    "1: lo: <LOOPBACK> mtu 65536 qdisc noop state DOWN mode DEFAULT group default qlen 1000\n"
    "    link/loopback 00:00:00:00:00:00 brd 00:00:00:00:00:00 promiscuity 0  allmulti 0 "
    "minmtu 0 maxmtu 0 addrgenmode eui64 numtxqueues 1 numrxqueues 1 \n";

TEST(KernelDeviceKind, FirstWordOfTheThirdLine) {
  struct Case {
    std::optional<std::string> output;  // none: the command fails
    const char* kind;
  } cases[] = {
      {kIpBridge, "bridge"},
      {kIpVeth, "veth"},
      {kIpLoopback, "unk"},  // two lines
      {nvtest::ip_link_output("bond1", "bond mode 802.3ad"), "bond"},
      {nvtest::ip_link_output("vlan100@br1", "vlan protocol 802.1Q id 100"), "vlan"},
      {std::string("a\r\nb\r\n\tbond mode\r\n"), "bond"},
      {std::string("a\nb\n"), "unk"},
      {std::string("Device \"x\" does not exist.\nb\n    bridge\n"), "unk"},
      {std::string("x: y does not exist here\nb\n    bridge\n"), "unk"},
      // A third line with no word.
      {std::string("a\nb\n \t \nbridge\n"), "unk"},
      {std::string("a\nb\n\nbridge\n"), "unk"},
      {std::string(""), "unk"},
      {std::nullopt, "unk"},
  };
  for (const auto& c : cases) {
    KernelRig rig;
    rig.sys().programs["/bin/ip -d link show dev0"] = c.output;
    EXPECT_EQ(rig.kern.kern_dev_kind_get("dev0"), c.kind) << c.output.value_or("(fails)");
    EXPECT_EQ(rig.kern.kern_dev_vlan_filtering_get("dev0"), 0);
  }
}

TEST(KernelDeviceKind, UnknownDeviceIsUnkAndCachedLikeAnyOther) {
  KernelRig rig;  // no program answers: /bin/ip exits with a failure status
  EXPECT_EQ(text_of(rig.kern.kern_base_dev_kind_get("nosuch", 7)), "unk nosuch 7");
  EXPECT_EQ(rig.kern.caches.kern_dev_cache->at("nosuch").text(),
            "nosuch: kind: unk vlan_filtering: 0\n");
  rig.link("nosuch", "bridge");
  EXPECT_EQ(rig.kern.kern_dev_kind_get("nosuch"), "unk");
  EXPECT_EQ(rig.sys().count("run /bin/ip -d link show nosuch"), 1);
}

TEST(KernelDeviceKind, FrontPanelPortsRunNothing) {
  KernelRig rig;
  rig.ports({"swp1"});
  EXPECT_EQ(text_of(rig.kern.kern_base_dev_kind_get("swp1", 100)), "swp swp1 100");
  EXPECT_EQ(rig.kern.kern_dev_vlan_filtering_get("swp1"), 0);
  EXPECT_TRUE(rig.sys().logged("run ").empty());
}

TEST(KernelDeviceKind, OneCommandAndOneFileReadPerDevice) {
  KernelRig rig;
  rig.bridge("br0", "1\n");
  EXPECT_EQ(rig.kern.kern_dev_kind_get("br0"), "bridge");
  EXPECT_EQ(rig.kern.kern_dev_vlan_filtering_get("br0"), 1);
  EXPECT_EQ(text_of(rig.kern.kern_base_dev_kind_get("br0")), "bridge br0 -1");
  // The kernel changes; the first answer stays.
  rig.link("br0", "bond mode 802.3ad");
  rig.sys().files["/sys/class/net/br0/bridge/vlan_filtering"] = "0\n";
  EXPECT_EQ(rig.kern.kern_dev_kind_get("br0"), "bridge");
  EXPECT_EQ(rig.kern.kern_dev_vlan_filtering_get("br0"), 1);
  EXPECT_EQ(rig.sys().logged(""),
            (std::vector<std::string>{"run /bin/ip -d link show br0",
                                      "read /sys/class/net/br0/bridge/vlan_filtering"}));
}

TEST(KernelDeviceKind, FailuresLeaveNoEntrySoTheNextCallTriesAgain) {
  KernelRig rig;
  rig.sys().missing.insert("/bin/ip -d link show br0");
  nv::Error e = error_of([&] { rig.kern.kern_dev_kind_get("br0"); });
  EXPECT_EQ(e.kind(), ErrorKind::OS);
  EXPECT_EQ(e.error_number(), ENOENT);
  EXPECT_TRUE(rig.kern.caches.kern_dev_cache->empty());

  rig.sys().missing.clear();
  rig.bridge("br0", "yes\n");
  e = error_of([&] { rig.kern.kern_dev_vlan_filtering_get("br0"); });
  EXPECT_EQ(e.kind(), ErrorKind::Value);
  EXPECT_EQ(e.message(), "invalid literal for int() with base 0: 'yes'");
  EXPECT_TRUE(rig.kern.caches.kern_dev_cache->empty());

  rig.sys().files["/sys/class/net/br0/bridge/vlan_filtering"] = "1\n";
  EXPECT_EQ(rig.kern.kern_dev_vlan_filtering_get("br0"), 1);
  EXPECT_EQ(rig.sys().count("run /bin/ip -d link show br0"), 3);
}

TEST(KernelDeviceKind, VlanFilteringFile) {
  struct Case {
    std::optional<std::string> file;  // none: no such file
    long value;
  } cases[] = {
      {"1\n", 1}, {"0\n", 0}, {" 1 \n", 1}, {"0x1\n", 1}, {"010\n", 8},
      {"1\n0\n", 0},  // the last line counts
      {"", 0}, {std::nullopt, 0},
  };
  for (const auto& c : cases) {
    KernelRig rig;
    rig.bridge("br0", c.file);
    EXPECT_EQ(rig.kern.kern_dev_vlan_filtering_parse("br0"), c.value) << c.file.value_or("none");
    EXPECT_EQ(rig.sys().logged("read ").size(), c.file ? 1u : 0u);
  }
  // A file that cannot be read counts as 0; not an error.
  KernelRig rig;
  rig.bridge("br0", std::nullopt);
  rig.sys().unreadable.insert("/sys/class/net/br0/bridge/vlan_filtering");
  EXPECT_EQ(rig.kern.kern_dev_vlan_filtering_parse("br0"), 0);
  // An empty line is no integer literal.
  rig.bridge("br0", "1\n\n");
  rig.sys().unreadable.clear();
  nv::Error e = error_of([&] { rig.kern.kern_dev_vlan_filtering_parse("br0"); });
  EXPECT_EQ(e.message(), "invalid literal for int() with base 0: ''");
}

TEST(KernelText, IntegerLiteralWithItsBaseFromItsPrefix) {
  // Checked against int(text, 0) of the interpreter.
  const std::pair<const char*, long> good[] = {
      {"1", 1},      {"0x1f", 31}, {"0X1F", 31}, {"017", 15}, {"0o17", 15}, {"0b11", 3},
      {"0", 0},      {"00", 0},    {" 1 ", 1},   {"+1", 1},   {"- 1", -1},  {"-0x10", -16},
  };
  for (const auto& [text, value] : good) EXPECT_EQ(nv::parse_int_base0(text), value) << text;
  for (const char* text : {"08", "1L", "", "0x", "1_0", "0b2", "--1", "1 0", "0 x1"}) {
    nv::Error e = error_of([&] { nv::parse_int_base0(text); });
    EXPECT_EQ(e.kind(), ErrorKind::Value) << text;
    EXPECT_EQ(e.message(), std::string("invalid literal for int() with base 0: '") + text + "'");
  }
}

const char kVlanConfig[] =
    "VLAN Dev name\t | VLAN ID\n"
    "Name-Type: VLAN_NAME_TYPE_RAW_PLUS_VID_NO_PAD\n"
    "swp2s0.200     | 200  | swp2s0\n"
    "my111          | 111  | br0\n"
    "short          | 5\n"
    "vlan0          | 0  | swp1\n"
    "my111          | 112  | br1  | extra\n";

TEST(KernelVlanDevices, TableReadOnceFromProc) {
  KernelRig rig;
  rig.sys().files["/proc/net/vlan/config"] = kVlanConfig;
  EXPECT_EQ(rig.kern.kern_get_vlan_and_atlink("swp2s0.200"), std::make_pair(200L, std::string("swp2s0")));
  // A later line replaces an earlier one; a fourth field is not read.
  EXPECT_EQ(rig.kern.kern_get_vlan_and_atlink("my111"), std::make_pair(112L, std::string("br1")));
  EXPECT_EQ(rig.kern.kern_get_vlan_and_atlink("short"), std::nullopt);
  EXPECT_EQ(rig.kern.kern_get_vlan_and_atlink("swp2s0"), std::nullopt);
  EXPECT_EQ(rig.kern.caches.kern_vlan_dev_cache->at("swp2s0.200").text(),
            "dev: swp2s0.200 vid: 200 atlink: swp2s0");
  EXPECT_EQ(rig.kern.caches.kern_vlan_dev_cache->size(), 3u);
  EXPECT_EQ(rig.sys().count("read /proc/net/vlan/config"), 1);
}

TEST(KernelVlanDevices, MissingShortOrBadFiles) {
  struct Case {
    std::optional<std::string> file;
    bool unreadable;
    size_t entries;
  } cases[] = {
      {std::nullopt, false, 0},
      {std::string(nvtest::kVlanConfigHeader), false, 0},
      {std::string("VLAN Dev name | VLAN ID\n"), false, 0},
      {std::string(kVlanConfig), true, 0},
  };
  for (const auto& c : cases) {
    KernelRig rig;
    if (c.file) rig.sys().files["/proc/net/vlan/config"] = *c.file;
    if (c.unreadable) rig.sys().unreadable.insert("/proc/net/vlan/config");
    EXPECT_EQ(rig.kern.kern_get_vlan_and_atlink("my111"), std::nullopt);
    EXPECT_TRUE(*rig.kern.caches.kern_vlan_dev_cache_created);
    EXPECT_EQ(rig.kern.caches.kern_vlan_dev_cache->size(), c.entries);
    rig.sys().files["/proc/net/vlan/config"] = kVlanConfig;  // not read again
    rig.sys().unreadable.clear();
    EXPECT_EQ(rig.kern.kern_get_vlan_and_atlink("my111"), std::nullopt);
  }

  // A VLAN id that is no number fails the build; what came before stays and
  // the file is not read again.
  KernelRig rig;
  rig.sys().files["/proc/net/vlan/config"] =
      std::string(nvtest::kVlanConfigHeader) + "my111 | 111 | br0\nbad | 1x | br0\nmy2 | 2 | br0\n";
  nv::Error e = error_of([&] { rig.kern.kern_get_vlan_and_atlink("my2"); });
  EXPECT_EQ(e.message(), "invalid literal for int() with base 10: '1x'");
  EXPECT_EQ(rig.kern.kern_get_vlan_and_atlink("my111"), std::make_pair(111L, std::string("br0")));
  EXPECT_EQ(rig.kern.kern_get_vlan_and_atlink("my2"), std::nullopt);
  EXPECT_EQ(rig.sys().count("read /proc/net/vlan/config"), 1);
}

TEST(KernelVlanDevices, BaseDeviceOneLevelDown) {
  KernelRig rig;
  rig.ports({"swp1", "swp2"});
  rig.bridge("br1", "1\n");
  rig.bond("bond1", "swp3 swp4\n");
  rig.vlan_device("vlan100", 100, "br1");
  rig.vlan_device("swp1.100", 100, "swp1");
  rig.vlan_device("bond1.100", 100, "bond1");
  rig.vlan_device("vlan0", 0, "br1");
  rig.vlan_device("swp1.100.200", 200, "swp1.100");
  rig.link("vlan999", "vlan protocol 802.1Q id 999");  // not in the table
  rig.link("vx0", "vxlan id 42");
  struct Case {
    const char* dev;
    long parent_vlan;
    const char* base;
  } cases[] = {
      {"vlan100", -1, "bridge br1 100"},
      {"vlan100", 200, "bridge br1 100"},  // its own id, not the one it is seen in
      {"swp1.100", -1, "swp swp1 100"},
      {"bond1.100", -1, "bond bond1 100"},
      {"vlan999", 5, "vlan vlan999 5"},
      {"vlan0", 5, "vlan vlan0 5"},
      {"swp1.100.200", -1, "vlan swp1.100 200"},
      {"bond1", 5, "bond bond1 5"},
      {"br1", -1, "bridge br1 -1"},
      {"swp2", 3, "swp swp2 3"},
      {"vx0", -1, "vxlan vx0 -1"},
      {"nosuch", -1, "unk nosuch -1"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(text_of(rig.kern.kern_base_dev_kind_get(c.dev, c.parent_vlan)), c.base) << c.dev;
  EXPECT_EQ(rig.sys().count("read /proc/net/vlan/config"), 1);
}

TEST(KernelVlanDevices, TableReadOnlyForADeviceOfKindVlan) {
  KernelRig rig;
  rig.ports({"swp1"});
  rig.bridge("br0", std::nullopt);
  rig.sys().files["/proc/net/vlan/config"] = kVlanConfig;
  rig.kern.kern_base_dev_kind_get("br0");
  rig.kern.kern_base_dev_kind_get("swp1");
  EXPECT_FALSE(*rig.kern.caches.kern_vlan_dev_cache_created);
  EXPECT_EQ(rig.sys().count("read /proc/net/vlan/config"), 0);
}

TEST(KernelBond, SlavesReadOnEveryCall) {
  KernelRig rig;
  rig.bond("bond1", "swp3 swp4\n");
  EXPECT_EQ(nvtest::joined(rig.kern.expand_kern_bond("bond1")), "swp3 swp4");
  rig.sys().files["/sys/class/net/bond1/bonding/slaves"] = "swp3\n\tswp5  swp6 \n";
  EXPECT_EQ(nvtest::joined(rig.kern.expand_kern_bond("bond1")), "swp3 swp5 swp6");
  EXPECT_EQ(rig.sys().count("read /sys/class/net/bond1/bonding/slaves"), 2);

  struct Case {
    bool dir;
    std::optional<std::string> slaves;
    bool unreadable;
  } no_slaves[] = {
      {true, std::string(""), false},
      {true, std::nullopt, false},
      {true, std::string("swp3 swp4\n"), true},
      {false, std::string("swp3 swp4\n"), false},
  };
  for (const auto& c : no_slaves) {
    KernelRig r;
    if (c.dir) r.sys().dirs.insert("/sys/class/net/bond2/bonding/");
    if (c.slaves) r.sys().files["/sys/class/net/bond2/bonding/slaves"] = *c.slaves;
    if (c.unreadable) r.sys().unreadable.insert("/sys/class/net/bond2/bonding/slaves");
    EXPECT_TRUE(r.kern.expand_kern_bond("bond2").empty());
    // Without a bonding directory no file is read.
    EXPECT_EQ(r.sys().logged("read ").size(), c.dir ? 1u : 0u);
  }
}

}  // namespace
