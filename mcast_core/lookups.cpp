// mcast_core: translation between ASIC ports, logical ports, Linux ports and
// internal/egress VLANs.  The tables are scanned through hash indexes that
// keep the first match of a scan in stored order.
#include <cstdio>

#include "common/errors.h"
#include "common/text.h"
#include "mcast_core/asic.h"

namespace nv {

namespace {

// "%02x" of the host: a negative value prints its sign and magnitude.
std::string hex2(long v) {
  char buf[24];
  if (v < 0)
    std::snprintf(buf, sizeof buf, "-%lx", 0ul - static_cast<unsigned long>(v));
  else
    std::snprintf(buf, sizeof buf, "%02lx", static_cast<unsigned long>(v));
  return buf;
}

}  // namespace

std::string Asic::grp_ip2mac(std::string_view grp) {
  std::vector<long> bytes;
  for (std::string_view piece : split(grp, ".")) bytes.push_back(parse_int(piece, 10));
  if (bytes.size() < 4) throw IndexError();
  return "01:00:5e:" + hex2(bytes[1] & 127) + ":" + hex2(bytes[2]) + ":" + hex2(bytes[3]);
}

// --- index bookkeeping

Asic::IndexStamp Asic::stamp_for(const void* table, size_t count) const {
  IndexStamp s;
  s.version = tables_version_;
  s.epoch = record_edit_epoch();
  s.table = table;
  s.count = count;
  return s;
}

bool Asic::fresh(const IndexStamp& s, const void* table, size_t count) const {
  return s.version == tables_version_ && s.epoch == record_edit_epoch() && s.table == table &&
         s.count == count;
}

const Asic::PortIndex& Asic::port_index() {
  const Portmap& table = need(portmap, "portmap");
  PortIndex& idx = port_index_;
  if (fresh(idx.stamp, &table, table.size())) return idx;
  idx.entries_by_dport.clear();
  idx.entry_by_linux.clear();
  idx.entry_without_linux.reset();
  for (size_t i = 0; i < table.size(); ++i) {
    const PortmapEntry& e = table[i];
    idx.entries_by_dport[e.dport].push_back(i);
    if (e.linux_port)
      idx.entry_by_linux.emplace(*e.linux_port, i);
    else if (!idx.entry_without_linux)
      idx.entry_without_linux = i;
  }
  idx.stamp = stamp_for(&table, table.size());
  return idx;
}

void Asic::PairIndex::reset(size_t expected) {
  size_t cap = 16;
  while (cap < 2 * expected) cap <<= 1;
  slots_.assign(cap, Slot{0, 0, 0, false});
  mask_ = cap - 1;
}

size_t Asic::PairIndex::slot_of(long a, long b) const {
  uint64_t h = static_cast<uint64_t>(a) * 0x9E3779B97F4A7C15ull ^ static_cast<uint64_t>(b);
  h ^= h >> 31;
  h *= 0xBF58476D1CE4E5B9ull;
  h ^= h >> 29;
  return static_cast<size_t>(h) & mask_;
}

void Asic::PairIndex::emplace(long a, long b, long value) {
  for (size_t i = slot_of(a, b);; i = (i + 1) & mask_) {
    Slot& s = slots_[i];
    if (!s.used) {
      s = Slot{a, b, value, true};
      return;
    }
    if (s.a == a && s.b == b) return;
  }
}

const long* Asic::PairIndex::find(long a, long b) const {
  if (slots_.empty()) return nullptr;
  for (size_t i = slot_of(a, b);; i = (i + 1) & mask_) {
    const Slot& s = slots_[i];
    if (!s.used) return nullptr;
    if (s.a == a && s.b == b) return &s.value;
  }
}

const Asic::XlateIndex& Asic::xlate_index() {
  const VlanXlateList& table = need(vlan_xlate, "vlan_xlate");
  XlateIndex& idx = xlate_index_;
  if (fresh(idx.stamp, &table, table.size())) return idx;
  idx.evid_by_ivid.reset(table.size());
  idx.ivid_by_evid.reset(table.size());
  for (const VlanXlate& x : table) {
    idx.evid_by_ivid.emplace(x.lport, x.ivid, x.evid);
    idx.ivid_by_evid.emplace(x.lport, x.evid, x.ivid);
  }
  idx.stamp = stamp_for(&table, table.size());
  return idx;
}

Asic::VlanIndex& Asic::vlan_index() {
  const VlanMap& table = need(vlans, "vlans");
  VlanIndex& idx = vlan_index_;
  if (fresh(idx.stamp, &table, table.size())) return idx;
  idx.untagged.clear();
  for (const auto& [vid, entry] : table) {
    auto& names = idx.untagged[vid];
    for (const std::string& d : entry.untagged_dports) names.insert(d);
  }
  idx.stamp = stamp_for(&table, table.size());
  return idx;
}

void Asic::store_vlan(long vlan, std::vector<std::string> untagged_dports) {
  VlanMap& table = need(vlans, "vlans");
  // Keep a current index current: one VLAN is re-indexed, not the table.
  bool was_fresh = fresh(vlan_index_.stamp, &table, table.size());
  auto it = table.insert_or_assign(vlan, VlanEntry(vlan, std::move(untagged_dports))).first;
  if (!was_fresh) return;
  auto& names = vlan_index_.untagged[vlan];
  names.clear();  // the old views point into the replaced entry
  for (const std::string& d : it->second.untagged_dports) names.insert(d);
  vlan_index_.stamp.count = table.size();
}

// --- lookups

long Asic::dport2logical_port(std::string_view dport) {
  const PortIndex& idx = port_index();
  auto it = idx.entries_by_dport.find(std::string(dport));
  if (it == idx.entries_by_dport.end()) return -1;
  return (*portmap)[it->second.front()].logical_port;
}

std::pair<long, long> Asic::get_logical_port_and_pvid(const std::optional<std::string>& linux_port) {
  const PortIndex& idx = port_index();
  std::optional<size_t> at;
  if (linux_port) {
    auto it = idx.entry_by_linux.find(*linux_port);
    if (it != idx.entry_by_linux.end()) at = it->second;
  } else {
    at = idx.entry_without_linux;
  }
  if (!at) return {-1, -1};
  const PortmapEntry& e = (*portmap)[*at];
  return {e.logical_port, e.port_vid};
}

bool Asic::is_port_untagged_for_vid(std::string_view dport, long vid) {
  // The index holds every VLAN of the table, so it answers whether the
  // table has the VLAN too.
  VlanIndex* idx = &vlan_index();
  auto it = idx->untagged.find(vid);
  if (it == idx->untagged.end()) {
    // Never remembered as absent: a VLAN the shell does not report is asked
    // for again next time.
    parse_vlan(vid);
    idx = &vlan_index();
    it = idx->untagged.find(vid);
    if (it == idx->untagged.end()) return false;
  }
  return it->second.count(dport) != 0;
}

long Asic::ivid2evid(std::string_view dport, long ivid) {
  long lport = dport2logical_port(dport);
  if (lport == -1) return ivid;
  if (const long* evid = xlate_index().evid_by_ivid.find(lport, ivid)) return *evid;
  return is_port_untagged_for_vid(dport, ivid) ? -1 : ivid;
}

long Asic::evid2ivid(long logical_port, long evid) {
  const long* ivid = xlate_index().ivid_by_evid.find(logical_port, evid);
  return ivid ? *ivid : -1;
}

}  // namespace nv
