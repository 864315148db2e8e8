// yselde: the members of each route's replication group, one
// "diag multicast egress <id> members" per route.
#include <algorithm>
#include <vector>

#include "common/errors.h"
#include "common/text.h"
#include "yselde/dnx_asic.h"

namespace nv {

namespace {

// The number after the first ":" of a line (up to the next ":").
long labelled_number(std::string_view line) {
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos) throw IndexError();
  std::string_view rest = line.substr(colon + 1);
  return parse_int(strip(rest.substr(0, rest.find(':'))), 10);
}

// Field `i` of a row split at every "|".
std::string_view bar_field(std::string_view row, size_t i) {
  size_t b = 0;
  for (; i > 0; --i) {
    const size_t bar = row.find('|', b);
    if (bar == std::string_view::npos) throw IndexError();
    b = bar + 1;
  }
  const size_t bar = row.find('|', b);
  return row.substr(b, bar == std::string_view::npos ? bar : bar - b);
}

// The low 12 bits of a member's port field are its logical port.
constexpr long kLogicalPortMask = 0xFFF;

}  // namespace

void DnxAsic::parse_multicast_repln_groups() {
  // The keys first: the routes are looked up one by one as the walk goes.
  std::vector<std::string> keys;
  for (const auto& kv : need(mroutes, "mroutes")) keys.push_back(kv.first);
  std::sort(keys.begin(), keys.end());
  for (const std::string& key : keys) {
    const Hmroute* route = find_route(key);
    if (!route) throw KeyError(key);
    const std::string cmd = "diag multicast egress " + std::to_string(route->grp) + " members";
    ShellOutput out = run_guarded(cmd, "diag multicast members");
    parse_one_multicast_repln_group(out.text);
  }
}

void DnxAsic::parse_one_multicast_repln_group(std::string_view disp_str) {
  // Line 1 names the group, line 3 its member count; lines 2 and 4 to 6
  // are not read, and each line from the seventh on is one member.
  std::vector<std::string_view> ls = lines(disp_str);
  if (ls.empty()) throw IndexError();
  const long group_id = labelled_number(ls[0]);
  if (ls.size() < 3) throw IndexError();
  if (labelled_number(ls[2]) == 0) return;

  EncapList l2, l3;
  PortTable& table = need(pt, "pt");
  for (size_t i = 6; i < ls.size(); ++i) {
    const std::string_view row = ls[i];
    const long logical_port = parse_int(bar_field(row, 1), 16) & kLogicalPortMask;
    if (logical_port == 0) continue;
    const long encap1 = parse_int(bar_field(row, 3), 16);
    const long encap2 = parse_int(bar_field(row, 4), 16);
    const std::string dport = table.logical2dport(logical_port);
    const Encap& port = port_encap(dport);
    if (encap1 != 0)
      l3.emplace_back(port.linux_port, port.bcm_dport, encap1, encap2, kNoVlan);
    else
      l2.emplace_back(port.linux_port, port.bcm_dport, kNoVlan, kNoVlan, kNoVlan);
  }
  need(replication_groups, "replication_groups")
      .insert_or_assign(group_id, ReplicationGroup(group_id, std::move(l2), std::move(l3)));
}

}  // namespace nv
