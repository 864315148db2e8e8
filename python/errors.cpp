#include "python/errors.h"

#include <new>

namespace py {

namespace {

PyObject* exception_type(nv::ErrorKind kind) {
  switch (kind) {
    case nv::ErrorKind::Runtime: return PyExc_RuntimeError;
    case nv::ErrorKind::IO: return PyExc_IOError;
    case nv::ErrorKind::OS: return PyExc_OSError;
    case nv::ErrorKind::Key: return PyExc_KeyError;
    case nv::ErrorKind::Value: return PyExc_ValueError;
    case nv::ErrorKind::Index: return PyExc_IndexError;
    case nv::ErrorKind::Type: return PyExc_TypeError;
    case nv::ErrorKind::Attribute: return PyExc_AttributeError;
    case nv::ErrorKind::Struct: return nullptr;
    case nv::ErrorKind::Exception: return PyExc_Exception;
  }
  return PyExc_SystemError;
}

void set_error(const nv::Error& e) {
  const std::string& m = e.message();
  switch (e.kind()) {
    case nv::ErrorKind::OS:
    case nv::ErrorKind::IO:
      if (e.error_number() != 0 && e.kind() == nv::ErrorKind::OS) {
        PyObject* args = Py_BuildValue("(is)", e.error_number(), m.c_str());
        PyErr_SetObject(exception_type(e.kind()), args);
        Py_XDECREF(args);
        return;
      }
      break;
    case nv::ErrorKind::Key: {
      // KeyError carries the key itself.
      PyObject* key = PyString_FromStringAndSize(m.data(), static_cast<Py_ssize_t>(m.size()));
      PyErr_SetObject(PyExc_KeyError, key);
      Py_XDECREF(key);
      return;
    }
    case nv::ErrorKind::Struct: {
      PyObject* mod = PyImport_ImportModule("struct");
      PyObject* type = mod ? PyObject_GetAttrString(mod, "error") : nullptr;
      Py_XDECREF(mod);
      if (!type) return;  // the import error stands
      PyErr_SetString(type, m.c_str());
      Py_DECREF(type);
      return;
    }
    default:
      break;
  }
  PyErr_SetString(exception_type(e.kind()), m.c_str());
}

}  // namespace

void set_error_from_current_exception() noexcept {
  try {
    throw;
  } catch (const nv::ForeignError& e) {
    auto pending = std::static_pointer_cast<PendingError>(e.payload());
    if (pending && pending->type) {
      Py_INCREF(pending->type);
      Py_XINCREF(pending->value);
      Py_XINCREF(pending->traceback);
      PyErr_Restore(pending->type, pending->value, pending->traceback);
    } else {
      PyErr_SetString(PyExc_RuntimeError, e.what());
    }
  } catch (const nv::Error& e) {
    set_error(e);
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    PyErr_SetString(PyExc_SystemError, e.what());
  } catch (...) {
    PyErr_SetString(PyExc_SystemError, "unknown C++ exception");
  }
}

}  // namespace py
