// What a read of the hardware keeps while it runs and drops when it ends:
// ASIC port names numbered, the port table's answers, and indexes over the
// tables the readers fill, which answer the lookups the readers make.  Each
// index gives what the linear scan over its table gives: the first match in
// stored order.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "mcast_core/records.h"

namespace nv {

inline constexpr uint32_t kNoName = UINT32_MAX;
inline constexpr uint32_t kNotAName = UINT32_MAX - 1;  // a port given as no text

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
    return detail::key_hash(name);
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
  struct Entry {
    long key, value;
  };
  struct Range {
    uint32_t begin = 0, size = 0;
  };
  SmallKeyTable<Range> ranges_;  // by logical port
  std::vector<Entry> entries_;
};

// Lookup indexes: first match of each linear scan the lookups describe.
// Each is valid for one table object, one tables_version_, one edit epoch
// and one table size (the readers append while lookups already run).
struct IndexStamp {
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
  void assign(long vid, const List<std::string>& names, NameTable& numbers);
  bool has(const Set& set, uint32_t name) const {
    const uint32_t word = name / 64;
    return word < set.words && (bits[set.begin + word] >> (name % 64) & 1);
  }

  IndexStamp stamp;
  SmallKeyTable<Set> sets;  // by VLAN id
  std::vector<uint64_t> bits;
  std::vector<uint32_t> ids;  // scratch of assign()
};
// Indexes for the lookups made outside a read, over the port map and the
// VLAN translations while the core alone holds them: each is valid for the
// stamp of the table it was built over (List::native_stamp), and only the
// fields the core never changes in place are indexed.
struct NativePortIndex {
  std::optional<Portmap::Stamp> stamp;
  Dict<std::string, long> entry_by_dport;  // first entry of each
  Dict<std::string, long> entry_by_linux;
  std::optional<size_t> entry_without_linux;
};
struct NativeXlateIndex {
  std::optional<VlanXlateList::Stamp> stamp;
  PairIndex evid_by_ivid;  // (lport, ivid) -> evid
  PairIndex ivid_by_evid;  // (lport, evid) -> ivid
};

struct ReadContext {
  NameTable port_names;
  PortIndex port_index;
  XlateIndex xlate_index;
  VlanIndex vlan_index;
  // The port table's answers, by name number.  Only answers are kept: a
  // port the table rejects is asked again.
  std::vector<Encap> port_encaps;
  std::vector<bool> port_encap_known;
};

}  // namespace nv
