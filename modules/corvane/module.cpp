// norvask.corvane: the multicast route checker for XGS-family ASICs.
//
// The module body binds, in order: the interpreter's standard modules, the
// port table and the VRF database, the diagnostic-shell client (guarded:
// None when it cannot be imported), the kernel and hardware record classes
// and the checker class Asic.

#include <Python.h>

#include "modules/corvane/binding.h"
#include "modules/multicast/module_body.h"
#include "modules/multicast/records.h"
#include "python/module.h"

namespace {

void module_body(PyObject* module) {
  nv::binding::import_modules(module);
  py::Object m = py::Object::borrow(module);
  nv::binding::export_kernel_records(m);
  nv::binding::export_hw_records(m);
  nv::binding::export_asic(m, nv::binding::outside_makers({{"timeout", py::integer(180)}}));
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void initcorvane() {
  py::module_entry("corvane", &module_body);
}
