// mcast_core: the comparison of one kernel route with the hardware route of
// the same key.
#include <algorithm>
#include <string>
#include <vector>

#include "common/text.h"

#include "mcast_core/asic.h"

namespace nv {

namespace {

constexpr std::string_view kTermDev = "ipmr-lo";

// The notes, each made once and shared by every route that carries it;
// never destroyed, as routes may hold them until the very end.
const SharedText& note(int which) {
  static const SharedText::Lasting* const texts = new const SharedText::Lasting[5]{
      SharedText::Lasting("kernel IIF does not match hw IIF"),
      SharedText::Lasting("hw has OIFs not in the kernel"),
      SharedText::Lasting("kernel has OIFs not in the hw"),
      SharedText::Lasting("hw has L2-OIFs not in the kernel"),
      SharedText::Lasting("kernel has L2-OIFs not in the hw")};
  static const SharedText notes[] = {texts[0], texts[1], texts[2], texts[3], texts[4]};
  return notes[which];
}

// a minus b is not empty, for two sides' port names (in any order, with
// repeats).  Small sides are searched through; for larger ones, b's names
// are sorted by their hashes and searched by a's.
bool has_more(CompareNames& a, CompareNames& b) {
  if (a.size() * b.size() <= 256) {
    for (size_t i = 0; i < a.size(); ++i) {
      const std::string_view n = a.name(i);
      bool found = false;
      for (size_t j = 0; j < b.size() && !found; ++j) found = b.name(j) == n;
      if (!found) return true;
    }
    return false;
  }
  auto in_b_at = [&](size_t i, size_t j) { return b.name(j) == a.name(i); };
  a.hash_all();
  b.hash_all();
  std::vector<std::pair<uint64_t, uint32_t>>& order = b.order;
  if (order.size() != b.size()) {
    order.clear();
    for (size_t j = 0; j < b.size(); ++j) order.emplace_back(b.names[j].hash, static_cast<uint32_t>(j));
    std::sort(order.begin(), order.end());
  }
  for (size_t i = 0; i < a.size(); ++i) {
    const uint64_t h = a.names[i].hash;
    auto at = std::lower_bound(order.begin(), order.end(), std::make_pair(h, 0u));
    bool found = false;
    for (; at != order.end() && at->first == h && !found; ++at) found = in_b_at(i, at->second);
    if (!found) return true;
  }
  return false;
}

// The encap2swp names of a replication group's targets, added to out.
void add_port_names(const EncapList& encaps, CompareNames& out) {
  encaps.for_each([&](const Encap& e) {
    if (e.evid == kNoVlan) out.add(e.linux_port);
    else out.add_with_vlan(e.linux_port, e.evid);
  });
}

}  // namespace

void Asic::expand_kern_dev_here(const std::string& grp, const std::string& orig_dev,
                                long parent_vlan) {
  expand_kern_dev(grp, orig_dev, parent_vlan, need(tmp_encaps, "tmp_encaps"));
}

Set<std::string>& Asic::new_tmp_encaps() {
  // A set the host has never reached is known to no one but the core, so
  // emptying it in its place makes it as new as a new one.
  if (tmp_encaps && !tmp_encaps->held_by_host()) tmp_encaps->clear_native();
  else tmp_encaps = Set<std::string>();
  return *tmp_encaps;
}

Value Asic::mroute_eq(std::string_view key, const std::string& iif,
                      const Iterable<std::string>& oil,
                      PeerChecks& ul_mcast) {
  // The route's place in the large route table is fetched into the cache
  // in steps (index slot, entry, record), each while other work runs: the
  // key is split, the OIL taken, the pairing cases tested.  The replication
  // group's the same way while the IIF is expanded and compared.  These
  // are hints to the cache only.
  if (mroutes) mroutes->prefetch_slot(key);
  const std::optional<KeyViews> parts = key_views(key);
  std::optional<std::string_view> src, grp;
  if (parts) {
    src = parts->src;
    grp = parts->grp;
  }
  const bool from_any = src && *src == "0.0.0.0";

  // The pairing cases ask the OIL for its length and members before
  // anything else, so they take it whole first.
  std::optional<std::vector<std::string>> oil_items;
  if (policy_.pairing_and_iif) {
    oil_items = oil.values();
    if (mroutes) mroutes->prefetch_entry(key);
    if (env_.orig_dev->contains(iif) && !from_any) {
      if (oil_items->empty()) return Value::boolean(true);
      return ul_mcast.check_orig_mroute(env_.self, src ? Value(*src) : Value(),
                                         grp ? Value(*grp) : Value());
    }
    if (from_any && std::find(oil_items->begin(), oil_items->end(), kTermDev) != oil_items->end())
      return ul_mcast.check_term_mroute(src ? Value(*src) : Value(), grp ? Value(*grp) : Value());
    if (mroutes) mroutes->prefetch_held(key);
  }

  Hmroute* route = need(mroutes, "mroutes").lookup_text(key).value;
  if (!route) return Value::boolean(true);
  if (replication_groups) replication_groups->prefetch_slot(route->grp);
  route->iif_mismatch.prefetch_store();
  route->oil_mismatch.prefetch_store();
  // A key without the route form has no group: the expansion is asked
  // about None, as the host's own code would.
  GroupMac mac(grp ? *grp : std::string_view("None"));

  // The working sets, kept from call to call for their memory unless a
  // comparison is already running (the host's code can run inside one).
  CompareSets own;
  CompareSets& sets = compare_sets_busy_ ? own : compare_sets_;
  struct Busy {
    bool& flag;
    bool was;
    ~Busy() { flag = was; }
  } busy{compare_sets_busy_, compare_sets_busy_};
  compare_sets_busy_ = true;
  CompareNames& kern_l2 = sets.kern_l2;
  CompareNames& kern_l3 = sets.kern_l3;
  CompareNames& hw_l3 = sets.hw_l3;
  CompareNames& hw_l2 = sets.hw_l2;
  kern_l2.clear();
  kern_l3.clear();
  hw_l3.clear();
  hw_l2.clear();

  // The IIF's expansion resolves it as the line above does; nothing runs in
  // between that could change the answer.
  const KernBaseDev base = kern_base_dev_kind_get(iif);
  if (replication_groups) replication_groups->prefetch_entry(route->grp);
  expand_base_dev(mac, base, new_tmp_encaps());
  if (replication_groups) replication_groups->prefetch_held(route->grp);
  Set<std::string>& iif_names = need(tmp_encaps, "tmp_encaps");
  std::string first_member;
  bool first = true;
  const bool bridge = base.code == DevKind::bridge;
  iif_names.for_each([&](const std::string& n) {
    if (first) first_member = n;
    first = false;
    if (bridge) kern_l2.add(std::string_view(n).substr(0, n.find('.')));
  });

  route->iif_mismatch.prefetch_end();
  route->oil_mismatch.prefetch_end();

  if (policy_.pairing_and_iif) {
    if (!first) iif_names.erase(first_member);
    std::optional<long> kern_iif = kernel_iif_to_hw_iif(base, first_member);
    if (!kern_iif || *kern_iif != route->iif) route->iif_mismatch.push_back(note(0));
  }

  // The group's target lists, fetched ahead in steps while the OIL is
  // expanded (hints only: what is read below is looked up then).  Only
  // for an OIL taken whole: walking one may run the host's code, which
  // may reach the table and so move its records.
  const ReplicationGroup* ahead = oil_items && replication_groups
                                      ? replication_groups->peek_native(route->grp)
                                      : nullptr;
  if (ahead) {
    ahead->l3_encaps.prefetch_store();
    ahead->l2_encaps.prefetch_store();
  }
  auto expand_oif = [&](const std::string& oif) {
    if (oif == iif) return;
    expand_base_dev(mac, kern_base_dev_kind_get(oif), new_tmp_encaps());
    need(tmp_encaps, "tmp_encaps").for_each([&](const std::string& n) { kern_l3.add(n); });
    if (ahead) {
      ahead->l3_encaps.prefetch_items();
      ahead->l2_encaps.prefetch_items();
      ahead = nullptr;
    }
  };
  if (oil_items)
    for (const std::string& oif : *oil_items) expand_oif(oif);
  else
    oil.for_each(expand_oif);

  auto group_entry = need(replication_groups, "replication_groups").lookup(route->grp);
  if (!group_entry.empty()) {
    add_port_names(group_entry.get().l3_encaps, hw_l3);
    add_port_names(group_entry.get().l2_encaps, hw_l2);
  }
  if (has_more(hw_l3, kern_l3)) route->oil_mismatch.push_back(note(1));
  if (has_more(kern_l3, hw_l3)) route->oil_mismatch.push_back(note(2));
  if (has_more(hw_l2, kern_l2)) route->oil_mismatch.push_back(note(3));
  if (has_more(kern_l2, hw_l2)) route->oil_mismatch.push_back(note(4));

  return Value::boolean(route->iif_mismatch.empty() && route->oil_mismatch.empty());
}

}  // namespace nv
