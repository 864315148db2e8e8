// xgs_tables: the XGS checker's construction sequence.
#include "xgs_tables/xgs_asic.h"

namespace nv {

void XgsAsic::construct(ServiceFactory& services, bool use_mem_table, const Value& debug) {
  make_outside_objects(services, debug);
  kestrad_debug_enabled = get_kestrad_debug(system());
  nq_mroute_kestrad_debug_enabled = false;
  linux_ports = pt->get_linux_ports();
  mroute_pairx_check_and_get_orig_dev();

  make_kernel_caches();

  // The port table is asked once per ASIC port while the tables are read;
  // the answers and the readers' indexes go when construction ends,
  // however it ends.
  ReadScope read(*this);

  portmap = std::make_shared<Portmap>();
  parse_portmap();
  parse_ports();
  l3_intfs = std::make_shared<IntMap>();
  parse_l3_intf();
  vlan_xlate = std::make_shared<VlanXlateList>();
  parse_vlan_xlate();
  vlan_riot = std::make_shared<IntMap>();
  riot_enable = is_riot_enabled();
  vlan_riot_memtable = get_vlan_riot_memtable_name();
  if (*riot_enable) {
    l3_intf_nhi = std::make_shared<IntMap>();
    parse_l3_intf_nhi();
  }
  vlans = std::make_shared<VlanMap>();
  replication_groups = std::make_shared<ReplicationGroupMap>();
  parse_multicast_repln_groups();
  mroutes = std::make_shared<MrouteMap>();
  if (use_mem_table)
    parse_l3_entry_ipmc_table();
  else
    parse_ipmc_table();
}

}  // namespace nv
