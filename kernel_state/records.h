// Kernel multicast records: what the checker learns from the Linux kernel.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace nv {

struct KernDevEntry {
  KernDevEntry(std::string dev, std::string kind, long vlan_filtering)
      : dev(std::move(dev)), kind(std::move(kind)), vlan_filtering(vlan_filtering) {}
  std::string text() const;

  std::string dev;
  std::string kind;     // "swp", "unk" or the kernel's link kind word
  long vlan_filtering;  // 0 for a device that is not a bridge
};

struct KernVlanDevEntry {
  KernVlanDevEntry(std::string dev, long vid, std::string atlink)
      : dev(std::move(dev)), vid(vid), atlink(std::move(atlink)) {}
  std::string text() const;

  std::string dev;
  long vid;
  std::string atlink;  // the lower device
};

struct KernVlanEntry {
  explicit KernVlanEntry(long vid) : vid(vid) {}
  void add_port(const std::string& port, bool untagged) {
    (untagged ? untagged_swp : tagged_swp).push_back(port);
  }
  std::string text() const;

  long vid;
  std::vector<std::string> tagged_swp;
  std::vector<std::string> untagged_swp;
};

struct KernMdbEntry {
  KernMdbEntry(long vid, std::string grp) : vid(vid), grp(std::move(grp)) {}
  void add_port(const std::string& dev);  // no duplicates
  std::string text() const;

  long vid;  // -1 on a bridge without VLAN filtering
  std::string grp;
  std::vector<std::string> swp;
};

struct KernMdbRportEntry {
  explicit KernMdbRportEntry(long vid) : vid(vid) {}
  void add_port(const std::string& dev) { swp.push_back(dev); }

  long vid;
  std::vector<std::string> swp;
};

using MdbEntryMap = std::map<std::string, KernMdbEntry>;

struct KernMdbCache {
  KernMdbCache(std::string dev, long vlan_filtering,
               std::shared_ptr<MdbEntryMap> entries = nullptr)
      : dev(std::move(dev)), vlan_filtering(vlan_filtering),
        mdb_entries(entries ? std::move(entries) : std::make_shared<MdbEntryMap>()) {}
  std::string text() const;

  std::string dev;
  long vlan_filtering;
  std::shared_ptr<MdbEntryMap> mdb_entries;  // keyed by "%d.%s" of VLAN and group MAC
  std::map<long, KernMdbRportEntry> mdb_rports;
};

}  // namespace nv
