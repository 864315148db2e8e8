// A fake kernel for the kernel side: the tools' outputs, the files under
// /proc and /sys, and the directories, each answered from a map, with every
// program run and file read or listed recorded.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/errors.h"
#include "fakes.h"
#include "kernel_state/kernel_state.h"

namespace nvtest {

// Programs answer by their argument list joined with blanks; a program not
// listed exits with a failure status, a `missing` one cannot be started.
struct FakeKernelSystem : nv::System {
  std::optional<std::string> capture(const std::vector<std::string>& argv) override {
    std::string line;
    for (const auto& a : argv) line += (line.empty() ? "" : " ") + a;
    log.push_back("run " + line);
    if (missing.count(line)) throw nv::OSError(ENOENT, "No such file or directory");
    auto it = programs.find(line);
    if (it == programs.end()) return std::nullopt;
    return it->second;
  }
  int shell(const std::string& line) override {
    log.push_back("shell " + line);
    return 0;
  }
  bool is_file(const std::string& path) override {
    return files.count(path) != 0 || unreadable.count(path) != 0;
  }
  bool is_dir(const std::string& path) override {
    return dirs.count(path) != 0 || listings.count(path) != 0;
  }
  std::string read_file(const std::string& path) override {
    log.push_back("read " + path);
    auto it = files.find(path);
    if (it == files.end() || unreadable.count(path))
      throw nv::Error(nv::ErrorKind::IO, "No such file or directory: " + path, ENOENT);
    return it->second;
  }
  std::vector<std::string> list_dir(const std::string& path) override {
    log.push_back("list " + path);
    auto it = listings.find(path);
    if (it == listings.end()) throw nv::OSError(ENOENT, "No such file or directory: " + path);
    return it->second;
  }

  int count(const std::string& entry) const {
    return static_cast<int>(std::count(log.begin(), log.end(), entry));
  }
  // Log entries that start with `prefix`.
  std::vector<std::string> logged(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& l : log)
      if (l.compare(0, prefix.size(), prefix) == 0) out.push_back(l);
    return out;
  }

  std::map<std::string, std::optional<std::string>> programs;
  std::set<std::string> missing;
  std::map<std::string, std::string> files;
  std::set<std::string> unreadable;  // a regular file whose read fails
  std::set<std::string> dirs;
  std::map<std::string, std::vector<std::string>> listings;
  std::vector<std::string> log;
};

struct FakeKernelHost : nv::KernelHost {
  nv::System& system() override { return sys; }
  bool is_linux_port(const std::string& dev) override { return linux_ports.count(dev) != 0; }

  FakeKernelSystem sys;
  std::set<std::string> linux_ports;
};

// The detailed link description of "/bin/ip -d link show" (iproute2 6.1):
// the kind and its settings begin the third line.
inline std::string ip_link_output(const std::string& dev, const std::string& kind_line) {
  return "7: " + dev +
         ": <BROADCAST,MULTICAST,UP,LOWER_UP> mtu 1500 qdisc noqueue state UP mode DEFAULT "
         "group default qlen 1000\n"
         "    link/ether b6:99:26:c6:fa:5c brd ff:ff:ff:ff:ff:ff promiscuity 0  allmulti 0 "
         "minmtu 68 maxmtu 65535 \n"
         "    " +
         kind_line + " addrgenmode eui64 numtxqueues 1 numrxqueues 1 gso_max_size 65536 \n";
}

inline const char kVlanConfigHeader[] =
    "VLAN Dev name\t | VLAN ID\n"
    "Name-Type: VLAN_NAME_TYPE_RAW_PLUS_VID_NO_PAD\n";

// One checker's kernel side over a fake kernel, with helpers that lay out
// devices the way the kernel shows them.
struct KernelRig {
  explicit KernelRig(bool merge_router_ports = true) : kern(host, merge_router_ports, caches) {
    caches.make_kernel_caches();
  }

  FakeKernelSystem& sys() { return host.sys; }

  void ports(std::initializer_list<const char*> names) {
    for (const char* n : names) host.linux_ports.insert(n);
  }
  void link(const std::string& dev, const std::string& kind_line) {
    sys().programs["/bin/ip -d link show " + dev] = ip_link_output(dev, kind_line);
  }
  // A bridge; vlan_filtering as its sysfs file holds it (none: no file).
  void bridge(const std::string& dev, std::optional<std::string> vlan_filtering,
              std::vector<std::string> members = {}) {
    link(dev, "bridge forward_delay 1500 hello_time 200 max_age 2000 stp_state 0");
    if (vlan_filtering) sys().files["/sys/class/net/" + dev + "/bridge/vlan_filtering"] = *vlan_filtering;
    sys().listings["/sys/class/net/" + dev + "/brif"] = std::move(members);
  }
  void mdb(const std::string& bridge, const std::string& listing) {
    sys().programs["/sbin/bridge -d -s mdb show dev " + bridge] = listing;
  }
  void vlan_listing(const std::string& port, const std::string& listing) {
    sys().programs["/sbin/bridge vlan show dev " + port] = listing;
  }
  void bond(const std::string& dev, const std::string& slaves) {
    link(dev, "bond mode 802.3ad miimon 100 updelay 0 downdelay 0 peer_notify_delay 0");
    sys().dirs.insert("/sys/class/net/" + dev + "/bonding/");
    sys().files["/sys/class/net/" + dev + "/bonding/slaves"] = slaves;
  }
  // A VLAN device, in the link description and in /proc/net/vlan/config.
  void vlan_device(const std::string& dev, long vid, const std::string& lower) {
    link(dev, "vlan protocol 802.1Q id " + std::to_string(vid) + " <REORDER_HDR>");
    std::string& config = sys().files["/proc/net/vlan/config"];
    if (config.empty()) config = kVlanConfigHeader;
    char line[128];
    std::snprintf(line, sizeof line, "%-15s| %ld  | %s\n", dev.c_str(), vid, lower.c_str());
    config += line;
  }

  FakeKernelHost host;
  nv::KernelCaches caches;
  nv::KernelState kern;
};

// The base device as one text, for tables of cases.
inline std::string text_of(const nv::KernBaseDev& b) {
  return b.kind + " " + b.dev + " " + std::to_string(b.vlan);
}

inline std::string joined(const std::vector<std::string>& names) {
  std::string out;
  for (const auto& n : names) out += (out.empty() ? "" : " ") + n;
  return out;
}
inline std::string joined(const nv::List<std::string>& names) { return joined(names.values()); }
// A set's names in sorted order.
inline std::string joined(const nv::Set<std::string>& names) {
  std::vector<std::string> sorted = names.values();
  std::sort(sorted.begin(), sorted.end());
  return joined(sorted);
}
inline std::string joined(const std::set<std::string>& names) {
  return joined(std::vector<std::string>(names.begin(), names.end()));
}

}  // namespace nvtest
