#include "python/function.h"

#include <structmember.h>

#include <algorithm>

#include "python/errors.h"

namespace py {

namespace {

struct NativeFunction {
  PyObject_HEAD
  Closure* fn;
  std::string* name;
  bool method;
};

void native_dealloc(PyObject* self) {
  auto* f = reinterpret_cast<NativeFunction*>(self);
  delete f->fn;
  delete f->name;
  Py_TYPE(self)->tp_free(self);
}

PyObject* native_call(PyObject* self, PyObject* args, PyObject* kwargs) {
  auto* f = reinterpret_cast<NativeFunction*>(self);
  return guarded([&] { return (*f->fn)(args, kwargs); });
}

PyObject* native_descr_get(PyObject* self, PyObject* obj, PyObject* type) {
  auto* f = reinterpret_cast<NativeFunction*>(self);
  if (!f->method) {
    Py_INCREF(self);
    return self;
  }
  if (obj == Py_None) obj = nullptr;
  return PyMethod_New(self, obj, type);
}

PyObject* native_repr(PyObject* self) {
  auto* f = reinterpret_cast<NativeFunction*>(self);
  return PyString_FromFormat("<built-in function %s>", f->name->c_str());
}

PyObject* native_get_name(PyObject* self, void*) {
  auto* f = reinterpret_cast<NativeFunction*>(self);
  return PyString_FromString(f->name->c_str());
}

PyGetSetDef native_getset[] = {
    {const_cast<char*>("__name__"), native_get_name, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyTypeObject* native_type() {
  static PyTypeObject type = [] {
    PyTypeObject t{};
    t.ob_refcnt = 1;
    t.tp_name = "norvask.native_function";
    t.tp_basicsize = sizeof(NativeFunction);
    t.tp_dealloc = native_dealloc;
    t.tp_call = native_call;
    t.tp_descr_get = native_descr_get;
    t.tp_repr = native_repr;
    t.tp_getset = native_getset;
    t.tp_flags = Py_TPFLAGS_DEFAULT;
    return t;
  }();
  static bool ready = PyType_Ready(&type) == 0;
  if (!ready) throw_pending();
  return &type;
}

}  // namespace

Args::Args(const std::string& function, PyObject* args, PyObject* kwargs,
           const std::vector<const char*>& names, size_t required, Py_ssize_t skip)
    : size_(names.size()) {
  if (size_ <= kInline) {
    slots_ = inline_;
  } else {
    more_.resize(size_);
    slots_ = more_.data();
  }
  std::fill(slots_, slots_ + size_, nullptr);
  Py_ssize_t given = args ? PyTuple_GET_SIZE(args) - skip : 0;
  size_t nkw = kwargs ? static_cast<size_t>(PyDict_Size(kwargs)) : 0;
  size_t total = static_cast<size_t>(given) + nkw;
  auto count_error = [&](const char* how, size_t n) {
    raise(PyExc_TypeError, function + "() takes " + how + " " + std::to_string(n) + " argument" +
                               (n == 1 ? "" : "s") + " (" + std::to_string(total) + " given)");
  };
  if (static_cast<size_t>(given) > names.size())
    count_error(required == names.size() ? "exactly" : "at most", names.size());
  for (Py_ssize_t i = 0; i < given; ++i) slots_[i] = PyTuple_GET_ITEM(args, skip + i);
  if (kwargs) {
    PyObject *key, *value;
    Py_ssize_t pos = 0;
    while (PyDict_Next(kwargs, &pos, &key, &value)) {
      std::string k = PyString_Check(key) ? PyString_AS_STRING(key) : "";
      size_t i = 0;
      while (i < names.size() && k != names[i]) ++i;
      if (i == names.size())
        raise(PyExc_TypeError, function + "() got an unexpected keyword argument '" + k + "'");
      if (slots_[i])
        raise(PyExc_TypeError,
              function + "() got multiple values for keyword argument '" + k + "'");
      slots_[i] = value;
    }
  }
  for (size_t i = 0; i < required; ++i)
    if (!slots_[i])
      count_error(required == names.size() ? "exactly" : "at least", required);
}

Object function(const std::string& name, Closure fn, bool method) {
  auto* f = PyObject_New(NativeFunction, native_type());
  if (!f) throw_pending();
  f->fn = new Closure(std::move(fn));
  f->name = new std::string(name);
  f->method = method;
  return Object::steal(reinterpret_cast<PyObject*>(f));
}

Object static_method(Object fn) { return Object::steal(PyStaticMethod_New(fn.get())); }

Object property(Object getter, Object setter) {
  Object type = Object::borrow(reinterpret_cast<PyObject*>(&PyProperty_Type));
  if (!setter) return type(getter);
  return type(getter, setter, setter);
}

}  // namespace py
