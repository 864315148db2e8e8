// mcast_core: the comparison of one kernel route with the hardware route of
// the same key.
#include <algorithm>
#include <set>

#include "mcast_core/asic.h"

namespace nv {

namespace {

constexpr std::string_view kTermDev = "ipmr-lo";

const char* const kIifNote = "kernel IIF does not match hw IIF";

// a minus b is not empty.
bool has_more(const std::set<std::string>& a, const std::set<std::string>& b) {
  for (const std::string& n : a)
    if (!b.count(n)) return true;
  return false;
}

std::string port_part(const std::string& name) { return name.substr(0, name.find('.')); }

}  // namespace

void Asic::expand_kern_dev_here(const std::string& grp, const std::string& orig_dev,
                                long parent_vlan) {
  expand_kern_dev(grp, orig_dev, parent_vlan, need(tmp_encaps, "tmp_encaps"));
}

Value Asic::mroute_eq(const std::string& key, const std::string& iif,
                      const Iterable<std::string>& oil,
                      const std::shared_ptr<PeerChecks>& ul_mcast) {
  auto [vrf, src, grp] = key_to_sip_dip(key);
  const Value src_value = src ? Value(*src) : Value();
  const Value grp_value = grp ? Value(*grp) : Value();
  const bool from_any = src && *src == "0.0.0.0";

  // The pairing cases ask the OIL for its length and members before
  // anything else, so they take it whole first.
  std::optional<std::vector<std::string>> oil_items;
  if (policy_.pairing_and_iif) {
    oil_items = oil.values();
    if (env_.orig_dev->contains(iif) && !from_any) {
      if (oil_items->empty()) return Value::boolean(true);
      return ul_mcast->check_orig_mroute(env_.self, src_value, grp_value);
    }
    if (from_any && std::find(oil_items->begin(), oil_items->end(), kTermDev) != oil_items->end())
      return ul_mcast->check_term_mroute(src_value, grp_value);
  }

  Hmroute* route = need(mroutes, "mroutes").lookup(key).value;
  if (!route) return Value::boolean(true);
  // A key without the route form has no group: the expansion is asked
  // about None, as the host's own code would.
  const std::string group = grp ? *grp : std::string("None");

  std::set<std::string> kern_l2_encaps;
  const KernBaseDev base = kern_base_dev_kind_get(iif);
  tmp_encaps = Set<std::string>();
  expand_kern_dev_here(group, iif, -1);
  std::vector<std::string> iif_names = need(tmp_encaps, "tmp_encaps").values();
  if (base.kind == "bridge")
    for (const std::string& n : iif_names) kern_l2_encaps.insert(port_part(n));

  if (policy_.pairing_and_iif) {
    const std::string first_member = iif_names.empty() ? std::string() : iif_names.front();
    if (!iif_names.empty()) need(tmp_encaps, "tmp_encaps").erase(first_member);
    std::optional<long> kern_iif = kernel_iif_to_hw_iif(base, first_member);
    if (!kern_iif || *kern_iif != route->iif) route->iif_mismatch.push_back(kIifNote);
  }

  std::set<std::string> kern_l3_encaps;
  auto expand_oif = [&](const std::string& oif) {
    if (oif == iif) return;
    tmp_encaps = Set<std::string>();
    expand_kern_dev_here(group, oif, -1);
    need(tmp_encaps, "tmp_encaps").for_each([&](const std::string& n) { kern_l3_encaps.insert(n); });
  };
  if (oil_items)
    for (const std::string& oif : *oil_items) expand_oif(oif);
  else
    oil.for_each(expand_oif);

  std::set<std::string> hw_l3_encaps, hw_l2_encaps;
  auto group_entry = need(replication_groups, "replication_groups").lookup(route->grp);
  if (!group_entry.empty()) {
    hw_l3_encaps = group_entry.get().get_l3_linux_encaps();
    hw_l2_encaps = group_entry.get().get_l2_linux_encaps();
  }
  if (has_more(hw_l3_encaps, kern_l3_encaps)) route->oil_mismatch.push_back("hw has OIFs not in the kernel");
  if (has_more(kern_l3_encaps, hw_l3_encaps)) route->oil_mismatch.push_back("kernel has OIFs not in the hw");
  if (has_more(hw_l2_encaps, kern_l2_encaps)) route->oil_mismatch.push_back("hw has L2-OIFs not in the kernel");
  if (has_more(kern_l2_encaps, hw_l2_encaps)) route->oil_mismatch.push_back("kernel has L2-OIFs not in the hw");

  return Value::boolean(route->iif_mismatch.empty() && route->oil_mismatch.empty());
}

}  // namespace nv
