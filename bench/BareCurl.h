#pragma once
// What the bare libcurl walks of the benchmarks share: collecting a body and taking the
// session cookies from a login reply, with nothing of the library in between.
#include <strings.h>

#include <cstddef>
#include <cstring>
#include <string>

namespace bare {

inline size_t Collect(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

struct Cookies {
  std::string session, csrf;
};

// CURLOPT_HEADERFUNCTION with a Cookies* as its data.
inline size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  const std::string line(data, size * count);
  Cookies* c = static_cast<Cookies*>(user);
  auto take = [&line](const char* name, std::string& out) {
    const size_t at = line.find(name);
    if (at == std::string::npos) return;
    const size_t from = at + std::strlen(name);
    out = line.substr(from, line.find(';', from) - from);
  };
  if (strncasecmp(line.c_str(), "Set-Cookie:", 11) == 0) {
    take("isisessid=", c->session);
    take("isicsrf=", c->csrf);
  }
  return size * count;
}

}  // namespace bare
