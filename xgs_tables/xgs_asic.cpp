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

  portmap.emplace();
  parse_portmap();
  parse_ports();
  l3_intfs.emplace();
  parse_l3_intf();
  vlan_xlate.emplace();
  parse_vlan_xlate();
  vlan_riot.emplace();
  riot_enable = is_riot_enabled();
  vlan_riot_memtable = get_vlan_riot_memtable_name();
  if (*riot_enable) {
    l3_intf_nhi.emplace();
    parse_l3_intf_nhi();
  }
  vlans.emplace();
  replication_groups.emplace();
  parse_multicast_repln_groups();
  mroutes.emplace();
  if (use_mem_table)
    parse_l3_entry_ipmc_table();
  else
    parse_ipmc_table();
}

}  // namespace nv
