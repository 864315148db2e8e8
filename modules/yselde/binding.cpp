#include "modules/yselde/binding.h"

#include "modules/multicast/checker.h"
#include "modules/multicast/records.h"
#include "python/classes.h"
#include "yselde/dnx_asic.h"

namespace nv::binding {

using py::Class;
using py::Object;

void export_dnx_hw_records(const Object& m) {
  export_portmap_entry(m);
  export_vlan_entry(m);
  export_encap(m);
  export_replication_group(m);
  // The route table's IIF is text; the kernel's, once one is set, is
  // whatever the host gives.
  declare_hmroute(Class<Hmroute>(m, "Hmroute"))
      .init<std::string, std::string, std::string, long, std::string>(
          {"sip", "dip", "iif", "mcast_grp", "vrf"}, kDnxPolicy.hmroute_group_bits)
      .field("iif", &Hmroute::iif_text)
      .field("kernel_iif", &Hmroute::kernel_iif)
      .str(&Hmroute::text_named_iif);
}

void export_dnx_asic(const Object& m, const py::OutsideMakers& makers) {
  Class<DnxAsic> cls = declare_checker<DnxAsic>(m, makers);

  cls.optional_field("diag_dbal", &DnxAsic::diag_dbal);

  // Readers.
  cls.method("_parse_portmap", &DnxAsic::parse_portmap);
  cls.method("_parse_diag_ipv4_mc_table", &DnxAsic::parse_diag_ipv4_mc_table);
  cls.method("_parse_diag_dbal_mc_table", &DnxAsic::parse_diag_dbal_mc_table);
  cls.method("_parse_one_multicast_repln_group", &DnxAsic::parse_one_multicast_repln_group,
             {"dispStr"});
  cls.method("_parse_multicast_repln_groups", &DnxAsic::parse_multicast_repln_groups);
}

}  // namespace nv::binding
