// norvask.corvane: the multicast route checker for XGS-family ASICs.
//
// The module body binds, in order: the interpreter's standard modules, the
// port table and the VRF database, the diagnostic-shell client (guarded:
// None when it cannot be imported), the kernel and hardware record classes
// and the checker class Asic.

#include <Python.h>

#include "mcast_core/asic.h"
#include "modules/corvane/binding.h"
#include "modules/multicast/records.h"
#include "python/classes.h"
#include "python/errors.h"
#include "python/module.h"

namespace {

void module_body(PyObject* module) {
  py::Imports(module)
      .import({"json", "os", "re", "socket", "struct", "subprocess", "sys"})
      .import("norvask.quillon")
      .import("norvask.stavren")
      .import_or_none("dolmish");

  py::Object m = py::Object::borrow(module);
  nv::binding::export_kernel_records(m);
  nv::binding::export_hw_records(m);
  // The outside objects an Asic makes, from the names bound above.
  py::OutsideMakers makers{{{"norvask", "quillon", "quillon"}, {}},
                           {{"norvask", "stavren", "VrfDb"}, {}},
                           {{"dolmish", "dolmish"}, {{"timeout", py::integer(180)}}}};
  nv::binding::export_asic(m, makers);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void initcorvane() {
  py::module_entry("corvane", &module_body);
}
