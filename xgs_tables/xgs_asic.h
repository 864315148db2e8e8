// The XGS multicast checker: the shared tables, lookups and dumps, filled by
// the XGS readers through the ASIC's diagnostic shell and the daemon's debug
// files.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mcast_core/asic.h"

namespace nv {

// Replication group ids of XGS routes carry this bit.
inline constexpr long kMcastGroupBit = 0x2000000;
inline constexpr ChipPolicy kXgsPolicy{
    kMcastGroupBit,  // hmroute_group_bits
    false,           // hmroute_iif_text: the IIF is the hardware's number
    false,           // vlan_show_no_vlan: "vlan show -1" is never asked
    true,            // merge_router_ports_unaware
    true,            // pairing_and_iif
};

class XgsAsic : public Asic {
 public:
  explicit XgsAsic(Env env) : Asic(std::move(env), kXgsPolicy) {}

  // The whole construction sequence, from the outside objects to the route
  // table.  Raises whatever a step raises; steps done before stay done.
  void construct(ServiceFactory& services, bool use_mem_table, const Value& debug = Value());
  // The host's Asic(use_mem_table, debug), with the module's outside objects.
  void init(bool use_mem_table, const Value& debug, const std::shared_ptr<ServiceFactory>& services) {
    construct(*services, use_mem_table, debug);
  }

  // --- route tables (route_tables.cpp)
  void parse_ipmc_table();
  void parse_l3_entry_ipmc_table();

  // --- replication groups (replication.cpp)
  void parse_multicast_repln_groups();
  void parse_one_multicast_repln_group(std::string_view piece);

  // --- ports, VLANs, L3 interfaces, VLAN translations (ports.cpp)
  void parse_portmap();
  void parse_ports();
  void parse_l3_intf();
  void parse_vlan_xlate();

  // --- RIOT and the IIF mapping (riot.cpp)
  std::string get_vlan_riot_memtable_name();
  bool is_riot_enabled();
  std::optional<long> hw_vlan_to_iif(long iif_vlan);
  std::optional<long> kernel_iif_to_hw_iif(const KernBaseDev& base,
                                           const std::string& member) override;
  long kern_iif_to_hw_vlan(const Value& base_kind, const Value& base_iif, long iif_vlan,
                           const Value& member);
  // The same for a base kind that is "bridge" or not and a member that is
  // a text (or null for one that is not).
  long hw_vlan_of(bool base_is_bridge, long iif_vlan, const std::string* member);

  // --- daemon debug switch, next-hop-index file, chip test (daemon.cpp)
  static bool get_kestrad_debug(System& sys);
  // The host's static form: its argument (the checker, as the host passes
  // it) is not used.
  static bool get_kestrad_debug_of(const Value& /*self*/) { return get_kestrad_debug(*real_system()); }
  void enable_kestrad_debug();
  void disable_kestrad_debug();
  void parse_l3_intf_nhi();
  bool is_1G_chip();

 private:
  // parse_one_multicast_repln_group for a piece known to hold a CR or not.
  void read_repln_group(std::string_view piece, bool no_cr);

  // The member lines of the group being read, reused from group to group.
  struct Member {
    std::string_view port, intf_text;
    long intf;
    bool read;  // intf_text read as a number
  };
  std::vector<Member> member_scratch_;
};

}  // namespace nv
