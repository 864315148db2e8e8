// Operations on the host interpreter's objects, each as the interpreter's
// own statement or expression would do it (same results, same errors), for
// code that works on the host's data directly: the VXLAN checker's tables
// are the records of a loaded dump.
//
// Kept beside the VXLAN checker until the binding toolkit takes them over.
#pragma once

#include <Python.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "common/errors.h"
#include "python/object.h"

namespace pyx {

using py::Object;

// --- statements of a module body besides "import a.b"

// from module import a, b
void import_from(PyObject* globals, const char* module, std::initializer_list<const char*> names);
// from module import *
void import_star(PyObject* globals, const char* module);
// import a.b as name
void import_as(PyObject* globals, const char* module, const char* name);

// A name of the module's globals, looked up now; NameError when it is not
// bound.
Object global(PyObject* globals, const char* name);

// --- expressions

Object text(std::string_view s);
Object dict();
Object list();
bool truth(const Object& o);
bool is_text(const Object& o);
// An int or a long, not a bool.
bool is_plain_integer(const Object& o);

Object item(const Object& o, const Object& key);  // o[key]
Object item(const Object& o, const char* key);
void set_item(const Object& o, const Object& key, const Object& value);  // o[key] = value
void set_item(const Object& o, const char* key, const Object& value);
Object get(const Object& m, const Object& key, const Object& fallback);  // m.get(key, fallback)
Object get(const Object& m, const char* key);                             // m.get(key)
bool contains(const Object& container, const Object& value);             // value in container
bool equals(const Object& a, const Object& b);                           // a == b
bool equals(const Object& a, long n);
void append(const Object& list, const Object& value);

// m.items(): the pairs as one list, taken at once, in the mapping's order.
std::vector<std::pair<Object, Object>> items(const Object& m);
// list(o)
std::vector<Object> elements(const Object& o);
// a, b, ... = o, with the interpreter's messages for a count that differs.
std::vector<Object> unpack(const Object& o, size_t n);

Object split(const Object& s);                   // s.split()
Object split(const Object& s, const char* sep);  // s.split(sep)
Object str_of(const Object& o);                  // str(o)
Object to_int(const Object& o);                  // int(o)
Object to_int(const Object& o, int base);        // int(o, base)
Object hex_of(const Object& o);                  // hex(o), without the L of a long
Object add(const Object& a, const Object& b);    // a + b
Object bit_and(const Object& a, long n);         // a & n
// fmt % args: `args` is a tuple of the values.
Object format(const char* fmt, const Object& args);

// print o: the print statement's writes to whatever sys.stdout is now.
void print(const Object& o);
void print(std::string_view line);

// raise Exception(message)
[[noreturn]] void raise_exception(const Object& message);
[[noreturn]] void raise_exception(const std::string& message);
// The IOError of the interpreter's open() for a file that could not be
// read (errno, text and file name), from the C++ error of a read.
[[noreturn]] void raise_file_error(const nv::Error& e, const std::string& path);

}  // namespace pyx
