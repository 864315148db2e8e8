// The multicast checker's shared part: the hardware tables a chip's readers
// fill at construction, the lookups over them, the host's queries and dumps
// and the pairing check.  A chip's checker derives from it and adds its
// readers and its construction sequence.
#pragma once

#include <cstdint>
#include <cstring>
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
#include "common/services.h"
#include "common/system.h"
#include "common/value.h"
#include "kernel_state/kernel_state.h"
#include "kernel_state/records.h"
#include "mcast_core/read_context.h"
#include "mcast_core/records.h"

namespace nv {

// What the chips' checkers do differently in the shared part.
struct ChipPolicy {
  long hmroute_group_bits;  // type bits a hardware route adds to its group id
  // How a route shows its IIF: false, the hardware's number (`iif`); true,
  // the route table's text (`iif_text`), or the kernel's IIF once one is set.
  bool hmroute_iif_text;
  // Whether the VLAN reader asks the shell for the no-VLAN value -1 like any
  // other VLAN; when false it ignores that value.
  bool vlan_show_no_vlan;
  // Whether a bridge without VLAN filtering merges its multicast router
  // ports into its snooping entries (one with VLAN filtering always does).
  bool merge_router_ports_unaware;
  // Whether the route comparison hands routes of a switch pair to the
  // host's checks and compares the IIF.
  bool pairing_and_iif;
};

// The pattern vlan (?P<vlan>\d+).*untagged (?P<ports>\S+) searched for in a
// "vlan show" reply, without the regex engine: the reply's long port masks
// make the engine backtrack byte by byte, once for every VLAN read.
bool search_vlan_line(std::string_view text, std::string_view& vlan, std::string_view& ports);

using FieldMap = std::map<std::string, std::string>;

// One side's port names in a comparison, each with its hash, in the order
// they were added; repeats allowed.  Kept from comparison to comparison for
// their memory.
struct CompareNames {
  struct Name {
    uint64_t hash;
    uint32_t at, size;  // in chars
  };
  std::string chars;  // the names, one after another
  std::vector<Name> names;
  std::vector<std::pair<uint64_t, uint32_t>> order;  // sorted hashes, made on demand
  size_t hashed = 0;  // names whose hash is set, from the first on

  void clear() {
    chars.clear();
    names.clear();
    order.clear();
    hashed = 0;
  }
  size_t size() const { return names.size(); }
  std::string_view name(size_t i) const {
    return std::string_view(chars).substr(names[i].at, names[i].size);
  }
  void add(std::string_view name) {
    const size_t at = chars.size();
    chars.append(name);
    seal(at);
  }
  // "%s.%ld" of port and VLAN.
  void add_with_vlan(std::string_view port, long vlan) {
    const size_t at = chars.size();
    chars.append(port);
    chars += '.';
    append_decimal(chars, vlan);
    seal(at);
  }
  // Hashes are made only for a comparison that sorts them.
  void hash_all() {
    for (; hashed < names.size(); ++hashed) names[hashed].hash = detail::key_hash(name(hashed));
  }

 private:
  void seal(size_t at) {
    names.push_back(Name{0, static_cast<uint32_t>(at), static_cast<uint32_t>(chars.size() - at)});
  }
};

// The checker's kernel caches are its own attributes (KernelCaches), and
// the kernel readers (KernelState) run over them.
class Asic : public KernelCaches, public KernelHost, public KernelState {
 public:
  struct Env {
    std::shared_ptr<System> system;
    std::shared_ptr<Console> console;
    std::shared_ptr<DeviceList> orig_dev;  // the class-wide ORIG_DEV list
    Value self;                            // the checker as the host holds it
  };

  Asic(Env env, const ChipPolicy& policy);
  virtual ~Asic() = default;
  Asic(const Asic&) = delete;
  Asic& operator=(const Asic&) = delete;

  const ChipPolicy& policy() const { return policy_; }

  // --- command runner
  // Standard output of the command text split at white space, or no value
  // when the program exits with a failure status.
  static std::optional<std::string> get_cmd_output(System& sys, const std::vector<std::string>& argv);
  // The host's form on this machine: the output, or `disp_str` as given.
  static Value get_cmd_output_or(const std::vector<std::string>& argv, const Value& disp_str);

  // --- host queries and dumps
  std::string text() const;
  // The route's own text form, as this chip shows it.
  std::string route_text(const Hmroute& route) const;
  std::string dump_one_mroute(const Hmroute& route) const;
  std::set<std::string> get_mroutes() const;
  // Every route when no filter is given (or it is false), else the routes
  // the filter names, in its order; a key that is no text names none.
  void dump_mroutes(const WhenTrue<std::vector<Value>>& filter) const;
  // `intf` itself when the group (hexadecimal text) has an L3 target whose
  // encap id text, less its first character, equals str(intf) less its
  // first; 0 otherwise.
  Value get_repl_group_entry(const Value& group_id, const Value& intf) const;
  // The two columns of the first "l3 egress show" row whose interface column
  // equals intf, or (0, 0).
  std::pair<Value, Value> get_l3_egress(const Value& intf);

  // --- port and VLAN translation
  static std::string grp_ip2mac(std::string_view grp);
  // The host's lookups: arguments of any kind, compared as the host compares.
  long dport2logical_port(const Value& dport);
  std::pair<long, long> get_logical_port_and_pvid(const Value& linux_port);
  bool is_port_untagged_for_vid(const Value& dport, const Value& vid);
  Value ivid2evid(const Value& dport, const Value& ivid);
  long evid2ivid(const Value& logical_port, const Value& evid);

  // --- route keys and the pairing check
  // (vrf, sip, dip) of a route key, or three Nones.
  using KeyParts = std::tuple<std::optional<std::string>, std::optional<std::string>,
                              std::optional<std::string>>;
  static KeyParts key_to_sip_dip(std::string_view key);
  // The same three parts as views of the key; none for a key without them.
  struct KeyViews {
    std::string_view vrf, src, grp;
  };
  static std::optional<KeyViews> key_views(std::string_view key);
  void mroute_pairx_check_and_get_orig_dev();

  // --- the route comparison
  // The verdict on one kernel route: true when it agrees with the hardware
  // or the hardware does not hold it; or what the host's checks return.
  // `oil` is walked once; without the pairing cases only where its
  // interfaces are expanded, so that it is not touched for a route the
  // hardware does not hold.
  Value mroute_eq(std::string_view key, const std::string& iif,
                  const Iterable<std::string>& oil, PeerChecks& ul_mcast);
  // _expand_kern_dev on the checker's tmp_encaps, whatever set it holds.
  void expand_kern_dev_here(const std::string& grp, const std::string& orig_dev, long parent_vlan);
  // tmp_encaps made a new empty set.
  Set<std::string>& new_tmp_encaps();

  // --- what every chip's readers share
  static std::pair<std::optional<std::string>, FieldMap> field_dict_build(std::string_view entry);
  void update_portmap_port_vid(std::string_view dport, long port_vid);
  // Reads one VLAN's untagged ports into `vlans` ("vlan show", then the
  // port listing it names); the lookups call it the first time they need a
  // VLAN.
  void parse_vlan(const Value& vid);
  // The hardware IIF that a kernel IIF maps to, or none: its base device's
  // kind, name and VLAN, and one name of its expansion ("" for none).  Only
  // a chip whose policy compares the IIF maps it.
  virtual std::optional<long> kernel_iif_to_hw_iif(const KernBaseDev& /*base*/,
                                                   const std::string& /*member*/) {
    return std::nullopt;
  }

  System& system() override { return *env_.system; }
  bool is_linux_port(const std::string& dev) override;
  const Env& env() const { return env_; }

  // --- state, as the host sees it; an empty pointer is an attribute that
  // does not exist (yet)
  std::optional<std::string> desc;
  std::optional<Value> debug;  // only kept, as the host gave it
  std::shared_ptr<PortTable> pt;
  std::shared_ptr<VrfDb> vrf_db;
  std::shared_ptr<DiagShell> bcm;
  std::optional<bool> kestrad_debug_enabled;
  std::optional<bool> nq_mroute_kestrad_debug_enabled;
  std::shared_ptr<NameSet> linux_ports;

  std::optional<Portmap> portmap;
  std::optional<IntMap> l3_intfs;
  std::optional<VlanXlateList> vlan_xlate;
  std::optional<IntMap> vlan_riot;
  std::optional<bool> riot_enable;
  std::optional<std::string> vlan_riot_memtable;
  std::optional<IntMap> l3_intf_nhi;  // only with RIOT on
  std::optional<VlanMap> vlans;
  std::optional<ReplicationGroupMap> replication_groups;
  std::optional<MrouteMap> mroutes;

 protected:
  // Opens a read context for the time of one read of the hardware, unless
  // one is open already: construction, or a reader the host calls.  The
  // lookups the readers make go through its indexes; it ends with the read,
  // however the read ends, and with it everything it kept.
  class ReadScope {
   public:
    explicit ReadScope(Asic& asic) : asic_(asic), opened_(!asic.ctx_) {
      if (opened_) asic_.ctx_ = std::make_unique<ReadContext>();
    }
    ~ReadScope() {
      if (opened_) asic_.ctx_.reset();
    }
    ReadScope(const ReadScope&) = delete;
    ReadScope& operator=(const ReadScope&) = delete;

   private:
    Asic& asic_;
    bool opened_;
  };

  // Creates the outside objects and the kernel caches, the first steps of
  // every chip's construction, in the host's order.
  void make_outside_objects(ServiceFactory& services, const Value& debug);

  ShellOutput run_guarded(const std::string& cmd, std::string_view timeout_text);
  // bcm2linux of the port table; while the hardware is read, each port's
  // answer is asked once and kept.  `id` is the port's name number, or
  // kNoName when the caller has none.  The answer is held in an Encap of the
  // port (Linux name and ASIC name set, numbers 0) that a reader copies; it
  // stays valid until the next call.
  const Encap& port_encap(std::string_view dport, uint32_t id = kNoName);
  const std::string& linux_name(std::string_view dport, uint32_t id = kNoName) {
    return port_encap(dport, id).linux_port;
  }
  const Hmroute* find_route(const std::string& key) const;
  // The routes in key order, for the dumps.
  std::vector<std::pair<std::string, const Hmroute*>> sorted_routes() const;
  void store_vlan(long vlan, List<std::string> untagged_dports);

  // The port and VLAN lookups, for a port whose name number the
  // caller may already hold (kNoName: looked up here).
  long logical_port_of(std::string_view dport, uint32_t id);
  // get_logical_port_and_pvid of a text, and evid2ivid of two integers.
  std::pair<long, long> port_and_pvid_of_linux(std::string_view linux_port);
  long ivid_of(long lport, long evid);
  bool untagged_in_vlan(std::string_view dport, uint32_t id, long vid);
  long evid_of(std::string_view dport, uint32_t id, long ivid);

  // An attribute the host may have deleted: the interpreter's AttributeError.
  template <class T>
  static T& need(const std::shared_ptr<T>& attr, const char* name) {
    if (!attr) throw missing_attribute(name);
    return *attr;
  }
  template <class T>
  static T& need(const std::optional<T>& attr, const char* name) {
    if (!attr) throw missing_attribute(name);
    return const_cast<T&>(*attr);
  }
  static Error missing_attribute(const char* name);
  // Position of the first exact occurrence of a heading word, or the
  // interpreter's ValueError of list.index.
  static size_t list_index(const std::vector<std::string_view>& words, std::string_view word);

  // An index is current while its table is the one it was built over and
  // has not grown or shrunk: within a read only the readers change tables.
  static bool fresh(const IndexStamp& s, const void* table, size_t count) {
    return s.table == table && s.count == count;
  }
  static IndexStamp stamp_for(const void* table, size_t count) { return IndexStamp{table, count}; }
  // The indexes of the open read context, checked on every lookup and
  // rebuilt out of line when stale.
  const PortIndex& port_index() {
    const Portmap& table = need(portmap, "portmap");
    if (fresh(ctx_->port_index.stamp, &table, table.size())) return ctx_->port_index;
    return rebuild_port_index(table);
  }
  const XlateIndex& xlate_index() {
    const VlanXlateList& table = need(vlan_xlate, "vlan_xlate");
    if (fresh(ctx_->xlate_index.stamp, &table, table.size())) return ctx_->xlate_index;
    return rebuild_xlate_index(table);
  }
  VlanIndex& vlan_index() {
    const VlanMap& table = need(vlans, "vlans");
    if (fresh(ctx_->vlan_index.stamp, &table, table.size())) return ctx_->vlan_index;
    return rebuild_vlan_index(table);
  }
  // The value of `key` in an IntMap attribute, or none.
  static std::optional<long> int_lookup(const IntMap& table, long key) {
    return table.lookup(key).value;
  }
  const PortIndex& rebuild_port_index(const Portmap& table);
  const XlateIndex& rebuild_xlate_index(const VlanXlateList& table);
  VlanIndex& rebuild_vlan_index(const VlanMap& table);

  // The indexes of the lookups outside a read, when the table is the
  // core's own; null when it is the host's (the lookups then scan it).
  const NativePortIndex* native_port_index();
  const NativeXlateIndex* native_xlate_index();

  Env env_;
  const ChipPolicy& policy_;
  NativePortIndex native_ports_;
  NativeXlateIndex native_xlates_;
  // The port-name sets of one comparison.
  struct CompareSets {
    CompareNames kern_l2, kern_l3, hw_l3, hw_l2;
  };
  CompareSets compare_sets_;
  bool compare_sets_busy_ = false;
  // Open while the hardware is read (see ReadScope).
  std::unique_ptr<ReadContext> ctx_;
  Encap port_encap_answer_{"", "", 0, 0, 0};  // the answer when none is kept
};

}  // namespace nv
