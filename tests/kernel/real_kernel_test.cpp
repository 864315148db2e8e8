// The kernel side against this machine's kernel and iproute2, in the
// network namespace that real-kernel-setup builds: br0 without VLAN
// filtering, veth ports swp1-swp4, 239.1.1.1 snooped on swp1 and swp3,
// 239.2.2.2 on swp1, swp2 a multicast router port, 239.7.7.7 joined by the
// host on br0, and IPv6 groups.  Nothing here depends on what this kernel
// lacks (VLAN filtering, VLAN devices, bonds), nor on its having them.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "common/text.h"
#include "kernel_host.h"

namespace {

using nvtest::Kernel;

const char kMdbListing[] = "run /sbin/bridge -d -s mdb show dev br0";

TEST(RealKernel, DevicesOfTheNamespace) {
  Kernel k(4, true);
  EXPECT_EQ(k.base("br0"), "bridge br0 -1");
  EXPECT_EQ(k.kern.kern_dev_vlan_filtering_get("br0"), 0);
  EXPECT_EQ(k.base("swp1"), "swp swp1 -1");
  EXPECT_EQ(k.kern.kern_dev_kind_get("peer1"), "veth");
  EXPECT_EQ(k.base("nosuch0"), "unk nosuch0 -1");
  EXPECT_TRUE(k.kern.expand_kern_bond("swp1").empty());
  EXPECT_EQ(Kernel::sorted(k.kern.kern_get_br_members("br0").get().values()), "swp1 swp2 swp3 swp4");
  EXPECT_TRUE(k.kern.kern_get_br_members("swp1").get().empty());
  // Front-panel ports cost no command; every device is asked once.
  EXPECT_EQ(k.host.sys.count("run /bin/ip -d link show swp1"), 0);
  EXPECT_EQ(k.host.sys.count("run /bin/ip -d link show br0"), 1);
  EXPECT_EQ(Kernel::joined(k.host.sys.repeated()), "");
}

TEST(RealKernel, BridgeExpansionWithBothRouterPortPolicies) {
  struct Case {
    const char* grp;
    const char* merged;      // router ports merged into the bridge's entries
    const char* not_merged;  // not merged
  } cases[] = {
      {"239.1.1.1", "swp1 swp2 swp3", "swp1 swp3"},                   // snooped
      {"239.2.2.2", "swp1 swp2", "swp1"},                             // snooped
      {"224.2.2.2", "swp1 swp2", "swp1"},                             // the same group MAC
      {"239.9.9.9", "swp1 swp2 swp3 swp4", "swp1 swp2 swp3 swp4"},  // flooded
      {"239.7.7.7", "swp2", ""},  // the host's own: no port of its own, not flooded
  };
  for (bool merge : {true, false}) {
    Kernel k(4, merge);
    for (const auto& c : cases)
      EXPECT_EQ(k.expand(c.grp, "br0"), merge ? c.merged : c.not_merged)
          << c.grp << " merge " << merge;
    const nv::KernMdbCache& cache = k.kern.caches.kern_mdb_cache->at("br0");
    EXPECT_EQ(cache.vlan_filtering, 0);
    ASSERT_EQ(cache.mdb_rports.size(), 1u);
    EXPECT_EQ(Kernel::joined(cache.mdb_rports.at(-1).swp), "swp2");
    // Only the IPv4 groups have entries; the IPv6 ones are skipped.
    std::vector<std::string> keys;
    for (const auto& [key, entry] : cache.mdb_entries) keys.push_back(key);
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(Kernel::joined(keys),
              "-1.01:00:5e:01:01:01 -1.01:00:5e:02:02:02 -1.01:00:5e:07:07:07");
    EXPECT_EQ(k.host.sys.count(kMdbListing), 1);
    EXPECT_EQ(k.host.sys.count("list /sys/class/net/br0/brif"), 1);
    EXPECT_EQ(Kernel::joined(k.host.sys.repeated()), "");
  }
}

TEST(RealKernel, TheListingHoldsWhatTheReaderSkips) {
  // The listing the reader met: the host's own group on the bridge itself,
  // the router port line of iproute2's own layout, and IPv6 groups where
  // the kernel has IPv6.
  const std::string listing =
      nv::real_system()->capture({"/sbin/bridge", "-d", "-s", "mdb", "show", "dev", "br0"})
          .value_or("(failed)");
  EXPECT_NE(listing.find("dev br0 port br0 grp 239.7.7.7 "), std::string::npos) << listing;
  EXPECT_NE(listing.find("router ports on "), std::string::npos) << listing;
  if (nv::real_system()->is_file("/proc/net/if_inet6")) {
    EXPECT_NE(listing.find(" grp ff0e::1234 "), std::string::npos) << listing;
  }
}

}  // namespace
