#include "common/value.h"

#include "common/errors.h"
#include "common/text.h"

namespace nv {

bool Value::operator==(const Value& o) const {
  if (kind != o.kind) return false;
  switch (kind) {
    case Kind::None: return true;
    case Kind::Int: return number == o.number;
    case Kind::Text: return text == o.text;
    case Kind::Other: return origin == o.origin;  // only itself
  }
  return false;
}

std::string type_name(const Value& v) {
  if (v.origin) return v.origin->type_name();
  switch (v.kind) {
    case Value::Kind::None: return "NoneType";
    case Value::Kind::Int: return "int";
    case Value::Kind::Text: return "str";
    case Value::Kind::Other: break;
  }
  return "object";
}

std::string str(const Value& v) {
  switch (v.kind) {
    case Value::Kind::None: return "None";
    case Value::Kind::Int: return std::to_string(v.number);
    case Value::Kind::Text: return v.text;
    case Value::Kind::Other: break;
  }
  return v.origin ? v.origin->str() : std::string();
}

long int_with_base(const Value& v, int base) {
  if (!v.is_text()) throw TypeError("int() can't convert non-string with explicit base");
  return parse_int(v.text, base);
}

long percent_d(const Value& v) {
  if (!v.is_int()) throw TypeError("%d format: a number is required, not " + type_name(v));
  return v.number;
}

}  // namespace nv
