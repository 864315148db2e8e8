#include "modules/multicast/records.h"

#include "kernel_state/records.h"

namespace nv::binding {

using py::Class;
using py::Object;

void export_kernel_records(const Object& m) {
  Class<KernMdbEntry>(m, "KernMdbEntry")
      .init<long, std::string>({"vid", "grp"})
      .field("vid", &KernMdbEntry::vid)
      .field("grp", &KernMdbEntry::grp)
      .field("swp", &KernMdbEntry::swp)
      .method("add_port", &KernMdbEntry::add_port, {"dev"})
      .str(&KernMdbEntry::text);

  Class<KernMdbRportEntry>(m, "KernMdbRportEntry")
      .init<long>({"vid"})
      .field("vid", &KernMdbRportEntry::vid)
      .field("swp", &KernMdbRportEntry::swp)
      .method("add_port", &KernMdbRportEntry::add_port, {"dev"});

  Class<KernMdbCache>(m, "KernMdbCache")
      .init_with_optional<std::string, long, std::optional<MdbEntryMap>>(
          {"dev", "vlan_filtering", "mdb_entries"}, 2)
      .field("dev", &KernMdbCache::dev)
      .field("vlan_filtering", &KernMdbCache::vlan_filtering)
      .field("mdb_entries", &KernMdbCache::mdb_entries)
      .field("mdb_rports", &KernMdbCache::mdb_rports)
      .str(&KernMdbCache::text);

  Class<KernVlanEntry>(m, "KernVlanEntry")
      .init<long>({"vid"})
      .field("vid", &KernVlanEntry::vid)
      .field("tagged_swp", &KernVlanEntry::tagged_swp)
      .field("untagged_swp", &KernVlanEntry::untagged_swp)
      .method("add_port", &KernVlanEntry::add_port, {"port", "untagged"})
      .str(&KernVlanEntry::text);

  Class<KernVlanDevEntry>(m, "KernVlanDevEntry")
      .init<std::string, long, std::string>({"dev", "vid", "atlink"})
      .field("dev", &KernVlanDevEntry::dev)
      .field("vid", &KernVlanDevEntry::vid)
      .field("atlink", &KernVlanDevEntry::atlink)
      .str(&KernVlanDevEntry::text);

  Class<KernDevEntry>(m, "KernDevEntry")
      .init<std::string, std::string, long>({"dev", "kind", "vlan_filtering"})
      .field("dev", &KernDevEntry::dev)
      .field("kind", &KernDevEntry::kind)
      .field("vlan_filtering", &KernDevEntry::vlan_filtering)
      .str(&KernDevEntry::text);
}

void export_portmap_entry(const Object& m) {
  Class<PortmapEntry>(m, "PortmapEntry")
      .init<std::string, long, std::optional<std::string>>({"dport", "logical_port", "linux_port"})
      .field("dport", &PortmapEntry::dport)
      .field("logical_port", &PortmapEntry::logical_port)
      .field("linux_port", &PortmapEntry::linux_port)
      .field("port_vid", &PortmapEntry::port_vid)
      .method("update_port_vid", &PortmapEntry::update_port_vid, {"port_vid"})
      .str(&PortmapEntry::text);
}

void export_vlan_entry(const Object& m) {
  Class<VlanEntry>(m, "VlanEntry")
      .init<long, List<std::string>>({"vid", "untagged_dports"})
      .field("vid", &VlanEntry::vid)
      .field("untagged_dports", &VlanEntry::untagged_dports)
      .str(&VlanEntry::text);
}

void export_encap(const Object& m) {
  Class<Encap>(m, "Encap")
      .init<std::string, std::string, long, long, long>(
          {"linux_port", "bcm_dport", "intf", "vlan", "evid"})
      .field("linux_port", &Encap::linux_port)
      .field("bcm_dport", &Encap::bcm_dport)
      .field("intf", &Encap::intf)
      .field("vlan", &Encap::vlan)
      .field("evid", &Encap::evid)
      .method("encap2swp", &Encap::encap2swp)
      .str(&Encap::text);
}

void export_replication_group(const Object& m) {
  Class<ReplicationGroup>(m, "ReplicationGroup")
      .init<long, EncapList, EncapList>(
          {"mcast_grp", "l2_encaps", "l3_encaps"})
      .field("mcast_grp", &ReplicationGroup::mcast_grp)
      .field("l2_encaps", &ReplicationGroup::l2_encaps)
      .field("l3_encaps", &ReplicationGroup::l3_encaps)
      .method("get_l3_linux_encaps", &ReplicationGroup::get_l3_linux_encaps)
      .method("get_l2_linux_encaps", &ReplicationGroup::get_l2_linux_encaps)
      .str(&ReplicationGroup::text);
}

Class<Hmroute> declare_hmroute(Class<Hmroute> cls) {
  return cls.field("sip", &Hmroute::sip)
      .field("dip", &Hmroute::dip)
      .field("grp", &Hmroute::grp)
      .field("vrf", &Hmroute::vrf)
      .field("iif_mismatch", &Hmroute::iif_mismatch)
      .field("oil_mismatch", &Hmroute::oil_mismatch);
}

}  // namespace nv::binding
