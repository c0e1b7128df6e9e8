#pragma once
// What the bare walks do with a page, in either layout (compact, or the cluster's spaced
// one): count the entries by a key each entry has once (or, in a directory listing, find the
// subdirectories' names), and cut out the "resume" token. No JSON is read: this is the least
// a walk can do with a page.
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

// Position of the first quoted `key` at or after `from` and before `to` that stands as a
// member's key (followed by ':'), or npos.
inline size_t FindKey(const std::string& body, const char* key, size_t from, size_t to = std::string::npos) {
  const size_t length = std::strlen(key);
  for (size_t at = body.find(key, from); at != std::string::npos && at < to; at = body.find(key, at + length)) {
    const size_t after = SkipSpace(body, at + length);
    if (after < body.size() && body[after] == ':') return at;
  }
  return std::string::npos;
}

// Where the string value of the member whose quoted key starts at `at` and is `length` long
// lies in `body` (its first character and length, with any white space around the ':'); a
// start of npos for null, another value or none (`at` npos). The scanned strings hold no quote.
struct Span {
  size_t at = std::string::npos;
  size_t length = 0;
};
inline Span StringAfterKey(const std::string& body, size_t at, size_t length) {
  if (at == std::string::npos) return Span();
  size_t p = SkipSpace(body, at + length);
  if (p >= body.size() || body[p] != ':') return Span();
  p = SkipSpace(body, p + 1);
  if (p >= body.size() || body[p] != '"') return Span();
  const size_t close = body.find('"', p + 1);
  return close == std::string::npos ? Span() : Span{p + 1, close - p - 1};
}

// The "resume" token of a page: a string, or empty for null (the last page) or none.
inline std::string ResumeOf(const std::string& body) {
  const Span token = StringAfterKey(body, body.rfind("\"resume\""), 8);
  return token.at == std::string::npos ? std::string() : body.substr(token.at, token.length);
}

// A directory listing page's entries: the objects inside the page's own one (each flat, with
// its "type"). Calls `onContainer(name)` (a Span of `body`) for each entry of type
// "container", in page order, and returns how many entries there were.
template <typename OnContainer>
size_t ScanListing(const std::string& body, OnContainer onContainer) {
  static const char kContainer[] = "container";
  size_t n = 0;
  const size_t first = body.find('{');
  if (first == std::string::npos) return 0;
  for (size_t open = body.find('{', first + 1); open != std::string::npos; open = body.find('{', open + 1)) {
    const size_t close = body.find('}', open);
    ++n;
    const Span type = StringAfterKey(body, FindKey(body, "\"type\"", open, close), 6);
    if (type.at != std::string::npos && type.length == sizeof kContainer - 1 &&
        body.compare(type.at, type.length, kContainer) == 0) {
      onContainer(StringAfterKey(body, FindKey(body, "\"name\"", open, close), 6));
    }
  }
  return n;
}

}  // namespace bare
