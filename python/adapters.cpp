#include "python/adapters.h"

#include <cstring>

namespace py {

namespace {

Object call_method(const Object& o, const char* name, const Object& args) {
  return o.call_method(name, args);
}

Object call_method(const Object& o, const char* name, const Object& args, const Object& kwargs) {
  return o.call_method(name, args, kwargs);
}

class Shell : public nv::DiagShell, public Wrapped {
 public:
  using Wrapped::Wrapped;

  nv::ShellOutput run(const std::string& cmd) override {
    PyObject* r = call_run(cmd);
    if (!r) {
      // The client's time-out is its I/O error; the caller decides what it
      // means.  Anything else travels on untouched.
      bool timeout = pending_matches(PyExc_IOError);
      nv::ForeignError e = fetch_error();
      if (timeout) throw nv::ShellTimeout(e.payload(), "shell command timed out");
      throw e;
    }
    Object out = Object::steal(r);
    if (PyUnicode_Check(r)) out = Object::steal(PyUnicode_AsASCIIString(r));
    if (!PyString_Check(out.get()))
      raise(PyExc_TypeError, "diagnostic shell returned " + std::string(Py_TYPE(r)->tp_name));
    std::string_view text(PyString_AS_STRING(out.get()),
                          static_cast<size_t>(PyString_GET_SIZE(out.get())));
    // The reply holds the string; dropping the reply drops the reference.
    return nv::ShellOutput(text, out.release(), [](void* o) { Py_DECREF(static_cast<PyObject*>(o)); });
  }

  // PyObject_CallMethod(client, "run", "(s#)", ...) without its per-call
  // name object and format parsing: this runs thousands of times per
  // construction.  The method is looked up on every call, since the host
  // may replace it, and a non-callable attribute fails with the same text.
  PyObject* call_run(const std::string& cmd) {
    static PyObject* const name = PyString_InternFromString("run");
    if (!name) return nullptr;
    PyObject* func = PyObject_GetAttr(object().get(), name);
    if (!func) return nullptr;
    PyObject* r = nullptr;
    if (!PyCallable_Check(func)) {
      PyErr_Format(PyExc_TypeError, "attribute of type '%.200s' is not callable",
                   Py_TYPE(func)->tp_name);
    } else {
      // A method bound to the client is called as its function with the
      // client first, as the interpreter's own call of a bound method does;
      // this saves the bound method's second argument tuple.
      PyObject* self = nullptr;
      PyObject* target = func;
      if (PyMethod_Check(func) && PyMethod_GET_SELF(func)) {
        self = PyMethod_GET_SELF(func);
        target = PyMethod_GET_FUNCTION(func);
      }
      const Py_ssize_t n = self ? 2 : 1;
      if (PyObject* args = PyTuple_New(n)) {
        PyObject* text = PyString_FromStringAndSize(cmd.data(), static_cast<Py_ssize_t>(cmd.size()));
        if (text) {
          if (self) {
            Py_INCREF(self);
            PyTuple_SET_ITEM(args, 0, self);
          }
          PyTuple_SET_ITEM(args, n - 1, text);
          r = PyObject_Call(target, args, nullptr);
        }
        Py_DECREF(args);
      }
    }
    Py_DECREF(func);
    return r;
  }

  long gettable_int(const std::string& table, long start, long entries, size_t row,
                    const std::string& field) override {
    Object kwargs = Object::steal(PyDict_New());
    PyDict_SetItemString(kwargs.get(), "fields", Py_True);
    PyDict_SetItemString(kwargs.get(), "start", integer(start).get());
    PyDict_SetItemString(kwargs.get(), "entries", integer(entries).get());
    Object rows = call_method(object(), "gettable", Object::tuple_of(str(table)), kwargs);
    Object first = Object::steal(PySequence_GetItem(rows.get(), static_cast<Py_ssize_t>(row)));
    Object value = Object::steal(PyObject_GetItem(first.get(), str(field).get()));
    if (!is_integer(value.get()))
      raise(PyExc_TypeError, field + " of memory table " + table + " is not an integer");
    return to_long(value.get());
  }
};

class Names : public nv::NameSet, public Wrapped {
 public:
  using Wrapped::Wrapped;
  bool contains(const std::string& name) override {
    int r = PySequence_Contains(object().get(), str(name).get());
    if (r < 0) throw_pending();
    return r != 0;
  }
};

class Ports : public nv::PortTable, public Wrapped {
 public:
  using Wrapped::Wrapped;
  std::shared_ptr<nv::NameSet> get_linux_ports() override {
    return name_set(call_method(object(), "get_linux_ports", Object()));
  }
  std::string bcm2linux(const std::string& dport) override {
    return to_text(call_method(object(), "bcm2linux", Object::tuple_of(str(dport))).get());
  }
  std::string logical2dport(long logical_port) override {
    return to_text(
        call_method(object(), "logical2dport", Object::tuple_of(integer(logical_port))).get());
  }
};

class Vrfs : public nv::VrfDb, public Wrapped {
 public:
  using Wrapped::Wrapped;
  std::string vrf_id2name(long id) override {
    return to_text(call_method(object(), "vrf_id2name", Object::tuple_of(integer(id))).get());
  }
};

class Stdout : public nv::Console {
 public:
  void write(std::string_view text) override {
    PyObject* out = PySys_GetObject(const_cast<char*>("stdout"));  // borrowed
    if (!out) raise(PyExc_RuntimeError, "lost sys.stdout");
    Object::borrow(out).call_method("write", Object::tuple_of(str(text)));
  }
};

class AttributeList : public nv::DeviceList {
 public:
  AttributeList(Object holder, std::string name)
      : holder_(std::move(holder)),
        name_(Object::steal(PyString_InternFromString(name.c_str()))) {}
  void append(const std::string& dev) override {
    list().call_method("append", Object::tuple_of(str(dev)));
  }
  bool contains(const std::string& dev) override {
    Object l = list();
    // A list of plain texts is searched as `in` would search it, without
    // making a text of dev; anything else is asked.
    if (PyList_CheckExact(l.get())) {
      bool plain = true;
      for (Py_ssize_t i = 0; i < PyList_GET_SIZE(l.get()) && plain; ++i) {
        PyObject* item = PyList_GET_ITEM(l.get(), i);
        if (!PyString_CheckExact(item)) plain = false;
        else if (static_cast<size_t>(PyString_GET_SIZE(item)) == dev.size() &&
                 std::memcmp(PyString_AS_STRING(item), dev.data(), dev.size()) == 0)
          return true;
      }
      if (plain) return false;
    }
    int r = PySequence_Contains(l.get(), str(dev).get());
    if (r < 0) throw_pending();
    return r != 0;
  }

 private:
  Object list() const { return Object::steal(PyObject_GetAttr(holder_.get(), name_.get())); }
  Object holder_;
  Object name_;
};

class GlobalsServices : public nv::ServiceFactory {
 public:
  GlobalsServices(Object globals, OutsideMakers makers)
      : globals_(std::move(globals)), makers_(std::move(makers)) {}
  std::shared_ptr<nv::PortTable> make_port_table() override {
    return port_table(make(makers_.port_table));
  }
  std::shared_ptr<nv::VrfDb> make_vrf_db() override { return vrf_db(make(makers_.vrf_db)); }
  // A client module that failed to import is None among the globals, and
  // the lookup of its class fails with the interpreter's AttributeError.
  std::shared_ptr<nv::DiagShell> make_shell() override { return diag_shell(make(makers_.shell)); }

 private:
  Object make(const Maker& m) {
    const std::string& first = m.path.at(0);
    PyObject* v = PyDict_GetItemString(globals_.get(), first.c_str());  // borrowed
    if (!v) raise(PyExc_NameError, "global name '" + first + "' is not defined");
    Object target = Object::borrow(v);
    for (size_t i = 1; i < m.path.size(); ++i) target = target.attr(m.path[i].c_str());
    Object kwargs = Object::steal(PyDict_New());
    for (const auto& [name, value] : m.keywords)
      if (PyDict_SetItemString(kwargs.get(), name.c_str(), value.get()) < 0) throw_pending();
    return target.call(Object::steal(PyTuple_New(0)), kwargs);
  }

  Object globals_;
  OutsideMakers makers_;
};

}  // namespace

std::shared_ptr<nv::ServiceFactory> services_from_globals(Object globals, OutsideMakers makers) {
  return std::make_shared<GlobalsServices>(std::move(globals), std::move(makers));
}

std::shared_ptr<nv::DiagShell> diag_shell(Object client) {
  return std::make_shared<Shell>(std::move(client));
}
std::shared_ptr<nv::PortTable> port_table(Object table) {
  return std::make_shared<Ports>(std::move(table));
}
std::shared_ptr<nv::NameSet> name_set(Object names) {
  return std::make_shared<Names>(std::move(names));
}
nv::Value PeerArg::check_orig_mroute(const nv::Value& asic, const nv::Value& src,
                                     const nv::Value& grp) {
  return Convert<nv::Value>::from(
      object()
          .call_method("check_orig_mroute",
                       Object::tuple_of(Convert<nv::Value>::to(asic), Convert<nv::Value>::to(src),
                                        Convert<nv::Value>::to(grp)))
          .get());
}

nv::Value PeerArg::check_term_mroute(const nv::Value& src, const nv::Value& grp) {
  return Convert<nv::Value>::from(
      object()
          .call_method("check_term_mroute",
                       Object::tuple_of(Convert<nv::Value>::to(src), Convert<nv::Value>::to(grp)))
          .get());
}

std::shared_ptr<nv::VrfDb> vrf_db(Object db) { return std::make_shared<Vrfs>(std::move(db)); }
std::shared_ptr<nv::Console> sys_stdout() { return std::make_shared<Stdout>(); }
std::shared_ptr<nv::DeviceList> attribute_list(Object holder, std::string name) {
  return std::make_shared<AttributeList>(std::move(holder), std::move(name));
}

}  // namespace py
