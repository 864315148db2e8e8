// A module's entry and the imports of its body, as the host's own module
// would run them.
#pragma once

#include <Python.h>

#include <initializer_list>

#include "python/object.h"

namespace py {

// The imports at the top of a module body, in order.  Each binds what the
// import statement binds: "import a.b" binds the package name "a".
class Imports {
 public:
  explicit Imports(PyObject* module) : globals_(PyModule_GetDict(module)) {}
  Imports& import(const char* name);
  Imports& import(std::initializer_list<const char*> names) {
    for (const char* name : names) import(name);
    return *this;
  }
  // An import in a guard: the name is bound to None when it fails.
  Imports& import_or_none(const char* name);

 private:
  void bind(const char* name, const Object& value);
  PyObject* globals_;  // borrowed from the module
};

// Creates the module and runs its body; an error of the body is the
// import's error.
void module_entry(const char* name, void (*body)(PyObject* module));

}  // namespace py
