// Hardware multicast records: what the checker reads from the ASIC.
#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/containers.h"
#include "common/text.h"
#include "common/value.h"

namespace nv {

// -1 is the no-VLAN (and not-yet-known) value of every VLAN field.
constexpr long kNoVlan = -1;

struct PortmapEntry : Record {
  PortmapEntry(std::string dport, long logical_port, std::optional<std::string> linux_port)
      : dport(std::move(dport)), logical_port(logical_port), linux_port(std::move(linux_port)) {}
  void update_port_vid(long vid) { port_vid = vid; }
  std::string text() const;

  std::string dport;
  long logical_port;
  std::optional<std::string> linux_port;  // none when the port table does not know the port
  long port_vid = kNoVlan;
};

struct VlanXlate : Record {
  VlanXlate(long lport, long ivid, long evid) : lport(lport), ivid(ivid), evid(evid) {}
  std::string text() const;

  long lport, ivid, evid;
};

struct VlanEntry : Record {
  VlanEntry(long vid, List<std::string> untagged_dports)
      : vid(vid), untagged_dports(std::move(untagged_dports)) {}
  std::string text() const;

  long vid;
  List<std::string> untagged_dports;
};

struct Encap : Record {
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

using EncapList = List<Encap>;

struct ReplicationGroup : Record {
  ReplicationGroup(long mcast_grp, EncapList l2, EncapList l3)
      : mcast_grp(mcast_grp), l2_encaps(std::move(l2)), l3_encaps(std::move(l3)) {}
  std::string text() const;
  std::set<std::string> get_l3_linux_encaps() const;
  std::set<std::string> get_l2_linux_encaps() const;

  long mcast_grp;
  // The group keeps the lists it is given, not copies.
  EncapList l2_encaps;
  EncapList l3_encaps;
};

struct Hmroute : Record {
  // `group_bits` are the type bits the chip adds to a route's group id.  A
  // chip's route table gives the IIF as a number (XGS) or as its own text
  // (DNX); each chip's module shows the one it has as `iif`.
  Hmroute(std::string sip, std::string dip, long iif, long mcast_grp, std::string vrf,
          long group_bits)
      : sip(std::move(sip)), dip(std::move(dip)), iif(iif), grp(mcast_grp | group_bits),
        vrf(std::move(vrf)) {}
  Hmroute(std::string sip, std::string dip, std::string iif_text, long mcast_grp,
          std::string vrf, long group_bits)
      : sip(std::move(sip)), dip(std::move(dip)), iif_text(std::move(iif_text)),
        grp(mcast_grp | group_bits), vrf(std::move(vrf)) {}
  // "%s, (%s,%s), iif: %s" and the notes, with the IIF number.
  std::string text() const;
  // The same with the kernel's IIF once one is set, else the IIF text.
  std::string text_named_iif() const;

  std::string sip, dip;
  long iif = 0;
  std::string iif_text;
  Value kernel_iif;  // None until the comparison sets it
  long grp;
  std::string vrf;
  // The comparison's notes, in the order it made them.
  List<SharedText> iif_mismatch;
  List<SharedText> oil_mismatch;

 private:
  std::string text_with(std::string_view iif_shown) const;
};

// The hardware tables of a checker.
using Portmap = List<PortmapEntry>;
using VlanXlateList = List<VlanXlate>;
using IntMap = Dict<long, long>;
using VlanMap = Dict<long, VlanEntry>;
using ReplicationGroupMap = Dict<long, ReplicationGroup>;
// The dumps sort the keys themselves.
using MrouteMap = Dict<std::string, Hmroute>;

// The route key "%s, (%s,%s)" of VRF name, source and group.
std::string route_key(std::string_view vrf, std::string_view sip, std::string_view dip);

}  // namespace nv
