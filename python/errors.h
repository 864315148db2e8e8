// The exception bridge: C++ errors become the interpreter's exceptions, and
// an interpreter exception that travelled through C++ comes out unchanged.
#pragma once

#include <Python.h>

#include "python/object.h"

namespace py {

// Sets the interpreter's error from the C++ exception being handled.  Call
// only inside a catch block.
void set_error_from_current_exception() noexcept;

// Runs f (which gives an Object) and hands its result to the interpreter;
// any C++ exception becomes the interpreter's error and null is returned.
template <class F>
PyObject* guarded(F&& f) noexcept {
  try {
    return f().release();
  } catch (...) {
    set_error_from_current_exception();
    return nullptr;
  }
}

// Same for calls that give an int status (0 ok, -1 error).
template <class F>
int guarded_status(F&& f) noexcept {
  try {
    f();
    return 0;
  } catch (...) {
    set_error_from_current_exception();
    return -1;
  }
}

}  // namespace py
