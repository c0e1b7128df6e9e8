// Writing: objects, arrays and values as compact text with the module's own escapes.
#include <stdio.h>

#include <ostream>

#include "json/Locale.h"
#include "json/jsonxx.h"

namespace jsonxx {
namespace detail {
namespace {

void WriteString(std::string& out, const std::string& s) {
  static const char kHex[] = "0123456789abcdef";
  out += '"';
  for (char ch : s) {
    const unsigned char c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '/': out += "\\/"; break;
      case '\b': out += "\\b"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\f': out += "\\f"; break;
      case '\r': out += "\\r"; break;
      default:
        if (c < 32) {
          out += "\\u00";
          out += kHex[c >> 4];
          out += kHex[c & 15];
        } else {
          out += ch;
        }
    }
  }
  out += '"';
}

// The stream's default: general format, six significant digits, '.' as decimal point.
void WriteNumber(std::string& out, Number n) {
  char buf[64];
  const locale_t c = CLocale();
  const locale_t previous = c ? uselocale(c) : static_cast<locale_t>(0);
  int len = snprintf(buf, sizeof buf, "%.6Lg", n);
  if (c) uselocale(previous);
  if (len > 0) out.append(buf, static_cast<size_t>(len) < sizeof buf ? static_cast<size_t>(len) : sizeof buf - 1);
}

void WriteArray(std::string& out, const Array& a);
void WriteObject(std::string& out, const Object& o);

void WriteValue(std::string& out, const Value& v) {
  switch (v.type()) {
    case Value::NUMBER_: WriteNumber(out, v.get<Number>()); break;
    case Value::STRING_: WriteString(out, v.get<String>()); break;
    case Value::BOOL_: out += v.get<Boolean>() ? "true" : "false"; break;
    case Value::NULL_: out += "null"; break;
    case Value::ARRAY_: WriteArray(out, v.get<Array>()); break;
    case Value::OBJECT_: WriteObject(out, v.get<Object>()); break;
    case Value::INVALID_: break;
  }
}

void WriteArray(std::string& out, const Array& a) {
  out += '[';
  bool first = true;
  for (const Value& v : a.values()) {
    if (!first) out += ", ";
    first = false;
    WriteValue(out, v);
  }
  out += ']';
}

void WriteObject(std::string& out, const Object& o) {
  out += '{';
  bool first = true;
  for (const Member& m : o.kv_map()) {
    if (!first) out += ", ";
    first = false;
    WriteString(out, m.first);
    out += ": ";
    WriteValue(out, m.second);
  }
  out += '}';
}

}  // namespace
}  // namespace detail

std::string Value::json() const {
  std::string out;
  detail::WriteValue(out, *this);
  return out;
}

std::string Array::json() const {
  std::string out;
  detail::WriteArray(out, *this);
  return out;
}

std::string Object::json() const {
  std::string out;
  detail::WriteObject(out, *this);
  return out;
}

std::ostream& operator<<(std::ostream& stream, const Value& value) { return stream << value.json(); }

std::ostream& operator<<(std::ostream& stream, const Array& array) { return stream << array.json(); }

std::ostream& operator<<(std::ostream& stream, const Object& object) { return stream << object.json(); }

}  // namespace jsonxx
