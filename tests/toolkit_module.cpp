// _toolkittest: a small class declared through the binding toolkit, for the
// toolkit's own tests (built into build/tests, never installed).  Its
// methods are plain C++; everything between them and the host is the
// toolkit's: argument conversion, results, errors both ways.

#include <Python.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/containers.h"
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

struct Leaf : nv::ReturnedRecord {
  Leaf(std::string name, long n) : name(std::move(name)), n(n) {}
  std::string name;
  long n;
  nv::Value any;
};

// A record with a field of every kind, and the core-side reads and writes
// that must see what the host did to it.
struct Node : nv::Record {
  Node(std::string name, long n) : name(std::move(name)), n(n) {}

  long total() const {
    long sum = 0;
    for (const Leaf& c : children) sum += c.n;
    return sum;
  }
  // Adds count children, tags and names the core's way.
  void grow(long count) {
    for (long i = 0; i < count; ++i) {
      std::string k = name + "." + std::to_string(i);
      children.emplace_back(k, i);
      tags.insert_or_assign(k, i);
      seen.insert(k);
    }
  }
  std::vector<std::string> tag_keys() const {
    std::vector<std::string> out;
    for (const auto& [k, v] : tags) out.push_back(k + "=" + std::to_string(v));
    std::sort(out.begin(), out.end());
    return out;
  }
  bool has_seen(const std::string& k) const { return seen.contains(k); }
  // The child record itself, or none.
  const Leaf* child(const std::string& name) const {
    for (const Leaf& c : children)
      if (c.name == name) return &c;
    return nullptr;
  }
  std::string text() const { return name + ":" + std::to_string(n); }

  std::string name;
  long n;
  std::optional<std::string> label;
  nv::Value any;
  nv::List<Leaf> children;
  nv::Dict<std::string, long> tags;
  nv::Set<std::string> seen;
};

void module_body(PyObject* module) {
  py::Class<Leaf>(py::Object::borrow(module), "Leaf")
      .init<std::string, long>({"name", "n"})
      .field("name", &Leaf::name)
      .field("n", &Leaf::n)
      .field("any", &Leaf::any);

  py::Class<Node>(py::Object::borrow(module), "Node")
      .init<std::string, long>({"name", "n"})
      .field("name", &Node::name)
      .field("n", &Node::n)
      .field("label", &Node::label)
      .field("any", &Node::any)
      .field("children", &Node::children)
      .field("tags", &Node::tags)
      .field("seen", &Node::seen)
      .method("total", &Node::total)
      .method("grow", &Node::grow, {"count"})
      .method("tag_keys", &Node::tag_keys)
      .method("has_seen", &Node::has_seen, {"k"})
      .method("child", &Node::child, {"name"})
      .str(&Node::text);

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
