// The DNX multicast checker: the shared tables, lookups and dumps, filled by
// the DNX readers through the ASIC's diagnostic shell.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "mcast_core/asic.h"

namespace nv {

inline constexpr ChipPolicy kDnxPolicy{
    0,      // hmroute_group_bits: a route's group id is the replication group's id
    true,   // hmroute_iif_text: the IIF is the route table's text
    true,   // vlan_show_no_vlan: -1 is asked for like any VLAN
    false,  // merge_router_ports_unaware
    false,  // pairing_and_iif: no pairing cases, no IIF check
};

class DnxAsic : public Asic {
 public:
  explicit DnxAsic(Env env) : Asic(std::move(env), kDnxPolicy) {}

  // The whole construction sequence, from the outside objects to the
  // replication groups.  Raises whatever a step raises; steps done before
  // stay done.
  void construct(ServiceFactory& services, const Value& debug = Value());
  // The host's Asic(use_mem_table, debug); the first is taken and not read.
  void init(const Value& /*use_mem_table*/, const Value& debug,
            const std::shared_ptr<ServiceFactory>& services) {
    construct(*services, debug);
  }

  // --- port map (ports.cpp)
  void parse_portmap();

  // --- route tables (route_tables.cpp)
  void parse_diag_ipv4_mc_table();
  void parse_diag_dbal_mc_table();

  // --- replication groups (replication.cpp)
  void parse_multicast_repln_groups();
  void parse_one_multicast_repln_group(std::string_view disp_str);

  // Which route reader construction takes; it sets false itself.
  std::optional<bool> diag_dbal;
};

}  // namespace nv
