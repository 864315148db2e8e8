// norvask.corvane: the multicast route checker for XGS-family ASICs.
//
// The module body binds, in order: the interpreter's standard modules, the
// port table and the VRF database, the diagnostic-shell client (guarded:
// None when it cannot be imported), the kernel and hardware record classes
// and the checker class Asic.

#include <Python.h>

#include "mcast_core/asic.h"
#include "modules/corvane/binding.h"
#include "python/classes.h"
#include "python/errors.h"

namespace {

const char* const kStandardModules[] = {"json", "os", "re", "socket", "struct", "subprocess", "sys"};

void module_body(PyObject* module) {
  PyObject* globals = PyModule_GetDict(module);  // borrowed
  auto bind = [&](const char* name, const py::Object& value) {
    if (PyDict_SetItemString(globals, name, value.get()) < 0) py::throw_pending();
  };

  for (const char* name : kStandardModules) bind(name, py::import_statement(name, globals));
  // "import norvask.quillon" binds the package name.
  bind("norvask", py::import_statement("norvask.quillon", globals));
  bind("norvask", py::import_statement("norvask.stavren", globals));
  try {
    bind("dolmish", py::import_statement("dolmish", globals));
  } catch (const nv::ForeignError&) {
    PyErr_Clear();
    bind("dolmish", py::Object::none());
  }

  py::set_field_edit_hook(&nv::note_record_edit);
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
  PyObject* module = Py_InitModule4("corvane", nullptr, nullptr, nullptr, PYTHON_API_VERSION);
  if (!module) return;
  try {
    module_body(module);
  } catch (...) {
    py::set_error_from_current_exception();
  }
}
