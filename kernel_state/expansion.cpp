// kernel_state: a kernel device expanded, for one group, into the port names
// the hardware must replicate the group to.
#include <algorithm>
#include <iterator>

#include "kernel_state/kernel_state.h"

namespace nv {

namespace {

bool supported(const std::string& kind) {
  return std::any_of(std::begin(kDevsSupported), std::end(kDevsSupported),
                     [&](const char* k) { return kind == k; });
}

std::string with_vlan(const std::string& name, long vlan) {
  return name + "." + std::to_string(vlan);
}

}  // namespace

void KernelState::expand_kern_dev(const std::string& grp, const std::string& orig_dev,
                                  long parent_vlan, Set<std::string>& tmp_encaps) {
  const KernBaseDev base = kern_base_dev_kind_get(orig_dev, parent_vlan);
  if (!supported(base.kind)) return;
  if (base.kind == "bridge") {
    const long vlan_filtering = kern_dev_vlan_filtering_get(base.dev);
    for (const std::string& member : expand_kern_bridge(vlan_filtering, grp, base.dev, base.vlan))
      tmp_encaps.insert(vlan_filtering != 0 ? with_vlan(member, base.vlan) : member);
  } else if (base.kind == "bond") {
    for (const std::string& slave : expand_kern_bond(base.dev))
      tmp_encaps.insert(base.vlan == -1 ? slave : with_vlan(slave, base.vlan));
  } else if (base.kind == "swp") {
    tmp_encaps.insert(base.vlan == -1 ? base.dev : with_vlan(base.dev, base.vlan));
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
