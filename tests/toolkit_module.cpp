// _toolkittest: a small class declared through the binding toolkit, for the
// toolkit's own tests (built into build/tests, never installed).  Its
// methods are plain C++; everything between them and the host is the
// toolkit's: argument conversion, results, errors both ways.

#include <Python.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/errors.h"
#include "common/value.h"
#include "python/classes.h"
#include "python/module.h"

namespace {

const std::map<std::string, nv::ErrorKind> kKinds = {
    {"RuntimeError", nv::ErrorKind::Runtime}, {"IOError", nv::ErrorKind::IO},
    {"OSError", nv::ErrorKind::OS},           {"KeyError", nv::ErrorKind::Key},
    {"ValueError", nv::ErrorKind::Value},     {"IndexError", nv::ErrorKind::Index},
    {"TypeError", nv::ErrorKind::Type},       {"AttributeError", nv::ErrorKind::Attribute},
    {"Exception", nv::ErrorKind::Exception},  {"struct.error", nv::ErrorKind::Struct},
};

struct Probe {
  // Raises the core's error of the named kind.
  void raise_error(const std::string& kind, const std::string& message) {
    throw nv::Error(kKinds.at(kind), message);
  }
  void raise_os_error(long err, const std::string& message) { throw nv::OSError(err, message); }

  long echo_long(long v) { return v; }
  std::string echo_text(const std::string& v) { return v; }
  std::optional<std::string> echo_optional(const std::optional<std::string>& v) { return v; }
  nv::Value echo_value(const nv::Value& v) { return v; }
  // How the checker sees a host value.
  std::string kind_of(const nv::Value& v) {
    switch (v.kind) {
      case nv::Value::Kind::None: return "none";
      case nv::Value::Kind::Int: return "int " + std::to_string(v.number);
      case nv::Value::Kind::Text: return "text " + v.text;
      case nv::Value::Kind::Other: return "other " + nv::type_name(v);
    }
    return "";
  }
  long percent_d(const nv::Value& v) { return nv::percent_d(v); }
  // -1 for an argument that is false or left out, else its length.
  long length_when_true(const nv::WhenTrue<std::vector<nv::Value>>& v) {
    return v ? static_cast<long>(v->size()) : -1;
  }
  std::vector<std::string> texts(const std::string& a, const std::string& b) { return {a, b}; }
};

void module_body(PyObject* module) {
  py::Class<Probe>(py::Object::borrow(module), "Probe")
      .init<>({})
      .method("raise_error", &Probe::raise_error, {"kind", "message"})
      .method("raise_os_error", &Probe::raise_os_error, {"err", "message"})
      .method("echo_long", &Probe::echo_long, {"v"})
      .method("echo_text", &Probe::echo_text, {"v"})
      .method("echo_optional", &Probe::echo_optional, {"v"})
      .method("echo_value", &Probe::echo_value, {"v"}, 0)
      .method("kind_of", &Probe::kind_of, {"v"})
      .method("percent_d", &Probe::percent_d, {"v"})
      .method("length_when_true", &Probe::length_when_true, {"v"}, 0)
      .method("texts", &Probe::texts, {"a", "b"});

  // Calls f through C++ frames: what f raises must come out unchanged.
  py::Object through = py::function("call_through", [](PyObject* args, PyObject*) {
    if (PyTuple_GET_SIZE(args) != 1) py::raise(PyExc_TypeError, "call_through(f)");
    return py::Object::borrow(PyTuple_GET_ITEM(args, 0))();
  }, false);
  if (PyModule_AddObject(module, "call_through", through.release()) < 0) py::throw_pending();
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void init_toolkittest() {
  py::module_entry("_toolkittest", &module_body);
}
