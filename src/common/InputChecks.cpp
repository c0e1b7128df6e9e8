#include "src/common/InputChecks.h"

#include <arpa/inet.h>
#include <strings.h>

#include <cctype>
#include <cstdint>
#include <cstring>

namespace isilon {

namespace {

// Checks that every request makes (its URI three times, its header lines, every listed name)
// look at eight bytes at a time. Each test is exact for "some byte of the word is ...": a borrow
// only runs upwards from a byte that already matched.
constexpr uint64_t kOnes = 0x0101010101010101ULL;
constexpr uint64_t kHighs = 0x8080808080808080ULL;

uint64_t Word(const char* at) {
  uint64_t word;
  std::memcpy(&word, at, sizeof word);
  return word;
}
// Some byte of the word is below `n` (n <= 128).
constexpr bool SomeBelow(uint64_t word, unsigned n) { return ((word - kOnes * n) & ~word & kHighs) != 0; }
// Some byte of the word is `c`.
constexpr bool SomeIs(uint64_t word, unsigned char c) { return SomeBelow(word ^ (kOnes * c), 1); }

// True when `hit` holds for some word of the text. A text of eight bytes or more ends with a word
// that overlaps the one before; a shorter one is filled out with its own first byte, which can
// neither add a hit nor hide one.
template <typename Hit>
bool AnyByte(const std::string& text, Hit hit) {
  const char* const p = text.data();
  const size_t n = text.size();
  if (n == 0) return false;
  if (n < sizeof(uint64_t)) {
    uint64_t word = kOnes * static_cast<unsigned char>(p[0]);
    std::memcpy(&word, p, n);
    return hit(word);
  }
  for (size_t i = 0; i + sizeof(uint64_t) < n; i += sizeof(uint64_t)) {
    if (hit(Word(p + i))) return true;
  }
  return hit(Word(p + n - sizeof(uint64_t)));
}

// "." or "..", also when the dots are percent-encoded ("%2e", "%2E").
bool IsDotSegment(const std::string& segment, size_t begin, size_t end) {
  size_t dots = 0;
  for (size_t i = begin; i < end;) {
    if (segment[i] == '.') {
      ++i;
    } else if (end - i >= 3 && segment[i] == '%' && segment[i + 1] == '2' &&
               (segment[i + 2] == 'e' || segment[i + 2] == 'E')) {
      i += 3;
    } else {
      return false;
    }
    ++dots;
  }
  return dots == 1 || dots == 2;
}

bool IsIPv6(const std::string& text) {
  unsigned char address[16];
  // inet_pton reads a C string: "::1" followed by a NUL and more is not an address.
  if (HasNul(text)) return false;
  return inet_pton(AF_INET6, text.c_str(), address) == 1;
}

}  // namespace

bool IsSingleSegment(const std::string& value) {
  if (AnyByte(value, [](uint64_t w) { return SomeIs(w, '/') || SomeIs(w, 0); })) return false;
  const size_t n = value.size();
  return !(n == 1 && value[0] == '.') && !(n == 2 && value[0] == '.' && value[1] == '.');
}

bool IsChildName(const std::string& name) { return !name.empty() && IsSingleSegment(name); }

bool IsQueryToken(const std::string& token) {
  for (unsigned char c : token) {
    if (c <= 0x20 || c == 0x7F || c == '#' || c == '&') return false;
  }
  return true;
}

bool IsSendableUri(const std::string& uri) {
  return !AnyByte(uri, [](uint64_t w) { return SomeBelow(w, 0x21) || SomeIs(w, 0x7F); });
}

bool IsHeaderLine(const std::string& line) {
  return !AnyByte(line, [](uint64_t w) { return SomeIs(w, 0) || SomeIs(w, '\r') || SomeIs(w, '\n'); });
}

std::string Printable(const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

bool IsNamespacePath(const std::string& path) {
  if (path.empty() || path[0] != '/' || HasNul(path)) return false;
  size_t begin = 1;
  while (begin <= path.size()) {
    size_t end = path.find('/', begin);
    if (end == std::string::npos) end = path.size();
    const size_t length = end - begin;
    if ((length == 1 && path[begin] == '.') || (length == 2 && path.compare(begin, 2, "..") == 0)) return false;
    begin = end + 1;
  }
  return true;
}

bool HasDotSegment(const std::string& uri) {
  // Every request's URI passes here twice: one pass over its bytes, no set lookups.
  const size_t n = uri.size();
  size_t at = 0;
  const size_t scheme = uri.find("://");
  if (scheme != std::string::npos && uri.find_first_of("/?#") > scheme) {
    at = uri.find('/', scheme + 3);  // past the authority
    if (at == std::string::npos) return false;
  }
  while (at < n) {
    const char c = uri[at];
    if (c == '?' || c == '#') return false;  // the path ends here
    if (c == '/') {
      ++at;
      continue;
    }
    size_t end = at;
    while (end < n && uri[end] != '/' && uri[end] != '?' && uri[end] != '#') ++end;
    // Only a segment that starts with "." or "%" can be a dot segment.
    if ((c == '.' || c == '%') && IsDotSegment(uri, at, end)) return true;
    at = end;
  }
  return false;
}

bool IsBareServer(const std::string& server) {
  if (server.empty()) return false;
  if (server.front() == '[') {
    return server.size() > 2 && server.back() == ']' && IsIPv6(server.substr(1, server.size() - 2));
  }
  if (server.find(':') != std::string::npos) return IsIPv6(server);
  // Host names and IPv4 addresses: letters, digits, "-", "_" and dots, starting with a letter
  // or digit; nothing that could carry a scheme, a user, a port or a path.
  if (!std::isalnum(static_cast<unsigned char>(server.front()))) return false;
  for (char c : server) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.') return false;
  }
  return true;
}

std::string ServerForUrl(const std::string& server) {
  if (!server.empty() && server.front() != '[' && server.find(':') != std::string::npos && IsIPv6(server)) {
    return "[" + server + "]";
  }
  return server;
}

}  // namespace isilon
