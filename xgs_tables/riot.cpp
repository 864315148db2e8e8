// xgs_tables: RIOT detection, and the mapping of a kernel IIF to the
// hardware VLAN and L3 IIF that a route's expected IIF is compared with.
#include "common/errors.h"
#include "common/text.h"
#include "xgs_tables/xgs_asic.h"

namespace nv {

bool XgsAsic::is_riot_enabled() {
  ShellOutput out = run_guarded("sc L3IngressMode", "sc L3IngressMode timed out");
  return parse_int(strip(out.text), 16) != 0;
}

std::string XgsAsic::get_vlan_riot_memtable_name() {
  if (!need(riot_enable, "riot_enable")) return "";
  const std::string cmd = "listmem VLAN";
  ShellOutput out = run_guarded(cmd, cmd);
  // Chips whose VLAN table carries L3_IIF map it there; the others keep it
  // in VLAN_MPLS.
  return contains(out.text, "L3_IIF<") ? "VLAN" : "VLAN_MPLS";
}

std::optional<long> XgsAsic::hw_vlan_to_iif(long iif_vlan) {
  if (iif_vlan < 0) return std::nullopt;
  if (!need(riot_enable, "riot_enable")) return iif_vlan;
  IntMap& cache = need(vlan_riot, "vlan_riot");
  if (auto known = int_lookup(cache, iif_vlan)) return known;
  // One shell exchange per VLAN; a failed read stores nothing.
  long iif = need(bcm, "bcm").gettable_int(need(vlan_riot_memtable, "vlan_riot_memtable"),
                                           iif_vlan, 1, 0, "L3_IIF");
  cache.insert_or_assign(iif_vlan, iif);
  return iif;
}

std::optional<long> XgsAsic::kernel_iif_to_hw_iif(const KernBaseDev& base,
                                                  const std::string& member) {
  return hw_vlan_to_iif(hw_vlan_of(base.code == DevKind::bridge, base.vlan, &member));
}

long XgsAsic::kern_iif_to_hw_vlan(const Value& base_kind, const Value& /*base_iif*/,
                                  long iif_vlan, const Value& member) {
  return hw_vlan_of(base_kind == "bridge", iif_vlan, member.as_text());
}

long XgsAsic::hw_vlan_of(bool base_is_bridge, long iif_vlan, const std::string* member) {
  if (base_is_bridge && iif_vlan != -1) return iif_vlan;
  if (!member || member->empty()) return -1;
  // "port" or "port.vlan"; only the first two "."-separated pieces count.
  const std::string_view name = *member;
  const size_t dot = name.find('.');
  long vlan = -1;
  if (dot != std::string_view::npos) {
    const std::string_view rest = name.substr(dot + 1);
    vlan = parse_int(rest.substr(0, rest.find('.')), 10);
  }
  auto [lport, pvid] = port_and_pvid_of_linux(name.substr(0, dot));
  if (vlan == -1) return pvid;
  return ivid_of(lport, vlan);
}

}  // namespace nv
