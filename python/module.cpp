#include "python/module.h"

#include <string>

#include "python/errors.h"

namespace py {

namespace {

// The name the import statement binds for a dotted module name.
std::string bound_name(const char* name) {
  std::string n = name;
  return n.substr(0, n.find('.'));
}

}  // namespace

void Imports::bind(const char* name, const Object& value) {
  if (PyDict_SetItemString(globals_, name, value.get()) < 0) throw_pending();
}

Imports& Imports::import(const char* name) {
  bind(bound_name(name).c_str(), import_statement(name, globals_));
  return *this;
}

Imports& Imports::import_or_none(const char* name) {
  try {
    import(name);
  } catch (const nv::ForeignError&) {
    PyErr_Clear();
    bind(bound_name(name).c_str(), Object::none());
  }
  return *this;
}

void module_entry(const char* name, void (*body)(PyObject* module)) {
  PyObject* module = Py_InitModule4(name, nullptr, nullptr, nullptr, PYTHON_API_VERSION);
  if (!module) return;
  try {
    body(module);
  } catch (...) {
    set_error_from_current_exception();
  }
}

}  // namespace py
