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
  if (base.code == DevKind::bridge) {
    const bool vlan_aware = base.vlan_filtering != 0;
    auto add = [&](const std::string& member) {
      if (!vlan_aware) {
        tmp_encaps.insert(member);
        return;
      }
      assign_with_vlan(name, member, base.vlan);
      tmp_encaps.insert(name);
    };
    // The bridge's snooping entry of the group, or, when snooping knows
    // nothing of it, the whole VLAN or bridge.
    if (const KernMdbEntry* entry =
            kern_dev_get_mdb_entry(base.dev, vlan_aware ? base.vlan : -1, grp.get())) {
      entry->swp.for_each(add);
    } else if (need(caches.flood_mdb_misses, "flood_mdb_misses")) {
      if (vlan_aware) for_each_vlan_member(base.vlan, add);
      else kern_get_br_members(base.dev).get().for_each(add);
    }
  } else if (base.code == DevKind::bond) {
    for (const std::string& slave : expand_kern_bond(base.dev)) {
      if (base.vlan == -1) {
        tmp_encaps.insert(slave);
      } else {
        assign_with_vlan(name, slave, base.vlan);
        tmp_encaps.insert(name);
      }
    }
  } else if (base.code == DevKind::swp) {
    if (base.vlan == -1) {
      tmp_encaps.insert(base.dev);
    } else {
      assign_with_vlan(name, base.dev, base.vlan);
      tmp_encaps.insert(name);
    }
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
  if (const KernMdbEntry* entry = kern_dev_get_mdb_entry(dev, vlan, grp_mac)) return entry->swp.values();
  // Snooping knows nothing of the group: it floods to the whole VLAN.
  if (need(caches.flood_mdb_misses, "flood_mdb_misses")) return kern_get_vlan_members(vlan);
  return {};
}

std::vector<std::string> KernelState::expand_kern_vlan_unaware_bridge(const std::string& grp_mac,
                                                                      const std::string& dev) {
  if (const KernMdbEntry* entry = kern_dev_get_mdb_entry(dev, -1, grp_mac)) return entry->swp.values();
  if (need(caches.flood_mdb_misses, "flood_mdb_misses")) return kern_get_br_members(dev).get().values();
  return {};
}

}  // namespace nv
