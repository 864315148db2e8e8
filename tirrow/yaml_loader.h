// The YAML loader of the VXLAN checker: YAML text straight to the
// interpreter's own objects, by the rules of the interpreter's safe loader
// (YAML 1.1 implicit types for plain scalars, the standard tags, anchors
// that give the very object, merge keys), on libyaml's event parser.
//
// No YAML package exists for the switch's interpreter, so the module binds
// the name `yaml` to the object that make_module() gives.
#pragma once

#include <Python.h>

#include <cstddef>

#include "python/object.h"

namespace nv::yaml {

// Collections nested deeper than this fail the load.
constexpr std::size_t kMaxDepth = 1000;

// The loader's one error type, yaml.YAMLError (a subclass of Exception);
// the same object on every call.
py::Object error_type();

// The single document of `text` (a byte string, or unicode, which is read
// as its UTF-8 form), None for a stream without one.  Invalid input raises
// error_type(); a text that is neither str nor unicode, TypeError.
py::Object safe_load(PyObject* text);

// A module object named "yaml" (not entered in sys.modules) whose
// attributes are safe_load and YAMLError.
py::Object make_module();

}  // namespace nv::yaml
