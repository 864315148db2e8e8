// kernel_state: a bridge's snooping (MDB) state and its multicast router
// ports, read once per bridge from the bridge tool.
#include <cstring>

#include "common/errors.h"
#include "common/regex.h"
#include "common/text.h"
#include "kernel_state/kernel_state.h"

namespace nv {

namespace {

// The router port of a line "router ports on <bridge>: <port> ...", where
// <bridge> is the word "bridge" (older tools) or the bridge's own name (as
// plain text).  Further names on the line are not read.
std::optional<std::string_view> router_port_of(std::string_view line, std::string_view bridge) {
  constexpr std::string_view kPrefix = "router ports on ";
  if (line.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
  line.remove_prefix(kPrefix.size());
  std::string_view rest;
  for (std::string_view word : {std::string_view("bridge"), bridge}) {
    if (line.size() >= word.size() + 2 && line.substr(0, word.size()) == word &&
        line.substr(word.size(), 2) == ": ") {
      rest = line.substr(word.size() + 2);
      break;
    }
  }
  size_t n = 0;
  while (n < rest.size() && !is_space(rest[n])) ++n;
  if (n == 0) return std::nullopt;
  return rest.substr(0, n);
}

// The VLAN id after the first " vid " at or after `from`, when a blank or
// the end of the line follows its digits.  Whatever stands between the
// group and the VLAN (a state, "proto <name>", flags, "src <address>") is
// passed over.
bool vid_after(std::string_view line, size_t from, long& vid) {
  const size_t at = line.find(" vid ", from);
  if (at == std::string_view::npos) return false;
  std::string_view rest = line.substr(at + 5);
  size_t n = 0;
  while (n < rest.size() && rest[n] >= '0' && rest[n] <= '9') ++n;
  if (n == 0 || (n < rest.size() && !is_space(rest[n]))) return false;
  return try_parse_int(rest.substr(0, n), 10, vid);
}

}  // namespace

const KernMdbEntry* KernelState::kern_dev_get_mdb_entry(const std::string& orig_dev,
                                                        long orig_vlan,
                                                        std::string_view orig_grp) {
  // The entry's key "%d.%s" of VLAN and group MAC, on the stack when it is
  // as short as they are.
  std::string vlan_text;  // short: no allocation
  append_decimal(vlan_text, orig_vlan);
  char short_key[64];
  std::string long_key;
  std::string_view key;
  const size_t size = vlan_text.size() + 1 + orig_grp.size();
  if (size <= sizeof short_key) {
    std::memcpy(short_key, vlan_text.data(), vlan_text.size());
    short_key[vlan_text.size()] = '.';
    std::memcpy(short_key + vlan_text.size() + 1, orig_grp.data(), orig_grp.size());
    key = std::string_view(short_key, size);
  } else {
    long_key.append(vlan_text).append(".").append(orig_grp);
    key = long_key;
  }
  if (KernMdbCache* cache = need(caches.kern_mdb_cache, "kern_mdb_cache").lookup(orig_dev).value)
    return cache->mdb_entries.lookup_text(key).value;
  // The bridge's first request: its listing is read.
  const std::string out = command_output("/sbin/bridge -d -s mdb show dev " + orig_dev, "");
  const long vlan_filtering = kern_dev_vlan_filtering_get(orig_dev);
  // Stored before any line is read: a failure part-way is not retried.
  KernMdbCache& cache = need(caches.kern_mdb_cache, "kern_mdb_cache")
                            .emplace(orig_dev, KernMdbCache(orig_dev, vlan_filtering))
                            .first->second;
  read_mdb(orig_dev, out, cache);
  return cache.mdb_entries.lookup_text(key).value;
}

void KernelState::read_mdb(const std::string& bridge, const std::string& listing,
                           KernMdbCache& cache) {
  static const Regex kVlanLine(R"(\S*\s+(\d+)(\s|$))");
  static const Regex kSnooped(R"(dev (?P<dev>\S+) port (?P<port>\S+) grp (?P<grp_ip>\S+))");
  const bool vlan_aware = cache.vlan_filtering != 0;

  // Router ports first: the groups of every VLAN take them in.
  for_each_line(listing, [&](std::string_view line) {
    const auto found = router_port_of(line, bridge);
    if (!found) return;
    const std::string rport(*found);
    if (!vlan_aware) {
      add_router_port(cache.mdb_rports.try_emplace(-1, -1).first->second, rport, false);
      return;
    }
    const std::string vlans = command_output("/sbin/bridge vlan show dev " + rport, "");
    // One VLAN per line, after the port's name or the blanks that stand in
    // for it on later lines; headers and ranges are not VLAN ids.
    for_each_line(vlans, [&](std::string_view vline) {
      const auto m = kVlanLine.match(vline);
      long vid;
      if (!m || !try_parse_int(m->group(1), 10, vid)) return;
      add_router_port(cache.mdb_rports.try_emplace(vid, vid).first->second, rport, true);
    });
  });

  const bool merge = vlan_aware || merge_router_ports_;
  for_each_line(listing, [&](std::string_view line) {
    const auto m = kSnooped.match(line);
    if (!m || (*m)["dev"] != bridge) return;
    long vid = -1;
    if (vlan_aware && !vid_after(line, m->end(), vid)) return;
    // Only IPv4 groups have a key; the kernel lists IPv6 ones of its own.
    const std::optional<std::string> grp_mac = try_grp_ip2mac((*m)["grp_ip"]);
    if (!grp_mac) return;
    const std::string key = std::to_string(vid) + "." + *grp_mac;
    KernMdbEntry& entry = cache.mdb_entries.try_emplace(key, vid, *grp_mac).first->second;
    const std::string port((*m)["port"]);
    // The bridge as its own port is the host's membership: the entry stands
    // (the group does not flood) but names no port for it.
    if (port != bridge) {
      const KernBaseDev base = kern_base_dev_kind_get(port, -1);
      if (base.code == DevKind::bond) {
        for (const std::string& slave : expand_kern_bond(base.dev))
          entry.add_port(base.vlan == -1 ? slave : with_vlan(slave, base.vlan));
      } else {
        entry.add_port(port);  // a VLAN device keeps its own name
      }
    }
    if (!merge) return;
    auto rports = cache.mdb_rports.find(vid);
    if (rports == cache.mdb_rports.end()) return;
    for (const std::string& name : rports->second.swp) entry.add_port(name);
  });
}

void KernelState::add_router_port(KernMdbRportEntry& entry, const std::string& rport,
                                  bool vlan_aware) {
  const KernBaseDev base = kern_base_dev_kind_get(rport, -1);
  // A bridge with VLAN filtering gives its members their VLAN when it is
  // expanded.  On one without, a VLAN device keeps its VLAN as a snooping
  // line's port does: swp1.100 stays swp1.100, the slaves of bond1.100 get
  // .100.
  const long vlan = vlan_aware ? -1 : base.vlan;
  if (base.code == DevKind::bond) {
    for (const std::string& slave : expand_kern_bond(base.dev))
      entry.add_port(vlan == -1 ? slave : with_vlan(slave, vlan));
  } else if (base.code == DevKind::swp) {
    entry.add_port(vlan == -1 ? base.dev : with_vlan(base.dev, vlan));
  }
}

}  // namespace nv
