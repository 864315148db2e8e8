#include "python/classes.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace py {

namespace detail {

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

namespace {

struct Accessor {
  std::string name;
  std::function<Object(PyObject*)> get;
  std::function<void(PyObject*, PyObject*)> set;
};

PyObject* accessor_get(PyObject* self, void* closure) {
  auto* a = static_cast<Accessor*>(closure);
  return guarded([&] { return a->get(self); });
}

int accessor_set(PyObject* self, PyObject* value, void* closure) {
  auto* a = static_cast<Accessor*>(closure);
  if (!a->set) {
    PyErr_SetString(PyExc_AttributeError, "can't set attribute");
    return -1;
  }
  return guarded_status([&] { a->set(self, value); });
}

// The interpreter names the class in a missing attribute's message by its
// full name; a class written in Python is named by its own.
PyObject* short_named_getattro(PyObject* self, PyObject* name) {
  PyObject* r = PyObject_GenericGetAttr(self, name);
  if (r || !PyErr_ExceptionMatches(PyExc_AttributeError) || !PyString_Check(name)) return r;
  PyObject *type, *value, *tb;
  PyErr_Fetch(&type, &value, &tb);
  const char* full = Py_TYPE(self)->tp_name;
  std::string generic = std::string("'") + full + "' object has no attribute '" +
                        PyString_AS_STRING(name) + "'";
  PyObject* text = value ? PyObject_Str(value) : nullptr;
  bool is_generic = text && PyString_Check(text) && generic == PyString_AS_STRING(text);
  Py_XDECREF(text);
  if (!is_generic) {
    PyErr_Restore(type, value, tb);
    return nullptr;
  }
  Py_XDECREF(type);
  Py_XDECREF(value);
  Py_XDECREF(tb);
  const char* dot = std::strrchr(full, '.');
  PyErr_Format(PyExc_AttributeError, "'%.50s' object has no attribute '%.400s'",
               dot ? dot + 1 : full, PyString_AS_STRING(name));
  return nullptr;
}

// Setting any attribute may store an object: the instance is tracked.
int tracking_setattro(PyObject* self, PyObject* name, PyObject* value) {
  int r = PyObject_GenericSetAttr(self, name, value);
  if (r == 0) track(self);
  return r;
}

}  // namespace

Object accessor(PyTypeObject* type, const char* name, std::function<Object(PyObject*)> get,
                std::function<void(PyObject*, PyObject*)> set) {
  // Both live with the class.
  auto* a = new Accessor{name, std::move(get), std::move(set)};
  auto* def = new PyGetSetDef{const_cast<char*>(a->name.c_str()), accessor_get, accessor_set,
                              nullptr, a};
  return Object::steal(PyDescr_NewGetSet(type, def));
}

namespace {

PyObject* alloc_instance(PyTypeObject* type, Py_ssize_t) {
  void* mem;
  try {
    mem = allocate_object_memory(kGcHead + static_cast<size_t>(type->tp_basicsize));
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  }
  PyObject* o = reinterpret_cast<PyObject*>(static_cast<char*>(mem) + kGcHead);
  PyObject_INIT(o, type);
  PyObject_GC_Track(o);
  return o;
}

void free_instance(void* o) { free_object_memory(static_cast<char*>(o) - kGcHead); }

}  // namespace

void* allocate_object_memory(size_t size) {
  void* mem = PyObject_Malloc(size);
  if (!mem) throw std::bad_alloc();
  std::memset(mem, 0, size);
  static_cast<PyGC_Head*>(mem)->gc.gc_refs = _PyGC_REFS_UNTRACKED;
  return mem;
}

void free_object_memory(void* memory) { PyObject_Free(memory); }

namespace {

// The instance dictionary as the host reads and replaces it.
Object instance_dict_property() {
  Object getter = function("__dict__", [](PyObject* args, PyObject*) {
    PyObject** slot = _PyObject_GetDictPtr(PyTuple_GET_ITEM(args, 0));
    if (!slot) raise(PyExc_AttributeError, "This object has no __dict__");
    if (!*slot && !(*slot = PyDict_New())) throw_pending();
    track(PyTuple_GET_ITEM(args, 0));
    return Object::borrow(*slot);
  }, false);
  Object setter = function("__dict__", [](PyObject* args, PyObject*) {
    PyObject** slot = _PyObject_GetDictPtr(PyTuple_GET_ITEM(args, 0));
    PyObject* value = PyTuple_GET_SIZE(args) > 1 ? PyTuple_GET_ITEM(args, 1) : nullptr;
    if (!slot) raise(PyExc_AttributeError, "This object has no __dict__");
    if (!value || !PyDict_Check(value))
      raise(PyExc_TypeError, "__dict__ must be set to a dictionary");
    Py_INCREF(value);
    Py_XSETREF(*slot, value);
    track(PyTuple_GET_ITEM(args, 0));
    return Object::none();
  }, false);
  return property(getter, setter);
}

}  // namespace

PyTypeObject* new_class(PyObject* module, const char* name, Py_ssize_t basicsize,
                        destructor dealloc, newfunc tp_new, initproc tp_init,
                        traverseproc traverse, inquiry clear) {
  const char* modname = PyModule_GetName(module);
  if (!modname) throw_pending();
  auto* full = new std::string(std::string(modname) + "." + name);  // lives with the class
  auto* t = new PyTypeObject{};
  t->ob_refcnt = 1;
  t->ob_type = metatype();
  t->tp_name = full->c_str();
  t->tp_basicsize = basicsize;
  t->tp_dealloc = dealloc;
  t->tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC;
  t->tp_dictoffset = offsetof(InstanceHead, dict);
  t->tp_weaklistoffset = offsetof(InstanceHead, weaklist);
  t->tp_new = tp_new;
  t->tp_init = tp_init;
  t->tp_setattro = tracking_setattro;
  t->tp_getattro = short_named_getattro;
  t->tp_traverse = traverse;
  t->tp_clear = clear;
  t->tp_alloc = alloc_instance;
  t->tp_free = free_instance;
  if (PyType_Ready(t) < 0) throw_pending();
  PyDict_DelItemString(t->tp_dict, "__doc__");
  PyErr_Clear();
  set_class_attr(t, "__dict__", instance_dict_property());
  // The fields live in C++, where a copy made field by field would not
  // find them: copying and pickling are refused rather than half done.
  Object refuse = function("__reduce_ex__", [](PyObject* args, PyObject*) -> Object {
    raise(PyExc_TypeError, std::string("can't copy or pickle ") +
                               Py_TYPE(PyTuple_GET_ITEM(args, 0))->tp_name + " objects");
  });
  set_class_attr(t, "__reduce_ex__", refuse);
  set_class_attr(t, "__reduce__", refuse);
  Py_INCREF(t);
  if (PyModule_AddObject(module, name, reinterpret_cast<PyObject*>(t)) < 0) throw_pending();
  return t;
}

void set_class_attr(PyTypeObject* type, const char* name, const Object& value) {
  if (PyDict_SetItemString(type->tp_dict, name, value.get()) < 0) throw_pending();
  PyType_Modified(type);
}

void instance_clear(InstanceHead* self) {
  if (self->weaklist) PyObject_ClearWeakRefs(reinterpret_cast<PyObject*>(self));
  Py_CLEAR(self->dict);
}

}  // namespace detail

}  // namespace py
