// The part of the checker class Asic that both multicast modules declare
// alike: how an instance is made, the class attributes, the state the
// shared part holds and the shared part's methods.  Each module adds its
// chip's state and readers.
#pragma once

#include <utility>

#include "mcast_core/asic.h"
#include "python/adapters.h"
#include "python/classes.h"

namespace nv::binding {

// Asic(use_mem_table=False, debug=False) of chip class A, whose outside
// objects are made from the module's globals when the constructor runs.
template <class A>
py::Class<A> declare_checker(const py::Object& m, const py::OutsideMakers& makers) {
  py::Object globals = py::Object::borrow(PyModule_GetDict(m.get()));
  py::Class<A> cls(m, "Asic");

  cls.factory([](void* at, PyObject* self) {
    PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(self));
    Asic::Env env{real_system(), py::sys_stdout(),
                  py::attribute_list(py::Object::borrow(type), "ORIG_DEV"),
                  py::borrowed_value(self)};
    new (at) A(std::move(env));
  });
  cls.init(&A::init, {"use_mem_table", "debug"}, {py::boolean(false), py::boolean(false)},
           py::services_from_globals(globals, makers));

  cls.attr("_devs_supported",
           py::Object::steal(Py_BuildValue("(ssss)", "bridge", "bond", "vlan", "swp")))
      .attr("ORIG_DEV", py::Object::steal(Py_BuildValue("[s]", "lo")))
      .attr("TERM_DEV", py::str("ipmr-lo"));

  // Instance attributes of the shared part.
  cls.optional_field("desc", &Asic::desc);
  cls.optional_field("debug", &Asic::debug);
  cls.service_field("pt", &Asic::pt, &py::port_table);
  cls.service_field("vrf_db", &Asic::vrf_db, &py::vrf_db);
  cls.service_field("bcm", &Asic::bcm, &py::diag_shell);
  cls.service_field("linux_ports", &Asic::linux_ports, &py::name_set);
  cls.optional_field("kern_dev_cache", &Asic::kern_dev_cache);
  cls.optional_field("kern_mdb_cache", &Asic::kern_mdb_cache);
  cls.optional_field("flood_mdb_misses", &Asic::flood_mdb_misses);
  cls.optional_field("kern_vlan_cache_created", &Asic::kern_vlan_cache_created);
  cls.optional_field("kern_vlan_cache", &Asic::kern_vlan_cache);
  cls.optional_field("kern_vlan_dev_cache_created", &Asic::kern_vlan_dev_cache_created);
  cls.optional_field("kern_vlan_dev_cache", &Asic::kern_vlan_dev_cache);
  cls.optional_field("kern_br_cache", &Asic::kern_br_cache);
  cls.optional_field("portmap", &Asic::portmap);
  cls.optional_field("vlans", &Asic::vlans);
  cls.optional_field("replication_groups", &Asic::replication_groups);
  cls.optional_field("mroutes", &Asic::mroutes);
  cls.optional_field("tmp_encaps", &Asic::tmp_encaps);  // made by the first comparison

  // Command runner.
  cls.static_method("_get_cmd_output", &Asic::get_cmd_output_or, {"cmdList", "dispStr"}, 1);

  // Host queries and dumps.
  cls.str(&Asic::text);
  cls.method("_dump_one_mroute", &Asic::dump_one_mroute, {"mroute"});
  cls.method("get_mroutes", &Asic::get_mroutes);
  cls.method("get_repl_group_entry", &Asic::get_repl_group_entry, {"group_id", "intf"});
  cls.method("dump_mroutes", &Asic::dump_mroutes, {"filter_mroutes"}, 0);

  // Route keys, ports and VLANs.
  cls.method("_key_to_sip_dip", &Asic::key_to_sip_dip, {"key"});
  cls.method("_dport2logical_port", &Asic::dport2logical_port, {"dport"});
  cls.method("_get_logical_port_and_pvid", &Asic::get_logical_port_and_pvid, {"linux_port"});
  cls.method("_is_port_untagged_for_vid", &Asic::is_port_untagged_for_vid, {"dport", "vid"});
  cls.method("_grp_ip2mac", &Asic::grp_ip2mac, {"grp"});
  cls.method("_update_portmap_port_vid", &Asic::update_portmap_port_vid, {"dport", "port_vid"});
  cls.method("_parse_vlan", &Asic::parse_vlan, {"vid"});
  cls.method("_field_dict_build", &Asic::field_dict_build, {"entry"});

  // The route comparison.
  cls.method("mroute_eq", &Asic::mroute_eq, {"key", "iif", "oil", "ul_mcast"});

  // Kernel devices, VLAN devices and bonds.
  const py::Object minus_one = py::integer(-1);
  cls.method("_kern_dev_kind_parse", &Asic::kern_dev_kind_parse, {"dev"});
  cls.method("_kern_dev_vlan_filtering_parse", &Asic::kern_dev_vlan_filtering_parse, {"dev"});
  cls.method("_kern_dev_cache_get", &Asic::kern_dev_cache_get, {"dev"});
  cls.method("_kern_dev_kind_get", &Asic::kern_dev_kind_get, {"dev"});
  cls.method("_kern_dev_vlan_filtering_get", &Asic::kern_dev_vlan_filtering_get, {"dev"});
  cls.method("_kern_get_dev_vlan", &Asic::kern_get_dev_vlan, {"dev", "kind", "parent_vlan"},
             {minus_one});
  cls.method("_kern_create_vlan_dev_cache", &Asic::kern_create_vlan_dev_cache);
  cls.method("_kern_get_vlan_and_atlink", &Asic::vlan_and_atlink_or_nones, {"dev"});
  cls.method("_expand_kern_bond", &Asic::expand_kern_bond, {"dev"});
  cls.method("_kern_base_dev_kind_get", &Asic::kern_base_dev_kind_get, {"orig_dev", "parent_vlan"},
             {minus_one});

  // Bridge VLANs, members and snooping, and the expansion.
  cls.method("_kern_create_vlan_cache", &Asic::kern_create_vlan_cache);
  cls.method("_kern_get_vlan_members", &Asic::kern_get_vlan_members, {"vid"});
  cls.method("_kern_setup_br_cache", &Asic::kern_setup_br_cache, {"dev"});
  cls.method("_kern_get_br_members", &Asic::kern_get_br_members, {"dev"});
  cls.method("_kern_dev_get_mdb_entry", &Asic::kern_dev_get_mdb_entry,
             {"orig_dev", "orig_vlan", "orig_grp"});
  cls.method("_expand_kern_dev", &Asic::expand_kern_dev_here, {"grp", "orig_dev", "parent_vlan"},
             {minus_one});
  cls.method("_expand_kern_bridge", &Asic::expand_kern_bridge,
             {"vlan_filtering", "grp", "dev", "vlan"});
  cls.method("_expand_kern_vlan_aware_bridge", &Asic::expand_kern_vlan_aware_bridge,
             {"grp_mac", "dev", "vlan"});
  cls.method("_expand_kern_vlan_unaware_bridge", &Asic::expand_kern_vlan_unaware_bridge,
             {"grp_mac", "dev"});
  return cls;
}

}  // namespace nv::binding
