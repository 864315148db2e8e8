#include "python/object.h"

namespace py {

Object Object::steal(PyObject* p) {
  if (!p) throw_pending();
  Object o;
  o.p_ = p;
  return o;
}

void Object::throw_pending_static() { throw_pending(); }

Object Object::attr(const char* name) const { return steal(PyObject_GetAttrString(p_, name)); }

Object Object::call(const Object& args) const { return call(args, Object()); }

Object Object::call_method(const char* name, const Object& args) const {
  return attr(name).call(args, Object());
}

Object Object::call_method(const char* name, const Object& args, const Object& kwargs) const {
  return attr(name).call(args, kwargs);
}

Object Object::call(const Object& args, const Object& kwargs) const {
  Object a = args ? args : steal(PyTuple_New(0));
  return steal(PyObject_Call(p_, a.get(), kwargs.get()));
}

nv::ForeignError fetch_error() {
  auto err = std::make_shared<PendingError>();
  PyErr_Fetch(&err->type, &err->value, &err->traceback);
  if (!err->type) {
    err->type = PyExc_SystemError;
    Py_INCREF(err->type);
    err->value = PyString_FromString("error return without exception set");
  }
  return nv::ForeignError(err);
}

void throw_pending() { throw fetch_error(); }

bool pending_matches(PyObject* type) { return PyErr_ExceptionMatches(type) != 0; }

void raise(PyObject* type, const std::string& message) {
  PyErr_SetString(type, message.c_str());
  throw_pending();
}

Object str(std::string_view s) {
  return Object::steal(PyString_FromStringAndSize(s.data(), static_cast<Py_ssize_t>(s.size())));
}

Object integer(long v) { return Object::steal(PyInt_FromLong(v)); }

Object boolean(bool v) { return Object::borrow(v ? Py_True : Py_False); }

bool is_text(PyObject* o) { return PyString_Check(o) || PyUnicode_Check(o); }

bool is_integer(PyObject* o) { return PyInt_Check(o) || PyLong_Check(o); }

std::string to_string(PyObject* o) {
  if (PyString_Check(o))
    return std::string(PyString_AS_STRING(o), static_cast<size_t>(PyString_GET_SIZE(o)));
  if (PyUnicode_Check(o)) {
    Object bytes = Object::steal(PyUnicode_AsASCIIString(o));
    return to_string(bytes.get());
  }
  raise(PyExc_TypeError, std::string("expected a string, not ") + Py_TYPE(o)->tp_name);
}

std::string to_text(PyObject* o) {
  if (is_text(o)) return to_string(o);
  Object s = Object::steal(PyObject_Str(o));
  return to_string(s.get());
}

long to_long(PyObject* o) {
  if (PyInt_Check(o)) return PyInt_AS_LONG(o);
  if (PyLong_Check(o)) {
    long v = PyLong_AsLong(o);
    if (v == -1 && PyErr_Occurred()) throw_pending();
    return v;
  }
  raise(PyExc_TypeError, std::string("an integer is required, not ") + Py_TYPE(o)->tp_name);
}

bool truth(PyObject* o) {
  int r = PyObject_IsTrue(o);
  if (r < 0) throw_pending();
  return r != 0;
}

Object import_statement(const char* name, PyObject* globals) {
  // The import statement's own way to __import__: through the builtins in
  // force, so that a replaced __import__ sees this import and nothing else.
  PyObject* builtins = PyEval_GetBuiltins();  // borrowed
  PyObject* fn = builtins ? PyDict_GetItemString(builtins, "__import__") : nullptr;
  if (!fn) raise(PyExc_ImportError, "__import__ not found");
  Object import = Object::borrow(fn);
  Object args = Object::steal(Py_BuildValue("(sOOOi)", name, globals ? globals : Py_None, Py_None,
                                            Py_None, -1));
  return import.call(args);
}

}  // namespace py
