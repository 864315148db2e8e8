// Kernel multicast records: what the checker learns from the Linux kernel.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/containers.h"

namespace nv {

struct KernDevEntry : ReturnedRecord {
  KernDevEntry(std::string dev, std::string kind, long vlan_filtering)
      : dev(std::move(dev)), kind(std::move(kind)), vlan_filtering(vlan_filtering) {}
  std::string text() const;

  std::string dev;
  std::string kind;     // "swp", "unk" or the kernel's link kind word
  long vlan_filtering;  // 0 for a device that is not a bridge
};

struct KernVlanDevEntry : Record {
  KernVlanDevEntry(std::string dev, long vid, std::string atlink)
      : dev(std::move(dev)), vid(vid), atlink(std::move(atlink)) {}
  std::string text() const;

  std::string dev;
  long vid;
  std::string atlink;  // the lower device
};

struct KernVlanEntry : Record {
  explicit KernVlanEntry(long vid) : vid(vid) {}
  void add_port(const std::string& port, bool untagged) {
    (untagged ? untagged_swp : tagged_swp).push_back(port);
  }
  std::string text() const;

  long vid;
  List<std::string> tagged_swp;
  List<std::string> untagged_swp;
};

struct KernMdbEntry : ReturnedRecord {
  KernMdbEntry(long vid, std::string grp) : vid(vid), grp(std::move(grp)) {}
  void add_port(const std::string& dev);  // no duplicates
  std::string text() const;

  long vid;  // -1 on a bridge without VLAN filtering
  std::string grp;
  List<std::string> swp;
};

struct KernMdbRportEntry : Record {
  explicit KernMdbRportEntry(long vid) : vid(vid) {}
  void add_port(const std::string& dev) { swp.push_back(dev); }

  long vid;
  List<std::string> swp;
};

using MdbEntryMap = Dict<std::string, KernMdbEntry>;

struct KernMdbCache : Record {
  // A mapping given is kept as the cache's own, not copied; without one the
  // cache starts with an empty one of its own.
  KernMdbCache(std::string dev, long vlan_filtering, std::optional<MdbEntryMap> entries = {})
      : dev(std::move(dev)), vlan_filtering(vlan_filtering),
        mdb_entries(entries ? std::move(*entries) : MdbEntryMap()) {}
  std::string text() const;

  std::string dev;
  long vlan_filtering;
  MdbEntryMap mdb_entries;  // keyed by "%d.%s" of VLAN and group MAC
  Dict<long, KernMdbRportEntry> mdb_rports;
};

}  // namespace nv
