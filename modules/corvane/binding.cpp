#include "modules/corvane/binding.h"

#include "modules/multicast/checker.h"
#include "modules/multicast/records.h"
#include "python/adapters.h"
#include "python/classes.h"
#include "xgs_tables/xgs_asic.h"

namespace nv::binding {

using py::Class;
using py::Object;

void export_hw_records(const Object& m) {
  export_portmap_entry(m);
  Class<VlanXlate>(m, "VlanXlate")
      .init<long, long, long>({"lport", "ivid", "evid"})
      .field("lport", &VlanXlate::lport)
      .field("ivid", &VlanXlate::ivid)
      .field("evid", &VlanXlate::evid)
      .str(&VlanXlate::text);
  export_vlan_entry(m);
  export_encap(m);
  export_replication_group(m);
  declare_hmroute(Class<Hmroute>(m, "Hmroute"))
      .init<std::string, std::string, long, long, std::string>(
          {"sip", "dip", "iif", "mcast_grp", "vrf"}, kXgsPolicy.hmroute_group_bits)
      .field("iif", &Hmroute::iif)
      .str(&Hmroute::text);
}

void export_asic(const Object& m, const py::OutsideMakers& makers) {
  Class<XgsAsic> cls = declare_checker<XgsAsic>(m, makers);

  // The XGS chip's own instance attributes.
  cls.optional_field("kestrad_debug_enabled", &Asic::kestrad_debug_enabled);
  cls.optional_field("nq_mroute_kestrad_debug_enabled", &Asic::nq_mroute_kestrad_debug_enabled);
  cls.optional_field("l3_intfs", &Asic::l3_intfs);
  cls.optional_field("vlan_xlate", &Asic::vlan_xlate);
  cls.optional_field("vlan_riot", &Asic::vlan_riot);
  cls.optional_field("riot_enable", &Asic::riot_enable);
  cls.optional_field("vlan_riot_memtable", &Asic::vlan_riot_memtable);
  cls.optional_field("l3_intf_nhi", &Asic::l3_intf_nhi);

  cls.method("get_l3_egress", &Asic::get_l3_egress, {"intf"});
  cls.method("_ivid2evid", &Asic::ivid2evid, {"dport", "ivid"});
  cls.method("_evid2ivid", &Asic::evid2ivid, {"logical_port", "evid"});

  // The pairing check.
  cls.method("mroute_pairx_check_and_get_orig_dev", &Asic::mroute_pairx_check_and_get_orig_dev);

  // Readers.
  cls.method("_parse_ipmc_table", &XgsAsic::parse_ipmc_table);
  cls.method("_parse_l3_entry_ipmc_table", &XgsAsic::parse_l3_entry_ipmc_table);
  cls.method("_parse_one_multicast_repln_group", &XgsAsic::parse_one_multicast_repln_group,
             {"dispStr"});
  cls.method("_parse_multicast_repln_groups", &XgsAsic::parse_multicast_repln_groups);
  cls.method("_parse_portmap", &XgsAsic::parse_portmap);
  cls.method("_parse_ports", &XgsAsic::parse_ports);
  cls.method("_parse_l3_intf", &XgsAsic::parse_l3_intf);
  cls.method("_parse_vlan_xlate", &XgsAsic::parse_vlan_xlate);

  // RIOT.
  cls.method("_get_vlan_riot_memtable_name", &XgsAsic::get_vlan_riot_memtable_name);
  cls.method("_is_riot_enabled", &XgsAsic::is_riot_enabled);
  cls.method("_hw_vlan_to_iif", &XgsAsic::hw_vlan_to_iif, {"iif_vlan"});
  cls.method("_kern_iif_to_hw_vlan", &XgsAsic::kern_iif_to_hw_vlan,
             {"base_kind", "base_iif", "iif_vlan", "member"});

  // Daemon debug switch and chip test; the switch's three are static and
  // take the checker as their argument.
  cls.static_method("get_kestrad_debug", &XgsAsic::get_kestrad_debug_of, {"self"});
  cls.static_method("enable_kestrad_debug", &XgsAsic::enable_kestrad_debug, {"self"});
  cls.static_method("disable_kestrad_debug", &XgsAsic::disable_kestrad_debug, {"self"});
  cls.method("_is_1G_chip", &XgsAsic::is_1G_chip);
  cls.method("_parse_l3_intf_nhi", &XgsAsic::parse_l3_intf_nhi);
}

}  // namespace nv::binding
