// kernel_state: a kernel device expanded, for one group, into the port names
// the hardware must replicate the group to.

#include "common/text.h"
#include "kernel_state/kernel_state.h"

namespace nv {

void KernelState::expand_kern_dev(const std::string& grp, const std::string& orig_dev,
                                  long parent_vlan, Set<std::string>& tmp_encaps) {
  GroupMac mac(grp);
  expand_base_dev(mac, kern_base_dev_kind_get(orig_dev, parent_vlan), tmp_encaps);
}

void KernelState::expand_base_dev(GroupMac& grp, const KernBaseDev& base,
                                  Set<std::string>& tmp_encaps) {
  if (base.code == DevKind::other) return;
  std::string name;
  // port, or port.VLAN for a device seen in a VLAN.
  auto add_in_vlan = [&](const std::string& port) {
    if (base.vlan == -1) {
      tmp_encaps.insert(port);
      return;
    }
    assign_with_vlan(name, port, base.vlan);
    tmp_encaps.insert(name);
  };
  if (base.code == DevKind::bridge) {
    const bool vlan_aware = base.vlan_filtering != 0;
    for_each_bridge_target(vlan_aware, base.dev, base.vlan, grp.get(),
                           [&](const std::string& member) {
                             if (!vlan_aware) {
                               tmp_encaps.insert(member);
                               return;
                             }
                             assign_with_vlan(name, member, base.vlan);
                             tmp_encaps.insert(name);
                           });
  } else if (base.code == DevKind::bond) {
    for (const std::string& slave : expand_kern_bond(base.dev)) add_in_vlan(slave);
  } else if (base.code == DevKind::swp) {
    add_in_vlan(base.dev);
  }
  // A VLAN device that did not resolve to its lower device leads nowhere.
}

std::vector<std::string> KernelState::expand_kern_bridge(long vlan_filtering,
                                                         const std::string& grp,
                                                         const std::string& dev, long vlan) {
  const std::string grp_mac = grp_ip2mac(grp);
  if (vlan_filtering != 0) return expand_kern_vlan_aware_bridge(grp_mac, dev, vlan);
  return expand_kern_vlan_unaware_bridge(grp_mac, dev);
}

std::vector<std::string> KernelState::expand_kern_vlan_aware_bridge(const std::string& grp_mac,
                                                                    const std::string& dev,
                                                                    long vlan) {
  std::vector<std::string> ports;
  for_each_bridge_target(true, dev, vlan, grp_mac, [&](const std::string& p) { ports.push_back(p); });
  return ports;
}

std::vector<std::string> KernelState::expand_kern_vlan_unaware_bridge(const std::string& grp_mac,
                                                                      const std::string& dev) {
  std::vector<std::string> ports;
  for_each_bridge_target(false, dev, -1, grp_mac, [&](const std::string& p) { ports.push_back(p); });
  return ports;
}

}  // namespace nv
