// Declarative export of a C++ class as an interpreter class:
//
//   py::Class<Encap>(module, "Encap")
//       .init<std::string, std::string, long, long, long>(
//           {"linux_port", "bcm_dport", "intf", "vlan", "evid"})
//       .field("linux_port", &Encap::linux_port)
//       .method("encap2swp", &Encap::encap2swp)
//       .str(&Encap::text);
//
// An instance holds its C++ value in itself, has an instance dictionary for
// attributes the host adds, takes part in the cycle collector through the
// members its declaration names, and compares and hashes by identity, as
// an instance of a Python class does.  A field's type says what it takes:
// a container field is the host's own list, dict or set (see
// python/containers.h).
#pragma once

#include <Python.h>

#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "python/adapters.h"
#include "python/containers.h"
#include "python/convert.h"
#include "python/errors.h"
#include "python/function.h"

namespace py {

namespace detail {

// Creates the type object, readies it and binds it in the module.
PyTypeObject* new_class(PyObject* module, const char* name, Py_ssize_t basicsize,
                        destructor dealloc, newfunc tp_new, initproc tp_init,
                        traverseproc traverse, inquiry clear);
void set_class_attr(PyTypeObject* type, const char* name, const Object& value);
void instance_clear(InstanceHead* self);


template <class T>
struct Hooks {
  static inline std::function<void(void* storage, PyObject* self)> construct;
  static inline std::function<void(PyObject*, PyObject*, PyObject*)> init;
  static inline std::function<std::string(const T&)> str;

  static void destroy_value(PyObject* o) {
    auto* inst = instance_cast<T>(o);
    if (!inst->ready) return;
    inst->ready = false;
    inst->value().~T();
  }
  static void dealloc(PyObject* o) {
    PyObject_GC_UnTrack(o);
    Py_TRASHCAN_SAFE_BEGIN(o)
    instance_clear(instance_cast<T>(o));
    destroy_value(o);
    Py_TYPE(o)->tp_free(o);
    Py_TRASHCAN_SAFE_END(o)
  }
  static PyObject* tp_new(PyTypeObject* type, PyObject*, PyObject*) {
    PyObject* o = type->tp_alloc(type, 0);
    if (!o) return nullptr;
    auto* inst = instance_cast<T>(o);
    inst->ready = false;
    if (construct) {
      try {
        construct(inst->storage, o);
        inst->ready = true;
      } catch (...) {
        Py_DECREF(o);
        set_error_from_current_exception();
        return nullptr;
      }
    }
    return o;
  }
  static int tp_init(PyObject* self, PyObject* args, PyObject* kwargs) {
    if (!init) {
      PyErr_SetString(PyExc_TypeError, "cannot create instances of this class");
      return -1;
    }
    return guarded_status([&] { init(self, args, kwargs); });
  }
  static PyObject* tp_str(PyObject* self) {
    return guarded([&] { return py::str(str(unwrap<T>(self))); });
  }
  static int traverse(PyObject* self, visitproc visit, void* arg) {
    auto* inst = instance_cast<T>(self);
    Py_VISIT(inst->dict);
    if (!inst->ready) return 0;
    for (auto& f : ClassInfo<T>::visit)
      if (int r = f(inst->value(), visit, arg)) return r;
    return 0;
  }
  static int clear(PyObject* self) {
    auto* inst = instance_cast<T>(self);
    Py_CLEAR(inst->dict);
    if (inst->ready)
      for (auto& f : ClassInfo<T>::clear) f(inst->value());
    return 0;
  }
};

template <class T, class... A, size_t... I, class... Fixed>
void construct_from(void* at, const Args& a, std::index_sequence<I...>, const Fixed&... fixed) {
  std::tuple<decltype(argument<std::decay_t<A>>(nullptr))...> values{
      argument<std::decay_t<A>>(a[I])...};
  new (at) T(std::move(std::get<I>(values))..., fixed...);
}

// Converted in order, first to last, as the host's own code reads them.
template <class... A, size_t... I, class F>
auto call_converted(const Args& a, size_t offset, std::index_sequence<I...>, F&& f) {
  std::tuple<decltype(argument<std::decay_t<A>>(nullptr))...> values{
      argument<std::decay_t<A>>(a[offset + I])...};
  return std::apply(f, values);
}

// f called with the first arguments converted to the leading types of
// Tuple (the others are the module's own values), in order.
template <class Tuple, size_t... I, class F>
void call_leading(const Args& a, std::index_sequence<I...>, F&& f) {
  std::tuple<decltype(argument<std::decay_t<std::tuple_element_t<I, Tuple>>>(nullptr))...> values{
      argument<std::decay_t<std::tuple_element_t<I, Tuple>>>(a[I])...};
  std::apply(f, values);
}

// Instances of exported classes live in memory of their own allocation, laid
// out as the cycle collector expects (its head first), so that the core can
// allocate a record before its object exists.
inline constexpr size_t kGcHead = sizeof(PyGC_Head);
void* allocate_object_memory(size_t size);  // zeroed, the head marked untracked
void free_object_memory(void* memory);

// A getset descriptor of the type, over C++ closures; the setter gets null
// for a deletion, and a type without one refuses assignment.
Object accessor(PyTypeObject* type, const char* name, std::function<Object(PyObject*)> get,
                std::function<void(PyObject*, PyObject*)> set);

// An instance that holds objects of the interpreter takes part in the
// cycle collector from then on.
inline void track(PyObject* self) {
  if (!_PyObject_GC_IS_TRACKED(self)) PyObject_GC_Track(self);
}

// The interpreter's AttributeError for an instance of a plain class.
[[noreturn]] inline void no_attribute(const std::string& cls, const char* name) {
  raise(PyExc_AttributeError, cls + " instance has no attribute '" + name + "'");
}

// f called with the arguments from slot `offset` on, converted to A..., and
// its result converted back (None for a function that gives nothing).
template <class R, class... A, class F>
Object invoke(const Args& a, size_t offset, F&& f) {
  return call_converted<A...>(a, offset, std::index_sequence_for<A...>{},
                              [&](auto&&... v) -> Object {
                                if constexpr (std::is_void_v<R>) {
                                  f(v...);
                                  return Object::none();
                                } else {
                                  return Convert<std::decay_t<R>>::to(f(v...));
                                }
                              });
}

}  // namespace detail

template <class T>
T& self_of(PyObject* args) {
  if (!args || PyTuple_GET_SIZE(args) < 1) raise(PyExc_TypeError, "method needs its object");
  return unwrap<T>(PyTuple_GET_ITEM(args, 0));
}

template <class T>
class Class {
 public:
  using Names = std::vector<const char*>;

  Class(const Object& module, const char* name) : name_(name) {
    type_ = detail::new_class(module.get(), name, sizeof(Instance<T>), &detail::Hooks<T>::dealloc,
                              &detail::Hooks<T>::tp_new, &detail::Hooks<T>::tp_init,
                              &detail::Hooks<T>::traverse, &detail::Hooks<T>::clear);
    ClassInfo<T>::type = type_;
    if constexpr (nv::is_returned_v<T>) {
      // The core allocates these records inside room for their objects.
      using H = nv::RecordHooks<T>;
      H::prefix = detail::kGcHead + offsetof(Instance<T>, storage);
      H::allocate = &detail::allocate_object_memory;
      H::free = &detail::free_object_memory;
      H::drop = [](T* p) {
        PyObject* o = reinterpret_cast<PyObject*>(instance_of_record(p));
        if (Py_TYPE(o)) {
          Py_DECREF(o);  // the host's object outlives the core's hold
        } else {
          p->~T();
          detail::free_object_memory(reinterpret_cast<char*>(o) - detail::kGcHead);
        }
      };
    }
  }

  PyTypeObject* type() const { return type_; }

  // Makes the value of a new instance in place, before __init__ runs.
  Class& factory(std::function<void(void* storage, PyObject* self)> f) {
    detail::Hooks<T>::construct = std::move(f);
    return *this;
  }

  // __init__(self, *args, **kwargs) written by hand.
  Class& init_raw(std::function<void(PyObject* self, const Args&)> f, Names names,
                  size_t required) {
    std::string fname = "__init__";
    detail::Hooks<T>::init = [f, names, required, fname](PyObject* self, PyObject* args,
                                                        PyObject* kwargs) {
      Args a(fname, args, kwargs, names, required);
      f(self, a);
    };
    return *this;
  }

  // __init__ that passes the converted arguments to a constructor of T,
  // followed by the module's own fixed values, if any.  A container
  // argument is the host's object itself.
  template <class... A, class... Fixed>
  Class& init(Names names, Fixed... fixed) {
    return init_with_optional<A...>(names, sizeof...(A), fixed...);
  }
  // The same with the arguments after the first `required` optional.
  template <class... A, class... Fixed>
  Class& init_with_optional(Names names, size_t required, Fixed... fixed) {
    return init_raw(
        [fixed...](PyObject* self, const Args& a) {
          auto* inst = instance_cast<T>(self);
          alignas(T) unsigned char fresh[sizeof(T)];
          detail::construct_from<T, A...>(fresh, a, std::index_sequence_for<A...>{}, fixed...);
          T& made = *std::launder(reinterpret_cast<T*>(fresh));
          // __init__ called again remakes the value.
          detail::Hooks<T>::destroy_value(self);
          new (inst->storage) T(std::move(made));
          made.~T();
          inst->ready = true;
        },
        names, required);
  }

  // __init__ as a member function of T: the host's arguments converted, then
  // the module's fixed values.  Arguments left out take `defaults` (the
  // last parameters' default values, as the host writes them).
  template <class U, class... A, class... Fixed,
            class = std::enable_if_t<std::is_base_of_v<U, T>>>
  Class& init(void (U::*fn)(A...), Names names, std::vector<Object> defaults,
              const Fixed&... fixed) {
    static_assert(sizeof...(A) >= sizeof...(Fixed));
    const size_t required = names.size() - defaults.size();
    return init_raw(
        [fn, defaults, fixed...](PyObject* self, const Args& given) {
          Args a = given;
          a.fill_defaults(defaults);
          T& obj = unwrap<T>(self);
          detail::call_leading<std::tuple<A...>>(
              a, std::make_index_sequence<sizeof...(A) - sizeof...(Fixed)>{},
              [&](auto&&... v) { (obj.*fn)(v..., fixed...); });
        },
        names, required);
  }

  // A field the instance always has.  What it takes is its type's: a
  // number, a text, None where the type is optional, the host's own list,
  // dict or set for a container; anything for a Value.  It cannot be
  // deleted.
  template <class M, class U, class = std::enable_if_t<std::is_base_of_v<U, T>>>
  Class& field(const char* name, M U::*member) {
    members(member);
    return property_raw(
        name,
        [member](PyObject* self) {
          Object v = FieldValue<M>::get(unwrap<T>(self).*member);
          if constexpr (HoldsObjects<M>::value) detail::track(self);
          return v;
        },
        [member, name](PyObject* self, PyObject* value) {
          if (!value) raise(PyExc_AttributeError, "can't delete attribute");
          FieldValue<M>::set(unwrap<T>(self).*member, value, name);
          if constexpr (HoldsObjects<M>::value) detail::track(self);
        });
  }

  // An attribute that exists once the core (or the host) has given it a
  // value: reading it before, or after it was deleted, is the host's
  // AttributeError.
  template <class V, class U, class = std::enable_if_t<std::is_base_of_v<U, T>>>
  Class& optional_field(const char* name, std::optional<V> U::*member) {
    members(member);
    std::string cls = name_;
    return property_raw(
        name,
        [member, name, cls](PyObject* self) {
          auto& v = unwrap<T>(self).*member;
          if (!v) detail::no_attribute(cls, name);
          Object out = FieldValue<V>::get(*v);
          if constexpr (HoldsObjects<V>::value) detail::track(self);
          return out;
        },
        [member, name](PyObject* self, PyObject* value) {
          auto& v = unwrap<T>(self).*member;
          if (!value) {
            v.reset();
            return;
          }
          if constexpr (nv::is_container_v<V>) {
            v = Container<V>::of(value, name);
          } else {
            V fresh = Convert<V>::from(value);
            v = std::move(fresh);
          }
          if constexpr (HoldsObjects<V>::value) detail::track(self);
        });
  }

  // One of the host's objects that the core uses through an interface:
  // `adapt` wraps what the host assigns, and reading gives that object back.
  template <class I, class U, class = std::enable_if_t<std::is_base_of_v<U, T>>>
  Class& service_field(const char* name, std::shared_ptr<I> U::*member,
                       std::shared_ptr<I> (*adapt)(Object)) {
    ClassInfo<T>::visit.push_back([member](T& self, visitproc visit, void* arg) {
      const auto& p = self.*member;
      // Only the one holder visits: a shared adapter is not the
      // instance's alone.
      if (p && p.use_count() == 1) {
        Object o = object_of(p);
        Py_VISIT(o.get());
      }
      return 0;
    });
    std::string cls = name_;
    return property(
        name,
        [member, name, cls](T& self) {
          if (!(self.*member)) detail::no_attribute(cls, name);
          return object_of(self.*member);
        },
        [member, adapt](T& self, PyObject* value) {
          self.*member = value ? adapt(Object::borrow(value)) : nullptr;
        });
    // (Instances that hold services are made by the host, and tracked.)
  }

  // An attribute with its own getter and (optional) setter; the setter gets
  // null for a deletion.
  Class& property(const char* name, std::function<Object(T&)> get,
                  std::function<void(T&, PyObject*)> set = {}) {
    std::function<void(PyObject*, PyObject*)> raw_set;
    if (set) raw_set = [set](PyObject* self, PyObject* v) { set(unwrap<T>(self), v); };
    return property_raw(name, [get](PyObject* self) { return get(unwrap<T>(self)); }, raw_set);
  }

  // An attribute whose getter and setter see the instance object itself.
  Class& property_raw(const char* name, std::function<Object(PyObject* self)> get,
                      std::function<void(PyObject* self, PyObject* value)> set) {
    detail::set_class_attr(type_, name,
                           detail::accessor(type_, name, std::move(get), std::move(set)));
    return *this;
  }

  // A method written by hand over the parsed arguments.
  Class& def(const char* name, Names names, size_t required,
             std::function<Object(PyObject* self, const Args&)> f) {
    std::string fname = name;
    detail::set_class_attr(type_, name, function(name, [f, names, required, fname](
                                                           PyObject* args, PyObject* kwargs) {
      self_of<T>(args);
      Args a(fname, args, kwargs, names, required, 1);
      return f(PyTuple_GET_ITEM(args, 0), a);
    }));
    return *this;
  }

  // A member function with converted arguments and result; it may be a
  // member of a base class of T.  The arguments after the first `required`
  // may be left out (their types say what stands for them).
  template <class R, class U, class... A, class = std::enable_if_t<std::is_base_of_v<U, T>>>
  Class& method(const char* name, R (U::*fn)(A...), Names names = {},
                size_t required = sizeof...(A)) {
    return method_impl<R, A...>(name, names, required,
                                [fn](T& self, auto&&... a) -> decltype(auto) { return (self.*fn)(a...); });
  }
  template <class R, class U, class... A, class = std::enable_if_t<std::is_base_of_v<U, T>>>
  Class& method(const char* name, R (U::*fn)(A...) const, Names names = {},
                size_t required = sizeof...(A)) {
    return method_impl<R, A...>(name, names, required,
                                [fn](T& self, auto&&... a) -> decltype(auto) { return (self.*fn)(a...); });
  }
  // The same, with the host's default values of the last parameters.
  template <class R, class U, class... A, class = std::enable_if_t<std::is_base_of_v<U, T>>>
  Class& method(const char* name, R (U::*fn)(A...), Names names, std::vector<Object> defaults) {
    const size_t required = names.size() - defaults.size();
    return method_impl<R, A...>(
        name, names, required, [fn](T& self, auto&&... a) -> decltype(auto) { return (self.*fn)(a...); }, defaults);
  }

  // A method that does not use its instance.
  template <class R, class... A>
  Class& method(const char* name, R (*fn)(A...), Names names = {},
                size_t required = sizeof...(A)) {
    return method_impl<R, A...>(name, names, required,
                                [fn](T&, auto&&... a) -> decltype(auto) { return fn(a...); });
  }

  // A static method of the class.
  template <class R, class... A>
  Class& static_method(const char* name, R (*fn)(A...), Names names,
                       size_t required = sizeof...(A)) {
    return static_def(name, names, required, [fn](const Args& a) {
      return detail::invoke<R, A...>(a, 0, fn);
    });
  }
  // A static method whose first argument is an instance.
  template <class R, class U, class... A, class = std::enable_if_t<std::is_base_of_v<U, T>>>
  Class& static_method(const char* name, R (U::*fn)(A...), Names names) {
    return static_def(name, names, names.size(), [fn](const Args& a) {
      T& self = unwrap<T>(a[0]);
      return detail::invoke<R, A...>(a, 1, [&](auto&&... v) -> decltype(auto) { return (self.*fn)(v...); });
    });
  }

  Class& static_def(const char* name, Names names, size_t required,
                    std::function<Object(const Args&)> f) {
    std::string fname = name;
    detail::set_class_attr(
        type_, name, py::static_method(function(name, [f, names, required, fname](PyObject* args,
                                                                              PyObject* kwargs) {
          Args a(fname, args, kwargs, names, required);
          return f(a);
        })));
    return *this;
  }

  Class& attr(const char* name, const Object& value) {
    detail::set_class_attr(type_, name, value);
    return *this;
  }

  Class& str(std::function<std::string(const T&)> f) {
    detail::Hooks<T>::str = std::move(f);
    type_->tp_str = &detail::Hooks<T>::tp_str;
    return *this;
  }

 private:
  // The member's share of the instance's traversal and clear.
  template <class M, class U>
  void members(M U::*member) {
    ClassInfo<T>::visit.push_back([member](T& self, visitproc visit, void* arg) {
      return Members<M>::visit(self.*member, visit, arg);
    });
    ClassInfo<T>::clear.push_back([member](T& self) { Members<M>::clear(self.*member); });
  }

  template <class R, class... A, class F>
  Class& method_impl(const char* name, Names names, size_t required, F call,
                     std::vector<Object> defaults = {}) {
    if (names.empty())
      for (size_t i = 0; i < sizeof...(A); ++i) names.push_back("arg");
    return def(name, names, required, [call, defaults](PyObject* self, const Args& given) -> Object {
      Args a = given;
      a.fill_defaults(defaults);
      T& obj = unwrap<T>(self);
      return detail::invoke<R, A...>(a, 0, [&](auto&&... v) -> decltype(auto) { return call(obj, v...); });
    });
  }

  const char* name_;
  PyTypeObject* type_;
};

}  // namespace py
