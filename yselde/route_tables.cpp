// yselde: the IPv4 multicast route table, from "diag pp ipv4_mc" or from the
// DBAL listing "diag dbal te 10".  Every DNX route is filed under VRF 0's
// name by the first; the second reads each row's VRF.
#include <utility>
#include <vector>

#include "common/errors.h"
#include "common/text.h"
#include "mcast_core/route_rows.h"
#include "yselde/dnx_asic.h"

namespace nv {

namespace {

// a, b, ... = text.split(sep): exactly `n` pieces, or the interpreter's
// ValueError of an unpacking.
std::vector<std::string_view> unpack(std::string_view text, std::string_view sep, size_t n) {
  std::vector<std::string_view> parts = split(text, sep);
  if (parts.size() > n) throw ValueError("too many values to unpack");
  if (parts.size() < n)
    throw ValueError("need more than " + std::to_string(parts.size()) + " value" +
                     (parts.size() == 1 ? "" : "s") + " to unpack");
  return parts;
}

// A group address of the DBAL table: the number's three top bits are
// always set.
constexpr long kMulticastBase = 0xE0000000L;
// DBAL results are FEC ids; the replication group's id is the FEC less this.
constexpr long kFecBase = 0x40000;

// Calls f(row) for every line after the two headings that holds `marker`.
template <class F>
void for_each_marked_row(std::string_view text, std::string_view marker, F&& f) {
  LineCursor lines(text);
  std::string_view line;
  if (!lines.next(line) || !lines.next(line)) return;
  while (lines.next(line))
    if (contains(line, marker)) f(line);
}

}  // namespace

void DnxAsic::parse_diag_ipv4_mc_table() {
  ShellOutput out = run_guarded("diag pp ipv4_mc", "diag pp ipv4_mc timed out");
  MrouteMap& routes = need(mroutes, "mroutes");
  VrfDb& vrfs = need(vrf_db, "vrf_db");

  for_each_marked_row(out.text, "commited", [&](std::string_view line) {
    // The non-empty cells between the bars; only the first four are read.
    std::string_view cells[4];
    size_t n = 0;
    for (size_t b = 0; n < 4;) {
      const size_t bar = line.find('|', b);
      const std::string_view cell =
          strip(line.substr(b, bar == std::string_view::npos ? bar : bar - b));
      if (!cell.empty()) cells[n++] = cell;
      if (bar == std::string_view::npos) break;
      b = bar + 1;
    }
    if (n < 4) throw IndexError();
    const std::string_view group = cells[0], iif = cells[1];
    std::string_view source = cells[2];
    const long fec = parse_int(cells[3], 10);
    const std::string vrf = vrfs.vrf_id2name(0);
    source = source.substr(0, source.find('/'));
    routes.insert_or_assign(route_key(vrf, source, group),
                            Hmroute(std::string(source), std::string(group), std::string(iif),
                                    fec, vrf, policy().hmroute_group_bits));
  });
}

void DnxAsic::parse_diag_dbal_mc_table() {
  ShellOutput out = run_guarded("diag dbal te 10", "diag dbal te 10 timed out");
  MrouteMap& routes = need(mroutes, "mroutes");
  VrfDb& vrfs = need(vrf_db, "vrf_db");

  std::vector<std::pair<std::string_view, std::string_view>> pieces;
  for_each_marked_row(out.text, "Raw", [&](std::string_view line) {
    // NAME:VALUE pieces between the bars, taken as they stand.
    pieces.clear();
    for (std::string_view piece : split(line, "|")) {
      if (piece.empty()) continue;
      const std::vector<std::string_view> name_value = unpack(piece, ":", 2);
      pieces.emplace_back(name_value[0], name_value[1]);
    }
    // A later piece of a name replaces an earlier one.
    auto value = [&](const char* name) {
      for (auto it = pieces.rbegin(); it != pieces.rend(); ++it)
        if (it->first == name) return it->second;
      throw KeyError(name);
    };
    // VALUE/MASK/SIZE; only the value is read.
    const std::string_view sip = unpack(value("SIPv4"), "/", 3)[0];
    const std::string_view dip = unpack(value("DIPv4"), "/", 3)[0];
    const std::string_view inrif = unpack(value("INRIF"), "/", 3)[0];
    const std::string_view vrf_id = unpack(value("VRF"), "/", 3)[0];
    const std::string vrf = vrfs.vrf_id2name(parse_int(vrf_id, 16));
    const long result_fec = parse_int(unpack(value("Result"), "/", 2)[0], 16) - kFecBase;
    std::string source = packed_address(parse_int(sip, 16));
    std::string group = packed_address(parse_int(dip, 16) | kMulticastBase);
    std::string key = route_key(vrf, source, group);
    routes.insert_or_assign(key, Hmroute(std::move(source), std::move(group), std::string(inrif),
                                         result_fec, vrf, policy().hmroute_group_bits));
  });
}

}  // namespace nv
