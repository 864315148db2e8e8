// Interpreter callables backed by C++ closures.  As a class attribute a
// function binds like a Python function (it becomes a method); wrapped with
// static_method() it does not.
#pragma once

#include <Python.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "python/object.h"

namespace py {

// Positional and keyword arguments matched to named parameters, with the
// interpreter's own messages for a call that does not fit.
class Args {
 public:
  Args(const std::string& function, PyObject* args, PyObject* kwargs,
       std::vector<const char*> names, size_t required);
  // The argument in slot i, or null when it was not given.
  PyObject* operator[](size_t i) const { return slots_[i]; }
  size_t size() const { return slots_.size(); }
  // Gives the last defaults.size() slots their default where none was given.
  void fill_defaults(const std::vector<Object>& defaults) {
    const size_t first = slots_.size() - defaults.size();
    for (size_t i = 0; i < defaults.size(); ++i)
      if (!slots_[first + i]) slots_[first + i] = defaults[i].get();
  }

 private:
  std::vector<PyObject*> slots_;
};

// The arguments of a method call after its object.
inline Object rest_of(PyObject* args) {
  return Object::steal(PyTuple_GetSlice(args, 1, PyTuple_GET_SIZE(args)));
}

using Closure = std::function<Object(PyObject* args, PyObject* kwargs)>;

// A new callable.  `method` makes it bind to instances when it is a class
// attribute.
Object function(const std::string& name, Closure fn, bool method = true);
Object static_method(Object fn);
// The builtin property; the setter, when given, also serves as deleter and
// is then called with the object alone.
Object property(Object getter, Object setter);

}  // namespace py
