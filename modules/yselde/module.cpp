// norvask.yselde: the multicast route checker for DNX-family ASICs.
//
// The module body binds, in order: the interpreter's standard modules, the
// port table and the VRF database, the diagnostic-shell client (guarded:
// None when it cannot be imported), the kernel and hardware record classes
// and the checker class Asic.

#include <Python.h>

#include "modules/multicast/records.h"
#include "modules/yselde/binding.h"
#include "python/classes.h"
#include "python/errors.h"
#include "python/module.h"

namespace {

// The shell's prompt on this chip, as a pattern for the client.
constexpr const char* kPromptPattern = R"(BCM\.[0-9]+>\s+$)";

void module_body(PyObject* module) {
  py::Imports(module)
      .import({"json", "os", "re", "socket", "struct", "subprocess", "sys"})
      .import("norvask.quillon")
      .import("norvask.stavren")
      .import_or_none("dolmish");

  py::Object m = py::Object::borrow(module);
  nv::binding::export_kernel_records(m);
  nv::binding::export_dnx_hw_records(m);
  // The outside objects an Asic makes, from the names bound above.
  py::OutsideMakers makers{
      {{"norvask", "quillon", "quillon"}, {}},
      {{"norvask", "stavren", "VrfDb"}, {}},
      {{"dolmish", "dolmish"}, {{"timeout", py::integer(180)}, {"prompt", py::str(kPromptPattern)}}}};
  nv::binding::export_dnx_asic(m, makers);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void inityselde() {
  py::module_entry("yselde", &module_body);
}
