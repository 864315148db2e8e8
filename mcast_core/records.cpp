#include "mcast_core/records.h"

#include <cstring>

#include "common/text.h"

namespace nv {

std::string PortmapEntry::text() const {
  return "dport: " + dport + ", lport: " + std::to_string(logical_port) +
         ", linux_port: " + (linux_port ? *linux_port : std::string("None")) +
         ", port_vid: " + std::to_string(port_vid);
}

std::string VlanXlate::text() const {
  return "lport: " + std::to_string(lport) + ", ivid: " + std::to_string(ivid) +
         ", evid: " + std::to_string(evid);
}

std::string VlanEntry::text() const {
  return "vid: " + std::to_string(vid) + ", untagged_ports: " + join(untagged_dports, ",");
}

std::string Encap::text() const {
  std::string out = "port: " + linux_port;
  if (evid != kNoVlan) out += ", vlan: " + std::to_string(evid);
  return out;
}

std::string Encap::encap2swp() const {
  if (evid == kNoVlan) return linux_port;
  return linux_port + "." + std::to_string(evid);
}

std::string ReplicationGroup::text() const {
  std::string out;
  for (const Encap& e : l3_encaps) out += "  " + e.text() + "\n";
  if (!l2_encaps.empty()) {
    out += "  L2 replication ports:\n";
    for (const Encap& e : l2_encaps) out += "    " + e.text() + "\n";
  }
  return out;
}

static std::set<std::string> port_names(const EncapList& list) {
  std::set<std::string> out;
  for (const Encap& e : list) out.insert(e.encap2swp());
  return out;
}

std::set<std::string> ReplicationGroup::get_l3_linux_encaps() const { return port_names(l3_encaps); }
std::set<std::string> ReplicationGroup::get_l2_linux_encaps() const { return port_names(l2_encaps); }

std::string Hmroute::text() const { return text_with(std::to_string(iif)); }

std::string Hmroute::text_named_iif() const {
  return text_with(kernel_iif.is_none() ? iif_text : str(kernel_iif));
}

std::string Hmroute::text_with(std::string_view iif_shown) const {
  std::string out = route_key(vrf, sip, dip) + ", iif: ";
  out += iif_shown;
  if (!iif_mismatch.empty() || !oil_mismatch.empty()) {
    out += "\n  errors:";
    auto add = [&out](const SharedText& n) {
      out += "\n    ";
      out += n.str();
    };
    iif_mismatch.for_each(add);
    oil_mismatch.for_each(add);
  }
  return out;
}

std::string route_key(std::string_view vrf, std::string_view sip, std::string_view dip) {
  // Made in one allocation: the readers make one per row of a route listing.
  std::string key(vrf.size() + sip.size() + dip.size() + 5, ' ');
  char* p = key.data();
  auto put = [&p](std::string_view piece) {
    std::memcpy(p, piece.data(), piece.size());
    p += piece.size();
  };
  put(vrf);
  put(", (");
  put(sip);
  put(",");
  put(dip);
  put(")");
  return key;
}

}  // namespace nv
