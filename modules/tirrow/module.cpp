// norvask.tirrow: the VXLAN state of an XGS-family ASIC, one record per VNI.
//
// The module body binds, in order: its documentation, the interpreter's
// standard modules and the platform's (none guarded; the shell client is
// imported by the constructor), the YAML loader as `yaml`, the multicast
// checker as `bcmHelper`, and the checker class Asic.

#include <Python.h>

#include "modules/tirrow/binding.h"
#include "python/module.h"
#include "tirrow/host_ops.h"
#include "tirrow/yaml_loader.h"

namespace {

void module_body(PyObject* module) {
  PyObject* globals = PyModule_GetDict(module);
  if (PyDict_SetItemString(globals, "__doc__",
                           py::str("\nCompare kernel vxlan info with hw vxlan info\n").get()) < 0)
    py::throw_pending();

  pyx::import_from(globals, "cStringIO", {"StringIO"});
  pyx::import_from(globals, "ipaddr",
                   {"IPv6Address", "IPNetwork", "IPv4Network", "IPv6Network", "AddressValueError"});
  pyx::import_from(globals, "pprint", {"pformat", "pprint"});
  pyx::import_from(globals, "subprocess", {"Popen", "PIPE", "check_output", "CalledProcessError"});
  py::Imports(module).import({"argparse", "json", "os", "re", "sys", "norvask.platforms"});
  pyx::import_star(globals, "tessik.support");
  pyx::import_from(globals, "tessik.packet", {"Route", "Neighbour", "Link"});
  pyx::import_from(globals, "tessik.manager", {"Manager"});
  pyx::import_from(globals, "configobj", {"ConfigObj"});
  pyx::import_from(globals, "norvask.harnel",
                   {"modport2interface", "asic2linux", "asictrunkmbr2linux", "linux2modport"});
  // No YAML package exists for the switch's interpreter: ours stands in.
  if (PyDict_SetItemString(globals, "yaml", nv::yaml::make_module().get()) < 0)
    py::throw_pending();
  pyx::import_as(globals, "norvask.corvane", "bcmHelper");

  nv::binding::export_vxlan_asic(py::Object::borrow(module));
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void inittirrow() {
  py::module_entry("tirrow", &module_body);
}
