// The record classes both multicast modules export: the kernel records, and
// the hardware records with what each chip's module declares of its own.
#pragma once

#include "mcast_core/records.h"
#include "python/classes.h"
#include "python/object.h"

namespace nv::binding {

// The six kernel records, in the modules' order.
void export_kernel_records(const py::Object& module);

// The hardware records the two chips share, one at a time: a module puts
// its own between them (VlanXlate) in its order.
void export_portmap_entry(const py::Object& module);
void export_vlan_entry(const py::Object& module);
void export_encap(const py::Object& module);
void export_replication_group(const py::Object& module);
// Hmroute's fields but its constructor, `iif` and text form, which are the
// chip's.
py::Class<Hmroute> declare_hmroute(py::Class<Hmroute> cls);

}  // namespace nv::binding
