#include "tirrow/yaml_loader.h"

#include <datetime.h>
#include <yaml.h>

#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "python/errors.h"
#include "python/function.h"

namespace nv::yaml {

namespace {

using std::string_view;

// Decimal integer texts longer than this fail: converting them takes time
// that grows with the square of their length (the reference interpreter
// refuses them at the same length).
constexpr size_t kMaxDecimalDigits = 4300;

// Merge keys copy entries: a short text that merges one large mapping into
// many others would fill the host's memory.  The entries copied by all
// merges of a load are limited to one per byte of input, beyond a fixed
// allowance that no ordinary document comes near.
constexpr size_t kMergeAllowance = 1000000;

// A failure found while building the document; the loader adds the place
// and raises it as YAMLError.
struct LoadError {
  std::string message;
};

// The text of the pending interpreter error, which is cleared.
std::string pending_text() {
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  std::string text = type ? PyExceptionClass_Name(type) : "error";
  if (value) {
    if (PyObject* s = PyObject_Str(value)) {
      if (PyString_Check(s) && PyString_GET_SIZE(s) > 0) text = PyString_AS_STRING(s);
      Py_DECREF(s);
    }
    PyErr_Clear();
  }
  Py_XDECREF(type);
  Py_XDECREF(value);
  Py_XDECREF(traceback);
  return text;
}

// A new reference from the interpreter; a failure becomes a LoadError with
// its text, except that running out of memory stays MemoryError.
py::Object own(PyObject* p) {
  if (!p) {
    if (PyErr_ExceptionMatches(PyExc_MemoryError)) py::throw_pending();
    throw LoadError{pending_text()};
  }
  return py::Object::steal(p);
}

std::string quoted(string_view s) { return "'" + std::string(s) + "'"; }

// --- tags

enum class Tag : unsigned char {
  Implicit,  // none, or the non-specific "!": the node's kind (and for a
             // plain scalar its text) decides
  Null, Bool, Int, Float, Binary, Timestamp, Str,
  Seq, Omap, Pairs, Map, Set,
  Merge, Value,
  Unknown,
};

Tag tag_of(const char* tag) {
  if (!tag || std::strcmp(tag, "!") == 0) return Tag::Implicit;
  static constexpr string_view kPrefix = "tag:yaml.org,2002:";
  string_view t(tag);
  if (t.substr(0, kPrefix.size()) != kPrefix) return Tag::Unknown;
  t.remove_prefix(kPrefix.size());
  static const std::pair<string_view, Tag> kTags[] = {
      {"null", Tag::Null}, {"bool", Tag::Bool}, {"int", Tag::Int}, {"float", Tag::Float},
      {"binary", Tag::Binary}, {"timestamp", Tag::Timestamp}, {"str", Tag::Str},
      {"seq", Tag::Seq}, {"omap", Tag::Omap}, {"pairs", Tag::Pairs}, {"map", Tag::Map},
      {"set", Tag::Set}, {"merge", Tag::Merge}, {"value", Tag::Value}};
  for (const auto& [name, value] : kTags)
    if (t == name) return value;
  return Tag::Unknown;
}

enum class Kind : unsigned char { Scalar, Sequence, Mapping };

const char* kind_name(Kind k) {
  switch (k) {
    case Kind::Scalar: return "scalar";
    case Kind::Sequence: return "sequence";
    case Kind::Mapping: return "mapping";
  }
  return "node";
}

// The kind of node a tag's constructor takes; Unknown tags have none.
std::optional<Kind> kind_of(Tag t) {
  switch (t) {
    case Tag::Seq: case Tag::Omap: case Tag::Pairs: return Kind::Sequence;
    case Tag::Map: case Tag::Set: return Kind::Mapping;
    case Tag::Unknown: case Tag::Merge: case Tag::Value: return std::nullopt;
    default: return Kind::Scalar;
  }
}

[[noreturn]] void no_constructor(string_view tag) {
  throw LoadError{"could not determine a constructor for the tag " + quoted(tag)};
}

// A tag that does not fit the node it is on.
[[noreturn]] void wrong_tag(Tag t, const char* tag, Kind found) {
  std::optional<Kind> wanted = kind_of(t);
  if (!wanted) no_constructor(tag);
  throw LoadError{std::string("expected a ") + kind_name(*wanted) + " node for the tag " +
                  quoted(tag) + ", but found a " + kind_name(found)};
}

// --- the implicit types of plain scalars (the YAML 1.1 patterns)

constexpr bool digit(char c) { return c >= '0' && c <= '9'; }
constexpr bool hex_digit(char c) {
  return digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
constexpr bool blank(char c) { return c == ' ' || c == '\t'; }

// Past [0-9_]* from i.
size_t skip_number(string_view s, size_t i) {
  while (i < s.size() && (digit(s[i]) || s[i] == '_')) ++i;
  return i;
}

// (:[0-5]?[0-9])+ from i: the end of the groups, or npos when there is no
// group or a group has more digits.
size_t base60_groups(string_view s, size_t i) {
  size_t groups = 0;
  while (i < s.size() && s[i] == ':') {
    size_t j = i + 1, k = j;
    while (k < s.size() && digit(s[k])) ++k;
    if (!(k - j == 1 || (k - j == 2 && s[j] <= '5'))) return string_view::npos;
    i = k;
    ++groups;
  }
  return groups ? i : string_view::npos;
}

bool is_bool(string_view t) {
  static constexpr string_view kWords[] = {"yes", "Yes", "YES", "no", "No", "NO",
                                           "true", "True", "TRUE", "false", "False", "FALSE",
                                           "on", "On", "ON", "off", "Off", "OFF"};
  for (string_view w : kWords)
    if (t == w) return true;
  return false;
}

bool is_null(string_view t) { return t == "~" || t == "null" || t == "Null" || t == "NULL"; }

bool is_int(string_view t) {
  size_t i = (!t.empty() && (t[0] == '-' || t[0] == '+')) ? 1 : 0;
  string_view r = t.substr(i);
  if (r.empty()) return false;
  auto all = [](string_view s, bool (*ok)(char)) {
    if (s.empty()) return false;
    for (char c : s)
      if (!ok(c) && c != '_') return false;
    return true;
  };
  if (r[0] == '0') {
    if (r.size() == 1) return true;
    if (r[1] == 'b') return all(r.substr(2), [](char c) { return c == '0' || c == '1'; });
    if (r[1] == 'x') return all(r.substr(2), [](char c) { return hex_digit(c); });
    return all(r.substr(1), [](char c) { return c >= '0' && c <= '7'; });
  }
  if (r[0] < '1' || r[0] > '9') return false;
  size_t j = skip_number(r, 1);
  return j == r.size() || base60_groups(r, j) == r.size();
}

// [eE][-+][0-9]+ to the end, from i; an empty rest is fine too.
bool exponent_to_end(string_view s, size_t i) {
  if (i == s.size()) return true;
  if ((s[i] != 'e' && s[i] != 'E') || i + 1 >= s.size() || (s[i + 1] != '-' && s[i + 1] != '+'))
    return false;
  const size_t begin = i += 2;
  while (i < s.size() && digit(s[i])) ++i;
  return i > begin && i == s.size();
}

bool is_float(string_view t) {
  if (t == ".nan" || t == ".NaN" || t == ".NAN") return true;
  size_t i = (!t.empty() && (t[0] == '-' || t[0] == '+')) ? 1 : 0;
  string_view r = t.substr(i);
  if (r == ".inf" || r == ".Inf" || r == ".INF") return true;
  if (r.empty()) return false;
  if (r[0] == '.') {
    // No sign before a bare fraction.
    if (i != 0 || r.size() < 2 || !digit(r[1])) return false;
    return exponent_to_end(r, skip_number(r, 2));
  }
  if (!digit(r[0])) return false;
  size_t j = skip_number(r, 1);
  if (j < r.size() && r[j] == '.') return exponent_to_end(r, skip_number(r, j + 1));
  if (j < r.size() && r[j] == ':') {
    size_t k = base60_groups(r, j);
    if (k == string_view::npos || k == r.size() || r[k] != '.') return false;
    return skip_number(r, k + 1) == r.size();
  }
  return false;
}

// A timestamp's fields, by the constructor's pattern:
// YYYY-M[M]-D[D], then optionally ([Tt]|[ \t]+)h[h]:mm:ss(.f*)? and
// ([ \t]*(Z|[-+]h[h](:mm)?))?.
struct Stamp {
  int year = 0, month = 0, day = 0;
  size_t month_digits = 0, day_digits = 0;
  bool has_time = false;
  int hour = 0, minute = 0, second = 0;
  string_view fraction;
  char zone = 0;  // 0, 'Z', '+' or '-'
  int zone_hour = 0, zone_minute = 0;
};

std::optional<Stamp> parse_stamp(string_view s) {
  Stamp st;
  size_t i = 0;
  auto number = [&](size_t min, size_t max, int& out) -> size_t {
    size_t n = 0;
    int v = 0;
    while (n < max && i < s.size() && digit(s[i])) v = v * 10 + (s[i++] - '0'), ++n;
    out = v;
    return n >= min ? n : 0;
  };
  auto literal = [&](char c) {
    if (i < s.size() && s[i] == c) return ++i, true;
    return false;
  };
  if (!number(4, 4, st.year) || !literal('-') || !(st.month_digits = number(1, 2, st.month)) ||
      !literal('-') || !(st.day_digits = number(1, 2, st.day)))
    return std::nullopt;
  if (i == s.size()) return st;
  if (s[i] == 'T' || s[i] == 't') {
    ++i;
  } else if (blank(s[i])) {
    while (i < s.size() && blank(s[i])) ++i;
  } else {
    return std::nullopt;
  }
  st.has_time = true;
  if (!number(1, 2, st.hour) || !literal(':') || !number(2, 2, st.minute) || !literal(':') ||
      !number(2, 2, st.second))
    return std::nullopt;
  if (literal('.')) {
    size_t b = i;
    while (i < s.size() && digit(s[i])) ++i;
    st.fraction = s.substr(b, i - b);
  }
  if (i == s.size()) return st;
  while (i < s.size() && blank(s[i])) ++i;
  if (literal('Z')) {
    st.zone = 'Z';
  } else if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    st.zone = s[i++];
    if (!number(1, 2, st.zone_hour)) return std::nullopt;
    if (literal(':') && !number(2, 2, st.zone_minute)) return std::nullopt;
  } else {
    return std::nullopt;
  }
  if (i != s.size()) return std::nullopt;
  return st;
}

// The patterns match a whole text, or a text but for one final line
// break, as the reference's patterns do.
string_view pattern_text(string_view s) {
  if (!s.empty() && s.back() == '\n') s.remove_suffix(1);
  return s;
}

// The type of a plain scalar (or of any scalar with the "!" tag), found by
// its first character and then the patterns in the reference's order.
Tag resolve_plain(string_view value) {
  if (value.empty()) return Tag::Null;
  string_view t = pattern_text(value);
  switch (value[0]) {
    case 'y': case 'Y': case 't': case 'T': case 'f': case 'F': case 'o': case 'O':
      return is_bool(t) ? Tag::Bool : Tag::Str;
    case 'n': case 'N':
      return is_bool(t) ? Tag::Bool : is_null(t) ? Tag::Null : Tag::Str;
    case '~':
      return t == "~" ? Tag::Null : Tag::Str;
    case '<':
      return t == "<<" ? Tag::Merge : Tag::Str;
    case '=':
      return t == "=" ? Tag::Value : Tag::Str;
    case '.':
      return is_float(t) ? Tag::Float : Tag::Str;
    case '-': case '+':
      return is_float(t) ? Tag::Float : is_int(t) ? Tag::Int : Tag::Str;
    case '0': case '1': case '2': case '3': case '4':
    case '5': case '6': case '7': case '8': case '9': {
      if (is_float(t)) return Tag::Float;
      if (is_int(t)) return Tag::Int;
      auto st = parse_stamp(t);
      if (st && (st->has_time || (st->month_digits == 2 && st->day_digits == 2)))
        return Tag::Timestamp;
      return Tag::Str;
    }
    default:
      return Tag::Str;
  }
}

// --- the scalar constructors, as the safe loader of the interpreter's
// version builds its values

bool is_ascii(string_view s) {
  unsigned char any = 0;
  for (char c : s) any |= static_cast<unsigned char>(c);
  return any < 0x80;
}

// str for ASCII text, unicode for the rest (libyaml gives valid UTF-8).
py::Object make_text(string_view s) {
  const auto n = static_cast<Py_ssize_t>(s.size());
  if (is_ascii(s)) return own(PyString_FromStringAndSize(s.data(), n));
  return own(PyUnicode_DecodeUTF8(s.data(), n, "strict"));
}

py::Object make_bool(string_view value) {
  std::string lower(value);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (lower == "yes" || lower == "true" || lower == "on") return py::boolean(true);
  if (lower == "no" || lower == "false" || lower == "off") return py::boolean(false);
  throw LoadError{"invalid boolean " + quoted(value)};
}

// An int within a C long, a long beyond.
py::Object normalized(py::Object x) {
  if (PyLong_CheckExact(x.get())) {
    int overflow = 0;
    long v = PyLong_AsLongAndOverflow(x.get(), &overflow);
    if (v == -1 && PyErr_Occurred()) return own(nullptr);
    if (!overflow) return own(PyInt_FromLong(v));
  }
  return x;
}

// The interpreter's int(text, base).
py::Object int_of(string_view text, int base) {
  if (base == 10) {
    if (!text.empty() && text.size() <= 18) {
      long v = 0;
      size_t i = 0;
      while (i < text.size() && digit(text[i])) v = v * 10 + (text[i++] - '0');
      if (i == text.size()) return own(PyInt_FromLong(v));
    }
    if (text.size() > kMaxDecimalDigits)
      throw LoadError{"integer of more than " + std::to_string(kMaxDecimalDigits) + " digits"};
  }
  py::Object s = own(PyString_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
  return own(PyObject_CallFunction(reinterpret_cast<PyObject*>(&PyInt_Type), const_cast<char*>("Oi"),
                                   s.get(), base));
}

py::Object make_int(string_view value) {
  std::string v;
  v.reserve(value.size());
  for (char c : value)
    if (c != '_') v += c;
  const bool negative = !v.empty() && v[0] == '-';
  string_view r(v);
  if (!r.empty() && (r[0] == '-' || r[0] == '+')) r.remove_prefix(1);
  if (r.empty()) throw LoadError{"invalid integer " + quoted(value)};
  if (r == "0") return py::integer(0);
  py::Object x;
  if (r.substr(0, 2) == "0b") {
    x = int_of(r.substr(2), 2);
  } else if (r.substr(0, 2) == "0x") {
    x = int_of(r.substr(2), 16);
  } else if (r[0] == '0') {
    x = int_of(r, 8);
  } else if (r.find(':') != string_view::npos) {
    // Base 60, the first group the most significant.
    if (r.size() > kMaxDecimalDigits)
      throw LoadError{"integer of more than " + std::to_string(kMaxDecimalDigits) + " digits"};
    x = py::integer(0);
    py::Object sixty = py::integer(60);
    size_t begin = 0;
    for (;;) {
      size_t colon = r.find(':', begin);
      py::Object group = int_of(r.substr(begin, colon - begin), 10);
      x = own(PyNumber_Add(own(PyNumber_Multiply(x.get(), sixty.get())).get(), group.get()));
      if (colon == string_view::npos) break;
      begin = colon + 1;
    }
  } else {
    x = int_of(r, 10);
  }
  if (negative) x = own(PyNumber_Negative(x.get()));
  return normalized(std::move(x));
}

py::Object make_float(string_view value, bool implicit) {
  std::string v;
  v.reserve(value.size());
  for (char c : value)
    if (c != '_') v += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  const double sign = (!v.empty() && v[0] == '-') ? -1.0 : 1.0;
  if (!v.empty() && (v[0] == '-' || v[0] == '+')) v.erase(0, 1);
  if (v.empty()) throw LoadError{"invalid float " + quoted(value)};
  if (v == ".inf") return own(PyFloat_FromDouble(sign * std::numeric_limits<double>::infinity()));
  if (v == ".nan") return own(PyFloat_FromDouble(std::numeric_limits<double>::quiet_NaN()));
  auto float_of = [](string_view text) {
    py::Object s = own(PyString_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
    return own(PyFloat_FromString(s.get(), nullptr));
  };
  if (v.find(':') != std::string::npos) {
    // Base 60 as the reference sums it: from the last group on, each group
    // times a growing integer power of 60 (too many groups overflow).
    py::Object sum = own(PyFloat_FromDouble(0.0));
    py::Object base = py::integer(1);
    py::Object sixty = py::integer(60);
    for (size_t end = v.size();;) {
      const size_t colon = end == 0 ? std::string::npos : v.rfind(':', end - 1);
      const size_t begin = colon == std::string::npos ? 0 : colon + 1;
      py::Object group = float_of(string_view(v).substr(begin, end - begin));
      py::Object term = own(PyNumber_Multiply(group.get(), base.get()));
      sum = own(PyNumber_Add(sum.get(), term.get()));
      if (colon == std::string::npos) break;
      base = own(PyNumber_Multiply(base.get(), sixty.get()));
      end = colon;
    }
    return own(PyFloat_FromDouble(sign * PyFloat_AS_DOUBLE(sum.get())));
  }
  if (implicit) {
    // The pattern admitted only digits, one point and an exponent.
    char* end = nullptr;
    double d = PyOS_string_to_double(v.c_str(), &end, nullptr);
    if (d == -1.0 && PyErr_Occurred()) return own(nullptr);
    if (*end == '\0') return own(PyFloat_FromDouble(sign * d));
  }
  py::Object f = float_of(v);
  return own(PyFloat_FromDouble(sign * PyFloat_AS_DOUBLE(f.get())));
}

// Dates as date, date and time as a naive datetime in UTC.
py::Object make_timestamp(string_view value) {
  std::optional<Stamp> st = parse_stamp(pattern_text(value));
  if (!st) throw LoadError{"invalid timestamp " + quoted(value)};
  if (!PyDateTimeAPI) {
    PyDateTime_IMPORT;
    if (!PyDateTimeAPI) own(nullptr);
  }
  // Through the types themselves: the C interface's constructors do not
  // check the fields (a 30th of February would load).
  auto* date_type = reinterpret_cast<PyObject*>(PyDateTimeAPI->DateType);
  auto* datetime_type = reinterpret_cast<PyObject*>(PyDateTimeAPI->DateTimeType);
  if (!st->has_time)
    return own(PyObject_CallFunction(date_type, const_cast<char*>("iii"), st->year, st->month,
                                     st->day));
  int micro = 0;
  for (size_t i = 0; i < 6; ++i)
    micro = micro * 10 + (i < st->fraction.size() ? st->fraction[i] - '0' : 0);
  py::Object t = own(PyObject_CallFunction(datetime_type, const_cast<char*>("iiiiiii"), st->year,
                                           st->month, st->day, st->hour, st->minute, st->second,
                                           micro));
  if (st->zone == '+' || st->zone == '-') {
    int seconds = st->zone_hour * 3600 + st->zone_minute * 60;
    if (st->zone == '-') seconds = -seconds;
    if (seconds != 0) {
      py::Object offset = own(PyDelta_FromDSU(0, seconds, 0));
      t = own(PyNumber_Subtract(t.get(), offset.get()));
    }
  }
  return t;
}

// The interpreter's base64 decoding, which skips what is not base64.
py::Object make_binary(string_view value) {
  if (!is_ascii(value)) throw LoadError{"failed to convert base64 data into ascii"};
  static PyObject* decode = nullptr;  // kept for the life of the interpreter
  if (!decode) {
    py::Object binascii = own(PyImport_ImportModule("binascii"));
    decode = own(PyObject_GetAttrString(binascii.get(), "a2b_base64")).release();
  }
  py::Object s = own(PyString_FromStringAndSize(value.data(), static_cast<Py_ssize_t>(value.size())));
  PyObject* r = PyObject_CallFunctionObjArgs(decode, s.get(), nullptr);
  if (!r && !PyErr_ExceptionMatches(PyExc_MemoryError))
    throw LoadError{"failed to decode base64 data: " + pending_text()};
  return own(r);
}

py::Object make_scalar(Tag t, const char* tag, string_view value, bool implicit) {
  switch (t) {
    case Tag::Str: return make_text(value);
    case Tag::Null: return py::Object::none();
    case Tag::Bool: return make_bool(value);
    case Tag::Int: return make_int(value);
    case Tag::Float: return make_float(value, implicit);
    case Tag::Timestamp: return make_timestamp(value);
    case Tag::Binary: return make_binary(value);
    default: wrong_tag(t, tag, Kind::Scalar);
  }
}

// --- the composer and constructor in one pass over the events

// What a merge key or "=" key stands for, where a mapping key is expected.
enum class Special : unsigned char { None, Merge, ValueKey };

struct Node {
  py::Object value;
  Kind kind;
  Special special = Special::None;
};

class Loader {
 public:
  explicit Loader(string_view input)
      : input_(input), merge_budget_(kMergeAllowance + input.size()) {}
  py::Object run();

 private:
  enum class FrameKind : unsigned char {
    Seq,   // a list
    Omap,  // a list of (key, value) tuples: !!omap and !!pairs
    Pair,  // a mapping inside an Omap, giving one tuple
    Map,   // a dict
    Set,   // a set: the keys of a mapping
  };
  struct Frame {
    FrameKind kind;
    py::Object object;  // the list, dict or set; none for a Pair
    py::Object key;
    bool has_key = false;
    bool merge_next = false;  // the pending key is a merge key
    py::Object merges;        // dicts to merge in, in the order they apply
    size_t pairs = 0;         // Pair: items seen
    py::Object first_value;   // Pair: the value of the first item
  };

  void scalar(const yaml_event_t& e);
  void alias(const yaml_event_t& e);
  void start(const yaml_event_t& e, Kind kind);
  void end();
  void deliver(Node node);
  void insert(Frame& f, Node value);
  void add_merge(Frame& f, const Node& source);
  void apply_merges(Frame& f);
  py::Object pair_of(const Node& node);
  bool is_open(PyObject* o) const;
  void keep_anchor(const char* anchor, const Node& node);
  [[noreturn]] static void parse_error(const yaml_parser_t& p);

  string_view input_;
  size_t merge_budget_;  // entries that merges may still copy
  std::vector<Frame> stack_;
  std::unordered_map<std::string, Node> anchors_;
  py::Object root_;
};

std::string place(const yaml_mark_t& m) {
  return "line " + std::to_string(m.line + 1) + ", column " + std::to_string(m.column + 1);
}

void no_special(const Node& node) {
  if (node.special == Special::Merge) no_constructor("tag:yaml.org,2002:merge");
  if (node.special == Special::ValueKey) no_constructor("tag:yaml.org,2002:value");
}

void Loader::parse_error(const yaml_parser_t& p) {
  if (p.error == YAML_MEMORY_ERROR) throw std::bad_alloc();
  std::string m;
  if (p.context) m = std::string(p.context) + " (" + place(p.context_mark) + "): ";
  m += p.problem ? p.problem : "invalid YAML";
  if (p.error == YAML_READER_ERROR) {
    if (p.problem_value != -1) {
      char code[16];
      std::snprintf(code, sizeof code, " #x%X", static_cast<unsigned>(p.problem_value));
      m += code;
    }
    m += " at byte " + std::to_string(p.problem_offset);
  } else {
    m += " (" + place(p.problem_mark) + ")";
  }
  py::raise(error_type().get(), m);
}

py::Object Loader::run() {
  struct Parser {
    yaml_parser_t p;
    Parser() {
      if (!yaml_parser_initialize(&p)) throw std::bad_alloc();
    }
    ~Parser() { yaml_parser_delete(&p); }
  } parser;
  struct Event {
    yaml_event_t e;
    ~Event() { yaml_event_delete(&e); }
  };
  yaml_parser_set_input_string(&parser.p, reinterpret_cast<const unsigned char*>(input_.data()),
                               input_.size());
  int documents = 0;
  for (;;) {
    Event ev;  // yaml_parser_parse clears it first, even when it fails
    if (!yaml_parser_parse(&parser.p, &ev.e)) parse_error(parser.p);
    try {
      switch (ev.e.type) {
        case YAML_STREAM_END_EVENT:
          return root_ ? root_ : py::Object::none();
        case YAML_DOCUMENT_START_EVENT:
          if (++documents > 1)
            throw LoadError{"expected a single document in the stream, but found another document"};
          break;
        case YAML_ALIAS_EVENT: alias(ev.e); break;
        case YAML_SCALAR_EVENT: scalar(ev.e); break;
        case YAML_SEQUENCE_START_EVENT: start(ev.e, Kind::Sequence); break;
        case YAML_MAPPING_START_EVENT: start(ev.e, Kind::Mapping); break;
        case YAML_SEQUENCE_END_EVENT:
        case YAML_MAPPING_END_EVENT: end(); break;
        default: break;
      }
    } catch (const LoadError& err) {
      py::raise(error_type().get(), err.message + " (" + place(ev.e.start_mark) + ")");
    }
  }
}

void Loader::keep_anchor(const char* anchor, const Node& node) {
  if (!anchor) return;
  auto [it, fresh] = anchors_.emplace(anchor, node);
  if (!fresh) throw LoadError{"found duplicate anchor " + quoted(anchor)};
}

void Loader::scalar(const yaml_event_t& e) {
  const auto& s = e.data.scalar;
  string_view value(reinterpret_cast<const char*>(s.value), s.length);
  const char* tag = reinterpret_cast<const char*>(s.tag);
  Tag t = tag_of(tag);
  const bool implicit = t == Tag::Implicit;
  // A plain scalar, or any scalar with the "!" tag (even an empty one, for
  // which libyaml leaves plain_implicit unset), takes its implicit type.
  if (implicit) t = (tag || s.plain_implicit) ? resolve_plain(value) : Tag::Str;
  Node node{py::Object(), Kind::Scalar};
  if (t == Tag::Merge) {
    node.value = py::Object::none();
    node.special = Special::Merge;
  } else if (t == Tag::Value) {
    node.value = make_text(value);
    node.special = Special::ValueKey;
  } else {
    node.value = make_scalar(t, tag, value, implicit);
  }
  keep_anchor(reinterpret_cast<const char*>(s.anchor), node);
  deliver(std::move(node));
}

void Loader::alias(const yaml_event_t& e) {
  const char* name = reinterpret_cast<const char*>(e.data.alias.anchor);
  auto it = anchors_.find(name);
  if (it == anchors_.end()) throw LoadError{"found undefined alias " + quoted(name)};
  deliver(it->second);
}

void Loader::start(const yaml_event_t& e, Kind kind) {
  if (stack_.size() >= kMaxDepth)
    throw LoadError{"collections nested deeper than " + std::to_string(kMaxDepth) + " levels"};
  const bool sequence = kind == Kind::Sequence;
  const char* tag = reinterpret_cast<const char*>(sequence ? e.data.sequence_start.tag
                                                           : e.data.mapping_start.tag);
  const char* anchor = reinterpret_cast<const char*>(sequence ? e.data.sequence_start.anchor
                                                              : e.data.mapping_start.anchor);
  const Tag t = tag_of(tag);
  Frame f;
  if (sequence) {
    if (t == Tag::Implicit || t == Tag::Seq) f.kind = FrameKind::Seq;
    else if (t == Tag::Omap || t == Tag::Pairs) f.kind = FrameKind::Omap;
    else wrong_tag(t, tag, kind);
    f.object = own(PyList_New(0));
  } else if (!anchor && !stack_.empty() && stack_.back().kind == FrameKind::Omap) {
    // An item of an ordered map: its one key and value make a tuple, as
    // they are (no merge, any key); its own tag is not looked at, but it
    // must be one the loader knows.
    if (t == Tag::Unknown) no_constructor(tag);
    f.kind = FrameKind::Pair;
  } else {
    if (t == Tag::Implicit || t == Tag::Map) {
      f.kind = FrameKind::Map;
      f.object = own(PyDict_New());
    } else if (t == Tag::Set) {
      f.kind = FrameKind::Set;
      f.object = own(PySet_New(nullptr));
    } else {
      wrong_tag(t, tag, kind);
    }
  }
  // Registered before the content, so that an alias inside gives the
  // collection itself.
  if (f.object) keep_anchor(anchor, Node{f.object, kind});
  stack_.push_back(std::move(f));
}

void Loader::end() {
  Frame f = std::move(stack_.back());
  stack_.pop_back();
  switch (f.kind) {
    case FrameKind::Pair: {
      if (f.pairs != 1)
        throw LoadError{"expected a single mapping item, but found " + std::to_string(f.pairs) +
                        " items"};
      py::Object pair = py::Object::tuple_of(f.key, f.first_value);
      if (PyList_Append(stack_.back().object.get(), pair.get()) < 0) own(nullptr);
      return;
    }
    case FrameKind::Map:
    case FrameKind::Set:
      if (f.merges) apply_merges(f);
      deliver(Node{std::move(f.object), Kind::Mapping});
      return;
    case FrameKind::Seq:
    case FrameKind::Omap:
      deliver(Node{std::move(f.object), Kind::Sequence});
      return;
  }
}

bool Loader::is_open(PyObject* o) const {
  for (const Frame& f : stack_)
    if (f.object.get() == o) return true;
  return false;
}

void Loader::deliver(Node node) {
  if (stack_.empty()) {
    no_special(node);
    root_ = std::move(node.value);
    return;
  }
  Frame& f = stack_.back();
  switch (f.kind) {
    case FrameKind::Seq:
      no_special(node);
      if (PyList_Append(f.object.get(), node.value.get()) < 0) own(nullptr);
      return;
    case FrameKind::Omap: {
      no_special(node);
      py::Object pair = pair_of(node);
      if (PyList_Append(f.object.get(), pair.get()) < 0) own(nullptr);
      return;
    }
    case FrameKind::Pair:
      no_special(node);
      if (!f.has_key) {
        if (f.pairs == 0) f.key = std::move(node.value);
        f.has_key = true;
      } else {
        if (f.pairs++ == 0) f.first_value = std::move(node.value);
        f.has_key = false;
      }
      return;
    case FrameKind::Map:
    case FrameKind::Set:
      if (!f.has_key) {
        f.has_key = true;
        f.merge_next = node.special == Special::Merge;
        f.key = std::move(node.value);  // an "=" key is its text
        return;
      }
      no_special(node);
      f.has_key = false;
      if (f.merge_next) {
        f.merge_next = false;
        add_merge(f, node);
      } else {
        insert(f, std::move(node));
      }
      f.key = py::Object();
      return;
  }
}

void Loader::insert(Frame& f, Node value) {
  // A later key replaces an earlier equal one.
  int r = f.kind == FrameKind::Map ? PyDict_SetItem(f.object.get(), f.key.get(), value.value.get())
                                   : PySet_Add(f.object.get(), f.key.get());
  if (r < 0) {
    if (PyErr_ExceptionMatches(PyExc_TypeError)) {
      PyErr_Clear();
      throw LoadError{std::string("found unhashable key (") + Py_TYPE(f.key.get())->tp_name + ")"};
    }
    own(nullptr);
  }
}

// A merge key's value: a mapping, or a list of mappings of which the first
// wins.  Own keys win over merged ones and later merge keys over earlier
// ones, whatever their place, so the merges are applied at the end.
void Loader::add_merge(Frame& f, const Node& source) {
  if (!f.merges) f.merges = own(PyList_New(0));
  auto add = [&](PyObject* m) {
    if (m == f.object.get()) return;  // a mapping merged into itself adds nothing
    if (is_open(m))
      throw LoadError{"cannot merge a mapping into one of its own members"};
    if (PyList_Append(f.merges.get(), m) < 0) own(nullptr);
  };
  PyObject* v = source.value.get();
  if (source.kind == Kind::Mapping && PyDict_CheckExact(v)) {
    add(v);
    return;
  }
  if (source.kind == Kind::Sequence && PyList_CheckExact(v)) {
    if (is_open(v)) throw LoadError{"cannot merge a list of mappings that holds the merge"};
    for (Py_ssize_t i = PyList_GET_SIZE(v); i-- > 0;) {
      PyObject* m = PyList_GET_ITEM(v, i);
      if (!PyDict_CheckExact(m))
        throw LoadError{std::string("expected a mapping for merging, but found ") +
                        Py_TYPE(m)->tp_name};
      add(m);
    }
    return;
  }
  throw LoadError{std::string("expected a mapping or list of mappings for merging, but found ") +
                  (source.kind == Kind::Mapping ? Py_TYPE(v)->tp_name : kind_name(source.kind))};
}

void Loader::apply_merges(Frame& f) {
  PyObject* target = f.object.get();
  const Py_ssize_t n = PyList_GET_SIZE(f.merges.get());
  size_t copies = 0;
  for (Py_ssize_t i = 0; i < n; ++i)
    copies += static_cast<size_t>(PyDict_Size(PyList_GET_ITEM(f.merges.get(), i)));
  if (copies > merge_budget_)
    throw LoadError{"merge keys copy more entries than the document's size allows (" +
                    std::to_string(kMergeAllowance + input_.size()) + ")"};
  merge_budget_ -= copies;
  if (f.kind == FrameKind::Set) {
    for (Py_ssize_t i = 0; i < n; ++i) {
      PyObject *key, *value;
      Py_ssize_t pos = 0;
      while (PyDict_Next(PyList_GET_ITEM(f.merges.get(), i), &pos, &key, &value))
        if (PySet_Add(target, key) < 0) own(nullptr);
    }
    return;
  }
  py::Object all = own(PyDict_New());
  for (Py_ssize_t i = 0; i < n; ++i)
    if (PyDict_Update(all.get(), PyList_GET_ITEM(f.merges.get(), i)) < 0) own(nullptr);
  if (PyDict_Update(all.get(), target) < 0) own(nullptr);
  PyDict_Clear(target);
  if (PyDict_Update(target, all.get()) < 0) own(nullptr);
}

// An ordered map's item given as a whole mapping (an alias, or a mapping
// with an anchor): it must hold exactly one item.
py::Object Loader::pair_of(const Node& node) {
  PyObject* v = node.value.get();
  if (node.kind != Kind::Mapping || !PyDict_CheckExact(v) || is_open(v))
    throw LoadError{std::string("expected a mapping of length 1, but found a ") +
                    (node.kind == Kind::Mapping ? Py_TYPE(v)->tp_name : kind_name(node.kind))};
  if (PyDict_Size(v) != 1)
    throw LoadError{"expected a single mapping item, but found " +
                    std::to_string(PyDict_Size(v)) + " items"};
  PyObject *key, *value;
  Py_ssize_t pos = 0;
  PyDict_Next(v, &pos, &key, &value);
  return py::Object::tuple_of(py::Object::borrow(key), py::Object::borrow(value));
}

}  // namespace

py::Object error_type() {
  static PyObject* type = nullptr;  // created once, kept for the life of the interpreter
  if (!type) {
    type = PyErr_NewExceptionWithDoc(const_cast<char*>("yaml.YAMLError"),
                                     const_cast<char*>("The YAML text could not be loaded."),
                                     PyExc_Exception, nullptr);
    if (!type) py::throw_pending();
  }
  return py::Object::borrow(type);
}

py::Object safe_load(PyObject* text) {
  py::Object bytes;
  if (PyString_Check(text)) {
    bytes = py::Object::borrow(text);
  } else if (PyUnicode_Check(text)) {
    bytes = py::Object::steal(PyUnicode_AsUTF8String(text));
  } else {
    py::raise(PyExc_TypeError,
              std::string("safe_load() expects a string, not ") + Py_TYPE(text)->tp_name);
  }
  // The cycle collector would walk the growing document again and again;
  // nothing the load makes is garbage, so it rests until the load is done.
  struct CollectorPause {
    py::Object gc;
    bool paused = false;
    CollectorPause() : gc(py::Object::steal(PyImport_ImportModule("gc"))) {
      paused = py::truth(gc.call_method("isenabled", py::Object()).get());
      if (paused) gc.call_method("disable", py::Object());
    }
    ~CollectorPause() {
      if (!paused) return;
      PyObject *type, *value, *traceback;
      PyErr_Fetch(&type, &value, &traceback);
      PyObject* r = PyObject_CallMethod(gc.get(), const_cast<char*>("enable"), nullptr);
      if (r) Py_DECREF(r);
      PyErr_Restore(type, value, traceback);
    }
  } pause;
  Loader loader(string_view(PyString_AS_STRING(bytes.get()),
                            static_cast<size_t>(PyString_GET_SIZE(bytes.get()))));
  return loader.run();
}

py::Object make_module() {
  py::Object module = py::Object::steal(PyModule_New("yaml"));
  auto set = [&](const char* name, const py::Object& value) {
    if (PyObject_SetAttrString(module.get(), name, value.get()) < 0) py::throw_pending();
  };
  set("__doc__", py::str("YAML loading by the safe loader's rules."));
  set("YAMLError", error_type());
  set("safe_load", py::function(
                       "safe_load",
                       [](PyObject* args, PyObject* kwargs) {
                         py::Args a("safe_load", args, kwargs, {"stream"}, 1);
                         return safe_load(a[0]);
                       },
                       false));
  return module;
}

}  // namespace nv::yaml
