// The kernel side of the multicast check: device kinds, VLAN devices, bond
// slaves, bridge VLANs and members, bridge snooping state, and the expansion
// of a kernel device into the port names the hardware must replicate to.
//
// Everything is read lazily through System and kept for the checker's life
// in KernelCaches; nothing is refreshed.  A reader looks its answer up in the
// caches on every call, so whoever holds the caches may replace or change
// them between calls.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "common/containers.h"
#include "common/errors.h"
#include "common/system.h"
#include "common/value.h"
#include "kernel_state/records.h"

namespace nv {

// What the kernel side needs of the checker that holds it.
class KernelHost {
 public:
  virtual ~KernelHost() = default;
  virtual System& system() = 0;
  // Whether dev is one of the front-panel ports of the port table, as the
  // checker holds them at the time of the call.
  virtual bool is_linux_port(const std::string& dev) = 0;
};

// The kernel caches and flags, in the order the checker creates them.
// The kernel caches, as attributes of the checker: each exists once made,
// and the host may replace any of them; the readers use what is there at
// the time of each use.
struct KernelCaches {
  std::optional<Dict<std::string, KernDevEntry>> kern_dev_cache;
  std::optional<Dict<std::string, KernMdbCache>> kern_mdb_cache;  // by bridge name
  std::optional<bool> flood_mdb_misses;
  std::optional<bool> kern_vlan_cache_created;
  std::optional<Dict<long, KernVlanEntry>> kern_vlan_cache;
  std::optional<bool> kern_vlan_dev_cache_created;
  std::optional<Dict<std::string, KernVlanDevEntry>> kern_vlan_dev_cache;
  std::optional<Dict<std::string, List<std::string>>> kern_br_cache;  // bridge -> members
  // Where an expansion puts the port names it finds; made by the route
  // comparison before each expansion.
  std::optional<Set<std::string>> tmp_encaps;

  // Makes the caches empty, in the checker's construction order.
  void make_kernel_caches();
};

// A bridge's stored member list.
using StoredMembers = SlotOf<List<std::string>>;

// The device kinds the expansion follows ("bridge", "bond", "vlan", "swp"),
// and other for any kind text not among them.
enum class DevKind : unsigned char { other, bridge, bond, vlan, swp };
inline DevKind dev_kind_of(std::string_view kind) {
  if (kind == "bridge") return DevKind::bridge;
  if (kind == "bond") return DevKind::bond;
  if (kind == "vlan") return DevKind::vlan;
  if (kind == "swp") return DevKind::swp;
  return DevKind::other;
}

// A device resolved to the device under it: a VLAN device known to the
// kernel becomes its lower device and its VLAN id.
struct KernBaseDev {
  std::string kind;
  std::string dev;
  long vlan;
  // The device's VLAN filtering as its cache entry held it when it was
  // resolved, and which supported kind `kind` is; not part of what the
  // host sees.
  long vlan_filtering = 0;
  DevKind code = DevKind::other;
  // (kind, device, VLAN), as the host reads it.
  std::tuple<std::string, std::string, long> as_tuple() const { return {kind, dev, vlan}; }
};

// "01:00:5e:%02x:%02x:%02x" of the low 23 bits of a dotted IPv4 group.
// Raises IndexError for fewer than four pieces and ValueError for a piece
// that is not a decimal integer.
std::string grp_ip2mac(std::string_view grp);
// The same, with no value where grp_ip2mac would raise.
std::optional<std::string> try_grp_ip2mac(std::string_view grp);

// The group MAC of one group text, made the first time an expansion asks
// for it: the expansions of one comparison share their group.
class GroupMac {
 public:
  explicit GroupMac(std::string_view grp) : grp_(grp) {}
  GroupMac(const GroupMac&) = delete;  // its view points into itself
  GroupMac& operator=(const GroupMac&) = delete;
  // grp_ip2mac of the group; raises as it does, every time it is asked.
  std::string_view get();
  std::string_view grp() const { return grp_; }

 private:
  std::string_view grp_;
  char quad_[17];
  std::string other_;
  std::string_view mac_;
  bool have_ = false;
};

// int(text, 0) of the interpreter: a 0x, 0o or 0b prefix, or a leading 0
// for octal, otherwise decimal.  Raises ValueError with its message.
long parse_int_base0(std::string_view text);

class KernelState {
 public:
  // merge_router_ports: whether a bridge without VLAN filtering merges its
  // multicast router ports into its snooping entries (a bridge with VLAN
  // filtering always does); a property of the chip's checker.
  KernelState(KernelHost& host, bool merge_router_ports, KernelCaches& caches)
      : caches(caches), host_(host), merge_router_ports_(merge_router_ports) {}

  KernelCaches& caches;

  // --- devices, VLAN devices and bond slaves
  std::string kern_dev_kind_parse(const std::string& dev);          // no cache
  long kern_dev_vlan_filtering_parse(const std::string& dev);       // no cache
  const KernDevEntry& kern_dev_cache_get(const std::string& dev);
  std::string kern_dev_kind_get(const std::string& dev);
  long kern_dev_vlan_filtering_get(const std::string& dev);
  std::pair<std::string, long> kern_get_dev_vlan(const std::string& dev, const std::string& kind,
                                                 long parent_vlan = -1);
  void kern_create_vlan_dev_cache();
  // (VLAN id, lower device) of a known VLAN device; no value otherwise.
  std::optional<std::pair<long, std::string>> kern_get_vlan_and_atlink(const std::string& dev);
  // The same as the host reads it: (None, None) for any other device.
  std::pair<Value, Value> vlan_and_atlink_or_nones(const std::string& dev);
  // The entry of dev in kern_vlan_dev_cache (made first if it is not), or
  // null.
  const KernVlanDevEntry* kern_vlan_dev_entry(const std::string& dev);
  // A bond's slaves, read anew on every call; empty for a device that is no bond.
  std::vector<std::string> expand_kern_bond(const std::string& dev);
  KernBaseDev kern_base_dev_kind_get(const std::string& orig_dev, long parent_vlan = -1);

  // --- bridge VLANs and bridge members
  void kern_create_vlan_cache();
  // The VLAN's tagged ports, then its untagged ones; a new list.
  std::vector<std::string> kern_get_vlan_members(long vid);
  // f(port) for each of them, in that order.
  template <class F>
  void for_each_vlan_member(long vid, F&& f) {
    if (!need(caches.kern_vlan_cache_created, "kern_vlan_cache_created")) kern_create_vlan_cache();
    auto found = need(caches.kern_vlan_cache, "kern_vlan_cache").lookup(vid);
    if (found.empty()) return;
    const KernVlanEntry& entry = found.get();
    entry.tagged_swp.for_each(f);
    entry.untagged_swp.for_each(f);
  }
  // Both give the list stored in kern_br_cache for the bridge.
  StoredMembers kern_setup_br_cache(const std::string& dev);
  StoredMembers kern_get_br_members(const std::string& dev);

  // --- bridge snooping
  // The bridge's snooping entry for a VLAN (-1 on a bridge without VLAN
  // filtering) and group MAC, reading the bridge on its first request; null
  // when there is none.  The entry stays in the cache.
  const KernMdbEntry* kern_dev_get_mdb_entry(const std::string& orig_dev, long orig_vlan,
                                             std::string_view orig_grp);

  // --- expansion into port names
  // Adds to tmp_encaps the port names to which orig_dev delivers the group.
  void expand_kern_dev(const std::string& grp, const std::string& orig_dev, long parent_vlan,
                       Set<std::string>& tmp_encaps);
  // The same for a device already resolved, with its group's MAC.
  void expand_base_dev(GroupMac& grp, const KernBaseDev& base, Set<std::string>& tmp_encaps);
  // f(port) for each port of the bridge that the group (by its MAC) goes
  // to: those of its snooping entry; when snooping knows nothing of the
  // group and misses flood, every member of the VLAN (a bridge with VLAN
  // filtering) or of the bridge.
  template <class F>
  void for_each_bridge_target(bool vlan_aware, const std::string& dev, long vlan,
                              std::string_view grp_mac, F&& f) {
    if (const KernMdbEntry* entry = kern_dev_get_mdb_entry(dev, vlan_aware ? vlan : -1, grp_mac)) {
      entry->swp.for_each(f);
    } else if (need(caches.flood_mdb_misses, "flood_mdb_misses")) {
      if (vlan_aware) for_each_vlan_member(vlan, f);
      else kern_get_br_members(dev).get().for_each(f);
    }
  }
  std::vector<std::string> expand_kern_bridge(long vlan_filtering, const std::string& grp,
                                              const std::string& dev, long vlan);
  std::vector<std::string> expand_kern_vlan_aware_bridge(const std::string& grp_mac,
                                                         const std::string& dev, long vlan);
  std::vector<std::string> expand_kern_vlan_unaware_bridge(const std::string& grp_mac,
                                                           const std::string& dev);

  bool merge_router_ports() const { return merge_router_ports_; }

  // Standard output of the command text split at white space, or the
  // fallback when the program exits with a failure status.  A program that
  // cannot be started raises OSError.
  std::string command_output(const std::string& command_text, std::string_view fallback = {});

 private:
  // The attribute, or the host's AttributeError when it is missing.
  template <class T>
  static T& need(std::optional<T>& attr, const char* name) {
    if (!attr) throw Error(ErrorKind::Attribute, std::string("Asic instance has no attribute '") + name + "'");
    return *attr;
  }
  // The text of a file; an I/O error while reading it ends the reading
  // quietly, with nothing read.
  std::string read_file_quietly(const std::string& path);
  // Fills a bridge's new snooping cache from its listing.
  void read_mdb(const std::string& bridge, const std::string& listing, KernMdbCache& cache);
  // Adds the names a router port stands for to its VLAN's entry.
  void add_router_port(KernMdbRportEntry& entry, const std::string& rport, bool vlan_aware);

  KernelHost& host_;
  bool merge_router_ports_;
};

}  // namespace nv
