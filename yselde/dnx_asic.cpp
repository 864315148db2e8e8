// yselde: the DNX checker's construction sequence.
#include "yselde/dnx_asic.h"

namespace nv {

void DnxAsic::construct(ServiceFactory& services, const Value& debug) {
  make_outside_objects(services, debug);
  linux_ports = pt->get_linux_ports();
  make_kernel_caches();
  // No reader of the construction fills it: the VLAN lookups fill it on
  // demand, as they do on every chip.
  vlans.emplace();

  // The port table is asked once per ASIC port while the tables are read;
  // the answers go when construction ends, however it ends.
  ReadScope read(*this);

  portmap.emplace();
  parse_portmap();
  mroutes.emplace();
  diag_dbal = false;
  if (*diag_dbal)
    parse_diag_dbal_mc_table();
  else
    parse_diag_ipv4_mc_table();
  replication_groups.emplace();
  parse_multicast_repln_groups();
}

}  // namespace nv
