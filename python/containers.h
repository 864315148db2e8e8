// Live list and mapping views over C++ containers.  A view is a list (or a
// dict) of the interpreter holding the elements, and everything that changes
// it is carried into the C++ container as well; elements that are exported
// records come out as views of the element in its place, so changing their
// fields changes the owner's record.
#pragma once

#include <Python.h>

#include <optional>
#include <string>
#include <type_traits>

#include "python/convert.h"
#include "python/errors.h"
#include "python/function.h"

namespace py {

namespace detail {
extern void (*field_edit_hook)();
inline void edited() {
  if (field_edit_hook) field_edit_hook();
}
// A readied view type over the builtin `base` (list or dict), with the
// given storage slots.  Only the checker makes its instances; copies and
// pickles of them are plain lists or dicts.
PyTypeObject* view_type(const char* name, Py_ssize_t basicsize, PyTypeObject* base,
                        destructor dealloc, PyMappingMethods* mapping,
                        PySequenceMethods* sequence);
// Calls the method `name` of the builtin type `base` on o.
Object call_base(PyTypeObject* base, const char* name, PyObject* o, PyObject* args,
                 PyObject* kwargs);
}  // namespace detail

// Adds the named methods of a type to its dictionary.
void add_methods(PyTypeObject* type,
                 std::initializer_list<std::pair<const char*, Closure>> methods);

template <class V>
struct ListView {
  using E = typename V::value_type;
  struct Self {
    PyListObject list;
    Ref<V> ref;
  };

  static Self* cast(PyObject* o) { return reinterpret_cast<Self*>(o); }
  static V& vec(PyObject* o) { return *cast(o)->ref; }

  static Object element(const Ref<V>& r, size_t i) {
    return Convert<E>::view(Ref<E>{r.keep,
                                   [r, i] {
                                     V& v = *r;
                                     if (i >= v.size())
                                       raise(PyExc_IndexError, "list index out of range");
                                     return &v[i];
                                   },
                                   nullptr});
  }
  static Object elements(const Ref<V>& r) {
    size_t n = r->size();
    Object list = Object::steal(PyList_New(static_cast<Py_ssize_t>(n)));
    for (size_t i = 0; i < n; ++i) PyList_SET_ITEM(list.get(), i, element(r, i).release());
    return list;
  }
  static void refill(PyObject* o) {
    Object items = elements(cast(o)->ref);
    if (PyList_SetSlice(o, 0, PyList_GET_SIZE(o), items.get()) < 0) throw_pending();
  }
  // The list was changed as a list: the C++ one takes its content.
  static void store(PyObject* o) {
    V fresh;
    fresh.reserve(static_cast<size_t>(PyList_GET_SIZE(o)));
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(o); ++i)
      fresh.push_back(Convert<E>::from(PyList_GET_ITEM(o, i)));
    vec(o).swap(fresh);
    refill(o);
    detail::edited();
  }

  static Object make(const Ref<V>& r) {
    Object no_args = Object::steal(PyTuple_New(0));
    PyObject* o = PyList_Type.tp_new(type(), no_args.get(), nullptr);
    if (!o) throw_pending();
    new (&cast(o)->ref) Ref<V>(r);
    Object view = Object::steal(o);
    refill(o);
    return view;
  }

  static void dealloc(PyObject* o) {
    cast(o)->ref.~Ref<V>();
    PyList_Type.tp_dealloc(o);
  }
  static int ass_subscript(PyObject* o, PyObject* key, PyObject* value) {
    return guarded_status([&] {
      if (PyList_Type.tp_as_mapping->mp_ass_subscript(o, key, value) < 0) throw_pending();
      store(o);
    });
  }
  static int ass_item(PyObject* o, Py_ssize_t i, PyObject* value) {
    return guarded_status([&] {
      if (PyList_Type.tp_as_sequence->sq_ass_item(o, i, value) < 0) throw_pending();
      store(o);
    });
  }
  static int ass_slice(PyObject* o, Py_ssize_t a, Py_ssize_t b, PyObject* value) {
    return guarded_status([&] {
      if (PyList_Type.tp_as_sequence->sq_ass_slice(o, a, b, value) < 0) throw_pending();
      store(o);
    });
  }
  static PyObject* inplace_concat(PyObject* o, PyObject* other) {
    return guarded([&] {
      Object r = Object::steal(PyList_Type.tp_as_sequence->sq_inplace_concat(o, other));
      store(o);
      return r;
    });
  }
  static PyObject* inplace_repeat(PyObject* o, Py_ssize_t n) {
    return guarded([&] {
      Object r = Object::steal(PyList_Type.tp_as_sequence->sq_inplace_repeat(o, n));
      store(o);
      return r;
    });
  }

  // A list method, run on the list and then carried over.
  static Closure through(const char* name) {
    return [name](PyObject* args, PyObject* kwargs) {
      PyObject* self = PyTuple_GET_ITEM(args, 0);
      Object r = detail::call_base(&PyList_Type, name, self, rest_of(args).get(), kwargs);
      store(self);
      return r;
    };
  }

  static PyTypeObject* type() {
    static PyTypeObject* t = [] {
      static PyMappingMethods mapping = *PyList_Type.tp_as_mapping;
      mapping.mp_ass_subscript = ass_subscript;
      static PySequenceMethods sequence = *PyList_Type.tp_as_sequence;
      sequence.sq_ass_item = ass_item;
      sequence.sq_ass_slice = ass_slice;
      sequence.sq_inplace_concat = inplace_concat;
      sequence.sq_inplace_repeat = inplace_repeat;
      PyTypeObject* type = detail::view_type("norvask.list", sizeof(Self), &PyList_Type, dealloc,
                                             &mapping, &sequence);
      add_methods(type, {
          {"append", [](PyObject* args, PyObject*) {
             Args a("append", rest_of(args).get(), nullptr, {"object"}, 1);
             PyObject* self = PyTuple_GET_ITEM(args, 0);
             vec(self).push_back(Convert<E>::from(a[0]));
             detail::edited();
             if (PyList_Append(self, element(cast(self)->ref, vec(self).size() - 1).get()) < 0)
               throw_pending();
             return Object::none();
           }},
          {"extend", through("extend")},
          {"insert", through("insert")},
          {"pop", [](PyObject* args, PyObject* kwargs) {
             PyObject* self = PyTuple_GET_ITEM(args, 0);
             // The element leaves the list: hand out its value, not a view.
             Object copies = Convert<V>::to(vec(self));
             Object r = detail::call_base(&PyList_Type, "pop", copies.get(), rest_of(args).get(), kwargs);
             if (PyList_SetSlice(self, 0, PyList_GET_SIZE(self), copies.get()) < 0) throw_pending();
             store(self);
             return r;
           }},
          {"remove", through("remove")},
          {"reverse", through("reverse")},
          {"sort", through("sort")},
          {"__setitem__", through("__setitem__")},
          {"__delitem__", through("__delitem__")},
          {"__setslice__", through("__setslice__")},
          {"__delslice__", through("__delslice__")},
      });
      return type;
    }();
    return t;
  }
};

template <class M>
struct DictView {
  using K = typename M::key_type;
  using V = typename M::mapped_type;
  struct Self {
    PyDictObject dict;
    Ref<M> ref;
  };

  static Self* cast(PyObject* o) { return reinterpret_cast<Self*>(o); }
  static M& map(PyObject* o) { return *cast(o)->ref; }

  static Object value(const Ref<M>& r, const K& k) {
    return Convert<V>::view(Ref<V>{r.keep,
                                   [r, k] {
                                     M& m = *r;
                                     auto it = m.find(k);
                                     if (it == m.end()) {
                                       PyErr_SetObject(PyExc_KeyError, Convert<K>::to(k).get());
                                       throw_pending();
                                     }
                                     return &it->second;
                                   },
                                   nullptr});
  }
  static void put(PyObject* o, const K& k) {
    if (PyDict_SetItem(o, Convert<K>::to(k).get(), value(cast(o)->ref, k).get()) < 0)
      throw_pending();
  }

  static Object make(const Ref<M>& r) {
    Object no_args = Object::steal(PyTuple_New(0));
    PyObject* o = PyDict_Type.tp_new(type(), no_args.get(), nullptr);
    if (!o) throw_pending();
    new (&cast(o)->ref) Ref<M>(r);
    Object view = Object::steal(o);
    for (const auto& kv : *r) put(o, kv.first);
    return view;
  }

  static void dealloc(PyObject* o) {
    cast(o)->ref.~Ref<M>();
    PyDict_Type.tp_dealloc(o);
  }

  static void set(PyObject* o, PyObject* key, PyObject* v) {
    K k = Convert<K>::from(key);
    map(o).insert_or_assign(k, Convert<V>::from(v));
    detail::edited();
    put(o, k);
  }
  static void del(PyObject* o, PyObject* key) {
    if (PyDict_DelItem(o, key) < 0) throw_pending();
    map(o).erase(Convert<K>::from(key));
    detail::edited();
  }
  static int ass_subscript(PyObject* o, PyObject* key, PyObject* v) {
    return guarded_status([&] { v ? set(o, key, v) : del(o, key); });
  }

  static PyTypeObject* type() {
    static PyTypeObject* t = [] {
      static PyMappingMethods mapping = *PyDict_Type.tp_as_mapping;
      mapping.mp_ass_subscript = ass_subscript;
      PyTypeObject* type = detail::view_type("norvask.dict", sizeof(Self), &PyDict_Type, dealloc,
                                             &mapping, nullptr);
      add_methods(type, {
          {"__setitem__", [](PyObject* args, PyObject*) {
             Args a("__setitem__", rest_of(args).get(), nullptr, {"key", "value"}, 2);
             set(PyTuple_GET_ITEM(args, 0), a[0], a[1]);
             return Object::none();
           }},
          {"__delitem__", [](PyObject* args, PyObject*) {
             Args a("__delitem__", rest_of(args).get(), nullptr, {"key"}, 1);
             del(PyTuple_GET_ITEM(args, 0), a[0]);
             return Object::none();
           }},
          {"update", [](PyObject* args, PyObject* kwargs) {
             PyObject* self = PyTuple_GET_ITEM(args, 0);
             Object more = Object::steal(PyDict_New());
             detail::call_base(&PyDict_Type, "update", more.get(), rest_of(args).get(), kwargs);
             PyObject *k, *v;
             Py_ssize_t pos = 0;
             while (PyDict_Next(more.get(), &pos, &k, &v)) set(self, k, v);
             return Object::none();
           }},
          {"setdefault", [](PyObject* args, PyObject*) {
             Args a("setdefault", rest_of(args).get(), nullptr, {"key", "default"}, 1);
             PyObject* self = PyTuple_GET_ITEM(args, 0);
             if (!PyDict_GetItem(self, a[0])) set(self, a[0], a[1] ? a[1] : Py_None);
             PyObject* v = PyDict_GetItem(self, a[0]);
             return Object::borrow(v);
           }},
          {"pop", [](PyObject* args, PyObject*) {
             Args a("pop", rest_of(args).get(), nullptr, {"key", "default"}, 1);
             PyObject* self = PyTuple_GET_ITEM(args, 0);
             if (!PyDict_GetItem(self, a[0])) {
               if (a[1]) return Object::borrow(a[1]);
               PyErr_SetObject(PyExc_KeyError, a[0]);
               throw_pending();
             }
             // The value leaves the mapping: hand out a copy, not a view.
             K k = Convert<K>::from(a[0]);
             Object out = Convert<V>::to(map(self).at(k));
             del(self, a[0]);
             return out;
           }},
          {"popitem", [](PyObject* args, PyObject*) {
             PyObject* self = PyTuple_GET_ITEM(args, 0);
             PyObject *k, *v;
             Py_ssize_t pos = 0;
             if (!PyDict_Next(self, &pos, &k, &v))
               raise(PyExc_KeyError, "popitem(): dictionary is empty");
             Object key = Object::borrow(k);
             Object out = Convert<V>::to(map(self).at(Convert<K>::from(k)));
             del(self, key.get());
             return Object::tuple_of(key, out);
           }},
          {"clear", [](PyObject* args, PyObject*) {
             PyObject* self = PyTuple_GET_ITEM(args, 0);
             map(self).clear();
             PyDict_Clear(self);
             detail::edited();
             return Object::none();
           }},
      });
      return type;
    }();
    return t;
  }
};

template <class V>
Object list_view(const Ref<V>& r) {
  return ListView<V>::make(r);
}
template <class M>
Object dict_view(const Ref<M>& r) {
  return DictView<M>::make(r);
}
template <class V>
std::shared_ptr<V> shared_list(PyObject* o) {
  if (!o || !PyObject_TypeCheck(o, ListView<V>::type())) return nullptr;
  return ListView<V>::cast(o)->ref.shared;
}
template <class M>
std::shared_ptr<M> shared_dict(PyObject* o) {
  if (!o || !PyObject_TypeCheck(o, DictView<M>::type())) return nullptr;
  return DictView<M>::cast(o)->ref.shared;
}

}  // namespace py
