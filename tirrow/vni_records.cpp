// tirrow: the lists of each VNI record: local ports, local and remote MACs,
// and the next hops of the remote ones.
#include <climits>
#include <cstdio>

#include "tirrow/asic.h"
#include "tirrow/host_ops.h"

namespace nv::vxlan {

using namespace pyx;

namespace {

const long kNoVni = 0xffffff;

Object none() { return Object::none(); }

// The VLANs 3000 to 3999 are the daemon's own, reported as no VLAN.
bool internal_vlan(const Object& vlan) {
  if (!is_plain_integer(vlan)) return false;
  int overflow = 0;
  const long v = PyLong_AsLongAndOverflow(vlan.get(), &overflow);
  if (v == -1 && PyErr_Occurred()) py::throw_pending();
  return !overflow && v >= 3000 && v < 4000;
}

Object vlan_seen(const Object& vlan) { return internal_vlan(vlan) ? none() : vlan; }

void append_to(const Object& record, const char* list_name, const Object& entry) {
  append(item(record, list_name), entry);
}

}  // namespace

Object mac_text(const Object& mac) {
  if (!is_plain_integer(mac)) return mac;
  int overflow = 0;
  long v = PyLong_AsLongAndOverflow(mac.get(), &overflow);
  if (v == -1 && PyErr_Occurred()) py::throw_pending();
  if (overflow || v == LONG_MIN) return mac;
  std::string sign = v < 0 ? "-" : "";
  if (v < 0) v = -v;
  long groups[6];
  for (int i = 5; i > 0; --i) {
    groups[i] = v % 60;
    v /= 60;
  }
  groups[0] = v;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02ld:%02ld:%02ld:%02ld:%02ld:%02ld", groups[0], groups[1],
                groups[2], groups[3], groups[4], groups[5]);
  return text(sign + buf);
}

void Asic::build_local_port_dict() {
  const Object& vpn_records = need(vniInfoHelperDict, "vniInfoHelperDict");
  if (!truth(vpn_records)) return;
  for (const auto& [vni, vpn_record] : items(vpn_records)) {
    if (equals(vni, kNoVni)) continue;
    const Object& results = need(asicVxlanDict, "asicVxlanDict");
    if (!contains(results, vni))
      raise_exception(format("Vni %d not parsed in kfs dump", Object::tuple_of(vni)));
    // A VPN without gports has no VXLAN ports.
    Object gports = get(vpn_record, "gports");
    if (!truth(gports)) continue;
    for (const Object& gport : elements(gports)) {
      Object port = item(need(vxlanPortHelperDict, "vxlanPortHelperDict"), gport);
      Object type = item(port, "matchPortType");
      Object port_list, linux_intf, hw_if;
      const bool trunk = equals(type, text("trunk"));
      if (trunk) {
        Object trunk_id = item(port, "match_trunk");
        const Object& bonds = need(hwBonds, "hwBonds");
        if (!contains(bonds, trunk_id))
          raise_exception(
              format("Trunk Id %d is not found in hwBonds", Object::tuple_of(trunk_id)));
        Object bond = item(bonds, trunk_id);
        port_list = item(bond, "linuxSlavePorts");
        linux_intf = item(bond, "linuxIntfName");
        hw_if = trunk_id;
      } else if (equals(type, text("modport"))) {
        std::vector<Object> mod_port = unpack(split(item(port, "match_modport"), "/"), 2);
        try {
          Object to_linux = global("asic2linux");
          Object to_asic = global("modport2interface");
          linux_intf = to_linux(to_asic(to_int(mod_port[0]), to_int(mod_port[1]),
                                        need(chip, "chip")));
        } catch (...) {
          print(format("Failed to find the linuxIntf forvni %d modport (%s %s)",
                       Object::tuple_of(vni, mod_port[0], mod_port[1])));
          linux_intf = none();
        }
        port_list = linux_intf;
        hw_if = Object::tuple_of(mod_port[0], mod_port[1]);
      } else {
        // Neither kind names a Linux interface: the port is not reported.
        set_item(port, "linuxIntf", none());
        continue;
      }
      set_item(port, "linuxIntf", linux_intf);

      Object vlan = item(port, "match_vlan");
      if (equals(vlan, 0) && !port_list.is_none()) {
        // No VLAN of its own: the port's default VLAN.
        Object linux_port = trunk ? item(port_list, py::integer(0)) : port_list;
        Object found =
            need(bcmApiHelper, "bcmApiHelper").attr("_get_logical_port_and_pvid")(linux_port);
        vlan = vlan_seen(unpack(found, 2)[1]);
      }
      Object record = item(results, vni);
      append_to(record, "localPorts", Object::tuple_of(type, port_list, vlan));
      append_to(record, "rawLocalPorts", Object::tuple_of(type, hw_if, linux_intf, vlan));
    }
  }
}

void Asic::build_local_and_remote_mac_dict() {
  static const std::string kWrongVpn =
      "Incorrect gport vpn mapping" + std::string(29, ' ') + "(%s %d) vxlanPort 0x%x";
  // No L2 section, or one without entries.
  Object l2 = need(l2Table, "l2Table");
  if (truth(l2)) {
    for (const auto& [key, entry] : items(l2)) {
      if (!truth(item(entry, "isVxlanPort"))) continue;
      Object vxlan_port = item(entry, "port");
      Object vpn = item(entry, "vid");
      Object vni = get(need(vpntoVniTable, "vpntoVniTable"), vpn, none());
      Object mac = mac_text(item(entry, "mac"));
      if (vni.is_none())
        raise_exception(format("Vpn %d not mapped to vni", Object::tuple_of(vpn)));
      const Object& results = need(asicVxlanDict, "asicVxlanDict");
      if (!contains(results, vni))
        raise_exception(format("vni %d info is not programmed", Object::tuple_of(vni)));
      const Object& ports = need(vxlanPortHelperDict, "vxlanPortHelperDict");
      if (!contains(ports, vxlan_port))
        raise_exception(
            format("vxlanPort 0x%x is not programmed", Object::tuple_of(vxlan_port)));
      Object port = item(ports, vxlan_port);
      Object record = item(results, vni);
      if (!truth(item(port, "is_network_port"))) {
        Object gports =
            get(item(need(vniInfoHelperDict, "vniInfoHelperDict"), vni), "gports");
        if (!gports.is_none() && contains(gports, vxlan_port)) {
          Object linux_intf = item(port, "linuxIntf");
          append_to(record, "localMacs", Object::tuple_of(mac, linux_intf));
          append_to(record, "rawLocalMacs",
                    Object::tuple_of(mac, hex_of(vxlan_port), linux_intf));
        } else {
          print(format(kWrongVpn.c_str(), Object::tuple_of(mac, vpn, vxlan_port)));
        }
      } else {
        Object mtu = item(port, "mtu");
        Object tunnel_id = item(port, "egress_tunnel_id");
        Object egress_if = item(port, "egress_if");
        const Object& initiators = need(initiatorDict, "initiatorDict");
        if (contains(initiators, tunnel_id)) {
          Object tunnel = item(initiators, tunnel_id);
          Object dst_ip = item(tunnel, "dip");
          Object src_ip = item(tunnel, "sip");
          append_to(record, "remoteMacs",
                    Object::tuple_of(mac, src_ip, dst_ip, egress_if, mtu));
        } else {
          print(format("No matching egress tunnelId (%s %d) vxlanPort 0x%x",
                       Object::tuple_of(mac, vpn, vxlan_port)));
          append_to(record, "remoteMacs",
                    Object::tuple_of(mac, none(), none(), egress_if, mtu));
        }
      }
    }
  }
  resolve_dst_ip();
}

void Asic::resolve_dst_ip() {
  static const char kEifMismatch[] = "Eif on tunnel port is different from dstIpegressIf";
  for (const auto& [vni, record] : items(need(asicVxlanDict, "asicVxlanDict"))) {
    Object provisional = item(record, "remoteMacs");
    set_item(record, "remoteMacs", list());
    for (const Object& entry : elements(provisional)) {
      std::vector<Object> f = unpack(entry, 5);
      const Object &remote_mac = f[0], &src_ip = f[1], &eif = f[3], &mtu = f[4];
      Object dst_ip = f[2];
      auto unresolved = [&] {
        append_to(record, "remoteMacs",
                  Object::tuple_of(remote_mac, src_ip, dst_ip, none(), none(), none(), mtu));
        append_to(record, "rawRemoteMacs",
                  Object::tuple_of(remote_mac, src_ip, dst_ip, eif, none(), none(), none(),
                                   none(), none(), mtu));
      };
      auto resolved = [&](const Object& next_hop) {
        std::vector<Object> nh = unpack(next_hop, 6);
        append_to(record, "remoteMacs",
                  Object::tuple_of(remote_mac, src_ip, dst_ip, nh[0], nh[1], nh[2], mtu));
        append_to(record, "rawRemoteMacs",
                  Object::tuple_of(remote_mac, src_ip, dst_ip, eif, nh[0], nh[3], nh[4], nh[1],
                                   nh[5], mtu));
      };
      if (dst_ip.is_none()) {
        unresolved();
        continue;
      }
      // An address that loaded as a number cannot key a route.
      if (!is_text(dst_ip)) {
        print(format("No route entry found for dstIp %s", Object::tuple_of(dst_ip)));
        unresolved();
        continue;
      }
      dst_ip = insert_ip_addr_mask(dst_ip);
      const Object& routes = need(routeTable, "routeTable");
      if (!contains(routes, dst_ip)) {
        print(format("No route entry found for dstIp %s", Object::tuple_of(dst_ip)));
        unresolved();
        continue;
      }
      Object route = item(routes, dst_ip);
      if (truth(item(route, "is_ecmp"))) {
        std::vector<Object> group = unpack(split(item(route, "MultiPathNH")), 2);
        Object ecmp_nh = to_int(group[0]);
        to_int(group[1]);  // the next-hop count, checked but not used
        if (!equals(ecmp_nh, eif)) print(kEifMismatch);
        Object next_hops = item(route, "egress-ifs");
        if (!truth(next_hops)) {
          print(format(" No next hops created for ecmp path %d", Object::tuple_of(ecmp_nh)));
          unresolved();
          continue;
        }
        for (const Object& key : elements(next_hops)) resolved(get_next_hop(next_hops, key));
      } else {
        Object egress_if = item(route, "SinglePathNH");
        if (!equals(egress_if, eif)) print(kEifMismatch);
        Object next_hops = item(route, "egress-ifs");
        if (!truth(next_hops)) {
          print(format(" No next hops created for egressIf %d", Object::tuple_of(egress_if)));
          unresolved();
          continue;
        }
        resolved(get_next_hop(next_hops, elements(next_hops).front()));
      }
    }
  }
}

Object Asic::get_next_hop(Object nh_dict, Object keys) {
  Object next_hop = item(nh_dict, keys);
  Object type = get_egress_dst_intf_type(item(next_hop, "flags"));
  Object dst_intf, hw_intf;
  if (equals(type, text("trunk"))) {
    Object trunk_id = item(next_hop, "trunk");
    const Object& bonds = need(hwBonds, "hwBonds");
    if (contains(bonds, trunk_id)) {
      dst_intf = item(item(bonds, trunk_id), "linuxIntfName");
      hw_intf = trunk_id;
    } else {
      print(format("Trunk Id %d is not found in hwBonds", Object::tuple_of(trunk_id)));
      dst_intf = hw_intf = text("unknown");
    }
  } else {
    Object mod_id = item(next_hop, "module");
    Object port = item(next_hop, "port");
    try {
      Object to_linux = global("asic2linux");
      Object to_asic = global("modport2interface");
      dst_intf = to_linux(to_asic(mod_id, port, need(chip, "chip")));
      hw_intf = Object::tuple_of(mod_id, port);
    } catch (...) {
      dst_intf = hw_intf = text("unknown");
    }
  }
  Object hw_vlan = item(next_hop, "vlan");
  Object mac = mac_text(item(next_hop, "mac_addr"));
  return Object::tuple_of(mac, dst_intf, vlan_seen(hw_vlan), type, hw_intf, hw_vlan);
}

Object Asic::get_egress_dst_intf_type(Object flags) {
  if (truth(bit_and(flags, 0x200))) return text("trunk");
  if (truth(bit_and(flags, 0x1000))) return text("cpuPort");
  return text("modport");
}

Object Asic::insert_ip_addr_mask(Object ipaddr) {
  return add(ipaddr, text(contains(ipaddr, text(".")) ? "/32" : "/128"));
}

}  // namespace nv::vxlan
