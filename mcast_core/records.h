// Hardware multicast records: what the checker reads from the ASIC.
#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace nv {

// -1 is the no-VLAN (and not-yet-known) value of every VLAN field.
constexpr long kNoVlan = -1;

struct PortmapEntry {
  PortmapEntry(std::string dport, long logical_port, std::optional<std::string> linux_port)
      : dport(std::move(dport)), logical_port(logical_port), linux_port(std::move(linux_port)) {}
  void update_port_vid(long vid) { port_vid = vid; }
  std::string text() const;

  std::string dport;
  long logical_port;
  std::optional<std::string> linux_port;  // none when the port table does not know the port
  long port_vid = kNoVlan;
};

struct VlanXlate {
  VlanXlate(long lport, long ivid, long evid) : lport(lport), ivid(ivid), evid(evid) {}
  std::string text() const;

  long lport, ivid, evid;
};

struct VlanEntry {
  VlanEntry(long vid, std::vector<std::string> untagged_dports)
      : vid(vid), untagged_dports(std::move(untagged_dports)) {}
  std::string text() const;

  long vid;
  std::vector<std::string> untagged_dports;
};

struct Encap {
  Encap(std::string linux_port, std::string bcm_dport, long intf, long vlan, long evid)
      : linux_port(std::move(linux_port)), bcm_dport(std::move(bcm_dport)),
        intf(intf), vlan(vlan), evid(evid) {}
  std::string text() const;
  // The port name the kernel side uses: the port, or "port.vlan" when the
  // copies leave tagged.
  std::string encap2swp() const;

  std::string linux_port;
  std::string bcm_dport;
  long intf;  // encap id; -1 for an L2 target
  long vlan;  // internal VLAN of the L3 interface
  long evid;  // egress VLAN, -1 when untagged
};

using EncapList = std::vector<Encap>;

struct ReplicationGroup {
  ReplicationGroup(long mcast_grp, std::shared_ptr<EncapList> l2, std::shared_ptr<EncapList> l3)
      : mcast_grp(mcast_grp), l2_encaps(std::move(l2)), l3_encaps(std::move(l3)) {}
  std::string text() const;
  std::set<std::string> get_l3_linux_encaps() const;
  std::set<std::string> get_l2_linux_encaps() const;

  long mcast_grp;
  // Shared, not copied: the group keeps the lists it is given.
  std::shared_ptr<EncapList> l2_encaps;
  std::shared_ptr<EncapList> l3_encaps;
};

struct Hmroute {
  // `group_bits` are the type bits the chip adds to a route's group id.
  Hmroute(std::string sip, std::string dip, long iif, long mcast_grp, std::string vrf,
          long group_bits)
      : sip(std::move(sip)), dip(std::move(dip)), iif(iif), grp(mcast_grp | group_bits),
        vrf(std::move(vrf)) {}
  std::string text() const;

  std::string sip, dip;
  long iif;
  long grp;
  std::string vrf;
  std::vector<std::string> iif_mismatch;
  std::vector<std::string> oil_mismatch;
};

// The hardware tables of a checker.
using Portmap = std::vector<PortmapEntry>;
using VlanXlateList = std::vector<VlanXlate>;
using IntMap = std::unordered_map<long, long>;
using VlanMap = std::unordered_map<long, VlanEntry>;
using ReplicationGroupMap = std::unordered_map<long, ReplicationGroup>;
// Hashed: the route listing is read in no useful order, and the dumps sort
// the keys themselves.
using MrouteMap = std::unordered_map<std::string, Hmroute>;

// The route key "%s, (%s,%s)" of VRF name, source and group.
std::string route_key(const std::string& vrf, const std::string& sip, const std::string& dip);

}  // namespace nv
