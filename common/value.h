// A value the host hands to one of the checker's methods, as the checker
// compares, formats and returns it.  The host may pass any object where the
// checker only compares: a text equals only an equal text, an integer only
// an equal integer, None only None, and anything else nothing.  The object
// itself is kept (by the binding layer), so that a method that gives back
// what it was given gives back that very object.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nv {

// The host's object behind a Value.
class HostObject {
 public:
  virtual ~HostObject() = default;
  virtual std::string str() const = 0;        // str(o)
  virtual std::string type_name() const = 0;  // type(o).__name__
};

struct Value {
  enum class Kind { None, Int, Text, Other };

  Value() = default;
  Value(std::nullopt_t) {}
  Value(long n) : kind(Kind::Int), number(n) {}
  Value(int n) : Value(static_cast<long>(n)) {}
  Value(std::string s) : kind(Kind::Text), text(std::move(s)) {}
  Value(const char* s) : Value(std::string(s)) {}
  Value(std::string_view s) : Value(std::string(s)) {}
  Value(const std::optional<std::string>& s) : Value(s ? Value(*s) : Value()) {}

  bool is_none() const { return kind == Kind::None; }
  bool is_int() const { return kind == Kind::Int; }
  bool is_text() const { return kind == Kind::Text; }
  // The text, or null when the value is none.
  const std::string* as_text() const { return is_text() ? &text : nullptr; }

  // The host's ==, against a text, an integer or an optional text (None).
  bool operator==(std::string_view s) const { return is_text() && text == s; }
  bool operator==(const char* s) const { return *this == std::string_view(s); }
  bool operator==(long n) const { return is_int() && number == n; }
  bool operator==(const std::optional<std::string>& s) const {
    return s ? *this == std::string_view(*s) : is_none();
  }
  bool operator==(const Value& o) const;

  // True or False of the host: an integer that the host sees as a bool.
  static Value boolean(bool b) {
    Value v(b ? 1L : 0L);
    v.is_bool = true;
    return v;
  }

  Kind kind = Kind::None;
  long number = 0;
  bool is_bool = false;
  std::string text;
  std::shared_ptr<const HostObject> origin;  // set when the host gave it
};

// An argument the host may leave out or give as anything false (None, an
// empty list): no value then, as the host's own `if x:` decides.
template <class T>
struct WhenTrue : std::optional<T> {
  using std::optional<T>::optional;
};

// An iterable the host hands in, walked only when the checker walks it and
// item by item, as the host's `for` does: a generator yields each item when
// it is asked for it, and what it raises comes out of the walk.
template <class T>
class Iterable {
 public:
  using Each = std::function<void(const T&)>;
  using Walker = std::function<void(const Each&)>;

  // What values() appends every item to, in one walk like the walker's.
  using Collector = std::function<void(std::vector<T>&)>;

  explicit Iterable(Walker walker, Collector collect = nullptr)
      : walker_(std::move(walker)), collect_(std::move(collect)) {}
  Iterable(std::vector<T> items)
      : walker_([items = std::move(items)](const Each& f) {
          for (const T& x : items) f(x);
        }) {}

  void for_each(const Each& f) const { walker_(f); }
  std::vector<T> values() const {
    std::vector<T> out;
    if (collect_) collect_(out);
    else for_each([&](const T& x) { out.push_back(x); });
    return out;
  }

 private:
  Walker walker_;
  Collector collect_;
};

// type(v).__name__
std::string type_name(const Value& v);
// str(v)
std::string str(const Value& v);
// int(v, base): TypeError for anything but a text.
long int_with_base(const Value& v, int base);
// "%d" % v: TypeError for anything but an integer.
long percent_d(const Value& v);

}  // namespace nv
