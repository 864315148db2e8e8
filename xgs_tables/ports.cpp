// xgs_tables: port map, port default VLANs, L3 interfaces and VLAN
// translations.
#include <algorithm>

#include "common/errors.h"
#include "common/regex.h"
#include "common/text.h"
#include "xgs_tables/xgs_asic.h"

namespace nv {

void XgsAsic::parse_portmap() {
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

void XgsAsic::parse_ports() {
  static const Regex kDefaultVlan(R"(Port (?P<port>\S+) default VLAN is (?P<vlan>\d+))");
  ShellOutput out = run_guarded("pvlan show", "pvlan show");
  for_each_line(out.text, [&](std::string_view line) {
    if (auto m = kDefaultVlan.match(line))
      update_portmap_port_vid((*m)["port"], parse_int((*m)["vlan"], 10));
  });
}

void XgsAsic::parse_l3_intf() {
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
  lines.next(line);  // line 2 is not read
  while (lines.next(line)) {
    words_into(line, w, used);
    if (w.size() <= vlan_index) continue;
    if (intf_index >= w.size()) throw IndexError();
    long intf = parse_int(w[intf_index], 10);
    long vlan = parse_int(w[vlan_index], 10);
    table.insert_or_assign(intf, vlan);
  }
}

void XgsAsic::parse_vlan_xlate() {
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

}  // namespace nv
