// Reads arbitrary bytes as a reply, writes the result out and reads that back.
// What must hold: writing what was read (even after a failed read) gives text that reads
// fully, and reading and writing it again changes nothing; the compact document reads what
// Object::parse reads, or fails where it fails.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "json/Document.h"
#include "json/Numbers.h"
#include "json/jsonxx.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

// Touches every member and element as the reply readers do, including wrong kinds.
void Walk(const jsonxx::Object& o) {
  for (const auto& m : o.kv_map()) {
    Check(o.find(m.first) == &m.second);
    const jsonxx::Value& v = m.second;
    if (v.is<jsonxx::Number>()) {
      long double n = v.get<jsonxx::Number>();
      Check(n == n);
      (void)jsonxx::TruncToU64(n);
      (void)jsonxx::TruncToI32(n);
    } else if (v.is<jsonxx::Object>()) {
      Walk(v.get<jsonxx::Object>());
    } else if (v.is<jsonxx::Array>()) {
      const jsonxx::Array& a = v.get<jsonxx::Array>();
      for (unsigned i = 0; i < a.size(); ++i) {
        if (a.has<jsonxx::Object>(i)) Walk(a.get<jsonxx::Object>(i));
      }
    }
  }
}

bool Same(const jsonxx::Value& value, jsonxx::View view);

// Same for a scalar; for a container, the same kind and size only: a member is compared in
// full once, by position, or nested objects would cost twice per level.
bool Alike(const jsonxx::Value& value, jsonxx::View view) {
  if (value.type() == jsonxx::Value::ARRAY_)
    return view.is<jsonxx::Array>() && view.size() == value.get<jsonxx::Array>().size();
  if (value.type() == jsonxx::Value::OBJECT_)
    return view.is<jsonxx::Object>() && view.size() == value.get<jsonxx::Object>().size();
  return Same(value, view);
}

// True when `view` holds exactly `value`, number bits included.
bool Same(const jsonxx::Value& value, jsonxx::View view) {
  if (value.type() != view.type()) return false;
  switch (value.type()) {
    case jsonxx::Value::NUMBER_: {
      const long double a = value.get<jsonxx::Number>(), b = view.number();
      return std::memcmp(&a, &b, 10) == 0;
    }
    case jsonxx::Value::STRING_: return value.get<jsonxx::String>() == view.string();
    case jsonxx::Value::BOOL_: return value.get<jsonxx::Boolean>() == view.boolean();
    case jsonxx::Value::ARRAY_: {
      const jsonxx::Array& a = value.get<jsonxx::Array>();
      if (a.size() != view.size()) return false;
      for (size_t i = 0; i < a.size(); ++i) {
        if (!Same(a.values()[i], view[i])) return false;
      }
      return true;
    }
    case jsonxx::Value::OBJECT_: {
      const jsonxx::Object& o = value.get<jsonxx::Object>();
      if (o.size() != view.size()) return false;
      for (size_t i = 0; i < o.size(); ++i) {
        const jsonxx::Member& m = o.kv_map()[i];
        if (m.first != view.key(i) || !Same(m.second, view[i]) || !Alike(m.second, view.find(m.first))) return false;
      }
      return true;
    }
    default: return true;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  jsonxx::Object first;
  const bool read = first.parse(text);
  Walk(first);

  jsonxx::Document doc;
  Check(doc.parse(text) == read);
  if (read) Check(Same(jsonxx::Value(first), doc.root()));

  const std::string written = first.json();
  jsonxx::Object second;
  Check(second.parse(written));
  Check(second.size() == first.size());
  Check(second.json() == written);

  jsonxx::Object copy(second);
  Check(copy.json() == written);
  return 0;
}
