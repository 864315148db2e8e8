// Interpreter callables backed by C++ closures.  As a class attribute a
// function binds like a Python function (it becomes a method); wrapped with
// static_method() it does not.
#pragma once

#include <Python.h>

#include <algorithm>
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
  // The positional arguments are those of `args` from position `skip` on
  // (a method's object comes first).
  Args(const std::string& function, PyObject* args, PyObject* kwargs,
       const std::vector<const char*>& names, size_t required, Py_ssize_t skip = 0);
  Args(const Args& o) : more_(o.more_), size_(o.size_) {
    slots_ = size_ <= kInline ? inline_ : more_.data();
    std::copy(o.slots_, o.slots_ + size_, slots_);
  }
  Args& operator=(const Args&) = delete;
  // The argument in slot i, or null when it was not given.
  PyObject* operator[](size_t i) const { return slots_[i]; }
  size_t size() const { return size_; }
  // Gives the last defaults.size() slots their default where none was given.
  void fill_defaults(const std::vector<Object>& defaults) {
    const size_t first = size_ - defaults.size();
    for (size_t i = 0; i < defaults.size(); ++i)
      if (!slots_[first + i]) slots_[first + i] = defaults[i].get();
  }

 private:
  static constexpr size_t kInline = 8;
  PyObject* inline_[kInline];
  std::vector<PyObject*> more_;  // for functions of more arguments
  PyObject** slots_;
  size_t size_;
};

using Closure = std::function<Object(PyObject* args, PyObject* kwargs)>;

// A new callable.  `method` makes it bind to instances when it is a class
// attribute.
Object function(const std::string& name, Closure fn, bool method = true);
Object static_method(Object fn);
// The builtin property; the setter, when given, also serves as deleter and
// is then called with the object alone.
Object property(Object getter, Object setter);

}  // namespace py
