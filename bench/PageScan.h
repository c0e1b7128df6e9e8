#pragma once
// What the bare walks do with a page, in either layout (compact, or the cluster's spaced
// one): count the entries by a key each entry has once, and cut out the "resume" token. No
// JSON is read: this is the least a walk can do with a page.
#include <cstddef>
#include <cstring>
#include <string>

namespace bare {

// Position after white space from `at`.
inline size_t SkipSpace(const std::string& body, size_t at) {
  while (at < body.size() && (body[at] == ' ' || body[at] == '\n' || body[at] == '\t' || body[at] == '\r')) ++at;
  return at;
}

// How many times the quoted `key` (e.g. "\"path\"") stands as a member's key.
inline size_t CountKey(const std::string& body, const char* key) {
  const size_t length = std::strlen(key);
  size_t n = 0;
  for (size_t at = body.find(key); at != std::string::npos; at = body.find(key, at + length)) {
    const size_t after = SkipSpace(body, at + length);
    if (after < body.size() && body[after] == ':') ++n;
  }
  return n;
}

// The "resume" token of a page: a string, or empty for null (the last page) or none.
inline std::string ResumeOf(const std::string& body) {
  const size_t at = body.rfind("\"resume\"");
  if (at == std::string::npos) return std::string();
  size_t p = SkipSpace(body, at + 8);
  if (p >= body.size() || body[p] != ':') return std::string();
  p = SkipSpace(body, p + 1);
  if (p >= body.size() || body[p] != '"') return std::string();
  const size_t close = body.find('"', p + 1);
  return close == std::string::npos ? std::string() : body.substr(p + 1, close - p - 1);
}

}  // namespace bare
