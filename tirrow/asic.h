// tirrow: the VXLAN checker's Asic.  Its state is the host's own objects:
// the dictionaries it makes and the records of the loaded YAML dump, which
// its tables hold themselves (never copies), so that what one step changes
// in a record every table and the host see.
#pragma once

#include <Python.h>

#include <memory>

#include "common/system.h"
#include "python/object.h"

namespace nv::vxlan {

using py::Object;

class Asic {
 public:
  // `globals` is the module's namespace: the outside modules the checker
  // calls (the port-mapping functions, the YAML loader, the multicast
  // checker) are looked up there at the time of each use.
  Asic(Object globals, std::shared_ptr<System> system)
      : globals_(std::move(globals)), system_(std::move(system)) {}

  // Construction and driver.
  void init();
  void prefetch_hw_info();
  Object dump_vxlans();

  // Daemon debug switch and the VXLAN dump.
  bool get_kestrad_debug();
  void enable_kestrad_debug();
  void disable_kestrad_debug();
  void parse_switch_kfs_node();

  // Chip identification.
  Object get_chipname();
  Object get_id_2_name(Object chip_id);

  // Trunks and bonds.
  void build_hw_bonds_dict();

  // Sections of the dump.
  void parse_vpn_info();
  void parse_vxlan_port_info();
  void parse_tunnel_info();
  void parse_l2_l3_entries();

  // Builders of the VNI records.
  void build_local_port_dict();
  void build_local_and_remote_mac_dict();
  void resolve_dst_ip();
  Object get_next_hop(Object nh_dict, Object keys);
  Object get_egress_dst_intf_type(Object flags);
  Object insert_ip_addr_mask(Object ipaddr);

  // Instance attributes, by the names the host sees; empty until set.
  Object asicVxlanDict, hwBonds, vxlanFuseNode, kestrad_debug_enabled, bs, _chip_id_map, chip,
      bcmApiHelper, asicTables, vniInfoHelperDict, vxlanPortHelperDict, initiatorDict,
      terminatorDict, hostTable, routeTable, vpntoVniTable, l2Table;

 private:
  // The attribute, or the host's AttributeError when it is not set.
  const Object& need(const Object& attr, const char* name) const;
  Object global(const char* name) const;
  Object section(const char* title) const;
  std::string node_path() const;

  Object globals_;
  std::shared_ptr<System> system_;
};

// A MAC address that the loader read as a number (six decimal groups make
// a base-60 integer) written back as the daemon wrote it; any other value
// unchanged.
Object mac_text(const Object& mac);

}  // namespace nv::vxlan
