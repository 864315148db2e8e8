// tirrow: construction, the driver, the daemon's debug switch, the VXLAN
// dump, the chip and the trunks.
#include "tirrow/asic.h"

#include "common/errors.h"
#include "tirrow/host_ops.h"
#include "tirrow/text_readers.h"

namespace nv::vxlan {

using namespace pyx;

namespace {

const char kVxlanNode[] = "/norvask/kestrad/debug/vxlan/info";
const char kDebugSwitch[] = "echo 1 > /norvask/kestrad/ctrl/debug";
const char kBondFile[] = "/norvask/kestrad/debug/bond/sw_bonds";
const char kDumpMarker[] = "#HW DUMP:";

// The sections whose readers take a mapping.
const char* const kSections[] = {
    "VPN DUMP", "VXLAN PORT DUMP", "VXLAN TUNNEL INITIATOR  DUMP",
    "VXLAN TUNNEL TERMINATOR  DUMP", "L2 ENTRIES DUMP", "L3 v4HOST ENTRIES DUMP",
    "L3 v6HOST ENTRIES DUMP", "L3 v4ROUTE ENTRIES DUMP", "L3 v6ROUTE ENTRIES DUMP",
};

const char* const kChipIds[][2] = {
    {"56845", "Trident"},  {"56846", "Trident+"},  {"5685X", "Trident2"},
    {"5696X", "Tomahawk"}, {"56340", "Helix4"},    {"5686X", "Trident2+"},
    {"5676X", "Maverick"}, {"5687X", "Trident3"},  {"5615X", "Hurricane2"},
    {"5697X", "Tomahawk2"},
};

// A dump the readers can walk: a mapping, with a mapping (or nothing)
// under each title they read.  False values keep their meaning (nothing
// there); anything else true would fail the readers half-way.
bool readable_dump(const Object& doc) {
  if (!truth(doc)) return true;
  if (!PyDict_Check(doc.get())) return false;
  for (const char* title : kSections) {
    Object section = get(doc, title);
    if (truth(section) && !PyDict_Check(section.get())) return false;
  }
  return true;
}

}  // namespace

PyObject* Asic::instance_dict() const {
  PyObject** slot = _PyObject_GetDictPtr(self_);
  if (!*slot && !(*slot = PyDict_New())) py::throw_pending();
  return *slot;
}

Asic::Attr& Asic::Attr::operator=(const Object& value) {
  if (PyDict_SetItemString(owner_.instance_dict(), name_, value.get()) < 0) py::throw_pending();
  return *this;
}

Object Asic::Attr::get() const { return Object::borrow(PyDict_GetItemString(owner_.instance_dict(), name_)); }

Object Asic::need(const Attr& attr, const char* name) const {
  Object value = attr.get();
  if (!value) py::raise(PyExc_AttributeError, std::string("'Asic' object has no attribute '") + name + "'");
  return value;
}

Object Asic::global(const char* name) const { return pyx::global(globals_.get(), name); }

Object Asic::section(const char* title) const {
  return get(need(asicTables, "asicTables"), text(title), dict());
}

std::string Asic::node_path() const {
  return py::to_string(need(vxlanFuseNode, "vxlanFuseNode").get());
}

void Asic::init() {
  asicVxlanDict = dict();
  hwBonds = dict();
  vxlanFuseNode = text(kVxlanNode);
  kestrad_debug_enabled = py::boolean(get_kestrad_debug());
  if (!truth(need(kestrad_debug_enabled, "kestrad_debug_enabled"))) enable_kestrad_debug();

  // The shell client is imported here, not when the module loads.
  Object dolmish = py::import_statement("dolmish", globals_.get());
  Object kwargs = dict();
  set_item(kwargs, "timeout", py::integer(180));
  bs = dolmish.attr("dolmish").call(Object(), kwargs);

  _chip_id_map = dict();
  for (const auto& [id, name] : kChipIds) set_item(need(_chip_id_map, "_chip_id_map"), id, text(name));
  chip = get_chipname();
  // The multicast checker reads the whole XGS state on its own client.
  bcmApiHelper = global("bcmHelper").attr("Asic")();

  asicTables = dict();
  vniInfoHelperDict = dict();
  vxlanPortHelperDict = dict();
  initiatorDict = dict();
  terminatorDict = dict();
  hostTable = dict();
  routeTable = dict();
  vpntoVniTable = dict();
  build_hw_bonds_dict();
}

void Asic::prefetch_hw_info() {
  parse_switch_kfs_node();
  parse_vpn_info();
  parse_vxlan_port_info();
  parse_tunnel_info();
  parse_l2_l3_entries();
  build_local_port_dict();
  build_local_and_remote_mac_dict();
}

Object Asic::dump_vxlans() {
  prefetch_hw_info();
  return need(asicVxlanDict, "asicVxlanDict");
}

// --- the daemon's debug switch and its VXLAN dump

bool Asic::get_kestrad_debug() { return system_->is_file(node_path()); }

void Asic::enable_kestrad_debug() {
  try {
    system_->shell(kDebugSwitch);
  } catch (...) {
    raise_exception("Kestrad Fuse Node not enabled");
  }
}

void Asic::disable_kestrad_debug() {
  // The daemon takes the same "1" both ways.
  try {
    system_->shell(kDebugSwitch);
  } catch (...) {
    raise_exception("Kestrad Fuse Node not disabled");
  }
}

void Asic::parse_switch_kfs_node() {
  try {
    const std::string path = node_path();
    if (system_->exists(path)) {
      const std::string content = system_->read_file(path);
      const size_t at = content.find(kDumpMarker);
      const std::string yaml_text =
          at == std::string::npos ? std::string() : content.substr(at + sizeof kDumpMarker - 1);
      Object doc = global("yaml").attr("safe_load")(text(yaml_text));
      if (!readable_dump(doc)) throw ValueError("not a dump of sections");
      asicTables = doc;
    }
  } catch (...) {
    raise_exception("Failed to parse the kfs fuse node");
  }
  if (!truth(need(asicTables, "asicTables"))) raise_exception("Hw Vxlan Objects not found");
}

// --- the chip

Object Asic::get_chipname() {
  Object out = need(bs, "bs").attr("run")(text("show unit"));
  const std::string unit = py::to_string(out.get());
  std::optional<std::string> id = unit_chip_id(unit);
  if (!id) py::raise(PyExc_RuntimeError, unknown_unit_message(unit));
  const Object& table = need(_chip_id_map, "_chip_id_map");
  Object key = text(*id);
  if (contains(table, key)) return item(table, key);
  Object family = text(chip_family_key(*id));
  if (contains(table, family)) return item(table, family);
  return format("Unknown(%s)", Object::tuple_of(key));
}

Object Asic::get_id_2_name(Object chip_id) {
  const Object& table = need(_chip_id_map, "_chip_id_map");
  if (contains(table, chip_id)) return item(table, chip_id);
  return format("Unknown(%s)", Object::tuple_of(chip_id));
}

// --- trunks and the daemon's bond file

void Asic::build_hw_bonds_dict() {
  Object out;
  try {
    out = need(bs, "bs").attr("run")(text("trunk show"));
  } catch (...) {
    raise_exception("Unable to run bcm trunk show command");
  }
  const Object& bonds = need(hwBonds, "hwBonds");
  for (const TrunkLine& trunk : trunk_lines(py::to_string(out.get()))) {
    Object id = to_int(text(trunk.id), 10);
    if (!contains(bonds, id)) {
      Object record = dict();
      set_item(record, "slavePorts", Object::steal(PyTuple_New(0)));
      set_item(record, "linuxSlavePorts", Object::steal(PyTuple_New(0)));
      set_item(record, "linuxIntfName", Object::none());
      set_item(bonds, id, record);
    }
    Object record = item(bonds, id);
    Object members = Object::steal(PyTuple_New(static_cast<Py_ssize_t>(trunk.members.size())));
    for (size_t i = 0; i < trunk.members.size(); ++i)
      PyTuple_SET_ITEM(members.get(), static_cast<Py_ssize_t>(i), text(trunk.members[i]).release());
    set_item(record, "slavePorts", members);
    global("asictrunkmbr2linux")(text(trunk.members.front()));
    Object names = list();
    for (const std::string& member : trunk.members)
      append(names, global("asic2linux")(text(member)));
    if (PyList_Sort(names.get()) < 0) py::throw_pending();
    set_item(record, "linuxSlavePorts", Object::steal(PyList_AsTuple(names.get())));
  }

  std::string content;
  try {
    content = system_->read_file(kBondFile);
  } catch (const Error& e) {
    if (e.kind() == ErrorKind::IO) raise_file_error(e, kBondFile);
    throw;
  }
  for_each_bond_line(content, [&](const BondLine& bond) {
    Object id = to_int(text(bond.id), 10);
    // A bond of a trunk that "trunk show" did not list with members.
    if (!contains(bonds, id)) return;
    set_item(item(bonds, id), "linuxIntfName", text(bond.name));
  });
}

}  // namespace nv::vxlan
