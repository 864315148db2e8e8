// xgs_tables: the IPMC route table, from "ipmc table show" or from the raw
// memory dump of l3_entry_ipv4_multicast.
#include <algorithm>
#include <cstring>

#include "common/errors.h"
#include "common/regex.h"
#include "common/text.h"
#include "mcast_core/route_rows.h"
#include "xgs_tables/xgs_asic.h"

namespace nv {

namespace {

// A word by a position that may be negative, counted from the end as the
// host's lists do; no value when the row has no such word.
const std::string_view* word_at(const std::vector<std::string_view>& w, long pos) {
  long n = static_cast<long>(w.size());
  if (pos < 0) pos += n;
  if (pos < 0 || pos >= n) return nullptr;
  return &w[static_cast<size_t>(pos)];
}

const std::string* field(const FieldMap& fields, const char* name) {
  auto it = fields.find(name);
  return it == fields.end() ? nullptr : &it->second;
}

// VRF_ID and EXPECTED_L3_IIF come in either base; "0x" says which.
long either_base(const std::string& text) { return parse_int(text, contains(text, "0x") ? 16 : 10); }

}  // namespace

namespace {

// The VRF database's names, asked once per VRF id while one table is read:
// its answers do not change during the read, and a name it refuses fails
// the read at the same row as before.
class VrfNames {
 public:
  explicit VrfNames(VrfDb& db) : db_(db) {}
  const std::string& operator()(long id) {
    // Rows of one VRF tend to follow each other.
    if (last_ && id == last_id_) return *last_;
    auto it = names_.find(id);
    if (it == names_.end()) it = names_.emplace(id, db_.vrf_id2name(id)).first;
    last_id_ = id;
    last_ = &it->second;
    return *last_;
  }

 private:
  VrfDb& db_;
  std::unordered_map<long, std::string> names_;  // nodes: the names stay put
  long last_id_ = 0;
  const std::string* last_ = nullptr;
};

}  // namespace

void XgsAsic::parse_ipmc_table() {
  ShellOutput out = run_guarded("ipmc table show", "ipmc table show timed out");
  MrouteMap& routes = need(mroutes, "mroutes");
  VrfNames vrf_name(need(vrf_db, "vrf_db"));

  std::vector<std::string_view> w;
  long src_index = 0, mc_index = 0, grp_index = 0, vlan_index = 0, vrf_index = 0;
  // Words a row needs; all of them when a position counts from the end.
  size_t used = SIZE_MAX;
  size_t n = 0;
  for_each_line(out.text, [&](std::string_view line) {
    size_t at = n++;
    if (at == 0) {
      words_into(line, w);
      // Each address heading is two words longer than its value, so columns
      // after an address sit two words before their heading per address.
      constexpr long kAddrStrLen = 2, kAddrOffset = 2 * kAddrStrLen;
      src_index = static_cast<long>(list_index(w, "SRC"));
      mc_index = static_cast<long>(list_index(w, "MC")) - kAddrStrLen;
      grp_index = static_cast<long>(list_index(w, "GROUP")) - kAddrOffset;
      vlan_index = static_cast<long>(list_index(w, "VLAN")) - kAddrOffset;
      vrf_index = static_cast<long>(list_index(w, "VRF")) - kAddrOffset;
      const long lowest = std::min({src_index, mc_index, grp_index, vlan_index, vrf_index});
      const long highest = std::max({src_index, mc_index, grp_index, vlan_index, vrf_index});
      if (lowest >= 0) used = static_cast<size_t>(highest) + 1;
      // One route per row at most: no rehashing while the table fills.
      routes.reserve(routes.size() + count_lf(out.text));
      return;
    }
    if (at == 1) return;
    words_into(line, w, used);
    if (static_cast<long>(w.size()) <= grp_index) return;
    const std::string_view* sip = word_at(w, src_index);
    const std::string_view* dip = word_at(w, mc_index);
    const std::string_view* grp = word_at(w, grp_index);
    const std::string_view* vlan = word_at(w, vlan_index);
    const std::string_view* vrf_id = word_at(w, vrf_index);
    // A row cut short before a column it needs carries no route.
    if (!sip || !dip || !grp || !vlan || !vrf_id) return;
    long iif = parse_int(*vlan, 10);
    std::string vrf = vrf_name(parse_int(*vrf_id, 10));
    long mcast_grp = parse_int(*grp, 16);
    // A later row with the key replaces the route in its place.
    const long bits = policy().hmroute_group_bits;
    std::string key = route_key(vrf, *sip, *dip);
    routes.insert_or_assign(key, Hmroute(std::string(*sip), std::string(*dip), iif, mcast_grp,
                                         std::move(vrf), bits));
  });
  if (n == 0) throw IndexError();
}

void XgsAsic::parse_l3_entry_ipmc_table() {
  const std::string cmd = "dump chg l3_entry_ipv4_multicast";
  ShellOutput out = run_guarded(cmd, cmd);
  MrouteMap& routes = need(mroutes, "mroutes");
  VrfNames vrf_name(need(vrf_db, "vrf_db"));

  for_each_line(out.text, [&](std::string_view entry) {
    auto [key, fields] = field_dict_build(entry);
    if (!key) return;
    const std::string* valid0 = field(fields, "VALID_0");
    const std::string* valid1 = field(fields, "VALID_1");
    long val_0 = valid0 ? parse_int(*valid0, 10) : 0;
    long val_1 = valid1 ? parse_int(*valid1, 10) : 0;
    if (val_0 == 0 && val_1 == 0) return;

    const std::string* src = field(fields, "SOURCE_IP_ADDR");
    std::string sip = packed_address(src ? parse_int(*src, 16) : 0);
    const std::string* group = field(fields, "GROUP_IP_ADDR");
    if (!group) throw KeyError("GROUP_IP_ADDR");
    std::string dip = packed_address(parse_int(*group, 16));
    const std::string* vrf_id = field(fields, "VRF_ID");
    std::string vrf = vrf_name(vrf_id ? either_base(*vrf_id) : 0);
    const std::string* l3_iif = field(fields, "EXPECTED_L3_IIF");
    long iif = l3_iif ? either_base(*l3_iif) : 0;
    const std::string* index = field(fields, "L3MC_INDEX");
    long mcast_grp = index ? parse_int(*index, 16) : 0;

    std::string route = route_key(vrf, sip, dip);
    routes.insert_or_assign(std::move(route), Hmroute(sip, dip, iif, mcast_grp, vrf, policy().hmroute_group_bits));
  });
}

}  // namespace nv
