// Host values as the checker compares them.
#include "python/convert.h"

namespace py {

namespace {

class HeldObject : public nv::HostObject {
 public:
  explicit HeldObject(Object o) : object(std::move(o)) {}
  std::string str() const override { return to_text(object.get()); }
  std::string type_name() const override { return Py_TYPE(object.get())->tp_name; }
  Object object;
};

bool ascii_text(PyObject* o) {
  if (PyString_Check(o)) return true;
  if (!PyUnicode_Check(o)) return false;
  const Py_UNICODE* u = PyUnicode_AS_UNICODE(o);
  for (Py_ssize_t i = 0, n = PyUnicode_GET_SIZE(o); i < n; ++i)
    if (u[i] > 127) return false;
  return true;
}

}  // namespace

// An object the value stands for without holding it: the checker's own
// object, which holds the checker.
class BorrowedObject : public nv::HostObject {
 public:
  explicit BorrowedObject(PyObject* o) : object(o) {}
  std::string str() const override { return to_text(object); }
  std::string type_name() const override { return Py_TYPE(object)->tp_name; }
  PyObject* object;
};

nv::Value borrowed_value(PyObject* o) {
  nv::Value v;
  v.kind = nv::Value::Kind::Other;
  v.origin = std::make_shared<BorrowedObject>(o);
  return v;
}

PyObject* held_object(const nv::Value& v) {
  auto* held = dynamic_cast<const HeldObject*>(v.origin.get());
  return held ? held->object.get() : nullptr;
}

nv::Value Convert<nv::Value>::from(PyObject* o) {
  nv::Value v;
  if (o == Py_None) {
    v.kind = nv::Value::Kind::None;
  } else if (PyInt_Check(o)) {
    v.kind = nv::Value::Kind::Int;
    v.number = PyInt_AS_LONG(o);
  } else if (PyLong_Check(o)) {
    // One beyond a C long equals no number the checker holds.
    int overflow = 0;
    const long n = PyLong_AsLongAndOverflow(o, &overflow);
    if (n == -1 && PyErr_Occurred()) throw_pending();
    v.kind = overflow ? nv::Value::Kind::Other : nv::Value::Kind::Int;
    v.number = overflow ? 0 : n;
  } else if (ascii_text(o)) {
    v.kind = nv::Value::Kind::Text;
    v.text = to_string(o);
  } else {
    v.kind = nv::Value::Kind::Other;
  }
  v.origin = std::make_shared<HeldObject>(Object::borrow(o));
  return v;
}

Object Convert<nv::Value>::to(const nv::Value& v) {
  if (auto* held = dynamic_cast<const HeldObject*>(v.origin.get())) return held->object;
  if (auto* borrowed = dynamic_cast<const BorrowedObject*>(v.origin.get()))
    return Object::borrow(borrowed->object);
  switch (v.kind) {
    case nv::Value::Kind::Int: return v.is_bool ? boolean(v.number != 0) : integer(v.number);
    case nv::Value::Kind::Text: return str(v.text);
    default: return Object::none();
  }
}

}  // namespace py
