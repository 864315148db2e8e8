// kernel_state: the kind of a kernel device, the VLAN devices and the slaves
// of a bond.
#include <tuple>

#include "common/errors.h"
#include "common/text.h"
#include "kernel_state/kernel_state.h"

namespace nv {

std::string KernelState::kern_dev_kind_parse(const std::string& dev) {
  // Front-panel ports are ours to name; the kernel calls them by their
  // driver's kind.
  if (host_.is_linux_port(dev)) return "swp";
  const std::string out = command_output("/bin/ip -d link show " + dev, "");
  LineCursor lines(out);
  std::string_view first, line;
  if (!lines.next(first) || contains(first, "does not exist")) return "unk";
  // The third line of the detailed description starts with the link kind.
  if (!lines.next(line) || !lines.next(line)) return "unk";
  std::string_view kind = first_word(line);
  return kind.empty() ? "unk" : std::string(kind);
}

long KernelState::kern_dev_vlan_filtering_parse(const std::string& dev) {
  const std::string path = "/sys/class/net/" + dev + "/bridge/vlan_filtering";
  if (!host_.system().is_file(path)) return 0;
  const std::string text = read_file_quietly(path);
  long value = 0;
  for (std::string_view line : lines(text)) value = parse_int_base0(strip(line));
  return value;
}

const KernDevEntry& KernelState::kern_dev_cache_get(const std::string& dev) {
  auto found = need(caches.kern_dev_cache, "kern_dev_cache").lookup(dev);
  if (!found.empty()) return found.get();
  // Both are learned before anything is stored: a failure leaves no entry.
  std::string kind = kern_dev_kind_parse(dev);
  const long vlan_filtering = kern_dev_vlan_filtering_parse(dev);
  return need(caches.kern_dev_cache, "kern_dev_cache")
      .insert_or_assign(dev, KernDevEntry(dev, std::move(kind), vlan_filtering));
}

std::string KernelState::kern_dev_kind_get(const std::string& dev) {
  return kern_dev_cache_get(dev).kind;
}

long KernelState::kern_dev_vlan_filtering_get(const std::string& dev) {
  return kern_dev_cache_get(dev).vlan_filtering;
}

std::pair<std::string, long> KernelState::kern_get_dev_vlan(const std::string& dev,
                                                            const std::string& kind,
                                                            long parent_vlan) {
  if (kind == "vlan") {
    // The VLAN device's own id replaces the one it was seen in.
    const KernVlanDevEntry* entry = kern_vlan_dev_entry(dev);
    if (entry && entry->vid != 0) return {entry->atlink, entry->vid};
  }
  return {dev, parent_vlan};
}

std::pair<Value, Value> KernelState::vlan_and_atlink_or_nones(const std::string& dev) {
  auto found = kern_get_vlan_and_atlink(dev);
  if (!found) return {Value(), Value()};
  return {Value(found->first), Value(found->second)};
}

void KernelState::kern_create_vlan_dev_cache() {
  // Set first: a failed build is not repeated.
  caches.kern_vlan_dev_cache_created = true;
  const std::string path = "/proc/net/vlan/config";
  if (!host_.system().is_file(path)) return;
  const std::string text = read_file_quietly(path);
  LineCursor lines(text);
  std::string_view line;
  // Two header lines.
  if (!lines.next(line) || !lines.next(line)) return;
  while (lines.next(line)) {
    std::vector<std::string_view> fields = split(line, "|");
    if (fields.size() < 3) continue;
    std::string dev(strip(fields[0]));
    const long vid = parse_int(strip(fields[1]), 10);
    std::string atlink(strip(fields[2]));
    need(caches.kern_vlan_dev_cache, "kern_vlan_dev_cache")
        .insert_or_assign(dev, KernVlanDevEntry(dev, vid, std::move(atlink)));
  }
}

const KernVlanDevEntry* KernelState::kern_vlan_dev_entry(const std::string& dev) {
  if (!need(caches.kern_vlan_dev_cache_created, "kern_vlan_dev_cache_created"))
    kern_create_vlan_dev_cache();
  auto found = need(caches.kern_vlan_dev_cache, "kern_vlan_dev_cache").lookup(dev);
  return found.empty() ? nullptr : &found.get();
}

std::optional<std::pair<long, std::string>> KernelState::kern_get_vlan_and_atlink(
    const std::string& dev) {
  const KernVlanDevEntry* entry = kern_vlan_dev_entry(dev);
  if (!entry) return std::nullopt;
  return std::make_pair(entry->vid, entry->atlink);
}

std::vector<std::string> KernelState::expand_kern_bond(const std::string& dev) {
  std::vector<std::string> slaves;
  const std::string dir = "/sys/class/net/" + dev + "/bonding/";
  if (!host_.system().is_dir(dir)) return slaves;
  const std::string text = read_file_quietly(dir + "slaves");
  for (std::string_view w : words(text)) slaves.emplace_back(w);
  return slaves;
}

KernBaseDev KernelState::kern_base_dev_kind_get(const std::string& orig_dev, long parent_vlan) {
  KernBaseDev base;
  auto take_entry = [&](const std::string& dev) {
    const KernDevEntry& entry = kern_dev_cache_get(dev);
    base.kind = entry.kind;
    base.vlan_filtering = entry.vlan_filtering;
  };
  take_entry(orig_dev);
  // kern_get_dev_vlan, without its copies: a VLAN device known to the
  // kernel becomes its lower device, and its own id replaces the one it was
  // seen in.
  const KernVlanDevEntry* vlan_dev =
      dev_kind_of(base.kind) == DevKind::vlan ? kern_vlan_dev_entry(orig_dev) : nullptr;
  if (vlan_dev && vlan_dev->vid != 0) {
    base.dev = vlan_dev->atlink;
    base.vlan = vlan_dev->vid;
  } else {
    base.dev = orig_dev;
    base.vlan = parent_vlan;
  }
  // One level only: the lower device is not resolved again.
  if (base.dev != orig_dev) take_entry(base.dev);
  base.code = dev_kind_of(base.kind);
  return base;
}

}  // namespace nv
