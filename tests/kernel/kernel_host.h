// The kernel side over the real System, with every program run and every
// file read or listed recorded, for the tests that run in a namespace.
#pragma once

#include <algorithm>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/system.h"
#include "kernel_state/kernel_state.h"

namespace nvtest {

struct RecordingSystem : nv::System {
  std::optional<std::string> capture(const std::vector<std::string>& argv) override {
    std::string line;
    for (const auto& a : argv) line += (line.empty() ? "" : " ") + a;
    log.push_back("run " + line);
    return real->capture(argv);
  }
  int shell(const std::string& line) override {
    log.push_back("shell " + line);
    return real->shell(line);
  }
  bool is_file(const std::string& path) override { return real->is_file(path); }
  bool is_dir(const std::string& path) override { return real->is_dir(path); }
  std::string read_file(const std::string& path) override {
    log.push_back("read " + path);
    return real->read_file(path);
  }
  std::vector<std::string> list_dir(const std::string& path) override {
    log.push_back("list " + path);
    return real->list_dir(path);
  }

  int count(const std::string& entry) const {
    return static_cast<int>(std::count(log.begin(), log.end(), entry));
  }
  // Sources read more than once, but for the bond slaves, which are read
  // anew on every request.
  std::vector<std::string> repeated() const {
    std::vector<std::string> out;
    for (const auto& l : log) {
      const bool slaves = l.rfind("read /sys/class/net/", 0) == 0 &&
                          l.size() > 15 && l.compare(l.size() - 15, 15, "/bonding/slaves") == 0;
      if (!slaves && count(l) > 1 && std::find(out.begin(), out.end(), l) == out.end())
        out.push_back(l);
    }
    return out;
  }

  std::shared_ptr<nv::System> real = nv::real_system();
  std::vector<std::string> log;
};

struct RealHost : nv::KernelHost {
  nv::System& system() override { return sys; }
  bool is_linux_port(const std::string& dev) override { return linux_ports.count(dev) != 0; }

  RecordingSystem sys;
  std::set<std::string> linux_ports;
};

// One checker's kernel side, with ports swp1..swpN as its front-panel ports.
struct Kernel {
  Kernel(int ports, bool merge_router_ports) : kern(host, merge_router_ports, caches) {
    caches.make_kernel_caches();
    for (int i = 1; i <= ports; ++i) host.linux_ports.insert("swp" + std::to_string(i));
  }

  // The port names dev delivers grp to, sorted, joined by blanks.
  std::string expand(const std::string& grp, const std::string& dev) {
    nv::Set<std::string> names;
    kern.expand_kern_dev(grp, dev, -1, names);
    std::vector<std::string> sorted_names = names.values();
    std::sort(sorted_names.begin(), sorted_names.end());
    return joined(sorted_names);
  }
  std::string base(const std::string& dev) {
    const nv::KernBaseDev b = kern.kern_base_dev_kind_get(dev);
    return b.kind + " " + b.dev + " " + std::to_string(b.vlan);
  }

  template <class Names>
  static std::string joined(const Names& names) {
    std::string out;
    for (const auto& n : names) out += (out.empty() ? "" : " ") + n;
    return out;
  }
  static std::string sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return joined(names);
  }

  RealHost host;
  nv::KernelCaches caches;
  nv::KernelState kern;
};

}  // namespace nvtest
