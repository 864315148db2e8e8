// xgs_tables: port map, port default VLANs, L3 interfaces, VLAN translations
// and the untagged members of one VLAN.
#include <algorithm>

#include "common/errors.h"
#include "common/regex.h"
#include "common/text.h"
#include "mcast_core/asic.h"

namespace nv {

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

void Asic::parse_portmap() {
  ShellOutput out = run_guarded("show portmap", "show portmap timed out");
  LineCursor lines(out.text);
  std::string_view header, row;
  const bool two_lines = lines.next(header) && lines.next(row);
  if (!two_lines || contains(header, "Error"))
    throw RuntimeError("show portmap is not supported on this chip");
  std::vector<std::string_view> w = words(header);
  size_t logical = 0;
  while (logical < w.size() && w[logical] != "logical") ++logical;
  if (logical == w.size()) throw RuntimeError("show portmap format unexpected");
  // The heading names the column one word before the row's number.
  const size_t logical_index = logical + 1;

  Portmap& table = need(portmap, "portmap");
  do {
    words_into(row, w, logical_index + 1);
    if (w.empty()) throw IndexError();
    std::string_view dport = w[0];
    if (logical_index >= w.size()) throw IndexError();
    long logical_port = parse_int(w[logical_index], 10);
    std::optional<std::string> linux_port;
    try {
      linux_port = linux_name(dport);
    } catch (const std::exception&) {
      // A port the port table does not know keeps no Linux name.
    }
    table.emplace_back(std::string(dport), logical_port, std::move(linux_port));
  } while (lines.next(row));
}

void Asic::parse_ports() {
  static const Regex kDefaultVlan(R"(Port (?P<port>\S+) default VLAN is (?P<vlan>\d+))");
  ShellOutput out = run_guarded("pvlan show", "pvlan show");
  for_each_line(out.text, [&](std::string_view line) {
    if (auto m = kDefaultVlan.match(line))
      update_portmap_port_vid((*m)["port"], parse_int((*m)["vlan"], 10));
  });
}

void Asic::update_portmap_port_vid(std::string_view dport, long port_vid) {
  const PortIndex& idx = port_index();
  const uint32_t id = port_names_.find(dport);
  if (id >= idx.first_by_name.size()) return;
  Portmap& table = *portmap;
  for (uint32_t i = idx.first_by_name[id]; i != kNoName; i = idx.next_same[i])
    table[i].update_port_vid(port_vid);
}

void Asic::parse_l3_intf() {
  ShellOutput out = run_guarded("l3 intf show", "l3 intf show");
  LineCursor lines(out.text);
  std::string_view line;
  if (!lines.next(line) || !lines.next(line)) throw IndexError();
  std::vector<std::string_view> w = words(line);
  const size_t intf_index = list_index(w, "Intf");
  const size_t vlan_index = list_index(w, "VLAN");
  // Words past both columns are never read.
  const size_t used = std::max(intf_index, vlan_index) + 1;

  IntMap& table = need(l3_intfs, "l3_intfs");
  // Rows replace values in place, which the index over the table cannot
  // see; it is rebuilt at its next use.
  tables_changed();
  lines.next(line);  // line 2 is not read
  while (lines.next(line)) {
    words_into(line, w, used);
    if (w.size() <= vlan_index) continue;
    if (intf_index >= w.size()) throw IndexError();
    long intf = parse_int(w[intf_index], 10);
    long vlan = parse_int(w[vlan_index], 10);
    table[intf] = vlan;
  }
}

void Asic::parse_vlan_xlate() {
  static const Regex kModid(R"(modid = (?P<modid>\d+) port = (?P<port>\d+))");
  ShellOutput out = run_guarded("vlan translate show", "vlan translate show");
  // The shell says ERROR where the chip has no translation table.
  if (contains(out.text, "ERROR")) return;

  VlanXlateList& table = need(vlan_xlate, "vlan_xlate");
  for_each_line(out.text, [&](std::string_view line) {
    // Only three names are read; a later field of the same name wins.
    std::string_view port = "-1", old_vid = "-1", new_vid = "-1";
    auto set = [&](std::string_view name, std::string_view value) {
      if (name == "port") port = value;
      else if (name == "old_vid") old_vid = value;
      else if (name == "new_vid") new_vid = value;
    };
    for (size_t b = 0;;) {
      const size_t comma = line.find(',', b);
      const std::string_view f = line.substr(b, comma == std::string_view::npos ? comma : comma - b);
      if (contains(f, "modid")) {
        if (auto m = kModid.search(f)) set("port", (*m)["port"]);
      } else {
        // The first and second piece of the field split at "=", each stripped.
        const std::string_view t = strip(f);
        const size_t eq = t.find('=');
        if (eq == std::string_view::npos) throw IndexError();
        const std::string_view rest = t.substr(eq + 1);
        set(strip(t.substr(0, eq)), strip(rest.substr(0, rest.find('='))));
      }
      if (comma == std::string_view::npos) break;
      b = comma + 1;
    }
    long lport = parse_int(port, 10);
    long evid = parse_int(old_vid, 10);
    long ivid = parse_int(new_vid, 10);
    table.emplace_back(lport, ivid, evid);
  });
}

void Asic::parse_vlan(long vid) {
  const std::string cmd = "vlan show " + std::to_string(vid);
  if (vid == -1) return;
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
  std::vector<std::string> names;
  do {
    std::string_view name = first_word(row);
    if (name.empty()) throw IndexError();
    names.emplace_back(name.substr(0, name.find('(')));
  } while (lines.next(row));
  store_vlan(vlan, std::move(names));
}

}  // namespace nv
