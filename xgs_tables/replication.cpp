// xgs_tables: the multicast replication groups of "multicast show".
#include "common/errors.h"
#include "common/regex.h"
#include "common/text.h"
#include "mcast_core/asic.h"

namespace nv {

void Asic::parse_multicast_repln_groups() {
  ShellOutput out = run_guarded("multicast show", "multicast show");
  static constexpr std::string_view kCut = "Group";
  std::string_view text = out.text;
  // Every "Group" starts a piece, even inside a line; text before the first
  // one is not a group.
  size_t at = text.find(kCut);
  while (at != std::string_view::npos) {
    size_t begin = at + kCut.size();
    size_t next = text.find(kCut, begin);
    size_t end = next == std::string_view::npos ? text.size() : next;
    parse_one_multicast_repln_group(text.substr(begin, end - begin));
    at = next;
  }
}

void Asic::parse_one_multicast_repln_group(std::string_view piece) {
  static const Regex kMember(R"(\s+port (?P<port>\S+), encap id (?P<intf>[+-]?\d+))");
  std::vector<std::string_view> group = lines(piece);
  if (group.empty() || contains(group[0], "L2")) return;
  std::vector<std::string_view> head = words(group[0]);
  // "Group" at the end of a line leaves a head without an id: no group.
  if (head.empty()) return;
  long group_id = parse_int(head[0], 16);

  auto l2 = std::make_shared<EncapList>();
  auto l3 = std::make_shared<EncapList>();
  l3->reserve(group.size() - 1);
  for (size_t i = 1; i < group.size(); ++i) {
    auto m = kMember.match(group[i]);
    if (!m) continue;
    std::string dport((*m)["port"]);
    if (dport == "cpu0") continue;
    long intf = parse_int((*m)["intf"], 10);
    if (intf == -1) {
      l2->emplace_back(linux_name(dport), dport, -1, -1, -1);
      continue;
    }
    if (need(riot_enable, "riot_enable")) {
      // With RIOT the encap id is a next-hop index.
      const IntMap& nhi = need(l3_intf_nhi, "l3_intf_nhi");
      auto it = nhi.find(intf);
      if (it != nhi.end()) intf = it->second;
    }
    const IntMap& intfs = need(l3_intfs, "l3_intfs");
    auto it = intfs.find(intf);
    long vlan = it == intfs.end() ? -1 : it->second;
    long evid = ivid2evid(dport, vlan);
    // The port name is asked for only after the VLAN lookups.
    std::string linux_port = linux_name(dport);
    l3->emplace_back(std::move(linux_port), std::move(dport), intf, vlan, evid);
  }
  need(replication_groups, "replication_groups")
      .insert_or_assign(group_id, ReplicationGroup(group_id, std::move(l2), std::move(l3)));
}

}  // namespace nv
