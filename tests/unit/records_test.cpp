// Text forms and port names of the hardware records; the dumps and the
// comparison depend on them byte for byte.
#include <gtest/gtest.h>

#include "mcast_core/records.h"
#include "xgs_tables/xgs_asic.h"

namespace {

using nv::Encap;
using nv::EncapList;
using nv::Hmroute;
using nv::ReplicationGroup;

EncapList list(std::initializer_list<Encap> e) { return EncapList(e); }

TEST(Records, SimpleTextForms) {
  nv::PortmapEntry p("pe0", 1, std::string("swp1"));
  nv::PortmapEntry unknown("pe9", 10, std::nullopt);
  EXPECT_EQ(p.text(), "dport: pe0, lport: 1, linux_port: swp1, port_vid: -1");
  p.update_port_vid(100);
  EXPECT_EQ(p.text(), "dport: pe0, lport: 1, linux_port: swp1, port_vid: 100");
  EXPECT_EQ(unknown.text(), "dport: pe9, lport: 10, linux_port: None, port_vid: -1");
  EXPECT_EQ(nv::VlanXlate(5, 200, 10).text(), "lport: 5, ivid: 200, evid: 10");
  EXPECT_EQ(nv::VlanEntry(100, {"pe0", "pc1"}).text(), "vid: 100, untagged_ports: pe0,pc1");
  EXPECT_EQ(nv::VlanEntry(7, {}).text(), "vid: 7, untagged_ports: ");
}

TEST(Records, EncapPrintsTheEgressVlanOnlyWhenTagged) {
  struct Case {
    long vlan, evid;
    const char *text, *swp;
  } cases[] = {
      {-1, -1, "port: swp1", "swp1"},
      {100, -1, "port: swp1", "swp1"},  // the internal VLAN is never printed
      {100, 0, "port: swp1, vlan: 0", "swp1.0"},
      {100, 10, "port: swp1, vlan: 10", "swp1.10"},
  };
  for (const auto& c : cases) {
    Encap e("swp1", "pe0", 3, c.vlan, c.evid);
    EXPECT_EQ(e.text(), c.text);
    EXPECT_EQ(e.encap2swp(), c.swp);
  }
}

TEST(Records, ReplicationGroupTextAndPortSets) {
  Encap a("swp1", "pe0", 1, 100, -1), b("swp2", "pe1", 2, 100, 10), l2("swp3", "pe2", -1, -1, -1);
  EXPECT_EQ(ReplicationGroup(1, list({}), list({})).text(), "");
  EXPECT_EQ(ReplicationGroup(1, list({}), list({a, b})).text(),
            "  port: swp1\n  port: swp2, vlan: 10\n");
  EXPECT_EQ(ReplicationGroup(1, list({l2}), list({})).text(),
            "  L2 replication ports:\n    port: swp3\n");
  EXPECT_EQ(ReplicationGroup(1, list({l2, l2}), list({a})).text(),
            "  port: swp1\n  L2 replication ports:\n    port: swp3\n    port: swp3\n");

  ReplicationGroup g(1, list({l2, l2}), list({a, b, a}));
  EXPECT_EQ(g.get_l3_linux_encaps(), (std::set<std::string>{"swp1", "swp2.10"}));
  EXPECT_EQ(g.get_l2_linux_encaps(), (std::set<std::string>{"swp3"}));
  EXPECT_TRUE(ReplicationGroup(1, list({}), list({})).get_l3_linux_encaps().empty());
}

TEST(Records, HmrouteTextGroupBitAndNotes) {
  Hmroute r("10.1.1.1", "239.1.1.1", 100, 5, "red", nv::kMcastGroupBit);
  EXPECT_EQ(r.grp, 5 | 0x2000000);
  EXPECT_EQ(Hmroute("a", "b", 1, 5 | 0x2000000, "v", nv::kMcastGroupBit).grp, 5 | 0x2000000);
  EXPECT_EQ(Hmroute("a", "b", 1, 5, "v", 0).grp, 5);
  EXPECT_EQ(r.text(), "red, (10.1.1.1,239.1.1.1), iif: 100");
  r.oil_mismatch.push_back("hw has OIFs not in the kernel");
  r.iif_mismatch.push_back("kernel IIF does not match hw IIF");
  EXPECT_EQ(r.text(),
            "red, (10.1.1.1,239.1.1.1), iif: 100\n  errors:\n"
            "    kernel IIF does not match hw IIF\n    hw has OIFs not in the kernel");
  EXPECT_EQ(nv::route_key("red", "10.1.1.1", "239.1.1.1"), "red, (10.1.1.1,239.1.1.1)");
}

// A route whose table gives its IIF as text shows that text, or the
// kernel's IIF once one is set, whatever object that is.
TEST(Records, HmrouteWithIifText) {
  Hmroute r("10.1.1.1", "239.1.1.1", std::string("0x64"), 4097, "default", 0);
  EXPECT_EQ(r.grp, 4097);
  EXPECT_TRUE(r.kernel_iif.is_none());
  EXPECT_EQ(r.text_named_iif(), "default, (10.1.1.1,239.1.1.1), iif: 0x64");
  r.oil_mismatch.push_back("kernel has OIFs not in the hw");
  r.kernel_iif = nv::Value(std::string("br100"));
  EXPECT_EQ(r.text_named_iif(),
            "default, (10.1.1.1,239.1.1.1), iif: br100\n  errors:\n"
            "    kernel has OIFs not in the hw");
  r.kernel_iif = nv::Value(7L);
  EXPECT_EQ(r.text_named_iif().substr(0, 38), "default, (10.1.1.1,239.1.1.1), iif: 7\n");
}

}  // namespace
