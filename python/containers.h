// The checker's lists, mappings and sets as the host's own list, dict and
// set objects.  The first time the host reaches a container that the core
// built, the container becomes one of the interpreter's objects: each
// record in it moves into an instance of its class, and from then on the
// object is the container's only storage, which the core reads and writes
// through the hosts below.  A container the host hands over is kept as
// that very object.
#pragma once

#include <Python.h>

#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/containers.h"
#include "common/value.h"
#include "python/convert.h"
#include "python/errors.h"

namespace py {

template <class T>
PyObject* host_object(nv::List<T>& l);
template <class K, class V>
PyObject* host_object(nv::Dict<K, V>& d);
template <class T>
PyObject* host_object(nv::Set<T>& s);
template <class C>
struct Container;

// One element: records are the instance's value; anything else converts.
template <class T>
struct Element {
  static_assert(!nv::is_container_v<T>, "lists hold records and values only");
  static nv::Get<T> get(PyObject* o) {
    if constexpr (nv::is_record_v<T>) return unwrap<T>(o);
    else return Convert<T>::from(o);
  }
  static Object make(T&& v) {
    if constexpr (nv::is_record_v<T>) return adopt(std::move(v));
    else return Convert<T>::to(v);
  }
  // The object of an element the core held, which the host's container
  // takes over (a new reference).
  static PyObject* take(nv::Stored<T>& s) {
    if constexpr (nv::is_returned_v<T>) return record_object(s.release());
    else if constexpr (nv::is_record_v<T>) return adopt(std::move(s)).release();
    else return Convert<T>::to(s).release();
  }
};

template <class T>
class HostList final : public nv::ListHost<T> {
 public:
  explicit HostList(Object list) : list_(std::move(list)) {}
  PyObject* object() const { return list_.get(); }

  size_t size() const override { return static_cast<size_t>(PyList_GET_SIZE(list_.get())); }
  nv::Get<T> at(size_t i) const override {
    if (i >= size()) raise(PyExc_IndexError, "list index out of range");
    return Element<T>::get(PyList_GET_ITEM(list_.get(), i));
  }
  nv::Get<T> append(T&& v) override {
    Object o = Element<T>::make(std::move(v));
    if (PyList_Append(list_.get(), o.get()) < 0) throw_pending();
    return Element<T>::get(o.get());
  }
  void set(size_t i, T&& v) override {
    Object o = Element<T>::make(std::move(v));
    if (PyList_SetItem(list_.get(), static_cast<Py_ssize_t>(i), o.release()) < 0) throw_pending();
  }
  void clear() override {
    if (PyList_SetSlice(list_.get(), 0, PyList_GET_SIZE(list_.get()), nullptr) < 0)
      throw_pending();
  }

 private:
  Object list_;
};

template <class K, class V>
class HostDict final : public nv::DictHost<K, V> {
 public:
  explicit HostDict(Object dict) : dict_(std::move(dict)) {}
  PyObject* object() const { return dict_.get(); }

  size_t size() const override { return static_cast<size_t>(PyDict_Size(dict_.get())); }
  bool find(const K& key, nv::SlotOf<V>& out) const override {
    Object k = Convert<K>::to(key);
    PyObject* v = PyDict_GetItem(dict_.get(), k.get());
    if (!v) return false;
    fill(v, out);
    return true;
  }
  bool next(size_t& pos, std::optional<K>& key, nv::SlotOf<V>& value) const override {
    Py_ssize_t p = static_cast<Py_ssize_t>(pos);
    PyObject *k, *v;
    if (!PyDict_Next(dict_.get(), &p, &k, &v)) return false;
    pos = static_cast<size_t>(p);
    Object hold_k = Object::borrow(k), hold_v = Object::borrow(v);
    key = Convert<K>::from(k);
    fill(v, value);
    return true;
  }
  nv::Get<V> put(const K& key, V&& value) override {
    Object k = Convert<K>::to(key);
    Object v = make(std::move(value));
    if (PyDict_SetItem(dict_.get(), k.get(), v.get()) < 0) throw_pending();
    if constexpr (nv::is_container_v<V>) {
      last_ = Container<V>::of(v.get(), "value");
      return *last_;
    } else {
      return Element<V>::get(v.get());
    }
  }
  bool erase(const K& key) override {
    Object k = Convert<K>::to(key);
    if (!PyDict_GetItem(dict_.get(), k.get())) return false;
    if (PyDict_DelItem(dict_.get(), k.get()) < 0) throw_pending();
    return true;
  }
  void clear() override { PyDict_Clear(dict_.get()); }

 private:
  static void fill(PyObject* v, nv::SlotOf<V>& out) {
    if constexpr (nv::is_record_v<V>) {
      out.value = &unwrap<V>(v);
    } else if constexpr (nv::is_container_v<V>) {
      out.own = Container<V>::of(v, "value");
    } else {
      out.value = Convert<V>::from(v);
    }
  }

 public:
  static Object make(V&& v) {
    if constexpr (nv::is_container_v<V>) return Object::borrow(host_object(v));
    else return Element<V>::make(std::move(v));
  }
  static Object take(nv::Stored<V>& v) {
    if constexpr (nv::is_container_v<V>) return Object::borrow(host_object(v));
    else return Object::steal(Element<V>::take(v));
  }

 private:
  Object dict_;
  std::optional<V> last_;  // the container put last, for containers of containers
};

template <class T>
class HostSet final : public nv::SetHost<T> {
 public:
  explicit HostSet(Object set) : set_(std::move(set)) {}
  PyObject* object() const { return set_.get(); }

  size_t size() const override { return static_cast<size_t>(PySet_Size(set_.get())); }
  bool contains(const T& v) const override {
    Object o = Convert<T>::to(v);
    int r = PySet_Contains(set_.get(), o.get());
    if (r < 0) throw_pending();
    return r == 1;
  }
  bool next(size_t& pos, std::optional<T>& v) const override {
    Py_ssize_t p = static_cast<Py_ssize_t>(pos);
    PyObject* key;
    if (!_PySet_Next(set_.get(), &p, &key)) return false;
    pos = static_cast<size_t>(p);
    Object hold = Object::borrow(key);
    v = Convert<T>::from(key);
    return true;
  }
  bool insert(const T& v) override {
    Object o = Convert<T>::to(v);
    int r = PySet_Contains(set_.get(), o.get());
    if (r < 0) throw_pending();
    if (r == 1) return false;
    if (PySet_Add(set_.get(), o.get()) < 0) throw_pending();
    return true;
  }
  bool erase(const T& v) override {
    Object o = Convert<T>::to(v);
    int r = PySet_Discard(set_.get(), o.get());
    if (r < 0) throw_pending();
    return r == 1;
  }
  void clear() override {
    if (PySet_Clear(set_.get()) < 0) throw_pending();
  }

 private:
  Object set_;
};

// The host's object of a container, made from the C++ one the first time
// (borrowed: the container keeps it).
template <class T>
PyObject* host_object(nv::List<T>& l) {
  auto& s = l.store();
  if (!s.host) {
    Object list = Object::steal(PyList_New(static_cast<Py_ssize_t>(s.items.size())));
    for (size_t i = 0; i < s.items.size(); ++i)
      PyList_SET_ITEM(list.get(), i, Element<T>::take(s.items[i]));
    decltype(s.items)().swap(s.items);
    s.host = std::make_unique<HostList<T>>(std::move(list));
  }
  return static_cast<HostList<T>&>(*s.host).object();
}

template <class K, class V>
PyObject* host_object(nv::Dict<K, V>& d) {
  auto& s = d.store();
  if (!s.host) {
    Object dict = Object::steal(_PyDict_NewPresized(static_cast<Py_ssize_t>(d.size())));
    for (auto& e : s.items) {
      if (!e.value) continue;
      Object k = Convert<K>::to(e.key);
      Object v = HostDict<K, V>::take(*e.value);
      if (PyDict_SetItem(dict.get(), k.get(), v.get()) < 0) throw_pending();
    }
    s.release();
    s.host = std::make_unique<HostDict<K, V>>(std::move(dict));
  }
  return static_cast<HostDict<K, V>&>(*s.host).object();
}

template <class T>
PyObject* host_object(nv::Set<T>& st) {
  auto& s = st.store();
  if (!s.host) {
    Object set = Object::steal(PySet_New(nullptr));
    for (auto& e : s.items)
      if (e.value && PySet_Add(set.get(), Convert<T>::to(e.key).get()) < 0) throw_pending();
    s.release();
    s.host = std::make_unique<HostSet<T>>(std::move(set));
  }
  return static_cast<HostSet<T>&>(*s.host).object();
}

// The host's object itself as a container; TypeError for an object of
// another type.

template <class T>
struct Container<nv::List<T>> {
  static nv::List<T> of(PyObject* o, const char* what) {
    if (!PyList_Check(o))
      raise(PyExc_TypeError, std::string(what) + " must be a list, not " + Py_TYPE(o)->tp_name);
    return nv::List<T>(std::make_unique<HostList<T>>(Object::borrow(o)));
  }
  static PyObject* held(const nv::List<T>& l) {
    const auto* s = l.peek();
    return s && s->host ? static_cast<const HostList<T>&>(*s->host).object() : nullptr;
  }
};

template <class K, class V>
struct Container<nv::Dict<K, V>> {
  static nv::Dict<K, V> of(PyObject* o, const char* what) {
    if (!PyDict_Check(o))
      raise(PyExc_TypeError, std::string(what) + " must be a dict, not " + Py_TYPE(o)->tp_name);
    return nv::Dict<K, V>(std::make_unique<HostDict<K, V>>(Object::borrow(o)));
  }
  static PyObject* held(const nv::Dict<K, V>& d) {
    const auto* s = d.peek();
    return s && s->host ? static_cast<const HostDict<K, V>&>(*s->host).object() : nullptr;
  }
};

template <class T>
struct Container<nv::Set<T>> {
  static nv::Set<T> of(PyObject* o, const char* what) {
    if (!PySet_Check(o) || PyFrozenSet_Check(o))
      raise(PyExc_TypeError, std::string(what) + " must be a set, not " + Py_TYPE(o)->tp_name);
    return nv::Set<T>(std::make_unique<HostSet<T>>(Object::borrow(o)));
  }
  static PyObject* held(const nv::Set<T>& s) {
    const auto* st = s.peek();
    return st && st->host ? static_cast<const HostSet<T>&>(*st->host).object() : nullptr;
  }
};

// As arguments and results: the host's object itself both ways.  A result
// that is a stored container (given by reference) becomes the host's object
// in its place.
template <class T>
struct Convert<nv::List<T>> {
  static Object to(const nv::List<T>& l) {
    return Object::borrow(host_object(const_cast<nv::List<T>&>(l)));
  }
  static nv::List<T> from(PyObject* o) { return Container<nv::List<T>>::of(o, "argument"); }
};
template <class K, class V>
struct Convert<nv::Dict<K, V>> {
  static Object to(const nv::Dict<K, V>& d) {
    return Object::borrow(host_object(const_cast<nv::Dict<K, V>&>(d)));
  }
  static nv::Dict<K, V> from(PyObject* o) { return Container<nv::Dict<K, V>>::of(o, "argument"); }
};
template <class T>
struct Convert<nv::Set<T>> {
  static Object to(const nv::Set<T>& s) {
    return Object::borrow(host_object(const_cast<nv::Set<T>&>(s)));
  }
  static nv::Set<T> from(PyObject* o) { return Container<nv::Set<T>>::of(o, "argument"); }
};

// Whether a member's type can hold the interpreter's objects.
template <class M>
struct HoldsObjects
    : std::bool_constant<nv::is_container_v<M> || std::is_same_v<M, nv::Value>> {};
template <class M>
struct HoldsObjects<std::optional<M>> : HoldsObjects<M> {};

// What a member holds of the interpreter's objects, for the cycle
// collector: visited, and dropped on a clear.
template <class M>
struct Members {
  static int visit(const M& m, visitproc visit, void* arg) {
    if constexpr (nv::is_record_v<M>) {
      for (auto& f : ClassInfo<M>::visit)
        if (int r = f(const_cast<M&>(m), visit, arg)) return r;
      return 0;
    } else if constexpr (std::is_same_v<M, nv::Value>) {
      // Only the one holder visits: a Value's copies share its object.
      if (m.origin && m.origin.use_count() == 1) Py_VISIT(held_object(m));
      return 0;
    } else {
      (void)m, (void)visit, (void)arg;
      return 0;
    }
  }
  static void clear(M& m) {
    if constexpr (nv::is_record_v<M>) {
      for (auto& f : ClassInfo<M>::clear) f(m);
    } else if constexpr (std::is_same_v<M, nv::Value>) {
      m = nv::Value();
    } else {
      (void)m;
    }
  }
};

template <class M>
struct Members<std::optional<M>> {
  static int visit(const std::optional<M>& m, visitproc v, void* arg) {
    return m ? Members<M>::visit(*m, v, arg) : 0;
  }
  static void clear(std::optional<M>& m) {
    if (m) Members<M>::clear(*m);
  }
};

// A container the core still keeps in C++ holds none of the interpreter's
// objects: the core puts none into its records, and a container inside a
// record becomes the host's only through that record's object, which makes
// its own container the host's first.  Only the host's object is visited.
template <class T>
struct Members<nv::List<T>> {
  static int visit(const nv::List<T>& l, visitproc visit, void* arg) {
    if (PyObject* o = Container<nv::List<T>>::held(l)) Py_VISIT(o);
    return 0;
  }
  static void clear(nv::List<T>& l) { l = nv::List<T>(); }
};

template <class K, class V>
struct Members<nv::Dict<K, V>> {
  static int visit(const nv::Dict<K, V>& d, visitproc visit, void* arg) {
    if (PyObject* o = Container<nv::Dict<K, V>>::held(d)) Py_VISIT(o);
    return 0;
  }
  static void clear(nv::Dict<K, V>& d) { d = nv::Dict<K, V>(); }
};

template <class T>
struct Members<nv::Set<T>> {
  static int visit(const nv::Set<T>& s, visitproc visit, void* arg) {
    if (PyObject* o = Container<nv::Set<T>>::held(s)) Py_VISIT(o);
    return 0;
  }
  static void clear(nv::Set<T>& s) { s = nv::Set<T>(); }
};

// A declared field as the host reads and assigns it.
template <class M>
struct FieldValue {
  static Object get(M& m) {
    if constexpr (nv::is_container_v<M>) return Object::borrow(host_object(m));
    else return Convert<M>::to(m);
  }
  static void set(M& m, PyObject* v, const char* name) {
    if constexpr (std::is_same_v<M, std::string> || std::is_same_v<M, std::optional<std::string>>) {
      // A text field holds bytes: unicode only when it is ASCII.
      if (PyUnicode_Check(v)) {
        Object bytes = Object::steal_or_null(PyUnicode_AsASCIIString(v));
        if (!bytes) {
          PyErr_Clear();
          raise(PyExc_TypeError, std::string(name) + " must be ASCII text");
        }
        m = to_string(bytes.get());
        return;
      }
    }
    if constexpr (nv::is_container_v<M>) m = Container<M>::of(v, name);
    else m = Convert<M>::from(v);
  }
};

}  // namespace py
