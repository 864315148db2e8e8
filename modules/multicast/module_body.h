// What the bodies of both multicast modules do alike: their imports, and
// how their Asic makes its outside objects from what the imports bound.
#pragma once

#include <Python.h>

#include <string>
#include <utility>
#include <vector>

#include "python/adapters.h"

namespace nv::binding {

// In order: the interpreter's standard modules, the port table, the VRF
// database and the diagnostic-shell client, which is None when importing
// it fails.
void import_modules(PyObject* module);

// The port table and the VRF database made with no arguments, the shell
// client with these keywords only.
py::OutsideMakers outside_makers(std::vector<std::pair<std::string, py::Object>> shell_keywords);

}  // namespace nv::binding
