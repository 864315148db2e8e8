// mcast_core: translation between ASIC ports, logical ports, Linux ports and
// internal/egress VLANs, and the reader of one VLAN's untagged ports behind
// them.  Each lookup is a linear scan in stored order; while the hardware is
// read, the read context's indexes give the same answers, and outside a
// read so do the native indexes over a port map or translation table that
// the host has never reached (only the core can have changed it).
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/errors.h"
#include "common/text.h"
#include "kernel_state/kernel_state.h"
#include "mcast_core/asic.h"

namespace nv {

std::string Asic::grp_ip2mac(std::string_view grp) { return nv::grp_ip2mac(grp); }

// --- port name numbers

uint32_t NameTable::add(std::string_view name, uint64_t key, size_t slot) {
  const uint32_t id = static_cast<uint32_t>(names_.size());
  names_.emplace_back(name);
  slots_[slot] = Slot{key, static_cast<uint32_t>(name.size()), id};
  return id;
}

void NameTable::grow() {
  const size_t cap = slots_.empty() ? 64 : 2 * slots_.size();
  slots_.assign(cap, Slot{});
  mask_ = cap - 1;
  for (uint32_t id = 0; id < names_.size(); ++id) {
    const uint64_t key = key_of(names_[id]);
    size_t i = slot_of(key);
    while (slots_[i].id != kNoName) i = (i + 1) & mask_;
    slots_[i] = Slot{key, static_cast<uint32_t>(names_[id].size()), id};
  }
}

// --- indexes

const PortIndex& Asic::rebuild_port_index(const Portmap& table) {
  PortIndex& idx = ctx_->port_index;
  idx.first_by_name.clear();
  idx.next_same.assign(table.size(), kNoName);
  idx.entry_by_linux.clear();
  idx.entry_without_linux.reset();
  std::vector<uint32_t> last_by_name;
  for (size_t i = 0; i < table.size(); ++i) {
    const PortmapEntry& e = table[i];
    const uint32_t id = ctx_->port_names.intern(e.dport);
    if (id >= idx.first_by_name.size()) {
      idx.first_by_name.resize(id + 1, kNoName);
      last_by_name.resize(id + 1, kNoName);
    }
    const uint32_t at = static_cast<uint32_t>(i);
    if (idx.first_by_name[id] == kNoName)
      idx.first_by_name[id] = at;
    else
      idx.next_same[last_by_name[id]] = at;
    last_by_name[id] = at;
    if (e.linux_port)
      idx.entry_by_linux.emplace(*e.linux_port, i);
    else if (!idx.entry_without_linux)
      idx.entry_without_linux = i;
  }
  idx.stamp = stamp_for(&table, table.size());
  return idx;
}

void PairIndex::build(const VlanXlateList& table, long VlanXlate::*key,
                            long VlanXlate::*value) {
  std::vector<uint32_t> order(table.size());
  for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  // Stable: of the entries with one (lport, key), the first in stored order
  // comes first and is the one kept.
  std::stable_sort(order.begin(), order.end(), [&](uint32_t x, uint32_t y) {
    const VlanXlate& a = table[x];
    const VlanXlate& b = table[y];
    return a.lport != b.lport ? a.lport < b.lport : a.*key < b.*key;
  });
  ranges_.clear();
  entries_.clear();
  entries_.reserve(order.size());
  Range* range = nullptr;
  const VlanXlate* last = nullptr;
  for (uint32_t i : order) {
    const VlanXlate& x = table[i];
    if (!last || x.lport != last->lport) {
      range = &ranges_.slot(x.lport);
      range->begin = static_cast<uint32_t>(entries_.size());
    } else if (x.*key == last->*key) {
      continue;
    }
    entries_.push_back(Entry{x.*key, x.*value});
    ++range->size;
    last = &x;
  }
}

const XlateIndex& Asic::rebuild_xlate_index(const VlanXlateList& table) {
  XlateIndex& idx = ctx_->xlate_index;
  idx.evid_by_ivid.build(table, &VlanXlate::ivid, &VlanXlate::evid);
  idx.ivid_by_evid.build(table, &VlanXlate::evid, &VlanXlate::ivid);
  idx.stamp = stamp_for(&table, table.size());
  return idx;
}

const NativePortIndex* Asic::native_port_index() {
  const std::optional<Portmap::Stamp> stamp = need(portmap, "portmap").native_stamp();
  if (!stamp) return nullptr;
  NativePortIndex& idx = native_ports_;
  if (idx.stamp == stamp) return &idx;
  idx.entry_by_dport.clear();
  idx.entry_by_linux.clear();
  idx.entry_without_linux.reset();
  const Portmap& table = *portmap;
  for (size_t i = 0; i < table.size(); ++i) {
    const PortmapEntry& e = table[i];
    const long at = static_cast<long>(i);
    if (!idx.entry_by_dport.contains(e.dport)) idx.entry_by_dport.insert_or_assign(e.dport, at);
    if (!e.linux_port) {
      if (!idx.entry_without_linux) idx.entry_without_linux = i;
    } else if (!idx.entry_by_linux.contains(*e.linux_port)) {
      idx.entry_by_linux.insert_or_assign(*e.linux_port, at);
    }
  }
  idx.stamp = stamp;
  return &idx;
}

const NativeXlateIndex* Asic::native_xlate_index() {
  const std::optional<VlanXlateList::Stamp> stamp = need(vlan_xlate, "vlan_xlate").native_stamp();
  if (!stamp) return nullptr;
  NativeXlateIndex& idx = native_xlates_;
  if (idx.stamp == stamp) return &idx;
  idx.evid_by_ivid.build(*vlan_xlate, &VlanXlate::ivid, &VlanXlate::evid);
  idx.ivid_by_evid.build(*vlan_xlate, &VlanXlate::evid, &VlanXlate::ivid);
  idx.stamp = stamp;
  return &idx;
}

void VlanIndex::clear() {
  sets.clear();
  bits.clear();
}

void VlanIndex::assign(long vid, const List<std::string>& names, NameTable& numbers) {
  uint32_t top = 0;
  ids.clear();
  for (const std::string& d : names) {
    ids.push_back(numbers.intern(d));
    top = std::max(top, ids.back());
  }
  // A replaced VLAN's old bits stay behind, unused.
  Set set;
  set.begin = static_cast<uint32_t>(bits.size());
  set.words = ids.empty() ? 0 : top / 64 + 1;
  bits.resize(bits.size() + set.words, 0);
  for (uint32_t id : ids) bits[set.begin + id / 64] |= uint64_t{1} << (id % 64);
  sets.slot(vid) = set;
}

VlanIndex& Asic::rebuild_vlan_index(const VlanMap& table) {
  VlanIndex& idx = ctx_->vlan_index;
  idx.clear();
  for (const auto& [vid, entry] : table) idx.assign(vid, entry.untagged_dports, ctx_->port_names);
  idx.stamp = stamp_for(&table, table.size());
  return idx;
}

void Asic::store_vlan(long vlan, List<std::string> untagged_dports) {
  VlanMap& table = need(vlans, "vlans");
  // Keep a current index current: one VLAN is re-indexed, not the table.
  bool was_fresh = ctx_ && fresh(ctx_->vlan_index.stamp, &table, table.size());
  VlanEntry& entry = table.insert_or_assign(vlan, VlanEntry(vlan, std::move(untagged_dports)));
  if (!was_fresh) return;
  ctx_->vlan_index.assign(vlan, entry.untagged_dports, ctx_->port_names);
  ctx_->vlan_index.stamp.count = table.size();
}

// --- lookups

long Asic::logical_port_of(std::string_view dport, uint32_t id) {
  if (!ctx_) {
    if (id == kNotAName) return -1;
    if (const NativePortIndex* idx = native_port_index()) {
      auto at = idx->entry_by_dport.lookup_text(dport);
      return at.empty() ? -1 : (*portmap)[static_cast<size_t>(*at.value)].logical_port;
    }
    for (const PortmapEntry& e : need(portmap, "portmap"))
      if (e.dport == dport) return e.logical_port;
    return -1;
  }
  // The index first: building it numbers the port map's names.
  const PortIndex& idx = port_index();
  if (id == kNoName) id = ctx_->port_names.find(dport);
  if (id >= idx.first_by_name.size() || idx.first_by_name[id] == kNoName) return -1;
  return (*portmap)[idx.first_by_name[id]].logical_port;
}

long Asic::dport2logical_port(const Value& dport) {
  const std::string* text = dport.as_text();
  return logical_port_of(text ? std::string_view(*text) : std::string_view(),
                         text ? kNoName : kNotAName);
}

std::pair<long, long> Asic::port_and_pvid_of_linux(std::string_view linux_port) {
  std::optional<size_t> at;
  if (ctx_) {
    const PortIndex& idx = port_index();
    auto it = idx.entry_by_linux.find(std::string(linux_port));
    if (it != idx.entry_by_linux.end()) at = it->second;
  } else if (const NativePortIndex* idx = native_port_index()) {
    auto found = idx->entry_by_linux.lookup_text(linux_port);
    if (!found.empty()) at = static_cast<size_t>(*found.value);
  } else {
    for (const PortmapEntry& e : *portmap)
      if (e.linux_port && *e.linux_port == linux_port) return {e.logical_port, e.port_vid};
  }
  if (!at) return {-1, -1};
  const PortmapEntry& e = (*portmap)[*at];
  return {e.logical_port, e.port_vid};
}

std::pair<long, long> Asic::get_logical_port_and_pvid(const Value& linux_port) {
  if (const std::string* text = linux_port.as_text()) return port_and_pvid_of_linux(*text);
  const Portmap& table = need(portmap, "portmap");
  // None equals an entry without a Linux port; any other value equals none.
  if (linux_port.is_none())
    for (const PortmapEntry& e : table)
      if (!e.linux_port) return {e.logical_port, e.port_vid};
  return {-1, -1};
}

bool Asic::untagged_in_vlan(std::string_view dport, uint32_t id, long vid) {
  if (!ctx_) {
    auto found = need(vlans, "vlans").lookup(vid);
    if (found.empty()) {
      parse_vlan(vid);
      found = need(vlans, "vlans").lookup(vid);
      if (found.empty()) return false;
    }
    if (id == kNotAName) return false;
    for (const std::string& d : found.get().untagged_dports)
      if (d == dport) return true;
    return false;
  }
  // The index holds every VLAN of the table, so it answers whether the
  // table has the VLAN too.
  VlanIndex* idx = &vlan_index();
  const VlanIndex::Set* set = idx->find(vid);
  if (!set) {
    // Never remembered as absent: a VLAN the shell does not report is asked
    // for again next time.
    parse_vlan(vid);
    idx = &vlan_index();
    set = idx->find(vid);
    if (!set) return false;
  }
  // Looked up only now: storing the VLAN may have numbered the name.
  if (id == kNoName) id = ctx_->port_names.find(dport);
  return id != kNoName && id != kNotAName && idx->has(*set, id);
}

bool Asic::is_port_untagged_for_vid(const Value& dport, const Value& vid) {
  // A VLAN id that is no integer is in no table: reading it fails.
  if (!vid.is_int()) parse_vlan(vid);
  const std::string* text = dport.as_text();
  return untagged_in_vlan(text ? std::string_view(*text) : std::string_view(),
                          text ? kNoName : kNotAName, vid.number);
}

long Asic::evid_of(std::string_view dport, uint32_t id, long ivid) {
  long lport = logical_port_of(dport, id);
  if (lport == -1) return ivid;
  if (!ctx_) {
    if (const NativeXlateIndex* idx = native_xlate_index()) {
      if (const long* evid = idx->evid_by_ivid.find(lport, ivid)) return *evid;
    } else {
      for (const VlanXlate& x : need(vlan_xlate, "vlan_xlate"))
        if (x.lport == lport && x.ivid == ivid) return x.evid;
    }
  } else if (const long* evid = xlate_index().evid_by_ivid.find(lport, ivid)) {
    return *evid;
  }
  return untagged_in_vlan(dport, id, ivid) ? -1 : ivid;
}

Value Asic::ivid2evid(const Value& dport, const Value& ivid) {
  const std::string* text = dport.as_text();
  // A port outside the port map keeps the VLAN as given, whatever it is.
  if (!text || logical_port_of(*text, kNoName) == -1) return ivid;
  if (!ivid.is_int()) {
    parse_vlan(ivid);  // no translation entry has it; reading it fails
    return ivid;
  }
  return evid_of(*text, kNoName, ivid.number);
}

long Asic::ivid_of(long lport, long evid) {
  const long* ivid = nullptr;
  if (ctx_) {
    ivid = xlate_index().ivid_by_evid.find(lport, evid);
  } else if (const NativeXlateIndex* idx = native_xlate_index()) {
    ivid = idx->ivid_by_evid.find(lport, evid);
  } else {
    for (const VlanXlate& x : *vlan_xlate)
      if (x.lport == lport && x.evid == evid) return x.ivid;
  }
  return ivid ? *ivid : -1;
}

long Asic::evid2ivid(const Value& logical_port, const Value& evid) {
  if (!logical_port.is_int() || !evid.is_int()) return -1;
  return ivid_of(logical_port.number, evid.number);
}

// The first match of `vlan (?P<vlan>\d+).*untagged (?P<ports>\S+)` searched
// for in the whole reply, in one pass: `.` stops at a line feed, so a match
// lies within one line; `.*` is greedy, so it takes the line's last
// "untagged " that a non-blank follows, and the match starts at the line's
// first "vlan <digits>" whose digits end at or before that.
bool search_vlan_line(std::string_view text, std::string_view& vlan, std::string_view& ports) {
  static constexpr std::string_view kVlan = "vlan ", kUntagged = "untagged ";
  size_t begin = 0;
  while (begin < text.size()) {
    size_t lf = text.find('\n', begin);
    if (lf == std::string_view::npos) lf = text.size();
    const std::string_view line = text.substr(begin, lf - begin);
    begin = lf + 1;

    size_t last = std::string_view::npos;
    for (size_t q = line.rfind(kUntagged); q != std::string_view::npos;
         q = q == 0 ? std::string_view::npos : line.rfind(kUntagged, q - 1)) {
      const size_t b = q + kUntagged.size();
      if (b < line.size() && !is_space(line[b])) {
        last = q;
        break;
      }
    }
    if (last == std::string_view::npos) continue;

    for (size_t at = line.find(kVlan); at != std::string_view::npos && at < last;
         at = line.find(kVlan, at + 1)) {
      const size_t digits = at + kVlan.size();
      size_t e = digits;
      while (e < line.size() && static_cast<unsigned char>(line[e] - '0') < 10) ++e;
      if (e == digits || e > last) continue;
      const size_t b = last + kUntagged.size();
      size_t end = b;
      while (end < line.size() && !is_space(line[end])) ++end;
      vlan = line.substr(digits, e - digits);
      ports = line.substr(b, end - b);
      return true;
    }
  }
  return false;
}

void Asic::parse_vlan(const Value& vid_value) {
  const long vid = percent_d(vid_value);
  const std::string cmd = "vlan show " + std::to_string(vid);
  // The command is formed first: a VLAN id that is no number fails either way.
  if (vid == kNoVlan && !policy_.vlan_show_no_vlan) return;
  ShellOutput out = run_guarded(cmd, cmd);
  std::string_view vlan_text, ports;
  if (!search_vlan_line(out.text, vlan_text, ports)) return;
  long vlan = parse_int(vlan_text, 10);
  const std::string port_cmd = "ports " + std::string(ports);
  ShellOutput listing = run_guarded(port_cmd, port_cmd);
  LineCursor lines(listing.text);
  std::string_view row;
  // Two heading lines, then one port per line.
  if (!lines.next(row) || !lines.next(row) || !lines.next(row)) return;
  List<std::string> names;
  do {
    std::string_view name = first_word(row);
    if (name.empty()) throw IndexError();
    names.emplace_back(name.substr(0, name.find('(')));
  } while (lines.next(row));
  store_vlan(vlan, std::move(names));
}

void Asic::update_portmap_port_vid(std::string_view dport, long port_vid) {
  if (!ctx_) {
    for (PortmapEntry& e : need(portmap, "portmap"))
      if (e.dport == dport) e.update_port_vid(port_vid);
    return;
  }
  const PortIndex& idx = port_index();
  const uint32_t id = ctx_->port_names.find(dport);
  if (id >= idx.first_by_name.size()) return;
  Portmap& table = *portmap;
  for (uint32_t i = idx.first_by_name[id]; i != kNoName; i = idx.next_same[i])
    table[i].update_port_vid(port_vid);
}

}  // namespace nv
