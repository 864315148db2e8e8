// norvask.yselde: the multicast route checker for DNX-family ASICs.
//
// The module body binds, in order: the interpreter's standard modules, the
// port table and the VRF database, the diagnostic-shell client (guarded:
// None when it cannot be imported), the kernel and hardware record classes
// and the checker class Asic.

#include <Python.h>

#include "modules/multicast/module_body.h"
#include "modules/multicast/records.h"
#include "modules/yselde/binding.h"
#include "python/module.h"

namespace {

// The shell's prompt on this chip, as a pattern for the client.
constexpr const char* kPromptPattern = R"(BCM\.[0-9]+>\s+$)";

void module_body(PyObject* module) {
  nv::binding::import_modules(module);
  py::Object m = py::Object::borrow(module);
  nv::binding::export_kernel_records(m);
  nv::binding::export_dnx_hw_records(m);
  nv::binding::export_dnx_asic(
      m, nv::binding::outside_makers(
             {{"timeout", py::integer(180)}, {"prompt", py::str(kPromptPattern)}}));
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void inityselde() {
  py::module_entry("yselde", &module_body);
}
