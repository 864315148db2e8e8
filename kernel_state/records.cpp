#include "kernel_state/records.h"

#include <algorithm>

#include "common/text.h"

namespace nv {

std::string KernDevEntry::text() const {
  return dev + ": kind: " + kind + " vlan_filtering: " + std::to_string(vlan_filtering) + "\n";
}

std::string KernVlanDevEntry::text() const {
  return "dev: " + dev + " vid: " + std::to_string(vid) + " atlink: " + atlink;
}

std::string KernVlanEntry::text() const {
  return "vid: " + std::to_string(vid) + "\n  tagged: " + join(tagged_swp, ",") +
         "\n  untagged: " + join(untagged_swp, ",") + "\n";
}

void KernMdbEntry::add_port(const std::string& dev) {
  if (std::find(swp.begin(), swp.end(), dev) == swp.end()) swp.push_back(dev);
}

std::string KernMdbEntry::text() const {
  std::string out = vid != -1 ? "  vid: " + std::to_string(vid) + " grp: " + grp + "\n"
                              : "  grp: " + grp + "\n";
  for (const auto& p : swp) out += "    port: " + p + "\n";
  return out;
}

std::string KernMdbCache::text() const {
  std::string out = "dev: " + dev + ":\n";
  for (const auto& [key, entry] : mdb_entries) out += entry.text();
  return out;
}

}  // namespace nv
