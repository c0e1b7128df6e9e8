#include "src/common/InputChecks.h"

#include <arpa/inet.h>
#include <strings.h>

#include <cctype>

namespace isilon {

namespace {

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
  // Every entry of every listed page passes here: one pass over the bytes.
  for (const char c : value) {
    if (c == '/' || c == '\0') return false;
  }
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
  for (unsigned char c : uri) {
    if (c <= 0x20 || c == 0x7F) return false;
  }
  return true;
}

bool IsHeaderLine(const std::string& line) {
  // Every header of every request passes here: one pass, no set lookup per byte.
  for (const char c : line) {
    if (c == '\0' || c == '\r' || c == '\n') return false;
  }
  return true;
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
  size_t start = 0;
  const size_t scheme = uri.find("://");
  if (scheme != std::string::npos && uri.find_first_of("/?#") > scheme) {
    start = uri.find('/', scheme + 3);  // past the authority
    if (start == std::string::npos) return false;
  }
  size_t stop = uri.find_first_of("?#", start);
  if (stop == std::string::npos) stop = uri.size();
  size_t begin = start;
  while (begin < stop) {
    if (uri[begin] == '/') {
      ++begin;
      continue;
    }
    size_t end = uri.find('/', begin);
    if (end == std::string::npos || end > stop) end = stop;
    if (IsDotSegment(uri, begin, end)) return true;
    begin = end;
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
