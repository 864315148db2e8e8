#include "python/classes.h"

#include <cstring>
#include <string>

namespace py {

namespace detail {

void (*field_edit_hook)() = nullptr;

namespace {

// Classes made here are extension types; their metatype lets the host set
// class attributes on them (Asic.ORIG_DEV = [...]) as it could on a class
// written in Python.
int meta_setattro(PyObject* type, PyObject* name, PyObject* value) {
  auto* t = reinterpret_cast<PyTypeObject*>(type);
  if (t->tp_flags & Py_TPFLAGS_HEAPTYPE) return PyType_Type.tp_setattro(type, name, value);
  if (!PyString_Check(name)) {
    PyErr_SetString(PyExc_TypeError, "attribute name must be a string");
    return -1;
  }
  int rc = value ? PyDict_SetItem(t->tp_dict, name, value) : PyDict_DelItem(t->tp_dict, name);
  if (rc < 0 && !value && PyErr_ExceptionMatches(PyExc_KeyError)) {
    PyErr_Clear();
    PyErr_Format(PyExc_AttributeError, "type object '%.50s' has no attribute '%.400s'",
                 t->tp_name, PyString_AS_STRING(name));
  }
  PyType_Modified(t);
  return rc;
}

PyTypeObject* metatype() {
  static PyTypeObject meta = [] {
    PyTypeObject m{};
    m.ob_refcnt = 1;
    m.tp_name = "norvask.native_class";
    m.tp_basicsize = PyType_Type.tp_basicsize;
    m.tp_flags = Py_TPFLAGS_DEFAULT;
    m.tp_base = &PyType_Type;
    m.tp_setattro = meta_setattro;
    return m;
  }();
  static bool ready = PyType_Ready(&meta) == 0;
  if (!ready) throw_pending();
  return &meta;
}

}  // namespace

PyTypeObject* new_class(PyObject* module, const char* name, Py_ssize_t basicsize,
                        destructor dealloc, newfunc tp_new, initproc tp_init,
                        richcmpfunc compare, hashfunc hash) {
  const char* modname = PyModule_GetName(module);
  if (!modname) throw_pending();
  auto* full = new std::string(std::string(modname) + "." + name);  // lives with the class
  auto* t = new PyTypeObject{};
  t->ob_refcnt = 1;
  t->ob_type = metatype();
  t->tp_name = full->c_str();
  t->tp_basicsize = basicsize;
  t->tp_dealloc = dealloc;
  t->tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE;
  t->tp_dictoffset = offsetof(InstanceHead, dict);
  t->tp_weaklistoffset = offsetof(InstanceHead, weaklist);
  t->tp_new = tp_new;
  t->tp_init = tp_init;
  t->tp_richcompare = compare;
  t->tp_hash = hash;
  t->tp_alloc = PyType_GenericAlloc;
  t->tp_free = PyObject_Del;
  if (PyType_Ready(t) < 0) throw_pending();
  PyDict_DelItemString(t->tp_dict, "__doc__");
  PyErr_Clear();
  Py_INCREF(t);
  if (PyModule_AddObject(module, name, reinterpret_cast<PyObject*>(t)) < 0) throw_pending();
  return t;
}

Object call_base(PyTypeObject* base, const char* name, PyObject* o, PyObject* args,
                 PyObject* kwargs) {
  PyObject* method = PyDict_GetItemString(base->tp_dict, name);  // borrowed descriptor
  if (!method) raise(PyExc_AttributeError, name);
  Py_ssize_t n = args ? PyTuple_GET_SIZE(args) : 0;
  Object full = Object::steal(PyTuple_New(n + 1));
  Py_INCREF(o);
  PyTuple_SET_ITEM(full.get(), 0, o);
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject* a = PyTuple_GET_ITEM(args, i);
    Py_INCREF(a);
    PyTuple_SET_ITEM(full.get(), i + 1, a);
  }
  return Object::steal(PyObject_Call(method, full.get(), kwargs));
}

namespace {

PyObject* no_new(PyTypeObject* type, PyObject*, PyObject*) {
  PyErr_Format(PyExc_TypeError, "cannot create '%.100s' instances", type->tp_name);
  return nullptr;
}

// (base, (base(self),)).
Object reduce_as(PyTypeObject* base, PyObject* args) {
  Object type = Object::borrow(reinterpret_cast<PyObject*>(base));
  return Object::tuple_of(type, Object::tuple_of(type(Object::borrow(PyTuple_GET_ITEM(args, 0)))));
}

}  // namespace

PyTypeObject* view_type(const char* name, Py_ssize_t basicsize, PyTypeObject* base,
                        destructor dealloc, PyMappingMethods* mapping,
                        PySequenceMethods* sequence) {
  auto* type = new PyTypeObject{};
  type->ob_refcnt = 1;
  type->tp_name = name;
  type->tp_basicsize = basicsize;
  type->tp_base = base;
  type->tp_dealloc = dealloc;
  type->tp_as_mapping = mapping;
  type->tp_as_sequence = sequence;
  type->tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC;
  type->tp_traverse = base->tp_traverse;
  type->tp_clear = base->tp_clear;
  type->tp_new = no_new;
  if (PyType_Ready(type) < 0) throw_pending();
  Closure reduce = [base](PyObject* args, PyObject*) { return reduce_as(base, args); };
  add_methods(type, {{"__reduce__", reduce}, {"__reduce_ex__", reduce}});
  return type;
}

void set_class_attr(PyTypeObject* type, const char* name, const Object& value) {
  if (PyDict_SetItemString(type->tp_dict, name, value.get()) < 0) throw_pending();
  PyType_Modified(type);
}

void instance_clear(InstanceHead* self) {
  if (self->weaklist) PyObject_ClearWeakRefs(reinterpret_cast<PyObject*>(self));
  Py_CLEAR(self->dict);
  Py_CLEAR(self->given);
}

}  // namespace detail

PyObject* given_object(PyObject* self, const char* name) {
  auto* head = reinterpret_cast<InstanceHead*>(self);
  return head->given ? PyDict_GetItemString(head->given, name) : nullptr;
}

void keep_given(PyObject* self, const char* name, PyObject* value) {
  auto* head = reinterpret_cast<InstanceHead*>(self);
  if (!value) {
    if (head->given && PyDict_GetItemString(head->given, name)) PyDict_DelItemString(head->given, name);
    return;
  }
  if (!head->given && !(head->given = PyDict_New())) throw_pending();
  if (PyDict_SetItemString(head->given, name, value) < 0) throw_pending();
}

void set_field_edit_hook(void (*hook)()) { detail::field_edit_hook = hook; }

void add_methods(PyTypeObject* type,
                 std::initializer_list<std::pair<const char*, Closure>> methods) {
  for (const auto& [name, fn] : methods) detail::set_class_attr(type, name, function(name, fn));
}

}  // namespace py
