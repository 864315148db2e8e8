// kernel_state: the ports of each bridge VLAN and the members of each bridge.
#include <climits>

#include <nlohmann/json.hpp>

#include "common/errors.h"
#include "common/text.h"
#include "kernel_state/kernel_state.h"

namespace nv {

namespace {

using Json = nlohmann::json;

// The VLAN id of one VLAN object of the bridge tool: an integer or a text of
// digits; a missing one is VLAN 0.  False for anything else.
bool vlan_id_of(const Json& vlan, long& vid) {
  auto it = vlan.find("vlan");
  if (it == vlan.end()) {
    vid = 0;
    return true;
  }
  if (it->is_number_integer()) {  // never true for a boolean
    if (it->is_number_unsigned()) {
      const auto v = it->get<unsigned long long>();
      if (v > static_cast<unsigned long long>(LONG_MAX)) return false;
      vid = static_cast<long>(v);
    } else {
      vid = static_cast<long>(it->get<long long>());
    }
    return true;
  }
  if (!it->is_string()) return false;
  const std::string& text = it->get_ref<const std::string&>();
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return try_parse_int(text, 10, vid);
}

bool egress_untagged(const Json& vlan) {
  auto it = vlan.find("flags");
  if (it == vlan.end() || !it->is_array()) return false;
  for (const Json& flag : *it)
    if (flag.is_string() && flag.get_ref<const std::string&>() == "Egress Untagged") return true;
  return false;
}

Json parse_json(const std::string& text) {
  try {
    return Json::parse(text);
  } catch (const Json::parse_error& e) {
    // The library's text less its "[json.exception...] " tag.
    std::string_view what = e.what();
    const size_t tag_end = what.find("] ");
    if (what.rfind("[json.exception.", 0) == 0 && tag_end != std::string_view::npos)
      what.remove_prefix(tag_end + 2);
    throw ValueError(std::string(what));
  }
}

}  // namespace

void KernelState::kern_create_vlan_cache() {
  // Set first: a failed build is not repeated.
  caches.kern_vlan_cache_created = true;
  const Json devices = parse_json(command_output("/sbin/bridge -j vlan show", "{}"));
  // What does not fit the layout carries no VLANs.
  if (!devices.is_array()) return;
  for (const Json& device : devices) {
    if (!device.is_object()) continue;
    auto name_it = device.find("ifname");
    auto vlans_it = device.find("vlans");
    if (name_it == device.end() || !name_it->is_string()) continue;
    if (vlans_it == device.end() || !vlans_it->is_array()) continue;
    const std::string& name = name_it->get_ref<const std::string&>();
    for (const Json& vlan : *vlans_it) {
      long vid;
      if (!vlan.is_object() || !vlan_id_of(vlan, vid)) continue;
      // A bridge's own VLANs are not ports' VLANs.
      const std::string kind = kern_dev_kind_get(name);
      if (kind == "bridge") continue;
      const bool untagged = egress_untagged(vlan);
      std::vector<std::string> ports;
      if (kind == "bond")
        ports = expand_kern_bond(name);
      else
        ports.push_back(name);
      KernVlanEntry& entry =
          need(caches.kern_vlan_cache, "kern_vlan_cache").try_emplace(vid, vid).first->second;
      for (const std::string& port : ports) entry.add_port(port, untagged);
    }
  }
}

std::vector<std::string> KernelState::kern_get_vlan_members(long vid) {
  std::vector<std::string> members;
  for_each_vlan_member(vid, [&](const std::string& port) { members.push_back(port); });
  return members;
}

StoredMembers KernelState::kern_setup_br_cache(const std::string& dev) {
  std::vector<std::string> names;
  try {
    names = host_.system().list_dir("/sys/class/net/" + dev + "/brif");
  } catch (const Error&) {
    // Not a bridge, or no such device: no members.
  }
  std::vector<std::string> members;
  for (const std::string& member : names) {
    const KernBaseDev base = kern_base_dev_kind_get(member);
    if (base.code != DevKind::bond) {
      // A VLAN device stays under its own name.
      members.push_back(member);
      continue;
    }
    for (std::string& slave : expand_kern_bond(base.dev))
      members.push_back(base.vlan == -1 ? std::move(slave) : with_vlan(slave, base.vlan));
  }
  auto& cache = need(caches.kern_br_cache, "kern_br_cache");
  cache.insert_or_assign(dev, List<std::string>(std::move(members)));
  return cache.lookup(dev);
}

StoredMembers KernelState::kern_get_br_members(const std::string& dev) {
  StoredMembers stored = need(caches.kern_br_cache, "kern_br_cache").lookup(dev);
  if (!stored.empty()) return stored;
  return kern_setup_br_cache(dev);
}

}  // namespace nv
