// Reads arbitrary bytes as a reply, writes the result out and reads that back.
// What must hold: writing what was read (even after a failed read) gives text that reads
// fully, and reading and writing it again changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  jsonxx::Object first;
  first.parse(text);
  Walk(first);

  const std::string written = first.json();
  jsonxx::Object second;
  Check(second.parse(written));
  Check(second.size() == first.size());
  Check(second.json() == written);

  jsonxx::Object copy(second);
  Check(copy.json() == written);
  return 0;
}
