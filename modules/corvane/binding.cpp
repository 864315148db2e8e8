#include "modules/corvane/binding.h"

#include "python/adapters.h"
#include "python/classes.h"
#include "xgs_tables/xgs_asic.h"

namespace nv::binding {

using py::Class;
using py::Object;

void export_kernel_records(const Object& m) {
  Class<KernMdbEntry>(m, "KernMdbEntry")
      .init<long, std::string>({"vid", "grp"})
      .field("vid", &KernMdbEntry::vid)
      .field("grp", &KernMdbEntry::grp)
      .field("swp", &KernMdbEntry::swp)
      .method("add_port", &KernMdbEntry::add_port, {"dev"})
      .str(&KernMdbEntry::text);

  Class<KernMdbRportEntry>(m, "KernMdbRportEntry")
      .init<long>({"vid"})
      .field("vid", &KernMdbRportEntry::vid)
      .field("swp", &KernMdbRportEntry::swp)
      .method("add_port", &KernMdbRportEntry::add_port, {"dev"});

  Class<KernMdbCache>(m, "KernMdbCache")
      .init_with_optional<std::string, long, std::optional<MdbEntryMap>>(
          {"dev", "vlan_filtering", "mdb_entries"}, 2)
      .field("dev", &KernMdbCache::dev)
      .field("vlan_filtering", &KernMdbCache::vlan_filtering)
      .field("mdb_entries", &KernMdbCache::mdb_entries)
      .field("mdb_rports", &KernMdbCache::mdb_rports)
      .str(&KernMdbCache::text);

  Class<KernVlanEntry>(m, "KernVlanEntry")
      .init<long>({"vid"})
      .field("vid", &KernVlanEntry::vid)
      .field("tagged_swp", &KernVlanEntry::tagged_swp)
      .field("untagged_swp", &KernVlanEntry::untagged_swp)
      .method("add_port", &KernVlanEntry::add_port, {"port", "untagged"})
      .str(&KernVlanEntry::text);

  Class<KernVlanDevEntry>(m, "KernVlanDevEntry")
      .init<std::string, long, std::string>({"dev", "vid", "atlink"})
      .field("dev", &KernVlanDevEntry::dev)
      .field("vid", &KernVlanDevEntry::vid)
      .field("atlink", &KernVlanDevEntry::atlink)
      .str(&KernVlanDevEntry::text);

  Class<KernDevEntry>(m, "KernDevEntry")
      .init<std::string, std::string, long>({"dev", "kind", "vlan_filtering"})
      .field("dev", &KernDevEntry::dev)
      .field("kind", &KernDevEntry::kind)
      .field("vlan_filtering", &KernDevEntry::vlan_filtering)
      .str(&KernDevEntry::text);
}

void export_hw_records(const Object& m) {
  Class<PortmapEntry>(m, "PortmapEntry")
      .init<std::string, long, std::optional<std::string>>({"dport", "logical_port", "linux_port"})
      .field("dport", &PortmapEntry::dport)
      .field("logical_port", &PortmapEntry::logical_port)
      .field("linux_port", &PortmapEntry::linux_port)
      .field("port_vid", &PortmapEntry::port_vid)
      .method("update_port_vid", &PortmapEntry::update_port_vid, {"port_vid"})
      .str(&PortmapEntry::text);

  Class<VlanXlate>(m, "VlanXlate")
      .init<long, long, long>({"lport", "ivid", "evid"})
      .field("lport", &VlanXlate::lport)
      .field("ivid", &VlanXlate::ivid)
      .field("evid", &VlanXlate::evid)
      .str(&VlanXlate::text);

  Class<VlanEntry>(m, "VlanEntry")
      .init<long, List<std::string>>({"vid", "untagged_dports"})
      .field("vid", &VlanEntry::vid)
      .field("untagged_dports", &VlanEntry::untagged_dports)
      .str(&VlanEntry::text);

  Class<Encap>(m, "Encap")
      .init<std::string, std::string, long, long, long>(
          {"linux_port", "bcm_dport", "intf", "vlan", "evid"})
      .field("linux_port", &Encap::linux_port)
      .field("bcm_dport", &Encap::bcm_dport)
      .field("intf", &Encap::intf)
      .field("vlan", &Encap::vlan)
      .field("evid", &Encap::evid)
      .method("encap2swp", &Encap::encap2swp)
      .str(&Encap::text);

  Class<ReplicationGroup>(m, "ReplicationGroup")
      .init<long, EncapList, EncapList>(
          {"mcast_grp", "l2_encaps", "l3_encaps"})
      .field("mcast_grp", &ReplicationGroup::mcast_grp)
      .field("l2_encaps", &ReplicationGroup::l2_encaps)
      .field("l3_encaps", &ReplicationGroup::l3_encaps)
      .method("get_l3_linux_encaps", &ReplicationGroup::get_l3_linux_encaps)
      .method("get_l2_linux_encaps", &ReplicationGroup::get_l2_linux_encaps)
      .str(&ReplicationGroup::text);

  Class<Hmroute>(m, "Hmroute")
      .init<std::string, std::string, long, long, std::string>(
          {"sip", "dip", "iif", "mcast_grp", "vrf"}, kXgsPolicy.hmroute_group_bits)
      .field("sip", &Hmroute::sip)
      .field("dip", &Hmroute::dip)
      .field("iif", &Hmroute::iif)
      .field("grp", &Hmroute::grp)
      .field("vrf", &Hmroute::vrf)
      .field("iif_mismatch", &Hmroute::iif_mismatch)
      .field("oil_mismatch", &Hmroute::oil_mismatch)
      .str(&Hmroute::text);
}

void export_asic(const Object& m, const py::OutsideMakers& makers) {
  Object globals = Object::borrow(PyModule_GetDict(m.get()));
  Class<XgsAsic> cls(m, "Asic");

  cls.factory([](void* at, PyObject* self) {
    PyObject* cls = reinterpret_cast<PyObject*>(Py_TYPE(self));
    Asic::Env env{real_system(), py::sys_stdout(), py::attribute_list(Object::borrow(cls), "ORIG_DEV"),
                  py::borrowed_value(self)};
    new (at) XgsAsic(std::move(env));
  });
  cls.init(&XgsAsic::init, {"use_mem_table", "debug"}, {py::boolean(false), py::boolean(false)},
           py::services_from_globals(globals, makers));

  cls.attr("_devs_supported", Object::steal(Py_BuildValue("(ssss)", "bridge", "bond", "vlan", "swp")))
      .attr("ORIG_DEV", Object::steal(Py_BuildValue("[s]", "lo")))
      .attr("TERM_DEV", py::str("ipmr-lo"));

  // Instance attributes, in construction order.
  cls.optional_field("desc", &Asic::desc);
  cls.optional_field("debug", &Asic::debug);
  cls.service_field("pt", &Asic::pt, &py::port_table);
  cls.service_field("vrf_db", &Asic::vrf_db, &py::vrf_db);
  cls.service_field("bcm", &Asic::bcm, &py::diag_shell);
  cls.optional_field("kestrad_debug_enabled", &Asic::kestrad_debug_enabled);
  cls.optional_field("nq_mroute_kestrad_debug_enabled", &Asic::nq_mroute_kestrad_debug_enabled);
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
  cls.optional_field("l3_intfs", &Asic::l3_intfs);
  cls.optional_field("vlan_xlate", &Asic::vlan_xlate);
  cls.optional_field("vlan_riot", &Asic::vlan_riot);
  cls.optional_field("riot_enable", &Asic::riot_enable);
  cls.optional_field("vlan_riot_memtable", &Asic::vlan_riot_memtable);
  cls.optional_field("l3_intf_nhi", &Asic::l3_intf_nhi);
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
  cls.method("get_l3_egress", &Asic::get_l3_egress, {"intf"});
  cls.method("get_repl_group_entry", &Asic::get_repl_group_entry, {"group_id", "intf"});
  cls.method("dump_mroutes", &Asic::dump_mroutes, {"filter_mroutes"}, 0);

  // Port and VLAN translation.
  cls.method("_dport2logical_port", &Asic::dport2logical_port, {"dport"});
  cls.method("_get_logical_port_and_pvid", &Asic::get_logical_port_and_pvid, {"linux_port"});
  cls.method("_is_port_untagged_for_vid", &Asic::is_port_untagged_for_vid, {"dport", "vid"});
  cls.method("_ivid2evid", &Asic::ivid2evid, {"dport", "ivid"});
  cls.method("_evid2ivid", &Asic::evid2ivid, {"logical_port", "evid"});
  cls.method("_grp_ip2mac", &Asic::grp_ip2mac, {"grp"});

  // Route keys, the pairing check and the route comparison.
  cls.method("_key_to_sip_dip", &Asic::key_to_sip_dip, {"key"});
  cls.method("mroute_pairx_check_and_get_orig_dev", &Asic::mroute_pairx_check_and_get_orig_dev);
  cls.method("mroute_eq", &Asic::mroute_eq, {"key", "iif", "oil", "ul_mcast"});

  // Kernel devices, VLAN devices and bonds.
  const Object minus_one = py::integer(-1);
  cls.method("_kern_dev_kind_parse", &Asic::kern_dev_kind_parse, {"dev"});
  cls.method("_kern_dev_vlan_filtering_parse", &Asic::kern_dev_vlan_filtering_parse, {"dev"});
  cls.method("_kern_dev_cache_get", &Asic::kern_dev_cache_get, {"dev"});
  cls.method("_kern_dev_kind_get", &Asic::kern_dev_kind_get, {"dev"});
  cls.method("_kern_dev_vlan_filtering_get", &Asic::kern_dev_vlan_filtering_get, {"dev"});
  cls.method("_kern_get_dev_vlan", &Asic::kern_get_dev_vlan, {"dev", "kind", "parent_vlan"}, {minus_one});
  cls.method("_kern_create_vlan_dev_cache", &Asic::kern_create_vlan_dev_cache);
  cls.method("_kern_get_vlan_and_atlink", &Asic::vlan_and_atlink_or_nones, {"dev"});
  cls.method("_expand_kern_bond", &Asic::expand_kern_bond, {"dev"});
  cls.method("_kern_base_dev_kind_get", &Asic::kern_base_dev_kind_get, {"orig_dev", "parent_vlan"}, {minus_one});

  // Bridge VLANs, members and snooping, and the expansion.
  cls.method("_kern_create_vlan_cache", &Asic::kern_create_vlan_cache);
  cls.method("_kern_get_vlan_members", &Asic::kern_get_vlan_members, {"vid"});
  cls.method("_kern_setup_br_cache", &Asic::kern_setup_br_cache, {"dev"});
  cls.method("_kern_get_br_members", &Asic::kern_get_br_members, {"dev"});
  cls.method("_kern_dev_get_mdb_entry", &Asic::kern_dev_get_mdb_entry,
             {"orig_dev", "orig_vlan", "orig_grp"});
  cls.method("_expand_kern_dev", &Asic::expand_kern_dev_here, {"grp", "orig_dev", "parent_vlan"}, {minus_one});
  cls.method("_expand_kern_bridge", &Asic::expand_kern_bridge, {"vlan_filtering", "grp", "dev", "vlan"});
  cls.method("_expand_kern_vlan_aware_bridge", &Asic::expand_kern_vlan_aware_bridge,
             {"grp_mac", "dev", "vlan"});
  cls.method("_expand_kern_vlan_unaware_bridge", &Asic::expand_kern_vlan_unaware_bridge,
             {"grp_mac", "dev"});

  // Readers.
  cls.method("_parse_ipmc_table", &XgsAsic::parse_ipmc_table);
  cls.method("_parse_l3_entry_ipmc_table", &XgsAsic::parse_l3_entry_ipmc_table);
  cls.method("_field_dict_build", &Asic::field_dict_build, {"entry"});
  cls.method("_parse_one_multicast_repln_group", &XgsAsic::parse_one_multicast_repln_group,
             {"dispStr"});
  cls.method("_parse_multicast_repln_groups", &XgsAsic::parse_multicast_repln_groups);
  cls.method("_parse_portmap", &XgsAsic::parse_portmap);
  cls.method("_parse_ports", &XgsAsic::parse_ports);
  cls.method("_update_portmap_port_vid", &Asic::update_portmap_port_vid, {"dport", "port_vid"});
  cls.method("_parse_vlan", &XgsAsic::parse_vlan, {"vid"});
  cls.method("_parse_l3_intf", &XgsAsic::parse_l3_intf);
  cls.method("_parse_vlan_xlate", &XgsAsic::parse_vlan_xlate);

  // RIOT.
  cls.method("_get_vlan_riot_memtable_name", &XgsAsic::get_vlan_riot_memtable_name);
  cls.method("_is_riot_enabled", &XgsAsic::is_riot_enabled);
  cls.method("_hw_vlan_to_iif", &XgsAsic::hw_vlan_to_iif, {"iif_vlan"});
  cls.method("_kern_iif_to_hw_vlan", &XgsAsic::kern_iif_to_hw_vlan,
             {"base_kind", "base_iif", "iif_vlan", "member"});

  // Daemon debug switch and chip test; the switch's three are static and
  // take the checker as their argument.
  cls.static_method("get_kestrad_debug", &XgsAsic::get_kestrad_debug_of, {"self"});
  cls.static_method("enable_kestrad_debug", &XgsAsic::enable_kestrad_debug, {"self"});
  cls.static_method("disable_kestrad_debug", &XgsAsic::disable_kestrad_debug, {"self"});
  cls.method("_is_1G_chip", &XgsAsic::is_1G_chip);
  cls.method("_parse_l3_intf_nhi", &XgsAsic::parse_l3_intf_nhi);
}

}  // namespace nv::binding
