#include "modules/tirrow/binding.h"

#include <string>

#include "python/classes.h"
#include "tirrow/asic.h"

namespace nv::binding {

using py::Class;
using py::Object;
using vxlan::Asic;

namespace {

[[noreturn]] void no_attribute(const std::string& name) {
  py::raise(PyExc_AttributeError, "'Asic' object has no attribute '" + name + "'");
}

// An instance attribute holding any of the host's objects: there once set,
// given back as that very object, gone again when deleted.
void attribute(Class<Asic>& cls, const char* name, Object Asic::*member) {
  std::string n = name;
  cls.property(
      name,
      [member, n](const auto& self) -> Object {
        const Object& value = (*self).*member;
        if (!value) no_attribute(n);
        return value;
      },
      [member, n](const auto& self, PyObject* value) {
        Object& slot = (*self).*member;
        if (!value && !slot) no_attribute(n);
        slot = value ? Object::borrow(value) : Object();
      });
}

}  // namespace

void export_vxlan_asic(const Object& m) {
  Object globals = Object::borrow(PyModule_GetDict(m.get()));
  Class<Asic> cls(m, "Asic");
  cls.factory([globals](PyTypeObject*) { return std::make_shared<Asic>(globals, real_system()); });
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

  // Instance attributes, in construction order.
  attribute(cls, "asicVxlanDict", &Asic::asicVxlanDict);
  attribute(cls, "hwBonds", &Asic::hwBonds);
  attribute(cls, "vxlanFuseNode", &Asic::vxlanFuseNode);
  attribute(cls, "kestrad_debug_enabled", &Asic::kestrad_debug_enabled);
  attribute(cls, "bs", &Asic::bs);
  attribute(cls, "_chip_id_map", &Asic::_chip_id_map);
  attribute(cls, "chip", &Asic::chip);
  attribute(cls, "bcmApiHelper", &Asic::bcmApiHelper);
  attribute(cls, "asicTables", &Asic::asicTables);
  attribute(cls, "vniInfoHelperDict", &Asic::vniInfoHelperDict);
  attribute(cls, "vxlanPortHelperDict", &Asic::vxlanPortHelperDict);
  attribute(cls, "initiatorDict", &Asic::initiatorDict);
  attribute(cls, "terminatorDict", &Asic::terminatorDict);
  attribute(cls, "hostTable", &Asic::hostTable);
  attribute(cls, "routeTable", &Asic::routeTable);
  attribute(cls, "vpntoVniTable", &Asic::vpntoVniTable);
  attribute(cls, "l2Table", &Asic::l2Table);
}

}  // namespace nv::binding
