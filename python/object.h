// Reference-counted handles on interpreter objects, and the error that
// carries an interpreter exception through C++ code unchanged.
#pragma once

#include <Python.h>

#include <memory>
#include <string>
#include <string_view>

#include "common/errors.h"

namespace py {

// An owned reference.  Empty handles are allowed and test false.
class Object {
 public:
  Object() = default;
  Object(const Object& o) : p_(o.p_) { Py_XINCREF(p_); }
  Object(Object&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  Object& operator=(Object o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~Object() { Py_XDECREF(p_); }

  // Takes over a new reference; a null pointer raises the pending error.
  static Object steal(PyObject* p);
  // Takes over a new reference, or stays empty for null.
  static Object steal_or_null(PyObject* p) {
    Object o;
    o.p_ = p;
    return o;
  }
  static Object borrow(PyObject* p) {
    Py_XINCREF(p);
    Object o;
    o.p_ = p;
    return o;
  }
  static Object none() { return borrow(Py_None); }

  PyObject* get() const { return p_; }
  PyObject* release() {
    PyObject* p = p_;
    p_ = nullptr;
    return p;
  }
  explicit operator bool() const { return p_ != nullptr; }
  bool is_none() const { return p_ == Py_None; }

  Object attr(const char* name) const;
  // Calls the object with positional arguments (each an Object).
  template <class... A>
  Object operator()(const A&... args) const {
    return call(tuple_of(args...));
  }
  Object call(const Object& args) const;
  Object call(const Object& args, const Object& kwargs) const;
  Object call_method(const char* name, const Object& args) const;
  Object call_method(const char* name, const Object& args, const Object& kwargs) const;

  template <class... A>
  static Object tuple_of(const A&... args) {
    PyObject* t = PyTuple_New(sizeof...(A));
    if (!t) throw_pending_static();
    Py_ssize_t i = 0;
    (PyTuple_SET_ITEM(t, i++, Object(args).release()), ...);
    return steal(t);
  }

 private:
  [[noreturn]] static void throw_pending_static();
  PyObject* p_ = nullptr;
};

// The interpreter's pending exception, held so that it can be raised again
// exactly as it was.
struct PendingError {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  ~PendingError() {
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(traceback);
  }
};

// Takes the pending interpreter exception into a C++ error (a ShellTimeout
// when asked for and the exception is an IOError).
nv::ForeignError fetch_error();
[[noreturn]] void throw_pending();
bool pending_matches(PyObject* type);

// Raises a new interpreter exception of the given type as a C++ error.
[[noreturn]] void raise(PyObject* type, const std::string& message);

Object str(std::string_view s);
Object integer(long v);
Object boolean(bool v);

// Text of a byte string or an ASCII unicode object; TypeError otherwise.
std::string to_string(PyObject* o);
// Like to_string, but any other object gives its str().
std::string to_text(PyObject* o);
// A Python int or long; TypeError otherwise (a bool counts, as in Python).
long to_long(PyObject* o);
bool is_text(PyObject* o);
bool is_integer(PyObject* o);
bool truth(PyObject* o);

// Imports a module by its dotted name, as the import statement would (the
// builtin __import__ with the given globals), giving the top-level package.
Object import_statement(const char* name, PyObject* globals);

}  // namespace py
