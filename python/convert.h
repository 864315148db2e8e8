// Conversions between C++ values and interpreter objects.
//
// Convert<T>::to(v) makes a new object from a value; Convert<T>::from(o)
// reads one back (TypeError when it does not fit); Convert<T>::view(owner, v)
// is like to() but an exported record inside it is handed out as a view that
// shares the record with its owner rather than a copy.
#pragma once

#include <Python.h>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "python/object.h"

namespace py {

using Owner = std::shared_ptr<const void>;

// The type object of an exported C++ class, set by export_class<T>.
template <class T>
struct ClassInfo {
  static inline PyTypeObject* type = nullptr;
};

struct InstanceHead {
  PyObject_HEAD
  PyObject* dict;
  PyObject* weaklist;
};

template <class T>
struct Instance : InstanceHead {
  std::shared_ptr<T> value;
};

template <class T>
Object wrap(std::shared_ptr<T> value) {
  PyTypeObject* type = ClassInfo<T>::type;
  if (!type) raise(PyExc_SystemError, "class not exported");
  PyObject* o = type->tp_alloc(type, 0);
  if (!o) throw_pending();
  auto* inst = static_cast<Instance<T>*>(reinterpret_cast<InstanceHead*>(o));
  inst->value = std::move(value);
  return Object::steal(o);
}

template <class T>
bool is_instance(PyObject* o) {
  return ClassInfo<T>::type && PyObject_TypeCheck(o, ClassInfo<T>::type);
}

// The C++ value behind an instance; TypeError for anything else.
template <class T>
const std::shared_ptr<T>& unwrap(PyObject* o) {
  if (!is_instance<T>(o)) {
    std::string want = ClassInfo<T>::type ? ClassInfo<T>::type->tp_name : "object";
    raise(PyExc_TypeError, "expected " + want + ", not " + Py_TYPE(o)->tp_name);
  }
  auto* inst = static_cast<Instance<T>*>(reinterpret_cast<InstanceHead*>(o));
  if (!inst->value) raise(PyExc_TypeError, std::string(Py_TYPE(o)->tp_name) + " is not initialised");
  return inst->value;
}

// Exported records (the primary template).
template <class T, class Enable = void>
struct Convert {
  static Object to(const T& v) { return wrap(std::make_shared<T>(v)); }
  static Object view(const Owner& owner, const T& v) {
    // Shares the record: changes through the view reach the owner's copy.
    return wrap(std::shared_ptr<T>(owner, const_cast<T*>(&v)));
  }
  static T from(PyObject* o) { return *unwrap<T>(o); }
};

template <class T>
struct Scalar {
  static Object view(const Owner&, const T& v) { return Convert<T>::to(v); }
};

template <>
struct Convert<Object> {
  static Object to(const Object& v) { return v ? v : Object::none(); }
  static Object view(const Owner&, const Object& v) { return to(v); }
  static Object from(PyObject* o) { return Object::borrow(o); }
};

template <class T>
struct Convert<T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>>>
    : Scalar<T> {
  static Object to(T v) { return integer(static_cast<long>(v)); }
  static T from(PyObject* o) { return static_cast<T>(to_long(o)); }
};

template <>
struct Convert<bool> : Scalar<bool> {
  static Object to(bool v) { return boolean(v); }
  static bool from(PyObject* o) { return truth(o); }
};

template <>
struct Convert<std::string> : Scalar<std::string> {
  static Object to(const std::string& v) { return str(v); }
  static std::string from(PyObject* o) { return to_string(o); }
};

template <class T>
struct Convert<std::optional<T>> {
  static Object to(const std::optional<T>& v) { return v ? Convert<T>::to(*v) : Object::none(); }
  static Object view(const Owner& owner, const std::optional<T>& v) {
    return v ? Convert<T>::view(owner, *v) : Object::none();
  }
  static std::optional<T> from(PyObject* o) {
    if (o == Py_None) return std::nullopt;
    return Convert<T>::from(o);
  }
};

template <class T>
struct Convert<std::shared_ptr<T>> {
  static Object to(const std::shared_ptr<T>& v) { return v ? Convert<T>::view(v, *v) : Object::none(); }
  static Object view(const Owner&, const std::shared_ptr<T>& v) { return to(v); }
  static std::shared_ptr<T> from(PyObject* o) {
    if (o == Py_None) return nullptr;
    return std::make_shared<T>(Convert<T>::from(o));
  }
};

template <class A, class B>
struct Convert<std::pair<A, B>> {
  static Object to(const std::pair<A, B>& v) {
    return Object::tuple_of(Convert<A>::to(v.first), Convert<B>::to(v.second));
  }
  static Object view(const Owner& owner, const std::pair<A, B>& v) {
    return Object::tuple_of(Convert<A>::view(owner, v.first), Convert<B>::view(owner, v.second));
  }
  static std::pair<A, B> from(PyObject* o) {
    Object seq = Object::steal(PySequence_Fast(o, "expected a pair"));
    if (PySequence_Fast_GET_SIZE(seq.get()) != 2) raise(PyExc_TypeError, "expected a pair");
    return {Convert<A>::from(PySequence_Fast_GET_ITEM(seq.get(), 0)),
            Convert<B>::from(PySequence_Fast_GET_ITEM(seq.get(), 1))};
  }
};

// Calls f(item) for every item of an iterable.
template <class F>
void for_each_item(PyObject* o, F&& f) {
  Object it = Object::steal(PyObject_GetIter(o));
  while (PyObject* item = PyIter_Next(it.get())) {
    Object hold = Object::steal(item);
    f(item);
  }
  if (PyErr_Occurred()) throw_pending();
}

template <class T>
struct Convert<std::vector<T>> {
  static Object view(const Owner& owner, const std::vector<T>& v) {
    Object list = Object::steal(PyList_New(static_cast<Py_ssize_t>(v.size())));
    for (size_t i = 0; i < v.size(); ++i)
      PyList_SET_ITEM(list.get(), i, Convert<T>::view(owner, v[i]).release());
    return list;
  }
  static Object to(const std::vector<T>& v) {
    Object list = Object::steal(PyList_New(static_cast<Py_ssize_t>(v.size())));
    for (size_t i = 0; i < v.size(); ++i)
      PyList_SET_ITEM(list.get(), i, Convert<T>::to(v[i]).release());
    return list;
  }
  static std::vector<T> from(PyObject* o) {
    std::vector<T> out;
    for_each_item(o, [&](PyObject* item) { out.push_back(Convert<T>::from(item)); });
    return out;
  }
};

template <class T>
struct Convert<std::set<T>> {
  static Object to(const std::set<T>& v) {
    Object s = Object::steal(PySet_New(nullptr));
    for (const T& x : v)
      if (PySet_Add(s.get(), Convert<T>::to(x).get()) < 0) throw_pending();
    return s;
  }
  static Object view(const Owner&, const std::set<T>& v) { return to(v); }
  static std::set<T> from(PyObject* o) {
    std::set<T> out;
    for_each_item(o, [&](PyObject* item) { out.insert(Convert<T>::from(item)); });
    return out;
  }
};

template <class M>
struct MapConvert {
  using K = typename M::key_type;
  using V = typename M::mapped_type;
  static Object view(const Owner& owner, const M& m) {
    Object d = Object::steal(PyDict_New());
    for (const auto& [k, v] : m)
      if (PyDict_SetItem(d.get(), Convert<K>::to(k).get(), Convert<V>::view(owner, v).get()) < 0)
        throw_pending();
    return d;
  }
  static Object to(const M& m) {
    Object d = Object::steal(PyDict_New());
    for (const auto& [k, v] : m)
      if (PyDict_SetItem(d.get(), Convert<K>::to(k).get(), Convert<V>::to(v).get()) < 0)
        throw_pending();
    return d;
  }
  static M from(PyObject* o) {
    M out;
    Object items = Object::steal(PyMapping_Items(o));
    for_each_item(items.get(), [&](PyObject* kv) {
      auto key = Convert<K>::from(PyTuple_GetItem(kv, 0));
      out.insert_or_assign(std::move(key), Convert<V>::from(PyTuple_GetItem(kv, 1)));
    });
    return out;
  }
};

template <class K, class V, class C, class A>
struct Convert<std::map<K, V, C, A>> : MapConvert<std::map<K, V, C, A>> {};
template <class K, class V, class H, class E, class A>
struct Convert<std::unordered_map<K, V, H, E, A>>
    : MapConvert<std::unordered_map<K, V, H, E, A>> {};

}  // namespace py
