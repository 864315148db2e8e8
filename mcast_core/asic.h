// The multicast checker's shared part: the hardware tables a chip's readers
// fill at construction, the lookups over them, the host's queries and dumps
// and the pairing check.  A chip's checker derives from it and adds its
// readers and its construction sequence.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "common/errors.h"
#include "common/system.h"
#include "common/value.h"
#include "kernel_state/records.h"
#include "mcast_core/records.h"
#include "common/services.h"

namespace nv {

// Bumped whenever the host changes a record in place; lookup indexes built
// before that are rebuilt.
uint64_t& record_edit_epoch();
inline void note_record_edit() { ++record_edit_epoch(); }

// What the chips' checkers do differently in the shared part.
struct ChipPolicy {
  long hmroute_group_bits;  // type bits a hardware route adds to its group id
};

// The pattern vlan (?P<vlan>\d+).*untagged (?P<ports>\S+) searched for in a
// "vlan show" reply, without the regex engine: the reply's long port masks
// make the engine backtrack byte by byte, once for every VLAN read.
bool search_vlan_line(std::string_view text, std::string_view& vlan, std::string_view& ports);

using Portmap = std::vector<PortmapEntry>;
using VlanXlateList = std::vector<VlanXlate>;
using IntMap = std::unordered_map<long, long>;
using VlanMap = std::unordered_map<long, VlanEntry>;
using ReplicationGroupMap = std::unordered_map<long, ReplicationGroup>;
// Hashed: the route listing is read in no useful order, and the dumps sort
// the keys themselves.
using MrouteMap = std::unordered_map<std::string, Hmroute>;
using FieldMap = std::map<std::string, std::string>;

class Asic {
 public:
  struct Env {
    std::shared_ptr<System> system;
    std::shared_ptr<Console> console;
    std::shared_ptr<DeviceList> orig_dev;  // the class-wide ORIG_DEV list
  };

  Asic(Env env, const ChipPolicy& policy);
  virtual ~Asic() = default;
  Asic(const Asic&) = delete;
  Asic& operator=(const Asic&) = delete;

  const ChipPolicy& policy() const { return policy_; }

  // --- command runner
  // Standard output of the command text split at white space, or no value
  // when the program exits with a failure status.
  static std::optional<std::string> get_cmd_output(System& sys, const std::vector<std::string>& argv);
  // The host's form on this machine: the output, or `disp_str` as given.
  static Value get_cmd_output_or(const std::vector<std::string>& argv, const Value& disp_str);

  // --- host queries and dumps
  std::string text() const;
  std::string dump_one_mroute(const Hmroute& route) const;
  std::set<std::string> get_mroutes() const;
  // Every route when no filter is given (or it is false), else the routes
  // the filter names, in its order; a key that is no text names none.
  void dump_mroutes(const WhenTrue<std::vector<Value>>& filter) const;
  // `intf` itself when the group (hexadecimal text) has an L3 target whose
  // encap id text, less its first character, equals str(intf) less its
  // first; 0 otherwise.
  Value get_repl_group_entry(const Value& group_id, const Value& intf) const;
  // The two columns of the first "l3 egress show" row whose interface column
  // equals intf, or (0, 0).
  std::pair<Value, Value> get_l3_egress(const Value& intf);

  // --- port and VLAN translation
  static std::string grp_ip2mac(std::string_view grp);
  // The host's lookups: arguments of any kind, compared as the host compares.
  long dport2logical_port(const Value& dport);
  std::pair<long, long> get_logical_port_and_pvid(const Value& linux_port);
  bool is_port_untagged_for_vid(const Value& dport, const Value& vid);
  Value ivid2evid(const Value& dport, const Value& ivid);
  long evid2ivid(const Value& logical_port, const Value& evid);

  // --- route keys and the pairing check
  // (vrf, sip, dip) of a route key, or three Nones.
  using KeyParts = std::tuple<std::optional<std::string>, std::optional<std::string>,
                              std::optional<std::string>>;
  static KeyParts key_to_sip_dip(std::string_view key);
  void mroute_pairx_check_and_get_orig_dev();

  // --- what every chip's readers share
  static std::pair<std::optional<std::string>, FieldMap> field_dict_build(std::string_view entry);
  void update_portmap_port_vid(std::string_view dport, long port_vid);
  // Reads one VLAN's untagged ports into `vlans`, the chip's way; the
  // lookups call it the first time they need a VLAN.
  virtual void parse_vlan(const Value& vid) = 0;

  // The host replaced or changed a table; lookup indexes are rebuilt.
  void tables_changed() { ++tables_version_; }

  System& system() { return *env_.system; }
  const Env& env() const { return env_; }

  // --- state, as the host sees it; an empty pointer is an attribute that
  // does not exist (yet)
  std::optional<std::string> desc;
  std::shared_ptr<PortTable> pt;
  std::shared_ptr<VrfDb> vrf_db;
  std::shared_ptr<DiagShell> bcm;
  std::optional<bool> kestrad_debug_enabled;
  std::optional<bool> nq_mroute_kestrad_debug_enabled;
  std::shared_ptr<NameSet> linux_ports;

  std::shared_ptr<std::map<std::string, KernDevEntry>> kern_dev_cache;
  std::shared_ptr<std::map<std::string, KernMdbCache>> kern_mdb_cache;
  std::optional<bool> flood_mdb_misses;
  std::optional<bool> kern_vlan_cache_created;
  std::shared_ptr<std::map<long, KernVlanEntry>> kern_vlan_cache;
  std::optional<bool> kern_vlan_dev_cache_created;
  std::shared_ptr<std::map<std::string, KernVlanDevEntry>> kern_vlan_dev_cache;
  std::shared_ptr<std::map<std::string, std::vector<std::string>>> kern_br_cache;

  std::shared_ptr<Portmap> portmap;
  std::shared_ptr<IntMap> l3_intfs;
  std::shared_ptr<VlanXlateList> vlan_xlate;
  std::shared_ptr<IntMap> vlan_riot;
  std::optional<bool> riot_enable;
  std::optional<std::string> vlan_riot_memtable;
  std::shared_ptr<IntMap> l3_intf_nhi;  // only with RIOT on
  std::shared_ptr<VlanMap> vlans;
  std::shared_ptr<ReplicationGroupMap> replication_groups;
  std::shared_ptr<MrouteMap> mroutes;
  std::shared_ptr<std::set<std::string>> tmp_encaps;

 protected:
  static constexpr uint32_t kNoName = UINT32_MAX;
  static constexpr uint32_t kNotAName = UINT32_MAX - 1;  // a port given as no text

  // Creates the outside objects and the kernel caches, the first steps of
  // every chip's construction, in the host's order.
  void make_outside_objects(ServiceFactory& services);
  void make_kernel_caches();

  ShellOutput run_guarded(const std::string& cmd, std::string_view timeout_text);
  std::string command_output(const std::string& command_text);
  // bcm2linux of the port table; while the hardware is read, each port's
  // answer is asked once and kept.  `id` is the port's name number, or
  // kNoName when the caller has none.  The answer is held in an Encap of the
  // port (Linux name and ASIC name set, numbers 0) that a reader copies; it
  // stays valid until the next call.
  const Encap& port_encap(std::string_view dport, uint32_t id = kNoName);
  const std::string& linux_name(std::string_view dport, uint32_t id = kNoName) {
    return port_encap(dport, id).linux_port;
  }
  // A new empty target list; lists are made in blocks (see ListBlock).
  std::shared_ptr<EncapList> new_encap_list();
  const Hmroute* find_route(const std::string& key) const;
  // The routes in key order, for the dumps.
  std::vector<const MrouteMap::value_type*> sorted_routes() const;
  void store_vlan(long vlan, std::vector<std::string> untagged_dports);

  // The port and VLAN lookups, for a port whose name number the
  // caller may already hold (kNoName: looked up here).
  long logical_port_of(std::string_view dport, uint32_t id);
  bool untagged_in_vlan(std::string_view dport, uint32_t id, long vid);
  long evid_of(std::string_view dport, uint32_t id, long ivid);

  // An attribute the host may have deleted: the interpreter's AttributeError.
  template <class T>
  static T& need(const std::shared_ptr<T>& attr, const char* name) {
    if (!attr) throw missing_attribute(name);
    return *attr;
  }
  template <class T>
  static const T& need(const std::optional<T>& attr, const char* name) {
    if (!attr) throw missing_attribute(name);
    return *attr;
  }
  static Error missing_attribute(const char* name);
  // Position of the first exact occurrence of a heading word, or the
  // interpreter's ValueError of list.index.
  static size_t list_index(const std::vector<std::string_view>& words, std::string_view word);

  // ASIC port names as small numbers, so that one hash of a member line's
  // port serves the port map, the VLAN membership and the port-table answer.
  // Numbers are never reused or dropped while the Asic lives.
  class NameTable {
   public:
    uint32_t find(std::string_view name) const {  // kNoName when unknown
      if (slots_.empty()) return kNoName;
      const uint64_t key = key_of(name);
      for (size_t i = slot_of(key);; i = (i + 1) & mask_) {
        const Slot& s = slots_[i];
        if (s.id == kNoName) return kNoName;
        if (same(s, key, name)) return s.id;
      }
    }
    uint32_t intern(std::string_view name) {
      if (2 * (names_.size() + 1) > slots_.size()) grow();
      const uint64_t key = key_of(name);
      for (size_t i = slot_of(key);; i = (i + 1) & mask_) {
        const Slot& s = slots_[i];
        if (s.id == kNoName) return add(name, key, i);
        if (same(s, key, name)) return s.id;
      }
    }
    size_t size() const { return names_.size(); }

   private:
    // A name of up to eight bytes is its own key: its bytes in a word.  A
    // longer one is keyed by a hash and compared in full.
    struct Slot {
      uint64_t key;
      uint32_t size;
      uint32_t id = kNoName;  // kNoName when free
    };
    static uint64_t key_of(std::string_view name) {
      const char* p = name.data();
      const size_t n = name.size();
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
      if (n >= 4 && n <= 8) {
        // Two loads that overlap in the middle; the overlap agrees.
        uint32_t lo, hi;
        std::memcpy(&lo, p, 4);
        std::memcpy(&hi, p + n - 4, 4);
        return lo | uint64_t{hi} << (8 * (n - 4));
      }
#endif
      if (n <= 8) {
        uint64_t w = 0;
        for (size_t k = 0; k < n; ++k) w |= uint64_t{static_cast<unsigned char>(p[k])} << (8 * k);
        return w;
      }
      uint64_t h = 0x9E3779B97F4A7C15ull ^ n;
      size_t left = n;
      for (; left >= 8; p += 8, left -= 8) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        h = (h ^ w) * 0xBF58476D1CE4E5B9ull;
        h ^= h >> 31;
      }
      uint64_t w = 0;
      for (size_t k = 0; k < left; ++k) w |= uint64_t{static_cast<unsigned char>(p[k])} << (8 * k);
      return h ^ w;
    }
    size_t slot_of(uint64_t key) const {
      return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 32) & mask_;
    }
    bool same(const Slot& s, uint64_t key, std::string_view name) const {
      return s.key == key && s.size == name.size() && (name.size() <= 8 || names_[s.id] == name);
    }
    uint32_t add(std::string_view name, uint64_t key, size_t slot);
    void grow();
    std::vector<std::string> names_;
    std::vector<Slot> slots_;
    size_t mask_ = 0;
  };

  // Values by a key that is mostly a small number (a logical port, a VLAN
  // id): keys 0..4095 by position, any other in a hash map.
  template <class V>
  class SmallKeyTable {
   public:
    static constexpr long kDirect = 4096;
    // The value stored for a key, or null; a key 0..4095 that was never set
    // gives the default value once anything was stored.
    const V* find(long key) const {
      if (key >= 0 && key < kDirect) {
        if (direct_.empty()) return nullptr;
        return &direct_[static_cast<size_t>(key)];
      }
      auto it = others_.find(key);
      return it == others_.end() ? nullptr : &it->second;
    }
    // The value of a key, made default when there is none yet.
    V& slot(long key) {
      if (direct_.empty()) direct_.assign(kDirect, V{});
      if (key >= 0 && key < kDirect) return direct_[static_cast<size_t>(key)];
      return others_[key];
    }
    void clear() {
      direct_.assign(kDirect, V{});
      others_.clear();
    }

   private:
    std::vector<V> direct_;
    std::unordered_map<long, V> others_;
  };

  // (lport, vlan) -> vlan, the first entry of each pair in stored order.
  // The entries of one logical port sit together, sorted by VLAN, so a
  // lookup reads a few adjacent cache lines: it runs for every L3 target
  // of a replication read.
  class PairIndex {
   public:
    void build(const VlanXlateList& table, long VlanXlate::*key, long VlanXlate::*value);
    const long* find(long lport, long key) const {
      // Most lookups find no entry; the filter says so without a search.
      const uint64_t bit = filter_bit(lport, key);
      if (!(filter_[bit >> 6] >> (bit & 63) & 1)) return nullptr;
      const Range* r = ranges_.find(lport);
      if (!r) return nullptr;
      const Entry* b = entries_.data() + r->begin;
      const Entry* e = b + r->size;
      while (e - b > 8) {  // halve to a short run, then scan it
        const Entry* mid = b + (e - b) / 2;
        if (mid->key < key) b = mid + 1;
        else e = mid + 1;
      }
      for (; b != e; ++b)
        if (b->key >= key) return b->key == key ? &b->value : nullptr;
      return nullptr;
    }

   private:
    size_t filter_bit(long lport, long key) const {
      uint64_t h = static_cast<uint64_t>(lport) * 0x9E3779B97F4A7C15ull ^ static_cast<uint64_t>(key);
      h *= 0xBF58476D1CE4E5B9ull;
      return static_cast<size_t>(h >> 40) & filter_mask_;
    }
    struct Entry {
      long key, value;
    };
    struct Range {
      uint32_t begin = 0, size = 0;
    };
    SmallKeyTable<Range> ranges_;  // by logical port
    std::vector<Entry> entries_;
    std::vector<uint64_t> filter_ = std::vector<uint64_t>(1, 0);  // one bit per pair
    size_t filter_mask_ = 63;
  };

  // Lookup indexes: first match of each linear scan the lookups describe.
  // Each is valid for one table object, one tables_version_, one edit epoch
  // and one table size (the readers append while lookups already run).
  struct IndexStamp {
    uint64_t version = ~0ull, epoch = ~0ull;
    const void* table = nullptr;
    size_t count = 0;
  };
  struct PortIndex {
    IndexStamp stamp;
    // Name number -> first entry with that dport, and entry -> next entry
    // with the same dport; kNoName ends a chain.  Names numbered after the
    // index was built are in no entry.
    std::vector<uint32_t> first_by_name;
    std::vector<uint32_t> next_same;
    std::unordered_map<std::string, size_t> entry_by_linux;  // first entry
    std::optional<size_t> entry_without_linux;
  };
  struct XlateIndex {
    IndexStamp stamp;
    PairIndex evid_by_ivid;  // (lport, ivid) -> evid
    PairIndex ivid_by_evid;  // (lport, evid) -> ivid
  };
  // The untagged ports of every VLAN of the table, as a bit per name
  // number; a VLAN with a set is a VLAN the table has.
  struct VlanIndex {
    struct Set {
      uint32_t begin = kNoName, words = 0;  // into bits; no set when begin is kNoName
    };

    void clear();
    const Set* find(long vid) const {
      const Set* set = sets.find(vid);
      return set && set->begin != kNoName ? set : nullptr;
    }
    void assign(long vid, const std::vector<std::string>& names, NameTable& numbers);
    bool has(const Set& set, uint32_t name) const {
      const uint32_t word = name / 64;
      return word < set.words && (bits[set.begin + word] >> (name % 64) & 1);
    }

    IndexStamp stamp;
    SmallKeyTable<Set> sets;  // by VLAN id
    std::vector<uint64_t> bits;
    std::vector<uint32_t> ids;  // scratch of assign()
  };
  // An IntMap's values by key: a key 0..N-1 by position, where N is a few
  // times the table's size, any other by the table's own hash.  Run for
  // every L3 target of a replication read.
  struct IntIndex {
    const long* find(const IntMap& table, long key) const {
      if (key >= 0 && static_cast<unsigned long>(key) < slots.size()) {
        const Slot& s = slots[static_cast<size_t>(key)];
        return s.present ? &s.value : nullptr;
      }
      if (!others) return nullptr;
      auto it = table.find(key);
      return it == table.end() ? nullptr : &it->second;
    }

    struct Slot {
      long value = 0;
      bool present = false;
    };
    IndexStamp stamp;
    std::vector<Slot> slots;
    bool others = false;  // some key lies outside the slots
  };
  bool fresh(const IndexStamp& s, const void* table, size_t count) const {
    return s.version == tables_version_ && s.epoch == *edit_epoch_ && s.table == table &&
           s.count == count;
  }
  IndexStamp stamp_for(const void* table, size_t count) const;
  // Checked on every lookup, rebuilt out of line when stale.
  const PortIndex& port_index() {
    const Portmap& table = need(portmap, "portmap");
    if (fresh(port_index_.stamp, &table, table.size())) return port_index_;
    return rebuild_port_index(table);
  }
  const XlateIndex& xlate_index() {
    const VlanXlateList& table = need(vlan_xlate, "vlan_xlate");
    if (fresh(xlate_index_.stamp, &table, table.size())) return xlate_index_;
    return rebuild_xlate_index(table);
  }
  VlanIndex& vlan_index() {
    const VlanMap& table = need(vlans, "vlans");
    if (fresh(vlan_index_.stamp, &table, table.size())) return vlan_index_;
    return rebuild_vlan_index(table);
  }
  // The value of `key` in an IntMap attribute through its index, or null.
  const long* int_lookup(IntIndex& idx, const IntMap& table, long key) {
    if (!fresh(idx.stamp, &table, table.size())) rebuild_int_index(idx, table);
    return idx.find(table, key);
  }
  void rebuild_int_index(IntIndex& idx, const IntMap& table);
  const PortIndex& rebuild_port_index(const Portmap& table);
  const XlateIndex& rebuild_xlate_index(const VlanXlateList& table);
  VlanIndex& rebuild_vlan_index(const VlanMap& table);

  Env env_;
  const ChipPolicy& policy_;
  uint64_t tables_version_ = 0;
  const uint64_t* edit_epoch_ = &record_edit_epoch();
  NameTable port_names_;
  PortIndex port_index_;
  XlateIndex xlate_index_;
  VlanIndex vlan_index_;
  IntIndex l3_intf_index_;
  IntIndex nhi_index_;
  // The port table's answers while the hardware is read, by name number;
  // dropped after.  Only answers are kept: a port the table rejects is
  // asked again.
  bool keep_linux_names_ = false;
  std::vector<Encap> port_encaps_;
  std::vector<bool> port_encap_known_;
  Encap port_encap_answer_{"", "", 0, 0, 0};  // the answer when none is kept
  // The target lists of many groups share one allocation: each group's
  // list is a shared pointer into the block, which lives while any of its
  // lists is held.  A read makes two lists for each of thousands of groups.
  static constexpr size_t kListsPerBlock = 128;
  struct ListBlock {
    EncapList lists[kListsPerBlock];
  };
  std::shared_ptr<ListBlock> list_block_;
  size_t list_block_used_ = kListsPerBlock;
};

}  // namespace nv
