#include "src/common/Redact.h"

#include <strings.h>
#include <cctype>
#include <cstring>

namespace isilon {
namespace {

const char kPlaceholder[] = "<redacted>";

// Case-insensitive search, since header names may come in any case.
size_t FindNoCase(const std::string& text, const char* needle, size_t from) {
  const size_t n = std::strlen(needle);
  for (size_t i = from; i + n <= text.size(); ++i) {
    if (strncasecmp(text.data() + i, needle, n) == 0) return i;
  }
  return std::string::npos;
}

// Replaces, after each occurrence of `marker`, the run of characters up to one of `stops`.
void RedactAfter(std::string& text, const char* marker, const char* stops) {
  size_t pos = 0;
  while ((pos = FindNoCase(text, marker, pos)) != std::string::npos) {
    size_t start = pos + std::strlen(marker);
    size_t end = text.find_first_of(stops, start);
    if (end == std::string::npos) end = text.size();
    if (end > start) text.replace(start, end - start, kPlaceholder);
    pos = start + (end > start ? sizeof kPlaceholder - 1 : 0);
  }
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The value of each cookie called `name`, in any form a server may send or a client return:
// `name=value`, `name = value`, `name="value"` (quotes are part of a cookie value), among
// other cookies and attributes in any order.
void RedactCookie(std::string& text, const char* name) {
  const size_t length = std::strlen(name);
  size_t pos = 0;
  while ((pos = FindNoCase(text, name, pos)) != std::string::npos) {
    size_t i = pos + length;
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i >= text.size() || text[i] != '=') {
      pos = i;
      continue;
    }
    ++i;
    while (i < text.size() && IsBlank(text[i])) ++i;
    size_t start = i, end = i;
    if (i < text.size() && text[i] == '"') {
      // Quoted: up to the closing quote (or the end of the line when there is none).
      start = i + 1;
      end = text.find_first_of("\"\r\n", start);
    } else {
      // A value has no blank, comma or semicolon; a server that breaks the rule still gets
      // all of it hidden up to the next separator.
      end = text.find_first_of(";,\r\n\"", start);
    }
    if (end == std::string::npos) end = text.size();
    if (end > start) text.replace(start, end - start, kPlaceholder);
    pos = start + (end > start ? sizeof kPlaceholder - 1 : 0);
  }
}

// The value of a JSON member named "password": skips to the opening quote after the colon and
// replaces up to the closing unescaped quote.
void RedactJsonPassword(std::string& text) {
  size_t pos = 0;
  while ((pos = text.find("\"password\"", pos)) != std::string::npos) {
    size_t i = pos + 10;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i >= text.size() || text[i] != ':') {
      pos = i;
      continue;
    }
    ++i;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i >= text.size() || text[i] != '"') {
      pos = i;
      continue;
    }
    size_t start = ++i;
    while (i < text.size() && text[i] != '"') i += (text[i] == '\\') ? 2 : 1;
    size_t end = i < text.size() ? i : text.size();
    text.replace(start, end - start, kPlaceholder);
    pos = start + sizeof kPlaceholder - 1;
  }
}

}  // namespace

std::string RedactSecrets(const std::string& text) {
  std::string out = text;
  RedactCookie(out, "isisessid");
  RedactCookie(out, "isicsrf");
  RedactAfter(out, "X-CSRF-Token:", "\r\n");
  RedactJsonPassword(out);
  return out;
}

}  // namespace isilon
