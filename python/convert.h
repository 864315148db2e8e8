// Conversions between C++ values and interpreter objects.
//
// Convert<T>::to(v) makes a new object from a value; Convert<T>::from(o)
// reads one back (TypeError when it does not fit); Convert<T>::view(ref)
// gives an object that stands for the value in its place: a record or a
// container seen that way is the C++ one itself, so that changes made
// through it reach its owner, as they would on the interpreter's own objects.
#pragma once

#include <Python.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/value.h"
#include "python/object.h"

namespace py {

// A place that holds a T: `keep` keeps its storage alive and `locate` finds
// it again on every use (an element of a list or mapping can move or go;
// locate raises then).  `shared` is set when the place is a shared object
// of its own.
template <class T>
struct Ref {
  std::shared_ptr<const void> keep;
  std::function<T*()> locate;
  std::shared_ptr<T> shared;

  static Ref owned(std::shared_ptr<T> p) {
    T* raw = p.get();
    return Ref{p, [raw] { return raw; }, p};
  }
  T& operator*() const { return *locate(); }
  T* operator->() const { return locate(); }
  explicit operator bool() const { return static_cast<bool>(locate); }

  template <class M, class U = T>
  Ref<M> member(M U::*m) const {
    Ref self = *this;
    return Ref<M>{keep, [self, m] { return &((*self).*m); }, nullptr};
  }
};

// The type object of an exported C++ class, set by py::Class<T>.
struct InstanceHead {
  PyObject_HEAD
  PyObject* dict;
  PyObject* weaklist;
  PyObject* given;  // objects the host handed in and expects back (a dict, or null)
};

template <class T>
struct ClassInfo {
  static inline PyTypeObject* type = nullptr;
  // Brings the value up to date with what the host handed in, before use.
  static inline std::vector<void (*)(PyObject* self, T& value)> sync;
};

// The object stored under `name` for an instance, or null (borrowed).
PyObject* given_object(PyObject* self, const char* name);
// Keeps `value` for the instance under `name`; null forgets it.
void keep_given(PyObject* self, const char* name, PyObject* value);

template <class T>
struct Instance : InstanceHead {
  Ref<T> ref;
};

template <class T>
Instance<T>* instance_cast(PyObject* o) {
  return static_cast<Instance<T>*>(reinterpret_cast<InstanceHead*>(o));
}

template <class T>
Object wrap(Ref<T> ref) {
  PyTypeObject* type = ClassInfo<T>::type;
  if (!type) raise(PyExc_SystemError, "class not exported");
  PyObject* o = type->tp_alloc(type, 0);
  if (!o) throw_pending();
  instance_cast<T>(o)->ref = std::move(ref);
  return Object::steal(o);
}

template <class T>
bool is_instance(PyObject* o) {
  return ClassInfo<T>::type && PyObject_TypeCheck(o, ClassInfo<T>::type);
}

template <class T>
const Ref<T>& ref_of(PyObject* o) {
  if (!is_instance<T>(o)) {
    std::string want = ClassInfo<T>::type ? ClassInfo<T>::type->tp_name : "object";
    raise(PyExc_TypeError, "expected " + want + ", not " + Py_TYPE(o)->tp_name);
  }
  const Ref<T>& ref = instance_cast<T>(o)->ref;
  if (!ref) raise(PyExc_TypeError, std::string(Py_TYPE(o)->tp_name) + " is not initialised");
  return ref;
}

// The C++ value behind an instance; TypeError for anything else.
template <class T>
T& unwrap(PyObject* o) {
  T& value = *ref_of<T>(o);
  for (auto* step : ClassInfo<T>::sync) step(o, value);
  return value;
}

template <class T>
std::shared_ptr<T> shared_of(PyObject* o) {
  const Ref<T>& r = ref_of<T>(o);
  if (r.shared) return r.shared;
  return std::shared_ptr<T>(r.keep, const_cast<T*>(&*r));
}

// Exported records (the primary template).
template <class T, class Enable = void>
struct Convert {
  static Object to(const T& v) { return wrap(Ref<T>::owned(std::make_shared<T>(v))); }
  static Object view(const Ref<T>& r) { return wrap(r); }
  static T from(PyObject* o) { return unwrap<T>(o); }
};

template <class T>
struct Scalar {
  static Object view(const Ref<T>& r) { return Convert<T>::to(*r); }
};

template <>
struct Convert<Object> : Scalar<Object> {
  static Object to(const Object& v) { return v ? v : Object::none(); }
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

// A text argument read as a view: the text is held for the call.
template <>
struct Convert<std::string_view> {
  static std::string from(PyObject* o) { return to_string(o); }
};

// Any object, as the checker compares it; the object itself is kept and
// given back unchanged.
template <>
struct Convert<nv::Value> : Scalar<nv::Value> {
  static Object to(const nv::Value& v);
  static nv::Value from(PyObject* o);
  static nv::Value missing() { return nv::Value(); }  // an argument left out is None
};

template <class... A>
struct Convert<std::tuple<A...>> : Scalar<std::tuple<A...>> {
  static Object to(const std::tuple<A...>& v) {
    return std::apply([](const A&... x) { return Object::tuple_of(Convert<A>::to(x)...); }, v);
  }
};

// An argument the host may leave out or give as anything false.
template <class T>
struct Convert<nv::WhenTrue<T>> {
  static nv::WhenTrue<T> from(PyObject* o) {
    if (!truth(o)) return nv::WhenTrue<T>();
    return nv::WhenTrue<T>(Convert<T>::from(o));
  }
  static nv::WhenTrue<T> missing() { return nv::WhenTrue<T>(); }
};

template <class T>
struct Convert<std::optional<T>> {
  static Object to(const std::optional<T>& v) { return v ? Convert<T>::to(*v) : Object::none(); }
  static Object view(const Ref<std::optional<T>>& r) {
    if (!*r) return Object::none();
    return Convert<T>::view(Ref<T>{r.keep, [r] { return &**r; }, nullptr});
  }
  static std::optional<T> from(PyObject* o) {
    if (o == Py_None) return std::nullopt;
    return Convert<T>::from(o);
  }
  static std::optional<T> missing() { return std::nullopt; }
};

template <class T, class = void>
struct HasMissing : std::false_type {};
template <class T>
struct HasMissing<T, std::void_t<decltype(Convert<T>::missing())>> : std::true_type {};

// An argument of a declared method: a type that can stand for a left-out
// argument says what that is; for any other, a left-out one cannot reach
// here (it is required).
template <class T>
auto argument(PyObject* o) {
  if constexpr (HasMissing<T>::value) {
    if (!o) return Convert<T>::missing();
  }
  return Convert<T>::from(o);
}

template <class T>
struct Convert<std::shared_ptr<T>> {
  static Object to(const std::shared_ptr<T>& v) {
    return v ? Convert<T>::view(Ref<T>::owned(v)) : Object::none();
  }
  // The object the pointer holds at this moment, shared.
  static Object view(const Ref<std::shared_ptr<T>>& r) { return to(*r); }
  static std::shared_ptr<T> from(PyObject* o);
  static std::shared_ptr<T> missing() { return nullptr; }
};

template <class A, class B>
struct Convert<std::pair<A, B>> : Scalar<std::pair<A, B>> {
  static Object to(const std::pair<A, B>& v) {
    return Object::tuple_of(Convert<A>::to(v.first), Convert<B>::to(v.second));
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
struct Convert<std::set<T>> : Scalar<std::set<T>> {
  static Object to(const std::set<T>& v) {
    Object s = Object::steal(PySet_New(nullptr));
    for (const T& x : v)
      if (PySet_Add(s.get(), Convert<T>::to(x).get()) < 0) throw_pending();
    return s;
  }
  static std::set<T> from(PyObject* o) {
    std::set<T> out;
    for_each_item(o, [&](PyObject* item) { out.insert(Convert<T>::from(item)); });
    return out;
  }
};

// Live views of lists and mappings; defined in python/containers.h.
template <class V>
Object list_view(const Ref<V>& r);
template <class M>
Object dict_view(const Ref<M>& r);
template <class V>
std::shared_ptr<V> shared_list(PyObject* o);
template <class M>
std::shared_ptr<M> shared_dict(PyObject* o);

template <class T>
struct Convert<std::vector<T>> {
  static Object to(const std::vector<T>& v) {
    Object list = Object::steal(PyList_New(static_cast<Py_ssize_t>(v.size())));
    for (size_t i = 0; i < v.size(); ++i)
      PyList_SET_ITEM(list.get(), i, Convert<T>::to(v[i]).release());
    return list;
  }
  static Object view(const Ref<std::vector<T>>& r) { return list_view(r); }
  static std::vector<T> from(PyObject* o) {
    std::vector<T> out;
    for_each_item(o, [&](PyObject* item) { out.push_back(Convert<T>::from(item)); });
    return out;
  }
  // The list itself when o is a view of a shared list, else a new one.
  static std::shared_ptr<std::vector<T>> share(PyObject* o) {
    if (auto p = shared_list<std::vector<T>>(o)) return p;
    return std::make_shared<std::vector<T>>(from(o));
  }
};

template <class M>
struct MapConvert {
  using K = typename M::key_type;
  using V = typename M::mapped_type;
  static Object to(const M& m) {
    Object d = Object::steal(PyDict_New());
    for (const auto& [k, v] : m)
      if (PyDict_SetItem(d.get(), Convert<K>::to(k).get(), Convert<V>::to(v).get()) < 0)
        throw_pending();
    return d;
  }
  static Object view(const Ref<M>& r) { return dict_view(r); }
  static M from(PyObject* o) {
    M out;
    Object items = Object::steal(PyMapping_Items(o));
    for_each_item(items.get(), [&](PyObject* kv) {
      auto key = Convert<K>::from(PyTuple_GetItem(kv, 0));
      out.insert_or_assign(std::move(key), Convert<V>::from(PyTuple_GetItem(kv, 1)));
    });
    return out;
  }
  static std::shared_ptr<M> share(PyObject* o) {
    if (auto p = shared_dict<M>(o)) return p;
    return std::make_shared<M>(from(o));
  }
};

template <class K, class V, class C, class A>
struct Convert<std::map<K, V, C, A>> : MapConvert<std::map<K, V, C, A>> {};
template <class K, class V, class H, class E, class A>
struct Convert<std::unordered_map<K, V, H, E, A>>
    : MapConvert<std::unordered_map<K, V, H, E, A>> {};

template <class T, class = void>
struct CanShare : std::false_type {};
template <class T>
struct CanShare<T, std::void_t<decltype(Convert<T>::share(nullptr))>> : std::true_type {};

// The container behind a view of a shared one, else a new copy.
template <class T>
std::shared_ptr<T> share(PyObject* o) {
  if constexpr (CanShare<T>::value)
    return Convert<T>::share(o);
  else
    return std::make_shared<T>(Convert<T>::from(o));
}

// Whether o is a view of a container the checker already shares (so that
// sharing it needs no copy of the host's object to be kept).
template <class C>
bool is_shared_view(PyObject* o) {
  if constexpr (CanShare<C>::value) {
    if constexpr (std::is_same_v<C, std::vector<typename C::value_type>>)
      return shared_list<C>(o) != nullptr;
    else
      return shared_dict<C>(o) != nullptr;
  }
  return false;
}

template <class T>
std::shared_ptr<T> Convert<std::shared_ptr<T>>::from(PyObject* o) {
  if (o == Py_None) return nullptr;
  return share<T>(o);
}

}  // namespace py
