// _yamltest: the YAML loader's `yaml` object, for the Python tests only
// (built into build/tests, never installed).

#include <Python.h>

#include "python/errors.h"
#include "tirrow/yaml_loader.h"

extern "C" __attribute__((visibility("default"))) void init_yamltest() {
  PyObject* module = Py_InitModule4("_yamltest", nullptr, nullptr, nullptr, PYTHON_API_VERSION);
  if (!module) return;
  try {
    if (PyModule_AddObject(module, "yaml", nv::yaml::make_module().release()) < 0)
      py::throw_pending();
  } catch (...) {
    py::set_error_from_current_exception();
  }
}
