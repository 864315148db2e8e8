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
  // One of the checker's attributes: an entry of its object's own
  // dictionary, as the host's own classes keep them.
  class Attr {
   public:
    Attr(const Asic& owner, const char* name) : owner_(owner), name_(name) {}
    Attr& operator=(const Object& value);
    // The value, or empty when the attribute is not set.
    Object get() const;
    const char* name() const { return name_; }

   private:
    const Asic& owner_;
    const char* name_;
  };

  // `globals` is the module's namespace: the outside modules the checker
  // calls (the port-mapping functions, the YAML loader, the multicast
  // checker) are looked up there at the time of each use.  `self` is the
  // interpreter object whose value this is (borrowed: it owns this).
  Asic(Object globals, std::shared_ptr<System> system, PyObject* self)
      : globals_(std::move(globals)), system_(std::move(system)), self_(self) {}
  Asic(const Asic&) = delete;
  Asic& operator=(const Asic&) = delete;

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

  // Instance attributes, by the names the host sees.
  Attr asicVxlanDict{*this, "asicVxlanDict"}, hwBonds{*this, "hwBonds"},
      vxlanFuseNode{*this, "vxlanFuseNode"}, kestrad_debug_enabled{*this, "kestrad_debug_enabled"},
      bs{*this, "bs"}, _chip_id_map{*this, "_chip_id_map"}, chip{*this, "chip"},
      bcmApiHelper{*this, "bcmApiHelper"}, asicTables{*this, "asicTables"},
      vniInfoHelperDict{*this, "vniInfoHelperDict"},
      vxlanPortHelperDict{*this, "vxlanPortHelperDict"}, initiatorDict{*this, "initiatorDict"},
      terminatorDict{*this, "terminatorDict"}, hostTable{*this, "hostTable"},
      routeTable{*this, "routeTable"}, vpntoVniTable{*this, "vpntoVniTable"},
      l2Table{*this, "l2Table"};

 private:
  // The attribute, or the host's AttributeError when it is not set.
  Object need(const Attr& attr, const char* name) const;
  PyObject* instance_dict() const;
  Object global(const char* name) const;
  Object section(const char* title) const;
  std::string node_path() const;

  Object globals_;
  std::shared_ptr<System> system_;
  PyObject* self_;
};

// A MAC address that the loader read as a number (six decimal groups make
// a base-60 integer) written back as the daemon wrote it; any other value
// unchanged.
Object mac_text(const Object& mac);

}  // namespace nv::vxlan
