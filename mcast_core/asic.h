// The XGS multicast checker: the hardware tables it reads at construction,
// the lookups over them and the host's queries.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "common/errors.h"
#include "common/system.h"
#include "kernel_state/records.h"
#include "mcast_core/records.h"
#include "mcast_core/services.h"

namespace nv {

// Bumped whenever the host changes a record in place; lookup indexes built
// before that are rebuilt.
uint64_t& record_edit_epoch();
inline void note_record_edit() { ++record_edit_epoch(); }

using Portmap = std::vector<PortmapEntry>;
using VlanXlateList = std::vector<VlanXlate>;
using IntMap = std::unordered_map<long, long>;
using VlanMap = std::map<long, VlanEntry>;
using ReplicationGroupMap = std::unordered_map<long, ReplicationGroup>;
using MrouteMap = std::map<std::string, Hmroute>;
using FieldMap = std::map<std::string, std::string>;

class Asic {
 public:
  struct Env {
    std::shared_ptr<System> system;
    std::shared_ptr<Console> console;
    std::shared_ptr<DeviceList> orig_dev;  // the class-wide ORIG_DEV list
  };

  explicit Asic(Env env);

  // The whole construction sequence, from the outside objects to the route
  // table.  Raises whatever a step raises; steps done before stay done.
  void construct(ServiceFactory& services, bool use_mem_table);

  // --- command runner and daemon debug switch
  // Standard output of the command text split at white space, or no value
  // when the program exits with a failure status.
  static std::optional<std::string> get_cmd_output(System& sys, const std::vector<std::string>& argv);
  static bool get_kestrad_debug(System& sys);
  void enable_kestrad_debug();
  void disable_kestrad_debug();
  void parse_l3_intf_nhi();
  bool is_1G_chip();

  // --- host queries and dumps
  std::string text() const;
  std::string dump_one_mroute(const Hmroute& route) const;
  std::vector<std::string> get_mroutes() const;
  void dump_mroutes(const std::vector<std::string>* filter) const;
  // True when the group (hexadecimal text) has an L3 target whose encap id
  // text, less its first character, equals intf_text less its first.
  bool get_repl_group_entry(std::string_view group_id, std::string_view intf_text) const;
  // First "l3 egress show" row whose interface column equals intf (no value
  // never matches).
  std::optional<std::pair<std::string, std::string>> get_l3_egress(
      const std::optional<std::string>& intf);

  // --- port and VLAN translation
  static std::string grp_ip2mac(std::string_view grp);
  long dport2logical_port(std::string_view dport);
  std::pair<long, long> get_logical_port_and_pvid(const std::optional<std::string>& linux_port);
  bool is_port_untagged_for_vid(std::string_view dport, long vid);
  long ivid2evid(std::string_view dport, long ivid);
  long evid2ivid(long logical_port, long evid);

  // --- route keys and the pairing check
  static std::optional<std::tuple<std::string, std::string, std::string>> key_to_sip_dip(
      std::string_view key);
  void mroute_pairx_check_and_get_orig_dev();

  // --- readers
  void parse_ipmc_table();
  void parse_l3_entry_ipmc_table();
  static std::pair<std::optional<std::string>, FieldMap> field_dict_build(std::string_view entry);
  void parse_multicast_repln_groups();
  void parse_one_multicast_repln_group(std::string_view piece);
  void parse_portmap();
  void parse_ports();
  void update_portmap_port_vid(std::string_view dport, long port_vid);
  void parse_vlan(long vid);
  void parse_l3_intf();
  void parse_vlan_xlate();
  std::string get_vlan_riot_memtable_name();
  bool is_riot_enabled();
  std::optional<long> hw_vlan_to_iif(long iif_vlan);
  long kern_iif_to_hw_vlan(std::string_view base_kind, std::string_view base_iif, long iif_vlan,
                           const std::optional<std::string>& member);

  // The host replaced or changed a table; lookup indexes are rebuilt.
  void tables_changed() { ++tables_version_; }

  System& system() { return *env_.system; }
  const Env& env() const { return env_; }

  // --- state, as the host sees it; an empty pointer is an attribute that
  // does not exist (yet)
  std::optional<std::string> desc;
  std::shared_ptr<PortTable> pt;
  std::shared_ptr<VrfDb> vrf_db;
  std::shared_ptr<DiagShell> bcm;
  std::optional<bool> kestrad_debug_enabled;
  std::optional<bool> nq_mroute_kestrad_debug_enabled;
  std::shared_ptr<NameSet> linux_ports;

  std::shared_ptr<std::map<std::string, KernDevEntry>> kern_dev_cache;
  std::shared_ptr<std::map<std::string, KernMdbCache>> kern_mdb_cache;
  std::optional<bool> flood_mdb_misses;
  std::optional<bool> kern_vlan_cache_created;
  std::shared_ptr<std::map<long, KernVlanEntry>> kern_vlan_cache;
  std::optional<bool> kern_vlan_dev_cache_created;
  std::shared_ptr<std::map<std::string, KernVlanDevEntry>> kern_vlan_dev_cache;
  std::shared_ptr<std::map<std::string, std::vector<std::string>>> kern_br_cache;

  std::shared_ptr<Portmap> portmap;
  std::shared_ptr<IntMap> l3_intfs;
  std::shared_ptr<VlanXlateList> vlan_xlate;
  std::shared_ptr<IntMap> vlan_riot;
  std::optional<bool> riot_enable;
  std::optional<std::string> vlan_riot_memtable;
  std::shared_ptr<IntMap> l3_intf_nhi;  // only with RIOT on
  std::shared_ptr<VlanMap> vlans;
  std::shared_ptr<ReplicationGroupMap> replication_groups;
  std::shared_ptr<MrouteMap> mroutes;
  std::shared_ptr<std::set<std::string>> tmp_encaps;

 private:
  ShellOutput run_guarded(const std::string& cmd, const std::string& timeout_text);
  std::string command_output(const std::string& command_text);
  std::string linux_name(const std::string& dport);
  const Hmroute* find_route(const std::string& key) const;
  void store_vlan(long vlan, std::vector<std::string> untagged_dports);

  // An attribute the host may have deleted: the interpreter's AttributeError.
  template <class T>
  static T& need(const std::shared_ptr<T>& attr, const char* name) {
    if (!attr) throw missing_attribute(name);
    return *attr;
  }
  template <class T>
  static const T& need(const std::optional<T>& attr, const char* name) {
    if (!attr) throw missing_attribute(name);
    return *attr;
  }
  static Error missing_attribute(const char* name);
  // Position of the first exact occurrence of a heading word, or the
  // interpreter's ValueError of list.index.
  static size_t list_index(const std::vector<std::string_view>& words, std::string_view word);

  // (lport, vlan) -> vlan, open addressing: one probe sequence per lookup,
  // which matters for the ~150k lookups of a replication read.
  class PairIndex {
   public:
    void reset(size_t expected);
    void emplace(long a, long b, long value);  // the first value of a key stays
    const long* find(long a, long b) const;

   private:
    struct Slot {
      long a, b, value;
      bool used;
    };
    size_t slot_of(long a, long b) const;
    std::vector<Slot> slots_;
    size_t mask_ = 0;
  };

  // Lookup indexes: first match of each linear scan the lookups describe.
  // Each is valid for one table object, one tables_version_, one edit epoch
  // and one table size (the readers append while lookups already run).
  struct IndexStamp {
    uint64_t version = ~0ull, epoch = ~0ull;
    const void* table = nullptr;
    size_t count = 0;
  };
  struct PortIndex {
    IndexStamp stamp;
    std::unordered_map<std::string, std::vector<size_t>> entries_by_dport;  // every entry
    std::unordered_map<std::string, size_t> entry_by_linux;                 // first entry
    std::optional<size_t> entry_without_linux;
  };
  struct XlateIndex {
    IndexStamp stamp;
    PairIndex evid_by_ivid;  // (lport, ivid) -> evid
    PairIndex ivid_by_evid;  // (lport, evid) -> ivid
  };
  struct VlanIndex {
    IndexStamp stamp;
    // One set per VLAN of the table, so it also answers whether the table
    // has the VLAN.  Views into the VlanEntry strings: a VLAN's set is
    // rebuilt whenever its entry is replaced, so they never outlive them.
    std::unordered_map<long, std::unordered_set<std::string_view>> untagged;
  };
  bool fresh(const IndexStamp& s, const void* table, size_t count) const;
  IndexStamp stamp_for(const void* table, size_t count) const;
  const PortIndex& port_index();
  const XlateIndex& xlate_index();
  VlanIndex& vlan_index();

  Env env_;
  uint64_t tables_version_ = 0;
  PortIndex port_index_;
  XlateIndex xlate_index_;
  VlanIndex vlan_index_;
  // The port table's answers while the hardware is read; cleared after.
  std::optional<std::unordered_map<std::string, std::string>> linux_names_;
};

}  // namespace nv
