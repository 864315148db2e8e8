#include "tirrow/host_ops.h"

#include <cstring>

namespace pyx {

namespace {

Object import_module(const char* name, PyObject* globals, const Object& fromlist) {
  // As the import statement calls it: the builtin __import__ in force, with
  // the module's globals (so that a name is first tried inside its package).
  PyObject* builtins = PyEval_GetBuiltins();  // borrowed
  PyObject* fn = builtins ? PyDict_GetItemString(builtins, "__import__") : nullptr;
  if (!fn) py::raise(PyExc_ImportError, "__import__ not found");
  Object args = Object::steal(Py_BuildValue("(sOOOi)", name, globals ? globals : Py_None, Py_None,
                                            fromlist ? fromlist.get() : Py_None, -1));
  return Object::borrow(fn).call(args);
}

void bind(PyObject* globals, const char* name, const Object& value) {
  if (PyDict_SetItemString(globals, name, value.get()) < 0) py::throw_pending();
}

void bind(PyObject* globals, PyObject* name, PyObject* value) {
  if (PyDict_SetItem(globals, name, value) < 0) py::throw_pending();
}

Object none() { return Object::none(); }

}  // namespace

void import_from(PyObject* globals, const char* module,
                 std::initializer_list<const char*> names) {
  Object fromlist = Object::steal(PyTuple_New(static_cast<Py_ssize_t>(names.size())));
  Py_ssize_t i = 0;
  for (const char* n : names) PyTuple_SET_ITEM(fromlist.get(), i++, text(n).release());
  Object mod = import_module(module, globals, fromlist);
  for (const char* n : names) {
    PyObject* value = PyObject_GetAttrString(mod.get(), n);
    if (!value) {
      if (!PyErr_ExceptionMatches(PyExc_AttributeError)) py::throw_pending();
      PyErr_Clear();
      py::raise(PyExc_ImportError, std::string("cannot import name ") + n);
    }
    bind(globals, n, Object::steal(value));
  }
}

void import_star(PyObject* globals, const char* module) {
  Object mod = import_module(module, globals, Object::steal(Py_BuildValue("(s)", "*")));
  PyObject* all = PyObject_GetAttrString(mod.get(), "__all__");
  if (all) {
    Object names = Object::steal(all);
    for (const Object& name : elements(names)) {
      Object value = Object::steal(PyObject_GetAttr(mod.get(), name.get()));
      bind(globals, name.get(), value.get());
    }
    return;
  }
  if (!PyErr_ExceptionMatches(PyExc_AttributeError)) py::throw_pending();
  PyErr_Clear();
  // Without __all__: every name of the module that does not begin with "_".
  Object contents = Object::steal(PyObject_GetAttrString(mod.get(), "__dict__"));
  for (const auto& [name, value] : items(contents)) {
    if (PyString_Check(name.get()) && PyString_AS_STRING(name.get())[0] == '_') continue;
    bind(globals, name.get(), value.get());
  }
}

void import_as(PyObject* globals, const char* module, const char* name) {
  Object value = import_module(module, globals, Object());
  // "import a.b" gives the package a; the name is bound to a.b itself.
  std::string rest = module;
  size_t dot;
  while ((dot = rest.find('.')) != std::string::npos) {
    rest = rest.substr(dot + 1);
    value = value.attr(rest.substr(0, rest.find('.')).c_str());
  }
  bind(globals, name, value);
}

Object global(PyObject* globals, const char* name) {
  if (PyObject* v = PyDict_GetItemString(globals, name)) return Object::borrow(v);
  if (PyObject* builtins = PyEval_GetBuiltins())
    if (PyObject* v = PyDict_GetItemString(builtins, name)) return Object::borrow(v);
  py::raise(PyExc_NameError, std::string("global name '") + name + "' is not defined");
}

Object text(std::string_view s) { return py::str(s); }
Object dict() { return Object::steal(PyDict_New()); }
Object list() { return Object::steal(PyList_New(0)); }
bool truth(const Object& o) { return py::truth(o.get()); }
bool is_text(const Object& o) { return py::is_text(o.get()); }

bool is_plain_integer(const Object& o) {
  return (PyInt_Check(o.get()) && !PyBool_Check(o.get())) || PyLong_Check(o.get());
}

Object item(const Object& o, const Object& key) {
  return Object::steal(PyObject_GetItem(o.get(), key.get()));
}

Object item(const Object& o, const char* key) { return item(o, text(key)); }

void set_item(const Object& o, const Object& key, const Object& value) {
  if (PyObject_SetItem(o.get(), key.get(), value.get()) < 0) py::throw_pending();
}

void set_item(const Object& o, const char* key, const Object& value) {
  set_item(o, text(key), value);
}

Object get(const Object& m, const Object& key, const Object& fallback) {
  if (PyDict_CheckExact(m.get())) {
    // PyDict_GetItem hides the error of an unhashable key; get() raises it.
    if (PyObject_Hash(key.get()) == -1 && PyErr_Occurred()) py::throw_pending();
    PyObject* v = PyDict_GetItem(m.get(), key.get());
    return v ? Object::borrow(v) : fallback;
  }
  return m.call_method("get", Object::tuple_of(key, fallback));
}

Object get(const Object& m, const char* key) { return get(m, text(key), none()); }

bool contains(const Object& container, const Object& value) {
  int r = PySequence_Contains(container.get(), value.get());
  if (r < 0) py::throw_pending();
  return r != 0;
}

bool equals(const Object& a, const Object& b) {
  // The operator itself: no shortcut for an object compared with itself.
  return truth(Object::steal(PyObject_RichCompare(a.get(), b.get(), Py_EQ)));
}

bool equals(const Object& a, long n) { return equals(a, py::integer(n)); }

void append(const Object& list, const Object& value) {
  if (PyList_Check(list.get())) {
    if (PyList_Append(list.get(), value.get()) < 0) py::throw_pending();
    return;
  }
  list.call_method("append", Object::tuple_of(value));
}

std::vector<std::pair<Object, Object>> items(const Object& m) {
  Object pairs = PyDict_CheckExact(m.get()) ? Object::steal(PyDict_Items(m.get()))
                                            : m.call_method("items", Object());
  std::vector<std::pair<Object, Object>> out;
  for (const Object& pair : elements(pairs)) {
    std::vector<Object> kv = unpack(pair, 2);
    out.emplace_back(std::move(kv[0]), std::move(kv[1]));
  }
  return out;
}

std::vector<Object> elements(const Object& o) {
  Object it = Object::steal(PyObject_GetIter(o.get()));
  std::vector<Object> out;
  while (PyObject* x = PyIter_Next(it.get())) out.push_back(Object::steal(x));
  if (PyErr_Occurred()) py::throw_pending();
  return out;
}

std::vector<Object> unpack(const Object& o, size_t n) {
  Object it = Object::steal(PyObject_GetIter(o.get()));
  std::vector<Object> out;
  while (out.size() < n) {
    PyObject* x = PyIter_Next(it.get());
    if (!x) {
      if (PyErr_Occurred()) py::throw_pending();
      py::raise(PyExc_ValueError, "need more than " + std::to_string(out.size()) + " value" +
                                      (out.size() == 1 ? "" : "s") + " to unpack");
    }
    out.push_back(Object::steal(x));
  }
  if (PyObject* extra = PyIter_Next(it.get())) {
    Py_DECREF(extra);
    py::raise(PyExc_ValueError, "too many values to unpack");
  }
  if (PyErr_Occurred()) py::throw_pending();
  return out;
}

Object split(const Object& s) { return s.call_method("split", Object()); }

Object split(const Object& s, const char* sep) {
  return s.call_method("split", Object::tuple_of(text(sep)));
}

Object str_of(const Object& o) { return Object::steal(PyObject_Str(o.get())); }

Object to_int(const Object& o) {
  return Object::borrow(reinterpret_cast<PyObject*>(&PyInt_Type))(o);
}

Object to_int(const Object& o, int base) {
  return Object::borrow(reinterpret_cast<PyObject*>(&PyInt_Type))(o, py::integer(base));
}

Object hex_of(const Object& o) { return Object::steal(PyNumber_ToBase(o.get(), 16)); }

Object add(const Object& a, const Object& b) {
  return Object::steal(PyNumber_Add(a.get(), b.get()));
}

Object bit_and(const Object& a, long n) {
  return Object::steal(PyNumber_And(a.get(), py::integer(n).get()));
}

Object format(const char* fmt, const Object& args) {
  return Object::steal(PyNumber_Remainder(text(fmt).get(), args.get()));
}

void print(const Object& o) {
  PyObject* out = PySys_GetObject(const_cast<char*>("stdout"));  // borrowed
  if (!out || out == Py_None) py::raise(PyExc_RuntimeError, "lost sys.stdout");
  Object hold = Object::borrow(out);
  // A "print x," before leaves its pending blank, as the statement would.
  if (PyFile_SoftSpace(out, 0) && PyFile_WriteString(" ", out) < 0) py::throw_pending();
  if (PyFile_WriteObject(o.get(), out, Py_PRINT_RAW) < 0) py::throw_pending();
  if (PyFile_WriteString("\n", out) < 0) py::throw_pending();
}

void print(std::string_view line) { print(text(line)); }

void raise_exception(const Object& message) {
  PyErr_SetObject(PyExc_Exception, message.get());
  py::throw_pending();
}

void raise_exception(const std::string& message) { raise_exception(text(message)); }

void raise_file_error(const nv::Error& e, const std::string& path) {
  const int err = e.error_number();
  if (err == 0) py::raise(PyExc_IOError, e.message());
  Object args = Object::steal(Py_BuildValue("(iss)", err, std::strerror(err), path.c_str()));
  PyErr_SetObject(PyExc_IOError, args.get());
  py::throw_pending();
}

}  // namespace pyx
