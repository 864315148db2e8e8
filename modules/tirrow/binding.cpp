#include "modules/tirrow/binding.h"

#include <string>

#include "python/classes.h"
#include "tirrow/asic.h"

namespace nv::binding {

using py::Class;
using py::Object;
using vxlan::Asic;

void export_vxlan_asic(const Object& m) {
  Object globals = Object::borrow(PyModule_GetDict(m.get()));
  Class<Asic> cls(m, "Asic");
  // Its attributes live in the object's own dictionary, as on the host's
  // own classes.
  cls.factory([globals](void* at, PyObject* self) { new (at) Asic(globals, real_system(), self); });
  cls.init(&Asic::init, {}, {});
  // A class without documentation, as the host's own classes have it.
  cls.attr("__doc__", Object::none());

  // Methods, in the class's order.
  cls.method("get_id_2_name", &Asic::get_id_2_name, {"chip_id"});
  cls.method("_insert_ip_addr_mask", &Asic::insert_ip_addr_mask, {"ipaddr"});
  cls.method("get_kestrad_debug", &Asic::get_kestrad_debug);
  cls.method("enable_kestrad_debug", &Asic::enable_kestrad_debug);
  cls.method("disable_kestrad_debug", &Asic::disable_kestrad_debug);
  cls.method("get_chipname", &Asic::get_chipname);
  cls.method("buildHwBondsDict", &Asic::build_hw_bonds_dict);
  cls.method("parseSwitchKfsNode", &Asic::parse_switch_kfs_node);
  cls.method("parseVpnInfo", &Asic::parse_vpn_info);
  cls.method("parseVxlanPortInfo", &Asic::parse_vxlan_port_info);
  cls.method("parseTunnelInfo", &Asic::parse_tunnel_info);
  cls.method("parsel2l3entries", &Asic::parse_l2_l3_entries);
  cls.method("buildLocalPortDict", &Asic::build_local_port_dict);
  cls.method("buildLocalAndRemoteMacDict", &Asic::build_local_and_remote_mac_dict);
  cls.method("getEgressDstIntfType", &Asic::get_egress_dst_intf_type, {"flags"});
  cls.method("getNextHop", &Asic::get_next_hop, {"nhDict", "keys"});
  cls.method("resolveDstIp", &Asic::resolve_dst_ip);
  cls.method("prefetchHwInfo", &Asic::prefetch_hw_info);
  cls.method("dumpVxlans", &Asic::dump_vxlans);
}

}  // namespace nv::binding
