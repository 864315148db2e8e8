// Declarative export of a C++ class as an interpreter class:
//
//   py::Class<Encap>(module, "Encap")
//       .init<std::string, std::string, long, long, long>(
//           {"linux_port", "bcm_dport", "intf", "vlan", "evid"})
//       .field("linux_port", &Encap::linux_port)
//       .method("encap2swp", &Encap::encap2swp)
//       .str(&Encap::text);
//
// Instances hold their value through a shared pointer, have an instance
// dictionary for attributes the host adds, and the class takes attribute
// assignment like a Python class.
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
                        richcmpfunc compare, hashfunc hash);
void set_class_attr(PyTypeObject* type, const char* name, const Object& value);
void instance_clear(InstanceHead* self);


template <class T>
struct Hooks {
  static inline std::function<std::shared_ptr<T>(PyTypeObject*)> factory;
  static inline std::function<void(PyObject*, PyObject*, PyObject*)> init;
  static inline std::function<std::string(const T&)> str;

  static void dealloc(PyObject* o) {
    auto* inst = instance_cast<T>(o);
    inst->ref.~Ref<T>();
    instance_clear(inst);
    Py_TYPE(o)->tp_free(o);
  }
  static PyObject* tp_new(PyTypeObject* type, PyObject*, PyObject*) {
    PyObject* o = type->tp_alloc(type, 0);
    if (!o) return nullptr;
    auto* inst = instance_cast<T>(o);
    new (&inst->ref) Ref<T>();
    if (factory) {
      try {
        inst->ref = Ref<T>::owned(factory(type));
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
  // Two views of one record are equal, as one object is to itself.
  static PyObject* tp_richcompare(PyObject* a, PyObject* b, int op) {
    if ((op == Py_EQ || op == Py_NE) && is_instance<T>(a) && is_instance<T>(b)) {
      return guarded([&] {
        bool same = &unwrap<T>(a) == &unwrap<T>(b);
        return boolean(op == Py_EQ ? same : !same);
      });
    }
    Py_INCREF(Py_NotImplemented);
    return Py_NotImplemented;
  }
  static long tp_hash(PyObject* self) {
    const Ref<T>& r = instance_cast<T>(self)->ref;
    if (!r) return _Py_HashPointer(self);
    try {
      return _Py_HashPointer(&*r);
    } catch (...) {
      set_error_from_current_exception();
      return -1;
    }
  }
};

template <class T, class... A, size_t... I, class... Fixed>
std::shared_ptr<T> make_from(const Args& a, std::index_sequence<I...>, const Fixed&... fixed) {
  return std::make_shared<T>(argument<std::decay_t<A>>(a[I])..., fixed...);
}

template <class T>
struct IsShared : std::false_type {};
template <class C>
struct IsShared<std::shared_ptr<C>> : std::true_type {
  using type = C;
};

// A required container argument may not be None.
template <class... A, size_t... I>
void refuse_none([[maybe_unused]] const Args& a,
                 [[maybe_unused]] const std::vector<const char*>& names,
                 [[maybe_unused]] size_t required, std::index_sequence<I...>) {
  (([&] {
     if constexpr (IsShared<std::decay_t<A>>::value)
       if (I < required && a[I] == Py_None)
         raise(PyExc_TypeError, std::string(names[I]) + ": a container is required, not None");
   }()),
   ...);
}

// The host's containers among the arguments, kept as the instance's own.
template <class... A, size_t... I>
void keep_containers([[maybe_unused]] PyObject* self, [[maybe_unused]] const Args& a,
                     [[maybe_unused]] const std::vector<const char*>& names,
                     std::index_sequence<I...>) {
  (([&] {
     using D = std::decay_t<A>;
     if constexpr (IsShared<D>::value)
       if (a[I] && a[I] != Py_None && !is_shared_view<typename IsShared<D>::type>(a[I]))
         keep_given(self, names[I], a[I]);
   }()),
   ...);
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
const Ref<T>& self_of(PyObject* args) {
  if (!args || PyTuple_GET_SIZE(args) < 1) raise(PyExc_TypeError, "method needs its object");
  return ref_of<T>(PyTuple_GET_ITEM(args, 0));
}

template <class T>
class Class {
 public:
  using Ptr = Ref<T>;
  using Names = std::vector<const char*>;

  Class(const Object& module, const char* name) : name_(name) {
    type_ = detail::new_class(module.get(), name, sizeof(Instance<T>), &detail::Hooks<T>::dealloc,
                              &detail::Hooks<T>::tp_new, &detail::Hooks<T>::tp_init,
                              &detail::Hooks<T>::tp_richcompare, &detail::Hooks<T>::tp_hash);
    ClassInfo<T>::type = type_;
  }

  PyTypeObject* type() const { return type_; }

  // The value a new instance starts with, before __init__ runs.
  Class& factory(std::function<std::shared_ptr<T>(PyTypeObject*)> f) {
    detail::Hooks<T>::factory = std::move(f);
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
  // argument (a shared pointer) is shared with the host as shared_field
  // says; a required one may not be None.
  template <class... A, class... Fixed>
  Class& init(Names names, Fixed... fixed) {
    return init_with_optional<A...>(names, sizeof...(A), fixed...);
  }
  // The same with the arguments after the first `required` optional.
  template <class... A, class... Fixed>
  Class& init_with_optional(Names names, size_t required, Fixed... fixed) {
    return init_raw(
        [names, required, fixed...](PyObject* self, const Args& a) {
          detail::refuse_none<A...>(a, names, required, std::index_sequence_for<A...>{});
          instance_cast<T>(self)->ref = Ref<T>::owned(
              detail::make_from<T, A...>(a, std::index_sequence_for<A...>{}, fixed...));
          detail::keep_containers<A...>(self, a, names, std::index_sequence_for<A...>{});
        },
        names, required);
  }

  // A list or mapping the record shares with the host: the container the
  // host hands over (to the constructor, or by assignment) is kept as that
  // very object and given back, and what the host changes in it is taken
  // in before the record is used.  Containers the checker made are shared
  // through their views.  None is refused.
  template <class C, class U, class = std::enable_if_t<std::is_base_of_v<U, T>>>
  Class& shared_field(const char* name, std::shared_ptr<C> U::*member) {
    static std::vector<std::pair<std::string, std::shared_ptr<C> U::*>> fields;
    fields.emplace_back(name, member);
    if (fields.size() == 1)
      ClassInfo<T>::sync.push_back([](PyObject* self, T& value) {
        for (const auto& [n, m] : fields)
          if (PyObject* given = given_object(self, n.c_str())) value.*m = share<C>(given);
      });
    std::string field = name;
    return property_raw(
        name,
        [member, field](PyObject* self) {
          if (PyObject* given = given_object(self, field.c_str())) return Object::borrow(given);
          return Convert<std::shared_ptr<C>>::to(unwrap<T>(self).*member);
        },
        [member, field](PyObject* self, PyObject* v) {
          if (!v) raise(PyExc_AttributeError, "can't delete attribute");
          if (v == Py_None) raise(PyExc_TypeError, field + ": a container is required, not None");
          unwrap<T>(self).*member = share<C>(v);
          keep_given(self, field.c_str(), is_shared_view<C>(v) ? nullptr : v);
          if (detail::field_edit_hook) detail::field_edit_hook();
        });
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

  // An attribute that exists once the core has given it a value: reading
  // it before (or after it was deleted) is the host's AttributeError.
  template <class V, class U, class = std::enable_if_t<std::is_base_of_v<U, T>>>
  Class& optional_field(const char* name, std::optional<V> U::*member) {
    std::string cls = name_;
    return property(
        name,
        [member, name, cls](const Ptr& self) {
          const auto& v = (*self).*member;
          if (!v) detail::no_attribute(cls, name);
          return Convert<V>::to(*v);
        },
        [member](const Ptr& self, PyObject* value) {
          if (value) (*self).*member = Convert<V>::from(value);
          else (*self).*member = std::nullopt;
        });
  }

  // A table held through a pointer, absent until the core makes it; the
  // core's `changed` is told of every assignment.
  template <class C, class U, class = std::enable_if_t<std::is_base_of_v<U, T>>>
  Class& pointer_field(const char* name, std::shared_ptr<C> U::*member,
                       void (U::*changed)() = nullptr) {
    std::string cls = name_;
    return property(
        name,
        [member, name, cls](const Ptr& self) {
          const auto& t = (*self).*member;
          if (!t) detail::no_attribute(cls, name);
          return Convert<std::shared_ptr<C>>::to(t);
        },
        [member, changed](const Ptr& self, PyObject* value) {
          (*self).*member = value ? share<C>(value) : nullptr;
          if (changed) ((*self).*changed)();
        });
  }

  // One of the host's objects that the core uses through an interface:
  // `adapt` wraps what the host assigns, and reading gives that object back.
  template <class I, class U, class = std::enable_if_t<std::is_base_of_v<U, T>>>
  Class& service_field(const char* name, std::shared_ptr<I> U::*member,
                       std::shared_ptr<I> (*adapt)(Object)) {
    std::string cls = name_;
    return property(
        name,
        [member, name, cls](const Ptr& self) {
          if (!((*self).*member)) detail::no_attribute(cls, name);
          return object_of((*self).*member);
        },
        [member, adapt](const Ptr& self, PyObject* value) {
          (*self).*member = value ? adapt(Object::borrow(value)) : nullptr;
        });
  }

  // A read-write attribute backed by a member.
  template <class M>
  Class& field(const char* name, M T::*member) {
    return property(
        name, [member](const Ptr& self) { return Convert<M>::view(self.member(member)); },
        [member](const Ptr& self, PyObject* value) {
          if (!value) raise(PyExc_AttributeError, "can't delete attribute");
          (*self).*member = Convert<M>::from(value);
          if (detail::field_edit_hook) detail::field_edit_hook();
        });
  }

  // An attribute with its own getter and (optional) setter; the setter gets
  // null for a deletion.
  Class& property(const char* name, std::function<Object(const Ptr&)> get,
                  std::function<void(const Ptr&, PyObject*)> set = {}) {
    Object getter = function(name, [get](PyObject* args, PyObject*) {
      return get(self_of<T>(args));
    }, false);
    Object setter;
    if (set) {
      setter = function(name, [set](PyObject* args, PyObject*) {
        set(self_of<T>(args), PyTuple_GET_SIZE(args) > 1 ? PyTuple_GET_ITEM(args, 1) : nullptr);
        return Object::none();
      }, false);
    }
    detail::set_class_attr(type_, name, py::property(getter, setter));
    return *this;
  }

  // An attribute whose getter and setter see the instance object itself.
  Class& property_raw(const char* name, std::function<Object(PyObject* self)> get,
                      std::function<void(PyObject* self, PyObject* value)> set) {
    Object getter = function(name, [get](PyObject* args, PyObject*) {
      self_of<T>(args);
      return get(PyTuple_GET_ITEM(args, 0));
    }, false);
    Object setter = function(name, [set](PyObject* args, PyObject*) {
      self_of<T>(args);
      set(PyTuple_GET_ITEM(args, 0), PyTuple_GET_SIZE(args) > 1 ? PyTuple_GET_ITEM(args, 1) : nullptr);
      return Object::none();
    }, false);
    detail::set_class_attr(type_, name, py::property(getter, setter));
    return *this;
  }

  // Called before the value is used, with the instance object.
  Class& sync(void (*fn)(PyObject* self, T& value)) {
    ClassInfo<T>::sync.push_back(fn);
    return *this;
  }

  // A method written by hand over the parsed arguments.
  Class& def(const char* name, Names names, size_t required,
             std::function<Object(PyObject* self, const Args&)> f) {
    std::string fname = name;
    detail::set_class_attr(type_, name, function(name, [f, names, required, fname](
                                                           PyObject* args, PyObject* kwargs) {
      self_of<T>(args);
      Object rest = rest_of(args);
      Args a(fname, rest.get(), kwargs, names, required);
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
                                [fn](T& self, auto&&... a) { return (self.*fn)(a...); });
  }
  template <class R, class U, class... A, class = std::enable_if_t<std::is_base_of_v<U, T>>>
  Class& method(const char* name, R (U::*fn)(A...) const, Names names = {},
                size_t required = sizeof...(A)) {
    return method_impl<R, A...>(name, names, required,
                                [fn](T& self, auto&&... a) { return (self.*fn)(a...); });
  }
  // A method that does not use its instance.
  template <class R, class... A>
  Class& method(const char* name, R (*fn)(A...), Names names = {},
                size_t required = sizeof...(A)) {
    return method_impl<R, A...>(name, names, required,
                                [fn](T&, auto&&... a) { return fn(a...); });
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
      return detail::invoke<R, A...>(a, 1, [&](auto&&... v) { return (self.*fn)(v...); });
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
  template <class R, class... A, class F>
  Class& method_impl(const char* name, Names names, size_t required, F call) {
    if (names.empty())
      for (size_t i = 0; i < sizeof...(A); ++i) names.push_back("arg");
    return def(name, names, required, [call](PyObject* self, const Args& a) -> Object {
      T& obj = unwrap<T>(self);
      return detail::invoke<R, A...>(a, 0, [&](auto&&... v) { return call(obj, v...); });
    });
  }

  const char* name_;
  PyTypeObject* type_;
};

// Sets the hook called after the host assigns a record field.
void set_field_edit_hook(void (*hook)());

}  // namespace py
