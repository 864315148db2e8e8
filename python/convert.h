// Conversions between C++ values and interpreter objects.
//
// Convert<T>::to(v) makes an object from a value; Convert<T>::from(o)
// reads one back (TypeError when it does not fit).  An exported record
// read back is the record inside the host's object itself; the checker's
// lists, mappings and sets convert in python/containers.h.
#pragma once

#include <Python.h>

#include <cstddef>
#include <functional>
#include <new>
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

#include "common/containers.h"
#include "common/text.h"
#include "common/value.h"
#include "python/object.h"

namespace py {

// The head of every instance of an exported class: the instance
// dictionary for attributes the host adds, weak references, and whether
// the C++ value has been made.
struct InstanceHead {
  PyObject_HEAD
  PyObject* dict;
  PyObject* weaklist;
  bool ready;
};

template <class T>
struct ClassInfo {
  static inline PyTypeObject* type = nullptr;
  // What the value holds of the interpreter's objects, for the cycle
  // collector: each declared member that can hold one visits it, and
  // drops it on a clear.
  static inline std::vector<std::function<int(T&, visitproc, void*)>> visit;
  static inline std::vector<std::function<void(T&)>> clear;
};

// The value lives in the instance itself.
template <class T>
struct Instance : InstanceHead {
  alignas(T) unsigned char storage[sizeof(T)];
  T& value() { return *std::launder(reinterpret_cast<T*>(storage)); }
};

template <class T>
Instance<T>* instance_cast(PyObject* o) {
  return static_cast<Instance<T>*>(reinterpret_cast<InstanceHead*>(o));
}

template <class T>
bool is_instance(PyObject* o) {
  return ClassInfo<T>::type && PyObject_TypeCheck(o, ClassInfo<T>::type);
}

// The C++ value behind an instance; TypeError for anything else.
template <class T>
T& unwrap(PyObject* o) {
  if (!is_instance<T>(o)) {
    std::string want = ClassInfo<T>::type ? ClassInfo<T>::type->tp_name : "object";
    raise(PyExc_TypeError, "expected " + want + ", not " + Py_TYPE(o)->tp_name);
  }
  Instance<T>* inst = instance_cast<T>(o);
  if (!inst->ready) raise(PyExc_TypeError, std::string(Py_TYPE(o)->tp_name) + " is not initialised");
  return inst->value();
}

// The instance whose value a record is: records are laid out inside the
// memory of their object (see nv::RecordHooks and Class), made or not.
template <class T>
Instance<T>* instance_of_record(T* p) {
  return reinterpret_cast<Instance<T>*>(reinterpret_cast<char*>(p) -
                                        offsetof(Instance<T>, storage));
}

namespace detail {
// Whether the value holds any of the interpreter's objects, by its
// declared members.
template <class T>
bool holds_objects(T& value) {
  bool holds = false;
  visitproc flag = [](PyObject*, void* arg) {
    *static_cast<bool*>(arg) = true;
    return 1;
  };
  for (auto& f : ClassInfo<T>::visit)
    if (f(value, flag, &holds)) break;
  return holds;
}
}  // namespace detail

// The host's object of a record the core holds, made in place the first
// time: the core's hold on the record becomes the object's first reference.
// Borrowed.
template <class T>
PyObject* record_object(T* p) {
  Instance<T>* inst = instance_of_record(p);
  PyObject* o = reinterpret_cast<PyObject*>(inst);
  if (!Py_TYPE(o)) {
    PyObject_INIT(o, ClassInfo<T>::type);
    inst->ready = true;
    // It stays out of the cycle collector until it holds an object.
    if (detail::holds_objects(inst->value())) PyObject_GC_Track(o);
  }
  return o;
}

// A new instance that holds v.
template <class T>
Object adopt(T&& v) {
  PyTypeObject* type = ClassInfo<T>::type;
  if (!type) raise(PyExc_SystemError, "class not exported");
  PyObject* o = type->tp_alloc(type, 0);
  if (!o) throw_pending();
  Object held = Object::steal(o);
  Instance<T>* inst = instance_cast<T>(o);
  new (inst->storage) T(std::move(v));
  inst->ready = true;
  // A record that holds none of the interpreter's objects stays out of the
  // cycle collector until it does (see detail::track).
  if (!detail::holds_objects(inst->value())) PyObject_GC_UnTrack(o);
  return held;
}

// Exported records (the primary template): an argument is the record
// itself, and so is a result, which the core gives by reference to a record
// it holds.
template <class T, class Enable = void>
struct Convert {
  static Object to(const T& v) {
    static_assert(nv::is_returned_v<T>, "a record given to the host by a method must be a ReturnedRecord");
    return Object::borrow(record_object(const_cast<T*>(&v)));
  }
  static T& from(PyObject* o) { return unwrap<T>(o); }
};
// A record the core may not have: None for none.
template <class T>
struct Convert<T*, std::enable_if_t<nv::is_record_v<T>>> {
  using R = std::remove_const_t<T>;
  static Object to(const T* v) { return v ? Convert<R>::to(*v) : Object::none(); }
};

template <>
struct Convert<Object> {
  static Object to(const Object& v) { return v ? v : Object::none(); }
  static Object from(PyObject* o) { return Object::borrow(o); }
};

template <class T>
struct Convert<T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>>>
    {
  static Object to(T v) { return integer(static_cast<long>(v)); }
  static T from(PyObject* o) { return static_cast<T>(to_long(o)); }
};

template <>
struct Convert<bool> {
  static Object to(bool v) { return boolean(v); }
  static bool from(PyObject* o) { return truth(o); }
};

template <>
struct Convert<std::string> {
  static Object to(const std::string& v) { return str(v); }
  static std::string from(PyObject* o) { return to_string(o); }
};

template <>
struct Convert<nv::SharedText> {
  static Object to(const nv::SharedText& v) { return str(v.str()); }
  static nv::SharedText from(PyObject* o) { return to_string(o); }
};

// A text argument read as a view: of the host's own text where it is a
// plain one (the call's arguments hold it until the call returns), or of
// the text it was made into.
class TextArg {
 public:
  explicit TextArg(PyObject* o) {
    if (PyString_CheckExact(o)) {
      view_ = std::string_view(PyString_AS_STRING(o), static_cast<size_t>(PyString_GET_SIZE(o)));
    } else {
      made_ = to_string(o);
      owns_ = true;
    }
  }
  operator std::string_view() const { return owns_ ? std::string_view(made_) : view_; }

 private:
  std::string_view view_;
  std::string made_;
  bool owns_ = false;
};
template <>
struct Convert<std::string_view> {
  static TextArg from(PyObject* o) { return TextArg(o); }
};

// Any object, as the checker compares it; the object itself is kept and
// given back unchanged.
template <>
struct Convert<nv::Value> {
  static Object to(const nv::Value& v);
  static nv::Value from(PyObject* o);
  static nv::Value missing() { return nv::Value(); }  // an argument left out is None
};

// The host's object behind a Value, or null (borrowed).
PyObject* held_object(const nv::Value& v);
// A Value that stands for o without holding a reference to it.
nv::Value borrowed_value(PyObject* o);

template <class... A>
struct Convert<std::tuple<A...>> {
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
decltype(auto) argument(PyObject* o) {
  if constexpr (HasMissing<T>::value) {
    if (!o) return Convert<T>::missing();
  }
  return Convert<T>::from(o);
}

// A result that the host reads as a tuple.
template <class T>
struct Convert<T, std::void_t<decltype(std::declval<const T&>().as_tuple())>> {
  static Object to(const T& v) { return Convert<decltype(v.as_tuple())>::to(v.as_tuple()); }
};

// A container the core found in one of its own, given as that container.
template <class C>
struct Convert<nv::ContainerSlot<C>> {
  static Object to(const nv::ContainerSlot<C>& s) {
    return Convert<C>::to(const_cast<nv::ContainerSlot<C>&>(s).get());
  }
};

template <class A, class B>
struct Convert<std::pair<A, B>> {
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
  // A list or tuple itself is read by position, as its own iterator reads
  // it (a list's length is read at every step).
  if (PyList_CheckExact(o)) {
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(o); ++i) {
      Object hold = Object::borrow(PyList_GET_ITEM(o, i));
      f(hold.get());
    }
    return;
  }
  if (PyTuple_CheckExact(o)) {
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(o); ++i) f(PyTuple_GET_ITEM(o, i));
    return;
  }
  Object it = Object::steal(PyObject_GetIter(o));
  while (PyObject* item = PyIter_Next(it.get())) {
    Object hold = Object::steal(item);
    f(item);
  }
  if (PyErr_Occurred()) throw_pending();
}

template <class T>
struct Convert<std::set<T>> {
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

template <class T>
struct Convert<std::vector<T>> {
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

// Holds the host's object and walks it when the core walks it.
template <class T>
struct Convert<nv::Iterable<T>> {
  static nv::Iterable<T> from(PyObject* o) {
    Object held = Object::borrow(o);
    return nv::Iterable<T>(
        [held](const typename nv::Iterable<T>::Each& f) {
          for_each_item(held.get(), [&](PyObject* item) { f(Convert<T>::from(item)); });
        },
        [held](std::vector<T>& out) {
          if (PyList_CheckExact(held.get())) out.reserve(static_cast<size_t>(PyList_GET_SIZE(held.get())));
          for_each_item(held.get(), [&](PyObject* item) { out.push_back(Convert<T>::from(item)); });
        });
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
};
template <class K, class V, class C, class A>
struct Convert<std::map<K, V, C, A>> : MapConvert<std::map<K, V, C, A>> {};
template <class K, class V, class H, class E, class A>
struct Convert<std::unordered_map<K, V, H, E, A>>
    : MapConvert<std::unordered_map<K, V, H, E, A>> {};

}  // namespace py
