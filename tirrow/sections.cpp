// tirrow: the sections of the daemon's VXLAN dump, filed by id.  Every table
// holds the dump's records themselves.
#include "tirrow/asic.h"
#include "tirrow/host_ops.h"

namespace nv::vxlan {

using namespace pyx;

namespace {

const long kNoVni = 0xffffff;

// The result for one VNI, with lists of its own.
Object vni_record(const Object& vni, const Object& vpn, const Object& igmp,
                  const Object& arp_request, const Object& arp_reply) {
  Object record = dict();
  set_item(record, "vni", vni);
  set_item(record, "vpn", vpn);
  set_item(record, "igmpSnoop", igmp);
  set_item(record, "arpSupress", equals(arp_request, arp_reply) ? arp_request : Object::none());
  set_item(record, "arpReqSup", arp_request);
  set_item(record, "arpReplySupress", arp_reply);
  for (const char* name : {"localPorts", "rawLocalPorts", "localMacs", "rawLocalMacs",
                           "remoteMacs", "rawRemoteMacs"})
    set_item(record, name, list());
  return record;
}

// One decimal number ("17", or 17 itself), or several hexadecimal ones.
Object port_ids(const Object& gports) {
  std::vector<Object> fields = elements(split(str_of(gports)));
  Object ids = list();
  if (fields.size() == 1) {
    append(ids, to_int(fields[0]));
  } else {
    for (const Object& field : fields) append(ids, to_int(field, 16));
  }
  return ids;
}

// The prefix of a route's entry key: the part after the first "-" of its
// third word, up to the next "-".
Object route_prefix(const Object& key) {
  Object third = item(split(key), py::integer(2));
  return item(split(third, "-"), py::integer(1));
}

}  // namespace

void Asic::parse_vpn_info() {
  Object vpns = section("VPN DUMP");
  if (!truth(vpns)) raise_exception("No vpns are programmed in hw");
  for (const auto& [key, record] : items(vpns)) {
    Object vni = get(record, "vnid");
    Object vpn = get(record, "vpn");
    Object ctrl = item(record, "bcm_vlan_protocol_packet_ctrl");
    Object igmp = get(ctrl, "igmp_report_leave_action");
    // The dump has no request action of its own: both come from the reply.
    Object arp_request = get(ctrl, "arp_reply_action");
    Object arp_reply = get(ctrl, "arp_reply_action");
    const Object& results = need(asicVxlanDict, "asicVxlanDict");
    if (!contains(results, vni) && !equals(vni, kNoVni))
      set_item(results, vni, vni_record(vni, vpn, igmp, arp_request, arp_reply));
    const Object& vpn_records = need(vniInfoHelperDict, "vniInfoHelperDict");
    set_item(vpn_records, vni, record);
    set_item(need(vpntoVniTable, "vpntoVniTable"), vpn, vni);
    Object filed = item(vpn_records, vni);
    Object gports = get(filed, "gports");
    if (gports.is_none()) continue;
    set_item(filed, "gports", port_ids(gports));
  }
}

void Asic::parse_vxlan_port_info() {
  Object ports = section("VXLAN PORT DUMP");
  if (!truth(ports)) {
    print("No vxlan interfaces programmed in hw");
    return;
  }
  for (const auto& [key, record] : items(ports))
    set_item(need(vxlanPortHelperDict, "vxlanPortHelperDict"), item(record, "vxlan_port_id"),
             record);
}

void Asic::parse_tunnel_info() {
  Object initiators = section("VXLAN TUNNEL INITIATOR  DUMP");
  if (!truth(initiators)) {
    print("No tunnels programmed");
    return;
  }
  for (const auto& [key, record] : items(initiators))
    set_item(need(initiatorDict, "initiatorDict"), item(record, "tunnel_id"), record);
  Object terminators = section("VXLAN TUNNEL TERMINATOR  DUMP");
  if (!truth(terminators)) {
    print("No tunnels programmed");
    return;
  }
  for (const auto& [key, record] : items(terminators))
    set_item(need(terminatorDict, "terminatorDict"), item(record, "tunnel_id"), record);
}

void Asic::parse_l2_l3_entries() {
  l2Table = section("L2 ENTRIES DUMP");
  const struct {
    const char* title;
    const char* address;  // the field that keys a host; none for routes
  } kL3[] = {
      {"L3 v4HOST ENTRIES DUMP", "l3a_ip_addr"},
      {"L3 v4ROUTE ENTRIES DUMP", nullptr},
      {"L3 v6HOST ENTRIES DUMP", "l3a_ip6_addr"},
      {"L3 v6ROUTE ENTRIES DUMP", nullptr},
  };
  for (const auto& l3 : kL3) {
    Object entries = section(l3.title);
    if (!truth(entries)) continue;
    for (const auto& [key, record] : items(entries)) {
      if (l3.address)
        set_item(need(hostTable, "hostTable"), item(record, l3.address), record);
      else
        set_item(need(routeTable, "routeTable"), route_prefix(key), record);
    }
  }
}

}  // namespace nv::vxlan
